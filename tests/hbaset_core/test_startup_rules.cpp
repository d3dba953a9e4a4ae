// Start-up rules that need no machine: the mailbox size from the driver
// version, the port WWN byte order of region 16/32, the FCoE WWPN text
// comparison, switches and help detection, the exit status, and the rule for
// learning the FC count from the board list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/message.h"
#include "hbaset/cli/startup.h"

namespace {

// A 16-byte driver version field holding text (not terminated when it fills
// the field).
std::vector<char> drvVerField(const char* text) {
    std::vector<char> field(16, '\0');
    memcpy(field.data(), text, strnlen(text, 16));
    return field;
}

TEST(StartupMailboxLimit, DriverVersionDecides) {
    struct Case {
        uint32_t drvType;
        const char* field;
        uint32_t limit;
    };
    const Case cases[] = {
        {3, "ST2.01A0", 2048},
        {3, "ST2.10A3", 2048},
        {3, "ST2.00A9", 256},  // six characters, above 2.00A8
        {3, "ST2.00A8", 108},  // six characters, not above 2.00A8
        {3, "ST2.00A10", 256}, // seven characters, at 2.00A10
        {3, "ST2.00A09", 108}, // seven characters, below 2.00A10
        {3, "ST1.99A9", 108},
        {3, "ST", 108},                // no version text at all
        {3, "ST2.00A1234567890", 256}, // fills the field: read to its end only
        {3, "ST3.00000000000000", 2048},
        {2, "ST2.10A3", 108}, // only type 3 looks at the version
        {16, "ST2.10A3", 108},
        {21, "ST2.10A3", 108},
    };
    for (const Case& c : cases) {
        std::vector<char> field = drvVerField(c.field);
        EXPECT_EQ(mailboxLimitFor(c.drvType, field.data()), c.limit)
            << "type " << c.drvType << " " << c.field;
    }
}

TEST(StartupWwn, RegionByteOrder) {
    struct Case {
        uint8_t bytes[8];
        bool sli4;
        uint32_t high;
        uint32_t low;
    };
    const Case cases[] = {
        {{0x10, 0x00, 0x00, 0x00, 0x11, 0xAB, 0xCD, 0xEF}, true, 0x10000000, 0x11ABCDEF},
        {{0x10, 0x00, 0x00, 0x00, 0x11, 0xAB, 0xCD, 0xEF}, false, 0x00000010, 0xEFCDAB11},
        {{0x20, 0x00, 0x02, 0x1F, 0x3C, 0x03, 0x01, 0x00}, true, 0x2000021F, 0x3C030100},
    };
    for (const Case& c : cases) {
        uint32_t high = 0, low = 0;
        wwnWordsFromRegion(c.bytes, c.sli4, &high, &low);
        EXPECT_EQ(high, c.high) << c.sli4;
        EXPECT_EQ(low, c.low) << c.sli4;
    }
}

TEST(StartupWwn, FcoeWwpnText) {
    const uint32_t high = 0x1000021F, low = 0x3C0300AB;
    struct Case {
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"10:00:02:1F:3C:03:00:AB", true},
        {"10:00:02:1f:3c:03:00:ab", true},
        {"10:0:2:1F:3C:3:0:AB", true},        // fields are numbers, not fixed widths
        {"10:00:02:1F:3C:03:00:AB:77", true}, // eight fields read, the rest ignored
        {"10:00:02:1F:3C:03:00", false},      // seven fields
        {"10:00:02:1F:3C:03:00:AC", false},
        {"10:00:02:1F:3C:03:00:1AB", false}, // a field above one byte
        {"10:00:02:1F:3C:03:00:00000000000000000000AB", true},
        {"10:00:02:1F:3C:03:00:FFFFFFFFFFFFFFFFFFFFAB", false},
        {"10-00-02-1F-3C-03-00-AB", false},
        {"10:00:02:1F:3C:03::AB", false}, // an empty field
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fcoeWwpnMatches(c.text, high, low), c.match) << c.text;
    EXPECT_FALSE(fcoeWwpnMatches(nullptr, high, low));
}

TEST(StartupArguments, SwitchesAreWholeTokens) {
    struct Case {
        std::vector<std::string> args;
        bool nonexa;
        bool codeModels;
    };
    const Case cases[] = {
        {{"hbaset", "listhba", "/nonexa"}, true, false},
        {{"hbaset", "/nonexa", "listattr", "/c"}, true, true},
        {{"hbaset", "download", "n=1", "i=/tmp/cfg/nonexa/image.ufi"}, false, false},
        {{"hbaset", "listattr", "/C"}, false, false}, // case-sensitive
        {{"hbaset", "listattr", "/NONEXA"}, false, false},
        {{"hbaset", "listattr", "/c/"}, false, false},
        {{"hbaset"}, false, false},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const std::string& a : c.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        int argc = static_cast<int>(argv.size());
        EXPECT_EQ(switchGiven(argc, argv.data(), "/nonexa"), c.nonexa) << c.args.back();
        EXPECT_EQ(switchGiven(argc, argv.data(), "/c"), c.codeModels) << c.args.back();
    }
}

TEST(StartupArguments, HelpRequest) {
    struct Case {
        std::vector<std::string> args;
        bool help;
    };
    const Case cases[] = {
        {{"hbaset"}, true},
        {{"hbaset", "help"}, true},
        {{"hbaset", "listhba", "HeLp"}, true},
        {{"hbaset", "help", "listhba"}, false}, // the help command with a topic
        {{"hbaset", "listhba", "helpx"}, false},
        {{"hbaset", "listhba", "hel"}, false},
        {{"hbaset", "listhba"}, false},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const std::string& a : c.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        EXPECT_EQ(isHelpRequest(static_cast<int>(argv.size()), argv.data()), c.help)
            << c.args.back();
    }
}

TEST(StartupExitStatus, ClampedToOneByte) {
    const int32_t cases[][2] = {{0, 0},      {1, 1},           {80, 80},   {255, 255},
                                {256, 255},  {0x100, 255},     {512, 255}, {-1, 255},
                                {-256, 255}, {0x7FFFFFFF, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(exitStatusFor(c[0]), c[1]) << c[0];
}

// A board list whose count follows a script, one count per call, recording
// the capacity of each call.
struct ScriptedList {
    std::vector<uint32_t> counts;
    std::vector<uint32_t> capacities;
};
ScriptedList g_list;

uint32_t scriptedBoardList(BrdInfo* out, uint32_t capacity) {
    size_t call = g_list.capacities.size();
    g_list.capacities.push_back(capacity);
    uint32_t n = call < g_list.counts.size() ? g_list.counts[call] : 0;
    for (uint32_t k = 0; k < n && k < capacity; k++) {
        memset(&out[k], 0, sizeof out[k]);
        out[k].scsiPort = static_cast<uint16_t>(k);
    }
    return n;
}

TEST(StartupBoardList, CountMustHoldBetweenCalls) {
    struct Case {
        std::vector<uint32_t> counts;
        int32_t status;
        uint32_t count;
        std::vector<uint32_t> capacities;
    };
    const Case cases[] = {
        {{4, 4, 4}, 0, 4, {256, 256, 4}},
        {{2, 4, 4}, 0, 4, {256, 256, 4}},  // the second call's count is used
        {{4, 4, 3}, 63, 0, {256, 256, 4}}, // changed on the exact call
        {{4, 4, 5}, 63, 0, {256, 256, 4}},
        {{0, 0}, 0, 0, {256, 256}},
        {{3, 0}, 0, 0, {256, 256}},
        {{256, 256}, 0, 256, {256, 256}}, // exactly the capacity: no third call
        {{300, 300, 300}, 0, 300, {256, 256, 300}},
    };
    FILE* console = tmpfile();
    ASSERT_NE(console, nullptr);
    g_msg.console = console;
    for (const Case& c : cases) {
        g_list = ScriptedList{c.counts, {}};
        BrdInfo* boards = nullptr;
        uint32_t count = 99;
        int32_t st = readBoardList(scriptedBoardList, &boards, &count);
        EXPECT_EQ(st, c.status) << c.counts[1];
        EXPECT_EQ(count, c.count) << c.counts[1];
        EXPECT_EQ(g_list.capacities, c.capacities) << c.counts[1];
        EXPECT_EQ(boards == nullptr, c.count == 0) << c.counts[1];
        if (boards != nullptr && c.count > 0 && c.count <= 256) {
            EXPECT_EQ(boards[c.count - 1].scsiPort, c.count - 1);
        }
        free(boards);
    }
    fflush(console);
    rewind(console);
    char text[512] = {};
    size_t n = fread(text, 1, sizeof text - 1, console);
    text[n] = '\0';
    EXPECT_EQ(std::string(text), "TGX_InitDiagEnv call error\nTGX_InitDiagEnv call error\n");
    g_msg.console = nullptr;
    fclose(console);
}

} // namespace
