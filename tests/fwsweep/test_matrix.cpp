// The matrix file reader on byte buffers: tokens, comments, long lines, and
// the lookup of an adapter's line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "fwsweep/matrix.h"

namespace {

SweepAdapter adapterWithKey(const char* key, uint32_t deviceId) {
    SweepAdapter a;
    copyBounded(a.matrixKey, sizeof a.matrixKey, key);
    a.deviceId = deviceId;
    return a;
}

struct Found {
    int matched;
    std::string fw, bc;
};

Found lookup(const std::string& text, const char* key, uint32_t deviceId) {
    MatrixMatch m;
    SweepAdapter a = adapterWithKey(key, deviceId);
    int r = getFwMatrixMatch(text.data(), text.size(), a, &m);
    return {r, m.firmware, m.bootCode};
}

TEST(Matrix, LookupCases) {
    const std::string token32(32, 'x');
    const std::string token31(31, 'y');
    const struct {
        const char* name;
        std::string text;
        const char* key;
        uint32_t deviceId;
        Found want;
    } cases[] = {
        {"last line wins",
         "CV3C100-FCoE a.ufi\nCV3C100-FCoE b.ufi\n",
         "CV3C100-FCoE",
         0x0714,
         {1, "b.ufi", "NONE"}},
        {"key without regard to case",
         "cv3c100-fcoe a.ufi\n",
         "CV3C100-FCoE",
         0x0714,
         {1, "a.ufi", "NONE"}},
        {"indented comment",
         "   //CV3C100-FCoE a.ufi\n",
         "CV3C100-FCoE",
         0x0714,
         {0, "NONE", "NONE"}},
        {"comment token",
         "/CV3C100-FCoE a.ufi\nCV3C100-FCoE\tb.ufi\r\n",
         "CV3C100-FCoE",
         0x0714,
         {1, "b.ufi", "NONE"}},
        {"key only", "CV3C100-NIC\n", "CV3C100-NIC", 0x0710, {1, "NONE", "NONE"}},
        {"32-character file",
         "CV3C100-NIC " + token32 + "\n",
         "CV3C100-NIC",
         0x0710,
         {1, "INVALID_FILE", "NONE"}},
        {"31-character file",
         "CV3C100-NIC " + token31,
         "CV3C100-NIC",
         0x0710,
         {1, token31, "NONE"}},
        {"CRLF file",
         "TRN4100-iSCSI t.ufi boot.prg\r\n",
         "TRN4100-iSCSI",
         0x0722,
         {1, "t.ufi", "NONE"}},
        {"FC key cut at the hyphen, boot code kept",
         "ZF9002-X fw.all bc.prg\n",
         "ZF9002",
         0xF100,
         {1, "fw.all", "bc.prg"}},
        {"Brevin key never cut",
         "BRV1600-X fw.grp\nBRV1600 g.grp b.prg\n",
         "BRV1600",
         0xE200,
         {1, "g.grp", "NONE"}},
        {"converged key not cut", "CV3C100 a.ufi\n", "CV3C100-FCoE", 0x0714, {0, "NONE", "NONE"}},
        {"no line ending, blank lines",
         "\n\n  \nCV3C100-FCoE z.ufi",
         "CV3C100-FCoE",
         0x0714,
         {1, "z.ufi", "NONE"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Found f = lookup(c.text, c.key, c.deviceId);
        EXPECT_EQ(f.matched, c.want.matched);
        EXPECT_EQ(f.fw, c.want.fw);
        EXPECT_EQ(f.bc, c.want.bc);
    }
}

TEST(Matrix, RestOfALongLineIsNeverALine) {
    // 255 characters are read; what follows on the same line must not become
    // an entry of its own.
    std::string line = "CV3C100-FCoE a.ufi" + std::string(237, ' ');
    ASSERT_EQ(line.size(), MATRIX_LINE_MAX);
    std::string text = line + "CV3C100-FCoE evil.ufi\nCV3C100-NIC n.ufi\n";
    EXPECT_EQ(lookup(text, "CV3C100-FCoE", 0x0714).fw, "a.ufi");
    EXPECT_EQ(lookup(text, "CV3C100-NIC", 0x0710).fw, "n.ufi");

    size_t pos = 0;
    MatrixLine l;
    int lines = 0;
    while (readMatrixLine(text.data(), text.size(), &pos, &l))
        ++lines;
    EXPECT_EQ(lines, 2);
}

TEST(Matrix, KnownKeys) {
    for (const char* key : {"CV2C100-FCoE", "cv3c100-iscsi", "TRN4100-NIC"})
        EXPECT_TRUE(isKnownMatrixKey(key)) << key;
    for (const char* key : {"CV3C100", "TRN4100-FC", "ZF9002", ""})
        EXPECT_FALSE(isKnownMatrixKey(key)) << key;
}

} // namespace
