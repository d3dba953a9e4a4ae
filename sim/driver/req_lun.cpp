// LUN masking and target mapping requests of the simulated driver: the SCSI
// identifier of a target, its LUN list, the node list of a (virtual) port,
// the multi-LUN mask, the rescan and the FCP target mapping. All answer from
// the function's targets (target_model.h); the mask request rewrites them.
#include <cstdio>
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/target_model.h"

namespace hbasim {

namespace {

const uint32_t kRcUnknownPort = 2;   // no such virtual port (or not this port's WWPN)
const uint32_t kRcBadMask = 2;       // mask level or LUN range refused
const uint32_t kRcUnknownTarget = 5; // no target at that path and target id

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
uint16_t rd16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

// Entries of 'entry' bytes to write from 'at': the caller's capacity, cut to
// what fits in the payload.
uint32_t entries_to_write(const DrvRequest& r, uint32_t capacity, uint32_t at, uint32_t entry) {
    const uint32_t room = r.payloadSize < at ? 0 : (r.payloadSize - at) / entry;
    return capacity < room ? capacity : room;
}

// The 8-byte FCP LUN of a LUN number below 256 (peripheral addressing).
void fcp_lun(uint32_t lun, uint8_t* out) {
    memset(out, 0, 8);
    out[1] = (uint8_t)lun;
}

// True when wwpn is the WWPN of port vpi of f (the physical port for 0).
bool port_wwpn_is(const Function& f, uint32_t vpi, const uint8_t* wwpn) {
    uint8_t own[8];
    return port_wwpn_of(f, vpi, own) && memcmp(own, wwpn, 8) == 0;
}

} // namespace

// 0x8000011B (VPI): target WWPN at 0; out path id, target id, node state.
// An unknown target answers node state 0.
uint32_t req_inquire_scsiid(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        if (!targets_of(f, r.vpi, &ts)) {
            rc = kRcUnknownPort;
            return;
        }
        const SimTarget* t = find_target_by_wwpn(ts, p + TGX_SCSIID_OFF_WWPN);
        drv_wr32(p + TGX_SCSIID_OFF_FLAGS, t ? target_node_state(f, *t) : 0);
        if (!t) return;
        drv_wr32(p + TGX_SCSIID_OFF_PATH, t->path);
        drv_wr32(p + TGX_SCSIID_OFF_TARGET, t->tid);
    });
    return drv_answer(r, ok, rc);
}

// 0x80000302: path id, target id, capacity; the count of the target's LUNs
// and as many entries as the capacity and the envelope hold.
uint32_t req_inquire_lunlist(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        targets_of(f, 0, &ts);
        const SimTarget* t = find_target_by_ids(ts, drv_rd32(p + TGX_LUNLIST_OFF_PATH),
                                                drv_rd32(p + TGX_LUNLIST_OFF_TARGET));
        if (!t) {
            rc = kRcUnknownTarget;
            return;
        }
        const uint32_t n = entries_to_write(r, drv_rd32(p + TGX_LUNLIST_OFF_COUNT),
                                            TGX_LUNLIST_OFF_ENTRIES, TGX_LUNLIST_ENTRY);
        drv_wr32(p + TGX_LUNLIST_OFF_COUNT, (uint32_t)t->luns.size());
        for (uint32_t i = 0; i < n && i < t->luns.size(); ++i) {
            const SimLun& l = t->luns[i];
            uint8_t* e = p + TGX_LUNLIST_OFF_ENTRIES + i * TGX_LUNLIST_ENTRY;
            memset(e, 0, TGX_LUNLIST_ENTRY);
            fcp_lun(l.lun, e);
            put16(e + TGX_LUNLIST_E_OSLUN, l.lun);
            drv_wr32(e + TGX_LUNLIST_E_WORDA, lun_word_a(*t));
            drv_wr32(e + TGX_LUNLIST_E_WORDB, lun_word_b(*t));
            e[TGX_LUNLIST_E_STATE] = l.offline ? 0 : 1;
            e[TGX_LUNLIST_E_UNMASK] = lun_unmask_level(f, *t, l);
        }
    });
    return drv_answer(r, ok, rc);
}

// 0x8000011E (VPI): u16 capacity at 0; the count of targets, the flags and the
// entries (words: path id, target id, node state; D_ID; WWNN; WWPN; LUNs).
uint32_t req_inquire_nodelist(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    if (r.payloadSize < TGX_NODELIST_OFF_ENTRIES) return PLAT_ERR_BAD_LENGTH;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        if (!targets_of(f, r.vpi, &ts)) {
            rc = kRcUnknownPort;
            return;
        }
        const uint32_t n = entries_to_write(r, rd16(p + TGX_NODELIST_OFF_COUNT),
                                            TGX_NODELIST_OFF_ENTRIES, TGX_NODELIST_ENTRY);
        put16(p + TGX_NODELIST_OFF_COUNT, (uint16_t)ts.size());
        put16(p + TGX_NODELIST_OFF_FLAGS, hba_unmasked(f) ? TGX_NODELIST_FLAG_HBA_UNMASK : 0);
        for (uint32_t i = 0; i < n && i < ts.size(); ++i) {
            const SimTarget& t = ts[i];
            uint8_t* e = p + TGX_NODELIST_OFF_ENTRIES + i * TGX_NODELIST_ENTRY;
            drv_wr32(e + TGX_NODE_E_WORD0, t.path);
            drv_wr32(e + TGX_NODE_E_WORD1, t.tid);
            drv_wr32(e + TGX_NODE_E_WORD2, target_node_state(f, t));
            drv_wr32(e + TGX_NODE_E_DID, t.d_id);
            memcpy(e + TGX_NODE_E_WWNN, t.wwnn, 8);
            memcpy(e + TGX_NODE_E_WWPN, t.wwpn, 8);
            drv_wr32(e + TGX_NODE_E_TAIL, (uint32_t)t.luns.size());
        }
    });
    return drv_answer(r, ok, rc);
}

// 0x80000305: path, target, first LUN, count, mask word. LUN level changes
// the LUNs of the range the target has; target and HBA level their flag.
uint32_t req_multi_lunmask(DrvRequest& r) {
    const uint8_t* p = r.payload;
    const uint32_t path = drv_rd32(p), tid = drv_rd32(p + 4), first = drv_rd32(p + 8);
    const uint32_t count = drv_rd32(p + 12), word = drv_rd32(p + 16);
    const uint32_t level = word & ~TGX_MASK_BIT;
    const bool unmask = (word & TGX_MASK_BIT) == 0;
    uint32_t rc = 0;
    if (level > TGX_MASK_LEVEL_LUN ||
        (level == TGX_MASK_LEVEL_LUN && (uint64_t)first + count > kMaxSimLun + 1)) {
        r.returnCode = kRcBadMask;
        return 0;
    }
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        // The driver's masks last until the next restart (reboot_rules.cpp).
        for (const char* key : {"targets", "hba_unmask"}) {
            const std::string saved = std::string("saved_") + key;
            if (!f.attrs.has(saved)) f.attrs.set(saved, f.attrs.get(key));
        }
        if (level == TGX_MASK_LEVEL_HBA) {
            const std::string v = unmask ? "1" : "0";
            if (f.attrs.get("hba_unmask") == v) return false;
            f.attrs.set("hba_unmask", v);
            return true;
        }
        bool found = false;
        bool changed = update_targets(f, [&](std::vector<SimTarget>& ts) {
            for (SimTarget& t : ts) {
                if (t.path != path || t.tid != tid) continue;
                found = true;
                if (level == TGX_MASK_LEVEL_TARGET) t.unmask = unmask;
                for (SimLun& l : t.luns)
                    if (level == TGX_MASK_LEVEL_LUN && l.lun >= first && l.lun - first < count)
                        l.masked = !unmask;
            }
            return found;
        });
        if (!found) rc = kRcUnknownTarget;
        return changed;
    });
    return drv_answer(r, ok, rc);
}

// 0x80000306: the bus rescan; the targets are always current here.
uint32_t req_scsi_rescan(DrvRequest& r) {
    r.returnCode = 0;
    return 0;
}

// 0x8000031A (VPI): port WWPN at 0, capacity at 8; one 304-byte entry per
// LUN the host sees, ReturnCode 7 when they exceed the capacity.
uint32_t req_fcp_target_mapping(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    if (r.payloadSize < TGX_MAPPING_OFF_ENTRIES) return PLAT_ERR_BAD_LENGTH;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        if (!port_wwpn_is(f, r.vpi, p + TGX_MAPPING_OFF_WWPN) || !targets_of(f, r.vpi, &ts)) {
            rc = kRcUnknownPort;
            return;
        }
        const uint32_t n = entries_to_write(r, drv_rd32(p + TGX_MAPPING_OFF_CAPACITY),
                                            TGX_MAPPING_OFF_ENTRIES, TGX_MAPPING_ENTRY);
        const int port = func_scsi_port(f);
        uint32_t total = 0;
        for (const SimTarget& t : ts)
            for (const SimLun& l : t.luns) {
                if (!lun_visible(f, t, l)) continue;
                if (total < n) {
                    uint8_t* e = p + TGX_MAPPING_OFF_ENTRIES + total * TGX_MAPPING_ENTRY;
                    memset(e, 0, TGX_MAPPING_ENTRY);
                    snprintf((char*)e, 256, "\\\\.\\Scsi%d:%u:%u:%u", port, t.path, t.tid, l.lun);
                    drv_wr32(e + 256, t.path);
                    drv_wr32(e + 260, t.tid);
                    drv_wr32(e + 264, l.lun);
                    drv_wr32(e + 272, t.d_id);
                    memcpy(e + 276, t.wwnn, 8);
                    memcpy(e + 284, t.wwpn, 8);
                    fcp_lun(l.lun, e + 296);
                }
                ++total;
            }
        drv_wr32(p + TGX_MAPPING_OFF_CAPACITY, total);
        if (total > n) rc = TGX_MAPPING_RC_MORE;
    });
    return drv_answer(r, ok, rc);
}

} // namespace hbasim
