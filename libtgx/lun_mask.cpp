// LUN masking and target mapping: LUN lists and masks at the LUN, target and
// HBA levels, applied by the driver at once or kept in the registry of the
// masking filter ("qrxftr") in its own layout, the SCSI address of a target,
// the nodes and FCP targets a (virtual) port sees, and the move of registry
// masks from one kind of target name to another. The registry store itself
// is in lun_mask_registry.cpp.
#include <cstring>
#include <vector>

#include "libtgx/lun_mask_internal.h"

namespace {

constexpr uint32_t kLunLimit = 256; // first LUN + count stay below
constexpr uint32_t kMoveNodeCapacity = 512;

#define WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]
#define WWN_DOTS "%x.%x.%x.%x.%x.%x.%x.%x"

bool send(uint32_t board, TgxEnvelope& env) {
    return tgx_env_send(tgx_entry(board)->handle, env);
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
    return tgx_board_ok(board) && !lunmask_port_driver(board) &&
           tgx_target_scsi_ids(board, 0, wwpn, path, tid) == TGX_IDS_OK;
}

} // namespace

uint32_t lunmask_driver_luns(uint32_t board, const uint8_t* wwpn, uint32_t capacity,
                             uint32_t envSize, std::vector<DriverLun>* out, uint32_t* count) {
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

namespace {

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
    tgx_wr16(p + TGX_NODELIST_OFF_COUNT, (uint16_t)capacity);
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

bool valid_kind(uint32_t k) {
    return k == TGX_LUNMASK_BY_DID || k == TGX_LUNMASK_BY_WWPN || k == TGX_LUNMASK_BY_WWNN;
}

// VPI of a port for the exports that address one: kStsOk with *vpi, or the
// status of the lookup's failure.
uint32_t port_vpi(uint32_t board, const uint8_t* wwpn, uint32_t* vpi) {
    *vpi = tgxFindVPIid(board, wwpn);
    if (*vpi == TGX_VPI_FAILED) return kStsFailed;
    if (*vpi == TGX_VPI_NOT_FOUND) return kStsBadArg;
    if (*vpi == TGX_VPI_UNKNOWN) return kStsUnknown;
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
    if (lunmask_port_driver(board)) return kStsBadArg;
    std::vector<DriverLun> luns;
    uint32_t count = 0;
    const uint32_t st = lunmask_driver_luns(board, targetWwpn, kDriverLunCapacity,
                                            TGX_SIZE_INQUIRE_LUNLIST, &luns, &count);
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
    // A capacity too small is told with the driver's count; otherwise the count
    // is the entries filled, never more than the reply held.
    if (count > capacity) {
        list->count = count;
        return kStsMore;
    }
    list->count = n;
    return kStsOk;
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
    if (option != TGX_LUN_FROM_DRIVER || lunmask_port_driver(board)) return kStsBadArg;
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
    } else if (option == TGX_LUN_FROM_DRIVER && !lunmask_port_driver(board)) {
        std::vector<DriverLun> luns;
        uint32_t count = 0;
        st = lunmask_driver_luns(board, targetWwpn, 1, TGX_SIZE_INQUIRE_LUNLIST_ONE, &luns, &count);
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
    if (lunmask_port_driver(board)) return kStsBadArg;
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
    if (lunmask_port_driver(board)) return kStsBadArg;
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
    if (lunmask_port_driver(board)) return kStsBadArg;
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
    if (lunmask_port_driver(board)) return kStsBadArg;
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
    tgx_wr16(p + TGX_NODELIST_OFF_COUNT, (uint16_t)capacity);
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
