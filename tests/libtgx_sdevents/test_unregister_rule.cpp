// The one rule of every unregistration (RSCN watchers, SD and CT
// registrations): two callbacks running at once that each end the other's
// registration both come back at once (neither waits for the other) with 1,
// no callback of either starts afterwards, and a later call from outside any
// callback collects what each left, back to the baseline.
#include <atomic>
#include <functional>

#include "sim/driver/sim_driver.h"
#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

using RegisterEventFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using UnregisterEventFn = uint32_t (*)(uint32_t, void*);
using CtRegisterFn = void* (*)(uint32_t, uint32_t, QrlTgxCtCallback, void*, uint32_t*);
using CtUnregisterFn = uint32_t (*)(uint32_t, void*);

enum Kind { kDump, kTemp, kPortRscn, kVportRscn, kSdFabric, kCtFa, kCtFb };
const char* const kKindNames[] = {"dump",      "temperature", "port RSCN", "virtual-port RSCN",
                                  "SD fabric", "CT 0xFA",     "CT 0xFB"};

// What the callbacks share: the two sides of a pair, each side's callback
// count and the status its callback's unregistration of the other side got.
struct Side {
    std::atomic<int> calls{0};
    std::atomic<uint32_t> status{99};
    std::atomic<bool> done{false};
    std::function<uint32_t()> unregisterOther;
};
Side g_sides[2];
std::atomic<int> g_inside{0};

// A callback of side s: waits (bounded) until the other side's callback runs
// too, ends the other side's registration, and stays until the other side's
// call has returned as well, so each call finds the other callback running.
void on_callback(int s) {
    Side& me = g_sides[s];
    if (me.calls++ != 0) return; // only the first callback ends the other side
    ++g_inside;
    within_bound([] { return g_inside.load() == 2; });
    me.status = me.unregisterOther();
    me.done = true;
    within_bound([s] { return g_sides[1 - s].done.load(); });
}
template <int S> void dump_cb(uint32_t) {
    on_callback(S);
}
template <int S> void temp_cb(uint32_t, uint32_t, uint32_t) {
    on_callback(S);
}
template <int S> void port_rscn_cb(uint32_t, const uint8_t*, uint32_t) {
    on_callback(S);
}
template <int S> void vport_rscn_cb(uint32_t, HBA_wwn, const uint8_t*, uint32_t) {
    on_callback(S);
}
template <int S> void sd_cb(uint32_t, HBA_wwn, uint32_t, uint32_t, void*, SdEventData*) {
    on_callback(S);
}
template <int S> void ct_cb(uint32_t, uint32_t, const uint8_t*, uint32_t, uint32_t, void*) {
    on_callback(S);
}

class UnregisterRule : public SdTest {
  protected:
    // One registration of a side: how to make its callback run and how to
    // end it.
    struct Reg {
        std::function<bool()> trigger; // false when the event could not be raised
        std::function<uint32_t()> unregister;
    };

    template <int S> Reg make(Kind k) {
        Reg r;
        const uint32_t board = 0;
        UnregisterEventFn unEvent = fn<UnregisterEventFn>("TGX_unRegisterForEvent");
        switch (k) {
        case kDump:
        case kTemp: {
            const bool dump = k == kDump;
            void* id = fn<RegisterEventFn>("TGX_RegisterForEvent")(
                board, dump ? TGX_EVENT_DUMP : TGX_EVENT_TEMPERATURE, 0, 0,
                dump ? reinterpret_cast<TGX_EventCallback>(dump_cb<S>)
                     : reinterpret_cast<TGX_EventCallback>(temp_cb<S>),
                nullptr);
            EXPECT_NE(id, nullptr);
            r.trigger = [dump] {
                hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
                    a.funcs[0].attrs.set(dump ? "dump_pending" : "temp_event",
                                         dump ? "0x80000000" : "1");
                    return true;
                });
                return true;
            };
            r.unregister = [unEvent, id] { return unEvent(0, id); };
            break;
        }
        case kPortRscn:
        case kVportRscn: {
            const bool vp = k == kVportRscn;
            void* id = fn<RegisterEventFn>("TGX_RegisterForEvent")(
                board, vp ? TGX_EVENT_VPORT_RSCN : TGX_EVENT_PORT_RSCN, 0, 64,
                vp ? reinterpret_cast<TGX_EventCallback>(vport_rscn_cb<S>)
                   : reinterpret_cast<TGX_EventCallback>(port_rscn_cb<S>),
                nullptr);
            EXPECT_NE(id, nullptr);
            const HBA_wwn w = vp ? vport(1) : port(1);
            r.trigger = [w] {
                bool raised = true;
                for (const HbaMgmtEvent& e : hbasim::wmi_rscn_events(w.wwn, {0x01020304u}))
                    raised = raise(0, 1, w, e) == 1 && raised;
                return raised;
            };
            r.unregister = [unEvent, id] { return unEvent(0, id); };
            break;
        }
        case kSdFabric: {
            uint32_t h = 0;
            EXPECT_EQ(reg(board, port(1), 2, 1, (void*)0x1234, &h, sd_cb<S>), 0u);
            ForceFn f = force;
            r.trigger = [f] { return f(0, 2, 1) == 0; };
            UnregisterFn un = unreg;
            r.unregister = [un, h] { return un(0, port(1), h); };
            break;
        }
        case kCtFa:
        case kCtFb: {
            const uint32_t gs = k == kCtFa ? 0xFA : 0xFB;
            uint32_t st = 0;
            void* id =
                fn<CtRegisterFn>("QrlTgxRegisterForCTEvents")(board, gs, ct_cb<S>, nullptr, &st);
            EXPECT_NE(id, nullptr) << st;
            r.trigger = [gs] {
                hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
                    hbasim::ct_inbox_push(a.funcs[0], gs, hbasim::ct_default_request((uint8_t)gs));
                    return true;
                });
                return true;
            };
            CtUnregisterFn un = fn<CtUnregisterFn>("QrlTgxUnregisterForCTEvents");
            r.unregister = [un, id] { return un(0, id); };
            break;
        }
        }
        return r;
    }
};

TEST_F(UnregisterRule, CallbacksEndingEachOthersRegistrationNeitherWait) {
    create_vport(1);
    struct Case {
        Kind a, b;
    };
    const Case cases[] = {
        {kDump, kTemp},         {kPortRscn, kVportRscn}, {kCtFa, kCtFb},
        {kSdFabric, kPortRscn}, {kSdFabric, kCtFa},
    };
    int expected = baseline;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(kKindNames[c.a]) + " and " + kKindNames[c.b]);
        for (Side& s : g_sides) {
            s.calls = 0;
            s.status = 99;
            s.done = false;
        }
        g_inside = 0;
        Reg a = make<0>(c.a);
        Reg b = make<1>(c.b);
        g_sides[0].unregisterOther = b.unregister;
        g_sides[1].unregisterOther = a.unregister;
        ASSERT_TRUE(a.trigger());
        ASSERT_TRUE(b.trigger());
        ASSERT_TRUE(within_bound([] { return g_sides[0].done && g_sides[1].done; }))
            << "the two unregistrations wait for each other";
        // Each found the other's callback running: neither waited for it.
        EXPECT_EQ(g_sides[0].status.load(), 1u);
        EXPECT_EQ(g_sides[1].status.load(), 1u);
        // No callback starts once a registration is ended (the driver may
        // refuse to raise an event that is switched off by now).
        a.trigger();
        b.trigger();
        // From outside any callback the rest is collected: the watchers and
        // CT registrations are joined now, the SD ones are gone already.
        const uint32_t rest[] = {a.unregister(), b.unregister()};
        const uint32_t sdGone = 14;
        EXPECT_EQ(rest[0], c.a == kSdFabric ? sdGone : 0u);
        EXPECT_EQ(rest[1], c.b == kSdFabric ? sdGone : 0u);
        EXPECT_EQ(g_sides[0].calls.load(), 1);
        EXPECT_EQ(g_sides[1].calls.load(), 1);
        // Nothing but the management connection's two threads remains (made
        // by the first RSCN or SD registration, kept until the release).
        auto connects = [](Kind k) { return k == kPortRscn || k == kVportRscn || k == kSdFabric; };
        if (connects(c.a) || connects(c.b)) expected = baseline + 2;
        EXPECT_EQ(settle_threads(expected), expected);
    }
}

} // namespace
} // namespace sdtest
