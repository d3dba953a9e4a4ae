// Internals shared by the LUN masking exports (lun_mask.cpp) and the registry
// mask store of the masking filter (lun_mask_registry.cpp).
#pragma once
#include <cstdint>
#include <vector>

#include "libtgx/tgx_internal.h"

// Statuses of this family beyond kStsOk and kStsFailed.
constexpr uint32_t kStsBadArg = 2;       // bad option, type or kind; Port driver; refusal
constexpr uint32_t kStsRegMissing = 3;   // registry flag absent; driver ReturnCode 1
constexpr uint32_t kStsMapWrite = 4;     // LunMapping not written
constexpr uint32_t kStsUnknown = 5;      // target unknown; registry write failed
constexpr uint32_t kStsMore = 7;         // more entries than the capacity; link down
constexpr uint32_t kStsIdNoMemory = 9;   // identifier lookup and node list: no memory
constexpr uint32_t kStsLunNoMemory = 14; // LUN list and masks: no memory
constexpr uint32_t kStsBadBoard16 = 16;  // rescan, move, registry commands
constexpr uint32_t kStsVpNoMemory = 17;  // exports that address a (virtual) port
constexpr uint32_t kStsScsiIdBadBoard = 3;

// Registry commands.
constexpr uint32_t kCmdReadMap = 1;
constexpr uint32_t kCmdSet = 2;
constexpr uint32_t kCmdHbaFlag = 3;
constexpr uint32_t kCmdTargetFlag = 4;
constexpr uint32_t kCmdMove = 6;

// LUN entries asked of the driver: as many as the list request holds.
constexpr uint32_t kDriverLunCapacity =
    (TGX_SIZE_INQUIRE_LUNLIST - TGX_ENV_HEADER_LENGTH - TGX_LUNLIST_OFF_ENTRIES) /
    TGX_LUNLIST_ENTRY;
static_assert(kDriverLunCapacity == 256, "the LUN list request holds 256 entries");

inline bool lunmask_port_driver(uint32_t board) {
    return tgx_entry(board)->driverType == TGX_DRIVER_PORT;
}

// The first four bytes of a WWN as a big-endian number.
inline uint32_t lunmask_be32(const uint8_t* w) {
    return (uint32_t)w[0] << 24 | (uint32_t)w[1] << 16 | (uint32_t)w[2] << 8 | w[3];
}

// One LUN entry of the driver's list.
struct DriverLun {
    uint16_t osLun;
    uint32_t wordA, wordB;
    uint8_t state, unMask;
};

// The driver's LUN list of a target (capacity entries asked). *count gets the
// driver's count, out the entries the reply holds. Returns kStsOk, kStsUnknown
// (no identifiers), kStsFailed, kStsLunNoMemory or the ReturnCode (1 as 3).
uint32_t lunmask_driver_luns(uint32_t board, const uint8_t* wwpn, uint32_t capacity,
                             uint32_t envSize, std::vector<DriverLun>* out, uint32_t* count);

// Arguments and results of one registry command.
struct RegCmd {
    uint32_t board;
    uint32_t cmd;
    const uint8_t* target;           // target WWPN (commands 1, 2, 4)
    LunListRecord* list;             // command 1
    uint32_t first;                  // command 2: first LUN; command 6: source kind
    uint32_t count;                  // command 2: LUN count; command 6: destination kind
    uint32_t maskFlag;               // command 2
    uint32_t op = 0;                 // command 2: operation code
    uint32_t flag = 0;               // commands 3, 4: out
    NodeListRecord* nodes = nullptr; // command 6
    uint32_t nodeCount = 0;
};

// Runs one registry command of the filter's mask store for c.board.
uint32_t RegisterCmd(RegCmd& c);
