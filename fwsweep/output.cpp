// User output (standard output or standard error, and the /log file), the
// report document, and the /xv internal trace.
#include "fwsweep/output.h"

#include <unistd.h>

#include <cstdarg>
#include <string>

#include "platform/plat_safe_io.h"

namespace {

constexpr unsigned kLogMode = 0600;

bool g_silent = false;
bool g_document = false;
FILE* g_log = nullptr;
FILE* g_dbg = nullptr;

std::string vformat(const char* format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(s.data(), s.size(), format, ap);
    s.resize(static_cast<size_t>(n));
    return s;
}

void toLog(const char* text) {
    if (!g_log) return;
    fputs(text, g_log);
    fflush(g_log);
}

// A stream on a file opened with the safe open; null when it cannot be.
FILE* openStream(const char* path, bool append, int* why) {
    int fd = -1;
    *why = append ? plat_open_append(path, kLogMode, &fd) : plat_open_write(path, kLogMode, &fd);
    if (*why != PLAT_OPEN_OK) return nullptr;
    FILE* f = fdopen(fd, append ? "a" : "w");
    if (!f) {
        close(fd);
        *why = PLAT_OPEN_FAILED;
    }
    return f;
}

} // namespace

void outRaw(const char* text) {
    if (!g_silent) {
        // Standard output is flushed first so that text and document keep
        // their order when both channels lead to one place.
        if (g_document) fflush(stdout);
        fputs(text, g_document ? stderr : stdout);
    }
    toLog(text);
}

void outText(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string s = vformat(format, ap);
    va_end(ap);
    outRaw(s.c_str());
}

void docRaw(const char* text) {
    if (!g_silent) fputs(text, stdout);
    toLog(text);
}

void docText(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string s = vformat(format, ap);
    va_end(ap);
    docRaw(s.c_str());
}

void outSetSilent(bool silent) {
    g_silent = silent;
}

void outSetDocumentMode(bool on) {
    g_document = on;
}

bool outDocumentMode() {
    return g_document;
}

int outOpenLog(const char* path) {
    int why = PLAT_OPEN_OK;
    FILE* f = openStream(path, true, &why);
    if (f) g_log = f;
    return why;
}

bool outLogOpen() {
    return g_log != nullptr;
}

void dbgTrace(const char* format, ...) {
    if (!g_dbg) return;
    va_list ap;
    va_start(ap, format);
    vfprintf(g_dbg, format, ap);
    va_end(ap);
}

bool dbgOpen() {
    int why = PLAT_OPEN_OK;
    if (!g_dbg) g_dbg = openStream("dbg.log", false, &why);
    return g_dbg != nullptr;
}

bool dbgIsOpen() {
    return g_dbg != nullptr;
}

void outCloseAll() {
    fflush(stdout);
    if (g_log) fclose(g_log);
    if (g_dbg) fclose(g_dbg);
    g_log = g_dbg = nullptr;
    g_silent = false;
    g_document = false;
}
