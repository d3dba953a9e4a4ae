// Adapter information queries: general and link information, PCI location and
// configuration space, trunking, QoS link speed, driver kind, control-register
// and SLIM access, and the VPD request that yields the port number.
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the query exports beyond kStsOk, kStsFailed and kStsNoMemory.
constexpr uint32_t kStsNoBoard = 3;          // TGX_GetPCIIds, TGX_GetQoSLinkSpeed: bad board
constexpr uint32_t kStsQosUnavailable = 2;   // not FCoE, no speed record, or the request failed
constexpr uint32_t kStsTrunkUnsupported = 2; // the driver's ReturnCode 2
constexpr uint32_t kStsNullBuffer = 2;       // rwSlimCtlReg: no buffer
// QrlTgxQueryDriverType of a board without a management context.
constexpr uint32_t kDriverKindUnknown = 0xFFFFFFFFu;

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_GetGenInfo(uint32_t board, uint8_t* generalInfo) {
    if (!tgx_board_ok(board) || generalInfo == nullptr) return kStsFailed;
    memcpy(generalInfo, tgx_entry(board)->generalInfo, sizeof(AdapterEntry::generalInfo));
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetLinkInfo(uint32_t board, TGX_LINK_INFO* info) {
    TraceLog("TGX_GetLinkInfo: board=%x\n", board);
    if (!tgx_board_ok(board) || info == nullptr) return kStsFailed;
    AdapterEntry* e = tgx_entry(board);
    memset(info, 0, sizeof *info);
    info->returnInfoWord = e->returnInfoWord;
    memcpy(info->generalInfo, e->generalInfo, sizeof info->generalInfo);

    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT);
    if (!env) return kStsNoMemory;
    if (!tgx_env_send(e->handle, env)) {
        TraceLog("TGX_GetLinkInfo: IOCTL_ZT4100_RETURN_INFO Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    uint32_t link = tgx_rd32(env.payload() + TGX_RI_LINKWORD);
    TraceLog("TGX_GetLinkInfo: rtnCode=%x linkState=%x\n", rc, link);
    if (rc != 0) return kStsFailed;
    if (link & 1u)
        info->a_linkState = TGX_LNK_UP;
    else if (link & 0x80000000u)
        info->a_linkState = TGX_LNK_DOWN_PERSIST;
    else
        info->a_linkState = TGX_LNK_DOWN;
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetPCIIds(uint32_t board, TGX_PCI_IDS* ids) {
    if (!tgx_board_ok(board) || tgx_entry(board)->handle == nullptr || ids == nullptr) {
        TraceLog("TGX_GetPCIIds: Error status=%x\n", kStsNoBoard);
        return kStsNoBoard;
    }
    const BrdInfo& bi = tgx_entry(board)->brdInfo;
    memset(ids, 0, sizeof *ids);
    ids->segment = (bi.busid >> 8) & 0xFFFF;
    ids->bus = bi.busid & 0xFF;
    ids->device = bi.dev_id;
    ids->function = bi.pciFunc;
    TraceLog("TGX_GetPCIIds: board=%x seg=%x busid=%x devid=%x pcifunc=%x\n", board, ids->segment,
             ids->bus, ids->device, ids->function);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_ReadPciCfg(uint32_t board, uint8_t* buffer, uint32_t offset,
                                              uint32_t count) {
    TraceLog("TGX_ReadPciCfg, board = %d, offset=%d, count=%d\n", board, offset, count);
    if (!tgx_board_ok(board) || offset > 4096 || count > 4096) return kStsFailed;
    const uint32_t space = sizeof(AdapterEntry::pciConfig);
    if (offset < space) {
        uint32_t n = count < space - offset ? count : space - offset;
        if (n != 0 && buffer == nullptr) return kStsFailed;
        if (n) memcpy(buffer, tgx_entry(board)->pciConfig + offset, n);
    }
    TraceLog("TGX_ReadPciCfg EXIT, board = %d\n", board);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_GetTrunkInfo(uint32_t board, uint8_t* trunk) {
    TraceLog("TGX_GetTrunkInfo: board:%x \n", board);
    if (!tgx_board_ok(board) || trunk == nullptr) return kStsFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_TRUNK_INFO, TGX_IOCTL_TRUNK_INFO, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("TGX_GetTrunkInfo: sts:%x error:%x\n", kStsFailed, plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    uint32_t status = kStsOk;
    if (rc != 0) {
        status = rc == kStsTrunkUnsupported ? kStsTrunkUnsupported : kStsFailed;
        TraceLog("TGX_GetTrunkInfo: sts:%x rc:%x\n", status, rc);
    } else {
        memcpy(trunk, env.payload(), 8);
        TraceLog("TGX_GetTrunkInfo: status:%x\n", status);
    }
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_GetQoSLinkSpeed(uint32_t board, uint16_t* speed) {
    TraceLog("TGX_GetQoSLinkSpeed: board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsNoBoard;
    AdapterEntry* e = tgx_entry(board);
    if (!(e->drvInfo.featureList & TGX_FEATURE_FCOE) || speed == nullptr) return kStsQosUnavailable;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_GET_LINKINFO, TGX_IOCTL_GET_LINKINFO, TGX_SIG_ZT);
    if (!env) return kStsNoMemory;
    if (!tgx_env_send(e->handle, env)) {
        TraceLog("TGX_GetQoSLinkSpeed: IOCTL_ZTX100_GET_LINKINFO Error=0x%x\n", plat_last_error());
        return kStsQosUnavailable;
    }
    uint32_t rc = tgx_env_rc(env);
    uint16_t s = tgx_rd16(env.payload() + TGX_LINKINFO_OFF_SPEED);
    if (rc != 0) {
        TraceLog("TGX_GetQoSLinkSpeed: ReturnCode=%x\n", rc);
        return kStsQosUnavailable;
    }
    *speed = s == 0 ? 0xFFFF : s;
    TraceLog("TGX_GetQoSLinkSpeed: QoSSpeed=0x%x\n", *speed);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t QrlTgxQueryDriverType(uint32_t board) {
    TraceLog("QrlTgxQueryDriverType: adapter=%x\n", board);
    if (!tgx_board_ok(board)) return kStsFailed;
    const TGXADAPTER* ctx = g_tgx.tgxAdapters[board];
    if (ctx == nullptr) return kDriverKindUnknown;
    return ctx->driverKind;
}

namespace {

enum : uint32_t { RW_READ_REG = 1, RW_WRITE_REG = 2, RW_READ_SLIM = 3, RW_WRITE_SLIM = 4 };

// Fills the request for one operation; the SLIM data is copied by the caller.
void fill_rw_request(uint8_t* p, uint32_t op, uint32_t regOffset, uint32_t value, uint32_t slimAddr,
                     uint32_t words) {
    if (op == RW_READ_REG || op == RW_WRITE_REG) {
        p[TGX_CR_OFF_ONE] = 1;
        p[TGX_CR_OFF_WRITE] = op == RW_WRITE_REG ? 1 : 0;
        p[TGX_CR_OFF_ONE2] = 1;
        tgx_wr32(p + TGX_CR_OFF_REG, regOffset);
        tgx_wr32(p + TGX_CR_OFF_BYTES, 4);
        tgx_wr32(p + TGX_CR_OFF_VALUE, value);
    } else {
        tgx_wr32(p + TGX_SLIM_OFF_ADDR, slimAddr);
        tgx_wr32(p + TGX_SLIM_OFF_WORDS, words);
    }
}

uint32_t rw_code(uint32_t op) {
    if (op == RW_READ_SLIM) return TGX_IOCTL_READ_SLIM;
    if (op == RW_WRITE_SLIM) return TGX_IOCTL_WRITE_SLIM;
    return TGX_IOCTL_RW_CTLREG;
}

// Sends the prepared request. False when the call itself failed; *status is
// then 1, else the ReturnCode.
bool rw_send(PlatHandle h, TgxEnvelope& env, uint32_t code, uint32_t* status) {
    tgx_wr32(env.bytes() + TGX_ENV_OFF_CONTROLCODE, code);
    tgx_wr32(env.bytes() + TGX_ENV_OFF_RETURNCODE, 0);
    if (!tgx_env_send(h, env)) {
        TraceLog("IOCTL_ZTX100_R/W_SLIM Failed Error=0x%x\n", plat_last_error());
        *status = kStsFailed;
        return false;
    }
    *status = tgx_env_rc(env);
    if (*status != 0) TraceLog("rwSlimCtlReg: returnCode = %x\n", *status);
    return true;
}

} // namespace

uint32_t rwSlimCtlReg(uint32_t op, uint32_t board, void* buffer, uint32_t offset, uint32_t count) {
    TraceLog("rwSlimCtlReg: cmd=%x cnt=%x board=%x offset=%x pBuf=%x\n", op, count, board, offset,
             (uint32_t)(uintptr_t)buffer);
    if (buffer == nullptr) {
        TraceLog("rwSlimCtlReg: Null buffer pointer\n");
        return kStsNullBuffer;
    }
    if (!tgx_board_ok(board) || op < RW_READ_REG || op > RW_WRITE_SLIM) return kStsFailed;
    const bool slim = op == RW_READ_SLIM || op == RW_WRITE_SLIM;
    // SLIM moves whole words only: a partial word would be dropped silently.
    if (slim && (count > TGX_SLIM_MAX_BYTES || count % 4 != 0)) return kStsFailed;

    AdapterEntry* e = tgx_entry(board);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_RW_SLIM, rw_code(op), TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    uint8_t* buf = static_cast<uint8_t*>(buffer);
    const uint32_t slimAddr = offset + e->brdInfo.slimBase;
    uint32_t words = count / 4;
    uint32_t status = kStsFailed;
    if (op == RW_WRITE_SLIM && words == 1) {
        // The driver moves at least two words: read both first so that the
        // neighbouring word is written back unchanged.
        fill_rw_request(p, RW_READ_SLIM, 0, 0, slimAddr, 2);
        if (rw_send(e->handle, env, TGX_IOCTL_READ_SLIM, &status) && status == 0) {
            memcpy(p + TGX_SLIM_OFF_DATA, buf, 4);
            rw_send(e->handle, env, TGX_IOCTL_WRITE_SLIM, &status);
        }
    } else {
        if (slim && words == 1) words = 2;
        fill_rw_request(p, op, offset, op == RW_WRITE_REG ? tgx_rd32(buf) : 0, slimAddr, words);
        if (op == RW_WRITE_SLIM && count) memcpy(p + TGX_SLIM_OFF_DATA, buf, count);
        bool sent = rw_send(e->handle, env, rw_code(op), &status);
        if (op == RW_READ_REG && sent && status == 0) {
            uint32_t v = tgx_rd32(p + TGX_CR_OFF_VALUE);
            tgx_wr32(buf, v);
            TraceLog("rCtlReg: data=%x %x %x %x %x\n", v, v & 0xFF, (v >> 8) & 0xFF,
                     (v >> 16) & 0xFF, v >> 24);
        } else if (op == RW_READ_SLIM && sent && count) {
            memcpy(buf, p + TGX_SLIM_OFF_DATA, count);
        }
    }
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_ReadCtlReg(uint32_t board, uint32_t* value, uint32_t regOffset) {
    return rwSlimCtlReg(RW_READ_REG, board, value, regOffset, 0);
}

extern "C" TGX_EXPORT uint32_t TGX_WriteCtlReg(uint32_t board, uint32_t* value,
                                               uint32_t regOffset) {
    return rwSlimCtlReg(RW_WRITE_REG, board, value, regOffset, 0);
}

extern "C" TGX_EXPORT uint32_t TGX_ReadSlim(uint32_t board, void* buffer, uint32_t offset,
                                            uint32_t count) {
    return rwSlimCtlReg(RW_READ_SLIM, board, buffer, offset, count);
}

extern "C" TGX_EXPORT uint32_t TGX_WriteSlim(uint32_t board, void* buffer, uint32_t offset,
                                             uint32_t count) {
    return rwSlimCtlReg(RW_WRITE_SLIM, board, buffer, offset, count);
}

uint32_t libtgxGetVPD(uint32_t board, uint8_t* portId) {
    TraceLog("libtgxGetVPD: board=%x\n", board);
    if (!tgx_board_ok(board) || portId == nullptr) return kStsFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_GET_VPD, TGX_IOCTL_GET_VPD, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    tgx_wr32(p, 1);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_GET_VPD: IO failed Error=0x%08X\n", plat_last_error());
        return kStsFailed;
    }
    portId[0] = 0xFF;
    uint32_t rc = tgx_env_rc(env);
    TraceLog("libtgxGetVpd: rtnCode=%x\n", rc);
    if (rc == 0) {
        const uint8_t* id = p + TGX_VPD_OFF_PORTID;
        TraceLog("getVpd: OK %x %x %x %x\n", id[0], id[1], id[2], id[3]);
        memcpy(portId, id, TGX_VPD_PORTID_LEN);
        TraceLog("getVpd: Exit portId=%x\n", portId[0]);
    }
    return rc;
}
