// DownloadAifFile and LoadAifImage: AIF image files (.ALL, .DWC, .BWC, .FWC,
// .aif) through MBX_LOAD_AREA, then the wakeup slots their programs fill.
#include <cstring>
#include <vector>

#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/download.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/wakeup.h"

namespace {

constexpr uint32_t kAreaErase = 0x18;     // bits 3 and 4
constexpr uint32_t kAreaLoad = 0x0A;      // bits 1 and 3
constexpr uint32_t kAreaLastChunk = 0x01; // bit 0
constexpr uint32_t kStepEraseFirst = 1;
constexpr uint32_t kStepEraseNext = 2;
constexpr uint32_t kStepLoad = 3;
constexpr uint32_t kStepLoadLast = 4;
// Erase requests in a row after which an adapter that neither finishes nor
// moves its address on is given up.
constexpr int kEraseMaxStalls = 16;
constexpr uint32_t kBootListMax = 10;

struct AifFile {
    ImageView image;
    FileKind kind;
    bool bare; // .aif: no checksum words
    bool hasBoot;
    uint32_t family;
    uint32_t overhead() const { return bare ? AIF_OVERHEAD_BARE : AIF_OVERHEAD; }
};

uint32_t progressOf(const MboxBuf& mb) {
    return (mb.w[1] >> 8) & 0xFF;
}

uint32_t loadAreaRequest(int adapter, MboxBuf* mb) {
    uint32_t st = IssueMbox1(adapter, mb);
    if (st != 0) {
        mboxRecordFailure(*mb);
        emitText("LOAD_AREA Mailbox Error\n");
    }
    return st;
}

// The type 3 programs of the load list (at most 10).
uint32_t bootImageList(int adapter, ProgramId* out, uint32_t* count) {
    std::vector<LoadListEntry> entries(LOAD_LIST_MAX_ENTRIES);
    uint32_t n = 0;
    uint32_t st = WalkLoadList(adapter, entries.data(), LOAD_LIST_MAX_ENTRIES, &n);
    *count = 0;
    for (uint32_t i = 0; i < n && *count < kBootListMax; ++i)
        if (!loadEntryFree(entries[i]) && (entries[i].words[4] >> 24) == PROGRAM_TYPE_BOOT)
            out[(*count)++] = loadEntryProgram(entries[i]);
    return st;
}

const ProgramId* bootLookup(const ProgramId* list, uint32_t count, uint32_t w0) {
    for (uint32_t i = 0; i < count; ++i)
        if (list[i].w0 == w0) return &list[i];
    return nullptr;
}

// Wakeup slots after a DWC image: its embedded programs take their slots.
uint32_t dwcWakeup(int adapter, const AifFile& f, uint64_t start, uint64_t end, WakeupParms* work) {
    WakeupParms parms;
    if (ReadWakeupParms(adapter, &parms) != 0) return DL_WAKEUP;
    ProgramId boot[kBootListMax];
    uint32_t bootCount = 0;
    bool bootListRead = false;
    for (uint64_t at = start + AIF_OVERHEAD; at + PRG_HEADER_SIZE <= end;) {
        PrgHeader h;
        if (readWordsAt(f.image, at, h.w, PRG_HEADER_WORDS) != 0) break;
        if (h.w[0] == 0xFFFFFFFFu || h.w[0] < PRG_HEADER_SIZE) break;
        ProgramId pid{h.w[1], h.w[2]};
        uint32_t type = prgType(h);
        if (type != PROGRAM_TYPE_BOOT) {
            ProgramId* slot = wakeupSlot(&parms, type);
            if (slot != nullptr) *slot = pid;
        } else if (f.kind == FILE_KIND_DWC || (f.kind == FILE_KIND_ALL && !f.hasBoot)) {
            if (!bootListRead) {
                bootImageList(adapter, boot, &bootCount);
                bootListRead = true;
            }
            const ProgramId* found = nullptr;
            if (parms.expRom.w0 != 0 && parms.bootBios.w0 == 0) {
                found = bootLookup(boot, bootCount, parms.expRom.w0);
                if (found) parms.expRom = *found;
            } else if (parms.expRom.w0 != 0 && parms.expRom.w0 == parms.bootBios.w0) {
                found = bootLookup(boot, bootCount, parms.expRom.w0);
                if (found) parms.expRom = parms.bootBios = *found;
            }
            if (found) {
                uint32_t st = LoadExpansionRom(adapter, parms, true);
                if (st != 0) return st;
            }
        }
        at += h.w[0];
    }
    *work = parms;
    return 0;
}

// Wakeup slots after a BWC image.
uint32_t bwcWakeup(int adapter, const AifFile& f, uint32_t w, WakeupParms* work) {
    if (f.kind == FILE_KIND_BWC) {
        work->bootBios = {w, 0};
        work->expRom = {w, 0};
        return 0;
    }
    if (work->expRom.w0 != 0 && work->expRom.w0 != w) {
        ProgramId boot[kBootListMax];
        uint32_t count = 0;
        bootImageList(adapter, boot, &count);
        const ProgramId* found = bootLookup(boot, count, work->expRom.w0);
        bool bootSet = work->bootBios.w0 != 0;
        if (found) {
            work->expRom = *found;
            if (bootSet) work->bootBios = *found;
        } else {
            work->expRom.w0 = w;
            if (bootSet) work->bootBios.w0 = w;
        }
        return LoadExpansionRom(adapter, *work, true);
    }
    if (work->bootBios.w0 != 0) work->bootBios = {w, 0};
    work->expRom = {w, 0};
    return LoadExpansionRom(adapter, *work, true);
}

// Erase loop: step 1, then step 2 at the address the adapter returns, until
// the adapter answers progress 2.
uint32_t eraseArea(int adapter, const AifHeader& h) {
    uint32_t address = aifBase(h);
    uint32_t step = kStepEraseFirst;
    int stalls = 0;
    for (;;) {
        MboxBuf mb;
        mboxInit(&mb, MBX_LOAD_AREA);
        mb.w[1] = (aifArea(h) << 24) | (step << 16) | kAreaErase;
        mb.w[2] = address;
        mb.w[3] = aifEraseLength(h);
        uint32_t st = loadAreaRequest(adapter, &mb);
        if (st != 0) return st;
        uint32_t progress = progressOf(mb);
        if (progress == kStepEraseNext) return 0;
        if (progress != kStepEraseFirst) return DL_PROGRESS;
        // An adapter that keeps answering 1 without moving on is not erasing.
        if (step == kStepEraseNext && mb.w[2] <= address) {
            if (++stalls == kEraseMaxStalls) return DL_PROGRESS;
        } else {
            stalls = 0;
        }
        address = mb.w[2];
        step = kStepEraseNext;
    }
}

// Sends the body in chunks; *lastProgress receives the last progress answered.
uint32_t loadBody(int adapter, const AifFile& f, uint64_t start, const AifHeader& h,
                  const DownloadProgress& progress, uint32_t* lastProgress) {
    const uint64_t length = aifBodyLength(h);
    uint64_t sent = 0;
    uint32_t address = aifBase(h);
    int shown = 0;
    uint8_t chunk[MBOX_CLASSIC_DATA_MAX];
    if (start + AIF_HEADER_SIZE + length > f.image.size) return DL_SHORT_IMAGE;
    const uint8_t* body = f.image.data + start + AIF_HEADER_SIZE;
    do {
        if (sent > 0) {
            if (*lastProgress != kStepLoad) break;
            uint32_t expected = static_cast<uint32_t>(aifBase(h) + sent);
            if (expected != address) emitText("Next Address Mismatched\n");
        }
        uint32_t n = length - sent < MBOX_CLASSIC_DATA_MAX ? static_cast<uint32_t>(length - sent)
                                                           : MBOX_CLASSIC_DATA_MAX;
        int pct = chunkPercent(sent + n, length);
        if (pct != shown) {
            progress.percent(pct);
            shown = pct;
        }
        std::memset(chunk, 0, sizeof chunk);
        if (n > 0) std::memcpy(chunk, body + sent, n);
        bool last = sent + n == length;
        MboxBuf mb;
        mboxInit(&mb, MBX_LOAD_AREA);
        mb.w[1] = (aifArea(h) << 24) | ((last ? kStepLoadLast : kStepLoad) << 16) | kAreaLoad |
                  (last ? kAreaLastChunk : 0);
        mb.w[2] = address;
        mb.w[3] = n;
        mb.w[4] = MBOX_DATA_OFFSET;
        fileBytesToWords(chunk, &mb.w[MBOX_DATA_WORD], (n + 3) / 4);
        uint32_t st = IssueMbox1(adapter, &mb);
        if (st != 0) {
            mboxRecordFailure(mb);
            emitText("LOAD_AREA Mailbox Error\n");
            return st;
        }
        *lastProgress = progressOf(mb);
        address = mb.w[2];
        sent += n;
    } while (sent < length);
    return 0;
}

// The checks of one image by its kind, before its area is erased. *skip is set
// for an AWC image of an .ALL file whose version is already in flash.
uint32_t checkAifKind(int adapter, const AifFile& f, uint64_t start, uint64_t total,
                      const AifHeader& h, bool* skip) {
    uint32_t st = 0;
    switch (aifKind(h)) {
    case AIF_KIND_AWC: {
        if (isSecureFamily(f.family)) {
            st = AuthenticateAWC(adapter, f.image, start, h);
            if (st != 0) {
                emitText("Authentication Error\n");
                return st;
            }
        }
        emitText("Download AWC image for adapter %lx\n", static_cast<unsigned long>(f.family));
        if (f.kind != FILE_KIND_ALL) return 0;
        uint32_t flashWord = 0, n = 1;
        if (DumpMemory(adapter, &flashWord, AWC_VERSION_ADDRESS, &n) != 0 || n != 1) {
            emitText("Error Reading Flash for File Version\n");
            return DL_FLASH_VERSION;
        }
        uint32_t familyByte = 0;
        bool readOk = false;
        uint32_t imageFamily = awcImageFamily(f.image, &familyByte, &readOk);
        if (flashWord == aifIdWord(h) && readOk &&
            awcFamilyAgrees(f.family, imageFamily, familyByte)) {
            emitText("AWC in ALL with same Version, same ID: Skip\n");
            *skip = true;
        }
        return 0;
    }
    case AIF_KIND_DWC:
        return checkDwcPrograms(adapter, f.image, start, start + total, h, f.family);
    case AIF_KIND_BWC:
        return 0;
    case AIF_KIND_FWC:
        if (isSecureFamily(f.family)) {
            st = authenticateFwc(adapter, f.image, start);
            if (st != 0) {
                emitText("Authentication Error\n");
                return st;
            }
        }
        return 0;
    default:
        emitText("Invalid file type\n");
        return DL_UNKNOWN_AIF_KIND;
    }
}

uint32_t checkImageSum(const AifFile& f, uint64_t start, uint64_t total,
                       const DownloadProgress& progress) {
    progress.stage("Validating Checksum");
    if (!f.bare) {
        uint32_t sum = 0;
        if (!RotXorChecksumRange(f.image, start, total / 4, &sum)) {
            emitText("Invalid Image - Error Reading File\n");
            return DL_READ_ERROR;
        }
        if (sum != 0) {
            emitText("CheckSum Error\n");
            return DL_CHECKSUM;
        }
    }
    progress.stage("Checksum OK");
    return 0;
}

// Erase, then the body; the adapter must end on progress 4.
uint32_t programArea(int adapter, const AifFile& f, uint64_t start, const AifHeader& h,
                     const DownloadProgress& progress) {
    progress.stage("Erasing Flash ROM Sectors");
    progress.percent(0);
    uint32_t st = eraseArea(adapter, h);
    if (st != 0) return st;
    progress.percent(100);

    progress.stage("Loading Image");
    progress.percent(0);
    uint32_t last = 0;
    st = loadBody(adapter, f, start, h, progress, &last);
    if (st != 0) return st;
    if (last != kStepLoadLast) {
        emitText("LOAD_AREA: Invalid Progress Rsp\n");
        return DL_PROGRESS;
    }
    progress.percent(100);
    return 0;
}

uint32_t LoadAifImage(int adapter, const AifFile& f, uint64_t start, WakeupParms* work,
                      const DownloadProgress& progress) {
    AifHeader h;
    uint32_t st = readWordsAt(f.image, start, h.w, AIF_HEADER_WORDS);
    if (st != 0) {
        emitText("Invalid Image - Error Reading File\n");
        return st;
    }
    const uint64_t total = aifBodyLength(h) + AIF_HEADER_SIZE + (f.bare ? 0 : 4);
    emitText("ImageBase %lx Len %lx\n", static_cast<unsigned long>(aifBase(h)),
             static_cast<unsigned long>(total));
    if (start + total > f.image.size) {
        emitText("Invalid Image - Short Image\n");
        return DL_SHORT_IMAGE;
    }
    bool skip = false;
    st = checkAifKind(adapter, f, start, total, h, &skip);
    if (st != 0 || skip) return st;
    st = checkImageSum(f, start, total, progress);
    if (st != 0) return st;
    st = programArea(adapter, f, start, h, progress);
    if (st != 0) return st;

    if (aifKind(h) == AIF_KIND_DWC) {
        st = dwcWakeup(adapter, f, start, start + total, work);
        if (st != 0) return st;
    } else if (aifKind(h) == AIF_KIND_BWC) {
        st = bwcWakeup(adapter, f, aifIdWord(h), work);
        if (st != 0) return st;
    }
    progress.stage("Image Successfully Downloaded");
    return 0;
}

// The header of the image at offset at; false (with the message printed and
// *st set) when it is missing or not an AIF header.
bool readImageHeader(const AifFile& f, uint64_t at, AifHeader* h, uint32_t* st) {
    *st = readWordsAt(f.image, at, h->w, AIF_HEADER_WORDS);
    if (*st == DL_READ_ERROR) {
        emitText("Incompatible Image - Error Reading File!\n");
        return false;
    }
    if (*st != 0 || h->w[0] != AIF_MAGIC) {
        emitText("Incompatible Image - Error Reading File\n");
        *st = DL_READ_ERROR;
        return false;
    }
    return true;
}

// Offset where the images of the file end: the whole-file checksum word of an
// .ALL file counts as its end.
uint64_t imagesEnd(const AifFile& f) {
    const uint64_t size = f.image.size;
    return f.kind == FILE_KIND_ALL && !f.bare && size >= 4 ? size - 4 : size;
}

// Validation pass: every image is complete and suits the adapter; the .ALL
// checksum holds. Nothing is sent to the adapter before this passes.
uint32_t validateFile(int adapter, AifFile* f) {
    const uint64_t end = imagesEnd(*f);
    uint64_t at = 0;
    uint64_t sum = 0;
    do {
        AifHeader h;
        uint32_t st = 0;
        if (!readImageHeader(*f, at, &h, &st)) return st;
        const uint64_t total = aifBodyLength(h) + f->overhead();
        if (at + total > f->image.size) {
            emitText("Invalid Image - Short Image\n");
            return DL_SHORT_IMAGE;
        }
        if (aifKind(h) == AIF_KIND_BWC) f->hasBoot = true;
        st = CheckAbsImageFile(adapter, f->image, at, h, f->family);
        if (st != 0) {
            emitText("CheckAbsImageFile Error\n");
            return st;
        }
        // The walk steps by the read-only size; files keep the read-write size 0.
        const uint64_t step = static_cast<uint64_t>(h.w[5]) + f->overhead();
        sum += step;
        at += step;
    } while (f->kind == FILE_KIND_ALL && at < end);
    if (f->kind != FILE_KIND_ALL) return 0;
    emitText("End Of File\n");
    if (!f->bare) {
        uint32_t value = 0;
        if (!RotXorChecksumRange(f->image, 0, (sum + 4) / 4, &value)) {
            emitText("Incompatible Image - Error Reading File\n");
            return DL_READ_ERROR;
        }
        if (value != 0) {
            emitText(".ALL file: BAD checksum %08lX\n", static_cast<unsigned long>(value));
            return DL_CHECKSUM;
        }
        emitText("Checksum OK\n");
    }
    return 0;
}

bool sameParms(const WakeupParms& a, const WakeupParms& b) {
    uint8_t x[WAKEUP_PARMS_SIZE], y[WAKEUP_PARMS_SIZE];
    encodeWakeupParms(a, x);
    encodeWakeupParms(b, y);
    return std::memcmp(x, y, sizeof x) == 0;
}

} // namespace

uint32_t DownloadAifFile(int adapter, FileKind kind, const ImageView& image, bool bareAif,
                         uint32_t family, const DownloadProgress& progress) {
    AifFile f{image, kind, bareAif, false, family};
    uint32_t st = validateFile(adapter, &f);
    if (st != 0) return st;

    WakeupParms work, asRead;
    if (ReadWakeupParms(adapter, &work) != 0) return DL_WAKEUP;
    asRead = work;
    if (isSecureFamily(family) && (kind == FILE_KIND_ALL || kind == FILE_KIND_DWC)) {
        WakeupParms cleared{};
        cleared.bootBios = work.bootBios;
        cleared.expRom = work.expRom;
        work = cleared;
    }

    const uint64_t end = imagesEnd(f);
    uint64_t at = 0;
    int number = 1;
    do {
        if (kind == FILE_KIND_ALL) {
            char stage[32];
            std::snprintf(stage, sizeof stage, "Reading AIF Header #%d", number++);
            progress.stage(stage);
        } else {
            progress.stage("Reading AIF Header");
        }
        AifHeader h;
        if (!readImageHeader(f, at, &h, &st)) return st;
        st = LoadAifImage(adapter, f, at, &work, progress);
        if (st != 0) {
            emitText("Error %08lx\n", static_cast<unsigned long>(st));
            return st;
        }
        at += static_cast<uint64_t>(h.w[5]) + f.overhead();
    } while (kind == FILE_KIND_ALL && at < end);

    // The wakeup parameters are written even when they did not change: the
    // adapter keeps every image of this download aside until that write and
    // then starts them together, so a download that fails or is killed part way
    // leaves it starting the images it had before, never a mix.
    if (!sameParms(work, asRead)) progress.stage("Updating Wakeup Parameters");
    st = UpdateWakeupParms(adapter, work);
    if (st != 0) {
        emitText("Update Wakeup Parameters Error %08lx\n", static_cast<unsigned long>(st));
        return st;
    }
    return 0;
}
