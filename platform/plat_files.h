// Files a program opens by a name it was given or that lies in a shared folder.
//
// Inputs (images, scripts, WWN and VPD files, settings) are opened without
// blocking and only when they are regular files: a FIFO or a device named as
// an input must never hang a command or feed it endless data. Outputs (logs,
// traces, saved adapter data) are never written through a symbolic link and
// are created with an explicit mode, whatever the umask says; a saved file
// is written under a temporary name and renamed into place only when it is
// complete, so a failed command never destroys the file that was there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Why a file was refused or could not be opened or written.
enum PlatFileStatus : int {
    PLAT_FILE_OK = 0,
    PLAT_FILE_MISSING = 1,     // no such file (or folder on its path)
    PLAT_FILE_NOT_REGULAR = 2, // a directory, FIFO, device or socket
    PLAT_FILE_LINK = 3,        // a symbolic link where a file is to be written
    PLAT_FILE_NO_SPACE = 4,    // the file system is full (or the quota used up)
    PLAT_FILE_READ_ONLY = 5,   // the file system is mounted read-only
    PLAT_FILE_DENIED = 6,      // no permission
    PLAT_FILE_FAILED = 7,      // any other error
};

// Modes of the files the suite creates.
constexpr uint32_t PLAT_MODE_LOG = 0600;   // logs and traces: private to the owner
constexpr uint32_t PLAT_MODE_SAVED = 0644; // saved adapter data: readable by all

// The status of a system error number (ENOSPC, EROFS, ...).
PlatFileStatus plat_file_status_of(int err);
// A short description of a status for messages ("a symbolic link", "no space
// left on the device").
const char* plat_file_status_text(PlatFileStatus status);

// ---- inputs -------------------------------------------------------------------
// Opens path for reading when it is a regular file (links to one are
// followed). The open never blocks. Returns the descriptor (closed on exec),
// or -1 with *why set (why may be null).
int plat_open_input(const char* path, PlatFileStatus* why);
// The same as a stream in binary mode; null with *why set.
FILE* plat_fopen_input(const char* path, PlatFileStatus* why);

// ---- logs and traces ----------------------------------------------------------
// Opens path for appending: created with mode when create is set and it is
// missing, refused when it is a link or not a regular file. truncate empties
// it. Returns the descriptor (closed on exec) or -1 with *why set.
int plat_open_log(const char* path, uint32_t mode, bool create, bool truncate, PlatFileStatus* why);
// The same as a stream ("ab"); null with *why set.
FILE* plat_fopen_log(const char* path, uint32_t mode, bool create, PlatFileStatus* why);
// Appends one record with a single write to an existing log or trace file
// (never created, never through a link). Returns PLAT_FILE_OK or why not.
PlatFileStatus plat_append_log(const char* path, const void* data, size_t size);
// What is at path when it is not a file that may be written as a log: a
// link or a special file. PLAT_FILE_OK for a regular file or nothing at all.
PlatFileStatus plat_log_target_status(const char* path);

// ---- saved files ---------------------------------------------------------------
// A file written whole or not at all. begin refuses a link or a special file
// at path and creates a temporary file beside it (mode applied), removing
// those a killed save of the same name left; write adds data; commit renames
// it over path; a save that is dropped (or never committed) removes the
// temporary file and leaves path as it was.
struct PlatSaveFile {
    int fd = -1;
    char path[4096] = {};
    char tempPath[4096 + 32] = {};
    PlatSaveFile() = default;
    PlatSaveFile(const PlatSaveFile&) = delete;
    PlatSaveFile& operator=(const PlatSaveFile&) = delete;
    ~PlatSaveFile();
};
PlatFileStatus plat_save_begin(PlatSaveFile* save, const char* path, uint32_t mode);
PlatFileStatus plat_save_write(PlatSaveFile* save, const void* data, size_t size);
PlatFileStatus plat_save_commit(PlatSaveFile* save);
void plat_save_drop(PlatSaveFile* save);
