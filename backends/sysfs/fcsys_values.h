// Parsers of the value texts that the Linux kernel prints in sysfs for the
// Fibre Channel transport class (fc_host, fc_remote_ports) and for PCI
// functions. Pure functions: no file access, no allocation, no global state.
//
// Every parser takes one attribute's text as read from its file (a trailing
// newline and blanks are allowed, nothing else is) and returns false when the
// text is not in the kernel's format; its output is then left as it was, so
// a caller that cleared it first keeps the "not available" value. A parser
// that accepts "unknown" says so.
#pragma once
#include <cstddef>
#include <cstdint>

// Port speeds as the transport class numbers them (the SNIA HBA API values).
constexpr uint32_t FCSYS_SPEED_UNKNOWN = 0;
constexpr uint32_t FCSYS_SPEED_NOT_NEGOTIATED = 0x8000;

// Port states and types in the numbering of the SNIA HBA API.
constexpr uint32_t FCSYS_PORTSTATE_UNKNOWN = 1;
constexpr uint32_t FCSYS_PORTSTATE_ONLINE = 2;
constexpr uint32_t FCSYS_PORTSTATE_OFFLINE = 3;
constexpr uint32_t FCSYS_PORTSTATE_LINKDOWN = 6;
constexpr uint32_t FCSYS_PORTTYPE_UNKNOWN = 1;
constexpr uint32_t FCSYS_PORTTYPE_NPORT = 5;
constexpr uint32_t FCSYS_PORTTYPE_NPIV_VPORT = 0xFFFF; // not an HBA API type: a virtual port

constexpr size_t FCSYS_WWN_BYTES = 8;
constexpr size_t FCSYS_FC4_BYTES = 32;

// Length of text without its trailing newline and blanks (text has len bytes).
size_t fcsys_trimmed_length(const char* text, size_t len);

// "0x21000024ff7b4c2a": "0x" and 1 to 16 hex digits (the kernel does not pad
// with zeros). out receives the 8 bytes in wire order, most significant first.
bool fcsys_parse_wwn(const char* text, uint8_t out[FCSYS_WWN_BYTES]);

// "0x010200", "0x1077", "0x0c0400": "0x" and 1 to 8 hex digits, at most max.
bool fcsys_parse_hex(const char* text, uint32_t max, uint32_t* out);

// "255": 1 to 10 decimal digits, at most 0xFFFFFFFF.
bool fcsys_parse_decimal(const char* text, uint32_t* out);

// "16 Gbit", "Not Negotiated" or "unknown" (FCSYS_SPEED_UNKNOWN).
bool fcsys_parse_speed(const char* text, uint32_t* out);

// "1 Gbit, 2 Gbit, 4 Gbit" (names joined by ", ") or "unknown" (0).
bool fcsys_parse_speed_list(const char* text, uint32_t* out);

// "2048 bytes".
bool fcsys_parse_frame_size(const char* text, uint32_t* out);

// "Class 2, Class 3" as class-of-service bits (class 3 = 0x08), "Unspecified" = 0.
bool fcsys_parse_classes(const char* text, uint32_t* out);

// "Online", "Linkdown", ... as an HBA API port state.
bool fcsys_parse_port_state(const char* text, uint32_t* out);

// "NPort (fabric via point-to-point)", ... as an HBA API port type;
// "NPIV VPORT" gives FCSYS_PORTTYPE_NPIV_VPORT.
bool fcsys_parse_port_type(const char* text, uint32_t* out);

// "0x00 0x00 0x01 0x00 ..." (supported_fc4s, active_fc4s): 32 bytes.
bool fcsys_parse_fc4_types(const char* text, uint8_t out[FCSYS_FC4_BYTES]);

// A PCI function's directory name "0000:3b:00.1": segment, bus, device, function.
struct FcsysPciAddress {
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
};
bool fcsys_parse_pci_address(const char* name, FcsysPciAddress* out);

// "host5": the SCSI host number (0 to 255, no leading zeros).
bool fcsys_parse_host_name(const char* name, uint32_t* host);

// Copies text without its trailing newline and blanks into out (size bytes,
// always terminated, cut when longer); control characters become blanks.
void fcsys_copy_text(const char* text, char* out, size_t size);
