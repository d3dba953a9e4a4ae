// Fixture sysfs trees: directories, attribute files and the links the kernel
// makes (class entries, the fc_host's device link, bus and driver links,
// remote ports, SCSI targets and devices, virtual ports and their hosts).
#include "tests/sysfs_backend/sysfs_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/support/support.h"

namespace sysfstest {

namespace fs = std::filesystem;

namespace {

std::string hex(uint64_t v, int width) {
    char text[32];
    snprintf(text, sizeof text, "0x%0*llx", width, static_cast<unsigned long long>(v));
    return text;
}

void writeFiles(const fs::path& dir, const Files& files) {
    fs::create_directories(dir);
    for (const auto& [name, text] : files)
        hbatest::write_file((dir / name).string(), text);
}

// A relative link at `at` to the directory `target`, as sysfs makes them.
void linkTo(const fs::path& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
}

// The kernel's FC-4 type bitmap text: FCP (type 8) set.
std::string fc4Types(bool fcp) {
    std::string s;
    for (int k = 0; k < 32; ++k) {
        s += hex(k == 2 && fcp ? 0x01 : 0x00, 2);
        s += ' ';
    }
    return s + "\n";
}

// fc_host/host<n> and scsi_host/host<n> of a SCSI host whose device
// directory is hostDev, with the class links.
void addHostEntries(const fs::path& sys, const fs::path& hostDev, uint32_t host,
                    const std::string& driver, const Files& fcHost) {
    std::string name = "host" + std::to_string(host);
    fs::path fcHostDir = hostDev / "fc_host" / name;
    writeFiles(fcHostDir, fcHost);
    linkTo(hostDev, fcHostDir / "device");
    linkTo(fcHostDir, sys / "class/fc_host" / name);
    fs::path scsiHostDir = hostDev / "scsi_host" / name;
    writeFiles(scsiHostDir, {{"proc_name", driver + "\n"}, {"scan", ""}});
    linkTo(scsiHostDir, sys / "class/scsi_host" / name);
}

void addRemotePort(const fs::path& sys, const fs::path& hostDev, uint32_t host, uint32_t number,
                   const RemotePortSpec& r) {
    std::string name = "rport-" + std::to_string(host) + ":0-" + std::to_string(number);
    fs::path dev = hostDev / name;
    fs::path entry = dev / "fc_remote_ports" / name;
    writeFiles(entry, {
                          {"port_name", hex(r.wwpn, 0) + "\n"},
                          {"node_name", hex(r.wwnn, 0) + "\n"},
                          {"port_id", hex(r.portId, 6) + "\n"},
                          {"roles", r.roles + "\n"},
                          {"port_state", r.state + "\n"},
                          {"scsi_target_id", std::to_string(r.targetId) + "\n"},
                          {"supported_classes", "Class 3\n"},
                          {"dev_loss_tmo", "30\n"},
                          {"maxframe_size", "2048 bytes\n"},
                      });
    linkTo(entry, sys / "class/fc_remote_ports" / name);
    if (r.targetId < 0) return;
    std::string target = std::to_string(host) + ":0:" + std::to_string(r.targetId);
    for (size_t k = 0; k < r.luns.size(); ++k) {
        std::string address = target + ":" + std::to_string(r.luns[k]);
        fs::path device = dev / ("target" + target) / address;
        writeFiles(device, {{"state", "running\n"}, {"type", "0\n"}});
        if (k < r.blockNames.size() && !r.blockNames[k].empty())
            fs::create_directories(device / "block" / r.blockNames[k]);
        fs::path classEntry = device / "scsi_device" / address;
        fs::create_directories(classEntry);
        linkTo(device, classEntry / "device");
        linkTo(classEntry, sys / "class/scsi_device" / address);
    }
}

void addVport(const fs::path& sys, const fs::path& hostDev, uint32_t host,
              const std::string& driver, const VportSpec& v) {
    std::string name = "vport-" + std::to_string(host) + ":0-" + std::to_string(v.number);
    fs::path dir = hostDev / name;
    writeFiles(dir, {
                        {"port_name", hex(v.wwpn, 0) + "\n"},
                        {"node_name", hex(v.wwnn, 0) + "\n"},
                        {"vport_state", v.state + "\n"},
                        {"vport_last_state", v.state + "\n"},
                        {"vport_type", "NPIV\n"},
                        {"symbolic_name", v.symbolicName + "\n"},
                        {"roles", "FCP Initiator\n"},
                    });
    linkTo(dir, sys / "class/fc_vports" / name);
    if (v.scsiHost == 0) return;
    fs::path own = dir / ("host" + std::to_string(v.scsiHost));
    Files attrs = {
        {"port_name", hex(v.wwpn, 0) + "\n"},
        {"node_name", hex(v.wwnn, 0) + "\n"},
        {"port_id", hex(v.portId, 6) + "\n"},
        {"port_type", "NPIV VPORT\n"},
        {"port_state", v.state == "Active" ? "Online\n" : "Linkdown\n"},
        {"speed", "16 Gbit\n"},
    };
    addHostEntries(sys, own, v.scsiHost, driver, attrs);
    for (size_t k = 0; k < v.remotePorts.size(); ++k)
        addRemotePort(sys, own, v.scsiHost, static_cast<uint32_t>(k), v.remotePorts[k]);
}

void digestInto(const fs::path& p, const fs::path& root, std::string* out) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return;
    *out += fs::relative(p, root).string() + " " + std::to_string(st.st_mode) + " ";
    if (S_ISLNK(st.st_mode)) {
        *out += fs::read_symlink(p).string();
    } else if (S_ISREG(st.st_mode)) {
        *out += std::to_string(std::hash<std::string>{}(hbatest::read_file(p.string())));
    } else if (S_ISDIR(st.st_mode)) {
        std::vector<fs::path> children;
        for (const auto& e : fs::directory_iterator(p))
            children.push_back(e.path());
        std::sort(children.begin(), children.end());
        for (const fs::path& c : children)
            digestInto(c, root, out);
    }
    *out += "\n";
}

} // namespace

Files hostAttributes(uint64_t wwpn, uint64_t wwnn, const std::string& state, bool optional) {
    bool up = state == "Online";
    Files f = {
        {"port_name", hex(wwpn, 0) + "\n"},
        {"node_name", hex(wwnn, 0) + "\n"},
        {"permanent_port_name", hex(wwpn, 0) + "\n"},
        {"port_id", hex(up ? 0x010200 : 0, 6) + "\n"},
        {"port_type", up ? "NPort (fabric via point-to-point)\n" : "Unknown\n"},
        {"port_state", state + "\n"},
        {"speed", up ? "16 Gbit\n" : "unknown\n"},
        {"supported_speeds", "4 Gbit, 8 Gbit, 16 Gbit\n"},
        {"maxframe_size", "2048 bytes\n"},
        {"fabric_name", up ? "0x100000051e0a7b30\n" : "0x0\n"},
        {"symbolic_name", "port sym name\n"},
        {"supported_classes", "Class 3\n"},
        {"supported_fc4s", fc4Types(true)},
        {"active_fc4s", fc4Types(up)},
        {"max_npiv_vports", "255\n"},
        {"npiv_vports_inuse", "0\n"},
        {"tgtid_bind_type", "wwpn (World Wide Port Name)\n"},
        {"dev_loss_tmo", "30\n"},
    };
    if (optional) {
        f["manufacturer"] = "Halvard Fibre Systems\n";
        f["serial_number"] = "HF21K0458\n";
        f["model"] = "HF-1620D\n";
        f["model_description"] = "HF-1620D 16Gb dual-port FC HBA\n";
        f["hardware_version"] = "2\n";
        f["driver_version"] = "4.11.0.7\n";
        f["firmware_version"] = "6.2.14.0 (r2031)\n";
        f["optionrom_version"] = "3.40a1\n";
    }
    return f;
}

Files mainlineAttributes(uint64_t wwpn, uint64_t wwnn, uint32_t portId,
                         const std::string& symbolicName) {
    return {
        {"port_name", hex(wwpn, 0) + "\n"},
        {"node_name", hex(wwnn, 0) + "\n"},
        {"port_id", hex(portId, 6) + "\n"},
        {"port_type", "NPort (fabric via point-to-point)\n"},
        {"port_state", "Online\n"},
        {"speed", "32 Gbit\n"},
        // The kernel's table order puts 10 Gbit before 8 Gbit.
        {"supported_speeds", "10 Gbit, 8 Gbit, 16 Gbit, 32 Gbit\n"},
        {"supported_classes", "Class 3\n"},
        {"fabric_name", "0x100000051e0a7b31\n"},
        {"symbolic_name", symbolicName + "\n"},
        {"tgtid_bind_type", "wwpn (World Wide Port Name)\n"},
        {"dev_loss_tmo", "30\n"},
        {"max_npiv_vports", "254\n"},
        {"npiv_vports_inuse", "1\n"},
        {"vport_create", ""},
        {"vport_delete", ""},
        {"issue_lip", ""},
    };
}

Files statisticsFiles() {
    return {
        {"seconds_since_last_reset", "0x1a2b\n"},
        {"tx_frames", "0x5f3e1\n"},
        {"rx_frames", "0x6a0c2\n"},
        {"lip_count", "0xffffffffffffffff\n"}, // not kept by this driver
        {"link_failure_count", "0x2\n"},
        {"loss_of_sync_count", "0x5\n"},
        {"invalid_crc_count", "0x0\n"},
        {"reset_statistics", ""},
    };
}

Files pciAttributes(uint16_t vendor, uint16_t device, uint16_t subVendor, uint16_t subDevice,
                    uint8_t revision) {
    std::string config(256, '\0');
    auto put16 = [&](size_t at, uint16_t v) {
        config[at] = static_cast<char>(v & 0xFF);
        config[at + 1] = static_cast<char>(v >> 8);
    };
    put16(0, vendor);
    put16(2, device);
    put16(4, 0x0546); // command
    put16(6, 0x0010); // status: capabilities list
    config[8] = static_cast<char>(revision);
    config[10] = 0x04; // subclass: Fibre Channel
    config[11] = 0x0c; // base class: serial bus
    config[16] = 0x04; // BAR 0: 64-bit memory
    config[17] = static_cast<char>(0xa0);
    config[19] = static_cast<char>(0xd1);
    put16(44, subVendor);
    put16(46, subDevice);
    config[52] = 0x40; // capabilities pointer
    config[60] = 0x0b; // interrupt line
    config[61] = 0x01; // interrupt pin A
    return {
        {"vendor", hex(vendor, 4) + "\n"},
        {"device", hex(device, 4) + "\n"},
        {"subsystem_vendor", hex(subVendor, 4) + "\n"},
        {"subsystem_device", hex(subDevice, 4) + "\n"},
        {"revision", hex(revision, 2) + "\n"},
        {"class", "0x0c0400\n"},
        {"config", config},
    };
}

std::string pciVpd(const std::string& id, const std::string& serial, const std::string& model,
                   const std::string& partNumber) {
    std::string ro;
    auto keyword = [&](const char* key, const std::string& value) {
        if (value.empty()) return;
        ro += key;
        ro += static_cast<char>(value.size());
        ro += value;
    };
    keyword("PN", partNumber);
    keyword("SN", serial);
    keyword("V2", model);
    std::string vpd;
    auto resource = [&](uint8_t tag, size_t length) {
        vpd += static_cast<char>(tag);
        vpd += static_cast<char>(length & 0xFF);
        vpd += static_cast<char>(length >> 8);
    };
    resource(0x82, id.size());
    vpd += id;
    resource(0x90, ro.size() + 4);
    vpd += ro;
    vpd += "RV";
    vpd += static_cast<char>(1);
    uint8_t sum = 0;
    for (char c : vpd)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    vpd += static_cast<char>(static_cast<uint8_t>(0x100 - sum));
    vpd += static_cast<char>(0x78);
    return vpd;
}

SysfsTree::SysfsTree() {
    char tmpl[] = "/tmp/hbasysfs.XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (!d) ADD_FAILURE() << "mkdtemp failed";
    root_ = d ? d : "";
    for (const char* dir : {"sys/class/fc_host", "sys/class/fc_remote_ports", "sys/class/fc_vports",
                            "sys/class/scsi_host", "sys/class/scsi_device", "sys/module"})
        fs::create_directories(fs::path(root_) / dir);
}

SysfsTree::~SysfsTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void SysfsTree::addPort(const PortSpec& p) {
    fs::path sys = fs::path(root_) / "sys";
    std::string host = "host" + std::to_string(p.host);
    fs::path deviceDir =
        p.pci.empty() ? sys / "devices" / p.busDir : sys / "devices/pci0000:00" / p.pci;
    fs::path hostDev = deviceDir / host;
    if (p.virtualPort) {
        // An NPIV port: a SCSI host of its own below a vport of host<n - 1>.
        std::string vport = "vport-" + std::to_string(p.host - 1) + ":0-0";
        hostDev = deviceDir / ("host" + std::to_string(p.host - 1)) / vport / host;
    } else if (!p.pci.empty()) {
        writeFiles(deviceDir, p.pciFiles);
        if (p.vpdUnreadable) fs::create_directories(deviceDir / "vpd");
        linkTo(deviceDir, sys / "bus/pci/devices" / p.pci);
        fs::create_directories(sys / "bus/pci/drivers" / p.driver);
        linkTo(sys / "bus/pci/drivers" / p.driver, deviceDir / "driver");
    }
    addHostEntries(sys, hostDev, p.host, p.driver, p.fcHost);
    fs::path fcHostDir = hostDev / "fc_host" / host;
    if (!p.statistics.empty()) writeFiles(fcHostDir / "statistics", p.statistics);
    for (size_t k = 0; k < p.remotePorts.size(); ++k)
        addRemotePort(sys, hostDev, p.host, static_cast<uint32_t>(k), p.remotePorts[k]);
    for (const VportSpec& v : p.vports)
        addVport(sys, hostDev, p.host, p.driver, v);
    hostDirs_[p.host] = fcHostDir.string();
}

void SysfsTree::addModule(const std::string& name, const std::string& version) {
    writeFiles(fs::path(root_) / "sys/module" / name, {{"version", version + "\n"}});
}

void SysfsTree::setHostAttribute(uint32_t host, const std::string& name, const std::string& text) {
    hbatest::write_file(hostDirs_.at(host) + "/" + name, text);
}

std::string SysfsTree::hostFile(uint32_t host, const std::string& name) const {
    return hbatest::read_file(hostDirs_.at(host) + "/" + name);
}

std::map<std::string, std::string> SysfsTree::env() const {
    return {{"HBA_DRIVER_BACKEND", hbatest::bin_path("libhbafcsys.so")}, {"HBA_SYSFS_ROOT", root_}};
}

std::string SysfsTree::digest() const {
    std::string out;
    digestInto(fs::path(root_), fs::path(root_), &out);
    return out;
}

void addTwoMakers(SysfsTree& tree) {
    PortSpec a;
    a.host = 3;
    a.pci = "0000:3b:00.0";
    a.driver = "hfsfc";
    a.fcHost = hostAttributes(0x21000024ff7b4c2aull, 0x20000024ff7b4c2aull, "Online", true);
    a.fcHost["npiv_vports_inuse"] = "1\n";
    a.pciFiles = pciAttributes(0x1e4a, 0x0a16, 0x1e4a, 0x0102, 0x02);
    a.pciFiles["vpd"] = pciVpd("HF-1620D 16Gb dual-port FC HBA", "hf21k0458", "HF-1620D");
    for (uint32_t k = 0; k < 3; ++k)
        a.remotePorts.push_back({0x50060e8000000010ull + k,
                                 0x50060e8000000020ull + k,
                                 0x020400u + k,
                                 "FCP Target",
                                 "Online",
                                 static_cast<int>(k),
                                 {0},
                                 {}});
    // A virtual port beside the physical one: its own SCSI host 5 is no adapter.
    VportSpec v;
    v.wwpn = 0x2f0000e0ff7b4c2aull;
    v.wwnn = 0x2e0000e0ff7b4c2aull;
    v.symbolicName = "vport of host3";
    v.scsiHost = 5;
    v.portId = 0x010204;
    a.vports.push_back(v);
    tree.addPort(a);

    PortSpec b = a;
    b.host = 4;
    b.pci = "0000:3b:00.1";
    b.fcHost = hostAttributes(0x21000024ff7b4c2bull, 0x20000024ff7b4c2bull, "Online", true);
    b.pciFiles.erase("vpd");
    b.vpdUnreadable = true;
    b.remotePorts.resize(2);
    for (uint32_t k = 0; k < 2; ++k)
        b.remotePorts[k] = {0x50060e8000000030ull + k,
                            0x50060e8000000040ull + k,
                            0x020500u + k,
                            "FCP Target",
                            "Online",
                            static_cast<int>(k),
                            {0},
                            {}};
    b.vports.clear();
    tree.addPort(b);

    PortSpec c;
    c.host = 7;
    c.pci = "0000:5e:00.0";
    c.driver = "odfc";
    c.fcHost = hostAttributes(0x10000090fa1c0e55ull, 0x20000090fa1c0e55ull, "Linkdown", false);
    c.pciFiles = pciAttributes(0x1f7d, 0x3c08, 0x1f7d, 0x0001, 0x01);
    tree.addPort(c);
    tree.addModule("odfc", "2.1.8");
}

void addMainlineServer(SysfsTree& tree) {
    PortSpec a;
    a.host = 9;
    a.pci = "0000:af:00.0";
    a.driver = "vxfc";
    a.fcHost = mainlineAttributes(0x10000010ae5c7e01ull, 0x20000010ae5c7e01ull, 0x0b1400,
                                  "VX-3202 FV14.2.455.6 DV14.2.0.6 HN:dbserver1 OS:Linux");
    a.statistics = statisticsFiles();
    a.pciFiles = pciAttributes(0x1d3b, 0xe305, 0x1d3b, 0xe3c1, 0x03);
    a.pciFiles["vpd"] =
        pciVpd("Vexel VX-3202 2-Port 32Gb Fibre Channel Adapter", "VX93A1047", "", "VX-3202");
    // Remote ports in every state the inventory meets: an online target with
    // two LUNs, an online initiator, a blocked target (dev_loss_tmo running)
    // and one the fabric no longer lists.
    a.remotePorts = {
        {0x524a937a1a2b3c01ull,
         0x524a937a1a2b3c00ull,
         0x0a0100,
         "FCP Target",
         "Online",
         0,
         {0, 1},
         {"sdc", "sdd"}},
        {0x10000010ae5c9901ull,
         0x20000010ae5c9901ull,
         0x0a0200,
         "FCP Initiator",
         "Online",
         -1,
         {},
         {}},
        {0x524a937a1a2b3c11ull,
         0x524a937a1a2b3c10ull,
         0x0a0300,
         "FCP Target",
         "Blocked",
         1,
         {0},
         {}},
        {0x524a937a1a2b3c21ull,
         0x524a937a1a2b3c20ull,
         0x0a0400,
         "FCP Target",
         "Not Present",
         2,
         {},
         {}},
    };
    VportSpec v;
    v.wwpn = 0x2f0010ae5c7e0101ull;
    v.wwnn = 0x2e0010ae5c7e0101ull;
    v.symbolicName = "vx vport 0";
    v.scsiHost = 12;
    v.portId = 0x0b1401;
    v.remotePorts = {{0x524a937a1a2b3c01ull,
                      0x524a937a1a2b3c00ull,
                      0x0a0100,
                      "FCP Target",
                      "Online",
                      0,
                      {3},
                      {"sde"}}};
    a.vports.push_back(v);
    tree.addPort(a);

    PortSpec b = a;
    b.host = 10;
    b.pci = "0000:af:00.1";
    b.fcHost = mainlineAttributes(0x10000010ae5c7e02ull, 0x20000010ae5c7e02ull, 0x0c1400,
                                  "VX-3202 FV14.2.455.6 DV14.2.0.6 HN:dbserver1 OS:Linux");
    b.fcHost["npiv_vports_inuse"] = "0\n";
    // A maker-defined V2 that is no model (a date code on this card).
    b.pciFiles["vpd"] =
        pciVpd("Vexel VX-3202 2-Port 32Gb Fibre Channel Adapter", "VX93A1047", "0417", "VX-3202");
    b.remotePorts = {{0x524a937a1a2b3c02ull,
                      0x524a937a1a2b3c00ull,
                      0x0a0500,
                      "FCP Target",
                      "Online",
                      0,
                      {0},
                      {"sdf"}}};
    b.vports.clear();
    tree.addPort(b);
    tree.addModule("vxfc", "14.2.0.6");
}

void addOddHosts(SysfsTree& tree) {
    PortSpec big;
    big.host = 300;
    big.pci = "0000:d8:00.0";
    big.driver = "odfc";
    big.fcHost = {
        {"port_name", "0x10000090fa1c0e77\n"},
        {"node_name", "0x20000090fa1c0e77\n"},
        {"port_id", "0x000000\n"},
        {"port_state", "Linkdown\n"},
        {"port_type", "Unknown\n"},
        {"speed", "unknown\n"},
        {"supported_speeds", "unknown\n"},
        {"supported_classes", "unspecified\n"},
    };
    big.pciFiles = pciAttributes(0x1f7d, 0x3c08, 0x1f7d, 0x0001, 0x01);
    tree.addPort(big);
    tree.addModule("odfc", "2.1.8");

    PortSpec vio;
    vio.host = 1;
    vio.busDir = "vio/30000003";
    vio.driver = "ivfc";
    vio.fcHost = mainlineAttributes(0xc05076ffe6800010ull, 0xc05076ffe6800011ull, 0x6a0a00,
                                    "IV-NPIV FW:v8.08.204 DVR:v10.02.00.106-k");
    vio.fcHost.erase("vport_create");
    vio.fcHost.erase("vport_delete");
    tree.addPort(vio);
}

} // namespace sysfstest
