// The management-event stand-in over a scripted provider: connection,
// enumeration order, the event-control methods, delivery by class and in
// order on two threads, cancel that waits for a delivery in flight, and
// failure injection at each step.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/plat_backend.h"
#include "platform/plat_mgmt_events.h"
#include "platform/plat_sync.h"

namespace {

// ---- a scripted provider ------------------------------------------------------

struct Control {
    std::string instance;
    uint32_t category, action, subCat;
    bool hasWwpn;
};

struct Script {
    std::mutex mu;
    std::vector<HbaMgmtHbaObject> objects;
    std::vector<HbaMgmtEvent> events; // event n is events[n - 1]
    std::vector<Control> controls;
    uint32_t methodStatus = 0;
    std::string failStep;
    void (*notify)(void*) = nullptr;
    void* notifyCtx = nullptr;
    std::vector<uint32_t> nextCallers; // threads that asked for the next event number
    std::atomic<int> nextDelayMs{0};   // a slow first call, as a provider setting up a thread
};
Script& script() {
    static Script s;
    return s;
}

uint32_t s_step_fault(const char* step) {
    std::lock_guard<std::mutex> g(script().mu);
    return script().failStep == step ? 31u : 0u;
}
uint32_t s_list(HbaMgmtHbaObject* out, uint32_t cap, uint32_t* count) {
    std::lock_guard<std::mutex> g(script().mu);
    *count = (uint32_t)script().objects.size();
    for (uint32_t i = 0; i < *count && i < cap; ++i)
        out[i] = script().objects[i];
    return 0;
}
uint32_t s_control(const char* name, uint32_t cat, uint32_t action, uint32_t sub,
                   const uint8_t* wwpn, uint32_t* status) {
    std::lock_guard<std::mutex> g(script().mu);
    script().controls.push_back(Control{name, cat, action, sub, wwpn != nullptr});
    *status = script().methodStatus;
    return 0;
}
uint64_t s_next() {
    if (int ms = script().nextDelayMs.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    std::lock_guard<std::mutex> g(script().mu);
    script().nextCallers.push_back(plat_thread_id());
    return script().events.size() + 1;
}
uint32_t s_read(uint64_t* from, HbaMgmtEvent* out, uint32_t cap, uint32_t* count) {
    std::lock_guard<std::mutex> g(script().mu);
    *count = 0;
    uint64_t n = *from ? *from : 1;
    for (; n <= script().events.size() && *count < cap; ++n)
        out[(*count)++] = script().events[n - 1];
    *from = n;
    return 0;
}
void s_set_notify(void (*fn)(void*), void* ctx) {
    std::lock_guard<std::mutex> g(script().mu);
    script().notify = fn;
    script().notifyCtx = ctx;
}

const HbaMgmtEventProvider kProvider = {s_step_fault, s_list, s_control,
                                        s_next,       s_read, s_set_notify};

uint32_t no_open(const char*, void**) {
    return 2;
}
uint32_t no_control(void*, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t*) {
    return 31;
}
void no_close(void*) {}

HbaDriverBackend backend_with(const HbaMgmtEventProvider* p) {
    HbaDriverBackend b = {HBA_DRIVER_BACKEND_VERSION, no_open, no_control, no_close};
    b.mgmtEvents = p;
    return b;
}
HbaDriverBackend g_withEvents = backend_with(&kProvider);
HbaDriverBackend g_withoutEvents = backend_with(nullptr);

void raise(const char* cls, uint32_t sub) {
    HbaMgmtEvent e = {};
    snprintf(e.eventClass, sizeof e.eventClass, "%s", cls);
    e.subCat = sub;
    void (*fn)(void*);
    void* ctx;
    {
        std::lock_guard<std::mutex> g(script().mu);
        script().events.push_back(e);
        fn = script().notify;
        ctx = script().notifyCtx;
    }
    if (fn) fn(ctx);
}

// Sinks record (class, subcategory) pairs; some of them block on a gate.
// The shared bound of every wait for something that must happen.
constexpr int kBoundMs = 10000;

struct Recorded {
    std::mutex mu;
    std::vector<std::pair<std::string, uint32_t>> got;
    std::atomic<int> inside{0};
    std::atomic<bool> gate{true}; // open: sinks return at once
    std::atomic<int> maxInside{0};
    // A flag the sink reads as it leaves (into sawWatched), e.g. "cancel returned".
    std::atomic<const std::atomic<bool>*> watch{nullptr};
    std::atomic<bool> sawWatched{false};
};

void recording_sink(void* ctx, const HbaMgmtEvent* ev, uint32_t n) {
    auto* r = static_cast<Recorded*>(ctx);
    int now = ++r->inside;
    int seen = r->maxInside.load();
    while (now > seen && !r->maxInside.compare_exchange_weak(seen, now)) {
    }
    {
        std::lock_guard<std::mutex> g(r->mu);
        for (uint32_t i = 0; i < n; ++i)
            r->got.emplace_back(ev[i].eventClass, ev[i].subCat);
    }
    for (int i = 0; i < kBoundMs && !r->gate.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (const std::atomic<bool>* w = r->watch.load()) r->sawWatched = w->load();
    --r->inside;
}

template <typename Pred> bool eventually(Pred p) {
    for (int i = 0; i < kBoundMs; ++i) {
        if (p()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return p();
}

class MgmtEvents : public ::testing::Test {
  protected:
    PlatMgmtConn conn = nullptr;
    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(script().mu);
            script().objects.clear();
            script().events.clear();
            script().controls.clear();
            script().methodStatus = 0;
            script().failStep.clear();
        }
        plat_dev_set_backend(&g_withEvents);
        ASSERT_EQ(plat_mgmt_connect("ROOT\\WMI", &conn), PLAT_MGMT_OK);
    }
    void TearDown() override {
        if (conn) {
            EXPECT_EQ(plat_mgmt_release(conn), PLAT_MGMT_OK);
        }
        EXPECT_EQ(plat_mgmt_thread_count(), 0u);
        plat_mgmt_inject_failure("", 0, 0, 0);
        plat_dev_set_backend(nullptr);
    }
};

TEST_F(MgmtEvents, ConnectNeedsAnEventServiceAndItsNamespace) {
    PlatMgmtConn other = nullptr;
    EXPECT_EQ(plat_mgmt_connect("ROOT\\CIMV2", &other), PLAT_MGMT_E_INVALID);
    EXPECT_EQ(other, nullptr);
    plat_dev_set_backend(&g_withoutEvents);
    EXPECT_EQ(plat_mgmt_connect("ROOT\\WMI", &other), PLAT_MGMT_E_NOT_SUPPORTED);
    EXPECT_EQ(plat_mgmt_thread_count(), 2u); // the fixture's connection only
}

TEST_F(MgmtEvents, EnumerationKeepsTheServicesOrder) {
    HbaMgmtHbaObject a = {{2, 2, 2, 2, 2, 2, 2, 2}, "PCI\\B"}, b = {{1}, "PCI\\A"};
    script().objects = {a, b};
    PlatMgmtEnum e = nullptr;
    EXPECT_EQ(plat_mgmt_query(conn, "SELECT * FROM Other", &e), PLAT_MGMT_E_NOT_FOUND);
    EXPECT_EQ(plat_mgmt_query(conn, "SELECT name FROM x", &e), PLAT_MGMT_E_INVALID);
    ASSERT_EQ(plat_mgmt_query(conn, "select * from MSFC_FCAdapterHBAAttributes", &e), PLAT_MGMT_OK);
    HbaMgmtHbaObject o;
    ASSERT_EQ(plat_mgmt_next(e, &o), PLAT_MGMT_OK);
    EXPECT_STREQ(o.instanceName, "PCI\\B");
    EXPECT_EQ(o.nodeWwn[0], 2);
    ASSERT_EQ(plat_mgmt_next(e, &o), PLAT_MGMT_OK);
    EXPECT_STREQ(o.instanceName, "PCI\\A");
    EXPECT_EQ(plat_mgmt_next(e, &o), PLAT_MGMT_DONE);
    plat_mgmt_enum_close(e);
}

TEST_F(MgmtEvents, ControlMethodsReachTheInstanceOfTheObjectPath) {
    const char* path = "QrlWmiSDEventControl.InstanceName=\"PCI\\\\VEN_1\\\\4&0_0\"";
    PlatMgmtSdControl in = {0, 32, true, {1, 2, 3, 4, 5, 6, 7, 8}};
    uint32_t status = 9;
    ASSERT_EQ(plat_mgmt_exec_method(conn, path, "SDELSEventControl", &in, &status), PLAT_MGMT_OK);
    EXPECT_EQ(status, 0u);
    PlatMgmtSdControl board = {1, 2, false, {}};
    ASSERT_EQ(plat_mgmt_exec_method(conn, path, "SDBoardEventControl", &board, &status),
              PLAT_MGMT_OK);
    ASSERT_EQ(script().controls.size(), 2u);
    EXPECT_EQ(script().controls[0].instance, "PCI\\VEN_1\\4&0_0");
    EXPECT_EQ(script().controls[0].category, 1u);
    EXPECT_EQ(script().controls[0].subCat, 32u);
    EXPECT_TRUE(script().controls[0].hasWwpn);
    EXPECT_EQ(script().controls[1].category, 8u);
    EXPECT_EQ(script().controls[1].action, 1u);
    EXPECT_FALSE(script().controls[1].hasWwpn);
    // Refusals and malformed calls.
    script().methodStatus = 5;
    EXPECT_EQ(plat_mgmt_exec_method(conn, path, "SDSCSIEventControl", &in, &status),
              PLAT_MGMT_E_FAILED);
    EXPECT_EQ(status, 5u);
    EXPECT_EQ(plat_mgmt_exec_method(conn, path, "SDOtherControl", &in, &status),
              PLAT_MGMT_E_NOT_FOUND);
    EXPECT_EQ(plat_mgmt_exec_method(conn, path, "SDFabricEventControl", &board, &status),
              PLAT_MGMT_E_INVALID); // fabric needs a port
    for (const char* bad : {"QrlWmiSDEventControl.InstanceName=\"PCI\\X\"",
                            "QrlWmiSDEventControl.InstanceName=\"open", "Other.InstanceName=\"A\""})
        EXPECT_EQ(plat_mgmt_exec_method(conn, bad, "SDELSEventControl", &in, &status),
                  PLAT_MGMT_E_INVALID)
            << bad;
    EXPECT_EQ(script().controls.size(), 3u);
}

TEST_F(MgmtEvents, SinksGetTheirClassInOrderFromNowOn) {
    raise("Ev", 99); // before the subscription: not delivered
    Recorded r;
    PlatMgmtSub s = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM Ev", recording_sink, &r, &s), PLAT_MGMT_OK);
    for (uint32_t i = 1; i <= 40; ++i)
        raise(i % 3 ? "Ev" : "Other", i);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> g(r.mu);
        return r.got.size() >= 27;
    }));
    plat_mgmt_cancel(s);
    std::vector<uint32_t> subs;
    for (auto& p : r.got) {
        EXPECT_EQ(p.first, "Ev");
        subs.push_back(p.second);
    }
    std::vector<uint32_t> want;
    for (uint32_t i = 1; i <= 40; ++i)
        if (i % 3) want.push_back(i);
    EXPECT_EQ(subs, want);
}

TEST_F(MgmtEvents, CancelWaitsForTheDeliveryInFlightAndTwoSinksRunAtOnce) {
    Recorded a, b;
    a.gate = false;
    b.gate = false;
    PlatMgmtSub sa = nullptr, sb = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM A", recording_sink, &a, &sa), PLAT_MGMT_OK);
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM B", recording_sink, &b, &sb), PLAT_MGMT_OK);
    raise("A", 1);
    raise("B", 1);
    ASSERT_TRUE(eventually([&] { return a.inside.load() == 1 && b.inside.load() == 1; }));
    std::atomic<bool> calling{false}, cancelled{false};
    a.watch = &cancelled;
    std::thread t([&] {
        calling = true;
        plat_mgmt_cancel(sa);
        cancelled = true;
    });
    ASSERT_TRUE(eventually([&] { return calling.load(); }));
    a.gate = true;
    t.join();
    EXPECT_FALSE(a.sawWatched.load()) << "cancel returned while its sink still ran";
    EXPECT_EQ(a.inside.load(), 0);
    // Nothing reaches the cancelled sink: a marker subscription of the same
    // class shows when the next event has been delivered.
    Recorded marker;
    PlatMgmtSub sm = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM A", recording_sink, &marker, &sm),
              PLAT_MGMT_OK);
    raise("A", 2);
    b.gate = true;
    plat_mgmt_cancel(sb);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> g(marker.mu);
        return marker.got.size() == 1;
    }));
    plat_mgmt_cancel(sm);
    std::lock_guard<std::mutex> g(a.mu);
    EXPECT_EQ(a.got.size(), 1u);
}

PlatMgmtSub g_self = nullptr;
std::atomic<int> g_selfCalls{0};
void self_cancelling_sink(void*, const HbaMgmtEvent*, uint32_t) {
    ++g_selfCalls;
    plat_mgmt_cancel(g_self);
}

TEST_F(MgmtEvents, CancelFromItsOwnSinkEndsTheSubscription) {
    g_selfCalls = 0;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM S", self_cancelling_sink, nullptr, &g_self),
              PLAT_MGMT_OK);
    raise("S", 1);
    ASSERT_TRUE(eventually([] { return g_selfCalls.load() == 1; }));
    // A marker subscription of the same class shows when the next event has
    // been delivered; the cancelled sink does not get it.
    Recorded marker;
    PlatMgmtSub sm = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM S", recording_sink, &marker, &sm),
              PLAT_MGMT_OK);
    raise("S", 2);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> g(marker.mu);
        return marker.got.size() == 1;
    }));
    plat_mgmt_cancel(sm);
    EXPECT_EQ(g_selfCalls.load(), 1);
}

TEST_F(MgmtEvents, EachStepCanFail) {
    const char* steps[] = {"connect", "query", "next", "exec", "subscribe"};
    auto run = [&](const char* step) -> uint32_t {
        if (!strcmp(step, "connect")) {
            PlatMgmtConn c = nullptr;
            uint32_t rc = plat_mgmt_connect("ROOT\\WMI", &c);
            if (c) plat_mgmt_release(c);
            return rc;
        }
        if (!strcmp(step, "query") || !strcmp(step, "next")) {
            PlatMgmtEnum e = nullptr;
            uint32_t rc = plat_mgmt_query(conn, "SELECT * FROM MSFC_FCAdapterHBAAttributes", &e);
            if (rc == PLAT_MGMT_OK) {
                HbaMgmtHbaObject o;
                rc = plat_mgmt_next(e, &o);
                plat_mgmt_enum_close(e);
            }
            return rc == PLAT_MGMT_DONE ? PLAT_MGMT_OK : rc;
        }
        if (!strcmp(step, "exec")) {
            PlatMgmtSdControl in = {0, 1, true, {}};
            uint32_t st = 0;
            return plat_mgmt_exec_method(conn, "QrlWmiSDEventControl.InstanceName=\"A\"",
                                         "SDELSEventControl", &in, &st);
        }
        PlatMgmtSub s = nullptr;
        uint32_t rc = plat_mgmt_subscribe(conn, "SELECT * FROM X", recording_sink, nullptr, &s);
        if (s) plat_mgmt_cancel(s);
        return rc;
    };
    for (const char* step : steps) {
        plat_mgmt_inject_failure(step, 2, 1, 0x80041001u); // the second call fails, once
        EXPECT_EQ(run(step), PLAT_MGMT_OK) << step;
        EXPECT_EQ(run(step), 0x80041001u) << step;
        EXPECT_EQ(run(step), PLAT_MGMT_OK) << step;
        // The provider's own fault injection acts at the same steps.
        script().failStep = step;
        EXPECT_EQ(run(step), PLAT_MGMT_E_FAILED) << step;
        script().failStep.clear();
    }
}

PlatMgmtConn g_conn = nullptr;
std::atomic<uint32_t> g_releaseInSink{99};
void releasing_sink(void*, const HbaMgmtEvent*, uint32_t) {
    g_releaseInSink = plat_mgmt_release(g_conn);
}

TEST_F(MgmtEvents, ReleaseEndsTheThreadsAndTheSubscriptions) {
    Recorded r;
    PlatMgmtSub s = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM R", recording_sink, &r, &s), PLAT_MGMT_OK);
    EXPECT_EQ(plat_mgmt_thread_count(), 2u);
    // Not from inside a sink of the connection: it would wait for itself.
    g_conn = conn;
    PlatMgmtSub rs = nullptr;
    ASSERT_EQ(plat_mgmt_subscribe(conn, "SELECT * FROM Q", releasing_sink, nullptr, &rs),
              PLAT_MGMT_OK);
    raise("Q", 1);
    ASSERT_TRUE(eventually([] { return g_releaseInSink.load() != 99; }));
    EXPECT_EQ(g_releaseInSink.load(), PLAT_MGMT_E_IN_SINK);
    EXPECT_EQ(plat_mgmt_release(conn), PLAT_MGMT_OK); // the subscriptions go with it
    conn = nullptr;
    EXPECT_EQ(plat_mgmt_thread_count(), 0u);
}

TEST_F(MgmtEvents, DeliveryThreadsHaveCalledTheProviderWhenConnectReturns) {
    // A thread's first provider call may set up per-thread state; a release run
    // while a library unloads could not wait for that, so connect does.
    ASSERT_EQ(plat_mgmt_release(conn), PLAT_MGMT_OK); // only the new threads call
    conn = nullptr;
    script().nextDelayMs = 50;
    {
        std::lock_guard<std::mutex> g(script().mu);
        script().nextCallers.clear();
    }
    PlatMgmtConn other = nullptr;
    ASSERT_EQ(plat_mgmt_connect("ROOT\\WMI", &other), PLAT_MGMT_OK);
    std::vector<uint32_t> callers;
    {
        std::lock_guard<std::mutex> g(script().mu);
        callers = script().nextCallers;
    }
    script().nextDelayMs = 0;
    std::sort(callers.begin(), callers.end());
    callers.erase(std::unique(callers.begin(), callers.end()), callers.end());
    callers.erase(std::remove(callers.begin(), callers.end(), plat_thread_id()), callers.end());
    EXPECT_GE(callers.size(), 2u);
    EXPECT_EQ(plat_mgmt_release(other), PLAT_MGMT_OK);
}

} // namespace
