#include "tests/support/support.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/core/sim_model.h"

namespace hbatest {

std::string bin_path(const std::string& name) {
    return std::string(HBA_BIN_DIR) + "/" + name;
}

const char kStateMarker[] = ".hbatest-state";

namespace {

// A new directory under $TMPDIR (or /tmp), mode 0700; "" when none could be made.
std::string make_temp_dir(const char* stem) {
    const char* tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + ".XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

bool write_marker(const std::string& dir) {
    int fd = open((dir + "/" + kStateMarker).c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    static const char text[] = "A state directory of the hbasuite tests.\n";
    bool ok = write(fd, text, sizeof text - 1) == static_cast<ssize_t>(sizeof text - 1);
    return close(fd) == 0 && ok;
}

bool has_marker(const std::string& dir) {
    struct stat st;
    return lstat((dir + "/" + kStateMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// 1 empty, 0 holds entries, -1 unreadable.
int dir_is_empty(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return -1;
    int empty = 1;
    while (const dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) empty = 0;
    closedir(d);
    return empty;
}

// The private directory of this program, and the process that made it (a
// forked child running test code never removes it).
std::string g_programDir;
pid_t g_programDirOwner = 0;

} // namespace

bool claimProgramState(std::string* why) {
    const char* env = getenv("HBASIM_DIR");
    const std::string dir = env ? env : "";
    if (dir.empty()) {
        g_programDir = make_temp_dir("hbatest-state");
        if (g_programDir.empty() || !write_marker(g_programDir)) {
            const int err = errno;
            *why = "cannot make a private state directory: " + std::string(strerror(err));
            return false;
        }
        g_programDirOwner = getpid();
        setenv("HBASIM_DIR", g_programDir.c_str(), 1);
        return true;
    }
    const std::string refused = "refusing to run on HBASIM_DIR=" + dir + ": ";
    const std::string advice = "; unset HBASIM_DIR (each run then gets a private directory) "
                               "or set it to a new or empty directory";
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT && mkdir(dir.c_str(), 0700) == 0 && write_marker(dir)) return true;
        const int err = errno;
        *why = refused + "cannot create it (" + strerror(err) + ")" + advice;
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = refused + "it is not a directory" + advice;
        return false;
    }
    if (has_marker(dir)) return true;
    const int empty = dir_is_empty(dir);
    if (empty == 1 && write_marker(dir)) return true;
    const int err = errno;
    *why = refused +
           (empty == 0 ? "it holds files but no " + std::string(kStateMarker) +
                             ", so the tests did not make it (it may be a simulated "
                             "machine set up by hand)"
                       : "cannot claim it (" + std::string(strerror(err)) + ")") +
           advice;
    return false;
}

void releaseProgramState() {
    if (g_programDir.empty() || g_programDirOwner != getpid()) return;
    std::error_code ec;
    std::filesystem::remove_all(g_programDir, ec);
    g_programDir.clear();
}

TempState::TempState() {
    dir_ = make_temp_dir("hbatest");
    if (dir_.empty() || !write_marker(dir_)) {
        ADD_FAILURE() << "cannot make a state directory: " << strerror(errno);
    }
    if (const char* old = getenv("HBASIM_DIR")) {
        old_ = old;
        had_old_ = true;
    }
    setenv("HBASIM_DIR", dir_.c_str(), 1);
}

TempState::~TempState() {
    if (had_old_)
        setenv("HBASIM_DIR", old_.c_str(), 1);
    else
        unsetenv("HBASIM_DIR");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void TempState::init(const std::string& fleet_text) {
    hbasim::FleetError err;
    const std::string text = fleet_text.empty() ? hbasim::default_fleet_text() : fleet_text;
    int rc = hbasim::init_state(text, &err);
    ASSERT_EQ(rc, hbasim::SIM_OK) << "fleet rejected at line " << err.line << ": " << err.message;
}

static std::string slurp_fd(int fd) {
    std::string s;
    char b[4096];
    ssize_t n;
    while ((n = read(fd, b, sizeof b)) > 0)
        s.append(b, (size_t)n);
    return s;
}

namespace {

// Waits up to timeout_ms for pid to end; false when it is still running then.
bool wait_child(pid_t pid, int timeout_ms, int* status) {
    int pfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pfd >= 0) {
        struct pollfd p = {pfd, POLLIN, 0};
        int n;
        while ((n = poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
        }
        close(pfd);
        if (n == 0) return false;
        return waitpid(pid, status, 0) == pid;
    }
    // Kernels without pidfd: look every millisecond.
    for (int waited = 0; waited <= timeout_ms; ++waited) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid) return true;
        if (r < 0) return false;
        usleep(1000);
    }
    return false;
}

} // namespace

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& extra_env, const std::string& cwd,
              int timeout_ms) {
    RunResult r;
    char outTmpl[] = "/tmp/hbarun.out.XXXXXX";
    char errTmpl[] = "/tmp/hbarun.err.XXXXXX";
    int outFd = mkstemp(outTmpl);
    int errFd = mkstemp(errTmpl);
    if (outFd < 0 || errFd < 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
        // A group of its own, so that a kill at the time limit reaches what
        // the program started too (fwsweep's hbaset children).
        setpgid(0, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        int nul = open("/dev/null", O_RDONLY);
        if (nul >= 0) dup2(nul, 0);
        for (const auto& [k, v] : extra_env)
            setenv(k.c_str(), v.c_str(), 1);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid > 0) {
        setpgid(pid, pid); // also here: the kill below must not miss a group not made yet
        int status = 0;
        if (!wait_child(pid, timeout_ms, &status)) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timed_out = true;
            ADD_FAILURE() << program << " still ran after " << timeout_ms << " ms and was killed";
        } else if (WIFEXITED(status)) {
            r.exit_code = WEXITSTATUS(status);
        }
    }
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    r.out = slurp_fd(outFd);
    r.err = slurp_fd(errFd);
    close(outFd);
    close(errFd);
    unlink(outTmpl);
    unlink(errTmpl);
    return r;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

Library::Library(const std::string& name) : name_(name) {
    handle_ = dlopen(bin_path(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) ADD_FAILURE() << "dlopen " << name << ": " << dlerror();
}

Library::~Library() {
    close();
}

void Library::close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* Library::sym(const char* name) const {
    void* p = handle_ ? dlsym(handle_, name) : nullptr;
    if (!p) ADD_FAILURE() << name_ << " has no export " << name;
    return p;
}

std::set<std::string> exported_symbols(const std::string& library) {
    RunResult r = run("/usr/bin/env", {"nm", "-D", "--defined-only", library});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::set<std::string> out;
    std::istringstream in(r.out);
    std::string address, type, name;
    while (in >> address >> type >> name)
        out.insert(name);
    for (const char* linkerSymbol : {"_init", "_fini", "_edata", "_end", "__bss_start"})
        out.erase(linkerSymbol);
    return out;
}

std::string traced_libtgx_copy(const std::string& dir) {
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(bin_path("libtgx.so"), dir + "/libtgx.so",
                               std::filesystem::copy_options::overwrite_existing);
    write_file(dir + "/LIBTGX.ini", "DBG_PRINT=1\n");
    return std::filesystem::relative(dir + "/libtgx.so", bin_path("")).string();
}

} // namespace hbatest
