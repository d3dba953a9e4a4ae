// Inventory groups of converged functions: NIC and iSCSI function records and
// the nodes below a function (PCI, NIC configuration, vNIC, driver, CIM,
// network boot) with the PCI configuration dump.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "hbaset/cna/mal.h"
#include "hbaset/cna/nexa.h"

namespace {

void keepFirst(int* result, int rc) {
    if (*result == MAL_RM_OK && rc != MAL_RM_OK) *result = rc;
}

#define TEXT_FIELD(name, field)                                                                    \
    { name, field, sizeof(field) }

} // namespace

int MAL_GetPCIProperties(int function, MalPciProperties* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int node = 0;
    int rc = malChildNode(function, "PCI", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalHexProp ids[] = {
        {"DomainNumber", &out->domainNumber},
        {"BusNumber", &out->busNumber},
        {"DeviceID", &out->deviceId},
        {"DeviceNumber", &out->deviceNumber},
        {"FunctionNumber", &out->functionNumber},
        {"SubsysDeviceID", &out->subsysDeviceId},
        {"SubsysVendorID", &out->subsysVendorId},
        {"VendorID", &out->vendorId},
    };
    return MAL_GetHexProperties(node, sizeof(ids) / sizeof(ids[0]), ids);
}

int MAL_GetNICConfiguration(int function, MalNicConfiguration* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int network = 0;
    int node = 0;
    int rc = malChildNode(function, "Network", &network);
    if (rc == MAL_RM_OK) rc = malChildNode(network, "NICConfiguration", &node);
    if (rc != MAL_RM_OK) return rc;

    int result = MAL_RM_OK;
    const MalStringProp texts[] = {
        TEXT_FIELD("LogicalLinkStatus", out->logicalLinkStatus),
        TEXT_FIELD("PortMaxSpeed", out->portMaxSpeed),
        TEXT_FIELD("PortSpeed", out->portSpeed),
    };
    rc = MAL_GetStringProperties(node, 3, texts);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalIntProp numbers[] = {{"ActivePort", &out->activePort},
                                  {"MaxMTUSize", &out->maxMTUSize}};
    rc = MAL_GetIntegerProperties(node, 2, numbers);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalMacProp current[] = {{"MACAddress", out->macAddress}};
    rc = MAL_GetMACProperties(node, 1, current);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalMacProp permanent[] = {{"PermanentMACAddress", out->permanentMacAddress}};
    rc = MAL_GetMACProperties(node, 1, permanent);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) memcpy(out->permanentMacAddress, out->macAddress, 6);
    return result;
}

int MAL_GetvNICProperties(int parent, MalVnicProperties* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int node = 0;
    int rc = malChildNode(parent, "vNIC", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalBoolProp enabled[] = {{"vNICEnabled", &out->vNICEnabled}};
    rc = MAL_GetBooleanProperties(node, 1, enabled);
    if (rc != MAL_RM_OK || out->vNICEnabled != MAL_BOOL_TRUE) return rc;

    int result = MAL_RM_OK;
    const MalStringProp name[] = {TEXT_FIELD("vNICName", out->vNICName)};
    rc = MAL_GetStringProperties(node, 1, name);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalIntProp numbers[] = {{"OuterVLANID", &out->outerVLANID},
                                  {"MinBandwidth", &out->minBandwidth},
                                  {"MaxBandwidth", &out->maxBandwidth}};
    rc = MAL_GetIntegerProperties(node, 3, numbers);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    return result;
}

int MAL_GetDriverProperties(int parent, MalDriverProperties* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    int node = 0;
    int rc = malChildNode(parent, "Driver", &node);
    if (rc != MAL_RM_OK) return rc;
    const MalStringProp texts[] = {
        TEXT_FIELD("DriverName", out->driverName),
        TEXT_FIELD("DriverVersion", out->driverVersion),
    };
    return MAL_GetStringProperties(node, 2, texts);
}

int MAL_GetCIMProperties(int parent, MalCimProperties* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    malCopyText(out->ipv6Address.text, MAL_IPV6_TEXT_SIZE, "Not Available");
    malCopyText(out->ipv6Gateway.text, MAL_IPV6_TEXT_SIZE, "Not Available");
    int node = 0;
    int rc = malChildNode(parent, "CIM", &node);
    if (rc != MAL_RM_OK) return rc;

    int result = MAL_RM_OK;
    const MalStringProp texts[] = {
        TEXT_FIELD("Capabilities", out->capabilities),
        TEXT_FIELD("EnabledCapabilities", out->enabledCapabilities),
        TEXT_FIELD("LinkTechnology", out->linkTechnology),
        TEXT_FIELD("ProtocolIfType", out->protocolIfType),
        TEXT_FIELD("AddressOrigin", out->addressOrigin),
        TEXT_FIELD("IPProtocolEndPointName", out->ipProtocolEndPointName),
        TEXT_FIELD("IPProtocolIfType", out->ipProtocolIfType),
    };
    rc = MAL_GetStringProperties(node, sizeof(texts) / sizeof(texts[0]), texts);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    const MalIPv4Prop v4[] = {{"IPv4Address", out->ipv4Address},
                              {"SubnetMask", out->subnetMask},
                              {"GateWay", out->gateway}};
    rc = MAL_GetIPv4Properties(node, 3, v4);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    if (rc != MAL_RM_OK) return result; // IPv6 values only after a good IPv4 read
    const MalIPv6Prop v6[] = {{"IPv6Address", &out->ipv6Address},
                              {"IPv6Gateway", &out->ipv6Gateway}};
    rc = MAL_GetIPv6Properties(node, 2, v6);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    return result;
}

int MAL_GetNetworkBootConfiguration(int parent, MalNetworkBootConfiguration* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    memset(out, 0, sizeof(*out));
    out->networkBootState = MAL_BOOL_UNKNOWN;
    out->vlanId = -1;
    out->vlanPriority = -1;
    memset(out->volatileMac, 0xFF, 6);
    int node = 0;
    int rc = malChildNode(parent, "NetworkBootConfiguration", &node);
    if (rc != MAL_RM_OK) return rc;

    int result = MAL_RM_OK;
    const MalBoolProp state[] = {{"NetworkBootState", &out->networkBootState}};
    rc = MAL_GetBooleanProperties(node, 1, state);
    if (rc == MAL_RM_BUSY) return rc;
    const MalStringProp texts[] = {
        TEXT_FIELD("AvailableNetworkBootMethods", out->availableNetworkBootMethods),
        TEXT_FIELD("NetworkBootMethod", out->networkBootMethod),
    };
    rc = MAL_GetStringProperties(node, 2, texts);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    // An unset VLAN cannot be read: both values then read as "not set".
    const MalIntProp vlan[] = {{"VLANId", &out->vlanId}, {"VLANPriority", &out->vlanPriority}};
    rc = MAL_GetIntegerProperties(node, 2, vlan);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) {
        out->vlanId = -1;
        out->vlanPriority = -1;
    }
    const MalMacProp mac[] = {{"VolatileMACAddress", out->volatileMac}};
    rc = MAL_GetMACProperties(node, 1, mac);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) memset(out->volatileMac, 0xFF, 6);
    return result;
}

int MAL_DumpPCIConfigRegion(int function, const char* action, uint8_t* dest) {
    if (action == nullptr || dest == nullptr) return MAL_RM_NULL_ARG;
    int pci = 0;
    int rc = malChildNode(function, "PCI", &pci);
    if (rc != MAL_RM_OK) return rc;
    int actionTag = 0;
    rc = get_node_tag(pci, action, &actionTag, NEXA_KIND_ACTION);
    if (rc != MAL_RM_OK) return rc;

    for (int piece = 0; piece < MAL_PCI_CONFIG_SIZE / 64; piece++) {
        char params[MAL_PARAMS_SIZE] = {};
        char output[MAL_ACTION_OUTPUT_SIZE] = {};
        snprintf(params, MAL_PARAM_SIZE, "%d", 64 * piece);
        snprintf(params + MAL_PARAM_SIZE, MAL_PARAM_SIZE, "%d", 64);
        int code = 0;
        char text[MAL_STATUS_TEXT_SIZE];
        rc = do_action_with_status(pci, actionTag, params, output, &code, text);
        if (rc == MAL_RM_BUSY) return rc;
        // A failed run, a failed status query or a failure status carries no data.
        if (rc != MAL_RM_OK || code != 0) return MAL_RM_NEXA_ERROR;
        uint8_t block[64];
        int n = malParsePciDumpPiece(text, block);
        memcpy(dest + 64 * piece, block, static_cast<size_t>(n));
    }
    return MAL_RM_OK;
}

int MAL_GetNICFunctionAttributes(int function, MalNicFunction* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    MalNicFunction* f = out;
    memset(f, 0, sizeof(*f));
    f->tag = function;

    const MalStringProp texts[] = {
        TEXT_FIELD("IfName", f->ifName),
        TEXT_FIELD("LogicalLinkStatus", f->logicalLinkStatus),
        TEXT_FIELD("PortSpeed", f->portSpeed),
    };
    if (MAL_GetStringProperties(function, 3, texts) == MAL_RM_BUSY) return MAL_RM_BUSY;
    if (f->logicalLinkStatus[0] == '\0') {
        malCopyText(f->logicalLinkStatus, sizeof(f->logicalLinkStatus), "n/a");
    }
    const MalBoolProp flags[] = {
        {"VEPAState", &f->vepaState}, {"SRIOVState", &f->sriovState}, {"IsVF", &f->isVF}};
    if (MAL_GetBooleanProperties(function, 3, flags) == MAL_RM_BUSY) return MAL_RM_BUSY;
    const MalIntProp numbers[] = {
        {"MinBitsPerSecond", &f->minBitsPerSecond},
        {"MaxBitsPerSecond", &f->maxBitsPerSecond},
        {"MTUSize", &f->mtuSize},
        {"PortNumber", &f->portNumber},
        {"MaxMTUSize", &f->maxMTUSize},
    };
    if (MAL_GetIntegerProperties(function, 5, numbers) == MAL_RM_BUSY) return MAL_RM_BUSY;

    const MalMacProp current[] = {{"MACAddress", f->macAddress}};
    if (MAL_GetMACProperties(function, 1, current) == MAL_RM_BUSY) return MAL_RM_BUSY;
    const MalMacProp permanent[] = {{"PermanentMACAddress", f->permanentMacAddress}};
    int rc = MAL_GetMACProperties(function, 1, permanent);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) memcpy(f->permanentMacAddress, f->macAddress, 6);
    const MalMacProp factory[] = {{"FactoryDefaultMACAddress", f->factoryDefaultMacAddress}};
    rc = MAL_GetMACProperties(function, 1, factory);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) memset(f->factoryDefaultMacAddress, 0xFF, 6);

    const MalBoolProp roce[] = {{"IsRoCEEnabled", &f->isRoCEEnabled}};
    if (MAL_GetBooleanProperties(function, 1, roce) == MAL_RM_BUSY) return MAL_RM_BUSY;

    // The nodes below the function; each keeps its fallbacks when it fails.
    if (MAL_GetCIMProperties(function, &f->cim) == MAL_RM_BUSY) return MAL_RM_BUSY;
    if (MAL_GetDriverProperties(function, &f->driver) == MAL_RM_BUSY) return MAL_RM_BUSY;
    if (MAL_GetPCIProperties(function, &f->pci) == MAL_RM_BUSY) return MAL_RM_BUSY;
    rc = MAL_GetvNICProperties(function, &f->vnic);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) f->vnic.vNICEnabled = 0;
    if (MAL_GetNetworkBootConfiguration(function, &f->networkBoot) == MAL_RM_BUSY) {
        return MAL_RM_BUSY;
    }
    if (MAL_DumpPCIConfigRegion(function, "DumpNICPCIConfigRegion", f->pciConfig) == MAL_RM_BUSY) {
        return MAL_RM_BUSY;
    }
    return MAL_RM_OK;
}

int MAL_GetiSCSIFunctionAttributes(int function, MalIscsiFunction* out) {
    if (out == nullptr) return MAL_RM_NULL_ARG;
    MalIscsiFunction* f = out;
    memset(f, 0, sizeof(*f));
    f->tag = function;
    int result = MAL_RM_OK;

    const MalBoolProp flags[] = {{"iSCSIBIOSEnable", &f->iscsiBiosEnable},
                                 {"MPIOEnabled", &f->mpioEnabled}};
    if (MAL_GetBooleanProperties(function, 2, flags) == MAL_RM_BUSY) return MAL_RM_BUSY;

    const MalIntProp numbers[] = {{"DefaultETO", &f->defaultETO},
                                  {"LDTO", &f->ldto},
                                  {"MaxCDBLength", &f->maxCDBLength},
                                  {"PortNumber", &f->portNumber}};
    char texts[4][MAL_VALUE_SIZE];
    int rc = malGetIntegerPropertiesWithText(function, 4, numbers, texts);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    // Timeouts that NEXA reports as "N/A" are kept as "not set".
    if (strcasecmp(texts[0], "N/A") == 0) f->defaultETO = -1;
    if (strcasecmp(texts[1], "N/A") == 0) f->ldto = -1;

    rc = MAL_GetDriverProperties(function, &f->driver);
    if (rc == MAL_RM_OK) rc = MAL_GetPCIProperties(function, &f->pci);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);

    int network = 0;
    int nicConfig = 0;
    rc = malChildNode(function, "Network", &network);
    if (rc == MAL_RM_OK) rc = malChildNode(network, "NICConfiguration", &nicConfig);
    if (rc == MAL_RM_OK) rc = MAL_GetvNICProperties(nicConfig, &f->vnic);
    if (rc == MAL_RM_BUSY) return rc;
    if (rc != MAL_RM_OK) f->vnic.vNICEnabled = 0;

    rc = MAL_DumpPCIConfigRegion(function, "DumpiSCSIPCIConfigRegion", f->pciConfig);
    if (rc == MAL_RM_BUSY) return rc;
    keepFirst(&result, rc);
    return result;
}
