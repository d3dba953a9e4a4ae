// Adapter table predicates and device families.
#include <gtest/gtest.h>

#include <set>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"

namespace {

struct EntryCase {
    uint16_t deviceId;
    uint32_t cnaDeviceId;
    uint32_t kind;
    uint32_t sli4;
    uint16_t hwType;
};

// FC entries first (fcCount = 5), then converged functions.
const EntryCase kEntries[] = {
    {0xE200, 0, 0, 1, 4100},                   // 0 Brevin FC, SLI-4
    {0xE300, 0, 0, 1, 18},                     // 1 newest Brevin FC
    {0x0714, 0, KIND_FCOE_FUNCTION, 1, 0},     // 2 CV3 FCoE
    {0xE131, 0, 0, 0, 32},                     // 3 jumper-less FC
    {0xE260, 0, KIND_FCOE_FUNCTION, 1, 0},     // 4 Brevin FCoE
    {0, 0x0722, KIND_ISCSI_FUNCTION, 0, 0},    // 5 Tarnel iSCSI
    {0, 0x0710, KIND_NIC_FUNCTION, 0, 0},      // 6 CV3 NIC
    {0, 0xE220, KIND_NIC_FUNCTION, 0, 0},      // 7 Brevin NIC
    {0x0714, 0x0211, KIND_NIC_FUNCTION, 0, 0}, // 8 CV FCoE ID past the FC entries
};
constexpr uint32_t kFcCount = 5;
constexpr uint32_t kTotal = sizeof(kEntries) / sizeof(kEntries[0]);

class AdapterTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        adapterTableRelease();
        ASSERT_TRUE(adapterTableAllocate(kTotal));
        for (uint32_t i = 0; i < kTotal; i++) {
            AdapterRecord& r = g_table.adapterTable[i];
            r.deviceId = kEntries[i].deviceId;
            r.cnaDeviceId = kEntries[i].cnaDeviceId;
            r.functionKind = kEntries[i].kind;
            r.sli4 = kEntries[i].sli4;
            r.hwType = kEntries[i].hwType;
        }
        g_table.fcCount = kFcCount;
        g_table.totalCount = kTotal;
    }
    void TearDown() override { adapterTableRelease(); }
};

struct PredicateCase {
    const char* name;
    bool (*fn)(int);
    std::set<int> trueFor; // indexes in -1 .. 270 where the predicate holds
};

std::set<int> range(int from, int to) {
    std::set<int> s;
    for (int i = from; i < to; i++)
        s.insert(i);
    return s;
}

std::set<int> join(std::set<int> a, const std::set<int>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

TEST_F(AdapterTableTest, EveryPredicateOverEveryIndex) {
    const PredicateCase cases[] = {
        // 8-bit positions: 256 + i addresses i again.
        {"isFcIndex", isFcIndex, join(range(0, 5), range(256, 261))},
        {"isAnyIndex", isAnyIndex, join(range(0, 9), range(256, 265))},
        {"isCnaIndex", isCnaIndex, range(0, 9)},
        {"isNexaManaged", isNexaManaged, {2, 4, 5, 6, 7, 8}},
        {"isFcoeFunction", isFcoeFunction, {2, 4}},
        {"isIscsiFunction", isIscsiFunction, {5}},
        {"isNicFunction", isNicFunction, {6, 7, 8}},
        {"isSli4", isSli4, {0, 1, 2, 4}},
        {"isJumperlessDevice", isJumperlessDevice, {3}},
        {"isBrevinFc", isBrevinFc, {0, 1}},
        {"isBrevinFcoeOnFc", isBrevinFcoeOnFc, {4}},
        {"isBrevinCna", isBrevinCna, {4, 7}},
        {"isBrevinFamily", isBrevinFamily, {0, 1, 4, 7}},
        {"isBrevin32g", isBrevin32g, {1}},
        {"isCvFcoe", isCvFcoe, {2}},
        {"isCvIscsi", isCvIscsi, {5}},
        {"isCvNic", isCvNic, {6, 8}},
        {"isCvFunction", isCvFunction, {2, 5, 6, 8}},
        {"isNewerHwType", isNewerHwType, {0, 1}},
    };
    for (const PredicateCase& c : cases) {
        for (int i = -1; i <= 270; i++) {
            EXPECT_EQ(c.fn(i), c.trueFor.count(i) == 1) << c.name << "(" << i << ")";
        }
    }
}

TEST_F(AdapterTableTest, AdapterNumbersUseEightBits) {
    const struct {
        uint32_t n;
        int index;
    } cases[] = {{1, 0}, {5, 4}, {256, 255}, {257, 0}, {258, 1}, {513, 0}, {0, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(adapterIndexFromNumber(c.n), c.index) << c.n;
    // n = 257 reaches the first FC entry through every predicate.
    int i = adapterIndexFromNumber(257);
    EXPECT_TRUE(isFcIndex(i));
    EXPECT_TRUE(isBrevinFc(i));
    EXPECT_EQ(adapterAt(i), &g_table.adapterTable[0]);
}

TEST_F(AdapterTableTest, EmptyTableAnswersFalse) {
    adapterTableRelease();
    for (int i : {-1, 0, 1, 256}) {
        EXPECT_FALSE(isFcIndex(i));
        EXPECT_FALSE(isAnyIndex(i));
        EXPECT_FALSE(isCnaIndex(i));
        EXPECT_FALSE(isNexaManaged(i));
        EXPECT_EQ(adapterAt(i), nullptr);
    }
}

TEST_F(AdapterTableTest, ConvergedAdapterOfAnEntry) {
    ASSERT_TRUE(cnaAdapterListAllocate(2));
    g_table.adapterTable[2].cnaAdapterIndex = 1; // CV3 FCoE, not matched
    g_table.adapterTable[5].cnaAdapterIndex = 1; // iSCSI
    g_table.adapterTable[6].cnaAdapterIndex = 7; // out of the list
    EXPECT_EQ(cnaAdapterOf(2), nullptr) << "an unmatched FCoE entry has no converged adapter";
    g_table.adapterTable[2].fcoeMatched = 1;
    EXPECT_EQ(cnaAdapterOf(2), &g_table.cnaAdapterList[1]);
    EXPECT_EQ(cnaAdapterOf(5), &g_table.cnaAdapterList[1]);
    EXPECT_EQ(cnaAdapterOf(6), nullptr);
    EXPECT_EQ(cnaAdapterOf(0), nullptr) << "plain FC entry";
    EXPECT_FALSE(cnaAdapterListAllocate(CNA_ADAPTER_LIST_MAX + 1));
}

TEST_F(AdapterTableTest, EntryDeviceIdPrefersTheFcId) {
    EXPECT_EQ(entryDeviceId(&g_table.adapterTable[0]), 0xE200u);
    EXPECT_EQ(entryDeviceId(&g_table.adapterTable[5]), 0x0722u);
    EXPECT_EQ(entryDeviceId(&g_table.adapterTable[8]), 0x0714u);
}

TEST(DeviceFamilies, DiscoveryFcoeListAndRoles) {
    const std::set<uint32_t> fcoe = {0x0214, 0x0704, 0x0714, 0x071C,
                                     0x0724, 0x072C, 0xE260, 0xE268};
    for (size_t k = 0; k < kDeviceFamilyTableSize; k++) {
        uint32_t id = kDeviceFamilyTable[k].deviceId;
        EXPECT_EQ(isDiscoveryFcoeDevice(id), fcoe.count(id) == 1) << std::hex << id;
        EXPECT_EQ(findDeviceFamily(id), &kDeviceFamilyTable[k]) << "IDs are unique";
    }
    EXPECT_EQ(deviceFamilyOf(0xE300), FAMILY_BREVIN);
    EXPECT_EQ(deviceRoleOf(0x071B), ROLE_ISCSI);
    EXPECT_EQ(deviceFamilyOf(0xF100), FAMILY_NONE);
    EXPECT_TRUE(isBootParamDevice(0xF180));
    EXPECT_FALSE(isBootParamDevice(0xE300));
    EXPECT_FALSE(isBrevinCnaDevice(0xE200)) << "Brevin FC IDs are not CNA IDs";
}

} // namespace
