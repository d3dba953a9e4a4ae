// The dump and update-configuration mailboxes that the library builds itself:
// their layout on the V2 transport, the status mappings and what reaches the
// caller.
#include "tests/libtgx/test_mailbox_fixture.h"

namespace {

using namespace tgxio;

using DumpFn = uint32_t (*)(uint32_t, uint32_t, uint8_t, uint32_t, uint32_t, void*, uint32_t*);
using UpdFn = uint32_t (*)(uint32_t, uint32_t, uint32_t, const void*, uint32_t, uint32_t*);

class DumpMboxTest : public TgxTest {
  protected:
    DumpFn dump() const { return fn<DumpFn>("TGX_IssueDumpMBox"); }
    UpdFn update() const { return fn<UpdFn>("TGX_IssueUpdateCfgMBox"); }
};

const uint8_t* v2_mailbox(const Sent& s) {
    return s.payload() + TGX_MBV2_OFF_MAILBOX;
}
uint32_t v2_word(const Sent& s, int i) {
    return rd32(v2_mailbox(s) + 4 * i);
}

// Answers the V2 request with a return code, a mailbox status and words.
Scripted answer_v2(uint32_t rc, uint16_t status, std::vector<std::pair<int, uint32_t>> words,
                   uint8_t fill = 0) {
    return [=](uint32_t code, uint8_t* env, uint32_t size) {
        if (code != TGX_IOCTL_ISSUEMB_V2) return false;
        uint8_t* mb = env + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_MAILBOX;
        for (uint32_t i = TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_EXT; i < size; ++i)
            env[i] = (uint8_t)(fill + i);
        wr32(mb, (rd32(mb) & 0xFFFF) | ((uint32_t)status << 16));
        for (auto [i, v] : words)
            wr32(mb + 4 * i, v);
        wr32(env + TGX_ENV_OFF_RETURNCODE, rc);
        return true;
    };
}

TEST_F(DumpMboxTest, DumpRefusesBadArgumentsWithoutRequest) {
    struct Case {
        uint32_t board, type, length, status;
        uint32_t region = 0, offset = 0;
    };
    // Region and offset travel in 16 bits each: wider values are refused, not cut.
    const Case cases[] = {{0, 0, 16, 2},          {0, 5, 16, 2},
                          {0, 1, 0, 7},           {0, 1, 3001, 7},
                          {1, 1, 16, 1},          {0, 2, 16, 7, 0x1000E, 0},
                          {0, 2, 16, 7, 0, 0x10000}};
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.board << " " << c.type << " " << c.length << " "
                                        << c.region << " " << c.offset);
        std::vector<uint8_t> buf(4000);
        uint32_t len = c.length;
        EXPECT_EQ(dump()(c.board, c.type, 0, c.region, c.offset, buf.data(), &len), c.status);
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(DumpMboxTest, DumpMailboxLayoutPerType) {
    struct Case {
        uint32_t type;
        uint32_t word1;
    };
    const Case cases[] = {{1, 0x11}, {2, 0x2}, {3, 0xAB000003}, {4, 0x4}};
    load();
    script(answer_v2(0, 0, {{6, 0}}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        clear();
        std::vector<uint8_t> buf(3000);
        uint32_t len = 3000;
        EXPECT_EQ(dump()(0, c.type, 0xAB, 0x1234, 0x56, buf.data(), &len), 0u);
        ASSERT_EQ(sent().size(), 1u);
        const Sent& s = sent()[0];
        EXPECT_EQ(s.code, TGX_IOCTL_ISSUEMB_V2);
        EXPECT_EQ(s.size(), 3000u + 296);
        EXPECT_EQ(rd32(s.payload() + TGX_MBV2_OFF_MBLEN), 256u);
        EXPECT_EQ(rd32(s.payload() + TGX_MBV2_OFF_EXTLEN), 3000u);
        EXPECT_EQ(v2_mailbox(s)[1], TGX_MBX_DUMP);
        EXPECT_EQ(v2_word(s, 1), c.word1);
        EXPECT_EQ(v2_word(s, 2), 0x00561234u);
        EXPECT_EQ(v2_word(s, 3), 3000u);
        EXPECT_EQ(v2_word(s, 5), 0u);
    }
}

TEST_F(DumpMboxTest, DumpCopiesTheSmallerOfAskedAndReported) {
    struct Case {
        uint32_t asked, reported, copied;
    };
    const Case cases[] = {{200, 100, 100}, {50, 100, 50}, {100, 100, 100}, {64, 0, 0}};
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.asked << "/" << c.reported);
        script(answer_v2(0, 0, {{6, c.reported}}, 0x40));
        std::vector<uint8_t> buf(400, 0xEE);
        uint32_t len = c.asked;
        EXPECT_EQ(dump()(0, 2, 0, 8, 0, buf.data(), &len), 0u);
        EXPECT_EQ(len, c.reported);
        const uint32_t ext = TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_EXT;
        for (uint32_t i = 0; i < c.copied; ++i)
            ASSERT_EQ(buf[i], (uint8_t)(0x40 + ext + i)) << i;
        EXPECT_EQ(buf[c.copied], 0xEE);
    }
}

TEST_F(DumpMboxTest, DumpStatusMapping) {
    struct Case {
        const char* action;
        uint32_t status;
    };
    const Case cases[] = {
        {"status=0xFFF7", 5}, {"status=0xFFF6", 6}, {"status=0xFFFC", 3}, {"status=0xFFFD", 4},
        {"status=0xFFFE", 2}, {"status=253", 1},    {"status=0x1234", 1}, {"rc=1", 1},
        {"rc=2", 4},          {"rc=3", 1},          {"rc=4", 1},          {"rc=9", 1},
        {"fail", 1},
    };
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        hbasim::fault_clear();
        fault("0x80000143", c.action);
        clear();
        std::vector<uint8_t> buf(64, 0xEE);
        uint32_t len = 64;
        EXPECT_EQ(dump()(0, 2, 0, 8, 0, buf.data(), &len), c.status);
        EXPECT_EQ(count(TGX_IOCTL_ISSUEMB_V2), 1u); // never retried
        EXPECT_EQ(buf[0], 0xEE);
        EXPECT_EQ(len, 64u);
    }
}

TEST_F(DumpMboxTest, UpdateConfigLayout) {
    load();
    script(answer_v2(0, 0, {}));
    const uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    uint32_t info = 99;
    ASSERT_EQ(update()(0, 2, 14, data, sizeof data, &info), 0u);
    ASSERT_EQ(sent().size(), 1u);
    const Sent& s = sent()[0];
    EXPECT_EQ(s.size(), 12u + 296);
    EXPECT_EQ(rd32(s.payload() + TGX_MBV2_OFF_EXTLEN), 12u);
    EXPECT_EQ(v2_mailbox(s)[0] & 1, 1);
    EXPECT_EQ(v2_mailbox(s)[1], TGX_MBX_UPDATE_CFG);
    EXPECT_EQ(v2_word(s, 1), 0x32u);
    EXPECT_EQ(v2_word(s, 2), 14u | (12u << 16));
    EXPECT_EQ(v2_word(s, 4), 12u);
    EXPECT_EQ(memcmp(s.payload() + TGX_MBV2_OFF_EXT, data, sizeof data), 0);

    // A null data pointer sends zeros of the given length.
    clear();
    ASSERT_EQ(update()(0, 2, 14, nullptr, 8, &info), 0u);
    ASSERT_EQ(sent().size(), 1u);
    const uint8_t zeros[8] = {};
    EXPECT_EQ(memcmp(sent()[0].payload() + TGX_MBV2_OFF_EXT, zeros, 8), 0);
}

TEST_F(DumpMboxTest, UpdateConfigStatusAndResponseInfo) {
    struct Case {
        const char* name;
        uint32_t rc;
        uint16_t mbStatus;
        uint32_t word3;
        uint32_t status, info;
    };
    const Case cases[] = {
        {"written", 0, 0, 0x10, 0, 0x10},
        {"refused by the adapter", 0, 5, 0x33, 2, 0x33},
        {"region needs re-initialising", 0, 0xFFF5, 0xFFFFFFF5, 2, 0xFFFFFFF5},
        {"driver return code", 3, 0, 0x22, 3, 0x22},
    };
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script(answer_v2(c.rc, c.mbStatus, {{3, c.word3}}));
        uint32_t info = 99;
        const uint8_t data[4] = {1, 2, 3, 4};
        EXPECT_EQ(update()(0, 2, 8, data, 4, &info), c.status);
        EXPECT_EQ(info, c.info);
    }
}

TEST_F(DumpMboxTest, UpdateConfigRefusals) {
    load();
    uint32_t info = 99;
    const uint8_t data[16] = {};
    EXPECT_EQ(update()(1, 2, 8, data, 16, &info), 3u); // board == adapter count
    EXPECT_EQ(info, 0u);
    info = 99;
    EXPECT_EQ(update()(0, 2, 8, data, 3001, &info), 7u);
    EXPECT_EQ(info, 0u);
    EXPECT_EQ(update()(0, 1, 0x10008, data, 16, &info), 7u); // never region 8
    EXPECT_TRUE(sent().empty());
    fault("0x80000143", "fail");
    info = 99;
    EXPECT_EQ(update()(0, 2, 8, data, 16, &info), 1u);
    EXPECT_EQ(info, 0u);
}

} // namespace
