// MBX_RESTART (word 0 bit 0, word 1 bit 0): the adapter restarts its firmware
// without a new configuration. It reports ready in control register 8 (bit 23)
// once the restart is done; the simulated restart completes at once.
#include "sim/driver/mbox_fw.h"

namespace hbasim {

bool mbx_restart(Adapter&, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "RESTART", "")) return false;
    if (!(c.mb[1] & 1)) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    f.attrs.set_u("restarts", f.attrs.get_u("restarts") + 1);
    f.attrs.set("ctl_ready", "1");
    // The event log can be read until the next adapter reset.
    f.attrs.set("event_log_open", "1");
    return true;
}

} // namespace hbasim
