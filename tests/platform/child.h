// Runs a piece of a test in a forked child process.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace plattest {

// Starts fn in a child; the child exits with fn's result.
inline pid_t start_child(const std::function<int()>& fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    return pid;
}

// Waits for a child: its exit code, or -1 when it did not exit normally.
inline int wait_child(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

inline int in_child(const std::function<int()>& fn) {
    return wait_child(start_child(fn));
}

// A pipe used to let the parent wait until the child reached a point.
struct Signal {
    int fds[2] = {-1, -1};
    Signal() {
        if (pipe(fds) != 0) fds[0] = fds[1] = -1;
    }
    ~Signal() {
        if (fds[0] >= 0) close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void notify() {
        char c = 1;
        (void)!write(fds[1], &c, 1);
    }
    bool wait() {
        char c = 0;
        return read(fds[0], &c, 1) == 1;
    }
};

} // namespace plattest
