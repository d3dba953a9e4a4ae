// readconfig, saveVPD and writeVPD: raw config region reads (a hex dump, or
// region 14 to a file) and the VPD region write from a file.
//
// readconfig shows regions 8, 9 and 14 in stored byte order (they hold byte
// strings) and every other region as 32-bit words.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "libtgx/libtgx.h"

namespace {

constexpr int32_t CLU_REGION_READ = 30;
constexpr int32_t CLU_VPD_READ_AGAIN = 31;
constexpr int32_t CLU_VPD_SHORT = 32;
constexpr int32_t CLU_VPD_REINIT = 38;
constexpr uint32_t kReadConfigMax = 3000; // bytes one dump request can carry
constexpr uint32_t kVpdFileMax = 2028;
constexpr uint32_t kVpdWriteRetry = 3;
constexpr uint32_t kVpdWriteDelayMs = 100;
constexpr uint8_t kVpdMbOffset = 5;

bool storedByteOrder(uint32_t region) {
    return region == REGION_BOOT || region == REGION_ALT_BOOT || region == REGION_VPD;
}

// The VPD file into buffer (kVpdFileMax + 1 bytes, so a longer file shows).
// Returns the bytes read, or -1 when the file cannot be opened or read.
long readVpdFile(const char* name, uint8_t* buffer) {
    FILE* f = openCommandInput(name);
    if (f == nullptr) return -1;
    size_t n = fread(buffer, 1, kVpdFileMax + 1, f);
    bool bad = ferror(f) != 0;
    fclose(f);
    return bad ? -1 : static_cast<long>(n);
}

// Data beside the mailbox (word 1 bit 5) reaches the adapter only through a
// driver whose mailbox data limit is above the 108 bytes of mailbox words 5-31;
// under any other driver the data travels in those words, so a larger file
// cannot be written there at all.
bool dataBesideMailbox(int adapter) {
    return adapterAt(adapter)->mailboxLimit > MBOX_CLASSIC_DATA_MAX;
}

// Region 14 data write: ceil(length / 4) words, zero-padded, beside the
// mailbox or in its data words. Returns the library status.
uint32_t writeVpdRegion(int adapter, const uint8_t* data, uint32_t length) {
    uint32_t words = (length + 3) / 4;
    uint8_t padded[kVpdFileMax + 4] = {};
    memcpy(padded, data, length);
    MboxBuf mb;
    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[1] = UPDATE_CFG_DATA;
    mb.w[2] = REGION_VPD | (length << 16);
    mb.w[4] = length;
    if (!dataBesideMailbox(adapter)) {
        memcpy(mboxBytes(&mb) + MBOX_DATA_OFFSET, padded, words * 4);
        return TGX_IssueMboxWithRetryEx(static_cast<uint32_t>(adapter), mb.w, nullptr, kVpdMbOffset,
                                        0, 0, kVpdWriteRetry, kVpdWriteDelayMs);
    }
    mb.w[1] |= MBX_FLAG_BIT5;
    return TGX_IssueMboxWithRetryEx(static_cast<uint32_t>(adapter), mb.w, padded, kVpdMbOffset,
                                    words, words, kVpdWriteRetry, kVpdWriteDelayMs);
}

// A refused write: rebuild the region for this length and write once more
// from the file as it is now. Returns the command status.
int32_t writeVpdAgain(int adapter, uint32_t length) {
    emitText("Attempt to re-initialize Config Region\n");
    if (ReconstructRegion(adapter, REGION_VPD, length) != 0) {
        emitText("Attempt to re-initialize Config Region fails\n");
        return CLU_VPD_REINIT;
    }
    std::unique_ptr<uint8_t[]> again(new (std::nothrow) uint8_t[kVpdFileMax + 1]);
    long n = again ? readVpdFile(g_args.fileName, again.get()) : -1;
    if (n < 0) {
        say("ERROR reading Configuration Data");
        return CLU_VPD_READ_AGAIN;
    }
    if (static_cast<uint32_t>(n) != length) {
        say("ERROR: Short image");
        return CLU_VPD_SHORT;
    }
    if (writeVpdRegion(adapter, again.get(), length) != 0) {
        emitText("Attempt to re-initialize Config Region fails\n");
        return CLU_VPD_REINIT;
    }
    sayf("Finish updating Config Region %ld", static_cast<long>(REGION_VPD));
    return CLU_OK;
}

int32_t writeVpd(int adapter) {
    uint8_t data[kVpdFileMax + 1];
    long n = readVpdFile(g_args.fileName, data);
    if (n < 0) {
        say("ERROR: Can't open specified file");
        return CLU_FILE_OPEN;
    }
    if (n > static_cast<long>(kVpdFileMax)) {
        say("VPD File Size more than 2028 bytes");
        return CLU_ARGUMENT_LENGTH;
    }
    uint32_t length = static_cast<uint32_t>(n);
    if (length > MBOX_CLASSIC_DATA_MAX && !dataBesideMailbox(adapter)) {
        emitText("This older driver does not allow to write more than %u bytes of data\n",
                 MBOX_CLASSIC_DATA_MAX);
        return CLU_ARGUMENT_LENGTH;
    }
    if (writeVpdRegion(adapter, data, length) == 0) {
        sayf("Finish updating Config Region %ld", static_cast<long>(REGION_VPD));
        return CLU_OK;
    }
    return writeVpdAgain(adapter, length);
}

} // namespace

void cmdReadConfig(int index) {
    if (g_args.length > kReadConfigMax) {
        say("Byte Length too large");
        g_run.cluStatus = CLU_INPUT_VALUE;
        return;
    }
    uint8_t buffer[kReadConfigMax] = {};
    uint32_t length = g_args.length;
    if (DumpConfigRegion(index, g_args.region, 0, &length, buffer) != 0) {
        g_run.cluStatus = CLU_REGION_READ;
        return;
    }
    dumpHex(buffer, 0, length, storedByteOrder(g_args.region));
}

void cmdSaveVpd(int index) {
    uint8_t buffer[REGION_FILE_SIZE] = {};
    uint32_t length = REGION_FILE_SIZE;
    if (DumpConfigRegion(index, REGION_VPD, 0, &length, buffer) != 0) {
        g_run.cluStatus = CLU_REGION_READ;
        return;
    }
    int st = saveRegionToFile(buffer, length, g_args.fileName);
    if (st != 0) g_run.cluStatus = st;
}

// The adapter reads region 14 at start-up: it is reset after the command
// (FCoE functions excepted). A failed reset after a good write is the
// command's failure, as for the other region writers.
void cmdWriteVpd(int index) {
    g_run.cluStatus = writeVpd(index);
    if (isNexaManaged(index)) return;
    uint32_t st = TGX_ResetAdapter(static_cast<uint32_t>(index), 1);
    if (st != 0 && g_run.cluStatus == CLU_OK) {
        sayf("Reset Adapter %d failed Status %x", index + 1, st);
        g_run.cluStatus = CLU_RESET_FAILED;
    }
}
