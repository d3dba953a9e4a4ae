// Registry store.
//
// HKEY_LOCAL_MACHINE is the directory <state>/registry/hklm, in the suite's
// state folder (plat_paths.h). Every key is a
// directory named by its lower-cased, escaped name (so lookups ignore case);
// the file "#key" inside holds the key's own name in its original case and its
// values. Readers read "#key" without locking: it is only ever replaced whole
// (temporary file and rename). Writers take an exclusive lock on
// <state>/registry/.lock around each read-modify-write, so concurrent
// processes never lose each other's changes. A writer killed in the middle of
// a change leaves at most a record temporary ("#key.tmp.<pid>.<n>") or a
// trash folder of a delete (".trash.<pid>.<n>"); the first change made by any
// later process removes those of processes that are gone.
//
// "#key" layout (little-endian):
//   magic "HRK1"; u16 nameLen, name; u32 valueCount;
//   per value: u16 nameLen, name, u32 type, u32 dataLen, data.
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_registry.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <vector>

struct PlatRegKeyRec {
    std::vector<std::string> parts; // key path below the root, as given
    std::string dir;                // the key's directory
};

namespace {

const char kKeyFile[] = "#key";
const char kMagic[4] = {'H', 'R', 'K', '1'};
const size_t kMaxNameLen = 255;      // characters of a key or value name
const uint32_t kMaxData = 64u << 20; // bytes of one value

struct RegValue {
    std::string name;
    uint32_t type = 0;
    std::string data;
};

struct KeyRecord {
    std::string name;
    std::vector<RegValue> values;
};

// ---- switches ---------------------------------------------------------------

std::atomic<bool> g_denyCreate{false};

struct Injection {
    std::string op;
    std::string pathLower;
    int32_t status = 0;
    int remaining = 0; // < 0: every call
};
std::mutex g_injMu;
std::vector<Injection> g_injections;
std::atomic<bool> g_anyInjection{false};

bool deny_changes() {
    if (g_denyCreate.load(std::memory_order_relaxed)) return true;
    const char* env = getenv("HBASIM_REG_DENY");
    return env && strcmp(env, "1") == 0;
}

std::string lower(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return out;
}

bool same_name(const std::string& a, const std::string& b) {
    return a.size() == b.size() && lower(a) == lower(b);
}

std::string join_path(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

// Returns the injected status for a call, or PLAT_REG_OK.
int32_t injected(const char* op, const std::vector<std::string>& parts) {
    if (!g_anyInjection.load(std::memory_order_acquire)) return PLAT_REG_OK;
    std::string path = lower(join_path(parts));
    std::lock_guard<std::mutex> g(g_injMu);
    for (auto& inj : g_injections) {
        if (inj.remaining == 0) continue;
        if (!inj.op.empty() && inj.op != op) continue;
        if (path.find(inj.pathLower) == std::string::npos) continue;
        if (inj.remaining > 0) inj.remaining--;
        return inj.status;
    }
    return PLAT_REG_OK;
}

// ---- paths --------------------------------------------------------------------

// Splits a key path at backslashes, dropping empty parts. False for a name that
// is too long.
bool split_path(const char* subkey, std::vector<std::string>* out) {
    out->clear();
    if (!subkey) return true;
    std::string cur;
    for (const char* p = subkey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!cur.empty()) out->push_back(cur);
            if (cur.size() > kMaxNameLen) return false;
            cur.clear();
            if (*p == '\0') break;
        } else {
            cur += *p;
        }
    }
    return true;
}

// Directory name of a key: lower case; letters, digits, '_', '-', ' ' and inner
// '.' as they are, every other byte as %XX. Never starts with '#' or '.'.
std::string escape_part(const std::string& part) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < part.size(); ++i) {
        unsigned char c = (unsigned char)part[i];
        if (c >= 'A' && c <= 'Z') c = (unsigned char)(c - 'A' + 'a');
        bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                     c == ' ' || (c == '.' && i > 0);
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

std::string unescape_part(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += (char)strtol(s.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool registry_base(std::string* base) {
    char state[4096];
    if (plat_suite_dir(PLAT_DIR_STATE, state, sizeof state) == 0) return false;
    *base = std::string(state) + "/registry";
    return true;
}

bool key_dir(const std::vector<std::string>& parts, std::string* dir) {
    std::string base;
    if (!registry_base(&base)) return false;
    std::string d = base + "/hklm";
    for (const auto& p : parts) {
        std::string e = escape_part(p);
        if (e.size() > 250) return false;
        d += '/';
        d += e;
    }
    *dir = d;
    return true;
}

bool is_dir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- record encoding ------------------------------------------------------------

void put_u16(std::string& s, uint16_t v) {
    s += (char)(v & 0xFF);
    s += (char)(v >> 8);
}

void put_u32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += (char)((v >> (8 * i)) & 0xFF);
}

struct Reader {
    const unsigned char* p;
    size_t left;
    bool take(size_t n, const unsigned char** at) {
        if (n > left) return false;
        *at = p;
        p += n;
        left -= n;
        return true;
    }
    bool u16(uint16_t* v) {
        const unsigned char* b;
        if (!take(2, &b)) return false;
        *v = (uint16_t)(b[0] | (b[1] << 8));
        return true;
    }
    bool u32(uint32_t* v) {
        const unsigned char* b;
        if (!take(4, &b)) return false;
        *v = (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) |
             ((uint32_t)b[3] << 24);
        return true;
    }
    bool str(size_t n, std::string* out) {
        const unsigned char* b;
        if (!take(n, &b)) return false;
        out->assign(reinterpret_cast<const char*>(b), n);
        return true;
    }
};

std::string encode(const KeyRecord& k) {
    std::string s(kMagic, sizeof kMagic);
    put_u16(s, (uint16_t)k.name.size());
    s += k.name;
    put_u32(s, (uint32_t)k.values.size());
    for (const auto& v : k.values) {
        put_u16(s, (uint16_t)v.name.size());
        s += v.name;
        put_u32(s, v.type);
        put_u32(s, (uint32_t)v.data.size());
        s += v.data;
    }
    return s;
}

bool decode(const std::string& s, KeyRecord* k) {
    Reader r{reinterpret_cast<const unsigned char*>(s.data()), s.size()};
    const unsigned char* magic;
    if (!r.take(sizeof kMagic, &magic) || memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
    uint16_t n16;
    uint32_t count;
    if (!r.u16(&n16) || n16 > kMaxNameLen || !r.str(n16, &k->name) || !r.u32(&count)) return false;
    k->values.clear();
    for (uint32_t i = 0; i < count; ++i) {
        RegValue v;
        uint32_t len;
        if (!r.u16(&n16) || n16 > kMaxNameLen || !r.str(n16, &v.name) || !r.u32(&v.type) ||
            !r.u32(&len) || len > kMaxData || !r.str(len, &v.data))
            return false;
        k->values.push_back(std::move(v));
    }
    return r.left == 0;
}

bool read_whole(const std::string& path, std::string* out, bool* missing) {
    *missing = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return false;
    }
    out->clear();
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        out->append(buf, (size_t)n);
        // A short read of a regular file is its end; saves a call per read.
        if ((size_t)n < sizeof buf) break;
    }
    close(fd);
    return true;
}

// Loads a key's record. A key directory without a record file is an empty key
// named after its directory. Returns PLAT_REG_OK, PLAT_REG_NOT_FOUND (no such
// key) or PLAT_REG_ERROR (unreadable or corrupt).
int32_t load_key(const std::string& dir, KeyRecord* k) {
    std::string data;
    bool missing = false;
    if (!read_whole(dir + "/" + kKeyFile, &data, &missing)) {
        if (!missing) return PLAT_REG_ERROR;
        if (!is_dir(dir)) return PLAT_REG_NOT_FOUND;
        k->name = unescape_part(dir.substr(dir.rfind('/') + 1));
        k->values.clear();
        return PLAT_REG_OK;
    }
    return decode(data, k) ? PLAT_REG_OK : PLAT_REG_ERROR;
}

// The status of a failed change of the store's files: what the file system
// said, so a full or read-only disk is never taken for missing rights.
int32_t write_failure(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return PLAT_REG_DISK_FULL;
    case EROFS:
        return PLAT_REG_WRITE_PROTECT;
    case EACCES:
    case EPERM:
        return PLAT_REG_ACCESS_DENIED;
    default:
        return PLAT_REG_ERROR;
    }
}

int32_t store_key(const std::string& dir, const KeyRecord& k) {
    std::string data = encode(k);
    std::string path = dir + "/" + kKeyFile;
    return plat_write_file_atomic(path.c_str(), data.data(), data.size()) ? PLAT_REG_OK
                                                                          : write_failure(errno);
}

// ---- leftovers of killed writers ----------------------------------------------------

// Removes the record temporaries of dead writers in a key folder and below.
void remove_dead_temps(const std::string& dir, int depth) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> subs;
    while (struct dirent* ent = readdir(d)) {
        const char* n = ent->d_name;
        if (n[0] == '#') {
            if (plat_left_by_dead_process(n, ".tmp.")) unlinkat(dirfd(d), n, 0);
        } else if (n[0] != '.' && (ent->d_type == DT_DIR || ent->d_type == DT_UNKNOWN)) {
            subs.push_back(n);
        }
    }
    closedir(d);
    if (depth >= 64) return; // deeper than any key path the store accepts
    for (const std::string& sub : subs)
        remove_dead_temps(dir + "/" + sub, depth + 1);
}

// What killed writers left in the store: trash folders of deletes that never
// finished and record temporaries that were never renamed. Run once per
// process, with the writer lock held, before its first change.
void remove_leftovers(const std::string& base) {
    if (DIR* d = opendir(base.c_str())) {
        std::vector<std::string> trash;
        while (struct dirent* ent = readdir(d))
            if (strncmp(ent->d_name, ".trash.", 7) == 0 &&
                plat_left_by_dead_process(ent->d_name, ".trash."))
                trash.push_back(ent->d_name);
        closedir(d);
        for (const std::string& t : trash) {
            std::error_code ec;
            std::filesystem::remove_all(base + "/" + t, ec);
        }
    }
    remove_dead_temps(base + "/hklm", 0);
}

// ---- writer lock ------------------------------------------------------------------

// The lock file stays open for the life of the process (reopened when the state
// directory changes); threads of this process serialise on a mutex, since they
// share the one open file. A forked child drops its inherited copy: that open
// file shares its lock with the parent.
std::mutex g_lockMu;
int g_lockFd = -1;
std::string g_lockPath;

void lock_atfork_prepare() {
    g_lockMu.lock();
}
void lock_atfork_parent() {
    g_lockMu.unlock();
}
void lock_atfork_child() {
    if (g_lockFd >= 0) close(g_lockFd);
    g_lockFd = -1;
    g_lockMu.unlock();
}
pthread_once_t g_lockOnce = PTHREAD_ONCE_INIT;
void lock_install_atfork() {
    pthread_atfork(lock_atfork_prepare, lock_atfork_parent, lock_atfork_child);
}

struct WriteLock {
    bool held = false;
    ~WriteLock() {
        if (!held) return;
        flock(g_lockFd, LOCK_UN);
        g_lockMu.unlock();
    }
};

// Opens the store's lock file, creating it (and the store's folder) on first
// use. -1 with errno set when that fails.
int open_write_lock(const std::string& base, const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT) return fd;
    if (!plat_make_dirs(base.c_str())) return -1;
    if (int err = plat_state_write_error(path.c_str())) {
        errno = err;
        return -1;
    }
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
}

// Takes the store's writer lock; PLAT_REG_OK or the status of the failure.
int32_t take_write_lock(WriteLock* l) {
    std::string base;
    if (!registry_base(&base)) return PLAT_REG_ERROR;
    std::string path = base + "/.lock";
    pthread_once(&g_lockOnce, lock_install_atfork);
    std::unique_lock<std::mutex> mu(g_lockMu);
    if (g_lockFd >= 0 && g_lockPath != path) {
        close(g_lockFd);
        g_lockFd = -1;
    }
    bool firstUse = g_lockFd < 0;
    if (firstUse) {
        int fd = open_write_lock(base, path);
        if (fd < 0) return write_failure(errno);
        g_lockFd = fd;
        g_lockPath = path;
    }
    int rc;
    do {
        rc = flock(g_lockFd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return PLAT_REG_ERROR;
    if (firstUse) remove_leftovers(base);
    mu.release(); // unlocked by ~WriteLock
    l->held = true;
    return PLAT_REG_OK;
}

// ---- helpers ----------------------------------------------------------------------

// Copies a name for enumeration. *size in: buffer size, out: length without the
// terminator, or the size needed (terminator included) with PLAT_REG_MORE_DATA.
int32_t copy_name(const std::string& name, char* buf, uint32_t* size) {
    if (!size) return PLAT_REG_INVALID;
    if (!buf || *size < name.size() + 1) {
        *size = (uint32_t)name.size() + 1;
        return PLAT_REG_MORE_DATA;
    }
    memcpy(buf, name.data(), name.size());
    buf[name.size()] = '\0';
    *size = (uint32_t)name.size();
    return PLAT_REG_OK;
}

// Copies value data. data null asks for the size.
int32_t copy_data(const RegValue& v, uint32_t* type, void* data, uint32_t* size) {
    if (type) *type = v.type;
    if (!data) {
        if (size) *size = (uint32_t)v.data.size();
        return PLAT_REG_OK;
    }
    if (!size) return PLAT_REG_INVALID;
    if (*size < v.data.size()) {
        *size = (uint32_t)v.data.size();
        return PLAT_REG_MORE_DATA;
    }
    if (!v.data.empty()) memcpy(data, v.data.data(), v.data.size());
    *size = (uint32_t)v.data.size();
    return PLAT_REG_OK;
}

// Subkey directory names of a key, sorted, for stable enumeration.
bool list_subkeys(const std::string& dir, std::vector<std::string>* out) {
    out->clear();
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    while (struct dirent* ent = readdir(d)) {
        const char* n = ent->d_name;
        if (n[0] == '#' || n[0] == '.') continue;
        bool isdir = ent->d_type == DT_DIR;
        if (ent->d_type == DT_UNKNOWN) isdir = is_dir(dir + "/" + n);
        if (isdir) out->push_back(n);
    }
    closedir(d);
    std::sort(out->begin(), out->end());
    return true;
}

// Removes a key directory and everything below: first moved aside in one
// rename, so no reader sees a half-deleted tree.
int32_t remove_tree(const std::string& dir) {
    std::string base;
    if (!registry_base(&base)) return PLAT_REG_ERROR;
    static std::atomic<uint32_t> seq{0};
    char trash[64];
    snprintf(trash, sizeof trash, "/.trash.%u.%u", (unsigned)plat_pid(), (unsigned)seq++);
    std::string aside = base + trash;
    if (rename(dir.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? PLAT_REG_NOT_FOUND : write_failure(errno);
    std::error_code ec;
    std::filesystem::remove_all(aside, ec);
    return PLAT_REG_OK;
}

PlatRegKey new_handle(std::vector<std::string> parts, std::string dir) {
    auto* k = new (std::nothrow) PlatRegKeyRec;
    if (!k) return nullptr;
    k->parts = std::move(parts);
    k->dir = std::move(dir);
    return k;
}

int32_t open_parts(std::vector<std::string> parts, PlatRegKey* out) {
    if (int32_t inj = injected("open", parts)) return inj;
    std::string dir;
    if (!key_dir(parts, &dir)) return PLAT_REG_INVALID;
    // The root always exists, even before anything is stored.
    if (!parts.empty() && !is_dir(dir)) return PLAT_REG_NOT_FOUND;
    *out = new_handle(std::move(parts), std::move(dir));
    return *out ? PLAT_REG_OK : PLAT_REG_ERROR;
}

int32_t create_parts(std::vector<std::string> parts, PlatRegKey* out) {
    if (deny_changes()) return PLAT_REG_ACCESS_DENIED;
    if (int32_t inj = injected("create", parts)) return inj;
    std::string base;
    if (!registry_base(&base)) return PLAT_REG_ERROR;
    std::string dir = base + "/hklm";
    {
        WriteLock lock;
        if (int32_t rc = take_write_lock(&lock)) return rc;
        if (!plat_make_dirs(dir.c_str())) return write_failure(errno);
        for (const auto& p : parts) {
            std::string e = escape_part(p);
            if (e.size() > 250) return PLAT_REG_INVALID;
            dir += '/';
            dir += e;
            if (is_dir(dir)) continue;
            if (int err = plat_state_write_error(dir.c_str())) return write_failure(err);
            if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return write_failure(errno);
            KeyRecord k;
            k.name = p;
            if (int32_t rc = store_key(dir, k)) {
                // No key without its record: the next create starts afresh.
                rmdir(dir.c_str());
                return rc;
            }
        }
    }
    *out = new_handle(std::move(parts), std::move(dir));
    return *out ? PLAT_REG_OK : PLAT_REG_ERROR;
}

bool valid_root(PlatRegRoot root) {
    return root == PLAT_HKLM;
}

std::vector<std::string> child_parts(PlatRegKey parent, const std::vector<std::string>& rel) {
    std::vector<std::string> parts = parent->parts;
    parts.insert(parts.end(), rel.begin(), rel.end());
    return parts;
}

const char* name_or_empty(const char* name) {
    return name ? name : "";
}

} // namespace

int32_t plat_reg_create_key(PlatRegRoot root, const char* subkey, PlatRegKey* out) {
    if (!out) return PLAT_REG_INVALID;
    *out = nullptr;
    std::vector<std::string> parts;
    if (!valid_root(root) || !split_path(subkey, &parts)) return PLAT_REG_INVALID;
    return create_parts(std::move(parts), out);
}

int32_t plat_reg_open_key(PlatRegRoot root, const char* subkey, PlatRegKey* out) {
    if (!out) return PLAT_REG_INVALID;
    *out = nullptr;
    std::vector<std::string> parts;
    if (!valid_root(root) || !split_path(subkey, &parts)) return PLAT_REG_INVALID;
    return open_parts(std::move(parts), out);
}

int32_t plat_reg_open_subkey(PlatRegKey parent, const char* subkey, PlatRegKey* out) {
    if (!out) return PLAT_REG_INVALID;
    *out = nullptr;
    std::vector<std::string> rel;
    if (!parent || !split_path(subkey, &rel)) return PLAT_REG_INVALID;
    return open_parts(child_parts(parent, rel), out);
}

int32_t plat_reg_create_subkey(PlatRegKey parent, const char* subkey, PlatRegKey* out) {
    if (!out) return PLAT_REG_INVALID;
    *out = nullptr;
    std::vector<std::string> rel;
    if (!parent || !split_path(subkey, &rel)) return PLAT_REG_INVALID;
    return create_parts(child_parts(parent, rel), out);
}

void plat_reg_close_key(PlatRegKey key) {
    delete key;
}

int32_t plat_reg_query_value(PlatRegKey key, const char* name, uint32_t* type, void* data,
                             uint32_t* size) {
    if (!key || (data && !size)) return PLAT_REG_INVALID;
    if (int32_t inj = injected("query", key->parts)) return inj;
    KeyRecord k;
    if (int32_t rc = load_key(key->dir, &k)) return rc;
    const std::string want = name_or_empty(name);
    for (const auto& v : k.values)
        if (same_name(v.name, want)) return copy_data(v, type, data, size);
    return PLAT_REG_NOT_FOUND;
}

int32_t plat_reg_set_value(PlatRegKey key, const char* name, uint32_t type, const void* data,
                           uint32_t size) {
    if (!key || (!data && size) || size > kMaxData) return PLAT_REG_INVALID;
    const std::string vname = name_or_empty(name);
    if (vname.size() > kMaxNameLen) return PLAT_REG_INVALID;
    if (deny_changes()) return PLAT_REG_ACCESS_DENIED;
    if (int32_t inj = injected("set", key->parts)) return inj;
    std::string bytes(static_cast<const char*>(data), size);
    // Strings are kept terminated, so that a reader always gets a terminated string;
    // a string list ends with an empty string.
    if (type == PLAT_REG_SZ && (bytes.empty() || bytes.back())) bytes += '\0';
    if (type == PLAT_REG_MULTI_SZ)
        while (bytes.size() < 2 || bytes[bytes.size() - 1] || bytes[bytes.size() - 2])
            bytes += '\0';
    WriteLock lock;
    if (int32_t rc = take_write_lock(&lock)) return rc;
    KeyRecord k;
    if (int32_t rc = load_key(key->dir, &k)) return rc;
    auto it = std::find_if(k.values.begin(), k.values.end(),
                           [&](const RegValue& v) { return same_name(v.name, vname); });
    if (it == k.values.end()) {
        k.values.push_back(RegValue{vname, type, std::move(bytes)});
    } else {
        it->type = type;
        it->data = std::move(bytes);
    }
    return store_key(key->dir, k);
}

int32_t plat_reg_delete_value(PlatRegKey key, const char* name) {
    if (!key) return PLAT_REG_INVALID;
    if (deny_changes()) return PLAT_REG_ACCESS_DENIED;
    if (int32_t inj = injected("delete", key->parts)) return inj;
    const std::string vname = name_or_empty(name);
    WriteLock lock;
    if (int32_t rc = take_write_lock(&lock)) return rc;
    KeyRecord k;
    if (int32_t rc = load_key(key->dir, &k)) return rc;
    auto it = std::find_if(k.values.begin(), k.values.end(),
                           [&](const RegValue& v) { return same_name(v.name, vname); });
    if (it == k.values.end()) return PLAT_REG_NOT_FOUND;
    k.values.erase(it);
    return store_key(key->dir, k);
}

namespace {

int32_t delete_key_impl(PlatRegRoot root, const char* subkey, bool tree) {
    std::vector<std::string> parts;
    if (!valid_root(root) || !split_path(subkey, &parts) || parts.empty()) return PLAT_REG_INVALID;
    if (deny_changes()) return PLAT_REG_ACCESS_DENIED;
    if (int32_t inj = injected("delete", parts)) return inj;
    std::string dir;
    if (!key_dir(parts, &dir)) return PLAT_REG_INVALID;
    WriteLock lock;
    if (int32_t rc = take_write_lock(&lock)) return rc;
    if (!is_dir(dir)) return PLAT_REG_NOT_FOUND;
    if (!tree) {
        std::vector<std::string> subs;
        if (!list_subkeys(dir, &subs)) return PLAT_REG_ERROR;
        if (!subs.empty()) return PLAT_REG_ACCESS_DENIED; // a key with subkeys stays
    }
    return remove_tree(dir);
}

} // namespace

int32_t plat_reg_delete_key(PlatRegRoot root, const char* subkey) {
    return delete_key_impl(root, subkey, false);
}

int32_t plat_reg_delete_tree(PlatRegRoot root, const char* subkey) {
    return delete_key_impl(root, subkey, true);
}

int32_t plat_reg_enum_key(PlatRegKey key, uint32_t index, char* name, uint32_t* size) {
    if (!key || !size) return PLAT_REG_INVALID;
    if (int32_t inj = injected("enum", key->parts)) return inj;
    std::vector<std::string> subs;
    if (!list_subkeys(key->dir, &subs))
        return key->parts.empty() && !is_dir(key->dir) ? PLAT_REG_NO_MORE_ITEMS
                                                       : PLAT_REG_NOT_FOUND;
    if (index >= subs.size()) return PLAT_REG_NO_MORE_ITEMS;
    KeyRecord k;
    int32_t rc = load_key(key->dir + "/" + subs[index], &k);
    if (rc == PLAT_REG_NOT_FOUND) return PLAT_REG_NO_MORE_ITEMS; // deleted meanwhile
    if (rc != PLAT_REG_OK) return rc;
    return copy_name(k.name, name, size);
}

int32_t plat_reg_enum_value(PlatRegKey key, uint32_t index, char* name, uint32_t* nameSize,
                            uint32_t* type, void* data, uint32_t* dataSize) {
    if (!key || !nameSize || (data && !dataSize)) return PLAT_REG_INVALID;
    if (int32_t inj = injected("enum", key->parts)) return inj;
    KeyRecord k;
    int32_t rc = load_key(key->dir, &k);
    if (rc == PLAT_REG_NOT_FOUND && key->parts.empty()) return PLAT_REG_NO_MORE_ITEMS;
    if (rc != PLAT_REG_OK) return rc;
    if (index >= k.values.size()) return PLAT_REG_NO_MORE_ITEMS;
    const RegValue& v = k.values[index];
    int32_t nrc = copy_name(v.name, name, nameSize);
    int32_t drc = copy_data(v, type, data, dataSize);
    if (nrc != PLAT_REG_OK) return nrc;
    return drc;
}

void plat_reg_set_deny_create(bool deny) {
    g_denyCreate.store(deny, std::memory_order_relaxed);
}

void plat_reg_inject_failure(const char* op, const char* path_substr, int32_t status, int count) {
    std::lock_guard<std::mutex> g(g_injMu);
    if (count == 0) {
        g_injections.clear();
        g_anyInjection.store(false, std::memory_order_release);
        return;
    }
    Injection inj;
    inj.op = name_or_empty(op);
    inj.pathLower = lower(name_or_empty(path_substr));
    inj.status = status;
    inj.remaining = count;
    g_injections.push_back(inj);
    g_anyInjection.store(true, std::memory_order_release);
}
