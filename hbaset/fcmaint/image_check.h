// Image compatibility checks and secure-adapter keys: whether an image suits
// the adapter (family lists, VPD style, boot ROM header) and, on secure
// adapters, moving the adapter to the download key the image was signed for.
//
// Checks never change the adapter; they return before anything is erased.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "hbaset/fcmaint/fw_image.h"

constexpr uint32_t KEK_FAILED = 93;
constexpr uint32_t KEK_NOT_SUPPORTED = 2;
constexpr uint32_t KEK_ID_BUFFER = 152; // identifier buffers hold at most 151 characters
constexpr uint32_t KEK_BLOCK_SIZE = 264;
constexpr uint32_t KEK_PRG_BLOCK_BACK = 268; // PRG: key block at word 8 - 268 after the header
constexpr uint32_t KEK_FWC_BLOCK_BACK = 264; // FWC: word 8 - 264
constexpr uint32_t KEK_AWC_BLOCK_BACK = 268; // AWC: word 5 - 268 after the AIF header

// ---- image id lists ------------------------------------------------------------
// Which list decides: PRG program types, or the AIF kinds and the embedded boot
// programs of a bundle, which differ from the PRG lists in some families.
enum ListUse : int {
    LIST_PRG = 0,
    LIST_BWC = 1,
    LIST_DWC = 2,
    LIST_DWC_BOOT = 3, // type 3 programs embedded in a DWC image
};
// Adapter facts the lists depend on.
struct ListAdapter {
    uint32_t family;
    bool dual;   // dual-channel flag
    bool ibmVpd; // ibmVpd flag
    uint32_t deviceId;
};
// Outcome of a list lookup.
enum ListVerdict : int {
    LIST_ACCEPT = 0,
    LIST_REFUSE = 1,       // refused without a message
    LIST_REFUSE_NOISY = 2, // refused after "Incompatible Image - Incorrect Adapter"
};
ListVerdict imageIdListCheck(ListUse use, const ListAdapter& a, uint32_t programType,
                             uint32_t imageId);

// ---- VPD style ----------------------------------------------------------------------
// True when the style text (keyword V3) lists the image id for the program type.
bool vpdStyleMatch(const char* style, uint32_t programType, uint32_t imageId);

// ---- families --------------------------------------------------------------------------
// Image family of an AWC image: the family word at absolute offset 624 of the
// file. *familyByte receives bits 16-23 of that word.
uint32_t awcImageFamily(const ImageView& image, uint32_t* familyByte, bool* readOk);
uint32_t awcFamilyFromWord(uint32_t word);

// ---- checks of the download engines ---------------------------------------------
// PRG compatibility (family lists or VPD style, boot ROM, keys). The file
// position is kept.
uint32_t checkPrgCompatibility(int adapter, const ImageView& image, const PrgHeader& header,
                               uint32_t family);
// One AIF image at imageStart against the adapter.
uint32_t CheckAbsImageFile(int adapter, const ImageView& image, uint64_t imageStart,
                           const AifHeader& header, uint32_t family);
// The programs embedded in a DWC image (keys on the secure family, boot ids).
uint32_t checkDwcPrograms(int adapter, const ImageView& image, uint64_t imageStart,
                          uint64_t imageEnd, const AifHeader& header, uint32_t family);

// ---- boot ROM header ---------------------------------------------------------------
constexpr uint32_t PCI_DATA_SIZE = 28;
// Reads the PCI data structure of the boot image at offset start.
uint32_t ReadBootImagePciHeader(const ImageView& image, uint64_t start, uint8_t out[PCI_DATA_SIZE]);
// Boot program check of the Zorath group and the secure family: the PCI data
// structure's device id must be 0xF180 exactly when the family is.
uint32_t ValidateZorathOrKeltorBootProgId(const ImageView& image, uint64_t start, uint32_t family);

// ---- keys -----------------------------------------------------------------------------
// Reads the key block at offset (from the file's start) and its identifier;
// *length receives the identifier length. The offset is checked to lie inside
// the file first (DL_READ_ERROR otherwise).
uint32_t ReadKekIdFromPRG(const ImageView& image, uint64_t offset, char* out, uint32_t size,
                          uint32_t* length, bool* isSigned);
uint32_t ProcessKEK(int adapter, const char* target, uint32_t targetLength);
uint32_t SetKEK(int adapter, int entry);
uint32_t GetKEK_ID(int adapter, char* out, uint32_t size, uint32_t* length);
// Key handling of a PRG program whose header is at start.
uint32_t authenticatePrg(int adapter, const ImageView& image, uint64_t start,
                         const PrgHeader& header);
uint32_t AuthenticateAWC(int adapter, const ImageView& image, uint64_t imageStart,
                         const AifHeader& header);
uint32_t authenticateFwc(int adapter, const ImageView& image, uint64_t imageStart);
uint32_t ZeroizeSecurityData(int adapter);
// True when an AWC image of family imageFamily (family byte familyByte) suits
// an adapter of family adapterFamily.
bool awcFamilyAgrees(uint32_t adapterFamily, uint32_t imageFamily, uint32_t familyByte);
