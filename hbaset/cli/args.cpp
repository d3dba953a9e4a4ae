// The token table, the script line splitter and the argument conventions
// every command shares: keys, numeric and hexadecimal values, adapter numbers.
#include <cctype>
#include <cstring>

#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"

InterpreterState g_interp = {};
CommandArgs g_args = {};

namespace {

// Copies at most size - 1 characters of src and always terminates.
void copyBounded(char* dst, size_t size, const char* src) {
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Line ends a script run tolerates inside numeric and hexadecimal values.
bool scriptLineEnd(char c) {
    return g_msg.scriptMode && (c == '\r' || c == '\n');
}

} // namespace

void clearCommandArgs() {
    memset(&g_args, 0, sizeof g_args);
    g_args.adapterIndex = -1;
}

int setTokens(const char* const* args, int count) {
    memset(g_interp.tokens, 0, sizeof g_interp.tokens);
    if (count < 0) count = 0;
    if (count > MAX_TOKENS) count = MAX_TOKENS;
    for (int k = 0; k < count; ++k)
        copyBounded(g_interp.tokens[k], TOKEN_SIZE, args[k] ? args[k] : "");
    g_interp.tokenCount = count;
    return count;
}

int splitLine(const char* line) {
    setMessageLine("Command: %s", line);
    emitLine();
    if (line[0] == '\0') return 0;
    memset(g_interp.tokens, 0, sizeof g_interp.tokens);
    int count = 0;
    const char* p = line;
    for (;;) {
        const char* blank = strchr(p, ' ');
        size_t len = blank ? static_cast<size_t>(blank - p) : strlen(p);
        if (count == MAX_TOKENS) {
            memset(g_interp.tokens, 0, sizeof g_interp.tokens);
            g_interp.tokenCount = 0;
            return -1;
        }
        if (len > TOKEN_SIZE - 1) len = TOKEN_SIZE - 1;
        memcpy(g_interp.tokens[count], p, len);
        g_interp.tokens[count][len] = '\0';
        ++count;
        if (!blank) break;
        p = blank + 1;
    }
    g_interp.tokenCount = count;
    return count;
}

const char* keyValue(const char* token, char key) {
    char lower = static_cast<char>(tolower(static_cast<unsigned char>(key)));
    char upper = static_cast<char>(toupper(static_cast<unsigned char>(key)));
    for (const char* p = token; p[0] != '\0' && p[1] != '\0'; ++p) {
        if ((p[0] == lower || p[0] == upper) && p[1] == '=') return token + 2;
    }
    return nullptr;
}

const char* prefixKeyValue(const char* token, const char* prefix) {
    size_t n = strlen(prefix);
    for (size_t k = 0; k < n; ++k) {
        if (toupper(static_cast<unsigned char>(token[k])) !=
            toupper(static_cast<unsigned char>(prefix[k])))
            return nullptr;
    }
    return token + n;
}

bool isNumericText(const char* s) {
    bool digit = false;
    for (; *s != '\0'; ++s) {
        if (*s >= '0' && *s <= '9') {
            digit = true;
        } else if (!scriptLineEnd(*s)) {
            return false;
        }
    }
    return digit;
}

uint32_t numericValue(const char* s) {
    uint64_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + static_cast<uint64_t>(*s - '0');
        if (v > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(v);
}

bool upperHexText(char* s) {
    bool digit = false;
    bool ok = true;
    for (; *s != '\0'; ++s) {
        *s = static_cast<char>(toupper(static_cast<unsigned char>(*s)));
        if ((*s >= '0' && *s <= '9') || (*s >= 'A' && *s <= 'F')) {
            digit = true;
        } else if (!scriptLineEnd(*s)) {
            ok = false;
        }
    }
    return ok && digit;
}

bool isAllAdapters(const char* value) {
    return strncmp(value, "all", 3) == 0 || strncmp(value, "ALL", 3) == 0;
}

int32_t parseAdapterValue(const char* value) {
    g_args.haveAdapter = true;
    if (isAllAdapters(value)) {
        g_args.allAdapters = true;
        return CLU_OK;
    }
    if (!isNumericText(value)) return CLU_NON_NUMERIC;
    // Any number of digits: the 8-bit number is the value modulo 256, the full
    // value saturates and is flagged when it does not fit 32 bits.
    uint32_t low8 = 0;
    uint64_t full = 0;
    bool overflow = false;
    for (const char* p = value; *p >= '0' && *p <= '9'; ++p) {
        uint32_t d = static_cast<uint32_t>(*p - '0');
        low8 = (low8 * 10 + d) & 0xFF;
        if (!overflow) {
            full = full * 10 + d;
            if (full > UINT32_MAX) overflow = true;
        }
    }
    g_args.allAdapters = false;
    g_args.adapterNumber = static_cast<uint8_t>(low8);
    g_args.adapterIndex = static_cast<uint8_t>(low8 - 1);
    g_args.adapterFull = overflow ? UINT32_MAX : static_cast<uint32_t>(full);
    g_args.adapterFullOverflow = overflow;
    return CLU_OK;
}
