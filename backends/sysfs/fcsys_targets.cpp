// Targets and LUNs from the FC transport: the remote ports of a port
// (fc_remote_ports/rport-H:C-N) and the SCSI devices behind each target
// (scsi_device/H:C:T:L), as the library's VPI lookup, node list, SCSI
// identifier, LUN list and FCP target mapping requests ask for them. The VPI
// of a virtual port is its number on the physical port plus one; its targets
// are those of the SCSI host it made.
#include <algorithm>
#include <cstring>
#include <vector>

#include "backends/sysfs/fcsys_internal.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"

namespace fcsys {

namespace {

const uint32_t kRcUnknownPort = 2;   // no such virtual port, or not this port's WWPN
const uint32_t kRcUnknownTarget = 5; // no target at that path and target id
const uint32_t kNoTargetId = 0xFFFFFFFFu;
const char kDeviceRunning[] = "running";

uint32_t vpi_of(const Request& r) {
    return (r.code >> 20) & 0xFF;
}

uint16_t rd16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Entries of entry bytes that fit from offset at, at most capacity.
uint32_t room_for(const Request& r, uint32_t capacity, uint32_t at, uint32_t entry) {
    uint32_t room = r.payloadSize < at ? 0 : (r.payloadSize - at) / entry;
    return capacity < room ? capacity : room;
}

// The SCSI host and WWPN of port vpi: the physical port for 0, else the
// virtual port numbered vpi - 1. False when there is no such port.
bool port_of_vpi(const FcsysPort& port, uint32_t vpi, uint32_t* host, uint8_t* wwpn) {
    if (vpi == 0) {
        PortFacts f;
        read_port_facts(port, &f);
        *host = port.host;
        memcpy(wwpn, f.wwpn, FCSYS_WWN_BYTES);
        return true;
    }
    FcsysVport v;
    if (!fcsys_find_vport_by_number(port.host, vpi - 1, &v)) return false;
    *host = v.scsiHost;
    memcpy(wwpn, v.wwpn, FCSYS_WWN_BYTES);
    return true;
}

// Whether the fc_host of SCSI host h is online (a virtual port's own host
// follows its login; one not made yet is down).
bool host_online(uint32_t h) {
    char classDir[FCSYS_PATH_MAX], dir[FCSYS_PATH_MAX], name[32], text[64];
    uint32_t state = 0;
    snprintf(name, sizeof name, "host%u", h);
    return fcsys_root_path("sys/class/fc_host", classDir, sizeof classDir) &&
           fcsys_join(dir, sizeof dir, classDir, name) &&
           fcsys_read_attr(dir, "port_state", text, sizeof text) &&
           fcsys_parse_port_state(text, &state) && state == FCSYS_PORTSTATE_ONLINE;
}

uint32_t node_state(const FcsysRemotePort& rp, bool linkUp) {
    uint32_t s = TGX_NODE_EXISTS;
    if (!linkUp) s |= TGX_NODE_LINK_DOWN;
    if (linkUp && rp.online && rp.targetId >= 0) s |= TGX_NODE_READY;
    if (rp.roles & FCSYS_ROLE_FCP_TARGET) s |= TGX_NODE_ROLE_FCP_TARGET;
    if (rp.roles & FCSYS_ROLE_FCP_INITIATOR) s |= TGX_NODE_ROLE_FCP_INITIATOR;
    if (rp.roles & FCSYS_ROLE_OTHER) s |= TGX_NODE_ROLE_OTHER;
    return s;
}

struct Lun {
    FcsysScsiAddress address;
    char name[32]; // "H:C:T:L"
    bool running;
};

// The SCSI devices of target (host, channel, target id), by LUN.
std::vector<Lun> luns_of(uint32_t host, uint32_t channel, int32_t target) {
    std::vector<Lun> out;
    if (target < 0) return out;
    char prefix[48];
    snprintf(prefix, sizeof prefix, "%u:%u:%d:", host, channel, target);
    fcsys_each_entry("sys/class/scsi_device", prefix, [&](const char* name, const char* dir) {
        Lun l = {};
        if (!fcsys_parse_scsi_address(name, &l.address)) return true;
        snprintf(l.name, sizeof l.name, "%s", name);
        char state[32], deviceDir[FCSYS_PATH_MAX];
        l.running = fcsys_join(deviceDir, sizeof deviceDir, dir, "device") &&
                    fcsys_read_attr(deviceDir, "state", state, sizeof state) &&
                    strcmp(state, kDeviceRunning) == 0;
        out.push_back(l);
        return true;
    });
    std::sort(out.begin(), out.end(),
              [](const Lun& a, const Lun& b) { return a.address.lun < b.address.lun; });
    return out;
}

// The present remote port of host with this WWPN.
bool find_remote_port(uint32_t host, const uint8_t* wwpn, FcsysRemotePort* out) {
    bool found = false;
    each_remote_port(host, [&](const FcsysRemotePort& rp) {
        found = memcmp(rp.wwpn, wwpn, FCSYS_WWN_BYTES) == 0;
        if (found) *out = rp;
        return !found;
    });
    return found;
}

} // namespace

// 0x8000031B: WWPN at 0; the VPI at 8 (0: the physical port).
uint32_t answer_vpi_lookup(const FcsysPort& port, Request& r) {
    PortFacts f;
    read_port_facts(port, &f);
    FcsysVport v;
    r.returnCode = 0;
    if (memcmp(r.payload, f.wwpn, FCSYS_WWN_BYTES) == 0)
        wr32(r.payload + TGX_VPI_OFF_VPI, 0);
    else if (fcsys_find_vport_by_wwpn(port.host, r.payload, &v) && v.name.number < 255)
        wr32(r.payload + TGX_VPI_OFF_VPI, v.name.number + 1);
    else
        r.returnCode = TGX_VPI_RC_NOT_FOUND;
    return 0;
}

// 0x8000011E (VPI): u16 capacity at 0; the count of present remote ports and
// as many entries as fit (words: channel, SCSI target id, node state; D_ID,
// WWNN, WWPN; LUN count).
uint32_t answer_node_list(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    if (r.payloadSize < TGX_NODELIST_OFF_ENTRIES) return PLAT_ERR_BAD_LENGTH;
    uint32_t host = 0;
    uint8_t wwpn[FCSYS_WWN_BYTES];
    if (!port_of_vpi(port, vpi_of(r), &host, wwpn)) {
        r.returnCode = kRcUnknownPort;
        return 0;
    }
    const uint32_t n =
        room_for(r, rd16(p + TGX_NODELIST_OFF_COUNT), TGX_NODELIST_OFF_ENTRIES, TGX_NODELIST_ENTRY);
    const bool up = host_online(host);
    uint32_t count = 0;
    each_remote_port(host, [&](const FcsysRemotePort& rp) {
        if (count < n) {
            uint8_t* e = p + TGX_NODELIST_OFF_ENTRIES + count * TGX_NODELIST_ENTRY;
            memset(e, 0, TGX_NODELIST_ENTRY);
            wr32(e + TGX_NODE_E_WORD0, rp.name.channel);
            wr32(e + TGX_NODE_E_WORD1,
                 rp.targetId >= 0 ? static_cast<uint32_t>(rp.targetId) : kNoTargetId);
            wr32(e + TGX_NODE_E_WORD2, node_state(rp, up));
            wr32(e + TGX_NODE_E_DID, rp.portId);
            memcpy(e + TGX_NODE_E_WWNN, rp.wwnn, FCSYS_WWN_BYTES);
            memcpy(e + TGX_NODE_E_WWPN, rp.wwpn, FCSYS_WWN_BYTES);
            wr32(e + TGX_NODE_E_TAIL,
                 static_cast<uint32_t>(luns_of(host, rp.name.channel, rp.targetId).size()));
        }
        ++count;
        return true;
    });
    wr16(p + TGX_NODELIST_OFF_COUNT, count > 0xFFFF ? 0xFFFF : count);
    wr16(p + TGX_NODELIST_OFF_FLAGS, 0);
    r.returnCode = 0;
    return 0;
}

// 0x8000011B (VPI): target WWPN at 0; path id (channel), target id and node
// state out. An unknown target answers node state 0.
uint32_t answer_scsi_id(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    uint32_t host = 0;
    uint8_t own[FCSYS_WWN_BYTES];
    if (!port_of_vpi(port, vpi_of(r), &host, own)) {
        r.returnCode = kRcUnknownPort;
        return 0;
    }
    FcsysRemotePort rp;
    r.returnCode = 0;
    if (!find_remote_port(host, p + TGX_SCSIID_OFF_WWPN, &rp)) {
        wr32(p + TGX_SCSIID_OFF_FLAGS, 0);
        return 0;
    }
    wr32(p + TGX_SCSIID_OFF_PATH, rp.name.channel);
    wr32(p + TGX_SCSIID_OFF_TARGET,
         rp.targetId >= 0 ? static_cast<uint32_t>(rp.targetId) : kNoTargetId);
    wr32(p + TGX_SCSIID_OFF_FLAGS, node_state(rp, host_online(host)));
    return 0;
}

// 0x80000302: path id, target id, capacity; the target's LUN count and as
// many entries as fit (FCP LUN, OS LUN, state bit 0 running, visible to the
// host: nothing masks a LUN here).
uint32_t answer_lun_list(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    if (r.payloadSize < TGX_LUNLIST_OFF_ENTRIES) return PLAT_ERR_BAD_LENGTH;
    const uint32_t path = rd32(p + TGX_LUNLIST_OFF_PATH);
    const uint32_t tid = rd32(p + TGX_LUNLIST_OFF_TARGET);
    bool known = false;
    each_remote_port(port.host, [&](const FcsysRemotePort& rp) {
        known = rp.name.channel == path && rp.targetId >= 0 &&
                static_cast<uint32_t>(rp.targetId) == tid;
        return !known;
    });
    if (!known) {
        r.returnCode = kRcUnknownTarget;
        return 0;
    }
    const std::vector<Lun> luns = luns_of(port.host, path, static_cast<int32_t>(tid));
    const uint32_t n =
        room_for(r, rd32(p + TGX_LUNLIST_OFF_COUNT), TGX_LUNLIST_OFF_ENTRIES, TGX_LUNLIST_ENTRY);
    wr32(p + TGX_LUNLIST_OFF_COUNT, static_cast<uint32_t>(luns.size()));
    for (uint32_t i = 0; i < n && i < luns.size(); ++i) {
        uint8_t* e = p + TGX_LUNLIST_OFF_ENTRIES + i * TGX_LUNLIST_ENTRY;
        memset(e, 0, TGX_LUNLIST_ENTRY);
        fcsys_fcp_lun(luns[i].address.lun, e);
        wr16(e + TGX_LUNLIST_E_OSLUN, static_cast<uint32_t>(luns[i].address.lun & 0xFFFF));
        e[TGX_LUNLIST_E_STATE] = luns[i].running ? 1 : 0;
        e[TGX_LUNLIST_E_UNMASK] = TGX_UNMASK_LUN;
    }
    r.returnCode = 0;
    return 0;
}

// 0x8000031A (VPI): port WWPN at 0, capacity at 8; one 304-byte entry per
// SCSI device behind the port's targets, ReturnCode 7 when they exceed the
// capacity. The device name is the block device ("/dev/sdc"), else the SCSI
// address.
uint32_t answer_target_mapping(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    if (r.payloadSize < TGX_MAPPING_OFF_ENTRIES) return PLAT_ERR_BAD_LENGTH;
    uint32_t host = 0;
    uint8_t own[FCSYS_WWN_BYTES];
    if (!port_of_vpi(port, vpi_of(r), &host, own) ||
        memcmp(own, p + TGX_MAPPING_OFF_WWPN, FCSYS_WWN_BYTES) != 0) {
        r.returnCode = kRcUnknownPort;
        return 0;
    }
    const uint32_t n =
        room_for(r, rd32(p + TGX_MAPPING_OFF_CAPACITY), TGX_MAPPING_OFF_ENTRIES, TGX_MAPPING_ENTRY);
    uint32_t total = 0;
    each_remote_port(host, [&](const FcsysRemotePort& rp) {
        for (const Lun& l : luns_of(host, rp.name.channel, rp.targetId)) {
            if (total < n) {
                uint8_t* e = p + TGX_MAPPING_OFF_ENTRIES + total * TGX_MAPPING_ENTRY;
                memset(e, 0, TGX_MAPPING_ENTRY);
                char block[64];
                fcsys_block_name(l.name, block, sizeof block);
                if (block[0])
                    snprintf(reinterpret_cast<char*>(e), 256, "/dev/%s", block);
                else
                    snprintf(reinterpret_cast<char*>(e), 256, "%s", l.name);
                wr32(e + 256, rp.name.channel);
                wr32(e + 260, static_cast<uint32_t>(rp.targetId));
                wr32(e + 264, static_cast<uint32_t>(l.address.lun));
                wr32(e + 272, rp.portId);
                memcpy(e + 276, rp.wwnn, FCSYS_WWN_BYTES);
                memcpy(e + 284, rp.wwpn, FCSYS_WWN_BYTES);
                fcsys_fcp_lun(l.address.lun, e + 296);
            }
            ++total;
        }
        return true;
    });
    wr32(p + TGX_MAPPING_OFF_CAPACITY, total);
    r.returnCode = total > n ? TGX_MAPPING_RC_MORE : 0;
    return 0;
}

} // namespace fcsys
