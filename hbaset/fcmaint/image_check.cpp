// Image compatibility checks: image id lists, VPD style, AWC image families,
// the boot ROM header and the checks the download engines call.
#include "hbaset/fcmaint/image_check.h"

#include <cctype>
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/image_id_lists.h"
#include "hbaset/fcmaint/mbox_records.h"
#include "hbaset/fcmaint/vpd.h"

namespace {

bool inList(const uint32_t* list, uint32_t family) {
    for (; *list != 0; ++list)
        if (*list == family) return true;
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 55;
    if (c >= 'a' && c <= 'z') return c - 87;
    return -1;
}

bool conditionHolds(const char* cond, size_t n, const ListAdapter& a) {
    auto is = [&](const char* word) {
        return n == std::strlen(word) && std::strncmp(cond, word, n) == 0;
    };
    if (is("D+I")) return a.dual && a.ibmVpd;
    if (is("D")) return a.dual;
    if (is("I")) return a.ibmVpd;
    if (is("neither") || is("else")) return true;
    if (n > 4 && std::strncmp(cond, "dev=", 4) == 0) {
        uint32_t id = 0;
        for (size_t i = 4; i < n; ++i)
            id = id * 16 + static_cast<uint32_t>(hexValue(cond[i]));
        return id == a.deviceId;
    }
    return false;
}

// Evaluates one cell text for an id.
ListVerdict evalCell(const char* cell, const ListAdapter& a, uint32_t id) {
    if (std::strcmp(cell, "-") == 0) return LIST_ACCEPT;
    const bool noisy = std::strchr(cell, '*') != nullptr;
    const ListVerdict refuse = noisy ? LIST_REFUSE_NOISY : LIST_REFUSE;
    if (std::strncmp(cell, "refused", 7) == 0) return refuse;
    // Find the alternative that applies.
    const char* ids = cell;
    const char* end = cell + std::strlen(cell);
    for (const char* p = cell; p < end;) {
        const char* semi = std::strchr(p, ';');
        const char* stop = semi ? semi : end;
        const char* colon =
            static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(stop - p)));
        if (colon == nullptr) {
            ids = p;
            break;
        }
        if (conditionHolds(p, static_cast<size_t>(colon - p), a)) {
            ids = colon + 1;
            break;
        }
        ids = nullptr;
        p = semi ? semi + 1 : end;
    }
    if (ids == nullptr) return refuse;
    for (const char* p = ids; *p != 0 && *p != ';' && *p != '*';) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        uint32_t v = 0;
        while (hexValue(*p) >= 0 && hexValue(*p) < 16)
            v = v * 16 + static_cast<uint32_t>(hexValue(*p++));
        if (v == id) return LIST_ACCEPT;
        while (*p != 0 && *p != ' ' && *p != ';')
            ++p;
    }
    return refuse;
}

const ImageIdRow* findRow(uint32_t family) {
    for (size_t i = 0; i < kImageIdRowCount; ++i)
        for (uint32_t f : kImageIdRows[i].families)
            if (f != 0 && f == family) return &kImageIdRows[i];
    return nullptr;
}

int columnOf(uint32_t type) {
    switch (type) {
    case 2:
        return 0;
    case 3:
        return 1;
    case 6:
        return 2;
    case 7:
        return 3;
    case 11:
    case 14:
        return 4;
    default:
        return -1;
    }
}

ListVerdict quietUnless(ListVerdict v, const uint32_t* noisy, uint32_t family) {
    if (v == LIST_ACCEPT) return v;
    return inList(noisy, family) ? LIST_REFUSE_NOISY : LIST_REFUSE;
}

void incorrectAdapter() {
    emitText("Incompatible Image - Incorrect Adapter\n");
}

ListAdapter listAdapter(int adapter, uint32_t family) {
    ListAdapter a{family, false, false, 0};
    if (isFcIndex(adapter)) {
        const AdapterRecord& r = g_table.adapterTable[adapter];
        a.dual = (r.flags & ADAPTER_FLAG_DUAL_CHANNEL) != 0;
        a.ibmVpd = r.ibmVpd != 0;
        a.deviceId = r.deviceId;
    }
    return a;
}

// The VPD style text of the adapter (keyword V3), empty when there is none.
void vpdStyle(int adapter, char* out, size_t size) {
    VpdRecord rec;
    out[0] = 0;
    if (readVpdKeywords(adapter, &rec) == 0 && rec.V3[0] != 0) {
        size_t n = strnlen(rec.V3, sizeof rec.V3);
        if (n >= size) n = size - 1;
        std::memcpy(out, rec.V3, n);
        out[n] = 0;
    }
}

} // namespace

ListVerdict imageIdListCheck(ListUse use, const ListAdapter& a, uint32_t type, uint32_t id) {
    const ImageIdRow* row = findRow(a.family);
    switch (use) {
    case LIST_PRG: {
        int col = columnOf(type);
        if (row == nullptr || col < 0) return LIST_ACCEPT;
        return evalCell(row->cells[col], a, id);
    }
    case LIST_BWC:
        if (row == nullptr || inList(kBwcUnchecked, a.family)) return LIST_ACCEPT;
        return quietUnless(evalCell(row->cells[1], a, id), kBwcNoisy, a.family);
    case LIST_DWC:
        if (type == 11) return a.family == 0xF180 && id != 0x72 ? LIST_REFUSE : LIST_ACCEPT;
        if (type != 7 || row == nullptr || inList(kDwcUnchecked, a.family)) return LIST_ACCEPT;
        if (a.family == 0xFE00)
            return quietUnless(evalCell(kDwcFe00Type7, a, id), kDwcNoisy, a.family);
        return quietUnless(evalCell(row->cells[3], a, id), kDwcNoisy, a.family);
    case LIST_DWC_BOOT:
        if (row == nullptr || inList(kDwcBootUnchecked, a.family)) return LIST_ACCEPT;
        return quietUnless(evalCell(row->cells[1], a, id), kDwcBootNoisy, a.family);
    }
    return LIST_ACCEPT;
}

bool vpdStyleMatch(const char* style, uint32_t type, uint32_t id) {
    size_t n = strnlen(style, VPD_V3_SIZE);
    const char* end = style + n;
    const char* p = style;
    while (p < end) {
        const char* t = static_cast<const char*>(std::memchr(p, 'T', static_cast<size_t>(end - p)));
        if (t == nullptr) return false;
        p = t + 1;
        uint32_t groupType = 0;
        while (p < end && *p != ':' && *p != 'T') {
            int v = hexValue(*p++);
            if (v >= 0) groupType = groupType * 16 + static_cast<uint32_t>(v);
        }
        if (p >= end || *p != ':') continue;
        ++p;
        if ((groupType & 0xFF) != (type & 0xFF)) continue;
        // The first group of the wanted type decides.
        while (p < end && *p != 'T') {
            if (*p == ',' || *p == ' ') {
                ++p;
                continue;
            }
            if (p + 1 < end && p[0] == '0' && (p[1] == 'X' || p[1] == 'x')) p += 2;
            uint32_t v = 0;
            while (p < end && *p != ',' && *p != 'T') {
                int d = hexValue(*p++);
                if (d >= 0) v = v * 16 + static_cast<uint32_t>(d);
            }
            if ((v & 0xFF) == (id & 0xFF)) return true;
        }
        return false;
    }
    return false;
}

uint32_t awcFamilyFromWord(uint32_t word) {
    struct Row {
        uint8_t bytes[4];
        uint8_t count;
        uint32_t family;
    };
    static const Row kRows[] = {
        {{0, 10}, 2, 0x1AE5},
        {{16, 26}, 2, 0xF700},
        {{24}, 1, 0xF0E1},
        {{32, 42}, 2, 0xF800},
        {{48}, 1, 0xF085},
        {{64, 74}, 2, 0xF900},
        {{80, 81}, 2, 0xF095},
        {{96, 106}, 2, 0xF980},
        {{112, 113}, 2, 0xF098},
        {{128, 138, 139}, 3, 0xFA00},
        {{144, 145}, 2, 0xF0A5},
        {{160, 161}, 2, 0xFB00},
        {{176, 177}, 2, 0xF0A1},
        {{192, 202, 203, 204}, 4, 0xFD00},
        {{208, 209}, 2, 0xF0D5},
        {{168}, 1, 0xF0D1},
        {{120, 122}, 2, 0xF100},
        {{40}, 1, 0xF015},
        {{72}, 1, 0xF011},
        {{88}, 1, 0xFE05},
        {{224, 234, 235, 236}, 4, 0xFE00},
        {{240, 241}, 2, 0xF0E5},
        {{114}, 1, 0xF180},
    };
    uint32_t b = (word >> 16) & 0xFF;
    for (const Row& r : kRows)
        for (uint8_t i = 0; i < r.count; ++i)
            if (r.bytes[i] == b) return r.family;
    return word;
}

uint32_t awcImageFamily(const ImageView& image, uint32_t* familyByte, bool* readOk) {
    uint32_t word = 0;
    *readOk = readWordsAt(image, AWC_FAMILY_OFFSET, &word, 1) == 0;
    *familyByte = (word >> 16) & 0xFF;
    return *readOk ? awcFamilyFromWord(word) : IMAGE_FAMILY_NONE;
}

bool awcFamilyAgrees(uint32_t f, uint32_t image, uint32_t familyByte) {
    static const uint32_t kSame[] = {0xF098, 0xF0A1, 0xFA00, 0xF0A5, 0xFB00, 0xFD00, 0xF0D5, 0xF0D1,
                                     0xF015, 0xF011, 0xFE05, 0xFE00, 0xF0E5, 0xF180, 0};
    static const uint32_t k192[] = {0xFC10, 0xFD11, 0xFD12, 0};
    static const uint32_t k224[] = {0xFC20, 0xFE11, 0xFE12, 0xFE04, 0};
    static const uint32_t kF0F5[] = {0xF0F5, 0xF0F6, 0xF0F7, 0xFC30, 0};
    if (f == 0xF980 || f == 0xF98D) return image == 0xF980;
    if (inList(kSame, f)) return image == f;
    if (inList(k192, f)) return familyByte == 192;
    if (inList(k224, f)) return familyByte == 224;
    if (isZorathFamily(f) || f == 0xFC40) return image == 0xF100;
    if (inList(kF0F5, f)) return image == 0xF0F5;
    return true;
}

uint32_t checkPrgCompatibility(int adapter, const ImageView& image, const PrgHeader& h,
                               uint32_t family) {
    const uint32_t type = prgType(h);
    const uint32_t id = prgImageId(h);
    emitText("Download PRG image for adapter %lx PrgType %02x ID %02x\n",
             static_cast<unsigned long>(family), type, id);
    char style[VPD_V3_SIZE];
    vpdStyle(adapter, style, sizeof style);
    if (style[0] != 0) {
        if (!vpdStyleMatch(style, type, id)) {
            emitText("VPD Style: NO match %s %x %x\n", style, type, id);
            return DL_INCOMPATIBLE;
        }
        emitText("VPD Style %s %x %x\n", style, type, id);
    } else {
        if (family == 0xF800 && (type == 2 || type == 6 || type == 7) &&
            ((h.w[1] >> 12) & 0xF) > 2 && (h.w[1] & 0x800) != 0) {
            emitText("Incompatible Image - Incorrect Version\n");
            return DL_INCOMPATIBLE_VERSION;
        }
        ListVerdict v = imageIdListCheck(LIST_PRG, listAdapter(adapter, family), type, id);
        if (v == LIST_REFUSE_NOISY) incorrectAdapter();
        if (v != LIST_ACCEPT) return DL_INCOMPATIBLE;
    }
    if (type == PROGRAM_TYPE_BOOT && (isZorathFamily(family) || isSecureFamily(family))) {
        uint32_t st = ValidateZorathOrKeltorBootProgId(image, PRG_HEADER_SIZE, family);
        if (st != 0) return st;
    }
    if (isSecureFamily(family) && type != PROGRAM_TYPE_BOOT) {
        uint32_t st = authenticatePrg(adapter, image, 0, h);
        if (st != 0) {
            emitText("Authentication Error\n");
            return st;
        }
    }
    return 0;
}

uint32_t CheckAbsImageFile(int adapter, const ImageView& image, uint64_t start, const AifHeader& h,
                           uint32_t family) {
    emitText("Validate file type\n");
    const uint32_t id = (aifIdWord(h) >> 16) & 0xFF;
    const uint32_t type = aifIdWord(h) >> 24;
    const ListAdapter la = listAdapter(adapter, family);
    char style[VPD_V3_SIZE];
    ListVerdict v = LIST_ACCEPT;
    switch (aifKind(h)) {
    case AIF_KIND_BWC:
        emitText("BWC imageID %x\n", id);
        vpdStyle(adapter, style, sizeof style);
        if (style[0] != 0) {
            if (!vpdStyleMatch(style, type, id)) {
                emitText("VPD Style: NO match %s %x %x\n", style, type, id);
                return DL_INCOMPATIBLE;
            }
            emitText("VPD Style: OK %s %x %x\n", style, type, id);
            return 0;
        }
        v = imageIdListCheck(LIST_BWC, la, PROGRAM_TYPE_BOOT, id);
        break;
    case AIF_KIND_DWC:
        emitText("DWC imageID %x\n", id);
        vpdStyle(adapter, style, sizeof style);
        if (style[0] != 0) {
            if (vpdStyleMatch(style, type, id)) {
                emitText("VPD Style OK %s %x %x\n", style, type, id);
                return 0;
            }
            if (!la.ibmVpd) {
                emitText("VPD Style: NO match %s %x %x\n", style, type, id);
                return DL_INCOMPATIBLE;
            }
        }
        v = imageIdListCheck(LIST_DWC, la, type, id);
        break;
    case AIF_KIND_AWC: {
        vpdStyle(adapter, style, sizeof style);
        uint32_t familyByte = 0;
        bool readOk = false;
        uint32_t imageFamily = awcImageFamily(image, &familyByte, &readOk);
        if (style[0] != 0 && readOk && vpdStyleMatch(style, 255, familyByte)) {
            emitText("VPD Style OK %s %x %x\n", style, 255u, familyByte);
        } else {
            emitText("AWC for Adapter Family %x\n", imageFamily);
            if (!awcFamilyAgrees(family, imageFamily, familyByte)) return DL_INCOMPATIBLE;
        }
        break;
    }
    case AIF_KIND_FWC:
        emitText("FWC imageID %x\n", id);
        emitText("FWC imageType %x\n", type);
        vpdStyle(adapter, style, sizeof style);
        if (style[0] != 0) {
            if (!vpdStyleMatch(style, type, id)) {
                emitText("VPD Style: NO match %s %x %x\n", style, type, id);
                return DL_INCOMPATIBLE;
            }
            emitText("VPD Style OK %s %x %x\n", style, type, id);
        } else if (!(family == 0xF180 && id == 0x30)) {
            emitText("Incompatible FPGA Image - Incorrect Adapter\n");
            return DL_INCOMPATIBLE;
        }
        break;
    default:
        return DL_INCOMPATIBLE;
    }
    if (v == LIST_REFUSE_NOISY) incorrectAdapter();
    if (v != LIST_ACCEPT) return DL_INCOMPATIBLE;
    // Firmware images for the secure family must be signed.
    if (isSecureFamily(family) && (aifKind(h) == AIF_KIND_AWC || aifKind(h) == AIF_KIND_FWC)) {
        uint32_t flags = 0;
        if (readWordsAt(image, start + AIF_HEADER_SIZE + 12, &flags, 1) != 0 ||
            (flags & PRG_FLAG_KEY_BLOCK) == 0)
            return DL_UNSIGNED;
    }
    return 0;
}

uint32_t checkDwcPrograms(int adapter, const ImageView& image, uint64_t start, uint64_t end,
                          const AifHeader& h, uint32_t family) {
    const ListAdapter la = listAdapter(adapter, family);
    // Families whose check takes the bundle's own id rather than the program's.
    static const uint32_t kBundleId[] = {0xF980, 0xF98D, 0xF098, 0xF0A1, 0xFA00, 0xF0A5,
                                         0xFD00, 0xFC10, 0xFE05, 0xFE00, 0xFC20, 0};
    const uint32_t bundleId = (aifIdWord(h) >> 16) & 0xFF;
    for (uint64_t at = start + AIF_OVERHEAD; at + PRG_HEADER_SIZE <= end;) {
        PrgHeader p;
        if (readWordsAt(image, at, p.w, PRG_HEADER_WORDS) != 0) break;
        if (p.w[0] == 0xFFFFFFFFu || p.w[0] < PRG_HEADER_SIZE) break;
        if (isSecureFamily(family)) {
            uint32_t st = authenticatePrg(adapter, image, at, p);
            if (st != 0) {
                emitText("Authentication Error\n");
                return st;
            }
        }
        if (prgType(p) == PROGRAM_TYPE_BOOT) {
            emitText("Boot BIOS imageID %x\n", bundleId);
            uint32_t id = inList(kBundleId, family) ? bundleId : prgImageId(p);
            ListVerdict v = imageIdListCheck(LIST_DWC_BOOT, la, PROGRAM_TYPE_BOOT, id);
            if (v == LIST_REFUSE_NOISY) incorrectAdapter();
            if (v != LIST_ACCEPT) return DL_INCOMPATIBLE;
        }
        at += p.w[0];
    }
    return 0;
}

uint32_t ReadBootImagePciHeader(const ImageView& image, uint64_t start,
                                uint8_t out[PCI_DATA_SIZE]) {
    traceGroup(TRACE_GROUP_FC, "[ReadBootImagePciHeader] Enter\n");
    // Words read through the file's word reversal are the ROM's own words.
    uint32_t w = 0;
    uint32_t st = readWordsAt(image, start, &w, 1);
    if (st != 0) return st;
    if ((w & 0xFFFF) != 0xAA55) {
        traceGroup(TRACE_GROUP_FC,
                   "[ReadBootImagePciHeader] Error: ImageSignature is invalid.  Signature is "
                   "0x%x\n",
                   w & 0xFFFF);
        return 1;
    }
    st = readWordsAt(image, start + 24, &w, 1);
    if (st != 0) return st;
    if (w == 0) return 1;
    uint32_t words[PCI_DATA_SIZE / 4];
    st = readWordsAt(image, start + (w & 0xFF), words, PCI_DATA_SIZE / 4);
    if (st != 0) return st;
    for (uint32_t i = 0; i < PCI_DATA_SIZE / 4; ++i)
        for (uint32_t b = 0; b < 4; ++b)
            out[4 * i + b] = static_cast<uint8_t>(words[i] >> (8 * b));
    if (std::memcmp(out, "PCIR", 4) != 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[ReadBootImagePciHeader] Error: pPciHeader->Signature is invalid.  Signature "
                   "is %c%c%c%c\n",
                   out[0], out[1], out[2], out[3]);
        return 1;
    }
    return 0;
}

uint32_t ValidateZorathOrKeltorBootProgId(const ImageView& image, uint64_t start, uint32_t family) {
    if (!isZorathFamily(family) && !isSecureFamily(family)) return 0;
    traceGroup(TRACE_GROUP_FC, "[ValidateZorathOrKeltorBootProgId] Enter\n");
    uint8_t pci[PCI_DATA_SIZE];
    uint32_t st = ReadBootImagePciHeader(image, start, pci);
    if (st != 0) {
        traceGroup(TRACE_GROUP_FC,
                   "[ValidateZorathOrKeltorBootProgId] Error: ReadBootImagePciHeader returned = "
                   "%d\n",
                   static_cast<int>(st));
        return st;
    }
    const uint32_t devId = static_cast<uint32_t>(pci[6] | (pci[7] << 8));
    if ((devId == 0xF180) != (family == 0xF180)) {
        traceGroup(TRACE_GROUP_FC,
                   "[ValidateZorathOrKeltorBootProgId] adapterFamily: 0x%x != PciHeader.DevId: "
                   "0x%x. Returning INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT\n",
                   family, devId);
        return DL_INCOMPATIBLE;
    }
    return 0;
}
