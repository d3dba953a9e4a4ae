// SLI-4 adapter objects through MBX_SLI_CONFIG: size, read, write, and the
// firmware version query.
#include "hbaset/fcmaint/sli_cfg.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "common/tracelog/tracelog.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kObjectRetry = 1;
constexpr uint32_t kObjectDelayMs = 300000;
constexpr uint32_t kVersionDelayMs = 100;
// The object request: the 256-byte mailbox and one 1024-byte host buffer.
constexpr uint32_t kObjectRequestBytes = MBOX_RETURNED_BYTES + OBJ_HOST_BUFFER;
constexpr uint32_t kObjectRequestWords = kObjectRequestBytes / 4;
static_assert(kObjectRequestBytes == 1280, "object request buffer");
constexpr uint32_t kDescriptorCount = 1;
constexpr uint32_t kObjectRequestLength = OBJ_REQUEST_LENGTH + SUB_DESC_SIZE * kDescriptorCount;

// Length of a valid object name (1-103 characters), or 0.
size_t objectNameLength(const char* name) {
    if (name == nullptr) return 0;
    size_t n = strnlen(name, OBJ_NAME_MAX + 1);
    return n <= OBJ_NAME_MAX ? n : 0;
}

// Fills an object request (opcode, length word, offset, name, descriptors)
// into a cleared buffer of at least 256 bytes.
void buildObjectRequest(uint8_t* buf, uint8_t opCode, uint32_t lengthWord, uint32_t offset,
                        const char* name, size_t nameLength, uint32_t descriptors) {
    sliConfigInit(buf, opCode, OBJ_REQUEST_LENGTH + SUB_DESC_SIZE * descriptors);
    uint8_t* sub = sliSub(buf);
    putLe32(sub + SUB_LENGTH, lengthWord);
    putLe32(sub + SUB_OFFSET, offset);
    // The name field stays zeroed beyond the name and its terminator.
    std::memcpy(sub + SUB_NAME, name, nameLength);
    sub[SUB_NAME + nameLength] = 0;
    putLe32(sub + SUB_DESC_COUNT, descriptors);
    for (uint32_t i = 0; i < descriptors; ++i)
        putLe32(sub + SUB_DESCRIPTORS + SUB_DESC_SIZE * i, OBJ_HOST_BUFFER & SUB_LENGTH_MASK);
}

std::unique_ptr<uint32_t[]> allocRequest() {
    return std::unique_ptr<uint32_t[]>(new (std::nothrow) uint32_t[kObjectRequestWords]());
}

uint32_t objectFailure(const SliResponse& r) {
    if (r.status == SLI_STATUS_FAILED && r.additionalStatus == SLI_ADDL_NO_OBJECT)
        return RM_STATUS_NO_OBJECT;
    return RM_STATUS_ERROR;
}

} // namespace

bool IsIssueMboxV2ExtSupported(int adapter) {
    DrvInfo info;
    std::memset(&info, 0, sizeof(info));
    info.version = 4;
    uint32_t st = TGX_GetDrvInfo(static_cast<uint32_t>(adapter), &info);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[IsIssueMboxV2ExtSupported]TGX_GetDrvInfo (v4)returned: %d for board: %d",
                   static_cast<int>(st), adapter);
        return false;
    }
    return info.sliMode == 4 && (info.featureList & TGX_FEATURE_MBOX_V2_EXT) != 0;
}

uint32_t SLI_CFG_GetObjectSize(int adapter, const char* name, uint32_t* size) {
    size_t nameLength = objectNameLength(name);
    if (nameLength == 0 || size == nullptr) return RM_STATUS_BAD_ARGUMENT;
    *size = 0;
    if (!IsIssueMboxV2ExtSupported(adapter)) return RM_STATUS_EXT_NOT_SUPPORTED;

    MboxBuf mb;
    mboxClear(&mb);
    uint8_t* buf = mboxBytes(&mb);
    buildObjectRequest(buf, SLI_OP_READ_OBJECT, 0, 0, name, nameLength, 0);
    uint32_t st = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), mb.w, MBOX_SLI4_WORDS,
                                           kObjectRetry, kObjectDelayMs);
    SliResponse r = sliConfigResponse(buf);
    if (st != 0 || r.status != 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[SLI_CFG_GetObjectSize]Error reading %s: tgxStatus %d, rsp status x%04x, rsp "
                   "additionalStatus x%04x\n",
                   name, static_cast<int>(st), r.status, r.additionalStatus);
        return objectFailure(r);
    }
    if (r.actualLength > r.responseLength) return RM_STATUS_ERROR;
    *size = le32(sliSub(buf) + SUB_LENGTH) & SUB_LENGTH_MASK;
    traceGroup(TRACE_GROUP_FC, "[SLI_CFG_GetObjectSize] %s size: 0x%x\n", name, *size);
    return 0;
}

uint32_t SLI_CFG_ReadObject(int adapter, const char* name, uint8_t* buffer, uint32_t bufferLength,
                            uint32_t* length) {
    size_t nameLength = objectNameLength(name);
    if (nameLength == 0 || length == nullptr) return RM_STATUS_BAD_ARGUMENT;
    *length = 0;
    uint32_t size = 0;
    uint32_t st = SLI_CFG_GetObjectSize(adapter, name, &size);
    if (st != 0) return st;
    if (size == 0) return 0;
    if (buffer == nullptr || bufferLength < size) {
        *length = size;
        return RM_STATUS_BUFFER_TOO_SMALL;
    }
    if (bufferLength % 4 != 0) return RM_STATUS_BAD_ARGUMENT;
    if (!IsIssueMboxV2ExtSupported(adapter)) return RM_STATUS_EXT_NOT_SUPPORTED;
    std::unique_ptr<uint32_t[]> request = allocRequest();
    if (!request) return RM_STATUS_ERROR;
    uint8_t* buf = reinterpret_cast<uint8_t*>(request.get());

    uint32_t offset = 0;
    uint32_t piece = std::min(size, OBJ_HOST_BUFFER);
    bool end = false;
    while (offset < size && !end) {
        std::memset(buf, 0, kObjectRequestBytes);
        buildObjectRequest(buf, SLI_OP_READ_OBJECT, piece, offset, name, nameLength,
                           kDescriptorCount);
        traceGroup(TRACE_GROUP_FC,
                   "[SLI_CFG_ReadObject]Call TGX_IssueMboxWithRetryV2 for %s object: readOffset: "
                   "0x%x, desiredReadLength: %d, hostBufferDescriptorCount: %d, hostBufferSize: "
                   "%d, request_length: %d\n",
                   name, offset, static_cast<int>(piece), static_cast<int>(kDescriptorCount),
                   static_cast<int>(OBJ_HOST_BUFFER), static_cast<int>(kObjectRequestLength));
        st = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), request.get(),
                                      kObjectRequestWords, kObjectRetry, kObjectDelayMs);
        SliResponse r = sliConfigResponse(buf);
        if (st != 0 || r.status != 0) {
            traceGroup(TRACE_GROUP_FC,
                       "[SLI_CFG_ReadObject]Error reading %s: tgxStatus %d, rsp status x%04x, rsp "
                       "additionalStatus x%04x\n",
                       name, static_cast<int>(st), r.status, r.additionalStatus);
            return objectFailure(r);
        }
        const uint8_t* sub = sliSub(buf);
        uint32_t actual = le32(sub + SUB_LENGTH) & SUB_LENGTH_MASK;
        end = (le32(sub + SUB_OFFSET) & SUB_READ_EOF) != 0;
        if (actual > piece) {
            traceGroup(TRACE_GROUP_FC,
                       "[SLI_CFG_ReadObject]Error: Actual length %d > Request length %d\n",
                       static_cast<int>(actual), static_cast<int>(piece));
            return RM_STATUS_ERROR;
        }
        // Nothing read and no end of object: the read would never advance.
        if (actual == 0 && !end) return RM_STATUS_ERROR;
        std::memcpy(buffer + offset, buf + MBOX_RETURNED_BYTES, actual);
        offset += actual;
        *length += actual;
        traceGroup(TRACE_GROUP_FC, "[SLI_CFG_ReadObject]pReadSubRsp->actualReadLength: 0x%x\n",
                   actual);
        piece = std::min(size - offset, OBJ_HOST_BUFFER);
    }
    return 0;
}

uint32_t SLI_CFG_WriteObject(int adapter, const char* name, const uint8_t* data, uint32_t length,
                             uint32_t* written, bool commit,
                             void (*onPiece)(uint64_t done, uint64_t total)) {
    if (written == nullptr) return RM_STATUS_BAD_ARGUMENT;
    *written = 0;
    size_t nameLength = objectNameLength(name);
    if (nameLength == 0) return RM_STATUS_BAD_ARGUMENT;
    if (length == 0) return 0;
    if (data == nullptr) return RM_STATUS_BAD_ARGUMENT;
    if (length % 4 != 0) return RM_STATUS_ERROR_INCOMP_IMAGE;
    if (!IsIssueMboxV2ExtSupported(adapter)) return RM_STATUS_EXT_NOT_SUPPORTED;
    std::unique_ptr<uint32_t[]> request = allocRequest();
    if (!request) return RM_STATUS_ERROR;
    uint8_t* buf = reinterpret_cast<uint8_t*>(request.get());

    uint32_t offset = 0;
    while (offset < length) {
        uint32_t remaining = length - offset;
        uint32_t piece = std::min(remaining, OBJ_HOST_BUFFER);
        bool last = remaining <= OBJ_HOST_BUFFER;
        uint32_t lengthWord =
            piece | (last ? SUB_WRITE_LAST : 0) | (commit ? 0 : SUB_WRITE_NO_COMMIT);
        std::memset(buf, 0, kObjectRequestBytes);
        buildObjectRequest(buf, SLI_OP_WRITE_OBJECT, lengthWord, offset, name, nameLength,
                           kDescriptorCount);
        std::memcpy(buf + MBOX_RETURNED_BYTES, data + offset, piece);
        if (last)
            traceGroup(TRACE_GROUP_FC,
                       "[SLI_CFG_WriteObject]Call TGX_IssueMboxWithRetryV2 for %s object: "
                       "writeOffset: 0x%x, desiredWriteLength: %d, hostBufferDescriptorCount: %d, "
                       "hostBufferSize: %d, request_length: %d\n",
                       name, offset, static_cast<int>(piece), static_cast<int>(kDescriptorCount),
                       static_cast<int>(OBJ_HOST_BUFFER), static_cast<int>(kObjectRequestLength));
        uint32_t st = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), request.get(),
                                               kObjectRequestWords, kObjectRetry, kObjectDelayMs);
        SliResponse r = sliConfigResponse(buf);
        if (st != 0 || r.status != 0) {
            traceGroup(TRACE_GROUP_FC,
                       "[SLI_CFG_WriteObject]Error writing %s object: writeOffset: 0x%x, "
                       "desiredWriteLength: %d, hostBufferDescriptorCount: %d, hostBufferSize: %d, "
                       "request_length: %d, tgxStatus %d, rsp status x%04x, rsp additionalStatus "
                       "x%04x\n",
                       name, offset, static_cast<int>(piece), static_cast<int>(kDescriptorCount),
                       static_cast<int>(OBJ_HOST_BUFFER), static_cast<int>(kObjectRequestLength),
                       static_cast<int>(st), r.status, r.additionalStatus);
            if (r.status == SLI_STATUS_SIGNATURE && r.additionalStatus == SLI_ADDL_BAD_SIGNATURE) {
                traceGroup(TRACE_GROUP_FC,
                           "[SLI_CFG_WriteObject] Invalid Digital "
                           "Signature:pWriteSubRsp->additionalStatus: 0x%x\n",
                           r.additionalStatus);
                return RM_STATUS_BAD_SIGNATURE;
            }
            if (r.status == SLI_STATUS_SIGNATURE && r.additionalStatus == SLI_ADDL_NO_SIGNATURE) {
                traceGroup(TRACE_GROUP_FC,
                           "[SLI_CFG_WriteObject] Missing Digital "
                           "Signature:pWriteSubRsp->additionalStatus: 0x%x\n",
                           r.additionalStatus);
                return RM_STATUS_MISSING_SIGNATURE;
            }
            return objectFailure(r);
        }
        const uint8_t* sub = sliSub(buf);
        uint32_t actual = le32(sub + SUB_LENGTH) & SUB_LENGTH_MASK;
        *written += actual;
        if (actual > piece) {
            traceGroup(TRACE_GROUP_FC,
                       "[SLI_CFG_WriteObject]Error: Actual length %d > Request length %d \n",
                       static_cast<int>(actual), static_cast<int>(piece));
            return RM_STATUS_ERROR;
        }
        // Nothing accepted: the write would never advance.
        if (actual == 0) return RM_STATUS_ERROR;
        offset += actual;
        if (onPiece != nullptr) onPiece(offset, length);
        if (offset < length) continue;

        uint32_t change = le32(sub + SUB_OFFSET) & 0xFF;
        traceGroup(TRACE_GROUP_FC, "[SLI_CFG_WriteObject]pWriteSubRsp->change_status: 0x%x\n",
                   change);
        switch (change) {
        case CHANGE_NONE:
            return 0;
        case CHANGE_REBOOT:
            return RM_STATUS_NEEDS_REBOOT;
        case CHANGE_RESET:
        case CHANGE_RESET_ALT:
            return RM_STATUS_NEEDS_RESET;
        default:
            return RM_STATUS_ERROR;
        }
    }
    return 0;
}

uint32_t SLI_CFG_GetFwVersion(int adapter, uint8_t out[2 * FW_VERSION_TEXT]) {
    traceGroup(TRACE_GROUP_FC, "[SLI_CFG_GetFwVersion] Entered\n");
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    if (!IsIssueMboxV2ExtSupported(adapter)) return RM_STATUS_EXT_NOT_SUPPORTED;
    MboxBuf mb;
    mboxClear(&mb);
    uint8_t* buf = mboxBytes(&mb);
    sliConfigInit(buf, SLI_OP_GET_FW_VERSION, FW_VERSION_REQUEST_LENGTH);
    uint32_t st = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), mb.w, MBOX_SLI4_WORDS,
                                           kObjectRetry, kVersionDelayMs);
    SliResponse r = sliConfigResponse(buf);
    traceGroup(TRACE_GROUP_FC,
               "[SLI_CFG_GetFwVersion] MBX: tgxStat=%x, sliConfigStat=%x, SubCmdStat=%d\n", st,
               mboxStatus(mb), r.status);
    if (st != 0 || mboxStatus(mb) != 0 || r.status != 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[SLI_CFG_GetFwVersion]: Failed to retrieve the firmware version\n");
        return RM_STATUS_ERROR;
    }
    std::memcpy(out, sliSub(buf) + SUB_FW_RUNNING, FW_VERSION_TEXT);
    std::memcpy(out + FW_VERSION_TEXT, sliSub(buf) + SUB_FW_FLASH, FW_VERSION_TEXT);
    return 0;
}

uint32_t SLI_CFG_GetFwVersionTexts(int adapter, char running[FW_VERSION_TEXT + 1],
                                   char flash[FW_VERSION_TEXT + 1]) {
    running[0] = flash[0] = 0;
    uint8_t raw[2 * FW_VERSION_TEXT];
    uint32_t st = SLI_CFG_GetFwVersion(adapter, raw);
    if (st != 0) return st;
    std::memcpy(running, raw, FW_VERSION_TEXT);
    running[FW_VERSION_TEXT] = 0;
    std::memcpy(flash, raw + FW_VERSION_TEXT, FW_VERSION_TEXT);
    flash[FW_VERSION_TEXT] = 0;
    return 0;
}

namespace {

// Reads up to four dot-separated decimal numbers; returns how many were found.
int parseVersion(const char* text, uint32_t out[4]) {
    int count = 0;
    const char* p = text;
    while (count < 4) {
        if (*p < '0' || *p > '9') break;
        uint32_t v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<uint32_t>(*p - '0');
            ++p;
        }
        out[count++] = v;
        if (*p != '.') break;
        ++p;
    }
    return count;
}

} // namespace

uint32_t SLI_CFG_CompareFwVersions(const char* running, const char* flash) {
    uint32_t a[4] = {}, b[4] = {};
    if (running == nullptr || flash == nullptr) return 4;
    if (parseVersion(running, a) < 4 || parseVersion(flash, b) < 4) return 4;
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return 0;
    return 1;
}
