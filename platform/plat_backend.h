// The narrow interface between the platform's device layer and the adapter driver.
// A driver backend is a shared library exporting hba_driver_backend(), which
// returns a table of these entry points. The platform loads it at first use:
// the file named by $HBA_DRIVER_BACKEND, else libhbasimdrv.so beside the
// platform library. Tests may install a backend directly.
#pragma once
#include <cstdint>

extern "C" {

#define HBA_DRIVER_BACKEND_VERSION 1

struct HbaDriverBackend {
    uint32_t version; // HBA_DRIVER_BACKEND_VERSION
    // Returns 0 and a non-null device cookie, or a PLAT_ERR_* code.
    uint32_t (*open)(const char* path, void** dev);
    // Returns 0, or a PLAT_ERR_* code. *returned receives the bytes written to out.
    uint32_t (*control)(void* dev, uint32_t code, void* in, uint32_t inSize, void* out,
                        uint32_t outSize, uint32_t* returned);
    void (*close)(void* dev);

    // ---- overlapped requests (optional; null = every request completes in
    // control). A pending request keeps its buffers until it has completed.
    // Members appended here default to null, so older tables still build.
    // Starts a request that may complete later: 0 when it completed at once
    // (*returned set, *op null), PLAT_ERR_IO_PENDING with *op set when it is
    // pending, any other PLAT_ERR_* code when it failed.
    uint32_t (*submit)(void* dev, uint32_t code, void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t* returned, void** op) = nullptr;
    // Waits for a pending request, at most timeout_ms in the platform's scaled
    // time (PLAT_WAIT_INFINITE: no limit): PLAT_ERR_IO_PENDING when it is still
    // pending; otherwise it has completed, op is freed, and the result is 0
    // (*returned set) or the PLAT_ERR_* code it failed with.
    uint32_t (*wait)(void* op, uint32_t timeout_ms, uint32_t* returned) = nullptr;
    // Makes a pending request complete soon (with PLAT_ERR_CANCELLED). Only
    // the owner of op calls it, between its waits: op stays valid until a
    // wait has reported the completion.
    void (*cancel)(void* op) = nullptr;
};

typedef const HbaDriverBackend* (*HbaDriverBackendEntry)(void);
#define HBA_DRIVER_BACKEND_ENTRY "hba_driver_backend"
}

// Installs a backend for this process (null restores loading from a file).
void plat_dev_set_backend(const HbaDriverBackend* backend);
