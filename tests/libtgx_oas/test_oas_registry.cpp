// OAS LUN settings kept in the registry (option 1) through libtgx: the key
// chain and Flag values the sets write, the pair read merged with the
// driver's list, its failure statuses, the all-pairs read, LUN key names and
// persistence across processes.
#include <unistd.h>

#include <algorithm>

#include "tests/libtgx_oas/oas_fixture.h"

namespace {

using namespace oastest;

TEST_F(OasRegistryTest, RegistrySetsWriteTheFlagAndRemoveTheKey) {
    const std::string lun3 = oas_key(kPort, kT1) + "\\LUN0003";
    ASSERT_EQ(set(kPort, kT1, 0x10003, 1, 0x81), 0u) << "the low 16 bits of the LUN";
    EXPECT_EQ(flag_of(lun3), 0x81) << "the older set stores its state byte";
    ASSERT_EQ(setV2(kPort, kT1, 1, 3, 1, 0x2A), 0u);
    EXPECT_EQ(flag_of(lun3), 0x2A01) << "priority x 256 + state";
    ASSERT_EQ(setV2(kPort, kT1, 1, 0x1234, 1, 7), 0u);
    EXPECT_EQ(flag_of(oas_key(kPort, kT1) + "\\LUN1234"), 0x0701);
    // State 0 removes the LUN key and only it.
    ASSERT_EQ(set(kPort, kT1, 3, 1, 0x80), 0u);
    EXPECT_FALSE(key_exists(lun3));
    EXPECT_TRUE(key_exists(oas_key(kPort, kT1)));
    ASSERT_EQ(setV2(kPort, kT1, 1, 0x1234, 0, 7), 0u);
    EXPECT_FALSE(key_exists(oas_key(kPort, kT1) + "\\LUN1234"));
    EXPECT_EQ(count(TGX_IOCTL_SET_LUNOASV2) + count(TGX_IOCTL_SET_LUNOASV3), 0u)
        << "option 1 sends no set request";
}

TEST_F(OasRegistryTest, ClearingALunWithoutKeyChangesNothing) {
    ASSERT_FALSE(key_exists(kParams));
    EXPECT_EQ(set(kPort, kT1, 5, 1, 0), 0u);
    EXPECT_EQ(setV2(kPort, kT1, 1, 5, 0, 9), 0u);
    EXPECT_FALSE(key_exists(kParams)) << "nothing is created to remove nothing";
    // With the chain present for another LUN, clearing a missing one keeps it.
    ASSERT_EQ(set(kPort, kT1, 1, 1, 1), 0u);
    EXPECT_EQ(set(kPort, kT1, 5, 1, 0), 0u);
    EXPECT_EQ(flag_of(oas_key(kPort, kT1) + "\\LUN0001"), 1);
}

TEST_F(OasRegistryTest, RegistryKeyFailuresGiveOne) {
    plat_reg_inject_failure("create", "", PLAT_REG_ACCESS_DENIED, -1);
    EXPECT_EQ(set(kPort, kT1, 1, 1, 1), 1u);
    plat_reg_inject_failure("", "", 0, 0);
    ASSERT_EQ(set(kPort, kT1, 1, 1, 1), 0u);
    plat_reg_inject_failure("set", "LUN0002", PLAT_REG_ERROR, -1);
    EXPECT_EQ(setV2(kPort, kT1, 1, 2, 1, 1), 1u);
    plat_reg_inject_failure("delete", "LUN0001", PLAT_REG_ACCESS_DENIED, -1);
    EXPECT_EQ(set(kPort, kT1, 1, 1, 0), 1u);
    EXPECT_EQ(flag_of(oas_key(kPort, kT1) + "\\LUN0001"), 1);
}

TEST_F(OasRegistryTest, PairReadMergesTheDriversList) {
    // LUN 3 is on the target, LUN 9 is not; the driver list holds LUN 3.
    ASSERT_EQ(setV2(kPort, kT1, 1, 3, 1, 4), 0u);
    ASSERT_EQ(setV2(kPort, kT1, 1, 9, 1, 0), 0u);
    List l(4);
    ASSERT_EQ(get(&kPort, kT1, 1, l), 0u);
    ASSERT_EQ(l.count(), 2u);
    EXPECT_EQ(l.get()->reserved, 0xEEEEEEEEu) << "not touched";
    const OasLunEntry& a = l[0];
    EXPECT_EQ(a.osLun, 3u);
    EXPECT_EQ(a.lunState, 1) << "the driver lists it";
    EXPECT_EQ(a.fcLun, 0x0300u) << "the driver's FCP LUN";
    EXPECT_EQ(a.oasState, 1);
    EXPECT_EQ(a.priority, 4);
    EXPECT_EQ(0, memcmp(a.initiatorWwpn, kPort.b, 8));
    EXPECT_EQ(0, memcmp(a.targetWwpn, kT1.b, 8));
    const OasLunEntry& b = l[1];
    EXPECT_EQ(b.osLun, 9u);
    EXPECT_EQ(b.lunState, 0);
    EXPECT_EQ(b.fcLun, 9ull << 40) << "not in the driver's list: the LUN in bits 40-55";
    EXPECT_EQ(b.reserved, 0);
    EXPECT_EQ(0, memcmp(b.zero, "\0\0\0\0", 4));
    // Without the driver's list (a failed request) every LUN takes the registry form.
    fault("0x8000014C", "fail");
    List m(4);
    ASSERT_EQ(get(&kPort, kT1, 1, m), 0u);
    EXPECT_EQ(m[0].fcLun, 3ull << 40);
    EXPECT_EQ(m[0].lunState, 0);
}

TEST_F(OasRegistryTest, PairReadStatuses) {
    ASSERT_EQ(set(kPort, kT1, 3, 1, 1), 0u);
    struct Case {
        const char* name;
        const Wwn* init;
        const Wwn* tgt;
        std::string driverFault;
        uint32_t status;
    };
    const Case cases[] = {
        {"no initiator key", &kStranger, &kT1, "", 15},
        {"no target key", &kPort, &kT2, "", 5},
        {"driver busy: registry not read", &kPort, &kT1, "rc=4", 33},
        {"driver target unknown: registry still read", &kPort, &kT1, "rc=2", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (!c.driverFault.empty()) fault("0x8000014C", c.driverFault);
        List l(4);
        EXPECT_EQ(get(c.init, *c.tgt, 1, l), c.status);
        if (c.status != 0) {
            EXPECT_EQ(l.count(), 4u) << "the list is untouched";
            EXPECT_EQ(l.bytes[8], 0xEE);
        } else {
            EXPECT_EQ(l.count(), 1u);
        }
    }
    hbasim::fault_clear();
    // No key for the adapter's own port, then no Parameters key at all.
    ASSERT_EQ(
        plat_reg_delete_tree(PLAT_HKLM, (std::string(kParams) + "\\1000021f3cabcdef").c_str()),
        PLAT_REG_OK);
    List l(4);
    EXPECT_EQ(get(&kPort, kT1, 1, l), 35u);
    ASSERT_EQ(plat_reg_delete_tree(PLAT_HKLM, kParams), PLAT_REG_OK);
    EXPECT_EQ(get(&kPort, kT1, 1, l), 1u);
    EXPECT_EQ(l.count(), 4u);
}

TEST_F(OasRegistryTest, PairReadTooSmallAndLunKeyNames) {
    for (uint32_t lun : {1u, 2u, 3u})
        ASSERT_EQ(set(kPort, kT1, lun, 1, 1), 0u);
    List small(2);
    EXPECT_EQ(get(&kPort, kT1, 1, small), 7u);
    EXPECT_EQ(small.count(), 3u);
    EXPECT_EQ(small.bytes[8], 0xEE) << "nothing stored when the pair does not fit";
    // Names: case of "LUN" and of the digits ignored; short names skipped;
    // characters that are no hex digit only shift.
    ASSERT_EQ(plat_reg_delete_tree(PLAT_HKLM, oas_key(kPort, kT1).c_str()), PLAT_REG_OK);
    put_lun_key(kPort, kT1, "lun00fe", 0x301);
    put_lun_key(kPort, kT1, "LUN12", 1);
    put_lun_key(kPort, kT1, "LUN0x1F", 1);
    put_lun_key(kPort, kT1, "Settings", 1);
    List l(8);
    ASSERT_EQ(get(&kPort, kT1, 1, l), 0u);
    ASSERT_EQ(l.count(), 2u);
    std::vector<uint64_t> luns = {l[0].osLun, l[1].osLun};
    std::sort(luns.begin(), luns.end());
    EXPECT_EQ(luns[0], 0x01Fu) << "LUN0x1F: the x adds nothing";
    EXPECT_EQ(luns[1], 0x0FEu);
    for (size_t i = 0; i < 2; ++i)
        if (l[i].osLun == 0xFE) {
            EXPECT_EQ(l[i].oasState, 1);
            EXPECT_EQ(l[i].priority, 3);
        }
}

TEST_F(OasRegistryTest, AllPairsRegistryReadCountsWhatDidNotFit) {
    List empty(4);
    ASSERT_EQ(get(nullptr, kT1, 1, empty), 0u) << "no Parameters key: an empty list";
    EXPECT_EQ(empty.count(), 0u);
    // Pair A (port, T1): 3 LUNs; pair B (port, T2): 2; pair C (vport 5, T1): 1.
    for (uint32_t lun : {1u, 3u, 7u})
        ASSERT_EQ(setV2(kPort, kT1, 1, lun, 1, 2), 0u);
    for (uint32_t lun : {0u, 1u})
        ASSERT_EQ(set(kPort, kT2, lun, 1, 1), 0u);
    ASSERT_EQ(set(vport(5), kT1, 4, 1, 1), 0u);
    // Keys that are not WWPNs are skipped.
    PlatRegKey k = nullptr;
    ASSERT_EQ(
        plat_reg_create_key(
            PLAT_HKLM, (std::string(kParams) + "\\1000021f3cabcdef\\notawwpn\\WWPN01").c_str(), &k),
        PLAT_REG_OK);
    plat_reg_close_key(k);
    List all(8);
    ASSERT_EQ(get(nullptr, kT1, 1, all), 0u);
    ASSERT_EQ(all.count(), 6u);
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(all[i].lunState, 0);
        EXPECT_EQ(all[i].fcLun, all[i].osLun << 40) << i;
    }
    EXPECT_EQ(0, memcmp(all[5].initiatorWwpn, vport(5).b, 8));
    EXPECT_EQ(all[5].osLun, 4u);
    // Each pair is offered the room left; a pair that does not fit adds what
    // it needs. Room 1: A and B do not fit, C does, and the status stays 7.
    struct Case {
        uint32_t capacity, status, count;
    };
    const Case cases[] = {{6, 0, 6}, {5, 7, 6}, {1, 7, 6}, {0, 7, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        List l(c.capacity);
        EXPECT_EQ(get(nullptr, kT1, 1, l), c.status);
        EXPECT_EQ(l.count(), c.count);
    }
    // A registry that cannot be enumerated is a failure, not an empty list.
    for (const char* where : {"OAS", "1000021f3cabcdef"}) {
        SCOPED_TRACE(where);
        plat_reg_inject_failure("enum", where, PLAT_REG_ERROR, -1);
        List l(8);
        EXPECT_EQ(get(nullptr, kT1, 1, l), 1u);
        plat_reg_inject_failure("", "", 0, 0);
    }
}

// ---- a second process ----------------------------------------------------------------------

TEST(OasSecondProcess, Helper) {
    if (!getenv("TGX_OAS_SECOND")) GTEST_SKIP() << "runs only as a second process";
    hbatest::Library lib("libtgx.so");
    ASSERT_TRUE(lib.loaded());
    List l(4);
    const uint32_t st = lib.fn<GetListFn>("TGX_GetOASLunList")(0, kPort.b, kT1.b, 1, l.get());
    std::printf("STATUS=%u COUNT=%u", st, l.count());
    for (uint32_t i = 0; i < l.count() && i < 4; ++i)
        std::printf(" %u:%u:%u", (unsigned)l[i].osLun, l[i].oasState, l[i].priority);
    std::printf("\n");
}

TEST_F(OasRegistryTest, RegistrySettingsOutliveTheProcess) {
    ASSERT_EQ(setV2(kPort, kT1, 1, 7, 1, 3), 0u);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    hbatest::RunResult r =
        hbatest::run(self, {"--gtest_filter=OasSecondProcess.Helper"}, {{"TGX_OAS_SECOND", "1"}});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("STATUS=0 COUNT=1 7:1:3\n"), std::string::npos) << r.out;
}

} // namespace
