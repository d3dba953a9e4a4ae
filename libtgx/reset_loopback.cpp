// Reset, loopback and dump control: adapter reset, link loopback set-up and
// frames, the driver's dump environment and dump regions, and the command path
// to the FCoE bridge of bridge boards.
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the reset, loopback and dump exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsLinkNotUp = 2;     // TGX_ConfigLoopback: the link did not come up
constexpr uint32_t kStsBadRegion = 2;     // TGX_GetDriverDumpRegion: region above 7
constexpr uint32_t kStsBadType = 3;       // TGX_ConfigLoopback: neither internal nor external
constexpr uint32_t kStsOverheat = 3;      // TGX_ConfigLoopback: the link mailbox's status 3
constexpr uint32_t kStsBridgeOverrun = 3; // TGX_SendTamberCommand: response too large
constexpr uint32_t kStsBridgeTimeout = 5;
constexpr uint32_t kStsBridgeNoBoard = 6;
// Status 3 of the mailbox exports (over temperature on the plain form, no
// resource on V2): the one mailbox failure loopback set-up passes on.
constexpr uint32_t kMboxOverheat = 3;

const uint32_t kLoopbackRecordSize = 12; // size of the caller's record as logged
const uint32_t kLinkPollMs = 1000;
const uint32_t kEndLoopbackSleepMs = 5000;
const uint32_t kTamberLinkPolls = 10;
const uint32_t kLinkRetry = 10;
const uint32_t kLinkDelayMs = 300;

struct RcRow {
    int32_t rc;
    uint32_t status;
    const char* text; // null: nothing logged
};

// ReturnCode of a bridge control mailbox.
const RcRow kBridgeMboxRc[] = {
    {0, kStsOk, nullptr},
    {1, kStsFailed, nullptr}, // logged with the returned mailbox status
    {2, kStsBridgeTimeout, "TGX_SendTamberCommand: error=TAMBER_CMD_TIMEOUT\n"},
    {3, kStsFailed, "TGX_SendTamberCommand: error=TAMBER_COMMAND_BUSY\n"},
};

// ReturnCode of a bridge pass-through command that brought no response.
const RcRow kBridgePassRc[] = {
    {0, kStsBridgeTimeout, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_TIMEOUT\n"},
    {-1, kStsFailed, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_NOTAVAIL\n"},
    {-2, kStsFailed, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_NORESOURCE\n"},
    {-3, kStsFailed, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_INVALIDREQ\n"},
    {-4, kStsFailed, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_GENERROR\n"},
    {-5, kStsBridgeOverrun, "TGX_SendTamberCommand: error=GETCTINFO_RETVAL_DATAOVERRUN\n"},
};

template <size_t N> uint32_t map_rc(const RcRow (&rows)[N], int32_t rc) {
    for (const RcRow& row : rows) {
        if (row.rc != rc) continue;
        if (row.text) TraceLog("%s", row.text);
        return row.status;
    }
    TraceLog("TGX_SendTamberCommand: default error\n");
    return kStsFailed;
}

bool is_tamber(const AdapterEntry* e) {
    return tgx_pci_device_id(e) == TGX_TAMBER_DEVICE_ID;
}
bool is_sli4(const AdapterEntry* e) {
    return e->drvInfo.sliMode == 4;
}

// Sends one 12-byte bridge control or pass-through command with a 4-byte response.
uint32_t tamber_cmd(uint32_t board, uint32_t w0, uint32_t w1, uint32_t w2) {
    uint8_t cmd[12];
    tgx_wr32(cmd, w0);
    tgx_wr32(cmd + 4, w1);
    tgx_wr32(cmd + 8, w2);
    uint8_t rsp[4] = {0, 0, 0, 0};
    uint32_t rspSize = sizeof rsp;
    return TGX_SendTamberCommand(board, cmd, sizeof cmd, rsp, &rspSize);
}

// Reads the port state; *state is 0 when the read fails.
uint32_t read_port_state(uint32_t board, uint32_t* state) {
    HBA_PortAttributes attrs;
    uint32_t st = GetAdapterPortAttributes(board, 0, &attrs);
    *state = attrs.PortState;
    return st;
}

uint32_t config_loopback_tamber(uint32_t board, uint32_t type) {
    uint8_t portId[TGX_VPD_PORTID_LEN] = {};
    uint32_t vpd = libtgxGetVPD(board, portId);
    TraceLog("TGX_ConfigLoopback: getVpd status=%x portId=%x\n", vpd, portId[0]);
    uint32_t port = 0;
    if (vpd == 0) {
        // The port identification starts with the port number as an ASCII digit.
        if (portId[0] >= '0' && portId[0] <= '9') port = portId[0] - '0';
        TraceLog("TGX_ConfigLoopback: portNo=%x\n", port);
    }
    uint32_t status;
    uint32_t state = 0;
    if (type == TGX_LOOPBACK_EXTERNAL) {
        status = tamber_cmd(board, TGX_TAMBER_CMD_LOOPBACK, port, 1);
        TraceLog("TGX_ConfigLoopback: External enable loopback status=%x\n", status);
    } else {
        uint32_t on = tamber_cmd(board, TGX_TAMBER_CMD_SETMODE, 1, 0);
        TraceLog("TGX_ConfigLoopback: set TAMBER to maintenance mode status=%x\n", on);
        uint32_t en = tamber_cmd(board, TGX_TAMBER_CMD_LOOPBACK, port, 1);
        TraceLog("TGX_ConfigLoopback: Internal enable loopback status=%x\n", en);
        uint32_t off = tamber_cmd(board, TGX_TAMBER_CMD_SETMODE, 0, 0);
        TraceLog("TGX_ConfigLoopback: disable maintenance mode status=%x\n", off);
        // The first failing bridge command decides; maintenance mode is left
        // in any case.
        status = on != 0 ? on : (en != 0 ? en : off);
        for (uint32_t i = 0; i < kTamberLinkPolls; ++i) {
            plat_sleep_ms(kLinkPollMs);
            uint32_t st = read_port_state(board, &state);
            TraceLog("TGX_ConfigLoopback: check link up status=%x PortState=%x %x\n", st, state, i);
            if (st == 0 && state == TGX_PORTSTATE_ONLINE) break;
        }
    }
    TraceLog("TGX_ConfigLoopback: Tamber Exit status=%x PortState=%x\n\n", status, state);
    return status;
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_ResetAdapter(uint32_t board, uint32_t resetType) {
    TraceLog("TGX_ResetAdapter board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_RESET_ADAPTER, TGX_IOCTL_RESET_ADAPTER, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    tgx_wr32(env.payload(), resetType);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("TGX_ResetAdapter - IOCTL_ZTX100_RESET_ADAPTER Failed 0x%08X\n",
                 plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    if (rc != 0)
        TraceLog("TGX_ResetAdapter - IOCTL_ZTX100_RESET_ADAPTER Failed Io RtnCode=0x%x\n", rc);
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_ConfigLoopback(uint32_t board, uint32_t type, uint32_t wait) {
    TraceLog("TGX_ConfigLoopback board=%x type=%x\n", board, type);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (type != TGX_LOOPBACK_INTERNAL && type != TGX_LOOPBACK_EXTERNAL) return kStsBadType;
    AdapterEntry* e = tgx_entry(board);
    if (e->driverType == TGX_DRIVER_PORT) return kStsFailed;
    if (is_tamber(e)) return config_loopback_tamber(board, type);

    uint32_t mb[TGX_MBOX_WORDS];
    // Take the link down.
    memset(mb, 0, sizeof mb);
    tgx_wr32(reinterpret_cast<uint8_t*>(mb), TGX_MBX_DOWN_LINK << 8);
    if (is_sli4(e)) {
        uint32_t st = TGX_IssueMboxWithRetryV2(board, mb, TGX_MBOX_WORDS, kLinkRetry, kLinkDelayMs);
        if (st != 0) {
            TraceLog("TGX_ConfigLoopback (SLI4) failed MBX_DOWN_LINK status=%x, mbstatus = %x\n",
                     st, tgx_rd16(reinterpret_cast<uint8_t*>(mb) + 2));
            return st == kMboxOverheat ? kStsOverheat : kStsFailed;
        }
    } else {
        uint32_t st = TGX_IssueMboxWithRetry(board, mb, TGX_MBOX_CLASSIC_WORDS,
                                             TGX_MBOX_CLASSIC_WORDS, kLinkRetry, kLinkDelayMs);
        TraceLog("TGX_ConfigLoopback MBX_DOWN_LINK status=%x\n", st);
        if (st == kMboxOverheat) return kStsOverheat;
    }

    // Bring it up in loopback.
    uint32_t flag;
    uint32_t st;
    memset(mb, 0, sizeof mb);
    tgx_wr32(reinterpret_cast<uint8_t*>(mb), TGX_MBX_INIT_LINK << 8);
    if (is_sli4(e)) {
        if (type == TGX_LOOPBACK_INTERNAL) {
            TraceLog("TGX_Configloopback: INTERNAL LOOPBACK TEST\n");
            flag = TGX_LINK_FLAG_INTERNAL;
        } else {
            TraceLog("TGX_Configloopback: EXTERNAL LOOPBACK TEST\n");
            flag = tgx_pci_device_id(e) == TGX_BREVIN_DEVICE_ID ? TGX_LINK_FLAG_EXTERNAL
                                                                : TGX_LINK_FLAG_EXTERNAL_SLI4;
        }
        tgx_wr32(reinterpret_cast<uint8_t*>(mb) + 8, flag);
        st = TGX_IssueMboxWithRetryV2(board, mb, TGX_MBOX_WORDS, kLinkRetry, kLinkDelayMs);
        if (st != 0)
            TraceLog("TGX_Configloopback (SLI4) MBX_INIT_LINK flag=%x failed - board=%x "
                     "status=%x\n",
                     flag, board, st);
    } else {
        flag = type == TGX_LOOPBACK_INTERNAL ? TGX_LINK_FLAG_INTERNAL : TGX_LINK_FLAG_EXTERNAL;
        tgx_wr32(reinterpret_cast<uint8_t*>(mb) + 8, flag);
        st = TGX_IssueMboxWithRetry(board, mb, TGX_MBOX_CLASSIC_WORDS, TGX_MBOX_CLASSIC_WORDS,
                                    kLinkRetry, kLinkDelayMs);
        if (st != 0)
            TraceLog("TGX_Configloopback MBX_INIT_LINK flag=%x failed - board=%x status=%x\n", flag,
                     board, st);
    }
    if (st != 0) return st == kMboxOverheat ? kStsOverheat : kStsFailed;

    // Wait for the link: wait - 1 polls of one second (none for 0 or 1).
    uint32_t polls = wait > 1 ? wait - 1 : 0;
    uint32_t state = 0;
    uint32_t status = kStsOk;
    for (uint32_t i = 0; i < polls; ++i) {
        plat_sleep_ms(kLinkPollMs);
        status = read_port_state(board, &state);
        TraceLog("TGX_ConfigLoopback: status=%x PortState=%x\n", status, state);
        if (status == 0 && state == TGX_PORTSTATE_ONLINE) break;
    }
    if (state != TGX_PORTSTATE_ONLINE) {
        TraceLog("TGX_Configloopback GetAdapterPortAttr failed - board=%x  PortState=%x\n", board,
                 state);
        status = kStsLinkNotUp;
    }
    TraceLog("TGX_Configloopback: Exit status=%x PortStat=%x\n", status, state);
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_RunLoopbackTest(uint32_t board, TGX_LOOPBACK* loopback) {
    TraceLog("TGX_Runloopback board=%x NumAdapter=%x\n", board, g_tgx.adapterCount);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (tgx_entry(board)->driverType == TGX_DRIVER_PORT) {
        TraceLog("TGX_Runloopback: driverType is FcPort\n");
        return kStsFailed;
    }
    if (loopback == nullptr) return kStsFailed;
    const uint32_t len = loopback->length;
    if (len != 0 && (loopback->xmitBuf == nullptr || loopback->rcvBuf == nullptr))
        return kStsFailed;
    // 32 + 2 x length must not wrap.
    if (len > (0xFFFFFFFFu - TGX_LOOPBACK_BASE) / 2) {
        TraceLog("TGX_RunLoopbackTest: malloc failed\n");
        return kStsFailed;
    }
    const uint32_t size = TGX_LOOPBACK_BASE + 2 * len;
    TgxEnvelope env = tgx_env_alloc(size, TGX_IOCTL_LOOPBACK_TEST, TGX_SIG_ZT);
    if (!env) {
        TraceLog("TGX_RunLoopbackTest: malloc failed\n");
        return kStsFailed;
    }
    TraceLog("xmitBuf=%p len=%x TGX_LOOPBACK size=%x\n", (void*)loopback->xmitBuf, len,
             kLoopbackRecordSize);
    uint8_t* p = env.payload();
    tgx_wr32(p, len);
    if (len) memcpy(p + 4, loopback->xmitBuf, len);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_LOOPBACK_TEST I/O Failed Error=0x%08X\n", plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    if (rc != 0) {
        TraceLog("**TGX_RunLoopbackTest: Failed returnCode =0x%x\n", rc);
        return kStsFailed;
    }
    uint32_t got = tgx_rd32(p);
    if (got > len) got = len;
    if (got) memcpy(loopback->rcvBuf, p + 4 + len, got);
    TraceLog("TGX_Runloopback OK Exit\n");
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_EndLoopback(uint32_t board) {
    TraceLog("TGX_EndLoopback: board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (is_tamber(tgx_entry(board))) {
        uint32_t st = tamber_cmd(board, TGX_TAMBER_CMD_RESET, 0, 0);
        TraceLog("TGX_EndLoopback: Tamber reset status=%x\n", st);
    }
    uint32_t status = TGX_ResetAdapter(board, 1);
    TraceLog("TGX_EndLoopback Sleep for 5 seconds\n");
    plat_sleep_ms(kEndLoopbackSleepMs);
    TraceLog("TGX_EndLoopback Exit - ResetAdapter status=%x\n", status);
    return status;
}

extern "C" TGX_EXPORT uint32_t TGX_SetDumpEnv(uint32_t board, uint32_t flag) {
    TraceLog("TGX_SetDumpEnv board=%x flag=0x%x\n", board, flag);
    if (!tgx_board_ok(board)) return kStsFailed;
    AdapterEntry* e = tgx_entry(board);
    if (e->driverType == TGX_DRIVER_PORT) {
        TraceLog("TGX_SetDumpEnv: Op not supported by Port driver\n");
        return kStsFailed;
    }
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_SET_DUMPENV, TGX_IOCTL_SET_DUMPENV, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    tgx_wr32(env.payload(), flag);
    if (!tgx_env_send(e->handle, env)) {
        TraceLog("IOCTL_ZTX100_SET_DUMPENV Failed Error=0x%08X\n", plat_last_error());
        return kStsFailed;
    }
    uint32_t result = tgx_env_rc(env);
    if (flag == 0) {
        TraceLog("IOCTL_ZTX100_SET_DUMPENV Current Diagnostic Mode= 0x%x\n", result);
    } else if (flag <= 3) {
        if (is_sli4(e)) {
            TraceLog("IOCTL_ZTX100_SET_DUMPENV Flag (%d) not valid on SLI4. RC = 0x%x\n", flag,
                     result);
            if (result == 0xFFFFFFFFu) result = 0;
        } else {
            TraceLog("IOCTL_ZTX100_SET_DUMPENV Flag (%d), status = 0x%x\n", flag, result);
        }
    } else if (flag == 4) {
        if (is_sli4(e)) {
            TraceLog("IOCTL_ZTX100_SET_DUMPENV Flag 4 on SLI4. status = 0x%x\n", result);
        } else {
            TraceLog("IOCTL_ZTX100_SET_DUMPENV Flag 4 not valid on SLI%d. RC = 0x%x\n",
                     e->drvInfo.sliMode, result);
            if (result == 0xFFFFFFFFu) result = 0;
        }
    }
    return result;
}

extern "C" TGX_EXPORT uint32_t TGX_GetDriverDumpRegion(uint32_t board, uint32_t region,
                                                       void* buffer, uint32_t* length) {
    TraceLog("TGX_GetDriverDumpRegion board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsFailed;
    AdapterEntry* e = tgx_entry(board);
    if (e->driverType == TGX_DRIVER_PORT) {
        TraceLog("TGX_SetDumpEnv: Op not supported by Port driver\n");
        return kStsFailed;
    }
    if (region > TGX_DUMPREGION_MAX_ID) {
        TraceLog("TGX_GetDriverDumpRegion: Invalid region identifier=%x\n", region);
        return kStsBadRegion;
    }
    if (length == nullptr) return kStsFailed;
    uint32_t remaining = *length;
    if (remaining != 0 && buffer == nullptr) return kStsFailed;
    const uint32_t pieceMax = remaining < TGX_DUMPREGION_PIECE ? remaining : TGX_DUMPREGION_PIECE;
    const uint32_t size = TGX_ENV_HEADER_LENGTH + TGX_DUMPREGION_HDR + pieceMax + 4;
    TgxEnvelope env = tgx_env_alloc(size, TGX_IOCTL_GETDRVDUMP_REGION, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* p = env.payload();
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t offset = 0;
    uint32_t copied = 0;
    for (;;) {
        const uint32_t piece = remaining < TGX_DUMPREGION_PIECE ? remaining : TGX_DUMPREGION_PIECE;
        tgx_wr32(env.bytes() + TGX_ENV_OFF_RETURNCODE, 0);
        tgx_wr32(p, region);
        tgx_wr32(p + 4, offset);
        tgx_wr32(p + 8, (piece + 3) / 4);
        if (!tgx_env_send(e->handle, env)) {
            TraceLog("IOCTL_ZTX100_GETDRVDUMP_REGION Failed Error=0x%08X\n", plat_last_error());
            return kStsFailed;
        }
        uint32_t rc = tgx_env_rc(env);
        if (rc != 0) {
            TraceLog("IOCTL_ZTX100_GETDRVDUMP_REGION Io ReturnCode=0x%x\n", rc);
            return rc;
        }
        uint32_t words = tgx_rd32(p + 8);
        if (piece == 0) {
            *length = words > 0x3FFFFFFFu ? 0xFFFFFFFCu : words * 4;
            TraceLog("IOCTL_ZTX100_GETDRVDUMP_REGION Size=0x%x\n", *length);
            return kStsOk;
        }
        // Only what the driver returned is handed on; a short piece ends the region.
        const uint64_t returned = (uint64_t)words * 4;
        const uint32_t n = returned < piece ? (uint32_t)returned : piece;
        memcpy(out + offset, p + TGX_DUMPREGION_HDR, n);
        copied += n;
        offset += piece;
        remaining -= piece;
        if (remaining == 0 || n < piece) break;
    }
    *length = copied;
    TraceLog("IOCTL_ZTX100_GETDRVDUMP_REGION success Count=0x%x\n", copied);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_SendTamberCommand(uint32_t board, const void* command,
                                                     uint32_t commandSize, void* response,
                                                     uint32_t* responseSize) {
    const uint8_t* cmd = static_cast<const uint8_t*>(command);
    const uint32_t cmdWord = (cmd && commandSize >= 4) ? tgx_rd32(cmd) : 0;
    const uint32_t rspSize = responseSize ? *responseSize : 0;
    TraceLog("TGX_SendTamberCommand: board=%x cmd=%x cmdSize=%x rspSize=%x\n", board, cmdWord,
             commandSize, rspSize);
    if (!tgx_board_ok(board)) return kStsBridgeNoBoard;
    if (cmd == nullptr || commandSize < 4 || responseSize == nullptr ||
        (rspSize != 0 && response == nullptr))
        return kStsFailed;
    // command + response + 2348 must not wrap.
    if (commandSize > 0xFFFFFFFFu - TGX_TAMBER_EXTRA ||
        rspSize > 0xFFFFFFFFu - TGX_TAMBER_EXTRA - commandSize)
        return kStsFailed;
    const uint32_t size = commandSize + rspSize + TGX_TAMBER_EXTRA;
    TraceLog("TGX_SendTamberCommand: bufferSize=%x\n", size);
    uint8_t* rsp = static_cast<uint8_t*>(response);
    const uint32_t cmdWord1 = commandSize >= 8 ? tgx_rd32(cmd + 4) : 0;
    const uint32_t cmdWord2 = commandSize >= 12 ? tgx_rd32(cmd + 8) : 0;
    const bool control = cmdWord == TGX_TAMBER_CMD_RESET || cmdWord == TGX_TAMBER_CMD_SETMODE;
    TgxEnvelope env =
        tgx_env_alloc(size, control ? TGX_IOCTL_TAMBER_ISSUEMB : TGX_IOCTL_GET_CT_INFO, TGX_SIG_ZT);
    if (!env) {
        TraceLog("TGX_IssueMboxWithRetry - malloc failed\n");
        return kStsFailed;
    }
    uint8_t* p = env.payload();
    const uint32_t payloadSize = size - TGX_ENV_HEADER_LENGTH;
    PlatHandle h = tgx_entry(board)->handle;
    uint32_t status;

    if (control) {
        TraceLog("TGX_SendTamberCommand: cmd=%x mode=%x value=%x\n", cmdWord, cmdWord1, cmdWord2);
        const bool reset = cmdWord == TGX_TAMBER_CMD_RESET;
        p[0] = 0x01;
        p[1] = TGX_TAMBER_MB_CMD;
        tgx_wr32(p + 4, reset ? TGX_TAMBER_MB_RESET : TGX_TAMBER_MB_SETMODE);
        tgx_wr32(p + 8, reset ? cmdWord1 : (cmdWord1 != 0 ? 1u : 0u));
        tgx_wr32(p + 256, 32);
        tgx_wr32(p + 260, 32);
        tgx_wr32(p + 264, cmdWord);
        tgx_wr32(p + 268, cmdWord1);
        if (!tgx_env_send(h, env)) {
            TraceLog("IOCTL_TAMBER_ISSUEMB: I/O Failed Error=0x%08X,  mbCmd=0x%x\n",
                     plat_last_error(), (uint32_t)TGX_TAMBER_MB_CMD);
            return kStsFailed;
        }
        uint32_t rc = tgx_env_rc(env);
        TraceLog("TGX_SendTamberCommand: returnCode=%x\n", rc);
        status = map_rc(kBridgeMboxRc, (int32_t)rc);
        if (rc == 1) TraceLog("TGX_SendTamberCommand: MailBox status=%x\n", tgx_rd16(p + 2));
        // The status word goes into the response only when there is room for it.
        if (rspSize >= 4) {
            tgx_wr32(rsp, status);
            *responseSize = 4;
        } else {
            *responseSize = 0;
        }
        return status;
    }

    TraceLog("TGX_SendTamberCommand: iobufSiz=%x\n", size);
    tgx_wr32(p, TGX_CTINFO_BRIDGE_TAG);
    tgx_wr32(p + 4, commandSize);
    tgx_wr32(p + 8, rspSize);
    memcpy(p + TGX_CTINFO_OFF_CMD, cmd, commandSize);
    if (!tgx_env_send(h, env)) {
        TraceLog("TGX_SendTamberCommand: IOCTL_GET_CT_INFO Failed I/O Error=0x%x Cmd=0x%08X\n",
                 plat_last_error(), cmdWord & 0xFF);
        return kStsFailed;
    }
    const int32_t rc = (int32_t)tgx_env_rc(env);
    TraceLog("TGX_SendTamberCommand: IOCTL_GET_CT_INFO returnCode=%08X\n", (uint32_t)rc);
    if (rc > 0) {
        // The response follows the command; its place and size are bounded by
        // this request's own command size and by the envelope.
        uint32_t inCnt = tgx_rd32(p + 4);
        uint32_t from = TGX_CTINFO_OFF_CMD + (inCnt < commandSize ? inCnt : commandSize);
        uint32_t n = (uint32_t)rc < rspSize ? (uint32_t)rc : rspSize;
        if (n > payloadSize - from) n = payloadSize - from;
        if (n) memcpy(rsp, p + from, n);
        *responseSize = (uint32_t)rc;
        TraceLog("TGX_SendTamberCommand: outCnt=%x rspSize=%x inCnt=%x\n", (uint32_t)rc, rspSize,
                 inCnt);
        return kStsOk;
    }
    status = map_rc(kBridgePassRc, rc);
    return status;
}
