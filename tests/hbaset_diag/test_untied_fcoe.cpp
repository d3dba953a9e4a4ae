// An FCoE function that start-up could not tie to its converged adapter while
// NEXA is open (NEXA names no port with its WWPN and no NIC function shares
// its bus): the commands that need its converged adapter say so and end with
// 72, instead of claiming NEXA is not available or ending silently.
#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

const char kUntied[] = "No converged adapter found for Adapter Number: 1\n";

TEST(UntiedFcoe, ConvergedCommandsNameTheCause) {
    struct Case {
        const char* fleet;
        std::vector<std::string> args;
    } const cases[] = {
        {"adapter T tarnel\nfunction fcoe\n", {"dump", "n=1"}},
        {"adapter T tarnel\nfunction fcoe\n", {"listboot", "n=1"}},
        {"adapter T tarnel\nfunction fcoe\n", {"dmatest", "n=1", "p=abcd", "c=100", "r=1"}},
        {"adapter T tarnel\nfunction fcoe\n",
         {"intloopback", "n=1", "r=1", "c=1500", "t=1", "p=abcd"}},
        {"adapter T tarnel\nfunction fcoe\n", {"extloopback", "n=1", "r=1", "c=1500", "p=abcd"}},
        {"adapter C cv3\nfunction fcoe\n", {"personalityinfo", "n=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        TempState state;
        state.init(c.fleet);
        diag::fault({"nexa", "get_property_val:FCoEWWPN", "rc=4"});
        RunResult r = boot::hbaset(c.args);
        EXPECT_EQ(r.exit_code, 72) << r.out;
        EXPECT_NE(r.out.find(kUntied), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("NEXA not available"), std::string::npos) << r.out;
        EXPECT_TRUE(diag::journalWith("do_action").empty());
    }
}

} // namespace
