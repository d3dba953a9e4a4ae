// The state directory: the machine index, per-adapter state files, their locks
// and the per-process snapshot cache.
//
// Layout (under state_dir()):
//   machine.hbs          index: adapter names and kinds, SCSI port map
//   machine.lock         held while the machine is (re)created or rebooted
//   adapters/<i>.hbs     state of adapter i (see state_file.cpp)
//   adapters/<i>.lock    exclusive lock around every read-modify-write of adapter i
//   objects/             large objects and staging objects (objects.cpp)
//   journal.log, faults.txt (journal.cpp, faults.cpp)
//
// Readers never lock: files are replaced by rename, so a reader sees the old
// or the new file, never a mix. A snapshot is revalidated by comparing the
// file's (device, inode, mtime in ns, size) with the one it was loaded from;
// writers make the mtime strictly increase (write_file_replacing). That check
// is made only when the shared change counter (change_counter.cpp) moved since
// the snapshot was last checked, so reads of an unchanged machine cost no
// system call; updates always check under the adapter's lock.
#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <mutex>

#include "platform/plat_fs.h"
#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

static thread_local std::string t_lastError;

const std::string& last_error() {
    return t_lastError;
}

int set_error(int code, const std::string& message) {
    t_lastError = message;
    return code;
}

// The state directory from the environment. When HBASIM_DIR names it (tests,
// the tools, child processes) the answer is kept until the variable's text
// changes; otherwise it is worked out from the other variables each time.
static std::string state_dir_now() {
    static std::mutex mu;
    static std::string key, dir;
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
    thread_local std::string t_dir;
    uint64_t gen = read_scope_gen();
    if (gen && gen == t_gen) return t_dir;
    std::string dir = state_dir_now();
    if (gen) {
        t_gen = gen;
        t_dir = dir;
    }
    return dir;
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
    if (stat(path.c_str(), &st) == 0) {
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.mtimeNs = (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        s.size = st.st_size;
    }
    return s;
}

struct IndexEntry {
    std::string name;
    std::string kind;
};

struct Index {
    std::vector<IndexEntry> adapters;
    std::map<int, FuncRef> ports;
};

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
    std::vector<Slot> slots;
};

std::recursive_mutex g_mutex;
Cache* g_cache = nullptr;
uint64_t g_indexLoads = 0; // index loads in this process, under g_mutex

const char kIndexMagic[8] = {'H', 'B', 'A', 'S', 'I', 'M', 'M', '1'};

std::string index_path(const std::string& dir) {
    return dir + "/machine.hbs";
}
std::string adapter_path(const std::string& dir, int i) {
    return dir + "/adapters/" + std::to_string(i) + ".hbs";
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
    }
    return *g_cache;
}

std::string encode_index(const Machine& m) {
    std::string body;
    for (const Adapter& a : m.adapters)
        body += "adapter " + a.name + " " + a.kind + "\n";
    for (size_t ai = 0; ai < m.adapters.size(); ++ai)
        for (size_t fi = 0; fi < m.adapters[ai].funcs.size(); ++fi) {
            int p = func_scsi_port(m.adapters[ai].funcs[fi]);
            if (p >= 0)
                body += "port " + std::to_string(p) + " " + std::to_string(ai) + " " +
                        std::to_string(fi) + "\n";
        }
    std::string out(kIndexMagic, 8);
    uint32_t len = (uint32_t)body.size(), crc = crc32_of(body.data(), body.size());
    for (int i = 0; i < 4; ++i)
        out += (char)(uint8_t)(len >> (8 * i));
    for (int i = 0; i < 4; ++i)
        out += (char)(uint8_t)(crc >> (8 * i));
    return out + body;
}

bool decode_index(const std::string& file, Index* out) {
    if (file.size() < 16 || memcmp(file.data(), kIndexMagic, 8) != 0) return false;
    const uint8_t* u = (const uint8_t*)file.data();
    uint32_t len = u[8] | (u[9] << 8) | (u[10] << 16) | ((uint32_t)u[11] << 24);
    uint32_t crc = u[12] | (u[13] << 8) | (u[14] << 16) | ((uint32_t)u[15] << 24);
    if (len != file.size() - 16 || crc32_of(file.data() + 16, len) != crc) return false;
    Index idx;
    size_t pos = 16;
    while (pos < file.size()) {
        size_t e = file.find('\n', pos);
        if (e == std::string::npos) return false;
        std::string line = file.substr(pos, e - pos);
        pos = e + 1;
        char a[64], b[64];
        int n, ai, fi;
        if (sscanf(line.c_str(), "adapter %63s %63s", a, b) == 2) {
            idx.adapters.push_back({a, b});
        } else if (sscanf(line.c_str(), "port %d %d %d", &n, &ai, &fi) == 3) {
            if (ai < 0 || ai >= (int)idx.adapters.size() || fi < 0 || n < 0) return false;
            idx.ports[n] = FuncRef{ai, fi};
        } else {
            return false;
        }
    }
    *out = std::move(idx);
    return true;
}

int corrupt(const std::string& path, const std::string& why) {
    return set_error(SIM_ERR_CORRUPT, "state file " + path + " is corrupt (" + why +
                                          "); run 'hbasim init' to recreate the state");
}

int lock_file(const std::string& path, int* fdOut) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return set_error(SIM_ERR_IO, "cannot open lock file " + path + ": " + strerror(errno));
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

int write_machine(Cache& c, const Machine& m, int oldCount);
int seed_locked(Cache& c);

// Loads (or revalidates) the index, seeding the state when there is none.
int load_index(Cache& c, bool force = false) {
    if (c.dir.empty()) return set_error(SIM_ERR_NO_STATE, "no state directory (HOME unset?)");
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
        st = stamp_of(path);
    }
    std::string file;
    if (!read_whole_file(path, &file))
        return set_error(SIM_ERR_IO, "cannot read " + path + ": " + strerror(errno));
    Index idx;
    if (!decode_index(file, &idx)) return corrupt(path, "bad index");
    c.index = std::move(idx);
    c.indexStamp = stamp_of(path);
    c.indexLoaded = true;
    c.indexVersion = ++g_indexLoads;
    c.indexCheckedSeq = seq;
    // A new index means the machine was recreated: reload adapters on next use.
    for (size_t i = 0; i < c.slots.size(); ++i) {
        c.slots[i].loaded = false;
        if (i >= c.index.adapters.size() && c.slots[i].lockFd >= 0) close(c.slots[i].lockFd);
    }
    c.slots.resize(c.index.adapters.size());
    return SIM_OK;
}

int load_slot(Cache& c, int ai, bool force = false) {
    Slot& s = c.slots[(size_t)ai];
    uint64_t gen = read_scope_gen();
    if (!force && gen && s.loaded && s.checkedGen == gen) return SIM_OK;
    uint64_t seq = change_count(c.dir);
    if (!force && seq && s.loaded && s.checkedSeq == seq) {
        s.checkedGen = gen;
        return SIM_OK;
    }
    std::string path = adapter_path(c.dir, ai);
    Stamp st = stamp_of(path);
    s.checkedGen = gen;
    s.checkedSeq = 0; // set again once the file is known good
    if (s.loaded && st == s.stamp) {
        s.checkedSeq = seq;
        return SIM_OK;
    }
    if (!st.exists) return corrupt(path, "missing");
    std::string file, why;
    if (!read_whole_file(path, &file))
        return set_error(SIM_ERR_IO, "cannot read " + path + ": " + strerror(errno));
    Adapter a;
    if (decode_adapter(file, &a, &why) != SIM_OK) {
        s.loaded = false;
        return corrupt(path, why);
    }
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

// Writes the whole machine: adapter files first, then the index. Called with
// the machine lock held.
int write_machine(Cache& c, const Machine& m, int oldCount) {
    std::string dir = c.dir;
    if (!plat_make_dirs((dir + "/adapters").c_str()) || !plat_make_dirs((dir + "/objects").c_str()))
        return set_error(SIM_ERR_IO, "cannot create the state directory " + dir);
    int count = (int)m.adapters.size();
    int upto = std::max(count, oldCount);
    std::vector<int> locks;
    int rc = SIM_OK;
    for (int i = 0; i < upto && rc == SIM_OK; ++i) {
        int fd = -1;
        rc = lock_file(adapter_lock_path(dir, i), &fd);
        if (rc == SIM_OK) locks.push_back(fd);
    }
    for (int i = 0; i < count && rc == SIM_OK; ++i) {
        std::string path = adapter_path(dir, i);
        if (!write_file_replacing(path, encode_adapter(m.adapters[(size_t)i]),
                                  stamp_of(path).mtimeNs))
            rc = set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
    }
    if (rc == SIM_OK) {
        std::string path = index_path(dir);
        if (!write_file_replacing(path, encode_index(m), stamp_of(path).mtimeNs))
            rc = set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
    }
    if (rc == SIM_OK)
        for (int i = count; i < upto; ++i)
            unlink(adapter_path(dir, i).c_str());
    note_change(dir); // also after a partial write: readers must look again
    for (int fd : locks)
        unlock_file(fd);
    c.indexLoaded = false;
    for (Slot& s : c.slots)
        s.loaded = false;
    return rc;
}

int read_old_count(const std::string& dir) {
    std::string file;
    Index idx;
    if (read_whole_file(index_path(dir), &file) && decode_index(file, &idx))
        return (int)idx.adapters.size();
    // Unreadable index: count the adapter files that are there.
    int n = 0;
    while (plat_file_exists(adapter_path(dir, n).c_str()))
        ++n;
    return n;
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
            rc = write_machine(c, m, read_old_count(c.dir));
    }
    unlock_file(lk);
    return rc;
}

// Removes the files of dir whose names contain 'part' (all files when empty).
void remove_dir_files(const std::string& dir, const char* part = "") {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' || !strstr(e->d_name, part)) continue;
        unlink((dir + "/" + e->d_name).c_str());
    }
    closedir(d);
}

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
    if (c.dir.empty()) return set_error(SIM_ERR_NO_STATE, "no state directory (HOME unset?)");
    if (!plat_make_dirs(c.dir.c_str()))
        return set_error(SIM_ERR_NO_STATE, "cannot create the state directory " + c.dir);
    int lk = -1;
    rc = lock_file(c.dir + "/machine.lock", &lk);
    if (rc) return rc;
    rc = write_machine(c, m, read_old_count(c.dir));
    if (rc == SIM_OK) {
        remove_dir_files(c.dir + "/objects");
        remove_dir_files(c.dir + "/adapters", ".tmp."); // leftovers of killed writers
        clear_runtime_files(c.dir);
    }
    unlock_file(lk);
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
    if (adapter < 0 || adapter >= (int)c.index.adapters.size())
        return set_error(SIM_ERR_NOT_FOUND, "no adapter " + std::to_string(adapter));
    rc = load_slot(c, adapter);
    if (rc) return rc;
    fn(c.slots[(size_t)adapter].a);
    return SIM_OK;
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
        s->lockFd =
            open(adapter_lock_path(c.dir, adapter).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (s->lockFd < 0)
            return set_error(SIM_ERR_IO,
                             "cannot open the lock of adapter " + std::to_string(adapter));
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
            std::string path = adapter_path(c.dir, adapter);
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
    for (int i = 0; i < (int)c.index.adapters.size(); ++i) {
        rc = load_slot(c, i);
        if (rc) return rc;
        m.adapters.push_back(c.slots[(size_t)i].a);
    }
    *out = std::move(m);
    return SIM_OK;
}

int reboot_machine() {
    std::lock_guard<std::recursive_mutex> g(g_mutex);
    Cache& c = cache();
    int rc = load_index(c);
    if (rc) return rc;
    int lk = -1;
    rc = lock_file(c.dir + "/machine.lock", &lk);
    if (rc) return rc;
    int n = (int)c.index.adapters.size();
    for (int i = 0; i < n && rc == SIM_OK; ++i)
        rc = update_adapter(i, [](Adapter& a) {
            bool changed = false;
            for (size_t r = 0; r < kRebootRuleCount; ++r)
                changed = kRebootRules[r].apply(a) || changed;
            return changed;
        });
    unlock_file(lk);
    if (rc == SIM_OK) journal("sim", "reboot");
    return rc;
}

} // namespace hbasim
