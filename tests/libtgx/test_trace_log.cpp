// The library's trace log as a process sees it: the settings file beside the
// library switches tracing on, every line carries the time and the program
// name (a mailbox trace line is logged whole), the first process empties the log and later ones
// append, a load with tracing off leaves the log alone, the log is never
// written through a link, and a library directory too long for its file names
// stops the load.
#include <dlfcn.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "libtgx/libtgx.h"
#include "platform/plat_time.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

const char kCopyEnv[] = "HBATEST_TGX_COPY";

// libtgx.so copied into a directory of its own, so that its settings file and
// log belong to one test; load() runs its load, unload() its unload.
class LibCopy {
  public:
    explicit LibCopy(const std::string& dir) : path_(dir + "/libtgx.so") {
        fs::create_directories(dir);
        fs::copy_file(hbatest::bin_path("libtgx.so"), path_, fs::copy_options::overwrite_existing);
    }
    ~LibCopy() { unload(); }
    void load() {
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void unload() {
        if (handle_) dlclose(handle_);
        handle_ = nullptr;
    }
    template <typename F> F fn(const char* name) {
        void* p = handle_ ? dlsym(handle_, name) : nullptr;
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<F>(p);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    void* handle_ = nullptr;
};

void fixed_clock(PlatLocalTime* t, void*) {
    *t = PlatLocalTime{2024, 5, 17, 13, 5, 9, 0};
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

// Name of this test program as trace lines show it (it has no dot).
std::string self_name() {
    return fs::read_symlink("/proc/self/exe").filename().string();
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

class TraceLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        st.init();
        plat_set_clock_hook(fixed_clock, nullptr);
    }
    void TearDown() override { plat_set_clock_hook(nullptr, nullptr); }
    std::string lib_dir(const std::string& name) { return st.path(name); }
    hbatest::TempState st;
};

TEST_F(TraceLogTest, LinesCarryTimeAndProgramName) {
    const std::string dir = lib_dir("lib");
    LibCopy lib(dir);
    hbatest::write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\nKD_PRINT=0\n");
    hbatest::write_file(dir + "/LIBTGX.LOG", "left over from an earlier run\n");
    lib.load();
    DrvInfo di{};
    di.version = 5;
    EXPECT_EQ(lib.fn<uint32_t (*)(uint32_t, DrvInfo*)>("TGX_GetDrvInfo")(0x99, &di), 1u);
    lib.unload();

    const std::vector<std::string> lines = lines_of(hbatest::read_file(dir + "/LIBTGX.LOG"));
    const std::string prefix = "[13:05:09] " + self_name() + ": ";
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], prefix + std::string(54, '*'));
    EXPECT_EQ(lines[1], prefix + "LibTgx Error and Trace Log File (12.0.1167.0    X86 )");
    EXPECT_EQ(lines[2], prefix + std::string(54, '*'));
    for (const std::string& l : lines)
        EXPECT_EQ(l.rfind(prefix, 0), 0u) << l;
    const std::string all = hbatest::read_file(dir + "/LIBTGX.LOG");
    EXPECT_EQ(all.find("left over"), std::string::npos);
    EXPECT_NE(all.find(prefix + "DLL_PROCESS_ATTACH: [EXIT]\n"), std::string::npos);
    EXPECT_NE(all.find(prefix + "TGX_GetDrvInfo: board=99 requestVer=5\n"), std::string::npos);
    EXPECT_EQ(lines.back(), prefix + "DLL_PROCESS_DETACH: [EXIT]");
}

TEST_F(TraceLogTest, FileTracingOffLeavesTheLogAsItIs) {
    const struct {
        const char* name;
        const char* ini; // null: no settings file
        bool haveLog;    // a log of an earlier run is there
    } cases[] = {
        {"letter", "DBG_PRINT=abc\n", true},
        {"lower", "dbg_print=1\n", true},
        {"zero", "DBG_PRINT=1\nDBG_PRINT=0\n", true},
        {"missing", nullptr, true},
        {"no-log", "KD_PRINT=0\n", false},
    };
    for (const auto& c : cases) {
        const std::string dir = lib_dir(c.name);
        LibCopy lib(dir);
        if (c.ini) hbatest::write_file(dir + "/LIBTGX.ini", c.ini);
        if (c.haveLog) hbatest::write_file(dir + "/LIBTGX.LOG", "old\n");
        lib.load();
        lib.fn<uint32_t (*)()>("TGX_FreeDiagEnv")();
        lib.unload();
        EXPECT_EQ(fs::exists(dir + "/LIBTGX.LOG"), c.haveLog) << c.name;
        if (c.haveLog) {
            EXPECT_EQ(hbatest::read_file(dir + "/LIBTGX.LOG"), "old\n") << c.name;
        }
    }
}

// With file tracing on, the log is created private, and a link or a FIFO in
// its place is neither followed nor waited for.
TEST_F(TraceLogTest, LogIsNeverWrittenThroughALink) {
    const std::string dir = lib_dir("lib");
    LibCopy lib(dir);
    hbatest::write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\n");
    const std::string victim = st.path("victim");
    hbatest::write_file(victim, "victim\n");
    fs::create_symlink(victim, dir + "/LIBTGX.LOG");
    lib.load();
    lib.fn<uint32_t (*)()>("TGX_FreeDiagEnv")();
    lib.unload();
    EXPECT_EQ(hbatest::read_file(victim), "victim\n");
    EXPECT_TRUE(fs::is_symlink(dir + "/LIBTGX.LOG"));

    fs::remove(dir + "/LIBTGX.LOG");
    ASSERT_EQ(mkfifo((dir + "/LIBTGX.LOG").c_str(), 0600), 0);
    lib.load(); // would block on the FIFO if it were opened as a file
    lib.unload();
    EXPECT_TRUE(fs::is_fifo(dir + "/LIBTGX.LOG"));

    fs::remove(dir + "/LIBTGX.LOG");
    lib.load();
    lib.unload();
    struct stat sb;
    ASSERT_EQ(stat((dir + "/LIBTGX.LOG").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0600u);
}

TEST_F(TraceLogTest, MailboxTraceLinesAreLoggedWhole) {
    const std::string dir = lib_dir("lib");
    LibCopy lib(dir);
    hbatest::write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\n");
    lib.load();
    const uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    uint32_t info = 0;
    lib.fn<uint32_t (*)(uint32_t, uint32_t, uint32_t, const void*, uint32_t, uint32_t*)>(
        "TGX_IssueUpdateCfgMBox")(0, 2, 8, data, sizeof data, &info);
    uint32_t mb[64] = {0x06u << 8};
    uint32_t words[4] = {};
    EXPECT_EQ(
        lib.fn<uint32_t (*)(uint32_t, uint32_t*, void*, uint8_t, uint32_t, uint32_t, uint32_t,
                            uint32_t)>("TGX_IssueMboxWithRetryEx")(0, mb, words, 5, 0, 4, 1, 0),
        0u);
    lib.unload();

    const std::string all = hbatest::read_file(dir + "/LIBTGX.LOG");
    const std::string prefix = "[13:05:09] " + self_name() + ": ";
    EXPECT_NE(all.find("\n" + prefix + "MBox cmd: 1b01 32 c0008 0 c 0 0 0 \n"), std::string::npos)
        << all;
    EXPECT_NE(all.find("\n" + prefix + "data: 4030201 8070605 c0b0a09 \n"), std::string::npos);
    EXPECT_NE(all.find("\n" + prefix + " Data rcv: \n     Dump Bytes\n"), std::string::npos);
    // Every line carries the prefix once, except the lines of the hex dump
    // (an empty dump is an empty line).
    for (const std::string& l : lines_of(all)) {
        if (l.empty() || l.rfind("     Dump Bytes", 0) == 0 || l.rfind("          [", 0) == 0)
            continue;
        EXPECT_EQ(l.rfind(prefix, 0), 0u) << l;
        EXPECT_EQ(count_of(l, prefix), 1u) << l;
        EXPECT_NE(l, prefix);
    }
}

// Loads the library named by the environment and unloads it; the second
// process of TwoProcessesShareTheLog.
TEST(TraceChildProcess, LoadsLibrary) {
    const char* path = getenv(kCopyEnv);
    if (!path) GTEST_SKIP() << "runs as the child of TwoProcessesShareTheLog";
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    dlclose(h);
}

TEST_F(TraceLogTest, TwoProcessesShareTheLog) {
    const std::string dir = lib_dir("lib");
    LibCopy lib(dir);
    hbatest::write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\n");
    hbatest::write_file(dir + "/LIBTGX.LOG", "old\n");

    // The second process runs under another program name: "hbaset.exe" shows
    // as "hbaset" (the last extension is cut).
    const std::string exe = st.path("hbaset.exe");
    std::error_code ec;
    fs::create_hard_link("/proc/self/exe", exe, ec);
    if (ec) fs::copy_file(fs::read_symlink("/proc/self/exe"), exe, ec);
    ASSERT_FALSE(ec) << ec.message();

    lib.load(); // first process: the name is new, the log starts empty
    hbatest::RunResult r = hbatest::run(exe, {"--gtest_filter=TraceChildProcess.LoadsLibrary"},
                                        {{kCopyEnv, lib.path()}});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string both = hbatest::read_file(dir + "/LIBTGX.LOG");
    EXPECT_EQ(both.find("old\n"), std::string::npos);
    EXPECT_EQ(both.rfind("[13:05:09] " + self_name() + ": ****", 0), 0u) << both;
    const size_t child = both.find("] hbaset: ****");
    ASSERT_NE(child, std::string::npos) << both;
    EXPECT_NE(both.find("] hbaset: DLL_PROCESS_DETACH: [EXIT]\n"), std::string::npos);
    EXPECT_EQ(count_of(both, "LibTgx Error and Trace Log File"), 2u);
    lib.unload();

    // With no other process holding the name, the next load starts afresh.
    lib.load();
    lib.unload();
    const std::string fresh = hbatest::read_file(dir + "/LIBTGX.LOG");
    EXPECT_EQ(fresh.find("hbaset:"), std::string::npos);
    EXPECT_EQ(count_of(fresh, "LibTgx Error and Trace Log File"), 1u);
}

// Makes a directory whose canonical path has len characters (checked by the caller).
std::string dir_of_length(const std::string& base, size_t len) {
    fs::create_directories(base);
    std::string path = fs::canonical(base).string();
    while (path.size() + 1 < len) {
        size_t room = len - path.size(); // '/' and a name of room - 1 characters
        path += '/';
        path.append(room > 201 ? 150 : room - 1, 'd');
    }
    fs::create_directories(path);
    return path;
}

TEST_F(TraceLogTest, LibraryDirectoryLengthLimit) {
    const struct {
        size_t len;
        bool loads;
    } cases[] = {{248, true}, {249, false}};
    for (const auto& c : cases) {
        const std::string dir = dir_of_length(lib_dir(std::to_string(c.len)), c.len);
        ASSERT_EQ(dir.size(), c.len);
        LibCopy lib(dir);
        hbatest::write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\n");
        lib.load();
        uint32_t count = lib.fn<uint32_t (*)(BrdInfo*, uint32_t)>("TGX_InitDiagEnv")(nullptr, 0);
        lib.unload();
        EXPECT_EQ(count > 0, c.loads) << c.len;
        EXPECT_EQ(fs::exists(dir + "/LIBTGX.LOG"), c.loads) << c.len;
    }
}

} // namespace
