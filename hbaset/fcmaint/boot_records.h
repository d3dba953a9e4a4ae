// Byte layouts of the boot configuration regions and the boot parameter
// records that present them as named parameters.
//
// Multi-byte region fields are little-endian unless noted. A WWPN kept "as two
// words" is two little-endian host words (word 0 = 0x10000000 for a WWPN that
// starts 10:00:00:00), so its bytes are the wire bytes with each group of four
// reversed. The OpenBoot layout is stored as big-endian words: its 10 words are
// byte-reversed on read and on write, and the offsets below apply to the
// reversed (host) image.
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/fcmaint/config_region.h"

// ---- region 0 (NV parameters) ---------------------------------------------------
constexpr uint32_t R0_DEFAULT_ALPA = 16; // byte: the hard AL_PA of the boot code
static_assert(R0_DEFAULT_ALPA < REGION0_SIZE, "region 0 holds the AL_PA byte");

// ---- region 8, x86 BIOS layout (60 bytes) -------------------------------------------
constexpr uint32_t X86_SIGNATURE = 0; // "BIOS"
constexpr uint32_t X86_FLAGS = 4;     // 32-bit flag word
constexpr uint32_t X86_ALPA = 8;      // DefaultAlpa
constexpr uint32_t X86_OPTIONS = 9;   // byte: see X86_OPT_*
constexpr uint32_t X86_PLOGI = 16;    // PlogiRetryTimer code 1, 2, 4
constexpr uint32_t X86_WWPN = 17;     // boot device WWPN, two words
constexpr uint32_t X86_DID_LUN = 25;  // bits 0-23 D_ID, bits 24-31 LUN
constexpr uint32_t X86_LINK = 37;     // 32-bit link speed code
static_assert(X86_LINK + 4 <= REGION8_SIZE, "x86 layout fits region 8");
static_assert(X86_WWPN + 8 == X86_DID_LUN, "WWPN words precede the D_ID word");

// Flag word bits.
constexpr uint32_t X86F_ALPA = 1u << 0;
constexpr uint32_t X86F_WRITTEN = 1u << 1; // set by every write; readbootdevice's "Current State"
constexpr uint32_t X86F_PLOGI = 1u << 6;
constexpr uint32_t X86F_DID = 1u << 7;
constexpr uint32_t X86F_WWPN = 1u << 8;
constexpr uint32_t X86F_ALT_BOOT = 1u << 9;
constexpr uint32_t X86F_BOOT_DEVICE = 1u << 10;
constexpr uint32_t X86F_START_UNIT = 1u << 12;
constexpr uint32_t X86F_ENV_VAR = 1u << 13;
constexpr uint32_t X86F_AUTO_BOOT_SECTOR = 1u << 14;
// The flag word setbootdevice writes: written, PLOGI timer, WWPN, boot device.
constexpr uint32_t X86F_SETBOOTDEVICE = X86F_WRITTEN | X86F_PLOGI | X86F_WWPN | X86F_BOOT_DEVICE;
static_assert(X86F_SETBOOTDEVICE == 0x542, "setbootdevice flag word");

// Options byte (offset 9).
constexpr uint8_t X86_OPT_BOOT_FROM_SAN = 0x01;
constexpr uint8_t X86_OPT_TOPOLOGY_MASK =
    0x0C; // 0x0 auto loop first, 0x4 PTP, 0x8 auto PTP first, 0xC loop
constexpr uint8_t X86_OPT_SPINUP_DELAY = 0x10;
constexpr uint8_t X86_OPT_AUTOSCAN_SHIFT = 5; // bits 5-6: AutoScan code
constexpr uint8_t X86_OPT_AUTOSCAN_MASK = 0x60;
constexpr uint8_t X86_OPT_EDD30 = 0x80;
constexpr uint8_t X86_TOPO_AUTO_LOOP = 0x0;
constexpr uint8_t X86_TOPO_PTP = 0x4;
constexpr uint8_t X86_TOPO_AUTO_PTP = 0x8;
constexpr uint8_t X86_TOPO_LOOP = 0xC;

// ---- region 9, alternate boot devices (88 bytes; setAltBoot writes 256) ---------------
constexpr uint32_t EXTB_SIGNATURE = 0; // "EXTB"
constexpr uint32_t EXTB_FIRST_ENTRY = 4;
constexpr uint32_t EXTB_ENTRY_SIZE = 12; // WWPN (two words), then D_ID bits 0-23 / LUN bits 24-31
constexpr uint32_t EXTB_ENTRIES = 7;
constexpr uint32_t EXTB_ENTRY_DID_LUN = 8;
constexpr uint32_t REGION9_ALT_SIZE = 256;
static_assert(EXTB_FIRST_ENTRY + EXTB_ENTRIES * EXTB_ENTRY_SIZE == REGION9_SIZE,
              "seven entries fill region 9");
inline constexpr uint32_t extbEntry(uint32_t index /* 1..7 */) {
    return EXTB_FIRST_ENTRY + EXTB_ENTRY_SIZE * (index - 1);
}

// ---- region 10, EFI layout (256 bytes) -------------------------------------------------
constexpr uint32_t EFI_SIGNATURE = 0; // "EFIB", shared with entry 0's first bytes
constexpr uint32_t EFI_ENTRY_SIZE = 24;
constexpr uint32_t EFI_ENTRIES = 8;
constexpr uint32_t EFI_E_WWPN = 4;   // two words
constexpr uint32_t EFI_E_LUN = 12;   // 16-bit LUN, most significant byte first; 14-19 zero
constexpr uint32_t EFI_E_DID = 20;   // 3 bytes
constexpr uint32_t EFI_E_FLAGS = 23; // bit 0 WWPN set, bit 1 D_ID set
constexpr uint8_t EFI_EF_WWPN = 0x01;
constexpr uint8_t EFI_EF_DID = 0x02;
constexpr uint32_t EFI_FLAGS = 196;    // 32-bit flag word, see EFIF_*
constexpr uint32_t EFI_MAX_LUNS = 200; // 16-bit; 0 reads as 256
constexpr uint32_t EFI_PLOGI = 203;    // code 1-3
constexpr uint32_t EFI_TOPOLOGY = 204; // 0 auto loop first, 1 auto PTP first, 2 PTP, 3 loop
constexpr uint32_t EFI_RESET_DELAY = 205;
constexpr uint32_t EFI_LINK = 206; // link speed code
static_assert(EFI_ENTRY_SIZE * EFI_ENTRIES <= EFI_FLAGS, "entries precede the parameter block");
static_assert(EFI_LINK < REGION10_SIZE, "EFI layout fits region 10");
constexpr uint32_t EFIF_BOOT_FROM_SAN = 1u << 0;
constexpr uint32_t EFIF_SCAN_CODE1 = 1u << 2;
constexpr uint32_t EFIF_SCAN_CODE2 = 1u << 3;
constexpr uint32_t EFIF_SCAN_CLEAR = EFIF_SCAN_CODE1 | EFIF_SCAN_CODE2 | (1u << 6);
constexpr uint32_t EFIF_DEVICE_PATH_SCSI = 1u << 5;
constexpr uint8_t EFI_TOPO_AUTO_LOOP = 0;
constexpr uint8_t EFI_TOPO_AUTO_PTP = 1;
constexpr uint8_t EFI_TOPO_PTP = 2;
constexpr uint8_t EFI_TOPO_LOOP = 3;

// ---- region 8, OpenBoot layout (40 bytes, offsets in the word-reversed image) ----------
constexpr uint32_t OB_SIGNATURE = 0; // "OPEN"
constexpr uint32_t OB_FLAGS = 4;     // 0x104 target WWPN set, 0x84 D_ID set
constexpr uint32_t OB_ALPA = 8;
constexpr uint32_t OB_BOOT_FROM_SAN = 9;
constexpr uint32_t OB_TOPOLOGY =
    10; // 0 auto loop first, 8 auto PTP first, 1 loop, 4 PTP, 255 unset
constexpr uint32_t OB_TARGET_ID = 11; // 16-bit
constexpr uint32_t OB_SFS = 13;
constexpr uint32_t OB_PLOGI = 16;
constexpr uint32_t OB_WWPN = 17;     // target WWPN, bytes as stored
constexpr uint32_t OB_LUN8_DID = 25; // bits 0-7 Lun(8), bits 8-31 D_ID
constexpr uint32_t OB_LUN64 = 29;    // two words, low word first
constexpr uint32_t OB_LINK = 37;     // link speed code, 255 unset
static_assert(OB_LINK < REGION8_OPENBOOT_SIZE, "OpenBoot layout fits its 40 bytes");
constexpr uint32_t OBF_WWPN = 0x104;
constexpr uint32_t OBF_DID = 0x84;
constexpr uint8_t OB_UNSET = 255;
constexpr uint8_t OB_TOPO_AUTO_LOOP = 0;
constexpr uint8_t OB_TOPO_AUTO_PTP = 8;
constexpr uint8_t OB_TOPO_LOOP = 1;
constexpr uint8_t OB_TOPO_PTP = 4;

// ---- boot parameter records ---------------------------------------------------------
// Each record starts with a valid flag (1 when the region signature was found)
// and parameter slots of value, default, minimum and maximum. A value of -1 is
// "not available" and is not printed.
struct BootParamSlot {
    int32_t value;
    int32_t def;
    int32_t min;
    int32_t max;
};
static_assert(sizeof(BootParamSlot) == 16, "slot is four words");

// Record codes of the shared parameters.
enum : int32_t {
    TOPOLOGY_AUTO_LOOP = 0, // "Auto, Loop First"
    TOPOLOGY_AUTO_PTP = 1,  // "Auto, PTP First"
    TOPOLOGY_LOOP = 2,      // "Loop"
    TOPOLOGY_PTP = 3,       // "PTP"
};
constexpr int32_t BOOT_PARAM_UNAVAILABLE = -1;
constexpr uint32_t BOOT_DEVICES = 8;

struct BootDeviceX86 {
    uint8_t wwpn[8]; // wire order
    uint32_t did;
    uint32_t lun;
};
struct BootParamsX86 {
    uint32_t valid;
    BootParamSlot enableAdapterBoot, enableBootFromSan, linkSpeed, topology, reserved1, reserved2;
    BootParamSlot autoBootSectorEnable, autoScan, defaultAlpa, edd30Enable, envVarEnable,
        plogiRetryTimer, spinupDelayEnable, startUnitCommandEnable;
    BootDeviceX86 devices[BOOT_DEVICES];
};
static_assert(sizeof(BootDeviceX86) == 16, "x86 boot device");
static_assert(sizeof(BootParamsX86) == 4 + 14 * 16 + 8 * 16, "x86 record");

struct BootDeviceEfi {
    uint8_t wwpn[8]; // wire order
    uint32_t did;
    uint32_t reserved;
    uint32_t lun[2]; // 64-bit LUN: low word, high word
};
struct BootParamsEfi {
    uint32_t valid;
    BootParamSlot enableAdapterBoot, enableBootFromSan, linkSpeed, topology, reserved1, reserved2;
    BootParamSlot bootTargetScan, defaultAlpa, devicePathSelection, maxLunsPerTarget,
        plogiRetryTimer, resetDelayTimer;
    BootDeviceEfi devices[BOOT_DEVICES];
};
static_assert(sizeof(BootDeviceEfi) == 24, "EFI boot device");
static_assert(sizeof(BootParamsEfi) == 4 + 12 * 16 + 8 * 24, "EFI record");

struct BootParamsOb {
    uint32_t valid;
    BootParamSlot enableAdapterBoot, enableBootFromSan, linkSpeed, topology, reserved1, reserved2;
    BootParamSlot defaultAlpa, plogiRetryTimer, sfsFlag;
    uint8_t targetWwpn[8]; // as stored in the region
    uint32_t did;
    uint32_t lun8;
    uint32_t lun64[2]; // low word, high word
    uint32_t targetId;
};
static_assert(sizeof(BootParamsOb) == 4 + 9 * 16 + 8 + 4 + 4 + 8 + 4, "OpenBoot record");

inline uint64_t lun64Of(const uint32_t w[2]) {
    return static_cast<uint64_t>(w[1]) << 32 | w[0];
}

// WWPN kept as two little-endian words in a region <-> wire order bytes.
inline void wwpnFromWords(const uint8_t* region, uint8_t wire[8]) {
    for (int i = 0; i < 8; ++i)
        wire[i] = region[(i & ~3) + 3 - (i & 3)];
}
inline void wwpnToWords(const uint8_t wire[8], uint8_t* region) {
    for (int i = 0; i < 8; ++i)
        region[(i & ~3) + 3 - (i & 3)] = wire[i];
}
inline bool anyByteSet(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return true;
    return false;
}
