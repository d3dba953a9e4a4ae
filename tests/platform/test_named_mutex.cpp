// Cross-process named mutexes: lock names, ownership across processes and threads.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>

#include "platform/platform.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

using plattest::Signal;

namespace {

const char kName[] = "Global\\LibtgxLogFileMutex";

class NamedMutex : public ::testing::Test {
  protected:
    hbatest::TempState state;
};

// A child that opens and takes the mutex, tells the parent, then waits to be killed.
pid_t start_holder(Signal& ready) {
    return plattest::start_child([&ready] {
        PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
        if (!m || plat_named_mutex_wait(m, 0) != PLAT_WAIT_OK) return 1;
        ready.notify();
        for (;;)
            pause();
    });
}

TEST_F(NamedMutex, LockFileNameIsSafe) {
    PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
    ASSERT_NE(m, nullptr);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(state.path("locks"))) {
        const std::string n = e.path().filename().string();
        EXPECT_EQ(n.find('\\'), std::string::npos) << n;
        if (n.find("LibtgxLogFileMutex") != std::string::npos) files++;
    }
    EXPECT_GT(files, 0);
    // Names that differ only in the separator stay distinct mutexes.
    bool existed = true;
    PlatNamedMutex other = plat_named_mutex_open("Global_LibtgxLogFileMutex", &existed);
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(existed);
    plat_named_mutex_close(other);
    plat_named_mutex_close(m);
    EXPECT_EQ(plat_named_mutex_open("", nullptr), nullptr);
}

TEST_F(NamedMutex, ExistedFlagTracksLiveHandles) {
    bool existed = true;
    PlatNamedMutex a = plat_named_mutex_open(kName, &existed);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(existed);
    PlatNamedMutex b = plat_named_mutex_open(kName, &existed);
    EXPECT_TRUE(existed);
    plat_named_mutex_close(a);
    plat_named_mutex_close(b);
    PlatNamedMutex c = plat_named_mutex_open(kName, &existed);
    EXPECT_FALSE(existed) << "every handle was closed";

    // A child process opening the name sees this process's handle.
    EXPECT_EQ(plattest::in_child([] {
                  bool ex = false;
                  PlatNamedMutex m = plat_named_mutex_open(kName, &ex);
                  return m && ex ? 0 : 1;
              }),
              0);
    plat_named_mutex_close(c);

    // A handle held by a live child counts; once the child is gone it does not.
    Signal ready;
    pid_t holder = start_holder(ready);
    ASSERT_TRUE(ready.wait());
    PlatNamedMutex d = plat_named_mutex_open(kName, &existed);
    EXPECT_TRUE(existed);
    plat_named_mutex_close(d);
    kill(holder, SIGKILL);
    plattest::wait_child(holder);
    d = plat_named_mutex_open(kName, &existed);
    EXPECT_FALSE(existed);
    plat_named_mutex_close(d);
}

TEST_F(NamedMutex, OtherProcessBlocksUntilItDies) {
    Signal ready;
    pid_t holder = start_holder(ready);
    ASSERT_TRUE(ready.wait());
    PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
    ASSERT_NE(m, nullptr);

    uint64_t t0 = plat_tick_ms();
    EXPECT_EQ(plat_named_mutex_wait(m, 150), PLAT_WAIT_TIMEOUT);
    uint64_t waited = plat_tick_ms() - t0;
    EXPECT_GE(waited, 140u); // a real wait, even with instant sleeps
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ(plat_named_mutex_wait(m, 0), PLAT_WAIT_TIMEOUT);

    kill(holder, SIGKILL);
    plattest::wait_child(holder);
    EXPECT_EQ(plat_named_mutex_wait(m, 5000), PLAT_WAIT_OK);
    plat_named_mutex_release(m);
    plat_named_mutex_close(m);
}

TEST_F(NamedMutex, WaiterGetsItWhenOwnerReleases) {
    Signal ready, go;
    pid_t child = plattest::start_child([&] {
        PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
        if (!m || plat_named_mutex_wait(m, 0) != PLAT_WAIT_OK) return 1;
        ready.notify();
        go.wait();
        plat_named_mutex_release(m);
        return 0;
    });
    ASSERT_TRUE(ready.wait());
    PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
    go.notify();
    EXPECT_EQ(plat_named_mutex_wait(m, PLAT_WAIT_INFINITE), PLAT_WAIT_OK);
    EXPECT_EQ(plattest::wait_child(child), 0);
    plat_named_mutex_release(m);
    plat_named_mutex_close(m);
}

struct ThreadTry {
    PlatNamedMutex m;
    uint32_t timeout;
};

uint32_t try_from_thread(void* p) {
    auto* t = static_cast<ThreadTry*>(p);
    int rc = plat_named_mutex_wait(t->m, t->timeout);
    if (rc == PLAT_WAIT_OK) plat_named_mutex_release(t->m);
    return (uint32_t)rc;
}

TEST_F(NamedMutex, RecursiveForOwnerThreadExclusiveForOthers) {
    PlatNamedMutex m = plat_named_mutex_open(kName, nullptr);
    PlatNamedMutex second = plat_named_mutex_open(kName, nullptr); // same mutex
    ASSERT_EQ(plat_named_mutex_wait(m, 0), PLAT_WAIT_OK);
    ASSERT_EQ(plat_named_mutex_wait(second, 0), PLAT_WAIT_OK);

    ThreadTry t{m, 50};
    EXPECT_EQ(plat_thread_join(plat_thread_start(try_from_thread, &t)),
              (uint32_t)PLAT_WAIT_TIMEOUT);
    plat_named_mutex_release(second);
    EXPECT_EQ(plat_thread_join(plat_thread_start(try_from_thread, &t)), (uint32_t)PLAT_WAIT_TIMEOUT)
        << "still held once";
    // Another process is kept out as well.
    EXPECT_EQ(plattest::in_child([] {
                  PlatNamedMutex c = plat_named_mutex_open(kName, nullptr);
                  return plat_named_mutex_wait(c, 20) == PLAT_WAIT_TIMEOUT ? 0 : 1;
              }),
              0);
    plat_named_mutex_release(m);
    EXPECT_EQ(plat_thread_join(plat_thread_start(try_from_thread, &t)), (uint32_t)PLAT_WAIT_OK);
    plat_named_mutex_release(m); // not held: ignored
    plat_named_mutex_close(second);
    plat_named_mutex_close(m);
}

struct Counter {
    PlatNamedMutex m;
    int value;
    std::atomic<int> failures;
};

uint32_t count_under_lock(void* p) {
    auto* c = static_cast<Counter*>(p);
    for (int i = 0; i < 200; ++i) {
        if (plat_named_mutex_wait(c->m, 5000) != PLAT_WAIT_OK) {
            c->failures++;
            continue;
        }
        int v = c->value;
        sched_yield();
        c->value = v + 1;
        plat_named_mutex_release(c->m);
    }
    return 0;
}

TEST_F(NamedMutex, SerialisesThreads) {
    Counter c{plat_named_mutex_open(kName, nullptr), 0, {0}};
    PlatThread ts[4];
    for (auto& t : ts)
        t = plat_thread_start(count_under_lock, &c);
    for (auto& t : ts)
        plat_thread_join(t);
    EXPECT_EQ(c.value, 800);
    EXPECT_EQ(c.failures.load(), 0);
    plat_named_mutex_close(c.m);
}

} // namespace
