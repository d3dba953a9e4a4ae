// Adapter identification: hardware type, model names, the IBM VPD mark, the
// identification and refresh passes, and program version texts.
#include "hbaset/cli/identify.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/config_region.h"
#include "common/bounded_text.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/vpd.h"

namespace {

constexpr uint16_t kBiuWordDeviceException = 0xF700; // uses the SM revision word
constexpr uint32_t kRevisionWordMask = 0xFFFFFFF0u;  // bits 4-31
constexpr uint32_t kRegionReadLimit = VPD_BUFFER_SIZE;

// V2 of the last VPD read by the identification pass (the refresh pass keys on it).
char s_lastPassV2[VPD_V2_SIZE];

uint16_t hwTypeOf(uint32_t word) {
    return static_cast<uint16_t>((word >> 12) & 0xFFFF);
}

// Whether the device belongs to a model table's family.
bool deviceOfTable(uint8_t table, uint32_t deviceId) {
    switch (table) {
    case MODEL_TABLE_TARNEL:
        return deviceFamilyOf(deviceId) == FAMILY_TARNEL;
    case MODEL_TABLE_CV3:
        return deviceFamilyOf(deviceId) == FAMILY_CV3;
    case MODEL_TABLE_CV2:
        return deviceFamilyOf(deviceId) == FAMILY_CV2;
    case MODEL_TABLE_BREVIN_32G:
        return deviceId == kBrevin32gDeviceId;
    case MODEL_TABLE_BREVIN:
        return isBrevinCnaDevice(deviceId) || isBrevinFcDevice(deviceId);
    case MODEL_TABLE_BOOT_PARAM:
        return isBootParamDevice(deviceId);
    default:
        return false;
    }
}

bool rowKeyMatches(uint16_t key, uint32_t value) {
    return key == 0 || key == value;
}

bool isBrevinMezzanine(uint32_t subsystemVendorId, uint32_t subsystemId) {
    for (size_t k = 0; k < kBrevinMezzanineCount; k++) {
        if (kBrevinMezzanine[k].subsystemVendorId == subsystemVendorId &&
            kBrevinMezzanine[k].subsystemId == subsystemId)
            return true;
    }
    return false;
}

// Another FC entry in the same PCI slot with a different function.
bool hasDualChannelPartner(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return false;
    for (uint32_t j = 0; j < g_table.fcCount; j++) {
        const AdapterRecord* o = adapterAt(static_cast<int>(j));
        if (o && static_cast<int>(j) != i && samePciSlot(*o, *r) &&
            o->pciFunction != r->pciFunction)
            return true;
    }
    return false;
}

// How an entry's model name is decided.
enum ModelPath {
    PATH_FAMILY_TABLE, // a family table, with the family default when no row matches
    PATH_FIXED_TABLE,  // a table with a fixed text when no row matches
    PATH_LEGACY,       // by hardware type
    PATH_GENERIC,      // any other device
};

struct ModelRoute {
    ModelPath path;
    uint8_t table;
    const char* fallback; // family default or fixed text
};

ModelRoute routeOf(int i, const ModelQuery& q) {
    const AdapterRecord* r = adapterAt(i);
    const FamilyDefaultNames& d = kFamilyDefaultNames;
    uint32_t dev = q.deviceId;
    switch (deviceFamilyOf(dev)) {
    case FAMILY_TARNEL:
        return {PATH_FAMILY_TABLE, MODEL_TABLE_TARNEL, d.tarnel};
    case FAMILY_CV3:
        return {PATH_FAMILY_TABLE, MODEL_TABLE_CV3, d.cv3};
    case FAMILY_CV2:
        return {PATH_FAMILY_TABLE, MODEL_TABLE_CV2, d.cv2};
    default:
        break;
    }
    if (isBrevinCnaDevice(dev)) {
        const char* name =
            isBrevinMezzanine(q.subsystemVendorId, q.subsystemId) ? d.brevinMezzanine : d.brevin;
        return {PATH_FAMILY_TABLE, MODEL_TABLE_BREVIN, name};
    }
    if (isBrevin32g(i)) return {PATH_FIXED_TABLE, MODEL_TABLE_BREVIN_32G, d.brevin32gFixed};
    if (isBrevinFc(i)) return {PATH_FIXED_TABLE, MODEL_TABLE_BREVIN, d.brevinFcFixed};
    if (r != nullptr && r->hwType == 4100 && isBootParamDevice(r->deviceId))
        return {PATH_FIXED_TABLE, MODEL_TABLE_BOOT_PARAM, d.bootParamFixed};
    if (isFcIndex(i) && r != nullptr && r->deviceId != 0) return {PATH_LEGACY, 0, nullptr};
    return {PATH_GENERIC, 0, d.generic};
}

// The legacy name, or the entry's current model name when its group keeps it.
const char* legacyNameOf(int i, const ModelQuery& q) {
    const AdapterRecord* r = adapterAt(i);
    const char* name = legacyModelName(r->hwType, q.deviceId, q.subsystemVendorId, q.subsystemId,
                                       q.dualChannel != 0, hasDualChannelPartner(i));
    return name ? name : r->modelName;
}

// Decimal value of a text as a C runtime reads it, clamped to 32 bits.
int32_t decimalValue(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        p++;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > INT_MAX) {
            v = static_cast<long long>(INT_MAX) + 1;
            break;
        }
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int32_t>(v);
}

// First blank-delimited word of text, at most size - 1 characters.
void firstWord(const char* text, char* out, size_t size) {
    const char* p = text;
    while (*p != '\0' && isspace(static_cast<unsigned char>(*p)))
        p++;
    size_t n = 0;
    while (p[n] != '\0' && !isspace(static_cast<unsigned char>(p[n])) && n + 1 < size)
        n++;
    memcpy(out, p, n);
    out[n] = '\0';
}

// ---- program version letters ---------------------------------------------------------
// Image id = 8 k + j + 1: k picks the first letter, j the second. jMask has
// bit j set for the defined j; rl is the second letter for j = 3.
struct LetterRow {
    uint8_t k;
    char first;
    uint8_t jMask;
    char rl;
};
constexpr uint8_t J0TO5 = 0x3F;
constexpr uint8_t J0TO6 = 0x7F;
constexpr uint8_t JNO3 = 0x77;    // 0, 1, 2, 4, 5, 6
constexpr uint8_t JNO3NO6 = 0x37; // 0, 1, 2, 4, 5
const LetterRow kLetterRows[] = {
    {2, 'S', J0TO5, 'R'}, {3, 'Y', J0TO6, 'L'},  {4, 'D', J0TO5, 'R'}, {5, 'O', J0TO5, 'L'},
    {6, 'Q', JNO3NO6, 0}, {8, 'C', J0TO5, 'R'},  {9, 'P', J0TO6, 'L'}, {10, 'R', JNO3NO6, 0},
    {11, 'A', 0x43, 0},   {12, 'H', J0TO6, 'R'}, {14, 'L', JNO3, 0},   {15, 'U', J0TO6, 'L'},
    {16, 'T', JNO3, 0},   {18, 'M', JNO3, 0},    {20, 'V', JNO3, 0},   {21, 'I', J0TO6, 'L'},
    {22, 'E', JNO3, 0},   {24, 'B', JNO3, 0},    {26, 'J', JNO3, 0},   {28, 'Z', JNO3, 0},
    {30, 'W', JNO3, 0},
};
const char kSecondLetters[] = {'B', 'O', 'C', 0, 'E', 'P', 'U'};

// Ids with letters of their own.
struct SpecialId {
    uint8_t id;
    char letters[3];
};
const SpecialId kSpecialIds[] = {{1, "FB"}, {47, "YU"}, {128, "PB"}};

void programLetters(uint32_t id, char out[3]) {
    out[0] = 'X';
    out[1] = 'X';
    out[2] = '\0';
    for (const SpecialId& s : kSpecialIds) {
        if (s.id == id) {
            out[0] = s.letters[0];
            out[1] = s.letters[1];
            return;
        }
    }
    if (id == 0) return;
    uint32_t k = (id - 1) / 8;
    uint32_t j = (id - 1) % 8;
    if (j > 6) return;
    for (const LetterRow& r : kLetterRows) {
        if (r.k != k || (r.jMask & (1u << j)) == 0) continue;
        out[0] = r.first;
        out[1] = j == 3 ? r.rl : kSecondLetters[j];
        return;
    }
}

} // namespace

// ---- ModelQuery -----------------------------------------------------------------------

void modelQueryInit(ModelQuery* q) {
    memset(q, 0, sizeof *q);
    q->modelNameSize = MODEL_QUERY_TEXT_SIZE;
    q->familyDescriptionSize = MODEL_QUERY_TEXT_SIZE;
    q->descriptionSize = MODEL_QUERY_TEXT_SIZE;
    q->baseModelSize = MODEL_QUERY_TEXT_SIZE;
}

void modelQueryFromEntry(int i, ModelQuery* q) {
    modelQueryInit(q);
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return;
    if (r->deviceId != 0) {
        q->deviceId = r->deviceId;
        q->vendorId = r->vendorId;
        q->subsystemId = r->subsystemId;
        q->subsystemVendorId = r->subsystemVendorId;
    } else {
        q->deviceId = r->cnaDeviceId;
        q->vendorId = r->cnaVendorId;
        q->subsystemId = r->cnaSubsystemId;
        q->subsystemVendorId = r->cnaSubsystemVendorId;
    }
    q->dualChannel = (r->flags & ADAPTER_FLAG_DUAL_CHANNEL) ? 1 : 0;
}

bool modelTableLookup(uint8_t table, ModelQuery* q) {
    if (q->modelNameSize < MODEL_QUERY_TEXT_SIZE ||
        q->familyDescriptionSize < MODEL_QUERY_TEXT_SIZE ||
        q->descriptionSize < MODEL_QUERY_TEXT_SIZE || q->baseModelSize < MODEL_QUERY_TEXT_SIZE)
        return false;
    if (q->deviceId == 0 || q->vendorId == 0 || q->subsystemId == 0 || q->subsystemVendorId == 0)
        return false;
    if (!deviceOfTable(table, q->deviceId)) return false;
    for (size_t k = 0; k < kModelRowCount; k++) {
        const ModelRow& row = kModelRows[k];
        if (row.table != table || !rowKeyMatches(row.deviceId, q->deviceId) ||
            !rowKeyMatches(row.vendorId, q->vendorId) ||
            !rowKeyMatches(row.subsystemVendorId, q->subsystemVendorId) ||
            !rowKeyMatches(row.subsystemId, q->subsystemId))
            continue;
        if (row.dualChannel >= 0 && (row.dualChannel != 0) != (q->dualChannel != 0)) continue;
        copyBounded(q->modelName, sizeof q->modelName, row.modelName);
        copyBounded(q->familyDescription, sizeof q->familyDescription, row.familyDescription);
        copyBounded(q->description, sizeof q->description, row.description);
        copyBounded(q->baseModel, sizeof q->baseModel, row.baseModel);
        return true;
    }
    return false;
}

// ---- hardware type ----------------------------------------------------------------------

uint16_t readHwType(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return 0;
    MboxBuf mb;
    if (isSli4(i)) {
        uint32_t st = ReadRev4(i, &mb);
        if (st != 0) {
            emitConsole("ReadRev4 ERROR status %08lX\n", static_cast<unsigned long>(st));
            return 0;
        }
        return (mb.w[2] & kRevisionWordMask) != 0 ? hwTypeOf(mb.w[2]) : 0;
    }
    uint32_t st = ReadRev(i, &mb);
    if (st != 0) {
        emitConsole("ReadRev ERROR status %08lX\n", static_cast<unsigned long>(st));
        return 0;
    }
    if ((mb.w[2] & kRevisionWordMask) != 0 && r->deviceId != kBiuWordDeviceException)
        return hwTypeOf(mb.w[2]);
    return hwTypeOf(mb.w[3]);
}

// ---- model names ------------------------------------------------------------------------

void identify(int i, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) {
        out[0] = '\0';
        return;
    }
    if (size > MODEL_QUERY_TEXT_SIZE) size = MODEL_QUERY_TEXT_SIZE;
    if (g_table.useVpdModel && (r->flags & ADAPTER_FLAG_VPD_MODEL)) {
        copyBounded(out, size, r->modelName);
        return;
    }
    ModelQuery q;
    modelQueryFromEntry(i, &q);
    ModelRoute route = routeOf(i, q);
    switch (route.path) {
    case PATH_FAMILY_TABLE:
    case PATH_FIXED_TABLE:
        if (modelTableLookup(route.table, &q))
            copyBounded(out, size, g_table.useVpdModel ? q.modelName : q.baseModel);
        else
            copyBounded(out, size, route.fallback);
        return;
    case PATH_LEGACY: {
        // The source may be the entry's own modelName (a group that keeps it).
        char name[MODEL_NAME_MAX + 1];
        copyBounded(name, sizeof name, legacyNameOf(i, q));
        copyBounded(out, size, name);
        return;
    }
    case PATH_GENERIC:
        copyBounded(out, size, route.fallback);
        return;
    }
}

bool fillModelQuery(int i, ModelQuery* q) {
    modelQueryFromEntry(i, q);
    if (adapterAt(i) == nullptr) return false;
    ModelRoute route = routeOf(i, *q);
    switch (route.path) {
    case PATH_FAMILY_TABLE:
        if (modelTableLookup(route.table, q)) return true;
        // The family default stands for the model in both texts.
        copyBounded(q->modelName, sizeof q->modelName, route.fallback);
        copyBounded(q->baseModel, sizeof q->baseModel, route.fallback);
        return false;
    case PATH_FIXED_TABLE:
        if (modelTableLookup(route.table, q)) return true;
        copyBounded(q->baseModel, sizeof q->baseModel, route.fallback);
        return false;
    case PATH_LEGACY:
        copyBounded(q->baseModel, sizeof q->baseModel, legacyNameOf(i, *q));
        return false;
    case PATH_GENERIC:
        copyBounded(q->baseModel, sizeof q->baseModel, route.fallback);
        return false;
    }
    return false;
}

void checkIbmVpd(int i) {
    AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return;
    r->ibmVpd = 0;
    uint8_t raw[VPD_BUFFER_SIZE] = {};
    uint32_t length = VPD_REGION_LENGTH;
    if (DumpConfigRegion(i, REGION_VPD, 0, &length, raw) != 0 || length > kRegionReadLimit) return;
    uint8_t entries[VPD_BUFFER_SIZE];
    uint32_t n = 0;
    if (vpdParseRaw(raw, length, entries, sizeof entries, &n) != VPD_WALK_COMPLETE) return;
    uint32_t pos = 0;
    VpdEntry e;
    while (vpdNextEntry(entries, n, &pos, &e)) {
        if (e.key[0] == 'V' && e.key[1] == 'G' && e.length >= 4 &&
            memcmp(e.data + e.length - 4, "1014", 4) == 0)
            r->ibmVpd = 1;
    }
}

// ---- program versions --------------------------------------------------------------------

void formatProgramVersionText(uint32_t word, bool letterF, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    char letters[3];
    programLetters((word >> 16) & 0xFF, letters);
    if (letterF) letters[0] = 'F';
    static const char kLevelLetters[] = {'N', 'A', 'B', 'X'};
    unsigned major = (word >> 12) & 0xF;
    unsigned minor = (word >> 8) & 0xF;
    unsigned sub = (word >> 6) & 0x3;
    unsigned letter = (word >> 4) & 0x3;
    unsigned level = word & 0xF;
    if (letter == 3 && level == 0)
        snprintf(out, size, "%s%u.%u%u", letters, major, minor, sub);
    else
        snprintf(out, size, "%s%u.%u%u%c%u", letters, major, minor, sub, kLevelLetters[letter],
                 level);
}

void formatProgramVersion(int i, uint32_t word, char* out, size_t size) {
    const AdapterRecord* r = adapterAt(i);
    formatProgramVersionText(word, r != nullptr && r->deviceId == kLetterFDeviceId, out, size);
}

// ---- start-up passes ------------------------------------------------------------------------

void identificationPass() {
    s_lastPassV2[0] = '\0';
    for (uint32_t k = 0; k < g_table.fcCount; k++) {
        int i = static_cast<int>(k);
        AdapterRecord* r = adapterAt(i);
        if (r == nullptr) break;
        r->hwType = readHwType(i);
        if (r->hwType == 4100 || r->hwType == 1399 || r->hwType == 868) checkIbmVpd(i);

        vpdCommandHandler(i, false); // clears g_vpdRecord first
        const VpdRecord& v = g_vpdRecord;
        bool hasV2 = v.V2[0] != '\0';
        if (!g_table.useVpdModel || !hasV2) {
            char name[MODEL_NAME_MAX + 1];
            identify(i, name, sizeof name);
            copyBounded(r->modelName, sizeof r->modelName, name);
        }
        if (hasV2 && g_table.useVpdModel) {
            copyBounded(r->modelName, sizeof r->modelName, v.V2);
            if (deviceIs(r->deviceId, FAMILY_CV2, ROLE_FCOE))
                r->flags &= ~ADAPTER_FLAG_VPD_MODEL;
            else
                r->flags |= ADAPTER_FLAG_VPD_MODEL;
        }
        if (hasV2) {
            r->flags |= ADAPTER_FLAG_VPD_V2;
            copyBounded(r->serialNumber, sizeof r->serialNumber, v.SN);
            r->vpdPortNumber = decimalValue(v.V4);
            firstWord(v.V4, r->vpdPortName, sizeof r->vpdPortName);
            for (char* p = r->serialNumber; *p; p++)
                *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
        }
        if (r->serialNumber[0] == '\0') copyBounded(r->serialNumber, sizeof r->serialNumber, "N/A");
        copyBounded(s_lastPassV2, sizeof s_lastPassV2, v.V2);
    }
}

void refreshPass() {
    if (g_table.useVpdModel && s_lastPassV2[0] != '\0') return;
    for (uint32_t k = 0; k < g_table.fcCount; k++) {
        int i = static_cast<int>(k);
        AdapterRecord* r = adapterAt(i);
        if (r == nullptr || !isBrevinFamily(i)) continue;
        bool dual = false;
        for (uint32_t m = 0; m < g_table.fcCount && !dual; m++) {
            const AdapterRecord* o = adapterAt(static_cast<int>(m));
            dual = m != k && o && samePciSlot(*o, *r) &&
                   strcasecmp(o->serialNumber, r->serialNumber) == 0;
        }
        if (dual)
            r->flags |= ADAPTER_FLAG_DUAL_CHANNEL;
        else
            r->flags &= ~ADAPTER_FLAG_DUAL_CHANNEL;
        char name[MODEL_NAME_MAX + 1];
        identify(i, name, sizeof name);
        copyBounded(r->modelName, sizeof r->modelName, name);
    }
}
