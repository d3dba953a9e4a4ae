// hbaset's message line, console output, script log and byte dumps.
#include "hbaset/cli/message.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "hbaset/cli/named_files.h"

MessageState g_msg = {{}, true, false, nullptr, "hbasetlog.txt", nullptr};

namespace {

FILE* console() {
    return g_msg.console ? g_msg.console : stdout;
}

// Formats into buf of size bytes. Text that does not fit is cut; when the full
// text ended with a line end, the cut text keeps one.
void formatBounded(char* buf, size_t size, const char* format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(buf, size, format, copy);
    va_end(copy);
    if (n < 0) {
        buf[0] = '\0';
        return;
    }
    if (static_cast<size_t>(n) < size || size < 2) return;
    std::string full(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(full.data(), full.size(), format, ap);
    if (full[static_cast<size_t>(n) - 1] == '\n') buf[size - 2] = '\n';
}

void writeConsole(const char* text, size_t length) {
    fwrite(text, 1, length, console());
    fflush(console());
}

void writeLog(const char* text, size_t length) {
    if (g_msg.logFile == nullptr) return;
    fwrite(text, 1, length, g_msg.logFile);
    fflush(g_msg.logFile);
}

bool printable(uint8_t c) {
    return c >= 0x20 && c < 0x7F;
}

// Appends to a line buffer without overflowing it.
void appendf(char* line, size_t size, size_t* used, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void appendf(char* line, size_t size, size_t* used, const char* format, ...) {
    if (*used + 1 >= size) return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line + *used, size - *used, format, ap);
    va_end(ap);
    if (n < 0) return;
    *used += static_cast<size_t>(n);
    if (*used >= size) *used = size - 1;
}

} // namespace

void messageReset() {
    closeLogFile();
    memset(&g_msg, 0, sizeof g_msg);
    g_msg.screenOutput = true;
    setLogFileName(DEFAULT_LOG_FILE_NAME);
}

void setMessageLine(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    formatBounded(g_msg.messageLine, sizeof g_msg.messageLine, format, ap);
    va_end(ap);
}

void emitLine() {
    size_t len = strnlen(g_msg.messageLine, MESSAGE_LINE_SIZE - 1);
    char out[MESSAGE_LINE_SIZE + 1];
    memcpy(out, g_msg.messageLine, len);
    out[len] = '\n';
    out[len + 1] = '\0';
    // The line end goes into messageLine when it fits; it is always written.
    memcpy(g_msg.messageLine, out, len < MESSAGE_LINE_SIZE - 1 ? len + 2 : len);
    g_msg.messageLine[MESSAGE_LINE_SIZE - 1] = '\0';
    if (g_msg.screenOutput) writeConsole(out, len + 1);
    writeLog(out, len + 1);
}

void emitText(const char* format, ...) {
    char text[EMIT_TEXT_SIZE];
    va_list ap;
    va_start(ap, format);
    formatBounded(text, sizeof text, format, ap);
    va_end(ap);
    size_t len = strlen(text);
    if (g_msg.screenOutput) fwrite(text, 1, len, console());
    writeLog(text, len);
    fflush(console());
}

void emitConsole(const char* format, ...) {
    char text[CONSOLE_TEXT_SIZE];
    va_list ap;
    va_start(ap, format);
    formatBounded(text, sizeof text, format, ap);
    va_end(ap);
    writeConsole(text, strlen(text));
}

void emitLog(const char* format, ...) {
    if (g_msg.logFile == nullptr) return;
    char text[EMIT_TEXT_SIZE];
    va_list ap;
    va_start(ap, format);
    formatBounded(text, sizeof text, format, ap);
    va_end(ap);
    writeLog(text, strlen(text));
}

void dumpHex(const uint8_t* data, uint32_t startOffset, uint32_t length, bool memoryOrder) {
    if (data == nullptr) return;
    for (uint64_t pos = 0; pos < length; pos += 8) {
        char line[MESSAGE_LINE_SIZE];
        size_t used = 0;
        appendf(line, sizeof line, &used, "\n%08X: ", static_cast<uint32_t>(startOffset + pos));
        uint64_t order[8];
        size_t count = 0;
        for (uint64_t k = 0; k < 8; k += 4) {
            if (pos + k >= length) break;
            for (uint64_t j = 0; j < 4; ++j) {
                uint64_t at = pos + k + (memoryOrder ? j : 3 - j);
                if (at >= length) continue;
                appendf(line, sizeof line, &used, "%02x", data[at]);
                order[count++] = at;
            }
            appendf(line, sizeof line, &used, " ");
        }
        appendf(line, sizeof line, &used, "|");
        for (size_t i = 0; i < count; ++i) {
            uint8_t c = data[order[i]];
            appendf(line, sizeof line, &used, "%c", printable(c) ? static_cast<char>(c) : '.');
        }
        appendf(line, sizeof line, &used, "|");
        if (g_msg.scriptMode) {
            setMessageLine("%s", line);
            emitLine();
        } else {
            emitConsole("%s\n", line);
        }
    }
}

int saveRegionToFile(const void* data, size_t length, const char* fileName) {
    uint8_t region[REGION_FILE_SIZE];
    memset(region, 0, sizeof region);
    if (data != nullptr) memcpy(region, data, length < sizeof region ? length : sizeof region);
    // Written beside its name and renamed into place: a failed save leaves an
    // earlier file of that name as it was.
    PlatSaveFile save;
    PlatFileStatus why = (fileName != nullptr && fileName[0] != '\0')
                             ? plat_save_begin(&save, fileName, PLAT_MODE_SAVED)
                             : PLAT_FILE_MISSING;
    if (why != PLAT_FILE_OK) {
        reportRefusedFile(fileName, why);
        setMessageLine("ERROR: Can't open specified file");
        emitLine();
        return 4;
    }
    why = plat_save_write(&save, region, sizeof region);
    if (why == PLAT_FILE_OK) why = plat_save_commit(&save);
    if (why != PLAT_FILE_OK) {
        reportRefusedFile(fileName, why);
        setMessageLine("ERROR: Can't write specified file");
        emitLine();
        return 4;
    }
    return 0;
}

void setLogFileName(const char* name) {
    snprintf(g_msg.logFileName, sizeof g_msg.logFileName, "%.*s",
             static_cast<int>(LOG_FILE_NAME_MAX), name ? name : "");
}

int openLogFile() {
    closeLogFile();
    if (g_msg.logFileName[0] == '\0') return -1;
    // Never through a link, never a FIFO or device; a new log is private.
    PlatFileStatus why = PLAT_FILE_OK;
    g_msg.logFile = plat_fopen_log(g_msg.logFileName, PLAT_MODE_LOG, true, &why);
    if (g_msg.logFile == nullptr && (why == PLAT_FILE_LINK || why == PLAT_FILE_NOT_REGULAR))
        emitConsole("%s is %s: refused\n", g_msg.logFileName, plat_file_status_text(why));
    return g_msg.logFile ? 0 : -1;
}

void closeLogFile() {
    if (g_msg.logFile) fclose(g_msg.logFile);
    g_msg.logFile = nullptr;
}

void setScreenOutput(bool on) {
    g_msg.screenOutput = on;
}
