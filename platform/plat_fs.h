// Paths, files and process facts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
// Creates a new, empty file only this user can read or write (mode 0600, never
// an existing file or link) named "<prefix>XXXXXX" in $TEMP, else $TMPDIR, else
// /tmp. Returns its descriptor (closed on exec) and its path in path, or -1
// (path empty) when it cannot be made or the path does not fit.
int plat_make_temp_file(const char* prefix, char* path, size_t size);
// The simulated machine's state directory: $HBASIM_DIR, else
// ${XDG_STATE_HOME:-$HOME/.local/state}/hbasim.
size_t plat_state_dir(char* buf, size_t size);

// Writes data to path through a temporary file and a rename, so the file is
// never seen half-written. Returns true on success; on failure errno says why
// (ENOSPC, EROFS, ...).
bool plat_write_file_atomic(const char* path, const void* data, size_t size);
// Appends one record with a single write (lines from concurrent writers never
// interleave). Returns true on success; on failure errno says why.
bool plat_append_file(const char* path, const void* data, size_t size);

// Writes all of data to fd, retrying interrupted and partial writes. False
// with errno set when a write fails.
bool plat_write_fd(int fd, const void* data, size_t size);

// True when name holds "<marker><pid>.<n>" and no process with that id is
// alive: the temporary file or trash folder of a writer killed before it could
// finish ("#key.tmp.4711.3" with marker ".tmp.").
bool plat_left_by_dead_process(const char* name, const char* marker);

// ---- storage faults of the state directory (test switch) ------------------------
// Makes every creation of a file or folder and every write under the state
// directory fail with err, as a full (ENOSPC) or read-only (EROFS) file system
// would; 0 ends it. Reads keep working. Also switched on for a whole process
// (and its children) by HBASIM_STATE_ERROR=nospace or readonly.
void plat_set_state_error(int err);
// The error a write at path is to fail with (0: none). Every writer of state
// files asks before it creates or writes one.
int plat_state_write_error(const char* path);

// True when standard input is a terminal and a key is waiting.
bool plat_key_pressed();
bool plat_stdin_is_terminal();
bool plat_stderr_is_terminal();

// One entry of a directory listing.
struct PlatDirEntry {
    std::string name; // the entry's name, without the directory
    bool is_dir;      // a directory (links are followed)
};
// Lists dir without "." and "..", sorted by name without regard to case (names
// equal but for case in byte order), so every file system gives the same order.
// Returns false (out empty) when the directory cannot be read.
bool plat_list_dir_sorted(const char* dir, std::vector<PlatDirEntry>* out);
