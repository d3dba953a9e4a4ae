// UFI files for fwsweep's tests: the header fields fwsweep reads (file length
// at 56, build string at 72, ASIC revision at 96), the rest a fixed pattern.
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace fwtest {

inline void writeUfi(const std::string& path, const std::string& build, int asic,
                     size_t size = 4096, int lengthDelta = 0) {
    std::vector<unsigned char> b(size, 0x5A);
    memset(b.data(), 0, 128);
    memcpy(b.data(), "UFI test image", 14);
    uint32_t length = static_cast<uint32_t>(static_cast<int64_t>(size) + lengthDelta);
    for (int i = 0; i < 4; ++i)
        b[56 + static_cast<size_t>(i)] = static_cast<unsigned char>(length >> (8 * i));
    memcpy(b.data() + 72, build.data(), build.size() < 23 ? build.size() : 23);
    b[96] = static_cast<unsigned char>(asic);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

} // namespace fwtest
