// Sleep scaling, the clock hook, state paths, shared file writes and the console.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

namespace {

// Sets or clears an environment variable for the life of the object.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) {
            old_ = old;
            had_ = true;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

  private:
    std::string name_, old_;
    bool had_ = false;
};

TEST(Sleep, ScaleAndHook) {
    struct {
        const char* scale;
        uint32_t ms;
        uint64_t atLeast;
    } cases[] = {
        {"0", 5000, 0}, {"50", 80, 40}, {"100", 30, 30}, {nullptr, 30, 30}, {"junk", 30, 30},
    };
    for (const auto& c : cases) {
        EnvVar scale("PLAT_SLEEP_SCALE", c.scale);
        uint64_t t0 = plat_tick_ms();
        plat_sleep_ms(c.ms);
        uint64_t took = plat_tick_ms() - t0;
        EXPECT_GE(took, c.atLeast) << (c.scale ? c.scale : "unset");
        if (c.atLeast == 0) {
            EXPECT_LT(took, 1000u);
        }
    }

    EnvVar scale("PLAT_SLEEP_SCALE", "100");
    std::vector<uint32_t> seen;
    plat_set_sleep_hook(
        [](uint32_t ms, void* ctx) { static_cast<std::vector<uint32_t>*>(ctx)->push_back(ms); },
        &seen);
    uint64_t t0 = plat_tick_ms();
    plat_sleep_ms(10000);
    plat_sleep_ms(0);
    plat_sleep_ms(250);
    plat_set_sleep_hook(nullptr, nullptr);
    EXPECT_LT(plat_tick_ms() - t0, 1000u);
    EXPECT_EQ(seen, (std::vector<uint32_t>{10000, 0, 250}));
}

TEST(Clock, HookAnswersLocalTime) {
    PlatLocalTime real{};
    plat_local_time(&real);
    EXPECT_GE(real.year, 2020);
    EXPECT_TRUE(real.month >= 1 && real.month <= 12);
    EXPECT_LT(real.hour, 24);
    plat_set_clock_hook(
        [](PlatLocalTime* t, void*) { *t = PlatLocalTime{2024, 2, 29, 13, 5, 9, 0}; }, nullptr);
    PlatLocalTime t{};
    plat_local_time(&t);
    plat_set_clock_hook(nullptr, nullptr);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 9);
}

TEST(Paths, StateDirChoice) {
    struct {
        const char* hbasim;
        const char* xdg;
        const char* home;
        const char* expect;
    } cases[] = {
        {"/s/custom", "/x", "/h", "/s/custom"},
        {"/s/trailing/", nullptr, "/h", "/s/trailing"},
        {"", "/x", "/h", "/x/hbasim"},
        {nullptr, "/x", "/h", "/x/hbasim"},
        {nullptr, nullptr, "/h", "/h/.local/state/hbasim"},
        {nullptr, "", "/h", "/h/.local/state/hbasim"},
    };
    for (const auto& c : cases) {
        EnvVar a("HBASIM_DIR", c.hbasim), b("XDG_STATE_HOME", c.xdg), h("HOME", c.home);
        char buf[256];
        ASSERT_GT(plat_state_dir(buf, sizeof buf), 0u);
        EXPECT_STREQ(buf, c.expect);
    }
    EnvVar a("HBASIM_DIR", "/a/rather/long/state/directory");
    char tiny[8];
    EXPECT_EQ(plat_state_dir(tiny, sizeof tiny), 0u);
    EXPECT_STREQ(tiny, "") << "a path that does not fit is not cut";
}

TEST(Paths, ModuleAndProcessFacts) {
    char buf[4096];
    ASSERT_GT(plat_module_path(reinterpret_cast<const void*>(&plat_sleep_ms), buf, sizeof buf), 0u);
    EXPECT_EQ(std::filesystem::path(buf).filename(), "libhbaplatform.so");
    EXPECT_EQ(buf[0], '/');
    static int inExe = 0;
    ASSERT_GT(plat_module_path(&inExe, buf, sizeof buf), 0u);
    EXPECT_EQ(std::filesystem::path(buf).filename(), "test_platform");
    char exe[4096];
    ASSERT_GT(plat_exe_path(exe, sizeof exe), 0u);
    EXPECT_STREQ(buf, exe);

    ASSERT_GT(plat_current_dir(buf, sizeof buf), 0u);
    EXPECT_EQ(std::filesystem::current_path().string(), buf);
    EXPECT_GT(plat_computer_name(buf, sizeof buf), 0u);
    EXPECT_EQ(plat_pid(), (uint32_t)getpid());
    {
        EnvVar t("TMPDIR", "/var/tmp/");
        ASSERT_GT(plat_temp_dir(buf, sizeof buf), 0u);
        EXPECT_STREQ(buf, "/var/tmp");
    }
    EnvVar t("TMPDIR", nullptr);
    ASSERT_GT(plat_temp_dir(buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "/tmp");
}

TEST(Files, MakeDirsExistsAndAppend) {
    hbatest::TempState st;
    const std::string deep = st.path("a/b/c");
    EXPECT_FALSE(plat_dir_exists(deep.c_str()));
    EXPECT_TRUE(plat_make_dirs(deep.c_str()));
    EXPECT_TRUE(plat_make_dirs(deep.c_str()));
    EXPECT_TRUE(plat_dir_exists(deep.c_str()));
    EXPECT_FALSE(plat_file_exists(deep.c_str()));

    const std::string f = st.path("a/log.txt");
    EXPECT_TRUE(plat_append_file(f.c_str(), "one\n", 4));
    EXPECT_TRUE(plat_append_file(f.c_str(), "two\n", 4));
    EXPECT_TRUE(plat_file_exists(f.c_str()));
    EXPECT_FALSE(plat_make_dirs((f + "/sub").c_str())) << "a file is in the way";
    EXPECT_EQ(hbatest::read_file(f), "one\ntwo\n");
    EXPECT_FALSE(plat_append_file(st.path("missing/x").c_str(), "x", 1));
}

TEST(Files, AppendsFromManyProcessesNeverInterleave) {
    hbatest::TempState st;
    const std::string f = st.path("journal");
    const std::string line = std::string(300, 'x') + "\n";
    std::vector<pid_t> kids;
    for (int k = 0; k < 3; ++k)
        kids.push_back(plattest::start_child([&] {
            for (int i = 0; i < 100; ++i)
                if (!plat_append_file(f.c_str(), line.data(), line.size())) return 1;
            return 0;
        }));
    for (pid_t p : kids)
        EXPECT_EQ(plattest::wait_child(p), 0);
    std::string all = hbatest::read_file(f);
    EXPECT_EQ(all.size(), line.size() * 300);
    for (size_t off = 0; off < all.size(); off += line.size())
        ASSERT_EQ(all.compare(off, line.size(), line), 0) << "at " << off;
}

TEST(Files, AtomicWriteNeverShowsPartialFile) {
    hbatest::TempState st;
    const std::string f = st.path("state.bin");
    const std::string a(256 * 1024, 'A'), b(128 * 1024, 'B');
    ASSERT_TRUE(plat_write_file_atomic(f.c_str(), a.data(), a.size()));
    plattest::Signal done;
    pid_t writer = plattest::start_child([&] {
        for (int i = 0; i < 100; ++i) {
            const std::string& d = (i % 2) ? a : b;
            if (!plat_write_file_atomic(f.c_str(), d.data(), d.size())) return 1;
        }
        return 0;
    });
    int reads = 0;
    for (;;) {
        std::string got = hbatest::read_file(f);
        ASSERT_TRUE(got == a || got == b) << "partial file of " << got.size() << " bytes";
        reads++;
        int status = 0;
        if (waitpid(writer, &status, WNOHANG) == writer) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            break;
        }
    }
    EXPECT_GT(reads, 0);
    EXPECT_EQ(hbatest::read_file(f), a);
    // No temporary file is left behind (beside the suite's own marker).
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(st.dir()))
        entries += e.exists() && e.path().filename() != hbatest::kStateMarker;
    EXPECT_EQ(entries, 1);
    EXPECT_FALSE(plat_write_file_atomic(st.path("missing/x").c_str(), "x", 1));
    EXPECT_TRUE(plat_write_file_atomic(f.c_str(), nullptr, 0));
    EXPECT_EQ(hbatest::read_file(f), "");
}

TEST(Console, NoKeyWithoutTerminal) {
    EXPECT_EQ(plattest::in_child([] {
                  int nul = open("/dev/null", O_RDONLY);
                  dup2(nul, 0);
                  return (!plat_stdin_is_terminal() && !plat_key_pressed()) ? 0 : 1;
              }),
              0);
}

} // namespace
