// Typed group reads: each property of a list is looked up under its parent and
// read as text, then converted into its destination. Every destination gets a
// defined value, also when the property cannot be read or NEXA is busy.
#include <cctype>
#include <climits>
#include <cstring>
#include <strings.h>

#include "hbaset/cna/mal.h"
#include "hbaset/cna/nexa.h"

namespace {

// Looks up the property under parent and reads its value (always terminated).
int readValue(int parent, const char* name, char value[MAL_VALUE_SIZE]) {
    value[0] = '\0';
    if (name == nullptr) return MAL_RM_NULL_ARG;
    int tag = 0;
    int rc = get_node_tag(parent, name, &tag, NEXA_KIND_PROPERTY);
    if (rc != MAL_RM_OK) return rc;
    return get_property_val(parent, tag, value, MAL_VALUE_SIZE);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isHexOrColon(char c) {
    return c == ':' || hexDigit(c) >= 0;
}

// Reads up to two hex digits at *p (after blanks); -1 when there is none.
int scanHexByte(const char** p) {
    const char* s = *p;
    while (*s == ' ' || *s == '\t')
        s++;
    int hi = hexDigit(*s);
    if (hi < 0) return -1;
    s++;
    unsigned v = static_cast<unsigned>(hi);
    int lo = hexDigit(*s);
    if (lo >= 0) {
        v = v * 16 + static_cast<unsigned>(lo);
        s++;
    }
    *p = s;
    return static_cast<int>(v & 0xFFu);
}

// True when requested is a leading part of special (the names are compared
// over the length of the requested name).
bool nameMatches(const char* requested, const char* special) {
    return strncmp(requested, special, strlen(requested)) == 0;
}

} // namespace

// ---- value parsers ----------------------------------------------------------------

int32_t malParseBool(const char* value) {
    static const char* const kTrue[] = {"yes", "enabled", "true", "CEE"};
    static const char* const kFalse[] = {"no", "disabled", "false", "CIN"};
    if (value == nullptr) return MAL_BOOL_UNKNOWN;
    for (const char* w : kTrue) {
        if (strcasecmp(value, w) == 0) return MAL_BOOL_TRUE;
    }
    for (const char* w : kFalse) {
        if (strcasecmp(value, w) == 0) return MAL_BOOL_FALSE;
    }
    return MAL_BOOL_UNKNOWN;
}

uint32_t malParseHex(const char* value) {
    if (value == nullptr) return 0;
    const char* p = value;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigit(p[2]) >= 0) p += 2;
    uint64_t v = 0;
    for (int d; (d = hexDigit(*p)) >= 0; p++) {
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > UINT32_MAX) return UINT32_MAX; // saturate, never wrap
    }
    return static_cast<uint32_t>(v);
}

int32_t malParseDecimal(const char* name, const char* value) {
    if (value == nullptr) return 0;
    if (strncmp(value, "N/", 2) == 0) {
        if (name != nullptr && (strcmp(name, "ETO") == 0 || strcmp(name, "DefaultETO") == 0)) {
            return 0x0FFFFFFF;
        }
        return 0;
    }
    const char* p = value;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) break; // clamped below
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool malParseIPv4(const char* value, uint8_t out[4]) {
    memset(out, 0, 4);
    if (value == nullptr || value[0] == '\0' || strcasecmp(value, "n/a") == 0) return false;
    if (!isdigit(static_cast<unsigned char>(value[0]))) return false;
    uint8_t parts[4] = {};
    const char* p = value;
    for (int k = 0; k < 4; k++) {
        if (k > 0) {
            if (*p != '.') return false;
            p++;
        }
        if (!isdigit(static_cast<unsigned char>(*p))) return false;
        unsigned v = 0;
        for (; isdigit(static_cast<unsigned char>(*p)); p++) {
            v = v * 10 + static_cast<unsigned>(*p - '0');
            if (v > 255) return false;
        }
        parts[k] = static_cast<uint8_t>(v);
    }
    // Anything after the fourth number (a fifth one, blanks) is ignored.
    memcpy(out, parts, 4);
    return true;
}

bool malParseIPv6(const char* value, uint8_t out[16]) {
    memset(out, 0, 16);
    if (value == nullptr) return false;
    // Only hexadecimal digits and colons count; the first other character ends the text.
    size_t len = 0;
    while (value[len] != '\0' && isHexOrColon(value[len]))
        len++;
    if (len == 0) return false;

    uint16_t groups[8] = {};
    int groupCount = 0;
    int gapAt = -1; // group index where "::" stands
    int separators = 0;
    size_t i = 0;
    if (value[0] == ':') {
        if (len < 2 || value[1] != ':') return false;
        gapAt = 0;
        separators = 1;
        i = 2;
    }
    while (i < len) {
        // One group of hex digits.
        unsigned v = 0;
        int digits = 0;
        while (i < len && value[i] != ':') {
            if (++digits > 4) return false;
            v = v * 16 + static_cast<unsigned>(hexDigit(value[i]));
            i++;
        }
        if (digits == 0) return false; // ":::" or a lone colon in the middle
        if (groupCount == 8) return false;
        groups[groupCount++] = static_cast<uint16_t>(v);
        if (i == len) break;
        // A separator: ":" or "::".
        i++;
        separators++;
        if (i < len && value[i] == ':') {
            if (gapAt >= 0) return false; // a second double colon
            gapAt = groupCount;
            i++;
            if (i == len) break; // trailing "::"
        } else if (i == len) {
            return false; // trailing single colon
        }
    }
    if (separators > 7) return false;
    if (gapAt >= 0 && groupCount > 7) return false;

    // Groups before the gap from the start, those after it at the end; without
    // a gap the groups fill from the start.
    uint16_t full[8] = {};
    if (gapAt < 0) {
        for (int k = 0; k < groupCount; k++)
            full[k] = groups[k];
    } else {
        for (int k = 0; k < gapAt; k++)
            full[k] = groups[k];
        int tail = groupCount - gapAt;
        for (int k = 0; k < tail; k++)
            full[8 - tail + k] = groups[gapAt + k];
    }
    for (int k = 0; k < 8; k++) {
        out[2 * k] = static_cast<uint8_t>(full[k] >> 8);
        out[2 * k + 1] = static_cast<uint8_t>(full[k] & 0xFF);
    }
    return true;
}

bool malParseMac(const char* value, uint8_t out[6]) {
    memset(out, 0, 6);
    if (value == nullptr) return false;
    uint8_t mac[6];
    const char* p = value;
    for (int k = 0; k < 6; k++) {
        if (k > 0) {
            if (*p != '-' && *p != ':') return false;
            p++;
        }
        int b = scanHexByte(&p);
        if (b < 0) return false;
        mac[k] = static_cast<uint8_t>(b);
    }
    memcpy(out, mac, 6);
    return true;
}

int malParsePciDumpPiece(const char* text, uint8_t block[64]) {
    if (text == nullptr) return 0;
    const char* p = text;
    int n = 0;
    while (n < 64) {
        int b = scanHexByte(&p);
        if (b < 0) break;
        block[n++] = static_cast<uint8_t>(b);
    }
    return n;
}

// ---- group reads ----------------------------------------------------------------------

namespace {

bool destUsable(const MalStringProp& p) {
    return p.dest != nullptr && p.size != 0;
}
template <typename Prop> bool destUsable(const Prop& p) {
    return p.dest != nullptr;
}

// An unreadable property fails the group with its status.
int failGroup(int rc) {
    return rc;
}

// The loop every typed reader shares. A list with a missing destination is
// refused; every destination gets its fallback (clear); then each property is
// read and converted (take). A busy NEXA ends the group at once, and so does
// a status other than MAL_RM_OK from take. What an unreadable property makes
// of the group's status is up to missing (MAL_RM_OK: nothing); the last such
// failure is the group's status.
template <typename Prop, typename Clear, typename Take, typename Missing>
int readGroup(int parent, int count, const Prop* props, Clear clear, Take take, Missing missing) {
    if (count > 0 && props == nullptr) return MAL_RM_NULL_ARG;
    for (int k = 0; k < count; k++) {
        if (!destUsable(props[k])) return MAL_RM_NULL_ARG;
    }
    for (int k = 0; k < count; k++)
        clear(props[k], k);
    int result = MAL_RM_OK;
    for (int k = 0; k < count; k++) {
        char value[MAL_VALUE_SIZE];
        int rc = readValue(parent, props[k].name, value);
        if (rc == MAL_RM_BUSY) return rc;
        if (rc == MAL_RM_OK) {
            rc = take(props[k], k, value);
            if (rc != MAL_RM_OK) return rc;
        } else {
            rc = missing(props[k], rc);
            if (rc != MAL_RM_OK) result = rc;
        }
    }
    return result;
}

} // namespace

int MAL_GetBooleanProperties(int parent, int count, const MalBoolProp* props) {
    return readGroup(
        parent, count, props, [](const MalBoolProp& p, int) { *p.dest = MAL_BOOL_UNKNOWN; },
        [](const MalBoolProp& p, int, const char* value) {
            *p.dest = malParseBool(value);
            return MAL_RM_OK;
        },
        [](const MalBoolProp&, int) { return MAL_RM_OK; }); // stays unknown
}

int MAL_GetHexProperties(int parent, int count, const MalHexProp* props) {
    return readGroup(
        parent, count, props, [](const MalHexProp& p, int) { *p.dest = 0; },
        [](const MalHexProp& p, int, const char* value) {
            *p.dest = malParseHex(value);
            return MAL_RM_OK;
        },
        [](const MalHexProp&, int rc) { return failGroup(rc); });
}

int malGetIntegerPropertiesWithText(int parent, int count, const MalIntProp* props,
                                    char (*texts)[MAL_VALUE_SIZE]) {
    return readGroup(
        parent, count, props,
        [texts](const MalIntProp& p, int k) {
            *p.dest = 0;
            if (texts != nullptr) texts[k][0] = '\0';
        },
        [texts](const MalIntProp& p, int k, const char* value) {
            *p.dest = malParseDecimal(p.name, value);
            if (texts != nullptr) malCopyText(texts[k], MAL_VALUE_SIZE, value);
            return MAL_RM_OK;
        },
        [](const MalIntProp&, int rc) { return failGroup(rc); });
}

int MAL_GetIntegerProperties(int parent, int count, const MalIntProp* props) {
    return malGetIntegerPropertiesWithText(parent, count, props, nullptr);
}

int MAL_GetIPv4Properties(int parent, int count, const MalIPv4Prop* props) {
    return readGroup(
        parent, count, props, [](const MalIPv4Prop& p, int) { memset(p.dest, 0, 4); },
        [](const MalIPv4Prop& p, int, const char* value) {
            (void)malParseIPv4(value, p.dest);
            return MAL_RM_OK;
        },
        [](const MalIPv4Prop&, int rc) { return failGroup(rc); });
}

int MAL_GetIPv6Properties(int parent, int count, const MalIPv6Prop* props) {
    return readGroup(
        parent, count, props,
        [](const MalIPv6Prop& p, int) {
            malCopyText(p.dest->text, MAL_IPV6_TEXT_SIZE, "Not Available");
            memset(p.dest->bytes, 0, 16);
        },
        [](const MalIPv6Prop& p, int, const char* value) {
            MalIPv6* d = p.dest;
            (void)malParseIPv6(value, d->bytes);
            bool allZero = true;
            for (uint8_t b : d->bytes)
                allZero = allZero && b == 0;
            malCopyText(d->text, MAL_IPV6_TEXT_SIZE, allZero ? "Not Available" : value);
            return MAL_RM_OK;
        },
        [](const MalIPv6Prop&, int rc) { return failGroup(rc); });
}

int MAL_GetMACProperties(int parent, int count, const MalMacProp* props) {
    return readGroup(
        parent, count, props, [](const MalMacProp& p, int) { memset(p.dest, 0, 6); },
        [](const MalMacProp& p, int, const char* value) {
            return malParseMac(value, p.dest) ? MAL_RM_OK : MAL_RM_MAC_FORMAT;
        },
        [](const MalMacProp& p, int rc) {
            // The current MAC may be missing without failing the group.
            bool current = p.name != nullptr && strcmp(p.name, "MACAddress") == 0;
            return current ? MAL_RM_OK : failGroup(rc);
        });
}

int MAL_GetStringProperties(int parent, int count, const MalStringProp* props) {
    return readGroup(
        parent, count, props, [](const MalStringProp& p, int) { p.dest[0] = '\0'; },
        [](const MalStringProp& p, int, const char* value) {
            malCopyText(p.dest, p.size, value);
            return MAL_RM_OK;
        },
        [](const MalStringProp& p, int rc) -> int {
            // Properties some nodes lack read as a fixed text instead of failing.
            if (p.name != nullptr && nameMatches(p.name, "LogicalLinkStatus")) {
                malCopyText(p.dest, p.size, "n/a");
                return MAL_RM_OK;
            }
            if (p.name != nullptr &&
                (nameMatches(p.name, "LUNSize") || nameMatches(p.name, "BlockSize") ||
                 nameMatches(p.name, "PortSpeed") || nameMatches(p.name, "PortMaxSpeed"))) {
                malCopyText(p.dest, p.size, "Not Available");
                return MAL_RM_OK;
            }
            return failGroup(rc);
        });
}
