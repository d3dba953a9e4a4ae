// The SHA256SUMS reader: the line forms sha256sum writes, names resolved
// against the manifest's folder, and lines that vouch for nothing.
#include <gtest/gtest.h>

#include <string>

#include "fwsweep/digests.h"

namespace {

const std::string kA(64, 'a'), kB(64, 'b');

TEST(Manifest, LinesAndNames) {
    const std::string upper(64, 'A');
    const std::string text = kA + "  plain.ufi\n" +             // text mode
                             kB + " *binary.ufi\r\n" +          // binary mode, CRLF
                             "\\" + kA + "  new\\nline.ufi\n" + // escaped name
                             upper + "  sub/../upper.ufi\n" +   // upper-case digest, ".."
                             kA + "  /abs/x.ufi\n" +            // absolute name
                             kA + " plain-one-blank.ufi\n" +    // not the sha256sum form
                             std::string(63, 'a') + "  short.ufi\n" + "SHA256 (x.ufi) = " + kA +
                             "\n" + kA + "  twice.ufi\n" + kB + "  twice.ufi\n";
    DigestManifest m;
    parseManifest(text, "/srv/fw/firmware/", &m);
    const struct {
        const char* path;
        bool listed;
        std::string digest;
    } cases[] = {
        {"/srv/fw/firmware/plain.ufi", true, kA},
        {"/srv/fw/firmware/binary.ufi", true, kB},
        {"/srv/fw/firmware/new\nline.ufi", true, kA},
        {"/srv/fw/firmware/upper.ufi", true, kA},
        {"/abs/x.ufi", true, kA},
        {"/srv/fw/firmware/plain-one-blank.ufi", false, ""},
        {"/srv/fw/firmware/short.ufi", false, ""},
        {"/srv/fw/firmware/x.ufi", false, ""},
        {"/srv/fw/firmware/twice.ufi", true, ""}, // two digests: none counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto it = m.digests.find(c.path);
        ASSERT_EQ(it != m.digests.end(), c.listed);
        EXPECT_TRUE(!c.listed || it->second == c.digest);
    }
}

TEST(Manifest, NormalPaths) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"/a/./b//c", "/a/b/c"}, {"/a/b/../c", "/a/c"}, {"a/../../b", "../b"},
        {"/../a", "/a"},         {"./x", "x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normalPath(c.in), c.out) << c.in;
}

} // namespace
