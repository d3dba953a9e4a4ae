// Parsers of the kernel's sysfs value texts. The name tables follow the
// transport class's own tables (fc_port_speed_names, fc_port_state_names,
// fc_port_type_names, fc_cos_names, fc_port_role_names). How to add a row:
// append the kernel's name and its value to the table; the parsers need no
// change. kVersionTokens says the same for symbolic_name's version tokens.
#include "backends/sysfs/fcsys_values.h"

#include <cstring>
#include <initializer_list>

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
    {"Not Present", FCSYS_PORTSTATE_UNKNOWN},
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

const NamedValue kRoles[] = {
    {"FCP Target", FCSYS_ROLE_FCP_TARGET},     {"FCP Initiator", FCSYS_ROLE_FCP_INITIATOR},
    {"FCP Dummy Initiator", FCSYS_ROLE_OTHER}, {"IP Port", FCSYS_ROLE_OTHER},
    {"NVMe Initiator", FCSYS_ROLE_OTHER},      {"NVMe Target", FCSYS_ROLE_OTHER},
    {"NVMe Discovery", FCSYS_ROLE_OTHER},
};

// Version tokens of symbolic_name: the prefix a driver puts before the
// version, and which version it is. How to add a driver's form: one row with
// its prefix (compared exactly); the version after it must start with a
// digit and hold a dot.
struct VersionToken {
    const char* prefix;
    FcsysVersionKind kind;
};
const VersionToken kVersionTokens[] = {
    {"FV", FCSYS_VERSION_FIRMWARE},
    {"FW:v", FCSYS_VERSION_FIRMWARE},
    {"DV", FCSYS_VERSION_DRIVER},
    {"DVR:v", FCSYS_VERSION_DRIVER},
};

const char kUnknown[] = "unknown";
const char kListSeparator[] = ", ";
const char kNotPresent[] = "Not Present";

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
    return name_list(kClasses, text, "unspecified", out);
}

bool fcsys_port_present(const char* text) {
    uint32_t state = 0;
    size_t len = fcsys_trimmed_length(text, strlen(text));
    bool notPresent = len == sizeof kNotPresent - 1 && memcmp(text, kNotPresent, len) == 0;
    return !notPresent && fcsys_parse_port_state(text, &state);
}

bool fcsys_parse_roles(const char* text, uint32_t* out) {
    return name_list(kRoles, text, kUnknown, out);
}

bool fcsys_parse_counter(const char* text, uint64_t* out) {
    const char* p = text;
    uint64_t v = 0;
    if (!hex_number(&p, 16, &v) || !rest_is_trailing(p)) return false;
    *out = v;
    return true;
}

bool fcsys_parse_int(const char* text, int32_t* out) {
    const char* p = text;
    bool negative = *p == '-';
    if (negative) ++p;
    uint32_t v = 0;
    if (!fcsys_parse_decimal(p, &v) || v > (negative ? 0x80000000u : 0x7FFFFFFFu)) return false;
    *out = negative ? static_cast<int32_t>(0u - v) : static_cast<int32_t>(v);
    return true;
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

namespace {

// An unsigned decimal at *p without leading zeros, at most max; advances *p.
bool decimal_field(const char** p, uint64_t max, uint64_t* out) {
    const char* s = *p;
    if (s[0] == '0' && s[1] >= '0' && s[1] <= '9') return false;
    uint64_t v = 0;
    size_t digits = 0;
    for (; *s >= '0' && *s <= '9'; ++s, ++digits) {
        if (digits == 20) return false;
        uint64_t d = static_cast<uint64_t>(*s - '0');
        if (v > (max - d) / 10) return false;
        v = v * 10 + d;
    }
    if (digits == 0) return false;
    *p = s;
    *out = v;
    return true;
}

bool expect(const char** p, char c) {
    if (**p != c) return false;
    ++*p;
    return true;
}

} // namespace

bool fcsys_parse_host_name(const char* name, uint32_t* host) {
    static const char kPrefix[] = "host";
    if (strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return false;
    const char* p = name + sizeof kPrefix - 1;
    uint64_t v = 0;
    if (!decimal_field(&p, 0xFFFFFFFFu, &v) || *p != '\0') return false;
    *host = static_cast<uint32_t>(v);
    return true;
}

bool fcsys_parse_child_name(const char* name, const char* prefix, FcsysChildName* out) {
    size_t n = strlen(prefix);
    if (strncmp(name, prefix, n) != 0) return false;
    const char* p = name + n;
    uint64_t host = 0, channel = 0, number = 0;
    if (!decimal_field(&p, 0xFFFFFFFFu, &host) || !expect(&p, ':') ||
        !decimal_field(&p, 0xFFFFFFFFu, &channel) || !expect(&p, '-') ||
        !decimal_field(&p, 0xFFFFFFFFu, &number) || *p != '\0')
        return false;
    *out = {static_cast<uint32_t>(host), static_cast<uint32_t>(channel),
            static_cast<uint32_t>(number)};
    return true;
}

bool fcsys_parse_scsi_address(const char* name, FcsysScsiAddress* out) {
    const char* p = name;
    uint64_t host = 0, channel = 0, target = 0, lun = 0;
    if (!decimal_field(&p, 0xFFFFFFFFu, &host) || !expect(&p, ':') ||
        !decimal_field(&p, 0xFFFFFFFFu, &channel) || !expect(&p, ':') ||
        !decimal_field(&p, 0xFFFFFFFFu, &target) || !expect(&p, ':') ||
        !decimal_field(&p, ~0ull, &lun) || *p != '\0')
        return false;
    *out = {static_cast<uint32_t>(host), static_cast<uint32_t>(channel),
            static_cast<uint32_t>(target), lun};
    return true;
}

void fcsys_fcp_lun(uint64_t lun, uint8_t out[8]) {
    for (size_t i = 0; i < 8; i += 2) {
        out[i] = static_cast<uint8_t>(lun >> 8);
        out[i + 1] = static_cast<uint8_t>(lun);
        lun >>= 16;
    }
}

void fcsys_format_vport_names(const uint8_t wwpn[FCSYS_WWN_BYTES],
                              const uint8_t wwnn[FCSYS_WWN_BYTES], char* out) {
    static const char kDigits[] = "0123456789abcdef";
    size_t at = 0;
    for (const uint8_t* w : {wwpn, wwnn}) {
        if (at) out[at++] = ':';
        for (size_t k = 0; k < FCSYS_WWN_BYTES; ++k) {
            out[at++] = kDigits[w[k] >> 4];
            out[at++] = kDigits[w[k] & 0xF];
        }
    }
    out[at] = '\0';
}

namespace {

// The version after prefix when token (len characters) is "<prefix><version>".
bool version_after(const char* token, size_t len, const char* prefix, size_t* start) {
    size_t n = strlen(prefix);
    if (len <= n || memcmp(token, prefix, n) != 0) return false;
    if (token[n] < '0' || token[n] > '9') return false;
    bool dot = false;
    for (size_t k = n; k < len; ++k) {
        char c = token[k];
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  c == '.' || c == '-' || c == '_';
        if (!ok) return false;
        dot = dot || c == '.';
    }
    *start = n;
    return dot;
}

} // namespace

bool fcsys_symbolic_version(const char* symbolicName, FcsysVersionKind kind, char* out,
                            size_t size) {
    if (size == 0) return false;
    const char* p = symbolicName;
    while (*p) {
        while (*p == ' ')
            ++p;
        size_t len = strcspn(p, " ");
        for (const VersionToken& row : kVersionTokens) {
            size_t start = 0;
            if (row.kind != kind || !version_after(p, len, row.prefix, &start)) continue;
            size_t n = len - start < size - 1 ? len - start : size - 1;
            memcpy(out, p + start, n);
            out[n] = '\0';
            return true;
        }
        p += len;
    }
    return false;
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
