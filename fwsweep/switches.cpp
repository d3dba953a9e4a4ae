// Switch reading: every argument is one switch, compared without regard to
// case and as a whole (only the forms with "=" take a value).
//
// How to add a switch: add a row to kFlagSwitches when it only sets an option;
// a switch with a value gets its own reader below. Document it in help.cpp.
#include "fwsweep/switches.h"

#include <strings.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/output.h"
#include "platform/plat_safe_io.h"

namespace {

struct FlagSwitch {
    const char* name; // without the slash
    bool RunOptions::*option;
    bool RunOptions::*second; // also set, or null
};

const FlagSwitch kFlagSwitches[] = {
    {"auto", &RunOptions::autoMode, nullptr},
    {"a", &RunOptions::autoMode, nullptr},
    {"downgrade", &RunOptions::downgrade, nullptr},
    {"down", &RunOptions::downgrade, nullptr},
    {"d", &RunOptions::downgrade, nullptr},
    {"g", &RunOptions::downgrade, nullptr},
    {"rewrite", &RunOptions::rewrite, nullptr},
    {"e", &RunOptions::rewrite, nullptr},
    {"update", &RunOptions::update, nullptr},
    {"up", &RunOptions::update, nullptr},
    {"u", &RunOptions::update, nullptr},
    {"ff", &RunOptions::forceFw, nullptr},
    {"f", &RunOptions::forceFw, &RunOptions::forceBios},
    {"vpd", &RunOptions::vpd, nullptr},
    {"preview", &RunOptions::preview, nullptr},
    {"p", &RunOptions::preview, nullptr},
    {"query", &RunOptions::query, nullptr},
    {"q", &RunOptions::query, nullptr},
    {"verbose", &RunOptions::verbose, nullptr},
    {"v", &RunOptions::verbose, nullptr},
    {"s", &RunOptions::silent, nullptr},
    {"xml", &RunOptions::xml, nullptr},
    {"json", &RunOptions::json, nullptr},
    {"history", &RunOptions::history, nullptr},
    {"verify", &RunOptions::verify, nullptr},
    {"?", &RunOptions::help, nullptr},
    {"help", &RunOptions::help, nullptr},
    {"h", &RunOptions::help, nullptr},
};

// The error of the switch reading, for the report documents ("Unknown
// switch = /x"); the text form prints it as "<program>: Error - <text> -
// Return Code=4".
std::string g_switchError;

int switchError(const char* body, const char* arg = nullptr) {
    char text[512];
    if (arg)
        snprintf(text, sizeof text, body, arg);
    else
        snprintf(text, sizeof text, "%s", body);
    g_switchError = text;
    outText("\n%s: Error - %s - Return Code=%d\n\n", FWS_PROGRAM, text, FWS_RC_SWITCH_ERROR);
    return FWS_RC_SWITCH_ERROR;
}

// The value after "name=" when arg (without its slash) has that form: null when
// it is another switch, "" when nothing follows the "=".
const char* valueOf(const char* body, const char* name) {
    size_t n = strlen(name);
    if (strncasecmp(body, name, n) != 0 || body[n] != '=') return nullptr;
    return body + n + 1;
}

struct ValueSwitch {
    const char* name;
    char* dest;
    size_t size;
    const char* tooLong; // the value does not fit
    const char* noValue; // the switch without a value
};

// /iv=, /id= and /fmd=, writing into *opt.
std::array<ValueSwitch, 3> valueSwitches(RunOptions* opt) {
    return {{
        {"iv", opt->imageVersionFile, sizeof opt->imageVersionFile, "Image version command error",
         "Invalid use of the image version switch. This switch requires an argument"},
        {"id", opt->imageDir, sizeof opt->imageDir, "image directory command error",
         "Invalid use of the image directory switch. This switch requires an argument"},
        {"fmd", opt->matrixDir, sizeof opt->matrixDir, "fwmatrix.txt directory command error",
         "Invalid use of the fwmatrix.txt directory switch. This switch requires an "
         "argument"},
    }};
}

// The switches read by readLogSwitch, readRamDrive, readHistoryFile and
// readOne's /xv test.
const char* const kOtherSwitches[] = {"log", "l", "ramdrive", "xv", "historyfile"};

// /iv=, /id= and /fmd=. Returns -1 when arg is none of them, else 0 or 4.
int readValueSwitch(const char* body, const char* arg, RunOptions* opt) {
    (void)arg;
    for (const ValueSwitch& s : valueSwitches(opt)) {
        const char* value = valueOf(body, s.name);
        if (value == nullptr && strcasecmp(body, s.name) != 0) continue;
        if (value == nullptr || *value == '\0') return switchError(s.noValue);
        // A value that does not fit is refused: a cut path would name another file.
        if (strlen(value) >= s.size) return switchError(s.tooLong);
        copyBounded(s.dest, s.size, value);
        if (s.dest == opt->imageVersionFile) opt->imageVersion = true;
        if (s.dest == opt->imageDir) opt->haveImageDir = true;
        if (s.dest == opt->matrixDir) opt->haveMatrixDir = true;
        return 0;
    }
    return -1;
}

// /log, /l, /log=<file>, /l=<file>. Returns -1 when arg is neither, else 0 or 4.
int readLogSwitch(const char* body, RunOptions* opt) {
    const char* value = valueOf(body, "log");
    if (!value) value = valueOf(body, "l");
    bool bare = strcasecmp(body, "log") == 0 || strcasecmp(body, "l") == 0;
    if (!value && !bare) return -1;
    if (opt->logOpen) return switchError("cannot open multiple log files");
    const char* name = (value && *value) ? value : "fwsweep.log";
    int why = outOpenLog(name);
    // A link or special file where the log should be is named as the reason.
    if (why == PLAT_OPEN_LINK || why == PLAT_OPEN_NOT_REGULAR) {
        char body[64];
        snprintf(body, sizeof body, "unable to open logfile %%s: %s", plat_open_result_text(why));
        return switchError(body, name);
    }
    if (why != PLAT_OPEN_OK) return switchError("unable to open logfile %s", name);
    opt->logOpen = true;
    return 0;
}

// /historyfile=<file>. Returns -1 when arg is not one, else 0 or 4.
int readHistoryFile(const char* body, RunOptions* opt) {
    const char* value = valueOf(body, "historyfile");
    if (!value && strcasecmp(body, "historyfile") != 0) return -1;
    if (!value || !*value)
        return switchError("Invalid use of the history file switch. This switch requires an "
                           "argument");
    opt->historyFile = value;
    return 0;
}

// /ramdrive or /ramdrive=<letter>[:]. Returns -1 when arg is not one, else 0 or 4.
int readRamDrive(const char* body, const char* arg, RunOptions* opt) {
    if (strcasecmp(body, "ramdrive") == 0) {
        opt->ramDrive = true;
        return 0;
    }
    const char* value = valueOf(body, "ramdrive");
    if (!value) return -1;
    bool letter = value[0] != '\0' && (value[1] == '\0' || (value[1] == ':' && value[2] == '\0'));
    if (!letter) return switchError("Unknown switch = %s", arg);
    opt->ramDrive = true;
    opt->ramDriveLetter = value[0];
    return 0;
}

void traceSwitches(const RunOptions& o) {
    dbgTrace("[Command line switches]\n");
    dbgTrace("auto      : %d\n", o.autoMode);
    dbgTrace("downgrade : %d\n", o.downgrade);
    dbgTrace("forceFw   : %d\n", o.forceFw);
    dbgTrace("forceBios : %d\n", o.forceBios);
    dbgTrace("preview   : %d\n", o.preview);
    dbgTrace("query     : %d\n", o.query);
    dbgTrace("ramDrive  : %d\n", o.ramDrive);
    dbgTrace("rewrite   : %d\n", o.rewrite);
    dbgTrace("update    : %d\n", o.update);
    dbgTrace("verbose   : %d\n", o.verbose);
}

// One argument; returns 0 or 4 (the result of the switch reading).
int readOne(const char* arg, RunOptions* opt, bool* xvFailed) {
    // The one switch in the double-dash form other programs use for it.
    if (strcasecmp(arg, "--json") == 0) {
        opt->json = true;
        return 0;
    }
    if (arg[0] != '/') return switchError("Unknown switch = %s", arg);
    const char* body = arg + 1;
    if (*body == '\0') return switchError("Image version command error");
    for (const FlagSwitch& s : kFlagSwitches) {
        if (strcasecmp(body, s.name) != 0) continue;
        opt->*s.option = true;
        if (s.second) opt->*s.second = true;
        if (s.option == &RunOptions::silent) outSetSilent(true);
        return 0;
    }
    if (strcasecmp(body, "xv") == 0) {
        // Leaves the result as it is: /xv alone is still a run without a switch.
        if (!dbgIsOpen() && !dbgOpen()) *xvFailed = true;
        return -1;
    }
    int r = readValueSwitch(body, arg, opt);
    if (r < 0) r = readLogSwitch(body, opt);
    if (r < 0) r = readRamDrive(body, arg, opt);
    if (r < 0) r = readHistoryFile(body, opt);
    if (r < 0) return switchError("Unknown switch = %s", arg);
    return r;
}

} // namespace

std::vector<std::string> knownSwitchNames() {
    std::vector<std::string> names;
    for (const FlagSwitch& s : kFlagSwitches)
        names.push_back(s.name);
    RunOptions probe;
    for (const ValueSwitch& s : valueSwitches(&probe))
        names.push_back(s.name);
    names.insert(names.end(), std::begin(kOtherSwitches), std::end(kOtherSwitches));
    return names;
}

bool hasOperation(const RunOptions& o) {
    return o.downgrade || o.rewrite || o.update || o.forceFw || o.forceBios;
}

bool isQueryOnly(const RunOptions& o) {
    return o.query && !hasOperation(o) && !o.help && !o.autoMode;
}

void prescanDocument(int argc, const char* const* argv, RunOptions* opt) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strcasecmp(a, "/json") == 0 || strcasecmp(a, "--json") == 0) opt->json = true;
        if (strcasecmp(a, "/xml") == 0) opt->xml = true;
    }
}

const std::string& switchErrorText() {
    return g_switchError;
}

int readSwitches(int argc, const char* const* argv, RunOptions* opt) {
    int result = FWS_RC_SWITCH_ERROR;
    bool xvFailed = false;
    for (int i = 1; i < argc; ++i) {
        int r = readOne(argv[i], opt, &xvFailed);
        if (r == FWS_RC_SWITCH_ERROR) return r;
        if (r == 0) result = 0;
    }
    if (opt->ramDriveLetter == 0) {
        const char* sys = getenv("SYSTEMDRIVE");
        opt->ramDriveLetter = (sys && *sys) ? sys[0] : 'C';
    }
    if (xvFailed) outText("\n%s: Error - unable to open %s!\n", FWS_PROGRAM, "dbg.log");
    traceSwitches(*opt);
    if (argc <= 1) {
        opt->help = true;
        result = 0;
    }
    return result;
}

int checkOptionRules(RunOptions* o) {
    if (o->forceFw || o->forceBios) o->downgrade = o->rewrite = o->update = false;
    const char* text = nullptr;
    if (o->rewrite && (o->update || o->downgrade))
        text = "\nInvalid options: /rewrite cannot be used with /update or /downgrade";
    else if (o->downgrade && (o->rewrite || o->update))
        text = "\nInvalid options: /downgrade cannot be used with /update or /rewrite";
    else if (o->update && (o->downgrade || o->rewrite))
        text = "\nInvalid options: /update cannot be used with /downgrade or /rewrite";
    else if (o->autoMode && !hasOperation(*o))
        text = "\nInvalid options: /auto requires an additional operational switch";
    else if (o->vpd && !hasOperation(*o) && !o->xml && !o->query)
        text = "\nInvalid options: /vpd requires an additioanl operational switch";
    else if (o->xml && o->json)
        text = "\nInvalid options: /xml cannot be used with /json";
    else if (o->history && (hasOperation(*o) || o->query || o->imageVersion))
        text = "\nInvalid options: /history cannot be used with an operational switch";
    if (!text) return 0;
    g_switchError = text + 1;
    outText("%s", text);
    outText("\n%s: Error - invalid switch options - Return Code=%d\n\n", FWS_PROGRAM,
            FWS_RC_INVALID_OPTIONS);
    return FWS_RC_INVALID_OPTIONS;
}
