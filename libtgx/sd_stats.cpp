// SD statistics: the bucket layout the driver sorts per-target measurements
// into, data collection per port (physical or virtual), and the collected
// records. The library remembers the last layout a board accepted and which
// boards collect: the layout cannot change while a board collects, and a
// start that the driver refuses for want of a layout sets it again first.
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the SD exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsSdBadBoard = 3;
constexpr uint32_t kStsBadPortId = 4;
constexpr uint32_t kStsBadType = 5;
constexpr uint32_t kStsPortUnknown = 5; // validatePortId: the driver does not know the WWPN
constexpr uint32_t kStsNullArgument = 11;
constexpr uint32_t kStsSdNoMemory = 12;
constexpr uint32_t kStsBadSearchType = 15;
constexpr uint32_t kStsNotInitialised = 18;
constexpr uint32_t kStsCollecting = 19;

constexpr uint16_t kStatType = 1;
constexpr uint8_t kSdVersion = 1;
constexpr uint32_t kVpiFailed = 0xFFFFFD;
constexpr uint32_t kVpiNotFound = 0xFFFFFE;
constexpr uint32_t kVpiInvalid = 0xFFFFFF;

// The last layout a board accepted (per process).
uint16_t g_setBucketFlag = 0;
uint32_t g_sdDiagBase = 0;
uint32_t g_sdDiagStep = 0;
uint16_t g_sdDiagSearchType = 0;

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

// An SD request of 204 bytes with version, action and type filled.
TgxEnvelope sd_request(uint32_t code, uint8_t action, uint16_t type) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_SD_REQUEST, code, TGX_SIG_ZT);
    if (!env) return env;
    uint8_t* p = env.payload();
    p[TGX_SD_OFF_VERSION] = kSdVersion;
    p[TGX_SD_OFF_ACTION] = action;
    put16(p + TGX_SD_OFF_TYPE, type);
    return env;
}

bool send(uint32_t board, TgxEnvelope& env) {
    return tgx_env_send(tgx_entry(board)->handle, env);
}

// First board that collects, or -1.
int collecting_board() {
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b)
        if (g_tgx.sdState[b] == 1) return (int)b;
    return -1;
}

// *sent (may be null) tells whether the device call itself went through.
uint32_t LibtgxSetBucket(uint16_t type, uint16_t searchType, uint32_t base, uint32_t step,
                         uint32_t board, bool* sent = nullptr) {
    if (sent) *sent = false;
    TraceLog("LibtgxSetBucket: board=%x type=%x searchType=%x base=%x step=%x\n", board, type,
             searchType, base, step);
    TraceLog("LibtgxSetBucket: borad=%x\n", board);
    TgxEnvelope env = sd_request(TGX_IOCTL_SD_BUCKET, TGX_SD_BUCKET_SET, type);
    if (!env) return kStsSdNoMemory;
    uint8_t* p = env.payload();
    put16(p + TGX_SD_OFF_SEARCH, searchType);
    tgx_wr32(p + TGX_SD_OFF_BASE, base);
    tgx_wr32(p + TGX_SD_OFF_STEP, step);
    if (!send(board, env)) {
        TraceLog("LibtgxSetBucket: IOCTL_ZTX100_SD_BUCKET Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    if (sent) *sent = true;
    const uint32_t rc = tgx_env_rc(env);
    if (rc != 0) {
        TraceLog("LibtgxSetBucket: board %x failed rtnCode=%x\n", board, rc);
        return rc;
    }
    g_setBucketFlag = 1;
    g_sdDiagBase = base;
    g_sdDiagStep = step;
    g_sdDiagSearchType = searchType;
    TraceLog("LibtgxSetBucket: OK rtnCode=%x\n", rc);
    return kStsOk;
}

// Checks the port identifier of a board; *bits = the virtual port bits.
uint32_t validatePortId(uint32_t board, const HBA_wwn& portId, uint32_t* bits) {
    *bits = 0;
    HBA_PortAttributes attrs;
    uint32_t st = GetAdapterPortAttributes(board, 0, &attrs);
    if (st != 0) {
        TraceLog("validatePortId: Failed to get port attrib sts=%x\n", st);
        return kStsSdBadBoard;
    }
    if (memcmp(portId.wwn, attrs.PortWWN, 8) == 0) {
        TraceLog("validatePortId: port_id found virtId=%x\n", 0u);
        return kStsOk;
    }
    const uint32_t vpi = tgxFindVPIid(board, portId.wwn);
    TraceLog("validatePortId: Vp_id found=%x\n", vpi);
    if (vpi == kVpiFailed) return kStsFailed;
    if (vpi == kVpiNotFound) return kStsPortUnknown;
    if (vpi == kVpiInvalid) return kStsBadPortId;
    *bits = (vpi << 20) & 0x0FF00000u;
    TraceLog("validatePortId: virt_id=%x %x\n", vpi, *bits);
    return kStsOk;
}

#define PORT_FMT "%x %x %x %x %x %x %x %x"
#define PORT_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

// Sends one collection request; kStsFailed when the call failed, else the ReturnCode.
uint32_t send_collection(uint32_t board, uint32_t bits, uint8_t action, uint16_t type,
                         const char* failLine) {
    TgxEnvelope env = sd_request(TGX_IOCTL_SD_DATA_COLLECTION | bits, action, type);
    if (!env) return kStsSdNoMemory;
    if (!send(board, env)) {
        TraceLog(failLine, plat_last_error());
        return kStsFailed;
    }
    return tgx_env_rc(env);
}

// Common checks of the collection exports; kStsOk with *bits set, or a status.
uint32_t collection_checks(uint32_t board, const HBA_wwn& portId, uint16_t type, uint32_t* bits,
                           const char* invalidLine) {
    if (!g_tgx.pAdapterArray) return kStsNotInitialised;
    if (!tgx_board_ok(board)) return kStsSdBadBoard;
    if (type != kStatType) return kStsBadType;
    uint32_t st = validatePortId(board, portId, bits);
    if (st != kStsOk) {
        TraceLog(invalidLine, st);
        return kStsBadPortId;
    }
    return kStsOk;
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_SD_Get_Granularity(void) {
    TraceLog("*TGX_SD_Get_Granularity\n");
    if (!g_tgx.pAdapterArray) return kStsNotInitialised;
    if (g_tgx.adapterCount == 0) return kStsFailed;
    TgxEnvelope env = sd_request(TGX_IOCTL_SD_BUCKET, TGX_SD_BUCKET_GRANULARITY, kStatType);
    if (!env) return kStsSdNoMemory;
    if (!send(0, env)) {
        TraceLog("TGX_SD_Get_Granularity: IOCTL_ZTX100_SD_BUCKET Failed Error=0x%x\n",
                 plat_last_error());
        return kStsFailed;
    }
    const uint32_t granularity = tgx_rd32(env.payload() + TGX_SD_OFF_BASE);
    TraceLog("TGX_SD_Get_Granularity: rtnCode=%x granularity=%x\n", tgx_env_rc(env), granularity);
    return granularity;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Set_Bucket(uint16_t type, uint16_t searchType, uint32_t base,
                                                 uint32_t step) {
    TraceLog("*TGX_SD_Set_Bucket: type=%x searchType=%x base=%x step=%x\n", type, searchType, base,
             step);
    if (!g_tgx.pAdapterArray) {
        TraceLog("libtgxSetBucket: LIB Not Init\n");
        return kStsNotInitialised;
    }
    if (g_tgx.adapterCount == 0) return kStsFailed;
    if (type != kStatType) return kStsBadType;
    if (searchType != 1 && searchType != 2) return kStsBadSearchType;
    const int busy = collecting_board();
    if (busy >= 0) {
        TraceLog("TGX_SD_Set_Bucket: Error - board %x DataCollectionActive\n", busy);
        return kStsCollecting;
    }
    uint32_t st = kStsOk;
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b) {
        bool sent = false;
        st = LibtgxSetBucket(type, searchType, base, step, b, &sent);
        if (st == kStsOk) continue;
        TraceLog("TGX_SD_Set_Bucket: Board %x failed rtnCode=%x\n", b, st);
        // A failed device request ends the export on any board; of the
        // ReturnCodes board 0's decides, later boards that refuse do not stop
        // the others.
        if (!sent || b == 0) return st;
    }
    TraceLog("TGX_SD_Set_Bucket: OK rtnCode=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Get_Bucket(uint16_t type, uint16_t* searchType,
                                                 uint32_t* base, uint32_t* step,
                                                 uint64_t* buckets) {
    TraceLog("*TGX_SD_Get_Bucket: type=%x searchType=%x base=%x step=%x\n", type,
             g_sdDiagSearchType, g_sdDiagBase, g_sdDiagStep);
    if (!g_tgx.pAdapterArray) {
        TraceLog("TGX_SD_Get_Bucket: LIB Not Init\n");
        return kStsNotInitialised;
    }
    if (g_tgx.adapterCount == 0) return kStsFailed;
    if (type != kStatType) return kStsBadType;
    if (!searchType || !base || !step || !buckets) return kStsNullArgument;
    TgxEnvelope env = sd_request(TGX_IOCTL_SD_BUCKET, TGX_SD_BUCKET_GET, type);
    if (!env) return kStsSdNoMemory;
    if (!send(0, env)) {
        TraceLog("TGX_SD_Get_Bucket: IOCTL_ZTX100_SD_BUCKET Failed Error=0x%x\n",
                 plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    const uint8_t* p = env.payload();
    if (rc == 0) {
        *base = tgx_rd32(p + TGX_SD_OFF_BASE);
        *step = tgx_rd32(p + TGX_SD_OFF_STEP);
        *searchType = tgx_rd16(p + TGX_SD_OFF_SEARCH);
        if (*base != g_sdDiagBase) TraceLog("TGX_SD_Get_Bucket: SdDiagBase=%x\n", g_sdDiagBase);
        if (*step != g_sdDiagStep) TraceLog("TGX_SD_Get_Bucket: SdDiagStep=%x\n", g_sdDiagStep);
        if (*searchType != g_sdDiagSearchType)
            TraceLog("TGX_SD_Get_Bucket: SdDiagSearchType=%x\n", g_sdDiagSearchType);
        for (uint32_t i = 0; i < TGX_SD_BUCKETS; ++i) {
            const uint8_t* e = p + TGX_SD_OFF_BUCKETS + 8 * i;
            buckets[i] = (uint64_t)tgx_rd32(e) | ((uint64_t)tgx_rd32(e + 4) << 32);
            TraceLog("%llx ", (unsigned long long)buckets[i]);
        }
    }
    TraceLog("TGX_SD_Get_Bucket: rtnCode=%x base=%x step=%x searchType=%x\n", rc, *base, *step,
             *searchType);
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Destroy_Bucket(uint16_t type) {
    TraceLog("*TGX_SD_Destroy_Bucket: type=%x\n", type);
    if (!g_tgx.pAdapterArray) return kStsNotInitialised;
    if (type != kStatType) return kStsBadType;
    const int busy = collecting_board();
    if (busy >= 0) {
        TraceLog("TGX_SD_Destroy_Bucket: Error - board %x DataCollectionActive\n", busy);
        return kStsCollecting;
    }
    uint32_t lastFailure = kStsOk, successes = 0;
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b) {
        TraceLog("TGX_SD_Destroy_Bucket: board=%x\n", b);
        TgxEnvelope env = sd_request(TGX_IOCTL_SD_BUCKET, TGX_SD_BUCKET_DESTROY, type);
        if (!env) return kStsSdNoMemory;
        if (!send(b, env)) {
            TraceLog("TGX_SD_Destroy_Bucket: IOCTL_ZTX100_SD_BUCKET Failed Error=0x%x\n",
                     plat_last_error());
            return kStsFailed;
        }
        const uint32_t rc = tgx_env_rc(env);
        if (rc != 0) {
            TraceLog("TGX_SD_Destroy_Bucket: board=%x failed rtnCode=%x\n", b, rc);
            lastFailure = rc;
        } else {
            ++successes;
            TraceLog("TGX_SD_Destroy_Bucket: board=%x noErrCnt=%x\n", b, successes);
        }
    }
    if (lastFailure != kStsOk && successes == 0) {
        TraceLog("TGX_SD_Destroy_Bucket: Exit with error rtnCode=%x\n", lastFailure);
        return lastFailure;
    }
    g_sdDiagBase = g_sdDiagStep = 0;
    g_sdDiagSearchType = 0;
    g_setBucketFlag = 0;
    TraceLog("TGX_SD_Destroy_Bucket: OK rtnCode=%x\n", 0u);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Start_Data_Collection(uint32_t board, HBA_wwn portId,
                                                            uint16_t type, uint32_t arg) {
    TraceLog("*TGX_SD_Start_Data_Collect: type=%x arg=%x portId=" PORT_FMT "\n", type, arg,
             PORT_ARGS(portId.wwn));
    uint32_t bits = 0;
    uint32_t st = collection_checks(board, portId, type, &bits,
                                    "TGX_SD_Start_Data_Collect: Invalid port_id sts=%x\n");
    if (st != kStsOk) return st;
    const char* fail = "TGX_SD_Start_Data_Collection: IOCTL_ZTX100_SD_DATA_COLLECTION Failed "
                       "Error=0x%x\n";
    st = send_collection(board, bits, TGX_SD_COLLECT_START, type, fail);
    if (st == kStsOk) {
        TraceLog("TGX_SD_Start_Data_Collect: set DataCollectFlag for board=%x\n", board);
        g_tgx.sdState[board] = 1;
    } else if (st == TGX_SD_RC_BUCKET_NOTSET) {
        TraceLog("TGX_SD_Start_Data_Collect: SD_ERROR_BUCKET_NOTSET board=%x SetBucketFlag=%x\n",
                 board, g_setBucketFlag);
        if (g_setBucketFlag) {
            st = LibtgxSetBucket(type, g_sdDiagSearchType, g_sdDiagBase, g_sdDiagStep, board);
            TraceLog("TGX_SD_Start_Data_Collect: SetBucket rtnCode=%x version=%x ctlCode=%x "
                     "action=%x type=%x\n",
                     st, kSdVersion, TGX_IOCTL_SD_DATA_COLLECTION | bits, TGX_SD_COLLECT_START,
                     type);
            if (st == kStsOk) {
                st = send_collection(board, bits, TGX_SD_COLLECT_START, type, fail);
                if (st == kStsOk) g_tgx.sdState[board] = 1;
            }
        }
    }
    TraceLog("TGX_SD_Start_Data_Collection: Exit rtnCode=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Stop_Data_Collection(uint32_t board, HBA_wwn portId,
                                                           uint16_t type) {
    TraceLog("*TGX_SD_Stop_Data_Collection: type=%x portId=" PORT_FMT "\n", type,
             PORT_ARGS(portId.wwn));
    uint32_t bits = 0;
    uint32_t st =
        collection_checks(board, portId, type, &bits, "TGX_SD_Stop_Data_Collection sts=%x\n");
    if (st != kStsOk) return st;
    st = send_collection(board, bits, TGX_SD_COLLECT_STOP, type,
                         "TGX_SD_Stop_Data_Collection: IOCTL_ZTX100_SD_DATA_COLLECTION Failed "
                         "Error=0x%x\n");
    if (st == kStsOk) {
        TraceLog("TGX_SD_Stop_Data_Collection: clear DataCollectFlag for board %x\n", board);
        g_tgx.sdState[board] = 0;
    }
    TraceLog("TGX_SD_Stop_Data_Collection: rtnCode=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Reset_Data_Collection(uint32_t board, HBA_wwn portId,
                                                            uint16_t type) {
    TraceLog("*TGX_SD_Reset_Data_Collection: type=%x portId=" PORT_FMT "\n", type,
             PORT_ARGS(portId.wwn));
    uint32_t bits = 0;
    uint32_t st = collection_checks(board, portId, type, &bits,
                                    "TGX_SD_Reset_Data_Collection: Invalid port_id sts=%x\n");
    if (st != kStsOk) return st;
    st = send_collection(board, bits, TGX_SD_COLLECT_RESET, type,
                         "TGX_SD_Reset_Data_Collection: IOCTL_ZTX100_SD_DATA_COLLECTION Failed "
                         "Error=0x%x\n");
    TraceLog("TGX_SD_Reset_Data_Collection: rtnCode=%x\n", st);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_Get_Data(uint32_t board, HBA_wwn portId, uint16_t type,
                                               uint16_t* targetCount, uint32_t bufSize,
                                               void* buffer) {
    TraceLog("*TGX_SD_Get_Data: board=%x portId=" PORT_FMT " type=%x buffSiz=%x\n", board,
             PORT_ARGS(portId.wwn), type, bufSize);
    if (!g_tgx.pAdapterArray) return kStsNotInitialised;
    if (!tgx_board_ok(board)) return kStsSdBadBoard;
    if (type != kStatType) return kStsBadType;
    if (!buffer || !targetCount || bufSize == 0) return kStsNullArgument;
    uint32_t bits = 0;
    uint32_t st = validatePortId(board, portId, &bits);
    if (st != kStsOk) {
        TraceLog("TGX_SD_Get_Data: Invalid port_id sts=%x\n", st);
        return kStsBadPortId;
    }
    if (bufSize > 0xFFFFFFFFu - TGX_SIZE_SD_GET_DATA_BASE) return kStsSdNoMemory;
    memset(buffer, 0, bufSize);
    TgxEnvelope env = tgx_env_alloc(bufSize + TGX_SIZE_SD_GET_DATA_BASE,
                                    TGX_IOCTL_SD_GET_DATA | bits, TGX_SIG_ZT);
    if (!env) return kStsSdNoMemory;
    uint8_t* p = env.payload();
    p[TGX_SD_OFF_VERSION] = kSdVersion;
    put16(p + TGX_SD_OFF_TYPE, type);
    tgx_wr32(p + TGX_SD_OFF_BASE, bufSize);
    if (!send(board, env)) {
        TraceLog("TGX_SD_Get_Data: IOCTL_ZTX100_SD_GET_DATA Failed Error=0x%x\n",
                 plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    *targetCount = tgx_rd16(p + TGX_SD_OFF_SEARCH);
    TraceLog("TGX_SD_Get_Data: io rtnCode=%x targetCnt=%x\n", rc, *targetCount);
    if (rc != 0) return rc;
    TraceLog("TGX_SD_Get_Data: version=%x nTarget=%x rtnCode=%x\n", p[0], *targetCount, rc);
    // Bounded by the caller's buffer and by what the reply holds.
    uint64_t bytes = (uint64_t)*targetCount * TGX_SD_TARGET_BYTES;
    if (bytes > bufSize) {
        TraceLog("TGX_SD_Get_Data: rcvd more than the buf size %x\n", bufSize);
        bytes = bufSize;
    }
    const uint32_t room = env.size - TGX_ENV_HEADER_LENGTH - TGX_SD_OFF_DATA;
    if (bytes > room) bytes = room;
    memcpy(buffer, p + TGX_SD_OFF_DATA, (size_t)bytes);
    TraceLog("TGX_SD_Get_Data: rtnCode=%x\n", 0u);
    return kStsOk;
}
