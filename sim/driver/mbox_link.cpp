// Link commands of the simulated adapter and its link model: DOWN_LINK takes
// the link down, INIT_LINK brings it up, normally or in internal or external
// loopback. Loopback lasts, across processes, until a reset; external loopback
// only comes up when the port has a loopback plug. BIU_DIAG is the PCI DMA
// loopback: the data comes back as it went out. DOWN_LINK and INIT_LINK are
// journalled ("mbx" lines, INIT_LINK with flag=).
#include "interfaces/tgx_ioctl.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

static bool is_sli4(const Function& f) {
    return f.attrs.get_u("sli_mode") == 4;
}
static bool is_brevin_device(const Function& f) {
    return f.attrs.get_u("device_id") == TGX_BREVIN_DEVICE_ID;
}

// Snapshot of the keys the link model changes, to tell whether it changed them.
static std::string link_fingerprint(const Function& f) {
    std::string s;
    for (const char* k : {"link", "port_state", "fabric_name", "loopback", "saved_link",
                          "saved_port_state", "saved_fabric_name"})
        s += std::string(k) + "=" + (f.attrs.has(k) ? f.attrs.get(k) : "") + ";";
    return s;
}

void link_enter_loopback(Function& f, bool external) {
    f.attrs.set("loopback", external ? "external" : "internal");
    bool up = !external || f.attrs.get("loopback_plug") == "1";
    link_set_view(f, up, true);
}

bool mbx_down_link(Adapter&, Function& f, MboxCall&) {
    journal("mbx", "DOWN_LINK");
    std::string before = link_fingerprint(f);
    f.attrs.erase("loopback");
    link_set_view(f, false, false);
    return link_fingerprint(f) != before;
}

// External loopback flag expected from the board: 2 on SLI-4 boards, 4 on
// device 0xE200 and on boards of older SLI modes.
static uint32_t external_flag(const Function& f) {
    return is_sli4(f) && !is_brevin_device(f) ? TGX_LINK_FLAG_EXTERNAL_SLI4
                                              : TGX_LINK_FLAG_EXTERNAL;
}

bool mbx_init_link(Adapter&, Function& f, MboxCall& c) {
    const uint32_t flag = c.mb[2] & 0xFFFF;
    journal("mbx", "INIT_LINK flag=" + std::to_string(flag));
    std::string before = link_fingerprint(f);
    if (flag == 0) {
        // Normal initialisation: the fleet's link, unless held down persistently.
        f.attrs.erase("loopback");
        link_restore(f);
        if (f.attrs.get("persist_down") == "1") link_set_view(f, false, false);
    } else if (flag == TGX_LINK_FLAG_INTERNAL) {
        link_enter_loopback(f, false);
    } else if (flag == external_flag(f)) {
        link_enter_loopback(f, true);
    } else {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    return link_fingerprint(f) != before;
}

bool mbx_biu_diag(Adapter&, Function&, MboxCall& c) {
    const uint32_t t = c.mb[2] & 0xFFFFFF;
    const uint32_t r = c.mb[5] & 0xFFFFFF;
    const uint32_t n = t < r ? t : r;
    if (t > TGX_MBOX_MAX_BDE || r > TGX_MBOX_MAX_BDE || (n != 0 && c.data == nullptr) ||
        n > c.dataLen) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    // The data area holds the transmitted bytes; the DMA loopback returns them
    // unchanged in the same place.
    c.dataOut = n;
    return false;
}

} // namespace hbasim
