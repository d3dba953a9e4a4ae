// The start-up trace lines are written only when LOG_MODE enables their group:
// a plain trace file gets the start line and nothing else.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

TEST(StartupTrace, DiscoveryLinesOnlyWithTheirGroup) {
    const struct {
        uint32_t logMode;
        bool startUpLines;
        bool nexaLine;
    } cases[] = {{0, false, false}, {TRACE_GROUP_FC, true, false}, {TRACE_GROUP_NEXA, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logMode);
        hbatest::TempState state;
        state.init("adapter F fc\nfunction fc\n");
        // NEXA does not open: start-up has its "not available" line to write.
        ASSERT_EQ(hbasim::fault_add({"nexa", "init", -1, 0, "fail", -1}), hbasim::SIM_OK);
        TGX_FreeDiagEnv();
        traceReset();
        ASSERT_EQ(traceSetDirectory(state.dir().c_str()), 0);
        const std::string log = state.path("qrldbg.log");
        hbatest::write_file(log, "");
        g_trace.settings.logMode = c.logMode;

        releaseRun();
        memset(&g_run, 0, sizeof g_run);
        messageReset();
        FILE* console = tmpfile();
        g_msg.console = console;
        std::vector<std::string> args = {"hbaset", "listhba"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        EXPECT_EQ(startUp(static_cast<int>(argv.size()), argv.data()), 0);
        releaseRun();
        traceReset();
        g_msg.console = nullptr;
        fclose(console);

        const std::string text = hbatest::read_file(log);
        EXPECT_EQ(text.find("[startUp]") != std::string::npos, c.startUpLines) << text;
        EXPECT_EQ(text.find("[cnaDiscovery]") != std::string::npos, c.nexaLine) << text;
    }
}

} // namespace
