// The NEXA value readers: property texts as the library returns them,
// converted by each typed reader. The first byte picks the reader.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "hbaset/cna/mal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const char* v = text.c_str();
    uint8_t out[64];
    switch (data[0] % 8) {
    case 0:
        malParseBool(v);
        break;
    case 1:
        malParseHex(v);
        break;
    case 2:
        malParseDecimal("Fuzz", v);
        break;
    case 3:
        malParseIPv4(v, out);
        break;
    case 4:
        malParseIPv6(v, out);
        break;
    case 5:
        malParseMac(v, out);
        break;
    default:
        malParsePciDumpPiece(v, out);
        break;
    }
    return 0;
}
