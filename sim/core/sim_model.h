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
    SIM_ERR_NO_STATE = 1,   // no state and it could not be seeded
    SIM_ERR_CORRUPT = 2,    // a state file is unreadable; message in last_error()
    SIM_ERR_IO = 3,
    SIM_ERR_NOT_FOUND = 4,  // no such adapter / function / object
    SIM_ERR_FLEET = 5,      // fleet text rejected
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
    std::string kind;                // "fc", "fcoe", "nic", "iscsi"
    Attrs attrs;                     // schema keys (see fleet_schema.cpp) and run-time state
    std::map<std::string, Bytes> blobs; // config regions, memory pages, small objects
};

struct Adapter {
    std::string name;                // fleet name, unique, [A-Za-z0-9_]
    std::string kind;                // "fc", "brevin", "cv3", "tarnel", "classic" ...
    Attrs attrs;
    std::map<std::string, Bytes> blobs;
    std::vector<Function> funcs;
};

struct Machine {
    std::vector<Adapter> adapters;
};

// ---- fleet descriptions -------------------------------------------------
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
// Text of the last error of the core on this thread.
const std::string& last_error();

// ---- adapters -----------------------------------------------------------
int adapter_count();
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

// ---- journal and faults -------------------------------------------------
// Appends one line to the request journal (source: "drv", "nexa", ...).
void journal(const char* source, const std::string& line);
// Reads the journal (last max_lines lines, 0 = all).
std::vector<std::string> journal_lines(size_t max_lines = 0);
void journal_clear();

struct Fault {
    std::string source;   // "drv" or "nexa"
    std::string match;    // request name or code as journalled, e.g. "0x80000135" or "get_property_val:ModelNumber"
    int port = -1;        // SCSI port / adapter index filter, -1 any
    int nth = 0;          // fire on the nth matching call (1-based), 0 = every call
    std::string action;   // "fail" (device call fails), "rc=N" (ReturnCode / NEXA status N), "status=N" (mailbox status N), "stale"
    int remaining = -1;   // times left to fire, -1 unlimited
};
int fault_add(const Fault& f);
int fault_clear();
std::vector<Fault> fault_list();
// Checks the faults for one call; counts matching calls and returns the action
// of a fault that fires ("" when none).
std::string fault_check(const char* source, const std::string& match, int port);

} // namespace hbasim
