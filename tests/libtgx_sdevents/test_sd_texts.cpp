// Trace lines of the SD event sinks, each category in its own wording, and of
// the RSCN assembly (the board a lost first fragment belongs to), read from the
// log of a library copy whose settings file switches tracing on.
#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

using RegisterEventFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using UnregisterEventFn = uint32_t (*)(uint32_t, void*);

void port_rscn_cb(uint32_t, const uint8_t*, uint32_t) {}

class SdTexts : public SdTest {
  protected:
    std::string dir;
    void SetUp() override {
        inbox().got.clear();
        plat_dev_set_backend(hba_driver_backend());
        st.init(kTwoPorts);
        dir = st.path("traced");
        lib = std::make_unique<hbatest::Library>(hbatest::traced_libtgx_copy(dir));
        ASSERT_TRUE(lib->loaded());
        reg = fn<RegisterFn>("TGX_SD_RegisterForEvent");
        unreg = fn<UnregisterFn>("TGX_SD_unRegisterForEvent");
        force = fn<ForceFn>("TGX_forceWMIEvent");
        baseline = thread_count();
    }
    std::string log() const { return hbatest::read_file(dir + "/LIBTGX.LOG"); }
};

TEST_F(SdTexts, EachCategorySinkLogsItsOwnLines) {
    struct Case {
        uint32_t category;
        const char* enter;
        const char* object;
        const char* queued;
    };
    const Case cases[] = {
        {1, "ELSEvent Indicate: cnt= 1 \n", "ELSEvent Indicate: board=0 subCat= 0x1\n",
         "**ELSEvent: qBuf=0 size="},
        {2, "FABRICEvent Indicate: event occured: cnt= 1\n",
         "FabricEvent Indicate: board= 0 subCat= 0x1\n", "**FabricEvent: qBuf=  0x       0 "},
        {4, "\n**SCSIEvent Indicate: cnt= 1\n", "ScsiEvent Indicate: board= 0 subCat= 0x1\n",
         "**ScsiEvent: qBuf=  0x       0 "},
        {8, "\n**BOARDEvent Indicate: cnt= 1 \n", "BoardEvent Indicate: board= 0 subCat= 0x1\n",
         "**BoardEvent: qBuf=  0x       0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.category);
        inbox().got.clear();
        uint32_t h = 0;
        ASSERT_EQ(add(0, port(1), c.category, 1, &h), 0u);
        ASSERT_EQ(force(0, c.category, 1), 0u);
        ASSERT_TRUE(inbox().wait_for(1));
        const std::string text = log();
        EXPECT_NE(text.find(c.enter), std::string::npos) << text;
        EXPECT_NE(text.find(c.object), std::string::npos);
        EXPECT_NE(text.find(c.queued), std::string::npos);
        ASSERT_EQ(unreg(0, port(1), h), 0u);
    }
    EXPECT_NE(log().find("ELSEvent: Wakeup Thread to process the data\n"), std::string::npos);
}

TEST_F(SdTexts, LostFirstFragmentNamesItsBoard) {
    // Board 1: the SD ELS sink and an RSCN watcher each get a middle and a
    // last fragment without their first, then a whole RSCN (its delivery
    // shows that the fragments before it were handled).
    uint32_t h = 0;
    ASSERT_EQ(add(1, port(2), 1, 32, &h), 0u);
    void* w = fn<RegisterEventFn>("TGX_RegisterForEvent")(
        1, TGX_EVENT_PORT_RSCN, 0, 64, reinterpret_cast<TGX_EventCallback>(port_rscn_cb), nullptr);
    ASSERT_NE(w, nullptr);
    const uint16_t kMiddle = 2 << 8, kLast = 3 << 8;
    ASSERT_EQ(raise(1, 1, port(2), event(32, kMiddle, 12, port(2), {1})), 1);
    ASSERT_EQ(raise(1, 1, port(2), event(32, kLast, 12, port(2), {2})), 1);
    ASSERT_EQ(raise(1, 1, port(2), event(32, 0, 4, port(2), {0x01020304u})), 1);
    ASSERT_TRUE(inbox().wait_for(1));
    const char* const lines[] = {
        "ELSEvent::Indicate: Didn't recv the 1st RSCN board=1\n",
        "ELSEvent::Indicate: Didn't recv the 1st RSCN board= 1\n",
        "QrlWmiEventELS::Indicate: Didn't recv the 1st RSCN board=1\n",
        "QrlWmiEventELS::Indicate: Didn't recv the 1st RSCN board= 1\n",
    };
    // The watcher's sink runs on its own subscription: wait for its lines.
    for (const char* line : lines)
        EXPECT_TRUE(within_bound([&] { return log().find(line) != std::string::npos; })) << line;
    EXPECT_EQ(fn<UnregisterEventFn>("TGX_unRegisterForEvent")(1, w), 0u);
    EXPECT_EQ(unreg(1, port(2), h), 0u);
}

} // namespace
} // namespace sdtest
