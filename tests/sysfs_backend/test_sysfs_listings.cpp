// hbaset's inventory commands, tgxlist and fwsweep with the FC backend on
// fixture sysfs trees (a two-maker tree with every optional attribute, and
// the attribute set mainline drivers publish); commands the kernel has
// nothing for end with 71 and change nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;
using hbatest::RunResult;

namespace {

const char kRefused[] = "Command not supported by the adapter driver\nReported Error of 71\n";

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
    // Host 5 is the virtual port beside host 3: an fc_host of its own, no adapter.
    ASSERT_TRUE(std::filesystem::exists(tree_.root() + "/sys/class/fc_host/host5"));
    RunResult r = hbaset({"listhba"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    // The converged stand-in shows nothing beside a real server's ports; the
    // port that publishes no firmware, model or VPD shows them as not available.
    EXPECT_EQ(r.out, "No Corevane\n"
                     "Command: listhba\n"
                     "HBA 1: 21000024 FF7B4C2A Functional FW: 6.2.14.0 devID:A16 Bus:3B Dev:0 "
                     "Func:0 HF-1620D\n"
                     "HBA 2: 21000024 FF7B4C2B Functional FW: 6.2.14.0 devID:A16 Bus:3B Dev:0 "
                     "Func:1 HF-1620D\n"
                     "HBA 3: 10000090 FA1C0E55 Functional FW: N/A devID:3C08 Bus:5E Dev:0 "
                     "Func:0 N/A\n"
                     "Command completed, NO Error\n");
    // Nothing of the simulated machine is made on a real server.
    EXPECT_FALSE(std::filesystem::exists(state_.path("machine.hbs")));
}

TEST_F(SysfsListings, ListattrBlocksFromTransportPciAndVpd) {
    RunResult r = hbaset({"listattr"});
    // Boot code versions are not published in sysfs: "N/A", and not an error.
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const std::string first = "HBA                  : 1\n"
                              "Serial Number        : HF21K0458\n"
                              "Model                : HF-1620D\n"
                              "FW Version           : 6.2.14.0\n"
                              "Boot Version         : N/A\n"
                              "Boot Enabled         : 0\n"
                              "BIOS Version         : N/A\n"
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
                         "Model                : N/A\n"
                         "FW Version           : N/A\n"),
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
    EXPECT_EQ(r.exit_code, 0) << r.out;
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
        // Neither: a VPD that says the facts are not available.
        {"n=3", 0, "Product Name          : N/A\nV2                    : N/A\nCommand completed"},
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
    const std::string target = ", roles FCP Target, ready, 1 LUN(s): 0\n";
    EXPECT_EQ(
        r.out,
        "libtgx 12.0.1167.0   X86: 3 adapter(s)\n"
        "board 0: scsi port 0, pci 1E4A:0A16 at 3B:00.0, model HF-1620D, fw 6.2.14.0 "
        "(r2031), wwpn 21:00:00:24:FF:7B:4C:2A, sli 4, features 0x80001000\n"
        "  driver hfsfc 4.11.0.7, option rom 3.40a1, serial HF21K0458, os device "
        "/sys/class/scsi_host/host3, port id 0x010200\n"
        "  port state Online, port type N_Port, speed 16 Gbit, supported speeds 4 Gbit, 8 "
        "Gbit, 16 Gbit, remote ports 3\n"
        "  targets: 3\n"
        "    target 50:06:0E:80:00:00:00:10, node 50:06:0E:80:00:00:00:20, d_id 0x020400" +
            target +
            "    target 50:06:0E:80:00:00:00:11, node 50:06:0E:80:00:00:00:21, d_id 0x020401" +
            target +
            "    target 50:06:0E:80:00:00:00:12, node 50:06:0E:80:00:00:00:22, d_id 0x020402" +
            target +
            "  virtual ports: 1\n"
            "    vport 2F:00:00:E0:FF:7B:4C:2A, fc id 0x010204\n"
            "      targets: 0\n"
            "board 1: scsi port 1, pci 1E4A:0A16 at 3B:00.1, model HF-1620D, fw 6.2.14.0 "
            "(r2031), wwpn 21:00:00:24:FF:7B:4C:2B, sli 4, features 0x80001000\n"
            "  driver hfsfc 4.11.0.7, option rom 3.40a1, serial HF21K0458, os device "
            "/sys/class/scsi_host/host4, port id 0x010200\n"
            "  port state Online, port type N_Port, speed 16 Gbit, supported speeds 4 Gbit, 8 "
            "Gbit, 16 Gbit, remote ports 2\n"
            "  targets: 2\n"
            "    target 50:06:0E:80:00:00:00:30, node 50:06:0E:80:00:00:00:40, d_id 0x020500" +
            target +
            "    target 50:06:0E:80:00:00:00:31, node 50:06:0E:80:00:00:00:41, d_id 0x020501" +
            target +
            "  virtual ports: 0\n"
            "board 2: scsi port 2, pci 1F7D:3C08 at 5E:00.0, model N/A, fw N/A, wwpn "
            "10:00:00:90:FA:1C:0E:55, sli 4, features 0x80001000\n"
            "  driver odfc 2.1.8, option rom N/A, serial N/A, os device "
            "/sys/class/scsi_host/host7, port id 0x000000\n"
            "  port state Link down, port type Unknown, speed unknown, supported speeds 4 "
            "Gbit, 8 Gbit, 16 Gbit, remote ports 0\n"
            "  targets: 0\n"
            "  virtual ports: 0\n");
}

TEST_F(SysfsListings, CommandsTheKernelHasNothingForEndWith71AndChangeNothing) {
    RunResult img = hbatest::run(hbatest::bin_path("hbasim"),
                                 {"image", "prg", "--type", "7", "--id", "0x73", "--text",
                                  "2.20a2 SLI-2", "-o", state_.path("fw.prg")});
    ASSERT_EQ(img.exit_code, 0) << img.err;
    const std::vector<std::vector<std::string>> commands = {
        // writes
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
        {"writevpd", "n=1", "i=" + state_.path("fw.prg")},
        // boot images, revision words, diagnostics and dumps
        {"listboot", "n=1"},
        {"readbootdevice", "n=1"},
        {"listrev", "n=1"},
        {"readconfig", "n=1", "r=4", "l=8"},
        {"intloopback", "n=1", "p=5a5a5a5a", "c=128", "r=1", "t=0"},
        {"readnvlog", "n=1"},
        {"dump", "n=1"},
    };
    const std::string before = tree_.digest();
    for (const auto& args : commands) {
        RunResult r = hbaset(args);
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(r.exit_code, 71) << r.out;
        // One line says so, right after the command line.
        const std::string tail = after(r.out, "Command: ");
        EXPECT_EQ(tail.substr(tail.find('\n') + 1), kRefused) << r.out;
    }
    EXPECT_EQ(tree_.digest(), before);
}

TEST_F(SysfsListings, FwsweepQueriesTheFcPorts) {
    std::string dir = state_.path("fw/");
    std::filesystem::create_directories(dir);
    hbatest::write_file(dir + "fwmatrix.txt", "HF-FC hf.grp\n");
    RunResult r = hbatest::run(hbatest::bin_path("fwsweep"), {"/q", "/id=" + dir, "/fmd=" + dir},
                               tree_.env());
    // Every FC port is listed; the one whose firmware nothing publishes makes
    // its query fail, as any unreadable version does (3).
    EXPECT_EQ(r.exit_code, 3) << r.out;
    EXPECT_NE(r.out.find("HBA=Unknown, Port Type=FC, WWN=21:00:00:24:FF:7B:4C:2A, PCI ID=0A16, "
                         "VID=1E4A, SSID=0102, SVID=1E4A, Firmware=6.2.14.0, Boot Code=N/A, Boot "
                         "Enabled=0\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("WWN=21:00:00:24:FF:7B:4C:2B"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("WWN=10:00:00:90:FA:1C:0E:55"), std::string::npos) << r.out;
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
