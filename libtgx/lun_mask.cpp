// LUN masking and target mapping: LUN lists and masks at the LUN, target and
// HBA levels, applied by the driver at once or kept in the registry of the
// masking filter ("qrxftr") in its own layout, the SCSI address of a target,
// the nodes and FCP targets a (virtual) port sees, and the move of registry
// masks from one kind of target name to another.
//
// Registry layout of the filter: "Services\qrxftr\NN" per HBA port (value
// "WWPN"), its "ScsiMap" (value "Flag" bit 1 = HBA-level unmask, "NumOfPorts")
// and one key per target ("WWPN%08x%08x", "WWNN%08x%08x" or "D_ID%06x") with
// "Flag" (bit 0 = target-level unmask) and "LunMapping" (LunMappingEntry[]).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of this family beyond kStsOk and kStsFailed.
constexpr uint32_t kStsBadArg = 2;       // bad option, type or kind; Port driver; refusal
constexpr uint32_t kStsRegMissing = 3;   // registry flag absent; driver ReturnCode 1
constexpr uint32_t kStsMapWrite = 4;     // LunMapping not written
constexpr uint32_t kStsUnknown = 5;      // target unknown; registry write failed
constexpr uint32_t kStsMore = 7;         // more entries than the capacity; link down
constexpr uint32_t kStsIdNoMemory = 9;   // identifier lookup and node list: no memory
constexpr uint32_t kStsLunNoMemory = 14; // LUN list and masks: no memory
constexpr uint32_t kStsBadBoard16 = 16;  // rescan, move, registry commands
constexpr uint32_t kStsVpNoMemory = 17;  // exports that address a (virtual) port
constexpr uint32_t kStsScsiIdBadBoard = 3;

// tgxFindVPIid results that are not a VPI.
constexpr uint32_t kVpiNotFound = 0xFFFFFE;
constexpr uint32_t kVpiFailed = 0xFFFFFD;
constexpr uint32_t kVpiUnknown = 0xFFFFFF;

// Registry commands.
constexpr uint32_t kCmdReadMap = 1;
constexpr uint32_t kCmdSet = 2;
constexpr uint32_t kCmdHbaFlag = 3;
constexpr uint32_t kCmdTargetFlag = 4;
constexpr uint32_t kCmdMove = 6;

constexpr uint32_t kLunLimit = 256; // first LUN + count stay below
constexpr uint32_t kDriverLunCapacity = 255;
constexpr uint32_t kMapMaxEntries = 255; // LunMapping holds at most this many
constexpr uint32_t kMoveNodeCapacity = 512;
constexpr uint32_t kValueMax = 3060; // largest registry value copied or read

const char kFilterKey[] = "SYSTEM\\CurrentControlSet\\Services\\qrxftr";
const char kScsiMap[] = "ScsiMap";

#define WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]
#define WWN_DOTS "%x.%x.%x.%x.%x.%x.%x.%x"

bool is_port_driver(uint32_t board) {
    return tgx_entry(board)->driverType == TGX_DRIVER_PORT;
}

bool send(uint32_t board, TgxEnvelope& env) {
    return tgx_env_send(tgx_entry(board)->handle, env);
}

uint32_t be32(const uint8_t* w) {
    return (uint32_t)w[0] << 24 | (uint32_t)w[1] << 16 | (uint32_t)w[2] << 8 | w[3];
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

// Entries of 'entry' bytes from payload offset 'at' that the envelope holds.
uint32_t reply_room(const TgxEnvelope& env, uint32_t at, uint32_t entry) {
    const uint32_t payload = env.size - TGX_ENV_HEADER_LENGTH;
    return payload < at ? 0 : (payload - at) / entry;
}

uint32_t min3(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t m = a < b ? a : b;
    return m < c ? m : c;
}

// ---- driver requests -----------------------------------------------------------

// True when the identifiers of a target on the physical port are known (never
// on a bad board or a Port driver).
bool scsi_ids(uint32_t board, const uint8_t* wwpn, uint32_t* path, uint32_t* tid) {
    return tgx_board_ok(board) && !is_port_driver(board) &&
           tgx_target_scsi_ids(board, 0, wwpn, path, tid) == TGX_IDS_OK;
}

// One LUN entry of the driver's list.
struct DriverLun {
    uint16_t osLun;
    uint32_t wordA, wordB;
    uint8_t state, unMask;
};

// The driver's LUN list of a target (capacity entries asked). *count gets the
// driver's count, out the entries the reply holds. Returns kStsOk, kStsUnknown
// (no identifiers), kStsFailed, kStsLunNoMemory or the ReturnCode (1 as 3).
uint32_t driver_luns(uint32_t board, const uint8_t* wwpn, uint32_t capacity, uint32_t envSize,
                     std::vector<DriverLun>* out, uint32_t* count) {
    uint32_t path = 0, tid = 0;
    if (!scsi_ids(board, wwpn, &path, &tid)) return kStsUnknown;
    TgxEnvelope env = tgx_env_alloc(envSize, TGX_IOCTL_INQUIRE_LUNLIST, TGX_SIG_ZT);
    if (!env) return kStsLunNoMemory;
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_LUNLIST_OFF_PATH, path);
    tgx_wr32(p + TGX_LUNLIST_OFF_TARGET, tid);
    tgx_wr32(p + TGX_LUNLIST_OFF_COUNT, capacity);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_LUNLIST I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    if (rc == 1) return kStsRegMissing;
    if (rc != 0) return rc;
    *count = tgx_rd32(p + TGX_LUNLIST_OFF_COUNT);
    // The driver's count is clipped to what was asked and what the reply holds.
    const uint32_t n =
        min3(*count, capacity, reply_room(env, TGX_LUNLIST_OFF_ENTRIES, TGX_LUNLIST_ENTRY));
    out->clear();
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = p + TGX_LUNLIST_OFF_ENTRIES + i * TGX_LUNLIST_ENTRY;
        out->push_back({tgx_rd16(e + TGX_LUNLIST_E_OSLUN), tgx_rd32(e + TGX_LUNLIST_E_WORDA),
                        tgx_rd32(e + TGX_LUNLIST_E_WORDB), e[TGX_LUNLIST_E_STATE],
                        e[TGX_LUNLIST_E_UNMASK]});
    }
    return kStsOk;
}

// Node list of port vpi into rec (rec->count in: capacity). The header and the
// entries the capacity, the count and the reply all allow are copied; the
// count becomes the driver's.
uint32_t inquireNodeList(uint32_t board, uint32_t vpi, NodeListRecord* rec, uint32_t* rc) {
    const uint32_t capacity = rec->count;
    TraceLog("inquireNodeList: nodeCnt=%x\n", capacity);
    const uint32_t size = capacity >= kMoveNodeCapacity
                              ? TGX_SIZE_NODELIST_ALL
                              : TGX_SIZE_NODELIST_BASE + TGX_NODELIST_ENTRY * capacity;
    TgxEnvelope env =
        tgx_env_alloc(size, TGX_VPI_CODE(TGX_IOCTL_INQUIRE_NODELIST, vpi), TGX_SIG_ZT);
    if (!env) return kStsIdNoMemory;
    uint8_t* p = env.payload();
    put16(p + TGX_NODELIST_OFF_COUNT, (uint16_t)capacity);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_INQUIRE_NODELIST I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    *rc = tgx_env_rc(env);
    const uint16_t count = tgx_rd16(p + TGX_NODELIST_OFF_COUNT);
    TraceLog("inquireNodeList rcvNodeCnt=0x%x flag=%x %x %x %x\n", count, p[2], p[3], p[4], p[5]);
    memcpy(rec, p, TGX_NODELIST_OFF_ENTRIES);
    const uint32_t n =
        min3(count, capacity, reply_room(env, TGX_NODELIST_OFF_ENTRIES, TGX_NODELIST_ENTRY));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = p + TGX_NODELIST_OFF_ENTRIES + i * TGX_NODELIST_ENTRY;
        NodeListEntry& o = rec->entries[i];
        o.word0 = tgx_rd32(e + TGX_NODE_E_WORD0);
        o.word1 = tgx_rd32(e + TGX_NODE_E_WORD1);
        o.word2 = tgx_rd32(e + TGX_NODE_E_WORD2);
        o.dId = tgx_rd32(e + TGX_NODE_E_DID);
        memcpy(o.wwnn, e + TGX_NODE_E_WWNN, 8);
        memcpy(o.wwpn, e + TGX_NODE_E_WWPN, 8);
        o.word32 = tgx_rd32(e + TGX_NODE_E_TAIL);
    }
    rec->count = count;
    return kStsOk;
}

// A node list record with room for capacity entries, owned.
struct NodeBuffer {
    std::vector<uint8_t> bytes;
    explicit NodeBuffer(uint32_t capacity)
        : bytes(offsetof(NodeListRecord, entries) + sizeof(NodeListEntry) * capacity, 0) {
        rec()->count = (uint16_t)capacity;
    }
    NodeListRecord* rec() { return reinterpret_cast<NodeListRecord*>(bytes.data()); }
    // Entries the buffer holds and the driver reported.
    uint32_t filled(uint32_t capacity) { return rec()->count < capacity ? rec()->count : capacity; }
};

// ---- registry store of the filter ---------------------------------------------

struct Key {
    PlatRegKey k = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (k) plat_reg_close_key(k);
    }
};

bool read_dword(PlatRegKey k, const char* name, uint32_t* v) {
    uint32_t type = 0, size = sizeof *v;
    return plat_reg_query_value(k, name, &type, v, &size) == PLAT_REG_OK &&
           type == PLAT_REG_DWORD && size == sizeof *v;
}

bool write_dword(PlatRegKey k, const char* name, uint32_t v) {
    return plat_reg_set_value(k, name, PLAT_REG_DWORD, &v, sizeof v) == PLAT_REG_OK;
}

void wwn_key_name(const char* prefix, const uint8_t* w, char* out, size_t size) {
    snprintf(out, size, "%s%08x%08x", prefix, be32(w), be32(w + 4));
}

// Kind of a target key by its name prefix (either case); 0 for other keys.
uint32_t key_kind(const char* name) {
    if (strncasecmp(name, "D_ID", 4) == 0) return TGX_LUNMASK_BY_DID;
    if (strncasecmp(name, "WWPN", 4) == 0) return TGX_LUNMASK_BY_WWPN;
    if (strncasecmp(name, "WWNN", 4) == 0) return TGX_LUNMASK_BY_WWNN;
    return 0;
}

// Names of the subkeys of k.
std::vector<std::string> subkeys(PlatRegKey k) {
    std::vector<std::string> out;
    char name[256];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        const int32_t st = plat_reg_enum_key(k, i, name, &size);
        if (st == PLAT_REG_MORE_DATA) continue;
        if (st != PLAT_REG_OK) break;
        out.push_back(name);
    }
    return out;
}

// Rewrites "NumOfPorts" of a ScsiMap with the number of its target keys;
// *count receives that number.
int32_t write_num_of_ports(PlatRegKey scsiMap, uint32_t* count) {
    uint32_t n = 0;
    for (const std::string& s : subkeys(scsiMap))
        n += key_kind(s.c_str()) != 0;
    *count = n;
    return write_dword(scsiMap, "NumOfPorts", n) ? PLAT_REG_OK : PLAT_REG_ERROR;
}

// The instance key of the port with this WWPN text; *highest gets the highest
// instance number seen (-1 when none).
bool find_instance(PlatRegKey svc, const char* portText, Key* inst, int* highest) {
    *highest = -1;
    for (const std::string& name : subkeys(svc)) {
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        const int number = atoi(name.c_str());
        if (number > *highest) *highest = number;
        Key k;
        if (plat_reg_open_subkey(svc, name.c_str(), &k.k) != PLAT_REG_OK) {
            TraceLog("RegistryCmd: Open Instance Key error\n");
            continue;
        }
        char text[40] = {0};
        uint32_t type = 0, size = sizeof text - 1;
        if (plat_reg_query_value(k.k, "WWPN", &type, text, &size) != PLAT_REG_OK) continue;
        text[sizeof text - 1] = '\0';
        unsigned hi = 0, lo = 0;
        char own[20];
        if (sscanf(text, "%8x%8x", &hi, &lo) != 2) continue;
        snprintf(own, sizeof own, "%08x%08x", hi, lo);
        if (strcmp(own, portText) == 0) {
            inst->k = k.k;
            k.k = nullptr;
            return true;
        }
    }
    return false;
}

// Operation code of a set from the mask flag; 0 when the level is unknown.
uint32_t set_operation(uint32_t maskFlag) {
    const uint32_t level = maskFlag & 7;
    const bool mask = (maskFlag & TGX_LUNMASK_MASK) != 0;
    switch (level) {
    case TGX_LUNMASK_LEVEL_LUN:
        return mask ? 1 : 5;
    case TGX_LUNMASK_LEVEL_TARGET:
        return mask ? 2 : 6;
    case TGX_LUNMASK_LEVEL_HBA:
        return mask ? 3 : 7;
    default:
        return 0;
    }
}

// Arguments and results of one registry command.
struct RegCmd {
    uint32_t board;
    uint32_t cmd;
    const uint8_t* target;           // target WWPN (commands 1, 2, 4)
    LunListRecord* list;             // command 1
    uint32_t first;                  // command 2: first LUN; command 6: source kind
    uint32_t count;                  // command 2: LUN count; command 6: destination kind
    uint32_t maskFlag;               // command 2
    uint32_t op = 0;                 // command 2: operation code
    uint32_t flag = 0;               // commands 3, 4: out
    NodeListRecord* nodes = nullptr; // command 6
    uint32_t nodeCount = 0;
};

// The empty answers of a command that finds no registry state.
uint32_t nothing_stored(RegCmd& c) {
    if (c.cmd == kCmdReadMap) {
        c.list->count = 0;
        return kStsOk;
    }
    if (c.cmd == kCmdMove) return kStsOk;
    return kStsRegMissing;
}

uint32_t moveLunMaskInfo(PlatRegKey scsiMap, RegCmd& c);

// HBA level; returns true when the command is finished (*status set).
bool hba_level(PlatRegKey scsiMap, RegCmd& c, uint8_t* levelBits, uint32_t* status) {
    uint32_t oFlag = 0;
    const bool have = read_dword(scsiMap, "Flag", &oFlag);
    if (c.cmd == kCmdReadMap) {
        if (have && (oFlag & 2)) *levelBits |= TGX_UNMASK_HBA;
        return false;
    }
    if (c.cmd == kCmdHbaFlag) {
        c.flag = have && (oFlag & 2) ? TGX_UNMASK_HBA : 0;
        *status = have ? kStsOk : kStsRegMissing;
        return true;
    }
    if (c.op != 3 && c.op != 7) return false;
    const uint32_t flag = c.op == 7 ? (oFlag | 2) : (oFlag & ~2u);
    TraceLog("HBALeveLunMask: oFlag=%x Write Flag=%x, cmd=%x op=%x\n", oFlag, flag, c.cmd, c.op);
    *status = write_dword(scsiMap, "Flag", flag) ? kStsOk : kStsUnknown;
    return true;
}

// Target level; returns true when the command is finished (*status set).
bool target_level(PlatRegKey target, RegCmd& c, uint8_t* levelBits, uint32_t* status) {
    uint32_t oFlag = 0;
    const bool have = read_dword(target, "Flag", &oFlag);
    if (c.cmd == kCmdReadMap) {
        if (have && (oFlag & 1)) *levelBits |= TGX_UNMASK_TARGET;
        return false;
    }
    if (c.cmd == kCmdTargetFlag) {
        c.flag = have && (oFlag & 1) ? TGX_UNMASK_TARGET : 0;
        *status = have ? kStsOk : kStsRegMissing;
        return true;
    }
    if (c.op != 2 && c.op != 6) return false;
    const uint32_t flag = c.op == 6 ? (oFlag | 1) : (oFlag & ~1u);
    TraceLog("TargetLeveLunMask: oFlag=%x Write Flag=%x, cmd=%x op=%x\n", oFlag, flag, c.cmd, c.op);
    *status = write_dword(target, "Flag", flag) ? kStsOk : kStsUnknown;
    return true;
}

// LUN level: command 1 reads the mapping into the caller's list, command 2
// marks (operation 1) or clears (5) the LUNs of the range.
uint32_t lun_level(PlatRegKey target, RegCmd& c, uint8_t levelBits) {
    std::vector<LunMappingEntry> map(kMapMaxEntries);
    uint32_t type = 0, size = kMapMaxEntries * sizeof(LunMappingEntry);
    const int32_t st = plat_reg_query_value(target, "LunMapping", &type, map.data(), &size);
    if (st == PLAT_REG_NOT_FOUND)
        size = 0;
    else if (st != PLAT_REG_OK)
        return kStsFailed;
    map.resize(size / sizeof(LunMappingEntry));

    if (c.cmd == kCmdReadMap) {
        const uint32_t capacity = c.list->count;
        const uint32_t n = (uint32_t)map.size() < capacity ? (uint32_t)map.size() : capacity;
        for (uint32_t i = 0; i < n; ++i) {
            LunListEntry& e = c.list->entries[i];
            e.wordA = map[i].wordA;
            e.wordB = map[i].wordB;
            e.osLun = map[i].lun;
            e.state = (uint8_t)((map[i].flags >> 1) & 1);
            e.unMask = (uint8_t)(levelBits | (~map[i].flags & 1));
            TraceLog("osLun=%x State=%x unMask=%x\n", e.osLun, e.state, e.unMask);
        }
        c.list->count = (uint32_t)map.size();
        return map.size() > capacity ? kStsMore : kStsOk;
    }

    std::vector<DriverLun> driver;
    uint32_t driverCount = 0;
    if (driver_luns(c.board, c.target, kDriverLunCapacity, TGX_SIZE_INQUIRE_LUNLIST, &driver,
                    &driverCount) != kStsOk)
        return kStsFailed;
    TraceLog("\nLunMapCnt=%d startLun=%x\n", (int)map.size(), c.first);
    const uint16_t bit = c.op == 1 ? 1 : 0;
    for (uint32_t lun = c.first; lun < c.first + c.count; ++lun) {
        LunMappingEntry* have = nullptr;
        for (LunMappingEntry& m : map)
            if (m.lun == lun) have = &m;
        if (have) {
            have->flags = (uint16_t)((have->flags & ~1u) | bit);
            continue;
        }
        // The map holds 255 entries at most: a set that needs more is refused
        // whole, before anything is written.
        if (map.size() >= kMapMaxEntries) return kStsMapWrite;
        LunMappingEntry add = {(uint16_t)lun, bit, 0, 0};
        for (const DriverLun& d : driver)
            if (d.osLun == lun) {
                add.wordA = d.wordA;
                add.wordB = d.wordB;
            }
        map.push_back(add);
    }
    const uint32_t bytes = (uint32_t)(map.size() * sizeof(LunMappingEntry));
    if (plat_reg_set_value(target, "LunMapping", PLAT_REG_BINARY, map.data(), bytes) != PLAT_REG_OK)
        return kStsMapWrite;
    return kStsOk;
}

// Steps of a registry command on an open "ScsiMap".
uint32_t on_scsi_map(PlatRegKey scsiMap, RegCmd& c) {
    if (c.cmd == kCmdMove) return moveLunMaskInfo(scsiMap, c);
    uint8_t levelBits = 0;
    uint32_t status = kStsOk;
    if (c.cmd != kCmdTargetFlag && hba_level(scsiMap, c, &levelBits, &status)) return status;
    char name[32];
    wwn_key_name("WWPN", c.target, name, sizeof name);
    Key target;
    int32_t st;
    if (c.cmd == kCmdSet) {
        st = plat_reg_create_subkey(scsiMap, name, &target.k);
        if (st == PLAT_REG_OK) {
            uint32_t ports = 0;
            const int32_t w = write_num_of_ports(scsiMap, &ports);
            TraceLog("RegisterCmd: NumOfPort=%x status=%x\n", ports, (unsigned)w);
            if (w != PLAT_REG_OK) return kStsUnknown;
        }
    } else {
        st = plat_reg_open_subkey(scsiMap, name, &target.k);
    }
    if (st != PLAT_REG_OK) {
        TraceLog("Open Target Key failed cmd = %x %s\n", c.cmd, name);
        if (c.cmd == kCmdReadMap) return nothing_stored(c);
        return c.cmd == kCmdTargetFlag ? kStsRegMissing : kStsFailed;
    }
    if (target_level(target.k, c, &levelBits, &status)) return status;
    return lun_level(target.k, c, levelBits);
}

uint32_t RegisterCmd(RegCmd& c) {
    if (!tgx_board_ok(c.board)) return kStsBadBoard16;
    if (is_port_driver(c.board)) return kStsBadArg;
    HBA_PortAttributes pa = {};
    if (GetAdapterPortAttributes(c.board, 0, &pa) != 0) return kStsFailed;
    if (c.cmd == kCmdSet) {
        c.op = set_operation(c.maskFlag);
        if (c.op == 0) return kStsBadArg;
    }
    char portText[20];
    snprintf(portText, sizeof portText, "%08x%08x", be32(pa.PortWWN), be32(pa.PortWWN + 4));

    Key svc;
    if (plat_reg_open_key(PLAT_HKLM, kFilterKey, &svc.k) != PLAT_REG_OK) {
        if (c.cmd != kCmdSet) return nothing_stored(c);
        if (plat_reg_create_key(PLAT_HKLM, kFilterKey, &svc.k) != PLAT_REG_OK) return kStsFailed;
    }
    Key inst;
    int highest = -1;
    Key scsiMap;
    if (!find_instance(svc.k, portText, &inst, &highest)) {
        if (c.cmd != kCmdSet) return nothing_stored(c);
        // A fresh instance numbered above every one present, with its
        // "WWPN" and "ScsiMap"; the set then applies to the empty tree.
        char number[16];
        snprintf(number, sizeof number, "%02d", highest + 1 > 0 ? highest + 1 : 1);
        if (plat_reg_create_subkey(svc.k, number, &inst.k) != PLAT_REG_OK ||
            plat_reg_set_value(inst.k, "WWPN", PLAT_REG_SZ, portText,
                               (uint32_t)strlen(portText) + 1) != PLAT_REG_OK ||
            plat_reg_create_subkey(inst.k, kScsiMap, &scsiMap.k) != PLAT_REG_OK)
            return kStsUnknown;
        return on_scsi_map(scsiMap.k, c);
    }
    const int32_t st = c.cmd == kCmdSet ? plat_reg_create_subkey(inst.k, kScsiMap, &scsiMap.k)
                                        : plat_reg_open_subkey(inst.k, kScsiMap, &scsiMap.k);
    if (st != PLAT_REG_OK) {
        if (c.cmd == kCmdReadMap || c.cmd == kCmdMove) return nothing_stored(c);
        if (c.cmd == kCmdHbaFlag || c.cmd == kCmdTargetFlag) return kStsRegMissing;
        return kStsFailed;
    }
    return on_scsi_map(scsiMap.k, c);
}

// ---- moving registry masks between kinds of target names ---------------------

// The node a target key names, or null.
const NodeListEntry* node_named(const std::string& name, uint32_t kind, RegCmd& c) {
    for (uint32_t i = 0; i < c.nodeCount; ++i) {
        const NodeListEntry& n = c.nodes->entries[i];
        char own[32];
        if (kind == TGX_LUNMASK_BY_DID)
            snprintf(own, sizeof own, "D_ID%06x", n.dId);
        else
            wwn_key_name(kind == TGX_LUNMASK_BY_WWPN ? "WWPN" : "WWNN",
                         kind == TGX_LUNMASK_BY_WWPN ? n.wwpn : n.wwnn, own, sizeof own);
        // D_ID names must read back exactly; WWN names compare without case.
        const bool same =
            kind == TGX_LUNMASK_BY_DID ? name == own : strcasecmp(name.c_str(), own) == 0;
        if (same) {
            if (kind == TGX_LUNMASK_BY_DID) {
                TraceLog("moveLunMaskInfo: d_id found %x\n", n.dId);
                TraceLog("moveLunMaskInfo: nodeList d_id=%x nodeNo=%x\n", n.dId, i);
            } else {
                TraceLog(kind == TGX_LUNMASK_BY_WWPN ? "moveLunMaskInfo: WWPN match found\n"
                                                     : "moveLunMaskInfo: WWNN found\n");
            }
            return &n;
        }
    }
    return nullptr;
}

// Copies every value of src into dst; false on the first failure.
bool copy_values(PlatRegKey src, PlatRegKey dst) {
    std::vector<uint8_t> data(kValueMax);
    char name[256];
    for (uint32_t i = 0;; ++i) {
        uint32_t nameSize = sizeof name, type = 0, size = kValueMax;
        const int32_t st = plat_reg_enum_value(src, i, name, &nameSize, &type, data.data(), &size);
        if (st == PLAT_REG_NO_MORE_ITEMS) return true;
        if (st != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Query target value failed\n");
            return false;
        }
        TraceLog("moveLunMaskInfo: Query target key value size=%x\n", size);
        if (plat_reg_set_value(dst, name, type, data.data(), size) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: write value to dest key failed\n");
            return false;
        }
    }
}

uint32_t moveLunMaskInfo(PlatRegKey scsiMap, RegCmd& c) {
    const uint32_t source = c.first, dest = c.count;
    TraceLog("moveLunMaskInfo: source=%x dest=%x nodeCnt=%x\n", source, dest, c.nodeCount);
    bool matched = false;
    for (const std::string& name : subkeys(scsiMap)) {
        if (key_kind(name.c_str()) != source) continue;
        const NodeListEntry* n = node_named(name, source, c);
        if (!n) continue;
        Key src, dst;
        if (plat_reg_open_subkey(scsiMap, name.c_str(), &src.k) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Open Target Key Failed\n");
            return kStsFailed;
        }
        char destName[32];
        if (dest == TGX_LUNMASK_BY_DID)
            snprintf(destName, sizeof destName, "D_ID%06x", n->dId & 0xFFFFFF);
        else
            wwn_key_name(dest == TGX_LUNMASK_BY_WWPN ? "WWPN" : "WWNN",
                         dest == TGX_LUNMASK_BY_WWPN ? n->wwpn : n->wwnn, destName,
                         sizeof destName);
        TraceLog("moveLunMaskInfo: WWN=%x %x\n", be32(n->wwpn), be32(n->wwpn + 4));
        if (plat_reg_create_subkey(scsiMap, destName, &dst.k) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Error on creating destination key\n");
            return kStsFailed;
        }
        if (!copy_values(src.k, dst.k)) return kStsFailed;
        matched = true;
    }
    if (!matched) {
        TraceLog("moveLunMaskInfo: No (matched) entries found\n");
        return kStsOk;
    }
    uint32_t ports = 0;
    const int32_t st = write_num_of_ports(scsiMap, &ports);
    TraceLog("moveLunMaskInfo: portCnt=%x status=%x\n", ports, (unsigned)st);
    return kStsOk;
}

bool valid_kind(uint32_t k) {
    return k == TGX_LUNMASK_BY_DID || k == TGX_LUNMASK_BY_WWPN || k == TGX_LUNMASK_BY_WWNN;
}

// VPI of a port for the exports that address one: kStsOk with *vpi, or the
// status of the lookup's failure.
uint32_t port_vpi(uint32_t board, const uint8_t* wwpn, uint32_t* vpi) {
    *vpi = tgxFindVPIid(board, wwpn);
    if (*vpi == kVpiFailed) return kStsFailed;
    if (*vpi == kVpiNotFound) return kStsBadArg;
    if (*vpi == kVpiUnknown) return kStsUnknown;
    return kStsOk;
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_GetLunList(uint32_t board, const uint8_t* targetWwpn,
                                              uint32_t option, LunListRecord* list) {
    TraceLog("TGX_GetLunList:, board=%d\n", board);
    if (targetWwpn == nullptr || list == nullptr) return kStsFailed;
    TraceLog("GetLunList: option=%x target=" WWN_DOTS "\n", option, WWN_ARGS(targetWwpn));
    if (!tgx_board_ok(board)) return kStsFailed;
    if (option == TGX_LUN_FROM_REGISTRY) {
        RegCmd c = {board, kCmdReadMap, targetWwpn, list, 0, 0, 0};
        return RegisterCmd(c);
    }
    if (option != TGX_LUN_FROM_DRIVER) return kStsBadArg;
    if (is_port_driver(board)) return kStsBadArg;
    std::vector<DriverLun> luns;
    uint32_t count = 0;
    const uint32_t st =
        driver_luns(board, targetWwpn, kDriverLunCapacity, TGX_SIZE_INQUIRE_LUNLIST, &luns, &count);
    if (st != kStsOk) return st;
    const uint32_t capacity = list->count;
    const uint32_t n = (uint32_t)luns.size() < capacity ? (uint32_t)luns.size() : capacity;
    for (uint32_t i = 0; i < n; ++i) {
        LunListEntry& e = list->entries[i];
        e.wordA = luns[i].wordA;
        e.wordB = luns[i].wordB;
        e.osLun = luns[i].osLun;
        e.state = luns[i].state & 1;
        e.unMask = luns[i].unMask;
        if (i < 16)
            TraceLog("osLun=%x State=%x %x unMask=%x\n", e.osLun, e.state, luns[i].state, e.unMask);
    }
    list->count = count;
    return count > capacity ? kStsMore : kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_SetLunMask(uint32_t board, const uint8_t* targetWwpn,
                                              uint32_t type, uint32_t firstLun, uint32_t lunCount,
                                              uint32_t maskFlag) {
    TraceLog("TGX_SetLunMask:, board=%d\n", board);
    if (targetWwpn == nullptr) return kStsFailed;
    TraceLog("SetLunMask: lun=%x cnt=%x maskFlag=%x target=" WWN_DOTS "\n", firstLun, lunCount,
             maskFlag, WWN_ARGS(targetWwpn));
    if ((uint64_t)firstLun + lunCount >= kLunLimit || type > TGX_LUNMASK_BOTH) return kStsBadArg;
    if (type != TGX_LUNMASK_DRIVER) {
        RegCmd c = {board, kCmdSet, targetWwpn, nullptr, firstLun, lunCount, maskFlag};
        const uint32_t st = RegisterCmd(c);
        // A registry failure is reported, also when the driver is asked too.
        if (type == TGX_LUNMASK_REGISTRY || st != kStsOk) return st;
    }
    if (!tgx_board_ok(board)) return kStsFailed;
    uint32_t path = 0, tid = 0;
    if (!scsi_ids(board, targetWwpn, &path, &tid)) return kStsUnknown;
    uint32_t word = maskFlag & 7;
    if (word == TGX_LUNMASK_LEVEL_LUN)
        word = TGX_MASK_LEVEL_LUN;
    else if (word == TGX_LUNMASK_LEVEL_TARGET)
        word = TGX_MASK_LEVEL_TARGET;
    else if (word == TGX_LUNMASK_LEVEL_HBA)
        word = TGX_MASK_LEVEL_HBA;
    else
        word = maskFlag & ~TGX_LUNMASK_MASK;
    word |= maskFlag & TGX_LUNMASK_MASK;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_MULTI_LUNMASK, TGX_IOCTL_MULTI_LUNMASKING, TGX_SIG_ZT);
    if (!env) return kStsLunNoMemory;
    uint8_t* p = env.payload();
    tgx_wr32(p, path);
    tgx_wr32(p + 4, tid);
    tgx_wr32(p + 8, firstLun);
    tgx_wr32(p + 12, lunCount);
    tgx_wr32(p + 16, word);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_MULTI_LUNMASKING I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    TraceLog("SetLunMask: ReturnCode=%x\n", rc);
    return rc != 0 ? kStsBadArg : kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetLunUnMaskbyHBA(uint32_t board, uint32_t option,
                                                     uint32_t* flag) {
    TraceLog("GetLunUnMaskByHBA: board=%x option=%x\n", board, option);
    if (flag == nullptr || !tgx_board_ok(board)) return kStsFailed;
    if (option == TGX_LUN_FROM_REGISTRY) {
        RegCmd c = {board, kCmdHbaFlag, nullptr, nullptr, 0, 0, 0};
        const uint32_t st = RegisterCmd(c);
        *flag = st == kStsOk && c.flag == TGX_UNMASK_HBA ? 1 : 0;
        TraceLog("GetLunUnMaskbyHBA: status=%x flag=%x\n", st, *flag);
        return st;
    }
    if (option != TGX_LUN_FROM_DRIVER || is_port_driver(board)) return kStsBadArg;
    NodeBuffer nodes(1);
    uint32_t rc = 0;
    uint32_t st = inquireNodeList(board, 0, nodes.rec(), &rc);
    if (st == kStsOk) st = rc;
    *flag = st == kStsOk && (nodes.rec()->flags & TGX_NODELIST_FLAG_HBA_UNMASK) ? 1 : 0;
    TraceLog("GetLunUnMaskbyHBA: status=%x HBA flag=%x\n", st, *flag);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_GetLunUnMaskbyTarget(uint32_t board, const uint8_t* targetWwpn,
                                                        uint32_t option, uint32_t* flag) {
    TraceLog("TGX_GetLunUnMaskbyTarget:, board=%d\n", board);
    if (targetWwpn == nullptr || flag == nullptr) return kStsFailed;
    TraceLog("GetLunUnMaskbyTarget: option=%x target=" WWN_DOTS "\n", option, WWN_ARGS(targetWwpn));
    if (!tgx_board_ok(board)) return kStsFailed;
    uint32_t st;
    if (option == TGX_LUN_FROM_REGISTRY) {
        RegCmd c = {board, kCmdTargetFlag, targetWwpn, nullptr, 0, 0, 0};
        st = RegisterCmd(c);
        *flag = st == kStsOk && c.flag == TGX_UNMASK_TARGET ? 1 : 0;
    } else if (option == TGX_LUN_FROM_DRIVER && !is_port_driver(board)) {
        std::vector<DriverLun> luns;
        uint32_t count = 0;
        st = driver_luns(board, targetWwpn, 1, TGX_SIZE_INQUIRE_LUNLIST_ONE, &luns, &count);
        *flag = st == kStsOk && !luns.empty() && luns[0].unMask == TGX_UNMASK_TARGET ? 1 : 0;
    } else {
        return kStsBadArg;
    }
    TraceLog("GetLunUnMaskbyTarget: flag=%x\n", *flag);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_RescanLUNs(uint32_t board) {
    TraceLog("TGX_RescanLUNs:, board=%d\n", board);
    if (!tgx_board_ok(board)) return kStsBadBoard16;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_RESCAN, TGX_IOCTL_SCSI_RESCAN_BUS, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    // A driver that answers with a ReturnCode did not rescan either.
    if (!send(board, env) || tgx_env_rc(env) != 0) {
        TraceLog("IOCTL_SCSI_RESCAN_BUS I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_MoveRegLUNMask(uint32_t board, uint32_t source, uint32_t dest) {
    TraceLog("MoveRegLUNMask: board=%d, source=%x dest=%x\n", board, source, dest);
    if (!tgx_board_ok(board)) return kStsBadBoard16;
    if (!valid_kind(source) || !valid_kind(dest)) return kStsBadArg;
    if (source == dest) return kStsOk;
    if (is_port_driver(board)) return kStsBadArg;
    // The record gets room for every node the capacity allows.
    NodeBuffer nodes(kMoveNodeCapacity);
    uint32_t rc = 0;
    const uint32_t st = inquireNodeList(board, 0, nodes.rec(), &rc);
    if (st == kStsIdNoMemory) return kStsLunNoMemory;
    if (st != kStsOk) return st;
    RegCmd c = {board, kCmdMove, nullptr, nullptr, source, dest, 0};
    c.nodes = nodes.rec();
    c.nodeCount = nodes.filled(kMoveNodeCapacity);
    // The driver's count may exceed what its reply held.
    const uint32_t held =
        (TGX_SIZE_NODELIST_ALL - TGX_ENV_HEADER_LENGTH - TGX_NODELIST_OFF_ENTRIES) /
        TGX_NODELIST_ENTRY;
    if (c.nodeCount > held) c.nodeCount = held;
    return RegisterCmd(c);
}

extern "C" TGX_EXPORT uint32_t TGX_GetScsiID(uint32_t board, const uint8_t* portWwpn,
                                             TGX_ScsiIdRecord* rec) {
    TraceLog("TGX_GetScsiID: board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsScsiIdBadBoard;
    if (is_port_driver(board)) return kStsBadArg;
    if (portWwpn == nullptr || rec == nullptr) return kStsFailed;
    uint32_t vpi = 0;
    const uint32_t vs = port_vpi(board, portWwpn, &vpi);
    if (vs != kStsOk) return vs;
    TraceLog("TGX_GetScsiId: VPI_id=" WWN_FMT "\n", WWN_ARGS(portWwpn));
    DebugTrace("TGX_GetScsiId: Found VPI_id=%x " WWN_FMT "\n", vpi, WWN_ARGS(portWwpn));
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_INQUIRE_SCSIID,
                                    TGX_VPI_CODE(TGX_IOCTL_INQUIRE_SCSIID, vpi), TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    memcpy(p + TGX_SCSIID_OFF_WWPN, rec->targetWwpn, 8);
    tgx_wr32(p + TGX_SCSIID_OFF_FLAGS, rec->requestFlags);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID I/O Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    if (rc != 0) return rc;
    const uint32_t state = tgx_rd32(p + TGX_SCSIID_OFF_FLAGS);
    const uint32_t path = tgx_rd32(p + TGX_SCSIID_OFF_PATH);
    const uint32_t tid = tgx_rd32(p + TGX_SCSIID_OFF_TARGET);
    TraceLog("TGX_GetScsiID: nodeState=%x pathId=%x targetId=%x\n", state, path, tid);
    if (!(state & TGX_NODE_EXISTS)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID: Target doesn't exist rc=%lx\n", (unsigned long)rc);
        return kStsUnknown;
    }
    if (state & TGX_NODE_LINK_DOWN) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID: LinkDown rc=%lx\n", (unsigned long)rc);
        return kStsMore;
    }
    if (!(state & TGX_NODE_READY)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID: Node Not Ready rc=%lx\n", (unsigned long)rc);
        return kStsFailed;
    }
    rec->pathId = path;
    rec->targetId = tid;
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetFcpTargetMappingByWWN(uint32_t board, const uint8_t* portWwpn,
                                                            TGX_FcpTargetMapping* mapping) {
    if (portWwpn == nullptr || mapping == nullptr) return kStsFailed;
    TraceLog("TGX_GetFcpTargetMappingByWWN: board=%x vp=" WWN_FMT "\n", board, WWN_ARGS(portWwpn));
    if (!tgx_board_ok(board)) return kStsFailed;
    if (is_port_driver(board)) return kStsBadArg;
    uint32_t vpi = 0;
    const uint32_t vs = port_vpi(board, portWwpn, &vpi);
    TraceLog("TGX_GetFcpTargetMappingByWWN: Find VPI_id=%x\n", vpi);
    if (vs != kStsOk) return vs;
    const uint32_t capacity = mapping->count ? mapping->count : 1;
    // Capacities whose request size cannot be represented are refused.
    if (capacity > (0xFFFFFFFFu - TGX_SIZE_TARGET_MAPPING_BASE) / TGX_MAPPING_ENTRY)
        return kStsVpNoMemory;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_TARGET_MAPPING_BASE + TGX_MAPPING_ENTRY * capacity,
                                    TGX_VPI_CODE(TGX_IOCTL_FCP_TARGET_MAPPING, vpi), TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    memcpy(p + TGX_MAPPING_OFF_WWPN, portWwpn, 8);
    tgx_wr32(p + TGX_MAPPING_OFF_CAPACITY, capacity);
    if (!send(board, env)) {
        TraceLog("Error %d, occurred for command request, GetLastError returned %d\n", 1,
                 (int)plat_last_error());
        TraceLog("  driver error %d, \n", (int)tgx_env_rc(env));
        TraceLog("\n");
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    TraceLog("TGX_GetFcpTargetMappingByWWN: returnCode=%x\n", rc);
    const uint32_t count = tgx_rd32(p + TGX_MAPPING_OFF_CAPACITY);
    if (rc != 0 && rc != TGX_MAPPING_RC_MORE && count == 0) {
        TraceLog("TGX_GetFcpTargetMappingByWWN: Error - No entry found\n");
        return rc;
    }
    TraceLog("TGX_GetFcpTargetMappingByWWN: rtnEntries=%x reqEntries=%x\n", count, capacity);
    const uint32_t n =
        min3(count, capacity, reply_room(env, TGX_MAPPING_OFF_ENTRIES, TGX_MAPPING_ENTRY));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = p + TGX_MAPPING_OFF_ENTRIES + i * TGX_MAPPING_ENTRY;
        TGX_FcpMappingEntry& o = mapping->entries[i];
        memcpy(o.osDeviceName, e, sizeof o.osDeviceName);
        o.osDeviceName[sizeof o.osDeviceName - 1] = '\0';
        o.scsiBus = tgx_rd32(e + 256);
        o.scsiTarget = tgx_rd32(e + 260);
        o.scsiOsLun = tgx_rd32(e + 264);
        o.fcId = tgx_rd32(e + 272);
        memcpy(o.nodeWwn, e + 276, 8);
        memcpy(o.portWwn, e + 284, 8);
        o.fcpLunLo = tgx_rd32(e + 296);
        o.fcpLunHi = tgx_rd32(e + 300);
    }
    mapping->count = count;
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_GetAllNodeInfoByWWN(uint32_t board, const uint8_t* portWwpn,
                                                       TGX_NodeInfo* info) {
    TraceLog("TGX_GetAllNodeInfoByWWN: board=%x\n", board);
    if (portWwpn == nullptr || info == nullptr || !tgx_board_ok(board)) return kStsFailed;
    if (is_port_driver(board)) return kStsBadArg;
    const uint32_t capacity = info->count;
    if (capacity > TGX_NODE_INFO_MAX) return kStsMore;
    uint32_t vpi = 0;
    const uint32_t vs = port_vpi(board, portWwpn, &vpi);
    TraceLog("TGX_GetAllNodeInfoByWWN: board=%x vpiId=%x\n", board, vpi);
    DebugTrace("TGX_GetAllNodeInfoByWWN: VPI_id=%x\n", vpi);
    if (vs != kStsOk) return vs;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NODELIST_ALL,
                                    TGX_VPI_CODE(TGX_IOCTL_NPIV_GETTARGET, vpi), TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    put16(p + TGX_NODELIST_OFF_COUNT, (uint16_t)capacity);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_GETTARGET Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint16_t count = tgx_rd16(p + TGX_NODELIST_OFF_COUNT);
    const uint16_t flags = tgx_rd16(p + TGX_NODELIST_OFF_FLAGS);
    // The envelope holds 511 nodes: never more are read, whatever the count.
    const uint32_t n =
        min3(count, capacity, reply_room(env, TGX_NODELIST_OFF_ENTRIES, TGX_NODELIST_ENTRY));
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = p + TGX_NODELIST_OFF_ENTRIES + i * TGX_NODELIST_ENTRY;
        TGX_NodeInfoEntry& o = info->entries[i];
        memset(&o, 0, sizeof o);
        o.listFlags = flags;
        o.word0 = tgx_rd32(e + TGX_NODE_E_WORD0);
        o.word1 = tgx_rd32(e + TGX_NODE_E_WORD1);
        o.dId = tgx_rd32(e + TGX_NODE_E_DID);
        memcpy(o.wwnn, e + TGX_NODE_E_WWNN, 8);
        memcpy(o.wwpn, e + TGX_NODE_E_WWPN, 8);
        o.word2 = tgx_rd32(e + TGX_NODE_E_WORD2);
    }
    info->count = count;
    return tgx_env_rc(env);
}
