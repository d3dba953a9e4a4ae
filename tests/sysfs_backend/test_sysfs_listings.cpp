// hbaset's inventory commands, tgxlist and fwsweep with the FC backend on
// fixture sysfs trees; every command that would change an adapter fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;
using hbatest::RunResult;

namespace {

const char kNoVpdLine[] = "Attempt to read VPD information fails. Adapter #3 - RM_STATUS = 1\n";
const char kDone[] = "Command completed, NO Error";

class SysfsListings : public ::testing::Test {
  protected:
    void SetUp() override { addTwoMakers(tree_); }
    RunResult hbaset(const std::vector<std::string>& args, const std::string& cwd = "") {
        return hbatest::run(hbatest::bin_path("hbaset"), args, tree_.env(), cwd);
    }
    hbatest::TempState state_;
    SysfsTree tree_;
};

std::string after(const std::string& out, const std::string& marker) {
    size_t at = out.find(marker);
    return at == std::string::npos ? "" : out.substr(at);
}

TEST_F(SysfsListings, ListhbaShowsThePhysicalPortsOnly) {
    RunResult r = hbaset({"listhba"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    // The converged stand-in shows nothing beside a real server's ports, and
    // the port without VPD or transport model says so once at start-up.
    EXPECT_EQ(r.out, std::string("No Corevane\n") + kNoVpdLine +
                         "Command: listhba\n"
                         "HBA 1: 21000024 FF7B4C2A Functional FW: 6.2.14.0 devID:A16 Bus:3B Dev:0 "
                         "Func:0 HF-1620D\n"
                         "HBA 2: 21000024 FF7B4C2B Functional FW: 6.2.14.0 devID:A16 Bus:3B Dev:0 "
                         "Func:1 HF-1620D\n"
                         "HBA 3: 10000090 FA1C0E55 Functional FW:  devID:3C08 Bus:5E Dev:0 "
                         "Func:0 Unknown\n"
                         "Command completed, NO Error\n");
    // Nothing of the simulated machine is made on a real server.
    EXPECT_FALSE(std::filesystem::exists(state_.path("machine.hbs")));
}

TEST_F(SysfsListings, ListattrBlocksFromTransportPciAndVpd) {
    RunResult r = hbaset({"listattr"});
    // Boot code versions are not published in sysfs: "N/A" and status 19.
    EXPECT_EQ(r.exit_code, 19) << r.out;
    const std::string first = "HBA                  : 1\n"
                              "Serial Number        : HF21K0458\n"
                              "Model                : HF-1620D\n"
                              "FW Version           : 6.2.14.0\n"
                              "Boot Version         : N/A\n"
                              "Boot Enabled         : 0\n"
                              "BIOS Version         : \n"
                              "Port WWN             : 21:00:00:24:FF:7B:4C:2A\n"
                              "Function Type        : FC\n"
                              "Device ID            : 0A16\n"
                              "Vendor ID            : 1E4A\n"
                              "Sub Device ID        : 0102\n"
                              "Sub Vendor ID        : 1E4A\n"
                              "PCI Bus Number       : 3B\n"
                              "PCI Dev Number       : 0\n"
                              "PCI Fun Number       : 0\n"
                              "VPD Model            : 1\n"
                              "Multi Channel        : 0\n"
                              "Configuration        : 0\n"
                              "CVR                  : 0\n"
                              "RevID                : 2\n\n";
    EXPECT_NE(r.out.find(first), std::string::npos) << r.out;
    // Port 2's VPD cannot be read: serial and model come from fc_host.
    EXPECT_NE(r.out.find("HBA                  : 2\n"
                         "Serial Number        : HF21K0458\n"
                         "Model                : HF-1620D\n"),
              std::string::npos);
    // The port of the maker that publishes no optional attributes.
    EXPECT_NE(r.out.find("HBA                  : 3\n"
                         "Serial Number        : N/A\n"
                         "Model                : \n"
                         "FW Version           : \n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Port WWN             : 10:00:00:90:FA:1C:0E:55\n"
                         "Function Type        : FC\n"
                         "Device ID            : 3C08\n"
                         "Vendor ID            : 1F7D\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find("HBA                  : 4"), std::string::npos);
}

TEST_F(SysfsListings, HbaattrPcidataVpdAndVersion) {
    RunResult r = hbaset({"hbaattr", "n=3"});
    EXPECT_EQ(r.exit_code, 19) << r.out;
    EXPECT_NE(r.out.find("Port WWN                       : 10:00:00:90:FA:1C:0E:55\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("RevID                          : 1\n"), std::string::npos);

    r = hbaset({"pcidata", "n=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(after(r.out, "Command: pcidata n=1\n")
                  .find("Vendor ID:            0x1E4A        Device ID:            0x0A16\n"
                        "Command:              0x0546        Status:               0x0010\n"
                        "Revision ID:          0x02          Prog If:              0x00\n"
                        "Subclass:             0x04          Base Class:           0x0C\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Base Address 0:       0xD100A004    "), std::string::npos);
    EXPECT_NE(r.out.find("SubSystem ID:         0x0102        "), std::string::npos);

    struct VpdCase {
        const char* n;
        int status;
        const char* text;
    } cases[] = {
        // The function's own VPD, as stored.
        {"n=1", 0,
         "Product Name          : HF-1620D 16Gb dual-port FC HBA\n"
         "PN (Part Number)      : HFP-2002-01\n"
         "SN (Serial Number)    : hf21k0458\n"
         "V2                    : HF-1620D\n"},
        // Unreadable VPD: built from the transport attributes.
        {"n=2", 0,
         "Product Name          : HF-1620D 16Gb dual-port FC HBA\n"
         "SN (Serial Number)    : HF21K0458\n"
         "V2                    : HF-1620D\n"},
        // Neither: the read fails.
        {"n=3", 15, kNoVpdLine},
    };
    for (const VpdCase& c : cases) {
        r = hbaset({"vpd", c.n});
        EXPECT_EQ(r.exit_code, c.status) << c.n << r.out;
        std::string vpdArg = c.n;
        EXPECT_NE(after(r.out, "Command: vpd " + vpdArg + "\n").find(c.text), std::string::npos)
            << r.out;
    }

    r = hbaset({"version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("NEXA Service Version N/A\n"), std::string::npos) << r.out;
}

TEST_F(SysfsListings, VpdWithoutSerialOrModelIsCompletedFromTransport) {
    hbatest::write_file(tree_.root() + "/sys/bus/pci/devices/0000:3b:00.0/vpd",
                        pciVpd("HF-1620D 16Gb dual-port FC HBA", "", ""));
    RunResult r = hbaset({"vpd", "n=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(after(r.out, "Command: vpd n=1\n")
                  .find("Product Name          : HF-1620D 16Gb dual-port FC HBA\n"
                        "PN (Part Number)      : HFP-2002-01\n"
                        "SN (Serial Number)    : HF21K0458\n"
                        "V2                    : HF-1620D\n"),
              std::string::npos)
        << r.out;
    r = hbaset({"listhba"});
    EXPECT_NE(r.out.find("Func:0 HF-1620D\n"), std::string::npos) << r.out;
}

TEST_F(SysfsListings, TgxlistShowsLibraryView) {
    RunResult r = hbatest::run(hbatest::bin_path("tgxlist"), {}, tree_.env());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out,
              "libtgx 12.0.1167.0   X86: 3 adapter(s)\n"
              "board 0: scsi port 3, pci 1E4A:0A16 at 3B:00.0, model HF-1620D, fw 6.2.14.0 "
              "(r2031), wwpn 21:00:00:24:FF:7B:4C:2A, sli 4, features 0x1000\n"
              "  driver hfsfc 4.11.0.7, option rom 3.40a1, serial HF21K0458, port state 2, speed "
              "0x20, remote ports 3\n"
              "board 1: scsi port 4, pci 1E4A:0A16 at 3B:00.1, model HF-1620D, fw 6.2.14.0 "
              "(r2031), wwpn 21:00:00:24:FF:7B:4C:2B, sli 4, features 0x1000\n"
              "  driver hfsfc 4.11.0.7, option rom 3.40a1, serial HF21K0458, port state 2, speed "
              "0x20, remote ports 2\n"
              "board 2: scsi port 7, pci 1F7D:3C08 at 5E:00.0, model , fw , wwpn "
              "10:00:00:90:FA:1C:0E:55, sli 4, features 0x1000\n"
              "  driver odfc 2.1.8, option rom , serial , port state 6, speed 0x0, remote ports "
              "0\n");
}

TEST_F(SysfsListings, CommandsThatWouldChangeAnAdapterFail) {
    RunResult img = hbatest::run(hbatest::bin_path("hbasim"),
                                 {"image", "prg", "--type", "7", "--id", "0x73", "--text",
                                  "2.20a2 SLI-2", "-o", state_.path("fw.prg")});
    ASSERT_EQ(img.exit_code, 0) << img.err;
    const std::vector<std::vector<std::string>> commands = {
        {"download", "n=1", "i=" + state_.path("fw.prg")},
        {"reset", "n=1"},
        {"writewwn", "n=1", "0x1000000000000001", "0x2000000000000001"},
        {"restorenvwwn", "n=1"},
        {"restoredefwwn", "n=2"},
        {"enablebootdevice", "n=1", "i=1"},
        {"disablebootdevice", "n=1"},
        {"setbootdevice", "n=1", "w0=10000000", "w1=11abcdef", "l=0", "t=0"},
        {"factorydefaults", "n=1"},
        {"setdefbootparams", "n=3", "p=x86"},
        {"intloopback", "n=1", "p=5a5a5a5a", "c=128", "r=1", "t=0"},
        {"readnvlog", "n=1"},
        {"dump", "n=1"},
    };
    for (const auto& args : commands) {
        RunResult r = hbaset(args);
        SCOPED_TRACE(args[0]);
        EXPECT_NE(r.exit_code, 0) << r.out;
        EXPECT_NE(r.exit_code, 27) << r.out; // refused by the adapter, not by the syntax check
        EXPECT_NE(r.exit_code, 80);
        EXPECT_NE(r.exit_code, 87);
        EXPECT_EQ(r.out.find(kDone), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Reported Error of " + std::to_string(r.exit_code)), std::string::npos)
            << r.out;
    }
}

TEST_F(SysfsListings, FwsweepFindsNothingToUpdate) {
    std::string dir = state_.path("fw/");
    std::filesystem::create_directories(dir);
    hbatest::write_file(dir + "fwmatrix.txt", "CV3C100-FCoE cv3new.ufi\n");
    RunResult r = hbatest::run(hbatest::bin_path("fwsweep"), {"/q", "/id=" + dir, "/fmd=" + dir},
                               tree_.env());
    // fwsweep updates converged adapters only; a server of FC HBAs has none.
    EXPECT_EQ(r.exit_code, 5) << r.out;
    EXPECT_NE(r.out.find("no supported Quoral HBAs found - Return Code=5"), std::string::npos)
        << r.out;
}

TEST(SysfsEmptyTree, NoAdapterMessage) {
    hbatest::TempState state;
    SysfsTree tree; // fc_host exists but lists no port
    RunResult r = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}, tree.env());
    EXPECT_EQ(r.exit_code, 45);
    EXPECT_EQ(r.out, "No Corevane\nNo Quoral CNA adapters installed\n");
    r = hbatest::run(hbatest::bin_path("tgxlist"), {}, tree.env());
    EXPECT_EQ(r.out, "libtgx 12.0.1167.0   X86: 0 adapter(s)\n");
}

TEST(SysfsEmptyTree, NoFcTransportAtAll) {
    // A root without sys/class/fc_host (no FC driver loaded), and a virtual
    // port whose physical port is missing: still no adapter.
    hbatest::TempState state;
    SysfsTree tree;
    PortSpec v;
    v.host = 9;
    v.pci = "0000:3b:00.0";
    v.driver = "hfsfc";
    v.fcHost = hostAttributes(0x2f00000000000001ull, 0x2f00000000000002ull, "Online", false);
    v.fcHost["port_type"] = "NPIV VPORT\n";
    v.virtualPort = true;
    tree.addPort(v);
    RunResult r = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}, tree.env());
    EXPECT_EQ(r.exit_code, 45) << r.out;
    std::map<std::string, std::string> env = tree.env();
    env["HBA_SYSFS_ROOT"] = state.path("no-such-root");
    r = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}, env);
    EXPECT_EQ(r.exit_code, 45) << r.out;
    EXPECT_NE(r.out.find("No Quoral CNA adapters installed\n"), std::string::npos);
}

} // namespace
