// Image family code: hardware type plus PCI identifiers, as data.
#include "hbaset/fcmaint/image_family.h"

#include <cstddef>

#include "hbaset/cli/adapter_table.h"
#include "interfaces/mbox_codes.h"
#include "hbaset/fcmaint/nvparms.h"

namespace {

// Device IDs that give themselves as their family code, per hardware type;
// other devices of the type get the fallback.
struct FamilyByDevice {
    uint16_t hwType;
    uint16_t devices[8];
    uint32_t fallback;
};

const FamilyByDevice kSelfCodes[] = {
    {868, {0xFC10, 0xF0D5, 0xF0D1, 0xFD11, 0xFD12}, 0xFD00},
    {1296, {0xFC30, 0xF0F5, 0xF0F6, 0xF0F7}, IMAGE_FAMILY_NONE},
    {1399, {0xFE04, 0xFE05, 0xFC20, 0xF0E5, 0xF0E1, 0xFE11, 0xFE12}, 0xFE00},
    {4100, {0xF104, 0xF111, 0xF112, 0xFC40, 0xF015, 0xF011, 0xF180, 0xE131}, 0xF100},
};

// One device mapped to a code, else the fallback.
struct FamilyByOneDevice {
    uint16_t hwType;
    uint16_t device;
    uint32_t code;
    uint32_t fallback;
};

const FamilyByOneDevice kOneDeviceCodes[] = {
    {32, 0, 0xF700, 0xF700},      {33, 0xF085, 0xF085, 0xF800}, {37, 0xF085, 0xF085, 0xF802},
    {38, 0xF095, 0xF095, 0xF900}, {40, 0xF095, 0xF095, 0xF900}, {6860, 0, 0x1AE5, 0x1AE5},
    {18488, 0, 0xFB00, 0xFB00},
};

struct SubsystemKey {
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
};

// Device 0xF100 boards that carry the 0xF10B family.
const SubsystemKey kF10BBoards[] = {
    {0x1F3C, 0xF124}, {0x1F3C, 0xF125}, {0x1F3C, 0xF126}, {0x1F3C, 0xF127}, {0x1F3C, 0xF12A},
    {0x1F3C, 0xF12B}, {0x1F3C, 0xF12C}, {0x1F3C, 0xF130}, {0x1F3C, 0xF131}, {0x1F3C, 0xF134},
    {0x1F3C, 0xF135}, {0x1F3C, 0xF136}, {0x1F3C, 0xF137}, {0x1F3C, 0xF13A}, {0x1F3C, 0xF13B},
    {0x1F3C, 0xF13C}, {0x103C, 0x1719}, {0x1734, 0x113C}, {0x1054, 0x3053},
};

constexpr uint32_t kMemoryFamilyMark = 0x7FFFC;

const uint16_t kZorathFamilies[] = {0xF100, 0xF104, 0xF10B, 0xF111, 0xF112, 0x338F};
const uint16_t kNoExpansionRom[] = {0x1AE5, 0xF085, 0xF095, 0xF700, 0xF800, 0xF802, 0xF900, 0xFC30};

template <size_t N> bool contains(const uint16_t (&list)[N], uint32_t v) {
    for (uint16_t x : list)
        if (x != 0 && x == v) return true;
    return false;
}

uint32_t code4100F100(uint32_t subsystemVendorId, uint32_t subsystemId) {
    for (const SubsystemKey& k : kF10BBoards)
        if (k.subsystemVendorId == subsystemVendorId && k.subsystemId == subsystemId) return 0xF10B;
    if (subsystemVendorId == 0x103C && subsystemId == 0x338F) return 0x338F;
    return 0xF100;
}

} // namespace

uint32_t imageFamilyFromIds(uint16_t hwType, uint32_t deviceId, uint32_t subsystemVendorId,
                            uint32_t subsystemId, bool memoryReadOk, uint32_t memoryWord0) {
    switch (hwType) {
    case 18:
        if (deviceId == 0xF0A1 || deviceId == 0xFC01) return 0xF0A1;
        if (deviceId == 0xF0A5 || deviceId == 0xFC05) return 0xF0A5;
        return 0xFA00;
    case 56:
        if (deviceId == 0xF098) return 0xF098;
        return memoryReadOk && memoryWord0 == kMemoryFamilyMark ? 0xF98D : 0xF980;
    default:
        break;
    }
    for (const FamilyByOneDevice& r : kOneDeviceCodes) {
        if (r.hwType != hwType) continue;
        return r.device != 0 && r.device == deviceId ? r.code : r.fallback;
    }
    for (const FamilyByDevice& r : kSelfCodes) {
        if (r.hwType != hwType) continue;
        if (contains(r.devices, deviceId)) return deviceId;
        if (hwType == 4100 && deviceId == 0xF100)
            return code4100F100(subsystemVendorId, subsystemId);
        return r.fallback;
    }
    return IMAGE_FAMILY_NONE;
}

uint32_t ImageFamilyCode(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return IMAGE_FAMILY_NONE;
    bool readOk = false;
    uint32_t words[2] = {0, 0};
    if (r->hwType == 56 && r->deviceId != 0xF098) {
        uint32_t n = 2;
        readOk = DumpMemory(i, words, MEM_FAMILY_WORDS, &n) == 0 && n >= 1;
    }
    return imageFamilyFromIds(r->hwType, r->deviceId, r->subsystemVendorId, r->subsystemId, readOk,
                              words[0]);
}

bool isSecureFamily(uint32_t family) {
    return family == 0xF180;
}

bool isZorathFamily(uint32_t family) {
    return contains(kZorathFamilies, family);
}

bool familyHasExpansionRom(uint32_t family) {
    return !contains(kNoExpansionRom, family);
}
