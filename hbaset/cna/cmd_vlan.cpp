// readvlanprops, writevlanprops and restoredefvlanprops: the VLAN ID and
// priority of a NIC function's network boot configuration.
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

namespace {

constexpr uint32_t kVlanIdMax = 4095;
constexpr uint32_t kVlanPriorityMax = 7;

bool nexaAvailable() {
    if (g_run.nexaUp) return true;
    say("NEXA not available\n");
    g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
    return false;
}

// The NIC record of entry i, or null after the message and status.
const MalNicFunction* nicRecord(int i) {
    if (!nexaAvailable()) return nullptr;
    const MalNicFunction* f = cnaNicRecordOf(i);
    if (f == nullptr) {
        say("MAC Address not found\n");
        g_run.cluStatus = CLU_MAC_FAILED;
    }
    return f;
}

void printSetting(const char* label, int32_t value) {
    if (value == -1)
        sayf("%sN/A\n", label);
    else
        sayf("%s%d\n", label, value);
}

void configureVlan(int i, uint32_t vlanId, uint32_t priority) {
    const MalNicFunction* f = nicRecord(i);
    if (f == nullptr) return;
    int rm = MAL_ConfigureVLAN(f->tag, vlanId, priority);
    g_run.cluStatus = rm == MAL_RM_OK ? CLU_OK : CLU_NIC_SETTING_FAILED;
}

} // namespace

void cmdReadVlanProps(int index) {
    const MalNicFunction* f = nicRecord(index);
    if (f == nullptr) return;
    printSetting("VLAN Id       : ", f->networkBoot.vlanId);
    printSetting("VLAN Priority : ", f->networkBoot.vlanPriority);
    g_run.cluStatus = CLU_OK;
}

void cmdWriteVlanProps(int index, uint32_t vlanId, uint32_t priority) {
    if (!nexaAvailable()) return;
    // Values that overflowed 32 bits arrive saturated and are refused here.
    if (vlanId > kVlanIdMax) {
        sayf("VLAN ID %u is invalid. Valid range is [0-%u].\n", vlanId, kVlanIdMax);
        g_run.cluStatus = CLU_INPUT_VALUE;
        return;
    }
    if (priority > kVlanPriorityMax) {
        sayf("VLAN Priority %u is invalid. Valid range is [0-%u].\n", priority, kVlanPriorityMax);
        g_run.cluStatus = CLU_INPUT_VALUE;
        return;
    }
    configureVlan(index, vlanId, priority);
}

void cmdRestoreDefVlanProps(int index) {
    configureVlan(index, 0, 0);
}
