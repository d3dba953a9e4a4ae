// WWN commands on a classic-path and an SLI-4 function, run as processes: the
// validity rule, names written and listed, the save file, restores, volatile
// names across restoreNVWWN and a reboot, and the prompts of writeWWN and the
// factory command fed from standard input.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "hbaset/fcmaint/wwn.h"
#include "tests/hbaset_boot/boot_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

const char kFactory[] =
    " factory_wwn = 10:00:00:11:22:33:44:55 wwpn = 10:00:00:11:22:33:44:55 wwnn = "
    "20:00:00:11:22:33:44:55";

struct Path {
    const char* name;
    const char* keys;
    const char* suffix; // of the SLI-4 operation names
    // Region 0 names after "10000000 C9AABBCC" / "20000011 22334455".
    const char* region0;
};
void PrintTo(const Path& c, std::ostream* os) {
    *os << c.name;
}

const Path kPaths[] = {
    {"classic", boot::kClassic, "", "00000010 CCBBAAC9 11000020 55443322"},
    {"SLI-4", boot::kSli4, "4", "10000000 C9AABBCC 20000011 22334455"},
};

std::string names(const std::vector<uint8_t>& r0) {
    if (r0.size() < 16) return "";
    std::string h = boot::hex(r0).substr(0, 32);
    return h.substr(0, 8) + " " + h.substr(8, 8) + " " + h.substr(16, 8) + " " + h.substr(24, 8);
}

std::string listed(const std::string& kind, const std::string& wwpn, const std::string& wwnn) {
    return "\n  " + kind + " WWPN: " + wwpn + ", WWNN: " + wwnn + "\n";
}

class WwnPaths : public ::testing::TestWithParam<Path> {
  protected:
    void SetUp() override { state_.init(boot::fleet(std::string(GetParam().keys) + kFactory)); }
    std::string file(const char* name) { return state_.path(name); }
    TempState state_;
};

TEST(WwnValidity, FirstTwoBytesDecide) {
    struct Case {
        uint32_t word0;
        bool valid;
    } const cases[] = {
        {0x10000000, true},  {0x10010000, false}, {0x11000000, false}, {0x10000001, true},
        {0x20000000, true},  {0x2F123456, true},  {0x30000000, true},  {0x50060B00, true},
        {0x60000000, false}, {0x00000000, false}, {0x40000000, false}, {0xC0000000, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wwnValid(c.word0), c.valid) << std::hex << c.word0;
}

TEST_P(WwnPaths, ScriptWwpnIsWrittenAndListedInANewProcess) {
    const Path& p = GetParam();
    RunResult set = boot::hbaset({"scriptWWPN", "n=1", "w0=10000000", "w1=C9AABBCC"});
    EXPECT_EQ(set.exit_code, 0) << set.out;
    EXPECT_EQ(boot::body(set.out), "scriptWWPN on Adapter 1 Completed\n"
                                   "Please REBOOT the system now to activate the new WWN\n");
    EXPECT_EQ(names(boot::region(0)), p.region0);
    EXPECT_EQ(boot::attr("wwpn"), "10:00:00:00:C9:AA:BB:CC");

    RunResult list = boot::hbaset({"listWWN", "n=1"});
    EXPECT_EQ(list.exit_code, 0) << list.out;
    EXPECT_NE(list.out.find("  Factory IEEE: 10000011 22334455 " +
                            listed("Non-Volatile", "10000000 C9AABBCC", "20000011 22334455")),
              std::string::npos)
        << list.out;
}

TEST_P(WwnPaths, InvalidNamesAreRefusedAndNothingIsWritten) {
    const Path& p = GetParam();
    std::vector<uint8_t> before = boot::region(0);
    hbasim::journal_clear();
    for (const char* w0 : {"w0=00000000", "w0=10010000", "w0=60000000"}) {
        RunResult r = boot::hbaset({"scriptWWPN", "n=1", w0, "w1=00000001"});
        EXPECT_EQ(r.exit_code, 58) << w0;
        EXPECT_EQ(boot::body(r.out),
                  std::string("changeWWN") + p.suffix +
                      ": Invalid Non-Volatile WWN\nscriptWWPN on Adapter 1 failed\n")
            << w0;
    }
    RunResult node = boot::hbaset({"scriptWWNN", "n=1", "w0=00000000", "w1=00000000"});
    EXPECT_EQ(node.exit_code, 58);
    std::string bad = file("bad.wwn");
    hbatest::write_file(bad, std::string("\x00\x00\x00\x60\x01\x00\x00\x00", 8));
    RunResult restore = boot::hbaset({"restoreWWN", "n=1", "c=" + bad});
    EXPECT_EQ(restore.exit_code, 58);
    EXPECT_EQ(boot::mailboxCount("WRITE_NV"), 0u);
    EXPECT_EQ(boot::region(0), before);
}

TEST_P(WwnPaths, SaveFileHoldsTheFactoryAddressAsLittleEndianWords) {
    const Path& p = GetParam();
    std::string saved = file("ieee.bin");
    RunResult save = boot::hbaset({"saveWWN", "n=1", "c=" + saved});
    EXPECT_EQ(save.exit_code, 0) << save.out;
    EXPECT_EQ(boot::body(save.out), "");
    EXPECT_EQ(hbatest::read_file(saved), std::string("\x11\x00\x00\x10\x55\x44\x33\x22", 8));

    // Change the names, then restore them from the file.
    ASSERT_EQ(boot::hbaset({"scriptWWPN", "n=1", "w0=10000000", "w1=C9AABBCC"}).exit_code, 0);
    RunResult restore = boot::hbaset({"restoreWWN", "n=1", "c=" + saved});
    EXPECT_EQ(restore.exit_code, 0) << restore.out;
    EXPECT_EQ(boot::attr("wwpn"), "10:00:00:11:22:33:44:55");
    EXPECT_EQ(boot::attr("wwnn"), "20:00:00:11:22:33:44:55");

    std::string shortFile = file("short.bin");
    hbatest::write_file(shortFile, std::string("\x11\x00\x00\x10\x55\x44\x33", 7));
    RunResult tooShort = boot::hbaset({"restoreWWN", "n=1", "c=" + shortFile});
    EXPECT_EQ(tooShort.exit_code, 32);
    EXPECT_EQ(boot::body(tooShort.out),
              std::string("RestoreWWN") + p.suffix +
                  ": File Too Short error\nrestoreWWN on Adapter 1 failed\n");
    RunResult missing = boot::hbaset({"restoreWWN", "n=1", "c=" + file("none.bin")});
    EXPECT_EQ(missing.exit_code, 4);
}

TEST_P(WwnPaths, RestoreDefWwnUsesTheFactoryAddress) {
    ASSERT_EQ(boot::hbaset({"scriptWWNN", "n=1", "w0=20000000", "w1=C9AABBCC"}).exit_code, 0);
    ASSERT_EQ(boot::hbaset({"scriptWWPN", "n=1", "w0=10000000", "w1=C9AABBCC"}).exit_code, 0);
    RunResult r = boot::hbaset({"restoreDefWWN", "n=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(boot::hbaset({"listWWN"})
                  .out.find(listed("Non-Volatile", "10000011 22334455", "20000011 22334455")),
              std::string::npos);
}

TEST_P(WwnPaths, VolatileNamesUntilRestoreNvWwnOrReboot) {
    RunResult set = boot::hbaset({"scriptVWWPN", "n=1", "w0=10000000", "w1=C9000001"});
    ASSERT_EQ(set.exit_code, 0) << set.out;
    EXPECT_EQ(boot::attr("wwpn"), "10:00:00:11:22:33:44:55") << "NV names unchanged";
    std::string volatileLine = listed("Volatile", "10000000 C9000001", "20000011 22334455");
    std::string nvLine = listed("Non-Volatile", "10000011 22334455", "20000011 22334455");
    EXPECT_NE(boot::hbaset({"listWWN", "n=1"}).out.find(volatileLine), std::string::npos);

    RunResult clear = boot::hbaset({"restoreNVWWN", "n=1"});
    EXPECT_EQ(clear.exit_code, 0) << clear.out;
    EXPECT_NE(boot::hbaset({"listWWN", "n=1"}).out.find(nvLine), std::string::npos);

    ASSERT_EQ(boot::hbaset({"scriptVWWNN", "n=1", "w0=20000000", "w1=C9000002"}).exit_code, 0);
    EXPECT_NE(boot::hbaset({"listWWN", "n=1"}).out.find("\n  Volatile WWPN: "), std::string::npos);
    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbasim"), {"reboot"}).exit_code, 0);
    EXPECT_NE(boot::hbaset({"listWWN", "n=1"}).out.find(nvLine), std::string::npos);
}

TEST_P(WwnPaths, WriteWwnPromptsReadStandardInput) {
    RunResult ok =
        boot::hbasetWithInput("10000000\\nC9000001\\n20000000\\nC9000002\\n", {"writeWWN", "n=1"});
    EXPECT_EQ(ok.exit_code, 0) << ok.out;
    EXPECT_EQ(boot::body(ok.out), "Write WWN for adapter 1: \n"
                                  "Enter or Scan value for WWPN word 0 now\n"
                                  "Enter or Scan value for WWPN word 1 now\n"
                                  "Enter or Scan value for WWNN word 0 now\n"
                                  "Enter or Scan value for WWNN word 1 now\n"
                                  "writeWWN on Adapter 1 Completed\n"
                                  "Please REBOOT the system now to activate the new WWN\n");
    EXPECT_EQ(boot::attr("wwpn"), "10:00:00:00:C9:00:00:01");
    EXPECT_EQ(boot::attr("wwnn"), "20:00:00:00:C9:00:00:02");

    struct Case {
        const char* input;
        int exit;
        const char* message;
    } const cases[] = {
        {"10000000\\n", 43, "Incorrect Input length for WWN\n"}, // input ends after one word
        {"1000000\\n", 43, "Incorrect Input length for WWN\n"},
        {"1000000G\\n", 43, "Non-Numeric Input\n"},
        {"40000000\\nC9000001\\n20000000\\nC9000002\\n", 43, "Invalid Non-Volatile WWN\n"},
    };
    hbasim::journal_clear();
    for (const Case& c : cases) {
        RunResult r = boot::hbasetWithInput(c.input, {"writeWWN", "n=1"});
        EXPECT_EQ(r.exit_code, c.exit) << c.input;
        EXPECT_NE(r.out.find(std::string(c.message) + "writeWWN on Adapter 1 failed\n"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_EQ(boot::mailboxCount("WRITE_NV"), 0u);
}

TEST_P(WwnPaths, FactoryCommandWritesTheIeeeAddress) {
    const Path& p = GetParam();
    RunResult r =
        boot::hbasetWithInput("1\\n60000000\\n10000000\\nC9000009\\n", {"QRLX614PUTFACTRY"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(boot::body(r.out), "Enter the selected adapter number now\n"
                                 "Write IEEE for adapter 1: \n"
                                 "Enter value for IEEE word 0 now\n"
                                 "Invalid WWN value. Try again\n"
                                 "10000000\n"
                                 "Enter value for IEEE word 1 now\n"
                                 "Finished writing IEEE for adapter 1\n"
                                 "\nGoing to RESET this adapter\n");
    bool sli4 = std::string(p.suffix) == "4";
    EXPECT_EQ(boot::hex(boot::region(sli4 ? 32 : 16)),
              sli4 ? "10000000C9000009" : "00000010090000C9");
    EXPECT_NE(boot::hbaset({"listWWN", "n=1"}).out.find("  Factory IEEE: 10000000 C9000009 "),
              std::string::npos);

    RunResult eof = boot::hbasetWithInput("1\\n60000000\\n", {"QRLX614PUTFACTRY"});
    EXPECT_EQ(eof.exit_code, 27) << "no spinning retry at the end of input";
    RunResult range = boot::hbasetWithInput("2\\n", {"QRLX614PUTFACTRY"});
    EXPECT_EQ(range.exit_code, 1);
    EXPECT_NE(range.out.find("Invalid Adapter Number\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Paths, WwnPaths, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<Path>& i) {
                             return std::string(i.param.suffix[0] ? "Sli4" : "Classic");
                         });

} // namespace
