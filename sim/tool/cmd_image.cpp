// hbasim image KIND [options] -o FILE: writes a firmware image for the simulated
// machine (see sim/image/).
#include "sim/image/image_builders.h"
#include "sim/tool/tool.h"

namespace hbasim_tool {

int cmd_image(const Args& a) {
    if (!a.empty()) {
        for (size_t i = 0; i < sim_image::kImageKindCount; ++i) {
            const sim_image::ImageKind& k = sim_image::kImageKinds[i];
            if (a[0] == k.name) return k.build(Args(a.begin() + 1, a.end()));
        }
    }
    std::string kinds;
    for (size_t i = 0; i < sim_image::kImageKindCount; ++i)
        kinds += std::string("\n  ") + sim_image::kImageKinds[i].usage;
    return fail(EXIT_USAGE, "usage: hbasim image KIND [options] -o FILE; kinds:" + kinds);
}

} // namespace hbasim_tool
