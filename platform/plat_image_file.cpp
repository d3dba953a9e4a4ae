// Input files read whole, and sealed in-memory copies (plat_image_file.h).
#include "platform/plat_image_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

bool read_exact(int fd, uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool write_exact(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int plat_read_regular_file(const char* path, uint64_t maxBytes, std::vector<uint8_t>* out) {
    out->clear();
    if (path == nullptr || path[0] == '\0') return PLAT_READ_OPEN;
    FdCloser file{open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) return PLAT_READ_OPEN;
    struct stat st;
    if (fstat(file.fd, &st) != 0) return PLAT_READ_IO;
    if (!S_ISREG(st.st_mode)) return PLAT_READ_NOT_REGULAR;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes) return PLAT_READ_TOO_BIG;
    const size_t size = static_cast<size_t>(st.st_size);
    try {
        out->resize(size);
    } catch (...) {
        return PLAT_READ_TOO_BIG;
    }
    // One byte more than the size must not be there: a file that grows while
    // it is read is not the file that was sized.
    uint8_t extra = 0;
    if (!read_exact(file.fd, out->data(), size) || read(file.fd, &extra, 1) != 0) {
        out->clear();
        return PLAT_READ_IO;
    }
    return PLAT_READ_OK;
}

int plat_sealed_copy(const char* name, const void* data, size_t size, char* path, size_t pathSize) {
    if (path == nullptr || pathSize == 0) return -1;
    path[0] = '\0';
    int fd = memfd_create(name != nullptr ? name : "image", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    const int seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    int n = std::snprintf(path, pathSize, "/proc/self/fd/%d", fd);
    if (!write_exact(fd, static_cast<const uint8_t*>(data), size) ||
        fcntl(fd, F_ADD_SEALS, seals) != 0 || n < 0 || static_cast<size_t>(n) >= pathSize) {
        close(fd);
        path[0] = '\0';
        return -1;
    }
    return fd;
}
