// The FFV of Tarnel converged functions: read from the controller's
// "FFVName" attribute as discovery found it (a write shows in later runs),
// written through NEXA.
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

namespace {

constexpr size_t kFfvWriteBufferSize = 36;
constexpr int kFfvNotAvailable = 2;

} // namespace

int cnaReadFfv(int i, char* out) {
    out[0] = '\0';
    const CorevaneAdapter* a = g_run.nexaUp ? cnaAdapterOf(i) : nullptr;
    if (a == nullptr) return CLU_NEXA_NOT_AVAILABLE;
    if (strcmp(a->attributes.ffvName, "Not Available") == 0) return kFfvNotAvailable;
    copyBounded(out, CNA_FFV_TEXT_MAX + 1, a->attributes.ffvName);
    return MAL_RM_OK;
}

int cnaWriteFfv(int i, const char* text) {
    int controller = 0;
    if (!g_run.nexaUp || !cnaControllerTag(i, &controller)) return CLU_NEXA_NOT_AVAILABLE;
    char buffer[kFfvWriteBufferSize] = {};
    copyBounded(buffer, sizeof buffer, text);
    return MAL_SetFFVName(controller, buffer);
}
