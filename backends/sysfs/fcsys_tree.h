// Access to the kernel's sysfs tree for the FC backend: the root directory,
// the physical FC ports (fc_host entries) with the PCI function each one sits
// on, their remote ports, virtual ports and SCSI devices, bounded reads of
// attribute files and the writes of the transport's few write interfaces.
// Nothing is cached: every call reads the files again, so answers follow the
// live state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "backends/sysfs/fcsys_values.h"

constexpr size_t FCSYS_PATH_MAX = 1024;

// The directory the tree is read under: $HBA_SYSFS_ROOT when set and not
// empty (tests point it at fixture trees), else "/".
const char* fcsys_root();

struct FcsysPort {
    uint32_t host;                // SCSI host number (fc_host/host<n>)
    char hostDir[FCSYS_PATH_MAX]; // <root>/sys/class/fc_host/host<n>
    char pciDir[FCSYS_PATH_MAX];  // the PCI function's directory, resolved; empty when none
    FcsysPciAddress pci;          // zero when the port sits on no PCI function
};

// Finds physical FC port host<n>: an fc_host entry that is not an NPIV
// virtual port and whose device lies inside the tree. A port on a bus other
// than PCI (virtual FC of a partitioned server) has an empty pciDir. False
// otherwise (out may be partly written).
bool fcsys_find_port(uint32_t host, FcsysPort* out);

// Host numbers of the physical FC ports, ascending; returns how many there
// are (only the first max are stored).
size_t fcsys_list_ports(uint32_t* hosts, size_t max);

// Reads the text of attribute file dir/name into out (size bytes, always
// terminated), without its trailing newline and blanks. False when the file
// is missing, unreadable, not a regular file, the path does not fit, or the
// text is longer than out holds (a cut number could parse as another valid one).
bool fcsys_read_attr(const char* dir, const char* name, char* out, size_t size);

// Reads up to size bytes of file dir/name into out; *got receives the count.
// False as above (a longer file is not an error here: binary files are read
// as far as the caller needs).
bool fcsys_read_bytes(const char* dir, const char* name, uint8_t* out, size_t size, size_t* got);

// Write outcome of a transport write interface.
enum FcsysWrite {
    FCSYS_WRITE_DONE,      // the kernel took the text
    FCSYS_WRITE_ABSENT,    // the file is not there (the driver lacks the feature)
    FCSYS_WRITE_REFUSED,   // the kernel refused the text (its errno tells why)
    FCSYS_WRITE_NOT_A_FILE // a link, directory or special file where the attribute belongs
};
// Writes text to attribute file dir/name in one write, as sysfs needs: the
// file must exist and be a regular file; links are not followed.
FcsysWrite fcsys_write_attr(const char* dir, const char* name, const char* text);

// Name of the driver that owns host<n> (scsi_host/host<n>/proc_name, else the
// PCI function's driver link). False when neither names one.
bool fcsys_driver_name(const FcsysPort& port, char* out, size_t size);

// Version text of a loaded kernel module (<root>/sys/module/<name>/version).
bool fcsys_module_version(const char* module, char* out, size_t size);

// Joins root and a path below it ("sys/class/fc_host") into out.
bool fcsys_root_path(const char* below, char* out, size_t size);
// Joins dir and name with one slash.
bool fcsys_join(char* out, size_t size, const char* dir, const char* name);

// ---- entries of the transport classes ---------------------------------------------------------

// Calls fn(name, dir) for each entry of class directory below (a path under
// the root, e.g. "sys/class/fc_remote_ports") whose name starts with prefix,
// in ascending name order; dir is the entry's path. Stops when fn returns
// false. Returns the number of entries visited.
template <typename Fn> size_t fcsys_each_entry(const char* below, const char* prefix, Fn fn);

// The remote ports of host<n>: the entries rport-<n>:* of fc_remote_ports.
struct FcsysRemotePort {
    FcsysChildName name;
    char dir[FCSYS_PATH_MAX];
    uint8_t wwpn[FCSYS_WWN_BYTES];
    uint8_t wwnn[FCSYS_WWN_BYTES];
    uint32_t portId;
    uint32_t roles;   // FCSYS_ROLE_* bits
    bool present;     // port_state is one of the kernel's, other than "Not Present"
    bool online;      // port_state "Online" (or "Marginal")
    int32_t targetId; // scsi_target_id; -1 when the port is no SCSI target
};
// Reads remote port entry dir (named name) into out; false when the name
// is not a remote port's.
bool fcsys_read_remote_port(const char* name, const char* dir, FcsysRemotePort* out);

// The NPIV virtual ports of host<n>: the entries vport-<n>:* of fc_vports.
struct FcsysVport {
    FcsysChildName name;
    char dir[FCSYS_PATH_MAX];
    uint8_t wwpn[FCSYS_WWN_BYTES];
    uint8_t wwnn[FCSYS_WWN_BYTES];
    char state[64]; // vport_state text
    char symbolicName[256];
    uint32_t scsiHost; // the virtual port's own SCSI host; UINT32_MAX when not made yet
};
bool fcsys_read_vport(const char* name, const char* dir, FcsysVport* out);

// Virtual port of host with this WWPN (or, with number set, this number);
// false when none.
bool fcsys_find_vport_by_wwpn(uint32_t host, const uint8_t* wwpn, FcsysVport* out);
bool fcsys_find_vport_by_number(uint32_t host, uint32_t number, FcsysVport* out);

// The block device name ("sdc") of SCSI device H:C:T:L; empty when it has none.
void fcsys_block_name(const char* scsiDevice, char* out, size_t size);

#include "backends/sysfs/fcsys_tree_each.h"
