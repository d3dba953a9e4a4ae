// hbaset's script runner: the input is a script file, run as "hbaset @file".
#include <cstdint>
#include <string>

#include "fuzz/hbaset_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384 || !fuzz::hbaset_input_allowed(data, size)) return 0;
    fuzz::hbaset_reset();
    std::string path = fuzz::write_input("script.txt", data, size);
    setLogFileName("/dev/null");
    runScriptFile(("@" + path).c_str());
    return 0;
}
