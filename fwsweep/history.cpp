// The update history file: attempt lines, resolution lines, and the listing
// of /history. Every line is appended whole under a lock and flushed to the
// disk (plat_append_record); nothing in the file is ever rewritten. A line
// that cannot be parsed (cut short by a crash) is skipped and counted.
#include "fwsweep/history.h"

#include <strings.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "fwsweep/devices.h"
#include "fwsweep/digests.h"
#include "fwsweep/hbaset_child.h"
#include "fwsweep/json_parts.h"
#include "fwsweep/listattr.h"
#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/trust.h"
#include "fwsweep/versions.h"
#include "platform/plat_paths.h"
#include "platform/plat_safe_io.h"

namespace {

constexpr size_t kHistoryMax = 64u << 20; // bytes of history read
constexpr int kRcHistoryUnreadable = 2;

// One attempt of the file with the resolution that ended its pending state.
struct Entry {
    Json attempt;
    Json resolution; // null while unresolved
};

struct HistoryFile {
    int readResult = PLAT_OPEN_OK;
    std::vector<Entry> entries;
    int unreadableLines = 0;
};

// A string member of a JSON object ("" when absent or not a string).
std::string text(const Json& j, const char* key) {
    if (!j.is_object()) return "";
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

HistoryFile readHistory(const std::string& path) {
    HistoryFile h;
    std::string data;
    h.readResult = plat_read_regular_file(path.c_str(), kHistoryMax, &data);
    std::map<std::string, size_t> byId;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) nl = data.size();
        std::string line = data.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        Json j = Json::parse(line, nullptr, false);
        std::string type = text(j, "type"), id = text(j, "id");
        if (j.is_discarded() || id.empty() || (type != "attempt" && type != "resolution")) {
            ++h.unreadableLines;
            continue;
        }
        if (type == "attempt") {
            byId[id] = h.entries.size();
            h.entries.push_back({j, nullptr});
            continue;
        }
        // The first resolution of an attempt counts; a later copy (two runs
        // resolving at once) changes nothing.
        auto it = byId.find(id);
        if (it != byId.end() && h.entries[it->second].resolution.is_null())
            h.entries[it->second].resolution = j;
    }
    return h;
}

// The state an entry is in now.
std::string stateOf(const Entry& e) {
    return e.resolution.is_null() ? text(e.attempt, "result") : text(e.resolution, "result");
}

bool append(const std::string& path, const Json& line) {
    std::string s = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    int r = plat_append_record(path.c_str(), FWS_HISTORY_MODE, s.data(), s.size());
    if (r != PLAT_OPEN_OK)
        outText("\n%s: Warning - the update history %s cannot be written: %s\n", FWS_PROGRAM,
                path.c_str(), plat_open_result_text(r));
    return r == PLAT_OPEN_OK;
}

const char* attemptResult(int status) {
    switch (status) {
    case FWS_DL_OK:
        return "ok";
    case FWS_DL_OK_REBOOT:
    case FWS_DL_SPECIAL:
    case FWS_DL_RESET_FAILED: // on flash; its activating reset failed
        return "pending-reboot";
    default:
        return "failed";
    }
}

// Whether the version text an adapter shows is the target version: the four
// converged parts when both texts have them (with the CV2/CV3 text correction
// the listing gets), else the texts without regard to case.
bool sameVersion(const SweepAdapter& a, const std::string& shown, const std::string& target) {
    CluImage s, t;
    bool sParts = encodeCNAVersion(&s.major, &s.minor, &s.release, &s.build, shown.c_str()) == 0;
    bool tParts = encodeCNAVersion(&t.major, &t.minor, &t.release, &t.build, target.c_str()) == 0;
    if (!sParts || !tParts) return strcasecmp(shown.c_str(), target.c_str()) == 0;
    SweepFamily f = sweepFamilyOf(a.deviceId);
    if ((f == SWEEP_FAMILY_CV2 || f == SWEEP_FAMILY_CV3) && (s.major == 2 || s.major == 3)) {
        std::string corrected = shown;
        correctCvVersionText(corrected.data());
        encodeCNAVersion(&s.major, &s.minor, &s.release, &s.build, corrected.c_str());
    }
    return s.major == t.major && s.minor == t.minor && s.release == t.release && s.build == t.build;
}

// The discovered physical adapter an attempt was made on (null when gone).
const SweepAdapter* findAdapter(const SweepRun& run, const Json& attempt) {
    const Json& id = attempt.contains("adapter") ? attempt["adapter"] : Json();
    std::string serial = text(id, "serial"), pci = text(id, "pciAddress");
    for (const SweepAdapter& a : run.adapters) {
        if (serial.empty() || strcasecmp(serial.c_str(), a.serial) != 0) continue;
        if (pci == pciAddress(a, false)) return &a;
    }
    return nullptr;
}

// Running and flash versions of an adapter. Converged adapters show both in
// hbaattr; the others show only what they run, which is their listing.
void firmwareOf(const SweepRun& run, const SweepAdapter& a, std::string* running,
                std::string* onFlash) {
    *running = a.fwVersion;
    onFlash->clear();
    if (!isConvergedDevice(a.deviceId)) return;
    ChildResult r;
    if (!runHbaset(run, {"hbaattr", "n=" + std::to_string(a.number)}, &r) || r.exitCode != 0)
        return;
    char active[FWS_VERSION_SIZE], flash[FWS_VERSION_SIZE];
    labelValue(r.output.data(), r.output.size(), "ActiveFirmwareVersion", active, sizeof active);
    labelValue(r.output.data(), r.output.size(), "FirmwareVersionOnFlash", flash, sizeof flash);
    if (strcmp(active, "N/A") != 0) *running = active;
    if (strcmp(flash, "N/A") != 0) *onFlash = flash;
}

Json resolutionLine(const SweepRun& run, const std::string& id, const char* result,
                    const std::string& running, const std::string& onFlash) {
    Json j;
    j["type"] = "resolution";
    j["id"] = id;
    j["time"] = rfc3339Now();
    j["runId"] = run.runId;
    j["host"] = hostName();
    j["result"] = result;
    j["running"] = running;
    j["onFlash"] = onFlash.empty() ? Json(nullptr) : Json(onFlash);
    return j;
}

// Entries of this host still pending.
std::vector<const Entry*> pendingEntries(const HistoryFile& h) {
    std::vector<const Entry*> out;
    std::string host = hostName();
    for (const Entry& e : h.entries)
        if (stateOf(e) == "pending-reboot" && text(e.attempt, "host") == host) out.push_back(&e);
    return out;
}

Json listedEntry(const Entry& e) {
    Json j = e.attempt;
    j["state"] = stateOf(e);
    j["resolution"] = e.resolution.is_null() ? Json(nullptr)
                                             : Json{{"time", text(e.resolution, "time")},
                                                    {"runId", text(e.resolution, "runId")},
                                                    {"running", text(e.resolution, "running")}};
    return j;
}

void printText(const HistoryFile& h) {
    for (const Entry& e : h.entries) {
        const Json& a = e.attempt;
        const Json& id = a.contains("adapter") ? a["adapter"] : Json();
        std::string state = stateOf(e);
        outText("%s  %s  %s %s (%s)  %s  %s -> %s  %s", text(a, "time").c_str(),
                text(a, "host").c_str(), text(id, "serial").c_str(), text(id, "model").c_str(),
                text(id, "pciAddress").c_str(), text(a, "component").c_str(),
                text(a, "from").c_str(), text(a, "to").c_str(), state.c_str());
        if (!e.resolution.is_null()) outText(" (%s)", text(e.resolution, "time").c_str());
        outText("\n");
    }
    if (h.entries.empty()) outText("No updates recorded.\n");
}

} // namespace

std::string historyPath(const RunOptions& opt) {
    if (!opt.historyFile.empty()) return opt.historyFile;
    const char* v = getenv(FWS_HISTORY_VARIABLE);
    if (v && *v) return v;
    char dir[4096];
    if (plat_suite_dir(PLAT_DIR_STATE, dir, sizeof dir) == 0) return "";
    return std::string(dir) + "/" + FWS_HISTORY_FILE;
}

void historyRecordAttempt(SweepRun* run, const SweepAdapter& a, const Decision& d) {
    const std::string& path = run->paths.historyFile;
    if (path.empty()) return;
    Json j;
    j["type"] = "attempt";
    j["id"] = run->runId + "-" + std::to_string(++run->historySeq);
    j["time"] = rfc3339Now();
    j["runId"] = run->runId;
    j["host"] = hostName();
    j["adapter"] = jsonAdapterIdentity(adapterGroupOf(*run, a));
    j["component"] = "firmware";
    j["from"] = a.fwVersion;
    j["to"] = d.version;
    const std::string& digest = imageDigest(run, d.imagePath);
    j["image"] = {{"file", d.file},
                  {"path", d.imagePath},
                  {"sha256", digest.empty() ? Json(nullptr) : Json(digest)}};
    j["result"] = attemptResult(d.status);
    j["status"] = d.status;
    j["message"] = statusMessage(d.status);
    j["exitCode"] = d.exitCode >= 0 ? Json(d.exitCode) : Json(nullptr);
    j["durationMs"] = d.durationMs;
    append(path, j);
}

void historyResolve(SweepRun* run) {
    const std::string& path = run->paths.historyFile;
    if (path.empty()) return;
    HistoryFile h = readHistory(path);
    run->pendingReboots = 0;
    for (const Entry* e : pendingEntries(h)) {
        ++run->pendingReboots;
        const SweepAdapter* a = findAdapter(*run, e->attempt);
        if (!a) continue;
        std::string running, onFlash, to = text(e->attempt, "to");
        firmwareOf(*run, *a, &running, &onFlash);
        const char* result = nullptr;
        if (sameVersion(*a, running, to))
            result = "activated";
        else if (!onFlash.empty() && !sameVersion(*a, onFlash, to))
            result = "activation-failed"; // the flash no longer holds the image
        dbgTrace("[history] %s: running %s, flash %s, target %s: %s\n",
                 text(e->attempt, "id").c_str(), running.c_str(), onFlash.c_str(), to.c_str(),
                 result ? result : "still pending");
        if (result &&
            append(path, resolutionLine(*run, text(e->attempt, "id"), result, running, onFlash)))
            --run->pendingReboots;
    }
}

int showHistory(SweepRun* run) {
    const std::string& path = run->paths.historyFile;
    HistoryFile h = readHistory(path);
    if (h.readResult != PLAT_OPEN_OK && h.readResult != PLAT_OPEN_MISSING) {
        char message[512];
        snprintf(message, sizeof message, "unable to read the update history %s: %s", path.c_str(),
                 plat_open_result_text(h.readResult));
        outText("\n%s: Error - %s - Return Code=%d\n\n", FWS_PROGRAM, message,
                kRcHistoryUnreadable);
        setEarlyExit(run, kRcHistoryUnreadable, "history-unreadable", message);
        return kRcHistoryUnreadable;
    }
    // Pending entries are resolved first, so the listing shows what runs now.
    std::string why;
    if (!pendingEntries(h).empty() && hbasetTrusted(*run, &why)) {
        discoverAdapters(run);
        historyResolve(run);
        h = readHistory(path);
    }
    run->adapters.clear();
    Json entries = Json::array();
    for (const Entry& e : h.entries)
        entries.push_back(listedEntry(e));
    Json listing = {{"file", path}, {"entries", entries}, {"unreadableLines", h.unreadableLines}};
    run->historyJson = listing.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (!run->opt.json) printText(h);
    setEarlyExit(run, 0, "history", std::to_string(h.entries.size()) + " updates recorded.");
    return 0;
}
