// The download command with AIF files (.ALL, .DWC, .BWC, .aif) on a
// mailbox-download adapter: programming, the AWC skip, the wakeup slots, the
// .aif naming rule and refused files.
#include <gtest/gtest.h>

#include "tests/download/download_env.h"

namespace {

using dltest::Env;
using dltest::fcFleet;
using sim_image::AifFileSpec;
using sim_image::AifSpec;

AifSpec image(const char* kind, uint32_t idWord, uint32_t base) {
    AifSpec s;
    s.kind = kind;
    s.idWord = idWord;
    s.base = base;
    return s;
}

// AWC for family 0xF100 (family byte 120), a DWC with a type 7 program and a BWC.
AifFileSpec allFile() {
    AifFileSpec f;
    f.all = true;
    f.images.push_back(image("awc", 0x01780303, 0));
    AifSpec dwc = image("dwc", 0x07730101, 0x40000);
    sim_image::PrgSpec p;
    p.type = 7;
    p.id = 0x73;
    p.version = 0x0303;
    p.size = 1024;
    dwc.programs.push_back(p);
    f.images.push_back(dwc);
    f.images.push_back(image("bwc", 0x03790101, 0x80000));
    return f;
}

TEST(AifDownload, AllFileProgramsEveryImageThenSkipsTheSameAwc) {
    Env env(fcFleet());
    std::string path = env.file("fw.ALL", sim_image::build_aif(allFile()));
    hbatest::RunResult r = env.download("n=1", path);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("End Of File\nChecksum OK\n"), std::string::npos) << r.out;
    EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=1"), 3u);
    EXPECT_EQ(env.count("LOAD_AREA load area=1 step=4"), 3u);
    // The DWC program and the BWC fill their wakeup slots; the BWC loads the expansion ROM.
    EXPECT_EQ(env.count("LOAD_EXP_ROM step=8 pid=0x03790101"), 1u);
    EXPECT_EQ(env.count("UPDATE_CFG type=2 region=4"), 1u);

    r = env.download("n=1", path);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("AWC in ALL with same Version, same ID: Skip\n"), std::string::npos);
    EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=1 addr=0x0 "), 0u); // the AWC
    EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=1"), 2u);           // the others
}

TEST(AifDownload, RefusedFilesNeverReachTheFlash) {
    struct Case {
        const char* what;
        AifFileSpec spec;
        const char* name;
        const char* message;
        const char* stat;
    };
    AifFileSpec badAll = allFile();
    badAll.bad = "all-checksum";
    AifFileSpec badImage = allFile();
    badImage.all = false;
    badImage.images.resize(1);
    badImage.bad = "image-checksum";
    AifFileSpec shortAll = allFile();
    shortAll.bad = "short";
    AifFileSpec otherFamily;
    otherFamily.images.push_back(image("awc", 0x01720101, 0));
    otherFamily.images[0].familyByte = 114; // the secure family's AWC
    AifFileSpec unknownKind;
    unknownKind.images.push_back(image("0xE1A05005", 0x01780101, 0));
    AifFileSpec bareNamedWithDot;
    bareNamedWithDot.bare = true;
    bareNamedWithDot.images.push_back(image("awc", 0x01780101, 0));
    const Case cases[] = {
        {".ALL checksum", badAll, "fw.ALL", ".ALL file: BAD checksum", "FFF80000"},
        {"image checksum", badImage, "fw.awc", "CheckSum Error\n", "FFF80000"},
        {"short .ALL", shortAll, "fw.ALL", "Incompatible Image - Error Reading File\n", "FFF90001"},
        {"AWC of another family", otherFamily, "fw.awc", "AWC for Adapter Family f180\n",
         "FFF70001"},
        {"unknown image kind", unknownKind, "fw.awc", "Validate file type\n", "FFF70001"},
        {".aif body under a dotted name", bareNamedWithDot, "fw.1.aif",
         "Invalid Image - Short Image\n", "FFF90002"},
    };
    Env env(fcFleet());
    for (const Case& c : cases) {
        std::string path = env.file(c.name, sim_image::build_aif(c.spec));
        hbatest::RunResult r = env.download("n=1", path);
        EXPECT_EQ(r.exit_code, 7) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(std::string("Download failed on adapter 1 Stat ") + c.stat),
                  std::string::npos)
            << c.what << "\n"
            << r.out;
        // The image checksum is checked per image, after the erase of earlier images
        // only; a single-image file reaches no erase at all.
        EXPECT_EQ(env.count("LOAD_AREA"), 0u) << c.what;
    }
}

TEST(AifDownload, BareAifFileHasNoChecksumWords) {
    Env env(fcFleet());
    AifFileSpec bare;
    bare.bare = true;
    bare.images.push_back(image("awc", 0x01780101, 0));
    // The rule reads the name as given: the first dot of "/tmp/x.y/fw.aif" is not
    // the one before "aif".
    env.file("fw.aif", sim_image::build_aif(bare));
    hbatest::RunResult r = env.downloadHere("n=1", "fw.aif");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(env.count("LOAD_AREA load area=1 step=4"), 1u);
    r = env.downloadHere("n=1", "./fw.aif");
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("Invalid Image - Short Image\n"), std::string::npos) << r.out;
}

// The erase loop over an area of several 64 KiB sectors: one step 1, then
// step 2 at each address the adapter answers until it answers progress 2; a
// flash whose address stops moving is given up after 16 answers in a row,
// before any chunk is loaded.
TEST(AifDownload, EraseStepsOverManySectorsAndAStalledAddress) {
    struct Case {
        const char* what;
        const char* keys;
        int exit;
        size_t followOn; // step 2 requests
        size_t loads;
        const char* result;
    };
    const Case cases[] = {
        {"18 sectors", "", 0, 17, 1, "Download and reset successfully completed\n"},
        // Sectors 1-3 erase, then 16 answers at the same address.
        {"stalled at sector 3", "load_area_erase_sectors = 3", 7, 2 + 16, 0,
         "Download failed on adapter 1 Stat FFEC0000\n"},
        // Answers that move on before the stall do not count toward the 16.
        {"stalled at the last sector", "load_area_erase_sectors = 17", 7, 16 + 16, 0,
         "Download failed on adapter 1 Stat FFEC0000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Env env(fcFleet(c.keys));
        AifFileSpec f;
        f.images.push_back(image("bwc", 0x03790101, 0x80000));
        f.images[0].eraseLength = 18 * 0x10000;
        hbatest::RunResult r = env.download("n=1", env.file("fw.BWC", sim_image::build_aif(f)));
        EXPECT_EQ(r.exit_code, c.exit) << r.out;
        EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=1 addr=0x80000 len=1179648"), 1u);
        EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=2"), c.followOn);
        EXPECT_EQ(env.count("LOAD_AREA load area=1 step=4"), c.loads);
        EXPECT_NE(r.out.find(c.result), std::string::npos) << r.out;
    }
}

TEST(AifDownload, BrokenProgressIsAnErrorNotAHang) {
    Env env(fcFleet("load_area_progress = 3"));
    AifFileSpec f;
    f.images.push_back(image("bwc", 0x03790101, 0x80000));
    hbatest::RunResult r = env.download("n=1", env.file("fw.BWC", sim_image::build_aif(f)));
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("Stat FFEC0000"), std::string::npos) << r.out;
    EXPECT_LE(env.count("LOAD_AREA"), 1u);
}

} // namespace

namespace {

TEST(AifDownload, SignatureRejectionsOfAnExpansionRomFamily) {
    struct Case {
        const char* statuses;
        int exitCode;
        size_t attempts;
        size_t retryLines;
        const char* line;
    };
    const Case cases[] = {
        {"3851,3851", 0, 3, 2, "SEC_DIGITAL_SIGNATURE_CHECK_FAILED!!!\n"},
        {"3851,3851,3851,3851", 7, 4, 3, "Download failed on adapter 1 Stat FFEA0000\n"},
        {"3841", 7, 1, 0, "SEC_AUTHENTICATION_ERROR!!!\n"},
    };
    for (const Case& c : cases) {
        Env env(fcFleet(std::string("dl_last_status = ") + c.statuses));
        AifFileSpec f;
        f.images.push_back(image("bwc", 0x03790101, 0x80000));
        hbatest::RunResult r = env.download("n=1", env.file("fw.BWC", sim_image::build_aif(f)));
        EXPECT_EQ(r.exit_code, c.exitCode) << c.statuses << "\n" << r.out;
        EXPECT_EQ(env.count("LOAD_AREA erase area=1 step=1"), c.attempts) << c.statuses;
        size_t lines = 0;
        for (size_t at = r.out.find("SEC_DIGITAL"); at != std::string::npos;
             at = r.out.find("SEC_DIGITAL", at + 1))
            ++lines;
        EXPECT_EQ(lines, c.retryLines) << c.statuses;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.statuses << "\n" << r.out;
    }
}

} // namespace

namespace {

TEST(AifDownload, MismatchedNextAddressContinuesAtTheAdaptersAddress) {
    Env env(fcFleet("load_area_next_skew = 4"));
    AifFileSpec f;
    f.images.push_back(image("bwc", 0x03790101, 0x80000));
    f.images[0].body = 300; // three chunks
    hbatest::RunResult r = env.download("n=1", env.file("fw.BWC", sim_image::build_aif(f)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    size_t lines = 0;
    for (size_t at = r.out.find("Next Address Mismatched\n"); at != std::string::npos;
         at = r.out.find("Next Address Mismatched\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << r.out;
    EXPECT_EQ(env.count("LOAD_AREA load area=1 step=3 addr=0x80070 "), 1u); // 0x80000 + 108 + 4
    EXPECT_EQ(env.count("LOAD_AREA load area=1 step=4 addr=0x800E0 "), 1u); // + 108 + 4
}

} // namespace
