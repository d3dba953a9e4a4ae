// The hbasim tool, run as a process against a private state directory.
#include <gtest/gtest.h>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

hbatest::RunResult hbasim_run(const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbasim"), args);
}

} // namespace

TEST(HbasimCli, UsageErrors) {
    hbatest::TempState st;
    struct Case {
        std::vector<std::string> args;
        const char* err; // substring of stderr
    };
    const Case cases[] = {
        {{}, "usage: hbasim"},
        {{"bogus"}, "unknown command 'bogus'"},
        {{"init", "--fleet"}, "--fleet needs a file name"},
        {{"init", "extra"}, "unexpected argument 'extra'"},
        {{"show", "all"}, "unexpected argument 'all'"},
        {{"reboot", "now"}, "no arguments expected"},
        {{"check", "a.fleet", "b.fleet"}, "expected at most one fleet file"},
        {{"fault"}, "expected add, list or clear"},
        {{"fault", "zap"}, "unknown subcommand 'zap'"},
        {{"fault", "add", "drv", "0x80000100"}, "expected SOURCE MATCH ACTION"},
        {{"fault", "add", "disk", "x", "fail"}, "unknown source 'disk'"},
        {{"fault", "add", "drv", "x", "explode"}, "unknown action 'explode'"},
        {{"fault", "add", "drv", "x", "rc=abc"}, "unknown action 'rc=abc'"},
        {{"fault", "add", "drv", "x", "fail", "--nth"}, "--nth needs a number"},
        {{"fault", "add", "drv", "x", "fail", "--port", "-1"}, "--port needs a number"},
        {{"fault", "add", "drv", "x", "fail", "--later"}, "unexpected argument '--later'"},
        {{"log", "--tail", "x"}, "--tail needs a positive number"},
        {{"log", "everything"}, "unexpected argument 'everything'"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        auto r = hbasim_run(c.args);
        EXPECT_EQ(r.exit_code, 2) << joined;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << joined << "-> " << r.err;
    }
    EXPECT_TRUE(hbatest::read_file(st.path("faults.txt")).empty()); // nothing was added
}

TEST(HbasimCli, HelpListsTheCommands) {
    auto r = hbasim_run({"--help"});
    EXPECT_EQ(r.exit_code, 0);
    for (const char* word : {"init", "show", "reboot", "fault add", "log", "rc=N", "--nth"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(HbasimCli, InitShowAndRejectedFleet) {
    hbatest::TempState st;
    auto r = hbasim_run({"show"}); // seeds the default fleet
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const char* word : {"4 adapters", "FC1", "CNA2", "Scsi5", "10:00:02:1F:3C:03:01:00",
                             "pci 0000:30:00.2", "firmware active 11.4.204.20", "link up"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    const std::string good = st.path("good.fleet");
    hbatest::write_file(good, "adapter X fc\nfunction fc link = down\n");
    r = hbasim_run({"init", "--fleet", good});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string shown = hbasim_run({"show"}).out;
    EXPECT_NE(shown.find("1 adapters"), std::string::npos) << shown;
    EXPECT_NE(shown.find("link down"), std::string::npos) << shown;

    const std::string bad = st.path("bad.fleet");
    hbatest::write_file(bad, "adapter X fc\nfunction fc\n  wwnp = 1\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"init", "--fleet", bad}, {"check", bad}}) {
        r = hbasim_run(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(bad + ":3: unknown key 'wwnp'"), std::string::npos) << r.err;
    }
    EXPECT_EQ(hbasim_run({"show"}).out, shown); // unchanged

    r = hbasim_run({"init", "--fleet", st.path("missing.fleet")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos);
}

TEST(HbasimCli, RebootMakesFlashActive) {
    hbatest::TempState st;
    st.init("adapter A cv3 fw_active = 1.1.1.1 fw_flash = 2.2.2.2\nfunction nic\n");
    auto r = hbasim_run({"reboot"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string fw;
    hbasim::read_adapter(0, [&](const hbasim::Adapter& a) { fw = a.attrs.get("fw_active"); });
    EXPECT_EQ(fw, "2.2.2.2");
}

TEST(HbasimCli, FaultsAndJournal) {
    hbatest::TempState st;
    st.init();
    EXPECT_EQ(hbasim_run({"fault", "add", "mbx", "READ_NV", "status=0xFFF7"}).exit_code, 0);
    EXPECT_EQ(hbasim_run({"fault", "clear"}).exit_code, 0);
    auto r = hbasim_run({"fault", "add", "drv", "0x80000203", "rc=5", "--port", "2", "--nth", "1"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto faults = hbasim::fault_list();
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].action, "rc=5");
    EXPECT_EQ(faults[0].port, 2);
    EXPECT_EQ(faults[0].nth, 1);
    r = hbasim_run({"fault", "list"});
    EXPECT_NE(r.out.find("drv 0x80000203 rc=5 port=2 nth=1"), std::string::npos) << r.out;
    EXPECT_EQ(hbasim_run({"fault", "clear"}).exit_code, 0);
    EXPECT_TRUE(hbasim::fault_list().empty());

    hbasim::journal("drv", "one");
    hbasim::journal("drv", "two");
    r = hbasim_run({"log", "--tail", "1"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("two"), std::string::npos);
    EXPECT_EQ(r.out.find("one"), std::string::npos);
    EXPECT_EQ(hbasim_run({"log", "clear"}).exit_code, 0);
    hbasim::journal("drv", "three"); // the cleared journal is noticed
    r = hbasim_run({"log"});
    EXPECT_EQ(r.out.find("two"), std::string::npos);
    EXPECT_NE(r.out.find("three"), std::string::npos);
}

TEST(HbasimCli, CorruptStateIsReportedNotCrashed) {
    hbatest::TempState st;
    st.init();
    const std::string file = hbasim::adapter_file(2);
    hbatest::write_file(file, "garbage");
    auto r = hbasim_run({"show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find(file + " is corrupt"), std::string::npos) << r.err;
    EXPECT_EQ(hbasim_run({"init"}).exit_code, 0); // init repairs it
    EXPECT_EQ(hbasim_run({"show"}).exit_code, 0);
}

TEST(HbasimCli, FleetAndSchemaListings) {
    hbatest::TempState st;
    auto r = hbasim_run({"fleet"});
    ASSERT_EQ(r.exit_code, 0);
    const std::string copy = st.path("copy.fleet");
    hbatest::write_file(copy, r.out);
    r = hbasim_run({"check", copy});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("4 adapters"), std::string::npos) << r.out;
    r = hbasim_run({"schema"});
    ASSERT_EQ(r.exit_code, 0);
    for (size_t i = 0; i < hbasim::kAdapterKindCount; ++i)
        EXPECT_NE(r.out.find(std::string("  ") + hbasim::kAdapterKinds[i].kind + " "),
                  std::string::npos);
    EXPECT_NE(r.out.find("scsi_port"), std::string::npos);
}
