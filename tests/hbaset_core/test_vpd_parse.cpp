// VPD normalisation and the entry walk over well-formed, reversed, truncated
// and oversized data. Inputs live in heap buffers of their exact size, so a
// read past the data is caught under AddressSanitizer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hbaset/fcmaint/vpd.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t n) {
    b.push_back(static_cast<uint8_t>(n));
    b.push_back(static_cast<uint8_t>(n >> 8));
}

Bytes keyword(const char* key, const std::string& value) {
    Bytes b;
    b.reserve(3 + value.size());
    b.push_back(static_cast<uint8_t>(key[0]));
    b.push_back(static_cast<uint8_t>(key[1]));
    b.push_back(static_cast<uint8_t>(value.size()));
    for (char c : value)
        b.push_back(static_cast<uint8_t>(c));
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A resource: tag, 16-bit length (the body's size unless given), body.
Bytes resource(uint8_t tag, const Bytes& body, long length = -1) {
    Bytes b{tag};
    put16(b, length < 0 ? body.size() : static_cast<size_t>(length));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

const Bytes kRv = {'R', 'V', 1, 0};
const Bytes kKeywords = cat({keyword("SN", "qs2100001"), keyword("V2", "TGF3202"), kRv});
const Bytes kGood = cat({resource(0x82, text("Dual port HBA")), resource(0x90, kKeywords), {0x78}});

Bytes reversedWords(Bytes b) {
    while (b.size() % 4)
        b.push_back(0);
    for (size_t i = 0; i < b.size(); i += 4) {
        std::swap(b[i], b[i + 3]);
        std::swap(b[i + 1], b[i + 2]);
    }
    return b;
}

// Entries of a normalised buffer as "KK=value" ("ID" for the identifier string).
std::vector<std::string> entries(const uint8_t* buf, uint32_t length) {
    std::vector<std::string> out;
    uint32_t pos = 0;
    VpdEntry e;
    while (vpdNextEntry(buf, length, &pos, &e)) {
        std::string key = e.key[0] == 0x82 ? "ID" : std::string{char(e.key[0]), char(e.key[1])};
        out.push_back(key + "=" + std::string(reinterpret_cast<const char*>(e.data), e.length));
    }
    return out;
}

struct NormalizeCase {
    const char* name;
    Bytes raw;
    uint32_t status;
    std::vector<std::string> expect;
};

TEST(VpdNormalize, Cases) {
    const std::string longId(300, 'x');
    const NormalizeCase cases[] = {
        {"well formed", kGood, 0, {"ID=Dual port HBA", "SN=qs2100001", "V2=TGF3202"}},
        {"reversed words",
         reversedWords(kGood),
         0,
         {"ID=Dual port HBA", "SN=qs2100001", "V2=TGF3202"}},
        {"first tag not 0x82", cat({resource(0x90, kKeywords)}), 250, {}},
        {"second tag not 0x90",
         cat({resource(0x82, text("A")), resource(0x91, kKeywords)}),
         250,
         {}},
        {"empty", {}, 0, {}},
        {"tag only", {0x82}, 0, {}},
        {"identifier length past the data", cat({resource(0x82, text("abc"), 200)}), 0, {}},
        {"identifier without keywords", resource(0x82, text("abc")), 0, {"ID=abc"}},
        {"keyword length past the data",
         cat({resource(0x82, text("A")), resource(0x90, kKeywords, 0xFFFF)}),
         0,
         {"ID=A"}},
        {"keyword header cut by the resource",
         cat({resource(0x82, text("A")), resource(0x90, cat({keyword("SN", "1"), {'V', '2'}}))}),
         0,
         {"ID=A", "SN=1"}},
        {"keyword data past the resource",
         cat({resource(0x82, text("A")),
              resource(0x90, cat({keyword("SN", "1"), Bytes{'V', '2', 50, 'x'}}))}),
         0,
         {"ID=A", "SN=1"}},
        {"zero key byte ends",
         cat({resource(0x82, text("A")),
              resource(0x90,
                       cat({keyword("SN", "1"), Bytes{0, 'X', 1, 'y'}, keyword("V2", "m")}))}),
         0,
         {"ID=A", "SN=1"}},
        {"RV ends",
         cat({resource(0x82, text("A")),
              resource(0x90, cat({keyword("SN", "1"), kRv, keyword("V2", "m")}))}),
         0,
         {"ID=A", "SN=1"}},
        {"identifier over 255 kept to 255",
         cat({resource(0x82, text(longId)), resource(0x90, kKeywords)}),
         0,
         {"ID=" + std::string(255, 'x'), "SN=qs2100001", "V2=TGF3202"}},
        {"more than 1024 bytes", cat({kGood, Bytes(1025 - kGood.size(), 0)}), 21, {}},
    };
    for (const NormalizeCase& c : cases) {
        // One byte beyond the case's bytes, so that an empty case still has a
        // buffer to point at.
        Bytes buf = c.raw;
        buf.push_back(0);
        uint32_t length = static_cast<uint32_t>(c.raw.size());
        uint32_t st = vpdNormalize(buf.data(), &length);
        EXPECT_EQ(st, c.status) << c.name;
        if (st == 0) {
            EXPECT_EQ(entries(buf.data(), length), c.expect) << c.name;
        }
    }
}

TEST(VpdNormalize, ExactlyTheLimitIsAccepted) {
    Bytes buf = cat({kGood, Bytes(1024 - kGood.size(), 0xEE)});
    uint32_t length = 1024;
    EXPECT_EQ(vpdNormalize(buf.data(), &length), 0u);
    EXPECT_EQ(entries(buf.data(), length).size(), 3u);
}

TEST(VpdWalk, EveryPrefixOfGoodDataIsSafe) {
    // Each cut of the data ends the walk at or before the cut, never past it.
    for (size_t n = 0; n <= kGood.size(); n++) {
        Bytes raw(kGood.begin(), kGood.begin() + static_cast<long>(n));
        Bytes out(1024);
        uint32_t outLength = 0;
        VpdWalkEnd end = vpdParseRaw(raw.data(), static_cast<uint32_t>(n), out.data(),
                                     static_cast<uint32_t>(out.size()), &outLength);
        if (n == 0) {
            EXPECT_EQ(end, VPD_WALK_BAD_TAG);
        }
        EXPECT_LE(outLength, n) << n;
    }
}

TEST(VpdWalk, OutputRoomIsRespected) {
    Bytes out(8, 0xAA);
    uint32_t outLength = 0;
    EXPECT_EQ(
        vpdParseRaw(kGood.data(), static_cast<uint32_t>(kGood.size()), out.data(), 5, &outLength),
        VPD_WALK_TRUNCATED);
    EXPECT_EQ(outLength, 0u);
    EXPECT_EQ(out[5], 0xAA);
}

TEST(VpdEntries, LengthPastTheBufferEndsTheWalk) {
    const Bytes buf = {'S', 'N', 2, 'a', 'b', 'V', '2', 9, 'x'};
    EXPECT_EQ(entries(buf.data(), static_cast<uint32_t>(buf.size())),
              std::vector<std::string>{"SN=ab"});
}

TEST(VpdEntries, StoreKeywordsCutsToFieldSizes) {
    const Bytes buf = cat({keyword("SN", std::string(40, 's')), keyword("V1", "one"),
                           keyword("V2", std::string(100, 'm')), keyword("V3", "T2:11"),
                           keyword("V4", std::string(30, '4')), keyword("PN", "part")});
    VpdRecord rec;
    vpdStoreKeywords(buf.data(), static_cast<uint32_t>(buf.size()), &rec);
    EXPECT_EQ(std::string(rec.SN), std::string(32, 's'));
    EXPECT_STREQ(rec.V1, "one");
    EXPECT_EQ(std::string(rec.V2), std::string(79, 'm'));
    EXPECT_STREQ(rec.V3, "T2:11");
    EXPECT_EQ(std::string(rec.V4), std::string(19, '4'));
    EXPECT_EQ(rec.found, 1);
}

} // namespace
