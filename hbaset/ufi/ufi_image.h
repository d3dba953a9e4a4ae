// UFI firmware files of converged adapters: the header readers, the CV2 flash
// directory search and the build-string decoder.
//
// This library links neither NEXA nor libtgx: hbaset verifies images with it
// and fwsweep reads image versions with it. Every integer of a UFI file is a
// 32-bit little-endian field; the decoders read each one explicitly, so the
// records below hold host values on any host.
//
// Results are RM statuses (hbaset/fcmaint/rm_status.h). Bracketed step traces
// and the record dumps go to the trace only when its group 0x8000 is on.
#pragma once
#include <cstddef>
#include <cstdint>

// ---- wire sizes and offsets ----------------------------------------------------
constexpr size_t UFI_HEADER_SIZE = 96;      // generation 2 (CV2)
constexpr size_t UFI_HEADER_CV3_SIZE = 128; // generation 3 and 4 (CV3, Tarnel)
constexpr size_t UFI_FLASH_DIR_SIZE = 2256; // CV2 flash directory
constexpr size_t UFI_FLASH_DIR_ALIGN = 32;  // the directory starts on a 32-byte block
constexpr size_t UFI_FLASH_DIR_COOKIE_SIZE = 32;
constexpr size_t UFI_FLASH_DIR_IDS = 8;      // vendor/device/subvendor/subdevice groups
constexpr size_t UFI_BUILD_STRING_SIZE = 24; // field width; at most 23 characters used
constexpr size_t UFI_SIGNATURE_SIZE = 32;
constexpr size_t UFI_SIGNATURE_CV3_SIZE = 52;
constexpr size_t UFI_VERSION_FIELD_SIZE = 4;

// Both headers keep these two fields at the same offsets, so the 96-byte read
// serves every generation when only they are needed.
constexpr size_t UFI_OFF_FILE_LENGTH = 56;
constexpr size_t UFI_OFF_BUILD_STRING = 72;
constexpr size_t UFI_OFF_ASIC_REVISION = 96; // generation-3 header, one byte

// The 32-byte block that opens a flash directory.
extern const uint8_t UFI_FLASH_DIR_COOKIE[UFI_FLASH_DIR_COOKIE_SIZE];

// Image generations of the build string.
enum : int { UFI_GEN_NONE = 0, UFI_GEN_CV2 = 2, UFI_GEN_CV3 = 3, UFI_GEN_TARNEL = 4 };

// ---- decoded records (host values; texts terminated) ---------------------------------
// Generation-2 header: 96 bytes at offset 0.
struct UfiHeader {
    char signature[UFI_SIGNATURE_SIZE + 1];             // bytes 0-31
    uint32_t checksum;                                  // 32
    uint32_t antidote;                                  // 36
    uint32_t vendorId;                                  // 40
    uint32_t deviceId;                                  // 44
    uint32_t subVendorId;                               // 48
    uint32_t subDeviceId;                               // 52
    uint32_t fileLength;                                // 56
    uint32_t chunkNumber;                               // 60
    uint32_t chunkSize;                                 // 64
    uint32_t numImages;                                 // 68
    char buildVersionString[UFI_BUILD_STRING_SIZE + 1]; // 72-95
};

// Generation-3 header: 128 bytes at offset 0 (97-127 reserved).
struct UfiHeaderCV3 {
    char signature[UFI_SIGNATURE_CV3_SIZE + 1];         // bytes 0-51
    char ufiVersion[UFI_VERSION_FIELD_SIZE + 1];        // 52-55, text
    uint32_t fileLength;                                // 56
    uint32_t checksum;                                  // 60
    uint32_t antidote;                                  // 64
    uint32_t numImages;                                 // 68
    char buildVersionString[UFI_BUILD_STRING_SIZE + 1]; // 72-95
    uint8_t asicTypeRevision;                           // 96
};

struct UfiDirIds {
    uint32_t vendorId;    // 48 + 16k
    uint32_t deviceId;    // 52 + 16k
    uint32_t subVendorId; // 56 + 16k
    uint32_t subDeviceId; // 60 + 16k
};

// CV2 flash directory: 2256 bytes; bytes 176-2255 (section entries) are not
// interpreted.
struct UfiFlashDir {
    uint8_t cookie[UFI_FLASH_DIR_COOKIE_SIZE]; // 0-31
    uint32_t formatRevNumber;                  // 32
    uint32_t checksum;                         // 36
    uint32_t antidote;                         // 40
    uint32_t buildNumber;                      // 44
    UfiDirIds ids[UFI_FLASH_DIR_IDS];          // 48-175
};

// ---- pure decoders over raw bytes --------------------------------------------------------
void decodeUfiHeader(const uint8_t raw[UFI_HEADER_SIZE], UfiHeader* out);
void decodeUfiHeaderCV3(const uint8_t raw[UFI_HEADER_CV3_SIZE], UfiHeaderCV3* out);
void decodeUfiFlashDir(const uint8_t raw[UFI_FLASH_DIR_SIZE], UfiFlashDir* out);

// ---- file readers -----------------------------------------------------------------------
// Reads the first length bytes of the file into buffer (cleared first).
// 0; 4 missing argument; 199 the file cannot be opened; 197 fewer bytes.
uint32_t ReadUFIHeader(const char* path, uint8_t* buffer, size_t length);
// Searches the file from start (a 32-byte block at a time, whole blocks only)
// for the flash directory cookie and reads the 2256-byte directory into buffer
// (cleared first). 0; 4; 199; 200 no cookie; 1 the directory is cut short by
// the end of the file.
uint32_t ReadUFIHeaderCV3(const char* path, uint8_t* buffer, uint64_t start);
// ReadUFIHeader of 96 / 128 bytes, decoded and dumped to the trace.
uint32_t GetUFIHeader(const char* path, UfiHeader* out);
uint32_t GetUFIHeaderCV3(const char* path, UfiHeaderCV3* out);
// ReadUFIHeaderCV3 from start, decoded and dumped to the trace.
uint32_t GetUFIFlashDir(const char* path, uint64_t start, UfiFlashDir* out);
// The build string of the 96-byte header into out (UFI_BUILD_STRING_SIZE bytes,
// terminated, at most 23 characters). Statuses of ReadUFIHeader.
uint32_t GetRawUFIBuildString(const char* path, char* out);

// ---- readers over a file already read into memory ---------------------------------------
// The download reads an image once and checks that copy: these take the same
// statuses as the file readers above (a copy cannot fail to open).
struct UfiImage {
    const uint8_t* data;
    uint64_t size;
};
uint32_t GetUFIHeader(const UfiImage& image, UfiHeader* out);
uint32_t GetUFIHeaderCV3(const UfiImage& image, UfiHeaderCV3* out);
uint32_t GetUFIFlashDir(const UfiImage& image, uint64_t start, UfiFlashDir* out);
uint32_t GetRawUFIBuildString(const UfiImage& image, char* out);
// 200 for an empty image; header statuses; 197 shorter; 196 longer.
uint32_t VerifyUFIFileSize(const UfiImage& image);

// Generation and version text of a raw build string: '4' Tarnel (4), '3' CV3
// (3), '2' or '1' CV2 (2); the version starts at the third character when the
// second is a blank, else at the first. At most 23 characters of raw are read.
// version (versionSize bytes, may be null) is always terminated.
// 0; 1 unknown first character (generation 0, version empty); 4 missing or
// empty raw text.
uint32_t DecodeRawBuildString(const char* raw, int* generation, char* version, size_t versionSize);

// Compares the file's size with the header's fileLength, in 64 bits: a file
// larger than 4 GiB - 1 is always too long. 0; 4; 200 the file cannot be
// opened or is empty; header read failures; 197 shorter; 196 longer.
uint32_t VerifyUFIFileSize(const char* path);
