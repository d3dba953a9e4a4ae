// fwsweep's command-line switches and the rules that combine them.
#pragma once
#include "fwsweep/sweep_types.h"

#include <string>
#include <vector>

constexpr int FWS_RC_SWITCH_ERROR = 4;
constexpr int FWS_RC_INVALID_OPTIONS = 2;

// Reads the arguments (argv[1..argc-1]) into *opt. Returns 0, or 4 after
// printing the switch error. Without any argument the help flag is set. The
// log file of /log and "dbg.log" of /xv are opened here.
int readSwitches(int argc, const char* const* argv, RunOptions* opt);
// Applies the option rules: forcing clears the compare operations; conflicting
// or incomplete combinations print their text and give 2, else 0.
int checkOptionRules(RunOptions* opt);
// Every switch name the reader knows, without the slash (fwsweep(8) documents
// each; tests/install checks it).
std::vector<std::string> knownSwitchNames();
// Sets opt->xml and opt->json from the arguments before they are read, so
// that an error in any of them is reported in the document asked for.
void prescanDocument(int argc, const char* const* argv, RunOptions* opt);
// The text of the last switch error ("Unknown switch = /x").
const std::string& switchErrorText();
// Prints the help text; driveLetter is the default /ramdrive letter.
void printHelp(char driveLetter);
