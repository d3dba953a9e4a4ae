// FC firmware image files: PRG program images and AIF image files (.ALL,
// .DWC, .BWC, .FWC, .aif), their RotXor checksum and the file kinds by name.
//
// The files are sequences of big-endian 32-bit words; every reader turns each
// group of 4 bytes into a host word, and data sent to the adapter is sent as
// these host words.
#pragma once
#include <cstddef>
#include <cstdint>

// Result codes of the download engines (the download command maps them).
constexpr uint32_t DL_OK = 0;
constexpr uint32_t DL_OPEN_FAILED = 0xFFFA0000u;
constexpr uint32_t DL_READ_ERROR = 0xFFF90001u;
constexpr uint32_t DL_SHORT_IMAGE = 0xFFF90002u;
constexpr uint32_t DL_LONG_IMAGE = 0xFFF90003u;
constexpr uint32_t DL_CHECKSUM = 0xFFF80000u;
constexpr uint32_t DL_INCOMPATIBLE = 0xFFF70001u;
constexpr uint32_t DL_INCOMPATIBLE_VERSION = 0xFFF70002u;
constexpr uint32_t DL_NO_FLASH = 0xFFF60000u;
constexpr uint32_t DL_WAKEUP = 0xFFFF0000u;
constexpr uint32_t DL_PROGRESS = 0xFFEC0000u;
constexpr uint32_t DL_FLASH_VERSION = 0xFFEE0000u;
constexpr uint32_t DL_SIGNATURE = 0xFFEA0000u;
constexpr uint32_t DL_UNSIGNED = 0xFFEB0000u;
constexpr uint32_t DL_NO_FAMILY = 0xFFF20000u;
constexpr uint32_t DL_UNKNOWN_AIF_KIND = 6;
constexpr uint32_t DL_WRONG_FILE_KIND = 70;
constexpr uint32_t DL_KEY_FAILED = 1;

// Adapter statuses of the download requests.
constexpr uint32_t MBXS_NO_FLASH = 241;
constexpr uint32_t MBXS_SIGNATURE = 3851;
constexpr uint32_t MBXS_AUTHENTICATION = 3841;

// RotXor: start with 0xAAAAAAAA; per word rotate left by 1 and XOR the word in;
// at the end rotate once more. A range is valid when the result is 0.
constexpr uint32_t ROTXOR_SEED = 0xAAAAAAAAu;
inline uint32_t rotl1(uint32_t v) {
    return (v << 1) | (v >> 31);
}
struct RotXor {
    uint32_t v = ROTXOR_SEED;
    void add(uint32_t word) { v = rotl1(v) ^ word; }
    uint32_t result() const { return rotl1(v); }
};
uint32_t RotXorChecksum(const uint32_t* words, size_t count);

// An image file as read into memory (image_file.h): the checks and the
// requests of a download all read this one copy.
struct ImageView {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
};
// Checksum of count words of the image from offset; false when the image ends
// first.
bool RotXorChecksumRange(const ImageView& image, uint64_t offset, uint64_t count, uint32_t* result);

// Big-endian host word of 4 file bytes.
inline uint32_t fileWord(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
// n bytes (a multiple of 4) turned into host words in place.
void fileBytesToWords(const uint8_t* in, uint32_t* out, size_t words);

// PrgHeader: 12 words at the start of a PRG file.
constexpr uint32_t PRG_HEADER_SIZE = 48;
constexpr uint32_t PRG_HEADER_WORDS = 12;
constexpr uint32_t PRG_FLAG_KEY_BLOCK = 0x10; // word 3 bit 4
struct PrgHeader {
    uint32_t w[PRG_HEADER_WORDS];
};
static_assert(sizeof(PrgHeader) == PRG_HEADER_SIZE, "PrgHeader layout");
inline uint32_t prgSize(const PrgHeader& h) {
    return h.w[0];
}
inline uint32_t prgType(const PrgHeader& h) {
    return h.w[1] >> 24;
}
inline uint32_t prgImageId(const PrgHeader& h) {
    return (h.w[1] >> 16) & 0xFF;
}
// Header checksum over words 1-11.
uint32_t prgHeaderChecksum(const PrgHeader& h);

// AifHeader: 32 words at the start of every image of an AIF file.
constexpr uint32_t AIF_HEADER_SIZE = 128;
constexpr uint32_t AIF_HEADER_WORDS = 32;
constexpr uint32_t AIF_MAGIC = 0xE1A00000u;
constexpr uint32_t AIF_KIND_AWC = 0xE1A01001u;
constexpr uint32_t AIF_KIND_DWC = 0xE1A02002u;
constexpr uint32_t AIF_KIND_BWC = 0xE1A03003u;
constexpr uint32_t AIF_KIND_FWC = 0xE1A04004u;
constexpr uint32_t AIF_OVERHEAD = 132;      // header plus checksum word
constexpr uint32_t AIF_OVERHEAD_BARE = 128; // .aif files: no checksum word
constexpr uint32_t AWC_FAMILY_OFFSET = 624; // absolute file offset of an AWC's family word
constexpr uint32_t AWC_VERSION_ADDRESS = 0x1F0;
struct AifHeader {
    uint32_t w[AIF_HEADER_WORDS];
};
static_assert(sizeof(AifHeader) == AIF_HEADER_SIZE, "AifHeader layout");
inline uint32_t aifKind(const AifHeader& h) {
    return h.w[2];
}
inline uint32_t aifArea(const AifHeader& h) {
    return h.w[4] & 0xFF;
}
inline uint32_t aifBase(const AifHeader& h) {
    return h.w[10];
}
inline uint32_t aifEraseLength(const AifHeader& h) {
    return h.w[11];
}
inline uint32_t aifIdWord(const AifHeader& h) {
    return h.w[14];
}
// Body length (word 5 + word 6) in 64 bits: the sum of two file words never wraps.
inline uint64_t aifBodyLength(const AifHeader& h) {
    return static_cast<uint64_t>(h.w[5]) + h.w[6];
}

// File kinds by extension.
enum FileKind : int {
    FILE_KIND_OTHER = 0,
    FILE_KIND_ALL = 1,
    FILE_KIND_DWC = 2,
    FILE_KIND_BWC = 3,
    FILE_KIND_FWC = 4,
    FILE_KIND_UFI = 10,
    FILE_KIND_GRP = 14,
};
// The extension of a path: the text after the last dot of its last component,
// "" when there is none.
const char* fileExtension(const char* path);
// Kind of an extension (without the dot), compared with its lower- or
// upper-case form exactly.
FileKind fileKindOf(const char* extension);
// True when the part of the file name after its first dot is exactly "aif" or
// "AIF" (such files carry no checksum words).
bool isBareAifName(const char* path);

// Reads n bytes at offset: 0, or DL_SHORT_IMAGE when the image ends first.
uint32_t readAt(const ImageView& image, uint64_t offset, void* out, size_t n);
// Reads a header of n words (at most 64) at offset into host words (same codes
// as readAt; DL_READ_ERROR for more than 64 words).
uint32_t readWordsAt(const ImageView& image, uint64_t offset, uint32_t* words, size_t n);
