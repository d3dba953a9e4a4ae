// How fwsweep runs hbaset: from its own folder, with an argument vector that
// no shell sees, output through a temporary file that never has a name, the
// exit status of the child itself, and, as root, only when nobody else can
// change the program. The files fwsweep opens by name: special files refused
// at once, links never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
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

TEST(Children, NoTemporaryFileOutlivesAKill) {
    const struct {
        const char* name;
        int listattrRc;
        std::string download; // the download answer, "" none
        int rc;               // fwsweep's exit code (-1: it was killed)
    } cases[] = {
        {"listing child killed", -9, "", 5},
        {"download child killed", 0, "-9\nCommand completed, NO Error\n", 2},
        {"fwsweep killed while its child runs", 0, "kill-parent\n", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        std::string temp = s.path("temp");
        fs::create_directories(temp);
        s.listattr(fwtest::fleetF(), c.listattrRc);
        s.matrix("CV3C100-FCoE cv3new.ufi\n");
        s.image("cv3new.ufi", "3 4.6.281.8");
        if (!c.download.empty()) hbatest::write_file(s.path("stub/download.txt"), c.download);
        hbatest::RunResult r = s.run({"/update"}, {{"TEMP", temp}});
        EXPECT_EQ(r.exit_code, c.rc) << r.out;
        EXPECT_TRUE(fs::is_empty(temp));
    }
}

TEST(Children, AsRootOnlyAProgramNobodyElseCanChange) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the rule applies to root only";
    }
    const struct {
        const char* name;
        std::function<void(StubRun&)> change;
        const char* why;
    } cases[] = {
        {"bin folder writable by group",
         [](StubRun& s) {
             fs::permissions(s.bin(), fs::perms::group_write, fs::perm_options::add);
         },
         "bin is writable by group or others"},
        {"hbaset writable by others",
         [](StubRun& s) {
             fs::remove(s.bin() + "hbaset");
             fs::copy_file(hbatest::bin_path("fwsweep_stub_hbaset"), s.bin() + "hbaset");
             fs::permissions(s.bin() + "hbaset", fs::perms::others_write, fs::perm_options::add);
         },
         "hbaset is writable by group or others"},
        {"hbaset of another user",
         [](StubRun& s) {
             fs::remove(s.bin() + "hbaset");
             fs::copy_file(hbatest::bin_path("fwsweep_stub_hbaset"), s.bin() + "hbaset");
             ASSERT_EQ(chown((s.bin() + "hbaset").c_str(), 65534, 65534), 0);
         },
         "hbaset is not owned by root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        s.listattr(fwtest::fleetF());
        s.matrix("x\n");
        c.change(s);
        hbatest::RunResult r = s.run({"/q"});
        EXPECT_EQ(r.exit_code, 5);
        EXPECT_NE(r.out.find("Error - refusing to run " + s.bin() + "hbaset: "), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(c.why), std::string::npos) << r.out;
        EXPECT_TRUE(s.calls().empty());
    }
}

TEST(Children, SpecialFilesAreRefusedAtOnce) {
    // Each of these would block a plain open for ever.
    const struct {
        const char* name;
        const char* fifo; // relative to the bin folder
        std::vector<std::string> args;
        int rc;
        const char* text;
    } cases[] = {
        {"matrix file", "fwmatrix.txt", {"/q"}, 2, "fwmatrix.txt: not a regular file"},
        {"image version file",
         "firmware/x.ufi",
         {"/iv=firmware/x.ufi"},
         19,
         "x.ufi: not a regular file"},
        {"image named in the matrix",
         "firmware/x.ufi",
         {"/update", "/v"},
         7,
         "Error - reading firmware image for HBA = CV3C100-FCoE"},
        {"image in the auto folder", "firmware/a.ufi", {"/auto", "/update"}, 0, "Skipping "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        s.listattr(fwtest::fleetF());
        s.matrix("CV3C100-FCoE x.ufi\n");
        s.image("b.ufi", "3 4.6.281.8");
        fs::remove(s.bin() + c.fifo);
        ASSERT_EQ(mkfifo((s.bin() + c.fifo).c_str(), 0600), 0);
        std::vector<std::string> args = c.args;
        for (std::string& a : args)
            if (a.rfind("/iv=", 0) == 0) a = "/iv=" + s.bin() + a.substr(4);
        hbatest::RunResult r = s.run(args);
        EXPECT_EQ(r.exit_code, c.rc) << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
    }
}

TEST(Children, WrittenFilesAreNeverFollowedThroughALink) {
    StubRun s;
    s.listattr(fwtest::fleetF());
    s.matrix("x\n");
    std::string target = s.path("target");
    hbatest::write_file(target, "keep\n");
    fs::create_symlink(target, s.path("link.log"));
    fs::create_symlink(target, s.path("dbg.log")); // /xv writes dbg.log in the current folder
    hbatest::RunResult log = s.run({"/q", "/log=" + s.path("link.log")});
    EXPECT_EQ(log.exit_code, 4);
    EXPECT_NE(log.out.find("Error - unable to open logfile " + s.path("link.log") +
                           ": a symbolic link - Return Code=4"),
              std::string::npos)
        << log.out;
    hbatest::RunResult dbg = s.run({"/q", "/xv"});
    EXPECT_NE(dbg.out.find("Error - unable to open dbg.log!"), std::string::npos) << dbg.out;
    EXPECT_EQ(hbatest::read_file(target), "keep\n");
    // A new log file is private to its owner, whatever the umask.
    s.run({"/q", "/log=" + s.path("new.log")});
    EXPECT_EQ(fs::status(s.path("new.log")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
