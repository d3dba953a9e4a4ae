// hbaset's entry sequence as a process against private machines: help paths,
// the administrator check, argument checks, start-up failures, the NEXA
// channel and its switch, and the final lines of a command run.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/plat_registry.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

using hbatest::RunResult;

const char kFcOnlyFleet[] = "adapter F fc\nfunction fc\nfunction fc\n";

class HbasetEntry : public ::testing::Test {
  protected:
    RunResult hbaset(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {}) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, env, state_.dir());
    }
    // Journal lines of one source ("nexa", "drv") with the process id removed.
    static std::vector<std::string> journal(const std::string& source) {
        std::vector<std::string> out;
        for (const std::string& line : hbasim::journal_lines()) {
            if (line.rfind(source + " ", 0) != 0) continue;
            size_t text = line.find(' ', source.size() + 1);
            out.push_back(text == std::string::npos ? "" : line.substr(text + 1));
        }
        return out;
    }
    static size_t count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            n++;
        return n;
    }
    hbatest::TempState state_;
};

// The command list comes without any adapter discovery on the NEXA side.
TEST_F(HbasetEntry, HelpPathsPrintTheCommandList) {
    state_.init();
    RunResult alone = hbaset({});
    ASSERT_EQ(alone.exit_code, 0) << alone.out;
    EXPECT_NE(alone.out.find("listhba"), std::string::npos) << alone.out;
    EXPECT_EQ(alone.out.find("Command: "), std::string::npos);
    EXPECT_EQ(alone.out.find("Command completed"), std::string::npos);

    const std::vector<std::vector<std::string>> sameList = {
        {"listhba", "help"}, {"help"}, {"download", "n=1", "HELP"}};
    for (const auto& args : sameList) {
        RunResult r = hbaset(args);
        EXPECT_EQ(r.exit_code, 0) << args[0];
        EXPECT_EQ(r.out, alone.out) << args[0];
    }
    EXPECT_TRUE(journal("nexa").empty());

    // "help" followed by a topic is the help command, run after start-up.
    RunResult topic = hbaset({"help", "listhba"});
    EXPECT_EQ(topic.exit_code, 0) << topic.out;
    EXPECT_NE(topic.out.find("Command: help listhba\n"), std::string::npos) << topic.out;
    EXPECT_NE(topic.out.find("Syntax: listhba\n"), std::string::npos) << topic.out;
    EXPECT_EQ(count(topic.out, "Command completed, NO Error\n"), 1u) << topic.out;
}

TEST_F(HbasetEntry, NotAnAdministrator) {
    state_.init();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"listhba"}, std::vector<std::string>{}}) {
        RunResult r = hbaset(args, {{"HBASIM_REG_DENY", "1"}});
        EXPECT_EQ(r.exit_code, 78);
        EXPECT_EQ(r.out, "Not an Administrative user! Exiting...\n");
    }
    // An administrator's run leaves no key behind.
    RunResult r = hbaset({"listcna"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    PlatRegKey key = nullptr;
    EXPECT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\QuoralFieldDDCfg", &key), PLAT_REG_NOT_FOUND);
}

TEST_F(HbasetEntry, ArgumentChecks) {
    state_.init();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* text;
    };
    const std::string longArg(255, 'x');
    const std::vector<Case> cases = {
        {{"listhba", longArg}, 51, "Invalid argument length:\n"},
        {{"help", std::string(254, 'y')}, 27, nullptr}, // not too long: the help command runs
        {{"listhba", "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",
          "10",      "11", "12", "13", "14", "15", "16", "17", "18", "19"},
         27,
         "Invalid number of arguments\n"},
        {{"nosuchcommand"}, 26, "Unknown command: NOSUCHCOMMAND\n"},
    };
    for (const Case& c : cases) {
        RunResult r = hbaset(c.args);
        EXPECT_EQ(r.exit_code, c.exitCode) << c.args[0] << " " << r.out;
        if (c.text) {
            EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
        }
        EXPECT_EQ(r.out.find("Invalid argument length") != std::string::npos, c.exitCode == 51);
    }
    RunResult r = hbaset({"listhba", longArg});
    std::string echoed = "\n";
    echoed += longArg.substr(0, 200);
    EXPECT_NE(r.out.find(echoed), std::string::npos);
}

TEST_F(HbasetEntry, NoAdapterInstalled) {
    state_.init("# a machine without adapters\n");
    RunResult r = hbaset({"listhba"});
    EXPECT_EQ(r.exit_code, 45);
    EXPECT_NE(r.out.find("No Quoral CNA adapters installed\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Command: "), std::string::npos);
}

TEST_F(HbasetEntry, NoCorevaneOnceOnFcOnlyFleet) {
    state_.init(kFcOnlyFleet);
    RunResult r = hbaset({"listhba"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(count(r.out, "No Corevane\n"), 1u) << r.out;
    EXPECT_LT(r.out.find("No Corevane"), r.out.find("Command: listhba"));

    for (const std::vector<std::string>& args : {std::vector<std::string>{"listhba", "/nonexa"},
                                                 std::vector<std::string>{"listcna", "/nonexa"}}) {
        hbasim::journal_clear();
        RunResult quiet = hbaset(args);
        EXPECT_EQ(quiet.exit_code, 0) << quiet.out;
        EXPECT_EQ(quiet.out.find("No Corevane"), std::string::npos) << quiet.out;
        EXPECT_TRUE(journal("nexa").empty());
    }
}

// "/nonexa" is a token like any other: listhba takes at most two.
TEST_F(HbasetEntry, SwitchesCountAsTokens) {
    state_.init(kFcOnlyFleet);
    RunResult r = hbaset({"listhba", "/c", "/nonexa"});
    EXPECT_EQ(r.exit_code, 27) << r.out;
    EXPECT_EQ(r.out.find("No Corevane"), std::string::npos) << r.out;
    // A path that merely contains "/nonexa" does not switch NEXA off.
    RunResult path = hbaset({"listhba", "/tmp/nonexa/x"});
    EXPECT_EQ(count(path.out, "No Corevane\n"), 1u) << path.out;
}

TEST_F(HbasetEntry, NexaConnectionOpenedAndClosedOnce) {
    state_.init();
    hbasim::journal_clear();
    RunResult r = hbaset({"listcna"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::vector<std::string> nexa = journal("nexa");
    size_t inits = 0, exits = 0;
    for (const std::string& line : nexa) {
        inits += line == "init -> 0";
        exits += line == "exit -> 0";
    }
    EXPECT_EQ(inits, 1u);
    EXPECT_EQ(exits, 1u);
    ASSERT_FALSE(nexa.empty());
    EXPECT_EQ(nexa.back(), "exit -> 0");
}

// Without a NEXA connection the FC side still runs, silently.
TEST_F(HbasetEntry, NexaUnavailable) {
    state_.init();
    hbasim::fault_add({"nexa", "init", -1, 0, "fail", -1});
    RunResult r = hbaset({"listhba"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("No Corevane"), std::string::npos) << r.out;
    EXPECT_EQ(count(r.out, "Command completed, NO Error\n"), 1u) << r.out;
}

TEST_F(HbasetEntry, FinalLineReportsTheStatus) {
    state_.init();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* last;
    };
    const Case cases[] = {
        {{"listcna"}, 0, "Command: listcna\n"},
        {{"listcna", "x", "y"}, 27, "Reported Error of 27\n"},
        {{"frobnicate"}, 26, "Reported Error of 26\n"},
    };
    for (const Case& c : cases) {
        RunResult r = hbaset(c.args);
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_NE(r.out.find(c.last), std::string::npos) << r.out;
        const std::string tail =
            c.exitCode == 0 ? "Command completed, NO Error\n" : std::string(c.last);
        ASSERT_GE(r.out.size(), tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    }
}

} // namespace
