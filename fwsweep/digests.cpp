// SHA-256 digests of images (OpenSSL's libcrypto) and the SHA256SUMS check
// that refuses an image before it is flashed.
#include "fwsweep/digests.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "fwsweep/matrix.h"
#include "fwsweep/output.h"
#include "platform/plat_safe_io.h"

namespace {

constexpr size_t kHexDigits = 64;

struct MdContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

bool isHex(char c) {
    return isxdigit(static_cast<unsigned char>(c)) != 0;
}

// sha256sum escapes a name holding a newline or backslash: the line starts
// with "\" and the name carries "\n" and "\\".
std::string unescapeName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            char next = name[++i];
            out += next == 'n' ? '\n' : next;
        } else {
            out += name[i];
        }
    }
    return out;
}

void addEntry(DigestManifest* m, const std::string& path, std::string hex) {
    for (char& c : hex)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    auto it = m->digests.find(path);
    if (it == m->digests.end())
        m->digests.emplace(path, hex);
    else if (it->second != hex)
        it->second.clear(); // listed twice with different digests: vouches for nothing
}

void readManifest(SweepRun* run) {
    DigestManifest& m = run->manifest;
    std::string firmware = run->paths.firmwareDir + FWS_MANIFEST_FILE;
    std::string matrixDir = run->paths.matrixFile.substr(0, run->paths.matrixFile.rfind('/') + 1);
    for (const std::string& dir : {run->paths.firmwareDir, matrixDir}) {
        std::string path = dir + FWS_MANIFEST_FILE;
        std::string text;
        int r = plat_read_regular_file(path.c_str(), FWS_MANIFEST_MAX, &text);
        if (r == PLAT_OPEN_MISSING) continue;
        m.present = true;
        m.path = path;
        m.readable = r == PLAT_OPEN_OK;
        if (m.readable)
            parseManifest(text, dir, &m);
        else
            outText("\n%s: Error - %s cannot be used: %s\n", FWS_PROGRAM, path.c_str(),
                    plat_open_result_text(r));
        dbgTrace("[SHA256SUMS]\n%s : %s, %zu entries\n", path.c_str(),
                 m.readable ? "read" : "unreadable", m.digests.size());
        return;
    }
    dbgTrace("[SHA256SUMS]\nnone in %s or %s\n", firmware.c_str(), matrixDir.c_str());
}

// Every image the run may hand to hbaset.
std::vector<std::string> candidates(const SweepRun& run) {
    std::vector<std::string> out;
    if (run.opt.autoMode) {
        for (const CluImage& img : run.images)
            out.push_back(run.paths.firmwareDir + img.filename);
        return out;
    }
    for (const SweepAdapter& a : run.adapters) {
        MatrixMatch m;
        if (!getFwMatrixMatch(run.matrix.data(), run.matrix.size(), a, &m)) continue;
        if (strcmp(m.firmware, "NONE") == 0 || strcmp(m.firmware, "INVALID_FILE") == 0) continue;
        out.push_back(run.paths.firmwareDir + m.firmware);
    }
    return out;
}

} // namespace

std::string normalPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (path[0] != '/')
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string out = path.empty() || path[0] != '/' ? "" : "/";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    return out;
}

void parseManifest(const std::string& text, const std::string& dir, DigestManifest* out) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool escaped = !line.empty() && line[0] == '\\';
        if (escaped) line.erase(0, 1);
        // "<64 hex><blank><blank or *><name>"
        if (line.size() < kHexDigits + 3 || line[kHexDigits] != ' ') continue;
        bool hex = true;
        for (size_t i = 0; i < kHexDigits; ++i)
            hex = hex && isHex(line[i]);
        char mode = line[kHexDigits + 1];
        if (!hex || (mode != ' ' && mode != '*')) continue;
        std::string name = line.substr(kHexDigits + 2);
        if (escaped) name = unescapeName(name);
        std::string path = name[0] == '/' ? name : dir + name;
        addEntry(out, normalPath(path), line.substr(0, kHexDigits));
    }
}

std::string fileSha256(const char* path, int* why) {
    int fd = -1;
    int r = plat_open_regular(path, &fd);
    if (why) *why = r;
    if (r != PLAT_OPEN_OK) return "";
    std::unique_ptr<EVP_MD_CTX, MdContextFree> ctx(EVP_MD_CTX_new());
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    std::vector<unsigned char> buf(1u << 16);
    while (ok) {
        ssize_t n = read(fd, buf.data(), buf.size());
        if (n == 0) break;
        if (n < 0) {
            ok = false;
            break;
        }
        ok = EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(n)) == 1;
    }
    close(fd);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) {
        if (why) *why = PLAT_OPEN_FAILED;
        return "";
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += kHex[md[i] >> 4];
        hex += kHex[md[i] & 15];
    }
    return hex;
}

const std::string& imageDigest(SweepRun* run, const std::string& path) {
    auto it = run->digests.find(path);
    if (it != run->digests.end()) return it->second;
    return run->digests.emplace(path, fileSha256(path.c_str())).first->second;
}

void prepareDigests(SweepRun* run) {
    readManifest(run);
    for (const std::string& path : candidates(*run)) {
        const std::string& digest = imageDigest(run, path);
        dbgTrace("%-20s : %s %s\n", "sha256", digest.empty() ? "(unreadable)" : digest.c_str(),
                 path.c_str());
    }
}

int digestVerdict(SweepRun* run, const std::string& path) {
    const DigestManifest& m = run->manifest;
    if (!m.present) return run->opt.verify ? FWS_DL_NO_MANIFEST : 0;
    if (!m.readable) return FWS_DL_NO_MANIFEST;
    auto it = m.digests.find(normalPath(path));
    if (it == m.digests.end()) return FWS_DL_NOT_IN_MANIFEST;
    const std::string& actual = imageDigest(run, path);
    if (actual.empty()) return FWS_DL_OPEN_FAILED;
    return actual == it->second ? 0 : FWS_DL_DIGEST_MISMATCH;
}
