// Fleets and byte patterns shared by the classic-board tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace classic {

// Byte i of a pattern: (seed + i) & 0xFF.
inline std::vector<uint8_t> pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i);
    return v;
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

// One classic (pre-SLI-4) board with one FC function carrying keys.
inline std::string fleet(const std::string& functionKeys = "") {
    return "adapter C1 classic\nfunction fc " + functionKeys + "\n";
}

} // namespace classic
