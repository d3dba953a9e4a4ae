// Turning hbaset's listattr text into adapter records, and the corrections
// made over the whole list (NIC personalities, physical adapter groups, matrix
// keys).
//
// The parser works on a byte buffer, so it can be fed any text.
#pragma once
#include <cstddef>

#include "fwsweep/sweep_types.h"

// Facts the parse adds to the run counters.
struct ListAttrTotals {
    int knownAdapters = 0;
    bool bootCodePresent = false;
};

// Parses every block of text (a block starts at a line "HBA<blanks>: ") into
// out, in order. vpd keeps full model names.
void parseListAttr(const char* text, size_t size, bool vpd, std::vector<SweepAdapter>* out,
                   ListAttrTotals* totals);
// The value of the line of block that starts with label (padded with blanks up
// to " : "), up to a line end, blank, comma or semicolon; "N/A" when there is
// none or it is empty.
void labelValue(const char* block, size_t size, const char* label, char* out, size_t outSize);
// NIC personalities, adapter groups, and the model and matrix key suffixes.
void postProcessAdapters(std::vector<SweepAdapter>* adapters, bool vpd);
// True when two functions sit on one physical adapter (same serial, bus and
// domain; an unknown serial never matches).
bool sameAdapter(const SweepAdapter& a, const SweepAdapter& b);
