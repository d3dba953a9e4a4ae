// Child processes.
#pragma once
#include <cstdint>

// Runs program with argv (argv[0] included, null-terminated) and waits for it.
// stdout_path, when not null, receives the child's standard output (created or
// truncated). Returns 0 and the exit code in *exit_code, or -1 when the program
// could not be started.
int plat_run(const char* program, const char* const* argv, const char* stdout_path,
             int* exit_code);
// Runs a command line through the shell, as the C runtime's system() does.
int plat_system(const char* command_line);
