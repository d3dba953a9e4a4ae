// Inventory groups of a converged controller: its attributes with the OEM,
// FATData, NICCIM and NCSI child nodes, its OEM serial numbers and its ports.
#include <cstring>

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

} // namespace

int MAL_GetControllerAttributes(int controller, MalControllerAttributes* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    MalControllerAttributes* a = out;
    memset(a, 0, sizeof(*a));
    int result = MAL_RM_OK;
    int rc;

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
    rc = readStringList(controller, identity, sizeof(identity) / sizeof(identity[0]));
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);

    const MalIntProp temperature[] = {{"CorevaneOnDieTemperature", &a->corevaneOnDieTemperature}};
    rc = MAL_GetIntegerProperties(controller, 1, temperature);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    a->corevaneOnDieTemperature &= 0xFF;

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
    rc = readStringList(controller, bootVersions, sizeof(bootVersions) / sizeof(bootVersions[0]));
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);

    const MalStringProp pcie[] = {
        TEXT_FIELD("PCIExpressLinkSpeed", a->pciExpressLinkSpeed),
        TEXT_FIELD("PCIExpressBusWidth", a->pciExpressBusWidth),
    };
    rc = readStringList(controller, pcie, 2);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);

    const MalStringProp ffv[] = {TEXT_FIELD("FFVName", a->ffvName)};
    rc = readStringList(controller, ffv, 1);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);

    // Child nodes: a node that cannot be found leaves its fields at their
    // fallback; only a busy NEXA ends the group.
    int node = 0;
    rc = malChildNode(controller, "OEM", &node);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc == MAL_RM_OK) {
        const MalHexProp word[] = {{"PersonalityManagementWord", &a->personalityManagementWord}};
        rc = MAL_GetHexProperties(node, 1, word);
        if (rc == MAL_RM_BUSY) return rc;
        const MalStringProp serials[] = {
            TEXT_FIELD("OEMSerialNumber", a->oemSerialNumber),
            TEXT_FIELD("QuoralSerialNumber", a->quoralSerialNumber),
        };
        rc = MAL_GetStringProperties(node, 2, serials);
        if (rc == MAL_RM_BUSY) return rc;
    }

    a->fatDataValid = 0;
    rc = malChildNode(controller, "FATData", &node);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc == MAL_RM_OK) {
        const MalBoolProp valid[] = {{"FATDataValid", &a->fatDataValid}};
        rc = MAL_GetBooleanProperties(node, 1, valid);
        if (rc == MAL_RM_BUSY) return rc;
    }

    rc = malChildNode(controller, "NICCIM", &node);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc == MAL_RM_OK) {
        const MalIntProp maxCtl[] = {{"MaxSupportedController", &a->maxSupportedController}};
        rc = MAL_GetIntegerProperties(node, 1, maxCtl);
        if (rc == MAL_RM_BUSY) return rc;
        const MalStringProp cim[] = {
            TEXT_FIELD("ControllerType", a->controllerType),
            TEXT_FIELD("PortControllerName", a->portControllerName),
            TEXT_FIELD("ProtocolSupported", a->protocolSupported),
        };
        rc = MAL_GetStringProperties(node, 3, cim);
        if (rc == MAL_RM_BUSY) return rc;
    }

    rc = malChildNode(controller, "NCSI", &node);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc == MAL_RM_OK) {
        const MalStringProp ncsi[] = {TEXT_FIELD("NCSIVersion", a->ncsiVersion)};
        rc = MAL_GetStringProperties(node, 1, ncsi);
        if (rc == MAL_RM_BUSY) return rc;
    }
    if (rc != MAL_RM_OK) malCopyText(a->ncsiVersion, sizeof(a->ncsiVersion), "Not Available");
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
