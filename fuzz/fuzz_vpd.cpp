// VPD as an adapter returns it: the raw walk, the in-place normalisation and
// the keyword store. The input sits in a heap buffer of its exact size, so a
// read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "hbaset/fcmaint/vpd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    std::vector<uint8_t> raw(data, data + size);
    std::vector<uint8_t> out(1024);
    uint32_t outLength = 0;
    vpdParseRaw(raw.data(), (uint32_t)raw.size(), out.data(), (uint32_t)out.size(), &outLength);
    if (outLength > out.size()) abort();

    // Normalisation works in a buffer of the size the readers use.
    std::vector<uint8_t> buf(VPD_BUFFER_SIZE + 64, 0);
    uint32_t length = (uint32_t)(size < buf.size() ? size : buf.size());
    memcpy(buf.data(), data, length);
    if (vpdNormalize(buf.data(), &length) == 0) {
        if (length > buf.size()) abort();
        std::vector<uint8_t> exact(buf.begin(), buf.begin() + length);
        uint32_t pos = 0;
        VpdEntry e;
        while (vpdNextEntry(exact.data(), (uint32_t)exact.size(), &pos, &e)) {
            char text[64];
            vpdCopyValue(e, text, sizeof text);
            if (strlen(text) >= sizeof text) abort();
        }
        VpdRecord rec;
        vpdStoreKeywords(exact.data(), (uint32_t)exact.size(), &rec);
    }
    return 0;
}
