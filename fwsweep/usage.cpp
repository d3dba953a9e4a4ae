// --help, -h and --version of fwsweep (usage.h).
#include "fwsweep/usage.h"

#include "common/usage_switch.h"

namespace {

const char kUsage[] =
    "usage: fwsweep [/SWITCH ...]\n"
    "\n"
    "Brings the firmware of every converged adapter to the level named in the\n"
    "matrix file fwmatrix.txt, or (with /auto) to the best image of the firmware\n"
    "folder. It runs hbaset to list the adapters and to download each image, then\n"
    "prints a report and ends with a return code that scripts test.\n"
    "\n"
    "  /q                  one line per adapter function\n"
    "  /update /v          flash what is newer, with progress and summaries\n"
    "  /auto /update /p    preview: what would be flashed from the firmware folder\n"
    "  /iv=FILE            an image's version\n"
    "  /?                  every switch\n"
    "  --version           the suite's version\n"
    "\n"
    "See fwsweep(8) for the switches, the matrix file and the return codes.\n";

} // namespace

bool printUsageSwitch(int argc, const char* const* argv) {
    return answerUsageSwitch("fwsweep", kUsage, HBA_SUITE_VERSION, argc, argv);
}
