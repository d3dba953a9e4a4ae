// V1 authentication through libtgx against the simulated driver: the
// ReturnCode table, the driver states behind each code, the switch and its
// replay of the registry copy, the status request, and the V1 exports that
// SLI-4 boards refuse.
#include "tests/libtgx_auth/auth_fixture.h"

#include "sim/core/sim_model.h"

namespace {

using namespace authtest;

TEST_F(AuthTest, ReturnCodeTableOfTheV1Requests) {
    struct Case {
        uint32_t rc;
        uint32_t status;
    };
    const Case cases[] = {
        {1, 0x8007},  {2, 0x8007},  {3, 0x8005},  {4, 0x8009},  {5, 0x800A},  {6, 0x8008},
        {7, 0x800B},  {8, 0x8001},  {9, 0x8004},  {10, 10},     {11, 0x800D}, {12, 0x8033},
        {13, 0x800D}, {14, 0x8011}, {15, 0x8007}, {16, 0x800D}, {99, 0x800D},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rc);
        clear();
        fault("AUTH_START", "rc=" + std::to_string(c.rc), 1);
        EXPECT_EQ(start(1), c.status);
        ASSERT_EQ(count(TGX_IOCTL_AUTH_START), 1u);
        // Only a wrong password costs time: three seconds before the answer.
        if (c.rc == 9)
            EXPECT_EQ(sleeps(), std::vector<uint32_t>{3000});
        else
            EXPECT_TRUE(sleeps().empty());
    }
    fault("AUTH_START", "fail", 1);
    EXPECT_EQ(start(1), 0x800Du) << "a failed call";
}

TEST_F(AuthTest, StartAnswersFromThePairsState) {
    make_pair(1);    // ready
    make_pair(2, 1); // authMode 1: disabled
    ASSERT_EQ(set_passwords(3, no_password(), password("remote-only-3")), 0u); // no local
    make_pair(4, 2, TGX_AUTH_BIDIRECTIONAL);                                   // bidirectional...
    ASSERT_EQ(set_passwords(4, password("local-only-4"), no_password()), 0u);  // ...no remote
    const uint8_t otherPort[8] = {0x10, 0, 0, 0, 0, 0, 0, 9};
    EXPECT_EQ(start(1), 0x800Du) << "switched off (11)";
    ASSERT_EQ(enable(), 0u);
    struct Case {
        const char* what;
        Wwn remote;
        const uint8_t* local;
        uint32_t status;
    };
    const Case cases[] = {
        {"local WWN of another port (1)", remote(1), otherPort, 0x8007},
        {"remote WWN zero (2)", Wwn{}, kPort, 0x8007},
        {"no such pair (3)", remote(9), kPort, 0x8005},
        {"authentication disabled for the pair (6)", remote(2), kPort, 0x8008},
        {"no local password (8)", remote(3), kPort, 0x8001},
        {"bidirectional without the remote password (13)", remote(4), kPort, 0x800D},
        {"ready", remote(1), kPort, 0},
        {"already authenticating (7)", remote(1), kPort, 0x800B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fn<InitiateFn>("TGX_InitiateAuthentication")(0, c.local, c.remote.b), c.status);
    }
    set_attr("link", "down");
    EXPECT_EQ(start(1), 0x8033u) << "link down (12)";
}

TEST_F(AuthTest, StatusFollowsAStartedAuthentication) {
    make_pair(1, 2, TGX_AUTH_BIDIRECTIONAL);
    AuthStatusRecord st = {};
    memcpy(st.localWwn, kPort, 8);
    memcpy(st.remoteWwn, remote(1).b, 8);
    EXPECT_EQ(fn<StatusFn>("TGX_GetAuthStatus")(0, &st), 0x800Du) << "switched off";
    ASSERT_EQ(enable(), 0u);
    ASSERT_EQ(start(1), 0u);
    ASSERT_EQ(fn<StatusFn>("TGX_GetAuthStatus")(0, &st), 0u);
    EXPECT_EQ(st.state[0], 2) << "reading the status completes the authentication";
    EXPECT_EQ(st.state[1], 1);
    EXPECT_EQ(st.state[2], 5);
    EXPECT_EQ(st.state[4], 2);
    EXPECT_EQ(st.flags, 3) << "bidirectional, remote password present";
    EXPECT_EQ(st.word24, 300u);
    EXPECT_EQ(st.word28, 1u);
    EXPECT_EQ(sent().back().size(), 576u);

    struct Case {
        const char* what;
        uint8_t remote;
        const char* fault; // on AUTH_STATUS
        uint32_t status;
    };
    const Case cases[] = {
        {"unknown pair", 7, "", 0x8005},        {"invalid remote", 0, "", 0x8005},
        {"driver code 13", 1, "rc=13", 0x8032}, {"link down", 1, "rc=12", 0x8033},
        {"failed call", 1, "fail", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (*c.fault) fault("AUTH_STATUS", c.fault, 1);
        AuthStatusRecord s = {};
        memcpy(s.localWwn, kPort, 8);
        memcpy(s.remoteWwn, remote(c.remote).b, 8);
        EXPECT_EQ(fn<StatusFn>("TGX_GetAuthStatus")(0, &s), c.status);
    }
    AuthStatusRecord s = {};
    EXPECT_EQ(fn<StatusFn>("TGX_GetAuthStatus")(1, &s), 0x800Cu);
}

TEST_F(AuthTest, SwitchOnAndOff) {
    EXPECT_EQ(disable(), 0x800Du) << "already off (11)";
    EXPECT_EQ(enable(), 0u);
    EXPECT_EQ(enable(), 10u) << "already on";
    EXPECT_EQ(disable(), 0u);
    set_attr("link", "down");
    EXPECT_EQ(enable(), 0x8033u) << "the driver refused: not reported as success";
    set_attr("link", "up");
    fault("AUTH_ENABLE", "fail", 1);
    EXPECT_EQ(enable(), 0x800Du);
    EXPECT_EQ(enable(), 0u);
    EXPECT_EQ(fn<SwitchFn>("TGX_EnableAuthentication")(1), 1u);
    EXPECT_EQ(fn<SwitchFn>("TGX_DisableAuthentication")(1), 1u);
    ASSERT_FALSE(sent().empty());
    EXPECT_EQ(rd32(sent().back().payload()), 2u) << "flag 2 switches on";
}

// One pair in the copy: AuthFlag 0x01050014 and both password values.
void seed_copy(uint8_t n, const std::string& localPwd) {
    put_copy_dword(remote(n), "AuthFlag", 0x01050014);
    put_copy_value(remote(n), "AuthTypePriority", PLAT_REG_BINARY, "\x01\x02\x00\x00", 4);
    put_copy_value(remote(n), "HashPriority", PLAT_REG_BINARY, "\x05\x06\x00\x00", 4);
    put_copy_value(remote(n), "DHGrpPriority", PLAT_REG_BINARY, "\x04\x03\x02\x01\x00\x00\x00\x00",
                   8);
    put_copy_dword(remote(n), "ReauthTimer", 600);
    put_copy_value(remote(n), "LocalPswd", PLAT_REG_BINARY, localPwd.data(),
                   (uint32_t)localPwd.size());
    put_copy_dword(remote(n), "LocalPswdType", 1);
    put_copy_dword(remote(n), "RemotePswdType", TGX_AUTH_PWD_NONE);
}

TEST_F(AuthTest, EnableReplaysTheRegistryCopyIntoTheDriver) {
    EXPECT_EQ(enable(), 0u) << "no copy: nothing to replay";
    EXPECT_EQ(sent().size(), 1u);
    ASSERT_EQ(disable(), 0u);
    seed_copy(1, "replayed-secret");
    clear();
    ASSERT_EQ(enable(), 0u);
    ASSERT_EQ(count(TGX_IOCTL_AUTH_CONFIG), 1u);
    ASSERT_EQ(count(TGX_IOCTL_AUTH_PASSWD), 1u);
    for (const Sent& s : sent()) {
        if (s.code != TGX_IOCTL_AUTH_CONFIG) continue;
        EXPECT_EQ(rd32(s.payload() + TGX_AUTH_OFF_FLAGS), 1u) << "set";
        // The replay presents no authorising password: length 0, type 3.
        EXPECT_EQ(s.payload()[TGX_AUTH_OFF_CURPWD], 0);
        EXPECT_EQ(s.payload()[TGX_AUTH_OFF_CURPWD + 2], TGX_AUTH_PWD_NONE);
    }
    // The driver now holds the pair as the copy describes it.
    ListBuf b(4);
    ASSERT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, kAll, b.list()), 0u);
    ASSERT_EQ(b.list()->count, 1u);
    const AuthConfigRecord& c = b[0].config;
    EXPECT_EQ(c.timeOut, 0x14);
    EXPECT_EQ(c.authMode, 5);
    EXPECT_EQ(c.flags, TGX_AUTH_BIDIRECTIONAL);
    EXPECT_EQ(c.grpPrior[3], 1);
    EXPECT_EQ(c.rauthTimer, 600u);
    AuthPasswordRecordV2 pw = {};
    memcpy(pw.localWwn, kPort, 8);
    memcpy(pw.remoteWwn, remote(1).b, 8);
    ASSERT_EQ(fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(0, &pw, 0), 0u);
    EXPECT_EQ(pw.passwd.local.type, 1);
    EXPECT_EQ(pw.passwd.remote.type, TGX_AUTH_PWD_NONE);

    // A restarted driver has forgotten everything; the copy brings it back.
    lib.reset();
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    reload();
    EXPECT_EQ(driver_pairs(), 0u);
    ASSERT_EQ(enable(), 0u);
    EXPECT_EQ(driver_pairs(), 1u);
}

TEST_F(AuthTest, ReplayFailures) {
    // The driver already holds the pair with a password: the replay cannot
    // authorise the change (9), which costs three seconds.
    make_pair(1);
    seed_copy(1, "replayed-secret");
    clear();
    EXPECT_EQ(enable(), 0x800Du);
    // Both the configuration and the passwords were refused.
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{3000, 3000}));

    // A stored password longer than 128 bytes is never sent, cut or whole.
    ASSERT_EQ(disable(), 0u);
    seed_copy(2, std::string(129, 'p'));
    clear();
    EXPECT_EQ(enable(), 0x800Du);
    for (const Sent& s : sent()) {
        if (s.code == TGX_IOCTL_AUTH_PASSWD || s.code == TGX_IOCTL_AUTH_CONFIG) {
            EXPECT_NE(memcmp(s.payload() + TGX_AUTH_OFF_REMOTE, remote(2).b, 8), 0);
        }
    }
    EXPECT_EQ(driver_pairs(), 1u) << "pair 2 was not replayed";
}

// A key whose name is too long to be a WWN counts as unreadable, but the walk
// goes on past it: the pairs behind it are still replayed.
TEST_F(AuthTest, LongKeyNameInTheCopyDoesNotHideThePairsBehindIt) {
    const std::string longName(70, '0'); // sorts before every WWN key
    // One under the port's key (local WWNs), one under the local key (remotes).
    const std::string local = kCopyPath;
    const std::string hba = local.substr(0, local.rfind('\\'));
    for (const std::string& parent : {hba, local}) {
        SCOPED_TRACE(parent);
        PlatRegKey k = nullptr;
        ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, (parent + "\\" + longName).c_str(), &k),
                  PLAT_REG_OK);
        plat_reg_close_key(k);
    }
    seed_copy(1, "replayed-secret");
    EXPECT_EQ(enable(), 0x800Du) << "the long name is reported";
    EXPECT_EQ(driver_pairs(), 1u) << "the pair behind it was replayed";
}

TEST_F(AuthTest, V1ConfigurationExportsRefuseSli4Boards) {
    AuthConfigRecord cfg = config(1);
    const AuthPasswordEntry pw = password("authorising", 1);
    AuthPasswordEntry tooLong = password("x");
    tooLong.length = 129;
    AuthPasswordRecord pr = {};
    ListBuf b(2);
    struct Case {
        const char* what;
        uint32_t status;
        uint32_t badBoard; // the same call on board 1
        uint32_t badBoardStatus;
    };
    const Case cases[] = {
        {"get configuration", fn<GetConfigFn>("TGX_GetAuthConfig")(0, &cfg),
         fn<GetConfigFn>("TGX_GetAuthConfig")(1, &cfg), 1},
        {"set configuration", fn<SetConfigFn>("TGX_SetAuthConfig")(0, &cfg, &pw),
         fn<SetConfigFn>("TGX_SetAuthConfig")(1 | TGX_AUTH_NO_REGISTRY, &cfg, &pw), 1},
        {"set configuration, password of 129",
         fn<SetConfigFn>("TGX_SetAuthConfig")(0, &cfg, &tooLong),
         fn<SetConfigFn>("TGX_SetAuthConfig")(1, &cfg, &tooLong), 1},
        {"delete configuration",
         fn<DeleteConfigFn>("TGX_DeleteAuthConfig")(0, kPort, remote(1).b, &pw),
         fn<DeleteConfigFn>("TGX_DeleteAuthConfig")(1, kPort, remote(1).b, &pw), 1},
        {"get passwords", fn<GetPasswordFn>("TGX_GetAuthPassword")(0, &pr),
         fn<GetPasswordFn>("TGX_GetAuthPassword")(1, &pr), 1},
        {"set passwords", fn<SetPasswordFn>("TGX_SetAuthPassword")(0, &pr),
         fn<SetPasswordFn>("TGX_SetAuthPassword")(1, &pr), 1},
        {"registry list", fn<ConfigListFn>("TGX_GetAuthConfigList")(0, kAll, b.list()),
         fn<ConfigListFn>("TGX_GetAuthConfigList")(1, kAll, b.list()), 0x800C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.status, 0x8030u);
        EXPECT_EQ(c.badBoard, c.badBoardStatus);
    }
    EXPECT_TRUE(sent().empty()) << "nothing reaches the driver";
    PlatRegKey k = nullptr;
    EXPECT_NE(plat_reg_open_key(PLAT_HKLM, "SYSTEM\\CurrentControlSet\\Services\\qrlstor", &k),
              PLAT_REG_OK);
}

TEST_F(AuthTest, PortDriverBoardsTakeNoV1Request) {
    lib.reset();
    load("adapter A fc\nfunction fc\n");
    EXPECT_EQ(start(1), 0x8030u);
    EXPECT_TRUE(sent().empty());
}

} // namespace
