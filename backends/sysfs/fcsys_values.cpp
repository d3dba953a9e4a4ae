// Parsers of the kernel's sysfs value texts. The name tables follow the
// transport class's own tables (fc_port_speed_names, fc_port_state_names,
// fc_port_type_names, fc_cos_names). How to add a row: append the kernel's
// name and its value to the table; the parsers need no change.
#include "backends/sysfs/fcsys_values.h"

#include <cstring>

namespace {

struct NamedValue {
    const char* name;
    uint32_t value;
};

const NamedValue kSpeeds[] = {
    {"1 Gbit", 0x1},      {"2 Gbit", 0x2},
    {"10 Gbit", 0x4},     {"4 Gbit", 0x8},
    {"8 Gbit", 0x10},     {"16 Gbit", 0x20},
    {"32 Gbit", 0x40},    {"20 Gbit", 0x80},
    {"40 Gbit", 0x100},   {"50 Gbit", 0x200},
    {"100 Gbit", 0x400},  {"25 Gbit", 0x800},
    {"64 Gbit", 0x1000},  {"128 Gbit", 0x2000},
    {"256 Gbit", 0x4000}, {"Not Negotiated", FCSYS_SPEED_NOT_NEGOTIATED},
};

// Blocked, Deleted and Marginal have no HBA API state of their own: a blocked
// or deleted port carries no traffic (offline), a marginal one still does.
const NamedValue kPortStates[] = {
    {"Unknown", FCSYS_PORTSTATE_UNKNOWN},
    {"NotPresent", FCSYS_PORTSTATE_UNKNOWN},
    {"Online", FCSYS_PORTSTATE_ONLINE},
    {"Offline", FCSYS_PORTSTATE_OFFLINE},
    {"Blocked", FCSYS_PORTSTATE_OFFLINE},
    {"Bypassed", 4},
    {"Diagnostics", 5},
    {"Linkdown", FCSYS_PORTSTATE_LINKDOWN},
    {"Error", 7},
    {"Loopback", 8},
    {"Deleted", FCSYS_PORTSTATE_OFFLINE},
    {"Marginal", FCSYS_PORTSTATE_ONLINE},
};

const NamedValue kPortTypes[] = {
    {"Unknown", FCSYS_PORTTYPE_UNKNOWN},
    {"Other", 2},
    {"Not Present", 3},
    {"NPort (fabric via point-to-point)", FCSYS_PORTTYPE_NPORT},
    {"NLPort (fabric via loop)", 6},
    {"LPort (private loop)", 20},
    {"Point-To-Point (direct nport connection)", 21},
    {"NPIV VPORT", FCSYS_PORTTYPE_NPIV_VPORT},
};

const NamedValue kClasses[] = {
    {"Class 1", 0x02}, {"Class 2", 0x04}, {"Class 3", 0x08}, {"Class 4", 0x10}, {"Class 6", 0x40},
};

const char kUnknown[] = "unknown";
const char kListSeparator[] = ", ";

bool is_trailing(char c) {
    return c == '\n' || c == ' ' || c == '\t' || c == '\r';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether text[0 .. len) ends the value (only trailing characters remain).
bool rest_is_trailing(const char* p) {
    for (; *p; ++p)
        if (!is_trailing(*p)) return false;
    return true;
}

// The value of the table name that text[0 .. len) equals exactly.
template <size_t N>
bool lookup(const NamedValue (&table)[N], const char* text, size_t len, uint32_t* out) {
    for (const NamedValue& row : table) {
        if (strlen(row.name) == len && memcmp(row.name, text, len) == 0) {
            *out = row.value;
            return true;
        }
    }
    return false;
}

template <size_t N>
bool lookup_whole(const NamedValue (&table)[N], const char* text, uint32_t* out) {
    return lookup(table, text, fcsys_trimmed_length(text, strlen(text)), out);
}

bool is_unknown(const char* text, size_t len) {
    return len == sizeof kUnknown - 1 && memcmp(text, kUnknown, len) == 0;
}

// Reads "0x" and 1 to maxDigits hex digits at *p; advances *p past them.
bool hex_number(const char** p, size_t maxDigits, uint64_t* value) {
    const char* s = *p;
    if (s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    s += 2;
    uint64_t v = 0;
    size_t digits = 0;
    for (int d; (d = hex_value(*s)) >= 0; ++s, ++digits) {
        if (digits == maxDigits) return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    if (digits == 0) return false;
    *p = s;
    *value = v;
    return true;
}

// A list of table names joined by ", ", their values or-ed; "unknown" when
// unknownAllowed is set (value 0).
template <size_t N>
bool name_list(const NamedValue (&table)[N], const char* text, const char* emptyName,
               uint32_t* out) {
    size_t len = fcsys_trimmed_length(text, strlen(text));
    if (len == 0) return false;
    if (emptyName && strlen(emptyName) == len && memcmp(text, emptyName, len) == 0) {
        *out = 0;
        return true;
    }
    uint32_t bits = 0;
    size_t pos = 0;
    while (pos < len) {
        const char* sep = strstr(text + pos, kListSeparator);
        size_t end =
            sep && static_cast<size_t>(sep - text) < len ? static_cast<size_t>(sep - text) : len;
        uint32_t v = 0;
        if (!lookup(table, text + pos, end - pos, &v)) return false;
        bits |= v;
        if (end == len) break;
        pos = end + sizeof kListSeparator - 1;
        if (pos >= len) return false; // a separator with nothing after it
    }
    *out = bits;
    return true;
}

} // namespace

size_t fcsys_trimmed_length(const char* text, size_t len) {
    while (len > 0 && is_trailing(text[len - 1]))
        --len;
    return len;
}

bool fcsys_parse_wwn(const char* text, uint8_t out[FCSYS_WWN_BYTES]) {
    const char* p = text;
    uint64_t v = 0;
    if (!hex_number(&p, 16, &v) || !rest_is_trailing(p)) return false;
    for (size_t k = 0; k < FCSYS_WWN_BYTES; ++k)
        out[k] = static_cast<uint8_t>(v >> (56 - 8 * k));
    return true;
}

bool fcsys_parse_hex(const char* text, uint32_t max, uint32_t* out) {
    const char* p = text;
    uint64_t v = 0;
    if (!hex_number(&p, 8, &v) || !rest_is_trailing(p) || v > max) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool fcsys_parse_decimal(const char* text, uint32_t* out) {
    uint64_t v = 0;
    size_t digits = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == 10) return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (digits == 0 || v > 0xFFFFFFFFu || !rest_is_trailing(p)) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool fcsys_parse_speed(const char* text, uint32_t* out) {
    size_t len = fcsys_trimmed_length(text, strlen(text));
    if (is_unknown(text, len)) {
        *out = FCSYS_SPEED_UNKNOWN;
        return true;
    }
    return lookup(kSpeeds, text, len, out);
}

bool fcsys_parse_speed_list(const char* text, uint32_t* out) {
    uint32_t bits = 0;
    if (!name_list(kSpeeds, text, kUnknown, &bits)) return false;
    // Not Negotiated is a state of the link, never a supported speed.
    if (bits & FCSYS_SPEED_NOT_NEGOTIATED) return false;
    *out = bits;
    return true;
}

bool fcsys_parse_frame_size(const char* text, uint32_t* out) {
    static const char kUnit[] = " bytes";
    size_t len = fcsys_trimmed_length(text, strlen(text));
    size_t unit = sizeof kUnit - 1;
    if (len <= unit || memcmp(text + len - unit, kUnit, unit) != 0) return false;
    uint32_t v = 0;
    size_t digits = 0;
    for (size_t k = 0; k < len - unit; ++k, ++digits) {
        char c = text[k];
        if (c < '0' || c > '9' || digits == 9) return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    *out = v;
    return true;
}

bool fcsys_parse_classes(const char* text, uint32_t* out) {
    return name_list(kClasses, text, "Unspecified", out);
}

bool fcsys_parse_port_state(const char* text, uint32_t* out) {
    return lookup_whole(kPortStates, text, out);
}

bool fcsys_parse_port_type(const char* text, uint32_t* out) {
    return lookup_whole(kPortTypes, text, out);
}

bool fcsys_parse_fc4_types(const char* text, uint8_t out[FCSYS_FC4_BYTES]) {
    uint8_t bytes[FCSYS_FC4_BYTES];
    const char* p = text;
    for (size_t k = 0; k < FCSYS_FC4_BYTES; ++k) {
        if (k > 0) {
            if (*p != ' ') return false;
            ++p;
        }
        uint64_t v = 0;
        if (!hex_number(&p, 2, &v)) return false;
        bytes[k] = static_cast<uint8_t>(v);
    }
    if (!rest_is_trailing(p)) return false;
    memcpy(out, bytes, sizeof bytes);
    return true;
}

bool fcsys_parse_pci_address(const char* name, FcsysPciAddress* out) {
    // Exactly "SSSS:BB:DD.F" with hex digits, as the PCI core names functions.
    static const char kShape[] = "hhhh:hh:hh.h";
    size_t n = sizeof kShape - 1;
    if (strlen(name) != n) return false;
    for (size_t k = 0; k < n; ++k) {
        bool wantHex = kShape[k] == 'h';
        if (wantHex ? hex_value(name[k]) < 0 : name[k] != kShape[k]) return false;
    }
    auto field = [&](size_t at, size_t digits) {
        uint32_t v = 0;
        for (size_t k = 0; k < digits; ++k)
            v = (v << 4) | static_cast<uint32_t>(hex_value(name[at + k]));
        return v;
    };
    FcsysPciAddress a = {field(0, 4), field(5, 2), field(8, 2), field(11, 1)};
    if (a.device > 0x1F || a.function > 7) return false;
    *out = a;
    return true;
}

bool fcsys_parse_host_name(const char* name, uint32_t* host) {
    static const char kPrefix[] = "host";
    if (strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return false;
    const char* p = name + sizeof kPrefix - 1;
    if (p[0] == '0' && p[1] != '\0') return false;
    uint32_t v = 0;
    size_t digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == 3) return false;
        v = v * 10 + static_cast<uint32_t>(*p - '0');
    }
    if (digits == 0 || *p != '\0' || v > 255) return false;
    *host = v;
    return true;
}

void fcsys_copy_text(const char* text, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    size_t len = fcsys_trimmed_length(text, strnlen(text, size - 1));
    for (size_t k = 0; k < len; ++k) {
        unsigned char c = static_cast<unsigned char>(text[k]);
        out[k] = c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    }
    out[len] = '\0';
}
