// Converged firmware download (not yet carried by this build).
#include "hbaset/cna/cna_download.h"

#include "hbaset/cli/run_state.h"

uint32_t DownloadCNAFirmware(int, const char*) {
    return CLU_NOT_SUPPORTED;
}
