// hbaset's message output: the message line, the console and the script log.
//
// Every message is formatted into a bounded buffer; text that does not fit is
// cut (keeping its line end), text that fits is written unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t MESSAGE_LINE_SIZE = 256; // messageLine, terminator included
constexpr size_t CONSOLE_TEXT_SIZE = 256; // emitConsole's buffer
constexpr size_t EMIT_TEXT_SIZE = 4096;   // emitText's buffer
constexpr size_t LOG_FILE_NAME_MAX = 80;  // longest log file name kept
constexpr size_t REGION_FILE_SIZE = 1000; // bytes written by saveRegionToFile
constexpr const char* DEFAULT_LOG_FILE_NAME = "hbasetlog.txt";

struct MessageState {
    char messageLine[MESSAGE_LINE_SIZE];
    bool screenOutput; // console output of emitLine and emitText
    bool scriptMode;   // a script is running
    FILE* logFile;     // open script log, or null
    char logFileName[LOG_FILE_NAME_MAX + 1];
    FILE* console; // null means standard output
};

extern MessageState g_msg;

// Start state: empty line, screen on, not in a script, log closed, default log
// file name, console = standard output.
void messageReset();

// Formats into messageLine (cut to fit).
void setMessageLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends "\n" to messageLine and writes it to the console (when screenOutput)
// and to the log file (when open).
void emitLine();
// Formats and writes to the console (when screenOutput) and the log file (when
// open), then flushes the console.
void emitText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats into a 256-character buffer and writes it to the console whatever
// screenOutput says; never to the log file.
void emitConsole(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats and writes to the log file only (nothing when none is open).
void emitLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints length bytes as lines of 8: "\n%08X: " with the offset, two groups of
// four bytes ("%02x" each, in memory order or from the fourth byte back), then
// the same bytes as characters between bars. Only bytes below length are read.
void dumpHex(const uint8_t* data, uint32_t startOffset, uint32_t length, bool memoryOrder);

// Writes REGION_FILE_SIZE bytes to fileName: the first min(length, 1000) bytes
// of data, zeros after them. Returns 0, or 4 after printing
// "ERROR: Can't open specified file" (or a write error message).
int saveRegionToFile(const void* data, size_t length, const char* fileName);

// Script log: the name is cut to LOG_FILE_NAME_MAX characters.
void setLogFileName(const char* name);
// Closes any open log file and opens logFileName for appending. Returns 0, or
// -1 when it cannot be opened (no log file is open then).
int openLogFile();
void closeLogFile();
void setScreenOutput(bool on);
