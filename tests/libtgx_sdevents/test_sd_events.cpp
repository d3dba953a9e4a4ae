// SD event registration through libtgx.h: statuses, delivery of each category,
// RSCN fragments, unregistration and its guarantees, service failures.
#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

TEST_F(SdTest, RegistrationStatuses) {
    struct Case {
        uint32_t board;
        HBA_wwn wwpn;
        uint32_t cat, sub;
        bool nullCtx;
        uint32_t want;
    };
    const Case cases[] = {
        {0, port(1), 2, 8, false, 7},  // fabric takes 1, 2, 4
        {0, port(1), 1, 3, false, 7},  // not a single bit
        {0, port(1), 1, 64, false, 7}, // ELS ends at 32
        {0, port(1), 16, 1, false, 6}, // no such category
        {0, port(1), 16, 3, false, 7}, // the subcategory is checked first
        {0, port(1), 1, 1, true, 11},  // null context
        {2, port(1), 1, 1, false, 3},  // bad board
        {0, port(9), 1, 1, false, 3},  // neither the port nor a virtual port
    };
    for (const Case& c : cases) {
        uint32_t h = 0xDEAD;
        uint32_t st =
            reg(c.board, c.wwpn, c.cat, c.sub, c.nullCtx ? nullptr : (void*)1, &h, record_cb);
        EXPECT_EQ(st, c.want) << "cat " << c.cat << " sub " << c.sub;
    }
    uint32_t h = 0;
    EXPECT_EQ(reg(0, port(1), 1, 1, (void*)1, nullptr, record_cb), 11u);
    EXPECT_EQ(reg(0, port(1), 1, 1, (void*)1, &h, nullptr), 11u);
    EXPECT_EQ(force(2, 1, 1), 1u); // a bad board: no request
}

TEST_F(SdTest, ForcedEventOfEachCategoryReachesItsCallback) {
    const uint32_t kinds[][2] = {{1, 1}, {1, 16}, {2, 4}, {4, 64}, {8, 2}};
    std::vector<uint32_t> handles;
    for (const auto& k : kinds) {
        uint32_t h = 0;
        ASSERT_EQ(add(0, port(1), k[0], k[1], &h, (void*)(uintptr_t)(k[0] * 100 + k[1])), 0u);
        EXPECT_NE(h, 0u);
        handles.push_back(h);
    }
    for (const auto& k : kinds)
        ASSERT_EQ(force(0, k[0], k[1]), 0u);
    ASSERT_TRUE(inbox().wait_for(5));
    std::vector<Got> got = inbox().all();
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].board, 0u);
        EXPECT_EQ(memcmp(got[i].wwpn.wwn, port(1).wwn, 8), 0);
        EXPECT_EQ((uintptr_t)got[i].ctx, got[i].category * 100 + got[i].sub);
        EXPECT_TRUE(got[i].recordOk);
    }
    // Unregistered events are not raised by the driver, so nothing more comes.
    ASSERT_EQ(force(0, 2, 1), 0u);
    for (size_t i = 0; i < handles.size(); ++i)
        EXPECT_EQ(unreg(0, port(1), handles[i]), 0u);
    EXPECT_EQ(inbox().size(), 5u);
}

TEST_F(SdTest, EventDataCarriesDatasizeBytes) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 4, 2, &h), 0u);
    ASSERT_EQ(raise(0, 4, port(1), event(2, 0, 6, port(1), {0x04030201, 0x0605})), 1);
    // A datasize beyond the event's 40 bytes is cut to them.
    ASSERT_EQ(raise(0, 4, port(1), event(2, 0, 200, port(1), {7})), 1);
    ASSERT_TRUE(inbox().wait_for(2));
    std::vector<Got> got = inbox().all();
    EXPECT_EQ(got[0].length, 18u);
    EXPECT_EQ(got[0].payload, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(got[1].length, 52u);
    EXPECT_EQ(got[1].payload.size(), 40u);
}

TEST_F(SdTest, DuplicateAndSecondSubcategoryOfAPort) {
    uint32_t h1 = 0, h2 = 0, h3 = 0;
    ASSERT_EQ(add(0, port(1), 1, 2, &h1), 0u);
    EXPECT_EQ(add(0, port(1), 1, 2, &h3), 9u);
    EXPECT_EQ(h3, 0u);
    ASSERT_EQ(add(0, port(1), 1, 4, &h2), 0u);
    EXPECT_NE(h1, h2);
    ASSERT_EQ(force(0, 1, 4), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    EXPECT_EQ(inbox().all()[0].sub, 4u);
    EXPECT_EQ(unreg(0, port(1), h1), 0u);
    EXPECT_EQ(unreg(0, port(1), h1), 14u); // stale
    EXPECT_EQ(unreg(0, port(1), h2), 0u);
}

TEST_F(SdTest, BoardEventReachesEveryPortThatRegisteredIt) {
    create_vport(1);
    uint32_t h1 = 0, h2 = 0, h3 = 0;
    ASSERT_EQ(add(0, port(1), 8, 2, &h1, (void*)1), 0u);
    ASSERT_EQ(add(0, vport(1), 8, 2, &h2, (void*)2), 0u);
    ASSERT_EQ(add(0, vport(1), 8, 4, &h3, (void*)3), 0u);
    ASSERT_EQ(force(0, 8, 2), 0u);
    ASSERT_TRUE(inbox().wait_for(2));
    std::vector<Got> got = inbox().all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(memcmp(got[0].wwpn.wwn, port(1).wwn, 8), 0);
    EXPECT_EQ(got[0].ctx, (void*)1);
    EXPECT_EQ(memcmp(got[1].wwpn.wwn, vport(1).wwn, 8), 0);
    EXPECT_EQ(got[1].ctx, (void*)2);
}

TEST_F(SdTest, RscnFragmentsAreJoined) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 1, 32, &h), 0u);
    std::vector<uint32_t> pages(16);
    for (uint32_t i = 0; i < 16; ++i)
        pages[i] = 0x01000000u + i;
    // First fragment: total 64, the port WWN, pages 0-9; last: 24 bytes, pages
    // 10-11 in the WWN field and 12-15 in the data.
    std::vector<HbaMgmtEvent> ev = hbasim::wmi_rscn_events(port(1).wwn, pages);
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0].flags, 0x0100);
    EXPECT_EQ(ev[0].datasize, 64);
    EXPECT_EQ(ev[1].flags, 0x0300);
    EXPECT_EQ(ev[1].datasize, 24);
    for (const HbaMgmtEvent& e : ev)
        ASSERT_EQ(raise(0, 1, port(1), e), 1);
    ASSERT_TRUE(inbox().wait_for(1));
    Got g = inbox().all()[0];
    EXPECT_EQ(g.length, 104u);
    ASSERT_EQ(g.payload.size(), 92u);
    EXPECT_EQ(rd32(g.payload.data()), 0u);
    EXPECT_EQ(memcmp(g.payload.data() + 4, port(1).wwn, 8), 0);
    EXPECT_EQ(rd32(g.payload.data() + 12), 16u);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(rd32(g.payload.data() + 16 + 4 * i), pages[i]) << i;
}

TEST_F(SdTest, BrokenRscnFragmentsAreDroppedAndTheNextRscnArrives) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 1, 32, &h), 0u);
    HBA_wwn p = port(1);
    // A lone last fragment, a lone middle one.
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0300, 24, p)), 1);
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0200, 24, p)), 1);
    // A first fragment of 48 bytes, then continuations that would overrun it.
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0100, 48, p)), 1);
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0200, 48, p)), 1);
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0200, 48, p)), 1);
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0300, 48, p)), 1);
    // A first fragment, then a continuation shorter than its WWN field.
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0100, 60, p)), 1);
    ASSERT_EQ(raise(0, 1, p, event(32, 0x0300, 4, p)), 1);
    // A whole RSCN of two pages.
    ASSERT_EQ(raise(0, 1, p, event(32, 0, 8, p, {0xAA, 0xBB})), 1);
    ASSERT_TRUE(inbox().wait_for(1));
    ASSERT_EQ(force(0, 1, 32), 0u); // a marker: an RSCN of no pages
    ASSERT_TRUE(inbox().wait_for(2));
    std::vector<Got> got = inbox().all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].length, 48u);
    EXPECT_EQ(rd32(got[0].payload.data() + 12), 2u);
    EXPECT_EQ(rd32(got[0].payload.data() + 16), 0xAAu);
    EXPECT_EQ(got[1].length, 40u);
}

TEST_F(SdTest, UnregistrationStatuses) {
    uint32_t h = 0;
    EXPECT_EQ(unreg(0, port(1), 0x01000100), 14u); // nothing registered
    create_vport(1);
    ASSERT_EQ(add(0, port(1), 2, 1, &h), 0u);
    EXPECT_EQ(unreg(0, port(1), 0), 14u);
    EXPECT_EQ(unreg(0, vport(1), h), 4u);        // another port of the board
    EXPECT_EQ(unreg(0, port(9), h), 3u);         // no such port
    EXPECT_EQ(unreg(1, port(2), h), 14u);        // another board's handle
    EXPECT_EQ(unreg(0, port(1), h ^ 0x20), 14u); // another category
    EXPECT_EQ(unreg(0, port(1), h + 1), 14u);    // the record's unregistered subcategory
    EXPECT_EQ(unreg(5, port(1), h), 1u);
    EXPECT_EQ(unreg(0, port(1), h), 0u);
}

TEST_F(SdTest, EventsFindTheirBoardWhateverTheServiceOrder) {
    // The service lists board 1's objects first.
    hbasim::update_adapter(0, [](hbasim::Adapter& a) {
        a.funcs[1].attrs.set("wmi_order", "0");
        a.funcs[0].attrs.set("wmi_order", "1");
        return true;
    });
    uint32_t h0 = 0, h1 = 0;
    ASSERT_EQ(add(1, port(2), 4, 1, &h1, (void*)11), 0u);
    ASSERT_EQ(add(0, port(1), 4, 1, &h0, (void*)10), 0u);
    ASSERT_EQ(force(0, 4, 1), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    ASSERT_EQ(force(1, 4, 1), 0u);
    ASSERT_TRUE(inbox().wait_for(2));
    std::vector<Got> got = inbox().all();
    EXPECT_EQ(got[0].board, 0u);
    EXPECT_EQ(got[0].ctx, (void*)10);
    EXPECT_EQ(got[1].board, 1u);
    EXPECT_EQ(got[1].ctx, (void*)11);
}

TEST_F(SdTest, FailedStepsUndoTheRegistrationSoThatARetryWorks) {
    for (const char* step : {"connect", "query", "next", "exec", "subscribe"}) {
        load(kTwoPorts); // a library without a connection yet
        inbox().got.clear();
        plat_mgmt_inject_failure(step, 1, 1, 0);
        uint32_t h = 0;
        EXPECT_EQ(add(0, port(1), 4, 8, &h), 1u) << step;
        EXPECT_EQ(h, 0u);
        // Nothing but the connection's own threads stays.
        EXPECT_EQ(thread_count(), baseline + (strcmp(step, "connect") ? 2 : 0)) << step;
        ASSERT_EQ(add(0, port(1), 4, 8, &h), 0u) << step;
        ASSERT_EQ(force(0, 4, 8), 0u);
        ASSERT_TRUE(inbox().wait_for(1)) << step;
        ASSERT_EQ(unreg(0, port(1), h), 0u);
    }
}

TEST_F(SdTest, FailedDisableKeepsTheHandleForARetry) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 1, 1, &h), 0u);
    plat_mgmt_inject_failure("exec", 1, 1, 0);
    EXPECT_EQ(unreg(0, port(1), h), 1u);
    ASSERT_EQ(force(0, 1, 1), 0u); // still switched on, but the callback is gone
    EXPECT_EQ(unreg(0, port(1), h), 0u);
    uint32_t again = 0;
    ASSERT_EQ(add(0, port(1), 1, 1, &again), 0u);
    ASSERT_EQ(force(0, 1, 1), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    EXPECT_EQ(inbox().size(), 1u);
}

TEST_F(SdTest, LastUnregistrationEndsTheThreadsAndARegistrationRightAfterDelivers) {
    uint32_t h = 0;
    ASSERT_EQ(add(0, port(1), 2, 2, &h), 0u);
    ASSERT_EQ(unreg(0, port(1), h), 0u);
    ASSERT_EQ(add(0, port(1), 2, 2, &h), 0u);
    ASSERT_EQ(force(0, 2, 2), 0u);
    ASSERT_TRUE(inbox().wait_for(1));
    ASSERT_EQ(unreg(0, port(1), h), 0u);
    // The service connection stays until the library is released.
    fn<FreeFn>("TGX_FreeDiagEnv")();
    EXPECT_EQ(settle_threads(baseline), baseline);
    EXPECT_EQ(plat_event_count(), eventBaseline);
    EXPECT_EQ(plat_mgmt_thread_count(), 0u);
}

} // namespace
} // namespace sdtest
