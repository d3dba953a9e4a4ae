// The matrix file "fwmatrix.txt": one line per adapter model key naming the
// firmware image (and, for FC adapters, the boot code image) to use.
//
// The readers work on the file's bytes, so they can be fed any buffer.
#pragma once
#include <cstddef>

#include "fwsweep/sweep_types.h"

constexpr size_t MATRIX_LINE_MAX = 255; // characters of a line read; the rest is discarded
constexpr size_t MATRIX_NAME_SIZE = FWS_MATRIX_TOKEN_MAX + 1;

// One line of the file split into its tokens.
struct MatrixLine {
    bool hasTokens = false;
    bool comment = false; // first token starts with "/"
    char key[MATRIX_NAME_SIZE] = "";
    char firmware[MATRIX_NAME_SIZE] = "NONE";
    char bootCode[MATRIX_NAME_SIZE] = "NONE";
};

// Reads the line at *pos of data[0..size) and moves *pos past its end.
// Returns false at the end of the data.
bool readMatrixLine(const char* data, size_t size, size_t* pos, MatrixLine* line);

// True when key (any case) is one of the nine known model keys.
bool isKnownMatrixKey(const char* key);
// Traces every line's key as known or unknown (unknown ones also to the user
// with verbose).
void verifyFWmatrixEntries(const char* data, size_t size, bool verbose);

// Result of getFwMatrixMatch.
struct MatrixMatch {
    char firmware[MATRIX_NAME_SIZE] = "NONE";
    char bootCode[MATRIX_NAME_SIZE] = "NONE";
};
// Finds the adapter's line (the last matching line wins). Returns 1 on a
// match, else 0 with both names "NONE".
int getFwMatrixMatch(const char* data, size_t size, const SweepAdapter& adapter, MatrixMatch* out);
