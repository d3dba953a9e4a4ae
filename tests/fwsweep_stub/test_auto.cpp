// Auto mode: which image of the firmware folder each adapter gets (type,
// ASIC revision, the downgrade walk), and the folder's order.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

using fwtest::Fn;
using fwtest::StubRun;

const std::string kName63 = std::string(59, 'n') + ".ufi";
const std::string kName64 = std::string(60, 'n') + ".ufi";

struct Image {
    const char* name;
    const char* build;
    int asic;
};

Fn function(int n, unsigned device, const char* serial, unsigned bus, const char* fw, unsigned rev,
            int cvr) {
    Fn f;
    f.n = n, f.device = device, f.serial = serial, f.bus = bus, f.fw = f.boot = fw, f.rev = rev;
    f.cvr = cvr;
    f.model = device >= 0x0720 ? "TRN4100" : "CV3C100";
    return f;
}

// The image file downloaded to each adapter, in order.
std::vector<std::string> downloaded(const StubRun& s) {
    std::vector<std::string> out;
    for (const std::string& c : s.calls()) {
        size_t i = c.find("\ti=");
        if (c.rfind("download", 0) == 0 && i != std::string::npos)
            out.push_back(std::filesystem::path(c.substr(i + 3)).filename().string());
    }
    return out;
}

TEST(AutoMode, ImageChoice) {
    const std::vector<Image> cvImages = {{"a.ufi", "3 4.8.0.0", 0},
                                         {"b.ufi", "3 4.7.0.0", 17},
                                         {"c.ufi", "3 4.6.0.0", 16},
                                         {"t1.ufi", "4 5.0.0.0", 0},
                                         {"t2.ufi", "4 4.9.0.0", 16}};
    const struct {
        const char* name;
        std::vector<Fn> fns;
        std::vector<Image> images;
        std::vector<std::string> args;
        std::vector<std::string> want;
        int rc;
    } cases[] = {
        {"CV3-R and Tarnel at revision 0x10",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x10, 1),
          function(2, 0x0720, "T", 0x40, "4.2.0.0", 0x10, 1)},
         cvImages,
         {"/auto", "/update"},
         {"b.ufi", "t2.ufi"},
         0},
        {"CV3-R P2 (0x11 and above)",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x11, 1)},
         cvImages,
         {"/auto", "/update"},
         {"b.ufi"},
         0},
        {"CV3 without the revision takes the highest CV3 image",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x02, 0)},
         cvImages,
         {"/auto", "/update"},
         {"a.ufi"},
         0},
        {"downgrade walks to the next lower version",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x02, 0)},
         {{"b.ufi", "3 4.2.0.0", 0}, {"c.ufi", "3 4.1.0.0", 0}, {"a.ufi", "3 4.0.0.0", 0}},
         {"/auto", "/downgrade"},
         {"c.ufi"},
         0},
        {"downgrade skips images the adapter refuses",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x10, 1)},
         {{"b.ufi", "3 4.2.0.0", 16}, {"c.ufi", "3 4.1.0.0", 0}, {"a.ufi", "3 4.0.0.0", 16}},
         {"/auto", "/downgrade"},
         {"a.ufi"},
         0},
        {"nothing lower",
         {function(1, 0x0710, "A", 0x30, "4.0.0.0", 0x02, 0)},
         {{"b.ufi", "3 4.2.0.0", 0}, {"a.ufi", "3 4.0.0.0", 0}},
         {"/auto", "/downgrade"},
         {},
         1},
        {"no image of the adapter's kind",
         {function(1, 0x0720, "T", 0x40, "4.2.0.0", 0x10, 1)},
         {{"a.ufi", "3 4.8.0.0", 0}, {"t1.ufi", "4 5.0.0.0", 0}},
         {"/auto", "/update"},
         {},
         7},
        // Image names are kept in 63 characters; a longer one is skipped,
        // never cut to the name of another file.
        {"a name of 64 characters is skipped",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x02, 0)},
         {{kName64.c_str(), "3 4.8.0.0", 0}, {"b.ufi", "3 4.7.0.0", 0}},
         {"/auto", "/update"},
         {"b.ufi"},
         0},
        {"a name of 63 characters is taken",
         {function(1, 0x0710, "A", 0x30, "4.2.0.0", 0x02, 0)},
         {{kName63.c_str(), "3 4.8.0.0", 0}, {"b.ufi", "3 4.7.0.0", 0}},
         {"/auto", "/update"},
         {kName63},
         0},
        {"one download per physical adapter",
         {function(1, 0x0712, "A", 0x30, "4.2.0.0", 0x02, 0),
          function(2, 0x0710, "A", 0x30, "4.2.0.0", 0x02, 0)},
         {{"a.ufi", "3 4.8.0.0", 0}},
         {"/auto", "/update"},
         {"a.ufi"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        s.listattr(c.fns);
        for (const Image& i : c.images)
            s.image(i.name, i.build, i.asic);
        hbatest::write_file(s.bin() + "firmware/notes.txt", "not an image");
        hbatest::RunResult r = s.run(c.args);
        EXPECT_EQ(r.exit_code, c.rc) << r.out;
        EXPECT_EQ(downloaded(s), c.want) << r.out;
    }
}

TEST(AutoMode, MissingFirmwareFolderMeansNoCompatibleFirmware) {
    StubRun s;
    s.listattr(fwtest::fleetF());
    std::filesystem::remove_all(s.bin() + "firmware");
    hbatest::RunResult r = s.run({"/auto", "/update"});
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("No compatible firmware found - Return Code=7"), std::string::npos);
}

} // namespace
