// version: the program's version line and the NEXA service version.
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

namespace {

constexpr const char* kProgramName = "hbaset.exe";
constexpr int kVersionMajor = 12;
constexpr int kVersionMinor = 0;
constexpr int kVersionBuild = 1345;
constexpr int kVersionPatch = 0;
constexpr const char* kReleaseDate = "April 14, 2021";

} // namespace

void cmdVersion() {
    setMessageLine("%s %d.%d.%d.%d released on %s", kProgramName, kVersionMajor, kVersionMinor,
                   kVersionBuild, kVersionPatch, kReleaseDate);
    emitLine();
    setMessageLine("NEXA Service Version %s", g_run.nexaUp ? g_run.nexaServiceVersion : "N/A");
    emitLine();
}
