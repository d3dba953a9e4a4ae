// SHA256SUMS against the stub hbaset: with a manifest in the firmware or the
// matrix folder (or /verify), exactly the images whose digest is wrong or
// missing are refused before anything is flashed, each with its own status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/report_check.h"
#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

namespace fs = std::filesystem;
using fwtest::Fn;
using fwtest::StubRun;
using nlohmann::json;

const std::string kWrong(64, '0');

// Fleet F (a CV3 adapter) and a Tarnel NIC, each with its own image.
void twoAdapters(StubRun& s) {
    std::vector<Fn> fns = fwtest::fleetF();
    Fn t;
    t.n = 4, t.device = 0x0720, t.model = "TRN4100", t.serial = "T1", t.bus = 0x40;
    t.fw = t.boot = "5.0.0.0";
    fns.push_back(t);
    s.listattr(fns);
    s.matrix("CV3C100-FCoE cv3new.ufi\nTRN4100-NIC t.ufi\n");
    s.image("cv3new.ufi", "3 4.6.281.8");
    s.image("t.ufi", "4 5.1.0.0");
}

TEST(Digests, ManifestRefusesExactlyTheBadImage) {
    enum Where { NONE, FIRMWARE, MATRIX, FIFO };
    const struct {
        const char* name;
        Where where;
        bool goodCv3, listCv3;
        std::vector<std::string> args;
        int cv3Status; // 1: flashed, reboot needed
        size_t downloads;
        int rc;
    } cases[] = {
        {"no manifest", NONE, true, true, {}, 1, 2, 0},
        {"every digest right", FIRMWARE, true, true, {}, 1, 2, 0},
        {"a wrong digest", FIRMWARE, false, true, {}, 25, 1, 3},
        {"an image not listed", FIRMWARE, true, false, {}, 26, 1, 3},
        {"manifest of the matrix folder", MATRIX, false, true, {}, 25, 1, 3},
        {"/verify without a manifest", NONE, true, true, {"/verify"}, 27, 0, 2},
        {"a manifest that is a FIFO", FIFO, true, true, {}, 27, 0, 2},
        {"preview", FIRMWARE, false, true, {"/p"}, 25, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        twoAdapters(s);
        std::string dir = c.where == MATRIX ? s.bin() : s.bin() + "firmware/";
        std::string prefix = c.where == MATRIX ? "firmware/" : "";
        std::string manifest =
            fwtest::sha256Of(s.bin() + "firmware/t.ufi") + "  " + prefix + "t.ufi\n";
        if (c.listCv3)
            manifest += (c.goodCv3 ? fwtest::sha256Of(s.bin() + "firmware/cv3new.ufi") : kWrong) +
                        " *" + prefix + "cv3new.ufi\n";
        if (c.where == FIRMWARE || c.where == MATRIX)
            hbatest::write_file(dir + "SHA256SUMS", manifest);
        if (c.where == FIFO) {
            ASSERT_EQ(mkfifo((dir + "SHA256SUMS").c_str(), 0600), 0);
        }
        std::vector<std::string> args = {"/update"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        StubRun::JsonRun j = s.runJson(args);
        ASSERT_FALSE(j.doc.is_null());
        EXPECT_EQ(j.r.exit_code, c.rc) << j.r.err;
        EXPECT_EQ(s.downloads(), c.downloads);
        ASSERT_EQ(j.doc["adapters"].size(), 2u);
        EXPECT_EQ(j.doc["adapters"][0]["components"]["firmware"]["status"], c.cv3Status);
        // The refused image never reached hbaset.
        for (const std::string& call : s.calls())
            EXPECT_TRUE(c.cv3Status <= 17 || call.find("cv3new.ufi") == std::string::npos);
    }
}

TEST(Digests, RefusalIsNamedInTheTextReport) {
    StubRun s;
    twoAdapters(s);
    hbatest::write_file(s.bin() + "firmware/SHA256SUMS", kWrong + "  cv3new.ufi\n");
    hbatest::RunResult r = s.run({"/update"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.out.find("fwsweep.exe: Error - " + s.bin() +
                         "firmware/cv3new.ufi does not match its digest in " + s.bin() +
                         "firmware/SHA256SUMS; not flashed on HBA = CV3C100-FCoE"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("t.ufi is not listed in"), std::string::npos) << r.out;
    EXPECT_EQ(s.downloads(), 0u);
}

} // namespace
