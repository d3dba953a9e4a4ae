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
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/progress_bar.h"
#include "hbaset/fcmaint/image_file.h"
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

} // namespace

uint32_t FFS_DownloadBytes(int adapter, const char* objectName, const char* path,
                           const ImageView& image, void (*piece)(uint64_t done, uint64_t total)) {
    if (image.size > FFS_MAX_FILE_SIZE) return RM_STATUS_ERROR;
    const uint32_t size = static_cast<uint32_t>(image.size);
    traceGroup(TRACE_GROUP_FC,
               "[FFS_DownloadFile] Calling SLI_CFG_WriteObject: board: %d, fileName: %s, "
               "objectName: %s, objectsize: %d bytes\n",
               adapter, path ? path : "", objectName ? objectName : "", static_cast<int>(size));
    // An empty file is a write of nothing; the object request needs a buffer.
    static const uint8_t kNothing[4] = {};
    uint32_t written = 0;
    uint32_t st = SLI_CFG_WriteObject(adapter, objectName, size ? image.data : kNothing, size,
                                      &written, true, piece);
    if (st != 0 && st != RM_STATUS_NEEDS_REBOOT && st != RM_STATUS_NEEDS_RESET)
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] Error SLI_CFG_WriteObject returned: %d\n",
                   static_cast<int>(st));
    else
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] %d bytes written\n",
                   static_cast<int>(written));
    return st;
}

uint32_t FFS_DownloadFile(int adapter, const char* objectName, const char* path) {
    if (path == nullptr || path[0] == 0) return RM_STATUS_BAD_ARGUMENT;
    ImageFile file;
    const int loaded = loadImageFile(path, &file);
    if (loaded == IMAGE_TOO_BIG) return RM_STATUS_ERROR;
    if (loaded != IMAGE_LOADED) {
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFile] Error opening file %s:\n", path);
        return RM_STATUS_ERROR;
    }
    return FFS_DownloadBytes(adapter, objectName, path, file.view(), nullptr);
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

uint32_t verifyGrpHeader(const ImageView& image, GrpKind kind) {
    if (image.size < GRP_HEADER_SIZE) return RM_STATUS_ERROR_SHORT_FWIMAGE;
    uint32_t magic = be32(image.data + 4);
    uint32_t id = be32(image.data + 8) >> 16;
    if (kind == GRP_KIND_BREVIN_32G)
        return magic == GRP_MAGIC_BREVIN_32G && id == GRP_ID_BREVIN_32G ? 0 : RM_STATUS_ERROR;
    return magic == GRP_MAGIC_BREVIN_FC && id == GRP_ID_BREVIN_FC ? 0 : RM_STATUS_ERROR;
}

// The bar of a .GRP write: one step per object piece.
void grpPiece(uint64_t done, uint64_t total) {
    progressBarPercent(total ? static_cast<int>(done * 100 / total) : 100);
}

} // namespace

uint32_t FFS_VerifyFirmwareImage(const ImageView& image, GrpKind kind) {
    return verifyGrpHeader(image, kind) == 0 ? 0 : RM_STATUS_ERROR_INCOMP_IMAGE;
}

uint32_t FFS_VerifyFirmware(const char* path, GrpKind kind) {
    if (path == nullptr) return RM_STATUS_ERROR_INCOMP_IMAGE;
    ImageFile file;
    if (loadImageFile(path, &file) != IMAGE_LOADED) return RM_STATUS_ERROR_INCOMP_IMAGE;
    return FFS_VerifyFirmwareImage(file.view(), kind);
}

GrpKind grpKindForAdapter(int adapter) {
    return isBrevin32g(adapter) ? GRP_KIND_BREVIN_32G : GRP_KIND_BREVIN_FC;
}

uint32_t FFS_DownloadGrpFile(int adapter, const char* path) {
    // Read once: the header checked below and the object written are the same bytes.
    ImageFile file;
    const int loaded = loadImageFile(path, &file);
    uint32_t st = loaded == IMAGE_LOADED
                      ? FFS_VerifyFirmwareImage(file.view(), grpKindForAdapter(adapter))
                      : RM_STATUS_ERROR_INCOMP_IMAGE;
    if (st != 0) {
        setMessageLine("FFS_VerifyFirmware rmStatus %X cluStatus %d\n", st,
                       static_cast<int>(kExitVerifyFailed));
        emitLine();
        // The refusal is the command's exit code, which the result line keeps.
        g_run.cluStatus = CLU_GRP_REFUSED;
        return kExitVerifyFailed;
    }
    progressBarStage("Writing Firmware");
    st = FFS_DownloadBytes(adapter, OBJ_FIRMWARE, path, file.view(), grpPiece);
    if (st != 0 && st != RM_STATUS_NEEDS_REBOOT && st != RM_STATUS_NEEDS_RESET)
        traceGroup(TRACE_GROUP_FC, "[FFS_DownloadFirmware] Error FFS_DownloadFile returned: %d\n",
                   static_cast<int>(st));
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
