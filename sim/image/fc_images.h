// FC firmware images as bytes: PRG programs, AIF images and files (.ALL,
// .DWC, .BWC, .FWC, .aif) and .GRP files, valid or with one common fault.
// The `hbasim image` kinds prg, aif and grp parse their options into these
// specs; tests build from the specs directly.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim_image {

using Image = std::vector<unsigned char>;

// RotXor of big-endian words: seed 0xAAAAAAAA, per word rotate left 1 and
// XOR, a final rotate. The completer of a run is the word that makes it 0.
uint32_t rotxor_bytes(const unsigned char* p, size_t words);
uint32_t rotxor_completer(const unsigned char* p, size_t words);
void put_be32(Image& img, size_t at, uint32_t v);
uint32_t get_be32(const Image& img, size_t at);

// ---- PRG ----------------------------------------------------------------------------
struct PrgSpec {
    uint32_t type = 7;           // program type
    uint32_t id = 0x73;          // image id
    uint32_t version = 0x0101;   // low 16 bits of ProgramId word 0
    uint32_t pid1 = 0;           // ProgramId word 1
    uint32_t size = 4096;        // bytes (a multiple of 4, at least 512)
    std::string text = "2.20a1"; // version text the load list reader finds
    std::string kek;             // non-empty: signed, key block for this KEK
    uint16_t romDevice = 0xF100; // type 3: PCI device id of the boot ROM header
    // Faults: "" none, "header-checksum", "file-checksum", "long" (one byte
    // more), "short" (one byte less), "tiny" (3 bytes), "unaligned" (size word
    // not a multiple of 4), "unsigned" (key block flag clear).
    std::string bad;
};
Image build_prg(const PrgSpec& spec);

// ---- AIF ----------------------------------------------------------------------------
struct AifSpec {
    std::string kind = "awc"; // awc, dwc, bwc, fwc, or a number (the kind word)
    uint32_t area = 1;
    uint32_t base = 0;             // flash address of the body
    uint32_t body = 2048;          // read-only size in bytes
    uint32_t eraseLength = 0;      // 0: the body rounded up to 64 KiB
    uint32_t idWord = 0x01780101;  // word 14 (type<<24 | id<<16 | version)
    uint32_t familyByte = 120;     // AWC: family byte of the word at file offset 624
    std::vector<PrgSpec> programs; // DWC: embedded programs
    std::string kek;               // AWC/FWC: signed for this KEK
};
struct AifFileSpec {
    std::vector<AifSpec> images; // one, or several for .ALL
    bool all = false;            // .ALL: a whole-file checksum word at the end
    bool bare = false;           // .aif: no checksum words
    // Faults: "" none, "image-checksum", "all-checksum", "short" (last byte
    // missing), "magic" (first word not an AIF header).
    std::string bad;
};
Image build_aif(const AifFileSpec& spec);

// ---- GRP ----------------------------------------------------------------------------
struct GrpSpec {
    uint32_t device = 0xE200; // Brevin FC function kind: 0xE300 or the others
    std::string version = "12.8.600.1";
    uint32_t size = 64 * 1024;
    // Faults: "" none, "magic", "short" (139 bytes), "unsigned", "badsig".
    std::string bad;
};
Image build_grp(const GrpSpec& spec);

} // namespace sim_image
