// Fleet parsing: defaults, derived facts, syntax and the errors that name a line.
#include <gtest/gtest.h>

#include <set>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

using namespace hbasim;

namespace {

Machine parse_ok(const std::string& text) {
    Machine m;
    FleetError err;
    EXPECT_EQ(parse_fleet(text, &m, &err), SIM_OK) << "line " << err.line << ": " << err.message;
    return m;
}

struct BadFleet {
    const char* what;
    const char* text;
    int line;
    const char* message; // substring of the message
};

const BadFleet kBadFleets[] = {
    {"unknown key", "adapter A fc\nfunction fc\n  wwnp = 1\n", 3, "unknown key 'wwnp'"},
    {"adapter key on a function", "adapter A fc\nfunction fc serial = X\n", 2,
     "unknown key 'serial'"},
    {"nic key on fc", "adapter A fc\nfunction fc mac = 02-00-00-00-00-01\n", 2,
     "unknown key 'mac'"},
    {"unknown adapter kind", "# c\nadapter A hba\n", 2, "unknown adapter kind 'hba'"},
    {"function kind not allowed", "adapter A fc\nfunction nic\n", 2, "not allowed on a fc adapter"},
    {"unknown function kind", "adapter A cv3\nfunction scsi\n", 2, "function kind 'scsi'"},
    {"attribute before adapter", "model = X\n", 1, "outside an adapter"},
    {"function before adapter", "\nfunction fc\n", 2, "function outside an adapter"},
    {"duplicate adapter", "adapter A fc\nfunction fc\nadapter A fc\nfunction fc\n", 3,
     "duplicate adapter name 'A'"},
    {"bad adapter name", "adapter A-1 fc\n", 1, "bad adapter name"},
    {"missing kind", "adapter A\n", 1, "expected 'adapter NAME KIND"},
    {"adapter without functions", "adapter A fc\nadapter B fc\nfunction fc\n", 1,
     "has no functions"},
    {"key set twice", "adapter A fc\n model = X\n model = Y\nfunction fc\n", 3, "set twice"},
    {"bad number", "adapter A fc\nfunction fc sli_mode = four\n", 2, "expected a number"},
    {"bad bool", "adapter A fc\nfunction fc mgmt_device = maybe\n", 2, "expected yes or no"},
    {"bad wwn", "adapter A fc\nfunction fc wwpn = 10:00:00\n", 2, "expected a WWN"},
    {"bad choice", "adapter A fc\nfunction fc link = sideways\n", 2, "expected one of up,down"},
    {"missing value", "adapter A fc\nfunction fc\n sli_mode =\n", 3, "missing value"},
    {"missing equals", "adapter A fc\nfunction fc\n sli_mode 4\n", 3, "expected 'key = value'"},
    {"unterminated quote", "adapter A fc\n model = \"abc\n", 2, "unterminated"},
    {"scsi port twice",
     "adapter A fc\nfunction fc scsi_port=3\nadapter B fc\nfunction fc scsi_port=3\n", 4,
     "already used at line 2"},
    {"scsi port range", "adapter A fc\nfunction fc scsi_port=256\n", 2, "out of range"},
    {"pci function twice", "adapter A fc\nfunction fc pci_function=1\nfunction fc\n", 3,
     "used twice on adapter 'A'"},
    {"same kind on one port", "adapter A cv3\nfunction nic port=0\nfunction nic port=0\n", 3,
     "two nic functions on port 0"},
    {"service name too long", "adapter A fc\nfunction fc drv_service = abcdefghi\n", 2,
     "longer than 8"},
};

} // namespace

TEST(Fleet, BadFleetsNameTheLine) {
    for (const BadFleet& b : kBadFleets) {
        Machine m;
        FleetError err;
        EXPECT_EQ(parse_fleet(b.text, &m, &err), SIM_ERR_FLEET) << b.what;
        EXPECT_EQ(err.line, b.line) << b.what << ": " << err.message;
        EXPECT_NE(err.message.find(b.message), std::string::npos)
            << b.what << ": got '" << err.message << "'";
    }
}

TEST(Fleet, RejectedFleetLeavesStateUnchanged) {
    hbatest::TempState st;
    st.init();
    Machine before, after;
    ASSERT_EQ(read_machine(&before), SIM_OK);
    const std::string adapterFile = hbatest::read_file(adapter_file(0));
    for (const BadFleet& b : kBadFleets) {
        FleetError err;
        EXPECT_EQ(init_state(b.text, &err), SIM_ERR_FLEET) << b.what;
    }
    ASSERT_EQ(read_machine(&after), SIM_OK);
    ASSERT_EQ(after.adapters.size(), before.adapters.size());
    EXPECT_EQ(hbatest::read_file(adapter_file(0)), adapterFile);
}

TEST(Fleet, SyntaxForms) {
    Machine m = parse_ok("# comment line\n"
                         "adapter A fc model=\"My Model #1\" serial = S1   # trailing comment\n"
                         "\tdescription = \"quoted \\\"inner\\\" text\"\n"
                         "function fc scsi_port = 7 link=down\n"
                         "   mgmt_device = off\n"
                         "function fc\n");
    ASSERT_EQ(m.adapters.size(), 1u);
    const Adapter& a = m.adapters[0];
    EXPECT_EQ(a.attrs.get("model"), "My Model #1");
    EXPECT_EQ(a.attrs.get("serial"), "S1");
    EXPECT_EQ(a.attrs.get("description"), "quoted \"inner\" text");
    ASSERT_EQ(a.funcs.size(), 2u);
    EXPECT_EQ(func_scsi_port(a.funcs[0]), 7);
    EXPECT_EQ(a.funcs[0].attrs.get("link"), "down");
    EXPECT_EQ(a.funcs[0].attrs.get("mgmt_device"), "0");
    EXPECT_EQ(a.funcs[1].attrs.get("mgmt_device"), "1");
    EXPECT_EQ(func_scsi_port(a.funcs[1]), 8); // follows the previous port
}

TEST(Fleet, EmptyFleetIsAMachineWithoutAdapters) {
    Machine m = parse_ok("# nothing here\n\n");
    EXPECT_TRUE(m.adapters.empty());
}

TEST(Fleet, ScsiPortsSkipExplicitNumbers) {
    Machine m = parse_ok("adapter A fc\nfunction fc\nfunction fc\n"
                         "adapter B cv3\nfunction nic\nfunction fcoe\n"
                         "adapter C fc\nfunction fc scsi_port = 1\n");
    EXPECT_EQ(func_scsi_port(m.adapters[0].funcs[0]), 0);
    EXPECT_EQ(func_scsi_port(m.adapters[0].funcs[1]), 2);  // 1 is taken explicitly
    EXPECT_EQ(func_scsi_port(m.adapters[1].funcs[0]), -1); // nic: not driver-visible
    EXPECT_EQ(func_scsi_port(m.adapters[1].funcs[1]), 3);
    EXPECT_EQ(func_scsi_port(m.adapters[2].funcs[0]), 1);
}

TEST(Fleet, ValuesAreCanonical) {
    Machine m =
        parse_ok("adapter A cv3\nfunction fcoe wwpn = 10:00:aa:bb:cc:dd:ee:ff stale_attrs = TRUE\n"
                 "function nic mac = 02:1f:3c:0a:0b:0c\n");
    EXPECT_EQ(m.adapters[0].funcs[0].attrs.get("wwpn"), "10:00:AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(m.adapters[0].funcs[0].attrs.get("stale_attrs"), "1");
    EXPECT_EQ(m.adapters[0].funcs[1].attrs.get("mac"), "02-1F-3C-0A-0B-0C");
    EXPECT_EQ(m.adapters[0].funcs[1].attrs.get("permanent_mac"), "02-1F-3C-0A-0B-0C");
}

// Every schema default must satisfy its own type: a fleet that sets each key to
// its default text parses, for every adapter and function kind.
TEST(Fleet, SchemaDefaultsAreValidValues) {
    for (size_t k = 0; k < kAdapterKindCount; ++k) {
        const AdapterKindDef& ak = kAdapterKinds[k];
        std::string fkinds = ak.functionKinds;
        size_t pos = 0;
        while (pos <= fkinds.size()) {
            size_t e = fkinds.find(',', pos);
            if (e == std::string::npos) e = fkinds.size();
            std::string fk = fkinds.substr(pos, e - pos);
            pos = e + 1;
            std::string text = std::string("adapter A ") + ak.kind + "\n";
            std::string ftext = "function " + fk + "\n";
            std::set<std::string> done;
            for (size_t i = 0; i < kFleetSchemaCount; ++i) {
                const FleetKeyDef& d = kFleetSchema[i];
                if (!d.def || std::string(d.def) == "*" || done.count(d.key)) continue;
                bool adapterRow = std::string(d.scope) == "adapter";
                if (fleet_key(ak.kind, adapterRow ? "" : fk, d.key) != &d) continue;
                done.insert(d.key);
                std::string line = std::string("  ") + d.key + " = \"" + d.def + "\"\n";
                (adapterRow ? text : ftext) += line;
            }
            Machine m;
            FleetError err;
            EXPECT_EQ(parse_fleet(text + ftext, &m, &err), SIM_OK)
                << ak.kind << "/" << fk << " line " << err.line << ": " << err.message;
        }
    }
}

TEST(Fleet, DefaultFleetInvariants) {
    Machine m = parse_ok(default_fleet_text());
    ASSERT_EQ(m.adapters.size(), 4u);
    struct Want {
        const char* kind;
        const char* funcKinds;
        uint64_t deviceIds[4];
    };
    const Want want[] = {
        {"fc", "fc,fc", {0xE300, 0xE300}},
        {"brevin", "fc,fc", {0xE200, 0xE200}},
        {"cv3", "fcoe,fcoe,nic,nic", {0x0714, 0x0714, 0x0710, 0x0710}},
        {"tarnel", "iscsi,iscsi,nic,nic", {0x0722, 0x0722, 0x0720, 0x0720}},
    };
    std::set<std::string> wwpns, serials, models;
    std::set<uint64_t> buses;
    int nextPort = 0;
    for (size_t ai = 0; ai < 4; ++ai) {
        const Adapter& a = m.adapters[ai];
        SCOPED_TRACE(a.name);
        EXPECT_EQ(a.kind, want[ai].kind);
        EXPECT_EQ(a.attrs.get_u("vendor_id"), 0x1F3Cu);
        const std::string model = a.attrs.get("model");
        EXPECT_EQ(model.find_first_of(" -\t"), std::string::npos) << model;
        EXPECT_TRUE(models.insert(model).second);
        EXPECT_TRUE(serials.insert(a.attrs.get("serial")).second);
        EXPECT_TRUE(buses.insert(a.attrs.get_u("pci_bus")).second);
        std::string kinds;
        for (size_t fi = 0; fi < a.funcs.size(); ++fi) {
            const Function& f = a.funcs[fi];
            kinds += (fi ? "," : "") + f.kind;
            EXPECT_EQ(f.attrs.get_u("device_id"), want[ai].deviceIds[fi]);
            if (func_driver_visible(f)) {
                EXPECT_EQ(func_scsi_port(f), nextPort++);
                EXPECT_EQ(f.attrs.get_u("sli_mode"), 4u);
                EXPECT_EQ(f.attrs.get_u("iftype"), 0u);
                EXPECT_TRUE(wwpns.insert(f.attrs.get("wwpn")).second);
                EXPECT_EQ((f.attrs.get_u("feature_list") & 0x200) != 0, f.kind == "fcoe");
            }
        }
        EXPECT_EQ(kinds, want[ai].funcKinds);
    }
    EXPECT_EQ(nextPort, 6);
    // The CV3 FCoE functions sit on ports 0 and 1, matching its NIC ports.
    const Adapter& cv3 = m.adapters[2];
    for (int port = 0; port < 2; ++port) {
        const Function* fcoe = fcoe_function_on_port(cv3, port);
        ASSERT_NE(fcoe, nullptr);
        EXPECT_EQ(fcoe->attrs.get_u("port"), (uint64_t)port);
    }
    EXPECT_EQ(fcoe_function_on_port(cv3, 2), nullptr);
}

TEST(Fleet, PciConfigSpaceFromIds) {
    Machine m = parse_ok("adapter A cv3 pci_bus = 0x42\nfunction fcoe revision = 0x31\n"
                         "function nic subsys_id = 0x1234\n");
    uint8_t cfg[256];
    const Adapter& a = m.adapters[0];
    func_pci_config(a, a.funcs[0], cfg);
    EXPECT_EQ(cfg[0] | (cfg[1] << 8), 0x1F3C);
    EXPECT_EQ(cfg[2] | (cfg[3] << 8), 0x0714);
    EXPECT_EQ(cfg[8], 0x31);
    EXPECT_EQ(cfg[14] & 0x80, 0x80); // multi-function
    func_pci_config(a, a.funcs[1], cfg);
    EXPECT_EQ(cfg[2] | (cfg[3] << 8), 0x0710);
    EXPECT_EQ(cfg[44] | (cfg[45] << 8), 0x1F3C);
    EXPECT_EQ(cfg[46] | (cfg[47] << 8), 0x1234);
    EXPECT_EQ(cfg[8], 0x10);
}
