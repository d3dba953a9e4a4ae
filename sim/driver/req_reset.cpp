// Reset, dump and loopback requests of the simulated driver, and the FCoE
// bridge of bridge boards (PCI device 0xFE05): its control mailbox and its
// command pass-through.
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/mbox_fw.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

const uint32_t kRcRefused = 1;
const uint32_t kRcBadLength = 2;
const uint32_t kRcNotValid = 0xFFFFFFFFu; // dump-environment flag not valid here

bool is_sli4(const Function& f) {
    return fw_is_sli4(f);
}
bool is_bridge_board(const Function& f) {
    return f.attrs.get_u("device_id") == TGX_TAMBER_DEVICE_ID;
}

// Byte i of driver dump region r: a pattern whose period (251) does not divide
// the transfer pieces, so misplaced pieces show.
uint8_t dump_byte(uint32_t region, uint64_t i) {
    return (uint8_t)(i % 251 + region);
}

} // namespace

// 0x80000127: p0 reset type (1-3). The link model restarts: loopback ends and
// persistent link down is read again from the registry. Type 3 also makes the
// firmware written to a Brevin FC function's flash the running one; any type
// starts a firmware program written by a mailbox download.
uint32_t req_reset_adapter(DrvRequest& r) {
    const uint32_t type = drv_rd32(r.payload);
    if (type < 1 || type > 3) {
        r.returnCode = kRcRefused;
        return 0;
    }
    bool ok = drv_update_function(r, [&](Adapter& a, Function& f) {
        bool changed = link_restart(f);
        // Images loaded without their switch never start.
        if (fw_drop_pending_images(f)) changed = true;
        if (f.attrs.has("event_log_open")) {
            f.attrs.erase("event_log_open");
            changed = true;
        }
        // A type-3 reset restarts the firmware of an SLI-4 FC function, which
        // makes newly flashed firmware the running one.
        if (type == 3 && f.kind == "fc" && f.attrs.get_u("sli_mode") == 4 &&
            a.attrs.has("fw_flash") && a.attrs.get("fw_flash") != a.attrs.get("fw_active")) {
            a.attrs.set("fw_active", a.attrs.get("fw_flash"));
            changed = true;
        }
        // A firmware program written through the mailbox download runs after
        // the next reset of any type.
        if (a.attrs.get("fw_reset_pending") == "1") {
            a.attrs.erase("fw_reset_pending");
            a.attrs.set("fw_active", a.attrs.get("fw_flash"));
            changed = true;
        }
        return changed;
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

// 0x80000128: p0 flag; the ReturnCode is the answer. Flag 0 asks the current
// diagnostic mode. SLI-4 functions accept only flag 4; older SLI modes accept
// flags 1-3 and answer with the flag they entered.
uint32_t req_set_dumpenv(DrvRequest& r) {
    const uint32_t flag = drv_rd32(r.payload);
    uint32_t answer = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        uint64_t mode = f.attrs.get_u("diag_mode");
        if (flag == 0) {
            answer = (uint32_t)mode;
            return false;
        }
        bool valid = is_sli4(f) ? flag == 4 : (flag >= 1 && flag <= 3);
        if (!valid) {
            answer = kRcNotValid;
            return false;
        }
        answer = is_sli4(f) ? 0 : flag;
        if (mode == flag) return false;
        f.attrs.set_u("diag_mode", flag);
        return true;
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = answer;
    return 0;
}

// 0x80000129: p0 region (0-7), p4 byte offset, p8 word count (0 asks the
// size); out: p8 words returned (or the size in words), data from p12. Every
// region holds "drv_dump_size" bytes.
uint32_t req_getdrvdump_region(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t region = drv_rd32(p);
    const uint32_t offset = drv_rd32(p + 4);
    const uint32_t words = drv_rd32(p + 8);
    if (region > TGX_DUMPREGION_MAX_ID) {
        r.returnCode = kRcRefused;
        return 0;
    }
    uint64_t size = 0;
    if (!drv_read_function(
            r, [&](const Adapter&, const Function& f) { size = f.attrs.get_u("drv_dump_size"); }))
        return PLAT_ERR_GEN_FAILURE;
    if (words == 0) {
        drv_wr32(p + 8, (uint32_t)((size + 3) / 4));
        r.returnCode = 0;
        return 0;
    }
    const uint64_t room = (r.payloadSize - TGX_DUMPREGION_HDR) & ~3u;
    if (4ull * words > room) {
        r.returnCode = kRcBadLength;
        return 0;
    }
    const uint64_t avail = size > offset ? size - offset : 0;
    const uint64_t n = avail < 4ull * words ? avail : 4ull * words;
    const uint32_t back = (uint32_t)((n + 3) / 4);
    uint8_t* d = p + TGX_DUMPREGION_HDR;
    memset(d, 0, 4ull * back);
    for (uint64_t i = 0; i < n; ++i)
        d[i] = dump_byte(region, offset + i);
    drv_wr32(p + 8, back);
    r.returnCode = 0;
    return 0;
}

// 0x8000012B: p0 length L, transmit data at p4; the echo goes to p4 + L and
// p0 becomes the count received. Frames come back only while the link is up
// in loopback.
uint32_t req_loopback_test(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t len = drv_rd32(p);
    if (4ull + 2ull * len > r.payloadSize) {
        r.returnCode = kRcBadLength;
        return 0;
    }
    bool looped = false;
    int64_t corrupt = -1;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            looped = f.attrs.has("loopback") && f.attrs.get("link") == "up";
            if (f.attrs.has("loopback_corrupt_byte"))
                corrupt = (int64_t)f.attrs.get_u("loopback_corrupt_byte");
        }))
        return PLAT_ERR_GEN_FAILURE;
    if (!looped) {
        drv_wr32(p, 0);
        r.returnCode = kRcRefused;
        return 0;
    }
    memcpy(p + 4 + len, p + 4, len);
    if (corrupt >= 0 && (uint64_t)corrupt < len) p[4 + len + corrupt] ^= 0xFF;
    drv_wr32(p, len);
    r.returnCode = 0;
    return 0;
}

// ---- the FCoE bridge of bridge boards ----

// Bridge control mailbox ReturnCodes.
enum : uint32_t { BRIDGE_OK = 0, BRIDGE_MB_ERROR = 1, BRIDGE_TIMEOUT = 2, BRIDGE_BUSY = 3 };

// 0x8000013D: a mailbox at p0 (byte 0 bit 0, command 0x21, w1 0x103007 reset
// or 0x103107 set mode, w2 argument), p256 = p260 = 32, p264/p268 the
// command words 0 and 1. Set mode 1 puts the bridge in maintenance mode; the
// reset leaves maintenance mode and drops the bridge loopback.
uint32_t req_tamber_issuemb(DrvRequest& r) {
    uint8_t* p = r.payload;
    auto fail_mb = [&](uint32_t st) {
        p[2] = (uint8_t)st;
        p[3] = (uint8_t)(st >> 8);
        r.returnCode = BRIDGE_MB_ERROR;
        return 0u;
    };
    const uint32_t op = drv_rd32(p + 4);
    const uint32_t arg = drv_rd32(p + 8);
    if (!(p[0] & 1) || p[1] != TGX_TAMBER_MB_CMD || drv_rd32(p + 256) != 32 ||
        drv_rd32(p + 260) != 32 || (op != TGX_TAMBER_MB_RESET && op != TGX_TAMBER_MB_SETMODE) ||
        (op == TGX_TAMBER_MB_SETMODE && arg > 1))
        return fail_mb(SIM_MBXST_BAD_PARAM);
    bool bridge = false;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        bridge = is_bridge_board(f);
        if (!bridge) return false;
        std::string before = f.attrs.get("bridge_maint") + "|" + f.attrs.get("bridge_lb_port");
        if (op == TGX_TAMBER_MB_RESET) {
            f.attrs.set("bridge_maint", "0");
            f.attrs.erase("bridge_lb_port");
        } else {
            f.attrs.set("bridge_maint", arg ? "1" : "0");
        }
        return before != f.attrs.get("bridge_maint") + "|" + f.attrs.get("bridge_lb_port");
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    if (!bridge) return fail_mb(SIM_MBXST_INVALID_CMD);
    p[2] = p[3] = 0;
    r.returnCode = BRIDGE_OK;
    return 0;
}

// Bridge pass-through ReturnCodes other than a positive response size.
enum : int32_t {
    CTINFO_TIMEOUT = 0,
    CTINFO_NOTAVAIL = -1,
    CTINFO_INVALIDREQ = -3,
    CTINFO_DATAOVERRUN = -5,
};

// 0x8000011C: p0 0xFC0E, p4 command size, p8 response size, command from p12;
// a positive ReturnCode is the size of the response placed behind the
// command. Command 0x14 (port, 1) enables loopback on the port: internal while
// the bridge is in maintenance mode, external otherwise.
uint32_t req_get_ct_info(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t cmdSize = drv_rd32(p + 4);
    const uint32_t rspSize = drv_rd32(p + 8);
    auto answer = [&](int32_t rc) {
        r.returnCode = (uint32_t)rc;
        return 0u;
    };
    if (drv_rd32(p) != TGX_CTINFO_BRIDGE_TAG || cmdSize < 4 ||
        (uint64_t)TGX_CTINFO_OFF_CMD + cmdSize + rspSize > r.payloadSize)
        return answer(CTINFO_INVALIDREQ);
    const uint8_t* cmd = p + TGX_CTINFO_OFF_CMD;
    const uint32_t op = drv_rd32(cmd);
    if (op != TGX_TAMBER_CMD_LOOPBACK || cmdSize < 12 || drv_rd32(cmd + 8) != 1)
        return answer(CTINFO_INVALIDREQ);
    const uint32_t port = drv_rd32(cmd + 4);
    const uint32_t kResponse = 4;
    if (rspSize < kResponse) return answer(CTINFO_DATAOVERRUN);
    bool bridge = false;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        bridge = is_bridge_board(f);
        if (!bridge) return false;
        f.attrs.set_u("bridge_lb_port", port);
        link_enter_loopback(f, f.attrs.get("bridge_maint") != "1");
        return true;
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    if (!bridge) return answer(CTINFO_NOTAVAIL);
    drv_wr32(p + TGX_CTINFO_OFF_CMD + cmdSize, 0); // bridge status: done
    return answer((int32_t)kResponse);
}

} // namespace hbasim
