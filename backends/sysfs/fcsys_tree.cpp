// sysfs access of the FC backend: finding ports and their PCI functions,
// remote and virtual ports, bounded attribute reads and the transport's write
// interfaces. A read that fails for any reason (missing file, permissions, a
// directory where a file belongs, a text longer than its buffer) is reported
// as "not available"; the caller then leaves its field at that value.
#include "backends/sysfs/fcsys_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char kRootVariable[] = "HBA_SYSFS_ROOT";
const char kFcHostDir[] = "sys/class/fc_host";
const char kScsiHostDir[] = "sys/class/scsi_host";
const char kVportDir[] = "sys/class/fc_vports";
const char kScsiDeviceDir[] = "sys/class/scsi_device";
const char kModuleDir[] = "sys/module";
const char kVportMark[] = "/vport-";
// The kernel gives one page per attribute read.
const size_t kAttrPage = 4096;

// Last path component of path (path itself when it has no slash).
const char* base_name(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Whether path lies below the resolved root ("/" holds every absolute path).
bool below_root(const char* path, const char* rootReal) {
    size_t rootLen = strlen(rootReal);
    if (rootLen == 1) rootLen = 0;
    return strncmp(path, rootReal, rootLen) == 0 && path[rootLen] == '/';
}

// Walks up from the resolved device path to the nearest directory named like
// a PCI function, never above the resolved root. False when there is none (a
// port on another bus).
bool find_pci_function(const char* devicePath, const char* rootReal, char* out, size_t size,
                       FcsysPciAddress* pci) {
    char path[FCSYS_PATH_MAX];
    if (snprintf(path, sizeof path, "%s", devicePath) >= static_cast<int>(sizeof path))
        return false;
    size_t rootLen = strlen(rootReal);
    if (rootLen == 1) rootLen = 0;
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

template <typename Parse> void parsed(const char* dir, const char* name, Parse parse) {
    char text[512];
    if (fcsys_read_attr(dir, name, text, sizeof text)) parse(text);
}

// The SCSI host a virtual port made: the one directory host<m> in the
// virtual port's device directory.
uint32_t vport_scsi_host(const char* vportDir) {
    DIR* d = opendir(vportDir);
    if (!d) return UINT32_MAX;
    uint32_t host = UINT32_MAX;
    while (const dirent* e = readdir(d)) {
        uint32_t m = 0;
        if (fcsys_parse_host_name(e->d_name, &m)) host = m;
    }
    closedir(d);
    return host;
}

} // namespace

const char* fcsys_root() {
    const char* env = getenv(kRootVariable);
    return env && *env ? env : "/";
}

bool fcsys_join(char* out, size_t size, const char* dir, const char* name) {
    if (dir[0] == '\0') return false; // no directory (a port without PCI function)
    size_t d = strlen(dir);
    bool slash = dir[d - 1] == '/';
    int n = snprintf(out, size, slash ? "%s%s" : "%s/%s", dir, name);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool fcsys_root_path(const char* below, char* out, size_t size) {
    return fcsys_join(out, size, fcsys_root(), below);
}

bool fcsys_find_port(uint32_t host, FcsysPort* out) {
    memset(out, 0, sizeof *out);
    out->host = host;
    char classDir[FCSYS_PATH_MAX];
    char name[32];
    snprintf(name, sizeof name, "host%u", host);
    if (!fcsys_root_path(kFcHostDir, classDir, sizeof classDir) ||
        !fcsys_join(out->hostDir, sizeof out->hostDir, classDir, name))
        return false;
    struct stat st;
    if (stat(out->hostDir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;

    char link[FCSYS_PATH_MAX];
    char resolved[PATH_MAX];
    char rootReal[PATH_MAX];
    if (!fcsys_join(link, sizeof link, out->hostDir, "device")) return false;
    if (!realpath(link, resolved) || !realpath(fcsys_root(), rootReal)) return false;
    if (!below_root(resolved, rootReal) || is_virtual_port(out->hostDir, resolved)) return false;
    if (!find_pci_function(resolved, rootReal, out->pciDir, sizeof out->pciDir, &out->pci)) {
        out->pciDir[0] = '\0';
        memset(&out->pci, 0, sizeof out->pci);
    }
    return true;
}

size_t fcsys_list_ports(uint32_t* hosts, size_t max) {
    std::vector<uint32_t> found;
    fcsys_each_entry(kFcHostDir, "host", [&](const char* name, const char*) {
        uint32_t host = 0;
        FcsysPort port;
        if (fcsys_parse_host_name(name, &host) && fcsys_find_port(host, &port))
            found.push_back(host);
        return true;
    });
    std::sort(found.begin(), found.end());
    for (size_t k = 0; k < found.size() && k < max; ++k)
        hosts[k] = found[k];
    return found.size();
}

bool fcsys_read_bytes(const char* dir, const char* name, uint8_t* out, size_t size, size_t* got) {
    *got = 0;
    char path[FCSYS_PATH_MAX];
    if (!fcsys_join(path, sizeof path, dir, name)) return false;
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
            if (errno == EINTR) continue;
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
    // The whole page and one byte more, so that a text which does not fit is
    // seen as such instead of being cut (a cut number could parse as valid).
    char raw[kAttrPage + 2];
    size_t got = 0;
    if (!fcsys_read_bytes(dir, name, reinterpret_cast<uint8_t*>(raw), kAttrPage + 1, &got))
        return false;
    if (got > kAttrPage) return false;
    raw[got] = '\0';
    // An attribute is one text: anything after an embedded NUL is not part of it.
    size_t len = fcsys_trimmed_length(raw, strlen(raw));
    if (len > size - 1) return false;
    fcsys_copy_text(raw, out, size);
    return true;
}

FcsysWrite fcsys_write_attr(const char* dir, const char* name, const char* text) {
    char path[FCSYS_PATH_MAX];
    if (!fcsys_join(path, sizeof path, dir, name)) return FCSYS_WRITE_ABSENT;
    int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? FCSYS_WRITE_ABSENT : FCSYS_WRITE_NOT_A_FILE;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return FCSYS_WRITE_NOT_A_FILE;
    }
    size_t n = strlen(text);
    ssize_t w = write(fd, text, n);
    bool ok = w == static_cast<ssize_t>(n);
    if (close(fd) != 0) ok = false;
    return ok ? FCSYS_WRITE_DONE : FCSYS_WRITE_REFUSED;
}

bool fcsys_driver_name(const FcsysPort& port, char* out, size_t size) {
    char scsiClass[FCSYS_PATH_MAX];
    char hostDir[FCSYS_PATH_MAX];
    char name[32];
    snprintf(name, sizeof name, "host%u", port.host);
    if (fcsys_root_path(kScsiHostDir, scsiClass, sizeof scsiClass) &&
        fcsys_join(hostDir, sizeof hostDir, scsiClass, name) &&
        fcsys_read_attr(hostDir, "proc_name", out, size) && out[0] != '\0')
        return true;
    char link[FCSYS_PATH_MAX];
    char target[PATH_MAX];
    if (!fcsys_join(link, sizeof link, port.pciDir, "driver")) return false;
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
           fcsys_join(dir, sizeof dir, modules, module) &&
           fcsys_read_attr(dir, "version", out, size) && out[0] != '\0';
}

bool fcsys_read_remote_port(const char* name, const char* dir, FcsysRemotePort* out) {
    memset(out, 0, sizeof *out);
    if (!fcsys_parse_child_name(name, "rport-", &out->name)) return false;
    snprintf(out->dir, sizeof out->dir, "%s", dir);
    out->targetId = -1;
    parsed(dir, "port_name", [&](const char* t) { fcsys_parse_wwn(t, out->wwpn); });
    parsed(dir, "node_name", [&](const char* t) { fcsys_parse_wwn(t, out->wwnn); });
    parsed(dir, "port_id", [&](const char* t) { fcsys_parse_hex(t, 0xFFFFFF, &out->portId); });
    parsed(dir, "roles", [&](const char* t) { fcsys_parse_roles(t, &out->roles); });
    parsed(dir, "scsi_target_id", [&](const char* t) { fcsys_parse_int(t, &out->targetId); });
    parsed(dir, "port_state", [&](const char* t) {
        uint32_t state = 0;
        out->present = fcsys_port_present(t);
        out->online = fcsys_parse_port_state(t, &state) && state == FCSYS_PORTSTATE_ONLINE;
    });
    return true;
}

bool fcsys_read_vport(const char* name, const char* dir, FcsysVport* out) {
    memset(out, 0, sizeof *out);
    if (!fcsys_parse_child_name(name, "vport-", &out->name)) return false;
    snprintf(out->dir, sizeof out->dir, "%s", dir);
    parsed(dir, "port_name", [&](const char* t) { fcsys_parse_wwn(t, out->wwpn); });
    parsed(dir, "node_name", [&](const char* t) { fcsys_parse_wwn(t, out->wwnn); });
    if (!fcsys_read_attr(dir, "vport_state", out->state, sizeof out->state)) out->state[0] = '\0';
    if (!fcsys_read_attr(dir, "symbolic_name", out->symbolicName, sizeof out->symbolicName))
        out->symbolicName[0] = '\0';
    out->scsiHost = vport_scsi_host(dir);
    return true;
}

namespace {

template <typename Match> bool find_vport(uint32_t host, FcsysVport* out, Match match) {
    char prefix[32];
    snprintf(prefix, sizeof prefix, "vport-%u:", host);
    bool found = false;
    fcsys_each_entry(kVportDir, prefix, [&](const char* name, const char* dir) {
        found = fcsys_read_vport(name, dir, out) && out->name.host == host && match(*out);
        return !found;
    });
    return found;
}

} // namespace

bool fcsys_find_vport_by_wwpn(uint32_t host, const uint8_t* wwpn, FcsysVport* out) {
    return find_vport(
        host, out, [&](const FcsysVport& v) { return memcmp(v.wwpn, wwpn, FCSYS_WWN_BYTES) == 0; });
}

bool fcsys_find_vport_by_number(uint32_t host, uint32_t number, FcsysVport* out) {
    return find_vport(host, out, [&](const FcsysVport& v) { return v.name.number == number; });
}

void fcsys_block_name(const char* scsiDevice, char* out, size_t size) {
    out[0] = '\0';
    char classDir[FCSYS_PATH_MAX], dev[FCSYS_PATH_MAX], block[FCSYS_PATH_MAX];
    if (!fcsys_root_path(kScsiDeviceDir, classDir, sizeof classDir) ||
        !fcsys_join(dev, sizeof dev, classDir, scsiDevice) ||
        !fcsys_join(block, sizeof block, dev, "device/block"))
        return;
    DIR* d = opendir(block);
    if (!d) return;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        fcsys_copy_text(e->d_name, out, size);
        break;
    }
    closedir(d);
}
