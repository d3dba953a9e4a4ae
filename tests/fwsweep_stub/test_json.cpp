// fwsweep's documents for programs, against the stub hbaset: every mode and
// every early exit of /json is one document on standard output that
// validates against docs/fwsweep-report.schema.json; its components and
// reboot flag say what the XML document of the same run says; and every
// early exit of /xml is a well-formed document.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/report_check.h"
#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

using fwtest::Fn;
using fwtest::StubRun;
using nlohmann::json;

// Fleet F with its new image, as a table's set-up.
void fleet(StubRun& s) {
    fwtest::setUpFleetF(s);
}

const std::map<std::string, std::string> kDenied = {{"HBASIM_REG_DENY", "1"}};

struct ModeCase {
    const char* name;
    std::function<void(StubRun&)> setup;
    std::vector<std::string> args;
    int rc;
    const char* mode;
    const char* outcome;
    bool error; // an early exit with an error object
    std::map<std::string, std::string> env;
};

const ModeCase kModes[] = {
    {"update", fleet, {"/update"}, 0, "update", "succeeded", false, {}},
    {"query", fleet, {"/q"}, 0, "query", "succeeded", false, {}},
    {"preview", fleet, {"/p", "/update"}, 0, "preview", "succeeded", false, {}},
    {"rewrite",
     [](StubRun& s) {
         fwtest::setUpFleetF(s);
         s.listattr(fwtest::fleetF("4.6.281.8"));
     },
     {"/rewrite"},
     0,
     "rewrite",
     "succeeded",
     false,
     {}},
    {"downgrade", fleet, {"/g"}, 1, "downgrade", "nothing-required", false, {}},
    {"force", fleet, {"/f"}, 0, "force", "succeeded", false, {}},
    {"auto",
     [](StubRun& s) {
         s.listattr(fwtest::fleetF());
         s.image("cv3new.ufi", "3 4.6.281.8");
     },
     {"/auto", "/update"},
     0,
     "update",
     "succeeded",
     false,
     {}},
    {"no operation", fleet, {"/ramdrive"}, 0, "none", "operation-complete", false, {}},
    {"image version",
     fleet,
     {"/iv=firmware/cv3new.ufi"},
     0,
     "image-version",
     "image-version",
     false,
     {}},
    {"history", fleet, {"/history"}, 0, "history", "history", false, {}},
    {"help", fleet, {"/?"}, 0, "none", "help", false, {}},
    {"switch error", fleet, {"/updates"}, 4, "none", "switch-error", true, {}},
    {"invalid options", fleet, {"/rewrite", "/update"}, 2, "update", "invalid-options", true, {}},
    {"xml and json", fleet, {"/q", "/xml"}, 2, "query", "invalid-options", true, {}},
    {"no matrix file",
     [](StubRun& s) { s.listattr(fwtest::fleetF()); },
     {"/q"},
     2,
     "query",
     "matrix-not-found",
     true,
     {}},
    {"listing child killed",
     [](StubRun& s) {
         fwtest::setUpFleetF(s);
         s.listattr(fwtest::fleetF(), -9);
     },
     {"/update"},
     5,
     "update",
     "no-supported-adapters",
     true,
     {}},
    {"image version unreadable",
     fleet,
     {"/iv=missing.ufi"},
     19,
     "image-version",
     "image-version-error",
     true,
     {}},
    {"insufficient privileges",
     fleet,
     {"/update"},
     8,
     "none",
     "insufficient-privileges",
     true,
     kDenied},
};

std::vector<std::string> withImagePath(const StubRun& s, std::vector<std::string> args) {
    for (std::string& a : args)
        if (a.rfind("/iv=firmware", 0) == 0) a = "/iv=" + s.bin() + a.substr(4);
    return args;
}

TEST(JsonReport, EveryModeAndEarlyExitIsOneValidDocument) {
    for (const ModeCase& c : kModes) {
        SCOPED_TRACE(c.name);
        StubRun s;
        c.setup(s);
        StubRun::JsonRun j = s.runJson(withImagePath(s, c.args), c.env);
        EXPECT_EQ(j.r.exit_code, c.rc) << j.r.err;
        ASSERT_FALSE(j.doc.is_null()) << j.r.out;
        EXPECT_EQ(j.doc["returnCode"], c.rc);
        EXPECT_EQ(j.doc["mode"], c.mode);
        EXPECT_EQ(j.doc["returnCodeName"], c.outcome);
        EXPECT_EQ(j.doc["error"].is_object(), c.error) << j.r.out;
        EXPECT_TRUE(!c.error || j.doc["adapters"].empty());
    }
}

TEST(JsonReport, MessagesStayOffStandardOutput) {
    // Verbose child output, summaries and help text go to standard error.
    StubRun s;
    fwtest::setUpFleetF(s);
    StubRun::JsonRun v = s.runJson({"/update", "/v"});
    ASSERT_FALSE(v.doc.is_null());
    EXPECT_NE(v.r.err.find("executing command : " + s.bin() + "hbaset listattr /c"),
              std::string::npos);
    EXPECT_NE(v.r.err.find("Download Summary:"), std::string::npos);
    StubRun::JsonRun h = s.runJson({"/nonsense"});
    EXPECT_NE(h.r.err.find("[/ramdrive=<drv>[:]]"), std::string::npos);
    EXPECT_EQ(h.doc["error"]["message"], "Unknown switch = /nonsense");
    // --json is the same switch.
    hbatest::RunResult alias = s.run({"/q", "--json"});
    json doc = fwtest::checkedReport(alias.out);
    EXPECT_EQ(doc["mode"], "query");
    EXPECT_EQ(doc["adapters"].size(), 1u);
}

TEST(XmlReport, EveryEarlyExitIsAWellFormedDocument) {
    for (const ModeCase& c : kModes) {
        if (!c.error && c.rc == 0 && std::string(c.mode) != "none") continue;
        if (std::string(c.name) == "xml and json") continue;
        SCOPED_TRACE(c.name);
        StubRun s;
        c.setup(s);
        std::vector<std::string> args = withImagePath(s, c.args);
        args.push_back("/xml");
        hbatest::RunResult r = s.run(args, c.env);
        EXPECT_EQ(r.exit_code, c.rc);
        EXPECT_TRUE(fwtest::validDocument("xml", r.out));
        std::string message = "<Message id=\"" + std::to_string(c.rc) + "\">";
        EXPECT_TRUE(!c.error || r.out.find(message) != std::string::npos) << r.out;
    }
    // Verbose progress no longer lands inside the document.
    StubRun s;
    fwtest::setUpFleetF(s);
    hbatest::RunResult v = s.run({"/update", "/xml", "/v"});
    EXPECT_TRUE(fwtest::validDocument("xml", v.out));
    EXPECT_NE(v.err.find("executing command"), std::string::npos);
}

// The first DownloadStatus status and the RebootRequired value of an XML document.
std::pair<int, int> xmlStatusAndReboot(const std::string& xml) {
    auto number = [&](const std::string& key) {
        size_t p = xml.find(key);
        return p == std::string::npos ? -1 : atoi(xml.c_str() + p + key.size());
    };
    return {number("<DownloadStatus status=\""), number("<RebootRequired>")};
}

TEST(JsonReport, ComponentsAgreeWithTheXmlDocument) {
    const char kOk[] = "Command completed, NO Error\n";
    const struct {
        const char* name;
        int code; // hbaset's exit code; < 0 killed by that signal
        std::string text;
        std::vector<std::string> args;
        int status;
        const char* action;
        const char* result;
        bool reboot;
        json exitCode;
    } cases[] = {
        {"reboot needed",
         80,
         std::string("reboot\n") + kOk,
         {},
         1,
         "flash",
         "pending-reboot",
         true,
         80},
        {"running at once", 0, kOk, {}, 0, "flash", "ok", false, 0},
        {"special release",
         87,
         std::string("reboot\n") + kOk,
         {},
         22,
         "flash",
         "pending-reboot",
         true,
         87},
        {"signature missing", 89, "Reported Error of 89\n", {}, 23, "flash", "failed", false, 89},
        // On flash, not running: a failure that a reboot completes.
        {"activating reset failed",
         14,
         "Reset failed on adapter 1 Stat 1\n",
         {},
         4,
         "flash",
         "failed",
         true,
         14},
        {"child killed", -9, kOk, {}, 3, "flash", "failed", false, nullptr},
        {"preview", 0, kOk, {"/p"}, 17, "preview", "ok", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        fwtest::setUpFleetF(s);
        s.download(0, c.code, c.text);
        std::vector<std::string> args = {"/update"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        StubRun::JsonRun j = s.runJson(args);
        ASSERT_FALSE(j.doc.is_null());
        args.push_back("/xml");
        std::pair<int, int> xml = xmlStatusAndReboot(s.run(args).out);

        ASSERT_EQ(j.doc["adapters"].size(), 1u);
        const json& a = j.doc["adapters"][0];
        EXPECT_EQ(a["serial"], "A1");
        EXPECT_EQ(a["functions"].size(), 3u);
        const json& fw = a["components"]["firmware"];
        EXPECT_EQ(fw["status"], c.status);
        EXPECT_EQ(xml.first, c.status);
        EXPECT_EQ(fw["action"], c.action);
        EXPECT_EQ(fw["result"], c.result);
        EXPECT_EQ(fw["exitCode"], c.exitCode);
        EXPECT_EQ(fw["installed"], "4.2.324.0");
        EXPECT_EQ(fw["target"], "4.6.281.8");
        EXPECT_EQ(fw["image"]["sha256"], fwtest::sha256Of(s.bin() + "firmware/cv3new.ufi"));
        EXPECT_EQ(j.doc["rebootRequired"], c.reboot);
        EXPECT_EQ(xml.second, c.reboot ? 1 : 0);
        EXPECT_EQ(a["components"]["bootCode"]["action"], "none");
        // One physical adapter, counted once.
        const json& sum = j.doc["summary"];
        EXPECT_EQ(sum["failed"], std::string(c.result) == "failed" ? 1 : 0);
        EXPECT_EQ(sum["previewed"], std::string(c.action) == "preview" ? 1 : 0);
    }
}

TEST(JsonReport, ActionsOfSkippedCurrentAndQueriedAdapters) {
    Fn ilo;
    ilo.n = 4, ilo.device = 0x0700, ilo.model = "CV2C100", ilo.serial = "C2", ilo.bus = 0x50;
    ilo.subVendor = 0x103C, ilo.subDevice = 0x1747, ilo.fw = ilo.boot = "4.0.359.99";
    const struct {
        const char* name;
        const char* matrix;
        const char* fw;
        std::vector<std::string> args;
        const char* action;
        const char* result;
        int status;
        const char* summaryKey;
    } cases[] = {
        {"no matrix line",
         "TRN4100-NIC t.ufi\n",
         "4.2.324.0",
         {"/update"},
         "skip",
         "skipped",
         16,
         "skipped"},
        {"already current",
         "CV3C100-FCoE cv3new.ufi\n",
         "4.6.281.8",
         {"/update"},
         "keep",
         "ok",
         2,
         "alreadyCurrent"},
        {"matrix names a missing file",
         "CV3C100-FCoE gone.ufi\n",
         "4.2.324.0",
         {"/update"},
         "flash",
         "failed",
         19,
         "failed"},
        {"running version unknown",
         "CV3C100-FCoE cv3new.ufi\n",
         "N/A",
         {"/update"},
         "skip",
         "skipped",
         10,
         "skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        s.listattr(fwtest::fleetF(c.fw));
        s.matrix(c.matrix);
        s.image("cv3new.ufi", "3 4.6.281.8");
        StubRun::JsonRun j = s.runJson(c.args);
        ASSERT_FALSE(j.doc.is_null());
        const json& fw = j.doc["adapters"][0]["components"]["firmware"];
        EXPECT_EQ(fw["action"], c.action);
        EXPECT_EQ(fw["result"], c.result);
        EXPECT_EQ(fw["status"], c.status);
        EXPECT_EQ(j.doc["summary"][c.summaryKey], 1);
        EXPECT_FALSE(j.doc["rebootRequired"]);
    }

    // A query: nothing decided; an unsupported adapter and an incomplete entry.
    StubRun s;
    std::vector<Fn> fns = fwtest::fleetF();
    fns[2].address = "00:00:00:00:00:00";
    fns.push_back(ilo);
    s.listattr(fns);
    s.matrix("x\n");
    StubRun::JsonRun q = s.runJson({"/q"});
    ASSERT_FALSE(q.doc.is_null());
    EXPECT_EQ(q.r.exit_code, 14); // some incomplete, with an unsupported adapter
    ASSERT_EQ(q.doc["adapters"].size(), 2u);
    EXPECT_EQ(q.doc["adapters"][0]["components"]["firmware"]["action"], "none");
    EXPECT_FALSE(q.doc["adapters"][0]["functions"][2]["complete"]);
    EXPECT_FALSE(q.doc["adapters"][1]["supported"]);
    EXPECT_EQ(q.doc["summary"]["incomplete"], 1);
    EXPECT_EQ(q.doc["summary"]["unsupported"], 1);
}

} // namespace
