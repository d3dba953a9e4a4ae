// Files a program is told about by name (images, lists, logs, histories) and
// the programs it runs: opened so that what sits at the path cannot stall or
// fool it. A FIFO, socket or device where a regular file is expected is
// refused at once instead of blocking the read; a link where a file is
// written is refused instead of followed; a program or library folder that
// someone other than root can change is not trusted by a root process.
#pragma once
#include <cstddef>
#include <string>

// Outcome of the opens below.
enum PlatOpenResult : int {
    PLAT_OPEN_OK = 0,
    PLAT_OPEN_MISSING = 1,     // nothing at the path (or a folder of it is missing)
    PLAT_OPEN_NOT_REGULAR = 2, // a FIFO, socket, device or folder
    PLAT_OPEN_LINK = 3,        // a symbolic link where the file is written
    PLAT_OPEN_DENIED = 4,      // no permission
    PLAT_OPEN_TOO_LARGE = 5,   // larger than the caller's limit
    PLAT_OPEN_FAILED = 6,      // any other error (read error, full file system ...)
};
// A short text for a result ("not a regular file", ...).
const char* plat_open_result_text(int result);

// Opens path for reading without blocking and only when it is a regular file
// (links to one are followed). Returns PLAT_OPEN_OK with *fd (blocking again,
// closed on exec), else the reason and *fd = -1.
int plat_open_regular(const char* path, int* fd);
// Reads the whole regular file at path into *out (at most max bytes; a larger
// file gives PLAT_OPEN_TOO_LARGE and *out empty).
int plat_read_regular_file(const char* path, size_t max, std::string* out);

// Opens path for appending, created with mode when missing; never through a
// link (PLAT_OPEN_LINK) and only onto a regular file. Returns PLAT_OPEN_OK
// with *fd (closed on exec), else the reason and *fd = -1.
int plat_open_append(const char* path, unsigned mode, int* fd);
// The same, but the file is emptied for a new write.
int plat_open_write(const char* path, unsigned mode, int* fd);
// Appends one record under an exclusive lock of the file, so records of
// concurrent writers never interleave, and flushes it to the disk before it
// returns. A record cut short by a killed writer is ended with a newline
// first, so the next record still starts on a line of its own.
int plat_append_record(const char* path, unsigned mode, const void* data, size_t size);

// A new temporary file that has no name: nothing is left behind when the
// process is killed. In $TEMP, else $TMPDIR, else /tmp; mode 0600; closed on
// exec. Returns the descriptor, or -1.
int plat_make_unnamed_temp_file();

// True when the process runs with root's rights.
bool plat_running_as_root();
// Whether a root process may run the program (or load libraries from the
// folder) at path: the file, its resolved target and every folder above
// either up to "/" must be owned by root and writable by nobody else (a
// folder writable by others is accepted only with its sticky bit, which
// keeps others from replacing root's entries). Returns true, or false with
// the first offending path and why in why ("<path> is writable by group or
// others", "<path> is not owned by root", "<path> cannot be read").
bool plat_path_trusted(const char* path, char* why, size_t size);
