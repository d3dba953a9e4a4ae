// NV parameters and names: MBX_READ_NV, MBX_WRITE_NV, MBX_WRITE_VPARMS and the
// factory address write MBX_WRITE_WWN. Region 0 holds the 20 bytes exactly as
// written (classic functions: host words; SLI-4 functions: wire order); the
// volatile names override them in the effective view until cleared or a reboot.
#include <cstdio>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint32_t kNvSize = 20;
constexpr uint32_t kNamesSize = 16;

std::string to_hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

bool from_hex(const std::string& s, uint8_t* out, size_t n) {
    if (s.size() != 2 * n) return false;
    for (size_t i = 0; i < n; ++i) {
        char pair[3] = {s[2 * i], s[2 * i + 1], 0};
        char* end = nullptr;
        out[i] = (uint8_t)strtoul(pair, &end, 16);
        if (end != pair + 2) return false;
    }
    return true;
}

std::string wwn_text(const uint8_t* w) {
    char b[24];
    snprintf(b, sizeof b, "%02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X", w[0], w[1], w[2], w[3], w[4],
             w[5], w[6], w[7]);
    return b;
}

// The names of a region 0 image in wire order.
void wire_names(const Function& f, const uint8_t* image, uint8_t out[kNamesSize]) {
    memcpy(out, image, kNamesSize);
    if (fw_is_sli4(f)) return;
    for (uint32_t i = 0; i < kNamesSize; i += 4) {
        std::swap(out[i], out[i + 3]);
        std::swap(out[i + 1], out[i + 2]);
    }
}

std::string word_detail(uint32_t w) {
    char b[32];
    snprintf(b, sizeof b, "sel=0x%08X", w);
    return b;
}

} // namespace

bool mbx_read_nv(Adapter& a, Function& f, MboxCall& c) {
    uint32_t selector = c.mb[1];
    if (fw_begin(f, c, "READ_NV", word_detail(selector))) return false;
    uint32_t st = fw_region_read_status(a, f, 0);
    if (st != 0) {
        mbox_set_status(c, st);
        return false;
    }
    Bytes nv;
    fw_region_data(a, f, 0, &nv);
    nv.resize(nv.size() < kNvSize ? kNvSize : nv.size(), 0);
    uint8_t image[kNvSize];
    memcpy(image, nv.data(), kNvSize);
    uint8_t vol[kNvSize];
    if (selector == READ_NV_EFFECTIVE && from_hex(f.attrs.get("volatile_nv"), vol, kNvSize))
        memcpy(image, vol, kNamesSize);
    memcpy(fw_bytes(c) + 20, image, kNvSize);
    return false;
}

bool mbx_write_nv(Adapter& a, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "WRITE_NV", "")) return false;
    RegionState state = fw_region_state(f, 0);
    if (state == REGION_INVALID || state == REGION_UNINIT) {
        mbox_set_status(c, state == REGION_INVALID ? MBXS_NO_ENTRY : MBXS_NOT_INITIALIZED);
        return false;
    }
    Bytes nv;
    if (!fw_region_data(a, f, 0, &nv)) nv.clear();
    if (nv.size() < kNvSize) nv.resize(kNvSize, 0);
    const uint8_t* image = fw_bytes(c) + 20;
    memcpy(nv.data(), image, kNvSize);
    fw_store_region(f, 0, nv);
    // The driver reports the names now stored. The factory address stays what
    // it was: it follows the port name only until the first change.
    if (!f.attrs.has("factory_wwn") && f.attrs.has("wwpn"))
        f.attrs.set("factory_wwn", f.attrs.get("wwpn"));
    uint8_t names[kNamesSize];
    wire_names(f, image, names);
    f.attrs.set("wwpn", wwn_text(names));
    f.attrs.set("wwnn", wwn_text(names + 8));
    return true;
}

bool mbx_write_vparms(Adapter&, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "WRITE_VPARMS", "")) return false;
    const uint8_t* image = fw_bytes(c) + 20;
    bool clear = true;
    for (uint32_t i = 0; i < kNvSize; ++i)
        if (image[i]) clear = false;
    if (clear) {
        if (!f.attrs.has("volatile_nv")) return false;
        f.attrs.erase("volatile_nv");
        return true;
    }
    f.attrs.set("volatile_nv", to_hex(image, kNvSize));
    return true;
}

bool mbx_write_wwn(Adapter&, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "WRITE_WWN", "")) return false;
    if (c.mb[1] != WRITE_WWN_ENABLE_CODE) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    // Classic functions keep the factory address as two little-endian host
    // words, SLI-4 functions in wire order.
    Bytes ieee(8);
    if (fw_is_sli4(f)) {
        fw_wr_be32(ieee.data(), c.mb[2]);
        fw_wr_be32(ieee.data() + 4, c.mb[3]);
    } else {
        fw_wr32(ieee.data(), c.mb[2]);
        fw_wr32(ieee.data() + 4, c.mb[3]);
    }
    fw_store_region(f, fw_ieee_region(f), ieee);
    return true;
}

} // namespace hbasim
