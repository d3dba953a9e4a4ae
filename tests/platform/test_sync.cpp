// Events (reset modes, timed waits, waking waiters) and the recursive mutex.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"

namespace {

TEST(Event, ResetModes) {
    struct {
        bool manual;
        bool initial;
        int first, second; // results of two zero-timeout waits in a row
    } cases[] = {
        {true, true, PLAT_WAIT_OK, PLAT_WAIT_OK},
        {false, true, PLAT_WAIT_OK, PLAT_WAIT_TIMEOUT},
        {true, false, PLAT_WAIT_TIMEOUT, PLAT_WAIT_TIMEOUT},
        {false, false, PLAT_WAIT_TIMEOUT, PLAT_WAIT_TIMEOUT},
    };
    for (const auto& c : cases) {
        PlatEvent e = plat_event_create(c.manual, c.initial);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(plat_event_wait(e, 0), c.first) << c.manual << c.initial;
        EXPECT_EQ(plat_event_wait(e, 0), c.second) << c.manual << c.initial;
        plat_event_set(e);
        plat_event_reset(e);
        EXPECT_EQ(plat_event_wait(e, 0), PLAT_WAIT_TIMEOUT);
        plat_event_destroy(e);
    }
}

TEST(Event, TimedWaitIsRealTime) {
    PlatEvent e = plat_event_create(false, false);
    uint64_t t0 = plat_tick_ms();
    EXPECT_EQ(plat_event_wait(e, 60), PLAT_WAIT_TIMEOUT);
    EXPECT_GE(plat_tick_ms() - t0, 55u);
    plat_event_destroy(e);
}

struct Pingpong {
    PlatEvent start;
    PlatEvent done;
    std::atomic<int> woke{0};
};

uint32_t waiter(void* p) {
    auto* s = static_cast<Pingpong*>(p);
    if (plat_event_wait(s->start, PLAT_WAIT_INFINITE) != PLAT_WAIT_OK) return 1;
    s->woke++;
    plat_event_set(s->done);
    return 42;
}

TEST(Event, WakesWaitingThreads) {
    // A manual event releases all waiters; an automatic one lets one through per set.
    for (bool manual : {true, false}) {
        Pingpong s{plat_event_create(manual, false), plat_event_create(false, false)};
        PlatThread a = plat_thread_start(waiter, &s);
        PlatThread b = plat_thread_start(waiter, &s);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        plat_event_set(s.start);
        EXPECT_EQ(plat_event_wait(s.done, 5000), PLAT_WAIT_OK);
        if (!manual) {
            EXPECT_EQ(plat_event_wait(s.done, 100), PLAT_WAIT_TIMEOUT);
            EXPECT_EQ(s.woke.load(), 1);
            plat_event_set(s.start);
        }
        EXPECT_EQ(plat_thread_join(a), 42u);
        EXPECT_EQ(plat_thread_join(b), 42u);
        EXPECT_EQ(s.woke.load(), 2);
        plat_event_destroy(s.start);
        plat_event_destroy(s.done);
    }
}

struct Shared {
    PlatMutex m;
    int value;
};

uint32_t add_many(void* p) {
    auto* s = static_cast<Shared*>(p);
    for (int i = 0; i < 10000; ++i) {
        plat_mutex_lock(s->m);
        plat_mutex_lock(s->m); // recursive
        s->value++;
        plat_mutex_unlock(s->m);
        plat_mutex_unlock(s->m);
    }
    return plat_thread_id();
}

TEST(Mutex, RecursiveAndExclusive) {
    Shared s{plat_mutex_create(), 0};
    ASSERT_NE(s.m, nullptr);
    PlatThread ts[3];
    for (auto& t : ts)
        t = plat_thread_start(add_many, &s);
    uint32_t ids[3];
    for (int i = 0; i < 3; ++i)
        ids[i] = plat_thread_join(ts[i]);
    EXPECT_EQ(s.value, 30000);
    EXPECT_NE(ids[0], plat_thread_id());
    EXPECT_NE(ids[0], ids[1]);

    plat_mutex_lock(s.m);
    EXPECT_TRUE(plat_mutex_trylock(s.m));
    PlatThread t = plat_thread_start(
        [](void* p) -> uint32_t { return plat_mutex_trylock(static_cast<PlatMutex>(p)) ? 1 : 0; },
        s.m);
    EXPECT_EQ(plat_thread_join(t), 0u);
    plat_mutex_unlock(s.m);
    plat_mutex_unlock(s.m);
    plat_mutex_destroy(s.m);
}

} // namespace
