// fwsweep end to end: the real hbaset, the adapter library and the simulated
// machine, with firmware images built by the image builder. Each scenario
// checks the flashes the simulated NEXA library received, the report (text,
// XML or JSON, the JSON checked against its schema), the update history and
// the return code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/plat_adapter_lock.h"
#include "tests/fwsweep_stub/report_check.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using hbatest::RunResult;
using hbatest::TempState;

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// Fleet F: one CV3 adapter (serial A1): FCoE, NIC, NIC, all at 4.2.324.0.
const char kFleetF[] = "adapter A cv3 serial = A1 fw_active = 4.2.324.0%s\n"
                       "function fcoe revision = 0x02\n"
                       "function nic revision = 0x02\n"
                       "function nic revision = 0x02\n";

std::string fleetF(const std::string& adapterKeys = "") {
    char b[512];
    snprintf(b, sizeof b, kFleetF, adapterKeys.c_str());
    return b;
}

const char kTarnelNic[] = "adapter B tarnel serial = B1 fw_active = 5.0.0.0\n"
                          "function nic\n";

class Machine {
  public:
    explicit Machine(const std::string& fleet) {
        state_.init(fleet);
        dir_ = state_.path("img/");
        fs::create_directories(dir_ + "firmware");
    }
    // A UFI image in the firmware folder; extra options of `hbasim image ufi`.
    void image(const std::string& name, int gen, const std::string& version, int asic,
               const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"image",     "ufi",   "--gen",  std::to_string(gen),
                                         "--version", version, "--asic", std::to_string(asic)};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("-o");
        args.push_back(dir_ + "firmware/" + name);
        RunResult r = hbasim(args);
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }
    void matrix(const std::string& text) { hbatest::write_file(dir_ + "fwmatrix.txt", text); }
    RunResult fwsweep(std::vector<std::string> args, const std::string& program = "") {
        args.push_back("/id=" + dir_);
        args.push_back("/fmd=" + dir_);
        // The update history goes to the test's own folder, never beside the
        // built programs.
        return hbatest::run(program.empty() ? hbatest::bin_path("fwsweep") : program, args,
                            {{"FWSWEEP_HISTORY", history()}}, state_.dir());
    }
    RunResult hbasim(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbasim"), args, {}, state_.dir());
    }
    RunResult hbaset(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, {}, state_.dir());
    }
    // The image files UpgradeFlashROM was asked to write, in order.
    std::vector<std::string> flashes() {
        std::vector<std::string> out;
        std::string log = hbasim({"log"}).out;
        const std::string key = "UpgradeFlashROM p0=";
        for (size_t p = log.find(key); p != std::string::npos; p = log.find(key, p + 1)) {
            size_t e = log.find(' ', p + key.size());
            out.push_back(fs::path(log.substr(p + key.size(), e - p - key.size())).filename());
        }
        return out;
    }
    void clearLog() { hbasim({"log", "clear"}); }
    std::string history() const { return state_.path("history.jsonl"); }
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& rel) const { return state_.path(rel); }

  private:
    TempState state_;
    std::string dir_;
};

const char kLine[] =
    "Update=Firmware, Image=cv3new.ufi, New=4.6.281.8, Old=4.2.324.0, Status=Success";
const char kReboot[] = "Please reboot system to activate new firmware.";

void setUpE1(Machine& m) {
    m.image("cv3new.ufi", 3, "4.6.281.8", 0);
    m.matrix("CV3C100-FCoE cv3new.ufi\n");
}

TEST(FwsweepE2E, E1_E2_UpdateOnceThenNothingThenRewrite) {
    Machine m(fleetF());
    setUpE1(m);
    m.clearLog();
    RunResult r = m.fwsweep({"/update"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(m.flashes(), std::vector<std::string>{"cv3new.ufi"});
    EXPECT_EQ(countOf(r.out, kLine), 3u) << r.out;
    EXPECT_NE(r.out.find("All required updates succeeded - Return Code=0"), std::string::npos);
    EXPECT_NE(r.out.find(kReboot), std::string::npos);
    EXPECT_NE(m.hbasim({"show"}).out.find("on flash 4.6.281.8"), std::string::npos);

    ASSERT_EQ(m.hbasim({"reboot"}).exit_code, 0);
    m.clearLog();
    RunResult again = m.fwsweep({"/update"});
    EXPECT_EQ(again.exit_code, 1) << again.out;
    EXPECT_NE(again.out.find("No updates required - Return Code=1"), std::string::npos);
    EXPECT_EQ(again.out.find(kReboot), std::string::npos);
    EXPECT_TRUE(m.flashes().empty());

    RunResult rewrite = m.fwsweep({"/rewrite"});
    EXPECT_EQ(rewrite.exit_code, 0) << rewrite.out;
    EXPECT_EQ(m.flashes().size(), 1u);
}

TEST(FwsweepE2E, E3_XmlDocument) {
    Machine m(fleetF());
    setUpE1(m);
    RunResult r = m.fwsweep({"/update", "/xml"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string& x = r.out;
    EXPECT_EQ(x.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Execution lang=\"en\">\n", 0),
              0u)
        << x;
    EXPECT_EQ(countOf(x, "    <Device "), 3u);
    EXPECT_EQ(countOf(x, "    </Device>\n"), 3u);
    EXPECT_EQ(countOf(x, " wwpn=\""), 1u);
    EXPECT_EQ(countOf(x, " mac=\""), 2u);
    EXPECT_EQ(countOf(x, "<SupportedImage file=\"cv3new.ufi\" version=\"4.6.281.8\"/>"), 3u);
    EXPECT_EQ(countOf(x, "<VersionChange update=\"true\""), 3u);
    EXPECT_EQ(countOf(x, "<DownloadStatus status=\"1\""), 3u);
    EXPECT_NE(x.find("<Message id=\"0\"> All required updates succeeded. </Message>"),
              std::string::npos);
    EXPECT_NE(x.find("    <RebootRequired>1</RebootRequired>\n</Execution>\n"), std::string::npos);
    EXPECT_EQ(countOf(x, "<Application "), countOf(x, "</Application>"));
}

TEST(FwsweepE2E, E4_PreviewFlashesNothing) {
    Machine m(fleetF());
    setUpE1(m);
    m.clearLog();
    RunResult r = m.fwsweep({"/p", "/update", "/xml"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(m.flashes().empty());
    EXPECT_EQ(countOf(r.out, "<DownloadStatus status=\"17\""), 3u) << r.out;
    EXPECT_NE(r.out.find("<RebootRequired>0</RebootRequired>"), std::string::npos);
}

TEST(FwsweepE2E, E5_AutoDowngradeTakesTheNextLowerImage) {
    Machine m("adapter A cv3 serial = A1 fw_active = 4.2.0.0\n"
              "function nic revision = 0x02\n");
    m.image("b.ufi", 3, "4.2.0.0", 0);
    m.image("c.ufi", 3, "4.1.0.0", 0);
    m.image("a.ufi", 3, "4.0.0.0", 0);
    hbatest::write_file(m.dir() + "firmware/x.txt", "notes");
    fs::create_directories(m.dir() + "firmware/old.ufi");
    m.clearLog();
    RunResult r = m.fwsweep({"/auto", "/downgrade"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(m.flashes(), std::vector<std::string>{"c.ufi"});
    EXPECT_NE(r.out.find("All required downgrades succeeded"), std::string::npos);
}

TEST(FwsweepE2E, E6_AutoUpdateByAsicRevision) {
    for (const char* rev : {"0x10", "0x11"}) {
        SCOPED_TRACE(rev);
        Machine m(std::string("adapter A cv3 serial = A1 fw_active = 4.2.0.0\nfunction nic "
                              "revision = ") +
                  rev + "\nadapter B tarnel serial = B1 fw_active = 4.2.0.0\nfunction nic\n");
        m.image("cv48.ufi", 3, "4.8.0.0", 0);
        m.image("cv47.ufi", 3, "4.7.0.0", 17);
        m.image("cv46.ufi", 3, "4.6.0.0", 16);
        m.image("t50.ufi", 4, "5.0.0.0", 0);
        m.image("t49.ufi", 4, "4.9.0.0", 16);
        m.clearLog();
        RunResult r = m.fwsweep({"/auto", "/update"});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(m.flashes(), (std::vector<std::string>{"cv47.ufi", "t49.ufi"})) << r.out;
    }
}

TEST(FwsweepE2E, E7_SpecialRelease) {
    Machine m(fleetF(" upgrade_forced_status = 318"));
    setUpE1(m);
    RunResult r = m.fwsweep({"/update"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(countOf(r.out, "Status=Success\nThis special firmware release requires the firmware "
                             "download process to be\n"),
              3u)
        << r.out;
    EXPECT_NE(r.out.find("All required updates succeeded - Return Code=0\n\n1 adapter include a "
                         "special firmware release"),
              std::string::npos);
    EXPECT_NE(r.out.find(kReboot), std::string::npos);
    RunResult x = m.fwsweep({"/update", "/xml"});
    EXPECT_EQ(countOf(x.out, "<DownloadStatus status=\"22\""), 3u) << x.out;
}

TEST(FwsweepE2E, E8_RefusedDownloads) {
    const struct {
        const char* keys;
        std::vector<std::string> imageExtra;
        const char* status;
    } cases[] = {
        {" upgrade_forced_status = 337", {}, "23"},
        {" upgrade_forced_status = 336", {}, "24"},
        {"", {"--variant", "long"}, "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Machine m(fleetF(c.keys));
        m.image("cv3new.ufi", 3, "4.6.281.8", 0, c.imageExtra);
        m.matrix("CV3C100-FCoE cv3new.ufi\n");
        RunResult x = m.fwsweep({"/update", "/xml"});
        EXPECT_EQ(x.exit_code, 2) << x.out;
        EXPECT_EQ(countOf(x.out, std::string("<DownloadStatus status=\"") + c.status + "\""), 3u)
            << x.out;
        RunResult r = m.fwsweep({"/update"});
        EXPECT_NE(r.out.find("Error - all required updates failed - Return Code=2"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find(kReboot), std::string::npos);
    }
}

TEST(FwsweepE2E, E9_OneAdapterFailsTheOtherStillGetsTheAdvice) {
    auto setUp = [](Machine& m) {
        m.image("cv3new.ufi", 3, "4.6.281.8", 0, {"--variant", "long"});
        m.image("t.ufi", 4, "5.1.0.0", 16);
        m.matrix("CV3C100-FCoE cv3new.ufi\nTRN4100-NIC t.ufi\n");
    };
    Machine xm(fleetF() + kTarnelNic);
    setUp(xm);
    RunResult x = xm.fwsweep({"/update", "/xml"});
    EXPECT_EQ(countOf(x.out, "<DownloadStatus status=\"3\""), 3u) << x.out;
    EXPECT_EQ(countOf(x.out, "<DownloadStatus status=\"1\""), 1u) << x.out;
    Machine m(fleetF() + kTarnelNic);
    setUp(m);
    RunResult r = m.fwsweep({"/update"});
    EXPECT_EQ(r.exit_code, 3) << r.out;
    EXPECT_NE(r.out.find("Error - some required updates failed - Return Code=3"),
              std::string::npos);
    EXPECT_NE(r.out.find(kReboot), std::string::npos);
}

const char kIloCv2[] = "adapter C cv2 serial = C2 fw_active = 4.0.359.99\n"
                       "function nic subsys_vendor_id = 0x103C subsys_id = 0x1747\n";

TEST(FwsweepE2E, E10_UnsupportedCv2) {
    {
        Machine m(kIloCv2);
        m.image("cv2.ufi", 2, "4.1.0.0", 0);
        m.matrix("CV2C100-NIC cv2.ufi\n");
        RunResult x = m.fwsweep({"/update", "/xml"});
        EXPECT_NE(x.out.find("<DownloadStatus status=\"9\""), std::string::npos) << x.out;
        RunResult r = m.fwsweep({"/update"});
        EXPECT_EQ(r.exit_code, 15) << r.out;
        EXPECT_NE(r.out.find("no supported Quoral HBAs found - Return Code=15"), std::string::npos);
    }
    Machine m(fleetF() + kIloCv2);
    setUpE1(m);
    m.image("cv2.ufi", 2, "4.1.0.0", 0);
    m.matrix("CV3C100-FCoE cv3new.ufi\nCV2C100-NIC cv2.ufi\n");
    RunResult r = m.fwsweep({"/update", "/v"});
    EXPECT_EQ(r.exit_code, 11) << r.out;
    EXPECT_NE(r.out.find("Unsupported HBA summary:"), std::string::npos);
}

// The model an FC function shows in listattr (the matrix key of an FC adapter).
std::string fcModel(Machine& m) {
    std::string out = m.hbaset({"listattr", "/c"}).out;
    size_t p = out.find("Model                : ");
    if (p == std::string::npos) return "";
    p += 23;
    return out.substr(p, out.find_first_of("-\n", p) - p);
}

TEST(FwsweepE2E, E11_MatrixProblems) {
    {
        Machine m(fleetF());
        setUpE1(m);
        m.matrix("TRN4100-NIC t.ufi\n");
        RunResult r = m.fwsweep({"/update", "/xml"});
        EXPECT_EQ(r.exit_code, 7);
        EXPECT_EQ(countOf(r.out, "<DownloadStatus status=\"16\""), 3u) << r.out;
        EXPECT_NE(m.fwsweep({"/update"}).out.find("No compatible firmware found - Return Code=7"),
                  std::string::npos);
        m.matrix("CV3C100-FCoE gone.ufi\n");
        RunResult g = m.fwsweep({"/update", "/xml"});
        EXPECT_EQ(g.exit_code, 2);
        EXPECT_EQ(countOf(g.out, "<DownloadStatus status=\"19\""), 3u) << g.out;
    }
    Machine m("adapter F fc\nfunction fc device_id = 0xF100\n");
    std::string model = fcModel(m);
    ASSERT_FALSE(model.empty());
    hbatest::write_file(m.dir() + "firmware/fc.all", "image");
    m.matrix(model + " fc.all\n");
    RunResult r = m.fwsweep({"/update", "/xml"});
    EXPECT_NE(r.out.find("<DownloadStatus status=\"20\""), std::string::npos) << r.out;
}

TEST(FwsweepE2E, E12_Queries) {
    const std::string fc = "adapter F fc serial = F1\nfunction fc device_id = 0xF100";
    {
        Machine m(fleetF() + fc + "\n");
        m.matrix("x\n");
        RunResult r = m.fwsweep({"/q"});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(countOf(r.out, "\nHBA="), 4u);
        EXPECT_EQ(countOf(r.out, ", Boot Enabled="), 1u);
        EXPECT_NE(r.out.find("All required queries succeeded - Return Code=0"), std::string::npos);
        RunResult x = m.fwsweep({"/q", "/xml"});
        EXPECT_NE(x.out.find("<Inventory lang=\"en\">"), std::string::npos);
        EXPECT_EQ(countOf(x.out, "<Application componentType=\"bootCode\""), 4u);
    }
    Machine m(fleetF() + fc + " wwpn = 00:00:00:00:00:00:00:00\n");
    m.matrix("x\n");
    RunResult r = m.fwsweep({"/q"});
    EXPECT_EQ(r.exit_code, 3) << r.out;
    EXPECT_NE(r.out.find("some required queries failed - Return Code=3"), std::string::npos);
}

TEST(FwsweepE2E, E13_NoAdapters) {
    {
        Machine m("# a machine without adapters\n");
        m.matrix("x\n");
        RunResult r = m.fwsweep({"/q"});
        EXPECT_EQ(r.exit_code, 5) << r.out;
        EXPECT_NE(r.out.find("no supported Quoral HBAs found - Return Code=5"), std::string::npos);
    }
    // fwsweep in a folder without hbaset.
    Machine m(fleetF());
    m.matrix("x\n");
    std::string lonely = m.path("lonely/");
    fs::create_directories(lonely);
    fs::copy_file(hbatest::bin_path("fwsweep"), lonely + "fwsweep");
    fs::create_symlink(hbatest::bin_path("libhbaplatform.so"), lonely + "libhbaplatform.so");
    RunResult r = m.fwsweep({"/q"}, lonely + "fwsweep");
    EXPECT_EQ(r.exit_code, 5) << r.out;
}

// Wakeup parameters with a boot BIOS and an expansion ROM, so that the FC
// function reports a boot code version.
std::string wakeupWithBootCode() {
    uint8_t b[60] = {};
    for (int k = 0; k < 4; ++k)
        b[12 + k] = b[52 + k] = static_cast<uint8_t>(0x03112110u >> (8 * k));
    std::string s;
    char h[3];
    for (uint8_t x : b) {
        snprintf(h, sizeof h, "%02X", x);
        s += h;
    }
    return s;
}

TEST(FwsweepE2E, E14_FcOnlyAuto) {
    Machine m("adapter F fc\nfunction fc device_id = 0xF100 region_4 = " + wakeupWithBootCode() +
              "\n");
    setUpE1(m);
    RunResult x = m.fwsweep({"/auto", "/update", "/xml"});
    EXPECT_NE(x.out.find("<DownloadStatus status=\"13\""), std::string::npos) << x.out;
    EXPECT_NE(x.out.find("<DownloadStatus status=\"14\""), std::string::npos) << x.out;
    RunResult r = m.fwsweep({"/auto", "/update"});
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("No compatible firmware and/or boot code found - Return Code=7"),
              std::string::npos);
}

TEST(FwsweepE2E, E15_ImageVersionAndPrivileges) {
    Machine m(fleetF());
    setUpE1(m);
    RunResult r = m.fwsweep({"/iv=" + m.dir() + "firmware/cv3new.ufi"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "4.6.281.8");
    EXPECT_EQ(m.fwsweep({"/iv=x.all"}).exit_code, 19);
    RunResult denied =
        hbatest::run(hbatest::bin_path("fwsweep"), {"/q"}, {{"HBASIM_REG_DENY", "1"}});
    EXPECT_EQ(denied.exit_code, 8);
}

TEST(FwsweepE2E, BackupImageIsChosenThenRefusedByHbaset) {
    // A ".ufi.bak" file passes the name test; hbaset refuses it by its own
    // extension rule and the adapter ends with a failed download.
    Machine m("adapter A cv3 serial = A1 fw_active = 4.2.0.0\nfunction nic revision = 0x02\n");
    m.image("new.ufi.bak", 3, "4.9.0.0", 0);
    m.clearLog();
    RunResult r = m.fwsweep({"/auto", "/update"});
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_TRUE(m.flashes().empty());
}

// Another program changing the adapter (another fwsweep's hbaset, an
// administrator) holds its writer lock: the download is a failure, never a
// success for the other program's work, and nothing is flashed.
TEST(FwsweepE2E, AdapterChangedByAnotherProgramIsAFailedDownload) {
    Machine m(fleetF());
    setUpE1(m);
    m.clearLog();
    PlatAdapterLock held = nullptr;
    ASSERT_EQ(plat_adapter_lock("pci-10-00", 0, &held, nullptr), PLAT_LOCK_OK);
    RunResult r = m.fwsweep({"/update"});
    plat_adapter_unlock(held);
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_EQ(countOf(r.out, "Status=Error"), 3u) << r.out;
    EXPECT_TRUE(m.flashes().empty());
}

TEST(FwsweepE2E, E16_JsonDocumentsOnTheSimulatedMachine) {
    Machine m(fleetF() + kTarnelNic);
    setUpE1(m);
    nlohmann::json q = fwtest::checkedReport(m.fwsweep({"/q", "/json"}).out);
    ASSERT_EQ(q["adapters"].size(), 2u);
    EXPECT_EQ(q["adapters"][0]["functions"].size(), 3u);
    EXPECT_EQ(q["adapters"][0]["components"]["firmware"]["installed"], "4.2.324.0");

    RunResult r = m.fwsweep({"/update", "/json", "/v"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    nlohmann::json u = fwtest::checkedReport(r.out);
    EXPECT_TRUE(u["rebootRequired"]);
    const nlohmann::json& fw = u["adapters"][0]["components"]["firmware"];
    EXPECT_EQ(fw["result"], "pending-reboot");
    EXPECT_EQ(fw["exitCode"], 80);
    EXPECT_EQ(fw["image"]["sha256"], fwtest::sha256Of(m.dir() + "firmware/cv3new.ufi"));
    EXPECT_EQ(u["adapters"][1]["components"]["firmware"]["action"], "skip");
    EXPECT_NE(r.err.find("Download successfully completed"), std::string::npos);
    EXPECT_TRUE(fwtest::validDocument("xml", m.fwsweep({"/rewrite", "/xml", "/v"}).out));
}

// The state of each entry of the /history listing, in order.
std::vector<std::string> historyStates(Machine& m) {
    nlohmann::json h = fwtest::checkedReport(m.fwsweep({"/history", "/json"}).out);
    std::vector<std::string> out;
    for (const nlohmann::json& e : h["history"]["entries"])
        out.push_back(e["state"]);
    return out;
}

TEST(FwsweepE2E, E17_HistoryResolvesAcrossAReboot) {
    Machine m(fleetF());
    setUpE1(m);
    m.image("cv3later.ufi", 3, "4.7.0.0", 0);
    ASSERT_EQ(m.fwsweep({"/update"}).exit_code, 0);
    // Not rebooted: the adapter still runs 4.2.324.0 and the history says so.
    EXPECT_EQ(historyStates(m), std::vector<std::string>{"pending-reboot"});
    m.matrix("CV3C100-FCoE cv3later.ufi\n");
    ASSERT_EQ(m.fwsweep({"/ff"}).exit_code, 0);
    // The first image was replaced on flash before it ever ran.
    EXPECT_EQ(historyStates(m), (std::vector<std::string>{"activation-failed", "pending-reboot"}));
    ASSERT_EQ(m.hbasim({"reboot"}).exit_code, 0);
    EXPECT_EQ(historyStates(m), (std::vector<std::string>{"activation-failed", "activated"}));
    nlohmann::json q = fwtest::checkedReport(m.fwsweep({"/q", "/json"}).out);
    EXPECT_EQ(q["adapters"][0]["components"]["firmware"]["installed"], "4.7.0.0");
    EXPECT_EQ(q["pendingReboots"], 0);
    std::vector<nlohmann::json> lines = fwtest::checkedHistory(m.history());
    ASSERT_EQ(lines.size(), 4u); // two attempts, two resolutions, nothing rewritten
    EXPECT_EQ(lines[3]["running"], "4.7.0.0");
}

TEST(FwsweepE2E, E18_ManifestRefusesExactlyTheBadImage) {
    Machine m(fleetF() + kTarnelNic);
    setUpE1(m);
    m.image("t.ufi", 4, "5.1.0.0", 16);
    m.matrix("CV3C100-FCoE cv3new.ufi\nTRN4100-NIC t.ufi\n");
    std::string manifest;
    for (const char* name : {"cv3new.ufi", "t.ufi"})
        manifest += fwtest::sha256Of(m.dir() + "firmware/" + name) + "  firmware/" + name + "\n";
    hbatest::write_file(m.dir() + "SHA256SUMS", manifest);
    // A copy cut short on its way from the share.
    std::string image = hbatest::read_file(m.dir() + "firmware/cv3new.ufi");
    hbatest::write_file(m.dir() + "firmware/cv3new.ufi", image.substr(0, image.size() / 2));
    m.clearLog();
    RunResult r = m.fwsweep({"/update", "/json"});
    EXPECT_EQ(r.exit_code, 3) << r.err;
    EXPECT_EQ(m.flashes(), std::vector<std::string>{"t.ufi"});
    nlohmann::json j = fwtest::checkedReport(r.out);
    EXPECT_EQ(j["adapters"][0]["components"]["firmware"]["status"], 25);
    EXPECT_EQ(j["adapters"][1]["components"]["firmware"]["status"], 1);
}

} // namespace
