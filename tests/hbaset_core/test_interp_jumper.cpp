// jumper and reset on a simulated FC board: the wakeup control word's
// bits 0-4 and nothing else change, the change survives into another process,
// and resets report per adapter.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/wakeup.h"
#include "sim/core/sim_model.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using hbatest::HbasetMachine;

// Region 4 whose words are distinct and whose control word (bytes 8-11) is
// the one given.
std::string fleet(uint32_t control, int functions = 1) {
    std::string hex;
    char b[3];
    for (uint32_t i = 0; i < 15; ++i) {
        uint32_t w = i == 2 ? control : 0x01000000u * (i + 1) + i;
        for (int k = 0; k < 4; ++k) {
            snprintf(b, sizeof b, "%02X", (w >> (8 * k)) & 0xFF);
            hex += b;
        }
    }
    std::string text = "adapter F1 fc\n";
    for (int f = 0; f < functions; ++f)
        text += "function fc region_4 = " + hex + "\n";
    return text;
}

int32_t run(const std::vector<std::string>& args) {
    std::vector<const char*> p;
    for (const std::string& a : args)
        p.push_back(a.c_str());
    return runCommand(setTokens(p.data(), static_cast<int>(p.size())));
}

uint32_t controlWord() {
    WakeupParms p;
    EXPECT_EQ(ReadWakeupParms(0, &p), 0u);
    return p.control;
}

TEST(InterpJumper, OnlyBitsZeroToFourChange) {
    struct Case {
        uint32_t control;
        const char* selection;
        const char* region; // null: no r=
        uint32_t expect;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, "s=0", nullptr, 0xFFFFFFE0u}, {0xFFFFFFFFu, "s=1", nullptr, 0xFFFFFFF0u},
        {0xFFFFFFFFu, "s=2", "r=6", 0xFFFFFFEDu},   {0xFFFFFFFFu, "s=2", "r=7", 0xFFFFFFEFu},
        {0x00000000u, "s=0", nullptr, 0x00000000u}, {0x00000000u, "s=1", nullptr, 0x00000010u},
        {0x00000000u, "s=2", "r=6", 0x0000000Du},   {0x00000000u, "s=2", "r=7", 0x0000000Fu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.control) + " " + c.selection);
        HbasetMachine m(fleet(c.control));
        WakeupParms before;
        ASSERT_EQ(ReadWakeupParms(0, &before), 0u);
        std::vector<std::string> args = {"jumper", "n=1", c.selection};
        if (c.region) args.push_back(c.region);
        EXPECT_EQ(run(args), 0);
        EXPECT_EQ(m.takeConsole(), "");
        WakeupParms after;
        ASSERT_EQ(ReadWakeupParms(0, &after), 0u);
        EXPECT_EQ(after.control, c.expect);
        after.control = before.control;
        EXPECT_EQ(memcmp(&after, &before, sizeof before), 0);
    }
}

TEST(InterpJumper, FailuresReportTheirStatus) {
    HbasetMachine m(fleet(0));
    hbasim::fault_add({"drv", "*", -1, 0, "status=1", -1});
    EXPECT_EQ(run({"jumper", "n=1", "s=1"}), CLU_WAKEUP_READ);
    EXPECT_EQ(m.takeConsole().rfind("Read Wakeup Parameters Error: ", 0), 0u);
    hbasim::fault_clear();
}

// Reads region 4 in a process of its own and prints its control word.
TEST(InterpJumperSecondProcess, Helper) {
    if (hbatest::secondProcessRequest().empty()) GTEST_SKIP() << "runs only as a second process";
    HbasetMachine m{hbatest::AttachExisting{}};
    std::printf("CONTROL=%08X\n", controlWord());
}

TEST(InterpJumperSecondProcess, ChangeIsPersisted) {
    HbasetMachine m(fleet(0xFFFFFFFFu));
    ASSERT_EQ(run({"jumper", "n=1", "s=2", "r=6"}), 0);
    hbatest::RunResult r = hbatest::runSecondProcess("InterpJumperSecondProcess.Helper", "region4");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("CONTROL=FFFFFFED\n"), std::string::npos) << r.out;
}

TEST(InterpReset, OneAndAllAdapters) {
    HbasetMachine m(fleet(0, 2));
    ASSERT_EQ(m.boards(), 2u);
    EXPECT_EQ(run({"reset", "n=2"}), 0);
    EXPECT_EQ(m.takeConsole(), "Reset Adapter 2 Completed\n");
    EXPECT_EQ(run({"reset", "n=all"}), 0);
    EXPECT_EQ(m.takeConsole(), "Reset Adapter 1 Completed\nReset Adapter 2 Completed\n");

    hbasim::fault_add({"drv", "0x80000127", -1, 0, "fail", -1});
    EXPECT_EQ(run({"reset", "n=1"}), CLU_RESET_FAILED);
    EXPECT_EQ(m.takeConsole().rfind("Reset Adapter 1 failed Status ", 0), 0u);
    EXPECT_EQ(run({"reset", "n=ALL"}), CLU_RESET_FAILED);
    EXPECT_EQ(m.takeConsole(), "Reset Adapter 1 failed\n");
    hbasim::fault_clear();
}

} // namespace
