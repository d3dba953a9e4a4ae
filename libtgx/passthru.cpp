// SCSI and ELS pass-through: an FCP command to a remote target by WWPN, the
// fixed SCSI commands INQUIRY, READ CAPACITY(10) and REPORT LUNS addressed by
// port and target WWPN, and ELS requests to a remote port. Each export sends
// its request once; every copy into a caller's buffer is bounded by the size
// the caller gave and by the reply the driver returned.
#include <cstdio>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of this family beyond kStsOk and kStsFailed.
constexpr uint32_t kStsPortDriver = 2; // also: virtual port not found
constexpr uint32_t kStsBadBoard = 3;   // the SCSI exports
constexpr uint32_t kStsUnknownPort = 5;
constexpr uint32_t kStsMoreData = 7;
constexpr uint32_t kStsNoMemory = 17; // the SCSI exports
constexpr uint32_t kStsOverrun = 18;

// FCP_CMND and FCP_RSP information units.
constexpr uint32_t kCmndFlags10 = 10;
constexpr uint32_t kCmndFlags11 = 11; // bit 0 write data, bit 1 read data
constexpr uint32_t kCmndCdb = 12;
constexpr uint8_t kWriteData = 0x1;
constexpr uint8_t kReadData = 0x2;
constexpr uint32_t kRspStatus = 11;
constexpr uint32_t kRspSenseLen = 16;
constexpr uint32_t kRspSense = 32;
constexpr uint8_t kScsiCheckCondition = 2;
constexpr uint8_t kScsiBusy = 8;
constexpr uint8_t kFcpTaskFlags = 2;
constexpr uint8_t kCdbLen = 16;

constexpr uint8_t kInquiryMaxAlloc = 255;
constexpr uint32_t kSenseMax = 255; // the request's sense length is one byte

bool send(uint32_t board, TgxEnvelope& env) {
    return tgx_env_send(tgx_entry(board)->handle, env);
}

uint32_t min_u(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

// Groups of the driver's SCSI ReturnCodes (bit 0x80 masked off).
enum RcGroup { RC_SUCCESS, RC_ERROR, RC_ILLEGAL_WWPN, RC_BUSY, RC_MORE, RC_OTHER };
RcGroup group_of(uint32_t masked) {
    switch (masked) {
    case TGX_SCSI_RC_SUCCESS:
    case TGX_SCSI_RC_OVERRUN:
        return RC_SUCCESS;
    case 2:
    case 4:
    case 8:
        return RC_ERROR;
    case TGX_SCSI_RC_BUSY:
        return RC_BUSY;
    case TGX_SCSI_RC_ILLEGAL_WWPN:
    case 32:
    case 33:
        return RC_ILLEGAL_WWPN;
    case TGX_SCSI_RC_MORE_DATA:
        return RC_MORE;
    default:
        return RC_OTHER;
    }
}

// One of the fixed SCSI commands, as the three exports build it.
struct ScsiCommand {
    const char* failLine;
    bool inquiry; // INQUIRY maps errors and unknown answers to 1
    uint32_t lunWord;
    uint8_t cdb[16];
    uint8_t cdbLen;
};

uint32_t send_scsi(uint32_t board, const uint8_t* portWwpn, const uint8_t* targetWwpn,
                   const ScsiCommand& cmd, void* rsp, uint32_t rspSize, void* sense,
                   uint32_t senseSize) {
    if (!tgx_board_ok(board)) return kStsBadBoard;
    if (tgx_entry(board)->driverType == TGX_DRIVER_PORT) return kStsPortDriver;
    if (portWwpn == nullptr || targetWwpn == nullptr || (rsp == nullptr && rspSize != 0) ||
        (sense == nullptr && senseSize != 0))
        return kStsFailed;
    const uint32_t vpi = tgxFindVPIid(board, portWwpn);
    if (vpi == TGX_VPI_FAILED) return kStsFailed;
    if (vpi == TGX_VPI_NOT_FOUND) return kStsPortDriver;
    if (vpi == TGX_VPI_UNKNOWN) return kStsUnknownPort;
    const uint32_t senseLen = min_u(senseSize, kSenseMax);
    if (rspSize > 0xFFFFFFFFu - TGX_SIZE_SCSI_BASE - senseLen) return kStsNoMemory;
    // The pass-through itself carries no VPI: the path and target identifiers
    // of the (virtual) port name the target.
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_SCSI_BASE + rspSize + senseLen, TGX_IOCTL_SCSI_PASSTHRU, TGX_SIG_ZT);
    if (!env) return kStsNoMemory;
    uint32_t path = 0, tid = 0;
    const uint32_t ids = tgx_target_scsi_ids(board, vpi, targetWwpn, &path, &tid);
    if (ids == TGX_IDS_NO_MEMORY) return kStsNoMemory;
    if (ids != TGX_IDS_OK) return kStsFailed;
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_SCSI_OFF_PATH, path);
    tgx_wr32(p + TGX_SCSI_OFF_TARGET, tid);
    tgx_wr32(p + TGX_SCSI_OFF_LUN, cmd.lunWord);
    p[TGX_SCSI_OFF_CDBLEN] = cmd.cdbLen;
    p[TGX_SCSI_OFF_SENSELEN] = (uint8_t)senseLen;
    p[TGX_SCSI_OFF_DIR] = 1;
    tgx_wr32(p + TGX_SCSI_OFF_RSPSIZE, rspSize);
    memcpy(p + TGX_SCSI_OFF_CDB, cmd.cdb, cmd.cdbLen);
    if (!send(board, env)) {
        TraceLog(cmd.failLine, plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    const uint32_t masked = rc & ~TGX_SCSI_RC_SENSE;
    const bool hasSense = (rc & TGX_SCSI_RC_SENSE) != 0;
    uint32_t status = kStsOk;
    bool copySense = false;
    switch (group_of(masked)) {
    case RC_SUCCESS:
        break;
    case RC_ERROR:
    case RC_BUSY:
        copySense = hasSense;
        status = cmd.inquiry || hasSense ? kStsFailed : kStsOk;
        break;
    case RC_ILLEGAL_WWPN:
        status = kStsUnknownPort;
        break;
    case RC_MORE:
        status = kStsMoreData;
        break;
    case RC_OTHER:
        status = cmd.inquiry ? kStsFailed : kStsOk;
        break;
    }
    if (copySense) {
        // As many sense bytes as the driver reports, the request had room for
        // and the caller's buffer holds.
        const uint32_t n = min_u(min_u(p[TGX_SCSI_OFF_SENSELEN], senseLen), senseSize);
        tgx_copy(sense, p + TGX_SCSI_OFF_DATA + rspSize, n);
    }
    if (status != kStsOk) return status;
    if (rc == TGX_SCSI_RC_OVERRUN) {
        const uint32_t n = min_u(tgx_rd32(p + TGX_SCSI_OFF_RSPSIZE), rspSize);
        tgx_copy(rsp, p + TGX_SCSI_OFF_DATA, n);
        return kStsOverrun;
    }
    tgx_copy(rsp, p + TGX_SCSI_OFF_DATA, rspSize);
    return kStsOk;
}

void put_be32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

} // namespace

extern "C" TGX_EXPORT uint32_t SendFcpCmd(uint32_t board, const uint8_t* targetWwpn,
                                          const uint8_t* fcpCmnd, uint32_t reqSize, void* data,
                                          uint32_t* dataSize, uint8_t* fcpRsp, uint32_t rspSize) {
    if (!tgx_board_ok(board) || targetWwpn == nullptr || fcpCmnd == nullptr ||
        dataSize == nullptr || (data == nullptr && *dataSize != 0) ||
        (fcpRsp == nullptr && rspSize != 0))
        return kStsFailed;
    // The command is read up to the end of its CDB: a shorter one is refused
    // before any byte of it is read.
    if (reqSize < kCmndCdb + kCdbLen) return kStsFailed;
    // Bits 0 and 1 of byte 10 together, and read with write, are no command.
    if ((fcpCmnd[kCmndFlags10] & 3) == 3 || (fcpCmnd[kCmndFlags11] & 3) == 3) return kStsFailed;
    const uint32_t size = *dataSize;
    const bool reads = (fcpCmnd[kCmndFlags11] & kReadData) != 0;
    const bool writes = (fcpCmnd[kCmndFlags11] & kWriteData) != 0;
    TraceLog("SendFcpCmd: reqsize=%x datasize=%x rspsize=%x cmd=%x\n", reqSize, size, rspSize,
             fcpCmnd[kCmndCdb]);
    if (size > 0xFFFFFFFFu - TGX_SIZE_FCP_BASE || rspSize > 0xFFFFFFFFu - TGX_SIZE_FCP_BASE - size)
        return kStsFailed;
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_FCP_BASE + size + rspSize, TGX_IOCTL_FCP_PASSTHRU, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    memcpy(p + TGX_FCP_OFF_WWPN, targetWwpn, 8);
    memcpy(p + TGX_FCP_OFF_LUN_HI, fcpCmnd + 4, 4);
    memcpy(p + TGX_FCP_OFF_LUN_LO, fcpCmnd, 4);
    p[TGX_FCP_OFF_FLAGS] = (uint8_t)(kFcpTaskFlags | (reads ? TGX_FCP_FLAG_READ : 0));
    p[TGX_FCP_OFF_CDBLEN] = kCdbLen;
    // The sense room the envelope really has after the data.
    const uint32_t senseRoom = min_u(TGX_FCP_SENSE_ROOM, rspSize + 4);
    p[TGX_FCP_OFF_SENSE] = (uint8_t)senseRoom;
    tgx_wr32(p + TGX_FCP_OFF_DATASIZE, size);
    memcpy(p + TGX_FCP_OFF_CDB, fcpCmnd + kCmndCdb, kCdbLen);
    if (writes && size) memcpy(p + TGX_FCP_OFF_DATA, data, size);
    if (!send(board, env)) {
        TraceLog("SendFcpCmd Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    if (rspSize > kRspStatus) fcpRsp[kRspStatus] = 0;
    const uint32_t rc = tgx_env_rc(env);
    const uint32_t masked = rc & ~TGX_SCSI_RC_SENSE;
    TraceLog("SendFcpCmd: ReturnCode=%x status=%x\n", rc, masked);
    uint32_t status = kStsOk;
    switch (group_of(masked)) {
    case RC_SUCCESS:
        if (masked == TGX_SCSI_RC_OVERRUN) TraceDump(p + TGX_FCP_OFF_DATA, min_u(size, 32));
        if (reads) {
            const uint32_t got = tgx_rd32(p + TGX_FCP_OFF_DATASIZE);
            *dataSize = got;
            if (got && size) memcpy(data, p + TGX_FCP_OFF_DATA, min_u(got, size));
        }
        break;
    case RC_ERROR:
        if ((rc & TGX_SCSI_RC_SENSE) && rspSize > kRspStatus) {
            fcpRsp[kRspStatus] = kScsiCheckCondition;
            // Sense bytes: what the driver reports, the request's room and the
            // caller's response after its 32-byte header all bound them.
            const uint32_t room = rspSize > kRspSense ? rspSize - kRspSense : 0;
            const uint32_t n = min_u(min_u(p[TGX_FCP_OFF_SENSE], senseRoom), room);
            if (rspSize >= kRspSenseLen + 4) tgx_wr32(fcpRsp + kRspSenseLen, n);
            memcpy(fcpRsp + kRspSense, p + TGX_FCP_OFF_DATA + size, n);
        }
        break;
    case RC_ILLEGAL_WWPN:
        status = kStsUnknownPort;
        break;
    case RC_BUSY:
        if (rspSize > kRspStatus) fcpRsp[kRspStatus] = kScsiBusy;
        break;
    case RC_MORE:
        status = kStsMoreData;
        break;
    case RC_OTHER:
        TraceLog("SendFcpCmd: error=default\n");
        break;
    }
    TraceLog("SendFcpCmd: Exit status=%x\n", status);
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_SendScsiInquiryByWWN(uint32_t board, const uint8_t* portWwpn,
                                                        const uint8_t* targetWwpn, uint64_t fcLun,
                                                        uint8_t evpd, uint32_t pageCode, void* rsp,
                                                        uint32_t rspSize, void* sense,
                                                        uint32_t senseSize) {
    // The allocation length is one byte: larger buffers ask for 255 bytes.
    const uint8_t alloc = (uint8_t)min_u(rspSize, kInquiryMaxAlloc);
    ScsiCommand cmd = {"TGX_SendScsiInquiryByWWN Failed Error=0x%x\n",
                       true,
                       (uint32_t)((fcLun >> 8) & 0xFF),
                       {0x12, evpd, (uint8_t)pageCode, 0, alloc, 0},
                       6};
    return send_scsi(board, portWwpn, targetWwpn, cmd, rsp, rspSize, sense, senseSize);
}

extern "C" TGX_EXPORT uint32_t TGX_SendReadCapacityByWWN(uint32_t board, const uint8_t* portWwpn,
                                                         const uint8_t* targetWwpn, uint32_t lun,
                                                         void* rsp, uint32_t rspSize, void* sense,
                                                         uint32_t senseSize) {
    ScsiCommand cmd = {"TGX_SendReadCapacityByWWN Failed Error=0x%x\n",
                       false,
                       lun,
                       {0x25, (uint8_t)(lun << 5)},
                       10};
    return send_scsi(board, portWwpn, targetWwpn, cmd, rsp, rspSize, sense, senseSize);
}

extern "C" TGX_EXPORT uint32_t TGX_SendReportLUNsByWWN(uint32_t board, const uint8_t* portWwpn,
                                                       const uint8_t* targetWwpn, void* rsp,
                                                       uint32_t rspSize, void* sense,
                                                       uint32_t senseSize) {
    ScsiCommand cmd = {"TGX_SendReportLunsByWWN Failed Error=0x%x\n", false, 0, {0xA0}, 12};
    put_be32(cmd.cdb + 6, rspSize);
    return send_scsi(board, portWwpn, targetWwpn, cmd, rsp, rspSize, sense, senseSize);
}

extern "C" TGX_EXPORT uint32_t TGX_SendELSCmd(uint32_t board, const TGX_ElsDest* dest,
                                              const void* request, uint32_t requestSize, void* rsp,
                                              uint32_t* rspSize) {
    const uint32_t given = rspSize ? *rspSize : 0;
    TraceLog("TGX_SendElsCmd board=%x, reqsize=%d pRspsize=%d\n", board, (int)requestSize,
             (int)given);
    if (!tgx_board_ok(board) || dest == nullptr || request == nullptr || rspSize == nullptr ||
        (rsp == nullptr && given != 0))
        return kStsFailed;
    // An ELS request starts with its 4-byte command word.
    if (requestSize < 4) return kStsFailed;
    const uint8_t* req = static_cast<const uint8_t*>(request);
    uint8_t* out = static_cast<uint8_t*>(rsp);
    const uint32_t n = min_u(requestSize, given);
    if (dest->idType != TGX_ELS_BY_WWPN && dest->idType != TGX_ELS_BY_PORT_ID) {
        TraceLog("TGX_SendELScmd: invalid destination IdType, %x\n", dest->idType);
        return kStsFailed;
    }
    const bool byWwpn = dest->idType == TGX_ELS_BY_WWPN;
    const uint32_t extra = byWwpn ? 16 : 0;
    if (given > 0xFFFFFFFFu - TGX_SIZE_ELS_BASE - extra) return kStsFailed;
    const uint32_t r = given + extra;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_ELS_BASE + r, TGX_IOCTL_ISSUE_ELS_CMD, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_ELS_OFF_CMDLEN, n + 4);
    tgx_wr32(p + TGX_ELS_OFF_RSPLEN, r);
    if (byWwpn) {
        memcpy(p + TGX_ELS_OFF_REQ, req, 4);
        memcpy(p + TGX_ELS_OFF_WWPN, dest->wwpn, 8);
        // The request's bytes after its command word, never past its end.
        if (n > 4) memcpy(p + TGX_ELS_OFF_REQ_REST, req + 4, n - 4);
    } else {
        tgx_wr32(p + TGX_ELS_OFF_DID, dest->portId);
        memcpy(p + TGX_ELS_OFF_REQ, req, n);
    }
    if (!send(board, env)) {
        TraceLog("IOCTL_ZT4100_ISSUE_ELS_CMD Error=%08X, elsCode=%x\n", plat_last_error(), req[0]);
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    if (rc != 0 && rc != TGX_ELS_RC_MORE) {
        TraceLog("IOCTL_ZT4100_ISSUE_ELS_CMD Io Error ReturnCode=0x%lx elsCode=0x%lx\n",
                 (unsigned long)rc, (unsigned long)req[0]);
        return rc;
    }
    if (rc == TGX_ELS_RC_MORE)
        TraceLog("IOCTL_ZT4100_ISSUE_ELS_CMD STATUS_MORE_DATA elsCode=0x%x\n", req[0]);
    // Reply bytes the envelope holds from payload offset 'at'.
    const uint32_t payloadSize = env.size - TGX_ENV_HEADER_LENGTH;
    auto held = [&](uint32_t at) { return payloadSize > at ? payloadSize - at : 0u; };
    const uint32_t R = tgx_rd32(p + TGX_ELS_OFF_RSPLEN);
    const uint32_t R4 = R > 4 ? R - 4 : 0;
    if (!byWwpn) {
        const uint32_t cnt = min_u(min_u(min_u(given, R4) + 4, given), held(TGX_ELS_OFF_RSP_DID));
        tgx_copy(out, p + TGX_ELS_OFF_RSP_DID, cnt);
    } else if (R > 12 && memcmp(p + TGX_ELS_OFF_RSP_DID, dest->wwpn, 8) != 0) {
        tgx_copy(out, p + TGX_ELS_OFF_RSP_DID, min_u(min_u(given, R4), held(TGX_ELS_OFF_RSP_DID)));
    } else if (R > 12) {
        tgx_copy(out, p + TGX_ELS_OFF_RSP_CODE, min_u(4, given));
        const uint32_t rest = given > 4 ? given - 4 : 0;
        if (rest == 0) {
            // Only the response code had room.
        } else if (p[TGX_ELS_OFF_RSP_CODE] == TGX_ELS_LS_ACC) {
            memcpy(out + 4, p + TGX_ELS_OFF_RSP_ACC,
                   min_u(min_u(rest, R - 12), held(TGX_ELS_OFF_RSP_ACC)));
        } else {
            memcpy(out + 4, p + TGX_ELS_OFF_RSP_REJECT, min_u(4, rest));
        }
    } else {
        // Nothing came back from the port: an LS_RJT, reason 0x03.
        uint8_t rjt[8] = {TGX_ELS_LS_RJT, 0, 0, 0, 0, 0x03, 0, 0};
        tgx_copy(out, rjt, min_u(sizeof rjt, given));
    }
    *rspSize = min_u(requestSize, given);
    TraceDump(out, *rspSize);
    TraceLog("IOCTL_ZT4100_ISSUE_ELS_CMD Exit success: rc =0x%x, resp size =%d\n", rc,
             (int)*rspSize);
    return rc == TGX_ELS_RC_MORE ? kStsMoreData : kStsOk;
}
