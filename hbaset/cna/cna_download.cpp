// Converged firmware download: the NEXA flash step, the two mapping tables and
// the download branch that fills the request from the adapter table.
#include "hbaset/cna/cna_download.h"

#include <unistd.h>

#include <cstring>
#include <memory>

#include "common/bounded_text.h"
#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/progress_bar.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/mal.h"
#include "hbaset/cna/nexa.h"
#include "hbaset/fcmaint/image_file.h"
#include "hbaset/fcmaint/rm_status.h"
#include "libtgx/libtgx.h"
#include "platform/plat_image_file.h"

namespace {

constexpr int kNexaBusy = 14;
constexpr int kNexaFlashedReboot = 55; // outcome when the action ran but its status is unreadable
constexpr size_t kPciRevisionOffset = 8;
constexpr uint32_t kPciConfigBytes = 256;
// CLU statuses of this branch that no other command shares.
constexpr int32_t kCluNexaRefused = 31; // NEXA busy, or the UFI format refused by NEXA
constexpr int32_t kCluIncompatible = 70;
constexpr size_t kSealedNameMax = 200; // the kernel takes names of up to 249 bytes

// NEXA outcome of "UpgradeFlashROM" -> RM status. How to add a row: the NEXA
// code, then the RM status it stands for; codes not listed give 114.
struct NexaCodeRow {
    int code;
    uint32_t rm;
};
const NexaCodeRow kNexaCodeTable[] = {
    {0, RM_STATUS_OK},
    {39, RM_STATUS_UNKNOWN_FLASH_LAYOUT}, // the file cannot be opened
    {40, RM_STATUS_UFI_FORMAT},           // invalid UFI format
    {55, RM_STATUS_FLASHED_REBOOT},       // written; reboot to activate
    {162, RM_STATUS_ERROR_INCOMP_IMAGE},  // not for this controller
    {173, RM_STATUS_NEXA_BUSY},           // an upgrade already running elsewhere
    {235, RM_STATUS_VF_REFUSED},          // SR-IOV virtual function
    {318, RM_STATUS_SPECIAL_RELEASE},     // download again after a reboot
    {336, RM_STATUS_BAD_SIGNATURE},       // invalid digital signature
    {337, RM_STATUS_MISSING_SIGNATURE},   // digital signature missing
};

// RM status of the download -> CLU status. How to add a row: the RM status, then
// the CLU status; statuses not listed give 141.
struct RmCluRow {
    uint32_t rm;
    int32_t clu;
};
const RmCluRow kRmCluTable[] = {
    {RM_STATUS_OK, CLU_OK},
    {RM_STATUS_VF_REFUSED, CLU_NOT_SUPPORTED},
    {RM_STATUS_NEXA_BUSY, kCluNexaRefused},
    {RM_STATUS_UFI_FORMAT, kCluNexaRefused},
    {RM_STATUS_SPECIAL_RELEASE, CLU_DOWNLOAD_AGAIN},
    {RM_STATUS_ERROR_INCOMP_IMAGE, kCluIncompatible},
    {RM_STATUS_UNKNOWN_FLASH_LAYOUT, CLU_FILE_OPEN},
    {RM_STATUS_BAD_SIGNATURE, CLU_SIGNATURE_INVALID},
    {RM_STATUS_MISSING_SIGNATURE, CLU_SIGNATURE_MISSING},
    {RM_STATUS_FLASHED_REBOOT, CLU_REBOOT_REQUIRED},
};

bool pathFitsParameter(const char* path) {
    return path != nullptr && path[0] != '\0' && strnlen(path, MAL_PARAM_SIZE) < MAL_PARAM_SIZE;
}

// A configuration copy whose vendor ID is zero was never filled.
bool configRead(const uint8_t* config) {
    return config[0] != 0 || config[1] != 0;
}

// Revision of a converged function: from the first NIC function of its
// controller, else (a controller without NIC functions) from its first iSCSI
// function; -1 when neither copy was read.
int convergedRevision(const CorevaneAdapter& cna) {
    if (cna.nicFunctions != nullptr && cna.nicFunctionCount > 0 &&
        configRead(cna.nicFunctions[0].pciConfig))
        return cna.nicFunctions[0].pciConfig[kPciRevisionOffset];
    if (cna.nicFunctionCount == 0 && cna.iscsiFunctions != nullptr && cna.iscsiFunctionCount > 0 &&
        configRead(cna.iscsiFunctions[0].pciConfig))
        return cna.iscsiFunctions[0].pciConfig[kPciRevisionOffset];
    return -1;
}

int fcoeRevision(int i) {
    uint8_t config[kPciConfigBytes] = {};
    if (TGX_ReadPciCfg(static_cast<uint32_t>(i), config, 0, kPciConfigBytes) != 0) return -1;
    return config[kPciRevisionOffset];
}

// Fills the request of entry i; false when the entry has no converged adapter.
bool fillRequest(int i, const char* path, CnaDownloadRequest* req) {
    const CorevaneAdapter* cna = cnaAdapterOf(i);
    const AdapterRecord* r = adapterAt(i);
    if (cna == nullptr || r == nullptr) return false;
    req->controllerTag = cna->nodeTag;
    req->path = path;
    if (isFcoeFunction(i)) {
        req->deviceId = r->deviceId;
        req->vendorId = r->vendorId;
        req->subsystemDeviceId = r->subsystemId;
        req->subsystemVendorId = r->subsystemVendorId;
        req->revisionId = fcoeRevision(i);
    } else {
        req->deviceId = r->cnaDeviceId;
        req->vendorId = r->cnaVendorId;
        req->subsystemDeviceId = r->cnaSubsystemId;
        req->subsystemVendorId = r->cnaSubsystemVendorId;
        req->revisionId = convergedRevision(*cna);
    }
    return true;
}

bool revisionRequired(uint32_t deviceId) {
    DeviceFamily f = deviceFamilyOf(deviceId);
    return f == FAMILY_CV3 || f == FAMILY_TARNEL;
}

// The image as read once, and the sealed copy of it that NEXA opens: the bytes
// verified are the bytes flashed, whatever happens to the file meanwhile.
struct CnaImage {
    ImageFile file;
    int sealedFd = -1;
    char sealedPath[64] = "";
    ~CnaImage() {
        if (sealedFd >= 0) close(sealedFd);
    }
};

// Reads the file and seals its copy; the CLU status of a file that cannot be
// read, else 0.
uint32_t readCnaImage(const char* path, CnaImage* image) {
    if (loadImageFile(path, &image->file) != IMAGE_LOADED) {
        traceGroup(TRACE_GROUP_FC, "[DownloadCNAFirmware] Cannot read the image file %s\n", path);
        return CLU_FILE_OPEN;
    }
    // The copy is named after the file (its full path when that fits a name),
    // so that NEXA's own records say which file it flashed.
    const char* base = strrchr(path, '/');
    const char* name = strlen(path) <= kSealedNameMax ? path : (base ? base + 1 : path);
    image->sealedFd = plat_sealed_copy(name, image->file.bytes.data(), image->file.bytes.size(),
                                       image->sealedPath, sizeof image->sealedPath);
    if (image->sealedFd < 0) {
        traceGroup(TRACE_GROUP_FC, "[DownloadCNAFirmware] Cannot keep a copy of %s\n", path);
        return CLU_FILE_OPEN;
    }
    return 0;
}

} // namespace

uint32_t cnaRmFromNexaCode(int code) {
    for (const NexaCodeRow& row : kNexaCodeTable)
        if (row.code == code) return row.rm;
    return RM_STATUS_NEXA_FAILED;
}

int32_t cnaCluFromRm(uint32_t rm) {
    for (const RmCluRow& row : kRmCluTable)
        if (row.rm == rm) return row.clu;
    return CLU_CNA_VPD;
}

uint32_t MAL_UpgradeFlash(int controllerTag, const char* path, int* nexaCode) {
    if (nexaCode == nullptr || !pathFitsParameter(path)) return RM_STATUS_BAD_ARGUMENT;
    int action = 0;
    int rc = get_node_tag(controllerTag, "UpgradeFlashROM", &action, NEXA_KIND_ACTION);
    if (rc != MAL_RM_OK) return rc == MAL_RM_BUSY ? RM_STATUS_NEXA_BUSY : RM_STATUS_NEXA_FAILED;

    char params[MAL_PARAMS_SIZE] = {};
    copyBounded(params, MAL_PARAM_SIZE, path);
    std::unique_ptr<char[]> output(new char[MAL_ACTION_OUTPUT_SIZE]());
    int code = 0;
    char text[MAL_STATUS_TEXT_SIZE];
    rc = do_action_with_status(controllerTag, action, params, output.get(), &code, text);
    if (rc == MAL_RM_BUSY || code == kNexaBusy) return RM_STATUS_NEXA_BUSY;
    if (rc == MAL_RM_OK) {
        *nexaCode = code < 0 ? kNexaFlashedReboot : code;
        return RM_STATUS_OK;
    }
    // The action failed: its last status says why, unless it is stale (0) or
    // could not be read; then the failure itself decides.
    if (code <= 0) return RM_STATUS_NEXA_FAILED;
    *nexaCode = code;
    return RM_STATUS_OK;
}

uint32_t DownloadCNAImage(const CnaDownloadRequest* req, bool verify) {
    if (req == nullptr) return RM_STATUS_BAD_ARGUMENT;
    if (verify) {
        uint32_t rc = VerifyCNAImage(req);
        if (rc != RM_STATUS_OK) return rc;
    }
    traceGroup(TRACE_GROUP_FC, "[DownloadCNAImage] Begin firmware download:\n");
    traceGroup(TRACE_GROUP_FC, "     CorevaneTag %x Filename %s\n",
               static_cast<unsigned>(req->controllerTag), req->path ? req->path : "");
    int code = 0;
    uint32_t rc = MAL_UpgradeFlash(req->controllerTag, req->path, &code);
    if (rc != RM_STATUS_OK) {
        traceGroup(TRACE_GROUP_FC, "[DownloadCNAImage] MAL_UpgradeFlash failed, rmStatus %u\n", rc);
        return rc;
    }
    traceGroup(TRACE_GROUP_FC, "[DownloadCNAImage] MAL_UpgradeFlash returned status= 0x%x\n",
               static_cast<unsigned>(code));
    return cnaRmFromNexaCode(code);
}

uint32_t DownloadCNAFirmware(int adapter, const char* path) {
    if (!g_run.nexaUp) {
        traceLine("NEXA not available");
        return CLU_NEXA_NOT_AVAILABLE;
    }
    const int i = adapter;
    const bool verify = isNexaManaged(i) && !isBrevinCna(i);
    const AdapterRecord* r = adapterAt(i);
    bool knownKind = isIscsiFunction(i) || isNicFunction(i) ||
                     (isFcoeFunction(i) && r != nullptr && r->fcoeMatched);
    CnaDownloadRequest req = {};
    if (!knownKind || !fillRequest(i, path, &req)) return CLU_NOT_SUPPORTED;
    if (!pathFitsParameter(path)) {
        traceGroup(TRACE_GROUP_FC,
                   "[DownloadCNAFirmware] The file path does not fit the NEXA parameter\n");
        return CLU_FILE_OPEN;
    }
    if (verify && req.revisionId < 0 && revisionRequired(req.deviceId)) {
        traceGroup(TRACE_GROUP_FC,
                   "[DownloadCNAFirmware] PCI revision ID cannot be read. Download refused\n");
        return CLU_FILE_OPEN;
    }
    CnaImage image;
    uint32_t readStatus = readCnaImage(path, &image);
    if (readStatus != 0) return readStatus;
    req.path = image.sealedPath;
    req.image = UfiImage{image.file.bytes.data(), image.file.bytes.size()};
    progressBarStage("Flashing Through NEXA");
    uint32_t rm = DownloadCNAImage(&req, verify);
    if (rm == RM_STATUS_OK || rm == RM_STATUS_FLASHED_REBOOT) progressBarPercent(100);
    int32_t clu = cnaCluFromRm(rm);
    traceGroup(TRACE_GROUP_FC, "DownloadCNAImage rmStatus %d cluStatus %d\n", static_cast<int>(rm),
               clu);
    return static_cast<uint32_t>(clu);
}
