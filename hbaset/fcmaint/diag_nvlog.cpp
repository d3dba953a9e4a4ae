// readNVlog: the adapter's non-volatile event log. The log can only be read
// after a firmware restart without a new configuration; it is read in pieces
// of at most 120 bytes and printed as five 32-bit words per line. The adapter
// is reset afterwards whenever the restart was attempted.
#include <cstring>

#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/wwn.h"
#include "libtgx/libtgx.h"

namespace {

constexpr int32_t CLU_RESTART_FAILED = 47;
constexpr int32_t CLU_NO_EVENT_LOG = 53;
constexpr int32_t CLU_EVENT_LOG_READ = 54;
constexpr uint32_t kPieceMax = 120;
constexpr uint32_t kLineBytes = 20;
constexpr uint32_t kLogMax = 4096; // the read offset has 12 bits
constexpr uint32_t kReadTag = 0x47u << 24;
constexpr uint32_t kDataWord = 2;

// One piece of the log into piece (zeroed first). Returns the IssueMbox1 status.
uint32_t readPiece(int adapter, uint32_t offset, uint32_t count, uint8_t piece[kPieceMax]) {
    MboxBuf mb;
    mboxInit(&mb, MBX_READ_NV_EVENT_LOG);
    mb.w[1] = kReadTag | (count << 16) | (offset & 0xFFF);
    memset(piece, 0, kPieceMax);
    uint32_t st = IssueMbox1(adapter, &mb);
    if (st == 0) memcpy(piece, mboxBytes(mb) + 4 * kDataWord, count);
    return st;
}

void printPiece(uint32_t offset, uint32_t count, const uint8_t piece[kPieceMax]) {
    emitText("%ld bytes at offset %ld:\n", static_cast<long>(count), static_cast<long>(offset));
    for (uint32_t at = 0; at < count; at += kLineBytes) {
        const uint8_t* p = piece + at;
        emitText("%08lx   %08lx   %08lx   %08lx   %08lx\n", static_cast<unsigned long>(le32(p)),
                 static_cast<unsigned long>(le32(p + 4)), static_cast<unsigned long>(le32(p + 8)),
                 static_cast<unsigned long>(le32(p + 12)),
                 static_cast<unsigned long>(le32(p + 16)));
    }
}

int32_t readLog(int adapter, uint32_t size) {
    emitText("Non-Volatile Event Log on Adapter %d:\n", adapter + 1);
    uint8_t piece[kPieceMax];
    for (uint32_t offset = 0; offset < size; offset += kPieceMax) {
        uint32_t count = size - offset < kPieceMax ? size - offset : kPieceMax;
        if (readPiece(adapter, offset, count, piece) != 0) {
            say("Cannot READ Event Log");
            return CLU_EVENT_LOG_READ;
        }
        printPiece(offset, count, piece);
    }
    return CLU_OK;
}

int32_t displayNvLog(int adapter) {
    MboxBuf mb;
    mboxInit(&mb, MBX_READ_EVENT_LOG_STATUS);
    if (IssueMbox1(adapter, &mb) != 0) {
        say("No Event Log Available");
        return CLU_NO_EVENT_LOG;
    }
    uint32_t size = mb.w[2];
    emitText("NV Event Log Size %ld\n", static_cast<long>(size));
    if (size > kLogMax) {
        emitText("Only the first %u bytes of the event log can be read\n", kLogMax);
        size = kLogMax;
    }
    int32_t restart = ResetAdapter_NoConfigPort(adapter);
    if (restart == WWN_NOT_PREPARED) {
        // The restart was never sent: nothing to undo.
        say("displayNvLog: Restart HBA Error");
        return CLU_RESTART_FAILED;
    }
    int32_t rc = CLU_RESTART_FAILED;
    if (restart == 0)
        rc = readLog(adapter, size);
    else
        say("displayNvLog: Restart HBA Error");
    TGX_ResetAdapter(static_cast<uint32_t>(adapter), 1);
    return rc;
}

} // namespace

void cmdReadNvLog(int index) {
    g_run.cluStatus = displayNvLog(index);
}
