// The simulated machine: physical adapters and their PCI functions, their
// persistent state, the request journal and injected faults.
//
// The state lives in the state directory (plat_state_dir()). Each physical
// adapter has its own file, written through a temporary file and a rename after
// every change, under an exclusive per-adapter lock file; large objects (flash
// images) live in files of their own. Readers use a per-process snapshot that
// is reloaded when the file changes.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hbasim {

using Bytes = std::vector<uint8_t>;

// Status codes of the core.
enum : int {
    SIM_OK = 0,
    SIM_ERR_NO_STATE = 1, // no state and it could not be seeded
    SIM_ERR_CORRUPT = 2,  // a state file is unreadable; message in last_error()
    SIM_ERR_IO = 3,
    SIM_ERR_NOT_FOUND = 4, // no such adapter / function / object
    SIM_ERR_FLEET = 5,     // fleet text rejected
};

// Attribute map with typed helpers. Numbers are kept as text: "0x..." hex or decimal.
struct Attrs {
    std::map<std::string, std::string> kv;
    bool has(const std::string& k) const { return kv.count(k) != 0; }
    std::string get(const std::string& k, const std::string& def = "") const;
    uint64_t get_u(const std::string& k, uint64_t def = 0) const;
    void set(const std::string& k, const std::string& v) { kv[k] = v; }
    void set_u(const std::string& k, uint64_t v, bool hex = false);
    void erase(const std::string& k) { kv.erase(k); }
};

struct Function {
    std::string kind;                   // "fc", "fcoe", "nic", "iscsi"
    Attrs attrs;                        // schema keys (see fleet_schema.cpp) and run-time state
    std::map<std::string, Bytes> blobs; // config regions, memory pages, small objects
};

struct Adapter {
    std::string name; // fleet name, unique, [A-Za-z0-9_]
    std::string kind; // "fc", "brevin", "cv3", "tarnel", "classic" ...
    Attrs attrs;
    std::map<std::string, Bytes> blobs;
    std::vector<Function> funcs;
};

struct Machine {
    std::vector<Adapter> adapters;
};

// ---- fleet descriptions -------------------------------------------------
// Value types of fleet attributes. Values are stored as canonical text:
// numbers as written ("0x.." or decimal), booleans "1"/"0", WWNs
// "10:00:02:1F:3C:01:00:00" and MACs "02-1F-3C-01-00-00" (upper case), byte
// strings as hex digits.
enum FleetType : int {
    FT_STR = 0,   // any text (quote it in a fleet file when it holds blanks or '#')
    FT_NUM = 1,   // unsigned number, decimal or 0x hex (up to 64 bits)
    FT_BOOL = 2,  // yes/no, true/false, on/off, 1/0
    FT_WWN = 3,   // 8 bytes, hex pairs separated by ':'
    FT_MAC = 4,   // 6 bytes, hex pairs separated by '-' or ':'
    FT_BYTES = 5, // hex digits, an even number of them
    FT_CHOICE = 6 // one of the words of 'choices' ("up|down")
};

// One row of the fleet schema (fleet_schema.cpp): an attribute key that a fleet
// file may set on an adapter or a function, with its type and default.
struct FleetKeyDef {
    const char* key;
    const char* scope; // "adapter" or "function"
    // Kinds the row applies to, comma separated. Adapter rows: adapter kinds
    // ("fc,brevin") or "*". Function rows: "F" (function kind F on any adapter),
    // "A:F" (function kind F on adapter kind A), "A:*" or "*".
    const char* kinds;
    FleetType type;
    // Default text; nullptr = no default (absent until set); "*" = derived by
    // the parser from other facts (see derive rules in fleet.cpp).
    const char* def;
    const char* choices; // FT_CHOICE: words separated by '|'; else nullptr
    const char* help;
};
extern const FleetKeyDef kFleetSchema[];
extern const size_t kFleetSchemaCount;

// Adapter kinds and the function kinds they may carry (fleet_schema.cpp).
struct AdapterKindDef {
    const char* kind;
    const char* functionKinds; // comma separated
    bool converged;            // listed by NEXA as a converged adapter
};
extern const AdapterKindDef kAdapterKinds[];
extern const size_t kAdapterKindCount;
// The kind row, or null.
const AdapterKindDef* adapter_kind(const std::string& kind);
// The schema row that gives key's default/type for this adapter or function,
// or null when the key is not valid there (func_kind empty for adapter keys).
const FleetKeyDef* fleet_key(const std::string& adapter_kind, const std::string& func_kind,
                             const std::string& key);

// Bounds of fleet input: the whole text and any one value (a byte string of
// kFleetValueMax hex digits is the largest region a fleet can describe).
const size_t kFleetFileMax = 1u << 20;
const size_t kFleetValueMax = 1u << 16;

struct FleetError {
    int line = 0;
    std::string message;
};
// Parses a fleet text into a machine with every default applied and every
// cross-check made. Returns SIM_OK or SIM_ERR_FLEET with err filled.
int parse_fleet(const std::string& text, Machine* out, FleetError* err);
// The fleet compiled into the simulator, used to seed an empty state directory.
const char* default_fleet_text();

// ---- state directory ----------------------------------------------------
std::string state_dir();
// Seeds the state from the default fleet when the directory holds no state.
int ensure_state();
// Replaces the whole state with the machine described by the fleet text
// (nothing changes when the text is rejected).
int init_state(const std::string& fleet_text, FleetError* err);
// Server reboot: flashed firmware becomes active, configured personalities
// become current, volatile settings are dropped (each subsystem adds its rule
// in reboot_rules.cpp).
int reboot_machine();
// One reboot rule: applied to every adapter, under its lock; returns true when
// it changed the adapter.
struct RebootRule {
    const char* name;
    bool (*apply)(Adapter& a);
};
extern const RebootRule kRebootRules[];
extern const size_t kRebootRuleCount;

// ---- link model of FC/FCoE functions (reboot_rules.cpp) -----------------
// While the driver holds a link down or in loopback it overrides the
// function's "link", "port_state" and "fabric_name"; the fleet values are kept
// in "saved_<key>" ("-" when the key was absent) and come back at a restart.
// Overrides the three keys with the driver's view: link up or down, and in
// loopback a fabric name of zeros.
void link_set_view(Function& f, bool up, bool loop);
// Puts every overridden key back; true when anything changed.
bool link_restore(Function& f);
// Persistent link down configured for the function in the registry (item
// PersistLnkDn=1 of the driver's per-port "Parameters" value).
bool link_persist_configured(const Function& f);
// A driver reset or server reboot: loopback ends, the fleet link comes back and
// persistent link down is read again from the registry. True when changed.
bool link_restart(Function& f);
// Text of the last error of the core on this thread.
std::string last_error();

// ---- adapters -----------------------------------------------------------
int adapter_count();
// Kinds of the adapters in machine order, from the machine index alone (no
// adapter state file is read).
int adapter_kinds(std::vector<std::string>* out);
// A number that changes whenever this process loads a new machine index (the
// machine was recreated), so facts derived from the index can be cached under
// it; 0 when there is no readable state.
uint64_t machine_version();
// Index of the adapter and function that answer SCSI port n (FC and FCoE
// functions carry a "scsi_port" attribute). False when none.
struct FuncRef {
    int adapter = -1;
    int func = -1;
};
bool find_scsi_port(int port, FuncRef* out);
// Snapshot read: fn sees the adapter as last written by any process.
int read_adapter(int adapter, const std::function<void(const Adapter&)>& fn);
// Read-modify-write under the adapter's exclusive lock. fn returns true when it
// changed the adapter; the state is then on disk before update_adapter returns.
int update_adapter(int adapter, const std::function<bool(Adapter&)>& fn);
// Whole machine snapshot (for tools and NEXA enumeration).
int read_machine(Machine* out);
// Like read_machine, but a damaged adapter file does not stop it: the healthy
// adapters go to *out and one message per damaged file to *damaged.
int check_machine(Machine* out, std::vector<std::string>* damaged);
// Path of the state file of an adapter ("" when there is no such adapter).
std::string adapter_file(int adapter);
// Prints "<who>: <last_error()>" on standard error the first time this
// process meets that message (a damaged file is named once, not per request).
// Returns false, for callers that give up on the adapter.
bool report_damaged_once(const char* who);
// While a ReadScope is alive on a thread, reads check each state file against
// the disk once (at its first read in the scope) instead of at every call: a
// request handler opens one so that one request costs one check. Updates
// always recheck under the adapter's lock.
struct ReadScope {
    ReadScope();
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;
};

// ---- facts derived for every view ----------------------------------------
// Facts shared by several functions live once on the adapter ("serial",
// "pci_bus", "pci_segment", "fw_active", "fw_flash", "vendor_id"); these
// helpers give each view the same answer.
// SCSI port of an FC/FCoE function, -1 for NIC/iSCSI functions.
int func_scsi_port(const Function& f);
// True for the kinds the driver answers for (fc, fcoe).
bool func_driver_visible(const Function& f);
// The 256-byte PCI configuration space of the function: the "pci_config" blob
// when one is stored, else built from the ids (vendor/device @0, command/status
// @4, revision @8, class @9, header type @14, subsystem vendor/id @44/@46).
void func_pci_config(const Adapter& a, const Function& f, uint8_t out[256]);
// The FCoE function on physical port 'port' of a converged adapter (its "wwpn"
// is the port's FCoE WWPN), or null.
const Function* fcoe_function_on_port(const Adapter& a, int port);
// Parses "xx:xx:xx:xx:xx:xx:xx:xx" (n = 8) or a MAC (n = 6, '-' or ':').
bool parse_hex_bytes(const std::string& text, uint8_t* out, size_t n);

// ---- large objects (flash images, staged downloads) ---------------------
// Named per function; stored in files of their own so that requests stay cheap.
int object_get(FuncRef f, const std::string& name, Bytes* out);
int object_size(FuncRef f, const std::string& name, uint64_t* size);
int object_put(FuncRef f, const std::string& name, const Bytes& data);
int object_delete(FuncRef f, const std::string& name);
// Writes data at offset into a staging object (grows it); cheap whatever its size.
int staging_write(FuncRef f, const std::string& name, uint64_t offset, const void* data,
                  size_t size);
// Moves a staging object into place as object 'name' (atomic), or drops it.
int staging_commit(FuncRef f, const std::string& staging, const std::string& name);
int staging_drop(FuncRef f, const std::string& staging);
// The bytes of a staging object as written so far (SIM_ERR_NOT_FOUND when none).
int staging_read(FuncRef f, const std::string& staging, Bytes* out);
// Bytes written into a staging object so far (SIM_ERR_NOT_FOUND when none).
int staging_size(FuncRef f, const std::string& staging, uint64_t* size);
// Appends data at the end of a staging object unless that would take it past
// limit bytes (SIM_ERR_IO, nothing written); *offset receives where the data
// went (the size before). One open per call, whatever the object's size.
int staging_append(FuncRef f, const std::string& staging, const void* data, size_t size,
                   uint64_t limit, uint64_t* offset);

// ---- journal and faults -------------------------------------------------
// Appends one line to the request journal (source: "drv", "nexa", ...).
void journal(const char* source, const std::string& line);
// Reads the journal (last max_lines lines, 0 = all).
std::vector<std::string> journal_lines(size_t max_lines = 0);
// Removes the journal; SIM_ERR_NOT_FOUND when there was none to remove,
// SIM_ERR_IO when it could not be removed (message in last_error()).
int journal_clear();

struct Fault {
    std::string source; // "drv" or "nexa"
    std::string match;  // request name or code as journalled, e.g. "0x80000135" or
                        // "get_property_val:ModelNumber"
    int port = -1;      // SCSI port / adapter index filter, -1 any
    int nth = 0;        // fire on the nth matching call (1-based), 0 = every call
    std::string action; // "fail" (device call fails), "rc=N" (ReturnCode / NEXA status N),
                        // "status=N" (mailbox status N), "stale"
    int remaining = -1; // times left to fire, -1 unlimited
};
int fault_add(const Fault& f);
int fault_clear();
std::vector<Fault> fault_list();
// Checks the faults for one call; counts matching calls and returns the action
// of a fault that fires ("" when none).
std::string fault_check(const char* source, const std::string& match, int port);

} // namespace hbasim
