// --help, -h and --version of the four programs: a short text on standard
// output, nothing on standard error, status 0, and nothing else run first (no
// administrator or privilege check, no adapter discovery: they answer for a
// user who may change nothing).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/support.h"

namespace {

TEST(Usage, HelpAndVersionOfEveryProgram) {
    hbatest::TempState st;
    // A registry that refuses every change: hbaset and fwsweep would stop at
    // their privilege checks (78 and 8) if these switches reached them.
    const std::map<std::string, std::string> env = {{"HBASIM_REG_DENY", "1"}};
    for (const std::string program : {"hbaset", "fwsweep", "hbasim", "tgxlist"}) {
        for (const std::string sw : {"--help", "-h"}) {
            hbatest::RunResult r = hbatest::run(hbatest::bin_path(program), {sw}, env);
            EXPECT_EQ(r.exit_code, 0) << program << " " << sw;
            EXPECT_EQ(r.out.rfind("usage: " + program, 0), 0u)
                << program << " " << sw << ": " << r.out;
            EXPECT_EQ(r.err, "") << program << " " << sw;
        }
        hbatest::RunResult v = hbatest::run(hbatest::bin_path(program), {"--version"}, env);
        EXPECT_EQ(v.exit_code, 0) << program;
        EXPECT_EQ(v.out, program + " (hbasuite) " HBA_SUITE_VERSION "\n");
        EXPECT_EQ(v.err, "") << program;
    }
}

// The programs' own help forms stay as they were.
TEST(Usage, OwnHelpFormsUnchanged) {
    hbatest::TempState st;
    hbatest::RunResult list = hbatest::run(hbatest::bin_path("hbaset"), {"help"});
    EXPECT_EQ(list.exit_code, 0);
    EXPECT_EQ(list.out.rfind("Available Commands:\n", 0), 0u) << list.out;
    hbatest::RunResult topic = hbatest::run(hbatest::bin_path("hbaset"), {"help", "reset"});
    EXPECT_NE(topic.out.find("Syntax: reset <n=adapter/all>\n"), std::string::npos) << topic.out;
    hbatest::RunResult slash = hbatest::run(hbatest::bin_path("fwsweep"), {"/?"});
    EXPECT_EQ(slash.exit_code, 0);
    EXPECT_NE(slash.out.find("Quoral CNA Firmware Update Utility"), std::string::npos);
    // Only the first argument is looked at: elsewhere --help is a switch error.
    hbatest::RunResult late = hbatest::run(hbatest::bin_path("fwsweep"), {"/q", "--help"});
    EXPECT_EQ(late.exit_code, 4);
    hbatest::RunResult other = hbatest::run(hbatest::bin_path("tgxlist"), {"--all"});
    EXPECT_EQ(other.exit_code, 2);
    EXPECT_EQ(other.out, "");
}

} // namespace
