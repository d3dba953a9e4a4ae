// A simulated machine started in this process as hbaset starts (table,
// identification, converged functions, FCoE matching), commands run through
// the interpreter, the console captured, and helpers for injected NEXA
// faults and for hbaset and hbasim run as separate processes.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace cnatest {

class Machine {
  public:
    // fleet "" is the default fleet: entries 1-2 FC, 3-4 Brevin FC, 5-6 CV3
    // FCoE, 7-8 CV3 NIC, 9-10 Tarnel iSCSI, 11-12 Tarnel NIC.
    explicit Machine(const std::string& fleet = "", const std::vector<std::string>& switches = {}) {
        state_.init(fleet);
        start(switches);
    }
    ~Machine() { stop(); }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Runs one command as the interpreter does; returns its status.
    int32_t run(const std::vector<std::string>& args) {
        std::vector<const char*> p;
        for (const std::string& a : args)
            p.push_back(a.c_str());
        int n = setTokens(p.data(), static_cast<int>(p.size()));
        return runCommand(n);
    }
    // Console text since the last call.
    std::string take() {
        std::fflush(console_);
        std::rewind(console_);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, console_)) > 0)
            text.append(buf, n);
        std::fclose(console_);
        console_ = std::tmpfile();
        g_msg.console = console_;
        return text;
    }
    // Starts this process's view again from the machine's state on disk.
    void restart(const std::vector<std::string>& switches = {}) {
        stop();
        start(switches);
    }
    const hbatest::TempState& state() const { return state_; }

  private:
    void start(const std::vector<std::string>& switches) {
        TGX_FreeDiagEnv();
        releaseRun();
        memset(&g_run, 0, sizeof g_run);
        g_run.nexaEnabled = true;
        messageReset();
        console_ = std::tmpfile();
        g_msg.console = console_;
        std::vector<std::string> argvText = {"hbaset", "listhba"};
        argvText.insert(argvText.end(), switches.begin(), switches.end());
        std::vector<char*> argv;
        for (std::string& a : argvText)
            argv.push_back(a.data());
        ASSERT_EQ(startUp(static_cast<int>(argv.size()), argv.data()), CLU_OK);
        copyConvergedFunctions();
        identificationPass();
        refreshPass();
        matchFcoeFunctions();
        take();
        g_run.cluStatus = CLU_OK;
    }
    void stop() {
        hbasim::fault_clear();
        releaseRun();
        TGX_FreeDiagEnv();
        g_msg.console = nullptr;
        if (console_) std::fclose(console_);
        console_ = nullptr;
    }

    hbatest::TempState state_;
    FILE* console_ = nullptr;
};

// An injected NEXA fault: call is the journal match ("do_action:SetPersonality",
// "get_property_val:AvailablePersonalities"), port the machine adapter index
// (-1: any), action "rc=N".
inline void nexaFault(const std::string& call, const std::string& action, int adapter = -1) {
    hbasim::Fault f;
    f.source = "nexa";
    f.match = call;
    f.action = action;
    f.port = adapter;
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
}

// hbaset or hbasim run as a separate process on the same machine.
inline hbatest::RunResult hbaset(const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbaset"), args);
}
inline hbatest::RunResult hbasimTool(const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbasim"), args);
}

} // namespace cnatest
