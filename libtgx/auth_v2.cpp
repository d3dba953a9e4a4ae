// Authentication configuration, V2 (SLI-4 boards with the driver's V2 copy):
// configuration lists and passwords through the driver, and the copy kept in
// the adapter object "/driver/auth.cfg", one 8192-byte slice per PCI function,
// read and written through SLI_CONFIG object mailboxes. Passwords come back as
// their types only.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "libtgx/auth_wire.h"

using namespace tgx_auth;

namespace {

constexpr uint32_t kObjectRetry = 2;
constexpr uint32_t kObjectDelayMs = 100;
constexpr uint32_t kTsvMailboxStatus2 = 2; // TGX_IssueMboxWithRetryV2: the adapter refused

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

// Sends a V2 request; the status, with *rc the driver's ReturnCode. The count
// logged is the reply's word at payload offset 4 (the list's entry count).
uint32_t v2_send(uint32_t board, TgxEnvelope& env, uint32_t code, uint32_t* rc) {
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("GetLastErorr:%x\n", plat_last_error());
        TraceLog("cmd:%x status:%x rc:%x rtnCnt:%d\n", code, kStsAuthFailed, 0u, 0);
        return kStsAuthFailed;
    }
    *rc = tgx_env_rc(env);
    const uint32_t status = map_v2_rc(*rc);
    TraceLog("cmd:%x status:%x rc:%x rtnCnt:%d\n", code, status, *rc,
             (int)tgx_rd32(env.payload() + TGX_AUTHL_OFF_COUNT));
    return status;
}

// One configuration list request of room entries (at least one is sent, so
// cfg holds at least one); entries go out and come back through cfg. *total:
// the driver's count (list operation) or room.
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
    // Entry 0 travels even with no room: it carries the list filter.
    for (uint32_t i = 0; i < slots; ++i)
        encode_config(p + TGX_AUTHL_OFF_ENTRIES + i * TGX_AUTH_CONFIG_BYTES, cfg[i]);
    uint32_t rc = 0;
    const uint32_t status = v2_send(board, env, TGX_IOCTL_AUTH_CONFIG_V2, &rc);
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
    const uint32_t status = v2_send(board, env, TGX_IOCTL_AUTH_PASSWD_V2, &rc);
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
    // Whole words, rounded up: a piece of any length fits behind the mailbox.
    const uint32_t words = (TGX_MBOX_BYTES + length + 3) / 4;
    std::unique_ptr<uint32_t[]> buf(new (std::nothrow) uint32_t[words]());
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
        TGX_IssueMboxWithRetryV2(board, buf.get(), words, kObjectRetry, kObjectDelayMs);
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

// The slice entry keeps a password's type in one byte; the driver's are 16 bits.
constexpr uint16_t kSliceTypeMax = 0xFF;

// One entry of a slice from a pair's configuration and passwords; kStsOther
// (nothing built) when a password type does not fit its byte, which would
// come back as another type after a reboot.
uint32_t build_entry(uint8_t* e, const AuthConfigRecord& c, const AUTH_PASSWD& pw) {
    if (pw.local.type > kSliceTypeMax || pw.remote.type > kSliceTypeMax) {
        TraceLog("TGX_PersistAuthConfig: password types %x/%x do not fit the flash copy\n",
                 pw.local.type, pw.remote.type);
        return kStsOther;
    }
    encode_config(e, c);
    e[TGX_AUTHS_OFF_LTYPE] = (uint8_t)pw.local.type;
    e[TGX_AUTHS_OFF_LLEN] = (uint8_t)pw.local.length;
    e[TGX_AUTHS_OFF_RTYPE] = (uint8_t)pw.remote.type;
    e[TGX_AUTHS_OFF_RLEN] = (uint8_t)pw.remote.length;
    memcpy(e + TGX_AUTHS_OFF_LPWD, pw.local.password, pw.local.length);
    memcpy(e + TGX_AUTHS_OFF_RPWD, pw.remote.password, pw.remote.length);
    return kStsOk;
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

// ---- V2 exports ----

extern "C" TGX_EXPORT uint32_t TGX_GetAuthConfigV2(uint32_t board, uint32_t source,
                                                   const uint8_t* filter, AuthConfigList* list) {
    const uint8_t zero[8] = {};
    const uint8_t* w = filter ? filter : zero;
    const uint32_t func = tgx_board_ok(board) ? tgx_entry(board)->brdInfo.pciFunc : 0;
    TraceLog("TGX_GetAuthConfigV2: board:%x source:%d physfunc:%x wwpn:" AUTH_WWN_FMT "\n", board,
             (int)source, func, AUTH_WWN_ARGS(w));
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
                st = build_entry(slice + TGX_AUTH_SLICE_HEADER + i * TGX_AUTH_SLICE_ENTRY, pairs[i],
                                 pw);
        }
        TraceLog("driverCnt:%x portoffset:%x\n", (uint32_t)pairs.size(), offset);
    }
    if (st == kStsOk) st = object_write(board, object.data(), TGX_AUTH_OBJECT_BYTES);
    TraceLog("TGX_PersistAuthConfig: status:%x\n", st);
    return st;
}
