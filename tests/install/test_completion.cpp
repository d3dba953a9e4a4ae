// Bash completion of hbaset, fwsweep and hbasim, driven as bash drives it:
// the scripts are sourced, COMP_WORDS and COMP_CWORD set, the completion
// function called, and COMPREPLY compared. hbaset must offer every command of
// its command table with the keys of its row; fwsweep every switch of its
// switch table, and never the file system's folders for a switch.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fwsweep/switches.h"
#include "hbaset/cli/command_table.h"
#include "tests/support/support.h"

namespace {

// Words of the completion of `words` (the last one being completed), one per
// line of output.
std::set<std::string> complete(const std::string& program, const std::vector<std::string>& words) {
    std::string script = "source '" + std::string(HBA_SOURCE_DIR) + "/completions/" + program +
                         "' || exit 9\nCOMP_WORDS=(";
    for (const std::string& w : words)
        script += "'" + w + "' ";
    script += ")\nCOMP_CWORD=" + std::to_string(words.size() - 1) + "\n_" + program +
              "\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    hbatest::RunResult r = hbatest::run("/bin/bash", {"--norc", "-c", script});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::set<std::string> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.insert(line);
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(Completion, EachScriptRegistersItsFunction) {
    for (const std::string program : {"hbaset", "fwsweep", "hbasim"}) {
        std::string script = "source '" + std::string(HBA_SOURCE_DIR) + "/completions/" + program +
                             "' && complete -p " + program;
        hbatest::RunResult r = hbatest::run("/bin/bash", {"--norc", "-c", script});
        EXPECT_EQ(r.out, "complete -F _" + program + " " + program + "\n") << r.err;
    }
}

TEST(Completion, HbasetOffersEveryCommandThenItsKeys) {
    std::set<std::string> commands = complete("hbaset", {"hbaset", ""});
    for (size_t i = 0; i < kCommandRowCount; ++i) {
        const CommandRow& row = kCommandRows[i];
        std::string name = lower(row.name);
        if (name.rfind("qrlx", 0) == 0) continue; // the factory command stays hidden
        EXPECT_TRUE(commands.count(name)) << name << " is not completed";
        std::set<std::string> keys = complete("hbaset", {"hbaset", name, ""});
        for (const KeySpec& key : row.keys) {
            if (!key.key) break;
            std::string k = lower(key.key);
            if (k.back() != '=') k += '=';
            EXPECT_TRUE(keys.count(k)) << name << " does not offer " << k;
        }
        // help takes a command name, every other command the switches.
        if (name == "help" || name == "?") continue;
        EXPECT_TRUE(keys.count("/nonexa")) << name;
    }
}

TEST(Completion, HbasetWords) {
    struct Case {
        std::vector<std::string> words;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {{"hbaset", "listh"}, {"listhba", "listhbas"}},
        {{"hbaset", "--v"}, {"--version"}},
        {{"hbaset", "help", "setb"}, {"setbootdevice"}},
        {{"hbaset", "getbootparams", "p", "=", ""}, {"x86", "efi", "ob"}},
        {{"hbaset", "reset", "n", "=", "a"}, {"all"}},
        {{"hbaset", "nosuchcommand", ""}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(complete("hbaset", c.words), c.expected) << c.words.back();
}

TEST(Completion, HbasetFileKeysCompleteFiles) {
    hbatest::TempState st;
    hbatest::write_file(st.path("image.grp"), "x");
    EXPECT_EQ(complete("hbaset", {"hbaset", "download", "i", "=", st.path("ima")}),
              std::set<std::string>{st.path("image.grp")});
    hbatest::write_file(st.path("script.txt"), "listhba\n");
    EXPECT_EQ(complete("hbaset", {"hbaset", "@" + st.path("scr")}),
              std::set<std::string>{"@" + st.path("script.txt")});
    // readconfig's l= is a length, not a file.
    EXPECT_EQ(complete("hbaset", {"hbaset", "readconfig", "l", "=", st.path("ima")}),
              std::set<std::string>{});
}

TEST(Completion, FwsweepOffersEverySwitchNotFolders) {
    std::set<std::string> all = complete("fwsweep", {"fwsweep", "/"});
    for (const std::string& name : knownSwitchNames())
        EXPECT_TRUE(all.count("/" + name) || all.count("/" + name + "="))
            << "/" << name << " is not completed";
    EXPECT_EQ(complete("fwsweep", {"fwsweep", "/u"}),
              (std::set<std::string>{"/update", "/up", "/u"}));
    EXPECT_EQ(complete("fwsweep", {"fwsweep", "/q", "/fm"}), std::set<std::string>{"/fmd="});
}

TEST(Completion, FwsweepFolderSwitchesCompleteFolders) {
    hbatest::TempState st;
    hbatest::write_file(st.path("fwmatrix.txt"), "x");
    std::filesystem::create_directories(st.path("firmware"));
    EXPECT_EQ(complete("fwsweep", {"fwsweep", "/id", "=", st.path("f")}),
              std::set<std::string>{st.path("firmware")});
}

TEST(Completion, HbasimWords) {
    struct Case {
        std::vector<std::string> words;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {{"hbasim", "re"}, {"reboot"}},
        {{"hbasim", "fault", ""}, {"add", "list", "clear"}},
        {{"hbasim", "fault", "add", ""}, {"drv", "mbx", "nexa", "wmi"}},
        {{"hbasim", "fault", "add", "drv", "GETDRV_INFO", "--t"}, {"--times"}},
        {{"hbasim", "image", "g"}, {"grp"}},
        {{"hbasim", "inject", "temp", "4", ""}, {"type=", "value="}},
        {{"hbasim", "log", ""}, {"--tail", "clear"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(complete("hbasim", c.words), c.expected) << c.words.back();
}

} // namespace
