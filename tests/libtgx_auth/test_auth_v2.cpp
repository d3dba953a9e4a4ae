// V2 authentication through libtgx against the simulated driver: the checks
// every V2 export makes, passwords (types only ever come back), configuration
// lists, deletes, and the copy in the adapter object "/driver/auth.cfg".
#include "tests/libtgx_auth/auth_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "sim/core/sim_model.h"

namespace {

using namespace authtest;

TEST_F(AuthTest, V2ExportsCheckBoardFeaturesAndArguments) {
    struct Board {
        const char* what;
        const char* fleet;
        uint32_t board;
        uint32_t status;
    };
    const Board boards[] = {
        {"bad board", kAuthFleet, 1, 0x800C},
        {"FCoE board", "adapter A fc\nfunction fc driver_name = qrlfc feature_list = 0x1610\n", 0,
         0x8030},
        {"no V2 copy (bit 0x10 clear)", "adapter A fc\nfunction fc driver_name = qrlfc\n", 0,
         0x8031},
    };
    using Call = std::function<uint32_t(uint32_t board, bool withRecord)>;
    const Call calls[] = {
        [&](uint32_t b, bool r) {
            ListBuf l(1);
            return fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(b, 0, kAll, r ? l.list() : nullptr);
        },
        [&](uint32_t b, bool r) {
            ListBuf l(1);
            return fn<SetConfigV2Fn>("TGX_SetAuthConfigV2")(b, r ? l.list() : nullptr);
        },
        [&](uint32_t b, bool r) {
            ListBuf l(1);
            return fn<DeleteConfigV2Fn>("TGX_DeleteAuthConfigV2")(b, r ? l.list() : nullptr, 0);
        },
        [&](uint32_t b, bool r) {
            AuthPasswordRecordV2 p = {};
            return fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(b, r ? &p : nullptr, 0);
        },
        [&](uint32_t b, bool r) {
            AuthPasswordRecordV2 p = {};
            return fn<SetPasswordV2Fn>("TGX_SetAuthPasswordV2")(b, r ? &p : nullptr);
        },
    };
    for (const Board& bd : boards) {
        SCOPED_TRACE(bd.what);
        lib.reset();
        load(bd.fleet);
        for (const Call& call : calls)
            EXPECT_EQ(call(bd.board, true), bd.status);
        EXPECT_EQ(fn<BoardFn>("TGX_DeleteAuthConfigObject")(bd.board), bd.status);
        EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(bd.board), bd.status);
        EXPECT_TRUE(sent().empty());
    }
    lib.reset();
    load(kAuthFleet);
    for (const Call& call : calls)
        EXPECT_EQ(call(0, false), 0x8032u) << "missing record";
    EXPECT_TRUE(sent().empty());
}

TEST_F(AuthTest, PasswordsComeBackAsTypesOnly) {
    AuthPasswordRecordV2 r = {};
    memcpy(r.localWwn, kPort, 8);
    memcpy(r.remoteWwn, remote(1).b, 8);
    EXPECT_EQ(fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(0, &r, 0), 0x8034u) << "no pair";
    ASSERT_EQ(set_passwords(1, password("local-secret", 2), password("remote-secret", 1)), 0u);
    memset(&r.passwd, 0xEE, sizeof r.passwd);
    ASSERT_EQ(fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(0, &r, 0), 0u);
    EXPECT_EQ(r.passwd.local.type, 2);
    EXPECT_EQ(r.passwd.remote.type, 1);
    EXPECT_EQ(r.passwd.local.length, 0);
    EXPECT_EQ(r.passwd.remote.length, 0);
    for (uint8_t b : r.passwd.local.password)
        ASSERT_EQ(b, 0) << "no password byte reaches the caller";
    for (uint8_t b : r.passwd.remote.password)
        ASSERT_EQ(b, 0);
    // A pair whose passwords are both gone is "not configured".
    ASSERT_EQ(set_passwords(1, no_password(), no_password()), 0u);
    EXPECT_EQ(fn<GetPasswordV2Fn>("TGX_GetAuthPasswordV2")(0, &r, 0), 0x8001u);
}

TEST_F(AuthTest, PasswordSetStatuses) {
    AuthPasswordEntry long129 = password(std::string(128, 'a'));
    long129.length = 129;
    struct Case {
        const char* what;
        AuthPasswordEntry local, remotePwd;
        uint32_t status;
        size_t requests;
    };
    const Case cases[] = {
        {"local of 129 bytes", long129, password("remote-secret"), 0x8006, 0},
        {"remote of 129 bytes", password("local-secret"), long129, 0x8006, 0},
        {"both the same (14)", password("same-secret"), password("same-secret"), 0x8011, 1},
        {"shorter than 8 bytes (15)", password("short"), password("remote-secret"), 0x8006, 1},
        {"128 bytes", password(std::string(128, 'a')), password("remote-secret"), 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        EXPECT_EQ(set_passwords(1, c.local, c.remotePwd), c.status);
        EXPECT_EQ(count(TGX_IOCTL_AUTH_PASSWD_V2), c.requests);
    }
    const Sent& s = sent().back();
    EXPECT_EQ(s.size(), 316u);
    EXPECT_EQ(s.payload()[TGX_AUTHP_OFF_SET], 1);
    EXPECT_EQ(tgxio::rd32(s.payload() + TGX_AUTHP_OFF_LOCALPWD) & 0xFFFF, 128u);
    // A full table refuses a new pair (5).
    set_attr("auth_max_pairs", "1");
    EXPECT_EQ(set_passwords(2, password("local-secret"), password("remote-secret")), 0x800Au);
}

TEST_F(AuthTest, ConfigurationNeedsPasswordsFirst) {
    ListBuf b(3);
    b[0].config = config(1);
    b[1].config = config(2);
    b[2].config = config(3);
    ASSERT_EQ(set_passwords(2, password("local-secret"), password("remote-secret")), 0u);
    ASSERT_EQ(set_passwords(3, no_password(), no_password()), 0u);
    clear();
    EXPECT_EQ(fn<SetConfigV2Fn>("TGX_SetAuthConfigV2")(0, b.list()), 0x8050u);
    EXPECT_EQ(b[0].status, 0x8050u) << "unknown pair: no password";
    EXPECT_EQ(b[1].status, 0u);
    EXPECT_EQ(b[2].status, 0x8050u) << "both types 3";
    EXPECT_EQ(count(TGX_IOCTL_AUTH_CONFIG_V2), 1u) << "only the pair with passwords is set";
    EXPECT_EQ(driver_pairs(), 2u);
}

TEST_F(AuthTest, ConfigurationListsAndDeletes) {
    for (uint8_t n = 1; n <= 3; ++n)
        make_pair(n, 2, n == 2 ? TGX_AUTH_BIDIRECTIONAL : 0);
    // The driver's list: room for two of three pairs.
    ListBuf two(2);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, kAll, two.list()), 7u);
    EXPECT_EQ(two.list()->count, 2u);
    EXPECT_EQ(two[1].config.remoteWwn[7], 2);
    EXPECT_EQ(two[1].config.flags, TGX_AUTH_BIDIRECTIONAL);
    EXPECT_EQ(two[1].config.rauthTimer, 300u);
    // No room at all: the pairs are still counted as more.
    ListBuf empty(0);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, kPort, empty.list()), 7u);
    EXPECT_EQ(empty.list()->count, 0u);
    // A filter on another local WWN lists nothing.
    const uint8_t other[8] = {0x10, 0, 0, 0, 0, 0, 0, 1};
    ListBuf none(4);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, other, none.list()), 0u);
    EXPECT_EQ(none.list()->count, 0u);

    // Without a filter each pair of the list is read by itself.
    ListBuf each(2);
    each[0].config = config(3);
    each[0].config.timeOut = 0;
    each[1].config = config(9);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, nullptr, each.list()), 0x8034u);
    EXPECT_EQ(each[0].status, 0u);
    EXPECT_EQ(each[0].config.timeOut, 0x2D);
    EXPECT_EQ(each[1].status, 0x8034u);

    // A caller's count above 16 handles 16 entries and touches no more.
    ListBuf big(20);
    for (uint32_t i = 0; i < 20; ++i)
        big[i].config = config(1);
    big[16].status = 0xAAAA;
    clear();
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 0, nullptr, big.list()), 0u);
    EXPECT_EQ(count(TGX_IOCTL_AUTH_CONFIG_V2), 16u);
    EXPECT_EQ(big.list()->count, 16u);
    EXPECT_EQ(big[16].status, 0xAAAAu);

    // Delete one pair, an unknown one, then all.
    ListBuf del(2);
    del[0].config = config(1);
    del[1].config = config(9);
    EXPECT_EQ(fn<DeleteConfigV2Fn>("TGX_DeleteAuthConfigV2")(0, del.list(), 0), 0x8034u);
    EXPECT_EQ(del[0].status, 0u);
    EXPECT_EQ(driver_pairs(), 2u);
    EXPECT_EQ(fn<DeleteConfigV2Fn>("TGX_DeleteAuthConfigV2")(0, nullptr, 1), 0u);
    EXPECT_EQ(driver_pairs(), 0u);
}

TEST_F(AuthTest, RunningAuthenticationBlocksChanges) {
    make_pair(1);
    ASSERT_EQ(enable(), 0u);
    ASSERT_EQ(start(1), 0u);
    EXPECT_EQ(set_config(config(1)), 0x800Bu) << "7";
    EXPECT_EQ(set_passwords(1, password("new-local-1"), password("new-remote-1")), 0x800Bu);
    EXPECT_EQ(fn<DeleteConfigV2Fn>("TGX_DeleteAuthConfigV2")(0, nullptr, 1), 0x800Bu);
    ASSERT_EQ(disable(), 0u) << "switching off ends the authentication";
    EXPECT_EQ(set_config(config(1)), 0u);
}

// Slice of PCI function func in an object image.
const uint8_t* slice_of(const hbasim::Bytes& obj, uint32_t func) {
    return obj.data() + func * TGX_AUTH_SLICE_BYTES;
}

TEST_F(AuthTest, PersistWritesThisFunctionsSlice) {
    make_pair(1);
    make_pair(2, 2, TGX_AUTH_BIDIRECTIONAL);
    ListBuf b(4);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, b.list()), 0x8034u)
        << "no object yet";
    clear();
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    EXPECT_EQ(object_requests(SLI_OP_WRITE_OBJECT), 1u);
    hbasim::Bytes obj;
    ASSERT_TRUE(object(&obj));
    ASSERT_EQ(obj.size(), TGX_AUTH_OBJECT_BYTES);
    const uint8_t* s = slice_of(obj, 0);
    EXPECT_EQ(rd32(s), TGX_AUTH_SLICE_SIGNATURE);
    EXPECT_EQ(rd32(s + 4), (2u << 16) + 0x801);
    const uint8_t* e = s + TGX_AUTH_SLICE_HEADER + TGX_AUTH_SLICE_ENTRY;
    EXPECT_EQ(e[15], 2) << "second pair";
    EXPECT_EQ(e[19], TGX_AUTH_BIDIRECTIONAL);
    EXPECT_EQ(e[TGX_AUTHS_OFF_LTYPE], 1);
    EXPECT_EQ(e[TGX_AUTHS_OFF_LLEN], 14);
    EXPECT_EQ(0, memcmp(e + TGX_AUTHS_OFF_LPWD, "local-secret-2", 14));
    EXPECT_EQ(0, memcmp(e + TGX_AUTHS_OFF_RPWD, "remote-secret-2", 15));

    // The copy outlives the driver's memory and the process.
    lib.reset();
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    reload();
    EXPECT_EQ(driver_pairs(), 0u);
    ListBuf flash(4);
    ASSERT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, flash.list()), 0u);
    ASSERT_EQ(flash.list()->count, 2u);
    EXPECT_EQ(flash[1].config.remoteWwn[7], 2);
    EXPECT_EQ(flash[1].config.timeOut, 0x2D);
    ListBuf one(1);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, one.list()), 7u);
    EXPECT_EQ(one.list()->count, 1u);
    AuthPasswordRecordV2 pw;
    ASSERT_EQ(flash_password(2, &pw), 0u);
    EXPECT_EQ(pw.passwd.local.type, 1);
    EXPECT_EQ(pw.passwd.local.length, 0);
    EXPECT_EQ(flash_password(7, &pw), 0x8034u);

    // Deleting the object takes the copy away; a second delete finds nothing.
    EXPECT_EQ(fn<BoardFn>("TGX_DeleteAuthConfigObject")(0), 0u);
    EXPECT_FALSE(object(&obj));
    EXPECT_EQ(fn<BoardFn>("TGX_DeleteAuthConfigObject")(0), 0x8034u);
}

TEST_F(AuthTest, FunctionsShareTheObjectSliceBySlice) {
    lib.reset();
    load("adapter A fc\n"
         "function fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF feature_list = 0x1410\n"
         "function fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:F0 feature_list = 0x1410\n");
    make_pair(1);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    // Board 1 (PCI function 1) keeps its slice at 8192 and leaves slice 0 alone.
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(1), 0u);
    hbasim::Bytes obj;
    ASSERT_TRUE(object(&obj));
    EXPECT_EQ(rd32(slice_of(obj, 0) + 4), (1u << 16) + 0x801);
    EXPECT_EQ(rd32(slice_of(obj, 1)), TGX_AUTH_SLICE_SIGNATURE);
    EXPECT_EQ(rd32(slice_of(obj, 1) + 4), 0x801u) << "no pairs on function 1";
}

TEST_F(AuthTest, ObjectTravelsInAsManyPiecesAsTheAdapterTakes) {
    make_pair(1);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    make_pair(2);
    set_attr("obj_read_limit", "1000");
    set_attr("obj_write_accept", "5000");
    clear();
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    EXPECT_EQ(object_requests(SLI_OP_READ_OBJECT), 33u) << "32768 bytes, 1000 at a time";
    EXPECT_EQ(object_requests(SLI_OP_WRITE_OBJECT), 7u);
    hbasim::Bytes obj;
    ASSERT_TRUE(object(&obj));
    EXPECT_EQ(obj.size(), TGX_AUTH_OBJECT_BYTES);
    EXPECT_EQ(rd32(obj.data() + 4), (2u << 16) + 0x801);
    ListBuf b(4);
    ASSERT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, b.list()), 0u);
    EXPECT_EQ(b.list()->count, 2u);
}

// Pieces of any length, also ones that are no whole number of words, leave
// the object as one piece would have.
TEST_F(AuthTest, ObjectPiecesOfOddLengthsKeepTheObjectWhole) {
    make_pair(1);
    make_pair(2, 2, TGX_AUTH_BIDIRECTIONAL);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    hbasim::Bytes whole;
    ASSERT_TRUE(object(&whole));
    ASSERT_EQ(fn<BoardFn>("TGX_DeleteAuthConfigObject")(0), 0u);
    set_attr("obj_read_limit", "1001");
    set_attr("obj_write_accept", "4999");
    clear();
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    EXPECT_EQ(object_requests(SLI_OP_WRITE_OBJECT), 7u) << "32768 bytes, 4999 at a time";
    hbasim::Bytes pieces;
    ASSERT_TRUE(object(&pieces));
    EXPECT_EQ(pieces, whole);
    ListBuf b(4);
    ASSERT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, b.list()), 0u);
    ASSERT_EQ(b.list()->count, 2u);
    EXPECT_EQ(b[1].config.remoteWwn[7], 2);
    EXPECT_EQ(b[1].config.timeOut, 0x2D);
}

TEST_F(AuthTest, PersistRefusesWhatTheSliceCannotHold) {
    // 27 pairs fit a slice; a 28th does not, and nothing is written.
    for (uint8_t n = 1; n <= 27; ++n)
        ASSERT_EQ(set_passwords(n, password("local-secret"), password("remote-secret")), 0u);
    EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    hbasim::Bytes before;
    ASSERT_TRUE(object(&before));
    EXPECT_EQ(rd32(before.data() + 4) >> 16, 27u);
    ASSERT_EQ(set_passwords(28, password("local-secret"), password("remote-secret")), 0u);
    expect_persist_refused(0x800Au, before);

    // PCI function 4 would write past the 32 KiB object: refused unsent.
    lib.reset();
    load("adapter A fc\nfunction fc driver_name = qrlfc feature_list = 0x1410 pci_function = 4\n");
    EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0x8032u);
    ListBuf b(1);
    EXPECT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, b.list()), 0x8032u);
    EXPECT_EQ(object_requests(SLI_OP_READ_OBJECT) + object_requests(SLI_OP_WRITE_OBJECT), 0u);
}

TEST_F(AuthTest, PersistRefusesPasswordTypesTheSliceCannotHold) {
    // A slice entry keeps each password type in one byte: 0x1234 would come
    // back as 0x34 after a reboot, so it is refused and nothing is written.
    make_pair(1);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    hbasim::Bytes before;
    ASSERT_TRUE(object(&before));
    const AuthPasswordEntry wide = password("wide-type-secret", 0x1234);
    const AuthPasswordEntry plain = password("plain-secret", 0xFF);
    const std::pair<AuthPasswordEntry, AuthPasswordEntry> cases[] = {{wide, plain}, {plain, wide}};
    for (const auto& [local, remotePwd] : cases) {
        SCOPED_TRACE(local.type);
        ASSERT_EQ(set_passwords(2, local, remotePwd), 0u);
        expect_persist_refused(0x8032u, before);
    }
    // The widest type a byte holds is kept as it is.
    ASSERT_EQ(set_passwords(2, password("other-local", 0xFF), password("other-remote", 0xFF)), 0u);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    AuthPasswordRecordV2 pw;
    ASSERT_EQ(flash_password(2, &pw), 0u);
    EXPECT_EQ(pw.passwd.local.type, 0xFF);
    EXPECT_EQ(pw.passwd.remote.type, 0xFF);
}

TEST_F(AuthTest, PersistKeepsTheObjectWhenItCannotBeRead) {
    make_pair(1);
    ASSERT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0u);
    hbasim::Bytes before;
    ASSERT_TRUE(object(&before));
    make_pair(2);
    hbasim::Fault f;
    f.source = "mbx";
    f.match = "SLI_CONFIG";
    f.action = "status=3";
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 1u);
    hbasim::fault_clear();
    hbasim::Bytes after;
    ASSERT_TRUE(object(&after));
    EXPECT_EQ(after, before);
    // A failed list is refused before the object is touched.
    fault("AUTH_CONFIG_V2", "fail", 1);
    clear();
    EXPECT_EQ(fn<BoardFn>("TGX_PersistAuthConfig")(0), 0x8032u);
    EXPECT_EQ(object_requests(SLI_OP_READ_OBJECT), 0u);
}

} // namespace

namespace {

using namespace authtest;

// Runs fn in a child process; its exit code is fn's result (255 when it
// crashed or did not start).
int in_child(const std::function<int()>& fn) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int st = 0;
    if (pid < 0 || waitpid(pid, &st, 0) != pid || !WIFEXITED(st)) return 255;
    return WEXITSTATUS(st);
}

TEST_F(AuthTest, CopiesOutliveTheProcessThatWroteThem) {
    // One process sets two pairs and persists them into the adapter object.
    const int persisted = in_child([&] {
        for (uint8_t n = 1; n <= 2; ++n) {
            if (set_passwords(n, password("local-secret"), password("remote-secret")) != 0)
                return 1;
            if (set_config(config(n)) != 0) return 2;
        }
        return (int)fn<BoardFn>("TGX_PersistAuthConfig")(0);
    });
    ASSERT_EQ(persisted, 0);
    lib.reset();
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    reload();
    ListBuf flash(4);
    ASSERT_EQ(fn<GetConfigV2Fn>("TGX_GetAuthConfigV2")(0, 1, kAll, flash.list()), 0u);
    EXPECT_EQ(flash.list()->count, 2u);

    // Another process switches authentication on and replays the registry copy.
    put_copy_dword(remote(5), "AuthFlag", 0x00020010);
    const int enabled = in_child([&] { return (int)enable(); });
    ASSERT_EQ(enabled, 0);
    EXPECT_EQ(driver_pairs(), 1u) << "the replayed pair is in the driver";
}

} // namespace
