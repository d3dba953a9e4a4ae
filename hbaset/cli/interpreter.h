// hbaset's command interpreter: the token table, the argument conventions
// shared by every command, dispatch through the command table, the script
// runner and the command list.
//
// A command is run from the token table: slot 0 is the command name, slots
// 1 .. tokenCount-1 its arguments. Every command leaves its outcome in
// g_run.cluStatus (run_state.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/cli/run_state.h"

// Longest script line the reader takes (characters, line end excluded); a
// longer line is refused with status 51 and not run.
constexpr size_t SCRIPT_LINE_MAX = 127;
constexpr size_t PATTERN_TEXT_MAX = 16;     // dmatest pattern
constexpr size_t PERSONALITY_TEXT_MAX = 20; // changepersonality p=

struct InterpreterState {
    char tokens[MAX_TOKENS][TOKEN_SIZE];
    int tokenCount;       // slots in use, the command name included
    bool stopRequested;   // a command or the user ended the script
    bool testStopRequest; // raised by the loopback tests to end a script early
};

extern InterpreterState g_interp;

// What the command's parser read, for the handlers of the command Parts. The
// whole record is cleared before each command, so a script command never
// sees values of the command before it.
struct CommandArgs {
    // n=: present, the all-adapters form, the 8-bit adapter number and its
    // index (number - 1 on 8 bits, so n=0 gives 255), and the full integer
    // value used by the NIC commands (fullOverflow when it exceeds 32 bits).
    bool haveAdapter;
    bool allAdapters;
    uint8_t adapterNumber;
    int adapterIndex;
    uint32_t adapterFull;
    bool adapterFullOverflow;

    char fileName[TOKEN_SIZE];    // i=, c= or p= (file or text value)
    char adapterName[TOKEN_SIZE]; // download a=
    char pattern[PATTERN_TEXT_MAX + 1];
    char personality[PERSONALITY_TEXT_MAX + 1];
    uint32_t region;       // readconfig r=, jumper r=
    uint32_t length;       // readconfig l=
    uint32_t wwpn[2];      // w0=, w1= of the WWPN commands and boot commands
    uint32_t wwnn[2];      // w0=, w1= of the WWNN commands
    uint32_t lun;          // l= of the boot commands
    uint32_t topology;     // the code handed on: 12, 4, 0 or 8 for t=0..3
    uint32_t bootIndex;    // setAltBoot i= (1..7)
    uint32_t byteCount;    // dmatest c=
    uint32_t repeatCount;  // dmatest r=
    uint32_t selection;    // jumper s=
    uint32_t imageType;    // loadimage t=
    uint32_t offset;       // readvitesse o=
    uint32_t count;        // readvitesse c=
    uint32_t vlanId;       // writevlanprops i=
    uint32_t vlanPriority; // writevlanprops p=
    uint32_t setting;      // networkboot s=
    uint16_t macHigh;      // writesvmac m=: first 4 digits
    uint32_t macLow;       // writesvmac m=: last 8 digits
    bool writeToFile;      // region dumps written to fileName
};

extern CommandArgs g_args;

// Clears g_args (adapterIndex -1).
void clearCommandArgs();

// ---- token table ------------------------------------------------------------------------
// Copies count arguments (at most MAX_TOKENS, each cut to TOKEN_SIZE - 1
// characters) into the token table, clearing the other slots. Returns the
// number of tokens.
int setTokens(const char* const* args, int count);
// Splits a script line at every blank (two blanks give an empty token) after
// printing "Command: %s". An empty line gives 0 and leaves the table as it is.
// A line with more than MAX_TOKENS tokens gives -1 (the table is cleared).
int splitLine(const char* line);

// ---- argument conventions -----------------------------------------------------------------
// Value of key x in token (x= or X= anywhere in it): the text from the
// token's third character on; null when the token does not carry the key.
const char* keyValue(const char* token, char key);
// Keys recognised only at the start of the token (w0=, w1=, m=): the text
// after the prefix, case-insensitive, or null.
const char* prefixKeyValue(const char* token, const char* prefix);
// Non-empty and digits only; in a script run a carriage return or line feed
// is also accepted.
bool isNumericText(const char* s);
// Decimal value of a numeric text (digits only; reading stops at the first
// other character), saturated at UINT32_MAX.
uint32_t numericValue(const char* s);
// Upper-cases s in place; true when it is non-empty and holds only 0-9 and
// A-F (carriage return and line feed also accepted in a script run).
bool upperHexText(char* s);
// True when the value is the all-adapters form ("all" or "ALL" at its start).
bool isAllAdapters(const char* value);

// Reads an n= value into g_args: the all-adapters form, or a numeric value of
// any length (no overflow) reduced to 8 bits. Returns 57 (nothing printed)
// when it is neither; else 0.
int32_t parseAdapterValue(const char* value);

// ---- running commands ---------------------------------------------------------------------
// Runs the token table as one command: clears g_args, sets cluStatus 0 and
// dispatches by the upper-cased name. Returns cluStatus.
int32_t runCommand(int tokenCount);
// Runs a script file (repeat and stop rules, log head and tail lines).
// Leaves the last command's status in cluStatus and returns it.
int32_t runScript(const char* path);
// Script start for an "@file" argument: script mode on, log file opened,
// "Run Script File %s", runScript, script mode off, log closed. Returns
// cluStatus.
int32_t runScriptFile(const char* arg);
// Prints the command list (used with no argument and by help).
void printCommandList();
// Prints the help text of a topic (any case). Returns 0, or 27 after
// "Syntax Error\n" for a topic without text.
int32_t printHelpTopic(const char* topic);
