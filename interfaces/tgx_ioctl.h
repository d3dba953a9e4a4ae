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

/* ---- Control-code catalogue (all requests of the library) ----
 * Envelope requests on the SCSI port device, signature ZT4100 unless noted;
 * the management-device codes at the end travel as plain device requests. */
#define TGX_IOCTL_ISSUEMB 0x80000106u          /* mailbox, plain form */
#define TGX_IOCTL_READ_SLIM 0x8000010Au        /* SLIM read */
#define TGX_IOCTL_WRITE_SLIM 0x8000010Bu       /* SLIM write */
#define TGX_IOCTL_ISSUE_PARSE 0x80000116u      /* driver parameter string */
#define TGX_IOCTL_INQUIRE_SCSIID 0x8000011Bu   /* VPI in bits 20-27 */
#define TGX_IOCTL_GET_CT_INFO 0x8000011Cu      /* bridge command and response */
#define TGX_IOCTL_SCSI_PASSTHRU 0x8000011Du    /* SCSI command pass-through */
#define TGX_IOCTL_INQUIRE_NODELIST 0x8000011Eu /* with a VPI: NPIV target list */
#define TGX_IOCTL_NPIV_GETTARGET TGX_IOCTL_INQUIRE_NODELIST
#define TGX_IOCTL_RESET_ADAPTER 0x80000127u
#define TGX_IOCTL_SET_DUMPENV 0x80000128u
#define TGX_IOCTL_GETDRVDUMP_REGION 0x80000129u
#define TGX_IOCTL_DRVDUMP_EVENT 0x8000012Au
#define TGX_IOCTL_LOOPBACK_TEST 0x8000012Bu
#define TGX_IOCTL_ISSUE_ELS_CMD 0x80000132u
#define TGX_IOCTL_FCP_PASSTHRU 0x80000134u /* FCP command pass-through */
#define TGX_IOCTL_GET_VPD 0x80000136u
#define TGX_IOCTL_RW_CTLREG 0x80000137u      /* control-register access */
#define TGX_IOCTL_ISSUEMB_XMTRCV 0x80000138u /* mailbox with transmit/receive data */
#define TGX_IOCTL_TEMPERATURE_EVENT 0x8000013Au
#define TGX_IOCTL_ISSUEMB_EX 0x8000013Bu       /* mailbox, data-buffer form */
#define TGX_IOCTL_TAMBER_ISSUEMB 0x8000013Du   /* bridge control mailbox */
#define TGX_IOCTL_ISSUEMB_EVENTLOG 0x8000013Eu /* mailbox, event-log form */
#define TGX_IOCTL_GET_FCFLIST 0x80000141u
#define TGX_IOCTL_ISSUEMB_V2 0x80000143u          /* V2 mailbox, dump, update-config */
#define TGX_IOCTL_GET_LINKINFO 0x80000144u        /* QoS link speed */
#define TGX_IOCTL_SET_LUNOAS 0x80000149u          /* VPI in bits 20-27 */
#define TGX_IOCTL_INQUIRE_LUNLIST_OAS 0x8000014Au /* VPI in bits 20-27 */
#define TGX_IOCTL_OAS_TABLE 0x8000014Bu
#define TGX_IOCTL_INQUIRE_OAS_LUNLISTV2 0x8000014Cu
#define TGX_IOCTL_SET_LUNOASV2 0x8000014Du
#define TGX_IOCTL_SET_LUNOASV3 0x8000014Eu
#define TGX_IOCTL_OAS_TABLE_V2 0x8000014Fu
#define TGX_IOCTL_TRUNK_INFO 0x80000150u
#define TGX_IOCTL_HBA_CT_PASSTHRU 0x80000208u /* HBAAPI */
#define TGX_IOCTL_INQUIRE_LUNLIST 0x80000302u
#define TGX_IOCTL_MULTI_LUNMASKING 0x80000305u
#define TGX_IOCTL_SCSI_RESCAN_BUS 0x80000306u
#define TGX_IOCTL_NPIV_APP_CREATE 0x80000311u
#define TGX_IOCTL_NPIV_DELETE 0x80000312u
#define TGX_IOCTL_NPIV_QUERY 0x80000314u
#define TGX_IOCTL_NPIV_PORTATTRIB 0x80000315u
#define TGX_IOCTL_NPIV_GETLIST 0x80000316u
#define TGX_IOCTL_NPIV_RESOURCE 0x80000317u
#define TGX_IOCTL_NPIV_SETUPSTATS 0x80000318u
#define TGX_IOCTL_NPIV_GETSTATS 0x80000319u
#define TGX_IOCTL_FCP_TARGET_MAPPING 0x8000031Au /* VPI in bits 20-27 */
#define TGX_IOCTL_VPI_LOOKUP 0x8000031Bu         /* virtual port index lookup */
#define TGX_IOCTL_AUTH_CONFIG 0x80000330u        /* authentication configuration */
#define TGX_IOCTL_AUTH_PASSWD 0x80000331u        /* authentication passwords */
#define TGX_IOCTL_AUTH_START 0x80000332u         /* start an authentication */
#define TGX_IOCTL_AUTH_ENABLE 0x80000333u
#define TGX_IOCTL_AUTH_STATUS 0x80000334u
#define TGX_IOCTL_AUTH_CONFIG_V2 0x80000335u /* configuration object read and write */
#define TGX_IOCTL_AUTH_PASSWD_V2 0x80000336u
#define TGX_IOCTL_SD_BUCKET 0x80000350u
#define TGX_IOCTL_SD_DATA_COLLECTION 0x80000351u
#define TGX_IOCTL_SD_GET_DATA 0x80000352u
#define TGX_IOCTL_WMI_EVENT_TRIGGER 0x80000999u
/* Management device (TGX_IOCTL_MGMT_START above is the first of them). */
#define TGX_IOCTL_MGMT_REGISTER_CT 0x800001ACu
#define TGX_IOCTL_MGMT_SEND_CMD 0x800001B0u
#define TGX_IOCTL_MGMT_SEND_RSP 0x800001BCu
#define TGX_IOCTL_MGMT_POST_RECEIVE 0x800001C0u
#define TGX_IOCTL_MGMT_CANCEL_RECEIVE 0x800001CCu
#define TGX_IOCTL_MGMT_RECEIVE 0x800001D0u

/* ---- Mailbox transport layouts ----
 * Mailbox: 64 little-endian words. Word 0: bit 0 owner, bits 8-15 command,
 * bits 16-31 completion status. */
#define TGX_MBOX_BYTES 256u
#define TGX_MBOX_WORDS 64u
#define TGX_MBOX_CLASSIC_WORDS 32u
#define TGX_MBOX_MAX_BDE 3836u     /* largest transmit/receive size of 0x84 */
#define TGX_MBOX_MAX_EXT 3000u     /* largest V2 extension (except 0x9B) */
#define TGX_MBOX_EX_MAX_WORDS 512u /* data-buffer form word limit */

/* Mailbox commands the library or the adapter model interprets. */
#define TGX_MBX_INIT_LINK 0x05u
#define TGX_MBX_DOWN_LINK 0x06u
#define TGX_MBX_READ_REV 0x11u
#define TGX_MBX_DUMP 0x17u
#define TGX_MBX_UPDATE_CFG 0x1Bu
/* Event log read into a host buffer: word 3 size wanted, words 4-5 its address. */
#define TGX_MBX_READ_EVENT_LOG_HOST 0x38u
#define TGX_MBX_BIU_DIAG 0x84u
#define TGX_MBX_SLI_CONFIG 0x9Bu

/* Mailbox statuses the library interprets. */
#define TGX_MBXST_TEMP_OVERHEAT 250u
#define TGX_MBXST_STOP_252 252u
#define TGX_MBXST_BUSY 253u
#define TGX_MBXST_STOP_254 254u
/* Dump statuses. */
#define TGX_MBXST_DUMP_NO_VALID_ENTRY 0xFFF6u
#define TGX_MBXST_DUMP_NO_ENTRY 0xFFF7u
#define TGX_MBXST_DUMP_NOT_APPLICABLE 0xFFFCu
#define TGX_MBXST_DUMP_NOT_INITIALIZED 0xFFFDu
#define TGX_MBXST_DUMP_BAD_HEADER 0xFFFEu
/* Update-configuration answer (word 3) of a region that needs re-initialising. */
#define TGX_UPDCFG_REINIT 0xFFFFFFF5u

/* INIT_LINK link flags (word 2 bits 0-15). */
#define TGX_LINK_FLAG_INTERNAL 1u
#define TGX_LINK_FLAG_EXTERNAL_SLI4 2u
#define TGX_LINK_FLAG_EXTERNAL 4u /* device 0xE200 and classic boards */

/* Plain form payload (0x80000106 / 0x80000138 / 0x8000013E). */
#define TGX_MB_OFF_MAILBOX 0
#define TGX_MB_OFF_DATALEN 256
#define TGX_MB_OFF_DATA 260
#define TGX_MB_OFF_INWORDS 4100
#define TGX_SIZE_ISSUEMB 18464u             /* whole envelope */
#define TGX_SIZE_ISSUEMB_XMTRCV_BASE 288u   /* + 2n */
#define TGX_SIZE_ISSUEMB_EVENTLOG_BASE 292u /* + size wanted */

/* Data-buffer form payload (0x8000013B). */
#define TGX_MBEX_OFF_MBOFFSET 0
#define TGX_MBEX_OFF_INWORDS 4
#define TGX_MBEX_OFF_OUTWORDS 8
#define TGX_MBEX_OFF_MAILBOX 12
#define TGX_MBEX_OFF_DATA 268
#define TGX_SIZE_ISSUEMB_EX 18464u

/* V2 form payload (0x80000143): the dump and update-config mailboxes too. */
#define TGX_MBV2_OFF_MBLEN 0
#define TGX_MBV2_OFF_EXTLEN 4
#define TGX_MBV2_OFF_MAILBOX 8
#define TGX_MBV2_OFF_EXT 264
#define TGX_SIZE_ISSUEMB_V2_BASE 296u /* + extension bytes */

/* V2 return codes. */
#define TGX_V2RC_NOT_SUPPORTED 1u
#define TGX_V2RC_INVALID_MBLEN 2u
#define TGX_V2RC_NO_RESOURCE 3u
#define TGX_V2RC_BUSY 4u
#define TGX_V2RC_NO_RESOURCE_5 5u
#define TGX_V2RC_MULTI_DESC 6u

/* ---- Query layouts ---- */
/* Control register (0x80000137) and SLIM (0x8000010A/B) requests. */
#define TGX_SIZE_RW_SLIM 4132u
#define TGX_CR_OFF_ONE 0   /* u8 = 1 */
#define TGX_CR_OFF_WRITE 1 /* u8: 0 read, 1 write */
#define TGX_CR_OFF_ONE2 2  /* u8 = 1 */
#define TGX_CR_OFF_REG 4
#define TGX_CR_OFF_BYTES 8 /* = 4 */
#define TGX_CR_OFF_VALUE 12
#define TGX_SLIM_OFF_DATA 0
#define TGX_SLIM_OFF_ADDR 4096
#define TGX_SLIM_OFF_WORDS 4100
#define TGX_SLIM_MAX_BYTES 4096u
#define TGX_CTLREG_READY_REG 8u /* register 8 bit 23: ready after a restart */
#define TGX_CTLREG_READY_BIT 0x00800000u

#define TGX_SIZE_GET_VPD 2344u
#define TGX_VPD_OFF_PORTID 596 /* 20 bytes; byte 0 = ASCII port digit */
#define TGX_VPD_PORTID_LEN 20u
#define TGX_SIZE_GET_LINKINFO 32u
#define TGX_LINKINFO_OFF_SPEED 2 /* u16 */
#define TGX_SIZE_TRUNK_INFO 36u

/* ---- Reset, loopback and dump layouts ---- */
#define TGX_SIZE_RESET_ADAPTER 32u
#define TGX_SIZE_SET_DUMPENV 32u
#define TGX_DUMPREGION_HDR 12u /* region, offset, word count; data at p12 */
#define TGX_DUMPREGION_PIECE 4096u
#define TGX_DUMPREGION_MAX_ID 7u
#define TGX_LOOPBACK_BASE 32u  /* + 2 x length */
#define TGX_TAMBER_EXTRA 2348u /* + command + response */
#define TGX_TAMBER_DEVICE_ID 0xFE05u
#define TGX_BREVIN_DEVICE_ID 0xE200u
#define TGX_TAMBER_MB_CMD 0x21u
#define TGX_TAMBER_MB_RESET 0x103007u
#define TGX_TAMBER_MB_SETMODE 0x103107u
#define TGX_TAMBER_CMD_RESET 0x80000001u
#define TGX_TAMBER_CMD_SETMODE 0x80000002u
#define TGX_TAMBER_CMD_LOOPBACK 0x14u
#define TGX_CTINFO_BRIDGE_TAG 0xFC0Eu
#define TGX_CTINFO_OFF_CMD 12

/* ---- Registry parse request ---- */
#define TGX_SIZE_ISSUE_PARSE 18464u

/* ---- NPIV virtual-port layouts ----
 * Create (0x80000311) and attributes (0x80000315) share one 344-byte payload:
 * version at 0, WWPN 4, WWNN 12, symbolic name 20 (256), options 276, FC ID
 * 280, state 284, byte 285, flags 286. The tail depends on the driver's
 * generation (new: 8 bytes at 288, checklist 296, 32 bytes at 300; old: 8
 * bytes at 292, checklist 300, 32 bytes at 304). */
#define TGX_SIZE_NPIV_CREATE 372u
#define TGX_SIZE_NPIV_PORTATTRIB 372u
#define TGX_SIZE_NPIV_DELETE 36u   /* payload: WWPN */
#define TGX_SIZE_NPIV_QUERY 72u    /* payload: 44 bytes, WWPN at 16 */
#define TGX_SIZE_NPIV_RESOURCE 44u /* payload: 16 bytes */
#define TGX_SIZE_NPIV_SETUPSTATS 32u
#define TGX_SIZE_NPIV_GETSTATS_BASE 28u /* + 4 x words */
#define TGX_SIZE_NPIV_GETLIST_BASE 36u  /* + 24 x capacity */
#define TGX_SIZE_VPI_LOOKUP 44u         /* payload: WWPN at 0, VPI out at 8 */
#define TGX_NPIV_PAYLOAD 344u
#define TGX_NPIV_OFF_VERSION 0
#define TGX_NPIV_OFF_WWPN 4
#define TGX_NPIV_OFF_WWNN 12
#define TGX_NPIV_OFF_NAME 20
#define TGX_NPIV_NAME_LEN 256u
#define TGX_NPIV_OFF_OPTIONS 276
#define TGX_NPIV_OFF_FCID 280
#define TGX_NPIV_OFF_STATE 284
#define TGX_NPIV_OFF_B285 285
#define TGX_NPIV_OFF_FLAGS 286
#define TGX_NPIV_NEW_OFF_FIELD8 288
#define TGX_NPIV_NEW_OFF_CHECKLIST 296
#define TGX_NPIV_NEW_OFF_FIELD32 300
#define TGX_NPIV_OLD_OFF_FIELD8 292
#define TGX_NPIV_OLD_OFF_CHECKLIST 300
#define TGX_NPIV_OLD_OFF_FIELD32 304
/* Create options. */
#define TGX_NPIV_OPT_TYPE_02 0x02u
#define TGX_NPIV_OPT_REGISTRY_MASK 0x18u /* both: registry only; 0x10: driver, then registry */
#define TGX_NPIV_OPT_REGISTRY_AFTER 0x10u
#define TGX_NPIV_OPT_READY_TEST 0x100u
/* Readiness checklist bits of a create or an attributes reply. */
#define TGX_NPIV_CHK_LINK_UP 0x01u
#define TGX_NPIV_CHK_FABRIC 0x02u
#define TGX_NPIV_CHK_RESOURCES 0x04u
#define TGX_NPIV_CHK_REFUSED 0x80u /* the port cannot be created at all */
/* Virtual-port states. */
#define TGX_NPIV_STATE_ONLINE 2u
#define TGX_NPIV_STATE_OFFLINE 4u
/* List payload: u32 count (in: capacity), entries of 24 bytes from offset 4. */
#define TGX_NPIV_LIST_OFF_ENTRIES 4
#define TGX_NPIV_LIST_ENTRY 24u
/* ReturnCodes of the virtual-port requests. */
#define TGX_NPIV_RC_NOT_SUPPORTED 2u
#define TGX_NPIV_RC_NOT_READY 5u /* create; attributes, delete, query: unknown WWPN */
#define TGX_NPIV_RC_UNKNOWN_WWPN 5u
#define TGX_NPIV_RC_LINK_DOWN 7u
#define TGX_VPI_RC_NOT_FOUND 2u
#define TGX_VPI_OFF_VPI 8

/* ---- Authentication layouts ----
 * V1 requests (0x80000330-0x80000334): 576 bytes, a 548-byte payload: local
 * WWN at 0, remote WWN at 8, u32 flags at 16 (bits 0-1 the operation), then
 * either the current (authorising) password entry at 20 and the 24 settings
 * bytes at 152 (configuration), or the four password entries at 20 (current
 * local, current remote, new local, new remote). A password entry is 132
 * bytes: u16 length, u16 type, 128 bytes of password; type 3 holds none.
 * Switch request (0x80000333): payload word 0 = 2 on, 1 off. Status request
 * (0x80000334): WWNs in; bytes 12-16, bits 0-1 of byte 17 and the words at 24
 * and 28 are the pair's state. */
#define TGX_SIZE_AUTH 576u
#define TGX_AUTH_OFF_LOCAL 0
#define TGX_AUTH_OFF_REMOTE 8
#define TGX_AUTH_OFF_FLAGS 16
#define TGX_AUTH_OFF_CURPWD 20
#define TGX_AUTH_OFF_PWDS 20
#define TGX_AUTH_OFF_SETTINGS 152
#define TGX_AUTH_SETTINGS_BYTES 24u
#define TGX_AUTH_PWD_ENTRY 132u /* u16 length, u16 type, 128 bytes */
#define TGX_AUTH_PWD_MAX 128u
#define TGX_AUTH_PWD_TYPE_NONE 3u
#define TGX_AUTH_OP_MASK 3u
#define TGX_AUTH_CFG_GET 0u
#define TGX_AUTH_CFG_SET 1u
#define TGX_AUTH_CFG_DELETE 2u
#define TGX_AUTH_PWD_GET 0u
#define TGX_AUTH_PWD_SET 1u
#define TGX_AUTH_ENABLE_ON 2u
#define TGX_AUTH_ENABLE_OFF 1u
#define TGX_AUTH_ST_OFF_STATE 12 /* 5 bytes */
#define TGX_AUTH_ST_STATE_BYTES 5u
#define TGX_AUTH_ST_OFF_FLAGS 17 /* bits 0-1 */
#define TGX_AUTH_ST_OFF_W24 24
#define TGX_AUTH_ST_OFF_W28 28
/* V2 configuration list (0x80000335): operation at 0, list flag at 1, u32
 * entry count at 4 (in: entries sent or room for them; out: entries the
 * driver has), 40-byte configuration records from 8. The list flag asks for
 * every pair whose local WWN equals that of entry 0 (all 0xFF: every pair). */
#define TGX_SIZE_AUTH_LIST_BASE 36u /* + 40 x entries */
#define TGX_AUTHL_OFF_OP 0
#define TGX_AUTHL_OFF_LISTFLAG 1
#define TGX_AUTHL_OFF_COUNT 4
#define TGX_AUTHL_OFF_ENTRIES 8
#define TGX_AUTH_CONFIG_BYTES 40u
#define TGX_AUTHL_OP_GET 0u
#define TGX_AUTHL_OP_SET 1u
#define TGX_AUTHL_OP_DELETE 2u
#define TGX_AUTHL_OP_DELETE_ALL 3u
/* V2 passwords (0x80000336): 316 bytes; set flag at 0 (1 set, 0 get), u32 1
 * at 4, WWNs at 8 and 16, the local entry at 24 and the remote one at 156. */
#define TGX_SIZE_AUTH_PWD_V2 316u
#define TGX_AUTHP_OFF_SET 0
#define TGX_AUTHP_OFF_ONE 4
#define TGX_AUTHP_OFF_LOCAL 8
#define TGX_AUTHP_OFF_REMOTE 16
#define TGX_AUTHP_OFF_LOCALPWD 24
#define TGX_AUTHP_OFF_REMOTEPWD 156
/* ReturnCodes of the authentication requests. */
#define TGX_AUTH_RC_INVALID_LOCAL 1u
#define TGX_AUTH_RC_INVALID_REMOTE 2u
#define TGX_AUTH_RC_NOT_FOUND 3u
#define TGX_AUTH_RC_INVALID_OP 4u
#define TGX_AUTH_RC_NO_RESOURCES 5u
#define TGX_AUTH_RC_NOT_ACTIVE 6u
#define TGX_AUTH_RC_IN_PROGRESS 7u
#define TGX_AUTH_RC_NOT_CONFIGURED 8u
#define TGX_AUTH_RC_PWD_MISMATCH 9u
#define TGX_AUTH_RC_ALREADY_ENABLED 10u
#define TGX_AUTH_RC_ALREADY_DISABLED 11u
#define TGX_AUTH_RC_LINK_DOWN 12u
#define TGX_AUTH_RC_REJECTED 13u /* bidirectional without the remote password */
#define TGX_AUTH_RC_SAME_PWD 14u
#define TGX_AUTH_RC_PWD_SHORT 15u
#define TGX_AUTH_RC_MORE 16u /* list: more pairs than the room sent */
/* The adapter's authentication object: one 8192-byte slice per PCI function,
 * a slice header of two words (signature, count << 16 | 0x801) and entries of
 * 300 bytes: the 40-byte configuration, u8 local type, u8 local length, u8
 * remote type, u8 remote length, the local and the remote password (128 bytes
 * each, from 44 and 172). */
#define TGX_AUTH_OBJECT "/driver/auth.cfg"
#define TGX_AUTH_OBJECT_BYTES 32768u
#define TGX_AUTH_SLICE_BYTES 8192u
#define TGX_AUTH_SLICE_SIGNATURE 0x61757468u /* "auth" */
#define TGX_AUTH_SLICE_VERSION 0x801u
#define TGX_AUTH_SLICE_HEADER 8u
#define TGX_AUTH_SLICE_ENTRY 300u
#define TGX_AUTH_SLICE_MAX_ENTRIES 27u
#define TGX_AUTHS_OFF_LTYPE 40
#define TGX_AUTHS_OFF_LLEN 41
#define TGX_AUTHS_OFF_RTYPE 42
#define TGX_AUTHS_OFF_RLEN 43
#define TGX_AUTHS_OFF_LPWD 44
#define TGX_AUTHS_OFF_RPWD 172

/* ---- FCoE region and FCF list layouts ---- */
#define TGX_FCOE_REGION 23u
#define TGX_FCOE_REGION_BYTES 1024u
#define TGX_FCOE_SIGNATURE 0x33324752u /* "RG23" */
#define TGX_FCOE_REC_PARAMS 160u       /* 12 bytes */
#define TGX_FCOE_REC_CONNECT 161u      /* 324 bytes: 4 + 16 x 20 */
#define TGX_FCOE_REC_162 162u          /* 680 bytes */
#define TGX_FCOE_REC_END 255u
#define TGX_FCOE_PARAMS_BYTES 12u
#define TGX_FCOE_CONNECT_BYTES 324u
#define TGX_FCOE_162_BYTES 680u
#define TGX_FCOE_CONNECT_SLOT 20u
#define TGX_SIZE_FCOE_UPDATE (TGX_SIZE_ISSUEMB_V2_BASE + TGX_FCOE_REGION_BYTES) /* 1320 */
/* FCF list (0x80000141): version at 0, u16 count at 4 (in: capacity), u16
 * active at 6, entries of 552 bytes from 8; room for one entry beyond the
 * capacity. ReturnCode 1: the version is not the driver's (its own at 0). */
#define TGX_SIZE_FCFLIST_BASE 588u /* + 552 x capacity */
#define TGX_FCFLIST_OFF_ENTRIES 8
#define TGX_FCFLIST_ENTRY 552u
#define TGX_FCFLIST_RC_VERSION 1u

/* ---- SD statistics layouts ----
 * Bucket (0x80000350) and collection (0x80000351, VPI bits) requests: 204
 * bytes. Payload: version 1 at 0, action at 1, u16 type at 2, u16 search type
 * (or target count) at 4, u32 base/granularity/buffer size at 8, u32 step at
 * 12, 20 bucket entries of 8 bytes at 16. Data (0x80000352, VPI bits): buffer
 * size + 44 bytes, per-target records of 88 bytes from payload offset 12. */
#define TGX_SIZE_SD_REQUEST 204u
#define TGX_SIZE_SD_GET_DATA_BASE 44u
#define TGX_SD_OFF_VERSION 0
#define TGX_SD_OFF_ACTION 1
#define TGX_SD_OFF_TYPE 2
#define TGX_SD_OFF_SEARCH 4
#define TGX_SD_OFF_BASE 8
#define TGX_SD_OFF_STEP 12
#define TGX_SD_OFF_BUCKETS 16
#define TGX_SD_OFF_DATA 12
#define TGX_SD_BUCKETS 20u
#define TGX_SD_TARGET_BYTES 88u
#define TGX_SD_BUCKET_GRANULARITY 0u
#define TGX_SD_BUCKET_SET 1u
#define TGX_SD_BUCKET_GET 2u
#define TGX_SD_BUCKET_DESTROY 3u
#define TGX_SD_COLLECT_START 0u
#define TGX_SD_COLLECT_STOP 1u
#define TGX_SD_COLLECT_RESET 2u
#define TGX_SD_RC_BUCKET_NOTSET 13u

/* ---- LUN masking and target mapping layouts ----
 * SCSI identifier (0x8000011B, VPI bits): WWPN at 0, flag word in at 16;
 * out: path id at 8, target id at 12, node state at 16. */
#define TGX_SIZE_INQUIRE_SCSIID 48u
#define TGX_SCSIID_OFF_WWPN 0
#define TGX_SCSIID_OFF_PATH 8
#define TGX_SCSIID_OFF_TARGET 12
#define TGX_SCSIID_OFF_FLAGS 16 /* in: request flag word; out: node state */
#define TGX_SCSIID_LIBRARY_FLAG 2u
#define TGX_NODE_EXISTS 0x1u
#define TGX_NODE_READY 0x2u
#define TGX_NODE_LINK_DOWN 0x4u
/* Roles of the remote port, where the driver reports them (node list and
 * SCSI identifier state words). */
#define TGX_NODE_ROLE_FCP_TARGET 0x100u
#define TGX_NODE_ROLE_FCP_INITIATOR 0x200u
#define TGX_NODE_ROLE_OTHER 0x400u
/* LUN list (0x80000302): path id, target id, capacity in / count out, then
 * entries of 24 bytes from 12: FCP LUN (8), u16 osLun at 8, word A at 12, word
 * B at 16, state flags at 20 (bit 0 ready), unMask at 21 (the widest level
 * that unmasks the LUN: 4 HBA, 2 target, 1 LUN). 6184 bytes hold 256 entries. */
#define TGX_SIZE_INQUIRE_LUNLIST 6184u
#define TGX_SIZE_INQUIRE_LUNLIST_ONE 68u
#define TGX_LUNLIST_OFF_PATH 0
#define TGX_LUNLIST_OFF_TARGET 4
#define TGX_LUNLIST_OFF_COUNT 8
#define TGX_LUNLIST_OFF_ENTRIES 12
#define TGX_LUNLIST_ENTRY 24u
#define TGX_LUNLIST_E_OSLUN 8
#define TGX_LUNLIST_E_WORDA 12
#define TGX_LUNLIST_E_WORDB 16
#define TGX_LUNLIST_E_STATE 20
#define TGX_LUNLIST_E_UNMASK 21
#define TGX_UNMASK_LUN 1u
#define TGX_UNMASK_TARGET 2u
#define TGX_UNMASK_HBA 4u
/* Node list (0x8000011E; with a VPI the targets of a virtual port): u16
 * capacity in / count out at 0, u16 flags at 2 (bit 3 HBA-level unmask), then
 * entries of 36 bytes from 8: words 0-2 at 0, 4, 8; D_ID 12; WWNN 16; WWPN 24;
 * u32 at 32. Envelope 68 + 36 x capacity. */
#define TGX_SIZE_NODELIST_BASE 68u
#define TGX_SIZE_NODELIST_ALL 18464u
#define TGX_NODELIST_OFF_COUNT 0
#define TGX_NODELIST_OFF_FLAGS 2
#define TGX_NODELIST_OFF_ENTRIES 8
#define TGX_NODELIST_ENTRY 36u
#define TGX_NODELIST_FLAG_HBA_UNMASK 0x8u
#define TGX_NODE_E_WORD0 0
#define TGX_NODE_E_WORD1 4
#define TGX_NODE_E_WORD2 8
#define TGX_NODE_E_DID 12
#define TGX_NODE_E_WWNN 16
#define TGX_NODE_E_WWPN 24
#define TGX_NODE_E_TAIL 32
/* Multi-LUN mask (0x80000305): path, target, first LUN, count, mask word (level
 * 2 LUN, 1 target, 0 HBA; bit 31 masks, clear unmasks). */
#define TGX_SIZE_MULTI_LUNMASK 48u
#define TGX_MASK_LEVEL_HBA 0u
#define TGX_MASK_LEVEL_TARGET 1u
#define TGX_MASK_LEVEL_LUN 2u
#define TGX_MASK_BIT 0x80000000u
#define TGX_SIZE_RESCAN 68u
/* FCP target mapping (0x8000031A, VPI bits): port WWPN at 0, capacity at 8,
 * entries of 304 bytes from 16 (device name 256; bus, target, OS LUN at 256;
 * FC ID 272, WWNN 276, WWPN 284, FCP LUN 296). ReturnCode 7: more entries. */
#define TGX_SIZE_TARGET_MAPPING_BASE 44u
#define TGX_MAPPING_OFF_WWPN 0
#define TGX_MAPPING_OFF_CAPACITY 8
#define TGX_MAPPING_OFF_ENTRIES 16
#define TGX_MAPPING_ENTRY 304u
#define TGX_MAPPING_RC_MORE 7u

/* ---- SCSI and ELS pass-through layouts ----
 * FCP (0x80000134): target WWPN 0, FCP LUN bytes 4-7 at 8 and 0-3 at 12, flags
 * 16 (bits 0-1 = 2, bit 2 read), CDB length 17, sense room in / length out 18,
 * data size in / transferred out 20, CDB 24, data 40, sense after the data. */
#define TGX_SIZE_FCP_BASE 72u
#define TGX_FCP_OFF_WWPN 0
#define TGX_FCP_OFF_LUN_HI 8
#define TGX_FCP_OFF_LUN_LO 12
#define TGX_FCP_OFF_FLAGS 16
#define TGX_FCP_OFF_CDBLEN 17
#define TGX_FCP_OFF_SENSE 18
#define TGX_FCP_OFF_DATASIZE 20
#define TGX_FCP_OFF_CDB 24
#define TGX_FCP_OFF_DATA 40
#define TGX_FCP_FLAG_READ 0x4u
#define TGX_FCP_SENSE_ROOM 128u
/* SCSI (0x8000011D): path 0, target 4, LUN 8, CDB length 12, sense length 13,
 * direction 14 (1 in), response size in / transferred out 16, CDB 20, data 36,
 * sense after the response. */
#define TGX_SIZE_SCSI_BASE 68u
#define TGX_SCSI_OFF_PATH 0
#define TGX_SCSI_OFF_TARGET 4
#define TGX_SCSI_OFF_LUN 8
#define TGX_SCSI_OFF_CDBLEN 12
#define TGX_SCSI_OFF_SENSELEN 13
#define TGX_SCSI_OFF_DIR 14
#define TGX_SCSI_OFF_RSPSIZE 16
#define TGX_SCSI_OFF_CDB 20
#define TGX_SCSI_OFF_DATA 36
/* ReturnCodes of the SCSI requests; bit 0x80: sense data came back. */
#define TGX_SCSI_RC_SUCCESS 1u
#define TGX_SCSI_RC_ERROR 2u
#define TGX_SCSI_RC_ILLEGAL_WWPN 7u
#define TGX_SCSI_RC_BUSY 10u
#define TGX_SCSI_RC_OVERRUN 18u
#define TGX_SCSI_RC_MORE_DATA 21u
#define TGX_SCSI_RC_SENSE 0x80u
/* ELS (0x80000132): cmdlen 0, rsplen 4 (in: room, out: returned), port id 8
 * (0 = by WWPN); by port id the request from 12 and the reply from 16; by
 * WWPN the ELS word at 12, the WWPN at 16, the rest of the request from 24,
 * and the reply: WWPN echo 16, ELS word 24, reject word 28, LS_ACC data 36. */
#define TGX_SIZE_ELS_BASE 52u
#define TGX_ELS_OFF_CMDLEN 0
#define TGX_ELS_OFF_RSPLEN 4
#define TGX_ELS_OFF_DID 8
#define TGX_ELS_OFF_REQ 12
#define TGX_ELS_OFF_WWPN 16
#define TGX_ELS_OFF_REQ_REST 24
#define TGX_ELS_OFF_RSP_DID 16
#define TGX_ELS_OFF_RSP_CODE 24
#define TGX_ELS_OFF_RSP_REJECT 28
#define TGX_ELS_OFF_RSP_ACC 36
#define TGX_ELS_RC_MORE 7u
#define TGX_ELS_RC_NO_PORT 2u
#define TGX_ELS_LS_RJT 0x01u
#define TGX_ELS_LS_ACC 0x02u

/* ---- OAS LUN list layouts ----
 * Per-target lists: 0x8000014A (VPI bits) names the target by its SCSI path
 * and target identifiers (path 0, target 4, count 8 (in: capacity), entries
 * from 12); 0x8000014C by WWPNs (initiator 0, target 8, count 16 (in:
 * capacity), entries from 20). Both envelopes hold 256 entries of 16 bytes:
 * u32 osLun, u32 fcLun low, u32 fcLun high, u8 lunState (bit 0), u8 oasState
 * (bit 0), u8 priority, u8 driver byte. Tables 0x8000014B / 0x8000014F: byte 0
 * = 0, u16 at 2 = n in (pair records of room), pairs out (ReturnCode 6: the
 * pairs needed); records from 4: initiator 0, target 8, LUN bitmap of eight
 * u32 at 16 (LUN k = bit k % 32 of word k / 32); the V2 record has 256 more
 * bytes. Sets are 52-byte envelopes: 0x8000014D initiator 0, target 8, u32 LUN
 * 16, state bit 0 at 20; 0x8000014E version 0, oasState 1, priority 2,
 * initiator 4, target 12, u32 LUN 20. */
#define TGX_SIZE_OAS_LUNLIST 4136u
#define TGX_SIZE_OAS_LUNLISTV2 4144u
#define TGX_OAS_LIST_CAPACITY 255u
#define TGX_OAS_LIST_OFF_PATH 0
#define TGX_OAS_LIST_OFF_TARGET 4
#define TGX_OAS_LIST_OFF_COUNT 8
#define TGX_OAS_LIST_OFF_ENTRIES 12
#define TGX_OAS_LISTV2_OFF_INIT 0
#define TGX_OAS_LISTV2_OFF_TARGET 8
#define TGX_OAS_LISTV2_OFF_COUNT 16
#define TGX_OAS_LISTV2_OFF_ENTRIES 20
#define TGX_OAS_DRV_ENTRY 16u
#define TGX_OAS_DE_OSLUN 0
#define TGX_OAS_DE_FCLUN_LO 4
#define TGX_OAS_DE_FCLUN_HI 8
#define TGX_OAS_DE_LUNSTATE 12
#define TGX_OAS_DE_OASSTATE 13
#define TGX_OAS_DE_PRIORITY 14
#define TGX_OAS_DE_BYTE15 15
#define TGX_SIZE_OAS_TABLE_BASE 80u     /* + 48 x n */
#define TGX_SIZE_OAS_TABLE_V2_BASE 336u /* + 304 x n */
#define TGX_OAS_TABLE_OFF_PAIRS 2       /* u16 */
#define TGX_OAS_TABLE_OFF_RECORDS 4
#define TGX_OAS_PAIR 48u
#define TGX_OAS_PAIR_V2 304u
#define TGX_OAS_PAIR_OFF_INIT 0
#define TGX_OAS_PAIR_OFF_TARGET 8
#define TGX_OAS_PAIR_OFF_BITMAP 16
#define TGX_OAS_PAIR_OFF_V2_EXTRA 48 /* 256 bytes: the driver's priority of LUN k at k */
#define TGX_OAS_BITMAP_WORDS 8u
#define TGX_OAS_MAX_LUNS 256u
#define TGX_SIZE_OAS_SET 52u
#define TGX_OAS_SETV2_OFF_INIT 0
#define TGX_OAS_SETV2_OFF_TARGET 8
#define TGX_OAS_SETV2_OFF_LUN 16
#define TGX_OAS_SETV2_OFF_STATE 20
#define TGX_OAS_SETV3_OFF_VERSION 0
#define TGX_OAS_SETV3_OFF_STATE 1
#define TGX_OAS_SETV3_OFF_PRIORITY 2
#define TGX_OAS_SETV3_OFF_INIT 4
#define TGX_OAS_SETV3_OFF_TARGET 12
#define TGX_OAS_SETV3_OFF_LUN 20
/* ReturnCodes of the OAS requests. */
#define TGX_OAS_RC_FAILED 1u       /* the driver could not carry it out */
#define TGX_OAS_RC_NO_TARGET 2u    /* the target is not known to the initiator */
#define TGX_OAS_RC_UNSUPPORTED 3u  /* the function does not do OAS */
#define TGX_OAS_RC_BAD_LUN 4u      /* LUN outside 0-255 */
#define TGX_OAS_RC_TOO_SMALL 6u    /* tables: u16 at 2 = the pairs needed */
#define TGX_OAS_RC_NO_INITIATOR 7u /* the initiator is neither the port nor a virtual port */
#define TGX_OAS_RC_BAD_VERSION 8u  /* V3 set: version other than 1 */

/* ---- Driver event and CT management layouts ----
 * Dump (0x8000012A) and temperature (0x8000013A) event requests: 36-byte
 * envelopes, payload word 0 in and out, word 1 out (the temperature). */
#define TGX_SIZE_EVENT_REQUEST 36u
#define TGX_DUMP_EVENT_POLL 0u
#define TGX_DUMP_EVENT_REGISTER 1u
#define TGX_DUMP_EVENT_UNREGISTER 2u
#define TGX_TEMP_NOT_SUPPORTED 0xFFFFFFFFu
/* Management control block (register, response, cancel): 28 bytes. */
#define TGX_CT_CTL_SIZE 28u
#define TGX_CT_CTL_OFF_GSTYPE 0
#define TGX_CT_CTL_OFF_TAG 4
#define TGX_CT_CTL_OFF_BUFFER 8 /* 32-bit buffer address (a buffer token) */
#define TGX_CT_CTL_OFF_LENGTH 12
#define TGX_CT_CTL_OFF_STATUS 16
/* Receive block (post and collect): 20-byte header and the request data. */
#define TGX_CT_RCV_OFF_GSTYPE 0
#define TGX_CT_RCV_OFF_TAG 4
#define TGX_CT_RCV_OFF_LENGTH 8
#define TGX_CT_RCV_OFF_STATUS 12
#define TGX_CT_RCV_OFF_DATA 20
#define TGX_CT_RCV_DATA_MAX 65536u
#define TGX_CT_RCV_SIZE (TGX_CT_RCV_OFF_DATA + TGX_CT_RCV_DATA_MAX) /* 65556 */
#define TGX_CT_GSTYPE_ALL 0xFFFFu
/* Management command (0x800001B0, or 0x80000208 on the SCSI port), payload:
 * word 0 = 0, word 1 command size, word 2 response size, destination at 12,
 * the command from 24, then a response area of 131072 bytes. */
#define TGX_MGMT_OFF_CMDSIZE 4
#define TGX_MGMT_OFF_RSPSIZE 8
#define TGX_MGMT_OFF_DEST 12
#define TGX_MGMT_OFF_CMD 24
#define TGX_MGMT_RSP_AREA 131072u
#define TGX_MGMT_EXTRA 131124u /* whole buffer = command size + this */
/* CT pass-through (0x80000208), payload: word 0 = 0x00FFFF00 | GS type, word
 * 1 command size, word 2 response size, the command from 12, then the
 * response area; whole envelope = command + response + 44 bytes. */
#define TGX_CTPT_TAG 0x00FFFF00u
#define TGX_CTPT_OFF_CMD 12
#define TGX_CTPT_EXTRA 44u
/* ReturnCodes of both: the response length, or one of these. */
#define TGX_CT_RC_TIMEOUT 0
#define TGX_CT_RC_NOTAVAIL (-1)
#define TGX_CT_RC_INVALIDREQ (-3)
#define TGX_CT_RC_DATAOVERRUN (-5)

/* ---- management events ----
 * Event trigger (0x80000999): 36 bytes; payload word 0 the category, word 1
 * the subcategory. The driver raises that event of the port when it is
 * switched on; the ReturnCode is not examined. */
#define TGX_IOCTL_FORCE_WMI_EVENT 0x80000999u
#define TGX_SIZE_FORCE_WMI_EVENT 36u

#endif
