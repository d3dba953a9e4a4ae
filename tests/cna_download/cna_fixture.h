// Shared pieces of the converged download tests: UFI files made with the
// simulator's image builder, and hbaset started in process against a
// simulated machine (real adapter library, simulated NEXA).
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "sim/image/image_builders.h"
#include "tests/support/support.h"

namespace cnatest {

// Writes a UFI file with `hbasim image ufi` options; returns its path.
inline std::string makeUfi(const hbatest::TempState& state, const std::string& name,
                           std::vector<std::string> options) {
    std::string path = state.path(name);
    options.push_back("-o");
    options.push_back(path);
    EXPECT_EQ(sim_image::image_ufi(options), 0) << name;
    return path;
}

// hbaset's start-up and table completion, as the program runs them.
class CnaMachine : public ::testing::Test {
  protected:
    void TearDown() override {
        releaseRun();
        g_msg.console = nullptr;
        if (console_) fclose(console_);
    }

    void start(const std::string& fleet) {
        state_.init(fleet);
        TGX_FreeDiagEnv(); // the library scans the new machine on its next call
        releaseRun();
        memset(&g_run, 0, sizeof g_run);
        messageReset();
        console_ = tmpfile();
        g_msg.console = console_;
        std::string prog = "hbaset", cmd = "listhba";
        char* argv[] = {prog.data(), cmd.data()};
        ASSERT_EQ(startUp(2, argv), 0);
        copyConvergedFunctions();
        identificationPass();
        refreshPass();
        matchFcoeFunctions();
        ASSERT_TRUE(g_run.nexaUp);
    }

    // First table index of a function kind on a device family; -1 when none.
    static int entryOf(bool (*kind)(int), DeviceFamily family) {
        for (uint32_t i = 0; i < g_table.totalCount; ++i)
            if (kind(static_cast<int>(i)) &&
                deviceFamilyOf(entryDeviceId(adapterAt(static_cast<int>(i)))) == family)
                return static_cast<int>(i);
        return -1;
    }

    // An adapter attribute of the simulated machine (machine adapter index).
    static std::string machineAttr(int adapter, const char* key) {
        std::string v;
        hbasim::read_adapter(adapter, [&](const hbasim::Adapter& a) { v = a.attrs.get(key); });
        return v;
    }

    static size_t upgradeCalls() {
        size_t n = 0;
        for (const std::string& l : hbasim::journal_lines())
            if (l.find("UpgradeFlashROM") != std::string::npos) n++;
        return n;
    }

    hbatest::TempState state_;
    FILE* console_ = nullptr;
};

} // namespace cnatest
