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
