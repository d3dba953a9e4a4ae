// fwsweep's output channels: user messages go to standard output (unless /s)
// and to the log file of /log; the internal trace goes to "dbg.log" when /xv
// opened it.
//
// With /xml or /json standard output carries the document and nothing else:
// user messages (progress, verbose child output, warnings, help) then go to
// standard error, and the document is written through docText/docRaw.
#pragma once
#include <cstdio>

// Formats and sends text to the message channel (standard output, or
// standard error in document mode; nothing when silent) and the log file.
void outText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes text as it is to the same places.
void outRaw(const char* text);
void outSetSilent(bool silent);
// Document mode: messages to standard error, standard output kept for the
// document.
void outSetDocumentMode(bool on);
bool outDocumentMode();
// The document (standard output unless silent, and the log file).
void docText(const char* format, ...) __attribute__((format(printf, 1, 2)));
void docRaw(const char* text);
// Opens the log file for appending (never through a link, created 0600).
// Returns 0, or the PLAT_OPEN_* reason it cannot be opened.
int outOpenLog(const char* path);
bool outLogOpen();

// Internal trace, only to "dbg.log" in the current folder.
void dbgTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Opens "dbg.log" for writing (never through a link, 0600); false when it
// cannot be opened.
bool dbgOpen();
bool dbgIsOpen();

// Closes the log and trace files (end of a run).
void outCloseAll();
