// Files hbaset is given by name, as a process sees them: a FIFO (or any file
// that is not a regular file) in place of an image, a script, a WWN, VPD or
// PHY file is refused at once with the command's file error; a link planted
// where hbaset writes its log or saves adapter data is never followed; and a
// save whose adapter read fails keeps the earlier backup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

using hbatest::RunResult;

// HBA 1: an FC adapter outside the Brevin family (PRG and AIF images, PHY
// loads); HBA 2: a Brevin FC function (.GRP); HBA 3-4: a CV3 adapter's FCoE
// and NIC functions (.UFI on the NIC function).
const char kFleet[] = "adapter P fc\n"
                      "function fc device_id = 0xF100 hw_type = 4100\n"
                      "adapter B brevin\n"
                      "function fc\n"
                      "adapter C cv3\n"
                      "function fcoe\n"
                      "function nic\n";

class NamedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        state_.init(kFleet);
        hbatest::write_file(victim(), "victim\n");
    }
    RunResult hbaset(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, {}, state_.dir());
    }
    std::string at(const std::string& name) const { return state_.path(name); }
    std::string victim() const { return at("victim"); }
    hbatest::TempState state_;
};

TEST_F(NamedFiles, SpecialFilesAreRefusedWithTheFileError) {
    for (const char* name : {"fifo", "fifo.prg", "fifo.ALL", "fifo.grp", "fifo.ufi"})
        ASSERT_EQ(mkfifo(at(name).c_str(), 0600), 0) << name;
    const struct {
        std::vector<std::string> args;
        const char* file;
        int exit;
    } cases[] = {
        {{"download", "n=1", "i=fifo.prg"}, "fifo.prg", 7},
        {{"download", "n=1", "i=fifo.ALL"}, "fifo.ALL", 7},
        {{"download", "n=2", "i=fifo.grp"}, "fifo.grp", 70}, // a .GRP the verifier cannot read
        {{"download", "n=4", "i=fifo.ufi"}, "fifo.ufi", 7},
        {{"writeVPD", "n=1", "c=fifo"}, "fifo", 4},
        {{"restoreWWN", "n=1", "c=fifo"}, "fifo", 4},
        {{"loadimage", "n=1", "i=fifo", "t=1"}, "fifo", 4},
        {{"@fifo"}, "fifo", 4},
        {{"download", "n=1", "i=."}, ".", 7}, // a directory
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.file);
        RunResult r = hbaset(c.args);
        EXPECT_EQ(r.exit_code, c.exit) << r.out;
        EXPECT_NE(r.out.find(std::string(c.file) + " is not a regular file: refused\n"),
                  std::string::npos)
            << r.out;
    }
}

TEST_F(NamedFiles, PlantedLinksAreNeverWrittenThrough) {
    fs::create_symlink(victim(), at("wwn.bin"));
    fs::create_symlink(victim(), at("vpd.bin"));
    fs::create_symlink(victim(), at("hbasetlog.txt"));
    fs::create_symlink(victim(), at("other.log"));
    hbatest::write_file(at("script.txt"), "listwwn n=1\nlogfile l=other.log\n");
    const struct {
        std::vector<std::string> args;
        const char* refused; // the refusal line
        int exit;
    } cases[] = {
        {{"saveWWN", "n=1", "c=wwn.bin"}, "wwn.bin is a symbolic link: refused\n", 4},
        {{"saveVPD", "n=1", "i=vpd.bin"}, "vpd.bin is a symbolic link: refused\n", 4},
        // The script runs without its default log; a logfile naming a link fails.
        {{"@script.txt"}, "hbasetlog.txt is a symbolic link: refused\n", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = hbaset(c.args);
        EXPECT_EQ(r.exit_code, c.exit) << r.out;
        EXPECT_NE(r.out.find(c.refused), std::string::npos) << r.out;
    }
    EXPECT_EQ(hbatest::read_file(victim()), "victim\n");
    for (const char* name : {"wwn.bin", "vpd.bin", "hbasetlog.txt", "other.log"})
        EXPECT_TRUE(fs::is_symlink(at(name))) << name;
}

TEST_F(NamedFiles, SavedFilesAreReplacedOnlyByAGoodSave) {
    RunResult r = hbaset({"saveWWN", "n=1", "c=wwn.bin"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string backup = hbatest::read_file(at("wwn.bin"));
    ASSERT_EQ(backup.size(), 8u);
    EXPECT_EQ(fs::status(at("wwn.bin")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    // Region reads fail from now on: the save fails and the backup stays.
    RunResult fault =
        hbatest::run(hbatest::bin_path("hbasim"), {"fault", "add", "mbx", "DUMP", "status=1"});
    ASSERT_EQ(fault.exit_code, 0) << fault.out << fault.err;
    r = hbaset({"saveWWN", "n=1", "c=wwn.bin"});
    EXPECT_EQ(r.exit_code, 30) << r.out;
    EXPECT_EQ(hbatest::read_file(at("wwn.bin")), backup);
    r = hbaset({"saveVPD", "n=1", "i=wwn.bin"});
    EXPECT_EQ(r.exit_code, 30) << r.out;
    EXPECT_EQ(hbatest::read_file(at("wwn.bin")), backup);
    for (const auto& e : fs::directory_iterator(state_.dir()))
        EXPECT_EQ(e.path().filename().string().find("wwn.bin.tmp."), std::string::npos);
}

} // namespace
