// Commands whose bodies this build does not carry yet: the interpreter has
// parsed and checked their arguments; each answers with one line naming the
// command and status 71.
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

void commandNotAvailable(const char* name) {
    setMessageLine("Command %s is not available in this build", name);
    emitLine();
    g_run.cluStatus = CLU_NOT_SUPPORTED;
}

void cmdLoadImage(int, uint32_t) {
    commandNotAvailable("loadimage");
}
void cmdReadVitesse(int, uint32_t, uint32_t) {
    commandNotAvailable("readvitesse");
}


