// The trace module compiled into the test on its own: settings lines and the
// hex dump layout, checked without loading the whole library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/support.h"

// The module under test, with the one piece of global state it reads.
#include "libtgx/trace_log.cpp"
GlobalState g_tgx;

namespace {

struct SettingsCase {
    const char* name;
    const char* text;
    uint32_t dbg;
    uint32_t kd;
};

const std::string kLongPiece(79, 'x'); // a first piece of 79 characters, no '='

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class TraceSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(TraceSettings, ReadsKeysAsWritten) {
    hbatest::TempState st;
    const std::string path = st.path("LIBTGX.ini");
    hbatest::write_file(path, GetParam().text);
    uint32_t dbg = 0, kd = 0;
    ASSERT_TRUE(tgx_read_settings(path.c_str(), &dbg, &kd));
    EXPECT_EQ(dbg, GetParam().dbg);
    EXPECT_EQ(kd, GetParam().kd);
}

const std::string kPieceCase = kLongPiece + "DBG_PRINT=4\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, TraceSettings,
    ::testing::Values(SettingsCase{"On", "DBG_PRINT=1\n", 1, 0},
                      SettingsCase{"Both", "DBG_PRINT=2\r\nKD_PRINT=3\r\n", 2, 3},
                      SettingsCase{"LetterValue", "DBG_PRINT=abc\n", 0, 0},
                      SettingsCase{"SignedValue", "DBG_PRINT=+5\n", 0, 0},
                      SettingsCase{"EmptyValue", "DBG_PRINT=\n", 0, 0},
                      SettingsCase{"DuplicateLastWins", "DBG_PRINT=1\nDBG_PRINT=0\n", 0, 0},
                      SettingsCase{"DuplicateLastWinsOn", "DBG_PRINT=0\nDBG_PRINT=7\n", 7, 0},
                      SettingsCase{"LowerCaseKey", "dbg_print=1\n", 0, 0},
                      SettingsCase{"BlankBeforeEquals", "DBG_PRINT =1\n", 0, 0},
                      SettingsCase{"NoEquals", "DBG_PRINT 1\nKD_PRINT\n", 0, 0},
                      SettingsCase{"TabEndsValue", "DBG_PRINT=12\tcomment\n", 12, 0},
                      SettingsCase{"SpaceEndsValue", "KD_PRINT=9 x=3\n", 0, 9},
                      SettingsCase{"NoFinalNewline", "KD_PRINT=1", 0, 1},
                      SettingsCase{"UnknownKey", "TRACE=1\nDBG_PRINTX=1\n", 0, 0},
                      SettingsCase{"LongLineInPieces", kPieceCase.c_str(), 4, 0}),
    [](const ::testing::TestParamInfo<SettingsCase>& i) { return std::string(i.param.name); });

TEST(TraceSettingsFile, MissingFileChangesNothing) {
    hbatest::TempState st;
    uint32_t dbg = 5, kd = 6;
    EXPECT_FALSE(tgx_read_settings(st.path("LIBTGX.ini").c_str(), &dbg, &kd));
    EXPECT_EQ(dbg, 5u);
    EXPECT_EQ(kd, 6u);
}

// The module started against a private library directory with file tracing on.
class TraceDumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hbatest::write_file(st.path("LIBTGX.ini"), "DBG_PRINT=1\n");
        snprintf(g_tgx.libDir, sizeof g_tgx.libDir, "%s", st.dir().c_str());
        tgx_log_startup();
        ASSERT_EQ(g_dbgPrint, 1u);
        hbatest::write_file(st.path("LIBTGX.LOG"), "");
    }
    void TearDown() override {
        tgx_log_shutdown();
        g_dbgPrint = 0;
    }
    std::string log() { return hbatest::read_file(st.path("LIBTGX.LOG")); }
    hbatest::TempState st;
};

TEST_F(TraceDumpTest, LayoutByCount) {
    // Every line but the last ends in " \n", the last in "\n"; labels are offsets.
    const std::string head = "\n     Dump Bytes\n";
    const std::string line0 = "          [0000]  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ";
    const std::string line1 = "          [0010]  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ";
    const struct {
        uint32_t count;
        std::string body;
    } cases[] = {
        {0, "\n"},
        {1, "          [0000]  00 \n"},
        {16, line0 + "\n"},
        {20, line0 + " \n" + "          [0010]  10 11 12 13 \n"},
        {32, line0 + " \n" + line1 + "\n"},
    };
    uint8_t data[32];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = (uint8_t)i;
    for (const auto& c : cases) {
        hbatest::write_file(st.path("LIBTGX.LOG"), "");
        TraceDump(data, c.count);
        EXPECT_EQ(log(), head + c.body) << "count " << c.count;
    }
}

TEST_F(TraceDumpTest, NothingWhenFileTracingIsOff) {
    g_dbgPrint = 0;
    uint8_t b[4] = {1, 2, 3, 4};
    TraceDump(b, sizeof b);
    EXPECT_EQ(log(), "");
}

} // namespace
