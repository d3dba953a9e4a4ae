// SCSI, FCP and ELS pass-through requests of the simulated driver, answered by
// the simulated targets (target_model.h).
//
// The targets execute INQUIRY (standard data and the EVPD pages 0x00, 0x80,
// 0x83), READ CAPACITY(10), REPORT LUNS and TEST UNIT READY; any other
// command, a LUN the target does not have (except for REPORT LUNS) and a bad
// field come back as CHECK CONDITION with fixed-format sense data (ReturnCode
// 2 | 0x80). Data longer than the caller's room answers ReturnCode 18 with the
// full length as the transferred count and only the room filled.
//
// ELS: ECHO, PLOGI, ADISC and RLS are accepted (LS_ACC); any other command
// is rejected (LS_RJT, reason 0x0B "command not supported"). A destination
// the port does not see, or a link that is down, answers ReturnCode 2.
#include <cstdio>
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/target_model.h"

namespace hbasim {

namespace {

const uint8_t kGood = 0x00;
const uint8_t kCheckCondition = 0x02;
const uint32_t kSenseBytes = 18;

struct ScsiResult {
    uint8_t status = kGood;
    Bytes data;                 // what the command returns (before the caller's room)
    uint8_t sense[kSenseBytes]; // fixed format, valid when status is CHECK CONDITION
};

void set_sense(ScsiResult* out, uint8_t key, uint8_t asc, uint8_t ascq) {
    out->status = kCheckCondition;
    out->data.clear();
    memset(out->sense, 0, sizeof out->sense);
    out->sense[0] = 0x70;
    out->sense[2] = key;
    out->sense[7] = kSenseBytes - 8;
    out->sense[12] = asc;
    out->sense[13] = ascq;
}

void put_be(uint8_t* p, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        p[i] = (uint8_t)v;
}

// Text padded with blanks to width (SCSI ASCII fields), cut when longer.
void put_text(Bytes* d, const char* text, size_t width) {
    const size_t len = strnlen(text, width);
    for (size_t i = 0; i < width; ++i)
        d->push_back(i < len ? (uint8_t)text[i] : (uint8_t)' ');
}

// Standard INQUIRY data (36 bytes) of a direct-access device.
Bytes standard_inquiry() {
    Bytes d = {0x00, 0x00, 0x06, 0x02, 31, 0x00, 0x00, 0x02};
    put_text(&d, "HBASIM", 8);
    put_text(&d, "VIRTUAL DISK", 16);
    put_text(&d, "0001", 4);
    return d;
}

// EVPD page; false when the page is not supported.
bool vpd_page(const SimTarget& t, const SimLun& l, uint8_t page, Bytes* d) {
    if (page == 0x00) {
        *d = {0x00, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83};
        return true;
    }
    if (page == 0x80) {
        char serial[24];
        snprintf(serial, sizeof serial, "%02X%02X%02X%02X%02X%02X%02X%02X%02X", t.wwpn[0],
                 t.wwpn[1], t.wwpn[2], t.wwpn[3], t.wwpn[4], t.wwpn[5], t.wwpn[6], t.wwpn[7],
                 l.lun);
        *d = {0x00, 0x80, 0x00, (uint8_t)strlen(serial)};
        d->insert(d->end(), serial, serial + strlen(serial));
        return true;
    }
    if (page == 0x83) {
        // Target port name (NAA, association target port) and the LU name:
        // the target's WWNN with the LUN in its last byte.
        *d = {0x00, 0x83, 0x00, 24, 0x01, 0x93, 0x00, 8};
        d->insert(d->end(), t.wwpn, t.wwpn + 8);
        d->insert(d->end(), {0x01, 0x03, 0x00, 8});
        d->insert(d->end(), t.wwnn, t.wwnn + 7);
        d->push_back((uint8_t)(t.wwnn[7] ^ l.lun));
        return true;
    }
    return false;
}

// Runs one command on LUN lun of target t.
void scsi_execute(const SimTarget& t, uint32_t lun, const uint8_t* cdb, uint32_t cdbLen,
                  ScsiResult* out) {
    if (cdbLen < 6) return set_sense(out, 0x05, 0x20, 0x00);
    const uint8_t op = cdb[0];
    if (op == 0xA0) { // REPORT LUNS
        if (cdbLen < 12) return set_sense(out, 0x05, 0x20, 0x00);
        Bytes& d = out->data;
        d.assign(8, 0);
        put_be(d.data(), (uint64_t)t.luns.size() * 8, 4);
        for (const SimLun& l : t.luns) {
            uint8_t e[8] = {0, (uint8_t)l.lun, 0, 0, 0, 0, 0, 0};
            d.insert(d.end(), e, e + 8);
        }
        const uint32_t alloc =
            (uint32_t)cdb[6] << 24 | (uint32_t)cdb[7] << 16 | (uint32_t)cdb[8] << 8 | cdb[9];
        if (d.size() > alloc) d.resize(alloc);
        return;
    }
    const SimLun* l = t.find_lun(lun);
    if (!l) return set_sense(out, 0x05, 0x25, 0x00); // logical unit not supported
    switch (op) {
    case 0x00: // TEST UNIT READY
        if (l->offline) set_sense(out, 0x02, 0x04, 0x00);
        return;
    case 0x12: { // INQUIRY
        const bool evpd = cdb[1] & 1;
        const uint32_t alloc = (uint32_t)cdb[3] << 8 | cdb[4];
        if (!evpd && cdb[2] != 0) return set_sense(out, 0x05, 0x24, 0x00);
        if (!evpd)
            out->data = standard_inquiry();
        else if (!vpd_page(t, *l, cdb[2], &out->data))
            return set_sense(out, 0x05, 0x24, 0x00);
        if (out->data.size() > alloc) out->data.resize(alloc);
        return;
    }
    case 0x25: { // READ CAPACITY(10)
        if (cdbLen < 10) return set_sense(out, 0x05, 0x20, 0x00);
        if (l->offline) return set_sense(out, 0x02, 0x04, 0x00);
        const uint64_t last = t.blocks - 1;
        out->data.assign(8, 0);
        put_be(out->data.data(), last > 0xFFFFFFFFu ? 0xFFFFFFFFu : last, 4);
        put_be(out->data.data() + 4, t.blockSize, 4);
        return;
    }
    default:
        return set_sense(out, 0x05, 0x20, 0x00); // invalid command operation code
    }
}

// Copies a result into a reply: data at 'data' (room bytes), sense at 'sense'
// (senseRoom bytes). Returns the ReturnCode and sets the counts.
uint32_t place_result(const ScsiResult& res, uint8_t* data, uint32_t room, uint8_t* sense,
                      uint32_t senseRoom, uint32_t* transferred, uint32_t* senseLen) {
    *transferred = 0;
    *senseLen = 0;
    if (res.status == kCheckCondition) {
        *senseLen = senseRoom < kSenseBytes ? senseRoom : kSenseBytes;
        memcpy(sense, res.sense, *senseLen);
        return TGX_SCSI_RC_ERROR | TGX_SCSI_RC_SENSE;
    }
    const uint32_t n = (uint32_t)res.data.size();
    memcpy(data, res.data.data(), n < room ? n : room);
    *transferred = n;
    return n > room ? TGX_SCSI_RC_OVERRUN : TGX_SCSI_RC_SUCCESS;
}

// One SCSI or FCP pass-through: the command, where its data and sense go
// (data at 'data', room bytes, the sense right after it), and what it gave.
struct PassThru {
    const SimTarget* target; // null: the port does not see it
    bool needReady;          // a target that is not ready answers busy
    uint32_t lun;
    const uint8_t* cdb;
    uint32_t cdbLen;
    bool dataIn; // data of a good status goes back to the caller
    uint8_t* data;
    uint32_t room;
    uint32_t senseRoom;
    bool ran = false; // the command reached the target: the counts are set
    uint32_t transferred = 0;
    uint32_t senseLen = 0;
};

// Runs a pass-through on the target; returns the ReturnCode.
uint32_t pass_through(const Function& f, PassThru* x) {
    if (!x->target) return TGX_SCSI_RC_ILLEGAL_WWPN;
    if (f.attrs.get("link") != "up") return TGX_SCSI_RC_ERROR;
    if (x->needReady && !x->target->ready) return TGX_SCSI_RC_BUSY;
    ScsiResult res;
    scsi_execute(*x->target, x->lun, x->cdb, x->cdbLen, &res);
    if (!x->dataIn && res.status == kGood) res.data.clear();
    x->ran = true;
    return place_result(res, x->data, x->room, x->data + x->room, x->senseRoom, &x->transferred,
                        &x->senseLen);
}

} // namespace

// 0x8000011D: path, target, LUN, CDB; data at 36 (response size at 16),
// sense after it (sense length at 13).
uint32_t req_scsi_passthru(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t rsp = drv_rd32(p + TGX_SCSI_OFF_RSPSIZE);
    const uint32_t senseRoom = p[TGX_SCSI_OFF_SENSELEN];
    const uint32_t cdbLen = p[TGX_SCSI_OFF_CDBLEN] > 16 ? 16 : p[TGX_SCSI_OFF_CDBLEN];
    if ((uint64_t)TGX_SCSI_OFF_DATA + rsp + senseRoom > r.payloadSize) return PLAT_ERR_BAD_LENGTH;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        // The path identifier tells the port: virtual ports see their
        // targets on paths of their own.
        std::vector<SimTarget> ts;
        targets_of_all_ports(f, &ts);
        const SimTarget* t = find_target_by_ids(ts, drv_rd32(p + TGX_SCSI_OFF_PATH),
                                                drv_rd32(p + TGX_SCSI_OFF_TARGET));
        PassThru x = {.target = t,
                      .needReady = true,
                      .lun = drv_rd32(p + TGX_SCSI_OFF_LUN),
                      .cdb = p + TGX_SCSI_OFF_CDB,
                      .cdbLen = cdbLen,
                      .dataIn = true,
                      .data = p + TGX_SCSI_OFF_DATA,
                      .room = rsp,
                      .senseRoom = senseRoom};
        rc = pass_through(f, &x);
        if (!x.ran) return;
        drv_wr32(p + TGX_SCSI_OFF_RSPSIZE, x.transferred);
        p[TGX_SCSI_OFF_SENSELEN] = (uint8_t)x.senseLen;
    });
    return drv_answer(r, ok, rc);
}

// 0x80000134: target WWPN, FCP LUN, flags, CDB; data at 40 (size at 20), sense
// after it (room at 18). Addressed on the physical port.
uint32_t req_fcp_passthru(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t size = drv_rd32(p + TGX_FCP_OFF_DATASIZE);
    const uint32_t senseRoom = p[TGX_FCP_OFF_SENSE];
    const uint32_t cdbLen = p[TGX_FCP_OFF_CDBLEN] > 16 ? 16 : p[TGX_FCP_OFF_CDBLEN];
    if ((uint64_t)TGX_FCP_OFF_DATA + size + senseRoom > r.payloadSize) return PLAT_ERR_BAD_LENGTH;
    // FCP LUN bytes 0-1 (payload 12-13): peripheral addressing, LUN in byte 1.
    const uint8_t* lunLo = p + TGX_FCP_OFF_LUN_LO;
    const uint32_t lun = lunLo[0] != 0 ? 0xFFFFu : lunLo[1]; // other methods: no such LUN
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        targets_of(f, 0, &ts);
        const SimTarget* t = find_target_by_wwpn(ts, p + TGX_FCP_OFF_WWPN);
        PassThru x = {.target = t,
                      .needReady = false,
                      .lun = lun,
                      .cdb = p + TGX_FCP_OFF_CDB,
                      .cdbLen = cdbLen,
                      .dataIn = (p[TGX_FCP_OFF_FLAGS] & TGX_FCP_FLAG_READ) != 0,
                      .data = p + TGX_FCP_OFF_DATA,
                      .room = size,
                      .senseRoom = senseRoom};
        rc = pass_through(f, &x);
        if (!x.ran) return;
        drv_wr32(p + TGX_FCP_OFF_DATASIZE, x.transferred);
        p[TGX_FCP_OFF_SENSE] = (uint8_t)x.senseLen;
    });
    return drv_answer(r, ok, rc);
}

namespace {

// The ELS reply body (the ELS word and what follows) of a command.
Bytes els_answer(const Function& f, const SimTarget& t, const uint8_t* req, uint32_t len) {
    const uint8_t code = len ? req[0] : 0;
    Bytes b = {TGX_ELS_LS_ACC, 0, 0, 0};
    switch (code) {
    case 0x10: // ECHO: the request's data back
        if (len > 4) b.insert(b.end(), req + 4, req + len);
        return b;
    case 0x03: // PLOGI: service parameters with the port and node names
        b.resize(116, 0);
        memcpy(b.data() + 20, t.wwpn, 8);
        memcpy(b.data() + 28, t.wwnn, 8);
        return b;
    case 0x52: // ADISC
        b.resize(28, 0);
        put_be(b.data() + 5, t.d_id, 3);
        memcpy(b.data() + 8, t.wwpn, 8);
        memcpy(b.data() + 16, t.wwnn, 8);
        put_be(b.data() + 25, t.d_id, 3);
        return b;
    case 0x0F: // RLS: a clean link error status block
        b.resize(28, 0);
        return b;
    default:
        (void)f;
        return {TGX_ELS_LS_RJT, 0, 0, 0, 0x00, 0x0B, 0x00, 0x00};
    }
}

} // namespace

// 0x80000132: cmdlen, rsplen (room), port identifier (0: by WWPN); see
// tgx_ioctl.h for where the request and the reply lie in either form.
uint32_t req_issue_els(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t cmdlen = drv_rd32(p + TGX_ELS_OFF_CMDLEN);
    const uint32_t did = drv_rd32(p + TGX_ELS_OFF_DID);
    const bool byWwpn = did == 0;
    const uint32_t reqAt = byWwpn ? TGX_ELS_OFF_REQ_REST : TGX_ELS_OFF_REQ;
    // The request: by port id cmdlen - 4 bytes from 12; by WWPN the ELS word
    // at 12 and the rest from 24.
    const uint64_t reqLen = cmdlen >= 4 ? cmdlen - 4 : 0;
    const uint64_t restLen = byWwpn ? (reqLen > 4 ? reqLen - 4 : 0) : reqLen;
    if (reqAt + restLen > r.payloadSize) return PLAT_ERR_BAD_LENGTH;
    if (byWwpn && r.payloadSize < TGX_ELS_OFF_RSP_ACC) return PLAT_ERR_BAD_LENGTH;
    // Sized once and filled by copies (g++ 12 at -O3 misjudges an insert
    // behind a 4-byte assign as out of bounds).
    const size_t head = byWwpn ? 4 : 0;
    Bytes req(head + restLen);
    if (head) memcpy(req.data(), p + TGX_ELS_OFF_REQ, head);
    if (restLen) memcpy(req.data() + head, p + reqAt, restLen);
    uint32_t rc = 0;
    Bytes body;
    uint8_t wwpn[8];
    memcpy(wwpn, p + TGX_ELS_OFF_WWPN, 8);
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        std::vector<SimTarget> ts;
        targets_of(f, 0, &ts);
        const SimTarget* t = byWwpn ? find_target_by_wwpn(ts, wwpn) : find_target_by_did(ts, did);
        if (!t || f.attrs.get("link") != "up") {
            rc = TGX_ELS_RC_NO_PORT;
            return;
        }
        body = els_answer(f, *t, req.data(), (uint32_t)req.size());
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = rc;
    if (rc != 0) return 0;
    uint32_t room = drv_rd32(p + TGX_ELS_OFF_RSPLEN);
    if (byWwpn) {
        // Echo, ELS word, reject word; LS_ACC data from 36. R = 12 + data.
        const uint32_t avail = r.payloadSize - TGX_ELS_OFF_RSP_ACC;
        memset(p + TGX_ELS_OFF_RSP_DID, 0, TGX_ELS_OFF_RSP_ACC - TGX_ELS_OFF_RSP_DID);
        memcpy(p + TGX_ELS_OFF_RSP_DID, wwpn, 8);
        memcpy(p + TGX_ELS_OFF_RSP_CODE, body.data(), 4);
        uint32_t R;
        if (body[0] == TGX_ELS_LS_ACC) {
            uint32_t n = (uint32_t)body.size() - 4;
            const uint32_t cap = room > 12 ? room - 12 : 0;
            uint32_t fit = n < cap ? n : cap;
            if (fit > avail) fit = avail;
            memcpy(p + TGX_ELS_OFF_RSP_ACC, body.data() + 4, fit);
            if (fit < n) r.returnCode = TGX_ELS_RC_MORE;
            R = 12 + fit;
        } else {
            memcpy(p + TGX_ELS_OFF_RSP_REJECT, body.data() + 4, 4);
            R = 16;
        }
        drv_wr32(p + TGX_ELS_OFF_RSPLEN, R);
    } else {
        const uint32_t avail = r.payloadSize - TGX_ELS_OFF_RSP_DID;
        uint32_t fit = (uint32_t)body.size();
        if (fit > room) fit = room;
        if (fit > avail) fit = avail;
        memcpy(p + TGX_ELS_OFF_RSP_DID, body.data(), fit);
        if (fit < body.size()) r.returnCode = TGX_ELS_RC_MORE;
        drv_wr32(p + TGX_ELS_OFF_RSPLEN, fit);
    }
    return 0;
}

} // namespace hbasim
