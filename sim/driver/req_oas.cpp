// OAS requests of the simulated driver: the per-target LUN lists (by SCSI
// identifiers with a VPI, 0x8000014A, or by WWPNs, 0x8000014C), the tables of
// all initiator/target pairs (0x8000014B, 0x8000014F) and the two set requests
// (0x8000014D state, 0x8000014E state and priority).
//
// The OAS settings of a function live in its "oas_luns" blob, one record per
// enabled LUN of a pair, so they persist with the machine. An initiator is the
// function's own port (VPI 0) or one of its virtual ports; the targets and LUNs
// an initiator sees come from the target model (target_model.h). "oas" = "0"
// makes the function refuse every OAS request (ReturnCode 3).
#include <cstring>
#include <functional>
#include <vector>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/target_model.h"

namespace hbasim {

namespace {

const char kOasBlob[] = "oas_luns";

// Record of one enabled LUN in the blob.
enum : uint32_t {
    OR_INIT = 0,
    OR_TARGET = 8,
    OR_LUN = 16, // u16
    OR_PRIORITY = 18,
    OR_R19 = 19,
    OR_SIZE = 20,
};

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
uint16_t rd16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

bool supported(const Function& f) {
    return f.attrs.get("oas") != "0";
}

size_t record_count(const Function& f) {
    auto it = f.blobs.find(kOasBlob);
    return it == f.blobs.end() ? 0 : it->second.size() / OR_SIZE;
}
const uint8_t* record_at(const Function& f, size_t i) {
    return f.blobs.at(kOasBlob).data() + i * OR_SIZE;
}

// Index of the record of (init, tgt, lun), or -1.
long find_record(const Function& f, const uint8_t* init, const uint8_t* tgt, uint32_t lun) {
    for (size_t i = 0; i < record_count(f); ++i) {
        const uint8_t* r = record_at(f, i);
        if (memcmp(r + OR_INIT, init, 8) == 0 && memcmp(r + OR_TARGET, tgt, 8) == 0 &&
            rd16(r + OR_LUN) == lun)
            return (long)i;
    }
    return -1;
}

// Enables (with this priority) or disables one LUN of a pair; true when the
// blob changed.
bool store(Function& f, const uint8_t* init, const uint8_t* tgt, uint32_t lun, bool on,
           uint8_t priority, bool setPriority) {
    const long i = find_record(f, init, tgt, lun);
    if (!on) {
        if (i < 0) return false;
        Bytes& b = f.blobs[kOasBlob];
        b.erase(b.begin() + i * OR_SIZE, b.begin() + (i + 1) * OR_SIZE);
        if (b.empty()) f.blobs.erase(kOasBlob);
        return true;
    }
    if (i >= 0) {
        uint8_t* r = f.blobs[kOasBlob].data() + i * OR_SIZE;
        if (!setPriority || r[OR_PRIORITY] == priority) return false;
        r[OR_PRIORITY] = priority;
        return true;
    }
    uint8_t rec[OR_SIZE] = {};
    memcpy(rec + OR_INIT, init, 8);
    memcpy(rec + OR_TARGET, tgt, 8);
    put16(rec + OR_LUN, (uint16_t)lun);
    rec[OR_PRIORITY] = setPriority ? priority : 0;
    Bytes& b = f.blobs[kOasBlob];
    b.insert(b.end(), rec, rec + OR_SIZE);
    return true;
}

// The FCP LUN the driver reports for LUN k (0-255): peripheral addressing,
// the LUN in the second byte, as a little-endian u64 (as in every other
// request that carries an FCP LUN).
uint64_t fcp_lun(uint32_t k) {
    return (uint64_t)(k & 0xFF) << 8;
}

// Writes the LUN list of target t as seen by initiator init: the count at
// countOff (the driver's number of LUNs, even beyond the room) and as many
// entries as fit from entriesOff, at most the request's capacity.
void fill_lun_list(const Function& f, const uint8_t* init, const SimTarget& t, uint8_t* p,
                   uint32_t payloadSize, uint32_t countOff, uint32_t entriesOff) {
    const uint32_t capacity = drv_rd32(p + countOff);
    const uint32_t room = (payloadSize - entriesOff) / TGX_OAS_DRV_ENTRY;
    uint32_t n = 0;
    for (const SimLun& l : t.luns) {
        if (n < capacity && n < room) {
            uint8_t* e = p + entriesOff + n * TGX_OAS_DRV_ENTRY;
            memset(e, 0, TGX_OAS_DRV_ENTRY);
            const uint64_t fc = fcp_lun(l.lun);
            drv_wr32(e + TGX_OAS_DE_OSLUN, l.lun);
            drv_wr32(e + TGX_OAS_DE_FCLUN_LO, (uint32_t)fc);
            drv_wr32(e + TGX_OAS_DE_FCLUN_HI, (uint32_t)(fc >> 32));
            e[TGX_OAS_DE_LUNSTATE] = l.offline ? 0 : 1;
            const long i = find_record(f, init, t.wwpn, l.lun);
            e[TGX_OAS_DE_OASSTATE] = i >= 0 ? 1 : 0;
            e[TGX_OAS_DE_PRIORITY] = i >= 0 ? record_at(f, (size_t)i)[OR_PRIORITY] : 0;
            e[TGX_OAS_DE_BYTE15] = lun_unmask_bits(f, t, l);
        }
        ++n;
    }
    drv_wr32(p + countOff, n);
}

// Answers a per-target LUN list request of initiator init on port vpi
// (known: f has that port): the list of the target pick chooses among those
// the port sees, or the ReturnCode of what is missing.
void answer_lun_list(DrvRequest& r, const Function& f, bool known, const uint8_t* init,
                     uint32_t vpi, uint32_t countOff, uint32_t entriesOff,
                     const std::function<const SimTarget*(const std::vector<SimTarget>&)>& pick) {
    std::vector<SimTarget> ts;
    if (!supported(f)) {
        r.returnCode = TGX_OAS_RC_UNSUPPORTED;
    } else if (!known || !targets_of(f, vpi, &ts)) {
        r.returnCode = TGX_OAS_RC_NO_INITIATOR;
    } else if (const SimTarget* t = pick(ts)) {
        fill_lun_list(f, init, *t, r.payload, r.payloadSize, countOff, entriesOff);
        r.returnCode = 0;
    } else {
        r.returnCode = TGX_OAS_RC_NO_TARGET;
    }
}

// One pair of the table: its WWPNs and the LUNs enabled for it.
struct Pair {
    uint8_t init[8];
    uint8_t tgt[8];
    uint32_t bitmap[TGX_OAS_BITMAP_WORDS];
    uint8_t priority[TGX_OAS_MAX_LUNS];
};

std::vector<Pair> pairs_of(const Function& f) {
    std::vector<Pair> out;
    for (size_t i = 0; i < record_count(f); ++i) {
        const uint8_t* r = record_at(f, i);
        Pair* p = nullptr;
        for (Pair& q : out)
            if (memcmp(q.init, r + OR_INIT, 8) == 0 && memcmp(q.tgt, r + OR_TARGET, 8) == 0) p = &q;
        if (!p) {
            out.push_back(Pair{});
            p = &out.back();
            memcpy(p->init, r + OR_INIT, 8);
            memcpy(p->tgt, r + OR_TARGET, 8);
        }
        const uint32_t k = rd16(r + OR_LUN) % TGX_OAS_MAX_LUNS;
        p->bitmap[k / 32] |= 1u << (k % 32);
        p->priority[k] = r[OR_PRIORITY];
    }
    return out;
}

// Both table forms: ReturnCode 6 with the pairs needed when the request has
// room for fewer records than there are pairs.
uint32_t answer_table(DrvRequest& r, uint32_t recordSize, bool v2) {
    uint8_t* p = r.payload;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (!supported(f)) {
            r.returnCode = TGX_OAS_RC_UNSUPPORTED;
            return;
        }
        const std::vector<Pair> pairs = pairs_of(f);
        uint32_t n = rd16(p + TGX_OAS_TABLE_OFF_PAIRS);
        const uint32_t room = (r.payloadSize - TGX_OAS_TABLE_OFF_RECORDS) / recordSize;
        if (n > room) n = room;
        put16(p + TGX_OAS_TABLE_OFF_PAIRS, (uint16_t)pairs.size());
        if (pairs.size() > n) {
            r.returnCode = TGX_OAS_RC_TOO_SMALL;
            return;
        }
        for (size_t i = 0; i < pairs.size(); ++i) {
            uint8_t* rec = p + TGX_OAS_TABLE_OFF_RECORDS + i * recordSize;
            memset(rec, 0, recordSize);
            memcpy(rec + TGX_OAS_PAIR_OFF_INIT, pairs[i].init, 8);
            memcpy(rec + TGX_OAS_PAIR_OFF_TARGET, pairs[i].tgt, 8);
            for (uint32_t w = 0; w < TGX_OAS_BITMAP_WORDS; ++w)
                drv_wr32(rec + TGX_OAS_PAIR_OFF_BITMAP + 4 * w, pairs[i].bitmap[w]);
            if (v2) memcpy(rec + TGX_OAS_PAIR_OFF_V2_EXTRA, pairs[i].priority, TGX_OAS_MAX_LUNS);
        }
        r.returnCode = 0;
    });
    return ok ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

// The checks both set requests share; 0 when the LUN of (init, tgt) may be set.
uint32_t check_set(const Function& f, const uint8_t* init, const uint8_t* tgt, uint32_t lun) {
    if (!supported(f)) return TGX_OAS_RC_UNSUPPORTED;
    uint32_t vpi = 0;
    std::vector<SimTarget> ts;
    if (!port_vpi_of(f, init, &vpi) || !targets_of(f, vpi, &ts)) return TGX_OAS_RC_NO_INITIATOR;
    if (!find_target_by_wwpn(ts, tgt)) return TGX_OAS_RC_NO_TARGET;
    if (lun >= TGX_OAS_MAX_LUNS) return TGX_OAS_RC_BAD_LUN;
    return 0;
}

} // namespace

// 0x8000014A (VPI bits): the target named by its path and target identifiers
// on the port of that VPI.
uint32_t req_oas_lunlist(DrvRequest& r) {
    uint8_t* p = r.payload;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        uint8_t init[8];
        const bool known = port_wwpn_of(f, r.vpi, init);
        answer_lun_list(r, f, known, init, r.vpi, TGX_OAS_LIST_OFF_COUNT, TGX_OAS_LIST_OFF_ENTRIES,
                        [&](const std::vector<SimTarget>& ts) {
                            return find_target_by_ids(ts, drv_rd32(p + TGX_OAS_LIST_OFF_PATH),
                                                      drv_rd32(p + TGX_OAS_LIST_OFF_TARGET));
                        });
    });
    return ok ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

// 0x8000014C: the target named by WWPN, as the initiator named by WWPN sees it.
uint32_t req_oas_lunlist_v2(DrvRequest& r) {
    uint8_t* p = r.payload;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        const uint8_t* init = p + TGX_OAS_LISTV2_OFF_INIT;
        uint32_t vpi = 0;
        const bool known = port_vpi_of(f, init, &vpi);
        answer_lun_list(r, f, known, init, vpi, TGX_OAS_LISTV2_OFF_COUNT,
                        TGX_OAS_LISTV2_OFF_ENTRIES, [&](const std::vector<SimTarget>& ts) {
                            return find_target_by_wwpn(ts, p + TGX_OAS_LISTV2_OFF_TARGET);
                        });
    });
    return ok ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

// 0x8000014B: pair records of 48 bytes.
uint32_t req_oas_table(DrvRequest& r) {
    return answer_table(r, TGX_OAS_PAIR, false);
}

// 0x8000014F: pair records of 304 bytes (the priority of LUN k at byte 48 + k).
uint32_t req_oas_table_v2(DrvRequest& r) {
    return answer_table(r, TGX_OAS_PAIR_V2, true);
}

// 0x8000014D: state bit 0 of one LUN; an enabled LUN keeps its priority.
uint32_t req_oas_set_v2(DrvRequest& r) {
    const uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        const uint8_t* init = p + TGX_OAS_SETV2_OFF_INIT;
        const uint8_t* tgt = p + TGX_OAS_SETV2_OFF_TARGET;
        const uint32_t lun = drv_rd32(p + TGX_OAS_SETV2_OFF_LUN);
        rc = check_set(f, init, tgt, lun);
        if (rc) return false;
        return store(f, init, tgt, lun, (p[TGX_OAS_SETV2_OFF_STATE] & 1) != 0, 0, false);
    });
    return drv_answer(r, ok, rc);
}

// 0x8000014E: version 1 only; state and priority of one LUN.
uint32_t req_oas_set_v3(DrvRequest& r) {
    const uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        const uint8_t* init = p + TGX_OAS_SETV3_OFF_INIT;
        const uint8_t* tgt = p + TGX_OAS_SETV3_OFF_TARGET;
        const uint32_t lun = drv_rd32(p + TGX_OAS_SETV3_OFF_LUN);
        if (!supported(f)) {
            rc = TGX_OAS_RC_UNSUPPORTED;
            return false;
        }
        if (p[TGX_OAS_SETV3_OFF_VERSION] != 1) {
            rc = TGX_OAS_RC_BAD_VERSION;
            return false;
        }
        rc = check_set(f, init, tgt, lun);
        if (rc) return false;
        return store(f, init, tgt, lun, (p[TGX_OAS_SETV3_OFF_STATE] & 1) != 0,
                     p[TGX_OAS_SETV3_OFF_PRIORITY], true);
    });
    return drv_answer(r, ok, rc);
}

} // namespace hbasim
