// The request journal and the fault table.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

using namespace hbasim;

TEST(Journal, AppendsReadsAndClears) {
    hbatest::TempState st;
    st.init();
    EXPECT_TRUE(journal_lines().empty());
    journal("drv", "first");
    journal("nexa", "second\nline"); // one record per call, newlines flattened
    auto lines = journal_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "drv " + std::to_string(getpid()) + " first");
    EXPECT_EQ(lines[1], "nexa " + std::to_string(getpid()) + " second line");
    EXPECT_EQ(journal_lines(1).size(), 1u);
    EXPECT_EQ(journal_lines(1)[0], lines[1]);
    journal_clear();
    EXPECT_TRUE(journal_lines().empty());
}

TEST(Journal, StaysBounded) {
    hbatest::TempState st;
    st.init();
    const std::string pad(1000, 'x');
    for (int i = 0; i < 3000; ++i)
        journal("drv", std::to_string(i) + " " + pad);
    auto lines = journal_lines();
    EXPECT_LT(lines.size(), 3000u);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(" 2999 "), std::string::npos); // newest kept
    std::string all =
        hbatest::read_file(st.path("journal.log")) + hbatest::read_file(st.path("journal.log.1"));
    EXPECT_LT(all.size(), 2u * 1024 * 1024 + 4096);
}

TEST(Faults, MatchCountAndExpire) {
    struct Case {
        const char* what;
        Fault fault;
        std::vector<std::pair<std::string, int>> calls; // match, port
        std::vector<std::string> expect;
    };
    const Case cases[] = {
        {"every call",
         {"drv", "0x80000203", -1, 0, "rc=5", -1},
         {{"0x80000203|HBA_GET_ADAPTER_ATTRIBUTES", 0}, {"0x80000203", 3}, {"0x80000135", 0}},
         {"rc=5", "rc=5", ""}},
        {"by name, case-insensitive",
         {"drv", "getdrv_info", -1, 0, "fail", -1},
         {{"0x80000135|GETDRV_INFO", 1}},
         {"fail"}},
        {"nth only",
         {"drv", "0x80000100", -1, 2, "fail", -1},
         {{"0x80000100", 0}, {"0x80000100", 0}, {"0x80000100", 0}},
         {"", "fail", ""}},
        {"port filter",
         {"drv", "*", 2, 0, "fail", -1},
         {{"0x80000100", 1}, {"0x80000100", 2}},
         {"", "fail"}},
        {"times",
         {"drv", "0x80000204", -1, 0, "stale", 2},
         {{"0x80000204", 0}, {"0x80000204", 0}, {"0x80000204", 0}},
         {"stale", "stale", ""}},
        {"other source", {"nexa", "init", -1, 0, "rc=14", -1}, {{"init", 0}}, {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hbatest::TempState st;
        st.init();
        ASSERT_EQ(fault_add(c.fault), SIM_OK);
        for (size_t i = 0; i < c.calls.size(); ++i)
            EXPECT_EQ(fault_check("drv", c.calls[i].first, c.calls[i].second), c.expect[i])
                << "call " << i;
    }
}

TEST(Faults, SeenByChildProcessesAndCleared) {
    hbatest::TempState st;
    st.init();
    ASSERT_EQ(fault_add({"drv", "0x80000100", -1, 0, "fail", 1}), SIM_OK);
    pid_t pid = fork();
    if (pid == 0) _exit(fault_check("drv", "0x80000100", 0) == "fail" ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(fault_check("drv", "0x80000100", 0), ""); // the child used it up
    ASSERT_EQ(fault_list().size(), 1u);
    EXPECT_EQ(fault_list()[0].remaining, 0);
    EXPECT_EQ(fault_clear(), SIM_OK);
    EXPECT_TRUE(fault_list().empty());
}

TEST(Faults, BadFaultsAreRefused) {
    hbatest::TempState st;
    st.init();
    EXPECT_NE(fault_add({"drv", "", -1, 0, "fail", -1}), SIM_OK);
    EXPECT_NE(fault_add({"drv", "a\tb", -1, 0, "fail", -1}), SIM_OK);
    EXPECT_NE(fault_add({"drv", "x", -1, 0, "", -1}), SIM_OK);
    EXPECT_TRUE(fault_list().empty());
}
