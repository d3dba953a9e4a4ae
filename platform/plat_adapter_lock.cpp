// Writer locks of physical adapters (plat_adapter_lock.h): one flock-ed file
// per adapter name, polled through the platform sleep.
#include "platform/plat_adapter_lock.h"

#include "platform/plat_backend.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_time.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>

struct PlatAdapterLockRec {
    int fd;
};

namespace {

constexpr uint32_t kPollMs = 50; // between two tries of a held lock
constexpr size_t kNameMax = 64;

bool valid_name(const char* name) {
    size_t n = 0;
    for (const char* p = name; *p; ++p, ++n) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_';
        if (!ok || n >= kNameMax) return false;
    }
    return n > 0;
}

// Opens (creating when missing) the lock file; -1 with *why set.
int open_lock_file(const char* dir, const char* name, PlatFileStatus* why) {
    char path[4096];
    int n = snprintf(path, sizeof path, "%s/adapter-%s.lock", dir, name);
    if (n <= 0 || (size_t)n >= sizeof path) {
        *why = PLAT_FILE_FAILED;
        return -1;
    }
    // Read-only is enough for flock, and lets every user of the machine open
    // a lock file another one created.
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = open(path, flags);
    if (fd < 0 && errno == ENOENT) {
        if (!plat_make_dirs(dir)) {
            *why = plat_file_status_of(errno);
            return -1;
        }
        if (int err = plat_state_write_error(path)) {
            *why = plat_file_status_of(err);
            return -1;
        }
        fd = open(path, flags | O_CREAT, 0644);
    }
    if (fd < 0) {
        *why = errno == ELOOP ? PLAT_FILE_LINK : plat_file_status_of(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = PLAT_FILE_NOT_REGULAR;
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

size_t plat_adapter_lock_dir(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    buf[0] = '\0';
    const HbaDriverBackend* b = plat_dev_backend();
    if (b && b->lockDir) return b->lockDir(buf, size);
    char state[4096];
    size_t n = plat_suite_dir(PLAT_DIR_STATE, state, sizeof state);
    if (n == 0) return 0;
    int m = snprintf(buf, size, "%s/locks", state);
    if (m <= 0 || (size_t)m >= size) {
        buf[0] = '\0';
        return 0;
    }
    return (size_t)m;
}

int plat_adapter_lock(const char* name, uint32_t wait_ms, PlatAdapterLock* out,
                      PlatFileStatus* why) {
    PlatFileStatus ignored;
    if (!why) why = &ignored;
    *why = PLAT_FILE_OK;
    if (!out) return PLAT_LOCK_FAILED;
    *out = nullptr;
    if (!name || !valid_name(name)) {
        *why = PLAT_FILE_FAILED;
        return PLAT_LOCK_FAILED;
    }
    char dir[4096];
    if (plat_adapter_lock_dir(dir, sizeof dir) == 0) {
        *why = PLAT_FILE_MISSING;
        return PLAT_LOCK_FAILED;
    }
    int fd = open_lock_file(dir, name, why);
    if (fd < 0) return PLAT_LOCK_FAILED;

    // The wait is counted in the sleeps' own milliseconds, so it lasts as
    // long as the sleep scale makes it (nothing at scale 0); the clock ends it
    // too when the sleeps overrun, at the scaled bound plus the bound itself.
    const uint64_t start = plat_tick_ms();
    const uint64_t clockBound = wait_ms ? plat_scaled_ms(wait_ms) + (uint64_t)wait_ms : 0;
    uint32_t waited = 0;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            *why = plat_file_status_of(errno);
            close(fd);
            return PLAT_LOCK_FAILED;
        }
        if (waited >= wait_ms || plat_tick_ms() - start >= clockBound) {
            close(fd);
            return PLAT_LOCK_BUSY;
        }
        uint32_t step = wait_ms - waited < kPollMs ? wait_ms - waited : kPollMs;
        plat_sleep_ms(step);
        waited += step;
    }
    auto* lock = new (std::nothrow) PlatAdapterLockRec{fd};
    if (!lock) {
        close(fd); // closing drops the lock
        *why = PLAT_FILE_FAILED;
        return PLAT_LOCK_FAILED;
    }
    *out = lock;
    return PLAT_LOCK_OK;
}

void plat_adapter_unlock(PlatAdapterLock lock) {
    if (!lock) return;
    flock(lock->fd, LOCK_UN);
    close(lock->fd);
    delete lock;
}
