// Adapter state files as found on disk: the decoder must refuse or accept
// without fault, and what it accepts must encode and decode to the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size), why;
    hbasim::Adapter a;
    if (hbasim::decode_adapter(file, &a, &why) != hbasim::SIM_OK) {
        if (why.empty()) abort(); // a refusal says why
        return 0;
    }
    std::string again = hbasim::encode_adapter(a);
    hbasim::Adapter b;
    if (hbasim::decode_adapter(again, &b, &why) != hbasim::SIM_OK) abort();
    if (hbasim::encode_adapter(b) != again) abort();
    return 0;
}
