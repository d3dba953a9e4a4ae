// The XML document of /xml, written in one piece from the report records at
// the end of the run (or at an early exit, with only its Message). Each
// nesting level is indented by four blanks; attribute values are escaped, so
// a document without special characters is exactly what the unescaped form
// would be.
#include <string>

#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/devices.h"
#include "fwsweep/versions.h"
#include "fwsweep/switches.h"

namespace {

void indent(int level) {
    for (int i = 0; i < level; ++i)
        docRaw("    ");
}

const char* rootName(bool queryOnly) {
    return queryOnly ? "Inventory" : "Execution";
}

std::string esc(const char* s) {
    return xmlEscape(s);
}

bool isMacPort(const SweepAdapter& a) {
    return a.portType == PORT_NIC || a.portType == PORT_ISCSI;
}

} // namespace

std::string xmlEscape(const char* text) {
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        switch (*p) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += *p;
        }
    }
    return out;
}

namespace {

void xmlOpenRoot(bool queryOnly) {
    docText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    docText("<%s ", rootName(queryOnly));
    docText("lang=\"en\">\n");
}

void xmlCloseRoot(bool queryOnly) {
    docText("</%s>\n", rootName(queryOnly));
}

void xmlOpenDevice(const SweepAdapter& a) {
    indent(1);
    docText("<%s ", "Device");
    docText("hba=\"%s\" portType=\"%s\" venId=\"%04X\" devId=\"%04X\" subDevId=\"%04X\" "
            "subVenId=\"%04X\" bus=\"%X\" device=\"%X\" function=\"%X\" ",
            esc(a.model).c_str(), a.portTypeText, a.vendorId, a.deviceId, a.subDeviceId,
            a.subVendorId, a.bus, a.device, a.function);
    if (isMacPort(a))
        docText("mac=\"%s\">\n", esc(a.mac).c_str());
    else
        docText("wwpn=\"%s\">\n", esc(a.wwn).c_str());
}

void xmlCloseDevice() {
    indent(1);
    docText("</%s>\n", "Device");
}

// Query-only runs: the firmware and boot code Application elements.
void xmlQueryApplications(const SweepAdapter& a) {
    bool legacyFc = isLegacyFcDevice(a.deviceId);
    indent(2);
    docText("<%s ", "Application");
    if (legacyFc)
        docText("componentType=\"firmware\" version=\"%s%s\"/>\n", esc(a.fwType).c_str(),
                esc(a.fwVersion).c_str());
    else
        docText("componentType=\"firmware\" version=\"%s\"/>\n", esc(a.fwVersion).c_str());
    indent(2);
    docText("<%s ", "Application");
    if (legacyFc)
        docText("componentType=\"bootCode\" version=\"%s%s\" enabled=\"%d\"/>\n",
                esc(a.bcType).c_str(), esc(a.bootVersion).c_str(), a.bootEnabled);
    else if (isBrevinFcDevice(a.deviceId))
        docText("componentType=\"bootCode\" version=\"%s\" enabled=\"%d\"/>\n",
                esc(a.bootVersion).c_str(), a.bootEnabled);
    else
        docText("componentType=\"bootCode\" version=\"%s\"/>\n", esc(a.bootVersion).c_str());
}

// One decision: Application with SupportedImage, VersionChange and
// DownloadStatus. boot picks the boot code form.
void xmlDecision(const SweepAdapter& a, bool boot, const Decision& d) {
    bool legacyFc = isLegacyFcDevice(a.deviceId);
    indent(2);
    docText("<%s ", "Application");
    const char* current = boot ? a.bootVersion : a.fwVersion;
    if (boot)
        docText("componentType=\"bootCode\" version=\"%s%s\" enabled=\"%d\">\n",
                esc(a.bcType).c_str(), esc(a.bootVersion).c_str(), a.bootEnabled);
    else if (legacyFc)
        docText("componentType=\"firmware\" version=\"%s%s\">\n", esc(a.fwType).c_str(),
                esc(a.fwVersion).c_str());
    else
        docText("componentType=\"firmware\" version=\"%s\">\n", esc(a.fwVersion).c_str());
    indent(3);
    docText("<%s ", "SupportedImage");
    docText("file=\"%s\" version=\"%s\"/>\n", esc(d.file.c_str()).c_str(),
            esc(d.version.c_str()).c_str());
    indent(3);
    docText("<%s ", "VersionChange");
    docText("update=\"%s\" currentVersion=\"%s\" newVersion=\"%s\"/>\n",
            d.update ? "true" : "false", esc(current).c_str(), esc(d.version.c_str()).c_str());
    indent(3);
    docText("<%s ", "DownloadStatus");
    docText("status=\"%d\" message=\"%s\"/>\n", d.status, esc(statusMessage(d.status)).c_str());
    indent(2);
    docText("</%s>\n", "Application");
}

void xmlMessage(const RunOutcome& o) {
    indent(1);
    docText("<%s ", "Message");
    docText("id=\"%d\"> %s %s", o.code, esc(o.message.c_str()).c_str(), o.special.c_str());
    docText("</%s>\n", "Message");
}

} // namespace

void printXmlDocument(const SweepRun& run) {
    bool queryOnly = isQueryOnly(run.opt);
    const RunOutcome& o = run.outcome;
    xmlOpenRoot(queryOnly);
    for (const SweepAdapter& a : run.adapters) {
        if (o.earlyExit) break;
        xmlOpenDevice(a);
        if (queryOnly) {
            xmlQueryApplications(a);
        } else {
            if (a.fwDecision.made) xmlDecision(a, false, a.fwDecision);
            if (a.bootDecision.made) xmlDecision(a, true, a.bootDecision);
        }
        xmlCloseDevice();
    }
    if (o.hasMessage) xmlMessage(o);
    if (!queryOnly && !o.earlyExit)
        docText("    <RebootRequired>%d</RebootRequired>\n", rebootNeeded(run) ? 1 : 0);
    xmlCloseRoot(queryOnly);
}
