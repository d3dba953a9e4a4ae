// The command list and the help texts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "hbaset/cli/commands.h"
#include "tests/hbaset_core/interp_fixture.h"

namespace {

using interp::TableTest;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

TEST_F(TableTest, CommandListLayout) {
    printCommandList();
    std::vector<std::string> l = lines(console());
    // Heading, 11 full rows, the row with the 45th name, the closing line.
    ASSERT_EQ(l.size(), 14u);
    EXPECT_EQ(l[0], "Available Commands:");
    EXPECT_EQ(
        l[1],
        "    @                   changepersonality   disablebootdevice   dmatest             ");
    EXPECT_EQ(
        l[8],
        "    restoreNVWWN        restoredefsvmac     restoredefvlanprops'restoreWWN          ");
    EXPECT_EQ(l[12], "    writevlanprops      ");
    EXPECT_EQ(l[13], "Enter hbaset.exe help <command> for command syntax display");
    for (size_t k = 1; k <= 11; ++k)
        EXPECT_EQ(l[k].size(), 84u) << l[k];
}

TEST_F(TableTest, HelpTexts) {
    struct Case {
        std::vector<std::string> args;
        int32_t status;
        const char* text;
    };
    const Case cases[] = {
        {{"help", "reset"}, 0, "Syntax: reset <n=adapter/all>\n"},
        {{"?", "ListHbas"}, 0, "Syntax: listhba\n"},
        {{"help", "repeat"}, 0, "Syntax: repeat <r=count>\n"},
        {{"help", "changemac"}, 0, "Syntax: changeMAC <n=adapter> <m=MACAddress>\n"},
        {{"help", "@"}, 0, "Syntax: @<script-file>\n"},
        {{"help", "hbaattr"},
         0,
         "Syntax (all adapters): hbaattr\nOR\nSyntax hbaattr <n=adapter>\n"},
        {{"help", "readmac"}, 0, "Syntax: readmac <n=adapter>\n\tn: The adapter number.\n"},
        {{"help", "getbootparams"}, CLU_SYNTAX, "Syntax Error\n"},
        {{"help", "listcna"}, CLU_SYNTAX, "Syntax Error\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(run(c.args), c.status);
        EXPECT_EQ(console(), c.text);
    }
    EXPECT_EQ(run({"help", "setbootdevice"}), 0);
    std::vector<std::string> l = lines(console());
    ASSERT_EQ(l.size(), 11u); // ten lines and the empty line after them
    EXPECT_EQ(l[2], "\tw0:  First four octets of the target WWPN (ex. \"10000000\")");
    EXPECT_EQ(l[10], "");
    EXPECT_EQ(run({"help"}), 0);
    EXPECT_EQ(console().rfind("Available Commands:\n", 0), 0u);
}

TEST_F(TableTest, HbaattrHelpIgnoresTheScreenSwitch) {
    setScreenOutput(false);
    EXPECT_EQ(run({"help", "hbaattr"}), 0);
    EXPECT_EQ(run({"help", "reset"}), 0);
    EXPECT_EQ(console(), "Syntax (all adapters): hbaattr\nOR\nSyntax hbaattr <n=adapter>\n");
}

} // namespace
