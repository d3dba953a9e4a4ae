// The inventory listings over a simulated machine started as hbaset starts:
// the listattr blocks field by field for every function kind, the boot and
// firmware texts of each adapter family, failures that a listing survives,
// and the short forms (listfw, listhba), hbaattr, pcidata and version.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/startup.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

using Lines = std::vector<std::string>;

// A machine from a fleet, started as hbaset starts with the given arguments
// (table, identification, converged functions, FCoE matching); console
// output is captured.
class Started {
  public:
    explicit Started(const std::string& fleet, const Lines& args = {"listattr"}) {
        state_.init(fleet);
        TGX_FreeDiagEnv();
        releaseRun();
        memset(&g_run, 0, sizeof g_run);
        g_run.nexaEnabled = true;
        messageReset();
        console_ = std::tmpfile();
        g_msg.console = console_;
        std::vector<std::string> argvText = {"hbaset"};
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argvText)
            argv.push_back(a.data());
        status = startUp(static_cast<int>(argv.size()), argv.data());
        if (status == CLU_OK) {
            copyConvergedFunctions();
            identificationPass();
            refreshPass();
            matchFcoeFunctions();
        }
        startText = take();
        g_run.cluStatus = CLU_OK;
    }
    ~Started() {
        hbasim::fault_clear();
        releaseRun();
        TGX_FreeDiagEnv();
        g_msg.console = nullptr;
        if (console_) std::fclose(console_);
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    std::string take() {
        std::fflush(console_);
        std::rewind(console_);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, console_)) > 0)
            text.append(buf, n);
        std::fclose(console_);
        console_ = std::tmpfile();
        g_msg.console = console_;
        return text;
    }

    int32_t status = -1;
    std::string startText;

  private:
    hbatest::TempState state_;
    FILE* console_ = nullptr;
};

Lines linesOf(const std::string& text) {
    Lines out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

// listattr output split into blocks at the empty line that ends each.
std::vector<Lines> blocksOf(const std::string& text) {
    std::vector<Lines> blocks(1);
    for (const std::string& l : linesOf(text)) {
        if (l.empty())
            blocks.emplace_back();
        else
            blocks.back().push_back(l);
    }
    if (blocks.back().empty()) blocks.pop_back();
    return blocks;
}

// The value of a labelled line ("label<blanks> : value") of a block.
std::string field(const Lines& block, const std::string& label) {
    for (const std::string& l : block) {
        size_t sep = l.find(" : ");
        if (sep == std::string::npos) continue;
        std::string key = l.substr(0, sep);
        key.erase(key.find_last_not_of(' ') + 1);
        if (key == label) return l.substr(sep + 3);
    }
    return "<missing>";
}

std::string run(Started& m, void (*command)()) {
    command();
    return m.take();
}

void addFault(const std::string& match, int port, const std::string& action) {
    hbasim::Fault f;
    f.source = "mbx";
    f.match = match;
    f.port = port;
    f.action = action;
    ASSERT_EQ(hbasim::fault_add(f), 0);
}

// Region 4 (60 bytes) with the boot BIOS word (bytes 12-15) and the expansion
// ROM word (bytes 52-55), little-endian, as fleet hex.
std::string wakeupHex(uint32_t bootBios, uint32_t expRom) {
    uint8_t b[60] = {};
    for (int k = 0; k < 4; ++k) {
        b[12 + k] = static_cast<uint8_t>(bootBios >> (8 * k));
        b[52 + k] = static_cast<uint8_t>(expRom >> (8 * k));
    }
    std::string s;
    char h[3];
    for (uint8_t x : b) {
        snprintf(h, sizeof h, "%02X", x);
        s += h;
    }
    return s;
}

// Fleet hex of a VPD with an identifier string and the read-only keywords
// SN, V2 and V4.
std::string vpdHex(const std::string& sn, const std::string& model) {
    std::vector<uint8_t> kw;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"SN", sn}, {"V2", model}, {"V4", "0"}}) {
        kw.insert(kw.end(), {uint8_t(key[0]), uint8_t(key[1]), uint8_t(value.size())});
        kw.insert(kw.end(), value.begin(), value.end());
    }
    kw.insert(kw.end(), {'R', 'V', 1, 0});
    std::vector<uint8_t> v = {0x82, 2, 0, 'I', 'D', 0x90, uint8_t(kw.size()), 0};
    v.insert(v.end(), kw.begin(), kw.end());
    std::string s;
    char h[3];
    for (uint8_t x : v) {
        snprintf(h, sizeof h, "%02X", x);
        s += h;
    }
    return s;
}

// ---- listattr blocks ---------------------------------------------------------------------

struct BlockCase {
    int n;
    Lines lines;
};

TEST(InventoryListAttr, BlocksOfEveryFunctionKindOnTheDefaultFleet) {
    Started m("");
    ASSERT_EQ(m.status, CLU_OK);
    ASSERT_EQ(g_table.totalCount, 12u);
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    EXPECT_EQ(g_run.cluStatus, CLU_OK);
    ASSERT_EQ(blocks.size(), 12u);

    const BlockCase cases[] = {
        // SLI-4 FC function of the newest Brevin FC device: controller queries
        // give the boot texts; the BIOS line is there.
        {1, {"HBA                  : 1",          "Serial Number        : QS2100001",
             "Model                : TGF3202",    "FW Version           : 14.0.499.25",
             "Boot Version         : 12.0.342.0", "Boot Enabled         : 0",
             "BIOS Version         : 12.0.342.0", "Port WWN             : 10:00:02:1F:3C:01:00:00",
             "Function Type        : FC",         "Device ID            : E300",
             "Vendor ID            : 1F3C",       "Sub Device ID        : E300",
             "Sub Vendor ID        : 1F3C",       "PCI Bus Number       : 10",
             "PCI Dev Number       : 0",          "PCI Fun Number       : 0",
             "VPD Model            : 1",          "Multi Channel        : 1",
             "Configuration        : 0",          "CVR                  : 0",
             "RevID                : 10"}},
        // A matched FCoE function: texts from the converged adapter record,
        // the serial of the adapter's NIC function.
        {5, {"HBA                  : 5",           "Serial Number        : QS2100003",
             "Model                : CV3C102",     "FW Version           : 11.4.204.20",
             "Boot Version         : 11.4.204.20", "Boot Enabled         : 0",
             "BIOS Version         : 12.0.342.0",  "Port WWN             : 10:00:02:1F:3C:03:00:00",
             "Function Type        : FCoE",        "Device ID            : 0714",
             "Vendor ID            : 1F3C",        "Sub Device ID        : 0714",
             "Sub Vendor ID        : 1F3C",        "PCI Bus Number       : 30",
             "PCI Dev Number       : 0",           "PCI Fun Number       : 0",
             "VPD Model            : 1",           "Multi Channel        : 0",
             "Configuration        : 0",           "CVR                  : 1",
             "RevID                : 10"}},
        // A NIC function: the permanent MAC, no BIOS line.
        {7,
         {"HBA                  : 7",
          "Serial Number        : QS2100003",
          "Model                : CV3C102",
          "FW Version           : 11.4.204.20",
          "Boot Version         : 11.4.204.20",
          "Boot Enabled         : 0",
          "Permanent Mac        : 02:1F:3C:03:02:00",
          "Function Type        : NIC",
          "Device ID            : 0710",
          "Vendor ID            : 1F3C",
          "Sub Device ID        : 0710",
          "Sub Vendor ID        : 1F3C",
          "PCI Bus Number       : 30",
          "PCI Dev Number       : 0",
          "PCI Fun Number       : 2",
          "VPD Model            : 1",
          "Multi Channel        : 0",
          "Configuration        : 0",
          "CVR                  : 1",
          "RevID                : 10"}},
        // An iSCSI function of the second converged adapter.
        {9,
         {"HBA                  : 9",
          "Serial Number        : QS2100004",
          "Model                : TRN4102",
          "FW Version           : 12.0.261.8",
          "Boot Version         : 12.0.261.8",
          "Boot Enabled         : 0",
          "Permanent Mac        : 02:1F:3C:04:00:00",
          "Function Type        : iSCSI",
          "Device ID            : 0722",
          "Vendor ID            : 1F3C",
          "Sub Device ID        : 0722",
          "Sub Vendor ID        : 1F3C",
          "PCI Bus Number       : 40",
          "PCI Dev Number       : 0",
          "PCI Fun Number       : 0",
          "VPD Model            : 1",
          "Multi Channel        : 0",
          "Configuration        : 0",
          "CVR                  : 1",
          "RevID                : 10"}},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE("HBA " + std::to_string(c.n));
        EXPECT_EQ(blocks[c.n - 1], c.lines);
    }
    // Brevin FC functions (SLI-4) carry the BIOS line; converged ones do not.
    for (int n = 1; n <= 12; ++n)
        EXPECT_EQ(blocks[n - 1].size(), n <= 6 ? 21u : 20u) << "HBA " << n;
}

TEST(InventoryListAttr, UnmatchedFcoeFunctionShowsItsOwnTexts) {
    // The second FCoE function reports a port name NEXA does not show, so no
    // converged adapter claims it.
    Started m("adapter C cv3 serial = CNASERIAL\n"
              "function fcoe vpd = " +
              vpdHex("fcoesn0", "FcoeModel") +
              "\nfunction fcoe factory_wwn = 10:00:00:00:00:00:00:99 vpd = " +
              vpdHex("fcoesn1", "FcoeModel") + "\nfunction nic\n");
    ASSERT_EQ(m.status, CLU_OK);
    ASSERT_TRUE(g_run.nexaUp);
    ASSERT_EQ(adapterAt(0)->fcoeMatched, 1u);
    ASSERT_EQ(adapterAt(1)->fcoeMatched, 0u);
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    ASSERT_EQ(blocks.size(), 3u);

    const Lines& matched = blocks[0];
    const Lines& unmatched = blocks[1];
    EXPECT_EQ(field(matched, "Serial Number"), "CNASERIAL"); // its NIC function's
    EXPECT_EQ(field(matched, "FW Version"), "11.4.204.20");
    EXPECT_EQ(field(matched, "Boot Version"), "11.4.204.20");
    EXPECT_EQ(field(unmatched, "FW Version"), "11.4.204.20"); // the running firmware name
    EXPECT_EQ(field(unmatched, "Boot Version"), "0.0.0.0");
    EXPECT_EQ(field(unmatched, "BIOS Version"), "0.0.0.0");
    EXPECT_EQ(field(unmatched, "Boot Enabled"), "0");
    EXPECT_EQ(field(unmatched, "Serial Number"), "FCOESN1"); // its own VPD serial
    EXPECT_EQ(field(unmatched, "Port WWN"), "10:00:00:00:00:00:00:99");
    EXPECT_EQ(field(unmatched, "Function Type"), "FCoE");
}

TEST(InventoryListAttr, NoNexaFcoeFunctionShowsDefaultTextsAndItsSerial) {
    Started m("adapter C cv3 serial = CNASERIAL\nfunction fcoe vpd = " +
                  vpdHex("fcoesn0", "FcoeModel") + "\nfunction nic\n",
              {"listattr", "/nonexa"});
    ASSERT_EQ(m.status, CLU_OK);
    ASSERT_FALSE(g_run.nexaUp);
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].size(), 21u);
    EXPECT_EQ(field(blocks[0], "Boot Version"), "0.0.0.0");
    EXPECT_EQ(field(blocks[0], "BIOS Version"), "0.0.0.0");
    EXPECT_EQ(field(blocks[0], "Serial Number"), "FCOESN0");
    EXPECT_EQ(field(blocks[0], "Model"), "FcoeModel");
    EXPECT_EQ(field(blocks[0], "VPD Model"), "1");
    EXPECT_EQ(g_run.cluStatus, CLU_OK);
}

TEST(InventoryListAttr, ConvergedFirmwareTextsMustBeFourNumberVersions) {
    Started m("adapter C cv3 fw_flash = 1.2.3 bios_version = \"\"\n"
              "function fcoe\nfunction nic\n");
    ASSERT_EQ(m.status, CLU_OK);
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    ASSERT_EQ(blocks.size(), 2u);
    for (const Lines& b : blocks) {
        EXPECT_EQ(field(b, "FW Version"), "0.0.0.0");
        EXPECT_EQ(field(b, "Boot Version"), "11.4.204.20");
    }
    EXPECT_EQ(field(blocks[0], "BIOS Version"), "0.0.0.0");

    // hbaattr shows the attribute as NEXA gives it.
    cmdHbaAttr(1, false);
    Lines nic = linesOf(m.take());
    EXPECT_EQ(field(nic, "FirmwareVersionOnFlash"), "1.2.3");
    EXPECT_EQ(field(nic, "FW Version"), "<missing>"); // not shown for NEXA functions
}

TEST(InventoryListAttr, ModelTextFollowsTheVpdModelSwitch) {
    // Without "/c" a VPD model name wins; with it the table's base model shows.
    const struct {
        Lines args;
        bool baseModel;
    } cases[] = {{{"listattr"}, false}, {{"listattr", "/c"}, true}};
    for (const auto& c : cases) {
        Started m("adapter F fc\nfunction fc vpd = " + vpdHex("s1", "VpdName") + "\n", c.args);
        ASSERT_EQ(m.status, CLU_OK);
        ModelQuery q;
        fillModelQuery(0, &q);
        std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(field(blocks[0], "Model"), c.baseModel ? q.baseModel : "VpdName");
        EXPECT_EQ(field(blocks[0], "VPD Model"), c.baseModel ? "0" : "1");
    }
}

// ---- boot texts by family -----------------------------------------------------------------

struct BootCase {
    const char* name;
    std::string functionKeys; // keys of the one FC function
    std::string fault;        // mailbox fault after start-up ("" none)
    const char* boot;
    const char* bios;
    const char* enabled;
    int32_t status;
};

TEST(InventoryListAttr, BrevinBootTextsComeFromTheControllerQueries) {
    const BootCase cases[] = {
        {"disabled", "", "", "12.0.342.0B", "12.0.342.0B", "0", CLU_OK},
        {"enabled", "region_4 = " + wakeupHex(0x03112110, 0), "", "12.0.342.0B", "12.0.342.0B", "1",
         CLU_OK},
        {"state query fails", "region_4 = " + wakeupHex(0x03112110, 0), "GET_BOOT_CONFIG",
         "XX0.00A0", "XX0.00A0", "0", CLU_OK},
        {"attributes fail", "region_4 = " + wakeupHex(0x03112110, 0), "GET_CNTL_ADDL_ATTRIBUTES",
         "XX0.00A0", "XX0.00A0", "0", CLU_OK},
    };
    for (const BootCase& c : cases) {
        SCOPED_TRACE(c.name);
        Started m("adapter B brevin bios_version = \"12.0.342.0b beta\"\nfunction fc " +
                  c.functionKeys + "\n");
        ASSERT_EQ(m.status, CLU_OK);
        if (!c.fault.empty()) addFault(c.fault, -1, "status=1");
        std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(field(blocks[0], "Boot Version"), c.boot);
        EXPECT_EQ(field(blocks[0], "BIOS Version"), c.bios);
        EXPECT_EQ(field(blocks[0], "Boot Enabled"), c.enabled);
        EXPECT_EQ(field(blocks[0], "FW Version"), "12.8.542.31");
        EXPECT_EQ(g_run.cluStatus, c.status);
    }
}

TEST(InventoryListAttr, OtherFcBootTextsComeFromTheWakeupParameters) {
    // An FC function outside the Brevin family (an OEM board).
    const std::string function = "function fc device_id = 0xF100 subsys_id = 0xF124 ";
    const BootCase cases[] = {
        {"boot BIOS and expansion ROM", "region_4 = " + wakeupHex(0x03112110, 0x03112110), "",
         "SB2.10A0", "", "1", CLU_OK},
        {"expansion ROM only", "region_4 = " + wakeupHex(0, 0x03112110), "", "SB2.10A0", "", "0",
         CLU_OK},
        {"no expansion ROM", "region_4 = " + wakeupHex(0x03112110, 0), "", "NONE", "", "0", CLU_OK},
        {"unreadable", "", "DUMP", "N/A", "", "0", CLU_WAKEUP_READ},
    };
    for (const BootCase& c : cases) {
        SCOPED_TRACE(c.name);
        Started m("adapter F fc\n" + function + c.functionKeys + "\n");
        ASSERT_EQ(m.status, CLU_OK);
        if (!c.fault.empty()) addFault(c.fault, -1, "status=1");
        std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0].size(), 21u);
        EXPECT_EQ(field(blocks[0], "Boot Version"), c.boot);
        EXPECT_EQ(field(blocks[0], "BIOS Version"), c.bios);
        EXPECT_EQ(field(blocks[0], "Boot Enabled"), c.enabled);
        EXPECT_EQ(field(blocks[0], "FW Version"), "14.0.499.25");
        EXPECT_EQ(field(blocks[0], "Configuration"), "1");
        EXPECT_EQ(g_run.cluStatus, c.status);
    }
}

TEST(InventoryControllerQueries, StatusesAndRequestLayout) {
    const struct {
        const char* name;
        std::string adapterKeys;
        std::string functionKeys;
        std::string fault;
        uint32_t bootRm;
        uint32_t attrRm;
    } cases[] = {
        {"answered", "bios_version = \"9.1.2.3 rc\"", "region_4 = " + wakeupHex(1, 0), "", 0, 0},
        {"no extended mailboxes", "", "feature_list = 0x400", "", 0, 2},
        {"boot state refused", "", "", "GET_BOOT_CONFIG", 28, 0},
        {"attributes refused", "", "", "GET_CNTL_ADDL_ATTRIBUTES", 0, 28},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started m("adapter B brevin " + c.adapterKeys + "\nfunction fc " + c.functionKeys + "\n");
        ASSERT_EQ(m.status, CLU_OK);
        if (!c.fault.empty()) addFault(c.fault, -1, "status=1");
        hbasim::journal_clear();
        uint8_t enabled = 0xAA;
        EXPECT_EQ(queryBootCodeState(0, &enabled), c.bootRm);
        if (c.bootRm == 0) {
            EXPECT_EQ(enabled, c.functionKeys.rfind("region_4", 0) == 0 ? 1 : 0);
        }
        CntlAddlAttributes attrs = {};
        EXPECT_EQ(SC_PerformCommonGetCntlAddlAttributes(0, &attrs), c.attrRm);
        if (c.attrRm == 0 && c.fault.empty()) {
            EXPECT_STREQ(attrs.universalBiosVersion, "9.1.2.3");
            EXPECT_STREQ(attrs.fcodeVersion, "9.1.2.3");
        }
        // The request carried one 620-byte descriptor (the adapter refuses others).
        bool sent = false;
        for (const std::string& l : hbasim::journal_lines())
            if (l.find("GET_CNTL_ADDL_ATTRIBUTES len=620") != std::string::npos) sent = true;
        EXPECT_EQ(sent, c.attrRm != 2);
    }
}

TEST(InventoryNoAdapter, ListingsReportAnEmptySystem) {
    const struct {
        const char* name;
        void (*run)();
    } cases[] = {
        {"listhba", cmdListHba},
        {"listattr", cmdListAttr},
        {"listfw", cmdListFw},
        {"hbaattr", [] { cmdHbaAttr(0, true); }},
    };
    adapterTableRelease();
    messageReset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FILE* console = std::tmpfile();
        g_msg.console = console;
        g_run.cluStatus = CLU_OK;
        c.run();
        std::fflush(console);
        std::rewind(console);
        char buf[256] = {};
        size_t n = std::fread(buf, 1, sizeof buf - 1, console);
        std::fclose(console);
        EXPECT_EQ(std::string(buf, n), "No Quoral adapter detected in the system\n");
        EXPECT_EQ(g_run.cluStatus, CLU_NO_ADAPTER);
    }
    g_msg.console = nullptr;
}

// ---- failures the listings survive ------------------------------------------------------------

TEST(InventoryListAttr, FailedRevisionReadShowsDefaultAndKeepsGoing) {
    Started m("adapter F fc\nfunction fc\nfunction fc\n");
    ASSERT_EQ(m.status, CLU_OK);
    addFault("READ_REV", 0, "status=1"); // the first function's SCSI port
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(field(blocks[0], "FW Version"), "0.0.0.0");
    EXPECT_EQ(field(blocks[1], "FW Version"), "14.0.499.25");
    EXPECT_EQ(g_run.cluStatus, CLU_REVISION_READ);
}

TEST(InventoryListAttr, EntryWithoutItsConvergedRecordIsSkipped) {
    Started m("adapter C cv3\nfunction nic\nfunction nic\n");
    ASSERT_EQ(m.status, CLU_OK);
    ASSERT_EQ(g_table.totalCount, 2u);
    adapterAt(0)->cnaAdapterIndex = 7; // no such converged adapter
    std::vector<Lines> blocks = blocksOf(run(m, cmdListAttr));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(field(blocks[0], "HBA"), "2");
    EXPECT_EQ(g_run.cluStatus, CLU_CNA_VPD);
}

// ---- short forms ---------------------------------------------------------------------------

TEST(InventoryListFw, OneLinePerEntryWithBiosForSli4AndConverged) {
    Started m("adapter F fc\nfunction fc device_id = 0xF100\n"
              "adapter B brevin\nfunction fc\n"
              "adapter N tarnel\nfunction nic\n");
    ASSERT_EQ(m.status, CLU_OK);
    Lines lines = linesOf(run(m, cmdListFw));
    ASSERT_EQ(lines.size(), 3u);
    char expected[3][400];
    snprintf(expected[0], sizeof expected[0],
             "HBA 1: %s; FW=14.0.499.25; BC=NONE; BS=0; BIOS=; pciID=F100; venID=1F3C; "
             "ssDID=F100; ssVID=1F3C; DCflag=0; Config=0; SN=%s; CVR=0; RevID=10; vpdModel=1",
             adapterAt(0)->modelName, adapterAt(0)->serialNumber);
    snprintf(expected[1], sizeof expected[1],
             "HBA 2: %s; FW=12.8.542.31; BC=12.0.342.0; BS=0; BIOS=12.0.342.0; pciID=E200; "
             "venID=1F3C; ssDID=E200; ssVID=1F3C; DCflag=0; Config=0; SN=%s; CVR=0; RevID=10; "
             "vpdModel=1",
             adapterAt(1)->modelName, adapterAt(1)->serialNumber);
    snprintf(expected[2], sizeof expected[2],
             "HBA 3: %s; FW=12.0.261.8; BC=12.0.261.8; BS=0; BIOS=12.0.342.0; pciID=0720; "
             "venID=1F3C; ssDID=0720; ssVID=1F3C; DCflag=0; Config=0; SN=QS2100003; CVR=1; "
             "RevID=10; vpdModel=1",
             adapterAt(2)->modelName);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(lines[k], expected[k]);
}

TEST(InventoryListHba, OneLinePerFunctionWithFirmwareAndLocation) {
    Started m("");
    ASSERT_EQ(m.status, CLU_OK);
    Lines lines = linesOf(run(m, cmdListHba));
    ASSERT_EQ(lines.size(), 12u);
    char model[MODEL_QUERY_TEXT_SIZE];
    identify(0, model, sizeof model);
    EXPECT_EQ(lines[0], "HBA 1: 1000021F 3C010000 Functional FW: 14.0.499.25 devID:E300 Bus:10 "
                        "Dev:0 Func:0 " +
                            std::string(model));
    identify(4, model, sizeof model);
    EXPECT_EQ(lines[4], "HBA 5: FCoE 1000021F 3C030000 CV:0 Functional FW: 11.4.204.20 "
                        "devID:714 Bus:30 Dev:0 Func:0 " +
                            std::string(model));
    identify(6, model, sizeof model);
    EXPECT_EQ(lines[6], "HBA 7: NIC MAC:02.1F.3C.03.02.00 CV:0 Functional FW: 11.4.204.20 "
                        "devID:710 Port:0 Bus:30 Dev:0 Func:2 " +
                            std::string(model));
    identify(8, model, sizeof model);
    EXPECT_EQ(lines[8], "HBA 9: iSCSI MAC:02.1F.3C.04.00.00 CV:1 Functional FW: 12.0.261.8 "
                        "devID:722 Port:0 Bus:40 Dev:0 Func:0 " +
                            std::string(model));
    EXPECT_EQ(g_run.cluStatus, CLU_OK);

    // The second function's revision read fails (the mailbox layer adds its
    // own line); the listing goes on.
    addFault("READ_REV", 1, "status=1");
    std::string text = run(m, cmdListHba);
    EXPECT_NE(text.find("HBA 2: 1000021F 3C010100 "), std::string::npos) << text;
    EXPECT_NE(text.find("!!!! ReadRev error !!!!    devID:E300 Bus:10 Dev:0 Func:1 "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("HBA 12: NIC "), std::string::npos);
    EXPECT_EQ(g_run.cluStatus, CLU_REVISION_READ);
}

// ---- hbaattr, pcidata, version ------------------------------------------------------------

TEST(InventoryHbaAttr, FcAndNicEntries) {
    Started m("adapter B brevin\nfunction fc\n"
              "adapter N cv3\nfunction nic\nfunction nic\n");
    ASSERT_EQ(m.status, CLU_OK);
    cmdHbaAttr(0, true);
    std::vector<Lines> blocks = blocksOf(m.take());
    ASSERT_EQ(blocks.size(), 3u);
    const Lines& fc = blocks[0];
    EXPECT_EQ(fc[0], "HBA                            : 1");
    ModelQuery q;
    fillModelQuery(0, &q);
    EXPECT_EQ(field(fc, "Model"), q.baseModel); // the base model, whatever /c says
    EXPECT_EQ(field(fc, "FW Version"), "12.8.542.31");
    EXPECT_EQ(field(fc, "BIOS Version"), "12.0.342.0");
    EXPECT_EQ(field(fc, "Port Number"), std::to_string(adapterAt(0)->vpdPortNumber));
    EXPECT_EQ(field(fc, "ControllerStatus"), "<missing>");

    const Lines& nic = blocks[2];
    EXPECT_EQ(field(nic, "Serial Number"), "<missing>");
    EXPECT_EQ(field(nic, "Permanent Mac"), "02:1F:3C:02:01:01");
    EXPECT_EQ(field(nic, "Port Number"), "1");
    EXPECT_EQ(field(nic, "ControllerStatus"), "Optimal");
    EXPECT_EQ(field(nic, "NetworkBootState"), "Disabled");
    EXPECT_EQ(field(nic, "PHYCRCConfigId"), "0x0003");
    EXPECT_EQ(field(nic, "UEFIiSCSIVersion"), "12.0.261.8");
    EXPECT_EQ(field(nic, "FFVName"), "Not Available");
    EXPECT_EQ(nic.back(), "FFVName                        : Not Available");
    EXPECT_EQ(nic.size(), 40u);

    // A NIC entry whose MACs no function record carries.
    memset(adapterAt(2)->permanentMac, 0xEE, 6);
    memset(adapterAt(2)->currentMac, 0xEE, 6);
    cmdHbaAttr(2, false);
    std::string text = m.take();
    EXPECT_NE(text.find("MAC Address not found\n"), std::string::npos);
    EXPECT_EQ(field(linesOf(text), "NetworkBootState"), "");
}

TEST(InventoryPciData, HeaderFieldsOfFcAndConvergedFunctions) {
    Started m("adapter F fc\nfunction fc\nadapter N tarnel\nfunction iscsi\n");
    ASSERT_EQ(m.status, CLU_OK);
    cmdPciData(0);
    Lines fc = linesOf(m.take());
    ASSERT_EQ(fc.size(), 14u);
    EXPECT_EQ(fc[0], "Vendor ID:            0x1F3C        Device ID:            0xE300");
    EXPECT_EQ(fc[2], "Revision ID:          0x10          Prog If:              0x00");
    EXPECT_EQ(fc[3], "Subclass:             0x04          Base Class:           0x0C");
    EXPECT_EQ(fc[9], "CIS:                  0x00000000    SubVendor ID:         0x1F3C");
    EXPECT_EQ(fc[10].substr(0, 36), "SubSystem ID:         0xE300        ");
    EXPECT_EQ(fc[13], "Capabilities Ptr:     0x40");
    EXPECT_EQ(g_run.cluStatus, CLU_OK);

    cmdPciData(1);
    Lines iscsi = linesOf(m.take());
    ASSERT_EQ(iscsi.size(), 14u);
    EXPECT_EQ(iscsi[0], "Vendor ID:            0x1F3C        Device ID:            0x0722");
    EXPECT_EQ(iscsi[3], "Subclass:             0x00          Base Class:           0x01");
}

TEST(InventoryVersion, ProgramAndNexaVersionLines) {
    const struct {
        Lines args;
        bool nexa;
    } cases[] = {{{"version"}, true}, {{"version", "/nonexa"}, false}};
    for (const auto& c : cases) {
        Started m("adapter F fc\nfunction fc\nadapter N cv3\nfunction nic\n", c.args);
        ASSERT_EQ(m.status, CLU_OK);
        Lines lines = linesOf(run(m, cmdVersion));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "hbaset.exe 12.0.1345.0 released on April 14, 2021");
        std::string expected = c.nexa ? std::string(g_run.nexaServiceVersion) : "N/A";
        EXPECT_EQ(lines[1], "NEXA Service Version " + expected);
        EXPECT_NE(lines[1], "NEXA Service Version ");
    }
}

} // namespace
