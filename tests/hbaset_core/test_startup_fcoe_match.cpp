// FCoE matching over a hand-built table: by the ports' FCoE WWPN, by the
// fallback on PCI bus and OEM serial number (with the port adopted by name or
// number), and entries that match nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"

namespace {

struct PortSpec {
    const char* name;
    const char* wwpn; // "" = no FCoE WWPN
    int32_t number;
    uint32_t linkUp;
};

struct AdapterSpec {
    const char* oemSerial;
    uint32_t nicBus; // bus of the first NIC function; 0 = no NIC function
    std::vector<PortSpec> ports;
};

struct FcoeSpec {
    uint32_t wwpnHigh;
    uint32_t wwpnLow;
    uint32_t pciBus;
    const char* serial;
    const char* vpdPortName;
    int32_t vpdPortNumber; // the decimal value of the VPD port
};

void copyInto(char* dst, size_t size, const char* src) {
    snprintf(dst, size, "%s", src);
}

// Builds the table: one FC entry first (never touched), then the FCoE
// entries, and the converged adapter list.
void buildTable(const std::vector<AdapterSpec>& adapters, const std::vector<FcoeSpec>& fcoe) {
    adapterTableRelease();
    uint32_t fc = static_cast<uint32_t>(fcoe.size()) + 1;
    ASSERT_TRUE(adapterTableAllocate(fc));
    g_table.fcCount = g_table.totalCount = fc;
    for (size_t k = 0; k < fcoe.size(); k++) {
        AdapterRecord* r = adapterAt(static_cast<int>(k + 1));
        r->functionKind = KIND_FCOE_FUNCTION;
        r->wwpnHigh = fcoe[k].wwpnHigh;
        r->wwpnLow = fcoe[k].wwpnLow;
        r->pciBus = fcoe[k].pciBus;
        r->cnaAdapterIndex = 77; // whatever was there before must not survive
        copyInto(r->serialNumber, sizeof r->serialNumber, fcoe[k].serial);
        copyInto(r->vpdPortName, sizeof r->vpdPortName, fcoe[k].vpdPortName);
        r->vpdPortNumber = fcoe[k].vpdPortNumber;
    }
    ASSERT_TRUE(cnaAdapterListAllocate(static_cast<uint32_t>(adapters.size())));
    for (size_t k = 0; k < adapters.size(); k++) {
        CorevaneAdapter& a = g_table.cnaAdapterList[k];
        copyInto(a.oemSerials.oemSerialNumber, sizeof a.oemSerials.oemSerialNumber,
                 adapters[k].oemSerial);
        if (adapters[k].nicBus != 0) {
            a.nicFunctions = static_cast<MalNicFunction*>(calloc(1, sizeof(MalNicFunction)));
            a.nicFunctions[0].pci.busNumber = adapters[k].nicBus;
            a.nicFunctionCount = 1;
            a.flags = CNA_FLAG_NEXA | CNA_FLAG_NIC;
        }
        const std::vector<PortSpec>& ports = adapters[k].ports;
        a.ports =
            static_cast<MalPortAttributes*>(calloc(ports.size() + 1, sizeof(MalPortAttributes)));
        a.portCount = static_cast<uint32_t>(ports.size());
        for (size_t p = 0; p < ports.size(); p++) {
            MalPortAttributes& port = a.ports[p];
            copyInto(port.portName, sizeof port.portName, ports[p].name);
            copyInto(port.fcoeWwpn, sizeof port.fcoeWwpn, ports[p].wwpn);
            port.portNumber = ports[p].number;
            port.linkUp = ports[p].linkUp;
            port.adapterIndex = static_cast<uint32_t>(k);
        }
    }
}

class FcoeMatch : public ::testing::Test {
  protected:
    void SetUp() override { g_run.nexaUp = true; }
    void TearDown() override {
        adapterTableRelease();
        g_run.nexaUp = false;
    }
    // Expected outcome of FCoE entry k (table index k + 1).
    void expectEntry(size_t k, bool matched, uint32_t adapter, uint32_t port, uint32_t linkUp) {
        int i = static_cast<int>(k + 1);
        const AdapterRecord* r = adapterAt(i);
        EXPECT_EQ(r->fcoeMatched != 0, matched) << "entry " << k;
        if (matched) {
            EXPECT_EQ(r->cnaAdapterIndex, adapter) << "entry " << k;
            EXPECT_EQ(r->cnaPortNumber, port) << "entry " << k;
            EXPECT_EQ(r->linkUp, linkUp) << "entry " << k;
            EXPECT_EQ(cnaAdapterOf(i), &g_table.cnaAdapterList[adapter]) << "entry " << k;
        } else {
            EXPECT_EQ(cnaAdapterOf(i), nullptr) << "entry " << k;
        }
    }
    uint32_t adapterFlags(size_t k) const { return g_table.cnaAdapterList[k].flags; }
};

const FcoeSpec kEntryA = {0x1000021F, 0x3C030000, 0x30, "QS1", "p0", 0};
const FcoeSpec kEntryB = {0x1000021F, 0x3C030100, 0x30, "QS1", "1", 1};

TEST_F(FcoeMatch, ByWwpnAcrossAdapters) {
    buildTable(
        {
            {"QS0", 0x20, {{"Port 0", "10:00:00:00:00:00:00:01", 0, 1}}},
            {"QS1",
             0x30,
             {{"Port 0", "10:00:02:1F:3C:03:00", 0, 1}, // seven fields: no match
              {"Port 1", "10:00:02:1F:3C:03:01:00", 1, 0},
              {"Port 2", "10:00:02:1f:3c:03:00:00", 2, 1}}},
        },
        {kEntryA, kEntryB});
    matchFcoeFunctions();
    expectEntry(0, true, 1, 2, 1);
    expectEntry(1, true, 1, 1, 0);
    EXPECT_EQ(adapterFlags(1) & (CNA_FLAG_NEXA | CNA_FLAG_FCOE), CNA_FLAG_NEXA | CNA_FLAG_FCOE);
    EXPECT_EQ(adapterFlags(0) & CNA_FLAG_FCOE, 0u);
    EXPECT_EQ(adapterAt(0)->fcoeMatched, 0u); // the plain FC entry is left alone
}

TEST_F(FcoeMatch, FallbackByBusAndSerial) {
    struct Case {
        const char* what;
        AdapterSpec adapter;
        FcoeSpec entry;
        bool matched;
        uint32_t port;
        uint32_t linkUp;
    };
    const Case cases[] = {
        {"port adopted by name, case ignored",
         {"qs1", 0x30, {{"Port 7", "", 7, 1}, {"P0", "", 3, 1}, {"p0", "", 4, 0}}},
         kEntryA,
         true,
         3,
         1},
        {"port adopted by number: NEXA names it \"Port 1\", the VPD \"1\"",
         {"QS1", 0x30, {{"Port 0", "", 0, 0}, {"Port 1", "", 1, 1}}},
         kEntryB,
         true,
         1,
         1},
        {"a VPD port that is not a number never matches by number",
         {"QS1", 0x30, {{"Port 0", "", 0, 1}}},
         kEntryA,
         true,
         0,
         0},
        {"no port of that name: link down",
         {"QS1", 0x30, {{"Port 7", "", 7, 1}}},
         kEntryA,
         true,
         0,
         0},
        {"other bus", {"QS1", 0x40, {{"0", "", 0, 1}}}, kEntryA, false, 0, 0},
        {"other serial", {"QS9", 0x30, {{"0", "", 0, 1}}}, kEntryA, false, 0, 0},
        {"no NIC function", {"QS1", 0, {{"0", "", 0, 1}}}, kEntryA, false, 0, 0},
        {"every port has a WWPN: no fallback",
         {"QS1", 0x30, {{"0", "10:00:00:00:00:00:00:09", 0, 1}}},
         kEntryA,
         false,
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        buildTable({c.adapter}, {c.entry});
        matchFcoeFunctions();
        expectEntry(0, c.matched, 0, c.port, c.linkUp);
        EXPECT_EQ((adapterFlags(0) & CNA_FLAG_FCOE) != 0, c.matched);
    }
}

// An entry matched by WWPN to the first adapter (index 0) is not taken again
// by the fallback, even when another adapter's bus and serial fit it.
TEST_F(FcoeMatch, WwpnMatchOnFirstAdapterIsKept) {
    buildTable(
        {
            {"QS0", 0x20, {{"Port 0", "10:00:02:1F:3C:03:00:00", 0, 1}}},
            {"QS1", 0x30, {{"0", "", 5, 1}}},
        },
        {kEntryA});
    matchFcoeFunctions();
    expectEntry(0, true, 0, 0, 1);
    EXPECT_EQ(adapterFlags(1) & CNA_FLAG_FCOE, 0u);
}

TEST_F(FcoeMatch, NothingWithoutNexa) {
    buildTable({{"QS1", 0x30, {{"Port 0", "10:00:02:1F:3C:03:00:00", 0, 1}}}}, {kEntryA});
    g_run.nexaUp = false;
    matchFcoeFunctions();
    expectEntry(0, false, 0, 0, 0);
}

} // namespace
