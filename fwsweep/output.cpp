// User output (standard output and the /log file) and the /xv internal trace.
#include "fwsweep/output.h"

#include <cstdarg>
#include <string>

namespace {

bool g_silent = false;
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

} // namespace

void outRaw(const char* text) {
    if (!g_silent) fputs(text, stdout);
    if (g_log) {
        fputs(text, g_log);
        fflush(g_log);
    }
}

void outText(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string s = vformat(format, ap);
    va_end(ap);
    outRaw(s.c_str());
}

void outSetSilent(bool silent) {
    g_silent = silent;
}

bool outOpenLog(const char* path) {
    FILE* f = fopen(path, "a");
    if (!f) return false;
    g_log = f;
    return true;
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
    if (!g_dbg) g_dbg = fopen("dbg.log", "w");
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
}
