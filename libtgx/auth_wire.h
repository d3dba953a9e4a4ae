// Authentication records on the wire and the statuses both generations of
// the authentication exports share (auth.cpp: V1, auth_v2.cpp: V2).
#pragma once
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace tgx_auth {

constexpr uint32_t kStsNotConfigured = TGX_AUTH_STS_NOT_CONFIGURED;
constexpr uint32_t kStsPwdTooLong = TGX_AUTH_STS_PWD_TOO_LONG;
constexpr uint32_t kStsNotFound = TGX_AUTH_STS_NOT_FOUND;
constexpr uint32_t kStsNoResources = TGX_AUTH_STS_NO_RESOURCES;
constexpr uint32_t kStsBadBoard = TGX_AUTH_STS_BAD_BOARD;
constexpr uint32_t kStsAuthFailed = TGX_AUTH_STS_FAILED;
constexpr uint32_t kStsNotSupported = TGX_AUTH_STS_NOT_SUPPORTED;
constexpr uint32_t kStsNoV2Store = TGX_AUTH_STS_NO_V2_STORE;
constexpr uint32_t kStsOther = TGX_AUTH_STS_OTHER;
constexpr uint32_t kStsLinkDown = TGX_AUTH_STS_LINK_DOWN;
constexpr uint32_t kStsInvalidEntityV2 = TGX_AUTH_STS_INVALID_ENTITY_V2;
constexpr uint32_t kStsNoPassword = TGX_AUTH_STS_NO_PASSWORD;
constexpr uint32_t kStsAlreadyEnabled = TGX_AUTH_STS_ALREADY_ENABLED;
constexpr uint32_t kStsMore = TGX_AUTH_STS_MORE;

constexpr uint32_t kSli4 = 4;
// A filter that takes every pair.
constexpr uint8_t kAllPairs[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

#define AUTH_WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define AUTH_WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

// The 24 settings bytes of a configuration, explicitly little-endian.
inline void encode_settings(uint8_t* p, const AuthConfigRecord& c) {
    tgx_wr16(p, c.timeOut);
    p[2] = c.authMode;
    p[3] = c.flags;
    memcpy(p + 4, c.authPrior, 4);
    memcpy(p + 8, c.hashPrior, 4);
    memcpy(p + 12, c.grpPrior, 8);
    tgx_wr32(p + 20, c.rauthTimer);
}
inline void decode_settings(const uint8_t* p, AuthConfigRecord* c) {
    c->timeOut = tgx_rd16(p);
    c->authMode = p[2];
    c->flags = p[3];
    memcpy(c->authPrior, p + 4, 4);
    memcpy(c->hashPrior, p + 8, 4);
    memcpy(c->grpPrior, p + 12, 8);
    c->rauthTimer = tgx_rd32(p + 20);
}
// The whole 40-byte configuration.
inline void encode_config(uint8_t* p, const AuthConfigRecord& c) {
    memcpy(p, c.localWwn, 8);
    memcpy(p + 8, c.remoteWwn, 8);
    encode_settings(p + 16, c);
}
inline void decode_config(const uint8_t* p, AuthConfigRecord* c) {
    memcpy(c->localWwn, p, 8);
    memcpy(c->remoteWwn, p + 8, 8);
    decode_settings(p + 16, c);
}

// A password entry on the wire; the caller has checked the length.
inline void encode_password(uint8_t* p, const AuthPasswordEntry& e) {
    tgx_wr16(p, e.length);
    tgx_wr16(p + 2, e.type);
    memcpy(p + 4, e.password, e.length);
}

// What the caller may see of a password: its type.
inline void type_only(AuthPasswordEntry* out, uint16_t type) {
    memset(out, 0, sizeof *out);
    out->type = type;
}

inline bool too_long(const AuthPasswordEntry& e) {
    return e.length > TGX_AUTH_PWD_MAX;
}

} // namespace tgx_auth
