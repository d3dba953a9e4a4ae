// A hand-built adapter table and a captured console for the interpreter's
// unit tests: two FC entries (a plain one and a jumper-less one), a Tarnel
// iSCSI function and a CV3 NIC function.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "libtgx/libtgx.h"

namespace interp {

inline std::string drain(FILE* f) {
    std::string s;
    fflush(f);
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Command bodies reach the machine of the state directory through the
        // library: start it afresh, as a new process would, whatever an
        // earlier test of this process released or attached.
        TGX_FreeDiagEnv();
        TGX_InitDiagEnv(nullptr, 256);
        messageReset();
        console_ = tmpfile();
        ASSERT_NE(console_, nullptr);
        g_msg.console = console_;
        g_run.cluStatus = 0;
        ASSERT_TRUE(adapterTableAllocate(4));
        g_table.fcCount = 2;
        g_table.totalCount = 4;
        g_table.iscsiCount = 1;
        g_table.nicCount = 1;
        AdapterRecord* t = g_table.adapterTable;
        t[0].deviceId = 0xF100;
        t[0].vendorId = 0x1F3C;
        t[1].deviceId = 0xE131;
        t[1].vendorId = 0x1F3C;
        t[2].functionKind = KIND_ISCSI_FUNCTION;
        t[2].cnaDeviceId = 0x0722;
        t[3].functionKind = KIND_NIC_FUNCTION;
        t[3].cnaDeviceId = 0x0710;
    }
    void TearDown() override {
        adapterTableRelease();
        messageReset();
        g_msg.console = nullptr;
        if (console_) fclose(console_);
    }

    // Runs one command from its tokens; returns the status.
    int32_t run(const std::vector<std::string>& args) {
        std::vector<const char*> p;
        for (const std::string& a : args)
            p.push_back(a.c_str());
        int n = setTokens(p.data(), static_cast<int>(p.size()));
        return runCommand(n);
    }
    // Console text since the last call.
    std::string console() {
        std::string s = drain(console_);
        fclose(console_);
        console_ = tmpfile();
        g_msg.console = console_;
        return s;
    }

    FILE* console_ = nullptr;
};

} // namespace interp
