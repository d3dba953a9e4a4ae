// Image files: the extension test, the version of a UFI file (build string of
// its header, and the ASIC revision byte of generation-3 and -4 headers), and
// the image list of a firmware folder for auto mode.
//
// The header is read once through the safe open: a FIFO, device or folder
// where an image should be is refused at once (status 199) instead of
// blocking the read.
#include <unistd.h>

#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/output.h"
#include "fwsweep/versions.h"
#include "hbaset/ufi/ufi_image.h"
#include "platform/plat_fs.h"
#include "platform/plat_safe_io.h"

namespace {

constexpr size_t kDirPathMax = 255;
constexpr uint32_t kStatusCannotOpen = 199; // the reader's "cannot be opened"
constexpr uint32_t kStatusShort = 197;      // fewer bytes than the header

// Reads up to size bytes from the start of the regular file at path.
// Returns 0 with *got, or 199 when it cannot be opened or is not a regular
// file (*why tells which).
uint32_t readHead(const char* path, uint8_t* buf, size_t size, size_t* got, int* why) {
    *got = 0;
    int fd = -1;
    *why = plat_open_regular(path, &fd);
    if (*why != PLAT_OPEN_OK) return kStatusCannotOpen;
    while (*got < size) {
        ssize_t n = read(fd, buf + *got, size - *got);
        if (n <= 0) break;
        *got += static_cast<size_t>(n);
    }
    close(fd);
    return 0;
}

const char* const kDirChecks[][3] = {
    {"\n[makeFileNameList] - Directory path is null!\n",
     "\n[makeFileNameList] - Directory path is too long!\n",
     "\n[makeFileNameList] - Directory path does not include trailing \\\n"},
    {"[initFileImage] - Directory path is null!\n",
     "[initFileImage] - Directory path is too long!\n",
     "[initFileImage] - Directory path does not include trailing \\\n"},
};

// 0 when dir is usable; which picks the messages (0 list, 1 single file).
int checkDirectory(const std::string& dir, int which) {
    const char* const* m = kDirChecks[which];
    if (dir.empty()) return dbgTrace("%s", m[0]), 1;
    if (dir.size() >= kDirPathMax) return dbgTrace("%s", m[1]), 1;
    if (dir.back() != '/') return dbgTrace("%s", m[2]), 1;
    return 0;
}

// ASIC-revision identification of a generation-3 or -4 image.
void identifyRevision(CluImage* rec, uint8_t asic) {
    rec->asicRevisionId = asic;
    rec->isCVR = 1;
    if (rec->imageType == IMAGE_CV3 && asic == 17)
        dbgTrace("CV3-R P2 identification succeeded! This image is compatible with CV3, CV3-R, "
                 "and CV3-R P2.\n");
    else if (rec->imageType == IMAGE_CV3 && asic == 16)
        dbgTrace("CV3-R identification succeeded! This image is compatible with CV3, and "
                 "CV3-R.\n");
    else if (rec->imageType == IMAGE_CV4 && asic > 15)
        dbgTrace("Identification succeeded! Is CV4-R or later.\n");
    else if (asic != 0)
        dbgTrace("This is an unknown CV-R image!\n");
    else {
        rec->isCVR = 0;
        dbgTrace("This is a CV%d (non-R) image!\n", rec->imageType);
    }
}

int getUFIBuildVersion(const char* path, CluImage* rec) {
    dbgTrace("\n[getUFIBuildVersion]\n");
    dbgTrace("Input file = %s\n", path);
    copyBounded(rec->decodedVersion, sizeof rec->decodedVersion, "0.0.0.0");
    copyBounded(rec->sortedVersion, sizeof rec->sortedVersion, "N/A");
    copyBounded(rec->legacyType, sizeof rec->legacyType, "N/A");
    rec->imageType = IMAGE_NONE;
    uint8_t head[UFI_HEADER_CV3_SIZE] = {};
    size_t got = 0;
    int why = PLAT_OPEN_OK;
    uint32_t st = readHead(path, head, sizeof head, &got, &why);
    if (st == 0 && got < UFI_HEADER_SIZE) st = kStatusShort;
    if (st != 0) {
        dbgTrace("GetRawUFIBuildString failed = %u (%s)\n", st, plat_open_result_text(why));
        return static_cast<int>(st);
    }
    char raw[UFI_BUILD_STRING_SIZE] = {};
    memcpy(raw, head + UFI_OFF_BUILD_STRING, UFI_BUILD_STRING_SIZE - 1);
    dbgTrace("Raw     = %s\n", raw);
    int generation = 0;
    char version[FWS_VERSION_SIZE] = {};
    st = DecodeRawBuildString(raw, &generation, version, sizeof version);
    if (st != 0) {
        dbgTrace("DecodeRawBuildString failed. status = %u\n", st);
        return static_cast<int>(st);
    }
    rec->imageType = generation;
    copyBounded(rec->decodedVersion, sizeof rec->decodedVersion, version);
    dbgTrace("Decoded = %s\n", rec->decodedVersion);
    dbgTrace("Type    = %d\n", rec->imageType);
    rec->isCVR = 0;
    if (generation == UFI_GEN_CV2) return 0;
    if (got < UFI_HEADER_CV3_SIZE) {
        dbgTrace("ReadUFIHeaderCV3 for CVR failed! status = %u\n", kStatusShort);
        return static_cast<int>(kStatusShort);
    }
    UfiHeaderCV3 header;
    decodeUfiHeaderCV3(head, &header);
    identifyRevision(rec, header.asicTypeRevision);
    return 0;
}

const char* baseName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The version parts of a decoded record.
void encodeParts(CluImage* rec) {
    encodeCNAVersion(&rec->major, &rec->minor, &rec->release, &rec->build, rec->decodedVersion);
    copyBounded(rec->sortedVersion, sizeof rec->sortedVersion, "N/A");
}

} // namespace

int isValidFileExtension(const char* name, int* extType, int mode) {
    *extType = EXT_NONE;
    if (mode == 1 || name == nullptr) return 1;
    if (!strstr(name, ".UFI") && !strstr(name, ".ufi")) return 1;
    *extType = EXT_UFI;
    return 0;
}

int verifyFwFile(const char* path, CluImage* rec) {
    int ext = EXT_NONE;
    isValidFileExtension(baseName(path), &ext, 0);
    rec->extType = ext;
    if (ext != EXT_UFI) {
        rec->imageType = IMAGE_NONE;
        return FWS_FILE_NOT_UFI;
    }
    return getUFIBuildVersion(path, rec);
}

int initFileImage(CluImage* rec, const std::string& dir, const char* name, int mode) {
    if (checkDirectory(dir, 1) != 0) return 1;
    int ext = EXT_NONE;
    if (isValidFileExtension(name, &ext, mode) != 0) {
        dbgTrace("ERROR: [initFileImage] - Skipping invalid file = %s\n", name);
        return 1;
    }
    int st = verifyFwFile((dir + name).c_str(), rec);
    if (st != 0) return st;
    copyBounded(rec->filename, sizeof rec->filename, name);
    encodeParts(rec);
    return 0;
}

int makeFileNameList(const std::string& dir, std::vector<CluImage>* out) {
    out->clear();
    if (checkDirectory(dir, 0) != 0) return 1;
    std::vector<PlatDirEntry> entries;
    if (!plat_list_dir_sorted(dir.c_str(), &entries)) return 1;
    for (const PlatDirEntry& e : entries) {
        if (e.is_dir) continue;
        int ext = EXT_NONE;
        if (isValidFileExtension(e.name.c_str(), &ext, 0) != 0 ||
            e.name.size() > FWS_FILE_NAME_MAX) {
            dbgTrace("\n[makeFileNameList] - Skipping invalid file = %s\n\n", e.name.c_str());
            continue;
        }
        CluImage rec;
        int why = PLAT_OPEN_OK;
        int fd = -1;
        if ((why = plat_open_regular((dir + e.name).c_str(), &fd)) != PLAT_OPEN_OK) {
            outText("\n%s: Skipping %s%s: %s\n", FWS_PROGRAM, dir.c_str(), e.name.c_str(),
                    plat_open_result_text(why));
            continue;
        }
        close(fd);
        if (verifyFwFile((dir + e.name).c_str(), &rec) != 0) continue;
        copyBounded(rec.filename, sizeof rec.filename, e.name.c_str());
        encodeParts(&rec);
        // After every record at least as great: equal versions keep name order.
        auto pos = out->begin();
        while (pos != out->end() && isGreaterCNAVersion(*pos, rec) >= 0)
            ++pos;
        out->insert(pos, rec);
    }
    return out->empty() ? 1 : 0;
}
