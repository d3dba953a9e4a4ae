// Cross-process named mutex.
//
// Each name has two files under <state>/locks/: "<name>.lock", held with an
// exclusive flock by the owning process, and "<name>.presence", held shared by
// every process that has a handle open (how a new opener learns whether the
// name is already in use). The kernel drops both locks when a process dies, so
// a dead owner never keeps the mutex. Within one process all handles to a name
// share one record: ownership belongs to a thread and is recursive.
// <state> is the suite's state folder (plat_paths.h).
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_sync.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

struct NamedEntry {
    std::string key; // lock file path
    int lockFd = -1;
    int presenceFd = -1;
    int handles = 0;
    std::mutex mu;
    std::condition_variable cv;
    uint32_t owner = 0; // thread id of the owner, 0 when free in this process
    uint32_t depth = 0;
    bool acquiring = false; // a thread of this process is waiting for the file lock
};

std::mutex g_tableMu;
std::map<std::string, NamedEntry*> g_table;

// After fork the child must not use its parent's records: their descriptors
// share lock state with the parent. The child starts with an empty table.
void atfork_prepare() {
    g_tableMu.lock();
}
void atfork_parent() {
    g_tableMu.unlock();
}
void atfork_child() {
    g_tableMu.unlock();
    for (auto& kv : g_table) {
        // Closing the inherited copies leaves the parent's locks in place.
        if (kv.second->lockFd >= 0) close(kv.second->lockFd);
        if (kv.second->presenceFd >= 0) close(kv.second->presenceFd);
    }
    g_table.clear(); // records are leaked: the child's stale handles may point at them
}
pthread_once_t g_atforkOnce = PTHREAD_ONCE_INIT;
void install_atfork() {
    pthread_atfork(atfork_prepare, atfork_parent, atfork_child);
}

// File name for a mutex name: letters, digits, '_', '-' and inner '.' as they
// are; every other byte as %XX, so distinct names never share a file.
std::string escape_name(const char* name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char* p = name; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '-' || (c == '.' && p != name);
        if (plain) {
            out += (char)c;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Any account may share a name (0666), but a link planted in the locks folder
// is never followed: the open would create or lock the file it points to.
int open_lock_file(const std::string& path) {
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int flock_retry(int fd, int op) {
    int rc;
    do {
        rc = flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// Real sleep for the internal polling (not the scaled sleep: scaled to zero it
// would spin).
void poll_pause_us(uint32_t us) {
    timespec ts;
    ts.tv_sec = us / 1000000;
    ts.tv_nsec = (long)(us % 1000000) * 1000;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Opens the record's files and registers this process as a user of the name.
// *existed tells whether another process had the name open.
bool open_entry_files(NamedEntry* e, const std::string& dir, const std::string& base,
                      bool* existed) {
    *existed = false;
    e->lockFd = open_lock_file(e->key);
    if (e->lockFd < 0) return false;
    e->presenceFd = open_lock_file(dir + "/" + base + ".presence");
    if (e->presenceFd < 0) return false;
    // The probe (exclusive, non-blocking) and the shared lock that follows are
    // made under a gate so that two new openers never both see the name unused.
    int gate = open_lock_file(dir + "/.gate");
    if (gate < 0) return false;
    bool ok = flock_retry(gate, LOCK_EX) == 0;
    if (ok) {
        if (flock_retry(e->presenceFd, LOCK_EX | LOCK_NB) == 0) {
            flock_retry(e->presenceFd, LOCK_UN);
        } else if (errno == EWOULDBLOCK) {
            *existed = true;
        } else {
            ok = false;
        }
        if (ok) ok = flock_retry(e->presenceFd, LOCK_SH) == 0;
    }
    close(gate); // releases the gate
    return ok;
}

void free_entry(NamedEntry* e) {
    if (e->lockFd >= 0) close(e->lockFd);
    if (e->presenceFd >= 0) close(e->presenceFd);
    delete e;
}

uint32_t self_id() {
    return plat_thread_id();
}

} // namespace

struct PlatNamedMutexRec {
    NamedEntry* e;
};

PlatNamedMutex plat_named_mutex_open(const char* name, bool* existed) {
    if (existed) *existed = false;
    if (!name || !*name) return nullptr;
    pthread_once(&g_atforkOnce, install_atfork);
    char state[4096];
    if (plat_suite_dir(PLAT_DIR_STATE, state, sizeof state) == 0) return nullptr;
    std::string dir = std::string(state) + "/locks";
    if (!plat_make_dirs(dir.c_str())) return nullptr;
    std::string base = escape_name(name);
    if (base.size() > 200) return nullptr;
    std::string key = dir + "/" + base + ".lock";

    auto* h = new (std::nothrow) PlatNamedMutexRec;
    if (!h) return nullptr;
    std::lock_guard<std::mutex> g(g_tableMu);
    auto it = g_table.find(key);
    if (it != g_table.end()) {
        // Another handle of this process has it open.
        it->second->handles++;
        h->e = it->second;
        if (existed) *existed = true;
        return h;
    }
    auto* e = new (std::nothrow) NamedEntry;
    if (!e) {
        delete h;
        return nullptr;
    }
    e->key = key;
    bool other = false;
    if (!open_entry_files(e, dir, base, &other)) {
        free_entry(e);
        delete h;
        return nullptr;
    }
    e->handles = 1;
    g_table[key] = e;
    h->e = e;
    if (existed) *existed = other;
    return h;
}

int plat_named_mutex_wait(PlatNamedMutex m, uint32_t timeout_ms) {
    if (!m) return PLAT_WAIT_FAILED;
    NamedEntry* e = m->e;
    const uint32_t me = self_id();
    const bool infinite = timeout_ms == PLAT_WAIT_INFINITE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);

    std::unique_lock<std::mutex> lk(e->mu);
    if (e->depth > 0 && e->owner == me) {
        e->depth++;
        return PLAT_WAIT_OK;
    }
    // First wait for the other threads of this process.
    while (e->depth > 0 || e->acquiring) {
        if (infinite) {
            e->cv.wait(lk);
        } else if (e->cv.wait_until(lk, deadline) == std::cv_status::timeout &&
                   (e->depth > 0 || e->acquiring)) {
            return PLAT_WAIT_TIMEOUT;
        }
    }
    e->acquiring = true;
    lk.unlock();

    // Then for the other processes: poll the file lock with short real pauses.
    int result = PLAT_WAIT_OK;
    uint32_t pause = 200;
    for (;;) {
        if (flock(e->lockFd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            result = PLAT_WAIT_FAILED;
            break;
        }
        uint32_t step = pause;
        if (!infinite) {
            auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                result = PLAT_WAIT_TIMEOUT;
                break;
            }
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
            if ((uint64_t)left.count() < step) step = (uint32_t)left.count() + 1;
        }
        poll_pause_us(step);
        if (pause < 5000) pause *= 2;
    }

    lk.lock();
    e->acquiring = false;
    if (result == PLAT_WAIT_OK) {
        e->owner = me;
        e->depth = 1;
    } else {
        e->cv.notify_all();
    }
    return result;
}

void plat_named_mutex_release(PlatNamedMutex m) {
    if (!m) return;
    NamedEntry* e = m->e;
    std::lock_guard<std::mutex> lk(e->mu);
    if (e->depth == 0 || e->owner != self_id()) return; // not the owner
    if (--e->depth > 0) return;
    e->owner = 0;
    flock_retry(e->lockFd, LOCK_UN);
    e->cv.notify_all();
}

void plat_named_mutex_close(PlatNamedMutex m) {
    if (!m) return;
    NamedEntry* e = m->e;
    delete m;
    std::lock_guard<std::mutex> g(g_tableMu);
    auto it = g_table.find(e->key);
    if (it == g_table.end() || it->second != e) return; // a record inherited across fork
    if (--e->handles > 0) return;
    g_table.erase(it);
    free_entry(e); // closing the files drops the file lock and the presence
}
