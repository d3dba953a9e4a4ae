// Query requests of the simulated driver: control registers, the SLIM window,
// VPD port identification, the QoS link speed and trunking information.
#include <cstring>

#include "interfaces/tgx_driver_records.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

const uint32_t kRcRefused = 1;        // request words rejected
const uint32_t kRcUnsupported = 2;    // the function has no such facility
const uint32_t kCtlRegSpace = 0x1000; // register offsets below this, word aligned
const char kCtlRegBlob[] = "ctl_regs";
const char kSlimBlob[] = "slim";

// Word at off of a blob that reads as zeros where it was never written.
uint32_t blob_word(const Function& f, const char* name, uint32_t off) {
    auto it = f.blobs.find(name);
    if (it == f.blobs.end() || it->second.size() < off + 4) return 0;
    return drv_rd32(it->second.data() + off);
}

// Fleet byte strings are hex digits, two per byte; exactly n bytes expected.
bool hex_bytes(const std::string& text, uint8_t* out, size_t n) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() != 2 * n) return false;
    for (size_t i = 0; i < n; ++i) {
        int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = (uint8_t)(hi * 16 + lo);
    }
    return true;
}

Bytes& blob_sized(Function& f, const char* name, size_t size) {
    Bytes& b = f.blobs[name];
    if (b.size() < size) b.resize(size, 0);
    return b;
}

} // namespace

// 0x80000137: p0 = 1, p1 0 read / 1 write, p2 = 1, p4 register, p8 = 4,
// p12 value. Register 8 carries the ready bit (23) while the function is ready.
uint32_t req_rw_ctlreg(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t reg = drv_rd32(p + TGX_CR_OFF_REG);
    const bool write = p[TGX_CR_OFF_WRITE] == 1;
    if (p[TGX_CR_OFF_ONE] != 1 || p[TGX_CR_OFF_ONE2] != 1 || p[TGX_CR_OFF_WRITE] > 1 ||
        drv_rd32(p + TGX_CR_OFF_BYTES) != 4 || reg >= kCtlRegSpace || reg % 4 != 0) {
        r.returnCode = kRcRefused;
        return 0;
    }
    bool ok;
    if (write) {
        const uint32_t v = drv_rd32(p + TGX_CR_OFF_VALUE);
        ok = drv_update_function(r, [&](Adapter&, Function& f) {
            if (blob_word(f, kCtlRegBlob, reg) == v && f.blobs.count(kCtlRegBlob)) return false;
            drv_wr32(blob_sized(f, kCtlRegBlob, kCtlRegSpace).data() + reg, v);
            return true;
        });
    } else {
        ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
            uint32_t v = blob_word(f, kCtlRegBlob, reg);
            if (reg == TGX_CTLREG_READY_REG) {
                v &= ~TGX_CTLREG_READY_BIT;
                if (f.attrs.get("ctl_ready") == "1") v |= TGX_CTLREG_READY_BIT;
            }
            drv_wr32(p + TGX_CR_OFF_VALUE, v);
        });
    }
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

// Words of a SLIM access that lie in the window. The smallest access is two
// words (a one-word access travels as two), so at the window's last word the
// second, implied word is left out instead of refusing the access.
static uint32_t slim_words_in_window(uint64_t off, uint32_t words) {
    const uint64_t lastWord = TGX_SLIM_MAX_BYTES - 4;
    return words == 2 && off == lastWord ? 1 : words;
}

// 0x8000010A / 0x8000010B: p0-4095 data, p4096 address (window base + offset),
// p4100 word count. Accesses outside the 4096-byte window are refused.
static uint32_t rw_slim(DrvRequest& r, bool write) {
    uint8_t* p = r.payload;
    const uint32_t addr = drv_rd32(p + TGX_SLIM_OFF_ADDR);
    const uint32_t sent = drv_rd32(p + TGX_SLIM_OFF_WORDS);
    uint64_t base = 0;
    if (!drv_read_function(
            r, [&](const Adapter&, const Function& f) { base = f.attrs.get_u("slim_base"); }))
        return PLAT_ERR_GEN_FAILURE;
    const uint64_t off = (uint64_t)addr - base;
    const uint32_t words = slim_words_in_window(off, sent);
    if (addr < base || words == 0 || words > TGX_SLIM_MAX_BYTES / 4 || off % 4 != 0 ||
        off + 4ull * words > TGX_SLIM_MAX_BYTES) {
        r.returnCode = kRcRefused;
        return 0;
    }
    const uint32_t bytes = 4 * words;
    if (!write && words < sent) memset(p + TGX_SLIM_OFF_DATA + bytes, 0, 4ull * (sent - words));
    bool ok;
    if (write) {
        ok = drv_update_function(r, [&](Adapter&, Function& f) {
            Bytes& b = blob_sized(f, kSlimBlob, TGX_SLIM_MAX_BYTES);
            if (memcmp(b.data() + off, p + TGX_SLIM_OFF_DATA, bytes) == 0) return false;
            memcpy(b.data() + off, p + TGX_SLIM_OFF_DATA, bytes);
            return true;
        });
    } else {
        ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
            for (uint32_t i = 0; i < bytes; i += 4)
                drv_wr32(p + TGX_SLIM_OFF_DATA + i, blob_word(f, kSlimBlob, (uint32_t)off + i));
        });
    }
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

uint32_t req_read_slim(DrvRequest& r) {
    return rw_slim(r, false);
}
uint32_t req_write_slim(DrvRequest& r) {
    return rw_slim(r, true);
}

// 0x80000136: p0 = 1; the 20 port identification bytes at p596, the first
// being the port number as an ASCII digit (or the fleet's "vpd_port_id").
uint32_t req_get_vpd(DrvRequest& r) {
    uint8_t* p = r.payload;
    if (drv_rd32(p) != 1) {
        r.returnCode = kRcRefused;
        return 0;
    }
    bool ok = drv_read_function(r, [&](const Adapter&, const Function& f) {
        uint8_t id[TGX_VPD_PORTID_LEN] = {};
        if (!hex_bytes(f.attrs.get("vpd_port_id"), id, sizeof id)) {
            memset(id, 0, sizeof id);
            id[0] = (uint8_t)('0' + f.attrs.get_u("port") % 10);
        }
        memcpy(p + TGX_VPD_OFF_PORTID, id, sizeof id);
    });
    if (!ok) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

// 0x80000144: the QoS link speed as u16 at p2, for FCoE-capable functions.
uint32_t req_get_linkinfo(DrvRequest& r) {
    uint8_t* p = r.payload;
    uint64_t features = 0, speed = 0;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            features = f.attrs.get_u("feature_list");
            speed = f.attrs.get_u("qos_speed");
        }))
        return PLAT_ERR_GEN_FAILURE;
    if (!(features & TGX_FEATURE_FCOE)) {
        r.returnCode = kRcUnsupported;
        return 0;
    }
    p[TGX_LINKINFO_OFF_SPEED] = (uint8_t)speed;
    p[TGX_LINKINFO_OFF_SPEED + 1] = (uint8_t)(speed >> 8);
    r.returnCode = 0;
    return 0;
}

// 0x80000150: 8 bytes of trunking information at p0 ("trunk_info"); a
// function without trunking answers 2.
uint32_t req_trunk_info(DrvRequest& r) {
    uint8_t* p = r.payload;
    bool have = false;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            std::string t = f.attrs.get("trunk_info");
            have = !t.empty() && hex_bytes(t, p, 8);
        }))
        return PLAT_ERR_GEN_FAILURE;
    r.returnCode = have ? 0 : kRcUnsupported;
    return 0;
}

} // namespace hbasim
