// NPIV virtual ports through libtgx against the simulated driver: create
// options and results, the registry list, listing with capacities, deletes,
// attributes, readiness, resources and statistics, and persistence.
#include "tests/libtgx_agent/npiv_fixture.h"
#include <unistd.h>

namespace {

using namespace npivtest;

TEST_F(NpivTest, DriverVersionChoosesTheRecordLayout) {
    struct Case {
        const char* version;
        bool newLayout;
    };
    const Case cases[] = {
        {"7.2.20.0", false}, {"7.1.99.0", false}, {"7.2.21.0", true},
        {"7.3.0.0", true},   {"11.0.1.5", true},  {"", false},
    };
    ASSERT_EQ(create(1, 0), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        set_attr("drv_ver", c.version);
        clear();
        VPortRecord rec = {};
        rec.version = 3;
        ASSERT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(0, vwwpn(1).b, &rec), 0u);
        ASSERT_EQ(count(TGX_IOCTL_NPIV_PORTATTRIB), 1u);
        const Sent& s = sent().back();
        // The old generation is always asked as version 2.
        EXPECT_EQ(s.payload()[0], c.newLayout ? 3 : 2);
        const uint32_t at = c.newLayout ? TGX_NPIV_NEW_OFF_CHECKLIST : TGX_NPIV_OLD_OFF_CHECKLIST;
        EXPECT_EQ(rd32(s.reply() + at), 0x07u) << "the driver answers in the same layout";
        EXPECT_EQ(rec.checklist, 0x07u);
        EXPECT_EQ(0, memcmp(rec.field8, "\x10\x00\x02\x1F\x3C\xAB\xCD\xEF", 8));
    }
}

TEST_F(NpivTest, CreateOptionsDecideDriverAndRegistry) {
    struct Case {
        uint32_t options;
        uint32_t status;
        size_t requests; // create requests sent
        bool registered;
        uint32_t ports; // the driver's virtual ports afterwards
    };
    const Case cases[] = {
        {0x1A, 12, 0, false, 0},
        {0x18, 0, 0, true, 0},
        {0x10, 0, 1, true, 1},
        {0x00, 0, 1, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ListBuf b(4);
        ASSERT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 0u);
        for (uint32_t i = 0; i < b.list()->count; ++i)
            ASSERT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, b.list()->entries[i].wwpn), 0u);
        drop_reg_list();
        clear();
        VPortRecord rec;
        EXPECT_EQ(create(1, c.options, &rec), c.status);
        EXPECT_EQ(count(TGX_IOCTL_NPIV_APP_CREATE), c.requests);
        EXPECT_EQ(reg_list().entries.size(), c.registered ? 1u : 0u);
        EXPECT_EQ(listed(), c.ports);
        if (c.requests) {
            EXPECT_EQ(rec.fcId, 0x010201u);
            EXPECT_EQ(rec.version, 3);
            EXPECT_EQ(rec.state, TGX_NPIV_STATE_ONLINE);
        }
    }
}

TEST_F(NpivTest, CreateCarriesNamesAndTheExchangeField) {
    const std::string name256(256, 'n');
    VPortRecord rec = {};
    rec.version = 3;
    memcpy(rec.wwpn, vwwpn(4).b, 8);
    memcpy(rec.wwnn, vwwnn(4).b, 8);
    rec.options = TGX_VP_OPT_REGISTRY_AFTER;
    for (int i = 0; i < 32; ++i)
        rec.field32[i] = (uint8_t)(0xA0 + i);
    ASSERT_EQ(fn<CreateFn>("TGX_VPCreate")(0, name256.c_str(), &rec), 0u);
    // The record holds 255 characters and the terminator.
    EXPECT_EQ(std::string(rec.symbolicName), name256.substr(0, 255));
    const Sent& s = sent().back();
    ASSERT_EQ(s.code, TGX_IOCTL_NPIV_APP_CREATE);
    EXPECT_EQ(s.payload()[TGX_NPIV_OFF_NAME + 255], 0);
    EXPECT_EQ(s.payload()[TGX_NPIV_NEW_OFF_FIELD32], 0xA0) << "sent at payload 300";
    EXPECT_EQ(rec.field32[31], 0xA0 + 31) << "echoed back";
    EXPECT_EQ(rec.checklist, 0x07u);
    RegList reg = reg_list();
    ASSERT_EQ(reg.entries.size(), 1u);
    EXPECT_EQ(std::string(reg.entries[0].symbolicName), name256.substr(0, 63));
    EXPECT_EQ(0, memcmp(reg.entries[0].wwnn, vwwnn(4).b, 8));
    for (uint8_t z : reg.entries[0].zero)
        EXPECT_EQ(z, 0);
    // The attributes give the same name back.
    VPortRecord attr = {};
    attr.version = 3;
    ASSERT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(0, vwwpn(4).b, &attr), 0u);
    EXPECT_EQ(std::string(attr.symbolicName), name256.substr(0, 255));
    EXPECT_EQ(attr.fcId, 0x010201u);
}

TEST_F(NpivTest, CreateStatuses) {
    struct Case {
        const char* name;
        const char* attr; // function attribute changed first ("" none)
        const char* value;
        uint32_t board;
        uint32_t options;
        uint32_t status;
        uint32_t fcId;
        uint32_t ports;    // afterwards
        size_t regEntries; // afterwards
    };
    const Case cases[] = {
        {"link down: created, logs in later", "link", "down", 0, 0, 0, 0, 1, 0},
        {"link down, with its registry entry", "link", "down", 0, 0x10, 0, 0, 1, 1},
        {"no fabric support: refused", "npiv_fabric", "0", 0, 0x10, 5, 0xEEEE, 0, 0},
        {"no VPI free: refused", "npiv_max", "0", 0, 0, 5, 0xEEEE, 0, 0},
        {"NPIV not supported", "npiv", "0", 0, 0, 2, 0xEEEE, 0, 0},
        {"bad board", "", "", 1, 0, 1, 0xEEEE, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lib.reset();
        drop_reg_list();
        load(kNpivFleet);
        if (*c.attr) set_attr(c.attr, c.value);
        VPortRecord rec = {};
        rec.version = 3;
        rec.fcId = 0xEEEE;
        rec.options = c.options;
        memcpy(rec.wwpn, vwwpn(1).b, 8);
        EXPECT_EQ(fn<CreateFn>("TGX_VPCreate")(c.board, "x", &rec), c.status);
        EXPECT_EQ(rec.fcId, c.fcId);
        if (std::string(c.attr) != "npiv") {
            EXPECT_EQ(listed(), c.ports);
        }
        EXPECT_EQ(reg_list().entries.size(), c.regEntries);
        if (c.regEntries) {
            // The entry names the port, so deleting port and entry succeeds.
            EXPECT_EQ(0, memcmp(reg_list().entries[0].wwpn, vwwpn(1).b, 8));
            EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 0), 0u);
            EXPECT_TRUE(reg_list().missing);
        }
    }
    // The physical port's own WWPN and a WWPN in use are refused by the driver.
    lib.reset();
    load(kNpivFleet);
    ASSERT_EQ(create(1, 0), 0u);
    EXPECT_EQ(create(1, 0), 3u);
    // A driver that reports success without a port address has not created it.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_NPIV_APP_CREATE) return false;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    EXPECT_EQ(create(2, TGX_VP_OPT_REGISTRY_AFTER), 1u);
    EXPECT_TRUE(reg_list().missing);
    script(nullptr);
    fault("0x80000311", "fail");
    EXPECT_EQ(create(3, 0), 1u);
}

TEST_F(NpivTest, PortDriverHasNoVirtualPorts) {
    lib.reset();
    load("adapter A fc\nfunction fc\n");
    VPortRecord rec = {};
    uint32_t checklist = 0;
    ListBuf b(2);
    TGX_VPResource res;
    TGX_VPLinkInfo li = {};
    EXPECT_EQ(fn<CreateFn>("TGX_VPCreate")(0, "x", &rec), 2u);
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, vwwpn(1).b), 2u);
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 0), 2u);
    EXPECT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 2u);
    EXPECT_EQ(fn<ResourceFn>("TGX_VPGetResource")(0, &res), 2u);
    EXPECT_EQ(fn<LinkInfoFn>("TGX_VPGetLinkInfo")(0, &li), 2u);
    EXPECT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(0, vwwpn(1).b, &rec), 2u);
    EXPECT_EQ(fn<ReadyFn>("TGX_NPIVReadyTest")(0, &checklist), 2u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(NpivTest, RegistryListKeepsOneEntryPerPortAndDiesWithTheLast) {
    auto remove = [&](uint8_t n) { return fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(n).b, 1); };
    EXPECT_EQ(remove(1), 0u) << "no value: nothing to remove";
    ASSERT_EQ(create(1, 0x18), 0u);
    ASSERT_EQ(create(1, 0x18), 0u);
    EXPECT_EQ(reg_list().entries.size(), 1u);
    ASSERT_EQ(create(2, 0x18), 0u);
    EXPECT_EQ(reg_list().entries.size(), 2u);
    EXPECT_EQ(remove(3), 5u);
    EXPECT_EQ(remove(1), 0u);
    RegList left = reg_list();
    ASSERT_EQ(left.entries.size(), 1u);
    EXPECT_EQ(left.entries[0].wwpn[7], 2);
    EXPECT_EQ(remove(2), 0u);
    EXPECT_TRUE(reg_list().missing) << "the last entry takes the value with it";
    EXPECT_TRUE(sent().size() == count(TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES))
        << "registry-only operations never ask the driver for more";

    // A value holding the same port twice loses both and is deleted.
    VirtualPortEntry twice[2] = {};
    memcpy(twice[0].wwpn, vwwpn(7).b, 8);
    twice[1] = twice[0];
    PlatRegKey k = nullptr;
    ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, kDeviceKey, &k), PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, kPortValue, PLAT_REG_BINARY, twice, sizeof twice), PLAT_REG_OK);
    plat_reg_close_key(k);
    EXPECT_EQ(remove(7), 0u);
    EXPECT_TRUE(reg_list().missing);
}

TEST_F(NpivTest, RegistryFailures) {
    struct Case {
        const char* op;
        uint32_t createStatus; // registry-only create of port 1
        bool withOther;        // port 2 is stored too, so removal rewrites the value
        uint32_t removeStatus; // DeleteV2 option 1 of port 1
    };
    const Case cases[] = {
        {"create", 1, false, 18},
        {"set", 1, true, 19},
        {"delete", 0, false, 19},
        {"query", 1, false, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        drop_reg_list();
        plat_reg_inject_failure("", "", 0, 0);
        if (c.withOther) {
            ASSERT_EQ(create(2, 0x18), 0u);
        }
        const size_t before = reg_list().entries.size();
        plat_reg_inject_failure(c.op, "qrlfc", PLAT_REG_ACCESS_DENIED, -1);
        const uint32_t st = create(1, 0x18);
        plat_reg_inject_failure("", "", 0, 0);
        EXPECT_EQ(st, c.createStatus) << "an add deletes nothing";
        EXPECT_EQ(reg_list().entries.size(), before + (st == 0));
        if (st != 0) {
            ASSERT_EQ(create(1, 0x18), 0u);
        }
        plat_reg_inject_failure(c.op, "qrlfc", PLAT_REG_ACCESS_DENIED, -1);
        EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 1), c.removeStatus);
        plat_reg_inject_failure("", "", 0, 0);
        EXPECT_EQ(reg_list().entries.size(), before + 1) << "a failed removal keeps the entry";
    }
    // A port the driver created but the registry could not keep reports 1 and exists.
    plat_reg_inject_failure("set", "qrlfc", PLAT_REG_ACCESS_DENIED, -1);
    EXPECT_EQ(create(2, TGX_VP_OPT_REGISTRY_AFTER), 1u);
    plat_reg_inject_failure("", "", 0, 0);
    EXPECT_EQ(listed(), 1u);
}

TEST_F(NpivTest, ListFillsNoMoreThanCapacityAndReply) {
    for (uint8_t n = 1; n <= 5; ++n)
        ASSERT_EQ(create(n, 0), 0u);
    struct Case {
        uint32_t capacity;
        uint32_t filled;
    };
    for (const Case& c : {Case{2, 2}, Case{0, 0}, Case{5, 5}, Case{9, 5}}) {
        SCOPED_TRACE(c.capacity);
        ListBuf b(c.capacity);
        clear();
        ASSERT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 0u);
        EXPECT_EQ(sent().back().size(), 36u + 24u * c.capacity);
        EXPECT_EQ(b.list()->count, 5u);
        for (uint32_t i = 0; i < c.filled; ++i) {
            EXPECT_EQ(b.list()->entries[i].wwpn[7], i + 1);
            EXPECT_EQ(b.list()->entries[i].fcId, 0x010201u + i);
        }
        // Nothing past the filled entries was touched.
        const size_t end = 4 + 20 * (size_t)c.filled;
        for (size_t i = end; i < b.bytes.size() && c.capacity > c.filled; ++i)
            ASSERT_EQ(b.bytes[i], 0xEE) << i;
    }
    // A reply whose count exceeds what was asked fills only the capacity.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_NPIV_GETLIST) return false;
        wr32(env + TGX_ENV_HEADER_LENGTH, 1000);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    ListBuf b(2);
    b.bytes.resize(b.bytes.size() + 20, 0xEE);
    ASSERT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 0u);
    EXPECT_EQ(b.list()->count, 1000u);
    EXPECT_EQ(b.bytes[4 + 40], 0xEE);
    script(nullptr);
    // Capacities whose request size cannot be represented are refused unsent.
    ListBuf big(1);
    big.list()->count = 0xFFFFFFFFu / 24;
    clear();
    EXPECT_EQ(fn<ListFn>("TGX_VPGetList")(0, big.list()), 17u);
    EXPECT_TRUE(sent().empty());
    fault("0x80000316", "fail");
    EXPECT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 1u);
}

TEST_F(NpivTest, DeleteAndDeleteV2) {
    ASSERT_EQ(create(1, TGX_VP_OPT_REGISTRY_AFTER), 0u);
    ASSERT_EQ(create(2, TGX_VP_OPT_REGISTRY_AFTER), 0u);
    // The plain delete leaves the registry alone.
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, vwwpn(1).b), 0u);
    EXPECT_EQ(listed(), 1u);
    EXPECT_EQ(reg_list().entries.size(), 2u);
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, vwwpn(1).b), 5u);
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(1, vwwpn(1).b), 3u);
    // V2: the driver's refusal keeps the registry entry; success removes it.
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 0), 5u);
    EXPECT_EQ(reg_list().entries.size(), 2u);
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(2).b, 2), 0u);
    EXPECT_EQ(listed(), 0u);
    EXPECT_EQ(reg_list().entries.size(), 1u);
    clear();
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 3), 2u);
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(1, vwwpn(1).b, 0), 3u);
    EXPECT_TRUE(sent().empty());
    fault("0x80000312", "fail");
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(0, vwwpn(1).b, 0), 1u);
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, vwwpn(1).b), 1u);
}

TEST_F(NpivTest, AttributeStatuses) {
    ASSERT_EQ(create(1, 0), 0u);
    struct Case {
        const char* name;
        const char* attr;
        const char* value;
        uint8_t port;
        uint32_t board;
        uint32_t status;
    };
    const Case cases[] = {
        {"known port", "", "", 1, 0, 0},        {"unknown WWPN", "", "", 9, 0, 4},
        {"link down", "link", "down", 1, 0, 1}, {"not supported", "npiv", "0", 1, 0, 2},
        {"bad board", "", "", 1, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_attr("link", "up");
        set_attr("npiv", "1");
        if (*c.attr) set_attr(c.attr, c.value);
        VPortRecord rec = {};
        rec.version = 1;
        rec.checklist = 0xEEEE;
        EXPECT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(c.board, vwwpn(c.port).b, &rec), c.status);
        if (c.status == 0) {
            EXPECT_EQ(rec.checklist, 0u) << "a version-1 caller gets no checklist";
            EXPECT_EQ(rec.state, TGX_NPIV_STATE_ONLINE);
            EXPECT_EQ(0, memcmp(rec.wwnn, vwwnn(1).b, 8));
        }
    }
    fault("0x80000203", "fail");
    VPortRecord rec = {};
    EXPECT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(0, vwwpn(1).b, &rec), 1u);
}

TEST_F(NpivTest, ReadinessTest) {
    struct Case {
        const char* name;
        const char* link;
        bool withPort;
        uint32_t status;
        uint32_t checklist;
        size_t testCreates;
    };
    const Case cases[] = {
        {"no port, ready", "up", false, 0, 0xC7, 1},
        {"no port, link down", "down", false, 0, 0xC6, 1},
        {"a port exists", "up", true, 0, 0x07, 0},
        {"a port exists, link down", "down", true, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lib.reset();
        load(kNpivFleet);
        if (c.withPort) {
            ASSERT_EQ(create(1, 0), 0u);
        }
        set_attr("link", c.link);
        clear();
        uint32_t checklist = 0xEEEE;
        EXPECT_EQ(fn<ReadyFn>("TGX_NPIVReadyTest")(0, &checklist), c.status);
        EXPECT_EQ(checklist, c.checklist);
        EXPECT_EQ(count(TGX_IOCTL_NPIV_APP_CREATE), c.testCreates);
        if (c.testCreates) {
            const Sent* s = nullptr;
            for (const Sent& x : sent())
                if (x.code == TGX_IOCTL_NPIV_APP_CREATE) s = &x;
            EXPECT_EQ(rd32(s->payload() + TGX_NPIV_OFF_OPTIONS), TGX_VP_OPT_READY_TEST);
        }
        EXPECT_EQ(listed(), c.withPort ? 1u : 0u) << "the test creates nothing";
    }
    // A driver that reports no checklist fails the test.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_NPIV_APP_CREATE) return false;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    uint32_t checklist = 0;
    EXPECT_EQ(fn<ReadyFn>("TGX_NPIVReadyTest")(0, &checklist), 1u);
    EXPECT_EQ(fn<ReadyFn>("TGX_NPIVReadyTest")(1, &checklist), 3u);
}

TEST_F(NpivTest, ResourcesLinkInfoAndStatistics) {
    ASSERT_EQ(create(1, 0), 0u);
    TGX_VPResource res;
    ASSERT_EQ(fn<ResourceFn>("TGX_VPGetResource")(0, &res), 0u);
    EXPECT_EQ(rd32(res.bytes), 64u);
    EXPECT_EQ(rd32(res.bytes + 4), 1u);
    EXPECT_EQ(rd32(res.bytes + 8), 63u);

    TGX_VPLinkInfo li = {};
    memcpy(li.wwpn, vwwpn(1).b, 8);
    ASSERT_EQ(fn<LinkInfoFn>("TGX_VPGetLinkInfo")(0, &li), 0u);
    EXPECT_EQ(rd32(li.b0), 0x010201u);
    EXPECT_EQ(0, memcmp(li.b0 + 8, vwwnn(1).b, 8));
    memcpy(li.wwpn, vwwpn(9).b, 8);
    EXPECT_EQ(fn<LinkInfoFn>("TGX_VPGetLinkInfo")(0, &li), 5u);

    HBA_wwn w = {};
    TGX_VPStat stats[5];
    memset(stats, 0xEE, sizeof stats);
    ASSERT_EQ(fn<GetStatsFn>("TGX_VPGetIOStats")(0, w, 4, stats), 0u);
    EXPECT_EQ(stats[0], 0u);
    ASSERT_EQ(fn<SetupStatsFn>("TGX_VPSetupIOStats")(0, w, 0, nullptr), 0u);
    clear();
    ASSERT_EQ(fn<GetStatsFn>("TGX_VPGetIOStats")(0, w, 4, stats), 0u);
    EXPECT_EQ(sent().back().size(), 28u + 16u);
    EXPECT_EQ(stats[0], 1u);
    EXPECT_EQ(stats[1], 1u);
    EXPECT_EQ(stats[4], 0xEEEEEEEEu) << "only the words asked for";
    clear();
    EXPECT_EQ(fn<GetStatsFn>("TGX_VPGetIOStats")(0, w, 0x40000000u, stats), 17u);
    EXPECT_EQ(fn<GetStatsFn>("TGX_VPGetIOStats")(0, w, 4, nullptr), 1u);
    EXPECT_TRUE(sent().empty());
    fault("0x80000317", "fail");
    fault("0x80000318", "fail");
    EXPECT_EQ(fn<ResourceFn>("TGX_VPGetResource")(0, &res), 1u);
    EXPECT_EQ(fn<SetupStatsFn>("TGX_VPSetupIOStats")(0, w, 0, nullptr), 1u);
    EXPECT_EQ(fn<SetupStatsFn>("TGX_VPSetupIOStats")(1, w, 0, nullptr), 1u);
}

// ---- a second process ----------------------------------------------------------------------

// Runs the helper test of this program as a second process over the same state.
hbatest::RunResult run_helper(const std::string& filter) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return hbatest::RunResult{};
    self[n] = 0;
    return hbatest::run(self, {"--gtest_filter=" + filter}, {{"TGX_AGENT_SECOND", "1"}});
}

TEST(NpivSecondProcess, Helper) {
    if (!getenv("TGX_AGENT_SECOND")) GTEST_SKIP() << "runs only as a second process";
    hbatest::Library lib("libtgx.so");
    ASSERT_TRUE(lib.loaded());
    ListBuf b(4);
    ASSERT_EQ(lib.fn<ListFn>("TGX_VPGetList")(0, b.list()), 0u);
    std::printf("PORTS=%u FIRST=%02x REG=%zu\n", b.list()->count, b.list()->entries[0].wwpn[7],
                reg_list().entries.size());
}

TEST_F(NpivTest, PortsAndRegistryOutliveTheProcess) {
    ASSERT_EQ(create(3, TGX_VP_OPT_REGISTRY_AFTER), 0u);
    ASSERT_EQ(create(4, TGX_VP_OPT_REGISTRY_ONLY), 0u);
    hbatest::RunResult r = run_helper("NpivSecondProcess.Helper");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("PORTS=1 FIRST=03 REG=2\n"), std::string::npos) << r.out;
}

} // namespace
