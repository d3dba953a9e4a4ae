// fwsweep's output channels: user messages go to standard output (unless /s)
// and to the log file of /log; the internal trace goes to "dbg.log" when /xv
// opened it.
#pragma once
#include <cstdio>

// Formats and sends text to standard output (unless silent) and the log file.
void outText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes text as it is to the same places.
void outRaw(const char* text);
void outSetSilent(bool silent);
// Opens the log file for appending; false when it cannot be opened.
bool outOpenLog(const char* path);
bool outLogOpen();

// Internal trace, only to "dbg.log" in the current folder.
void dbgTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Opens "dbg.log" for writing; false when it cannot be opened.
bool dbgOpen();
bool dbgIsOpen();

// Closes the log and trace files (end of a run).
void outCloseAll();
