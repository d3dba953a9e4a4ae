// The test harness itself (tests/support): the state directories a test
// program accepts and the ones it refuses before any test runs, and a child
// program that hangs, which run() kills at its time limit with what it started.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

// Run as a second process: prints the state directory it was given.
TEST(Harness, PrintsItsStateDirectory) {
    const char* request = getenv("HBA_SECOND_PROCESS");
    if (!request || std::string(request) != "state") GTEST_SKIP() << "a helper of StateDirectories";
    const char* dir = getenv("HBASIM_DIR");
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(fs::is_regular_file(std::string(dir) + "/" + hbatest::kStateMarker));
    std::printf("state=%s\n", dir);
}

std::string self() {
    return fs::read_symlink("/proc/self/exe").string();
}

hbatest::RunResult runWithState(const std::string& dir) {
    return hbatest::run(self(), {"--gtest_filter=Harness.PrintsItsStateDirectory"},
                        {{"HBASIM_DIR", dir}, {"HBA_SECOND_PROCESS", "state"}});
}

std::string listing(const std::string& dir) {
    std::string names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names += fs::relative(e.path(), dir).string() + "\n";
    return names;
}

TEST(Harness, StateDirectories) {
    hbatest::TempState scratch; // a place for the directories below
    const std::string base = scratch.path("cases");
    ASSERT_TRUE(fs::create_directory(base));
    const std::string marker = std::string("/") + hbatest::kStateMarker;

    // Unset (empty): a private directory, gone when the program ends.
    hbatest::RunResult r = runWithState("");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    size_t at = r.out.find("state=");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string privateDir = r.out.substr(at + 6, r.out.find('\n', at) - at - 6);
    EXPECT_NE(privateDir.find("/hbatest-state."), std::string::npos) << privateDir;
    EXPECT_FALSE(fs::exists(privateDir));

    // A new directory, then an empty one: claimed, and usable again afterwards.
    for (const std::string& dir : {base + "/new", base + "/empty"}) {
        SCOPED_TRACE(dir);
        if (dir.ends_with("empty")) {
            ASSERT_TRUE(fs::create_directory(dir));
        }
        for (int run = 0; run < 2; ++run) {
            r = runWithState(dir);
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_NE(r.out.find("state=" + dir + "\n"), std::string::npos) << r.out;
        }
        EXPECT_TRUE(fs::is_regular_file(dir + marker));
    }

    // A machine set up by hand: refused, untouched, no test run.
    const std::string mine = base + "/mine";
    ASSERT_TRUE(fs::create_directory(mine));
    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbasim"), {"init"}, {{"HBASIM_DIR", mine}}).exit_code,
              0);
    const std::string before = listing(mine);
    // A marker that is not a regular file counts for nothing.
    const std::string linked = base + "/linked";
    ASSERT_TRUE(fs::create_directory(linked));
    fs::create_symlink(base + "/new" + marker, linked + marker);
    const std::string file = base + "/file";
    hbatest::write_file(file, "x");
    const struct {
        std::string dir;
        const char* reason;
    } refused[] = {
        {mine, "it holds files but no .hbatest-state"},
        {linked, "it holds files but no .hbatest-state"},
        {file, "it is not a directory"},
        {base + "/new/sub/deeper", "cannot create it"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.dir);
        r = runWithState(c.dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("refusing to run on HBASIM_DIR=" + c.dir + ": " + c.reason),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find("[ RUN"), std::string::npos) << r.out;
    }
    EXPECT_EQ(listing(mine), before);
}

// True when pid is gone or a zombie nobody reaped yet.
bool ended(pid_t pid) {
    std::string stat = hbatest::read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.compare(paren + 2, 1, "Z") == 0);
}

TEST(Harness, AHungChildIsKilledWithWhatItStarted) {
    hbatest::TempState state;
    const std::string pidFile = state.path("sleeper.pid");
    testing::TestPartResultArray failures;
    hbatest::RunResult r;
    const auto start = std::chrono::steady_clock::now();
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        r = hbatest::run("/bin/sh",
                         {"-c", "sleep 30 & echo $! > " + pidFile + "; echo started; wait"}, {}, "",
                         300);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("still ran after 300 ms"),
              std::string::npos)
        << failures.GetTestPartResult(0).message();
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_EQ(r.out, "started\n") << "what it printed before the kill is kept";
    const pid_t sleeper = static_cast<pid_t>(std::atoi(hbatest::read_file(pidFile).c_str()));
    ASSERT_GT(sleeper, 0);
    bool gone = false;
    for (int i = 0; i < 500 && !(gone = ended(sleeper)); ++i)
        usleep(10000);
    EXPECT_TRUE(gone) << "the child's own child still runs";

    // A program that ends in time is not touched.
    r = hbatest::run("/bin/sh", {"-c", "exit 3"}, {}, "", 5000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 3);
}

} // namespace
