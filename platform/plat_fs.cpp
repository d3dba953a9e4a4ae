// Paths, files and process facts.
#include "platform/plat_fs.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Copies src into buf when it fits whole; otherwise leaves buf empty. Returns the
// length copied, 0 when it did not fit.
size_t copy_out(const char* src, size_t len, char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    if (len == 0 || len >= size) {
        buf[0] = '\0';
        return 0;
    }
    memcpy(buf, src, len);
    buf[len] = '\0';
    return len;
}

size_t copy_out(const std::string& s, char* buf, size_t size) {
    return copy_out(s.data(), s.size(), buf, size);
}

std::string env_or_empty(const char* name) {
    const char* v = getenv(name);
    return v ? std::string(v) : std::string();
}

std::atomic<uint32_t> g_tempSeq{0};
std::atomic<int> g_stateError{0};

// The fault named by HBASIM_STATE_ERROR (0: none).
int env_state_error() {
    const char* v = getenv("HBASIM_STATE_ERROR");
    if (!v) return 0;
    if (strcmp(v, "nospace") == 0) return ENOSPC;
    if (strcmp(v, "readonly") == 0) return EROFS;
    return 0;
}

// Fails with the injected error of path, if any: errno set, false returned.
bool state_write_allowed(const char* path) {
    int err = plat_state_write_error(path);
    if (err == 0) return true;
    errno = err;
    return false;
}

// Puts the finished temporary file in place of path in one step. An existing
// file is swapped with the temporary one and the old contents removed: a plain
// rename over an existing file makes some file systems flush the new file's data
// first, which costs far more than the write itself. Durability across power
// loss is not needed here; surviving a killed process is.
bool replace_file(const char* tmp, const char* path) {
    if (renameat2(AT_FDCWD, tmp, AT_FDCWD, path, RENAME_EXCHANGE) == 0) {
        if (unlink(tmp) == 0) return true; // tmp now holds the old contents
        // path was something that must not be replaced (a directory): undo.
        renameat2(AT_FDCWD, tmp, AT_FDCWD, path, RENAME_EXCHANGE);
        return false;
    }
    // No file there yet, or a file system without the exchange.
    return rename(tmp, path) == 0;
}

} // namespace

size_t plat_module_path(const void* addr, char* buf, size_t size) {
    Dl_info info;
    struct link_map* map = nullptr;
    if (!dladdr1(addr, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map) {
        copy_out("", 0, buf, size);
        return 0;
    }
    // The main program has no name in its link map.
    if (!map->l_name || map->l_name[0] == '\0') return plat_exe_path(buf, size);
    // The path the loader used, made absolute when it is not.
    if (map->l_name[0] == '/') return copy_out(map->l_name, strlen(map->l_name), buf, size);
    char* real = realpath(map->l_name, nullptr);
    if (!real) return copy_out(map->l_name, strlen(map->l_name), buf, size);
    size_t n = copy_out(real, strlen(real), buf, size);
    free(real);
    return n;
}

size_t plat_exe_path(char* buf, size_t size) {
    char tmp[4096];
    ssize_t n = readlink("/proc/self/exe", tmp, sizeof tmp);
    if (n <= 0 || (size_t)n >= sizeof tmp) return copy_out("", 0, buf, size);
    return copy_out(tmp, (size_t)n, buf, size);
}

size_t plat_current_dir(char* buf, size_t size) {
    char tmp[4096];
    if (!getcwd(tmp, sizeof tmp)) return copy_out("", 0, buf, size);
    return copy_out(tmp, strlen(tmp), buf, size);
}

bool plat_file_exists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool plat_dir_exists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool plat_make_dirs(const char* path) {
    if (!path || !*path) return false;
    if (plat_dir_exists(path)) return true;
    if (!state_write_allowed(path)) return false;
    std::string p(path);
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return plat_dir_exists(path);
}

// The process id, asked of the system once per process (again after fork).
namespace {
std::atomic<uint32_t> g_pid{0};
void pid_atfork_child() {
    g_pid.store(0, std::memory_order_relaxed);
}
pthread_once_t g_pidOnce = PTHREAD_ONCE_INIT;
void pid_install_atfork() {
    pthread_atfork(nullptr, nullptr, pid_atfork_child);
}
} // namespace

uint32_t plat_pid() {
    pthread_once(&g_pidOnce, pid_install_atfork);
    uint32_t pid = g_pid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = (uint32_t)getpid();
        g_pid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

size_t plat_computer_name(char* buf, size_t size) {
    char tmp[256];
    if (gethostname(tmp, sizeof tmp) != 0) return copy_out("", 0, buf, size);
    tmp[sizeof tmp - 1] = '\0';
    return copy_out(tmp, strlen(tmp), buf, size);
}

size_t plat_temp_dir(char* buf, size_t size) {
    std::string t = env_or_empty("TMPDIR");
    if (t.empty()) t = "/tmp";
    while (t.size() > 1 && t.back() == '/')
        t.pop_back();
    return copy_out(t, buf, size);
}

int plat_make_temp_file(const char* prefix, char* path, size_t size) {
    if (path && size) path[0] = '\0';
    if (!path || size == 0) return -1;
    std::string dir = env_or_empty("TEMP");
    if (dir.empty()) dir = env_or_empty("TMPDIR");
    if (dir.empty()) dir = "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string name = dir + "/" + (prefix ? prefix : "") + "XXXXXX";
    if (name.size() >= size) return -1;
    memcpy(path, name.c_str(), name.size() + 1);
    // mkostemp creates the file with O_EXCL and mode 0600: a name planted in a
    // shared folder (a link or a file) is never opened.
    int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0) path[0] = '\0';
    return fd;
}

size_t plat_state_dir(char* buf, size_t size) {
    std::string dir = env_or_empty("HBASIM_DIR");
    if (dir.empty()) {
        std::string base = env_or_empty("XDG_STATE_HOME");
        if (base.empty()) {
            std::string home = env_or_empty("HOME");
            if (home.empty()) {
                struct passwd pw;
                struct passwd* res = nullptr;
                char pwbuf[4096];
                if (getpwuid_r(getuid(), &pw, pwbuf, sizeof pwbuf, &res) == 0 && res && res->pw_dir)
                    home = res->pw_dir;
            }
            if (home.empty()) return copy_out("", 0, buf, size);
            base = home + "/.local/state";
        }
        dir = base + "/hbasim";
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return copy_out(dir, buf, size);
}

bool plat_write_file_atomic(const char* path, const void* data, size_t size) {
    if (!path || !*path || (!data && size)) return false;
    char tmp[4096];
    int n = snprintf(tmp, sizeof tmp, "%s.tmp.%u.%u", path, (unsigned)plat_pid(),
                     (unsigned)g_tempSeq.fetch_add(1));
    if (n <= 0 || (size_t)n >= sizeof tmp) return false;
    if (!state_write_allowed(path)) return false;
    int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = plat_write_fd(fd, data, size);
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok) {
        ok = replace_file(tmp, path);
        err = errno;
    }
    if (!ok) {
        unlink(tmp);
        errno = err; // the cause, not the clean-up's outcome
    }
    return ok;
}

bool plat_append_file(const char* path, const void* data, size_t size) {
    if (!path || !*path || (!data && size)) return false;
    if (!state_write_allowed(path)) return false;
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = plat_write_fd(fd, data, size);
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) errno = err;
    return ok;
}

bool plat_write_fd(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= (size_t)n;
    }
    return true;
}

bool plat_left_by_dead_process(const char* name, const char* marker) {
    const char* at = (name && marker && *marker) ? strstr(name, marker) : nullptr;
    if (!at) return false;
    const char* p = at + strlen(marker);
    long pid = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 10; ++p, ++digits)
        pid = pid * 10 + (*p - '0');
    if (digits == 0 || *p != '.' || pid <= 0 || pid > 0x3FFFFFFF) return false;
    return kill((pid_t)pid, 0) != 0 && errno == ESRCH;
}

void plat_set_state_error(int err) {
    g_stateError.store(err, std::memory_order_relaxed);
}

int plat_state_write_error(const char* path) {
    int err = g_stateError.load(std::memory_order_relaxed);
    if (err == 0) err = env_state_error();
    if (err == 0 || !path) return 0;
    char state[4096];
    size_t n = plat_state_dir(state, sizeof state);
    if (n == 0) return 0;
    // Only paths inside the state directory (the directory itself included).
    if (strncmp(path, state, n) != 0 || (path[n] != '\0' && path[n] != '/')) return 0;
    return err;
}

bool plat_stdin_is_terminal() {
    return isatty(STDIN_FILENO) == 1;
}

bool plat_stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool plat_key_pressed() {
    if (!plat_stdin_is_terminal()) return false;
    // A terminal delivers keys only after Enter in line mode: switch line mode off
    // for the test and back on afterwards. The key stays queued for the reader.
    struct termios old;
    bool restore = false;
    // Only the foreground process may change the terminal (others would be stopped).
    if (tcgetpgrp(STDIN_FILENO) == getpgrp() && tcgetattr(STDIN_FILENO, &old) == 0) {
        struct termios raw = old;
        raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        restore = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    struct pollfd p;
    p.fd = STDIN_FILENO;
    p.events = POLLIN;
    p.revents = 0;
    bool ready = poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
    if (restore) tcsetattr(STDIN_FILENO, TCSANOW, &old);
    return ready;
}

bool plat_list_dir_sorted(const char* dir, std::vector<PlatDirEntry>* out) {
    if (!out) return false;
    out->clear();
    if (!dir || !*dir) return false;
    DIR* d = opendir(dir);
    if (!d) return false;
    std::string base(dir);
    if (base.back() != '/') base += '/';
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        out->push_back({e->d_name, plat_dir_exists((base + e->d_name).c_str())});
    }
    closedir(d);
    std::sort(out->begin(), out->end(), [](const PlatDirEntry& a, const PlatDirEntry& b) {
        int c = strcasecmp(a.name.c_str(), b.name.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return true;
}
