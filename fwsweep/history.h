// The update history: one JSON line per download attempt, appended to a file
// that is never rewritten (docs/fwsweep-history.schema.json).
//
// The file is FWSWEEP_HISTORY, or /historyfile=, else "fwsweep-history.jsonl"
// in the suite's state folder. An attempt whose new firmware runs only after
// a reboot is recorded "pending-reboot"; every later run (and /history)
// compares such entries with the firmware the adapter runs and appends a
// resolution line ("activated" or "activation-failed"), so the history never
// disagrees with the adapter listing.
#pragma once
#include <string>

#include "fwsweep/sweep_types.h"

constexpr const char* FWS_HISTORY_FILE = "fwsweep-history.jsonl";
constexpr const char* FWS_HISTORY_VARIABLE = "FWSWEEP_HISTORY";
constexpr unsigned FWS_HISTORY_MODE = 0644;

// The history file of the run (switch, then variable, then the state folder);
// "" when no folder can be found.
std::string historyPath(const RunOptions& opt);
// Appends the attempt of decision d (a download that ran) for adapter a.
void historyRecordAttempt(SweepRun* run, const SweepAdapter& a, const Decision& d);
// Resolves the pending entries of the discovered adapters.
void historyResolve(SweepRun* run);
// /history: resolves what it can, then prints the entries (text, or the
// JSON document). Returns the return code.
int showHistory(SweepRun* run);
