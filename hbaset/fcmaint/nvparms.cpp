// NV parameters, revision words, adapter memory and the flash load list.
#include "hbaset/fcmaint/nvparms.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/rm_status.h"

namespace {

constexpr uint32_t kNvNameWordFirst = 5;
constexpr uint32_t kNvNameWordCount = 4;

void reverseNameWords(MboxBuf* mb) {
    for (uint32_t i = 0; i < kNvNameWordCount; ++i)
        mb->w[kNvNameWordFirst + i] = byteSwap32(mb->w[kNvNameWordFirst + i]);
}

} // namespace

uint32_t Read_NVPARMS(int adapter, MboxBuf* mb, uint32_t selector) {
    mboxInit(mb, MBX_READ_NV);
    mb->w[1] = mb->w[2] = mb->w[3] = selector;
    if (!isSli4(adapter)) return IssueMbox1(adapter, mb);
    uint32_t st = IssueMbox4(adapter, mb);
    if (st == 0) reverseNameWords(mb);
    return st;
}

uint32_t Write_NVPARMS(int adapter, MboxBuf* mb) {
    mb->w[0] = static_cast<uint32_t>(MBX_WRITE_NV) << 8;
    for (uint32_t i = 1; i < MBOX_DATA_WORD; ++i)
        mb->w[i] = 0;
    if (!isSli4(adapter)) {
        mb->w[0] |= 1;
        return IssueMbox1(adapter, mb);
    }
    reverseNameWords(mb);
    uint32_t st = IssueMbox4(adapter, mb);
    reverseNameWords(mb);
    return st;
}

NvParms nvParmsFromMbox(const MboxBuf& mb) {
    NvParms nv;
    nv.wwpn[0] = mb.w[5];
    nv.wwpn[1] = mb.w[6];
    nv.wwnn[0] = mb.w[7];
    nv.wwnn[1] = mb.w[8];
    nv.flags = mb.w[9];
    return nv;
}

void nvParmsToMbox(const NvParms& nv, MboxBuf* mb) {
    mb->w[5] = nv.wwpn[0];
    mb->w[6] = nv.wwpn[1];
    mb->w[7] = nv.wwnn[0];
    mb->w[8] = nv.wwnn[1];
    mb->w[9] = nv.flags;
}

uint32_t ReadRev(int adapter, MboxBuf* mb) {
    mboxInit(mb, MBX_READ_REV);
    mb->w[1] = READ_REV_CLASSIC_WORD1;
    uint32_t st = IssueMbox1(adapter, mb);
    if (st != 0) mboxRecordFailure(*mb);
    return st;
}

uint32_t ReadRev4(int adapter, MboxBuf* mb) {
    mboxInit(mb, MBX_READ_REV);
    uint32_t st = IssueMbox4(adapter, mb);
    if (st != 0) {
        emitText("Failed IssueMbox4\n");
        mboxRecordFailure(*mb);
    }
    return st;
}

uint32_t DumpMemory(int adapter, uint32_t* out, uint32_t address, uint32_t* words) {
    uint32_t asked = *words;
    *words = 0;
    uint32_t mask = isNewerHwType(adapter) ? 0xE0000000u : 0xFE000000u;
    if (address & mask) {
        emitText("Adr ERROR: %08X Count %x\n", address, asked);
        return RM_STATUS_ADDRESS_OUT_OF_WINDOW;
    }
    uint32_t n = std::min(asked, DUMP_MEMORY_MAX_WORDS);
    MboxBuf mb;
    mboxInit(&mb, MBX_DUMP);
    mb.w[0] |= 2;
    mb.w[1] = DUMP_TYPE_MEMORY;
    mb.w[3] = address & ~3u;
    mb.w[4] = n;
    uint32_t st = IssueMbox1(adapter, &mb);
    if (st != 0) return st;
    uint32_t got = std::min(mb.w[4], n); // never more than asked, whatever the reply says
    std::memcpy(out, &mb.w[MBOX_DATA_WORD], got * 4);
    *words = got;
    return 0;
}

// ---- load list ------------------------------------------------------------------------

namespace {

constexpr uint32_t kUnknownProgramWord = 0x0E000001u;
constexpr uint32_t kHeaderLongFlag = 0x8;
constexpr uint32_t kHeaderLong = 100;
constexpr uint32_t kHeaderShort = 48;

bool readWord(int adapter, uint32_t address, uint32_t* value) {
    uint32_t n = 1;
    return DumpMemory(adapter, value, address, &n) == 0 && n == 1;
}

void setText(char* out, const char* text) {
    std::snprintf(out, LOAD_LIST_VERSION_LEN + 1, "%s", text);
}

// The version text of an entry's program image, found through the image
// header at the entry's flash address. Empty when a read fails.
void entryVersion(int adapter, const uint32_t* words, char* out) {
    out[0] = 0;
    uint32_t w4 = words[4];
    if (w4 == 0 || w4 == 0xFFFFFFFFu) return setText(out, "<Available>");
    if (w4 >= kUnknownProgramWord) return setText(out, "<Unknown>");
    uint32_t type = w4 >> 24;
    uint32_t h = words[2];
    uint32_t flags = 0, p = 0, q = 0;
    if (!readWord(adapter, h + 12, &flags)) return;
    uint32_t d = h + ((flags & kHeaderLongFlag) ? kHeaderLong : kHeaderShort);
    if (!readWord(adapter, type != 0 ? d + 8 : d + 4, &p)) return;
    p &= ~3u;
    if (!readWord(adapter, h + 28, &q)) return;

    uint32_t text[6] = {};
    uint32_t n = 6;
    if (DumpMemory(adapter, text, p - q + d, &n) != 0) return;
    size_t len = 0;
    for (uint32_t i = 0; i < n && len < LOAD_LIST_VERSION_LEN; ++i) {
        // Boot programs keep their text in memory order, others word-reversed.
        uint32_t w = type == PROGRAM_TYPE_BOOT ? text[i] : byteSwap32(text[i]);
        for (int b = 0; b < 4; ++b) {
            char c = static_cast<char>((w >> (8 * b)) & 0xFF);
            if (c == 0 || c == '\n') {
                out[len] = 0;
                return;
            }
            out[len++] = c;
        }
    }
    out[len] = 0;
}

} // namespace

uint32_t WalkLoadList(int adapter, LoadListEntry* entries, uint32_t capacity, uint32_t* count) {
    *count = 0;
    uint32_t address = 0;
    uint32_t n = 1;
    uint32_t st = DumpMemory(adapter, &address, MEM_LOAD_LIST_HEAD, &n);
    if (st != 0) return st;
    if (n != 1) return RM_STATUS_ERROR;

    uint32_t limit = std::min(capacity, LOAD_LIST_MAX_ENTRIES);
    std::vector<uint32_t> seen;
    // Addresses 0 and 0xFFFFFFFF end the list too: erased or cleared flash.
    while (address != MEM_LOAD_LIST_HEAD && address != 0 && address != 0xFFFFFFFFu &&
           *count < limit) {
        if (std::find(seen.begin(), seen.end(), address) != seen.end()) break; // a cycle
        seen.push_back(address);
        LoadListEntry& e = entries[*count];
        std::memset(&e, 0, sizeof(e));
        n = LOAD_LIST_ENTRY_WORDS;
        st = DumpMemory(adapter, e.words, address, &n);
        if (st != 0) return st;
        if (n != LOAD_LIST_ENTRY_WORDS) return RM_STATUS_ERROR;
        e.address = address;
        entryVersion(adapter, e.words, e.version);
        ++*count;
        address = e.words[0];
    }
    return 0;
}

uint32_t DeleteLoadEntry(int adapter, const ProgramId& program) {
    MboxBuf mb;
    mboxInit(&mb, MBX_DEL_LD_ENTRY);
    mb.w[1] = 1;
    mb.w[2] = program.w0;
    mb.w[3] = program.w1;
    if (IssueMbox1(adapter, &mb) != 0) {
        mboxRecordFailure(mb);
        return RM_STATUS_WAKEUP_FAILED;
    }
    return 0;
}

uint32_t DeleteLoadEntriesOfType(int adapter, uint32_t type) {
    std::vector<LoadListEntry> entries(LOAD_LIST_MAX_ENTRIES);
    uint32_t count = 0;
    uint32_t st = WalkLoadList(adapter, entries.data(), LOAD_LIST_MAX_ENTRIES, &count);
    if (st != 0) return st;
    for (uint32_t i = 0; i < count; ++i) {
        const LoadListEntry& e = entries[i];
        if (loadEntryFree(e) || (e.words[4] >> 24) != type) continue;
        st = DeleteLoadEntry(adapter, loadEntryProgram(e));
        if (st != 0) return st;
    }
    return 0;
}
