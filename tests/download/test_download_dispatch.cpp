// The download command's dispatch and result table: .GRP files on Brevin
// functions, file kinds that do not suit the adapter, the a= form, and the
// adapters the command refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/download/download_env.h"

namespace {

using dltest::Env;
using dltest::fcFleet;

TEST(GrpDownload, BrevinFunctionRunsTheNewFirmwareAfterTheTypeThreeReset) {
    Env env(""); // default fleet: 3-4 Brevin FC (0xE200), 1-2 FC 0xE300
    sim_image::GrpSpec spec;
    spec.version = "12.8.700.1";
    hbatest::RunResult r = env.download("n=3", env.file("fw.grp", sim_image::build_grp(spec)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("Download and reset successfully completed\n"), std::string::npos);
    hbatest::RunResult list = env.hbaset({"listhba"});
    EXPECT_NE(list.out.find("HBA 3: 1000021F 3C020000 Functional FW: 12.8.700.1 "),
              std::string::npos)
        << list.out;
}

TEST(GrpDownload, ResultRowsOfTheBrevinFamily) {
    struct Case {
        const char* what;
        std::string fleetKeys;
        const char* bad;
        int exitCode;
        const char* line;
    };
    const Case cases[] = {
        {"reboot needed", "prg_change_status = 1", "", 80,
         "Download successfully completed. Please reboot the system to activate new firmware "
         "Stat 80\n"},
        {"no change", "prg_change_status = 0", "", 0, "Download successfully completed\n"},
        {"missing signature", "", "unsigned", 89,
         "Download failed due to missing digital signature in firmware file.\n"
         "Please contact customer support for additional help.\n"
         "Download failed on adapter 1 Stat 89\n"},
        {"invalid signature", "", "badsig", 90,
         "Download failed due to invalid firmware digital signature.\n"
         "Please contact customer support for additional help.\n"
         "Download failed on adapter 1 Stat 90\n"},
        {"wrong header", "", "magic", 70, "Download failed on adapter 1 Stat 70\n"},
    };
    for (const Case& c : cases) {
        Env env("adapter B1 brevin\nfunction fc " + c.fleetKeys + "\n");
        sim_image::GrpSpec spec;
        spec.bad = c.bad;
        hbatest::RunResult r = env.download("n=1", env.file("fw.GRP", sim_image::build_grp(spec)));
        EXPECT_EQ(r.exit_code, c.exitCode) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.what << "\n" << r.out;
    }
}

// A .GRP file the header check refuses ends with the check's own status, 70,
// and nothing reaches the adapter.
TEST(GrpDownload, FilesTheVerifierRefusesEndWith70) {
    const sim_image::Image good = sim_image::build_grp(sim_image::GrpSpec());
    sim_image::Image littleEndian = good; // words 0-2 with their bytes reversed
    for (size_t w = 0; w < 3; ++w)
        std::reverse(littleEndian.begin() + 4 * w, littleEndian.begin() + 4 * w + 4);
    sim_image::Image otherId = good;
    otherId[9] ^= 0x01; // the id is bits 16-31 of word 2
    sim_image::GrpSpec otherGeneration;
    otherGeneration.device = 0xE300;
    const struct {
        const char* what;
        sim_image::Image image;
    } cases[] = {
        {"139 bytes", sim_image::Image(good.begin(), good.begin() + 139)},
        {"little-endian words", littleEndian},
        {"other id", otherId},
        {"other generation", sim_image::build_grp(otherGeneration)},
    };
    for (const auto& c : cases) {
        Env env("adapter B1 brevin\nfunction fc\n");
        hbatest::RunResult r = env.download("n=1", env.file("fw.grp", c.image));
        EXPECT_EQ(r.exit_code, 70) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find("Download failed on adapter 1 Stat 70\n"), std::string::npos)
            << c.what << "\n"
            << r.out;
        EXPECT_EQ(env.count("SLI_CONFIG op=0xAC"), 0u) << c.what; // no object write
    }
}

TEST(DownloadDispatch, FileKindsThatDoNotSuitTheAdapter) {
    Env env("adapter C1 fc\n    model = TGF1100\nfunction fc device_id = 0xF100 hw_type = 4100\n"
            "adapter B1 brevin\nfunction fc\n");
    const std::string grp = env.file("fw.grp", sim_image::build_grp(sim_image::GrpSpec()));
    const std::string ufi = env.file("fw.UFI", sim_image::Image(512, 0));
    const std::string prg = env.file("fw.prg", sim_image::build_prg(sim_image::PrgSpec()));
    struct Case {
        const char* target;
        std::string path;
        const char* line;
    };
    const Case cases[] = {
        {"n=1", grp, "Download failed on adapter 1 Stat 00000046\n"},
        {"n=1", ufi, "Download failed on adapter 1 Stat 00000046\n"},
        {"n=2", prg, "Download failed on adapter 2 Stat 70\n"},
        {"n=2", ufi, "Download failed on adapter 2 Stat 70\n"},
    };
    for (const Case& c : cases) {
        hbatest::RunResult r = env.download(c.target, c.path);
        EXPECT_EQ(r.exit_code, 7) << c.path << "\n" << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.path << "\n" << r.out;
        EXPECT_EQ(env.count("DOWN_LOAD") + env.count("LOAD_AREA") + env.count("SLI_CONFIG op=0xAC"),
                  0u);
    }
}

TEST(DownloadDispatch, RefusedAdapters) {
    // A device the command does not support, and an FCoE function start-up
    // could not tie to a converged adapter.
    Env env("adapter C1 fc\nfunction fc device_id = 0xE131 hw_type = 4100\n"
            "adapter C2 fc\nfunction fc device_id = 0x0714 feature_list = 0x401\n");
    const std::string prg = env.file("fw.prg", sim_image::build_prg(sim_image::PrgSpec()));
    for (const char* target : {"n=1", "n=2"}) {
        hbatest::RunResult r = env.download(target, prg);
        EXPECT_EQ(r.exit_code, 71) << target << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("Command not supported on Adapter Number: ") +
                             (target + 2) + "\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(env.count("DOWN_LOAD"), 0u);
    }
}

TEST(DownloadByName, EveryAdapterOfTheModelInTurn) {
    Env env(fcFleet() + "adapter C2 fc\n    model = TGF1100\nfunction fc device_id = 0xF100 "
                        "hw_type = 4100\nadapter B1 brevin\n    model = BRV1602\nfunction fc\n");
    const std::string prg = env.file("fw.prg", sim_image::build_prg(sim_image::PrgSpec()));
    hbatest::RunResult r = env.download("a=tgf1100", prg);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("\n\n*** Download to adapter #1:\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n\n*** Download to adapter #2:\n"), std::string::npos);
    EXPECT_EQ(env.count("DOWN_LOAD erase"), 2u);

    r = env.download("a=BRV1602", prg);
    EXPECT_EQ(r.exit_code, 71) << r.out;
    EXPECT_NE(r.out.find("Command not supported on Adapter Number: 3\n"), std::string::npos);

    r = env.download("a=TGX9999", prg);
    EXPECT_EQ(r.exit_code, 6) << r.out;
    EXPECT_NE(r.out.find("Invalid Adapter Name\n"), std::string::npos);

    sim_image::PrgSpec bad;
    bad.bad = "file-checksum";
    r = env.download("a=TGF1100", env.file("bad.prg", sim_image::build_prg(bad)));
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("Download failed on adapter 1 Stat FFF80000\n"), std::string::npos);
    EXPECT_NE(r.out.find("Download failed on adapter 2 Stat FFF80000\n"), std::string::npos);
}

TEST(DownloadByName, AFailedActivatingResetEndsWith14) {
    // The reset of the first adapter fails: its firmware is on flash but does
    // not run. The second adapter's download still runs.
    Env env(fcFleet() + "adapter C2 fc\n    model = TGF1100\nfunction fc device_id = 0xF100 "
                        "hw_type = 4100\n");
    const std::string prg = env.file("fw.prg", sim_image::build_prg(sim_image::PrgSpec()));
    hbasim::fault_add({"drv", "0x80000127", -1, 1, "fail", 1});
    hbatest::RunResult r = env.download("a=TGF1100", prg);
    hbasim::fault_clear();
    EXPECT_EQ(r.exit_code, 14) << r.out;
    EXPECT_NE(r.out.find("Reset failed on adapter 1 Stat "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Reset failed on adapter 2"), std::string::npos) << r.out;
    EXPECT_EQ(env.count("DOWN_LOAD erase"), 2u);
}

} // namespace

namespace {

TEST(UfiDownload, ConvergedAdapterActivatesAtRebootAndRefusesAnotherGeneration) {
    Env env(""); // default fleet: 7-8 CV3 NIC functions
    const std::string ufi = env.state().path("fw.ufi");
    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbasim"),
                           {"image", "ufi", "--gen", "3", "--version", "11.4.300.1", "-o", ufi})
                  .exit_code,
              0);
    hbatest::RunResult r = env.download("n=7", ufi);
    EXPECT_EQ(r.exit_code, 80) << r.out;
    EXPECT_NE(r.out.find("Download successfully completed. Please reboot the system to activate "
                         "new firmware.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(hbatest::run(hbatest::bin_path("hbasim"), {"reboot"}).exit_code, 0);
    EXPECT_NE(env.hbaset({"listhba"})
                  .out.find("HBA 7: NIC MAC:02.1F.3C.03.02.00 CV:0 Functional "
                            "FW: 11.4.300.1 "),
              std::string::npos);

    const std::string tarnel = env.state().path("fw4.ufi");
    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbasim"),
                           {"image", "ufi", "--gen", "4", "--version", "12.0.300.1", "-o", tarnel})
                  .exit_code,
              0);
    r = env.download("n=7", tarnel);
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("Download failed on adapter 7 Stat "), std::string::npos) << r.out;
}

} // namespace
