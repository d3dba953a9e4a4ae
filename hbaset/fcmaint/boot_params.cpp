// The boot parameter records of the x86 BIOS (regions 8 and 9), the EFI
// driver (region 10) and OpenBoot (region 8, big-endian words): decoding and
// encoding, the printout of getbootparams and the resets of setdefbootparams.
// Regions 0 (DefaultAlpa) and 4 (is a boot BIOS selected) complete them.
#include "hbaset/fcmaint/boot_params.h"

#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/mbox_records.h"
#include "hbaset/fcmaint/rm_status.h"

namespace {

// ---- value codes ----------------------------------------------------------------------
// Link speed in Gbit/s <-> the region's code. Speeds not listed write 0 (auto).
struct LinkCode {
    int32_t gbps;
    uint8_t code;
};
const LinkCode kLinkCodes[] = {{0, 0}, {1, 1}, {2, 2}, {4, 4}, {8, 8}, {16, 17}, {32, 20}};

bool linkFromCode(uint32_t code, int32_t* gbps) {
    for (const LinkCode& l : kLinkCodes)
        if (l.code == code) {
            *gbps = l.gbps;
            return true;
        }
    return false;
}
bool linkToCode(int32_t gbps, uint8_t* code) {
    for (const LinkCode& l : kLinkCodes)
        if (l.gbps == gbps) {
            *code = l.code;
            return true;
        }
    return false;
}

// Record topology code (index) -> the code each layout stores.
const uint8_t kX86Topology[] = {X86_TOPO_AUTO_LOOP, X86_TOPO_AUTO_PTP, X86_TOPO_LOOP, X86_TOPO_PTP};
const uint8_t kEfiTopology[] = {EFI_TOPO_AUTO_LOOP, EFI_TOPO_AUTO_PTP, EFI_TOPO_LOOP, EFI_TOPO_PTP};
const uint8_t kObTopology[] = {OB_TOPO_AUTO_LOOP, OB_TOPO_AUTO_PTP, OB_TOPO_LOOP, OB_TOPO_PTP};

// The record code of a stored topology code, or -1.
int32_t topologyFromCode(const uint8_t (&table)[4], uint32_t code) {
    for (int32_t i = 0; i < 4; ++i)
        if (table[i] == code) return i;
    return -1;
}
// The stored code of a record topology; others give fallback.
uint8_t topologyToCode(const uint8_t (&table)[4], int32_t value, uint8_t fallback) {
    return value >= 0 && value < 4 ? table[value] : fallback;
}

// PlogiRetryTimer 1, 2, 3 (50, 100, 200 ms) <-> x86 codes 1, 2, 4.
int32_t x86PlogiFromCode(uint8_t code) {
    return code == 1 ? 1 : code == 2 ? 2 : code == 4 ? 3 : 0;
}
uint8_t x86PlogiToCode(int32_t value) {
    return value == 1 ? 1 : value == 2 ? 2 : value == 3 ? 4 : 0;
}

const char* const kOnOff[] = {"Disabled", "Enabled"};
const char* const kTopologyText[] = {"Auto, Loop First", "Auto, PTP First", "Loop", "PTP"};
const char* const kAutoScanText[] = {"Disabled", "First Device", "First Lun 0 Device",
                                     "First non-Lun 0 Device"};
const char* const kPlogiText[] = {"None", "50 ms", "100 ms", "200 ms"};
const char* const kScanText[] = {"Boot Path: NVRAM Targets", "Boot Path: Discovered Targets",
                                 "None"};
const char* const kPathText[] = {"FC", "SCSI"};

template <size_t N> const char* textOf(const char* const (&table)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? table[value] : "";
}
const char* linkText(int32_t gbps) {
    switch (gbps) {
    case 0:
        return "Auto";
    case 1:
        return "1 Gbps";
    case 2:
        return "2 Gbps";
    case 4:
        return "4 Gbps";
    case 8:
        return "8 Gbps";
    case 16:
        return "16 Gbps";
    case 32:
        return "32 Gbps";
    default:
        return "";
    }
}

// ---- records ----------------------------------------------------------------------------
void setMax(BootParamSlot* s, int32_t max) {
    s->max = max;
}

void standardMaxima(BootParamSlot* eab, BootParamSlot* bfs, BootParamSlot* link,
                    BootParamSlot* topo) {
    setMax(eab, 1);
    setMax(bfs, 1);
    setMax(link, 8);
    setMax(topo, 3);
}

void clearX86(BootParamsX86* r) {
    memset(r, 0, sizeof *r);
    standardMaxima(&r->enableAdapterBoot, &r->enableBootFromSan, &r->linkSpeed, &r->topology);
    setMax(&r->autoBootSectorEnable, 1);
    setMax(&r->autoScan, 3);
    setMax(&r->defaultAlpa, 0xEF);
    setMax(&r->edd30Enable, 1);
    setMax(&r->envVarEnable, 1);
    setMax(&r->plogiRetryTimer, 3);
    setMax(&r->spinupDelayEnable, 1);
    setMax(&r->startUnitCommandEnable, 1);
}

void clearEfi(BootParamsEfi* r) {
    memset(r, 0, sizeof *r);
    standardMaxima(&r->enableAdapterBoot, &r->enableBootFromSan, &r->linkSpeed, &r->topology);
    setMax(&r->bootTargetScan, 2);
    setMax(&r->defaultAlpa, 0xEF);
    setMax(&r->devicePathSelection, 1);
    r->maxLunsPerTarget = {0, 256, 1, 4096};
    setMax(&r->plogiRetryTimer, 3);
    setMax(&r->resetDelayTimer, 255);
}

void clearOb(BootParamsOb* r) {
    memset(r, 0, sizeof *r);
    standardMaxima(&r->enableAdapterBoot, &r->enableBootFromSan, &r->linkSpeed, &r->topology);
    setMax(&r->defaultAlpa, 0xEF);
    setMax(&r->plogiRetryTimer, 3);
    setMax(&r->sfsFlag, 1);
}

bool signatureIs(const uint8_t* p, const char* sig) {
    return memcmp(p, sig, 4) == 0;
}

// A region the adapter does not know reads as absent.
bool readFailed(uint32_t st) {
    return st != 0 && st != RM_STATUS_REGION_UNKNOWN;
}

// DefaultAlpa from region 0 byte 16 (x86 and EFI), when it is set.
uint32_t readAlpa(int adapter, int32_t* alpa) {
    uint8_t r0[REGION0_SIZE];
    uint32_t st = ReadConfigRegion0(adapter, r0, nullptr);
    if (readFailed(st)) return st;
    if (r0[R0_DEFAULT_ALPA] != 0) *alpa = r0[R0_DEFAULT_ALPA];
    return 0;
}

uint32_t readBootSlot(int adapter, int32_t* enableAdapterBoot) {
    uint8_t r4[REGION4_SIZE];
    uint32_t st = ReadConfigRegion4(adapter, r4, nullptr);
    if (readFailed(st)) return st;
    WakeupParms wp;
    decodeWakeupParms(r4, &wp);
    if (wp.bootBios.w0 != 0 || wp.bootBios.w1 != 0) *enableAdapterBoot = 1;
    return 0;
}

void decodeX86Region8(const uint8_t* r8, BootParamsX86* r) {
    r->valid = 1;
    uint32_t flags = le32(r8 + X86_FLAGS);
    uint8_t opt = r8[X86_OPTIONS];
    r->enableBootFromSan.value = opt & X86_OPT_BOOT_FROM_SAN ? 1 : 0;
    r->topology.value = topologyFromCode(kX86Topology, opt & X86_OPT_TOPOLOGY_MASK);
    r->autoScan.value = (opt & X86_OPT_AUTOSCAN_MASK) >> X86_OPT_AUTOSCAN_SHIFT;
    r->spinupDelayEnable.value = opt & X86_OPT_SPINUP_DELAY ? 1 : 0;
    r->edd30Enable.value = opt & X86_OPT_EDD30 ? 1 : 0;
    r->autoBootSectorEnable.value = flags & X86F_AUTO_BOOT_SECTOR ? 1 : 0;
    r->envVarEnable.value = flags & X86F_ENV_VAR ? 1 : 0;
    r->startUnitCommandEnable.value = flags & X86F_START_UNIT ? 1 : 0;
    if (flags & X86F_PLOGI) r->plogiRetryTimer.value = x86PlogiFromCode(r8[X86_PLOGI]);
    int32_t gbps = 0;
    r->linkSpeed.value = linkFromCode(le32(r8 + X86_LINK), &gbps) ? gbps : 0;
    wwpnFromWords(r8 + X86_WWPN, r->devices[0].wwpn);
    uint32_t didLun = le32(r8 + X86_DID_LUN);
    r->devices[0].did = didLun & 0xFFFFFF;
    r->devices[0].lun = didLun >> 24;
}

void decodeExtb(const uint8_t* r9, BootDeviceX86* devices) {
    for (uint32_t i = 1; i <= EXTB_ENTRIES; ++i) {
        const uint8_t* e = r9 + extbEntry(i);
        wwpnFromWords(e, devices[i].wwpn);
        uint32_t didLun = le32(e + EXTB_ENTRY_DID_LUN);
        devices[i].did = didLun & 0xFFFFFF;
        devices[i].lun = didLun >> 24;
    }
}

void decodeEfiRegion(const uint8_t* r10, BootParamsEfi* r) {
    r->valid = 1;
    for (uint32_t k = 0; k < EFI_ENTRIES; ++k) {
        const uint8_t* e = r10 + k * EFI_ENTRY_SIZE;
        BootDeviceEfi& d = r->devices[k];
        wwpnFromWords(e + EFI_E_WWPN, d.wwpn);
        d.lun[0] = static_cast<uint32_t>(e[EFI_E_LUN] << 8 | e[EFI_E_LUN + 1]);
        d.did =
            static_cast<uint32_t>(e[EFI_E_DID] | e[EFI_E_DID + 1] << 8 | e[EFI_E_DID + 2] << 16);
    }
    uint32_t flags = le32(r10 + EFI_FLAGS);
    r->enableBootFromSan.value = flags & EFIF_BOOT_FROM_SAN ? 1 : 0;
    uint32_t scan = flags & (EFIF_SCAN_CODE1 | EFIF_SCAN_CODE2);
    r->bootTargetScan.value = scan == EFIF_SCAN_CODE1 ? 1 : scan == EFIF_SCAN_CODE2 ? 2 : 0;
    r->devicePathSelection.value = flags & EFIF_DEVICE_PATH_SCSI ? 1 : 0;
    uint16_t luns = le16(r10 + EFI_MAX_LUNS);
    r->maxLunsPerTarget.value = luns == 0 ? 256 : luns;
    r->plogiRetryTimer.value = r10[EFI_PLOGI];
    int32_t topo = topologyFromCode(kEfiTopology, r10[EFI_TOPOLOGY]);
    r->topology.value = topo < 0 ? 0 : topo;
    r->resetDelayTimer.value = r10[EFI_RESET_DELAY];
    int32_t gbps = 0;
    r->linkSpeed.value = linkFromCode(r10[EFI_LINK], &gbps) ? gbps : 0;
}

void decodeObRegion(const uint8_t* r8, BootParamsOb* r) {
    r->valid = 1;
    r->enableBootFromSan.value = r8[OB_BOOT_FROM_SAN] != 0 ? 1 : 0;
    int32_t gbps = 0;
    r->linkSpeed.value = linkFromCode(r8[OB_LINK], &gbps) ? gbps : BOOT_PARAM_UNAVAILABLE;
    r->topology.value = topologyFromCode(kObTopology, r8[OB_TOPOLOGY]);
    if (r8[OB_ALPA] != 0) r->defaultAlpa.value = r8[OB_ALPA];
    if (r8[OB_PLOGI] != 0) r->plogiRetryTimer.value = r8[OB_PLOGI];
    r->sfsFlag.value = r8[OB_SFS] != 0 ? 1 : 0;
    uint32_t lunDid = le32(r8 + OB_LUN8_DID);
    if ((lunDid & 0xFF) != 0) r->lun8 = lunDid & 0xFF;
    if (lunDid >= 256) r->did = lunDid >> 8;
    r->lun64[0] = le32(r8 + OB_LUN64);
    r->lun64[1] = le32(r8 + OB_LUN64 + 4);
    uint16_t target = le16(r8 + OB_TARGET_ID);
    if (target != 0) r->targetId = target;
    memcpy(r->targetWwpn, r8 + OB_WWPN, 8);
}

void nexaUnavailable(BootParamSlot* link, BootParamSlot* topo, BootParamSlot* alpa,
                     BootParamSlot* eab) {
    link->value = topo->value = alpa->value = BOOT_PARAM_UNAVAILABLE;
    eab->value = 1;
}

} // namespace

uint32_t readBootParamsX86(int adapter, BootParamsX86* out) {
    clearX86(out);
    uint32_t st = readAlpa(adapter, &out->defaultAlpa.value);
    if (st != 0) return st;
    uint8_t r8[REGION8_SIZE];
    uint8_t r9[REGION9_SIZE];
    st = ReadConfigRegion8(adapter, r8, nullptr);
    if (readFailed(st)) return st;
    bool bios = st == 0 && signatureIs(r8 + X86_SIGNATURE, "BIOS");
    st = ReadConfigRegion9(adapter, r9, nullptr);
    if (readFailed(st)) return st;
    bool extb = st == 0 && signatureIs(r9 + EXTB_SIGNATURE, "EXTB");
    st = readBootSlot(adapter, &out->enableAdapterBoot.value);
    if (st != 0) return st;
    if (bios) decodeX86Region8(r8, out);
    if (extb) decodeExtb(r9, out->devices);
    return 0;
}

uint32_t readBootParamsEfi(int adapter, BootParamsEfi* out) {
    clearEfi(out);
    uint32_t st = readAlpa(adapter, &out->defaultAlpa.value);
    if (st != 0) return st;
    uint8_t r10[REGION10_SIZE];
    st = ReadConfigRegion10(adapter, r10, nullptr);
    if (readFailed(st)) return st;
    bool efib = st == 0 && signatureIs(r10 + EFI_SIGNATURE, "EFIB");
    st = readBootSlot(adapter, &out->enableAdapterBoot.value);
    if (st != 0) return st;
    if (efib) decodeEfiRegion(r10, out);
    if (isNexaManaged(adapter))
        nexaUnavailable(&out->linkSpeed, &out->topology, &out->defaultAlpa,
                        &out->enableAdapterBoot);
    return 0;
}

uint32_t readBootParamsOb(int adapter, BootParamsOb* out) {
    clearOb(out);
    uint8_t r8[REGION8_OPENBOOT_SIZE];
    uint32_t st = ReadConfigRegion8OpenBoot(adapter, r8, nullptr);
    if (readFailed(st)) return st;
    bool open = st == 0 && signatureIs(r8 + OB_SIGNATURE, "OPEN");
    st = readBootSlot(adapter, &out->enableAdapterBoot.value);
    if (st != 0) return st;
    if (open) decodeObRegion(r8, out);
    if (isNexaManaged(adapter))
        nexaUnavailable(&out->linkSpeed, &out->topology, &out->defaultAlpa,
                        &out->enableAdapterBoot);
    return 0;
}

// ---- writing -------------------------------------------------------------------------------

namespace {

// Region 0 with DefaultAlpa in byte 16. A region 0 the adapter does not know
// is rebuilt from the factory address; a zero address (its start-up read
// failed) refuses before anything is written, so zero names never reach NV.
uint32_t writeRegion0Alpa(int adapter, int32_t alpa) {
    uint8_t r0[REGION0_SIZE];
    uint32_t st = ReadConfigRegion0(adapter, r0, nullptr);
    if (st == RM_STATUS_REGION_UNKNOWN || st == RM_STATUS_REGION_REINIT) {
        uint8_t image[REGION0_SIZE];
        if (CLU_InitConfigRegion0Data(adapter, image) != 0) return BOOT_PARAMS_NO_FACTORY;
        st = ReconstructRegion(adapter, REGION_NV, REGION0_SIZE);
        if (st != 0) return st;
        memcpy(r0, image, sizeof r0);
    } else if (st != 0) {
        return st; // never write back what could not be read
    }
    if (alpa >= 0) r0[R0_DEFAULT_ALPA] = static_cast<uint8_t>(alpa);
    return CLU_WriteConfigRegion0(adapter, r0);
}

void putWwpnDidLun(uint8_t* at, const BootDeviceX86& d) {
    wwpnToWords(d.wwpn, at);
    putLe32(at + 8, (d.did & 0xFFFFFF) | (d.lun & 0xFF) << 24);
}

void encodeX86Region8(const BootParamsX86& r, uint8_t* r8) {
    memset(r8, 0, REGION8_SIZE);
    memcpy(r8 + X86_SIGNATURE, "BIOS", 4);
    uint32_t flags = X86F_WRITTEN;
    uint8_t opt = 0;
    if (r.enableBootFromSan.value == 1) opt |= X86_OPT_BOOT_FROM_SAN;
    opt |= topologyToCode(kX86Topology, r.topology.value, X86_TOPO_AUTO_LOOP);
    opt |=
        static_cast<uint8_t>((r.autoScan.value << X86_OPT_AUTOSCAN_SHIFT) & X86_OPT_AUTOSCAN_MASK);
    if (r.edd30Enable.value == 1) opt |= X86_OPT_EDD30;
    if (r.spinupDelayEnable.value == 1) opt |= X86_OPT_SPINUP_DELAY;
    r8[X86_OPTIONS] = opt;
    if (r.autoBootSectorEnable.value == 1) flags |= X86F_AUTO_BOOT_SECTOR;
    if (r.envVarEnable.value == 1) flags |= X86F_ENV_VAR;
    if (r.startUnitCommandEnable.value == 1) flags |= X86F_START_UNIT;
    if (r.defaultAlpa.value > 0) {
        r8[X86_ALPA] = static_cast<uint8_t>(r.defaultAlpa.value);
        flags |= X86F_ALPA;
    }
    if (r.plogiRetryTimer.value > 0) {
        r8[X86_PLOGI] = x86PlogiToCode(r.plogiRetryTimer.value);
        flags |= X86F_PLOGI;
    }
    uint8_t link = 0;
    if (!linkToCode(r.linkSpeed.value, &link)) link = 0;
    putLe32(r8 + X86_LINK, link);
    const BootDeviceX86& d0 = r.devices[0];
    putWwpnDidLun(r8 + X86_WWPN, d0);
    if ((d0.did & 0xFFFFFF) != 0) flags |= X86F_DID | X86F_BOOT_DEVICE;
    if (anyByteSet(d0.wwpn, 8)) flags |= X86F_WWPN | X86F_BOOT_DEVICE;
    for (uint32_t i = 1; i < BOOT_DEVICES; ++i)
        if (r.devices[i].did != 0 || anyByteSet(r.devices[i].wwpn, 8))
            flags |= X86F_ALT_BOOT | X86F_BOOT_DEVICE;
    putLe32(r8 + X86_FLAGS, flags);
}

void encodeExtb(const BootDeviceX86* devices, uint8_t* r9) {
    memset(r9, 0, REGION9_SIZE);
    memcpy(r9 + EXTB_SIGNATURE, "EXTB", 4);
    for (uint32_t i = 1; i <= EXTB_ENTRIES; ++i)
        putWwpnDidLun(r9 + extbEntry(i), devices[i]);
}

void encodeEfiRegion(const BootParamsEfi& r, uint8_t* r10) {
    memset(r10, 0, REGION10_SIZE);
    for (uint32_t k = 0; k < EFI_ENTRIES; ++k) {
        uint8_t* e = r10 + k * EFI_ENTRY_SIZE;
        const BootDeviceEfi& d = r.devices[k];
        wwpnToWords(d.wwpn, e + EFI_E_WWPN);
        e[EFI_E_LUN] = static_cast<uint8_t>(d.lun[0] >> 8);
        e[EFI_E_LUN + 1] = static_cast<uint8_t>(d.lun[0]);
        e[EFI_E_DID] = static_cast<uint8_t>(d.did);
        e[EFI_E_DID + 1] = static_cast<uint8_t>(d.did >> 8);
        e[EFI_E_DID + 2] = static_cast<uint8_t>(d.did >> 16);
        uint8_t f = 0;
        if (anyByteSet(d.wwpn, 8)) f |= EFI_EF_WWPN;
        if ((d.did & 0xFFFFFF) != 0) f |= EFI_EF_DID;
        e[EFI_E_FLAGS] = f;
    }
    memcpy(r10 + EFI_SIGNATURE, "EFIB", 4);
    uint32_t flags = 0;
    if (r.enableBootFromSan.value == 1) flags |= EFIF_BOOT_FROM_SAN;
    flags &= ~EFIF_SCAN_CLEAR;
    if (r.bootTargetScan.value == 1) flags |= EFIF_SCAN_CODE1;
    if (r.bootTargetScan.value == 2) flags |= EFIF_SCAN_CODE2;
    if (r.devicePathSelection.value == 1) flags |= EFIF_DEVICE_PATH_SCSI;
    putLe32(r10 + EFI_FLAGS, flags);
    uint32_t luns = static_cast<uint32_t>(r.maxLunsPerTarget.value);
    r10[EFI_MAX_LUNS] = static_cast<uint8_t>(luns);
    r10[EFI_MAX_LUNS + 1] = static_cast<uint8_t>(luns >> 8);
    r10[EFI_PLOGI] = static_cast<uint8_t>(r.plogiRetryTimer.value);
    r10[EFI_TOPOLOGY] = topologyToCode(kEfiTopology, r.topology.value, EFI_TOPO_AUTO_LOOP);
    r10[EFI_RESET_DELAY] = static_cast<uint8_t>(r.resetDelayTimer.value);
    uint8_t link = 0;
    if (!linkToCode(r.linkSpeed.value, &link)) link = 0;
    r10[EFI_LINK] = link;
}

void encodeObRegion(const BootParamsOb& r, uint8_t* r8) {
    memset(r8, 0, REGION8_OPENBOOT_SIZE);
    memcpy(r8 + OB_SIGNATURE, "OPEN", 4);
    uint32_t flags = 0;
    if (anyByteSet(r.targetWwpn, 8)) flags |= OBF_WWPN;
    if (r.did != 0) flags |= OBF_DID;
    putLe32(r8 + OB_FLAGS, flags);
    if (r.defaultAlpa.value > 0) r8[OB_ALPA] = static_cast<uint8_t>(r.defaultAlpa.value);
    r8[OB_BOOT_FROM_SAN] = r.enableBootFromSan.value == 1 ? 1 : 0;
    r8[OB_TOPOLOGY] = topologyToCode(kObTopology, r.topology.value, OB_UNSET);
    r8[OB_TARGET_ID] = static_cast<uint8_t>(r.targetId);
    r8[OB_TARGET_ID + 1] = static_cast<uint8_t>(r.targetId >> 8);
    r8[OB_SFS] = r.sfsFlag.value == 1 ? 1 : 0;
    if (r.plogiRetryTimer.value > 0) r8[OB_PLOGI] = static_cast<uint8_t>(r.plogiRetryTimer.value);
    memcpy(r8 + OB_WWPN, r.targetWwpn, 8);
    putLe32(r8 + OB_LUN8_DID, (r.lun8 & 0xFF) | (r.did << 8));
    putLe32(r8 + OB_LUN64, r.lun64[0]);
    putLe32(r8 + OB_LUN64 + 4, r.lun64[1]);
    uint8_t link = OB_UNSET;
    if (!linkToCode(r.linkSpeed.value, &link)) link = OB_UNSET;
    r8[OB_LINK] = link;
}

// Region 0 from the factory address, as the init kinds write it. Refuses
// (30) before anything is written when the address is zero.
uint32_t initRegion0Image(int adapter, uint8_t image[REGION0_SIZE]) {
    return CLU_InitConfigRegion0Data(adapter, image) == 0 ? 0 : BOOT_PARAMS_NO_FACTORY;
}

uint32_t setX86Init(int adapter) {
    const char* n = "[CLU_XLRM_SetBootParamsX86Init]";
    traceGroup(TRACE_GROUP_FC, "\n%s\n", n);
    uint8_t r0[REGION0_SIZE];
    if (!isNexaManaged(adapter) && initRegion0Image(adapter, r0) != 0)
        return BOOT_PARAMS_NO_FACTORY;
    traceGroup(TRACE_GROUP_FC, "%s - ReconstructRegion 8\n", n);
    uint32_t st = ReconstructRegion(adapter, REGION_BOOT, REGION8_SIZE);
    if (st != 0) return st;
    traceGroup(TRACE_GROUP_FC, "%s - ReconstructRegion 9\n", n);
    st = ReconstructRegion(adapter, REGION_ALT_BOOT, REGION9_SIZE);
    if (st != 0) return st;
    traceGroup(TRACE_GROUP_FC, "%s - InitConfigRegion0Data\n", n);
    CLU_InitConfigRegion0Data(adapter, r0);
    traceGroup(TRACE_GROUP_FC, "%s - CLU_WriteConfigRegion0\n", n);
    st = CLU_WriteConfigRegion0(adapter, r0);
    if (st != 0) return st;
    uint8_t r8[REGION8_SIZE] = {};
    memcpy(r8, "BIOS", 4);
    traceGroup(TRACE_GROUP_FC, "%s - CLU_WriteConfigRegion8_X86\n", n);
    st = WriteConfigRegion8(adapter, r8);
    if (st != 0) return st;
    uint8_t r9[REGION9_SIZE] = {};
    memcpy(r9, "EXTB", 4);
    traceGroup(TRACE_GROUP_FC, "%s - CLU_WriteConfigRegion9\n", n);
    return WriteConfigRegion9(adapter, r9);
}

uint32_t setEfiInit(int adapter) {
    uint8_t r0[REGION0_SIZE];
    if (!isNexaManaged(adapter) && initRegion0Image(adapter, r0) != 0)
        return BOOT_PARAMS_NO_FACTORY;
    uint32_t st = ReconstructRegion(adapter, REGION_EFI, REGION10_SIZE);
    if (st != 0) return st;
    CLU_InitConfigRegion0Data(adapter, r0);
    st = CLU_WriteConfigRegion0(adapter, r0);
    if (st != 0) return st;
    uint8_t r10[REGION10_SIZE] = {};
    memcpy(r10, "EFIB", 4);
    return WriteConfigRegion10(adapter, r10);
}

} // namespace

uint32_t CLU_SetBootParamsX86(int adapter, bool init, const BootParamsX86* rec) {
    if (init || rec == nullptr) return setX86Init(adapter);
    traceGroup(TRACE_GROUP_FC, "\n[CLU_SetBootParamsX86]\n");
    uint32_t st = writeRegion0Alpa(adapter, rec->defaultAlpa.value);
    if (st != 0) return st;
    uint8_t r8[REGION8_SIZE];
    uint8_t r9[REGION9_SIZE];
    encodeX86Region8(*rec, r8);
    encodeExtb(rec->devices, r9);
    st = WriteConfigRegion8(adapter, r8);
    if (st != 0) return st;
    st = WriteConfigRegion9(adapter, r9);
    if (st != RM_STATUS_REGION_REINIT) return st;
    // setAltBoot keeps region 9 at 256 bytes: write the same entries at that
    // length rather than leave region 8 and region 9 disagreeing.
    uint8_t wide[REGION9_ALT_SIZE] = {};
    memcpy(wide, r9, sizeof r9);
    return UpdateConfigRegionEx(adapter, REGION_ALT_BOOT, REGION9_ALT_SIZE, wide);
}

uint32_t CLU_SetBootParamsEfi(int adapter, bool init, const BootParamsEfi* rec) {
    if (init || rec == nullptr) return setEfiInit(adapter);
    uint32_t st = writeRegion0Alpa(adapter, rec->defaultAlpa.value);
    if (st != 0) return st;
    uint8_t r10[REGION10_SIZE];
    encodeEfiRegion(*rec, r10);
    return WriteConfigRegion10(adapter, r10);
}

uint32_t CLU_SetBootParamsOb(int adapter, bool init, const BootParamsOb* rec) {
    if (init || rec == nullptr) return 0; // OpenBoot keeps no init image
    uint8_t r8[REGION8_OPENBOOT_SIZE];
    encodeObRegion(*rec, r8);
    return WriteConfigRegion8OpenBoot(adapter, r8);
}

// ---- printout --------------------------------------------------------------------------------

namespace {

void printWwpn(const uint8_t* w) {
    emitText("%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x", w[0], w[1], w[2], w[3], w[4], w[5], w[6],
             w[7]);
}

void printFlag(const char* line, int32_t value, const char* text) {
    emitText(line, value);
    emitText("   %s", text);
}

void printStandard(const BootParamSlot& eab, const BootParamSlot& bfs, const BootParamSlot& link,
                   const BootParamSlot& topo, bool x86) {
    emitText("\nParameter Name         Value");
    emitText("\n--------------         -----");
    emitText("\n Standard Parameters");
    printFlag("\n  EnableAdapterBoot        %1d", eab.value, textOf(kOnOff, eab.value));
    printFlag("\n  EnableBootFromSAN        %1d", bfs.value, textOf(kOnOff, bfs.value));
    if (link.value != BOOT_PARAM_UNAVAILABLE)
        printFlag(x86 ? "\n  LinkSpeed               %2d" : "\n  LinkSpeed                %1d",
                  link.value, linkText(link.value));
    if (topo.value != BOOT_PARAM_UNAVAILABLE)
        printFlag("\n  Topology                 %1d", topo.value,
                  textOf(kTopologyText, topo.value));
    emitText("\n Advanced Parameters");
}

void printAlpa(const BootParamSlot& alpa) {
    if (alpa.value != BOOT_PARAM_UNAVAILABLE)
        emitText("\n  DefaultAlpa           0x%02X", static_cast<unsigned>(alpa.value));
}

void printX86(const BootParamsX86& r) {
    printStandard(r.enableAdapterBoot, r.enableBootFromSan, r.linkSpeed, r.topology, true);
    printFlag("\n  AutoBootSectorEnable     %1d", r.autoBootSectorEnable.value,
              textOf(kOnOff, r.autoBootSectorEnable.value));
    printFlag("\n  AutoScan                 %1d", r.autoScan.value,
              textOf(kAutoScanText, r.autoScan.value));
    printAlpa(r.defaultAlpa);
    printFlag("\n  EDD30Enable              %1d", r.edd30Enable.value,
              textOf(kOnOff, r.edd30Enable.value));
    printFlag("\n  EnvVarEnable             %1d", r.envVarEnable.value,
              textOf(kOnOff, r.envVarEnable.value));
    printFlag("\n  PlogiRetryTimer          %1d", r.plogiRetryTimer.value,
              textOf(kPlogiText, r.plogiRetryTimer.value));
    printFlag("\n  SpinupDelayEnable        %1d", r.spinupDelayEnable.value,
              textOf(kOnOff, r.spinupDelayEnable.value));
    printFlag("\n  StartUnitCommandEnable   %1d", r.startUnitCommandEnable.value,
              textOf(kOnOff, r.startUnitCommandEnable.value));
    emitText("\n Boot Device Parameters");
    emitText("\n  Entry  Lun    D_ID        TargetWwpn");
    emitText("\n  -----  ---  ------  -----------------------");
    for (uint32_t i = 0; i < BOOT_DEVICES; ++i) {
        const BootDeviceX86& d = r.devices[i];
        emitText("\n      %1d  %03d  %06X  ", static_cast<int>(i), static_cast<int>(d.lun), d.did);
        printWwpn(d.wwpn);
    }
}

void printEfi(const BootParamsEfi& r) {
    printStandard(r.enableAdapterBoot, r.enableBootFromSan, r.linkSpeed, r.topology, false);
    printFlag("\n  BootTargetScan           %1d", r.bootTargetScan.value,
              textOf(kScanText, r.bootTargetScan.value));
    printAlpa(r.defaultAlpa);
    printFlag("\n  DevicePathSelection      %1d", r.devicePathSelection.value,
              textOf(kPathText, r.devicePathSelection.value));
    emitText("\n  MaxLunsPerTarget      %4d", r.maxLunsPerTarget.value);
    printFlag("\n  PlogiRetryTimer          %1d", r.plogiRetryTimer.value,
              textOf(kPlogiText, r.plogiRetryTimer.value));
    emitText("\n  ResetDelayTimer        %3d", r.resetDelayTimer.value);
    emitText("\n Boot Device Parameters");
    bool wide = false;
    for (const BootDeviceEfi& d : r.devices)
        if (lun64Of(d.lun) >= 256) wide = true;
    if (wide) {
        emitText("\n  Entry       Lun    D_ID        TargetWwpn");
        emitText("\n  -----  --------  ------  -----------------------");
    } else {
        emitText("\n  Entry  Lun    D_ID        TargetWwpn");
        emitText("\n  -----  ---  ------  -----------------------");
    }
    for (uint32_t i = 0; i < BOOT_DEVICES; ++i) {
        const BootDeviceEfi& d = r.devices[i];
        long long lun = static_cast<long long>(lun64Of(d.lun));
        emitText("\n      %1d", static_cast<int>(i));
        emitText(wide ? "  %08lld" : "  %03lld", lun);
        emitText("  %06X  ", d.did);
        printWwpn(d.wwpn);
    }
}

void printOb(const BootParamsOb& r) {
    printStandard(r.enableAdapterBoot, r.enableBootFromSan, r.linkSpeed, r.topology, false);
    printAlpa(r.defaultAlpa);
    emitText("\n  PlogiRetryTimer          %1d", r.plogiRetryTimer.value);
    printFlag("\n  SfsFlag                  %1d", r.sfsFlag.value, textOf(kOnOff, r.sfsFlag.value));
    emitText("\n Boot Device Parameters");
    emitText("\n  TargetId                       %04d", static_cast<int>(r.targetId));
    emitText("\n  Lun(8)                          %3d", static_cast<int>(r.lun8));
    emitText("\n  Lun(64)            %16lld", static_cast<long long>(lun64Of(r.lun64)));
    emitText("\n  D_ID                       0x%06X", r.did);
    emitText("\n  TargetWwpn  ");
    printWwpn(r.targetWwpn);
}

enum BootKind { KIND_X86, KIND_EFI, KIND_OB, KIND_NONE };

BootKind kindByPrefix(const char* kind) {
    if (strncmp(kind, "x86", 3) == 0) return KIND_X86;
    if (strncmp(kind, "efi", 3) == 0) return KIND_EFI;
    if (strncmp(kind, "ob", 2) == 0) return KIND_OB;
    return KIND_NONE;
}

} // namespace

uint32_t CLU_GetBootParams(int adapter, const char* kind) {
    BootKind k = kindByPrefix(kind);
    if (k == KIND_NONE) {
        emitText("Incorrect Input Symbols\n");
        return BOOT_PARAMS_BAD_KIND;
    }
    BootParamsX86 x86;
    BootParamsEfi efi;
    BootParamsOb ob;
    uint32_t st = k == KIND_X86   ? readBootParamsX86(adapter, &x86)
                  : k == KIND_EFI ? readBootParamsEfi(adapter, &efi)
                                  : readBootParamsOb(adapter, &ob);
    if (st != 0) {
        emitText("\nCLU_GetBootParams: Error\n");
    } else {
        emitText("\nCLU_GetBootParams: Success\n");
        if (k == KIND_X86) printX86(x86);
        if (k == KIND_EFI) printEfi(efi);
        if (k == KIND_OB) printOb(ob);
    }
    emitText("\n\n");
    return st;
}

namespace {

const char kSetDef[] = "[CLU_SetDefaultBootParams]";

uint32_t resetX86(int adapter, bool* readError) {
    BootParamsX86 r;
    uint32_t st = readBootParamsX86(adapter, &r);
    *readError = st != 0;
    if (st != 0) return st;
    BootParamSlot* cleared[] = {
        &r.enableAdapterBoot, &r.enableBootFromSan,    &r.linkSpeed,
        &r.topology,          &r.autoBootSectorEnable, &r.autoScan,
        &r.defaultAlpa,       &r.edd30Enable,          &r.envVarEnable,
        &r.plogiRetryTimer,   &r.spinupDelayEnable,    &r.startUnitCommandEnable};
    for (BootParamSlot* s : cleared)
        s->value = 0;
    r.devices[0].did = 0;
    r.devices[0].lun = 0;
    return CLU_SetBootParamsX86(adapter, false, &r);
}

uint32_t resetEfi(int adapter, bool* readError) {
    BootParamsEfi r;
    uint32_t st = readBootParamsEfi(adapter, &r);
    *readError = st != 0;
    if (st != 0) return st;
    BootParamSlot* cleared[] = {
        &r.enableAdapterBoot, &r.enableBootFromSan, &r.linkSpeed,           &r.topology,
        &r.bootTargetScan,    &r.defaultAlpa,       &r.devicePathSelection, &r.maxLunsPerTarget,
        &r.plogiRetryTimer,   &r.resetDelayTimer};
    for (BootParamSlot* s : cleared)
        s->value = 0;
    r.devices[0].did = 0;
    r.devices[0].lun[0] = r.devices[0].lun[1] = 0;
    return CLU_SetBootParamsEfi(adapter, false, &r);
}

uint32_t resetOb(int adapter, bool* readError) {
    BootParamsOb r;
    uint32_t st = readBootParamsOb(adapter, &r);
    *readError = st != 0;
    if (st != 0) return st;
    BootParamSlot* cleared[] = {
        &r.enableAdapterBoot, &r.enableBootFromSan, &r.linkSpeed, &r.topology,
        &r.defaultAlpa,       &r.plogiRetryTimer,   &r.sfsFlag};
    for (BootParamSlot* s : cleared)
        s->value = 0;
    r.did = r.lun8 = r.targetId = 0;
    r.lun64[0] = r.lun64[1] = 0;
    return CLU_SetBootParamsOb(adapter, false, &r);
}

// A read error ends the reset before anything is written.
uint32_t resetKind(int adapter, const char* kind, uint32_t (*reset)(int, bool*)) {
    bool readError = false;
    uint32_t st = reset(adapter, &readError);
    traceGroup(TRACE_GROUP_FC, "\n%s - %s (%s): status %d\n", kSetDef,
               readError ? "CLU_GetBootParams" : "CLU_SetBootParams", kind, static_cast<int>(st));
    return st;
}

} // namespace

uint32_t CLU_SetDefaultBootParams(int adapter, const char* kind) {
    traceGroup(TRACE_GROUP_FC, "\n%s\n", kSetDef);
    uint32_t st;
    if (strcmp(kind, "x86init") == 0) {
        st = CLU_SetBootParamsX86(adapter, true, nullptr);
        traceGroup(TRACE_GROUP_FC, "\n%s - (X86INIT): status %d\n", kSetDef, static_cast<int>(st));
        return st;
    }
    if (strcmp(kind, "efiinit") == 0) {
        st = CLU_SetBootParamsEfi(adapter, true, nullptr);
        traceGroup(TRACE_GROUP_FC, "\n%s - (EFIINIT): status %d\n", kSetDef, static_cast<int>(st));
        return st;
    }
    if (strcmp(kind, "obinit") == 0) {
        traceGroup(TRACE_GROUP_FC, "\n%s - (OBINIT): status %d\n", kSetDef, 0);
        return 0;
    }
    if (strcmp(kind, "x86") == 0) return resetKind(adapter, kind, resetX86);
    if (strcmp(kind, "efi") == 0) return resetKind(adapter, kind, resetEfi);
    if (strcmp(kind, "ob") == 0) return resetKind(adapter, kind, resetOb);
    emitText("\n%s - Incorrect Input Symbols\n", kSetDef);
    return BOOT_PARAMS_BAD_KIND;
}

// ---- command bodies -----------------------------------------------------------------------

void cmdGetBootParams(int index) {
    g_run.cluStatus = static_cast<int32_t>(CLU_GetBootParams(index, g_args.fileName));
}

void cmdSetDefBootParams(int index) {
    g_run.cluStatus = static_cast<int32_t>(CLU_SetDefaultBootParams(index, g_args.fileName));
}
