// reset: resets one FC adapter, or every FC entry in index order.
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/run_state.h"
#include "libtgx/libtgx.h"

namespace {
constexpr uint32_t kResetType = 1;
}

void cmdReset(int index, bool all) {
    if (!all) {
        uint32_t st = TGX_ResetAdapter(static_cast<uint32_t>(index), kResetType);
        if (st != 0) {
            sayf("Reset Adapter %d failed Status %x", index + 1, st);
            g_run.cluStatus = CLU_RESET_FAILED;
            return;
        }
        sayf("Reset Adapter %d Completed", index + 1);
        return;
    }
    for (uint32_t i = 0; i < g_table.fcCount; ++i) {
        if (TGX_ResetAdapter(i, kResetType) != 0) {
            sayf("Reset Adapter %u failed", i + 1);
            g_run.cluStatus = CLU_RESET_FAILED;
            return;
        }
        sayf("Reset Adapter %u Completed", i + 1);
    }
}
