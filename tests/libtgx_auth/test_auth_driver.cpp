// The simulated driver's authentication requests sent as raw envelopes: the
// ReturnCodes the library's checks never let through (invalid operations,
// wrong authorising passwords, V1 password rules) come from the state that
// names them.
#include "tests/libtgx_auth/auth_fixture.h"

namespace {

using namespace authtest;

// One SCSI port device of the simulated driver, opened directly.
class RawDriver {
  public:
    RawDriver() { EXPECT_EQ(hba_driver_backend()->open("\\\\.\\Scsi0:", &dev_), 0u); }
    ~RawDriver() {
        if (dev_) hba_driver_backend()->close(dev_);
    }
    RawDriver(const RawDriver&) = delete;
    RawDriver& operator=(const RawDriver&) = delete;
    // Sends the envelope (header filled here); the ReturnCode, or ~0 when the
    // device call failed.
    uint32_t send(uint32_t code, std::vector<uint8_t>& env) {
        uint8_t* h = env.data();
        wr32(h + TGX_ENV_OFF_HEADERLENGTH, TGX_ENV_HEADER_LENGTH);
        memcpy(h + TGX_ENV_OFF_SIGNATURE, "ZT4100\0\0", 8);
        wr32(h + TGX_ENV_OFF_TIMEOUT, TGX_ENV_TIMEOUT_SECONDS);
        wr32(h + TGX_ENV_OFF_CONTROLCODE, code);
        wr32(h + TGX_ENV_OFF_RETURNCODE, 0);
        wr32(h + TGX_ENV_OFF_LENGTH, (uint32_t)env.size() - TGX_ENV_HEADER_LENGTH);
        uint32_t got = 0;
        if (hba_driver_backend()->control(dev_, IOCTL_SCSI_MINIPORT, env.data(),
                                          (uint32_t)env.size(), env.data(), (uint32_t)env.size(),
                                          &got) != 0)
            return ~0u;
        return rd32(h + TGX_ENV_OFF_RETURNCODE);
    }

  private:
    void* dev_ = nullptr;
};

void put_entry(uint8_t* p, const AuthPasswordEntry& e) {
    p[0] = (uint8_t)e.length;
    p[1] = (uint8_t)(e.length >> 8);
    p[2] = (uint8_t)e.type;
    p[3] = (uint8_t)(e.type >> 8);
    memcpy(p + 4, e.password, e.length < 128 ? e.length : 128);
}

// A V1 envelope for the pair (port, remote n) with these flags.
std::vector<uint8_t> v1(uint8_t n, uint32_t flags) {
    std::vector<uint8_t> env(TGX_SIZE_AUTH, 0);
    uint8_t* p = env.data() + TGX_ENV_HEADER_LENGTH;
    memcpy(p + TGX_AUTH_OFF_LOCAL, kPort, 8);
    memcpy(p + TGX_AUTH_OFF_REMOTE, remote(n).b, 8);
    wr32(p + TGX_AUTH_OFF_FLAGS, flags);
    return env;
}
std::vector<uint8_t> config_set(uint8_t n, const AuthPasswordEntry& authorising, uint32_t op = 1) {
    std::vector<uint8_t> env = v1(n, op);
    put_entry(env.data() + TGX_ENV_HEADER_LENGTH + TGX_AUTH_OFF_CURPWD, authorising);
    return env;
}
std::vector<uint8_t> passwords_set(uint8_t n, const AuthPasswordEntry& curLocal,
                                   const AuthPasswordEntry& curRemote,
                                   const AuthPasswordEntry& newLocal,
                                   const AuthPasswordEntry& newRemote) {
    std::vector<uint8_t> env = v1(n, TGX_AUTH_PWD_SET);
    uint8_t* e = env.data() + TGX_ENV_HEADER_LENGTH + TGX_AUTH_OFF_PWDS;
    const AuthPasswordEntry* four[4] = {&curLocal, &curRemote, &newLocal, &newRemote};
    for (int i = 0; i < 4; ++i)
        put_entry(e + i * TGX_AUTH_PWD_ENTRY, *four[i]);
    return env;
}

TEST_F(AuthTest, DriverReturnCodesOfTheV1Requests) {
    RawDriver d;
    const AuthPasswordEntry none = no_password();
    const AuthPasswordEntry oldLocal = password("old-local-secret");
    const AuthPasswordEntry oldRemote = password("old-remote-secret");
    std::vector<uint8_t> env;
    auto run = [&](std::vector<uint8_t> e, uint32_t code = TGX_IOCTL_AUTH_CONFIG) {
        env = std::move(e);
        return d.send(code, env);
    };
    EXPECT_EQ(run(v1(1, 0)), 3u) << "get: no such pair";
    EXPECT_EQ(run(config_set(1, none)), 0u) << "a new pair needs no authorisation";
    EXPECT_EQ(run(v1(1, 3)), 4u) << "configuration operation 3";
    EXPECT_EQ(run(v1(1, 2), TGX_IOCTL_AUTH_PASSWD), 4u) << "password flag 2";
    AuthPasswordEntry huge = oldLocal;
    huge.length = 200;
    EXPECT_EQ(run(config_set(1, huge)), 4u) << "an entry longer than 128";
    EXPECT_EQ(
        run(passwords_set(1, none, none, password("short"), oldRemote), TGX_IOCTL_AUTH_PASSWD),
        15u);
    EXPECT_EQ(run(passwords_set(1, none, none, oldLocal, oldLocal), TGX_IOCTL_AUTH_PASSWD), 14u);
    EXPECT_EQ(run(passwords_set(1, none, none, oldLocal, oldRemote), TGX_IOCTL_AUTH_PASSWD), 0u);
    EXPECT_EQ(run(passwords_set(2, none, none, oldLocal, oldRemote), TGX_IOCTL_AUTH_PASSWD), 3u)
        << "passwords of a pair without a configuration";

    // From now on the pair's passwords authorise every change.
    const AuthPasswordEntry wrong = password("guessed-secret");
    EXPECT_EQ(run(config_set(1, none)), 9u);
    EXPECT_EQ(run(config_set(1, wrong)), 9u);
    EXPECT_EQ(run(config_set(1, oldLocal)), 0u);
    EXPECT_EQ(run(passwords_set(1, oldLocal, wrong, password("new-local-secret"), oldRemote),
                  TGX_IOCTL_AUTH_PASSWD),
              9u)
        << "the current remote password is checked too";
    EXPECT_EQ(run(config_set(1, wrong, TGX_AUTH_CFG_DELETE)), 9u);
    EXPECT_EQ(run(v1(1, TGX_AUTH_PWD_GET), TGX_IOCTL_AUTH_PASSWD), 0u);
    EXPECT_EQ(env[TGX_ENV_HEADER_LENGTH + TGX_AUTH_OFF_PWDS], 16) << "current local length";
    EXPECT_EQ(run(config_set(1, oldLocal, TGX_AUTH_CFG_DELETE)), 0u);
    EXPECT_EQ(run(v1(1, 0)), 3u) << "deleted";

    set_attr("auth_max_pairs", "1");
    EXPECT_EQ(run(config_set(1, none)), 0u);
    EXPECT_EQ(run(config_set(2, none)), 5u) << "the table is full";

    std::vector<uint8_t> sw(TGX_SIZE_AUTH, 0);
    wr32(sw.data() + TGX_ENV_HEADER_LENGTH, 2);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_ENABLE, sw), 0u);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_ENABLE, sw), 10u);
    wr32(sw.data() + TGX_ENV_HEADER_LENGTH, 5);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_ENABLE, sw), 4u);
}

TEST_F(AuthTest, DriverListOperations) {
    make_pair(1);
    make_pair(2);
    RawDriver d;
    // Room for one entry, two pairs: 16 and the driver's count.
    std::vector<uint8_t> env(TGX_SIZE_AUTH_LIST_BASE + TGX_AUTH_CONFIG_BYTES, 0);
    uint8_t* p = env.data() + TGX_ENV_HEADER_LENGTH;
    p[TGX_AUTHL_OFF_LISTFLAG] = 1;
    wr32(p + TGX_AUTHL_OFF_COUNT, 1);
    memset(p + TGX_AUTHL_OFF_ENTRIES, 0xFF, 8);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_CONFIG_V2, env), 16u);
    EXPECT_EQ(rd32(p + TGX_AUTHL_OFF_COUNT), 2u);
    EXPECT_EQ(p[TGX_AUTHL_OFF_ENTRIES + 15], 1) << "the first pair";
    // A count beyond the envelope is bounded by it.
    wr32(p + TGX_AUTHL_OFF_COUNT, 1000);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_CONFIG_V2, env), 16u);
    p[TGX_AUTHL_OFF_OP] = 9;
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_CONFIG_V2, env), 4u);
    // A V2 set for a remote WWN of all 0xFF names no pair (2).
    p[TGX_AUTHL_OFF_OP] = TGX_AUTHL_OP_SET;
    wr32(p + TGX_AUTHL_OFF_COUNT, 1);
    memcpy(p + TGX_AUTHL_OFF_ENTRIES, kPort, 8);
    memset(p + TGX_AUTHL_OFF_ENTRIES + 8, 0xFF, 8);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_CONFIG_V2, env), 2u);
    // The V2 password request defines get (0) and set (1) only.
    std::vector<uint8_t> pw(TGX_SIZE_AUTH_PWD_V2, 0);
    uint8_t* q = pw.data() + TGX_ENV_HEADER_LENGTH;
    q[TGX_AUTHP_OFF_SET] = 2;
    memcpy(q + TGX_AUTHP_OFF_LOCAL, kPort, 8);
    memcpy(q + TGX_AUTHP_OFF_REMOTE, remote(1).b, 8);
    EXPECT_EQ(d.send(TGX_IOCTL_AUTH_PASSWD_V2, pw), 4u);
}

} // namespace
