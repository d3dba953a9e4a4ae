// File operations on SLI-4 adapter objects: firmware download, VPD read and the
// .GRP header check.
#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "platform/plat_files.h"

namespace {

constexpr uint32_t kVpdObjectBuffer = 2048;

// Exit codes of the .GRP download.
constexpr uint32_t kExitVerifyFailed = 70;
constexpr uint32_t kExitMissingSignature = 89;
constexpr uint32_t kExitInvalidSignature = 90;
constexpr uint32_t kExitReboot = 80;
constexpr uint32_t kExitReset = 14;
constexpr uint32_t kExitDownloadFailed = 7;

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

} // namespace

uint32_t FFS_DownloadFile(int adapter, const char* objectName, const char* path) {
    if (path == nullptr || path[0] == 0) return RM_STATUS_BAD_ARGUMENT;
    FilePtr file(plat_fopen_input(path, nullptr));
    if (!file) {
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] Error opening file %s:\n", path);
        return RM_STATUS_ERROR;
    }
    if (fseeko(file.get(), 0, SEEK_END) != 0) return RM_STATUS_ERROR;
    off_t end = ftello(file.get());
    if (end < 0 || static_cast<uint64_t>(end) > FFS_MAX_FILE_SIZE) return RM_STATUS_ERROR;
    if (fseeko(file.get(), 0, SEEK_SET) != 0) return RM_STATUS_ERROR;
    uint32_t size = static_cast<uint32_t>(end);

    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!data) return RM_STATUS_NO_MEMORY;
    // The whole file must be read: a short read would flash a truncated image.
    if (size && std::fread(data.get(), 1, size, file.get()) != size) return RM_STATUS_ERROR;

    traceGroup(TRACE_GROUP_FC,
               "[FFS_DownloadFile] Calling SLI_CFG_WriteObject: board: %d, fileName: %s, "
               "objectName: %s, objectsize: %d bytes\n",
               adapter, path, objectName ? objectName : "", static_cast<int>(size));
    uint32_t written = 0;
    uint32_t st = SLI_CFG_WriteObject(adapter, objectName, data.get(), size, &written, true);
    if (st != 0 && st != RM_STATUS_NEEDS_REBOOT && st != RM_STATUS_NEEDS_RESET)
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] Error SLI_CFG_WriteObject returned: %d\n",
                   static_cast<int>(st));
    else
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] %d bytes written\n",
                   static_cast<int>(written));
    return st;
}

uint32_t FFS_DownloadFirmware(int adapter, const char* path) {
    uint32_t st = FFS_DownloadFile(adapter, OBJ_FIRMWARE, path);
    if (st != 0 && st != RM_STATUS_NEEDS_REBOOT && st != RM_STATUS_NEEDS_RESET)
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFirmware] Error FFS_DownloadFile returned: %d\n",
                   static_cast<int>(st));
    return st;
}

uint32_t FFS_ReadVPD(int adapter, const char* objectName, uint8_t* buffer, uint32_t size,
                     uint32_t* length) {
    if (length) *length = 0;
    if (buffer == nullptr || size == 0 || objectName == nullptr || objectName[0] == 0 ||
        length == nullptr)
        return RM_STATUS_BAD_ARGUMENT;
    uint8_t object[kVpdObjectBuffer];
    uint32_t objectLength = 0;
    uint32_t st = SLI_CFG_ReadObject(adapter, objectName, object, sizeof(object), &objectLength);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC, "[FFS_ReadVPD] Error: SLI_CFG_ReadObject (%s) returned: %d\n",
                   objectName, static_cast<int>(st));
        return st;
    }
    // The object frames the VPD with a header and a trailer; anything shorter
    // holds no VPD.
    if (objectLength < OBJ_VPD_HEADER + OBJ_VPD_TRAILER) return RM_STATUS_ERROR;
    uint32_t required = objectLength - OBJ_VPD_HEADER - OBJ_VPD_TRAILER;
    if (size < required) {
        traceGroup(TRACE_GROUP_FC,
                   "[FFS_ReadVPD] Error: The VPD buffer (%d bytes) is too small (%d bytes "
                   "required).\n",
                   static_cast<int>(size), static_cast<int>(required));
        return RM_STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, object + OBJ_VPD_HEADER, required);
    *length = required;
    return 0;
}

namespace {

uint32_t verifyGrpHeader(const char* path, GrpKind kind) {
    if (path == nullptr) return RM_STATUS_ERROR_READING_RESOURCE;
    FilePtr file(plat_fopen_input(path, nullptr));
    if (!file) return RM_STATUS_ERROR_READING_RESOURCE;
    uint8_t header[GRP_HEADER_SIZE];
    size_t n = std::fread(header, 1, sizeof(header), file.get());
    if (std::ferror(file.get())) return RM_STATUS_ERROR_READING_RESOURCE;
    if (n < GRP_HEADER_SIZE) return RM_STATUS_ERROR_SHORT_FWIMAGE;
    uint32_t magic = be32(header + 4);
    uint32_t id = be32(header + 8) >> 16;
    if (kind == GRP_KIND_BREVIN_32G)
        return magic == GRP_MAGIC_BREVIN_32G && id == GRP_ID_BREVIN_32G ? 0 : RM_STATUS_ERROR;
    return magic == GRP_MAGIC_BREVIN_FC && id == GRP_ID_BREVIN_FC ? 0 : RM_STATUS_ERROR;
}

} // namespace

uint32_t FFS_VerifyFirmware(const char* path, GrpKind kind) {
    return verifyGrpHeader(path, kind) == 0 ? 0 : RM_STATUS_ERROR_INCOMP_IMAGE;
}

GrpKind grpKindForAdapter(int adapter) {
    return isBrevin32g(adapter) ? GRP_KIND_BREVIN_32G : GRP_KIND_BREVIN_FC;
}

uint32_t FFS_DownloadGrpFile(int adapter, const char* path) {
    uint32_t st = FFS_VerifyFirmware(path, grpKindForAdapter(adapter));
    if (st != 0) {
        setMessageLine("FFS_VerifyFirmware rmStatus %X cluStatus %d\n", st,
                       static_cast<int>(kExitVerifyFailed));
        emitLine();
        return kExitVerifyFailed;
    }
    st = FFS_DownloadFirmware(adapter, path);
    uint32_t exitCode;
    switch (st) {
    case 0:
        exitCode = 0;
        break;
    case RM_STATUS_MISSING_SIGNATURE:
        exitCode = kExitMissingSignature;
        break;
    case RM_STATUS_BAD_SIGNATURE:
        exitCode = kExitInvalidSignature;
        break;
    case RM_STATUS_NEEDS_REBOOT:
        exitCode = kExitReboot;
        break;
    case RM_STATUS_NEEDS_RESET:
        exitCode = kExitReset;
        break;
    default:
        exitCode = kExitDownloadFailed;
        break;
    }
    if (exitCode != 0)
        emitConsole("FFS_DownloadFirmware rmStatus %X cluStatus %d\n", st,
                    static_cast<int>(exitCode));
    return exitCode;
}
