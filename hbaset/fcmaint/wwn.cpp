// WWN commands: scriptWWPN, scriptWWNN, scriptVWWPN, scriptVWWNN and writeWWN
// change the names, saveWWN, restoreWWN, restoreNVWWN and restoreDefWWN save
// and restore them, listWWN shows them, and the hidden factory command writes
// the factory IEEE address.
#include "hbaset/fcmaint/wwn.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "libtgx/libtgx.h"
#include "platform/plat_time.h"

PendingWwn g_pendingWwn;

namespace {

constexpr uint32_t kWwpnWord = 5; // NV parameter words: WWPN 5-6, WWNN 7-8, flags 9
constexpr uint32_t kWwnnWord = 7;
constexpr uint32_t kNvWords = 5;
constexpr uint32_t kIeeeBytes = 8;
constexpr uint32_t kRegion0NameBytes = 16;
constexpr uint32_t kCtlReadyReg = 8;
constexpr uint32_t kCtlReadyBit = 0x800000;
constexpr int kReadyPolls = 1000;
constexpr uint32_t kRestartRetry = 3;
constexpr uint32_t kRestartDelayMs = 8000;
constexpr uint32_t kAdapterFlagFactoryMask = 1u << 3;

const char kReboot[] = "Please REBOOT the system now to activate the new WWN\n";

uint32_t board(int adapter) {
    return static_cast<uint32_t>(adapter);
}
int number(int adapter) {
    return adapter + 1;
}

void fail(const char* name, const char* what) {
    sayf("%s: %s", name, what);
}

// The pending pairs into the NV words of mb.
void mergePending(MboxBuf* mb) {
    const PendingWwn& p = g_pendingWwn;
    if (p.wwpn[0] != 0 || p.wwpnGiven) {
        mb->w[kWwpnWord] = p.wwpn[0];
        mb->w[kWwpnWord + 1] = p.wwpn[1];
    }
    if (p.wwnn[0] != 0 || p.wwnnGiven) {
        mb->w[kWwnnWord] = p.wwnn[0];
        mb->w[kWwnnWord + 1] = p.wwnn[1];
    }
}

bool namesValid(const MboxBuf& mb) {
    return wwnValid(mb.w[kWwpnWord]) && wwnValid(mb.w[kWwnnWord]);
}

void reverseNames(MboxBuf* mb) {
    for (uint32_t i = 0; i < 4; ++i)
        mb->w[kWwpnWord + i] = byteSwap32(mb->w[kWwpnWord + i]);
}

// MBX_WRITE_VPARMS of words 5-9 of nv (host order). Classic adapters set word
// 0 bit 0; SLI-4 adapters take the names in wire order.
uint32_t writeVolatile(int adapter, const MboxBuf& nv) {
    MboxBuf mb;
    mboxInit(&mb, MBX_WRITE_VPARMS);
    for (uint32_t i = 0; i < kNvWords; ++i)
        mb.w[kWwpnWord + i] = nv.w[kWwpnWord + i];
    if (!isSli4(adapter)) {
        mb.w[0] |= 1;
        return IssueMbox1(adapter, &mb);
    }
    reverseNames(&mb);
    return IssueMbox4(adapter, &mb);
}

// Reset after a change; traces its status. 0 or 14.
int32_t resetOrSkip(const char* name, int adapter, bool reset) {
    if (!reset) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Skipping adapter reset\n", name);
        return CLU_OK;
    }
    uint32_t st = TGX_ResetAdapter(board(adapter), 1);
    traceGroup(TRACE_GROUP_FC, "\n[%s] - ResetAdapter tgxStatus %d\n", name, static_cast<int>(st));
    if (st == 0) return CLU_OK;
    fail(name, "Reset adapter error");
    return WWN_RESET_FAILED;
}

// ---- standard input ------------------------------------------------------------------

// One line of standard input without its line end; false at the end of input.
bool readInputLine(char* line, size_t size) {
    if (fgets(line, static_cast<int>(size), stdin) == nullptr) return false;
    line[strcspn(line, "\r\n")] = '\0';
    return true;
}

// Reads one WWN word: 8 hexadecimal digits. 0, 27 (wrong length, or no line
// left: a prompt never waits past the end of its input) or 57.
int32_t parseWordLine(const char* line, uint32_t* word) {
    if (strlen(line) != 8) {
        say("Incorrect Input length for WWN");
        return WWN_INPUT_LENGTH;
    }
    uint32_t v = 0;
    for (const char* p = line; *p; ++p) {
        int c = toupper(static_cast<unsigned char>(*p));
        if (!isxdigit(c)) {
            say("Non-Numeric Input");
            return WWN_NON_HEX;
        }
        v = v << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    *word = v;
    return CLU_OK;
}

int32_t promptWord(const char* prompt, uint32_t* word) {
    emitText("%s", prompt);
    char line[TOKEN_SIZE];
    if (!readInputLine(line, sizeof line)) {
        say("Incorrect Input length for WWN");
        return WWN_INPUT_LENGTH;
    }
    return parseWordLine(line, word);
}

} // namespace

bool wwnValid(uint32_t word0) {
    uint32_t first = word0 >> 24;
    uint32_t second = (word0 >> 16) & 0xFF;
    uint32_t high = first >> 4;
    if (high == 2 || high == 3 || high == 5) return true;
    return high == 1 && (first & 0xF) == 0 && second == 0;
}

// ---- non-volatile names ----------------------------------------------------------------

int32_t changeWWN(int adapter, bool reset) {
    bool sli4 = isSli4(adapter);
    const char* name = sli4 ? "changeWWN4" : "changeWWN";
    const char* tgx = sli4 ? "tgxStat" : "tgxStatus";
    traceGroup(TRACE_GROUP_FC, "\n[%s]\n", name);
    MboxBuf mb;
    uint32_t st = Read_NVPARMS(adapter, &mb, READ_NV_NONVOLATILE);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Read_NVPARMS error %s %d\n", name, tgx,
                   static_cast<int>(st));
        fail(name, "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    mergePending(&mb);
    if (!namesValid(mb)) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Invalid Non-Volatile WWN\n", name);
        fail(name, "Invalid Non-Volatile WWN");
        return WWN_INVALID;
    }
    st = Write_NVPARMS(adapter, &mb);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Write_NVPARMS error %s %d\n", name, tgx,
                   static_cast<int>(st));
        fail(name, "Write_NVPARMS error");
        return WWN_WRITE_NV;
    }
    return resetOrSkip(name, adapter, reset);
}

int32_t ResetAdapter_NoConfigPort(int adapter) {
    uint32_t mode = TGX_SetDumpEnv(board(adapter), 2);
    if (mode == 2) {
        plat_sleep_ms(5000);
        mode = TGX_SetDumpEnv(board(adapter), 3);
    }
    if (mode != 3) return WWN_NOT_PREPARED;

    int32_t rc = CLU_OK;
    MboxBuf mb;
    mboxInit(&mb, MBX_RESTART);
    mb.w[0] |= 1;
    mb.w[1] = 1;
    if (TGX_IssueMboxWithRetry(board(adapter), mb.w, MBOX_CLASSIC_WORDS, MBOX_CLASSIC_WORDS,
                               kRestartRetry, kRestartDelayMs) != 0) {
        sayf("Warning: Cannot Restart adapter. Status %X", mboxStatus(mb));
        rc = WWN_RESTART_FAILED;
    }
    for (int i = 0; i < kReadyPolls; ++i) {
        plat_sleep_ms(100);
        uint32_t value = 0;
        uint32_t st = TGX_ReadCtlReg(board(adapter), &value, kCtlReadyReg);
        if (st != 0) return static_cast<int32_t>(st);
        if (value & kCtlReadyBit) return rc;
    }
    return WWN_RESTART_FAILED;
}

// ---- volatile names ----------------------------------------------------------------------

namespace {

int32_t changeVWWNClassic(int adapter) {
    const char* name = "changeVWWN";
    MboxBuf mb;
    if (Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE) != 0) {
        fail(name, "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    if (ResetAdapter_NoConfigPort(adapter) != 0) {
        fail(name, "Restart HBA Error");
        TGX_ResetAdapter(board(adapter), 1);
        return WWN_RESTART_FAILED;
    }
    mergePending(&mb);
    if (!namesValid(mb)) {
        fail(name, "Invalid Volatile WWN");
        TGX_ResetAdapter(board(adapter), 1);
        return WWN_INVALID;
    }
    if (writeVolatile(adapter, mb) != 0) {
        fail(name, "Write Volatile Parms error");
        TGX_ResetAdapter(board(adapter), 1);
        return WWN_WRITE_VOLATILE;
    }
    if (TGX_ResetAdapter(board(adapter), 1) != 0) {
        fail(name, "Reset adapter error");
        return WWN_RESET_FAILED;
    }
    return CLU_OK;
}

int32_t changeVWWN4(int adapter) {
    MboxBuf mb;
    if (Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE) != 0) {
        fail("changeVWWN4", "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    mergePending(&mb);
    if (!namesValid(mb)) {
        fail("changeVWWN4", "Invalid Volatile WWN");
        return WWN_INVALID;
    }
    if (writeVolatile(adapter, mb) != 0) {
        fail("changeVWWN", "Write Volatile Parms error");
        return WWN_WRITE_VOLATILE;
    }
    return CLU_OK;
}

} // namespace

int32_t changeVWWN(int adapter) {
    return isSli4(adapter) ? changeVWWN4(adapter) : changeVWWNClassic(adapter);
}

int32_t clearVolatileWWN(int adapter, bool reset) {
    bool sli4 = isSli4(adapter);
    const char* name = sli4 ? "clearVolatileWWN4" : "clearVolatileWWN";
    traceGroup(TRACE_GROUP_FC, "\n[%s]\n", name);
    MboxBuf mb;
    uint32_t st = Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Read_NVPARMS error tgxStatus %d\n", name,
                   static_cast<int>(st));
        fail(name, "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    traceGroup(TRACE_GROUP_FC, "\n[%s] - Read NVPARMS: %08X %08X %08X %08X\n", name, mb.w[5],
               mb.w[6], mb.w[7], mb.w[8]);
    if (!sli4) {
        int32_t rc = ResetAdapter_NoConfigPort(adapter);
        traceGroup(TRACE_GROUP_FC, "\n[%s] - ResetAdapter_NoConfigPort tgxStat %d\n", name, rc);
        if (rc != 0) {
            fail(name, "Restart HBA Error");
            return WWN_RESTART_FAILED;
        }
    }
    for (uint32_t i = 0; i < kNvWords; ++i)
        mb.w[kWwpnWord + i] = 0;
    st = writeVolatile(adapter, mb);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC,
                   sli4 ? "\n[%s] - Write Volatile Parms error tgxStatus\n"
                        : "\n[%s] - Write Volatile Parms error\n",
                   name);
        fail(name, "Write Volatile Parms error");
        return WWN_WRITE_VOLATILE;
    }
    return resetOrSkip(name, adapter, reset);
}

// ---- interactive entry -----------------------------------------------------------------------

int32_t writeOneWWN(int adapter, bool reset) {
    traceGroup(TRACE_GROUP_FC, "\n[writeOneWWN]\n");
    emitText("Write WWN for adapter %d: \n", number(adapter));
    MboxBuf mb;
    uint32_t st = Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[writeOneWWN] - Read_NVPARMS error tgxStatus %d\n",
                   static_cast<int>(st));
        fail("writeOneWWN", "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    // Both names are entered: a zero entry is refused, never kept silently.
    PendingWwn& p = g_pendingWwn;
    p = {{mb.w[5], mb.w[6]}, {mb.w[7], mb.w[8]}, true, true};
    const char* const prompts[] = {
        "Enter or Scan value for WWPN word 0 now\n", "Enter or Scan value for WWPN word 1 now\n",
        "Enter or Scan value for WWNN word 0 now\n", "Enter or Scan value for WWNN word 1 now\n"};
    uint32_t* words[] = {&p.wwpn[0], &p.wwpn[1], &p.wwnn[0], &p.wwnn[1]};
    for (size_t i = 0; i < 4; ++i) {
        int32_t rc = promptWord(prompts[i], words[i]);
        if (rc != CLU_OK) return rc;
    }
    return changeWWN(adapter, reset);
}

// ---- the save file ---------------------------------------------------------------------------

namespace {

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Factory IEEE address as host words (region 16, 32 on SLI-4 in wire order).
bool readFactoryIeee(int adapter, uint32_t words[2]) {
    uint8_t ieee[kIeeeBytes] = {};
    uint32_t length = kIeeeBytes;
    if (DumpConfigRegion(adapter, REGION_IEEE, 0, &length, ieee) != 0 || length < kIeeeBytes)
        return false;
    words[0] = le32(ieee);
    words[1] = le32(ieee + 4);
    if (isSli4(adapter)) {
        words[0] = byteSwap32(words[0]);
        words[1] = byteSwap32(words[1]);
    }
    return true;
}

} // namespace

int32_t ReadAndSaveWWN(int adapter, const char* file) {
    // The file is made beside its name and takes its place only once the
    // address is read and written: a failed read never destroys a backup.
    PlatSaveFile save;
    PlatFileStatus why = plat_save_begin(&save, file, PLAT_MODE_SAVED);
    if (why != PLAT_FILE_OK) {
        reportRefusedFile(file, why);
        say("ReadAndSaveWWN: Open File error");
        return WWN_FILE_OPEN;
    }
    uint32_t words[2];
    if (!readFactoryIeee(adapter, words)) {
        say("ReadAndSaveWWN: No Factory IEEE");
        return WWN_NO_FACTORY;
    }
    uint8_t out[kIeeeBytes];
    putLe32(out, words[0]);
    putLe32(out + 4, words[1]);
    why = plat_save_write(&save, out, sizeof out);
    if (why == PLAT_FILE_OK) why = plat_save_commit(&save);
    if (why != PLAT_FILE_OK) {
        reportRefusedFile(file, why);
        say("ReadAndSaveWWN: Write File error");
        return WWN_FILE_OPEN;
    }
    return CLU_OK;
}

int32_t RestoreWWN(int adapter, const char* file) {
    const char* name = isSli4(adapter) ? "RestoreWWN4" : "RestoreWWN";
    traceGroup(TRACE_GROUP_FC, "\n[%s]\n", name);
    uint8_t in[kIeeeBytes] = {};
    {
        File f(openCommandInput(file));
        if (!f) {
            traceGroup(TRACE_GROUP_FC, "\n[%s] - Open File error\n", name);
            fail(name, "Open File error");
            return WWN_FILE_OPEN;
        }
        size_t n = fread(in, 1, sizeof in, f.get());
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Total READ from file %d\n", name, static_cast<int>(n));
        if (n < sizeof in) {
            bool shortFile = feof(f.get()) != 0;
            traceGroup(TRACE_GROUP_FC,
                       shortFile ? "\n[%s] - File Too Short error\n" : "\n[%s] - Read File error\n",
                       name);
            fail(name, shortFile ? "File Too Short error" : "Read File error");
            return shortFile ? WWN_FILE_SHORT : WWN_FILE_READ;
        }
    }
    uint32_t w0 = le32(in);
    uint32_t w1 = le32(in + 4);
    traceGroup(TRACE_GROUP_FC, "\n[%s] - WWN read from file %s: %08X %08X\n", name, file, w0, w1);
    // The file is outside data: a name that is not a valid WWN never reaches NV.
    if (!wwnValid(w0)) {
        fail(name, "Invalid Non-Volatile WWN");
        return WWN_INVALID;
    }
    MboxBuf mb;
    uint32_t st = Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Read_NVPARMS error tgxStatus %d\n", name,
                   static_cast<int>(st));
        fail(name, "Read_NVPARMS error");
        return WWN_READ_NV;
    }
    traceGroup(TRACE_GROUP_FC, "\n[%s] - Read NVPARMS: %08X %08X %08X %08X\n", name, mb.w[5],
               mb.w[6], mb.w[7], mb.w[8]);
    mb.w[kWwpnWord] = w0;
    mb.w[kWwpnWord + 1] = w1;
    mb.w[kWwnnWord] = defaultWwnnWord0(w0);
    mb.w[kWwnnWord + 1] = w1;
    st = Write_NVPARMS(adapter, &mb);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Write_NVPARMS error tgxStatus %d\n", name,
                   static_cast<int>(st));
        fail(name, "Write_NVPARMS error");
        return WWN_WRITE_NV;
    }
    st = TGX_ResetAdapter(board(adapter), 1);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "\n[%s] - Reset adapter error tgxStatus %d\n", name,
                   static_cast<int>(st));
        fail(name, "Reset adapter error");
        return WWN_RESET_FAILED;
    }
    return CLU_OK;
}

int32_t restoreOriginalWWN(int adapter, bool reset) {
    traceGroup(TRACE_GROUP_FC, "\n[restoreOriginalWWN]\n");
    uint32_t words[2];
    if (!readFactoryIeee(adapter, words)) {
        traceGroup(TRACE_GROUP_FC, "\n[restoreOriginalWWN] - Unable to read Factory IEEE\n");
        say("restoreOriginalWWN: Unable to read Factory IEEE");
        return WWN_NO_FACTORY;
    }
    g_pendingWwn = {{words[0], words[1]}, {defaultWwnnWord0(words[0]), words[1]}, true, true};
    return changeWWN(adapter, reset);
}

// ---- listWWN -------------------------------------------------------------------------------

namespace {

// The stored names: region 0 (host words), or the factory address with the
// current WWNN when region 0 cannot be read.
bool storedNames(int adapter, const MboxBuf& current, uint32_t names[4]) {
    uint8_t r0[kRegion0NameBytes] = {};
    uint32_t length = kRegion0NameBytes;
    if (DumpConfigRegion(adapter, REGION_NV, 0, &length, r0) == 0 && length == sizeof r0) {
        for (uint32_t i = 0; i < 4; ++i)
            names[i] = isSli4(adapter) ? byteSwap32(le32(r0 + 4 * i)) : le32(r0 + 4 * i);
        return true;
    }
    if (!readFactoryIeee(adapter, names)) return false;
    names[2] = current.w[kWwnnWord];
    names[3] = current.w[kWwnnWord + 1];
    return true;
}

// One adapter's lines; returns 0, 33 or 84.
int32_t listOneWwn(int adapter) {
    const AdapterRecord* r = adapterAt(adapter);
    emitText("adapter %d: %s\n", number(adapter), r->modelName);
    int32_t rc = CLU_OK;
    char line[MESSAGE_LINE_SIZE];
    int used;
    if (r->wwpnHigh != 0 || r->wwpnLow != 0) {
        used = snprintf(line, sizeof line, "  Factory IEEE: %08X %08X ", r->wwpnHigh, r->wwpnLow);
    } else {
        used = snprintf(line, sizeof line, "  No Factory IEEE ");
        rc = WWN_MISSING;
    }
    size_t at = used > 0 ? static_cast<size_t>(used) : 0;
    MboxBuf mb;
    uint32_t names[4] = {};
    if (Read_NVPARMS(adapter, &mb, READ_NV_EFFECTIVE) != 0) {
        snprintf(line + at, sizeof line - at, "\n  No Current WWPN and WWNN");
        if (rc == CLU_OK) rc = WWN_READ_NV;
    } else {
        const uint32_t* cur = &mb.w[kWwpnWord];
        bool stored = storedNames(adapter, mb, names) && memcmp(cur, names, sizeof names) == 0;
        snprintf(line + at, sizeof line - at, "\n  %s WWPN: %08X %08X, WWNN: %08X %08X",
                 stored ? "Non-Volatile" : "Volatile", cur[0], cur[1], cur[2], cur[3]);
        if ((cur[0] == 0 && cur[1] == 0) || (cur[2] == 0 && cur[3] == 0)) rc = WWN_MISSING;
    }
    emitText("%s\n", line);
    return rc;
}

} // namespace

// ---- command bodies ----------------------------------------------------------------------

namespace {

const char* const kScriptNames[] = {"scriptWWPN", "scriptWWNN", "scriptVWWPN", "scriptVWWNN"};

void reportChange(const char* command, int index, int32_t rc) {
    if (rc == CLU_OK) {
        emitText("%s on Adapter %d Completed\n", command, number(index));
        emitText("%s", kReboot);
    } else {
        emitText("%s on Adapter %d failed\n", command, number(index));
    }
}

} // namespace

void cmdScriptWwn(int index, ScriptWwnKind kind) {
    bool portName = kind == SCRIPT_WWPN || kind == SCRIPT_VWWPN;
    PendingWwn& p = g_pendingWwn;
    p = {{g_args.wwpn[0], g_args.wwpn[1]}, {g_args.wwnn[0], g_args.wwnn[1]}, portName, !portName};
    bool isVolatile = kind == SCRIPT_VWWPN || kind == SCRIPT_VWWNN;
    int32_t rc = isVolatile ? changeVWWN(index) : changeWWN(index, true);
    reportChange(kScriptNames[kind & 3], index, rc);
    g_run.cluStatus = rc;
}

void cmdWriteWwn(int index, bool all) {
    int first = all ? 0 : index;
    int last = all ? static_cast<int>(g_table.fcCount) - 1 : index;
    for (int i = first; i <= last; ++i) {
        int32_t rc = writeOneWWN(i, true);
        // Whatever stopped it (input, the names, the write), a failed writeWWN
        // ends with 43; the operation's own message says why.
        if (rc != CLU_OK) {
            emitText("writeWWN on Adapter %d failed\n", number(i));
            g_run.cluStatus = WWN_WRITE_FAILED;
            return;
        }
        reportChange("writeWWN", i, rc);
    }
    g_run.cluStatus = CLU_OK;
}

void cmdListWwn(int index, bool all) {
    if (g_table.fcCount == 0) {
        say("No Quoral adapter detected in the system");
        g_run.cluStatus = WWN_NO_ADAPTER;
        return;
    }
    int32_t rc = CLU_OK;
    int first = all ? 0 : index;
    int last = all ? static_cast<int>(g_table.fcCount) - 1 : index;
    for (int i = first; i <= last; ++i) {
        // A missing name (84) outranks a failed read (33).
        int32_t one = listOneWwn(i);
        if (one == WWN_MISSING || (one != CLU_OK && rc == CLU_OK)) rc = one;
    }
    g_run.cluStatus = rc;
}

void cmdRestoreNvWwn(int index) {
    int32_t rc = clearVolatileWWN(index, true);
    reportChange("restoreNVWWN", index, rc);
    g_run.cluStatus = rc;
}

void cmdRestoreDefWwn(int index) {
    int32_t rc = restoreOriginalWWN(index, true);
    reportChange("restoreDefWWN", index, rc);
    g_run.cluStatus = rc;
}

void cmdSaveWwn(int index) {
    g_run.cluStatus = ReadAndSaveWWN(index, g_args.fileName);
}

void cmdRestoreWwn(int index) {
    int32_t rc = RestoreWWN(index, g_args.fileName);
    reportChange("restoreWWN", index, rc);
    g_run.cluStatus = rc;
}

// ---- factory IEEE address ----------------------------------------------------------------

namespace {

// Only FC functions the adapter library drives can take a factory address.
int32_t promptAdapter(int* index) {
    emitText("Enter the selected adapter number now\n");
    char line[TOKEN_SIZE];
    if (!readInputLine(line, sizeof line)) {
        say("Incorrect Input length for WWN");
        return WWN_INPUT_LENGTH;
    }
    char* end = nullptr;
    unsigned long n = strtoul(line, &end, 10);
    bool numeric = line[0] != '\0' && *end == '\0' && isdigit(static_cast<unsigned char>(line[0]));
    if (!numeric || n < 1 || n > g_table.fcCount || isNexaManaged(static_cast<int>(n - 1))) {
        say("Invalid Adapter Number");
        return CLU_INVALID_ADAPTER;
    }
    *index = static_cast<int>(n - 1);
    return CLU_OK;
}

int32_t promptIeee(uint32_t ieee[2]) {
    int32_t rc = promptWord("Enter value for IEEE word 0 now\n", &ieee[0]);
    while (rc == CLU_OK && !wwnValid(ieee[0])) {
        emitText("Invalid WWN value. Try again\n");
        char line[TOKEN_SIZE];
        if (!readInputLine(line, sizeof line)) {
            say("Incorrect Input length for WWN");
            return WWN_INPUT_LENGTH;
        }
        emitText("%s\n", line);
        rc = parseWordLine(line, &ieee[0]);
    }
    if (rc != CLU_OK) return rc;
    return promptWord("Enter value for IEEE word 1 now\n", &ieee[1]);
}

int32_t putFactory() {
    int index = 0;
    int32_t rc = promptAdapter(&index);
    if (rc != CLU_OK) return rc;
    emitText("Write IEEE for adapter %d: \n", number(index));
    uint32_t ieee[2] = {};
    rc = promptIeee(ieee);
    if (rc != CLU_OK) return rc;
    adapterAt(index)->flags &= ~kAdapterFlagFactoryMask;
    ResetAdapter_NoConfigPort(index);
    plat_sleep_ms(20);
    MboxBuf mb;
    mboxInit(&mb, MBX_WRITE_WWN);
    mb.w[1] = WRITE_WWN_ENABLE_CODE;
    mb.w[2] = ieee[0];
    mb.w[3] = ieee[1];
    if (IssueMbox1(index, &mb) != 0) {
        emitText("Write IEEE failed\n");
        return WWN_NOT_PREPARED;
    }
    emitText("Finished writing IEEE for adapter %d\n", number(index));
    emitText("\nGoing to RESET this adapter\n");
    plat_sleep_ms(40);
    TGX_ResetAdapter(board(index), 1);
    return CLU_OK;
}

} // namespace

void cmdPutFactory() {
    g_run.cluStatus = putFactory();
}
