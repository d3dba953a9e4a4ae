// Factory defaults of a converged adapter through NEXA: the controller's
// ResetFactoryDefaults action; the new settings apply after a reboot.
#include "common/tracelog/tracelog.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

int32_t setFactoryDefaultsSLI4viaNEXA(int i) {
    trace("\n[setFactoryDefaultsSLI4viaNEXA]\n");
    int controller = 0;
    if (!g_run.nexaUp || !cnaControllerTag(i, &controller)) {
        trace("\n[setFactoryDefaultsSLI4viaNEXA] - NEXA init failed\n");
        return CLU_NEXA_NOT_AVAILABLE;
    }
    int rm = MAL_ResetFactoryDefaults(controller);
    int32_t clu = CLU_REBOOT_REQUIRED;
    if (rm != MAL_RM_OK) clu = CLU_FACTORY_DEFAULTS_FAILED;
    trace(
        "\n[setFactoryDefaultsSLI4viaNEXA] - MAL_ResetFactoryDefaults rmSstatus %d cluStatus %d\n",
        rm, clu);
    return clu;
}
