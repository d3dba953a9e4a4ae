// How fwsweep runs hbaset: from its own folder, with an argument vector that
// no shell sees, output through a private temporary file that is always
// removed, and the exit status of the child itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

namespace fs = std::filesystem;
using fwtest::StubRun;

TEST(Children, ArgumentVectorsAndTempFiles) {
    StubRun s;
    // A firmware folder and a temp folder with blanks and shell characters.
    std::string images = s.path("my images; $(touch pwned) & x");
    std::string temp = s.path("temp dir > here");
    fs::create_directories(images + "/firmware");
    fs::create_directories(temp);
    s.listattr(fwtest::fleetF());
    s.matrix("CV3C100-FCoE cv3new.ufi\n");
    s.image("../../my images; $(touch pwned) & x/firmware/cv3new.ufi", "3 4.6.281.8");
    hbatest::RunResult r = s.run({"/update", "/id=" + images}, {{"TEMP", temp}});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::vector<std::string> calls = s.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "listattr\t/c");
    EXPECT_EQ(calls[1], "download\tn=1\ti=" + images + "/firmware/cv3new.ufi");
    EXPECT_FALSE(fs::exists(s.path("pwned")));
    EXPECT_FALSE(fs::exists(s.bin() + "pwned"));
    // Every temporary file was removed.
    EXPECT_TRUE(fs::is_empty(temp));

    // /vpd lists without "/c".
    StubRun v;
    v.listattr(fwtest::fleetF());
    v.matrix("x\n");
    v.run({"/vpd", "/q"});
    ASSERT_FALSE(v.calls().empty());
    EXPECT_EQ(v.calls()[0], "listattr");
}

TEST(Children, ListingOfAChildKilledBySignalIsNotUsed) {
    StubRun s;
    s.listattr(fwtest::fleetF(), -9);
    s.matrix("x\n");
    hbatest::RunResult r = s.run({"/q"});
    EXPECT_EQ(r.exit_code, 5) << r.out;
}

TEST(Children, WholeDownloadOutputIsRead) {
    // The deciding line comes after more than 5120 bytes of progress text.
    StubRun s;
    s.listattr(fwtest::fleetF());
    s.matrix("CV3C100-FCoE cv3new.ufi\n");
    s.image("cv3new.ufi", "3 4.6.281.8");
    std::string progress;
    for (int i = 0; i < 200; ++i)
        progress += "Writing flash block " + std::to_string(i) + " of 200 .......\n";
    ASSERT_GT(progress.size(), 5120u);
    s.download(0, 0, progress + "Command completed, NO Error\n");
    hbatest::RunResult r = s.run({"/update"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("Please reboot"), std::string::npos);
}

} // namespace
