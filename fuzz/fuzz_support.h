// Shared by the fuzz targets (each includes it once): a private directory
// for parsers that read files and for the simulated machine, so a target
// never touches the user's state. fuzz/run starts each target in a scratch
// directory of its own, where files named by relative paths land.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace fuzz {

// A private directory under $TMPDIR (else /tmp), made at first use; it is
// also the simulated machine's state directory (HBASIM_DIR) of the run.
inline const std::string& private_dir() {
    static const std::string dir = [] {
        const char* tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/hbafuzz.XXXXXX";
        const char* d = mkdtemp(&tmpl[0]);
        if (!d) abort();
        setenv("HBASIM_DIR", d, 1);
        setenv("PLAT_SLEEP_SCALE", "0", 1);
        return std::string(d);
    }();
    return dir;
}

// Writes data to name in the private directory and returns its path.
inline std::string write_input(const char* name, const uint8_t* data, size_t size) {
    std::string path = private_dir() + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    return path;
}

} // namespace fuzz

// Made before the first input, so no input runs against the user's state.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::private_dir();
    return 0;
}
