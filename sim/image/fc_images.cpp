// FC firmware images as bytes (see fc_images.h).
#include "sim/image/fc_images.h"

#include <cstdlib>
#include <cstring>

#include "interfaces/mbox_codes.h"
#include "sim/core/image_signature.h"

namespace sim_image {

namespace {

constexpr uint32_t kAifMagic = 0xE1A00000u;
constexpr uint32_t kPrgHeader = 48;
constexpr uint32_t kLinkAddress = 0x1000; // word 7 of generated PRG headers
constexpr uint32_t kTextOffset = 0x80;    // version text of generated PRG images
constexpr uint32_t kKeyBlockAt = 0x100;   // key block of signed PRG images
constexpr uint32_t kKeyBlockSize = 264;
constexpr uint32_t kKeyIdOffset = 108;
constexpr uint32_t kRomPciOffset = 0x20; // PCI data structure inside the boot ROM
constexpr uint32_t kAwcFamilyOffset = 624;
constexpr uint32_t kAwcVersionAddress = 0x1F0;

uint32_t rotl1(uint32_t v) {
    return (v << 1) | (v >> 31);
}

void pattern(Image& img, size_t from, size_t to, uint32_t seed) {
    for (size_t i = from; i < to; ++i)
        img[i] = (unsigned char)((i * 7 + seed) & 0xFF);
}

// A 264-byte key block at offset: word 0 nonzero (signed), the identifier at 108.
void put_key_block(Image& img, size_t at, const std::string& kek) {
    memset(&img[at], 0, kKeyBlockSize);
    put_be32(img, at, 1);
    memcpy(&img[at + kKeyIdOffset], kek.data(), kek.size() < 151 ? kek.size() : 151);
}

// ROM bytes r[0..n) stored through the file's word reversal.
void put_rom_bytes(Image& img, size_t at, const unsigned char* r, size_t n) {
    for (size_t i = 0; i < n; i += 4)
        for (size_t b = 0; b < 4 && i + b < n; ++b)
            img[at + i + (3 - b)] = r[i + b];
}

uint32_t kind_word(const std::string& kind) {
    if (kind == "awc") return 0xE1A01001u;
    if (kind == "dwc") return 0xE1A02002u;
    if (kind == "bwc") return 0xE1A03003u;
    if (kind == "fwc") return 0xE1A04004u;
    return (uint32_t)strtoul(kind.c_str(), nullptr, 0);
}

} // namespace

uint32_t get_be32(const Image& img, size_t at) {
    return ((uint32_t)img[at] << 24) | ((uint32_t)img[at + 1] << 16) |
           ((uint32_t)img[at + 2] << 8) | img[at + 3];
}
void put_be32(Image& img, size_t at, uint32_t v) {
    img[at] = (unsigned char)(v >> 24);
    img[at + 1] = (unsigned char)(v >> 16);
    img[at + 2] = (unsigned char)(v >> 8);
    img[at + 3] = (unsigned char)v;
}

uint32_t rotxor_bytes(const unsigned char* p, size_t words) {
    uint32_t v = 0xAAAAAAAAu;
    for (size_t i = 0; i < words; ++i) {
        uint32_t w = ((uint32_t)p[4 * i] << 24) | ((uint32_t)p[4 * i + 1] << 16) |
                     ((uint32_t)p[4 * i + 2] << 8) | p[4 * i + 3];
        v = rotl1(v) ^ w;
    }
    return rotl1(v);
}

// Appending the checksum of a run as one more word makes the run's checksum 0.
uint32_t rotxor_completer(const unsigned char* p, size_t words) {
    return rotxor_bytes(p, words);
}

Image build_prg(const PrgSpec& s) {
    uint32_t size = s.size < 512 ? 512 : (s.size + 3) & ~3u;
    const bool unaligned = s.bad == "unaligned";
    const uint32_t sizeWord = unaligned ? size + 2 : size;
    Image img(sizeWord, 0);
    pattern(img, kPrgHeader, img.size(), s.id);
    put_be32(img, 0, sizeWord);
    put_be32(img, 4, (s.type << 24) | ((s.id & 0xFF) << 16) | (s.version & 0xFFFF));
    put_be32(img, 8, s.pid1);
    const bool sign = !s.kek.empty();
    put_be32(img, 12, sign && s.bad != "unsigned" ? 0x10 : 0);
    for (uint32_t w = 4; w < 11; ++w)
        if (w != 7) put_be32(img, 4 * w, 0);
    put_be32(img, 28, kLinkAddress);
    put_be32(img, 32, sign ? kKeyBlockAt - kPrgHeader + 268 : 0);
    // Version text pointer after the header (word 1 of it for type 0).
    memset(&img[kPrgHeader], 0, kTextOffset + 32 - kPrgHeader);
    put_be32(img, s.type != 0 ? kPrgHeader + 8 : kPrgHeader + 4,
             kLinkAddress + (kTextOffset - kPrgHeader));
    unsigned char text[24] = {};
    memcpy(text, s.text.data(), s.text.size() < 23 ? s.text.size() : 23);
    if (s.type == 3) {
        // Boot ROM header: signature, PCI data structure pointer, "PCIR" with the device.
        unsigned char rom[kRomPciOffset + 28] = {};
        rom[0] = 0x55;
        rom[1] = 0xAA;
        rom[24] = kRomPciOffset;
        memcpy(rom + kRomPciOffset, "PCIR", 4);
        rom[kRomPciOffset + 4] = 0x3C;
        rom[kRomPciOffset + 5] = 0x1F;
        rom[kRomPciOffset + 6] = (unsigned char)s.romDevice;
        rom[kRomPciOffset + 7] = (unsigned char)(s.romDevice >> 8);
        put_rom_bytes(img, kPrgHeader, rom, 8);
        put_rom_bytes(img, kPrgHeader + 24, rom + 24, 4);
        put_rom_bytes(img, kPrgHeader + kRomPciOffset, rom + kRomPciOffset, 28);
        // Boot programs keep their text in memory order.
        put_rom_bytes(img, kTextOffset, text, sizeof text);
    } else {
        memcpy(&img[kTextOffset], text, sizeof text);
    }
    if (sign) put_key_block(img, kKeyBlockAt, s.kek);
    put_be32(img, 44, rotxor_completer(&img[4], 10));
    put_be32(img, img.size() - 8, hbasim::sig_prg_word(img.data(), img.size()));
    const size_t words = img.size() / 4;
    put_be32(img, 4 * (words - 1), rotxor_completer(img.data(), words - 1));
    if (s.bad == "header-checksum") put_be32(img, 44, get_be32(img, 44) ^ 1);
    if (s.bad == "file-checksum") img[kPrgHeader + kTextOffset + 40] ^= 0x5A;
    if (s.bad == "long") img.push_back(0);
    if (s.bad == "short") img.pop_back();
    if (s.bad == "tiny") img.resize(3);
    return img;
}

namespace {

// One AIF image (header, body, checksum word unless bare) at the end of out.
void append_aif(Image& out, const AifSpec& s, bool bare) {
    const size_t start = out.size();
    Image body(s.body, 0);
    pattern(body, 0, body.size(), s.area);
    const uint32_t kind = kind_word(s.kind);
    if (kind == 0xE1A02002u) {
        // Bundle: 4 bytes, the programs, an end word.
        Image b(4, 0);
        for (const PrgSpec& p : s.programs) {
            Image prg = build_prg(p);
            b.insert(b.end(), prg.begin(), prg.end());
        }
        size_t at = b.size();
        b.resize(at + 4);
        put_be32(b, at, 0xFFFFFFFFu);
        body = b;
    } else if (kind == 0xE1A04004u) {
        // FPGA image: a program header first (its flags tell whether it is signed).
        if (body.size() < 512) body.resize(512);
        memset(body.data(), 0, 48);
        if (!s.kek.empty()) {
            put_be32(body, 12, 0x10);
            put_be32(body, 32, 0x80 - 48 + 264);
            put_key_block(body, 0x80, s.kek);
        }
    } else if (kind == 0xE1A01001u) {
        if (s.base <= kAwcVersionAddress && kAwcVersionAddress - s.base + 4 <= body.size())
            put_be32(body, kAwcVersionAddress - s.base, s.idWord);
        // The key block ends one word before the body, where the signature goes.
        if (!s.kek.empty() && body.size() >= 268) put_key_block(body, body.size() + 4 - 268, s.kek);
    }
    // The family word at file offset 624 of a file that starts with this AWC.
    const size_t familyAt = kAwcFamilyOffset - 128;
    if (kind == 0xE1A01001u && start == 0 && body.size() >= familyAt + 4) {
        uint32_t w = get_be32(body, familyAt);
        put_be32(body, familyAt, (w & 0xFF00FFFFu) | ((s.familyByte & 0xFF) << 16));
    }
    // A whole number of words, then the signature word the adapter checks.
    while (body.size() % 4 != 0)
        body.push_back(0);
    const uint32_t sig = hbasim::sig_aif_word(s.area, s.base, body.data(), body.size());
    body.resize(body.size() + 4);
    put_be32(body, body.size() - 4, sig);
    out.resize(start + 128, 0);
    put_be32(out, start, kAifMagic);
    put_be32(out, start + 8, kind);
    put_be32(out, start + 16, s.area);
    put_be32(out, start + 20, (uint32_t)body.size());
    put_be32(out, start + 24, 0);
    put_be32(out, start + 40, s.base);
    uint32_t erase = s.eraseLength ? s.eraseLength : ((uint32_t)body.size() + 0xFFFF) & ~0xFFFFu;
    put_be32(out, start + 44, erase ? erase : 0x10000);
    put_be32(out, start + 56, s.idWord);
    out.insert(out.end(), body.begin(), body.end());
    if (!bare) {
        size_t words = (out.size() - start) / 4;
        uint32_t c = rotxor_completer(&out[start], words);
        out.resize(out.size() + 4);
        put_be32(out, out.size() - 4, c);
    }
}

} // namespace

Image build_aif(const AifFileSpec& s) {
    Image out;
    for (const AifSpec& a : s.images)
        append_aif(out, a, s.bare);
    if (s.bad == "image-checksum" && out.size() > 200) out[200] ^= 0x11;
    if (s.all && !s.bare) {
        size_t at = out.size();
        out.resize(at + 4);
        put_be32(out, at, rotxor_completer(out.data(), at / 4));
    }
    if (s.bad == "all-checksum") put_be32(out, out.size() - 4, get_be32(out, out.size() - 4) ^ 1);
    if (s.bad == "short" && !out.empty()) out.pop_back();
    if (s.bad == "magic" && out.size() >= 4) put_be32(out, 0, 0x12345678u);
    return out;
}

Image build_grp(const GrpSpec& s) {
    uint32_t size = s.size < GRP_HEADER_SIZE ? GRP_HEADER_SIZE : s.size;
    Image img(size, 0);
    pattern(img, GRP_HEADER_SIZE, img.size(), 3);
    const bool g32 = s.device == 0xE300;
    put_be32(img, 0, size);
    put_be32(img, 4, g32 ? GRP_MAGIC_BREVIN_32G : GRP_MAGIC_BREVIN_FC);
    put_be32(img, 8, (g32 ? GRP_ID_BREVIN_32G : GRP_ID_BREVIN_FC) << 16);
    memset(&img[GRP_VERSION_OFFSET], 0, GRP_VERSION_SIZE);
    memcpy(&img[GRP_VERSION_OFFSET], s.version.data(),
           s.version.size() < GRP_VERSION_SIZE ? s.version.size() : GRP_VERSION_SIZE);
    if (s.bad == "magic") put_be32(img, 4, 0x12345678u);
    hbasim::sig_sign_grp(img);
    if (s.bad == "unsigned") put_be32(img, GRP_SIGNATURE_OFFSET, 0);
    if (s.bad == "badsig") put_be32(img, GRP_SIGNATURE_OFFSET, GRP_SIGNATURE_INVALID);
    if (s.bad == "short") img.resize(GRP_HEADER_SIZE - 1);
    return img;
}

} // namespace sim_image
