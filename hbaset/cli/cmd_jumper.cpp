// jumper: emulates the boot-time jumper through bits 0-4 of the wakeup
// parameters' control word (config region 4).
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/wakeup.h"

namespace {

constexpr uint32_t kJumperMask = 0x1F; // bits 0-4
constexpr uint32_t kBootFromRegion = 0x01;
constexpr uint32_t kBootDisabled = 0x10;

// The control word for a selection: 0 clears bits 0-4; 1 sets bit 4; 2 sets
// bit 0 with the region in bits 1-3. Every other bit keeps its value.
uint32_t jumperControl(uint32_t control, uint32_t selection, uint32_t region) {
    uint32_t bits = 0;
    if (selection == 1) bits = kBootDisabled;
    if (selection == 2) bits = kBootFromRegion | ((region & 7) << 1);
    return (control & ~kJumperMask) | bits;
}

} // namespace

void cmdJumper(int index, uint32_t selection, uint32_t region) {
    WakeupParms parms;
    uint32_t st = ReadWakeupParms(index, &parms);
    if (st != 0) {
        sayf("Read Wakeup Parameters Error: %08x", st);
        g_run.cluStatus = CLU_WAKEUP_READ;
        return;
    }
    parms.control = jumperControl(parms.control, selection, region);
    if (UpdateWakeupParmsBoot(index, parms) != 0) {
        say("Update Wakeup Parameters fails");
        g_run.cluStatus = CLU_WAKEUP_UPDATE;
    }
}
