#include "tests/support/support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/core/sim_model.h"

namespace hbatest {

std::string bin_path(const std::string& name) {
    return std::string(HBA_BIN_DIR) + "/" + name;
}

TempState::TempState() {
    const char* tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/hbatest.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    dir_ = buf.data();
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

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& extra_env, const std::string& cwd) {
    RunResult r;
    char outTmpl[] = "/tmp/hbarun.out.XXXXXX";
    char errTmpl[] = "/tmp/hbarun.err.XXXXXX";
    int outFd = mkstemp(outTmpl);
    int errFd = mkstemp(errTmpl);
    if (outFd < 0 || errFd < 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
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
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.exit_code = WEXITSTATUS(status);
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
