// fwsweep's return codes and final messages over scripted hbaset answers:
// every outcome of the final-status table, the per-adapter statuses behind it,
// and the reboot advice.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fwsweep_stub/stub_fixture.h"

namespace {

using fwtest::Fn;
using fwtest::StubRun;

const char kMatrixF[] = "CV3C100-FCoE cv3new.ufi\n";
const char kReboot[] = "Please reboot system to activate new firmware.";

// Fleet F with the new image in place.
void fleetWithImage(StubRun& s) {
    s.listattr(fwtest::fleetF());
    s.matrix(kMatrixF);
    s.image("cv3new.ufi", "3 4.6.281.8");
}

Fn iloCv2(int n) {
    Fn f;
    f.n = n, f.device = 0x0700, f.model = "CV2C100", f.serial = "C2", f.bus = 0x50;
    f.subVendor = 0x103C, f.subDevice = 0x1747, f.fw = f.boot = "4.0.359.99";
    return f;
}

Fn tarnelNic(int n) {
    Fn f;
    f.n = n, f.device = 0x0720, f.model = "TRN4100", f.serial = "T1", f.bus = 0x40;
    f.fw = f.boot = "5.0.0.0";
    return f;
}

Fn legacyFc(int n) {
    Fn f;
    f.n = n, f.kind = "FC", f.device = 0xF100, f.model = "ZF9002", f.serial = "F1", f.bus = 0x10;
    f.fw = "ZF2.82A4", f.boot = "ZB1.11A2", f.bootEnabled = 1;
    return f;
}

struct Case {
    const char* name;
    std::function<void(StubRun&)> setup;
    std::vector<std::string> args;
    int rc;
    std::vector<std::string> present;
    std::vector<std::string> absent;
    size_t downloads;
};

TEST(ReturnCodes, Table) {
    const Case cases[] = {
        {"update, one flash for three functions",
         fleetWithImage,
         {"/update"},
         0,
         {"All required updates succeeded - Return Code=0", kReboot,
          "Update=Firmware, Image=cv3new.ufi, New=4.6.281.8, Old=4.2.324.0, Status=Success"},
         {},
         1},
        {"nothing newer",
         [](StubRun& s) {
             fleetWithImage(s);
             s.listattr(fwtest::fleetF("4.6.281.8"));
         },
         {"/update"},
         1,
         {"No updates required - Return Code=1"},
         {kReboot, "Status="},
         0},
        {"rewrite of the same version",
         [](StubRun& s) {
             fleetWithImage(s);
             s.listattr(fwtest::fleetF("4.6.281.8"));
         },
         {"/rewrite"},
         0,
         {"All required rewrites succeeded - Return Code=0"},
         {},
         1},
        {"downgrade to the same version is not done",
         [](StubRun& s) {
             fleetWithImage(s);
             s.listattr(fwtest::fleetF("4.6.281.8"));
         },
         {"/downgrade"},
         1,
         {"No downgrades required - Return Code=1"},
         {},
         0},
        {"forced",
         fleetWithImage,
         {"/f"},
         0,
         {"All required firmware and/or boot code downloads succeeded - Return Code=0"},
         {},
         1},
        {"forced firmware",
         fleetWithImage,
         {"/ff"},
         0,
         {"All required firmware downloads succeeded - Return Code=0"},
         {},
         1},
        {"download refused",
         [](StubRun& s) {
             fleetWithImage(s);
             s.download(0, 7, "Reported Error of 7\n");
         },
         {"/update"},
         2,
         {"Error - all required updates failed - Return Code=2", "Status=Error"},
         {kReboot},
         1},
        {"one adapter fails, the other needs a reboot",
         [](StubRun& s) {
             std::vector<Fn> fns = fwtest::fleetF();
             fns.push_back(tarnelNic(4));
             s.listattr(fns);
             s.matrix(std::string(kMatrixF) + "TRN4100-NIC t.ufi\n");
             s.image("cv3new.ufi", "3 4.6.281.8");
             s.image("t.ufi", "4 5.1.0.0");
             s.download(1, 7, "Reported Error of 7\n");
         },
         {"/update"},
         3,
         {"Error - some required updates failed - Return Code=3", kReboot},
         {},
         2},
        {"special release",
         [](StubRun& s) {
             fleetWithImage(s);
             s.download(0, 87,
                        "This special firmware release requires the firmware download process "
                        "to be\nperformed twice. You must reboot the system and download the same "
                        "firmware\nfile again to complete the download process.\nCommand "
                        "completed, NO Error\n");
         },
         {"/update"},
         0,
         {"All required updates succeeded - Return Code=0",
          "\n1 adapter include a special firmware release that requires the firmware\ndownload "
          "process to be performed twice. Reboot the system and run fwsweep\nagain using the /f "
          "or /rewrite option to download the same firmware file again.\n",
          kReboot},
         {"adapters include"},
         1},
        {"activating reset failed: the new firmware waits on flash for a reboot",
         [](StubRun& s) {
             fleetWithImage(s);
             s.download(0, 14, "Reset failed on adapter 1 Stat 00000001\n");
         },
         {"/update"},
         2,
         {"Error - all required updates failed - Return Code=2", "Status=Error", kReboot},
         {},
         1},
        {"success without a reboot",
         [](StubRun& s) {
             fleetWithImage(s);
             s.download(0, 0, "Command completed, NO Error\n");
         },
         {"/update"},
         0,
         {"All required updates succeeded"},
         {kReboot},
         1},
        {"NO Error from a child killed by a signal",
         [](StubRun& s) {
             fleetWithImage(s);
             s.download(0, -9, "Command completed, NO Error\n");
         },
         {"/update"},
         2,
         {"all required updates failed"},
         {},
         1},
        {"preview",
         fleetWithImage,
         {"/p", "/update"},
         0,
         {"All required updates succeeded - Return Code=0", "Status=Preview"},
         {kReboot},
         0},
        {"no matrix line",
         [](StubRun& s) {
             fleetWithImage(s);
             s.matrix("TRN4100-NIC t.ufi\n");
         },
         {"/update"},
         7,
         {"No compatible firmware found - Return Code=7"},
         {},
         0},
        {"matrix names a missing image",
         [](StubRun& s) {
             fleetWithImage(s);
             s.matrix("CV3C100-FCoE gone.ufi\n");
         },
         {"/update"},
         2,
         {"Error - all required updates failed - Return Code=2"},
         {},
         0},
        {"matrix entry without a file",
         [](StubRun& s) {
             fleetWithImage(s);
             s.matrix("CV3C100-FCoE\n");
         },
         {"/update"},
         7,
         {"No compatible firmware found - Return Code=7"},
         {},
         0},
        {"no matrix file",
         [](StubRun& s) { s.listattr(fwtest::fleetF()); },
         {"/update"},
         2,
         {"Error - fwmatrix update table not found - Return Code=2"},
         {},
         0},
        {"query needs the matrix file too",
         [](StubRun& s) { s.listattr(fwtest::fleetF()); },
         {"/q"},
         2,
         {"fwmatrix update table not found"},
         {},
         0},
        {"listing refused",
         [](StubRun& s) {
             fleetWithImage(s);
             s.listattr(fwtest::fleetF(), 141);
         },
         {"/update"},
         5,
         {"Error - no supported Quoral HBAs found - Return Code=5"},
         {},
         0},
        {"empty listing",
         [](StubRun& s) {
             fleetWithImage(s);
             s.listattrRaw("");
         },
         {"/q"},
         5,
         {"no supported Quoral HBAs found - Return Code=5"},
         {},
         0},
        {"hbaset missing",
         [](StubRun& s) {
             fleetWithImage(s);
             s.removeStub();
         },
         {"/update"},
         5,
         {"no supported Quoral HBAs found - Return Code=5"},
         {},
         0},
        {"unsupported CV2 alone",
         [](StubRun& s) {
             s.listattr({iloCv2(1)});
             s.matrix("CV2C100-NIC cv2.ufi\n");
             s.image("cv2.ufi", "2 4.1.0.0");
         },
         {"/update"},
         15,
         {"Error - no supported Quoral HBAs found - Return Code=15"},
         {},
         0},
        {"unsupported CV2 beside fleet F",
         [](StubRun& s) {
             std::vector<Fn> fns = fwtest::fleetF();
             fns.push_back(iloCv2(4));
             s.listattr(fns);
             s.matrix(std::string(kMatrixF) + "CV2C100-NIC cv2.ufi\n");
             s.image("cv3new.ufi", "3 4.6.281.8");
             s.image("cv2.ufi", "2 4.1.0.0");
         },
         {"/update", "/v"},
         11,
         {"All required updates succeeded - Return Code=11",
          "Unsupported HBA summary:", "Unsupported VCNA found! HBA = CV2C100-NIC"},
         {},
         1},
        {"FC only in auto mode",
         [](StubRun& s) { s.listattr({legacyFc(1)}); },
         {"/auto", "/update"},
         7,
         {"No compatible firmware and/or boot code found - Return Code=7"},
         {},
         0},
        {"queries",
         [](StubRun& s) { fleetWithImage(s); },
         {"/q"},
         0,
         {"All required queries succeeded - Return Code=0"},
         {kReboot},
         0},
        {"a query with a zero address",
         [](StubRun& s) {
             fleetWithImage(s);
             std::vector<Fn> fns = fwtest::fleetF();
             fns[2].address = "00-00-00-00-00-00";
             s.listattr(fns);
         },
         {"/q"},
         3,
         {"Error - some required queries failed - Return Code=3"},
         {},
         0},
        {"every query incomplete",
         [](StubRun& s) {
             fleetWithImage(s);
             std::vector<Fn> fns = fwtest::fleetF();
             fns[0].address = "00:00:00:00:00:00:00:00";
             fns[1].address = fns[2].address = "00:00:00:00:00:00";
             s.listattr(fns);
         },
         {"/q"},
         2,
         {"Error - all required queries failed - Return Code=2"},
         {},
         0},
        {"no operation", fleetWithImage, {"/v"}, 0, {"Operation complete - Return Code=0"}, {}, 0},
        {"help",
         fleetWithImage,
         {"/?"},
         0,
         {"fwsweepoffline v12.0.1345.0 - Quoral CNA Firmware"},
         {},
         0},
        {"no argument", fleetWithImage, {}, 0, {"[/ramdrive=<drv>[:]]"}, {}, 0},
        {"/xv alone", fleetWithImage, {"/xv"}, 4, {"fwsweepoffline v12.0.1345.0"}, {}, 0},
        {"switch error",
         fleetWithImage,
         {"/q", "/updates"},
         4,
         {"Error - Unknown switch = /updates - Return Code=4", "[/auto]"},
         {},
         0},
        {"invalid options",
         fleetWithImage,
         {"/auto", "/q"},
         2,
         {"/auto requires an additional operational switch"},
         {},
         0},
        {"image version", fleetWithImage, {"/iv=firmware/cv3new.ufi"}, 0, {"4.6.281.8"}, {}, 0},
        {"image version of another kind",
         fleetWithImage,
         {"/iv=x.all"},
         19,
         {"Error - Unknown image file type - Return Code=19"},
         {},
         0},
        {"image version unreadable",
         fleetWithImage,
         {"/iv=missing.ufi"},
         19,
         {"Error - Unable to decode the image version - Return Code=19"},
         {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StubRun s;
        c.setup(s);
        std::vector<std::string> args = c.args;
        for (std::string& a : args)
            if (a.rfind("/iv=firmware", 0) == 0) a = "/iv=" + s.bin() + a.substr(4);
        hbatest::RunResult r = s.run(args);
        EXPECT_EQ(r.exit_code, c.rc) << r.out << r.err;
        for (const std::string& p : c.present)
            EXPECT_NE(r.out.find(p), std::string::npos) << "missing: " << p << "\n" << r.out;
        for (const std::string& a : c.absent)
            EXPECT_EQ(r.out.find(a), std::string::npos) << "unexpected: " << a << "\n" << r.out;
        EXPECT_EQ(s.downloads(), c.downloads);
    }
}

TEST(ReturnCodes, InsufficientPrivilegesBeforeTheSwitches) {
    StubRun s;
    fleetWithImage(s);
    hbatest::RunResult r = s.run({"/nonsense"}, {{"HBASIM_REG_DENY", "1"}});
    EXPECT_EQ(r.exit_code, 8);
    EXPECT_EQ(r.out, "\nfwsweep.exe: Error - insufficient privileges - Return Code=8\n\n");
    EXPECT_TRUE(s.calls().empty());
}

} // namespace
