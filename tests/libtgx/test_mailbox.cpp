// Mailbox transport of the library against the simulated adapter: attempts,
// sleeps, status mapping and what comes back to the caller, for the plain,
// data-buffer and V2 forms.
#include "tests/libtgx/test_mailbox_fixture.h"
#include "sim/driver/sim_driver.h"

namespace {

using namespace tgxio;

using PlainFn = uint32_t (*)(uint32_t, uint32_t*, uint32_t, uint32_t, uint32_t, uint32_t);
using ExFn = uint32_t (*)(uint32_t, uint32_t*, void*, uint8_t, uint32_t, uint32_t, uint32_t,
                          uint32_t);
using V2Fn = uint32_t (*)(uint32_t, uint32_t*, uint32_t, uint32_t, uint32_t);

constexpr uint32_t kDownLink = 0x06;
constexpr uint32_t kUnknownCmd = 0x77;

class MailboxTest : public TgxTest {
  protected:
    PlainFn plain() const { return fn<PlainFn>("TGX_IssueMboxWithRetry"); }
    ExFn ex() const { return fn<ExFn>("TGX_IssueMboxWithRetryEx"); }
    V2Fn v2() const { return fn<V2Fn>("TGX_IssueMboxWithRetryV2"); }
};

// Sets a host address into two mailbox words (low word first).
void put_addr(Mailbox& mb, size_t word, const void* p) {
    uint64_t a = (uint64_t)(uintptr_t)p;
    mb.w[word] = (uint32_t)a;
    mb.w[word + 1] = (uint32_t)(a >> 32);
}

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = (uint8_t)(i * 7 + seed);
    return v;
}

// The retry tables run against the library and against the test double of
// tests/tgx_double, which copies its rules for hbaset's classic paths; the
// attempts are counted in the driver journal, which both write.
class RetryRules : public MailboxTest, public ::testing::WithParamInterface<const char*> {
  protected:
    void load_library() {
        load(kMiniFc, GetParam());
        hbasim::journal_clear();
    }
    bool library() const { return std::string(GetParam()) == "libtgx.so"; }
    static size_t attempts(uint32_t code) {
        char text[16];
        snprintf(text, sizeof text, " 0x%08X ", code);
        size_t n = 0;
        for (const std::string& line : hbasim::journal_lines())
            n += line.find(text) != std::string::npos;
        return n;
    }
    void clear_all() {
        clear();
        hbasim::journal_clear();
    }
};

INSTANTIATE_TEST_SUITE_P(LibraryAndDouble, RetryRules,
                         ::testing::Values("libtgx.so", "libtgx_double.so"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.index == 0 ? "Library" : "Double");
                         });

// ---- plain form ----

struct RetryCase {
    const char* name;
    std::string action; // fault on the request; "" = the adapter answers
    uint32_t retry;
    uint32_t status;
    size_t attempts;
    std::vector<uint32_t> sleeps;
    bool untouched;    // the caller's mailbox is left exactly as it was
    uint16_t mbStatus; // otherwise: the status in the caller's bytes 2-3
};

TEST_P(RetryRules, PlainFormAttemptsSleepsAndStatus) {
    const RetryCase cases[] = {
        {"answered: mailbox copied back", "", 3, 0, 1, {}, false, 0},
        {"retry 0 is one attempt", "status=253", 0, 2, 1, {}, false, 253},
        {"busy sleeps between attempts only", "status=253", 3, 2, 3, {100, 100}, false, 253},
        {"other status retried without sleeping", "status=5", 3, 2, 3, {}, false, 5},
        {"over temperature stops at once", "status=250", 3, 3, 1, {}, true, 0},
        {"failed device call stops at once", "fail", 3, 1, 1, {}, true, 0},
    };
    load_library();
    for (const RetryCase& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (!c.action.empty()) fault("0x80000106", c.action);
        clear_all();
        Mailbox mb(kDownLink);
        mb.w[0] |= 0x00110000; // a stale status the answer must replace
        mb.w[9] = 0xA5A5A5A5;
        const Mailbox before = mb;
        EXPECT_EQ(plain()(0, mb.data(), 32, 32, c.retry, 100), c.status);
        EXPECT_EQ(attempts(TGX_IOCTL_ISSUEMB), c.attempts);
        EXPECT_EQ(sleeps(), c.sleeps);
        if (c.untouched) {
            EXPECT_EQ(mb.w, before.w);
        } else {
            EXPECT_EQ(mb.status(), c.mbStatus);
            EXPECT_EQ(mb.w[9], 0xA5A5A5A5u);
        }
    }
}

TEST_F(MailboxTest, PlainFormSendsTheMailboxAndInWords) {
    load();
    Mailbox mb(kDownLink);
    mb.w[5] = 0x12345678;
    ASSERT_EQ(plain()(0, mb.data(), 32, 32, 1, 0), 0u);
    ASSERT_EQ(sent().size(), 1u);
    const Sent& s = sent()[0];
    EXPECT_EQ(s.size(), TGX_SIZE_ISSUEMB);
    EXPECT_EQ(rd32(s.payload() + 20), 0x12345678u);
    EXPECT_EQ(rd32(s.payload() + TGX_MB_OFF_INWORDS), 32u);
}

TEST_F(MailboxTest, UnknownCommandIsRefusedByTheAdapter) {
    load();
    Mailbox mb(kUnknownCmd);
    EXPECT_EQ(plain()(0, mb.data(), 32, 32, 2, 10), 2u);
    EXPECT_EQ(mb.status(), hbasim::SIM_MBXST_INVALID_CMD);
    EXPECT_EQ(count(TGX_IOCTL_ISSUEMB), 2u);
    Mailbox mb2(kUnknownCmd, 64);
    EXPECT_EQ(v2()(0, mb2.data(), 64, 1, 0), 2u);
    EXPECT_EQ(mb2.status(), hbasim::SIM_MBXST_INVALID_CMD);
}

TEST_F(MailboxTest, PlainFormRefusesBadBoardWithoutRequest) {
    load();
    Mailbox mb(kDownLink);
    EXPECT_EQ(plain()(1, mb.data(), 32, 32, 1, 0), 1u);
    EXPECT_EQ(plain()(0, nullptr, 32, 32, 1, 0), 1u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(MailboxTest, PlainPciLoopbackMovesTheSmallerSize) {
    struct Case {
        uint32_t tx, rx;
        uint32_t status;
        uint32_t moved; // bytes that reach the receive buffer
    };
    const Case cases[] = {{1024, 1024, 0, 1024},
                          {100, 60, 0, 60},
                          {3836, 3836, 0, 3836},
                          {3837, 16, 1, 0},
                          {16, 3837, 1, 0}};
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tx << "/" << c.rx);
        clear();
        std::vector<uint8_t> tx = pattern(4000, 3), rx(4000, 0xEE);
        Mailbox mb(TGX_MBX_BIU_DIAG);
        mb.w[2] = c.tx;
        put_addr(mb, 3, tx.data());
        mb.w[5] = c.rx;
        put_addr(mb, 6, rx.data());
        EXPECT_EQ(plain()(0, mb.data(), 32, 32, 1, 0), c.status);
        EXPECT_TRUE(std::equal(rx.begin(), rx.begin() + c.moved, tx.begin()));
        EXPECT_EQ(rx[c.moved], 0xEE);
        if (c.status == 0) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0].code, TGX_IOCTL_ISSUEMB_XMTRCV);
            EXPECT_EQ(sent()[0].size(), 288 + 2 * c.moved);
        } else {
            EXPECT_TRUE(sent().empty());
        }
    }
}

TEST_F(MailboxTest, PlainEventLogCopiesNoMoreThanWanted) {
    struct Case {
        uint32_t wanted;
        uint32_t copied; // the log holds 512 bytes
    };
    // Sizes below 8 bytes: the trace of the first bytes stays within them.
    const Case cases[] = {{0, 0}, {1, 1},     {3, 3},     {4, 4},
                          {8, 8}, {100, 100}, {512, 512}, {600, 512}};
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        clear();
        std::vector<uint8_t> dest(1024, 0xEE);
        Mailbox mb(TGX_MBX_READ_EVENT_LOG_HOST);
        mb.w[3] = c.wanted;
        put_addr(mb, 4, dest.data());
        ASSERT_EQ(plain()(0, mb.data(), 32, 32, 1, 0), 0u);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].code, TGX_IOCTL_ISSUEMB_EVENTLOG);
        EXPECT_EQ(sent()[0].size(), c.wanted + 292);
        for (uint32_t i = 0; i < c.copied; ++i)
            ASSERT_EQ(dest[i], (uint8_t)(i % 251)) << i;
        EXPECT_EQ(dest[c.copied], 0xEE);
    }
}

// ---- data-buffer form ----

TEST_P(RetryRules, ExFormAttemptsAndSleeps) {
    const RetryCase cases[] = {
        {"busy sleeps between attempts", "status=253", 3, 2, 3, {40, 40}, false, 253},
        {"other status retried", "status=9", 2, 2, 2, {}, false, 9},
        {"each failed call uses an attempt", "fail", 3, 2, 3, {}, true, 0},
    };
    load_library();
    for (const RetryCase& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        fault("0x8000013B", c.action);
        clear_all();
        Mailbox mb(kDownLink);
        const Mailbox before = mb;
        uint32_t data[4] = {};
        EXPECT_EQ(ex()(0, mb.data(), data, 5, 0, 4, c.retry, 40), c.status);
        EXPECT_EQ(attempts(TGX_IOCTL_ISSUEMB_EX), c.attempts);
        EXPECT_EQ(sleeps(), c.sleeps);
        if (c.untouched) {
            EXPECT_EQ(mb.w, before.w);
        } else {
            EXPECT_EQ(mb.status(), c.mbStatus);
        }
    }
}

TEST_F(MailboxTest, OnlyTheV2FormsReadTheReturnCode) {
    load();
    // The driver answers every form with ReturnCode 5 and mailbox status 0.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        wr32(env + TGX_ENV_OFF_RETURNCODE, 5);
        return code == TGX_IOCTL_ISSUEMB || code == TGX_IOCTL_ISSUEMB_EX ||
               code == TGX_IOCTL_ISSUEMB_V2;
    });
    Mailbox a(kDownLink), b(kDownLink), c(kDownLink);
    EXPECT_EQ(plain()(0, a.data(), 32, 32, 1, 0), 0u);
    EXPECT_EQ(ex()(0, b.data(), nullptr, 5, 0, 0, 1, 0), 0u);
    EXPECT_EQ(v2()(0, c.data(), 64, 1, 0), 5u);
}

TEST_F(MailboxTest, ExFormRecoversAfterAFailedCall) {
    load();
    fault("0x8000013B", "fail", 1);
    Mailbox mb(kDownLink);
    EXPECT_EQ(ex()(0, mb.data(), nullptr, 5, 0, 0, 2, 10), 0u);
    EXPECT_EQ(count(TGX_IOCTL_ISSUEMB_EX), 2u);
}

TEST_F(MailboxTest, ExFormRefusedConfigUpdateEndsAndReturnsWord3) {
    load();
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_ISSUEMB_EX) return false;
        uint8_t* mb = env + TGX_ENV_HEADER_LENGTH + TGX_MBEX_OFF_MAILBOX;
        wr32(mb, rd32(mb) | (TGX_MBXST_BUSY << 16));
        wr32(mb + 12, 0xFFFFFFF5);
        wr32(mb + 16, 0xDEAD);
        return true;
    });
    Mailbox mb(TGX_MBX_UPDATE_CFG);
    mb.w[3] = 7;
    mb.w[4] = 8;
    uint32_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(ex()(0, mb.data(), data, 5, 4, 0, 3, 100), 2u);
    EXPECT_EQ(count(TGX_IOCTL_ISSUEMB_EX), 1u);
    EXPECT_TRUE(sleeps().empty());
    EXPECT_EQ(mb.status(), TGX_MBXST_BUSY);
    EXPECT_EQ(mb.w[3], 0xFFFFFFF5u);
    EXPECT_EQ(mb.w[4], 8u); // only word 3 and the status come back
}

TEST_F(MailboxTest, ExFormCapsWordCountsAndCopiesWhatCameBack) {
    load();
    // Counts above 512 are capped; the adapter refuses anything larger.
    Mailbox mb(kDownLink);
    std::vector<uint32_t> big(600, 0);
    ASSERT_EQ(ex()(0, mb.data(), big.data(), 5, 600, 600, 1, 0), 0u);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].payload()[TGX_MBEX_OFF_MBOFFSET], 5);
    EXPECT_EQ(rd32(sent()[0].payload() + TGX_MBEX_OFF_INWORDS), 512u);
    EXPECT_EQ(rd32(sent()[0].payload() + TGX_MBEX_OFF_OUTWORDS), 512u);

    // The event log answers 40 bytes: 10 words reach the buffer, not 30.
    clear();
    Mailbox log(TGX_MBX_READ_EVENT_LOG_HOST);
    log.w[3] = 40;
    std::vector<uint8_t> data(200, 0xEE);
    ASSERT_EQ(ex()(0, log.data(), data.data(), 5, 0, 30, 1, 0), 0u);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(data[i], (uint8_t)(i % 251));
    EXPECT_EQ(data[40], 0xEE);
}

// ---- V2 forms ----

TEST_F(MailboxTest, V2RefusesWithoutRequest) {
    struct Case {
        const char* name;
        uint32_t board; // board 1 lacks the extended mailbox feature
        uint32_t cmd, words, status;
    };
    const Case cases[] = {
        {"fewer than 64 words", 0, kDownLink, 63, 4},
        {"64-word dump needs the extended form", 1, TGX_MBX_DUMP, 64, 1},
        {"more than 64 words needs the extended form", 1, kDownLink, 65, 1},
        {"extension above 3000 bytes", 0, kDownLink, 1000, 5},
        {"bad board", 2, kDownLink, 64, 1},
    };
    load("adapter A fc\nfunction fc\nfunction fc feature_list = 0x400\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mailbox mb(c.cmd, 1024);
        EXPECT_EQ(v2()(c.board, mb.data(), c.words, 3, 10), c.status);
        EXPECT_TRUE(sent().empty());
        EXPECT_EQ(mb.status(), 0);
    }
}

struct V2Case {
    const char* action;
    uint32_t status;
    size_t attempts;
    std::vector<uint32_t> sleeps;
};

// ReturnCodes and mailbox statuses decide the V2 attempts; over temperature
// (250) is a plain mailbox error here, and 3 means "no resource".
const V2Case kV2Cases[] = {
    {"rc=1", 1, 1, {}},       {"rc=2", 2, 1, {}},       {"rc=3", 3, 1, {}},
    {"rc=4", 4, 3, {50, 50}}, {"rc=5", 5, 1, {}},       {"rc=6", 6, 1, {}},
    {"rc=9", 1, 1, {}},       {"status=250", 2, 1, {}}, {"status=252", 2, 1, {}},
    {"status=254", 2, 1, {}}, {"status=253", 2, 3, {}}, {"status=7", 2, 3, {}},
};

TEST_P(RetryRules, V2RegularAttemptsAndStatus) {
    load_library();
    for (const V2Case& c : kV2Cases) {
        SCOPED_TRACE(c.action);
        hbasim::fault_clear();
        fault("0x80000143", c.action);
        clear_all();
        Mailbox mb(kDownLink, 64);
        EXPECT_EQ(v2()(0, mb.data(), 64, 3, 50), c.status);
        EXPECT_EQ(attempts(TGX_IOCTL_ISSUEMB_V2), c.attempts);
        EXPECT_EQ(sleeps(), c.sleeps);
        if (library()) {
            ASSERT_FALSE(sent().empty());
            EXPECT_EQ(sent()[0].size(), TGX_SIZE_ISSUEMB_V2_BASE);
        }
    }
}

TEST_P(RetryRules, V2ExtendedAttemptsAndStatus) {
    load_library();
    for (const V2Case& c : kV2Cases) {
        SCOPED_TRACE(c.action);
        hbasim::fault_clear();
        fault("0x80000143", c.action);
        clear_all();
        Mailbox mb(kDownLink, 80);
        EXPECT_EQ(v2()(0, mb.data(), 80, 3, 50), c.status);
        EXPECT_EQ(attempts(TGX_IOCTL_ISSUEMB_V2), c.attempts);
        EXPECT_EQ(sleeps(), c.sleeps);
    }
}

TEST_F(MailboxTest, V2CopiesTheReplyBackEvenOnFailure) {
    load();
    for (uint16_t st : {0, 7}) {
        SCOPED_TRACE(st);
        script([st](uint32_t code, uint8_t* env, uint32_t) {
            if (code != TGX_IOCTL_ISSUEMB_V2) return false;
            uint8_t* mb = env + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_MAILBOX;
            wr32(mb, (rd32(mb) & 0xFFFF) | ((uint32_t)st << 16));
            wr32(mb + 4 * 63, 0x1234);
            return true;
        });
        Mailbox mb(kDownLink, 64);
        EXPECT_EQ(v2()(0, mb.data(), 64, 2, 0), st ? 2u : 0u);
        EXPECT_EQ(mb.status(), st);
        EXPECT_EQ(mb.w[63], 0x1234u);
    }
}

TEST_F(MailboxTest, V2FailedDeviceCallLeavesTheMailbox) {
    load();
    fault("0x80000143", "fail");
    for (uint32_t words : {64u, 80u}) {
        Mailbox mb(kDownLink, 80);
        mb.w[1] = 42;
        const Mailbox before = mb;
        EXPECT_EQ(v2()(0, mb.data(), words, 3, 10), 1u);
        EXPECT_EQ(mb.w, before.w);
    }
    EXPECT_EQ(count(TGX_IOCTL_ISSUEMB_V2), 2u);
}

TEST_F(MailboxTest, V2ExtendedSizesAndCopyBack) {
    struct Case {
        const char* name;
        uint32_t cmd, words;
        uint32_t ext;  // extension bytes sent
        uint32_t back; // bytes of the caller's buffer written back
    };
    const Case cases[] = {
        {"64-word command with extension", TGX_MBX_READ_REV, 64, 3000, 256},
        {"64-word update-config", TGX_MBX_UPDATE_CFG, 64, 3000, 256},
        {"80 words", kDownLink, 80, 64, 320},
        {"SLI_CONFIG beyond 3000 bytes", TGX_MBX_SLI_CONFIG, 1000, 3744, 4000},
    };
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        script([](uint32_t code, uint8_t* env, uint32_t size) {
            if (code != TGX_IOCTL_ISSUEMB_V2) return false;
            // The answer marks every byte it returns.
            memset(env + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_MAILBOX + 4, 0x5A,
                   size - TGX_ENV_HEADER_LENGTH - TGX_MBV2_OFF_MAILBOX - 4);
            return true;
        });
        Mailbox mb(c.cmd, 1100);
        for (size_t i = 1; i < mb.w.size(); ++i)
            mb.w[i] = 0x11111111;
        EXPECT_EQ(v2()(0, mb.data(), c.words, 1, 0), 0u);
        ASSERT_EQ(sent().size(), 1u);
        const Sent& s = sent()[0];
        EXPECT_EQ(s.size(), 296 + c.ext);
        EXPECT_EQ(rd32(s.payload() + TGX_MBV2_OFF_MBLEN), 256u);
        EXPECT_EQ(rd32(s.payload() + TGX_MBV2_OFF_EXTLEN), c.ext);
        // A 64-word call gets an extension of zeros; longer calls send their own.
        const uint32_t firstExtWord = rd32(s.payload() + TGX_MBV2_OFF_EXT);
        EXPECT_EQ(firstExtWord, c.words == 64 ? 0u : 0x11111111u);
        EXPECT_EQ(mb.w[c.back / 4 - 1], 0x5A5A5A5Au);
        EXPECT_EQ(mb.w[c.back / 4], 0x11111111u);
    }
}

TEST_F(MailboxTest, V2ExtendedPciLoopbackEchoesInPlace) {
    struct Case {
        uint32_t tx, rx, status, moved;
    };
    const Case cases[] = {{200, 100, 0, 100}, {64, 64, 0, 64}, {3837, 10, 5, 0}, {10, 3837, 5, 0}};
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tx << "/" << c.rx);
        clear();
        std::vector<uint8_t> tx = pattern(4000, 9), rx(4000, 0xEE);
        Mailbox mb(TGX_MBX_BIU_DIAG, 64);
        mb.w[2] = c.tx;
        put_addr(mb, 3, tx.data());
        mb.w[5] = c.rx;
        put_addr(mb, 6, rx.data());
        EXPECT_EQ(v2()(0, mb.data(), 64, 1, 0), c.status);
        EXPECT_TRUE(std::equal(rx.begin(), rx.begin() + c.moved, tx.begin()));
        EXPECT_EQ(rx[c.moved], 0xEE);
        EXPECT_EQ(sent().size(), c.status ? 0u : 1u);
        if (!sent().empty()) {
            EXPECT_EQ(sent()[0].size(), 296 + c.moved);
        }
    }
}

} // namespace
