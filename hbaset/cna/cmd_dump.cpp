// dump: the RAM of a converged adapter into a file named after the host, the
// adapter and the local time: "<dir>/<host>_<adapter>_<yymmdd-hhmmssmmm>.efd"
// in the current directory. Only letters, digits, "-", "_" and "." of the
// adapter name are kept, so the name never leaves the folder.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

namespace {

constexpr size_t kDumpPathSize = 512;
constexpr size_t kNamePartSize = 64;
constexpr const char* kDefaultHost = "DEFAULTHostName";

void sanitise(char* s) {
    for (; *s != '\0'; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (!isalnum(c) && c != '-' && c != '_' && c != '.') *s = '_';
    }
}

// The adapter's name: the controller's model number, else "Corevane<n>".
void adapterName(int index, int controller, char* out, size_t size) {
    const CorevaneAdapter* a = cnaAdapterOf(index);
    if (a != nullptr && a->attributes.modelNumber[0] != '\0')
        copyBounded(out, size, a->attributes.modelNumber);
    else
        snprintf(out, size, "Corevane%d", controller);
    sanitise(out);
}

// The folder: the current directory, else the SYSTEMDRIVE variable's drive.
bool dumpFolder(char* out, size_t size) {
    if (getcwd(out, size) != nullptr) return true;
    const char* drive = getenv("SYSTEMDRIVE");
    if (drive == nullptr || drive[0] == '\0') return false;
    copyBounded(out, size, drive);
    return true;
}

void localStamp(char* out, size_t size) {
    timeval tv;
    gettimeofday(&tv, nullptr);
    time_t seconds = tv.tv_sec;
    tm t;
    localtime_r(&seconds, &t);
    snprintf(out, size, "%02d%02d%02d-%02d%02d%02d%03d", t.tm_year % 100, t.tm_mon + 1, t.tm_mday,
             t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

// The whole file name; false when it does not fit.
bool dumpFileName(int index, int controller, char* out, size_t size) {
    char folder[kDumpPathSize];
    if (!dumpFolder(folder, sizeof folder)) return false;
    char host[kNamePartSize];
    if (gethostname(host, sizeof host) != 0 || host[0] == '\0')
        copyBounded(host, sizeof host, kDefaultHost);
    host[sizeof host - 1] = '\0';
    sanitise(host);
    char name[kNamePartSize];
    adapterName(index, controller, name, sizeof name);
    char stamp[32];
    localStamp(stamp, sizeof stamp);
    int n = snprintf(out, size, "%s/%s_%s_%s.efd", folder, host, name, stamp);
    return n > 0 && static_cast<size_t>(n) < size;
}

} // namespace

void cmdDump(int index) {
    int controller = 0;
    if (!g_run.nexaUp || !cnaControllerTag(index, &controller)) {
        if (g_run.nexaUp)
            sayNoConvergedAdapter(index);
        else
            emitText("NEXA not available\n");
        g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
        return;
    }
    char path[kDumpPathSize + 3 * kNamePartSize];
    if (!dumpFileName(index, controller, path, sizeof path)) {
        say("Dump file name too long");
        g_run.cluStatus = CLU_ARGUMENT_LENGTH;
        return;
    }
    // The name is the host's, the adapter's and the time's: a link or a special
    // file found there was planted, and the dump is not written through it.
    if (reportRefusedFile(path, plat_log_target_status(path))) {
        g_run.cluStatus = CLU_FILE_OPEN;
        return;
    }
    int rc = MAL_RetrieveDump(controller, path, "RAM");
    if (rc != MAL_RM_OK) {
        emitText("Dump failed, status %d\n", rc);
        g_run.cluStatus = rc;
        return;
    }
    emitText("Successfully created %s.\n", path);
}
