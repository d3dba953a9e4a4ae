// The simulated maker's signature of firmware images, as the simulated
// adapters and NEXA check it and `hbasim image` writes it.
//
// Real adapter firmware refuses an image unless a signature over the whole
// image verifies; the simulation models that with HMAC-SHA256 under one key
// that only the simulator knows (the "maker's key"). A truncated image, a
// flipped bit or a changed header all fail it, so such an image is refused by
// the adapter and nothing is programmed. Where each format keeps its
// signature:
//
//   .GRP  header bytes 44-47 the marker "SIGN" ("BADS": a deliberately bad
//         signature; anything else: none), bytes 48-79 the MAC of the whole
//         file with bytes 48-79 taken as zero.
//   .UFI  the last 36 bytes of the file: the marker, then the MAC of every
//         byte before them.
//   PRG   the word before the last (the last completes the file checksum):
//         the first 4 bytes of the MAC of every byte before it.
//   AIF   the last word of each image's body (the part sent to the flash
//         area): the first 4 bytes of the MAC of the area number and the load
//         address (two big-endian words) followed by the rest of the body, in
//         the order the adapter receives it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hbasim {

constexpr size_t SIG_MAC_SIZE = 32;
constexpr uint32_t SIG_MARKER = 0x5349474Eu;     // "SIGN"
constexpr uint32_t SIG_MARKER_BAD = 0x42414453u; // "BADS"
constexpr size_t SIG_GRP_MARKER_AT = 44;
constexpr size_t SIG_GRP_MAC_AT = 48;
constexpr size_t SIG_UFI_BLOCK = 4 + SIG_MAC_SIZE;
constexpr size_t SIG_AIF_WORD = 4;

enum SigVerdict : int { SIG_VALID = 0, SIG_MISSING = 1, SIG_INVALID = 2 };

// HMAC-SHA256 under the maker's key of the parts given one after another.
struct SigPart {
    const uint8_t* data;
    size_t size;
};
void sig_mac(const SigPart* parts, size_t count, uint8_t out[SIG_MAC_SIZE]);

// Signs or checks a whole .GRP file (at least 80 bytes to carry a signature).
void sig_sign_grp(std::vector<uint8_t>& file);
SigVerdict sig_check_grp(const uint8_t* file, size_t size);

// Appends the signature block to a .UFI file (the caller counts it in the
// header's file length) / checks it.
void sig_append_ufi(std::vector<uint8_t>& file);
SigVerdict sig_check_ufi(const uint8_t* file, size_t size);

// The signature word of a PRG image of size bytes (a multiple of 4, at least
// 8) / the check of a whole PRG image.
uint32_t sig_prg_word(const uint8_t* image, size_t size);
SigVerdict sig_check_prg(const uint8_t* image, size_t size);

// The signature word of an AIF body (body excludes its last word) / the
// check of a body as received, its last word included.
uint32_t sig_aif_word(uint32_t area, uint32_t base, const uint8_t* body, size_t size);
SigVerdict sig_check_aif(uint32_t area, uint32_t base, const uint8_t* body, size_t size);

} // namespace hbasim
