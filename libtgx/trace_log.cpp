// Trace log of the library: the settings file "LIBTGX.ini", the log file
// "LIBTGX.LOG" beside the library (in the suite's configuration and log folders
// when it is installed), and the trace functions every export calls.
// Processes that load the library share the log file and serialise their
// writes with a cross-process named mutex.
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "libtgx/tgx_internal.h"

uint32_t g_dbgPrint;
uint32_t g_kdPrint;

namespace {

const char kLogMutexName[] = "Global\\LibtgxLogFileMutex";
const char kSettingsName[] = "LIBTGX.ini";
const char kLogName[] = "LIBTGX.LOG";
const uint32_t kLogWaitMs = 5000;
const size_t kDebugMessageMax = 1024; // formatted message of the debugger channel
const size_t kDebugLineMax = 1023;    // whole debugger line
const size_t kDebugTraceMax = 255;    // DebugTrace message
const size_t kSettingsPiece = 80;     // lines are read in pieces of at most 79 characters

// Held open for the life of the library by the process that found the name new.
PlatNamedMutex g_logMutexKeep;
// Serialises the hex dumps of this process.
PlatMutex g_dumpMutex;
// Executable name shown in every trace line.
char g_progName[TGX_PATH_MAX];

// The debugger channel of this port is the standard error stream, written only
// while KD_PRINT is on (an unattended debugger channel shows nothing).
void debug_output(const char* text) {
    if (!g_kdPrint) return;
    size_t len = strlen(text);
    while (len > 0) {
        ssize_t n = write(2, text, len);
        if (n <= 0) return;
        text += n;
        len -= (size_t)n;
    }
}

// Base name of the executable without its last extension; the whole base name
// when it has no dot.
void set_program_name() {
    char exe[4096];
    g_progName[0] = '\0';
    if (plat_exe_path(exe, sizeof exe) == 0) return;
    const char* base = strrchr(exe, '/');
    base = base ? base + 1 : exe;
    size_t len = strlen(base);
    const char* dot = strrchr(base, '.');
    if (dot && dot != base) len = (size_t)(dot - base);
    if (len >= sizeof g_progName) len = sizeof g_progName - 1;
    memcpy(g_progName, base, len);
    g_progName[len] = '\0';
}

// Folder of the settings file (PLAT_DIR_CONFIG) or the log (PLAT_DIR_LOG): the
// library directory in the build tree, the suite's folder when it is installed
// (a log beside an installed library would land in the system's library
// folder). False when there is none.
bool file_folder(PlatSuiteDir kind, char* dir, size_t size) {
    if (!plat_suite_installed()) return copyBounded(dir, size, g_tgx.libDir) > 0;
    return plat_suite_dir(kind, dir, size) > 0;
}

// The log opened for appending: created private when missing, never through
// a link put in its place, never a FIFO or a device. Null when it cannot be.
FILE* open_log() {
    return plat_fopen_log(g_tgx.logPath, PLAT_MODE_LOG, true, nullptr);
}

// Starts a fresh log: empties the log file (created when missing).
void empty_log() {
    if (!g_tgx.logPath[0]) return;
    PlatFileStatus why = PLAT_FILE_OK;
    int fd = plat_open_log(g_tgx.logPath, PLAT_MODE_LOG, true, true, &why);
    if (fd >= 0) {
        close(fd);
    } else if (why == PLAT_FILE_LINK || why == PLAT_FILE_NOT_REGULAR) {
        // Tracing never fails a caller; the one word of it goes to standard error.
        fprintf(stderr, "%s is %s: refused\n", g_tgx.logPath, plat_file_status_text(why));
    }
}

// Value of a settings line: an unsigned decimal number that ends at the first
// end of line, tab, space or end of text; 0 when it does not start with a digit.
uint32_t settings_value(const char* v) {
    uint64_t n = 0;
    for (; *v >= '0' && *v <= '9'; ++v) {
        n = n * 10 + (uint64_t)(*v - '0');
        if (n > 0xFFFFFFFFull) n = 0xFFFFFFFFull;
    }
    return (uint32_t)n;
}

} // namespace

bool tgx_read_settings(const char* path, uint32_t* dbg, uint32_t* kd) {
    // A FIFO or device named like the settings file is not read: the library
    // loads inside every program that links it and must never wait here.
    FILE* f = plat_fopen_input(path, nullptr);
    if (!f) return false;
    char piece[kSettingsPiece];
    while (fgets(piece, sizeof piece, f)) {
        char* eq = strchr(piece, '=');
        if (!eq) continue;
        *eq = '\0';
        uint32_t value = settings_value(eq + 1);
        if (strcmp(piece, "DBG_PRINT") == 0)
            *dbg = value;
        else if (strcmp(piece, "KD_PRINT") == 0)
            *kd = value;
    }
    fclose(f);
    return true;
}

void tgx_log_startup() {
    set_program_name();
    if (!g_dumpMutex) g_dumpMutex = plat_mutex_create();

    g_dbgPrint = 0;
    g_kdPrint = 0;
    char dir[TGX_PATH_MAX];
    char settings[TGX_PATH_MAX + 16];
    if (file_folder(PLAT_DIR_CONFIG, dir, sizeof dir))
        snprintf(settings, sizeof settings, "%s/%s", dir, kSettingsName);
    else
        snprintf(settings, sizeof settings, "%s", kSettingsName);
    tgx_read_settings(settings, &g_dbgPrint, &g_kdPrint);

    g_tgx.logPath[0] = '\0';
    if (file_folder(PLAT_DIR_LOG, dir, sizeof dir)) {
        int n = snprintf(g_tgx.logPath, sizeof g_tgx.logPath, "%s/%s", dir, kLogName);
        if (n < 0 || (size_t)n >= sizeof g_tgx.logPath) g_tgx.logPath[0] = '\0';
    }

    if (g_dbgPrint) {
        bool existed = false;
        PlatNamedMutex m = plat_named_mutex_open(kLogMutexName, &existed);
        if (!m) {
            printf("CreateMutex error: %d\n", (int)plat_last_error());
        } else if (existed) {
            // Another process is logging: append to its file.
            plat_named_mutex_close(m);
        } else {
            // First user of the name: keep it alive and start a fresh log.
            if (g_logMutexKeep) plat_named_mutex_close(g_logMutexKeep);
            g_logMutexKeep = m;
            empty_log();
        }
    }
    // With file tracing off the log is left as it is: a load that writes
    // nothing has no reason to destroy what earlier runs wrote.

    static const char kStars[] = "******************************************************\n";
    static_assert(sizeof kStars == 56, "54 asterisks and a newline");
    TraceLog("%s", kStars);
    TraceLog("%s (%s %s %s)\n", "LibTgx Error and Trace Log File", TGX_LIB_VERSION,
             TGX_LIB_PLATFORM, "");
    TraceLog("%s", kStars);
}

void tgx_log_shutdown() {
    if (g_logMutexKeep) plat_named_mutex_close(g_logMutexKeep);
    g_logMutexKeep = nullptr;
    if (g_dumpMutex) plat_mutex_destroy(g_dumpMutex);
    g_dumpMutex = nullptr;
}

void TraceLog(const char* fmt, ...) {
    PlatLocalTime now;
    plat_local_time(&now);
    if (!g_dbgPrint && !g_kdPrint) return;

    PlatNamedMutex m = plat_named_mutex_open(kLogMutexName, nullptr);
    if (!m) return;
    if (plat_named_mutex_wait(m, kLogWaitMs) != PLAT_WAIT_OK) {
        plat_named_mutex_close(m);
        return;
    }

    char prefix[TGX_PATH_MAX + 32];
    snprintf(prefix, sizeof prefix, "[%02d:%02d:%02d] %s: ", now.hour, now.minute, now.second,
             g_progName);

    if (g_dbgPrint && g_tgx.logPath[0]) {
        FILE* f = open_log();
        if (f) {
            fputs(prefix, f);
            va_list ap;
            va_start(ap, fmt);
            vfprintf(f, fmt, ap);
            va_end(ap);
            fclose(f);
        }
    }
    if (g_kdPrint) {
        char message[kDebugMessageMax];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(message, sizeof message, fmt, ap);
        va_end(ap);
        char line[kDebugLineMax + 1];
        // Cut to the line size: the return value only tells whether anything was made.
        if (snprintf(line, sizeof line, "libTGX:%s%s", prefix, message) > 0) debug_output(line);
    }

    plat_named_mutex_release(m);
    plat_named_mutex_close(m);
}

void DebugTrace(const char* fmt, ...) {
    char message[kDebugTraceMax + 1];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    debug_output(message);
}

void TraceDump(const void* bytes, uint32_t count) {
    if (!g_dbgPrint || !g_dumpMutex || !g_tgx.logPath[0]) return;
    if (count && !bytes) return;

    // The dump mutex is local, but the wait stays bounded like every log wait.
    uint64_t start = plat_tick_ms();
    while (!plat_mutex_trylock(g_dumpMutex)) {
        if (plat_tick_ms() - start >= kLogWaitMs) return;
        plat_sleep_ms(1);
    }
    FILE* f = open_log();
    if (f) {
        const uint8_t* p = static_cast<const uint8_t*>(bytes);
        fputs("\n     Dump Bytes\n", f);
        if (count == 0) fputs("\n", f);
        for (uint32_t off = 0; off < count; off += 16) {
            char hex[16 * 3 + 1];
            size_t pos = 0;
            uint32_t end = count - off < 16 ? count : off + 16;
            for (uint32_t i = off; i < end; ++i) {
                snprintf(hex + pos, sizeof hex - pos, "%02X ", p[i]);
                pos += 3;
            }
            bool last = end == count;
            fprintf(f, last ? "          [%04X]  %s\n" : "          [%04X]  %s \n", off, hex);
        }
        fclose(f);
    }
    plat_mutex_unlock(g_dumpMutex);
}
