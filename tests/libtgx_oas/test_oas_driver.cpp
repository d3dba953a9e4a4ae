// OAS LUN settings kept by the driver (option 0) through libtgx: the
// per-target list, the sets and their ReturnCode tables, the V2 checks, both
// forms of the all-pairs table with their merge, "too small" answers and
// initiators that are virtual ports.
#include "tests/libtgx_oas/oas_fixture.h"

namespace {

using namespace oastest;

const char kV2Features[] = "feature_list = 0x5400";

TEST_F(OasTest, PerTargetListComesFromTheDriver) {
    ASSERT_EQ(set(kPort, kT1, 3, 0, 1), 0u);
    clear();
    List l(8);
    ASSERT_EQ(get(&kPort, kT1, 0, l), 0u);
    ASSERT_EQ(count(TGX_IOCTL_INQUIRE_OAS_LUNLISTV2), 1u);
    const Sent& s = sent().back();
    EXPECT_EQ(s.size(), TGX_SIZE_OAS_LUNLISTV2);
    EXPECT_EQ(0, memcmp(s.payload() + TGX_OAS_LISTV2_OFF_INIT, kPort.b, 8));
    EXPECT_EQ(0, memcmp(s.payload() + TGX_OAS_LISTV2_OFF_TARGET, kT1.b, 8));
    EXPECT_EQ(rd32(s.payload() + TGX_OAS_LISTV2_OFF_COUNT), 255u);
    ASSERT_EQ(l.count(), 5u);
    const uint64_t luns[] = {0, 1, 2, 3, 7};
    for (uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l[i].osLun, luns[i]);
        EXPECT_EQ(l[i].fcLun, luns[i] << 8) << "the driver's FCP LUN";
        EXPECT_EQ(l[i].lunState, luns[i] == 2 ? 0 : 1) << "LUN 2 is offline";
        EXPECT_EQ(l[i].oasState, luns[i] == 3 ? 1 : 0);
        const uint8_t* e = s.reply() + TGX_OAS_LISTV2_OFF_ENTRIES + 16 * i;
        EXPECT_EQ(l[i].reserved, e[TGX_OAS_DE_BYTE15]) << "the driver's fourth byte";
        EXPECT_EQ(0, memcmp(l[i].initiatorWwpn, kPort.b, 8));
        EXPECT_EQ(0, memcmp(l[i].targetWwpn, kT1.b, 8));
    }
    // Short lists: the capacity is filled and the count tells the driver's number.
    for (uint32_t capacity : {0u, 2u}) {
        SCOPED_TRACE(capacity);
        List s2(capacity, 1);
        EXPECT_EQ(get(&kPort, kT1, 0, s2), 7u);
        EXPECT_EQ(s2.count(), 5u);
        if (capacity) {
            EXPECT_EQ(s2[1].osLun, 1u);
            EXPECT_EQ(s2.bytes[8 + 40 * 2], 0xEE) << "nothing past the capacity";
        }
    }
}

TEST_F(OasTest, ListStatuses) {
    struct Case {
        const char* name;
        const Wwn* init;
        const Wwn* tgt;
        const char* fault;
        uint32_t status;
    };
    const Case cases[] = {
        {"unknown target", &kPort, &kStranger, nullptr, 5},
        {"unknown initiator", &kStranger, &kT1, nullptr, 15},
        {"rc 2", &kPort, &kT1, "rc=2", 5},
        {"rc 3", &kPort, &kT1, "rc=3", 32},
        {"rc 4", &kPort, &kT1, "rc=4", 33},
        {"rc 7", &kPort, &kT1, "rc=7", 15},
        {"rc 9", &kPort, &kT1, "rc=9", 1},
        {"failed request", &kPort, &kT1, "fail", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (c.fault) fault("0x8000014C", c.fault);
        List l(4);
        EXPECT_EQ(get(c.init, *c.tgt, 0, l), c.status);
        EXPECT_EQ(l.count(), 4u);
    }
    hbasim::fault_clear();
    List l(4);
    EXPECT_EQ(get(&kPort, kT1, 2, l), 32u) << "option above 1";
    EXPECT_EQ(get(&kPort, kT1, 0, l, 1), 1u) << "bad board";
    EXPECT_EQ(fn<GetListFn>("TGX_GetOASLunList")(0, kPort.b, nullptr, 0, l.get()), 1u);
    EXPECT_EQ(fn<GetListFn>("TGX_GetOASLunList")(0, kPort.b, kT1.b, 0, nullptr), 1u);
    reload(fleet("oas = no"));
    EXPECT_EQ(get(&kPort, kT1, 0, l), 32u) << "a driver without OAS";
    EXPECT_EQ(set(kPort, kT1, 1, 0, 1), 32u);
}

TEST_F(OasTest, SetReturnCodeTables) {
    reload(fleet(kV2Features));
    struct Case {
        uint32_t rc, oldSet, v3Set;
    };
    const Case cases[] = {{1, 34, 1},  {2, 18, 18}, {3, 32, 32}, {4, 33, 33},
                          {7, 17, 17}, {8, 1, 4},   {9, 1, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        hbasim::fault_clear();
        const std::string rc = "rc=" + std::to_string(c.rc);
        fault("0x8000014D", rc);
        fault("0x8000014E", rc);
        EXPECT_EQ(set(kPort, kT1, 1, 0, 1), c.oldSet);
        EXPECT_EQ(setV2(kPort, kT1, 0, 1, 1, 5), c.v3Set);
    }
    hbasim::fault_clear();
    fault("0x8000014D", "fail");
    fault("0x8000014E", "fail");
    EXPECT_EQ(set(kPort, kT1, 1, 0, 1), 1u);
    EXPECT_EQ(setV2(kPort, kT1, 0, 1, 1, 5), 1u);
    hbasim::fault_clear();
    // The simulated driver's own refusals.
    EXPECT_EQ(set(kPort, kStranger, 1, 0, 1), 18u) << "unknown target";
    EXPECT_EQ(set(kStranger, kT1, 1, 0, 1), 17u) << "unknown initiator";
    EXPECT_EQ(setV2(kPort, kT1, 0, 256, 1, 0), 33u) << "LUN outside the table";
}

TEST_F(OasTest, SetsReachTheDriversList) {
    reload(fleet(kV2Features));
    clear();
    ASSERT_EQ(set(kPort, kT1, 0x10007, 0, 0xFF), 0u);
    ASSERT_EQ(count(TGX_IOCTL_SET_LUNOASV2), 1u);
    const uint8_t* p = sent().back().payload();
    EXPECT_EQ(rd32(p + TGX_OAS_SETV2_OFF_LUN), 7u) << "the low 16 bits";
    EXPECT_EQ(p[TGX_OAS_SETV2_OFF_STATE], 1) << "state bit 0 only";
    ASSERT_EQ(setV2(kPort, kT1, 0, 3, 1, 9), 0u);
    p = sent().back().payload();
    EXPECT_EQ(p[TGX_OAS_SETV3_OFF_VERSION], 1);
    EXPECT_EQ(p[TGX_OAS_SETV3_OFF_PRIORITY], 9);
    EXPECT_EQ(0, memcmp(p + TGX_OAS_SETV3_OFF_INIT, kPort.b, 8));
    EXPECT_EQ(0, memcmp(p + TGX_OAS_SETV3_OFF_TARGET, kT1.b, 8));
    List l(8);
    ASSERT_EQ(get(&kPort, kT1, 0, l), 0u);
    EXPECT_EQ(l[3].oasState, 1);
    EXPECT_EQ(l[3].priority, 9);
    EXPECT_EQ(l[4].oasState, 1);
    // Clearing with the older set drops the LUN, priority and all.
    ASSERT_EQ(set(kPort, kT1, 3, 0, 0), 0u);
    ASSERT_EQ(get(&kPort, kT1, 0, l), 0u);
    EXPECT_EQ(l[3].oasState, 0);
    EXPECT_EQ(l[3].priority, 0);
}

TEST_F(OasTest, V2SetChecksComeFirst) {
    // Without the V2 feature nothing is sent, for either option.
    OasLunRecordV2 r = {};
    clear();
    EXPECT_EQ(setV2(kPort, kT1, 0, 1, 1, 1), 32u);
    EXPECT_EQ(setV2(kPort, kT1, 1, 1, 1, 1), 32u);
    EXPECT_EQ(setV2(kPort, kT1, 0, 1, 2, 1), 1u) << "state other than 0 and 1";
    EXPECT_EQ(fn<SetV2Fn>("TGX_SetOASLunV2")(0, nullptr, kT1.b, 0, &r), 1u);
    EXPECT_EQ(fn<SetV2Fn>("TGX_SetOASLunV2")(0, kPort.b, kT1.b, 0, nullptr), 1u);
    EXPECT_EQ(count(TGX_IOCTL_SET_LUNOASV3), 0u);
    // The feature is featureList 0x4000 or more, or a non-zero DrvInfo word 148.
    struct Case {
        const char* keys;
        uint32_t status;
    };
    const Case cases[] = {
        {"feature_list = 0x3FFF", 32},
        {"feature_list = 0x4000", 0},
        {"feature_list = 0x8000", 0},
        {"feature_list = 0x1400 drv_word144 = 1", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        reload(fleet(c.keys));
        EXPECT_EQ(setV2(kPort, kT1, 0, 1, 1, 1), c.status);
    }
    EXPECT_EQ(setV2(kPort, kT1, 2, 1, 1, 1), 32u) << "option above 1";
    clear();
    EXPECT_EQ(setV2(kPort, kT1, 0, 1, 1, 1, 2, &r), 4u);
    EXPECT_EQ(r.version, 1) << "the version the library speaks is written back";
    EXPECT_EQ(setV2(kPort, kT1, 1, 1, 1, 1, 0, &r), 4u);
    EXPECT_EQ(r.version, 1);
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(key_exists(oas_key(kPort, kT1)));
}

TEST_F(OasTest, AllPairsTableFormsAndMerge) {
    struct Case {
        const char* keys;
        bool v2;
    };
    const Case cases[] = {
        {"", false},
        {"feature_list = 0x1400 drv_word144 = 7", true},
        {"feature_list = 0x8000", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        reload(fleet(c.keys));
        ASSERT_EQ(set(kPort, kT1, 3, 0, 1), 0u);
        ASSERT_EQ(set(kPort, kT1, 9, 0, 1), 0u);
        ASSERT_EQ(set(kPort, kT2, 1, 0, 1), 0u);
        clear();
        List l(8);
        ASSERT_EQ(get(nullptr, kT1, 0, l), 0u);
        EXPECT_EQ(count(TGX_IOCTL_OAS_TABLE_V2), c.v2 ? 1u : 0u);
        EXPECT_EQ(count(TGX_IOCTL_OAS_TABLE), c.v2 ? 0u : 1u);
        EXPECT_EQ(count(TGX_IOCTL_INQUIRE_OAS_LUNLISTV2), c.v2 ? 2u : 0u);
        EXPECT_EQ(count(TGX_IOCTL_INQUIRE_LUNLIST_OAS), c.v2 ? 0u : 2u);
        EXPECT_EQ(count(TGX_IOCTL_INQUIRE_SCSIID), c.v2 ? 0u : 2u);
        EXPECT_EQ(sent().front().size(), c.v2 ? TGX_SIZE_OAS_TABLE_V2_BASE + 8 * TGX_OAS_PAIR_V2
                                              : TGX_SIZE_OAS_TABLE_BASE + 8 * TGX_OAS_PAIR)
            << "sized for the caller's capacity";
        ASSERT_EQ(l.count(), 3u);
        // LUN 3: the driver's entry; LUN 9: not on the target.
        EXPECT_EQ(l[0].osLun, 3u);
        EXPECT_EQ(l[0].fcLun, 0x0300u);
        EXPECT_EQ(l[0].lunState, 1);
        EXPECT_EQ(l[0].oasState, 1);
        EXPECT_EQ(l[1].osLun, 9u);
        EXPECT_EQ(l[1].fcLun, 9u << 8) << "not in the driver's list: the LUN in bits 8-15";
        EXPECT_EQ(l[1].lunState, 0);
        EXPECT_EQ(l[1].oasState, 1);
        EXPECT_EQ(l[2].osLun, 1u);
        EXPECT_EQ(0, memcmp(l[2].targetWwpn, kT2.b, 8));
        EXPECT_EQ(l[2].reserved, 0);
    }
}

TEST_F(OasTest, AllPairsTooSmall) {
    ASSERT_EQ(set(kPort, kT1, 3, 0, 1), 0u);
    ASSERT_EQ(set(kPort, kT1, 9, 0, 1), 0u);
    ASSERT_EQ(set(kPort, kT2, 1, 0, 1), 0u);
    // One pair of room: the driver asks for two, the second request fits; the
    // entries are then more than the capacity.
    struct Case {
        uint32_t capacity, status, count, tables;
    };
    const Case cases[] = {{0, 7, 3, 2}, {1, 7, 3, 2}, {2, 7, 3, 1}, {3, 0, 3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        clear();
        List l(c.capacity);
        EXPECT_EQ(get(nullptr, kT1, 0, l), c.status);
        EXPECT_EQ(l.count(), c.count);
        EXPECT_EQ(count(TGX_IOCTL_OAS_TABLE), c.tables);
        if (c.capacity) {
            EXPECT_EQ(l[0].osLun, 3u);
        }
    }
    // Too small twice: the pairs of the second answer x 256.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_OAS_TABLE) return false;
        wr32(env + TGX_ENV_OFF_RETURNCODE, TGX_OAS_RC_TOO_SMALL);
        env[TGX_ENV_HEADER_LENGTH + TGX_OAS_TABLE_OFF_PAIRS] = 3;
        return true;
    });
    clear();
    List l(1);
    EXPECT_EQ(get(nullptr, kT1, 0, l), 7u);
    EXPECT_EQ(l.count(), 3u * 256u);
    ASSERT_EQ(count(TGX_IOCTL_OAS_TABLE), 2u);
    EXPECT_EQ(sent()[0].size(), TGX_SIZE_OAS_TABLE_BASE + TGX_OAS_PAIR);
    EXPECT_EQ(sent()[1].size(), TGX_SIZE_OAS_TABLE_BASE + 3 * TGX_OAS_PAIR);
    EXPECT_EQ(sent()[1].payload()[TGX_OAS_TABLE_OFF_PAIRS], 3);
    EXPECT_EQ(l.bytes[8], 0xEE);
}

TEST_F(OasTest, TableStatuses) {
    ASSERT_EQ(set(kPort, kT1, 3, 0, 1), 0u);
    struct Case {
        const char* match;
        const char* fault;
        uint32_t status;
    };
    const Case cases[] = {
        {"0x8000014B", "rc=2", 5}, {"0x8000014B", "rc=3", 32}, {"0x8000014B", "rc=4", 33},
        {"0x8000014B", "rc=9", 1}, {"0x8000014B", "fail", 1},  {"0x8000011B", "fail", 1},
        {"0x8000014A", "rc=7", 1}, {"0x8000014A", "rc=2", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.match) + " " + c.fault);
        hbasim::fault_clear();
        fault(c.match, c.fault);
        List l(4);
        EXPECT_EQ(get(nullptr, kT1, 0, l), c.status);
    }
}

TEST_F(OasTest, VirtualPortInitiators) {
    ASSERT_EQ(create_vport(1), 0u);
    ASSERT_EQ(set(vport(1), kT1, 1, 0, 1), 0u);
    clear();
    List l(4);
    ASSERT_EQ(get(nullptr, kT1, 0, l), 0u);
    ASSERT_EQ(l.count(), 1u);
    EXPECT_EQ(l[0].lunState, 1) << "the virtual port sees the target";
    EXPECT_EQ(l[0].fcLun, 0x0100u);
    EXPECT_EQ(0, memcmp(l[0].initiatorWwpn, vport(1).b, 8));
    // The identifier and list requests go to the virtual port's VPI.
    for (const Sent& s : sent()) {
        const uint32_t base = s.code & ~0x0FF00000u;
        if (base == TGX_IOCTL_INQUIRE_SCSIID || base == TGX_IOCTL_INQUIRE_LUNLIST_OAS) {
            EXPECT_EQ(s.code >> 20 & 0xFF, 1u);
        }
    }
    EXPECT_EQ(count(TGX_VPI_CODE(TGX_IOCTL_INQUIRE_LUNLIST_OAS, 1)), 1u);
    // The VPI lookup failing fails the read; a port the driver no longer has gives 15.
    fault("0x8000031B", "fail", 1);
    EXPECT_EQ(get(nullptr, kT1, 0, l), 1u);
    ASSERT_EQ(fn<DeleteFn>("TGX_VPDelete")(0, vport(1).b), 0u);
    EXPECT_EQ(get(nullptr, kT1, 0, l), 15u);
}

TEST_F(OasTest, DriverCountsBeyondTheReplyAreClipped) {
    // A per-target list claiming 1000 LUNs fills no more than the 256 its reply holds.
    script([](uint32_t code, uint8_t* env, uint32_t size) {
        if (code != TGX_IOCTL_INQUIRE_OAS_LUNLISTV2) return false;
        uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        wr32(p + TGX_OAS_LISTV2_OFF_COUNT, 1000);
        for (uint32_t i = 0;
             TGX_ENV_HEADER_LENGTH + TGX_OAS_LISTV2_OFF_ENTRIES + 16 * (i + 1) <= size; ++i) {
            uint8_t* e = p + TGX_OAS_LISTV2_OFF_ENTRIES + 16 * i;
            wr32(e + TGX_OAS_DE_OSLUN, i);
            wr32(e + TGX_OAS_DE_FCLUN_LO, 0x1000 + i);
            wr32(e + TGX_OAS_DE_FCLUN_HI, 0xA0000000u);
            e[TGX_OAS_DE_LUNSTATE] = 0xFF;
        }
        return true;
    });
    List l(1200, 1);
    ASSERT_EQ(get(&kPort, kT1, 0, l), 0u);
    EXPECT_EQ(l.count(), 256u);
    EXPECT_EQ(l[255].osLun, 255u);
    EXPECT_EQ(l[5].fcLun, 0xA000000000001005ull) << "(high << 32) | low";
    EXPECT_EQ(l[5].lunState, 1) << "bit 0 of the driver's byte";
    EXPECT_EQ(l.bytes[8 + 40 * 256], 0xEE) << "nothing past what the reply holds";
    // A table claiming 65535 pairs in a reply with room for two: two pairs are read.
    script([](uint32_t code, uint8_t* env, uint32_t size) {
        if (code != TGX_IOCTL_OAS_TABLE) return false;
        uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        p[TGX_OAS_TABLE_OFF_PAIRS] = 0xFF;
        p[TGX_OAS_TABLE_OFF_PAIRS + 1] = 0xFF;
        for (uint32_t off = TGX_OAS_TABLE_OFF_RECORDS;
             TGX_ENV_HEADER_LENGTH + off + TGX_OAS_PAIR <= size; off += TGX_OAS_PAIR) {
            memcpy(p + off + TGX_OAS_PAIR_OFF_INIT, kPort.b, 8);
            memcpy(p + off + TGX_OAS_PAIR_OFF_TARGET, kT1.b, 8);
            wr32(p + off + TGX_OAS_PAIR_OFF_BITMAP, 1);
        }
        return true;
    });
    clear();
    List t(1);
    EXPECT_EQ(get(nullptr, kT1, 0, t), 7u);
    EXPECT_EQ(t.count(), 2u);
    EXPECT_EQ(count(TGX_IOCTL_INQUIRE_LUNLIST_OAS), 2u);
}

} // namespace
