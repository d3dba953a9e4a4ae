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
#include "libtgx/tgx_ioctl.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// ---- link and loopback (mbox_link.cpp) ----
bool mbx_init_link(Adapter& a, Function& f, MboxCall& c);
bool mbx_down_link(Adapter& a, Function& f, MboxCall& c);
bool mbx_biu_diag(Adapter& a, Function& f, MboxCall& c);
// ---- transport data commands (req_mailbox.cpp) ----
bool mbx_read_event_log(Adapter& a, Function& f, MboxCall& c);

const MboxHandlerEntry kMboxHandlers[] = {
    // ---- link and loopback ----
    {TGX_MBX_INIT_LINK, "INIT_LINK", mbx_init_link},
    {TGX_MBX_DOWN_LINK, "DOWN_LINK", mbx_down_link},
    {TGX_MBX_BIU_DIAG, "BIU_DIAG", mbx_biu_diag},
    // ---- transport data commands ----
    {TGX_MBX_READ_EVENT_LOG, "READ_EVENT_LOG", mbx_read_event_log},
};
const size_t kMboxHandlerCount = sizeof(kMboxHandlers) / sizeof(kMboxHandlers[0]);

} // namespace hbasim
