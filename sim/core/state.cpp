// The state directory: the machine index, the generation folder of the
// current machine, the locks and the per-process snapshot cache.
//
// Layout (under state_dir()):
//   machine.hbs             index: the generation folder, adapter names, kinds
//                           and files, SCSI port map (decode_index)
//   machine.<gen>/          the current machine: one file per adapter
//                           ("<i>.<revision>.hbs", see state_file.cpp),
//                           objects/ (objects.cpp) and faults.txt (faults.cpp)
//   machine.lock            held while the machine is (re)created or rebooted
//   adapters/<i>.lock       exclusive lock around every read-modify-write of adapter i
//   machine.seq, journal.log (change_counter.cpp, journal.cpp)
//
// A machine change (init, seed, reboot) writes every new adapter file under
// a name no index refers to yet, then replaces the index by a rename: that
// one rename switches every reader from the whole old machine to the whole
// new one. A new machine gets a fresh generation folder, so the old
// machine's objects and faults go with it in the same step; a reboot keeps
// the folder and gives each changed adapter a new revision. A killed writer
// leaves only files no index names; the next machine change removes them, and
// the temporary files among them go at the first look of the next process.
//
// Readers never lock: files are replaced by rename, so a reader sees the old
// or the new file, never a mix. A snapshot is revalidated by comparing the
// file's (device, inode, mtime in ns, size) with the one it was loaded from;
// writers make the mtime strictly increase (write_file_replacing). That check
// is made only when the shared change counter (change_counter.cpp) moved since
// the snapshot was last checked, so reads of an unchanged machine cost no
// system call; updates always check under the adapter's lock. A reader that
// finds an adapter file gone looks at the index again: when the machine was
// replaced meanwhile it starts over on the new one.
#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <atomic>
#include <mutex>
#include <set>

#include "platform/plat_fs.h"
#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

// Per-thread values live in plain arrays. A thread_local std::string is
// destroyed as its thread ends, the main thread's as soon as exit() begins,
// and requests still come after that: a library releasing, as it unloads,
// what a program left registered. An array has no destructor to run first.
constexpr size_t kErrorRoom = 8192;
constexpr size_t kDirRoom = 4096; // state directories are at most 4095 bytes
static thread_local char t_lastError[kErrorRoom];

std::string last_error() {
    return t_lastError;
}

int set_error(int code, const std::string& message) {
    snprintf(t_lastError, sizeof t_lastError, "%s", message.c_str());
    return code;
}

// The state directory from the environment. When HBASIM_DIR names it (tests,
// the tools, child processes) the answer is kept until the variable's text
// changes; otherwise it is worked out from the other variables each time.
static std::string state_dir_now() {
    static std::mutex mu;
    // Never destroyed, for the same reason as the per-thread values above.
    static std::string& key = *new std::string;
    static std::string& dir = *new std::string;
    const char* env = getenv("HBASIM_DIR");
    std::unique_lock<std::mutex> g(mu, std::defer_lock);
    if (env && *env) {
        g.lock();
        if (!dir.empty() && key == env) return dir;
    }
    char buf[4096];
    if (plat_state_dir(buf, sizeof buf) == 0) return "";
    if (g.owns_lock()) {
        key = env;
        dir = buf;
    }
    return buf;
}

std::string state_dir() {
    // Every request asks for the directory several times: inside a ReadScope
    // (one request) it is worked out once.
    thread_local uint64_t t_gen = 0;
    thread_local char t_dir[kDirRoom];
    uint64_t gen = read_scope_gen();
    if (gen && gen == t_gen) return t_dir;
    std::string dir = state_dir_now();
    if (gen && dir.size() < sizeof t_dir) {
        t_gen = gen;
        memcpy(t_dir, dir.c_str(), dir.size() + 1);
    }
    return dir;
}

// Why there is no state directory: no place for it, or a path too long.
static int no_state_dir() {
    static char big[65536];
    size_t n = plat_state_dir(big, sizeof big);
    if (n >= 4096)
        return set_error(SIM_ERR_NO_STATE, "the state directory path is too long (" +
                                               std::to_string(n) +
                                               " bytes, at most 4095): set HBASIM_DIR");
    return set_error(SIM_ERR_NO_STATE, "no state directory (HOME unset?)");
}

namespace {

struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    int64_t mtimeNs = 0;
    off_t size = 0;
    bool operator==(const Stamp& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && mtimeNs == o.mtimeNs &&
               size == o.size;
    }
};

Stamp stamp_of(const std::string& path) {
    Stamp s;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.mtimeNs = (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        s.size = st.st_size;
    }
    return s;
}

struct Slot {
    Stamp stamp;
    uint64_t checkedGen = 0; // ReadScope generation of the last check
    uint64_t checkedSeq = 0; // change count read before the last check
    bool loaded = false;
    Adapter a;
    int lockFd = -1;
};

struct Cache {
    std::string dir;
    pid_t pid = 0;
    Stamp indexStamp;
    uint64_t indexCheckedGen = 0;
    uint64_t indexCheckedSeq = 0;
    bool indexLoaded = false;
    uint64_t indexVersion = 0; // machine_version() of the loaded index
    Index index;
    std::string genDir; // dir + "/machine." + index.gen
    std::vector<Slot> slots;
    bool swept = false; // this process removed the temporaries of dead writers
};

std::recursive_mutex g_mutex;
Cache* g_cache = nullptr;
uint64_t g_indexLoads = 0; // index loads in this process, under g_mutex

const int kRetries = 8; // looks at the index when the machine keeps changing under a reader

std::string index_path(const std::string& dir) {
    return dir + "/machine.hbs";
}
std::string gen_dir(const std::string& dir, const std::string& gen) {
    return dir + "/machine." + gen;
}
std::string adapter_path(const Cache& c, int i) {
    return c.genDir + "/" + c.index.adapters[(size_t)i].file;
}
std::string adapter_lock_path(const std::string& dir, int i) {
    return dir + "/adapters/" + std::to_string(i) + ".lock";
}

void drop_slots(Cache& c) {
    for (Slot& s : c.slots)
        if (s.lockFd >= 0) close(s.lockFd);
    c.slots.clear();
}

// The cache of the current state directory and process (a forked child must
// not share lock file descriptions with its parent).
Cache& cache() {
    std::string dir = state_dir();
    pid_t pid = current_pid();
    if (!g_cache) g_cache = new Cache;
    if (g_cache->dir != dir || g_cache->pid != pid) {
        // Closing a descriptor inherited from the parent leaves its lock alone;
        // the child opens its own lock file descriptions.
        drop_slots(*g_cache);
        g_cache->dir = dir;
        g_cache->pid = pid;
        g_cache->indexLoaded = false;
        g_cache->indexStamp = Stamp{};
        g_cache->swept = false;
    }
    return *g_cache;
}

int corrupt(const std::string& path, const std::string& why) {
    return set_error(SIM_ERR_CORRUPT, "state file " + path + " is corrupt (" + why +
                                          "); run 'hbasim init' to recreate the state");
}

int open_lock(const std::string& path, int* fdOut) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return set_error(SIM_ERR_IO, "cannot open lock file " + path + ": " + strerror(errno));
    *fdOut = fd;
    return SIM_OK;
}

int lock_file(const std::string& path, int* fdOut) {
    int fd = -1;
    int rc = open_lock(path, &fd);
    if (rc) return rc;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return set_error(SIM_ERR_IO, "cannot lock " + path);
        }
    }
    *fdOut = fd;
    return SIM_OK;
}

void unlock_file(int fd) {
    if (fd < 0) return;
    flock(fd, LOCK_UN);
    close(fd);
}

int seed_locked(Cache& c);

// Once per process, at its first look at the machine: the temporary files of
// writers that were killed before their rename. Their processes are gone, so
// nothing can still be writing them and no lock is needed; files no index
// names wait for the next machine change (remove_leftovers).
void sweep_dead_temps(Cache& c) {
    if (c.swept) return;
    c.swept = true;
    remove_stale_temps(c.dir);
    remove_stale_temps(c.dir + "/adapters");
    remove_stale_temps(c.genDir);
    remove_stale_temps(c.genDir + "/objects");
}

// Loads (or revalidates) the index, seeding the state when there is none.
int load_index(Cache& c, bool force = false) {
    if (c.dir.empty()) return no_state_dir();
    uint64_t gen = read_scope_gen();
    if (!force && gen && c.indexLoaded && c.indexCheckedGen == gen) return SIM_OK;
    uint64_t seq = change_count(c.dir);
    if (!force && seq && c.indexLoaded && c.indexCheckedSeq == seq) {
        c.indexCheckedGen = gen;
        return SIM_OK;
    }
    std::string path = index_path(c.dir);
    Stamp st = stamp_of(path);
    c.indexCheckedGen = gen;
    c.indexCheckedSeq = 0; // set again once the index is known good
    if (c.indexLoaded && st == c.indexStamp) {
        c.indexCheckedSeq = seq;
        return SIM_OK;
    }
    if (!st.exists) {
        int rc = seed_locked(c);
        if (rc) return rc;
    }
    std::string file;
    if (!read_whole_file(path, &file))
        return set_error(SIM_ERR_IO,
                         "cannot read " + path + ": " +
                             (errno == EINVAL ? "not a regular file" : strerror(errno)));
    Index idx;
    if (!decode_index(file, &idx)) return corrupt(path, "bad index");
    c.index = std::move(idx);
    c.genDir = gen_dir(c.dir, c.index.gen);
    c.indexStamp = stamp_of(path);
    c.indexLoaded = true;
    c.indexVersion = ++g_indexLoads;
    c.indexCheckedSeq = seq;
    // A new index means a new machine or new adapter files: reload adapters
    // on next use.
    for (size_t i = 0; i < c.slots.size(); ++i) {
        c.slots[i].loaded = false;
        if (i >= c.index.adapters.size() && c.slots[i].lockFd >= 0) close(c.slots[i].lockFd);
    }
    c.slots.resize(c.index.adapters.size());
    sweep_dead_temps(c);
    return SIM_OK;
}

// SIM_ERR_CORRUPT for a damaged or missing file; *missing tells which.
int load_slot(Cache& c, int ai, bool force = false, bool* missing = nullptr) {
    Slot& s = c.slots[(size_t)ai];
    if (missing) *missing = false;
    uint64_t gen = read_scope_gen();
    if (!force && gen && s.loaded && s.checkedGen == gen) return SIM_OK;
    uint64_t seq = change_count(c.dir);
    if (!force && seq && s.loaded && s.checkedSeq == seq) {
        s.checkedGen = gen;
        return SIM_OK;
    }
    std::string path = adapter_path(c, ai);
    Stamp st = stamp_of(path);
    s.checkedGen = gen;
    s.checkedSeq = 0; // set again once the file is known good
    if (s.loaded && st == s.stamp) {
        s.checkedSeq = seq;
        return SIM_OK;
    }
    s.loaded = false;
    if (!st.exists) {
        if (missing) *missing = true;
        return corrupt(path, "missing");
    }
    std::string file, why;
    if (!read_whole_file(path, &file)) {
        if (errno == ENOENT && missing) *missing = true;
        return errno == EINVAL
                   ? corrupt(path, "not a regular file")
                   : set_error(SIM_ERR_IO, "cannot read " + path + ": " + strerror(errno));
    }
    Adapter a;
    if (decode_adapter(file, &a, &why) != SIM_OK) return corrupt(path, why);
    s.a = std::move(a);
    s.stamp = stamp_of(path);
    s.checkedSeq = seq;
    if (!(s.stamp.ino == st.ino && s.stamp.size == (off_t)file.size())) {
        // Replaced while we read it: keep the data, revalidate next time.
        s.stamp = Stamp{};
        s.checkedSeq = 0;
    }
    s.loaded = true;
    return SIM_OK;
}

// Loads adapter ai of the current machine. When its file is gone because the
// machine was replaced meanwhile, looks at the new index and tries again;
// *restarted tells the caller that the machine it had begun to read is gone.
int load_adapter(Cache& c, int ai, bool* restarted) {
    for (int attempt = 0;; ++attempt) {
        if (ai < 0 || ai >= (int)c.index.adapters.size())
            return set_error(SIM_ERR_NOT_FOUND, "no adapter " + std::to_string(ai));
        bool missing = false;
        int rc = load_slot(c, ai, false, &missing);
        if (rc == SIM_OK || !missing || attempt >= kRetries) return rc;
        uint64_t before = c.indexVersion;
        std::string err = last_error();
        rc = load_index(c, true);
        if (rc) return rc;
        if (c.indexVersion == before) return set_error(SIM_ERR_CORRUPT, err);
        if (restarted) *restarted = true;
    }
}

// Takes the locks of adapters 0..n-1 in order (the order every writer uses).
int lock_adapters(const std::string& dir, int n, std::vector<int>* locks) {
    if (!plat_make_dirs((dir + "/adapters").c_str()))
        return set_error(SIM_ERR_IO, "cannot create " + dir + "/adapters");
    for (int i = 0; i < n; ++i) {
        int fd = -1;
        int rc = lock_file(adapter_lock_path(dir, i), &fd);
        if (rc) return rc;
        locks->push_back(fd);
    }
    return SIM_OK;
}

void unlock_all(std::vector<int>& locks) {
    for (int fd : locks)
        unlock_file(fd);
    locks.clear();
}

// The index on disk now (no cache); false when there is none or it is unreadable.
bool read_index_file(const std::string& dir, Index* out) {
    std::string file;
    return read_whole_file(index_path(dir), &file) && decode_index(file, out);
}

// Removes what killed writers left behind: generation folders no index names,
// adapter files of the current folder the index does not name, and temporary
// files of processes that are gone. Called with the machine lock and every
// adapter lock held, so no live writer of the state is at work.
void remove_leftovers(const std::string& dir, const Index* current) {
    std::string keep = current ? "machine." + current->gen : "";
    remove_stale_temps(dir);
    if (DIR* d = opendir(dir.c_str())) {
        std::vector<std::string> old;
        while (struct dirent* e = readdir(d))
            if (strncmp(e->d_name, "machine.", 8) == 0 && e->d_name != keep &&
                strcmp(e->d_name, "machine.hbs") != 0 && strcmp(e->d_name, "machine.lock") != 0 &&
                strcmp(e->d_name, "machine.seq") != 0 && !strstr(e->d_name, ".tmp."))
                old.push_back(e->d_name);
        closedir(d);
        for (const std::string& n : old)
            remove_tree(dir + "/" + n);
    }
    // Files of the layout before generation folders.
    remove_tree(dir + "/objects");
    unlink((dir + "/faults.txt").c_str());
    if (DIR* d = opendir((dir + "/adapters").c_str())) {
        while (struct dirent* e = readdir(d)) {
            size_t n = strlen(e->d_name);
            if ((n > 4 && strcmp(e->d_name + n - 4, ".hbs") == 0) || is_stale_temp(e->d_name))
                unlinkat(dirfd(d), e->d_name, 0);
        }
        closedir(d);
    }
    if (!current) return;
    std::string gdir = dir + "/" + keep;
    std::set<std::string> named;
    for (const IndexEntry& e : current->adapters)
        named.insert(e.file);
    if (DIR* d = opendir(gdir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            size_t n = strlen(e->d_name);
            bool adapterFile = n > 4 && strcmp(e->d_name + n - 4, ".hbs") == 0;
            if ((adapterFile && !named.count(e->d_name)) || is_stale_temp(e->d_name))
                unlinkat(dirfd(d), e->d_name, 0);
        }
        closedir(d);
    }
    remove_stale_temps(gdir + "/objects");
}

// A generation name no folder of dir has: the time in ns, in hex.
int new_generation(const std::string& dir, std::string* gen) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t t = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
    for (int i = 0; i < 100; ++i, ++t) {
        char b[24];
        snprintf(b, sizeof b, "%llx", (unsigned long long)t);
        std::string g = gen_dir(dir, b);
        if (mkdir(g.c_str(), 0755) == 0) {
            if (mkdir((g + "/objects").c_str(), 0755) != 0) {
                int e = errno;
                remove_tree(g);
                return set_error(SIM_ERR_IO, "cannot create " + g + "/objects: " + strerror(e));
            }
            *gen = b;
            return SIM_OK;
        }
        if (errno != EEXIST)
            return set_error(SIM_ERR_IO, "cannot create " + g + ": " + strerror(errno));
    }
    return set_error(SIM_ERR_IO, "cannot create a generation folder in " + dir);
}

// Replaces the index by 'idx' (the atomic step of every machine change).
int switch_index(Cache& c, const Index& idx) {
    std::string path = index_path(c.dir);
    if (!write_file_replacing(path, encode_index(idx), stamp_of(path).mtimeNs))
        return set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
    return SIM_OK;
}

// Writes the whole machine into a new generation folder and switches the
// index to it. Called with the machine lock held. On failure nothing a reader
// sees has changed.
int write_machine(Cache& c, const Machine& m) {
    const std::string& dir = c.dir;
    Index old;
    bool hadOld = read_index_file(dir, &old);
    int count = (int)m.adapters.size();
    int upto = std::max(count, hadOld ? (int)old.adapters.size() : 0);
    std::vector<int> locks;
    Index idx;
    int rc = lock_adapters(dir, upto, &locks);
    if (rc == SIM_OK) {
        remove_leftovers(dir, hadOld ? &old : nullptr);
        rc = new_generation(dir, &idx.gen);
    }
    if (rc == SIM_OK) {
        std::string g = gen_dir(dir, idx.gen);
        for (int i = 0; i < count && rc == SIM_OK; ++i) {
            const Adapter& a = m.adapters[(size_t)i];
            idx.adapters.push_back({a.name, a.kind, std::to_string(i) + ".0.hbs"});
            std::string path = g + "/" + idx.adapters.back().file;
            if (!write_new_file(path, encode_adapter(a)))
                rc = set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
            for (size_t fi = 0; fi < a.funcs.size(); ++fi) {
                int p = func_scsi_port(a.funcs[fi]);
                if (p >= 0) idx.ports[p] = FuncRef{i, (int)fi};
            }
        }
        if (rc == SIM_OK) rc = switch_index(c, idx);
        if (rc != SIM_OK)
            remove_tree(g);
        else if (hadOld && old.gen != idx.gen)
            remove_tree(gen_dir(dir, old.gen));
    }
    if (rc == SIM_OK) note_change(dir);
    unlock_all(locks);
    c.indexLoaded = false;
    for (Slot& s : c.slots)
        s.loaded = false;
    return rc;
}

int seed_locked(Cache& c) {
    if (!plat_make_dirs(c.dir.c_str()))
        return set_error(SIM_ERR_NO_STATE, "cannot create the state directory " + c.dir);
    int lk = -1;
    int rc = lock_file(c.dir + "/machine.lock", &lk);
    if (rc) return rc;
    if (!stamp_of(index_path(c.dir)).exists) {
        Machine m;
        FleetError fe;
        rc = parse_fleet(default_fleet_text(), &m, &fe);
        if (rc)
            rc = set_error(SIM_ERR_NO_STATE, "default fleet rejected at line " +
                                                 std::to_string(fe.line) + ": " + fe.message);
        else
            rc = write_machine(c, m);
    }
    unlock_file(lk);
    return rc;
}

// Damaged adapter files this process has reported (once each).
std::set<std::string> g_reported;

} // namespace

namespace {
std::atomic<uint64_t> g_scopeGen{0};
thread_local int t_scopeDepth = 0;
thread_local uint64_t t_scopeGenNow = 0;
int g_pid = 0;
void refresh_pid() {
    g_pid = (int)getpid();
}
} // namespace

ReadScope::ReadScope() {
    if (t_scopeDepth++ == 0) t_scopeGenNow = ++g_scopeGen;
}
ReadScope::~ReadScope() {
    if (--t_scopeDepth == 0) t_scopeGenNow = 0;
}
uint64_t read_scope_gen() {
    return t_scopeGenNow;
}

int current_pid() {
    static bool registered = [] {
        pthread_atfork(nullptr, nullptr, refresh_pid);
        refresh_pid();
        return true;
    }();
    (void)registered;
    return g_pid;
}

int ensure_state() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    return load_index(cache());
}

std::string machine_dir() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (load_index(c)) return "";
    return c.genDir;
}

void clear_runtime_files(const std::string& dir); // faults.cpp / journal.cpp

int init_state(const std::string& fleet_text, FleetError* err) {
    Machine m;
    int rc = parse_fleet(fleet_text, &m, err);
    if (rc) {
        std::string msg =
            err ? "line " + std::to_string(err->line) + ": " + err->message : "fleet rejected";
        return set_error(SIM_ERR_FLEET, msg);
    }
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (c.dir.empty()) return no_state_dir();
    if (!plat_make_dirs(c.dir.c_str()))
        return set_error(SIM_ERR_NO_STATE, "cannot create the state directory " + c.dir);
    int lk = -1;
    rc = lock_file(c.dir + "/machine.lock", &lk);
    if (rc) return rc;
    // The new generation folder holds neither objects nor faults: the old
    // machine's went with its folder.
    rc = write_machine(c, m);
    unlock_file(lk);
    if (rc == SIM_OK) clear_runtime_files(c.dir);
    return rc;
}

uint64_t machine_version() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (load_index(c)) return 0;
    return c.indexVersion;
}

int adapter_kinds(std::vector<std::string>* out) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    out->clear();
    int rc = load_index(c);
    if (rc) return rc;
    for (const IndexEntry& e : c.index.adapters)
        out->push_back(e.kind);
    return SIM_OK;
}

int adapter_count() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (load_index(c)) return 0;
    return (int)c.index.adapters.size();
}

bool find_scsi_port(int port, FuncRef* out) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (load_index(c)) return false;
    auto it = c.index.ports.find(port);
    if (it == c.index.ports.end()) return false;
    if (out) *out = it->second;
    return true;
}

int read_adapter(int adapter, const std::function<void(const Adapter&)>& fn) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    rc = load_adapter(c, adapter, nullptr);
    if (rc) return rc;
    fn(c.slots[(size_t)adapter].a);
    return SIM_OK;
}

bool report_damaged_once(const char* who) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    const std::string& msg = last_error();
    if (g_reported.insert(msg).second) fprintf(stderr, "%s: %s\n", who, msg.c_str());
    return false;
}

int update_adapter(int adapter, const std::function<bool(Adapter&)>& fn) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    if (adapter < 0 || adapter >= (int)c.index.adapters.size())
        return set_error(SIM_ERR_NOT_FOUND, "no adapter " + std::to_string(adapter));
    Slot* s = &c.slots[(size_t)adapter];
    if (s->lockFd < 0) {
        rc = open_lock(adapter_lock_path(c.dir, adapter), &s->lockFd);
        if (rc) return rc;
    }
    int fd = s->lockFd;
    while (flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return set_error(SIM_ERR_IO, "cannot lock adapter " + std::to_string(adapter));
    // The machine may have been recreated while we waited.
    rc = load_index(c, true);
    if (rc == SIM_OK && adapter >= (int)c.index.adapters.size())
        rc = set_error(SIM_ERR_NOT_FOUND, "no adapter " + std::to_string(adapter));
    if (rc == SIM_OK) rc = load_slot(c, adapter, true);
    if (rc == SIM_OK) {
        s = &c.slots[(size_t)adapter];
        Adapter copy = s->a;
        if (fn(copy)) {
            std::string path = adapter_path(c, adapter);
            if (!write_file_replacing(path, encode_adapter(copy), s->stamp.mtimeNs)) {
                rc = set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
            } else {
                s->a = std::move(copy);
                s->stamp = stamp_of(path);
                s->loaded = true;
                // Nobody else can change the file while we hold its lock.
                s->checkedSeq = note_change(c.dir);
            }
        }
    }
    flock(fd, LOCK_UN);
    return rc;
}

int read_machine(Machine* out) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    Machine m;
    int restarts = 0;
    for (int i = 0; i < (int)c.index.adapters.size(); ++i) {
        bool restarted = false;
        rc = load_adapter(c, i, &restarted);
        if (restarted) { // the machine was replaced: read the new one from the start
            if (++restarts > kRetries)
                return set_error(SIM_ERR_IO, "the machine kept changing while it was read");
            m.adapters.clear();
            i = -1;
            continue;
        }
        if (rc) return rc;
        m.adapters.push_back(c.slots[(size_t)i].a);
    }
    *out = std::move(m);
    return SIM_OK;
}

int check_machine(Machine* out, std::vector<std::string>* damaged) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    out->adapters.clear();
    damaged->clear();
    int restarts = 0;
    for (int i = 0; i < (int)c.index.adapters.size(); ++i) {
        bool restarted = false;
        rc = load_adapter(c, i, &restarted);
        if (restarted) {
            if (++restarts > kRetries)
                return set_error(SIM_ERR_IO, "the machine kept changing while it was read");
            out->adapters.clear();
            damaged->clear();
            i = -1;
            continue;
        }
        if (rc == SIM_ERR_CORRUPT)
            damaged->push_back(last_error());
        else if (rc)
            return rc;
        else
            out->adapters.push_back(c.slots[(size_t)i].a);
    }
    return SIM_OK;
}

std::string adapter_file(int adapter) {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    if (load_index(c) || adapter < 0 || adapter >= (int)c.index.adapters.size()) return "";
    return adapter_path(c, adapter);
}

int reboot_machine() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    int lk = -1;
    rc = lock_file(c.dir + "/machine.lock", &lk);
    if (rc) return rc;
    // Every adapter changes in one step: the rebooted adapters go to files of
    // a new revision, and one new index names them.
    std::vector<int> locks;
    std::vector<std::string> written, replaced;
    rc = load_index(c, true);
    if (rc == SIM_OK) rc = lock_adapters(c.dir, (int)c.index.adapters.size(), &locks);
    if (rc == SIM_OK) rc = load_index(c, true);
    if (rc == SIM_OK) remove_leftovers(c.dir, &c.index);
    Index idx = c.index;
    for (int i = 0; rc == SIM_OK && i < (int)idx.adapters.size(); ++i) {
        rc = load_slot(c, i, true);
        if (rc) break;
        Adapter a = c.slots[(size_t)i].a;
        bool changed = false;
        for (size_t r = 0; r < kRebootRuleCount; ++r)
            changed = kRebootRules[r].apply(a) || changed;
        if (!changed) continue;
        IndexEntry& e = idx.adapters[(size_t)i];
        size_t dot = e.file.find('.');
        unsigned long long rev = strtoull(e.file.c_str() + dot + 1, nullptr, 10);
        std::string file = std::to_string(i) + "." + std::to_string(rev + 1) + ".hbs";
        std::string path = c.genDir + "/" + file;
        if (!write_new_file(path, encode_adapter(a))) {
            rc = set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
            break;
        }
        written.push_back(path);
        replaced.push_back(c.genDir + "/" + e.file);
        e.file = file;
    }
    if (rc == SIM_OK && !written.empty()) rc = switch_index(c, idx);
    for (const std::string& p : rc == SIM_OK ? replaced : written)
        unlink(p.c_str());
    if (rc == SIM_OK && !written.empty()) note_change(c.dir);
    unlock_all(locks);
    unlock_file(lk);
    c.indexLoaded = false;
    if (rc == SIM_OK) journal("sim", "reboot");
    return rc;
}

} // namespace hbasim
