// The converged DMA and loopback tests. Both run their NEXA action in slices
// of at most 4096 cycles until the repeat count is used up (a repeat count of
// 0 repeats until a failure or a stop) and add up the cycles the adapter
// reports after each slice.
#include <cstring>

#include "common/bounded_text.h"
#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"
#include "platform/plat_time.h"

namespace {

constexpr uint32_t kDmaBytesMin = 4;
constexpr uint32_t kDmaBytesMax = 4096;
constexpr uint32_t kLoopBytesMin = 64;
constexpr uint32_t kLoopBytesMax = 8192;
constexpr uint32_t kLoopbackSettleMs = 1000;

// One slice of a test: runs the action for cycles cycles; returns its RM status.
typedef int (*SliceFn)(int controller, CnaTestParams* p, uint32_t cycles);

// Runs slices until the cycles are used up or a slice fails.
int runSlices(int controller, CnaTestParams* p, SliceFn slice) {
    bool endless = p->repeatCount == 0;
    uint32_t left = endless ? CNA_TEST_ENDLESS_CYCLES : p->repeatCount;
    int status = MAL_RM_OK;
    while (left > 0) {
        if (p->stopFlag == 0) return MAL_RM_CNA_TEST_STOPPED;
        uint32_t cycles = left < CNA_TEST_CYCLES_PER_ACTION ? left : CNA_TEST_CYCLES_PER_ACTION;
        status = slice(controller, p, cycles);
        if (status != MAL_RM_OK) break;
        uint32_t done = 0;
        status = MAL_GetTotalCompleteCycles(controller, &done);
        if (status != MAL_RM_OK) break;
        p->totalCycles += done;
        if (endless) continue;
        left = left > CNA_TEST_CYCLES_PER_ACTION ? left - CNA_TEST_CYCLES_PER_ACTION : 0;
    }
    return status;
}

int dmaSlice(int controller, CnaTestParams* p, uint32_t cycles) {
    return MAL_HostToDDRDMATest(controller, p->pattern, p->byteCount, cycles);
}

const char* loopTypeName(uint32_t type) {
    switch (type) {
    case CNA_LOOP_MAC:
        return "MacLoopBack";
    case CNA_LOOP_PHY:
        return "PhyLoopBack";
    case CNA_LOOP_ONE_PORT:
        return "OnePortLoopBack";
    default:
        return nullptr;
    }
}

uint32_t portOf(const CnaTestParams* p) {
    const AdapterRecord* r = adapterAt(p->targetIndex);
    return r != nullptr ? r->cnaPortNumber : 0;
}

// Enter, test and leave loopback mode on the entry's port. Loopback mode is
// left on every way out once entering was attempted.
int loopbackSlice(int controller, CnaTestParams* p, uint32_t cycles) {
    const char* type = loopTypeName(p->loopType);
    if (type == nullptr) return MAL_RM_BAD_KIND;
    uint32_t port = portOf(p);
    int status = MAL_EnterLoopBackMode(controller, port, type);
    if (status == MAL_RM_OK) {
        plat_sleep_ms(kLoopbackSettleMs);
        status = MAL_NetworkLoopBackTest(controller, p->pattern, p->byteCount, cycles, port, type);
    }
    int exitStatus = MAL_ExitLoopBackMode(controller, port);
    return status != MAL_RM_OK ? status : exitStatus;
}

// Controller of the test's entry, or 72.
int testController(const CnaTestParams* p, int* controller) {
    if (cnaControllerTag(p->targetIndex, controller)) return MAL_RM_OK;
    return CLU_NEXA_NOT_AVAILABLE;
}

} // namespace

void cnaTestParamsInit(CnaTestParams* p) {
    memset(p, 0, sizeof *p);
    p->targetIndex = -1;
    p->stopFlag = 1;
    p->stopOnError = 1;
}

int cnaDmaTest(CnaTestParams* p) {
    if (p->byteCount < kDmaBytesMin || p->byteCount > kDmaBytesMax) return MAL_RM_BYTE_COUNT;
    int controller = 0;
    int status = testController(p, &controller);
    if (status == MAL_RM_OK) status = runSlices(controller, p, dmaSlice);
    traceStep("[cnaDmaTest] status %d, %u cycles completed", status, p->totalCycles);
    return status;
}

int cnaLoopbackTest(CnaTestParams* p) {
    if (p->byteCount < kLoopBytesMin || p->byteCount > kLoopBytesMax) return MAL_RM_BYTE_COUNT;
    int controller = 0;
    int status = testController(p, &controller);
    if (status == MAL_RM_OK) status = runSlices(controller, p, loopbackSlice);
    traceStep("[cnaLoopbackTest] status %d, %u cycles completed", status, p->totalCycles);
    return status;
}
