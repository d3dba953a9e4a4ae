// Boot parameter records: values written in this process and read back by
// getbootparams in a new one, the region layouts byte for byte, the printout,
// setdefbootparams, region states and the refusal of zero names.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/fcmaint/boot_params.h"
#include "hbaset/fcmaint/rm_status.h"
#include "tests/hbaset_boot/boot_fixture.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

const uint8_t kWwpn[8] = {0x21, 0x00, 0x00, 0x24, 0xFF, 0x31, 0x4A, 0x01};

struct RoundTrip {
    const char* name;
    const char* kind;
    std::function<void(BootParamsX86*, BootParamsEfi*)> set;
    uint32_t region;
    uint32_t offset;
    uint8_t mask;
    uint8_t stored;   // region byte at offset, under mask
    const char* line; // printed by getbootparams in a new process
};
void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.name;
}

class BootParamsRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(BootParamsRoundTrip, WrittenValueIsStoredAndReadBack) {
    const RoundTrip& c = GetParam();
    HbasetMachine m(boot::fleet(boot::kClassic));
    boot::useClassicPath(0);
    BootParamsX86 x86;
    BootParamsEfi efi;
    ASSERT_EQ(readBootParamsX86(0, &x86), 0u);
    ASSERT_EQ(readBootParamsEfi(0, &efi), 0u);
    c.set(&x86, &efi);
    if (std::string(c.kind) == "x86")
        ASSERT_EQ(CLU_SetBootParamsX86(0, false, &x86), 0u);
    else
        ASSERT_EQ(CLU_SetBootParamsEfi(0, false, &efi), 0u);

    std::vector<uint8_t> r = boot::region(c.region);
    ASSERT_GT(r.size(), c.offset);
    EXPECT_EQ(r[c.offset] & c.mask, c.stored);
    hbatest::RunResult out = boot::hbaset({"getbootparams", "n=1", std::string("p=") + c.kind});
    EXPECT_EQ(out.exit_code, 0) << out.out;
    EXPECT_NE(out.out.find(c.line), std::string::npos) << out.out;
}

INSTANTIATE_TEST_SUITE_P(
    Values, BootParamsRoundTrip,
    ::testing::Values(
        RoundTrip{"X86TopologyPtpFirst", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->topology.value = 1; }, 8, 9, 0x0C, 0x8,
                  "\n  Topology                 1   Auto, PTP First"},
        RoundTrip{"X86TopologyLoop", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->topology.value = 2; }, 8, 9, 0x0C, 0xC,
                  "\n  Topology                 2   Loop"},
        RoundTrip{"X86TopologyPtp", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->topology.value = 3; }, 8, 9, 0x0C, 0x4,
                  "\n  Topology                 3   PTP"},
        RoundTrip{"X86Link16", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->linkSpeed.value = 16; }, 8, 37, 0xFF,
                  17, "\n  LinkSpeed               16   16 Gbps"},
        RoundTrip{"X86Link32", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->linkSpeed.value = 32; }, 8, 37, 0xFF,
                  20, "\n  LinkSpeed               32   32 Gbps"},
        RoundTrip{"X86Link8", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->linkSpeed.value = 8; }, 8, 37, 0xFF, 8,
                  "\n  LinkSpeed                8   8 Gbps"},
        RoundTrip{"X86Plogi200", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->plogiRetryTimer.value = 3; }, 8, 16,
                  0xFF, 4, "\n  PlogiRetryTimer          3   200 ms"},
        RoundTrip{"X86AutoScan", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->autoScan.value = 2; }, 8, 9, 0x60, 0x40,
                  "\n  AutoScan                 2   First Lun 0 Device"},
        RoundTrip{"X86DefaultAlpaInRegion0", "x86",
                  [](BootParamsX86* r, BootParamsEfi*) { r->defaultAlpa.value = 0xE8; }, 0, 16,
                  0xFF, 0xE8, "\n  DefaultAlpa           0xE8"},
        RoundTrip{"EfiTopologyLoop", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->topology.value = 2; }, 10, 204, 0xFF, 3,
                  "\n  Topology                 2   Loop"},
        RoundTrip{"EfiTopologyPtp", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->topology.value = 3; }, 10, 204, 0xFF, 2,
                  "\n  Topology                 3   PTP"},
        RoundTrip{"EfiLink16", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->linkSpeed.value = 16; }, 10, 206, 0xFF,
                  17, "\n  LinkSpeed                16   16 Gbps"},
        RoundTrip{"EfiScanDiscovered", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->bootTargetScan.value = 1; }, 10, 196,
                  0x4C, 0x04, "\n  BootTargetScan           1   Boot Path: Discovered Targets"},
        RoundTrip{"EfiLunColumnWidens", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->devices[2].lun[0] = 256; }, 10,
                  2 * 24 + 12, 0xFF, 0x01,
                  "\n  Entry       Lun    D_ID        TargetWwpn\n  -----  --------  ------  "
                  "-----------------------"
                  "\n      0  00000000"},
        RoundTrip{"EfiMaxLunsZeroReadsAs256", "efi",
                  [](BootParamsX86*, BootParamsEfi* r) { r->maxLunsPerTarget.value = 0; }, 10, 200,
                  0xFF, 0, "\n  MaxLunsPerTarget       256"}),
    [](const ::testing::TestParamInfo<RoundTrip>& i) { return std::string(i.param.name); });

TEST(BootParamsLayout, X86RegionsByteForByte) {
    HbasetMachine m(boot::fleet(boot::kClassic));
    boot::useClassicPath(0);
    BootParamsX86 r;
    ASSERT_EQ(readBootParamsX86(0, &r), 0u);
    r.enableBootFromSan.value = 1;
    r.edd30Enable.value = 1;
    r.envVarEnable.value = 1;
    r.plogiRetryTimer.value = 1;
    memcpy(r.devices[0].wwpn, kWwpn, 8);
    r.devices[0].did = 0x010203;
    r.devices[0].lun = 7;
    r.devices[3].did = 0x0A0B0C;
    r.devices[3].lun = 2;
    ASSERT_EQ(CLU_SetBootParamsX86(0, false, &r), 0u);

    std::vector<uint8_t> r8(60, 0);
    memcpy(r8.data(), "BIOS", 4);
    boot::putLe(r8, 4, 0x2000 | 0x400 | 0x200 | 0x100 | 0x80 | 0x40 | 0x2);
    r8[9] = 0x81;
    r8[16] = 1;
    const uint8_t words[8] = {0x24, 0x00, 0x00, 0x21, 0x01, 0x4A, 0x31, 0xFF};
    memcpy(&r8[17], words, 8);
    boot::putLe(r8, 25, 0x07010203);
    EXPECT_EQ(boot::hex(boot::region(8)), boot::hex(r8));

    std::vector<uint8_t> r9(88, 0);
    memcpy(r9.data(), "EXTB", 4);
    boot::putLe(r9, 4 + 12 * 2 + 8, 0x020A0B0C);
    EXPECT_EQ(boot::hex(boot::region(9)), boot::hex(r9));
}

TEST(BootParamsLayout, EfiEntriesAndParameterBlock) {
    HbasetMachine m(boot::fleet(boot::kClassic));
    boot::useClassicPath(0);
    BootParamsEfi r;
    ASSERT_EQ(readBootParamsEfi(0, &r), 0u);
    memcpy(r.devices[1].wwpn, kWwpn, 8);
    r.devices[1].did = 0x0A0B0C;
    r.devices[1].lun[0] = 0x1234;
    r.maxLunsPerTarget.value = 4096;
    r.resetDelayTimer.value = 9;
    r.devicePathSelection.value = 1;
    ASSERT_EQ(CLU_SetBootParamsEfi(0, false, &r), 0u);

    std::vector<uint8_t> r10(256, 0);
    memcpy(r10.data(), "EFIB", 4);
    const uint8_t entry[20] = {0x24, 0x00, 0x00, 0x21, 0x01, 0x4A, 0x31, 0xFF, 0x12, 0x34,
                               0,    0,    0,    0,    0,    0,    0x0C, 0x0B, 0x0A, 0x03};
    memcpy(&r10[24 + 4], entry, sizeof entry);
    boot::putLe(r10, 196, 0x20);
    r10[200] = 0x00;
    r10[201] = 0x10;
    r10[205] = 9;
    EXPECT_EQ(boot::hex(boot::region(10)), boot::hex(r10));
}

TEST(BootParamsLayout, OpenBootWordsAreStoredBigEndian) {
    // An OpenBoot adapter's region 8 is 40 bytes long.
    HbasetMachine m(boot::fleet(std::string(boot::kClassic) +
                                " region_8 = " + boot::hex(std::vector<uint8_t>(40, 0))));
    boot::useClassicPath(0);
    BootParamsOb r;
    ASSERT_EQ(readBootParamsOb(0, &r), 0u);
    r.topology.value = TOPOLOGY_LOOP;
    r.linkSpeed.value = 4;
    r.did = 0x0A0B0C;
    r.lun8 = 5;
    r.targetId = 0x0102;
    ASSERT_EQ(CLU_SetBootParamsOb(0, false, &r), 0u);

    std::vector<uint8_t> stored = boot::region(8);
    ASSERT_EQ(stored.size(), 40u);
    // Host image: "OPEN", flags 0x84, byte 10 topology 1 (loop), 11-12 target
    // id, 25 Lun(8) | D_ID << 8, 37 link 4; each word byte-reversed in flash.
    std::vector<uint8_t> host(40, 0);
    memcpy(host.data(), "OPEN", 4);
    boot::putLe(host, 4, 0x84);
    host[10] = 1;
    host[11] = 0x02;
    host[12] = 0x01;
    boot::putLe(host, 25, 0x0A0B0C05);
    host[37] = 4;
    std::vector<uint8_t> flash(40);
    for (size_t i = 0; i < 40; ++i)
        flash[i] = host[(i & ~3u) + 3 - (i & 3)];
    EXPECT_EQ(boot::hex(stored), boot::hex(flash));
    EXPECT_EQ(std::string(stored.begin(), stored.begin() + 4), "NEPO");

    hbatest::RunResult out = boot::hbaset({"getbootparams", "n=1", "p=ob"});
    EXPECT_EQ(out.exit_code, 0);
    for (const char* line :
         {"\n  Topology                 2   Loop", "\n  LinkSpeed                4   4 Gbps",
          "\n  TargetId                       0258", "\n  Lun(8)                            5",
          "\n  D_ID                       0x0A0B0C"})
        EXPECT_NE(out.out.find(line), std::string::npos) << line << "\n" << out.out;
}

// No signature: a record with valid 0 whose values are all 0, except the
// boot BIOS selection (region 4) and DefaultAlpa (region 0).
TEST(GetBootParams, RegionWithoutSignaturePrintsDefaults) {
    hbatest::TempState state;
    std::vector<uint8_t> r8(60, 0xA5);
    state.init(boot::fleet(std::string(boot::kSli4) + boot::wakeupKey(0x03A10163) +
                           " region_8 = " + boot::hex(r8)));
    hbatest::RunResult r = boot::hbaset({"getbootparams", "n=1", "p=x86"});
    EXPECT_EQ(r.exit_code, 0);
    std::string rows;
    for (int i = 0; i < 8; ++i)
        rows += "\n      " + std::to_string(i) + "  000  000000  00:00:00:00:00:00:00:00";
    EXPECT_EQ(boot::body(r.out), "\nCLU_GetBootParams: Success\n"
                                 "\nParameter Name         Value"
                                 "\n--------------         -----"
                                 "\n Standard Parameters"
                                 "\n  EnableAdapterBoot        1   Enabled"
                                 "\n  EnableBootFromSAN        0   Disabled"
                                 "\n  LinkSpeed                0   Auto"
                                 "\n  Topology                 0   Auto, Loop First"
                                 "\n Advanced Parameters"
                                 "\n  AutoBootSectorEnable     0   Disabled"
                                 "\n  AutoScan                 0   Disabled"
                                 "\n  DefaultAlpa           0x00"
                                 "\n  EDD30Enable              0   Disabled"
                                 "\n  EnvVarEnable             0   Disabled"
                                 "\n  PlogiRetryTimer          0   None"
                                 "\n  SpinupDelayEnable        0   Disabled"
                                 "\n  StartUnitCommandEnable   0   Disabled"
                                 "\n Boot Device Parameters"
                                 "\n  Entry  Lun    D_ID        TargetWwpn"
                                 "\n  -----  ---  ------  -----------------------" +
                                     rows + "\n\n");
}

TEST(SetDefBootParams, KindTextsAndWhatIsKept) {
    HbasetMachine m(boot::fleet(boot::kClassic));
    boot::useClassicPath(0);
    BootParamsX86 r;
    ASSERT_EQ(readBootParamsX86(0, &r), 0u);
    r.enableBootFromSan.value = 1;
    r.topology.value = 3;
    r.autoScan.value = 1;
    memcpy(r.devices[0].wwpn, kWwpn, 8);
    r.devices[0].did = 0x010203;
    r.devices[0].lun = 7;
    memcpy(r.devices[5].wwpn, kWwpn, 8);
    ASSERT_EQ(CLU_SetBootParamsX86(0, false, &r), 0u);

    // Only the first three characters count for getbootparams; setdef wants the exact kind.
    EXPECT_EQ(boot::hbaset({"getbootparams", "n=1", "p=x86foo"}).exit_code, 0);
    hbatest::RunResult bad = boot::hbaset({"setdefbootparams", "n=1", "p=x86foo"});
    EXPECT_EQ(bad.exit_code, 50);
    EXPECT_EQ(boot::body(bad.out), "\n[CLU_SetDefaultBootParams] - Incorrect Input Symbols\n");
    EXPECT_EQ(boot::hbaset({"getbootparams", "n=1", "p=foo"}).exit_code, 50);

    ASSERT_EQ(boot::hbaset({"setdefbootparams", "n=1", "p=x86"}).exit_code, 0);
    ASSERT_EQ(readBootParamsX86(0, &r), 0u);
    EXPECT_EQ(r.valid, 1u);
    EXPECT_EQ(r.enableBootFromSan.value, 0);
    EXPECT_EQ(r.topology.value, 0);
    EXPECT_EQ(r.autoScan.value, 0);
    EXPECT_EQ(r.devices[0].did, 0u);
    EXPECT_EQ(r.devices[0].lun, 0u);
    EXPECT_EQ(memcmp(r.devices[0].wwpn, kWwpn, 8), 0);
    EXPECT_EQ(memcmp(r.devices[5].wwpn, kWwpn, 8), 0);
}

struct StateCase {
    const char* name;
    const char* state; // region_state of the fleet
    uint32_t setdef;   // setdefbootparams p=x86 before re-initialising
};
void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

class BootRegionStates : public ::testing::TestWithParam<StateCase> {};

// Absent and uninitialised regions read as unsigned; writing them needs
// x86init, which reconstructs regions 8 and 9 and writes their signatures.
TEST_P(BootRegionStates, X86InitReconstructsTheRegions) {
    const StateCase& c = GetParam();
    hbatest::TempState state;
    state.init(boot::fleet(std::string(boot::kClassic) + " region_state = \"" + c.state + "\""));
    hbatest::RunResult get = boot::hbaset({"getbootparams", "n=1", "p=x86"});
    EXPECT_EQ(get.exit_code, 0) << get.out;
    EXPECT_NE(get.out.find("EnableBootFromSAN        0"), std::string::npos);
    EXPECT_EQ(boot::hbaset({"setdefbootparams", "n=1", "p=x86"}).exit_code,
              static_cast<int>(c.setdef));

    hbasim::journal_clear();
    hbatest::RunResult init = boot::hbaset({"setdefbootparams", "n=1", "p=x86init"});
    EXPECT_EQ(init.exit_code, 0) << init.out;
    EXPECT_EQ(boot::mailboxCount("LOAD_SM"), 2u); // regions 8 and 9 cleared in flash
    std::vector<uint8_t> r8 = boot::region(8);
    std::vector<uint8_t> r9 = boot::region(9);
    ASSERT_EQ(r8.size(), 60u);
    ASSERT_EQ(r9.size(), 88u);
    EXPECT_EQ(std::string(r8.begin(), r8.begin() + 4), "BIOS");
    EXPECT_EQ(std::string(r9.begin(), r9.begin() + 4), "EXTB");
    EXPECT_EQ(boot::hbaset({"setdefbootparams", "n=1", "p=x86"}).exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, BootRegionStates,
    ::testing::Values(StateCase{"Absent", "8=invalid", RM_STATUS_REGION_REINIT},
                      StateCase{"Uninitialised", "8=uninit,9=uninit", RM_STATUS_REGION_REINIT},
                      StateCase{"Valid", "", 0}),
    [](const ::testing::TestParamInfo<StateCase>& i) { return std::string(i.param.name); });

// A region 0 the adapter does not know is rebuilt from the factory address,
// DefaultAlpa included.
TEST(BootParamsRegion0, UnknownRegion0IsRebuiltFromTheFactoryAddress) {
    HbasetMachine m(
        boot::fleet(std::string(boot::kClassic) +
                    " factory_wwn = 10:00:00:11:22:33:44:55 region_state = \"0=invalid\""));
    boot::useClassicPath(0);
    BootParamsX86 r;
    ASSERT_EQ(readBootParamsX86(0, &r), 0u);
    r.defaultAlpa.value = 0x01;
    ASSERT_EQ(CLU_SetBootParamsX86(0, false, &r), 0u);
    std::vector<uint8_t> r0 = boot::region(0);
    ASSERT_GE(r0.size(), 20u);
    EXPECT_EQ(boot::hex(std::vector<uint8_t>(r0.begin(), r0.begin() + 20)),
              "11000010554433221100002055443322"
              "01000000");
}

// A zero factory address in the table (its start-up read failed) must never
// reach NV: the paths that rebuild region 0 refuse before writing anything.
TEST(BootParamsRegion0, ZeroFactoryAddressWritesNothing) {
    HbasetMachine m(boot::fleet(std::string(boot::kClassic) + " region_state = \"0=invalid\""));
    boot::useClassicPath(0);
    adapterAt(0)->wwpnHigh = 0;
    adapterAt(0)->wwpnLow = 0;
    BootParamsX86 r;
    ASSERT_EQ(readBootParamsX86(0, &r), 0u);
    hbasim::journal_clear();
    EXPECT_EQ(CLU_SetDefaultBootParams(0, "x86init"), 30u);
    EXPECT_EQ(CLU_SetDefaultBootParams(0, "efiinit"), 30u);
    EXPECT_EQ(CLU_SetBootParamsX86(0, false, &r), 30u);
    for (const char* write : {"UPDATE_CFG", "LOAD_SM", "WRITE_NV"})
        EXPECT_EQ(boot::mailboxCount(write), 0u) << write;
}

} // namespace
