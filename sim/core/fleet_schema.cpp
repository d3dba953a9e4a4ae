// The fleet schema: every attribute a fleet file may set, per adapter kind and
// function kind, with its type and default. The parser (fleet.cpp) rejects keys
// that no row allows, checks values against the row's type and fills in the
// defaults, so every adapter and function in the state carries every key that
// has a default.
//
// How to add an attribute: append one row to kFleetSchema below (keep rows of
// one subsystem together, under a comment naming it):
//
//   {"key", "adapter"|"function", "kinds", FT_type, "default", choices, "help"},
//
// - kinds, adapter rows: adapter kinds, comma separated ("cv3,tarnel"), or "*".
// - kinds, function rows: "F" (function kind F on any adapter), "A:F" (function
//   kind F on adapter kind A), "A:*" (every function of adapter kind A) or "*".
// - A key may have several rows with different kinds; the first row that
//   matches gives the type and the default, so put specific rows first.
// - default: the text a fleet gets when it does not set the key; nullptr when
//   the key stays absent until set (a run-time state such as a volatile
//   setting); "*" when the parser derives it (kDeriveRules in fleet.cpp).
// - Keys are lower case words joined by '_'. Values are stored as canonical
//   text (see FleetType in sim_model.h) and read with Attrs::get / get_u.
#include "sim/core/sim_model.h"

namespace hbasim {

const AdapterKindDef kAdapterKinds[] = {
    {"fc", "fc", false},                         // FC HBA (device 0xE300)
    {"brevin", "fc,fcoe,nic", false},            // Brevin FC HBA (0xE200) or CNA
    {"cv2", "fcoe,iscsi,nic", true},             // converged adapters listed by NEXA
    {"cv3", "fcoe,iscsi,nic", true},
    {"tarnel", "fcoe,iscsi,nic", true},
};
const size_t kAdapterKindCount = sizeof(kAdapterKinds) / sizeof(kAdapterKinds[0]);

const FleetKeyDef kFleetSchema[] = {
    // ---- adapter: identity and shared facts --------------------------------
    {"vendor_id", "adapter", "*", FT_NUM, "0x1F3C", nullptr, "PCI vendor ID of every function"},
    {"model", "adapter", "fc", FT_STR, "TGF3202", nullptr, "model name (no blanks or hyphens)"},
    {"model", "adapter", "brevin", FT_STR, "BRV1602", nullptr, ""},
    {"model", "adapter", "cv2", FT_STR, "CV2C100", nullptr, ""},
    {"model", "adapter", "cv3", FT_STR, "CV3C102", nullptr, ""},
    {"model", "adapter", "tarnel", FT_STR, "TRN4102", nullptr, ""},
    {"description", "adapter", "fc", FT_STR, "Dual port 32Gb Fibre Channel HBA", nullptr,
     "model description"},
    {"description", "adapter", "brevin", FT_STR, "Dual port 16Gb Fibre Channel HBA", nullptr, ""},
    {"description", "adapter", "*", FT_STR, "Dual port 10Gb converged network adapter", nullptr,
     ""},
    {"manufacturer", "adapter", "*", FT_STR, "Quoral", nullptr, "manufacturer name"},
    {"serial", "adapter", "*", FT_STR, "*", nullptr,
     "serial number shared by all functions (derived: QS21000<n>)"},
    {"hw_version", "adapter", "*", FT_STR, "2", nullptr, "hardware version text"},
    {"pci_segment", "adapter", "*", FT_NUM, "0", nullptr, "PCI segment (domain) of the functions"},
    {"pci_bus", "adapter", "*", FT_NUM, "*", nullptr,
     "PCI bus of all functions (derived: 0x10 * (adapter index + 1))"},
    {"fw_active", "adapter", "fc", FT_STR, "14.0.499.25", nullptr, "running firmware version"},
    {"fw_active", "adapter", "brevin", FT_STR, "12.8.542.31", nullptr, ""},
    {"fw_active", "adapter", "cv2", FT_STR, "10.7.110.32", nullptr, ""},
    {"fw_active", "adapter", "cv3", FT_STR, "11.4.204.20", nullptr, ""},
    {"fw_active", "adapter", "tarnel", FT_STR, "12.0.261.8", nullptr, ""},
    {"fw_flash", "adapter", "*", FT_STR, "*", nullptr,
     "firmware version on flash, active after a reboot (derived: fw_active)"},
    {"bios_version", "adapter", "*", FT_STR, "12.0.342.0", nullptr, "option ROM (boot) version"},
    {"ports", "adapter", "*", FT_NUM, "*", nullptr,
     "physical ports (derived: highest function port + 1)"},

    // ---- function: PCI identity and location ------------------------------
    {"port", "function", "*", FT_NUM, "*", nullptr,
     "physical port (derived: position among the adapter's functions of the same kind)"},
    {"pci_device", "function", "*", FT_NUM, "0", nullptr, "PCI device number"},
    {"pci_function", "function", "*", FT_NUM, "*", nullptr,
     "PCI function number (derived: position in the adapter)"},
    {"device_id", "function", "fc:fc", FT_NUM, "0xE300", nullptr, "PCI device ID"},
    {"device_id", "function", "brevin:fc", FT_NUM, "0xE200", nullptr, ""},
    {"device_id", "function", "brevin:fcoe", FT_NUM, "0xE260", nullptr, ""},
    {"device_id", "function", "brevin:nic", FT_NUM, "0xE220", nullptr, ""},
    {"device_id", "function", "cv2:nic", FT_NUM, "0x0700", nullptr, ""},
    {"device_id", "function", "cv2:iscsi", FT_NUM, "0x0702", nullptr, ""},
    {"device_id", "function", "cv2:fcoe", FT_NUM, "0x0704", nullptr, ""},
    {"device_id", "function", "cv3:nic", FT_NUM, "0x0710", nullptr, ""},
    {"device_id", "function", "cv3:iscsi", FT_NUM, "0x0712", nullptr, ""},
    {"device_id", "function", "cv3:fcoe", FT_NUM, "0x0714", nullptr, ""},
    {"device_id", "function", "tarnel:nic", FT_NUM, "0x0720", nullptr, ""},
    {"device_id", "function", "tarnel:iscsi", FT_NUM, "0x0722", nullptr, ""},
    {"device_id", "function", "tarnel:fcoe", FT_NUM, "0x0724", nullptr, ""},
    {"subsys_vendor_id", "function", "*", FT_NUM, "0x1F3C", nullptr, "PCI subsystem vendor ID"},
    {"subsys_id", "function", "*", FT_NUM, "*", nullptr,
     "PCI subsystem ID (derived: device_id)"},
    {"revision", "function", "*", FT_NUM, "0x10", nullptr,
     "PCI revision ID (configuration space byte 8)"},
    {"class_code", "function", "fc,fcoe", FT_NUM, "0x0C0400", nullptr, "PCI class code"},
    {"class_code", "function", "nic", FT_NUM, "0x020000", nullptr, ""},
    {"class_code", "function", "iscsi", FT_NUM, "0x010000", nullptr, ""},

    // ---- function: what the adapter driver reports (fc, fcoe) --------------
    {"scsi_port", "function", "fc,fcoe", FT_NUM, "*", nullptr,
     "SCSI port number n of \\\\.\\Scsi<n>: (derived: next free number in fleet order)"},
    {"mgmt_device", "function", "fc,fcoe", FT_BOOL, "yes", nullptr,
     "whether the management device \\\\.\\TsvRma<n> exists"},
    {"sli_mode", "function", "fc,fcoe", FT_NUM, "4", nullptr, "SLI mode the driver reports"},
    {"drv_version", "function", "fc,fcoe", FT_NUM, "5", nullptr,
     "highest driver-information version the driver speaks"},
    {"drv_type", "function", "fc,fcoe", FT_NUM, "3", nullptr, "driver type (drvType)"},
    {"feature_list", "function", "fcoe", FT_NUM, "0x1600", nullptr,
     "driver feature bits (0x200 FCoE, 0x400 persistent link down, 0x1000 extended mailbox, "
     "0x4000 OAS V2)"},
    {"feature_list", "function", "fc", FT_NUM, "0x1400", nullptr, ""},
    {"iftype", "function", "fc,fcoe", FT_NUM, "0", nullptr, "interface type (bits 12-15 of the "
     "interface word)"},
    {"driver_name", "function", "cv2:fcoe,cv3:fcoe,tarnel:fcoe", FT_STR, "qrlfcoe", nullptr,
     "HBA-API driver name; \"qrlsli2\" is the Port driver, any other name a Mini driver"},
    {"driver_name", "function", "fc,fcoe", FT_STR, "qrlsli2", nullptr, ""},
    {"drv_ver", "function", "fc,fcoe", FT_STR, "ST2.10A3", nullptr,
     "driver version text (first version/name pair and HBA-API DriverVersion)"},
    {"drv_service", "function", "fc,fcoe", FT_STR, "*", nullptr,
     "driver service name of the first pair, at most 8 characters (derived: driver_name)"},
    {"drv_ver2", "function", "fc,fcoe", FT_STR, "", nullptr, "second version/name pair"},
    {"drv_service2", "function", "fc,fcoe", FT_STR, "", nullptr, ""},
    {"drv_ver3", "function", "fc,fcoe", FT_STR, "", nullptr, "third version/name pair"},
    {"drv_service3", "function", "fc,fcoe", FT_STR, "", nullptr, ""},
    {"d_id", "function", "fc,fcoe", FT_NUM, "*", nullptr,
     "Fibre Channel address (derived: 0x010000 + 0x100 * (scsi_port + 1))"},
    {"wwpn", "function", "fc,fcoe", FT_WWN, "*", nullptr,
     "port WWN (derived: 10:00:02:1F:3C:<adapter+1>:<function>:00)"},
    {"wwnn", "function", "fc,fcoe", FT_WWN, "*", nullptr,
     "node WWN (derived: 20:00:02:1F:3C:<adapter+1>:<function>:00)"},
    {"return_info", "function", "fc,fcoe", FT_NUM, "0", nullptr,
     "first word of the board-information reply"},
    {"word456", "function", "fc,fcoe", FT_NUM, "0", nullptr,
     "board-information payload word 456"},
    {"slim_base", "function", "fc,fcoe", FT_NUM, "0", nullptr,
     "board-information payload word 464 (SLIM window base)"},

    // ---- function: link and port attributes --------------------------------
    {"link", "function", "*", FT_CHOICE, "up", "up|down", "link state"},
    {"persist_down", "function", "fc,fcoe", FT_BOOL, "no", nullptr,
     "persistent link down (bit 31 of the link word)"},
    {"port_state", "function", "fc,fcoe", FT_NUM, nullptr, nullptr,
     "HBA-API port state (absent: 2 online when the link is up, 6 link down otherwise)"},
    {"port_type", "function", "fc,fcoe", FT_NUM, "5", nullptr, "HBA-API port type (5 N_Port)"},
    {"port_speed", "function", "fc:fc", FT_NUM, "0x40", nullptr,
     "HBA-API port speed bits (0x4 10G, 0x8 4G, 0x10 8G, 0x20 16G, 0x40 32G)"},
    {"port_speed", "function", "fc", FT_NUM, "0x20", nullptr, ""},
    {"port_speed", "function", "fcoe", FT_NUM, "0x4", nullptr, ""},
    {"supported_speeds", "function", "fc:fc", FT_NUM, "0x70", nullptr,
     "HBA-API supported speed bits"},
    {"supported_speeds", "function", "fc", FT_NUM, "0x38", nullptr, ""},
    {"supported_speeds", "function", "fcoe", FT_NUM, "0x4", nullptr, ""},
    {"max_frame", "function", "fc,fcoe", FT_NUM, "2048", nullptr, "largest frame size"},
    {"fabric_name", "function", "fc,fcoe", FT_WWN, "*", nullptr,
     "fabric name (derived: 20:01:02:1F:3C:FA:00:<port>)"},
    {"discovered_ports", "function", "fc,fcoe", FT_NUM, "4", nullptr,
     "number of discovered remote ports"},
    {"stale_attrs", "function", "fc,fcoe", FT_BOOL, "no", nullptr,
     "port attributes answer 'stale' (8) until a refresh request"},

    // ---- function: network identity (nic, iscsi) ---------------------------
    {"mac", "function", "nic,iscsi", FT_MAC, "*", nullptr,
     "current MAC address (derived: 02-1F-3C-<adapter+1>-<function>-<port>)"},
    {"permanent_mac", "function", "nic,iscsi", FT_MAC, "*", nullptr,
     "factory MAC address (derived: mac)"},
};
const size_t kFleetSchemaCount = sizeof(kFleetSchema) / sizeof(kFleetSchema[0]);

} // namespace hbasim
