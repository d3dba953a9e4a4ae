// The stop key of a loopback series, fed by a scripted key source in-process:
// s ends the series with 22 after the running test, the next series ends at
// once, and any other key is ignored.
#include <cstdlib>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/diag_loopback.h"
#include "tests/hbaset_diag/diag_fixture.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

std::string g_keys; // keys the series will read, one per poll
bool scriptedKey() {
    if (g_keys.empty()) return false;
    char c = g_keys[0];
    g_keys.erase(0, 1);
    return c == 's' || c == 'S';
}

int32_t command(const std::vector<const char*>& args) {
    setTokens(args.data(), static_cast<int>(args.size()));
    return runCommand(static_cast<int>(args.size()));
}

class StopKey : public ::testing::Test {
  protected:
    void SetUp() override {
        loopbackResetState();
        g_loopbackKeySource = scriptedKey;
    }
    void TearDown() override {
        g_loopbackKeySource = nullptr;
        loopbackResetState();
        free(g_run.testSelection);
        g_run.testSelection = nullptr;
    }
    // The selection list start-up allocates for the table.
    void selectionList() {
        g_run.testSelection =
            static_cast<uint32_t*>(calloc(g_table.totalCount + 1, sizeof(uint32_t)));
        ASSERT_NE(g_run.testSelection, nullptr);
    }
};

TEST_F(StopKey, SStopsThisAndLaterSeries) {
    HbasetMachine m(boot::fleet(diag::kMini) + "adapter B fc\nfunction fc " + diag::kMini + "\n");
    selectionList();
    g_keys = "s";
    EXPECT_EQ(command({"pciloopback", "n=all", "r=1", "o=3"}), CLU_TEST_STOPPED);
    std::string out = m.takeConsole();
    EXPECT_NE(out.find("Run PCI Loopback test on adapter 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n*Error or User stops all tests\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("adapter 2"), std::string::npos) << out;
    EXPECT_EQ(command({"pciloopback", "n=1", "r=1", "o=3"}), CLU_TEST_STOPPED);
    EXPECT_EQ(m.takeConsole().find("Run PCI"), std::string::npos);
}

TEST_F(StopKey, OtherKeysAreIgnored) {
    HbasetMachine m(boot::fleet(diag::kMini));
    selectionList();
    g_keys = "xq";
    EXPECT_EQ(command({"pciloopback", "n=1", "r=2", "o=3"}), CLU_OK);
    EXPECT_NE(m.takeConsole().find("*Complete tests on Adapter 1, NO error\n"), std::string::npos);
}

} // namespace
