// DownloadCNAFirmware against the simulated machine: the NEXA outcome of
// UpgradeFlashROM through both mapping tables to the CLU status, the flash and
// active versions afterwards, and the refusals made before any NEXA call.
#include "hbaset/cna/cna_download.h"
#include "tests/cna_download/cna_fixture.h"

namespace {

using cnatest::makeUfi;

// Default fleet: machine adapter 2 is CNA1 (cv3: 2 fcoe, 2 nic), 3 is CNA2
// (tarnel: 2 iscsi, 2 nic); every function has revision 0x10.
constexpr int kCv3Adapter = 2;
constexpr const char* kCv3Flash = "11.4.204.20";

class CnaDownload : public cnatest::CnaMachine {
  protected:
    void SetUp() override { start(""); }
    static void setCv3(const char* key, const char* value) {
        ASSERT_EQ(hbasim::update_adapter(kCv3Adapter,
                                         [&](hbasim::Adapter& a) {
                                             a.attrs.set(key, value);
                                             return true;
                                         }),
                  hbasim::SIM_OK);
    }
    static void fault(const char* match, const char* action) {
        hbasim::Fault f;
        f.source = "nexa";
        f.match = match;
        f.action = action;
        ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    }
};

TEST_F(CnaDownload, NexaCodesTable) {
    struct Case {
        const char* what;
        const char* key; // adapter attribute set first (null: none)
        const char* value;
        const char* action; // fault on do_action:UpgradeFlashROM (null: none)
        uint32_t clu;
        bool flashed; // FirmwareVersionOnFlash is the image's version afterwards
    };
    const Case cases[] = {
        {"written, reboot needed (55)", nullptr, nullptr, nullptr, 80, true},
        {"written (0)", "upgrade_status", "0", nullptr, 0, true},
        {"virtual function (235)", "upgrade_forced_status", "235", nullptr, 71, false},
        {"special release (318)", "upgrade_forced_status", "318", nullptr, 87, false},
        {"bad signature (336)", "upgrade_forced_status", "336", nullptr, 90, false},
        {"no signature (337)", "upgrade_forced_status", "337", nullptr, 89, false},
        {"busy (173)", nullptr, nullptr, "rc=173", 31, false},
        {"cannot open (39)", nullptr, nullptr, "rc=39", 4, false},
        {"format (40)", nullptr, nullptr, "rc=40", 31, false},
        {"incompatible (162)", nullptr, nullptr, "rc=162", 70, false},
        {"NEXA busy (14)", nullptr, nullptr, "rc=14", 31, false},
        {"unknown (999)", nullptr, nullptr, "rc=999", 141, false},
        // The action fails but the last status still reads 0 from before.
        {"stale last status", nullptr, nullptr, "stale", 141, false},
    };
    int fcoe = entryOf(isFcoeFunction, FAMILY_CV3);
    ASSERT_GE(fcoe, 0);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setCv3("fw_flash", kCv3Flash);
        setCv3("upgrade_status", "55");
        setCv3("upgrade_forced_status", "0");
        hbasim::fault_clear();
        if (c.key) setCv3(c.key, c.value);
        if (c.action) fault("do_action:UpgradeFlashROM", c.action);
        std::string version = "11.4.400." + std::to_string(n);
        std::string path = makeUfi(state_, "c" + std::to_string(n++) + ".ufi",
                                   {"--gen", "3", "--version", version, "--asic", "17"});
        EXPECT_EQ(DownloadCNAFirmware(fcoe, path.c_str()), c.clu);
        EXPECT_EQ(machineAttr(kCv3Adapter, "fw_flash"), c.flashed ? version : kCv3Flash);
        EXPECT_EQ(machineAttr(kCv3Adapter, "fw_active"), kCv3Flash);
    }
}

TEST_F(CnaDownload, StatusQueryFailure) {
    // The action succeeded but its status cannot be read: taken as written,
    // reboot needed. A failed action whose status cannot be read is a plain
    // failure.
    int nic = entryOf(isNicFunction, FAMILY_CV3);
    setCv3("upgrade_status", "0");
    std::string path = makeUfi(state_, "q.ufi", {"--gen", "3", "--version", "11.4.500.1"});
    fault("get_last_status", "rc=2");
    EXPECT_EQ(DownloadCNAFirmware(nic, path.c_str()), 80u);
    EXPECT_EQ(machineAttr(kCv3Adapter, "fw_flash"), "11.4.500.1");
    fault("do_action:UpgradeFlashROM", "rc=5");
    EXPECT_EQ(DownloadCNAFirmware(nic, path.c_str()), 141u);
}

TEST_F(CnaDownload, ActiveVersionChangesAtReboot) {
    int iscsi = entryOf(isIscsiFunction, FAMILY_TARNEL);
    ASSERT_GE(iscsi, 0);
    std::string before = machineAttr(3, "fw_active");
    std::string path = makeUfi(state_, "t.ufi", {"--gen", "4", "--version", "12.0.400.7"});
    EXPECT_EQ(DownloadCNAFirmware(iscsi, path.c_str()), 80u);
    EXPECT_EQ(machineAttr(3, "fw_flash"), "12.0.400.7");
    EXPECT_EQ(machineAttr(3, "fw_active"), before);
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(machineAttr(3, "fw_active"), "12.0.400.7");
}

TEST_F(CnaDownload, RefusedBeforeNexa) {
    int fcoe = entryOf(isFcoeFunction, FAMILY_CV3);
    int nic = entryOf(isNicFunction, FAMILY_CV3);
    std::string good = makeUfi(state_, "g.ufi", {"--gen", "3"});
    hbasim::journal_clear();

    // 255 characters fit the NEXA parameter; 256 do not.
    std::string dir = state_.path("");
    std::string longPath = dir + std::string(256 - dir.size() - 4, 'x') + ".ufi";
    ASSERT_EQ(longPath.size(), 256u);
    hbatest::write_file(longPath, hbatest::read_file(good));
    EXPECT_EQ(DownloadCNAFirmware(fcoe, longPath.c_str()), 4u);
    EXPECT_EQ(DownloadCNAFirmware(fcoe, nullptr), 4u);

    // Image checks fail before NEXA.
    std::string gen4 = makeUfi(state_, "w.ufi", {"--gen", "4"});
    EXPECT_EQ(DownloadCNAFirmware(fcoe, gen4.c_str()), 70u);
    std::string asic0 = makeUfi(state_, "a.ufi", {"--gen", "3", "--asic", "0"});
    EXPECT_EQ(DownloadCNAFirmware(nic, asic0.c_str()), 70u);
    std::string shortImg = makeUfi(state_, "s.ufi", {"--gen", "3", "--variant", "short"});
    EXPECT_EQ(DownloadCNAFirmware(nic, shortImg.c_str()), 141u);

    // A CV3 revision that cannot be read refuses the download.
    CorevaneAdapter* cna = cnaAdapterOf(nic);
    ASSERT_NE(cna, nullptr);
    uint8_t saved[MAL_PCI_CONFIG_SIZE];
    memcpy(saved, cna->nicFunctions[0].pciConfig, sizeof saved);
    memset(cna->nicFunctions[0].pciConfig, 0, sizeof saved);
    EXPECT_EQ(DownloadCNAFirmware(nic, good.c_str()), 4u);
    memcpy(cna->nicFunctions[0].pciConfig, saved, sizeof saved);

    // An unmatched FCoE function, an FC function and NEXA down.
    adapterAt(fcoe)->fcoeMatched = 0;
    EXPECT_EQ(DownloadCNAFirmware(fcoe, good.c_str()), 71u);
    adapterAt(fcoe)->fcoeMatched = 1;
    EXPECT_EQ(DownloadCNAFirmware(0, good.c_str()), 71u);
    g_run.nexaUp = false;
    EXPECT_EQ(DownloadCNAFirmware(nic, good.c_str()), 72u);
    g_run.nexaUp = true;

    EXPECT_EQ(upgradeCalls(), 0u);
    EXPECT_EQ(machineAttr(kCv3Adapter, "fw_flash"), kCv3Flash);
    EXPECT_EQ(DownloadCNAFirmware(nic, good.c_str()), 80u);
    EXPECT_EQ(upgradeCalls(), 2u); // lookup and action
}

TEST_F(CnaDownload, Cv2ImageListedInFlashDirectory) {
    start("adapter CNA3 cv2\nfunction nic\nfunction iscsi\n");
    int iscsi = entryOf(isIscsiFunction, FAMILY_CV2);
    ASSERT_GE(iscsi, 0);
    std::string other = makeUfi(
        state_, "d.ufi",
        {"--gen", "2", "--version", "10.7.300.2", "--device", "0x0999", "--dir-devices", "0x0700"});
    EXPECT_EQ(DownloadCNAFirmware(iscsi, other.c_str()), 80u);
    EXPECT_EQ(machineAttr(0, "fw_flash"), "10.7.300.2");
    std::string none = makeUfi(state_, "e.ufi", {"--gen", "2", "--device", "0x0999"});
    EXPECT_EQ(DownloadCNAFirmware(iscsi, none.c_str()), 4u);
}

} // namespace
