// Converged and FC version texts, their order, and the rule that says whether
// an image must be downloaded.
#include "fwsweep/versions.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "fwsweep/output.h"

namespace {

// Reference version that management-controller CV2 adapters need at least.
constexpr uint32_t kCv2Minimum[4] = {4, 0, 360, 15};

bool isCnaType(int t) {
    return t == IMAGE_CV2 || t == IMAGE_CV3 || t == IMAGE_CV4 || t == IMAGE_GRP ||
           t == IMAGE_GRP_G6;
}

int compare(uint32_t a, uint32_t b) {
    return a > b ? 1 : (a < b ? -1 : 0);
}

} // namespace

int encodeCNAVersion(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build,
                     const char* text) {
    if (!major || !minor || !release || !build || !text) {
        dbgTrace("[encodeCNAVersion] - Invalid arguments!\n");
        return FWS_VERSION_BAD;
    }
    *major = *minor = *release = *build = 0;
    if (*text == '\0') {
        dbgTrace("[encodeCNAVersion] - pDecodedVersion is zero-length!\n");
        return FWS_VERSION_BAD;
    }
    uint32_t* parts[4] = {major, minor, release, build};
    const char* p = text;
    int found = 0;
    while (found < 4 && isdigit(static_cast<unsigned char>(*p))) {
        char* end = nullptr;
        unsigned long v = strtoul(p, &end, 10);
        *parts[found++] = static_cast<uint32_t>(v);
        p = end;
        if (*p != '.') break;
        ++p;
    }
    if (found > 0 && *major == 3) *major = 2;
    return found == 4 ? FWS_VERSION_OK : FWS_VERSION_BAD;
}

void correctCvVersionText(char* text) {
    char* dot = text ? strchr(text, '.') : nullptr;
    if (dot && dot[1] != '\0') dot[1] = '1';
}

void decodeRawFCBuildString(CluImage* rec, const char* text) {
    dbgTrace("\n[decodeRawFCBuildString]\n");
    dbgTrace("%-20s : %s\n", "Raw FW Version", text ? text : "");
    const char* p = text ? text : "";
    while (*p && static_cast<unsigned char>(*p) >= 'A')
        ++p;
    auto digit = [&p]() -> uint32_t {
        if (!isdigit(static_cast<unsigned char>(*p))) return 0;
        return static_cast<uint32_t>(*p++ - '0');
    };
    uint32_t version = digit();
    if (*p == '.') ++p;
    uint32_t revision = digit();
    uint32_t fix = digit() & 3;
    uint32_t distType = 0;
    const char* distText = "N";
    if (*p) {
        switch (*p++) {
        case 'A':
            distType = 1, distText = "A";
            break;
        case 'B':
            distType = 2, distText = "B";
            break;
        case 'X':
            distType = 3, distText = "X";
            break;
        default:
            break;
        }
    }
    uint32_t count = 0;
    while (isdigit(static_cast<unsigned char>(*p)))
        count = (count * 10 + static_cast<uint32_t>(*p++ - '0')) & 0xFFFF;
    count &= 0xF;
    rec->fcVersion =
        ((version & 0xF) << 12) | ((revision & 0xF) << 8) | (fix << 6) | (distType << 4) | count;
    dbgTrace("%-20s : %d\n", "version", version);
    dbgTrace("%-20s : %d\n", "revision", revision);
    dbgTrace("%-20s : %d\n", "fixlevel", fix);
    dbgTrace("%-20s : %s (%d)\n", "dist_type", distText, distType);
    dbgTrace("%-20s : %d\n", "dist_cnt", count);
    snprintf(rec->decodedVersion, sizeof rec->decodedVersion, "%u%u%u%s%u", version, revision, fix,
             distText, count);
    dbgTrace("%-20s : %s\n", "Decoded Version", rec->decodedVersion);
}

int isGreaterCNAVersion(const CluImage& a, const CluImage& b) {
    const uint32_t pa[5] = {static_cast<uint32_t>(a.imageType), a.major, a.minor, a.release,
                            a.build};
    const uint32_t pb[5] = {static_cast<uint32_t>(b.imageType), b.major, b.minor, b.release,
                            b.build};
    for (int i = 0; i < 5; ++i)
        if (int c = compare(pa[i], pb[i])) return c;
    return 0;
}

int isUpdateNeededCNA(const CluImage& current, const CluImage& image, bool equalCounts) {
    if (!isCnaType(current.imageType) && !isCnaType(image.imageType)) {
        dbgTrace("[isUpdateNeededCNA] - ERROR: Invalid image type!\n");
        return FWS_NEEDED_BAD_TYPE;
    }
    int c = isGreaterCNAVersion(image, current);
    return (c > 0 || (c == 0 && equalCounts)) ? 1 : 0;
}

int hasSupportedCV2FirmwareVersion(uint32_t major, uint32_t minor, uint32_t release,
                                   uint32_t build) {
    dbgTrace("\n[hasSupportedCV2FirmwareVersion]\n");
    const uint32_t cur[4] = {major, minor, release, build};
    static const char* const kNames[4] = {"Major", "Minor", "Release", "Build"};
    for (int i = 0; i < 4; ++i) {
        dbgTrace("\nComparing %s Versions - base = %u, fpga = %u\n", kNames[i], cur[i],
                 kCv2Minimum[i]);
        if (cur[i] < kCv2Minimum[i]) {
            dbgTrace("curVersion < fpgaVersion - Supported = FALSE\n");
            return 0;
        }
        if (cur[i] > kCv2Minimum[i]) {
            dbgTrace("curVersion > fpgaVersion - Supported = TRUE\n");
            return 1;
        }
        dbgTrace("curVersion == fpgaVersion - Continue version test\n");
    }
    dbgTrace("Current versions are equal to the fpga versions! Supported = TRUE\n");
    return 1;
}

int isCompatibleCV2FirmwareImage(const CluImage& image) {
    return hasSupportedCV2FirmwareVersion(image.major, image.minor, image.release, image.build);
}

int hasSupportedCV2Firmware(const SweepAdapter& adapter) {
    return isCompatibleCV2FirmwareImage(adapter.fwImage);
}
