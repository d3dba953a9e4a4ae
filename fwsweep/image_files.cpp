// Image files: the extension test, the version of a UFI file (build string of
// its header, and the ASIC revision byte of generation-3 and -4 headers), and
// the image list of a firmware folder for auto mode.
#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/output.h"
#include "fwsweep/versions.h"
#include "hbaset/ufi/ufi_image.h"
#include "platform/plat_fs.h"

namespace {

constexpr size_t kDirPathMax = 255;

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
    char raw[UFI_BUILD_STRING_SIZE] = {};
    uint32_t st = GetRawUFIBuildString(path, raw);
    if (st != 0) {
        dbgTrace("GetRawUFIBuildString failed = %u\n", st);
        return static_cast<int>(st);
    }
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
    UfiHeaderCV3 header;
    st = GetUFIHeaderCV3(path, &header);
    if (st != 0) {
        dbgTrace("ReadUFIHeaderCV3 for CVR failed! status = %u\n", st);
        return static_cast<int>(st);
    }
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
