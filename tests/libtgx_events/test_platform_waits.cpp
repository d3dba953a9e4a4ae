// The platform pieces the event threads rely on: scaled poll waits, buffer
// tokens, overlapped requests on backends with and without them, and the
// thread and event counts the other tests compare with their baseline.
#include <cstdlib>

#include "tests/libtgx_events/events_fixture.h"

namespace {

using namespace evtest;

struct ScaleEnv {
    explicit ScaleEnv(const char* v) { setenv("PLAT_SLEEP_SCALE", v, 1); }
    ~ScaleEnv() { setenv("PLAT_SLEEP_SCALE", "0", 1); }
};

TEST(PlatformWaits, ScaledPollPeriods) {
    struct Case {
        const char* scale;
        uint32_t ms, scaled;
    };
    const Case cases[] = {{"0", 30000, 1},   {"0", 0, 0},  {"100", 5000, 5000},
                          {"10", 3000, 300}, {"1", 50, 1}, {"200", 100, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scale) + " " + std::to_string(c.ms));
        ScaleEnv env(c.scale);
        EXPECT_EQ(plat_scaled_ms(c.ms), c.scaled);
    }
    // A set event ends a scaled wait at once; an unset one times out even at
    // scale 0 (after blocking, not spinning).
    ScaleEnv env("0");
    PlatEvent e = plat_event_create(false, true);
    EXPECT_EQ(plat_event_wait_scaled(e, 30000), PLAT_WAIT_OK);
    EXPECT_EQ(plat_event_wait_scaled(e, 30000), PLAT_WAIT_TIMEOUT);
    plat_event_destroy(e);
}

TEST(PlatformWaits, BufferTokens) {
    uint8_t a[16] = {}, b[32] = {};
    const uint32_t ta = plat_buf_token_get(a, sizeof a);
    const uint32_t tb = plat_buf_token_get(b, sizeof b);
    ASSERT_NE(ta, 0u);
    ASSERT_NE(tb, 0u);
    EXPECT_NE(ta, tb);
    uint32_t size = 0;
    EXPECT_EQ(plat_buf_token_lookup(tb, &size), b);
    EXPECT_EQ(size, sizeof b);
    plat_buf_token_release(ta);
    EXPECT_EQ(plat_buf_token_lookup(ta, &size), nullptr);
    EXPECT_EQ(plat_buf_token_lookup(0, &size), nullptr);
    EXPECT_EQ(plat_buf_token_lookup(0xFFFFFFFF, &size), nullptr);
    EXPECT_EQ(plat_buf_token_get(nullptr, 4), 0u);
    plat_buf_token_release(tb);
}

TEST(PlatformWaits, CountsFollowThreadsAndEvents) {
    const uint32_t threads = plat_thread_count(), events = plat_event_count();
    PlatEvent e = plat_event_create(true, false);
    PlatThread t = plat_thread_start(
        [](void* arg) -> uint32_t {
            return (uint32_t)plat_event_wait(static_cast<PlatEvent>(arg), PLAT_WAIT_INFINITE);
        },
        e);
    EXPECT_EQ(plat_thread_count(), threads + 1);
    EXPECT_EQ(plat_event_count(), events + 1);
    plat_event_set(e);
    EXPECT_EQ(plat_thread_join(t), (uint32_t)PLAT_WAIT_OK);
    plat_event_destroy(e);
    EXPECT_EQ(plat_thread_count(), threads);
    EXPECT_EQ(plat_event_count(), events);
}

class Overlapped : public EventTest {};

// A post stays pending until a request arrives, an owner's cancel ends it,
// and a backend without overlapped requests answers at once.
TEST_F(Overlapped, PendingReceiveCompletesOrIsCancelled) {
    st.init(kMiniFc);
    PlatHandle h = plat_dev_open("\\\\.\\TsvRma0");
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> block(TGX_CT_RCV_SIZE, 0);
    wr32(block.data(), 0x44);
    uint32_t returned = 0;
    PlatPending op = nullptr;
    ASSERT_EQ(plat_dev_submit(h, TGX_IOCTL_MGMT_POST_RECEIVE, block.data(), TGX_CT_RCV_SIZE,
                              nullptr, 0, &returned, &op),
              (uint32_t)PLAT_ERR_IO_PENDING);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(plat_dev_pending_count(), pending0 + 1);
    EXPECT_EQ(plat_dev_wait(op, 100, &returned), (uint32_t)PLAT_ERR_IO_PENDING);
    inject({"ct", "0", "gstype=0x44", "data=0102"});
    EXPECT_EQ(plat_dev_wait(op, PLAT_WAIT_INFINITE, &returned), (uint32_t)PLAT_ERR_NONE);
    std::vector<uint8_t> out(TGX_CT_RCV_SIZE, 0);
    ASSERT_TRUE(plat_dev_control(h, TGX_IOCTL_MGMT_RECEIVE, block.data(), TGX_CT_RCV_SIZE,
                                 out.data(), TGX_CT_RCV_SIZE, &returned));
    EXPECT_EQ(returned, TGX_CT_RCV_OFF_DATA + 2u);
    EXPECT_EQ(rd32(out.data() + TGX_CT_RCV_OFF_LENGTH), 2u);
    EXPECT_EQ(out[TGX_CT_RCV_OFF_DATA + 1], 0x02);

    ASSERT_EQ(plat_dev_submit(h, TGX_IOCTL_MGMT_POST_RECEIVE, block.data(), TGX_CT_RCV_SIZE,
                              nullptr, 0, &returned, &op),
              (uint32_t)PLAT_ERR_IO_PENDING);
    plat_dev_cancel(op);
    EXPECT_EQ(plat_dev_wait(op, PLAT_WAIT_INFINITE, &returned), (uint32_t)PLAT_ERR_CANCELLED);
    EXPECT_EQ(plat_dev_pending_count(), pending0);
    plat_dev_close(h);

    // Without overlapped requests the post is an ordinary request, which the
    // simulated driver refuses (it cannot keep it).
    static HbaDriverBackend plain = {HBA_DRIVER_BACKEND_VERSION, hba_driver_backend()->open,
                                     hba_driver_backend()->control, hba_driver_backend()->close};
    plat_dev_set_backend(&plain);
    h = plat_dev_open("\\\\.\\TsvRma0");
    ASSERT_NE(h, nullptr);
    op = reinterpret_cast<PlatPending>(&plain);
    EXPECT_EQ(plat_dev_submit(h, TGX_IOCTL_MGMT_POST_RECEIVE, block.data(), TGX_CT_RCV_SIZE,
                              nullptr, 0, &returned, &op),
              (uint32_t)PLAT_ERR_INVALID_PARAM);
    EXPECT_EQ(op, nullptr);
    EXPECT_EQ(plat_dev_submit(h, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &returned, &op),
              (uint32_t)PLAT_ERR_NONE);
    plat_dev_close(h);
    EXPECT_EQ(plat_dev_pending_count(), pending0);
}

} // namespace
