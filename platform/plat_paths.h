// Where the suite keeps its own files: settings, state and logs.
//
// Built in the tree, every folder is the directory of the running program (the
// settings, trace and log files sit beside the programs in build/bin). An
// installed suite uses the system's folders instead; plat_paths.cpp decides
// which layout is in force and is the one place that knows the folder names.
#pragma once
#include <cstddef>

enum PlatSuiteDir {
    PLAT_DIR_CONFIG = 0, // settings read at start: RM.INI, LIBTGX.ini, fwmatrix.txt
    PLAT_DIR_STATE = 1,  // state kept between runs: registry store, update history
    PLAT_DIR_LOG = 2,    // logs and traces: qrldbg.log, LIBTGX.LOG, fwsweep.log
};

// Copies the folder's path (no trailing slash) into buf and returns its
// length, or 0 (buf empty) when it cannot be found or does not fit. The folder
// is not created.
size_t plat_suite_dir(PlatSuiteDir which, char* buf, size_t size);
