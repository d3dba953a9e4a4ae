// Config region reads and writes on a classic board: mailbox-sized pieces,
// misaligned offsets, short regions, adapters that report more than they send,
// the single-request forms and their statuses, and region reconstruction.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/rm_status.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_classic/classic_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

constexpr uint8_t kCanary = 0xC5;

std::string regionKeys() {
    return "region_4 = " + classic::hex(classic::pattern(60, 0x10)) +
           " region_10 = " + classic::hex(classic::pattern(256, 0x80));
}

struct ChunkCase {
    const char* name;
    uint32_t region;
    uint32_t offset;
    uint32_t length;
    uint32_t overreport;
    uint32_t expectRead;
    std::vector<std::string> requests;
};

class ClassicDumpRegion : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ClassicDumpRegion, ReadsPiecesAndCopiesOnlyWhatWasAsked) {
    const ChunkCase& c = GetParam();
    std::string keys = regionKeys();
    if (c.overreport) keys += " dump_overreport = " + std::to_string(c.overreport);
    HbasetMachine m(classic::fleet(keys));
    ASSERT_EQ(m.boards(), 1u);

    std::vector<uint8_t> buf(c.length + 16, kCanary);
    uint32_t length = c.length;
    ASSERT_EQ(DumpConfigRegion(0, c.region, c.offset, &length, buf.data()), 0u);
    EXPECT_EQ(length, c.expectRead);
    std::vector<uint8_t> region =
        c.region == 4 ? classic::pattern(60, 0x10) : classic::pattern(256, 0x80);
    for (uint32_t i = 0; i < c.expectRead; ++i)
        ASSERT_EQ(buf[i], region[c.offset + i]) << "byte " << i;
    for (size_t i = c.expectRead; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], kCanary) << "written past the bytes read at " << i;
    EXPECT_EQ(m.journal(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicDumpRegion,
    ::testing::Values(
        ChunkCase{"Whole", 4, 0, 60, 0, 60, {"DUMP type=2 region=4 off=0 words=15"}},
        ChunkCase{"MisalignedBy1", 4, 1, 10, 0, 10, {"DUMP type=2 region=4 off=0 words=3"}},
        ChunkCase{"MisalignedBy3", 4, 7, 5, 0, 5, {"DUMP type=2 region=4 off=4 words=2"}},
        ChunkCase{
            "RegionShorterThanAsked", 4, 52, 40, 0, 8, {"DUMP type=2 region=4 off=52 words=10"}},
        ChunkCase{
            "TwoPieces",
            10,
            0,
            200,
            0,
            200,
            {"DUMP type=2 region=10 off=0 words=27", "DUMP type=2 region=10 off=108 words=23"}},
        ChunkCase{
            "MisalignedPieces",
            10,
            2,
            120,
            0,
            120,
            {"DUMP type=2 region=10 off=0 words=27", "DUMP type=2 region=10 off=108 words=4"}},
        ChunkCase{
            "EndsInSecondPiece",
            10,
            140,
            200,
            0,
            116,
            {"DUMP type=2 region=10 off=140 words=27", "DUMP type=2 region=10 off=248 words=23"}},
        ChunkCase{"AdapterReportsMore", 4, 0, 20, 40, 20, {"DUMP type=2 region=4 off=0 words=5"}},
        ChunkCase{"AdapterReportsMoreMisaligned",
                  4,
                  3,
                  9,
                  40,
                  9,
                  {"DUMP type=2 region=4 off=0 words=3"}}),
    [](const ::testing::TestParamInfo<ChunkCase>& i) { return std::string(i.param.name); });

TEST(ClassicDumpRegionStatus, UnknownRegionEndsTheReadWithTheAdapterStatus) {
    HbasetMachine m(classic::fleet("region_state = \"8=uninit\""));
    uint8_t buf[16];
    uint32_t length = sizeof buf;
    EXPECT_EQ(DumpConfigRegion(0, 20, 0, &length, buf), MBXS_NO_ENTRY);
    EXPECT_EQ(length, 0u);
    length = sizeof buf;
    EXPECT_EQ(DumpConfigRegion(0, 8, 0, &length, buf), MBXS_NOT_INITIALIZED);
}

struct ExCase {
    const char* name;
    const char* keys;
    uint32_t region;
    uint32_t length;
    uint32_t expect;
    uint32_t expectRead;
    size_t requests; // a refused read is tried three times
};

class ClassicDumpRegionEx : public ::testing::TestWithParam<ExCase> {};

TEST_P(ClassicDumpRegionEx, MapsStatusesAndBoundsTheCopy) {
    const ExCase& c = GetParam();
    HbasetMachine m(classic::fleet(c.keys));
    std::vector<uint8_t> buf(1100, kCanary);
    uint32_t out = 12345;
    EXPECT_EQ(DumpConfigRegionEx(0, c.region, c.length, &out, buf.data()), c.expect);
    EXPECT_EQ(out, c.expectRead);
    for (size_t i = c.expectRead; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], kCanary) << i;
    EXPECT_EQ(m.journal().size(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicDumpRegionEx,
    ::testing::Values(ExCase{"Read", "", 8, 60, 0, 60, 1},
                      ExCase{"ShorterRegion", "", 9, 100, 0, 88, 1},
                      ExCase{"AdapterReportsMore", "dump_overreport = 12", 8, 60, 0, 60, 1},
                      ExCase{"Invalid", "region_state = \"8=invalid\"", 8, 60, 217, 0, 3},
                      ExCase{"Uninitialised", "region_state = \"8=uninit\"", 8, 60, 217, 0, 3},
                      ExCase{"UnknownRegion", "", 21, 60, 217, 0, 3},
                      ExCase{"BadRegion", "region_state = \"8=bad\"", 8, 60, 2, 0, 3},
                      ExCase{"AboveTheBuffer", "", 8, 1001, 1, 0, 0}),
    [](const ::testing::TestParamInfo<ExCase>& i) { return std::string(i.param.name); });

TEST(ClassicUpdateRegionEx, WritesReadsBackAndRefusesWithoutRetry) {
    HbasetMachine m(classic::fleet());
    std::vector<uint8_t> data = classic::pattern(60, 0x40);
    EXPECT_EQ(UpdateConfigRegionEx(0, 8, 60, data.data()), 0u);
    uint8_t back[60];
    uint32_t n = 0;
    ASSERT_EQ(ReadConfigRegion8(0, back, &n), 0u);
    EXPECT_EQ(n, 60u);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 60), data);

    // Region 9 holds 88 bytes: a 256-byte write needs a re-initialised region,
    // which is reported (218) and not retried here.
    m.clearJournal();
    std::vector<uint8_t> big(256, 1);
    EXPECT_EQ(UpdateConfigRegionEx(0, 9, 256, big.data()), RM_STATUS_REGION_REINIT);
    EXPECT_EQ(m.journal(), std::vector<std::string>{"UPDATE_CFG type=2 region=9 len=256"});

    m.clearJournal();
    std::vector<uint8_t> huge(1001, 0);
    EXPECT_EQ(UpdateConfigRegionEx(0, 9, 1001, huge.data()), RM_STATUS_ERROR);
    EXPECT_TRUE(m.journal().empty());
}

TEST(ClassicOpenBootRegion, WordsAreReversedBothWays) {
    HbasetMachine m(classic::fleet("region_8 = " + classic::hex(classic::pattern(40))));
    uint8_t record[40];
    std::memcpy(record, "OPEN", 4);
    for (int i = 4; i < 40; ++i)
        record[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(WriteConfigRegion8OpenBoot(0, record), 0u);
    // Region 8 itself holds big-endian words.
    uint8_t raw[40];
    uint32_t n = 0;
    ASSERT_EQ(DumpConfigRegionEx(0, 8, 40, &n, raw), 0u);
    EXPECT_EQ(std::memcmp(raw, "NEPO", 4), 0);
    EXPECT_EQ(raw[4], 7);
    uint8_t back[40];
    ASSERT_EQ(ReadConfigRegion8OpenBoot(0, back, &n), 0u);
    EXPECT_EQ(std::memcmp(back, record, 40), 0);
}

struct LayoutCase {
    const char* name;
    const char* layout;
    uint32_t expect;
    std::vector<std::string> requests;
};

class ClassicReconstruct : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ClassicReconstruct, ClearsTheSlotOfTheLayoutOrStops) {
    const LayoutCase& c = GetParam();
    HbasetMachine m(classic::fleet(std::string("flash_layout = ") + c.layout));
    EXPECT_EQ(ReconstructRegion(0, 8, 60), c.expect);
    EXPECT_EQ(m.journal(), c.requests);
    EXPECT_EQ(m.takeConsole(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicReconstruct,
    ::testing::Values(
        LayoutCase{"LayoutA",
                   "0x20000",
                   0,
                   {"DUMP type=1 addr=0x79C words=1", "DUMP type=1 addr=0x1000 words=6",
                    "LOAD_SM key=0x1234562A addr=0x78000 data=0x00000000", "UPDATE_CFG type=3",
                    "UPDATE_CFG type=1 region=8 len=60"}},
        LayoutCase{"LayoutB",
                   "0x40004",
                   0,
                   {"DUMP type=1 addr=0x79C words=1", "DUMP type=1 addr=0x1000 words=6",
                    "LOAD_SM key=0x1234562A addr=0x1E8000 data=0x00000000", "UPDATE_CFG type=3",
                    "UPDATE_CFG type=1 region=8 len=60"}},
        LayoutCase{"UnknownLayoutWritesNothing",
                   "0x30000",
                   200,
                   {"DUMP type=1 addr=0x79C words=1", "DUMP type=1 addr=0x1000 words=6"}}),
    [](const ::testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

TEST(ClassicReconstruct, FailingStepIsNamedAndStops) {
    HbasetMachine m(classic::fleet());
    hbasim::fault_add({"mbx", "LOAD_SM", -1, 0, "status=0x1234", -1});
    EXPECT_EQ(ReconstructRegion(0, 8, 60), 0x1234u);
    EXPECT_EQ(m.takeConsole(), "\n[ReconstructRegion] - Region 8 - IssueMbox1 v3 1234\n");
    EXPECT_EQ(hbatest::countLines(m.journal(), "UPDATE_CFG"), 0u);
}

// ---- region 0 --------------------------------------------------------------------

const char* kIeee = "factory_wwn = 10:00:00:11:22:33:44:55";

TEST(ClassicRegion0, DefaultImageUsesHostWordsAndIsWrittenBack) {
    HbasetMachine m(classic::fleet(kIeee));
    uint8_t image[20];
    ASSERT_EQ(CLU_InitConfigRegion0Data(0, image), 0u);
    const uint8_t expect[20] = {0x11, 0x00, 0x00, 0x10, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00,
                                0x00, 0x20, 0x55, 0x44, 0x33, 0x22, 0,    0,    0,    0};
    EXPECT_EQ(std::memcmp(image, expect, 20), 0);
    ASSERT_EQ(CLU_WriteConfigRegion0(0, image), 0u);
    MboxBuf mb;
    ASSERT_EQ(Read_NVPARMS(0, &mb, READ_NV_NONVOLATILE), 0u);
    NvParms nv = nvParmsFromMbox(mb);
    EXPECT_EQ(nv.wwpn[0], 0x10000011u);
    EXPECT_EQ(nv.wwpn[1], 0x22334455u);
    EXPECT_EQ(nv.wwnn[0], 0x20000011u);
}

TEST(ClassicRegion0, ZeroFactoryAddressIsNeverWritten) {
    // Region 16 cannot be read, so the table holds no factory address.
    HbasetMachine m(classic::fleet("region_state = \"16=invalid\""));
    uint8_t image[20];
    std::memset(image, 0xAA, sizeof image);
    EXPECT_NE(CLU_InitConfigRegion0Data(0, image), 0u);
    for (uint8_t b : image)
        EXPECT_EQ(b, 0);
    EXPECT_TRUE(m.journal().empty());
}

struct Region0Case {
    const char* name;
    const char* keys;
    int writeFaults; // WRITE_NV answered 0xFFF7 this many times (three tries per write)
    uint32_t expect;
    size_t writes;
    size_t slotClears;
};

class ClassicWriteRegion0 : public ::testing::TestWithParam<Region0Case> {};

TEST_P(ClassicWriteRegion0, RejectedWriteReconstructsOnceAndRetries) {
    const Region0Case& c = GetParam();
    HbasetMachine m(classic::fleet(std::string(kIeee) + " " + c.keys));
    if (c.writeFaults)
        hbasim::fault_add({"mbx", "WRITE_NV", -1, 0, "status=0xFFF7", c.writeFaults});
    uint8_t image[20];
    ASSERT_EQ(CLU_InitConfigRegion0Data(0, image), 0u);
    m.clearJournal();
    EXPECT_EQ(CLU_WriteConfigRegion0(0, image), c.expect);
    auto j = m.journal();
    EXPECT_EQ(hbatest::countLines(j, "WRITE_NV"), c.writes);
    EXPECT_EQ(hbatest::countLines(j, "LOAD_SM key=0x68AC002A addr=0x70000"), c.slotClears);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicWriteRegion0,
    ::testing::Values(Region0Case{"Accepted", "", 0, 0, 1, 0},
                      Region0Case{"InvalidRegion", "region_state = \"0=invalid\"", 0, 0, 4, 1},
                      Region0Case{"RejectedTwice", "", 6, 217, 6, 1},
                      Region0Case{"UnknownLayout", "region_state = \"0=invalid\" flash_layout = 7",
                                  0, 219, 3, 0}),
    [](const ::testing::TestParamInfo<Region0Case>& i) { return std::string(i.param.name); });

TEST(ClassicWriteRegion0, FailingRebuildStepPrintsItsNumber) {
    HbasetMachine m(classic::fleet(std::string(kIeee) + " region_state = \"0=invalid\""));
    hbasim::fault_add({"mbx", "LOAD_SM", -1, 0, "status=0x66", -1});
    uint8_t image[20];
    ASSERT_EQ(CLU_InitConfigRegion0Data(0, image), 0u);
    EXPECT_EQ(CLU_WriteConfigRegion0(0, image), 0x66u);
    EXPECT_EQ(m.takeConsole(), "3\n");
    EXPECT_EQ(hbatest::countLines(m.journal(), "UPDATE_CFG"), 0u);
}

} // namespace
