// The vpd command: prints the adapter's VPD and keeps its keywords.
#include "hbaset/cli/commands.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/vpd.h"

void cmdVpd(int index) {
    g_run.cluStatus = static_cast<int32_t>(vpdCommandHandler(index, true));
}
