// Child processes by argv vector with output to a descriptor, private temp
// files, and sorted directory listings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;

std::string readFd(int fd) {
    std::string s;
    char buf[256];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        s.append(buf, (size_t)n);
    return s;
}

TEST(SpawnWait, OutputExitCodesSignalsAndMissingPrograms) {
    char path[256];
    int fd = plat_make_temp_file("spawn.", path, sizeof path);
    ASSERT_GE(fd, 0);
    // Arguments reach the child unchanged: no shell sees the blanks or the ">".
    const char* echo[] = {"/bin/echo", "a b", ">", "$HOME;x", nullptr};
    PlatChildStatus st;
    EXPECT_EQ(plat_spawn_wait("/bin/echo", echo, fd, &st), 0);
    EXPECT_TRUE(st.started && st.exited);
    EXPECT_EQ(readFd(fd), "a b > $HOME;x\n");
    close(fd);
    unlink(path);

    const struct {
        const char* script;
        bool started, exited;
        int code, signal;
    } cases[] = {
        {"exit 7", true, true, 7, 0},
        {"kill -9 $$", true, false, -1, 9},
        {nullptr, false, false, -1, 0},
    };
    for (const auto& c : cases) {
        const char* argv[] = {"sh", "-c", c.script, nullptr};
        const char* program = c.script ? "/bin/sh" : "/nonexistent/program";
        EXPECT_EQ(plat_spawn_wait(program, argv, -1, &st), -1) << program;
        EXPECT_EQ(st.started, c.started);
        EXPECT_EQ(st.exited, c.exited);
        if (c.exited) {
            EXPECT_EQ(st.exit_code, c.code);
        }
        EXPECT_EQ(st.signal, c.signal);
    }
}

TEST(TempFile, PrivateNewFileInTheTempFolderOfTheEnvironment) {
    hbatest::TempState state;
    std::string dirTemp = state.path("temp"), dirTmp = state.path("tmpdir");
    fs::create_directories(dirTemp);
    fs::create_directories(dirTmp);
    const char* oldTemp = getenv("TEMP");
    const char* oldTmp = getenv("TMPDIR");
    std::string keepTemp = oldTemp ? oldTemp : "", keepTmp = oldTmp ? oldTmp : "";
    const struct {
        const char* temp;
        const char* tmpdir;
        std::string folder;
    } cases[] = {{dirTemp.c_str(), dirTmp.c_str(), dirTemp},
                 {nullptr, dirTmp.c_str(), dirTmp},
                 {nullptr, nullptr, "/tmp"}};
    for (const auto& c : cases) {
        c.temp ? setenv("TEMP", c.temp, 1) : unsetenv("TEMP");
        c.tmpdir ? setenv("TMPDIR", c.tmpdir, 1) : unsetenv("TMPDIR");
        char a[256], b[256];
        int fa = plat_make_temp_file("fw.", a, sizeof a);
        int fb = plat_make_temp_file("fw.", b, sizeof b);
        ASSERT_GE(fa, 0);
        ASSERT_GE(fb, 0);
        EXPECT_STRNE(a, b);
        EXPECT_EQ(fs::path(a).parent_path().string(), c.folder);
        struct stat st;
        ASSERT_EQ(fstat(fa, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_NE(fcntl(fa, F_GETFD) & FD_CLOEXEC, 0);
        close(fa);
        close(fb);
        unlink(a);
        unlink(b);
    }
    oldTemp ? setenv("TEMP", keepTemp.c_str(), 1) : unsetenv("TEMP");
    oldTmp ? setenv("TMPDIR", keepTmp.c_str(), 1) : unsetenv("TMPDIR");

    char small[8];
    EXPECT_EQ(plat_make_temp_file("a-long-prefix.", small, sizeof small), -1);
    EXPECT_STREQ(small, "");
}

TEST(ListDir, SortedWithoutRegardToCaseAndMarksFolders) {
    hbatest::TempState state;
    std::string dir = state.path("list");
    fs::create_directories(dir + "/Sub");
    for (const char* n : {"b.ufi", "A.ufi", "c.UFI", "a.ufi", "x.txt"})
        hbatest::write_file(dir + "/" + n, "x");
    std::vector<PlatDirEntry> list;
    ASSERT_TRUE(plat_list_dir_sorted(dir.c_str(), &list));
    std::vector<std::string> names;
    for (const PlatDirEntry& e : list)
        names.push_back(e.name + (e.is_dir ? "/" : ""));
    EXPECT_EQ(names,
              (std::vector<std::string>{"A.ufi", "a.ufi", "b.ufi", "c.UFI", "Sub/", "x.txt"}));
    EXPECT_FALSE(plat_list_dir_sorted((dir + "/missing").c_str(), &list));
    EXPECT_TRUE(list.empty());
}

} // namespace
