// Records of the FC mailbox layer: program identifiers, the wakeup parameters
// (config region 4), the NV parameters and the entries of the flash load list.
// Byte layouts are decoded and encoded explicitly (little-endian words).
#pragma once
#include <cstddef>
#include <cstdint>

// Identifier of a firmware program: word 0 bits 24-31 the program type, bits
// 16-23 the image id, the low 16 bits version and revision.
struct ProgramId {
    uint32_t w0;
    uint32_t w1;
};
static_assert(sizeof(ProgramId) == 8, "ProgramId is two words");
inline uint32_t programType(const ProgramId& p) {
    return p.w0 >> 24;
}
inline bool operator==(const ProgramId& a, const ProgramId& b) {
    return a.w0 == b.w0 && a.w1 == b.w1;
}

// Program types with a slot in the wakeup parameters.
constexpr uint32_t PROGRAM_TYPE_INIT = 2;
constexpr uint32_t PROGRAM_TYPE_BOOT = 3;
constexpr uint32_t PROGRAM_TYPE_SLI1 = 6;
constexpr uint32_t PROGRAM_TYPE_SLI2 = 7;
constexpr uint32_t PROGRAM_TYPE_SLI3 = 11;
constexpr uint32_t PROGRAM_TYPE_SLI4 = 14;

// Config region 4: the programs the adapter starts (60 bytes, 15 words).
struct WakeupParms {
    ProgramId init;     // bytes 0-7, type 2
    uint32_t control;   // bytes 8-11; the jumper command changes bits 0-4 only
    ProgramId bootBios; // bytes 12-19, type 3
    ProgramId sli1;     // bytes 20-27, type 6
    ProgramId sli2;     // bytes 28-35, type 7
    ProgramId sli3;     // bytes 36-43, type 11
    ProgramId sli4;     // bytes 44-51, type 14
    ProgramId expRom;   // bytes 52-59, expansion ROM image
};
constexpr size_t WAKEUP_PARMS_SIZE = 60;
static_assert(sizeof(WakeupParms) == WAKEUP_PARMS_SIZE, "WakeupParms layout");
void decodeWakeupParms(const uint8_t in[WAKEUP_PARMS_SIZE], WakeupParms* out);
void encodeWakeupParms(const WakeupParms& in, uint8_t out[WAKEUP_PARMS_SIZE]);
// The slot of a program type, or null when the type has none.
ProgramId* wakeupSlot(WakeupParms* parms, uint32_t programType);

// NV parameters as Read_NVPARMS leaves them in mailbox words 5-9 (host order).
struct NvParms {
    uint32_t wwpn[2];
    uint32_t wwnn[2];
    uint32_t flags; // byte 0 of this word is region 0 byte 16, the default AL_PA
};
constexpr size_t NV_PARMS_SIZE = 20;
static_assert(sizeof(NvParms) == NV_PARMS_SIZE, "NvParms layout");

// One entry of the flash load list (six words at its address) and the version
// text of its program (at most 24 characters, always terminated).
constexpr size_t LOAD_LIST_VERSION_LEN = 24;
struct LoadListEntry {
    uint32_t address;
    uint32_t words[6]; // next, -, flash address, -, ProgramId
    char version[LOAD_LIST_VERSION_LEN + 1];
};
inline ProgramId loadEntryProgram(const LoadListEntry& e) {
    return {e.words[4], e.words[5]};
}
inline bool loadEntryFree(const LoadListEntry& e) {
    return e.words[4] == 0 || e.words[4] == 0xFFFFFFFFu;
}
