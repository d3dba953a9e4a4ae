// The download progress bar: on standard error while standard error is a
// terminal (here a pseudo-terminal), for every image kind; nothing on standard
// error otherwise, and standard output the same either way, as fwsweep and
// scripts read it.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/image/image_builders.h"
#include "tests/download/download_env.h"

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Appends what fd has to give; false at its end (or a terminal's EIO).
bool drain(int fd, std::string* into) {
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into->append(buf, static_cast<size_t>(n));
    return true;
}

// hbaset with standard output on a pipe and standard error on a terminal
// (or on a second pipe).
Outcome runHbaset(const std::vector<std::string>& args, bool terminal, const std::string& dir) {
    int out[2], err[2];
    EXPECT_EQ(pipe(out), 0);
    if (terminal) {
        EXPECT_EQ(openpty(&err[0], &err[1], nullptr, nullptr, nullptr), 0);
    } else {
        EXPECT_EQ(pipe(err), 0);
    }
    const std::string program = hbatest::bin_path("hbaset");
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Outcome r;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        if (poll(fds, 2, 10000) <= 0) break;
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) outOpen = drain(out[0], &r.out);
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            errOpen = drain(err[0], &r.err);
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

struct Case {
    const char* kind;
    const char* fleet; // "" = the default fleet
    const char* target;
    const char* file;
};

// Builds the case's image in the state directory (named relative to it, so
// that both runs print the same command line).
std::string makeImage(const dltest::Env& env, const Case& c) {
    const std::string k = c.kind;
    if (k == "prg") return env.file(c.file, sim_image::build_prg(sim_image::PrgSpec()));
    if (k == "grp") return env.file(c.file, sim_image::build_grp(sim_image::GrpSpec()));
    if (k == "ufi") {
        std::string path = env.state().path(c.file);
        EXPECT_EQ(sim_image::image_ufi({"--gen", "3", "-o", path}), 0);
        return path;
    }
    sim_image::AifFileSpec f;
    f.all = true;
    f.images.resize(2);
    f.images[1].kind = "bwc";
    f.images[1].idWord = 0x03790101;
    f.images[1].base = 0x80000;
    return env.file(c.file, sim_image::build_aif(f));
}

TEST(DownloadProgress, BarOnATerminalOnlyAndTheSameStandardOutput) {
    const std::string fc = dltest::fcFleet();
    const Case cases[] = {
        {"prg", fc.c_str(), "n=1", "fw.prg"},
        {"all", fc.c_str(), "n=1", "fw.ALL"},
        {"grp", "adapter B1 brevin\nfunction fc\n", "n=1", "fw.grp"},
        {"ufi", "", "n=7", "fw.ufi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Outcome plain, onTerminal;
        {
            dltest::Env env(c.fleet);
            makeImage(env, c);
            plain = runHbaset({"download", c.target, std::string("i=") + c.file}, false,
                              env.state().dir());
        }
        {
            dltest::Env env(c.fleet);
            makeImage(env, c);
            onTerminal = runHbaset({"download", c.target, std::string("i=") + c.file}, true,
                                   env.state().dir());
        }
        EXPECT_TRUE(plain.exitCode == 0 || plain.exitCode == 80) << plain.out;
        EXPECT_EQ(onTerminal.exitCode, plain.exitCode);
        EXPECT_EQ(onTerminal.out, plain.out);
        EXPECT_EQ(plain.err, "");
        // A bar redrawn in place that reaches 100% and ends its line.
        EXPECT_NE(onTerminal.err.find('\r'), std::string::npos) << onTerminal.err;
        EXPECT_NE(onTerminal.err.find("] 100%"), std::string::npos) << onTerminal.err;
        ASSERT_FALSE(onTerminal.err.empty());
        EXPECT_EQ(onTerminal.err.back(), '\n');
    }
}

} // namespace
