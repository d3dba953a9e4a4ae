// dmatest on a converged entry: the controller's host-to-DDR DMA test with
// the pattern, byte count and repeat count the interpreter checked.
#include "common/bounded_text.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

void cmdDmaTest(int index) {
    int controller = 0;
    if (!g_run.nexaUp || !cnaControllerTag(index, &controller)) {
        if (g_run.nexaUp)
            sayNoConvergedAdapter(index);
        else
            say("NEXA not available");
        g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
        return;
    }
    CnaTestParams p;
    cnaTestParamsInit(&p);
    copyBounded(p.pattern, sizeof p.pattern, g_args.pattern);
    p.byteCount = g_args.byteCount;
    p.repeatCount = g_args.repeatCount;
    p.targetIndex = index;
    int status = cnaDmaTest(&p);
    // The RM status is the command's status; a byte count out of range is
    // invalid input.
    g_run.cluStatus = status == MAL_RM_BYTE_COUNT ? static_cast<int32_t>(CLU_INPUT_VALUE) : status;
}
