// OAS LUN lists: the per-LUN OAS state (and, in the newer form, a priority) of
// an initiator/target pair, kept either by the driver (option 0: per-target
// lists, the table of all pairs, two set requests) or in the registry below
// the driver's service key (option 1), where the driver reads it at start:
//   Parameters\<port WWPN>\<initiator WWPN>\WWPN<target WWPN>\OAS\LUN%04X
// with the REG_DWORD "Flag" = priority x 256 + oasState. Lists read from the
// driver and from the registry are merged by LUN number.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the OAS exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsBadVersion = 4;
constexpr uint32_t kStsNoTarget = 5;
constexpr uint32_t kStsTooSmall = 7;
constexpr uint32_t kStsSetNoMemory = 10;
constexpr uint32_t kStsNoInitiator = 15;
constexpr uint32_t kStsListNoMemory = 16;
constexpr uint32_t kStsSetRefused = 17;
constexpr uint32_t kStsSetNoTarget = 18;
constexpr uint32_t kStsUnsupported = 32;
constexpr uint32_t kStsLunRefused = 33; // driver ReturnCode 4: the LUN is refused
constexpr uint32_t kStsSetFailed = 34;
constexpr uint32_t kStsNoPortKey = 35;

constexpr uint32_t kOptionDriver = 0;
constexpr uint32_t kOptionRegistry = 1;

// Lists the library reads for its own merging hold this many entries.
constexpr uint32_t kScratchCapacity = TGX_OAS_LIST_CAPACITY;
// LUN keys looked at per pair: one per LUN the table can carry.
constexpr uint32_t kMaxLunKeys = TGX_OAS_MAX_LUNS;
constexpr uint32_t kMaxTablePairs = 0xFFFF; // the request carries n in 16 bits
constexpr uint32_t kFeatureOasV2 = TGX_FEATURE_OAS_V2;

const char kServicesPath[] = "SYSTEM\\CurrentControlSet\\Services\\";
const char kOasKey[] = "OAS";
const char kFlagValue[] = "Flag";

#define WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

// ---- driver ReturnCodes ---------------------------------------------------------
// One table per request kind: a ReturnCode and the status it becomes. A code
// absent from the table is logged with the table's text and gives kStsFailed
// (or, for the V3 set, is returned as it stands). To add a mapping, add a row.
struct RcRow {
    uint32_t rc;
    uint32_t status;
};
const RcRow kListV2Rcs[] = {{0, kStsOk},
                            {TGX_OAS_RC_NO_TARGET, kStsNoTarget},
                            {TGX_OAS_RC_UNSUPPORTED, kStsUnsupported},
                            {TGX_OAS_RC_BAD_LUN, kStsLunRefused},
                            {TGX_OAS_RC_NO_INITIATOR, kStsNoInitiator}};
const RcRow kListRcs[] = {{0, kStsOk},
                          {TGX_OAS_RC_NO_TARGET, kStsNoTarget},
                          {TGX_OAS_RC_UNSUPPORTED, kStsUnsupported},
                          {TGX_OAS_RC_BAD_LUN, kStsLunRefused}};
const RcRow kSetV2Rcs[] = {{0, kStsOk},
                           {TGX_OAS_RC_FAILED, kStsSetFailed},
                           {TGX_OAS_RC_NO_TARGET, kStsSetNoTarget},
                           {TGX_OAS_RC_UNSUPPORTED, kStsUnsupported},
                           {TGX_OAS_RC_BAD_LUN, kStsLunRefused},
                           {TGX_OAS_RC_NO_INITIATOR, kStsSetRefused}};
const RcRow kSetV3Rcs[] = {{0, kStsOk},
                           {TGX_OAS_RC_FAILED, kStsFailed},
                           {TGX_OAS_RC_NO_TARGET, kStsSetNoTarget},
                           {TGX_OAS_RC_UNSUPPORTED, kStsUnsupported},
                           {TGX_OAS_RC_BAD_LUN, kStsLunRefused},
                           {TGX_OAS_RC_NO_INITIATOR, kStsSetRefused},
                           {TGX_OAS_RC_BAD_VERSION, kStsBadVersion}};

// The status of rc in table; false when the table has no row for it.
template <size_t N> bool map_rc(const RcRow (&table)[N], uint32_t rc, uint32_t* status) {
    for (const RcRow& row : table)
        if (row.rc == rc) {
            *status = row.status;
            return true;
        }
    return false;
}

// Maps rc, logging unknown codes with text; unknown codes give kStsFailed.
template <size_t N> uint32_t list_status(const RcRow (&table)[N], uint32_t rc, const char* text) {
    uint32_t status = kStsFailed;
    if (!map_rc(table, rc, &status)) TraceLog("%s: error= Unknown status (%xh) \n", text, rc);
    return status;
}

// ---- small helpers --------------------------------------------------------------
int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// 16 hex digits exactly into 8 bytes; false otherwise.
bool parse_wwn(const char* text, uint8_t* out) {
    if (strlen(text) != 16) return false;
    for (int i = 0; i < 8; ++i) {
        const int hi = hex_digit(text[2 * i]), lo = hex_digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = (uint8_t)(hi << 4 | lo);
    }
    return true;
}

bool prefix_nocase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char c = *text;
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        if (c != *prefix) return false;
    }
    return true;
}

// A LUN key: at least 7 characters, "LUN" in either case, then hex digits.
// Characters that are no hex digit add nothing but still shift.
bool parse_lun_key(const char* name, uint32_t* lun) {
    if (strlen(name) < 7 || !prefix_nocase(name, "LUN")) return false;
    uint32_t v = 0;
    for (const char* c = name + 3; *c; ++c) {
        const int d = hex_digit(*c);
        v = (v << 4) + (uint32_t)(d < 0 ? 0 : d);
    }
    *lun = v;
    return true;
}

bool oas_v2_driver(uint32_t board) {
    const DrvInfo& d = tgx_entry(board)->drvInfo;
    return d.featureList >= kFeatureOasV2 || d.p148 != 0;
}

bool port_wwpn(uint32_t board, uint8_t* out) {
    HBA_PortAttributes attrs;
    if (GetAdapterPortAttributes(board, 0, &attrs) != 0) return false;
    memcpy(out, attrs.PortWWN, 8);
    return true;
}

OasLunEntry entry_for(const uint8_t* init, const uint8_t* tgt) {
    OasLunEntry e;
    memset(&e, 0, sizeof e);
    memcpy(e.initiatorWwpn, init, 8);
    memcpy(e.targetWwpn, tgt, 8);
    return e;
}

// A list of kScratchCapacity entries that the library owns (malloc'd, so a
// shortage is a status, not an exception).
struct ScratchList {
    OasLunList* list = nullptr;
    ScratchList() {
        list = static_cast<OasLunList*>(calloc(
            1, offsetof(OasLunList, entries) + sizeof(OasLunEntry) * (kScratchCapacity + 1)));
        if (list) list->count = kScratchCapacity;
    }
    ScratchList(const ScratchList&) = delete;
    ScratchList& operator=(const ScratchList&) = delete;
    ~ScratchList() { free(list); }
    explicit operator bool() const { return list != nullptr; }
    // The scratch entry of this LUN, or null.
    const OasLunEntry* find(uint64_t lun) const {
        for (uint32_t i = 0; i < list->count && i < kScratchCapacity; ++i)
            if (list->entries[i].osLun == lun) return &list->entries[i];
        return nullptr;
    }
};

// ---- driver per-target lists ----------------------------------------------------
// Copies a driver list into the caller's: at most its capacity and what the
// reply holds; a driver count above the capacity is reported with 7.
uint32_t copy_driver_list(const uint8_t* src, uint32_t room, uint32_t driverCount,
                          const uint8_t* init, const uint8_t* tgt, bool keepByte15,
                          OasLunList* list) {
    const uint32_t capacity = list->count;
    uint32_t n = driverCount < capacity ? driverCount : capacity;
    if (n > room) n = room;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* d = src + i * TGX_OAS_DRV_ENTRY;
        OasLunEntry e = entry_for(init, tgt);
        e.osLun = tgx_rd32(d + TGX_OAS_DE_OSLUN);
        e.fcLun =
            (uint64_t)tgx_rd32(d + TGX_OAS_DE_FCLUN_HI) << 32 | tgx_rd32(d + TGX_OAS_DE_FCLUN_LO);
        e.lunState = d[TGX_OAS_DE_LUNSTATE] & 1;
        e.oasState = d[TGX_OAS_DE_OASSTATE] & 1;
        e.priority = d[TGX_OAS_DE_PRIORITY];
        e.reserved = keepByte15 ? d[TGX_OAS_DE_BYTE15] : 0;
        list->entries[i] = e;
    }
    if (driverCount > capacity) {
        list->count = driverCount;
        return kStsTooSmall;
    }
    list->count = n;
    return kStsOk;
}

uint32_t entries_room(const TgxEnvelope& env, uint32_t entriesOff) {
    return (env.size - TGX_ENV_HEADER_LENGTH - entriesOff) / TGX_OAS_DRV_ENTRY;
}

// The V2 per-target list of one pair (0x8000014C) into list.
uint32_t driver_list_v2(uint32_t board, const uint8_t* init, const uint8_t* tgt, OasLunList* list) {
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_OAS_LUNLISTV2, TGX_IOCTL_INQUIRE_OAS_LUNLISTV2, TGX_SIG_ZT);
    if (!env) return kStsListNoMemory;
    uint8_t* p = env.payload();
    memcpy(p + TGX_OAS_LISTV2_OFF_INIT, init, 8);
    memcpy(p + TGX_OAS_LISTV2_OFF_TARGET, tgt, 8);
    tgx_wr32(p + TGX_OAS_LISTV2_OFF_COUNT, TGX_OAS_LIST_CAPACITY);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_INQUIRE_OAS_LUNLISTV2 I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t st = list_status(kListV2Rcs, tgx_env_rc(env), "OasDriverLunListV2");
    if (st != kStsOk) return st;
    return copy_driver_list(p + TGX_OAS_LISTV2_OFF_ENTRIES,
                            entries_room(env, TGX_OAS_LISTV2_OFF_ENTRIES),
                            tgx_rd32(p + TGX_OAS_LISTV2_OFF_COUNT), init, tgt, true, list);
}

// The SCSI path and target identifiers of tgt as seen by the initiator: the
// physical port when it is the adapter's own WWPN, else its virtual port.
uint32_t resolve_target(uint32_t board, const uint8_t* init, const uint8_t* tgt, uint32_t* vpi,
                        uint32_t* path, uint32_t* target) {
    uint8_t own[8];
    if (!port_wwpn(board, own)) return kStsFailed;
    *vpi = 0;
    if (memcmp(own, init, 8) != 0) {
        *vpi = tgxFindVPIid(board, init);
        if (*vpi == TGX_VPI_FAILED) return kStsFailed;
        if (*vpi >= TGX_VPI_NOT_FOUND) return kStsNoInitiator;
    }
    switch (tgx_target_scsi_ids(board, *vpi, tgt, path, target)) {
    case TGX_IDS_OK:
        return kStsOk;
    case TGX_IDS_NO_MEMORY:
        return kStsListNoMemory;
    case TGX_IDS_IO_FAILED:
        return kStsFailed;
    default:
        return kStsNoTarget;
    }
}

// The older per-target list (0x8000014A), the target named by its identifiers.
uint32_t driver_list(uint32_t board, const uint8_t* init, const uint8_t* tgt, OasLunList* list) {
    uint32_t vpi = 0, path = 0, target = 0;
    uint32_t st = resolve_target(board, init, tgt, &vpi, &path, &target);
    if (st != kStsOk) return st;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_OAS_LUNLIST,
                                    TGX_VPI_CODE(TGX_IOCTL_INQUIRE_LUNLIST_OAS, vpi), TGX_SIG_ZT);
    if (!env) return kStsListNoMemory;
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_OAS_LIST_OFF_PATH, path);
    tgx_wr32(p + TGX_OAS_LIST_OFF_TARGET, target);
    tgx_wr32(p + TGX_OAS_LIST_OFF_COUNT, TGX_OAS_LIST_CAPACITY);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_LUNLIST I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    st = list_status(kListRcs, tgx_env_rc(env), "TGX_GetOASLunList");
    if (st != kStsOk) return st;
    return copy_driver_list(p + TGX_OAS_LIST_OFF_ENTRIES,
                            entries_room(env, TGX_OAS_LIST_OFF_ENTRIES),
                            tgx_rd32(p + TGX_OAS_LIST_OFF_COUNT), init, tgt, false, list);
}

// ---- driver table of all pairs --------------------------------------------------
struct TableForm {
    uint32_t code, base, record;
    const char* ioName;
    const char* rcText;
};
const TableForm kTableOld = {TGX_IOCTL_OAS_TABLE, TGX_SIZE_OAS_TABLE_BASE, TGX_OAS_PAIR,
                             "IOCTL_ZTX100_OAS_TABLE", "OasDriverGetAllLunList"};
const TableForm kTableV2 = {TGX_IOCTL_OAS_TABLE_V2, TGX_SIZE_OAS_TABLE_V2_BASE, TGX_OAS_PAIR_V2,
                            "IOCTL_ZTX100_OAS_TABLE_V2", "OasDriverGetAllLunListV2"};

// Sends the table request sized for n pairs. kStsOk with *rc set, or a status.
uint32_t send_table(uint32_t board, const TableForm& form, uint32_t n, TgxEnvelope* env,
                    uint32_t* rc) {
    if (n > kMaxTablePairs) n = kMaxTablePairs;
    *env = tgx_env_alloc(form.base + n * form.record, form.code, TGX_SIG_ZT);
    if (!*env) return kStsListNoMemory;
    tgx_wr16(env->payload() + TGX_OAS_TABLE_OFF_PAIRS, (uint16_t)n);
    if (!tgx_env_send(tgx_entry(board)->handle, *env)) {
        TraceLog("%s I/O Failed Error=0x%x\n", form.ioName, plat_last_error());
        return kStsFailed;
    }
    *rc = tgx_env_rc(*env);
    return kStsOk;
}

// Adds the LUNs of one pair record's bitmap to the list, taking what the
// pair's driver list knows of each; *total counts every set bit.
void merge_pair(const uint8_t* rec, const ScratchList& scratch, OasLunList* list, uint32_t capacity,
                uint32_t* stored, uint32_t* total) {
    const uint8_t* init = rec + TGX_OAS_PAIR_OFF_INIT;
    const uint8_t* tgt = rec + TGX_OAS_PAIR_OFF_TARGET;
    for (uint32_t w = 0; w < TGX_OAS_BITMAP_WORDS; ++w) {
        const uint32_t bits = tgx_rd32(rec + TGX_OAS_PAIR_OFF_BITMAP + 4 * w);
        for (uint32_t b = 0; b < 32; ++b) {
            if (!(bits & (1u << b))) continue;
            ++*total;
            if (*stored >= capacity) continue;
            const uint32_t k = w * 32 + b;
            OasLunEntry e = entry_for(init, tgt);
            e.osLun = k;
            if (const OasLunEntry* d = scratch.find(k)) {
                e.fcLun = d->fcLun;
                e.lunState = d->lunState;
                e.oasState = d->oasState;
                e.priority = d->priority;
            } else {
                e.fcLun = (uint64_t)k << 8;
                e.oasState = 1;
            }
            list->entries[(*stored)++] = e;
        }
    }
}

uint32_t driver_all_pairs(uint32_t board, OasLunList* list) {
    const bool v2 = oas_v2_driver(board);
    const TableForm& form = v2 ? kTableV2 : kTableOld;
    TgxEnvelope env;
    uint32_t rc = 0;
    uint32_t st = send_table(board, form, list->count, &env, &rc);
    if (st == kStsOk && rc == TGX_OAS_RC_TOO_SMALL)
        st = send_table(board, form, tgx_rd16(env.payload() + TGX_OAS_TABLE_OFF_PAIRS), &env, &rc);
    if (st != kStsOk) return st;
    if (rc == TGX_OAS_RC_TOO_SMALL) {
        list->count =
            (uint32_t)tgx_rd16(env.payload() + TGX_OAS_TABLE_OFF_PAIRS) * TGX_OAS_MAX_LUNS;
        return kStsTooSmall;
    }
    st = list_status(kListRcs, rc, form.rcText);
    if (st != kStsOk) return st;
    ScratchList scratch;
    if (!scratch) {
        list->count = 0;
        return kStsListNoMemory;
    }
    const uint32_t room =
        (env.size - TGX_ENV_HEADER_LENGTH - TGX_OAS_TABLE_OFF_RECORDS) / form.record;
    uint32_t pairs = tgx_rd16(env.payload() + TGX_OAS_TABLE_OFF_PAIRS);
    if (pairs > room) pairs = room;
    const uint32_t capacity = list->count;
    uint32_t stored = 0, total = 0;
    for (uint32_t i = 0; i < pairs; ++i) {
        const uint8_t* rec = env.payload() + TGX_OAS_TABLE_OFF_RECORDS + i * form.record;
        scratch.list->count = kScratchCapacity;
        st = v2 ? driver_list_v2(board, rec, rec + TGX_OAS_PAIR_OFF_TARGET, scratch.list)
                : driver_list(board, rec, rec + TGX_OAS_PAIR_OFF_TARGET, scratch.list);
        if (st != kStsOk && st != kStsTooSmall) {
            TraceLog("TGX_GetOASLunList: pair %u list status=%x\n", i, st);
            list->count = stored;
            return st;
        }
        merge_pair(rec, scratch, list, capacity, &stored, &total);
    }
    if (total > capacity) {
        list->count = total;
        return kStsTooSmall;
    }
    list->count = stored;
    return kStsOk;
}

// ---- registry store ---------------------------------------------------------------
void parameters_path(uint32_t board, char* out, size_t size) {
    const DrvVerName& names = tgx_entry(board)->drvInfo.names[0];
    snprintf(out, size, "%s%.*s\\Parameters", kServicesPath,
             (int)strnlen(names.dvrName, sizeof names.dvrName), names.dvrName);
}

// Opens name below parent, creating it when create is set and opening fails.
int32_t open_sub(const TgxRegKey& parent, const char* name, bool create, TgxRegKey* out) {
    int32_t rs = plat_reg_open_subkey(parent.k, name, &out->k);
    if (rs != PLAT_REG_OK && create) rs = plat_reg_create_subkey(parent.k, name, &out->k);
    return rs;
}

// The next subkey name of key from *index on (names too long for the buffer
// are skipped): PLAT_REG_OK, PLAT_REG_NO_MORE_ITEMS or the failure.
int32_t next_subkey(const TgxRegKey& key, uint32_t* index, char* name, uint32_t size) {
    for (;; ++*index) {
        uint32_t got = size;
        const int32_t rs = plat_reg_enum_key(key.k, *index, name, &got);
        if (rs != PLAT_REG_MORE_DATA) {
            if (rs == PLAT_REG_OK) ++*index;
            return rs;
        }
    }
}

// The names of the first kMaxLunKeys subkeys of key (names longer than a LUN
// key can have are skipped); false when the enumeration failed.
struct KeyNames {
    char names[kMaxLunKeys][32];
    uint32_t count;
};
bool enum_names(const TgxRegKey& key, KeyNames* out) {
    out->count = 0;
    uint32_t index = 0;
    int32_t rs = PLAT_REG_OK;
    while (out->count < kMaxLunKeys && (rs = next_subkey(key, &index, out->names[out->count],
                                                         sizeof out->names[0])) == PLAT_REG_OK)
        ++out->count;
    return out->count == kMaxLunKeys || rs == PLAT_REG_NO_MORE_ITEMS;
}

// Reads the LUN keys of one pair's target key into out (room entries). Fills
// *n with what it stored, or with the number needed when it returns 7.
uint32_t read_lun_keys(const TgxRegKey& target, const uint8_t* init, const uint8_t* tgt,
                       const ScratchList* driver, OasLunEntry* out, uint32_t room, uint32_t* n) {
    *n = 0;
    TgxRegKey oas;
    if (plat_reg_open_subkey(target.k, kOasKey, &oas.k) != PLAT_REG_OK) return kStsOk;
    KeyNames* names = static_cast<KeyNames*>(malloc(sizeof(KeyNames)));
    if (!names) return kStsFailed;
    std::unique_ptr<KeyNames, decltype(&free)> own(names, &free);
    if (!enum_names(oas, names)) return kStsFailed;
    uint32_t count = 0, lun = 0;
    for (uint32_t i = 0; i < names->count; ++i)
        count += parse_lun_key(names->names[i], &lun);
    if (count > room) {
        *n = count;
        return kStsTooSmall;
    }
    uint32_t idx = 0;
    for (uint32_t i = 0; i < names->count; ++i) {
        if (!parse_lun_key(names->names[i], &lun)) continue;
        TgxRegKey key;
        uint32_t flag = 0, type = 0, size = sizeof flag;
        if (plat_reg_open_subkey(oas.k, names->names[i], &key.k) != PLAT_REG_OK ||
            plat_reg_query_value(key.k, kFlagValue, &type, &flag, &size) != PLAT_REG_OK)
            flag = 0;
        OasLunEntry e = entry_for(init, tgt);
        e.osLun = lun;
        e.oasState = (uint8_t)flag;
        e.priority = (uint8_t)(flag >> 8);
        const OasLunEntry* d = driver ? driver->find(lun) : nullptr;
        if (d) {
            e.lunState = 1;
            e.fcLun = d->fcLun;
        } else {
            e.fcLun = (uint64_t)(lun & 0xFFFF) << 40;
        }
        out[idx++] = e;
    }
    *n = idx;
    return kStsOk;
}

// The registry entries of one pair, merged with the driver's list of it.
uint32_t registry_pair(uint32_t board, const uint8_t* init, const uint8_t* tgt, OasLunList* list) {
    ScratchList scratch;
    if (!scratch) return kStsFailed;
    const uint32_t st = driver_list_v2(board, init, tgt, scratch.list);
    if (st == kStsLunRefused) return st;
    if (st != kStsOk && st != kStsTooSmall) scratch.list->count = 0;

    char path[128], name[32];
    uint8_t own[8];
    parameters_path(board, path, sizeof path);
    TgxRegKey params, port, initKey, target;
    if (plat_reg_open_key(PLAT_HKLM, path, &params.k) != PLAT_REG_OK) return kStsFailed;
    if (!port_wwpn(board, own)) return kStsFailed;
    tgx_wwn_hex(own, name, sizeof name);
    if (open_sub(params, name, false, &port) != PLAT_REG_OK) return kStsNoPortKey;
    tgx_wwn_hex(init, name, sizeof name);
    if (open_sub(port, name, false, &initKey) != PLAT_REG_OK) return kStsNoInitiator;
    memcpy(name, "WWPN", 4);
    tgx_wwn_hex(tgt, name + 4, sizeof name - 4);
    if (open_sub(initKey, name, false, &target) != PLAT_REG_OK) return kStsNoTarget;
    uint32_t n = 0;
    const uint32_t rst = read_lun_keys(target, init, tgt, &scratch, list->entries, list->count, &n);
    if (rst == kStsOk || rst == kStsTooSmall) list->count = n;
    return rst;
}

// What the all-pairs registry read has gathered: entries stored, entries
// needed by pairs that did not fit, and the first other failure.
struct PairTally {
    uint32_t stored = 0, needed = 0, failed = kStsOk;
    bool anyShort = false;
    void add(uint32_t st, uint32_t n) {
        if (st == kStsOk) {
            stored += n;
        } else if (st == kStsTooSmall) {
            needed += n;
            anyShort = true;
        } else if (failed == kStsOk) {
            failed = st;
        }
    }
};

// Reads the pairs of one initiator key: its target keys "WWPN<16 hex digits>".
void read_initiator(const TgxRegKey& initKey, const uint8_t* init, OasLunList* list,
                    uint32_t capacity, PairTally* tally) {
    char name[32];
    uint32_t index = 0;
    int32_t rs;
    while ((rs = next_subkey(initKey, &index, name, sizeof name)) == PLAT_REG_OK) {
        uint8_t tgt[8];
        TgxRegKey target;
        if (!prefix_nocase(name, "WWPN") || !parse_wwn(name + 4, tgt) ||
            open_sub(initKey, name, false, &target) != PLAT_REG_OK)
            continue;
        uint32_t n = 0;
        const uint32_t st = read_lun_keys(target, init, tgt, nullptr, list->entries + tally->stored,
                                          capacity - tally->stored, &n);
        tally->add(st, n);
    }
    if (rs != PLAT_REG_NO_MORE_ITEMS) tally->add(kStsFailed, 0);
}

// Every pair of the registry, read without the driver's lists.
uint32_t registry_all_pairs(uint32_t board, OasLunList* list) {
    char path[128], name[32];
    uint8_t own[8];
    parameters_path(board, path, sizeof path);
    TgxRegKey params, port;
    const uint32_t capacity = list->count;
    list->count = 0;
    if (plat_reg_open_key(PLAT_HKLM, path, &params.k) != PLAT_REG_OK) return kStsOk;
    if (!port_wwpn(board, own)) return kStsFailed;
    tgx_wwn_hex(own, name, sizeof name);
    if (open_sub(params, name, false, &port) != PLAT_REG_OK) return kStsOk;

    PairTally tally;
    uint32_t index = 0;
    int32_t rs;
    while ((rs = next_subkey(port, &index, name, sizeof name)) == PLAT_REG_OK) {
        uint8_t init[8];
        TgxRegKey initKey;
        if (parse_wwn(name, init) && open_sub(port, name, false, &initKey) == PLAT_REG_OK)
            read_initiator(initKey, init, list, capacity, &tally);
    }
    if (rs != PLAT_REG_NO_MORE_ITEMS) tally.add(kStsFailed, 0);
    list->count = tally.stored + tally.needed;
    return tally.anyShort ? kStsTooSmall : tally.failed;
}

// Writes one LUN key of a pair, creating the key chain as needed.
uint32_t registry_enable(uint32_t board, const uint8_t* init, const uint8_t* tgt,
                         const char* lunName, uint32_t flag) {
    char path[128], name[32];
    uint8_t own[8];
    parameters_path(board, path, sizeof path);
    if (!port_wwpn(board, own)) return kStsFailed;
    TgxRegKey params, port, initKey, target, oas, lunKey;
    int32_t rs = plat_reg_open_key(PLAT_HKLM, path, &params.k);
    if (rs != PLAT_REG_OK) rs = plat_reg_create_key(PLAT_HKLM, path, &params.k);
    if (rs != PLAT_REG_OK) return kStsFailed;
    tgx_wwn_hex(own, name, sizeof name);
    if (open_sub(params, name, true, &port) != PLAT_REG_OK) return kStsFailed;
    tgx_wwn_hex(init, name, sizeof name);
    if (open_sub(port, name, true, &initKey) != PLAT_REG_OK) return kStsFailed;
    memcpy(name, "WWPN", 4);
    tgx_wwn_hex(tgt, name + 4, sizeof name - 4);
    if (open_sub(initKey, name, true, &target) != PLAT_REG_OK ||
        plat_reg_create_subkey(target.k, kOasKey, &oas.k) != PLAT_REG_OK ||
        plat_reg_create_subkey(oas.k, lunName, &lunKey.k) != PLAT_REG_OK)
        return kStsFailed;
    rs = plat_reg_set_value(lunKey.k, kFlagValue, PLAT_REG_DWORD, &flag, sizeof flag);
    if (rs != PLAT_REG_OK) {
        TraceLog("TGX_SetOASLun: write Flag of %s status=%x\n", lunName, rs);
        return kStsFailed;
    }
    return kStsOk;
}

// Removes one LUN key of a pair. A key that is not there (or a chain that
// was never made) is no failure, and nothing is created for it.
uint32_t registry_disable(uint32_t board, const uint8_t* init, const uint8_t* tgt,
                          const char* lunName) {
    char path[128], own[17], initName[17], tgtName[17], full[256];
    uint8_t ownWwpn[8];
    parameters_path(board, path, sizeof path);
    if (!port_wwpn(board, ownWwpn)) return kStsFailed;
    tgx_wwn_hex(ownWwpn, own, sizeof own);
    tgx_wwn_hex(init, initName, sizeof initName);
    tgx_wwn_hex(tgt, tgtName, sizeof tgtName);
    snprintf(full, sizeof full, "%s\\%s\\%s\\WWPN%s\\%s\\%s", path, own, initName, tgtName, kOasKey,
             lunName);
    const int32_t rs = plat_reg_delete_key(PLAT_HKLM, full);
    if (rs != PLAT_REG_OK && rs != PLAT_REG_NOT_FOUND) {
        TraceLog("TGX_SetOASLun: delete %s status=%x\n", lunName, rs);
        return kStsFailed;
    }
    return kStsOk;
}

// The registry form of both set exports: bit 0 of the flag chooses between
// writing the LUN key and removing it.
uint32_t registry_set(uint32_t board, const uint8_t* init, const uint8_t* tgt, uint16_t lun,
                      uint32_t flag, bool enable) {
    char lunName[16];
    snprintf(lunName, sizeof lunName, "LUN%04X", (unsigned)lun);
    return enable ? registry_enable(board, init, tgt, lunName, flag)
                  : registry_disable(board, init, tgt, lunName);
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_GetOASLunList(uint32_t board, const uint8_t* initiatorWwpn,
                                                 const uint8_t* targetWwpn, uint32_t option,
                                                 OasLunList* list) {
    TraceLog("TGX_GetOASLunList: board=%x option=%x\n", board, option);
    if (!tgx_board_ok(board) || list == nullptr) return kStsFailed;
    if (option > kOptionRegistry) return kStsUnsupported;
    if (initiatorWwpn == nullptr)
        return option == kOptionDriver ? driver_all_pairs(board, list)
                                       : registry_all_pairs(board, list);
    if (targetWwpn == nullptr) return kStsFailed;
    TraceLog("TGX_GetOASLunList: init=" WWN_FMT " target=" WWN_FMT "\n", WWN_ARGS(initiatorWwpn),
             WWN_ARGS(targetWwpn));
    if (option == kOptionDriver) return driver_list_v2(board, initiatorWwpn, targetWwpn, list);
    return registry_pair(board, initiatorWwpn, targetWwpn, list);
}

extern "C" TGX_EXPORT uint32_t TGX_SetOASLun(uint32_t board, const uint8_t* initiatorWwpn,
                                             const uint8_t* targetWwpn, uint64_t lun,
                                             uint32_t option, uint8_t state) {
    TraceLog("TGX_SetOASLun: board=%x lun=%x option=%x state=%x\n", board, (unsigned)(lun & 0xFFFF),
             option, state);
    if (!tgx_board_ok(board) || initiatorWwpn == nullptr || targetWwpn == nullptr)
        return kStsFailed;
    if (option > kOptionRegistry) return kStsUnsupported;
    const uint16_t lun16 = (uint16_t)lun;
    if (option == kOptionRegistry)
        return registry_set(board, initiatorWwpn, targetWwpn, lun16, state, (state & 1) != 0);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_OAS_SET, TGX_IOCTL_SET_LUNOASV2, TGX_SIG_ZT);
    if (!env) return kStsSetNoMemory;
    uint8_t* p = env.payload();
    memcpy(p + TGX_OAS_SETV2_OFF_INIT, initiatorWwpn, 8);
    memcpy(p + TGX_OAS_SETV2_OFF_TARGET, targetWwpn, 8);
    tgx_wr32(p + TGX_OAS_SETV2_OFF_LUN, lun16);
    p[TGX_OAS_SETV2_OFF_STATE] = state & 1;
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_SET_LUNOASV2 I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    return list_status(kSetV2Rcs, tgx_env_rc(env), "OasSetDriverLunV2");
}

extern "C" TGX_EXPORT uint32_t TGX_SetOASLunV2(uint32_t board, const uint8_t* initiatorWwpn,
                                               const uint8_t* targetWwpn, uint32_t option,
                                               OasLunRecordV2* record) {
    if (!tgx_board_ok(board) || initiatorWwpn == nullptr || targetWwpn == nullptr ||
        record == nullptr || record->oasState > 1) {
        TraceLog("TGX_SetLunOASV2: Invalid parameter(s)\n");
        return kStsFailed;
    }
    TraceLog("TGX_SetOASLunV2: board=%x lun=%x option=%x version=%x state=%x priority=%x\n", board,
             (unsigned)record->oasLun, option, record->version, record->oasState, record->priority);
    if (!oas_v2_driver(board) || option > kOptionRegistry) return kStsUnsupported;
    if (record->version != 1) {
        record->version = 1;
        return kStsBadVersion;
    }
    if (option == kOptionRegistry)
        return registry_set(board, initiatorWwpn, targetWwpn, (uint16_t)record->oasLun,
                            (uint32_t)record->priority << 8 | record->oasState,
                            record->oasState != 0);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_OAS_SET, TGX_IOCTL_SET_LUNOASV3, TGX_SIG_ZT);
    if (!env) return kStsSetNoMemory;
    uint8_t* p = env.payload();
    p[TGX_OAS_SETV3_OFF_VERSION] = record->version;
    p[TGX_OAS_SETV3_OFF_STATE] = record->oasState;
    p[TGX_OAS_SETV3_OFF_PRIORITY] = record->priority;
    memcpy(p + TGX_OAS_SETV3_OFF_INIT, initiatorWwpn, 8);
    memcpy(p + TGX_OAS_SETV3_OFF_TARGET, targetWwpn, 8);
    tgx_wr32(p + TGX_OAS_SETV3_OFF_LUN, (uint32_t)record->oasLun);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_SET_LUNOASV3 I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    uint32_t status = rc;
    map_rc(kSetV3Rcs, rc, &status);
    return status;
}
