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

// Writes the identifier string, the read-only resource (the given keyword
// bytes, then SN and V2 when not empty, then RV) and the end tag. Returns the
// bytes written, 0 when they do not fit.
size_t write_vpd(const uint8_t* id, size_t idLength, const uint8_t* keywords, size_t keywordsLength,
                 const char* serial, const char* model, uint8_t* out, size_t size) {
    size_t sn = value_length(serial);
    size_t v2 = value_length(model);
    size_t readOnly = keywordsLength + (sn ? kKeywordHeader + sn : 0) +
                      (v2 ? kKeywordHeader + v2 : 0) + kKeywordHeader + 1; // RV and its checksum
    if (out == nullptr || idLength > 0xFFFF || readOnly > 0xFFFF) return 0;
    Writer w = {out, size, 0, true};
    w.resource(FCSYS_VPD_TAG_ID, idLength);
    w.bytes(id, idLength);
    w.resource(FCSYS_VPD_TAG_READ_ONLY, readOnly);
    w.bytes(keywords, keywordsLength);
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
    if (idLength == 0 && value_length(serial) == 0 && value_length(model) == 0) return 0;
    return write_vpd(reinterpret_cast<const uint8_t*>(idText), idLength, nullptr, 0, serial, model,
                     out, size);
}

size_t fcsys_vpd_complete(const uint8_t* vpd, size_t n, const char* serial, const char* model,
                          uint8_t* out, size_t size) {
    if (!fcsys_vpd_plausible(vpd, n) || out == nullptr) return 0;
    size_t idLength = static_cast<size_t>(vpd[1]) | static_cast<size_t>(vpd[2]) << 8;
    size_t readOnly = kResourceHeader + idLength;
    size_t start = readOnly + kResourceHeader;
    size_t declared =
        static_cast<size_t>(vpd[readOnly + 1]) | static_cast<size_t>(vpd[readOnly + 2]) << 8;
    size_t end = start + declared < n ? start + declared : n;
    // The whole keywords before RV (or a zero key, where readers stop).
    bool hasSerial = false, hasModel = false;
    size_t pos = start;
    while (pos + kKeywordHeader <= end && vpd[pos] != 0) {
        const uint8_t* key = vpd + pos;
        size_t next = pos + kKeywordHeader + key[2];
        if ((key[0] == 'R' && key[1] == 'V') || next > end) break;
        hasSerial = hasSerial || (key[0] == 'S' && key[1] == 'N');
        hasModel = hasModel || (key[0] == 'V' && key[1] == '2');
        pos = next;
    }
    const char* addSerial = hasSerial ? "" : serial;
    const char* addModel = hasModel ? "" : model;
    if (value_length(addSerial) == 0 && value_length(addModel) == 0) {
        if (n > size) return 0;
        memcpy(out, vpd, n);
        return n;
    }
    return write_vpd(vpd + kResourceHeader, idLength, vpd + start, pos - start, addSerial, addModel,
                     out, size);
}
