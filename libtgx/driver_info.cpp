// The three queries discovery stands on: driver information (with version
// negotiation), adapter attributes and port attributes.
#include <cstddef>

#include "libtgx/tgx_internal.h"

namespace {

const uint8_t kDrvInfoMaxVersion = 5;
// ReturnCode of the driver-information request: the requested version is not spoken.
const uint32_t kRcVersionNotSpoken = 1;
// Status of TGX_GetDrvInfo when the driver did not speak the requested version.
const uint32_t kStsWrongVersion = 2;
const uint32_t kStsPortIoFailed = 3;
const uint32_t kHbaStatusStale = 8;
// Offset of the port attributes in a Mini driver's reply (after the port index word).
const uint32_t kMiniPortAttrOffset = 4;

// One field of the driver-information record: bytes copied from the reply's
// payload into the caller's record when the agreed version reaches minVersion.
struct DrvInfoField {
    uint32_t payloadOff;
    uint32_t infoOff;
    uint32_t size;
    uint8_t minVersion;
};

const DrvInfoField kDrvInfoFields[] = {
    {1, 1, 1, 0},      // drvType
    {4, 4, 4, 0},      // driver-defined bytes 4-7
    {8, 8, 72, 0},     // three {drvVer[16], dvrName[8]} pairs
    {80, 80, 4, 0},    // d_id
    {84, 84, 8, 0},    // WWPN
    {92, 92, 4, 0},    //
    {96, 96, 4, 0},    //
    {100, 100, 32, 2}, //
    {132, 132, 4, 3},  //
    {136, 136, 4, 4},  // sliMode
    {140, 144, 4, 4},  // featureList
    {144, 148, 4, 4},  //
    {148, 152, 4, 5},  // interface word
};

// Payload offsets of the driver's reply (the request is 28 + 160 bytes).
static_assert(TGX_SIZE_GETDRV_INFO == TGX_ENV_HEADER_LENGTH + 160, "driver-information size");
static_assert(offsetof(DrvInfo, names) == 8 && offsetof(DrvInfo, d_id) == 80 &&
                  offsetof(DrvInfo, wwpn) == 84 && offsetof(DrvInfo, p100) == 100 &&
                  offsetof(DrvInfo, sliMode) == 136 && offsetof(DrvInfo, featureList) == 144 &&
                  offsetof(DrvInfo, p148) == 148 && offsetof(DrvInfo, interfaceWord) == 152,
              "DrvInfo layout");
static_assert(TGX_SIZE_ADAPTER_ATTRIBUTES == TGX_ENV_HEADER_LENGTH + TGX_ADAPTER_ATTRIBUTES_SIZE,
              "adapter attributes request size");
static_assert(TGX_SIZE_PORT_ATTRIBUTES ==
                  TGX_ENV_HEADER_LENGTH + kMiniPortAttrOffset + TGX_PORT_ATTRIBUTES_SIZE,
              "port attributes request size");

} // namespace

uint32_t TGX_GetDrvInfo(uint32_t board, DrvInfo* info) {
    TraceLog("TGX_GetDrvInfo: board=%x requestVer=%x\n", board, info ? info->version : 0);
    if (!info || !tgx_board_ok(board)) return kStsFailed;

    uint8_t requested = info->version > kDrvInfoMaxVersion ? kDrvInfoMaxVersion : info->version;
    info->version = requested;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, TGX_SIG_ZT);
    if (!env) return kStsFailed;
    uint8_t* pl = env.payload();
    pl[0] = requested;

    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZTX100_GETDRV_INFO DeviceIoControl failed. GetLastError = 0x%08X\n",
                 plat_last_error());
        return kStsFailed;
    }

    uint32_t status = tgx_env_rc(env);
    if (status == kRcVersionNotSpoken) {
        status = kStsWrongVersion;
        TraceLog("TGX_GetDrvInfo: board=%x Incorrect version %x %x\n", board, requested, pl[0]);
    }
    uint8_t agreed = pl[0] < requested ? pl[0] : requested;
    info->version = agreed;
    // Only the fields the agreed version covers are written; the rest of the
    // caller's record stays as it was.
    auto* out = reinterpret_cast<uint8_t*>(info);
    for (const DrvInfoField& f : kDrvInfoFields)
        if (agreed >= f.minVersion) memcpy(out + f.infoOff, pl + f.payloadOff, f.size);

    const DrvVerName* n = info->names;
    TraceLog("TGX_GetDrvInfo: board=%x dvrName=%.*s drvVer=%.*s, dvrName=%.*s drvVer=%.*s\n", board,
             (int)sizeof n[0].dvrName, n[0].dvrName, (int)sizeof n[0].drvVer, n[0].drvVer,
             (int)sizeof n[1].dvrName, n[1].dvrName, (int)sizeof n[1].drvVer, n[1].drvVer);
    const uint8_t* w = info->wwpn;
    TraceLog("TGX_GetDrvInfo: board=%x d_id=%X "
             "wwpn=%02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X, drvType=%x\n",
             board, info->d_id, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], info->drvType);
    if (agreed >= 4)
        TraceLog("TGX_GetDrvInfo: board=%x sliMode=%x featureList=%x\n", board, info->sliMode,
                 info->featureList);
    if (agreed >= 5)
        TraceLog("TGX_GetDrvInfo: board=%x iftype=%x\n", board, (info->interfaceWord >> 12) & 0xF);
    TraceLog("TGX_GetDrvInfo: Exit status=%x\n", status);
    return status;
}

uint32_t TGX_GetAdapterAttributes(uint32_t board, HBA_AdapterAttributes* attributes) {
    if (!attributes || !tgx_board_ok(board)) return kStsFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_ADAPTER_ATTRIBUTES,
                                    TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, TGX_SIG_HBAAPI);
    if (!env) return kStsNoMemory;
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_HBA_GET_ADAPTER_ATTRIBUTES: DeviceIoControl failed. GetLastError = "
                 "0x%08X \n",
                 plat_last_error());
        return kStsFailed;
    }
    uint32_t rc = tgx_env_rc(env);
    if (rc != 0) {
        TraceLog("IOCTL_HBA_GET_ADAPTER_ATTRIBUTES Io ReturnCode=%x\n", rc);
        return rc;
    }
    memcpy(attributes, env.payload(), TGX_ADAPTER_ATTRIBUTES_SIZE);
    return kStsOk;
}

uint32_t GetAdapterPortAttributes(uint32_t board, uint32_t portIndex,
                                  HBA_PortAttributes* attributes) {
    (void)portIndex; // one port per board: the driver is always asked for index 0
    TraceLog("GetAdapterPortAttributes: board=%x\n", board);
    if (!attributes) return kStsFailed;
    memset(attributes, 0, TGX_PORT_ATTRIBUTES_SIZE);
    if (!tgx_board_ok(board)) return kStsFailed;
    const AdapterEntry* e = tgx_entry(board);
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI);
    if (!env) return kStsNoMemory;
    // A Port driver answers at payload 0; a Mini driver reads the port index
    // (0, already in place) from word 0 and answers after it.
    uint32_t attrOff = e->driverType == TGX_DRIVER_PORT ? 0 : kMiniPortAttrOffset;

    bool refreshed = false;
    for (;;) {
        tgx_env_fill(env, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI);
        if (!tgx_env_send(e->handle, env)) {
            TraceLog("IOCTL_HBA_GET_ADAPTER_PORT_ATTRIBUTES:DeviceIoControl failed. "
                     "GetLastError = 0x%08X \n",
                     plat_last_error());
            return kStsPortIoFailed;
        }
        uint32_t rc = tgx_env_rc(env);
        if (rc == 0) break;
        if (rc != kHbaStatusStale) {
            TraceLog("IOCTL_HBA_GET_ADAPTER_PORT_ATTRIBUTES Error: ReturnCode=%x\n", rc);
            return rc;
        }
        TraceLog("IOCTL_HBA_GET_ADAPTER_PORT_ATTRIBUTES Stale data: retry=%x\n",
                 refreshed ? 1u : 0u);
        if (refreshed) break; // stale again after the refresh: use the data as it is
        tgx_env_fill(env, TGX_IOCTL_HBA_REFRESH_INFORMATION, TGX_SIG_HBAAPI);
        bool sent = tgx_env_send(e->handle, env);
        if (!sent || tgx_env_rc(env) != 0)
            TraceLog("IOCTL_HBA_REFRESH_INFORMATION: I/O Error=%x status=0x%x\n",
                     sent ? 0u : plat_last_error(), tgx_env_rc(env));
        refreshed = true;
    }

    memcpy(attributes, env.payload() + attrOff, TGX_PORT_ATTRIBUTES_SIZE);
    TraceLog("GetAdapterPortAttributes: portState=%x portType=%x\n", attributes->PortState,
             attributes->PortType);
    return kStsOk;
}
