// The suite on a server whose FC drivers publish only the mainline attribute
// set (the firmware inside symbolic_name, the model and serial in the PCI
// VPD), and on hosts the inventory used to miss (numbers above 255, a port on
// a non-PCI bus): every inventory command exits 0 with the facts filled, the
// library lists targets, LUNs and virtual ports, and lsscsi sees the same
// hosts and port ids.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;
using hbatest::RunResult;

namespace {

const char kVpdFails[] = "Attempt to read VPD information fails";

class MainlineServer : public ::testing::Test {
  protected:
    void SetUp() override {
        addMainlineServer(tree_);
        addOddHosts(tree_);
    }
    RunResult hbaset(const std::vector<std::string>& args) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, tree_.env());
    }
    // The text after the "Command: ..." line, up to the closing line.
    static std::string body(const RunResult& r) {
        size_t at = r.out.find("Command: ");
        at = at == std::string::npos ? 0 : r.out.find('\n', at) + 1;
        size_t end = r.out.rfind("Command completed");
        return r.out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    hbatest::TempState state_;
    SysfsTree tree_;
};

TEST_F(MainlineServer, InventoryCommandsExitZeroWithEveryFact) {
    for (const char* command : {"listhba", "listattr", "listfw", "hbaattr", "listwwn", "version"}) {
        RunResult r = hbaset({command});
        SCOPED_TRACE(command);
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(r.out.find(kVpdFails), std::string::npos) << r.out;
    }
    for (const char* n : {"n=1", "n=2", "n=3", "n=4"}) {
        for (const char* command : {"pcidata", "vpd"}) {
            RunResult r = hbaset({command, n});
            EXPECT_EQ(r.exit_code, 0) << command << " " << n << r.out;
        }
    }
    // Host 1 (the vio port) comes first, host 300 last: the order of the
    // SCSI host numbers. The non-PCI port shows its PCI fields as zero.
    EXPECT_EQ(body(hbaset({"listhba"})),
              "HBA 1: C05076FF E6800010 Functional FW: 8.08.204 devID:0 Bus:0 Dev:0 Func:0 N/A\n"
              "HBA 2: 10000010 AE5C7E01 Functional FW: 14.2.455.6 devID:E305 Bus:AF Dev:0 Func:0 "
              "VX-3202\n"
              "HBA 3: 10000010 AE5C7E02 Functional FW: 14.2.455.6 devID:E305 Bus:AF Dev:0 Func:1 "
              "VX-3202\n"
              "HBA 4: 10000090 FA1C0E77 Functional FW: N/A devID:3C08 Bus:D8 Dev:0 Func:0 N/A\n");
    // Serial and model from the VPD's SN and PN; the firmware from symbolic_name.
    const std::string listattr = hbaset({"listattr"}).out;
    EXPECT_NE(listattr.find("HBA                  : 3\n"
                            "Serial Number        : VX93A1047\n"
                            "Model                : VX-3202\n"
                            "FW Version           : 14.2.455.6\n"
                            "Boot Version         : N/A\n"
                            "Boot Enabled         : 0\n"
                            "BIOS Version         : N/A\n"
                            "Port WWN             : 10:00:00:10:AE:5C:7E:02\n"),
              std::string::npos)
        << listattr;
    EXPECT_NE(hbaset({"listfw"})
                  .out.find("HBA 2: VX-3202; FW=14.2.455.6; BC=N/A; BS=0; BIOS=N/A; "
                            "pciID=E305; venID=1D3B; ssDID=E3C1; ssVID=1D3B; "
                            "DCflag=0; Config=0; SN=VX93A1047;"),
              std::string::npos);
    EXPECT_NE(hbaset({"listwwn", "n=2"})
                  .out.find("adapter 2: VX-3202\n"
                            "  Factory IEEE: 10000010 AE5C7E01 \n"
                            "  Non-Volatile WWPN: 10000010 AE5C7E01, WWNN: 20000010 AE5C7E01\n"),
              std::string::npos);
}

TEST_F(MainlineServer, VpdShowsTheCardsKeywordsWithTheModel) {
    // Port 9: SN and PN, no V2 (the model keyword is added from PN). Port 10:
    // a maker-defined V2 ("0417", a date code) is not the model.
    const std::string expected = "Product Name          : Vexel VX-3202 2-Port 32Gb Fibre Channel "
                                 "Adapter\n"
                                 "PN (Part Number)      : VX-3202\n"
                                 "SN (Serial Number)    : VX93A1047\n"
                                 "V2                    : VX-3202\n";
    EXPECT_EQ(body(hbaset({"vpd", "n=2"})), expected);
    EXPECT_EQ(body(hbaset({"vpd", "n=3"})), expected);
}

TEST_F(MainlineServer, TgxlistShowsTargetsLunsVirtualPortsAndCounters) {
    RunResult r = hbatest::run(hbatest::bin_path("tgxlist"), {}, tree_.env());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string counters =
        "  link counters: seconds_since_last_reset 0x1a2b, tx_frames 0x5f3e1, rx_frames 0x6a0c2, "
        "link_failure_count 0x2, loss_of_sync_count 0x5, invalid_crc_count 0x0\n";
    EXPECT_EQ(
        r.out,
        "libtgx 12.0.1167.0   X86: 4 adapter(s)\n"
        "board 0: scsi port 0, pci 0000:0000 at 00:00.0, model N/A, fw 8.08.204, wwpn "
        "C0:50:76:FF:E6:80:00:10, sli 4, features 0x80001000\n"
        "  driver ivfc 10.02.00.106-k, option rom N/A, serial N/A, os device "
        "/sys/class/scsi_host/host1, port id 0x6A0A00\n"
        "  port state Online, port type N_Port, speed 32 Gbit, supported speeds 8 Gbit, 10 Gbit, "
        "16 Gbit, 32 Gbit, remote ports 0\n"
        "  targets: 0\n"
        "  virtual ports: 0\n"
        "board 1: scsi port 1, pci 1D3B:E305 at AF:00.0, model VX-3202, fw 14.2.455.6, wwpn "
        "10:00:00:10:AE:5C:7E:01, sli 4, features 0x80001000\n"
        "  driver vxfc 14.2.0.6, option rom N/A, serial VX93A1047, os device "
        "/sys/class/scsi_host/host9, port id 0x0B1400\n"
        // The port that is not present any more is neither counted nor listed.
        "  port state Online, port type N_Port, speed 32 Gbit, supported speeds 8 Gbit, 10 Gbit, "
        "16 Gbit, 32 Gbit, remote ports 3\n" +
            counters +
            "  targets: 3\n"
            "    target 52:4A:93:7A:1A:2B:3C:01, node 52:4A:93:7A:1A:2B:3C:00, d_id 0x0A0100, "
            "roles FCP Target, ready, 2 LUN(s): 0 1\n"
            "    target 10:00:00:10:AE:5C:99:01, node 20:00:00:10:AE:5C:99:01, d_id 0x0A0200, "
            "roles FCP Initiator, not ready, 0 LUN(s)\n"
            "    target 52:4A:93:7A:1A:2B:3C:11, node 52:4A:93:7A:1A:2B:3C:10, d_id 0x0A0300, "
            "roles FCP Target, not ready, 1 LUN(s): 0\n"
            "  virtual ports: 1\n"
            "    vport 2F:00:10:AE:5C:7E:01:01, fc id 0x0B1401\n"
            "      targets: 1\n"
            "        target 52:4A:93:7A:1A:2B:3C:01, node 52:4A:93:7A:1A:2B:3C:00, d_id "
            "0x0A0100, roles FCP Target, ready, 1 LUN(s): 3\n"
            "board 2: scsi port 2, pci 1D3B:E305 at AF:00.1, model VX-3202, fw 14.2.455.6, wwpn "
            "10:00:00:10:AE:5C:7E:02, sli 4, features 0x80001000\n"
            "  driver vxfc 14.2.0.6, option rom N/A, serial VX93A1047, os device "
            "/sys/class/scsi_host/host10, port id 0x0C1400\n"
            "  port state Online, port type N_Port, speed 32 Gbit, supported speeds 8 Gbit, 10 "
            "Gbit, 16 Gbit, 32 Gbit, remote ports 1\n" +
            counters +
            "  targets: 1\n"
            "    target 52:4A:93:7A:1A:2B:3C:02, node 52:4A:93:7A:1A:2B:3C:00, d_id 0x0A0500, "
            "roles FCP Target, ready, 1 LUN(s): 0\n"
            "  virtual ports: 0\n"
            "board 3: scsi port 3, pci 1F7D:3C08 at D8:00.0, model N/A, fw N/A, wwpn "
            "10:00:00:90:FA:1C:0E:77, sli 4, features 0x80001000\n"
            "  driver odfc 2.1.8, option rom N/A, serial N/A, os device "
            "/sys/class/scsi_host/host300, port id 0x000000\n"
            "  port state Link down, port type Unknown, speed unknown, supported speeds unknown, "
            "remote ports 0\n"
            "  targets: 0\n"
            "  virtual ports: 0\n");
}

TEST(MainlineServerAlone, FwsweepQueriesEveryPort) {
    hbatest::TempState state;
    SysfsTree tree;
    addMainlineServer(tree); // every port publishes its firmware
    std::string dir = state.path("fw/");
    std::filesystem::create_directories(dir);
    hbatest::write_file(dir + "fwmatrix.txt", "VX-FC vx.grp\n");
    RunResult r = hbatest::run(hbatest::bin_path("fwsweep"),
                               {"/q", "/vpd", "/id=" + dir, "/fmd=" + dir}, tree.env());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("WWN=10:00:00:10:AE:5C:7E:02"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HBA=VX-3202, Port Type=FC, WWN=10:00:00:10:AE:5C:7E:01, PCI ID=E305, "
                         "VID=1D3B, SSID=E3C1, SVID=1D3B, Firmware=14.2.455.6, Boot Code=N/A, Boot "
                         "Enabled=0\n"),
              std::string::npos)
        << r.out;

    r = hbatest::run(hbatest::bin_path("fwsweep"), {"/q", "/xml", "/id=" + dir, "/fmd=" + dir},
                     tree.env());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("<Device hba=\"Unknown\" portType=\"FC\" venId=\"1D3B\" devId=\"E305\" "
                         "subDevId=\"E3C1\" subVenId=\"1D3B\" bus=\"AF\" device=\"0\" "
                         "function=\"1\" wwpn=\"10:00:00:10:AE:5C:7E:02\">\n"
                         "        <Application componentType=\"firmware\" version=\"14.2.455.6\"/>\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("<Message id=\"0\"> All required queries succeeded. </Message>"),
              std::string::npos);
}

TEST_F(MainlineServer, AnOrdinaryUserGetsTheInventoryWithoutTheRootOnlyVpd) {
    // The kernel's vpd file is root's alone (0600). Run as "nobody" when the
    // tests run as root; otherwise this user is the ordinary one.
    for (const char* pci : {"0000:af:00.0", "0000:af:00.1"})
        ASSERT_EQ(chmod((tree_.root() + "/sys/bus/pci/devices/" + pci + "/vpd").c_str(),
                        geteuid() == 0 ? 0600 : 0000),
                  0);
    std::string program = hbatest::bin_path("hbaset");
    std::vector<std::string> args = {"listattr"};
    if (geteuid() == 0) {
        // The tree, the programs and a state folder must be open to that user.
        ASSERT_EQ(chmod(tree_.root().c_str(), 0755), 0);
        ASSERT_EQ(chmod(state_.path("").c_str(), 0777), 0);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        program = "/usr/bin/setpriv";
        if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    }
    RunResult r = hbatest::run(program, args, tree_.env());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find(kVpdFails), std::string::npos) << r.out;
    // The serial number lives in the VPD only: not available. The rest is there.
    EXPECT_NE(r.out.find("HBA                  : 2\n"
                         "Serial Number        : N/A\n"
                         "Model                : N/A\n"
                         "FW Version           : 14.2.455.6\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Port WWN             : 10:00:00:10:AE:5C:7E:01\n"
                         "Function Type        : FC\n"
                         "Device ID            : E305\n"),
              std::string::npos);
}

// lsscsi's own listing of the same tree: "[H]  proc_name  fc:<port_name>,<port_id>".
struct LsscsiHost {
    uint32_t host;
    std::string transport;
};

TEST_F(MainlineServer, LsscsiSeesTheSameHostsAndPortIds) {
    const char* lsscsi = "/usr/bin/lsscsi";
    if (access(lsscsi, X_OK) != 0) GTEST_SKIP() << "lsscsi is not installed (scripts/setup)";
    RunResult ls = hbatest::run(lsscsi, {"-H", "-t", "--sysfsroot=" + tree_.root() + "/sys"});
    ASSERT_EQ(ls.exit_code, 0) << ls.err;
    std::map<uint32_t, std::string> fromLsscsi;
    std::istringstream lines(ls.out);
    for (std::string line; std::getline(lines, line);) {
        unsigned host = 0;
        char proc[64], transport[128];
        ASSERT_EQ(sscanf(line.c_str(), "[%u] %63s %127s", &host, proc, transport), 3) << line;
        fromLsscsi[host] = transport;
    }
    // tgxlist: the host of each board (its os device) and its port id and WWPN.
    RunResult t = hbatest::run(hbatest::bin_path("tgxlist"), {}, tree_.env());
    std::map<uint32_t, std::string> fromTgxlist;
    std::istringstream boards(t.out);
    std::string wwpn;
    for (std::string line; std::getline(boards, line);) {
        size_t at = line.find(", wwpn ");
        if (line.rfind("board ", 0) == 0 && at != std::string::npos) {
            wwpn = line.substr(at + 7, 23);
            wwpn.erase(std::remove(wwpn.begin(), wwpn.end(), ':'), wwpn.end());
        }
        unsigned host = 0, portId = 0;
        at = line.find("os device /sys/class/scsi_host/host");
        if (at != std::string::npos &&
            sscanf(line.c_str() + at, "os device /sys/class/scsi_host/host%u, port id 0x%x", &host,
                   &portId) == 2) {
            // lsscsi prints the kernel's texts: the WWPN unpadded in lower case.
            std::string lower;
            for (char c : wwpn)
                lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
            lower.erase(0, std::min(lower.find_first_not_of('0'), lower.size() - 1));
            char text[64];
            snprintf(text, sizeof text, "fc:0x%s,0x%06x", lower.c_str(), portId);
            fromTgxlist[host] = text;
        }
    }
    // lsscsi lists every SCSI host, the virtual port's own (host 12) too; the
    // suite lists the physical ports.
    ASSERT_EQ(fromLsscsi.count(12), 1u) << ls.out;
    fromLsscsi.erase(12);
    EXPECT_EQ(fromTgxlist, fromLsscsi) << ls.out << t.out;
    EXPECT_EQ(fromTgxlist.size(), 4u);

    // listhba: adapter k is the k-th host in number order, with its port name.
    std::istringstream hba(body(hbaset({"listhba"})));
    auto host = fromLsscsi.begin();
    for (std::string line; std::getline(hba, line) && host != fromLsscsi.end(); ++host) {
        char high[9] = {}, low[9] = {};
        ASSERT_EQ(sscanf(line.c_str(), "HBA %*d: %8s %8s", high, low), 2) << line;
        std::string wwpn = std::string(high) + low;
        for (char& c : wwpn)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        wwpn.erase(0, std::min(wwpn.find_first_not_of('0'), wwpn.size() - 1));
        EXPECT_EQ(host->second.substr(0, host->second.find(',')), "fc:0x" + wwpn) << line;
    }
    EXPECT_EQ(host, fromLsscsi.end());
}

} // namespace
