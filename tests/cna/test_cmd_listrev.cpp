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

namespace {

// The revision listing of boards before SLI-4, on a simulated function whose
// table entry is marked as such: the read goes out in the classic form.
class ClassicEntry : public ::testing::Test {
  protected:
    std::string listRev(const std::string& revWords) {
        Machine m("adapter F fc\nfunction fc rev_words = " + revWords + "\n");
        adapterAt(0)->sli4 = 0;
        EXPECT_EQ(m.run({"listrev", "n=1"}), CLU_OK);
        return m.take();
    }
};

TEST_F(ClassicEntry, RunningFirmwareWhenTheWordsAreNotValid) {
    std::string out = listRev("1:0x0,4:0x0312A105,7:0x0");
    EXPECT_NE(out.find("Chipset Rev:\n BIU:                                 01ACC001\n"
                       " SM:                                  01ACC002\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("FW Rev:\nFW Rev:\n Operational FW Rev: 0x312A105 (3.12\xA1"
                       "5)\n Diagnostic FW Rev: 0x0 (1.0)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Lowest FC-PH Version Supported = 4.2\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Feature Availability"), std::string::npos) << out;
}

TEST_F(ClassicEntry, LoadedProgramsAndTheFeatureWord) {
    std::string out = listRev("1:0x44000000,4:0x0712A101,7:0x0112A101,18:0x0B12A101,23:0xF");
    EXPECT_NE(out.find("FW Rev:\n Current FW:                     SLI-2 Overlay\n"
                       " Kernel Rev:                          0112A101\n"
                       " Kernel:                       TGF3202 10.10n1\n"
                       " Init FW: TGF3202 Init Load 10.10n1 ("),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n SLI-2: TGF3202 Overlay 10.10n1 ("), std::string::npos) << out;
    EXPECT_NE(out.find("\n SLI-3: TGF3202 Overlay 10.10n1 ("), std::string::npos) << out;
    EXPECT_NE(out.find(" Feature Availability = 0000000f\n"), std::string::npos) << out;
    // Without bit 26 the programs are SLI-1 and SLI-2 and no feature word follows.
    out = listRev("1:0x40000000,4:0x0212A101");
    EXPECT_NE(out.find(" Current FW:                        Initial FW\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("\n SLI-1: "), std::string::npos) << out;
    EXPECT_EQ(out.find("Feature Availability"), std::string::npos) << out;
}

} // namespace
