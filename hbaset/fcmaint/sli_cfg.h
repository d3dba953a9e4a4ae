// SLI-4 adapter objects: size, read and write of named objects, the firmware
// version query, and the file operations built on them (firmware download,
// VPD read, .GRP header check).
//
// Codes common to all: 0 success; 1 failure; 2 extended requests not supported
// by the driver; 3 no such object; 4 bad argument; 7 buffer too small; 8 out of
// memory.
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/fw_image.h"

// True when the driver takes extended mailboxes: driver information (version
// 4) reports SLI level 4 and the extended-mailbox feature bit.
bool IsIssueMboxV2ExtSupported(int adapter);

// Size of an object (names of 1-103 characters).
uint32_t SLI_CFG_GetObjectSize(int adapter, const char* name, uint32_t* size);
// Reads a whole object into buffer (bufferLength a multiple of 4 and at least
// the object size; else 4 or 7 with the size in *length).
uint32_t SLI_CFG_ReadObject(int adapter, const char* name, uint8_t* buffer, uint32_t bufferLength,
                            uint32_t* length);
// Writes length bytes (a multiple of 4, else 194) in 1024-byte pieces. After
// the last piece the adapter's change status gives 0, 0xFFE80000 (reboot
// needed) or 0xFFE90000 (reset needed). Signature refusals give 203 (invalid)
// and 209 (missing). *written receives the bytes the adapter accepted.
// onPiece (may be null) is told the bytes written so far after every piece.
uint32_t SLI_CFG_WriteObject(int adapter, const char* name, const uint8_t* data, uint32_t length,
                             uint32_t* written, bool commit,
                             void (*onPiece)(uint64_t done, uint64_t total) = nullptr);

constexpr uint32_t FW_VERSION_TEXT = 32;
// The firmware version response: the running version text (bytes 0-31) and
// the version on flash (bytes 32-63), as the adapter sent them.
uint32_t SLI_CFG_GetFwVersion(int adapter, uint8_t out[2 * FW_VERSION_TEXT]);
// The same as two terminated texts of at most 32 characters.
uint32_t SLI_CFG_GetFwVersionTexts(int adapter, char running[FW_VERSION_TEXT + 1],
                                   char flash[FW_VERSION_TEXT + 1]);
// Compares two "a.b.c.d" versions: 1 when all four numbers are equal, 0 when
// not, 4 when either text has fewer than four numbers.
uint32_t SLI_CFG_CompareFwVersions(const char* running, const char* flash);

constexpr uint64_t FFS_MAX_FILE_SIZE = 64ull << 20;
// Writes a whole file into an object (committed). Files above 64 MiB, or that
// cannot be read whole, give 1.
uint32_t FFS_DownloadFile(int adapter, const char* objectName, const char* path);
// The same for an image already read (path only names it in the trace).
uint32_t FFS_DownloadBytes(int adapter, const char* objectName, const char* path,
                           const ImageView& image, void (*piece)(uint64_t done, uint64_t total));
// FFS_DownloadFile into "/prg".
uint32_t FFS_DownloadFirmware(int adapter, const char* path);
// Reads the VPD held in an object (140 bytes of header, the VPD, 4 bytes).
// *length receives the VPD's size. An object shorter than its framing gives 1.
uint32_t FFS_ReadVPD(int adapter, const char* objectName, uint8_t* buffer, uint32_t size,
                     uint32_t* length);

// Kinds of .GRP firmware files.
enum GrpKind : int {
    GRP_KIND_BREVIN_FC = 1,  // Brevin FC functions other than 0xE300
    GRP_KIND_BREVIN_32G = 2, // device 0xE300
};
// Checks a .GRP file's header against the adapter kind: 0, or 194 for every
// failure (file unreadable, shorter than 140 bytes, wrong magic or id).
uint32_t FFS_VerifyFirmware(const char* path, GrpKind kind);
// The same check of an image already read.
uint32_t FFS_VerifyFirmwareImage(const ImageView& image, GrpKind kind);
// The kind used for an adapter: 0xE300 or any other Brevin function.
GrpKind grpKindForAdapter(int adapter);

// Firmware download of a .GRP file to a Brevin function (the converged branch
// of the download command is the caller's): header check (failure: 70), then
// FFS_DownloadFirmware with its code mapped to an exit code: 0; 89 missing
// signature; 90 invalid signature; 80 reboot needed; 14 reset needed; 7 other.
uint32_t FFS_DownloadGrpFile(int adapter, const char* path);
