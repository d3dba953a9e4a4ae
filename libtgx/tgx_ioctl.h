/* The request envelope and the control-code catalogue shared by the library and
 * the adapter driver. */
#ifndef TGX_IOCTL_H
#define TGX_IOCTL_H
#include <stdint.h>

#define IOCTL_SCSI_MINIPORT 0x4D008u

/* Envelope header (SRB_IO_CONTROL), 28 bytes, little-endian. */
#define TGX_ENV_HEADER_LENGTH 28u
#define TGX_ENV_OFF_HEADERLENGTH 0
#define TGX_ENV_OFF_SIGNATURE 4
#define TGX_ENV_OFF_TIMEOUT 12
#define TGX_ENV_OFF_CONTROLCODE 16
#define TGX_ENV_OFF_RETURNCODE 20
#define TGX_ENV_OFF_LENGTH 24
#define TGX_ENV_TIMEOUT_SECONDS 20u
#define TGX_SIG_ZT "ZT4100"
#define TGX_SIG_HBAAPI "HBAAPI"

/* Virtual-port requests carry the VPI in bits 20-27 of the control code. */
#define TGX_VPI_CODE(base, vpi) ((base) | (((uint32_t)(vpi) << 20) & 0x0FF00000u))

/* Driver requests (signature ZT4100 unless noted). */
#define TGX_IOCTL_RETURN_INFO 0x80000100u
#define TGX_IOCTL_GETDRV_INFO 0x80000135u
#define TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES 0x80000203u /* HBAAPI */
#define TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES 0x80000204u    /* HBAAPI */
#define TGX_IOCTL_HBA_REFRESH_INFORMATION 0x80000213u    /* HBAAPI */
#define TGX_IOCTL_MGMT_START 0x800001ABu                 /* management device, no buffers */

/* Envelope sizes of the requests above (header included). */
#define TGX_SIZE_RETURN_INFO 18492u
#define TGX_SIZE_GETDRV_INFO 188u
#define TGX_SIZE_ADAPTER_ATTRIBUTES 2220u
#define TGX_SIZE_PORT_ATTRIBUTES 664u

/* Payload offsets of the board-information reply. */
#define TGX_RI_RETURNINFO 0
#define TGX_RI_LINKWORD 20
#define TGX_RI_GENINFO 64
#define TGX_RI_BUSID 192
#define TGX_RI_DEVFUNC 196
#define TGX_RI_PCICFG 200
#define TGX_RI_WORD456 456
#define TGX_RI_SLIMBASE 464

/* Further families add their codes below. */

#endif
