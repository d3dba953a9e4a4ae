// The script runner: repeat and stop rules, comment, blank and long lines,
// the log head and tail, the script-only switches and the exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/plat_time.h"
#include "tests/hbaset_core/interp_fixture.h"
#include "tests/support/support.h"

namespace {

void fixedClock(PlatLocalTime* t, void*) {
    *t = PlatLocalTime{1993, 6, 30, 21, 49, 8, 0};
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class ScriptTest : public interp::TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        plat_set_clock_hook(fixedClock, nullptr);
    }
    void TearDown() override {
        plat_set_clock_hook(nullptr, nullptr);
        TableTest::TearDown();
    }
    // Writes the script and runs it as a script run; returns the status.
    int32_t runText(const std::string& text) {
        std::string path = state.path("script.txt");
        hbatest::write_file(path, text);
        return runScriptFile(("@" + path).c_str());
    }

    hbatest::TempState state;
};

TEST_F(ScriptTest, RepeatRunsTheLinesBeforeItAgain) {
    setLogFileName(state.path("log.txt").c_str());
    EXPECT_EQ(runText("listcna\nrepeat r=2\nhelp reset\n"), 0);
    std::string out = console();
    EXPECT_EQ(count(out, "Command: listcna\n"), 3u);
    EXPECT_EQ(count(out, "***Repeat series of tests #1\n"), 1u);
    EXPECT_EQ(count(out, "***Repeat series of tests #2\n"), 1u);
    EXPECT_EQ(count(out, "End of Repeating 2 times\n"), 1u);
    EXPECT_EQ(count(out, "***Repeat series of tests #3"), 0u);
    EXPECT_EQ(count(out, "Syntax: reset"), 0u); // lines after the repeat line never run
}

TEST_F(ScriptTest, LinesAndStatuses) {
    setLogFileName(state.path("log.txt").c_str());
    std::string tooLong = "help" + std::string(123, ' ') + "listcna"; // 134 characters
    std::string fits = "listcna" + std::string(120, ' ');             // 127 characters
    std::string manyTokens = "listcna";
    for (int k = 0; k < 20; ++k)
        manyTokens += " x";
    struct Case {
        const char* name;
        std::string script;
        int32_t status;
        std::string present; // must appear exactly once
        std::string absent;
    };
    const Case cases[] = {
        {"last status wins (success)", "foo\nlistcna\n", 0, "Reported Error of 26\n", ""},
        {"last status wins (failure)", "listcna\nfoo\n", CLU_UNKNOWN_COMMAND,
         "Command completed, NO Error\n", ""},
        {"a failure does not stop the script", "foo\nhelp reset\n", 0, "Syntax: reset", ""},
        {"comments are not run", ";foo\nlistcna\n", 0, "", "FOO"},
        {"blank lines do not repeat the previous command", "foo\n   \n\t\n\n", CLU_UNKNOWN_COMMAND,
         "Command: foo\n", ""},
        {"upper-case REPEAT is a command", "REPEAT r=2\nlistcna\n", 0, "% Unknown command: REPEAT",
         "***Repeat"},
        {"non-numeric repeat count", "listcna\nrepeat r=x\nlistcna\n", CLU_NON_NUMERIC,
         "Non-Numeric Input Parameter\n", "End of Repeating"},
        {"empty repeat count", "repeat r=\n", CLU_NON_NUMERIC, "Non-Numeric Input Parameter\n", ""},
        {"repeat without count runs once more", "listcna\nrepeat\n", 0,
         "End of Repeating 1 times\n", "#2"},
        {"too long line", tooLong + "\n", CLU_ARGUMENT_LENGTH, "Invalid argument length:\nhelp",
         "Command: "},
        {"too long line then a command", tooLong + "\nhelp reset\n", 0, "Command: help reset\n",
         "Command: listcna"},
        {"127 characters fit", fits + "\r\n", 0, "Command: listcna\n", "Invalid argument"},
        {"more than 20 tokens", manyTokens + "\n", CLU_SYNTAX, "Invalid number of arguments\n",
         "listcna syntax error"},
        {"script-only switch", "screendisplay o=1\n", 0, "Command completed, NO Error\n", ""},
        {"carriage returns", "listcna\r\nfoo\r\n", CLU_UNKNOWN_COMMAND, "Unknown command: FOO\n",
         "\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runText(c.script), c.status);
        std::string out = console();
        if (!c.present.empty()) {
            EXPECT_EQ(count(out, c.present), 1u) << out;
        }
        if (!c.absent.empty()) {
            EXPECT_EQ(out.find(c.absent), std::string::npos) << out;
        }
    }
}

TEST_F(ScriptTest, TooLongLineRemainderIsNeverRun) {
    setLogFileName(state.path("log.txt").c_str());
    std::string tooLong = "foo" + std::string(124, ' ') + "help reset";
    EXPECT_EQ(runText(tooLong + "\n"), CLU_ARGUMENT_LENGTH);
    std::string out = console();
    EXPECT_EQ(out.find("Syntax: reset"), std::string::npos) << out;
    EXPECT_EQ(out.find("Unknown command"), std::string::npos) << out;
}

TEST_F(ScriptTest, LogHeadAndTail) {
    std::string log = state.path("log.txt");
    setLogFileName(log.c_str());
    std::string script = state.path("script.txt");
    EXPECT_EQ(runText("listcna\n"), 0);
    EXPECT_FALSE(g_msg.scriptMode);
    EXPECT_EQ(g_msg.logFile, nullptr);
    const std::string stamp = "Wed Jun 30 21:49:08 1993";
    EXPECT_EQ(hbatest::read_file(log), "Run Script File " + script + "\n" +
                                           "\n>>>>>>> Test Script starts on " + stamp + "\n\n" +
                                           "listcna\nCommand: listcna\n"
                                           "Command completed, NO Error\n\n" +
                                           "\n>>>>>>> Test Script stops on " + stamp + "\n\n");
}

TEST_F(ScriptTest, LogfileAndScreendisplayCommands) {
    std::string first = state.path("first.txt");
    std::string second = state.path("second.txt");
    setLogFileName(first.c_str());
    EXPECT_EQ(runText("screendisplay o=0\nlistcna\nlogfile l=" + second + "\nlistcna x y\n"),
              CLU_SYNTAX);
    std::string out = console();
    EXPECT_EQ(out.find("Command: listcna\n"), std::string::npos) << out;
    std::string firstLog = hbatest::read_file(first);
    EXPECT_NE(firstLog.find("Command: listcna\n"), std::string::npos);
    EXPECT_EQ(firstLog.find("listcna syntax error"), std::string::npos);
    std::string secondLog = hbatest::read_file(second);
    EXPECT_NE(secondLog.find("listcna syntax error\n"), std::string::npos);
    EXPECT_NE(secondLog.find(">>>>>>> Test Script stops on"), std::string::npos);

    setScreenOutput(true);
    EXPECT_EQ(runText("logfile l=" + state.path("no/such/dir/x.txt") + "\n"), CLU_FILE_OPEN);
    EXPECT_NE(console().find("Unable to open logfile "), std::string::npos);
}

TEST_F(ScriptTest, MissingFilesAndLogs) {
    setLogFileName(state.path("no/such/dir/log.txt").c_str());
    EXPECT_EQ(runText("listcna\n"), 0);
    EXPECT_EQ(console().rfind("Open Log File Error\n", 0), 0u);
    setLogFileName(state.path("log.txt").c_str());
    std::string missing = state.path("missing.txt");
    EXPECT_EQ(runScriptFile(("@" + missing).c_str()), CLU_FILE_OPEN);
    EXPECT_NE(console().find("Error opening " + missing + "!\n"), std::string::npos);
}

TEST_F(ScriptTest, ScriptsThatAreNotFilesAreRefused) {
    setLogFileName(state.path("log.txt").c_str());
    const std::string fifo = state.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& path : {state.dir(), std::string("/dev/zero"), fifo}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(runScriptFile(("@" + path).c_str()), CLU_FILE_OPEN);
        EXPECT_NE(console().find("Error opening " + path + "!\n"), std::string::npos);
    }
    // A line that never ends is given up, not read for ever; nothing of it runs.
    EXPECT_EQ(runText("help reset" + std::string(300000, ' ') + "x"), CLU_ARGUMENT_LENGTH);
    EXPECT_EQ(console().find("Syntax: reset"), std::string::npos);
}

} // namespace
