// Device layer: opens driver devices through the driver backend and forwards
// control requests to it. The backend is a shared library loaded at first use.
#include "platform/plat_backend.h"
#include "platform/plat_device.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

struct PlatDevice {
    const HbaDriverBackend* backend;
    void* dev;
};

struct PlatPendingRec {
    const HbaDriverBackend* backend;
    void* op;
};

namespace {

thread_local uint32_t t_lastError = 0;
std::atomic<uint32_t> g_pendingCount{0};
std::atomic<uint32_t> g_openCount{0};

// Buffer tokens: slot i holds token i + 1.
struct TokenSlot {
    const void* p;
    uint32_t size;
};
const size_t kTokenSlots = 4096;
std::mutex g_tokenMu;
std::vector<TokenSlot> g_tokens;

std::mutex g_loadMu;
std::atomic<const HbaDriverBackend*> g_installed{nullptr};
std::atomic<const HbaDriverBackend*> g_loaded{nullptr};

// The two backends of the suite, beside the platform library.
const char kSimulatedBackend[] = "libhbasimdrv.so";
const char kSysfsBackend[] = "libhbafcsys.so";
const char kBackendVariable[] = "HBA_DRIVER_BACKEND";
const char kBackendSetting[] = "backend";

// Folder of the platform library, where the suite's own backends lie; found once.
const std::string& own_folder() {
    static std::once_flag once;
    static std::string dir;
    std::call_once(once, [] {
        char self[4096];
        if (plat_module_path(reinterpret_cast<const void*>(&plat_dev_open), self, sizeof self) == 0)
            return;
        const char* slash = strrchr(self, '/');
        if (slash) dir.assign(self, (size_t)(slash - self));
    });
    return dir;
}

// The choice when the variable is unset: the settings file, else the layout's
// default; read once.
const std::string& configured_choice() {
    static std::once_flag once;
    static std::string choice;
    std::call_once(once, [] {
        char setting[4096];
        if (plat_suite_setting(kBackendSetting, setting, sizeof setting) > 0)
            choice = setting;
        else
            choice = plat_suite_installed() ? "sysfs" : "sim";
    });
    return choice;
}

// The backend chosen: $HBA_DRIVER_BACKEND, else the "backend" setting of the
// suite's settings file, else the real backend for an installed suite and the
// simulated driver in the build tree. "sim" and "sysfs" name the suite's own
// backends; any other value is a library's path.
bool backend_path(char* buf, size_t size) {
    const char* choice = getenv(kBackendVariable);
    if (!choice || !*choice) choice = configured_choice().c_str();
    const char* name = nullptr;
    if (strcmp(choice, "sim") == 0) name = kSimulatedBackend;
    if (strcmp(choice, "sysfs") == 0) name = kSysfsBackend;
    int n = 0;
    if (!name)
        n = snprintf(buf, size, "%s", choice);
    else if (!own_folder().empty())
        n = snprintf(buf, size, "%s/%s", own_folder().c_str(), name);
    return n > 0 && (size_t)n < size;
}

// Loads the backend once; a failed load is retried on the next call.
const HbaDriverBackend* current_backend() {
    if (const HbaDriverBackend* b = g_installed.load(std::memory_order_acquire)) return b;
    if (const HbaDriverBackend* b = g_loaded.load(std::memory_order_acquire)) return b;
    std::lock_guard<std::mutex> g(g_loadMu);
    if (const HbaDriverBackend* b = g_loaded.load(std::memory_order_acquire)) return b;
    char path[4096];
    if (!backend_path(path, sizeof path)) return nullptr;
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    auto entry = reinterpret_cast<HbaDriverBackendEntry>(dlsym(lib, HBA_DRIVER_BACKEND_ENTRY));
    const HbaDriverBackend* b = entry ? entry() : nullptr;
    if (!b || b->version != HBA_DRIVER_BACKEND_VERSION || !b->open || !b->control || !b->close) {
        dlclose(lib);
        return nullptr;
    }
    // The library stays loaded for the life of the process: handles refer to it.
    g_loaded.store(b, std::memory_order_release);
    return b;
}

} // namespace

void plat_dev_set_backend(const HbaDriverBackend* backend) {
    g_installed.store(backend, std::memory_order_release);
}

bool plat_dev_backend_simulated() {
    char path[4096];
    if (!backend_path(path, sizeof path)) return false;
    const char* slash = strrchr(path, '/');
    return strcmp(slash ? slash + 1 : path, kSimulatedBackend) == 0;
}

const HbaDriverBackend* plat_dev_backend() {
    return current_backend();
}

PlatHandle plat_dev_open(const char* path) {
    if (!path) {
        t_lastError = PLAT_ERR_INVALID_PARAM;
        return nullptr;
    }
    const HbaDriverBackend* b = current_backend();
    if (!b) {
        t_lastError = PLAT_ERR_NO_BACKEND;
        return nullptr;
    }
    void* dev = nullptr;
    uint32_t rc = b->open(path, &dev);
    if (rc == PLAT_ERR_NONE && !dev) rc = PLAT_ERR_GEN_FAILURE;
    if (rc != PLAT_ERR_NONE) {
        t_lastError = rc;
        return nullptr;
    }
    auto* h = static_cast<PlatDevice*>(malloc(sizeof(PlatDevice)));
    if (!h) {
        b->close(dev);
        t_lastError = PLAT_ERR_NO_MEMORY;
        return nullptr;
    }
    h->backend = b;
    h->dev = dev;
    g_openCount.fetch_add(1, std::memory_order_relaxed);
    return h;
}

bool plat_dev_control(PlatHandle h, uint32_t code, void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* returned) {
    uint32_t local = 0;
    if (!returned) returned = &local;
    *returned = 0;
    if (!h) {
        t_lastError = PLAT_ERR_INVALID_HANDLE;
        return false;
    }
    if ((!in && inSize) || (!out && outSize)) {
        t_lastError = PLAT_ERR_INVALID_PARAM;
        return false;
    }
    uint32_t rc = h->backend->control(h->dev, code, in, inSize, out, outSize, returned);
    if (rc != PLAT_ERR_NONE) {
        t_lastError = rc;
        return false;
    }
    return true;
}

void plat_dev_close(PlatHandle h) {
    if (!h) return;
    h->backend->close(h->dev);
    free(h);
    g_openCount.fetch_sub(1, std::memory_order_relaxed);
}

uint32_t plat_last_error() {
    return t_lastError;
}

void plat_set_last_error(uint32_t err) {
    t_lastError = err;
}

uint32_t plat_dev_submit(PlatHandle h, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* returned, PlatPending* op) {
    uint32_t local = 0;
    if (!returned) returned = &local;
    *returned = 0;
    if (op) *op = nullptr;
    if (!op) {
        t_lastError = PLAT_ERR_INVALID_PARAM;
        return t_lastError;
    }
    if (!h || !h->backend->submit || !h->backend->wait) {
        if (plat_dev_control(h, code, in, inSize, out, outSize, returned)) return PLAT_ERR_NONE;
        return t_lastError;
    }
    if ((!in && inSize) || (!out && outSize)) {
        t_lastError = PLAT_ERR_INVALID_PARAM;
        return t_lastError;
    }
    auto* rec = static_cast<PlatPendingRec*>(malloc(sizeof(PlatPendingRec)));
    if (!rec) {
        t_lastError = PLAT_ERR_NO_MEMORY;
        return t_lastError;
    }
    void* cookie = nullptr;
    uint32_t rc = h->backend->submit(h->dev, code, in, inSize, out, outSize, returned, &cookie);
    if (rc == PLAT_ERR_IO_PENDING && cookie) {
        rec->backend = h->backend;
        rec->op = cookie;
        *op = rec;
        g_pendingCount.fetch_add(1, std::memory_order_relaxed);
        t_lastError = PLAT_ERR_IO_PENDING;
        return PLAT_ERR_IO_PENDING;
    }
    free(rec);
    if (rc == PLAT_ERR_IO_PENDING) rc = PLAT_ERR_GEN_FAILURE; // pending without a request
    if (rc != PLAT_ERR_NONE) t_lastError = rc;
    return rc;
}

uint32_t plat_dev_wait(PlatPending op, uint32_t timeout_ms, uint32_t* returned) {
    uint32_t local = 0;
    if (!returned) returned = &local;
    *returned = 0;
    if (!op) {
        t_lastError = PLAT_ERR_INVALID_HANDLE;
        return t_lastError;
    }
    uint32_t rc = op->backend->wait(op->op, timeout_ms, returned);
    if (rc == PLAT_ERR_IO_PENDING) return rc;
    free(op);
    g_pendingCount.fetch_sub(1, std::memory_order_relaxed);
    if (rc != PLAT_ERR_NONE) t_lastError = rc;
    return rc;
}

void plat_dev_cancel(PlatPending op) {
    if (op && op->backend->cancel) op->backend->cancel(op->op);
}

uint32_t plat_dev_pending_count() {
    return g_pendingCount.load(std::memory_order_relaxed);
}

uint32_t plat_dev_open_count() {
    return g_openCount.load(std::memory_order_relaxed);
}

uint32_t plat_buf_token_get(const void* p, uint32_t size) {
    if (!p) return 0;
    std::lock_guard<std::mutex> g(g_tokenMu);
    for (size_t i = 0; i < g_tokens.size(); ++i) {
        if (!g_tokens[i].p) {
            g_tokens[i] = TokenSlot{p, size};
            return (uint32_t)i + 1;
        }
    }
    if (g_tokens.size() >= kTokenSlots) return 0;
    g_tokens.push_back(TokenSlot{p, size});
    return (uint32_t)g_tokens.size();
}

const void* plat_buf_token_lookup(uint32_t token, uint32_t* size) {
    std::lock_guard<std::mutex> g(g_tokenMu);
    if (token == 0 || token > g_tokens.size() || !g_tokens[token - 1].p) return nullptr;
    if (size) *size = g_tokens[token - 1].size;
    return g_tokens[token - 1].p;
}

void plat_buf_token_release(uint32_t token) {
    std::lock_guard<std::mutex> g(g_tokenMu);
    if (token != 0 && token <= g_tokens.size()) g_tokens[token - 1] = TokenSlot{nullptr, 0};
}
