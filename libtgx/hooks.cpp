// Attachment points of later export families in load, discovery and release.
// Each family fills in its own hook; until then they do the minimum the
// lifecycle needs.
#include <cstdlib>

#include "libtgx/tgx_internal.h"

void tgx_events_release_board(uint32_t board) {
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
