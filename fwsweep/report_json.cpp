// The JSON document of /json: the same report records the XML document is
// written from, grouped into physical adapters with their firmware and boot
// code components. docs/fwsweep-report.schema.json is its contract and
// docs/fwsweep-json.md maps every field onto the XML elements.
#include <openssl/rand.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>

#include "fwsweep/devices.h"
#include "fwsweep/digests.h"
#include "fwsweep/history.h"
#include "fwsweep/json_parts.h"
#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/update.h"
#include "fwsweep/version.h"
#include "platform/plat_fs.h"

namespace {

bool isMacPort(const SweepAdapter& a) {
    return a.portType == PORT_NIC || a.portType == PORT_ISCSI;
}

std::string hex4(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%04X", v);
    return b;
}

Json nullable(const std::string& s, const char* none = "NONE") {
    return s.empty() || s == none ? Json(nullptr) : Json(s);
}

const char* operationName(const RunOptions& o) {
    if (o.forceFw || o.forceBios) return "force";
    if (o.update) return "update";
    if (o.rewrite) return "rewrite";
    if (o.downgrade) return "downgrade";
    return isQueryOnly(o) ? "query" : "none";
}

// The function whose decision stands for the physical adapter: the one whose
// download ran, else the first that decided, else the first.
const SweepAdapter* lead(const std::vector<const SweepAdapter*>& group, bool boot) {
    auto decisionOf = [boot](const SweepAdapter* a) -> const Decision& {
        return boot ? a->bootDecision : a->fwDecision;
    };
    for (const SweepAdapter* a : group)
        if (decisionOf(a).ranChild) return a;
    for (const SweepAdapter* a : group)
        if (decisionOf(a).made) return a;
    return group.front();
}

std::string installedText(const SweepAdapter& a, bool boot) {
    bool legacyFc = isLegacyFcDevice(a.deviceId);
    if (boot) return legacyFc ? std::string(a.bcType) + a.bootVersion : a.bootVersion;
    return legacyFc ? std::string(a.fwType) + a.fwVersion : a.fwVersion;
}

Json component(const SweepRun& run, const SweepAdapter& a, bool boot) {
    const Decision& d = boot ? a.bootDecision : a.fwDecision;
    Json c;
    c["installed"] = installedText(a, boot);
    c["target"] = d.made ? nullable(d.version) : Json(nullptr);
    if (d.made && !d.imagePath.empty()) {
        auto it = run.digests.find(d.imagePath);
        std::string digest = it != run.digests.end() ? it->second : fileSha256(d.imagePath.c_str());
        c["image"] = {{"file", d.file}, {"path", d.imagePath}, {"sha256", nullable(digest, "")}};
    } else {
        c["image"] = nullptr;
    }
    c["action"] = actionName(d.made ? d.action : ACTION_NONE);
    c["result"] = resultName(d.made ? d.result : RESULT_OK);
    c["status"] = d.made ? Json(d.status) : Json(nullptr);
    c["message"] = d.made ? Json(statusMessage(d.status)) : Json(nullptr);
    c["exitCode"] = d.made && d.ranChild && d.exitCode >= 0 ? Json(d.exitCode) : Json(nullptr);
    c["durationMs"] = d.durationMs;
    if (boot) {
        bool fc = isLegacyFcDevice(a.deviceId) || isBrevinFcDevice(a.deviceId);
        c["enabled"] = fc ? Json(a.bootEnabled != 0) : Json(nullptr);
    }
    return c;
}

Json jsonFunction(const SweepAdapter& a) {
    Json f;
    f["hbaset"] = a.number;
    f["kind"] = a.portTypeText;
    f["wwpn"] = isMacPort(a) ? Json(nullptr) : Json(a.wwn);
    f["mac"] = isMacPort(a) ? Json(a.mac) : Json(nullptr);
    f["pciAddress"] = pciAddress(a, true);
    f["vendorId"] = hex4(a.vendorId);
    f["deviceId"] = hex4(a.deviceId);
    f["subVendorId"] = hex4(a.subVendorId);
    f["subDeviceId"] = hex4(a.subDeviceId);
    f["complete"] = !queryIncomplete(a);
    return f;
}

struct Summary {
    int updated = 0, alreadyCurrent = 0, previewed = 0, skipped = 0, failed = 0;
    int unsupported = 0, incomplete = 0;
    void count(const Decision& d) {
        if (!d.made) return;
        if (d.result == RESULT_FAILED)
            ++failed;
        else if (d.action == ACTION_FLASH)
            ++updated;
        else if (d.action == ACTION_PREVIEW)
            ++previewed;
        else if (d.action == ACTION_KEEP)
            ++alreadyCurrent;
        else if (d.action == ACTION_SKIP)
            ++skipped;
    }
};

Json jsonAdapters(const SweepRun& run, Summary* sum) {
    Json list = Json::array();
    if (run.outcome.earlyExit) return list;
    for (const std::vector<const SweepAdapter*>& group : physicalAdapters(run)) {
        const SweepAdapter& fw = *lead(group, false);
        const SweepAdapter& boot = *lead(group, true);
        Json entry = jsonAdapterIdentity(group);
        bool supported = true;
        for (const SweepAdapter* a : group)
            supported = supported && a->supported;
        entry["supported"] = supported;
        Json functions = Json::array();
        for (const SweepAdapter* a : group) {
            functions.push_back(jsonFunction(*a));
            if (queryIncomplete(*a)) ++sum->incomplete;
        }
        entry["functions"] = functions;
        entry["components"] = {{"firmware", component(run, fw, false)},
                               {"bootCode", component(run, boot, true)}};
        sum->count(fw.fwDecision);
        sum->count(boot.bootDecision);
        if (!supported) ++sum->unsupported;
        list.push_back(entry);
    }
    return list;
}

Json jsonImageVersion(const SweepRun& run) {
    const char* path = run.opt.imageVersionFile;
    std::string digest = fileSha256(path);
    return {{"path", path},
            {"version", nullable(run.imageVersionText, "")},
            {"sha256", nullable(digest, "")}};
}

} // namespace

const char* actionName(int action) {
    switch (action) {
    case ACTION_FLASH:
        return "flash";
    case ACTION_PREVIEW:
        return "preview";
    case ACTION_KEEP:
        return "keep";
    case ACTION_SKIP:
        return "skip";
    default:
        return "none";
    }
}

const char* resultName(int result) {
    switch (result) {
    case RESULT_FAILED:
        return "failed";
    case RESULT_SKIPPED:
        return "skipped";
    case RESULT_PENDING_REBOOT:
        return "pending-reboot";
    default:
        return "ok";
    }
}

const char* jsonMode(const RunOptions& o) {
    if (o.history) return "history";
    if (o.imageVersion) return "image-version";
    if (isQueryOnly(o)) return "query";
    if (!hasOperation(o)) return "none";
    if (o.preview) return "preview";
    return operationName(o);
}

std::string rfc3339Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t secs = system_clock::to_time_t(now);
    long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    struct tm utc;
    char buf[40];
    if (!gmtime_r(&secs, &utc)) return "1970-01-01T00:00:00.000Z";
    size_t n = strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &utc);
    snprintf(buf + n, sizeof buf - n, ".%03ldZ", ms);
    return buf;
}

std::string newRunId() {
    unsigned char b[16];
    if (RAND_bytes(b, sizeof b) != 1) {
        // No random source: time and process still make the id unique here.
        uint64_t t = static_cast<uint64_t>(time(nullptr));
        uint32_t pid = plat_pid();
        memcpy(b, &t, 8);
        memcpy(b + 8, &pid, 4);
        memset(b + 12, 0, 4);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char out[40];
    snprintf(out, sizeof out,
             "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
             b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
             b[15]);
    return out;
}

std::string hostName() {
    char name[256];
    return plat_computer_name(name, sizeof name) ? name : "unknown";
}

std::string pciAddress(const SweepAdapter& a, bool withFunction) {
    char b[32];
    if (withFunction)
        snprintf(b, sizeof b, "%04X:%02X:%02X.%X", a.domain, a.bus, a.device, a.function);
    else
        snprintf(b, sizeof b, "%04X:%02X:%02X", a.domain, a.bus, a.device);
    return b;
}

std::vector<std::vector<const SweepAdapter*>> physicalAdapters(const SweepRun& run) {
    std::vector<std::vector<const SweepAdapter*>> out;
    std::map<int, size_t> byGroup;
    for (const SweepAdapter& a : run.adapters) {
        if (a.group == FWS_NO_GROUP) {
            out.push_back({&a});
            continue;
        }
        auto it = byGroup.find(a.group);
        if (it == byGroup.end()) {
            byGroup[a.group] = out.size();
            out.push_back({&a});
        } else {
            out[it->second].push_back(&a);
        }
    }
    return out;
}

std::vector<const SweepAdapter*> adapterGroupOf(const SweepRun& run, const SweepAdapter& a) {
    for (const std::vector<const SweepAdapter*>& group : physicalAdapters(run))
        for (const SweepAdapter* f : group)
            if (f == &a) return group;
    return {&a};
}

Json jsonTool() {
    return {{"name", "fwsweep"}, {"version", fwsweepVersion()}};
}

Json jsonAdapterIdentity(const std::vector<const SweepAdapter*>& group) {
    const SweepAdapter& first = *group.front();
    Json id;
    id["serial"] = first.serial;
    id["model"] = first.model;
    id["matrixKey"] = first.matrixKey;
    id["pciAddress"] = pciAddress(first, false);
    Json functions = Json::array();
    for (const SweepAdapter* a : group)
        functions.push_back({{"hbaset", a->number},
                             {"kind", a->portTypeText},
                             {"address", isMacPort(*a) ? a->mac : a->wwn}});
    id["functions"] = functions;
    return id;
}

void printJsonDocument(const SweepRun& run) {
    const RunOptions& o = run.opt;
    const RunOutcome& out = run.outcome;
    Summary sum;
    Json adapters = jsonAdapters(run, &sum);
    Json doc;
    doc["schemaVersion"] = FWS_SCHEMA_VERSION;
    doc["tool"] = jsonTool();
    doc["runId"] = run.runId;
    doc["host"] = hostName();
    doc["startedAt"] = run.startedAt;
    doc["endedAt"] = rfc3339Now();
    doc["mode"] = jsonMode(o);
    doc["operation"] = operationName(o);
    doc["options"] = {{"auto", o.autoMode},
                      {"preview", o.preview},
                      {"forceBootCode", o.forceBios},
                      {"verify", o.verify},
                      {"vpd", o.vpd}};
    doc["returnCode"] = out.code;
    doc["returnCodeName"] = out.name;
    doc["message"] = out.message;
    doc["specialReleases"] = run.count.specialReleases;
    doc["rebootRequired"] = !out.earlyExit && rebootNeeded(run);
    doc["pendingReboots"] = run.pendingReboots;
    doc["summary"] = {
        {"adapters", adapters.size()}, {"functions", out.earlyExit ? 0 : run.adapters.size()},
        {"updated", sum.updated},      {"alreadyCurrent", sum.alreadyCurrent},
        {"previewed", sum.previewed},  {"skipped", sum.skipped},
        {"failed", sum.failed},        {"unsupported", sum.unsupported},
        {"incomplete", sum.incomplete}};
    doc["manifest"] = {{"path", nullable(run.manifest.path, "")},
                       {"present", run.manifest.present},
                       {"required", o.verify}};
    doc["adapters"] = adapters;
    bool failed = out.earlyExit && out.code != 0;
    doc["error"] = failed ? Json{{"code", out.code}, {"name", out.name}, {"message", out.message}}
                          : Json(nullptr);
    if (o.imageVersion) doc["image"] = jsonImageVersion(run);
    if (o.history)
        doc["history"] =
            run.historyJson.empty() ? Json(nullptr) : Json::parse(run.historyJson, nullptr, false);
    // Bytes that are not UTF-8 (a model text) are replaced, never thrown on.
    docRaw((doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n").c_str());
}
