// Opening named files without blocking or following links, appending locked
// records, unnamed temporary files and the root trust rule (plat_safe_io.h).
#include "platform/plat_safe_io.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

int resultOfErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return PLAT_OPEN_MISSING;
    case ELOOP:
        return PLAT_OPEN_LINK;
    case EACCES:
    case EPERM:
        return PLAT_OPEN_DENIED;
    case ENXIO: // a FIFO without a reader, opened for writing without blocking
    case EISDIR:
        return PLAT_OPEN_NOT_REGULAR;
    default:
        return PLAT_OPEN_FAILED;
    }
}

// Leaves fd open only when it is a regular file; clears O_NONBLOCK.
int keepRegular(int fd, int* out) {
    struct stat st;
    int r = PLAT_OPEN_OK;
    if (fstat(fd, &st) != 0)
        r = PLAT_OPEN_FAILED;
    else if (!S_ISREG(st.st_mode))
        r = PLAT_OPEN_NOT_REGULAR;
    else {
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) r = PLAT_OPEN_FAILED;
    }
    if (r != PLAT_OPEN_OK) {
        close(fd);
        fd = -1;
    }
    *out = fd;
    return r;
}

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// True when the file behind fd (open for reading) is empty or ends with a
// newline.
bool endsWithNewline(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size == 0) return true;
    char last = '\n';
    return pread(fd, &last, 1, st.st_size - 1) == 1 && last == '\n';
}

std::string tempFolder() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* v = getenv(name);
        if (v && *v) return v;
    }
    return "/tmp";
}

void say(char* why, size_t size, const std::string& path, const char* what) {
    if (why && size) snprintf(why, size, "%s %s", path.c_str(), what);
}

// One file or folder of the trust rule.
bool trustedEntry(const std::string& path, bool follow, char* why, size_t size) {
    struct stat st;
    if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) {
        say(why, size, path, "cannot be read");
        return false;
    }
    // A link's own mode means nothing; what it points to is checked through
    // the resolved path, and its folder decides who may replace it.
    if (S_ISLNK(st.st_mode)) return true;
    if (st.st_uid != 0) {
        say(why, size, path, "is not owned by root");
        return false;
    }
    bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !sticky) {
        say(why, size, path, "is writable by group or others");
        return false;
    }
    return true;
}

// path and every folder above it up to "/".
bool trustedChain(std::string path, bool followFirst, char* why, size_t size) {
    if (!trustedEntry(path, followFirst, why, size)) return false;
    while (path.size() > 1) {
        size_t slash = path.rfind('/');
        path = slash == 0 ? "/" : path.substr(0, slash);
        if (!trustedEntry(path, false, why, size)) return false;
    }
    return true;
}

} // namespace

const char* plat_open_result_text(int result) {
    switch (result) {
    case PLAT_OPEN_OK:
        return "ok";
    case PLAT_OPEN_MISSING:
        return "no such file";
    case PLAT_OPEN_NOT_REGULAR:
        return "not a regular file";
    case PLAT_OPEN_LINK:
        return "a symbolic link";
    case PLAT_OPEN_DENIED:
        return "permission denied";
    case PLAT_OPEN_TOO_LARGE:
        return "too large";
    default:
        return "cannot be read or written";
    }
}

int plat_open_regular(const char* path, int* fd) {
    *fd = -1;
    if (!path || !*path) return PLAT_OPEN_MISSING;
    // O_NONBLOCK: opening a FIFO without a writer would wait forever.
    int f = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (f < 0) return resultOfErrno(errno);
    return keepRegular(f, fd);
}

int plat_read_regular_file(const char* path, size_t max, std::string* out) {
    out->clear();
    int fd = -1;
    int r = plat_open_regular(path, &fd);
    if (r != PLAT_OPEN_OK) return r;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            r = PLAT_OPEN_FAILED;
            break;
        }
        if (n == 0) break;
        if (out->size() + static_cast<size_t>(n) > max) {
            r = PLAT_OPEN_TOO_LARGE;
            break;
        }
        out->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (r != PLAT_OPEN_OK) out->clear();
    return r;
}

namespace {

// readable: the descriptor may read too (the record append checks the last byte).
int openForWrite(const char* path, unsigned mode, bool append, bool readable, int* fd) {
    *fd = -1;
    if (!path || !*path) return PLAT_OPEN_MISSING;
    const int flags = (readable ? O_RDWR : O_WRONLY) | (append ? O_APPEND : 0) | O_NOFOLLOW |
                      O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // Created here: the mode is set exactly, whatever the umask.
    int f = open(path, flags | O_CREAT | O_EXCL, mode & 07777);
    if (f >= 0) {
        if (fchmod(f, mode & 07777) != 0) {
            close(f);
            return PLAT_OPEN_FAILED;
        }
    } else if (errno == EEXIST) {
        f = open(path, flags);
    }
    if (f < 0) return resultOfErrno(errno);
    int r = keepRegular(f, fd);
    // Emptied only once it is known to be a regular file.
    if (r == PLAT_OPEN_OK && !append && ftruncate(*fd, 0) != 0) {
        close(*fd);
        *fd = -1;
        r = PLAT_OPEN_FAILED;
    }
    return r;
}

} // namespace

int plat_open_append(const char* path, unsigned mode, int* fd) {
    return openForWrite(path, mode, true, false, fd);
}

int plat_open_write(const char* path, unsigned mode, int* fd) {
    return openForWrite(path, mode, false, false, fd);
}

int plat_append_record(const char* path, unsigned mode, const void* data, size_t size) {
    int fd = -1;
    int r = openForWrite(path, mode, true, true, &fd);
    if (r != PLAT_OPEN_OK) return r;
    int rc;
    do {
        rc = flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    bool ok = rc == 0;
    if (ok && !endsWithNewline(fd)) ok = writeAll(fd, "\n", 1);
    if (ok) ok = writeAll(fd, data, size);
    if (ok) ok = fsync(fd) == 0;
    close(fd); // releases the lock
    return ok ? PLAT_OPEN_OK : PLAT_OPEN_FAILED;
}

int plat_make_unnamed_temp_file() {
    std::string dir = tempFolder();
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // A file system without unnamed files: a named one, unlinked at once.
    std::string name = dir + "/fwtmp.XXXXXX";
    if (name.size() >= PATH_MAX) return -1;
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

bool plat_running_as_root() {
    return geteuid() == 0;
}

bool plat_path_trusted(const char* path, char* why, size_t size) {
    if (why && size) why[0] = '\0';
    if (!path || !*path) {
        say(why, size, "", "cannot be read");
        return false;
    }
    std::string given = path;
    if (given[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) {
            say(why, size, given, "cannot be read");
            return false;
        }
        given = std::string(cwd) + "/" + given;
    }
    while (given.size() > 1 && given.back() == '/')
        given.pop_back();
    char* real = realpath(path, nullptr);
    if (!real) {
        say(why, size, given, "cannot be read");
        return false;
    }
    std::string resolved = real;
    free(real);
    // The folders the path names (someone able to change one could swap the
    // link or file in it), then the file and folders it resolves to.
    return trustedChain(given, false, why, size) && trustedChain(resolved, true, why, size);
}
