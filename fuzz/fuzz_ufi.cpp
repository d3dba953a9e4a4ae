// UFI image files as fwsweep reads them (from the file) and as the converged
// download reads them (from the copy it read once): both header generations,
// the flash directory search from several starts, the build string and the
// size check. Both readers must agree on every status.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "hbaset/ufi/ufi_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string path = fuzz::write_input("image.ufi", data, size);
    UfiHeader h2;
    UfiHeaderCV3 h3;
    const UfiImage image{data, size};
    if (GetUFIHeader(path.c_str(), &h2) != GetUFIHeader(image, &h2)) abort();
    if (GetUFIHeaderCV3(path.c_str(), &h3) != GetUFIHeaderCV3(image, &h3)) abort();
    if (VerifyUFIFileSize(path.c_str()) != VerifyUFIFileSize(image)) abort();

    char raw[UFI_BUILD_STRING_SIZE + 8];
    memset(raw, 'x', sizeof raw);
    if (GetRawUFIBuildString(path.c_str(), raw) == 0) {
        if (memchr(raw, '\0', UFI_BUILD_STRING_SIZE) == nullptr) abort();
        int generation = 0;
        char version[UFI_BUILD_STRING_SIZE];
        DecodeRawBuildString(raw, &generation, version, sizeof version);
        if (memchr(version, '\0', sizeof version) == nullptr) abort();
    }
    // The directory is searched from the header ends and from a start taken
    // from the input, the way a verifier walks an image.
    const uint64_t starts[] = {0, UFI_HEADER_SIZE, UFI_HEADER_CV3_SIZE,
                               size >= 4 ? (uint64_t)(data[0] | data[1] << 8) : 0};
    for (uint64_t start : starts) {
        UfiFlashDir dir;
        if (GetUFIFlashDir(path.c_str(), start, &dir) != GetUFIFlashDir(image, start, &dir))
            abort();
    }
    return 0;
}
