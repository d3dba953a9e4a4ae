// WWN management: the factory IEEE address (region 16, 32 on SLI-4), the
// non-volatile WWPN and WWNN (the NV parameters, words 5-8 of MBX_READ_NV) and
// the volatile names that override them until cleared or a reboot.
//
// WWNs are handled as two host words, word 0 holding the first four bytes
// (0x10000000 for 10:00:00:00). Read_NVPARMS and Write_NVPARMS turn the
// SLI-4 wire-order words into host words and back.
#pragma once
#include <cstdint>

// Exit codes of the WWN operations.
enum : int32_t {
    WWN_FILE_OPEN = 4,
    WWN_RESET_FAILED = 14,
    WWN_INPUT_LENGTH = 27, // also: no line left on standard input
    WWN_NO_FACTORY = 30,
    WWN_FILE_READ = 31,
    WWN_FILE_SHORT = 32,
    WWN_READ_NV = 33,
    WWN_WRITE_NV = 34,
    WWN_WRITE_FAILED = 43,
    WWN_NO_ADAPTER = 45,
    WWN_RESTART_FAILED = 47,
    WWN_WRITE_VOLATILE = 48,
    WWN_NON_HEX = 57,
    WWN_INVALID = 58,
    WWN_MISSING = 84,
    WWN_NOT_PREPARED = 200,
};

// The names a command asks for. A pair whose word 0 is zero keeps the
// adapter's current value, unless the command named that pair itself (given):
// then the zero pair is checked like any other and refused as invalid.
struct PendingWwn {
    uint32_t wwpn[2];
    uint32_t wwnn[2];
    bool wwpnGiven;
    bool wwnnGiven;
};
extern PendingWwn g_pendingWwn;

// Valid: the first byte's high nibble is 2, 3 or 5, or it is 1 with the rest
// of the first byte and the whole second byte zero (10:00:...).
bool wwnValid(uint32_t word0);
// WWNN word 0 of a WWPN: its top 4 bits replaced by 2.
inline uint32_t defaultWwnnWord0(uint32_t wwpnWord0) {
    return (wwpnWord0 & 0x0FFFFFFFu) | 0x20000000u;
}

// Operations (adapter 0-based). The SLI-4 forms are chosen inside.
int32_t changeWWN(int adapter, bool reset);
int32_t changeVWWN(int adapter);
int32_t clearVolatileWWN(int adapter, bool reset);
int32_t writeOneWWN(int adapter, bool reset);
int32_t ReadAndSaveWWN(int adapter, const char* file);
int32_t RestoreWWN(int adapter, const char* file);
int32_t restoreOriginalWWN(int adapter, bool reset);
// Readies a classic adapter for a factory write: diagnostic mode, restart
// without configuration, wait for the ready bit. 0, 47 or 200.
int32_t ResetAdapter_NoConfigPort(int adapter);
