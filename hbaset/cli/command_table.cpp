// The command table: one row per command name, with the particular checks of
// each command and the call of its body. Lookup compares names exactly, so the
// order of the rows does not matter.
//
// How to add a command:
//  1. Row: append it to kCommandRows (name in upper case, token rule and
//     syntax-error text, flags, the adapter check and restriction, its keys in
//     the order the handler reads them) with a handler: runIndexed<body>,
//     runAllOrOne<body>, runPlain<body> or runWithFile<body> when the body
//     takes no more than the adapter (and a file name), else a run<Name>
//     handler above the rows that checks the values and fills g_args. A
//     handler that reads more than two keys names their slots (see
//     kBootWwn0 below). A command that changes an adapter (flash, regions,
//     WWNs, settings) carries WRITES in its flags: its handler then runs
//     holding the adapter's writer lock.
//  2. Body: cmd<Name> declared in commands.h, written in hbaset/cli/cmd_<name>.cpp
//     (or the family's own file), leaving its status in g_run.cluStatus.
//  3. Test: a Case row in tests/hbaset_core/test_interp_commands.cpp for its
//     parsing (exact console text and status), and the body's own tests.
#include "common/bounded_text.h"
#include "hbaset/cli/command_table.h"

#include <cctype>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

namespace {

// Copies the first word of src (leading blanks skipped, ends at the next
// blank), cut to size - 1 characters.
void copyWord(char* dst, size_t size, const char* src) {
    while (*src != '\0' && isspace(static_cast<unsigned char>(*src)))
        ++src;
    size_t n = 0;
    while (src[n] != '\0' && !isspace(static_cast<unsigned char>(src[n])) && n + 1 < size)
        ++n;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

int32_t status() {
    return g_run.cluStatus;
}
int index() {
    return g_args.adapterIndex;
}
bool allAdapters() {
    return !g_args.haveAdapter || g_args.allAdapters;
}

// ---- handlers after the generic parse (kv.value / kv.number follow the row's keys) ----

// Slots of setbootdevice's keys: n w0= w1= l t.
enum : size_t { kBootWwn0 = 1, kBootWwn1, kBootLun, kBootTopology };

int32_t runSetBootDevice(const CommandRow&, const KeyValues& kv) {
    static const uint32_t kTopologyCodes[] = {12, 4, 0, 8};
    if (kv.number[kBootLun] > 255) {
        sayf("Invalid LUN number: %u", kv.number[kBootLun]);
        return CLU_INVALID_LUN;
    }
    if (kv.number[kBootTopology] > 3) {
        sayf("Invalid Topology input: %u", kv.number[kBootTopology]);
        return CLU_TOPOLOGY;
    }
    g_args.wwpn[0] = kv.number[kBootWwn0];
    g_args.wwpn[1] = kv.number[kBootWwn1];
    g_args.lun = kv.number[kBootLun];
    g_args.topology = kTopologyCodes[kv.number[kBootTopology]];
    cmdSetBootDevice(index());
    return status();
}

// Slots of setaltboot's keys: n i w0= w1= l.
enum : size_t { kAltIndex = 1, kAltWwn0, kAltWwn1, kAltLun };

int32_t runSetAltBoot(const CommandRow&, const KeyValues& kv) {
    if (kv.number[kAltIndex] < 1 || kv.number[kAltIndex] > 7) {
        say("Index out of range");
        return CLU_NO_ALL_OPTION;
    }
    if (kv.number[kAltLun] > 255) {
        sayf("Invalid LUN number: %u", kv.number[kAltLun]);
        return CLU_INVALID_LUN;
    }
    g_args.bootIndex = kv.number[kAltIndex];
    g_args.wwpn[0] = kv.number[kAltWwn0];
    g_args.wwpn[1] = kv.number[kAltWwn1];
    g_args.lun = kv.number[kAltLun];
    cmdSetAltBoot(index());
    return status();
}

template <ScriptWwnKind kind>
int32_t runScriptWwn(const CommandRow&, const KeyValues& kv) { // n w0 w1
    bool portName = kind == SCRIPT_WWPN || kind == SCRIPT_VWWPN;
    uint32_t* target = portName ? g_args.wwpn : g_args.wwnn;
    uint32_t* cleared = portName ? g_args.wwnn : g_args.wwpn;
    cleared[0] = cleared[1] = 0;
    target[0] = kv.number[1];
    target[1] = kv.number[2];
    cmdScriptWwn(index(), kind);
    return status();
}

int32_t runReadConfig(const CommandRow&, const KeyValues& kv) { // n r l
    if (kv.number[1] > 32) {
        sayf("config region %u value out of range", kv.number[1]);
        return CLU_REGION_RANGE;
    }
    if (kv.number[2] < 4) {
        say("Byte Length too small");
        return CLU_INPUT_VALUE;
    }
    g_args.region = kv.number[1];
    g_args.length = kv.number[2];
    cmdReadConfig(index());
    return status();
}

int32_t runDownload(const CommandRow& row, const KeyValues& kv) { // n a i
    if (kv.value[1] != nullptr) {
        if (kv.value[1][0] == '\0') return failNoInput(row);
        copyWord(g_args.adapterName, sizeof g_args.adapterName, kv.value[1]);
        copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[2]);
        cmdDownloadByName();
        return status();
    }
    if (!g_args.haveAdapter) return failSymbols(row);
    int32_t st = checkAdapter(CHECK_ANY, row.flags);
    if (st == CLU_OK) st = checkRestriction(RESTRICT_JUMPERLESS);
    if (st != CLU_OK) return st;
    copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[2]);
    cmdDownload(index());
    return status();
}

int32_t runLoadImage(const CommandRow&, const KeyValues& kv) { // n i t
    if (kv.number[2] != 1 && kv.number[2] != 225) {
        say("Image Type Not Supported");
        return CLU_IMAGE_TYPE;
    }
    copyWord(g_args.fileName, sizeof g_args.fileName, kv.value[1]);
    g_args.imageType = kv.number[2];
    cmdLoadImage(index(), kv.number[2]);
    return status();
}

int32_t runReadVitesse(const CommandRow&, const KeyValues& kv) { // n o c
    g_args.offset = kv.number[1];
    g_args.count = kv.number[2];
    cmdReadVitesse(index(), kv.number[1], kv.number[2]);
    return status();
}

int32_t runReset(const CommandRow&, const KeyValues&) {
    cmdReset(index(), g_args.allAdapters);
    return status();
}

int32_t runWriteFfv(const CommandRow&, const KeyValues& kv) { // n i
    copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[1]);
    cmdWriteFfv(index());
    return status();
}

int32_t runPutFactory(const CommandRow&, const KeyValues&) {
    cmdPutFactory();
    return status();
}

int32_t runWriteWwn(const CommandRow&, const KeyValues&) {
    if (g_msg.scriptMode) {
        say("writeWWN Command NOT supported in script file");
        return CLU_WRITEWWN_SCRIPT;
    }
    cmdWriteWwn(index(), g_args.allAdapters);
    return status();
}

// Slots of dmatest's keys: n p c r.
enum : size_t { kDmaPattern = 1, kDmaByteCount, kDmaRepeat };

int32_t runDmaTest(const CommandRow&, const KeyValues& kv) {
    size_t patternLength = strlen(kv.value[kDmaPattern]);
    if (patternLength < 3 || patternLength > 8) {
        say("Pattern string longer than 8 bytes or shorter than 3 bytes");
        return CLU_INPUT_VALUE;
    }
    if (kv.number[kDmaByteCount] < 64 || kv.number[kDmaByteCount] > 4096) {
        say("Byte Count out of range 64 - 4096");
        return CLU_INPUT_VALUE;
    }
    if (kv.number[kDmaRepeat] == 0) {
        say("No Repeat Count");
        return CLU_INPUT_VALUE;
    }
    copyBounded(g_args.pattern, sizeof g_args.pattern, kv.value[kDmaPattern]);
    g_args.byteCount = kv.number[kDmaByteCount];
    g_args.repeatCount = kv.number[kDmaRepeat];
    cmdDmaTest(index());
    return status();
}

template <void (*body)()> int32_t runPlain(const CommandRow&, const KeyValues&) {
    body();
    return status();
}

template <void (*body)(int)> int32_t runIndexed(const CommandRow&, const KeyValues&) {
    body(index());
    return status();
}

template <void (*body)(int, bool)> int32_t runAllOrOne(const CommandRow&, const KeyValues&) {
    body(index(), allAdapters());
    return status();
}

// Commands whose second key is a file or text value kept in fileName.
template <void (*body)(int)> int32_t runWithFile(const CommandRow&, const KeyValues& kv) {
    copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[1]);
    body(index());
    return status();
}

int32_t runSaveVpd(const CommandRow& row, const KeyValues& kv) { // n i
    if (kv.value[1] == nullptr) return failSymbols(row);
    if (kv.value[1][0] == '\0') {
        say("No Output file");
        return CLU_INPUT_VALUE;
    }
    copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[1]);
    cmdSaveVpd(index());
    return status();
}

int32_t runChangePersonality(const CommandRow&, const KeyValues& kv) { // n p
    copyWord(g_args.personality, sizeof g_args.personality, kv.value[1]);
    cmdChangePersonality(index());
    return status();
}

int32_t runWriteSvMac(const CommandRow&, const KeyValues& kv) { // n m=
    // Twelve upper-case hexadecimal digits: the first 4 are the high 16 bits,
    // the last 8 the low 32 bits.
    uint64_t mac = 0;
    for (int k = 0; k < 12; ++k) {
        char c = kv.value[1][k];
        mac = (mac << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    g_args.macHigh = static_cast<uint16_t>(mac >> 32);
    g_args.macLow = static_cast<uint32_t>(mac);
    cmdWriteSvMac(index(), g_args.macHigh, g_args.macLow);
    return status();
}

int32_t runWriteVlanProps(const CommandRow&, const KeyValues& kv) { // n i p
    g_args.vlanId = kv.number[1];
    g_args.vlanPriority = kv.number[2];
    cmdWriteVlanProps(index(), kv.number[1], kv.number[2]);
    return status();
}

int32_t runNetworkBoot(const CommandRow&, const KeyValues& kv) { // n t s
    if (strcasecmp(kv.value[1], "PXE") != 0) {
        say("Invalid network boot type");
        return CLU_INPUT_VALUE;
    }
    if (kv.number[2] > 1) {
        say("Invalid network boot setting");
        return CLU_INPUT_VALUE;
    }
    g_args.setting = kv.number[2];
    copyBounded(g_args.fileName, sizeof g_args.fileName, kv.value[1]); // the method as typed
    cmdNetworkBoot(index(), kv.number[2]);
    return status();
}

// ---- commands with their own parsing ------------------------------------------------

int32_t parseJumper(const CommandRow& row) {
    int keys = 0;
    bool haveRegion = false;
    bool haveSelection = false;
    for (int t = 1; t < g_interp.tokenCount; ++t) {
        const char* token = g_interp.tokens[t];
        if (const char* v = keyValue(token, 'n')) {
            ++keys;
            if (parseAdapterValue(v) != CLU_OK) return failNonNumeric(row);
            if (g_args.allAdapters) {
                say("Command does not support All Adapters option\n");
                return CLU_NO_ALL_OPTION;
            }
            if (isNexaManaged(index()) || isJumperlessDevice(index())) {
                sayf("Command not supported on Adapter Number: %u\n",
                     static_cast<unsigned>(g_args.adapterNumber));
                return CLU_NOT_SUPPORTED;
            }
        }
        if (const char* v = keyValue(token, 'r')) {
            ++keys;
            if (!isNumericText(v)) return failNonNumeric(row);
            g_args.region = numericValue(v);
            haveRegion = true;
            if (g_args.region != 6 && g_args.region != 7) {
                sayf("config region %u value out of range", g_args.region);
                return CLU_REGION_RANGE;
            }
        }
        if (const char* v = keyValue(token, 's')) {
            ++keys;
            if (!isNumericText(v)) return failNonNumeric(row);
            g_args.selection = numericValue(v);
            haveSelection = true;
            if (g_args.selection > 2) {
                sayf("selection value of %u: out of range", g_args.selection);
                return CLU_SELECTION_RANGE;
            }
        }
    }
    if (keys < 2) return failSymbols(row);
    // The selection is never defaulted; selection 2 needs its region, the
    // others take none.
    bool needsRegion = g_args.selection == 2;
    if (!haveSelection || (needsRegion && (keys < 3 || !haveRegion)) ||
        (!needsRegion && keys > 2)) {
        say(row.syntaxError);
        return CLU_SYNTAX;
    }
    if (!g_args.haveAdapter) return failSymbols(row);
    return checkAdapter(CHECK_FC, row.flags);
}

int32_t runJumper(const CommandRow&, const KeyValues&) {
    cmdJumper(index(), g_args.selection, g_args.region);
    return status();
}

int32_t parseLogFile(const CommandRow& row) {
    if (!g_msg.scriptMode) {
        say("Logfile Command supported only in script file");
        return CLU_SCRIPT_ONLY;
    }
    const char* v = keyValue(g_interp.tokens[1], 'l');
    if (v == nullptr) {
        say(row.syntaxError);
        return CLU_SYNTAX;
    }
    if (v[0] == '\0') return failNoInput(row);
    char name[LOG_FILE_NAME_MAX + 1];
    copyWord(name, sizeof name, v);
    cmdLogFile(name);
    return status();
}

int32_t parseScreenDisplay(const CommandRow& row) {
    if (!g_msg.scriptMode) {
        say("ScreenDisplay Command supported only in script file");
        return CLU_SCRIPT_ONLY;
    }
    const char* v = keyValue(g_interp.tokens[1], 'o');
    if (v != nullptr && !isNumericText(v)) return failNonNumeric(row);
    uint32_t option = v ? numericValue(v) : 2;
    if (option > 1) {
        say(row.syntaxError);
        return CLU_SYNTAX;
    }
    cmdScreenDisplay(option);
    return status();
}

int32_t parseHelp(const CommandRow&) {
    bool topic = g_interp.tokenCount >= 2 && g_interp.tokens[1][0] != '\0';
    cmdHelp(topic ? g_interp.tokens[1] : nullptr);
    return status();
}

// ---- the rows -----------------------------------------------------------------------------

constexpr KeySpec N = {"n", VALUE_ADAPTER, true};
constexpr KeySpec N_OPT = {"n", VALUE_ADAPTER, false};
constexpr KeySpec W0 = {"w0=", VALUE_WWN, true};
constexpr KeySpec W1 = {"w1=", VALUE_WWN, true};

constexpr KeySpec num(const char* key) {
    return {key, VALUE_NUMBER, true};
}
constexpr KeySpec text(const char* key) {
    return {key, VALUE_TEXT, true};
}

constexpr uint16_t SLOT1 = ROW_SLOT1_ONLY;
constexpr uint16_t WRITES = ROW_CHANGES_ADAPTER;

} // namespace

// clang-format off
const CommandRow kCommandRows[] = {
    // name, token rule, limit, syntax-error message, flags, min keys, adapter check, restriction, keys, run, custom
    {"JUMPER", TOKENS_AT_LEAST, 3, "jumper syntax error", WRITES, 2, CHECK_FC, RESTRICT_JUMPERLESS, {}, runJumper, parseJumper},
    {"SETBOOTDEVICE", TOKENS_AT_LEAST, 6, "setbootdevice syntax error", WRITES, 5, CHECK_FC, RESTRICT_JUMPERLESS, {N, W0, W1, num("l"), num("t")}, runSetBootDevice, nullptr},
    {"SETALTBOOT", TOKENS_AT_LEAST, 6, "setAltBoot syntax error", WRITES, 5, CHECK_FC_STAR, RESTRICT_JUMPERLESS, {N, num("i"), W0, W1, num("l")}, runSetAltBoot, nullptr},
    {"SCRIPTWWPN", TOKENS_AT_LEAST, 4, "scriptWWPN syntax error", WRITES, 3, CHECK_FC_STAR, RESTRICT_NONE, {N, W0, W1}, runScriptWwn<SCRIPT_WWPN>, nullptr},
    {"SCRIPTWWNN", TOKENS_AT_LEAST, 4, "scriptWWNN syntax error", WRITES, 3, CHECK_FC_STAR, RESTRICT_NONE, {N, W0, W1}, runScriptWwn<SCRIPT_WWNN>, nullptr},
    {"SCRIPTVWWPN", TOKENS_AT_LEAST, 4, "scriptVWWPN syntax error", WRITES, 3, CHECK_FC_STAR, RESTRICT_NONE, {N, W0, W1}, runScriptWwn<SCRIPT_VWWPN>, nullptr},
    {"SCRIPTVWWNN", TOKENS_AT_LEAST, 4, "scriptVWWNN syntax error", WRITES, 3, CHECK_FC_STAR, RESTRICT_NONE, {N, W0, W1}, runScriptWwn<SCRIPT_VWWNN>, nullptr},
    {"READCONFIG", TOKENS_AT_LEAST, 4, "readconfig syntax error", 0, 3, CHECK_FC_STAR, RESTRICT_NONE, {N, num("r"), num("l")}, runReadConfig, nullptr},
    {"DOWNLOAD", TOKENS_AT_LEAST, 3, "download syntax error", WRITES, 2, CHECK_NONE, RESTRICT_NONE, {N_OPT, {"a", VALUE_TEXT, false}, text("i")}, runDownload, nullptr},
    {"LOADIMAGE", TOKENS_AT_LEAST, 4, "loadimage syntax error", WRITES, 3, CHECK_NONE, RESTRICT_LOADIMAGE, {N, text("i"), num("t")}, runLoadImage, nullptr},
    {"READVITESSE", TOKENS_AT_LEAST, 4, "readvitesse syntax error", 0, 3, CHECK_NONE, RESTRICT_NONE, {N, num("o"), num("c")}, runReadVitesse, nullptr},
    {"RESET", TOKENS_AT_LEAST, 2, "reset syntax error", ROW_ALL | WRITES, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runReset, nullptr},
    {"WRITEFFV", TOKENS_AT_MOST, 3, "writeffv syntax error", WRITES, 2, CHECK_ANY, RESTRICT_FFV, {N, text("i")}, runWriteFfv, nullptr},
    {"QRLX614PUTFACTRY", TOKENS_ANY, 0, nullptr, WRITES, 0, CHECK_NONE, RESTRICT_NONE, {}, runPutFactory, nullptr},
    {"WRITEWWN", TOKENS_AT_LEAST, 2, "writewwn syntax error", ROW_ALL | WRITES, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runWriteWwn, nullptr},
    {"PCILOOPBACK", TOKENS_AT_LEAST, 4, "pciloopback syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdPciLoopback>, nullptr},
    {"DMATEST", TOKENS_AT_LEAST, 5, "DmaTest syntax error", ROW_CNA, 4, CHECK_ANY, RESTRICT_DMATEST, {N, text("p"), num("c"), num("r")}, runDmaTest, nullptr},
    {"INTLOOPBACK", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdIntLoopback>, nullptr},
    {"PHYLOOPBACK", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdPhyLoopback>, nullptr},
    {"MACLOOPBACK", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdMacLoopback>, nullptr},
    {"EXTLOOPBACK", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdExtLoopback>, nullptr},
    {"LOGFILE", TOKENS_AT_LEAST, 2, "logfile syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, nullptr, parseLogFile},
    {"LISTATTR", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdListAttr>, nullptr},
    {"HBAATTR", TOKENS_AT_MOST, 2, "listattr syntax error", ROW_ALL, 0, CHECK_ANY, RESTRICT_NONE, {N_OPT}, runAllOrOne<cmdHbaAttr>, nullptr},
    {"LISTFW", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdListFw>, nullptr},
    {"PCIDATA", TOKENS_ANY, 0, nullptr, SLOT1, 1, CHECK_ANY, RESTRICT_NONE, {N}, runIndexed<cmdPciData>, nullptr},
    {"PCIDATAEXT", TOKENS_ANY, 0, nullptr, SLOT1, 1, CHECK_ANY, RESTRICT_NONE, {N}, runIndexed<cmdPciData>, nullptr},
    {"LISTHBA", TOKENS_AT_MOST, 2, "listhba syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdListHba>, nullptr},
    {"LISTHBAS", TOKENS_AT_MOST, 2, "listhba syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdListHba>, nullptr},
    {"LISTCNA", TOKENS_AT_MOST, 2, "listcna syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdListCna>, nullptr},
    {"LISTWWN", TOKENS_AT_MOST, 2, "listwwn syntax error", ROW_ALL, 0, CHECK_FC, RESTRICT_NONE, {N_OPT}, runAllOrOne<cmdListWwn>, nullptr},
    {"LISTMAC", TOKENS_AT_MOST, 2, "listmac syntax error", ROW_ALL | ROW_CNA, 0, CHECK_ANY, RESTRICT_NIC_INVALID, {N_OPT}, runAllOrOne<cmdListMac>, nullptr},
    {"VERSION", TOKENS_AT_MOST, 2, "version syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, runPlain<cmdVersion>, nullptr},
    {"READBOOTDEVICE", TOKENS_AT_LEAST, 2, "readbootdevice syntax error", SLOT1, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runIndexed<cmdReadBootDevice>, nullptr},
    {"READALTBOOT", TOKENS_AT_LEAST, 2, "readaltboot syntax error", SLOT1, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runIndexed<cmdReadAltBoot>, nullptr},
    {"LISTBOOT", TOKENS_AT_LEAST, 2, "lisboot syntax error", SLOT1, 1, CHECK_ANY, RESTRICT_JUMPERLESS, {N}, runIndexed<cmdListBoot>, nullptr},
    {"DISABLEBOOTDEVICE", TOKENS_AT_LEAST, 2, "disableBootDevice syntax error", SLOT1 | WRITES, 1, CHECK_FC, RESTRICT_NONE, {N}, runIndexed<cmdDisableBootDevice>, nullptr},
    {"ENABLEBOOTDEVICE", TOKENS_AT_LEAST, 2, "enableBootDevice syntax error", SLOT1 | WRITES, 1, CHECK_FC, RESTRICT_NONE, {N}, runIndexed<cmdEnableBootDevice>, nullptr},
    {"READNVLOG", TOKENS_AT_LEAST, 2, "readNVlog syntax error", SLOT1 | WRITES, 1, CHECK_FC, RESTRICT_NONE, {N}, runIndexed<cmdReadNvLog>, nullptr},
    {"LISTFFV", TOKENS_AT_MOST, 2, "listffv syntax error", SLOT1, 1, CHECK_ANY, RESTRICT_NONE, {N}, runIndexed<cmdListFfv>, nullptr},
    {"LISTREV", TOKENS_AT_LEAST, 2, "listrev syntax error", SLOT1, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runIndexed<cmdListRev>, nullptr},
    {"RESTORENVWWN", TOKENS_ANY, 0, nullptr, SLOT1 | WRITES, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runIndexed<cmdRestoreNvWwn>, nullptr},
    {"RESTOREDEFWWN", TOKENS_ANY, 0, nullptr, SLOT1 | WRITES, 1, CHECK_FC_STAR, RESTRICT_NONE, {N}, runIndexed<cmdRestoreDefWwn>, nullptr},
    {"WRITEVPD", TOKENS_AT_LEAST, 3, "writeVPD syntax error", WRITES, 2, CHECK_FC_STAR, RESTRICT_NONE, {N, text("c")}, runWithFile<cmdWriteVpd>, nullptr},
    {"SAVEVPD", TOKENS_AT_LEAST, 3, "saveVPD syntax error", 0, 2, CHECK_FC_STAR, RESTRICT_NONE, {N, {"i", VALUE_TEXT, false}}, runSaveVpd, nullptr},
    {"SAVEWWN", TOKENS_AT_LEAST, 3, "saveWWN syntax error", 0, 2, CHECK_FC_STAR, RESTRICT_NONE, {N, text("c")}, runWithFile<cmdSaveWwn>, nullptr},
    {"RESTOREWWN", TOKENS_AT_LEAST, 3, "restoreWWN syntax error", WRITES, 2, CHECK_FC_STAR, RESTRICT_NONE, {N, text("c")}, runWithFile<cmdRestoreWwn>, nullptr},
    {"VPD", TOKENS_AT_LEAST, 2, "vpd syntax error", SLOT1, 1, CHECK_ANY, RESTRICT_VPD, {N}, runIndexed<cmdVpd>, nullptr},
    {"PERSONALITYINFO", TOKENS_AT_LEAST, 2, "PersonalityInfo syntax error", SLOT1 | ROW_CNA, 1, CHECK_ANY, RESTRICT_PERSONALITY, {N}, runIndexed<cmdPersonalityInfo>, nullptr},
    {"CHANGEPERSONALITY", TOKENS_AT_LEAST, 3, "changePersonality syntax error", ROW_CNA | WRITES, 2, CHECK_ANY, RESTRICT_PERSONALITY, {N, text("p")}, runChangePersonality, nullptr},
    {"FACTORYDEFAULTS", TOKENS_AT_LEAST, 2, "factoryDefaults syntax error\n", ROW_ALL | ROW_NL_SYMBOLS | ROW_NL_INVALID | WRITES, 1, CHECK_ANY, RESTRICT_NONE, {N}, runAllOrOne<cmdFactoryDefaults>, nullptr},
    {"GETBOOTPARAMS", TOKENS_AT_LEAST, 3, "getbootparams syntax error\n", ROW_NL_NOINPUT, 2, CHECK_ANY, RESTRICT_BOOT_PARAM, {N, text("p")}, runWithFile<cmdGetBootParams>, nullptr},
    {"SETDEFBOOTPARAMS", TOKENS_AT_LEAST, 3, "getbootparams syntax error\n", ROW_NL_NOINPUT | WRITES, 2, CHECK_ANY, RESTRICT_BOOT_PARAM, {N, text("p")}, runWithFile<cmdSetDefBootParams>, nullptr},
    {"SCREENDISPLAY", TOKENS_AT_LEAST, 2, "screendisplay syntax error", 0, 0, CHECK_NONE, RESTRICT_NONE, {}, nullptr, parseScreenDisplay},
    {"DUMP", TOKENS_AT_LEAST, 2, "dump syntax error", 0, 1, CHECK_ANY, RESTRICT_NEXA_ONLY, {N}, runIndexed<cmdDump>, nullptr},
    {"WRITESVMAC", TOKENS_AT_LEAST, 3, "writesvmac syntax error\n", ROW_CNA | WRITES, 2, CHECK_NIC, RESTRICT_NONE, {N, {"m=", VALUE_MAC, true}}, runWriteSvMac, nullptr},
    {"RESTOREDEFSVMAC", TOKENS_AT_LEAST, 2, "restoredefsvmac syntax error\n", ROW_CNA | WRITES, 1, CHECK_NIC, RESTRICT_NONE, {N}, runIndexed<cmdRestoreDefSvMac>, nullptr},
    {"WRITEVLANPROPS", TOKENS_AT_LEAST, 4, "writevlanprops syntax error\n", ROW_CNA | WRITES, 3, CHECK_NIC, RESTRICT_NONE, {N, num("i"), num("p")}, runWriteVlanProps, nullptr},
    {"READVLANPROPS", TOKENS_AT_LEAST, 2, "readvlanprops syntax error\n", ROW_CNA, 1, CHECK_NIC, RESTRICT_NONE, {N}, runIndexed<cmdReadVlanProps>, nullptr},
    {"RESTOREDEFVLANPROPS", TOKENS_AT_LEAST, 2, "restoredefvlanprops syntax error", ROW_CNA | WRITES, 1, CHECK_NIC, RESTRICT_NONE, {N}, runIndexed<cmdRestoreDefVlanProps>, nullptr},
    {"READMAC", TOKENS_AT_LEAST, 2, "readmacs syntax error\n", ROW_CNA, 1, CHECK_NIC, RESTRICT_NONE, {N}, runIndexed<cmdReadMac>, nullptr},
    {"NETWORKBOOT", TOKENS_AT_LEAST, 4, "networkboot syntax error", ROW_BANG_NUMERIC | WRITES, 3, CHECK_NIC, RESTRICT_NONE, {N, text("t"), num("s")}, runNetworkBoot, nullptr},
    {"HELP", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, nullptr, parseHelp},
    {"?", TOKENS_ANY, 0, nullptr, 0, 0, CHECK_NONE, RESTRICT_NONE, {}, nullptr, parseHelp},
};
// clang-format on

const size_t kCommandRowCount = std::size(kCommandRows);
