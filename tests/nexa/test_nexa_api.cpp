// The calling rules of the simulated NEXA library: tags, bounded reads and
// writes, instance lists, the last status, the life cycle and injected faults.
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "sim/core/sim_model.h"
#include "tests/nexa/nexa_helpers.h"

using namespace nxt;

// Run by probe() in a fresh process: NEXA_PROBE says what to report.
TEST(NexaProbe, DISABLED_Run) {
    const char* what = getenv("NEXA_PROBE");
    if (!what) GTEST_SKIP();
    std::string w = what, out;
    if (w == "fresh") {
        int code = -1, tag = 0;
        char text[NEXA_STATUS_TEXT_SIZE] = "junk";
        int rc = NEXA_get_last_status(&code, text);
        int before = NEXA_get_node_tag(NEXA_ROOT_TAG, "Corevane0", &tag, NEXA_KIND_NODE);
        char b[400];
        snprintf(b, sizeof b, "rc=%d code=%d text=%s before_init=%d", rc, code, text, before);
        out = b;
    } else if (w.rfind("read:", 0) == 0) { // read:<path>:<property>
        size_t colon = w.rfind(':');
        std::string v;
        int init = NEXA_init();
        int rc = read(w.substr(5, colon - 5), w.substr(colon + 1).c_str(), &v);
        out = "init=" + std::to_string(init) + " rc=" + std::to_string(rc) + " v=" + v;
    }
    printf("PROBE[%s]PROBE\n", out.c_str());
}

TEST(NexaFresh, StatusIsEmptyAndCallsFailBeforeInit) {
    hbatest::TempState st;
    st.init();
    EXPECT_EQ(probe("fresh"), "rc=0 code=0 text= before_init=2");
}

TEST_F(NexaTest, NameLookups) {
    struct Case {
        const char* parent;
        const char* name;
        int kind;
        int rc;
    };
    const Case cases[] = {
        {"", "Corevane0", NEXA_KIND_NODE, 0},
        {"", "Corevane1", NEXA_KIND_NODE, 0},
        {"", "Corevane2", NEXA_KIND_NODE, 4}, // two converged adapters
        {"", "corevane0", NEXA_KIND_NODE, 4},
        {"", "Corevane00", NEXA_KIND_NODE, 4},
        {"", "Corevane+1", NEXA_KIND_NODE, 4},
        {"", "Corevane-1", NEXA_KIND_NODE, 4},
        {"", "Corevane", NEXA_KIND_NODE, 4},
        {"", "Corevane 0", NEXA_KIND_NODE, 4},
        {"", "Corevane99999999999", NEXA_KIND_NODE, 4},
        {"", "NEXAServiceVersion", NEXA_KIND_PROPERTY, 0},
        {"", "NEXAServiceVersion", NEXA_KIND_NODE, 4},
        {"", "nexaserviceversion", NEXA_KIND_PROPERTY, 4},
        {"Corevane0", "UpgradeFlashROM", NEXA_KIND_ACTION, 0},
        {"Corevane0", "UpgradeFlashROM", NEXA_KIND_PROPERTY, 4},
        {"Corevane0", "NICPhysicalHBA1", NEXA_KIND_NODE, 0},
        {"Corevane0", "NICPhysicalHBA2", NEXA_KIND_NODE, 4},
        {"Corevane0", "iSCSIPhysicalHBA0", NEXA_KIND_NODE, 4}, // the CV3 has no iSCSI
        {"Corevane1", "iSCSIPhysicalHBA1", NEXA_KIND_NODE, 0},
        {"Corevane0", "PortDiscoveryAndConfiguration2", NEXA_KIND_NODE, 4},
        {"Corevane0", "LogicalHBA0", NEXA_KIND_NODE, 4},
        {"Corevane0", "ModelNumber", 0, 3},
        {"Corevane0", "ModelNumber", 4, 3},
        {"Corevane0/NICPhysicalHBA0", "NetworkBootConfiguration", NEXA_KIND_NODE, 0},
        {"Corevane1/iSCSIPhysicalHBA0", "NetworkBootConfiguration", NEXA_KIND_NODE, 4},
        {"Corevane0/NICPhysicalHBA0/PCI", "DumpiSCSIPCIConfigRegion", NEXA_KIND_ACTION, 4},
        {"Corevane0/ProfileManagement/ActiveProfile/Port1", "Function1", NEXA_KIND_NODE, 0},
        {"Corevane0/ProfileManagement/ActiveProfile/Port1", "Function2", NEXA_KIND_NODE, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.parent) + " / " + c.name);
        int parent = 0, tag = -7;
        ASSERT_EQ(node(c.parent, &parent), 0);
        EXPECT_EQ(NEXA_get_node_tag(parent, c.name, &tag, c.kind), c.rc);
        if (c.rc == 0)
            EXPECT_GT(tag, 0);
        else
            EXPECT_EQ(last_status().code, c.rc);
    }
    int tag = 0;
    EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, nullptr, &tag, NEXA_KIND_NODE), 3);
    EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, "Corevane0", nullptr, NEXA_KIND_NODE), 3);
}

TEST_F(NexaTest, TagsAreStableUniqueAndBoundToTheirNode) {
    const char* paths[] = {"Corevane0",
                           "Corevane1",
                           "Corevane0/NICPhysicalHBA0",
                           "Corevane0/NICPhysicalHBA1",
                           "Corevane0/NICPhysicalHBA0/PCI",
                           "Corevane0/NICPhysicalHBA1/PCI",
                           "Corevane0/NICPhysicalHBA0/vNIC",
                           "Corevane0/NICPhysicalHBA0/Network/NICConfiguration/vNIC"};
    std::vector<int> tags;
    for (const char* p : paths) {
        int a = 0, b = 0;
        ASSERT_EQ(node(p, &a), 0) << p;
        ASSERT_EQ(node(p, &b), 0) << p;
        EXPECT_EQ(a, b) << p;
        EXPECT_GT(a, 0) << p;
        for (int t : tags)
            EXPECT_NE(t, a) << p;
        tags.push_back(a);
    }
    int pci0 = 0, pci1 = 0, bus0 = 0, bus0again = 0, bus1 = 0, dump = 0;
    ASSERT_EQ(member("Corevane0/NICPhysicalHBA0/PCI", "BusNumber", 2, &pci0, &bus0), 0);
    ASSERT_EQ(member("Corevane0/NICPhysicalHBA0/PCI", "BusNumber", 2, &pci0, &bus0again), 0);
    ASSERT_EQ(member("Corevane0/NICPhysicalHBA1/PCI", "BusNumber", 2, &pci1, &bus1), 0);
    ASSERT_EQ(member("Corevane0/NICPhysicalHBA0/PCI", "DumpNICPCIConfigRegion", 3, &pci0, &dump),
              0);
    EXPECT_EQ(bus0, bus0again);
    EXPECT_NE(bus0, bus1);
    char buf[NEXA_VALUE_SIZE];
    std::vector<char> params(NEXA_ACTION_PARAMS * NEXA_ACTION_PARAM_SIZE, 0), out(16388, 0);
    struct Misuse {
        const char* what;
        std::function<int()> call;
    };
    const Misuse misuses[] = {
        {"property with another node", [&] { return NEXA_get_property_val(pci1, bus0, buf, 256); }},
        {"node tag as property", [&] { return NEXA_get_property_val(pci0, pci1, buf, 256); }},
        {"property tag as node", [&] { return NEXA_get_property_val(bus0, bus0, buf, 256); }},
        {"action as property", [&] { return NEXA_get_property_val(pci0, dump, buf, 256); }},
        {"property as action",
         [&] { return NEXA_do_action(pci0, bus0, params.data(), out.data()); }},
        {"action with another node",
         [&] { return NEXA_do_action(pci1, dump, params.data(), out.data()); }},
        {"negative tag", [&] { return NEXA_get_property_val(-1, bus0, buf, 256); }},
        {"unknown tag", [&] { return NEXA_get_property_val(pci0, 0x7FFFFFF0, buf, 256); }},
        {"property tag as parent",
         [&] {
             int t = 0;
             return NEXA_get_node_tag(bus0, "Foo", &t, NEXA_KIND_NODE);
         }},
    };
    for (const Misuse& m : misuses) {
        EXPECT_EQ(m.call(), 5) << m.what;
        EXPECT_EQ(last_status().code, 5) << m.what;
    }
}

TEST_F(NexaTest, ReadsAreBoundedAndTerminated) {
    int n = 0, p = 0;
    ASSERT_EQ(member("Corevane0", "ModelNumber", NEXA_KIND_PROPERTY, &n, &p), 0);
    struct Case {
        int size;
        const char* want;
    };
    const Case cases[] = {{1, ""}, {4, "CV3"}, {7, "CV3C10"}, {8, "CV3C102"}, {256, "CV3C102"}};
    for (const Case& c : cases) {
        char buf[300];
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(NEXA_get_property_val(n, p, buf, c.size), 0) << c.size;
        EXPECT_STREQ(buf, c.want) << c.size;
        EXPECT_EQ(buf[c.size], '#') << "wrote past the buffer of " << c.size;
    }
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(NEXA_get_property_val(n, p, buf, 0), 3);
    EXPECT_EQ(NEXA_get_property_val(n, p, buf, -5), 3);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(NEXA_get_property_val(n, p, nullptr, 256), 3);
}

TEST_F(NexaTest, WritesUseOnlyTheGivenLength) {
    int n = 0, p = 0;
    ASSERT_EQ(member("Corevane1", "FFVName", NEXA_KIND_PROPERTY, &n, &p), 0);
    const char noNul[8] = {'2', '.', '1', '.', '0', '0', '0', '7'};
    EXPECT_EQ(NEXA_set_property_val(n, p, noNul, 8), 0);
    EXPECT_EQ(value("Corevane1", "FFVName"), "2.1.0007");
    EXPECT_EQ(NEXA_set_property_val(n, p, "9.9.9999", 3), 0);
    EXPECT_EQ(value("Corevane1", "FFVName"), "9.9");
    EXPECT_EQ(NEXA_set_property_val(n, p, nullptr, 3), 3);
    EXPECT_EQ(NEXA_set_property_val(n, p, "x", -1), 3);
    EXPECT_EQ(write("Corevane1", "FFVName", std::string(33, '1')), 6);
    EXPECT_EQ(write("Corevane1", "ModelNumber", "X"), 8);
    EXPECT_EQ(last_status().code, 8);
    EXPECT_EQ(value("Corevane1", "ModelNumber"), "TRN4102");
}

TEST_F(NexaTest, VolatileMacWrites) {
    const std::string nbc = "Corevane0/NICPhysicalHBA1/NetworkBootConfiguration";
    struct Case {
        const char* value;
        int rc;
        const char* reads;
    };
    const Case cases[] = {
        {"02-00-00-00-00-01", 0, "02-00-00-00-00-01"},
        {"0a:1b:2c:3d:4e:5f", 0, "0A-1B-2C-3D-4E-5F"},
        {"00-00-00-00-00-00", 6, nullptr},
        {"FF-FF-FF-FF-FF-FF", 6, nullptr},
        {"02-00-00-00-00", 6, nullptr},
        {"02-00-00-00-00-01-02", 6, nullptr},
        {"zz-00-00-00-00-01", 6, nullptr},
        {"", 6, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(write(nbc, "VolatileMACAddress", c.value), c.rc) << c.value;
        if (c.reads) {
            EXPECT_EQ(value(nbc, "VolatileMACAddress"), c.reads);
        }
    }
}

TEST_F(NexaTest, InstanceLists) {
    struct Case {
        const char* parent;
        const char* cls;
        int capacity;
        int rc;
        std::vector<int> want;
    };
    const Case cases[] = {
        {"", "Corevane", 1024, 0, {0, 1}},
        {"", "Corevane", 2, 0, {0, 1}},
        {"", "Corevane", 1, 9, {}},
        {"", "Corevane", 0, 9, {}},
        {"", "corevane", 1024, 4, {}},
        {"", "NICPhysicalHBA", 1024, 4, {}},
        {"Corevane0", "NICPhysicalHBA", 1024, 0, {0, 1}},
        {"Corevane0", "iSCSIPhysicalHBA", 1024, 0, {}},
        {"Corevane0", "iSCSIPhysicalHBA", 0, 0, {}},
        {"Corevane1", "iSCSIPhysicalHBA", 1024, 0, {0, 1}},
        {"Corevane0", "PortDiscoveryAndConfiguration", 1024, 0, {0, 1}},
        {"Corevane0", "LogicalHBA", 1024, 0, {}},
        {"Corevane0", "Bogus", 1024, 4, {}},
        {"Corevane0/ProfileManagement/ActiveProfile", "Port", 1024, 0, {0, 1}},
        {"Corevane0/ProfileManagement/ActiveProfile/Port0", "Function", 1024, 0, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.parent) + " " + c.cls + " cap " + std::to_string(c.capacity));
        int parent = 0;
        ASSERT_EQ(node(c.parent, &parent), 0);
        std::vector<int> inst(1025, -9);
        int count = c.capacity;
        EXPECT_EQ(NEXA_get_valid_instances(parent, c.cls, inst.data(), &count), c.rc);
        EXPECT_EQ(count, (int)c.want.size());
        EXPECT_EQ(std::vector<int>(inst.begin(), inst.begin() + count), c.want);
        EXPECT_EQ(inst[(size_t)count], -9) << "wrote past the instances";
        if (c.rc) {
            EXPECT_EQ(last_status().code, c.rc);
        }
    }
    int inst[4], count = -1;
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, &count), 3);
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, nullptr), 3);
    count = 4;
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, nullptr, inst, &count), 3);
}

TEST_F(NexaTest, LastStatusIsSetByFailuresAndActionsOnly) {
    int tag = 0;
    EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, "Nope7", &tag, NEXA_KIND_NODE), 4);
    Status s = last_status();
    EXPECT_EQ(s.code, 4);
    EXPECT_NE(s.text.find("Nope7"), std::string::npos) << s.text;
    // Successful lookups, reads, writes and instance lists leave it.
    value("Corevane0", "ModelNumber");
    EXPECT_EQ(write("Corevane1", "FFVName", "1.2.3456"), 0);
    int inst[8], count = 8;
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, &count), 0);
    EXPECT_EQ(last_status().code, 4);
    EXPECT_EQ(last_status().text, s.text); // reading it leaves it too
    // Every action sets it; do_action returns the code it leaves.
    Status st;
    EXPECT_EQ(act("Corevane0/NICPhysicalHBA0/PCI", "DumpNICPCIConfigRegion", {"0", "4"}, &st), 0);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(act("Corevane0/NICPhysicalHBA0/PCI", "DumpNICPCIConfigRegion", {"0", "65"}, &st), 6);
    EXPECT_EQ(st.code, 6);
    EXPECT_EQ(act("Corevane0/Diagnostics", "ExitLoopBackMode", {"0", "0"}, &st), 0);
    EXPECT_EQ(st.code, 0);
}

TEST_F(NexaTest, LastStatusTextIsBounded) {
    struct Case {
        std::string name;
    };
    const Case cases[] = {{std::string(255, 'x')}, {std::string(300, 'y')}};
    for (const Case& c : cases) {
        int tag = 0;
        EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, c.name.c_str(), &tag, NEXA_KIND_NODE), 4);
        char text[400];
        memset(text, '#', sizeof text);
        int code = 0;
        ASSERT_EQ(NEXA_get_last_status(&code, text), 0);
        EXPECT_EQ(code, 4);
        EXPECT_LE(strlen(text), 255u);
        EXPECT_EQ(text[256], '#') << "wrote past 256 bytes";
    }
    char text[NEXA_STATUS_TEXT_SIZE];
    int code = 0;
    EXPECT_EQ(NEXA_get_last_status(nullptr, text), 3);
    EXPECT_EQ(NEXA_get_last_status(&code, nullptr), 3);
}

TEST_F(NexaTest, CallsFailAfterExitAndTagsSurviveReinit) {
    int before = 0, n = 0, p = 0, dump = 0, pci = 0;
    ASSERT_EQ(node("Corevane0/NICPhysicalHBA1", &before), 0);
    ASSERT_EQ(member("Corevane0", "ModelNumber", NEXA_KIND_PROPERTY, &n, &p), 0);
    ASSERT_EQ(member("Corevane0/NICPhysicalHBA0/PCI", "DumpNICPCIConfigRegion", 3, &pci, &dump), 0);
    ASSERT_EQ(NEXA_exit(), 0);
    char buf[NEXA_VALUE_SIZE];
    std::vector<char> params(NEXA_ACTION_PARAMS * NEXA_ACTION_PARAM_SIZE, 0), out(16388, 0);
    int inst[8], count = 8, tag = 0;
    const std::function<int()> calls[] = {
        [&] { return NEXA_get_node_tag(NEXA_ROOT_TAG, "Corevane0", &tag, NEXA_KIND_NODE); },
        [&] { return NEXA_get_property_val(n, p, buf, sizeof buf); },
        [&] { return NEXA_set_property_val(n, p, "x", 1); },
        [&] { return NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, &count); },
        [&] { return NEXA_do_action(pci, dump, params.data(), out.data()); },
        [&] { return NEXA_exit(); },
    };
    for (size_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        EXPECT_EQ(calls[i](), 2) << "call " << i;
        EXPECT_EQ(last_status().code, 2) << "call " << i;
    }
    ASSERT_EQ(NEXA_init(), 0);
    int after = 0;
    ASSERT_EQ(node("Corevane0/NICPhysicalHBA1", &after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(NEXA_get_property_val(n, p, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "CV3C102");
}

TEST_F(NexaTest, InjectedFaults) {
    struct Case {
        const char* what;
        hbasim::Fault fault;
        const char* path;
        const char* prop;
        std::vector<int> rcs; // of successive reads
    };
    auto f = [](const char* match, int port, int nth, const char* action) {
        hbasim::Fault x;
        x.source = "nexa";
        x.match = match;
        x.port = port;
        x.nth = nth;
        x.action = action;
        return x;
    };
    const Case cases[] = {
        {"busy on every read",
         f("get_property_val:ModelNumber", -1, 0, "rc=14"),
         "Corevane0",
         "ModelNumber",
         {14, 14}},
        {"other properties unaffected",
         f("get_property_val:ModelNumber", -1, 0, "rc=14"),
         "Corevane0",
         "SerialNumber",
         {0}},
        {"adapter filter: the Tarnel is adapter 3",
         f("get_property_val:ModelNumber", 3, 0, "rc=14"),
         "Corevane1",
         "ModelNumber",
         {14}},
        {"adapter filter: the CV3 unaffected",
         f("get_property_val:ModelNumber", 3, 0, "rc=14"),
         "Corevane0",
         "ModelNumber",
         {0}},
        {"second call only",
         f("get_property_val:ModelNumber", -1, 2, "rc=14"),
         "Corevane0",
         "ModelNumber",
         {0, 14, 0}},
        {"fail", f("get_property_val:ModelNumber", -1, 0, "fail"), "Corevane0", "ModelNumber", {1}},
        {"node lookup",
         f("get_node_tag:Corevane1", -1, 0, "rc=14"),
         "Corevane1",
         "ModelNumber",
         {14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(hbasim::fault_add(c.fault), hbasim::SIM_OK);
        for (int want : c.rcs) {
            std::string v;
            EXPECT_EQ(read(c.path, c.prop, &v), want);
            if (want) {
                EXPECT_EQ(last_status().code, want);
            }
        }
        hbasim::fault_clear();
    }
    ASSERT_EQ(hbasim::fault_add(f("do_action:UpgradeFlashROM", -1, 0, "rc=173")), hbasim::SIM_OK);
    Status st;
    EXPECT_EQ(act("Corevane0", "UpgradeFlashROM", {"/x.ufi"}, &st), 173);
    EXPECT_EQ(st.code, 173);
    // The journal shows the calls and their outcome.
    bool seen = false;
    for (const std::string& l : hbasim::journal_lines())
        seen = seen || (l.find("nexa") != std::string::npos &&
                        l.find("ModelNumber -> 14") != std::string::npos);
    EXPECT_TRUE(seen);
}

TEST_F(NexaTest, InitCanBeBusy) {
    ASSERT_EQ(NEXA_exit(), 0);
    hbasim::Fault x;
    x.source = "nexa";
    x.match = "init";
    x.action = "rc=14";
    x.remaining = 1;
    ASSERT_EQ(hbasim::fault_add(x), hbasim::SIM_OK);
    EXPECT_EQ(NEXA_init(), 14);
    EXPECT_EQ(last_status().code, 14);
    int tag = 0;
    EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, "Corevane0", &tag, NEXA_KIND_NODE), 2);
    EXPECT_EQ(NEXA_init(), 0); // the fault fired once
}

TEST_F(NexaTest, MachineWithoutConvergedAdapters) {
    use_fleet("adapter FC1 fc\nfunction fc\nfunction fc\n");
    int inst[4] = {-9, -9, -9, -9}, count = 4, tag = 0;
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(inst[0], -9);
    EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, "Corevane0", &tag, NEXA_KIND_NODE), 4);
    EXPECT_FALSE(value("", "NEXAServiceVersion").empty());
}

TEST_F(NexaTest, NodesOfAdaptersThatWentAwayFail) {
    int n = 0, p = 0;
    ASSERT_EQ(member("Corevane1/NICPhysicalHBA1", "MACAddress", NEXA_KIND_PROPERTY, &n, &p), 0);
    use_fleet("adapter CNA1 cv3\nfunction fcoe\nfunction nic\n");
    char buf[NEXA_VALUE_SIZE] = "stale";
    EXPECT_EQ(NEXA_get_property_val(n, p, buf, sizeof buf), 11);
    EXPECT_STREQ(buf, "");
}
