// Boot parameter records: reading them from the boot regions, writing them
// back, printing them (getbootparams) and resetting them (setdefbootparams).
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/boot_records.h"

// Statuses of the boot parameter operations beyond the region statuses.
constexpr uint32_t BOOT_PARAMS_BAD_KIND = 50;   // kind text not recognised
constexpr uint32_t BOOT_PARAMS_NO_FACTORY = 30; // region 0 would be rebuilt from a zero WWN

// Fill a record from the regions. Each clears the record and sets the slot
// maxima first. Returns 0 or the first region read error other than 217 (a
// region the adapter does not know reads as absent: valid stays 0).
uint32_t readBootParamsX86(int adapter, BootParamsX86* out);
uint32_t readBootParamsEfi(int adapter, BootParamsEfi* out);
uint32_t readBootParamsOb(int adapter, BootParamsOb* out);

// Write a record. x86 and EFI first store DefaultAlpa in region 0 byte 16
// (rebuilding region 0 from the factory address when the adapter does not
// know it; a zero factory address refuses with 30 and writes nothing).
// With init set (x86 and EFI) the regions are reconstructed and written with
// only their signatures, and rec is not used. Returns 0 or the first error.
uint32_t CLU_SetBootParamsX86(int adapter, bool init, const BootParamsX86* rec);
uint32_t CLU_SetBootParamsEfi(int adapter, bool init, const BootParamsEfi* rec);
uint32_t CLU_SetBootParamsOb(int adapter, bool init, const BootParamsOb* rec);

// Reads and prints the record of a kind ("x86", "efi", "ob": only those
// leading characters count). Returns 0, 50 or the read error.
uint32_t CLU_GetBootParams(int adapter, const char* kind);
// Kind exactly "x86", "efi", "ob" (clear the parameters, keep the WWPNs) or
// "x86init", "efiinit", "obinit" (rebuild). Returns 0, 50 or the first error.
uint32_t CLU_SetDefaultBootParams(int adapter, const char* kind);
