// The trust rule of a root fwsweep: it runs only an hbaset (and loads
// libraries only from folders) that nobody but root can change, the rule of
// the strict modes of ssh and sudo.
#pragma once
#include <string>

#include "fwsweep/sweep_types.h"

// True when the run may start hbaset: always when not root; as root when the
// program, the folders above it and the folder of the suite's libraries pass
// plat_path_trusted. Otherwise *why names the offending path.
bool hbasetTrusted(const SweepRun& run, std::string* why);
