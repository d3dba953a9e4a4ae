// The image kinds that `hbasim image` builds.
#include "sim/image/image_builders.h"

#include <cstdio>
#include <iterator>

namespace sim_image {

// One row per kind (see image_builders.h for how to add one).
const ImageKind kImageKinds[] = {
    {"ufi", image_ufi,
     "ufi [--gen 2|3|4] [--version V | --build RAW] [--asic N] [--vendor ID] [--device ID]"
     " [--dir-devices ID,...] [--dir-offset N] [--size N]"
     " [--variant long|short|tiny|dir-cut|dir-misaligned|unsigned|badsig] -o FILE"},
    {"prg", image_prg,
     "prg [--type N] [--id N] [--version N] [--pid1 N] [--size BYTES] [--text VERSION]\n"
     "      [--kek KEK_ID] [--rom-device ID] [--bad header-checksum|file-checksum|long|short|\n"
     "      tiny|unaligned|unsigned] -o FILE     PRG program image"},
    {"aif", image_aif,
     "aif [--kind awc|dwc|bwc|fwc|N [--area N] [--base ADDR] [--body BYTES] [--erase BYTES]\n"
     "      [--idword W] [--family-byte B] [--kek KEK_ID] [--program TYPE:ID:VER[:TEXT]]...]...\n"
     "      [--all] [--bare] [--bad image-checksum|all-checksum|short|magic] -o FILE\n"
     "      AIF images: one per --kind; --all makes an .ALL file, --bare an .aif file"},
    {"grp", image_grp,
     "grp [--device 0xE200|0xE300] [--version TEXT] [--size BYTES]\n"
     "      [--bad magic|short|unsigned|badsig] -o FILE     .GRP firmware file of Brevin FC"},
};
const size_t kImageKindCount = std::size(kImageKinds);

bool write_image_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0) ok = false;
    return ok;
}

} // namespace sim_image
