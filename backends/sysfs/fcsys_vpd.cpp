// VPD check and builder; the layout is the PCI VPD resource format: large
// resources with a tag byte and a 16-bit little-endian length, keywords of
// two characters, a length byte and the data, and RV whose first data byte
// makes the sum of every byte up to it zero.
#include "backends/sysfs/fcsys_vpd.h"

#include <cstring>
#include <vector>

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

namespace {

// The read-only keywords of a plausible VPD: [start, end) of the resource,
// and where the whole keywords before RV (or a zero key) end.
struct ReadOnlyArea {
    size_t idLength;
    size_t start;
    size_t end;
    size_t keywordsEnd;
};

ReadOnlyArea read_only_area(const uint8_t* vpd, size_t n) {
    ReadOnlyArea a = {};
    a.idLength = static_cast<size_t>(vpd[1]) | static_cast<size_t>(vpd[2]) << 8;
    size_t readOnly = kResourceHeader + a.idLength;
    a.start = readOnly + kResourceHeader;
    size_t declared =
        static_cast<size_t>(vpd[readOnly + 1]) | static_cast<size_t>(vpd[readOnly + 2]) << 8;
    a.end = a.start + declared < n ? a.start + declared : n;
    size_t pos = a.start;
    while (pos + kKeywordHeader <= a.end && vpd[pos] != 0) {
        size_t next = pos + kKeywordHeader + vpd[pos + 2];
        if ((vpd[pos] == 'R' && vpd[pos + 1] == 'V') || next > a.end) break;
        pos = next;
    }
    a.keywordsEnd = pos;
    return a;
}

bool key_is(const uint8_t* key, const char* name) {
    return key[0] == static_cast<uint8_t>(name[0]) && key[1] == static_cast<uint8_t>(name[1]);
}

void copy_value(const uint8_t* data, size_t n, char* out) {
    // Values are text; a NUL or control byte ends nothing but reads as a blank.
    size_t k = 0;
    for (; k < n && k < FCSYS_VPD_VALUE_MAX; ++k)
        out[k] = data[k] < 0x20 || data[k] == 0x7F ? ' ' : static_cast<char>(data[k]);
    while (k > 0 && out[k - 1] == ' ')
        --k;
    out[k] = '\0';
}

// Whether word appears in text as a whole blank-separated word.
bool has_word(const char* text, const char* word) {
    size_t n = strlen(word);
    if (n == 0) return false;
    for (const char* p = text; (p = strstr(p, word)) != nullptr; ++p) {
        bool startOk = p == text || p[-1] == ' ';
        bool endOk = p[n] == '\0' || p[n] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

void copy_bounded(char* out, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

size_t fcsys_vpd_complete(const uint8_t* vpd, size_t n, const char* serial, const char* model,
                          uint8_t* out, size_t size) {
    if (!fcsys_vpd_plausible(vpd, n) || out == nullptr) return 0;
    const ReadOnlyArea a = read_only_area(vpd, n);
    const size_t modelLength = value_length(model);
    bool hasSerial = false, v2AsWanted = true, hasV2 = false;
    // The kept keywords: every one but V2 (which is written anew).
    std::vector<uint8_t> kept(a.keywordsEnd - a.start);
    size_t keptLength = 0;
    for (size_t pos = a.start; pos < a.keywordsEnd; pos += kKeywordHeader + vpd[pos + 2]) {
        const uint8_t* key = vpd + pos;
        size_t length = key[2];
        hasSerial = hasSerial || key_is(key, "SN");
        if (key_is(key, "V2")) {
            hasV2 = true;
            v2AsWanted = v2AsWanted && length == modelLength && memcmp(key + 3, model, length) == 0;
            continue;
        }
        memcpy(kept.data() + keptLength, key, kKeywordHeader + length);
        keptLength += kKeywordHeader + length;
    }
    const char* addSerial = hasSerial ? "" : serial;
    bool v2Unchanged = hasV2 ? v2AsWanted : modelLength == 0;
    if (value_length(addSerial) == 0 && v2Unchanged) {
        if (n > size) return 0;
        memcpy(out, vpd, n);
        return n;
    }
    return write_vpd(vpd + kResourceHeader, a.idLength, kept.data(), keptLength, addSerial, model,
                     out, size);
}

bool fcsys_vpd_identity(const uint8_t* vpd, size_t n, FcsysVpdIdentity* out) {
    memset(out, 0, sizeof *out);
    if (!fcsys_vpd_plausible(vpd, n)) return false;
    const ReadOnlyArea a = read_only_area(vpd, n);
    copy_value(vpd + kResourceHeader, a.idLength, out->id);
    for (size_t pos = a.start; pos < a.keywordsEnd; pos += kKeywordHeader + vpd[pos + 2]) {
        const uint8_t* key = vpd + pos;
        char* field = key_is(key, "PN")   ? out->partNumber
                      : key_is(key, "SN") ? out->serial
                      : key_is(key, "V2") ? out->v2
                                          : nullptr;
        if (field && field[0] == '\0') copy_value(key + kKeywordHeader, key[2], field);
    }
    return true;
}

void fcsys_resolve_identity(const char* hostModel, const char* hostSerial,
                            const FcsysVpdIdentity* vpd, char* model, size_t modelSize,
                            char* serial, size_t serialSize) {
    static const FcsysVpdIdentity kNone = {};
    const FcsysVpdIdentity& v = vpd ? *vpd : kNone;
    bool v2IsModel = v.v2[0] != '\0' && (strcmp(v.v2, v.partNumber) == 0 || has_word(v.id, v.v2));
    const char* m = hostModel[0]      ? hostModel
                    : v2IsModel       ? v.v2
                    : v.partNumber[0] ? v.partNumber
                                      : v.id;
    copy_bounded(model, modelSize, m);
    copy_bounded(serial, serialSize, hostSerial[0] ? hostSerial : v.serial);
}
