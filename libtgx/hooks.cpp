// Attachment points of later export families in load, discovery and release.
// Each family fills in its own hook; until then they do the minimum the
// lifecycle needs.
#include <cstdlib>

#include "libtgx/tgx_internal.h"

// RSCN watchers (masks 2 and 64 of TGX_RegisterForEvent): none until their
// family lands, so such a registration fails and frees its slot.
PlatThread WmiRegisterPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    (void)board;
    (void)outSz;
    (void)slot;
    return nullptr;
}
PlatThread WmiRegisterVPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    (void)board;
    (void)outSz;
    (void)slot;
    return nullptr;
}
void WmiUnRegisterPortRscn(EventSlot* slot) {
    (void)slot;
}
void WmiUnRegisterVPortRscn(EventSlot* slot) {
    (void)slot;
}

void tgx_wmi_release() {}

void tgx_sd_free_list(uint32_t board) {
    (void)board;
}

// Management-service start: the context is marked as served by the management
// device and the driver is told to start it (the answer is not checked).
void tgx_ct_start(TGXADAPTER* ctx) {
    if (!ctx) return;
    ctx->driverKind = 2;
    uint32_t returned = 0;
    plat_dev_control(ctx->mgmtHandle, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &returned);
}

// Management-service shutdown of every board: closes the management handles
// that are not the SCSI port handle and frees the contexts.
void tgx_ct_shutdown_all() {
    TraceLog("QrlTgxClose\n");
    for (TGXADAPTER*& ctx : g_tgx.tgxAdapters) {
        if (!ctx) continue;
        if (ctx->mgmtHandle && ctx->mgmtHandle != ctx->scsiHandle) plat_dev_close(ctx->mgmtHandle);
        free(ctx);
        ctx = nullptr;
    }
    TraceLog("QrlTgxClose: Exit\n");
}
