// Adapter memory and the flash load list on a classic board: the word limit of
// one read, the readable window, the load list walk with its version texts,
// and load list deletions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/rm_status.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_classic/classic_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

struct MemoryCase {
    const char* name;
    const char* keys;
    uint32_t address;
    uint32_t asked;
    uint32_t expect;
    uint32_t words;
    std::vector<std::string> requests;
    const char* console;
};

class ClassicDumpMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(ClassicDumpMemory, ReadsAtMostWhatWasAskedInsideTheWindow) {
    const MemoryCase& c = GetParam();
    HbasetMachine m(classic::fleet(std::string("memory = \"0x2000=1 2 3 4\" ") + c.keys));
    std::vector<uint32_t> out(64, 0xDEADBEEF);
    uint32_t words = c.asked;
    EXPECT_EQ(DumpMemory(0, out.data(), c.address, &words), c.expect);
    EXPECT_EQ(words, c.words);
    for (size_t i = c.words; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xDEADBEEFu) << i;
    if (c.words >= 4 && c.address == 0x2000) {
        EXPECT_EQ(out[0], 1u);
        EXPECT_EQ(out[3], 4u);
    }
    EXPECT_EQ(m.journal(), c.requests);
    EXPECT_EQ(m.takeConsole(), c.console);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicDumpMemory,
    ::testing::Values(
        MemoryCase{"FortyGiveTwentySeven",
                   "",
                   0x2000,
                   40,
                   0,
                   27,
                   {"DUMP type=1 addr=0x2000 words=27"},
                   ""},
        MemoryCase{"AdapterReportsMore",
                   "dump_overreport = 9",
                   0x2000,
                   4,
                   0,
                   4,
                   {"DUMP type=1 addr=0x2000 words=4"},
                   ""},
        MemoryCase{"NewerHardwareWindow",
                   "",
                   0x02000000,
                   1,
                   0,
                   1,
                   {"DUMP type=1 addr=0x2000000 words=1"},
                   ""},
        MemoryCase{
            "OutsideNewerWindow", "", 0x20000000, 2, 273, 0, {}, "Adr ERROR: 20000000 Count 2\n"},
        MemoryCase{"OutsideOlderWindow",
                   "hw_type = 40",
                   0x02000000,
                   3,
                   273,
                   0,
                   {},
                   "Adr ERROR: 02000000 Count 3\n"}),
    [](const ::testing::TestParamInfo<MemoryCase>& i) { return std::string(i.param.name); });

struct WalkCase {
    const char* name;
    const char* keys;
    uint32_t capacity;
    uint32_t expect;
    std::vector<std::string> versions;
};

class ClassicLoadList : public ::testing::TestWithParam<WalkCase> {};

TEST_P(ClassicLoadList, WalksEntriesAndFindsTheirVersions) {
    const WalkCase& c = GetParam();
    HbasetMachine m(classic::fleet(c.keys));
    std::vector<LoadListEntry> entries(c.capacity);
    uint32_t count = 99;
    EXPECT_EQ(WalkLoadList(0, entries.data(), c.capacity, &count), c.expect);
    std::vector<std::string> versions;
    for (uint32_t i = 0; i < count; ++i)
        versions.push_back(entries[i].version);
    EXPECT_EQ(versions, c.versions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicLoadList,
    ::testing::Values(
        WalkCase{"Default", "", 8, 0, {"2.10a1 Init", "2.10a1 SLI-2", "1.63a3 BIOS"}},
        WalkCase{"FreeAndUnknown",
                 "load_list = \"0,0,x;0xFFFFFFFF,0,y;0x0E000001,0,z;0x0E000000,5,Overlay text\"",
                 8,
                 0,
                 {"<Available>", "<Available>", "<Unknown>", "Overlay text"}},
        // Type 0 finds its text through the word at header end + 4, the others
        // through the word at + 8 (made useless here).
        WalkCase{"ProgramTypeZero",
                 "load_list = \"0x00A10101,0,Type zero program\" memory = \"0x20038=0x400\"",
                 8,
                 0,
                 {"Type zero program"}},
        // A boot program's text in memory order: "Boot", then "A\nxy".
        WalkCase{"TextStopsAtLineEnd",
                 "load_list = \"0x03A10101,0,zzzzzzzz\" "
                 "memory = \"0x20070=0x746F6F42 0x79780A41\"",
                 8,
                 0,
                 {"BootA"}},
        WalkCase{"TwentyFourCharacters",
                 "load_list = \"0x02A10101,0,abcdefghijklmnopqrstuvwxyz\"",
                 8,
                 0,
                 {"abcdefghijklmnopqrstuvwx"}},
        WalkCase{"Empty", "load_list = \"\"", 8, 0, {}},
        WalkCase{"Capacity", "", 2, 0, {"2.10a1 Init", "2.10a1 SLI-2"}},
        WalkCase{"CyclicListEnds",
                 "load_list = \"\" memory = \"0x79C=0x1000;0x1000=0x1020 0 0x20000 0 0 0;"
                 "0x1020=0x1000 0 0x30000 0 0 0\"",
                 8,
                 0,
                 {"<Available>", "<Available>"}},
        WalkCase{"SelfLinkedEntryEnds",
                 "load_list = \"\" memory = \"0x79C=0x1000;0x1000=0x1000 0 0x20000 0 0 0\"",
                 8,
                 0,
                 {"<Available>"}}),
    [](const ::testing::TestParamInfo<WalkCase>& i) { return std::string(i.param.name); });

struct WalkFailureCase {
    const char* name;
    // Memory reads: head, entry, 4 for its version, next entry ... The read
    // fails on both tries of the issue path.
    int failingRead;
    uint32_t expect;
    uint32_t count;
    const char* firstVersion;
};

class ClassicLoadListFailure : public ::testing::TestWithParam<WalkFailureCase> {};

TEST_P(ClassicLoadListFailure, EntryReadFailureStopsTheWalk) {
    const WalkFailureCase& c = GetParam();
    HbasetMachine m(classic::fleet());
    hbasim::fault_add({"mbx", "DUMP", -1, c.failingRead, "status=0x55", -1});
    hbasim::fault_add({"mbx", "DUMP", -1, c.failingRead + 1, "status=0x55", -1});
    std::vector<LoadListEntry> entries(8);
    uint32_t count = 99;
    EXPECT_EQ(WalkLoadList(0, entries.data(), 8, &count), c.expect);
    EXPECT_EQ(count, c.count);
    if (count) {
        EXPECT_STREQ(entries[0].version, c.firstVersion);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassicLoadListFailure,
    ::testing::Values(WalkFailureCase{"Head", 1, 0x55, 0, ""},
                      WalkFailureCase{"SecondEntry", 7, 0x55, 1, "2.10a1 Init"},
                      WalkFailureCase{"VersionOnlyIsLeftEmpty", 3, 0, 3, ""}),
    [](const ::testing::TestParamInfo<WalkFailureCase>& i) { return std::string(i.param.name); });

TEST(ClassicLoadList, LongListStopsAtTheLimit) {
    std::string list;
    for (int i = 0; i < 300; ++i)
        list += "0,0,;";
    HbasetMachine m(classic::fleet("load_list = \"" + list + "\""));
    std::vector<LoadListEntry> entries(400);
    uint32_t count = 0;
    EXPECT_EQ(WalkLoadList(0, entries.data(), 400, &count), 0u);
    EXPECT_EQ(count, LOAD_LIST_MAX_ENTRIES);
}

TEST(ClassicLoadList, DeleteUnlinksEntriesAndReportsMissingOnes) {
    HbasetMachine m(classic::fleet(
        "load_list = \"0x02A10101,0,A;0x03A10163,0,B;0x02A20202,7,C;0x07A10101,0,D\""));
    EXPECT_EQ(DeleteLoadEntry(0, ProgramId{0x03A10163, 0}), 0u);
    std::vector<LoadListEntry> e(8);
    uint32_t n = 0;
    ASSERT_EQ(WalkLoadList(0, e.data(), 8, &n), 0u);
    ASSERT_EQ(n, 3u);
    EXPECT_STREQ(e[1].version, "C");

    g_mboxLastFailure = {0, 0};
    EXPECT_EQ(DeleteLoadEntry(0, ProgramId{0x03A10163, 0}), RM_STATUS_WAKEUP_FAILED);
    EXPECT_EQ(g_mboxLastFailure.command, MBX_DEL_LD_ENTRY);
    EXPECT_EQ(g_mboxLastFailure.status, MBXS_ERROR); // no such entry

    EXPECT_EQ(DeleteLoadEntriesOfType(0, 2), 0u);
    ASSERT_EQ(WalkLoadList(0, e.data(), 8, &n), 0u);
    ASSERT_EQ(n, 1u);
    EXPECT_STREQ(e[0].version, "D");
    // Four deletions; the refused one is tried twice.
    EXPECT_EQ(hbatest::countLines(m.journal(), "DEL_LD_ENTRY"), 5u);
}

TEST(ClassicReadRev, AnswersRevisionWordsAndRecordsFailures) {
    HbasetMachine m(classic::fleet("fw_name = 2.10A3 hw_type = 40"));
    MboxBuf mb;
    ASSERT_EQ(ReadRev(0, &mb), 0u);
    EXPECT_EQ((mb.w[2] >> 12) & 0xFFFF, 40u);
    // Classic boards keep the name with each word byte-reversed.
    const uint8_t* name = mboxBytes(mb) + 36;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), 4), "01.2");
    EXPECT_EQ(byteSwap32(mb.w[9]), le32(reinterpret_cast<const uint8_t*>("2.10")));

    hbasim::fault_add({"mbx", "READ_REV", -1, 0, "status=0x77", -1});
    EXPECT_EQ(ReadRev(0, &mb), 0x77u);
    EXPECT_EQ(g_mboxLastFailure.command, MBX_READ_REV);
    EXPECT_EQ(g_mboxLastFailure.status, 0x77u);
}

} // namespace
