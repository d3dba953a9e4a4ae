// Issue paths, NV parameters and the volatile names on a classic board, and
// region changes seen by a second process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_classic/classic_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

const char* kNames = "wwpn = 10:00:00:11:22:33:44:55 wwnn = 20:00:00:11:22:33:44:55";

TEST(ClassicIssuePaths, FailureIsNeverSuccess) {
    HbasetMachine m(classic::fleet());
    MboxBuf mb;
    // A board the library does not know: no adapter status, still a failure.
    mboxInit(&mb, MBX_READ_REV);
    EXPECT_EQ(IssueMbox1(1, &mb), 1u);
    EXPECT_EQ(mboxStatus(mb), 0u);
    // An adapter status is returned as it is; IssueNvMbox gives the library's.
    hbasim::fault_add({"mbx", "READ_REV", -1, 0, "status=0x1234", -1});
    mboxInit(&mb, MBX_READ_REV);
    EXPECT_EQ(IssueMbox1(0, &mb), 0x1234u);
    mboxInit(&mb, MBX_READ_REV);
    EXPECT_EQ(IssueNvMbox(0, &mb), 2u);
    EXPECT_EQ(mboxStatus(mb), 0x1234u);
    // Two attempts for IssueMbox1, three for IssueNvMbox.
    EXPECT_EQ(hbatest::countLines(m.journal(), "READ_REV"), 5u);
}

struct ViewCase {
    const char* name;
    uint32_t selector;
    bool withVolatile;
    uint32_t wwpn0;
};

class ClassicNvView : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ClassicNvView, VolatileNamesOverrideOnlyTheEffectiveView) {
    const ViewCase& c = GetParam();
    HbasetMachine m(classic::fleet(kNames));
    MboxBuf mb;
    if (c.withVolatile) {
        mboxInit(&mb, MBX_WRITE_VPARMS);
        mb.w[0] |= 1;
        nvParmsToMbox(NvParms{{0x10000099, 0x1}, {0x20000099, 0x1}, 0}, &mb);
        ASSERT_EQ(IssueMbox1(0, &mb), 0u);
    }
    ASSERT_EQ(Read_NVPARMS(0, &mb, c.selector), 0u);
    NvParms nv = nvParmsFromMbox(mb);
    EXPECT_EQ(nv.wwpn[0], c.wwpn0);
    EXPECT_EQ(nv.wwnn[1], c.withVolatile && c.selector ? 0x1u : 0x22334455u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicNvView,
    ::testing::Values(ViewCase{"NvOnly", READ_NV_EFFECTIVE, false, 0x10000011},
                      ViewCase{"EffectiveWithVolatile", READ_NV_EFFECTIVE, true, 0x10000099},
                      ViewCase{"NonVolatileWithVolatile", READ_NV_NONVOLATILE, true, 0x10000011}),
    [](const ::testing::TestParamInfo<ViewCase>& i) { return std::string(i.param.name); });

TEST(ClassicNv, ZeroVolatileNamesClearThem) {
    HbasetMachine m(classic::fleet(kNames));
    MboxBuf mb;
    mboxInit(&mb, MBX_WRITE_VPARMS);
    nvParmsToMbox(NvParms{{0x10000099, 1}, {0x20000099, 1}, 0}, &mb);
    ASSERT_EQ(IssueMbox1(0, &mb), 0u);
    mboxInit(&mb, MBX_WRITE_VPARMS);
    ASSERT_EQ(IssueMbox1(0, &mb), 0u);
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_EFFECTIVE), 0u);
    EXPECT_EQ(nvParmsFromMbox(mb).wwpn[0], 0x10000011u);
}

TEST(ClassicNv, VolatileNamesEndAtAReboot) {
    HbasetMachine m(classic::fleet(kNames));
    MboxBuf mb;
    mboxInit(&mb, MBX_WRITE_VPARMS);
    nvParmsToMbox(NvParms{{0x10000099, 1}, {0x20000099, 1}, 0}, &mb);
    ASSERT_EQ(IssueMbox1(0, &mb), 0u);
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_EFFECTIVE), 0u);
    EXPECT_EQ(nvParmsFromMbox(mb).wwpn[0], 0x10000011u);
}

TEST(ClassicNv, WrittenNamesAreKeptAsWrittenAndSeenByTheDriver) {
    HbasetMachine m(classic::fleet(kNames));
    MboxBuf mb;
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_EFFECTIVE), 0u);
    NvParms nv = nvParmsFromMbox(mb);
    nv.wwpn[1] = 0xAABBCCDD;
    nv.flags = 0x000000EF;
    nvParmsToMbox(nv, &mb);
    ASSERT_EQ(Write_NVPARMS(0, &mb), 0u);
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_NONVOLATILE), 0u);
    NvParms back = nvParmsFromMbox(mb);
    EXPECT_EQ(back.wwpn[1], 0xAABBCCDDu);
    EXPECT_EQ(back.flags, 0xEFu);
    uint8_t region0[20];
    uint32_t n = 0;
    ASSERT_EQ(ReadConfigRegion0(0, region0, &n), 0u);
    EXPECT_EQ(region0[16], 0xEF); // the default AL_PA
    std::string wwpn;
    hbasim::read_adapter(0, [&](const hbasim::Adapter& a) { wwpn = a.funcs[0].attrs.get("wwpn"); });
    EXPECT_EQ(wwpn, "10:00:00:11:AA:BB:CC:DD");
}

// ---- a second process ----------------------------------------------------------------

TEST(ClassicSecondProcess, Helper) {
    std::string request = hbatest::secondProcessRequest();
    if (request.empty()) GTEST_SKIP() << "runs only as a second process";
    HbasetMachine m{hbatest::AttachExisting{}};
    uint8_t buf[60];
    uint32_t length = sizeof buf;
    ASSERT_EQ(DumpConfigRegion(0, 8, 0, &length, buf), 0u);
    std::printf("REGION8=%s\n", classic::hex(std::vector<uint8_t>(buf, buf + length)).c_str());
}

TEST(ClassicSecondProcess, SeesRegionChanges) {
    HbasetMachine m(classic::fleet());
    std::vector<uint8_t> data = classic::pattern(60, 0x33);
    ASSERT_EQ(UpdateConfigRegionEx(0, 8, 60, data.data()), 0u);
    hbatest::RunResult r = hbatest::runSecondProcess("ClassicSecondProcess.Helper", "region8");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("REGION8=" + classic::hex(data) + "\n"), std::string::npos) << r.out;
}

} // namespace
