// The remote FCP targets an FC/FCoE function sees, and their LUNs, as the
// function's "targets" fleet key describes them.
//
// Text form (one target per ';', fields separated by blanks):
//
//   WWPN [wwnn=WWN] [did=NUM] [path=NUM] [tid=NUM] [state=ready|notready]
//        [npiv=yes|no] [unmask=yes|no] [blocks=NUM] [bs=NUM] [luns=LIST]
//
//   LIST = ITEM[,ITEM...]   ITEM = N[-M][:masked][:offline]   (LUN numbers 0-255)
//
// Absent fields: wwnn = the WWPN with bit 3 of its first byte set; did =
// 0x020000 + position + 1; path 0; tid = position; state ready; npiv yes (every
// virtual port of the function sees the target too); unmask no (no
// target-level unmask); blocks 0x200000 and bs 512 (each LUN's capacity);
// luns none. A LUN is unmasked unless ":masked"; ready unless ":offline".
// An empty text means no targets.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hbasim {

struct SimLun {
    uint16_t lun = 0;
    bool masked = false;  // LUN-level mask (not unmasked)
    bool offline = false; // the LUN does not report ready
};

struct SimTarget {
    uint8_t wwpn[8] = {};
    uint8_t wwnn[8] = {};
    uint32_t d_id = 0;
    uint32_t path = 0; // SCSI path (bus) identifier on the physical port
    uint32_t tid = 0;  // SCSI target identifier
    bool ready = true;
    bool npiv = true;    // virtual ports see it too
    bool unmask = false; // target-level unmask
    uint64_t blocks = 0x200000;
    uint32_t blockSize = 512;
    std::vector<SimLun> luns; // ascending, unique
    const SimLun* find_lun(uint32_t lun) const;
};

// Bounds of one function's description.
const size_t kMaxSimTargets = 1024;
const uint32_t kMaxSimLun = 255;

// Parses the text form; false with *why set when it does not parse (nothing
// is guaranteed in *out then).
bool parse_targets(const std::string& text, std::vector<SimTarget>* out, std::string* why);
// The canonical text form of targets (parse_targets gives them back).
std::string format_targets(const std::vector<SimTarget>& targets);

} // namespace hbasim
