// Where the suite keeps its own files: settings, state and logs.
//
// Built in the tree, the settings and log folders are the directory of the
// running program (the settings, trace and log files sit beside the programs in
// build/bin) and the state folder is the simulated machine's state folder
// (plat_state_dir), so every test and rehearsal keeps its own. An installed
// suite, one whose platform library lies in <prefix>/<libdir>/hbasuite, uses the
// system's folders instead:
//
//   PLAT_DIR_CONFIG  <sysconfdir>/hbasuite           /etc/hbasuite
//   PLAT_DIR_STATE   <localstatedir>/lib/hbasuite    /var/lib/hbasuite
//   PLAT_DIR_LOG     <localstatedir>/log/hbasuite    /var/log/hbasuite
//
// (the right-hand column for the prefix /usr). While the simulated machine is
// the driver backend, the state folder is the simulated machine's state folder
// in both layouts, so that several simulated hosts on one machine each keep their
// own registry and update history. plat_paths.cpp is the one place that knows
// the folder names.
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

// True when the suite runs installed (see above), false in the build tree and
// for copies of the programs elsewhere.
bool plat_suite_installed();

// The suite's settings file, "hbasuite.conf" in the configuration folder: lines
// "key = value", "#" starts a comment line, a later line for a key wins.
// Copies the value of key (blanks around it dropped) into buf and returns its
// length; 0 (buf empty) when the file, the key or room for the value is
// missing. The file is read once per process.
size_t plat_suite_setting(const char* key, char* buf, size_t size);

// The decision behind plat_suite_dir, given the folder of the platform library
// (as resolved, no trailing slash), the directory of the running program and
// the state folder of the simulated machine (simState, used only when
// simulated). Same results as plat_suite_dir.
size_t plat_suite_dir_for(const char* libDir, const char* exeDir, bool simulated,
                          const char* simState, PlatSuiteDir which, char* buf, size_t size);
