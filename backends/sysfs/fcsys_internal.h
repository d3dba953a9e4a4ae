// Shared by the FC backend's files: the request being answered, the facts of
// one port as read from sysfs, and the answer builders of each request family.
#pragma once
#include <cstddef>
#include <cstdint>

#include "backends/sysfs/fcsys_tree.h"
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
// or it cannot be read or parsed.
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
    uint32_t remotePorts;
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
// when it holds VPD (with SN and V2 added from the transport attributes when
// it has none), else VPD built from the transport attributes. Returns the
// bytes written to out (0: none available).
size_t read_vpd(const FcsysPort& port, const PortFacts& f, uint8_t* out, size_t size);

// ---- answers (fcsys_discovery.cpp, fcsys_mailbox.cpp) -----------------------
uint32_t answer_driver_info(const FcsysPort& port, Request& r);
uint32_t answer_board_info(const FcsysPort& port, Request& r);
uint32_t answer_adapter_attributes(const FcsysPort& port, Request& r);
uint32_t answer_port_attributes(const FcsysPort& port, Request& r);
uint32_t answer_refresh(const FcsysPort& port, Request& r);
uint32_t answer_npiv_resource(const FcsysPort& port, Request& r);
uint32_t answer_mailbox_v2(const FcsysPort& port, Request& r);
uint32_t answer_mailbox_ex(const FcsysPort& port, Request& r);

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
