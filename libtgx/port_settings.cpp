// Registry-backed port settings: persistent link down (an item of the driver's
// per-port parameter string, also applied at once through the driver) and the
// thresholds of the latency-monitoring service. Both are keyed by the WWPN.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "libtgx/tgx_internal.h"

namespace {

const char kServicesPath[] = "SYSTEM\\CurrentControlSet\\Services\\";
const char kLatencyServicePath[] = "SYSTEM\\CurrentControlSet\\Services\\qrllatency";
const char kParametersKey[] = "Parameters";
const char kParametersValue[] = "Parameters";
const char kItemName[] = "PersistLnkDn";
const size_t kItemNameLen = sizeof kItemName - 1;
const uint32_t kParamMaxChars = 2047; // longest parameter string handled
const uint32_t kParseTextLen = 14;    // "PersistLnkDn=N"

// One parameter string being edited, always terminated. It holds what was read
// plus the semicolon a reader may add; a result longer than kParamMaxChars is
// never written, and overflow is remembered instead of truncating silently.
const size_t kParamRoom = kParamMaxChars + 1;
struct ParamText {
    char s[kParamRoom + 1];
    size_t len;
    bool overflow;
};

void pt_append(ParamText* t, const char* text, size_t n) {
    if (t->len + n > kParamRoom) {
        t->overflow = true;
        return;
    }
    memcpy(t->s + t->len, text, n);
    t->len += n;
    t->s[t->len] = '\0';
}

// Start of the PersistLnkDn item (its name at the start of an item), or -1.
ptrdiff_t find_item(const char* s, size_t len) {
    size_t start = 0;
    while (start < len) {
        const char* semi = static_cast<const char*>(memchr(s + start, ';', len - start));
        size_t end = semi ? (size_t)(semi - s) : len;
        size_t itemLen = end - start;
        if (itemLen >= kItemNameLen && memcmp(s + start, kItemName, kItemNameLen) == 0 &&
            (itemLen == kItemNameLen || s[start + kItemNameLen] == '='))
            return (ptrdiff_t)start;
        start = end + 1;
    }
    return -1;
}

void wwpn_key_name(const HBA_PortAttributes& attrs, char* out, size_t size) {
    const uint8_t* w = attrs.PortWWN;
    snprintf(out, size, "%02x%02x%02x%02x%02x%02x%02x%02x", w[0], w[1], w[2], w[3], w[4], w[5],
             w[6], w[7]);
}

// True when the value is one string: REG_SZ whose bytes after the first NUL
// (the terminator, when present) are all NUL.
bool is_plain_text(uint32_t type, const char* data, uint32_t size) {
    if (type != PLAT_REG_SZ) return false;
    size_t len = strnlen(data, size);
    for (size_t i = len; i < size; ++i)
        if (data[i] != '\0') return false;
    return true;
}

// Service, "Parameters" and port keys of one board, closed together when they
// go out of scope.
struct PortKeys {
    PlatRegKey svc = nullptr;
    PlatRegKey params = nullptr;
    PlatRegKey port = nullptr;
    PortKeys() = default;
    PortKeys(const PortKeys&) = delete;
    PortKeys& operator=(const PortKeys&) = delete;
    ~PortKeys() {
        if (port) plat_reg_close_key(port);
        if (params) plat_reg_close_key(params);
        if (svc) plat_reg_close_key(svc);
    }
};

// Which of the three keys could not be opened or made.
enum class KeyLevel { None, Service, Parameters, Port };

// Opens the three keys down to the port key, or creates them when create is
// set; the level that failed (rs set to its registry status), or None.
KeyLevel open_port_keys(const char* servicePath, const char* wwpn, bool create, PortKeys* k,
                        int32_t* rs) {
    *rs = create ? plat_reg_create_key(PLAT_HKLM, servicePath, &k->svc)
                 : plat_reg_open_key(PLAT_HKLM, servicePath, &k->svc);
    if (*rs != PLAT_REG_OK) return KeyLevel::Service;
    *rs = create ? plat_reg_create_subkey(k->svc, kParametersKey, &k->params)
                 : plat_reg_open_subkey(k->svc, kParametersKey, &k->params);
    if (*rs != PLAT_REG_OK) return KeyLevel::Parameters;
    *rs = create ? plat_reg_create_subkey(k->params, wwpn, &k->port)
                 : plat_reg_open_subkey(k->params, wwpn, &k->port);
    if (*rs != PLAT_REG_OK) return KeyLevel::Port;
    return KeyLevel::None;
}

struct LatencyField {
    const char* name;
    size_t offset;
};
#define LATENCY_FIELD(f)                                                                           \
    { #f, offsetof(LATENCY_INFO, f) }
const LatencyField kLatencyFields[] = {
    LATENCY_FIELD(LatencyEnable),       LATENCY_FIELD(defaultReadLatency),
    LATENCY_FIELD(defaultWriteLatency), LATENCY_FIELD(ReadLatency512),
    LATENCY_FIELD(ReadLatency2K),       LATENCY_FIELD(ReadLatency4K),
    LATENCY_FIELD(ReadLatency8K),       LATENCY_FIELD(ReadLatency16K),
    LATENCY_FIELD(ReadLatency32K),      LATENCY_FIELD(ReadLatency64K),
    LATENCY_FIELD(ReadLatencyLarge),    LATENCY_FIELD(WriteLatency512),
    LATENCY_FIELD(WriteLatency2K),      LATENCY_FIELD(WriteLatency4K),
    LATENCY_FIELD(WriteLatency8K),      LATENCY_FIELD(WriteLatency16K),
    LATENCY_FIELD(WriteLatency32K),     LATENCY_FIELD(WriteLatency64K),
    LATENCY_FIELD(WriteLatencyLarge),
};
#undef LATENCY_FIELD
static_assert(std::size(kLatencyFields) == 19, "latency values");

// Statuses of the port-settings exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsBadOperation = 2; // rwRegistryKey: op or flag pointer
constexpr uint32_t kStsBadBoard = 3;
constexpr uint32_t kStsBadFlag = 4; // TGX_SetPersistLinkDown: flag above 1
constexpr uint32_t kStsParseNoMemory = 17;
// TGX_SetLatency: the key that could not be created.
constexpr uint32_t kStsLatencyServiceKey = 0x800E;
constexpr uint32_t kStsLatencyParamsKey = 0x800F;
constexpr uint32_t kStsLatencyPortKey = 0x8020;

// Edits text (the value as read, terminated) for a get or a set of the item;
// false when the edited text would not fit.
bool edit_item(ParamText* text, bool set, uint16_t* flag, const char* item) {
    if (text->len > 0 && text->s[text->len - 1] != ';') pt_append(text, ";", 1);
    if (text->overflow) return false;
    ptrdiff_t at = find_item(text->s, text->len);
    if (at < 0) {
        if (set) {
            pt_append(text, item, strlen(item));
        } else {
            TraceLog("rwRegistryKey: PersistLnkDn parameter doesn't exist\n");
            *flag = 0;
        }
        return true;
    }
    const char* value = text->s + at;
    if (!set) {
        *flag = strncmp(value, "PersistLnkDn=0", kItemNameLen + 2) == 0 ? 0 : 1;
        return true;
    }
    // Replace the whole item, up to its semicolon, by the new one.
    const char* semi = strchr(value, ';');
    size_t itemEnd = (size_t)(semi - text->s) + 1;
    ParamText edited = {};
    pt_append(&edited, text->s, (size_t)at);
    pt_append(&edited, item, strlen(item));
    pt_append(&edited, text->s + itemEnd, text->len - itemEnd);
    *text = edited;
    return true;
}

} // namespace

uint32_t rwRegistryKey(uint32_t board, uint32_t op, uint16_t* flag) {
    if (!tgx_board_ok(board)) return kStsBadBoard;
    if (op > 1 || flag == nullptr) return kStsBadOperation;
    const bool set = op == 1;
    HBA_PortAttributes attrs;
    uint32_t st = GetAdapterPortAttributes(board, 0, &attrs);
    if (st != 0) {
        TraceLog("rwRegistryKey: GetAdapterPortAttributes error %x\n", st);
        return kStsFailed;
    }
    // Service key of the board's driver (its name has at most 8 characters).
    const DrvVerName& names = tgx_entry(board)->drvInfo.names[0];
    size_t nameLen = strnlen(names.dvrName, sizeof names.dvrName);
    char servicePath[128];
    snprintf(servicePath, sizeof servicePath, "%s%.*s", kServicesPath, (int)nameLen, names.dvrName);
    char wwpn[17];
    wwpn_key_name(attrs, wwpn, sizeof wwpn);

    PortKeys keys;
    int32_t rs = PLAT_REG_OK;
    KeyLevel missing = open_port_keys(servicePath, wwpn, set, &keys, &rs);
    if (missing != KeyLevel::None) {
        if (missing == KeyLevel::Service)
            TraceLog("rwRegistryKey: Create/Open %s key failed. status = %xh\n", servicePath, rs);
        else if (missing == KeyLevel::Parameters)
            TraceLog("rwRegistryKey: Create %s parameter key failed. status = %xh\n", servicePath,
                     rs);
        else
            TraceLog("rwRegistryKey: Create/open %s wwpn key failed. status = %xh\n", servicePath,
                     rs);
        // A key that is not there reads as off; one that cannot be made fails a set.
        if (!set) *flag = 0;
        return set ? kStsFailed : kStsOk;
    }

    // Read the value; what was read is terminated here whatever it holds.
    char raw[kParamMaxChars + 2];
    uint32_t type = 0;
    uint32_t size = kParamMaxChars + 1;
    rs = plat_reg_query_value(keys.port, kParametersValue, &type, raw, &size);
    ParamText text = {};
    const char digit = set && (*flag & 1) ? '1' : '0';
    char item[kItemNameLen + 4];
    snprintf(item, sizeof item, "%s=%c;", kItemName, digit);

    if (rs == PLAT_REG_NOT_FOUND) {
        if (!set) {
            TraceLog("rwRegistryKey: Parameters value doesn't exist, so get failed\n");
            *flag = 0;
            return kStsOk;
        }
        pt_append(&text, item, strlen(item));
    } else if (rs != PLAT_REG_OK) {
        // Includes a value too long for the buffer: editing a cut copy would
        // lose the other items, so it is an error and nothing is written.
        TraceLog("rwRegistryKey: Parameters value unreadable. status = %xh\n", rs);
        return kStsFailed;
    } else if (!is_plain_text(type, raw, size)) {
        // Editing what is not one plain string would drop whatever follows.
        TraceLog("rwRegistryKey: Parameters value is not plain text. type = %xh\n", type);
        return kStsFailed;
    } else {
        raw[size <= kParamMaxChars + 1 ? size : kParamMaxChars + 1] = '\0';
        pt_append(&text, raw, strnlen(raw, kParamMaxChars + 1));
        if (!edit_item(&text, set, flag, item)) return kStsFailed;
    }
    if (!set) return kStsOk;
    if (text.overflow || text.len > kParamMaxChars) return kStsFailed;
    rs = plat_reg_set_value(keys.port, kParametersValue, PLAT_REG_SZ, text.s, (uint32_t)text.len);
    if (rs != PLAT_REG_OK) {
        TraceLog("rwRegistryKey: Parameters exist, but set value failed %x\n", rs);
        return kStsFailed;
    }
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetPersistLinkDown(uint32_t board, uint16_t* flag) {
    TraceLog("TGX_GetPersistLinkDown: board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsBadBoard;
    if (flag == nullptr) return kStsFailed;
    uint16_t f = 0;
    uint32_t status = rwRegistryKey(board, 0, &f);
    if (status == kStsOk) *flag = f;
    TraceLog("TGX_GetPersistLinkDown: flag=%x status=%x\n", f, status);
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_SetPersistLinkDown(uint32_t board, uint32_t flag) {
    TraceLog("TGX_SetPersistLinkDown: board=%x flag=%x\n", board, flag);
    uint16_t f = (uint16_t)(flag & 0xFFFF);
    if (f > 1) return kStsBadFlag;
    if (!tgx_board_ok(board)) return kStsBadBoard;
    uint32_t status = rwRegistryKey(board, 1, &f);
    TraceLog("TGX_SetPersistLinkDown: update Registry status=%x\n", status);
    if (status != kStsOk) return status;

    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_ISSUE_PARSE, TGX_IOCTL_ISSUE_PARSE, TGX_SIG_ZT);
    if (!env) return kStsParseNoMemory;
    char text[kParseTextLen + 1];
    snprintf(text, sizeof text, "%s=%c", kItemName, f ? '1' : '0');
    memcpy(env.payload(), text, kParseTextLen);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("TGX_SetPersistLinkDown: IOCTL_ZT4100_ISSUE_PARSE Failed Error=0x%x\n",
                 plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    TraceLog("TGX_SetPersistLinkDown: exit rtnCode=%x\n", rc);
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_SetLatency(uint32_t board, const LATENCY_INFO* info) {
    if (!tgx_board_ok(board)) return kStsBadBoard;
    if (info == nullptr) return kStsFailed;
    HBA_PortAttributes attrs;
    uint32_t st = GetAdapterPortAttributes(board, 0, &attrs);
    if (st != 0) {
        TraceLog("TGX_SetLatency: GetAdapterPortAttributes error %x\n", st);
        return kStsFailed;
    }
    char wwpn[17];
    wwpn_key_name(attrs, wwpn, sizeof wwpn);
    PortKeys keys;
    int32_t rs = PLAT_REG_OK;
    switch (open_port_keys(kLatencyServicePath, wwpn, true, &keys, &rs)) {
    case KeyLevel::Service:
        TraceLog("TGX_SetLatency: Create qrllatency key failed\n");
        return kStsLatencyServiceKey;
    case KeyLevel::Parameters:
        TraceLog("TGX_SetLatency: Create qrxdbg parameter key failed\n");
        return kStsLatencyParamsKey;
    case KeyLevel::Port:
        TraceLog("TGX_SetLatency: Create wwpn key failed\n");
        return kStsLatencyPortKey;
    case KeyLevel::None:
        break;
    }
    uint32_t status = kStsOk;
    const uint8_t* rec = reinterpret_cast<const uint8_t*>(info);
    for (const LatencyField& f : kLatencyFields) {
        uint32_t v;
        memcpy(&v, rec + f.offset, sizeof v);
        rs = plat_reg_set_value(keys.port, f.name, PLAT_REG_DWORD, &v, sizeof v);
        if (rs != PLAT_REG_OK) {
            TraceLog("TGX_SetLatency: SetValue %s failed %x\n", f.name, rs);
            status = kStsFailed;
        }
    }
    return status;
}
