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

// "Class 2, Class 3" as class-of-service bits (class 3 = 0x08), "unspecified" = 0.
bool fcsys_parse_classes(const char* text, uint32_t* out);

// "Online", "Linkdown", "Not Present", ... as an HBA API port state ("Not
// Present" has none of its own: unknown).
bool fcsys_parse_port_state(const char* text, uint32_t* out);

// Whether a port_state text names a port that is there: any of the kernel's
// states except "Not Present" (a remote port the fabric no longer lists; the
// transport keeps its entry until dev_loss_tmo ends).
bool fcsys_port_present(const char* text);

// Remote-port roles ("FCP Target", "FCP Initiator, FCP Target", "unknown")
// as FCSYS_ROLE_* bits.
constexpr uint32_t FCSYS_ROLE_FCP_TARGET = 0x1;
constexpr uint32_t FCSYS_ROLE_FCP_INITIATOR = 0x2;
constexpr uint32_t FCSYS_ROLE_OTHER = 0x4; // IP port, NVMe and discovery roles
bool fcsys_parse_roles(const char* text, uint32_t* out);

// fc_host/statistics counters: "0x%llx", 1 to 16 hex digits. All ones is the
// kernel's "not counted by this driver".
constexpr uint64_t FCSYS_COUNTER_NOT_COUNTED = ~0ull;
bool fcsys_parse_counter(const char* text, uint64_t* out);

// A signed decimal as the kernel prints an int ("-1" for scsi_target_id of a
// remote port that is no SCSI target).
bool fcsys_parse_int(const char* text, int32_t* out);

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

// "host5": the SCSI host number (any unsigned 32-bit value, no leading
// zeros; numbers grow with every driver reload and iSCSI session).
bool fcsys_parse_host_name(const char* name, uint32_t* host);

// Names of transport-class entries: "rport-5:0-2" (host, channel, number)
// and "vport-5:0-0" (prefix "vport-").
struct FcsysChildName {
    uint32_t host;
    uint32_t channel;
    uint32_t number;
};
bool fcsys_parse_child_name(const char* name, const char* prefix, FcsysChildName* out);

// A SCSI device's address "5:0:1:12": host, channel, target id, LUN.
struct FcsysScsiAddress {
    uint32_t host;
    uint32_t channel;
    uint32_t target;
    uint64_t lun;
};
bool fcsys_parse_scsi_address(const char* name, FcsysScsiAddress* out);

// The 8-byte FCP LUN of a Linux LUN number (the kernel's int_to_scsilun:
// two bytes per addressing level, the lowest level first).
void fcsys_fcp_lun(uint64_t lun, uint8_t out[8]);

// The text vport_create and vport_delete take: "<WWPN>:<WWNN>", 16 lower-case
// hex digits each, no "0x". out needs FCSYS_VPORT_TEXT_SIZE bytes.
constexpr size_t FCSYS_VPORT_TEXT_SIZE = 34;
void fcsys_format_vport_names(const uint8_t wwpn[FCSYS_WWN_BYTES],
                              const uint8_t wwnn[FCSYS_WWN_BYTES], char* out);

// A version token of fc_host symbolic_name. Drivers that publish no
// firmware_version put it there as one blank-separated token among others
// (driver version, host name ...): a short prefix, then the dotted version
// ("FV12.8.340.8", "FW:v8.08.204"). kind picks the firmware or the driver
// version; out receives the version without its prefix. False when no token
// of that kind is found.
enum FcsysVersionKind { FCSYS_VERSION_FIRMWARE, FCSYS_VERSION_DRIVER };
bool fcsys_symbolic_version(const char* symbolicName, FcsysVersionKind kind, char* out,
                            size_t size);

// Copies text without its trailing newline and blanks into out (size bytes,
// always terminated, cut when longer); control characters become blanks.
void fcsys_copy_text(const char* text, char* out, size_t size);
