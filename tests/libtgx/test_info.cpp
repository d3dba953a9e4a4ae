// Adapter information queries: cached answers, link state, PCI data, trunking,
// QoS speed, driver kind, control registers and the SLIM window.
#include "tests/libtgx/test_mailbox_fixture.h"

namespace {

using namespace tgxio;

using GenFn = uint32_t (*)(uint32_t, uint8_t*);
using LinkFn = uint32_t (*)(uint32_t, TGX_LINK_INFO*);
using PciIdsFn = uint32_t (*)(uint32_t, TGX_PCI_IDS*);
using PciCfgFn = uint32_t (*)(uint32_t, uint8_t*, uint32_t, uint32_t);
using TrunkFn = uint32_t (*)(uint32_t, uint8_t*);
using QosFn = uint32_t (*)(uint32_t, uint16_t*);
using DrvTypeFn = uint32_t (*)(uint32_t);
using RegFn = uint32_t (*)(uint32_t, uint32_t*, uint32_t);
using SlimFn = uint32_t (*)(uint32_t, void*, uint32_t, uint32_t);

class InfoTest : public TgxTest {};

// Board 0: link up; board 1: link down; board 2: held down persistently.
const char kLinks[] = "adapter A fc pci_segment = 3 pci_bus = 0x42\n"
                      "function fc pci_device = 5 pci_function = 0 return_info = 0x77\n"
                      "function fc link = down pci_device = 5 pci_function = 1\n"
                      "function fc link = down persist_down = yes\n";

TEST_F(InfoTest, LinkInfoFromTheDriverAndTheTable) {
    load(kLinks);
    uint8_t gen[128];
    ASSERT_EQ(fn<GenFn>("TGX_GetGenInfo")(0, gen), 0u);
    const uint8_t states[] = {TGX_LNK_UP, TGX_LNK_DOWN, TGX_LNK_DOWN_PERSIST};
    for (uint32_t b = 0; b < 3; ++b) {
        SCOPED_TRACE(b);
        TGX_LINK_INFO li;
        memset(&li, 0xEE, sizeof li);
        ASSERT_EQ(fn<LinkFn>("TGX_GetLinkInfo")(b, &li), 0u);
        EXPECT_EQ(li.a_linkState, states[b]);
        if (b == 0) {
            EXPECT_EQ(li.returnInfoWord, 0x77u);
            EXPECT_EQ(memcmp(li.generalInfo, gen, sizeof gen), 0);
        }
        for (uint8_t x : li.r0)
            EXPECT_EQ(x, 0);
        EXPECT_EQ(li.r20, 0);
        for (uint8_t x : li.r152)
            EXPECT_EQ(x, 0);
    }
    EXPECT_EQ(fn<GenFn>("TGX_GetGenInfo")(3, gen), 1u);
    TGX_LINK_INFO li;
    EXPECT_EQ(fn<LinkFn>("TGX_GetLinkInfo")(3, &li), 1u);
}

TEST_F(InfoTest, LinkWordAndDriverErrors) {
    struct Case {
        const char* name;
        uint32_t word, rc;
        bool fail;
        uint32_t status;
        uint8_t state;
    };
    const Case cases[] = {
        {"persistent down", 0x80000000, 0, false, 0, TGX_LNK_DOWN_PERSIST},
        {"up wins over persistent", 0x80000001, 0, false, 0, TGX_LNK_UP},
        {"down", 0, 0, false, 0, TGX_LNK_DOWN},
        {"driver error", 1, 5, false, 1, 0},
        {"failed call", 1, 0, true, 1, 0},
    };
    load(kLinks);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (c.fail) fault("0x80000100", "fail");
        script([&c](uint32_t code, uint8_t* env, uint32_t) {
            if (code != TGX_IOCTL_RETURN_INFO || c.fail) return false;
            wr32(env + TGX_ENV_HEADER_LENGTH + TGX_RI_LINKWORD, c.word);
            wr32(env + TGX_ENV_OFF_RETURNCODE, c.rc);
            return true;
        });
        TGX_LINK_INFO li;
        EXPECT_EQ(fn<LinkFn>("TGX_GetLinkInfo")(0, &li), c.status);
        EXPECT_EQ(li.a_linkState, c.state);
    }
}

TEST_F(InfoTest, PciIdentifiersAndConfigSpace) {
    load(kLinks);
    TGX_PCI_IDS ids;
    memset(&ids, 0xEE, sizeof ids);
    ASSERT_EQ(fn<PciIdsFn>("TGX_GetPCIIds")(1, &ids), 0u);
    EXPECT_EQ(ids.segment, 3u);
    EXPECT_EQ(ids.bus, 0x42u);
    EXPECT_EQ(ids.device, 5u);
    EXPECT_EQ(ids.function, 1u);
    EXPECT_EQ(ids.r16, 0u);
    EXPECT_EQ(ids.r20, 0u);
    EXPECT_EQ(fn<PciIdsFn>("TGX_GetPCIIds")(3, &ids), 3u);

    auto cfg = fn<PciCfgFn>("TGX_ReadPciCfg");
    uint8_t space[256];
    ASSERT_EQ(cfg(0, space, 0, 256), 0u);
    EXPECT_EQ(space[0] | (space[1] << 8), 0x1F3C); // vendor
    struct Case {
        uint32_t board, offset, count, status, copied;
    };
    const Case cases[] = {{0, 250, 16, 0, 6}, {0, 300, 16, 0, 0}, {0, 256, 4, 0, 0},
                          {0, 4096, 4, 0, 0}, {0, 5000, 4, 1, 0}, {0, 0, 5000, 1, 0},
                          {0, 16, 8, 0, 8},   {3, 0, 4, 1, 0}};
    EXPECT_TRUE(sent().empty()) << "answered from the table";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << "+" << c.count);
        std::vector<uint8_t> buf(32, 0xEE);
        EXPECT_EQ(cfg(c.board, buf.data(), c.offset, c.count), c.status);
        for (uint32_t i = 0; i < c.copied; ++i)
            EXPECT_EQ(buf[i], space[c.offset + i]);
        EXPECT_EQ(buf[c.copied], 0xEE);
    }
}

TEST_F(InfoTest, TrunkInformation) {
    struct Case {
        const char* name;
        const char* action;
        uint32_t board, status;
        bool copied;
    };
    const Case cases[] = {
        {"trunked port", "", 0, 0, true},
        {"no trunking", "", 1, 2, false},
        {"other return code", "rc=7", 0, 1, false},
        {"failed call", "fail", 0, 1, false},
        {"bad board", "", 2, 1, false},
    };
    load("adapter A fc\nfunction fc trunk_info = 0102030405060708\nfunction fc\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (*c.action) fault("0x80000150", c.action);
        uint8_t t[9];
        memset(t, 0xEE, sizeof t);
        EXPECT_EQ(fn<TrunkFn>("TGX_GetTrunkInfo")(c.board, t), c.status);
        const uint8_t want[9] = {1, 2, 3, 4, 5, 6, 7, 8, 0xEE};
        if (c.copied)
            EXPECT_EQ(memcmp(t, want, 9), 0);
        else
            EXPECT_EQ(t[0], 0xEE);
    }
}

TEST_F(InfoTest, QosLinkSpeed) {
    struct Case {
        const char* name;
        uint32_t board;
        const char* action;
        uint32_t status;
        uint16_t speed;
        size_t requests;
    };
    const Case cases[] = {
        {"reported speed", 0, "", 0, 25, 1},
        {"speed 0 reads as unknown", 1, "", 0, 0xFFFF, 1},
        {"not FCoE capable", 2, "", 2, 0xEEEE, 0},
        {"failed call", 0, "fail", 2, 0xEEEE, 1},
        {"driver refusal", 0, "rc=9", 2, 0xEEEE, 1},
        {"bad board", 3, "", 3, 0xEEEE, 0},
    };
    load("adapter A fc\nfunction fc feature_list = 0x1600 qos_speed = 25\n"
         "function fc feature_list = 0x1600 qos_speed = 0\nfunction fc feature_list = 0x1400\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (*c.action) fault("0x80000144", c.action);
        clear();
        uint16_t speed = 0xEEEE;
        EXPECT_EQ(fn<QosFn>("TGX_GetQoSLinkSpeed")(c.board, &speed), c.status);
        EXPECT_EQ(speed, c.speed);
        EXPECT_EQ(count(TGX_IOCTL_GET_LINKINFO), c.requests);
    }
}

TEST_F(InfoTest, DriverType) {
    load("adapter A fc\nfunction fc\nfunction fc\n");
    auto type = fn<DrvTypeFn>("QrlTgxQueryDriverType");
    EXPECT_EQ(type(0), 2u);
    EXPECT_EQ(type(1), 2u);
    EXPECT_EQ(type(2), 1u);
}

TEST_F(InfoTest, ControlRegisters) {
    load("adapter A fc\nfunction fc\nfunction fc ctl_ready = no\n");
    auto rd = fn<RegFn>("TGX_ReadCtlReg");
    auto wrr = fn<RegFn>("TGX_WriteCtlReg");
    uint32_t v = 0xCAFE0001;
    ASSERT_EQ(wrr(0, &v, 0x10), 0u);
    ASSERT_EQ(sent().size(), 1u);
    const uint8_t* p = sent()[0].payload();
    EXPECT_EQ(sent()[0].code, TGX_IOCTL_RW_CTLREG);
    EXPECT_EQ(sent()[0].size(), TGX_SIZE_RW_SLIM);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], 1);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(rd32(p + 4), 0x10u);
    EXPECT_EQ(rd32(p + 8), 4u);
    EXPECT_EQ(rd32(p + 12), 0xCAFE0001u);
    v = 0;
    ASSERT_EQ(rd(0, &v, 0x10), 0u);
    EXPECT_EQ(v, 0xCAFE0001u);
    EXPECT_EQ(sent()[1].payload()[1], 0);

    // Register 8 carries the ready bit.
    ASSERT_EQ(rd(0, &v, 8), 0u);
    EXPECT_EQ(v & 0x800000u, 0x800000u);
    ASSERT_EQ(rd(1, &v, 8), 0u);
    EXPECT_EQ(v & 0x800000u, 0u);

    // Refusals: driver return code, null buffer, bad board.
    v = 0x1234;
    EXPECT_EQ(rd(0, &v, 0x2000), 1u);
    EXPECT_EQ(v, 0x1234u);
    clear();
    EXPECT_EQ(rd(0, nullptr, 8), 2u);
    EXPECT_EQ(rd(2, &v, 8), 1u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(InfoTest, SlimWordCountsAndWindow) {
    struct Case {
        uint32_t bytes, status, words; // words sent; 0 = no request
    };
    const Case cases[] = {{4, 0, 2},    {8, 0, 2}, {12, 0, 3}, {4096, 0, 1024},
                          {4100, 1, 0}, {6, 1, 0}, {0, 1, 0}};
    load("adapter A fc\nfunction fc slim_base = 0x4000\n");
    auto rd = fn<SlimFn>("TGX_ReadSlim");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        clear();
        std::vector<uint8_t> buf(4200);
        uint32_t st = rd(0, buf.data(), 0, c.bytes);
        if (c.words == 0) {
            EXPECT_EQ(st, c.status);
            if (c.bytes != 0) {
                EXPECT_TRUE(sent().empty());
            }
            continue;
        }
        EXPECT_EQ(st, c.status);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].code, TGX_IOCTL_READ_SLIM);
        EXPECT_EQ(rd32(sent()[0].payload() + TGX_SLIM_OFF_ADDR), 0x4000u);
        EXPECT_EQ(rd32(sent()[0].payload() + TGX_SLIM_OFF_WORDS), c.words);
    }
    uint32_t w = 0;
    EXPECT_EQ(rd(0, nullptr, 0, 4), 2u);
    EXPECT_EQ(rd(1, &w, 0, 4), 1u);
}

TEST_F(InfoTest, SlimWritesKeepTheNeighbouringWord) {
    load("adapter A fc\nfunction fc slim_base = 0x4000\n");
    auto rd = fn<SlimFn>("TGX_ReadSlim");
    auto wr = fn<SlimFn>("TGX_WriteSlim");
    uint32_t two[2] = {0x11111111, 0x22222222};
    ASSERT_EQ(wr(0, two, 0x20, 8), 0u);
    clear();
    uint32_t one = 0x33333333;
    ASSERT_EQ(wr(0, &one, 0x20, 4), 0u);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].code, TGX_IOCTL_READ_SLIM);
    EXPECT_EQ(sent()[1].code, TGX_IOCTL_WRITE_SLIM);
    EXPECT_EQ(rd32(sent()[1].payload() + TGX_SLIM_OFF_WORDS), 2u);
    uint32_t back[3] = {};
    ASSERT_EQ(rd(0, back, 0x20, 12), 0u);
    EXPECT_EQ(back[0], 0x33333333u);
    EXPECT_EQ(back[1], 0x22222222u);
    EXPECT_EQ(back[2], 0u);
    // A partial word is refused rather than dropped.
    uint8_t six[6] = {};
    EXPECT_EQ(wr(0, six, 0x20, 6), 1u);
    // The window's last word alone: the implied second word lies outside it.
    uint32_t last = 0x44444444, got = 0;
    ASSERT_EQ(wr(0, &last, 4092, 4), 0u);
    ASSERT_EQ(rd(0, &got, 4092, 4), 0u);
    EXPECT_EQ(got, 0x44444444u);
    // Outside the window the driver refuses.
    EXPECT_EQ(wr(0, two, 4096, 8), 1u);
    EXPECT_EQ(rd(0, &got, 4096, 4), 1u);
}

TEST_F(InfoTest, SlimReadCopiesWhateverTheReturnCode) {
    load();
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_READ_SLIM) return false;
        memset(env + TGX_ENV_HEADER_LENGTH, 0x5A, 16);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 6);
        return true;
    });
    uint8_t buf[20];
    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(fn<SlimFn>("TGX_ReadSlim")(0, buf, 0, 16), 6u);
    EXPECT_EQ(buf[15], 0x5A);
    EXPECT_EQ(buf[16], 0xEE);
}

} // namespace
