// SD statistics through libtgx against the simulated driver: bucket layouts
// across boards, collection with the remembered layout, virtual-port control
// codes and the bounded data copy.
#include "tests/libtgx_agent/npiv_fixture.h"

namespace {

using namespace npivtest;

using SetBucketFn = uint32_t (*)(uint16_t, uint16_t, uint32_t, uint32_t);
using GetBucketFn = uint32_t (*)(uint16_t, uint16_t*, uint32_t*, uint32_t*, uint64_t*);
using DestroyFn = uint32_t (*)(uint16_t);
using StartFn = uint32_t (*)(uint32_t, HBA_wwn, uint16_t, uint32_t);
using StopFn = uint32_t (*)(uint32_t, HBA_wwn, uint16_t);
using GetDataFn = uint32_t (*)(uint32_t, HBA_wwn, uint16_t, uint16_t*, uint32_t, void*);
using GranFn = uint32_t (*)();

constexpr const char kThreeBoards[] =
    "adapter A fc\n"
    "function fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF d_id = 0x010200\n"
    "function fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:F0\n"
    "function fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:F1\n";

HBA_wwn port0() {
    return HBA_wwn{{0x10, 0x00, 0x02, 0x1F, 0x3C, 0xAB, 0xCD, 0xEF}};
}

class SdTest : public NpivTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load(kThreeBoards);
    }
    uint32_t setBucket(uint16_t type, uint16_t search) {
        return fn<SetBucketFn>("TGX_SD_Set_Bucket")(type, search, 100, 50);
    }
    uint32_t start(uint32_t board, HBA_wwn id) {
        return fn<StartFn>("TGX_SD_Start_Data_Collection")(board, id, 1, 0);
    }
    uint32_t stop(uint32_t board, HBA_wwn id) {
        return fn<StopFn>("TGX_SD_Stop_Data_Collection")(board, id, 1);
    }
    // Bucket-set requests sent, in board order of the journal.
    static size_t bucketSets() {
        size_t n = 0;
        for (const Sent& s : sent())
            n += s.code == TGX_IOCTL_SD_BUCKET && s.payload()[1] == TGX_SD_BUCKET_SET;
        return n;
    }
};

TEST_F(SdTest, SetBucketAcrossBoards) {
    struct Case {
        const char* name;
        uint16_t type, search;
        int refusingFunc; // function answering ReturnCode 7, or -1
        int failingPort;  // SCSI port whose device request fails, or -1
        uint32_t status;
        size_t requests;
    };
    const Case cases[] = {
        {"all accept", 1, 2, -1, -1, 0, 3},     {"board 1 refuses", 1, 1, 1, -1, 0, 3},
        {"board 0 refuses", 1, 1, 0, -1, 7, 1}, {"board 1's request fails", 1, 1, -1, 1, 1, 2},
        {"search type 3", 1, 3, -1, -1, 15, 0}, {"statistics type 2", 2, 1, -1, -1, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int f = 0; f < 3; ++f)
            set_attr("sd_refuse", f == c.refusingFunc ? "7" : "0", f);
        hbasim::fault_clear();
        if (c.failingPort >= 0) fault("SD_BUCKET", "fail", -1, 0, c.failingPort);
        clear();
        EXPECT_EQ(setBucket(c.type, c.search), c.status);
        EXPECT_EQ(bucketSets(), c.requests);
    }
    hbasim::fault_clear();
    uint16_t search = 0;
    uint32_t base = 0, step = 0;
    uint64_t buckets[20] = {};
    ASSERT_EQ(fn<GetBucketFn>("TGX_SD_Get_Bucket")(1, &search, &base, &step, buckets), 0u);
    EXPECT_EQ(base, 100u);
    EXPECT_EQ(step, 50u);
    EXPECT_EQ(search, 1);
    EXPECT_EQ(buckets[19], 100u + 19 * 50);
    EXPECT_EQ(fn<GetBucketFn>("TGX_SD_Get_Bucket")(1, &search, &base, nullptr, buckets), 11u);
    EXPECT_EQ(fn<GranFn>("TGX_SD_Get_Granularity")(), 10u);
}

TEST_F(SdTest, CollectingBoardLocksTheLayout) {
    ASSERT_EQ(setBucket(1, 1), 0u);
    const HBA_wwn port1{{0x10, 0x00, 0x02, 0x1F, 0x3C, 0xAB, 0xCD, 0xF0}};
    ASSERT_EQ(start(1, port1), 0u);
    clear();
    EXPECT_EQ(setBucket(1, 2), 19u);
    EXPECT_EQ(fn<DestroyFn>("TGX_SD_Destroy_Bucket")(1), 19u);
    EXPECT_TRUE(sent().empty());
    ASSERT_EQ(stop(1, port1), 0u);
    EXPECT_EQ(setBucket(1, 2), 0u);
    // Destroy: every board failing keeps the layout; one success clears it.
    for (int f = 0; f < 3; ++f)
        set_attr("sd_refuse", "9", f);
    EXPECT_EQ(fn<DestroyFn>("TGX_SD_Destroy_Bucket")(1), 9u);
    set_attr("sd_refuse", "0", 2);
    EXPECT_EQ(fn<DestroyFn>("TGX_SD_Destroy_Bucket")(1), 0u);
    // With no layout remembered, a start the driver refuses stays refused.
    hbasim::update_adapter(0, [](hbasim::Adapter& a) {
        a.funcs[0].attrs.erase("sd_bucket");
        return true;
    });
    EXPECT_EQ(start(0, port0()), 13u);
}

TEST_F(SdTest, StartSetsTheRememberedLayoutAgain) {
    ASSERT_EQ(setBucket(1, 2), 0u);
    // The driver lost the layout of board 0 (as after a reset).
    hbasim::update_adapter(0, [](hbasim::Adapter& a) {
        a.funcs[0].attrs.erase("sd_bucket");
        return true;
    });
    clear();
    EXPECT_EQ(start(0, port0()), 0u);
    std::vector<std::pair<uint32_t, uint8_t>> seq;
    for (const Sent& s : sent())
        if (s.code == TGX_IOCTL_SD_BUCKET || s.code == TGX_IOCTL_SD_DATA_COLLECTION)
            seq.push_back({s.code, s.payload()[1]});
    const std::vector<std::pair<uint32_t, uint8_t>> want = {{TGX_IOCTL_SD_DATA_COLLECTION, 0},
                                                            {TGX_IOCTL_SD_BUCKET, 1},
                                                            {TGX_IOCTL_SD_DATA_COLLECTION, 0}};
    EXPECT_EQ(seq, want);
    for (const Sent& s : sent())
        if (s.code == TGX_IOCTL_SD_BUCKET) {
            EXPECT_EQ(rd32(s.payload() + 8), 100u);
            EXPECT_EQ(rd32(s.payload() + 12), 50u);
        }
    EXPECT_EQ(attr("sd_collect", 0), "1");
}

TEST_F(SdTest, PortIdentifierSelectsTheVirtualPort) {
    for (uint8_t n = 1; n <= 5; ++n)
        ASSERT_EQ(create(n, 0), 0u);
    ASSERT_EQ(setBucket(1, 1), 0u);
    HBA_wwn v5;
    memcpy(v5.wwn, vwwpn(5).b, 8);
    clear();
    EXPECT_EQ(start(0, v5), 0u);
    ASSERT_FALSE(sent().empty());
    EXPECT_EQ(sent().back().code, 0x80500351u);
    HBA_wwn unknown;
    memcpy(unknown.wwn, vwwpn(9).b, 8);
    clear();
    EXPECT_EQ(start(0, unknown), 4u);
    EXPECT_EQ(count(TGX_IOCTL_SD_DATA_COLLECTION), 0u);
    EXPECT_EQ(start(3, port0()), 3u);
    EXPECT_EQ(fn<StartFn>("TGX_SD_Start_Data_Collection")(0, port0(), 2, 0), 5u);
}

TEST_F(SdTest, GetDataCopiesNoMoreThanTheBuffer) {
    struct Case {
        uint32_t bufSize;
        uint32_t targets;
        uint32_t filled;
    };
    for (const Case& c : {Case{200, 3, 200}, Case{300, 3, 264}, Case{300, 0, 0}}) {
        SCOPED_TRACE(c.bufSize);
        set_attr("sd_targets", std::to_string(c.targets));
        std::vector<uint8_t> buf(c.bufSize + 16, 0xEE);
        uint16_t count = 0;
        clear();
        ASSERT_EQ(fn<GetDataFn>("TGX_SD_Get_Data")(0, port0(), 1, &count, c.bufSize, buf.data()),
                  0u);
        EXPECT_EQ(sent().back().size(), c.bufSize + 44);
        EXPECT_EQ(count, c.targets);
        for (uint32_t i = 0; i < c.bufSize; ++i)
            ASSERT_EQ(buf[i], i < c.filled ? i / 88 + 1 : 0) << i;
        EXPECT_EQ(buf[c.bufSize], 0xEE) << "nothing past the buffer";
    }
    // A driver reporting more targets than its reply holds is cut to the buffer.
    set_attr("sd_targets", "700");
    std::vector<uint8_t> buf(100, 0xEE);
    uint16_t count = 0;
    EXPECT_EQ(fn<GetDataFn>("TGX_SD_Get_Data")(0, port0(), 1, &count, 96, buf.data()), 0u);
    EXPECT_EQ(count, 700);
    EXPECT_EQ(buf[96], 0xEE);
    EXPECT_EQ(fn<GetDataFn>("TGX_SD_Get_Data")(0, port0(), 1, &count, 0, buf.data()), 11u);
    EXPECT_EQ(fn<GetDataFn>("TGX_SD_Get_Data")(0, port0(), 1, nullptr, 96, buf.data()), 11u);
}

} // namespace
