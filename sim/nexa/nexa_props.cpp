// Properties of the simulated NEXA tree. Every value is read from the adapter
// model (attributes whose defaults come from the fleet schema) or derived from
// the same adapter-level facts the simulated driver uses, so both views agree:
// serial number, PCI location and identifiers, firmware versions and the FCoE
// WWPN of each port.
//
// Value formats: booleans "Enabled"/"Disabled", hexadecimal "0x0720",
// decimal "1500", MAC addresses "00-90-FA-12-34-56", WWPNs
// "10:00:00:90:FA:00:00:01" (empty when the port has no FCoE function).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/nexa/nexa_sim.h"

namespace nexasim {

using hbasim::Adapter;
using hbasim::Attrs;
using hbasim::Function;

namespace {

const char kServiceVersion[] = "12.0.261.8";
const char kHierarchyVersion[] = "2.1";
const int kVpdPieceBytes = 127; // 254 hex digits per VPDData<k>
const int kVpdPieces = 9;

const Attrs* level_attrs(const PropRow& r, const NodeCtx& c) {
    if (r.level == LV_FUNC) return c.f ? &c.f->attrs : nullptr;
    return c.a ? &c.a->attrs : nullptr;
}

std::string hex_text(uint64_t v) {
    char b[24];
    snprintf(b, sizeof b, "0x%04llX", (unsigned long long)v);
    return b;
}

int format_value(ValueFmt fmt, const std::string& raw, std::string* out) {
    switch (fmt) {
    case VF_TEXT:
        *out = raw;
        return NX_OK;
    case VF_BOOL:
        *out = attr_true(raw) ? "Enabled" : "Disabled";
        return NX_OK;
    case VF_DEC:
    case VF_HEX: {
        if (raw.empty()) return NX_ERR_UNSET;
        Attrs t;
        t.set("v", raw);
        uint64_t v = t.get_u("v", UINT64_MAX);
        if (v == UINT64_MAX) {
            *out = raw; // not a number: shown as stored
            return NX_OK;
        }
        *out = fmt == VF_HEX ? hex_text(v) : std::to_string(v);
        return NX_OK;
    }
    case VF_MAC: {
        uint8_t b[6];
        if (!hbasim::parse_hex_bytes(raw, b, 6)) return NX_ERR_UNSET;
        *out = format_mac(b);
        return NX_OK;
    }
    }
    return NX_ERR_UNSET;
}

// ---- generic accessors ------------------------------------------------------

// The row's attribute, formatted; a property whose attribute is absent has no
// value (the read fails).
int g_attr(const PropRow& r, const NodeCtx& c, std::string* out) {
    const Attrs* at = level_attrs(r, c);
    if (!at || !at->has(r.key)) return NX_ERR_UNSET;
    return format_value(r.fmt, at->get(r.key), out);
}

// A fixed text (the row's key).
int g_const(const PropRow& r, const NodeCtx&, std::string* out) {
    *out = r.key;
    return NX_OK;
}

// The row's attribute, else the adapter's serial number.
int g_serial_or(const PropRow& r, const NodeCtx& c, std::string* out) {
    std::string v = c.a->attrs.get(r.key);
    *out = v.empty() ? c.a->attrs.get("serial") : v;
    return NX_OK;
}

// ---- controller ---------------------------------------------------------------

int g_current_personality(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = current_personality(*c.a);
    return NX_OK;
}

int g_available_personalities(const PropRow&, const NodeCtx& c, std::string* out) {
    std::string v = c.a->attrs.get("available_personalities");
    if (v.empty()) return NX_NO_AVAILABLE_PERSONALITIES;
    *out = v;
    return NX_OK;
}

int g_configured_personality(const PropRow&, const NodeCtx& c, std::string* out) {
    if (c.a->attrs.get("available_personalities").empty()) return NX_NO_CONFIGURED_PERSONALITY;
    std::string v = c.a->attrs.get("configured_personality");
    *out = v.empty() ? current_personality(*c.a) : v;
    return NX_OK;
}

int g_cycles(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = std::to_string(c.a->attrs.get_u("cna_test_cycles", 0));
    return NX_OK;
}

// VPDData<k>: piece k of the raw VPD as hexadecimal digits (empty past the end).
int g_vpd_piece(const PropRow& r, const NodeCtx& c, std::string* out) {
    int k = atoi(r.name + strlen("VPDData"));
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<uint8_t> vpd = build_vpd(*c.a, c.f);
    out->clear();
    for (size_t i = (size_t)k * kVpdPieceBytes;
         i < vpd.size() && i < (size_t)(k + 1) * kVpdPieceBytes; ++i) {
        *out += kHex[vpd[i] >> 4];
        *out += kHex[vpd[i] & 15];
    }
    return NX_OK;
}

int s_ffv_name(const PropRow&, Adapter& a, const NodeCtx&, const std::string& v, bool* changed) {
    if (v.empty() || v.size() > 32) return NX_ERR_VALUE;
    a.attrs.set("ffv_name", v);
    *changed = true;
    return NX_OK;
}

// ---- physical ports -----------------------------------------------------------

// The function whose link stands for the port: the FCoE function on the port
// (its link is what the driver reports), else the first function on it.
const Function* port_function(const NodeCtx& c) {
    const Function* f = hbasim::fcoe_function_on_port(*c.a, c.port);
    if (f) return f;
    std::vector<int> on = functions_on_port(*c.a, c.port);
    return on.empty() ? nullptr : &c.a->funcs[(size_t)on[0]];
}

bool link_up(const Function* f) {
    return f && f->attrs.get("link", "up") == "up";
}

int g_port_link(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = link_up(port_function(c)) ? "Link Up" : "Link Down";
    return NX_OK;
}

int g_port_name(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = "Port " + std::to_string(c.port);
    return NX_OK;
}

int g_port_number(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = std::to_string(c.port);
    return NX_OK;
}

int g_fcoe_wwpn(const PropRow&, const NodeCtx& c, std::string* out) {
    const Function* f = hbasim::fcoe_function_on_port(*c.a, c.port);
    out->clear();
    if (!f) return NX_OK;
    uint8_t b[8];
    if (!hbasim::parse_hex_bytes(f->attrs.get("wwpn"), b, 8)) return NX_OK;
    char t[32];
    snprintf(t, sizeof t, "%02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4],
             b[5], b[6], b[7]);
    *out = t;
    return NX_OK;
}

int g_fcoe_speed(const PropRow&, const NodeCtx& c, std::string* out) {
    const Function* f = hbasim::fcoe_function_on_port(*c.a, c.port);
    *out = f && link_up(f) ? "10 Gbps" : "N/A";
    return NX_OK;
}

// ---- functions ----------------------------------------------------------------

int g_if_name(const PropRow&, const NodeCtx& c, std::string* out) {
    std::string v = c.f->attrs.get("if_name");
    if (v.empty()) {
        char b[64];
        snprintf(b, sizeof b, "%s %d-%d", c.f->kind == "nic" ? "Ethernet" : "iSCSI", c.adapter,
                 (int)c.f->attrs.get_u("pci_function"));
        v = b;
    }
    *out = v;
    return NX_OK;
}

int g_link_status(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = link_up(c.f) ? "Link Up" : "Link Down";
    return NX_OK;
}

int g_port_speed(const PropRow&, const NodeCtx& c, std::string* out) {
    *out = link_up(c.f) ? c.f->attrs.get("nic_speed", "10 Gbps") : "N/A";
    return NX_OK;
}

int g_factory_mac(const PropRow&, const NodeCtx& c, std::string* out) {
    std::string v = c.f->attrs.get("factory_mac");
    if (v.empty()) v = c.f->attrs.get("permanent_mac");
    return format_value(VF_MAC, v, out);
}

int g_vnic_name(const PropRow&, const NodeCtx& c, std::string* out) {
    std::string v = c.f->attrs.get("vnic_name");
    *out = v.empty() ? "vNIC" + std::to_string(c.f->attrs.get_u("port")) : v;
    return NX_OK;
}

// A 16-bit identifier from the function's PCI configuration space; the key is
// the byte offset.
int g_pci_word(const PropRow& r, const NodeCtx& c, std::string* out) {
    uint8_t cfg[256];
    hbasim::func_pci_config(*c.a, *c.f, cfg);
    int off = atoi(r.key);
    *out = hex_text((uint64_t)cfg[off] | ((uint64_t)cfg[off + 1] << 8));
    return NX_OK;
}

int g_pm_protocol(const PropRow&, const NodeCtx& c, std::string* out) {
    const std::string& k = c.f->kind;
    if (k == "nic")
        *out = attr_true(c.f->attrs.get("roce")) ? "NIC+RoCE" : "NIC";
    else if (k == "iscsi")
        *out = "iSCSI";
    else if (k == "fcoe")
        *out = "FCoE";
    else
        *out = "Unknown";
    return NX_OK;
}

int s_volatile_mac(const PropRow&, Adapter& a, const NodeCtx& c, const std::string& v,
                   bool* changed) {
    uint8_t b[6];
    if (!hbasim::parse_hex_bytes(v, b, 6)) return NX_ERR_VALUE;
    bool zero = true, ones = true;
    for (uint8_t x : b) {
        zero = zero && x == 0;
        ones = ones && x == 0xFF;
    }
    if (zero || ones) return NX_ERR_VALUE;
    a.funcs[(size_t)c.fidx].attrs.set("sv_mac", format_mac(b));
    *changed = true;
    return NX_OK;
}

#define ADP(node, name, key, fmt)                                                                  \
    { node, 0, name, g_attr, nullptr, key, LV_ADAPTER, fmt }
#define FN(node, fk, name, key, fmt)                                                               \
    { node, fk, name, g_attr, nullptr, key, LV_FUNC, fmt }
#define CALC(node, fk, name, fn, key)                                                              \
    { node, fk, name, fn, nullptr, key, LV_ADAPTER, VF_TEXT }

const PropRow kProps[] = {
    // root
    CALC(NT_ROOT, 0, "NEXAServiceVersion", g_const, kServiceVersion),
    CALC(NT_ROOT, 0, "NEXAHierarchyVersion", g_const, kHierarchyVersion),
    // Corevane<n>
    ADP(NT_CTRL, "ActiveFirmwareVersion", "fw_active", VF_TEXT),
    ADP(NT_CTRL, "BIOSVersion", "bios_version", VF_TEXT),
    ADP(NT_CTRL, "BootCodeVersion", "boot_code_version", VF_TEXT),
    ADP(NT_CTRL, "FirmwareVersionOnFlash", "fw_flash", VF_TEXT),
    ADP(NT_CTRL, "Capabilities", "capabilities", VF_TEXT),
    ADP(NT_CTRL, "ControllerStatus", "controller_status", VF_TEXT),
    ADP(NT_CTRL, "Description", "description", VF_TEXT),
    ADP(NT_CTRL, "FirmwareStatus", "firmware_status", VF_TEXT),
    ADP(NT_CTRL, "Manufacturer", "manufacturer", VF_TEXT),
    ADP(NT_CTRL, "ModelNumber", "model", VF_TEXT),
    ADP(NT_CTRL, "SerialNumber", "serial", VF_TEXT),
    ADP(NT_CTRL, "PHYFirmwareVersion", "phy_fw_version", VF_TEXT),
    ADP(NT_CTRL, "PHYConfigurationId", "phy_config_id", VF_TEXT),
    ADP(NT_CTRL, "OneView", "one_view", VF_BOOL),
    ADP(NT_CTRL, "IsSecureJumperEnabled", "secure_jumper", VF_BOOL),
    ADP(NT_CTRL, "IPLFileName", "ipl_file", VF_TEXT),
    ADP(NT_CTRL, "FCoEUniversalVersion", "fcoe_universal_version", VF_TEXT),
    ADP(NT_CTRL, "FCoEx86BIOSVersion", "fcoe_x86_bios_version", VF_TEXT),
    ADP(NT_CTRL, "FCoEEFIVersion", "fcoe_efi_version", VF_TEXT),
    ADP(NT_CTRL, "FCoEFCODEVersion", "fcoe_fcode_version", VF_TEXT),
    ADP(NT_CTRL, "UEFIBIOSVersion", "uefi_bios_version", VF_TEXT),
    ADP(NT_CTRL, "UEFINICVersion", "uefi_nic_version", VF_TEXT),
    ADP(NT_CTRL, "UEFIFCODEVersion", "uefi_fcode_version", VF_TEXT),
    ADP(NT_CTRL, "UEFISCSIVersion", "uefi_iscsi_version", VF_TEXT),
    ADP(NT_CTRL, "PXEBIOSVersion", "pxe_bios_version", VF_TEXT),
    ADP(NT_CTRL, "PCIExpressLinkSpeed", "pcie_link_speed", VF_TEXT),
    ADP(NT_CTRL, "PCIExpressBusWidth", "pcie_bus_width", VF_TEXT),
    {NT_CTRL, 0, "FFVName", g_attr, s_ffv_name, "ffv_name", LV_ADAPTER, VF_TEXT},
    ADP(NT_CTRL, "CorevaneOnDieTemperature", "die_temperature", VF_DEC),
    // controller children
    ADP(NT_OEM, "PersonalityManagementWord", "personality_word", VF_DEC),
    CALC(NT_OEM, 0, "OEMSerialNumber", g_serial_or, "oem_serial"),
    CALC(NT_OEM, 0, "QuoralSerialNumber", g_serial_or, "maker_serial"),
    ADP(NT_FATDATA, "FATDataValid", "fat_data_valid", VF_BOOL),
    ADP(NT_NICCIM, "MaxSupportedController", "max_controllers", VF_DEC),
    ADP(NT_NICCIM, "ControllerType", "controller_type", VF_TEXT),
    ADP(NT_NICCIM, "PortControllerName", "port_controller_name", VF_TEXT),
    ADP(NT_NICCIM, "ProtocolSupported", "protocols", VF_TEXT),
    ADP(NT_NCSI, "NCSIVersion", "ncsi_version", VF_TEXT),
    CALC(NT_PERSONALITY, 0, "CurrentPersonality", g_current_personality, nullptr),
    CALC(NT_PERSONALITY, 0, "ConfiguredPersonality", g_configured_personality, nullptr),
    CALC(NT_PERSONALITY, 0, "AvailablePersonalities", g_available_personalities, nullptr),
    CALC(NT_DIAG, 0, "TotalCompleteCycles", g_cycles, nullptr),
    CALC(NT_VPD, 0, "VPDData0", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData1", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData2", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData3", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData4", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData5", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData6", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData7", g_vpd_piece, nullptr),
    CALC(NT_VPD, 0, "VPDData8", g_vpd_piece, nullptr),
    // ProfileManagement/ActiveProfile/Port<n>/Function<m>
    CALC(NT_PM_FUNC, 0, "Protocol", g_pm_protocol, nullptr),
    FN(NT_PM_FUNC, 0, "MACAddress", "mac", VF_MAC),
    FN(NT_PM_FUNC, 0, "FunctionNumber", "pci_function", VF_HEX),
    // PortDiscoveryAndConfiguration<n>
    CALC(NT_PORT, 0, "PhysicalLinkStatus", g_port_link, nullptr),
    CALC(NT_PORT, 0, "PortName", g_port_name, nullptr),
    CALC(NT_PORT, 0, "FCoEWWPN", g_fcoe_wwpn, nullptr),
    ADP(NT_PORT, "InterfaceType", "interface_type", VF_TEXT),
    CALC(NT_PORT, 0, "FCoELinkSpeed", g_fcoe_speed, nullptr),
    CALC(NT_PORT, 0, "PortState", g_const, "Enabled"),
    ADP(NT_PORT, "BeaconState", "beacon", VF_BOOL),
    CALC(NT_PORT, 0, "PortNumber", g_port_number, nullptr),
    ADP(NT_PORT, "PHYType", "phy_type", VF_HEX),
    // NICPhysicalHBA<n>
    CALC(NT_FUNC, FK_NIC, "IfName", g_if_name, nullptr),
    CALC(NT_FUNC, FK_NIC, "LogicalLinkStatus", g_link_status, nullptr),
    CALC(NT_FUNC, FK_NIC, "PortSpeed", g_port_speed, nullptr),
    FN(NT_FUNC, FK_NIC, "VEPAState", "vepa", VF_BOOL),
    FN(NT_FUNC, FK_NIC, "SRIOVState", "sriov", VF_BOOL),
    FN(NT_FUNC, FK_NIC, "IsVF", "is_vf", VF_BOOL),
    FN(NT_FUNC, FK_NIC, "IsRoCEEnabled", "roce", VF_BOOL),
    FN(NT_FUNC, FK_NIC, "MinBitsPerSecond", "min_bps", VF_DEC),
    FN(NT_FUNC, FK_NIC, "MaxBitsPerSecond", "max_bps", VF_DEC),
    FN(NT_FUNC, FK_NIC, "MTUSize", "mtu", VF_DEC),
    FN(NT_FUNC, FK_NIC, "MaxMTUSize", "max_mtu", VF_DEC),
    FN(NT_FUNC, FK_NIC, "MACAddress", "mac", VF_MAC),
    FN(NT_FUNC, FK_NIC, "PermanentMACAddress", "permanent_mac", VF_MAC),
    CALC(NT_FUNC, FK_NIC, "FactoryDefaultMACAddress", g_factory_mac, nullptr),
    // iSCSIPhysicalHBA<n>
    FN(NT_FUNC, FK_ISCSI, "iSCSIBIOSEnable", "iscsi_bios", VF_BOOL),
    FN(NT_FUNC, FK_ISCSI, "MPIOEnabled", "mpio", VF_BOOL),
    FN(NT_FUNC, FK_ISCSI, "DefaultETO", "default_eto", VF_TEXT),
    FN(NT_FUNC, FK_ISCSI, "LDTO", "ldto", VF_TEXT),
    FN(NT_FUNC, FK_ISCSI, "MaxCDBLength", "max_cdb_length", VF_DEC),
    FN(NT_FUNC, 0, "PortNumber", "port", VF_DEC),
    // function / PCI
    ADP(NT_PCI, "DomainNumber", "pci_segment", VF_HEX),
    ADP(NT_PCI, "BusNumber", "pci_bus", VF_HEX),
    CALC(NT_PCI, 0, "DeviceID", g_pci_word, "2"),
    FN(NT_PCI, 0, "DeviceNumber", "pci_device", VF_HEX),
    FN(NT_PCI, 0, "FunctionNumber", "pci_function", VF_HEX),
    CALC(NT_PCI, 0, "SubsysDeviceID", g_pci_word, "46"),
    CALC(NT_PCI, 0, "SubsysVendorID", g_pci_word, "44"),
    CALC(NT_PCI, 0, "VendorID", g_pci_word, "0"),
    // function / Driver
    FN(NT_DRIVER, 0, "DriverName", "driver_name", VF_TEXT),
    FN(NT_DRIVER, 0, "DriverVersion", "drv_ver", VF_TEXT),
    // function / CIM
    FN(NT_CIM, 0, "Capabilities", "cim_capabilities", VF_TEXT),
    FN(NT_CIM, 0, "EnabledCapabilities", "cim_enabled_capabilities", VF_TEXT),
    FN(NT_CIM, 0, "LinkTechnology", "link_technology", VF_TEXT),
    FN(NT_CIM, 0, "ProtocolIfType", "protocol_if_type", VF_TEXT),
    FN(NT_CIM, 0, "AddressOrigin", "address_origin", VF_TEXT),
    FN(NT_CIM, 0, "IPProtocolEndPointName", "ip_endpoint_name", VF_TEXT),
    FN(NT_CIM, 0, "IPProtocolIfType", "ip_protocol_if_type", VF_TEXT),
    FN(NT_CIM, 0, "IPv4Address", "ipv4_address", VF_TEXT),
    FN(NT_CIM, 0, "SubnetMask", "ipv4_subnet", VF_TEXT),
    FN(NT_CIM, 0, "GateWay", "ipv4_gateway", VF_TEXT),
    FN(NT_CIM, 0, "IPv6Address", "ipv6_address", VF_TEXT),
    FN(NT_CIM, 0, "IPv6Gateway", "ipv6_gateway", VF_TEXT),
    // vNIC (under the NIC function and under Network/NICConfiguration)
    FN(NT_VNIC, 0, "vNICEnabled", "vnic", VF_BOOL),
    CALC(NT_VNIC, 0, "vNICName", g_vnic_name, nullptr),
    FN(NT_VNIC, 0, "OuterVLANID", "vnic_outer_vlan", VF_DEC),
    FN(NT_VNIC, 0, "MinBandwidth", "vnic_min_bw", VF_DEC),
    FN(NT_VNIC, 0, "MaxBandwidth", "vnic_max_bw", VF_DEC),
    // NetworkBootConfiguration
    FN(NT_NETBOOT, 0, "NetworkBootState", "netboot", VF_BOOL),
    FN(NT_NETBOOT, 0, "AvailableNetworkBootMethods", "netboot_methods", VF_TEXT),
    FN(NT_NETBOOT, 0, "NetworkBootMethod", "netboot_method", VF_TEXT),
    FN(NT_NETBOOT, 0, "VLANId", "vlan_id", VF_DEC),
    FN(NT_NETBOOT, 0, "VLANPriority", "vlan_priority", VF_DEC),
    {NT_NETBOOT, 0, "VolatileMACAddress", g_attr, s_volatile_mac, "sv_mac", LV_FUNC, VF_MAC},
    // Network/NICConfiguration
    CALC(NT_NICCONF, 0, "LogicalLinkStatus", g_link_status, nullptr),
    FN(NT_NICCONF, 0, "PortMaxSpeed", "nic_speed", VF_TEXT),
    CALC(NT_NICCONF, 0, "PortSpeed", g_port_speed, nullptr),
    FN(NT_NICCONF, 0, "ActivePort", "port", VF_DEC),
    FN(NT_NICCONF, 0, "MaxMTUSize", "max_mtu", VF_DEC),
    FN(NT_NICCONF, 0, "MACAddress", "mac", VF_MAC),
    FN(NT_NICCONF, 0, "PermanentMACAddress", "permanent_mac", VF_MAC),
};
#undef ADP
#undef FN
#undef CALC

const size_t kPropCount = sizeof(kProps) / sizeof(kProps[0]);

// Appends one VPD keyword (two key characters, a length byte, the data).
void vpd_keyword(std::vector<uint8_t>& v, const char* key, const std::string& data) {
    size_t n = data.size() > 255 ? 255 : data.size();
    v.push_back((uint8_t)key[0]);
    v.push_back((uint8_t)key[1]);
    v.push_back((uint8_t)n);
    v.insert(v.end(), data.begin(), data.begin() + (long)n);
}

} // namespace

const PropRow* find_property(const NodeAddr& n, const char* name) {
    for (const PropRow& r : kProps)
        if (r.node == n.type && (r.fkinds == 0 || (r.fkinds & n.fkind) != 0) &&
            strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

const PropRow* property_row(int index) {
    return index >= 0 && (size_t)index < kPropCount ? &kProps[index] : nullptr;
}

int property_index(const PropRow* row) {
    return (int)(row - kProps);
}

std::string format_mac(const uint8_t b[6]) {
    char t[24];
    snprintf(t, sizeof t, "%02X-%02X-%02X-%02X-%02X-%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return t;
}

bool attr_true(const std::string& v) {
    return v == "1" || v == "yes" || v == "true" || v == "on" || v == "Enabled";
}

std::string current_personality(const Adapter& a) {
    std::string v = a.attrs.get("personality");
    if (!v.empty()) return v;
    bool iscsi = false;
    for (const Function& f : a.funcs) {
        if (f.kind == "fcoe") return "FCoE";
        iscsi = iscsi || f.kind == "iscsi";
    }
    return iscsi ? "iSCSI" : "NIC";
}

// PCI VPD: the identifier string (large resource 0x82), the read-only keywords
// (0x90) ending with RV, whose first byte makes the sum of all bytes so far
// zero, and the end tag 0x78.
std::vector<uint8_t> build_vpd(const Adapter& a, const Function* f) {
    std::vector<uint8_t> v;
    std::string raw = f ? f->attrs.get("vpd") : "";
    if (!raw.empty()) {
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            char pair[3] = {raw[i], raw[i + 1], 0};
            v.push_back((uint8_t)strtoul(pair, nullptr, 16));
        }
        return v;
    }
    std::string id = a.attrs.get("description").substr(0, 64);
    v.push_back(0x82);
    v.push_back((uint8_t)(id.size() & 0xFF));
    v.push_back((uint8_t)(id.size() >> 8));
    v.insert(v.end(), id.begin(), id.end());
    std::vector<uint8_t> kw;
    vpd_keyword(kw, "PN", a.attrs.get("model"));
    vpd_keyword(kw, "EC", a.attrs.get("hw_version"));
    vpd_keyword(kw, "SN", a.attrs.get("serial"));
    vpd_keyword(kw, "V2", a.attrs.get("model"));
    if (f) vpd_keyword(kw, "V4", std::to_string(f->attrs.get_u("port")));
    size_t roLen = kw.size() + 4; // keywords + RV header and its one byte
    v.push_back(0x90);
    v.push_back((uint8_t)(roLen & 0xFF));
    v.push_back((uint8_t)(roLen >> 8));
    v.insert(v.end(), kw.begin(), kw.end());
    v.push_back('R');
    v.push_back('V');
    v.push_back(1);
    uint8_t sum = 0;
    for (uint8_t b : v)
        sum = (uint8_t)(sum + b);
    v.push_back((uint8_t)(0x100 - sum));
    v.push_back(0x78);
    if (v.size() > (size_t)kVpdPieces * kVpdPieceBytes)
        v.resize((size_t)kVpdPieces * kVpdPieceBytes);
    return v;
}

bool reset_nexa_settings(Adapter& a) {
    static const char* const kFuncKeys[] = {"sv_mac",  "vlan_id",        "vlan_priority",
                                            "netboot", "netboot_method", "vnic"};
    static const char* const kAdapterKeys[] = {"cna_loopback", "cna_test_cycles",
                                               "configured_personality"};
    bool changed = false;
    auto reset = [&](Attrs& at, const std::string& fkind, const char* key) {
        const hbasim::FleetKeyDef* d = hbasim::fleet_key(a.kind, fkind, key);
        std::string before = at.get(key, "\x01");
        if (d && d->def && strcmp(d->def, "*") != 0)
            at.set(key, d->type == hbasim::FT_BOOL ? (attr_true(d->def) ? "1" : "0") : d->def);
        else
            at.erase(key);
        changed = changed || at.get(key, "\x01") != before;
    };
    for (const char* k : kAdapterKeys)
        reset(a.attrs, "", k);
    for (Function& f : a.funcs)
        if (f.kind == "nic" || f.kind == "iscsi")
            for (const char* k : kFuncKeys)
                reset(f.attrs, f.kind, k);
    return changed;
}

} // namespace nexasim
