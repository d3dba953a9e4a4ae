// Shared by the FC backend's files: the request being answered, the facts of
// one port as read from sysfs, and the answer builders of each request family.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "backends/sysfs/fcsys_tree.h"
#include "backends/sysfs/fcsys_vpd.h"
#include "interfaces/tgx_driver_records.h"

namespace fcsys {

// One envelope request: the payload (after the 28-byte header) and the
// ReturnCode the handler sets. Handlers return 0 (answered) or a PLAT_ERR_*
// code that fails the device call.
struct Request {
    uint32_t code;
    uint8_t* payload;
    uint32_t payloadSize;
    uint32_t returnCode;
};

// What sysfs tells about one port. Text fields are empty, numbers and WWNs
// zero, state and type "unknown" when the kernel does not publish the value
// or it cannot be read or parsed. The text fields hold the fc_host attribute
// of their name with the fallbacks docs/sysfs-backend.md lists (firmware
// from symbolic_name, driver version from the module, model and serial from
// the VPD, description from the VPD identifier string).
struct PortFacts {
    uint8_t wwpn[FCSYS_WWN_BYTES];
    uint8_t wwnn[FCSYS_WWN_BYTES];
    uint8_t permanentWwpn[FCSYS_WWN_BYTES];
    uint8_t fabricName[FCSYS_WWN_BYTES];
    uint32_t portId;
    uint32_t portType;
    uint32_t portState;
    uint32_t speed;
    uint32_t supportedSpeeds;
    uint32_t maxFrameSize;
    uint32_t classes;
    uint8_t supportedFc4[FCSYS_FC4_BYTES];
    uint8_t activeFc4[FCSYS_FC4_BYTES];
    uint32_t remotePorts; // present remote ports
    uint32_t maxNpivVports;
    uint32_t npivVportsInUse;
    char symbolicName[256];
    char manufacturer[64];
    char serialNumber[64];
    char model[256];
    char modelDescription[256];
    char hardwareVersion[256];
    char driverVersion[256];
    char firmwareVersion[256];
    char optionRomVersion[256];
    char driverName[256];
    bool vpdReadable;     // the PCI function's vpd file could be read
    FcsysVpdIdentity vpd; // its keywords (empty when not readable or not VPD)
    // PCI identifiers of the function.
    uint32_t vendorId;
    uint32_t deviceId;
    uint32_t subsystemVendorId;
    uint32_t subsystemId;
    uint32_t revision;
    uint32_t classCode;
};

void read_port_facts(const FcsysPort& port, PortFacts* f);
bool port_is_up(const PortFacts& f);

constexpr size_t PCI_CONFIG_BYTES = 256;
// The function's configuration space from its config file; the identifier
// fields come from the vendor, device, ... files when config gives fewer than
// the 64 header bytes (reads by non-root users get only those).
void read_pci_config(const FcsysPort& port, const PortFacts& f, uint8_t out[PCI_CONFIG_BYTES]);

// The function's VPD for the mailbox dump of the VPD region: the vpd file
// when it holds VPD, with SN and V2 set to the port's serial and model
// (fcsys_vpd_complete); else VPD built from what is known (identifier string
// the description or model, SN, V2), with "N/A" as identifier string when
// nothing is. Returns the bytes written to out (0 only when out is too small).
size_t read_vpd(const FcsysPort& port, const PortFacts& f, uint8_t* out, size_t size);

// The present remote ports of host<n> (fcsys_read_remote_port), in name order.
template <typename Fn> void each_remote_port(uint32_t host, Fn fn) {
    char prefix[32];
    snprintf(prefix, sizeof prefix, "rport-%u:", host);
    fcsys_each_entry("sys/class/fc_remote_ports", prefix, [&](const char* name, const char* dir) {
        FcsysRemotePort r;
        if (!fcsys_read_remote_port(name, dir, &r) || r.name.host != host || !r.present)
            return true;
        return fn(r);
    });
}

// ---- answers (fcsys_discovery.cpp, fcsys_mailbox.cpp) -----------------------
uint32_t answer_driver_info(const FcsysPort& port, Request& r);
uint32_t answer_board_info(const FcsysPort& port, Request& r);
uint32_t answer_adapter_attributes(const FcsysPort& port, Request& r);
uint32_t answer_port_attributes(const FcsysPort& port, Request& r);
uint32_t answer_refresh(const FcsysPort& port, Request& r);
uint32_t answer_npiv_resource(const FcsysPort& port, Request& r);
uint32_t answer_mailbox_v2(const FcsysPort& port, Request& r);
uint32_t answer_mailbox_ex(const FcsysPort& port, Request& r);
// Targets and LUNs (fcsys_targets.cpp); r.code carries the VPI bits.
uint32_t answer_vpi_lookup(const FcsysPort& port, Request& r);
uint32_t answer_node_list(const FcsysPort& port, Request& r);
uint32_t answer_scsi_id(const FcsysPort& port, Request& r);
uint32_t answer_lun_list(const FcsysPort& port, Request& r);
uint32_t answer_target_mapping(const FcsysPort& port, Request& r);
// The transport's write interfaces (fcsys_writes.cpp) and virtual ports.
uint32_t answer_rescan(const FcsysPort& port, Request& r);
uint32_t answer_vport_create(const FcsysPort& port, Request& r);
uint32_t answer_vport_delete(const FcsysPort& port, Request& r);
uint32_t answer_vport_list(const FcsysPort& port, Request& r);
uint32_t answer_vport_attributes(const FcsysPort& port, Request& r);

// Little-endian fields.
inline uint32_t rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void wr32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void wr16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace fcsys
