// The mailbox transport forms of the simulated driver. Each form unpacks the
// mailbox (and the data it carries) from its own place in the envelope into one
// MboxCall, hands it to the adapter engine and packs the answer back where the
// library looks for it. The forms differ only in that packing.
#include <cstring>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

void load_mailbox(MboxCall& c, const uint8_t* mb, uint32_t words, MboxForm form) {
    memset(&c, 0, sizeof c);
    for (uint32_t i = 0; i < TGX_MBOX_WORDS; ++i)
        c.mb[i] = drv_rd32(mb + 4 * i);
    c.mbWords = words;
    c.form = form;
}

void store_mailbox(const MboxCall& c, uint8_t* mb) {
    for (uint32_t i = 0; i < TGX_MBOX_WORDS; ++i)
        drv_wr32(mb + 4 * i, c.mb[i]);
}

// Runs the call unless a fault forces its mailbox status. True when the
// adapter (or the fault) answered; false when the state could not be read
// (the mailbox then carries SIM_MBXST_DRIVER_ERROR).
bool run(const DrvRequest& r, MboxCall& c) {
    uint32_t forced = 0;
    if (drv_fault_status(r.fault, &forced)) {
        mbox_set_status(c, forced);
        return true;
    }
    return engine_run(r.ref, c) == SIM_OK;
}

// A transport-level refusal: the mailbox comes back with a status, always.
void refuse(uint8_t* mb, uint32_t status) {
    mb[2] = (uint8_t)status;
    mb[3] = (uint8_t)(status >> 8);
}

} // namespace

// 0x80000106: mailbox at p0, inWords at p4100; only the mailbox travels.
uint32_t req_issuemb(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t inWords = drv_rd32(p + TGX_MB_OFF_INWORDS);
    MboxCall c;
    load_mailbox(c, p + TGX_MB_OFF_MAILBOX, inWords == TGX_MBOX_WORDS ? 64 : 32, MBOX_FORM_PLAIN);
    run(r, c);
    store_mailbox(c, p + TGX_MB_OFF_MAILBOX);
    return 0;
}

// 0x80000138: command 0x84 with n bytes of transmit data at p260; the received
// bytes go behind it, at p260 + n.
uint32_t req_issuemb_xmtrcv(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t n = drv_rd32(p + TGX_MB_OFF_DATALEN);
    if (p[TGX_MB_OFF_MAILBOX + 1] != TGX_MBX_BIU_DIAG || n > TGX_MBOX_MAX_BDE ||
        TGX_MB_OFF_DATA + 2 * n > r.payloadSize) {
        refuse(p + TGX_MB_OFF_MAILBOX, SIM_MBXST_BAD_PARAM);
        r.returnCode = 1;
        return 0;
    }
    MboxCall c;
    load_mailbox(c, p + TGX_MB_OFF_MAILBOX, 32, MBOX_FORM_PLAIN);
    c.data = p + TGX_MB_OFF_DATA;
    c.dataLen = n;
    if (run(r, c) && (c.mb[0] >> 16) == 0) {
        uint32_t got = c.dataOut < n ? c.dataOut : n;
        memmove(p + TGX_MB_OFF_DATA + n, p + TGX_MB_OFF_DATA, got);
    }
    store_mailbox(c, p + TGX_MB_OFF_MAILBOX);
    return 0;
}

// 0x8000013E: command 0x38; p256 is the size wanted in and the count out, the
// data follows at p260.
uint32_t req_issuemb_eventlog(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t wanted = drv_rd32(p + TGX_MB_OFF_DATALEN);
    if (p[TGX_MB_OFF_MAILBOX + 1] != TGX_MBX_READ_EVENT_LOG_HOST ||
        wanted > r.payloadSize - TGX_MB_OFF_DATA) {
        refuse(p + TGX_MB_OFF_MAILBOX, SIM_MBXST_BAD_PARAM);
        r.returnCode = 1;
        return 0;
    }
    MboxCall c;
    load_mailbox(c, p + TGX_MB_OFF_MAILBOX, 32, MBOX_FORM_PLAIN);
    c.data = p + TGX_MB_OFF_DATA;
    c.dataLen = wanted;
    bool ok = run(r, c);
    drv_wr32(p + TGX_MB_OFF_DATALEN, ok && c.dataOut <= wanted ? c.dataOut : 0);
    store_mailbox(c, p + TGX_MB_OFF_MAILBOX);
    return 0;
}

// 0x8000013B: p0 mbOffset, p4 in-words, p8 out-words (wanted in, returned
// out), mailbox at p12, data both ways from p268.
uint32_t req_issuemb_ex(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint8_t* mb = p + TGX_MBEX_OFF_MAILBOX;
    uint32_t in = drv_rd32(p + TGX_MBEX_OFF_INWORDS);
    uint32_t out = drv_rd32(p + TGX_MBEX_OFF_OUTWORDS);
    uint32_t words = in > out ? in : out;
    if (in > TGX_MBOX_EX_MAX_WORDS || out > TGX_MBOX_EX_MAX_WORDS ||
        TGX_MBEX_OFF_DATA + 4 * words > r.payloadSize) {
        refuse(mb, SIM_MBXST_BAD_PARAM);
        r.returnCode = 1;
        return 0;
    }
    MboxCall c;
    load_mailbox(c, mb, 64, MBOX_FORM_EX);
    c.data = p + TGX_MBEX_OFF_DATA;
    c.dataLen = 4 * words;
    bool ok = run(r, c);
    uint32_t back = ok ? (c.dataOut + 3) / 4 : 0;
    drv_wr32(p + TGX_MBEX_OFF_OUTWORDS, back < out ? back : out);
    store_mailbox(c, mb);
    return 0;
}

// 0x80000143: p0 mailbox bytes (256), p4 extension bytes e, mailbox at p8,
// extension at p264. The dump and update-configuration mailboxes of the
// library travel here too, with their data in the extension.
uint32_t req_issuemb_v2(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
    uint32_t mbLen = drv_rd32(p + TGX_MBV2_OFF_MBLEN);
    uint32_t ext = drv_rd32(p + TGX_MBV2_OFF_EXTLEN);
    uint8_t cmd = mb[1];
    if (mbLen != TGX_MBOX_BYTES || ext > r.payloadSize - TGX_MBV2_OFF_EXT) {
        refuse(mb, SIM_MBXST_BAD_PARAM);
        r.returnCode = TGX_V2RC_INVALID_MBLEN;
        return 0;
    }
    if (ext > TGX_MBOX_MAX_EXT && cmd != TGX_MBX_SLI_CONFIG) {
        refuse(mb, SIM_MBXST_BAD_PARAM);
        r.returnCode = TGX_V2RC_NO_RESOURCE;
        return 0;
    }
    if (ext != 0) {
        uint64_t features = 0;
        if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
                features = f.attrs.get_u("feature_list");
            }))
            return PLAT_ERR_GEN_FAILURE;
        if (!(features & TGX_FEATURE_MBOX_V2_EXT)) {
            refuse(mb, SIM_MBXST_INVALID_CMD);
            r.returnCode = TGX_V2RC_NOT_SUPPORTED;
            return 0;
        }
    }
    MboxCall c;
    load_mailbox(c, mb, 64, ext ? MBOX_FORM_V2EXT : MBOX_FORM_V2);
    c.data = ext ? p + TGX_MBV2_OFF_EXT : nullptr;
    c.dataLen = ext;
    run(r, c);
    store_mailbox(c, mb);
    return 0;
}

// ---- adapter side of the event-log form ----
// The event log: event_log_size bytes, byte i = i % 251.
bool mbx_read_event_log(Adapter&, Function& f, MboxCall& c) {
    uint32_t wanted = c.mb[3] & 0xFFFFFF;
    uint64_t size = f.attrs.get_u("event_log_size");
    if (wanted > c.dataLen || (wanted != 0 && c.data == nullptr)) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    uint32_t n = size < wanted ? (uint32_t)size : wanted;
    for (uint32_t i = 0; i < n; ++i)
        c.data[i] = (uint8_t)(i % 251);
    c.dataOut = n;
    return false;
}

} // namespace hbasim
