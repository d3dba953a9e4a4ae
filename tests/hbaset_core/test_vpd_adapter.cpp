// The vpd command handler and the VPD read for every kind of function of a
// simulated machine: Brevin FC functions (VPD object), other FC functions
// (probe and region 14), FCoE functions (region 14 through the dump request)
// and converged NIC and iSCSI functions (NEXA).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cna/mal.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/vpd.h"
#include "sim/core/sim_model.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using hbatest::HbasetMachine;

// FC-side entries 0-4, then the converged NIC (5) and iSCSI (6) functions.
const char* kFleet = R"(
adapter FC1 fc
function fc
adapter BRV brevin
function fc
adapter ZOR fc
function fc device_id = 0xF100 subsys_id = 0xF100 hw_type = 4100
adapter NOVPD fc
function fc device_id = 0xF100 hw_type = 4100 has_vpd = no
adapter CNA cv3
function fcoe dump_overreport = 4000
function nic
function iscsi
)";

// Adds the converged NIC and iSCSI functions NEXA lists after the FC entries,
// as start-up does (records and adapter list only).
void addConvergedFunctions() {
    char svc[MAL_VALUE_SIZE], hier[MAL_VALUE_SIZE];
    ASSERT_EQ(MAL_NEXA_init(svc, sizeof svc, hier, sizeof hier), MAL_RM_OK);
    std::vector<int> ctl(MAL_MAX_INSTANCES);
    int n = MAL_MAX_INSTANCES;
    ASSERT_EQ(MAL_EnumerateControllers(&n, ctl.data()), MAL_RM_OK);
    std::vector<AdapterRecord> entries(g_table.adapterTable,
                                       g_table.adapterTable + g_table.fcCount);
    uint32_t fcCount = g_table.fcCount;
    ASSERT_TRUE(cnaAdapterListAllocate(static_cast<uint32_t>(n)));
    for (int c = 0; c < n; c++) {
        CorevaneAdapter& a = g_table.cnaAdapterList[c];
        a.nodeTag = ctl[c];
        for (int kind : {MAL_HBA_ISCSI, MAL_HBA_NIC}) {
            std::vector<int> tags(MAL_MAX_INSTANCES);
            int count = MAL_MAX_INSTANCES;
            ASSERT_EQ(MAL_EnumeratePhysicalHBAs(ctl[c], kind, &count, tags.data()), MAL_RM_OK);
            if (count == 0) continue;
            if (kind == MAL_HBA_ISCSI) {
                a.iscsiFunctions =
                    static_cast<MalIscsiFunction*>(calloc(count, sizeof(MalIscsiFunction)));
                a.iscsiFunctionCount = static_cast<uint32_t>(count);
            } else {
                a.nicFunctions =
                    static_cast<MalNicFunction*>(calloc(count, sizeof(MalNicFunction)));
                a.nicFunctionCount = static_cast<uint32_t>(count);
            }
            for (int k = 0; k < count; k++) {
                AdapterRecord r{};
                r.functionKind = kind == MAL_HBA_ISCSI ? KIND_ISCSI_FUNCTION : KIND_NIC_FUNCTION;
                r.cnaAdapterIndex = static_cast<uint32_t>(c);
                MalPciProperties pci{};
                MAL_GetPCIProperties(tags[k], &pci);
                r.cnaDeviceId = pci.deviceId;
                if (kind == MAL_HBA_ISCSI)
                    a.iscsiFunctions[k].tag = tags[k];
                else
                    a.nicFunctions[k].tag = tags[k];
                entries.push_back(r);
            }
        }
    }
    ASSERT_TRUE(adapterTableAllocate(static_cast<uint32_t>(entries.size())));
    std::copy(entries.begin(), entries.end(), g_table.adapterTable);
    g_table.fcCount = fcCount;
    g_table.totalCount = static_cast<uint32_t>(entries.size());
}

class VpdAdapterTest : public ::testing::Test {
  protected:
    void TearDown() override { MAL_NEXA_exit(); }
};

struct HandlerCase {
    int index;
    uint32_t status;
    std::string output;
    bool probed; // the VPD probe was sent
};

TEST_F(VpdAdapterTest, EveryFunctionKind) {
    HbasetMachine m(kFleet);
    ASSERT_EQ(m.boards(), 5u);
    addConvergedFunctions();
    ASSERT_EQ(g_table.totalCount, 7u);
    const std::string fcVpd = "Product Name          : TGF3202\n"
                              "SN (Serial Number)    : %s\n"
                              "V2                    : TGF3202\n"
                              "V4                    : 0\n";
    auto fc = [&](const char* serial) {
        std::string s = fcVpd;
        return s.replace(s.find("%s"), 2, serial);
    };
    const std::string cna = "Product Name          : Dual port 10Gb converged network adapter\n"
                            "PN (Part Number)      : CV3C102\n"
                            "EC (EC Level)         : 2\n"
                            "SN (Serial Number)    : QS2100005\n"
                            "V2                    : CV3C102\n"
                            "V4                    : 0\n";
    const HandlerCase cases[] = {
        {0, 0, fc("QS2100001"), false},
        {1, 0,
         "Product Name          : BRV1602\nSN (Serial Number)    : QS2100002\n"
         "V2                    : BRV1602\nV4                    : 0\n",
         false},
        {2, 0, fc("QS2100003"), true},
        {3, 15, "Attempt to read VPD information fails. Adapter #4 - RM_STATUS = 231\n", true},
        {4, 0,
         "Product Name          : CV3C102\nSN (Serial Number)    : QS2100005\n"
         "V2                    : CV3C102\nV4                    : 0\n",
         false},
        {5, 0, cna, false},
        {6, 0, cna, false},
    };
    for (const HandlerCase& c : cases) {
        m.clearJournal();
        m.takeConsole();
        EXPECT_EQ(vpdCommandHandler(c.index, true), c.status) << c.index;
        EXPECT_EQ(m.takeConsole(), c.output) << c.index;
        EXPECT_EQ(hbatest::countLines(m.journal(), "DUMP type=4") > 0, c.probed) << c.index;
        EXPECT_EQ(g_vpdRecord.found, c.status == 0 ? 1 : 0) << c.index;
    }
}

TEST_F(VpdAdapterTest, SilentReadStoresKeywordsAndStillReportsFailures) {
    HbasetMachine m(kFleet);
    ASSERT_EQ(vpdCommandHandler(2, false), 0u);
    EXPECT_EQ(m.takeConsole(), "");
    EXPECT_STREQ(g_vpdRecord.SN, "QS2100003");
    EXPECT_STREQ(g_vpdRecord.V2, "TGF3202");
    EXPECT_STREQ(g_vpdRecord.V4, "0");

    // A failed read leaves nothing of the previous adapter behind.
    ASSERT_EQ(vpdCommandHandler(3, false), 15u);
    EXPECT_EQ(m.takeConsole(),
              "Attempt to read VPD information fails. Adapter #4 - RM_STATUS = 231\n");
    EXPECT_STREQ(g_vpdRecord.SN, "");
    EXPECT_STREQ(g_vpdRecord.V2, "");
    EXPECT_STREQ(g_vpdRecord.V4, "");
}

TEST_F(VpdAdapterTest, ConvergedFunctionWithoutNexa) {
    HbasetMachine m(kFleet);
    addConvergedFunctions();
    MAL_NEXA_exit();
    m.takeConsole();
    EXPECT_EQ(vpdCommandHandler(5, true), 141u);
    EXPECT_EQ(m.takeConsole(),
              "Attempt to read VPD information fails. Adapter #6 - RM_STATUS = 72\n");
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t x : bytes) {
        snprintf(b, sizeof b, "%02X", x);
        s += b;
    }
    return s;
}

// The same bytes stored as byte-reversed 32-bit words.
std::vector<uint8_t> reversedWords(std::vector<uint8_t> b) {
    while (b.size() % 4)
        b.push_back(0);
    for (size_t i = 0; i < b.size(); i += 4) {
        std::swap(b[i], b[i + 3]);
        std::swap(b[i + 1], b[i + 2]);
    }
    return b;
}

struct RawCase {
    const char* name;
    std::vector<uint8_t> vpd;
    uint32_t status;
    std::string output;
};

TEST_F(VpdAdapterTest, AdapterDataShapes) {
    const RawCase cases[] = {
        {"reversed words",
         reversedWords({0x82, 0x03, 0x00, 'A', 'B', 'C', 0x90, 0x04, 0x00, 'S', 'N', 0x01, 'X'}), 0,
         "Product Name          : ABC\nSN (Serial Number)    : X\n"},
        {"not VPD",
         {0x90, 0x00, 0x00, 0x00},
         15,
         "Attempt to read VPD information fails. Adapter #1 - RM_STATUS = 250\n"},
        {"identifier past the data",
         {0x82, 0xFF, 0x00, 'A'},
         16,
         "Attempt to read VPD information fails. Adapter #1 has no VPD information\n"},
        {"other keys and labels",
         {0x82, 0x01, 0x00, 'N', 0x90, 0x0E, 0x00, 'P',  'G',  0x01, '7',
          'Z',  'Z',  0x02, 'z', 'z',  'M',  'N',  0x00, 0x00, 0x00},
         0,
         "Product Name          : N\nPG (PCI Geography)    : 7\nZZ                    : zz\n"
         "MN (Manufacture ID)   : \n"},
    };
    for (const RawCase& c : cases) {
        HbasetMachine m("adapter ZOR fc\nfunction fc device_id = 0xF100 hw_type = 4100 vpd = " +
                        hex(c.vpd) + "\n");
        EXPECT_EQ(vpdCommandHandler(0, true), c.status) << c.name;
        EXPECT_EQ(m.takeConsole(), c.output) << c.name;
    }
}

TEST_F(VpdAdapterTest, KeywordReaderOfTheImageChecks) {
    std::vector<uint8_t> vpd = {0x82, 0x03, 0x00, 'I', 'D', 'S', 0x90};
    std::vector<uint8_t> kw;
    auto add = [&](const char* key, const std::string& v) {
        kw.push_back(static_cast<uint8_t>(key[0]));
        kw.push_back(static_cast<uint8_t>(key[1]));
        kw.push_back(static_cast<uint8_t>(v.size()));
        kw.insert(kw.end(), v.begin(), v.end());
    };
    add("PN", std::string(90, 'p')); // pushes the keywords past the first pieces
    add("SN", "sn1");
    add("V1", "one");
    add("V3", "T2:11,0X12T3:21");
    add("V2", std::string(120, 'm'));
    add("V4", "1");
    add("V5", "late");
    add("RV", std::string(1, '\0'));
    vpd.push_back(static_cast<uint8_t>(kw.size()));
    vpd.push_back(static_cast<uint8_t>(kw.size() >> 8));
    vpd.insert(vpd.end(), kw.begin(), kw.end());
    HbasetMachine m(
        "adapter ZOR fc\nfunction fc device_id = 0xF100 hw_type = 4100 vpd = " + hex(vpd) + "\n");
    VpdRecord rec;
    ASSERT_EQ(readVpdKeywords(0, &rec), 0u);
    EXPECT_STREQ(rec.SN, "sn1");
    EXPECT_STREQ(rec.V1, "one");
    EXPECT_STREQ(rec.V3, "T2:11,0X12T3:21");
    EXPECT_EQ(std::string(rec.V2), std::string(79, 'm'));
    EXPECT_STREQ(rec.V4, "1");
    EXPECT_EQ(rec.found, 1);
}

TEST_F(VpdAdapterTest, KeywordReaderWithoutRegion) {
    HbasetMachine m("adapter ZOR fc\nfunction fc device_id = 0xF100 region_state = \"14=bad\"\n");
    VpdRecord rec;
    EXPECT_NE(readVpdKeywords(0, &rec), 0u);
    EXPECT_EQ(m.takeConsole(),
              "Attempt to read VPD information fails. Adapter #1 has no VPD information\n");
    EXPECT_EQ(rec.found, 0);
}

} // namespace
