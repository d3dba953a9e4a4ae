// Dispatch of one command from the token table and the generic parser that
// applies a command table row: token count, keys, adapter number and checks.
#include "hbaset/cli/interpreter.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/query_only.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/writer_lock.h"

namespace {

// The hidden factory command; an unknown name starting with its first four
// letters ends silently when slot 1 starts with the three digits after them.
constexpr const char* kFactoryCommand = "QRLX614PUTFACTRY";
constexpr size_t kFactoryPrefixLength = 4;
constexpr size_t kFactoryDigitCount = 3;

bool tokenRuleHolds(const CommandRow& row, int count) {
    switch (row.tokenRule) {
    case TOKENS_AT_LEAST:
        return count >= row.tokenLimit;
    case TOKENS_AT_MOST:
        return count <= row.tokenLimit;
    default:
        return true;
    }
}

const char* matchKey(const char* token, const KeySpec& spec) {
    if (spec.key[1] == '\0') return keyValue(token, spec.key[0]);
    return prefixKeyValue(token, spec.key);
}

int32_t hexWord(const CommandRow& row, char* value, size_t digits, const char* shortText,
                const char* longText, uint32_t* out) {
    size_t len = strlen(value);
    if (len < digits ||
        (len == digits && (value[digits - 1] == '\r' || value[digits - 1] == '\n'))) {
        say(shortText);
        return CLU_SYNTAX;
    }
    if (len > digits) {
        say(longText);
        return CLU_SYNTAX;
    }
    if (!upperHexText(value)) return failNonNumeric(row);
    uint32_t v = 0;
    for (size_t k = 0; k < digits && k < 8; ++k) {
        char c = value[k];
        v = (v << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    *out = v;
    return CLU_OK;
}

// Reads one value of a key; the token's text may be upper-cased in place
// (hexadecimal kinds). Returns 0 or the status after the message.
int32_t readValue(const CommandRow& row, const KeySpec& spec, char* value, KeyValues* kv, int k) {
    switch (spec.kind) {
    case VALUE_ADAPTER:
        if (parseAdapterValue(value) != CLU_OK) {
            if (row.flags & ROW_BANG_NUMERIC) {
                say("Non-Numeric Input!");
                return CLU_NON_NUMERIC;
            }
            return failNonNumeric(row);
        }
        if (g_args.allAdapters && !(row.flags & ROW_ALL)) {
            say("Command does not support All Adapters option\n");
            return CLU_NO_ALL_OPTION;
        }
        return CLU_OK;
    case VALUE_NUMBER:
        if (!isNumericText(value)) return failNonNumeric(row);
        kv->number[k] = numericValue(value);
        return CLU_OK;
    case VALUE_WWN:
        return hexWord(row, value, 8, "Input for WWN too short", "Input for WWN too long",
                       &kv->number[k]);
    case VALUE_MAC: {
        // Validated here; the handler splits the 12 digits itself.
        uint32_t unused = 0;
        return hexWord(row, value, 12, "Input for MAC too short\n", "Input for MAC too long\n",
                       &unused);
    }
    default:
        return CLU_OK;
    }
}

// Reads the row's keys into kv and runs its adapter check and restriction.
// Returns 0, or the status after the message.
int32_t parseGeneric(const CommandRow& row, KeyValues& kv) {
    int last = g_interp.tokenCount;
    if ((row.flags & ROW_SLOT1_ONLY) && last > 2) last = 2;
    for (int t = 1; t < last; ++t) {
        char* token = g_interp.tokens[t];
        for (int k = 0; k < MAX_COMMAND_KEYS && row.keys[k].key != nullptr; ++k) {
            const char* found = matchKey(token, row.keys[k]);
            if (found == nullptr) continue;
            ++kv.keyCount;
            char* value = token + (found - token);
            kv.value[k] = value;
            int32_t st = readValue(row, row.keys[k], value, &kv, k);
            if (st != CLU_OK) return st;
        }
    }
    if (kv.keyCount < row.minKeys) return failSymbols(row);
    for (int k = 0; k < MAX_COMMAND_KEYS && row.keys[k].key != nullptr; ++k) {
        if (row.keys[k].required && kv.value[k] == nullptr) return failSymbols(row);
    }
    for (int k = 0; k < MAX_COMMAND_KEYS && row.keys[k].key != nullptr; ++k) {
        if (row.keys[k].required && row.keys[k].kind == VALUE_TEXT && kv.value[k][0] == '\0')
            return failNoInput(row);
    }
    if (g_args.haveAdapter && !g_args.allAdapters) {
        int32_t st = checkAdapter(row.check, row.flags);
        if (st != CLU_OK) return st;
        st = checkRestriction(row.restriction);
        if (st != CLU_OK) return st;
    }
    return CLU_OK;
}

// Runs the row's handler; a command that changes an adapter holds the
// adapter's writer lock for the whole handler.
int32_t runHandler(const CommandRow& row, const KeyValues& kv) {
    WriterLocks locks;
    if (row.flags & ROW_CHANGES_ADAPTER) {
        int32_t st = lockChangedAdapters(&locks);
        if (st != CLU_OK) return st;
    }
    return row.run(row, kv);
}

bool isHiddenName(const char* name) {
    if (strncmp(name, kFactoryCommand, kFactoryPrefixLength) != 0) return false;
    if (g_interp.tokenCount < 2) return false;
    return strncmp(g_interp.tokens[1], kFactoryCommand + kFactoryPrefixLength,
                   kFactoryDigitCount) == 0;
}

uint32_t deviceOf(int index) {
    const AdapterRecord* r = adapterAt(index);
    return r ? entryDeviceId(r) : 0;
}

} // namespace

void say(const char* text) {
    size_t len = strlen(text);
    if (len > 0 && text[len - 1] == '\n') {
        emitText("%s", text);
    } else {
        setMessageLine("%s", text);
        emitLine();
    }
}

void sayf(const char* format, ...) {
    char text[EMIT_TEXT_SIZE];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    say(text);
}

int32_t failNonNumeric(const CommandRow& row) {
    say((row.flags & ROW_NL_NUMERIC) ? "Non-Numeric Input\n" : "Non-Numeric Input");
    return CLU_NON_NUMERIC;
}

int32_t failSymbols(const CommandRow& row) {
    say((row.flags & ROW_NL_SYMBOLS) ? "Incorrect Input Symbols\n" : "Incorrect Input Symbols");
    return CLU_INPUT_SYMBOLS;
}

int32_t failNoInput(const CommandRow& row) {
    say((row.flags & ROW_NL_NOINPUT) ? "No Input Parameters\n" : "No Input Parameters");
    return CLU_INPUT_VALUE;
}

int32_t checkAdapter(AdapterCheck check, uint16_t flags) {
    int i = g_args.adapterIndex;
    unsigned n = g_args.adapterNumber;
    switch (check) {
    case CHECK_FC:
        if (isFcIndex(i)) return CLU_OK;
        sayf("Invalid Adapter Number: %u", n);
        return CLU_INVALID_ADAPTER;
    case CHECK_FC_STAR:
        if (isFcIndex(i)) return CLU_OK;
        if (isNexaManaged(i)) {
            sayf("Command not supported on Adapter Number: %u\n", n);
            return CLU_NOT_SUPPORTED;
        }
        sayf("Invalid Adapter Number: %u\n", n);
        return CLU_INVALID_ADAPTER;
    case CHECK_ANY:
        if (isAnyIndex(i)) return CLU_OK;
        sayf((flags & ROW_NL_INVALID) ? "Invalid Adapter Number: %u\n"
                                      : "Invalid Adapter Number: %u",
             n);
        return CLU_INVALID_ADAPTER;
    case CHECK_NIC: {
        // The NIC commands address entries by the full integer.
        uint32_t full = g_args.adapterFull;
        int index = (g_args.adapterFullOverflow || full == 0 || full > INT32_MAX)
                        ? -1
                        : static_cast<int>(full - 1);
        g_args.adapterIndex = index;
        if (!isCnaIndex(index)) {
            sayf("Invalid Adapter Number: %u\n", full);
            return CLU_INVALID_ADAPTER;
        }
        if (!isNicFunction(index)) {
            sayf("Command not supported by Adapter Number: %u\n", full);
            return CLU_NOT_SUPPORTED;
        }
        return CLU_OK;
    }
    default:
        return CLU_OK;
    }
}

int32_t checkRestriction(Restriction restriction) {
    int i = g_args.adapterIndex;
    uint32_t device = deviceOf(i);
    DeviceFamily family = deviceFamilyOf(device);
    bool allowed = true;
    switch (restriction) {
    case RESTRICT_JUMPERLESS:
        allowed = !isJumperlessDevice(i);
        break;
    case RESTRICT_NEXA_ONLY:
        allowed = isNexaManaged(i);
        break;
    case RESTRICT_DMATEST:
        allowed = isNexaManaged(i) && !isBrevinCna(i);
        break;
    case RESTRICT_LOADIMAGE:
        allowed = !isNexaManaged(i) && !isBrevinFc(i);
        break;
    case RESTRICT_FFV:
        allowed = isBrevinFc(i) || family == FAMILY_TARNEL;
        break;
    case RESTRICT_VPD:
        allowed = !(family == FAMILY_CV2 && (isIscsiFunction(i) || isNicFunction(i)));
        break;
    case RESTRICT_PERSONALITY:
        allowed = family == FAMILY_CV2 || family == FAMILY_CV3;
        break;
    case RESTRICT_BOOT_PARAM:
        allowed = isBootParamDevice(device);
        break;
    case RESTRICT_NIC_INVALID:
        if (isNicFunction(i)) return CLU_OK;
        sayf("Invalid Adapter Number: %u", static_cast<unsigned>(g_args.adapterNumber));
        return CLU_INVALID_ADAPTER;
    default:
        break;
    }
    if (allowed) return CLU_OK;
    sayf("Command not supported on Adapter Number: %u\n",
         static_cast<unsigned>(g_args.adapterNumber));
    return CLU_NOT_SUPPORTED;
}

const CommandRow* findCommand(const char* name) {
    for (size_t k = 0; k < kCommandRowCount; ++k) {
        if (strcmp(kCommandRows[k].name, name) == 0) return &kCommandRows[k];
    }
    return nullptr;
}

int32_t runCommand(int tokenCount) {
    clearCommandArgs();
    g_run.cluStatus = CLU_OK;
    if (tokenCount < 0) tokenCount = 0;
    if (tokenCount > MAX_TOKENS) tokenCount = MAX_TOKENS;
    g_interp.tokenCount = tokenCount;
    char* name = g_interp.tokens[0];
    for (char* p = name; *p != '\0'; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));

    const CommandRow* row = tokenCount > 0 ? findCommand(name) : nullptr;
    int32_t status;
    if (row == nullptr) {
        if (isHiddenName(name)) {
            status = CLU_OK;
        } else {
            setMessageLine("%% Unknown command: %s\n", name);
            emitLine();
            status = CLU_UNKNOWN_COMMAND;
        }
    } else if (!tokenRuleHolds(*row, tokenCount)) {
        say(row->syntaxError);
        status = CLU_SYNTAX;
    } else if (refusedByQueryOnlyDriver(row->name)) {
        status = CLU_NOT_SUPPORTED;
    } else {
        KeyValues kv;
        memset(&kv, 0, sizeof kv);
        status = row->custom != nullptr ? row->custom(*row) : parseGeneric(*row, kv);
        if (status == CLU_OK && row->run != nullptr) status = runHandler(*row, kv);
    }
    g_run.cluStatus = status;
    return status;
}
