// Configuration regions: reads, writes, the boot-region readers and writers,
// region 0 and the reconstruction of regions the adapter rejects.
#include "hbaset/fcmaint/config_region.h"

#include <algorithm>
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kExRetry = 3;
constexpr uint32_t kExDelayMs = 100;
constexpr uint8_t kExMbOffset = 5;
constexpr uint32_t kTgxMinusOne = 0xFFFFFFFFu;

uint32_t wordsFor(uint32_t bytes) {
    return (bytes + 3) / 4;
}

bool unknownRegionStatus(uint32_t tgxStatus, uint32_t mbxStatus) {
    return (tgxStatus == 2 || tgxStatus == kTgxMinusOne) &&
           (mbxStatus == MBXS_NO_ENTRY || mbxStatus == MBXS_NOT_INITIALIZED);
}

void reverseWords(uint8_t* data, uint32_t words) {
    for (uint32_t i = 0; i < words; ++i) {
        uint8_t* p = data + 4 * i;
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
    }
}

uint32_t dumpRegionSli4(int adapter, uint32_t region, uint32_t byteOffset, uint32_t* length,
                        uint8_t* buffer) {
    uint32_t asked = *length;
    uint32_t reported = asked;
    if (region == REGION_IEEE) region = REGION_IEEE_SLI4;
    uint32_t st = TGX_IssueDumpMBox(static_cast<uint32_t>(adapter), 2, 0, region, byteOffset,
                                    buffer, &reported);
    *length = st == 0 ? std::min(asked, reported) : 0;
    return st;
}

} // namespace

uint32_t DumpConfigRegion(int adapter, uint32_t region, uint32_t byteOffset, uint32_t* length,
                          uint8_t* buffer) {
    if (isSli4(adapter)) return dumpRegionSli4(adapter, region, byteOffset, length, buffer);

    uint32_t wanted = *length;
    uint32_t total = 0;
    uint32_t status = 0;
    while (total < wanted) {
        uint32_t pos = byteOffset + total;
        uint32_t requestOffset = pos & ~3u;
        uint32_t pad = pos - requestOffset;
        // The covering words of a misaligned piece must fit the mailbox too.
        uint32_t chunk = std::min(wanted - total, MBOX_CLASSIC_DATA_MAX - pad);

        MboxBuf mb;
        mboxInit(&mb, MBX_DUMP);
        mb.w[1] = DUMP_TYPE_REGION | MBX_FLAG_BIT4;
        mb.w[2] = (region & 0xFFFF) | ((requestOffset & 0xFFFF) << 16);
        mb.w[4] = wordsFor(pad + chunk);
        status = IssueMbox1(adapter, &mb);
        if (status != 0) break;

        // Word 4 is the byte count the adapter returned; nothing beyond the
        // returned mailbox and the chunk asked for is ever copied.
        uint32_t reply = std::min(mb.w[4], MBOX_RETURNED_BYTES - MBOX_DATA_OFFSET);
        uint32_t copied = reply > pad ? std::min(reply - pad, chunk) : 0;
        std::memcpy(buffer + total, mboxBytes(mb) + MBOX_DATA_OFFSET + pad, copied);
        total += copied;
        if (copied < chunk) break; // the region ended
    }
    *length = total;
    return status;
}

uint32_t DumpConfigRegionEx(int adapter, uint32_t region, uint32_t length, uint32_t* outLength,
                            uint8_t* buffer) {
    *outLength = 0;
    if (length > REGION_EX_BUFFER) return RM_STATUS_ERROR;
    uint8_t data[REGION_EX_BUFFER] = {};
    uint32_t words = wordsFor(length);

    MboxBuf mb;
    mboxInit(&mb, MBX_DUMP);
    mb.w[1] = DUMP_TYPE_REGION | MBX_FLAG_BIT4 | MBX_FLAG_BIT5;
    mb.w[2] = region & 0xFFFF;
    mb.w[4] = words;
    mb.w[5] = 0;
    uint32_t st = TGX_IssueMboxWithRetryEx(static_cast<uint32_t>(adapter), mb.w, data, kExMbOffset,
                                           words, words, kExRetry, kExDelayMs);
    if (st != 0) {
        uint32_t mbs = mboxStatus(mb);
        if (unknownRegionStatus(st, mbs)) return RM_STATUS_REGION_UNKNOWN;
        if (st == 2 && mbs == MBXS_REGION_BAD) return RM_STATUS_REGION_DUMP_BAD;
        return RM_STATUS_ERROR;
    }
    uint32_t n = std::min(mb.w[4], length);
    std::memcpy(buffer, data, n);
    *outLength = n;
    return 0;
}

// ---- boot region readers --------------------------------------------------------

namespace {

uint32_t readRegionEx(int adapter, uint32_t region, uint32_t size, uint8_t* out,
                      uint32_t* bytesRead) {
    std::memset(out, 0, size);
    uint32_t n = 0;
    uint32_t st = DumpConfigRegionEx(adapter, region, size, &n, out);
    if (bytesRead) *bytesRead = n;
    return st;
}

// Region 0 of a Brevin FC function: the stored NV parameters, words 5-9.
uint32_t readRegion0Nv(int adapter, uint8_t* out, uint32_t* bytesRead) {
    MboxBuf mb;
    mboxInit(&mb, MBX_READ_NV);
    mb.w[1] = mb.w[2] = mb.w[3] = READ_NV_NONVOLATILE;
    uint32_t st = IssueNvMbox(adapter, &mb);
    if (st != 0) {
        if (unknownRegionStatus(st, mboxStatus(mb))) return RM_STATUS_REGION_UNKNOWN;
        return RM_STATUS_ERROR;
    }
    std::memcpy(out, mboxBytes(mb) + MBOX_DATA_OFFSET, REGION0_SIZE);
    if (bytesRead) *bytesRead = REGION0_SIZE;
    return 0;
}

} // namespace

uint32_t ReadConfigRegion0(int adapter, uint8_t out[REGION0_SIZE], uint32_t* bytesRead) {
    std::memset(out, 0, REGION0_SIZE);
    if (bytesRead) *bytesRead = 0;
    if (isNexaManaged(adapter)) return 0;
    if (isBrevinFc(adapter)) return readRegion0Nv(adapter, out, bytesRead);
    return readRegionEx(adapter, REGION_NV, REGION0_SIZE, out, bytesRead);
}

uint32_t ReadConfigRegion4(int adapter, uint8_t out[REGION4_SIZE], uint32_t* bytesRead) {
    std::memset(out, 0, REGION4_SIZE);
    if (bytesRead) *bytesRead = 0;
    if (isNexaManaged(adapter)) return 0;
    return readRegionEx(adapter, REGION_WAKEUP, REGION4_SIZE, out, bytesRead);
}

uint32_t ReadConfigRegion8(int adapter, uint8_t out[REGION8_SIZE], uint32_t* bytesRead) {
    return readRegionEx(adapter, REGION_BOOT, REGION8_SIZE, out, bytesRead);
}

uint32_t ReadConfigRegion8OpenBoot(int adapter, uint8_t out[REGION8_OPENBOOT_SIZE],
                                   uint32_t* bytesRead) {
    uint32_t st = readRegionEx(adapter, REGION_BOOT, REGION8_OPENBOOT_SIZE, out, bytesRead);
    if (st == 0) reverseWords(out, REGION8_OPENBOOT_SIZE / 4);
    return st;
}

uint32_t ReadConfigRegion9(int adapter, uint8_t out[REGION9_SIZE], uint32_t* bytesRead) {
    return readRegionEx(adapter, REGION_ALT_BOOT, REGION9_SIZE, out, bytesRead);
}

uint32_t ReadConfigRegion10(int adapter, uint8_t out[REGION10_SIZE], uint32_t* bytesRead) {
    return readRegionEx(adapter, REGION_EFI, REGION10_SIZE, out, bytesRead);
}

// ---- writes -------------------------------------------------------------------------

uint32_t UpdateConfigRegion(int adapter, uint32_t region, uint32_t length, const uint8_t* data) {
    uint32_t board = static_cast<uint32_t>(adapter);
    uint32_t respInfo = 0;
    uint32_t st = TGX_IssueUpdateCfgMBox(board, UPDATE_CFG_DATA, region, data, length, &respInfo);
    if (st == 2 && (respInfo & 0xFFFF) == UPDATE_CFG_REINIT_RSP) {
        emitText("Re-initialize this config region %d\n", static_cast<int>(region));
        respInfo = 0;
        st = TGX_IssueUpdateCfgMBox(board, UPDATE_CFG_HEADER, region, nullptr, length, &respInfo);
        if (st != 0) {
            emitText("Re-initialize region fails Status %x Rsp_info %x\n", st, respInfo);
            return st;
        }
        respInfo = 0;
        return TGX_IssueUpdateCfgMBox(board, UPDATE_CFG_DATA, region, data, length, &respInfo);
    }
    if (st == 2) emitText("Return %x RspInfo %x\n", st, respInfo);
    return st;
}

uint32_t UpdateConfigRegionEx(int adapter, uint32_t region, uint32_t length, const uint8_t* data) {
    if (length > REGION_EX_BUFFER) return RM_STATUS_ERROR;
    uint8_t buffer[REGION_EX_BUFFER] = {};
    if (length) std::memcpy(buffer, data, length);
    uint32_t words = wordsFor(length);

    MboxBuf mb;
    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[1] = UPDATE_CFG_DATA | MBX_FLAG_BIT4 | MBX_FLAG_BIT5;
    mb.w[2] = (region & 0xFFFF) | (length << 16);
    mb.w[4] = length;
    uint32_t st = TGX_IssueMboxWithRetryEx(static_cast<uint32_t>(adapter), mb.w, buffer,
                                           kExMbOffset, words, words, kExRetry, kExDelayMs);
    if (st == 0) return 0;
    bool reinit = mb.w[3] == UPDATE_CFG_REINIT_WORD || mb.w[5] == UPDATE_CFG_REINIT_WORD;
    if (st == 2 && mboxStatus(mb) == MBXS_ERROR && reinit) return RM_STATUS_REGION_REINIT;
    return RM_STATUS_ERROR;
}

namespace {

bool writesThroughUpdateCfg(int adapter) {
    return isNexaManaged(adapter) || isBrevinFc(adapter);
}

uint32_t writeBootRegion(int adapter, uint32_t region, uint32_t size, const uint8_t* data) {
    if (writesThroughUpdateCfg(adapter)) {
        uint32_t respInfo = 0;
        uint32_t st = TGX_IssueUpdateCfgMBox(static_cast<uint32_t>(adapter), UPDATE_CFG_DATA,
                                             region, data, size, &respInfo);
        return st == 0 ? 0 : RM_STATUS_RECONSTRUCT_FAILED;
    }
    return UpdateConfigRegionEx(adapter, region, size, data);
}

} // namespace

uint32_t WriteConfigRegion8(int adapter, const uint8_t data[REGION8_SIZE]) {
    return writeBootRegion(adapter, REGION_BOOT, REGION8_SIZE, data);
}

uint32_t WriteConfigRegion8OpenBoot(int adapter, const uint8_t data[REGION8_OPENBOOT_SIZE]) {
    if (writesThroughUpdateCfg(adapter)) return 0;
    uint8_t words[REGION8_OPENBOOT_SIZE];
    std::memcpy(words, data, sizeof(words));
    reverseWords(words, REGION8_OPENBOOT_SIZE / 4);
    return UpdateConfigRegionEx(adapter, REGION_BOOT, REGION8_OPENBOOT_SIZE, words);
}

uint32_t WriteConfigRegion9(int adapter, const uint8_t data[REGION9_SIZE]) {
    return writeBootRegion(adapter, REGION_ALT_BOOT, REGION9_SIZE, data);
}

uint32_t WriteConfigRegion10(int adapter, const uint8_t data[REGION10_SIZE]) {
    if (writesThroughUpdateCfg(adapter)) return 0;
    return UpdateConfigRegionEx(adapter, REGION_EFI, REGION10_SIZE, data);
}

// ---- region 0 ---------------------------------------------------------------------------

namespace {

uint32_t writeNvImage(int adapter, const uint8_t* image) {
    if (isBrevinFc(adapter)) {
        bool allZero = std::all_of(image, image + REGION0_SIZE, [](uint8_t b) { return b == 0; });
        if (allZero) return RM_STATUS_ALL_ZERO_IMAGE;
    }
    MboxBuf mb;
    mboxInit(&mb, MBX_WRITE_NV);
    if (!isSli4(adapter)) mb.w[0] |= 1;
    std::memcpy(mboxBytes(&mb) + MBOX_DATA_OFFSET, image, REGION0_SIZE);
    uint32_t st = IssueNvMbox(adapter, &mb);
    if (st == 0) return 0;
    if (unknownRegionStatus(st, mboxStatus(mb))) return RM_STATUS_REGION_UNKNOWN;
    return RM_STATUS_ERROR;
}

void putBe32(uint8_t* p, uint32_t v) {
    putLe32(p, byteSwap32(v));
}

} // namespace

uint32_t CLU_WriteConfigRegion0(int adapter, const uint8_t image[REGION0_SIZE]) {
    if (isNexaManaged(adapter)) return 0;
    traceGroup(TRACE_GROUP_FC, "[CLU_WriteConfigRegion0]\n");
    uint32_t st = writeNvImage(adapter, image);
    if (st != RM_STATUS_REGION_UNKNOWN) return st;
    traceGroup(TRACE_GROUP_FC, "[CLU_WriteConfigRegion0] - CLU_ReconstructRegion Region 0\n");
    uint32_t rebuilt = CLU_ReconstructRegion(adapter, REGION_NV, REGION0_REBUILT_SIZE);
    if (rebuilt != 0) return rebuilt;
    return writeNvImage(adapter, image);
}

uint32_t CLU_InitConfigRegion0Data(int adapter, uint8_t image[REGION0_SIZE]) {
    std::memset(image, 0, REGION0_SIZE);
    traceGroup(TRACE_GROUP_FC, "[CLU_InitConfigRegion0Data]\n");
    if (isNexaManaged(adapter)) return 0;
    const AdapterRecord* rec = adapterAt(adapter);
    if (rec == nullptr) return RM_STATUS_ERROR;
    uint32_t hi = rec->wwpnHigh;
    uint32_t lo = rec->wwpnLow;
    // A zero address means its start-up read failed: never write zero names.
    if (hi == 0 && lo == 0) return RM_STATUS_ERROR;
    uint32_t nodeHi = (hi & 0x00FFFFFFu) | 0x20000000u;
    // SLI-4 adapters keep NV names in wire order, classic ones as host words.
    void (*put)(uint8_t*, uint32_t) = isSli4(adapter) ? putBe32 : putLe32;
    put(image + 0, hi);
    put(image + 4, lo);
    put(image + 8, nodeHi);
    put(image + 12, lo);
    return 0;
}

// ---- reconstruction ------------------------------------------------------------------------

namespace {

// Runs steps v1-v4 (find the flash layout, clear the region's slot, commit).
// On failure *step names the failing step (1-4), 0 for an unknown layout.
uint32_t reconstructPrefix(int adapter, uint32_t region, uint32_t key, int* step) {
    *step = 0;
    MboxBuf mb;
    mboxInit(&mb, MBX_DUMP);
    mb.w[1] = DUMP_TYPE_MEMORY | MBX_FLAG_BIT4;
    mb.w[3] = MEM_LOAD_LIST_HEAD;
    mb.w[4] = 1;
    uint32_t st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        *step = 1;
        return st;
    }
    uint32_t table = mb.w[5];

    mboxInit(&mb, MBX_DUMP);
    mb.w[1] = DUMP_TYPE_MEMORY | MBX_FLAG_BIT4;
    mb.w[3] = table;
    mb.w[4] = LOAD_LIST_ENTRY_WORDS;
    st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        *step = 2;
        return st;
    }
    uint32_t layout = mb.w[7] & 0xFFFFF;
    uint32_t base;
    if (layout == FLASH_LAYOUT_A)
        base = FLASH_LAYOUT_A_BASE;
    else if (layout == FLASH_LAYOUT_B)
        base = FLASH_LAYOUT_B_BASE;
    else
        return RM_STATUS_UNKNOWN_FLASH_LAYOUT;

    mboxInit(&mb, MBX_LOAD_SM);
    mb.w[1] = key;
    mb.w[2] = base + region * FLASH_REGION_SLOT;
    mb.w[3] = 4;
    mb.w[4] = MBOX_DATA_OFFSET;
    mb.w[5] = 0;
    st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        *step = 3;
        return st;
    }

    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[1] = UPDATE_CFG_COMMIT | MBX_FLAG_BIT4;
    st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        *step = 4;
        return st;
    }
    return 0;
}

void buildHeaderRequest(MboxBuf* mb, uint32_t region, uint32_t length) {
    mboxInit(mb, MBX_UPDATE_CFG);
    mb->w[1] = UPDATE_CFG_HEADER | MBX_FLAG_BIT4;
    mb->w[2] = (region & 0xFFFF) | (length << 16);
    mb->w[4] = length;
}

} // namespace

uint32_t ReconstructRegion(int adapter, uint32_t region, uint32_t length) {
    int step = 0;
    uint32_t st = reconstructPrefix(adapter, region, LOAD_SM_REGION_KEY, &step);
    if (st != 0) {
        unsigned r = region;
        switch (step) {
        case 1:
            emitText("\n[ReconstructRegion] - Region %u - IssueMbox1 v1 %d\n", r, (int)st);
            break;
        case 2:
            emitText("\n[ReconstructRegion] - Region %u - IssueMbox1 v2 %X\n", r, st);
            break;
        case 3:
            emitText("\n[ReconstructRegion] - Region %u - IssueMbox1 v3 %X\n", r, st);
            break;
        case 4:
            emitText("\n[ReconstructRegion] - Region %u - IssueMbox1 v4 %d\n", r, (int)st);
            break;
        default:
            break; // unknown layout: no message
        }
        return st;
    }
    MboxBuf mb;
    buildHeaderRequest(&mb, region, length);
    st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        emitText("\n[ReconstructRegion] - Region %u - IssueMbox1 v5 %d\n", (unsigned)region,
                 (int)st);
        return st;
    }
    return 0;
}

uint32_t CLU_ReconstructRegion(int adapter, uint32_t region, uint32_t length) {
    int step = 0;
    uint32_t st = reconstructPrefix(adapter, region, LOAD_SM_NV_KEY, &step);
    if (st != 0) {
        if (step == 0) return RM_STATUS_RECONSTRUCT_FAILED;
        emitText("%d\n", step);
        return st;
    }
    MboxBuf mb;
    buildHeaderRequest(&mb, region, length);
    return IssueNvMbox(adapter, &mb);
}
