// Secure-adapter keys: the key block of signed images, the adapter's download
// KEK (get, set, the path from the adapter's KEK to the one an image needs)
// and the zeroize request after a download.
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/mailbox.h"
#include "interfaces/kek_table.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kKekWords = 124 / 4;
constexpr uint32_t kKekRetries = 10;
constexpr uint32_t kZeroizeWords = 32;
constexpr uint32_t kSecurityDelayMs = 6000;
constexpr uint32_t kNoZeroizeTrace = 254; // library status not worth a trace
constexpr uint32_t kIdWordsFirst = 3;     // get: identifier in words 3-18
constexpr uint32_t kIdWordCount = 16;
constexpr uint32_t kSetIdFirst = 16; // set: identifier in words 16-31
constexpr uint32_t kBlockIdOffset = 108;
constexpr uint32_t kBlockIdSize = 152;

// Identifier text <-> mailbox words: each word carries four characters, the
// first in its top byte.
uint32_t textWord(const char* text, uint32_t length, uint32_t at) {
    uint32_t w = 0;
    for (uint32_t b = 0; b < 4; ++b) {
        uint8_t c = at + b < length ? static_cast<uint8_t>(text[at + b]) : 0;
        w |= static_cast<uint32_t>(c) << (24 - 8 * b);
    }
    return w;
}

uint32_t securityRequest(int adapter, MboxBuf* mb, const char* who) {
    uint32_t st = TGX_IssueMboxWithRetry(static_cast<uint32_t>(adapter), mb->w, kKekWords,
                                         kKekWords, kKekRetries, kSecurityDelayMs);
    if (st == 0 && mboxStatus(*mb) == 0) return 0;
    traceGroup(TRACE_GROUP_FC,
               "[%s] TGX_IssueMboxWithRetry (Board %d): returnStat %d, mbxCommand= 0x%x, "
               "mbxStatus=0x%x\n",
               who, adapter, static_cast<int>(st), mboxCommand(*mb), mboxStatus(*mb));
    mboxRecordFailure(*mb);
    return mboxStatus(*mb) == MBXS_SECURITY_UNSUPPORTED ? KEK_NOT_SUPPORTED : KEK_FAILED;
}

int findEntry(const char* id, uint32_t length) {
    for (int i = 0; i < KEK_TABLE_SIZE; ++i)
        if (kKekTable[i].idLength == length && std::memcmp(kKekTable[i].id, id, length) == 0)
            return i;
    return -1;
}

bool sameId(const char* a, uint32_t aLength, const KekTableEntry& e) {
    return aLength == e.idLength && std::memcmp(a, e.id, aLength) == 0;
}

// Reads the key block at offset and runs ProcessKEK for its identifier; "not
// supported" counts as success.
uint32_t processKeyBlock(int adapter, const ImageView& image, uint64_t offset) {
    char id[KEK_ID_BUFFER];
    uint32_t length = 0;
    bool isSigned = false;
    uint32_t st = ReadKekIdFromPRG(image, offset, id, sizeof id, &length, &isSigned);
    if (st != 0) return st;
    st = ProcessKEK(adapter, id, length);
    return st == KEK_NOT_SUPPORTED ? 0 : st;
}

// start + skip + back-relative offset, refused when it falls before the file.
bool blockOffset(uint64_t base, uint32_t word, uint32_t back, uint64_t* out) {
    if (word < back) return false;
    *out = base + (word - back);
    return true;
}

} // namespace

uint32_t ReadKekIdFromPRG(const ImageView& image, uint64_t offset, char* out, uint32_t size,
                          uint32_t* length, bool* isSigned) {
    if (size < KEK_ID_BUFFER) return KEK_FAILED;
    if (offset > image.size || image.size - offset < KEK_BLOCK_SIZE) {
        traceGroup(TRACE_GROUP_FC, "[ReadKekIdFromPRG] Failed seeking file pointer\n");
        return DL_READ_ERROR;
    }
    uint8_t block[KEK_BLOCK_SIZE];
    uint32_t st = readAt(image, offset, block, sizeof block);
    if (st != 0) return st;
    *isSigned = fileWord(block) != 0;
    // The identifier words, byte-reversed back, are the text in file order.
    uint32_t n = 0;
    while (n < kBlockIdSize && n + 1 < size && block[kBlockIdOffset + n] != 0) {
        out[n] = static_cast<char>(block[kBlockIdOffset + n]);
        ++n;
    }
    out[n] = 0;
    *length = n;
    return 0;
}

uint32_t GetKEK_ID(int adapter, char* out, uint32_t size, uint32_t* length) {
    if (size < KEK_ID_BUFFER) return KEK_FAILED;
    MboxBuf mb;
    mboxInit(&mb, MBX_SECURITY);
    mb.w[1] = SECURITY_GET_KEK << 24;
    uint32_t st = securityRequest(adapter, &mb, "GetKEK_ID");
    if (st != 0) return st;
    // The adapter's length is clamped to what the words and the buffer hold.
    uint32_t n = mb.w[2];
    if (n > kIdWordCount * 4) n = kIdWordCount * 4;
    if (n > size - 1) n = size - 1;
    for (uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(mb.w[kIdWordsFirst + i / 4] >> (24 - 8 * (i % 4)));
    out[n] = 0;
    *length = static_cast<uint32_t>(strnlen(out, n));
    return 0;
}

uint32_t SetKEK(int adapter, int entry) {
    const KekTableEntry& e = kKekTable[entry];
    MboxBuf mb;
    mboxInit(&mb, MBX_SECURITY);
    mb.w[1] = SECURITY_SET_KEK << 24;
    mb.w[2] = SECURITY_SET_KEK_WORD2;
    mb.w[3] = SECURITY_SET_KEK_WORD3 | (e.idLength << 16);
    mb.w[4] = byteSwap32(e.param2);
    mb.w[5] = byteSwap32(e.param1);
    std::memcpy(&mb.w[6], e.key, sizeof e.key);
    for (uint32_t i = 0; i < kIdWordCount; ++i)
        mb.w[kSetIdFirst + i] = textWord(e.id, e.idLength, 4 * i);
    return securityRequest(adapter, &mb, "SetKEK");
}

uint32_t ProcessKEK(int adapter, const char* target, uint32_t targetLength) {
    const int t = findEntry(target, targetLength);
    if (t < 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[ProcessKEK] Error: Target KEK ID for download was not known.\n");
        return KEK_FAILED;
    }
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] TARGET KEK FOUND\n");
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] READ INITIAL HBA DOWNLOAD KEK\n");
    char current[KEK_ID_BUFFER];
    uint32_t length = 0;
    uint32_t st = GetKEK_ID(adapter, current, sizeof current, &length);
    if (st == KEK_NOT_SUPPORTED) {
        traceGroup(TRACE_GROUP_FC, "[ProcessKEK] ERROR: GetDownloadKekId command not supported.\n");
        return st;
    }
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "[ProcessKEK] ERROR: Failed to get the board KEK ID string.\n");
        return KEK_FAILED;
    }
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] INITIAL HBA DOWNLOAD KEK READ\n");
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] CALCULATE UPDATE PATH TO REACH TARGET KEK\n");
    int path[KEK_TABLE_SIZE];
    int matched = -1;
    int e = t;
    for (int step = 0; step < KEK_TABLE_SIZE; ++step) {
        path[step] = e;
        if (sameId(current, length, kKekTable[e])) {
            matched = step;
            break;
        }
        if (kKekTable[e].flags & KEK_FLAG_ROOT) break;
        e = kKekTable[e].predecessor;
    }
    if (matched < 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[ProcessKEK] ERROR: Could not find a valid path to the required download "
                   "KEK.  HBA may need to be zeroized.\n");
        return KEK_FAILED;
    }
    if (matched == 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[ProcessKEK] HBA already has the required download KEK, no SET KEK operation "
                   "required!\n");
        return 0;
    }
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] UPDATE PATH FOUND\n");
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] PERFORM UPDATE STEPS\n");
    for (int step = matched - 1; step >= 0; --step) {
        st = SetKEK(adapter, path[step]);
        if (st == KEK_NOT_SUPPORTED) {
            traceGroup(TRACE_GROUP_FC,
                       "[ProcessKEK] ERROR: SetDownloadKek command not supported.\n");
            return st;
        }
        if (st != 0) {
            traceGroup(TRACE_GROUP_FC,
                       "[ProcessKEK] ERROR: Failed to update download KEK. SET_KEK failure.\n");
            return KEK_FAILED;
        }
    }
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] HBA UPDATED TO TARGET KEK\n");
    traceGroup(TRACE_GROUP_FC, "[ProcessKEK] VERIFY KEK UPDATE BY READING KEK ID\n");
    st = GetKEK_ID(adapter, current, sizeof current, &length);
    if (st == KEK_NOT_SUPPORTED) {
        traceGroup(TRACE_GROUP_FC, "[ProcessKEK] ERROR: GetDownloadKekId command not supported.\n");
        return st;
    }
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "[ProcessKEK] ERROR: Failed to verify the set KEK ID string.\n");
        return KEK_FAILED;
    }
    return sameId(current, length, kKekTable[t]) ? 0 : KEK_FAILED;
}

uint32_t authenticatePrg(int adapter, const ImageView& image, uint64_t start, const PrgHeader& h) {
    if ((h.w[3] & PRG_FLAG_KEY_BLOCK) == 0) return DL_UNSIGNED;
    uint64_t offset = 0;
    if (!blockOffset(start + PRG_HEADER_SIZE, h.w[8], KEK_PRG_BLOCK_BACK, &offset))
        return DL_READ_ERROR;
    return processKeyBlock(adapter, image, offset);
}

uint32_t authenticateFwc(int adapter, const ImageView& image, uint64_t start) {
    PrgHeader h;
    uint32_t st = readWordsAt(image, start + AIF_HEADER_SIZE, h.w, PRG_HEADER_WORDS);
    if (st != 0) return st;
    if ((h.w[3] & PRG_FLAG_KEY_BLOCK) == 0) return DL_UNSIGNED;
    uint64_t offset = 0;
    if (!blockOffset(start + AIF_HEADER_SIZE + PRG_HEADER_SIZE, h.w[8], KEK_FWC_BLOCK_BACK,
                     &offset))
        return DL_READ_ERROR;
    return processKeyBlock(adapter, image, offset);
}

uint32_t AuthenticateAWC(int adapter, const ImageView& image, uint64_t start, const AifHeader& h) {
    uint64_t offset = 0;
    if (h.w[5] == 0 || !blockOffset(start + AIF_HEADER_SIZE, h.w[5], KEK_AWC_BLOCK_BACK, &offset)) {
        traceGroup(TRACE_GROUP_FC, "[AuthenticateAWC] Failed reading KEK from AWC image\n");
        return DL_READ_ERROR;
    }
    return processKeyBlock(adapter, image, offset);
}

uint32_t ZeroizeSecurityData(int adapter) {
    MboxBuf mb;
    mboxInit(&mb, MBX_SECURITY);
    mb.w[1] = SECURITY_ZEROIZE << 24;
    uint32_t st = TGX_IssueMboxWithRetry(static_cast<uint32_t>(adapter), mb.w, kZeroizeWords,
                                         kZeroizeWords, 0, kSecurityDelayMs);
    if ((st != 0 && st != kNoZeroizeTrace) || (st == 0 && mboxStatus(mb) != 0)) {
        traceGroup(TRACE_GROUP_FC,
                   "[ZeroizeSecurityData] TGX_IssueMboxWithRetry (Board %d): returnStat %d, "
                   "mbxCommand= 0x%x, mbxStatus=0x%x\n",
                   adapter, static_cast<int>(st), mboxCommand(mb), mboxStatus(mb));
        mboxRecordFailure(mb);
    }
    return 0;
}
