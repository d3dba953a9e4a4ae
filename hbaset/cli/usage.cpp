// --help, -h and --version of hbaset (usage.h).
#include "hbaset/cli/usage.h"

#include "common/usage_switch.h"

namespace {

const char kUsage[] = "usage: hbaset COMMAND [KEY=VALUE ...] [/nonexa] [/c]\n"
                      "       hbaset @SCRIPT\n"
                      "       hbaset help [COMMAND]\n"
                      "\n"
                      "Manages the host bus adapters of this server: lists them, changes their\n"
                      "non-volatile configuration, runs diagnostics and flashes firmware. One\n"
                      "command per run, or the commands of a script file; the exit status is the\n"
                      "command's status (0: success).\n"
                      "\n"
                      "  hbaset               the command list\n"
                      "  hbaset help listhba  one command's syntax\n"
                      "  hbaset listhba       one line per adapter function\n"
                      "  /nonexa              do not open the converged-adapter library\n"
                      "  /c                   model names from the built-in tables\n"
                      "  --version            the suite's version\n"
                      "\n"
                      "The adapters come from the kernel's FC transport class, or from the\n"
                      "simulated machine when HBA_DRIVER_BACKEND=sim. See hbaset(8).\n";

} // namespace

bool printUsageSwitch(int argc, char** argv) {
    return answerUsageSwitch("hbaset", kUsage, HBA_SUITE_VERSION, argc, argv);
}
