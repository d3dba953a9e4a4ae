// Image family code of an adapter: a code derived from the hardware type and
// the PCI identifiers that the image compatibility checks and the VPD probe
// key on.
#pragma once
#include <cstdint>

// No family: the code of hardware types without one.
constexpr uint32_t IMAGE_FAMILY_NONE = 0xFFF20000u;

// Family code from the identifiers alone. memoryWord0 is consulted only for
// hwType 56 on devices other than 0xF098: memoryReadOk tells whether the two
// words at adapter address 0x788 could be read, memoryWord0 is the first.
uint32_t imageFamilyFromIds(uint16_t hwType, uint32_t deviceId, uint32_t subsystemVendorId,
                            uint32_t subsystemId, bool memoryReadOk, uint32_t memoryWord0);

// Family code of FC table entry i (reads adapter memory when its rule needs).
uint32_t ImageFamilyCode(int i);

// Family groups with behaviour of their own.
bool isSecureFamily(uint32_t family);        // 0xF180
bool isZorathFamily(uint32_t family);        // the Zorath group (without 0xF180)
bool familyHasExpansionRom(uint32_t family); // wakeup parameters have an expansion ROM slot
