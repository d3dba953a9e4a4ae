// The command table: one row per command name, in dispatch order, and the
// generic parser that reads a row's keys, runs its adapter check and hands the
// values to the row's handler.
#pragma once
#include <cstddef>
#include <cstdint>

enum TokenRule : uint8_t {
    TOKENS_ANY,
    TOKENS_AT_LEAST, // tokenCount >= tokenLimit
    TOKENS_AT_MOST,  // tokenCount <= tokenLimit
};

// Adapter checks on n= (single adapters only).
enum AdapterCheck : uint8_t {
    CHECK_NONE,
    CHECK_FC,      // isFcIndex, else "Invalid Adapter Number: %d" (1)
    CHECK_FC_STAR, // isFcIndex, else 71 for NEXA-managed entries or 1, both with "\n"
    CHECK_ANY,     // isAnyIndex, else "Invalid Adapter Number: %d" (1)
    CHECK_NIC,     // full integer: isCnaIndex (1), then isNicFunction (71)
};

// Restrictions by adapter kind (single adapters, after the adapter check).
enum Restriction : uint8_t {
    RESTRICT_NONE,
    RESTRICT_JUMPERLESS,  // device 0xE131 refused
    RESTRICT_NEXA_ONLY,   // only NEXA-managed entries
    RESTRICT_DMATEST,     // NEXA-managed entries that are not Brevin CNA functions
    RESTRICT_LOADIMAGE,   // neither NEXA-managed entries nor Brevin FC functions
    RESTRICT_FFV,         // Brevin FC functions and Tarnel functions
    RESTRICT_VPD,         // not the iSCSI and NIC functions of the CV2 family
    RESTRICT_PERSONALITY, // CV2 and CV3 family entries
    RESTRICT_BOOT_PARAM,  // device IDs of the boot-parameter list
    RESTRICT_NIC_INVALID, // not a NIC function: "Invalid Adapter Number: %d" (1)
};

enum ValueKind : uint8_t {
    VALUE_ADAPTER, // n=: the all form or a number (8-bit, or full for CHECK_NIC)
    VALUE_NUMBER,  // decimal digits
    VALUE_TEXT,    // the rest of the token
    VALUE_WWN,     // exactly 8 hexadecimal digits
    VALUE_MAC,     // exactly 12 hexadecimal digits
};

enum RowFlags : uint16_t {
    ROW_SLOT1_ONLY = 0x01,   // keys are looked for in slot 1 only
    ROW_ALL = 0x02,          // n=all accepted
    ROW_NL_NUMERIC = 0x04,   // "Non-Numeric Input\n"
    ROW_NL_SYMBOLS = 0x08,   // "Incorrect Input Symbols\n"
    ROW_NL_NOINPUT = 0x10,   // "No Input Parameters\n"
    ROW_NL_INVALID = 0x20,   // "Invalid Adapter Number: %d\n" for CHECK_ANY
    ROW_BANG_NUMERIC = 0x40, // a non-numeric n= prints "Non-Numeric Input!"
    // The command changes an adapter: its handler runs holding the adapter's
    // writer lock (writer_lock.h), every adapter's for n=all and a=.
    ROW_CHANGES_ADAPTER = 0x80,
    ROW_CNA = ROW_NL_NUMERIC | ROW_NL_SYMBOLS | ROW_NL_NOINPUT,
};

constexpr int MAX_COMMAND_KEYS = 5;

struct KeySpec {
    // One letter: "x=" or "X=" anywhere in the token; longer: a prefix
    // recognised only at the token's start ("w0=", "m="), in any case.
    const char* key;
    ValueKind kind;
    bool required;
};

// What the generic parser read: per key of the row, the last value seen (null
// when absent) and its number (numeric and hexadecimal kinds).
struct KeyValues {
    const char* value[MAX_COMMAND_KEYS];
    uint32_t number[MAX_COMMAND_KEYS];
    int keyCount; // key occurrences counted (a token can count several keys)
};

struct CommandRow {
    const char* name; // upper case
    TokenRule tokenRule;
    uint8_t tokenLimit;
    const char* syntaxError; // printed with status 27 when the token rule fails
    uint16_t flags;          // RowFlags
    uint8_t minKeys;
    AdapterCheck check;
    Restriction restriction;
    KeySpec keys[MAX_COMMAND_KEYS];
    // Particular checks and the body call after the parse; returns the
    // command's status.
    int32_t (*run)(const CommandRow& row, const KeyValues& kv);
    // When set, replaces the generic parse: called after the token rule. It
    // fills g_args itself; run, when the row has one, follows when it
    // returns 0 (with no key values), else custom does the whole command.
    int32_t (*custom)(const CommandRow& row);
};

extern const CommandRow kCommandRows[];
extern const size_t kCommandRowCount;

// The row of an upper-case command name, or null.
const CommandRow* findCommand(const char* name);

// Output of one message: text ending with "\n" goes through emitText, other
// text through the message line and emitLine.
void say(const char* text);
void sayf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The generic messages of a row (the forms with "\n" where the row asks for
// them); each returns its status.
int32_t failNonNumeric(const CommandRow& row);
int32_t failSymbols(const CommandRow& row);
int32_t failNoInput(const CommandRow& row);

// Adapter check and kind restriction of a row for the n= in g_args (single
// adapter). Return 0 or the status after printing the message.
int32_t checkAdapter(AdapterCheck check, uint16_t flags);
int32_t checkRestriction(Restriction restriction);
