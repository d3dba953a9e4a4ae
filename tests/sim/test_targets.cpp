// The "targets" fleet key: its defaults, the text form read back in canonical
// form, and the descriptions a fleet is rejected for.
#include <gtest/gtest.h>

#include "sim/core/sim_model.h"
#include "sim/core/target_list.h"

using namespace hbasim;

namespace {

TEST(Targets, DefaultsAndCanonicalForm) {
    std::vector<SimTarget> ts;
    std::string why;
    ASSERT_TRUE(parse_targets("50:06:0E:80:00:00:00:01 luns=0-2,3:masked,7:offline:masked; "
                              "50:06:0E:80:00:00:00:02 tid=5 state=notready npiv=no unmask=yes "
                              "blocks=99 bs=4096",
                              &ts, &why))
        << why;
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].wwnn[0], 0x58);
    EXPECT_EQ(ts[0].d_id, 0x020001u);
    EXPECT_EQ(ts[0].tid, 0u);
    ASSERT_EQ(ts[0].luns.size(), 5u);
    EXPECT_TRUE(ts[0].luns[3].masked);
    EXPECT_TRUE(ts[0].luns[4].offline && ts[0].luns[4].masked);
    EXPECT_EQ(ts[1].d_id, 0x020002u);
    EXPECT_FALSE(ts[1].ready || ts[1].npiv);
    EXPECT_TRUE(ts[1].unmask);

    const std::string text = format_targets(ts);
    EXPECT_EQ(text, "50:06:0E:80:00:00:00:01 wwnn=58:06:0E:80:00:00:00:01 did=0x020001 path=0 "
                    "tid=0 luns=0-2,3:masked,7:masked:offline; 50:06:0E:80:00:00:00:02 "
                    "wwnn=58:06:0E:80:00:00:00:02 did=0x020002 path=0 tid=5 state=notready "
                    "npiv=no unmask=yes blocks=99 bs=4096");
    std::vector<SimTarget> again;
    ASSERT_TRUE(parse_targets(text, &again, &why)) << why;
    EXPECT_EQ(format_targets(again), text);
    EXPECT_TRUE(parse_targets("  ", &again, &why));
    EXPECT_TRUE(again.empty());
}

TEST(Targets, FleetRejectsBadDescriptions) {
    struct Case {
        const char* targets;
        const char* message;
    };
    const Case cases[] = {
        {"xx luns=0", "does not start with a WWPN"},
        {"50:06:0E:80:00:00:00:01 luns=0-256", "bad LUN item"},
        {"50:06:0E:80:00:00:00:01 luns=3-1", "bad LUN item"},
        {"50:06:0E:80:00:00:00:01 luns=1,1", "LUN 1 twice"},
        {"50:06:0E:80:00:00:00:01 luns=1:gone", "unknown LUN flag"},
        {"50:06:0E:80:00:00:00:01 colour=red", "unknown target field"},
        {"50:06:0E:80:00:00:00:01 did=0", "bad value"},
        {"50:06:0E:80:00:00:00:01 tid=1 tid=2", "twice"},
        {"50:06:0E:80:00:00:00:01; 50:06:0E:80:00:00:00:01", "twice"},
        {"50:06:0E:80:00:00:00:01 did=5; 50:06:0E:80:00:00:00:02 did=5", "D_ID"},
        {"50:06:0E:80:00:00:00:01; 50:06:0E:80:00:00:00:02 tid=0", "path 0 tid 0"},
        {"50:06:0E:80:00:00:00:01 luns", "key=value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.targets);
        Machine m;
        FleetError err;
        const std::string text =
            std::string("adapter A fc\nfunction fc targets = \"") + c.targets + "\"\n";
        EXPECT_EQ(parse_fleet(text, &m, &err), SIM_ERR_FLEET);
        EXPECT_EQ(err.line, 2);
        EXPECT_NE(err.message.find(c.message), std::string::npos) << err.message;
    }
}

TEST(Targets, DerivedPerFunction) {
    Machine m;
    FleetError err;
    ASSERT_EQ(parse_fleet("adapter A fc\nfunction fc\nfunction fc targets = \"\"\n", &m, &err),
              SIM_OK)
        << err.message;
    std::vector<SimTarget> ts;
    std::string why;
    ASSERT_TRUE(parse_targets(m.adapters[0].funcs[0].attrs.get("targets"), &ts, &why)) << why;
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ(ts[0].luns.size(), 4u);
    EXPECT_EQ(ts[1].luns.size(), 2u);
    EXPECT_EQ(ts[0].d_id, 0x020101u);
    EXPECT_EQ(m.adapters[0].funcs[1].attrs.get("targets"), "");
}

} // namespace
