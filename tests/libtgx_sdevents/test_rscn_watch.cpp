// RSCN watchers (TGX_RegisterForEvent masks 2 and 64): outSz bounds, which
// RSCNs each kind delivers, switches shared with SD registrations, events
// injected by another process, and the end of a watcher.
#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

using RegisterEventFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using UnregisterEventFn = uint32_t (*)(uint32_t, void*);

struct Rscn {
    uint32_t board;
    HBA_wwn wwpn; // virtual-port watchers only
    std::vector<uint32_t> pages;
};
struct RscnInbox {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<Rscn> port, vport;
    bool wait(std::vector<Rscn>& v, size_t n, int ms = kBoundMs) {
        std::unique_lock<std::mutex> l(mu);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return v.size() >= n; });
    }
    size_t size(std::vector<Rscn>& v) {
        std::lock_guard<std::mutex> l(mu);
        return v.size();
    }
};
RscnInbox& rscns() {
    static RscnInbox r;
    return r;
}

std::vector<uint32_t> words(const uint8_t* pages, uint32_t length) {
    std::vector<uint32_t> w;
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        w.push_back(rd32(pages + i));
    return w;
}

void port_cb(uint32_t board, const uint8_t* pages, uint32_t length) {
    std::lock_guard<std::mutex> l(rscns().mu);
    rscns().port.push_back(Rscn{board, {}, words(pages, length)});
    rscns().cv.notify_all();
}

void vport_cb(uint32_t board, HBA_wwn wwpn, const uint8_t* pages, uint32_t length) {
    std::lock_guard<std::mutex> l(rscns().mu);
    rscns().vport.push_back(Rscn{board, wwpn, words(pages, length)});
    rscns().cv.notify_all();
}

class RscnTest : public SdTest {
  protected:
    RegisterEventFn regEvent = nullptr;
    UnregisterEventFn unregEvent = nullptr;
    void SetUp() override {
        SdTest::SetUp();
        rscns().port.clear();
        rscns().vport.clear();
        regEvent = fn<RegisterEventFn>("TGX_RegisterForEvent");
        unregEvent = fn<UnregisterEventFn>("TGX_unRegisterForEvent");
    }
    void* watch_port(uint32_t outSz = 64, uint32_t board = 0) {
        return regEvent(board, TGX_EVENT_PORT_RSCN, 0, outSz,
                        reinterpret_cast<TGX_EventCallback>(port_cb), nullptr);
    }
    void* watch_vports(uint32_t outSz = 64, uint32_t board = 0) {
        return regEvent(board, TGX_EVENT_VPORT_RSCN, 0, outSz,
                        reinterpret_cast<TGX_EventCallback>(vport_cb), nullptr);
    }
    // An RSCN of pages on the port wwpn of board, as the driver raises it.
    static int rscn(uint32_t board, HBA_wwn wwpn, std::vector<uint32_t> pages) {
        for (const HbaMgmtEvent& e : hbasim::wmi_rscn_events(wwpn.wwn, pages)) {
            int rc = raise(board, 1, wwpn, e);
            if (rc != 1) return rc;
        }
        return 1;
    }
};

TEST_F(RscnTest, OutSzBounds) {
    for (uint32_t outSz : {7u, 1025u})
        EXPECT_EQ(watch_port(outSz), nullptr) << outSz;
    EXPECT_EQ(settle_threads(baseline), baseline);
    for (uint32_t outSz : {8u, 1024u}) {
        void* id = watch_port(outSz);
        ASSERT_NE(id, nullptr) << outSz;
        EXPECT_GT(thread_count(), baseline);
        EXPECT_EQ(unregEvent(0, id), 0u);
    }
}

TEST_F(RscnTest, PortWatcherDeliversOnlyThePortsRscns) {
    create_vport(1);
    void* port = watch_port();
    void* vports = watch_vports();
    ASSERT_NE(port, nullptr);
    ASSERT_NE(vports, nullptr);
    // Twelve pages come in fragments; two in one event.
    std::vector<uint32_t> twelve;
    for (uint32_t i = 0; i < 12; ++i)
        twelve.push_back(0x02000000u | i);
    ASSERT_EQ(rscn(0, sdtest::port(1), twelve), 1);
    ASSERT_EQ(rscn(0, vport(1), {0x03010203, 0x03040506}), 1);
    ASSERT_TRUE(rscns().wait(rscns().port, 1));
    ASSERT_TRUE(rscns().wait(rscns().vport, 1));
    EXPECT_EQ(rscns().port[0].board, 0u);
    EXPECT_EQ(rscns().port[0].pages, twelve);
    EXPECT_EQ(memcmp(rscns().vport[0].wwpn.wwn, vport(1).wwn, 8), 0);
    EXPECT_EQ(rscns().vport[0].pages, (std::vector<uint32_t>{0x03010203, 0x03040506}));
    // One page is an RSCN like any other.
    ASSERT_EQ(rscn(0, sdtest::port(1), {0x1}), 1);
    ASSERT_EQ(rscn(0, vport(1), {0x2}), 1);
    ASSERT_TRUE(rscns().wait(rscns().port, 2));
    ASSERT_TRUE(rscns().wait(rscns().vport, 2));
    EXPECT_EQ(rscns().port[1].pages, (std::vector<uint32_t>{0x1}));
    EXPECT_EQ(rscns().vport[1].pages, (std::vector<uint32_t>{0x2}));
    // An RSCN without pages carries nothing; other ELS events are not RSCNs.
    ASSERT_EQ(raise(0, 1, sdtest::port(1), event(32, 0, 0, sdtest::port(1))), 1);
    ASSERT_EQ(raise(0, 1, sdtest::port(1), event(32, 0, 3, sdtest::port(1), {0xFF})), 1);
    uint32_t h = 0;
    ASSERT_EQ(add(0, sdtest::port(1), 1, 4, &h), 0u);
    ASSERT_EQ(force(0, 1, 4), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    EXPECT_EQ(unregEvent(0, port), 0u);
    EXPECT_EQ(unregEvent(0, vports), 0u);
    EXPECT_EQ(rscns().size(rscns().port), 2u);
    EXPECT_EQ(rscns().size(rscns().vport), 2u);
}

TEST_F(RscnTest, OnePageRscnReachesTheSdRegistrationAndTheWatchersOfTheBoard) {
    // As an agent does it: SD events of the port (RSCNs among them) and both
    // watchers on one board, the RSCNs put in by another process.
    create_vport(1);
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 1, 32, &h), 0u);
    void* w = watch_port(1024);
    void* vw = watch_vports(1024);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(vw, nullptr);
    const struct {
        std::vector<std::string> args;
        bool vport;
        uint32_t page;
    } cases[] = {
        {{"inject", "rscn", "0", "pages=0x01010100"}, false, 0x01010100},
        {{"inject", "rscn", "0", "pages=0x00020304", "wwpn=28:00:00:00:00:00:00:01"},
         true,
         0x00020304},
    };
    for (const auto& c : cases) {
        hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"), c.args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        std::vector<Rscn>& got = c.vport ? rscns().vport : rscns().port;
        ASSERT_TRUE(rscns().wait(got, 1)) << c.args[3];
        std::lock_guard<std::mutex> l(rscns().mu);
        EXPECT_EQ(got[0].board, 0u);
        EXPECT_EQ(got[0].pages, (std::vector<uint32_t>{c.page}));
        if (c.vport) {
            EXPECT_EQ(memcmp(got[0].wwpn.wwn, vport(1).wwn, 8), 0);
        }
    }
    // The SD registration got the port's RSCN: version 0, the WWN, one page.
    ASSERT_TRUE(inbox().wait_for(1));
    const Got g = inbox().all()[0];
    EXPECT_EQ(g.sub, 32u);
    EXPECT_EQ(memcmp(g.wwpn.wwn, port(1).wwn, 8), 0);
    ASSERT_GE(g.payload.size(), 20u);
    EXPECT_EQ(rd32(g.payload.data() + 12), 1u);
    EXPECT_EQ(rd32(g.payload.data() + 16), 0x01010100u);
    EXPECT_EQ(unregEvent(0, w), 0u);
    EXPECT_EQ(unregEvent(0, vw), 0u);
    EXPECT_EQ(unreg(0, port(1), h), 0u);
    EXPECT_EQ(rscns().size(rscns().port), 1u);
    EXPECT_EQ(rscns().size(rscns().vport), 1u);
}

TEST_F(RscnTest, ClosingAWatcherLeavesTheSdRegistrationsRscnsOn) {
    // The SD record of the port is second on the board's list.
    create_vport(1);
    uint32_t hv = 0, h = 0;
    ASSERT_EQ(add(0, vport(1), 1, 1, &hv), 0u);
    ASSERT_EQ(add(0, port(1), 1, 32, &h), 0u);
    void* w = watch_port();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(unregEvent(0, w), 0u);
    ASSERT_EQ(rscn(0, port(1), {0xA, 0xB}), 1); // still switched on
    ASSERT_TRUE(inbox().wait_for(1));
    ASSERT_EQ(unreg(0, port(1), h), 0u);
    EXPECT_EQ(rscn(0, port(1), {0xA, 0xB}), 0); // the last user switched it off
}

TEST_F(RscnTest, EventsInjectedByAnotherProcessArrive) {
    void* w = watch_port();
    ASSERT_NE(w, nullptr);
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 2, 1, &h), 0u);
    hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"),
                                        {"inject", "rscn", "0", "pages=1,2,3,4,5,6,7,8,9,10,11"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    r = hbatest::run(hbatest::bin_path("hbasim"),
                     {"inject", "sd", "0", "cat=2", "sub=1", "data=0102030405"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "1 event raised\n");
    ASSERT_TRUE(rscns().wait(rscns().port, 1));
    EXPECT_EQ(rscns().port[0].pages, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    ASSERT_TRUE(inbox().wait_for(1));
    EXPECT_EQ(inbox().all()[0].payload, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    // Not switched on: the driver drops it and the tool says so.
    r = hbatest::run(hbatest::bin_path("hbasim"), {"inject", "sd", "0", "cat=4", "sub=1"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("not switched on"), std::string::npos) << r.err;
    EXPECT_EQ(unregEvent(0, w), 0u);
}

TEST_F(RscnTest, InjectRefusesWhatTheDriverCannotRaise) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 1, 1, &h), 0u);
    const struct {
        std::vector<std::string> args;
        int exit;
        const char* err;
    } cases[] = {
        {{"sd", "0", "cat=3", "sub=1"}, 2, "cat must be 1 (ELS)"},
        {{"sd", "0", "cat=1"}, 2, "sub must be a number"},
        {{"sd", "0", "cat=1", "sub=1", "data=0"}, 2, "data must be 1 to 40 bytes"},
        {{"sd", "0", "cat=1", "sub=1", "wwpn=10:00"}, 2, "wwpn must be 8 bytes"},
        {{"sd", "0", "cat=1", "sub=1", "size=4"}, 2, "unexpected 'size=4'"},
        {{"sd", "9", "cat=1", "sub=1"}, 1, "no adapter function on SCSI port 9"},
        {{"sd", "0", "cat=1", "sub=2"}, 1, "not switched on"},
        {{"sd", "0", "cat=1", "sub=1", "wwpn=28:00:00:00:00:00:00:01"}, 1, "not switched on"},
        {{"rscn", "0"}, 2, "pages must list 1 to 256"},
        {{"rscn", "0", "pages=1,x"}, 2, "bad page 'x'"},
        {{"sd", "0", "cat=1", "sub=1", "flags=0x100"}, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"inject"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"), args);
        EXPECT_EQ(r.exit_code, c.exit) << c.args[0] << " " << c.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    ASSERT_TRUE(inbox().wait_for(1));
}

TEST_F(RscnTest, ReleaseEndsWatchersAndRegistrations) {
    create_vport(1);
    ASSERT_NE(watch_port(), nullptr);
    ASSERT_NE(watch_vports(), nullptr);
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 8, 1, &h), 0u);
    ASSERT_EQ(add(1, port(2), 4, 2, &h), 0u);
    ASSERT_EQ(fn<FreeFn>("TGX_FreeDiagEnv")(), 0u);
    EXPECT_EQ(settle_threads(baseline), baseline);
    EXPECT_EQ(plat_event_count(), eventBaseline);
    EXPECT_EQ(plat_mgmt_thread_count(), 0u);
    // Nothing stays switched on at the driver.
    EXPECT_EQ(raise(0, 8, port(1), event(1, 0, 0, port(1))), 0);
    EXPECT_EQ(raise(1, 4, port(2), event(2, 0, 0, port(2))), 0);
    EXPECT_EQ(raise(0, 1, port(1), event(32, 0, 8, port(1))), 0);
    EXPECT_EQ(raise(0, 1, vport(1), event(32, 0, 8, vport(1))), 0);
}

} // namespace
} // namespace sdtest
