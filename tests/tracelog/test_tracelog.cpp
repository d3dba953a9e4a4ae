// Trace file, trace line format, trace groups and the program directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/tracelog/tracelog.h"
#include "platform/plat_fs.h"
#include "platform/plat_time.h"
#include "tests/support/support.h"

namespace {

void fixedClock(PlatLocalTime* t, void*) {
    *t = PlatLocalTime{2024, 5, 6, 9, 5, 3, 7};
}

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        traceReset();
        ASSERT_EQ(traceSetDirectory(state.dir().c_str()), 0);
        plat_set_clock_hook(fixedClock, nullptr);
        prefix = "(09:05:03.007) (" + std::to_string(getpid()) + ") ";
    }
    void TearDown() override {
        plat_set_clock_hook(nullptr, nullptr);
        traceReset();
    }
    void enableTrace() { hbatest::write_file(state.path(TRACE_FILE_NAME), ""); }
    std::string traced() { return hbatest::read_file(state.path(TRACE_FILE_NAME)); }

    hbatest::TempState state;
    std::string prefix;
};

// Every kind of trace call, with the text it must append.
struct LineCase {
    const char* name;
    void (*call)();
    const char* expected; // "P " stands for the time and process prefix
};

const std::string kLong(3000, 'x');

const LineCase kLineCases[] = {
    {"line", [] { traceLine("########started execution of Hbaset########"); },
     "P ########started execution of Hbaset########\n"},
    {"step", [] { traceStep("[ProcessKEK] PERFORM UPDATE STEPS\n"); },
     "P [ProcessKEK] PERFORM UPDATE STEPS\n"},
    {"step_leading_newline", [] { traceStep("\n[changeWWN] - status %d\n", 33); },
     "\nP [changeWWN] - status 33\n"},
    {"step_without_line_end", [] { traceStep("[IsIssueMboxV2ExtSupported]returned: %d", 2); },
     "P [IsIssueMboxV2ExtSupported]returned: 2\n"},
    {"step_only_newlines", [] { traceStep("\n\n"); }, "\n\n"},
    {"raw", [] { trace("%s : %s\n", "Bin path", "/opt/x/"); }, "Bin path : /opt/x/\n"},
};

TEST_F(TraceTest, LineFormats) {
    for (const LineCase& c : kLineCases) {
        SCOPED_TRACE(c.name);
        enableTrace();
        c.call();
        std::string expected = c.expected;
        for (size_t at = expected.find("P "); at != std::string::npos; at = expected.find("P "))
            expected.replace(at, 2, prefix);
        EXPECT_EQ(traced(), expected);
    }
}

TEST_F(TraceTest, LongTextIsWrittenWhole) {
    enableTrace();
    traceStep("[Big] %s", kLong.c_str());
    EXPECT_EQ(traced(), prefix + "[Big] " + kLong + "\n");
}

TEST_F(TraceTest, NothingWithoutTraceFile) {
    g_trace.settings.logMode = 0xFFFFFFFF;
    for (const LineCase& c : kLineCases)
        c.call();
    traceGroup(TRACE_GROUP_FC, "[x]\n");
    EXPECT_FALSE(traceFileExists());
    EXPECT_FALSE(plat_file_exists(state.path(TRACE_FILE_NAME).c_str()));
}

TEST_F(TraceTest, GroupsFollowLogMode) {
    struct Case {
        uint32_t logMode;
        uint32_t group;
        bool written;
    } cases[] = {
        {0, TRACE_GROUP_FC, false},        {0, TRACE_GROUP_NEXA, false},
        {0x8000, TRACE_GROUP_FC, true},    {0x8000, TRACE_GROUP_NEXA, false},
        {0x80000, TRACE_GROUP_NEXA, true}, {0x80000, TRACE_GROUP_FC, false},
        {0x88000, TRACE_GROUP_FC, true},   {0xFFFF7FFF, TRACE_GROUP_FC, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.logMode << " group " << c.group);
        enableTrace();
        g_trace.settings.logMode = c.logMode;
        traceGroup(c.group, "[MAL_NEXA_init] status %d\n", 0);
        EXPECT_EQ(traced(), c.written ? prefix + "[MAL_NEXA_init] status 0\n" : "");
        EXPECT_EQ(traceGroupEnabled(c.group), c.written);
    }
}

TEST_F(TraceTest, StartOfRun) {
    struct Case {
        const char* name;
        bool traceFile;
        const char* settings; // null: no settings file
        const char* trace;
        uint32_t logMode;
    } cases[] = {
        {"trace_file_only", true, nullptr, "START\n", 0},
        {"with_settings", true, "LOG_MODE=0x80000\n", "START\n", 0x80000},
        // Without the trace file the settings are not read.
        {"settings_only", false, "LOG_MODE=0x80000\n", "", 0},
        {"neither", false, nullptr, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(state.path(TRACE_FILE_NAME).c_str());
        unlink(state.path(SETTINGS_FILE_NAME).c_str());
        g_trace.settings = {};
        if (c.traceFile) enableTrace();
        if (c.settings) hbatest::write_file(state.path(SETTINGS_FILE_NAME), c.settings);
        traceStartRun("START");
        EXPECT_EQ(plat_file_exists(state.path(TRACE_FILE_NAME).c_str()), c.traceFile);
        if (c.traceFile) {
            EXPECT_EQ(traced(), prefix + c.trace);
        }
        EXPECT_EQ(g_trace.settings.logMode, c.logMode);
    }
}

// A link named like the trace file (planted in a shared program folder) is
// never followed: tracing stays off and the run says so once on standard
// error; a FIFO named like the settings file is not waited for.
TEST_F(TraceTest, PlantedFilesAreRefused) {
    const std::string victim = state.path("victim");
    hbatest::write_file(victim, "victim\n");
    ASSERT_EQ(symlink(victim.c_str(), state.path(TRACE_FILE_NAME).c_str()), 0);
    ASSERT_EQ(mkfifo(state.path(SETTINGS_FILE_NAME).c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    traceStartRun("START");
    traceLine("more");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(traceFileExists());
    EXPECT_EQ(hbatest::read_file(victim), "victim\n");
    EXPECT_EQ(err, state.path(TRACE_FILE_NAME) + " is a symbolic link: refused\n");

    unlink(state.path(TRACE_FILE_NAME).c_str());
    enableTrace();
    traceStartRun("START"); // reads the settings: the FIFO is refused at once
    EXPECT_EQ(traced(), prefix + "START\n");
}

// Two processes tracing into one file at once: every line stays whole.
TEST_F(TraceTest, ConcurrentWritersNeverMixLines) {
    enableTrace();
    constexpr int kLines = 100;
    const std::string a(2000, 'a');
    const std::string b(2000, 'b');
    pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string& mine = child == 0 ? a : b;
    for (int i = 0; i < kLines; ++i)
        traceStep("[W] %s", mine.c_str());
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);

    std::string all = traced();
    int countA = 0, countB = 0;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        std::string line = all.substr(start, end - start);
        start = end + 1;
        size_t body = line.find("[W] ");
        ASSERT_NE(body, std::string::npos) << line.substr(0, 80);
        ASSERT_EQ(line.compare(0, 16, "(09:05:03.007) ("), 0);
        std::string text = line.substr(body + 4);
        if (text == a)
            ++countA;
        else if (text == b)
            ++countB;
        else
            ADD_FAILURE() << "mixed line";
    }
    EXPECT_EQ(countA, kLines);
    EXPECT_EQ(countB, kLines);
}

TEST(TraceDirectory, FromProgramPath) {
    const std::string at220 = "/" + std::string(214, 'd') + "/prog"; // 220 characters
    const std::string at221 = "/" + std::string(215, 'd') + "/prog";
    struct Case {
        const char* name;
        std::string path;
        std::string dir;
    } cases[] = {
        {"plain", "/usr/local/bin/hbaset", "/usr/local/bin/"},
        {"quoted", "\"/opt/hba tools/hbaset\"", "/opt/hba tools/"},
        {"quote_inside", "/opt/a\"b/hbaset", "/opt/ab/"},
        {"no_directory", "hbaset", "./"},
        {"empty", "", "./"},
        {"longest_kept", at220, "/" + std::string(214, 'd') + "/"},
        {"too_long", at221, "./"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char out[TRACE_DIR_MAX + 1];
        size_t n = traceDirectoryFromPath(c.path.c_str(), out, sizeof out);
        EXPECT_EQ(std::string(out), c.dir);
        EXPECT_EQ(n, c.dir.size());
    }
    char out[8];
    traceDirectoryFromPath(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "./");
}

TEST(TraceDirectory, RunningProgramAndOverride) {
    traceReset();
    traceInitDirectory();
    char exe[4096];
    ASSERT_GT(plat_exe_path(exe, sizeof exe), 0u);
    std::string expectedDir(exe, strrchr(exe, '/') + 1);
    EXPECT_EQ(std::string(g_trace.moduleDirectory), expectedDir);
    EXPECT_EQ(std::string(g_trace.traceFileName), expectedDir + "qrldbg.log");
    EXPECT_EQ(std::string(g_trace.settingsFileName), expectedDir + "RM.INI");

    EXPECT_EQ(traceSetDirectory("/tmp/x"), 0);
    EXPECT_STREQ(g_trace.traceFileName, "/tmp/x/qrldbg.log");
    EXPECT_EQ(traceSetDirectory("/tmp/y/"), 0);
    EXPECT_STREQ(g_trace.settingsFileName, "/tmp/y/RM.INI");
    EXPECT_EQ(traceSetDirectory(""), -1);
    EXPECT_EQ(traceSetDirectory(std::string(TRACE_DIR_MAX, 'z').c_str()), -1);
    EXPECT_STREQ(g_trace.moduleDirectory, "/tmp/y/");
    traceReset();
}

} // namespace
