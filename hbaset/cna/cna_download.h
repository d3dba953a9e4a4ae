// Firmware download onto converged adapters: the branch of the download command
// that hands a .UFI file (or a .GRP file of a Brevin converged adapter) to NEXA.
//
// The UFI file is checked against the adapter first (generation, file length,
// vendor and device, ASIC revision); only a file that passes reaches NEXA's
// "UpgradeFlashROM" action, so a refused file never touches the adapter.
// Results of the steps are RM statuses (hbaset/fcmaint/rm_status.h); the
// download branch maps them to a CLU status.
#pragma once
#include <cstdint>

#include "hbaset/ufi/ufi_image.h"

// RM statuses of this branch beyond rm_status.h.
constexpr uint32_t RM_STATUS_VF_REFUSED = 2;        // update refused on an SR-IOV virtual function
constexpr uint32_t RM_STATUS_NEXA_BUSY = 64;        // NEXA busy (another upgrade, or status 14)
constexpr uint32_t RM_STATUS_NEXA_FAILED = 114;     // any other NEXA failure
constexpr uint32_t RM_STATUS_SPECIAL_RELEASE = 169; // download again after a reboot
constexpr uint32_t RM_STATUS_UFI_FORMAT = 244;      // NEXA found the UFI format invalid
constexpr uint32_t RM_STATUS_FLASHED_REBOOT = 247;  // written; a reboot activates it

// What the verifiers and the flash step know of the target.
struct CnaDownloadRequest {
    int controllerTag; // NEXA tag of the adapter's Corevane<n> node
    const char* path;  // what NEXA opens: a sealed copy of the checked image
    UfiImage image;    // the image file as read once; the verifiers check this copy
    uint32_t deviceId; // PCI IDs of the function downloaded to
    uint32_t vendorId;
    uint32_t subsystemDeviceId;
    uint32_t subsystemVendorId;
    int revisionId; // PCI configuration byte 8; -1 when it could not be read
};

// Chooses the verifier by the device family: Tarnel, CV3, else CV2.
uint32_t VerifyCNAImage(const CnaDownloadRequest* req);
// Generation 2; vendor must match; device matches or the flash directory lists a
// CV2 device.
uint32_t VerifyCNAFirmwareCV2(const CnaDownloadRequest* req);
// Generation 3; a CV3-R adapter (revision 16) takes ASIC revision 16 or 17, a
// P2 adapter (17 and up) only 17, a plain CV3 (below 16) any image.
uint32_t VerifyCNAFirmwareCV3(const CnaDownloadRequest* req);
// Generation 4; the image's ASIC revision must be at least the adapter's.
uint32_t VerifyCNAFirmwareTarnel(const CnaDownloadRequest* req);

// Runs "UpgradeFlashROM" under the controller with the path as its parameter.
// Returns an RM status: 0 with *nexaCode = the outcome to map (the last status
// after the action, 55 when the action succeeded but the status could not be
// read); 4 for a missing path or one that does not fit the NEXA parameter (no
// NEXA call made); 64 busy; 114 when the action failed and the last status
// does not say why (stale 0 or unreadable), or the action cannot be found.
uint32_t MAL_UpgradeFlash(int controllerTag, const char* path, int* nexaCode);

// Verifies (when asked) and flashes; returns the RM status of the outcome.
uint32_t DownloadCNAImage(const CnaDownloadRequest* req, bool verify);

// NEXA outcome code to RM status, RM status to CLU status (the mapping tables).
uint32_t cnaRmFromNexaCode(int code);
int32_t cnaCluFromRm(uint32_t rm);

// Verifies the image against the adapter (where the kind calls for it) and flashes
// it through the converged-adapter library; returns the command's CLU status.
uint32_t DownloadCNAFirmware(int adapter, const char* path);
