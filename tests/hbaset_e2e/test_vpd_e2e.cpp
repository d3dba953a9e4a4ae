// The vpd command run as a process: every kind of function of the default
// fleet, an adapter without VPD, VPD model names in the listings, and the
// adapter number checks.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/support.h"

namespace {

using hbatest::run;
using hbatest::TempState;

const std::string kHbaset = hbatest::bin_path("hbaset");

std::string fcVpd(const char* model, const char* serial, int port) {
    return std::string("Product Name          : ") + model + "\nSN (Serial Number)    : " + serial +
           "\nV2                    : " + model +
           "\nV4                    : " + std::to_string(port) + "\n";
}

std::string nexaVpd(const char* model, const char* serial, int port) {
    return std::string("Product Name          : Dual port 10Gb converged network adapter\n") +
           "PN (Part Number)      : " + model + "\nEC (EC Level)         : 2\n" +
           "SN (Serial Number)    : " + serial + "\nV2                    : " + model +
           "\nV4                    : " + std::to_string(port) + "\n";
}

struct VpdCase {
    const char* kind;
    int n;
    std::string body;
};

// Default fleet: 1-2 FC (0xE300), 3-4 Brevin FC, 5-6 CV3 FCoE, 7-8 CV3 NIC,
// 9-10 Tarnel iSCSI, 11-12 Tarnel NIC.
TEST(VpdCommand, EveryFunctionKindOfTheDefaultFleet) {
    TempState state;
    state.init();
    const VpdCase cases[] = {
        {"FC", 1, fcVpd("TGF3202", "QS2100001", 0)},
        {"Brevin FC", 4, fcVpd("BRV1602", "QS2100002", 1)},
        {"FCoE", 5, fcVpd("CV3C102", "QS2100003", 0)},
        {"NIC", 8, nexaVpd("CV3C102", "QS2100003", 1)},
        {"iSCSI", 9, nexaVpd("TRN4102", "QS2100004", 0)},
        {"NIC of another adapter", 11, nexaVpd("TRN4102", "QS2100004", 0)},
    };
    for (const VpdCase& c : cases) {
        std::string arg = "n=" + std::to_string(c.n);
        hbatest::RunResult r = run(kHbaset, {"vpd", arg});
        EXPECT_EQ(r.exit_code, 0) << c.kind << "\n" << r.out;
        EXPECT_EQ(r.out, "Command: vpd " + arg + "\n" + c.body + "Command completed, NO Error\n")
            << c.kind;
    }
}

TEST(VpdCommand, AdapterWithoutVpd) {
    TempState state;
    state.init("adapter A fc\nfunction fc device_id = 0xF100 hw_type = 4100 has_vpd = no\n");
    hbatest::RunResult r = run(kHbaset, {"vpd", "n=1"});
    EXPECT_EQ(r.exit_code, 15);
    // The identification at start-up reports it too.
    EXPECT_NE(r.out.find("Command: vpd n=1\n"
                         "Attempt to read VPD information fails. Adapter #1 - RM_STATUS = 231\n"
                         "Reported Error of 15\n"),
              std::string::npos)
        << r.out;
}

TEST(VpdCommand, EmptyVpd) {
    TempState state;
    // An identifier string that claims more bytes than the VPD holds.
    state.init("adapter A fc\nfunction fc device_id = 0xF100 hw_type = 4100 vpd = 82FF0041\n");
    hbatest::RunResult r = run(kHbaset, {"vpd", "n=1"});
    EXPECT_EQ(r.exit_code, 16);
    EXPECT_NE(r.out.find("Attempt to read VPD information fails. Adapter #1 has no VPD "
                         "information\nReported Error of 16\n"),
              std::string::npos)
        << r.out;
}

TEST(VpdCommand, ModelNamesFromVpdInTheListing) {
    TempState state;
    // V2 "VpdName", serial in lower case.
    state.init("adapter A fc\nfunction fc device_id = 0xF100 hw_type = 4100 vpd = "
               "8202004944901400534E036162635632075670644E616D6552560100\n");
    for (bool codeModels : {false, true}) {
        std::vector<std::string> args = {"listattr"};
        if (codeModels) args.push_back("/c");
        hbatest::RunResult r = run(kHbaset, args);
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_NE(r.out.find("Serial Number        : ABC\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(codeModels ? "Model                : FX8000\n"
                                        : "Model                : VpdName\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(
            r.out.find(codeModels ? "VPD Model            : 0\n" : "VPD Model            : 1\n"),
            std::string::npos)
            << r.out;
    }
}

} // namespace
