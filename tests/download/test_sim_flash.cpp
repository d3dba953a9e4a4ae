// The simulated adapter's flash programming refuses what a real adapter
// would, and a refused download leaves the load list as it was; the load list
// walk is bounded.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "sim/core/image_signature.h"
#include "sim/driver/sim_driver.h"
#include "tests/download/download_env.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using hbatest::HbasetMachine;

constexpr uint32_t kBadParam = hbasim::SIM_MBXST_BAD_PARAM;

uint32_t erase(uint32_t size, uint32_t pid0) {
    MboxBuf mb;
    mboxInit(&mb, MBX_DOWN_LOAD);
    mb.w[1] = 0x1A;
    mb.w[3] = size;
    mb.w[4] = pid0;
    return IssueMbox1(0, &mb);
}

uint32_t chunk(const sim_image::Image& img, size_t at, size_t n, bool last) {
    MboxBuf mb;
    mboxInit(&mb, MBX_DOWN_LOAD);
    mb.w[1] = 0x0A | (last ? 1 : 0);
    mb.w[3] = static_cast<uint32_t>(n);
    mb.w[4] = 20;
    fileBytesToWords(img.data() + at, &mb.w[5], n / 4);
    return IssueMbox1(0, &mb);
}

// Sends the whole image; the status of the first refused chunk.
uint32_t sendAll(const sim_image::Image& img) {
    for (size_t at = 0; at < img.size(); at += 108) {
        size_t n = img.size() - at < 108 ? img.size() - at : 108;
        uint32_t st = chunk(img, at, n, at + n == img.size());
        if (st != 0) return st;
    }
    return 0;
}

// Load list entries of a program id word 0, and the version of the last one.
size_t entriesOf(uint32_t pid0, std::string* version = nullptr) {
    std::vector<LoadListEntry> e(LOAD_LIST_MAX_ENTRIES);
    uint32_t n = 0;
    EXPECT_EQ(WalkLoadList(0, e.data(), LOAD_LIST_MAX_ENTRIES, &n), 0u);
    size_t found = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (e[i].words[4] == pid0) {
            ++found;
            if (version) *version = e[i].version;
        }
    return found;
}

TEST(SimDownLoad, ChunksNeedAnEraseAndStayInsideIt) {
    HbasetMachine m(dltest::fcFleet());
    sim_image::Image img = sim_image::build_prg(sim_image::PrgSpec());
    EXPECT_EQ(chunk(img, 0, 108, false), kBadParam); // no erase yet
    ASSERT_EQ(erase(216, 0x07730101), 0u);
    EXPECT_EQ(chunk(img, 0, 108, false), 0u);
    EXPECT_EQ(chunk(img, 108, 108, false), 0u);
    EXPECT_EQ(chunk(img, 216, 108, false), kBadParam); // past the erased size
}

TEST(SimDownLoad, CorruptLastChunkInstallsNothingAndTheRetryReplaces) {
    HbasetMachine m(dltest::fcFleet());
    sim_image::PrgSpec spec;
    spec.text = "3.00a1";
    sim_image::Image img = sim_image::build_prg(spec);
    const uint32_t pid0 = 0x07730101;
    sim_image::Image corrupt = img;
    corrupt[200] ^= 1;
    ASSERT_EQ(erase(static_cast<uint32_t>(img.size()), pid0), 0u);
    EXPECT_EQ(sendAll(corrupt), MBXS_ERROR); // the file checksum
    EXPECT_EQ(entriesOf(pid0), 0u);

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(erase(static_cast<uint32_t>(img.size()), pid0), 0u);
        ASSERT_EQ(sendAll(img), 0u);
        std::string version;
        EXPECT_EQ(entriesOf(pid0, &version), 1u) << round; // replaced, not added
        EXPECT_EQ(version, "3.00a1");
    }
    // A chunk after the completed download has no erase to belong to.
    EXPECT_EQ(chunk(img, 0, 108, false), kBadParam);
}

// A LOAD_AREA request whose data is zero but for its last word.
uint32_t area(uint32_t w1, uint32_t address, uint32_t length, uint32_t* progress, uint32_t* next,
              uint32_t lastWord = 0) {
    MboxBuf mb;
    mboxInit(&mb, MBX_LOAD_AREA);
    mb.w[1] = w1;
    mb.w[2] = address;
    mb.w[3] = length;
    mb.w[4] = 20;
    if (lastWord != 0 && length >= 4 && length <= MBOX_CLASSIC_DATA_MAX)
        mb.w[MBOX_DATA_WORD + length / 4 - 1] = lastWord;
    uint32_t st = IssueMbox1(0, &mb);
    *progress = (mb.w[1] >> 8) & 0xFF;
    *next = mb.w[2];
    return st;
}

TEST(SimLoadArea, EraseProgressAndAddressesInsideTheArea) {
    HbasetMachine m(dltest::fcFleet());
    uint32_t progress = 0, next = 0;
    const uint32_t base = 0x100000, length = 0x30000;
    EXPECT_NE(area(0x01030000 | 0x0A, base, 8, &progress, &next), 0u); // load before erase
    ASSERT_EQ(area(0x01010018, base, length, &progress, &next), 0u);
    EXPECT_EQ(progress, 1u);
    int requests = 1;
    while (progress == 1 && requests < 10) {
        ASSERT_EQ(area(0x01020018, next, length, &progress, &next), 0u);
        ++requests;
    }
    EXPECT_EQ(progress, 2u);
    EXPECT_EQ(requests, 3);
    EXPECT_NE(area(0x0103000A, base - 4, 8, &progress, &next), 0u);          // before the area
    EXPECT_NE(area(0x0103000A, base + length - 4, 8, &progress, &next), 0u); // past its end
    EXPECT_NE(area(0x0203000A, base, 8, &progress, &next), 0u);              // another area
    ASSERT_EQ(area(0x0103000A, base, 8, &progress, &next), 0u);
    EXPECT_EQ(progress, 3u);
    EXPECT_EQ(next, base + 8);
    // The body as received must end with its signature word.
    EXPECT_EQ(area(0x0104000B, base + 8, 8, &progress, &next), 3851u);
    ASSERT_EQ(area(0x01010018, base, length, &progress, &next), 0u);
    while (progress == 1)
        ASSERT_EQ(area(0x01020018, next, length, &progress, &next), 0u);
    ASSERT_EQ(area(0x0103000A, base, 8, &progress, &next), 0u);
    const uint8_t zeros[12] = {};
    ASSERT_EQ(area(0x0104000B, base + 8, 8, &progress, &next,
                   hbasim::sig_aif_word(1, base, zeros, sizeof zeros)),
              0u);
    EXPECT_EQ(progress, 4u);
}

TEST(LoadListWalk, EndsAtClearedAddressesAndCycles) {
    struct Case {
        const char* memory;
        uint32_t entries;
    };
    // One entry at 0x1000 whose next word is 0, 0xFFFFFFFF, or itself.
    const Case cases[] = {
        {"0x79C=0x1000;0x1000=0 0 0x20000 0 0x07A10101 0", 1},
        {"0x79C=0x1000;0x1000=0xFFFFFFFF 0 0x20000 0 0x07A10101 0", 1},
        {"0x79C=0x1000;0x1000=0x1000 0 0x20000 0 0x07A10101 0", 1},
        {"0x79C=0", 0},
    };
    for (const Case& c : cases) {
        HbasetMachine m(dltest::fcFleet(std::string("memory = \"") + c.memory + "\""));
        std::vector<LoadListEntry> e(LOAD_LIST_MAX_ENTRIES);
        uint32_t n = 99;
        EXPECT_EQ(WalkLoadList(0, e.data(), LOAD_LIST_MAX_ENTRIES, &n), 0u) << c.memory;
        EXPECT_EQ(n, c.entries) << c.memory;
    }
}

} // namespace
