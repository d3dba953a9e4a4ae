// Driver type, link state, persistent link down and the local loopback step.
#include "hbaset/fcmaint/port_state.h"

#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/message.h"
#include "libtgx/libtgx.h"
#include "platform/plat_time.h"

namespace {

constexpr uint8_t kDrvInfoVersion = 4;
constexpr uint32_t kLoopbackWait = 15;
constexpr uint32_t kLoopbackSettleMs = 500;
constexpr uint32_t kResetType = 1;
constexpr uint32_t kLinkStateMin = 1;
constexpr uint32_t kLinkStateMax = 7;

constexpr uint32_t kStatusUnableToEnable = 91;
constexpr uint32_t kStatusLinkDownFeature = 109;
constexpr uint32_t kStatusLoopbackFailed = 200;

// Driver sub-type -> refined driver type.
struct SubTypeRow {
    uint8_t subType;
    uint32_t driverType;
};
const SubTypeRow kSubTypes[] = {{1, 10}, {2, 12}, {3, 11}};

// Driver information of the agreed version; the record is cleared first so
// fields the driver's version does not cover read as zero.
uint32_t getDrvInfo(int adapter, DrvInfo* info) {
    memset(info, 0, sizeof *info);
    info->version = kDrvInfoVersion;
    return TGX_GetDrvInfo(static_cast<uint32_t>(adapter), info);
}

uint32_t featureList(const DrvInfo& info) {
    return info.version >= kDrvInfoVersion ? info.featureList : 0;
}

} // namespace

uint32_t GetDriverType(int adapter, uint32_t* type) {
    int32_t kind = static_cast<int32_t>(QrlTgxQueryDriverType(static_cast<uint32_t>(adapter)));
    if (kind < 0) {
        emitText("GetDriverType: Invalid type = %d\n", kind);
        return 1;
    }
    uint32_t result = static_cast<uint32_t>(kind);
    if (result == DRIVER_TYPE_REFINABLE) {
        DrvInfo info;
        if (getDrvInfo(adapter, &info) == 0) {
            for (const SubTypeRow& r : kSubTypes)
                if (r.subType == info.drvType) result = r.driverType;
        }
    }
    *type = result;
    emitText("GetDriverType: DriverType=%08lX\n", static_cast<unsigned long>(result));
    return 0;
}

uint32_t CLU_GetLinkInfo(int adapter, uint32_t* state) {
    traceStep("\n[CLU_GetLinkInfo]\n");
    TGX_LINK_INFO info;
    memset(&info, 0, sizeof info);
    uint32_t st = TGX_GetLinkInfo(static_cast<uint32_t>(adapter), &info);
    traceStep("\n[CLU_GetLinkInfo] - tgxStatus = %d, linkInfo.a_linkState = %d\n",
              static_cast<int>(st), info.a_linkState);
    if (st != 0) return 1;
    *state = info.a_linkState;
    return 0;
}

uint32_t CLU_GetPersistLinkDownCfg(int adapter, uint32_t* configured) {
    uint16_t flag = 0;
    uint32_t st = TGX_GetPersistLinkDown(static_cast<uint32_t>(adapter), &flag);
    traceStep("[CLU_GetPersistLinkDownCfg] - tgxStatus = %d, linkDown = %d\n", static_cast<int>(st),
              flag);
    switch (st) {
    case 0:
        *configured = flag != 0 ? 1 : 0;
        return 0;
    case 2:
    case 3:
        return st;
    case 4:
        return kStatusLinkDownFeature;
    default:
        return 1;
    }
}

uint32_t CLU_EnableAdapterPort(int adapter) {
    uint32_t board = static_cast<uint32_t>(adapter);
    traceStep("\n[CLU_EnableAdapterPort]\n");
    uint32_t configured = 0;
    if (CLU_GetPersistLinkDownCfg(adapter, &configured) != 0) {
        traceStep("\n[CLU_EnableAdapterPort] - Unable to Retrieve Persistent LinkDown "
                  "configuration\n");
        return kStatusUnableToEnable;
    }
    uint32_t state = 0;
    if (CLU_GetLinkInfo(adapter, &state) != 0) {
        traceStep("\n[CLU_EnableAdapterPort] - Unable to Retrieve current Link state\n");
        return kStatusUnableToEnable;
    }
    if (state < kLinkStateMin || state > kLinkStateMax) {
        traceStep("\n[CLU_EnableAdapterPort] - Unknown link state\n");
        return kStatusUnableToEnable;
    }
    if (!configured) {
        traceStep("\n[CLU_EnableAdapterPort] - Adapter port is already enabled. persistLinkDown "
                  "%d\n",
                  static_cast<int>(configured));
        return 0;
    }
    if (state == TGX_LNK_DOWN_PERSIST) {
        traceStep("\n[CLU_EnableAdapterPort] - Persistent LinkDown feature is enabled\n");
        emitText("CLU_EnableAdapterPort: Persistent LinkDown feature is enabled\n");
    } else {
        traceStep("\n[CLU_EnableAdapterPort] - Persistent LinkDown feature is configured, but not "
                  "yet enabled\n");
        uint32_t st = TGX_ResetAdapter(board, kResetType);
        if (st != 0) {
            traceStep("\n[CLU_EnableAdapterPort] - Adapter reset failed %d\n",
                      static_cast<int>(st));
            emitText("CLU_EnableAdapterPort: Adapter reset failed %d\n", static_cast<int>(st));
        }
    }
    DrvInfo info;
    uint32_t st = getDrvInfo(adapter, &info);
    if (st != 0) {
        traceStep("\n[CLU_EnableAdapterPort] - TGX_GetDrvInfo error tgxStatus %d\n",
                  static_cast<int>(st));
        return kStatusUnableToEnable;
    }
    if ((featureList(info) & TGX_FEATURE_PERSIST_LINKDOWN) == 0) {
        traceStep("\n[CLU_EnableAdapterPort] - Feature not supported status %d\n",
                  static_cast<int>(st));
        emitText("CLU_EnableAdapterPort: Feature not supported status %d\n", static_cast<int>(st));
        return kStatusUnableToEnable;
    }
    st = TGX_SetPersistLinkDown(board, 0);
    switch (st) {
    case 0: {
        uint32_t rs = TGX_ResetAdapter(board, kResetType);
        if (rs != 0) {
            traceStep("\n[CLU_EnableAdapterPort] - Adapter reset failed tgxStatus %d\n",
                      static_cast<int>(rs));
            return 1;
        }
        return 0;
    }
    case 2:
    case 3:
        return st;
    case 4:
        return kStatusLinkDownFeature;
    default:
        return 12;
    }
}

uint32_t setLocalLoopbackIfLinkDown(int adapter, bool* loopbackSet) {
    uint32_t board = static_cast<uint32_t>(adapter);
    TGX_LINK_INFO info;
    memset(&info, 0, sizeof info);
    if (TGX_GetLinkInfo(board, &info) != 0) {
        emitText("Unable to get the Link State\n");
        return kStatusLoopbackFailed;
    }
    if (info.a_linkState == TGX_LNK_DOWN) {
        emitText("The Link State is LNK_DOWN.\n");
    } else if (info.a_linkState == TGX_LNK_DOWN_PERSIST) {
        emitText("The Link State is LNK_DOWN_PERSIST.\n");
    } else {
        emitText("Link State is not in the state LNK_DOWN or LNK_DOWN_PERSIST\n");
        return 0;
    }
    emitText("Attempting to set board to local loopback mode\n");
    if (TGX_ConfigLoopback(board, TGX_LOOPBACK_INTERNAL, kLoopbackWait) != 0) {
        emitText("Setting board to local loopback mode failed\n");
        return kStatusLoopbackFailed;
    }
    emitText("Setting board to local loopback mode succeeded\n");
    if (loopbackSet) *loopbackSet = true;
    plat_sleep_ms(kLoopbackSettleMs);
    return 0;
}
