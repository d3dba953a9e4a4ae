// The simulated adapter driver: device paths, the envelope checks, the request
// table and the per-function adapter engine that answers mailbox commands.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sim/core/sim_model.h"

namespace hbasim {

// One envelope request as the driver sees it.
struct DrvRequest {
    int port = -1;             // SCSI port number of the device
    bool mgmt = false;         // sent on the management device
    uint32_t code = 0;         // control code with the VPI bits removed
    uint32_t vpi = 0;
    uint8_t* env = nullptr;    // whole buffer, header included
    uint32_t size = 0;         // buffer size
    uint8_t* payload = nullptr;
    uint32_t payloadSize = 0;  // size - 28
    uint32_t returnCode = 0;   // written to the header when the handler returns 0
    FuncRef ref;               // the function behind the device
};

// A handler returns 0 (request answered, ReturnCode = r.returnCode) or a
// PLAT_ERR_* code (the device call fails).
typedef uint32_t (*DrvHandler)(DrvRequest& r);

struct DrvHandlerEntry {
    uint32_t code;
    const char* signature;    // "ZT4100", "HBAAPI" or null for management codes
    uint32_t minSize;         // smallest buffer the request needs (header included)
    const char* name;         // journal name
    DrvHandler fn;
};
// The request table (request_table.cpp); families add their rows there.
extern const DrvHandlerEntry kDrvHandlers[];
extern const size_t kDrvHandlerCount;

// ---- adapter engine -----------------------------------------------------
enum MboxForm : uint32_t {
    MBOX_FORM_PLAIN = 1,   // 0x80000106
    MBOX_FORM_EX = 2,      // 0x8000013B (data buffer)
    MBOX_FORM_V2 = 3,      // 0x80000143 regular
    MBOX_FORM_V2EXT = 4,   // 0x80000143 with an extension
    MBOX_FORM_DIRECT = 5,  // called in-process (test double of the library)
};

struct MboxCall {
    uint32_t mb[64];       // mailbox words, in and out
    uint32_t mbWords;      // 32 or 64 as sent
    uint8_t* data;         // data area (data buffer or extension), in and out; may be null
    uint32_t dataLen;      // its size in bytes
    uint32_t dataOut;      // bytes of data the adapter returned
    MboxForm form;
};

inline uint32_t mbox_cmd(const MboxCall& c) { return (c.mb[0] >> 8) & 0xFF; }
inline void mbox_set_status(MboxCall& c, uint32_t st) {
    c.mb[0] = (c.mb[0] & 0xFFFF) | (st << 16);
}

// A mailbox handler answers one command on one function. It returns true when it
// changed the adapter's state.
typedef bool (*MboxHandler)(Adapter& a, Function& f, MboxCall& c);
struct MboxHandlerEntry {
    uint8_t cmd;
    const char* name;
    MboxHandler fn;
};
// The mailbox command table (mbox_table.cpp); families add their rows there.
extern const MboxHandlerEntry kMboxHandlers[];
extern const size_t kMboxHandlerCount;

// Runs one mailbox against the function behind ref, under the adapter's lock.
// Unknown commands complete with a non-zero status. Returns SIM_OK, or a core
// error when the state cannot be read.
int engine_run(FuncRef ref, MboxCall& c);

} // namespace hbasim
