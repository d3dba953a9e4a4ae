// The update history against the stub hbaset: one valid line per download
// that ran, pending reboots resolved against what hbaattr says the adapter
// runs, the file named by switch or variable, and history files that cannot
// be used never stopping or fooling a run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/report_check.h"
#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

namespace fs = std::filesystem;
using fwtest::StubRun;
using nlohmann::json;

const char kRebootAnswer[] = "reboot\nCommand completed, NO Error\n";

std::string hbaattrText(const std::string& active, const std::string& onFlash) {
    return "HBA                            : 1\nActiveFirmwareVersion          : " + active +
           "\nFirmwareVersionOnFlash         : " + onFlash + "\n";
}

TEST(History, OneLinePerDownloadThatRan) {
    const struct {
        const char* name;
        int code;
        const char* text;
        std::vector<std::string> args;
        const char* matrix;
        size_t lines;
        const char* result;
        int status;
    } cases[] = {
        {"reboot needed",
         80,
         kRebootAnswer,
         {},
         "CV3C100-FCoE cv3new.ufi\n",
         1,
         "pending-reboot",
         1},
        {"running at once",
         0,
         "Command completed, NO Error\n",
         {},
         "CV3C100-FCoE cv3new.ufi\n",
         1,
         "ok",
         0},
        {"refused", 7, "Reported Error of 7\n", {}, "CV3C100-FCoE cv3new.ufi\n", 1, "failed", 3},
        {"activating reset failed",
         14,
         "Reset failed\n",
         {},
         "CV3C100-FCoE cv3new.ufi\n",
         1,
         "pending-reboot",
         4},
        {"preview", 80, kRebootAnswer, {"/p"}, "CV3C100-FCoE cv3new.ufi\n", 0, "", 0},
        {"image missing", 80, kRebootAnswer, {}, "CV3C100-FCoE gone.ufi\n", 0, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        fwtest::setUpFleetF(s);
        s.matrix(c.matrix);
        s.download(0, c.code, c.text);
        std::vector<std::string> args = {"/update"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        s.run(args);
        if (c.lines == 0) {
            EXPECT_FALSE(fs::exists(s.history()));
            continue;
        }
        std::vector<json> lines = fwtest::checkedHistory(s.history());
        // One download for the three functions of the adapter.
        ASSERT_EQ(lines.size(), c.lines);
        const json& a = lines[0];
        EXPECT_EQ(a["type"], "attempt");
        EXPECT_EQ(a["result"], c.result);
        EXPECT_EQ(a["status"], c.status);
        EXPECT_EQ(a["adapter"]["serial"], "A1");
        EXPECT_EQ(a["adapter"]["functions"].size(), 3u);
        EXPECT_EQ(a["from"], "4.2.324.0");
        EXPECT_EQ(a["to"], "4.6.281.8");
        EXPECT_EQ(a["image"]["path"], s.bin() + "firmware/cv3new.ufi");
        EXPECT_EQ(a["exitCode"], c.code);
    }
}

TEST(History, PendingEntriesFollowWhatTheAdapterRuns) {
    const struct {
        const char* name;
        std::string hbaattr;
        const char* state;
        int pending; // pendingReboots of the resolving run
    } cases[] = {
        {"not rebooted yet", hbaattrText("4.2.324.0", "4.6.281.8"), "pending-reboot", 1},
        {"rebooted", hbaattrText("4.6.281.8", "4.6.281.8"), "activated", 0},
        {"another image on flash", hbaattrText("4.2.324.0", "4.7.0.0"), "activation-failed", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        fwtest::setUpFleetF(s);
        s.download(0, 80, kRebootAnswer);
        ASSERT_EQ(s.run({"/update"}).exit_code, 0);
        s.hbaattr(c.hbaattr);
        StubRun::JsonRun q = s.runJson({"/q"});
        ASSERT_FALSE(q.doc.is_null());
        EXPECT_EQ(q.doc["pendingReboots"], c.pending);
        std::vector<json> lines = fwtest::checkedHistory(s.history());
        EXPECT_EQ(lines.size(), c.pending ? 1u : 2u);
        // The listing shows the state now, and asks hbaset again only while
        // an entry is pending.
        size_t before = s.calls().size();
        StubRun::JsonRun h = s.runJson({"/history"});
        ASSERT_FALSE(h.doc.is_null());
        const json& entries = h.doc["history"]["entries"];
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]["state"], c.state);
        EXPECT_EQ(entries[0]["result"], "pending-reboot");
        EXPECT_EQ(s.calls().size() > before, c.pending == 1);
        hbatest::RunResult text = s.run({"/history"});
        EXPECT_NE(text.out.find("A1 CV3C100-FCoE (0000:30:00)  firmware  4.2.324.0 -> 4.6.281.8  " +
                                std::string(c.state)),
                  std::string::npos)
            << text.out;
    }
}

TEST(History, SwitchBeforeVariable) {
    StubRun s;
    fwtest::setUpFleetF(s);
    std::string fromSwitch = s.path("switch.jsonl"), fromVariable = s.path("variable.jsonl");
    s.run({"/update", "/historyfile=" + fromSwitch}, {{"FWSWEEP_HISTORY", fromVariable}});
    EXPECT_TRUE(fs::exists(fromSwitch));
    EXPECT_FALSE(fs::exists(fromVariable));
    s.run({"/update"}, {{"FWSWEEP_HISTORY", fromVariable}});
    EXPECT_TRUE(fs::exists(fromVariable));
    EXPECT_EQ(s.run({"/historyfile="}).exit_code, 4);
}

TEST(History, UnusableFilesNeverStopOrFoolTheRun) {
    // A link where the history should be: the update still runs and
    // succeeds, the link's target is never written.
    StubRun s;
    fwtest::setUpFleetF(s);
    std::string target = s.path("elsewhere");
    hbatest::write_file(target, "keep\n");
    fs::create_symlink(target, s.history());
    hbatest::RunResult r = s.run({"/update"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(
        r.out.find("the update history " + s.history() + " cannot be written: a symbolic link"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(hbatest::read_file(target), "keep\n");

    // A FIFO: /history fails at once instead of waiting for a writer.
    StubRun f;
    fwtest::setUpFleetF(f);
    ASSERT_EQ(mkfifo(f.history().c_str(), 0600), 0);
    StubRun::JsonRun h = f.runJson({"/history"});
    EXPECT_EQ(h.r.exit_code, 2);
    EXPECT_EQ(h.doc["returnCodeName"], "history-unreadable");

    // A line cut short by a crash is skipped, and the next line still
    // starts on a line of its own.
    StubRun c;
    fwtest::setUpFleetF(c);
    hbatest::write_file(c.history(), "{\"type\":\"attempt\",\"id\":\"x");
    c.run({"/update"});
    StubRun::JsonRun listed = c.runJson({"/history"});
    EXPECT_EQ(listed.doc["history"]["unreadableLines"], 1);
    EXPECT_EQ(listed.doc["history"]["entries"].size(), 1u);
}

} // namespace
