// Boot device commands: setbootdevice, readbootdevice, enablebootdevice and
// disablebootdevice edit and show the x86 boot device in region 8; setAltBoot
// and readaltboot the seven alternate boot devices in region 9; listboot lists
// the boot images in flash; enableAdapterBootCode selects the image the
// adapter starts; networkboot switches PXE boot of a converged NIC function.
#include "hbaset/fcmaint/boot_device.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"
#include "hbaset/fcmaint/boot_records.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/wakeup.h"
#include "libtgx/libtgx.h"

namespace {

// Exit codes of these commands.
constexpr int32_t kRegionRead = 30;
constexpr int32_t kNoBootCode = 37;
constexpr int32_t kRegionWrite = 38;
constexpr int32_t kNoBootImage = 39;
constexpr int32_t kBootConfigQuery = 79;

// Hardware types whose adapters carry an expansion ROM copy of the boot BIOS.
const uint16_t kExpansionRomHwTypes[] = {18, 56, 868, 1296, 1399, 4100};

int number(int index) {
    return index + 1;
}

// ---- region 8 --------------------------------------------------------------------------

uint32_t readRegion8(int adapter, uint8_t r8[REGION8_SIZE]) {
    uint32_t length = REGION8_SIZE;
    return DumpConfigRegion(adapter, REGION_BOOT, 0, &length, r8);
}

// SLI-4 adapters write through the library (with its re-initialise retry),
// others with one update mailbox carrying the 60 bytes.
uint32_t writeRegion8(int adapter, const uint8_t r8[REGION8_SIZE]) {
    if (isSli4(adapter)) return UpdateConfigRegion(adapter, REGION_BOOT, REGION8_SIZE, r8);
    MboxBuf mb;
    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[0] |= 1;
    mb.w[1] = UPDATE_CFG_DATA;
    mb.w[2] = REGION_BOOT | (REGION8_SIZE << 16);
    mb.w[4] = REGION8_SIZE;
    memcpy(mboxBytes(&mb) + MBOX_DATA_OFFSET, r8, REGION8_SIZE);
    return IssueMbox1(adapter, &mb);
}

// The boot code reads region 8 at start-up only: other than SLI-4 adapters
// are reset after a change. 0 or 14.
int32_t resetAfterWrite(int adapter) {
    if (isSli4(adapter)) return CLU_OK;
    return TGX_ResetAdapter(static_cast<uint32_t>(adapter), 1) == 0 ? CLU_OK : CLU_RESET_FAILED;
}

// A boot BIOS must be selected before boot devices mean anything.
bool bootCodeEnabled(int adapter) {
    WakeupParms wp;
    if (ReadWakeupParms(adapter, &wp) != 0) {
        say("Read Wakeup Parms Error");
        return false;
    }
    return wp.bootBios.w0 != 0;
}

void printSuccessLines() {
    emitText("Configuration changes have been successfully written.\n");
    emitText("Please reboot the system for the changes to take effect.\n");
}

int32_t setBootDevice(int index) {
    uint8_t r8[REGION8_SIZE] = {};
    memcpy(r8 + X86_SIGNATURE, "BIOS", 4);
    uint32_t st = readRegion8(index, r8);
    if (st != 0) {
        emitText("adapter %d: Error status %x\n", number(index), st);
        emitText("Read Config Region Error\n");
        return kRegionRead;
    }
    // Another layout (OpenBoot) or none: start from a cleared x86 image, never
    // write x86 fields over other settings.
    if (memcmp(r8 + X86_SIGNATURE, "BIOS", 4) != 0) {
        memset(r8, 0, sizeof r8);
        memcpy(r8 + X86_SIGNATURE, "BIOS", 4);
    }
    putLe32(r8 + X86_WWPN, g_args.wwpn[0]);
    putLe32(r8 + X86_WWPN + 4, g_args.wwpn[1]);
    uint32_t didLun = le32(r8 + X86_DID_LUN);
    putLe32(r8 + X86_DID_LUN, (didLun & 0xFFFFFF) | (g_args.lun & 0xFF) << 24);
    putLe32(r8 + X86_FLAGS, X86F_SETBOOTDEVICE);
    r8[X86_PLOGI] = 1;
    if (!isSli4(index) && !bootCodeEnabled(index)) {
        say("No Boot Code enabled");
        return kNoBootCode;
    }
    constexpr uint8_t kKeptOptions = 0xF2; // bits 1 and 4-7
    r8[X86_OPTIONS] =
        static_cast<uint8_t>((r8[X86_OPTIONS] & kKeptOptions) |
                             (g_args.topology & X86_OPT_TOPOLOGY_MASK) | X86_OPT_BOOT_FROM_SAN);
    st = writeRegion8(index, r8);
    if (st != 0) {
        emitText("adapter %d: Error status %x\n", number(index), st);
        say("Update Config Region Error");
        return kRegionWrite;
    }
    return resetAfterWrite(index);
}

// enablebootdevice and disablebootdevice: flag bit 1 set, byte 9 bit 0 as asked.
int32_t switchBootDevice(int index, bool enable) {
    uint8_t r8[REGION8_SIZE] = {};
    uint32_t st = readRegion8(index, r8);
    if (st != 0) {
        if (!enable)
            traceGroup(TRACE_GROUP_FC,
                       "[DoDisableBootDevice] - DumpConfigRegion 8 Error tgxStat %d\n",
                       static_cast<int>(st));
        say(enable ? "Dump Config Region 8 Error" : "Dump Config Region 8 Error\n");
        return kRegionRead;
    }
    putLe32(r8 + X86_FLAGS, le32(r8 + X86_FLAGS) | X86F_WRITTEN);
    if (enable)
        r8[X86_OPTIONS] |= X86_OPT_BOOT_FROM_SAN;
    else
        r8[X86_OPTIONS] &= static_cast<uint8_t>(~X86_OPT_BOOT_FROM_SAN);
    st = writeRegion8(index, r8);
    if (st != 0) {
        if (enable) {
            emitText("adapter %d: Error status %x\n", number(index), st);
            say("Update Config Region Error");
        } else {
            traceGroup(TRACE_GROUP_FC,
                       "[DoDisableBootDevice] - IssueMbox1 Update Config Region 8 tgxStat %d\n",
                       static_cast<int>(st));
            say("Update Config Region 8 Error\n");
        }
        return kRegionWrite;
    }
    int32_t rc = resetAfterWrite(index);
    if (rc == CLU_OK) printSuccessLines();
    return rc;
}

const char* topologyLine(uint8_t options) {
    switch (options & X86_OPT_TOPOLOGY_MASK) {
    case X86_TOPO_PTP:
        return "Topology:        Point-to-Point";
    case X86_TOPO_LOOP:
        return "Topology:        Arbitrated Loop";
    case X86_TOPO_AUTO_PTP:
        return "Topology:        Auto - Point-to-Point First";
    default:
        return "Topology:        Auto - Arbitrated Loop First";
    }
}

int32_t readBootDevice(int index) {
    uint8_t r8[REGION8_SIZE] = {};
    if (readRegion8(index, r8) != 0) return kRegionRead;
    sayf("Boot Device WWN: %08X   %08X", le32(r8 + X86_WWPN), le32(r8 + X86_WWPN + 4));
    sayf("Boot Device LUN: %d", static_cast<int>(le32(r8 + X86_DID_LUN) >> 24));
    say(topologyLine(r8[X86_OPTIONS]));
    say(le32(r8 + X86_FLAGS) & X86F_WRITTEN ? "Current State: Enabled" : "Current State: Disabled");
    return CLU_OK;
}

// ---- region 9 ----------------------------------------------------------------------------

// Region 9 as setAltBoot and readaltboot see it: 256 bytes, zero where the
// adapter returned nothing. An absent region reads as zeros; other errors
// are returned (never print or write back what was not read).
uint32_t readRegion9Alt(int adapter, uint8_t r9[REGION9_ALT_SIZE]) {
    memset(r9, 0, REGION9_ALT_SIZE);
    uint32_t n = 0;
    uint32_t st = DumpConfigRegionEx(adapter, REGION_ALT_BOOT, REGION9_ALT_SIZE, &n, r9);
    return st == RM_STATUS_REGION_UNKNOWN ? 0 : st;
}

void buildAltEntry(uint8_t r9[REGION9_ALT_SIZE]) {
    memcpy(r9 + EXTB_SIGNATURE, "EXTB", 4);
    uint8_t* e = r9 + extbEntry(g_args.bootIndex);
    putLe32(e, g_args.wwpn[0]);
    putLe32(e + 4, g_args.wwpn[1]);
    uint32_t didLun = le32(e + EXTB_ENTRY_DID_LUN);
    putLe32(e + EXTB_ENTRY_DID_LUN, (didLun & 0xFFFFFF) | (g_args.lun & 0xFF) << 24);
}

// Writes the 256 bytes; *mbxStatus receives the adapter's status of a failure.
uint32_t writeRegion9Alt(int adapter, const uint8_t r9[REGION9_ALT_SIZE], uint32_t* mbxStatus) {
    *mbxStatus = 0;
    if (isSli4(adapter)) {
        uint32_t st = UpdateConfigRegion(adapter, REGION_ALT_BOOT, REGION9_ALT_SIZE, r9);
        *mbxStatus = st;
        return st;
    }
    uint8_t data[REGION9_ALT_SIZE];
    memcpy(data, r9, sizeof data);
    MboxBuf mb;
    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[0] |= 1;
    mb.w[1] = UPDATE_CFG_DATA | MBX_FLAG_BIT4 | MBX_FLAG_BIT5;
    mb.w[2] = REGION_ALT_BOOT | (REGION9_ALT_SIZE << 16);
    mb.w[4] = REGION9_ALT_SIZE;
    uint32_t words = REGION9_ALT_SIZE / 4;
    uint32_t st = TGX_IssueMboxWithRetryEx(static_cast<uint32_t>(adapter), mb.w, data, 5, words,
                                           MBOX_CLASSIC_WORDS, 2, 100);
    if (st != 0) *mbxStatus = mboxStatus(mb);
    return st;
}

int32_t setAltBoot(int index) {
    bool sli4 = isSli4(index);
    if (!sli4 && !bootCodeEnabled(index)) {
        say("No Boot Code enabled");
        return kNoBootCode;
    }
    // Refused before anything is written: region 8 would otherwise announce
    // alternate devices that region 9 never received.
    const AdapterRecord* rec = adapterAt(index);
    if (!sli4 && rec != nullptr && rec->mailboxLimit == MAILBOX_LIMIT_BASE) {
        emitText("This older driver does not allow to write 256 bytes of data\n");
        return kRegionWrite;
    }
    // Both regions are read before either is written: a failed read leaves
    // the adapter as it was.
    uint8_t r8[REGION8_SIZE] = {};
    if (readRegion8(index, r8) != 0) {
        say("Dump Config Region 8 Error");
        return kRegionRead;
    }
    uint8_t r9[REGION9_ALT_SIZE];
    if (readRegion9Alt(index, r9) != 0) {
        emitText("Failed to dump config region 9\n");
        return kRegionRead;
    }
    putLe32(r8 + X86_FLAGS, le32(r8 + X86_FLAGS) | X86F_ALT_BOOT | X86F_BOOT_DEVICE);
    if (writeRegion8(index, r8) != 0) {
        say("Update Config Region 8 Error");
        return kRegionWrite;
    }
    buildAltEntry(r9);
    uint32_t mbx = 0;
    if (writeRegion9Alt(index, r9, &mbx) == 0) return CLU_OK;
    emitText("Update Config Region 9 Error %04x. Try to initialize...\n", mbx);
    if (ReconstructRegion(index, REGION_ALT_BOOT, REGION9_ALT_SIZE) != 0) {
        emitText("Attempt to re-initialize Config Region 9 fails\n");
        return kRegionWrite;
    }
    memset(r9, 0, sizeof r9);
    buildAltEntry(r9);
    if (writeRegion9Alt(index, r9, &mbx) == 0) return CLU_OK;
    emitText("Update Config Region 9 Error %04x\n", mbx);
    return kRegionWrite;
}

int32_t readAltBoot(int index) {
    uint8_t r9[REGION9_ALT_SIZE];
    if (readRegion9Alt(index, r9) != 0) {
        emitText("Failed to dump config region 9\n");
        return kRegionRead;
    }
    for (uint32_t i = 1; i <= EXTB_ENTRIES; ++i) {
        const uint8_t* e = r9 + extbEntry(i);
        sayf("Alt Boot %u-     Boot Device WWN: %08X   %08X   Boot Device LUN: %d", i, le32(e),
             le32(e + 4), static_cast<int>(le32(e + EXTB_ENTRY_DID_LUN) >> 24));
    }
    return CLU_OK;
}

// ---- boot images -----------------------------------------------------------------------------

void versionOf(int adapter, const ProgramId& p, char* out) {
    char text[PROGRAM_VERSION_TEXT_SIZE];
    formatProgramVersion(adapter, p.w0, text, sizeof text);
    copyBounded(out, LOAD_LIST_VERSION_LEN + 1, text);
}

bool hasExpansionRom(int adapter) {
    const AdapterRecord* r = adapterAt(adapter);
    if (r == nullptr) return false;
    for (uint16_t hw : kExpansionRomHwTypes)
        if (r->hwType == hw) return true;
    return false;
}

// Brevin FC functions: the boot code state and the four BIOS versions.
int32_t listBootBrevin(int index) {
    uint8_t enabled = 0;
    uint32_t st = queryBootCodeState(index, &enabled);
    if (st != 0) {
        sayf("Unable to retrieve current Boot Code configuration on Adapter #%d - Status = %d",
             number(index), static_cast<int>(st));
        return kBootConfigQuery;
    }
    CntlAddlAttributes attrs;
    memset(&attrs, 0, sizeof attrs);
    st = SC_PerformCommonGetCntlAddlAttributes(index, &attrs);
    if (st != 0) {
        say("fc_universal_bios_version   = N/A");
        say("fc_x86_bios_version         = N/A");
        say("fc_efi_bios_version         = N/A");
        say("fc_fcode_version            = N/A");
        sayf("RM Status                   = %X", st);
        return kBootConfigQuery;
    }
    sayf(enabled ? "Boot Code (enabled)         = %s" : "Boot Code (disabled)        = %s",
         attrs.universalBiosVersion);
    sayf("fc_universal_bios_version   = %s", attrs.universalBiosVersion);
    sayf("fc_x86_bios_version         = %s", attrs.x86BiosVersion);
    sayf("fc_efi_bios_version         = %s", attrs.efiBiosVersion);
    sayf("fc_fcode_version            = %s", attrs.fcodeVersion);
    return CLU_OK;
}

int32_t listBootImages(int index) {
    BootBiosList list;
    collectBootBiosList(index, &list);
    const ProgramId& slot = list.wakeup.bootBios;
    for (uint32_t i = 0; i < list.count; ++i) {
        const BootBiosEntry& e = list.entries[i];
        bool on = e.program.w0 == slot.w0;
        emitText(on ? "BootBIOS %d (enabled):    " : "BootBIOS %d (disabled):   ",
                 static_cast<int>(i + 1));
        say(e.version);
    }
    if (list.eromAdded) {
        bool on = slot.w0 != 0 || slot.w1 != 0;
        emitText(on ? "BootBIOS %d (enabled):     " : "BootBIOS %d (disabled):    ",
                 static_cast<int>(list.count + 1));
        say(list.entries[list.count].version);
    }
    if (bootBiosTotal(list) == 0) {
        sayf("No Boot BIOS program loaded in adapter %d", number(index));
        return kNoBootImage;
    }
    return CLU_OK;
}

} // namespace

uint32_t collectBootBiosList(int adapter, BootBiosList* out) {
    memset(out, 0, sizeof *out);
    out->wakeupRead = ReadWakeupParms(adapter, &out->wakeup) == 0;
    if (!out->wakeupRead) memset(&out->wakeup, 0, sizeof out->wakeup);
    const ProgramId& erom = out->wakeup.expRom;
    out->eromPresent = out->wakeupRead && erom.w0 != 0;

    LoadListEntry walked[LOAD_LIST_MAX_ENTRIES];
    uint32_t walkedCount = 0;
    uint32_t st = WalkLoadList(adapter, walked, LOAD_LIST_MAX_ENTRIES, &walkedCount);
    if (st != 0) emitText("DumpMemory fails, status %08x\n", st);
    // Room for the expansion ROM entry when it has to be added.
    uint32_t room = BOOT_BIOS_LIST_MAX - (out->eromPresent ? 1 : 0);
    for (uint32_t i = 0; i < walkedCount; ++i) {
        const LoadListEntry& e = walked[i];
        if (loadEntryFree(e) || programType(loadEntryProgram(e)) != PROGRAM_TYPE_BOOT) continue;
        ProgramId p = loadEntryProgram(e);
        if (out->eromPresent && p == erom) out->eromIncluded = true;
        if (out->count == room) continue;
        out->entries[out->count].program = p;
        versionOf(adapter, p, out->entries[out->count].version);
        ++out->count;
    }
    if (out->eromPresent && !out->eromIncluded && out->count < BOOT_BIOS_LIST_MAX) {
        out->entries[out->count].program = erom;
        versionOf(adapter, erom, out->entries[out->count].version);
        out->eromAdded = true;
    }
    return st;
}

int32_t enableAdapterBootCode(int adapter, uint32_t index, bool reset) {
    const char* n = "[enableAdapterBootCode]";
    traceGroup(TRACE_GROUP_FC, "\n%s\n", n);
    BootBiosList list;
    collectBootBiosList(adapter, &list);
    uint32_t total = bootBiosTotal(list);
    traceGroup(TRACE_GROUP_FC, "%s - Boot BIOS Count %d\n", n, static_cast<int>(list.count));
    traceGroup(TRACE_GROUP_FC, "%s - EromPresent %X\n", n, list.eromPresent ? 1u : 0u);
    traceGroup(TRACE_GROUP_FC, "%s - EromIncluded %X\n", n, list.eromIncluded ? 1u : 0u);
    traceGroup(TRACE_GROUP_FC, "%s - Total Count %d\n", n, static_cast<int>(total));
    traceGroup(TRACE_GROUP_FC, "%s - Index %d\n", n, static_cast<int>(index));
    // No such image: selecting it would write a stale or empty slot.
    if (index >= total) return kNoBootImage;

    WakeupParms wp;
    uint32_t st = ReadWakeupParms(adapter, &wp);
    traceGroup(TRACE_GROUP_FC, "%s - ReadWakeupParms returnStat %08X\n", n, st);
    if (st != 0) {
        emitText("Read Wakeup Parameters Error: %08X\n", st);
        return CLU_WAKEUP_READ;
    }
    wp.bootBios = list.entries[index].program;
    if (hasExpansionRom(adapter)) {
        wp.expRom = wp.bootBios;
        st = LoadExpansionRom(adapter, wp, true);
        traceGroup(TRACE_GROUP_FC, "%s - processLoadExpRom returnStat %08X\n", n, st);
    }
    st = UpdateWakeupParmsBoot(adapter, wp);
    traceGroup(TRACE_GROUP_FC, "%s - UpdateWakeupParms1 returnStat %08X\n", n, st);
    if (st != 0) {
        sayf("%s - Update Wakeup Parms error %08X", n, st);
        return CLU_WAKEUP_UPDATE;
    }
    if (!reset) {
        traceGroup(TRACE_GROUP_FC, "%s - Skipping adapter reset\n", n);
        return CLU_OK;
    }
    st = TGX_ResetAdapter(static_cast<uint32_t>(adapter), 1);
    traceGroup(TRACE_GROUP_FC, "%s - ResetAdapter returnStat %d\n", n, static_cast<int>(st));
    return st == 0 ? CLU_OK : CLU_RESET_FAILED;
}

// ---- command bodies --------------------------------------------------------------------------

void cmdSetBootDevice(int index) {
    g_run.cluStatus = setBootDevice(index);
}

void cmdReadBootDevice(int index) {
    g_run.cluStatus = readBootDevice(index);
}

void cmdEnableBootDevice(int index) {
    g_run.cluStatus = switchBootDevice(index, true);
}

void cmdDisableBootDevice(int index) {
    traceGroup(TRACE_GROUP_FC, "\n[DoDisableBootDevice]\n");
    g_run.cluStatus = switchBootDevice(index, false);
}

void cmdSetAltBoot(int index) {
    g_run.cluStatus = setAltBoot(index);
}

void cmdReadAltBoot(int index) {
    g_run.cluStatus = readAltBoot(index);
}

void cmdListBoot(int index) {
    if (isNexaManaged(index)) {
        g_run.cluStatus = cnaListBoot(index);
        return;
    }
    g_run.cluStatus = isBrevinFc(index) ? listBootBrevin(index) : listBootImages(index);
}

// The NIC function's record (found by its permanent or current MAC) names the
// NEXA node whose network boot setting changes; the method is the t= text as
// typed, at most 6 characters.
void cmdNetworkBoot(int index, uint32_t setting) {
    const MalNicFunction* nic = cnaNicRecordOf(index);
    if (nic == nullptr) {
        emitText("UpdateNetworkBootStatus failed. Unable to find MAC Address. Status %d\n",
                 CLU_MAC_FAILED);
        g_run.cluStatus = CLU_MAC_FAILED;
        return;
    }
    char method[7];
    copyBounded(method, sizeof method, g_args.fileName);
    int st = MAL_SetNetworkBoot(nic->tag, setting != 0, method);
    if (st != 0) {
        emitText("UpdateNetworkBootStatus failed. Setting the networkboot parameter failed. "
                 "Status %d\n",
                 st);
        g_run.cluStatus = CLU_NIC_SETTING_FAILED;
        return;
    }
    g_run.cluStatus = CLU_OK;
}
