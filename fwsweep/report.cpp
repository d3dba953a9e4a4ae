// Text reports, the final status with its return code, and the reboot advice.
#include "fwsweep/report.h"

#include <cstring>
#include <ctime>

#include "fwsweep/devices.h"
#include "fwsweep/output.h"

namespace {

// Indexed by the per-adapter status code; the codes the program never sets
// keep their rows so that codes and texts stay aligned.
const char* const kStatusMessages[] = {
    "Download succeeded.",
    "Download succeeded. A reboot is required to activate new firmware.",
    "Download not needed.",
    "Download failed.",
    "Download failed. Adaper reset failed.",
    "Download failed. Image decode failed.",
    "Download failed. Unknown image file extension.",
    "Download failed. SysFS flash_fw not found.",
    "Download failed. SysFS image copy failed.",
    "Adapter skipped. Unsupported firmware version.",
    "Adapter skipped. Unknown firmware version.",
    "Adapter skipped. Unsupported boot code version.",
    "Adapter skipped. Unknown boot code version.",
    "Adapter skipped. No compatible firmware found.",
    "Adapter skipped. No compatible boot code found.",
    "Adapter skipped. Unsupported adapter.",
    "Adapter skipped. No fwmatrix.txt model entry.",
    "Download preview succeeded.",
    "Download preview failed.",
    "Download failed. Unable to find image file specified in fwmatrix.txt.",
    "Download failed. Unable to open image file.",
    "Download failed. Unable to allocate memory.",
    "Download succeeded. This special firmware release requires the firmware download process "
    "to be performed twice. You must reboot the system and download the same firmware file "
    "again to complete the download process.",
    "Download failed. Download failed due to missing digital signature in firmware file. "
    "Please contact customer support for additional help.",
    "Download failed. Download failed due to invalid firmware digital signature. Please "
    "contact customer support for additional help.",
    "Download failed. The image does not match its digest in SHA256SUMS.",
    "Download failed. The image is not listed in SHA256SUMS.",
    "Download failed. SHA256SUMS is missing or cannot be read.",
};

const char kSeparator[] =
    "*******************************************************************************\n";

bool isMacPort(const SweepAdapter& a) {
    return a.portType == PORT_NIC || a.portType == PORT_ISCSI;
}

// One final outcome: the text-mode format (program, noun, code or program,
// code), the XML Message form and the outcome's stable name.
struct Outcome {
    const char* name;
    const char* text;
    const char* xml;
    bool takesNoun;
};

const Outcome kAllFailed = {"all-failed",
                            "\n\n%s: Error - all required %s failed - Return Code=%d\n\n",
                            "id=\"%d\"> All required %s failed. ", true};
const Outcome kSomeFailed = {"some-failed",
                             "\n\n%s: Error - some required %s failed - Return Code=%d\n\n",
                             "id=\"%d\"> Some required %s failed. ", true};
const Outcome kAllOk = {"succeeded", "\n\n%s: All required %s succeeded - Return Code=%d\n\n",
                        "id=\"%d\"> All required %s succeeded. ", true};
const Outcome kNoneRequired = {"nothing-required", "\n\n%s: No %s required - Return Code=%d\n\n",
                               "id=\"%d\"> No %s required. ", true};
const Outcome kUnknown = {"unknown-status", "\n%s: Unknown status - %s - Return Code=%d\n\n",
                          "id=\"%d\"> Unknown status. ", true};
const Outcome kQueryUnknown = {"unknown-status", "\n\n%s: Unknown status - %s - Return Code=%d\n\n",
                               "id=\"%d\"> Unknown status. ", true};
const Outcome kNoAdapters = {"no-supported-adapters",
                             "\n\n%s: Error - no supported Quoral HBAs found - Return Code=%d\n\n",
                             "id=\"%d\"> No supported Quoral HBAs found. ", false};
const Outcome kAllUnsupported = {
    "all-unsupported", "\n\n%s: Error - no supported Quoral HBAs found - Return Code=%d\n\n",
    "id=\"%d\"> No supported Quoral HBAs found. ", false};
const Outcome kNoFirmware = {"no-compatible-firmware",
                             "\n\n%s: No compatible firmware found - Return Code=%d\n\n",
                             "id=\"%d\"> No compatible firmware found. ", false};
const Outcome kNoFirmwareOrBoot = {
    "no-compatible-firmware-or-boot-code",
    "\n\n%s: No compatible firmware or boot code found - Return Code=%d\n\n",
    "id=\"%d\"> No compatible firmware or boot code found. ", false};
const Outcome kNoBoot = {"no-compatible-boot-code",
                         "\n\n%s: No compatible boot code found - Return Code=%d\n\n",
                         "id=\"%d\"> No compatible boot code found. ", false};
const Outcome kNoBootSupport = {
    "boot-code-not-supported",
    "\n\n%s: Installed adapters do not support boot code downloads - Return Code=%d\n\n",
    "id=\"%d\"> Installed adapters do not support boot code downloads. ", false};
const Outcome kNoFirmwareAndOrBoot = {
    "no-compatible-firmware-and-or-boot-code",
    "\n\n%s: No compatible firmware and/or boot code found - Return Code=%d\n\n",
    "id=\"%d\"> No compatible firmware and/or boot code found. ", false};

std::string format(const char* fmt, int a, const char* b) {
    char buf[512];
    snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// The footnote after the final status, or "" without special releases.
std::string specialFootnote(const SweepRun& run) {
    int n = run.count.specialReleases;
    if (n == 0) return "";
    char buf[512];
    const char* body = run.opt.xml || run.opt.json
                           ? " include a special firmware release that requires the firmware "
                             "download process to be performed twice. Reboot the system and run "
                             "fwsweep again using the /f or /rewrite option to download the same "
                             "firmware file again.\n"
                           : " include a special firmware release that requires the firmware\n"
                             "download process to be performed twice. Reboot the system and run "
                             "fwsweep\nagain using the /f or /rewrite option to download the same "
                             "firmware file again.\n";
    snprintf(buf, sizeof buf, "%d adapter%s%s", n, n > 1 ? "s" : "", body);
    return buf;
}

// Records the outcome and, in text mode, prints its final message.
int emitOutcome(SweepRun* run, const Outcome& o, int code) {
    const char* noun = operationNoun(*run);
    std::string special = specialFootnote(*run);
    RunOutcome& out = run->outcome;
    out.code = code;
    out.name = o.name;
    out.hasMessage = true;
    // The XML form without its id attribute: "All required updates succeeded."
    std::string xml = o.takesNoun ? format(o.xml, code, noun) : format(o.xml, code, "");
    out.message = xml.substr(xml.find("> ") + 2);
    while (!out.message.empty() && out.message.back() == ' ')
        out.message.pop_back();
    out.special = special;
    if (run->opt.xml || run->opt.json) return code;
    if (o.takesNoun)
        outText(o.text, FWS_PROGRAM, noun, code);
    else
        outText(o.text, FWS_PROGRAM, code);
    outRaw(special.c_str());
    return code;
}

const Outcome& noCompatibleOutcome(const RunOptions& o, bool boot) {
    if (o.forceFw && o.forceBios) return boot ? kNoFirmwareOrBoot : kNoFirmware;
    if (o.forceFw) return kNoFirmware;
    if (o.forceBios) return boot ? kNoBoot : kNoBootSupport;
    return boot ? kNoFirmwareAndOrBoot : kNoFirmware;
}

int operationStatus(SweepRun* run) {
    const RunCounters& c = run->count;
    bool uns = c.unsupported > 0;
    if (c.knownAdapters > 0 && c.compatibleImages > 0) {
        if (c.requiredDownloads > 0 && c.failedDownloads == c.requiredDownloads)
            return emitOutcome(run, kAllFailed, uns ? 13 : 2);
        if (c.failedDownloads > 0) return emitOutcome(run, kSomeFailed, uns ? 14 : 3);
        if (c.requiredDownloads > 0) return emitOutcome(run, kAllOk, uns ? 11 : 0);
        if (c.requiredDownloads == 0) return emitOutcome(run, kNoneRequired, uns ? 12 : 1);
        return emitOutcome(run, kUnknown, 0);
    }
    if (c.knownAdapters == 0) return emitOutcome(run, kNoAdapters, 5);
    if (static_cast<size_t>(c.unsupported) == run->adapters.size())
        return emitOutcome(run, kAllUnsupported, 15);
    return emitOutcome(run, noCompatibleOutcome(run->opt, c.bootCodePresent), uns ? 16 : 7);
}

int queryStatus(SweepRun* run) {
    const RunCounters& c = run->count;
    bool uns = c.unsupported > 0;
    if (c.queried > 0 && c.incompleteQueries == c.queried)
        return emitOutcome(run, kAllFailed, uns ? 13 : 2);
    if (c.incompleteQueries > 0) return emitOutcome(run, kSomeFailed, uns ? 14 : 3);
    if (c.queried == 0) return emitOutcome(run, kQueryUnknown, uns ? 11 : 0);
    return emitOutcome(run, kAllOk, uns ? 11 : 0);
}

void printUnsupportedSummary(const SweepRun& run) {
    bool any = false;
    for (const SweepAdapter& a : run.adapters)
        any = any || !a.supported;
    if (!any) return;
    outText("\n\n%s%s", kSeparator, kSeparator);
    outText("Unsupported HBA summary:\n");
    if (run.opt.autoMode)
        outText("\n%s: Auto Discovery - The following HBAs are not supported:\n", FWS_PROGRAM);
    else
        outText("\n%s: Fwmatrix - The following HBAs are not supported or no matching HBA model "
                "entries found:\n",
                FWS_PROGRAM);
    for (const SweepAdapter& a : run.adapters) {
        if (a.supported) continue;
        outText("\nHBA=%s, Port Type=%s, %s=%s, PCI ID=%X, VID=%X, SSID=%X, SVID=%X, "
                "Firmware=%s, Boot Code=%s",
                a.model, a.portTypeText, isMacPort(a) ? "MAC" : "WWN", isMacPort(a) ? a.mac : a.wwn,
                a.deviceId, a.vendorId, a.subDeviceId, a.subVendorId, firmwareText(a).c_str(),
                bootCodeText(a).c_str());
    }
    outText("\n\n");
}

} // namespace

const char* statusMessage(int status) {
    if (status < 0 ||
        static_cast<size_t>(status) >= sizeof kStatusMessages / sizeof kStatusMessages[0])
        return "";
    return kStatusMessages[status];
}

std::string firmwareText(const SweepAdapter& a) {
    if (strcmp(a.fwVersion, "NONE") == 0) return "NONE";
    if (isLegacyFcDevice(a.deviceId)) return std::string(a.fwType) + a.fwVersion;
    return a.fwVersion;
}

std::string bootCodeText(const SweepAdapter& a) {
    if (strcmp(a.bootVersion, "NONE") == 0) return "NONE";
    if (isLegacyFcDevice(a.deviceId)) return std::string(a.bcType) + a.bootVersion;
    return a.bootVersion;
}

std::string timeStamp() {
    time_t now = time(nullptr);
    struct tm local;
    char buf[64];
    if (now == static_cast<time_t>(-1) || !localtime_r(&now, &local) || !asctime_r(&local, buf))
        return "Current time is not available";
    return buf;
}

void printQueryLine(const SweepAdapter& a, const char* supported, const char* bootSupported) {
    outText("\nHBA=%s, Port Type=%s, %s=%s, PCI ID=%04X, VID=%04X, SSID=%04X, SVID=%04X, "
            "Firmware=%s, Boot Code=%s",
            a.model, a.portTypeText, isMacPort(a) ? "MAC" : "WWN", isMacPort(a) ? a.mac : a.wwn,
            a.deviceId, a.vendorId, a.subDeviceId, a.subVendorId, firmwareText(a).c_str(),
            bootCodeText(a).c_str());
    if (supported) outText(", Supported Firmware=%s", supported);
    if (bootSupported) outText(", Supported Boot Code=%s", bootSupported);
    if (isLegacyFcDevice(a.deviceId) || isBrevinFcDevice(a.deviceId))
        outText(", Boot Enabled=%d", a.bootEnabled);
}

std::string downloadLineHead(const SweepAdapter& a, const char* update, const char* image,
                             const char* newVersion) {
    // Appended piece by piece: g++ 12 reports a false -Wrestrict at -O3 on
    // "literal" + std::string temporaries.
    std::string s = "\n";
    s += timeStamp();
    for (const char* piece :
         {"HBA=", a.model, ", Port Type=", a.portTypeText,
          isMacPort(a) ? ", MAC=" : ", WWN=", isMacPort(a) ? a.mac : a.wwn, ",\nUpdate=", update,
          ", Image=", image, ", New=", newVersion, ", Old=", a.fwVersion, ", Status="})
        s += piece;
    return s;
}

const char* operationNoun(const SweepRun& run) {
    const RunOptions& o = run.opt;
    if (isQueryOnly(o)) return run.count.queried > 0 ? "queries" : "query";
    if (o.update) return "updates";
    if (o.rewrite) return "rewrites";
    if (o.downgrade) return "downgrades";
    if (o.forceFw && o.forceBios) return "firmware and/or boot code downloads";
    if (o.forceFw) return "firmware downloads";
    if (o.forceBios) return "boot code downloads";
    return "unknown operation";
}

void printSummaries(const SweepRun& run) {
    if (!run.opt.verbose || !hasOperation(run.opt)) return;
    if (run.count.requiredDownloads > 0) {
        outText("\n\n%s%s", kSeparator, kSeparator);
        outText("Download Summary:\n");
        outRaw(run.downloadLines.c_str());
        outText("\n\n");
    }
    printUnsupportedSummary(run);
}

int finalStatus(SweepRun* run) {
    if (hasOperation(run->opt)) return operationStatus(run);
    if (isQueryOnly(run->opt)) return queryStatus(run);
    run->outcome = RunOutcome();
    run->outcome.name = "operation-complete";
    run->outcome.message = "Operation complete.";
    if (!run->opt.xml && !run->opt.json)
        outText("\n\n%s: Operation complete - Return Code=%d\n\n", FWS_PROGRAM, 0);
    return 0;
}

bool rebootNeeded(const SweepRun& run) {
    if (run.opt.preview) return false;
    for (const SweepAdapter& a : run.adapters)
        for (const Decision* d : {&a.fwDecision, &a.bootDecision})
            if (d->made && (d->status == FWS_DL_OK_REBOOT || d->status == FWS_DL_SPECIAL ||
                            d->status == FWS_DL_RESET_FAILED))
                return true;
    return false;
}

void printRebootAdvice(const SweepRun& run) {
    if (!run.opt.xml && !run.opt.json && rebootNeeded(run))
        outText("Please reboot system to activate new firmware.\n");
}

void setEarlyExit(SweepRun* run, int code, const char* name, const std::string& message) {
    RunOutcome& o = run->outcome;
    o.code = code;
    o.name = name;
    o.message = message;
    o.hasMessage = true;
    o.earlyExit = true;
}

void printDocument(const SweepRun& run) {
    if (run.opt.json)
        printJsonDocument(run);
    else if (run.opt.xml)
        printXmlDocument(run);
}
