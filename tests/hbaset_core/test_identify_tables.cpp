// Identification tables: program version texts, image family codes, model
// names from the family tables, fixed texts, family defaults and the legacy
// hardware-type decision, and the refresh pass's dual-channel marking.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/identify.h"
#include "hbaset/fcmaint/image_family.h"

namespace {

// Program identifier word: image id, then the version fields.
uint32_t programWord(uint32_t id, uint32_t major, uint32_t minor, uint32_t sub, uint32_t letter,
                     uint32_t level) {
    return (id << 16) | (major << 12) | (minor << 8) | (sub << 6) | (letter << 4) | level;
}

struct VersionCase {
    uint32_t word;
    bool letterF;
    const char* text;
};

TEST(ProgramVersion, LettersAndDigits) {
    const VersionCase cases[] = {
        {programWord(17, 2, 1, 1, 1, 0), false, "SB2.11A0"},
        {programWord(17, 2, 1, 1, 3, 0), false, "SB2.11"},   // letter X, level 0: cut
        {programWord(17, 2, 1, 1, 3, 5), false, "SB2.11X5"}, // letter X with a level
        {programWord(17, 15, 15, 3, 0, 15), false, "SB15.153N15"},
        {programWord(0, 1, 0, 0, 1, 0), false, "XX1.00A0"},
        {programWord(1, 1, 0, 0, 1, 0), false, "FB1.00A0"},
        {programWord(47, 1, 0, 0, 1, 0), false, "YU1.00A0"}, // k 5, j 6: its own letters
        {programWord(128, 1, 0, 0, 2, 3), false, "PB1.00B3"},
        {programWord(247, 1, 0, 0, 1, 0), false, "WU1.00A0"}, // the highest defined id
        {programWord(248, 1, 0, 0, 1, 0), false, "XX1.00A0"},
        {programWord(255, 1, 0, 0, 1, 0), false, "XX1.00A0"},
        {programWord(20, 1, 0, 0, 1, 0), false, "SR1.00A0"},  // k 2, j 3: R
        {programWord(28, 1, 0, 0, 1, 0), false, "YL1.00A0"},  // k 3, j 3: L
        {programWord(23, 1, 0, 0, 1, 0), false, "XX1.00A0"},  // k 2, j 6 undefined
        {programWord(24, 1, 0, 0, 1, 0), false, "XX1.00A0"},  // j 7 never defined
        {programWord(52, 1, 0, 0, 1, 0), false, "XX1.00A0"},  // k 6 has no j 3
        {programWord(89, 1, 0, 0, 1, 0), false, "AB1.00A0"},  // k 11, j 0
        {programWord(91, 1, 0, 0, 1, 0), false, "XX1.00A0"},  // k 11, j 2 undefined
        {programWord(95, 1, 0, 0, 1, 0), false, "AU1.00A0"},  // k 11, j 6
        {programWord(172, 1, 0, 0, 1, 0), false, "IL1.00A0"}, // k 21, j 3
        {programWord(57, 1, 0, 0, 1, 0), false, "XX1.00A0"},  // k 7 undefined
        {programWord(17, 2, 1, 1, 1, 0), true, "FB2.11A0"},   // device 0xF180
        {programWord(0, 2, 1, 1, 1, 0), true, "FX2.11A0"},
    };
    for (const VersionCase& c : cases) {
        char out[PROGRAM_VERSION_TEXT_SIZE];
        formatProgramVersionText(c.word, c.letterF, out, sizeof out);
        EXPECT_STREQ(out, c.text) << std::hex << c.word;
    }
}

TEST(ProgramVersion, SmallBufferIsCutAndTerminated) {
    char out[5];
    memset(out, 'x', sizeof out);
    formatProgramVersionText(programWord(17, 2, 1, 1, 1, 0), false, out, sizeof out);
    EXPECT_STREQ(out, "SB2.");
}

struct FamilyCase {
    uint16_t hwType;
    uint32_t deviceId;
    uint32_t ssvid;
    uint32_t ssid;
    bool memOk;
    uint32_t memWord;
    uint32_t family;
};

TEST(ImageFamily, ByHardwareTypeAndDevice) {
    const FamilyCase cases[] = {
        {18, 0xFC01, 0, 0, false, 0, 0xF0A1},
        {18, 0xF0A5, 0, 0, false, 0, 0xF0A5},
        {18, 0x1234, 0, 0, false, 0, 0xFA00},
        {32, 0xF700, 0, 0, false, 0, 0xF700},
        {33, 0xF085, 0, 0, false, 0, 0xF085},
        {33, 0xF800, 0, 0, false, 0, 0xF800},
        {37, 0xF801, 0, 0, false, 0, 0xF802},
        {40, 0xF095, 0, 0, false, 0, 0xF095},
        {38, 0xF900, 0, 0, false, 0, 0xF900},
        {56, 0xF098, 0, 0, false, 0, 0xF098},
        {56, 0xF980, 0, 0, true, 0x7FFFC, 0xF98D},
        {56, 0xF980, 0, 0, true, 0x7FFF8, 0xF980},
        {56, 0xF980, 0, 0, false, 0x7FFFC, 0xF980}, // a failed read ignores the word
        {868, 0xFD12, 0, 0, false, 0, 0xFD12},
        {868, 0xFD00, 0, 0, false, 0, 0xFD00},
        {1296, 0xF0F6, 0, 0, false, 0, 0xF0F6},
        {1296, 0xF0F0, 0, 0, false, 0, IMAGE_FAMILY_NONE},
        {1399, 0xFE12, 0, 0, false, 0, 0xFE12},
        {1399, 0xFE01, 0, 0, false, 0, 0xFE00},
        {4100, 0xF180, 0, 0, false, 0, 0xF180},
        {4100, 0xE131, 0, 0, false, 0, 0xE131},
        {4100, 0xF100, 0x1F3C, 0xF13C, false, 0, 0xF10B},
        {4100, 0xF100, 0x1054, 0x3053, false, 0, 0xF10B},
        {4100, 0xF100, 0x103C, 0x338F, false, 0, 0x338F},
        {4100, 0xF100, 0x1F3C, 0xF100, false, 0, 0xF100},
        {4100, 0xF10A, 0x1F3C, 0xF13C, false, 0, 0xF100}, // only 0xF100 looks at the pair
        {6860, 0xE300, 0, 0, false, 0, 0x1AE5},
        {18488, 0xFB00, 0, 0, false, 0, 0xFB00},
        {0, 0xF100, 0, 0, false, 0, IMAGE_FAMILY_NONE},
        {4101, 0xF100, 0, 0, false, 0, IMAGE_FAMILY_NONE},
    };
    for (const FamilyCase& c : cases) {
        EXPECT_EQ(imageFamilyFromIds(c.hwType, c.deviceId, c.ssvid, c.ssid, c.memOk, c.memWord),
                  c.family)
            << c.hwType << " " << std::hex << c.deviceId;
    }
}

TEST(ImageFamily, Groups) {
    EXPECT_TRUE(isSecureFamily(0xF180));
    EXPECT_FALSE(isSecureFamily(0xF100));
    EXPECT_TRUE(isZorathFamily(0x338F));
    EXPECT_FALSE(isZorathFamily(0xF180));
    EXPECT_FALSE(familyHasExpansionRom(0xFC30));
    EXPECT_FALSE(familyHasExpansionRom(0x1AE5));
    EXPECT_TRUE(familyHasExpansionRom(0xF100));
}

// ---- model names over a hand-built table -----------------------------------------------

struct Entry {
    uint16_t deviceId;
    uint16_t ssvid;
    uint16_t ssid;
    uint16_t hwType;
    uint32_t cnaDeviceId; // converged entries (deviceId 0)
    uint32_t bus, dev;
    uint8_t func;
    uint32_t flags;
    const char* modelName;
    const char* serial;
};

class ModelTest : public ::testing::Test {
  protected:
    void TearDown() override { adapterTableRelease(); }

    // FC entries first, then converged ones (deviceId 0).
    void build(std::initializer_list<Entry> entries, bool useVpdModel = true) {
        adapterTableRelease();
        ASSERT_TRUE(adapterTableAllocate(static_cast<uint32_t>(entries.size())));
        uint32_t i = 0, fc = 0;
        for (const Entry& e : entries) {
            AdapterRecord& r = g_table.adapterTable[i++];
            if (e.deviceId != 0) {
                r.deviceId = e.deviceId;
                r.vendorId = kOwnVendorId;
                r.subsystemVendorId = e.ssvid;
                r.subsystemId = e.ssid;
                fc++;
            } else {
                r.cnaDeviceId = e.cnaDeviceId;
                r.cnaVendorId = kOwnVendorId;
                r.cnaSubsystemVendorId = e.ssvid;
                r.cnaSubsystemId = e.ssid;
                r.functionKind = KIND_NIC_FUNCTION;
            }
            r.hwType = e.hwType;
            r.pciBus = e.bus;
            r.pciDevice = e.dev;
            r.pciFunction = e.func;
            r.flags = e.flags;
            snprintf(r.modelName, sizeof r.modelName, "%s", e.modelName ? e.modelName : "");
            snprintf(r.serialNumber, sizeof r.serialNumber, "%s", e.serial ? e.serial : "");
        }
        g_table.fcCount = fc;
        g_table.totalCount = i;
        g_table.useVpdModel = useVpdModel;
    }
    std::string name(int i) {
        char out[256];
        memset(out, '#', sizeof out);
        identify(i, out, sizeof out);
        return out;
    }
};

constexpr uint16_t V = kOwnVendorId;

TEST_F(ModelTest, FamilyTablesRowsAndDefaults) {
    build({
        {0, V, 0x0714, 0, 0x0714, 0, 0, 0, 0, nullptr, nullptr}, // 0 CV3, listed
        {0, V, 0x7777, 0, 0x0714, 0, 0, 0, 0, nullptr, nullptr}, // 1 CV3, unlisted pair
        {0, V, 0x0722, 0, 0x0722, 0, 0, 0, 0, nullptr, nullptr}, // 2 Tarnel
        {0, V, 0x7777, 0, 0x0702, 0, 0, 0, 0, nullptr, nullptr}, // 3 CV2 unlisted
        {0, V, 0xE2A0, 0, 0xE220, 0, 0, 0, 0, nullptr, nullptr}, // 4 Brevin CNA mezzanine
        {0, V, 0x7777, 0, 0xE220, 0, 0, 0, 0, nullptr, nullptr}, // 5 Brevin CNA other
        {0, V, 0x7777, 0, 0x9999, 0, 0, 0, 0, nullptr, nullptr}, // 6 no family
    });
    EXPECT_EQ(name(0), "CV3C102");
    EXPECT_EQ(name(1), kFamilyDefaultNames.cv3);
    EXPECT_EQ(name(2), "TRN4102");
    EXPECT_EQ(name(3), kFamilyDefaultNames.cv2);
    EXPECT_EQ(name(4), kFamilyDefaultNames.brevinMezzanine);
    EXPECT_EQ(name(5), kFamilyDefaultNames.brevin);
    EXPECT_EQ(name(6), kFamilyDefaultNames.generic);
}

TEST_F(ModelTest, SwitchCPicksBaseModel) {
    for (bool vpd : {true, false}) {
        build({{0xE300, V, 0xE300, 6860, 0, 1, 0, 0, 0, nullptr, nullptr},
               {0xE300, V, 0x1234, 6860, 0, 1, 0, 1, 0, nullptr, nullptr}},
              vpd);
        EXPECT_EQ(name(0), vpd ? "TGF3202" : "TGF3200");
        EXPECT_EQ(name(1), kFamilyDefaultNames.brevin32gFixed); // fixed text either way
    }
}

TEST_F(ModelTest, BootParamTableByDualChannel) {
    build({{0xF100, V, 0xF100, 4100, 0, 1, 0, 0, ADAPTER_FLAG_DUAL_CHANNEL, nullptr, nullptr},
           {0xF100, V, 0xF100, 4100, 0, 2, 0, 0, 0, nullptr, nullptr},
           {0xF100, V, 0x4444, 4100, 0, 3, 0, 0, 0, nullptr, nullptr},
           {0xF100, V, 0xF100, 1399, 0, 4, 0, 0, 0, nullptr, nullptr}}); // not 4100: legacy
    EXPECT_EQ(name(0), "FX8002");
    EXPECT_EQ(name(1), "FX8001");
    EXPECT_EQ(name(2), kFamilyDefaultNames.bootParamFixed);
    EXPECT_EQ(name(3), "TGC1400");
}

TEST_F(ModelTest, LegacyDecision) {
    build({
        {0xFA00, V, 0x1, 18, 0, 1, 0, 0, 0, "Before", nullptr},  // 0 group 18, listed
        {0xABCD, V, 0x1, 18, 0, 1, 1, 0, 0, "Before", nullptr},  // 1 group 18, unlisted
        {0xABCD, V, 0x1, 1296, 0, 2, 0, 0, 0, "Kept", nullptr},  // 2 group 1296, unlisted
        {0xABCD, V, 0x1, 7, 0, 3, 0, 0, 0, "Before", nullptr},   // 3 unknown hwType
        {0xFE00, V, 0x1, 1399, 0, 4, 0, 0, 0, nullptr, nullptr}, // 4 partner at function 1
        {0xFE00, V, 0x1, 1399, 0, 4, 0, 1, 0, nullptr, nullptr}, // 5
        {0xFE00, V, 0x1, 1399, 0, 5, 0, 0, 0, nullptr, nullptr}, // 6 alone
        {0xF800, V, 0x1, 33, 0, 6, 0, 0, ADAPTER_FLAG_DUAL_CHANNEL, nullptr, nullptr}, // 7
        {0xFD00, 0x103C, 0x1702, 868, 0, 7, 0, 0, 0, nullptr, nullptr}, // 8 subsystem pair
    });
    EXPECT_EQ(name(0), "TGC7000");
    EXPECT_EQ(name(1), "Before");
    EXPECT_EQ(name(2), "Kept");
    EXPECT_EQ(name(3), "Unknown");
    EXPECT_EQ(name(4), "TGC1402");
    EXPECT_EQ(name(5), "TGC1402");
    EXPECT_EQ(name(6), "TGC1400");
    EXPECT_EQ(name(7), "TGC2002");
    EXPECT_EQ(name(8), "TGC8000H");
}

TEST_F(ModelTest, VpdModelFlagKeepsModelNameOnlyWithVpdModels) {
    for (bool vpd : {true, false}) {
        build({{0xE200, V, 0xE200, 6860, 0, 1, 0, 0, ADAPTER_FLAG_VPD_MODEL, "FromVpd", nullptr}},
              vpd);
        EXPECT_EQ(name(0), vpd ? "FromVpd" : "BRV1600");
    }
}

TEST_F(ModelTest, FillModelQuery) {
    build({
        {0xE300, V, 0xE300, 6860, 0, 1, 0, 0, 0, nullptr, nullptr}, // row found
        {0xE300, V, 0x1234, 6860, 0, 1, 0, 1, 0, nullptr, nullptr}, // fixed text
        {0xABCD, V, 0x1234, 32, 0, 2, 0, 0, 0, nullptr, nullptr},   // legacy
        {0, V, 0x7777, 0, 0x0714, 0, 0, 0, 0, nullptr, nullptr},    // family default
    });
    ModelQuery q;
    EXPECT_TRUE(fillModelQuery(0, &q));
    EXPECT_STREQ(q.modelName, "TGF3202");
    EXPECT_STREQ(q.baseModel, "TGF3200");
    EXPECT_STRNE(q.description, "");
    EXPECT_EQ(q.deviceId, 0xE300u);

    EXPECT_FALSE(fillModelQuery(1, &q));
    EXPECT_STREQ(q.modelName, "");
    EXPECT_STREQ(q.baseModel, kFamilyDefaultNames.brevin32gFixed);

    EXPECT_FALSE(fillModelQuery(2, &q));
    EXPECT_STREQ(q.modelName, "");
    EXPECT_STREQ(q.baseModel, "TGC1000");

    EXPECT_FALSE(fillModelQuery(3, &q));
    EXPECT_STREQ(q.baseModel, kFamilyDefaultNames.cv3);
    EXPECT_EQ(q.deviceId, 0x0714u); // converged entries use the cna identifiers
}

TEST(ModelTableLookup, RefusesWithoutWriting) {
    struct Case {
        const char* what;
        uint32_t dev, ven, ssid, ssvid, capacity;
        uint8_t table;
    };
    const Case cases[] = {
        {"zero vendor", 0x0714, 0, 0x0714, V, 256, MODEL_TABLE_CV3},
        {"zero subsystem", 0x0714, V, 0, V, 256, MODEL_TABLE_CV3},
        {"zero subsystem vendor", 0x0714, V, 0x0714, 0, 256, MODEL_TABLE_CV3},
        {"small capacity", 0x0714, V, 0x0714, V, 255, MODEL_TABLE_CV3},
        {"other family", 0x0714, V, 0x0714, V, 256, MODEL_TABLE_TARNEL},
        {"no row", 0x0714, V, 0x0001, V, 256, MODEL_TABLE_CV3},
    };
    for (const Case& c : cases) {
        ModelQuery q;
        modelQueryInit(&q);
        q.deviceId = c.dev;
        q.vendorId = c.ven;
        q.subsystemId = c.ssid;
        q.subsystemVendorId = c.ssvid;
        q.baseModelSize = c.capacity;
        snprintf(q.modelName, sizeof q.modelName, "untouched");
        EXPECT_FALSE(modelTableLookup(c.table, &q)) << c.what;
        EXPECT_STREQ(q.modelName, "untouched") << c.what;
    }
}

TEST_F(ModelTest, RefreshPassMarksBrevinDualChannel) {
    // Without VPD model names the pass always runs.
    build(
        {
            {0xE200, V, 0xE200, 6860, 0, 0x20, 0, 0, 0, nullptr, "QS1"},
            {0xE200, V, 0xE200, 6860, 0, 0x20, 0, 1, 0, nullptr, "qs1"}, // same board, case differs
            {0xE200, V, 0xE200, 6860, 0, 0x20, 1, 0, ADAPTER_FLAG_DUAL_CHANNEL, nullptr, "QS1"},
            {0xE200, V, 0xE200, 6860, 0, 0x30, 0, 0, ADAPTER_FLAG_DUAL_CHANNEL, nullptr, "QS2"},
        },
        false);
    refreshPass();
    EXPECT_TRUE(g_table.adapterTable[0].flags & ADAPTER_FLAG_DUAL_CHANNEL);
    EXPECT_TRUE(g_table.adapterTable[1].flags & ADAPTER_FLAG_DUAL_CHANNEL);
    EXPECT_FALSE(g_table.adapterTable[2].flags & ADAPTER_FLAG_DUAL_CHANNEL); // other device
    EXPECT_FALSE(g_table.adapterTable[3].flags & ADAPTER_FLAG_DUAL_CHANNEL);
    EXPECT_STREQ(g_table.adapterTable[0].modelName, "BRV1600");
}

} // namespace
