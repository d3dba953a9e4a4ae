// The machine index (machine.hbs) as found on disk: the decoder must refuse
// or accept without fault; what it accepts stays inside the state directory
// and encodes and decodes to the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/core/sim_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    hbasim::Index idx;
    if (!hbasim::decode_index(file, &idx)) return 0;
    for (const hbasim::IndexEntry& e : idx.adapters)
        if (e.file.find('/') != std::string::npos || e.file[0] == '.') abort();
    for (const auto& [port, ref] : idx.ports)
        if (ref.adapter < 0 || ref.adapter >= (int)idx.adapters.size()) abort();
    std::string again = hbasim::encode_index(idx);
    hbasim::Index back;
    if (!hbasim::decode_index(again, &back) || hbasim::encode_index(back) != again) abort();
    return 0;
}
