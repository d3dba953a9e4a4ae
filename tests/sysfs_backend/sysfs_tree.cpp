// Fixture sysfs trees: directories, attribute files and the links the kernel
// makes (class entries, the fc_host's device link, bus and driver links).
#include "tests/sysfs_backend/sysfs_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

void link(const std::string& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(target, at);
}

// The kernel's FC-4 type bitmap text: FCP (type 8) set.
std::string fc4Types(bool fcp) {
    std::string s;
    for (int k = 0; k < 32; ++k) {
        if (k) s += ' ';
        s += hex(k == 2 && fcp ? 0x01 : 0x00, 2);
    }
    return s + "\n";
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

std::string pciVpd(const std::string& id, const std::string& serial, const std::string& model) {
    std::string ro;
    auto keyword = [&](const char* key, const std::string& value) {
        if (value.empty()) return;
        ro += key;
        ro += static_cast<char>(value.size());
        ro += value;
    };
    keyword("PN", "HFP-2002-01");
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
    fs::create_directories(fs::path(root_) / "sys/class/fc_host");
    fs::create_directories(fs::path(root_) / "sys/class/fc_remote_ports");
    fs::create_directories(fs::path(root_) / "sys/module");
}

SysfsTree::~SysfsTree() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void SysfsTree::addPort(const PortSpec& p) {
    fs::path sys = fs::path(root_) / "sys";
    std::string pciRel = "devices/pci0000:00/" + p.pci;
    fs::path pciDir = sys / pciRel;
    std::string host = "host" + std::to_string(p.host);
    fs::path hostDev = pciDir / host;
    std::string hostRel = pciRel + "/" + host;
    if (p.virtualPort) {
        // An NPIV port: a SCSI host of its own below a vport of the physical host.
        std::string vport = "vport-" + std::to_string(p.host - 1) + ":0-0";
        hostRel = pciRel + "/host" + std::to_string(p.host - 1) + "/" + vport + "/" + host;
        hostDev = sys / hostRel;
    } else {
        writeFiles(pciDir, p.pciFiles);
        if (p.vpdUnreadable) fs::create_directories(pciDir / "vpd");
        link("../../../devices/pci0000:00/" + p.pci, sys / "bus/pci/devices" / p.pci);
        fs::create_directories(sys / "bus/pci/drivers" / p.driver);
        link("../../../bus/pci/drivers/" + p.driver, pciDir / "driver");
    }
    fs::path fcHost = hostDev / "fc_host" / host;
    writeFiles(fcHost, p.fcHost);
    link("../../../" + host, fcHost / "device");
    link("../../" + hostRel + "/fc_host/" + host, sys / "class/fc_host" / host);
    writeFiles(hostDev / "scsi_host" / host, {{"proc_name", p.driver + "\n"}});
    link("../../" + hostRel + "/scsi_host/" + host, sys / "class/scsi_host" / host);
    for (uint32_t k = 0; k < p.remotePorts; ++k) {
        std::string rport = "rport-" + std::to_string(p.host) + ":0-" + std::to_string(k);
        fs::create_directories(hostDev / rport / "fc_remote_ports" / rport);
        link("../../" + hostRel + "/" + rport + "/fc_remote_ports/" + rport,
             sys / "class/fc_remote_ports" / rport);
    }
    hostDirs_[p.host] = fcHost.string();
}

void SysfsTree::addModule(const std::string& name, const std::string& version) {
    writeFiles(fs::path(root_) / "sys/module" / name, {{"version", version + "\n"}});
}

void SysfsTree::setHostAttribute(uint32_t host, const std::string& name, const std::string& text) {
    hbatest::write_file(hostDirs_.at(host) + "/" + name, text);
}

std::map<std::string, std::string> SysfsTree::env() const {
    return {{"HBA_DRIVER_BACKEND", hbatest::bin_path("libhbafcsys.so")}, {"HBA_SYSFS_ROOT", root_}};
}

void addTwoMakers(SysfsTree& tree) {
    PortSpec a;
    a.host = 3;
    a.pci = "0000:3b:00.0";
    a.driver = "hfsfc";
    a.fcHost = hostAttributes(0x21000024ff7b4c2aull, 0x20000024ff7b4c2aull, "Online", true);
    a.pciFiles = pciAttributes(0x1e4a, 0x0a16, 0x1e4a, 0x0102, 0x02);
    a.pciFiles["vpd"] = pciVpd("HF-1620D 16Gb dual-port FC HBA", "hf21k0458", "HF-1620D");
    a.remotePorts = 3;
    tree.addPort(a);

    PortSpec b = a;
    b.host = 4;
    b.pci = "0000:3b:00.1";
    b.fcHost = hostAttributes(0x21000024ff7b4c2bull, 0x20000024ff7b4c2bull, "Online", true);
    b.pciFiles.erase("vpd");
    b.vpdUnreadable = true;
    b.remotePorts = 2;
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

} // namespace sysfstest
