// The suite's folders (plat_paths.h). Until an installed layout is chosen,
// every folder is the running program's own directory.
#include "platform/plat_paths.h"

#include "platform/plat_fs.h"

#include <cstring>

size_t plat_suite_dir(PlatSuiteDir which, char* buf, size_t size) {
    (void)which;
    if (!buf || size == 0) return 0;
    buf[0] = '\0';
    char exe[4096];
    size_t n = plat_exe_path(exe, sizeof exe);
    if (n == 0) return 0;
    char* slash = strrchr(exe, '/');
    if (!slash) return 0;
    size_t len = (slash == exe) ? 1 : (size_t)(slash - exe);
    if (len >= size) return 0;
    memcpy(buf, exe, len);
    buf[len] = '\0';
    return len;
}
