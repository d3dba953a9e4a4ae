// Discovery of the adapters behind the SCSI port devices, the board-information
// request, and the release of every board's resources.
#include <cstdio>
#include <cstdlib>

#include "libtgx/tgx_internal.h"

LockRecord g_sdEventQueueLock;
LockRecord g_sdRscnLock;
LockRecord g_sdRegLocks[TGX_MAX_BOARDS];
uint32_t g_sdRegCnt;
uint32_t g_sdFabricRegCnt;
uint32_t g_sdScsiRegCnt;
uint32_t g_sdBoardRegCnt;

namespace {

const char kScsiPathFmt[] = "\\\\.\\Scsi%d:";
const char kMgmtPathFmt[] = "\\\\.\\TsvRma%d";
const char kPortDriverName[] = "qrlsli2";
const uint32_t kIfTypeMask = 0xF000;
const int kIfTypeShift = 12;
const uint8_t kDiscoveryDrvInfoVersion = 5;
const uint32_t kSupportedSliMode = 4;
const uint8_t kMinAgreedVersion = 4;
const uint32_t kBrdInfoWord44 = 0x2C1;
const uint32_t kBrdInfoWord48 = 0x1A7;
const size_t kBrdDrvVersionBytes = 16;
const size_t kBrdFwVersionBytes = 32;

// Takes the board out of the table again: its number goes to the next adapter.
void drop_board(AdapterEntry* e, TGXADAPTER* ctx) {
    plat_dev_close(e->handle);
    e->handle = nullptr;
    free(ctx);
    --g_tgx.adapterCount;
}

// Clears what a previous scan left in the entry; its lock and event slots stay.
void reset_entry(AdapterEntry* e) {
    memset(e->deviceName, 0, sizeof e->deviceName);
    memset(e->generalInfo, 0, sizeof e->generalInfo);
    e->returnInfoWord = 0;
    e->handle = nullptr;
    memset(e->pciConfig, 0, sizeof e->pciConfig);
    memset(&e->brdInfo, 0, sizeof e->brdInfo);
    memset(&e->drvInfo, 0, sizeof e->drvInfo);
    e->driverType = 0;
}

bool driver_name_is(const HBA_AdapterAttributes& a, const char* name) {
    size_t len = strnlen(a.DriverName, sizeof a.DriverName);
    return len == strlen(name) && memcmp(a.DriverName, name, len) == 0;
}

// Validates one opened board; true when it stays in the table as board b.
bool validate_board(uint32_t b, int n, PlatHandle h, const char* scsiPath) {
    AdapterEntry* e = tgx_entry(b);
    TGXADAPTER* ctx = nullptr;

    uint32_t sts = TGX_GetDrvInfo(b, &e->drvInfo);
    if (sts != 0 && sts != 2) {
        TraceLog("InitHBAResources: TGX_GetDrvInfo failed: sts=%x\n", sts);
        drop_board(e, ctx);
        return false;
    }
    uint32_t iftype = (e->drvInfo.interfaceWord & kIfTypeMask) >> kIfTypeShift;
    if (e->drvInfo.sliMode != kSupportedSliMode || iftype != 0 ||
        e->drvInfo.version < kMinAgreedVersion) {
        TraceLog("InitHBAResources: Board or version not supported...\n");
        drop_board(e, ctx);
        return false;
    }
    if (sts == 2) {
        TraceLog("InitHBAResources: TGX_GetDrvInfo wrong version: sts=%x\n", sts);
    } else {
        const DrvVerName& p = e->drvInfo.names[0];
        TraceLog("InitHBAResources: DriverName=%.*s DrvVer=%.*s Type=%d\n", (int)sizeof p.dvrName,
                 p.dvrName, (int)sizeof p.drvVer, p.drvVer, e->drvInfo.drvType);
    }

    ctx = static_cast<TGXADAPTER*>(calloc(1, sizeof(TGXADAPTER)));
    if (!ctx) {
        TraceLog("InitHBAResources: malloc TGXADAPTER Failed %s\n", scsiPath);
        drop_board(e, ctx);
        return false;
    }
    if (LibtgxReturnBrdInfo(h, b) != 0) {
        TraceLog("InitHBAResources: ReturnBrdInfo failed\n");
        drop_board(e, ctx);
        return false;
    }

    char mgmtPath[sizeof e->deviceName];
    snprintf(mgmtPath, sizeof mgmtPath, kMgmtPathFmt, n);
    PlatHandle mgmt = plat_dev_open(mgmtPath);
    if (!mgmt) mgmt = h; // no management device: requests go to the SCSI port

    HBA_AdapterAttributes attrs;
    memset(&attrs, 0, sizeof attrs);
    sts = TGX_GetAdapterAttributes(b, &attrs);
    if (sts != 0) {
        sts = 2;
    } else {
        const uint8_t* w = attrs.NodeWWN;
        TraceLog("InitHBAResources: DrvName=%.*s "
                 "NodeWWn=%02X%02X%02X%02X%02X%02X%02X%02X\n",
                 (int)sizeof attrs.DriverName, attrs.DriverName, w[0], w[1], w[2], w[3], w[4], w[5],
                 w[6], w[7]);
        if (attrs.DriverName[0] == '\0') {
            TraceLog("InitHBAResources: Invalid DrivrName\n");
            sts = 1;
        } else if (driver_name_is(attrs, kPortDriverName)) {
            e->driverType = TGX_DRIVER_PORT;
            TraceLog("DriverType=Port\n");
        } else {
            e->driverType = TGX_DRIVER_MINI;
            TraceLog("DriverType=Mini\n");
        }
    }
    if (sts != 0) {
        TraceLog("InitHBAResources: TGX_GetAdapterAttributes failed: sts=%x\n", sts);
        if (mgmt != h) plat_dev_close(mgmt);
        drop_board(e, ctx);
        return false;
    }

    TraceLog("InitHBAResources: Validated board has completed\n");
    memcpy(e->brdInfo.drvVersion, attrs.DriverVersion, kBrdDrvVersionBytes);
    memcpy(e->brdInfo.fwVersion, attrs.FirmwareVersion, kBrdFwVersionBytes);
    snprintf(e->deviceName, sizeof e->deviceName, "%s", mgmtPath);
    g_tgx.tgxAdapters[b] = ctx;
    ctx->scsiHandle = h;
    ctx->mgmtHandle = mgmt;
    ctx->board = b;
    ctx->scsiPort = (uint32_t)n;
    TraceLog("InitHBAResources: AdapterNum=%x AdapterCnt=%x\n", b, g_tgx.adapterCount);
    tgx_ct_start(ctx);
    return true;
}

} // namespace

uint32_t LibtgxReturnBrdInfo(PlatHandle h, uint32_t board) {
    TraceLog("LibtgxReturnBrdInfo: board=%x\n", board);
    AdapterEntry* e = tgx_entry(board);
    if (!e) return kStsFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT);
    if (!env) return kStsNoMemory;
    TraceLog("IOCTL_ZT4100_RETURN_INFO: opCode=%x size=%x\n", TGX_IOCTL_RETURN_INFO,
             TGX_SIZE_RETURN_INFO);
    if (!tgx_env_send(h, env)) {
        TraceLog("IOCTL_ZT4100_RETURN_INFO: DeviceIoControl failed. GetLastError = 0x%08X\n",
                 plat_last_error());
        return kStsFailed;
    }
    // A refused request carries no board data: taking its payload would keep a
    // board with vendor and device 0.
    uint32_t rc = tgx_env_rc(env);
    if (rc != 0) {
        TraceLog("IOCTL_ZT4100_RETURN_INFO: ReturnCode=%x\n", rc);
        return kStsFailed;
    }
    const uint8_t* pl = env.payload();
    BrdInfo& bi = e->brdInfo;
    bi.slimBase = tgx_rd32(pl + TGX_RI_SLIMBASE);
    bi.word20 = tgx_rd32(pl + TGX_RI_WORD456);
    bi.pciIds = tgx_rd32(pl + TGX_RI_PCICFG);
    bi.w12 = 0xFFFFFFFFu;
    bi.w24 = 0xFFFFFFFFu;
    bi.busid = tgx_rd32(pl + TGX_RI_BUSID);
    uint32_t devFunc = tgx_rd32(pl + TGX_RI_DEVFUNC);
    bi.dev_id = devFunc & 0x1F;
    bi.pciFunc = (uint8_t)((devFunc >> 5) & 0x7);
    bi.w44 = kBrdInfoWord44;
    bi.w48 = kBrdInfoWord48;
    memcpy(e->generalInfo, pl + TGX_RI_GENINFO, sizeof e->generalInfo);
    memcpy(e->pciConfig, pl + TGX_RI_PCICFG, sizeof e->pciConfig);
    e->returnInfoWord = tgx_rd32(pl + TGX_RI_RETURNINFO);
    const uint8_t* cfg = e->pciConfig;
    TraceLog("IO_RETURN_INFO: pciConfig 0x%08X, 0x%08X, 0x%08X, 0x%08X, 0x%08X, 0x%08X, "
             "systemIoBus(busid)=0x%08X, pciSlot(dev_id)=0x%08X, pciFunc=0x%08X,\n",
             tgx_rd32(cfg + 16), tgx_rd32(cfg + 20), tgx_rd32(cfg + 24), tgx_rd32(cfg + 28),
             tgx_rd32(cfg + 32), tgx_rd32(cfg + 36), bi.busid, bi.dev_id, (uint32_t)bi.pciFunc);
    return kStsOk;
}

bool InitHBAResources(AdapterEntry* pAdapterArray) {
    if (!pAdapterArray) {
        TraceLog("InitHBAResources: pAdapterArray ptr is NULL\n");
        return false;
    }
    for (uint32_t i = 0; i < g_tgx.adapterCount && i < TGX_MAX_BOARDS; ++i) {
        if (pAdapterArray[i].handle) {
            TraceLog("InitHBAResources: Port file handle already open at index %d.\n", (int)i);
            return true;
        }
    }
    g_tgx.adapterCount = 0;
    g_resourcesReleased = false;

    for (int n = 0; n < TGX_MAX_BOARDS; ++n) {
        g_tgx.sdState[n] = 0;
        char scsiPath[32];
        snprintf(scsiPath, sizeof scsiPath, kScsiPathFmt, n);
        PlatHandle h = plat_dev_open(scsiPath);
        if (!h) continue;

        uint32_t b = g_tgx.adapterCount++;
        AdapterEntry* e = &pAdapterArray[b];
        reset_entry(e);
        e->handle = h;
        e->brdInfo.scsiPort = (uint16_t)n;
        LockRecordInit(&e->lock);
        if (b >= g_tgx.lockedBoards) g_tgx.lockedBoards = b + 1;
        e->drvInfo.version = kDiscoveryDrvInfoVersion;
        e->drvInfo.interfaceWord &= ~kIfTypeMask;
        validate_board(b, n, h, scsiPath);
    }

    g_sdRegCnt = 0;
    g_sdFabricRegCnt = 0;
    g_sdScsiRegCnt = 0;
    g_sdBoardRegCnt = 0;
    LockRecordInit(&g_sdEventQueueLock);
    LockRecordInit(&g_sdRscnLock);
    for (LockRecord& l : g_sdRegLocks)
        LockRecordInit(&l);
    return true;
}

void ReleaseHBAResources() {
    if (!g_tgx.pAdapterArray || g_resourcesReleased) {
        if (!g_resourcesReleased)
            TraceLog("ReleaseHBAResources: *** closeFlag should be set ***\n");
        TraceLog("ReleaseHBAResources: Resources are already released\n");
        return;
    }
    g_resourcesReleased = true;

    // Threads of the CT service and of event registrations use the boards'
    // handles: they end before any handle closes.
    tgx_ct_shutdown_all();
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b)
        tgx_events_release_board(b);
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b) {
        AdapterEntry* e = &g_tgx.pAdapterArray[b];
        if (e->handle) {
            TraceLog("ReleaseHBAResources: FileHandle=%x\n", (uint32_t)(uintptr_t)e->handle);
            plat_dev_close(e->handle);
            e->handle = nullptr;
        }
        if (g_tgx.sdRegLists[b]) {
            TraceLog("ReleaseHBAResources: adapter=%x pSdRegEvt=%x\n", b,
                     (uint32_t)(uintptr_t)g_tgx.sdRegLists[b]);
            tgx_sd_free_list(b);
            g_tgx.sdRegLists[b] = nullptr;
        }
    }
    // Discovery initialised the registration lock of every board number, so
    // every one is deleted, not only those below the count.
    for (LockRecord& l : g_sdRegLocks)
        LockRecordDelete(&l);
    LockRecordDelete(&g_sdEventQueueLock);
    LockRecordDelete(&g_sdRscnLock);
}

void LibTgxClose() {
    TraceLog("LibTgxClose\n");
    ReleaseHBAResources();
}
