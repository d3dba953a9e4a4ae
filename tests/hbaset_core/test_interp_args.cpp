// The interpreter's argument conventions: the script line splitter, keys,
// numeric and hexadecimal values and adapter numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/hbaset_core/interp_fixture.h"

namespace {

using interp::TableTest;

std::vector<std::string> tokens() {
    std::vector<std::string> out;
    for (int k = 0; k < g_interp.tokenCount; ++k)
        out.push_back(g_interp.tokens[k]);
    return out;
}

TEST_F(TableTest, SplitterCutsAtEveryBlank) {
    struct Case {
        std::string line;
        int count;
        std::vector<std::string> tokens;
    };
    std::string twenty, twentyOne;
    for (int k = 0; k < 20; ++k)
        twenty += (k ? " t" : "t") + std::to_string(k);
    twentyOne = twenty + " x";
    const Case cases[] = {
        {"listhba", 1, {"listhba"}},
        {"reset n=1", 2, {"reset", "n=1"}},
        {"reset  n=1", 3, {"reset", "", "n=1"}},
        {" listhba", 2, {"", "listhba"}},
        {twenty, 20, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(splitLine(c.line.c_str()), c.count);
        EXPECT_EQ(g_interp.tokenCount, c.count);
        if (!c.tokens.empty()) {
            EXPECT_EQ(tokens(), c.tokens);
        }
        EXPECT_EQ(console(), "Command: " + c.line + "\n");
    }
    // More than the table holds: refused, nothing written past the table.
    EXPECT_EQ(splitLine(twentyOne.c_str()), -1);
    EXPECT_EQ(g_interp.tokenCount, 0);
    // An empty line leaves the table as it was.
    splitLine("a b");
    EXPECT_EQ(splitLine(""), 0);
    EXPECT_EQ(std::string(g_interp.tokens[1]), "b");
}

TEST(InterpKeys, KeyIsASubstringAndValueStartsAtTheThirdCharacter) {
    struct Case {
        const char* token;
        const char* key;   // one letter, or a start-only prefix
        const char* value; // null: not this key
    };
    const Case cases[] = {
        {"n=1", "n", "1"},
        {"N=12", "n", "12"},
        {"i=/a/down=1", "n", "/a/down=1"}, // a path carrying "n=" counts as key n
        {"i=/a/down=1", "i", "/a/down=1"},
        {"xn=5", "n", "=5"},
        {"n", "n", nullptr},
        {"=n", "n", nullptr},
        {"/nonexa", "n", nullptr},
        {"w0=10000000", "w0=", "10000000"},
        {"W1=11abcdef", "w1=", "11abcdef"},
        {"xw0=1", "w0=", nullptr},
        {"m=001122334455", "m=", "001122334455"},
        {"am=00", "m=", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.token) + " / " + c.key);
        const char* v = c.key[1] ? prefixKeyValue(c.token, c.key) : keyValue(c.token, c.key[0]);
        if (c.value == nullptr) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_STREQ(v, c.value);
        }
    }
}

TEST(InterpKeys, NumericAndHexValues) {
    struct Case {
        const char* text;
        bool script;
        bool numeric;
        bool hex;
        const char* upper;
    };
    const Case cases[] = {
        {"0", false, true, true, "0"},      {"4096", false, true, true, "4096"},
        {"", false, false, false, ""},      {"12a", false, false, true, "12A"},
        {"-1", false, false, false, "-1"},  {"12\r", false, false, false, "12\r"},
        {"12\r", true, true, true, "12\r"}, {"ab\n", true, false, true, "AB\n"},
        {"\r", true, false, false, "\r"},   {"11abcdeF", false, false, true, "11ABCDEF"},
        {"1G", false, false, false, "1G"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        g_msg.scriptMode = c.script;
        EXPECT_EQ(isNumericText(c.text), c.numeric);
        char buf[32];
        snprintf(buf, sizeof buf, "%s", c.text);
        EXPECT_EQ(upperHexText(buf), c.hex);
        EXPECT_STREQ(buf, c.upper);
    }
    g_msg.scriptMode = false;
    EXPECT_EQ(numericValue("99999999999"), UINT32_MAX);
    EXPECT_EQ(numericValue("0042"), 42u);
}

TEST(InterpKeys, AdapterNumbersUseEightBitsAndNeverOverflow) {
    struct Case {
        const char* value;
        int32_t status;
        bool all;
        int number;
        int index;
        uint32_t full;
        bool overflow;
    };
    const Case cases[] = {
        {"1", 0, false, 1, 0, 1, false},
        {"0", 0, false, 0, 255, 0, false},
        {"256", 0, false, 0, 255, 256, false},
        {"257", 0, false, 1, 0, 257, false},
        {"0004", 0, false, 4, 3, 4, false},
        {"4294967295", 0, false, 255, 254, 4294967295u, false},
        {"1000000000000000000001", 0, false, 1, 0, UINT32_MAX, true},
        {"all", 0, true, 0, -1, 0, false},
        {"ALL", 0, true, 0, -1, 0, false},
        {"allx", 0, true, 0, -1, 0, false},
        {"All", CLU_NON_NUMERIC, false, 0, -1, 0, false},
        {"", CLU_NON_NUMERIC, false, 0, -1, 0, false},
        {"1x", CLU_NON_NUMERIC, false, 0, -1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        clearCommandArgs();
        EXPECT_EQ(parseAdapterValue(c.value), c.status);
        EXPECT_TRUE(g_args.haveAdapter);
        EXPECT_EQ(g_args.allAdapters, c.all);
        if (c.status != 0 || c.all) continue;
        EXPECT_EQ(g_args.adapterNumber, c.number);
        EXPECT_EQ(g_args.adapterIndex, c.index);
        EXPECT_EQ(g_args.adapterFull, c.full);
        EXPECT_EQ(g_args.adapterFullOverflow, c.overflow);
    }
}

TEST(InterpKeys, TokensAreBoundedCopies) {
    std::string longArg(400, 'x');
    const char* args[] = {"listhba", longArg.c_str()};
    EXPECT_EQ(setTokens(args, 2), 2);
    EXPECT_EQ(strlen(g_interp.tokens[1]), TOKEN_SIZE - 1);
    EXPECT_EQ(g_interp.tokens[2][0], '\0');
}

} // namespace
