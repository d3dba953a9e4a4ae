// The converged DMA and loopback tests and the loopback argument parsers:
// cycle slices, failures that stop a test, loopback mode left on every way
// out, and the parsers' outcomes over their argument forms.
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"
#include "tests/cna/cna_fixture.h"

namespace {
using cnatest::Machine;
using cnatest::nexaFault;

constexpr int kCv3Nic = 6; // entry 7 of the default fleet

// Actions of the journal in order ("HostToDDRDMATest", "ExitLoopBackMode" ...).
std::vector<std::string> actions() {
    std::vector<std::string> out;
    for (const std::string& l : hbasim::journal_lines()) {
        size_t at = l.find("do_action node=");
        if (at == std::string::npos) continue;
        size_t name = l.find(' ', l.find("action=", at)) + 1;
        out.push_back(l.substr(name, l.find(' ', name) - name));
    }
    return out;
}

CnaTestParams params(uint32_t bytes, uint32_t repeat, uint32_t type = CNA_LOOP_MAC) {
    CnaTestParams p;
    cnaTestParamsInit(&p);
    copyBounded(p.pattern, sizeof p.pattern, "A5A5");
    p.byteCount = bytes;
    p.repeatCount = repeat;
    p.loopType = type;
    p.targetIndex = kCv3Nic;
    return p;
}

TEST(DmaTest, SlicesOf4096CyclesAndAFailureStops) {
    Machine m;
    hbasim::journal_clear();
    CnaTestParams p = params(512, 5000);
    EXPECT_EQ(cnaDmaTest(&p), MAL_RM_OK);
    EXPECT_EQ(p.totalCycles, 5000u) << "4096 + 904";
    EXPECT_EQ(actions(), (std::vector<std::string>{"HostToDDRDMATest", "HostToDDRDMATest"}));

    hbasim::Fault f;
    f.source = "nexa";
    f.match = "do_action:HostToDDRDMATest";
    f.action = "rc=1";
    f.nth = 2;
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    hbasim::journal_clear();
    p = params(512, 9000);
    EXPECT_EQ(cnaDmaTest(&p), MAL_RM_NEXA_ERROR);
    EXPECT_EQ(p.totalCycles, 4096u);
    EXPECT_EQ(actions().size(), 2u) << "no third slice after the failure";
}

TEST(DmaTest, ByteRangeStopFlagAndNoController) {
    Machine m;
    for (uint32_t bytes : {3u, 4097u}) {
        CnaTestParams p = params(bytes, 1);
        EXPECT_EQ(cnaDmaTest(&p), MAL_RM_BYTE_COUNT) << bytes;
    }
    for (uint32_t bytes : {4u, 4096u}) {
        CnaTestParams p = params(bytes, 1);
        EXPECT_EQ(cnaDmaTest(&p), MAL_RM_OK) << bytes;
    }
    CnaTestParams p = params(64, 1);
    p.stopFlag = 0;
    EXPECT_EQ(cnaDmaTest(&p), MAL_RM_CNA_TEST_STOPPED);
    p = params(64, 1);
    p.targetIndex = 0; // an FC entry has no controller
    EXPECT_EQ(cnaDmaTest(&p), CLU_NEXA_NOT_AVAILABLE);
}

TEST(DmaTest, CommandStatuses) {
    Machine m;
    EXPECT_EQ(m.run({"dmatest", "n=9", "p=abcd", "c=100", "r=5000"}), CLU_OK);
    EXPECT_EQ(m.run({"dmatest", "n=7", "p=abcd", "c=4097", "r=1"}), CLU_INPUT_VALUE);
    EXPECT_EQ(m.take(), "Byte Count out of range 64 - 4096\n");
    EXPECT_EQ(m.run({"dmatest", "n=1", "p=abcd", "c=100", "r=1"}), CLU_NOT_SUPPORTED);
    m.take();
    nexaFault("do_action:HostToDDRDMATest", "rc=1");
    EXPECT_EQ(m.run({"dmatest", "n=7", "p=abcd", "c=100", "r=1"}), MAL_RM_NEXA_ERROR);
    g_run.nexaUp = false;
    EXPECT_EQ(m.run({"dmatest", "n=7", "p=abcd", "c=100", "r=1"}), CLU_NEXA_NOT_AVAILABLE);
    EXPECT_EQ(m.take(), "NEXA not available\n");
}

TEST(LoopbackTest, RunsOnTheEntrysPortAndAlwaysLeavesLoopbackMode) {
    const struct {
        const char* fault; // injected "rc=1", or null
        uint32_t type;
        int status;
        std::vector<std::string> actions;
    } cases[] = {
        {nullptr,
         CNA_LOOP_MAC,
         MAL_RM_OK,
         {"EnterLoopBackMode", "NetworkLoopBackTest", "ExitLoopBackMode"}},
        {nullptr,
         CNA_LOOP_PHY,
         MAL_RM_OK,
         {"EnterLoopBackMode", "NetworkLoopBackTest", "ExitLoopBackMode"}},
        {"do_action:NetworkLoopBackTest",
         CNA_LOOP_ONE_PORT,
         MAL_RM_NEXA_ERROR,
         {"EnterLoopBackMode", "NetworkLoopBackTest", "ExitLoopBackMode"}},
        {"do_action:EnterLoopBackMode",
         CNA_LOOP_MAC,
         MAL_RM_NEXA_ERROR,
         {"EnterLoopBackMode", "ExitLoopBackMode"}},
        {"do_action:ExitLoopBackMode",
         CNA_LOOP_MAC,
         MAL_RM_NEXA_ERROR,
         {"EnterLoopBackMode", "NetworkLoopBackTest", "ExitLoopBackMode"}},
        {nullptr, 4, MAL_RM_BAD_KIND, {}},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault ? c.fault : "no fault");
        hbasim::fault_clear();
        if (c.fault) nexaFault(c.fault, "rc=1");
        hbasim::journal_clear();
        CnaTestParams p = params(1500, 3, c.type);
        EXPECT_EQ(cnaLoopbackTest(&p), c.status);
        EXPECT_EQ(actions(), c.actions);
        if (c.status == MAL_RM_OK) {
            EXPECT_EQ(p.totalCycles, 3u);
        }
    }
    for (uint32_t bytes : {63u, 8193u}) {
        CnaTestParams p = params(bytes, 1);
        EXPECT_EQ(cnaLoopbackTest(&p), MAL_RM_BYTE_COUNT) << bytes;
    }
}

TEST(LoopbackArgs, Forms) {
    const struct {
        std::vector<std::string> args;
        CnaParseResult result;
        int32_t status; // checked when the parse did not succeed
        const char* output;
        uint32_t type;
    } cases[] = {
        {{"intloopback", "n=7", "r=2", "c=1600", "t=1", "p=abcd"}, CNA_PARSE_OK, 0, "", 1},
        {{"intloopback", "N=7", "R=2", "C=8192", "T=2", "P=abcdefgh"}, CNA_PARSE_OK, 0, "", 2},
        {{"extloopback", "n=7", "r=2", "c=1500", "p=abc"}, CNA_PARSE_OK, 0, "", 3},
        {{"extloopback", "n=7", "r=2", "c=1500", "t=1", "p=abc"}, CNA_PARSE_OK, 0, "", 3},
        {{"intloopback", "n=all", "r=2", "o=1"}, CNA_PARSE_FC, 0, "", 0},
        {{"intloopback", "n=1", "r=2", "o=1"}, CNA_PARSE_FC, 0, "", 0},
        {{"intloopback", "n=x", "r=2", "c=1600", "t=1", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_NON_NUMERIC,
         "Non-Numeric Input\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=1600"},
         CNA_PARSE_FAILED,
         CLU_SYNTAX,
         "syntax error\n",
         0},
        {{"intloopback", "n=7", "r=0", "c=1600", "t=1", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "No Repeat Count\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=1600", "t=3", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "Test Type out of range 1 - 2\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=1600", "t=1", "p=ab"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "Pattern string longer than 8 bytes or shorter than 3 bytes\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=1400", "t=2", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "Byte Count out of range 1500 - 8192\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=5000", "t=1", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "For MAC Loopback- Byte Count out of range 1500 - 4056\n",
         0},
        {{"intloopback", "n=7", "r=2", "c=1600", "x=1", "p=abcd"}, CNA_PARSE_FAILED, 0, "", 0},
    };
    Machine m;
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        std::vector<const char*> p;
        for (const std::string& a : c.args)
            p.push_back(a.c_str());
        setTokens(p.data(), static_cast<int>(p.size()));
        g_run.cluStatus = 0;
        CnaTestParams tp;
        cnaTestParamsInit(&tp);
        CnaParseResult r = cnaParseLoopbackArgs(c.args[0] == "extloopback", &tp);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(m.take(), c.output);
        if (r == CNA_PARSE_OK) {
            EXPECT_TRUE(tp.convergedTarget);
            EXPECT_EQ(tp.targetIndex, kCv3Nic);
            EXPECT_EQ(tp.loopType, c.type);
        } else {
            EXPECT_FALSE(tp.convergedTarget);
            if (c.status != 0) {
                EXPECT_EQ(g_run.cluStatus, c.status);
            }
        }
    }
}

TEST(LoopbackArgs, PhyAndMacForms) {
    const struct {
        std::vector<std::string> args;
        CnaParseResult result;
        int32_t status;
        const char* output;
    } cases[] = {
        {{"macloopback", "n=7", "r=2", "c=1000", "p=abcd"}, CNA_PARSE_OK, 0, ""},
        {{"phyloopback", "n=7", "r=2", "c=8192", "p=abcd"}, CNA_PARSE_OK, 0, ""},
        {{"phyloopback", "n=7", "r=2", "c=9000", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "For PHY Loopback- Byte Count out of range 1500 - 8192\n"},
        {{"macloopback", "n=7", "r=2", "c=9000", "p=abcd"},
         CNA_PARSE_FAILED,
         CLU_INPUT_VALUE,
         "For MAC Loopback- Byte Count out of range 1500 - 8192\n"},
        {{"macloopback", "n=all", "r=2", "c=9000", "p=abcd"}, CNA_PARSE_FC, 0, ""},
        {{"macloopback", "n=1", "r=2", "c=1000", "p=abcd"},
         CNA_PARSE_END,
         CLU_NOT_SUPPORTED,
         "Command not supported on Adapter Number: 1\n"},
        {{"phyloopback", "n=7", "r=2", "c=1000", "x=abcd"}, CNA_PARSE_END, CLU_TEST_PARAMETERS, ""},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[3] + " " + c.args[4]);
        std::vector<const char*> p;
        for (const std::string& a : c.args)
            p.push_back(a.c_str());
        setTokens(p.data(), static_cast<int>(p.size()));
        g_run.cluStatus = 0;
        CnaTestParams tp;
        cnaTestParamsInit(&tp);
        uint32_t type = c.args[0] == "macloopback" ? CNA_LOOP_MAC : CNA_LOOP_PHY;
        EXPECT_EQ(cnaParsePhyMacArgs(type, &tp), c.result);
        EXPECT_EQ(m.take(), c.output);
        EXPECT_EQ(tp.convergedTarget, c.result == CNA_PARSE_OK);
        if (c.status != 0) {
            EXPECT_EQ(g_run.cluStatus, c.status);
        }
        if (c.result == CNA_PARSE_OK) {
            EXPECT_EQ(tp.loopType, type);
        }
    }
}

} // namespace
