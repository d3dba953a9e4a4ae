// Version texts and comparisons, the CV2 minimum, the extension test, UFI
// image versions with their ASIC revision, and the sorted image list of a
// firmware folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fwsweep/versions.h"
#include "tests/fwsweep/ufi_files.h"
#include "tests/support/support.h"

namespace {

CluImage cna(int type, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    CluImage img;
    img.imageType = type;
    img.major = a, img.minor = b, img.release = c, img.build = d;
    return img;
}

TEST(Versions, EncodeCnaVersion) {
    const struct {
        const char* text;
        int rc;
        uint32_t parts[4];
    } cases[] = {
        {"3.102.300.5", 0, {2, 102, 300, 5}}, {"4.6.281.8", 0, {4, 6, 281, 8}},
        {"4.1.2", 4, {4, 1, 2, 0}},           {"", 4, {0, 0, 0, 0}},
        {"x.1.2.3", 4, {0, 0, 0, 0}},         {"5.4.3.2.1", 0, {5, 4, 3, 2}},
    };
    for (const auto& c : cases) {
        uint32_t p[4] = {9, 9, 9, 9};
        EXPECT_EQ(encodeCNAVersion(&p[0], &p[1], &p[2], &p[3], c.text), c.rc) << c.text;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(p[i], c.parts[i]) << c.text << " part " << i;
    }
    uint32_t x;
    EXPECT_EQ(encodeCNAVersion(&x, &x, &x, nullptr, "1.2.3.4"), 4);
}

TEST(Versions, FcBuildStrings) {
    const struct {
        const char* text;
        const char* decoded;
        uint32_t word;
    } cases[] = {
        {"SF2.82A4", "282A4", (2u << 12) | (8u << 8) | (2u << 6) | (1u << 4) | 4u},
        {"ZF1.11X15", "111X15", (1u << 12) | (1u << 8) | (1u << 6) | (3u << 4) | 15u},
        {"ZF1.11B17", "111B1", (1u << 12) | (1u << 8) | (1u << 6) | (2u << 4) | 1u},
        {"SF2", "200N0", 2u << 12},
        {"SF", "000N0", 0},
        {"", "000N0", 0},
        {"SF2.8", "280N0", (2u << 12) | (8u << 8)},
    };
    for (const auto& c : cases) {
        CluImage img;
        decodeRawFCBuildString(&img, c.text);
        EXPECT_STREQ(img.decodedVersion, c.decoded) << c.text;
        EXPECT_EQ(img.fcVersion, c.word) << c.text;
    }
}

TEST(Versions, OrderAndUpdateNeeded) {
    CluImage cur = cna(IMAGE_CV3, 4, 2, 324, 0);
    const struct {
        CluImage image;
        int greater;
        int rewrite, update, downgrade; // isUpdateNeededCNA, downgrade inverted by the caller
    } cases[] = {
        {cna(IMAGE_CV3, 4, 2, 324, 0), 0, 1, 0, 0},   {cna(IMAGE_CV3, 4, 6, 281, 8), 1, 1, 1, 0},
        {cna(IMAGE_CV3, 4, 2, 323, 99), -1, 0, 0, 1}, {cna(IMAGE_CV3, 4, 2, 324, 1), 1, 1, 1, 0},
        {cna(IMAGE_CV4, 1, 0, 0, 0), 1, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image.build);
        EXPECT_EQ(isGreaterCNAVersion(c.image, cur), c.greater);
        EXPECT_EQ(isUpdateNeededCNA(cur, c.image, true), c.rewrite);
        EXPECT_EQ(isUpdateNeededCNA(cur, c.image, false), c.update);
        EXPECT_EQ(!isUpdateNeededCNA(cur, c.image, true), c.downgrade != 0);
    }
    EXPECT_EQ(isUpdateNeededCNA(cna(IMAGE_FC, 1, 0, 0, 0), cna(IMAGE_NONE, 2, 0, 0, 0), true),
              FWS_NEEDED_BAD_TYPE);
}

TEST(Versions, Cv2Minimum) {
    const struct {
        uint32_t v[4];
        int supported;
    } cases[] = {
        {{4, 0, 360, 15}, 1},  {{4, 1, 0, 0}, 1},    {{4, 0, 359, 99}, 0},
        {{3, 9, 999, 999}, 0}, {{4, 0, 360, 14}, 0}, {{5, 0, 0, 0}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hasSupportedCV2FirmwareVersion(c.v[0], c.v[1], c.v[2], c.v[3]), c.supported)
            << c.v[0] << "." << c.v[1] << "." << c.v[2] << "." << c.v[3];
}

TEST(Versions, ExtensionTest) {
    const struct {
        const char* name;
        int mode;
        int rc;
    } cases[] = {
        {"a.ufi", 0, 0}, {"A.UFI", 2, 0}, {"a.ufi.bak", 0, 0}, {"a.Ufi", 0, 1},
        {"x.all", 0, 1}, {"a.ufi", 1, 1}, {"ufi", 0, 1},
    };
    for (const auto& c : cases) {
        int ext = -1;
        EXPECT_EQ(isValidFileExtension(c.name, &ext, c.mode), c.rc) << c.name;
        EXPECT_EQ(ext, c.rc == 0 ? EXT_UFI : EXT_NONE) << c.name;
    }
}

TEST(Versions, UfiImageVersionsAndRevisions) {
    hbatest::TempState state;
    const struct {
        const char* raw;
        int asic;
        int type;
        const char* decoded;
        int isCvr;
    } cases[] = {
        {"3 4.6.281.8", 0, IMAGE_CV3, "4.6.281.8", 0},
        {"3 4.7.1.0", 16, IMAGE_CV3, "4.7.1.0", 1},
        {"3 4.7.1.0", 17, IMAGE_CV3, "4.7.1.0", 1},
        {"4 5.0.1.0", 0, IMAGE_CV4, "5.0.1.0", 0},
        {"4 5.0.1.0", 16, IMAGE_CV4, "5.0.1.0", 1},
        {"2 4.1.0.0", 16, IMAGE_CV2, "4.1.0.0", 0}, // generation 2 has no revision byte
        {"34.2.0.0", 0, IMAGE_CV3, "34.2.0.0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        std::string path = state.path("i.ufi");
        fwtest::writeUfi(path, c.raw, c.asic);
        CluImage img;
        ASSERT_EQ(verifyFwFile(path.c_str(), &img), 0);
        EXPECT_EQ(img.imageType, c.type);
        EXPECT_STREQ(img.decodedVersion, c.decoded);
        EXPECT_EQ(img.isCVR, c.isCvr);
        if (c.type != IMAGE_CV2) {
            EXPECT_EQ(img.asicRevisionId, c.asic);
        }
    }
    CluImage img;
    fwtest::writeUfi(state.path("bad.ufi"), "9 1.2.3.4", 0);
    EXPECT_NE(verifyFwFile(state.path("bad.ufi").c_str(), &img), 0);
    EXPECT_NE(verifyFwFile(state.path("missing.ufi").c_str(), &img), 0);
    EXPECT_EQ(verifyFwFile(state.path("x.all").c_str(), &img), FWS_FILE_NOT_UFI);
}

TEST(Versions, ImageListSortedGreatestFirst) {
    hbatest::TempState state;
    std::string dir = state.path("firmware/");
    std::filesystem::create_directories(dir + "sub.ufi");
    fwtest::writeUfi(dir + "b.ufi", "3 4.2.0.0", 0);
    fwtest::writeUfi(dir + "c.ufi", "3 4.1.0.0", 0);
    fwtest::writeUfi(dir + "a.ufi", "3 4.0.0.0", 0);
    fwtest::writeUfi(dir + "B2.ufi", "3 4.1.0.0", 0); // equal to c.ufi, sorts before it by name
    fwtest::writeUfi(dir + "t.ufi", "4 1.0.0.0", 0);  // a later generation sorts first
    fwtest::writeUfi(dir + "junk.ufi", "z", 0);
    hbatest::write_file(dir + "x.txt", "text");
    std::vector<CluImage> list;
    ASSERT_EQ(makeFileNameList(dir, &list), 0);
    std::vector<std::string> names;
    for (const CluImage& i : list)
        names.push_back(i.filename);
    EXPECT_EQ(names, (std::vector<std::string>{"t.ufi", "b.ufi", "B2.ufi", "c.ufi", "a.ufi"}));
    EXPECT_EQ(list[1].major, 4u);
    EXPECT_EQ(list[1].minor, 2u);

    EXPECT_EQ(makeFileNameList(state.path("none/"), &list), 1);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(makeFileNameList(state.path("firmware"), &list), 1); // no trailing "/"
}

} // namespace
