// Driver event requests of the simulated driver: dump events (0x8000012A) and
// temperature events (0x8000013A). Both are 36-byte envelopes with two payload
// words. The events come from "hbasim inject": "dump_pending" holds the reply
// word of the next dump poll and "temp_event" the type (1-3) of the next
// temperature reply; each is reported once, then cleared. Fleet keys
// "dump_events" and "temp_events" = no make the driver refuse either kind.
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

const char kAttrDumpPending[] = "dump_pending";
const char kAttrTempEvent[] = "temp_event";

namespace {

const uint32_t kDumpPoll = 0;
const uint32_t kDumpRegister = 1;
const uint32_t kDumpUnregister = 2;
const uint32_t kRcRefused = 1;
const uint32_t kRcBadAction = 2;
const uint32_t kTempNotSupported = 0xFFFFFFFFu;

} // namespace

// Payload word 0: 0 poll (reply: the pending word, then cleared), 1 register
// (ReturnCode 1 when dump events are refused), 2 unregister.
uint32_t req_dump_event(DrvRequest& r) {
    const uint32_t op = drv_rd32(r.payload);
    if (op == kDumpRegister || op == kDumpUnregister) {
        bool refused = false;
        if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
                refused = op == kDumpRegister && f.attrs.get("dump_events", "1") != "1";
            }))
            return PLAT_ERR_GEN_FAILURE;
        r.returnCode = refused ? kRcRefused : 0;
        return 0;
    }
    if (op != kDumpPoll) {
        r.returnCode = kRcBadAction;
        return 0;
    }
    uint32_t word = 0;
    // Only a poll that finds an event writes the state: idle polls stay reads.
    bool pending = false;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            pending = f.attrs.get_u(kAttrDumpPending, 0) != 0;
        }))
        return PLAT_ERR_GEN_FAILURE;
    if (pending && !drv_update_function(r, [&](Adapter&, Function& f) {
            word = (uint32_t)f.attrs.get_u(kAttrDumpPending, 0);
            f.attrs.erase(kAttrDumpPending);
            return word != 0;
        }))
        return PLAT_ERR_GEN_FAILURE;
    drv_wr32(r.payload, word);
    r.returnCode = 0;
    return 0;
}

// Reply word 0: 0xFFFFFFFF when not supported, else the pending event type
// (1-3, then cleared) or 0; word 1: the temperature.
uint32_t req_temperature_event(DrvRequest& r) {
    bool supported = true;
    uint32_t type = 0, temp = 0;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            supported = f.attrs.get("temp_events", "1") == "1";
            type = (uint32_t)f.attrs.get_u(kAttrTempEvent, 0);
            temp = (uint32_t)f.attrs.get_u("temperature", 0);
        }))
        return PLAT_ERR_GEN_FAILURE;
    if (supported && type != 0 && !drv_update_function(r, [&](Adapter&, Function& f) {
            type = (uint32_t)f.attrs.get_u(kAttrTempEvent, 0);
            f.attrs.erase(kAttrTempEvent);
            return type != 0;
        }))
        return PLAT_ERR_GEN_FAILURE;
    drv_wr32(r.payload, supported ? type : kTempNotSupported);
    drv_wr32(r.payload + 4, temp);
    r.returnCode = 0;
    return 0;
}

} // namespace hbasim
