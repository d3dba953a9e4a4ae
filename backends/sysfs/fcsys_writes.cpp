// The writes the kernel's FC transport offers, each through its own sysfs
// file, and the virtual-port queries that go with them:
//
//   NPIV create   fc_host/host<n>/vport_create  "<WWPN>:<WWNN>" (16 hex digits each)
//   NPIV delete   fc_host/host<n>/vport_delete  the same, of a listed virtual port
//   LUN rescan    scsi_host/host<n>/scan        "- - -" (every channel, target, LUN)
//
// A driver without the feature has no such file: the request is refused with
// the ReturnCode that says "not supported". Every other write stays refused
// (fcsys_backend.cpp). Virtual ports are read from fc_vports/vport-<n>:C-N.
#include <cstring>

#include "backends/sysfs/fcsys_internal.h"
#include "interfaces/tgx_ioctl.h"

namespace fcsys {

namespace {

const uint32_t kRcFailed = 1;
const char kRescanAll[] = "- - -";
const char kVportActive[] = "Active";

uint32_t write_rc_not_supported(FcsysWrite w) {
    return w == FCSYS_WRITE_ABSENT || w == FCSYS_WRITE_NOT_A_FILE ? TGX_NPIV_RC_NOT_SUPPORTED
                                                                  : kRcFailed;
}

// FC ID and login of a virtual port's own fc_host; 0 and false before it
// logged in (or before the kernel made its host).
uint32_t vport_fc_id(const FcsysVport& v, bool* online) {
    *online = false;
    if (v.scsiHost == UINT32_MAX) return 0;
    char classDir[FCSYS_PATH_MAX], dir[FCSYS_PATH_MAX], name[32], text[64];
    snprintf(name, sizeof name, "host%u", v.scsiHost);
    if (!fcsys_root_path("sys/class/fc_host", classDir, sizeof classDir) ||
        !fcsys_join(dir, sizeof dir, classDir, name))
        return 0;
    uint32_t id = 0, state = 0;
    if (fcsys_read_attr(dir, "port_id", text, sizeof text)) fcsys_parse_hex(text, 0xFFFFFF, &id);
    if (fcsys_read_attr(dir, "port_state", text, sizeof text) &&
        fcsys_parse_port_state(text, &state))
        *online = state == FCSYS_PORTSTATE_ONLINE;
    return id;
}

void put_vport(const FcsysVport& v, uint8_t* p) {
    bool online = false;
    const uint32_t fcId = vport_fc_id(v, &online);
    memcpy(p + TGX_NPIV_OFF_WWPN, v.wwpn, FCSYS_WWN_BYTES);
    memcpy(p + TGX_NPIV_OFF_WWNN, v.wwnn, FCSYS_WWN_BYTES);
    memset(p + TGX_NPIV_OFF_NAME, 0, TGX_NPIV_NAME_LEN);
    memcpy(p + TGX_NPIV_OFF_NAME, v.symbolicName, strnlen(v.symbolicName, TGX_NPIV_NAME_LEN - 1));
    wr32(p + TGX_NPIV_OFF_OPTIONS, 0);
    wr32(p + TGX_NPIV_OFF_FCID, fcId);
    bool active = strcmp(v.state, kVportActive) == 0 && online;
    p[TGX_NPIV_OFF_STATE] = active ? TGX_NPIV_STATE_ONLINE : TGX_NPIV_STATE_OFFLINE;
    p[TGX_NPIV_OFF_B285] = static_cast<uint8_t>(v.name.number + 1); // the VPI
    p[TGX_NPIV_OFF_FLAGS] = 0;
}

} // namespace

// 0x80000306: "- - -" into scsi_host/host<n>/scan.
uint32_t answer_rescan(const FcsysPort& port, Request& r) {
    char classDir[FCSYS_PATH_MAX], dir[FCSYS_PATH_MAX], name[32];
    snprintf(name, sizeof name, "host%u", port.host);
    FcsysWrite w = FCSYS_WRITE_ABSENT;
    if (fcsys_root_path("sys/class/scsi_host", classDir, sizeof classDir) &&
        fcsys_join(dir, sizeof dir, classDir, name))
        w = fcsys_write_attr(dir, "scan", kRescanAll);
    r.returnCode = w == FCSYS_WRITE_DONE ? 0 : kRcFailed;
    return 0;
}

// 0x80000311: WWPN at 4, WWNN at 12, options at 276. The kernel makes the
// port at once and it logs in when it can: a port not logged in yet answers
// "not ready" with state offline (created), a refused write "not ready" with
// state 0. The readiness test (option 0x100) has no sysfs counterpart.
uint32_t answer_vport_create(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    if (rd32(p + TGX_NPIV_OFF_OPTIONS) & TGX_NPIV_OPT_READY_TEST) {
        r.returnCode = TGX_NPIV_RC_NOT_SUPPORTED;
        return 0;
    }
    char text[FCSYS_VPORT_TEXT_SIZE];
    fcsys_format_vport_names(p + TGX_NPIV_OFF_WWPN, p + TGX_NPIV_OFF_WWNN, text);
    FcsysWrite w = fcsys_write_attr(port.hostDir, "vport_create", text);
    p[TGX_NPIV_OFF_STATE] = 0;
    wr32(p + TGX_NPIV_OFF_FCID, 0);
    if (w != FCSYS_WRITE_DONE) {
        r.returnCode = w == FCSYS_WRITE_REFUSED ? TGX_NPIV_RC_NOT_READY : write_rc_not_supported(w);
        return 0;
    }
    FcsysVport v;
    if (fcsys_find_vport_by_wwpn(port.host, p + TGX_NPIV_OFF_WWPN, &v)) {
        put_vport(v, p);
        bool online = false;
        if (vport_fc_id(v, &online) != 0 && online) {
            r.returnCode = 0;
            return 0;
        }
    }
    p[TGX_NPIV_OFF_STATE] = TGX_NPIV_STATE_OFFLINE;
    r.returnCode = TGX_NPIV_RC_NOT_READY;
    return 0;
}

// 0x80000312: WWPN at 0, a virtual port of this port.
uint32_t answer_vport_delete(const FcsysPort& port, Request& r) {
    FcsysVport v;
    if (!fcsys_find_vport_by_wwpn(port.host, r.payload, &v)) {
        r.returnCode = TGX_NPIV_RC_UNKNOWN_WWPN;
        return 0;
    }
    char text[FCSYS_VPORT_TEXT_SIZE];
    fcsys_format_vport_names(v.wwpn, v.wwnn, text);
    FcsysWrite w = fcsys_write_attr(port.hostDir, "vport_delete", text);
    r.returnCode = w == FCSYS_WRITE_DONE ? 0 : write_rc_not_supported(w);
    return 0;
}

// 0x80000316: capacity at 0 in, the count out; entries of WWPN, WWNN, FC ID.
uint32_t answer_vport_list(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    uint32_t capacity = rd32(p);
    const uint32_t room = (r.payloadSize - TGX_NPIV_LIST_OFF_ENTRIES) / TGX_NPIV_LIST_ENTRY;
    if (capacity > room) capacity = room;
    char prefix[32];
    snprintf(prefix, sizeof prefix, "vport-%u:", port.host);
    uint32_t count = 0;
    fcsys_each_entry("sys/class/fc_vports", prefix, [&](const char* name, const char* dir) {
        FcsysVport v;
        if (!fcsys_read_vport(name, dir, &v) || v.name.host != port.host) return true;
        if (count < capacity) {
            uint8_t* e = p + TGX_NPIV_LIST_OFF_ENTRIES + count * TGX_NPIV_LIST_ENTRY;
            bool online = false;
            memcpy(e, v.wwpn, FCSYS_WWN_BYTES);
            memcpy(e + 8, v.wwnn, FCSYS_WWN_BYTES);
            wr32(e + 16, vport_fc_id(v, &online));
            wr32(e + 20, 0);
        }
        ++count;
        return true;
    });
    wr32(p, count);
    r.returnCode = 0;
    return 0;
}

// 0x80000315: version at 0, WWPN at 4 in; the virtual port's attributes out.
// The readiness checklist and the driver-generation tail stay 0: sysfs has
// nothing for them.
uint32_t answer_vport_attributes(const FcsysPort& port, Request& r) {
    uint8_t* p = r.payload;
    FcsysVport v;
    if (!fcsys_find_vport_by_wwpn(port.host, p + TGX_NPIV_OFF_WWPN, &v)) {
        r.returnCode = TGX_NPIV_RC_UNKNOWN_WWPN;
        return 0;
    }
    const uint8_t version = p[TGX_NPIV_OFF_VERSION];
    memset(p, 0, TGX_NPIV_PAYLOAD);
    p[TGX_NPIV_OFF_VERSION] = version;
    put_vport(v, p);
    r.returnCode = 0;
    return 0;
}

} // namespace fcsys
