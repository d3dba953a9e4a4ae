// pciloopback, intloopback, extloopback, phyloopback and macloopback.
//
// FC adapters run a test series: for each selected adapter the selected tests
// (PCI DMA loopback through MBX_BIU_DIAG, internal or external port loopback
// through the library's loopback requests), r cycles each, with the error
// option o deciding what follows a failed cycle (1 stop, 2 repeat up to four
// errors, 3 go on). A stop (error option or the s key) is sticky for the
// process: a later series ends at once with 22.
//
// Converged functions go to the converged loopback test; their parsers decide
// which path a command takes.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <poll.h>
#include <unistd.h>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"
#include "hbaset/fcmaint/diag_loopback.h"
#include "hbaset/fcmaint/mailbox.h"
#include "libtgx/libtgx.h"
#include "platform/plat_time.h"

namespace {

constexpr uint32_t TEST_PCI = 0x1;
constexpr uint32_t TEST_INTERNAL = 0x2;
constexpr uint32_t TEST_EXTERNAL = 0x4;

constexpr int32_t CLU_PCI_FAILED = 13;
constexpr int32_t CLU_INTERNAL_FAILED = 23;
constexpr int32_t CLU_EXTERNAL_FAILED = 24;
constexpr int32_t CLU_ERRORS_REPEATED = 25;
constexpr int32_t LOOPBACK_FAILED = 200;

constexpr uint32_t kPciBytes = 1024;
constexpr uint32_t kLoopBytes = 4096;
constexpr uint32_t kConfigWait = 15;
constexpr uint32_t kMaxRepeatedErrors = 4;
constexpr uint32_t kNotReadyWaitMs = 200;
constexpr uint32_t kBdeCountMask = 0xFFFFFF;

// Process-wide test settings and the sticky stop flag.
struct LoopbackSettings {
    uint32_t tests; // TEST_* of the running command
    long repeat;    // r (1 or more)
    uint32_t errorOption;
    bool stop;
};
LoopbackSettings g_lb = {0, 1, 3, false};

uint32_t& passCounter(int adapter, uint32_t test) {
    AdapterRecord* r = adapterAt(adapter);
    if (test == TEST_PCI) return r->pciLoopbackPasses;
    return test == TEST_INTERNAL ? r->intLoopbackPasses : r->extLoopbackPasses;
}

void progress(uint32_t passes) {
    if (g_msg.screenOutput) emitText("   Pass %u test(s)\r", passes);
}

// ---- keys ----------------------------------------------------------------------------------

bool terminalKeyStop() {
    if (!isatty(STDIN_FILENO)) return false;
    pollfd p = {STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
    char c = 0;
    if (read(STDIN_FILENO, &c, 1) != 1) return false;
    return c == 's' || c == 'S';
}

bool userStopKey() {
    return g_loopbackKeySource != nullptr ? g_loopbackKeySource() : terminalKeyStop();
}

// ---- FC argument parser ---------------------------------------------------------------------

// n= of the FC form: true when it selected something.
bool selectAdapters(const char* command, const char* v, bool allowed) {
    if (isAllAdapters(v)) {
        if (!allowed) {
            sayf("Invalid option: %s does not support n=all", command);
            return false;
        }
        for (uint32_t i = 0; i < g_table.fcCount; ++i)
            g_run.testSelection[i] = 1;
        return g_table.fcCount > 0;
    }
    if (!isNumericText(v)) return false;
    parseAdapterValue(v);
    int i = g_args.adapterIndex;
    if (!isFcIndex(i) || isNexaManaged(i)) {
        emitText(isNexaManaged(i) ? "Command not supported on Adapter Number: %d\n"
                                  : "Invalid Adapter Number: %d\n",
                 static_cast<int>(g_args.adapterNumber));
        return false;
    }
    g_run.testSelection[i] = 1;
    return true;
}

// r= read as a long: overflow and 0 are invalid.
bool readRepeat(const char* v) {
    if (!isNumericText(v)) return false;
    errno = 0;
    char* end = nullptr;
    long r = strtol(v, &end, 10);
    if (errno == ERANGE || r <= 0) return false;
    g_lb.repeat = r;
    return true;
}

bool parseFcLoopbackArgs(const char* command, uint32_t tests, bool allAllowed) {
    if (g_run.testSelection == nullptr) {
        say("Unable to allocate memory");
        g_run.cluStatus = CLU_NO_MEMORY;
        return false;
    }
    for (uint32_t i = 0; i < g_table.totalCount; ++i)
        g_run.testSelection[i] = 0;
    g_lb.tests = tests;
    bool ok = g_interp.tokenCount - 1 >= 3;
    if (!ok) say("syntax error");
    int recognised = 0;
    for (int t = 1; ok && t < g_interp.tokenCount; ++t) {
        const char* token = g_interp.tokens[t];
        if (const char* v = keyValue(token, 'n')) {
            ok = selectAdapters(command, v, allAllowed);
            ++recognised;
        } else if (const char* v = keyValue(token, 'r')) {
            ok = readRepeat(v);
            ++recognised;
        } else if (const char* v = keyValue(token, 'o')) {
            uint32_t o = isNumericText(v) ? numericValue(v) : 0;
            if (o < 1 || o > 3) {
                say("Test Error Option out of range 1 - 3");
                ok = false;
            }
            g_lb.errorOption = o;
            ++recognised;
        }
    }
    if (ok && recognised >= 3) return true;
    say("Incorrect Test Parameters");
    g_run.cluStatus = CLU_TEST_PARAMETERS;
    return false;
}

// ---- PCI loopback ---------------------------------------------------------------------------

void putAddress(MboxBuf* mb, uint32_t lowWord, const uint8_t* p) {
    uint64_t a = reinterpret_cast<uintptr_t>(p);
    mb->w[lowWord] = static_cast<uint32_t>(a);
    mb->w[lowWord + 1] = static_cast<uint32_t>(a >> 32);
}

bool pciCycle(int adapter) {
    std::unique_ptr<uint8_t[]> xmit(new (std::nothrow) uint8_t[kPciBytes]);
    if (!xmit) {
        say("PCILB: Out-Of-Mem for XmtBuffer");
        return false;
    }
    std::unique_ptr<uint8_t[]> rcv(new (std::nothrow) uint8_t[kPciBytes]());
    if (!rcv) {
        say("PCILB: Out-Of-Mem for RcvBuffer");
        return false;
    }
    for (uint32_t i = 0; i < kPciBytes; ++i)
        xmit[i] = static_cast<uint8_t>(rand());
    MboxBuf mb;
    mboxInit(&mb, MBX_BIU_DIAG);
    mb.w[2] = kPciBytes & kBdeCountMask;
    putAddress(&mb, 3, xmit.get());
    mb.w[5] = kPciBytes & kBdeCountMask;
    putAddress(&mb, 6, rcv.get());
    // A refused request is a failure, whoever refused it.
    return IssueMbox1(adapter, &mb) == 0;
}

// One PCI loopback test of r cycles. Returns 0 or 13.
int32_t pciLoopbackTest(int adapter) {
    sayf("Run PCI Loopback test on adapter %d", adapter + 1);
    srand(static_cast<unsigned>(time(nullptr)));
    uint32_t& passes = passCounter(adapter, TEST_PCI);
    for (long cycle = 0; cycle < g_lb.repeat; ++cycle) {
        if (!pciCycle(adapter)) {
            sayf("   PCI Loopback test fails on adapter %d", adapter + 1);
            sayf("   Pass %u test(s)", passes);
            return CLU_PCI_FAILED;
        }
        ++passes;
        progress(passes);
    }
    if (static_cast<long>(passes) == g_lb.repeat) sayf("   Pass %u test(s)", passes);
    return CLU_OK;
}

// ---- internal and external loopback ----------------------------------------------------------

uint32_t configType(bool external) {
    return external ? TGX_LOOPBACK_EXTERNAL : TGX_LOOPBACK_INTERNAL;
}

int32_t retryConfigLoopback(int adapter, bool external) {
    uint32_t board = static_cast<uint32_t>(adapter);
    int type = external ? 0 : 1;
    uint32_t st = TGX_EndLoopback(board);
    if (st != 0)
        sayf("   [RetryConfigLoopback] TGX_EndLoopback failed (Status = %u, TestType = %d). "
             "Trying TGX_ResetAdapter...",
             st, type);
    st = TGX_ConfigLoopback(board, configType(external), kConfigWait);
    if (st == 0) return 0;
    sayf("   [RetryConfigLoopback] TGX_ConfigLoopback failed (Status = %u, TestType = %d). "
         "Trying reset and retry...",
         st, type);
    TGX_ResetAdapter(board, 1);
    st = TGX_ConfigLoopback(board, configType(external), kConfigWait);
    if (st == 0) return 0;
    if (st == 1 || st == 2) TGX_ResetAdapter(board, 1);
    return LOOPBACK_FAILED;
}

// External loopback needs the port online with an all-zero fabric name (the
// plug). Returns 0 or the test's result.
int32_t checkLoopbackPlug(int adapter) {
    HBA_PortAttributes attrs;
    memset(&attrs, 0, sizeof attrs);
    if (GetAdapterPortAttributes(static_cast<uint32_t>(adapter), 0, &attrs) != 0) {
        emitText("GetAdapterPortAttributes failed\n");
        return 2;
    }
    if (attrs.PortState != TGX_PORTSTATE_ONLINE) {
        emitText("PortState != HBA_PORTSTATE_ONLINE\n");
        return CLU_NO_LOOPBACK_PLUG;
    }
    bool zero = true;
    for (uint8_t b : attrs.FabricName)
        zero = zero && b == 0;
    if (zero) {
        emitText("Loopback mode verified\n");
        return 0;
    }
    emitText("External Loopback Test: \n");
    emitText("    Loopback plug not detected. Unable to run test. Possible problems:\n");
    emitText("    1. Loopback plug is not installed.\n");
    emitText("       Resolution: Install a loopback plug.\n");
    emitText("    2. Loopback plug is installed, but the HBA port is not ready\n");
    emitText("       (if this test is run repeatedly)\n");
    emitText("       Resolution: Wait a few seconds before re-running test.\n");
    return CLU_NO_LOOPBACK_PLUG;
}

struct LoopCycles {
    int adapter;
    bool external;
    int type;
    uint8_t xmit[kLoopBytes];
    uint8_t rcv[kLoopBytes];
};

// One cycle's test call and data check. Returns 0, 1 (board not ready: the
// caller may retry the first cycle) or 200.
int32_t loopCycle(LoopCycles* lc, long cycle, uint32_t* passes) {
    memset(lc->rcv, 0, sizeof lc->rcv);
    TGX_LOOPBACK lb = {kLoopBytes, lc->xmit, lc->rcv};
    uint32_t st = TGX_RunLoopbackTest(static_cast<uint32_t>(lc->adapter), &lb);
    if (st == 1 && cycle == 0) return 1;
    if (st != 0) {
        sayf("   [RunLoopbackTest] (RunTest) fails on adapter %d: Status = %u. TestType: %d. "
             "Cycle = %ld",
             lc->adapter + 1, st, lc->type, cycle);
        sayf("   Pass %u test(s)", *passes);
        return LOOPBACK_FAILED;
    }
    for (uint32_t k = 0; k < kLoopBytes; ++k) {
        if (lc->rcv[k] != lc->xmit[k]) {
            sayf("   [RunLoopbackTest] (RunTest) Error: Data mis-compare. Cycle: %ld, Byte index: "
                 "%u",
                 cycle, k);
            sayf("   RcvBuf[%u] = %x,\tXmitBuf[%u] = %x", k, lc->rcv[k], k, lc->xmit[k]);
            return LOOPBACK_FAILED;
        }
    }
    ++*passes;
    progress(*passes);
    return 0;
}

// The first cycle of a board that is not ready yet: wait, then reconfigure.
// True when the cycle should be tried again.
bool retryNotReady(LoopCycles* lc, int* retries) {
    if (*retries > 1) return false;
    sayf("   [RunLoopbackTest] (RunTest) First cycle. Board not ready. Retrying#%d...", *retries);
    int r = (*retries)++;
    if (r == 0) {
        plat_sleep_ms(kNotReadyWaitMs);
        return true;
    }
    return retryConfigLoopback(lc->adapter, lc->external) == 0;
}

// The cycles of a configured loopback. configFailed: every cycle fails.
int32_t runCycles(LoopCycles* lc, bool configFailed) {
    uint32_t& passes = passCounter(lc->adapter, lc->external ? TEST_EXTERNAL : TEST_INTERNAL);
    int32_t result = 0;
    bool failing = configFailed; // sticky until a cycle passes
    uint32_t errors = 0;
    int retries = 0;
    for (long cycle = 0; cycle < g_lb.repeat;) {
        int32_t st = LOOPBACK_FAILED;
        if (!failing || (errors > 0 && g_lb.errorOption == 2 && !configFailed))
            st = loopCycle(lc, cycle, &passes);
        if (st == 1) {
            if (retryNotReady(lc, &retries)) continue;
            sayf("   [RunLoopbackTest] (RunTest) fails on adapter %d: Status = %d. TestType: %d. "
                 "Cycle = %ld",
                 lc->adapter + 1, 1, lc->type, cycle);
            sayf("   Pass %u test(s)", passes);
            st = LOOPBACK_FAILED;
        }
        if (st == 0) {
            failing = false;
            ++cycle;
            continue;
        }
        failing = true;
        result = LOOPBACK_FAILED;
        if (g_lb.errorOption == 1) {
            g_lb.stop = true;
            say("Encounter Error, stop all tests");
            return LOOPBACK_FAILED;
        }
        if (g_lb.errorOption == 2) {
            if (++errors >= kMaxRepeatedErrors) {
                g_lb.stop = true;
                say("Error already repeats 4 times. Stop");
                return CLU_ERRORS_REPEATED;
            }
            continue;
        }
        ++cycle;
    }
    if (result == 0 && static_cast<long>(passes) == g_lb.repeat) sayf("   Pass %u test(s)", passes);
    return result;
}

// Internal (external false) or external loopback test of r cycles. Returns 0,
// 2, 9, 25 or 200. Once loopback was configured the port always leaves it.
int32_t runLoopbackTest(int adapter, bool external) {
    int type = external ? 0 : 1;
    trace("\n[RunLoopbackTest]\n");
    emitText(external ? "Run External Loopback test on adapter %d\n"
                      : "Run Internal Loopback test on adapter %d\n",
             adapter + 1);
    trace("\n[RunLoopbackTest] - TestType %d\n", type);
    if (external) {
        int32_t plug = checkLoopbackPlug(adapter);
        if (plug != 0) return plug;
    }
    uint32_t board = static_cast<uint32_t>(adapter);
    uint32_t st = TGX_ConfigLoopback(board, configType(external), kConfigWait);
    bool configFailed = false;
    if (st == 1 || st == 2) {
        sayf("   [RunLoopbackTest] TGX_ConfigLoopback failed (Status = %u, TestType = %d). "
             "Retrying...",
             st, type);
        configFailed = retryConfigLoopback(adapter, external) != 0;
    } else if (st != 0) {
        sayf("   [RunLoopbackTest] TGX_ConfigLoopback failed (Status = %u, TestType = %d)", st,
             type);
        TGX_EndLoopback(board);
        return LOOPBACK_FAILED;
    }
    std::unique_ptr<LoopCycles> lc(new (std::nothrow) LoopCycles);
    int32_t result = LOOPBACK_FAILED;
    if (lc) {
        lc->adapter = adapter;
        lc->external = external;
        lc->type = type;
        for (uint32_t i = 0; i < kLoopBytes; ++i)
            lc->xmit[i] = static_cast<uint8_t>(i);
        result = runCycles(lc.get(), configFailed);
    }
    TGX_EndLoopback(board);
    return result;
}

// ---- the series -----------------------------------------------------------------------------

// Runs one test on one adapter with the series-level error option (PCI
// only; the port tests apply it per cycle). Returns the failure exit code or
// 0; *stopSeries is set when the series must end.
int32_t runOneTest(int adapter, uint32_t test, bool* stopSeries) {
    if (test == TEST_PCI) {
        uint32_t errors = 0;
        for (;;) {
            if (pciLoopbackTest(adapter) == CLU_OK) return CLU_OK;
            if (g_lb.errorOption == 1) {
                g_lb.stop = true;
                say("Encounter Error, stop all tests");
                *stopSeries = true;
                return CLU_PCI_FAILED;
            }
            if (g_lb.errorOption == 2 && ++errors < kMaxRepeatedErrors) continue;
            if (g_lb.errorOption == 2) {
                g_lb.stop = true;
                say("Error already repeats 4 times. Stop");
                *stopSeries = true;
                return CLU_ERRORS_REPEATED;
            }
            return CLU_PCI_FAILED;
        }
    }
    bool external = test == TEST_EXTERNAL;
    int32_t r = runLoopbackTest(adapter, external);
    if (r == 0) return CLU_OK;
    if (r == CLU_ERRORS_REPEATED || g_lb.stop) *stopSeries = true;
    // A missing plug or a port not online keeps its own code.
    if (r == CLU_ERRORS_REPEATED || r == CLU_NO_LOOPBACK_PLUG) return r;
    return external ? CLU_EXTERNAL_FAILED : CLU_INTERNAL_FAILED;
}

int32_t loopbackTestSeries() {
    if (g_lb.stop) return CLU_TEST_STOPPED;
    for (uint32_t i = 0; i < g_table.fcCount; ++i) {
        AdapterRecord* r = adapterAt(static_cast<int>(i));
        r->pciLoopbackPasses = r->intLoopbackPasses = r->extLoopbackPasses = 0;
    }
    int32_t exitCode = CLU_OK;
    for (uint32_t i = 0; i < g_table.fcCount; ++i) {
        if (g_run.testSelection[i] == 0) continue;
        int adapter = static_cast<int>(i);
        emitText("\n**Start tests on Adapter %d\n", adapter + 1);
        bool adapterError = false;
        bool stopSeries = false;
        for (uint32_t test : {TEST_PCI, TEST_INTERNAL, TEST_EXTERNAL}) {
            if (!(g_lb.tests & test)) continue;
            g_lb.stop = false;
            int32_t r = runOneTest(adapter, test, &stopSeries);
            if (r != CLU_OK) {
                exitCode = r;
                adapterError = true;
            }
            if (userStopKey()) {
                g_lb.stop = true;
                exitCode = CLU_TEST_STOPPED;
            }
            if (stopSeries || g_lb.stop) break;
        }
        if (g_lb.stop) {
            emitText("\n*Error or User stops all tests\n");
            break;
        }
        // A failure of an earlier adapter stays the series' exit code.
        emitText(adapterError ? "*Complete tests on Adapter %d, WITH error\n"
                              : "*Complete tests on Adapter %d, NO error\n",
                 adapter + 1);
    }
    return exitCode;
}

void fcLoopbackCommand(const char* command, uint32_t tests, bool allAllowed) {
    if (!parseFcLoopbackArgs(command, tests, allAllowed)) return;
    g_run.cluStatus = loopbackTestSeries();
}

// ---- converged forms ------------------------------------------------------------------------

// An external loopback needs the port's link up (a plug in place): a NIC
// function's as its converged adapter's port record shows it, any other
// converged target's as start-up found it.
bool convergedLinkUp(int i) {
    if (isNicFunction(i)) return cnaPortLinkUp(i);
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && r->linkUp != 0;
}

void runConvergedLoopback(CnaTestParams* p) {
    int controller = 0;
    if (!g_run.nexaUp || !cnaControllerTag(p->targetIndex, &controller)) {
        if (g_run.nexaUp)
            sayNoConvergedAdapter(p->targetIndex);
        else
            say("NEXA not available");
        g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
        return;
    }
    if (p->loopType == CNA_LOOP_ONE_PORT && !convergedLinkUp(p->targetIndex)) {
        say("NO loopback plug - Unable to run External Loopback");
        g_run.cluStatus = CLU_NO_LOOPBACK_PLUG;
        return;
    }
    int status = cnaLoopbackTest(p);
    g_run.cluStatus = status == MAL_RM_BYTE_COUNT ? static_cast<int32_t>(CLU_INPUT_VALUE) : status;
}

void convergedOrFc(CnaParseResult r, CnaTestParams* p, const char* command, uint32_t tests) {
    switch (r) {
    case CNA_PARSE_OK:
        runConvergedLoopback(p);
        return;
    case CNA_PARSE_FC:
        fcLoopbackCommand(command, tests, false);
        return;
    case CNA_PARSE_END:
        return;
    default:
        say("Incorrect Test Parameters");
        g_run.cluStatus = CLU_TEST_PARAMETERS;
        return;
    }
}

// PHY and MAC loopback have no FC form: n=all, which the parser hands to the
// FC side, selects no converged target.
void convergedOnly(CnaParseResult r, CnaTestParams* p, const char* command) {
    if (r != CNA_PARSE_FC) {
        convergedOrFc(r, p, command, 0);
        return;
    }
    sayf("Invalid option: %s does not support n=all", command);
    say("Command not supported");
    g_run.cluStatus = CLU_NOT_SUPPORTED;
}

} // namespace

bool (*g_loopbackKeySource)() = nullptr;

void loopbackResetState() {
    g_lb = {0, 1, 3, false};
}

void cmdPciLoopback() {
    fcLoopbackCommand("pciloopback", TEST_PCI, true);
}

void cmdIntLoopback() {
    CnaTestParams p;
    cnaTestParamsInit(&p);
    convergedOrFc(cnaParseLoopbackArgs(false, &p), &p, "intloopback", TEST_INTERNAL);
}

void cmdExtLoopback() {
    CnaTestParams p;
    cnaTestParamsInit(&p);
    convergedOrFc(cnaParseLoopbackArgs(true, &p), &p, "extloopback", TEST_EXTERNAL);
}

void cmdPhyLoopback() {
    CnaTestParams p;
    cnaTestParamsInit(&p);
    convergedOnly(cnaParsePhyMacArgs(CNA_LOOP_PHY, &p), &p, "phyloopback");
}

void cmdMacLoopback() {
    CnaTestParams p;
    cnaTestParamsInit(&p);
    convergedOnly(cnaParsePhyMacArgs(CNA_LOOP_MAC, &p), &p, "macloopback");
}
