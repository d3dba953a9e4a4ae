// The per-port view of the simulated targets and LUNs (see target_model.h).
#include "sim/driver/target_model.h"

#include <cstring>
#include <string>

#include "interfaces/tgx_ioctl.h"

namespace hbasim {

namespace {
const uint32_t kMaxVpi = 255; // the highest VPI a request can carry
} // namespace

bool port_wwpn_of(const Function& f, uint32_t vpi, uint8_t* wwpn) {
    if (vpi == 0) return parse_hex_bytes(f.attrs.get("wwpn"), wwpn, 8);
    return npiv_vport_by_vpi(f, vpi, wwpn);
}

bool port_vpi_of(const Function& f, const uint8_t* wwpn, uint32_t* vpi) {
    uint8_t own[8];
    if (port_wwpn_of(f, 0, own) && memcmp(own, wwpn, 8) == 0) {
        *vpi = 0;
        return true;
    }
    for (uint32_t v : npiv_vpis(f)) {
        if (v == 0 || v > kMaxVpi) continue;
        if (npiv_vport_by_vpi(f, v, own) && memcmp(own, wwpn, 8) == 0) {
            *vpi = v;
            return true;
        }
    }
    return false;
}

bool targets_of(const Function& f, uint32_t vpi, std::vector<SimTarget>* out) {
    out->clear();
    uint8_t vport[8];
    if (vpi != 0 && !npiv_vport_by_vpi(f, vpi, vport)) return false;
    std::vector<SimTarget> all;
    std::string why;
    if (!parse_targets(f.attrs.get("targets"), &all, &why)) return false;
    for (SimTarget& t : all) {
        if (vpi == 0) {
            out->push_back(t);
        } else if (t.npiv) {
            t.path += vpi;
            out->push_back(t);
        }
    }
    return true;
}

void targets_of_all_ports(const Function& f, std::vector<SimTarget>* out) {
    targets_of(f, 0, out);
    std::vector<SimTarget> more;
    for (uint32_t vpi : npiv_vpis(f))
        if (targets_of(f, vpi, &more)) out->insert(out->end(), more.begin(), more.end());
}

const SimTarget* find_target_by_wwpn(const std::vector<SimTarget>& ts, const uint8_t* wwpn) {
    for (const SimTarget& t : ts)
        if (memcmp(t.wwpn, wwpn, 8) == 0) return &t;
    return nullptr;
}

const SimTarget* find_target_by_did(const std::vector<SimTarget>& ts, uint32_t d_id) {
    for (const SimTarget& t : ts)
        if (t.d_id == d_id) return &t;
    return nullptr;
}

const SimTarget* find_target_by_ids(const std::vector<SimTarget>& ts, uint32_t path, uint32_t tid) {
    for (const SimTarget& t : ts)
        if (t.path == path && t.tid == tid) return &t;
    return nullptr;
}

uint32_t target_node_state(const Function& f, const SimTarget& t) {
    if (f.attrs.get("link") != "up") return TGX_NODE_EXISTS | TGX_NODE_LINK_DOWN;
    return TGX_NODE_EXISTS | (t.ready ? TGX_NODE_READY : 0u);
}

bool hba_unmasked(const Function& f) {
    return f.attrs.get("hba_unmask") == "1";
}

uint8_t lun_unmask_bits(const Function& f, const SimTarget& t, const SimLun& l) {
    uint8_t bits = l.masked ? 0 : TGX_UNMASK_LUN;
    if (t.unmask) bits |= TGX_UNMASK_TARGET;
    if (hba_unmasked(f)) bits |= TGX_UNMASK_HBA;
    return bits;
}

uint8_t lun_unmask_level(const Function& f, const SimTarget& t, const SimLun& l) {
    const uint8_t bits = lun_unmask_bits(f, t, l);
    if (bits & TGX_UNMASK_HBA) return TGX_UNMASK_HBA;
    if (bits & TGX_UNMASK_TARGET) return TGX_UNMASK_TARGET;
    return bits & TGX_UNMASK_LUN;
}

uint32_t lun_word_a(const SimTarget& t) {
    return (uint32_t)t.blocks;
}
uint32_t lun_word_b(const SimTarget& t) {
    return t.blockSize;
}

bool update_targets(Function& f, const std::function<bool(std::vector<SimTarget>&)>& fn) {
    std::vector<SimTarget> all;
    std::string why;
    if (!parse_targets(f.attrs.get("targets"), &all, &why) || !fn(all)) return false;
    f.attrs.set("targets", format_targets(all));
    return true;
}

} // namespace hbasim
