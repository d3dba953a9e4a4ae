// The main of every test program: claims the program's state directory
// (tests/support/support.h, claimProgramState) before any test runs and
// refuses to start on one the suite did not make, then runs the tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery) touches no machine.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    std::string why;
    if (!hbatest::claimProgramState(&why)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], why.c_str());
        return 2;
    }
    int rc = RUN_ALL_TESTS();
    hbatest::releaseProgramState();
    return rc;
}
