// logfile and screendisplay: the script-only switches of the script log and
// the console output.
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

void cmdLogFile(const char* name) {
    setLogFileName(name);
    if (openLogFile() != 0) {
        sayf("Unable to open logfile %s", g_msg.logFileName);
        g_run.cluStatus = CLU_FILE_OPEN;
    }
}

void cmdScreenDisplay(uint32_t option) {
    setScreenOutput(option != 0);
}
