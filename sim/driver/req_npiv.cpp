// NPIV virtual-port requests of the simulated driver: create, delete, list,
// attributes, link information, resources, statistics and the VPI lookup.
//
// The virtual ports of a function live in its "npiv_vports" blob, one fixed
// record each, so they persist with the machine. A port is ready for NPIV when
// its link is up, the fabric accepts further logins ("npiv_fabric", default on)
// and a VPI is free ("npiv_max" ports, default 64); "npiv" = "0" makes the
// function refuse every virtual-port request.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/target_model.h"
#include "sim/driver/wmi_sim.h"

namespace hbasim {

namespace {

const char kVportBlob[] = "npiv_vports";
const uint32_t kRcDuplicate = 3; // the WWPN is already in use on this port
const uint32_t kDefaultMaxPorts = 64;

// Record of one virtual port in the blob.
enum : uint32_t {
    VR_WWPN = 0,
    VR_WWNN = 8,
    VR_FCID = 16,
    VR_VPI = 20,
    VR_STATE = 24,
    VR_NAME = 28,                             // 256 bytes
    VR_FIELD32 = VR_NAME + TGX_NPIV_NAME_LEN, // 32 bytes kept for the attributes
    VR_SIZE = VR_FIELD32 + 32,
};

// WWN text "10:00:..." as 8 bytes; zeros when it does not parse.
void wwn_bytes(const std::string& text, uint8_t* out) {
    memset(out, 0, 8);
    unsigned v[8];
    if (sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
               &v[6], &v[7]) != 8)
        return;
    for (int i = 0; i < 8; ++i)
        out[i] = (uint8_t)v[i];
}

// Value of one dot-separated number of a driver version: digits count, other
// characters only shift.
uint32_t tuple_value(const std::string& t) {
    uint32_t v = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (i) v *= 10;
        if (t[i] >= '0' && t[i] <= '9') v += (uint32_t)(t[i] - '0');
    }
    return v;
}

// True when the driver version speaks the new virtual-port record: a first
// number of 10 or more, or 7.x with x above 2, or 7.2.y with y above 20.
bool new_layout(const std::string& version) {
    size_t dot = version.find('.');
    std::string first = version.substr(0, dot == std::string::npos ? version.size() : dot);
    if (first.empty() || first.size() > 12) return false;
    if (tuple_value(first) >= 10) return true;
    if (version.size() <= 2) return false;
    size_t dot2 = version.find('.', 2);
    size_t end2 = dot2 == std::string::npos ? std::min<size_t>(version.size(), 10) : dot2;
    if (end2 <= 2) return false;
    uint32_t second = tuple_value(version.substr(2, end2 - 2));
    if (dot2 == std::string::npos) return false;
    size_t start3 = dot2 + 1;
    size_t dot3 = version.find('.', start3);
    size_t end3 = dot3 == std::string::npos ? std::min<size_t>(version.size(), 16) : dot3;
    if (end3 <= start3) return false;
    uint32_t third = tuple_value(version.substr(start3, end3 - start3));
    if (second < 2) return false;
    if (second == 2 && third <= 20) return false;
    return true;
}

struct Layout {
    uint32_t field8, checklist, field32;
};
Layout layout_of(const Function& f) {
    if (new_layout(f.attrs.get("drv_ver")))
        return {TGX_NPIV_NEW_OFF_FIELD8, TGX_NPIV_NEW_OFF_CHECKLIST, TGX_NPIV_NEW_OFF_FIELD32};
    return {TGX_NPIV_OLD_OFF_FIELD8, TGX_NPIV_OLD_OFF_CHECKLIST, TGX_NPIV_OLD_OFF_FIELD32};
}

bool supported(const Function& f) {
    return f.attrs.get("npiv") != "0";
}

size_t vport_count(const Function& f) {
    auto it = f.blobs.find(kVportBlob);
    return it == f.blobs.end() ? 0 : it->second.size() / VR_SIZE;
}

const uint8_t* vport_at(const Function& f, size_t i) {
    return f.blobs.at(kVportBlob).data() + i * VR_SIZE;
}

// Index of the virtual port with this WWPN, or -1.
long find_vport(const Function& f, const uint8_t* wwpn) {
    for (size_t i = 0; i < vport_count(f); ++i)
        if (memcmp(vport_at(f, i) + VR_WWPN, wwpn, 8) == 0) return (long)i;
    return -1;
}

uint32_t max_ports(const Function& f) {
    return (uint32_t)f.attrs.get_u("npiv_max", kDefaultMaxPorts);
}

uint32_t checklist_of(const Function& f) {
    uint32_t c = 0;
    if (f.attrs.get("link") == "up") c |= TGX_NPIV_CHK_LINK_UP;
    if (f.attrs.get("npiv_fabric") != "0") c |= TGX_NPIV_CHK_FABRIC;
    if (vport_count(f) < max_ports(f)) c |= TGX_NPIV_CHK_RESOURCES;
    return c;
}
const uint32_t kReady = TGX_NPIV_CHK_LINK_UP | TGX_NPIV_CHK_FABRIC | TGX_NPIV_CHK_RESOURCES;

// Smallest VPI from 1 that no virtual port holds.
uint32_t free_vpi(const Function& f) {
    for (uint32_t vpi = 1;; ++vpi) {
        bool used = false;
        for (size_t i = 0; i < vport_count(f) && !used; ++i)
            used = drv_rd32(vport_at(f, i) + VR_VPI) == vpi;
        if (!used) return vpi;
    }
}

// The attributes of one virtual port into a create or attributes payload.
void fill_attributes(const Function& f, const uint8_t* vr, uint8_t* p) {
    const Layout l = layout_of(f);
    memcpy(p + TGX_NPIV_OFF_WWPN, vr + VR_WWPN, 8);
    memcpy(p + TGX_NPIV_OFF_WWNN, vr + VR_WWNN, 8);
    memcpy(p + TGX_NPIV_OFF_NAME, vr + VR_NAME, TGX_NPIV_NAME_LEN);
    drv_wr32(p + TGX_NPIV_OFF_FCID, drv_rd32(vr + VR_FCID));
    p[TGX_NPIV_OFF_STATE] = vr[VR_STATE];
    p[TGX_NPIV_OFF_B285] = (uint8_t)drv_rd32(vr + VR_VPI);
    p[TGX_NPIV_OFF_FLAGS] = 0;
    wwn_bytes(f.attrs.get("wwpn"), p + l.field8); // the physical port behind it
    drv_wr32(p + l.checklist, checklist_of(f));
    memcpy(p + l.field32, vr + VR_FIELD32, 32);
}

} // namespace

std::vector<uint32_t> npiv_vpis(const Function& f) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < vport_count(f); ++i)
        out.push_back(drv_rd32(vport_at(f, i) + VR_VPI));
    std::sort(out.begin(), out.end());
    return out;
}

bool npiv_vport_by_vpi(const Function& f, uint32_t vpi, uint8_t* wwpn) {
    for (size_t i = 0; i < vport_count(f); ++i)
        if (drv_rd32(vport_at(f, i) + VR_VPI) == vpi) {
            memcpy(wwpn, vport_at(f, i) + VR_WWPN, 8);
            return true;
        }
    return false;
}

// 0x80000311: the 344-byte record; options 0x100 only tests readiness.
uint32_t req_npiv_create(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t options = drv_rd32(p + TGX_NPIV_OFF_OPTIONS);
    uint8_t field32[32];
    memcpy(field32, p + TGX_NPIV_NEW_OFF_FIELD32, sizeof field32); // always sent there
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return false;
        }
        const Layout l = layout_of(f);
        const uint32_t check = checklist_of(f);
        uint8_t phys[8];
        wwn_bytes(f.attrs.get("wwpn"), phys);
        if (options & TGX_NPIV_OPT_READY_TEST) {
            drv_wr32(p + l.checklist, check);
            drv_wr32(p + TGX_NPIV_OFF_FCID, 0);
            rc = check == kReady ? 0 : TGX_NPIV_RC_NOT_READY;
            return false;
        }
        if (memcmp(p + TGX_NPIV_OFF_WWPN, phys, 8) == 0 ||
            find_vport(f, p + TGX_NPIV_OFF_WWPN) >= 0) {
            rc = kRcDuplicate;
            return false;
        }
        // Without the fabric or a free VPI nothing is created; with only the
        // link down the port is made and logs in when the link comes up.
        const uint32_t hard = TGX_NPIV_CHK_FABRIC | TGX_NPIV_CHK_RESOURCES;
        if ((check & hard) != hard) {
            drv_wr32(p + l.checklist, check | TGX_NPIV_CHK_REFUSED);
            p[TGX_NPIV_OFF_STATE] = 0;
            rc = TGX_NPIV_RC_NOT_READY;
            return false;
        }
        const bool up = (check & TGX_NPIV_CHK_LINK_UP) != 0;
        const uint32_t vpi = free_vpi(f);
        uint8_t vr[VR_SIZE] = {};
        memcpy(vr + VR_WWPN, p + TGX_NPIV_OFF_WWPN, 8);
        memcpy(vr + VR_WWNN, p + TGX_NPIV_OFF_WWNN, 8);
        drv_wr32(vr + VR_FCID, up ? (uint32_t)((f.attrs.get_u("d_id") & 0xFFFF00u) | vpi) : 0);
        drv_wr32(vr + VR_VPI, vpi);
        vr[VR_STATE] = up ? TGX_NPIV_STATE_ONLINE : TGX_NPIV_STATE_OFFLINE;
        memcpy(vr + VR_NAME, p + TGX_NPIV_OFF_NAME, TGX_NPIV_NAME_LEN);
        vr[VR_NAME + TGX_NPIV_NAME_LEN - 1] = 0;
        memcpy(vr + VR_FIELD32, field32, sizeof field32);
        Bytes& b = f.blobs[kVportBlob];
        b.insert(b.end(), vr, vr + VR_SIZE);
        fill_attributes(f, vr, p);
        rc = up ? 0 : TGX_NPIV_RC_NOT_READY;
        return true;
    });
    return drv_answer(r, ok, rc);
}

// 0x80000312: WWPN at p0.
uint32_t req_npiv_delete(DrvRequest& r) {
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return false;
        }
        long i = find_vport(f, r.payload);
        if (i < 0) {
            rc = TGX_NPIV_RC_UNKNOWN_WWPN;
            return false;
        }
        Bytes& b = f.blobs[kVportBlob];
        b.erase(b.begin() + i * VR_SIZE, b.begin() + (i + 1) * VR_SIZE);
        if (b.empty()) f.blobs.erase(kVportBlob);
        return true;
    });
    return drv_answer(r, ok, rc);
}

// 0x80000314: 44 bytes, the virtual port's WWPN at 16. Answer: FC ID at 0,
// state at 4, WWNN at 8, link up at 24, VPI at 28.
uint32_t req_npiv_query(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return;
        }
        long i = find_vport(f, p + 16);
        if (i < 0) {
            rc = TGX_NPIV_RC_UNKNOWN_WWPN;
            return;
        }
        const uint8_t* vr = vport_at(f, (size_t)i);
        drv_wr32(p + 0, drv_rd32(vr + VR_FCID));
        drv_wr32(p + 4, vr[VR_STATE]);
        memcpy(p + 8, vr + VR_WWNN, 8);
        drv_wr32(p + 24, f.attrs.get("link") == "up" ? 1 : 0);
        drv_wr32(p + 28, drv_rd32(vr + VR_VPI));
    });
    return drv_answer(r, ok, rc);
}

// 0x80000315: version at 0 and WWPN at 4 in; the attributes out.
uint32_t req_npiv_portattrib(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return;
        }
        long i = find_vport(f, p + TGX_NPIV_OFF_WWPN);
        if (i < 0) {
            rc = TGX_NPIV_RC_UNKNOWN_WWPN;
            return;
        }
        if (f.attrs.get("link") != "up") {
            rc = TGX_NPIV_RC_LINK_DOWN;
            return;
        }
        fill_attributes(f, vport_at(f, (size_t)i), p);
    });
    return drv_answer(r, ok, rc);
}

// 0x80000316: capacity at p0 in, the port's count out (it may exceed the
// capacity); as many entries as both the capacity and the envelope hold.
uint32_t req_npiv_getlist(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t capacity = drv_rd32(p);
    const uint32_t room = (r.payloadSize - TGX_NPIV_LIST_OFF_ENTRIES) / TGX_NPIV_LIST_ENTRY;
    if (capacity > room) capacity = room;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return;
        }
        const size_t n = vport_count(f);
        drv_wr32(p, (uint32_t)n);
        for (size_t i = 0; i < n && i < capacity; ++i) {
            uint8_t* e = p + TGX_NPIV_LIST_OFF_ENTRIES + i * TGX_NPIV_LIST_ENTRY;
            const uint8_t* vr = vport_at(f, i);
            memcpy(e, vr + VR_WWPN, 8);
            memcpy(e + 8, vr + VR_WWNN, 8);
            drv_wr32(e + 16, drv_rd32(vr + VR_FCID));
        }
    });
    return drv_answer(r, ok, rc);
}

// 0x80000317: most ports, ports in use and ports free, in words 0-2.
uint32_t req_npiv_resource(DrvRequest& r) {
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        const uint32_t max = max_ports(f), used = (uint32_t)vport_count(f);
        drv_wr32(r.payload, max);
        drv_wr32(r.payload + 4, used);
        drv_wr32(r.payload + 8, used < max ? max - used : 0);
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

// 0x80000318: switches the per-port statistics on.
uint32_t req_npiv_setupstats(DrvRequest& r) {
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return false;
        }
        if (f.attrs.get("npiv_stats") == "1") return false;
        f.attrs.set("npiv_stats", "1");
        return true;
    });
    return drv_answer(r, ok, rc);
}

// 0x80000319: statistics words: 0 statistics on, 1 virtual ports, the rest 0.
uint32_t req_npiv_getstats(DrvRequest& r) {
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (!supported(f)) {
            rc = TGX_NPIV_RC_NOT_SUPPORTED;
            return;
        }
        if (r.payloadSize >= 4) drv_wr32(r.payload, f.attrs.get("npiv_stats") == "1" ? 1 : 0);
        if (r.payloadSize >= 8) drv_wr32(r.payload + 4, (uint32_t)vport_count(f));
    });
    return drv_answer(r, ok, rc);
}

// 0x8000031B: WWPN at p0; the VPI at p8 (0 for the physical port).
uint32_t req_vpi_lookup(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        uint8_t phys[8];
        wwn_bytes(f.attrs.get("wwpn"), phys);
        if (memcmp(p, phys, 8) == 0) {
            drv_wr32(p + TGX_VPI_OFF_VPI, 0);
            return;
        }
        long i = find_vport(f, p);
        if (i < 0) {
            rc = TGX_VPI_RC_NOT_FOUND;
            return;
        }
        drv_wr32(p + TGX_VPI_OFF_VPI, drv_rd32(vport_at(f, (size_t)i) + VR_VPI));
    });
    return drv_answer(r, ok, rc);
}

} // namespace hbasim

namespace hbasim {

std::vector<std::array<uint8_t, 16>> npiv_vport_names(const Function& f) {
    std::vector<std::array<uint8_t, 16>> out;
    for (size_t i = 0; i < vport_count(f); ++i) {
        std::array<uint8_t, 16> n;
        memcpy(n.data(), vport_at(f, i) + VR_WWPN, 8);
        memcpy(n.data() + 8, vport_at(f, i) + VR_WWNN, 8);
        out.push_back(n);
    }
    return out;
}

} // namespace hbasim
