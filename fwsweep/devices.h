// fwsweep's own classification of adapter functions by PCI device ID, and the
// two-letter firmware type codes of FC adapters.
#pragma once
#include <cstddef>
#include <cstdint>

enum SweepFamily : int {
    SWEEP_FAMILY_FC = 0, // any device ID in no group below
    SWEEP_FAMILY_CV2,
    SWEEP_FAMILY_CV3,
    SWEEP_FAMILY_TARNEL,
    SWEEP_FAMILY_BREVIN_CNA,
    SWEEP_FAMILY_BREVIN_FC,
};

SweepFamily sweepFamilyOf(uint32_t deviceId);
// CV2, CV3 and Tarnel functions.
bool isConvergedDevice(uint32_t deviceId);
// Brevin converged and Brevin FC functions.
bool isBrevinDevice(uint32_t deviceId);
bool isBrevinFcDevice(uint32_t deviceId);
// An FC function that is neither converged nor Brevin.
bool isLegacyFcDevice(uint32_t deviceId);
// A CV2 function whose subsystem IDs mark it as a management-controller one.
bool isIloConverged(uint32_t deviceId, uint32_t subVendorId, uint32_t subDeviceId);
// Image type of an adapter: CV2 2, CV3 3, Tarnel 4, Brevin 32 (64 for 0xE300), FC 1.
int adapterImageType(uint32_t deviceId);

// Result of getLegacyFwType.
enum : int { LEGACY_TYPE_KNOWN = 0, LEGACY_TYPE_NONE = 1, LEGACY_TYPE_BAD_ARGS = 4 };
// The firmware type code of a device ID ("" for converged and Brevin devices).
int getLegacyFwType(char* out, size_t size, uint32_t deviceId, uint32_t vendorId,
                    uint32_t subDeviceId, uint32_t subVendorId, int multiChannel);
