// The fleet compiled into the simulator: an empty state directory is seeded
// from it, so every program works on a fresh machine with no set-up.
#include "sim/core/sim_model.h"

namespace hbasim {

static const char kDefaultFleet[] = R"(# The default simulated machine.
# SCSI ports 0-5 are the FC and FCoE functions, in this order.

# Dual-port SLI-4 Fibre Channel HBA (device 0xE300).
adapter FC1 fc
    model = TGF3202
    serial = QS2100001
    pci_bus = 0x10
function fc
function fc

# Dual-port Brevin Fibre Channel HBA (device 0xE200).
adapter BRV1 brevin
    model = BRV1602
    serial = QS2100002
    pci_bus = 0x20
function fc
function fc

# CV3 converged adapter: two FCoE functions seen through the adapter driver,
# two NIC functions seen through NEXA.
adapter CNA1 cv3
    model = CV3C102
    serial = QS2100003
    pci_bus = 0x30
function fcoe
function fcoe
function nic
function nic

# Tarnel converged adapter: two iSCSI and two NIC functions, all seen through NEXA.
adapter CNA2 tarnel
    model = TRN4102
    serial = QS2100004
    pci_bus = 0x40
function iscsi
function iscsi
function nic
function nic
)";

const char* default_fleet_text() {
    return kDefaultFleet;
}

} // namespace hbasim
