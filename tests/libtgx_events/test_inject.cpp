// hbasim inject as a user runs it: what each kind leaves in the machine for
// the driver to report, and the arguments it refuses.
#include "tests/libtgx_events/events_fixture.h"

namespace {

using namespace evtest;

class Inject : public EventTest {
  protected:
    static hbatest::RunResult hbasim(const std::vector<std::string>& args) {
        std::vector<std::string> a = {"inject"};
        a.insert(a.end(), args.begin(), args.end());
        return hbatest::run(hbatest::bin_path("hbasim"), a);
    }
    static void push_request() {
        hbasim::update_adapter(0, [](hbasim::Adapter& a) {
            hbasim::ct_inbox_push(a.funcs[0], 1, hbasim::ct_default_request(1));
            return true;
        });
    }
};

TEST_F(Inject, EachKindLeavesItsEvent) {
    st.init(kMiniFc);
    ASSERT_EQ(hbasim({"dump", "0"}).exit_code, 0);
    EXPECT_EQ(attr("dump_pending"), "0x80000000");
    ASSERT_EQ(hbasim({"dump", "0", "word=0x10000000"}).exit_code, 0);
    EXPECT_EQ(attr("dump_pending"), "0x10000000");
    ASSERT_EQ(hbasim({"temp", "0", "type=3", "value=90"}).exit_code, 0);
    EXPECT_EQ(attr("temp_event"), "3");
    EXPECT_EQ(attr("temperature"), "90");
    hbatest::RunResult r = hbasim({"ct", "0", "gstype=0xFA", "data=0a0B"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "tag 1\n");
    EXPECT_EQ(hbasim({"ct", "0", "gstype=1"}).out, "tag 2\n");
}

TEST_F(Inject, RefusedArguments) {
    st.init(kMiniFc);
    struct Case {
        std::vector<std::string> args;
        int exit;
    };
    const Case cases[] = {
        {{}, 2},
        {{"dump"}, 2},
        {{"quake", "0"}, 2},
        {{"dump", "x"}, 2},
        {{"dump", "256"}, 2},
        {{"dump", "5"}, 1}, // no function on that port
        {{"dump", "0", "word=0x100000000"}, 2},
        {{"dump", "0", "type=1"}, 2},
        {{"temp", "0"}, 2},
        {{"temp", "0", "type=4"}, 2},
        {{"temp", "0", "type=1", "value=-1"}, 2},
        {{"ct", "0"}, 2},
        {{"ct", "0", "gstype=0x100"}, 2},
        {{"ct", "0", "gstype=1", "data=abc"}, 2},
        {{"ct", "0", "gstype=1", "data=zz"}, 2},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        EXPECT_EQ(hbasim(c.args).exit_code, c.exit);
    }
    EXPECT_EQ(attr("dump_pending"), "<none>");
    EXPECT_EQ(attr("temp_event"), "<none>");
    // The queue of waiting CT requests is bounded.
    for (int i = 0; i < 32; ++i)
        push_request();
    EXPECT_EQ(hbasim({"ct", "0", "gstype=1"}).exit_code, 1);
}

} // namespace
