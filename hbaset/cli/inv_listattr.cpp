// The attribute listings: the per-entry values that listattr, listfw and
// hbaattr share, the long form (listattr, one labelled block per entry, read
// back by the batch updater) and the short form (listfw, one line per entry).
#include <cctype>
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/wakeup.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kPciConfigBytes = 256;
constexpr size_t kPciRevisionId = 8;
constexpr uint32_t kCvrMinRevision = 16;
constexpr int kAttrLabelWidth = 20;

void upperCase(char* s) {
    for (; *s; ++s)
        *s = static_cast<char>(toupper(static_cast<unsigned char>(*s)));
}

const char* kindTextOf(int i) {
    if (isFcoeFunction(i)) return "FCoE";
    if (isIscsiFunction(i)) return "iSCSI";
    if (isNicFunction(i)) return "NIC";
    return "FC";
}

// Byte 8 of the PCI configuration space; 0 when it cannot be read.
uint32_t readRevisionId(int i) {
    uint8_t config[kPciConfigBytes] = {};
    if (TGX_ReadPciCfg(static_cast<uint32_t>(i), config, 0, kPciConfigBytes) != 0) return 0;
    return config[kPciRevisionId];
}

// A version attribute of the converged adapter record.
void takeAttributeText(char* dest, const char* attribute, InventoryTextRule rule) {
    bool usable = attribute[0] != '\0' && (rule == TEXT_RULE_NON_EMPTY || validVersion(attribute));
    copyBounded(dest, INVENTORY_TEXT_SIZE, usable ? attribute : INV_NO_VERSION);
}

// Revision byte of the entry's own function record.
uint32_t convergedRevisionId(int i) {
    const uint8_t* config = convergedPciConfig(i);
    return config != nullptr ? config[kPciRevisionId] : 0;
}

void convergedTexts(int i, const CorevaneAdapter& a, InventoryTextRule rule, InventoryEntry* e) {
    takeAttributeText(e->fw, a.attributes.firmwareVersionOnFlash, rule);
    takeAttributeText(e->boot, a.attributes.bootCodeVersion, rule);
    takeAttributeText(e->bios, a.attributes.biosVersion, rule);
    if (!e->fcEntry) e->revId = convergedRevisionId(i);
}

// Boot texts of a Brevin FC function from its controller queries.
void brevinBootTexts(int i, InventoryEntry* e) {
    copyBounded(e->boot, sizeof e->boot, INV_NO_FC_VERSION);
    copyBounded(e->bios, sizeof e->bios, INV_NO_FC_VERSION);
    uint8_t enabled = 0;
    CntlAddlAttributes attrs;
    if (queryBootCodeState(i, &enabled) != 0) return;
    if (SC_PerformCommonGetCntlAddlAttributes(i, &attrs) != 0) return;
    upperCase(attrs.universalBiosVersion);
    copyBounded(e->boot, sizeof e->boot, attrs.universalBiosVersion);
    copyBounded(e->bios, sizeof e->bios, attrs.universalBiosVersion);
    e->bootEnabled = enabled != 0 ? 1 : 0;
}

// Boot texts of other FC functions from the wakeup parameters. A driver
// that keeps no wakeup region (the backend of a real server's FC transport)
// has no boot version to show: "N/A", and nothing failed.
int32_t wakeupBootTexts(int i, InventoryEntry* e) {
    WakeupParms parms;
    uint32_t st = ReadWakeupParms(i, &parms);
    if (st != 0) {
        copyBounded(e->boot, sizeof e->boot, INV_NOT_AVAILABLE);
        if (!isSli4(i) || st != REGION_NOT_APPLICABLE_SLI4) return CLU_WAKEUP_READ;
        copyBounded(e->bios, sizeof e->bios, INV_NOT_AVAILABLE);
        return CLU_OK;
    }
    if (parms.expRom.w0 == 0) {
        copyBounded(e->boot, sizeof e->boot, INV_NO_BOOT);
        return CLU_OK;
    }
    formatProgramVersion(i, parms.expRom.w0, e->boot, sizeof e->boot);
    e->bootEnabled = parms.bootBios.w0 != 0 ? 1 : 0;
    return CLU_OK;
}

// Firmware, boot and BIOS texts of an entry of the adapter library. Returns
// the last failure (29 or 19) or 0.
int32_t fcTexts(int i, InventoryEntry* e) {
    int32_t status = CLU_OK;
    bool fcoe = isFcoeFunction(i);
    MboxBuf mb;
    if (isSli4(i)) {
        if (ReadRev4(i, &mb) != 0) {
            copyBounded(e->fw, sizeof e->fw, INV_NO_VERSION);
            status = CLU_REVISION_READ;
        } else {
            revisionFirmwareName(mboxBytes(mb), false, e->fw, sizeof e->fw);
        }
    } else if (ReadRev(i, &mb) != 0) {
        copyBounded(e->fw, sizeof e->fw, INV_NO_FC_VERSION);
        status = CLU_REVISION_READ;
    } else {
        bool plain = fcoe || isBrevinFc(i);
        revisionFirmwareName(mboxBytes(mb), !plain, e->fw, sizeof e->fw);
    }

    if (fcoe) {
        copyBounded(e->boot, sizeof e->boot, INV_NO_VERSION);
        copyBounded(e->bios, sizeof e->bios, INV_NO_VERSION);
    } else if (isBrevinFc(i)) {
        brevinBootTexts(i, e);
    } else {
        int32_t st = wakeupBootTexts(i, e);
        if (st != CLU_OK) status = st;
    }
    return status;
}

const char* orNotAvailable(const char* text) {
    return text[0] != '\0' ? text : INV_NOT_AVAILABLE;
}

// Serial of a matched FCoE function: that of the first NIC entry at or after
// it on the same converged adapter; an adapter without NIC functions gives its
// own serial number.
const char* fcoeSerial(int i, const AdapterRecord& r) {
    for (uint32_t j = static_cast<uint32_t>(i); j < g_table.totalCount; ++j) {
        int k = static_cast<int>(j);
        const AdapterRecord* other = adapterAt(k);
        if (isNicFunction(k) && other->cnaAdapterIndex == r.cnaAdapterIndex)
            return other->cnaSerialNumber;
    }
    const CorevaneAdapter* a = cnaAdapterOf(i);
    return a != nullptr ? orNotAvailable(a->attributes.serialNumber) : INV_NOT_AVAILABLE;
}

void fillIdentifiers(const AdapterRecord& r, InventoryEntry* e) {
    if (e->fcEntry) {
        e->deviceId = r.deviceId;
        e->vendorId = r.vendorId;
        e->subsystemId = r.subsystemId;
        e->subsystemVendorId = r.subsystemVendorId;
        e->bus = r.pciBus;
        e->device = r.pciDevice;
        e->function = r.pciFunction;
        const uint32_t words[2] = {r.wwpnHigh, r.wwpnLow};
        for (size_t k = 0; k < 8; ++k)
            e->address[k] = static_cast<uint8_t>(words[k / 4] >> (24 - 8 * (k % 4)));
    } else {
        e->deviceId = r.cnaDeviceId;
        e->vendorId = r.cnaVendorId;
        e->subsystemId = r.cnaSubsystemId;
        e->subsystemVendorId = r.cnaSubsystemVendorId;
        e->bus = r.cnaBus;
        e->device = r.cnaDevice;
        e->function = r.cnaFunction;
        memcpy(e->address, r.permanentMac, sizeof r.permanentMac);
    }
}

bool cvrDevice(uint32_t deviceId) {
    DeviceFamily f = deviceFamilyOf(deviceId);
    return f == FAMILY_CV3 || f == FAMILY_TARNEL;
}

bool noAdapterAtAll() {
    return g_table.fcCount == 0 && g_table.totalCount == 0;
}

void reportNoAdapter() {
    setMessageLine("No Quoral adapter detected in the system");
    emitLine();
    g_run.cluStatus = CLU_NO_ADAPTER;
}

// ---- listattr block -----------------------------------------------------------------------
struct HexLine {
    const char* label;
    uint32_t value;
};

void printAttrBlock(int i, const InventoryEntry& e) {
    const int w = kAttrLabelWidth;
    emitText("%-*s : %d\n", w, "HBA", i + 1);
    emitText("%-*s : %s\n", w, "Serial Number", e.serial);
    emitText("%-*s : %s\n", w, "Model", inventoryModel(i, e));
    emitText("%-*s : %s\n", w, "FW Version", e.fw);
    emitText("%-*s : %s\n", w, "Boot Version", e.boot);
    emitText("%-*s : %d\n", w, "Boot Enabled", e.bootEnabled);
    if (isSli4(i)) emitText("%-*s : %s\n", w, "BIOS Version", e.bios);
    const uint8_t* a = e.address;
    if (e.fcEntry)
        emitText("%-*s : %02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X\n", w, "Port WWN", a[0], a[1],
                 a[2], a[3], a[4], a[5], a[6], a[7]);
    else
        emitText("%-*s : %02X:%02X:%02X:%02X:%02X:%02X\n", w, "Permanent Mac", a[0], a[1], a[2],
                 a[3], a[4], a[5]);
    emitText("%-*s : %s\n", w, "Function Type", e.kindText);
    const HexLine ids[] = {{"Device ID", e.deviceId},
                           {"Vendor ID", e.vendorId},
                           {"Sub Device ID", e.subsystemId},
                           {"Sub Vendor ID", e.subsystemVendorId}};
    for (const HexLine& l : ids)
        emitText("%-*s : %04X\n", w, l.label, l.value);
    const HexLine location[] = {
        {"PCI Bus Number", e.bus}, {"PCI Dev Number", e.device}, {"PCI Fun Number", e.function}};
    for (const HexLine& l : location)
        emitText("%-*s : %X\n", w, l.label, l.value);
    struct {
        const char* label;
        int32_t value;
    } const flags[] = {{"VPD Model", e.vpdModel},
                       {"Multi Channel", e.multiChannel},
                       {"Configuration", e.configuration},
                       {"CVR", e.cvr}};
    for (const auto& l : flags)
        emitText("%-*s : %d\n", w, l.label, l.value);
    emitText("%-*s : %X\n", w, "RevID", e.revId);
    emitText("\n");
}

// ---- listfw line --------------------------------------------------------------------------
void printFwLine(int i, const InventoryEntry& e) {
    emitText("HBA %d", i + 1);
    emitText(": %s", inventoryModel(i, e));
    emitText("; FW=%s", e.fw);
    emitText("; BC=%s", e.boot);
    emitText("; BS=%d", e.bootEnabled);
    if (!e.fcEntry || isSli4(i)) emitText("; BIOS=%s", e.bios);
    emitText("; pciID=%04X", e.deviceId);
    emitText("; venID=%04X", e.vendorId);
    emitText("; ssDID=%04X", e.subsystemId);
    emitText("; ssVID=%04X", e.subsystemVendorId);
    emitText("; DCflag=%d", e.multiChannel);
    emitText("; Config=%d", e.configuration);
    emitText("; SN=%s", e.serial);
    emitText("; CVR=%d", e.cvr);
    emitText("; RevID=%X", e.revId);
    emitText("; vpdModel=%d", e.vpdModel);
    emitText("\n");
}

void listEntries(void (*print)(int, const InventoryEntry&)) {
    if (noAdapterAtAll()) {
        reportNoAdapter();
        return;
    }
    InventoryEntry e;
    for (uint32_t k = 0; k < g_table.totalCount; ++k) {
        int i = static_cast<int>(k);
        int32_t st = inventoryEntry(i, TEXT_RULE_VALID_VERSION, &e);
        if (st != CLU_OK) g_run.cluStatus = st;
        if (st == CLU_CNA_VPD) continue;
        print(i, e);
    }
}

} // namespace

void revisionFirmwareName(const uint8_t* answer, bool wordReversed, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    uint8_t name[REV_FW_NAME_SIZE];
    const uint8_t* src = answer + REV_FW_NAME_OFFSET;
    for (size_t k = 0; k < REV_FW_NAME_SIZE; ++k)
        name[k] = wordReversed ? src[(k & ~size_t{3}) + 3 - (k & 3)] : src[k];
    size_t n = 0;
    while (n < REV_FW_NAME_SIZE && n + 1 < size && name[n] != 0) {
        out[n] = static_cast<char>(name[n]);
        ++n;
    }
    out[n] = '\0';
}

bool usesConvergedRecord(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr || !isNexaManaged(i) || !g_run.nexaUp) return false;
    return !isFcoeFunction(i) || r->fcoeMatched != 0;
}

const char* inventoryModel(int i, const InventoryEntry& e) {
    const AdapterRecord* r = adapterAt(i);
    if (!g_table.useVpdModel) return e.query.baseModel;
    if (r != nullptr && (r->flags & ADAPTER_FLAG_VPD_MODEL)) return r->modelName;
    return e.query.modelName;
}

int32_t inventoryEntry(int i, InventoryTextRule rule, InventoryEntry* e) {
    memset(e, 0, sizeof *e);
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return CLU_INVALID_ADAPTER;
    e->kindText = kindTextOf(i);
    fillModelQuery(i, &e->query);
    e->fcEntry = static_cast<uint32_t>(i) < g_table.fcCount;
    fillIdentifiers(*r, e);
    e->vpdModel = (r->flags & ADAPTER_FLAG_VPD_MODEL) ? 1 : 0;
    if (e->fcEntry) e->revId = readRevisionId(i);

    int32_t status = CLU_OK;
    if (usesConvergedRecord(i)) {
        const CorevaneAdapter* a = cnaAdapterOf(i);
        if (a == nullptr) return CLU_CNA_VPD;
        e->nexaRecord = true;
        convergedTexts(i, *a, rule, e);
    } else if (e->fcEntry) {
        status = fcTexts(i, e);
        e->multiChannel = (r->flags & ADAPTER_FLAG_DUAL_CHANNEL) ? 1 : 0;
        e->configuration = isOemConfiguration(i);
    } else {
        // A converged function without its NEXA connection has nothing to read.
        copyBounded(e->fw, sizeof e->fw, INV_NO_VERSION);
        copyBounded(e->boot, sizeof e->boot, INV_NO_VERSION);
        copyBounded(e->bios, sizeof e->bios, INV_NO_VERSION);
    }

    if (e->nexaRecord && isFcoeFunction(i))
        copyBounded(e->serial, sizeof e->serial, fcoeSerial(i, *r));
    else if (e->fcEntry)
        copyBounded(e->serial, sizeof e->serial, orNotAvailable(r->serialNumber));
    else
        copyBounded(e->serial, sizeof e->serial, orNotAvailable(r->cnaSerialNumber));
    e->cvr = cvrDevice(e->deviceId) && e->revId >= kCvrMinRevision ? 1 : 0;
    return status;
}

void cmdListAttr() {
    listEntries(printAttrBlock);
}

void cmdListFw() {
    listEntries(printFwLine);
}

// Shared with listhba and hbaattr.
void inventoryReportNoAdapter(bool lineEnd) {
    if (lineEnd) {
        emitText("No Quoral adapter detected in the system\n");
        g_run.cluStatus = CLU_NO_ADAPTER;
    } else {
        reportNoAdapter();
    }
}

bool inventoryNoAdapter() {
    return noAdapterAtAll();
}
