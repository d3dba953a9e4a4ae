// Files opened by name (plat_files.h): regular-file inputs opened without
// blocking, logs never followed through a link, saved files renamed into
// place when complete.
#include "platform/plat_files.h"

#include "platform/plat_fs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

namespace {

std::atomic<uint32_t> g_saveSeq{0};

void set_why(PlatFileStatus* why, PlatFileStatus status) {
    if (why) *why = status;
}

int open_retry(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The descriptor back in blocking mode, for the ordinary reads and writes that
// follow an open that must not block.
bool clear_nonblock(int fd) {
    int fl = fcntl(fd, F_GETFL);
    return fl >= 0 && fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == 0;
}

// Fails with *why and closes fd unless it is a regular file.
bool keep_if_regular(int fd, PlatFileStatus* why) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        set_why(why, plat_file_status_of(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        set_why(why, PLAT_FILE_NOT_REGULAR);
        return false;
    }
    if (!clear_nonblock(fd)) {
        set_why(why, PLAT_FILE_FAILED);
        return false;
    }
    return true;
}

// A stream over an open descriptor (-1: none); closes it when that fails.
FILE* stream_of(int fd, const char* mode, PlatFileStatus* why) {
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, mode);
    if (!f) {
        set_why(why, PLAT_FILE_FAILED);
        close(fd);
    }
    return f;
}

// The status of a failed open of a log: a link at the name gives ELOOP with
// O_NOFOLLOW, a FIFO without a reader ENXIO with O_NONBLOCK.
PlatFileStatus open_failure(const char* path, int err) {
    if (err == ELOOP) {
        struct stat st;
        if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) return PLAT_FILE_LINK;
    }
    if (err == ENXIO || err == EISDIR) return PLAT_FILE_NOT_REGULAR;
    return plat_file_status_of(err);
}

// Removes the temporary files an earlier save of path left when it was killed
// ("<name>.tmp.<pid>.<n>" of a process that is gone).
void remove_dead_saves(const char* path) {
    const char* slash = strrchr(path, '/');
    const std::string dir = !slash          ? std::string(".")
                            : slash == path ? std::string("/")
                                            : std::string(path, (size_t)(slash - path));
    const char* base = slash ? slash + 1 : path;
    const size_t baseLen = strlen(base);
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        // The suffix after the name itself: ".tmp.<pid>.<n>".
        if (strncmp(e->d_name, base, baseLen) != 0) continue;
        if (plat_left_by_dead_process(e->d_name + baseLen, ".tmp."))
            unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

} // namespace

PlatFileStatus plat_file_status_of(int err) {
    switch (err) {
    case 0:
        return PLAT_FILE_OK;
    case ENOENT:
    case ENOTDIR:
        return PLAT_FILE_MISSING;
    case ENOSPC:
    case EDQUOT:
        return PLAT_FILE_NO_SPACE;
    case EROFS:
        return PLAT_FILE_READ_ONLY;
    case EACCES:
    case EPERM:
        return PLAT_FILE_DENIED;
    default:
        return PLAT_FILE_FAILED;
    }
}

const char* plat_file_status_text(PlatFileStatus status) {
    switch (status) {
    case PLAT_FILE_OK:
        return "no error";
    case PLAT_FILE_MISSING:
        return "no such file";
    case PLAT_FILE_NOT_REGULAR:
        return "not a regular file";
    case PLAT_FILE_LINK:
        return "a symbolic link";
    case PLAT_FILE_NO_SPACE:
        return "no space left on the device";
    case PLAT_FILE_READ_ONLY:
        return "the file system is read-only";
    case PLAT_FILE_DENIED:
        return "permission denied";
    default:
        return "input/output error";
    }
}

// ---- inputs ---------------------------------------------------------------------

int plat_open_input(const char* path, PlatFileStatus* why) {
    set_why(why, PLAT_FILE_OK);
    if (!path || !*path) {
        set_why(why, PLAT_FILE_MISSING);
        return -1;
    }
    // O_NONBLOCK: the open of a FIFO returns at once instead of waiting for a
    // writer; the type check then refuses it.
    int fd = open_retry(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        set_why(why, plat_file_status_of(errno));
        return -1;
    }
    if (!keep_if_regular(fd, why)) {
        close(fd);
        return -1;
    }
    return fd;
}

FILE* plat_fopen_input(const char* path, PlatFileStatus* why) {
    return stream_of(plat_open_input(path, why), "rb", why);
}

// ---- logs and traces --------------------------------------------------------------

int plat_open_log(const char* path, uint32_t mode, bool create, bool truncate,
                  PlatFileStatus* why) {
    set_why(why, PLAT_FILE_OK);
    if (!path || !*path) {
        set_why(why, PLAT_FILE_MISSING);
        return -1;
    }
    int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (create) flags |= O_CREAT;
    int fd = open_retry(path, flags, (mode_t)mode);
    if (fd < 0) {
        set_why(why, open_failure(path, errno));
        return -1;
    }
    if (!keep_if_regular(fd, why)) {
        close(fd);
        return -1;
    }
    // Emptied only once it is known to be a regular file of its own name.
    if (truncate && ftruncate(fd, 0) != 0) {
        set_why(why, plat_file_status_of(errno));
        close(fd);
        return -1;
    }
    return fd;
}

FILE* plat_fopen_log(const char* path, uint32_t mode, bool create, PlatFileStatus* why) {
    return stream_of(plat_open_log(path, mode, create, false, why), "ab", why);
}

PlatFileStatus plat_append_log(const char* path, const void* data, size_t size) {
    if (!data && size) return PLAT_FILE_FAILED;
    PlatFileStatus why = PLAT_FILE_OK;
    int fd = plat_open_log(path, PLAT_MODE_LOG, false, false, &why);
    if (fd < 0) return why;
    bool ok = plat_write_fd(fd, data, size);
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    return ok ? PLAT_FILE_OK : plat_file_status_of(err);
}

PlatFileStatus plat_log_target_status(const char* path) {
    struct stat st;
    if (!path || lstat(path, &st) != 0) return PLAT_FILE_OK;
    if (S_ISLNK(st.st_mode)) return PLAT_FILE_LINK;
    return S_ISREG(st.st_mode) ? PLAT_FILE_OK : PLAT_FILE_NOT_REGULAR;
}

// ---- saved files -------------------------------------------------------------------

PlatSaveFile::~PlatSaveFile() {
    plat_save_drop(this);
}

PlatFileStatus plat_save_begin(PlatSaveFile* save, const char* path, uint32_t mode) {
    plat_save_drop(save);
    if (!path || !*path) return PLAT_FILE_MISSING;
    PlatFileStatus target = plat_log_target_status(path);
    if (target != PLAT_FILE_OK) return target;
    size_t len = strlen(path);
    if (len >= sizeof save->path) return PLAT_FILE_FAILED;
    memcpy(save->path, path, len + 1);
    remove_dead_saves(path);
    // The temporary file lies beside the target, so the rename stays on one
    // file system; its name carries the process id, so a leftover of a killed
    // run is recognised as one.
    int n = snprintf(save->tempPath, sizeof save->tempPath, "%s.tmp.%u.%u", path,
                     (unsigned)plat_pid(), (unsigned)g_saveSeq.fetch_add(1));
    if (n <= 0 || (size_t)n >= sizeof save->tempPath) {
        save->tempPath[0] = '\0';
        return PLAT_FILE_FAILED;
    }
    int fd = open_retry(save->tempPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        (mode_t)mode);
    if (fd < 0) {
        PlatFileStatus why = plat_file_status_of(errno);
        save->tempPath[0] = '\0';
        return why;
    }
    // The creation mode is cut by the umask; the saved file gets mode itself.
    if (fchmod(fd, (mode_t)mode) != 0) {
        PlatFileStatus why = plat_file_status_of(errno);
        close(fd);
        unlink(save->tempPath);
        save->tempPath[0] = '\0';
        return why;
    }
    save->fd = fd;
    return PLAT_FILE_OK;
}

PlatFileStatus plat_save_write(PlatSaveFile* save, const void* data, size_t size) {
    if (save->fd < 0 || (!data && size)) return PLAT_FILE_FAILED;
    if (plat_write_fd(save->fd, data, size)) return PLAT_FILE_OK;
    return plat_file_status_of(errno);
}

PlatFileStatus plat_save_commit(PlatSaveFile* save) {
    if (save->fd < 0) return PLAT_FILE_FAILED;
    int fd = save->fd;
    save->fd = -1;
    PlatFileStatus why = PLAT_FILE_OK;
    if (fsync(fd) != 0) why = plat_file_status_of(errno);
    if (close(fd) != 0 && why == PLAT_FILE_OK) why = plat_file_status_of(errno);
    // A link or special file put there since begin is refused as it would
    // have been then (a rename would replace the link itself, not follow it).
    if (why == PLAT_FILE_OK) why = plat_log_target_status(save->path);
    if (why == PLAT_FILE_OK && rename(save->tempPath, save->path) != 0)
        why = plat_file_status_of(errno);
    if (why != PLAT_FILE_OK) unlink(save->tempPath);
    save->tempPath[0] = '\0';
    return why;
}

void plat_save_drop(PlatSaveFile* save) {
    if (save->fd >= 0) close(save->fd);
    save->fd = -1;
    if (save->tempPath[0]) unlink(save->tempPath);
    save->tempPath[0] = '\0';
}
