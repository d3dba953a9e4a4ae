// The commands a query-only driver serves. Boot images, revision words,
// diagnostics, dumps, settings and every write need adapter mailbox commands
// that such a driver does not take: they end with 71 ("the adapter does not
// take this command") before anything is sent, never with a status that
// would report an adapter fault.
//
// How to add a row: a command that only reads what the query-only driver
// answers (docs/sysfs-backend.md lists it) goes into kServed, in upper case.
#include "hbaset/cli/query_only.h"

#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"

namespace {

const char* const kServed[] = {
    "LISTHBA",    "LISTHBAS", "LISTATTR", "LISTFW",  "HBAATTR",       "PCIDATA",
    "PCIDATAEXT", "VERSION",  "VPD",      "SAVEVPD", "LISTWWN",       "SAVEWWN",
    "LISTCNA",    "LISTMAC",  "HELP",     "LOGFILE", "SCREENDISPLAY",
};

} // namespace

bool servedByQueryOnlyDriver(const char* name) {
    for (const char* served : kServed)
        if (strcmp(served, name) == 0) return true;
    return false;
}

bool refusedByQueryOnlyDriver(const char* name) {
    if (!g_table.queryOnlyDriver || servedByQueryOnlyDriver(name)) return false;
    say("Command not supported by the adapter driver");
    return true;
}
