// Concurrency of SD registrations and RSCN watchers: threads registering,
// unregistering and receiving at once with events raised meanwhile, no
// callback after an unregistration returned, unregistration from inside a
// callback, and every thread gone after the release.
#include <atomic>
#include <thread>

#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

using RegisterEventFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using UnregisterEventFn = uint32_t (*)(uint32_t, void*);

// One registration's context: callbacks after `ended` was set count as late.
struct Reg {
    std::atomic<bool> ended{false};
};
std::atomic<int> g_late{0};
std::atomic<int> g_calls{0};
std::atomic<int> g_rscnLate{0};
std::atomic<bool> g_rscnOpen{false};

void counting_cb(uint32_t, HBA_wwn, uint32_t, uint32_t, void* ctx, SdEventData*) {
    ++g_calls;
    if (static_cast<Reg*>(ctx)->ended.load()) ++g_late;
}

void rscn_cb(uint32_t, const uint8_t*, uint32_t) {
    if (!g_rscnOpen.load()) ++g_rscnLate;
}

TEST_F(SdTest, RegisterUnregisterAndReceiveAtOnce) {
    g_late = 0;
    g_calls = 0;
    g_rscnLate = 0;
    auto regEvent = fn<RegisterEventFn>("TGX_RegisterForEvent");
    auto unregEvent = fn<UnregisterEventFn>("TGX_unRegisterForEvent");
    const int kRounds = 25;
    std::vector<std::unique_ptr<Reg>> regs(4 * kRounds);
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};

    // Four threads with a subcategory each (two categories, two boards).
    std::vector<std::thread> workers;
    for (uint32_t t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            const uint32_t board = t % 2, cat = t < 2 ? 4u : 1u, sub = 1u << t;
            for (int r = 0; r < kRounds; ++r) {
                Reg* ctx = (regs[t * kRounds + r] = std::make_unique<Reg>()).get();
                uint32_t h = 0;
                if (reg(board, port((uint8_t)(board + 1)), cat, sub, ctx, &h, counting_cb) != 0) {
                    ++failures;
                    continue;
                }
                force(board, cat, sub);
                if (unreg(board, port((uint8_t)(board + 1)), h) != 0) ++failures;
                ctx->ended = true;
            }
        });
    }
    // Events of every kind meanwhile.
    std::thread raiser([&] {
        while (!done.load()) {
            for (uint32_t t = 0; t < 4; ++t)
                force(t % 2, t < 2 ? 4u : 1u, 1u << t);
            std::this_thread::yield();
        }
    });
    // An RSCN watcher that comes and goes while RSCNs arrive.
    std::thread watcher([&] {
        for (int r = 0; r < 8; ++r) {
            g_rscnOpen = true;
            void* id = regEvent(1, TGX_EVENT_PORT_RSCN, 0, 64,
                                reinterpret_cast<TGX_EventCallback>(rscn_cb), nullptr);
            if (!id) {
                ++failures;
                continue;
            }
            for (const HbaMgmtEvent& e : hbasim::wmi_rscn_events(port(2).wwn, {1, 2, 3}))
                raise(1, 1, port(2), e);
            if (unregEvent(1, id) != 0) ++failures;
            g_rscnOpen = false;
        }
    });
    for (std::thread& w : workers)
        w.join();
    watcher.join();
    done = true;
    raiser.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(g_late.load(), 0);
    EXPECT_EQ(g_rscnLate.load(), 0);
    EXPECT_GT(g_calls.load(), 0);
    ASSERT_EQ(fn<FreeFn>("TGX_FreeDiagEnv")(), 0u);
    EXPECT_EQ(settle_threads(baseline), baseline);
    EXPECT_EQ(plat_event_count(), eventBaseline);
    EXPECT_EQ(plat_mgmt_thread_count(), 0u);
}

// A callback that ends its own registration, and one that registers anew.
UnregisterFn g_unreg = nullptr;
RegisterFn g_reg = nullptr;
std::atomic<uint32_t> g_selfHandle{0};
std::atomic<uint32_t> g_selfStatus{99};
std::atomic<uint32_t> g_againStatus{99};

void self_ending_cb(uint32_t board, HBA_wwn wwpn, uint32_t cat, uint32_t sub, void* ctx,
                    SdEventData* d) {
    g_selfStatus = g_unreg(board, wwpn, g_selfHandle.load());
    uint32_t h = 0;
    g_againStatus = g_reg(board, wwpn, cat, sub, ctx, &h, record_cb);
    record_cb(board, wwpn, cat, sub, ctx, d);
}

TEST_F(SdTest, CallbackEndsItsOwnRegistrationAndRegistersAgain) {
    g_unreg = unreg;
    g_reg = reg;
    uint32_t h = 0;
    ASSERT_EQ(reg(0, port(1), 2, 4, (void*)5, &h, self_ending_cb), 0u);
    g_selfHandle = h;
    ASSERT_EQ(force(0, 2, 4), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    EXPECT_EQ(g_selfStatus.load(), 0u);
    EXPECT_EQ(g_againStatus.load(), 0u);
    // The registration made inside the callback works with the same dispatcher.
    ASSERT_EQ(force(0, 2, 4), 0u);
    ASSERT_TRUE(inbox().wait_for(2));
    ASSERT_EQ(fn<FreeFn>("TGX_FreeDiagEnv")(), 0u);
    EXPECT_EQ(settle_threads(baseline), baseline);
}

UnregisterEventFn g_unregEvent = nullptr;
std::atomic<void*> g_watchId{nullptr};
std::atomic<uint32_t> g_watchSelf{99};

void self_stopping_rscn(uint32_t board, const uint8_t*, uint32_t) {
    g_watchSelf = g_unregEvent(board, g_watchId.load());
}

TEST_F(SdTest, WatcherCallbackCannotStopItsOwnWatcher) {
    g_unregEvent = fn<UnregisterEventFn>("TGX_unRegisterForEvent");
    void* id = fn<RegisterEventFn>("TGX_RegisterForEvent")(
        0, TGX_EVENT_PORT_RSCN, 0, 8, reinterpret_cast<TGX_EventCallback>(self_stopping_rscn),
        nullptr);
    ASSERT_NE(id, nullptr);
    g_watchId = id;
    for (const HbaMgmtEvent& e : hbasim::wmi_rscn_events(port(1).wwn, {1, 2}))
        ASSERT_EQ(raise(0, 1, port(1), e), 1);
    EXPECT_TRUE(within_bound([] { return g_watchSelf.load() != 99; }));
    EXPECT_EQ(g_watchSelf.load(), 1u);
    EXPECT_EQ(g_unregEvent(0, id), 0u);
    EXPECT_EQ(settle_threads(baseline + 2), baseline + 2); // the connection's two threads
}

} // namespace
} // namespace sdtest

namespace sdtest {
namespace {

FreeFn g_free = nullptr;
std::atomic<int> g_releasedInCallback{0};

void releasing_rscn(uint32_t, const uint8_t*, uint32_t) {
    g_free();
    ++g_releasedInCallback;
}

TEST_F(SdTest, ReleaseFromAWatchersCallback) {
    g_free = fn<FreeFn>("TGX_FreeDiagEnv");
    g_releasedInCallback = 0;
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 4, 1, &h), 0u);
    void* id = fn<RegisterEventFn>("TGX_RegisterForEvent")(
        0, TGX_EVENT_PORT_RSCN, 0, 8, reinterpret_cast<TGX_EventCallback>(releasing_rscn), nullptr);
    ASSERT_NE(id, nullptr);
    for (const HbaMgmtEvent& e : hbasim::wmi_rscn_events(port(1).wwn, {1, 2}))
        ASSERT_EQ(raise(0, 1, port(1), e), 1);
    EXPECT_TRUE(within_bound([] { return g_releasedInCallback.load() != 0; }));
    EXPECT_EQ(g_releasedInCallback.load(), 1);
    // The watcher ends after its callback; unloading the library ends the rest.
    lib.reset();
    EXPECT_EQ(plat_thread_count(), 0u);
    EXPECT_EQ(plat_mgmt_thread_count(), 0u);
}

} // namespace
} // namespace sdtest
