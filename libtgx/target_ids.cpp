// The library's own SCSI identifier lookup of a target, shared by the LUN
// masking and OAS families.
#include "libtgx/tgx_internal.h"

uint32_t tgx_target_scsi_ids(uint32_t board, uint32_t vpi, const uint8_t* wwpn, uint32_t* path,
                             uint32_t* tid) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_INQUIRE_SCSIID,
                                    TGX_VPI_CODE(TGX_IOCTL_INQUIRE_SCSIID, vpi), TGX_SIG_ZT);
    if (!env) return TGX_IDS_NO_MEMORY;
    uint8_t* p = env.payload();
    memcpy(p + TGX_SCSIID_OFF_WWPN, wwpn, 8);
    tgx_wr32(p + TGX_SCSIID_OFF_FLAGS, TGX_SCSIID_LIBRARY_FLAG);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID I/O Failed Error=0x%x\n", plat_last_error());
        return TGX_IDS_IO_FAILED;
    }
    const uint32_t state = tgx_rd32(p + TGX_SCSIID_OFF_FLAGS);
    if (tgx_env_rc(env) != 0 || !(state & TGX_NODE_EXISTS)) {
        TraceLog("IOCTL_ZT4100_INQUIRE_SCSIID I/O Failed, node state %lx\n", (unsigned long)state);
        return TGX_IDS_NO_NODE;
    }
    *path = tgx_rd32(p + TGX_SCSIID_OFF_PATH);
    *tid = tgx_rd32(p + TGX_SCSIID_OFF_TARGET);
    return TGX_IDS_OK;
}
