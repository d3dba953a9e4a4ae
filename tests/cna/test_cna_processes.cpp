// The converged commands as separate processes on one machine: changes seen
// by later runs, applied by "hbasim reboot", and NEXA faults injected with
// "hbasim fault" for one controller only.
#include <string>
#include <vector>

#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::hbaset;
using cnatest::hbasimTool;
using hbatest::RunResult;

RunResult expectRun(const std::vector<std::string>& args, int status) {
    RunResult r = hbaset(args);
    EXPECT_EQ(r.exit_code, status) << args[0] << "\n" << r.out;
    return r;
}

void expectIn(const RunResult& r, const std::string& text) {
    EXPECT_NE(r.out.find(text), std::string::npos) << r.out;
}

TEST(CnaProcesses, ChangesPersistAndARebootAppliesThem) {
    hbatest::TempState state;
    state.init();
    expectRun({"changepersonality", "n=7", "p=NIC"}, 0);
    expectRun({"writesvmac", "n=7", "m=020000000009"}, 0);
    expectRun({"writevlanprops", "n=11", "i=7", "p=2"}, 0);

    expectIn(expectRun({"personalityinfo", "n=7"}, 0),
             "Current Personality:  FCoE\nConfigured Personality:  NIC\n");
    RunResult mac = expectRun({"readmac", "n=7"}, 0);
    expectIn(mac, "Current MAC Address       : 02-1F-3C-03-02-00\n");
    expectIn(mac, "Semi-Volatile MAC Address : 02-00-00-00-00-09\n");
    expectIn(expectRun({"readvlanprops", "n=11"}, 0), "VLAN Id       : 7\nVLAN Priority : 2\n");

    ASSERT_EQ(hbasimTool({"reboot"}).exit_code, 0);
    expectIn(expectRun({"personalityinfo", "n=7"}, 0),
             "Current Personality:  NIC\nConfigured Personality:  NIC\n");
    expectIn(expectRun({"readmac", "n=7"}, 0), "Current MAC Address       : 02-00-00-00-00-09\n");
    expectIn(expectRun({"listmac", "n=7"}, 0), "  MAC 02-00-00-00-00-09\n");
}

TEST(CnaProcesses, InjectedNexaCodesHitOneController) {
    hbatest::TempState state;
    state.init();
    // Machine adapter 2 is the CV3 adapter (entries 5-8).
    ASSERT_EQ(
        hbasimTool({"fault", "add", "nexa", "do_action:SetPersonality", "rc=151", "--port", "2"})
            .exit_code,
        0);
    RunResult r = expectRun({"changepersonality", "n=7", "p=NIC"}, 77);
    expectIn(r, "Fail to change personality, error 140\n");
    expectIn(r, "Reported Error of 77");
    ASSERT_EQ(
        hbasimTool({"fault", "add", "nexa", "do_action:HostToDDRDMATest", "rc=1", "--port", "3"})
            .exit_code,
        0);
    expectRun({"dmatest", "n=9", "p=abcd", "c=64", "r=1"}, 114); // the Tarnel adapter
    expectRun({"dmatest", "n=7", "p=abcd", "c=64", "r=1"}, 0);
}

} // namespace
