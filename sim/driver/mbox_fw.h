// The simulated adapter firmware behind hbaset's mailbox layer: helpers shared
// by the command families in mbox_fw_*.cpp (config regions, NV parameters,
// adapter memory and its load list, journal and injected statuses).
//
// State of a function (fleet keys in fleet_schema.cpp, run-time keys here):
// - regions: blob "region<n>" once written; before that regions 4, 8, 9 and 10
//   come from the fleet keys region_<n> (zero-filled at their standard size),
//   region 0 from the function's WWNs, region 14 from "vpd", region 16 (32 on
//   SLI-4 functions) from "factory_wwn". "region<n>_len" is the length of the
//   last header written (reads return the shorter of data and header), and
//   "region_state" lists regions that are invalid, uninitialised or bad.
// - volatile names: "volatile_nv" (20 bytes, dropped at reboot).
// - memory: built from "flash_layout", "load_list" and "memory"; changes are
//   kept in the blob "memory_patch".
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "interfaces/mbox_codes.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// ---- mailbox access ---------------------------------------------------------------
inline uint8_t* fw_bytes(MboxCall& c) {
    return reinterpret_cast<uint8_t*>(c.mb);
}
uint32_t fw_rd32(const uint8_t* p);
void fw_wr32(uint8_t* p, uint32_t v);
uint32_t fw_be32(const uint8_t* p);
void fw_wr_be32(uint8_t* p, uint32_t v);
// Bytes of mailbox data from word 5 on that fit the mailbox as sent.
uint32_t fw_mailbox_data_room(const MboxCall& c);

// Journals one line for the mailbox command (source "mbx") and applies an
// injected fault of that command ("status=N", or "fail": status MBXS_ERROR):
// true when the fault answered. name must be one of kMboxFaultNames.
bool fw_begin(const Function& f, MboxCall& c, const char* name, const std::string& detail);
// Every name fw_begin is called with: the mailbox commands that take "mbx"
// faults (`hbasim fault add` refuses any other).
extern const char* const kMboxFaultNames[];
extern const size_t kMboxFaultNameCount;
void fw_note(const char* name, const std::string& detail);

// ---- function facts ----------------------------------------------------------------
bool fw_is_sli4(const Function& f);
uint32_t fw_device_id(const Function& f);
// The function's FuncRef (for its object store), from its SCSI port.
bool fw_ref(const Function& f, FuncRef* out);

// ---- regions ---------------------------------------------------------------------------
enum RegionState { REGION_VALID = 0, REGION_INVALID, REGION_UNINIT, REGION_BAD };
RegionState fw_region_state(const Function& f, uint32_t region);
void fw_set_region_state(Function& f, uint32_t region, RegionState st);
// The region's data as stored or built from the fleet; false when the function
// has no such region.
bool fw_region_data(const Adapter& a, const Function& f, uint32_t region, Bytes* out);
// Header length: the last type-1 length, else the data size.
uint32_t fw_region_header(const Function& f, uint32_t region, uint32_t dataSize);
void fw_store_region(Function& f, uint32_t region, const Bytes& data);
// Completion status of a read of the region (0 when it can be read).
uint32_t fw_region_read_status(const Adapter& a, const Function& f, uint32_t region);
// The factory IEEE region number of the function: 32 on SLI-4, else 16.
uint32_t fw_ieee_region(const Function& f);
// Default VPD: identifier string and read-only keywords SN, V2, V4.
Bytes fw_vpd_bytes(const Adapter& a, const Function& f);

// ---- memory ------------------------------------------------------------------------------
using Memory = std::map<uint32_t, uint32_t>;
// The function's memory: generated from the fleet, with changes applied.
Memory fw_memory(const Function& f);
uint32_t fw_mem_read(const Memory& m, uint32_t address);
// Records a changed word (kept in the patch blob).
void fw_mem_write(Function& f, uint32_t address, uint32_t value);
// End of the readable window (0x02000000, or 0x20000000 for newer hardware).
uint32_t fw_mem_window(const Function& f);
// Flash region base of the function's layout, 0 when the layout is unknown.
uint32_t fw_region_base(const Function& f);

// MBX_DOWN_LOAD requests for the PHY firmware (word 1 bits 8-15 = 0x8C).
bool mbx_vitesse(Adapter& a, Function& f, MboxCall& c);

// Flash area images kept aside until the switch (mbox_fw_download.cpp): the
// wakeup parameter write starts those of the calling process; a reset drops
// them. Each returns true when the function changed.
bool fw_switch_pending_images(Function& f);
bool fw_drop_pending_images(Function& f);

} // namespace hbasim
