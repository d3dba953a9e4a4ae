// Rules behind the inventory listings: the MBX_SLI_CONFIG status mapping,
// the version text check, the OEM board list and the decoding of firmware
// names and controller version texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hbaset/cli/inventory.h"

namespace {

struct SliCase {
    uint32_t lib, mbox;
    uint8_t status, addl;
    uint32_t rm;
};

TEST(InventoryRules, SliConfigStatusFirstMatchingRowWins) {
    const SliCase cases[] = {
        // library success: the response decides
        {0, 0, 0, 0, 0},
        {0, 0, 5, 0x67, 0},
        {0, 0, 1, 0, 148},
        {0, 0x4001, 3, 0x1C, 148},
        // mailbox errors with a response of their own
        {2, 0x4001, 1, 0x67, 0},
        {2, 1, 0x7E, 0x00, 60},
        {2, 1, 0x7E, 0xA7, 60},
        {2, 1, 1, 0xA7, 15},
        {2, 1, 2, 0x1E, 251},
        {2, 1, 1, 0x1C, 204},
        {2, 1, 3, 0x00, 248},
        // mailbox status 0, 1 or 0x4001 otherwise: 28, even with a good response
        {2, 1, 0, 0, 28},
        {2, 0, 0, 0, 28},
        {2, 0x4001, 0, 0x67, 28},
        {2, 1, 2, 0x1F, 28},
        // other mailbox statuses: the response decides
        {2, 0xFD, 0, 0, 0},
        {2, 0xFD, 4, 0x67, 0},
        {2, 0xFD, 4, 0, 28},
        // any other library status
        {1, 0, 0, 0, 28},
        {3, 0, 0, 0x67, 28},
        {6, 1, 1, 0xA7, 28},
    };
    for (const SliCase& c : cases)
        EXPECT_EQ(sliConfigStatus(c.lib, c.mbox, c.status, c.addl), c.rm)
            << "L=" << c.lib << " M=" << c.mbox << " S=" << int(c.status) << " A=" << int(c.addl);
}

// A controller query's status from its sub-command header as it came back: a
// mailbox that failed before the adapter wrote the response is a failure.
TEST(InventoryRules, SliQueryStatusNeedsAWrittenResponse) {
    const struct {
        const char* what;
        uint32_t lib, mbox;
        uint8_t status, addl;
        uint32_t responseLength;
        uint32_t rm;
    } cases[] = {
        {"unwritten after a mailbox error", 2, 0xFFF7, 0, 0, 0, 28},
        {"written with status 0 after a mailbox error", 2, 0xFD, 0, 0, 16, 0},
        {"written with a failure", 2, 0xFD, 4, 0, 16, 28},
        {"success with a zero response", 0, 0, 0, 0, 0, 0},
        {"mailbox status 1 with a response of its own", 2, 1, 1, 0xA7, 0, 15},
    };
    for (const auto& c : cases) {
        uint8_t header[16] = {};
        header[4] = c.status;
        header[5] = c.addl;
        header[8] = static_cast<uint8_t>(c.responseLength);
        EXPECT_EQ(sliQueryStatus(c.lib, c.mbox, header), c.rm) << c.what;
    }
}

TEST(InventoryRules, ValidVersionNeedsFourDigitFields) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"11.4.204.20", true},
        {"0.0.0.0", true},
        {"1.2.3.4.5", true},
        {"1.2.3.4.x", true}, // only the first four fields count
        {"1.2.3", false},    // three fields
        {"1.2.3.", false},   // empty fourth field
        {"1..3.4", false},
        {".1.2.3", false},
        {"1.2.3.4a", false}, // fourth field not all digits
        {"1.2.3.4 ", false},
        {"a.2.3.4", false},
        {"", false},
        {"1.2.3.4444444444444444444444444", true},     // exactly 31 characters
        {"1.2.3.44444444444444444444444444", true},    // cut to 31: still digits
        {"1111111111111111111111111111.2.3.4", false}, // fourth field beyond the cut
    };
    for (const auto& c : cases)
        EXPECT_EQ(validVersion(c.text), c.valid) << '"' << c.text << '"';
    EXPECT_FALSE(validVersion(nullptr));
}

TEST(InventoryRules, OemConfigurationBoards) {
    const struct {
        uint32_t device, ssvid, ssid;
        int32_t oem;
    } cases[] = {
        {0xF100, 0x1F3C, 0xF124, 1},
        {0xF100, 0x1F3C, 0xF13C, 1},
        {0xF100, 0x1F3C, 0xF128, 0}, // between listed subsystems
        {0xF101, 0x1F3C, 0xF124, 0}, // the own-vendor list is for 0xF100 only
        {0xF100, 0x103C, 0x1719, 1},
        {0xF100, 0x1054, 0x3053, 1},
        {0xF100, 0x103C, 0x338F, 1},
        {0xE200, 0x103C, 0x1719, 0}, // pair of 0xF100 on another device
        {0xE200, 0x103C, 0x1702, 1}, // pairs of any device
        {0x0714, 0x1F3C, 0xFE26, 1},
        {0xF100, 0x1734, 0x10F4, 1},
        {0xF100, 0x1F3C, 0xFD21, 0},
        {0xF100, 0x3C1F, 0x24F1, 0}, // swapped bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(isOemConfigurationIds(c.device, c.ssvid, c.ssid), c.oem)
            << std::hex << c.device << " " << c.ssvid << " " << c.ssid;
}

TEST(InventoryRules, FirmwareNameFromRevisionAnswer) {
    uint8_t answer[256] = {};
    // As a string: "12.8.542.31" and then zeros.
    memcpy(answer + REV_FW_NAME_OFFSET, "12.8.542.31", 11);
    char out[REV_FW_NAME_SIZE + 1];
    revisionFirmwareName(answer, false, out, sizeof out);
    EXPECT_STREQ(out, "12.8.542.31");

    // Word-reversed: each group of four bytes is stored back to front.
    memset(answer, 0, sizeof answer);
    const char plain[] = "2.10A3";
    for (size_t k = 0; k < sizeof plain - 1; ++k)
        answer[REV_FW_NAME_OFFSET + (k & ~size_t{3}) + 3 - (k & 3)] = plain[k];
    revisionFirmwareName(answer, true, out, sizeof out);
    EXPECT_STREQ(out, "2.10A3");

    // Sixteen bytes without a terminator stay bounded; a small buffer cuts.
    memset(answer + REV_FW_NAME_OFFSET, 'Z', REV_FW_NAME_SIZE);
    answer[REV_FW_NAME_OFFSET + REV_FW_NAME_SIZE] = 'Q';
    revisionFirmwareName(answer, false, out, sizeof out);
    EXPECT_EQ(std::string(out), std::string(REV_FW_NAME_SIZE, 'Z'));
    char small[5];
    revisionFirmwareName(answer, false, small, sizeof small);
    EXPECT_STREQ(small, "ZZZZ");
}

TEST(InventoryRules, ControllerVersionTextsCutAt32BytesAndFirstBlank) {
    uint8_t area[CNTL_ATTR_AREA_BYTES] = {};
    auto put = [&](uint32_t offset, const std::string& text) {
        memcpy(area + offset, text.data(), text.size());
    };
    put(CNTL_ATTR_UNIVERSAL_BIOS, "12.0.342.0 universal");
    put(CNTL_ATTR_X86_BIOS, std::string(32, '7')); // runs into the next field
    put(CNTL_ATTR_EFI_BIOS, "efi-9.1");
    put(CNTL_ATTR_FCODE, " leading");
    CntlAddlAttributes out;
    memset(&out, 'x', sizeof out);
    decodeCntlAddlAttributes(area, &out);
    EXPECT_STREQ(out.universalBiosVersion, "12.0.342.0");
    EXPECT_EQ(std::string(out.x86BiosVersion), std::string(32, '7'));
    EXPECT_STREQ(out.efiBiosVersion, "efi-9.1");
    EXPECT_STREQ(out.fcodeVersion, "");
}

} // namespace
