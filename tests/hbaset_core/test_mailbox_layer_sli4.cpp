// The FC mailbox layer on SLI-4 boards through the adapter library: region
// reads in one dump request, NV parameters in wire order, region writes with
// the re-initialise rule, and the region 0 writer with its reconstruction.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/rm_status.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_core/sli4_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

constexpr uint8_t kCanary = 0xC5;

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i);
    return v;
}

struct DumpCase {
    const char* name;
    const char* keys;
    uint32_t region;
    uint32_t offset;
    uint32_t length;
    uint32_t expect;
    uint32_t expectRead;
    const char* request;
};

class Sli4DumpRegion : public ::testing::TestWithParam<DumpCase> {};

TEST_P(Sli4DumpRegion, OneRequestReportsWhatWasRead) {
    const DumpCase& c = GetParam();
    HbasetMachine m(sli4::fleet("region_8 = " + sli4::hex(pattern(60, 0x20)) + " " + c.keys));
    std::vector<uint8_t> buf(c.length + 16, kCanary);
    uint32_t length = c.length;
    EXPECT_EQ(DumpConfigRegion(0, c.region, c.offset, &length, buf.data()), c.expect);
    EXPECT_EQ(length, c.expectRead);
    for (uint32_t i = 0; c.region == 8 && i < c.expectRead; ++i)
        ASSERT_EQ(buf[i], 0x20 + c.offset + i);
    for (size_t i = c.expectRead; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], kCanary) << i;
    EXPECT_EQ(m.journal(), std::vector<std::string>{c.request});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Sli4DumpRegion,
    ::testing::Values(DumpCase{"Whole", "", 8, 0, 60, 0, 60, "DUMP type=2 region=8 off=0 bytes=60"},
                      DumpCase{"Offset", "", 8, 6, 10, 0, 10,
                               "DUMP type=2 region=8 off=6 bytes=10"},
                      DumpCase{"RegionShorterThanAsked", "", 8, 0, 100, 0, 60,
                               "DUMP type=2 region=8 off=0 bytes=100"},
                      DumpCase{"AdapterReportsMore", "dump_overreport = 30", 8, 0, 40, 0, 40,
                               "DUMP type=2 region=8 off=0 bytes=40"},
                      DumpCase{"FactoryAddressIsRegion32", "", 16, 0, 8, 0, 8,
                               "DUMP type=2 region=32 off=0 bytes=8"},
                      DumpCase{"Invalid", "region_state = \"8=invalid\"", 8, 0, 60, 5, 0,
                               "DUMP type=2 region=8 off=0 bytes=60"}),
    [](const ::testing::TestParamInfo<DumpCase>& i) { return std::string(i.param.name); });

TEST(Sli4Nv, NameWordsArriveInWireOrderAndAreTurnedToHostOrder) {
    HbasetMachine m(sli4::fleet("wwpn = 10:00:00:11:22:33:44:55 wwnn = 20:00:00:11:22:33:44:55"));
    MboxBuf mb;
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_NONVOLATILE), 0u);
    NvParms nv = nvParmsFromMbox(mb);
    EXPECT_EQ(nv.wwpn[0], 0x10000011u);
    EXPECT_EQ(nv.wwpn[1], 0x22334455u);
    EXPECT_EQ(nv.wwnn[0], 0x20000011u);

    nv.wwpn[1] = 0x66778899;
    nvParmsToMbox(nv, &mb);
    ASSERT_EQ(Write_NVPARMS(0, &mb), 0u);
    EXPECT_EQ(nvParmsFromMbox(mb).wwpn[1], 0x66778899u); // the caller's words stay in host order
    uint8_t region0[20];
    uint32_t n = 0;
    ASSERT_EQ(ReadConfigRegion0(0, region0, &n), 0u);
    const uint8_t wire[8] = {0x10, 0x00, 0x00, 0x11, 0x66, 0x77, 0x88, 0x99};
    EXPECT_EQ(std::memcmp(region0, wire, 8), 0);
    EXPECT_EQ(m.journal().back(), "READ_NV sel=0x00000000");
}

TEST(Sli4Nv, Region0ReaderRefusesAnUnknownRegion) {
    HbasetMachine m(sli4::fleet("region_state = \"0=invalid\""));
    uint8_t region0[20];
    uint32_t n = 7;
    EXPECT_EQ(ReadConfigRegion0(0, region0, &n), RM_STATUS_REGION_UNKNOWN);
}

struct UpdateCase {
    const char* name;
    const char* keys;
    int faultNth; // UPDATE_CFG call answered 0x9 (0 = none)
    uint32_t expect;
    const char* console;
    std::vector<std::string> requests;
};

class Sli4UpdateRegion : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(Sli4UpdateRegion, ReinitialisesOnceWhenTheAdapterAsks) {
    const UpdateCase& c = GetParam();
    HbasetMachine m(sli4::fleet(c.keys));
    if (c.faultNth) hbasim::fault_add({"mbx", "UPDATE_CFG", -1, c.faultNth, "status=0x9", -1});
    std::vector<uint8_t> data = pattern(60, 0x50);
    EXPECT_EQ(UpdateConfigRegion(0, 8, 60, data.data()), c.expect);
    EXPECT_EQ(m.takeConsole(), c.console);
    EXPECT_EQ(m.journal(), c.requests);
}

const char* kWrite8 = "UPDATE_CFG type=2 region=8 len=60";
const char* kHeader8 = "UPDATE_CFG type=1 region=8 len=60";

INSTANTIATE_TEST_SUITE_P(
    Cases, Sli4UpdateRegion,
    ::testing::Values(UpdateCase{"Written", "", 0, 0, "", {kWrite8}},
                      UpdateCase{"Reinitialised",
                                 "region_state = \"8=invalid\"",
                                 0,
                                 0,
                                 "Re-initialize this config region 8\n",
                                 {kWrite8, kHeader8, kWrite8}},
                      UpdateCase{"SecondWriteFails",
                                 "region_state = \"8=invalid\"",
                                 3,
                                 2,
                                 "Re-initialize this config region 8\n",
                                 {kWrite8, kHeader8, kWrite8}},
                      UpdateCase{"ReinitialiseFails",
                                 "region_state = \"8=invalid\"",
                                 2,
                                 2,
                                 "Re-initialize this config region 8\n"
                                 "Re-initialize region fails Status 2 Rsp_info 0\n",
                                 {kWrite8, kHeader8}},
                      UpdateCase{"OtherRefusal", "", 1, 2, "Return 2 RspInfo 0\n", {kWrite8}}),
    [](const ::testing::TestParamInfo<UpdateCase>& i) { return std::string(i.param.name); });

TEST(Sli4UpdateRegion, RegionWritesOfBrevinFunctionsGoThroughTheLibrary) {
    HbasetMachine m(sli4::fleet("region_state = \"9=invalid\""));
    std::vector<uint8_t> data = pattern(88, 1);
    // One request, no re-initialise: any failure is 219.
    EXPECT_EQ(WriteConfigRegion9(0, data.data()), RM_STATUS_RECONSTRUCT_FAILED);
    EXPECT_EQ(m.journal(), std::vector<std::string>{"UPDATE_CFG type=2 region=9 len=88"});
    std::vector<uint8_t> efi(256, 1);
    EXPECT_EQ(WriteConfigRegion10(0, efi.data()), 0u);
    EXPECT_EQ(m.journal().size(), 1u); // nothing sent for the EFI region
    std::vector<uint8_t> boot = pattern(60, 9);
    EXPECT_EQ(WriteConfigRegion8(0, boot.data()), 0u);
}

// ---- region 0 -------------------------------------------------------------------------------

TEST(Sli4Region0, DefaultImageIsInWireOrder) {
    HbasetMachine m(sli4::fleet("factory_wwn = 10:00:00:90:FA:01:02:03"));
    uint8_t image[20];
    ASSERT_EQ(CLU_InitConfigRegion0Data(0, image), 0u);
    const uint8_t expect[20] = {0x10, 0x00, 0x00, 0x90, 0xFA, 0x01, 0x02, 0x03, 0x20, 0x00,
                                0x00, 0x90, 0xFA, 0x01, 0x02, 0x03, 0,    0,    0,    0};
    EXPECT_EQ(std::memcmp(image, expect, 20), 0);
    ASSERT_EQ(CLU_WriteConfigRegion0(0, image), 0u);
    MboxBuf mb;
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_EFFECTIVE), 0u);
    EXPECT_EQ(nvParmsFromMbox(mb).wwnn[0], 0x20000090u);
}

TEST(Sli4Region0, AllZeroImageIsRefusedBeforeAnything) {
    HbasetMachine m(sli4::fleet());
    uint8_t image[20] = {};
    EXPECT_EQ(CLU_WriteConfigRegion0(0, image), RM_STATUS_ALL_ZERO_IMAGE);
    EXPECT_TRUE(m.journal().empty());
}

struct Rebuild0Case {
    const char* name;
    const char* keys;
    int rejections;
    uint32_t expect;
    std::vector<std::string> requests;
};

class Sli4WriteRegion0 : public ::testing::TestWithParam<Rebuild0Case> {};

TEST_P(Sli4WriteRegion0, RejectedWriteIsRebuiltOnce) {
    const Rebuild0Case& c = GetParam();
    HbasetMachine m(sli4::fleet(c.keys));
    if (c.rejections) hbasim::fault_add({"mbx", "WRITE_NV", -1, 0, "status=0xFFF7", c.rejections});
    uint8_t image[20];
    for (int i = 0; i < 20; ++i)
        image[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(CLU_WriteConfigRegion0(0, image), c.expect);
    EXPECT_EQ(m.journal(), c.requests);
}

// A refused NV write is tried three times by its issue path.
std::vector<std::string> rebuild(int finalWrites) {
    std::vector<std::string> r = {"WRITE_NV",
                                  "WRITE_NV",
                                  "WRITE_NV",
                                  "DUMP type=1 addr=0x79C words=1",
                                  "DUMP type=1 addr=0x1000 words=6",
                                  "LOAD_SM key=0x68AC002A addr=0x70000 data=0x00000000",
                                  "UPDATE_CFG type=3",
                                  "UPDATE_CFG type=1 region=0 len=60"};
    r.insert(r.end(), finalWrites, "WRITE_NV");
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Sli4WriteRegion0,
    ::testing::Values(
        Rebuild0Case{"Accepted", "", 0, 0, {"WRITE_NV"}},
        Rebuild0Case{"InvalidRegion", "region_state = \"0=invalid\"", 0, 0, rebuild(1)},
        Rebuild0Case{"RejectedTwice", "", 6, 217, rebuild(3)},
        Rebuild0Case{"UnknownLayout",
                     "region_state = \"0=uninit\" flash_layout = 8",
                     0,
                     219,
                     {"WRITE_NV", "WRITE_NV", "WRITE_NV", "DUMP type=1 addr=0x79C words=1",
                      "DUMP type=1 addr=0x1000 words=6"}}),
    [](const ::testing::TestParamInfo<Rebuild0Case>& i) { return std::string(i.param.name); });

TEST(Sli4IssuePaths, LibraryFailureWithoutAdapterStatusIsAFailure) {
    HbasetMachine m(sli4::fleet());
    MboxBuf mb;
    mboxInit(&mb, MBX_READ_REV);
    EXPECT_EQ(IssueMbox4(2, &mb), 1u); // no such board
    EXPECT_EQ(mboxStatus(mb), 0u);
    mboxInit(&mb, MBX_READ_REV);
    EXPECT_EQ(IssueMbox4(0, &mb), 0u);
}

TEST(Sli4ReadRev, NameIsPlainText) {
    HbasetMachine m(sli4::fleet("fw_name = 12.8.542.31 hw_type = 18"));
    MboxBuf mb;
    ASSERT_EQ(ReadRev4(0, &mb), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mboxBytes(mb) + 36)), "12.8.542.31");
    EXPECT_EQ((mb.w[2] >> 12) & 0xFFFF, 18u);
    hbasim::fault_add({"mbx", "READ_REV", -1, 0, "status=0x44", -1});
    EXPECT_EQ(ReadRev4(0, &mb), 0x44u);
    EXPECT_EQ(m.takeConsole(), "Failed IssueMbox4\n");
    EXPECT_EQ(g_mboxLastFailure.command, MBX_READ_REV);
}

} // namespace
