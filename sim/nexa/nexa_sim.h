// Internals of the simulated NEXA library: the node tree over the simulated
// machine, the property and action tables and the status codes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/core/sim_model.h"

namespace nexasim {

// Status codes. 0 and 14 are the library's general answers; the others below
// 16 are this library's own failures; the rest are action outcomes the
// management program knows by number.
enum : int {
    NX_OK = 0,
    NX_ERR_FAILED = 1,    // unspecified failure (an injected "fail")
    NX_ERR_NOT_INIT = 2,  // NEXA_init not called, or NEXA_exit called
    NX_ERR_ARG = 3,       // missing pointer, bad kind, bad size
    NX_ERR_NOT_FOUND = 4, // no child node, property, action or class of that name
    NX_ERR_BAD_TAG = 5,   // unknown tag, or a tag used with another node
    NX_ERR_VALUE = 6,     // invalid value
    NX_ERR_UNSET = 7,     // the property has no value
    NX_ERR_READ_ONLY = 8,
    NX_ERR_CAPACITY = 9, // more instances than the caller's array holds
    NX_ERR_STATE = 10,   // the simulated machine's state cannot be read or written
    NX_ERR_GONE = 11,    // the node is no longer in the machine
    NX_ERR_BUSY = 14,
    NX_UFI_OPEN = 39,
    NX_UFI_FORMAT = 40,
    NX_FW_REBOOT = 55,
    NX_PERSONALITY_FIXED = 151,
    NX_UFI_INCOMPATIBLE = 162,
    NX_UPGRADE_RUNNING = 173,
    NX_NO_AVAILABLE_PERSONALITIES = 176,
    NX_NO_CONFIGURED_PERSONALITY = 177,
    NX_NO_EXT_FAT_DATA = 205,
    NX_VIRTUAL_FUNCTION = 235,
    NX_SPECIAL_RELEASE = 318,
    NX_BAD_SIGNATURE = 336,
    NX_NO_SIGNATURE = 337,
};

enum NodeType : int {
    NT_ROOT,
    NT_CTRL,    // Corevane<n>
    NT_PORT,    // PortDiscoveryAndConfiguration<n>
    NT_FUNC,    // NICPhysicalHBA<n> / iSCSIPhysicalHBA<n>
    NT_LOGICAL, // LogicalHBA<n> (never present)
    NT_OEM,
    NT_FATDATA,
    NT_NICCIM,
    NT_NCSI,
    NT_PERSONALITY,
    NT_DIAG,
    NT_EXTFAT,
    NT_VPD,       // under the controller or a function
    NT_PM,        // ProfileManagement
    NT_PM_ACTIVE, // ProfileManagement/ActiveProfile
    NT_PM_PORT,   // .../Port<n>
    NT_PM_FUNC,   // .../Port<n>/Function<m>
    NT_PCI,
    NT_DRIVER,
    NT_CIM,
    NT_VNIC,    // vNIC under the function or under Network/NICConfiguration
    NT_NETBOOT, // NetworkBootConfiguration
    NT_NETWORK,
    NT_NICCONF, // Network/NICConfiguration
};

// Function classes that carry nodes of their own (bit mask in the tables).
enum : int { FK_NONE = 0, FK_NIC = 1, FK_ISCSI = 2, FK_ANY_FUNC = 3 };

// Where a node sits in the tree. Instance numbers are -1 where they do not apply.
struct NodeAddr {
    NodeType type = NT_ROOT;
    int ctrl = -1; // Corevane instance (position among the converged adapters)
    int fkind = FK_NONE;
    int func = -1;   // instance within NICPhysicalHBA or iSCSIPhysicalHBA
    int port = -1;   // physical port (port node, ProfileManagement port)
    int pmfunc = -1; // ProfileManagement function instance
    int variant = 0; // which of two paths reaches a node of this type
};

// A node bound to the machine for the length of one call.
struct NodeCtx {
    const NodeAddr* addr = nullptr;
    int adapter = -1; // machine adapter index (-1 at the root)
    const hbasim::Adapter* a = nullptr;
    const hbasim::Function* f = nullptr; // function behind the node, if any
    int fidx = -1;                       // index of f in a->funcs
    int port = -1;
};

// ---- the tree (nexa_tree.cpp) ---------------------------------------------
// Machine adapter indexes of the converged adapters, in Corevane order.
int converged_adapters(std::vector<int>* out);
// Machine adapter index behind a node (-1 for the root); NX_ERR_GONE when the
// controller is no longer there.
int node_adapter(const NodeAddr& n, int* adapter);
// Binds the node to a snapshot of its adapter and runs fn; returns fn's status,
// or NX_ERR_GONE / NX_ERR_STATE when the node cannot be bound.
int with_node(const NodeAddr& n, const std::function<int(const NodeCtx&)>& fn);
// Read-modify-write of the node's adapter: fn returns a status and sets
// *changed when it changed the adapter (then the change is on disk).
int update_node(const NodeAddr& n,
                const std::function<int(hbasim::Adapter&, const NodeCtx&, bool* changed)>& fn);
// The child node of that name (an instance name "Class<decimal>" or a fixed
// name); NX_ERR_NOT_FOUND when there is none.
int child_node(const NodeAddr& parent, const char* name, NodeAddr* child);
// Instance numbers of the class under the node, ascending.
int class_instances(const NodeAddr& parent, const char* cls, std::vector<int>* out);

// Facts of one adapter used by several nodes.
int function_of_kind(const hbasim::Adapter& a, int fkind, int instance);
int count_of_kind(const hbasim::Adapter& a, int fkind);
int port_count(const hbasim::Adapter& a);
std::vector<int> functions_on_port(const hbasim::Adapter& a, int port);

// ---- properties (nexa_props.cpp) ------------------------------------------
struct PropRow;
typedef int (*PropGet)(const PropRow& row, const NodeCtx& c, std::string* out);
// Runs inside update_node: a is the adapter to change.
typedef int (*PropSet)(const PropRow& row, hbasim::Adapter& a, const NodeCtx& c,
                       const std::string& value, bool* changed);
enum AttrLevel : int { LV_ADAPTER = 0, LV_FUNC = 1 };
enum ValueFmt : int { VF_TEXT, VF_BOOL, VF_DEC, VF_HEX, VF_MAC };
struct PropRow {
    NodeType node;
    int fkinds; // FK_ mask of the functions that have it; 0 = any node of that type
    const char* name;
    PropGet get;
    PropSet set;     // null: read-only
    const char* key; // model attribute the accessors use (may be null)
    AttrLevel level;
    ValueFmt fmt;
};
const PropRow* find_property(const NodeAddr& n, const char* name);
const PropRow* property_row(int index);
int property_index(const PropRow* row);

// ---- actions (nexa_actions.cpp) -------------------------------------------
struct ActionParams {
    std::string p[6];
};
// Runs the action; *text receives the last-status text (at most 255 characters
// are kept). Returns the last-status code.
typedef int (*ActionFn)(const NodeAddr& n, const ActionParams& params, std::string* text);
struct ActionRow {
    NodeType node;
    int fkinds;
    const char* name;
    ActionFn run;
};
const ActionRow* find_action(const NodeAddr& n, const char* name);
const ActionRow* action_row(int index);
int action_index(const ActionRow* row);

// "UpgradeFlashROM" of a controller (nexa_upgrade.cpp).
int upgrade_flash_rom(const NodeAddr& n, const ActionParams& params, std::string* text);

// ---- helpers shared by the tables -----------------------------------------
std::string format_mac(const uint8_t b[6]);
bool attr_true(const std::string& v);
// The raw VPD of a function (or of the controller when f is null): the "vpd"
// attribute when set, else built from the adapter's facts.
std::vector<uint8_t> build_vpd(const hbasim::Adapter& a, const hbasim::Function* f);
// Current personality: "personality" when set, else by the function kinds.
std::string current_personality(const hbasim::Adapter& a);
// Resets the writable and run-time settings of the adapter to the fleet defaults.
bool reset_nexa_settings(hbasim::Adapter& a);

} // namespace nexasim
