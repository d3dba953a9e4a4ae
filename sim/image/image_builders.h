// Firmware image builders. Each kind has its own file; `hbasim image KIND ...`
// finds it in kImageKinds (sim/image/image_kinds.cpp).
//
// How to add an image kind: write `int image_<kind>(const ImageArgs&)` in its own
// file here (parse the kind's options from args, build the bytes, write them to
// args.out), declare it below, add its row to kImageKinds with a one-line usage,
// and test it from tests/ by building the image in-process.
#pragma once
#include <string>
#include <vector>

namespace sim_image {

using ImageArgs = std::vector<std::string>; // the words after KIND, "-o FILE" included

struct ImageKind {
    const char* name;
    int (*build)(const ImageArgs& args); // 0 written, 1 failed, 2 usage
    const char* usage;
};

// FC images (fc_images_cli.cpp).
int image_prg(const ImageArgs& args);
int image_aif(const ImageArgs& args);
int image_grp(const ImageArgs& args);

extern const ImageKind kImageKinds[];
extern const size_t kImageKindCount;

// Converged-adapter firmware (.UFI), image_ufi.cpp.
int image_ufi(const ImageArgs& args);

// Writes bytes to path (created or replaced); false with errno set on failure.
bool write_image_file(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace sim_image
