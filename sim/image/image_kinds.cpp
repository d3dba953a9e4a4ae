// The image kinds that `hbasim image` builds.
#include "sim/image/image_builders.h"

#include <cstdio>
#include <iterator>

namespace sim_image {

namespace {
int no_kind(const ImageArgs&) {
    return 2;
}
} // namespace

// One row per kind (see image_builders.h for how to add one).
const ImageKind kImageKinds[] = {
    {"none", no_kind, "placeholder"},
    {"ufi", image_ufi,
     "ufi [--gen 2|3|4] [--version V | --build RAW] [--asic N] [--vendor ID] [--device ID]"
     " [--dir-devices ID,...] [--dir-offset N] [--size N]"
     " [--variant long|short|tiny|dir-cut|dir-misaligned] -o FILE"},
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
