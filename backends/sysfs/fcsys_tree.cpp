// sysfs access of the FC backend: finding ports and their PCI functions, and
// bounded attribute reads. A read that fails for any reason (missing file,
// permissions, a directory where a file belongs) is reported as "not
// available"; the caller then leaves its field empty.
#include "backends/sysfs/fcsys_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kRootVariable[] = "HBA_SYSFS_ROOT";
const char kFcHostDir[] = "sys/class/fc_host";
const char kScsiHostDir[] = "sys/class/scsi_host";
const char kRemotePortDir[] = "sys/class/fc_remote_ports";
const char kModuleDir[] = "sys/module";
const char kVportMark[] = "/vport-";

bool join_path(char* out, size_t size, const char* dir, const char* name) {
    size_t d = strlen(dir);
    bool slash = d > 0 && dir[d - 1] == '/';
    int n = snprintf(out, size, slash ? "%s%s" : "%s/%s", dir, name);
    return n > 0 && static_cast<size_t>(n) < size;
}

// Last path component of path (path itself when it has no slash).
const char* base_name(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Walks up from the resolved device path to the nearest directory named like
// a PCI function, never above the resolved root. A device outside the root
// (a link leading out of a fixture tree) has none.
bool find_pci_function(const char* devicePath, const char* rootReal, char* out, size_t size,
                       FcsysPciAddress* pci) {
    char path[FCSYS_PATH_MAX];
    if (snprintf(path, sizeof path, "%s", devicePath) >= static_cast<int>(sizeof path))
        return false;
    size_t rootLen = strlen(rootReal);
    if (rootLen == 1) rootLen = 0; // "/": every absolute path is below it
    if (strncmp(path, rootReal, rootLen) != 0 || path[rootLen] != '/') return false;
    while (strlen(path) > rootLen) {
        if (fcsys_parse_pci_address(base_name(path), pci)) {
            return snprintf(out, size, "%s", path) < static_cast<int>(size);
        }
        char* slash = strrchr(path, '/');
        if (!slash || slash == path) break;
        *slash = '\0';
    }
    return false;
}

bool is_virtual_port(const char* hostDir, const char* resolved) {
    char type[64];
    uint32_t t = 0;
    if (fcsys_read_attr(hostDir, "port_type", type, sizeof type) && fcsys_parse_port_type(type, &t))
        return t == FCSYS_PORTTYPE_NPIV_VPORT;
    return strstr(resolved, kVportMark) != nullptr;
}

} // namespace

const char* fcsys_root() {
    const char* env = getenv(kRootVariable);
    return env && *env ? env : "/";
}

bool fcsys_root_path(const char* below, char* out, size_t size) {
    return join_path(out, size, fcsys_root(), below);
}

bool fcsys_find_port(uint32_t host, FcsysPort* out) {
    memset(out, 0, sizeof *out);
    out->host = host;
    char classDir[FCSYS_PATH_MAX];
    char name[32];
    snprintf(name, sizeof name, "host%u", host);
    if (!fcsys_root_path(kFcHostDir, classDir, sizeof classDir) ||
        !join_path(out->hostDir, sizeof out->hostDir, classDir, name))
        return false;
    struct stat st;
    if (stat(out->hostDir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;

    char link[FCSYS_PATH_MAX];
    char resolved[PATH_MAX];
    char rootReal[PATH_MAX];
    if (!join_path(link, sizeof link, out->hostDir, "device")) return false;
    if (!realpath(link, resolved) || !realpath(fcsys_root(), rootReal)) return false;
    if (is_virtual_port(out->hostDir, resolved)) return false;
    return find_pci_function(resolved, rootReal, out->pciDir, sizeof out->pciDir, &out->pci);
}

bool fcsys_read_bytes(const char* dir, const char* name, uint8_t* out, size_t size, size_t* got) {
    *got = 0;
    char path[FCSYS_PATH_MAX];
    if (!join_path(path, sizeof path, dir, name)) return false;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    size_t have = 0;
    bool ok = true;
    while (have < size) {
        ssize_t n = read(fd, out + have, size - have);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    close(fd);
    if (!ok) return false;
    *got = have;
    return true;
}

bool fcsys_read_attr(const char* dir, const char* name, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    char raw[4096];
    size_t got = 0;
    size_t want = size - 1 < sizeof raw - 1 ? size - 1 : sizeof raw - 1;
    if (!fcsys_read_bytes(dir, name, reinterpret_cast<uint8_t*>(raw), want, &got)) return false;
    raw[got] = '\0';
    // An attribute is one text: anything after an embedded NUL is not part of it.
    fcsys_copy_text(raw, out, size);
    return true;
}

bool fcsys_driver_name(const FcsysPort& port, char* out, size_t size) {
    char scsiClass[FCSYS_PATH_MAX];
    char hostDir[FCSYS_PATH_MAX];
    char name[32];
    snprintf(name, sizeof name, "host%u", port.host);
    if (fcsys_root_path(kScsiHostDir, scsiClass, sizeof scsiClass) &&
        join_path(hostDir, sizeof hostDir, scsiClass, name) &&
        fcsys_read_attr(hostDir, "proc_name", out, size) && out[0] != '\0')
        return true;
    char link[FCSYS_PATH_MAX];
    char target[PATH_MAX];
    if (!join_path(link, sizeof link, port.pciDir, "driver")) return false;
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = '\0';
    const char* base = base_name(target);
    if (*base == '\0') return false;
    fcsys_copy_text(base, out, size);
    return true;
}

bool fcsys_module_version(const char* module, char* out, size_t size) {
    char modules[FCSYS_PATH_MAX];
    char dir[FCSYS_PATH_MAX];
    if (strchr(module, '/') || module[0] == '.' || module[0] == '\0') return false;
    return fcsys_root_path(kModuleDir, modules, sizeof modules) &&
           join_path(dir, sizeof dir, modules, module) &&
           fcsys_read_attr(dir, "version", out, size) && out[0] != '\0';
}

uint32_t fcsys_count_remote_ports(uint32_t host) {
    char dir[FCSYS_PATH_MAX];
    if (!fcsys_root_path(kRemotePortDir, dir, sizeof dir)) return 0;
    DIR* d = opendir(dir);
    if (!d) return 0;
    char prefix[32];
    int n = snprintf(prefix, sizeof prefix, "rport-%u:", host);
    uint32_t count = 0;
    while (const dirent* e = readdir(d)) {
        if (strncmp(e->d_name, prefix, static_cast<size_t>(n)) == 0) ++count;
    }
    closedir(d);
    return count;
}
