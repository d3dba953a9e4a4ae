// The FFV of an adapter: an 8-character version text kept by Brevin FC
// functions and Tarnel adapters, read by listffv and written by writeffv.
//
// FC functions (Brevin FC, and FC entries with a Tarnel FCoE device ID) read
// and write it with an embedded MBX_SLI_CONFIG request (subsystem 0x13,
// opCode 2); Tarnel converged functions through NEXA's "FFVName".
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t FFV_TEXT_MAX = 32; // texts travel in 33-byte buffers
constexpr size_t FFV_LENGTH = 8;

// Exactly 8 characters; split at "." (empty pieces skipped), the first three
// pieces exist and hold decimal digits only (in a script run carriage return
// and line feed count as digits); nothing after the third piece is examined.
bool isValidFfv(const char* text);

// FC FFV read into out (FFV_TEXT_MAX + 1 bytes, terminated). Prints the
// request and response lines. Returns 0, or 81 when the driver takes no
// extended mailboxes, the library call fails, the response lengths disagree
// or the adapter refuses the read.
uint32_t fcReadFfv(int adapter, char* out);
// FC FFV write of the text (at most 32 characters). Returns 0 or 82.
uint32_t fcWriteFfv(int adapter, const char* text);

// Which path reads and writes the FFV of entry i.
enum FfvPath { FFV_PATH_NONE, FFV_PATH_FC, FFV_PATH_CONVERGED };
FfvPath ffvPathOf(int i);
