// readmac, writesvmac, restoredefsvmac and listmac on the simulated machine:
// MAC validity, the duplicate checks on the adapter and in the profile view,
// port numbers from NEXA that index nothing, NEXA failures and zero MACs.
#include <cstring>
#include <string>

#include "hbaset/cna/cna_ops.h"
#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;
using cnatest::nexaFault;

constexpr int kCv3Nic = 6; // entry 7 of the default fleet

MalNicFunction* nicRecord(int i) {
    return const_cast<MalNicFunction*>(cnaNicRecordOf(i));
}

// A CV3 adapter whose NIC functions have a different current, permanent,
// factory and semi-volatile MAC each (entries 1 FCoE, 2-3 NIC), and a Tarnel
// NIC (entry 4): a reader of the wrong NEXA property shows another value.
const char kDistinctMacFleet[] =
    "adapter C cv3\n"
    "function fcoe\n"
    "function nic mac = 02-1F-3C-C1-00-01 permanent_mac = 02-1F-3C-C1-00-02"
    " factory_mac = 02-1F-3C-C1-00-03 sv_mac = 02-1F-3C-C1-00-04\n"
    "function nic mac = 02-1F-3C-C2-00-01 permanent_mac = 02-1F-3C-C2-00-02"
    " factory_mac = 02-1F-3C-C2-00-03\n"
    "adapter T tarnel\n"
    "function nic mac = 02-1F-3C-D1-00-01 permanent_mac = 02-1F-3C-D1-00-02\n";

TEST(WriteSvMac, Validity) {
    const struct {
        const char* mac;
        int32_t status;
        const char* reason; // second line of the refusal, or the first line written
    } cases[] = {
        {"100000000001", CLU_INPUT_VALUE,
         "Invalid MAC Address 10-00-00-00-00-01\n"
         "Most significant 4 bits of byte 0 are reserved and must be zero\n"},
        {"010000000002", CLU_INPUT_VALUE,
         "Invalid MAC Address 01-00-00-00-00-02\nMulticast MAC Address detected\n"},
        {"FFFFFFFFFFFF", CLU_INPUT_VALUE,
         "Invalid MAC Address FF-FF-FF-FF-FF-FF\nBroadcast MAC Address detected\n"},
        {"000000000000", CLU_INPUT_VALUE,
         "Invalid MAC Address 00-00-00-00-00-00\nZero MAC Address detected\n"},
        {"020000000001", CLU_OK,
         "Skipping MACAddress check using ProfileManagement\n"
         "Writing semi-volatile MAC Address 02-00-00-00-00-01\n"
         "Please REBOOT the system now to activate the semi-volatile MAC address\n"},
        // The MAC of the other NIC function of the adapter.
        {"021F3C030301", CLU_MAC_EXISTS, "MAC Address already exists on the adapter\n"},
        // The function's own factory MAC skips the duplicate checks.
        {"021F3C030200", CLU_OK,
         "Writing semi-volatile MAC Address 02-1F-3C-03-02-00\n"
         "Please REBOOT the system now to activate the semi-volatile MAC address\n"},
    };
    Machine m;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mac);
        EXPECT_EQ(m.run({"writesvmac", "n=7", std::string("m=") + c.mac}), c.status);
        EXPECT_EQ(m.take(), c.reason);
    }
}

TEST(WriteSvMac, EntryNumbersOutsideTheTable) {
    Machine m;
    for (const char* n : {"n=0", "n=13", "n=4294967303"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(m.run({"writesvmac", n, "m=020000000001"}), CLU_INVALID_ADAPTER);
        m.take();
    }
}

// A Tarnel adapter whose iSCSI function on port 0 uses 02-AA-00-00-00-01.
const char kTarnelFleet[] = "adapter T tarnel\n"
                            "function iscsi mac = 02:AA:00:00:00:01\n"
                            "function nic\n";

TEST(WriteSvMac, ProfileViewDuplicateOnTarnelOnly) {
    Machine tarnel(kTarnelFleet);
    EXPECT_EQ(tarnel.run({"writesvmac", "n=2", "m=02AA00000001"}), CLU_MAC_EXISTS);
    std::string out = tarnel.take();
    EXPECT_EQ(out.find("Initiating duplicate MAC Address check using ProfileManagement\n"
                       "Searching for Functions on PortNumber 0\n"
                       "Found duplicate MACAddress: 02-AA-00-00-00-01\n"
                       "Location: PortNumber 0 FunctionNumber "),
              0u)
        << out;
    EXPECT_NE(out.find(" Protocol 2\n"), std::string::npos) << out;
    EXPECT_EQ(tarnel.run({"writesvmac", "n=2", "m=02AA00000002"}), CLU_OK);
    EXPECT_NE(tarnel.take().find("Duplicate MAC Address check completed successfully\n"),
              std::string::npos);

    Machine cv3("adapter C cv3\nfunction iscsi mac = 02:AA:00:00:00:01\nfunction nic\n");
    EXPECT_EQ(cv3.run({"writesvmac", "n=2", "m=02AA00000001"}), CLU_OK);
    EXPECT_EQ(cv3.take().find("Skipping MACAddress check using ProfileManagement\n"), 0u);
}

TEST(WriteSvMac, ProfileViewFailures) {
    const struct {
        const char* call; // injected "rc=1"; null: the record's port number is changed
        int port;
        const char* line;
    } cases[] = {
        {"get_valid_instances:Port", 0, "EnumeratePMPorts failed. rmStatus 114\n"},
        {"get_valid_instances:Function", 0, "EnumeratePMPortFunctions failed. rmStatus 114\n"},
        {"get_property_val:Protocol", 0, "GetPMFunctionProfileSetting failed. rmStatus 114\n"},
        {nullptr, -1, "Invalid PortNumber -1\n"},
        {nullptr, 2, "Invalid PortNumber 2\n"}, // the adapter has ports 0 and 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Machine m("adapter T tarnel\nfunction iscsi\nfunction nic\nfunction nic\n");
        if (c.call != nullptr) nexaFault(c.call, "rc=1");
        nicRecord(1)->portNumber = c.port;
        EXPECT_EQ(m.run({"writesvmac", "n=2", "m=02AA00000001"}), CLU_NIC_SETTING_FAILED);
        std::string out = m.take();
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_EQ(out.find("Writing semi-volatile"), std::string::npos) << out;
    }
}

TEST(WriteSvMac, WriteFailureAndRecordNotFound) {
    Machine m;
    nexaFault("set_property_val:VolatileMACAddress", "rc=1");
    EXPECT_EQ(m.run({"writesvmac", "n=7", "m=020000000001"}), CLU_NIC_SETTING_FAILED);
    EXPECT_NE(m.take().find("Writing the semi-volatile MAC address failed. NEXA Status = 114\n"),
              std::string::npos);
    // An entry whose MACs match no NIC record.
    memset(adapterAt(kCv3Nic)->permanentMac, 0x42, 6);
    memset(adapterAt(kCv3Nic)->currentMac, 0x42, 6);
    EXPECT_EQ(m.run({"writesvmac", "n=7", "m=020000000001"}), CLU_MAC_FAILED);
    EXPECT_EQ(m.take(), "MAC Address not found\n");
}

TEST(RestoreDefSvMac, WritesTheFactoryMacWithoutChecks) {
    Machine m(kDistinctMacFleet);
    EXPECT_EQ(m.run({"restoredefsvmac", "n=2"}), CLU_OK);
    EXPECT_EQ(m.take(), "Writing semi-volatile MAC Address 02-1F-3C-C1-00-03\n"
                        "Please REBOOT the system now to activate the semi-volatile MAC address\n");
    // An unreadable factory MAC (all FF) is refused by the setter.
    memset(adapterAt(1)->altMac, 0xFF, 6);
    memset(nicRecord(1)->factoryDefaultMacAddress, 0xFF, 6);
    EXPECT_EQ(m.run({"restoredefsvmac", "n=2"}), CLU_NIC_SETTING_FAILED);
    EXPECT_NE(m.take().find("NEXA Status = 106\n"), std::string::npos);
}

TEST(ReadMac, ShowsTheThreeMacsAndRefusesZeroOnes) {
    Machine m(kDistinctMacFleet);
    const struct {
        const char* n;
        const char* out;
    } cases[] = {
        {"n=2", "Current MAC Address       : 02-1F-3C-C1-00-01\n"
                "Factory MAC Address       : 02-1F-3C-C1-00-03\n"
                "Semi-Volatile MAC Address : 02-1F-3C-C1-00-04\n"},
        {"n=3", "Current MAC Address       : 02-1F-3C-C2-00-01\n"
                "Factory MAC Address       : 02-1F-3C-C2-00-03\n"
                "Semi-Volatile MAC Address : N/A\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(m.run({"readmac", c.n}), CLU_OK);
        EXPECT_EQ(m.take(), c.out);
    }
    memset(adapterAt(1)->semiVolatileMac, 0, 6);
    EXPECT_EQ(m.run({"readmac", "n=2"}), CLU_MAC_FAILED);
    EXPECT_EQ(m.take(), "Current MAC Address       : 02-1F-3C-C1-00-01\n"
                        "Factory MAC Address       : 02-1F-3C-C1-00-03\n"
                        "Semi-Volatile MAC Address : 00-00-00-00-00-00\n");
    EXPECT_EQ(m.run({"readmac", "n=1"}), CLU_NOT_SUPPORTED) << "an FCoE entry";
}

TEST(ListMac, EveryEntryOrOne) {
    Machine m(kDistinctMacFleet);
    EXPECT_EQ(m.run({"listmac"}), CLU_OK);
    EXPECT_EQ(m.take(), "adapter 1: not a NIC HBA\n"
                        "adapter 2: NIC Permanent MAC 02-1f-3c-c1-00-02  MAC 02-1f-3c-c1-00-01\n"
                        "adapter 3: NIC Permanent MAC 02-1f-3c-c2-00-02  MAC 02-1f-3c-c2-00-01\n"
                        "adapter 4: NIC Permanent MAC 02-1f-3c-d1-00-02  MAC 02-1f-3c-d1-00-01\n");
    EXPECT_EQ(m.run({"listmac", "n=3"}), CLU_OK);
    EXPECT_EQ(m.take(), "adapter 3: NIC Permanent MAC 02-1f-3c-c2-00-02  MAC 02-1f-3c-c2-00-01\n");
    EXPECT_EQ(m.run({"listmac", "n=1"}), CLU_INVALID_ADAPTER);
    EXPECT_EQ(m.take(), "Invalid Adapter Number: 1\n");
}

TEST(ListMac, NoAdapterNoNicAndZeroMacs) {
    {
        Machine m;
        memset(adapterAt(kCv3Nic)->currentMac, 0, 6);
        EXPECT_EQ(m.run({"listmac"}), CLU_MAC_FAILED);
        std::string out = m.take();
        EXPECT_NE(out.find("adapter 7: NIC Permanent MAC 02-1f-3c-03-02-00  MAC 00-00-00-00-00-00"),
                  std::string::npos);
        EXPECT_NE(out.find("adapter 12: "), std::string::npos) << "the listing goes on";
        g_table.totalCount = 0;
        EXPECT_EQ(m.run({"listmac"}), CLU_NO_ADAPTER);
        EXPECT_EQ(m.take(), "No Quoral adapter detected in the system\n");
    }
    Machine iscsiOnly("adapter T tarnel\nfunction iscsi\n");
    EXPECT_EQ(iscsiOnly.run({"listmac"}), CLU_CNA_NO_NIC);
    EXPECT_EQ(iscsiOnly.take(), "No NIC adapter detected in the system\n");
}

} // namespace
