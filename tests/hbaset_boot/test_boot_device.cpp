// Boot device commands run as processes: setbootdevice's topology table and
// its checks on each FC path, enable/disable, setAltBoot and readaltboot with
// their refusals, listboot per adapter kind, networkboot through NEXA, and
// enableAdapterBootCode.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/boot_device.h"
#include "hbaset/fcmaint/wakeup.h"
#include "tests/hbaset_boot/boot_fixture.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;
using hbatest::TempState;

namespace {

constexpr uint32_t kBootBios = 0x03A10163;

size_t journalCount(const std::string& needle) {
    size_t n = 0;
    for (const std::string& line : hbasim::journal_lines())
        if (line.find(needle) != std::string::npos) ++n;
    return n;
}

std::string classicWithBoot(const std::string& more = "") {
    return boot::fleet(std::string(boot::kClassic) + boot::wakeupKey(kBootBios) + more);
}

struct TopologyCase {
    int t;
    uint8_t bits;
    const char* line;
};

TEST(SetBootDevice, TopologyTableOnTheClassicPath) {
    const TopologyCase cases[] = {
        {0, 0xC, "Topology:        Arbitrated Loop\n"},
        {1, 0x4, "Topology:        Point-to-Point\n"},
        {2, 0x0, "Topology:        Auto - Arbitrated Loop First\n"},
        {3, 0x8, "Topology:        Auto - Point-to-Point First\n"},
    };
    for (const TopologyCase& c : cases) {
        TempState state;
        state.init(classicWithBoot());
        hbasim::journal_clear();
        hbatest::RunResult set = boot::hbaset({"setbootdevice", "n=1", "w0=10000000", "w1=C9AABBCC",
                                               "l=5", "t=" + std::to_string(c.t)});
        ASSERT_EQ(set.exit_code, 0) << set.out;
        EXPECT_EQ(journalCount(" RESET_ADAPTER "), 1u) << "classic adapters are reset";

        std::vector<uint8_t> r8 = boot::region(8);
        ASSERT_EQ(r8.size(), 60u);
        EXPECT_EQ(std::string(r8.begin(), r8.begin() + 4), "BIOS");
        EXPECT_EQ(boot::le32(r8, 4), 0x542u);
        EXPECT_EQ(r8[9], 0x01 | c.bits) << "t=" << c.t;
        EXPECT_EQ(r8[16], 1);
        EXPECT_EQ(boot::le32(r8, 17), 0x10000000u);
        EXPECT_EQ(boot::le32(r8, 21), 0xC9AABBCCu);
        EXPECT_EQ(r8[28], 5);

        hbatest::RunResult read = boot::hbaset({"readbootdevice", "n=1"});
        EXPECT_EQ(read.exit_code, 0);
        EXPECT_EQ(boot::body(read.out), std::string("Boot Device WWN: 10000000   C9AABBCC\n"
                                                    "Boot Device LUN: 5\n") +
                                            c.line + "Current State: Enabled\n");
    }
}

TEST(SetBootDevice, BootCodeCheckAndResetOnlyOffSli4) {
    TempState state;
    state.init("adapter A fc\nfunction fc " + std::string(boot::kClassic) +
               "\nadapter S fc\nfunction fc " + boot::kSli4 + "\n");
    hbasim::journal_clear();
    hbatest::RunResult classic =
        boot::hbaset({"setbootdevice", "n=1", "w0=10000000", "w1=00000001", "l=0", "t=0"});
    EXPECT_EQ(classic.exit_code, 37);
    EXPECT_EQ(boot::body(classic.out), "No Boot Code enabled\n");
    EXPECT_EQ(boot::mailboxCount("UPDATE_CFG"), 0u);

    hbatest::RunResult sli4 =
        boot::hbaset({"setbootdevice", "n=2", "w0=10000000", "w1=00000001", "l=0", "t=0"});
    EXPECT_EQ(sli4.exit_code, 0) << sli4.out;
    EXPECT_EQ(journalCount(" RESET_ADAPTER "), 0u);
    EXPECT_EQ(boot::le32(boot::region(8, 1), 21), 1u);
}

// Over an OpenBoot region the command starts from a cleared x86 image.
TEST(SetBootDevice, OpenBootRegionIsNotMixedWithX86Fields) {
    TempState state;
    std::vector<uint8_t> ob(60, 0x5A);
    memcpy(ob.data(), "NEPO", 4);
    state.init(classicWithBoot(" region_8 = " + boot::hex(ob)));
    ASSERT_EQ(boot::hbaset({"setbootdevice", "n=1", "w0=10000000", "w1=00000002", "l=3", "t=1"})
                  .exit_code,
              0);
    std::vector<uint8_t> want(60, 0);
    memcpy(want.data(), "BIOS", 4);
    boot::putLe(want, 4, 0x542);
    want[9] = 0x05;
    want[16] = 1;
    boot::putLe(want, 17, 0x10000000);
    boot::putLe(want, 21, 2);
    boot::putLe(want, 25, 0x03000000);
    EXPECT_EQ(boot::hex(boot::region(8)), boot::hex(want));
}

TEST(BootDeviceSwitch, DisableKeepsTheWrittenFlagSoStateStillReadsEnabled) {
    TempState state;
    state.init(classicWithBoot());
    hbatest::RunResult on = boot::hbaset({"enablebootdevice", "n=1"});
    EXPECT_EQ(on.exit_code, 0);
    EXPECT_EQ(boot::body(on.out), "Configuration changes have been successfully written.\n"
                                  "Please reboot the system for the changes to take effect.\n");
    EXPECT_EQ(boot::region(8)[9] & 1, 1);
    ASSERT_EQ(boot::hbaset({"disablebootdevice", "n=1"}).exit_code, 0);
    std::vector<uint8_t> r8 = boot::region(8);
    EXPECT_EQ(r8[9] & 1, 0);
    EXPECT_EQ(boot::le32(r8, 4) & 2, 2u);
    EXPECT_NE(boot::hbaset({"readbootdevice", "n=1"}).out.find("Current State: Enabled\n"),
              std::string::npos);
}

TEST(SetAltBoot, WrittenEntryIsReadBackOnBothPaths) {
    for (const char* keys : {boot::kClassic, boot::kSli4}) {
        TempState state;
        state.init(boot::fleet(std::string(keys) + boot::wakeupKey(kBootBios)));
        hbatest::RunResult set =
            boot::hbaset({"setAltBoot", "n=1", "i=3", "w0=20000000", "w1=C9112233", "l=7"});
        ASSERT_EQ(set.exit_code, 0) << keys << "\n" << set.out;
        std::vector<uint8_t> r9 = boot::region(9);
        ASSERT_EQ(r9.size(), 256u) << keys;
        EXPECT_EQ(std::string(r9.begin(), r9.begin() + 4), "EXTB");
        EXPECT_EQ(boot::le32(boot::region(8), 4) & 0x600, 0x600u);

        hbatest::RunResult read = boot::hbaset({"readaltboot", "n=1"});
        EXPECT_EQ(read.exit_code, 0);
        EXPECT_NE(read.out.find("Alt Boot 3-     Boot Device WWN: 20000000   C9112233   Boot "
                                "Device LUN: 7\n"),
                  std::string::npos)
            << read.out;
        EXPECT_NE(read.out.find("Alt Boot 4-     Boot Device WWN: 00000000   00000000"),
                  std::string::npos);
    }
}

// setAltBoot leaves region 9 at 256 bytes; the x86 parameters still write it.
TEST(SetAltBoot, X86ParametersStillWriteTheLongerRegion) {
    TempState state;
    state.init(classicWithBoot());
    ASSERT_EQ(
        boot::hbaset({"setAltBoot", "n=1", "i=2", "w0=20000000", "w1=C9112233", "l=7"}).exit_code,
        0);
    hbatest::RunResult def = boot::hbaset({"setdefbootparams", "n=1", "p=x86"});
    EXPECT_EQ(def.exit_code, 0) << def.out;
    std::vector<uint8_t> r9 = boot::region(9);
    ASSERT_EQ(r9.size(), 256u);
    EXPECT_EQ(boot::le32(r9, 16), 0x20000000u);
    EXPECT_EQ(boot::le32(r9, 24), 0x07000000u) << "only device 0 loses its D_ID and LUN";
}

TEST(SetAltBoot, RefusalsWriteNothing) {
    TempState state;
    state.init(classicWithBoot(" region_state = \"9=bad\""));
    hbasim::journal_clear();
    hbatest::RunResult index =
        boot::hbaset({"setAltBoot", "n=1", "i=8", "w0=20000000", "w1=C9112233", "l=7"});
    EXPECT_EQ(index.exit_code, 35);
    EXPECT_EQ(boot::body(index.out), "Index out of range\n");
    EXPECT_EQ(boot::mailboxCount("DUMP type=2 region=8") + boot::mailboxCount("UPDATE_CFG"), 0u)
        << "refused before the adapter is touched";

    // A region 9 that cannot be read is neither printed nor written back.
    hbatest::RunResult bad =
        boot::hbaset({"setAltBoot", "n=1", "i=2", "w0=20000000", "w1=C9112233", "l=7"});
    EXPECT_EQ(bad.exit_code, 30);
    EXPECT_EQ(boot::body(bad.out), "Failed to dump config region 9\n");
    hbatest::RunResult read = boot::hbaset({"readaltboot", "n=1"});
    EXPECT_EQ(read.exit_code, 30);
    EXPECT_EQ(boot::body(read.out), "Failed to dump config region 9\n");
    EXPECT_EQ(boot::mailboxCount("UPDATE_CFG"), 0u);
}

TEST(SetAltBoot, OlderDriverLimitSendsNoWrite) {
    HbasetMachine m(classicWithBoot());
    boot::useClassicPath(0);
    adapterAt(0)->mailboxLimit = 108;
    g_args.bootIndex = 2;
    g_args.wwpn[0] = 0x20000000;
    g_args.lun = 1;
    hbasim::journal_clear();
    cmdSetAltBoot(0);
    EXPECT_EQ(g_run.cluStatus, 38);
    EXPECT_EQ(m.takeConsole(), "This older driver does not allow to write 256 bytes of data\n");
    EXPECT_EQ(boot::mailboxCount("UPDATE_CFG"), 0u);
}

TEST(ReadAltBoot, AbsentRegionReadsAsEmptyEntries) {
    TempState state;
    state.init(classicWithBoot(" region_state = \"9=invalid\""));
    hbatest::RunResult read = boot::hbaset({"readaltboot", "n=1"});
    EXPECT_EQ(read.exit_code, 0);
    EXPECT_NE(read.out.find("Alt Boot 7-     Boot Device WWN: 00000000   00000000   Boot Device "
                            "LUN: 0\n"),
              std::string::npos);
}

struct ListBootCase {
    const char* name;
    std::string fleet;
    int n;
    int exit;
    std::string body;
};

TEST(ListBoot, LinesAndEndingPerAdapterKind) {
    const std::string images =
        " load_list = \"0x02A10101,0,Init;0x03A10163,0,BIOS;0x07A10101,0,SLI\"";
    const ListBootCase cases[] = {
        {"expansion ROM outside the load list adds a line",
         boot::fleet(std::string(boot::kClassic) + images + boot::wakeupKey(kBootBios, 0x03B00200)),
         1, 0, "BootBIOS 1 (enabled):    VB0.11B3\nBootBIOS 2 (enabled):     XX0.20N0\n"},
        {"expansion ROM in the load list",
         boot::fleet(std::string(boot::kClassic) + images + boot::wakeupKey(0, kBootBios)), 1, 0,
         "BootBIOS 1 (disabled):   VB0.11B3\n"},
        {"no boot image",
         boot::fleet(std::string(boot::kClassic) + " load_list = \"0x02A10101,0,Init\""), 1, 39,
         "No Boot BIOS program loaded in adapter 1\n"},
        {"Brevin FC function", "", 3, 0,
         "Boot Code (disabled)        = 12.0.342.0\nfc_universal_bios_version   = 12.0.342.0\n"
         "fc_x86_bios_version         = 12.0.342.0\nfc_efi_bios_version         = 12.0.342.0\n"
         "fc_fcode_version            = 12.0.342.0\n"},
        {"converged function", "", 7, 0,
         "BIOSVersion                    : 12.0.342.0\nBootCodeVersion                : "
         "11.4.204.20\n"
         "FirmwareStatus                 : Working\nFCoEUniversalVersion           : 12.0.342.0\n"
         "FCoEx86BIOSVersion             : 12.0.342.0\nFCoEEFIVersion                 : "
         "12.0.342.4\n"
         "FCoEFCODEVersion               : 12.0.342.2\nUEFIBIOSVersion                : "
         "12.0.342.4\n"
         "UEFINICVersion                 : 12.0.261.8\nUEFIFCODEVersion               : "
         "12.0.342.2\n"
         "UEFIiSCSIVersion               : 12.0.261.8\n"},
    };
    for (const ListBootCase& c : cases) {
        TempState state;
        state.init(c.fleet);
        hbatest::RunResult r = boot::hbaset({"listboot", "n=" + std::to_string(c.n)});
        EXPECT_EQ(r.exit_code, c.exit) << c.name << "\n" << r.out;
        EXPECT_EQ(boot::body(r.out), c.body) << c.name;
    }
}

TEST(ListBoot, BrevinBootCodeQueryFailure) {
    TempState state;
    state.init();
    hbasim::fault_add({"mbx", "GET_BOOT_CONFIG", -1, 0, "status=1", -1});
    hbatest::RunResult r = boot::hbaset({"listboot", "n=3"});
    EXPECT_EQ(r.exit_code, 79);
    EXPECT_NE(boot::body(r.out).find(
                  "Unable to retrieve current Boot Code configuration on Adapter #3 - Status = "),
              std::string::npos)
        << r.out;
}

// Default fleet: entry 8 is the second NIC function of the CV3 adapter
// (adapter 2, function 3).
TEST(NetworkBoot, SettingReachesNexa) {
    TempState state;
    state.init();
    ASSERT_EQ(boot::hbaset({"networkboot", "n=8", "t=Pxe", "s=1"}).exit_code, 0);
    EXPECT_EQ(boot::attr("netboot", 2, 3), "1");
    EXPECT_EQ(boot::attr("netboot_method", 2, 3), "PXE");
    EXPECT_EQ(boot::attr("netboot", 2, 2), "0") << "the other NIC function is unchanged";
    ASSERT_EQ(boot::hbaset({"networkboot", "n=8", "t=pxe", "s=0"}).exit_code, 0);
    EXPECT_EQ(boot::attr("netboot", 2, 3), "0");

    hbatest::RunResult type = boot::hbaset({"networkboot", "n=8", "t=iscsi", "s=1"});
    EXPECT_EQ(type.exit_code, 55);
    EXPECT_EQ(boot::body(type.out), "Invalid network boot type\n");
    EXPECT_EQ(boot::hbaset({"networkboot", "n=1", "t=pxe", "s=1"}).exit_code, 71);
}

TEST(EnableAdapterBootCode, SelectsAnImageOrWritesNothing) {
    HbasetMachine m(boot::fleet(std::string(boot::kClassic) +
                                " load_list = \"0x03A10163,0,BIOS;0x03A20170,0,BIOS2\"" +
                                boot::wakeupKey(kBootBios, kBootBios)));
    boot::useClassicPath(0);
    adapterAt(0)->hwType = 4100;
    hbasim::journal_clear();
    EXPECT_EQ(enableAdapterBootCode(0, 2, false), 39);
    EXPECT_EQ(boot::mailboxCount("UPDATE_CFG"), 0u);

    EXPECT_EQ(enableAdapterBootCode(0, 1, false), 0);
    WakeupParms wp;
    ASSERT_EQ(ReadWakeupParms(0, &wp), 0u);
    EXPECT_EQ(wp.bootBios.w0, 0x03A20170u);
    EXPECT_EQ(wp.expRom.w0, 0x03A20170u);
    EXPECT_GE(boot::mailboxCount("LOAD_EXP_ROM"), 1u);
}

} // namespace
