// Child processes.
#pragma once
#include <cstdint>

// Runs program with argv (argv[0] included, null-terminated) and waits for it.
// stdout_path, when not null, receives the child's standard output (created or
// truncated). The program path is used as given (no search of PATH). Returns 0
// and the exit code in *exit_code (128 + signal when a signal ended it), or -1
// when the program could not be started.
int plat_run(const char* program, const char* const* argv, const char* stdout_path, int* exit_code);
// Runs a command line through /bin/sh -c and waits for it. Returns the shell's exit
// code (128 + signal when a signal ended it), -1 when the shell could not be
// started; with a null command line, non-zero when a shell is available.
int plat_system(const char* command_line);

// How a child started by plat_spawn_wait ended.
struct PlatChildStatus {
    bool started;  // false: the program could not be started (spawn or exec failed)
    bool exited;   // true: it ended by itself, with exit_code
    int exit_code; // 0..255, valid when exited
    int signal;    // the signal that ended it, when started and not exited
};

// Runs program with argv (argv[0] included, null-terminated; no shell, no PATH
// search) and waits for it with waitpid. stdout_fd, when >= 0, becomes the
// child's standard output; standard error and the environment are inherited.
// Returns 0 when the child exited with code 0, else -1 (also for a signal or a
// program that could not be started); *status tells which.
int plat_spawn_wait(const char* program, const char* const* argv, int stdout_fd,
                    PlatChildStatus* status);
