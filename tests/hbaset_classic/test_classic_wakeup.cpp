// Wakeup parameters and the expansion ROM load on a classic board.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/wakeup.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_classic/classic_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

// Region 4 with distinct words: word i = 0x01000000 * (i + 1) + i.
std::vector<uint8_t> wakeupBytes() {
    std::vector<uint8_t> b(60);
    for (uint32_t i = 0; i < 15; ++i)
        putLe32(b.data() + 4 * i, 0x01000000u * (i + 1) + i);
    return b;
}

std::string wakeupFleet(const std::string& more = "") {
    return classic::fleet("region_4 = " + classic::hex(wakeupBytes()) + " " + more);
}

TEST(ClassicWakeup, ReadDecodesEveryField) {
    HbasetMachine m(wakeupFleet());
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    EXPECT_EQ(p.init.w0, 0x01000000u);
    EXPECT_EQ(p.control, 0x03000002u);
    EXPECT_EQ(p.bootBios.w1, 0x05000004u);
    EXPECT_EQ(p.sli4.w0, 0x0C00000Bu);
    EXPECT_EQ(p.expRom.w1, 0x0F00000Eu);
    uint8_t back[60];
    encodeWakeupParms(p, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 60), wakeupBytes());
}

TEST(ClassicWakeup, ShortRegionIsAFailure) {
    HbasetMachine m(classic::fleet("region_4 = " + classic::hex(classic::pattern(40))));
    WakeupParms p;
    EXPECT_EQ(ReadWakeupParms(0, &p), RM_STATUS_ERROR);
}

TEST(ClassicWakeup, UpdateWritesAndFailureIsRecorded) {
    HbasetMachine m(wakeupFleet());
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    p.control = 0x11;
    m.clearJournal();
    ASSERT_EQ(UpdateWakeupParms(0, p), 0u);
    EXPECT_EQ(m.journal(), std::vector<std::string>{"UPDATE_CFG type=2 region=4 len=60"});
    WakeupParms q;
    ASSERT_EQ(ReadWakeupParms(0, &q), 0u);
    EXPECT_EQ(q.control, 0x11u);

    hbasim::fault_add({"mbx", "UPDATE_CFG", -1, 0, "status=0x9", -1});
    EXPECT_EQ(UpdateWakeupParmsBoot(0, p), RM_STATUS_WAKEUP_FAILED);
    EXPECT_EQ(g_mboxLastFailure.command, MBX_UPDATE_CFG);
    EXPECT_EQ(g_mboxLastFailure.status, 9u);
}

struct SlotCase {
    uint32_t type;
    uint32_t expect;
    int wordOffset; // word of the slot, -1 when nothing is written
};

class ClassicWakeupProgram : public ::testing::TestWithParam<SlotCase> {};

TEST_P(ClassicWakeupProgram, PutsTheProgramIntoTheSlotOfItsType) {
    const SlotCase& c = GetParam();
    HbasetMachine m(wakeupFleet());
    ProgramId pid{(c.type << 24) | 0x00A1B2, 0x77};
    EXPECT_EQ(UpdateWakeupParmsProgram(0, pid, false), c.expect);
    auto j = m.journal();
    EXPECT_EQ(hbatest::countLines(j, "UPDATE_CFG"), c.wordOffset < 0 ? 0u : 1u);
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    uint8_t raw[60];
    encodeWakeupParms(p, raw);
    std::vector<uint8_t> expect = wakeupBytes();
    if (c.wordOffset >= 0) {
        putLe32(expect.data() + 4 * c.wordOffset, pid.w0);
        putLe32(expect.data() + 4 * c.wordOffset + 4, pid.w1);
    }
    EXPECT_EQ(std::vector<uint8_t>(raw, raw + 60), expect);
}

INSTANTIATE_TEST_SUITE_P(Types, ClassicWakeupProgram,
                         ::testing::Values(SlotCase{2, 0, 0}, SlotCase{3, 0, 3}, SlotCase{6, 0, 5},
                                           SlotCase{7, 0, 7}, SlotCase{11, 0, 9},
                                           SlotCase{14, 0, 11},
                                           SlotCase{5, RM_STATUS_NO_WAKEUP_SLOT, -1}),
                         [](const ::testing::TestParamInfo<SlotCase>& i) {
                             return "Type" + std::to_string(i.param.type);
                         });

TEST(ClassicWakeupProgram, BootProgramAlsoLoadsTheExpansionRom) {
    HbasetMachine m(wakeupFleet());
    ProgramId pid{0x03A10163, 0};
    ASSERT_EQ(UpdateWakeupParmsProgram(0, pid, true), 0u);
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    EXPECT_TRUE(p.bootBios == pid);
    EXPECT_TRUE(p.expRom == pid);
    auto j = m.journal();
    EXPECT_EQ(hbatest::countLines(j, "LOAD_EXP_ROM"), 4u);
    EXPECT_EQ(hbatest::countLines(j, "UPDATE_CFG"), 1u);
}

TEST(ClassicWakeupProgram, UnreadableParametersAreReported) {
    HbasetMachine m(classic::fleet("region_state = \"4=invalid\""));
    EXPECT_EQ(UpdateWakeupParmsProgram(0, ProgramId{0x02000001, 0}, false),
              RM_STATUS_WAKEUP_FAILED);
    EXPECT_EQ(m.takeConsole(), "Read fails  \n");
}

struct ExpRomCase {
    const char* name;
    const char* keys;
    bool skipUpdate;
    uint32_t expect;
    std::vector<uint32_t> steps; // steps sent, in order
    size_t writes;
};

class ClassicExpansionRom : public ::testing::TestWithParam<ExpRomCase> {};

TEST_P(ClassicExpansionRom, StepsThroughTheProgressTheAdapterReports) {
    const ExpRomCase& c = GetParam();
    HbasetMachine m(wakeupFleet(c.keys));
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    p.expRom = ProgramId{0x03A10163, 0x5};
    m.clearJournal();
    EXPECT_EQ(LoadExpansionRom(0, p, c.skipUpdate), c.expect);
    std::vector<uint32_t> steps;
    for (const std::string& l : m.journal())
        if (l.rfind("LOAD_EXP_ROM step=", 0) == 0) steps.push_back(std::stoul(l.substr(18)));
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(hbatest::countLines(m.journal(), "UPDATE_CFG"), c.writes);
}

std::vector<uint32_t> stuck() {
    std::vector<uint32_t> s{8};
    s.insert(s.end(), 64, 9);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicExpansionRom,
    ::testing::Values(
        ExpRomCase{"AlreadyLoaded", "exprom_loaded = 0x03A10163", false, 0, {8}, 1},
        ExpRomCase{"FullSequence", "", false, 0, {8, 9, 10, 10}, 1},
        ExpRomCase{"SkipUpdate", "", true, 0, {8, 9, 10, 10}, 0},
        ExpRomCase{"SlowFinish", "exprom_finish_polls = 3", false, 0, {8, 9, 10, 10, 10, 10}, 1},
        ExpRomCase{"UnexpectedFirstValue",
                   "exprom_progress = 0x42",
                   false,
                   RM_STATUS_EXPROM_PROGRESS,
                   {8},
                   0},
        ExpRomCase{"NoProgressIsBounded", "exprom_progress = 8", false, RM_STATUS_EXPROM_PROGRESS,
                   stuck(), 0}),
    [](const ::testing::TestParamInfo<ExpRomCase>& i) { return std::string(i.param.name); });

TEST(ClassicExpansionRom, FailingStepIsReturnedAndRecorded) {
    HbasetMachine m(wakeupFleet());
    // The second step fails on both tries.
    hbasim::fault_add({"mbx", "LOAD_EXP_ROM", -1, 2, "status=0x31", -1});
    hbasim::fault_add({"mbx", "LOAD_EXP_ROM", -1, 3, "status=0x31", -1});
    WakeupParms p;
    ASSERT_EQ(ReadWakeupParms(0, &p), 0u);
    EXPECT_EQ(LoadExpansionRom(0, p, false), 0x31u);
    EXPECT_EQ(g_mboxLastFailure.command, MBX_LOAD_EXP_ROM);
}

} // namespace
