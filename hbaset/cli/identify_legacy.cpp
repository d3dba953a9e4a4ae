// Model names of FC adapters that belong to no device family, decided by the
// hardware type from the revision words, then by device ID, subsystem pair,
// dual-channel flag or a dual-channel partner. Within a hardware-type group
// the first matching row wins and the group's last row (device 0) is its
// default; groups 18 and 1296 have no default row, so an unlisted device
// keeps the model name it had.
#include <cstddef>

#include "hbaset/cli/identify.h"

namespace {

constexpr int8_t kAny = -1;

struct LegacyRow {
    uint16_t hwType;
    uint16_t deviceId;          // 0: any
    uint16_t subsystemVendorId; // 0: any
    uint16_t subsystemId;       // 0: any
    int8_t dualChannel;         // -1: either
    int8_t partner;             // -1: either
    const char* name;
};

const LegacyRow kLegacyRows[] = {
    // hwType 18
    {18, 0xF0A1, 0, 0, kAny, kAny, "TGC7001"},
    {18, 0xFC01, 0, 0, kAny, kAny, "TGC7001B"},
    {18, 0xF0A5, 0, 0, kAny, kAny, "TGC7005"},
    {18, 0xFC05, 0, 0, kAny, kAny, "TGC7005B"},
    {18, 0xFA00, 0, 0, 1, kAny, "TGC7002"},
    {18, 0xFA00, 0, 0, kAny, kAny, "TGC7000"},
    // hwType 32
    {32, 0, 0, 0, kAny, kAny, "TGC1000"},
    // hwType 33
    {33, 0xF085, 0, 0, kAny, kAny, "TGC2085"},
    {33, 0, 0, 0, 1, kAny, "TGC2002"},
    {33, 0, 0, 0, kAny, kAny, "TGC2000"},
    // hwType 37
    {37, 0xF085, 0, 0, kAny, kAny, "TGC2185"},
    {37, 0, 0, 0, kAny, kAny, "TGC2100"},
    // hwType 38 and 40
    {38, 0xF095, 0, 0, kAny, kAny, "TGC3095"},
    {38, 0, 0, 0, kAny, kAny, "TGC3000"},
    {40, 0xF095, 0, 0, kAny, kAny, "TGC3195"},
    {40, 0, 0, 0, kAny, kAny, "TGC3100"},
    // hwType 56
    {56, 0xF098, 0, 0, kAny, kAny, "TGC5098"},
    {56, 0, 0, 0, kAny, 1, "TGC5002"},
    {56, 0, 0, 0, kAny, kAny, "TGC5000"},
    // hwType 868
    {868, 0xFC10, 0, 0, kAny, kAny, "TGC8010"},
    {868, 0xF0D5, 0, 0, kAny, kAny, "TGC8005"},
    {868, 0xF0D1, 0, 0, kAny, kAny, "TGC8001"},
    {868, 0xFD11, 0, 0, kAny, kAny, "TGC8011"},
    {868, 0xFD12, 0, 0, kAny, kAny, "TGC8012"},
    {868, 0, 0x103C, 0x1702, kAny, kAny, "TGC8000H"},
    {868, 0, 0, 0, 1, kAny, "TGC8002"},
    {868, 0, 0, 0, kAny, kAny, "TGC8000"},
    // hwType 1296
    {1296, 0xFC30, 0, 0, kAny, kAny, "TGC9030"},
    {1296, 0xF0F5, 0, 0, kAny, kAny, "TGC9005"},
    {1296, 0xF0F6, 0, 0, kAny, kAny, "TGC9006"},
    {1296, 0xF0F7, 0, 0, kAny, kAny, "TGC9007"},
    // hwType 1399
    {1399, 0xFE05, 0, 0, kAny, kAny, "TGC1405"},
    {1399, 0xFC20, 0, 0, kAny, kAny, "TGC1420"},
    {1399, 0xF0E5, 0, 0, kAny, kAny, "TGC1415"},
    {1399, 0xF0E1, 0, 0, kAny, kAny, "TGC1411"},
    {1399, 0, 0, 0, kAny, 1, "TGC1402"},
    {1399, 0, 0, 0, kAny, kAny, "TGC1400"},
    // hwType 4100 (devices outside the boot-parameter list)
    {4100, 0xF10A, 0, 0, kAny, kAny, "TGC4110"},
    {4100, 0, 0, 0, 1, kAny, "TGC4102"},
    {4100, 0, 0, 0, kAny, kAny, "TGC4100"},
    // hwType 6860
    {6860, 0, 0, 0, 1, kAny, "TGF6862"},
    {6860, 0, 0, 0, kAny, kAny, "TGF6860"},
    // hwType 18488
    {18488, 0, 0, 0, kAny, kAny, "TGC1848"},
};

bool keyMatches(uint16_t key, uint32_t value) {
    return key == 0 || key == value;
}

bool flagMatches(int8_t key, bool value) {
    return key == kAny || (key != 0) == value;
}

} // namespace

const char* legacyModelName(uint16_t hwType, uint32_t deviceId, uint32_t subsystemVendorId,
                            uint32_t subsystemId, bool dualChannel, bool hasPartner) {
    bool known = false;
    for (const LegacyRow& r : kLegacyRows) {
        if (r.hwType != hwType) continue;
        known = true;
        if (keyMatches(r.deviceId, deviceId) &&
            keyMatches(r.subsystemVendorId, subsystemVendorId) &&
            keyMatches(r.subsystemId, subsystemId) && flagMatches(r.dualChannel, dualChannel) &&
            flagMatches(r.partner, hasPartner))
            return r.name;
    }
    return known ? nullptr : "Unknown";
}
