// The NEXA access layer against the simulated NEXA library: start and end,
// enumeration, typed readers, busy propagation and every inventory group.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/families.h"
#include "hbaset/cna/mal.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

int journalCount(const std::string& needle) {
    int n = 0;
    for (const std::string& line : hbasim::journal_lines()) {
        if (line.find(needle) != std::string::npos) n++;
    }
    return n;
}
// A get_property_val or a property lookup of name in the journal.
bool touched(const std::string& name) {
    return journalCount(" " + name + " -> ") + journalCount("name=" + name + " ") > 0;
}

void addFault(const std::string& match, const std::string& action, int nth = 0) {
    hbasim::Fault f;
    f.source = "nexa";
    f.match = match;
    f.nth = nth;
    f.action = action;
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
}

// The default fleet's adapters (same positions, buses and serials) with every
// value a NEXA reader could take from a neighbouring property set apart: four
// different MACs per NIC function, two per iSCSI function, names, speeds and
// the flashed firmware unlike the running one.
const char kDistinctFleet[] =
    "adapter FC1 fc\nfunction fc\nfunction fc\n"
    "adapter BRV1 brevin\nfunction fc\nfunction fc\n"
    "adapter CNA1 cv3 fw_flash = 11.4.300.7\n"
    "function fcoe\nfunction fcoe\n"
    "function nic mac = 02-1F-3C-31-00-01 permanent_mac = 02-1F-3C-31-00-02"
    " factory_mac = 02-1F-3C-31-00-03 sv_mac = 02-1F-3C-31-00-04 if_name = \"cv3 nic 0\"\n"
    "function nic mac = 02-1F-3C-32-00-01 permanent_mac = 02-1F-3C-32-00-02"
    " factory_mac = 02-1F-3C-32-00-03 sv_mac = 02-1F-3C-32-00-04 if_name = \"cv3 nic 1\"\n"
    "adapter CNA2 tarnel fw_flash = 12.0.300.9\n"
    "function iscsi mac = 02-1F-3C-41-00-01 permanent_mac = 02-1F-3C-41-00-02"
    " nic_speed = \"25 Gbps\"\n"
    "function iscsi mac = 02-1F-3C-42-00-01 permanent_mac = 02-1F-3C-42-00-02"
    " nic_speed = \"40 Gbps\"\n"
    "function nic mac = 02-1F-3C-43-00-01 permanent_mac = 02-1F-3C-43-00-02"
    " factory_mac = 02-1F-3C-43-00-03 sv_mac = 02-1F-3C-43-00-04 if_name = \"trn nic 0\"\n"
    "function nic mac = 02-1F-3C-44-00-01 permanent_mac = 02-1F-3C-44-00-02"
    " factory_mac = 02-1F-3C-44-00-03 sv_mac = 02-1F-3C-44-00-04 if_name = \"trn nic 1\"\n";

// Six MAC bytes from their hex text "02-1F-3C-31-00-01".
std::vector<uint8_t> macBytes(const char* text) {
    std::vector<uint8_t> b(6);
    for (size_t i = 0; i < 6; ++i)
        b[i] = static_cast<uint8_t>(std::stoul(std::string(text + 3 * i, 2), nullptr, 16));
    return b;
}
std::vector<uint8_t> macOf(const uint8_t* p) {
    return std::vector<uint8_t>(p, p + 6);
}

class MalTest : public ::testing::Test {
  protected:
    void start(const std::string& fleet = "") {
        state_.init(fleet);
        char svc[MAL_VALUE_SIZE];
        char hier[MAL_VALUE_SIZE];
        ASSERT_EQ(MAL_NEXA_init(svc, sizeof(svc), hier, sizeof(hier)), MAL_RM_OK);
        hbasim::journal_clear();
    }
    void TearDown() override { MAL_NEXA_exit(); }

    std::vector<int> controllers() {
        std::vector<int> tags(MAL_MAX_INSTANCES);
        int n = MAL_MAX_INSTANCES;
        EXPECT_EQ(MAL_EnumerateControllers(&n, tags.data()), MAL_RM_OK);
        tags.resize(static_cast<size_t>(n));
        return tags;
    }
    std::vector<int> children(int controller, int kind) {
        std::vector<int> tags(MAL_MAX_INSTANCES);
        int n = MAL_MAX_INSTANCES;
        EXPECT_EQ(MAL_EnumeratePhysicalHBAs(controller, kind, &n, tags.data()), MAL_RM_OK);
        tags.resize(static_cast<size_t>(n));
        return tags;
    }
    int node(int parent, const char* name) {
        int tag = 0;
        EXPECT_EQ(malChildNode(parent, name, &tag), MAL_RM_OK) << name;
        return tag;
    }

    hbatest::TempState state_;
};

// ---- start and end -------------------------------------------------------------

TEST_F(MalTest, InitReadsBothVersionsAndExitRunsOnce) {
    state_.init();
    char svc[4];
    char hier[MAL_VALUE_SIZE];
    ASSERT_EQ(MAL_NEXA_init(svc, sizeof(svc), hier, sizeof(hier)), MAL_RM_OK);
    EXPECT_EQ(strlen(svc), 3u) << "cut to the caller's buffer";
    EXPECT_GT(strlen(hier), 0u);
    EXPECT_TRUE(MAL_NEXA_is_open());
    MAL_NEXA_exit();
    MAL_NEXA_exit();
    EXPECT_FALSE(MAL_NEXA_is_open());
    EXPECT_EQ(journalCount("exit -> "), 1);
}

TEST_F(MalTest, InitFailures) {
    const struct {
        const char* match;
        const char* action;
        int expect;
        bool versionsRead;
    } cases[] = {
        {"init", "rc=14", MAL_RM_BUSY, false},
        {"init", "rc=3", MAL_RM_NEXA_ERROR, false},
        {"get_property_val:NEXAServiceVersion", "rc=14", MAL_RM_BUSY, true},
        {"get_node_tag:NEXAHierarchyVersion", "rc=5", MAL_RM_NEXA_ERROR, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.match) + " " + c.action);
        hbatest::TempState state;
        state.init();
        addFault(c.match, c.action);
        char svc[MAL_VALUE_SIZE] = "unchanged";
        EXPECT_EQ(MAL_NEXA_init(svc, sizeof(svc), nullptr, 0), c.expect);
        EXPECT_STREQ(svc, "unchanged");
        if (!c.versionsRead) {
            EXPECT_EQ(journalCount("get_node_tag") + journalCount("get_property_val"), 0);
        }
        // A connection that opened is closed again even when a version read failed.
        EXPECT_EQ(MAL_NEXA_is_open(), c.versionsRead);
        MAL_NEXA_exit();
        EXPECT_EQ(journalCount("exit -> "), c.versionsRead ? 1 : 0);
    }
}

TEST_F(MalTest, TraceLinesOnlyWithTheNexaTraceBit) {
    state_.init();
    const struct {
        uint32_t logMode;
        bool traced;
    } cases[] = {{0x80000, true}, {0x8000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logMode);
        traceReset();
        ASSERT_EQ(traceSetDirectory(state_.dir().c_str()), 0);
        const std::string log = state_.path("qrldbg.log");
        hbatest::write_file(log, "");
        g_trace.settings.logMode = c.logMode;

        char svc[MAL_VALUE_SIZE];
        ASSERT_EQ(MAL_NEXA_init(svc, sizeof(svc), nullptr, 0), MAL_RM_OK);
        int tag = 0;
        EXPECT_EQ(get_node_tag(0, "NoSuchNode", &tag, 1), MAL_RM_NEXA_ERROR);
        MAL_NEXA_exit();
        traceReset();

        const std::string text = hbatest::read_file(log);
        const std::string expected[] = {
            "MAL_NEXA_init:\nOK\n",
            "get_node_tag:     parent=0, name=NEXAServiceVersion, type=2: tag=",
            std::string("get_property_val: parent=0, tag="),
            std::string(":  val=") + svc + "\n",
            "get_node_tag:     parent=0, name=NoSuchNode, type=1: ERROR: status=4\n"
            "get_last_status: string=",
        };
        for (const std::string& e : expected) {
            EXPECT_EQ(text.find(e) != std::string::npos, c.traced) << e << "\n---\n" << text;
        }
        if (!c.traced) {
            EXPECT_EQ(text, "");
        }
    }
}

// ---- enumeration ---------------------------------------------------------------

TEST_F(MalTest, EnumerationRefusesSmallArraysWithoutCallingNexa) {
    start();
    std::vector<int> tags(4096);
    const int capacities[] = {0, 1, 1000, MAL_MAX_INSTANCES - 1};
    for (int cap : capacities) {
        int n = cap;
        EXPECT_EQ(MAL_EnumerateControllers(&n, tags.data()), MAL_RM_SMALL_ARRAY) << cap;
        n = cap;
        EXPECT_EQ(MAL_EnumerateFunctions(1, &n, tags.data()), MAL_RM_SMALL_ARRAY) << cap;
        n = cap;
        EXPECT_EQ(EnumeratePMPorts(1, "ActiveProfile", &n, tags.data()), MAL_RM_SMALL_ARRAY);
        EXPECT_EQ(n, 0);
    }
    for (int kind : {-1, 4}) {
        int n = MAL_MAX_INSTANCES;
        EXPECT_EQ(MAL_EnumeratePhysicalHBAs(1, kind, &n, tags.data()), MAL_RM_BAD_KIND);
    }
    EXPECT_TRUE(hbasim::journal_lines().empty()) << "no NEXA call";

    // Room beyond the limit is fine; NEXA is asked for at most 1024.
    int n = 4096;
    EXPECT_EQ(MAL_EnumerateControllers(&n, tags.data()), MAL_RM_OK);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(journalCount("cap=1024"), 1);
}

TEST_F(MalTest, EnumerationFailureMidwayKeepsOnlyConvertedTags) {
    start();
    std::vector<int> good = controllers();
    ASSERT_EQ(good.size(), 2u);

    addFault("get_node_tag:Corevane1", "rc=5");
    std::vector<int> tags(MAL_MAX_INSTANCES, -7);
    int n = MAL_MAX_INSTANCES;
    EXPECT_EQ(MAL_EnumerateControllers(&n, tags.data()), MAL_RM_NEXA_ERROR);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(tags[0], good[0]);

    hbasim::fault_clear();
    addFault("get_valid_instances:Corevane", "rc=14");
    n = MAL_MAX_INSTANCES;
    EXPECT_EQ(MAL_EnumerateControllers(&n, tags.data()), MAL_RM_BUSY);
    EXPECT_EQ(n, 0);
}

// ---- typed readers -----------------------------------------------------------------

const char kReaderFleet[] = R"(
adapter T1 tarnel
function iscsi default_eto = "N/A" ldto = "n/a"
function nic if_name = Enabled netboot_method = CIN netboot_methods = PXE
    ipv4_address = "10.1.2" ipv4_subnet = "10.1.2.3.4" ipv4_gateway = "10.1.2.300"
    ipv6_address = "::" ipv6_gateway = "a::b::c" address_origin = "12345::1"
    link_technology = "fe80::1" protocol_if_type = "00-1F-3C-0A-0B" ip_endpoint_name = "N/A"
    cim_capabilities = "99999999999"
)";

TEST_F(MalTest, TypedReadersConvertValues) {
    start(kReaderFleet);
    int ctl = controllers().at(0);
    int nic = children(ctl, MAL_HBA_NIC).at(0);
    int cim = node(nic, "CIM");
    int boot = node(nic, "NetworkBootConfiguration");

    int32_t b[3];
    const MalBoolProp bools[] = {{"IfName", &b[0]}, {"NetworkBootMethod", &b[1]}};
    EXPECT_EQ(MAL_GetBooleanProperties(nic, 1, bools), MAL_RM_OK);
    EXPECT_EQ(MAL_GetBooleanProperties(boot, 1, bools + 1), MAL_RM_OK);
    const MalBoolProp other[] = {{"AvailableNetworkBootMethods", &b[2]}};
    EXPECT_EQ(MAL_GetBooleanProperties(boot, 1, other), MAL_RM_OK);
    EXPECT_EQ(b[0], 1) << "Enabled";
    EXPECT_EQ(b[1], 0) << "CIN";
    EXPECT_EQ(b[2], 2) << "any other word";

    uint8_t v4[3][4];
    const MalIPv4Prop ipv4[] = {{"IPv4Address", v4[0]}, {"SubnetMask", v4[1]}, {"GateWay", v4[2]}};
    EXPECT_EQ(MAL_GetIPv4Properties(cim, 3, ipv4), MAL_RM_OK);
    const uint8_t zero[4] = {0, 0, 0, 0};
    const uint8_t first4[4] = {10, 1, 2, 3};
    EXPECT_EQ(memcmp(v4[0], zero, 4), 0) << "10.1.2";
    EXPECT_EQ(memcmp(v4[1], first4, 4), 0) << "10.1.2.3.4";
    EXPECT_EQ(memcmp(v4[2], zero, 4), 0) << "10.1.2.300";

    MalIPv6 v6[4];
    const MalIPv6Prop ipv6[] = {{"IPv6Address", &v6[0]},
                                {"IPv6Gateway", &v6[1]},
                                {"AddressOrigin", &v6[2]},
                                {"LinkTechnology", &v6[3]}};
    EXPECT_EQ(MAL_GetIPv6Properties(cim, 4, ipv6), MAL_RM_OK);
    EXPECT_STREQ(v6[0].text, "Not Available") << "::";
    EXPECT_STREQ(v6[1].text, "Not Available") << "a::b::c";
    EXPECT_STREQ(v6[2].text, "Not Available") << "12345::1";
    EXPECT_STREQ(v6[3].text, "fe80::1");
    EXPECT_EQ(v6[3].bytes[0], 0xFE);
    EXPECT_EQ(v6[3].bytes[15], 0x01);

    uint8_t mac[2][6];
    const MalMacProp macs[] = {{"ProtocolIfType", mac[0]}, {"LinkTechnology", mac[1]}};
    hbasim::journal_clear();
    EXPECT_EQ(MAL_GetMACProperties(cim, 2, macs), MAL_RM_MAC_FORMAT) << "five fields";
    EXPECT_FALSE(touched("LinkTechnology")) << "the group ends at once";

    uint32_t hex = 77;
    const MalHexProp hexes[] = {{"IPProtocolEndPointName", &hex}};
    EXPECT_EQ(MAL_GetHexProperties(cim, 1, hexes), MAL_RM_OK);
    EXPECT_EQ(hex, 0u) << "N/A";

    int32_t big = 0;
    const MalIntProp ints[] = {{"Capabilities", &big}};
    EXPECT_EQ(MAL_GetIntegerProperties(cim, 1, ints), MAL_RM_OK);
    EXPECT_EQ(big, INT32_MAX) << "clamped, not wrapped";

    int iscsi = children(ctl, MAL_HBA_ISCSI).at(0);
    int32_t eto[2];
    const MalIntProp etos[] = {{"DefaultETO", &eto[0]}, {"LDTO", &eto[1]}};
    EXPECT_EQ(MAL_GetIntegerProperties(iscsi, 2, etos), MAL_RM_OK);
    EXPECT_EQ(eto[0], 0x0FFFFFFF) << "DefaultETO N/A";
    EXPECT_EQ(eto[1], 0) << "LDTO n/a";
    MalIscsiFunction rec;
    EXPECT_EQ(MAL_GetiSCSIFunctionAttributes(iscsi, &rec), MAL_RM_OK);
    EXPECT_EQ(rec.defaultETO, -1);
    EXPECT_EQ(rec.ldto, -1);
}

TEST_F(MalTest, UnreadablePropertiesGetTheirFallbacks) {
    start();
    int ctl = controllers().at(0);
    int nic = children(ctl, MAL_HBA_NIC).at(0);
    const char* missing = "NoSuchProperty";

    int32_t b = 0;
    const MalBoolProp bools[] = {{missing, &b}};
    EXPECT_EQ(MAL_GetBooleanProperties(nic, 1, bools), MAL_RM_OK);
    EXPECT_EQ(b, 2);

    uint32_t h = 5;
    const MalHexProp hexes[] = {{missing, &h}};
    EXPECT_EQ(MAL_GetHexProperties(nic, 1, hexes), MAL_RM_NEXA_ERROR);
    EXPECT_EQ(h, 0u);

    int32_t d = 5;
    const MalIntProp ints[] = {{missing, &d}};
    EXPECT_EQ(MAL_GetIntegerProperties(nic, 1, ints), MAL_RM_NEXA_ERROR);
    EXPECT_EQ(d, 0);

    uint8_t ip[4] = {1, 2, 3, 4};
    const MalIPv4Prop v4[] = {{missing, ip}};
    EXPECT_EQ(MAL_GetIPv4Properties(nic, 1, v4), MAL_RM_NEXA_ERROR);
    EXPECT_EQ(ip[0] | ip[1] | ip[2] | ip[3], 0);

    MalIPv6 v6;
    const MalIPv6Prop v6s[] = {{missing, &v6}};
    EXPECT_EQ(MAL_GetIPv6Properties(nic, 1, v6s), MAL_RM_NEXA_ERROR);
    EXPECT_STREQ(v6.text, "Not Available");

    // An unreadable current MAC does not fail the group; any other MAC does.
    addFault("get_property_val:MACAddress", "rc=5");
    uint8_t mac[6];
    memset(mac, 0x11, sizeof(mac));
    const MalMacProp current[] = {{"MACAddress", mac}};
    EXPECT_EQ(MAL_GetMACProperties(nic, 1, current), MAL_RM_OK);
    EXPECT_EQ(mac[0] | mac[5], 0);
    const MalMacProp volatileMac[] = {{"VolatileMACAddress", mac}}; // unset: the read fails
    EXPECT_EQ(MAL_GetMACProperties(node(nic, "NetworkBootConfiguration"), 1, volatileMac),
              MAL_RM_NEXA_ERROR);

    // Strings: link status "n/a", speeds "Not Available", others empty and failing.
    hbasim::fault_clear();
    addFault("get_property_val:LogicalLinkStatus", "rc=5");
    addFault("get_property_val:PortSpeed", "rc=5");
    char link[8] = "x", speed[32] = "x", other[16] = "x";
    const MalStringProp fallbacks[] = {{"LogicalLinkStatus", link, sizeof(link)},
                                       {"PortSpeed", speed, sizeof(speed)}};
    EXPECT_EQ(MAL_GetStringProperties(nic, 2, fallbacks), MAL_RM_OK);
    EXPECT_STREQ(link, "n/a");
    EXPECT_STREQ(speed, "Not Available");
    const MalStringProp plain[] = {{missing, other, sizeof(other)}};
    EXPECT_EQ(MAL_GetStringProperties(nic, 1, plain), MAL_RM_NEXA_ERROR);
    EXPECT_STREQ(other, "");

    // Values are cut to the destination and always terminated.
    char tiny[4];
    const MalStringProp cut[] = {{"IfName", tiny, sizeof(tiny)}};
    EXPECT_EQ(MAL_GetStringProperties(nic, 1, cut), MAL_RM_OK);
    EXPECT_EQ(strlen(tiny), 3u);
}

// ---- busy propagation ------------------------------------------------------------------

TEST_F(MalTest, BusyOnTheThirdPropertyEndsEveryTypedGroup) {
    // The third property answers 14: the group gives 64 and reads nothing after it.
    const char* names[5] = {"MACAddress", "FactoryDefaultMACAddress", "PermanentMACAddress",
                            "IfName", "PortSpeed"};
    int32_t i32[5];
    uint32_t u32[5];
    uint8_t bytes[5][6];
    MalIPv6 v6[5];
    char texts[5][64];
    const std::function<int(int)> readers[] = {
        [&](int n) {
            MalBoolProp p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], &i32[k]};
            int rc = MAL_GetBooleanProperties(n, 5, p);
            EXPECT_EQ(i32[4], 2);
            return rc;
        },
        [&](int n) {
            MalHexProp p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], &u32[k]};
            return MAL_GetHexProperties(n, 5, p);
        },
        [&](int n) {
            MalIntProp p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], &i32[k]};
            return MAL_GetIntegerProperties(n, 5, p);
        },
        [&](int n) {
            MalIPv4Prop p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], bytes[k]};
            return MAL_GetIPv4Properties(n, 5, p);
        },
        [&](int n) {
            MalIPv6Prop p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], &v6[k]};
            int rc = MAL_GetIPv6Properties(n, 5, p);
            EXPECT_STREQ(v6[4].text, "Not Available");
            return rc;
        },
        [&](int n) {
            MalMacProp p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], bytes[k]};
            return MAL_GetMACProperties(n, 5, p);
        },
        [&](int n) {
            MalStringProp p[5];
            for (int k = 0; k < 5; k++)
                p[k] = {names[k], texts[k], sizeof(texts[k])};
            int rc = MAL_GetStringProperties(n, 5, p);
            EXPECT_STREQ(texts[3], "");
            EXPECT_STREQ(texts[0], "02-1F-3C-31-00-01");
            return rc;
        },
    };
    start(kDistinctFleet);
    int nic = children(controllers().at(0), MAL_HBA_NIC).at(0);
    addFault("get_property_val:PermanentMACAddress", "rc=14");
    int row = 0;
    for (const auto& read : readers) {
        SCOPED_TRACE(row++);
        hbasim::journal_clear();
        EXPECT_EQ(read(nic), MAL_RM_BUSY);
        EXPECT_TRUE(touched("FactoryDefaultMACAddress"));
        EXPECT_FALSE(touched("IfName"));
        EXPECT_FALSE(touched("PortSpeed"));
    }
}

TEST_F(MalTest, BusyEndsEveryInventoryGroup) {
    start();
    int cna1 = controllers().at(0);
    int cna2 = controllers().at(1);
    int nic = children(cna1, MAL_HBA_NIC).at(0);
    int port = children(cna1, MAL_HBA_PORT).at(0);
    int iscsi = children(cna2, MAL_HBA_ISCSI).at(0);
    static MalControllerAttributes ctl;
    static MalNicFunction nicRec;
    static MalIscsiFunction iscsiRec;
    static MalPortAttributes portRec;
    static MalOemProperties oem;
    static MalNicConfiguration nicCfg;
    const struct {
        const char* busy;  // property that answers 14
        const char* after; // a property the group would read later
        std::function<int()> read;
    } cases[] = {
        {"Manufacturer", "PCIExpressBusWidth",
         [&] { return MAL_GetControllerAttributes(cna1, &ctl); }},
        {"OEMSerialNumber", "FATDataValid",
         [&] { return MAL_GetControllerAttributes(cna1, &ctl); }},
        {"QuoralSerialNumber", "PersonalityManagementWord",
         [&] { return MAL_GetOEMProperties(cna1, &oem); }},
        {"FCoEWWPN", "PortNumber", [&] { return MAL_GetPortAttributes(port, &portRec); }},
        {"MTUSize", "FactoryDefaultMACAddress",
         [&] { return MAL_GetNICFunctionAttributes(nic, &nicRec); }},
        {"DriverName", "VolatileMACAddress",
         [&] { return MAL_GetNICFunctionAttributes(nic, &nicRec); }},
        {"LDTO", "DriverVersion", [&] { return MAL_GetiSCSIFunctionAttributes(iscsi, &iscsiRec); }},
        {"PortMaxSpeed", "PermanentMACAddress",
         [&] { return MAL_GetNICConfiguration(iscsi, &nicCfg); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.busy);
        hbasim::fault_clear();
        addFault(std::string("get_property_val:") + c.busy, "rc=14");
        hbasim::journal_clear();
        EXPECT_EQ(c.read(), MAL_RM_BUSY);
        EXPECT_TRUE(touched(c.busy));
        EXPECT_FALSE(touched(c.after));
        EXPECT_EQ(journalCount("do_action"), 0);
    }
}

// ---- inventory groups of the default fleet ------------------------------------------------

struct FleetFunction {
    int adapter = -1;
    hbasim::Function func;
    hbasim::Adapter owner;
};

// The simulated function of that kind and PCI function number.
FleetFunction fleetFunction(int adapter, const char* kind, uint32_t pciFunction) {
    FleetFunction out;
    hbasim::read_adapter(adapter, [&](const hbasim::Adapter& a) {
        for (const hbasim::Function& f : a.funcs) {
            if (f.kind == kind && f.attrs.get_u("pci_function") == pciFunction) {
                out.adapter = adapter;
                out.func = f;
                out.owner = a;
            }
        }
    });
    return out;
}

void expectPciDumpMatches(int adapter, const char* kind, const MalPciProperties& pci,
                          const uint8_t* dump) {
    FleetFunction ff = fleetFunction(adapter, kind, pci.functionNumber);
    ASSERT_EQ(ff.adapter, adapter) << kind << " function " << pci.functionNumber;
    uint8_t expect[256];
    hbasim::func_pci_config(ff.owner, ff.func, expect);
    EXPECT_EQ(memcmp(dump, expect, 256), 0);
    EXPECT_EQ(dump[0] | (dump[1] << 8), static_cast<int>(pci.vendorId));
    EXPECT_EQ(dump[2] | (dump[3] << 8), static_cast<int>(pci.deviceId));
}

TEST_F(MalTest, ControllerAndOemGroupsOfTheDefaultFleet) {
    start(kDistinctFleet);
    std::vector<int> tags = controllers();
    ASSERT_EQ(tags.size(), 2u);
    const struct {
        const char* serial;
        const char* model;
        const char* ffv;
        const char* active;
        const char* flash;
    } expect[] = {{"QS2100003", "CV3C102", "Not Available", "11.4.204.20", "11.4.300.7"},
                  {"QS2100004", "TRN4102", "1.0.0001", "12.0.261.8", "12.0.300.9"}};
    for (size_t k = 0; k < 2; k++) {
        SCOPED_TRACE(k);
        static MalControllerAttributes a;
        ASSERT_EQ(MAL_GetControllerAttributes(tags[k], &a), MAL_RM_OK);
        EXPECT_STREQ(a.serialNumber, expect[k].serial);
        EXPECT_STREQ(a.modelNumber, expect[k].model);
        EXPECT_STREQ(a.ffvName, expect[k].ffv);
        EXPECT_STREQ(a.manufacturer, "Quoral");
        EXPECT_STREQ(a.controllerStatus, "Optimal");
        EXPECT_STREQ(a.pciExpressLinkSpeed, "8.0 GT/s");
        EXPECT_STREQ(a.uefiScsiVersion, "12.0.261.8");
        EXPECT_STREQ(a.activeFirmwareVersion, expect[k].active);
        EXPECT_STREQ(a.firmwareVersionOnFlash, expect[k].flash);
        EXPECT_EQ(a.corevaneOnDieTemperature, 52);
        EXPECT_STREQ(a.oemSerialNumber, expect[k].serial);
        EXPECT_STREQ(a.quoralSerialNumber, expect[k].serial);
        EXPECT_EQ(a.personalityManagementWord, 0u);
        EXPECT_EQ(a.fatDataValid, 1);
        EXPECT_EQ(a.maxSupportedController, 1);
        EXPECT_STREQ(a.controllerType, "Converged Network Adapter");
        EXPECT_STREQ(a.ncsiVersion, "1.0.1");

        MalOemProperties oem;
        ASSERT_EQ(MAL_GetOEMProperties(tags[k], &oem), MAL_RM_OK);
        EXPECT_STREQ(oem.quoralSerialNumber, expect[k].serial);
        EXPECT_STREQ(oem.oemSerialNumber, expect[k].serial);
        EXPECT_EQ(oem.personalityManagementWord, 0);
    }
}

TEST_F(MalTest, FailedControllerListsReadNotAvailable) {
    start();
    addFault("get_property_val:Description", "rc=5");
    addFault("get_node_tag:NCSI", "rc=5");
    static MalControllerAttributes a;
    EXPECT_EQ(MAL_GetControllerAttributes(controllers().at(0), &a), MAL_RM_NEXA_ERROR);
    EXPECT_STREQ(a.description, "Not Available");
    EXPECT_STREQ(a.serialNumber, "QS2100003") << "read fields stay";
    EXPECT_STREQ(a.ncsiVersion, "Not Available");
    EXPECT_STREQ(a.uefiScsiVersion, "12.0.261.8") << "other lists unaffected";
}

TEST_F(MalTest, PortGroupsOfTheDefaultFleet) {
    start();
    std::vector<int> tags = controllers();
    for (size_t k = 0; k < 2; k++) {
        std::vector<int> ports = children(tags[k], MAL_HBA_PORT);
        ASSERT_EQ(ports.size(), 2u);
        for (size_t p = 0; p < ports.size(); p++) {
            MalPortAttributes rec;
            ASSERT_EQ(MAL_GetPortAttributes(ports[p], &rec), MAL_RM_OK);
            EXPECT_EQ(rec.tag, ports[p]);
            EXPECT_EQ(rec.portNumber, static_cast<int32_t>(p));
            EXPECT_EQ(rec.portName, "Port " + std::to_string(p));
            EXPECT_EQ(rec.portState, 1);
            EXPECT_EQ(rec.beaconState, 0);
            EXPECT_EQ(rec.phyType, 2u);
            // Only the CV3 adapter carries FCoE functions.
            EXPECT_EQ(strlen(rec.fcoeWwpn), k == 0 ? 23u : 0u) << rec.fcoeWwpn;
        }
    }
}

TEST_F(MalTest, NicFunctionGroupsOfTheDefaultFleet) {
    start(kDistinctFleet);
    std::vector<int> tags = controllers();
    const struct {
        int adapter; // machine adapter index
        DeviceFamily family;
        uint32_t bus;
    } expect[] = {{2, FAMILY_CV3, 0x30}, {3, FAMILY_TARNEL, 0x40}};
    // Per NIC function: current, permanent, factory and semi-volatile MAC, IfName.
    const char* const macs[2][2][5] = {
        {{"02-1F-3C-31-00-01", "02-1F-3C-31-00-02", "02-1F-3C-31-00-03", "02-1F-3C-31-00-04",
          "cv3 nic 0"},
         {"02-1F-3C-32-00-01", "02-1F-3C-32-00-02", "02-1F-3C-32-00-03", "02-1F-3C-32-00-04",
          "cv3 nic 1"}},
        {{"02-1F-3C-43-00-01", "02-1F-3C-43-00-02", "02-1F-3C-43-00-03", "02-1F-3C-43-00-04",
          "trn nic 0"},
         {"02-1F-3C-44-00-01", "02-1F-3C-44-00-02", "02-1F-3C-44-00-03", "02-1F-3C-44-00-04",
          "trn nic 1"}},
    };
    for (size_t k = 0; k < 2; k++) {
        std::vector<int> nics = children(tags[k], MAL_HBA_NIC);
        ASSERT_EQ(nics.size(), 2u);
        for (size_t n = 0; n < nics.size(); n++) {
            const int tag = nics[n];
            const char* const* want = macs[k][n];
            SCOPED_TRACE(want[4]);
            static MalNicFunction f;
            memset(&f, 0xA5, sizeof(f));
            ASSERT_EQ(MAL_GetNICFunctionAttributes(tag, &f), MAL_RM_OK);
            EXPECT_EQ(f.tag, tag);
            EXPECT_STREQ(f.ifName, want[4]);
            EXPECT_STREQ(f.logicalLinkStatus, "Link Up");
            EXPECT_EQ(f.mtuSize, 1500);
            EXPECT_EQ(f.maxMTUSize, 9000);
            EXPECT_EQ(f.maxBitsPerSecond, INT32_MAX);
            EXPECT_EQ(f.vepaState, 0);
            EXPECT_EQ(f.isRoCEEnabled, 0);
            EXPECT_EQ(macOf(f.macAddress), macBytes(want[0]));
            EXPECT_EQ(macOf(f.permanentMacAddress), macBytes(want[1]));
            EXPECT_EQ(macOf(f.factoryDefaultMacAddress), macBytes(want[2]));
            EXPECT_STREQ(f.driver.driverName, "qrlnic");
            EXPECT_STREQ(f.driver.driverVersion, "12.0.261.8");
            EXPECT_STREQ(f.cim.linkTechnology, "Ethernet");
            EXPECT_EQ(f.cim.ipv4Address[0], 0);
            EXPECT_STREQ(f.cim.ipv6Address.text, "Not Available");
            EXPECT_EQ(f.vnic.vNICEnabled, 0);
            EXPECT_EQ(f.networkBoot.networkBootState, 0);
            EXPECT_STREQ(f.networkBoot.networkBootMethod, "PXE");
            EXPECT_EQ(f.networkBoot.vlanId, -1) << "unset VLAN";
            EXPECT_EQ(f.networkBoot.vlanPriority, -1);
            EXPECT_EQ(macOf(f.networkBoot.volatileMac), macBytes(want[3]));
            EXPECT_EQ(f.pci.vendorId, kOwnVendorId);
            EXPECT_EQ(f.pci.busNumber, expect[k].bus);
            EXPECT_TRUE(deviceIs(f.pci.deviceId, expect[k].family, ROLE_NIC))
                << std::hex << f.pci.deviceId;
            expectPciDumpMatches(expect[k].adapter, "nic", f.pci, f.pciConfig);
        }
    }
}

TEST_F(MalTest, IscsiFunctionGroupsOfTheDefaultFleet) {
    start(kDistinctFleet);
    // Per iSCSI function: current and permanent MAC, port speed.
    const char* const want[2][3] = {{"02-1F-3C-41-00-01", "02-1F-3C-41-00-02", "25 Gbps"},
                                    {"02-1F-3C-42-00-01", "02-1F-3C-42-00-02", "40 Gbps"}};
    std::vector<int> tags = controllers();
    EXPECT_TRUE(children(tags[0], MAL_HBA_ISCSI).empty());
    EXPECT_TRUE(children(tags[0], MAL_HBA_LOGICAL).empty());
    std::vector<int> iscsi = children(tags[1], MAL_HBA_ISCSI);
    ASSERT_EQ(iscsi.size(), 2u);
    for (size_t k = 0; k < iscsi.size(); k++) {
        SCOPED_TRACE(k);
        static MalIscsiFunction f;
        ASSERT_EQ(MAL_GetiSCSIFunctionAttributes(iscsi[k], &f), MAL_RM_OK);
        EXPECT_EQ(f.tag, iscsi[k]);
        EXPECT_EQ(f.iscsiBiosEnable, 1);
        EXPECT_EQ(f.mpioEnabled, 0);
        EXPECT_EQ(f.defaultETO, 90);
        EXPECT_EQ(f.ldto, 20);
        EXPECT_EQ(f.maxCDBLength, 16);
        EXPECT_EQ(f.portNumber, static_cast<int32_t>(k));
        EXPECT_STREQ(f.driver.driverName, "qrliscsi");
        EXPECT_TRUE(deviceIs(f.pci.deviceId, FAMILY_TARNEL, ROLE_ISCSI))
            << std::hex << f.pci.deviceId;
        expectPciDumpMatches(3, "iscsi", f.pci, f.pciConfig);

        ASSERT_EQ(MAL_GetNICConfiguration(iscsi[k], &f.nicConfig), MAL_RM_OK);
        EXPECT_EQ(macOf(f.nicConfig.macAddress), macBytes(want[k][0]));
        EXPECT_EQ(macOf(f.nicConfig.permanentMacAddress), macBytes(want[k][1]));
        EXPECT_STREQ(f.nicConfig.portMaxSpeed, want[k][2]);
        EXPECT_EQ(f.nicConfig.maxMTUSize, 9000);
    }
}

TEST_F(MalTest, NicConfigurationTakesTheCurrentMacWhenThePermanentOneFails) {
    start(kDistinctFleet);
    int iscsi = children(controllers().at(1), MAL_HBA_ISCSI).at(0);
    addFault("get_property_val:PermanentMACAddress", "rc=5");
    MalNicConfiguration cfg;
    EXPECT_EQ(MAL_GetNICConfiguration(iscsi, &cfg), MAL_RM_OK);
    EXPECT_EQ(macOf(cfg.macAddress), macBytes("02-1F-3C-41-00-01"));
    EXPECT_EQ(macOf(cfg.permanentMacAddress), macBytes("02-1F-3C-41-00-01"));
}

TEST_F(MalTest, PciDumpFailuresEndTheDump) {
    start();
    int nic = children(controllers().at(0), MAL_HBA_NIC).at(0);
    const struct {
        const char* match;
        const char* action;
        int nth;
        int expect;
    } cases[] = {
        {"do_action:DumpNICPCIConfigRegion", "rc=14", 2, MAL_RM_BUSY},
        {"do_action:DumpNICPCIConfigRegion", "rc=6", 3, MAL_RM_NEXA_ERROR},
        {"get_last_status", "rc=1", 1, MAL_RM_NEXA_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.match);
        hbasim::fault_clear();
        addFault(c.match, c.action, c.nth);
        hbasim::journal_clear();
        uint8_t dump[256];
        EXPECT_EQ(MAL_DumpPCIConfigRegion(nic, "DumpNICPCIConfigRegion", dump), c.expect);
        EXPECT_EQ(journalCount("DumpNICPCIConfigRegion p0="), c.nth > 1 ? c.nth - 1 : 1);
    }
    uint8_t dump[256];
    EXPECT_EQ(MAL_DumpPCIConfigRegion(nic, "NoSuchDump", dump), MAL_RM_NEXA_ERROR);
}

} // namespace
