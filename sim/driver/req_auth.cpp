// Authentication requests of the simulated driver: per (local, remote) pair a
// configuration and two passwords, starting an authentication, the switch, the
// pair's status, the V2 configuration list and the V2 passwords.
//
// The pairs of a function live in its "auth_pairs" blob, one fixed record
// each; the switch is the run-time key "auth_enabled". Both are the driver's
// memory: a server reboot drops them (reboot_rules.cpp). "auth_max_pairs"
// (default 64) bounds the table. Each ReturnCode comes from the state it names:
//   1 / 2   local WWN not this port's, remote WWN zero, all 0xFF or the local one
//   3       no such pair
//   4       an operation or flag the request does not define, a length above 128
//   5       the table is full
//   6       starting a pair whose authMode is 1 (authentication disabled)
//   7       the pair is authenticating (started, its status not yet read)
//   8       starting a pair without a local password
//   9       the authorising (current) password differs from the pair's
//   10 / 11 switching on when on, off when off; 11 also for start and status
//           while switched off
//   12      start, status or switching on while the link is down
//   13      starting a bidirectional pair without a remote password
//   14      both new passwords equal
//   15      a new password shorter than 8 bytes
//   16      a list with more pairs than the room sent
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/target_model.h"

namespace hbasim {

namespace {

const char kPairBlob[] = "auth_pairs";
const char kEnabledKey[] = "auth_enabled";
const uint32_t kDefaultMaxPairs = 64;
const uint32_t kMinPassword = 8;
const uint8_t kModeDisabled = 1;

// Record of one pair in the blob.
enum : uint32_t {
    AP_LOCAL = 0,
    AP_REMOTE = 8,
    AP_SETTINGS = 16,                                // 24 bytes
    AP_LPWD = AP_SETTINGS + TGX_AUTH_SETTINGS_BYTES, // entry of 132 bytes
    AP_RPWD = AP_LPWD + TGX_AUTH_PWD_ENTRY,          // entry of 132 bytes
    AP_STATE = AP_RPWD + TGX_AUTH_PWD_ENTRY,         // u32, PairState
    AP_DONE = AP_STATE + 4,                          // u32, authentications done
    AP_SIZE = AP_DONE + 4,
};
// Settings bytes the driver reads: authMode and the bidirectional bit.
const uint32_t kSetMode = 2, kSetFlags = 3;
const uint32_t kSetAuthPrior = 4, kSetHashPrior = 8, kSetGrpPrior = 12, kSetRauth = 20;

enum PairState : uint32_t { PAIR_IDLE = 0, PAIR_RUNNING = 1, PAIR_DONE = 2 };

uint16_t rd16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

bool all_bytes(const uint8_t* w, uint8_t v) {
    for (int i = 0; i < 8; ++i)
        if (w[i] != v) return false;
    return true;
}

size_t pair_count(const Function& f) {
    auto it = f.blobs.find(kPairBlob);
    return it == f.blobs.end() ? 0 : it->second.size() / AP_SIZE;
}

uint8_t* pair_at(Function& f, size_t i) {
    return f.blobs[kPairBlob].data() + i * AP_SIZE;
}
const uint8_t* pair_at(const Function& f, size_t i) {
    return f.blobs.at(kPairBlob).data() + i * AP_SIZE;
}

long find_pair(const Function& f, const uint8_t* local, const uint8_t* remote) {
    for (size_t i = 0; i < pair_count(f); ++i) {
        const uint8_t* p = pair_at(f, i);
        if (memcmp(p + AP_LOCAL, local, 8) == 0 && memcmp(p + AP_REMOTE, remote, 8) == 0)
            return (long)i;
    }
    return -1;
}

// A new pair with no settings and no passwords; -1 when the table is full.
long add_pair(Function& f, const uint8_t* local, const uint8_t* remote) {
    if (pair_count(f) >= f.attrs.get_u("auth_max_pairs", kDefaultMaxPairs)) return -1;
    uint8_t rec[AP_SIZE] = {};
    memcpy(rec + AP_LOCAL, local, 8);
    memcpy(rec + AP_REMOTE, remote, 8);
    rec[AP_LPWD + 2] = TGX_AUTH_PWD_TYPE_NONE;
    rec[AP_RPWD + 2] = TGX_AUTH_PWD_TYPE_NONE;
    Bytes& b = f.blobs[kPairBlob];
    b.insert(b.end(), rec, rec + AP_SIZE);
    return (long)(pair_count(f) - 1);
}

void remove_pair(Function& f, size_t i) {
    Bytes& b = f.blobs[kPairBlob];
    b.erase(b.begin() + (long)(i * AP_SIZE), b.begin() + (long)((i + 1) * AP_SIZE));
    if (b.empty()) f.blobs.erase(kPairBlob);
}

bool any_running(const Function& f) {
    for (size_t i = 0; i < pair_count(f); ++i)
        if (drv_rd32(pair_at(f, i) + AP_STATE) == PAIR_RUNNING) return true;
    return false;
}

bool enabled(const Function& f) {
    return f.attrs.get(kEnabledKey) == "1";
}
bool link_up(const Function& f) {
    return f.attrs.get("link") == "up";
}

// 1 or 2 when the WWNs cannot name a pair of this port, else 0.
uint32_t check_entities(const Function& f, const uint8_t* local, const uint8_t* remote) {
    uint8_t port[8];
    if (!port_wwpn_of(f, 0, port) || memcmp(local, port, 8) != 0) return TGX_AUTH_RC_INVALID_LOCAL;
    if (all_bytes(remote, 0) || all_bytes(remote, 0xFF) || memcmp(remote, local, 8) == 0)
        return TGX_AUTH_RC_INVALID_REMOTE;
    return 0;
}

bool has_password(const uint8_t* entry) {
    return rd16(entry + 2) != TGX_AUTH_PWD_TYPE_NONE;
}

// The authorising password matches the stored one: same length and bytes; a
// side that holds no password accepts anything.
bool authorised(const uint8_t* stored, const uint8_t* given) {
    if (!has_password(stored)) return true;
    const uint16_t len = rd16(stored);
    return rd16(given) == len && rd16(given + 2) != TGX_AUTH_PWD_TYPE_NONE &&
           memcmp(stored + 4, given + 4, len) == 0;
}

// Checks of the two new passwords of a set: 0, 4, 14 or 15.
uint32_t check_new_passwords(const uint8_t* local, const uint8_t* remote) {
    const uint8_t* both[2] = {local, remote};
    for (const uint8_t* e : both) {
        if (rd16(e) > TGX_AUTH_PWD_MAX) return TGX_AUTH_RC_INVALID_OP;
        if (has_password(e) && rd16(e) < kMinPassword) return TGX_AUTH_RC_PWD_SHORT;
    }
    if (has_password(local) && has_password(remote) && rd16(local) == rd16(remote) &&
        memcmp(local + 4, remote + 4, rd16(local)) == 0)
        return TGX_AUTH_RC_SAME_PWD;
    return 0;
}

// Stores a new password entry; type 3 leaves the side without a password.
void store_password(uint8_t* dst, const uint8_t* src) {
    memset(dst, 0, TGX_AUTH_PWD_ENTRY);
    if (!has_password(src)) {
        dst[2] = TGX_AUTH_PWD_TYPE_NONE;
        return;
    }
    memcpy(dst, src, 4 + rd16(src));
}

// Runs fn on the function behind r under its lock; fn returns the ReturnCode
// and sets *changed. A failed state access fails the device call.
uint32_t update(DrvRequest& r, const std::function<uint32_t(Function&, bool*)>& fn) {
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        bool changed = false;
        rc = fn(f, &changed);
        return changed;
    });
    return drv_answer(r, ok, rc);
}

// ---- V1 configuration ----

uint32_t config_get(const Function& f, uint8_t* p) {
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    memcpy(p + TGX_AUTH_OFF_SETTINGS, pair_at(f, (size_t)i) + AP_SETTINGS, TGX_AUTH_SETTINGS_BYTES);
    return 0;
}

uint32_t config_set(Function& f, const uint8_t* p, bool* changed) {
    const uint8_t* local = p + TGX_AUTH_OFF_LOCAL;
    const uint8_t* remote = p + TGX_AUTH_OFF_REMOTE;
    long i = find_pair(f, local, remote);
    if (i >= 0) {
        const uint8_t* rec = pair_at(f, (size_t)i);
        if (drv_rd32(rec + AP_STATE) == PAIR_RUNNING) return TGX_AUTH_RC_IN_PROGRESS;
        if (!authorised(rec + AP_LPWD, p + TGX_AUTH_OFF_CURPWD)) return TGX_AUTH_RC_PWD_MISMATCH;
    } else if ((i = add_pair(f, local, remote)) < 0) {
        return TGX_AUTH_RC_NO_RESOURCES;
    }
    memcpy(pair_at(f, (size_t)i) + AP_SETTINGS, p + TGX_AUTH_OFF_SETTINGS, TGX_AUTH_SETTINGS_BYTES);
    *changed = true;
    return 0;
}

uint32_t config_delete(Function& f, const uint8_t* p, bool* changed) {
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    const uint8_t* rec = pair_at(f, (size_t)i);
    if (drv_rd32(rec + AP_STATE) == PAIR_RUNNING) return TGX_AUTH_RC_IN_PROGRESS;
    if (!authorised(rec + AP_LPWD, p + TGX_AUTH_OFF_CURPWD)) return TGX_AUTH_RC_PWD_MISMATCH;
    remove_pair(f, (size_t)i);
    *changed = true;
    return 0;
}

// ---- V1 passwords: current local, current remote, new local, new remote ----

uint32_t passwords_get(const Function& f, uint8_t* p) {
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    const uint8_t* rec = pair_at(f, (size_t)i);
    uint8_t* e = p + TGX_AUTH_OFF_PWDS;
    for (int k = 0; k < 4; ++k)
        memcpy(e + k * TGX_AUTH_PWD_ENTRY, rec + (k % 2 ? AP_RPWD : AP_LPWD), TGX_AUTH_PWD_ENTRY);
    return 0;
}

uint32_t passwords_set(Function& f, const uint8_t* p, bool* changed) {
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    const uint8_t* e = p + TGX_AUTH_OFF_PWDS;
    for (int k = 0; k < 4; ++k)
        if (rd16(e + k * TGX_AUTH_PWD_ENTRY) > TGX_AUTH_PWD_MAX) return TGX_AUTH_RC_INVALID_OP;
    uint8_t* rec = pair_at(f, (size_t)i);
    if (drv_rd32(rec + AP_STATE) == PAIR_RUNNING) return TGX_AUTH_RC_IN_PROGRESS;
    if (!authorised(rec + AP_LPWD, e) || !authorised(rec + AP_RPWD, e + TGX_AUTH_PWD_ENTRY))
        return TGX_AUTH_RC_PWD_MISMATCH;
    const uint8_t* newLocal = e + 2 * TGX_AUTH_PWD_ENTRY;
    const uint8_t* newRemote = e + 3 * TGX_AUTH_PWD_ENTRY;
    if (uint32_t rc = check_new_passwords(newLocal, newRemote)) return rc;
    store_password(rec + AP_LPWD, newLocal);
    store_password(rec + AP_RPWD, newRemote);
    *changed = true;
    return 0;
}

uint32_t start_auth(Function& f, const uint8_t* p, bool* changed) {
    if (!enabled(f)) return TGX_AUTH_RC_ALREADY_DISABLED;
    if (!link_up(f)) return TGX_AUTH_RC_LINK_DOWN;
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    uint8_t* rec = pair_at(f, (size_t)i);
    const uint8_t* s = rec + AP_SETTINGS;
    if (s[kSetMode] == kModeDisabled) return TGX_AUTH_RC_NOT_ACTIVE;
    if (drv_rd32(rec + AP_STATE) == PAIR_RUNNING) return TGX_AUTH_RC_IN_PROGRESS;
    if (!has_password(rec + AP_LPWD)) return TGX_AUTH_RC_NOT_CONFIGURED;
    if ((s[kSetFlags] & 1) && !has_password(rec + AP_RPWD)) return TGX_AUTH_RC_REJECTED;
    drv_wr32(rec + AP_STATE, PAIR_RUNNING);
    *changed = true;
    return 0;
}

// Reading the status of a running authentication completes it.
uint32_t pair_status(Function& f, uint8_t* p, bool* changed) {
    if (!enabled(f)) return TGX_AUTH_RC_ALREADY_DISABLED;
    if (!link_up(f)) return TGX_AUTH_RC_LINK_DOWN;
    long i = find_pair(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE);
    if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
    uint8_t* rec = pair_at(f, (size_t)i);
    if (drv_rd32(rec + AP_STATE) == PAIR_RUNNING) {
        drv_wr32(rec + AP_STATE, PAIR_DONE);
        drv_wr32(rec + AP_DONE, drv_rd32(rec + AP_DONE) + 1);
        *changed = true;
    }
    const uint8_t* s = rec + AP_SETTINGS;
    uint8_t* st = p + TGX_AUTH_ST_OFF_STATE;
    st[0] = (uint8_t)drv_rd32(rec + AP_STATE);
    st[1] = s[kSetAuthPrior];
    st[2] = s[kSetHashPrior];
    st[3] = s[kSetGrpPrior];
    st[4] = s[kSetMode];
    p[TGX_AUTH_ST_OFF_FLAGS] = (uint8_t)((s[kSetFlags] & 1) | (has_password(rec + AP_RPWD) << 1));
    drv_wr32(p + TGX_AUTH_ST_OFF_W24, drv_rd32(s + kSetRauth));
    drv_wr32(p + TGX_AUTH_ST_OFF_W28, drv_rd32(rec + AP_DONE));
    return 0;
}

// ---- V2 configuration list ----

bool list_matches(const uint8_t* rec, const uint8_t* filter) {
    return all_bytes(filter, 0xFF) || memcmp(rec + AP_LOCAL, filter, 8) == 0;
}

uint32_t list_get(const Function& f, uint8_t* p, uint32_t room) {
    uint8_t* e = p + TGX_AUTHL_OFF_ENTRIES;
    if (p[TGX_AUTHL_OFF_LISTFLAG] == 0) {
        for (uint32_t k = 0; k < room; ++k) {
            uint8_t* cfg = e + k * TGX_AUTH_CONFIG_BYTES;
            long i = find_pair(f, cfg, cfg + 8);
            if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
            memcpy(cfg + 16, pair_at(f, (size_t)i) + AP_SETTINGS, TGX_AUTH_SETTINGS_BYTES);
        }
        return 0;
    }
    uint8_t filter[8];
    memcpy(filter, e, 8);
    uint32_t total = 0;
    for (size_t i = 0; i < pair_count(f); ++i) {
        const uint8_t* rec = pair_at(f, i);
        if (!list_matches(rec, filter)) continue;
        if (total < room) {
            uint8_t* cfg = e + total * TGX_AUTH_CONFIG_BYTES;
            memcpy(cfg, rec + AP_LOCAL, 16);
            memcpy(cfg + 16, rec + AP_SETTINGS, TGX_AUTH_SETTINGS_BYTES);
        }
        ++total;
    }
    drv_wr32(p + TGX_AUTHL_OFF_COUNT, total);
    return total > room ? TGX_AUTH_RC_MORE : 0;
}

uint32_t list_set(Function& f, const uint8_t* p, uint32_t room, bool* changed) {
    const uint8_t* e = p + TGX_AUTHL_OFF_ENTRIES;
    for (uint32_t k = 0; k < room; ++k) {
        const uint8_t* cfg = e + k * TGX_AUTH_CONFIG_BYTES;
        if (uint32_t rc = check_entities(f, cfg, cfg + 8)) return rc;
        long i = find_pair(f, cfg, cfg + 8);
        if (i >= 0 && drv_rd32(pair_at(f, (size_t)i) + AP_STATE) == PAIR_RUNNING)
            return TGX_AUTH_RC_IN_PROGRESS;
        if (i < 0 && (i = add_pair(f, cfg, cfg + 8)) < 0) return TGX_AUTH_RC_NO_RESOURCES;
        memcpy(pair_at(f, (size_t)i) + AP_SETTINGS, cfg + 16, TGX_AUTH_SETTINGS_BYTES);
        *changed = true;
    }
    return 0;
}

uint32_t list_delete(Function& f, const uint8_t* p, uint32_t room, bool* changed) {
    const uint8_t* e = p + TGX_AUTHL_OFF_ENTRIES;
    for (uint32_t k = 0; k < room; ++k) {
        const uint8_t* cfg = e + k * TGX_AUTH_CONFIG_BYTES;
        long i = find_pair(f, cfg, cfg + 8);
        if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
        if (drv_rd32(pair_at(f, (size_t)i) + AP_STATE) == PAIR_RUNNING)
            return TGX_AUTH_RC_IN_PROGRESS;
        remove_pair(f, (size_t)i);
        *changed = true;
    }
    return 0;
}

// ---- V2 passwords ----

uint32_t passwords_v2(Function& f, uint8_t* p, bool* changed) {
    const uint8_t* local = p + TGX_AUTHP_OFF_LOCAL;
    const uint8_t* remote = p + TGX_AUTHP_OFF_REMOTE;
    if (uint32_t rc = check_entities(f, local, remote)) return rc;
    long i = find_pair(f, local, remote);
    if (p[TGX_AUTHP_OFF_SET] == 0) {
        if (i < 0) return TGX_AUTH_RC_NOT_FOUND;
        const uint8_t* rec = pair_at(f, (size_t)i);
        memcpy(p + TGX_AUTHP_OFF_LOCALPWD, rec + AP_LPWD, TGX_AUTH_PWD_ENTRY);
        memcpy(p + TGX_AUTHP_OFF_REMOTEPWD, rec + AP_RPWD, TGX_AUTH_PWD_ENTRY);
        return 0;
    }
    if (p[TGX_AUTHP_OFF_SET] != 1) return TGX_AUTH_RC_INVALID_OP;
    const uint8_t* newLocal = p + TGX_AUTHP_OFF_LOCALPWD;
    const uint8_t* newRemote = p + TGX_AUTHP_OFF_REMOTEPWD;
    if (uint32_t rc = check_new_passwords(newLocal, newRemote)) return rc;
    if (i >= 0 && drv_rd32(pair_at(f, (size_t)i) + AP_STATE) == PAIR_RUNNING)
        return TGX_AUTH_RC_IN_PROGRESS;
    if (i < 0 && (i = add_pair(f, local, remote)) < 0) return TGX_AUTH_RC_NO_RESOURCES;
    uint8_t* rec = pair_at(f, (size_t)i);
    store_password(rec + AP_LPWD, newLocal);
    store_password(rec + AP_RPWD, newRemote);
    *changed = true;
    return 0;
}

} // namespace

// 0x80000330: operation 0 get, 1 set (authorised by the current local
// password), 2 delete.
uint32_t req_auth_config(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t op = drv_rd32(p + TGX_AUTH_OFF_FLAGS) & TGX_AUTH_OP_MASK;
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        if (uint32_t rc = check_entities(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE))
            return rc;
        switch (op) {
        case TGX_AUTH_CFG_GET:
            return config_get(f, p);
        case TGX_AUTH_CFG_SET:
            if (rd16(p + TGX_AUTH_OFF_CURPWD) > TGX_AUTH_PWD_MAX) return TGX_AUTH_RC_INVALID_OP;
            return config_set(f, p, changed);
        case TGX_AUTH_CFG_DELETE:
            if (rd16(p + TGX_AUTH_OFF_CURPWD) > TGX_AUTH_PWD_MAX) return TGX_AUTH_RC_INVALID_OP;
            return config_delete(f, p, changed);
        default:
            return TGX_AUTH_RC_INVALID_OP;
        }
    });
}

// 0x80000331: flags bit 0, 0 get and 1 set of the four password entries.
uint32_t req_auth_passwd(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t flags = drv_rd32(p + TGX_AUTH_OFF_FLAGS);
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        if (uint32_t rc = check_entities(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE))
            return rc;
        if (flags > TGX_AUTH_PWD_SET) return TGX_AUTH_RC_INVALID_OP;
        return flags == TGX_AUTH_PWD_SET ? passwords_set(f, p, changed) : passwords_get(f, p);
    });
}

// 0x80000332: starts the authentication of a pair.
uint32_t req_auth_start(DrvRequest& r) {
    uint8_t* p = r.payload;
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        if (uint32_t rc = check_entities(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE))
            return rc;
        return start_auth(f, p, changed);
    });
}

// 0x80000333: payload word 0, 2 switches on and 1 off; off ends every
// running authentication.
uint32_t req_auth_enable(DrvRequest& r) {
    const uint32_t flag = drv_rd32(r.payload);
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        if (flag == TGX_AUTH_ENABLE_ON) {
            if (enabled(f)) return TGX_AUTH_RC_ALREADY_ENABLED;
            if (!link_up(f)) return TGX_AUTH_RC_LINK_DOWN;
            f.attrs.set(kEnabledKey, "1");
        } else if (flag == TGX_AUTH_ENABLE_OFF) {
            if (!enabled(f)) return TGX_AUTH_RC_ALREADY_DISABLED;
            f.attrs.erase(kEnabledKey);
            for (size_t i = 0; i < pair_count(f); ++i)
                drv_wr32(pair_at(f, i) + AP_STATE, PAIR_IDLE);
        } else {
            return TGX_AUTH_RC_INVALID_OP;
        }
        *changed = true;
        return 0;
    });
}

// 0x80000334: the state of a pair: state, first type, hash, group and mode
// at 12-16, bidirectional (bit 0) and remote password present (bit 1) at
// 17, the re-authentication interval at 24 and authentications done at 28.
uint32_t req_auth_status(DrvRequest& r) {
    uint8_t* p = r.payload;
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        if (uint32_t rc = check_entities(f, p + TGX_AUTH_OFF_LOCAL, p + TGX_AUTH_OFF_REMOTE))
            return rc;
        return pair_status(f, p, changed);
    });
}

// 0x80000335: list operations over the configurations; the entry count at 4
// is bounded by the entries the envelope holds.
uint32_t req_auth_config_v2(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t held = (r.payloadSize - TGX_AUTHL_OFF_ENTRIES) / TGX_AUTH_CONFIG_BYTES;
    uint32_t room = drv_rd32(p + TGX_AUTHL_OFF_COUNT);
    if (room > held) room = held;
    const uint8_t op = p[TGX_AUTHL_OFF_OP];
    return update(r, [&](Function& f, bool* changed) -> uint32_t {
        switch (op) {
        case TGX_AUTHL_OP_GET:
            return list_get(f, p, room);
        case TGX_AUTHL_OP_SET:
            return list_set(f, p, room, changed);
        case TGX_AUTHL_OP_DELETE:
            return list_delete(f, p, room, changed);
        case TGX_AUTHL_OP_DELETE_ALL:
            if (any_running(f)) return TGX_AUTH_RC_IN_PROGRESS;
            *changed = pair_count(f) != 0;
            f.blobs.erase(kPairBlob);
            return 0;
        default:
            return TGX_AUTH_RC_INVALID_OP;
        }
    });
}

// 0x80000336: the two passwords of a pair, get (0) or set (1); a set makes
// the pair when it is new.
uint32_t req_auth_passwd_v2(DrvRequest& r) {
    return update(r,
                  [&](Function& f, bool* changed) { return passwords_v2(f, r.payload, changed); });
}

} // namespace hbasim
