// The settings file: keys, values, comments and odd lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/tracelog/tracelog.h"
#include "tests/support/support.h"

namespace {

struct SettingsCase {
    const char* name;
    std::string text;
    TraceSettings expected;
    int unknownTokens; // "Unkonw Token Found" messages expected
};

const std::string kPad131(131, ' ');

const SettingsCase kCases[] = {
    {"hex", "LOG_MODE=0x80000\n", {.logMode = 0x80000}, 0},
    {"lower_case_blanks_decimal", "log_mode = 32768\n", {.logMode = 0x8000}, 0},
    {"tabs_and_upper_x", "\tLOG_MODE\t=\t0X10\n", {.logMode = 0x10}, 0},
    {"hex_stops_at_non_digit", "LOG_MODE=0x1G\n", {.logMode = 1}, 0},
    {"decimal_stops_at_non_digit", "LOG_MODE=12abc\n", {.logMode = 12}, 0},
    {"not_a_number", "LOG_MODE=abc\n", {.logMode = 0}, 0},
    {"negative", "LOG_MODE=-5\n", {.logMode = 0}, 0},
    {"bare_0x", "LOG_MODE=0x\n", {.logMode = 0}, 0},
    {"no_value", "LOG_MODE\n", {.logMode = 0}, 0},
    {"too_big", "LOG_MODE=99999999999\n", {.logMode = 0xFFFFFFFF}, 0},
    {"later_line_wins", "LOG_MODE=5\nLOG_MODE=7\n", {.logMode = 7}, 0},
    {"no_final_line_end", "LOG_MODE=0x8000", {.logMode = 0x8000}, 0},
    {"crlf", "LOG_MODE=0x8000\r\nDBG_MODE=3\r\n", {.logMode = 0x8000, .dbgMode = 3}, 0},
    {"value_ends_at_blank", "LOG_MODE=0x8000 0x80000\n", {.logMode = 0x8000}, 0},
    {"comment", "// LOG_MODE=5\n", {}, 0},
    {"indented_comment", " \t/LOG_MODE=5 anything\n", {}, 0},
    {"empty_key", "=5\n\n   \n", {}, 0},
    {"unknown_key", "FOO=1\nLOG_MODE=2\n", {.logMode = 2}, 1},
    {"prefix_of_key", "LOG_MOD=1\nLOG_MODES=1\n", {}, 2},
    {"every_number_key",
     "DBG_MODE=1\nPARAM01=2\nPARAM02=3\nPARAM03=4\nPARAM04=5\nINSIZER=6\nOUTSIZER=7\n"
     "INSIZEW=8\nOUTSIZEW=9\nFILLBYTE=0x1FF\n",
     {.dbgMode = 1,
      .param01 = 2,
      .param02 = 3,
      .param03 = 4,
      .param04 = 5,
      .inSizeR = 6,
      .outSizeR = 7,
      .inSizeW = 8,
      .outSizeW = 9,
      .fillByte = 0xFF},
     0},
    {"wwpn",
     "REMOTE_HBA_WWPN=10:00:00:11:22:aB:Cd:eF\n",
     {.remoteHbaWwpn = {0x10, 0, 0, 0x11, 0x22, 0xAB, 0xCD, 0xEF}},
     0},
    {"wwpn_other_separator",
     "remote_hba_wwpn 20-01-02-03-04-05-06-07\n",
     {.remoteHbaWwpn = {0x20, 1, 2, 3, 4, 5, 6, 7}},
     0},
    {"wwpn_bad_digit", "REMOTE_HBA_WWPN=10:00:00:11:22:33:44:5G\n", {}, 0},
    {"wwpn_too_short", "REMOTE_HBA_WWPN=10:00:00:11:22:33:44:5\n", {}, 0},
    {"wwpn_too_long", "REMOTE_HBA_WWPN=10:00:00:11:22:33:44:555\n", {}, 0},
    // The rest of a line longer than the reader's buffer is never a new line.
    {"long_comment_tail_ignored", "//" + std::string(129, 'x') + "LOG_MODE=5\n", {}, 0},
    {"long_line_tail_ignored",
     "PARAM01=3" + std::string(122, ' ') + "FOO=1\nPARAM02=4\n",
     {.param01 = 3, .param02 = 4},
     0},
    {"key_after_131_blanks_ignored", kPad131 + "LOG_MODE=5\n", {}, 0},
    {"line_of_131_read", std::string(121, ' ') + "LOG_MODE=9\n", {.logMode = 9}, 0},
};

bool sameSettings(const TraceSettings& a, const TraceSettings& b) {
    return a.logMode == b.logMode && a.dbgMode == b.dbgMode && a.param01 == b.param01 &&
           a.param02 == b.param02 && a.param03 == b.param03 && a.param04 == b.param04 &&
           a.inSizeR == b.inSizeR && a.outSizeR == b.outSizeR && a.inSizeW == b.inSizeW &&
           a.outSizeW == b.outSizeW && a.fillByte == b.fillByte &&
           memcmp(a.remoteHbaWwpn, b.remoteHbaWwpn, sizeof a.remoteHbaWwpn) == 0;
}

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Settings, Table) {
    hbatest::TempState state;
    const std::string path = state.path("RM.INI");
    for (const SettingsCase& c : kCases) {
        SCOPED_TRACE(c.name);
        hbatest::write_file(path, c.text);
        FILE* console = tmpfile();
        ASSERT_NE(console, nullptr);
        g_trace.console = console;
        TraceSettings got{};
        EXPECT_EQ(readSettingsFile(path.c_str(), &got), 0);
        g_trace.console = nullptr;

        EXPECT_EQ(got.logMode, c.expected.logMode);
        EXPECT_TRUE(sameSettings(got, c.expected)) << "other settings differ";
        rewind(console);
        char buf[256] = {};
        size_t n = fread(buf, 1, sizeof buf - 1, console);
        fclose(console);
        std::string printed(buf, n);
        EXPECT_EQ(countOf(printed, "Unkonw Token Found"), c.unknownTokens);
        EXPECT_EQ(printed.find('\n'), std::string::npos);
    }
}

TEST(Settings, MissingFileLeavesSettings) {
    hbatest::TempState state;
    TraceSettings got{};
    got.logMode = 0x8000;
    EXPECT_EQ(readSettingsFile(state.path("RM.INI").c_str(), &got), -1);
    EXPECT_EQ(got.logMode, 0x8000u);

    traceReset();
    ASSERT_EQ(traceSetDirectory(state.dir().c_str()), 0);
    EXPECT_EQ(readSettings(), -1);
    EXPECT_EQ(g_trace.settings.logMode, 0u);
    hbatest::write_file(state.path("RM.INI"), "LOG_MODE=0x88000\n");
    EXPECT_EQ(readSettings(), 0);
    EXPECT_EQ(g_trace.settings.logMode, 0x88000u);
    traceReset();
}

} // namespace
