// SD statistics requests of the simulated driver: the bucket layout of a
// function ("sd_bucket" = "base,step,search" once set), data collection
// ("sd_collect") and the per-target records ("sd_targets" targets, default 3).
// "sd_refuse" = N makes bucket set and destroy answer ReturnCode N, so tests
// can let one board of several refuse.
#include <cstdio>
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

const uint32_t kRcBadType = 5;
const uint32_t kRcBadAction = 6;
const uint32_t kRcBadSearch = 15;
const uint32_t kDefaultGranularity = 10;

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
uint16_t rd16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

bool parse_bucket(const std::string& text, uint32_t* base, uint32_t* step, uint32_t* search) {
    return sscanf(text.c_str(), "%u,%u,%u", base, step, search) == 3;
}

} // namespace

// 0x80000350: action 0 granularity, 1 set, 2 get, 3 destroy.
uint32_t req_sd_bucket(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint8_t action = p[TGX_SD_OFF_ACTION];
    uint32_t rc = 0;
    if (rd16(p + TGX_SD_OFF_TYPE) != 1) {
        r.returnCode = kRcBadType;
        return 0;
    }
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        const uint32_t refuse = (uint32_t)f.attrs.get_u("sd_refuse", 0);
        uint32_t base = 0, step = 0, search = 0;
        const bool set = parse_bucket(f.attrs.get("sd_bucket"), &base, &step, &search);
        switch (action) {
        case TGX_SD_BUCKET_GRANULARITY:
            drv_wr32(p + TGX_SD_OFF_BASE,
                     (uint32_t)f.attrs.get_u("sd_granularity", kDefaultGranularity));
            return false;
        case TGX_SD_BUCKET_SET: {
            const uint16_t s = rd16(p + TGX_SD_OFF_SEARCH);
            if (refuse) {
                rc = refuse;
                return false;
            }
            if (s != 1 && s != 2) {
                rc = kRcBadSearch;
                return false;
            }
            char text[48];
            snprintf(text, sizeof text, "%u,%u,%u", drv_rd32(p + TGX_SD_OFF_BASE),
                     drv_rd32(p + TGX_SD_OFF_STEP), s);
            f.attrs.set("sd_bucket", text);
            return true;
        }
        case TGX_SD_BUCKET_GET:
            if (!set) {
                rc = TGX_SD_RC_BUCKET_NOTSET;
                return false;
            }
            put16(p + TGX_SD_OFF_SEARCH, (uint16_t)search);
            drv_wr32(p + TGX_SD_OFF_BASE, base);
            drv_wr32(p + TGX_SD_OFF_STEP, step);
            for (uint32_t i = 0; i < TGX_SD_BUCKETS; ++i) {
                const uint64_t edge = (uint64_t)base + (uint64_t)step * i;
                drv_wr32(p + TGX_SD_OFF_BUCKETS + 8 * i, (uint32_t)edge);
                drv_wr32(p + TGX_SD_OFF_BUCKETS + 8 * i + 4, (uint32_t)(edge >> 32));
            }
            return false;
        case TGX_SD_BUCKET_DESTROY:
            if (refuse) {
                rc = refuse;
                return false;
            }
            f.attrs.erase("sd_bucket");
            return set;
        default:
            rc = kRcBadAction;
            return false;
        }
    });
    return drv_answer(r, ok, rc);
}

// 0x80000351 (VPI bits): action 0 start, 1 stop, 2 reset; starting without a
// bucket layout answers SD_ERROR_BUCKET_NOTSET.
uint32_t req_sd_data_collection(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint8_t action = p[TGX_SD_OFF_ACTION];
    if (rd16(p + TGX_SD_OFF_TYPE) != 1) {
        r.returnCode = kRcBadType;
        return 0;
    }
    uint32_t rc = 0;
    bool ok = drv_update_function(r, [&](Adapter&, Function& f) {
        switch (action) {
        case TGX_SD_COLLECT_START:
            if (!f.attrs.has("sd_bucket")) {
                rc = TGX_SD_RC_BUCKET_NOTSET;
                return false;
            }
            f.attrs.set("sd_collect", "1");
            return true;
        case TGX_SD_COLLECT_STOP:
            f.attrs.set("sd_collect", "0");
            return true;
        case TGX_SD_COLLECT_RESET:
            return false;
        default:
            rc = kRcBadAction;
            return false;
        }
    });
    return drv_answer(r, ok, rc);
}

// 0x80000352 (VPI bits): the target count at 4 and as many 88-byte records
// from 12 as the envelope holds; record t is filled with the byte t + 1.
uint32_t req_sd_get_data(DrvRequest& r) {
    uint8_t* p = r.payload;
    if (rd16(p + TGX_SD_OFF_TYPE) != 1) {
        r.returnCode = kRcBadType;
        return 0;
    }
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        const uint32_t targets = (uint32_t)f.attrs.get_u("sd_targets", 3);
        put16(p + TGX_SD_OFF_SEARCH, (uint16_t)targets);
        const uint32_t room = r.payloadSize - TGX_SD_OFF_DATA;
        for (uint32_t t = 0; t < targets; ++t) {
            const uint32_t at = t * TGX_SD_TARGET_BYTES;
            if (at >= room) break;
            const uint32_t n = room - at < TGX_SD_TARGET_BYTES ? room - at : TGX_SD_TARGET_BYTES;
            memset(p + TGX_SD_OFF_DATA + at, (int)(t + 1), n);
        }
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

} // namespace hbasim
