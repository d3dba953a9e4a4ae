// The adapter engine's mailbox command table: one row per command the
// simulated adapter answers. engine.cpp looks the command byte up here; a
// command without a row completes with a non-zero mailbox status.
//
// How to add a command family: write its handlers in a file of their own
// (sim/driver/mbox_<family>.cpp) with the MboxHandler signature of
// sim_driver.h, declare them in the block below and append their rows under a
// comment naming the family. A handler reads and writes the mailbox words in
// c.mb (set the status with mbox_set_status; it starts at 0) and the data area
// c.data[0 .. c.dataLen) when the transport carried one (null otherwise),
// sets c.dataOut to the bytes of data it returns, and returns true only when
// it changed the adapter's state (which is then written back).
#include "interfaces/mbox_codes.h"
#include "interfaces/tgx_ioctl.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// ---- link and loopback (mbox_link.cpp) ----
bool mbx_init_link(Adapter& a, Function& f, MboxCall& c);
bool mbx_down_link(Adapter& a, Function& f, MboxCall& c);
bool mbx_biu_diag(Adapter& a, Function& f, MboxCall& c);
// ---- transport data commands (req_mailbox.cpp) ----
bool mbx_read_event_log(Adapter& a, Function& f, MboxCall& c);
// ---- adapter firmware of hbaset's mailbox layer (mbox_fw_*.cpp) ----
bool mbx_read_rev(Adapter& a, Function& f, MboxCall& c);
bool mbx_read_nv(Adapter& a, Function& f, MboxCall& c);
bool mbx_write_nv(Adapter& a, Function& f, MboxCall& c);
bool mbx_write_vparms(Adapter& a, Function& f, MboxCall& c);
bool mbx_write_wwn(Adapter& a, Function& f, MboxCall& c);
bool mbx_dump(Adapter& a, Function& f, MboxCall& c);
bool mbx_update_cfg(Adapter& a, Function& f, MboxCall& c);
bool mbx_load_sm(Adapter& a, Function& f, MboxCall& c);
bool mbx_del_ld_entry(Adapter& a, Function& f, MboxCall& c);
bool mbx_load_exp_rom(Adapter& a, Function& f, MboxCall& c);
bool mbx_restart(Adapter& a, Function& f, MboxCall& c);
bool mbx_sli_config(Adapter& a, Function& f, MboxCall& c);
// ---- non-volatile event log (mbox_fw_event_log.cpp) ----
bool mbx_nv_log_status(Adapter& a, Function& f, MboxCall& c);
bool mbx_nv_log_read(Adapter& a, Function& f, MboxCall& c);
// ---- flash programming and keys (mbox_fw_download.cpp, mbox_fw_security.cpp) ----
bool mbx_down_load(Adapter& a, Function& f, MboxCall& c);
bool mbx_load_area(Adapter& a, Function& f, MboxCall& c);
bool mbx_security(Adapter& a, Function& f, MboxCall& c);

const MboxHandlerEntry kMboxHandlers[] = {
    // ---- link and loopback ----
    {TGX_MBX_INIT_LINK, "INIT_LINK", mbx_init_link},
    {TGX_MBX_DOWN_LINK, "DOWN_LINK", mbx_down_link},
    {TGX_MBX_BIU_DIAG, "BIU_DIAG", mbx_biu_diag},
    // ---- transport data commands ----
    {TGX_MBX_READ_EVENT_LOG_HOST, "READ_EVENT_LOG", mbx_read_event_log},
    // ---- adapter firmware: revision, NV parameters and names ----
    {MBX_READ_REV, "READ_REV", mbx_read_rev},
    {MBX_READ_NV, "READ_NV", mbx_read_nv},
    {MBX_WRITE_NV, "WRITE_NV", mbx_write_nv},
    {MBX_WRITE_VPARMS, "WRITE_VPARMS", mbx_write_vparms},
    {MBX_WRITE_WWN, "WRITE_WWN", mbx_write_wwn},
    // ---- adapter firmware: regions, memory and load list ----
    {MBX_DUMP, "DUMP", mbx_dump},
    {MBX_UPDATE_CFG, "UPDATE_CFG", mbx_update_cfg},
    {MBX_LOAD_SM, "LOAD_SM", mbx_load_sm},
    {MBX_DEL_LD_ENTRY, "DEL_LD_ENTRY", mbx_del_ld_entry},
    // ---- adapter firmware: expansion ROM, restart, SLI-4 objects ----
    {MBX_LOAD_EXP_ROM, "LOAD_EXP_ROM", mbx_load_exp_rom},
    {MBX_RESTART, "RESTART", mbx_restart},
    {MBX_SLI_CONFIG, "SLI_CONFIG", mbx_sli_config},
    // ---- non-volatile event log ----
    {MBX_READ_EVENT_LOG_STATUS, "READ_EVENT_LOG_STATUS", mbx_nv_log_status},
    {MBX_READ_NV_EVENT_LOG, "READ_NV_EVENT_LOG", mbx_nv_log_read},
    // ---- adapter firmware: flash programming and download keys ----
    {MBX_DOWN_LOAD, "DOWN_LOAD", mbx_down_load},
    {MBX_LOAD_AREA, "LOAD_AREA", mbx_load_area},
    {MBX_SECURITY, "SECURITY", mbx_security},
};
const size_t kMboxHandlerCount = sizeof(kMboxHandlers) / sizeof(kMboxHandlers[0]);

} // namespace hbasim
