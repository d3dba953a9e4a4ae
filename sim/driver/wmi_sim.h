// The simulated driver's management-event service: the HBA attribute objects,
// the per-port event switches and the raising of events (wmi_provider.cpp).
//
// Each FC/FCoE function is one driver instance. Its instance name is the
// fleet key "wmi_instance" or one made from its PCI identity; its HBA
// attribute objects are its own (node WWN "wwnn") and one per virtual port
// (the virtual port's WWNN, the same instance name: the instance serves its
// virtual ports). Objects are listed by "wmi_order" (functions that set it
// first, lowest first), then by SCSI port. Switched-on events are kept in the
// function's "wmi_enables" blob: category, subcategory, port WWN (zero for
// board events), 16 bytes each.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/plat_backend.h"
#include "sim/core/sim_model.h"

namespace hbasim {

// The provider table of the driver backend.
extern const HbaMgmtEventProvider kWmiProvider;

// Event class of a category (1, 2, 4, 8); null for any other.
const char* wmi_event_class(uint32_t category);
// The driver instance name of an FC/FCoE function.
std::string wmi_instance_name(const Adapter& a, const Function& f);
// Raises ev as an event of category for the function behind ref when that
// event is switched on for port (the port WWN; ignored for category 8). The
// class and instance name are filled in here. Returns 1 raised, 0 not
// switched on, -1 when the state could not be read or written.
int wmi_raise(FuncRef ref, uint32_t category, const uint8_t* port, HbaMgmtEvent ev);
// The events of one RSCN of pages on port: one complete event when the pages
// fit one event's 40 data bytes, else a first fragment and continuation
// fragments of at most 48 bytes.
std::vector<HbaMgmtEvent> wmi_rscn_events(const uint8_t* port, const std::vector<uint32_t>& pages);
// WWPN and WWNN of every virtual port of a function (req_npiv.cpp).
std::vector<std::array<uint8_t, 16>> npiv_vport_names(const Function& f);

} // namespace hbasim
