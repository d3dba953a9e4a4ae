// The inventory commands as processes: every listing over every function
// kind of the default fleet, and the listattr block layout the batch updater
// reads on an FC-only machine.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using hbatest::RunResult;
using hbatest::TempState;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

size_t countPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) ++n;
    return n;
}

RunResult hbaset(const TempState& state, const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbaset"), args, {}, state.dir());
}

TEST(InventoryProcess, EveryListingOverTheDefaultFleet) {
    TempState state;
    state.init();
    const struct {
        std::vector<std::string> args;
        const char* linePrefix; // lines that each entry contributes
        size_t count;
    } cases[] = {
        {{"listhba"}, "HBA ", 12},
        {{"listattr"}, "HBA                  : ", 12},
        {{"listattr", "/c"}, "Function Type        : ", 12},
        {{"listfw"}, "HBA ", 12},
        {{"hbaattr"}, "HBA                            : ", 12},
        {{"hbaattr", "n=1"}, "Port WWN                       : ", 1},
        {{"hbaattr", "n=5"}, "Function Type                  : FCoE", 1},
        {{"hbaattr", "n=7"}, "NetworkBootState               : ", 1},
        {{"hbaattr", "n=9"}, "Function Type                  : iSCSI", 1},
        {{"pcidata", "n=1"}, "Vendor ID:            0x1F3C", 1},
        {{"pcidataext", "n=5"}, "Vendor ID:            0x1F3C", 1},
        {{"pcidata", "n=7"}, "Vendor ID:            0x1F3C", 1},
        {{"pcidata", "n=9"}, "Subclass:             0x00          Base Class:           0x01", 1},
        {{"version"}, "hbaset.exe 12.0.1345.0 released on April 14, 2021", 1},
    };
    for (const auto& c : cases) {
        RunResult r = hbaset(state, c.args);
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        EXPECT_EQ(r.exit_code, 0) << r.out;
        std::vector<std::string> lines = linesOf(r.out);
        EXPECT_EQ(countPrefix(lines, c.linePrefix), c.count) << r.out;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Command completed, NO Error");
    }
}

TEST(InventoryProcess, ListAttrBlocksOnAnFcOnlyMachine) {
    // Dual-port FC adapters: their SLI-4 functions add the BIOS line to the
    // twenty lines of a block.
    const struct {
        const char* fleet;
        size_t lines;
        const char* biosLine;
    } cases[] = {
        {"adapter F fc\nfunction fc\nfunction fc\n", 21, "BIOS Version         : 12.0.342.0"},
        {"adapter F fc\nfunction fc device_id = 0xF100\nfunction fc device_id = 0xF100\n", 21,
         "BIOS Version         : "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fleet);
        TempState state;
        state.init(c.fleet);
        RunResult r = hbaset(state, {"listattr", "/nonexa"});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        std::vector<std::string> lines = linesOf(r.out);
        ASSERT_GE(lines.size(), 3u) << r.out;
        EXPECT_EQ(lines.front(), "Command: listattr /nonexa");
        EXPECT_EQ(lines.back(), "Command completed, NO Error");
        // Between them: two blocks, each ended by an empty line.
        std::vector<std::string> body(lines.begin() + 1, lines.end() - 1);
        ASSERT_EQ(body.size(), 2 * (c.lines + 1)) << r.out;
        for (size_t b = 0; b < 2; ++b) {
            size_t first = b * (c.lines + 1);
            EXPECT_EQ(body[first], "HBA                  : " + std::to_string(b + 1));
            EXPECT_EQ(body[first + c.lines], "");
            EXPECT_EQ(body[first + c.lines - 1], "RevID                : 10");
            if (c.biosLine) {
                EXPECT_EQ(body[first + 6], c.biosLine);
            }
        }
        EXPECT_EQ(r.out.find("No Corevane"), std::string::npos);
    }
}

} // namespace
