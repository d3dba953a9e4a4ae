// Device I/O: open a driver device by path, send control requests, close.
// The device calls are served by a driver backend loaded at run time (see
// plat_backend.h); a real port replaces that backend and nothing else.
#pragma once
#include <cstdint>

typedef struct PlatDevice* PlatHandle; // null = no device

// Error codes reported by the device calls (plat_last_error()).
enum : uint32_t {
    PLAT_ERR_NONE = 0,
    PLAT_ERR_NOT_FOUND = 2, // no such device
    PLAT_ERR_ACCESS = 5,    // access denied
    PLAT_ERR_INVALID_HANDLE = 6,
    PLAT_ERR_NO_MEMORY = 8,
    PLAT_ERR_BAD_LENGTH = 24,  // buffer sizes do not fit the request
    PLAT_ERR_GEN_FAILURE = 31, // the device failed the request
    PLAT_ERR_INVALID_PARAM = 87,
    PLAT_ERR_NO_BACKEND = 1114, // no driver backend could be loaded
    PLAT_ERR_IO_PENDING = 997,  // accepted, completes later
    PLAT_ERR_CANCELLED = 995,   // a pending request was cancelled
};

// Opens the device named by path ("\\.\Scsi3:", "\\.\TsvRma3"). Returns null and
// sets the last error when the device does not exist.
PlatHandle plat_dev_open(const char* path);

// Sends a control request. in/out may be the same buffer (requests answered in
// place). Returns true on success; on failure the last error is set.
bool plat_dev_control(PlatHandle h, uint32_t code, void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* returned);

void plat_dev_close(PlatHandle h);

// Last error of the calling thread's most recent failing device call.
uint32_t plat_last_error();
void plat_set_last_error(uint32_t err);

// ---- overlapped requests --------------------------------------------------
// A request that the driver may complete later (a receive that waits for
// traffic). It is owned by the thread that submitted it until a wait reports
// its completion; other threads end it through the driver's own requests.
typedef struct PlatPendingRec* PlatPending;

// Sends a request that may stay pending. Returns PLAT_ERR_NONE when it
// completed at once (*returned set, *op null), PLAT_ERR_IO_PENDING when it is
// pending (*op set; the buffers stay in use until it completes), or the error
// it failed with (also the last error). A backend without overlapped requests
// answers every request at once.
uint32_t plat_dev_submit(PlatHandle h, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* returned, PlatPending* op);
// Waits at most timeout_ms (scaled like plat_sleep_ms; PLAT_WAIT_INFINITE for
// no limit). PLAT_ERR_IO_PENDING: still pending, op still valid. Anything else:
// completed and op freed; PLAT_ERR_NONE with *returned set, or the error.
uint32_t plat_dev_wait(PlatPending op, uint32_t timeout_ms, uint32_t* returned);
// Asks a pending request to complete (with PLAT_ERR_CANCELLED unless it
// completes otherwise first). Owner only, between waits.
void plat_dev_cancel(PlatPending op);
// Overlapped requests in flight in this process (submitted, not yet reported
// complete by a wait) and devices open in it: tests check that they come back
// to their baseline.
uint32_t plat_dev_pending_count();
uint32_t plat_dev_open_count();

// ---- 32-bit buffer tokens -------------------------------------------------
// Some control blocks carry a buffer address in 32 bits. The process
// registers the buffer and sends the token; the driver side maps it back.
// 0 is never a token. Tokens stay valid until released.
uint32_t plat_buf_token_get(const void* p, uint32_t size); // 0 when the table is full
const void* plat_buf_token_lookup(uint32_t token, uint32_t* size); // null when unknown
void plat_buf_token_release(uint32_t token);
