// The `hbasim image` kinds prg, aif and grp: options into the specs of
// fc_images.h, bytes into the output file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/image/fc_images.h"
#include "sim/image/image_builders.h"

namespace sim_image {

namespace {

bool number(const std::string& text, uint32_t* out) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != 0 || errno != 0 || v > 0xFFFFFFFFull) return false;
    *out = (uint32_t)v;
    return true;
}

int usage(const std::string& why) {
    fprintf(stderr, "hbasim image: %s\n", why.c_str());
    return 2;
}

int write_out(const std::string& path, const Image& img) {
    if (path.empty()) return usage("missing -o FILE");
    if (!write_image_file(path, img)) {
        fprintf(stderr, "hbasim image: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return 1;
    }
    printf("%s: %zu bytes\n", path.c_str(), img.size());
    return 0;
}

// Walks "--name value" pairs; fn returns false for an unknown or bad option.
template <typename Fn> int each_option(const ImageArgs& args, std::string* out, Fn fn) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& k = args[i];
        if (k == "--all" || k == "--bare") {
            if (!fn(k, std::string())) return usage("bad option " + k);
            continue;
        }
        if (i + 1 >= args.size()) return usage("option " + k + " needs a value");
        const std::string& v = args[++i];
        if (k == "-o") {
            *out = v;
            continue;
        }
        if (!fn(k, v)) return usage("bad option " + k + " " + v);
    }
    return 0;
}

bool prg_option(PrgSpec& s, const std::string& k, const std::string& v) {
    uint32_t n = 0;
    if (k == "--text") return s.text = v, true;
    if (k == "--kek") return s.kek = v, true;
    if (k == "--bad") return s.bad = v, true;
    if (!number(v, &n)) return false;
    if (k == "--type") return s.type = n & 0xFF, true;
    if (k == "--id") return s.id = n & 0xFF, true;
    if (k == "--version") return s.version = n & 0xFFFF, true;
    if (k == "--pid1") return s.pid1 = n, true;
    if (k == "--size") return s.size = n, true;
    if (k == "--rom-device") return s.romDevice = (uint16_t)n, true;
    return false;
}

// "TYPE:ID:VERSION[:TEXT]" of an embedded program.
bool program_option(const std::string& v, PrgSpec* out) {
    PrgSpec p;
    p.size = 1024;
    size_t a = v.find(':'), b = a == std::string::npos ? a : v.find(':', a + 1);
    if (b == std::string::npos) return false;
    size_t c = v.find(':', b + 1);
    uint32_t t = 0, id = 0, ver = 0;
    if (!number(v.substr(0, a), &t) || !number(v.substr(a + 1, b - a - 1), &id) ||
        !number(v.substr(b + 1, c == std::string::npos ? c : c - b - 1), &ver))
        return false;
    p.type = t & 0xFF;
    p.id = id & 0xFF;
    p.version = ver & 0xFFFF;
    if (c != std::string::npos) p.text = v.substr(c + 1);
    *out = p;
    return true;
}

} // namespace

int image_prg(const ImageArgs& args) {
    PrgSpec s;
    std::string out;
    int rc = each_option(args, &out, [&](const std::string& k, const std::string& v) {
        return prg_option(s, k, v);
    });
    return rc ? rc : write_out(out, build_prg(s));
}

int image_aif(const ImageArgs& args) {
    AifFileSpec f;
    std::string out;
    int rc = each_option(args, &out, [&](const std::string& k, const std::string& v) {
        if (k == "--all") return f.all = true, true;
        if (k == "--bare") return f.bare = true, true;
        if (k == "--bad") return f.bad = v, true;
        if (k == "--kind") {
            f.images.push_back(AifSpec());
            f.images.back().kind = v;
            return true;
        }
        if (f.images.empty()) f.images.push_back(AifSpec());
        AifSpec& s = f.images.back();
        if (k == "--kek") return s.kek = v, true;
        if (k == "--program") {
            PrgSpec p;
            if (!program_option(v, &p)) return false;
            s.programs.push_back(p);
            return true;
        }
        uint32_t n = 0;
        if (!number(v, &n)) return false;
        if (k == "--area") return s.area = n & 0xFF, true;
        if (k == "--base") return s.base = n, true;
        if (k == "--body") return s.body = n, true;
        if (k == "--erase") return s.eraseLength = n, true;
        if (k == "--idword") return s.idWord = n, true;
        if (k == "--family-byte") return s.familyByte = n & 0xFF, true;
        return false;
    });
    if (rc) return rc;
    if (f.images.empty()) f.images.push_back(AifSpec());
    return write_out(out, build_aif(f));
}

int image_grp(const ImageArgs& args) {
    GrpSpec s;
    std::string out;
    int rc = each_option(args, &out, [&](const std::string& k, const std::string& v) {
        uint32_t n = 0;
        if (k == "--version") return s.version = v, true;
        if (k == "--bad") return s.bad = v, true;
        if (!number(v, &n)) return false;
        if (k == "--device") return s.device = n, true;
        if (k == "--size") return s.size = n, true;
        return false;
    });
    return rc ? rc : write_out(out, build_grp(s));
}

} // namespace sim_image
