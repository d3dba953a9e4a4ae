// MBX_LOAD_EXP_ROM: loads the expansion ROM image named in words 4-5, in steps
// the host asks for in word 1 bits 16-23 (8 start, 9 copy, 10 finish). The
// progress comes back in word 1 bits 8-15: 11 at once when that image is
// already loaded, else 8, 9, then 10 for exprom_finish_polls requests and 11.
// The fleet key exprom_progress forces one progress value (a faulty adapter).
#include <cstdio>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

bool mbx_load_exp_rom(Adapter&, Function& f, MboxCall& c) {
    uint32_t step = (c.mb[1] >> 16) & 0xFF;
    char text[64];
    snprintf(text, sizeof text, "step=%u pid=0x%08X,0x%08X", step, c.mb[4], c.mb[5]);
    if (fw_begin(f, c, "LOAD_EXP_ROM", text)) return false;

    auto reply = [&](uint32_t progress) { c.mb[1] = (c.mb[1] & ~0xFF00u) | (progress << 8); };
    if (f.attrs.has("exprom_progress")) {
        reply((uint32_t)f.attrs.get_u("exprom_progress") & 0xFF);
        return false;
    }
    if (c.mb[4] != 0 && f.attrs.has("exprom_loaded") &&
        (uint32_t)f.attrs.get_u("exprom_loaded") == c.mb[4]) {
        reply(EXPROM_LOADED);
        return false;
    }
    uint32_t phase = (uint32_t)f.attrs.get_u("exprom_phase");
    uint32_t polls = (uint32_t)f.attrs.get_u("exprom_polls");
    if (step == EXPROM_STEP_START) {
        phase = EXPROM_STEP_START;
        polls = 0;
    } else if (step == EXPROM_STEP_COPY &&
               (phase == EXPROM_STEP_START || phase == EXPROM_STEP_COPY)) {
        phase = EXPROM_STEP_COPY;
    } else if (step == EXPROM_STEP_FINISH &&
               (phase == EXPROM_STEP_COPY || phase == EXPROM_STEP_FINISH)) {
        ++polls;
        phase = EXPROM_STEP_FINISH;
        if (polls > f.attrs.get_u("exprom_finish_polls", 1)) {
            f.attrs.set_u("exprom_loaded", c.mb[4], true);
            f.attrs.erase("exprom_phase");
            f.attrs.erase("exprom_polls");
            reply(EXPROM_LOADED);
            return true;
        }
    } else {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    f.attrs.set_u("exprom_phase", phase);
    f.attrs.set_u("exprom_polls", polls);
    reply(phase);
    return true;
}

} // namespace hbasim
