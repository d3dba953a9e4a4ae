// Input files read whole: a firmware image is read into memory once, checked
// there and sent from there, so a file that changes on disk while a command
// runs is never what reaches the adapter. A component that takes only a path
// (the converged-adapter library) is handed a sealed in-memory copy of the
// checked bytes instead of the file the user named.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum PlatReadStatus : int {
    PLAT_READ_OK = 0,
    PLAT_READ_OPEN = 1,        // the file cannot be opened
    PLAT_READ_NOT_REGULAR = 2, // a FIFO, device, socket or directory
    PLAT_READ_TOO_BIG = 3,     // larger than the caller's limit
    PLAT_READ_IO = 4,          // a read failed, or the file changed size while read
};

// Reads the whole regular file at path into out (at most maxBytes). The file
// is opened without blocking, so a FIFO never hangs the caller, and refused
// unless it is a regular file. out is empty on failure.
int plat_read_regular_file(const char* path, uint64_t maxBytes, std::vector<uint8_t>* out);

// A sealed in-memory file holding a copy of data: nobody can change, grow or
// shrink it. path (at least 32 bytes) receives a name that opens it from this
// process ("/proc/self/fd/N"). Returns the descriptor (closed on exec; the
// caller closes it when the path is no longer needed), or -1.
int plat_sealed_copy(const char* name, const void* data, size_t size, char* path, size_t pathSize);
