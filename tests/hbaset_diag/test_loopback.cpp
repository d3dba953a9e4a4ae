// FC loopback series run as processes: error options against failing tests,
// exit codes, the sticky stop across a script, the port always leaving
// loopback, the external-loopback preconditions, data mis-compares and the
// PCI test's library failures; the converged parsers' hand-off.
#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

std::string fleetWith(const std::string& extra = "") {
    return boot::fleet(std::string(diag::kMini) + " " + extra);
}

// The port left loopback: the last loopback request is followed by the
// library's end of loopback (a reset), and the simulated port is back.
void expectLoopbackEnded() {
    long config = diag::journalFind("INIT_LINK flag=1");
    ASSERT_GE(config, 0) << "loopback was never configured";
    long lastTest = -1;
    for (long at = diag::journalFind("LOOPBACK_TEST"); at >= 0;
         at = diag::journalFind("LOOPBACK_TEST", at))
        lastTest = at;
    EXPECT_GE(diag::journalFind("RESET_ADAPTER", lastTest > config ? lastTest : config), 0);
    EXPECT_EQ(boot::attr("loopback"), "");
}

struct OptionCase {
    const char* name;
    const char* option;
    int failing; // LOOPBACK_TEST calls that fail: -1 all, 0 none, n only the nth
    int exitCode;
    std::vector<std::string> expected;
    size_t failLines; // "(RunTest) fails" lines printed
};
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kFails = "(RunTest) fails on adapter 1: Status = 1. TestType: 1.";
const std::string kStopped = "\n*Error or User stops all tests\n";

const OptionCase kOptionCases[] = {
    {"o1_always", "o=1", -1, 23, {"Encounter Error, stop all tests", kStopped}, 1},
    {"o1_once", "o=1", 2, 23, {"Encounter Error, stop all tests", kStopped}, 1},
    {"o1_never", "o=1", 0, 0, {"*Complete tests on Adapter 1, NO error"}, 0},
    {"o2_always", "o=2", -1, 25, {"Error already repeats 4 times. Stop", kStopped}, 4},
    {"o2_once",
     "o=2",
     2,
     23,
     {"   Pass 3 test(s)\r", "*Complete tests on Adapter 1, WITH error"},
     1},
    {"o2_never", "o=2", 0, 0, {"   Pass 3 test(s)\n"}, 0},
    // Option 3: after the first failed cycle the remaining ones fail unrun.
    {"o3_always", "o=3", -1, 23, {"*Complete tests on Adapter 1, WITH error"}, 1},
    {"o3_once", "o=3", 2, 23, {"*Complete tests on Adapter 1, WITH error"}, 1},
    {"o3_never", "o=3", 0, 0, {"*Complete tests on Adapter 1, NO error"}, 0},
};

class ErrorOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(ErrorOptions, MessagesExitCodeAndLoopbackEnded) {
    const OptionCase& c = GetParam();
    TempState state;
    state.init(fleetWith());
    // A failing first call is a board that is not ready yet: retried twice
    // (a wait, then a new loopback configuration) before it counts.
    if (c.failing != 0) {
        std::vector<std::string> f = {"drv", "LOOPBACK_TEST", "rc=5"};
        if (c.failing > 0) {
            f.push_back("--nth");
            f.push_back(std::to_string(c.failing));
        }
        diag::fault(f);
    }
    RunResult r = boot::hbaset({"intloopback", "n=1", "r=3", c.option});
    EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
    for (const std::string& e : c.expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(diag::count(r.out, kFails), c.failLines) << r.out;
    expectLoopbackEnded();
}

INSTANTIATE_TEST_SUITE_P(Loopback, ErrorOptions, ::testing::ValuesIn(kOptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Loopback, StopCarriesToTheNextSeriesOfAScript) {
    TempState state;
    state.init(fleetWith());
    diag::fault({"drv", "LOOPBACK_TEST", "rc=5"});
    std::string script = state.path("tests.txt");
    hbatest::write_file(script, "intloopback n=1 r=2 o=2\npciloopback n=1 r=1 o=3\n");
    // The script log goes to the working directory: the state directory.
    RunResult r = hbatest::run(boot::hbasetPath(), {"@" + script}, {}, state.dir());
    EXPECT_NE(r.out.find("Reported Error of 25"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Reported Error of 22"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Run PCI Loopback test"), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code, 22);
}

TEST(Loopback, ExternalNeedsAnOnlinePortWithThePlug) {
    struct Case {
        const char* keys;
        const char* expected;
    } const cases[] = {
        {"", "    Loopback plug not detected. Unable to run test. Possible problems:\n"},
        {"loopback_plug = yes link = down", "PortState != HBA_PORTSTATE_ONLINE\n"},
    };
    for (const Case& c : cases) {
        TempState state;
        state.init(fleetWith(c.keys));
        RunResult r = boot::hbaset({"extloopback", "n=1", "r=1", "o=3"});
        EXPECT_EQ(r.exit_code, 9) << c.keys << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
        EXPECT_TRUE(diag::journalWith("INIT_LINK").empty()) << c.keys;
    }
    TempState state;
    state.init(fleetWith("loopback_plug = yes"));
    RunResult r = boot::hbaset({"extloopback", "n=1", "r=2", "o=3"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("Loopback mode verified\n"), std::string::npos) << r.out;
    EXPECT_EQ(diag::journalWith("INIT_LINK flag=2").size(), 1u);
}

TEST(Loopback, CorruptedByteIsReportedByIndex) {
    TempState state;
    state.init(fleetWith("loopback_corrupt_byte = 1234"));
    RunResult r = boot::hbaset({"intloopback", "n=1", "r=1", "o=3"});
    EXPECT_EQ(r.exit_code, 23);
    EXPECT_NE(r.out.find("Error: Data mis-compare. Cycle: 0, Byte index: 1234\n"),
              std::string::npos)
        << r.out;
    // 1234 % 256 = 0xd2, inverted 0x2d.
    EXPECT_NE(r.out.find("   RcvBuf[1234] = 2d,\tXmitBuf[1234] = d2\n"), std::string::npos);
    expectLoopbackEnded();
}

TEST(Loopback, PciFailsWhenTheLibraryRefuses) {
    TempState state;
    state.init(fleetWith());
    diag::fault({"drv", "ISSUEMB_XMTRCV", "fail"});
    RunResult r = boot::hbaset({"pciloopback", "n=1", "r=2", "o=3"});
    EXPECT_EQ(r.exit_code, 13) << r.out;
    EXPECT_NE(r.out.find("   PCI Loopback test fails on adapter 1\n   Pass 0 test(s)\n"),
              std::string::npos)
        << r.out;
}

TEST(Loopback, ArgumentErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* expected;
    } const cases[] = {
        {{"intloopback", "n=all", "r=1", "o=1"},
         "Invalid option: intloopback does not support n=all\n"},
        {{"pciloopback", "n=1", "r=1", "o=4"}, "Test Error Option out of range 1 - 3\n"},
        {{"pciloopback", "n=1", "r=0", "o=1"}, "Incorrect Test Parameters\n"},
        {{"pciloopback", "n=1", "r=99999999999999999999", "o=1"}, "Incorrect Test Parameters\n"},
        {{"extloopback", "n=7", "r=1", "o=1"}, "Invalid Adapter Number: 7\n"},
    };
    TempState state;
    state.init(fleetWith());
    for (const Case& c : cases) {
        RunResult r = boot::hbaset(c.args);
        EXPECT_EQ(r.exit_code, 21) << c.args[0] << " " << c.args[2];
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Incorrect Test Parameters\n"), std::string::npos) << r.out;
    }
}

} // namespace

namespace {

// Converged functions (entry 5 of the default fleet is a CV3 FCoE function)
// go through the converged parsers and test.
TEST(Loopback, ConvergedForms) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* expected;
    } const cases[] = {
        {{"intloopback", "n=5", "r=1", "c=1400", "t=1", "p=abcd"},
         21,
         "Byte Count out of range 1500 - 8192\nIncorrect Test Parameters\n"},
        {{"intloopback", "n=5", "r=1", "c=5000", "t=1", "p=abcd"},
         21,
         "For MAC Loopback- Byte Count out of range 1500 - 4056\nIncorrect Test Parameters\n"},
        // No lower bound in this parser; the converged test takes 64 and up.
        {{"macloopback", "n=5", "r=1", "c=1000", "p=abcd"}, 0, ""},
        {{"phyloopback", "n=1", "r=1", "c=1600", "p=abcd"},
         71,
         "Command not supported on Adapter Number: 1\n"},
    };
    TempState state;
    state.init();
    for (const Case& c : cases) {
        RunResult r = boot::hbaset(c.args);
        EXPECT_EQ(r.exit_code, c.exitCode) << c.args[0] << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
    }
}

// PHY and MAC loopback run only on converged targets: n=all selects none.
TEST(Loopback, PhyAndMacRefuseAllAdapters) {
    TempState state;
    state.init();
    for (const char* command : {"phyloopback", "macloopback"}) {
        RunResult r = boot::hbaset({command, "n=all", "r=1", "c=1600", "p=abcd"});
        EXPECT_EQ(r.exit_code, 71) << r.out;
        EXPECT_NE(r.out.find(std::string("Invalid option: ") + command +
                             " does not support n=all\nCommand not supported\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("Incorrect Test Parameters"), std::string::npos) << r.out;
    }
}

// An external loopback of a converged function needs its port's link up: the
// NIC function's port as its adapter's port record shows it, the FCoE
// function's as start-up found it. A port whose link is down never reaches
// the NEXA loopback.
TEST(Loopback, ConvergedExternalNeedsTheLinkUp) {
    TempState state;
    // Entries 1-2 FCoE, 3-4 NIC; the first of each kind on a port that is down.
    state.init("adapter C cv3\nfunction fcoe link = down\nfunction nic link = down\n"
               "function fcoe\nfunction nic\n");
    const struct {
        const char* n;
        int exitCode;
    } cases[] = {{"n=1", 9}, {"n=2", 0}, {"n=3", 9}, {"n=4", 0}};
    for (const auto& c : cases) {
        hbasim::journal_clear();
        RunResult r = boot::hbaset({"extloopback", c.n, "p=abcd", "c=1500", "r=2"});
        EXPECT_EQ(r.exit_code, c.exitCode) << c.n << "\n" << r.out;
        bool refused = c.exitCode == 9;
        EXPECT_EQ(r.out.find("NO loopback plug - Unable to run External Loopback\n") !=
                      std::string::npos,
                  refused)
            << c.n << "\n"
            << r.out;
        EXPECT_EQ(diag::journalWith("EnterLoopBackMode").empty(), refused) << c.n;
    }
}

} // namespace
