// Driver parameter strings (ISSUE_PARSE): the driver takes "PersistLnkDn=1"
// or "PersistLnkDn=0" at once. Setting it holds the link down persistently
// now; clearing it lets the link come back at the next reset, when the driver
// reads the registry again.
#include <cstring>

#include "interfaces/tgx_driver_records.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// 0x80000116: the parameter text, zero padded, at p0.
uint32_t req_issue_parse(DrvRequest& r) {
    const char* text = reinterpret_cast<const char*>(r.payload);
    static const char kItem[] = "PersistLnkDn=";
    const size_t itemLen = sizeof kItem - 1;
    size_t len = strnlen(text, r.payloadSize);
    if (len != itemLen + 1 || memcmp(text, kItem, itemLen) != 0 ||
        (text[itemLen] != '0' && text[itemLen] != '1')) {
        r.returnCode = 1;
        return 0;
    }
    const bool down = text[itemLen] == '1';
    bool supported = false;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        supported = (f.attrs.get_u("feature_list") & TGX_FEATURE_PERSIST_LINKDOWN) != 0;
        if (!supported) return false;
        std::string before = f.attrs.get("persist_down") + "|" + f.attrs.get("link");
        f.attrs.set("persist_down", down ? "1" : "0");
        if (down) link_set_view(f, false, false);
        return before != f.attrs.get("persist_down") + "|" + f.attrs.get("link");
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = supported ? 0 : 2;
    return 0;
}

} // namespace hbasim
