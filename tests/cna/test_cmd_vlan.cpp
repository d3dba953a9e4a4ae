// readvlanprops, writevlanprops and restoredefvlanprops on the simulated
// machine: the value ranges (with values that overflow 32 bits), the NEXA
// failure, and settings that a new process reads back.
#include <string>

#include "hbaset/cna/cna_ops.h"
#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;
using cnatest::nexaFault;

TEST(Vlan, WriteRanges) {
    const struct {
        const char* id;
        const char* priority;
        int32_t status;
        const char* output;
    } cases[] = {
        {"4095", "7", CLU_OK, ""},
        {"0", "0", CLU_OK, ""},
        {"4096", "0", CLU_INPUT_VALUE, "VLAN ID 4096 is invalid. Valid range is [0-4095].\n"},
        {"0", "8", CLU_INPUT_VALUE, "VLAN Priority 8 is invalid. Valid range is [0-7].\n"},
        // 2^32 must not wrap to 0.
        {"4294967296", "0", CLU_INPUT_VALUE,
         "VLAN ID 4294967295 is invalid. Valid range is [0-4095].\n"},
        {"1", "4294967303", CLU_INPUT_VALUE,
         "VLAN Priority 4294967295 is invalid. Valid range is [0-7].\n"},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + "/" + c.priority);
        EXPECT_EQ(m.run({"writevlanprops", "n=7", std::string("i=") + c.id,
                         std::string("p=") + c.priority}),
                  c.status);
        EXPECT_EQ(m.take(), c.output);
    }
}

TEST(Vlan, ReadShowsNotAvailableUntilSetAndNewProcessesSeeWrites) {
    Machine m;
    EXPECT_EQ(m.run({"readvlanprops", "n=11"}), CLU_OK);
    EXPECT_EQ(m.take(), "VLAN Id       : N/A\nVLAN Priority : N/A\n");
    EXPECT_EQ(m.run({"writevlanprops", "n=11", "i=100", "p=5"}), CLU_OK);
    hbatest::RunResult r = cnatest::hbaset({"readvlanprops", "n=11"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("VLAN Id       : 100\nVLAN Priority : 5\n"), std::string::npos) << r.out;

    EXPECT_EQ(m.run({"restoredefvlanprops", "n=11"}), CLU_OK);
    m.restart();
    EXPECT_EQ(m.run({"readvlanprops", "n=11"}), CLU_OK);
    EXPECT_EQ(m.take(), "VLAN Id       : 0\nVLAN Priority : 0\n");
}

TEST(Vlan, NexaFailuresAndNoNexa) {
    Machine m;
    nexaFault("do_action:ConfigureVLAN", "rc=1");
    EXPECT_EQ(m.run({"writevlanprops", "n=7", "i=1", "p=1"}), CLU_NIC_SETTING_FAILED);
    EXPECT_EQ(m.run({"restoredefvlanprops", "n=7"}), CLU_NIC_SETTING_FAILED);
    g_run.nexaUp = false;
    for (const char* cmd : {"readvlanprops", "restoredefvlanprops", "readmac", "restoredefsvmac"}) {
        SCOPED_TRACE(cmd);
        m.take();
        EXPECT_EQ(m.run({cmd, "n=7"}), CLU_NEXA_NOT_AVAILABLE);
        EXPECT_EQ(m.take(), "NEXA not available\n");
    }
}

} // namespace
