// Port state: driver type, persistent link down, enabling a port that is held
// down, and the local loopback step before a download.
#include <gtest/gtest.h>

#include <string>

#include "hbaset/fcmaint/port_state.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using hbatest::HbasetMachine;

const char* kReturnInfo = "0x80000100"; // the link information request

size_t driverRequests(const std::string& name) {
    size_t n = 0;
    for (const std::string& line : hbasim::journal_lines())
        if (line.rfind("drv ", 0) == 0 && line.find(" " + name + " ") != std::string::npos) n++;
    return n;
}

struct DriverTypeCase {
    const char* keys;
    uint32_t status;
    uint32_t type;
    const char* output;
};

TEST(GetDriverType, RefinedBySubType) {
    const DriverTypeCase cases[] = {
        {"", 0, 11, "GetDriverType: DriverType=0000000B\n"},
        {"drv_type = 1", 0, 10, "GetDriverType: DriverType=0000000A\n"},
        {"drv_type = 2", 0, 12, "GetDriverType: DriverType=0000000C\n"},
        {"drv_type = 9", 0, 2, "GetDriverType: DriverType=00000002\n"},
    };
    for (const DriverTypeCase& c : cases) {
        HbasetMachine m(std::string("adapter A fc\nfunction fc ") + c.keys + "\n");
        m.takeConsole();
        uint32_t type = 0xEEEE;
        EXPECT_EQ(GetDriverType(0, &type), c.status) << c.keys;
        EXPECT_EQ(type, c.type) << c.keys;
        EXPECT_EQ(m.takeConsole(), c.output) << c.keys;
    }
}

// Persistent link down written to the registry only: the driver request that
// applies it at once fails, so the link stays as it was until a reset.
void configureInRegistryOnly() {
    hbasim::fault_add({"drv", "0x80000116", -1, 0, "fail", 1});
    TGX_SetPersistLinkDown(0, 1);
}

TEST(PersistLinkDown, ConfigurationAndLinkState) {
    HbasetMachine m("adapter A fc\nfunction fc\n");
    uint32_t configured = 9;
    ASSERT_EQ(CLU_GetPersistLinkDownCfg(0, &configured), 0u);
    EXPECT_EQ(configured, 0u);
    uint32_t state = 0;
    ASSERT_EQ(CLU_GetLinkInfo(0, &state), 0u);
    EXPECT_EQ(state, TGX_LNK_UP);

    ASSERT_EQ(TGX_SetPersistLinkDown(0, 1), 0u);
    ASSERT_EQ(CLU_GetPersistLinkDownCfg(0, &configured), 0u);
    EXPECT_EQ(configured, 1u);
    ASSERT_EQ(CLU_GetLinkInfo(0, &state), 0u);
    EXPECT_EQ(state, TGX_LNK_DOWN_PERSIST);

    EXPECT_EQ(CLU_GetPersistLinkDownCfg(7, &configured), 3u); // no such board
    EXPECT_EQ(CLU_GetLinkInfo(7, &state), 1u);
}

enum Setup { NOT_CONFIGURED, REGISTRY_ONLY, APPLIED };

struct EnableCase {
    const char* name;
    const char* keys;
    Setup setup;
    uint32_t status;
    size_t resets; // resets made by the call
    const char* output;
};

TEST(EnableAdapterPort, Paths) {
    const EnableCase cases[] = {
        {"not configured", "", NOT_CONFIGURED, 0, 0, ""},
        {"configured, not yet in force", "", REGISTRY_ONLY, 0, 2, ""},
        {"in force", "", APPLIED, 0, 1,
         "CLU_EnableAdapterPort: Persistent LinkDown feature is enabled\n"},
        {"feature missing", "feature_list = 0x1000", REGISTRY_ONLY, 91, 1,
         "CLU_EnableAdapterPort: Feature not supported status 0\n"},
    };
    for (const EnableCase& c : cases) {
        HbasetMachine m(std::string("adapter A fc\nfunction fc ") + c.keys + "\n");
        if (c.setup == REGISTRY_ONLY) configureInRegistryOnly();
        if (c.setup == APPLIED) {
            ASSERT_EQ(TGX_SetPersistLinkDown(0, 1), 0u) << c.name;
        }
        hbasim::journal_clear();
        m.takeConsole();
        EXPECT_EQ(CLU_EnableAdapterPort(0), c.status) << c.name;
        EXPECT_EQ(driverRequests("RESET_ADAPTER"), c.resets) << c.name;
        EXPECT_EQ(m.takeConsole(), c.output) << c.name;
        uint32_t configured = 9;
        ASSERT_EQ(CLU_GetPersistLinkDownCfg(0, &configured), 0u);
        EXPECT_EQ(configured, c.status == 0 ? 0u : 1u) << c.name;
        uint32_t state = 0;
        ASSERT_EQ(CLU_GetLinkInfo(0, &state), 0u);
        EXPECT_EQ(state, c.status == 0 ? TGX_LNK_UP : TGX_LNK_DOWN_PERSIST) << c.name;
    }
}

struct LoopbackCase {
    const char* keys;
    bool linkInfoFails;
    uint32_t status;
    bool set;
    const char* output;
};

TEST(LocalLoopbackStep, ByLinkState) {
    const LoopbackCase cases[] = {
        {"", false, 0, false, "Link State is not in the state LNK_DOWN or LNK_DOWN_PERSIST\n"},
        {"link = down", false, 0, true,
         "The Link State is LNK_DOWN.\nAttempting to set board to local loopback mode\n"
         "Setting board to local loopback mode succeeded\n"},
        {"link = down", true, 200, false, "Unable to get the Link State\n"},
    };
    for (const LoopbackCase& c : cases) {
        // Loopback is refused by the Port driver: a Mini driver serves these.
        HbasetMachine m(std::string("adapter A fc\nfunction fc driver_name = qrlmini ") + c.keys +
                        "\n");
        if (c.linkInfoFails) hbasim::fault_add({"drv", kReturnInfo, -1, 0, "fail", -1});
        m.takeConsole();
        bool set = false;
        EXPECT_EQ(setLocalLoopbackIfLinkDown(0, &set), c.status) << c.keys;
        EXPECT_EQ(set, c.set) << c.keys;
        EXPECT_EQ(m.takeConsole(), c.output) << c.keys;
    }
}

TEST(LocalLoopbackStep, PersistentLinkDownAndRefusedLoopback) {
    HbasetMachine m("adapter A fc\nfunction fc driver_name = qrlmini\n");
    ASSERT_EQ(TGX_SetPersistLinkDown(0, 1), 0u);
    hbasim::fault_add({"drv", "0x80000143", -1, 0, "fail", -1}); // every V2 mailbox
    m.takeConsole();
    bool set = false;
    EXPECT_EQ(setLocalLoopbackIfLinkDown(0, &set), 200u);
    EXPECT_FALSE(set);
    EXPECT_EQ(m.takeConsole(), "The Link State is LNK_DOWN_PERSIST.\n"
                               "Attempting to set board to local loopback mode\n"
                               "Setting board to local loopback mode failed\n");
}

} // namespace
