// Value conversions of the NEXA typed readers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "hbaset/cna/mal.h"

namespace {

TEST(MalParsers, Boolean) {
    const struct {
        const char* value;
        int32_t expect;
    } cases[] = {
        {"Enabled", 1}, {"YES", 1},   {"true", 1},  {"cee", 1}, {"CIN", 0},      {"Disabled", 0},
        {"no", 0},      {"FALSE", 0}, {"maybe", 2}, {"", 2},    {"Enabled ", 2}, {"Enable", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(malParseBool(c.value), c.expect) << c.value;
}

TEST(MalParsers, Hex) {
    const struct {
        const char* value;
        uint32_t expect;
    } cases[] = {
        {"N/A", 0},
        {"", 0},
        {"1F3C", 0x1F3C},
        {"0x1f3c", 0x1F3C},
        {"ffffffff", 0xFFFFFFFFu},
        {"123456789", 0xFFFFFFFFu},
        {"12zz", 0x12},
        {"0x", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(malParseHex(c.value), c.expect) << c.value;
}

TEST(MalParsers, Decimal) {
    const struct {
        const char* name;
        const char* value;
        int32_t expect;
    } cases[] = {
        {"MTUSize", "1500", 1500},
        {"MTUSize", "-7", -7},
        {"MTUSize", "N/A", 0},
        {"DefaultETO", "N/A", 0x0FFFFFFF},
        {"ETO", "N/Available", 0x0FFFFFFF},
        {"SessionTSIH", "N/A", 0},
        {"MTUSize", "n/a", 0},
        {"MTUSize", "99999999999", INT32_MAX},
        {"MTUSize", "-99999999999", INT32_MIN},
        {"MTUSize", "2147483648", INT32_MAX},
        {"MTUSize", "-2147483648", INT32_MIN},
        {"MTUSize", " 42abc", 42},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(malParseDecimal(c.name, c.value), c.expect) << c.name << "=" << c.value;
    }
}

TEST(MalParsers, IPv4) {
    const struct {
        const char* value;
        bool ok;
        uint8_t expect[4];
    } cases[] = {
        {"10.1.2.3", true, {10, 1, 2, 3}},  {"10.1.2.3.4", true, {10, 1, 2, 3}},
        {"10.1.2", false, {0, 0, 0, 0}},    {"10.1.2.256", false, {0, 0, 0, 0}},
        {"10..2.3", false, {0, 0, 0, 0}},   {"n/a", false, {0, 0, 0, 0}},
        {"N/A", false, {0, 0, 0, 0}},       {"", false, {0, 0, 0, 0}},
        {" 10.1.2.3", false, {0, 0, 0, 0}}, {"192.168.0.255", true, {192, 168, 0, 255}},
    };
    for (const auto& c : cases) {
        uint8_t out[4] = {9, 9, 9, 9};
        EXPECT_EQ(malParseIPv4(c.value, out), c.ok) << c.value;
        EXPECT_EQ(memcmp(out, c.expect, 4), 0) << c.value;
    }
}

TEST(MalParsers, IPv6) {
    const struct {
        const char* value;
        bool ok;
        uint8_t expect[16];
    } cases[] = {
        {"fe80::1", true, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"::1", true, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"1::", true, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"1:2:3:4:5:6:7:8", true, {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}},
        {"::1:2:3:4:5:6:7", true, {0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7}},
        {"fe80::1%eth0", true, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"::", true, {}},
        {"a::b::c", false, {}},
        {"12345::1", false, {}},
        {"1:2:3:4:5:6:7:8:9", false, {}},
        {"1:2:3:4::5:6:7:8", false, {}},
        {":1", false, {}},
        {"1:", false, {}},
        {"1:::2", false, {}},
        {"N/A", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        uint8_t out[16];
        memset(out, 0x55, sizeof(out));
        EXPECT_EQ(malParseIPv6(c.value, out), c.ok) << c.value;
        EXPECT_EQ(memcmp(out, c.expect, 16), 0) << c.value;
    }
}

TEST(MalParsers, Mac) {
    const struct {
        const char* value;
        bool ok;
        uint8_t expect[6];
    } cases[] = {
        {"00-1F-3C-0a-0b-0c", true, {0x00, 0x1F, 0x3C, 0x0A, 0x0B, 0x0C}},
        {"00:1f:3c:0a:0b:0c", true, {0x00, 0x1F, 0x3C, 0x0A, 0x0B, 0x0C}},
        {"0-1-2-3-4-5", true, {0, 1, 2, 3, 4, 5}},
        {"00-1F-3C-0A-0B", false, {}},
        {"001F3C0A0B0C", false, {}},
        {"N/A", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        uint8_t out[6];
        memset(out, 0x55, sizeof(out));
        EXPECT_EQ(malParseMac(c.value, out), c.ok) << c.value;
        EXPECT_EQ(memcmp(out, c.expect, 6), 0) << c.value;
    }
}

TEST(MalParsers, PciDumpPieceStaysInItsBlock) {
    // 70 values: only 64 land in the block, the bytes after it stay untouched.
    std::string text;
    for (int k = 0; k < 70; k++) {
        char b[4];
        snprintf(b, sizeof(b), "%02x ", k);
        text += b;
    }
    uint8_t area[80];
    memset(area, 0xEE, sizeof(area));
    EXPECT_EQ(malParsePciDumpPiece(text.c_str(), area), 64);
    for (int k = 0; k < 64; k++)
        EXPECT_EQ(area[k], k);
    for (int k = 64; k < 80; k++)
        EXPECT_EQ(area[k], 0xEE);

    memset(area, 0xEE, sizeof(area));
    EXPECT_EQ(malParsePciDumpPiece("de ad be", area), 3);
    EXPECT_EQ(area[2], 0xBE);
    EXPECT_EQ(area[3], 0xEE);
    EXPECT_EQ(malParsePciDumpPiece("", area), 0);
    EXPECT_EQ(malParsePciDumpPiece("zz 01", area), 0);
}

TEST(MalCopyText, AlwaysTerminates) {
    char small[4];
    malCopyText(small, sizeof(small), "abcdef");
    EXPECT_STREQ(small, "abc");
    malCopyText(small, sizeof(small), nullptr);
    EXPECT_STREQ(small, "");
}

} // namespace
