// Inventory groups of a converged controller: its attributes with the OEM,
// FATData, NICCIM and NCSI child nodes, its OEM serial numbers and its ports.
#include <cstring>
#include <iterator>

#include "hbaset/cna/mal.h"

namespace {

// Keeps the first failure of a sequence of reads.
void keepFirst(int* result, int rc) {
    if (*result == MAL_RM_OK && rc != MAL_RM_OK) *result = rc;
}

// Reads a string list; when the list failed, every field it left empty
// becomes "Not Available".
int readStringList(int parent, const MalStringProp* props, int count) {
    int rc = MAL_GetStringProperties(parent, count, props);
    if (rc == MAL_RM_OK || rc == MAL_RM_BUSY) return rc;
    for (int k = 0; k < count; k++) {
        if (props[k].dest[0] == '\0') malCopyText(props[k].dest, props[k].size, "Not Available");
    }
    return rc;
}

#define TEXT_FIELD(name, field)                                                                    \
    { name, field, sizeof(field) }

// ---- MAL_GetControllerAttributes, one step per list or child node ----
// Each step returns its read's status; a busy NEXA ends the group.
using ControllerStep = int (*)(int controller, MalControllerAttributes* a);

int readIdentity(int controller, MalControllerAttributes* a) {
    const MalStringProp identity[] = {
        TEXT_FIELD("ActiveFirmwareVersion", a->activeFirmwareVersion),
        TEXT_FIELD("BIOSVersion", a->biosVersion),
        TEXT_FIELD("BootCodeVersion", a->bootCodeVersion),
        TEXT_FIELD("Capabilities", a->capabilities),
        TEXT_FIELD("ControllerStatus", a->controllerStatus),
        TEXT_FIELD("Description", a->description),
        TEXT_FIELD("FirmwareStatus", a->firmwareStatus),
        TEXT_FIELD("FirmwareVersionOnFlash", a->firmwareVersionOnFlash),
        TEXT_FIELD("Manufacturer", a->manufacturer),
        TEXT_FIELD("ModelNumber", a->modelNumber),
        TEXT_FIELD("SerialNumber", a->serialNumber),
        TEXT_FIELD("PHYFirmwareVersion", a->phyFirmwareVersion),
        TEXT_FIELD("PHYConfigurationId", a->phyConfigurationId),
        TEXT_FIELD("OneView", a->oneView),
        TEXT_FIELD("IsSecureJumperEnabled", a->isSecureJumperEnabled),
    };
    return readStringList(controller, identity, (int)std::size(identity));
}

int readTemperature(int controller, MalControllerAttributes* a) {
    const MalIntProp temperature[] = {{"CorevaneOnDieTemperature", &a->corevaneOnDieTemperature}};
    int rc = MAL_GetIntegerProperties(controller, (int)std::size(temperature), temperature);
    if (rc != MAL_RM_BUSY) a->corevaneOnDieTemperature &= 0xFF;
    return rc;
}

int readBootVersions(int controller, MalControllerAttributes* a) {
    const MalStringProp bootVersions[] = {
        TEXT_FIELD("IPLFileName", a->iplFileName),
        TEXT_FIELD("FCoEUniversalVersion", a->fcoeUniversalVersion),
        TEXT_FIELD("FCoEx86BIOSVersion", a->fcoeX86BiosVersion),
        TEXT_FIELD("FCoEEFIVersion", a->fcoeEfiVersion),
        TEXT_FIELD("FCoEFCODEVersion", a->fcoeFcodeVersion),
        TEXT_FIELD("UEFIBIOSVersion", a->uefiBiosVersion),
        TEXT_FIELD("UEFINICVersion", a->uefiNicVersion),
        TEXT_FIELD("UEFIFCODEVersion", a->uefiFcodeVersion),
        TEXT_FIELD("UEFISCSIVersion", a->uefiScsiVersion),
        TEXT_FIELD("PXEBIOSVersion", a->pxeBiosVersion),
    };
    return readStringList(controller, bootVersions, (int)std::size(bootVersions));
}

int readPcie(int controller, MalControllerAttributes* a) {
    const MalStringProp pcie[] = {
        TEXT_FIELD("PCIExpressLinkSpeed", a->pciExpressLinkSpeed),
        TEXT_FIELD("PCIExpressBusWidth", a->pciExpressBusWidth),
    };
    return readStringList(controller, pcie, (int)std::size(pcie));
}

int readFfv(int controller, MalControllerAttributes* a) {
    const MalStringProp ffv[] = {TEXT_FIELD("FFVName", a->ffvName)};
    return readStringList(controller, ffv, (int)std::size(ffv));
}

int readOemNode(int controller, MalControllerAttributes* a) {
    int node = 0;
    int rc = malChildNode(controller, "OEM", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalHexProp word[] = {{"PersonalityManagementWord", &a->personalityManagementWord}};
    rc = MAL_GetHexProperties(node, (int)std::size(word), word);
    if (rc == MAL_RM_BUSY) return rc;
    const MalStringProp serials[] = {
        TEXT_FIELD("OEMSerialNumber", a->oemSerialNumber),
        TEXT_FIELD("QuoralSerialNumber", a->quoralSerialNumber),
    };
    return MAL_GetStringProperties(node, (int)std::size(serials), serials);
}

int readFatDataNode(int controller, MalControllerAttributes* a) {
    a->fatDataValid = 0;
    int node = 0;
    int rc = malChildNode(controller, "FATData", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalBoolProp valid[] = {{"FATDataValid", &a->fatDataValid}};
    return MAL_GetBooleanProperties(node, (int)std::size(valid), valid);
}

int readNicCimNode(int controller, MalControllerAttributes* a) {
    int node = 0;
    int rc = malChildNode(controller, "NICCIM", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalIntProp maxCtl[] = {{"MaxSupportedController", &a->maxSupportedController}};
    rc = MAL_GetIntegerProperties(node, (int)std::size(maxCtl), maxCtl);
    if (rc == MAL_RM_BUSY) return rc;
    const MalStringProp cim[] = {
        TEXT_FIELD("ControllerType", a->controllerType),
        TEXT_FIELD("PortControllerName", a->portControllerName),
        TEXT_FIELD("ProtocolSupported", a->protocolSupported),
    };
    return MAL_GetStringProperties(node, (int)std::size(cim), cim);
}

int readNcsiNode(int controller, MalControllerAttributes* a) {
    int node = 0;
    int rc = malChildNode(controller, "NCSI", &node);
    if (rc == MAL_RM_OK) {
        const MalStringProp ncsi[] = {TEXT_FIELD("NCSIVersion", a->ncsiVersion)};
        rc = MAL_GetStringProperties(node, (int)std::size(ncsi), ncsi);
    }
    if (rc != MAL_RM_OK && rc != MAL_RM_BUSY)
        malCopyText(a->ncsiVersion, sizeof(a->ncsiVersion), "Not Available");
    return rc;
}

// The controller's own lists: the first failure is the group's status.
const ControllerStep kListSteps[] = {readIdentity, readTemperature, readBootVersions, readPcie,
                                     readFfv};
// Child nodes: a node that cannot be found or read leaves its fields at their
// fallback.
const ControllerStep kNodeSteps[] = {readOemNode, readFatDataNode, readNicCimNode, readNcsiNode};

} // namespace

int MAL_GetControllerAttributes(int controller, MalControllerAttributes* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int result = MAL_RM_OK;
    for (ControllerStep step : kListSteps) {
        int rc = step(controller, out);
        if (rc == MAL_RM_BUSY) return rc;
        keepFirst(&result, rc);
    }
    for (ControllerStep step : kNodeSteps)
        if (step(controller, out) == MAL_RM_BUSY) return MAL_RM_BUSY;
    return result;
}

int MAL_GetOEMProperties(int controller, MalOemProperties* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int node = 0;
    int rc = malChildNode(controller, "OEM", &node);
    if (rc != MAL_RM_OK) return rc;
    int result = MAL_RM_OK;
    const MalStringProp serials[] = {
        TEXT_FIELD("QuoralSerialNumber", out->quoralSerialNumber),
        TEXT_FIELD("OEMSerialNumber", out->oemSerialNumber),
    };
    rc = MAL_GetStringProperties(node, 2, serials);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalIntProp word[] = {{"PersonalityManagementWord", &out->personalityManagementWord}};
    rc = MAL_GetIntegerProperties(node, 1, word);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    return result;
}

int MAL_GetPortAttributes(int port, MalPortAttributes* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    out->tag = port;
    // Every field has its fallback; only a busy NEXA fails the group.
    const MalStringProp texts[] = {
        TEXT_FIELD("PhysicalLinkStatus", out->physicalLinkStatus),
        TEXT_FIELD("PortName", out->portName),
        TEXT_FIELD("FCoEWWPN", out->fcoeWwpn),
        TEXT_FIELD("InterfaceType", out->interfaceType),
        TEXT_FIELD("FCoELinkSpeed", out->fcoeLinkSpeed),
    };
    if (MAL_GetStringProperties(port, 5, texts) == MAL_RM_BUSY) return MAL_RM_BUSY;
    const MalBoolProp flags[] = {{"PortState", &out->portState},
                                 {"BeaconState", &out->beaconState}};
    if (MAL_GetBooleanProperties(port, 2, flags) == MAL_RM_BUSY) return MAL_RM_BUSY;
    const MalIntProp number[] = {{"PortNumber", &out->portNumber}};
    if (MAL_GetIntegerProperties(port, 1, number) == MAL_RM_BUSY) return MAL_RM_BUSY;
    const MalHexProp phy[] = {{"PHYType", &out->phyType}};
    if (MAL_GetHexProperties(port, 1, phy) == MAL_RM_BUSY) return MAL_RM_BUSY;
    return MAL_RM_OK;
}
