// What the converged commands look up about a table entry: its controller's
// NEXA tag, the text that says why an entry has none, the link of its port,
// and the NIC function record behind a NIC entry.
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cna/cna_ops.h"

bool cnaControllerTag(int i, int* tag) {
    const CorevaneAdapter* a = cnaAdapterOf(i);
    if (a == nullptr) return false;
    *tag = a->nodeTag;
    return true;
}

void sayNoConvergedAdapter(int i) {
    sayf("No converged adapter found for Adapter Number: %d", i + 1);
}

bool cnaPortLinkUp(int i) {
    const AdapterRecord* r = adapterAt(i);
    const CorevaneAdapter* a = cnaAdapterOf(i);
    if (r == nullptr || a == nullptr || a->ports == nullptr) return false;
    for (uint32_t p = 0; p < a->portCount; p++) {
        const MalPortAttributes& port = a->ports[p];
        if (static_cast<uint32_t>(port.portNumber) == r->cnaPortNumber) return port.linkUp != 0;
    }
    return false;
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
