// hbaattr: the attribute listing of one entry or of all, with the converged
// adapter's own properties for functions managed through NEXA.
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

namespace {

constexpr int kLabelWidth = 30;

using AttributeText = char (MalControllerAttributes::*)[MAL_TEXT_SIZE];

struct AttributeLine {
    const char* label;
    AttributeText field;
};

// Printed before the network boot lines of NIC functions.
const AttributeLine kLeadingAttributes[] = {
    {"ControllerStatus", &MalControllerAttributes::controllerStatus},
    {"Manufacturer", &MalControllerAttributes::manufacturer},
    {"ModelNumber", &MalControllerAttributes::modelNumber},
    {"Description", &MalControllerAttributes::description},
    {"Capabilities", &MalControllerAttributes::capabilities},
    {"ActiveFirmwareVersion", &MalControllerAttributes::activeFirmwareVersion},
    {"FirmwareVersionOnFlash", &MalControllerAttributes::firmwareVersionOnFlash},
};

// Printed after them, up to the on-die temperature.
const AttributeLine kVersionAttributes[] = {
    {"BIOSVersion", &MalControllerAttributes::biosVersion},
    {"BootCodeVersion", &MalControllerAttributes::bootCodeVersion},
    {"FirmwareStatus", &MalControllerAttributes::firmwareStatus},
    {"FCoEUniversalVersion", &MalControllerAttributes::fcoeUniversalVersion},
    {"FCoEx86BIOSVersion", &MalControllerAttributes::fcoeX86BiosVersion},
    {"FCoEEFIVersion", &MalControllerAttributes::fcoeEfiVersion},
    {"FCoEFCODEVersion", &MalControllerAttributes::fcoeFcodeVersion},
    {"UEFINICVersion", &MalControllerAttributes::uefiNicVersion},
    {"UEFIFCODEVersion", &MalControllerAttributes::uefiFcodeVersion},
    {"UEFIiSCSIVersion", &MalControllerAttributes::uefiScsiVersion},
    {"PHYFirmwareVersion", &MalControllerAttributes::phyFirmwareVersion},
    {"PHYCRCConfigId", &MalControllerAttributes::phyConfigurationId},
};

// Printed after the temperature.
const AttributeLine kTrailingAttributes[] = {
    {"IPLFilename", &MalControllerAttributes::iplFileName},
    {"PCIExpressLinkSpeed", &MalControllerAttributes::pciExpressLinkSpeed},
    {"PCIExpressBusWidth", &MalControllerAttributes::pciExpressBusWidth},
    {"FFVName", &MalControllerAttributes::ffvName},
};

void printText(const char* label, const char* value) {
    emitText("%-*s : %s\n", kLabelWidth, label, value);
}

void printNumber(const char* label, int32_t value) {
    emitText("%-*s : %d\n", kLabelWidth, label, value);
}

struct HexLine {
    const char* label;
    uint32_t value;
};

template <size_t N>
void printAttributes(const MalControllerAttributes& attrs, const AttributeLine (&lines)[N]) {
    for (const AttributeLine& l : lines)
        printText(l.label, attrs.*(l.field));
}

// The NIC function record of an entry: permanent MAC first, else current MAC.
const MalNicFunction* nicRecordOf(const AdapterRecord& r, const CorevaneAdapter& a) {
    if (a.nicFunctions == nullptr) return nullptr;
    for (uint32_t k = 0; k < a.nicFunctionCount; ++k)
        if (memcmp(a.nicFunctions[k].permanentMacAddress, r.permanentMac, 6) == 0)
            return &a.nicFunctions[k];
    for (uint32_t k = 0; k < a.nicFunctionCount; ++k)
        if (memcmp(a.nicFunctions[k].macAddress, r.currentMac, 6) == 0) return &a.nicFunctions[k];
    return nullptr;
}

void printNetworkBoot(const AdapterRecord& r, const CorevaneAdapter& a) {
    const MalNicFunction* f = nicRecordOf(r, a);
    if (f == nullptr) emitText("MAC Address not found\n");
    printText("AvailableNetworkBootMethods", f ? f->networkBoot.availableNetworkBootMethods : "");
    printText("NetworkBootMethod", f ? f->networkBoot.networkBootMethod : "");
    const char* state = "";
    if (f) state = f->networkBoot.networkBootState == MAL_BOOL_TRUE ? "Enabled" : "Disabled";
    printText("NetworkBootState", state);
}

void printConvergedAttributes(int i, const CorevaneAdapter& a) {
    const MalControllerAttributes& attrs = a.attributes;
    printAttributes(attrs, kLeadingAttributes);
    if (isNicFunction(i)) printNetworkBoot(*adapterAt(i), a);
    printAttributes(attrs, kVersionAttributes);
    printNumber("CorevaneOnDieTemperature", attrs.corevaneOnDieTemperature);
    printAttributes(attrs, kTrailingAttributes);
}

void printEntry(int i) {
    InventoryEntry e;
    int32_t st = inventoryEntry(i, TEXT_RULE_NON_EMPTY, &e);
    if (st != CLU_OK) g_run.cluStatus = st;
    if (st == CLU_CNA_VPD) return;
    const AdapterRecord* r = adapterAt(i);

    printNumber("HBA", i + 1);
    // The converged record's properties follow below; any other entry (an FCoE
    // function without one included) shows the texts read for it here.
    if (!e.nexaRecord) {
        printText("Serial Number", e.serial);
        printText("Model", e.query.baseModel);
        printText("FW Version", e.fw);
        printText("Boot Version", e.boot);
        printNumber("Boot Enabled", e.bootEnabled);
        if (isSli4(i)) printText("BIOS Version", e.bios);
    }
    const uint8_t* a = e.address;
    if (e.fcEntry)
        emitText("%-*s : %02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X\n", kLabelWidth, "Port WWN", a[0],
                 a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    else
        emitText("%-*s : %02X:%02X:%02X:%02X:%02X:%02X\n", kLabelWidth, "Permanent Mac", a[0], a[1],
                 a[2], a[3], a[4], a[5]);
    printText("Function Type", e.kindText);
    const HexLine ids[] = {{"Device ID", e.deviceId},
                           {"Vendor ID", e.vendorId},
                           {"Sub Device ID", e.subsystemId},
                           {"Sub Vendor ID", e.subsystemVendorId}};
    for (const HexLine& l : ids)
        emitText("%-*s : %04X\n", kLabelWidth, l.label, l.value);
    const HexLine location[] = {
        {"PCI Bus Number", e.bus}, {"PCI Dev Number", e.device}, {"PCI Fun Number", e.function}};
    for (const HexLine& l : location)
        emitText("%-*s : %X\n", kLabelWidth, l.label, l.value);
    printNumber("CVR", e.cvr);
    emitText("%-*s : %X\n", kLabelWidth, "RevID", e.revId);
    bool cnaPort = isFcoeFunction(i) || !e.fcEntry;
    printNumber("Port Number", cnaPort ? static_cast<int32_t>(r->cnaPortNumber) : r->vpdPortNumber);
    if (e.nexaRecord) printConvergedAttributes(i, *cnaAdapterOf(i));
    emitText("\n");
}

} // namespace

void cmdHbaAttr(int index, bool all) {
    if (inventoryNoAdapter()) {
        inventoryReportNoAdapter(true);
        return;
    }
    if (!all) {
        printEntry(index);
        return;
    }
    for (uint32_t k = 0; k < g_table.totalCount; ++k)
        printEntry(static_cast<int>(k));
}
