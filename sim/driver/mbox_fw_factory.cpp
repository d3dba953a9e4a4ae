// MBX_SLI_CONFIG, subsystem 1 opCode 0xA9 (embedded): factory defaults of the
// physical adapter. The adapter accepts with sub-status 0x2C and a non-zero
// mailbox status (1), marks itself "factory_pending" and from then on every
// function of the adapter is offline: each mailbox command completes with
// status 3 until a reboot, which applies the factory image (reboot_rules.cpp).
//
// Knob: adapter key "factory_actual_length" is the actualLength the adapter
// reports (default 4, the responseLength). Journal name: "FACTORY_DEFAULTS"
// (an injected "status=N" answers the request with that mailbox status and no
// sub-status).
#include <cstdio>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

bool fw_sli_config_factory(Adapter& a, Function& f, MboxCall& c, bool* changed) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    if (sub[SUB_SUBSYSTEM] != SLI_SUBSYSTEM_COMMON || sub[SUB_OPCODE] != SLI_OP_FACTORY_DEFAULTS)
        return false;
    char detail[48];
    snprintf(detail, sizeof detail, "profile=%u op=%u", sub[SUB_FACTORY_PROFILE],
             sub[SUB_FACTORY_OPERATION] & 0x0F);
    if (fw_begin(f, c, "FACTORY_DEFAULTS", detail)) return true;
    if (!(c.mb[1] & SLI_CONFIG_EMBEDDED) ||
        (sub[SUB_FACTORY_OPERATION] & 0x0F) != FACTORY_OPERATION_RESET) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return true;
    }
    sub[SUB_STATUS] = SLI_STATUS_FACTORY_ACCEPTED;
    sub[SUB_ADDL_STATUS] = 0;
    fw_wr32(sub + SUB_RESPONSE_LENGTH, FACTORY_REQUEST_LENGTH);
    fw_wr32(sub + SUB_ACTUAL_LENGTH,
            (uint32_t)a.attrs.get_u("factory_actual_length", FACTORY_REQUEST_LENGTH));
    mbox_set_status(c, MBXS_ERROR);
    a.attrs.set("factory_pending", "1");
    *changed = true;
    return true;
}

} // namespace hbasim
