// personalityinfo and changepersonality on the simulated machine: the
// listing, the change and its cases, bounded names, and NEXA failures.
#include <string>

#include "hbaset/cna/cna_ops.h"
#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;
using cnatest::nexaFault;

int actionsRun(const std::string& action) {
    int n = 0;
    for (const std::string& l : hbasim::journal_lines())
        if (l.find("do_action") != std::string::npos && l.find(action) != std::string::npos) ++n;
    return n;
}

TEST(Personality, InfoListsCurrentConfiguredAndAvailable) {
    Machine m;
    EXPECT_EQ(m.run({"personalityinfo", "n=7"}), CLU_OK);
    EXPECT_EQ(m.take(), "Current Personality:  FCoE\n"
                        "Configured Personality:  FCoE\n"
                        "Available Personalities:  \nNIC\niSCSI\nFCoE\n");
}

TEST(Personality, ChangeCases) {
    const struct {
        const char* name;
        int32_t status;
        const char* output;
        int actions; // SetPersonality actions run
    } cases[] = {
        {"FCoE", CLU_OK, "Selected Personality is the same as Current Personality\n", 0},
        {"Storage", CLU_PERSONALITY_CHANGE,
         "Selected Personality is invalid or not allowed to change\n"
         "Available Personalities:  \nNIC\niSCSI\nFCoE\n",
         0},
        {"nic", CLU_PERSONALITY_CHANGE,
         "Selected Personality is invalid or not allowed to change\n"
         "Available Personalities:  \nNIC\niSCSI\nFCoE\n",
         0},
        {"iSCSI", CLU_OK, "Please REBOOT the system now to activate the Personality change\n", 1},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::journal_clear();
        EXPECT_EQ(m.run({"changepersonality", "n=8", std::string("p=") + c.name}), c.status);
        EXPECT_EQ(m.take(), c.output);
        EXPECT_EQ(actionsRun("SetPersonality"), c.actions);
    }
    // Configured at once, current after a reboot.
    EXPECT_EQ(m.run({"personalityinfo", "n=5"}), CLU_OK);
    EXPECT_NE(m.take().find("Current Personality:  FCoE\nConfigured Personality:  iSCSI\n"),
              std::string::npos);
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    m.restart();
    EXPECT_EQ(m.run({"personalityinfo", "n=7"}), CLU_OK);
    EXPECT_NE(m.take().find("Current Personality:  iSCSI\nConfigured Personality:  iSCSI\n"),
              std::string::npos);
}

TEST(Personality, NexaFailures) {
    const struct {
        const char* call;
        const char* action;
        std::vector<std::string> args;
        int32_t status;
        const char* output;
    } cases[] = {
        {"get_property_val:AvailablePersonalities",
         "rc=176",
         {"personalityinfo", "n=7"},
         CLU_PERSONALITY_READ,
         "Get Personality Info fails\n"},
        {"get_property_val:ConfiguredPersonality",
         "rc=177",
         {"changepersonality", "n=7", "p=NIC"},
         CLU_PERSONALITY_READ,
         "Get Personality Info fails\n"},
        {"get_node_tag:Personality",
         "rc=1",
         {"personalityinfo", "n=7"},
         CLU_PERSONALITY_READ,
         "Get Personality Info fails\n"},
        {"do_action:SetPersonality",
         "rc=151",
         {"changepersonality", "n=7", "p=NIC"},
         CLU_PERSONALITY_CHANGE,
         "Fail to change personality, error 140\n"},
        {"do_action:SetPersonality",
         "rc=6",
         {"changepersonality", "n=7", "p=NIC"},
         CLU_PERSONALITY_CHANGE,
         "Fail to change personality, error 140\n"},
        {"do_action:SetPersonality",
         "rc=99",
         {"changepersonality", "n=7", "p=NIC"},
         CLU_PERSONALITY_CHANGE,
         "Fail to change personality, error 72\n"},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " " + c.action);
        hbasim::fault_clear();
        nexaFault(c.call, c.action, 2); // the CV3 adapter
        EXPECT_EQ(m.run(c.args), c.status);
        EXPECT_EQ(m.take(), c.output);
    }
    Machine without("", {"/nonexa"});
    EXPECT_EQ(without.run({"personalityinfo", "n=5"}), CLU_NEXA_NOT_AVAILABLE);
    EXPECT_EQ(without.take(), "NEXA not available\n");
}

TEST(Personality, NamesAndListAreBounded) {
    std::string list = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int k = 0; k < 50; ++k)
        list += "/P" + std::to_string(k);
    Machine m("adapter C cv3\n    available_personalities = " + list +
              "\n    personality = P1\nfunction nic\n");
    EXPECT_EQ(m.run({"personalityinfo", "n=1"}), CLU_OK);
    std::string out = m.take();
    EXPECT_NE(out.find("\nABCDEFGHIJKLMNOPQRST\nP0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nP46\n"), std::string::npos) << "the 48th name";
    EXPECT_EQ(out.find("P47"), std::string::npos) << "names after the 48th are ignored";
    // A name past the 48th is not available.
    EXPECT_EQ(m.run({"changepersonality", "n=1", "p=P48"}), CLU_PERSONALITY_CHANGE);
}

} // namespace
