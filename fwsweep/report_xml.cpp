// The XML document of /xml. Each nesting level is indented by four blanks;
// attribute values are escaped, so a document without special characters is
// exactly what the unescaped form would be.
#include <string>

#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/devices.h"
#include "fwsweep/versions.h"

namespace {

void indent(int level) {
    for (int i = 0; i < level; ++i)
        outRaw("    ");
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

void xmlOpenRoot(bool queryOnly) {
    outText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    outText("<%s ", rootName(queryOnly));
    outText("lang=\"en\">\n");
}

void xmlCloseRoot(bool queryOnly) {
    outText("</%s>\n", rootName(queryOnly));
}

void xmlOpenDevice(const SweepAdapter& a) {
    indent(1);
    outText("<%s ", "Device");
    outText("hba=\"%s\" portType=\"%s\" venId=\"%04X\" devId=\"%04X\" subDevId=\"%04X\" "
            "subVenId=\"%04X\" bus=\"%X\" device=\"%X\" function=\"%X\" ",
            esc(a.model).c_str(), a.portTypeText, a.vendorId, a.deviceId, a.subDeviceId,
            a.subVendorId, a.bus, a.device, a.function);
    if (isMacPort(a))
        outText("mac=\"%s\">\n", esc(a.mac).c_str());
    else
        outText("wwpn=\"%s\">\n", esc(a.wwn).c_str());
}

void xmlCloseDevice() {
    indent(1);
    outText("</%s>\n", "Device");
}

void xmlQueryApplications(const SweepAdapter& a) {
    bool legacyFc = isLegacyFcDevice(a.deviceId);
    indent(2);
    outText("<%s ", "Application");
    if (legacyFc)
        outText("componentType=\"firmware\" version=\"%s%s\"/>\n", esc(a.fwType).c_str(),
                esc(a.fwVersion).c_str());
    else
        outText("componentType=\"firmware\" version=\"%s\"/>\n", esc(a.fwVersion).c_str());
    indent(2);
    outText("<%s ", "Application");
    if (legacyFc)
        outText("componentType=\"bootCode\" version=\"%s%s\" enabled=\"%d\"/>\n",
                esc(a.bcType).c_str(), esc(a.bootVersion).c_str(), a.bootEnabled);
    else if (isBrevinFcDevice(a.deviceId))
        outText("componentType=\"bootCode\" version=\"%s\" enabled=\"%d\"/>\n",
                esc(a.bootVersion).c_str(), a.bootEnabled);
    else
        outText("componentType=\"bootCode\" version=\"%s\"/>\n", esc(a.bootVersion).c_str());
}

void xmlDecision(const SweepAdapter& a, bool boot, const char* file, const char* version,
                 bool final, bool update, int status) {
    bool legacyFc = isLegacyFcDevice(a.deviceId);
    indent(2);
    outText("<%s ", "Application");
    std::string current = boot ? std::string(a.bootVersion) : std::string(a.fwVersion);
    if (boot)
        outText("componentType=\"bootCode\" version=\"%s%s\" enabled=\"%d\">\n",
                esc(a.bcType).c_str(), esc(a.bootVersion).c_str(), a.bootEnabled);
    else if (legacyFc)
        outText("componentType=\"firmware\" version=\"%s%s\">\n", esc(a.fwType).c_str(),
                esc(a.fwVersion).c_str());
    else
        outText("componentType=\"firmware\" version=\"%s\">\n", esc(a.fwVersion).c_str());
    indent(3);
    outText("<%s ", "SupportedImage");
    outText("file=\"%s\" version=\"%s\"/>\n", esc(file).c_str(), esc(version).c_str());
    if (final) {
        indent(3);
        outText("<%s ", "VersionChange");
        outText("update=\"%s\" currentVersion=\"%s\" newVersion=\"%s\"/>\n",
                update ? "true" : "false", esc(current.c_str()).c_str(), esc(version).c_str());
        indent(3);
        outText("<%s ", "DownloadStatus");
        outText("status=\"%d\" message=\"%s\"/>\n", status, esc(statusMessage(status)).c_str());
    }
    indent(2);
    outText("</%s>\n", "Application");
}

void xmlMessage(const std::string& attributesAndText, const std::string& special) {
    indent(1);
    outText("<%s ", "Message");
    outRaw(attributesAndText.c_str());
    outRaw(special.c_str());
    outText("</%s>\n", "Message");
}
