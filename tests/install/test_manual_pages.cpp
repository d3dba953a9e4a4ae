// The manual pages against what the code knows: every command of hbaset's
// command table, with each key of its row, has its entry in hbaset(8); every
// switch of fwsweep's switch table is in fwsweep(8); every built page passes
// man's own checks.
#include <gtest/gtest.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fwsweep/switches.h"
#include "hbaset/cli/command_table.h"
#include "tests/support/support.h"

namespace {

std::vector<std::string> sourceLines(const std::string& page) {
    std::istringstream in(
        hbatest::read_file(std::string(HBA_SOURCE_DIR) + "/man/" + page + ".scd"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_FALSE(lines.empty()) << page;
    return lines;
}

// The entry line of a command: "*name*" at the start of a line, case ignored.
const std::string* entryOf(const std::vector<std::string>& lines, const std::string& name) {
    std::string head = "*" + name + "*";
    for (const std::string& line : lines)
        if (line.size() >= head.size() && strncasecmp(line.c_str(), head.c_str(), head.size()) == 0)
            return &line;
    return nullptr;
}

// A key as it is written: "n" -> "n=", "w0=" stays.
std::string keyText(const char* key) {
    std::string k(key);
    if (k.back() != '=') k += '=';
    for (char& c : k)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return k;
}

TEST(ManualPages, HbasetDocumentsEveryCommandAndItsKeys) {
    std::vector<std::string> lines = sourceLines("hbaset.8");
    for (size_t i = 0; i < kCommandRowCount; ++i) {
        const CommandRow& row = kCommandRows[i];
        const std::string* entry = entryOf(lines, row.name);
        if (!entry) {
            ADD_FAILURE() << "hbaset(8) has no entry for " << row.name;
            continue;
        }
        for (const KeySpec& key : row.keys) {
            if (!key.key) break;
            EXPECT_NE(entry->find("*" + keyText(key.key) + "*"), std::string::npos)
                << row.name << " lacks its key " << key.key << " in: " << *entry;
        }
    }
}

TEST(ManualPages, FwsweepDocumentsEverySwitch) {
    std::vector<std::string> lines = sourceLines("fwsweep.8");
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    for (const std::string& name : knownSwitchNames()) {
        // "*/q*", "*/id=*" or "*/log*[=" as the page writes them.
        bool found = text.find("*/" + name + "*") != std::string::npos ||
                     text.find("*/" + name + "=*") != std::string::npos;
        EXPECT_TRUE(found) << "fwsweep(8) does not document /" << name;
    }
}

// man --warnings prints nothing for a clean page.
TEST(ManualPages, ManFindsNothingToWarnAbout) {
    for (const char* page : {"hbaset.8", "fwsweep.8", "hbasim.1", "tgxlist.1", "libtgx.3"}) {
        std::string path = std::string(HBA_MAN_DIR) + "/" + page;
        hbatest::RunResult r = hbatest::run(
            "/bin/sh", {"-c", "man --warnings -l \"$0\" >/dev/null", path}, {{"MANWIDTH", "80"}});
        EXPECT_EQ(r.exit_code, 0) << page << ": " << r.err;
        EXPECT_EQ(r.err, "") << page;
    }
}

} // namespace
