// The simulated NEXA tree over the default fleet: every node and property the
// management program walks answers in its format, the values agree with the
// adapter model the simulated driver answers from, changes persist, and the
// actions behave.
#include <cctype>
#include <vector>

#include "sim/core/sim_model.h"
#include "sim/core/image_signature.h"
#include "tests/nexa/nexa_helpers.h"

using namespace nxt;

namespace {

// Value formats: a name starting with '@', anything else is the exact value.
const char kBool[] = "@bool";       // Enabled or Disabled
const char kHex[] = "@hex";         // 0x and at least four upper-case hex digits
const char kDec[] = "@dec";         // decimal digits
const char kDecNA[] = "@dec-or-na"; // decimal digits or N/A
const char kMac[] = "@mac";         // 00-90-FA-12-34-56
const char kWwpn[] = "@wwpn";       // 10:00:00:90:FA:00:00:01
const char kVer[] = "@version";     // a.b.c.d
const char kHexDigits[] = "@hexdigits";
const char kText[] = "@text"; // not empty
const char kAny[] = "@any";

bool all_of(const std::string& s, size_t from, size_t to, int (*pred)(int)) {
    if (from >= to || to > s.size()) return false;
    for (size_t i = from; i < to; ++i)
        if (!pred((unsigned char)s[i])) return false;
    return true;
}
int is_upper_hex(int c) {
    return isdigit(c) || (c >= 'A' && c <= 'F');
}

// n groups of two upper-case hex digits separated by sep.
bool hex_groups(const std::string& v, size_t n, char sep) {
    if (v.size() != n * 3 - 1) return false;
    for (size_t i = 0; i < n; ++i)
        if (!all_of(v, i * 3, i * 3 + 2, is_upper_hex) || (i + 1 < n && v[i * 3 + 2] != sep))
            return false;
    return true;
}

bool matches(const std::string& v, const char* fmt) {
    std::string f = fmt;
    if (f.empty() || f[0] != '@') return v == f;
    if (f == kBool) return v == "Enabled" || v == "Disabled";
    if (f == kHex)
        return v.size() >= 6 && v.compare(0, 2, "0x") == 0 && all_of(v, 2, v.size(), is_upper_hex);
    if (f == kDec) return all_of(v, 0, v.size(), isdigit);
    if (f == kDecNA) return v == "N/A" || all_of(v, 0, v.size(), isdigit);
    if (f == kMac) return hex_groups(v, 6, '-');
    if (f == kWwpn) return hex_groups(v, 8, ':');
    if (f == kHexDigits) return all_of(v, 0, v.size(), is_upper_hex);
    if (f == kText) return !v.empty();
    if (f == kAny) return true;
    if (f == kVer) {
        size_t start = 0, groups = 0;
        for (size_t i = 0; i <= v.size(); ++i)
            if (i == v.size() || v[i] == '.') {
                if (!all_of(v, start, i, isdigit)) return false;
                ++groups;
                start = i + 1;
            }
        return groups == 4;
    }
    return false;
}

struct PropCase {
    const char* path;
    const char* prop;
    const char* format;
};

const PropCase kTree[] = {
    {"", "NEXAServiceVersion", kVer},
    {"", "NEXAHierarchyVersion", kText},
    {"Corevane0", "ActiveFirmwareVersion", kVer},
    {"Corevane0", "BIOSVersion", kVer},
    {"Corevane0", "BootCodeVersion", kVer},
    {"Corevane0", "FirmwareVersionOnFlash", kVer},
    {"Corevane0", "Capabilities", kText},
    {"Corevane0", "ControllerStatus", kText},
    {"Corevane0", "Description", kText},
    {"Corevane0", "FirmwareStatus", kText},
    {"Corevane0", "Manufacturer", kText},
    {"Corevane0", "ModelNumber", kText},
    {"Corevane0", "SerialNumber", kText},
    {"Corevane0", "PHYFirmwareVersion", kText},
    {"Corevane0", "PHYConfigurationId", kText},
    {"Corevane0", "OneView", kBool},
    {"Corevane0", "IsSecureJumperEnabled", kBool},
    {"Corevane0", "IPLFileName", kText},
    {"Corevane0", "FCoEUniversalVersion", kVer},
    {"Corevane0", "FCoEx86BIOSVersion", kVer},
    {"Corevane0", "FCoEEFIVersion", kVer},
    {"Corevane0", "FCoEFCODEVersion", kVer},
    {"Corevane0", "UEFIBIOSVersion", kVer},
    {"Corevane0", "UEFINICVersion", kVer},
    {"Corevane0", "UEFIFCODEVersion", kVer},
    {"Corevane0", "UEFISCSIVersion", kVer},
    {"Corevane0", "PXEBIOSVersion", kVer},
    {"Corevane0", "PCIExpressLinkSpeed", kText},
    {"Corevane0", "PCIExpressBusWidth", kText},
    {"Corevane0", "FFVName", "Not Available"},
    {"Corevane1", "FFVName", "1.0.0001"},
    {"Corevane0", "CorevaneOnDieTemperature", kDec},
    {"Corevane0/OEM", "PersonalityManagementWord", "0"},
    {"Corevane0/OEM", "OEMSerialNumber", kText},
    {"Corevane0/OEM", "QuoralSerialNumber", kText},
    {"Corevane0/FATData", "FATDataValid", kBool},
    {"Corevane0/NICCIM", "MaxSupportedController", kDec},
    {"Corevane0/NICCIM", "ControllerType", kText},
    {"Corevane0/NICCIM", "PortControllerName", kText},
    {"Corevane0/NICCIM", "ProtocolSupported", kText},
    {"Corevane0/NCSI", "NCSIVersion", kText},
    {"Corevane0/Personality", "CurrentPersonality", "FCoE"},
    {"Corevane1/Personality", "CurrentPersonality", "iSCSI"},
    {"Corevane0/Personality", "ConfiguredPersonality", "FCoE"},
    {"Corevane0/Personality", "AvailablePersonalities", "NIC/iSCSI/FCoE"},
    {"Corevane0/Diagnostics", "TotalCompleteCycles", kDec},
    {"Corevane0/VPD", "VPDData0", kHexDigits},
    {"Corevane0/VPD", "VPDData8", kAny},
    {"Corevane0/ProfileManagement/ActiveProfile/Port0/Function0", "Protocol", "FCoE"},
    {"Corevane0/ProfileManagement/ActiveProfile/Port0/Function1", "Protocol", "NIC"},
    {"Corevane1/ProfileManagement/ActiveProfile/Port1/Function0", "Protocol", "iSCSI"},
    {"Corevane0/ProfileManagement/ActiveProfile/Port0/Function1", "MACAddress", kMac},
    {"Corevane0/ProfileManagement/ActiveProfile/Port0/Function1", "FunctionNumber", kHex},
    {"Corevane0/PortDiscoveryAndConfiguration0", "PhysicalLinkStatus", "Link Up"},
    {"Corevane0/PortDiscoveryAndConfiguration0", "PortName", kText},
    {"Corevane0/PortDiscoveryAndConfiguration0", "FCoEWWPN", kWwpn},
    {"Corevane1/PortDiscoveryAndConfiguration0", "FCoEWWPN", ""},
    {"Corevane0/PortDiscoveryAndConfiguration0", "InterfaceType", kText},
    {"Corevane0/PortDiscoveryAndConfiguration0", "FCoELinkSpeed", kText},
    {"Corevane0/PortDiscoveryAndConfiguration0", "PortState", kBool},
    {"Corevane0/PortDiscoveryAndConfiguration0", "BeaconState", kBool},
    {"Corevane0/PortDiscoveryAndConfiguration1", "PortNumber", "1"},
    {"Corevane0/PortDiscoveryAndConfiguration0", "PHYType", kHex},
    {"Corevane0/NICPhysicalHBA0", "IfName", kText},
    {"Corevane0/NICPhysicalHBA0", "LogicalLinkStatus", "Link Up"},
    {"Corevane0/NICPhysicalHBA0", "PortSpeed", kText},
    {"Corevane0/NICPhysicalHBA0", "VEPAState", kBool},
    {"Corevane0/NICPhysicalHBA0", "SRIOVState", kBool},
    {"Corevane0/NICPhysicalHBA0", "IsVF", kBool},
    {"Corevane0/NICPhysicalHBA0", "IsRoCEEnabled", kBool},
    {"Corevane0/NICPhysicalHBA0", "MinBitsPerSecond", kDec},
    {"Corevane0/NICPhysicalHBA0", "MaxBitsPerSecond", kDec},
    {"Corevane0/NICPhysicalHBA0", "MTUSize", kDec},
    {"Corevane0/NICPhysicalHBA1", "PortNumber", "1"},
    {"Corevane0/NICPhysicalHBA0", "MaxMTUSize", kDec},
    {"Corevane0/NICPhysicalHBA0", "MACAddress", kMac},
    {"Corevane0/NICPhysicalHBA0", "PermanentMACAddress", kMac},
    {"Corevane0/NICPhysicalHBA0", "FactoryDefaultMACAddress", kMac},
    {"Corevane0/NICPhysicalHBA0/CIM", "Capabilities", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "EnabledCapabilities", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "LinkTechnology", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "ProtocolIfType", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "AddressOrigin", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "IPProtocolEndPointName", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "IPProtocolIfType", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "IPv4Address", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "SubnetMask", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "GateWay", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "IPv6Address", kText},
    {"Corevane0/NICPhysicalHBA0/CIM", "IPv6Gateway", kText},
    {"Corevane0/NICPhysicalHBA0/Driver", "DriverName", kText},
    {"Corevane0/NICPhysicalHBA0/Driver", "DriverVersion", kText},
    {"Corevane0/NICPhysicalHBA0/PCI", "DomainNumber", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "BusNumber", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "DeviceID", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "DeviceNumber", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "FunctionNumber", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "SubsysDeviceID", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "SubsysVendorID", kHex},
    {"Corevane0/NICPhysicalHBA0/PCI", "VendorID", "0x1F3C"},
    {"Corevane0/NICPhysicalHBA0/vNIC", "vNICEnabled", kBool},
    {"Corevane0/NICPhysicalHBA0/vNIC", "vNICName", kText},
    {"Corevane0/NICPhysicalHBA0/vNIC", "OuterVLANID", kDec},
    {"Corevane0/NICPhysicalHBA0/vNIC", "MinBandwidth", kDec},
    {"Corevane0/NICPhysicalHBA0/vNIC", "MaxBandwidth", kDec},
    {"Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", "NetworkBootState", kBool},
    {"Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", "AvailableNetworkBootMethods", kText},
    {"Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", "NetworkBootMethod", kText},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "LogicalLinkStatus", kText},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "PortMaxSpeed", kText},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "PortSpeed", kText},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "ActivePort", kDec},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "MaxMTUSize", kDec},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "MACAddress", kMac},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration", "PermanentMACAddress", kMac},
    {"Corevane0/NICPhysicalHBA0/Network/NICConfiguration/vNIC", "vNICEnabled", kBool},
    {"Corevane0/NICPhysicalHBA0/VPD", "VPDData0", kHexDigits},
    {"Corevane1/iSCSIPhysicalHBA0", "iSCSIBIOSEnable", kBool},
    {"Corevane1/iSCSIPhysicalHBA0", "MPIOEnabled", kBool},
    {"Corevane1/iSCSIPhysicalHBA0", "DefaultETO", kDecNA},
    {"Corevane1/iSCSIPhysicalHBA0", "LDTO", kDecNA},
    {"Corevane1/iSCSIPhysicalHBA0", "MaxCDBLength", kDec},
    {"Corevane1/iSCSIPhysicalHBA1", "PortNumber", "1"},
    {"Corevane1/iSCSIPhysicalHBA0/Driver", "DriverName", kText},
    {"Corevane1/iSCSIPhysicalHBA0/PCI", "DeviceID", kHex},
    {"Corevane1/iSCSIPhysicalHBA0/VPD", "VPDData0", kHexDigits},
    {"Corevane1/iSCSIPhysicalHBA0/Network/NICConfiguration", "MACAddress", kMac},
    {"Corevane1/iSCSIPhysicalHBA0/Network/NICConfiguration", "PermanentMACAddress", kMac},
    {"Corevane1/iSCSIPhysicalHBA0/Network/NICConfiguration", "ActivePort", kDec},
    {"Corevane1/iSCSIPhysicalHBA0/Network/NICConfiguration/vNIC", "MaxBandwidth", kDec},
};

struct ActionName {
    const char* path;
    const char* action;
};
const ActionName kActions[] = {
    {"Corevane0", "UpgradeFlashROM"},
    {"Corevane0", "ResetFactoryDefaults"},
    {"Corevane0/Personality", "SetPersonality"},
    {"Corevane0/Diagnostics", "HostToDDRDMATest"},
    {"Corevane0/Diagnostics", "EnterLoopBackMode"},
    {"Corevane0/Diagnostics", "NetworkLoopBackTest"},
    {"Corevane0/Diagnostics", "ExitLoopBackMode"},
    {"Corevane0/ExtFATData", "RetrieveARMLog"},
    {"Corevane0/NICPhysicalHBA0/PCI", "DumpNICPCIConfigRegion"},
    {"Corevane1/iSCSIPhysicalHBA0/PCI", "DumpiSCSIPCIConfigRegion"},
    {"Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", "ConfigureVLAN"},
    {"Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", "SetNetworkBoot"},
};

std::vector<uint8_t> hex_bytes(const std::string& s) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        v.push_back((uint8_t)stoul(s.substr(i, 2), 0, 16));
    return v;
}

// The adapter model the simulated driver answers from.
hbasim::Adapter model(int machineIndex) {
    hbasim::Adapter out;
    EXPECT_EQ(hbasim::read_adapter(machineIndex, [&](const hbasim::Adapter& a) { out = a; }),
              hbasim::SIM_OK);
    return out;
}

// Writes a UFI image: a 128-byte header with the file length at 56 (plus
// lengthSkew) and the build string at 72, ending with the maker's signature
// (sim/core/image_signature.h) unless damage says otherwise: 'u' no
// signature, 'f' a byte of the body changed after signing.
std::string make_ufi(const std::string& dir, const char* name, const char* build,
                     int lengthSkew = 0, size_t size = 4096, char damage = 0) {
    // Only a file that holds the whole header is signed: a shorter one is
    // refused for its length before any signature is looked at.
    const bool sign = damage != 'u' && size >= 128 + hbasim::SIG_UFI_BLOCK;
    std::vector<uint8_t> data(sign ? size - hbasim::SIG_UFI_BLOCK : size, 0);
    uint32_t len = (uint32_t)((int)size + lengthSkew);
    if (data.size() >= 60)
        for (int i = 0; i < 4; ++i)
            data[56 + (size_t)i] = (uint8_t)((len >> (8 * i)) & 0xFF);
    if (data.size() >= 72 + strlen(build)) memcpy(&data[72], build, strlen(build));
    if (data.size() > 96) data[96] = 17; // ASIC revision every default controller takes
    if (sign) hbasim::sig_append_ufi(data);
    if (damage == 'f') data[200] ^= 1;
    std::string path = dir + "/" + name;
    hbatest::write_file(path, std::string(data.begin(), data.end()));
    return path;
}

} // namespace

TEST_F(NexaTest, EveryNodeAndPropertyAnswersInItsFormat) {
    for (const PropCase& c : kTree) {
        std::string v;
        int rc = read(c.path, c.prop, &v);
        EXPECT_EQ(rc, 0) << c.path << " " << c.prop;
        EXPECT_TRUE(matches(v, c.format)) << c.path << " " << c.prop << " = '" << v << "'";
    }
    for (const ActionName& a : kActions) {
        int n = 0, t = 0;
        EXPECT_EQ(member(a.path, a.action, NEXA_KIND_ACTION, &n, &t), 0) << a.path << a.action;
    }
    // Unset VLAN values and semi-volatile MAC: the reads fail.
    for (const char* prop : {"VLANId", "VLANPriority", "VolatileMACAddress"}) {
        std::string v;
        EXPECT_EQ(read("Corevane0/NICPhysicalHBA0/NetworkBootConfiguration", prop, &v), 7) << prop;
    }
}

TEST_F(NexaTest, ValuesAgreeWithTheDriverSideModel) {
    hbasim::Machine m;
    ASSERT_EQ(hbasim::read_machine(&m), hbasim::SIM_OK);
    int ctrl = 0;
    for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
        const hbasim::Adapter& a = m.adapters[ai];
        const hbasim::AdapterKindDef* k = hbasim::adapter_kind(a.kind);
        if (!k || !k->converged) continue;
        std::string cv = "Corevane" + std::to_string(ctrl++);
        SCOPED_TRACE(cv);
        EXPECT_EQ(value(cv, "SerialNumber"), a.attrs.get("serial"));
        EXPECT_EQ(value(cv + "/OEM", "OEMSerialNumber"), a.attrs.get("serial"));
        EXPECT_EQ(value(cv, "ModelNumber"), a.attrs.get("model"));
        EXPECT_EQ(value(cv, "ActiveFirmwareVersion"), a.attrs.get("fw_active"));
        EXPECT_EQ(value(cv, "FirmwareVersionOnFlash"), a.attrs.get("fw_flash"));
        int ports = (int)a.attrs.get_u("ports");
        ASSERT_EQ(ports, 2);
        for (int p = 0; p < ports; ++p) {
            const hbasim::Function* fcoe = hbasim::fcoe_function_on_port(a, p);
            EXPECT_EQ(value(cv + "/PortDiscoveryAndConfiguration" + std::to_string(p), "FCoEWWPN"),
                      fcoe ? fcoe->attrs.get("wwpn") : "");
        }
        int nic = 0, iscsi = 0;
        for (const hbasim::Function& f : a.funcs) {
            if (f.kind != "nic" && f.kind != "iscsi") continue;
            std::string fn = cv + (f.kind == "nic" ? "/NICPhysicalHBA" + std::to_string(nic++)
                                                   : "/iSCSIPhysicalHBA" + std::to_string(iscsi++));
            SCOPED_TRACE(fn);
            EXPECT_EQ(std::stoul(value(fn + "/PCI", "BusNumber"), 0, 16), a.attrs.get_u("pci_bus"));
            EXPECT_EQ(std::stoul(value(fn + "/PCI", "FunctionNumber"), 0, 16),
                      f.attrs.get_u("pci_function"));
            EXPECT_EQ(value(fn + "/Network/NICConfiguration", "MACAddress"), f.attrs.get("mac"));
            // The whole configuration space, read as the access layer does:
            // four 64-byte pieces.
            uint8_t cfg[256];
            hbasim::func_pci_config(a, f, cfg);
            const char* dump =
                f.kind == "nic" ? "DumpNICPCIConfigRegion" : "DumpiSCSIPCIConfigRegion";
            for (int i = 0; i < 4; ++i) {
                Status st;
                ASSERT_EQ(act(fn + "/PCI", dump, {std::to_string(64 * i), "64"}, &st), 0);
                std::string want;
                char b[4];
                for (int j = 0; j < 64; ++j) {
                    snprintf(b, sizeof b, "%02x", cfg[64 * i + j]);
                    if (j) want += ' ';
                    want += b;
                }
                EXPECT_EQ(st.text, want) << "piece " << i;
            }
            char id[8];
            snprintf(id, sizeof id, "0x%02X%02X", cfg[3], cfg[2]);
            EXPECT_EQ(value(fn + "/PCI", "DeviceID"), id);
        }
    }
    EXPECT_EQ(ctrl, 2);
}

TEST_F(NexaTest, PortLinkFollowsTheFcoeFunction) {
    use_fleet("adapter CNA1 cv3\n"
              "function fcoe\nfunction fcoe link = down\nfunction nic\nfunction nic\n");
    struct Case {
        const char* path;
        const char* prop;
        const char* want;
    };
    const Case cases[] = {
        {"Corevane0/PortDiscoveryAndConfiguration0", "PhysicalLinkStatus", "Link Up"},
        {"Corevane0/PortDiscoveryAndConfiguration1", "PhysicalLinkStatus", "Link Down"},
        {"Corevane0/PortDiscoveryAndConfiguration1", "FCoELinkSpeed", "N/A"},
        {"Corevane0/NICPhysicalHBA1", "LogicalLinkStatus", "Link Up"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(value(c.path, c.prop), c.want) << c.path;
}

TEST_F(NexaTest, VpdPieces) {
    // Built VPD: identifier, read-only keywords with SN and V2, a valid checksum.
    std::string all;
    for (int k = 0; k < 9; ++k) {
        std::string piece =
            value("Corevane1/NICPhysicalHBA0/VPD", ("VPDData" + std::to_string(k)).c_str());
        EXPECT_LE(piece.size(), 254u);
        all += piece;
    }
    std::vector<uint8_t> v = hex_bytes(all);
    ASSERT_GT(v.size(), 8u);
    EXPECT_EQ(v[0], 0x82);
    std::string text(v.begin(), v.end());
    EXPECT_NE(text.find(std::string("SN\x09") + "QS2100004"), std::string::npos);
    EXPECT_NE(text.find(std::string("V2\x07") + "TRN4102"), std::string::npos);
    size_t rv = text.find("RV");
    ASSERT_NE(rv, std::string::npos);
    uint8_t sum = 0;
    for (size_t i = 0; i <= rv + 3; ++i)
        sum = (uint8_t)(sum + v[i]);
    EXPECT_EQ(sum, 0);
    // A VPD set in the fleet is cut into pieces of 127 bytes.
    std::string raw;
    for (int i = 0; i < 300; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02X", i & 0xFF);
        raw += b;
    }
    use_fleet("adapter CNA2 tarnel\nfunction nic vpd = " + raw + "\n");
    std::vector<size_t> sizes;
    all.clear();
    for (int k = 0; k < 9; ++k) {
        std::string piece =
            value("Corevane0/NICPhysicalHBA0/VPD", ("VPDData" + std::to_string(k)).c_str());
        sizes.push_back(piece.size());
        all += piece;
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{254, 254, 92, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(all, raw);
}

TEST_F(NexaTest, WrittenSettingsPersistAcrossProcessesAndReboot) {
    const std::string fn = "Corevane0/NICPhysicalHBA1";
    const std::string nbc = fn + "/NetworkBootConfiguration";
    ASSERT_EQ(write(nbc, "VolatileMACAddress", "02-00-00-00-00-01"), 0);
    ASSERT_EQ(act(nbc, "ConfigureVLAN", {"100", "5"}), 0);
    ASSERT_EQ(write("Corevane1", "FFVName", "3.4.5678"), 0);
    ASSERT_EQ(act("Corevane0/Personality", "SetPersonality", {"NIC"}), 0);
    EXPECT_EQ(probe("read:" + nbc + ":VolatileMACAddress"), "init=0 rc=0 v=02-00-00-00-00-01");
    EXPECT_EQ(probe("read:" + nbc + ":VLANId"), "init=0 rc=0 v=100");
    EXPECT_EQ(probe("read:" + nbc + ":VLANPriority"), "init=0 rc=0 v=5");
    EXPECT_EQ(probe("read:Corevane1:FFVName"), "init=0 rc=0 v=3.4.5678");
    EXPECT_EQ(probe("read:Corevane0/Personality:ConfiguredPersonality"), "init=0 rc=0 v=NIC");
    EXPECT_EQ(probe("read:Corevane0/Personality:CurrentPersonality"), "init=0 rc=0 v=FCoE");
    // A server reboot makes the semi-volatile MAC and the personality current.
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(value(fn, "MACAddress"), "02-00-00-00-00-01");
    EXPECT_EQ(value(fn, "PermanentMACAddress"), model(2).funcs[3].attrs.get("permanent_mac"));
    EXPECT_EQ(value("Corevane0/Personality", "CurrentPersonality"), "NIC");
}

TEST_F(NexaTest, ActionParameterChecks) {
    const std::string nic = "Corevane0/NICPhysicalHBA0";
    const std::string nbc = nic + "/NetworkBootConfiguration";
    const std::string diag = "Corevane0/Diagnostics";
    struct Case {
        std::string path;
        const char* action;
        std::vector<std::string> params;
        int code;
    };
    const Case cases[] = {
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"192", "64"}, 0},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"250", "6"}, 0},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"250", "7"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"0", "65"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"0", "0"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"256", "1"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"-1", "4"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {"0x10", "4"}, 6},
        {nic + "/PCI", "DumpNICPCIConfigRegion", {}, 6},
        {nbc, "ConfigureVLAN", {"4095", "7"}, 0},
        {nbc, "ConfigureVLAN", {"4096", "0"}, 6},
        {nbc, "ConfigureVLAN", {"0", "8"}, 6},
        {nbc, "ConfigureVLAN", {"", "0"}, 6},
        {nbc, "SetNetworkBoot", {"Enabled", "\xFF"}, 0},
        {nbc, "SetNetworkBoot", {"Disabled", "pxe"}, 0},
        {nbc, "SetNetworkBoot", {"On", ""}, 6},
        {nbc, "SetNetworkBoot", {"Enabled", "iSCSI"}, 6},
        {"Corevane0/Personality", "SetPersonality", {"iSCSI"}, 0},
        {"Corevane0/Personality", "SetPersonality", {"iscsi"}, 6},
        {"Corevane0/Personality", "SetPersonality", {""}, 6},
        {diag, "HostToDDRDMATest", {"A5A5", "4096", "4096"}, 0},
        {diag, "HostToDDRDMATest", {"A5A5", "4097", "1"}, 6},
        {diag, "HostToDDRDMATest", {"A5A5", "64", "0"}, 6},
        {diag, "HostToDDRDMATest", {"", "64", "1"}, 6},
        {diag, "EnterLoopBackMode", {"2", "2", "MacLoopBack"}, 6},
        {diag, "EnterLoopBackMode", {"0", "1", "MacLoopBack"}, 6},
        {diag, "EnterLoopBackMode", {"0", "0", "macloopback"}, 6},
        {diag, "NetworkLoopBackTest", {"A5", "64", "10", "0", "0", "MacLoopBack"}, 6},
        {diag, "ExitLoopBackMode", {"1", "1"}, 0},
        {"Corevane0/ExtFATData", "RetrieveARMLog", {"", "RAM"}, 6},
        {"Corevane0/ExtFATData", "RetrieveARMLog", {state_.path("arm.efd"), "ROM"}, 6},
        {"Corevane0", "ResetFactoryDefaults", {"\xFF"}, 0},
        {"Corevane0", "UpgradeFlashROM", {state_.path("missing.ufi")}, 39},
        {"Corevane0", "UpgradeFlashROM", {}, 39},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.action + " " + (c.params.empty() ? "" : c.params[0]));
        Status st;
        EXPECT_EQ(act(c.path, c.action, c.params, &st), c.code);
        EXPECT_EQ(st.code, c.code);
        EXPECT_FALSE(st.text.empty());
    }
}

TEST_F(NexaTest, DiagnosticsRecordCycles) {
    const std::string diag = "Corevane0/Diagnostics";
    EXPECT_EQ(act(diag, "HostToDDRDMATest", {"A5A5", "64", "904"}), 0);
    EXPECT_EQ(value(diag, "TotalCompleteCycles"), "904");
    EXPECT_EQ(act(diag, "EnterLoopBackMode", {"1", "1", "PhyLoopBack"}), 0);
    EXPECT_EQ(act(diag, "NetworkLoopBackTest", {"A5", "64", "10", "1", "1", "MacLoopBack"}), 6);
    EXPECT_EQ(act(diag, "NetworkLoopBackTest", {"A5", "64", "10", "0", "0", "PhyLoopBack"}), 6);
    EXPECT_EQ(act(diag, "NetworkLoopBackTest", {"A5", "64", "100", "1", "1", "PhyLoopBack"}), 0);
    EXPECT_EQ(value(diag, "TotalCompleteCycles"), "100");
    EXPECT_EQ(act(diag, "ExitLoopBackMode", {"1", "1"}), 0);
    EXPECT_EQ(act(diag, "NetworkLoopBackTest", {"A5", "64", "100", "1", "1", "PhyLoopBack"}), 6);
}

TEST_F(NexaTest, SettingsActionsAndFactoryDefaults) {
    const std::string nbc = "Corevane0/NICPhysicalHBA0/NetworkBootConfiguration";
    ASSERT_EQ(act(nbc, "ConfigureVLAN", {"10", "3"}), 0);
    EXPECT_EQ(value(nbc, "VLANId"), "10");
    EXPECT_EQ(value(nbc, "VLANPriority"), "3");
    ASSERT_EQ(act(nbc, "SetNetworkBoot", {"Enabled", "pxe"}), 0);
    EXPECT_EQ(value(nbc, "NetworkBootState"), "Enabled");
    EXPECT_EQ(value(nbc, "NetworkBootMethod"), "PXE");
    ASSERT_EQ(write(nbc, "VolatileMACAddress", "02-00-00-00-00-07"), 0);
    ASSERT_EQ(act("Corevane0", "ResetFactoryDefaults", {"\xFF"}), 0);
    std::string v;
    EXPECT_EQ(read(nbc, "VLANId", &v), 7);
    EXPECT_EQ(read(nbc, "VolatileMACAddress", &v), 7);
    EXPECT_EQ(value(nbc, "NetworkBootState"), "Disabled");
}

TEST_F(NexaTest, PersonalityRules) {
    struct Case {
        const char* fleetAttrs;
        const char* request;
        int setCode;
        int availableRc;
        int configuredRc;
    };
    const Case cases[] = {
        {"", "NIC", 0, 0, 0},
        {"personality_change = no", "NIC", 151, 0, 0},
        {"available_personalities = \"\"", "NIC", 151, 176, 177},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fleetAttrs);
        use_fleet(std::string("adapter CNA1 cv3 ") + c.fleetAttrs +
                  "\nfunction fcoe\nfunction nic\n");
        const std::string p = "Corevane0/Personality";
        std::string v;
        EXPECT_EQ(read(p, "AvailablePersonalities", &v), c.availableRc);
        if (c.availableRc) {
            EXPECT_EQ(last_status().code, c.availableRc);
        }
        EXPECT_EQ(read(p, "ConfiguredPersonality", &v), c.configuredRc);
        if (c.configuredRc) {
            EXPECT_EQ(last_status().code, c.configuredRc);
        }
        EXPECT_EQ(value(p, "CurrentPersonality"), "FCoE");
        EXPECT_EQ(act(p, "SetPersonality", {c.request}), c.setCode);
    }
}

TEST_F(NexaTest, UpgradeFlashRom) {
    struct Case {
        const char* ctrl;
        const char* build;
        int skew;
        size_t size;
        char damage; // make_ufi's
        int code;
        const char* onFlash; // expected FirmwareVersionOnFlash afterwards
    };
    const Case cases[] = {
        {"Corevane0", "4 12.0.300.1", 0, 4096, 0, 162, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", 1, 4096, 0, 40, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", -1, 4096, 0, 40, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", 0, 60, 0, 40, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", 0, 4096, 'u', 337, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", 0, 4096, 'f', 336, "11.4.204.20"},
        {"Corevane0", "3 11.4.300.1", 0, 4096, 0, 55, "11.4.300.1"},
        {"Corevane1", "412.0.300.2", 0, 4096, 0, 55, "412.0.300.2"},
        // A build string filling all 24 bytes: its last byte is the field's
        // terminator, as every reader of the file takes it.
        {"Corevane0", "3 11.4.300.123456789012X", 0, 4096, 0, 55, "11.4.300.123456789012"},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ctrl) + " " + c.build);
        std::string path = make_ufi(state_.dir(), ("img" + std::to_string(i++) + ".ufi").c_str(),
                                    c.build, c.skew, c.size, c.damage);
        Status st;
        EXPECT_EQ(act(c.ctrl, "UpgradeFlashROM", {path}, &st), c.code);
        EXPECT_EQ(st.code, c.code);
        EXPECT_EQ(value(c.ctrl, "FirmwareVersionOnFlash"), c.onFlash);
    }
    // The new firmware becomes active at a reboot, for NEXA and for the driver's
    // view of the FCoE functions alike.
    EXPECT_EQ(value("Corevane0", "ActiveFirmwareVersion"), "11.4.204.20");
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(value("Corevane0", "ActiveFirmwareVersion"), "11.4.300.123456789012");
    EXPECT_EQ(model(2).attrs.get("fw_active"), "11.4.300.123456789012");
}

TEST_F(NexaTest, RetrieveArmLog) {
    std::string path = state_.path("core.efd");
    EXPECT_EQ(act("Corevane0/ExtFATData", "RetrieveARMLog", {path, "RAM"}), 0);
    std::string data = hbatest::read_file(path);
    EXPECT_EQ(data.rfind("EFD\n", 0), 0u);
    EXPECT_NE(data.find("serial=QS2100003"), std::string::npos);
    use_fleet("adapter CNA1 cv3 ext_fat_data = no\nfunction nic\n");
    Status st;
    EXPECT_EQ(act("Corevane0/ExtFATData", "RetrieveARMLog", {path, "RAM"}, &st), 205);
    EXPECT_EQ(st.code, 205);
}
