// UFI verification against the target adapter: generation from the build
// string, file length, then the per-family rules (CV2 vendor/device and flash
// directory, CV3 and Tarnel ASIC revision). Every refusal happens before NEXA
// is called.
#include "common/tracelog/tracelog.h"
#include "hbaset/cli/families.h"
#include "hbaset/cna/cna_download.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/ufi/ufi_image.h"

namespace {

// Revision IDs that split the CV3 family.
constexpr int kCv3rRevision = 16;
constexpr int kCv3rP2Revision = 17;

// Reads and decodes the build string; 0 with *generation set, or the status.
uint32_t imageGeneration(const UfiImage& image, int* generation, char* raw) {
    uint32_t rc = GetRawUFIBuildString(image, raw);
    if (rc != RM_STATUS_OK) return rc;
    if (DecodeRawBuildString(raw, generation, nullptr, 0) != RM_STATUS_OK)
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    return RM_STATUS_OK;
}

bool directoryListsCv2Device(const UfiFlashDir& dir) {
    for (const UfiDirIds& ids : dir.ids)
        if (deviceFamilyOf(ids.deviceId) == FAMILY_CV2) return true;
    return false;
}

} // namespace

uint32_t VerifyCNAImage(const CnaDownloadRequest* req) {
    if (req == nullptr) return RM_STATUS_BAD_ARGUMENT;
    switch (deviceFamilyOf(req->deviceId)) {
    case FAMILY_TARNEL:
        traceGroup(TRACE_GROUP_FC, "[VerifyCNAImage] Tarnel device detected.  Calling "
                                   "VerifyCNAFirmwareTarnel().\n");
        return VerifyCNAFirmwareTarnel(req);
    case FAMILY_CV3:
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAImage] CV3 device detected.  Calling VerifyCNAFirmwareCV3().\n");
        return VerifyCNAFirmwareCV3(req);
    default:
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAImage] CV2 device detected.  Calling VerifyCNAFirmwareCV2().\n");
        return VerifyCNAFirmwareCV2(req);
    }
}

uint32_t VerifyCNAFirmwareCV2(const CnaDownloadRequest* req) {
    if (req == nullptr) return RM_STATUS_BAD_ARGUMENT;
    traceGroup(TRACE_GROUP_FC,
               "[VerifyCNAFirmwareCV2] CV2 device detected.  Verifying CV2 firmware.\n");
    UfiHeader header;
    uint32_t rc = GetUFIHeader(req->image, &header);
    if (rc != RM_STATUS_OK) return rc;
    int generation = UFI_GEN_NONE;
    if (DecodeRawBuildString(header.buildVersionString, &generation, nullptr, 0) != RM_STATUS_OK)
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    if (generation != UFI_GEN_CV2) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV2] ufi_header.buildVersionString[0] = %s. Return "
                   "RM_STATUS_ERROR_INCOMP_IMAGE\n",
                   header.buildVersionString);
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    rc = VerifyUFIFileSize(req->image);
    if (rc != RM_STATUS_OK) return rc;
    if (header.vendorId != req->vendorId) {
        traceGroup(TRACE_GROUP_FC, "[VerifyCNAFirmwareCV2] NO MATCH UFI vendorID %x\n",
                   header.vendorId);
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    if (header.deviceId == req->deviceId) {
        traceGroup(TRACE_GROUP_FC, "[VerifyCNAFirmwareCV2] MATCH UFI deviceID %x\n",
                   header.deviceId);
        return RM_STATUS_OK;
    }
    UfiFlashDir dir;
    rc = GetUFIFlashDir(req->image, 0, &dir);
    if (rc != RM_STATUS_OK) return rc;
    if (directoryListsCv2Device(dir)) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV2] Firmware verified. Returning RM_STATUS_OK\n");
        return RM_STATUS_OK;
    }
    traceGroup(TRACE_GROUP_FC, "[VerifyCNAFirmwareCV2] Firmware verification failed. Returning "
                               "RM_STATUS_ERROR_INCOMP_IMAGE\n");
    return RM_STATUS_ERROR_INCOMP_IMAGE;
}

uint32_t VerifyCNAFirmwareCV3(const CnaDownloadRequest* req) {
    if (req == nullptr) return RM_STATUS_BAD_ARGUMENT;
    // Without the revision a CV3-R or P2 would pass as a plain CV3.
    if (req->revisionId < 0) return RM_STATUS_BAD_ARGUMENT;
    const int r = req->revisionId;
    if (r < kCv3rRevision)
        traceGroup(TRACE_GROUP_FC, "[VerifyCNAFirmwareCV3] This is a CV3 adapter. revisionID=%d\n",
                   r);
    else if (r == kCv3rRevision)
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV3] This is a CV3-R adapter. revisionID=%d\n", r);
    else
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV3] This is a CV3-R P2 adapter. revisionID=%d\n", r);

    char raw[UFI_BUILD_STRING_SIZE];
    int generation = UFI_GEN_NONE;
    uint32_t rc = imageGeneration(req->image, &generation, raw);
    if (rc != RM_STATUS_OK) return rc;
    if (generation != UFI_GEN_CV3) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV3] ufi_header_cv3.buidVersionString[0] = %s. Return "
                   "RM_STATUS_ERROR_INCOMP_IMAGE\n",
                   raw);
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    rc = VerifyUFIFileSize(req->image);
    if (rc != RM_STATUS_OK) return rc;
    if (r < kCv3rRevision) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV3] Firmware verified. Returning RM_STATUS_OK\n");
        return RM_STATUS_OK;
    }
    UfiHeaderCV3 header;
    rc = GetUFIHeaderCV3(req->image, &header);
    if (rc != RM_STATUS_OK) return rc;
    const int asic = header.asicTypeRevision;
    bool accepted = r == kCv3rRevision ? (asic == kCv3rRevision || asic == kCv3rP2Revision)
                                       : asic == kCv3rP2Revision;
    if (accepted) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareCV3] Firmware verified. AsicTypeRevision %X == revisionID "
                   "%X. Returning RM_STATUS_OK\n",
                   asic, r);
        return RM_STATUS_OK;
    }
    traceGroup(TRACE_GROUP_FC,
               "[VerifyCNAFirmwareCV3] Firmware verification failed. AsicTypeRevision %X != "
               "revisionID %X. Returning RM_STATUS_ERROR_INCOMP_IMAGE\n",
               asic, r);
    return RM_STATUS_ERROR_INCOMP_IMAGE;
}

uint32_t VerifyCNAFirmwareTarnel(const CnaDownloadRequest* req) {
    if (req == nullptr || req->revisionId < 0) return RM_STATUS_BAD_ARGUMENT;
    char raw[UFI_BUILD_STRING_SIZE];
    int generation = UFI_GEN_NONE;
    uint32_t rc = imageGeneration(req->image, &generation, raw);
    if (rc != RM_STATUS_OK) return rc;
    if (generation != UFI_GEN_TARNEL) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareTarnel] ufi_header.buidVersionString = %s. Return "
                   "RM_STATUS_ERROR_INCOMP_IMAGE\n",
                   raw);
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    rc = VerifyUFIFileSize(req->image);
    if (rc != RM_STATUS_OK) return rc;
    UfiHeaderCV3 header;
    rc = GetUFIHeaderCV3(req->image, &header);
    if (rc != RM_STATUS_OK) return rc;
    const int asic = header.asicTypeRevision;
    if (asic < req->revisionId) {
        traceGroup(TRACE_GROUP_FC,
                   "[VerifyCNAFirmwareTarnel] Firmware verification failed. ASIC_Support %X < "
                   "revisionID %X. Returning RM_STATUS_ERROR_INCOMP_IMAGE\n",
                   asic, req->revisionId);
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    traceGroup(TRACE_GROUP_FC,
               "[VerifyCNAFirmwareTarnel] Firmware verified. ASIC_Support %X >= revisionID %X. "
               "Returning RM_STATUS_OK\n",
               asic, req->revisionId);
    return RM_STATUS_OK;
}
