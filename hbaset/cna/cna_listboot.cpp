// listboot on a converged entry: the boot code versions of the entry's
// controller as discovery read them, one "%-30s : %s\n" line each, in this
// order; "N/A" for every value without a controller.
#include <cstddef>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"

namespace {

// One line per row, in this order. To add a version, add its field to
// MalControllerAttributes (read by MAL_GetControllerAttributes) and a row here.
struct BootVersionRow {
    const char* label;
    char (MalControllerAttributes::*field)[MAL_TEXT_SIZE];
};

const BootVersionRow kBootVersions[] = {
    {"BIOSVersion", &MalControllerAttributes::biosVersion},
    {"BootCodeVersion", &MalControllerAttributes::bootCodeVersion},
    {"FirmwareStatus", &MalControllerAttributes::firmwareStatus},
    {"FCoEUniversalVersion", &MalControllerAttributes::fcoeUniversalVersion},
    {"FCoEx86BIOSVersion", &MalControllerAttributes::fcoeX86BiosVersion},
    {"FCoEEFIVersion", &MalControllerAttributes::fcoeEfiVersion},
    {"FCoEFCODEVersion", &MalControllerAttributes::fcoeFcodeVersion},
    {"UEFIBIOSVersion", &MalControllerAttributes::uefiBiosVersion},
    {"UEFINICVersion", &MalControllerAttributes::uefiNicVersion},
    {"UEFIFCODEVersion", &MalControllerAttributes::uefiFcodeVersion},
    {"UEFIiSCSIVersion", &MalControllerAttributes::uefiScsiVersion},
};

} // namespace

int32_t cnaListBoot(int i) {
    const CorevaneAdapter* a = g_run.nexaUp ? cnaAdapterOf(i) : nullptr;
    for (const BootVersionRow& row : kBootVersions) {
        const char* value = a != nullptr ? a->attributes.*row.field : "N/A";
        emitText("%-30s : %s\n", row.label, value);
    }
    if (g_run.nexaUp && a == nullptr) sayNoConvergedAdapter(i);
    return a != nullptr ? CLU_OK : CLU_NEXA_NOT_AVAILABLE;
}
