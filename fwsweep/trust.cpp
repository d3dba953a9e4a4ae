// Trust checks before fwsweep starts a child as root.
#include "fwsweep/trust.h"

#include "fwsweep/output.h"
#include "platform/plat_fs.h"
#include "platform/plat_safe_io.h"

namespace {

// The folder of the platform library this process loaded: the suite's
// private libraries (and the ones hbaset loads) sit there.
std::string libraryFolder() {
    char path[4096];
    size_t n =
        plat_module_path(reinterpret_cast<const void*>(&plat_path_trusted), path, sizeof path);
    std::string p(path, n);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

bool hbasetTrusted(const SweepRun& run, std::string* why) {
    why->clear();
    if (!plat_running_as_root()) return true;
    char reason[4096];
    std::string libs = libraryFolder();
    for (const std::string& path : {run.paths.cliPath, libs}) {
        // A missing hbaset is not run at all; that failure is reported as before.
        if (path.empty() || (path == run.paths.cliPath && !plat_file_exists(path.c_str())))
            continue;
        if (!plat_path_trusted(path.c_str(), reason, sizeof reason)) {
            *why = reason;
            dbgTrace("untrusted: %s\n", reason);
            return false;
        }
    }
    return true;
}
