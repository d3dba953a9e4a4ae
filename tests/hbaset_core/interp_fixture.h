// A hand-built adapter table and a captured console for the interpreter's
// unit tests: two FC entries (a plain one and a jumper-less one), a Tarnel
// iSCSI function and a CV3 NIC function. The FC entries are the two boards of
// a private machine: board 0 a 0xF100 on the classic path (the table gives it
// no SLI-4 flag) with boot code, board 1 a 0xE131 with other firmware.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "libtgx/libtgx.h"
#include "tests/support/support.h"

namespace interp {

// The boot BIOS program word board 0's wakeup region (4) names.
constexpr uint32_t kBootBios = 0x03A10163;

// Region 4 with the boot BIOS word at bytes 12-15, as fleet hex.
inline std::string wakeupRegionHex() {
    std::string hex(120, '0');
    static const char digits[] = "0123456789ABCDEF";
    for (int b = 0; b < 4; ++b) {
        uint8_t byte = static_cast<uint8_t>(kBootBios >> (8 * b));
        hex[2 * (12 + b)] = digits[byte >> 4];
        hex[2 * (12 + b) + 1] = digits[byte & 0xF];
    }
    return hex;
}

inline std::string tableFleet() {
    return "adapter A fc\n"
           "function fc device_id = 0xF100 hw_type = 4100 drv_type = 5 driver_name = qrlmini"
           " region_4 = " +
           wakeupRegionHex() +
           "\n"
           "adapter B fc fw_active = 14.2.100.1\n"
           "function fc device_id = 0xE131\n";
}

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
        // Command bodies reach the machine through the library: a private
        // one, started afresh as a new process would, whatever an earlier
        // test of this process released or attached.
        machine_ = std::make_unique<hbatest::TempState>();
        machine_->init(tableFleet());
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
        TGX_FreeDiagEnv();
        machine_.reset();
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
    std::unique_ptr<hbatest::TempState> machine_;
};

} // namespace interp
