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
};

typedef const HbaDriverBackend* (*HbaDriverBackendEntry)(void);
#define HBA_DRIVER_BACKEND_ENTRY "hba_driver_backend"
}

// Installs a backend for this process (null restores loading from a file).
void plat_dev_set_backend(const HbaDriverBackend* backend);
