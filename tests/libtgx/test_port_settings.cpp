// Registry-backed port settings: the PersistLnkDn item of the driver's
// per-port parameter string, the driver request that applies it, and the
// latency thresholds.
#include "tests/libtgx/test_mailbox_fixture.h"

namespace {

using namespace tgxio;

using GetFn = uint32_t (*)(uint32_t, uint16_t*);
using SetFn = uint32_t (*)(uint32_t, uint32_t);
using LatencyFn = uint32_t (*)(uint32_t, const LATENCY_INFO*);

const char kPortKeyBase[] = "SYSTEM\\CurrentControlSet\\Services\\qrlsli2\\Parameters\\";
const char kLatencyBase[] = "SYSTEM\\CurrentControlSet\\Services\\qrllatency\\Parameters\\";

class PortSettingsTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load("adapter A fc\nfunction fc wwpn = 10:00:02:1F:3C:AB:CD:EF\n");
    }
    GetFn get() const { return fn<GetFn>("TGX_GetPersistLinkDown"); }
    SetFn set() const { return fn<SetFn>("TGX_SetPersistLinkDown"); }
    static std::string port_key() { return std::string(kPortKeyBase) + "1000021f3cabcdef"; }
    // The "Parameters" value, or "<missing>".
    static std::string params() {
        PlatRegKey k = nullptr;
        if (plat_reg_open_key(PLAT_HKLM, port_key().c_str(), &k) != PLAT_REG_OK) return "<missing>";
        std::string v(4096, '\0');
        uint32_t type = 0, size = (uint32_t)v.size();
        int32_t rs = plat_reg_query_value(k, "Parameters", &type, v.data(), &size);
        plat_reg_close_key(k);
        if (rs != PLAT_REG_OK) return "<missing>";
        v.resize(strnlen(v.data(), size));
        return v;
    }
    static void set_params(const std::string& v) {
        PlatRegKey k = nullptr;
        ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, port_key().c_str(), &k), PLAT_REG_OK);
        ASSERT_EQ(plat_reg_set_value(k, "Parameters", PLAT_REG_SZ, v.data(), (uint32_t)v.size()),
                  PLAT_REG_OK);
        plat_reg_close_key(k);
    }
    static void drop_params() {
        PlatRegKey k = nullptr;
        if (plat_reg_open_key(PLAT_HKLM, port_key().c_str(), &k) != PLAT_REG_OK) return;
        plat_reg_delete_value(k, "Parameters");
        plat_reg_close_key(k);
    }
    static std::string parse_text() {
        for (const Sent& s : sent())
            if (s.code == TGX_IOCTL_ISSUE_PARSE)
                return std::string(reinterpret_cast<const char*>(s.payload()));
        return "<not sent>";
    }
};

const char* const kMissing = nullptr;

TEST_F(PortSettingsTest, SetEditsOnlyTheItem) {
    struct Case {
        const char* before; // null: no value
        uint32_t flag;
        uint32_t status;
        std::string after;
    };
    const std::string full = std::string(2047 - 4, 'x').insert(0, "big="); // 2047 characters
    const Case cases[] = {
        {kMissing, 1, 0, "PersistLnkDn=1;"},
        {"", 0, 0, "PersistLnkDn=0;"},
        {"a=5", 1, 0, "a=5;PersistLnkDn=1;"},
        {"x=1;PersistLnkDn=1;y=2;", 0, 0, "x=1;PersistLnkDn=0;y=2;"},
        {"PersistLnkDn=0", 1, 0, "PersistLnkDn=1;"},
        {"NoPersistLnkDn=1;", 0, 0, "NoPersistLnkDn=1;PersistLnkDn=0;"},
        {"a=1;PersistLnkDn=10;b=2;", 1, 0, "a=1;PersistLnkDn=1;b=2;"},
        {full.c_str(), 1, 1, full},
        {"a=5", 0x10001, 0, "a=5;PersistLnkDn=1;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? std::string(c.before).substr(0, 40) : "missing");
        if (c.before)
            set_params(c.before);
        else
            drop_params();
        clear();
        EXPECT_EQ(set()(0, c.flag), c.status);
        EXPECT_EQ(params(), c.after);
        EXPECT_EQ(parse_text(),
                  c.status ? "<not sent>" : ((c.flag & 1) ? "PersistLnkDn=1" : "PersistLnkDn=0"));
    }
}

TEST_F(PortSettingsTest, GetReadsTheItem) {
    struct Case {
        const char* value;
        uint32_t status;
        uint16_t flag;
    };
    const std::string longest = std::string(2047 - 15, 'x') + ";PersistLnkDn=1";
    const std::string tooLong = std::string(3000, 'x') + ";PersistLnkDn=0;";
    const Case cases[] = {
        {kMissing, 0, 0},
        {"PersistLnkDn=7", 0, 1},
        {"PersistLnkDn=0;", 0, 0},
        {"a=1;PersistLnkDn=1", 0, 1},
        {"b=2;", 0, 0},
        {"XPersistLnkDn=1;", 0, 0},
        {longest.c_str(), 0, 1},
        {tooLong.c_str(), 1, 0xEEEE}, // unreadable is an error, never "missing"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? std::string(c.value).substr(0, 40) : "missing");
        if (c.value)
            set_params(c.value);
        else
            drop_params();
        uint16_t flag = 0xEEEE;
        EXPECT_EQ(get()(0, &flag), c.status);
        EXPECT_EQ(flag, c.flag);
    }
}

TEST_F(PortSettingsTest, MissingKeysReadAsOff) {
    uint16_t flag = 0xEEEE;
    EXPECT_EQ(get()(0, &flag), 0u);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(params(), "<missing>") << "reading creates nothing";
}

TEST_F(PortSettingsTest, RefusalsAndFailures) {
    struct Case {
        const char* name;
        uint32_t board, flag;
        const char* regOp;  // registry failure injected ("" = none)
        const char* action; // driver fault on the parse request
        const char* portAttrsFault;
        uint32_t status;
        bool written;
        bool parsed;
    };
    const Case cases[] = {
        {"flag 2 before anything", 0, 2, "", "", "", 4, false, false},
        {"bad board", 1, 1, "", "", "", 3, false, false},
        {"port attributes fail", 0, 1, "", "", "fail", 1, false, false},
        {"key cannot be created", 0, 1, "create", "", "", 1, false, false},
        {"value cannot be written", 0, 1, "set", "", "", 1, false, false},
        {"driver refuses the parameter", 0, 1, "", "rc=5", "", 5, true, true},
        {"parameter request fails", 0, 1, "", "fail", "", 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drop_params();
        hbasim::fault_clear();
        plat_reg_inject_failure("", "", 0, 0);
        if (*c.regOp) plat_reg_inject_failure(c.regOp, "qrlsli2", PLAT_REG_ACCESS_DENIED, 1);
        if (*c.action) fault("0x80000116", c.action);
        if (*c.portAttrsFault) fault("0x80000204", c.portAttrsFault);
        clear();
        EXPECT_EQ(set()(c.board, c.flag), c.status);
        EXPECT_EQ(params() != "<missing>", c.written);
        EXPECT_EQ(count(TGX_IOCTL_ISSUE_PARSE), c.parsed ? 1u : 0u);
    }
    plat_reg_inject_failure("", "", 0, 0);
    hbasim::fault_clear();
    uint16_t flag = 0;
    EXPECT_EQ(get()(1, &flag), 3u);
    EXPECT_EQ(get()(0, nullptr), 1u);
    fault("0x80000204", "fail");
    EXPECT_EQ(get()(0, &flag), 1u);
}

TEST_F(PortSettingsTest, ValueThatIsNotPlainTextIsLeftAlone) {
    struct Case {
        const char* name;
        uint32_t type;
        std::string bytes;
        uint32_t status; // of get and of set
    };
    const Case cases[] = {
        {"number", PLAT_REG_DWORD, std::string("\x01\0\0\0", 4), 1},
        {"binary", PLAT_REG_BINARY, "a=5;PersistLnkDn=1;", 1},
        {"NUL inside the text", PLAT_REG_SZ, std::string("a=5\0PersistLnkDn=1;b=2;", 23), 1},
        {"terminated text", PLAT_REG_SZ, "a=5;PersistLnkDn=1;", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlatRegKey k = nullptr;
        ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, port_key().c_str(), &k), PLAT_REG_OK);
        ASSERT_EQ(plat_reg_set_value(k, "Parameters", c.type, c.bytes.data(),
                                     (uint32_t)c.bytes.size()),
                  PLAT_REG_OK);
        uint16_t flag = 0xEEEE;
        EXPECT_EQ(get()(0, &flag), c.status);
        EXPECT_EQ(flag, c.status ? 0xEEEE : 1);
        EXPECT_EQ(set()(0, 0), c.status);
        std::string stored(64, '\0');
        uint32_t type = 0, size = (uint32_t)stored.size();
        ASSERT_EQ(plat_reg_query_value(k, "Parameters", &type, stored.data(), &size), PLAT_REG_OK);
        plat_reg_close_key(k);
        stored.resize(size);
        // The store terminates text values itself.
        if (type == PLAT_REG_SZ && !stored.empty() && stored.back() == '\0') stored.pop_back();
        if (c.status) {
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(stored, c.bytes) << "nothing written";
        } else {
            EXPECT_EQ(stored, "a=5;PersistLnkDn=0;");
        }
    }
}

TEST_F(PortSettingsTest, LatencyValuesAreAllWritten) {
    LATENCY_INFO li;
    uint32_t* f = reinterpret_cast<uint32_t*>(&li);
    for (uint32_t i = 0; i < 19; ++i)
        f[i] = 100 + i;
    const char* names[19] = {
        "LatencyEnable",   "defaultReadLatency", "defaultWriteLatency", "ReadLatency512",
        "ReadLatency2K",   "ReadLatency4K",      "ReadLatency8K",       "ReadLatency16K",
        "ReadLatency32K",  "ReadLatency64K",     "ReadLatencyLarge",    "WriteLatency512",
        "WriteLatency2K",  "WriteLatency4K",     "WriteLatency8K",      "WriteLatency16K",
        "WriteLatency32K", "WriteLatency64K",    "WriteLatencyLarge"};
    struct Case {
        const char* name;
        const char* op;
        const char* path;
        uint32_t status;
        int missing; // value left unwritten, -1 none, 19 all
    };
    const Case cases[] = {
        {"all written", "", "", 0, -1},
        {"one value fails, the rest are written", "set", "1000021f3cabcdef", 1, 0},
        {"service key", "create", "qrllatency", 0x800E, 19},
        {"parameter key", "create", "qrllatency\\parameters", 0x800F, 19},
        {"wwpn key", "create", "1000021f3cabcdef", 0x8020, 19},
    };
    auto latency = fn<LatencyFn>("TGX_SetLatency");
    const std::string key = std::string(kLatencyBase) + "1000021f3cabcdef";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat_reg_delete_tree(PLAT_HKLM, "SYSTEM\\CurrentControlSet\\Services\\qrllatency");
        plat_reg_inject_failure("", "", 0, 0);
        if (*c.op) plat_reg_inject_failure(c.op, c.path, PLAT_REG_ACCESS_DENIED, 1);
        EXPECT_EQ(latency(0, &li), c.status);
        plat_reg_inject_failure("", "", 0, 0);
        PlatRegKey k = nullptr;
        bool open = plat_reg_open_key(PLAT_HKLM, key.c_str(), &k) == PLAT_REG_OK;
        for (int i = 0; i < 19; ++i) {
            uint32_t v = 0, type = 0, size = 4;
            bool present =
                open && plat_reg_query_value(k, names[i], &type, &v, &size) == PLAT_REG_OK;
            bool expected = c.missing != 19 && c.missing != i;
            EXPECT_EQ(present, expected) << names[i];
            if (present) {
                EXPECT_EQ(type, (uint32_t)PLAT_REG_DWORD);
                EXPECT_EQ(v, 100u + i);
            }
        }
        if (open) plat_reg_close_key(k);
    }
    EXPECT_EQ(latency(1, &li), 3u);
    fault("0x80000204", "fail");
    EXPECT_EQ(latency(0, &li), 1u);
}

} // namespace
