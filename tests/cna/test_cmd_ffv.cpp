// listffv and writeffv on the simulated machine: the FFV text rule, the
// round trip on every kind of adapter that keeps an FFV (seen by a new
// process), adapters that refuse the read or the write, firmware that is not
// the firmware on flash, and NEXA failures.
#include <string>

#include "hbaset/cli/ffv.h"
#include "hbaset/cna/cna_ops.h"
#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;
using cnatest::nexaFault;

void mbxFault(const std::string& name, const std::string& action) {
    hbasim::Fault f;
    f.source = "mbx";
    f.match = name;
    f.action = action;
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
}

// A Tarnel adapter whose FCoE function the adapter library lists (entry 1)
// and whose NIC function NEXA lists (entry 2).
const char kTarnelFleet[] = "adapter T tarnel\nfunction fcoe\nfunction nic\n";

TEST(Ffv, TextRule) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"1.2.3456", true}, {"1.2.3.45", true},  {"1..2.345", true},  {".1.2.345", true},
        {"1.2.345", false}, {"1.234567", false}, {"1.2.345a", false}, {"1.2.3456.", false},
        {"", false},        {"12345678", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidFfv(c.text), c.valid) << c.text;
}

TEST(Ffv, RoundTripOnEveryKindSeenByANewProcess) {
    const struct {
        const char* fleet;
        const char* n;
        const char* ffv;
        bool fcRequest; // the request and response lines are printed
    } cases[] = {
        {"", "n=3", "2.3.4567", true},            // Brevin FC function
        {"", "n=1", "3.4.5678", true},            // newest Brevin FC function
        {kTarnelFleet, "n=1", "4.5.6789", true},  // FC entry with a Tarnel FCoE device ID
        {kTarnelFleet, "n=2", "5.6.7890", false}, // Tarnel converged function
        {"", "n=11", "6.7.8901", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.n) + " " + c.ffv);
        Machine m(c.fleet);
        EXPECT_EQ(m.run({"writeffv", c.n, std::string("i=") + c.ffv}), CLU_OK);
        std::string out = m.take();
        EXPECT_NE(out.find(std::string("\nFFV = ") + c.ffv + "\nLEN = 8\n"), std::string::npos)
            << out;
        EXPECT_EQ(out.find("FFV Write Request") != std::string::npos, c.fcRequest) << out;
        hbatest::RunResult r = cnatest::hbaset({"listffv", c.n});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find(std::string("\nFFV = ") + c.ffv + "\nLEN = 8\n"), std::string::npos)
            << r.out;
        if (c.fcRequest) {
            EXPECT_LT(r.out.find("\nFFV Read Request - TGX_IssueMboxWithRetryV2\n"
                                 "pSubCmd->opCode           = 2\n"
                                 "pSubCmd->subSystem        = 13\n"),
                      r.out.find("\nFFV = "));
            EXPECT_NE(r.out.find("pSubRsp->ffv_length       = 8\n"), std::string::npos);
        }
    }
}

TEST(Ffv, AConvergedWriteShowsInLaterRunsOnly) {
    Machine m;
    EXPECT_EQ(m.run({"writeffv", "n=11", "i=7.7.7777"}), CLU_OK);
    m.take();
    // The adapter table of this run was read at start-up.
    EXPECT_EQ(m.run({"listffv", "n=11"}), CLU_OK);
    EXPECT_EQ(m.take(), "\nFFV = 1.0.0001\nLEN = 8\n");
    m.restart();
    EXPECT_EQ(m.run({"listffv", "n=11"}), CLU_OK);
    EXPECT_EQ(m.take(), "\nFFV = 7.7.7777\nLEN = 8\n");
}

TEST(Ffv, ReadFailures) {
    const struct {
        const char* fleet;
        const char* n;
        const char* fault; // mbx fault "FFV_READ" status=N, or null
        const char* line;
    } cases[] = {
        // The adapter refuses the read: no text, whatever the library says.
        {"", "n=3", "status=0x4001", "Reading FFV failed\n"},
        // Refused in the response status only, the mailbox completing.
        {"adapter B brevin\n    ffv_name = \"\"\nfunction fc\n", "n=1", nullptr,
         "mbox response status           = 1\n"
         "mbox response additionalStatus = A0\nReading FFV failed\n"},
        {"adapter T tarnel\n    ffv_name = \"Not Available\"\nfunction nic\n", "n=1", nullptr,
         "Reading FFV failed\n"},
        {"adapter T tarnel\n    ffv_name = 1.0.01\nfunction nic\n", "n=1", nullptr,
         "Invalid data in FFV\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m(c.fleet);
        if (c.fault) mbxFault("FFV_READ", c.fault);
        EXPECT_EQ(m.run({"listffv", c.n}), CLU_FFV_READ);
        std::string out = m.take();
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_EQ(out.find("\nFFV = "), std::string::npos) << out;
    }
}

TEST(Ffv, WriteFailures) {
    const struct {
        const char* fleet;
        const char* n;
        const char* ffv;
        int32_t status;
        const char* line;
    } cases[] = {
        {"", "n=3", "1.2.345", CLU_INPUT_VALUE, "Invalid Input Value\n"},
        {"adapter B brevin\n    fw_flash = 12.8.600.1\nfunction fc\n", "n=1", "1.2.3456",
         CLU_FFV_WRITE,
         "ActiveFirmware = 12.8.542.31\nFwOnFlash      = 12.8.600.1\n"
         "ActiveFirmware != FwOnFlash\n"},
        {"adapter T tarnel\n    fw_flash = 12.0.300.1\nfunction nic\n", "n=1", "1.2.3456",
         CLU_FFV_WRITE, "ActiveFirmware != FwOnFlash\n"},
        // Versions that cannot be compared do not stop the write.
        {"adapter T tarnel\n    fw_flash = 12.0\nfunction nic\n", "n=1", "1.2.3456", CLU_OK,
         "\nFFV = 1.2.3456\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m(c.fleet);
        EXPECT_EQ(m.run({"writeffv", c.n, std::string("i=") + c.ffv}), c.status);
        std::string out = m.take();
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
    }
}

TEST(Ffv, RefusedWritesAndNexaFailures) {
    {
        Machine m;
        mbxFault("FFV_WRITE", "status=0x4001");
        EXPECT_EQ(m.run({"writeffv", "n=3", "i=1.2.3456"}), CLU_FFV_WRITE);
        EXPECT_EQ(m.take().find("\nFFV = "), std::string::npos);
        nexaFault("set_property_val:FFVName", "rc=1");
        EXPECT_EQ(m.run({"writeffv", "n=11", "i=1.2.3456"}), CLU_FFV_WRITE);
    }
    Machine without(kTarnelFleet, {"/nonexa"});
    EXPECT_EQ(without.run({"writeffv", "n=1", "i=1.2.3456"}), CLU_NEXA_NOT_AVAILABLE);
    EXPECT_EQ(without.take(), "NEXA is not available\n");
    // The FC read needs no NEXA.
    EXPECT_EQ(without.run({"listffv", "n=1"}), CLU_OK);
}

} // namespace
