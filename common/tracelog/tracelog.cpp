// Trace file, trace lines and the program directory.
#include "common/tracelog/tracelog.h"

#include "common/bounded_text.h"
#include "platform/plat_files.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_time.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstring>
#include <string>

TraceState g_trace = {"./", "./qrldbg.log", "./RM.INI", {}, nullptr};

namespace {

constexpr size_t kExePathSize = 4096;

void setFileNames() {
    snprintf(g_trace.traceFileName, sizeof g_trace.traceFileName, "%s%s", g_trace.moduleDirectory,
             TRACE_FILE_NAME);
    snprintf(g_trace.settingsFileName, sizeof g_trace.settingsFileName, "%s%s",
             g_trace.moduleDirectory, SETTINGS_FILE_NAME);
}

// dest = the suite folder of kind, "/" and name; unchanged when the folder is
// unknown or the name does not fit.
void suiteFile(char* dest, size_t size, PlatSuiteDir kind, const char* name) {
    char dir[TRACE_PATH_SIZE];
    char path[TRACE_PATH_SIZE];
    if (plat_suite_dir(kind, dir, sizeof dir) == 0) return;
    int n = snprintf(path, sizeof path, "%s/%s", dir, name);
    if (n > 0 && static_cast<size_t>(n) < sizeof path) copyBounded(dest, size, path);
}

// Formats into text, whatever its length.
void formatText(std::string& text, const char* format, va_list ap) {
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) {
        text.clear();
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
        return;
    }
    text.assign(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(text.data(), text.size(), format, ap);
    text.resize(static_cast<size_t>(n));
}

void appendRecord(const std::string& record) {
    if (record.empty() || !traceFileExists()) return;
    // A file that cannot be appended to is skipped silently. The append never
    // creates the file and never follows a link put in its place.
    (void)plat_append_log(g_trace.traceFileName, record.data(), record.size());
}

void appendPrefix(std::string& record) {
    PlatLocalTime t{};
    plat_local_time(&t);
    char prefix[64];
    snprintf(prefix, sizeof prefix, "(%02u:%02u:%02u.%03u) (%u) ", unsigned{t.hour},
             unsigned{t.minute}, unsigned{t.second}, unsigned{t.millisecond}, unsigned{plat_pid()});
    record += prefix;
}

void stepRecord(const char* format, va_list ap) {
    std::string text;
    formatText(text, format, ap);
    size_t lead = 0;
    while (lead < text.size() && text[lead] == '\n')
        ++lead;
    std::string record(text, 0, lead);
    if (lead < text.size()) {
        appendPrefix(record);
        record.append(text, lead, std::string::npos);
        if (record.back() != '\n') record += '\n';
    }
    appendRecord(record);
}

} // namespace

void traceReset() {
    g_trace = TraceState{};
    snprintf(g_trace.moduleDirectory, sizeof g_trace.moduleDirectory, "./");
    setFileNames();
}

size_t traceDirectoryFromPath(const char* programPath, char* out, size_t size) {
    if (out == nullptr || size == 0) return 0;
    char path[TRACE_DIR_MAX + 1];
    size_t n = 0;
    size_t lastSlash = 0;
    bool haveSlash = false;
    size_t rawLength = programPath ? strnlen(programPath, TRACE_DIR_MAX + 1) : 0;
    if (rawLength > 0 && rawLength <= TRACE_DIR_MAX) {
        for (size_t i = 0; i < rawLength; ++i) {
            if (programPath[i] == '"') continue;
            path[n] = programPath[i];
            if (path[n] == '/') {
                lastSlash = n;
                haveSlash = true;
            }
            ++n;
        }
    }
    size_t keep = haveSlash ? lastSlash + 1 : 0;
    if (keep == 0) {
        snprintf(out, size, "./");
        return strlen(out);
    }
    if (keep >= size) keep = size - 1;
    memcpy(out, path, keep);
    out[keep] = '\0';
    return keep;
}

void traceInitDirectory() {
    char exe[kExePathSize];
    if (plat_exe_path(exe, sizeof exe) == 0) exe[0] = '\0';
    traceDirectoryFromPath(exe, g_trace.moduleDirectory, sizeof g_trace.moduleDirectory);
    setFileNames();
    // Installed, the trace file is in the suite's log folder and the settings
    // file in its configuration folder.
    if (!plat_suite_installed()) return;
    suiteFile(g_trace.traceFileName, sizeof g_trace.traceFileName, PLAT_DIR_LOG, TRACE_FILE_NAME);
    suiteFile(g_trace.settingsFileName, sizeof g_trace.settingsFileName, PLAT_DIR_CONFIG,
              SETTINGS_FILE_NAME);
}

int traceSetDirectory(const char* dir) {
    if (dir == nullptr) return -1;
    size_t len = strnlen(dir, TRACE_DIR_MAX + 1);
    if (len == 0 || len > TRACE_DIR_MAX) return -1;
    bool slash = dir[len - 1] == '/';
    if (!slash && len + 1 > TRACE_DIR_MAX) return -1;
    snprintf(g_trace.moduleDirectory, sizeof g_trace.moduleDirectory, "%.*s%s",
             static_cast<int>(len), dir, slash ? "" : "/");
    setFileNames();
    return 0;
}

bool traceFileExists() {
    struct stat st;
    return lstat(g_trace.traceFileName, &st) == 0 && S_ISREG(st.st_mode);
}

bool traceGroupEnabled(uint32_t group) {
    return (g_trace.settings.logMode & group) != 0 && traceFileExists();
}

void trace(const char* format, ...) {
    if (!traceFileExists()) return;
    std::string text;
    va_list ap;
    va_start(ap, format);
    formatText(text, format, ap);
    va_end(ap);
    appendRecord(text);
}

void traceLine(const char* text) {
    if (!traceFileExists()) return;
    std::string record;
    appendPrefix(record);
    if (text) record += text;
    record += '\n';
    appendRecord(record);
}

void traceStep(const char* format, ...) {
    if (!traceFileExists()) return;
    va_list ap;
    va_start(ap, format);
    stepRecord(format, ap);
    va_end(ap);
}

void traceGroup(uint32_t group, const char* format, ...) {
    if (!traceGroupEnabled(group)) return;
    va_list ap;
    va_start(ap, format);
    stepRecord(format, ap);
    va_end(ap);
}

void traceStartRun(const char* startText) {
    // A link or a special file named like the trace file switches tracing off;
    // the one warning goes to standard error, away from output others parse.
    PlatFileStatus planted = plat_log_target_status(g_trace.traceFileName);
    if (planted != PLAT_FILE_OK) {
        fprintf(stderr, "%s is %s: refused\n", g_trace.traceFileName,
                plat_file_status_text(planted));
        fflush(stderr);
    }
    if (traceFileExists()) readSettings();
    traceLine(startText);
}
