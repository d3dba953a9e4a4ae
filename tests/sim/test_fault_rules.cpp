// `hbasim fault add` keeps the faults that can act and refuses the rest: the
// request and mailbox names and the actions each request can express.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

hbatest::RunResult hbasim_run(const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbasim"), args);
}

TEST(FaultRules, FaultsThatCannotActAreRefused) {
    hbatest::TempState st;
    st.init();
    const struct {
        std::vector<std::string> fault; // SOURCE MATCH ACTION
        const char* refusal;            // nullptr: accepted
    } cases[] = {
        {{"drv", "ISSUEMB", "rc=1"}, nullptr},
        {{"drv", "0x80000143", "status=0xFFF7"}, nullptr},
        {{"drv", "hba_get_port_attributes", "stale"}, nullptr},
        {{"drv", "*", "fail"}, nullptr},
        {{"mbx", "GET_CNTL_ADDL_ATTRIBUTES", "status=0xFFF7"}, nullptr},
        {{"mbx", "READ_REV", "fail"}, nullptr},
        {{"nexa", "init", "fail"}, nullptr},
        {{"drv", "NO_SUCH_REQUEST", "fail"}, "no driver request 'NO_SUCH_REQUEST'"},
        {{"drv", "0x80000998", "rc=1"}, "no driver request '0x80000998'"},
        {{"wmi", "exec", "fail"}, nullptr},
        {{"wmi", "enum", "fail"}, "no management-event step 'enum'"},
        {{"wmi", "subscribe", "rc=1"}, "'rc=1' is not a management-event fault"},
        {{"drv", "RESET_ADAPTER", "status=1"}, "'status=1' needs a mailbox request"},
        {{"drv", "*", "status=1"}, "'status=1' needs a mailbox request"},
        {{"drv", "GETDRV_INFO", "stale"}, "'stale' applies to HBA_GET_PORT_ATTRIBUTES only"},
        {{"mbx", "NO_SUCH_COMMAND", "status=1"},
         "no mailbox command 'NO_SUCH_COMMAND' takes faults"},
        {{"mbx", "READ_REV", "rc=1"}, "'rc=1' is not a mailbox fault"},
        {{"mbx", "READ_REV", "stale"}, "'stale' is not a mailbox fault"},
        {{"nexa", "init", "stale"}, "'stale' is not a NEXA fault"},
        // A process can die at any call; the match is still checked.
        {{"drv", "ISSUEMB", "kill"}, nullptr},
        {{"nexa", "*", "kill"}, nullptr},
        {{"mbx", "NO_SUCH_COMMAND", "kill"}, "no mailbox command 'NO_SUCH_COMMAND' takes faults"},
        {{"wmi", "exec", "kill"}, "'kill' is not a management-event fault"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault[0] + " " + c.fault[1] + " " + c.fault[2]);
        std::vector<std::string> args = {"fault", "add"};
        args.insert(args.end(), c.fault.begin(), c.fault.end());
        hbatest::RunResult r = hbasim_run(args);
        if (c.refusal == nullptr) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
        } else {
            EXPECT_NE(r.exit_code, 0);
            EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
        }
    }
    // Only the accepted faults were kept.
    EXPECT_EQ(hbasim::fault_list().size(), 10u);
}

} // namespace
