// The download command with PRG images on a mailbox-download adapter: the
// good image and its effect in a new process, the exact stage and percent
// output, refused images, no flash, the signature retries and the results of
// the last chunk.
#include <gtest/gtest.h>

#include "tests/download/download_env.h"

namespace {

using dltest::Env;
using dltest::fcFleet;
using sim_image::PrgSpec;

TEST(PrgDownload, SmallImageExactOutputAndRunningFirmwareAfterReset) {
    Env env(fcFleet());
    PrgSpec spec;
    spec.size = 512; // five chunks: 108 x 4 + 80
    spec.text = "2.20a2 SLI-2";
    spec.version = 0x0202;
    std::string path = env.file("fw.prg", sim_image::build_prg(spec));
    hbatest::RunResult r = env.download("n=1", path);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    // "No Corevane": the fleet has no converged adapter.
    EXPECT_EQ(r.out, "No Corevane\nCommand: download n=1 i=" + path +
                         "\nFile Extension prg\nOpening File...\n"
                         "GetDriverType: DriverType=0000000B\n"
                         "Link State is not in the state LNK_DOWN or LNK_DOWN_PERSIST\n"
                         "Reading Header...\nProgramID 7730202 0\n"
                         "Download PRG image for adapter f100 PrgType 07 ID 73\n"
                         "Validating Checksum...\nErasing Sector(s) In Flash ROM...\n"
                         "Loading Image...\n"
                         "0% complete 21% complete 42% complete 63% complete 84% complete "
                         "99% complete 100% complete\n"
                         "Updating Wakeup Parameters...\nImage Successfully Downloaded...\n"
                         "Download and reset successfully completed\n"
                         "Command completed, NO Error\n");
    EXPECT_EQ(env.count("DOWN_LOAD load"), 5u);
    EXPECT_EQ(env.count("UPDATE_CFG type=2 region=4"), 1u);
    hbatest::RunResult fw = env.hbaset({"listfw", "n=1"});
    EXPECT_NE(fw.out.find("FW=2.20a2 SLI-2;"), std::string::npos) << fw.out;
}

// Over 607 chunks the percentage moves by less than one per chunk: each value
// from 0 to 100 is printed once, in order.
TEST(PrgDownload, EveryPercentOnceOnALargeImage) {
    Env env(fcFleet());
    PrgSpec spec;
    spec.size = 64 * 1024;
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", sim_image::build_prg(spec)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::string want;
    for (int pct = 0; pct < 100; ++pct)
        want += std::to_string(pct) + "% complete ";
    want += "100% complete\n";
    EXPECT_EQ(dltest::lineWith(r.out, "0% complete") + "\n", want);
    EXPECT_EQ(env.count("DOWN_LOAD load"), 607u); // 108 bytes each
}

struct BadCase {
    const char* what;
    PrgSpec spec;
    const char* message;
    const char* stat;
};

PrgSpec bad(const char* fault) {
    PrgSpec s;
    s.bad = fault;
    return s;
}
PrgSpec wrongId() {
    PrgSpec s;
    s.id = 0x11; // not in the type 7 list of family 0xF100
    return s;
}

TEST(PrgDownload, RefusedImagesNeverReachTheFlash) {
    Env env(fcFleet());
    const BadCase cases[] = {
        {"one byte long", bad("long"), "Invalid Image - Long Image\n", "FFF90003"},
        {"one byte short", bad("short"), "Invalid Image - Short Image\n", "FFF90002"},
        {"size not whole words", bad("unaligned"), "Invalid Image - Short Image\n", "FFF90002"},
        {"header checksum", bad("header-checksum"), "Bad CheckSum Error\n", "FFF80000"},
        {"file checksum", bad("file-checksum"), "Bad CheckSum\n", "FFF80000"},
        {"3-byte file", bad("tiny"), "Invalid Image - Error Reading File\n", "FFF90001"},
        {"image id of another family", wrongId(), "Incompatible Image - Incorrect Adapter\n",
         "FFF70001"},
    };
    for (const BadCase& c : cases) {
        std::string path = env.file("bad.prg", sim_image::build_prg(c.spec));
        hbatest::RunResult r = env.download("n=1", path);
        EXPECT_EQ(r.exit_code, 7) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("Download failed on adapter 1 Stat ") + c.stat + "\n"),
                  std::string::npos)
            << c.what << "\n"
            << r.out;
        EXPECT_EQ(env.count("DOWN_LOAD"), 0u) << c.what;
    }
}

TEST(PrgDownload, MissingFileAndNoFlash) {
    Env env(fcFleet("no_flash = yes"));
    hbatest::RunResult r = env.download("n=1", env.state().path("nothing.prg"));
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_NE(r.out.find("Open File Error\n"), std::string::npos);
    EXPECT_NE(r.out.find("Stat FFFA0000"), std::string::npos);

    r = env.download("n=1", env.file("fw.prg", sim_image::build_prg(PrgSpec())));
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_NE(r.out.find("No Flash Available Error\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Download failed on adapter 1 Stat FFF60000"), std::string::npos);
    EXPECT_EQ(env.count("DOWN_LOAD load"), 0u);
}

TEST(PrgDownload, SignatureRejectionsAreRetriedThreeTimes) {
    struct Case {
        const char* statuses;
        int exitCode;
        size_t erases;
    };
    const Case cases[] = {{"3851,3851", 0, 3}, {"3851,3851,3851,3851", 7, 4}};
    for (const Case& c : cases) {
        Env env(fcFleet(std::string("dl_last_status = ") + c.statuses));
        hbatest::RunResult r =
            env.download("n=1", env.file("fw.prg", sim_image::build_prg(PrgSpec())));
        EXPECT_EQ(r.exit_code, c.exitCode) << c.statuses << "\n" << r.out;
        EXPECT_EQ(env.count("DOWN_LOAD erase"), c.erases) << c.statuses;
        // Each retry first deletes the load list entries of the program type.
        EXPECT_EQ(env.count("DEL_LD_ENTRY pid=0x07A10101"), 1u) << c.statuses;
        if (c.exitCode != 0) {
            EXPECT_NE(r.out.find("Stat FFEA0000"), std::string::npos) << r.out;
        }
    }
}

TEST(PrgDownload, FailedLastChunkLeavesTheRunningFirmware) {
    Env env(fcFleet("dl_last_status = 0x1234"));
    PrgSpec spec;
    spec.text = "9.99z9";
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", sim_image::build_prg(spec)));
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_NE(r.out.find("DOWN_LOAD Mailbox Command Download Error. Status 1234\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(env.count("UPDATE_CFG"), 0u);
    EXPECT_EQ(env.hbaset({"reset", "n=1"}).exit_code, 0);
    hbatest::RunResult fw = env.hbaset({"listfw", "n=1"});
    EXPECT_EQ(fw.out.find("9.99z9"), std::string::npos) << fw.out;
    // The next download of the same image succeeds.
    r = env.download("n=1", env.state().path("fw.prg"));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    fw = env.hbaset({"listfw", "n=1"});
    EXPECT_NE(fw.out.find("FW=9.99z9;"), std::string::npos) << fw.out;
}

} // namespace
