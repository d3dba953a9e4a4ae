// The suite's folders (plat_paths.h): which layout is in force, the folder of
// each kind in it, and the suite's settings file.
#include "platform/plat_paths.h"

#include "platform/plat_backend.h"
#include "platform/plat_fs.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// The installed layout's folders relative to the prefix, as GNUInstallDirs
// gave them when the suite was configured (platform/CMakeLists.txt).
const char kPrivateLibDir[] = HBA_PRIVATE_LIBDIR;
const char kSysconfDir[] = HBA_SYSCONFDIR;
const char kLocalstateDir[] = HBA_LOCALSTATEDIR;
const char kSuiteName[] = "hbasuite";
const char kSettingsFile[] = "hbasuite.conf";
const size_t kSettingsLineMax = 512; // longer lines are cut there

size_t copy_out(const std::string& s, char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    if (s.empty() || s.size() >= size) {
        buf[0] = '\0';
        return 0;
    }
    memcpy(buf, s.c_str(), s.size() + 1);
    return s.size();
}

std::string parent_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The prefix of an installed suite from the platform library's folder ("" for
// the root), or false when the folder is not <prefix>/<private libdir>.
bool install_prefix(const std::string& libDir, std::string* prefix) {
    std::string tail = std::string("/") + kPrivateLibDir;
    if (libDir.size() < tail.size() ||
        libDir.compare(libDir.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    *prefix = libDir.substr(0, libDir.size() - tail.size());
    return true;
}

// A system folder under the prefix, with the rule of GNUInstallDirs: the
// prefixes / and /usr keep their settings in /etc and their state in /var.
std::string system_dir(const std::string& prefix, const char* relative) {
    if (relative[0] == '/') return relative;
    if (prefix.empty() || prefix == "/usr") return std::string("/") + relative;
    return prefix + "/" + relative;
}

// The folder of the platform library, resolved (links and "..", as in
// /usr/sbin/../lib/...), found once.
const std::string& library_dir() {
    static std::once_flag once;
    static std::string dir;
    std::call_once(once, [] {
        static const int kAnchor = 0;
        char path[4096];
        if (plat_module_path(&kAnchor, path, sizeof path) == 0) return;
        std::string parent = parent_of(path);
        if (parent.empty()) return;
        char* real = realpath(parent.c_str(), nullptr);
        dir = real ? real : parent;
        free(real);
    });
    return dir;
}

std::string exe_dir() {
    char exe[4096];
    if (plat_exe_path(exe, sizeof exe) == 0) return "";
    return parent_of(exe);
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Drops the rest of a line longer than the buffer.
void skip_line(FILE* f) {
    int c;
    while ((c = fgetc(f)) != EOF && c != '\n') {
    }
}

// The settings file's pairs in file order; read once, a regular file only.
const std::vector<std::pair<std::string, std::string>>& settings() {
    static std::once_flag once;
    static std::vector<std::pair<std::string, std::string>> pairs;
    std::call_once(once, [] {
        char dir[4096];
        if (plat_suite_dir(PLAT_DIR_CONFIG, dir, sizeof dir) == 0) return;
        std::string path = std::string(dir) + "/" + kSettingsFile;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return;
        struct stat st;
        FILE* f = (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ? fdopen(fd, "r") : nullptr;
        if (!f) {
            close(fd);
            return;
        }
        char line[kSettingsLineMax];
        while (fgets(line, sizeof line, f)) {
            size_t len = strlen(line);
            if (len > 0 && line[len - 1] != '\n') skip_line(f);
            std::string text = trim(line);
            if (text.empty() || text[0] == '#') continue;
            size_t eq = text.find('=');
            if (eq == std::string::npos) continue;
            std::string key = trim(text.substr(0, eq));
            if (!key.empty()) pairs.emplace_back(key, trim(text.substr(eq + 1)));
        }
        fclose(f);
    });
    return pairs;
}

} // namespace

size_t plat_suite_dir_for(const char* libDir, const char* exeDir, bool simulated,
                          const char* simState, PlatSuiteDir which, char* buf, size_t size) {
    if (buf && size) buf[0] = '\0';
    std::string prefix;
    bool installed = libDir && install_prefix(libDir, &prefix);
    if (which == PLAT_DIR_STATE && (simulated || !installed))
        return copy_out(simState ? simState : "", buf, size);
    if (!installed) return copy_out(exeDir ? exeDir : "", buf, size);
    std::string dir;
    if (which == PLAT_DIR_CONFIG)
        dir = system_dir(prefix, kSysconfDir);
    else
        dir = system_dir(prefix, kLocalstateDir) + (which == PLAT_DIR_STATE ? "/lib" : "/log");
    return copy_out(dir + "/" + kSuiteName, buf, size);
}

size_t plat_suite_dir(PlatSuiteDir which, char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    bool installed = plat_suite_installed();
    // Only the state folder of an installed suite depends on the backend; the
    // settings file that may choose it lives in the configuration folder.
    bool simulated = which == PLAT_DIR_STATE && installed && plat_dev_backend_simulated();
    char simState[4096] = "";
    if (which == PLAT_DIR_STATE && (simulated || !installed))
        plat_state_dir(simState, sizeof simState);
    std::string exeDir = (!installed && which != PLAT_DIR_STATE) ? exe_dir() : "";
    return plat_suite_dir_for(library_dir().c_str(), exeDir.c_str(), simulated, simState, which,
                              buf, size);
}

bool plat_suite_installed() {
    std::string prefix;
    return install_prefix(library_dir(), &prefix);
}

size_t plat_suite_setting(const char* key, char* buf, size_t size) {
    if (buf && size) buf[0] = '\0';
    if (!key) return 0;
    const std::string* value = nullptr;
    for (const auto& p : settings())
        if (p.first == key) value = &p.second;
    return value ? copy_out(*value, buf, size) : 0;
}
