// factorydefaults run as processes: the choice of procedure, the single and
// all-adapters messages and results, the status array's propagation, the FC
// procedure's steps in order (a failing step does not stop the rest), and the
// SLI-4 request's effect in a new process and after a reboot.
#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

const char kBrevinPair[] = "adapter B brevin\nfunction fc\nfunction fc\n";
const char kOffline1[] = "1 adapter(s) are now offline and will exhibit inconsistent behavior\n"
                         "Please REBOOT the system now to activate factory default configuration\n";
const char kAlready80[] = "factorydefaults has already executed on this adapter\n"
                          "factorydefaults status 80\n";

struct Case {
    const char* name;
    std::string fleet;
    std::vector<std::string> args;
    std::vector<std::string> faults; // one "hbasim fault add" (empty: none)
    int exitCode;
    std::vector<std::string> expected;
    std::vector<std::string> absent;
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const Case kCases[] = {
    {"brevin_accepted",
     kBrevinPair,
     {"factorydefaults", "n=1"},
     {},
     80,
     {"HBA 1 is now offline and will exhibit inconsistent behavior\n"
      "Please REBOOT the system now to activate factory default configuration\n"},
     {"Executing"}},
    {"brevin_library_status_0",
     kBrevinPair,
     {"factorydefaults", "n=1"},
     {"mbx", "FACTORY_DEFAULTS", "status=0"},
     91,
     {"factorydefaults error 91 on HBA 1\n"},
     {"offline"}},
    {"brevin_actual_beyond_response",
     "adapter B brevin\n factory_actual_length = 8\nfunction fc\n",
     {"factorydefaults", "n=1"},
     {},
     91,
     {"factorydefaults error 91 on HBA 1\n"},
     {}},
    {"all_brevin_same_bus_and_device",
     kBrevinPair,
     {"factorydefaults", "n=all"},
     {},
     80,
     {"Processing HBA: 2\n" + std::string(kAlready80), kOffline1},
     {}},
    // Another PCI device is not covered: it runs again and finds the
    // adapter already offline.
    {"all_brevin_other_device_runs_again",
     "adapter B brevin\nfunction fc\nfunction fc pci_device = 1\n",
     {"factorydefaults", "n=all"},
     {},
     91,
     {"Processing HBA: 2\nExecuting setFactoryDefaultsSLI4\nfactorydefaults status 91\n"},
     {"already executed"}},
    {"all_boot_param_fc_succeed",
     boot::fleet(diag::kMini) + "adapter C fc\nfunction fc " + diag::kMini + "\n",
     {"factorydefaults", "n=all"},
     {},
     0,
     {"Processing HBA: 2\nExecuting setFactoryDefaultsFC\nfactorydefaults status 0\n"},
     {"offline"}},
    {"all_none_supported",
     "adapter C cv3\nfunction fcoe\nfunction nic\n",
     {"factorydefaults", "n=all"},
     {},
     71,
     {"Processing HBA: 2\nfactorydefaults is not supported on this adapter\n"
      "factorydefaults status 71\n",
      "--------------------------------------------\nNo supported adapters found\n"},
     {}},
    {"cv3_single",
     "adapter C cv3\nfunction fcoe\n",
     {"factorydefaults", "n=1"},
     {},
     71,
     {"factorydefaults is not supported on HBA 1\n"},
     {}},
    {"tarnel_without_nexa",
     "adapter T tarnel\nfunction fcoe\nfunction nic\n",
     {"factorydefaults", "n=1", "/nonexa"},
     {},
     80,
     {"Executing setFactoryDefaultsSLI4\nHBA 1 is now offline"},
     {}},
    {"tarnel_all_marks_its_other_fcoe",
     "adapter T tarnel\nfunction fcoe\nfunction fcoe\n",
     {"factorydefaults", "n=all"},
     {},
     80,
     {"Executing setFactoryDefaultsSLI4viaNEXA\n", "Processing HBA: 2\n" + std::string(kAlready80),
      kOffline1},
     {}},
    // Without NEXA no FCoE function is tied to its converged adapter: the
    // first request resets the adapter and covers its other function too.
    {"tarnel_all_without_nexa_marks_its_other_fcoe",
     "adapter T tarnel\nfunction fcoe\nfunction fcoe\n",
     {"factorydefaults", "n=all", "/nonexa"},
     {},
     80,
     {"Processing HBA: 2\n" + std::string(kAlready80), kOffline1},
     {}},
    // An FCoE function NEXA names no port for (its WWPN unreadable, no NIC
    // function to match by bus): the SLI-4 request needs no converged record.
    {"tarnel_untied_fcoe_takes_the_sli4_request",
     "adapter T tarnel\nfunction fcoe\n",
     {"factorydefaults", "n=1"},
     {"nexa", "get_property_val:FCoEWWPN", "rc=4"},
     80,
     {"Executing setFactoryDefaultsSLI4\nHBA 1 is now offline"},
     {"error 72"}},
    {"one_failure_decides_all",
     std::string(kBrevinPair) + "adapter C fc\nfunction fc " + diag::kMini + "\n",
     {"factorydefaults", "n=all"},
     {"mbx", "WRITE_VPARMS", "status=1"},
     91,
     {"factorydefaults failed on 1 supported adapter(s)\n"},
     {"are now offline"}},
};

class FactoryDefaults : public ::testing::TestWithParam<Case> {};

TEST_P(FactoryDefaults, MessagesAndResult) {
    const Case& c = GetParam();
    TempState state;
    state.init(c.fleet);
    if (!c.faults.empty()) diag::fault(c.faults);
    RunResult r = boot::hbaset(c.args);
    EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
    for (const std::string& e : c.expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n---\n" << r.out;
    for (const std::string& a : c.absent)
        EXPECT_EQ(r.out.find(a), std::string::npos) << a << "\n---\n" << r.out;
}

INSTANTIATE_TEST_SUITE_P(Edges, FactoryDefaults, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FactoryDefaultsFc, StepsRunInOrderAndAFailureDoesNotStopThem) {
    TempState state;
    state.init(boot::fleet(diag::kMini));
    diag::fault({"mbx", "WRITE_VPARMS", "status=1"});
    RunResult r = boot::hbaset({"factorydefaults", "n=1"});
    EXPECT_EQ(r.exit_code, 91) << r.out;
    EXPECT_NE(r.out.find("factorydefaults error 91 on HBA 1\n"), std::string::npos) << r.out;
    // x86 and EFI boot settings, volatile names, factory names, boot code,
    // final reset.
    long at = -1;
    for (const char* step :
         {"UPDATE_CFG type=2 region=8", "UPDATE_CFG type=2 region=10", "WRITE_VPARMS",
          "DUMP type=2 region=16", "WRITE_NV", "UPDATE_CFG type=2 region=4", "RESET_ADAPTER"}) {
        long next = diag::journalFind(step, at);
        EXPECT_GT(next, at) << step;
        if (next > at) at = next;
    }
}

TEST(FactoryDefaultsSli4, OfflineUntilTheRebootAppliesTheFactoryImage) {
    TempState state;
    state.init("adapter B brevin\nfunction fc factory_wwn = 10:00:00:11:22:33:44:55 wwpn = "
               "10:00:00:AA:BB:CC:DD:EE region_8 = 42494F53\n");
    ASSERT_EQ(boot::hbaset({"factorydefaults", "n=1"}).exit_code, 80);
    // A new process finds the adapter offline: a second request fails.
    RunResult again = boot::hbaset({"factorydefaults", "n=1"});
    EXPECT_EQ(again.exit_code, 91) << again.out;
    EXPECT_NE(boot::attr("wwpn"), "10:00:00:11:22:33:44:55");
    diag::reboot();
    EXPECT_EQ(boot::attr("wwpn"), "10:00:00:11:22:33:44:55");
    EXPECT_EQ(boot::attr("wwnn"), "20:00:00:11:22:33:44:55");
    EXPECT_EQ(boot::attr("region_8"), "");
    RunResult read = boot::hbaset({"readconfig", "n=1", "r=8", "l=4"});
    EXPECT_EQ(read.exit_code, 0) << read.out;
    EXPECT_NE(read.out.find("00000000: 00000000"), std::string::npos) << read.out;
}

} // namespace
