// The trace settings file "RM.INI" of hbaset.
#include <cstdint>

#include "common/tracelog/tracelog.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::write_input("RM.INI", data, size);
    TraceSettings s;
    readSettingsFile(path.c_str(), &s);
    return 0;
}
