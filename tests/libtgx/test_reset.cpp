// Reset, loopback, dump control and the bridge commands of bridge boards,
// against the simulated adapter's link model.
#include <sys/wait.h>
#include <unistd.h>

#include "tests/libtgx/test_mailbox_fixture.h"

namespace {

using namespace tgxio;

using ResetFn = uint32_t (*)(uint32_t, uint32_t);
using ConfigFn = uint32_t (*)(uint32_t, uint32_t, uint32_t);
using RunFn = uint32_t (*)(uint32_t, TGX_LOOPBACK*);
using EndFn = uint32_t (*)(uint32_t);
using DumpEnvFn = uint32_t (*)(uint32_t, uint32_t);
using RegionFn = uint32_t (*)(uint32_t, uint32_t, void*, uint32_t*);
using TamberFn = uint32_t (*)(uint32_t, const void*, uint32_t, void*, uint32_t*);
using LinkFn = uint32_t (*)(uint32_t, TGX_LINK_INFO*);
using SetPersistFn = uint32_t (*)(uint32_t, uint32_t);

// Board 0: SLI-4 FC; 1: device 0xE200 (Brevin); 2: with a loopback plug;
// 3: Port driver.
const char kBoards[] = "adapter A fc\n"
                       "function fc driver_name = qrlfc\n"
                       "function fc driver_name = qrlfc device_id = 0xE200\n"
                       "function fc driver_name = qrlfc loopback_plug = yes\n"
                       "function fc\n";

// A bridge board whose VPD port byte is given (hex of 20 bytes).
std::string bridge_fleet(const std::string& portByte) {
    return "adapter T fc\nfunction fc driver_name = qrlfc device_id = 0xFE05 vpd_port_id = " +
           portByte + std::string(38, '0') + "\n";
}

class ResetTest : public TgxTest {
  protected:
    ConfigFn config() const { return fn<ConfigFn>("TGX_ConfigLoopback"); }
    RunFn run() const { return fn<RunFn>("TGX_RunLoopbackTest"); }
    EndFn end() const { return fn<EndFn>("TGX_EndLoopback"); }
    uint8_t link_state(uint32_t board) const {
        TGX_LINK_INFO li;
        EXPECT_EQ(fn<LinkFn>("TGX_GetLinkInfo")(board, &li), 0u);
        return li.a_linkState;
    }
    // Mailbox commands (and INIT_LINK flags) sent on the V2 form, in order.
    static std::vector<uint32_t> link_commands() {
        std::vector<uint32_t> v;
        for (const Sent& s : sent())
            if (s.code == TGX_IOCTL_ISSUEMB_V2) {
                const uint8_t* mb = s.payload() + TGX_MBV2_OFF_MAILBOX;
                v.push_back(mb[1] == TGX_MBX_INIT_LINK ? 0x500 | (rd32(mb + 8) & 0xFFFF) : mb[1]);
            }
        return v;
    }
    uint32_t echo(uint32_t board, uint32_t len = 64) {
        std::vector<uint8_t> tx(len), rx(len, 0);
        for (uint32_t i = 0; i < len; ++i)
            tx[i] = (uint8_t)(i * 3 + 1);
        TGX_LOOPBACK lb = {len, tx.data(), rx.data()};
        uint32_t st = run()(board, &lb);
        if (st == 0) {
            EXPECT_EQ(rx, tx);
        }
        return st;
    }
};

TEST_F(ResetTest, ResetAdapterStatus) {
    struct Case {
        uint32_t board, type;
        const char* action;
        uint32_t status;
    };
    const Case cases[] = {{0, 1, "", 0},     {0, 3, "", 0},     {0, 0, "", 1},
                          {0, 1, "rc=9", 9}, {0, 1, "fail", 1}, {4, 1, "", 1}};
    load(kBoards);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.action);
        hbasim::fault_clear();
        if (*c.action) fault("0x80000127", c.action);
        clear();
        EXPECT_EQ(fn<ResetFn>("TGX_ResetAdapter")(c.board, c.type), c.status);
        if (c.board >= 4) {
            EXPECT_TRUE(sent().empty()) << "a bad board is refused before any request";
            continue;
        }
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].size(), 32u);
        EXPECT_EQ(rd32(sent()[0].payload()), c.type);
    }
}

TEST_F(ResetTest, ConfigLoopbackRefusalsSendNothing) {
    struct Case {
        uint32_t board, type, status;
    };
    const Case cases[] = {{0, 0, 3}, {0, 3, 3}, {3, 1, 1}, {4, 1, 1}};
    load(kBoards);
    for (const Case& c : cases) {
        EXPECT_EQ(config()(c.board, c.type, 15), c.status);
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(ResetTest, ConfigLoopbackLinkFlagsAndLinkUp) {
    struct Case {
        const char* name;
        uint32_t board, type, wait;
        uint32_t status;
        uint32_t initLink; // 0x500 | flag
        size_t polls;
        const char* mode;
    };
    const Case cases[] = {
        {"internal", 0, 1, 15, 0, 0x501, 1, "internal"},
        {"external without plug never comes up", 0, 2, 15, 2, 0x502, 14, "external"},
        {"external on device 0xE200", 1, 2, 4, 2, 0x504, 3, "external"},
        {"external with plug", 2, 2, 15, 0, 0x502, 1, "external"},
        {"wait 1 makes no poll", 0, 1, 1, 2, 0x501, 0, "internal"},
        {"wait 0 makes no poll", 0, 1, 0, 2, 0x501, 0, "internal"},
    };
    load(kBoards);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        EXPECT_EQ(config()(c.board, c.type, c.wait), c.status);
        EXPECT_EQ(link_commands(), (std::vector<uint32_t>{TGX_MBX_DOWN_LINK, c.initLink}));
        EXPECT_EQ(sleeps(), std::vector<uint32_t>(c.polls, 1000));
        EXPECT_EQ(attr("loopback", (int)c.board), c.mode);
        ASSERT_EQ(fn<ResetFn>("TGX_ResetAdapter")(c.board, 1), 0u);
        EXPECT_EQ(attr("loopback", (int)c.board), "<none>");
    }
}

TEST_F(ResetTest, ConfigLoopbackMailboxFailures) {
    struct Case {
        const char* name;
        const char* action;
        int nth;
        uint32_t status;
    };
    // Over temperature ends the V2 attempts with 2; only "no resource" (3)
    // passes through as 3.
    const Case cases[] = {
        {"down link: no resource", "rc=3", 1, 3},
        {"down link: over temperature", "status=250", 1, 1},
        {"down link: not supported", "rc=1", 1, 1},
        {"init link: no resource", "rc=3", 2, 3},
        {"init link: mailbox error", "status=252", 2, 1},
    };
    load(kBoards);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        fault("0x80000143", c.action, -1, c.nth);
        clear();
        EXPECT_EQ(config()(0, 1, 15), c.status);
        EXPECT_EQ(link_commands().size(), (size_t)c.nth);
        EXPECT_TRUE(sleeps().empty());
    }
    // Busy on every attempt: ten attempts 300 ms apart, then failure.
    hbasim::fault_clear();
    fault("0x80000143", "rc=4");
    clear();
    EXPECT_EQ(config()(0, 1, 15), 1u);
    EXPECT_EQ(sleeps(), std::vector<uint32_t>(9, 300));
}

TEST_F(ResetTest, LoopbackLastsAcrossProcessesUntilReset) {
    load(kBoards);
    EXPECT_EQ(echo(0), 1u) << "no echo outside loopback";
    ASSERT_EQ(config()(0, 1, 15), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_UP);
    auto in_child = [this]() {
        pid_t pid = fork();
        if (pid == 0) _exit((int)echo(0));
        int ws = 0;
        waitpid(pid, &ws, 0);
        return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    };
    EXPECT_EQ(in_child(), 0);
    clear();
    EXPECT_EQ(end()(0), 0u);
    EXPECT_EQ(sleeps(), std::vector<uint32_t>{5000});
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].code, TGX_IOCTL_RESET_ADAPTER);
    EXPECT_EQ(rd32(sent()[0].payload()), 1u);
    EXPECT_EQ(in_child(), 1);
    EXPECT_EQ(link_state(0), TGX_LNK_UP);
    EXPECT_EQ(end()(4), 1u);
}

TEST_F(ResetTest, PersistentLinkDownIsReappliedAtReset) {
    load(kBoards);
    auto setPersist = fn<SetPersistFn>("TGX_SetPersistLinkDown");
    auto reset = fn<ResetFn>("TGX_ResetAdapter");
    ASSERT_EQ(setPersist(0, 1), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_DOWN_PERSIST);
    ASSERT_EQ(config()(0, 1, 15), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_UP);
    ASSERT_EQ(end()(0), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_DOWN_PERSIST);
    // Cleared: the link stays down until the next reset brings it back.
    ASSERT_EQ(setPersist(0, 0), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_DOWN);
    ASSERT_EQ(reset(0, 1), 0u);
    EXPECT_EQ(link_state(0), TGX_LNK_UP);
    EXPECT_EQ(link_state(1), TGX_LNK_UP);
}

TEST_F(ResetTest, ServerRebootEndsLoopbackAndReadsPersistentLinkDown) {
    load(kBoards);
    ASSERT_EQ(config()(0, 1, 15), 0u);
    ASSERT_EQ(config()(2, 2, 15), 0u);
    ASSERT_EQ(fn<SetPersistFn>("TGX_SetPersistLinkDown")(1, 1), 0u);
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(attr("loopback", 0), "<none>");
    EXPECT_EQ(attr("loopback", 2), "<none>");
    EXPECT_EQ(link_state(0), TGX_LNK_UP);
    EXPECT_EQ(link_state(1), TGX_LNK_DOWN_PERSIST);
    EXPECT_EQ(link_state(2), TGX_LNK_UP);
    EXPECT_EQ(echo(0), 1u);
}

TEST_F(ResetTest, RunLoopbackCopiesWhatCameBack) {
    struct Case {
        uint32_t returned, copied;
    };
    const Case cases[] = {{64, 64}, {10, 10}, {1000, 64}, {0, 0}};
    load(kBoards);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.returned);
        script([&c](uint32_t code, uint8_t* env, uint32_t) {
            if (code != TGX_IOCTL_LOOPBACK_TEST) return false;
            uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
            uint32_t len = rd32(p);
            for (uint32_t i = 0; i < len; ++i)
                p[4 + len + i] = (uint8_t)(0x80 + i);
            wr32(p, c.returned);
            return true;
        });
        clear();
        uint8_t tx[64] = {}, rx[80];
        memset(rx, 0xEE, sizeof rx);
        TGX_LOOPBACK lb = {64, tx, rx};
        EXPECT_EQ(run()(0, &lb), 0u);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].size(), 32u + 128);
        for (uint32_t i = 0; i < c.copied; ++i)
            EXPECT_EQ(rx[i], (uint8_t)(0x80 + i));
        EXPECT_EQ(rx[c.copied], 0xEE);
    }
    script(nullptr);
    clear();
    uint8_t b[4];
    TGX_LOOPBACK huge = {0xFFFFFFF0u, b, b};
    EXPECT_EQ(run()(0, &huge), 1u);
    TGX_LOOPBACK lb = {4, b, b};
    EXPECT_EQ(run()(3, &lb), 1u) << "Port driver";
    EXPECT_TRUE(sent().empty());
    fault("0x8000012B", "rc=5");
    EXPECT_EQ(run()(0, &lb), 1u);
}

TEST_F(ResetTest, DumpEnvironment) {
    struct Case {
        uint32_t board, flag;
        const char* action;
        uint32_t result;
    };
    const Case cases[] = {
        {0, 0, "", 0},          // current mode
        {0, 2, "", 0},          // not valid on SLI-4: the driver's 0xFFFFFFFF reads as 0
        {0, 3, "", 0},          //
        {0, 4, "", 0},          // enters mode 4
        {0, 0, "", 4},          // which the query now reports
        {0, 5, "", 0xFFFFFFFF}, // no adjustment above 4
        {0, 2, "rc=7", 7},      //
        {0, 2, "fail", 1},      //
        {3, 2, "", 1},          // Port driver
        {4, 2, "", 1},          // bad board
    };
    load(kBoards);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.board << " flag " << c.flag << " " << c.action);
        hbasim::fault_clear();
        if (*c.action) fault("0x80000128", c.action);
        EXPECT_EQ(fn<DumpEnvFn>("TGX_SetDumpEnv")(c.board, c.flag), c.result);
    }
}

TEST_F(ResetTest, DriverDumpRegionInPieces) {
    struct Case {
        const char* name;
        uint32_t size; // region size in the fleet
        uint32_t wanted;
        std::vector<uint32_t> words; // word counts asked, in order
        uint32_t lengthOut;
    };
    const Case cases[] = {
        {"three pieces", 10000, 10000, {1024, 1024, 452}, 10000},
        {"odd size", 10001, 10001, {1024, 1024, 453}, 10001},
        {"more than the region holds", 10000, 12000, {1024, 1024, 952}, 10000},
        {"one small piece", 10000, 6, {2}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lib.reset();
        load("adapter A fc\nfunction fc driver_name = qrlfc drv_dump_size = " +
             std::to_string(c.size) + "\n");
        std::vector<uint8_t> buf(c.wanted + 8, 0xEE);
        uint32_t len = c.wanted;
        ASSERT_EQ(fn<RegionFn>("TGX_GetDriverDumpRegion")(0, 3, buf.data(), &len), 0u);
        EXPECT_EQ(len, c.lengthOut);
        std::vector<uint32_t> words, offsets;
        for (const Sent& s : sent()) {
            EXPECT_EQ(rd32(s.payload()), 3u);
            offsets.push_back(rd32(s.payload() + 4));
            words.push_back(rd32(s.payload() + 8));
        }
        EXPECT_EQ(words, c.words);
        for (size_t i = 0; i < offsets.size(); ++i)
            EXPECT_EQ(offsets[i], 4096 * i);
        for (uint32_t i = 0; i < c.lengthOut; ++i)
            ASSERT_EQ(buf[i], (uint8_t)(i % 251 + 3)) << i;
        EXPECT_EQ(buf[c.lengthOut], 0xEE);
    }
}

TEST_F(ResetTest, DriverDumpRegionSizeAndRefusals) {
    load(kBoards);
    auto region = fn<RegionFn>("TGX_GetDriverDumpRegion");
    uint32_t len = 0;
    ASSERT_EQ(region(0, 7, nullptr, &len), 0u);
    EXPECT_EQ(len, 10000u);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(rd32(sent()[0].payload() + 8), 0u);
    uint8_t buf[16];
    len = 16;
    EXPECT_EQ(region(0, 8, buf, &len), 2u);
    EXPECT_EQ(region(3, 0, buf, &len), 1u);
    EXPECT_EQ(region(4, 0, buf, &len), 1u);
    fault("0x80000129", "rc=6");
    EXPECT_EQ(region(0, 0, buf, &len), 6u);
    // A driver answering more words than asked never overruns the buffer.
    hbasim::fault_clear();
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_GETDRVDUMP_REGION) return false;
        wr32(env + TGX_ENV_HEADER_LENGTH + 8, 5000);
        return true;
    });
    uint8_t small[12];
    memset(small, 0xEE, sizeof small);
    len = 8;
    EXPECT_EQ(region(0, 0, small, &len), 0u);
    EXPECT_EQ(len, 8u);
    EXPECT_EQ(small[8], 0xEE);
}

TEST_F(ResetTest, BridgeControlCommands) {
    struct Case {
        const char* action;
        uint32_t status;
    };
    const Case cases[] = {{"", 0}, {"rc=1", 1}, {"rc=2", 5}, {"rc=3", 1}, {"rc=7", 1}, {"fail", 1}};
    load(bridge_fleet("31"));
    auto send = fn<TamberFn>("TGX_SendTamberCommand");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        hbasim::fault_clear();
        if (*c.action) fault("0x8000013D", c.action);
        clear();
        const uint32_t cmd[3] = {TGX_TAMBER_CMD_SETMODE, 7, 0};
        uint32_t rsp[2] = {0xEEEEEEEE, 0xEEEEEEEE};
        uint32_t rspSize = 8;
        EXPECT_EQ(send(0, cmd, 12, rsp, &rspSize), c.status);
        ASSERT_EQ(sent().size(), 1u);
        const Sent& s = sent()[0];
        EXPECT_EQ(s.code, TGX_IOCTL_TAMBER_ISSUEMB);
        EXPECT_EQ(s.size(), 12u + 8 + 2348);
        EXPECT_EQ(s.payload()[0] & 1, 1);
        EXPECT_EQ(s.payload()[1], 0x21);
        EXPECT_EQ(rd32(s.payload() + 4), 0x103107u);
        EXPECT_EQ(rd32(s.payload() + 8), 1u);
        EXPECT_EQ(rd32(s.payload() + 256), 32u);
        EXPECT_EQ(rd32(s.payload() + 260), 32u);
        EXPECT_EQ(rd32(s.payload() + 264), TGX_TAMBER_CMD_SETMODE);
        EXPECT_EQ(rd32(s.payload() + 268), 7u);
        if (strcmp(c.action, "fail") != 0) {
            EXPECT_EQ(rsp[0], c.status);
            EXPECT_EQ(rspSize, 4u);
        }
        EXPECT_EQ(rsp[1], 0xEEEEEEEEu);
    }
    // No room for the status word: nothing is written into the response.
    hbasim::fault_clear();
    const uint32_t reset[3] = {TGX_TAMBER_CMD_RESET, 0, 0};
    uint16_t tiny = 0xEEEE;
    uint32_t tinySize = 2;
    EXPECT_EQ(send(0, reset, 12, &tiny, &tinySize), 0u);
    EXPECT_EQ(tiny, 0xEEEE);
    uint32_t rsp = 0, rspSize = 4;
    EXPECT_EQ(send(1, reset, 12, &rsp, &rspSize), 6u) << "board == adapter count";
    EXPECT_EQ(send(0, reset, 0xFFFFFFF0u, &rsp, &rspSize), 1u);
}

TEST_F(ResetTest, BridgePassThrough) {
    struct Case {
        const char* action;
        uint32_t status;
    };
    const Case cases[] = {{"rc=0", 5},  {"rc=-1", 1}, {"rc=-2", 1}, {"rc=-3", 1},
                          {"rc=-4", 1}, {"rc=-5", 3}, {"rc=-9", 1}, {"fail", 1}};
    load(bridge_fleet("31"));
    auto send = fn<TamberFn>("TGX_SendTamberCommand");
    const uint32_t cmd[3] = {TGX_TAMBER_CMD_LOOPBACK, 1, 1};
    uint8_t rsp[16];
    memset(rsp, 0xEE, sizeof rsp);
    uint32_t rspSize = 8;
    ASSERT_EQ(send(0, cmd, 12, rsp, &rspSize), 0u);
    EXPECT_EQ(rspSize, 4u);
    EXPECT_EQ(rd32(rsp), 0u);
    EXPECT_EQ(rsp[4], 0xEE);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].code, TGX_IOCTL_GET_CT_INFO);
    EXPECT_EQ(rd32(sent()[0].payload()), 0xFC0Eu);
    EXPECT_EQ(rd32(sent()[0].payload() + 4), 12u);
    EXPECT_EQ(rd32(sent()[0].payload() + 8), 8u);
    EXPECT_EQ(memcmp(sent()[0].payload() + 12, cmd, 12), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        hbasim::fault_clear();
        fault("0x8000011C", c.action);
        rspSize = 8;
        EXPECT_EQ(send(0, cmd, 12, rsp, &rspSize), c.status);
    }
    // A driver claiming a long response fills no more than the caller's buffer.
    hbasim::fault_clear();
    fault("0x8000011C", "rc=5000");
    memset(rsp, 0xEE, sizeof rsp);
    rspSize = 8;
    EXPECT_EQ(send(0, cmd, 12, rsp, &rspSize), 0u);
    EXPECT_EQ(rsp[8], 0xEE);
}

TEST_F(ResetTest, BridgeBoardLoopback) {
    struct Case {
        const char* name;
        const char* portByte;
        uint32_t type;
        uint32_t port;
        std::vector<uint32_t> codes;
        size_t polls;
        const char* mode;
    };
    const std::vector<uint32_t> internal = {TGX_IOCTL_GET_VPD, TGX_IOCTL_TAMBER_ISSUEMB,
                                            TGX_IOCTL_GET_CT_INFO, TGX_IOCTL_TAMBER_ISSUEMB};
    const std::vector<uint32_t> external = {TGX_IOCTL_GET_VPD, TGX_IOCTL_GET_CT_INFO};
    const Case cases[] = {
        {"internal on port 1", "31", 1, 1, internal, 1, "internal"},
        {"port byte 0xFF gives port 0", "FF", 1, 0, internal, 1, "internal"},
        {"a letter gives port 0", "41", 1, 0, internal, 1, "internal"},
        {"external", "33", 2, 3, external, 0, "external"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lib.reset();
        load(bridge_fleet(c.portByte));
        EXPECT_EQ(config()(0, c.type, 15), 0u);
        std::vector<uint32_t> codes;
        for (const Sent& s : sent())
            codes.push_back(s.code);
        EXPECT_EQ(codes, c.codes);
        for (const Sent& s : sent()) {
            if (s.code == TGX_IOCTL_GET_CT_INFO) {
                EXPECT_EQ(rd32(s.payload() + 16), c.port);
            }
        }
        EXPECT_EQ(sleeps(), std::vector<uint32_t>(c.polls, 1000));
        EXPECT_EQ(attr("loopback"), c.mode);
        EXPECT_NE(attr("bridge_maint"), "1") << "maintenance mode is left";
        // Ending the loopback resets the bridge, then the adapter.
        clear();
        EXPECT_EQ(end()(0), 0u);
        ASSERT_EQ(sent().size(), 2u);
        EXPECT_EQ(sent()[0].code, TGX_IOCTL_TAMBER_ISSUEMB);
        EXPECT_EQ(rd32(sent()[0].payload() + 4), 0x103007u);
        EXPECT_EQ(sent()[1].code, TGX_IOCTL_RESET_ADAPTER);
        EXPECT_EQ(attr("loopback"), "<none>");
    }
}

TEST_F(ResetTest, BridgeLoopbackReportsTheFirstFailure) {
    load(bridge_fleet("31"));
    // Maintenance mode on times out; the rest still runs, maintenance mode is
    // left, and the timeout is what the caller sees.
    fault("0x8000013D", "rc=2", -1, 1);
    EXPECT_EQ(config()(0, 1, 15), 5u);
    EXPECT_EQ(count(TGX_IOCTL_TAMBER_ISSUEMB), 2u);
    EXPECT_EQ(count(TGX_IOCTL_GET_CT_INFO), 1u);
}

} // namespace
