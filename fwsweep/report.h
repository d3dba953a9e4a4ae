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
// Works out the return code and prints the final status (text or the XML
// Message element) with the special-release footnote.
int finalStatus(const SweepRun& run);
// Outside query-only runs: the reboot advice (text) or RebootRequired (XML).
void printRebootAdvice(const SweepRun& run);
bool rebootNeeded(const SweepRun& run);

// ---- XML document ---------------------------------------------------------------------
// Attribute value with & < > " ' escaped.
std::string xmlEscape(const char* text);
void xmlOpenRoot(bool queryOnly);
void xmlCloseRoot(bool queryOnly);
void xmlOpenDevice(const SweepAdapter& a);
void xmlCloseDevice();
// Query-only runs: the firmware and boot code Application elements.
void xmlQueryApplications(const SweepAdapter& a);
// One decision: Application with SupportedImage, and with final, VersionChange
// and DownloadStatus. boot picks the boot code form.
void xmlDecision(const SweepAdapter& a, bool boot, const char* file, const char* version,
                 bool final, bool update, int status);
// The Message element: its formatted id attribute and text, then the
// special-release footnote (may be empty), then the closing tag.
void xmlMessage(const std::string& attributesAndText, const std::string& special);
