// Fleets and files shared by the SLI-4 tests of the mailbox layer and objects.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/core/image_signature.h"

namespace sli4 {

// Board 0: a Brevin FC function (0xE200); board 1: a newest Brevin FC
// function (0xE300). keys go to the first function.
inline std::string fleet(const std::string& keys = "", const std::string& adapterKeys = "") {
    return "adapter B1 brevin " + adapterKeys + "\nfunction fc " + keys +
           "\nadapter F1 fc\nfunction fc\n";
}

inline std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t x : bytes) {
        std::snprintf(b, sizeof b, "%02X", x);
        s += b;
    }
    return s;
}

inline void putBe(std::vector<uint8_t>& v, size_t at, uint32_t w) {
    v[at] = static_cast<uint8_t>(w >> 24);
    v[at + 1] = static_cast<uint8_t>(w >> 16);
    v[at + 2] = static_cast<uint8_t>(w >> 8);
    v[at + 3] = static_cast<uint8_t>(w);
}

enum Signature { SIGNED, BADLY_SIGNED, UNSIGNED };

// A .GRP image of size bytes: header words 0-2 big-endian (size, magic, id),
// the version text at 12, the signature marker at 44, then a byte pattern.
inline std::vector<uint8_t> grpImage(size_t size, uint32_t magic, uint32_t id,
                                     const std::string& version, Signature sig = SIGNED) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i)
        v[i] = static_cast<uint8_t>(i * 7);
    if (size < 140) return v;
    for (size_t i = 0; i < 140; ++i)
        v[i] = 0;
    putBe(v, 0, static_cast<uint32_t>(size));
    putBe(v, 4, magic);
    putBe(v, 8, id << 16);
    for (size_t i = 0; i < version.size() && i < 32; ++i)
        v[12 + i] = version[i];
    // Signed as the simulated maker signs (the marker at 44, the MAC over the
    // whole image at 48); the other forms carry only their marker.
    if (sig == SIGNED)
        hbasim::sig_sign_grp(v);
    else
        putBe(v, 44, sig == BADLY_SIGNED ? 0x42414453u : 0);
    return v;
}

inline std::vector<uint8_t> brevinImage(size_t size, const std::string& version,
                                        Signature sig = SIGNED) {
    return grpImage(size, 0xFEAA0001u, 0xF7A2, version, sig);
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

} // namespace sli4
