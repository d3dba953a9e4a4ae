// Fleet descriptions (hbasim init/check): the parser, and the state file
// encoding of every machine it accepts (decoding must give it back).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    hbasim::Machine m;
    hbasim::FleetError err;
    if (hbasim::parse_fleet(text, &m, &err) != hbasim::SIM_OK) {
        if (err.line <= 0 || err.message.empty()) abort(); // every refusal names its line
        return 0;
    }
    for (const hbasim::Adapter& a : m.adapters) {
        std::string file = hbasim::encode_adapter(a), why;
        hbasim::Adapter back;
        if (hbasim::decode_adapter(file, &back, &why) != hbasim::SIM_OK) abort();
        if (hbasim::encode_adapter(back) != file) abort();
    }
    return 0;
}
