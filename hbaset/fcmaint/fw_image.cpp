// FC firmware image files: checksum, word reading and file kinds.
#include "hbaset/fcmaint/fw_image.h"

#include <cstring>

uint32_t RotXorChecksum(const uint32_t* words, size_t count) {
    RotXor x;
    for (size_t i = 0; i < count; ++i)
        x.add(words[i]);
    return x.result();
}

void fileBytesToWords(const uint8_t* in, uint32_t* out, size_t words) {
    for (size_t i = 0; i < words; ++i)
        out[i] = fileWord(in + 4 * i);
}

bool RotXorChecksumRange(const ImageView& image, uint64_t offset, uint64_t count,
                         uint32_t* result) {
    if (offset > image.size || count > (image.size - offset) / 4) return false;
    RotXor x;
    const uint8_t* p = image.data + offset;
    for (uint64_t i = 0; i < count; ++i)
        x.add(fileWord(p + 4 * i));
    *result = x.result();
    return true;
}

uint32_t prgHeaderChecksum(const PrgHeader& h) {
    return RotXorChecksum(h.w + 1, PRG_HEADER_WORDS - 1);
}

const char* fileExtension(const char* path) {
    const char* base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char* dot = strrchr(base, '.');
    return dot ? dot + 1 : "";
}

namespace {

// One row per extension; both spellings are accepted, nothing in between.
struct ExtensionRow {
    const char* lower;
    const char* upper;
    FileKind kind;
};
const ExtensionRow kExtensions[] = {
    {"all", "ALL", FILE_KIND_ALL}, {"dwc", "DWC", FILE_KIND_DWC}, {"bwc", "BWC", FILE_KIND_BWC},
    {"fwc", "FWC", FILE_KIND_FWC}, {"ufi", "UFI", FILE_KIND_UFI}, {"grp", "GRP", FILE_KIND_GRP},
};

} // namespace

FileKind fileKindOf(const char* extension) {
    for (const ExtensionRow& r : kExtensions)
        if (strcmp(extension, r.lower) == 0 || strcmp(extension, r.upper) == 0) return r.kind;
    return FILE_KIND_OTHER;
}

bool isBareAifName(const char* path) {
    // The first dot of the name as given: "./fw.aif" or "fw.1.aif" carry checksums.
    const char* dot = strchr(path, '.');
    if (dot == nullptr) return false;
    return strcmp(dot + 1, "aif") == 0 || strcmp(dot + 1, "AIF") == 0;
}

uint32_t readAt(const ImageView& image, uint64_t offset, void* out, size_t n) {
    if (offset > image.size || n > image.size - offset) return DL_SHORT_IMAGE;
    if (n > 0) std::memcpy(out, image.data + offset, n);
    return 0;
}

uint32_t readWordsAt(const ImageView& image, uint64_t offset, uint32_t* words, size_t n) {
    uint8_t buf[4 * 64];
    if (n > 64) return DL_READ_ERROR;
    uint32_t st = readAt(image, offset, buf, 4 * n);
    if (st == 0) fileBytesToWords(buf, words, n);
    return st;
}
