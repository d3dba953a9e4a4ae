// Load, discovery, release and the first exports of the library, against the
// simulated driver. The library is loaded after the machine is prepared, so its
// load-time discovery sees the test's fleet.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace {

using InitFn = uint32_t (*)(BrdInfo*, uint32_t);
using FreeFn = uint32_t (*)();
using LibVerFn = char* (*)(char*);
using DrvInfoFn = uint32_t (*)(uint32_t, DrvInfo*);
using AttrFn = uint32_t (*)(uint32_t, HBA_AdapterAttributes*);
using PortAttrFn = uint32_t (*)(uint32_t, uint32_t, HBA_PortAttributes*);

// Two FC functions on SCSI ports 0 and 1.
const char kTwoPorts[] = "adapter A fc\nfunction fc\nfunction fc\n";
const char kThreePorts[] = "adapter A fc\nfunction fc\nfunction fc\nfunction fc\n";

hbasim::Fault drv_fault(const std::string& match, const std::string& action, int port = -1,
                        int remaining = -1) {
    hbasim::Fault f;
    f.source = "drv";
    f.match = match;
    f.port = port;
    f.action = action;
    f.remaining = remaining;
    return f;
}

class Lifecycle : public ::testing::Test {
  protected:
    // Prepares the machine, then loads the library (its discovery runs now).
    void load(const std::string& fleet, const std::vector<hbasim::Fault>& faults = {}) {
        st.init(fleet);
        for (const hbasim::Fault& f : faults)
            ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
        hbasim::journal_clear();
        lib = std::make_unique<hbatest::Library>("libtgx.so");
        ASSERT_TRUE(lib->loaded());
        init = lib->fn<InitFn>("TGX_InitDiagEnv");
        freeEnv = lib->fn<FreeFn>("TGX_FreeDiagEnv");
        libVer = lib->fn<LibVerFn>("TGX_GetLibVer");
        drvInfo = lib->fn<DrvInfoFn>("TGX_GetDrvInfo");
        attrs = lib->fn<AttrFn>("TGX_GetAdapterAttributes");
        portAttrs = lib->fn<PortAttrFn>("GetAdapterPortAttributes");
    }
    std::vector<BrdInfo> boards() {
        std::vector<BrdInfo> b(TGX_MAX);
        b.resize(init(b.data(), TGX_MAX));
        return b;
    }
    // Driver requests since the last journal_clear(), as "<device> <name>".
    static std::vector<std::string> requests() {
        std::vector<std::string> out;
        for (const std::string& line : hbasim::journal_lines()) {
            std::istringstream in(line);
            std::vector<std::string> t;
            for (std::string w; in >> w;)
                t.push_back(w);
            for (size_t i = 0; i + 2 < t.size(); ++i)
                if (t[i].rfind("Scsi", 0) == 0 || t[i].rfind("TsvRma", 0) == 0) {
                    out.push_back(t[i] + " " + t[i + 2]);
                    break;
                }
        }
        return out;
    }
    static size_t count(const std::vector<std::string>& v, const std::string& what) {
        size_t n = 0;
        for (const std::string& s : v)
            n += s == what;
        return n;
    }
    static std::string wwn(const uint8_t* w) {
        char b[24];
        snprintf(b, sizeof b, "%02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X", w[0], w[1], w[2], w[3],
                 w[4], w[5], w[6], w[7]);
        return b;
    }

    static constexpr uint32_t TGX_MAX = 256;
    hbatest::TempState st;
    std::unique_ptr<hbatest::Library> lib;
    InitFn init = nullptr;
    FreeFn freeEnv = nullptr;
    LibVerFn libVer = nullptr;
    DrvInfoFn drvInfo = nullptr;
    AttrFn attrs = nullptr;
    PortAttrFn portAttrs = nullptr;
};

TEST_F(Lifecycle, BoardRecordFromTheDriver) {
    load("adapter A fc pci_bus = 0x42 pci_segment = 3 fw_active = 14.2.3.4\n"
         "function fc pci_device = 5 pci_function = 6 wwpn = 10:00:00:00:C9:AA:BB:01"
         " slim_base = 0x1234 word456 = 0x5678 drv_ver = ST9.99Z1\n");
    std::vector<BrdInfo> b = boards();
    ASSERT_EQ(b.size(), 1u);
    const BrdInfo& r = b[0];
    EXPECT_EQ(r.w0, 0u);
    EXPECT_EQ(r.slimBase, 0x1234u);
    EXPECT_EQ(r.w8, 0u);
    EXPECT_EQ(r.w12, 0xFFFFFFFFu);
    EXPECT_EQ(r.w16, 0u);
    EXPECT_EQ(r.word20, 0x5678u);
    EXPECT_EQ(r.w24, 0xFFFFFFFFu);
    EXPECT_EQ(r.pciIds, 0xE3001F3Cu);
    EXPECT_EQ(r.busid, 0x0342u);
    EXPECT_EQ(r.dev_id, 5u);
    EXPECT_EQ(r.pciFunc, 6u);
    EXPECT_EQ(r.b41, 0u);
    EXPECT_EQ(r.scsiPort, 0u);
    EXPECT_EQ(r.w44, 0x2C1u);
    EXPECT_EQ(r.w48, 0x1A7u);
    EXPECT_EQ(std::string(r.drvVersion, strnlen(r.drvVersion, 16)), "ST9.99Z1");
    EXPECT_EQ(std::string(r.fwVersion, strnlen(r.fwVersion, 32)), "14.2.3.4");
    EXPECT_EQ(wwn(r.wwpn), "10:00:00:00:C9:AA:BB:01");
}

TEST_F(Lifecycle, AbsentPortsAreSkipped) {
    load("adapter A fc\nfunction fc scsi_port = 3\nfunction fc scsi_port = 7\n");
    std::vector<BrdInfo> b = boards();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].scsiPort, 3u);
    EXPECT_EQ(b[1].scsiPort, 7u);
}

// A board on SCSI port 0 that discovery keeps or drops; when it is dropped the
// board on port 1 becomes board 0.
struct DropCase {
    const char* name;
    const char* knob;  // attributes of the port-0 function
    const char* match; // driver fault on port 0, or null
    const char* action;
    bool kept;
};

void PrintTo(const DropCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscoveryDrop : public Lifecycle, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DiscoveryDrop, UnsupportedBoardShiftsBoardNumbers) {
    const DropCase& c = GetParam();
    std::vector<hbasim::Fault> faults;
    if (c.match) faults.push_back(drv_fault(c.match, c.action, 0));
    load(std::string("adapter A fc\nfunction fc ") + c.knob + "\nfunction fc\n", faults);
    std::vector<BrdInfo> b = boards();
    ASSERT_EQ(b.size(), c.kept ? 2u : 1u);
    EXPECT_EQ(b.back().scsiPort, 1u);
    if (!c.kept) {
        // The dropped board left nothing behind: port 0 got no management start.
        EXPECT_EQ(count(requests(), "TsvRma0 MGMT_START"), 0u);
        DrvInfo di{};
        di.version = 5;
        EXPECT_EQ(drvInfo(1, &di), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, DiscoveryDrop,
    ::testing::Values(DropCase{"Supported", "", nullptr, nullptr, true},
                      DropCase{"SliMode3", "sli_mode = 3", nullptr, nullptr, false},
                      DropCase{"IfType1", "iftype = 1", nullptr, nullptr, false},
                      DropCase{"DriverSpeaks3", "drv_version = 3", nullptr, nullptr, false},
                      DropCase{"DriverSpeaks4", "drv_version = 4", nullptr, nullptr, true},
                      DropCase{"EmptyDriverName", "driver_name = \"\"", nullptr, nullptr, false},
                      DropCase{"DrvInfoIoFails", "", "0x80000135", "fail", false},
                      DropCase{"DrvInfoRc3", "", "0x80000135", "rc=3", false},
                      DropCase{"BoardInfoIoFails", "", "0x80000100", "fail", false},
                      DropCase{"BoardInfoRc5", "", "0x80000100", "rc=5", false},
                      DropCase{"AttributesRc5", "", "0x80000203", "rc=5", false},
                      DropCase{"AttributesIoFails", "", "0x80000203", "fail", false}),
    [](const ::testing::TestParamInfo<DropCase>& i) { return std::string(i.param.name); });

TEST_F(Lifecycle, ManagementStartGoesToTheManagementDeviceOrTheScsiPort) {
    load("adapter A fc\nfunction fc mgmt_device = no\nfunction fc\n");
    ASSERT_EQ(boards().size(), 2u);
    // Discovery already ran at load; run it again to watch its requests.
    freeEnv();
    hbasim::journal_clear();
    ASSERT_EQ(init(nullptr, 0), 2u);
    std::vector<std::string> r = requests();
    EXPECT_EQ(count(r, "Scsi0 MGMT_START"), 1u);
    EXPECT_EQ(count(r, "TsvRma0 MGMT_START"), 0u);
    EXPECT_EQ(count(r, "TsvRma1 MGMT_START"), 1u);
    EXPECT_EQ(count(r, "Scsi1 MGMT_START"), 0u);
}

TEST_F(Lifecycle, PortAndMiniDriversPlacePortAttributesDifferently) {
    load("adapter A fc\n"
         "function fc driver_name = qrlsli2 wwpn = 10:00:00:00:C9:00:00:01\n"
         "function fc driver_name = qrlmini wwpn = 10:00:00:00:C9:00:00:02\n");
    std::vector<BrdInfo> b = boards();
    ASSERT_EQ(b.size(), 2u);
    const char* expected[] = {"10:00:00:00:C9:00:00:01", "10:00:00:00:C9:00:00:02"};
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(wwn(b[i].wwpn), expected[i]);
        HBA_PortAttributes pa;
        ASSERT_EQ(portAttrs(i, 0, &pa), 0u);
        EXPECT_EQ(wwn(pa.PortWWN), expected[i]);
        EXPECT_EQ(pa.PortState, TGX_PORTSTATE_ONLINE);
    }
}

TEST_F(Lifecycle, CapacitySmallerThanTheCount) {
    load(kThreePorts);
    BrdInfo out[2];
    memset(out, 0xAB, sizeof out);
    EXPECT_EQ(init(out, 1), 3u);
    EXPECT_EQ(out[0].scsiPort, 0u);
    EXPECT_EQ(out[0].w44, 0x2C1u);
    const auto* rest = reinterpret_cast<const uint8_t*>(&out[1]);
    for (size_t i = 0; i < sizeof out[1]; ++i)
        ASSERT_EQ(rest[i], 0xAB) << "byte " << i;
    EXPECT_EQ(init(nullptr, 0), 3u);
}

TEST_F(Lifecycle, NoRescanUntilFreeDiagEnv) {
    load(kTwoPorts);
    hbasim::journal_clear(); // the scan at load is over
    EXPECT_EQ(init(nullptr, 0), 2u);
    EXPECT_EQ(count(requests(), "Scsi0 GETDRV_INFO"), 0u);

    // The machine changes; the table stands until it is released.
    st.init(kThreePorts);
    EXPECT_EQ(init(nullptr, 0), 2u);
    EXPECT_EQ(freeEnv(), 0u);
    EXPECT_EQ(init(nullptr, 0), 3u);
    EXPECT_EQ(count(requests(), "Scsi2 GETDRV_INFO"), 1u);
}

TEST_F(Lifecycle, FreeDiagEnvTwiceIsHarmless) {
    load(kTwoPorts);
    EXPECT_EQ(freeEnv(), 0u);
    hbasim::journal_clear();
    EXPECT_EQ(freeEnv(), 0u);
    EXPECT_TRUE(requests().empty());
    // Released boards answer as failed I/O until the next scan.
    DrvInfo di{};
    di.version = 5;
    EXPECT_EQ(drvInfo(0, &di), 1u);
    HBA_PortAttributes pa;
    EXPECT_EQ(portAttrs(0, 0, &pa), 3u);
    EXPECT_EQ(init(nullptr, 0), 2u);
    EXPECT_EQ(drvInfo(0, &di), 0u);
    lib->close(); // unload after an explicit release
}

// Board numbers at or above the count give 1 and send nothing.
TEST_F(Lifecycle, BadBoardSendsNothing) {
    const struct {
        const char* fleet;
        uint32_t board;
    } cases[] = {
        {"adapter T tarnel\nfunction iscsi\nfunction nic\n", 0}, // no SCSI port at all
        {kTwoPorts, 2},
        {kTwoPorts, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        load(c.fleet);
        hbasim::journal_clear();
        DrvInfo di{};
        di.version = 5;
        HBA_AdapterAttributes aa;
        HBA_PortAttributes pa;
        memset(&pa, 0xAB, sizeof pa);
        EXPECT_EQ(drvInfo(c.board, &di), 1u) << c.board;
        EXPECT_EQ(attrs(c.board, &aa), 1u) << c.board;
        EXPECT_EQ(portAttrs(c.board, 0, &pa), 1u) << c.board;
        EXPECT_EQ(pa.PortState, 0u) << "record zeroed first";
        EXPECT_TRUE(requests().empty()) << c.board;
        lib.reset();
    }
}

TEST_F(Lifecycle, LibraryVersionText) {
    load(kTwoPorts);
    char buf[32];
    memset(buf, 0x7F, sizeof buf);
    EXPECT_EQ(libVer(buf), buf);
    EXPECT_STREQ(buf, "12.0.1167.0   X86");
    for (size_t i = 18; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], 0x7F) << "byte " << i;
}

// ---- driver information: version negotiation ----

struct DrvInfoCase {
    const char* name;
    const char* driverVersion; // the driver's version after load, null = 5
    uint8_t requested;
    uint32_t status;
    uint8_t agreed;
    uint32_t lastFilled; // highest record offset written; beyond it the bytes stay
};

void PrintTo(const DrvInfoCase& c, std::ostream* os) {
    *os << c.name;
}

class DrvInfoVersion : public Lifecycle, public ::testing::WithParamInterface<DrvInfoCase> {};

TEST_P(DrvInfoVersion, FillsWhatTheAgreedVersionCovers) {
    const DrvInfoCase& c = GetParam();
    load("adapter A fc\nfunction fc drv_type = 3 d_id = 0x010200 wwpn = 10:00:00:00:C9:00:00:07\n");
    if (c.driverVersion) {
        ASSERT_EQ(hbasim::update_adapter(0,
                                         [&](hbasim::Adapter& a) {
                                             a.funcs[0].attrs.set("drv_version", c.driverVersion);
                                             return true;
                                         }),
                  hbasim::SIM_OK);
    }
    DrvInfo di;
    memset(&di, 0xEE, sizeof di);
    di.version = c.requested;
    EXPECT_EQ(drvInfo(0, &di), c.status);
    EXPECT_EQ(di.version, c.agreed);
    EXPECT_EQ(di.drvType, 3u);
    EXPECT_EQ(di.d_id, 0x010200u);
    EXPECT_EQ(wwn(di.wwpn), "10:00:00:00:C9:00:00:07");
    EXPECT_EQ(std::string(di.names[0].dvrName, 7), "qrlsli2");
    EXPECT_EQ(di.p140, 0xEEEEEEEEu) << "never written";
    const auto* raw = reinterpret_cast<const uint8_t*>(&di);
    const struct {
        size_t off;
        uint32_t filledValue;
    } words[] = {
        {136, 4},      // sliMode
        {144, 0x1400}, // featureList
        {152, 0},      // interface word (iftype 0)
    };
    for (const auto& w : words) {
        uint32_t v;
        memcpy(&v, raw + w.off, 4);
        EXPECT_EQ(v, w.off <= c.lastFilled ? w.filledValue : 0xEEEEEEEEu) << "offset " << w.off;
    }
}

INSTANTIATE_TEST_SUITE_P(Negotiation, DrvInfoVersion,
                         ::testing::Values(DrvInfoCase{"Request9Sends5", nullptr, 9, 0, 5, 155},
                                           DrvInfoCase{"Request3", nullptr, 3, 0, 3, 135},
                                           DrvInfoCase{"Driver4", "4", 5, 2, 4, 151},
                                           DrvInfoCase{"Driver3", "3", 5, 2, 3, 135}),
                         [](const ::testing::TestParamInfo<DrvInfoCase>& i) {
                             return std::string(i.param.name);
                         });

// ---- adapter and port attributes ----

TEST_F(Lifecycle, AdapterAttributes) {
    load("adapter A fc model = TGF9999\nfunction fc\n");
    HBA_AdapterAttributes aa;
    ASSERT_EQ(attrs(0, &aa), 0u);
    EXPECT_STREQ(aa.Model, "TGF9999");
    EXPECT_STREQ(aa.DriverName, "qrlsli2");

    const struct {
        const char* action;
        uint32_t status;
    } faults[] = {{"rc=5", 5}, {"fail", 1}};
    for (const auto& f : faults) {
        ASSERT_EQ(hbasim::fault_clear(), hbasim::SIM_OK);
        ASSERT_EQ(hbasim::fault_add(drv_fault("0x80000203", f.action)), hbasim::SIM_OK);
        EXPECT_EQ(attrs(0, &aa), f.status) << f.action;
    }
}

struct PortAttrCase {
    const char* name;
    bool staleUntilRefresh; // the port answers stale until a refresh
    std::vector<hbasim::Fault> faults;
    uint32_t status;
    std::vector<std::string> requests;
    bool data;
};

void PrintTo(const PortAttrCase& c, std::ostream* os) {
    *os << c.name;
}

class PortAttributes : public Lifecycle, public ::testing::WithParamInterface<PortAttrCase> {};

TEST_P(PortAttributes, StaleDataIsRefreshedOnce) {
    const PortAttrCase& c = GetParam();
    load("adapter A fc\nfunction fc wwpn = 10:00:00:00:C9:00:00:09\n");
    if (c.staleUntilRefresh) {
        ASSERT_EQ(hbasim::update_adapter(0,
                                         [](hbasim::Adapter& a) {
                                             a.funcs[0].attrs.set("stale_attrs", "1");
                                             return true;
                                         }),
                  hbasim::SIM_OK);
    }
    for (const hbasim::Fault& f : c.faults)
        ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    hbasim::journal_clear();
    HBA_PortAttributes pa;
    memset(&pa, 0xAB, sizeof pa);
    EXPECT_EQ(portAttrs(0, 0, &pa), c.status);
    EXPECT_EQ(requests(), c.requests);
    EXPECT_EQ(wwn(pa.PortWWN), c.data ? "10:00:00:00:C9:00:00:09" : "00:00:00:00:00:00:00:00");
}

const std::string kGet = "Scsi0 HBA_GET_PORT_ATTRIBUTES";
const std::string kRefresh = "Scsi0 HBA_REFRESH_INFORMATION";

INSTANTIATE_TEST_SUITE_P(
    Answers, PortAttributes,
    ::testing::Values(
        PortAttrCase{"Fresh", false, {}, 0, {kGet}, true},
        PortAttrCase{"StaleOnce", true, {}, 0, {kGet, kRefresh, kGet}, true},
        PortAttrCase{"StaleTwice",
                     false,
                     {drv_fault("0x80000204", "stale")},
                     0,
                     {kGet, kRefresh, kGet},
                     true},
        PortAttrCase{"RefreshFails",
                     false,
                     {drv_fault("0x80000204", "stale", -1, 1), drv_fault("0x80000213", "fail")},
                     0,
                     {kGet, kRefresh, kGet},
                     true},
        PortAttrCase{"IoFails", false, {drv_fault("0x80000204", "fail")}, 3, {kGet}, false},
        PortAttrCase{"DriverError", false, {drv_fault("0x80000204", "rc=5")}, 5, {kGet}, false}),
    [](const ::testing::TestParamInfo<PortAttrCase>& i) { return std::string(i.param.name); });

} // namespace
