// The adapter engine: every mailbox, whichever transport form brought it, runs
// here against the function's state, under its adapter's lock. The command
// families answer through the handler table (mbox_table.cpp).
#include <cstdlib>

#include "sim/driver/sim_driver.h"

namespace hbasim {

static const MboxHandlerEntry* find_handler(uint32_t cmd) {
    for (size_t i = 0; i < kMboxHandlerCount; ++i)
        if (kMboxHandlers[i].cmd == cmd) return &kMboxHandlers[i];
    return nullptr;
}

int engine_run(FuncRef ref, MboxCall& c) {
    const MboxHandlerEntry* h = find_handler(mbox_cmd(c));
    bool found = true;
    int rc = update_adapter(ref.adapter, [&](Adapter& a) -> bool {
        if (ref.func < 0 || (size_t)ref.func >= a.funcs.size()) {
            found = false;
            return false;
        }
        mbox_set_status(c, 0);
        if (h == nullptr) {
            // Unknown commands are refused, never answered with a silent success.
            mbox_set_status(c, SIM_MBXST_INVALID_CMD);
            return false;
        }
        // After an accepted factory-defaults request the adapter is offline
        // until a reboot.
        if (a.attrs.get("factory_pending") == "1") {
            mbox_set_status(c, SIM_MBXST_DRIVER_ERROR);
            return false;
        }
        return h->fn(a, a.funcs[(size_t)ref.func], c);
    });
    if (rc == SIM_OK && !found) rc = SIM_ERR_NOT_FOUND;
    if (rc != SIM_OK) mbox_set_status(c, SIM_MBXST_DRIVER_ERROR);
    return rc;
}

bool drv_read_function(const DrvRequest& r,
                       const std::function<void(const Adapter&, const Function&)>& fn) {
    bool ok = false;
    int rc = read_adapter(r.ref.adapter, [&](const Adapter& a) {
        if (r.ref.func < 0 || (size_t)r.ref.func >= a.funcs.size()) return;
        fn(a, a.funcs[(size_t)r.ref.func]);
        ok = true;
    });
    return rc == SIM_OK && ok;
}

bool drv_update_function(const DrvRequest& r, const std::function<bool(Adapter&, Function&)>& fn) {
    bool ok = false;
    int rc = update_adapter(r.ref.adapter, [&](Adapter& a) -> bool {
        if (r.ref.func < 0 || (size_t)r.ref.func >= a.funcs.size()) return false;
        ok = true;
        return fn(a, a.funcs[(size_t)r.ref.func]);
    });
    return rc == SIM_OK && ok;
}

bool drv_fault_status(const std::string& action, uint32_t* status) {
    static const char kPrefix[] = "status=";
    if (action.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return false;
    const char* num = action.c_str() + sizeof kPrefix - 1;
    char* end = nullptr;
    unsigned long v = strtoul(num, &end, 0);
    if (end == num || *end != '\0') return false;
    *status = (uint32_t)(v & 0xFFFF);
    return true;
}

} // namespace hbasim
