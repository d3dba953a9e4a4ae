// hbaset's message output: destinations, bounded messages, byte dumps, region
// files and the script log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hbaset/cli/message.h"
#include "tests/support/support.h"

namespace {

std::string readAll(FILE* f) {
    std::string s;
    fflush(f);
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

class MessageTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAll(); }
    void TearDown() override {
        messageReset();
        if (console) fclose(console);
    }
    // Fresh state, a fresh console capture and a truncated log file.
    void resetAll() {
        messageReset();
        if (console) fclose(console);
        console = tmpfile();
        ASSERT_NE(console, nullptr);
        g_msg.console = console;
        hbatest::write_file(logPath(), "");
    }
    std::string logPath() const { return state.path("script.log"); }
    std::string consoleText() { return readAll(console); }
    std::string logText() {
        if (g_msg.logFile) fflush(g_msg.logFile);
        return hbatest::read_file(logPath());
    }

    hbatest::TempState state;
    FILE* console = nullptr;
};

TEST_F(MessageTest, Destinations) {
    struct Case {
        const char* name;
        bool screen;
        bool log;
        void (*emit)();
        const char* console;
        const char* logged;
    } cases[] = {
        {"line_screen", true, false, [] { setMessageLine("Adapter %d", 1), emitLine(); },
         "Adapter 1\n", ""},
        {"line_screen_log", true, true, [] { setMessageLine("Adapter %d", 1), emitLine(); },
         "Adapter 1\n", "Adapter 1\n"},
        {"line_log_only", false, true, [] { setMessageLine("Adapter %d", 1), emitLine(); }, "",
         "Adapter 1\n"},
        {"line_nowhere", false, false, [] { setMessageLine("x"), emitLine(); }, "", ""},
        {"text_screen_log", true, true, [] { emitText("%s\n", "Syntax Error"); }, "Syntax Error\n",
         "Syntax Error\n"},
        {"text_log_only", false, true, [] { emitText("%s\n", "Syntax Error"); }, "",
         "Syntax Error\n"},
        {"console_ignores_switch", false, true, [] { emitConsole("Error opening %s!\n", "a"); },
         "Error opening a!\n", ""},
        {"log_only", true, true, [] { emitLog("\n>>>>>>> Test Script starts on %s\n", "now"); }, "",
         "\n>>>>>>> Test Script starts on now\n"},
        {"log_closed", true, false, [] { emitLog("x\n"); }, "", ""},
        {"percent_in_line_is_data", true, false, [] { setMessageLine("%s", "100%d"), emitLine(); },
         "100%d\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetAll();
        setScreenOutput(c.screen);
        if (c.log) {
            setLogFileName(logPath().c_str());
            ASSERT_EQ(openLogFile(), 0);
        }
        c.emit();
        EXPECT_EQ(consoleText(), c.console);
        EXPECT_EQ(logText(), c.logged);
    }
}

TEST_F(MessageTest, EmitLineAppendsLineEndToMessageLine) {
    setMessageLine("Command completed, NO Error");
    emitLine();
    EXPECT_STREQ(g_msg.messageLine, "Command completed, NO Error\n");
    setMessageLine("%s", std::string(255, 'm').c_str());
    emitLine();
    EXPECT_EQ(consoleText(), "Command completed, NO Error\n" + std::string(255, 'm') + "\n");
}

// Messages that fit are unchanged; longer ones are cut to the buffer, keeping
// the line end they had.
TEST_F(MessageTest, BoundedMessages) {
    const std::string arg255(255, 'a');
    const std::string longCommand(1000, 'c');
    const std::string longName(300, 'n');
    struct Case {
        const char* name;
        void (*emit)(const std::string&);
        std::string arg;
        std::string expected;
    } cases[] = {
        {"invalid_argument_length",
         [](const std::string& a) {
             setMessageLine("Invalid argument length:\n%s\n", a.c_str());
             emitLine();
         },
         arg255, "Invalid argument length:\n" + std::string(229, 'a') + "\n\n"},
        {"command_line",
         [](const std::string& a) {
             setMessageLine("Command: %s", a.c_str());
             emitLine();
         },
         longCommand, "Command: " + std::string(246, 'c') + "\n"},
        {"unknown_command",
         [](const std::string& a) {
             setMessageLine("%% Unknown command: %s\n", a.c_str());
             emitLine();
         },
         longCommand, "% Unknown command: " + std::string(235, 'c') + "\n\n"},
        {"unknown_command_fits",
         [](const std::string& a) {
             setMessageLine("%% Unknown command: %s\n", a.c_str());
             emitLine();
         },
         "FOO", "% Unknown command: FOO\n\n"},
        {"error_opening",
         [](const std::string& a) { emitConsole("Error opening %s!\n", a.c_str()); }, longName,
         "Error opening " + std::string(240, 'n') + "\n"},
        {"error_opening_fits",
         [](const std::string& a) { emitConsole("Error opening %s!\n", a.c_str()); }, "x.txt",
         "Error opening x.txt!\n"},
        {"console_exactly_full", [](const std::string& a) { emitConsole("%s", a.c_str()); },
         std::string(255, 'f'), std::string(255, 'f')},
        {"text_cut", [](const std::string& a) { emitText("%s\n", a.c_str()); },
         std::string(5000, 't'), std::string(EMIT_TEXT_SIZE - 2, 't') + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetAll();
        c.emit(c.arg);
        EXPECT_EQ(consoleText(), c.expected);
        EXPECT_LT(strlen(g_msg.messageLine), MESSAGE_LINE_SIZE);
    }
}

TEST_F(MessageTest, DumpHexLayout) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        uint32_t start;
        bool memoryOrder;
        std::string expected;
    } cases[] = {
        {"eight_memory_order",
         {1, 2, 3, 4, 5, 6, 7, 8},
         0,
         true,
         "\n00000000: 01020304 05060708 |........|\n"},
        {"eight_word_order",
         {1, 2, 3, 4, 5, 6, 7, 8},
         0x10,
         false,
         "\n00000010: 04030201 08070605 |........|\n"},
        {"characters",
         {'A', 'B', 'C', 'D', 'e', 'f', 0x7F, ' '},
         0xABCDEF,
         false,
         "\n00ABCDEF: 44434241 207f6665 |DCBA .fe|\n"},
        {"twelve",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         0,
         true,
         "\n00000000: 01020304 05060708 |........|\n"
         "\n00000008: 090a0b0c |....|\n"},
        {"four", {'a', 'b', 'c', 'd'}, 0, true, "\n00000000: 61626364 |abcd|\n"},
        {"six_word_order", {1, 2, 3, 4, 5, 6}, 0, false, "\n00000000: 04030201 0605 |......|\n"},
        {"three_memory_order", {'x', 'y', 'z'}, 0xFFFFFFF8, true, "\nFFFFFFF8: 78797a |xyz|\n"},
        {"empty", {}, 0, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetAll();
        // Exactly sized, so a read past the length is caught by the sanitizers.
        std::unique_ptr<uint8_t[]> data(new uint8_t[c.data.size() + (c.data.empty() ? 1 : 0)]);
        std::copy(c.data.begin(), c.data.end(), data.get());
        dumpHex(data.get(), c.start, static_cast<uint32_t>(c.data.size()), c.memoryOrder);
        EXPECT_EQ(consoleText(), c.expected);
    }
}

TEST_F(MessageTest, DumpHexInScriptGoesThroughMessageLine) {
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    g_msg.scriptMode = true;
    setLogFileName(logPath().c_str());
    ASSERT_EQ(openLogFile(), 0);
    setScreenOutput(false);
    dumpHex(data, 0x100, sizeof data, false);
    EXPECT_EQ(consoleText(), "");
    EXPECT_EQ(logText(), "\n00000100: 04030201 05 |.....|\n");
    EXPECT_STREQ(g_msg.messageLine, "\n00000100: 04030201 05 |.....|\n");
}

TEST_F(MessageTest, SaveRegionToFile) {
    std::vector<uint8_t> source(1200);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(i % 251 + 1);
    struct Case {
        const char* name;
        size_t length;
    } cases[] = {{"short_read", 10}, {"nothing_read", 0}, {"exact", 1000}, {"longer", 1200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = state.path("region.bin");
        hbatest::write_file(path, std::string(2000, 'z'));
        EXPECT_EQ(saveRegionToFile(source.data(), c.length, path.c_str()), 0);
        std::string expected(REGION_FILE_SIZE, '\0');
        for (size_t i = 0; i < c.length && i < REGION_FILE_SIZE; ++i)
            expected[i] = static_cast<char>(source[i]);
        EXPECT_EQ(hbatest::read_file(path), expected);
    }

    resetAll();
    EXPECT_EQ(saveRegionToFile(source.data(), 10, state.path("missing/dir/r.bin").c_str()), 4);
    EXPECT_EQ(saveRegionToFile(source.data(), 10, ""), 4);
    EXPECT_EQ(consoleText(),
              "ERROR: Can't open specified file\nERROR: Can't open specified file\n");
}

TEST_F(MessageTest, LogFile) {
    // Appends to what the file holds; the name is cut to 80 characters.
    hbatest::write_file(logPath(), "before\n");
    setLogFileName(logPath().c_str());
    ASSERT_EQ(openLogFile(), 0);
    emitText("after\n");
    EXPECT_EQ(logText(), "before\nafter\n");

    // A new name replaces the open file; a failed open leaves no log file.
    setLogFileName(state.path("none/x.log").c_str());
    EXPECT_EQ(openLogFile(), -1);
    EXPECT_EQ(g_msg.logFile, nullptr);
    emitText("not logged\n");
    EXPECT_EQ(logText(), "before\nafter\n");

    setLogFileName(std::string(100, 'L').c_str());
    EXPECT_EQ(std::string(g_msg.logFileName), std::string(LOG_FILE_NAME_MAX, 'L'));

    messageReset();
    EXPECT_STREQ(g_msg.logFileName, "hbasetlog.txt");
    EXPECT_TRUE(g_msg.screenOutput);
    EXPECT_FALSE(g_msg.scriptMode);
}

} // namespace
