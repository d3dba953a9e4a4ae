// Request envelopes: the 28-byte header every SCSI port request carries, the
// board check, and the send through the device layer.
#include <cstdlib>

#include "libtgx/tgx_internal.h"

static_assert(TGX_ENV_HEADER_LENGTH == 28, "envelope header size");
static_assert(TGX_ENV_OFF_LENGTH + 4 == TGX_ENV_HEADER_LENGTH, "envelope header layout");

bool tgx_board_ok(uint32_t board) {
    return g_tgx.pAdapterArray != nullptr && board < g_tgx.adapterCount && board < TGX_MAX_BOARDS;
}

AdapterEntry* tgx_entry(uint32_t board) {
    if (!g_tgx.pAdapterArray || board >= TGX_MAX_BOARDS) return nullptr;
    return &g_tgx.pAdapterArray[board];
}

void TgxEnvFree::operator()(uint8_t* p) const {
    free(p);
}

void tgx_env_fill(TgxEnvelope& env, uint32_t code, const char* sig) {
    uint8_t* b = env.bytes();
    memset(b, 0, env.size);
    tgx_wr32(b + TGX_ENV_OFF_HEADERLENGTH, TGX_ENV_HEADER_LENGTH);
    // Signature: up to 8 bytes, the rest zero.
    size_t n = sig ? strnlen(sig, 8) : 0;
    memcpy(b + TGX_ENV_OFF_SIGNATURE, sig ? sig : "", n);
    tgx_wr32(b + TGX_ENV_OFF_TIMEOUT, TGX_ENV_TIMEOUT_SECONDS);
    tgx_wr32(b + TGX_ENV_OFF_CONTROLCODE, code);
    tgx_wr32(b + TGX_ENV_OFF_RETURNCODE, 0);
    tgx_wr32(b + TGX_ENV_OFF_LENGTH, env.size - TGX_ENV_HEADER_LENGTH);
}

TgxEnvelope tgx_env_alloc(uint32_t totalSize, uint32_t code, const char* sig) {
    TgxEnvelope env;
    if (totalSize < TGX_ENV_HEADER_LENGTH) return env;
    env.buf.reset(static_cast<uint8_t*>(malloc(totalSize)));
    if (!env) return env;
    env.size = totalSize;
    tgx_env_fill(env, code, sig);
    return env;
}

bool tgx_env_send(PlatHandle h, TgxEnvelope& env) {
    if (!h) {
        plat_set_last_error(PLAT_ERR_INVALID_HANDLE);
        return false;
    }
    uint32_t returned = 0;
    return plat_dev_control(h, IOCTL_SCSI_MINIPORT, env.bytes(), env.size, env.bytes(), env.size,
                            &returned);
}

uint32_t tgx_env_rc(const TgxEnvelope& env) {
    return tgx_rd32(env.bytes() + TGX_ENV_OFF_RETURNCODE);
}
