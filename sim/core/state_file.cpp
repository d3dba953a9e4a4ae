// Adapter state files: "HBASIMA1", body length (u32 LE), CRC-32 of the body
// (u32 LE), then the body: one line per adapter attribute, function, function
// attribute and blob. A file whose magic, length or checksum does not match is
// reported as corrupt, never half-read.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/plat_fs.h"
#include "sim/core/sim_internal.h"

namespace hbasim {

static const char kAdapterMagic[8] = {'H', 'B', 'A', 'S', 'I', 'M', 'A', '1'};
static const size_t kHeaderSize = 16;

uint32_t crc32_of(const void* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    const uint8_t* p = (const uint8_t*)data;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

static void escape_to(std::string& out, const std::string& v) {
    for (char c : v) {
        if (c == '%' || c == '\n' || c == '\r' || c == '\0') {
            char b[4];
            snprintf(b, sizeof b, "%%%02X", (unsigned char)c);
            out += b;
        } else {
            out += c;
        }
    }
}

static bool unescape(const std::string& v, std::string* out) {
    out->clear();
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '%') {
            *out += v[i];
            continue;
        }
        if (i + 2 >= v.size()) return false;
        int hi = hex_digit(v[i + 1]), lo = hex_digit(v[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += (char)(hi * 16 + lo);
        i += 2;
    }
    return true;
}

static void put_attrs(std::string& b, const char* tag, const Attrs& at) {
    for (const auto& [k, v] : at.kv) {
        b += tag;
        b += ' ';
        b += k;
        b += ' ';
        escape_to(b, v);
        b += '\n';
    }
}

static void put_blobs(std::string& b, const char* tag, const std::map<std::string, Bytes>& bl) {
    static const char hex[] = "0123456789ABCDEF";
    for (const auto& [k, v] : bl) {
        b += tag;
        b += ' ';
        b += k;
        b += ' ';
        for (uint8_t x : v) {
            b += hex[x >> 4];
            b += hex[x & 15];
        }
        b += '\n';
    }
}

static void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += (char)(uint8_t)(v >> (8 * i));
}
static uint32_t get32(const char* p) {
    const uint8_t* u = (const uint8_t*)p;
    return (uint32_t)u[0] | ((uint32_t)u[1] << 8) | ((uint32_t)u[2] << 16) | ((uint32_t)u[3] << 24);
}

std::string encode_adapter(const Adapter& a) {
    std::string body;
    body.reserve(4096);
    body += "adapter " + a.name + " " + a.kind + "\n";
    put_attrs(body, "a", a.attrs);
    put_blobs(body, "ab", a.blobs);
    for (const Function& f : a.funcs) {
        body += "function " + f.kind + "\n";
        put_attrs(body, "f", f.attrs);
        put_blobs(body, "fb", f.blobs);
    }
    std::string out(kAdapterMagic, sizeof kAdapterMagic);
    put32(out, (uint32_t)body.size());
    put32(out, crc32_of(body.data(), body.size()));
    out += body;
    return out;
}

static bool decode_hex(const std::string& s, Bytes* out) {
    if (s.size() % 2) return false;
    out->resize(s.size() / 2);
    for (size_t i = 0; i < out->size(); ++i) {
        int hi = hex_digit(s[2 * i]), lo = hex_digit(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        (*out)[i] = (uint8_t)(hi * 16 + lo);
    }
    return true;
}

int decode_adapter(const std::string& file, Adapter* out, std::string* why) {
    if (file.size() < kHeaderSize || memcmp(file.data(), kAdapterMagic, 8) != 0) {
        *why = "not a state file (bad magic)";
        return SIM_ERR_CORRUPT;
    }
    uint32_t len = get32(file.data() + 8);
    uint32_t crc = get32(file.data() + 12);
    if ((size_t)len != file.size() - kHeaderSize) {
        *why = "truncated or extended (length mismatch)";
        return SIM_ERR_CORRUPT;
    }
    if (crc32_of(file.data() + kHeaderSize, len) != crc) {
        *why = "checksum mismatch";
        return SIM_ERR_CORRUPT;
    }
    Adapter a;
    size_t pos = kHeaderSize;
    int lineNo = 0;
    while (pos < file.size()) {
        size_t e = file.find('\n', pos);
        if (e == std::string::npos) e = file.size();
        std::string line = file.substr(pos, e - pos);
        pos = e + 1;
        ++lineNo;
        size_t s1 = line.find(' ');
        std::string tag = line.substr(0, s1);
        std::string rest = s1 == std::string::npos ? "" : line.substr(s1 + 1);
        size_t s2 = rest.find(' ');
        std::string k = rest.substr(0, s2);
        std::string v = s2 == std::string::npos ? "" : rest.substr(s2 + 1);
        bool ok = true;
        if (lineNo == 1) {
            ok = tag == "adapter" && !k.empty() && !v.empty();
            a.name = k;
            a.kind = v;
        } else if (tag == "a" || tag == "f") {
            std::string val;
            ok = !k.empty() && unescape(v, &val) && (tag == "a" || !a.funcs.empty());
            if (ok) (tag == "a" ? a.attrs : a.funcs.back().attrs).set(k, val);
        } else if (tag == "ab" || tag == "fb") {
            Bytes b;
            ok = !k.empty() && decode_hex(v, &b) && (tag == "ab" || !a.funcs.empty());
            if (ok) (tag == "ab" ? a.blobs : a.funcs.back().blobs)[k] = std::move(b);
        } else if (tag == "function") {
            ok = !k.empty() && s2 == std::string::npos;
            Function f;
            f.kind = k;
            a.funcs.push_back(std::move(f));
        } else {
            ok = false;
        }
        if (!ok) {
            *why = "malformed record " + std::to_string(lineNo);
            return SIM_ERR_CORRUPT;
        }
    }
    if (lineNo == 0) {
        *why = "empty body";
        return SIM_ERR_CORRUPT;
    }
    *out = std::move(a);
    return SIM_OK;
}

std::string state_path(const std::string& dir, const std::string& rel) {
    return dir + "/" + rel;
}

bool write_file_replacing(const std::string& path, const std::string& data, int64_t after_ns) {
    static thread_local unsigned seq = 0;
    const std::string tmpName =
        path + ".tmp." + std::to_string(current_pid()) + "." + std::to_string(++seq);
    const char* tmp = tmpName.c_str();
    if (int err = plat_state_write_error(tmp)) {
        errno = err;
        return false;
    }
    int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            unlink(tmp);
            return false;
        }
        off += (size_t)n;
    }
    // Make the modification time strictly newer than the file it replaces, so
    // that (inode, mtime, size) changes even when an inode number is reused.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t ns = (int64_t)now.tv_sec * 1000000000LL + now.tv_nsec;
    if (ns <= after_ns) ns = after_ns + 1;
    struct timespec times[2];
    times[0].tv_sec = ns / 1000000000LL;
    times[0].tv_nsec = ns % 1000000000LL;
    times[1] = times[0];
    futimens(fd, times);
    if (close(fd) != 0) {
        unlink(tmp);
        return false;
    }
    // Swap the new file into place with an atomic exchange and drop the old
    // one: renaming over an existing file makes some file systems (ext4)
    // start writing the new data out at once, which costs a millisecond per
    // request; durability against power loss is not needed here.
    if (syscall(SYS_renameat2, AT_FDCWD, tmp, AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        unlink(tmp);
        return true;
    }
    if (rename(tmp, path.c_str()) != 0) {
        unlink(tmp);
        return false;
    }
    return true;
}

bool write_new_file(const std::string& path, const std::string& data) {
    if (int err = plat_state_write_error(path.c_str())) {
        errno = err;
        return false;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        off += (size_t)n;
    }
    int saved = errno;
    bool ok = close(fd) == 0 && off == data.size();
    if (!ok) {
        unlink(path.c_str());
        errno = saved ? saved : EIO;
    }
    return ok;
}

bool read_whole_file(const std::string& path, std::string* out) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ELOOP) errno = EINVAL; // a link
        return false;
    }
    out->clear();
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    if (st.st_size > 0) out->reserve((size_t)st.st_size);
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int saved = errno;
            close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) break;
        out->append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

static void remove_tree_at(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        DIR* d = fdopendir(fd);
        if (!d) {
            close(fd);
            return;
        }
        while (struct dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
            if (unlinkat(fd, e->d_name, 0) != 0 && (errno == EISDIR || errno == EPERM))
                remove_tree_at(fd, e->d_name);
        }
        closedir(d);
        unlinkat(parent, name, AT_REMOVEDIR);
    } else {
        unlinkat(parent, name, 0); // a file or a link: remove the entry itself
    }
}

void remove_tree(const std::string& path) {
    remove_tree_at(AT_FDCWD, path.c_str());
}

bool is_stale_temp(const char* name) {
    return plat_left_by_dead_process(name, ".tmp.");
}

void remove_stale_temps(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d))
        if (is_stale_temp(e->d_name)) unlinkat(dirfd(d), e->d_name, 0);
    closedir(d);
}

// ---- the machine index --------------------------------------------------------

static const char kIndexMagic[8] = {'H', 'B', 'A', 'S', 'I', 'M', 'M', '2'};

static bool index_word(const std::string& w) {
    if (w.empty() || w.size() > kIndexWordMax) return false;
    for (char c : w)
        if (!isalnum((unsigned char)c) && c != '_' && c != '-') return false;
    return true;
}

// Adapter file names stay inside the generation folder: "<digits>.<digits>.hbs".
static bool index_file_name(const std::string& f) {
    size_t d1 = f.find('.');
    if (d1 == 0 || d1 == std::string::npos || f.size() > 40) return false;
    size_t d2 = f.find('.', d1 + 1);
    if (d2 == std::string::npos || d2 == d1 + 1 || f.compare(d2, std::string::npos, ".hbs") != 0)
        return false;
    for (size_t i = 0; i < d2; ++i)
        if (i != d1 && (f[i] < '0' || f[i] > '9')) return false;
    return true;
}

static bool parse_small(const std::string& s, int* out) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

std::string encode_index(const Index& idx) {
    std::string body = "machine " + idx.gen + "\n";
    for (const IndexEntry& e : idx.adapters)
        body += "adapter " + e.name + " " + e.kind + " " + e.file + "\n";
    for (const auto& [port, ref] : idx.ports)
        body += "port " + std::to_string(port) + " " + std::to_string(ref.adapter) + " " +
                std::to_string(ref.func) + "\n";
    std::string out(kIndexMagic, sizeof kIndexMagic);
    put32(out, (uint32_t)body.size());
    put32(out, crc32_of(body.data(), body.size()));
    return out + body;
}

bool decode_index(const std::string& file, Index* out) {
    if (file.size() < kHeaderSize || memcmp(file.data(), kIndexMagic, 8) != 0) return false;
    uint32_t len = get32(file.data() + 8);
    if ((size_t)len != file.size() - kHeaderSize ||
        crc32_of(file.data() + kHeaderSize, len) != get32(file.data() + 12))
        return false;
    Index idx;
    size_t pos = kHeaderSize;
    while (pos < file.size()) {
        size_t e = file.find('\n', pos);
        if (e == std::string::npos) return false;
        std::vector<std::string> w;
        size_t p = pos;
        while (p < e && w.size() < 5) {
            size_t s = file.find(' ', p);
            if (s == std::string::npos || s > e) s = e;
            w.push_back(file.substr(p, s - p));
            p = s + 1;
        }
        pos = e + 1;
        if (p < e) return false; // more words than any record has
        if (w.size() == 2 && w[0] == "machine" && idx.gen.empty() && idx.adapters.empty()) {
            if (w[1].empty() || w[1].size() > 32) return false;
            for (char c : w[1])
                if (hex_digit(c) < 0) return false;
            idx.gen = w[1];
        } else if (w.size() == 4 && w[0] == "adapter" && !idx.gen.empty() && idx.ports.empty()) {
            if (!index_word(w[1]) || !index_word(w[2]) || !index_file_name(w[3])) return false;
            idx.adapters.push_back({w[1], w[2], w[3]});
        } else if (w.size() == 4 && w[0] == "port" && !idx.gen.empty()) {
            int n, ai, fi;
            if (!parse_small(w[1], &n) || !parse_small(w[2], &ai) || !parse_small(w[3], &fi) ||
                ai >= (int)idx.adapters.size() || idx.ports.count(n))
                return false;
            idx.ports[n] = FuncRef{ai, fi};
        } else {
            return false;
        }
    }
    if (idx.gen.empty()) return false;
    *out = std::move(idx);
    return true;
}

} // namespace hbasim
