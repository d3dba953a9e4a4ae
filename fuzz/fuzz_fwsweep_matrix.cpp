// The firmware matrix file as fwsweep reads it: line splitting, the key check
// and the match of an adapter's key (the last matching line wins).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/bounded_text.h"
#include "fuzz/fuzz_support.h"
#include "fwsweep/matrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<char> text(data, data + size);
    size_t pos = 0;
    MatrixLine line;
    SweepAdapter adapter;
    copyBounded(adapter.matrixKey, sizeof adapter.matrixKey, "CV3C100-FCoE");
    while (readMatrixLine(text.data(), text.size(), &pos, &line)) {
        if (pos > text.size()) abort();
        if (memchr(line.key, '\0', sizeof line.key) == nullptr) abort();
        if (line.hasTokens && !line.comment)
            copyBounded(adapter.matrixKey, sizeof adapter.matrixKey, line.key);
        line = MatrixLine();
    }
    verifyFWmatrixEntries(text.data(), text.size(), false);
    MatrixMatch match;
    getFwMatrixMatch(text.data(), text.size(), adapter, &match);
    if (memchr(match.firmware, '\0', sizeof match.firmware) == nullptr) abort();
    return 0;
}
