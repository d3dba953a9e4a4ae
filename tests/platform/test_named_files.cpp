// Files opened by name: inputs are regular files opened without blocking,
// logs are never written through a link and get their own mode, saved files
// replace their name only when complete, and the state-storage switch fails
// writes under the state directory only.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

class NamedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = state.path("files");
        fs::create_directories(dir);
        hbatest::write_file(victim(), "victim\n");
    }
    void TearDown() override { plat_set_state_error(0); }
    std::string at(const char* name) const { return dir + "/" + name; }
    std::string victim() const { return state.path("victim"); }
    static mode_t modeOf(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }
    hbatest::TempState state;
    std::string dir;
};

// The id of a process that has ended.
pid_t deadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// A file that is neither missing nor regular would hang or feed a reader
// forever; the open refuses it at once.
TEST_F(NamedFiles, InputsMustBeRegularFiles) {
    hbatest::write_file(at("image"), "data");
    fs::create_symlink(at("image"), at("link"));
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    fs::create_directory(at("folder"));
    const struct {
        const char* name;
        PlatFileStatus why;
    } cases[] = {
        {"image", PLAT_FILE_OK},
        {"link", PLAT_FILE_OK}, // a link to a regular file is read like the file
        {"fifo", PLAT_FILE_NOT_REGULAR},
        {"folder", PLAT_FILE_NOT_REGULAR},
        {"missing", PLAT_FILE_MISSING},
    };
    for (const auto& c : cases) {
        PlatFileStatus why = PLAT_FILE_FAILED;
        FILE* f = plat_fopen_input(at(c.name).c_str(), &why);
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_EQ(f != nullptr, c.why == PLAT_FILE_OK) << c.name;
        if (f) {
            char text[8] = {};
            EXPECT_EQ(fread(text, 1, sizeof text, f), 4u) << c.name; // blocking reads again
            fclose(f);
        }
    }
    PlatFileStatus why = PLAT_FILE_OK;
    EXPECT_EQ(plat_fopen_input("/dev/null", &why), nullptr); // a device
    EXPECT_EQ(why, PLAT_FILE_NOT_REGULAR);
}

TEST_F(NamedFiles, LogsAreNeverWrittenThroughALink) {
    fs::create_symlink(victim(), at("link.log"));
    ASSERT_EQ(mkfifo(at("fifo.log").c_str(), 0600), 0);
    PlatFileStatus why = PLAT_FILE_OK;
    EXPECT_EQ(plat_open_log(at("link.log").c_str(), PLAT_MODE_LOG, true, true, &why), -1);
    EXPECT_EQ(why, PLAT_FILE_LINK);
    EXPECT_EQ(plat_append_log(at("link.log").c_str(), "x", 1), PLAT_FILE_LINK);
    EXPECT_EQ(plat_open_log(at("fifo.log").c_str(), PLAT_MODE_LOG, true, false, &why), -1);
    EXPECT_EQ(why, PLAT_FILE_NOT_REGULAR);
    EXPECT_EQ(hbatest::read_file(victim()), "victim\n");

    // An append-only log is never created; a created one is private whatever
    // the umask.
    EXPECT_EQ(plat_append_log(at("new.log").c_str(), "x", 1), PLAT_FILE_MISSING);
    EXPECT_FALSE(fs::exists(at("new.log")));
    mode_t old = umask(0);
    FILE* f = plat_fopen_log(at("new.log").c_str(), PLAT_MODE_LOG, true, nullptr);
    umask(old);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(modeOf(at("new.log")), 0600u);
    EXPECT_EQ(plat_append_log(at("new.log").c_str(), "line\n", 5), PLAT_FILE_OK);
    EXPECT_EQ(hbatest::read_file(at("new.log")), "line\n");
}

TEST_F(NamedFiles, SaveReplacesItsNameOnlyWhenCommitted) {
    const std::string path = at("wwn.bin");
    hbatest::write_file(path, "backup");
    {
        PlatSaveFile save;
        ASSERT_EQ(plat_save_begin(&save, path.c_str(), PLAT_MODE_SAVED), PLAT_FILE_OK);
        ASSERT_EQ(plat_save_write(&save, "half", 4), PLAT_FILE_OK);
        // Dropped by scope: a failed command.
    }
    EXPECT_EQ(hbatest::read_file(path), "backup");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // A save killed before its rename left a temporary file; the next save of
    // the name removes it (a live process's one stays).
    const std::string dead = path + ".tmp." + std::to_string(deadPid()) + ".0";
    const std::string live = path + ".tmp." + std::to_string(getpid()) + ".99";
    hbatest::write_file(dead, "left");
    hbatest::write_file(live, "busy");
    mode_t old = umask(077);
    PlatSaveFile save;
    ASSERT_EQ(plat_save_begin(&save, path.c_str(), PLAT_MODE_SAVED), PLAT_FILE_OK);
    umask(old);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    ASSERT_EQ(plat_save_write(&save, "new", 3), PLAT_FILE_OK);
    ASSERT_EQ(plat_save_commit(&save), PLAT_FILE_OK);
    EXPECT_EQ(hbatest::read_file(path), "new");
    EXPECT_EQ(modeOf(path), 0644u);

    fs::create_symlink(victim(), at("link.bin"));
    EXPECT_EQ(plat_save_begin(&save, at("link.bin").c_str(), PLAT_MODE_SAVED), PLAT_FILE_LINK);
    EXPECT_EQ(hbatest::read_file(victim()), "victim\n");
}

TEST_F(NamedFiles, StateErrorFailsWritesUnderTheStateFolderOnly) {
    const struct {
        int err;
        const char* env;
    } cases[] = {{ENOSPC, "nospace"}, {EROFS, "readonly"}};
    for (const auto& c : cases) {
        plat_set_state_error(c.err);
        errno = 0;
        EXPECT_FALSE(plat_write_file_atomic(at("state.bin").c_str(), "x", 1)) << c.env;
        EXPECT_EQ(errno, c.err) << c.env;
        EXPECT_EQ(plat_state_write_error(state.dir().c_str()), c.err) << c.env;
        EXPECT_EQ(plat_state_write_error((state.dir() + "-other/x").c_str()), 0) << c.env;
        plat_set_state_error(0);

        setenv("HBASIM_STATE_ERROR", c.env, 1);
        EXPECT_EQ(plat_state_write_error(at("state.bin").c_str()), c.err) << c.env;
        unsetenv("HBASIM_STATE_ERROR");
    }
    EXPECT_TRUE(plat_write_file_atomic(at("state.bin").c_str(), "x", 1));
    EXPECT_EQ(hbatest::read_file(at("state.bin")), "x");
}

} // namespace
