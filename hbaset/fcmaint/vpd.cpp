// VPD of every adapter kind: the read, the probe, normalisation, the vpd
// command handler and the keyword reader of the image checks.
#include "hbaset/fcmaint/vpd.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/cna/mal.h"
#include "hbaset/cna/nexa.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "libtgx/libtgx.h"

VpdRecord g_vpdRecord;

namespace {

// Raw data may come longer than VPD_BUFFER_SIZE (NEXA pieces); such data is
// refused by normalisation, never cut.
constexpr uint32_t kRawBufferSize = 2 * VPD_BUFFER_SIZE;
constexpr uint32_t kVpdEntryHeader = 3; // two key bytes and the length byte
constexpr uint32_t kResourceHeader = 3; // tag and 16-bit length
constexpr int kNexaVpdPieces = 9;       // "VPDData0" .. "VPDData8"
constexpr uint32_t kProbeRetry = 3;
constexpr uint32_t kProbeDelayMs = 300;
constexpr uint32_t kProbeWord4 = 5;
constexpr uint32_t kKeywordPieceBytes = 26 * 4; // region 14 piece of the keyword reader

// Families whose classic FC adapters are asked whether they have VPD at all.
constexpr uint32_t kProbeFamilies[] = {0x338F, 0xE131, 0xF011, 0xF015, 0xF100, 0xF104,
                                       0xF10B, 0xF111, 0xF112, 0xF180, 0xFC40};

struct VpdLabel {
    char key[3];
    const char* label; // 22 characters, blank padded
};
const VpdLabel kVpdLabels[] = {
    {"SN", "SN (Serial Number)    "}, {"PN", "PN (Part Number)      "},
    {"PG", "PG (PCI Geography)    "}, {"MN", "MN (Manufacture ID)   "},
    {"LC", "LC (Location)         "}, {"FG", "FG (Fabric Geography) "},
    {"EC", "EC (EC Level)         "}, {"CP", "CP (Ext. Capability)  "},
};

uint16_t rd16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool keyIs(const uint8_t* key, const char* name) {
    return key[0] == static_cast<uint8_t>(name[0]) && key[1] == static_cast<uint8_t>(name[1]);
}

// Appends one normalised entry; false when out has no room for it.
bool putEntry(uint8_t* out, uint32_t outSize, uint32_t* w, uint8_t k0, uint8_t k1,
              const uint8_t* data, uint8_t length) {
    if (*w + kVpdEntryHeader + length > outSize) return false;
    out[*w] = k0;
    out[*w + 1] = k1;
    out[*w + 2] = length;
    if (length) memcpy(out + *w + kVpdEntryHeader, data, length);
    *w += kVpdEntryHeader + length;
    return true;
}

// Position k of entry i among the entries of its converged adapter with the
// same function kind (the table lists them in the order of the adapter's
// function records).
bool nexaFunctionTag(int i, int* tag) {
    const AdapterRecord* r = adapterAt(i);
    const CorevaneAdapter* cna = cnaAdapterOf(i);
    if (r == nullptr || cna == nullptr) return false;
    uint32_t k = 0;
    for (int j = static_cast<int>(g_table.fcCount); j < i; j++) {
        const AdapterRecord* o = adapterAt(j);
        if (o && o->cnaAdapterIndex == r->cnaAdapterIndex && o->functionKind == r->functionKind)
            k++;
    }
    if (r->functionKind == KIND_ISCSI_FUNCTION && cna->iscsiFunctions &&
        k < cna->iscsiFunctionCount) {
        *tag = cna->iscsiFunctions[k].tag;
        return true;
    }
    if (r->functionKind == KIND_NIC_FUNCTION && cna->nicFunctions && k < cna->nicFunctionCount) {
        *tag = cna->nicFunctions[k].tag;
        return true;
    }
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the raw VPD of one adapter into raw (kRawBufferSize bytes).
uint32_t readRawVpd(int adapter, uint8_t* raw, uint32_t* rawLength) {
    *rawLength = 0;
    uint32_t st = 0;
    uint32_t n = 0;
    if (isFcoeFunction(adapter)) {
        n = VPD_BUFFER_SIZE;
        st = TGX_IssueDumpMBox(static_cast<uint32_t>(adapter), DUMP_TYPE_REGION, 0, REGION_VPD, 0,
                               raw, &n);
        // The firmware may report more than it was asked for.
        n = std::min(n, VPD_BUFFER_SIZE);
    } else if (isIscsiFunction(adapter) || isNicFunction(adapter)) {
        if (!MAL_NEXA_is_open()) return VPD_STATUS_NO_NEXA;
        int tag = 0;
        if (!nexaFunctionTag(adapter, &tag)) return VPD_STATUS_READ_FAILED;
        n = kRawBufferSize;
        st = MAL_GetVPD(tag, raw, &n);
    } else if (isBrevinFc(adapter)) {
        st = FFS_ReadVPD(adapter, OBJ_FC_VPD, raw, VPD_BUFFER_SIZE, &n);
    } else {
        if (vpdProbe(adapter) == VPD_STATUS_NO_VPD) return VPD_STATUS_NO_VPD;
        st = DumpConfigRegionEx(adapter, REGION_VPD, VPD_REGION_LENGTH, &n, raw);
        n = std::min(n, VPD_REGION_LENGTH);
    }
    if (st != 0) return VPD_STATUS_READ_FAILED;
    *rawLength = std::min(n, kRawBufferSize);
    return VPD_STATUS_OK;
}

} // namespace

void vpdRecordClear(VpdRecord* rec) {
    memset(rec, 0, sizeof *rec);
}

// ---- parsing ----------------------------------------------------------------------

VpdWalkEnd vpdParseRaw(const uint8_t* raw, uint32_t rawLength, uint8_t* out, uint32_t outSize,
                       uint32_t* outLength) {
    uint32_t w = 0;
    *outLength = 0;
    if (rawLength == 0 || raw[0] != VPD_TAG_ID_STRING) return VPD_WALK_BAD_TAG;
    if (rawLength < kResourceHeader) return VPD_WALK_TRUNCATED;

    // Identifier string: one entry with the key 0x82 0x82 and a one-byte length.
    uint32_t idLength = rd16(raw + 1);
    if (kResourceHeader + idLength > rawLength) return VPD_WALK_TRUNCATED;
    uint8_t idKept = static_cast<uint8_t>(std::min<uint32_t>(idLength, 0xFF));
    if (!putEntry(out, outSize, &w, VPD_TAG_ID_STRING, VPD_TAG_ID_STRING, raw + kResourceHeader,
                  idKept))
        return VPD_WALK_TRUNCATED;
    *outLength = w;

    // Read-only keywords, up to RV or a zero key byte, within the resource.
    uint32_t pos = kResourceHeader + idLength;
    if (pos >= rawLength) return VPD_WALK_TRUNCATED;
    if (raw[pos] != VPD_TAG_READ_ONLY) return VPD_WALK_BAD_TAG;
    if (pos + kResourceHeader > rawLength) return VPD_WALK_TRUNCATED;
    uint32_t end = pos + kResourceHeader + rd16(raw + pos + 1);
    if (end > rawLength) return VPD_WALK_TRUNCATED;
    pos += kResourceHeader;
    while (pos < end && raw[pos] != 0) {
        if (pos + kVpdEntryHeader > end) return VPD_WALK_TRUNCATED;
        if (keyIs(raw + pos, "RV")) break;
        uint8_t length = raw[pos + 2];
        if (pos + kVpdEntryHeader + length > end) return VPD_WALK_TRUNCATED;
        if (!putEntry(out, outSize, &w, raw[pos], raw[pos + 1], raw + pos + kVpdEntryHeader,
                      length))
            return VPD_WALK_TRUNCATED;
        *outLength = w;
        pos += kVpdEntryHeader + length;
    }
    return VPD_WALK_COMPLETE;
}

uint32_t vpdNormalize(uint8_t* buffer, uint32_t* length) {
    uint32_t rawLength = *length;
    if (rawLength > VPD_BUFFER_SIZE) return VPD_STATUS_TOO_LONG;
    if (rawLength == 0) return VPD_STATUS_OK; // nothing read: an empty result, not bad data
    // A working copy padded to whole words, so a reversed last word never
    // reads or writes past the caller's data.
    uint8_t raw[VPD_BUFFER_SIZE + 4] = {};
    memcpy(raw, buffer, rawLength);
    if (rawLength >= 4 && raw[0] != VPD_TAG_ID_STRING && raw[3] == VPD_TAG_ID_STRING) {
        for (uint32_t i = 0; i < rawLength; i += 4) {
            std::swap(raw[i], raw[i + 3]);
            std::swap(raw[i + 1], raw[i + 2]);
        }
    }
    uint8_t out[VPD_BUFFER_SIZE];
    uint32_t outLength = 0;
    if (vpdParseRaw(raw, rawLength, out, sizeof out, &outLength) == VPD_WALK_BAD_TAG)
        return VPD_STATUS_NOT_VPD;
    memcpy(buffer, out, outLength);
    if (outLength < rawLength) buffer[outLength] = 0; // the sequence ends at a zero byte
    *length = outLength;
    return VPD_STATUS_OK;
}

bool vpdNextEntry(const uint8_t* buffer, uint32_t length, uint32_t* pos, VpdEntry* out) {
    uint32_t p = *pos;
    if (p >= length || buffer[p] == 0 || p + kVpdEntryHeader > length) return false;
    uint8_t n = buffer[p + 2];
    if (p + kVpdEntryHeader + n > length) return false;
    out->key[0] = buffer[p];
    out->key[1] = buffer[p + 1];
    out->length = n;
    out->data = buffer + p + kVpdEntryHeader;
    *pos = p + kVpdEntryHeader + n;
    return true;
}

void vpdCopyValue(const VpdEntry& e, char* dest, size_t size) {
    if (size == 0) return;
    size_t n = std::min<size_t>(e.length, size - 1);
    memcpy(dest, e.data, n);
    dest[n] = '\0';
}

namespace {

// Stores one keyword of the record; false when the key is not one of them.
bool storeKeyword(const VpdEntry& e, VpdRecord* rec) {
    if (keyIs(e.key, "SN"))
        vpdCopyValue(e, rec->SN, sizeof rec->SN);
    else if (keyIs(e.key, "V1"))
        vpdCopyValue(e, rec->V1, sizeof rec->V1);
    else if (keyIs(e.key, "V2"))
        vpdCopyValue(e, rec->V2, sizeof rec->V2);
    else if (keyIs(e.key, "V3"))
        vpdCopyValue(e, rec->V3, sizeof rec->V3);
    else if (keyIs(e.key, "V4"))
        vpdCopyValue(e, rec->V4, sizeof rec->V4);
    else
        return false;
    return true;
}

void printEntry(const VpdEntry& e) {
    int n = e.length;
    const char* data = reinterpret_cast<const char*>(e.data);
    if (e.key[0] == VPD_TAG_ID_STRING && e.key[1] == VPD_TAG_ID_STRING) {
        setMessageLine("Product Name          : %.*s", n, data);
        emitLine();
        return;
    }
    for (const VpdLabel& l : kVpdLabels) {
        if (keyIs(e.key, l.key)) {
            setMessageLine("%s: %.*s", l.label, n, data);
            emitLine();
            return;
        }
    }
    setMessageLine("%.2s                    : %.*s", reinterpret_cast<const char*>(e.key), n, data);
    emitLine();
}

} // namespace

void vpdStoreKeywords(const uint8_t* buffer, uint32_t length, VpdRecord* rec) {
    vpdRecordClear(rec);
    uint32_t pos = 0;
    VpdEntry e;
    while (vpdNextEntry(buffer, length, &pos, &e))
        storeKeyword(e, rec);
    rec->found = 1;
}

// ---- adapter access ------------------------------------------------------------------

uint32_t vpdProbe(int adapter) {
    uint32_t family = ImageFamilyCode(adapter);
    bool probed = false;
    for (uint32_t f : kProbeFamilies)
        probed = probed || f == family;
    if (!probed) return VPD_STATUS_OK;

    bool extended = IsIssueMboxV2ExtSupported(adapter);
    MboxBuf mb;
    mboxInit(&mb, MBX_DUMP);
    mb.w[1] = DUMP_TYPE_VPD_PROBE;
    mb.w[2] = DUMP_VPD_PROBE_WORD2;
    if (!extended) {
        mb.w[4] = kProbeWord4;
        mb.w[1] |= MBX_FLAG_BIT4;
    }
    uint32_t board = static_cast<uint32_t>(adapter);
    uint32_t st = extended ? TGX_IssueMboxWithRetryV2(board, mb.w, MBOX_SLI4_WORDS, kProbeRetry,
                                                      kProbeDelayMs)
                           : TGX_IssueMboxWithRetry(board, mb.w, MBOX_CLASSIC_WORDS,
                                                    MBOX_CLASSIC_WORDS, kProbeRetry, kProbeDelayMs);
    if (st == 3 || mboxStatus(mb) == MBXS_NO_VPD) return VPD_STATUS_NO_VPD;
    return VPD_STATUS_OK;
}

uint32_t readAdapterVpd(int adapter, uint8_t* buffer, uint32_t* length) {
    uint32_t capacity = *length;
    *length = 0;
    if (buffer == nullptr || adapterAt(adapter) == nullptr) return VPD_STATUS_READ_FAILED;
    uint8_t raw[kRawBufferSize] = {};
    uint32_t rawLength = 0;
    uint32_t st = readRawVpd(adapter, raw, &rawLength);
    if (st != VPD_STATUS_OK) return st;
    if (rawLength > capacity) return VPD_STATUS_BUFFER_SMALL;
    memcpy(buffer, raw, rawLength);
    uint32_t n = rawLength;
    st = vpdNormalize(buffer, &n);
    if (st != VPD_STATUS_OK) return st;
    *length = n;
    return VPD_STATUS_OK;
}

uint32_t vpdCommandHandler(int adapter, bool display) {
    vpdRecordClear(&g_vpdRecord);
    uint8_t buffer[VPD_BUFFER_SIZE];
    uint32_t length = sizeof buffer;
    uint32_t st = readAdapterVpd(adapter, buffer, &length);
    if (st != VPD_STATUS_OK) {
        setMessageLine("Attempt to read VPD information fails. Adapter #%d - RM_STATUS = %d",
                       adapter + 1, static_cast<int>(st));
        emitLine();
        return !isNexaManaged(adapter) || isSli4(adapter) ? VPD_CMD_READ_FAILED
                                                          : VPD_CMD_CNA_READ_FAILED;
    }
    uint32_t pos = 0;
    VpdEntry e;
    if (!vpdNextEntry(buffer, length, &pos, &e)) {
        setMessageLine("Attempt to read VPD information fails. Adapter #%d has no VPD information",
                       adapter + 1);
        emitLine();
        return VPD_CMD_EMPTY;
    }
    pos = 0;
    while (vpdNextEntry(buffer, length, &pos, &e)) {
        if (display) printEntry(e);
        storeKeyword(e, &g_vpdRecord);
    }
    g_vpdRecord.found = 1;
    return VPD_CMD_OK;
}

namespace {

// Region 14 read in pieces as the walk consumes it. Each piece starts at the
// consumed offset rounded down to a word.
struct RegionStream {
    int adapter;
    uint8_t data[VPD_BUFFER_SIZE];
    uint32_t have;   // bytes of data valid
    bool exhausted;  // the region ended, or a read failed
    uint32_t status; // status of the first failed read
};

// Makes sure bytes [0, need) are read; false when the region ends first.
bool streamEnsure(RegionStream* s, uint32_t need) {
    while (s->have < need && !s->exhausted) {
        uint32_t start = s->have & ~3u;
        uint32_t room = static_cast<uint32_t>(sizeof s->data) - start;
        uint32_t n = std::min(kKeywordPieceBytes, room);
        if (n == 0) {
            s->exhausted = true;
            break;
        }
        uint32_t got = n;
        uint32_t st = DumpConfigRegion(s->adapter, REGION_VPD, start, &got, s->data + start);
        if (st != 0) {
            if (s->status == 0) s->status = st;
            s->exhausted = true;
            break;
        }
        got = std::min(got, n);
        if (start + got <= s->have) {
            s->exhausted = true;
            break;
        }
        s->have = start + got;
        if (got < n) s->exhausted = true;
    }
    return s->have >= need;
}

} // namespace

uint32_t readVpdKeywords(int adapter, VpdRecord* out) {
    vpdRecordClear(out);
    RegionStream s{};
    s.adapter = adapter;
    if (!streamEnsure(&s, kResourceHeader)) {
        emitText("Attempt to read VPD information fails. Adapter #%d has no VPD information\n",
                 adapter + 1);
        return s.status != 0 ? s.status : VPD_STATUS_READ_FAILED;
    }
    if (s.data[0] != VPD_TAG_ID_STRING) return VPD_STATUS_OK;
    out->found = 1;
    uint32_t pos = kResourceHeader + rd16(s.data + 1);
    if (!streamEnsure(&s, pos + kResourceHeader) || s.data[pos] != VPD_TAG_READ_ONLY)
        return VPD_STATUS_OK;
    uint32_t end = pos + kResourceHeader + rd16(s.data + pos + 1);
    pos += kResourceHeader;
    int stored = 0;
    while (stored < 5 && pos < end) {
        if (!streamEnsure(&s, pos + kVpdEntryHeader) || pos + kVpdEntryHeader > end) break;
        if (s.data[pos] == 0 || keyIs(s.data + pos, "RV")) break;
        uint8_t n = s.data[pos + 2];
        uint32_t next = pos + kVpdEntryHeader + n;
        if (next > end || !streamEnsure(&s, next)) break;
        VpdEntry e{{s.data[pos], s.data[pos + 1]}, n, s.data + pos + kVpdEntryHeader};
        if (storeKeyword(e, out)) stored++;
        pos = next;
    }
    return VPD_STATUS_OK;
}

uint32_t MAL_GetVPD(int tag, uint8_t* buffer, uint32_t* length) {
    if (buffer == nullptr || length == nullptr) return VPD_STATUS_BUFFER_SMALL;
    uint32_t capacity = *length;
    *length = 0;
    if (capacity < VPD_BUFFER_SIZE) return VPD_STATUS_BUFFER_SMALL;
    int node = 0;
    int rc = malChildNode(tag, "VPD", &node);
    if (rc != MAL_RM_OK) return static_cast<uint32_t>(rc);
    uint32_t n = 0;
    for (int k = 0; k < kNexaVpdPieces; k++) {
        char name[16];
        snprintf(name, sizeof name, "VPDData%d", k);
        int prop = 0;
        rc = get_node_tag(node, name, &prop, NEXA_KIND_PROPERTY);
        if (rc != MAL_RM_OK) return static_cast<uint32_t>(rc);
        char text[MAL_VALUE_SIZE];
        rc = get_property_val(node, prop, text, sizeof text);
        if (rc != MAL_RM_OK) return static_cast<uint32_t>(rc);
        // Two digits per byte; a final odd digit is a byte of its own.
        for (size_t p = 0; text[p] != '\0';) {
            int hi = hexValue(text[p]);
            if (hi < 0) break;
            int lo = text[p + 1] != '\0' ? hexValue(text[p + 1]) : -1;
            uint8_t byte = static_cast<uint8_t>(lo < 0 ? hi : hi * 16 + lo);
            if (n >= capacity) return VPD_STATUS_BUFFER_SMALL;
            buffer[n++] = byte;
            p += lo < 0 ? 1 : 2;
        }
    }
    *length = n;
    return VPD_STATUS_OK;
}
