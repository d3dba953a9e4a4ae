// The listattr parser. A block starts only at a line that begins with "HBA",
// blanks and ": ", and labels are matched only at the start of a line, so a
// model, serial or VPD text that happens to contain "HBA" or a function name
// can neither split a block nor change its kind or number.
#include "fwsweep/listattr.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/devices.h"
#include "fwsweep/output.h"
#include "fwsweep/versions.h"

namespace {

constexpr const char* kNotAvailable = "N/A";

// Length of the line at p (without its end).
size_t lineLength(const char* p, const char* end) {
    const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    return static_cast<size_t>((nl ? nl : end) - p);
}

// When the line [p, p+len) is "label<blanks>: ...", the position of the value.
const char* matchLabel(const char* p, size_t len, const char* label) {
    size_t n = strlen(label);
    if (len <= n || memcmp(p, label, n) != 0 || p[n] != ' ') return nullptr;
    size_t k = n;
    while (k < len && p[k] == ' ')
        ++k;
    if (k >= len || p[k] != ':') return nullptr;
    return p + k + 1;
}

bool endsValue(char c) {
    return c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ';';
}

uint32_t toNumber(const char* text, int base) {
    if (strcmp(text, kNotAvailable) == 0) return 0;
    return static_cast<uint32_t>(strtoul(text, nullptr, base));
}

void upperCase(char* s) {
    for (; *s; ++s)
        *s = static_cast<char>(toupper(static_cast<unsigned char>(*s)));
}

struct Block {
    const char* data;
    size_t size;
    void text(const char* label, char* out, size_t outSize) const {
        labelValue(data, size, label, out, outSize);
    }
    uint32_t number(const char* label, int base) const {
        char v[FWS_FIELD_SIZE];
        text(label, v, sizeof v);
        return toNumber(v, base);
    }
};

void setPortType(SweepAdapter* a, const char* kind) {
    struct {
        const char* text;
        int code;
    } const kinds[] = {{"iSCSI", PORT_ISCSI}, {"NIC", PORT_NIC}, {"FCoE", PORT_FCOE}};
    a->portType = PORT_FC;
    a->portTypeText = "FC";
    for (const auto& k : kinds) {
        if (strcmp(kind, k.text) == 0) {
            a->portType = k.code;
            a->portTypeText = k.text;
        }
    }
    a->personality = a->portType;
}

bool isFcPort(const SweepAdapter& a) {
    return a.portType == PORT_FC || a.portType == PORT_FCOE;
}

// Removes dots and drops the first two characters (what remains of a short
// text is empty).
void fcVersionText(char* text) {
    char* w = text;
    for (const char* r = text; *r; ++r)
        if (*r != '.') *w++ = *r;
    *w = '\0';
    size_t n = strlen(text);
    memmove(text, text + (n < 2 ? n : 2), n - (n < 2 ? n : 2) + 1);
}

// typeKnown: the device has an FC firmware type code. The classic FC version
// form (a type code, then the packed version) is read only for those; an FC
// port of a device outside the tables (any maker's HBA on a real server)
// keeps its version text as listed, as there is no type code to place before it.
void fillFirmware(SweepAdapter* a, bool typeKnown) {
    bool legacyFc = isLegacyFcDevice(a->deviceId) && typeKnown;
    dbgTrace("Discovered fwVersion = %s\n", a->fwVersion);
    a->fwUnknown = strstr(a->fwVersion, kNotAvailable) || strcmp(a->fwVersion, "NONE") == 0;
    const bool untypedFc = isLegacyFcDevice(a->deviceId) && !typeKnown;
    if (strstr(a->fwVersion, kNotAvailable) && !untypedFc)
        copyBounded(a->fwVersion, sizeof a->fwVersion, legacyFc ? "XX0.00A0" : "0.0.0.0");
    CluImage& img = a->fwImage;
    img.imageType = adapterImageType(a->deviceId);
    img.extType = isConvergedDevice(a->deviceId) ? EXT_UFI
                  : isBrevinDevice(a->deviceId)  ? EXT_GRP
                                                 : EXT_ALL;
    if (legacyFc) {
        decodeRawFCBuildString(&img, a->fwVersion);
        fcVersionText(a->fwVersion);
        copyBounded(img.decodedVersion, sizeof img.decodedVersion, a->fwVersion);
        return;
    }
    copyBounded(img.decodedVersion, sizeof img.decodedVersion, a->fwVersion);
    encodeCNAVersion(&img.major, &img.minor, &img.release, &img.build, img.decodedVersion);
    SweepFamily f = sweepFamilyOf(a->deviceId);
    bool cv = f == SWEEP_FAMILY_CV2 || f == SWEEP_FAMILY_CV3;
    if (cv && (img.major == 2 || img.major == 3)) {
        correctCvVersionText(img.decodedVersion);
        encodeCNAVersion(&img.major, &img.minor, &img.release, &img.build, img.decodedVersion);
    }
}

void fillBootCode(SweepAdapter* a, const Block& b, ListAttrTotals* totals) {
    dbgTrace("Discovered bcVersion = %s\n", a->bootVersion);
    CluImage& img = a->bootImage;
    img.imageType = adapterImageType(a->deviceId);
    img.extType = isConvergedDevice(a->deviceId) ? EXT_UFI
                  : isBrevinDevice(a->deviceId)  ? EXT_GRP
                                                 : EXT_PRG;
    if (strstr(a->bootVersion, kNotAvailable)) return;
    if (strncasecmp(a->bootVersion, "NONE", 4) == 0) {
        copyBounded(a->bootVersion, sizeof a->bootVersion, "NONE");
        a->bootEnabled = 0;
        return;
    }
    bool legacyFc = isLegacyFcDevice(a->deviceId);
    if (legacyFc || isBrevinFcDevice(a->deviceId)) {
        a->hasBootCode = true;
        totals->bootCodePresent = true;
        size_t n = strnlen(a->bootVersion, 2);
        memcpy(a->bcType, a->bootVersion, n);
        a->bcType[n] = '\0';
        decodeRawFCBuildString(&img, a->bootVersion);
        char* w = a->bootVersion;
        for (const char* r = a->bootVersion; *r; ++r)
            if (*r != '.') *w++ = *r;
        *w = '\0';
        if (legacyFc) fcVersionText(a->bootVersion);
        copyBounded(img.decodedVersion, sizeof img.decodedVersion, a->bootVersion);
    } else {
        copyBounded(img.decodedVersion, sizeof img.decodedVersion, a->bootVersion);
        encodeCNAVersion(&img.major, &img.minor, &img.release, &img.build, img.decodedVersion);
    }
    a->bootEnabled = static_cast<int>(b.number("Boot Enabled", 10));
}

void parseBlock(const Block& b, bool vpd, SweepAdapter* a, ListAttrTotals* totals) {
    a->number = static_cast<int>(b.number("HBA", 10));
    char kind[FWS_FIELD_SIZE];
    b.text("Function Type", kind, sizeof kind);
    setPortType(a, kind);
    char model[FWS_MODEL_MAX + 1];
    b.text("Model", model, sizeof model);
    if (!vpd) {
        if (char* hyphen = strchr(model, '-')) *hyphen = '\0';
    }
    copyBounded(a->model, sizeof a->model, model);
    copyBounded(a->matrixKey, sizeof a->matrixKey, model);
    b.text("Serial Number", a->serial, sizeof a->serial);
    upperCase(a->serial);
    b.text("FW Version", a->fwVersion, sizeof a->fwVersion);
    upperCase(a->fwVersion);
    b.text("Boot Version", a->bootVersion, sizeof a->bootVersion);
    upperCase(a->bootVersion);
    if (isFcPort(*a)) {
        b.text("Port WWN", a->wwn, sizeof a->wwn);
        upperCase(a->wwn);
    } else {
        b.text("Permanent Mac", a->mac, sizeof a->mac);
        upperCase(a->mac);
    }
    a->bus = b.number("PCI Bus Number", 16);
    a->device = b.number("PCI Dev Number", 16);
    a->function = b.number("PCI Fun Number", 16);
    a->deviceId = b.number("Device ID", 16);
    a->vendorId = b.number("Vendor ID", 16);
    a->subDeviceId = b.number("Sub Device ID", 16);
    a->subVendorId = b.number("Sub Vendor ID", 16);
    a->multiChannel = static_cast<int>(b.number("Multi Channel", 10));
    a->configuration = static_cast<int>(b.number("Configuration", 10));
    a->vpdModel = static_cast<int>(b.number("VPD Model", 10));
    a->cvr = static_cast<int>(b.number("CVR", 10));
    a->revId = b.number("RevID", 16) & 0xFF;

    int st = getLegacyFwType(a->fwType, sizeof a->fwType, a->deviceId, a->vendorId, a->subDeviceId,
                             a->subVendorId, a->multiChannel);
    fillFirmware(a, st == LEGACY_TYPE_KNOWN);
    fillBootCode(a, b, totals);
    if (st == LEGACY_TYPE_KNOWN) {
        a->known = true;
        ++totals->knownAdapters;
    }
    for (CluImage* img : {&a->fwImage, &a->bootImage}) {
        img->isCVR = a->cvr;
        img->asicRevisionId = static_cast<uint8_t>(a->revId);
    }
    copyBounded(a->fwImage.legacyType, sizeof a->fwImage.legacyType, st == 0 ? a->fwType : "N/A");
}

bool isBlockStart(const char* p, size_t len) {
    return matchLabel(p, len, "HBA") != nullptr;
}

bool unknownSerial(const char* serial) {
    return serial[0] == '\0' || strcasecmp(serial, kNotAvailable) == 0;
}

bool groupsSiblings(const SweepAdapter& a) {
    return isConvergedDevice(a.deviceId) || isBrevinDevice(a.deviceId);
}

void appendSuffix(char* text, size_t size, const char* suffix) {
    size_t n = strlen(text);
    if (n < size) copyBounded(text + n, size - n, suffix);
}

} // namespace

void labelValue(const char* block, size_t size, const char* label, char* out, size_t outSize) {
    copyBounded(out, outSize, kNotAvailable);
    const char* end = block + size;
    for (const char* p = block; p < end;) {
        size_t len = lineLength(p, end);
        const char* v = matchLabel(p, len, label);
        if (v) {
            const char* lineEnd = p + len;
            while (v < lineEnd && *v == ' ')
                ++v;
            const char* e = v;
            while (e < lineEnd && !endsValue(*e))
                ++e;
            size_t n = static_cast<size_t>(e - v);
            if (n == 0 || outSize == 0) return;
            if (n >= outSize) n = outSize - 1;
            memcpy(out, v, n);
            out[n] = '\0';
            return;
        }
        p += len + 1;
    }
}

void parseListAttr(const char* text, size_t size, bool vpd, std::vector<SweepAdapter>* out,
                   ListAttrTotals* totals) {
    const char* end = text + size;
    const char* blockStart = nullptr;
    auto finish = [&](const char* stop) {
        if (!blockStart) return;
        SweepAdapter a;
        parseBlock(Block{blockStart, static_cast<size_t>(stop - blockStart)}, vpd, &a, totals);
        out->push_back(a);
    };
    for (const char* p = text; p < end;) {
        size_t len = lineLength(p, end);
        if (isBlockStart(p, len)) {
            finish(p);
            blockStart = p;
        }
        p += len + 1;
    }
    finish(end);
}

bool sameAdapter(const SweepAdapter& a, const SweepAdapter& b) {
    if (unknownSerial(a.serial) || unknownSerial(b.serial)) return false;
    return strcasecmp(a.serial, b.serial) == 0 && a.bus == b.bus && a.domain == b.domain;
}

void postProcessAdapters(std::vector<SweepAdapter>* adapters, bool vpd) {
    std::vector<SweepAdapter>& list = *adapters;
    // A NIC function of an adapter that also runs iSCSI or FCoE takes that
    // personality (iSCSI first).
    for (SweepAdapter& nic : list) {
        if (nic.portType != PORT_NIC) continue;
        for (int kind : {PORT_ISCSI, PORT_FCOE}) {
            bool found = false;
            for (const SweepAdapter& other : list)
                found = found || (other.portType == kind && sameAdapter(nic, other));
            if (found) {
                nic.personality = kind;
                break;
            }
        }
    }
    int next = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (!groupsSiblings(list[i]) || list[i].group != FWS_NO_GROUP) continue;
        list[i].group = next++;
        for (size_t j = i + 1; j < list.size(); ++j)
            if (groupsSiblings(list[j]) && list[j].group == FWS_NO_GROUP &&
                sameAdapter(list[i], list[j]))
                list[j].group = list[i].group;
    }
    for (SweepAdapter& a : list) {
        const char* suffix = a.personality == PORT_FCOE    ? "-FCoE"
                             : a.personality == PORT_ISCSI ? "-iSCSI"
                             : a.personality == PORT_NIC   ? "-NIC"
                                                           : nullptr;
        if (suffix && !(vpd && a.vpdModel)) {
            appendSuffix(a.matrixKey, sizeof a.matrixKey, suffix);
            appendSuffix(a.model, sizeof a.model, suffix);
        }
        if (isLegacyFcDevice(a.deviceId)) {
            for (char* c = a.matrixKey; *c; ++c) {
                if (*c == '-' || static_cast<unsigned char>(*c) < '!') {
                    *c = '\0';
                    break;
                }
            }
        }
    }
}
