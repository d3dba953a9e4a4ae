// UFI header readers, flash directory search, build-string decoder and the
// file-size check. Files are opened, read and closed within each call.
#include "hbaset/ufi/ufi_image.h"

#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/bounded_text.h"
#include "common/tracelog/tracelog.h"
#include "hbaset/fcmaint/rm_status.h"
#include "platform/plat_files.h"

const uint8_t UFI_FLASH_DIR_COOKIE[UFI_FLASH_DIR_COOKIE_SIZE] = {
    '*', '*', '*', ' ', 'Q', 'V', ' ', 'F', 'L', 'A', 'S', 0,   0,   0,   0,   0,
    'H', ' ', 'D', 'I', 'R', 'E', 'C', 'T', 'O', 'R', 'Y', ' ', '*', '*', '*', ' '};

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Blocks read at a time by the directory search (a multiple of 32).
constexpr size_t kSearchChunk = 64 * 1024;
static_assert(kSearchChunk % UFI_FLASH_DIR_ALIGN == 0, "search chunks hold whole blocks");

uint32_t rdLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A fixed text field into a terminated copy (dest holds size + 1 bytes).
void textField(char* dest, const uint8_t* src, size_t size) {
    size_t n = strnlen(reinterpret_cast<const char*>(src), size);
    memcpy(dest, src, n);
    dest[n] = '\0';
}

bool dumpsEnabled() {
    return traceGroupEnabled(TRACE_GROUP_FC);
}

void dumpHeader(const UfiHeader& h) {
    if (!dumpsEnabled()) return;
    trace("\nUFI File Header\n");
    trace("signature          : %s\nchecksum           : 0x%x\nantidote           : 0x%x\n"
          "vendorId           : 0x%x\ndeviceId           : 0x%x\nsubVendorId        : 0x%x\n"
          "subDeviceId        : 0x%x\nfileLength         : 0x%x\nchunkNumber        : %d\n"
          "chunkSize          : %d\nnumImages          : %d\nbuidVersionString  : %s\n",
          h.signature, h.checksum, h.antidote, h.vendorId, h.deviceId, h.subVendorId, h.subDeviceId,
          h.fileLength, static_cast<int>(h.chunkNumber), static_cast<int>(h.chunkSize),
          static_cast<int>(h.numImages), h.buildVersionString);
}

void dumpHeaderCV3(const UfiHeaderCV3& h) {
    if (!dumpsEnabled()) return;
    trace("\nUFI File Header (CV3/Tarnel)\n");
    trace("signature         : %s\nUFI version       : %s\nfileLength        : 0x%x\n"
          "checksum          : 0x%x\nantidote          : 0x%x\nnumImages         : 0x%x\n"
          "buidVersionString : %s\n",
          h.signature, h.ufiVersion, h.fileLength, h.checksum, h.antidote, h.numImages,
          h.buildVersionString);
}

void dumpField(const char* name, uint32_t value) {
    trace("%-21s: 0x%x\n", name, value);
}

void dumpFlashDir(const UfiFlashDir& d) {
    if (!dumpsEnabled()) return;
    char half[17];
    trace("\nUFI Flash Directory Header\n");
    textField(half, d.cookie, 16);
    trace("%-21s: %s\n", "cookie1", half);
    textField(half, d.cookie + 16, 16);
    trace("%-21s: %s\n", "cookie2", half);
    dumpField("formatRevNumber", d.formatRevNumber);
    dumpField("checksum", d.checksum);
    dumpField("antidote", d.antidote);
    dumpField("buildNumber", d.buildNumber);
    for (size_t k = 0; k < UFI_FLASH_DIR_IDS; ++k) {
        char name[24];
        static const char* const kIdNames[] = {"vendorId", "deviceId", "subVendorId",
                                               "subDeviceId"};
        const uint32_t values[] = {d.ids[k].vendorId, d.ids[k].deviceId, d.ids[k].subVendorId,
                                   d.ids[k].subDeviceId};
        for (size_t f = 0; f < 4; ++f) {
            snprintf(name, sizeof(name), "%s%zu", kIdNames[f], k + 1);
            dumpField(name, values[f]);
        }
    }
    trace("\n");
}

FilePtr openImage(const char* path, const char* who) {
    FilePtr file(plat_fopen_input(path, nullptr));
    if (!file)
        traceGroup(TRACE_GROUP_FC,
                   "[%s] RM_STATUS_ERROR_READING_RESOURCE - Unable to open ifstream! Status = %d\n",
                   who, static_cast<int>(RM_STATUS_ERROR_READING_RESOURCE));
    return file;
}

// Offset of the first whole 32-byte block from start that equals the cookie,
// or -1 when the end of the file comes first.
int64_t findCookie(FILE* file, uint64_t start) {
    if (fseeko(file, static_cast<off_t>(start), SEEK_SET) != 0) return -1;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[kSearchChunk]);
    uint64_t offset = start;
    for (;;) {
        size_t got = std::fread(chunk.get(), 1, kSearchChunk, file);
        size_t whole = got - got % UFI_FLASH_DIR_ALIGN;
        for (size_t at = 0; at < whole; at += UFI_FLASH_DIR_ALIGN)
            if (memcmp(chunk.get() + at, UFI_FLASH_DIR_COOKIE, UFI_FLASH_DIR_COOKIE_SIZE) == 0)
                return static_cast<int64_t>(offset + at);
        if (got < kSearchChunk) return -1;
        offset += got;
    }
}

// The first length bytes of the image (cleared first); 197 when it is shorter.
uint32_t imageHead(const UfiImage& image, uint8_t* buffer, size_t length) {
    memset(buffer, 0, length);
    if (image.size < length) {
        traceGroup(TRACE_GROUP_FC,
                   "[ReadUFIHeader] bytes read %d < header length %d. Return "
                   "RM_STATUS_ERROR_SHORT_FWIMAGE\n",
                   static_cast<int>(image.size), static_cast<int>(length));
        if (image.size > 0) memcpy(buffer, image.data, static_cast<size_t>(image.size));
        return RM_STATUS_ERROR_SHORT_FWIMAGE;
    }
    memcpy(buffer, image.data, length);
    return RM_STATUS_OK;
}

// Length check of a file of size bytes against its header.
uint32_t compareFileLength(uint64_t size, const UfiHeader& header) {
    if (size == header.fileLength) return RM_STATUS_OK;
    bool shorter = size < header.fileLength;
    traceGroup(TRACE_GROUP_FC,
               shorter ? "[VerifyUFIFileSize] fileLength < ufi_header.fileLength. Return "
                         "RM_STATUS_ERROR_SHORT_FWIMAGE\n"
                       : "[VerifyUFIFileSize] fileLength > ufi_header.fileLength. Return "
                         "RM_STATUS_ERROR_LONG_FWIMAGE\n");
    traceGroup(TRACE_GROUP_FC,
               "[VerifyUFIFileSize] fileLength: 0x%llx ,ufi_header.fileLength: 0x%x\n",
               static_cast<unsigned long long>(size), header.fileLength);
    return shorter ? RM_STATUS_ERROR_SHORT_FWIMAGE : RM_STATUS_ERROR_LONG_FWIMAGE;
}

} // namespace

void decodeUfiHeader(const uint8_t raw[UFI_HEADER_SIZE], UfiHeader* out) {
    textField(out->signature, raw, UFI_SIGNATURE_SIZE);
    out->checksum = rdLe32(raw + 32);
    out->antidote = rdLe32(raw + 36);
    out->vendorId = rdLe32(raw + 40);
    out->deviceId = rdLe32(raw + 44);
    out->subVendorId = rdLe32(raw + 48);
    out->subDeviceId = rdLe32(raw + 52);
    out->fileLength = rdLe32(raw + UFI_OFF_FILE_LENGTH);
    out->chunkNumber = rdLe32(raw + 60);
    out->chunkSize = rdLe32(raw + 64);
    out->numImages = rdLe32(raw + 68);
    textField(out->buildVersionString, raw + UFI_OFF_BUILD_STRING, UFI_BUILD_STRING_SIZE);
}

void decodeUfiHeaderCV3(const uint8_t raw[UFI_HEADER_CV3_SIZE], UfiHeaderCV3* out) {
    textField(out->signature, raw, UFI_SIGNATURE_CV3_SIZE);
    textField(out->ufiVersion, raw + 52, UFI_VERSION_FIELD_SIZE);
    out->fileLength = rdLe32(raw + UFI_OFF_FILE_LENGTH);
    out->checksum = rdLe32(raw + 60);
    out->antidote = rdLe32(raw + 64);
    out->numImages = rdLe32(raw + 68);
    textField(out->buildVersionString, raw + UFI_OFF_BUILD_STRING, UFI_BUILD_STRING_SIZE);
    out->asicTypeRevision = raw[UFI_OFF_ASIC_REVISION];
}

void decodeUfiFlashDir(const uint8_t raw[UFI_FLASH_DIR_SIZE], UfiFlashDir* out) {
    memcpy(out->cookie, raw, UFI_FLASH_DIR_COOKIE_SIZE);
    out->formatRevNumber = rdLe32(raw + 32);
    out->checksum = rdLe32(raw + 36);
    out->antidote = rdLe32(raw + 40);
    out->buildNumber = rdLe32(raw + 44);
    for (size_t k = 0; k < UFI_FLASH_DIR_IDS; ++k) {
        const uint8_t* p = raw + 48 + 16 * k;
        out->ids[k] = {rdLe32(p), rdLe32(p + 4), rdLe32(p + 8), rdLe32(p + 12)};
    }
}

uint32_t ReadUFIHeader(const char* path, uint8_t* buffer, size_t length) {
    if (path == nullptr || buffer == nullptr) return RM_STATUS_BAD_ARGUMENT;
    memset(buffer, 0, length);
    FilePtr file = openImage(path, "ReadUFIHeader");
    if (!file) return RM_STATUS_ERROR_READING_RESOURCE;
    size_t got = std::fread(buffer, 1, length, file.get());
    if (got < length) {
        traceGroup(TRACE_GROUP_FC,
                   "[ReadUFIHeader] bytes read %d < header length %d. Return "
                   "RM_STATUS_ERROR_SHORT_FWIMAGE\n",
                   static_cast<int>(got), static_cast<int>(length));
        return RM_STATUS_ERROR_SHORT_FWIMAGE;
    }
    return RM_STATUS_OK;
}

uint32_t ReadUFIHeaderCV3(const char* path, uint8_t* buffer, uint64_t start) {
    if (path == nullptr || buffer == nullptr) return RM_STATUS_BAD_ARGUMENT;
    memset(buffer, 0, UFI_FLASH_DIR_SIZE);
    FilePtr file = openImage(path, "ReadUFIHeaderCV3");
    if (!file) return RM_STATUS_ERROR_READING_RESOURCE;
    int64_t at = findCookie(file.get(), start);
    if (at < 0) return RM_STATUS_UNKNOWN_FLASH_LAYOUT;
    if (fseeko(file.get(), static_cast<off_t>(at), SEEK_SET) != 0) return RM_STATUS_ERROR;
    if (std::fread(buffer, 1, UFI_FLASH_DIR_SIZE, file.get()) != UFI_FLASH_DIR_SIZE)
        return RM_STATUS_ERROR;
    return RM_STATUS_OK;
}

uint32_t GetUFIHeader(const char* path, UfiHeader* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    uint8_t raw[UFI_HEADER_SIZE];
    uint32_t rc = ReadUFIHeader(path, raw, sizeof(raw));
    decodeUfiHeader(raw, out);
    if (rc == RM_STATUS_OK) dumpHeader(*out);
    return rc;
}

uint32_t GetUFIHeaderCV3(const char* path, UfiHeaderCV3* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    uint8_t raw[UFI_HEADER_CV3_SIZE];
    uint32_t rc = ReadUFIHeader(path, raw, sizeof(raw));
    decodeUfiHeaderCV3(raw, out);
    if (rc == RM_STATUS_OK) dumpHeaderCV3(*out);
    return rc;
}

uint32_t GetUFIFlashDir(const char* path, uint64_t start, UfiFlashDir* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    std::unique_ptr<uint8_t[]> raw(new uint8_t[UFI_FLASH_DIR_SIZE]);
    uint32_t rc = ReadUFIHeaderCV3(path, raw.get(), start);
    decodeUfiFlashDir(raw.get(), out);
    if (rc == RM_STATUS_OK) dumpFlashDir(*out);
    return rc;
}

uint32_t GetRawUFIBuildString(const char* path, char* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    out[0] = '\0';
    uint8_t raw[UFI_HEADER_SIZE];
    uint32_t rc = ReadUFIHeader(path, raw, sizeof(raw));
    if (rc != RM_STATUS_OK) return rc;
    textField(out, raw + UFI_OFF_BUILD_STRING, UFI_BUILD_STRING_SIZE - 1);
    return RM_STATUS_OK;
}

uint32_t DecodeRawBuildString(const char* raw, int* generation, char* version, size_t versionSize) {
    if (generation) *generation = UFI_GEN_NONE;
    copyBounded(version, versionSize, "");
    if (raw == nullptr || raw[0] == '\0') return RM_STATUS_BAD_ARGUMENT;
    int gen = UFI_GEN_NONE;
    switch (raw[0]) {
    case '4':
        gen = UFI_GEN_TARNEL;
        break;
    case '3':
        gen = UFI_GEN_CV3;
        break;
    case '2':
    case '1':
        gen = UFI_GEN_CV2;
        break;
    default:
        return RM_STATUS_ERROR;
    }
    char text[UFI_BUILD_STRING_SIZE];
    copyBounded(text, sizeof(text), raw);
    const char* start = text[1] == ' ' ? text + 2 : text;
    if (generation) *generation = gen;
    copyBounded(version, versionSize, start);
    return RM_STATUS_OK;
}

uint32_t VerifyUFIFileSize(const char* path) {
    if (path == nullptr) return RM_STATUS_BAD_ARGUMENT;
    uint64_t size = 0;
    {
        FilePtr file(plat_fopen_input(path, nullptr));
        if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return RM_STATUS_UNKNOWN_FLASH_LAYOUT;
        off_t end = ftello(file.get());
        if (end <= 0) return RM_STATUS_UNKNOWN_FLASH_LAYOUT;
        size = static_cast<uint64_t>(end);
    }
    UfiHeader header;
    uint32_t rc = GetUFIHeader(path, &header);
    if (rc != RM_STATUS_OK) return rc;
    return compareFileLength(size, header);
}

uint32_t GetUFIHeader(const UfiImage& image, UfiHeader* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    uint8_t raw[UFI_HEADER_SIZE];
    uint32_t rc = imageHead(image, raw, sizeof(raw));
    decodeUfiHeader(raw, out);
    if (rc == RM_STATUS_OK) dumpHeader(*out);
    return rc;
}

uint32_t GetUFIHeaderCV3(const UfiImage& image, UfiHeaderCV3* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    uint8_t raw[UFI_HEADER_CV3_SIZE];
    uint32_t rc = imageHead(image, raw, sizeof(raw));
    decodeUfiHeaderCV3(raw, out);
    if (rc == RM_STATUS_OK) dumpHeaderCV3(*out);
    return rc;
}

uint32_t GetUFIFlashDir(const UfiImage& image, uint64_t start, UfiFlashDir* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    std::unique_ptr<uint8_t[]> raw(new uint8_t[UFI_FLASH_DIR_SIZE]());
    uint32_t rc = RM_STATUS_UNKNOWN_FLASH_LAYOUT;
    // Whole 32-byte blocks from start only, as the file search reads them.
    for (uint64_t at = start; at <= image.size && image.size - at >= UFI_FLASH_DIR_ALIGN;
         at += UFI_FLASH_DIR_ALIGN) {
        if (memcmp(image.data + at, UFI_FLASH_DIR_COOKIE, UFI_FLASH_DIR_COOKIE_SIZE) != 0) continue;
        rc = RM_STATUS_ERROR;
        if (image.size - at >= UFI_FLASH_DIR_SIZE) {
            memcpy(raw.get(), image.data + at, UFI_FLASH_DIR_SIZE);
            rc = RM_STATUS_OK;
        }
        break;
    }
    decodeUfiFlashDir(raw.get(), out);
    if (rc == RM_STATUS_OK) dumpFlashDir(*out);
    return rc;
}

uint32_t GetRawUFIBuildString(const UfiImage& image, char* out) {
    if (out == nullptr) return RM_STATUS_BAD_ARGUMENT;
    out[0] = '\0';
    uint8_t raw[UFI_HEADER_SIZE];
    uint32_t rc = imageHead(image, raw, sizeof(raw));
    if (rc != RM_STATUS_OK) return rc;
    textField(out, raw + UFI_OFF_BUILD_STRING, UFI_BUILD_STRING_SIZE - 1);
    return RM_STATUS_OK;
}

uint32_t VerifyUFIFileSize(const UfiImage& image) {
    if (image.size == 0) return RM_STATUS_UNKNOWN_FLASH_LAYOUT;
    UfiHeader header;
    uint32_t rc = GetUFIHeader(image, &header);
    if (rc != RM_STATUS_OK) return rc;
    return compareFileLength(image.size, header);
}
