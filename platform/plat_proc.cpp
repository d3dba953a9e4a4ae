// Child processes: run a program and wait for it, or run a shell command line.
#include "platform/plat_proc.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Waits for pid and turns its status into an exit code: the code it exited
// with, or 128 + the signal that ended it.
int wait_exit_code(pid_t pid, int* code) {
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r != pid) return -1;
    if (WIFEXITED(status))
        *code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        *code = 128 + WTERMSIG(status);
    else
        *code = -1;
    return 0;
}

} // namespace

int plat_run(const char* program, const char* const* argv, const char* stdout_path,
             int* exit_code) {
    if (exit_code) *exit_code = -1;
    if (!program || !*program || !argv || !argv[0]) return -1;
    // Output buffered in this process comes before the child's.
    fflush(nullptr);
    posix_spawn_file_actions_t fa;
    if (posix_spawn_file_actions_init(&fa) != 0) return -1;
    if (stdout_path && posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, stdout_path,
                                                        O_WRONLY | O_CREAT | O_TRUNC, 0666) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return -1;
    }
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program, &fa, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int code = -1;
    if (wait_exit_code(pid, &code) != 0) return -1;
    if (exit_code) *exit_code = code;
    return 0;
}

int plat_system(const char* command_line) {
    static const char kShell[] = "/bin/sh";
    if (!command_line) return access(kShell, X_OK) == 0 ? 1 : 0;
    const char* argv[] = {"sh", "-c", command_line, nullptr};
    int code = -1;
    if (plat_run(kShell, argv, nullptr, &code) != 0) return -1;
    return code;
}

int plat_spawn_wait(const char* program, const char* const* argv, int stdout_fd,
                    PlatChildStatus* status) {
    PlatChildStatus st = {false, false, -1, 0};
    if (status) *status = st;
    if (!program || !*program || !argv || !argv[0]) return -1;
    fflush(nullptr);
    posix_spawn_file_actions_t fa;
    if (posix_spawn_file_actions_init(&fa) != 0) return -1;
    if (stdout_fd >= 0 && posix_spawn_file_actions_adddup2(&fa, stdout_fd, STDOUT_FILENO) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return -1;
    }
    pid_t pid = 0;
    // posix_spawn reports a failed exec as its result, so a missing or
    // unusable program never looks like a child that ran.
    int rc = posix_spawn(&pid, program, &fa, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    st.started = true;
    int raw = 0;
    pid_t r;
    do {
        r = waitpid(pid, &raw, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid && WIFEXITED(raw)) {
        st.exited = true;
        st.exit_code = WEXITSTATUS(raw);
    } else if (r == pid && WIFSIGNALED(raw)) {
        st.signal = WTERMSIG(raw);
    }
    if (status) *status = st;
    return st.exited && st.exit_code == 0 ? 0 : -1;
}
