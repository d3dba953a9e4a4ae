// Dump and temperature event registration against the simulated driver: what
// fires a callback, registration refusals and slot rules, unregistration
// (no callback afterwards, own-callback refusal, foreign identifiers), the
// release of live registrations, and register/unregister stress.
#include "tests/libtgx_events/events_fixture.h"

namespace {

using namespace evtest;

std::atomic<int> g_dumps{0};
std::atomic<int> g_temps{0};
std::atomic<uint32_t> g_lastBoard{0xFFFFFFFF};
std::atomic<uint32_t> g_lastType{0};
std::atomic<uint32_t> g_lastTemp{0};
std::atomic<uint32_t> g_tempThread{0};

void on_dump(uint32_t board) {
    g_lastBoard = board;
    ++g_dumps;
}
void on_temp(uint32_t board, uint32_t type, uint32_t temp) {
    g_lastBoard = board;
    g_lastType = type;
    g_lastTemp = temp;
    g_tempThread = plat_thread_id();
    ++g_temps;
}
TGX_EventCallback dump_cb() {
    return reinterpret_cast<TGX_EventCallback>(on_dump);
}
TGX_EventCallback temp_cb() {
    return reinterpret_cast<TGX_EventCallback>(on_temp);
}

class DriverEvents : public EventTest {
  protected:
    void SetUp() override {
        EventTest::SetUp();
        g_dumps = 0;
        g_temps = 0;
        g_lastBoard = 0xFFFFFFFF;
        g_tempThread = 0;
    }
};

TEST_F(DriverEvents, DumpPollReplyDecidesTheCallback) {
    load();
    void* id = reg(0, TGX_EVENT_DUMP, dump_cb());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT) >= 1, true); // the register request
    EXPECT_EQ(rd32(sent(TGX_IOCTL_DRVDUMP_EVENT)[0].in.data() + TGX_ENV_HEADER_LENGTH),
              TGX_DUMP_EVENT_REGISTER);
    struct Case {
        const char* word;
        bool fires;
    };
    const Case cases[] = {{"0x10000000", true},
                          {"0x80000000", true},
                          {"0x40000000", true},
                          {"0x00000001", false},
                          {"0x0FFFFFFF", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        int before = g_dumps;
        set_attr("dump_pending", c.word);
        // The poll that reports the word also clears it.
        ASSERT_TRUE(eventually([] { return attr("dump_pending") == "<none>"; }));
        if (c.fires) {
            ASSERT_TRUE(eventually([&] { return g_dumps > before; }));
        }
        EXPECT_EQ(g_dumps - before, c.fires ? 1 : 0);
    }
    EXPECT_EQ(g_lastBoard, 0u);
    clear();
    EXPECT_EQ(unreg(0, id), 0u);
    std::vector<Sent> s = sent(TGX_IOCTL_DRVDUMP_EVENT);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(rd32(s[0].in.data() + TGX_ENV_HEADER_LENGTH), TGX_DUMP_EVENT_UNREGISTER);
    expectBaseline();
}

TEST_F(DriverEvents, InjectedFromAnotherProcess) {
    load();
    ASSERT_NE(reg(0, TGX_EVENT_DUMP, dump_cb()), nullptr);
    ASSERT_NE(reg(0, TGX_EVENT_TEMPERATURE, temp_cb()), nullptr);
    inject({"dump", "0"});
    inject({"temp", "0", "type=3", "value=91"});
    EXPECT_TRUE(eventually([] { return g_dumps == 1 && g_temps == 1; }));
    EXPECT_EQ(g_lastType, 3u);
    EXPECT_EQ(g_lastTemp, 91u);
    EXPECT_EQ(unreg(0, nullptr), 0u);
    expectBaseline();
}

TEST_F(DriverEvents, TemperatureEventBeforeRegistrationFiresOnTheCaller) {
    load();
    set_attr("temp_event", "2");
    set_attr("temperature", "77");
    void* id = reg(0, TGX_EVENT_TEMPERATURE, temp_cb());
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(g_temps, 1); // before the call returned
    EXPECT_EQ(g_tempThread, plat_thread_id());
    EXPECT_EQ(g_lastType, 2u);
    EXPECT_EQ(g_lastTemp, 77u);
    set_attr("temp_event", "1");
    ASSERT_TRUE(eventually([] { return g_temps == 2; }));
    EXPECT_NE(g_tempThread, plat_thread_id()); // later ones on the watcher
    EXPECT_EQ(unreg(0, id), 0u);
    expectBaseline();
}

TEST_F(DriverEvents, RegistrationRefusals) {
    struct Case {
        const char* name;
        const char* fleet;
        uint32_t board, mask;
        const char* key; // function attribute set before registering
        const char* value;
        bool request; // a driver request was made
    };
    const Case cases[] = {
        {"mask 8", kMiniFc, 0, 8, nullptr, nullptr, false},
        {"mask 0", kMiniFc, 0, 0, nullptr, nullptr, false},
        {"bad board", kMiniFc, 1, TGX_EVENT_DUMP, nullptr, nullptr, false},
        {"Port driver", "adapter A fc\nfunction fc\n", 0, TGX_EVENT_DUMP, nullptr, nullptr, false},
        {"dump events refused", kMiniFc, 0, TGX_EVENT_DUMP, "dump_events", "0", true},
        {"temperature not supported", kMiniFc, 0, TGX_EVENT_TEMPERATURE, "temp_events", "0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.fleet);
        if (c.key) set_attr(c.key, c.value);
        EXPECT_EQ(reg(c.board, c.mask, dump_cb()), nullptr);
        EXPECT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT) + count(TGX_IOCTL_TEMPERATURE_EVENT) > 0,
                  c.request);
        if (c.key) {
            // The slot was given back: once the driver agrees, the same call works.
            set_attr(c.key, "1");
            void* id = reg(c.board, c.mask, c.mask == TGX_EVENT_DUMP ? dump_cb() : temp_cb());
            EXPECT_NE(id, nullptr);
            EXPECT_EQ(unreg(c.board, id), 0u);
        }
        lib.reset();
        expectBaseline();
    }
}

TEST_F(DriverEvents, SlotsAndIdentifiers) {
    load(kTwoMiniFc);
    void* a = reg(0, TGX_EVENT_DUMP, dump_cb());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reg(0, TGX_EVENT_DUMP, dump_cb()), a); // same kind: same identifier
    void* b = reg(0, TGX_EVENT_TEMPERATURE, temp_cb());
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    void* other = reg(1, TGX_EVENT_DUMP, dump_cb());
    ASSERT_NE(other, nullptr);

    EXPECT_EQ(unreg(0, other), 1u);                      // a slot of board 1
    EXPECT_EQ(unreg(0, reinterpret_cast<void*>(8)), 1u); // no slot at all
    EXPECT_EQ(unreg(2, nullptr), 1u);                    // bad board
    EXPECT_EQ(unreg(0, a), 0u);
    clear();
    EXPECT_EQ(unreg(0, a), 0u); // already free: nothing sent
    EXPECT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT), 0u);
    EXPECT_EQ(unreg(0, nullptr), 0u); // the temperature watcher too
    EXPECT_EQ(unreg(1, nullptr), 0u);
    expectBaseline();
    // Freed slots are taken again.
    void* again = reg(0, TGX_EVENT_TEMPERATURE, temp_cb());
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(unreg(0, again), 0u);
    expectBaseline();
}

TEST_F(DriverEvents, NoCallbackAfterUnregisterReturns) {
    load();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        void* id = reg(0, TGX_EVENT_DUMP, dump_cb());
        ASSERT_NE(id, nullptr);
        const int before = g_dumps;
        set_attr("dump_pending", "0x80000000");
        // Every other round the event is delivered first; otherwise the
        // unregistration races the watcher's poll.
        if (round % 2) {
            ASSERT_TRUE(eventually([&] { return g_dumps == before + 1; }));
        }
        ASSERT_EQ(unreg(0, id), 0u);
        clear();
        const int after = g_dumps;
        // Nothing polls now (the watcher's thread is gone and no poll reaches
        // the driver): the event stays pending and no callback follows.
        set_attr("dump_pending", "0x80000000");
        EXPECT_EQ(plat_thread_count(), threads0);
        EXPECT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT), 0u);
        EXPECT_EQ(g_dumps, after);
        EXPECT_EQ(attr("dump_pending"), "0x80000000");
        set_attr("dump_pending", "0");
    }
    expectBaseline();
}

TEST_F(DriverEvents, ConcurrentRegistrationsOfOneKindShareTheSlot) {
    load();
    for (int round = 0; round < 10; ++round) {
        std::atomic<int> ready{0};
        void* ids[4] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready < 4)
                    std::this_thread::yield();
                ids[t] = reg(0, TGX_EVENT_TEMPERATURE, temp_cb());
            });
        }
        for (std::thread& t : threads)
            t.join();
        ASSERT_NE(ids[0], nullptr);
        for (void* id : ids)
            EXPECT_EQ(id, ids[0]);
        EXPECT_EQ(plat_thread_count(), threads0 + 1); // one watcher
        EXPECT_EQ(unreg(0, ids[0]), 0u);
    }
    expectBaseline();
}

void* g_ownId = nullptr;
UnregisterFn g_unreg = nullptr;
std::atomic<uint32_t> g_ownResult{99};
void unregister_self(uint32_t board) {
    g_ownResult = g_unreg(board, g_ownId);
    ++g_dumps;
}

TEST_F(DriverEvents, UnregisterFromItsOwnCallbackIsRefused) {
    load();
    g_unreg = fn<UnregisterFn>("TGX_unRegisterForEvent");
    g_ownId = reg(0, TGX_EVENT_DUMP, reinterpret_cast<TGX_EventCallback>(unregister_self));
    ASSERT_NE(g_ownId, nullptr);
    set_attr("dump_pending", "0x80000000");
    ASSERT_TRUE(eventually([] { return g_dumps == 1; }));
    EXPECT_EQ(g_ownResult, 1u);
    EXPECT_EQ(unreg(0, g_ownId), 0u);
    expectBaseline();
}

TEST_F(DriverEvents, FreeDiagEnvEndsLiveRegistrations) {
    load(kTwoMiniFc);
    ASSERT_NE(reg(0, TGX_EVENT_DUMP, dump_cb()), nullptr);
    ASSERT_NE(reg(0, TGX_EVENT_TEMPERATURE, temp_cb()), nullptr);
    ASSERT_NE(reg(1, TGX_EVENT_TEMPERATURE, temp_cb()), nullptr);
    EXPECT_GT(plat_thread_count(), threads0);
    EXPECT_EQ(freeEnv(), 0u);
    EXPECT_EQ(plat_dev_open_count(), open0); // every device handle closed
    EXPECT_EQ(plat_thread_count(), threads0);
    EXPECT_EQ(plat_event_count(), events0);
    clear();
    int dumps = g_dumps;
    set_attr("dump_pending", "0x80000000");
    EXPECT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT), 0u) << "nothing polls after the release";
    EXPECT_EQ(g_dumps, dumps);
    // Unloading afterwards finds nothing left to stop.
    lib.reset();
    expectBaseline();
}

// Four threads register and unregister dump and temperature events of one
// board at random while events are injected; afterwards nothing runs, and no
// callback comes once every registration is gone.
TEST_F(DriverEvents, RegisterUnregisterStress) {
    load();
    std::atomic<bool> stop{false};
    std::thread injector([&] {
        while (!stop) {
            set_attr("dump_pending", "0x10000000");
            set_attr("temp_event", "1");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            unsigned seed = 7u + (unsigned)t;
            for (int i = 0; i < 40; ++i) {
                seed = seed * 1103515245u + 12345u;
                const bool dump = (seed >> 16) & 1;
                void* id = reg(0, dump ? TGX_EVENT_DUMP : TGX_EVENT_TEMPERATURE,
                               dump ? dump_cb() : temp_cb());
                if ((seed >> 17) & 1) std::this_thread::yield();
                if (id) {
                    EXPECT_EQ(unreg(0, (seed >> 18) & 1 ? id : nullptr), 0u);
                }
            }
        });
    }
    for (std::thread& w : workers)
        w.join();
    stop = true;
    injector.join();
    EXPECT_EQ(unreg(0, nullptr), 0u);
    expectBaseline();
    clear();
    const int dumps = g_dumps, temps = g_temps;
    set_attr("dump_pending", "0x10000000");
    set_attr("temp_event", "1");
    // No watcher thread is left (baseline above) and none polls the driver.
    EXPECT_EQ(count(TGX_IOCTL_DRVDUMP_EVENT) + count(TGX_IOCTL_TEMPERATURE_EVENT), 0u);
    EXPECT_EQ(g_dumps, dumps);
    EXPECT_EQ(g_temps, temps);
}

} // namespace
