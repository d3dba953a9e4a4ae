// The simulated maker's image signature (image_signature.h).
#include "sim/core/image_signature.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstring>

namespace hbasim {

namespace {

// Only the simulator signs and checks with it; it stands for a key that never
// leaves the maker.
const uint8_t kMakerKey[] = "hbasim maker key: firmware images of the simulated machine";

uint32_t be32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}
void put_be32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

// The MAC of a .GRP file: its bytes with the MAC field taken as zero.
void grp_mac(const uint8_t* file, size_t size, uint8_t out[SIG_MAC_SIZE]) {
    static const uint8_t kZero[SIG_MAC_SIZE] = {};
    const SigPart parts[] = {
        {file, SIG_GRP_MAC_AT},
        {kZero, SIG_MAC_SIZE},
        {file + SIG_GRP_MAC_AT + SIG_MAC_SIZE, size - SIG_GRP_MAC_AT - SIG_MAC_SIZE}};
    sig_mac(parts, 3, out);
}

constexpr size_t kGrpSigned = SIG_GRP_MAC_AT + SIG_MAC_SIZE;

} // namespace

void sig_mac(const SigPart* parts, size_t count, uint8_t out[SIG_MAC_SIZE]) {
    // HMAC-SHA256 through OpenSSL's MAC interface; a failure at any step (no
    // provider, no memory) leaves a MAC of zeros, which no signed image carries.
    memset(out, 0, SIG_MAC_SIZE);
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                           OSSL_PARAM_construct_end()};
    bool ok = ctx && EVP_MAC_init(ctx, kMakerKey, sizeof kMakerKey - 1, params) == 1;
    for (size_t i = 0; ok && i < count; ++i)
        if (parts[i].size > 0) ok = EVP_MAC_update(ctx, parts[i].data, parts[i].size) == 1;
    uint8_t full[EVP_MAX_MD_SIZE];
    size_t len = 0;
    if (ok && EVP_MAC_final(ctx, full, &len, sizeof full) == 1 && len >= SIG_MAC_SIZE)
        memcpy(out, full, SIG_MAC_SIZE);
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
}

void sig_sign_grp(std::vector<uint8_t>& file) {
    if (file.size() < kGrpSigned) return;
    put_be32(&file[SIG_GRP_MARKER_AT], SIG_MARKER);
    grp_mac(file.data(), file.size(), &file[SIG_GRP_MAC_AT]);
}

SigVerdict sig_check_grp(const uint8_t* file, size_t size) {
    if (size < SIG_GRP_MARKER_AT + 4) return SIG_MISSING;
    const uint32_t marker = be32(file + SIG_GRP_MARKER_AT);
    if (marker == SIG_MARKER_BAD) return SIG_INVALID;
    if (marker != SIG_MARKER) return SIG_MISSING;
    if (size < kGrpSigned) return SIG_INVALID;
    uint8_t mac[SIG_MAC_SIZE];
    grp_mac(file, size, mac);
    return memcmp(mac, file + SIG_GRP_MAC_AT, SIG_MAC_SIZE) == 0 ? SIG_VALID : SIG_INVALID;
}

void sig_append_ufi(std::vector<uint8_t>& file) {
    const size_t at = file.size();
    file.resize(at + SIG_UFI_BLOCK);
    put_be32(&file[at], SIG_MARKER);
    const SigPart part{file.data(), at};
    sig_mac(&part, 1, &file[at + 4]);
}

SigVerdict sig_check_ufi(const uint8_t* file, size_t size) {
    if (size < SIG_UFI_BLOCK) return SIG_MISSING;
    const size_t at = size - SIG_UFI_BLOCK;
    const uint32_t marker = be32(file + at);
    if (marker == SIG_MARKER_BAD) return SIG_INVALID;
    if (marker != SIG_MARKER) return SIG_MISSING;
    uint8_t mac[SIG_MAC_SIZE];
    const SigPart part{file, at};
    sig_mac(&part, 1, mac);
    return memcmp(mac, file + at + 4, SIG_MAC_SIZE) == 0 ? SIG_VALID : SIG_INVALID;
}

uint32_t sig_prg_word(const uint8_t* image, size_t size) {
    uint8_t mac[SIG_MAC_SIZE];
    const SigPart part{image, size >= 8 ? size - 8 : 0};
    sig_mac(&part, 1, mac);
    return be32(mac);
}

SigVerdict sig_check_prg(const uint8_t* image, size_t size) {
    if (size < 8 || size % 4 != 0) return SIG_MISSING;
    return sig_prg_word(image, size) == be32(image + size - 8) ? SIG_VALID : SIG_INVALID;
}

uint32_t sig_aif_word(uint32_t area, uint32_t base, const uint8_t* body, size_t size) {
    uint8_t where[8];
    put_be32(where, area);
    put_be32(where + 4, base);
    const SigPart parts[] = {{where, sizeof where}, {body, size}};
    uint8_t mac[SIG_MAC_SIZE];
    sig_mac(parts, 2, mac);
    return be32(mac);
}

SigVerdict sig_check_aif(uint32_t area, uint32_t base, const uint8_t* body, size_t size) {
    if (size < SIG_AIF_WORD) return SIG_MISSING;
    const size_t signedSize = size - SIG_AIF_WORD;
    return sig_aif_word(area, base, body, signedSize) == be32(body + signedSize) ? SIG_VALID
                                                                                 : SIG_INVALID;
}

} // namespace hbasim
