// Image compatibility: the image id lists, the VPD style, AWC image families,
// key blocks and the boot ROM header of boot programs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "hbaset/fcmaint/image_check.h"
#include "sim/image/fc_images.h"

namespace {

struct ListCase {
    ListUse use;
    uint32_t family;
    bool dual, ibm;
    uint32_t device, type, id;
    ListVerdict want;
};

TEST(ImageIdLists, GoldenTable) {
    const ListVerdict A = LIST_ACCEPT, R = LIST_REFUSE, N = LIST_REFUSE_NOISY;
    const ListCase cases[] = {
        // Plain lists, silent and noisy refusals.
        {LIST_PRG, 0xF0A1, false, false, 0, 2, 0xB8, A},
        {LIST_PRG, 0xF0A1, false, false, 0, 2, 0xB3, R},
        {LIST_PRG, 0xF0A1, false, false, 0, 6, 0xB3, N},
        // Device variants of type 3.
        {LIST_PRG, 0xF0A1, false, false, 0xFC01, 3, 0xB4, A},
        {LIST_PRG, 0xF0A1, false, false, 0xFC01, 3, 0xB1, N}, // the mark covers the cell
        {LIST_PRG, 0xF0A1, false, false, 0xF0A1, 3, 0xB1, A},
        {LIST_PRG, 0xF0A1, false, false, 0xF0A1, 3, 0xB4, N},
        // Dual-channel and ibmVpd variants, in the order the cell gives them.
        {LIST_PRG, 0xFD00, true, true, 0, 2, 0xC3, A},  // I first
        {LIST_PRG, 0xFD00, true, false, 0, 2, 0xC3, R}, // D: C1 C8
        {LIST_PRG, 0xFD00, false, false, 0, 2, 0xC8, A},
        {LIST_PRG, 0xFD00, true, true, 0, 7, 0xCA, N}, // D+I: C1 only
        {LIST_PRG, 0xFD00, true, false, 0, 7, 0xCA, A},
        {LIST_PRG, 0xFE00, false, true, 0, 14, 0xED, A}, // types 11 and 14 share a column
        {LIST_PRG, 0xFE00, false, false, 0, 11, 0xED, N},
        // Unchecked types, refused columns, families without a row.
        {LIST_PRG, 0xF100, false, false, 0, 6, 0x01, A},
        {LIST_PRG, 0xF700, false, false, 0, 11, 0x11, N},
        {LIST_PRG, 0xFB00, false, false, 0, 6, 0xA1, N},
        {LIST_PRG, 0xFC40, false, false, 0, 2, 0x99, A},
        {LIST_PRG, 0xF100, false, false, 0, 5, 0x99, A},
        // AIF variants.
        {LIST_BWC, 0xF800, false, false, 0, 3, 0x99, A}, // not checked
        {LIST_BWC, 0xF100, false, false, 0, 3, 0x11, R}, // refusal without the message
        {LIST_BWC, 0xF180, false, false, 0, 3, 0x11, N},
        {LIST_DWC, 0xFE00, true, true, 0, 7, 0xEB, R}, // ibmVpd ignored: E1 EA
        {LIST_DWC, 0xFE00, true, true, 0, 7, 0xEA, A},
        {LIST_DWC, 0xF100, false, false, 0, 7, 0x11, N},
        {LIST_DWC, 0xF112, false, false, 0, 7, 0x11, A},
        {LIST_DWC, 0xF180, false, false, 0, 11, 0x72, A},
        {LIST_DWC, 0xF180, false, false, 0, 11, 0x73, R},
        {LIST_DWC, 0xF100, false, false, 0, 11, 0x73, A},
        {LIST_DWC_BOOT, 0xFE04, false, false, 0, 3, 0x11, A},
        {LIST_DWC_BOOT, 0xF100, false, false, 0, 3, 0x11, R},
        {LIST_DWC_BOOT, 0xF0E5, false, false, 0, 3, 0x11, N},
    };
    for (const ListCase& c : cases) {
        ListAdapter a{c.family, c.dual, c.ibm, c.device};
        EXPECT_EQ(imageIdListCheck(c.use, a, c.type, c.id), c.want)
            << std::hex << "family " << c.family << " type " << c.type << " id " << c.id;
    }
}

TEST(VpdStyle, GroupsPrefixesAndTheFirstGroupOfAType) {
    const char* style = "T3:12,0X13T2:05";
    EXPECT_TRUE(vpdStyleMatch(style, 3, 0x12));
    EXPECT_TRUE(vpdStyleMatch(style, 3, 0x13));
    EXPECT_TRUE(vpdStyleMatch(style, 2, 0x05));
    EXPECT_FALSE(vpdStyleMatch(style, 3, 0x05));
    EXPECT_FALSE(vpdStyleMatch(style, 7, 0x12));
    EXPECT_TRUE(vpdStyleMatch("Tff:78", 255, 120));
    EXPECT_FALSE(vpdStyleMatch("", 3, 0));
}

TEST(AwcFamily, FamilyBytesAndAgreement) {
    EXPECT_EQ(awcFamilyFromWord(0x00780000), 0xF100u);
    EXPECT_EQ(awcFamilyFromWord(0x007A1234), 0xF100u);
    EXPECT_EQ(awcFamilyFromWord(0x00720000), 0xF180u);
    EXPECT_EQ(awcFamilyFromWord(0x00EA0000), 0xFE00u);
    EXPECT_EQ(awcFamilyFromWord(0x00FF0001), 0x00FF0001u); // no family: the whole word
    EXPECT_TRUE(awcFamilyAgrees(0xF10B, 0xF100, 120));
    EXPECT_FALSE(awcFamilyAgrees(0xF180, 0xF100, 120));
    EXPECT_TRUE(awcFamilyAgrees(0xF98D, 0xF980, 96));
    EXPECT_TRUE(awcFamilyAgrees(0xFD11, 0xFD00, 192));
    EXPECT_FALSE(awcFamilyAgrees(0xFD11, 0xFD00, 202));
    EXPECT_TRUE(awcFamilyAgrees(0xF700, 0x1234, 0)); // families without a rule accept
}

ImageView viewOf(const sim_image::Image& img) {
    return ImageView{img.data(), img.size()};
}

TEST(KeyBlock, IdentifierOffsetsAndBufferBounds) {
    sim_image::PrgSpec spec;
    spec.kek = "QUORAL DOWNLOAD KEK 2";
    const sim_image::Image img = sim_image::build_prg(spec);
    const ImageView f = viewOf(img);
    PrgHeader h;
    ASSERT_EQ(readWordsAt(f, 0, h.w, PRG_HEADER_WORDS), 0u);
    ASSERT_NE(h.w[3] & PRG_FLAG_KEY_BLOCK, 0u);
    const uint64_t offset = PRG_HEADER_SIZE + h.w[8] - KEK_PRG_BLOCK_BACK;
    char id[KEK_ID_BUFFER];
    uint32_t length = 0;
    bool isSigned = false;
    ASSERT_EQ(ReadKekIdFromPRG(f, offset, id, sizeof id, &length, &isSigned), 0u);
    EXPECT_TRUE(isSigned);
    EXPECT_EQ(std::string(id, length), "QUORAL DOWNLOAD KEK 2");
    // A block that does not lie inside the file, and a buffer too small.
    EXPECT_EQ(ReadKekIdFromPRG(f, 4000, id, sizeof id, &length, &isSigned), DL_READ_ERROR);
    EXPECT_EQ(ReadKekIdFromPRG(f, offset, id, 100, &length, &isSigned), KEK_FAILED);
}

TEST(KeyBlock, IdentifierWithoutTerminatorIsClamped) {
    sim_image::PrgSpec spec;
    spec.kek = std::string(151, 'K');
    sim_image::Image img = sim_image::build_prg(spec);
    std::memset(&img[0x100 + 108], 'K', 152); // the whole identifier field, no NUL
    const ImageView f = viewOf(img);
    char id[KEK_ID_BUFFER];
    uint32_t length = 0;
    bool isSigned = false;
    ASSERT_EQ(ReadKekIdFromPRG(f, 0x100, id, sizeof id, &length, &isSigned), 0u);
    EXPECT_EQ(length, KEK_ID_BUFFER - 1);
    EXPECT_EQ(id[length], '\0');
}

TEST(BootRom, DeviceOfThePciDataDecidesBetweenZorathAndSecure) {
    sim_image::PrgSpec spec;
    spec.type = 3;
    spec.id = 0x79;
    spec.romDevice = 0xF180;
    const sim_image::Image secureImage = sim_image::build_prg(spec);
    const ImageView secure = viewOf(secureImage);
    EXPECT_EQ(ValidateZorathOrKeltorBootProgId(secure, PRG_HEADER_SIZE, 0xF100), DL_INCOMPATIBLE);
    EXPECT_EQ(ValidateZorathOrKeltorBootProgId(secure, PRG_HEADER_SIZE, 0xF180), 0u);
    spec.romDevice = 0xF100;
    const sim_image::Image zorathImage = sim_image::build_prg(spec);
    const ImageView zorath = viewOf(zorathImage);
    EXPECT_EQ(ValidateZorathOrKeltorBootProgId(zorath, PRG_HEADER_SIZE, 0xF104), 0u);
    EXPECT_EQ(ValidateZorathOrKeltorBootProgId(zorath, PRG_HEADER_SIZE, 0xF180), DL_INCOMPATIBLE);
    uint8_t pci[PCI_DATA_SIZE];
    EXPECT_EQ(ReadBootImagePciHeader(zorath, 0, pci), 1u); // no ROM signature there
}

} // namespace
