// Fixture sysfs trees for the FC backend: a temporary directory laid out as
// the kernel lays out /sys for FC ports (fc_host and scsi_host entries under
// their PCI function, class links, remote ports, modules), with attribute
// texts in the kernel's own formats. Makers, drivers and models are invented.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sysfstest {

using Files = std::map<std::string, std::string>; // file name -> contents

struct PortSpec {
    uint32_t host = 0;
    std::string pci;            // "0000:3b:00.0"
    std::string driver;         // scsi_host proc_name and the PCI driver link
    Files fcHost;               // fc_host/host<n> attributes
    Files pciFiles;             // vendor, device, ..., config, vpd
    bool vpdUnreadable = false; // a directory where the vpd file belongs
    bool virtualPort = false;   // an NPIV port below the physical one
    uint32_t remotePorts = 0;
};

// The fc_host attributes of a port in the kernel's formats; optional = the
// attributes only some drivers publish (manufacturer, model, versions ...).
Files hostAttributes(uint64_t wwpn, uint64_t wwnn, const std::string& state, bool optional);
// The PCI identifier files and a 256-byte config space that agrees with them.
Files pciAttributes(uint16_t vendor, uint16_t device, uint16_t subVendor, uint16_t subDevice,
                    uint8_t revision);
// PCI VPD with an identifier string, PN and the SN and V2 keywords (each
// left out when empty).
std::string pciVpd(const std::string& id, const std::string& serial, const std::string& model);

class SysfsTree {
  public:
    SysfsTree();
    ~SysfsTree();
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    void addPort(const PortSpec& port);
    void addModule(const std::string& name, const std::string& version);
    // Replaces (or adds) one fc_host attribute of a port already added.
    void setHostAttribute(uint32_t host, const std::string& name, const std::string& text);
    const std::string& root() const { return root_; }
    // Environment that selects the FC backend on this tree.
    std::map<std::string, std::string> env() const;

  private:
    std::string root_;
    std::map<uint32_t, std::string> hostDirs_;
};

// The two adapters most tests use: a two-port HBA of maker one (all optional
// attributes, VPD readable on port 1, a directory in place of the VPD on port
// 2) and a one-port HBA of maker two (no optional attributes, link down, no
// VPD file).
void addTwoMakers(SysfsTree& tree);

} // namespace sysfstest
