// `hbasim image ufi`: converged-adapter firmware files (.UFI).
//
// Generation 2 (CV2) files open with a 96-byte header, generations 3 (CV3) and
// 4 (Tarnel) with a 128-byte one; both keep the file length at 56 and the
// build string ("<generation> <version>") at 72, 32-bit fields little-endian.
// A CV2 file may carry a flash directory (2256 bytes on a 32-byte block) that
// lists further device IDs. The body is a fixed byte pattern; the file ends
// with the simulated maker's signature (sim/core/image_signature.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/core/image_signature.h"
#include "sim/image/image_builders.h"

namespace sim_image {

namespace {

constexpr size_t kGen2Header = 96;
constexpr size_t kGen3Header = 128;
constexpr size_t kDirSize = 2256;
constexpr size_t kDirIds = 8;
constexpr size_t kBuildField = 24;
constexpr uint32_t kMaxSize = 1u << 30; // largest image built (1 GiB)
const char kCookie[32] = {'*', '*', '*', ' ', 'Q', 'V', ' ', 'F', 'L', 'A', 'S',
                          0,   0,   0,   0,   0,   'H', ' ', 'D', 'I', 'R', 'E',
                          'C', 'T', 'O', 'R', 'Y', ' ', '*', '*', '*', ' '};

struct UfiOptions {
    int generation = 3;
    std::string version; // default per generation
    std::string build;   // whole raw build string; overrides generation+version
    bool buildGiven = false;
    int asic = 17;            // generation-3 header byte 96
    uint32_t vendor = 0x1F3C; // generation-2 header
    uint32_t device = 0x0700;
    std::vector<uint32_t> dirDevices; // non-empty: write a flash directory
    size_t dirOffset = 512;
    size_t size = 4096;
    std::string variant; // long, short, tiny, dir-cut, dir-misaligned, unsigned, badsig
    std::string out;
};

const char* default_version(int generation) {
    switch (generation) {
    case 2:
        return "10.7.200.1";
    case 4:
        return "12.0.300.1";
    default:
        return "11.4.300.1";
    }
}

void put32(std::vector<unsigned char>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[off + (size_t)i] = (unsigned char)(v >> (8 * i));
}

bool parse_u32(const std::string& s, uint32_t* out) {
    char* end = nullptr;
    unsigned long long v = strtoull(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || v > 0xFFFFFFFFull) return false;
    *out = (uint32_t)v;
    return true;
}

bool parse_devices(const std::string& s, std::vector<uint32_t>* out) {
    size_t p = 0;
    while (p <= s.size()) {
        size_t comma = s.find(',', p);
        std::string item = s.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
        uint32_t v = 0;
        if (!parse_u32(item, &v)) return false;
        out->push_back(v);
        if (comma == std::string::npos) break;
        p = comma + 1;
    }
    return !out->empty() && out->size() <= kDirIds;
}

bool known_variant(const std::string& v) {
    for (const char* name :
         {"long", "short", "tiny", "dir-cut", "dir-misaligned", "unsigned", "badsig"})
        if (v == name) return true;
    return false;
}

// Applies one option; false when the option or its value is not valid.
bool apply_option(const std::string& k, const std::string& v, UfiOptions* o) {
    uint32_t n = 0;
    if (k == "-o") {
        o->out = v;
        return true;
    }
    if (k == "--version") {
        o->version = v;
        return true;
    }
    if (k == "--build") {
        o->build = v;
        o->buildGiven = true;
        return true;
    }
    if (k == "--variant") {
        o->variant = v;
        return known_variant(v);
    }
    if (k == "--vendor") return parse_u32(v, &o->vendor);
    if (k == "--device") return parse_u32(v, &o->device);
    if (k == "--dir-devices") return parse_devices(v, &o->dirDevices);
    if (!parse_u32(v, &n)) return false;
    if (k == "--gen" && n >= 2 && n <= 4)
        o->generation = (int)n;
    else if (k == "--asic" && n <= 255)
        o->asic = (int)n;
    else if (k == "--dir-offset" && n <= kMaxSize)
        o->dirOffset = n;
    else if (k == "--size" && n <= kMaxSize)
        o->size = n;
    else
        return false;
    return true;
}

// 0 parsed, 2 usage error (message printed).
int parse_options(const ImageArgs& args, UfiOptions* o) {
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& k = args[i];
        if (i + 1 >= args.size()) {
            fprintf(stderr, "hbasim image ufi: %s needs a value\n", k.c_str());
            return 2;
        }
        if (!apply_option(k, args[i + 1], o)) {
            fprintf(stderr, "hbasim image ufi: bad option %s %s\n", k.c_str(), args[i + 1].c_str());
            return 2;
        }
    }
    if (o->out.empty()) {
        fprintf(stderr, "hbasim image ufi: -o FILE is required\n");
        return 2;
    }
    return 0;
}

void write_directory(const UfiOptions& o, size_t at, std::vector<unsigned char>& b) {
    memcpy(&b[at], kCookie, sizeof kCookie);
    put32(b, at + 32, 1); // formatRevNumber
    put32(b, at + 44, 1); // buildNumber
    for (size_t k = 0; k < o.dirDevices.size(); ++k) {
        size_t e = at + 48 + 16 * k;
        put32(b, e, o.vendor);
        put32(b, e + 4, o.dirDevices[k]);
        put32(b, e + 8, o.vendor);
        put32(b, e + 12, o.dirDevices[k]);
    }
}

} // namespace

std::vector<unsigned char> ufi_image_bytes(const UfiOptions& o) {
    const size_t header = o.generation == 2 ? kGen2Header : kGen3Header;
    size_t dirAt = o.variant == "dir-misaligned" ? 100 : o.dirOffset;
    size_t size = o.size < header ? header : o.size;
    if (!o.dirDevices.empty() && size < dirAt + kDirSize) size = dirAt + kDirSize;
    std::vector<unsigned char> b(size);
    for (size_t i = header; i < size; ++i)
        b[i] = (unsigned char)(i * 7 + 1);
    std::string build = o.buildGiven
                            ? o.build
                            : std::to_string(o.generation) + " " +
                                  (o.version.empty() ? default_version(o.generation) : o.version);
    memcpy(&b[0], "UFI IMAGE", 9);
    memcpy(&b[72], build.data(), build.size() < kBuildField ? build.size() : kBuildField);
    if (o.generation == 2) {
        put32(b, 40, o.vendor);
        put32(b, 44, o.device);
        put32(b, 48, o.vendor);
        put32(b, 52, o.device);
        put32(b, 68, 1);
    } else {
        memcpy(&b[52], "0300", 4);
        put32(b, 68, 1);
        b[96] = (unsigned char)o.asic;
    }
    if (!o.dirDevices.empty()) write_directory(o, dirAt, b);
    // A directory cut short by the end of the file, in a file signed as it is.
    if (o.variant == "dir-cut" && !o.dirDevices.empty()) b.resize(dirAt + 100);
    if (o.variant == "unsigned") {
        put32(b, 56, (uint32_t)b.size());
    } else {
        put32(b, 56, (uint32_t)(b.size() + hbasim::SIG_UFI_BLOCK));
        hbasim::sig_append_ufi(b);
    }
    if (o.variant == "badsig") b.back() ^= 1; // the marker stays, the MAC no longer fits
    if (o.variant == "long") b.push_back(0);
    if (o.variant == "short") b.pop_back();
    if (o.variant == "tiny") b.resize(60);
    return b;
}

int image_ufi(const ImageArgs& args) {
    UfiOptions o;
    int rc = parse_options(args, &o);
    if (rc != 0) return rc;
    if (!write_image_file(o.out, ufi_image_bytes(o))) {
        perror(o.out.c_str());
        return 1;
    }
    return 0;
}

} // namespace sim_image
