// The adapter table, the converged adapter list and the predicates over them.
#include "hbaset/cli/adapter_table.h"

#include <cstdlib>

#include "hbaset/cli/families.h"

AdapterTableState g_table = {nullptr, 0, 0, 0, 0, 0, nullptr, 0, true, false};

bool adapterTableAllocate(uint32_t count) {
    free(g_table.adapterTable);
    g_table.adapterTable = nullptr;
    if (count == 0) return true;
    g_table.adapterTable = static_cast<AdapterRecord*>(calloc(count, sizeof(AdapterRecord)));
    return g_table.adapterTable != nullptr;
}

static void releaseCnaList() {
    for (uint32_t k = 0; g_table.cnaAdapterList != nullptr && k < g_table.cnaAdapterCount; k++) {
        CorevaneAdapter& a = g_table.cnaAdapterList[k];
        free(a.nicFunctions);
        free(a.iscsiFunctions);
        free(a.ports);
    }
    free(g_table.cnaAdapterList);
    g_table.cnaAdapterList = nullptr;
    g_table.cnaAdapterCount = 0;
}

bool cnaAdapterListAllocate(uint32_t count) {
    releaseCnaList();
    if (count > CNA_ADAPTER_LIST_MAX) return false;
    if (count == 0) return true;
    g_table.cnaAdapterList = static_cast<CorevaneAdapter*>(calloc(count, sizeof(CorevaneAdapter)));
    if (g_table.cnaAdapterList == nullptr) return false;
    g_table.cnaAdapterCount = count;
    return true;
}

void adapterTableRelease() {
    free(g_table.adapterTable);
    releaseCnaList();
    g_table = AdapterTableState{nullptr, 0, 0, 0, 0, 0, nullptr, 0, true, false};
}

int adapterIndexFromNumber(uint32_t n) {
    return static_cast<int>((n - 1) & 0xFFu);
}

AdapterRecord* adapterAt(int i) {
    if (i < 0 || static_cast<uint32_t>(i) >= g_table.totalCount ||
        g_table.adapterTable == nullptr) {
        return nullptr;
    }
    return &g_table.adapterTable[i];
}

CorevaneAdapter* cnaAdapterOf(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr || (r->functionKind & KIND_NEXA) == 0) return nullptr;
    if ((r->functionKind & KIND_FCOE) != 0 && !r->fcoeMatched) return nullptr;
    if (g_table.cnaAdapterList == nullptr || r->cnaAdapterIndex >= g_table.cnaAdapterCount) {
        return nullptr;
    }
    return &g_table.cnaAdapterList[r->cnaAdapterIndex];
}

bool samePciSlot(const AdapterRecord& a, const AdapterRecord& b) {
    return a.pciSegment == b.pciSegment && a.pciBus == b.pciBus && a.pciDevice == b.pciDevice;
}

namespace {

bool atEntryLocation(const MalPciProperties& pci, const AdapterRecord& r) {
    return pci.busNumber == r.cnaBus && pci.deviceNumber == r.cnaDevice &&
           pci.functionNumber == r.cnaFunction;
}

// The configuration copy of the record at the entry's location, else the first.
template <typename Record>
const uint8_t* configOfRecords(const Record* records, uint32_t count, const AdapterRecord& r) {
    if (records == nullptr || count == 0) return nullptr;
    for (uint32_t k = 0; k < count; k++)
        if (atEntryLocation(records[k].pci, r)) return records[k].pciConfig;
    return records[0].pciConfig;
}

} // namespace

const uint8_t* convergedPciConfig(int i) {
    const CorevaneAdapter* a = cnaAdapterOf(i);
    const AdapterRecord* r = adapterAt(i);
    if (a == nullptr || r == nullptr) return nullptr;
    if (isNicFunction(i)) return configOfRecords(a->nicFunctions, a->nicFunctionCount, *r);
    if (isIscsiFunction(i)) return configOfRecords(a->iscsiFunctions, a->iscsiFunctionCount, *r);
    return nullptr;
}

uint32_t entryDeviceId(const AdapterRecord* r) {
    if (r == nullptr) return 0;
    return r->deviceId != 0 ? r->deviceId : r->cnaDeviceId;
}

// ---- position predicates -------------------------------------------------------------

// Adapter positions are kept in 8 bits: index 256 is index 0 again.
static uint32_t index8(int i) {
    return static_cast<uint32_t>(i) & 0xFFu;
}

bool isFcIndex(int i) {
    return g_table.adapterTable != nullptr && index8(i) < g_table.fcCount;
}

bool isAnyIndex(int i) {
    return g_table.adapterTable != nullptr && index8(i) < g_table.totalCount;
}

bool isCnaIndex(int i) {
    return adapterAt(i) != nullptr;
}

static bool kindHas(int i, uint32_t bits) {
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && (r->functionKind & bits) == bits;
}

bool isNexaManaged(int i) {
    return kindHas(i, KIND_NEXA);
}
bool isFcoeFunction(int i) {
    return kindHas(i, KIND_FCOE_FUNCTION);
}
bool isIscsiFunction(int i) {
    return kindHas(i, KIND_ISCSI_FUNCTION);
}
bool isNicFunction(int i) {
    return kindHas(i, KIND_NIC_FUNCTION);
}

bool isSli4(int i) {
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && r->sli4 != 0;
}

// ---- device family predicates ------------------------------------------------------------

static bool fcDeviceIs(int i, bool (*test)(uint32_t)) {
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && test(r->deviceId);
}

static bool anyDeviceIs(int i, bool (*test)(uint32_t)) {
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && (test(r->deviceId) || test(r->cnaDeviceId));
}

static bool cnaDeviceIs(int i, bool (*test)(uint32_t)) {
    const AdapterRecord* r = adapterAt(i);
    return r != nullptr && test(r->cnaDeviceId);
}

static bool isJumperlessId(uint32_t id) {
    return id == kJumperlessDeviceId;
}
static bool isBrevin32gId(uint32_t id) {
    return id == kBrevin32gDeviceId;
}

bool isJumperlessDevice(int i) {
    return fcDeviceIs(i, isJumperlessId);
}
bool isBrevinFc(int i) {
    return fcDeviceIs(i, isBrevinFcDevice);
}
bool isBrevinFcoeOnFc(int i) {
    return fcDeviceIs(i, isBrevinFcoeDevice);
}
bool isBrevinCna(int i) {
    return anyDeviceIs(i, isBrevinCnaDevice);
}
bool isBrevinFamily(int i) {
    return anyDeviceIs(i, isBrevinFamilyDevice);
}
bool isBrevin32g(int i) {
    return fcDeviceIs(i, isBrevin32gId);
}

bool isCvFcoe(int i) {
    return i >= 0 && static_cast<uint32_t>(i) < g_table.fcCount && fcDeviceIs(i, isCvFcoeDevice);
}
bool isCvIscsi(int i) {
    return cnaDeviceIs(i, isCvIscsiDevice);
}
bool isCvNic(int i) {
    return cnaDeviceIs(i, isCvNicDevice);
}
bool isCvFunction(int i) {
    return isCvFcoe(i) || isCvIscsi(i) || isCvNic(i);
}

bool isNewerHwType(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return false;
    for (size_t k = 0; k < kNewerHwTypeCount; k++) {
        if (r->hwType == kNewerHwTypes[k]) return true;
    }
    return false;
}
