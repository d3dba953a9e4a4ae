// The narrow interface between the platform's device layer and the adapter driver.
// A driver backend is a shared library exporting hba_driver_backend(), which
// returns a table of these entry points. The platform loads it at first use:
// the backend chosen as plat_dev_backend_simulated() below says. Tests may
// install a backend directly.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

#define HBA_DRIVER_BACKEND_VERSION 1

struct HbaMgmtEventProvider;

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
    // ---- management events (optional; null = no event service) ----
    // Read by the management-event stand-in (plat_mgmt_events.h).
    const HbaMgmtEventProvider* mgmtEvents = nullptr;
    // ---- writer locks (optional; null = the suite's state folder) ----
    // Copies the folder that holds the per-adapter writer locks of the
    // machine this backend drives into buf (no trailing slash) and returns its
    // length, or 0 when it cannot be named (plat_adapter_lock.h).
    size_t (*lockDir)(char* buf, size_t size) = nullptr;
};

typedef const HbaDriverBackend* (*HbaDriverBackendEntry)(void);

// ---- management events --------------------------------------------------------
// What a backend with an event service offers the management-event stand-in.
// Texts are NUL-terminated and bounded by their arrays.
#define HBA_MGMT_NAME_MAX 256 // instance names, terminator included
#define HBA_MGMT_CLASS_MAX 64 // class names, terminator included
#define HBA_MGMT_DATA_MAX 16  // data elements of one event

// One adapter port's HBA attribute object.
struct HbaMgmtHbaObject {
    uint8_t nodeWwn[8];
    char instanceName[HBA_MGMT_NAME_MAX];
};

// One raised event. present: HBA_MGMT_HAS_* bits of the properties it carries.
struct HbaMgmtEvent {
    char eventClass[HBA_MGMT_CLASS_MAX];
    char instanceName[HBA_MGMT_NAME_MAX];
    uint32_t present;
    uint8_t wwpn[8];
    uint32_t subCat;
    uint64_t timeStamp;
    uint16_t flags;
    uint16_t datasize;
    uint32_t dataCount; // elements of data, at most HBA_MGMT_DATA_MAX
    uint32_t data[HBA_MGMT_DATA_MAX];
};
enum : uint32_t {
    HBA_MGMT_HAS_INSTANCE = 1u << 0,
    HBA_MGMT_HAS_WWPN = 1u << 1,
    HBA_MGMT_HAS_SUBCAT = 1u << 2,
    HBA_MGMT_HAS_TIMESTAMP = 1u << 3,
    HBA_MGMT_HAS_FLAGS = 1u << 4,
    HBA_MGMT_HAS_DATASIZE = 1u << 5,
    HBA_MGMT_HAS_DATA = 1u << 6,
};

// Every entry returns 0 or a PLAT_ERR_* code.
struct HbaMgmtEventProvider {
    // Whether a step of the service fails on this call (the backend's own fault
    // injection); 0 lets it run. step: "connect", "query", "next", "exec",
    // "subscribe".
    uint32_t (*step_fault)(const char* step);
    // The HBA attribute objects in the service's own order, which need not be
    // the order of the devices. *count = objects that exist (may exceed capacity).
    uint32_t (*list_hba)(HbaMgmtHbaObject* out, uint32_t capacity, uint32_t* count);
    // Switches an event of one port on (action 0) or off (action 1) at the
    // driver instance instanceName; wwpn null for board events (category 8).
    // *status receives the method's own status.
    uint32_t (*sd_control)(const char* instanceName, uint32_t category, uint32_t action,
                           uint32_t subCat, const uint8_t* wwpn, uint32_t* status);
    // Number the next raised event will get (events are numbered from 1 up).
    uint64_t (*event_next)(void);
    // Copies the events numbered *from and up, at most capacity; *from moves past
    // the last one copied (and past events that are no longer kept).
    uint32_t (*read_events)(uint64_t* from, HbaMgmtEvent* out, uint32_t capacity, uint32_t* count);
    // fn(ctx) is called whenever this process raises an event (null: none).
    void (*set_notify)(void (*fn)(void* ctx), void* ctx);
};
#define HBA_DRIVER_BACKEND_ENTRY "hba_driver_backend"
}

// Installs a backend for this process (null restores loading from a file).
void plat_dev_set_backend(const HbaDriverBackend* backend);
// The backend the device layer uses (loaded at the first call); null when none.
const HbaDriverBackend* plat_dev_backend();
// True when the backend chosen for loading is the simulated driver
// (libhbasimdrv.so): $HBA_DRIVER_BACKEND, else the "backend" setting of the
// suite's settings file (plat_paths.h), else the real backend (libhbafcsys.so)
// for an installed suite and the simulated driver in the build tree. Both take
// "sim", "sysfs" or a backend library's path. A backend installed with
// plat_dev_set_backend does not change the answer.
bool plat_dev_backend_simulated();
