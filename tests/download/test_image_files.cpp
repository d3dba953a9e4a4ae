// FC image files: RotXor, file kinds by name, the .aif rule, the percentage
// and the images the builders make.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hbaset/fcmaint/download.h"
#include "hbaset/fcmaint/fw_image.h"
#include "sim/image/fc_images.h"

namespace {

using sim_image::Image;

// Values worked by hand: start 0xAAAAAAAA, per word rotate left by one and
// XOR the word in, rotate once more at the end.
TEST(RotXor, KnownAnswers) {
    struct Case {
        const char* name;
        std::vector<uint32_t> words;
        uint32_t sum;
    };
    const Case cases[] = {
        // 0xAAAAAAAA rotated once.
        {"no words", {}, 0x55555555u},
        // 0x55555555 ^ 1 = 0x55555554; rotated 0xAAAAAAA8 ^ 0x80000000 =
        // 0x2AAAAAA8; rotated 0x55555550.
        {"two words", {0x00000001u, 0x80000000u}, 0x55555550u},
        // 0x55555555 ^ 0xFFFFFFFF = 0xAAAAAAAA: the top bit wraps round.
        {"all ones", {0xFFFFFFFFu}, 0x55555555u},
        // The word that cancels the seed makes the range valid.
        {"a valid range", {0x55555555u, 0u}, 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RotXorChecksum(c.words.data(), c.words.size()), c.sum);
    }
}

TEST(RotXor, BuilderCompletersMakeEveryRangeValid) {
    sim_image::PrgSpec spec;
    spec.size = 1000; // rounded up to a whole number of words
    Image img = sim_image::build_prg(spec);
    ASSERT_EQ(img.size() % 4, 0u);
    PrgHeader h;
    fileBytesToWords(img.data(), h.w, PRG_HEADER_WORDS);
    EXPECT_EQ(prgHeaderChecksum(h), 0u);
    EXPECT_EQ(prgSize(h), img.size());
    std::vector<uint32_t> words(img.size() / 4);
    fileBytesToWords(img.data(), words.data(), words.size());
    EXPECT_EQ(RotXorChecksum(words.data(), words.size()), 0u);
    // One flipped bit anywhere breaks it.
    words[40] ^= 0x100;
    EXPECT_NE(RotXorChecksum(words.data(), words.size()), 0u);
}

TEST(RotXor, ImageFormMatchesTheWordFormAndReportsShortImages) {
    Image img = sim_image::build_prg(sim_image::PrgSpec());
    const ImageView view{img.data(), img.size()};
    uint32_t sum = 1;
    EXPECT_TRUE(RotXorChecksumRange(view, 0, img.size() / 4, &sum));
    EXPECT_EQ(sum, 0u);
    EXPECT_FALSE(RotXorChecksumRange(view, 0, img.size() / 4 + 1, &sum));
    EXPECT_FALSE(RotXorChecksumRange(view, img.size() + 4, 0, &sum));
}

TEST(FileKinds, ExtensionsAndTheBareAifRule) {
    struct Case {
        const char* name;
        FileKind kind;
        bool bare;
    };
    const Case cases[] = {
        {"fw.ufi", FILE_KIND_UFI, false},       {"fw.UFI", FILE_KIND_UFI, false},
        {"fw.Ufi", FILE_KIND_OTHER, false},     {"fw.grp", FILE_KIND_GRP, false},
        {"dir.x/fw.GRP", FILE_KIND_GRP, false}, {"fw.ALL", FILE_KIND_ALL, false},
        {"fw.all", FILE_KIND_ALL, false},       {"fw.DWC", FILE_KIND_DWC, false},
        {"fw.bwc", FILE_KIND_BWC, false},       {"fw.FWC", FILE_KIND_FWC, false},
        {"fw.aif", FILE_KIND_OTHER, true},      {"fw.AIF", FILE_KIND_OTHER, true},
        {"fw.1.aif", FILE_KIND_OTHER, false},   {"./fw.aif", FILE_KIND_OTHER, false},
        {"fw.aiff", FILE_KIND_OTHER, false},    {"firmware", FILE_KIND_OTHER, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileKindOf(fileExtension(c.name)), c.kind) << c.name;
        EXPECT_EQ(isBareAifName(c.name), c.bare) << c.name;
    }
}

TEST(Percent, NoOverflowNearFourGiB) {
    const uint64_t total = 0xFFFFFFFCull;
    EXPECT_EQ(chunkPercent(108, total), 0);
    EXPECT_EQ(chunkPercent(total / 2, total), 49);
    EXPECT_EQ(chunkPercent(total, total), 99);
}

TEST(Builders, AifFileLayout) {
    sim_image::AifFileSpec f;
    f.all = true;
    f.images.resize(2);
    f.images[0].kind = "awc";
    f.images[0].idWord = 0x01780505;
    f.images[1].kind = "bwc";
    f.images[1].base = 0x80000;
    Image img = sim_image::build_aif(f);
    EXPECT_EQ(sim_image::get_be32(img, 0), AIF_MAGIC);
    const uint32_t first = sim_image::get_be32(img, 20) + AIF_OVERHEAD;
    EXPECT_EQ(sim_image::get_be32(img, first), AIF_MAGIC);
    // The AWC version word sits at flash address 0x1F0 and carries the family byte.
    EXPECT_EQ(sim_image::get_be32(img, AWC_FAMILY_OFFSET), 0x01780505u);
    std::vector<uint32_t> words(img.size() / 4);
    fileBytesToWords(img.data(), words.data(), words.size());
    EXPECT_EQ(RotXorChecksum(words.data(), words.size()), 0u);
    EXPECT_EQ(RotXorChecksum(words.data(), first / 4), 0u);
}

} // namespace
