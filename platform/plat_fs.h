// Paths, files and process facts.
#pragma once
#include <cstddef>
#include <cstdint>

// Full path of the module (executable or shared library) that contains addr.
// Returns the length, or 0 on failure; the result is always terminated.
size_t plat_module_path(const void* addr, char* buf, size_t size);
// Full path of the running executable.
size_t plat_exe_path(char* buf, size_t size);
size_t plat_current_dir(char* buf, size_t size);
bool plat_file_exists(const char* path);
bool plat_dir_exists(const char* path);
// Creates the directory and its parents; true when it exists afterwards.
bool plat_make_dirs(const char* path);
uint32_t plat_pid();
size_t plat_computer_name(char* buf, size_t size);
// Temporary directory ($TMPDIR or /tmp).
size_t plat_temp_dir(char* buf, size_t size);
// The simulated machine's state directory: $HBASIM_DIR, else
// ${XDG_STATE_HOME:-$HOME/.local/state}/hbasim.
size_t plat_state_dir(char* buf, size_t size);

// Writes data to path through a temporary file and a rename, so the file is
// never seen half-written. Returns true on success.
bool plat_write_file_atomic(const char* path, const void* data, size_t size);
// Appends one record with a single write (lines from concurrent writers never
// interleave). Returns true on success.
bool plat_append_file(const char* path, const void* data, size_t size);

// True when standard input is a terminal and a key is waiting.
bool plat_key_pressed();
bool plat_stdin_is_terminal();
