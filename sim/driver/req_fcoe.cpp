// The FCF list of an FCoE function: "fcf_count" FCFs (default 2, the first
// "fcf_active" of them in use, default 1), each with its fabric and switch
// names, MAC, VLAN, FC map, priority and flags derived from its index.
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

const uint8_t kListVersion = 1;
const uint32_t kRcNotFcoe = 2;

void put16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void fill_fcf(uint8_t* e, uint32_t i, bool active) {
    const uint8_t fabric[8] = {0x10, 0x00, 0x00, 0x05, 0x1E, 0x00, 0x00, (uint8_t)(i + 1)};
    const uint8_t sw[8] = {0x20, 0x00, 0x00, 0x05, 0x1E, 0x00, 0x01, (uint8_t)(i + 1)};
    const uint8_t mac[6] = {0x00, 0x05, 0x1E, 0x00, 0x02, (uint8_t)(i + 1)};
    memcpy(e, fabric, 8);
    memcpy(e + 8, sw, 8);
    memcpy(e + 16, mac, 6);
    put16(e + 22, (uint16_t)(100 + i)); // VLAN
    e[536] = 0x0E;
    e[537] = 0xFC;
    e[538] = 0x00;
    drv_wr32(e + 540, 128 + i); // priority
    drv_wr32(e + 548, active ? 1 : 0);
}

} // namespace

// 0x80000141: version at 0 and capacity at 4 in; count, active count and as
// many entries as the envelope holds out.
uint32_t req_get_fcflist(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint32_t rc = 0;
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        if (f.kind != "fcoe") {
            rc = kRcNotFcoe;
            return;
        }
        if (p[0] != kListVersion) {
            p[0] = kListVersion;
            rc = TGX_FCFLIST_RC_VERSION;
            return;
        }
        const uint32_t count = (uint32_t)f.attrs.get_u("fcf_count", 2);
        const uint32_t active = (uint32_t)f.attrs.get_u("fcf_active", 1);
        const uint32_t room = (r.payloadSize - TGX_FCFLIST_OFF_ENTRIES) / TGX_FCFLIST_ENTRY;
        put16(p + 4, (uint16_t)count);
        put16(p + 6, (uint16_t)(active < count ? active : count));
        for (uint32_t i = 0; i < count && i < room; ++i)
            fill_fcf(p + TGX_FCFLIST_OFF_ENTRIES + i * TGX_FCFLIST_ENTRY, i, i < active);
    });
    return drv_answer(r, ok, rc);
}

} // namespace hbasim
