// What fwsweep tells its user: query lines, download lines, the summaries, the
// final status with its return code and the reboot advice, as text or as one
// XML document (/xml).
#pragma once
#include <string>

#include "fwsweep/sweep_types.h"

constexpr const char* FWS_SPECIAL_LINE_TEXT =
    "This special firmware release requires the firmware download process to be\n"
    "performed twice. You must reboot the system and download the same firmware\n"
    "file again to complete the download process.\n";

// Firmware and boot code texts of an adapter (FC adapters lead with their
// two-letter type; "NONE" stays "NONE").
std::string firmwareText(const SweepAdapter& a);
std::string bootCodeText(const SweepAdapter& a);
// The local time in asctime form (ending in a newline).
std::string timeStamp();
// Text mode: the query line of an adapter, continued with ", Supported
// Firmware=%s" when supported is not null (and ", Supported Boot Code=%s"
// when bootSupported is not null); FC adapters end with ", Boot Enabled=%d".
void printQueryLine(const SweepAdapter& a, const char* supported, const char* bootSupported);
// The first part of a download line, up to "Status=".
std::string downloadLineHead(const SweepAdapter& a, const char* update, const char* image,
                             const char* newVersion);
// The operation noun of the final messages.
const char* operationNoun(const SweepRun& run);
// With verbose and an operation: the download and unsupported-adapter summaries.
void printSummaries(const SweepRun& run);
// Works out the return code into run->outcome and, in text mode, prints the
// final status with the special-release footnote. Returns the code.
int finalStatus(SweepRun* run);
// Text mode, outside query-only runs: the reboot advice.
void printRebootAdvice(const SweepRun& run);
// A download of the run leaves new firmware that runs only after a reboot
// (the advice, RebootRequired and rebootRequired all come from here).
bool rebootNeeded(const SweepRun& run);
// An early exit: its return code, outcome name and message for the documents.
void setEarlyExit(SweepRun* run, int code, const char* name, const std::string& message);
// Prints the document of /xml or /json (none in text mode) for the run as it
// stands, after the adapter pass or at an early exit.
void printDocument(const SweepRun& run);

// ---- XML document (report_xml.cpp) ------------------------------------------------------
// Attribute value with & < > " ' escaped.
std::string xmlEscape(const char* text);
// The whole document: root, one Device per function with its Application
// elements, Message and RebootRequired.
void printXmlDocument(const SweepRun& run);

// ---- JSON document (report_json.cpp) ----------------------------------------------------
void printJsonDocument(const SweepRun& run);
// Mode names of the JSON document ("query", "update", ...).
const char* jsonMode(const RunOptions& o);
// The component action and result names of the reports.
const char* actionName(int action);
const char* resultName(int result);
// Current UTC time in RFC 3339 form ("2024-05-01T12:00:00.123Z").
std::string rfc3339Now();
