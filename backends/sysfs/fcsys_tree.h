// Read access to the kernel's sysfs tree for the FC backend: the root
// directory, the physical FC ports (fc_host entries) with the PCI function
// each one sits on, and bounded reads of attribute files. Nothing is cached:
// every call reads the files again, so answers follow the live state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "backends/sysfs/fcsys_values.h"

constexpr size_t FCSYS_PATH_MAX = 1024;

// The directory the tree is read under: $HBA_SYSFS_ROOT when set and not
// empty (tests point it at a fixture tree), else "/".
const char* fcsys_root();

struct FcsysPort {
    uint32_t host;                // SCSI host number (the port's "\\.\Scsi<n>:")
    char hostDir[FCSYS_PATH_MAX]; // <root>/sys/class/fc_host/host<n>
    char pciDir[FCSYS_PATH_MAX];  // the PCI function's directory, resolved
    FcsysPciAddress pci;
};

// Finds physical FC port host<n>: an fc_host entry that is not an NPIV
// virtual port and whose device chain leads to a PCI function. False
// otherwise (out may be partly written).
bool fcsys_find_port(uint32_t host, FcsysPort* out);

// Reads the text of attribute file dir/name into out (size bytes, always
// terminated; longer contents are cut). False when the file is missing,
// unreadable, a directory, or the path does not fit.
bool fcsys_read_attr(const char* dir, const char* name, char* out, size_t size);

// Reads up to size bytes of file dir/name into out; *got receives the count.
// False as above.
bool fcsys_read_bytes(const char* dir, const char* name, uint8_t* out, size_t size, size_t* got);

// Name of the driver that owns host<n> (scsi_host/host<n>/proc_name, else the
// PCI function's driver link). False when neither names one.
bool fcsys_driver_name(const FcsysPort& port, char* out, size_t size);

// Version text of a loaded kernel module (<root>/sys/module/<name>/version).
bool fcsys_module_version(const char* module, char* out, size_t size);

// Number of remote ports the transport class lists for host<n>
// (<root>/sys/class/fc_remote_ports/rport-<n>:*).
uint32_t fcsys_count_remote_ports(uint32_t host);

// Joins root and a path below it ("sys/class/fc_host") into out.
bool fcsys_root_path(const char* below, char* out, size_t size);
