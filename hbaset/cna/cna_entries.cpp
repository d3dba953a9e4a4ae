// What the converged commands look up about a table entry: its controller's
// NEXA tag and the NIC function record behind a NIC entry.
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cna/cna_ops.h"

bool cnaControllerTag(int i, int* tag) {
    const CorevaneAdapter* a = cnaAdapterOf(i);
    if (a == nullptr) return false;
    *tag = a->nodeTag;
    return true;
}

const MalNicFunction* cnaNicRecordOf(int i) {
    const AdapterRecord* r = adapterAt(i);
    const CorevaneAdapter* a = cnaAdapterOf(i);
    if (r == nullptr || a == nullptr || a->nicFunctions == nullptr) return nullptr;
    for (uint32_t k = 0; k < a->nicFunctionCount; k++) {
        const MalNicFunction& f = a->nicFunctions[k];
        if (memcmp(f.permanentMacAddress, r->permanentMac, 6) == 0) return &f;
    }
    for (uint32_t k = 0; k < a->nicFunctionCount; k++) {
        const MalNicFunction& f = a->nicFunctions[k];
        if (memcmp(f.macAddress, r->currentMac, 6) == 0) return &f;
    }
    return nullptr;
}
