// hbaset as a process: the command list, help texts, unknown commands,
// argument limits and script runs with their log file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using hbatest::RunResult;
using hbatest::TempState;

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class InterpProcess : public ::testing::Test {
  protected:
    void SetUp() override { state.init(); }
    RunResult hbaset(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, {}, state.dir());
    }
    TempState state;
};

const char* const kListHead = "Available Commands:\n    @                   changepersonality   ";
const char* const kListTail =
    "    writevlanprops      \nEnter hbaset.exe help <command> for command syntax display\n";

TEST_F(InterpProcess, CommandList) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"listhba", "help"}, {"reset", "n=1", "HELP"}}) {
        RunResult r = hbaset(args);
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(r.out.find(kListHead), 0u) << r.out;
        EXPECT_EQ(r.out.find(kListTail), r.out.size() - std::string(kListTail).size()) << r.out;
        EXPECT_EQ(count(r.out, "\n"), 14u) << r.out;
    }
}

TEST_F(InterpProcess, HelpCommand) {
    RunResult r = hbaset({"help", "setbootdevice"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("Syntax: setbootdevice <n=adapter> <w0=WWPN 0> <w1=WWPN 1> <l=LUN> "
                         "<t=topology>\n\tn:  Adapter number\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\t    3 - Auto - Point-to-Point First\n\n"), std::string::npos);
    EXPECT_NE(r.out.find("Command completed, NO Error"), std::string::npos);

    r = hbaset({"help", "getbootparams"});
    EXPECT_EQ(r.exit_code, 27) << r.out;
    EXPECT_NE(r.out.find("Syntax Error\n"), std::string::npos);
    EXPECT_NE(r.out.find("Reported Error of 27"), std::string::npos);
}

TEST_F(InterpProcess, UnknownCommandAndArgumentLimits) {
    RunResult r = hbaset({"foo"});
    EXPECT_EQ(r.exit_code, 26);
    EXPECT_NE(r.out.find("% Unknown command: FOO\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Reported Error of 26"), std::string::npos) << r.out;

    // Nineteen arguments are taken, twenty are not.
    std::vector<std::string> args = {"QRLXZZZ", "614"};
    while (args.size() < 19)
        args.push_back("x");
    r = hbaset(args);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    args.push_back("x");
    r = hbaset(args);
    EXPECT_EQ(r.exit_code, 27) << r.out;
    EXPECT_NE(r.out.find("Invalid number of arguments"), std::string::npos) << r.out;

    // An argument of 255 characters is refused; 254 are taken.
    r = hbaset({"listcna", std::string(254, 'a')});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::string longArg(255, 'a');
    r = hbaset({"listcna", longArg});
    EXPECT_EQ(r.exit_code, 51) << r.out;
    EXPECT_NE(r.out.find("Invalid argument length:\n" + longArg.substr(0, 200)), std::string::npos);
}

TEST_F(InterpProcess, ScriptRun) {
    struct Case {
        const char* name;
        std::string script;
        int exitCode;
        std::string present;
        size_t times;
    };
    const Case cases[] = {
        {"repeat", "listcna\nrepeat r=2\nfoo\n", 0, "Command: listcna\n", 3},
        {"last status", "listcna\nfoo\n", 26, "Reported Error of 26\n", 1},
        {"comments and blanks", "; a comment\n\n   \nlistcna\n", 0, "Command: ", 1},
        {"non-numeric repeat", "repeat r=two\n", 57, "Non-Numeric Input Parameter\n", 1},
        {"too long line", std::string(200, 'x') + "\n", 51, "Invalid argument length", 1},
        {"script-only commands", "screendisplay o=1\nlogfile l=other.txt\n", 0,
         "Command completed, NO Error\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbatest::write_file(state.path("s.txt"), c.script);
        RunResult r = hbaset({"@s.txt"});
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_EQ(count(r.out, c.present), c.times) << r.out;
        EXPECT_NE(r.out.find("Run Script File s.txt\n"), std::string::npos) << r.out;
    }
    std::string log = hbatest::read_file(state.path("hbasetlog.txt"));
    EXPECT_EQ(count(log, ">>>>>>> Test Script starts on "), std::size(cases));
    EXPECT_EQ(count(log, ">>>>>>> Test Script stops on "), std::size(cases) - 2);
    EXPECT_NE(hbatest::read_file(state.path("other.txt")).find(">>>>>>> Test Script stops on "),
              std::string::npos);

    RunResult r = hbaset({"@missing.txt"});
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.out.find("Error opening missing.txt!\n"), std::string::npos) << r.out;
}

} // namespace
