// Attribute maps and the facts every view derives from the model.
#include <cstdio>
#include <cstring>

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

std::string Attrs::get(const std::string& k, const std::string& def) const {
    auto it = kv.find(k);
    return it == kv.end() ? def : it->second;
}

uint64_t Attrs::get_u(const std::string& k, uint64_t def) const {
    auto it = kv.find(k);
    if (it == kv.end()) return def;
    uint64_t v = 0;
    return parse_number(it->second, &v) ? v : def;
}

void Attrs::set_u(const std::string& k, uint64_t v, bool hex) {
    char buf[32];
    if (hex)
        snprintf(buf, sizeof buf, "0x%llX", (unsigned long long)v);
    else
        snprintf(buf, sizeof buf, "%llu", (unsigned long long)v);
    kv[k] = buf;
}

bool parse_number(const std::string& s, uint64_t* out) {
    if (s.empty()) return false;
    uint64_t v = 0;
    size_t i = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        i = 2;
        for (; i < s.size(); ++i) {
            int d = hex_digit(s[i]);
            if (d < 0 || (v >> 60) != 0) return false;
            v = (v << 4) | (uint64_t)d;
        }
    } else {
        for (; i < s.size(); ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            uint64_t d = (uint64_t)(s[i] - '0');
            if (v > (UINT64_MAX - d) / 10) return false;
            v = v * 10 + d;
        }
    }
    *out = v;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_hex_bytes(const std::string& text, uint8_t* out, size_t n) {
    // n pairs of hex digits separated by ':' (or '-' for MAC addresses).
    if (text.size() != n * 3 - 1) return false;
    char sep = n == 6 && text.size() > 2 ? text[2] : ':';
    if (sep != ':' && sep != '-') return false;
    for (size_t i = 0; i < n; ++i) {
        int hi = hex_digit(text[i * 3]);
        int lo = hex_digit(text[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i + 1 < n && text[i * 3 + 2] != sep) return false;
        out[i] = (uint8_t)(hi * 16 + lo);
    }
    return true;
}

std::string format_hex_bytes(const uint8_t* b, size_t n, char sep) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(buf, sizeof buf, "%02X", b[i]);
        if (i) s += sep;
        s += buf;
    }
    return s;
}

bool func_driver_visible(const Function& f) {
    return f.kind == "fc" || f.kind == "fcoe";
}

int func_scsi_port(const Function& f) {
    if (!func_driver_visible(f)) return -1;
    return (int)f.attrs.get_u("scsi_port", (uint64_t)-1);
}

static void put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void func_pci_config(const Adapter& a, const Function& f, uint8_t out[256]) {
    auto it = f.blobs.find("pci_config");
    if (it != f.blobs.end() && it->second.size() == 256) {
        memcpy(out, it->second.data(), 256);
        return;
    }
    memset(out, 0, 256);
    put16(out + 0, (uint32_t)a.attrs.get_u("vendor_id"));
    put16(out + 2, (uint32_t)f.attrs.get_u("device_id"));
    put16(out + 4, 0x0146); // memory space, bus master, parity, SERR
    put16(out + 6, 0x0010); // capabilities list present
    out[8] = (uint8_t)f.attrs.get_u("revision");
    uint32_t cls = (uint32_t)f.attrs.get_u("class_code");
    out[9] = (uint8_t)cls;
    out[10] = (uint8_t)(cls >> 8);
    out[11] = (uint8_t)(cls >> 16);
    out[12] = 0x10;                             // cache line size
    out[14] = a.funcs.size() > 1 ? 0x80 : 0x00; // multi-function device
    // BAR0: 64-bit memory BAR, placed by bus and function.
    uint32_t bar = 0xF0000000u | ((uint32_t)(a.attrs.get_u("pci_bus") & 0xFF) << 20) |
                   ((uint32_t)(f.attrs.get_u("pci_function") & 7) << 16);
    out[16] = 0x04;
    out[17] = (uint8_t)(bar >> 8);
    out[18] = (uint8_t)(bar >> 16);
    out[19] = (uint8_t)(bar >> 24);
    put16(out + 44, (uint32_t)f.attrs.get_u("subsys_vendor_id"));
    put16(out + 46, (uint32_t)f.attrs.get_u("subsys_id"));
    out[52] = 0x40; // capabilities pointer
    out[60] = 0x0B; // interrupt line
    out[61] = 0x01; // interrupt pin A
    out[64] = 0x01; // power management capability, end of list
}

const Function* fcoe_function_on_port(const Adapter& a, int port) {
    for (const Function& f : a.funcs)
        if (f.kind == "fcoe" && (int)f.attrs.get_u("port", (uint64_t)-1) == port) return &f;
    return nullptr;
}

} // namespace hbasim
