// Authentication configuration: per pair of a local and a remote port WWN the
// driver keeps a configuration and two passwords. V1 exports (boards below
// SLI mode 4) talk to the driver and keep a copy of every setting in the
// registry, which switching authentication on replays into the driver. V2
// exports (SLI-4 boards) use the driver's list and password requests and keep
// a copy in the adapter object "/driver/auth.cfg", one slice per PCI function.
// Passwords are opaque bytes; no export ever hands their bytes back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "libtgx/tgx_internal.h"

namespace {

constexpr uint32_t kStsNotConfigured = TGX_AUTH_STS_NOT_CONFIGURED;
constexpr uint32_t kStsPwdTooLong = TGX_AUTH_STS_PWD_TOO_LONG;
constexpr uint32_t kStsNotFound = TGX_AUTH_STS_NOT_FOUND;
constexpr uint32_t kStsNoResources = TGX_AUTH_STS_NO_RESOURCES;
constexpr uint32_t kStsBadBoard = TGX_AUTH_STS_BAD_BOARD;
constexpr uint32_t kStsAuthFailed = TGX_AUTH_STS_FAILED;
constexpr uint32_t kStsNotSupported = TGX_AUTH_STS_NOT_SUPPORTED;
constexpr uint32_t kStsNoV2Store = TGX_AUTH_STS_NO_V2_STORE;
constexpr uint32_t kStsOther = TGX_AUTH_STS_OTHER;
constexpr uint32_t kStsLinkDown = TGX_AUTH_STS_LINK_DOWN;
constexpr uint32_t kStsInvalidEntityV2 = TGX_AUTH_STS_INVALID_ENTITY_V2;
constexpr uint32_t kStsNoPassword = TGX_AUTH_STS_NO_PASSWORD;
constexpr uint32_t kStsAlreadyEnabled = TGX_AUTH_STS_ALREADY_ENABLED;
constexpr uint32_t kStsMore = TGX_AUTH_STS_MORE;

constexpr uint32_t kMismatchDelayMs = 3000;
constexpr uint32_t kSli4 = 4;
constexpr uint32_t kObjectRetry = 2;
constexpr uint32_t kObjectDelayMs = 100;
constexpr uint32_t kTsvMailboxStatus2 = 2; // TGX_IssueMboxWithRetryV2: the adapter refused

// executeAuthCmd commands.
enum AuthCmd : uint32_t {
    kCmdGetConfig = 1,
    kCmdSetConfig = 2,
    kCmdDeleteConfig = 3,
    kCmdGetPasswords = 4,
    kCmdSetPasswords = 5,
    kCmdStart = 6,
};

// Registry copy: a value type of createRegistryKey.
enum CopyType : uint32_t { kCopyConfig = 2, kCopyPasswords = 5 };

const char kServicePath[] = "SYSTEM\\CurrentControlSet\\Services\\qrlstor";
const char kParametersKey[] = "Parameters";
const char kAuthKey[] = "AUTH";
const uint8_t kAllPairs[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

#define WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

void wr16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

// The 24 settings bytes of a configuration, explicitly little-endian.
void encode_settings(uint8_t* p, const AuthConfigRecord& c) {
    wr16(p, c.timeOut);
    p[2] = c.authMode;
    p[3] = c.flags;
    memcpy(p + 4, c.authPrior, 4);
    memcpy(p + 8, c.hashPrior, 4);
    memcpy(p + 12, c.grpPrior, 8);
    tgx_wr32(p + 20, c.rauthTimer);
}
void decode_settings(const uint8_t* p, AuthConfigRecord* c) {
    c->timeOut = tgx_rd16(p);
    c->authMode = p[2];
    c->flags = p[3];
    memcpy(c->authPrior, p + 4, 4);
    memcpy(c->hashPrior, p + 8, 4);
    memcpy(c->grpPrior, p + 12, 8);
    c->rauthTimer = tgx_rd32(p + 20);
}
// The whole 40-byte configuration.
void encode_config(uint8_t* p, const AuthConfigRecord& c) {
    memcpy(p, c.localWwn, 8);
    memcpy(p + 8, c.remoteWwn, 8);
    encode_settings(p + 16, c);
}
void decode_config(const uint8_t* p, AuthConfigRecord* c) {
    memcpy(c->localWwn, p, 8);
    memcpy(c->remoteWwn, p + 8, 8);
    decode_settings(p + 16, c);
}

// A password entry on the wire; the caller has checked the length.
void encode_password(uint8_t* p, const AuthPasswordEntry& e) {
    wr16(p, e.length);
    wr16(p + 2, e.type);
    memcpy(p + 4, e.password, e.length);
}

// What the caller may see of a password: its type.
void type_only(AuthPasswordEntry* out, uint16_t type) {
    memset(out, 0, sizeof *out);
    out->type = type;
}

bool too_long(const AuthPasswordEntry& e) {
    return e.length > TGX_AUTH_PWD_MAX;
}

bool is_port_driver(uint32_t board) {
    return tgx_entry(board)->driverType == TGX_DRIVER_PORT;
}
bool is_sli4(uint32_t board) {
    return tgx_entry(board)->drvInfo.sliMode == kSli4;
}

// ---- driver ReturnCodes of the V1 requests ----
struct V1RcRow {
    uint32_t rc;
    const char* text; // takes the command
    uint32_t status;
};
// How to add a row: the driver's ReturnCode, the line logged with the command
// number, and the status the export returns.
const V1RcRow kV1RcTable[] = {
    {TGX_AUTH_RC_INVALID_LOCAL, "executeAuthCmd: Cmd=%x INVALID_ENTITY\n", 0x8007},
    {TGX_AUTH_RC_INVALID_REMOTE, "executeAuthCmd: Cmd=%x INVALID_ENTITY\n", 0x8007},
    {TGX_AUTH_RC_NOT_FOUND, "executeAuthCmd: Cmd=%x ENTITY_NOT_FOUND\n", kStsNotFound},
    {TGX_AUTH_RC_INVALID_OP, "executeAuthCmd: Cmd=%x INVALID_OPERATION\n", 0x8009},
    {TGX_AUTH_RC_NO_RESOURCES, "executeAuthCmd: Cmd=%x OUT_OF_RESOURCES\n", kStsNoResources},
    {TGX_AUTH_RC_NOT_ACTIVE, "executeAuthCmd: Cmd=%x ENTITY_NOT_ACTIVE\n", 0x8008},
    {TGX_AUTH_RC_IN_PROGRESS, "executeAuthCmd: Cmd=%x AUTHENTICATION_GOINGON\n", 0x800B},
    {TGX_AUTH_RC_NOT_CONFIGURED, "executeAuthCmd: Cmd=%x NOT_CONFIGURED\n", kStsNotConfigured},
    {TGX_AUTH_RC_PWD_MISMATCH,
     "executeAuthCmd: Cmd=%x PassWord MisMatch, delay 3 seconds to return\n", 0x8004},
    {TGX_AUTH_RC_ALREADY_ENABLED, "executeAuthCmd: Already Enabled - Cmd=%x\n", kStsAlreadyEnabled},
    {TGX_AUTH_RC_ALREADY_DISABLED, "executeAuthCmd: Already Disabled - Cmd=%x\n", kStsAuthFailed},
    {TGX_AUTH_RC_LINK_DOWN, "executeAuthCmd: Link Down - Cmd=%x\n", kStsLinkDown},
    {TGX_AUTH_RC_SAME_PWD, "executeAuthCmd: Local & Remote Password are the same - Cmd=%x\n",
     0x8011},
    {TGX_AUTH_RC_PWD_SHORT, "executeAuthCmd: Password less than minimum Cmd=%x\n", 0x8007},
};

uint32_t map_v1_rc(uint32_t rc, uint32_t cmd) {
    for (const V1RcRow& row : kV1RcTable) {
        if (row.rc != rc) continue;
        TraceLog(row.text, cmd);
        // A wrong password costs time, so that guessing stays slow.
        if (rc == TGX_AUTH_RC_PWD_MISMATCH) plat_sleep_ms(kMismatchDelayMs);
        if (rc == TGX_AUTH_RC_NOT_FOUND && cmd == kCmdGetConfig) return kStsNotConfigured;
        return row.status;
    }
    TraceLog("executeAuthCmd: Unknown Cmd=%x\n", cmd);
    return kStsAuthFailed;
}

// Arguments of executeAuthCmd; each command reads the fields it needs.
struct AuthCmdArgs {
    const uint8_t* local = nullptr;
    const uint8_t* remote = nullptr;
    const AuthConfigRecord* configIn = nullptr; // set configuration
    AuthConfigRecord* configOut = nullptr;      // get configuration
    const AuthPasswordEntry* pwdInfo = nullptr; // set and delete configuration
    const AuthPasswordRecord* pwdsIn = nullptr; // set passwords
    AuthPasswordRecord* pwdsOut = nullptr;      // get passwords
};

uint32_t control_code_of(uint32_t cmd) {
    if (cmd <= kCmdDeleteConfig) return TGX_IOCTL_AUTH_CONFIG;
    if (cmd <= kCmdSetPasswords) return TGX_IOCTL_AUTH_PASSWD;
    return TGX_IOCTL_AUTH_START;
}

// Fills the payload of one command; a status other than 0 refuses it.
uint32_t fill_command(uint8_t* p, uint32_t cmd, const AuthCmdArgs& a) {
    memcpy(p + TGX_AUTH_OFF_LOCAL, a.local, 8);
    memcpy(p + TGX_AUTH_OFF_REMOTE, a.remote, 8);
    if (cmd == kCmdSetConfig || cmd == kCmdDeleteConfig) {
        const AuthPasswordEntry& pw = *a.pwdInfo;
        if (too_long(pw)) {
            TraceLog("SetAuthConfig: pPwdInfo->length=%d too large %d,  expecting < %d \n",
                     pw.length, (int)TGX_AUTH_PWD_MAX, (int)TGX_AUTH_PWD_MAX + 1);
            return kStsPwdTooLong;
        }
        TraceLog("SetAuthConfig: AuthCfg.currPswd, pPwdInfo->length=%d\n", pw.length);
        encode_password(p + TGX_AUTH_OFF_CURPWD, pw);
        tgx_wr32(p + TGX_AUTH_OFF_FLAGS,
                 cmd == kCmdSetConfig ? TGX_AUTH_CFG_SET : TGX_AUTH_CFG_DELETE);
    }
    if (cmd == kCmdSetConfig) {
        const AuthConfigRecord& c = *a.configIn;
        TraceLog("SetAuthConfig: AuthCfg.authCfg.authTimeOut, length=%d\n",
                 (int)TGX_AUTH_SETTINGS_BYTES);
        TraceLog("SetAuthConfig: timeOut=%x authMode=%x bidirect=%x authPrior=%x %x %x %x "
                 "hashPrior=%x %x %x %x grpPrior=%x %x %x %x %x %x rauthTimer=%x\n",
                 c.timeOut, c.authMode, c.flags & TGX_AUTH_BIDIRECTIONAL, c.authPrior[0],
                 c.authPrior[1], c.authPrior[2], c.authPrior[3], c.hashPrior[0], c.hashPrior[1],
                 c.hashPrior[2], c.hashPrior[3], c.grpPrior[0], c.grpPrior[1], c.grpPrior[2],
                 c.grpPrior[3], c.grpPrior[4], c.grpPrior[5], c.rauthTimer);
        encode_settings(p + TGX_AUTH_OFF_SETTINGS, c);
        TraceLog("SetAuthConfig: end case\n");
    }
    if (cmd == kCmdGetPasswords || cmd == kCmdSetPasswords)
        TraceLog("executeAuthCmd: cmd=%x lwwn=%x %x rwwn=%x %x\n", cmd, tgx_rd32(a.local),
                 tgx_rd32(a.local + 4), tgx_rd32(a.remote), tgx_rd32(a.remote + 4));
    if (cmd == kCmdSetPasswords) {
        const AuthPasswordRecord& r = *a.pwdsIn;
        const AuthPasswordEntry* four[4] = {&r.currentLocal, &r.currentRemote, &r.newLocal,
                                            &r.newRemote};
        for (const AuthPasswordEntry* e : four)
            if (too_long(*e)) {
                TraceLog("SetAuthPasswd: length=%d too large\n", e->length);
                return kStsPwdTooLong;
            }
        for (int i = 0; i < 4; ++i)
            encode_password(p + TGX_AUTH_OFF_PWDS + i * TGX_AUTH_PWD_ENTRY, *four[i]);
        tgx_wr32(p + TGX_AUTH_OFF_FLAGS, TGX_AUTH_PWD_SET);
        const uint8_t* l = r.newLocal.password;
        const uint8_t* m = r.newRemote.password;
        TraceLog("SetAuthPasswd: clLen=%x clTyp=%x crLen=%x crTyp=%x "
                 "clPasswd=%x.%x.%x.%x.%x.%x.%x.%x crPasswd=%x.%x.%x.%x.%x.%x.%x.%x\n",
                 r.newLocal.length, r.newLocal.type, r.newRemote.length, r.newRemote.type, l[0],
                 l[1], l[2], l[3], l[4], l[5], l[6], l[7], m[0], m[1], m[2], m[3], m[4], m[5], m[6],
                 m[7]);
    }
    return kStsOk;
}

// What a successful command hands back.
void deliver_command(const uint8_t* p, uint32_t cmd, const AuthCmdArgs& a) {
    if (cmd == kCmdGetConfig) {
        decode_settings(p + TGX_AUTH_OFF_SETTINGS, a.configOut);
        const AuthConfigRecord& c = *a.configOut;
        TraceLog("GetAuthConfig OK: timeOut=%x authMode=%x bidirect=%x authPrior=%x %x %x %x "
                 "hashPrior=%x %x %x %x grpPrior=%x %x %x %x %x %x rauthTimer=%x\n",
                 c.timeOut, c.authMode, c.flags & TGX_AUTH_BIDIRECTIONAL, c.authPrior[0],
                 c.authPrior[1], c.authPrior[2], c.authPrior[3], c.hashPrior[0], c.hashPrior[1],
                 c.hashPrior[2], c.hashPrior[3], c.grpPrior[0], c.grpPrior[1], c.grpPrior[2],
                 c.grpPrior[3], c.grpPrior[4], c.grpPrior[5], c.rauthTimer);
    } else if (cmd == kCmdGetPasswords) {
        TraceLog("executeAuthCmd: Execute IO Control : GET_AUTH_PASSWD\n");
        AuthPasswordRecord& r = *a.pwdsOut;
        AuthPasswordEntry* four[4] = {&r.currentLocal, &r.currentRemote, &r.newLocal, &r.newRemote};
        for (int i = 0; i < 4; ++i)
            type_only(four[i], tgx_rd16(p + TGX_AUTH_OFF_PWDS + i * TGX_AUTH_PWD_ENTRY + 2));
    }
}

// One V1 request to the driver (board already checked by the export).
uint32_t executeAuthCmd(uint32_t board, uint32_t cmd, const AuthCmdArgs& a) {
    if (!tgx_board_ok(board)) return kStsBadBoard;
    if (is_port_driver(board)) return kStsNotSupported;
    TraceLog("executeAuthCmd: Allocate Buffer, size = %d\n", (int)TGX_SIZE_AUTH);
    const uint32_t code = control_code_of(cmd);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_AUTH, code, TGX_SIG_ZT);
    if (!env) {
        TraceLog("executeAuthCmd: Out of resources\n");
        return kStsNoResources;
    }
    uint32_t status = fill_command(env.payload(), cmd, a);
    if (status != kStsOk) return status;
    TraceLog("executeAuthCmd: Execute IO Control, iocmd=%xh\n", code);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_AUTH_PASSWD Failed Error=0x%x\n", plat_last_error());
        return kStsAuthFailed;
    }
    TraceLog("executeAuthCmd: Execute IO Control returned success\n");
    const uint32_t rc = tgx_env_rc(env);
    if (rc == 0)
        deliver_command(env.payload(), cmd, a);
    else
        status = map_v1_rc(rc, cmd);
    TraceLog("executeAuthCmd: Exit\n");
    return status;
}

// ---- registry copy ----

void wwn_key_name(const uint8_t* w, char out[17]) {
    snprintf(out, 17, "%02x%02x%02x%02x%02x%02x%02x%02x", w[0], w[1], w[2], w[3], w[4], w[5], w[6],
             w[7]);
}

// 16 hex digits as a WWN; false for any other key name.
bool parse_wwn_key(const char* name, uint8_t* w) {
    if (strlen(name) != 16) return false;
    for (int i = 0; i < 8; ++i) {
        unsigned v = 0;
        char pair[3] = {name[2 * i], name[2 * i + 1], 0};
        char* end = nullptr;
        v = (unsigned)strtoul(pair, &end, 16);
        if (end != pair + 2) return false;
        w[i] = (uint8_t)v;
    }
    return true;
}

// Open registry keys, closed together (innermost first).
struct KeyChain {
    PlatRegKey k[6] = {};
    int n = 0;
    KeyChain() = default;
    KeyChain(const KeyChain&) = delete;
    KeyChain& operator=(const KeyChain&) = delete;
    ~KeyChain() {
        while (n > 0)
            plat_reg_close_key(k[--n]);
    }
    PlatRegKey last() const { return k[n - 1]; }
};

bool port_wwn(uint32_t board, uint8_t* out) {
    HBA_PortAttributes attrs;
    if (GetAdapterPortAttributes(board, 0, &attrs) != 0) return false;
    memcpy(out, attrs.PortWWN, 8);
    return true;
}

void set_value(PlatRegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
    int32_t rs = plat_reg_set_value(key, name, type, data, size);
    if (rs != PLAT_REG_OK) TraceLog("setRegistryParam: SetValue %s failed %x\n", name, rs);
}
void set_dword(PlatRegKey key, const char* name, uint32_t v) {
    uint8_t b[4];
    tgx_wr32(b, v);
    set_value(key, name, PLAT_REG_DWORD, b, 4);
}

void write_config_values(PlatRegKey key, const AuthConfigRecord& c) {
    const uint32_t flag = c.timeOut | ((uint32_t)c.authMode << 16) |
                          ((uint32_t)(c.flags & TGX_AUTH_BIDIRECTIONAL) << 24);
    set_dword(key, "AuthFlag", flag);
    set_value(key, "AuthTypePriority", PLAT_REG_BINARY, c.authPrior, 4);
    set_value(key, "DHGrpPriority", PLAT_REG_BINARY, c.grpPrior, 8);
    set_value(key, "HashPriority", PLAT_REG_BINARY, c.hashPrior, 4);
    set_dword(key, "ReauthTimer", c.rauthTimer);
}

void write_password_values(PlatRegKey key, const AuthPasswordRecord& r) {
    if (r.newLocal.type != TGX_AUTH_PWD_NONE)
        set_value(key, "LocalPswd", PLAT_REG_BINARY, r.newLocal.password, r.newLocal.length);
    set_dword(key, "LocalPswdType", r.newLocal.type);
    if (r.newRemote.type != TGX_AUTH_PWD_NONE)
        set_value(key, "RemotePswd", PLAT_REG_BINARY, r.newRemote.password, r.newRemote.length);
    set_dword(key, "RemotePswdType", r.newRemote.type);
}

// Creates the key chain of one pair and writes the values of type.
uint32_t createRegistryKey(uint32_t board, uint32_t type, const uint8_t* local,
                           const uint8_t* remote, const AuthConfigRecord* config,
                           const AuthPasswordRecord* passwords) {
    uint8_t hba[8];
    if (!port_wwn(board, hba)) {
        TraceLog("createRegistryKey: GetAdapterPortAttributes error %x\n", kStsFailed);
        return kStsFailed;
    }
    char names[3][17];
    wwn_key_name(hba, names[0]);
    wwn_key_name(local, names[1]);
    wwn_key_name(remote, names[2]);
    struct Step {
        const char* name;
        const char* failLine;
        uint32_t status;
    };
    const Step steps[] = {
        {kParametersKey, "createRegistryKey: Create %s parameter key. status = %xh\n", 0x800F},
        {kAuthKey, "createRegistryKey: Create %s auth key. status = %xh\n", 0x8010},
        {names[0], "createRegistryKey: Create %s HBA wwpn key. status = %xh\n", 0x8020},
        {names[1], "createRegistryKey: Create %s port wwpn key. status = %xh\n", 0x8020},
        {names[2], "createRegistryKey: Create %s remote wwpn key. status = %xh\n", 0x8020},
    };
    KeyChain keys;
    int32_t rs = plat_reg_create_key(PLAT_HKLM, kServicePath, &keys.k[0]);
    if (rs != PLAT_REG_OK) {
        TraceLog("createRegistryKey: Create %s key. status = %xh\n", kServicePath, rs);
        return 0x800E;
    }
    keys.n = 1;
    for (const Step& s : steps) {
        rs = plat_reg_create_subkey(keys.last(), s.name, &keys.k[keys.n]);
        if (rs != PLAT_REG_OK) {
            TraceLog(s.failLine, s.name, rs);
            return s.status;
        }
        ++keys.n;
    }
    if (type == kCopyConfig)
        write_config_values(keys.last(), *config);
    else
        write_password_values(keys.last(), *passwords);
    return kStsOk;
}

// Path of one pair's key in the copy.
void pair_key_path(const uint8_t* hba, const uint8_t* local, const uint8_t* remote, char* out,
                   size_t size) {
    char h[17], l[17], r[17];
    wwn_key_name(hba, h);
    wwn_key_name(local, l);
    wwn_key_name(remote, r);
    snprintf(out, size, "%s\\%s\\%s\\%s\\%s\\%s", kServicePath, kParametersKey, kAuthKey, h, l, r);
}

void delete_registry_pair(uint32_t board, const uint8_t* local, const uint8_t* remote) {
    uint8_t hba[8];
    if (!port_wwn(board, hba)) return;
    char path[256];
    pair_key_path(hba, local, remote, path, sizeof path);
    int32_t rs = plat_reg_delete_tree(PLAT_HKLM, path);
    if (rs != PLAT_REG_OK && rs != PLAT_REG_NOT_FOUND)
        TraceLog("TGX_DeleteAuthConfig: delete registry key failed %x\n", rs);
}

// Reads a value into out (cap bytes); 1 found, 0 absent, -1 unreadable. A
// longer value is cut to cap bytes when cut is set, otherwise unreadable.
int read_value(PlatRegKey key, const char* name, uint8_t* out, uint32_t cap, uint32_t* got,
               bool cut) {
    uint32_t type = 0, size = 0;
    int32_t rs = plat_reg_query_value(key, name, &type, nullptr, &size);
    if (rs == PLAT_REG_NOT_FOUND) return 0;
    if (rs != PLAT_REG_OK) return -1;
    if (size > cap && !cut) {
        TraceLog("TGX_EnableAUTH: value %s of %u bytes is longer than %u\n", name, size, cap);
        return -1;
    }
    std::vector<uint8_t> buf(size ? size : 1);
    rs = plat_reg_query_value(key, name, &type, buf.data(), &size);
    if (rs != PLAT_REG_OK) return -1;
    *got = size < cap ? size : cap;
    memcpy(out, buf.data(), *got);
    return 1;
}

int read_dword(PlatRegKey key, const char* name, uint32_t* v) {
    uint8_t b[4] = {};
    uint32_t got = 0;
    int r = read_value(key, name, b, 4, &got, true);
    if (r == 1) *v = tgx_rd32(b);
    return r;
}

// One pair of the copy: what was found of its configuration and passwords.
struct CopiedPair {
    AuthConfigRecord config = {};
    AuthPasswordRecord passwords = {};
    bool haveConfig = false;
    bool havePasswords = false;
};

// Reads the values of a remote key; false when one could not be read.
bool read_pair(PlatRegKey key, CopiedPair* out) {
    AuthConfigRecord& c = out->config;
    uint32_t flag = 0, got = 0;
    int found[9];
    found[0] = read_dword(key, "AuthFlag", &flag);
    found[1] = read_value(key, "AuthTypePriority", c.authPrior, 4, &got, true);
    found[2] = read_value(key, "HashPriority", c.hashPrior, 4, &got, true);
    found[3] = read_value(key, "DHGrpPriority", c.grpPrior, 8, &got, true);
    found[4] = read_dword(key, "ReauthTimer", &c.rauthTimer);
    c.timeOut = (uint16_t)flag;
    c.authMode = (uint8_t)(flag >> 16);
    c.flags = (uint8_t)((flag >> 24) & TGX_AUTH_BIDIRECTIONAL);

    AuthPasswordRecord& p = out->passwords;
    p.currentLocal.type = TGX_AUTH_PWD_NONE;
    p.currentRemote.type = TGX_AUTH_PWD_NONE;
    uint32_t localType = TGX_AUTH_PWD_NONE, remoteType = TGX_AUTH_PWD_NONE;
    uint32_t localLen = 0, remoteLen = 0;
    found[5] =
        read_value(key, "LocalPswd", p.newLocal.password, TGX_AUTH_PWD_MAX, &localLen, false);
    found[6] = read_dword(key, "LocalPswdType", &localType);
    found[7] =
        read_value(key, "RemotePswd", p.newRemote.password, TGX_AUTH_PWD_MAX, &remoteLen, false);
    found[8] = read_dword(key, "RemotePswdType", &remoteType);
    p.newLocal.length = (uint16_t)localLen;
    p.newLocal.type = (uint16_t)localType;
    p.newRemote.length = (uint16_t)remoteLen;
    p.newRemote.type = (uint16_t)remoteType;
    for (int i = 0; i < 9; ++i) {
        if (found[i] < 0) return false;
        if (found[i] == 1) (i < 5 ? out->haveConfig : out->havePasswords) = true;
    }
    return true;
}

// Opens a subkey by name; the key joins the chain.
bool open_into(KeyChain& keys, PlatRegKey parent, const char* name) {
    if (plat_reg_open_subkey(parent, name, &keys.k[keys.n]) != PLAT_REG_OK) return false;
    ++keys.n;
    return true;
}

// Name of subkey index of key; false at the end or on an error (*error set).
bool enum_key(PlatRegKey key, uint32_t index, char* name, uint32_t size, bool* error) {
    uint32_t n = size;
    int32_t rs = plat_reg_enum_key(key, index, name, &n);
    if (rs == PLAT_REG_NO_MORE_ITEMS) return false;
    if (rs != PLAT_REG_OK) {
        *error = true;
        return false;
    }
    return true;
}

using PairVisitor =
    std::function<bool(const uint8_t* local, const uint8_t* remote, const CopiedPair& pair)>;

// Visits every pair of the board's HBA key under the open AUTH key whose local
// WWN matches filter (all 0xFF: every one). False when a key or value could
// not be read or the visitor failed; the walk still visits the rest.
bool walk_copy(uint32_t board, PlatRegKey auth, const uint8_t* filter, const PairVisitor& visit,
               const char* who) {
    uint8_t hba[8];
    if (!port_wwn(board, hba)) return false;
    char hbaName[17];
    wwn_key_name(hba, hbaName);
    KeyChain keys;
    if (!open_into(keys, auth, hbaName)) {
        // Nothing kept for this port.
        TraceLog("%s: failed to open board wwpn key\n", who);
        return true;
    }
    bool ok = true, error = false;
    char localName[64], remoteName[64];
    for (uint32_t i = 0; enum_key(keys.k[0], i, localName, sizeof localName, &error); ++i) {
        uint8_t local[8];
        KeyChain lk;
        if (!parse_wwn_key(localName, local) || !open_into(lk, keys.k[0], localName)) {
            TraceLog("%s: failed to open port wwpn key\n", who);
            ok = false;
            continue;
        }
        if (memcmp(filter, kAllPairs, 8) != 0 && memcmp(filter, local, 8) != 0) continue;
        for (uint32_t j = 0; enum_key(lk.k[0], j, remoteName, sizeof remoteName, &error); ++j) {
            uint8_t remote[8];
            KeyChain rk;
            CopiedPair pair;
            if (!parse_wwn_key(remoteName, remote) || !open_into(rk, lk.k[0], remoteName) ||
                !read_pair(rk.k[0], &pair)) {
                TraceLog("%s: failed to open remote wwpn key\n", who);
                ok = false;
                continue;
            }
            memcpy(pair.config.localWwn, local, 8);
            memcpy(pair.config.remoteWwn, remote, 8);
            if (!visit(local, remote, pair)) ok = false;
        }
    }
    return ok && !error;
}

// Opens "qrlstor\Parameters\AUTH"; false (logged) when a key is missing.
bool open_auth_key(KeyChain& keys, const char* who) {
    if (plat_reg_open_key(PLAT_HKLM, kServicePath, &keys.k[0]) != PLAT_REG_OK) {
        TraceLog("%s: %s Key doesn't exist\n", who, kServicePath);
        return false;
    }
    keys.n = 1;
    if (!open_into(keys, keys.k[0], kParametersKey)) {
        TraceLog("%s: %s ParmKey doesn't exist\n", who, kServicePath);
        return false;
    }
    if (!open_into(keys, keys.k[1], kAuthKey)) {
        TraceLog("%s: %s AuthKey doesn't exist\n", who, kServicePath);
        return false;
    }
    return true;
}

// Replays one pair of the copy into the driver; the copy is not rewritten.
bool replay_pair(uint32_t board, const uint8_t* local, const uint8_t* remote,
                 const CopiedPair& pair) {
    AuthCmdArgs a;
    a.local = local;
    a.remote = remote;
    bool ok = true;
    if (pair.haveConfig) {
        AuthPasswordEntry none = {};
        none.type = TGX_AUTH_PWD_NONE;
        a.configIn = &pair.config;
        a.pwdInfo = &none;
        ok = executeAuthCmd(board, kCmdSetConfig, a) == kStsOk;
    }
    if (pair.havePasswords) {
        a.pwdsIn = &pair.passwords;
        ok = executeAuthCmd(board, kCmdSetPasswords, a) == kStsOk && ok;
    }
    return ok;
}

// The switch request; false when the device call failed.
bool send_switch(uint32_t board, uint32_t flag, uint32_t* rc) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_AUTH, TGX_IOCTL_AUTH_ENABLE, TGX_SIG_ZT);
    if (!env) return false;
    tgx_wr32(env.payload(), flag);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_AUTH_ENABLE flag=%x Failed Error=0x%x\n", flag, plat_last_error());
        return false;
    }
    *rc = tgx_env_rc(env);
    return true;
}

// A switch the driver refused: link down has its own status, the rest
// (already off included) is a failed request.
uint32_t switch_refused(uint32_t rc) {
    return rc == TGX_AUTH_RC_LINK_DOWN ? kStsLinkDown : kStsAuthFailed;
}

// ---- V2 ----

// The checks every V2 export makes first, in this order.
uint32_t v2_check(uint32_t board, bool haveRecord) {
    if (!tgx_board_ok(board)) return kStsBadBoard;
    const DrvInfo& d = tgx_entry(board)->drvInfo;
    if (d.featureList & TGX_FEATURE_FCOE) return kStsNotSupported;
    if (d.sliMode < kSli4) return kStsNotSupported;
    if (!(d.featureList & TGX_FEATURE_AUTH_V2_STORE)) return kStsNoV2Store;
    if (!haveRecord) return kStsOther;
    return kStsOk;
}

struct V2RcRow {
    uint32_t rc;
    uint32_t status;
};
// How to add a row: the driver's ReturnCode and the status of the V2 exports;
// codes without a row give kStsOther.
const V2RcRow kV2RcTable[] = {
    {TGX_AUTH_RC_INVALID_LOCAL, kStsInvalidEntityV2},
    {TGX_AUTH_RC_INVALID_REMOTE, kStsInvalidEntityV2},
    {TGX_AUTH_RC_NOT_FOUND, kStsInvalidEntityV2},
    {TGX_AUTH_RC_INVALID_OP, 0x8009},
    {TGX_AUTH_RC_NO_RESOURCES, kStsNoResources},
    {TGX_AUTH_RC_IN_PROGRESS, 0x800B},
    {TGX_AUTH_RC_NOT_CONFIGURED, kStsNotConfigured},
    {TGX_AUTH_RC_ALREADY_DISABLED, kStsAuthFailed},
    {TGX_AUTH_RC_SAME_PWD, 0x8011},
    {TGX_AUTH_RC_PWD_SHORT, kStsPwdTooLong},
    {TGX_AUTH_RC_MORE, kStsMore},
};

uint32_t map_v2_rc(uint32_t rc) {
    if (rc == 0) return kStsOk;
    for (const V2RcRow& row : kV2RcTable)
        if (row.rc == rc) return row.status;
    return kStsOther;
}

// Sends a V2 request; the status, with *rc the driver's ReturnCode.
uint32_t v2_send(uint32_t board, TgxEnvelope& env, uint32_t code, uint32_t* rc, uint32_t count) {
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("GetLastErorr:%x\n", plat_last_error());
        TraceLog("cmd:%x status:%x rc:%x rtnCnt:%d\n", code, kStsAuthFailed, 0u, 0);
        return kStsAuthFailed;
    }
    *rc = tgx_env_rc(env);
    const uint32_t status = map_v2_rc(*rc);
    TraceLog("cmd:%x status:%x rc:%x rtnCnt:%d\n", code, status, *rc, (int)count);
    return status;
}

// One configuration list request of room entries (at least one is sent);
// entries go out and come back through cfg. *total: the driver's count
// (list operation) or room.
uint32_t list_request(uint32_t board, uint8_t op, uint8_t listFlag, AuthConfigRecord* cfg,
                      uint32_t room, uint32_t* total) {
    const uint32_t slots = room ? room : 1;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_AUTH_LIST_BASE + TGX_AUTH_CONFIG_BYTES * slots,
                                    TGX_IOCTL_AUTH_CONFIG_V2, TGX_SIG_ZT);
    if (!env) return kStsNoResources;
    uint8_t* p = env.payload();
    p[TGX_AUTHL_OFF_OP] = op;
    p[TGX_AUTHL_OFF_LISTFLAG] = listFlag;
    tgx_wr32(p + TGX_AUTHL_OFF_COUNT, room);
    for (uint32_t i = 0; i < room; ++i)
        encode_config(p + TGX_AUTHL_OFF_ENTRIES + i * TGX_AUTH_CONFIG_BYTES, cfg[i]);
    uint32_t rc = 0;
    const uint32_t status = v2_send(board, env, TGX_IOCTL_AUTH_CONFIG_V2, &rc, room);
    if (status != kStsOk && status != kStsMore) return status;
    *total = listFlag ? tgx_rd32(p + TGX_AUTHL_OFF_COUNT) : room;
    // Entries the caller's room and the reply hold, whatever the count says.
    const uint32_t n = *total < room ? *total : room;
    if (op == TGX_AUTHL_OP_GET)
        for (uint32_t i = 0; i < n; ++i)
            decode_config(p + TGX_AUTHL_OFF_ENTRIES + i * TGX_AUTH_CONFIG_BYTES, &cfg[i]);
    return status;
}

// The V2 password request: set sends pw, get fills it (bytes included; the
// exports pass on only the types).
uint32_t password_request(uint32_t board, bool set, const uint8_t* local, const uint8_t* remote,
                          AUTH_PASSWD* pw) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_AUTH_PWD_V2, TGX_IOCTL_AUTH_PASSWD_V2, TGX_SIG_ZT);
    if (!env) return kStsNoResources;
    uint8_t* p = env.payload();
    p[TGX_AUTHP_OFF_SET] = set ? 1 : 0;
    tgx_wr32(p + TGX_AUTHP_OFF_ONE, 1);
    memcpy(p + TGX_AUTHP_OFF_LOCAL, local, 8);
    memcpy(p + TGX_AUTHP_OFF_REMOTE, remote, 8);
    if (set) {
        encode_password(p + TGX_AUTHP_OFF_LOCALPWD, pw->local);
        encode_password(p + TGX_AUTHP_OFF_REMOTEPWD, pw->remote);
    }
    uint32_t rc = 0;
    const uint32_t status = v2_send(board, env, TGX_IOCTL_AUTH_PASSWD_V2, &rc, 1);
    if (status != kStsOk || set) return status;
    const uint32_t at[2] = {TGX_AUTHP_OFF_LOCALPWD, TGX_AUTHP_OFF_REMOTEPWD};
    AuthPasswordEntry* out[2] = {&pw->local, &pw->remote};
    for (int i = 0; i < 2; ++i) {
        const uint8_t* e = p + at[i];
        memset(out[i], 0, sizeof *out[i]);
        // The driver's length never reaches past the entry.
        uint16_t len = tgx_rd16(e);
        out[i]->length = len < TGX_AUTH_PWD_MAX ? len : (uint16_t)TGX_AUTH_PWD_MAX;
        out[i]->type = tgx_rd16(e + 2);
        memcpy(out[i]->password, e + 4, out[i]->length);
    }
    return kStsOk;
}

// ---- the adapter object ----

// One object request through the V2 mailbox: read (length bytes into data),
// write (length bytes from data: the rest of the object) or delete. *actual:
// bytes the adapter read or took; *end: a read reached the end of the object.
uint32_t object_request(uint32_t board, uint8_t op, uint32_t offset, uint8_t* data, uint32_t length,
                        uint32_t* actual, bool* end) {
    const uint32_t bytes = TGX_MBOX_BYTES + length;
    std::unique_ptr<uint32_t[]> buf(new (std::nothrow) uint32_t[bytes / 4]());
    if (!buf) return kStsFailed;
    uint8_t* mb = reinterpret_cast<uint8_t*>(buf.get());
    tgx_wr32(mb, (uint32_t)MBX_SLI_CONFIG << 8);
    tgx_wr32(mb + 4, SLI_CONFIG_EMBEDDED);
    tgx_wr32(mb + 8, SLI_CONFIG_PAYLOAD_LENGTH);
    uint8_t* sub = mb + SLI_SUB_OFFSET;
    const uint32_t descriptors = length ? 1 : 0;
    sub[SUB_OPCODE] = op;
    sub[SUB_SUBSYSTEM] = SLI_SUBSYSTEM_COMMON;
    tgx_wr32(sub + SUB_REQUEST_LENGTH, OBJ_REQUEST_LENGTH + SUB_DESC_SIZE * descriptors);
    tgx_wr32(sub + SUB_LENGTH, length | (op == SLI_OP_WRITE_OBJECT ? SUB_WRITE_LAST : 0));
    tgx_wr32(sub + SUB_OFFSET, offset);
    memcpy(sub + SUB_NAME, TGX_AUTH_OBJECT, sizeof TGX_AUTH_OBJECT);
    tgx_wr32(sub + SUB_DESC_COUNT, descriptors);
    if (descriptors) tgx_wr32(sub + SUB_DESCRIPTORS, length);
    if (op == SLI_OP_WRITE_OBJECT) memcpy(mb + TGX_MBOX_BYTES, data, length);
    const uint32_t st =
        TGX_IssueMboxWithRetryV2(board, buf.get(), bytes / 4, kObjectRetry, kObjectDelayMs);
    const uint8_t rspStatus = sub[SUB_STATUS];
    if (st == kStsOk && rspStatus == 0) {
        uint32_t got = tgx_rd32(sub + SUB_LENGTH) & SUB_LENGTH_MASK;
        if (got > length) got = length;
        *actual = got;
        if (op == SLI_OP_READ_OBJECT) {
            memcpy(data, mb + TGX_MBOX_BYTES, got);
            *end = (tgx_rd32(sub + SUB_OFFSET) & SUB_READ_EOF) != 0;
        }
        return kStsOk;
    }
    const uint16_t mbxStatus = tgx_rd16(mb + 2);
    if (st == kTsvMailboxStatus2) {
        TraceLog("status:%x mbxStatus:%x rspStatus:%x\n", st, mbxStatus, rspStatus);
        if (rspStatus == SLI_STATUS_FAILED && sub[SUB_ADDL_STATUS] == SLI_ADDL_NO_OBJECT)
            return kStsInvalidEntityV2;
    }
    return kStsFailed;
}

// Reads length bytes from offset, piece after piece while the adapter hands
// back less than asked, up to the end of the object; *got: bytes read.
uint32_t object_read(uint32_t board, uint32_t offset, uint8_t* data, uint32_t length,
                     uint32_t* got) {
    *got = 0;
    bool end = false;
    while (*got < length && !end) {
        uint32_t actual = 0;
        const uint32_t st = object_request(board, SLI_OP_READ_OBJECT, offset + *got, data + *got,
                                           length - *got, &actual, &end);
        if (st != kStsOk) return st;
        // Nothing read and no end reached: the read would never advance.
        if (actual == 0) break;
        *got += actual;
    }
    return kStsOk;
}

// Writes the whole object; the adapter may take it in several pieces.
uint32_t object_write(uint32_t board, uint8_t* data, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
        uint32_t actual = 0;
        const uint32_t st = object_request(board, SLI_OP_WRITE_OBJECT, done, data + done,
                                           length - done, &actual, nullptr);
        if (st != kStsOk) return st;
        if (actual == 0) return kStsFailed;
        done += actual;
    }
    return kStsOk;
}

// Offset of this board's slice in the object; false when the slice lies
// outside it (PCI functions 4-7).
bool slice_offset(uint32_t board, uint32_t* offset) {
    const uint32_t func = tgx_entry(board)->brdInfo.pciFunc;
    *offset = func * TGX_AUTH_SLICE_BYTES;
    return *offset + TGX_AUTH_SLICE_BYTES <= TGX_AUTH_OBJECT_BYTES;
}

// Entries of a slice worth examining: 0 when it holds no valid header.
uint32_t slice_entries(const uint8_t* s) {
    const uint32_t word = tgx_rd32(s + 4);
    if (tgx_rd32(s) != TGX_AUTH_SLICE_SIGNATURE || (word & 0xFFFF) != TGX_AUTH_SLICE_VERSION)
        return 0;
    const uint32_t n = word >> 16;
    return n < TGX_AUTH_SLICE_MAX_ENTRIES ? n : TGX_AUTH_SLICE_MAX_ENTRIES;
}

const uint8_t* slice_entry(const uint8_t* s, uint32_t i) {
    return s + TGX_AUTH_SLICE_HEADER + i * TGX_AUTH_SLICE_ENTRY;
}

// Reads this board's slice (zeros beyond what the adapter returned).
uint32_t read_slice(uint32_t board, std::vector<uint8_t>* slice) {
    uint32_t offset = 0;
    if (!slice_offset(board, &offset)) return kStsOther;
    slice->assign(TGX_AUTH_SLICE_BYTES, 0);
    uint32_t got = 0;
    return object_read(board, offset, slice->data(), TGX_AUTH_SLICE_BYTES, &got);
}

// One entry of a slice from a pair's configuration and passwords.
void build_entry(uint8_t* e, const AuthConfigRecord& c, const AUTH_PASSWD& pw) {
    encode_config(e, c);
    e[TGX_AUTHS_OFF_LTYPE] = (uint8_t)pw.local.type;
    e[TGX_AUTHS_OFF_LLEN] = (uint8_t)pw.local.length;
    e[TGX_AUTHS_OFF_RTYPE] = (uint8_t)pw.remote.type;
    e[TGX_AUTHS_OFF_RLEN] = (uint8_t)pw.remote.length;
    memcpy(e + TGX_AUTHS_OFF_LPWD, pw.local.password, pw.local.length);
    memcpy(e + TGX_AUTHS_OFF_RPWD, pw.remote.password, pw.remote.length);
}

// Every pair the driver has, in out (at most the slice's entries).
uint32_t list_all_pairs(uint32_t board, std::vector<AuthConfigRecord>* out) {
    uint32_t room = 1, total = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        out->assign(room, AuthConfigRecord{});
        memcpy((*out)[0].localWwn, kAllPairs, 8);
        const uint32_t st = list_request(board, TGX_AUTHL_OP_GET, 1, out->data(), room, &total);
        if (st == kStsOk) {
            out->resize(total < room ? total : room);
            return kStsOk;
        }
        if (st != kStsMore) return kStsOther;
        if (total > TGX_AUTH_SLICE_MAX_ENTRIES) {
            TraceLog("TGX_PersistAuthConfig: %u pairs, the slice holds %u\n", total,
                     TGX_AUTH_SLICE_MAX_ENTRIES);
            return kStsNoResources;
        }
        room = total;
    }
    return kStsOther;
}

// The first non-zero status of the entries handled, else 0.
uint32_t first_failure(const AuthConfigList* list, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (list->entries[i].status != kStsOk) return list->entries[i].status;
    return kStsOk;
}

uint32_t v2_room(const AuthConfigList* list) {
    return list->count < TGX_AUTH_V2_MAX_ENTRIES ? list->count : TGX_AUTH_V2_MAX_ENTRIES;
}

uint32_t get_from_flash(uint32_t board, const uint8_t* filter, AuthConfigList* list,
                        uint32_t room) {
    std::vector<uint8_t> slice;
    uint32_t st = read_slice(board, &slice);
    if (st != kStsOk) return st;
    const uint32_t held = slice_entries(slice.data());
    TraceLog("reqCnt:%x flashCnt:%x\n", room, held);
    uint32_t n = 0;
    st = kStsOk;
    for (uint32_t i = 0; i < held; ++i) {
        const uint8_t* e = slice_entry(slice.data(), i);
        if (memcmp(filter, kAllPairs, 8) != 0 && memcmp(filter, e, 8) != 0) continue;
        if (n == room) {
            st = kStsMore;
            break;
        }
        decode_config(e, &list->entries[n].config);
        list->entries[n++].status = kStsOk;
    }
    list->count = n;
    return st;
}

uint32_t get_from_driver_list(uint32_t board, const uint8_t* filter, AuthConfigList* list,
                              uint32_t room) {
    std::vector<AuthConfigRecord> cfg(room ? room : 1);
    memcpy(cfg[0].localWwn, filter, 8);
    uint32_t total = 0;
    const uint32_t st = list_request(board, TGX_AUTHL_OP_GET, 1, cfg.data(), room, &total);
    if (st != kStsOk && st != kStsMore) {
        list->count = 0;
        return st;
    }
    const uint32_t n = total < room ? total : room;
    for (uint32_t i = 0; i < n; ++i) {
        list->entries[i].config = cfg[i];
        list->entries[i].status = kStsOk;
    }
    list->count = n;
    return st;
}

uint32_t get_each_from_driver(uint32_t board, AuthConfigList* list, uint32_t room) {
    uint32_t read = 0;
    for (uint32_t i = 0; i < room; ++i) {
        AuthConfigListEntry& e = list->entries[i];
        uint32_t total = 0;
        e.status = list_request(board, TGX_AUTHL_OP_GET, 0, &e.config, 1, &total);
        read += e.status == kStsOk;
    }
    TraceLog("TGX_GetAuthConfigV2: %u of %u pairs read\n", read, room);
    list->count = room;
    return first_failure(list, room);
}

} // namespace

// ---- V1 exports ----

extern "C" TGX_EXPORT uint32_t TGX_GetAuthConfig(uint32_t board, AuthConfigRecord* config) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_GetAuthConfig, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (config == nullptr) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    AuthCmdArgs a;
    a.local = config->localWwn;
    a.remote = config->remoteWwn;
    a.configOut = config;
    const uint32_t st = executeAuthCmd(b, kCmdGetConfig, a);
    TraceLog("TGX_GetAuthConfig: status=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SetAuthConfig(uint32_t board, const AuthConfigRecord* config,
                                                 const AuthPasswordEntry* pwdInfo) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_SetAuthConfig, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (config == nullptr || pwdInfo == nullptr) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    AuthCmdArgs a;
    a.local = config->localWwn;
    a.remote = config->remoteWwn;
    a.configIn = config;
    a.pwdInfo = pwdInfo;
    uint32_t st = executeAuthCmd(b, kCmdSetConfig, a);
    if (st == kStsOk && !(board & TGX_AUTH_NO_REGISTRY))
        st = createRegistryKey(b, kCopyConfig, a.local, a.remote, config, nullptr);
    TraceLog("TGX_SetAuthConfig: status=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_DeleteAuthConfig(uint32_t board, const uint8_t* localWwn,
                                                    const uint8_t* remoteWwn,
                                                    const AuthPasswordEntry* pwdInfo) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_DeleteAuthConfig, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (localWwn == nullptr || remoteWwn == nullptr || pwdInfo == nullptr) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    AuthCmdArgs a;
    a.local = localWwn;
    a.remote = remoteWwn;
    a.pwdInfo = pwdInfo;
    const uint32_t st = executeAuthCmd(b, kCmdDeleteConfig, a);
    if (st == kStsOk) delete_registry_pair(b, localWwn, remoteWwn);
    TraceLog("TGX_DeleteAuthConfig: status=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_GetAuthPassword(uint32_t board, AuthPasswordRecord* record) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_GetAuthPasswd, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (record == nullptr) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    AuthCmdArgs a;
    a.local = record->localWwn;
    a.remote = record->remoteWwn;
    a.pwdsOut = record;
    return executeAuthCmd(b, kCmdGetPasswords, a);
}

extern "C" TGX_EXPORT uint32_t TGX_SetAuthPassword(uint32_t board,
                                                   const AuthPasswordRecord* record) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_SetAuthPasswd, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (record == nullptr) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    AuthCmdArgs a;
    a.local = record->localWwn;
    a.remote = record->remoteWwn;
    a.pwdsIn = record;
    uint32_t st = executeAuthCmd(b, kCmdSetPasswords, a);
    if (st == kStsOk && !(board & TGX_AUTH_NO_REGISTRY))
        st = createRegistryKey(b, kCopyPasswords, a.local, a.remote, nullptr, record);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_InitiateAuthentication(uint32_t board, const uint8_t* localWwn,
                                                          const uint8_t* remoteWwn) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    TraceLog("TGX_InitAuthentication, board=%d\n", (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (localWwn == nullptr || remoteWwn == nullptr) return kStsOther;
    AuthCmdArgs a;
    a.local = localWwn;
    a.remote = remoteWwn;
    return executeAuthCmd(b, kCmdStart, a);
}

extern "C" TGX_EXPORT uint32_t TGX_EnableAuthentication(uint32_t board) {
    TraceLog("TGX_EnableAuthentication, board=%d\n", (int)board);
    if (!tgx_board_ok(board)) return kStsFailed;
    TraceLog("TGX_EnableAuthentication: board=%x\n", board);
    KeyChain keys;
    const bool haveCopy = open_auth_key(keys, "TGX_EnableAuthentication");
    uint32_t rc = 0;
    if (!send_switch(board, TGX_AUTH_ENABLE_ON, &rc)) return kStsAuthFailed;
    if (rc != 0 && rc != TGX_AUTH_RC_ALREADY_ENABLED) {
        TraceLog("TGX_EnableAuthentication: returnCode=%x\n", rc);
        return switch_refused(rc);
    }
    if (haveCopy) {
        const PairVisitor replay = [&](const uint8_t* l, const uint8_t* r, const CopiedPair& p) {
            return replay_pair(board, l, r, p);
        };
        if (!walk_copy(board, keys.last(), kAllPairs, replay, "TGX_EnableAUTH"))
            return kStsAuthFailed;
    }
    return rc == TGX_AUTH_RC_ALREADY_ENABLED ? kStsAlreadyEnabled : kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_DisableAuthentication(uint32_t board) {
    TraceLog("TGX_DisableAuthentication, board=%d\n", (int)board);
    if (!tgx_board_ok(board)) return kStsFailed;
    TraceLog("TGX_DisableAuthentication: board=%x\n", board);
    uint32_t rc = 0;
    if (!send_switch(board, TGX_AUTH_ENABLE_OFF, &rc)) return kStsAuthFailed;
    if (rc == 0) return kStsOk;
    TraceLog("TGX_DisableAuthentication: returnCode=%x\n", rc);
    return switch_refused(rc);
}

extern "C" TGX_EXPORT uint32_t TGX_GetAuthConfigList(uint32_t board, const uint8_t* filter,
                                                     AuthConfigList* list) {
    TraceLog("TGX_GetAuthConfigList: board=%x\n", board);
    if (!tgx_board_ok(board)) {
        TraceLog("TGX_GetAuthConfigList: Invalid Board No\n");
        return kStsBadBoard;
    }
    if (filter == nullptr || list == nullptr) return kStsOther;
    if (is_sli4(board)) return kStsNotSupported;
    const uint32_t room = list->count;
    list->count = 0;
    KeyChain keys;
    if (!open_auth_key(keys, "  getConfigAuthFromRegistry")) return kStsOk;
    uint32_t n = 0;
    bool more = false;
    const PairVisitor add = [&](const uint8_t*, const uint8_t* r, const CopiedPair& p) {
        TraceLog("getConfigAuthFromRegistry: remoteWWPN=%x\n", tgx_rd32(r + 4));
        if (n == room) {
            more = true;
            return true;
        }
        list->entries[n].config = p.config;
        list->entries[n++].status = kStsOk;
        return true;
    };
    const bool ok = walk_copy(board, keys.last(), filter, add, "  getConfigAuthFromRegistry");
    list->count = n;
    if (!ok) return kStsAuthFailed;
    return more ? kStsMore : kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetAuthStatus(uint32_t board, AuthStatusRecord* status) {
    if (status == nullptr) return kStsOther;
    const uint8_t* w = status->localWwn;
    TraceLog("TGX_GetAuthStatus: board=%x wwpn=%x %x %x %x %x %x %x %x\n", board, WWN_ARGS(w));
    if (!tgx_board_ok(board)) {
        TraceLog("TGX_GetAuthStatus: Invalid Board No\n");
        return kStsBadBoard;
    }
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_AUTH, TGX_IOCTL_AUTH_STATUS, TGX_SIG_ZT);
    if (!env) return kStsNoResources;
    uint8_t* p = env.payload();
    memcpy(p + TGX_AUTH_OFF_LOCAL, status->localWwn, 8);
    memcpy(p + TGX_AUTH_OFF_REMOTE, status->remoteWwn, 8);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_ AUTH_STATUS Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    switch (tgx_env_rc(env)) {
    case 0:
        memcpy(status->state, p + TGX_AUTH_ST_OFF_STATE, TGX_AUTH_ST_STATE_BYTES);
        status->flags = (uint8_t)((status->flags & ~3u) | (p[TGX_AUTH_ST_OFF_FLAGS] & 3u));
        status->word24 = tgx_rd32(p + TGX_AUTH_ST_OFF_W24);
        status->word28 = tgx_rd32(p + TGX_AUTH_ST_OFF_W28);
        return kStsOk;
    case TGX_AUTH_RC_INVALID_LOCAL:
        TraceLog("TGX_GetAuthStatus: Invalid Local Entity\n");
        return kStsNotFound;
    case TGX_AUTH_RC_INVALID_REMOTE:
        TraceLog("TGX_GetAuthStatus: Invalid Remote Entity\n");
        return kStsNotFound;
    case TGX_AUTH_RC_NOT_FOUND:
        TraceLog("TGX_GetAuthStatus: Entity Not Found\n");
        return kStsNotFound;
    case TGX_AUTH_RC_ALREADY_DISABLED:
        TraceLog("TGX_GetAuthStatus: Auth Already Disabled\n");
        return kStsAuthFailed;
    case TGX_AUTH_RC_LINK_DOWN:
        TraceLog("TGX_GetAuthStatus: Link Down\n");
        return kStsLinkDown;
    default:
        TraceLog("TGX_GetAuthStatus: Default Error=%x\n", tgx_env_rc(env));
        return kStsOther;
    }
}

// ---- V2 exports ----

extern "C" TGX_EXPORT uint32_t TGX_GetAuthConfigV2(uint32_t board, uint32_t source,
                                                   const uint8_t* filter, AuthConfigList* list) {
    const uint8_t zero[8] = {};
    const uint8_t* w = filter ? filter : zero;
    const uint32_t func = tgx_board_ok(board) ? tgx_entry(board)->brdInfo.pciFunc : 0;
    TraceLog("TGX_GetAuthConfigV2: board:%x source:%d physfunc:%x wwpn:" WWN_FMT "\n", board,
             (int)source, func, WWN_ARGS(w));
    uint32_t st = v2_check(board, list != nullptr);
    if (st == kStsOk) {
        const uint32_t room = v2_room(list);
        if (source != TGX_AUTH_SOURCE_DRIVER)
            st = get_from_flash(board, filter ? filter : kAllPairs, list, room);
        else if (filter != nullptr)
            st = get_from_driver_list(board, filter, list, room);
        else
            st = get_each_from_driver(board, list, room);
    }
    TraceLog("TGX_GetAuthConfigV2: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SetAuthConfigV2(uint32_t board, AuthConfigList* list) {
    TraceLog("TGX_SetAuthConfigV2: board:%x \n", board);
    uint32_t st = v2_check(board, list != nullptr);
    if (st == kStsOk) {
        const uint32_t n = v2_room(list);
        for (uint32_t i = 0; i < n; ++i) {
            AuthConfigListEntry& e = list->entries[i];
            AUTH_PASSWD pw;
            e.status = password_request(board, false, e.config.localWwn, e.config.remoteWwn, &pw);
            // A pair the driver does not know has no password either.
            if (e.status == kStsInvalidEntityV2 ||
                (e.status == kStsOk && pw.local.type == TGX_AUTH_PWD_NONE &&
                 pw.remote.type == TGX_AUTH_PWD_NONE)) {
                e.status = kStsNoPassword;
                continue;
            }
            if (e.status != kStsOk) continue;
            uint32_t total = 0;
            e.status = list_request(board, TGX_AUTHL_OP_SET, 0, &e.config, 1, &total);
        }
        st = first_failure(list, n);
    }
    TraceLog("TGX_SetAuthConfigV2: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_DeleteAuthConfigV2(uint32_t board, AuthConfigList* list,
                                                      uint32_t flag) {
    TraceLog("TGX_DeleteAuthConfigV2: board:%x pList:%x flag:%x\n", board,
             (uint32_t)(uintptr_t)list, flag);
    uint32_t st = v2_check(board, flag != 0 || list != nullptr);
    uint32_t total = 0;
    if (st == kStsOk && flag != 0) {
        AuthConfigRecord none = {};
        st = list_request(board, TGX_AUTHL_OP_DELETE_ALL, 0, &none, 0, &total);
    } else if (st == kStsOk) {
        const uint32_t n = v2_room(list);
        for (uint32_t i = 0; i < n; ++i) {
            AuthConfigListEntry& e = list->entries[i];
            e.status = list_request(board, TGX_AUTHL_OP_DELETE, 0, &e.config, 1, &total);
        }
        st = first_failure(list, n);
    }
    TraceLog("TGX_DeleteAuthConfigV2: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_DeleteAuthConfigObject(uint32_t board) {
    TraceLog("TGX_DeleteAuthConfigObject: board:%x\n", board);
    uint32_t st = v2_check(board, true);
    uint32_t got = 0;
    if (st == kStsOk)
        st = object_request(board, SLI_OP_DELETE_OBJECT, 0, nullptr, 0, &got, nullptr);
    TraceLog("TGX_DeleteAuthConfigObject: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_GetAuthPasswordV2(uint32_t board, AuthPasswordRecordV2* record,
                                                     uint32_t source) {
    TraceLog("TGX_GetAuthPasswordV2: board:%x pd:%x source:%x\n", board,
             (uint32_t)(uintptr_t)record, source);
    uint32_t st = v2_check(board, record != nullptr);
    uint16_t localType = TGX_AUTH_PWD_NONE, remoteType = TGX_AUTH_PWD_NONE;
    if (st == kStsOk && source != TGX_AUTH_SOURCE_DRIVER) {
        std::vector<uint8_t> slice;
        st = read_slice(board, &slice);
        const uint32_t held = st == kStsOk ? slice_entries(slice.data()) : 0;
        uint32_t i = 0;
        for (; i < held; ++i)
            if (memcmp(slice_entry(slice.data(), i), record->localWwn, 16) == 0) break;
        if (st == kStsOk && i == held) st = kStsInvalidEntityV2;
        if (st == kStsOk) {
            localType = slice_entry(slice.data(), i)[TGX_AUTHS_OFF_LTYPE];
            remoteType = slice_entry(slice.data(), i)[TGX_AUTHS_OFF_RTYPE];
        }
    } else if (st == kStsOk) {
        AUTH_PASSWD pw;
        st = password_request(board, false, record->localWwn, record->remoteWwn, &pw);
        if (st == kStsOk && pw.local.type == TGX_AUTH_PWD_NONE &&
            pw.remote.type == TGX_AUTH_PWD_NONE)
            st = kStsNotConfigured;
        localType = pw.local.type;
        remoteType = pw.remote.type;
    }
    if (st == kStsOk) {
        type_only(&record->passwd.local, localType);
        type_only(&record->passwd.remote, remoteType);
    }
    TraceLog("TGX_GetAuthPasswordV2: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SetAuthPasswordV2(uint32_t board,
                                                     const AuthPasswordRecordV2* record) {
    TraceLog("TGX_SetAuthPasswordV2: board:%x\n", board);
    uint32_t st = v2_check(board, record != nullptr);
    if (st == kStsOk && (too_long(record->passwd.local) || too_long(record->passwd.remote))) {
        TraceLog("TGX_SetAuthPasswordV2: password length %d/%d above %d\n",
                 record->passwd.local.length, record->passwd.remote.length, (int)TGX_AUTH_PWD_MAX);
        st = kStsPwdTooLong;
    }
    if (st == kStsOk) {
        AUTH_PASSWD pw = record->passwd;
        st = password_request(board, true, record->localWwn, record->remoteWwn, &pw);
    }
    TraceLog("TGX_SetAuthPasswordV2: status:%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_PersistAuthConfig(uint32_t board) {
    const uint32_t func = tgx_board_ok(board) ? tgx_entry(board)->brdInfo.pciFunc : 0;
    TraceLog("TGX_PersistAuthConfig: board:%x physfunc:%x\n", board, func);
    uint32_t st = v2_check(board, true);
    uint32_t offset = 0;
    if (st == kStsOk && !slice_offset(board, &offset)) {
        TraceLog("TGX_PersistAuthConfig: slice of function %x lies outside the object\n", func);
        st = kStsOther;
    }
    std::vector<AuthConfigRecord> pairs;
    if (st == kStsOk) st = list_all_pairs(board, &pairs);
    std::vector<uint8_t> object(TGX_AUTH_OBJECT_BYTES, 0);
    uint32_t got = 0;
    if (st == kStsOk) {
        st = object_read(board, 0, object.data(), TGX_AUTH_OBJECT_BYTES, &got);
        // No object yet: this write makes it.
        if (st == kStsInvalidEntityV2) st = kStsOk;
    }
    if (st == kStsOk) {
        uint8_t* slice = object.data() + offset;
        memset(slice, 0, TGX_AUTH_SLICE_BYTES);
        tgx_wr32(slice, TGX_AUTH_SLICE_SIGNATURE);
        tgx_wr32(slice + 4, ((uint32_t)pairs.size() << 16) + TGX_AUTH_SLICE_VERSION);
        for (size_t i = 0; i < pairs.size() && st == kStsOk; ++i) {
            AUTH_PASSWD pw;
            st = password_request(board, false, pairs[i].localWwn, pairs[i].remoteWwn, &pw);
            if (st == kStsOk)
                build_entry(slice + TGX_AUTH_SLICE_HEADER + i * TGX_AUTH_SLICE_ENTRY, pairs[i], pw);
        }
        TraceLog("driverCnt:%x portoffset:%x\n", (uint32_t)pairs.size(), offset);
    }
    if (st == kStsOk) st = object_write(board, object.data(), TGX_AUTH_OBJECT_BYTES);
    TraceLog("TGX_PersistAuthConfig: status:%x\n", st);
    return st;
}
