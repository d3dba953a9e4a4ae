// The settings file "RM.INI": one "KEY = value" per line.
#include "common/tracelog/tracelog.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/plat_files.h"

namespace {

struct NumberKey {
    const char* name;
    uint32_t TraceSettings::*field;
};

const NumberKey kNumberKeys[] = {
    {"LOG_MODE", &TraceSettings::logMode}, {"DBG_MODE", &TraceSettings::dbgMode},
    {"PARAM01", &TraceSettings::param01},  {"PARAM02", &TraceSettings::param02},
    {"PARAM03", &TraceSettings::param03},  {"PARAM04", &TraceSettings::param04},
    {"INSIZER", &TraceSettings::inSizeR},  {"OUTSIZER", &TraceSettings::outSizeR},
    {"INSIZEW", &TraceSettings::inSizeW},  {"OUTSIZEW", &TraceSettings::outSizeW},
};

constexpr size_t kWwpnTextLength = 23;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
// Line ends: a carriage return counts too, so files written with CR LF line
// ends read the same.
bool endsValue(char c) {
    return c == '\0' || c == '\n' || c == '\r' || isBlank(c);
}

int digitValue(char c, unsigned base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

// Unsigned decimal, or hexadecimal after "0x"/"0X"; reading stops at the first
// character that is not a digit of the base. No digit reads as 0; values above
// 32 bits read as 0xFFFFFFFF.
uint32_t parseNumber(const char* text, size_t length) {
    unsigned base = 10;
    size_t i = 0;
    if (length >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    uint64_t value = 0;
    for (; i < length; ++i) {
        int d = digitValue(text[i], base);
        if (d < 0) break;
        value = value * base + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

// "10:00:00:11:22:33:44:55": eight digit pairs, one separator between them.
bool parseWwpn(const char* text, size_t length, uint8_t out[8]) {
    if (length != kWwpnTextLength) return false;
    uint8_t bytes[8];
    for (size_t k = 0; k < 8; ++k) {
        int hi = digitValue(text[k * 3], 16);
        int lo = digitValue(text[k * 3 + 1], 16);
        if (hi < 0 || lo < 0) return false;
        bytes[k] = static_cast<uint8_t>(hi * 16 + lo);
    }
    memcpy(out, bytes, sizeof bytes);
    return true;
}

// Reads one line of at most SETTINGS_LINE_MAX characters into line; the rest of
// a longer line is skipped. Returns false at the end of the file.
bool readLine(FILE* f, char* line) {
    int c = getc(f);
    if (c == EOF) return false;
    size_t n = 0;
    while (c != EOF && c != '\n') {
        if (n < SETTINGS_LINE_MAX) line[n++] = static_cast<char>(c);
        c = getc(f);
    }
    line[n] = '\0';
    return true;
}

void applyLine(char* line, TraceSettings* out) {
    char* p = line;
    while (isBlank(*p))
        ++p;
    if (*p == '/') return;
    char* key = p;
    while (*p != '=' && !endsValue(*p))
        ++p;
    size_t keyLength = static_cast<size_t>(p - key);
    if (keyLength == 0) return;
    for (size_t i = 0; i < keyLength; ++i) {
        if (key[i] >= 'a' && key[i] <= 'z') key[i] = static_cast<char>(key[i] - 'a' + 'A');
    }
    while (*p == '=' || isBlank(*p))
        ++p;
    const char* value = p;
    while (!endsValue(*p))
        ++p;
    size_t valueLength = static_cast<size_t>(p - value);

    for (const NumberKey& k : kNumberKeys) {
        if (strlen(k.name) == keyLength && memcmp(k.name, key, keyLength) == 0) {
            out->*k.field = parseNumber(value, valueLength);
            return;
        }
    }
    if (keyLength == 8 && memcmp(key, "FILLBYTE", 8) == 0) {
        out->fillByte = static_cast<uint8_t>(parseNumber(value, valueLength));
        return;
    }
    if (keyLength == 15 && memcmp(key, "REMOTE_HBA_WWPN", 15) == 0) {
        parseWwpn(value, valueLength, out->remoteHbaWwpn);
        return;
    }
    FILE* console = g_trace.console ? g_trace.console : stdout;
    fputs("Unkonw Token Found", console);
    fflush(console);
}

} // namespace

int readSettingsFile(const char* path, TraceSettings* out) {
    if (path == nullptr || out == nullptr) return -1;
    // A FIFO or device in place of the settings file is not read (its open
    // would wait for a writer, its reads might never end).
    FILE* f = plat_fopen_input(path, nullptr);
    if (f == nullptr) return -1;
    char line[SETTINGS_LINE_MAX + 1];
    while (readLine(f, line))
        applyLine(line, out);
    fclose(f);
    return 0;
}

int readSettings() {
    return readSettingsFile(g_trace.settingsFileName, &g_trace.settings);
}
