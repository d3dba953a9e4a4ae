// Large objects (flash images, staged downloads): one file per object under
// objects/, named a<adapter>f<function>-<name>.obj; staging objects are
// .stg files written in place, so a write costs the same whatever the size of
// the object, and become objects by an atomic rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/plat_fs.h"
#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

static bool valid_object_name(const std::string& n) {
    if (n.empty() || n.size() > 64 || n[0] == '.') return false;
    for (char c : n)
        if (!isalnum((unsigned char)c) && c != '_' && c != '-' && c != '.') return false;
    return true;
}

// Checks the reference and the name and gives the file path ("" + error set
// otherwise).
static int object_path(FuncRef f, const std::string& name, const char* ext, std::string* out) {
    if (!valid_object_name(name))
        return set_error(SIM_ERR_NOT_FOUND, "bad object name '" + name + "'");
    int nfuncs = -1;
    int rc = read_adapter(f.adapter, [&](const Adapter& a) { nfuncs = (int)a.funcs.size(); });
    if (rc) return rc;
    if (f.func < 0 || f.func >= nfuncs)
        return set_error(SIM_ERR_NOT_FOUND, "no function " + std::to_string(f.func));
    // The objects belong to the machine: they live in its generation folder
    // (made with its objects/ folder) and go away with it.
    std::string mdir = machine_dir();
    if (mdir.empty()) return SIM_ERR_NO_STATE;
    std::string dir = mdir + "/objects";
    *out = dir + "/a" + std::to_string(f.adapter) + "f" + std::to_string(f.func) + "-" + name + ext;
    return SIM_OK;
}

int object_get(FuncRef f, const std::string& name, Bytes* out) {
    std::string path, text;
    int rc = object_path(f, name, ".obj", &path);
    if (rc) return rc;
    if (!read_whole_file(path, &text))
        return set_error(errno == ENOENT ? SIM_ERR_NOT_FOUND : SIM_ERR_IO, "no object " + name);
    out->assign(text.begin(), text.end());
    return SIM_OK;
}

int object_size(FuncRef f, const std::string& name, uint64_t* size) {
    std::string path;
    int rc = object_path(f, name, ".obj", &path);
    if (rc) return rc;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return set_error(SIM_ERR_NOT_FOUND, "no object " + name);
    *size = (uint64_t)st.st_size;
    return SIM_OK;
}

int object_put(FuncRef f, const std::string& name, const Bytes& data) {
    std::string path;
    int rc = object_path(f, name, ".obj", &path);
    if (rc) return rc;
    if (!write_file_replacing(path, std::string(data.begin(), data.end()), 0))
        return set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
    return SIM_OK;
}

int object_delete(FuncRef f, const std::string& name) {
    std::string path;
    int rc = object_path(f, name, ".obj", &path);
    if (rc) return rc;
    if (unlink(path.c_str()) != 0) return set_error(SIM_ERR_NOT_FOUND, "no object " + name);
    return SIM_OK;
}

int staging_write(FuncRef f, const std::string& name, uint64_t offset, const void* data,
                  size_t size) {
    std::string path;
    int rc = object_path(f, name, ".stg", &path);
    if (rc) return rc;
    if (offset > (1ull << 40)) return set_error(SIM_ERR_IO, "staging offset out of range");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return set_error(SIM_ERR_IO, "cannot open " + path + ": " + strerror(errno));
    const char* p = (const char*)data;
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, p + done, size - done, (off_t)(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
        }
        done += (size_t)n;
    }
    close(fd);
    return SIM_OK;
}

int staging_commit(FuncRef f, const std::string& staging, const std::string& name) {
    std::string from, to;
    int rc = object_path(f, staging, ".stg", &from);
    if (rc == SIM_OK) rc = object_path(f, name, ".obj", &to);
    if (rc) return rc;
    if (rename(from.c_str(), to.c_str()) != 0)
        return set_error(errno == ENOENT ? SIM_ERR_NOT_FOUND : SIM_ERR_IO,
                         "no staging object " + staging);
    return SIM_OK;
}

int staging_drop(FuncRef f, const std::string& staging) {
    std::string path;
    int rc = object_path(f, staging, ".stg", &path);
    if (rc) return rc;
    unlink(path.c_str());
    return SIM_OK;
}

int staging_read(FuncRef f, const std::string& staging, Bytes* out) {
    std::string path, text;
    int rc = object_path(f, staging, ".stg", &path);
    if (rc) return rc;
    if (!read_whole_file(path, &text))
        return set_error(errno == ENOENT ? SIM_ERR_NOT_FOUND : SIM_ERR_IO,
                         "no staging object " + staging);
    out->assign(text.begin(), text.end());
    return SIM_OK;
}

int staging_size(FuncRef f, const std::string& staging, uint64_t* size) {
    std::string path;
    int rc = object_path(f, staging, ".stg", &path);
    if (rc) return rc;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return set_error(SIM_ERR_NOT_FOUND, "no staging object " + staging);
    *size = (uint64_t)st.st_size;
    return SIM_OK;
}

int staging_append(FuncRef f, const std::string& staging, const void* data, size_t size,
                   uint64_t limit, uint64_t* offset) {
    std::string path;
    int rc = object_path(f, staging, ".stg", &path);
    if (rc) return rc;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return set_error(SIM_ERR_IO, "cannot open " + path + ": " + strerror(errno));
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return set_error(SIM_ERR_IO, "cannot stat " + path + ": " + strerror(errno));
    }
    *offset = (uint64_t)st.st_size;
    if (*offset + size > limit) {
        close(fd);
        return set_error(SIM_ERR_IO, "staging object " + staging + " would pass its limit");
    }
    const char* p = (const char*)data;
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, p + done, size - done, (off_t)(*offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return set_error(SIM_ERR_IO, "cannot write " + path + ": " + strerror(errno));
        }
        done += (size_t)n;
    }
    close(fd);
    return SIM_OK;
}

} // namespace hbasim
