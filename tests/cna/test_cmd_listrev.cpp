// listrev on SLI-4 functions of the simulated machine: the hardware words,
// the kernel texts and firmware names, the FC-PH versions, and a failed read.
#include <string>

#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;

TEST(ListRev, Sli4Function) {
    Machine m;
    EXPECT_EQ(m.run({"listrev", "n=3"}), CLU_OK);
    EXPECT_EQ(m.take(), "Chipset Rev:\n"
                        " 1st HW:                              01ACC001\n"
                        " 2nd HW:                              01ACC002\n"
                        "Service Processor:                    \n"
                        " Kernel ID:                           0212A101\n"
                        " Kernel Rev:                          BRV1602 Init Load 10.10n1\n"
                        " Service Processor FW Name:           12.8.542.31\n"
                        "ULP:                                  \n"
                        " Kernel ID:                           0712A101\n"
                        " Kernel Rev:                          BRV1602 Overlay 10.10n1\n"
                        " ULP FW Name:                         12.8.542.31\n"
                        "FC-PH Version Supported:\n"
                        " Highest FC-PH Version Supported = 4.3\n"
                        " Lowest FC-PH Version Supported  = 4.2\n");
}

TEST(ListRev, KernelTextsAndFcPhVersions) {
    // Word 8: letter x with level 0 ends after the third digit; word 13: type
    // 5, letter b; word 6: unknown highest, no lowest version.
    Machine m("adapter F fc\nfunction fc rev_words = 8:0x0212A130,13:0x0512A1A3,6:0x0500\n");
    EXPECT_EQ(m.run({"listrev", "n=1"}), CLU_OK);
    std::string out = m.take();
    EXPECT_NE(out.find(" Kernel Rev:                          TGF3202 Init Load 10.10\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Kernel Rev:                          TGF3202 10.12b3\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Highest FC-PH Version Supported = UNKNOWN\n"
                       " Lowest FC-PH Version Supported  = None\n"),
              std::string::npos)
        << out;
}

TEST(ListRev, FailedRead) {
    Machine m;
    hbasim::Fault f;
    f.source = "mbx";
    f.match = "READ_REV";
    f.action = "status=0x4001";
    ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    EXPECT_EQ(m.run({"listrev", "n=1"}), CLU_REVISION_READ);
    std::string out = m.take();
    EXPECT_EQ(out.find("Chipset Rev:\n"), 0u) << out;
    EXPECT_NE(out.find("Read Rev fails\n"), std::string::npos) << out;
}

} // namespace
