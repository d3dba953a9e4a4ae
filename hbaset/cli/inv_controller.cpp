// Rules and controller queries behind the inventory listings: the version
// text check, the OEM board list, the MBX_SLI_CONFIG status mapping, and the
// boot code state and additional attributes of Brevin FC functions.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "libtgx/libtgx.h"

namespace {

// ---- OEM boards -----------------------------------------------------------------------------
constexpr uint16_t kAnyDevice = 0;

struct OemBoard {
    uint16_t deviceId; // kAnyDevice: every device
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
};

const OemBoard kOemBoards[] = {
    {0xF100, 0x1F3C, 0xF124},     {0xF100, 0x1F3C, 0xF125},     {0xF100, 0x1F3C, 0xF126},
    {0xF100, 0x1F3C, 0xF127},     {0xF100, 0x1F3C, 0xF12A},     {0xF100, 0x1F3C, 0xF12B},
    {0xF100, 0x1F3C, 0xF12C},     {0xF100, 0x1F3C, 0xF130},     {0xF100, 0x1F3C, 0xF131},
    {0xF100, 0x1F3C, 0xF134},     {0xF100, 0x1F3C, 0xF135},     {0xF100, 0x1F3C, 0xF136},
    {0xF100, 0x1F3C, 0xF137},     {0xF100, 0x1F3C, 0xF13A},     {0xF100, 0x1F3C, 0xF13B},
    {0xF100, 0x1F3C, 0xF13C},     {0xF100, 0x103C, 0x1719},     {0xF100, 0x1734, 0x113C},
    {0xF100, 0x1054, 0x3053},     {0xF100, 0x103C, 0x338F},     {kAnyDevice, 0x103C, 0x1702},
    {kAnyDevice, 0x1F3C, 0xFD22}, {kAnyDevice, 0x1F3C, 0xFD23}, {kAnyDevice, 0x1F3C, 0xFD24},
    {kAnyDevice, 0x1F3C, 0xFE22}, {kAnyDevice, 0x1F3C, 0xFE24}, {kAnyDevice, 0x1F3C, 0xFE25},
    {kAnyDevice, 0x1F3C, 0xFE26}, {kAnyDevice, 0x1734, 0x10F4}, {kAnyDevice, 0x103C, 0x1708},
};

// ---- MBX_SLI_CONFIG outcome -> RM status ----------------------------------------------------
constexpr int32_t kAny = -1;
constexpr uint8_t kAddlStatusOk = 0x67; // additional status that still means success

struct SliStatusRow {
    int32_t libStatus;
    int32_t mboxStatus;
    int32_t rspStatus;
    int32_t addlStatus;
    bool needsGoodResponse; // response status 0 or additional status 0x67
    uint32_t rmStatus;
};

// First matching row wins; no row: 28.
const SliStatusRow kSliStatusRows[] = {
    {0, kAny, kAny, kAny, true, 0},     {0, kAny, kAny, kAny, false, 148},
    {2, 0x4001, 1, 0x67, false, 0},     {2, 1, 0x7E, kAny, false, 60},
    {2, 1, 1, 0xA7, false, 15},         {2, 1, 2, 0x1E, false, 251},
    {2, 1, 1, 0x1C, false, 204},        {2, 1, 3, kAny, false, 248},
    {2, 0, kAny, kAny, false, 28},      {2, 1, kAny, kAny, false, 28},
    {2, 0x4001, kAny, kAny, false, 28}, {2, kAny, kAny, kAny, true, 0},
};
constexpr uint32_t kSliStatusDefault = 28;

bool fieldMatches(int32_t key, uint32_t value) {
    return key == kAny || static_cast<uint32_t>(key) == value;
}

// ---- requests -----------------------------------------------------------------------------
constexpr uint32_t kRetry = 1;
constexpr uint32_t kDelayMs = 100;
constexpr uint32_t kBootStateResponseByte = 16;
constexpr uint32_t kDescriptorCountShift = 3; // word 1 bits 3-7
constexpr uint32_t kDescriptorLengthMask = 0x00FFFFFF;
constexpr uint32_t kRmNoExtendedMailbox = 2;
constexpr uint32_t kRmNoMemory = 35;

// Copies a text field of the response: at most 32 bytes, ending at the first
// blank or zero byte.
void copyVersionField(const uint8_t* field, char* out) {
    size_t n = 0;
    while (n < CNTL_ATTR_TEXT_SIZE && field[n] != 0 && field[n] != ' ') {
        out[n] = static_cast<char>(field[n]);
        ++n;
    }
    out[n] = '\0';
}

} // namespace

bool validVersion(const char* text) {
    if (text == nullptr) return false;
    constexpr size_t kCut = 31;
    constexpr int kFields = 4;
    size_t length = strnlen(text, kCut);
    size_t pos = 0;
    for (int field = 0; field < kFields; ++field) {
        size_t digits = 0;
        while (pos < length && isdigit(static_cast<unsigned char>(text[pos]))) {
            ++pos;
            ++digits;
        }
        if (digits == 0) return false;
        bool last = field == kFields - 1;
        if (last) return pos == length || text[pos] == '.';
        if (pos >= length || text[pos] != '.') return false;
        ++pos;
    }
    return false;
}

int32_t isOemConfigurationIds(uint32_t deviceId, uint32_t subsystemVendorId, uint32_t subsystemId) {
    for (const OemBoard& b : kOemBoards) {
        if (b.deviceId != kAnyDevice && b.deviceId != deviceId) continue;
        if (b.subsystemVendorId == subsystemVendorId && b.subsystemId == subsystemId) return 1;
    }
    return 0;
}

int32_t isOemConfiguration(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr || isNexaManaged(i) || isBrevinFc(i)) return 0;
    return isOemConfigurationIds(r->deviceId, r->subsystemVendorId, r->subsystemId);
}

uint32_t sliConfigStatus(uint32_t libStatus, uint32_t mboxStatus, uint8_t rspStatus,
                         uint8_t addlStatus) {
    bool goodResponse = rspStatus == 0 || addlStatus == kAddlStatusOk;
    for (const SliStatusRow& row : kSliStatusRows) {
        if (!fieldMatches(row.libStatus, libStatus) || !fieldMatches(row.mboxStatus, mboxStatus) ||
            !fieldMatches(row.rspStatus, rspStatus) || !fieldMatches(row.addlStatus, addlStatus))
            continue;
        if (row.needsGoodResponse && !goodResponse) continue;
        return row.rmStatus;
    }
    return kSliStatusDefault;
}

uint32_t sliQueryStatus(uint32_t libStatus, uint32_t mboxStatus, const uint8_t* header) {
    // A mailbox that failed before the adapter wrote its response leaves the
    // response fields as sent (zero); its zero status is no success.
    bool written = false;
    for (uint32_t k = SUB_STATUS; k < SUB_ACTUAL_LENGTH + 4; ++k)
        written = written || header[k] != 0;
    if (mboxStatus != 0 && !written) return kSliStatusDefault;
    return sliConfigStatus(libStatus, mboxStatus, header[SUB_STATUS], header[SUB_ADDL_STATUS]);
}

uint32_t queryBootCodeState(int adapter, uint8_t* enabled) {
    MboxBuf mb;
    mboxClear(&mb);
    uint8_t* bytes = mboxBytes(&mb);
    sliConfigInit(bytes, SLI_OP_GET_BOOT_CONFIG, 0);
    uint32_t lib = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), mb.w, MBOX_SLI4_WORDS,
                                            kRetry, kDelayMs);
    uint32_t rm = sliQueryStatus(lib, mboxStatus(mb), sliSub(bytes));
    if (rm == 0 && enabled != nullptr) *enabled = sliSub(bytes)[kBootStateResponseByte];
    return rm;
}

void decodeCntlAddlAttributes(const uint8_t* area, CntlAddlAttributes* out) {
    copyVersionField(area + CNTL_ATTR_UNIVERSAL_BIOS, out->universalBiosVersion);
    copyVersionField(area + CNTL_ATTR_X86_BIOS, out->x86BiosVersion);
    copyVersionField(area + CNTL_ATTR_EFI_BIOS, out->efiBiosVersion);
    copyVersionField(area + CNTL_ATTR_FCODE, out->fcodeVersion);
}

uint32_t SC_PerformCommonGetCntlAddlAttributes(int adapter, CntlAddlAttributes* out) {
    if (!IsIssueMboxV2ExtSupported(adapter)) return kRmNoExtendedMailbox;
    constexpr uint32_t kWords = CNTL_ATTR_BUFFER_BYTES / 4;
    uint32_t* words = static_cast<uint32_t*>(calloc(kWords, sizeof(uint32_t)));
    if (words == nullptr) return kRmNoMemory;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(words);
    putLe32(bytes, static_cast<uint32_t>(MBX_SLI_CONFIG) << 8);
    putLe32(bytes + 4, 1u << kDescriptorCountShift); // not embedded, one descriptor
    putLe32(bytes + 8, CNTL_ATTR_AREA_BYTES);
    putLe32(bytes + 4 * CNTL_ATTR_DESCRIPTOR_WORD, CNTL_ATTR_AREA_BYTES & kDescriptorLengthMask);
    uint8_t* sub = bytes + CNTL_ATTR_HEADER_OFFSET;
    sub[SUB_OPCODE] = SLI_OP_GET_CNTL_ADDL_ATTRIBUTES;
    sub[SUB_SUBSYSTEM] = SLI_SUBSYSTEM_COMMON;

    uint32_t lib =
        TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), words, kWords, kRetry, kDelayMs);
    uint8_t rspStatus = sub[SUB_STATUS];
    uint8_t addlStatus = sub[SUB_ADDL_STATUS];
    if (lib != 0)
        traceGroup(TRACE_GROUP_FC,
                   "[SC_PerformCommonGetCntlAddlAttributes]Error issuing "
                   "COMMON_GET_CNTL_ADDL_ATTRIBUTES: tgxStatus x%04x, rsp status x%04x, rsp "
                   "additionalStatus x%04x\n",
                   lib, rspStatus, addlStatus);
    uint32_t rm = sliQueryStatus(lib, le32(bytes) >> 16, sub);
    if (rm == 0 && out != nullptr) decodeCntlAddlAttributes(sub, out);
    free(words);
    return rm;
}
