// Configuration regions in adapter flash: chunked and single-request reads,
// writes with the re-initialise rule, the boot-region readers and writers, the
// region 0 (NV parameters) writer and the reconstruction of rejected regions.
#pragma once
#include <cstdint>

constexpr uint32_t REGION_NV = 0;
constexpr uint32_t REGION_WAKEUP = 4;
constexpr uint32_t REGION_BOOT = 8;
constexpr uint32_t REGION_ALT_BOOT = 9;
constexpr uint32_t REGION_EFI = 10;
constexpr uint32_t REGION_VPD = 14;
constexpr uint32_t REGION_IEEE = 16;
constexpr uint32_t REGION_IEEE_SLI4 = 32;

constexpr uint32_t REGION0_SIZE = 20;
constexpr uint32_t REGION0_REBUILT_SIZE = 60;
constexpr uint32_t REGION4_SIZE = 60;
constexpr uint32_t REGION8_SIZE = 60;
constexpr uint32_t REGION8_OPENBOOT_SIZE = 40;
constexpr uint32_t REGION9_SIZE = 88;
constexpr uint32_t REGION10_SIZE = 256;
constexpr uint32_t REGION_EX_BUFFER = 1000; // data buffer of the single-request forms
// DumpConfigRegion on an SLI-4 entry: the library's "region not applicable"
// status (the driver keeps no such region; nothing failed).
constexpr uint32_t REGION_NOT_APPLICABLE_SLI4 = 3;

// Reads up to *length bytes of a region from byteOffset into buffer; *length
// receives the bytes read. Classic adapters read in mailbox-sized pieces (a
// misaligned offset asks for the covering words and copies from inside them),
// SLI-4 adapters in one dump request (region 16 is sent as 32). A region that
// ends early gives the shorter total without an error. Returns 0 or the
// failing request's status.
uint32_t DumpConfigRegion(int adapter, uint32_t region, uint32_t byteOffset, uint32_t* length,
                          uint8_t* buffer);

// One request of up to 1000 bytes (above: 1). Returns 0, 217 (the adapter does
// not know the region), 2 (region answered 0xE0) or 1; *outLength receives the
// bytes copied, never more than length.
uint32_t DumpConfigRegionEx(int adapter, uint32_t region, uint32_t length, uint32_t* outLength,
                            uint8_t* buffer);

// Region readers of the boot code (through DumpConfigRegionEx). out is cleared
// first; bytesRead (may be null) receives the bytes read. Region 0 of a Brevin
// FC function is read with MBX_READ_NV; regions 0 and 4 of NEXA-managed
// adapters are not read (0). The OpenBoot reader reverses each of its words.
uint32_t ReadConfigRegion0(int adapter, uint8_t out[REGION0_SIZE], uint32_t* bytesRead);
uint32_t ReadConfigRegion4(int adapter, uint8_t out[REGION4_SIZE], uint32_t* bytesRead);
uint32_t ReadConfigRegion8(int adapter, uint8_t out[REGION8_SIZE], uint32_t* bytesRead);
uint32_t ReadConfigRegion8OpenBoot(int adapter, uint8_t out[REGION8_OPENBOOT_SIZE],
                                   uint32_t* bytesRead);
uint32_t ReadConfigRegion9(int adapter, uint8_t out[REGION9_SIZE], uint32_t* bytesRead);
uint32_t ReadConfigRegion10(int adapter, uint8_t out[REGION10_SIZE], uint32_t* bytesRead);

// Writes a region through the library's update-configuration request; a region
// that needs re-initialising is re-initialised once and written again.
// Returns the library status.
uint32_t UpdateConfigRegion(int adapter, uint32_t region, uint32_t length, const uint8_t* data);

// Writes a region in one data-buffer request (length at most 1000, else 1).
// Returns 0, 218 (the region must be re-initialised; not retried) or 1.
uint32_t UpdateConfigRegionEx(int adapter, uint32_t region, uint32_t length, const uint8_t* data);

// Region writers of the boot code. On NEXA-managed adapters and Brevin FC
// functions regions 8 and 9 are one update-configuration request (any failure
// gives 219) and the OpenBoot and EFI writes do nothing; elsewhere all go
// through UpdateConfigRegionEx. The OpenBoot writer reverses each word.
uint32_t WriteConfigRegion8(int adapter, const uint8_t data[REGION8_SIZE]);
uint32_t WriteConfigRegion8OpenBoot(int adapter, const uint8_t data[REGION8_OPENBOOT_SIZE]);
uint32_t WriteConfigRegion9(int adapter, const uint8_t data[REGION9_SIZE]);
uint32_t WriteConfigRegion10(int adapter, const uint8_t data[REGION10_SIZE]);

// Writes the 20-byte NV parameter image (region 0). A region the adapter does
// not know is reconstructed once and written again. Returns 0, 21 (all-zero
// image on a Brevin FC function), 217 or 1.
uint32_t CLU_WriteConfigRegion0(int adapter, const uint8_t image[REGION0_SIZE]);

// Builds the default region 0 image from the adapter's factory IEEE address, in
// the byte order that adapter's NV parameters use, with the node name's first
// byte 0x20. A zero address (its start-up read failed) gives 1 and an all-zero
// image.
uint32_t CLU_InitConfigRegion0Data(int adapter, uint8_t image[REGION0_SIZE]);

// Rebuild a region the adapter rejects: find the flash layout from the load
// list, clear the region's slot, commit, write a new header of length bytes.
// ReconstructRegion returns 0, 200 (unknown layout; nothing written) or the
// failing step's status; CLU_ReconstructRegion (region 0) returns 0, 219
// (unknown layout) or the failing step's status.
uint32_t ReconstructRegion(int adapter, uint32_t region, uint32_t length);
uint32_t CLU_ReconstructRegion(int adapter, uint32_t region, uint32_t length);
