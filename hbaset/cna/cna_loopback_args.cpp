// Argument parsers of the converged loopback tests over the token table:
// intloopback and extloopback (n, r, c, t, p), phyloopback and macloopback
// (n, r, c, p). Keys are found anywhere in a token, in either case. A parser
// that finds n=all, or an entry it does not test, hands the command back to
// its caller (the FC loopback parser, or the "not supported" answer).
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"

namespace {

constexpr int kInternalMinTokens = 6;
constexpr int kExternalMinTokens = 5;
constexpr int kPhyMacMinTokens = 5;
constexpr uint32_t kBytesMin = 1500;
constexpr uint32_t kBytesMax = 8192;
constexpr uint32_t kMacLoopBytesMax = 4056;
constexpr size_t kPatternMin = 3;
constexpr size_t kPatternMax = 8;

// What one token did to the parse.
enum TokenOutcome { TOKEN_NEXT, TOKEN_FAILED, TOKEN_FC, TOKEN_END };

TokenOutcome failWith(const char* text, int32_t status) {
    say(text);
    g_run.cluStatus = status;
    return TOKEN_FAILED;
}

// n=: the target entry. notManagedEnds: an entry that is not NEXA-managed
// ends the command with 71 instead of going to the FC parser.
TokenOutcome adapterKey(const char* v, bool notManagedEnds, CnaTestParams* p) {
    if (isAllAdapters(v)) return TOKEN_FC;
    if (!isNumericText(v)) return failWith("Non-Numeric Input", CLU_NON_NUMERIC);
    parseAdapterValue(v);
    int i = g_args.adapterIndex;
    if (!isNexaManaged(i)) {
        if (!notManagedEnds) return TOKEN_FC;
        emitText("Command not supported on Adapter Number: %u\n",
                 static_cast<unsigned>(g_args.adapterFull));
        g_run.cluStatus = CLU_NOT_SUPPORTED;
        return TOKEN_END;
    }
    if (isJumperlessDevice(i)) {
        emitText("Command not supported on Adapter Number: %u\n",
                 static_cast<unsigned>(g_args.adapterFull));
        g_run.cluStatus = CLU_NOT_SUPPORTED;
        return TOKEN_END;
    }
    p->targetIndex = i;
    return TOKEN_NEXT;
}

// r=, c= and p= (shared by both parsers); counts each key found.
TokenOutcome testKeys(const char* token, int* keys, CnaTestParams* p) {
    if (const char* v = keyValue(token, 'r')) {
        if (!isNumericText(v)) return failWith("Non-Numeric Input", CLU_NON_NUMERIC);
        ++*keys;
        p->repeatCount = numericValue(v);
        if (p->repeatCount == 0) return failWith("No Repeat Count", CLU_INPUT_VALUE);
    }
    if (const char* v = keyValue(token, 'c')) {
        if (!isNumericText(v)) return failWith("Non-Numeric Input", CLU_NON_NUMERIC);
        ++*keys;
        p->byteCount = numericValue(v);
    }
    if (const char* v = keyValue(token, 'p')) {
        ++*keys;
        size_t length = strlen(v);
        if (length < kPatternMin || length > kPatternMax)
            return failWith("Pattern string longer than 8 bytes or shorter than 3 bytes",
                            CLU_INPUT_VALUE);
        copyBounded(p->pattern, sizeof p->pattern, v);
    }
    return TOKEN_NEXT;
}

CnaParseResult resultOf(TokenOutcome t) {
    switch (t) {
    case TOKEN_FC:
        return CNA_PARSE_FC;
    case TOKEN_END:
        return CNA_PARSE_END;
    default:
        return CNA_PARSE_FAILED;
    }
}

} // namespace

CnaParseResult cnaParseLoopbackArgs(bool external, CnaTestParams* p) {
    const int minTokens = external ? kExternalMinTokens : kInternalMinTokens;
    p->loopType = external ? uint32_t{CNA_LOOP_ONE_PORT} : 0u;
    int keys = 0;
    for (int t = 1; t < g_interp.tokenCount; ++t) {
        const char* token = g_interp.tokens[t];
        if (const char* v = keyValue(token, 'n')) {
            ++keys;
            TokenOutcome o = adapterKey(v, false, p);
            if (o != TOKEN_NEXT) return resultOf(o);
        }
        if (g_interp.tokenCount < minTokens) return resultOf(failWith("syntax error", CLU_SYNTAX));
        TokenOutcome o = testKeys(token, &keys, p);
        if (o != TOKEN_NEXT) return resultOf(o);
        if (const char* v = keyValue(token, 't')) {
            if (!isNumericText(v)) return resultOf(failWith("Non-Numeric Input", CLU_NON_NUMERIC));
            ++keys;
            p->loopType = numericValue(v);
            if (!external && p->loopType != CNA_LOOP_MAC && p->loopType != CNA_LOOP_PHY)
                return resultOf(failWith("Test Type out of range 1 - 2", CLU_INPUT_VALUE));
            if (external) p->loopType = CNA_LOOP_ONE_PORT;
        }
    }
    if (keys < minTokens - 1 || p->targetIndex < 0) return CNA_PARSE_FAILED;
    if (p->loopType == CNA_LOOP_MAC && p->byteCount > kMacLoopBytesMax)
        return resultOf(
            failWith("For MAC Loopback- Byte Count out of range 1500 - 4056", CLU_INPUT_VALUE));
    if (p->byteCount < kBytesMin || p->byteCount > kBytesMax)
        return resultOf(failWith("Byte Count out of range 1500 - 8192", CLU_INPUT_VALUE));
    p->convergedTarget = true;
    return CNA_PARSE_OK;
}

CnaParseResult cnaParsePhyMacArgs(uint32_t loopType, CnaTestParams* p) {
    p->loopType = loopType;
    int keys = 0;
    for (int t = 1; t < g_interp.tokenCount; ++t) {
        const char* token = g_interp.tokens[t];
        if (const char* v = keyValue(token, 'n')) {
            ++keys;
            TokenOutcome o = adapterKey(v, true, p);
            if (o != TOKEN_NEXT) return resultOf(o);
        }
        if (g_interp.tokenCount < kPhyMacMinTokens)
            return resultOf(failWith("syntax error", CLU_SYNTAX));
        TokenOutcome o = testKeys(token, &keys, p);
        if (o != TOKEN_NEXT) return resultOf(o);
    }
    if (keys < 4 || p->targetIndex < 0) {
        g_run.cluStatus = CLU_TEST_PARAMETERS;
        return CNA_PARSE_END;
    }
    if (p->byteCount > kBytesMax) {
        return resultOf(failWith(loopType == CNA_LOOP_MAC
                                     ? "For MAC Loopback- Byte Count out of range 1500 - 8192"
                                     : "For PHY Loopback- Byte Count out of range 1500 - 8192",
                                 CLU_INPUT_VALUE));
    }
    p->convergedTarget = true;
    return CNA_PARSE_OK;
}
