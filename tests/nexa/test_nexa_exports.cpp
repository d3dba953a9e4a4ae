// The simulated NEXA library exports its eight entry points and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/support.h"

namespace {

// Defined symbols of a library's dynamic symbol table, as nm lists them
// ("ADDRESS TYPE NAME"), without those the linker adds to every library.
std::set<std::string> exportedSymbols(const std::string& library) {
    hbatest::RunResult r = hbatest::run("/usr/bin/env", {"nm", "-D", "--defined-only", library});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::set<std::string> out;
    std::istringstream in(r.out);
    std::string address, type, name;
    while (in >> address >> type >> name)
        out.insert(name);
    for (const char* linkerSymbol : {"_init", "_fini", "_edata", "_end", "__bss_start"})
        out.erase(linkerSymbol);
    return out;
}

TEST(NexaExports, OnlyTheEntryPoints) {
    std::set<std::string> got = exportedSymbols(hbatest::bin_path("libTsvNEXA.so"));
    const std::set<std::string> want = {
        "NEXA_init",
        "NEXA_exit",
        "NEXA_get_node_tag",
        "NEXA_get_property_val",
        "NEXA_set_property_val",
        "NEXA_get_valid_instances",
        "NEXA_do_action",
        "NEXA_get_last_status",
    };
    EXPECT_EQ(got, want);
}

} // namespace
