// DownloadPrgImage: a PRG program image through MBX_DOWN_LOAD (erase, then
// the whole file in chunks of up to 108 bytes), then its wakeup slot.
#include <cstring>

#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/download.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/wakeup.h"

namespace {

constexpr uint32_t kDownLoadErase = 0x1A; // bits 1, 3 and 4
constexpr uint32_t kDownLoadChunk = 0x0A; // bits 1 and 3; bit 0 on the last chunk
constexpr uint32_t kLastChunk = 0x01;

} // namespace

int chunkPercent(uint64_t sent, uint64_t total) {
    if (total == 0) return 99;
    uint64_t remaining = total - sent;
    return static_cast<int>(99 - (remaining * 100) / total);
}

namespace {

// Every check of a PRG image before anything on the adapter is erased: the
// header checksum, compatibility and keys, the exact size and the file
// checksum.
uint32_t validatePrgImage(int adapter, const ImageView& image, uint32_t family, PrgHeader* h,
                          const DownloadProgress& progress) {
    progress.stage("Reading Header");
    uint32_t st = readWordsAt(image, 0, h->w, PRG_HEADER_WORDS);
    if (st != 0) return st;
    emitText("ProgramID %x %x\n", h->w[1], h->w[2]);
    if (prgHeaderChecksum(*h) != 0) {
        emitText("Bad CheckSum Error\n");
        return DL_CHECKSUM;
    }
    st = checkPrgCompatibility(adapter, image, *h, family);
    if (st != 0) return st;

    // A size that is not a whole number of words cannot be sent or
    // checksummed: its last word would be incomplete.
    const uint32_t size = prgSize(*h);
    if (size == 0 || size % 4 != 0 || size > image.size) {
        emitText("Invalid Image - Short Image\n");
        return DL_SHORT_IMAGE;
    }
    if (size < image.size) {
        emitText("Invalid Image - Long Image\n");
        return DL_LONG_IMAGE;
    }

    progress.stage("Validating Checksum");
    uint32_t sum = 0;
    if (!RotXorChecksumRange(image, 0, size / 4, &sum)) {
        emitText("Invalid Image - Error Reading File\n");
        return DL_READ_ERROR;
    }
    if (sum != 0) {
        emitText("Bad CheckSum\n");
        return DL_CHECKSUM;
    }
    return 0;
}

uint32_t erasePrg(int adapter, const PrgHeader& h, const DownloadProgress& progress) {
    progress.stage("Erasing Sector(s) In Flash ROM");
    MboxBuf mb;
    mboxInit(&mb, MBX_DOWN_LOAD);
    mb.w[1] = kDownLoadErase;
    mb.w[3] = prgSize(h);
    mb.w[4] = h.w[1];
    mb.w[5] = h.w[2];
    uint32_t st = IssueMbox1(adapter, &mb);
    if (st == 0 || st == MBXS_NO_FLASH) return st;
    mboxRecordFailure(mb);
    emitText("DOWN_LOAD Mailbox Command Erase Error. Status %lx\n", static_cast<unsigned long>(st));
    return st;
}

// The whole image, header included, in chunks of at most 108 bytes.
uint32_t sendPrgChunks(int adapter, const ImageView& image, uint32_t size,
                       const DownloadProgress& progress) {
    progress.stage("Loading Image");
    progress.percent(0);
    int shown = 0;
    for (uint32_t sent = 0; sent < size;) {
        uint32_t n = size - sent < MBOX_CLASSIC_DATA_MAX ? size - sent : MBOX_CLASSIC_DATA_MAX;
        int pct = chunkPercent(sent + n, size);
        if (pct != shown) {
            progress.percent(pct);
            shown = pct;
        }
        MboxBuf mb;
        mboxInit(&mb, MBX_DOWN_LOAD);
        bool last = sent + n == size;
        mb.w[1] = kDownLoadChunk | (last ? kLastChunk : 0);
        mb.w[3] = n;
        mb.w[4] = MBOX_DATA_OFFSET;
        fileBytesToWords(image.data + sent, &mb.w[MBOX_DATA_WORD], n / 4);
        uint32_t st = IssueMbox1(adapter, &mb);
        if (st != 0) {
            mboxRecordFailure(mb);
            emitText("DOWN_LOAD Mailbox Command Download Error. Status %lx\n",
                     static_cast<unsigned long>(st));
            return st;
        }
        sent += n;
    }
    progress.percent(100);
    return 0;
}

} // namespace

uint32_t DownloadPrgImage(int adapter, const ImageView& image, uint32_t family,
                          const DownloadProgress& progress) {
    PrgHeader h;
    uint32_t st = validatePrgImage(adapter, image, family, &h, progress);
    if (st != 0) return st;
    st = erasePrg(adapter, h, progress);
    if (st != 0) return st;
    st = sendPrgChunks(adapter, image, prgSize(h), progress);
    if (st != 0) return st;

    progress.stage("Updating Wakeup Parameters");
    ProgramId pid{h.w[1], h.w[2]};
    st = UpdateWakeupParmsProgram(adapter, pid, familyHasExpansionRom(family));
    if (st != 0 && st != RM_STATUS_NO_WAKEUP_SLOT) {
        emitText("Failed to update Wakeup Parameters\n");
        return st;
    }
    progress.stage("Image Successfully Downloaded");
    return 0;
}
