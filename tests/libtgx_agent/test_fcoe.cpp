// FCoE parameters and FCF connection lists in region 23 through libtgx against
// the simulated adapter: defaults, round trips, records kept by a write, reads
// that fail, malformed regions, driver statuses, the FCF list and persistence.
#include <unistd.h>

#include "tests/libtgx/test_mailbox_fixture.h"

namespace {

using namespace tgxio;

using GetParamsFn = uint32_t (*)(uint32_t, FCoEParams*);
using SetParamsFn = uint32_t (*)(uint32_t, const FCoEParams*);
using GetConnFn = uint32_t (*)(uint32_t, FCFConnectList*);
using SetConnFn = uint32_t (*)(uint32_t, const FCFConnectList*);
using GetFcfFn = uint32_t (*)(uint32_t, FCFList*);

constexpr const char kFcoeFleet[] = "adapter A cv3\nfunction fcoe\nfunction nic\n";

FCoEParams params(uint16_t vlan, uint8_t map2) {
    FCoEParams p = {};
    p.version = 1;
    p.fcMap[0] = 0x0E;
    p.fcMap[1] = 0xFC;
    p.fcMap[2] = map2;
    p.vlanValid = 0;
    p.vlanId = vlan;
    return p;
}

FCFConnectList conn(uint8_t n) {
    FCFConnectList l = {};
    l.version = 1;
    l.numEntries = n;
    l.maxEntries = 16;
    for (uint8_t i = 0; i < n; ++i) {
        l.entries[i].flags = 0x04;
        l.entries[i].word2 = (uint16_t)(0x100 + i);
        l.entries[i].fabricName[7] = (uint8_t)(0xF0 + i);
        l.entries[i].switchName[7] = (uint8_t)(0xE0 + i);
    }
    return l;
}

class FcoeTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load(kFcoeFleet);
    }
    uint32_t getParams(FCoEParams* p) { return fn<GetParamsFn>("TGX_FCoEGetParams")(0, p); }
    uint32_t setParams(const FCoEParams& p) { return fn<SetParamsFn>("TGX_FCoESetParams")(0, &p); }
    uint32_t getConn(FCFConnectList* l) { return fn<GetConnFn>("TGX_FCoEGetFCFConnectList")(0, l); }
    uint32_t setConn(const FCFConnectList& l) {
        return fn<SetConnFn>("TGX_FCoESetFCFConnectList")(0, &l);
    }
    // Region 23 as the adapter holds it (empty when never written).
    static std::vector<uint8_t> region() {
        std::vector<uint8_t> v;
        hbasim::read_adapter(0, [&](const hbasim::Adapter& a) {
            auto it = a.funcs[0].blobs.find("region23");
            if (it != a.funcs[0].blobs.end()) v = it->second;
        });
        return v;
    }
    // Stores an image whose records are the given types (each at its size).
    static void put_region(const std::vector<uint8_t>& types) {
        std::vector<uint8_t> img(1024, 0);
        wr32(img.data(), 0x33324752u);
        img[4] = 1;
        size_t off = 8;
        for (uint8_t t : types) {
            if (off < img.size()) img[off] = t;
            off += t == 160 ? 12 : t == 161 ? 324 : t == 162 ? 680 : 1;
        }
        hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
            a.funcs[0].blobs["region23"] = img;
            return true;
        });
    }
    // Update-configuration mailboxes sent.
    static size_t writes() {
        size_t n = 0;
        for (const Sent& s : sent())
            n += s.code == TGX_IOCTL_ISSUEMB_V2 && s.payload()[TGX_MBV2_OFF_MAILBOX + 1] == 0x1B;
        return n;
    }
};

TEST_F(FcoeTest, NeverWrittenRegionGivesDefaults) {
    FCoEParams p = {};
    p.version = 1;
    p.vlanId = 77;
    ASSERT_EQ(getParams(&p), 0u);
    EXPECT_EQ(p.vlanValid, 1);
    EXPECT_EQ(0, memcmp(p.fcMap, "\x0E\xFC\x00", 3));
    EXPECT_EQ(p.vlanId, 0);
    FCFConnectList l = conn(3);
    ASSERT_EQ(getConn(&l), 0u);
    EXPECT_EQ(l.numEntries, 0);
    EXPECT_EQ(l.maxEntries, 0);
}

TEST_F(FcoeTest, WritesKeepTheOtherRecord) {
    ASSERT_EQ(setParams(params(42, 0x01)), 0u);
    std::vector<uint8_t> img = region();
    ASSERT_EQ(img.size(), 1024u);
    EXPECT_EQ(rd32(img.data()), 0x33324752u);
    EXPECT_EQ(img[8], 160);
    EXPECT_EQ(img[20], 255);
    // The list goes after the parameters, and the end byte after it.
    ASSERT_EQ(setConn(conn(2)), 0u);
    img = region();
    EXPECT_EQ(img[8], 160);
    EXPECT_EQ(img[20], 161);
    EXPECT_EQ(img[344], 255);
    // Rewriting the parameters keeps the list in place.
    ASSERT_EQ(setParams(params(43, 0x02)), 0u);
    EXPECT_EQ(region()[20], 161);
    FCoEParams p = {};
    p.version = 1;
    ASSERT_EQ(getParams(&p), 0u);
    EXPECT_EQ(p.vlanId, 43);
    EXPECT_EQ(p.vlanValid, 0);
    EXPECT_EQ(p.fcMap[2], 0x02);
    FCFConnectList l = {};
    l.version = 1;
    l.numEntries = 16;
    ASSERT_EQ(getConn(&l), 0u);
    EXPECT_EQ(l.numEntries, 2);
    EXPECT_EQ(l.maxEntries, 16);
    EXPECT_EQ(l.entries[1].flags, 0x05);
    EXPECT_EQ(l.entries[1].word2, 0x101);
    EXPECT_EQ(l.entries[1].fabricName[7], 0xF1);
    EXPECT_EQ(l.entries[1].switchName[7], 0xE1);
}

TEST_F(FcoeTest, ListReadStopsAtTheCallersEntries) {
    FCFConnectList six = conn(6);
    ASSERT_EQ(setConn(six), 0u);
    // Slots 1-4 cleared: slots 0 and 5 are valid.
    std::vector<uint8_t> img = region();
    for (int j = 1; j <= 4; ++j)
        memset(img.data() + 8 + 4 + 20 * j, 0, 20);
    hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
        a.funcs[0].blobs["region23"] = img;
        return true;
    });
    FCFConnectList l = {};
    l.version = 1;
    l.numEntries = 2;
    ASSERT_EQ(getConn(&l), 7u);
    EXPECT_EQ(l.numEntries, 2);
    EXPECT_EQ(l.maxEntries, 16);
    EXPECT_EQ(l.entries[0].fabricName[7], 0xF0);
    EXPECT_EQ(l.entries[1].flags, 0) << "slot 1 is not valid";
}

TEST_F(FcoeTest, RefusedReadsNeitherWriteNorGiveDefaults) {
    ASSERT_EQ(setParams(params(42, 0x01)), 0u);
    ASSERT_EQ(setConn(conn(3)), 0u);
    const std::vector<uint8_t> before = region();
    // Only the adapter's "not initialised" or "no entry" means absent. The
    // driver refusing the mailbox length maps to the same dump status (4) as
    // "not initialised", and must not count as absent either.
    const char* const refusals[] = {"rc=2", "rc=4", "fail"};
    for (const char* action : refusals) {
        SCOPED_TRACE(action);
        fault("0x80000143", action, 1);
        clear();
        EXPECT_EQ(setParams(params(9, 0)), 1u);
        EXPECT_EQ(writes(), 0u);
        fault("0x80000143", action, 1);
        EXPECT_EQ(setConn(conn(1)), 1u);
        EXPECT_EQ(writes(), 0u);
        EXPECT_EQ(region(), before);
        fault("0x80000143", action, 1);
        FCoEParams p = {};
        p.version = 1;
        EXPECT_EQ(getParams(&p), 1u) << "a refused read is not the defaults";
        EXPECT_EQ(p.vlanValid, 0);
        EXPECT_EQ(p.vlanId, 0);
        fault("0x80000143", action, 1);
        FCFConnectList l = {};
        l.version = 1;
        l.numEntries = 16;
        EXPECT_EQ(getConn(&l), 1u);
        hbasim::fault_clear();
    }
    FCFConnectList l = {};
    l.version = 1;
    l.numEntries = 16;
    ASSERT_EQ(getConn(&l), 0u);
    EXPECT_EQ(l.numEntries, 3) << "the list outlived every refused read";
}

TEST_F(FcoeTest, MalformedRegionsAreNeitherReadNorRewritten) {
    struct Case {
        const char* name;
        std::vector<uint8_t> types;
        uint32_t getParams, setParams, getList, setList;
    };
    const Case cases[] = {
        {"162 then a 162 past the end", {162, 162}, 1, 2, 1, 2},
        {"three lists", {161, 161, 161}, 1, 2, 0, 0},
        {"unknown type", {160, 7}, 0, 2, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put_region(c.types);
        const std::vector<uint8_t> before = region();
        FCoEParams p = {};
        p.version = 1;
        FCFConnectList l = {};
        l.version = 1;
        l.numEntries = 16;
        clear();
        EXPECT_EQ(getParams(&p), c.getParams);
        EXPECT_EQ(getConn(&l), c.getList);
        EXPECT_EQ(setParams(params(5, 0)), c.setParams);
        if (c.setParams) {
            EXPECT_EQ(region(), before);
        }
        put_region(c.types);
        EXPECT_EQ(setConn(conn(1)), c.setList);
        if (c.setList) {
            EXPECT_EQ(region(), before);
        }
    }
}

TEST_F(FcoeTest, UnknownRecordTypeIsTracedByTheParametersRead) {
    lib.reset();
    const std::string dir = st.path("traced");
    load(kFcoeFleet, hbatest::traced_libtgx_copy(dir).c_str());
    put_region({7});
    FCoEParams p = {};
    p.version = 1;
    ASSERT_EQ(getParams(&p), 0u);
    EXPECT_EQ(p.vlanValid, 1) << "the defaults";
    EXPECT_NE(hbatest::read_file(dir + "/LIBTGX.LOG")
                  .find("TGX_FCoEGetParams:: Invalid record type 7,  setting default\n"),
              std::string::npos);
}

TEST_F(FcoeTest, RefusalsBeforeAnyRequest) {
    FCFConnectList flags = conn(2);
    flags.entries[1].flags = 1024;
    FCFConnectList many = conn(1);
    many.numEntries = 17;
    FCFConnectList maxMany = conn(1);
    maxMany.maxEntries = 17;
    FCFConnectList v2 = conn(1);
    v2.version = 2;
    FCoEParams pv2 = params(1, 0);
    pv2.version = 2;
    struct Case {
        const char* name;
        uint32_t status;
        std::function<uint32_t()> call;
    };
    const Case cases[] = {
        {"flags 1024 on an absent region", 5, [&] { return setConn(flags); }},
        {"17 entries", 7, [&] { return setConn(many); }},
        {"max 17", 7, [&] { return setConn(maxMany); }},
        {"list version 2", 4, [&] { return setConn(v2); }},
        {"params version 2", 4, [&] { return setParams(pv2); }},
        {"list read of 17", 7,
         [&] {
             FCFConnectList l = many;
             return getConn(&l);
         }},
        {"bad board", 3, [&] { return fn<SetParamsFn>("TGX_FCoESetParams")(2, &pv2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        EXPECT_EQ(c.call(), c.status);
        EXPECT_EQ(writes(), 0u);
    }
    // Flags are checked on a region that was read as well.
    ASSERT_EQ(setParams(params(1, 0)), 0u);
    clear();
    EXPECT_EQ(setConn(flags), 5u);
    EXPECT_EQ(writes(), 0u);
    // A function without FCoE.
    lib.reset();
    load("adapter A fc\nfunction fc\n");
    FCoEParams p = params(1, 0);
    EXPECT_EQ(getParams(&p), 2u);
    EXPECT_EQ(setParams(p), 2u);
}

TEST_F(FcoeTest, DriverStatusesOfTheWrite) {
    struct Case {
        uint32_t rc;
        uint16_t mbStatus;
        uint32_t params, list;
    };
    const Case cases[] = {{0, 0, 0, 0}, {1, 0, 2, 2}, {2, 0, 1, 1}, {3, 0, 8, 8},
                          {4, 0, 5, 1}, {9, 0, 5, 1}, {0, 3, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc * 100 + c.mbStatus);
        script([&](uint32_t code, uint8_t* env, uint32_t) {
            uint8_t* mb = env + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_MAILBOX;
            if (code != TGX_IOCTL_ISSUEMB_V2 || mb[1] != 0x1B) return false;
            wr32(env + TGX_ENV_OFF_RETURNCODE, c.rc);
            mb[2] = (uint8_t)c.mbStatus;
            return true;
        });
        EXPECT_EQ(setParams(params(1, 0)), c.params);
        EXPECT_EQ(setConn(conn(1)), c.list);
    }
    script(nullptr);
    clear();
    ASSERT_EQ(setParams(params(1, 0)), 0u);
    ASSERT_EQ(writes(), 1u);
    const Sent* s = nullptr;
    for (const Sent& x : sent())
        if (x.code == TGX_IOCTL_ISSUEMB_V2 && x.payload()[TGX_MBV2_OFF_MAILBOX + 1] == 0x1B) s = &x;
    EXPECT_EQ(s->size(), 1320u);
    EXPECT_EQ(rd32(s->payload()), 256u);
    EXPECT_EQ(rd32(s->payload() + 4), 1024u);
    EXPECT_EQ(rd32(s->payload() + 8 + 4), 0x32u);
    EXPECT_EQ(rd32(s->payload() + 8 + 8), 23u | (1024u << 16));
}

TEST_F(FcoeTest, FcfListFillsTheCapacity) {
    std::vector<uint8_t> buf(8 + 552 * 3, 0xEE);
    FCFList* l = reinterpret_cast<FCFList*>(buf.data());
    struct Case {
        uint16_t capacity;
        uint32_t status;
        uint32_t filled;
    };
    for (const Case& c : {Case{1, 7, 1}, Case{3, 0, 2}, Case{0, 7, 0}}) {
        SCOPED_TRACE(c.capacity);
        std::fill(buf.begin(), buf.end(), 0xEE);
        l->version = 1;
        l->nEntries = c.capacity;
        clear();
        EXPECT_EQ(fn<GetFcfFn>("TGX_FCoEGetFCFList")(0, l), c.status);
        EXPECT_EQ(sent().back().size(), 588u + 552u * c.capacity);
        EXPECT_EQ(l->nEntries, 2);
        EXPECT_EQ(l->nActiveFCF, 1);
        for (uint32_t i = 0; i < c.filled; ++i) {
            EXPECT_EQ(l->entries[i].bytes[7], i + 1);
            EXPECT_EQ(l->entries[i].bytes[536], 0x0E);
            EXPECT_EQ(l->entries[i].bytes[24], 0xEE) << "bytes the library does not own";
        }
        if (c.filled < 3) {
            EXPECT_EQ(l->entries[c.filled].bytes[0], 0xEE);
        }
    }
    l->version = 2;
    l->nEntries = 1;
    clear();
    EXPECT_EQ(fn<GetFcfFn>("TGX_FCoEGetFCFList")(0, l), 4u);
    EXPECT_TRUE(sent().empty());
    // A driver speaking another version says which.
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if (code != TGX_IOCTL_GET_FCFLIST) return false;
        env[TGX_ENV_HEADER_LENGTH] = 3;
        wr32(env + TGX_ENV_OFF_RETURNCODE, 1);
        return true;
    });
    l->version = 1;
    EXPECT_EQ(fn<GetFcfFn>("TGX_FCoEGetFCFList")(0, l), 4u);
    EXPECT_EQ(l->version, 3) << "the driver's version";
    script(nullptr);
    l->version = 1;
    fault("0x80000141", "fail");
    EXPECT_EQ(fn<GetFcfFn>("TGX_FCoEGetFCFList")(0, l), 1u);
}

// ---- a second process ----------------------------------------------------------------------

TEST(FcoeSecondProcess, Helper) {
    if (!getenv("TGX_AGENT_SECOND")) GTEST_SKIP() << "runs only as a second process";
    hbatest::Library lib("libtgx.so");
    ASSERT_TRUE(lib.loaded());
    FCoEParams p = {};
    p.version = 1;
    FCFConnectList l = {};
    l.version = 1;
    l.numEntries = 16;
    ASSERT_EQ(lib.fn<GetParamsFn>("TGX_FCoEGetParams")(0, &p), 0u);
    ASSERT_EQ(lib.fn<GetConnFn>("TGX_FCoEGetFCFConnectList")(0, &l), 0u);
    std::printf("VLAN=%u LIST=%u\n", p.vlanId, l.numEntries);
}

TEST_F(FcoeTest, RegionOutlivesTheProcess) {
    ASSERT_EQ(setParams(params(300, 0)), 0u);
    ASSERT_EQ(setConn(conn(4)), 0u);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    hbatest::RunResult r = hbatest::run(self, {"--gtest_filter=FcoeSecondProcess.Helper"},
                                        {{"TGX_AGENT_SECOND", "1"}});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("VLAN=300 LIST=4\n"), std::string::npos) << r.out;
}

} // namespace
