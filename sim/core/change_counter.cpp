// The machine's change counter: "machine.seq" in the state directory, a small
// file that every process using the state maps into memory. It holds two
// 64-bit words in the machine's own byte order (the file never leaves the
// machine), updated with lock-free atomic operations on the shared mapping:
//   @0  changes: incremented after every change made through the simulator is
//       on disk (adapter state, machine index, faults, journal rotation)
//   @8  journal bytes: bytes appended to journal.log since it was started
// A process that finds the count unchanged since it last checked a file knows
// the file is as it saw it, without asking the file system: a request then
// costs no system call for its checks. Files edited behind the simulator's
// back are noticed at the next counted change or by the next process.
//
// A new counter file starts at the current time in nanoseconds, so its counts
// never repeat those of a file it replaces (a state directory removed and
// created again); every kIdentityEvery looks, a process checks that its mapping
// is still the file in the directory and maps the new one when it is not.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <mutex>

#include "sim/core/sim_internal.h"

namespace hbasim {

namespace {

const size_t kSeqFileSize = 64;
const size_t kOffChanges = 0;
const size_t kOffJournalBytes = 8;
const unsigned kIdentityEvery = 64;

struct Mapping {
    std::string dir;
    uint8_t* base = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    unsigned looks = 0;
};

std::mutex g_mu;
Mapping g_map;

// Atomics on memory shared between processes must not hide a lock.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);
static_assert(std::atomic_ref<uint64_t>::required_alignment <= 8);

std::atomic_ref<uint64_t> word(uint8_t* base, size_t off) {
    return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(base + off));
}

// Maps the counter file of dir (creating it when the directory exists); null
// when that is not possible. Called with g_mu held.
uint8_t* mapped(const std::string& dir) {
    if (g_map.base && g_map.dir == dir && ++g_map.looks % kIdentityEvery != 0) return g_map.base;
    std::string path = dir + "/machine.seq";
    if (g_map.base && g_map.dir == dir) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && st.st_dev == g_map.dev && st.st_ino == g_map.ino)
            return g_map.base;
    }
    if (g_map.base) munmap(g_map.base, kSeqFileSize);
    g_map = Mapping{};
    if (dir.empty()) return nullptr;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat st;
    // Only ever grown, so processes racing here all end with the same size.
    // The blocks are reserved before the file is mapped: a page of a shared
    // mapping that the file system cannot back (a full disk) would kill the
    // process with SIGBUS at its first touch. Without the counter every
    // read simply checks the disk.
    bool sized = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                 posix_fallocate(fd, 0, (off_t)kSeqFileSize) == 0 && fstat(fd, &st) == 0 &&
                 (size_t)st.st_size >= kSeqFileSize;
    void* p =
        sized ? mmap(nullptr, kSeqFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (p == MAP_FAILED) return nullptr;
    g_map.base = static_cast<uint8_t*>(p);
    g_map.dir = dir;
    g_map.dev = st.st_dev;
    g_map.ino = st.st_ino;
    // A new file holds 0 ("no counter" to callers): start it where no earlier
    // file of this directory can have counted to.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t start = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
    uint64_t zero = 0;
    word(g_map.base, kOffChanges).compare_exchange_strong(zero, start ? start : 1);
    return g_map.base;
}

} // namespace

uint64_t change_count(const std::string& dir) {
    std::lock_guard<std::mutex> g(g_mu);
    uint8_t* b = mapped(dir);
    return b ? word(b, kOffChanges).load() : 0;
}

uint64_t note_change(const std::string& dir) {
    std::lock_guard<std::mutex> g(g_mu);
    uint8_t* b = mapped(dir);
    if (!b) return 0;
    uint64_t v = word(b, kOffChanges).fetch_add(1) + 1;
    return v ? v : word(b, kOffChanges).fetch_add(1) + 1; // never 0, even after a wrap
}

bool journal_bytes_add(const std::string& dir, uint64_t n, uint64_t* total) {
    std::lock_guard<std::mutex> g(g_mu);
    uint8_t* b = mapped(dir);
    if (!b) return false;
    *total = word(b, kOffJournalBytes).fetch_add(n) + n;
    return true;
}

void journal_bytes_raise(const std::string& dir, uint64_t at_least) {
    std::lock_guard<std::mutex> g(g_mu);
    uint8_t* b = mapped(dir);
    if (!b) return;
    std::atomic_ref<uint64_t> w = word(b, kOffJournalBytes);
    uint64_t cur = w.load();
    while (cur < at_least && !w.compare_exchange_weak(cur, at_least)) {
    }
}

void journal_bytes_reset(const std::string& dir) {
    std::lock_guard<std::mutex> g(g_mu);
    uint8_t* b = mapped(dir);
    if (b) word(b, kOffJournalBytes).store(0);
}

} // namespace hbasim
