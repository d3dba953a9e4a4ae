// Files opened by name without blocking or following links, locked record
// appends from concurrent writers, unnamed temporary files, and the trust
// rule of root processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/plat_safe_io.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;

mode_t modeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(SafeOpen, WhatSitsAtThePathIsJudgedWithoutBlocking) {
    hbatest::TempState t;
    const std::string file = t.path("file"), fifo = t.path("fifo"), link = t.path("link");
    hbatest::write_file(file, "data");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(file, link);
    const struct {
        std::string path;
        int read; // plat_read_regular_file
        int append;
    } cases[] = {
        {file, PLAT_OPEN_OK, PLAT_OPEN_OK},
        {fifo, PLAT_OPEN_NOT_REGULAR, PLAT_OPEN_NOT_REGULAR}, // no writer, no reader: no wait
        {link, PLAT_OPEN_OK, PLAT_OPEN_LINK},                 // read through, never written
        {t.dir(), PLAT_OPEN_NOT_REGULAR, PLAT_OPEN_NOT_REGULAR},
        {t.path("none/x"), PLAT_OPEN_MISSING, PLAT_OPEN_MISSING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string data;
        EXPECT_EQ(plat_read_regular_file(c.path.c_str(), 1024, &data), c.read);
        int fd = -1;
        EXPECT_EQ(plat_open_append(c.path.c_str(), 0600, &fd), c.append);
        if (fd >= 0) close(fd);
    }
    EXPECT_EQ(hbatest::read_file(file), "data");
    std::string data;
    EXPECT_EQ(plat_read_regular_file(file.c_str(), 3, &data), PLAT_OPEN_TOO_LARGE);
    EXPECT_EQ(data, "");
}

TEST(SafeOpen, CreatedFilesGetTheirModeWhateverTheUmask) {
    hbatest::TempState t;
    mode_t old = umask(0);
    int fd = -1;
    EXPECT_EQ(plat_open_append(t.path("log").c_str(), 0600, &fd), PLAT_OPEN_OK);
    close(fd);
    EXPECT_EQ(plat_append_record(t.path("history").c_str(), 0644, "x\n", 2), PLAT_OPEN_OK);
    umask(old);
    EXPECT_EQ(modeOf(t.path("log")), 0600u);
    EXPECT_EQ(modeOf(t.path("history")), 0644u);
    // An existing file is emptied only by the truncating open.
    EXPECT_EQ(plat_open_write(t.path("history").c_str(), 0644, &fd), PLAT_OPEN_OK);
    close(fd);
    EXPECT_EQ(hbatest::read_file(t.path("history")), "");
}

TEST(AppendRecord, ConcurrentWritersNeverInterleaveALine) {
    hbatest::TempState t;
    const std::string path = t.path("records");
    // A record cut short by a killed writer: the next one starts on its own line.
    hbatest::write_file(path, "cut-short");
    constexpr int kWriters = 4, kRecords = 20;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        children.push_back(plattest::start_child([&, w]() {
            // Larger than a pipe buffer, so a torn write would show.
            std::string line(70000, static_cast<char>('a' + w));
            line += '\n';
            for (int i = 0; i < kRecords; ++i)
                if (plat_append_record(path.c_str(), 0644, line.data(), line.size()) != 0) return 1;
            return 0;
        }));
    }
    for (pid_t pid : children)
        EXPECT_EQ(plattest::wait_child(pid), 0);
    std::string all = hbatest::read_file(path);
    std::vector<int> per(kWriters, 0);
    size_t pos = all.find('\n') + 1;
    ASSERT_EQ(pos, 10u) << "the cut record was not ended";
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        ASSERT_NE(nl, std::string::npos);
        std::string line = all.substr(pos, nl - pos);
        ASSERT_EQ(line.size(), 70000u);
        ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos) << "torn line";
        ++per[line[0] - 'a'];
        pos = nl + 1;
    }
    for (int n : per)
        EXPECT_EQ(n, kRecords);
}

TEST(UnnamedTemp, NothingAppearsInTheTempFolder) {
    hbatest::TempState t;
    setenv("TEMP", t.dir().c_str(), 1);
    int fd = plat_make_unnamed_temp_file();
    unsetenv("TEMP");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "abc", 3), 3);
    // Nothing but the test state's own marker.
    for (const auto& e : fs::directory_iterator(t.dir()))
        EXPECT_EQ(e.path().filename(), hbatest::kStateMarker);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    close(fd);
}

TEST(TrustRule, RootOwnedAndWritableByNobodyElse) {
    if (!plat_running_as_root()) {
        GTEST_SKIP() << "owners other than root need root to set";
    }
    hbatest::TempState t;
    const std::string dir = t.path("bin"), prog = t.path("bin/prog");
    const struct {
        const char* name;
        mode_t dirMode, progMode;
        uid_t progOwner;
        const char* why; // "" when trusted
    } cases[] = {
        {"root's and closed", 0755, 0755, 0, ""},
        {"folder writable by group", 0775, 0755, 0, "bin is writable by group or others"},
        {"folder writable by all, sticky", 01777, 0755, 0, ""},
        {"program writable by others", 0755, 0757, 0, "prog is writable by group or others"},
        {"program of another user", 0755, 0755, 65534, "prog is not owned by root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        hbatest::write_file(prog, "#!/bin/sh\n");
        ASSERT_EQ(chmod(dir.c_str(), c.dirMode), 0);
        ASSERT_EQ(chmod(prog.c_str(), c.progMode), 0);
        ASSERT_EQ(chown(prog.c_str(), c.progOwner, 0), 0);
        char why[512];
        bool trusted = plat_path_trusted(prog.c_str(), why, sizeof why);
        EXPECT_EQ(trusted, c.why[0] == '\0') << why;
        if (!trusted) {
            EXPECT_NE(std::string(why).find(c.why), std::string::npos) << why;
        }
    }
    // A link is judged by what it leads to and by the folders of both.
    fs::remove_all(dir);
    fs::create_directories(t.path("other"));
    hbatest::write_file(t.path("other/prog"), "x");
    ASSERT_EQ(chmod(t.path("other").c_str(), 0777), 0);
    fs::create_directories(dir);
    fs::create_symlink(t.path("other/prog"), prog);
    char why[512];
    EXPECT_FALSE(plat_path_trusted(prog.c_str(), why, sizeof why));
    EXPECT_NE(std::string(why).find("other is writable by group or others"), std::string::npos)
        << why;
}

} // namespace
