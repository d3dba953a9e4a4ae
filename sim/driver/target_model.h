// The remote targets and LUNs a port of the simulated driver sees: the
// function's "targets" fleet key (sim/core/target_list.h) read per physical
// port (VPI 0) or virtual port (its VPI), with the masks the driver applies.
//
// Every virtual port sees the targets whose npiv flag is set (the default),
// at the same WWPN, WWNN, D_ID and target id, on path id = path + VPI, so the
// SCSI address of a target differs between the ports that see it.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/core/sim_model.h"
#include "sim/core/target_list.h"

namespace hbasim {

// The WWPN of port vpi of f: the physical port's "wwpn" for 0, else the
// virtual port's; false when there is no such port or the WWPN does not parse.
bool port_wwpn_of(const Function& f, uint32_t vpi, uint8_t* wwpn);
// The VPI of the port of f with this WWPN (0: the physical port, then virtual
// ports 1-255 in VPI order); false when no port has it.
bool port_vpi_of(const Function& f, const uint8_t* wwpn, uint32_t* vpi);

// The targets port vpi of f sees, in fleet order; false when f has no
// virtual port with that VPI (or its "targets" text does not parse).
bool targets_of(const Function& f, uint32_t vpi, std::vector<SimTarget>* out);
// Lookups in a list from targets_of; null when absent.
const SimTarget* find_target_by_wwpn(const std::vector<SimTarget>& ts, const uint8_t* wwpn);
const SimTarget* find_target_by_did(const std::vector<SimTarget>& ts, uint32_t d_id);
const SimTarget* find_target_by_ids(const std::vector<SimTarget>& ts, uint32_t path, uint32_t tid);

// Node state bits of the identifier request (TGX_NODE_*): exists, ready
// (target ready and link up), link down.
uint32_t target_node_state(const Function& f, const SimTarget& t);
// HBA-level unmask of the port ("hba_unmask").
bool hba_unmasked(const Function& f);
// unMask byte of a LUN entry: TGX_UNMASK_LUN | _TARGET | _HBA as they apply.
uint8_t lun_unmask_bits(const Function& f, const SimTarget& t, const SimLun& l);
// unMask byte of the driver's LUN entry: the widest level that unmasks the
// LUN (TGX_UNMASK_HBA, then _TARGET, then _LUN), 0 when it is masked.
uint8_t lun_unmask_level(const Function& f, const SimTarget& t, const SimLun& l);
// True when the host sees the LUN (any level unmasks it).
inline bool lun_visible(const Function& f, const SimTarget& t, const SimLun& l) {
    return lun_unmask_bits(f, t, l) != 0;
}
// Driver words A and B of a LUN entry: its capacity in blocks (low 32 bits)
// and its block size.
uint32_t lun_word_a(const SimTarget& t);
uint32_t lun_word_b(const SimTarget& t);

// Rewrites f's "targets" with fn applied to the physical port's list; false
// when the text does not parse or fn returns false (nothing changed).
bool update_targets(Function& f, const std::function<bool(std::vector<SimTarget>&)>& fn);

// The targets of every port of f: the physical port's first, then each
// virtual port's in VPI order (a target seen by several ports comes once per port).
void targets_of_all_ports(const Function& f, std::vector<SimTarget>* out);

// The VPIs of f's virtual ports, ascending (req_npiv.cpp).
std::vector<uint32_t> npiv_vpis(const Function& f);
// The WWPN of the virtual port with this VPI (req_npiv.cpp); false when none.
bool npiv_vport_by_vpi(const Function& f, uint32_t vpi, uint8_t* wwpn);

} // namespace hbasim
