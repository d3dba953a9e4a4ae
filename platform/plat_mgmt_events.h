// The management-event service: the driver's HBA attribute objects, its
// per-port event switches and the events it raises, as one process sees them.
//
// A connection is made once and released once. Through it a caller lists the
// HBA attribute objects (in the service's order, not the device order), runs
// the event-control methods on a driver instance and subscribes sinks to an
// event class. Sinks are called on the service's own delivery threads (two per
// connection, so two sinks may run at once); one subscription is served by one
// thread at a time, in the order the events were raised. The data comes from
// the driver backend (HbaMgmtEventProvider in plat_backend.h); a backend
// without one has no service (connect fails with PLAT_MGMT_E_NOT_SUPPORTED).
//
// Events raised by another process are seen within kPlatMgmtPollMs; events
// raised through this process's backend wake the delivery threads at once.
#pragma once
#include <cstdint>

#include "platform/plat_backend.h"

// Statuses (0 = done).
enum : uint32_t {
    PLAT_MGMT_OK = 0,
    PLAT_MGMT_DONE = 1,                      // plat_mgmt_next: no more objects
    PLAT_MGMT_E_FAILED = 0x80004005u,        // the step failed (injected or backend)
    PLAT_MGMT_E_NOT_SUPPORTED = 0x80004001u, // no event service
    PLAT_MGMT_E_INVALID = 0x80041008u,       // bad argument, query or object path
    PLAT_MGMT_E_NOT_FOUND = 0x80041002u,     // no such class, instance or method
    PLAT_MGMT_E_NO_MEMORY = 0x8007000Eu,
    PLAT_MGMT_E_IN_SINK = 0x8004100Eu, // would wait for the calling sink itself
};

const uint32_t kPlatMgmtPollMs = 5;

typedef struct PlatMgmtConnRec* PlatMgmtConn;
typedef struct PlatMgmtEnumRec* PlatMgmtEnum;
typedef struct PlatMgmtSubRec* PlatMgmtSub;

// Connects to a namespace ("ROOT\\WMI"). *out is null on failure.
uint32_t plat_mgmt_connect(const char* ns, PlatMgmtConn* out);
// Cancels every subscription left, stops the delivery threads and frees the
// connection. Refused (PLAT_MGMT_E_IN_SINK) from inside a sink of it.
uint32_t plat_mgmt_release(PlatMgmtConn c);

// "SELECT * FROM MSFC_FCAdapterHBAAttributes": a snapshot of the objects.
uint32_t plat_mgmt_query(PlatMgmtConn c, const char* wql, PlatMgmtEnum* out);
// The next object: PLAT_MGMT_OK with *out filled, PLAT_MGMT_DONE at the end,
// or a failure.
uint32_t plat_mgmt_next(PlatMgmtEnum e, HbaMgmtHbaObject* out);
void plat_mgmt_enum_close(PlatMgmtEnum e);

// In-parameters of the event-control methods (SDELSEventControl,
// SDFabricEventControl, SDSCSIEventControl, SDBoardEventControl).
struct PlatMgmtSdControl {
    uint32_t action; // 0 enable, 1 disable
    uint32_t subCat;
    bool hasWwpn; // false for SDBoardEventControl
    uint8_t wwpn[8];
};
// Runs method on the object "QrlWmiSDEventControl.InstanceName=\"...\"" (every
// backslash of the name doubled). *outStatus receives the method's status.
uint32_t plat_mgmt_exec_method(PlatMgmtConn c, const char* objectPath, const char* method,
                               const PlatMgmtSdControl* in, uint32_t* outStatus);

// A sink receives the events of its class, count at a time; the objects are
// valid during the call only.
typedef void (*PlatMgmtSink)(void* ctx, const HbaMgmtEvent* events, uint32_t count);
// "SELECT * FROM <event class>": events raised from now on go to sink(ctx).
uint32_t plat_mgmt_subscribe(PlatMgmtConn c, const char* wql, PlatMgmtSink sink, void* ctx,
                             PlatMgmtSub* out);
// Ends a subscription. When it returns, no call of its sink is running and
// none will start, except when called from inside that sink (the call then
// finishes, and nothing more is delivered).
void plat_mgmt_cancel(PlatMgmtSub s);

// Test hook: the nth coming call of step ("connect", "query", "next", "exec",
// "subscribe") fails with error, for count calls in a row; an empty step
// removes the injection.
void plat_mgmt_inject_failure(const char* step, uint32_t nth, uint32_t count, uint32_t error);
// Live delivery threads of every connection (tests check it returns to 0).
uint32_t plat_mgmt_thread_count();
