// hbaset's inventory commands and tgxlist with the FC backend on fixture trees.
#include <gtest/gtest.h>

#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;
using hbatest::RunResult;

namespace {

RunResult hbaset(const SysfsTree& tree, const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbaset"), args, tree.env());
}

TEST(SysfsListings, Explore) {
    hbatest::TempState state;
    SysfsTree tree;
    addTwoMakers(tree);
    for (auto args : std::vector<std::vector<std::string>>{{"listhba"},
                                                           {"listattr"},
                                                           {"hbaattr"},
                                                           {"pcidata", "n=1"},
                                                           {"vpd", "n=1"},
                                                           {"vpd", "n=2"},
                                                           {"vpd", "n=3"},
                                                           {"version"}}) {
        RunResult r = hbaset(tree, args);
        printf("== %s rc=%d\n%s%s\n", args[0].c_str(), r.exit_code, r.out.c_str(), r.err.c_str());
    }
    RunResult r = hbatest::run(hbatest::bin_path("tgxlist"), {}, tree.env());
    printf("== tgxlist rc=%d\n%s%s\n", r.exit_code, r.out.c_str(), r.err.c_str());
}

} // namespace
