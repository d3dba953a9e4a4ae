// Dump and update-configuration mailboxes: built here from the caller's
// arguments and sent once on the V2 transport, with their data in the
// extension area behind the mailbox.
#include <cstdio>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the dump export beyond kStsOk and kStsFailed (the mailbox
// statuses map onto 2-6 through kDumpMbxStatus).
constexpr uint32_t kStsDumpBadType = 2;
constexpr uint32_t kStsDumpBadHeader = 2;
constexpr uint32_t kStsDumpNotApplicable = 3;
constexpr uint32_t kStsDumpNotInitialized = 4;
constexpr uint32_t kStsDumpBadLength = 4; // the driver refused the mailbox length
constexpr uint32_t kStsDumpNoEntry = 5;
constexpr uint32_t kStsDumpNoValidEntry = 6;
// Both exports: an argument out of range (length, buffer, region, offset).
constexpr uint32_t kStsBadArgument = 7;
// Update-configuration statuses (else the driver's ReturnCode).
constexpr uint32_t kStsUpdateRefused = 2; // the adapter answered with a non-zero status
constexpr uint32_t kStsUpdateBadBoard = 3;

struct StatusRow {
    uint32_t value;
    const char* text;
    uint32_t status;
};

// Mailbox status of a completed dump (0 is success and not listed).
const StatusRow kDumpMbxStatus[] = {
    {TGX_MBXST_DUMP_NO_ENTRY, "TGX_IssueDumpMBox: No entry in region\n", kStsDumpNoEntry},
    {TGX_MBXST_DUMP_NO_VALID_ENTRY, "TGX_IssueDumpMBox: No valid entry in region\n",
     kStsDumpNoValidEntry},
    {TGX_MBXST_DUMP_NOT_APPLICABLE,
     "TGX_IssueDumpMBox: Region not applicable, not supported by driver\n", kStsDumpNotApplicable},
    {TGX_MBXST_DUMP_NOT_INITIALIZED, "TGX_IssueDumpMBox: Region not initialized\n",
     kStsDumpNotInitialized},
    {TGX_MBXST_DUMP_BAD_HEADER, "TGX_IssueDumpMBox: Invalid region header\n", kStsDumpBadHeader},
    {TGX_MBXST_BUSY, "TGX_IssueDumpMBox: MBX busy\n", kStsFailed},
};

// ReturnCode of the dump request when it is not 0.
const StatusRow kDumpReturnCode[] = {
    {TGX_V2RC_NOT_SUPPORTED, "TGX_IssueDumpMBox: mbx cmd not supported by the driver\n",
     kStsFailed},
    {TGX_V2RC_INVALID_MBLEN, "TGX_IssueDumpMBox: Invalid mbLen\n", kStsDumpBadLength},
    {TGX_V2RC_NO_RESOURCE, "TGX_IssueDumpMBox: No resource\n", kStsFailed},
    {TGX_V2RC_BUSY, "TGX_IssueDumpMBox: Busy\n", kStsFailed},
};

template <size_t N>
uint32_t map_status(const StatusRow (&rows)[N], uint32_t value, const char* otherText) {
    for (const StatusRow& row : rows) {
        if (row.value == value) {
            TraceLog("%s", row.text);
            return row.status;
        }
    }
    TraceLog("%s", otherText);
    return kStsFailed;
}

void put_word(uint8_t* mb, uint32_t i, uint32_t v) {
    tgx_wr32(mb + 4 * i, v);
}

// Logs one line: the label and count words as "%x ".
void trace_words(const char* label, const uint8_t* words, uint32_t count) {
    char line[8 * 9 + 1] = "";
    size_t used = 0;
    for (uint32_t i = 0; i < count && i < 8; ++i)
        used += (size_t)snprintf(line + used, sizeof line - used, "%x ", tgx_rd32(words + 4 * i));
    TraceLog("%s%s\n", label, line);
}

} // namespace

uint32_t tgx_dump_mbox(uint32_t board, uint32_t type, uint8_t typeArg, uint32_t region,
                       uint32_t offset, void* buffer, uint32_t* length, bool* regionEmpty) {
    if (regionEmpty) *regionEmpty = false;
    const uint32_t asked = length ? *length : 0;
    TraceLog("TGX_IssueDumpMBox board=%x type=0x%x region=0x%x offset=0x%x pLen=0x%x\n", board,
             type, region, offset, asked);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (type < 1 || type > 4) {
        TraceLog("TGX_IssueDumpMBox: Invalid type %d\n", type);
        return kStsDumpBadType;
    }
    if (length == nullptr || buffer == nullptr || asked == 0 || asked > TGX_MBOX_MAX_EXT)
        return kStsBadArgument;
    // Region and offset share word 2, 16 bits each: a wider value would address
    // another region.
    if (region > 0xFFFF || offset > 0xFFFF) {
        TraceLog("TGX_IssueDumpMBox: Invalid region %x or offset %x\n", region, offset);
        return kStsBadArgument;
    }

    const uint32_t size = asked + TGX_SIZE_ISSUEMB_V2_BASE;
    TraceLog("TGX_IssueDumpMBox: bufferSize=0x%x(%d)\n", size, size);
    TgxEnvelope env = tgx_env_alloc(size, TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT);
    if (!env) {
        TraceLog("TGX_IssueDumpMBox - malloc failed\n");
        return kStsFailed;
    }
    uint8_t* p = env.payload();
    uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
    tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
    tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, asked);
    mb[1] = TGX_MBX_DUMP;
    uint32_t w1 = type & 0xF;
    if (type == 1) w1 |= 0x10;
    if (type == 3) w1 |= (uint32_t)typeArg << 24;
    put_word(mb, 1, w1);
    put_word(mb, 2, (region & 0xFFFF) | (offset << 16));
    put_word(mb, 3, asked & 0xFFFFFF);
    // The data area's address is informational only (the driver answers into
    // the extension in place); it carries the low half of the address.
    put_word(mb, 4, (uint32_t)(uintptr_t)(p + TGX_MBV2_OFF_EXT));
    put_word(mb, 5, 0);

    AdapterEntry* e = tgx_entry(board);
    if (!tgx_env_send(e->handle, env)) {
        TraceLog("TGX_IssueDumpMBox: IOCTL_ZTX100_ISSUE_DUMPMB  DeviceIoControl failed. "
                 "GetLastError = 0x%08X\n",
                 plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    TraceLog("TGX_IssueDumpMBox: io->rtnCode=%x\n", rc);
    uint32_t status;
    if (rc == 0) {
        uint32_t st = tgx_rd16(mb + 2);
        TraceLog("TGX_IssueDumpMBox: mbx Status=%x\n", st);
        if (st == 0) {
            status = kStsOk;
            uint32_t reported = tgx_rd32(mb + 24);
            *length = reported;
            memcpy(buffer, p + TGX_MBV2_OFF_EXT, reported < asked ? reported : asked);
        } else {
            status =
                map_status(kDumpMbxStatus, st, "TGX_IssueDumpMBox: Mbox status not supported\n");
            if (regionEmpty)
                *regionEmpty =
                    st == TGX_MBXST_DUMP_NOT_INITIALIZED || st == TGX_MBXST_DUMP_NO_ENTRY;
        }
    } else {
        status = map_status(kDumpReturnCode, rc, "TGX_IssueDumpMBox: status not defined\n");
    }
    TraceLog("TGX_IssueDumpMBox: Exit sts=%x return len=%x\n", status, *length);
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_IssueDumpMBox(uint32_t board, uint32_t type, uint8_t typeArg,
                                                 uint32_t region, uint32_t offset, void* buffer,
                                                 uint32_t* length) {
    return tgx_dump_mbox(board, type, typeArg, region, offset, buffer, length, nullptr);
}

extern "C" TGX_EXPORT uint32_t TGX_IssueUpdateCfgMBox(uint32_t board, uint32_t reqType,
                                                      uint32_t region, const void* data,
                                                      uint32_t length, uint32_t* respInfo) {
    TraceLog("TGX_IssueUpdateCfgMBox: board=%x reqType=%x region=%x length=%x\n", board, reqType,
             region, length);
    if (respInfo) *respInfo = 0;
    if (!tgx_board_ok(board)) return kStsUpdateBadBoard;
    if (length > TGX_MBOX_MAX_EXT) return kStsBadArgument;
    if (region > 0xFFFF) {
        TraceLog("TGX_IssueUpdateCfgMBox: Invalid region %x\n", region);
        return kStsBadArgument;
    }

    const uint32_t size = length + TGX_SIZE_ISSUEMB_V2_BASE;
    TgxEnvelope env = tgx_env_alloc(size, TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT);
    if (!env) {
        TraceLog("TGX_IssueUpdateCfgMBox - malloc failed\n");
        return kStsFailed;
    }
    uint8_t* p = env.payload();
    uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
    uint8_t* ext = p + TGX_MBV2_OFF_EXT;
    tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
    tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, length);
    mb[0] = 0x01;
    mb[1] = TGX_MBX_UPDATE_CFG;
    put_word(mb, 1, (reqType & 0xF) | 0x30);
    put_word(mb, 2, (region & 0xFFFF) | (length << 16));
    put_word(mb, 4, length);
    // A null data pointer sends a zero-filled area of the given length.
    if (data && length) memcpy(ext, data, length);

    trace_words("MBox cmd: ", mb, 8);
    uint32_t dataWords = (length + 3) / 4;
    trace_words("data: ", ext, dataWords < 8 ? dataWords : 8);

    AdapterEntry* e = tgx_entry(board);
    if (!tgx_env_send(e->handle, env)) {
        TraceLog("TGX_IssueUpdateCfgMBox: DeviceIoControl failed. GetLastError = 0x%08X \n",
                 plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    uint32_t info = tgx_rd32(mb + 12);
    if (respInfo) *respInfo = info;
    TraceLog("TGX_IssueUpdateCfgMBox: rtnCode=%x, respInfo=%x\n", rc, info);
    if (rc != 0) return rc;
    return tgx_rd16(mb + 2) != 0 ? kStsUpdateRefused : kStsOk;
}
