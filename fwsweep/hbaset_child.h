// Running hbaset as a child process: started directly with an argument
// vector (never through a shell), its standard output captured in a private
// temporary file without a name that is read whole and closed.
#pragma once
#include <string>
#include <vector>

#include "fwsweep/sweep_types.h"

struct ChildResult {
    bool tempOk = false;  // the temporary file could be made and read
    bool started = false; // the program ran
    bool exited = false;  // it ended by itself (not by a signal)
    int exitCode = -1;    // valid when exited
    std::string output;   // everything it wrote to standard output
};

// Runs "<bin folder>/hbaset" with args. Returns true when the child exited
// normally and its output was read (its exit code may still be an error).
bool runHbaset(const SweepRun& run, const std::vector<std::string>& args, ChildResult* out);

// Runs listattr and fills run->adapters (empty when it fails), with the known
// count and the boot-code flag of the run counters.
void discoverAdapters(SweepRun* run);
