// FCoE parameters and FCF connection list, kept in configuration region 23 of
// an FCoE function, and the driver's list of discovered FCFs. The region is
// read with a dump mailbox and written whole with an update-configuration
// mailbox; a write keeps every record it does not own, and a region that
// cannot be read (other than "absent") is never overwritten.
#include <cstdlib>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the FCoE exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsNotFcoe = 2; // also: a record of unknown type, a region not updatable
constexpr uint32_t kStsFcoeBadBoard = 3;
constexpr uint32_t kStsBadVersion = 4;
constexpr uint32_t kStsBadFlags = 5; // also: the driver busy (parameters)
constexpr uint32_t kStsTooMany = 7;  // also: scratch memory for the region or the list
constexpr uint32_t kStsNoResource = 8;

constexpr uint32_t kRegion = TGX_FCOE_REGION;
constexpr uint32_t kRegionBytes = TGX_FCOE_REGION_BYTES;
constexpr uint32_t kFirstRecord = 8;
constexpr uint32_t kMaxRecords = 3;
constexpr uint8_t kRegionVersion = 1;
constexpr uint8_t kParamsLengthByte = 2;
constexpr uint8_t kConnectLengthByte = 80;
constexpr uint16_t kFlagValid = 0x0001;
constexpr uint16_t kFlagOptions = 0x003E;
constexpr uint16_t kFlagLimit = 1024;

// Region data the caller's record lacks when the region holds none.
constexpr uint8_t kDefaultFcMap[3] = {0x0E, 0xFC, 0x00};

bool fcoe_board(uint32_t board) {
    return (tgx_entry(board)->drvInfo.featureList & TGX_FEATURE_FCOE) != 0;
}

uint32_t record_size(uint8_t type) {
    switch (type) {
    case TGX_FCOE_REC_PARAMS:
        return TGX_FCOE_PARAMS_BYTES;
    case TGX_FCOE_REC_CONNECT:
        return TGX_FCOE_CONNECT_BYTES;
    case TGX_FCOE_REC_162:
        return TGX_FCOE_162_BYTES;
    default:
        return 0;
    }
}

enum class Region { Read, Absent, Failed };

// The 1024-byte region into img (zeroed first).
Region read_region(uint32_t board, uint8_t* img) {
    memset(img, 0, kRegionBytes);
    uint32_t length = kRegionBytes;
    bool empty = false;
    uint32_t st = tgx_dump_mbox(board, 2, 0, kRegion, 0, img, &length, &empty);
    if (st == kStsOk) return Region::Read;
    // Only the adapter's own answer means absent: a refused request (whatever
    // status it maps to) says nothing about what the region holds.
    if (empty) return Region::Absent;
    TraceLog("FCoE region 23 read failed sts=%x\n", st);
    return Region::Failed;
}

// Owns the scratch copy of the region.
struct Scratch {
    uint8_t* p = static_cast<uint8_t*>(malloc(kRegionBytes));
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { free(p); }
};

// Finds the record of type want among the first three, each inside the
// region: its offset, or 0 when the walk ended (end byte or an unknown type:
// *ended set; an unknown type is logged with invalidLine when there is one) or
// ran out (three records, or one running past the region).
uint32_t find_record(const uint8_t* img, uint8_t want, bool* ended, const char* invalidLine) {
    *ended = false;
    uint32_t off = kFirstRecord;
    for (uint32_t i = 0; i < kMaxRecords && off < kRegionBytes; ++i) {
        const uint8_t type = img[off];
        const uint32_t size = record_size(type);
        if (size == 0) {
            if (type != TGX_FCOE_REC_END && invalidLine) TraceLog(invalidLine, type);
            *ended = true;
            return 0;
        }
        if (off + size > kRegionBytes) return 0;
        if (type == want) return off;
        off += size;
    }
    return 0;
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void params_record(const FCoEParams& in, uint8_t* rec) {
    memset(rec, 0, TGX_FCOE_PARAMS_BYTES);
    rec[0] = TGX_FCOE_REC_PARAMS;
    rec[1] = kParamsLengthByte;
    rec[2] = in.version;
    rec[3] = in.vlanValid & 1;
    memcpy(rec + 4, in.fcMap, 3);
    put16(rec + 8, in.vlanId);
}

// False when a caller entry carries flags of 1024 or more.
bool connect_record(const FCFConnectList& in, uint8_t* rec) {
    memset(rec, 0, TGX_FCOE_CONNECT_BYTES);
    rec[0] = TGX_FCOE_REC_CONNECT;
    rec[1] = kConnectLengthByte;
    for (uint32_t i = 0; i < in.numEntries && i < TGX_FCF_CONNECT_MAX; ++i) {
        const FCFConnectEntry& e = in.entries[i];
        if (e.flags >= kFlagLimit) {
            TraceLog("TGX_FCoESetFCFConnectList: Invalid flags %x\n", e.flags);
            return false;
        }
        uint8_t* slot = rec + 4 + i * TGX_FCOE_CONNECT_SLOT;
        put16(slot, (uint16_t)(kFlagValid | (e.flags & kFlagOptions)));
        put16(slot + 2, e.word2);
        memcpy(slot + 4, e.fabricName, 8);
        memcpy(slot + 12, e.switchName, 8);
    }
    return true;
}

// The new image from the current one (or none) with the record own in place
// of its type. Records of other known types and every byte the walk does not
// own are kept. kStsOk, or kStsNotFcoe when the region cannot take it whole.
uint32_t merge_image(const uint8_t* cur, bool absent, const uint8_t* own, uint32_t ownSize,
                     uint8_t* out, const char* who) {
    if (absent) {
        memset(out, 0, kRegionBytes);
        tgx_wr32(out, TGX_FCOE_SIGNATURE);
        out[4] = kRegionVersion;
        memcpy(out + kFirstRecord, own, ownSize);
        out[kFirstRecord + ownSize] = TGX_FCOE_REC_END;
        return kStsOk;
    }
    memcpy(out, cur, kRegionBytes);
    bool wrote = false;
    uint32_t off = kFirstRecord;
    for (uint32_t i = 0; i < kMaxRecords && off < kRegionBytes; ++i) {
        const uint8_t type = cur[off];
        TraceLog("recordType=%x recordIndex=%x", type, i);
        if (type == TGX_FCOE_REC_END) {
            if (wrote) return kStsOk;
            if (off + ownSize > kRegionBytes) return kStsNotFcoe;
            memcpy(out + off, own, ownSize);
            if (off + ownSize < kRegionBytes) out[off + ownSize] = TGX_FCOE_REC_END;
            return kStsOk;
        }
        const uint32_t size = record_size(type);
        if (size == 0) {
            TraceLog("%s: Invalid type\n", who);
            return kStsNotFcoe;
        }
        // A record running past the region cannot be kept whole.
        if (off + size > kRegionBytes) return kStsNotFcoe;
        if (type == own[0]) {
            memcpy(out + off, own, ownSize);
            wrote = true;
        }
        off += size;
    }
    if (wrote) return kStsOk;
    // Three records and none of ours: writing would have to drop one.
    TraceLog("%s: no room for the record\n", who);
    return kStsNotFcoe;
}

// Writes the image through the V2 mailbox request; the status by the
// export's table (busy maps to busyStatus).
uint32_t write_region(uint32_t board, const uint8_t* img, uint32_t busyStatus, const char* who) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_FCOE_UPDATE, TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
    tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, kRegionBytes);
    uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
    tgx_wr32(mb, (TGX_MBX_UPDATE_CFG << 8) | 1u);
    tgx_wr32(mb + 4, 2u | 0x10u | 0x20u); // data write, image in the extension
    tgx_wr32(mb + 8, kRegion | (kRegionBytes << 16));
    tgx_wr32(mb + 16, kRegionBytes);
    memcpy(p + TGX_MBV2_OFF_EXT, img, kRegionBytes);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("%s: IOCTL_ZTX100_ISSUEMB_V2 I/O failed=0x%x\n", who, plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    switch (rc) {
    case 0: {
        const uint16_t mbStatus = tgx_rd16(mb + 2);
        if (mbStatus != 0) {
            TraceLog("%s: mailbox status %x\n", who, mbStatus);
            return kStsFailed;
        }
        return kStsOk;
    }
    case TGX_V2RC_NOT_SUPPORTED:
        TraceLog("mailbox command %x not supported", TGX_MBX_UPDATE_CFG);
        return kStsNotFcoe;
    case TGX_V2RC_INVALID_MBLEN:
        TraceLog("invalid mbLen %x", TGX_MBOX_BYTES);
        return kStsFailed;
    case TGX_V2RC_NO_RESOURCE:
        TraceLog("No resource");
        return kStsNoResource;
    case TGX_V2RC_BUSY:
        TraceLog("MBX busy");
        return busyStatus;
    default:
        TraceLog("Unsupported error");
        return busyStatus;
    }
}

// Reads, merges own into, and writes region 23.
uint32_t update_region(uint32_t board, const uint8_t* own, uint32_t ownSize, uint32_t busyStatus,
                       const char* who) {
    Scratch cur, out;
    if (!cur.p || !out.p) return kStsTooMany;
    const Region r = read_region(board, cur.p);
    if (r == Region::Failed) return kStsFailed;
    uint32_t st = merge_image(cur.p, r == Region::Absent, own, ownSize, out.p, who);
    if (st != kStsOk) return st;
    return write_region(board, out.p, busyStatus, who);
}

uint32_t common_checks(uint32_t board, const void* rec) {
    if (!tgx_board_ok(board)) return kStsFcoeBadBoard;
    if (!fcoe_board(board)) return kStsNotFcoe;
    if (rec == nullptr) return kStsFailed;
    return kStsOk;
}

void set_defaults(FCoEParams* p) {
    p->version = 1;
    p->vlanValid = 1;
    memcpy(p->fcMap, kDefaultFcMap, 3);
    p->vlanId = 0;
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_FCoEGetParams(uint32_t board, FCoEParams* params) {
    uint32_t st = common_checks(board, params);
    if (st != kStsOk) return st;
    if (params->version != 1) return kStsBadVersion;
    Scratch img;
    if (!img.p) return kStsTooMany;
    const Region r = read_region(board, img.p);
    if (r == Region::Failed) return kStsFailed;
    if (r == Region::Absent) {
        set_defaults(params);
        return kStsOk;
    }
    bool ended = false;
    const uint32_t off =
        find_record(img.p, TGX_FCOE_REC_PARAMS, &ended,
                    "TGX_FCoEGetParams:: Invalid record type %x,  setting default\n");
    if (off == 0) {
        if (!ended) return kStsFailed;
        TraceLog("TGX_FCoEGetParams:: End of record, type not found, setting default\n");
        set_defaults(params);
        return kStsOk;
    }
    const uint8_t* rec = img.p + off;
    params->version = rec[2];
    params->vlanValid = rec[3] & 1;
    memcpy(params->fcMap, rec + 4, 3);
    params->vlanId = tgx_rd16(rec + 8);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_FCoESetParams(uint32_t board, const FCoEParams* params) {
    uint32_t st = common_checks(board, params);
    if (st != kStsOk) return st;
    if (params->version != 1) return kStsBadVersion;
    uint8_t rec[TGX_FCOE_PARAMS_BYTES];
    params_record(*params, rec);
    return update_region(board, rec, sizeof rec, kStsBadFlags, "TGX_FCoESetParams");
}

extern "C" TGX_EXPORT uint32_t TGX_FCoEGetFCFConnectList(uint32_t board, FCFConnectList* list) {
    uint32_t st = common_checks(board, list);
    if (st != kStsOk) return st;
    if (list->numEntries > TGX_FCF_CONNECT_MAX) {
        TraceLog("TGX_FCoEGetFCFConnectList: %x entries are not allowed\n", list->numEntries);
        return kStsTooMany;
    }
    if (list->version != 1) return kStsBadVersion;
    Scratch img;
    if (!img.p) return kStsTooMany;
    const Region r = read_region(board, img.p);
    if (r == Region::Failed) return kStsFailed;
    bool ended = r == Region::Absent;
    const uint32_t off = ended ? 0 : find_record(img.p, TGX_FCOE_REC_CONNECT, &ended, nullptr);
    if (off == 0) {
        if (!ended) return kStsFailed;
        list->numEntries = list->maxEntries = 0;
        return kStsOk;
    }
    uint32_t valid = 0;
    st = kStsOk;
    for (uint32_t j = 0; j < TGX_FCF_CONNECT_MAX; ++j) {
        const uint8_t* slot = img.p + off + 4 + j * TGX_FCOE_CONNECT_SLOT;
        const uint16_t flags = tgx_rd16(slot);
        if (!(flags & kFlagValid)) continue;
        ++valid;
        if (j >= list->numEntries) {
            st = kStsTooMany;
            continue;
        }
        FCFConnectEntry& e = list->entries[j];
        e.flags = (uint16_t)(kFlagValid | (flags & kFlagOptions));
        e.word2 = tgx_rd16(slot + 2);
        memcpy(e.fabricName, slot + 4, 8);
        memcpy(e.switchName, slot + 12, 8);
    }
    list->numEntries = (uint8_t)valid;
    list->maxEntries = TGX_FCF_CONNECT_MAX;
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_FCoESetFCFConnectList(uint32_t board,
                                                         const FCFConnectList* list) {
    uint32_t st = common_checks(board, list);
    if (st != kStsOk) return st;
    if (list->version != 1) {
        TraceLog("TGX_FCoESetFCFConnectList: invalid version %x\n", list->version);
        return kStsBadVersion;
    }
    if (list->numEntries > TGX_FCF_CONNECT_MAX || list->maxEntries > TGX_FCF_CONNECT_MAX) {
        TraceLog("TGX_FCoESetFCFConnectList: Only 16 entries are allowed\n");
        return kStsTooMany;
    }
    uint8_t rec[TGX_FCOE_CONNECT_BYTES];
    if (!connect_record(*list, rec)) return kStsBadFlags;
    return update_region(board, rec, sizeof rec, kStsFailed, "TGX_FCoESetFCFConnectList");
}

extern "C" TGX_EXPORT uint32_t TGX_FCoEGetFCFList(uint32_t board, FCFList* list) {
    uint32_t st = common_checks(board, list);
    if (st != kStsOk) return st;
    if (list->version != 1) {
        TraceLog("TGX_FCoEGetFCFList: invalid version %x\n", list->version);
        return kStsBadVersion;
    }
    const uint32_t n = list->nEntries; // 16 bits: the envelope size cannot wrap
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_FCFLIST_BASE + TGX_FCFLIST_ENTRY * n,
                                    TGX_IOCTL_GET_FCFLIST, TGX_SIG_ZT);
    if (!env) return kStsTooMany;
    uint8_t* p = env.payload();
    p[0] = list->version;
    put16(p + 4, (uint16_t)n);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("TGX_FCoEGetFCFList: IOCTL_ZTX100_GET_FCFLIST Failed Error=0x%x\n",
                 plat_last_error());
        return kStsFailed;
    }
    switch (tgx_env_rc(env)) {
    case 0:
        break;
    case TGX_FCFLIST_RC_VERSION:
        list->version = p[0];
        return kStsBadVersion;
    case 2:
        return kStsNotFcoe;
    case 3:
        return kStsNoResource;
    default:
        return kStsFailed;
    }
    const uint16_t count = tgx_rd16(p + 4);
    list->version = p[0];
    list->nEntries = count;
    list->nActiveFCF = tgx_rd16(p + 6);
    const uint32_t room =
        (env.size - TGX_ENV_HEADER_LENGTH - TGX_FCFLIST_OFF_ENTRIES) / TGX_FCFLIST_ENTRY;
    uint32_t copy = count < n ? count : n;
    if (copy > room) copy = room;
    for (uint32_t i = 0; i < copy; ++i) {
        const uint8_t* src = p + TGX_FCFLIST_OFF_ENTRIES + i * TGX_FCFLIST_ENTRY;
        uint8_t* dst = list->entries[i].bytes;
        memcpy(dst, src, 24);            // names, MAC and the u16 at 22
        memcpy(dst + 536, src + 536, 3); // FC map
        memcpy(dst + 540, src + 540, 4);
        memcpy(dst + 548, src + 548, 4);
    }
    return count > n ? kStsTooMany : kStsOk;
}
