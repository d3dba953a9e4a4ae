// The pass over the discovered adapters: query lines in a query-only run, or
// for each adapter the image to consider (matrix file or firmware folder), the
// decision and the hbaset download, with the statuses and counters the
// reports use.
#pragma once
#include "fwsweep/sweep_types.h"

void handleAdapters(SweepRun* run);
// A function whose listing lacks its address, model or firmware version (an
// incomplete query entry).
bool queryIncomplete(const SweepAdapter& a);
