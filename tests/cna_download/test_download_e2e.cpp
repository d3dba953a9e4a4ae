// `hbaset download n=N i=FILE.ufi` as a process on the default fleet: every
// NEXA outcome against the exit code and the first result line, the path
// length refusal, and the flash version a following listattr shows.
#include <sys/stat.h>

#include "tests/cna_download/cna_fixture.h"

namespace {

using cnatest::makeUfi;

constexpr int kCv3Adapter = 2; // machine index of CNA1 (cv3)
const char kCv3Nic[] = "n=7";  // its first NIC function

class DownloadProcess : public ::testing::Test {
  protected:
    void SetUp() override { state_.init(); }
    hbatest::RunResult hbaset(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, {}, state_.dir());
    }
    // The line after "File Extension ufi".
    static std::string firstResultLine(const std::string& out) {
        size_t at = out.find("File Extension ufi\n");
        if (at == std::string::npos) return "";
        at += strlen("File Extension ufi\n");
        return out.substr(at, out.find('\n', at) - at);
    }
    static void setCv3(const char* key, const char* value) {
        hbasim::update_adapter(kCv3Adapter, [&](hbasim::Adapter& a) {
            a.attrs.set(key, value);
            return true;
        });
    }
    static std::string flashOf(int adapter) {
        std::string v;
        hbasim::read_adapter(adapter,
                             [&](const hbasim::Adapter& a) { v = a.attrs.get("fw_flash"); });
        return v;
    }
    hbatest::TempState state_;
};

TEST_F(DownloadProcess, NexaOutcomes) {
    struct Case {
        const char* what;
        const char* key; // CNA1 attribute set first
        const char* value;
        const char* fault; // action of a fault on do_action:UpgradeFlashROM
        int exit;
        const char* line;
    };
    const char* kDone =
        "Download successfully completed. Please reboot the system to activate new firmware.";
    const Case cases[] = {
        {"0", "upgrade_status", "0", nullptr, 80, kDone},
        {"55", nullptr, nullptr, nullptr, 80, kDone},
        {"39", nullptr, nullptr, "rc=39", 7, "Download failed on adapter 7 Stat 00000004"},
        {"40", nullptr, nullptr, "rc=40", 7, "Download failed on adapter 7 Stat 0000001F"},
        {"162", nullptr, nullptr, "rc=162", 7, "Download failed on adapter 7 Stat 00000046"},
        {"173", nullptr, nullptr, "rc=173", 7, "Download failed on adapter 7 Stat 0000001F"},
        {"235", "upgrade_forced_status", "235", nullptr, 7,
         "Download failed on adapter 7 Stat 00000047"},
        {"318", "upgrade_forced_status", "318", nullptr, 87,
         "This special firmware release requires the firmware download process to be"},
        {"336", "upgrade_forced_status", "336", nullptr, 90,
         "Download failed due to invalid firmware digital signature."},
        {"337", "upgrade_forced_status", "337", nullptr, 89,
         "Download failed due to missing digital signature in firmware file."},
        {"999", nullptr, nullptr, "rc=999", 7, "Download failed on adapter 7 Stat 0000008D"},
        {"stale last status", nullptr, nullptr, "stale", 7,
         "Download failed on adapter 7 Stat 0000008D"},
    };
    std::string image = makeUfi(state_, "fw.ufi", {"--gen", "3", "--version", "11.4.700.1"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setCv3("upgrade_status", "55");
        setCv3("upgrade_forced_status", "0");
        hbasim::fault_clear();
        if (c.key) setCv3(c.key, c.value);
        if (c.fault) {
            hbasim::Fault f;
            f.source = "nexa";
            f.match = "do_action:UpgradeFlashROM";
            f.action = c.fault;
            ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
        }
        hbatest::RunResult r = hbaset({"download", kCv3Nic, "i=" + image});
        EXPECT_EQ(r.exit_code, c.exit) << r.out;
        EXPECT_EQ(firstResultLine(r.out), c.line) << r.out;
    }
    // The signature texts continue as the command prints them.
    hbasim::fault_clear();
    setCv3("upgrade_forced_status", "337");
    hbatest::RunResult r = hbaset({"download", kCv3Nic, "i=" + image});
    EXPECT_NE(r.out.find("Please contact customer support for additional help.\n"
                         "Download failed on adapter 7 Stat 89\n"),
              std::string::npos)
        << r.out;
}

TEST_F(DownloadProcess, LongPathRefusedWithoutNexa) {
    // A short argument whose full path has 256 characters: one too many for
    // the NEXA parameter.
    std::string image = makeUfi(state_, "fw.ufi", {"--gen", "3"});
    std::string base = state_.path("");
    std::string deep = base + std::string(256 - base.size() - strlen("/fw.ufi"), 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    hbatest::write_file(deep + "/fw.ufi", hbatest::read_file(image));
    ASSERT_EQ((deep + "/fw.ufi").size(), 256u);
    hbasim::journal_clear();
    hbatest::RunResult r =
        hbatest::run(hbatest::bin_path("hbaset"), {"download", kCv3Nic, "i=fw.ufi"}, {}, deep);
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_EQ(firstResultLine(r.out), "Download failed on adapter 7 Stat 00000004");
    for (const std::string& line : hbasim::journal_lines())
        EXPECT_EQ(line.find("UpgradeFlashROM"), std::string::npos) << line;
    // One character less goes through.
    std::string fits = deep.substr(0, deep.size() - 1);
    ASSERT_EQ(mkdir(fits.c_str(), 0755), 0);
    hbatest::write_file(fits + "/fw.ufi", hbatest::read_file(image));
    r = hbatest::run(hbatest::bin_path("hbaset"), {"download", kCv3Nic, "i=fw.ufi"}, {}, fits);
    EXPECT_EQ(r.exit_code, 80) << r.out;
}

TEST_F(DownloadProcess, ListattrShowsFlashVersion) {
    std::string image = makeUfi(state_, "tn.ufi", {"--gen", "4", "--version", "12.0.800.3"});
    hbatest::RunResult r = hbaset({"download", "n=9", "i=" + image});
    ASSERT_EQ(r.exit_code, 80) << r.out;
    EXPECT_EQ(flashOf(3), "12.0.800.3");
    r = hbaset({"listattr"});
    size_t block = r.out.find("HBA                  : 9\n");
    ASSERT_NE(block, std::string::npos) << r.out;
    size_t fw = r.out.find("FW Version           : ", block);
    EXPECT_EQ(r.out.substr(fw, r.out.find('\n', fw) - fw), "FW Version           : 12.0.800.3");
    // A refused image leaves it, and a wrong kind for the adapter is refused.
    std::string cv3 = makeUfi(state_, "cv3.ufi", {"--gen", "3"});
    r = hbaset({"download", "n=9", "i=" + cv3});
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_EQ(firstResultLine(r.out), "Download failed on adapter 9 Stat 00000046");
    EXPECT_EQ(flashOf(3), "12.0.800.3");
}

} // namespace
