// Fixture sysfs trees for the FC backend: a temporary directory laid out as
// the kernel lays out /sys for FC ports (fc_host and scsi_host entries under
// their PCI function or another bus, class links, remote ports with the SCSI
// devices behind them, NPIV virtual ports, statistics, modules), with
// attribute texts in the kernel's own formats (drivers/scsi/
// scsi_transport_fc.c). Makers, drivers and models are invented.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sysfstest {

using Files = std::map<std::string, std::string>; // file name -> contents

// A remote port of the transport (fc_remote_ports/rport-H:0-N) and, when it
// is a SCSI target, the LUNs of its SCSI devices (scsi_device/H:0:T:L).
struct RemotePortSpec {
    uint64_t wwpn = 0;
    uint64_t wwnn = 0;
    uint32_t portId = 0;
    std::string roles = "FCP Target";
    std::string state = "Online";
    int targetId = -1;
    std::vector<uint64_t> luns;
    std::vector<std::string> blockNames; // per LUN; empty: no block device
};

// An NPIV virtual port (fc_vports/vport-H:0-N) with the SCSI host it made
// (scsiHost 0: not made yet).
struct VportSpec {
    uint32_t number = 0;
    uint64_t wwpn = 0;
    uint64_t wwnn = 0;
    std::string state = "Active";
    std::string symbolicName;
    uint32_t scsiHost = 0;
    uint32_t portId = 0;
    std::vector<RemotePortSpec> remotePorts;
};

struct PortSpec {
    uint32_t host = 0;
    std::string pci;            // "0000:3b:00.0"; empty: the port sits on busDir
    std::string busDir;         // below sys/devices for a port on another bus ("vio/30000003")
    std::string driver;         // scsi_host proc_name and the PCI driver link
    Files fcHost;               // fc_host/host<n> attributes
    Files statistics;           // fc_host/host<n>/statistics/ (none: no folder)
    Files pciFiles;             // vendor, device, ..., config, vpd
    bool vpdUnreadable = false; // a directory where the vpd file belongs
    bool virtualPort = false;   // an NPIV port below host<n - 1> (no physical port there)
    std::vector<RemotePortSpec> remotePorts;
    std::vector<VportSpec> vports;
};

// The fc_host attributes of a port in the kernel's formats; optional = the
// attributes only some drivers publish (manufacturer, model, versions ...).
Files hostAttributes(uint64_t wwpn, uint64_t wwnn, const std::string& state, bool optional);
// The attribute set the mainline PCI FC drivers publish: no serial_number,
// manufacturer, model, versions or permanent_port_name; the firmware inside
// symbolic_name; the write-only vport_create, vport_delete and issue_lip.
Files mainlineAttributes(uint64_t wwpn, uint64_t wwnn, uint32_t portId,
                         const std::string& symbolicName);
// fc_host/statistics counters as the kernel prints them, one all ones (a
// counter the driver does not keep).
Files statisticsFiles();
// The PCI identifier files and a 256-byte config space that agrees with them.
Files pciAttributes(uint16_t vendor, uint16_t device, uint16_t subVendor, uint16_t subDevice,
                    uint8_t revision);
// PCI VPD with an identifier string, PN and the SN and V2 keywords (each
// left out when empty).
std::string pciVpd(const std::string& id, const std::string& serial, const std::string& model,
                   const std::string& partNumber = "HFP-2002-01");

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
    // The contents of fc_host/host<n>/name (after the backend wrote it).
    std::string hostFile(uint32_t host, const std::string& name) const;
    const std::string& root() const { return root_; }
    // Environment that selects the FC backend on this tree.
    std::map<std::string, std::string> env() const;
    // A digest of every path, file content, mode and link target below the
    // root: equal digests mean the tree did not change.
    std::string digest() const;

  private:
    std::string root_;
    std::map<uint32_t, std::string> hostDirs_;
};

// The two adapters most tests use: a two-port HBA of maker one (all optional
// attributes, VPD readable on port 1, a directory in place of the VPD on port
// 2, an NPIV virtual port beside port 1) and a one-port HBA of maker two (no
// optional attributes, link down, no VPD file).
void addTwoMakers(SysfsTree& tree);

// A two-port HBA with only the mainline attribute set (hosts 9 and 10): the
// firmware in symbolic_name, VPD with SN and PN but no V2 on port 9 and a
// maker-defined V2 ("0417") on port 10, remote ports in every state with
// SCSI devices behind the online targets, a virtual port, statistics.
void addMainlineServer(SysfsTree& tree);

// Hosts the inventory used to miss: host 300 (a sparse PCI port: no
// symbolic_name, statistics, fc4 lists or VPD) and host 1, a virtual FC port
// of a partitioned server on the vio bus (no PCI function).
void addOddHosts(SysfsTree& tree);

} // namespace sysfstest
