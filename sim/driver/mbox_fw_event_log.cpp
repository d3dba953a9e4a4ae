// The non-volatile event log of hbaset's readNVlog: MBX_READ_EVENT_LOG_STATUS
// (0x37) answers the log size in word 2 (fleet key "event_log_size"); the
// read (0x3A, word 1 = 0x47 << 24 | count << 16 | offset in bits 0-11)
// returns count bytes (at most 120) from offset in words 2 on, and is
// refused (status 1) unless the firmware was restarted by MBX_RESTART since
// the last adapter reset. The log is byte i = i % 251, the same in every
// process; bytes past its end read as zero.
//
// Journal names: "NV_LOG_STATUS" and "NV_LOG_READ" (with off= and len=).
#include <cstdio>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint32_t kReadTag = 0x47;
constexpr uint32_t kMaxPiece = 120;
constexpr uint32_t kOffsetMask = 0xFFF;

} // namespace

bool mbx_nv_log_status(Adapter&, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "NV_LOG_STATUS", "")) return false;
    c.mb[2] = (uint32_t)f.attrs.get_u("event_log_size");
    return false;
}

bool mbx_nv_log_read(Adapter&, Function& f, MboxCall& c) {
    const uint32_t offset = c.mb[1] & kOffsetMask;
    const uint32_t count = (c.mb[1] >> 16) & 0xFF;
    char detail[48];
    snprintf(detail, sizeof detail, "off=%u len=%u", offset, count);
    if (fw_begin(f, c, "NV_LOG_READ", detail)) return false;
    if ((c.mb[1] >> 24) != kReadTag || count > kMaxPiece || f.attrs.get("event_log_open") != "1") {
        mbox_set_status(c, MBXS_ERROR);
        return false;
    }
    const uint64_t size = f.attrs.get_u("event_log_size");
    uint8_t* out = fw_bytes(c) + 8;
    memset(out, 0, kMaxPiece);
    for (uint32_t i = 0; i < count && offset + i < size; ++i)
        out[i] = (uint8_t)((offset + i) % 251);
    return false;
}

} // namespace hbasim
