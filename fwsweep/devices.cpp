// Device-ID groups and FC firmware type codes (data).
//
// How to add a device: a converged or Brevin function goes into kGroups with
// its family; an FC HBA gets a row in kFcTypes (a row with subsystem IDs or a
// multi-channel value only matches those; put it before the device's plain row).
#include "fwsweep/devices.h"

#include "common/bounded_text.h"
#include "fwsweep/output.h"
#include "fwsweep/sweep_types.h"

namespace {

struct GroupRow {
    uint16_t deviceId;
    SweepFamily family;
};

const GroupRow kGroups[] = {
    {0x0214, SWEEP_FAMILY_CV2},        {0x0704, SWEEP_FAMILY_CV2},
    {0x0212, SWEEP_FAMILY_CV2},        {0x0702, SWEEP_FAMILY_CV2},
    {0x0211, SWEEP_FAMILY_CV2},        {0x0700, SWEEP_FAMILY_CV2},
    {0x0714, SWEEP_FAMILY_CV3},        {0x071C, SWEEP_FAMILY_CV3},
    {0x0712, SWEEP_FAMILY_CV3},        {0x0713, SWEEP_FAMILY_CV3},
    {0x071A, SWEEP_FAMILY_CV3},        {0x071B, SWEEP_FAMILY_CV3},
    {0x0710, SWEEP_FAMILY_CV3},        {0x0718, SWEEP_FAMILY_CV3},
    {0x0724, SWEEP_FAMILY_TARNEL},     {0x072C, SWEEP_FAMILY_TARNEL},
    {0x0722, SWEEP_FAMILY_TARNEL},     {0x0723, SWEEP_FAMILY_TARNEL},
    {0x072A, SWEEP_FAMILY_TARNEL},     {0x072B, SWEEP_FAMILY_TARNEL},
    {0x0720, SWEEP_FAMILY_TARNEL},     {0x0728, SWEEP_FAMILY_TARNEL},
    {0xE260, SWEEP_FAMILY_BREVIN_CNA}, {0xE268, SWEEP_FAMILY_BREVIN_CNA},
    {0xE220, SWEEP_FAMILY_BREVIN_CNA}, {0xE228, SWEEP_FAMILY_BREVIN_CNA},
    {0xE200, SWEEP_FAMILY_BREVIN_FC},  {0xE208, SWEEP_FAMILY_BREVIN_FC},
    {0xE300, SWEEP_FAMILY_BREVIN_FC},
};

constexpr int kAny = -1;

struct FcTypeRow {
    uint16_t deviceId;
    int subVendorId; // kAny or the value to match
    int subDeviceId;
    int multiChannel;
    const char* code;
};

// Twenty FC device IDs; four of them (0xF100, 0xF015, 0xFC40, 0x338F) have a
// code that depends on the subsystem IDs or the multi-channel flag.
const FcTypeRow kFcTypes[] = {
    {0xF100, 0x103C, 0x1719, kAny, "HF"}, {0xF100, kAny, kAny, 1, "ZD"},
    {0xF100, kAny, kAny, kAny, "ZF"},     {0xF015, kAny, kAny, 1, "MD"},
    {0xF015, kAny, kAny, kAny, "MS"},     {0xFC40, 0x103C, 0x338F, kAny, "HS"},
    {0xFC40, kAny, kAny, kAny, "SF"},     {0x338F, kAny, kAny, 1, "HD"},
    {0x338F, kAny, kAny, kAny, "HP"},     {0xF011, kAny, kAny, kAny, "BF"},
    {0xF104, kAny, kAny, kAny, "WF"},     {0xF10A, kAny, kAny, kAny, "WS"},
    {0xF10B, kAny, kAny, kAny, "WD"},     {0xF111, kAny, kAny, kAny, "YF"},
    {0xF112, kAny, kAny, kAny, "YS"},     {0xF180, kAny, kAny, kAny, "US"},
    {0xF095, kAny, kAny, kAny, "LF"},     {0xF098, kAny, kAny, kAny, "LS"},
    {0xF0A5, kAny, kAny, kAny, "TF"},     {0xF0D5, kAny, kAny, kAny, "NF"},
    {0xF0E5, kAny, kAny, kAny, "PF"},     {0xF0F5, kAny, kAny, kAny, "DF"},
    {0xFA00, kAny, kAny, kAny, "TS"},     {0xF0A1, kAny, kAny, kAny, "TD"},
    {0xF0E1, kAny, kAny, kAny, "PD"},
};

bool matches(int want, uint32_t have) {
    return want == kAny || static_cast<uint32_t>(want) == have;
}

} // namespace

SweepFamily sweepFamilyOf(uint32_t deviceId) {
    for (const GroupRow& r : kGroups)
        if (r.deviceId == deviceId) return r.family;
    return SWEEP_FAMILY_FC;
}

bool isConvergedDevice(uint32_t deviceId) {
    SweepFamily f = sweepFamilyOf(deviceId);
    return f == SWEEP_FAMILY_CV2 || f == SWEEP_FAMILY_CV3 || f == SWEEP_FAMILY_TARNEL;
}

bool isBrevinDevice(uint32_t deviceId) {
    SweepFamily f = sweepFamilyOf(deviceId);
    return f == SWEEP_FAMILY_BREVIN_CNA || f == SWEEP_FAMILY_BREVIN_FC;
}

bool isBrevinFcDevice(uint32_t deviceId) {
    return sweepFamilyOf(deviceId) == SWEEP_FAMILY_BREVIN_FC;
}

bool isLegacyFcDevice(uint32_t deviceId) {
    return sweepFamilyOf(deviceId) == SWEEP_FAMILY_FC;
}

bool isIloConverged(uint32_t deviceId, uint32_t subVendorId, uint32_t subDeviceId) {
    return sweepFamilyOf(deviceId) == SWEEP_FAMILY_CV2 && subVendorId == 0x103C &&
           (subDeviceId == 0x1747 || subDeviceId == 0x1749 || subDeviceId == 0x174B);
}

int adapterImageType(uint32_t deviceId) {
    switch (sweepFamilyOf(deviceId)) {
    case SWEEP_FAMILY_CV2:
        return IMAGE_CV2;
    case SWEEP_FAMILY_CV3:
        return IMAGE_CV3;
    case SWEEP_FAMILY_TARNEL:
        return IMAGE_CV4;
    case SWEEP_FAMILY_BREVIN_CNA:
    case SWEEP_FAMILY_BREVIN_FC:
        return deviceId == 0xE300 ? IMAGE_GRP_G6 : IMAGE_GRP;
    default:
        return IMAGE_FC;
    }
}

int getLegacyFwType(char* out, size_t size, uint32_t deviceId, uint32_t vendorId,
                    uint32_t subDeviceId, uint32_t subVendorId, int multiChannel) {
    (void)vendorId;
    dbgTrace("\n[getLegacyFwType]\n");
    if (out == nullptr) {
        dbgTrace("Invalid arguments! rm_status %d\n", LEGACY_TYPE_BAD_ARGS);
        return LEGACY_TYPE_BAD_ARGS;
    }
    if (size < 8) {
        dbgTrace("Insufficient buffer! rm_status %d\n", LEGACY_TYPE_BAD_ARGS);
        return LEGACY_TYPE_BAD_ARGS;
    }
    copyBounded(out, size, "");
    if (!isLegacyFcDevice(deviceId)) {
        dbgTrace("%-20s : %s\n", "getLegacyFwType", out);
        return LEGACY_TYPE_KNOWN;
    }
    for (const FcTypeRow& r : kFcTypes) {
        if (r.deviceId != deviceId || !matches(r.subVendorId, subVendorId) ||
            !matches(r.subDeviceId, subDeviceId) ||
            !matches(r.multiChannel, static_cast<uint32_t>(multiChannel)))
            continue;
        copyBounded(out, size, r.code);
        dbgTrace("%-20s : %s\n", "getLegacyFwType", out);
        return LEGACY_TYPE_KNOWN;
    }
    dbgTrace("%-20s : %s\n", "getLegacyFwType", "N/A");
    return LEGACY_TYPE_NONE;
}
