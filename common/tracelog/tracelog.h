// Diagnostic trace shared by hbaset and fwsweep.
//
// Tracing is on only while a file named "qrldbg.log" exists in the program's
// directory; trace text is appended to that file. "RM.INI" in the same
// directory carries LOG_MODE, the mask that switches optional trace groups on.
// An installed suite keeps "qrldbg.log" in its log folder and "RM.INI" in its
// configuration folder instead (platform/plat_paths.h).
// Every trace call is one append write, so lines of processes tracing at the
// same time never mix inside a line. The trace file is never created and
// never written through a link: a link (or a FIFO) named "qrldbg.log" leaves
// tracing off, with one warning on standard error at the start of a run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Trace groups tested against logMode.
constexpr uint32_t TRACE_GROUP_FC = 0x8000;    // FC maintenance, boot parameters, image checks
constexpr uint32_t TRACE_GROUP_NEXA = 0x80000; // NEXA access layer

constexpr size_t TRACE_DIR_MAX = 220;     // longest program directory kept
constexpr size_t TRACE_PATH_SIZE = 256;   // directory plus a file name, terminated
constexpr size_t SETTINGS_LINE_MAX = 131; // longest settings line read; the rest is ignored
constexpr const char* TRACE_FILE_NAME = "qrldbg.log";
constexpr const char* SETTINGS_FILE_NAME = "RM.INI";

// Values read from the settings file. Only logMode changes what is traced; the
// others are kept for completeness.
struct TraceSettings {
    uint32_t logMode = 0;
    uint32_t dbgMode = 0;
    uint32_t param01 = 0;
    uint32_t param02 = 0;
    uint32_t param03 = 0;
    uint32_t param04 = 0;
    uint32_t inSizeR = 0;
    uint32_t outSizeR = 0;
    uint32_t inSizeW = 0;
    uint32_t outSizeW = 0;
    uint8_t fillByte = 0;
    uint8_t remoteHbaWwpn[8] = {};
};

struct TraceState {
    char moduleDirectory[TRACE_DIR_MAX + 1]; // always ends with "/"
    char traceFileName[TRACE_PATH_SIZE];
    char settingsFileName[TRACE_PATH_SIZE];
    TraceSettings settings;
    FILE* console; // where settings warnings go; null means standard output
};

extern TraceState g_trace;

// Back to the start-of-run state: directory "./", settings zero, console stdout.
void traceReset();

// Program directory from a program path: double quotes removed, cut after the
// last "/". A path of 221 characters or more, an empty path or one without "/"
// gives "./". Returns the length written (out always terminated).
size_t traceDirectoryFromPath(const char* programPath, char* out, size_t size);
// Sets moduleDirectory from the running program's path, and the file names
// (in the suite's folders when it is installed).
void traceInitDirectory();
// Uses dir as the program directory (a "/" is added when missing). Returns 0,
// or -1 when dir is empty or too long (state unchanged).
int traceSetDirectory(const char* dir);

// True when the trace file is a regular file (a link is not followed).
bool traceFileExists();
// True when the trace file exists and logMode has a bit of group.
bool traceGroupEnabled(uint32_t group);

// Appends the formatted text as it is.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends "(hh:mm:ss.mmm) (pid) text\n".
void traceLine(const char* text);
// Step trace: the formatted text (as in "[Name] text\n") with the time and
// process prefix. Newlines that begin the text are written before the prefix,
// and a line end is added when the text has none.
void traceStep(const char* format, ...) __attribute__((format(printf, 1, 2)));
// traceStep written only when logMode has a bit of group.
void traceGroup(uint32_t group, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reads a settings file into *out (keys not present keep their values).
// Returns 0, or -1 when the file cannot be opened.
int readSettingsFile(const char* path, TraceSettings* out);
// Reads settingsFileName into g_trace.settings.
int readSettings();

// Start of a run, once the program directory is set (traceInitDirectory):
// a link or special file in place of the trace file is named on standard
// error; when the trace file exists the settings are read, then startText is
// traced as a line.
void traceStartRun(const char* startText);
