// hbasim entry: the command table and the help text.
#include <cstdio>
#include <cstring>

#include "sim/tool/tool.h"

namespace hbasim_tool {

int fail(int code, const std::string& msg) {
    fprintf(stderr, "hbasim: %s\n", msg.c_str());
    return code;
}

bool parse_count(const std::string& s, long long* out) {
    if (s.empty() || s.size() > 9) return false;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

static const char kHelp[] =
    "usage: hbasim COMMAND [ARGS]\n"
    "\n"
    "The simulated machine's tool. The state lives in $HBASIM_DIR, else\n"
    "${XDG_STATE_HOME:-$HOME/.local/state}/hbasim; it is seeded from the default\n"
    "fleet on first use.\n"
    "\n"
    "Commands:\n"
    "  init [--fleet FILE]     recreate the machine from the default fleet or FILE\n"
    "                          (a rejected fleet changes nothing)\n"
    "  show [-v]               print adapters, functions, WWNs, PCI locations,\n"
    "                          firmware versions and link states (-v: every attribute)\n"
    "  reboot                  server reboot: flashed firmware becomes active,\n"
    "                          volatile settings are dropped\n"
    "  check [FILE]            check a fleet file without changing anything;\n"
    "                          without FILE, check the state (every damaged file)\n"
    "  fleet                   print the default fleet text\n"
    "  schema                  list the adapter kinds and every fleet attribute key\n"
    "  fault add SOURCE MATCH ACTION [--port N] [--nth N] [--times N]\n"
    "                          inject a fault: SOURCE drv, mbx, nexa or wmi; MATCH a\n"
    "                          request code (0x80000135) or name (GETDRV_INFO), a\n"
    "                          mailbox command name, a NEXA call\n"
    "                          (get_property_val:ModelNumber), a management-event\n"
    "                          step (connect, query, next, exec, subscribe) or *;\n"
    "                          ACTION fail | rc=N | status=N | stale;\n"
    "                          --port: SCSI port (drv) or adapter index (nexa) only;\n"
    "                          --nth: fire on the Nth matching call only;\n"
    "                          --times: fire at most N times\n"
    "  fault list              list the faults with their counters\n"
    "  fault clear             remove every fault\n"
    "  log [--tail N]          print the request journal (the last N lines)\n"
    "  log clear               empty the journal\n"
    "  image KIND [options] -o FILE\n"
    "                          write a firmware image for the simulated machine:\n"
    "                          prg, aif (.ALL/.DWC/.BWC/.FWC/.aif), grp, ufi, valid or\n"
    "                          with a common fault; 'hbasim image' lists the options\n"
    "  inject KIND PORT [key=value ...]\n"
    "                          put an event into the running machine for the\n"
    "                          function on SCSI port PORT: dump [word=N],\n"
    "                          temp type=1-3 [value=N], ct gstype=N [data=HEX],\n"
    "                          sd cat=C sub=S [wwpn=W] [data=HEX],\n"
    "                          rscn pages=P,... [wwpn=W];\n"
    "                          'hbasim inject' lists the kinds\n"
    "  help, --help, -h        this text\n"
    "  --version               the suite's version\n";

struct Command {
    const char* name;
    int (*fn)(const Args& a);
};

static const Command kCommands[] = {
    {"init", cmd_init},   {"show", cmd_show},   {"reboot", cmd_reboot},
    {"check", cmd_check}, {"fleet", cmd_fleet}, {"schema", cmd_schema},
    {"fault", cmd_fault}, {"log", cmd_log},     {"image", cmd_image},
    {"inject", cmd_inject},
};

} // namespace hbasim_tool

int main(int argc, char** argv) {
    using namespace hbasim_tool;
    if (argc < 2) {
        fputs(kHelp, stderr);
        return EXIT_USAGE;
    }
    std::string cmd = argv[1];
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        fputs(kHelp, stdout);
        return EXIT_OK;
    }
    if (cmd == "--version") {
        printf("hbasim (hbasuite) %s\n", HBA_SUITE_VERSION);
        return EXIT_OK;
    }
    Args args(argv + 2, argv + argc);
    for (const Command& c : kCommands)
        if (cmd == c.name) return c.fn(args);
    return fail(EXIT_USAGE, "unknown command '" + cmd + "' (try 'hbasim --help')");
}
