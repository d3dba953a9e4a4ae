// personalityinfo and changepersonality: the current, configured and
// available personalities of a converged adapter, and the change of the
// configured one (it becomes current at the next reboot).
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

namespace {

// The controller of entry i, or false after the reason there is none (72).
bool nexaController(int i, int* controller) {
    if (g_run.nexaUp && cnaControllerTag(i, controller)) return true;
    if (g_run.nexaUp)
        sayNoConvergedAdapter(i);
    else
        say("NEXA not available");
    g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
    return false;
}

// Reads the personalities, or false after "Get Personality Info fails" (76).
bool readPersonalities(int controller, MalPersonalityInfo* info) {
    int rm = MAL_GetPersonalityInfo(controller, info);
    if (rm == MAL_RM_OK) return true;
    traceStep("[personality] MAL_GetPersonalityInfo rmStatus %d", rm);
    say("Get Personality Info fails");
    g_run.cluStatus = CLU_PERSONALITY_READ;
    return false;
}

void printAvailable(const MalPersonalityInfo& info) {
    say("Available Personalities:  ");
    for (uint32_t k = 0; k < info.availableCount; k++)
        say(info.available[k]);
}

bool isAvailable(const MalPersonalityInfo& info, const char* name) {
    for (uint32_t k = 0; k < info.availableCount; k++) {
        if (strcmp(info.available[k], name) == 0) return true;
    }
    return false;
}

} // namespace

void cmdPersonalityInfo(int index) {
    int controller = 0;
    MalPersonalityInfo info;
    if (!nexaController(index, &controller) || !readPersonalities(controller, &info)) return;
    sayf("Current Personality:  %s", info.current);
    sayf("Configured Personality:  %s", info.configured);
    printAvailable(info);
    g_run.cluStatus = CLU_OK;
}

void cmdChangePersonality(int index) {
    int controller = 0;
    MalPersonalityInfo info;
    if (!nexaController(index, &controller) || !readPersonalities(controller, &info)) return;
    const char* wanted = g_args.personality;
    if (strcmp(wanted, info.current) == 0) {
        say("Selected Personality is the same as Current Personality");
        g_run.cluStatus = CLU_OK;
        return;
    }
    if (!isAvailable(info, wanted)) {
        say("Selected Personality is invalid or not allowed to change");
        printAvailable(info);
        g_run.cluStatus = CLU_PERSONALITY_CHANGE;
        return;
    }
    int rm = MAL_SetPersonality(controller, wanted);
    if (rm != MAL_RM_OK) {
        sayf("Fail to change personality, error %x", static_cast<unsigned>(rm));
        g_run.cluStatus = CLU_PERSONALITY_CHANGE;
        return;
    }
    say("Please REBOOT the system now to activate the Personality change");
    g_run.cluStatus = CLU_OK;
}
