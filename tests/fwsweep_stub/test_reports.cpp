// fwsweep's reports against the stub hbaset: the text golden of an update,
// the XML document with its statuses and escaping, the special-release
// footnote, the verbose summaries, /s and /log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

using fwtest::Fn;
using fwtest::StubRun;

void fleetWithImage(StubRun& s, const std::vector<Fn>& fns = fwtest::fleetF()) {
    s.listattr(fns);
    s.matrix("CV3C100-FCoE cv3new.ufi\n");
    s.image("cv3new.ufi", "3 4.6.281.8");
}

const char kSpecialAnswer[] =
    "This special firmware release requires the firmware download process to be\nperformed "
    "twice. You must reboot the system and download the same firmware\nfile again to complete "
    "the download process.\nCommand completed, NO Error\n";

TEST(Reports, TextGoldenOfAnUpdate) {
    StubRun s;
    fleetWithImage(s);
    hbatest::RunResult r = s.run({"/update"});
    ASSERT_EQ(r.exit_code, 0);
    std::string line = "\n<time>\nHBA=CV3C100-FCoE, Port Type=%s, %s,\nUpdate=Firmware, "
                       "Image=cv3new.ufi, New=4.6.281.8, Old=4.2.324.0, Status=Success\n";
    auto one = [&](const char* type, const char* address) {
        char b[512];
        snprintf(b, sizeof b, line.c_str(), type, address);
        return std::string(b);
    };
    EXPECT_EQ(fwtest::normaliseTimes(r.out),
              one("FCoE", "WWN=10:00:00:90:FA:00:00:01") + one("NIC", "MAC=00:90:FA:00:00:02") +
                  one("NIC", "MAC=00:90:FA:00:00:03") +
                  "\n\nfwsweep.exe: All required updates succeeded - Return Code=0\n\n"
                  "Please reboot system to activate new firmware.\n");
}

TEST(Reports, XmlGoldenOfAnUpdate) {
    StubRun s;
    std::vector<Fn> fns = fwtest::fleetF();
    fns.resize(2);
    fleetWithImage(s, fns);
    hbatest::RunResult r = s.run({"/update", "/xml"});
    ASSERT_EQ(r.exit_code, 0);
    const char* app =
        "        <Application componentType=\"firmware\" version=\"4.2.324.0\">\n"
        "            <SupportedImage file=\"cv3new.ufi\" version=\"4.6.281.8\"/>\n"
        "            <VersionChange update=\"true\" currentVersion=\"4.2.324.0\" "
        "newVersion=\"4.6.281.8\"/>\n"
        "            <DownloadStatus status=\"1\" message=\"Download succeeded. A reboot is "
        "required to activate new firmware.\"/>\n"
        "        </Application>\n";
    EXPECT_EQ(r.out,
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<Execution lang=\"en\">\n"
                          "    <Device hba=\"CV3C100-FCoE\" portType=\"FCoE\" venId=\"1F3C\" "
                          "devId=\"0714\" subDevId=\"0714\" subVenId=\"1F3C\" bus=\"30\" "
                          "device=\"0\" function=\"0\" wwpn=\"10:00:00:90:FA:00:00:01\">\n") +
                  app +
                  "    </Device>\n"
                  "    <Device hba=\"CV3C100-FCoE\" portType=\"NIC\" venId=\"1F3C\" "
                  "devId=\"0710\" subDevId=\"0710\" subVenId=\"1F3C\" bus=\"30\" device=\"0\" "
                  "function=\"2\" mac=\"00:90:FA:00:00:02\">\n" +
                  app +
                  "    </Device>\n"
                  "    <Message id=\"0\"> All required updates succeeded. </Message>\n"
                  "    <RebootRequired>1</RebootRequired>\n"
                  "</Execution>\n");
}

// The DownloadStatus status of each function after an update.
std::vector<std::string> statuses(const std::string& xml) {
    std::vector<std::string> out;
    const std::string key = "<DownloadStatus status=\"";
    for (size_t p = xml.find(key); p != std::string::npos; p = xml.find(key, p + 1))
        out.push_back(xml.substr(p + key.size(), xml.find('"', p + key.size()) - p - key.size()));
    return out;
}

TEST(Reports, StatusesOfEveryFunction) {
    const struct {
        const char* name;
        int code; // hbaset exit code (0: none scripted)
        const char* text;
        std::vector<std::string> args;
        std::vector<std::string> want;
        bool reboot;
    } cases[] = {
        {"reboot needed", 80, "reboot\nCommand completed, NO Error\n", {}, {"1", "1", "1"}, true},
        {"no reboot", 0, "Command completed, NO Error\n", {}, {"0", "0", "0"}, false},
        {"special", 87, kSpecialAnswer, {}, {"22", "22", "22"}, true},
        {"signature missing", 89, "Reported Error of 89\n", {}, {"23", "23", "23"}, false},
        {"signature invalid", 90, "Reported Error of 90\n", {}, {"24", "24", "24"}, false},
        {"other failure", 70, "Reported Error of 70\n", {}, {"3", "3", "3"}, false},
        {"NO Error with a failure code",
         7,
         "Command completed, NO Error\n",
         {},
         {"3", "3", "3"},
         false},
        {"preview", 0, "", {"/p"}, {"17", "17", "17"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        fleetWithImage(s);
        if (c.text[0]) s.download(0, c.code, c.text);
        std::vector<std::string> args = {"/update", "/xml"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        hbatest::RunResult r = s.run(args);
        EXPECT_EQ(statuses(r.out), c.want) << r.out;
        EXPECT_NE(r.out.find(c.reboot ? "<RebootRequired>1" : "<RebootRequired>0"),
                  std::string::npos)
            << r.out;
    }
}

TEST(Reports, SkipStatusesInXml) {
    // Matrix mode: no line (16), a missing file (19), an entry without a
    // file (19), an unusable file (20); equal versions (2); a running version
    // listattr could not read (10).
    const struct {
        const char* matrix;
        const char* fw;
        std::string want;
        int rc;
    } cases[] = {
        {"TRN4100-NIC t.ufi\n", "4.2.324.0", "16", 7},
        {"CV3C100-FCoE gone.ufi\n", "4.2.324.0", "19", 2},
        {"CV3C100-FCoE\n", "4.2.324.0", "19", 7},
        {"CV3C100-FCoE x.all\n", "4.2.324.0", "20", 7},
        {"CV3C100-FCoE cv3new.ufi\n", "4.6.281.8", "2", 1},
        {"CV3C100-FCoE cv3new.ufi\n", "N/A", "10", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.matrix);
        StubRun s;
        fleetWithImage(s, fwtest::fleetF(c.fw));
        s.matrix(c.matrix);
        hbatest::write_file(s.bin() + "firmware/x.all", "x");
        hbatest::RunResult r = s.run({"/update", "/xml"});
        std::vector<std::string> st = statuses(r.out);
        ASSERT_EQ(st.size(), 3u) << r.out;
        EXPECT_EQ(st[0], c.want) << r.out;
        EXPECT_EQ(r.exit_code, c.rc) << r.out;
    }
}

TEST(Reports, XmlEscapesAttributeValues) {
    StubRun s;
    std::vector<Fn> fns = fwtest::fleetF();
    fns.resize(1);
    fns[0].model = "CV3\"<&>'";
    s.listattr(fns);
    s.matrix("x y\n");
    hbatest::RunResult r = s.run({"/q", "/xml"});
    EXPECT_NE(r.out.find("hba=\"CV3&quot;&lt;&amp;&gt;&apos;-FCoE\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<Inventory lang=\"en\">"), std::string::npos);
    EXPECT_NE(r.out.find("<Application componentType=\"firmware\" version=\"4.2.324.0\"/>\n"
                         "        <Application componentType=\"bootCode\" version=\"4.2.324.0\"/>"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("RebootRequired"), std::string::npos);
}

TEST(Reports, SpecialReleaseFootnoteAndLines) {
    StubRun s;
    std::vector<Fn> fns = fwtest::fleetF();
    Fn second = fns[0];
    second.n = 4, second.serial = "A2", second.bus = 0x31;
    fns.push_back(second);
    fleetWithImage(s, fns);
    s.download(0, 87, kSpecialAnswer);
    hbatest::RunResult r = s.run({"/update"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(s.downloads(), 2u);
    // Every line after the first special release carries the paragraph.
    EXPECT_EQ(fwtest::countOf(r.out, "Status=Success\nThis special firmware release requires"), 4u)
        << r.out;
    EXPECT_NE(r.out.find("\n2 adapters include a special firmware release"), std::string::npos)
        << r.out;

    hbatest::RunResult x = s.run({"/update", "/xml"});
    EXPECT_NE(x.out.find("<Message id=\"0\"> All required updates succeeded. 2 adapters include a "
                         "special firmware release that requires the firmware download process to "
                         "be performed twice. Reboot the system and run fwsweep again using the "
                         "/f or /rewrite option to download the same firmware file again.\n"
                         "</Message>\n"),
              std::string::npos)
        << x.out;
}

TEST(Reports, VerboseSummariesQueryLinesAndNouns) {
    StubRun s;
    fleetWithImage(s);
    hbatest::RunResult r = s.run({"/update", "/v", "/q"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Download Summary:\n"), std::string::npos) << r.out;
    EXPECT_EQ(fwtest::countOf(r.out, "Status=Success"), 6u); // each line, then the summary
    EXPECT_NE(r.out.find("executing command : " + s.bin() + "hbaset listattr /c"),
              std::string::npos);
    EXPECT_NE(r.out.find("Command complete - Command Return Code = 80 - Temp File Status = 0"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nHBA=CV3C100-FCoE, Port Type=NIC, MAC=00:90:FA:00:00:03, PCI ID=0710, "
                         "VID=1F3C, SSID=0710, SVID=1F3C, Firmware=4.2.324.0, Boot "
                         "Code=4.2.324.0, Supported Firmware=4.6.281.8"),
              std::string::npos)
        << r.out;

    // Without /v and /q, neither summaries nor query lines.
    hbatest::RunResult quiet = s.run({"/update"});
    EXPECT_EQ(quiet.out.find("Summary"), std::string::npos);
    EXPECT_EQ(quiet.out.find("PCI ID="), std::string::npos);

    const struct {
        const char* sw;
        const char* noun;
    } nouns[] = {{"/e", "All required rewrites succeeded"},
                 {"/g", "No downgrades required"},
                 {"/f", "All required firmware and/or boot code downloads succeeded"},
                 {"/ff", "All required firmware downloads succeeded"}};
    for (const auto& n : nouns) {
        hbatest::RunResult o = s.run({n.sw});
        EXPECT_NE(o.out.find(n.noun), std::string::npos) << n.sw << o.out;
    }
}

TEST(Reports, SilentAndLogFile) {
    StubRun s;
    fleetWithImage(s);
    std::string log = s.path("run.log");
    hbatest::RunResult r = s.run({"/s", "/update", "/log=" + log});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    std::string logged = hbatest::read_file(log);
    EXPECT_NE(logged.find("All required updates succeeded - Return Code=0"), std::string::npos);

    // /log without a name appends to fwsweep.log in the current folder.
    s.run({"/q", "/log"});
    s.run({"/q", "/l"});
    std::string def = hbatest::read_file(s.path("fwsweep.log"));
    EXPECT_EQ(fwtest::countOf(def, "All required queries succeeded"), 2u);

    hbatest::RunResult twice = s.run({"/log", "/l=" + log});
    EXPECT_EQ(twice.exit_code, 4);
    EXPECT_NE(twice.out.find("Error - cannot open multiple log files - Return Code=4"),
              std::string::npos);
}

} // namespace
