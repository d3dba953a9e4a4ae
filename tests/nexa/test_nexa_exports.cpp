// The simulated NEXA library exports its eight entry points and nothing else.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/support.h"

namespace {

TEST(NexaExports, OnlyTheEntryPoints) {
    std::set<std::string> got = hbatest::exported_symbols(hbatest::bin_path("libTsvNEXA.so"));
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
