// Start-up against simulated machines, in process: the FC functions with
// their driver, PCI and WWN data, converged discovery and the copy of the
// converged functions, FCoE matching on real NEXA data, and the start-up
// failures the machine can produce.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "libtgx/libtgx.h"
#include "tests/support/support.h"

namespace {

class StartupRun : public ::testing::Test {
  protected:
    void TearDown() override {
        releaseRun();
        g_msg.console = nullptr;
        if (console_) fclose(console_);
    }

    // Start-up and table completion as the program runs them; returns the
    // start-up status.
    int32_t start(const std::string& fleet, std::vector<std::string> args) {
        state_.init(fleet);
        TGX_FreeDiagEnv(); // the library scans the new machine on its next call
        releaseRun();
        memset(&g_run, 0, sizeof g_run);
        messageReset();
        console_ = tmpfile();
        g_msg.console = console_;
        args.insert(args.begin(), "hbaset");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        int32_t st = startUp(static_cast<int>(argv.size()), argv.data());
        if (st == 0) {
            copyConvergedFunctions();
            identificationPass();
            refreshPass();
            matchFcoeFunctions();
        }
        return st;
    }

    std::string console() {
        std::string text;
        fflush(console_);
        rewind(console_);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, console_)) > 0)
            text.append(buf, n);
        return text;
    }

    static size_t count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
            n++;
        return n;
    }

    hbatest::TempState state_;
    FILE* console_ = nullptr;
};

// Default fleet: FC1 (2 fc), BRV1 (2 fc), CNA1 cv3 (2 fcoe, 2 nic), CNA2
// tarnel (2 iscsi, 2 nic).
TEST_F(StartupRun, DefaultFleetTable) {
    ASSERT_EQ(start("", {"listhba"}), 0);
    EXPECT_TRUE(g_run.nexaUp);
    EXPECT_EQ(g_table.fcCount, 6u);
    EXPECT_EQ(g_table.iscsiCount, 2u);
    EXPECT_EQ(g_table.nicCount, 4u);
    EXPECT_EQ(g_table.totalCount, 12u);
    EXPECT_EQ(g_table.fcoeCount, 2u);
    EXPECT_EQ(g_table.cnaAdapterCount, 2u);
    EXPECT_EQ(count(console(), "No Corevane"), 0u);

    struct Row {
        uint32_t kind;
        uint32_t deviceId; // FC device ID, or the cna one for converged entries
        uint32_t cnaAdapter;
        uint32_t cnaPort;
    };
    const Row rows[] = {
        {0, 0xE300, 0, 0},
        {0, 0xE300, 0, 0},
        {0, 0xE200, 0, 0},
        {0, 0xE200, 0, 0},
        {KIND_FCOE_FUNCTION, 0x0714, 0, 0},
        {KIND_FCOE_FUNCTION, 0x0714, 0, 1},
        {KIND_NIC_FUNCTION, 0x0710, 0, 0},
        {KIND_NIC_FUNCTION, 0x0710, 0, 1},
        {KIND_ISCSI_FUNCTION, 0x0722, 1, 0},
        {KIND_ISCSI_FUNCTION, 0x0722, 1, 1},
        {KIND_NIC_FUNCTION, 0x0720, 1, 0},
        {KIND_NIC_FUNCTION, 0x0720, 1, 1},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        SCOPED_TRACE(k);
        const AdapterRecord* r = adapterAt(static_cast<int>(k));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->functionKind, rows[k].kind);
        EXPECT_EQ(entryDeviceId(r), rows[k].deviceId);
        if (k < 6) {
            EXPECT_EQ(r->vendorId, 0x1F3C);
            EXPECT_EQ(r->sli4, 1u);
            EXPECT_EQ(r->mailboxLimit, 2048u); // driver version ST2.10A3
            EXPECT_EQ(r->deviceId, r->subsystemId);
        } else {
            EXPECT_EQ(r->cnaVendorId, 0x1F3Cu);
            EXPECT_EQ(r->deviceId, 0);
            EXPECT_EQ(r->mailboxLimit, 0u);
        }
        if (rows[k].kind != 0) {
            EXPECT_EQ(r->cnaAdapterIndex, rows[k].cnaAdapter);
            EXPECT_EQ(r->cnaPortNumber, rows[k].cnaPort);
            EXPECT_EQ(r->linkUp, 1u);
        }
    }
    // SLI-4 region 32 bytes 10 00 02 1F 3C 03 00 00 (CNA1 is the third adapter).
    EXPECT_EQ(adapterAt(4)->wwpnHigh, 0x1000021Fu);
    EXPECT_EQ(adapterAt(4)->wwpnLow, 0x3C030000u);
    EXPECT_EQ(adapterAt(5)->wwpnLow, 0x3C030100u);
    EXPECT_EQ(adapterAt(4)->fcoeMatched, 1u);
    EXPECT_EQ(g_table.cnaAdapterList[0].flags & CNA_FLAG_FCOE, CNA_FLAG_FCOE);
    EXPECT_EQ(g_table.cnaAdapterList[1].flags & CNA_FLAG_FCOE, 0u);
    EXPECT_STREQ(adapterAt(6)->cnaSerialNumber, "QS2100003");
    EXPECT_STREQ(adapterAt(8)->cnaSerialNumber, "QS2100004");
    EXPECT_EQ(adapterAt(8)->cnaBus, 0x40u);
    // Converged NIC and iSCSI entries carry their MACs.
    for (int i : {6, 8, 10}) {
        const AdapterRecord* r = adapterAt(i);
        EXPECT_EQ(r->currentMac[0], 0x02) << i;
        EXPECT_EQ(memcmp(r->currentMac, r->permanentMac, 6), 0) << i;
    }
    EXPECT_STREQ(g_run.commandLine, "listhba");
    EXPECT_STREQ(g_run.argumentSlots[1], "listhba");
    EXPECT_TRUE(g_table.useVpdModel);
    EXPECT_NE(g_run.bootImageLists, nullptr);
    EXPECT_NE(g_run.testSelection, nullptr);
}

TEST_F(StartupRun, ConvergedModelFromVpdUnlessCodeModels) {
    const char* fleet = R"(
adapter T tarnel model = TRN4102X
function nic
function iscsi
adapter C cv2 model = CV2C100X
function nic
)";
    ASSERT_EQ(start(fleet, {"listattr"}), 0);
    ASSERT_EQ(g_table.totalCount, 3u);
    // Tarnel functions: the VPD model; CV2 functions never read it.
    EXPECT_STREQ(adapterAt(0)->modelName, "TRN4102X");
    EXPECT_NE(adapterAt(0)->flags & ADAPTER_FLAG_VPD_MODEL, 0u);
    EXPECT_NE(adapterAt(1)->flags & ADAPTER_FLAG_VPD_MODEL, 0u);
    EXPECT_EQ(adapterAt(2)->flags & ADAPTER_FLAG_VPD_MODEL, 0u);

    ASSERT_EQ(start(fleet, {"listattr", "/c"}), 0);
    EXPECT_FALSE(g_table.useVpdModel);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(adapterAt(i)->flags & ADAPTER_FLAG_VPD_MODEL, 0u) << i;
}

TEST_F(StartupRun, FcOnlyFleetReportsNoCorevaneOnce) {
    const char* fleet = "adapter F fc\nfunction fc\nfunction fc\n";
    ASSERT_EQ(start(fleet, {"listhba"}), 0);
    EXPECT_EQ(count(console(), "No Corevane\n"), 1u);
    EXPECT_FALSE(g_run.nexaUp);
    EXPECT_EQ(g_table.totalCount, 2u);

    ASSERT_EQ(start(fleet, {"listhba", "/nonexa"}), 0);
    EXPECT_EQ(count(console(), "No Corevane"), 0u);
    EXPECT_FALSE(g_run.nexaEnabled);
}

TEST_F(StartupRun, NonexaLeavesFcoeUnmatched) {
    ASSERT_EQ(start("", {"/nonexa", "listhba"}), 0);
    EXPECT_FALSE(g_run.nexaUp);
    EXPECT_EQ(g_table.totalCount, 6u);
    EXPECT_EQ(g_table.fcoeCount, 2u);
    EXPECT_EQ(adapterAt(4)->fcoeMatched, 0u);
    EXPECT_EQ(cnaAdapterOf(4), nullptr);
}

// The factory WWN in region 32 differs from the WWPN NEXA shows, and port 1
// has no FCoE function: the fallback matches by bus and OEM serial number.
// The VPD port value ("0") is the number of NEXA's "Port 0", whose link state
// the entry adopts.
TEST_F(StartupRun, FallbackMatchAndUnmatchedEntry) {
    const std::string fleet = R"(
adapter A cv3
function fcoe port = 0 factory_wwn = 10:00:00:00:C9:00:00:01
function nic port = 0
function nic port = 1
)";
    ASSERT_EQ(start(fleet, {"listhba"}), 0);
    const AdapterRecord* r = adapterAt(0);
    EXPECT_EQ(r->wwpnHigh, 0x10000000u);
    EXPECT_EQ(r->wwpnLow, 0xC9000001u);
    EXPECT_EQ(r->fcoeMatched, 1u);
    EXPECT_EQ(r->cnaAdapterIndex, 0u);
    EXPECT_EQ(r->cnaPortNumber, 0u);
    EXPECT_EQ(r->linkUp, 1u);

    ASSERT_EQ(start(fleet + "adapter B cv3 oem_serial = OTHER\nfunction fcoe\nfunction nic\n",
                    {"listhba"}),
              0);
    EXPECT_EQ(adapterAt(0)->fcoeMatched, 1u);
    // B's FCoE function: its WWPN is on B's port 0, so it matches there.
    EXPECT_EQ(adapterAt(1)->cnaAdapterIndex, 1u);

    ASSERT_EQ(start(R"(
adapter A cv3 oem_serial = OTHER
function fcoe port = 0 factory_wwn = 10:00:00:00:C9:00:00:01
function nic port = 0
function nic port = 1
)",
                    {"listhba"}),
              0);
    EXPECT_EQ(adapterAt(0)->fcoeMatched, 0u);
    EXPECT_EQ(cnaAdapterOf(0), nullptr);
}

TEST_F(StartupRun, DriverFactsPerFunction) {
    const char* fleet = R"(
adapter A fc
function fc drv_ver = ST2.00A8
function fc drv_ver = ST2.00A9
function fc drv_type = 7
function fc drv_type = 2
)";
    ASSERT_EQ(start(fleet, {"listhba", "/nonexa"}), 0);
    const uint32_t limits[] = {108, 256, 0, 108};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(adapterAt(i)->mailboxLimit, limits[i]) << i;
    EXPECT_EQ(adapterAt(2)->sli4, 0u);         // the driver type ends the driver step
    EXPECT_EQ(adapterAt(2)->deviceId, 0xE300); // PCI data is read all the same
    EXPECT_EQ(count(console(), "No SCSIport Nor StorPort Miniport Nor Linux driver installed\n"),
              1u);
}

TEST_F(StartupRun, StartUpFailures) {
    ASSERT_EQ(start("", {"listhba", "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",
                         "10",      "11", "12", "13", "14", "15", "16", "17", "18", "19"}),
              CLU_SYNTAX);
    EXPECT_EQ(console(), "Invalid number of arguments\n");

    ASSERT_EQ(start("# no adapter\n", {"listhba"}), CLU_NO_ADAPTER);
    EXPECT_NE(console().find("No Quoral CNA adapters installed\n"), std::string::npos);
}

} // namespace
