// The identification pass over simulated FC functions: hardware type, IBM VPD
// mark, serial number, port and model from VPD, and model names when VPD is
// missing or VPD model names are switched off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/identify.h"
#include "sim/core/sim_model.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using hbatest::HbasetMachine;

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t x : bytes) {
        snprintf(b, sizeof b, "%02X", x);
        s += b;
    }
    return s;
}

// Raw VPD: identifier "ID", then the keywords (pairs of key and value) and RV.
// roLengthExtra makes the read-only resource claim more bytes than it has.
std::string vpdHex(const std::vector<std::pair<std::string, std::string>>& keywords,
                   int roLengthExtra = 0) {
    std::vector<uint8_t> kw;
    for (const auto& [key, value] : keywords) {
        kw.push_back(static_cast<uint8_t>(key[0]));
        kw.push_back(static_cast<uint8_t>(key[1]));
        kw.push_back(static_cast<uint8_t>(value.size()));
        kw.insert(kw.end(), value.begin(), value.end());
    }
    kw.insert(kw.end(), {'R', 'V', 1, 0});
    size_t ro = kw.size() + static_cast<size_t>(roLengthExtra);
    std::vector<uint8_t> v = {
        0x82, 2, 0, 'I', 'D', 0x90, static_cast<uint8_t>(ro), static_cast<uint8_t>(ro >> 8)};
    v.insert(v.end(), kw.begin(), kw.end());
    return hex(v);
}

// The subsystem identifiers start-up reads from PCI configuration space.
void fillSubsystemIds() {
    for (uint32_t i = 0; i < g_table.fcCount; i++) {
        AdapterRecord& r = g_table.adapterTable[i];
        r.subsystemVendorId = r.vendorId;
        r.subsystemId = r.deviceId;
    }
}

const std::string kFleet = "adapter A fc\n"
                           "function fc vpd = " +
                           vpdHex({{"SN", "ab12cd"}, {"V2", "VpdModel"}, {"V4", " 7 port7"}}) +
                           "\nfunction fc has_vpd = no\n"
                           "adapter B cv2\n"
                           "function fcoe vpd = " +
                           vpdHex({{"SN", "s2"}, {"V2", "Cv2Vpd"}, {"V4", "1"}}) + "\n";

TEST(IdentificationPass, VpdFieldsAndModels) {
    HbasetMachine m(kFleet);
    ASSERT_EQ(m.boards(), 3u);
    fillSubsystemIds();
    identificationPass();
    const AdapterRecord* t = g_table.adapterTable;

    EXPECT_EQ(t[0].hwType, 6860);
    EXPECT_STREQ(t[0].modelName, "VpdModel");
    EXPECT_STREQ(t[0].serialNumber, "AB12CD");
    EXPECT_EQ(t[0].vpdPortNumber, 7);
    EXPECT_STREQ(t[0].vpdPortName, "7");
    EXPECT_EQ(t[0].flags & (ADAPTER_FLAG_VPD_V2 | ADAPTER_FLAG_VPD_MODEL),
              ADAPTER_FLAG_VPD_V2 | ADAPTER_FLAG_VPD_MODEL);

    // No VPD object: nothing of the previous function is kept.
    EXPECT_STREQ(t[1].modelName, "TGF3202");
    EXPECT_STREQ(t[1].serialNumber, "N/A");
    EXPECT_STREQ(t[1].vpdPortName, "");
    EXPECT_EQ(t[1].flags & (ADAPTER_FLAG_VPD_V2 | ADAPTER_FLAG_VPD_MODEL), 0u);
    EXPECT_NE(m.takeConsole().find("Adapter #2 - RM_STATUS = 1\n"), std::string::npos);

    // A CV2 FCoE function takes the VPD text but is not marked a VPD model.
    EXPECT_STREQ(t[2].modelName, "Cv2Vpd");
    EXPECT_EQ(t[2].flags & (ADAPTER_FLAG_VPD_V2 | ADAPTER_FLAG_VPD_MODEL), ADAPTER_FLAG_VPD_V2);
    EXPECT_STREQ(t[2].serialNumber, "S2");
}

TEST(IdentificationPass, WithoutVpdModelNames) {
    HbasetMachine m(kFleet);
    fillSubsystemIds();
    g_table.useVpdModel = false;
    identificationPass();
    const AdapterRecord* t = g_table.adapterTable;
    EXPECT_STREQ(t[0].modelName, "TGF3200");
    EXPECT_STREQ(t[0].serialNumber, "AB12CD");
    EXPECT_EQ(t[0].flags & (ADAPTER_FLAG_VPD_V2 | ADAPTER_FLAG_VPD_MODEL), ADAPTER_FLAG_VPD_V2);
    EXPECT_STREQ(t[2].modelName, "CV2C100");
}

struct IbmCase {
    const char* name;
    std::string keys;
    uint16_t ibmVpd;
};

TEST(IdentificationPass, IbmVpdMark) {
    const std::string board = "function fc device_id = 0xF100 hw_type = ";
    const IbmCase cases[] = {
        {"VG ends in 1014", board + "4100 vpd = " + vpdHex({{"VG", "xyz1014"}}), 1},
        {"VG of another vendor", board + "4100 vpd = " + vpdHex({{"VG", "xyz1015"}}), 0},
        {"VG of a short value", board + "4100 vpd = " + vpdHex({{"VG", "014"}}), 0},
        {"resource longer than the data", board + "4100 vpd = " + vpdHex({{"VG", "1014"}}, 40), 0},
        {"hardware type not checked", board + "6860 vpd = " + vpdHex({{"VG", "1014"}}), 0},
    };
    for (const IbmCase& c : cases) {
        HbasetMachine m("adapter C fc\n" + c.keys + "\n");
        identificationPass();
        EXPECT_EQ(g_table.adapterTable[0].ibmVpd, c.ibmVpd) << c.name;
    }
}

struct HwTypeCase {
    const char* name;
    std::string keys;
    uint16_t hwType;
};

TEST(ReadHwType, RevisionWords) {
    const HwTypeCase cases[] = {
        {"BIU word", "hw_type = 4100", 4100},
        {"BIU word without bits 4-31", "rev_words = \"2:0x5 3:0x01004002\"", 0},
        // The SM word rule of device 0xF700 is one of the classic read.
        {"SLI-4 0xF700 uses the BIU word", "device_id = 0xF700 rev_words = \"2:0x12001 3:0x20002\"",
         18},
    };
    for (const HwTypeCase& c : cases) {
        HbasetMachine m("adapter C fc\nfunction fc " + c.keys + "\n");
        EXPECT_EQ(readHwType(0), c.hwType) << c.name;
    }
}

TEST(ReadHwType, FailedReadIsReported) {
    HbasetMachine m("adapter C fc\nfunction fc\n");
    hbasim::fault_add({"mbx", "READ_REV", -1, 0, "status=0x1234", -1});
    m.takeConsole();
    EXPECT_EQ(readHwType(0), 0);
    EXPECT_NE(m.takeConsole().find("ReadRev4 ERROR status 00001234\n"), std::string::npos);
}

} // namespace
