// Fixture of the authentication tests: an SLI-4 FC board of a Mini driver
// whose driver keeps a V2 copy (feature bit 0x10), the exports by name, pairs
// of the port with remote ports, and the registry copy of V1.
#pragma once
#include <string>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "tests/libtgx/test_mailbox_fixture.h"

namespace authtest {

using namespace tgxio;

using GetConfigFn = uint32_t (*)(uint32_t, AuthConfigRecord*);
using SetConfigFn = uint32_t (*)(uint32_t, const AuthConfigRecord*, const AuthPasswordEntry*);
using DeleteConfigFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*,
                                    const AuthPasswordEntry*);
using GetPasswordFn = uint32_t (*)(uint32_t, AuthPasswordRecord*);
using SetPasswordFn = uint32_t (*)(uint32_t, const AuthPasswordRecord*);
using InitiateFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*);
using SwitchFn = uint32_t (*)(uint32_t);
using ConfigListFn = uint32_t (*)(uint32_t, const uint8_t*, AuthConfigList*);
using StatusFn = uint32_t (*)(uint32_t, AuthStatusRecord*);
using GetConfigV2Fn = uint32_t (*)(uint32_t, uint32_t, const uint8_t*, AuthConfigList*);
using SetConfigV2Fn = uint32_t (*)(uint32_t, AuthConfigList*);
using DeleteConfigV2Fn = uint32_t (*)(uint32_t, AuthConfigList*, uint32_t);
using BoardFn = uint32_t (*)(uint32_t);
using GetPasswordV2Fn = uint32_t (*)(uint32_t, AuthPasswordRecordV2*, uint32_t);
using SetPasswordV2Fn = uint32_t (*)(uint32_t, const AuthPasswordRecordV2*);

// Port 10:00:02:1F:3C:AB:CD:EF; feature bits: extended mailbox, persistent
// link down and the V2 copy.
constexpr const char kAuthFleet[] =
    "adapter A fc\nfunction fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF "
    "feature_list = 0x1410\n";
constexpr uint8_t kPort[8] = {0x10, 0x00, 0x02, 0x1F, 0x3C, 0xAB, 0xCD, 0xEF};
constexpr uint8_t kAll[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr const char kCopyPath[] = "SYSTEM\\CurrentControlSet\\Services\\qrlstor\\Parameters\\"
                                   "AUTH\\1000021f3cabcdef\\1000021f3cabcdef";

struct Wwn {
    uint8_t b[8];
};
// Remote port n: 21:00:00:00:00:00:00:n.
inline Wwn remote(uint8_t n) {
    return Wwn{{0x21, 0, 0, 0, 0, 0, 0, n}};
}

inline AuthPasswordEntry password(const std::string& text, uint16_t type = 1) {
    AuthPasswordEntry e = {};
    e.type = type;
    e.length = (uint16_t)(text.size() < 128 ? text.size() : 128);
    memcpy(e.password, text.data(), e.length);
    return e;
}
inline AuthPasswordEntry no_password() {
    AuthPasswordEntry e = {};
    e.type = TGX_AUTH_PWD_NONE;
    return e;
}

inline AuthConfigRecord config(uint8_t n, uint8_t mode = 2, uint8_t flags = 0) {
    AuthConfigRecord c = {};
    memcpy(c.localWwn, kPort, 8);
    memcpy(c.remoteWwn, remote(n).b, 8);
    c.timeOut = 0x2D;
    c.authMode = mode;
    c.flags = flags;
    c.authPrior[0] = 1;
    c.hashPrior[0] = 5;
    c.hashPrior[1] = 6;
    c.grpPrior[0] = 4;
    c.rauthTimer = 300;
    return c;
}

// A configuration list with room for capacity entries, owned.
struct ListBuf {
    std::vector<uint8_t> bytes;
    explicit ListBuf(uint32_t capacity)
        : bytes(4 + sizeof(AuthConfigListEntry) * (capacity ? capacity : 1), 0) {
        list()->count = capacity;
    }
    AuthConfigList* list() { return reinterpret_cast<AuthConfigList*>(bytes.data()); }
    AuthConfigListEntry& operator[](size_t i) { return list()->entries[i]; }
};

// Registry values of one pair of the V1 copy.
inline void put_copy_value(const Wwn& r, const char* name, uint32_t type, const void* data,
                           uint32_t size) {
    char path[256];
    snprintf(path, sizeof path, "%s\\%02x%02x%02x%02x%02x%02x%02x%02x", kCopyPath, r.b[0], r.b[1],
             r.b[2], r.b[3], r.b[4], r.b[5], r.b[6], r.b[7]);
    PlatRegKey k = nullptr;
    ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, path, &k), PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, name, type, data, size), PLAT_REG_OK);
    plat_reg_close_key(k);
}
inline void put_copy_dword(const Wwn& r, const char* name, uint32_t v) {
    uint8_t b[4];
    wr32(b, v);
    put_copy_value(r, name, PLAT_REG_DWORD, b, 4);
}

class AuthTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load(kAuthFleet);
    }
    // A new library over the same machine (discovery runs again).
    void reload() {
        lib.reset();
        lib = std::make_unique<hbatest::Library>("libtgx.so");
        ASSERT_TRUE(lib->loaded());
        clear();
    }
    uint32_t set_passwords(uint8_t n, const AuthPasswordEntry& local,
                           const AuthPasswordEntry& remotePwd, uint32_t board = 0) {
        AuthPasswordRecordV2 r = {};
        memcpy(r.localWwn, kPort, 8);
        memcpy(r.remoteWwn, remote(n).b, 8);
        r.passwd.local = local;
        r.passwd.remote = remotePwd;
        return fn<SetPasswordV2Fn>("TGX_SetAuthPasswordV2")(board, &r);
    }
    // A pair with both passwords and this configuration.
    void make_pair(uint8_t n, uint8_t mode = 2, uint8_t flags = 0) {
        ASSERT_EQ(set_passwords(n, password("local-secret-" + std::to_string(n)),
                                password("remote-secret-" + std::to_string(n))),
                  0u);
        ASSERT_EQ(set_config(config(n, mode, flags)), 0u);
    }
    uint32_t set_config(const AuthConfigRecord& c) {
        ListBuf b(1);
        b[0].config = c;
        return fn<SetConfigV2Fn>("TGX_SetAuthConfigV2")(0, b.list());
    }
    uint32_t start(uint8_t n) {
        return fn<InitiateFn>("TGX_InitiateAuthentication")(0, kPort, remote(n).b);
    }
    uint32_t enable() { return fn<SwitchFn>("TGX_EnableAuthentication")(0); }
    uint32_t disable() { return fn<SwitchFn>("TGX_DisableAuthentication")(0); }
    // The pairs the driver lists.
    uint32_t driver_pairs() {
        ListBuf b(16);
        EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, kAll, b.list()), 0u);
        return b.list()->count;
    }
    // Object requests sent (mailbox 0x9B with this sub-command opcode).
    static size_t object_requests(uint8_t op) {
        size_t n = 0;
        for (const Sent& s : sent())
            n += s.code == TGX_IOCTL_ISSUEMB_V2 &&
                 s.payload()[TGX_MBV2_OFF_MAILBOX + 1] == TGX_MBX_SLI_CONFIG &&
                 s.payload()[TGX_MBV2_OFF_MAILBOX + 24] == op;
        return n;
    }
    // The adapter's authentication object as the simulated machine keeps it.
    static bool object(hbasim::Bytes* out) {
        return hbasim::object_get(hbasim::FuncRef{0, 0}, "driver-auth.cfg", out) == hbasim::SIM_OK;
    }
    // The password record of pair n from the flash copy (types only); the status.
    uint32_t flash_password(uint8_t n, AuthPasswordRecordV2* pw) {
        *pw = AuthPasswordRecordV2{};
        memcpy(pw->localWwn, kPort, 8);
        memcpy(pw->remoteWwn, remote(n).b, 8);
        return fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(0, pw, 1);
    }
    // TGX_PersistAuthConfig of board 0 refused with status: no write request
    // went out and the object is as it was.
    void expect_persist_refused(uint32_t status, const hbasim::Bytes& before) {
        clear();
        EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), status);
        EXPECT_EQ(object_requests(SLI_OP_WRITE_OBJECT), 0u);
        hbasim::Bytes after;
        ASSERT_TRUE(object(&after));
        EXPECT_EQ(after, before);
    }
};

} // namespace authtest
