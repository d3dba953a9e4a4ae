// hbaset listattr text as fwsweep parses it: blocks, labels, the corrections
// over the whole list, and the FC build-string decoder on every firmware text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fwsweep/listattr.h"
#include "fwsweep/versions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<char> text(data, data + size); // exact size: a read past it is caught
    for (bool vpd : {false, true}) {
        std::vector<SweepAdapter> adapters;
        ListAttrTotals totals;
        parseListAttr(text.data(), text.size(), vpd, &adapters, &totals);
        postProcessAdapters(&adapters, vpd);
        for (const SweepAdapter& a : adapters) {
            if (memchr(a.model, '\0', sizeof a.model) == nullptr) abort();
            if (memchr(a.fwVersion, '\0', sizeof a.fwVersion) == nullptr) abort();
            CluImage rec;
            decodeRawFCBuildString(&rec, a.fwVersion);
        }
    }
    char value[64];
    labelValue(text.data(), text.size(), "Firmware Version", value, sizeof value);
    if (memchr(value, '\0', sizeof value) == nullptr) abort();
    return 0;
}
