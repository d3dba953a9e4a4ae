// The script runner: one command per line, comment lines, the repeat rule,
// the user's stop key and the head and tail lines of the script log.
#include <cstdio>
#include <cstring>

#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "platform/plat_fs.h"
#include "platform/plat_time.h"

namespace {

enum LineRead { LINE_READ, LINE_TOO_LONG, LINE_UNENDING, LINE_END_OF_FILE };

// Characters of a too-long line that are read past and dropped before the
// script is given up: a line without an end (a file of one endless line)
// must not keep the runner reading.
constexpr size_t kScriptDiscardMax = 1u << 16;

// Reads one line without its line end into buf (SCRIPT_LINE_MAX + 1 bytes).
// A line longer than SCRIPT_LINE_MAX is read to its end, its first
// SCRIPT_LINE_MAX characters are kept and LINE_TOO_LONG is returned; a
// carriage return just before the line feed is part of the line end. A line
// that goes on past kScriptDiscardMax further characters is LINE_UNENDING.
LineRead readScriptLine(FILE* f, char* buf) {
    size_t n = 0;
    size_t overflow = 0;
    bool lastOverflowIsCr = false;
    bool any = false;
    int c;
    while ((c = fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n < SCRIPT_LINE_MAX) {
            buf[n++] = static_cast<char>(c);
        } else if (++overflow > kScriptDiscardMax) {
            buf[n] = '\0';
            return LINE_UNENDING;
        } else {
            lastOverflowIsCr = c == '\r';
        }
    }
    buf[n] = '\0';
    if (!any) return LINE_END_OF_FILE;
    if (overflow > 1 || (overflow == 1 && !lastOverflowIsCr)) return LINE_TOO_LONG;
    return LINE_READ;
}

// Removes trailing blanks and control characters.
void trimLine(char* line) {
    size_t n = strlen(line);
    while (n > 0 && static_cast<unsigned char>(line[n - 1]) < 33)
        line[--n] = '\0';
}

// The local time in the classic 24-character form, "Wed Jun 30 21:49:08 1993".
void classicTime(char* out, size_t size) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    PlatLocalTime t;
    plat_local_time(&t);
    int month = (t.month >= 1 && t.month <= 12) ? t.month : 1;
    int year = t.year;
    int y = month < 3 ? year - 1 : year;
    int weekday = (y + y / 4 - y / 100 + y / 400 + kMonthOffsets[month - 1] + t.day) % 7;
    snprintf(out, size, "%s %s %2u %02u:%02u:%02u %d", kDays[weekday], kMonths[month - 1],
             static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
             static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second), year);
}

void logStamp(const char* what) {
    if (g_msg.logFile == nullptr) return;
    char when[64];
    classicTime(when, sizeof when);
    emitLog("\n>>>>>>> Test Script %s on %s\n\n", what, when);
}

void reportStatus() {
    if (cluSucceeded(g_run.cluStatus)) {
        setMessageLine("Command completed, NO Error");
    } else {
        setMessageLine("Reported Error of %lu",
                       static_cast<unsigned long>(static_cast<uint32_t>(g_run.cluStatus)));
    }
}

// True when the user pressed s (either case) to stop the script.
bool userStopped() {
    if (!plat_key_pressed()) return false;
    int c = getchar();
    return c == 's' || c == 'S';
}

} // namespace

int32_t runScript(const char* path) {
    g_interp.testStopRequest = false;
    g_interp.stopRequested = false;
    uint32_t repeatCount = 1;
    uint32_t repeatPass = 0;

    // Only a regular file is a script: a directory, a device or a FIFO is
    // refused like a missing file, and its open never blocks.
    FILE* f = openCommandInput(path);
    if (f == nullptr) {
        emitConsole("Error opening %s!\n", path);
        g_run.cluStatus = CLU_FILE_OPEN;
        return g_run.cluStatus;
    }
    logStamp("starts");

    char line[SCRIPT_LINE_MAX + 1];
    bool stopped = false;
    for (;;) {
        LineRead read = readScriptLine(f, line);
        if (read == LINE_END_OF_FILE) break;
        if (g_interp.testStopRequest) {
            g_interp.testStopRequest = false;
            break;
        }
        if (read == LINE_UNENDING) {
            setMessageLine("Invalid argument length:\n%s", line);
            emitLine();
            g_run.cluStatus = CLU_ARGUMENT_LENGTH;
            reportStatus();
            emitLine();
            break;
        }
        if (read == LINE_TOO_LONG) {
            // Never run, and its remainder is never taken for a line of its own.
            setMessageLine("Invalid argument length:\n%s", line);
            emitLine();
            g_run.cluStatus = CLU_ARGUMENT_LENGTH;
            reportStatus();
        } else {
            trimLine(line);
            if (line[0] == '\0' || line[0] == ';') {
                // A comment; a line of blanks is one too.
                if (userStopped()) {
                    stopped = true;
                    break;
                }
                continue;
            }
            setMessageLine("%s", line);
            emitLine();
            int count = splitLine(line);
            if (count < 0) {
                setMessageLine("Invalid number of arguments");
                emitLine();
                g_run.cluStatus = CLU_SYNTAX;
                reportStatus();
            } else if (strncmp(g_interp.tokens[0], "repeat", 6) == 0) {
                if (repeatPass == 0 && count >= 2) {
                    const char* v = keyValue(g_interp.tokens[1], 'r');
                    if (v != nullptr) {
                        if (!isNumericText(v)) {
                            fclose(f);
                            setMessageLine("Non-Numeric Input Parameter");
                            emitLine();
                            g_run.cluStatus = CLU_NON_NUMERIC;
                            return g_run.cluStatus;
                        }
                        repeatCount = numericValue(v);
                    }
                }
                if (repeatPass < repeatCount) {
                    ++repeatPass;
                    rewind(f);
                    setMessageLine("***Repeat series of tests #%u", repeatPass);
                } else {
                    setMessageLine("End of Repeating %u times", repeatCount);
                    emitLine();
                    break;
                }
            } else {
                runCommand(count);
                reportStatus();
            }
        }
        emitLine();
        setMessageLine("%s", "");
        emitLine();
        if (userStopped()) {
            stopped = true;
            break;
        }
    }
    if (!stopped && ferror(f)) {
        emitConsole("Error reading %s!\n", path);
        g_run.cluStatus = CLU_FILE_OPEN;
    }
    if (stopped) {
        setMessageLine("Test STOPPED by User");
        emitLine();
        g_run.cluStatus = CLU_TEST_STOPPED;
        g_interp.stopRequested = true;
    }
    fclose(f);
    logStamp("stops");
    return g_run.cluStatus;
}

int32_t runScriptFile(const char* arg) {
    const char* path = (arg[0] != '\0') ? arg + 1 : arg;
    g_msg.scriptMode = true;
    if (openLogFile() != 0) emitConsole("Open Log File Error\n");
    setMessageLine("Run Script File %s", path);
    emitLine();
    runScript(path);
    g_msg.scriptMode = false;
    closeLogFile();
    return g_run.cluStatus;
}
