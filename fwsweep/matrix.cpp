// Matrix file lines, the known model keys, and the lookup of one adapter.
//
// How to add a known key: add the model family name to kFamilies; every family
// gets the three function suffixes.
#include "fwsweep/matrix.h"

#include <strings.h>

#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/devices.h"
#include "fwsweep/output.h"

namespace {

struct KnownFamily {
    const char* model;
    uint16_t fcoe, iscsi, nic; // device IDs of the functions
};
const KnownFamily kFamilies[] = {
    {"CV2C100", 0x0704, 0x0702, 0x0700},
    {"CV3C100", 0x0714, 0x0712, 0x0710},
    {"TRN4100", 0x0724, 0x0722, 0x0720},
};
const char* const kSuffixes[] = {"-FCoE", "-iSCSI", "-NIC"};

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Copies the next token of [p, end) into dest; a token longer than 31
// characters becomes "INVALID_FILE". Returns false when no token is left.
bool nextToken(const char** p, const char* end, char* dest, size_t size) {
    const char* s = *p;
    while (s < end && isSeparator(*s))
        ++s;
    if (s == end) return false;
    const char* e = s;
    while (e < end && !isSeparator(*e))
        ++e;
    size_t n = static_cast<size_t>(e - s);
    if (n > FWS_MATRIX_TOKEN_MAX) {
        copyBounded(dest, size, "INVALID_FILE");
    } else {
        memcpy(dest, s, n);
        dest[n] = '\0';
    }
    *p = e;
    return true;
}

bool isFcMatrixAdapter(const SweepAdapter& a) {
    return !isConvergedDevice(a.deviceId) && !isBrevinDevice(a.deviceId);
}

void traceMatch(const SweepAdapter& a) {
    dbgTrace("[FW matrix match]\n");
    dbgTrace("%-20s : %d\n", "HBA", a.number);
    dbgTrace("%-20s : %s\n", "Model", a.model);
    dbgTrace("%-20s : %s\n", "FWmatrix Type", a.matrixKey);
}

} // namespace

bool readMatrixLine(const char* data, size_t size, size_t* pos, MatrixLine* line) {
    if (*pos >= size) return false;
    const char* start = data + *pos;
    const char* nl = static_cast<const char*>(memchr(start, '\n', size - *pos));
    const char* stop = nl ? nl : data + size;
    *pos = nl ? static_cast<size_t>(nl - data) + 1 : size;
    // Only the first 255 characters count; the rest of a longer line is
    // dropped, never read as a line of its own.
    const char* end =
        stop - start > static_cast<ptrdiff_t>(MATRIX_LINE_MAX) ? start + MATRIX_LINE_MAX : stop;
    *line = MatrixLine();
    const char* p = start;
    if (!nextToken(&p, end, line->key, sizeof line->key)) return true;
    line->hasTokens = true;
    line->comment = line->key[0] == '/';
    nextToken(&p, end, line->firmware, sizeof line->firmware);
    nextToken(&p, end, line->bootCode, sizeof line->bootCode);
    return true;
}

bool isKnownMatrixKey(const char* key) {
    char known[FWS_FIELD_SIZE];
    for (const KnownFamily& f : kFamilies) {
        for (const char* suffix : kSuffixes) {
            snprintf(known, sizeof known, "%s%s", f.model, suffix);
            if (strcasecmp(known, key) == 0) return true;
        }
    }
    return false;
}

void verifyFWmatrixEntries(const char* data, size_t size, bool verbose) {
    dbgTrace("\n[verifyFWmatrixEntries]\n");
    size_t pos = 0;
    MatrixLine line;
    while (readMatrixLine(data, size, &pos, &line)) {
        if (!line.hasTokens || line.comment) continue;
        if (isKnownMatrixKey(line.key)) {
            dbgTrace("Found known fwmatrix.txt entry   = %s\n", line.key);
            continue;
        }
        dbgTrace("Found unknown fwmatrix.txt entry = %s\n", line.key);
        if (verbose) outText("Found unknown fwmatrix.txt entry = %s\n", line.key);
    }
}

int getFwMatrixMatch(const char* data, size_t size, const SweepAdapter& adapter, MatrixMatch* out) {
    dbgTrace("[getFwMatrixMatch]\n");
    *out = MatrixMatch();
    bool matched = false;
    bool fc = isFcMatrixAdapter(adapter);
    size_t pos = 0;
    MatrixLine line;
    while (readMatrixLine(data, size, &pos, &line)) {
        if (!line.hasTokens || line.comment) continue;
        // FC adapters match a key with any suffix after a hyphen.
        if (fc) {
            if (char* hyphen = strchr(line.key, '-')) *hyphen = '\0';
        }
        if (strcasecmp(line.key, adapter.matrixKey) != 0) continue;
        traceMatch(adapter);
        matched = true;
        copyBounded(out->firmware, sizeof out->firmware, line.firmware);
        copyBounded(out->bootCode, sizeof out->bootCode, fc ? line.bootCode : "NONE");
        dbgTrace("fwmatrixFwFile = %s\n", out->firmware);
        dbgTrace("fwmatrixBcFile = %s\n", out->bootCode);
    }
    if (!matched) {
        dbgTrace("No match found!\n");
        return 0;
    }
    return 1;
}
