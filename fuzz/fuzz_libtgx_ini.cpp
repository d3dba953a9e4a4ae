// The settings file "LIBTGX.ini" of libtgx (the library's trace log source is
// built into this target: the reader is internal to the library).
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "libtgx/tgx_internal.h"

GlobalState g_tgx; // the library's state, which trace_log.cpp refers to

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::write_input("LIBTGX.ini", data, size);
    uint32_t dbg = 0, kd = 0;
    tgx_read_settings(path.c_str(), &dbg, &kd);
    return 0;
}
