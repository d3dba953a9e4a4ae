// Authentication configuration, V1 (boards below SLI mode 4): per pair of a
// local and a remote port WWN the driver keeps a configuration and two
// passwords; the library keeps a copy of every setting in the registry, which
// switching authentication on replays into the driver. Passwords are opaque
// bytes; no export ever hands their bytes back. The V2 exports are in
// auth_v2.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "libtgx/auth_wire.h"

using namespace tgx_auth;

namespace {

constexpr uint32_t kMismatchDelayMs = 3000;

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
    tgx_wwn_hex(hba, names[0], sizeof names[0]);
    tgx_wwn_hex(local, names[1], sizeof names[1]);
    tgx_wwn_hex(remote, names[2], sizeof names[2]);
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
    tgx_wwn_hex(hba, h, sizeof h);
    tgx_wwn_hex(local, l, sizeof l);
    tgx_wwn_hex(remote, r, sizeof r);
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
// A name too long for the buffer is no WWN: it comes back empty, with *error
// set, and the walk goes on to the keys after it.
bool enum_key(PlatRegKey key, uint32_t index, char* name, uint32_t size, bool* error) {
    uint32_t n = size;
    int32_t rs = plat_reg_enum_key(key, index, name, &n);
    if (rs == PLAT_REG_NO_MORE_ITEMS) return false;
    if (rs == PLAT_REG_MORE_DATA) {
        *error = true;
        name[0] = '\0';
        return true;
    }
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
    tgx_wwn_hex(hba, hbaName, sizeof hbaName);
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

// Checks of the V1 exports that name a pair: the board (its flag bits already
// masked off) is logged under name and checked, then the arguments, then
// SLI-4 boards, which V1 requests do not serve.
uint32_t v1_check(uint32_t b, const char* name, bool argsOk) {
    TraceLog("%s, board=%d\n", name, (int)b);
    if (!tgx_board_ok(b)) return kStsFailed;
    if (!argsOk) return kStsOther;
    if (is_sli4(b)) return kStsNotSupported;
    return kStsOk;
}

} // namespace

// ---- V1 exports ----

extern "C" TGX_EXPORT uint32_t TGX_GetAuthConfig(uint32_t board, AuthConfigRecord* config) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    const uint32_t chk = v1_check(b, "TGX_GetAuthConfig", config != nullptr);
    if (chk != kStsOk) return chk;
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
    const uint32_t chk = v1_check(b, "TGX_SetAuthConfig", config != nullptr && pwdInfo != nullptr);
    if (chk != kStsOk) return chk;
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
    const uint32_t chk =
        v1_check(b, "TGX_DeleteAuthConfig",
                 localWwn != nullptr && remoteWwn != nullptr && pwdInfo != nullptr);
    if (chk != kStsOk) return chk;
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
    const uint32_t chk = v1_check(b, "TGX_GetAuthPasswd", record != nullptr);
    if (chk != kStsOk) return chk;
    AuthCmdArgs a;
    a.local = record->localWwn;
    a.remote = record->remoteWwn;
    a.pwdsOut = record;
    return executeAuthCmd(b, kCmdGetPasswords, a);
}

extern "C" TGX_EXPORT uint32_t TGX_SetAuthPassword(uint32_t board,
                                                   const AuthPasswordRecord* record) {
    const uint32_t b = board & TGX_AUTH_BOARD_MASK;
    const uint32_t chk = v1_check(b, "TGX_SetAuthPasswd", record != nullptr);
    if (chk != kStsOk) return chk;
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
    TraceLog("TGX_GetAuthStatus: board=%x wwpn=%x %x %x %x %x %x %x %x\n", board, AUTH_WWN_ARGS(w));
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
