// What the listings show for converged adapters and FCoE functions, as
// processes: the PCI bus apart from the segment, each converged function's
// own PCI data, the FCoE fallback match and its port, the library texts of
// FCoE functions without a converged record, and a failed controller query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

using hbatest::RunResult;
using hbatest::TempState;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        n++;
    return n;
}

// An FCoE function whose factory WWN is not the WWPN NEXA shows, so it is
// tied to its adapter by the fallback (bus and serial number); port 0 has no
// FCoE function. The adapter sits in PCI segment 1.
const char kFallbackFleet[] = "adapter CNA1 cv3 pci_segment = 1\n"
                              "function fcoe port = 1 factory_wwn = 10:00:00:00:00:00:99:01\n"
                              "function nic port = 0\n"
                              "function nic port = 1\n";

struct Case {
    const char* what;
    const char* fleet;
    std::vector<std::string> args;
    std::vector<std::string> present; // each exactly once
    std::vector<std::string> absent;
};

TEST(ConvergedListings, WhatEachListingShows) {
    const Case cases[] = {
        {"the segment stays out of the bus number; the fallback match by bus succeeds",
         kFallbackFleet,
         {"listhba"},
         {"HBA 1: FCoE 10000000 00009901 CV:0 ", "Bus:10 Dev:0 Func:0 "},
         {"Bus:110"}},
        {"the fallback adopts the port its VPD names by number",
         kFallbackFleet,
         {"hbaattr", "n=1"},
         {"Port Number                    : 1\n"},
         {}},
        {"NIC functions show their own PCI data",
         "adapter C cv3\nfunction nic subsys_id = 0x1111 revision = 0x11\n"
         "function nic subsys_id = 0x2222 revision = 0x05\n",
         {"pcidata", "n=2"},
         {"Revision ID:          0x05 ", "SubSystem ID:         0x2222 "},
         {"0x1111"}},
        {"iSCSI functions show their own PCI data",
         "adapter C cv3\nfunction iscsi revision = 0x11\nfunction iscsi revision = 0x05\n",
         {"pcidata", "n=2"},
         {"Revision ID:          0x05 "},
         {}},
        {"revision and CVR per function",
         "adapter C cv3\nfunction nic subsys_id = 0x1111 revision = 0x11\n"
         "function nic subsys_id = 0x2222 revision = 0x05\n",
         {"listattr"},
         {"RevID                : 11\n", "RevID                : 5\n", "CVR                  : 1\n",
          "CVR                  : 0\n"},
         {}},
        {"an FCoE function under /nonexa shows the library's texts",
         "adapter CNA1 cv3\nfunction fcoe\nfunction nic\n",
         {"hbaattr", "/nonexa"},
         {"Serial Number                  : QS2100001\n", "FW Version                     : "},
         {"ControllerStatus"}},
        {"an FCoE function that NEXA does not list shows the library's texts",
         "adapter B brevin\nfunction fcoe\n",
         {"hbaattr", "n=1"},
         {"Serial Number                  : QS2100001\n", "Boot Version                   : "},
         {}},
        {"an FCoE-only converged adapter gives its own serial number",
         "adapter CNA1 cv3\nfunction fcoe\n",
         {"listattr"},
         {"Serial Number        : QS2100001\n"},
         {"N/A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempState state;
        state.init(c.fleet);
        RunResult r = hbatest::run(hbatest::bin_path("hbaset"), c.args, {}, state.dir());
        EXPECT_EQ(r.exit_code, 0) << r.out;
        for (const std::string& p : c.present)
            EXPECT_EQ(count(r.out, p), 1u) << p << "\n" << r.out;
        for (const std::string& a : c.absent)
            EXPECT_EQ(count(r.out, a), 0u) << a << "\n" << r.out;
    }
}

TEST(ConvergedListings, ControllerQueryFailedBeforeItsResponse) {
    // The mailbox fails before the adapter writes the response header: the
    // boot and BIOS texts stay at their failure value instead of going empty.
    TempState state;
    state.init("adapter B brevin\nfunction fc\n");
    ASSERT_EQ(hbasim::fault_add({"mbx", "GET_CNTL_ADDL_ATTRIBUTES", 0, 0, "status=0xFFF7", -1}),
              hbasim::SIM_OK);
    RunResult r =
        hbatest::run(hbatest::bin_path("hbaset"), {"listattr", "/nonexa"}, {}, state.dir());
    EXPECT_NE(r.out.find("Boot Version         : XX0.00A0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BIOS Version         : XX0.00A0\n"), std::string::npos) << r.out;
}

} // namespace
