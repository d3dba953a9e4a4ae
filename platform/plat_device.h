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
