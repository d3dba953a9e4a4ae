// VPD check and builder; the layout is the PCI VPD resource format: large
// resources with a tag byte and a 16-bit little-endian length, keywords of
// two characters, a length byte and the data, and RV whose first data byte
// makes the sum of every byte up to it zero.
#include "backends/sysfs/fcsys_vpd.h"

#include <cstring>

namespace {

const size_t kResourceHeader = 3;
const size_t kKeywordHeader = 3;

struct Writer {
    uint8_t* out;
    size_t size;
    size_t used;
    bool ok;

    void byte(uint8_t b) {
        if (used >= size) {
            ok = false;
            return;
        }
        out[used++] = b;
    }
    void bytes(const void* p, size_t n) {
        for (size_t k = 0; k < n; ++k)
            byte(static_cast<const uint8_t*>(p)[k]);
    }
    void resource(uint8_t tag, size_t length) {
        byte(tag);
        byte(static_cast<uint8_t>(length & 0xFF));
        byte(static_cast<uint8_t>(length >> 8));
    }
};

size_t value_length(const char* text) {
    return text ? strnlen(text, FCSYS_VPD_VALUE_MAX) : 0;
}

void keyword(Writer& w, const char* key, const char* value) {
    size_t n = value_length(value);
    if (n == 0) return;
    w.bytes(key, 2);
    w.byte(static_cast<uint8_t>(n));
    w.bytes(value, n);
}

} // namespace

bool fcsys_vpd_plausible(const uint8_t* data, size_t size) {
    if (data == nullptr || size < kResourceHeader || data[0] != FCSYS_VPD_TAG_ID) return false;
    size_t idLength = static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8;
    size_t next = kResourceHeader + idLength;
    return next + kResourceHeader <= size && data[next] == FCSYS_VPD_TAG_READ_ONLY;
}

size_t fcsys_vpd_build(const char* idText, const char* serial, const char* model, uint8_t* out,
                       size_t size) {
    size_t idLength = value_length(idText);
    size_t sn = value_length(serial);
    size_t v2 = value_length(model);
    if (out == nullptr || (idLength == 0 && sn == 0 && v2 == 0)) return 0;
    size_t readOnly = (sn ? kKeywordHeader + sn : 0) + (v2 ? kKeywordHeader + v2 : 0) +
                      kKeywordHeader + 1; // RV with its checksum byte
    Writer w = {out, size, 0, true};
    w.resource(FCSYS_VPD_TAG_ID, idLength);
    w.bytes(idText, idLength);
    w.resource(FCSYS_VPD_TAG_READ_ONLY, readOnly);
    keyword(w, "SN", serial);
    keyword(w, "V2", model);
    w.bytes("RV", 2);
    w.byte(1);
    if (!w.ok) return 0;
    uint8_t sum = 0;
    for (size_t k = 0; k < w.used; ++k)
        sum = static_cast<uint8_t>(sum + out[k]);
    w.byte(static_cast<uint8_t>(0x100 - sum));
    w.byte(FCSYS_VPD_TAG_END);
    return w.ok ? w.used : 0;
}
