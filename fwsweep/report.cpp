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
};

const char kSeparator[] =
    "*******************************************************************************\n";

bool isMacPort(const SweepAdapter& a) {
    return a.portType == PORT_NIC || a.portType == PORT_ISCSI;
}

// One final outcome: the text-mode format (program, noun, code or program,
// code) and the XML Message form.
struct Outcome {
    int code;
    const char* text;
    const char* xml;
    bool takesNoun;
};

const Outcome kAllFailed = {0, "\n\n%s: Error - all required %s failed - Return Code=%d\n\n",
                            "id=\"%d\"> All required %s failed. ", true};
const Outcome kSomeFailed = {0, "\n\n%s: Error - some required %s failed - Return Code=%d\n\n",
                             "id=\"%d\"> Some required %s failed. ", true};
const Outcome kAllOk = {0, "\n\n%s: All required %s succeeded - Return Code=%d\n\n",
                        "id=\"%d\"> All required %s succeeded. ", true};
const Outcome kNoneRequired = {0, "\n\n%s: No %s required - Return Code=%d\n\n",
                               "id=\"%d\"> No %s required. ", true};
const Outcome kUnknown = {0, "\n%s: Unknown status - %s - Return Code=%d\n\n",
                          "id=\"%d\"> Unknown status. ", true};
const Outcome kQueryUnknown = {0, "\n\n%s: Unknown status - %s - Return Code=%d\n\n",
                               "id=\"%d\"> Unknown status. ", true};
const Outcome kNoAdapters = {0,
                             "\n\n%s: Error - no supported Quoral HBAs found - Return Code=%d\n\n",
                             "id=\"%d\"> No supported Quoral HBAs found. ", false};
const Outcome kNoFirmware = {0, "\n\n%s: No compatible firmware found - Return Code=%d\n\n",
                             "id=\"%d\"> No compatible firmware found. ", false};
const Outcome kNoFirmwareOrBoot = {
    0, "\n\n%s: No compatible firmware or boot code found - Return Code=%d\n\n",
    "id=\"%d\"> No compatible firmware or boot code found. ", false};
const Outcome kNoBoot = {0, "\n\n%s: No compatible boot code found - Return Code=%d\n\n",
                         "id=\"%d\"> No compatible boot code found. ", false};
const Outcome kNoBootSupport = {
    0, "\n\n%s: Installed adapters do not support boot code downloads - Return Code=%d\n\n",
    "id=\"%d\"> Installed adapters do not support boot code downloads. ", false};
const Outcome kNoFirmwareAndOrBoot = {
    0, "\n\n%s: No compatible firmware and/or boot code found - Return Code=%d\n\n",
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
    const char* body = run.opt.xml
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

int emitOutcome(const SweepRun& run, const Outcome& o, int code) {
    const char* noun = operationNoun(run);
    std::string special = specialFootnote(run);
    if (run.opt.xml) {
        std::string head = o.takesNoun ? format(o.xml, code, noun) : format(o.xml, code, "");
        xmlMessage(head, special);
        return code;
    }
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

int operationStatus(const SweepRun& run) {
    const RunCounters& c = run.count;
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
    if (static_cast<size_t>(c.unsupported) == run.adapters.size())
        return emitOutcome(run, kNoAdapters, 15);
    return emitOutcome(run, noCompatibleOutcome(run.opt, c.bootCodePresent), uns ? 16 : 7);
}

int queryStatus(const SweepRun& run) {
    const RunCounters& c = run.count;
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

int finalStatus(const SweepRun& run) {
    if (hasOperation(run.opt)) return operationStatus(run);
    if (isQueryOnly(run.opt)) return queryStatus(run);
    if (!run.opt.xml) outText("\n\n%s: Operation complete - Return Code=%d\n\n", FWS_PROGRAM, 0);
    return 0;
}

bool rebootNeeded(const SweepRun& run) {
    const RunCounters& c = run.count;
    if (run.opt.preview || c.previewMade || c.cnaDownloads == 0) return false;
    if (c.cnaFailed >= c.cnaDownloads) return false;
    return c.cnaDownloads - c.cnaFailed - c.cnaNoReboot > 0;
}

void printRebootAdvice(const SweepRun& run) {
    bool needed = rebootNeeded(run);
    if (run.opt.xml) {
        outText("    <RebootRequired>%d</RebootRequired>\n", needed ? 1 : 0);
        return;
    }
    if (needed) outText("Please reboot system to activate new firmware.\n");
}
