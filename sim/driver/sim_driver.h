// The simulated adapter driver: device paths, the envelope checks, the request
// table and the per-function adapter engine that answers mailbox commands.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/plat_device.h"
#include "sim/core/sim_model.h"

namespace hbasim {

// Little-endian 32-bit fields of envelopes and mailbox areas.
inline uint32_t drv_rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void drv_wr32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// One envelope request as the driver sees it.
struct DrvRequest {
    int port = -1;     // SCSI port number of the device
    bool mgmt = false; // sent on the management device
    uint32_t code = 0; // control code with the VPI bits removed
    uint32_t vpi = 0;
    uint8_t* env = nullptr; // whole buffer, header included
    uint32_t size = 0;      // buffer size
    uint8_t* payload = nullptr;
    uint32_t payloadSize = 0; // size - 28
    uint32_t returnCode = 0;  // written to the header when the handler returns 0
    FuncRef ref;              // the function behind the device
    // Action of an injected fault that the backend leaves to the handler
    // ("stale", "status=N" ...); empty when none. The backend itself applies
    // "fail" (the device call fails) and "rc=N" (ReturnCode N, handler not run).
    std::string fault;
    // Management codes (rows without a signature) are plain device controls:
    // env/size describe the output buffer (payload == env), and the input
    // buffer is passed as is; a handler sets 'returned' (bytes written to out).
    const uint8_t* in = nullptr;
    uint32_t inSize = 0;
    uint32_t returned = 0;
};

// A handler returns 0 (request answered, ReturnCode = r.returnCode) or a
// PLAT_ERR_* code (the device call fails).
typedef uint32_t (*DrvHandler)(DrvRequest& r);

struct DrvHandlerEntry {
    uint32_t code;
    const char* signature; // "ZT4100", "HBAAPI" or null for management codes
    uint32_t minSize;      // smallest buffer the request needs (header included)
    const char* name;      // journal name
    DrvHandler fn;
};
// The request table (request_table.cpp); families add their rows there.
extern const DrvHandlerEntry kDrvHandlers[];
extern const size_t kDrvHandlerCount;

// ---- adapter engine -----------------------------------------------------
enum MboxForm : uint32_t {
    MBOX_FORM_PLAIN = 1,  // 0x80000106
    MBOX_FORM_EX = 2,     // 0x8000013B (data buffer)
    MBOX_FORM_V2 = 3,     // 0x80000143 regular
    MBOX_FORM_V2EXT = 4,  // 0x80000143 with an extension
    MBOX_FORM_DIRECT = 5, // called in-process (test double of the library)
};

struct MboxCall {
    uint32_t mb[64];  // mailbox words, in and out
    uint32_t mbWords; // 32 or 64 as sent
    uint8_t* data;    // data area (data buffer or extension), in and out; may be null
    uint32_t dataLen; // its size in bytes
    uint32_t dataOut; // bytes of data the adapter returned
    MboxForm form;
};

inline uint32_t mbox_cmd(const MboxCall& c) {
    return (c.mb[0] >> 8) & 0xFF;
}
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

// Mailbox statuses of the simulated adapter's own refusals.
enum : uint32_t {
    SIM_MBXST_INVALID_CMD = 0x0001,  // command unknown to the adapter
    SIM_MBXST_BAD_PARAM = 0x0002,    // mailbox words or sizes rejected
    SIM_MBXST_DRIVER_ERROR = 0x0003, // the adapter's state could not be read
};

// ---- helpers for request handlers (engine.cpp) ---------------------------
// Runs fn on a snapshot of the function behind r; false when the state cannot
// be read (the handler then fails the device call).
bool drv_read_function(const DrvRequest& r,
                       const std::function<void(const Adapter&, const Function&)>& fn);
// Read-modify-write of the function behind r; fn returns true when it changed it.
bool drv_update_function(const DrvRequest& r, const std::function<bool(Adapter&, Function&)>& fn);
// The end of a handler that worked on the function's state: a state that could
// not be read or written (stateOk false) fails the device call; otherwise the
// request is answered with ReturnCode rc.
inline uint32_t drv_answer(DrvRequest& r, bool stateOk, uint32_t rc) {
    if (!stateOk) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = rc;
    return 0;
}
// True for the control codes of the mailbox transport forms (req_mailbox.cpp).
bool drv_is_mailbox_form(uint32_t code);
// Writes a completion status into the mailbox a mailbox-form request carries
// (nothing for other requests): a request the driver did not carry out must
// not leave its mailbox looking completed.
void drv_refuse_mailbox(DrvRequest& r, uint32_t status);
// Whether an injected fault can act (fault_rules.cpp): "" when it can, else
// why not. `hbasim fault add` refuses such faults.
std::string fault_refusal(const Fault& f);
// The N of a "status=N" fault action; false for any other action.
bool drv_fault_status(const std::string& action, uint32_t* status);

// ---- link model (mbox_link.cpp) -------------------------------------------
// Loopback until the next reset: internal loopback is up at once, external
// loopback only when the function has a loopback plug ("loopback_plug").
void link_enter_loopback(Function& f, bool external);

// ---- driver events (req_events.cpp) and CT management (req_ct.cpp) --------
// Run-time keys of a function that hbasim inject sets and the driver's polls
// report once: the dump poll reply word, and the temperature event type 1-3.
extern const char kAttrDumpPending[];
extern const char kAttrTempEvent[];
const uint32_t kDumpEventDefaultWord = 0x80000000u;
// Largest CT request a receive block carries.
const size_t kCtRequestMax = 65536;
// A 16-byte CT header of gstype (revision 1, command 0x0101), the request
// hbasim inject ct sends when given no data.
Bytes ct_default_request(uint8_t gstype);
// Queues an unsolicited CT request on the function for the pending receives
// of that gstype (or of the wildcard); returns the tag the driver gave it.
uint32_t ct_inbox_push(Function& f, uint32_t gstype, const Bytes& data);
// Hex digits without separators into n bytes; false on anything else.
bool parse_hex_bytes_plain(const std::string& hex, uint8_t* out, size_t n);
// Responses the driver recorded for the function (the most recent last), and
// the CT requests still waiting for a receive.
struct CtResponse {
    uint32_t tag;
    uint32_t gstype;
    Bytes data;
};
std::vector<CtResponse> ct_responses(const Function& f);
size_t ct_inbox_size(const Function& f);
// The receives this process has posted and not yet seen completed, oldest
// first, one "port gstype block done|pending" per line (for test reports).
std::string ct_pending_summary();
// Overlapped receive (0x800001C0) of the backend's submit, wait and cancel:
// the post returns PLAT_ERR_IO_PENDING with *op set, or an error.
uint32_t ct_post_receive(const DrvRequest& r, void** op);
uint32_t ct_wait(void* op, uint32_t timeout_ms, uint32_t* returned);
void ct_cancel(void* op);

} // namespace hbasim
