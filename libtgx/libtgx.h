/* libtgx: the management interface to the adapter driver. Flat C exports; every
 * buffer is owned by the caller. Board numbers index the library's adapter table. */
#ifndef LIBTGX_H
#define LIBTGX_H
#include <stdint.h>

#include "interfaces/tgx_driver_records.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TGX_EXPORT __attribute__((visibility("default")))

/* Board record handed out by TGX_InitDiagEnv (108 bytes, little-endian). */
typedef struct BrdInfo {
    uint32_t w0;         /* 0 */
    uint32_t slimBase;   /* payload word 464 of the board-information reply */
    uint32_t w8;         /* 0 */
    uint32_t w12;        /* 0xFFFFFFFF */
    uint32_t w16;        /* 0 */
    uint32_t word20;     /* payload word 456 of the board-information reply */
    uint32_t w24;        /* 0xFFFFFFFF */
    uint32_t pciIds;     /* device ID bits 16-31, vendor ID bits 0-15 */
    uint32_t busid;      /* bus bits 0-7, segment bits 8-23 */
    uint32_t dev_id;     /* PCI device number */
    uint8_t pciFunc;     /* PCI function number */
    uint8_t b41;         /* 0 */
    uint16_t scsiPort;   /* SCSI port number n */
    uint32_t w44;        /* 0x2C1 */
    uint32_t w48;        /* 0x1A7 */
    char drvVersion[16]; /* first 16 bytes of the adapter attributes' DriverVersion */
    char fwVersion[32];  /* first 32 bytes of FirmwareVersion */
    uint8_t wwpn[8];     /* port WWN */
} BrdInfo;

/* Driver information record of TGX_GetDrvInfo (156 bytes, little-endian). */
typedef struct DrvVerName {
    char drvVer[16];
    char dvrName[8];
} DrvVerName;

typedef struct DrvInfo {
    uint8_t version; /* requested in, agreed out */
    uint8_t drvType;
    uint8_t pad2[2];
    uint8_t p4[4];
    DrvVerName names[3];
    uint32_t d_id;
    uint8_t wwpn[8];
    uint32_t p92;
    uint32_t p96;
    uint8_t p100[32];       /* version 2 and up */
    uint32_t p132;          /* version 3 and up */
    uint32_t sliMode;       /* version 4 and up */
    uint32_t p140;          /* not written */
    uint32_t featureList;   /* version 4 and up */
    uint32_t p148;          /* version 4 and up */
    uint32_t interfaceWord; /* version 5; iftype = bits 12-15 */
} DrvInfo;

/* Feature bits of DrvInfo.featureList, the HBA API records and the port
 * states: the driver defines them (tgx_driver_records.h). */

/* ---- lifecycle and adapter table ---- */
TGX_EXPORT uint32_t TGX_InitDiagEnv(BrdInfo* out, uint32_t capacity);
TGX_EXPORT uint32_t TGX_FreeDiagEnv(void);
TGX_EXPORT char* TGX_GetLibVer(char* buffer);
TGX_EXPORT uint32_t TGX_GetDrvInfo(uint32_t board, DrvInfo* info);
TGX_EXPORT uint32_t TGX_GetAdapterAttributes(uint32_t board, HBA_AdapterAttributes* attributes);
TGX_EXPORT uint32_t GetAdapterPortAttributes(uint32_t board, uint32_t portIndex,
                                             HBA_PortAttributes* attributes);

/* Further export families are declared below by their own sections. */

/* ---- mailbox transport ----
 * The mailbox is the caller's 256-byte buffer (64 little-endian words); the
 * completion status comes back in bytes 2-3 of word 0. retry is the number of
 * attempts (0 counts as 1), delay is in milliseconds. Statuses: 0 success;
 * 1 bad board, failed request or unsupported; 2 mailbox error; 3 over
 * temperature (plain form) or no resource (V2); 4 V2 mailbox below 64 words;
 * 5, 6 V2 driver refusals. */
TGX_EXPORT uint32_t TGX_IssueMboxWithRetry(uint32_t board, uint32_t* mailbox, uint32_t inWords,
                                           uint32_t outWords, uint32_t retry, uint32_t delay);
TGX_EXPORT uint32_t TGX_IssueMboxWithRetryEx(uint32_t board, uint32_t* mailbox, void* data,
                                             uint8_t mbOffset, uint32_t inLen, uint32_t outLen,
                                             uint32_t retry, uint32_t delay);
TGX_EXPORT uint32_t TGX_IssueMboxWithRetryV2(uint32_t board, uint32_t* mailbox, uint32_t inWLen,
                                             uint32_t retry, uint32_t delay);
/* Dump mailbox built from its arguments; *length: bytes wanted in (1-3000),
 * bytes the firmware reports out. Region and offset travel in 16 bits each:
 * larger values, like a bad length or buffer, give 7. */
TGX_EXPORT uint32_t TGX_IssueDumpMBox(uint32_t board, uint32_t type, uint8_t typeArg,
                                      uint32_t region, uint32_t offset, void* buffer,
                                      uint32_t* length);
/* Update-configuration mailbox. *respInfo receives reply word 3 whenever the
 * request reached the driver. Status: ReturnCode when not 0, else 2 when the
 * mailbox status is not 0, else 0; 3 bad board; 7 length above 3000 or
 * region above 0xFFFF. */
TGX_EXPORT uint32_t TGX_IssueUpdateCfgMBox(uint32_t board, uint32_t reqType, uint32_t region,
                                           const void* data, uint32_t length, uint32_t* respInfo);

/* ---- adapter information queries ---- */
/* Link information record (168 bytes, zeroed by the library). */
typedef struct TGX_LINK_INFO {
    uint8_t r0[16];
    uint32_t returnInfoWord;
    uint8_t r20;
    uint8_t a_linkState; /* TGX_LNK_* ; 0 when the driver reported an error */
    uint8_t r22[2];
    uint8_t generalInfo[128];
    uint8_t r152[16];
} TGX_LINK_INFO;

#define TGX_LNK_DOWN 1u
#define TGX_LNK_UP 2u
#define TGX_LNK_DOWN_PERSIST 7u

/* PCI identifier record (zeroed first). */
typedef struct TGX_PCI_IDS {
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
    uint32_t r16;
    uint32_t r20;
} TGX_PCI_IDS;

TGX_EXPORT uint32_t TGX_GetGenInfo(uint32_t board, uint8_t* generalInfo /* 128 bytes */);
TGX_EXPORT uint32_t TGX_GetLinkInfo(uint32_t board, TGX_LINK_INFO* info);
TGX_EXPORT uint32_t TGX_GetPCIIds(uint32_t board, TGX_PCI_IDS* ids);
TGX_EXPORT uint32_t TGX_ReadPciCfg(uint32_t board, uint8_t* buffer, uint32_t offset,
                                   uint32_t count);
TGX_EXPORT uint32_t TGX_GetTrunkInfo(uint32_t board, uint8_t* trunk /* 8 bytes */);
TGX_EXPORT uint32_t TGX_GetQoSLinkSpeed(uint32_t board, uint16_t* speed);
TGX_EXPORT uint32_t QrlTgxQueryDriverType(uint32_t board);
TGX_EXPORT uint32_t TGX_ReadCtlReg(uint32_t board, uint32_t* value, uint32_t regOffset);
TGX_EXPORT uint32_t TGX_WriteCtlReg(uint32_t board, uint32_t* value, uint32_t regOffset);
/* SLIM access: byte count a multiple of 4, at most 4096. */
TGX_EXPORT uint32_t TGX_ReadSlim(uint32_t board, void* buffer, uint32_t offset, uint32_t count);
TGX_EXPORT uint32_t TGX_WriteSlim(uint32_t board, void* buffer, uint32_t offset, uint32_t count);

/* ---- reset, loopback and dump control ---- */
/* The caller's loopback record: length bytes are sent from xmitBuf and the
 * echo is stored in rcvBuf (each at least length bytes). */
typedef struct TGX_LOOPBACK {
    uint32_t length;
    uint8_t* xmitBuf;
    uint8_t* rcvBuf;
} TGX_LOOPBACK;

#define TGX_LOOPBACK_INTERNAL 1u
#define TGX_LOOPBACK_EXTERNAL 2u

TGX_EXPORT uint32_t TGX_ResetAdapter(uint32_t board, uint32_t resetType);
/* wait: link polls of one second plus one. Statuses: 0; 1; 2 link not up;
 * 3 bad type or over temperature; bridge boards: first failing bridge status. */
TGX_EXPORT uint32_t TGX_ConfigLoopback(uint32_t board, uint32_t type, uint32_t wait);
TGX_EXPORT uint32_t TGX_RunLoopbackTest(uint32_t board, TGX_LOOPBACK* loopback);
TGX_EXPORT uint32_t TGX_EndLoopback(uint32_t board);
TGX_EXPORT uint32_t TGX_SetDumpEnv(uint32_t board, uint32_t flag);
/* region 0-7; *length: bytes wanted in (0 = ask the size), bytes out. */
TGX_EXPORT uint32_t TGX_GetDriverDumpRegion(uint32_t board, uint32_t region, void* buffer,
                                            uint32_t* length);
/* Statuses: 0; 1; 3 data overrun; 5 timeout; 6 bad board. */
TGX_EXPORT uint32_t TGX_SendTamberCommand(uint32_t board, const void* command, uint32_t commandSize,
                                          void* response, uint32_t* responseSize);

/* ---- registry-backed port settings ---- */
/* Latency thresholds, stored unchanged as REG_DWORD values of these names. */
typedef struct _LATENCY_INFO_ {
    uint32_t LatencyEnable;
    uint32_t defaultReadLatency;
    uint32_t defaultWriteLatency;
    uint32_t ReadLatency512;
    uint32_t ReadLatency2K;
    uint32_t ReadLatency4K;
    uint32_t ReadLatency8K;
    uint32_t ReadLatency16K;
    uint32_t ReadLatency32K;
    uint32_t ReadLatency64K;
    uint32_t ReadLatencyLarge;
    uint32_t WriteLatency512;
    uint32_t WriteLatency2K;
    uint32_t WriteLatency4K;
    uint32_t WriteLatency8K;
    uint32_t WriteLatency16K;
    uint32_t WriteLatency32K;
    uint32_t WriteLatency64K;
    uint32_t WriteLatencyLarge;
} LATENCY_INFO;

TGX_EXPORT uint32_t TGX_GetPersistLinkDown(uint32_t board, uint16_t* flag);
TGX_EXPORT uint32_t TGX_SetPersistLinkDown(uint32_t board, uint32_t flag);
TGX_EXPORT uint32_t TGX_SetLatency(uint32_t board, const LATENCY_INFO* info);

/* ---- NPIV virtual ports ----
 * Statuses: 0 success; 1 failed request or bad argument; 2 Port driver (no
 * virtual ports); 3 bad board (delete, attributes, readiness test); 4 unknown
 * WWPN (attributes); 5 registry entry not found; 12 create options 0x02 with
 * 0x18; 17 out of memory; 18 registry keys; 19 registry write; otherwise the
 * driver's ReturnCode. */
typedef struct HBA_wwn {
    uint8_t wwn[8];
} HBA_wwn;

/* The caller's virtual-port record (344 bytes). */
typedef struct VPortRecord {
    uint8_t version; /* in: what the caller understands; out: 3 after a create */
    uint8_t r1[3];
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    char symbolicName[256]; /* at most 255 characters, terminated */
    uint32_t options;       /* TGX_VP_OPT_* */
    uint32_t fcId;          /* out: the port address the fabric assigned */
    uint8_t state;
    uint8_t b285;
    uint8_t flags;
    uint8_t r287[9];
    uint8_t field8[8];   /* version 2 and up, the driver's */
    uint32_t checklist;  /* version 2 and up: readiness bits of the driver */
    uint8_t field32[32]; /* version 2 and up, exchanged with the driver */
    uint8_t r340[4];
} VPortRecord;

#define TGX_VP_OPT_02 0x02u
#define TGX_VP_OPT_REGISTRY_ONLY 0x18u  /* both bits: only the registry entry */
#define TGX_VP_OPT_REGISTRY_AFTER 0x10u /* create, then the registry entry */
#define TGX_VP_OPT_READY_TEST 0x100u

/* Virtual-port list: count in = capacity of entries, out = the ports the
 * driver has (it may exceed the capacity; only the capacity is filled). */
typedef struct VPortListEntry {
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    uint32_t fcId;
} VPortListEntry;
typedef struct VPortList {
    uint32_t count;
    VPortListEntry entries[1]; /* count entries: allocate 4 + 20 x count bytes */
} VPortList;

typedef struct TGX_VPResource {
    uint8_t bytes[16];
} TGX_VPResource;
typedef struct TGX_VPLinkInfo {
    uint8_t b0[16];
    uint8_t wwpn[8]; /* in: the virtual port */
    uint8_t b24[20];
} TGX_VPLinkInfo;
typedef struct TGX_VportStatOpt {
    uint32_t options;
} TGX_VportStatOpt;
typedef uint32_t TGX_VPStat; /* statistics words */

/* Registry entry of one virtual port (160 bytes). */
typedef struct VirtualPortEntry {
    uint8_t wwpn[8];
    uint8_t wwnn[8];
    uint8_t zero[16];
    char symbolicName[128]; /* at most 63 characters, terminated, rest zero */
} VirtualPortEntry;

TGX_EXPORT uint32_t TGX_VPCreate(uint32_t board, const char* symbolicName, VPortRecord* rec);
TGX_EXPORT uint32_t TGX_VPDelete(uint32_t board, const uint8_t* wwpn);
/* option 0 and 2: delete, then drop the registry entry; 1: only the entry. */
TGX_EXPORT uint32_t TGX_VPDeleteV2(uint32_t board, const uint8_t* wwpn, uint32_t option);
TGX_EXPORT uint32_t TGX_VPGetList(uint32_t board, VPortList* list);
TGX_EXPORT uint32_t TGX_VPGetResource(uint32_t board, TGX_VPResource* resource);
TGX_EXPORT uint32_t TGX_VPGetLinkInfo(uint32_t board, TGX_VPLinkInfo* info);
TGX_EXPORT uint32_t TGX_VPGetAttrib(uint32_t board, const uint8_t* wwpn, VPortRecord* rec);
TGX_EXPORT uint32_t TGX_NPIVReadyTest(uint32_t board, uint32_t* checklist);
TGX_EXPORT uint32_t TGX_VPSetupIOStats(uint32_t board, HBA_wwn wwpn, uint32_t unused,
                                       TGX_VportStatOpt* option);
TGX_EXPORT uint32_t TGX_VPGetIOStats(uint32_t board, HBA_wwn wwpn, uint32_t words,
                                     TGX_VPStat* stats);

/* ---- authentication configuration ----
 * Per pair of a local and a remote port WWN the driver keeps a configuration
 * and two passwords. V1 exports serve boards below SLI mode 4 and keep a copy
 * in the registry; V2 exports serve SLI-4 boards and keep a copy in the
 * adapter's "/driver/auth.cfg" object. Passwords are opaque bytes; reading
 * them back yields their types only. Statuses: 0 success and the values
 * below; 1 bad board (V1 exports) or a failed status request. */
#define TGX_AUTH_STS_NOT_CONFIGURED 0x8001u
#define TGX_AUTH_STS_PWD_MISMATCH 0x8004u /* returned after a 3-second delay */
#define TGX_AUTH_STS_NOT_FOUND 0x8005u
#define TGX_AUTH_STS_PWD_TOO_LONG 0x8006u   /* more than 128 bytes */
#define TGX_AUTH_STS_INVALID_ENTITY 0x8007u /* also: password shorter than the minimum */
#define TGX_AUTH_STS_NOT_ACTIVE 0x8008u
#define TGX_AUTH_STS_INVALID_OP 0x8009u
#define TGX_AUTH_STS_NO_RESOURCES 0x800Au
#define TGX_AUTH_STS_IN_PROGRESS 0x800Bu
#define TGX_AUTH_STS_BAD_BOARD 0x800Cu
#define TGX_AUTH_STS_FAILED 0x800Du /* request failed, already disabled, unknown code */
#define TGX_AUTH_STS_REG_SERVICE 0x800Eu
#define TGX_AUTH_STS_REG_PARAMETERS 0x800Fu
#define TGX_AUTH_STS_REG_AUTH 0x8010u
#define TGX_AUTH_STS_REG_WWN 0x8020u
#define TGX_AUTH_STS_SAME_PWD 0x8011u
#define TGX_AUTH_STS_NOT_SUPPORTED 0x8030u /* SLI mode, Port driver or an FCoE board */
#define TGX_AUTH_STS_NO_V2_STORE 0x8031u
#define TGX_AUTH_STS_OTHER 0x8032u /* missing argument or other error */
#define TGX_AUTH_STS_LINK_DOWN 0x8033u
#define TGX_AUTH_STS_INVALID_ENTITY_V2 0x8034u
#define TGX_AUTH_STS_NO_PASSWORD 0x8050u
#define TGX_AUTH_STS_ALREADY_ENABLED 10u
#define TGX_AUTH_STS_MORE 7u /* V2 lists: more pairs than the list holds */

/* Board argument of TGX_SetAuthConfig and TGX_SetAuthPassword: the board
 * number in bits 0-27; this bit applies the setting without writing the
 * registry copy. */
#define TGX_AUTH_BOARD_MASK 0x0FFFFFFFu
#define TGX_AUTH_NO_REGISTRY 0x80000000u

/* Password types. */
#define TGX_AUTH_PWD_NONE 3u /* the entry holds no password */

/* A pair's configuration (40 bytes). */
typedef struct AuthConfigRecord {
    uint8_t localWwn[8];
    uint8_t remoteWwn[8];
    uint16_t timeOut;
    uint8_t authMode;
    uint8_t flags;        /* bit 0: bidirectional */
    uint8_t authPrior[4]; /* authentication types in order of preference */
    uint8_t hashPrior[4]; /* hash algorithms in order of preference */
    uint8_t grpPrior[8];  /* DH groups in order of preference */
    uint32_t rauthTimer;  /* re-authentication interval */
} AuthConfigRecord;

#define TGX_AUTH_BIDIRECTIONAL 0x01u

/* A password entry (132 bytes); also the password-info argument of the set
 * and delete configuration exports (the password that authorises the change). */
typedef struct AuthPasswordEntry {
    uint16_t length; /* at most 128 */
    uint16_t type;
    uint8_t password[128];
} AuthPasswordEntry;

/* The two passwords of a pair (264 bytes). */
typedef struct AUTH_PASSWD {
    AuthPasswordEntry local;
    AuthPasswordEntry remote;
} AUTH_PASSWD;

/* V1 password record (544 bytes): the current passwords authorise the new ones. */
typedef struct AuthPasswordRecord {
    uint8_t localWwn[8];
    uint8_t remoteWwn[8];
    AuthPasswordEntry currentLocal;
    AuthPasswordEntry currentRemote;
    AuthPasswordEntry newLocal;
    AuthPasswordEntry newRemote;
} AuthPasswordRecord;

/* V2 password record (280 bytes). */
typedef struct AuthPasswordRecordV2 {
    uint8_t localWwn[8];
    uint8_t remoteWwn[8];
    AUTH_PASSWD passwd;
} AuthPasswordRecordV2;

/* Status record (32 bytes): WWNs in, the driver's state of the pair out. */
typedef struct AuthStatusRecord {
    uint8_t localWwn[8];
    uint8_t remoteWwn[8];
    uint8_t state[5]; /* the driver's bytes: state, type, hash, group, mode */
    uint8_t flags;    /* bits 0-1 from the driver */
    uint8_t r22[2];
    uint32_t word24;
    uint32_t word28;
} AuthStatusRecord;

/* Configuration list of the list exports: count in = room for entries, out =
 * the entries filled (V1 and V2 alike); each entry carries its own status. */
typedef struct AuthConfigListEntry {
    AuthConfigRecord config;
    uint32_t status;
} AuthConfigListEntry;
typedef struct AuthConfigList {
    uint32_t count;
    AuthConfigListEntry entries[1]; /* allocate 4 + 44 x count bytes */
} AuthConfigList;

/* Operations of the V2 configuration requests. */
#define TGX_AUTH_V2_OP_GET 0u
#define TGX_AUTH_V2_OP_SET 1u
#define TGX_AUTH_V2_OP_DELETE 2u
#define TGX_AUTH_V2_OP_DELETE_ALL 3u
#define TGX_AUTH_V2_MAX_ENTRIES 16u /* entries one V2 call handles */
/* Source argument of the V2 reads. */
#define TGX_AUTH_SOURCE_DRIVER 0u
#define TGX_AUTH_SOURCE_FLASH 1u

TGX_EXPORT uint32_t TGX_GetAuthConfig(uint32_t board, AuthConfigRecord* config);
TGX_EXPORT uint32_t TGX_SetAuthConfig(uint32_t board, const AuthConfigRecord* config,
                                      const AuthPasswordEntry* pwdInfo);
TGX_EXPORT uint32_t TGX_DeleteAuthConfig(uint32_t board, const uint8_t* localWwn,
                                         const uint8_t* remoteWwn,
                                         const AuthPasswordEntry* pwdInfo);
TGX_EXPORT uint32_t TGX_GetAuthPassword(uint32_t board, AuthPasswordRecord* record);
TGX_EXPORT uint32_t TGX_SetAuthPassword(uint32_t board, const AuthPasswordRecord* record);
TGX_EXPORT uint32_t TGX_InitiateAuthentication(uint32_t board, const uint8_t* localWwn,
                                               const uint8_t* remoteWwn);
TGX_EXPORT uint32_t TGX_EnableAuthentication(uint32_t board);
TGX_EXPORT uint32_t TGX_DisableAuthentication(uint32_t board);
/* filter: the HBA port's registry pairs whose local WWN equals it (all 0xFF: all). */
TGX_EXPORT uint32_t TGX_GetAuthConfigList(uint32_t board, const uint8_t* filter,
                                          AuthConfigList* list);
TGX_EXPORT uint32_t TGX_GetAuthStatus(uint32_t board, AuthStatusRecord* status);
/* source 0: the driver; with a filter, the driver lists the pairs whose local
 * WWN equals it (all 0xFF: all); without one (null), each pair of the list is
 * read. Other sources: this function's slice of the adapter object. */
TGX_EXPORT uint32_t TGX_GetAuthConfigV2(uint32_t board, uint32_t source, const uint8_t* filter,
                                        AuthConfigList* list);
TGX_EXPORT uint32_t TGX_SetAuthConfigV2(uint32_t board, AuthConfigList* list);
/* flag non-zero: every pair of the driver (the list is not read). */
TGX_EXPORT uint32_t TGX_DeleteAuthConfigV2(uint32_t board, AuthConfigList* list, uint32_t flag);
TGX_EXPORT uint32_t TGX_DeleteAuthConfigObject(uint32_t board);
TGX_EXPORT uint32_t TGX_GetAuthPasswordV2(uint32_t board, AuthPasswordRecordV2* record,
                                          uint32_t source);
TGX_EXPORT uint32_t TGX_SetAuthPasswordV2(uint32_t board, const AuthPasswordRecordV2* record);
/* Writes the driver's pairs of this board into its slice of the adapter object. */
TGX_EXPORT uint32_t TGX_PersistAuthConfig(uint32_t board);

/* ---- FCoE parameters and FCF lists ----
 * Kept by an FCoE function in its 1024-byte configuration region 23.
 * Statuses: 0 success; 1 failed read, request or mailbox; 2 FCoE not
 * supported, a region record of unknown type or a region the export cannot
 * update whole; 3 bad board; 4 version other than 1 (FCF list: the driver's
 * version is returned in the record); 5 connection flags of 1024 or more, or
 * the driver busy (parameters); 7 more entries than allowed or than the
 * caller's room; 8 no resource. */
typedef struct FCoEParams {
    uint8_t version; /* 1 */
    uint8_t r1[3];
    uint8_t fcMap[3];
    uint8_t vlanValid;
    uint16_t vlanId;
} FCoEParams;

#define TGX_FCF_CONNECT_MAX 16u
typedef struct FCFConnectEntry {
    uint16_t flags; /* bit 0 valid, bits 1-5 options */
    uint16_t word2;
    uint8_t fabricName[8];
    uint8_t switchName[8];
    uint8_t r20[2];
} FCFConnectEntry;
typedef struct FCFConnectList {
    uint8_t version; /* 1 */
    uint8_t r1;
    uint8_t numEntries; /* at most 16 */
    uint8_t maxEntries; /* at most 16 */
    FCFConnectEntry entries[TGX_FCF_CONNECT_MAX];
} FCFConnectList;

/* One discovered FCF as the driver describes it; the library fills bytes
 * 0-21, the u16 at 22, bytes 536-538, the u32 at 540 and the u32 at 548. */
typedef struct FCFEntry {
    uint8_t bytes[552];
} FCFEntry;
typedef struct FCFList {
    uint8_t version; /* 1 */
    uint8_t r1[3];
    uint16_t nEntries; /* in: capacity; out: the driver's count */
    uint16_t nActiveFCF;
    FCFEntry entries[1]; /* nEntries entries: allocate 8 + 552 x nEntries bytes */
} FCFList;

TGX_EXPORT uint32_t TGX_FCoEGetParams(uint32_t board, FCoEParams* params);
TGX_EXPORT uint32_t TGX_FCoESetParams(uint32_t board, const FCoEParams* params);
TGX_EXPORT uint32_t TGX_FCoEGetFCFConnectList(uint32_t board, FCFConnectList* list);
TGX_EXPORT uint32_t TGX_FCoESetFCFConnectList(uint32_t board, const FCFConnectList* list);
TGX_EXPORT uint32_t TGX_FCoEGetFCFList(uint32_t board, FCFList* list);

/* ---- SD statistics ----
 * Statuses: 0 success; 1 failed request or no adapter; 3 bad board; 4 the
 * port identifier is neither the port's WWPN nor one of its virtual ports;
 * 5 type other than 1; 11 null pointer or zero buffer size; 12 out of memory;
 * 13 collection started before a bucket layout exists; 15 search type other
 * than 1 or 2; 18 library not initialised; 19 a board is collecting;
 * otherwise the driver's ReturnCode. */
TGX_EXPORT uint32_t TGX_SD_Get_Granularity(void);
TGX_EXPORT uint32_t TGX_SD_Set_Bucket(uint16_t type, uint16_t searchType, uint32_t base,
                                      uint32_t step);
/* buckets: 20 entries. */
TGX_EXPORT uint32_t TGX_SD_Get_Bucket(uint16_t type, uint16_t* searchType, uint32_t* base,
                                      uint32_t* step, uint64_t* buckets);
TGX_EXPORT uint32_t TGX_SD_Destroy_Bucket(uint16_t type);
TGX_EXPORT uint32_t TGX_SD_Start_Data_Collection(uint32_t board, HBA_wwn portId, uint16_t type,
                                                 uint32_t arg);
TGX_EXPORT uint32_t TGX_SD_Stop_Data_Collection(uint32_t board, HBA_wwn portId, uint16_t type);
TGX_EXPORT uint32_t TGX_SD_Reset_Data_Collection(uint32_t board, HBA_wwn portId, uint16_t type);
/* Fills at most bufSize bytes with 88-byte per-target records. */
TGX_EXPORT uint32_t TGX_SD_Get_Data(uint32_t board, HBA_wwn portId, uint16_t type,
                                    uint16_t* targetCount, uint32_t bufSize, void* buffer);

/* ---- LUN masking and target mapping ----
 * WWNs are 8 bytes in wire order. Statuses as listed per export: 0 success;
 * 1 bad board (most), failed request or registry failure; 2 bad option, type
 * or kind, Port driver, driver refusal or unknown virtual port; 3 bad board
 * (TGX_GetScsiID), driver ReturnCode 1 (TGX_GetLunList) or a missing registry
 * flag; 4 registry LUN mapping write failed; 5 target unknown or registry
 * write failed; 7 more entries than the capacity, or link down
 * (TGX_GetScsiID); 14 out of memory; 16 bad board (rescan, move, registry
 * sets); 17 out of memory (VPI exports); otherwise the driver's ReturnCode. */
#define TGX_LUN_FROM_DRIVER 0u
#define TGX_LUN_FROM_REGISTRY 1u
#define TGX_LUNMASK_DRIVER 0u /* TGX_SetLunMask types */
#define TGX_LUNMASK_REGISTRY 1u
#define TGX_LUNMASK_BOTH 2u
#define TGX_LUNMASK_LEVEL_LUN 1u /* mask flag bits 0-2 */
#define TGX_LUNMASK_LEVEL_TARGET 2u
#define TGX_LUNMASK_LEVEL_HBA 4u
#define TGX_LUNMASK_MASK 0x80000000u /* set: mask; clear: unmask */
#define TGX_LUNMASK_BY_DID 1u        /* TGX_MoveRegLUNMask kinds */
#define TGX_LUNMASK_BY_WWPN 2u
#define TGX_LUNMASK_BY_WWNN 4u

typedef struct LunListEntry {
    uint32_t wordA; /* the driver's words, passed through */
    uint32_t wordB;
    uint16_t osLun;
    uint8_t state;
    uint8_t unMask; /* 1 LUN, 2 target, 4 HBA level unmask */
} LunListEntry;
typedef struct LunListRecord {
    uint32_t count;          /* in: capacity; out: the number of LUNs */
    LunListEntry entries[1]; /* allocate 4 + 12 x capacity bytes */
} LunListRecord;

/* Registry LUN mapping entry of the filter driver (12 bytes). */
typedef struct LunMappingEntry {
    uint16_t lun;
    uint16_t flags; /* bit 0 masked, bit 1 state */
    uint32_t wordA;
    uint32_t wordB;
} LunMappingEntry;

typedef struct TGX_ScsiIdRecord {
    uint8_t targetWwpn[8];
    uint32_t pathId;       /* out */
    uint32_t targetId;     /* out */
    uint32_t requestFlags; /* in */
} TGX_ScsiIdRecord;

/* Node list of the driver (header 8 bytes, entries of 36). */
typedef struct NodeListEntry {
    uint32_t word0;
    uint32_t word1;
    uint32_t word2;
    uint32_t dId;
    uint8_t wwnn[8];
    uint8_t wwpn[8];
    uint32_t word32;
} NodeListEntry;
typedef struct NodeListRecord {
    uint16_t count; /* in: capacity; out: the driver's count */
    uint16_t flags; /* bit 3: HBA-level unmask */
    uint8_t r4[4];
    NodeListEntry entries[1];
} NodeListRecord;

/* One FCP SCSI mapping entry (304 bytes): the OS address and the FCP address. */
typedef struct TGX_FcpMappingEntry {
    char osDeviceName[256];
    uint32_t scsiBus;
    uint32_t scsiTarget;
    uint32_t scsiOsLun;
    uint32_t r268;
    uint32_t fcId;
    uint8_t nodeWwn[8];
    uint8_t portWwn[8];
    uint32_t r292;
    uint32_t fcpLunLo; /* FCP LUN bytes 0-3 */
    uint32_t fcpLunHi; /* FCP LUN bytes 4-7 */
} TGX_FcpMappingEntry;
typedef struct TGX_FcpTargetMapping {
    uint32_t count; /* in: capacity (0 counts as 1); out: the driver's count */
    uint32_t r4;
    TGX_FcpMappingEntry entries[1]; /* allocate 8 + 304 x capacity bytes */
} TGX_FcpTargetMapping;

/* One node of TGX_GetAllNodeInfoByWWN (312 bytes). */
typedef struct TGX_NodeInfoEntry {
    uint32_t listFlags; /* the node list's flags */
    uint8_t r4[260];
    uint32_t word0;
    uint32_t word1;
    uint32_t dId;
    uint8_t wwnn[8];
    uint8_t wwpn[8];
    uint8_t r292[12];
    uint32_t word2;
    uint8_t r308[4];
} TGX_NodeInfoEntry;
#define TGX_NODE_INFO_MAX 512u
typedef struct TGX_NodeInfo {
    uint32_t count; /* in: capacity (at most 512); out: the driver's count */
    uint32_t r4;
    TGX_NodeInfoEntry entries[1]; /* allocate 8 + 312 x capacity bytes */
} TGX_NodeInfo;

TGX_EXPORT uint32_t TGX_GetLunList(uint32_t board, const uint8_t* targetWwpn, uint32_t option,
                                   LunListRecord* list);
TGX_EXPORT uint32_t TGX_SetLunMask(uint32_t board, const uint8_t* targetWwpn, uint32_t type,
                                   uint32_t firstLun, uint32_t lunCount, uint32_t maskFlag);
TGX_EXPORT uint32_t TGX_GetLunUnMaskbyHBA(uint32_t board, uint32_t option, uint32_t* flag);
TGX_EXPORT uint32_t TGX_GetLunUnMaskbyTarget(uint32_t board, const uint8_t* targetWwpn,
                                             uint32_t option, uint32_t* flag);
TGX_EXPORT uint32_t TGX_RescanLUNs(uint32_t board);
TGX_EXPORT uint32_t TGX_MoveRegLUNMask(uint32_t board, uint32_t source, uint32_t dest);
TGX_EXPORT uint32_t TGX_GetScsiID(uint32_t board, const uint8_t* portWwpn, TGX_ScsiIdRecord* rec);
TGX_EXPORT uint32_t TGX_GetFcpTargetMappingByWWN(uint32_t board, const uint8_t* portWwpn,
                                                 TGX_FcpTargetMapping* mapping);
TGX_EXPORT uint32_t TGX_GetAllNodeInfoByWWN(uint32_t board, const uint8_t* portWwpn,
                                            TGX_NodeInfo* info);

/* ---- SCSI and ELS pass-through ----
 * SendFcpCmd and TGX_SendELSCmd: 0; 1 bad board, bad command or failure; 5
 * unknown port (FCP); 7 more data; TGX_SendELSCmd: other driver ReturnCodes
 * as they come. The SCSI exports: 0; 1 error (INQUIRY: also an
 * unexpected driver answer); 2 Port driver or unknown virtual port; 3 bad
 * board; 5 unknown port or target; 7 more data; 17 out of memory; 18 data
 * overrun (the bytes transferred are copied). Sense data never exceed the
 * caller's sense buffer; TGX_SendELSCmd refuses requests under 4 bytes. */
typedef struct TGX_ElsDest {
    uint32_t idType; /* 0 by WWPN, 1 by port identifier */
    uint32_t portId;
    uint8_t wwpn[8];
} TGX_ElsDest;
#define TGX_ELS_BY_WWPN 0u
#define TGX_ELS_BY_PORT_ID 1u

/* fcpCmnd: the 32-byte FCP_CMND IU; fcpRsp: rspSize bytes of FCP_RSP IU. */
TGX_EXPORT uint32_t SendFcpCmd(uint32_t board, const uint8_t* targetWwpn, const uint8_t* fcpCmnd,
                               uint32_t reqSize, void* data, uint32_t* dataSize, uint8_t* fcpRsp,
                               uint32_t rspSize);
TGX_EXPORT uint32_t TGX_SendScsiInquiryByWWN(uint32_t board, const uint8_t* portWwpn,
                                             const uint8_t* targetWwpn, uint64_t fcLun,
                                             uint8_t evpd, uint32_t pageCode, void* rsp,
                                             uint32_t rspSize, void* sense, uint32_t senseSize);
TGX_EXPORT uint32_t TGX_SendReadCapacityByWWN(uint32_t board, const uint8_t* portWwpn,
                                              const uint8_t* targetWwpn, uint32_t lun, void* rsp,
                                              uint32_t rspSize, void* sense, uint32_t senseSize);
TGX_EXPORT uint32_t TGX_SendReportLUNsByWWN(uint32_t board, const uint8_t* portWwpn,
                                            const uint8_t* targetWwpn, void* rsp, uint32_t rspSize,
                                            void* sense, uint32_t senseSize);
TGX_EXPORT uint32_t TGX_SendELSCmd(uint32_t board, const TGX_ElsDest* dest, const void* request,
                                   uint32_t requestSize, void* rsp, uint32_t* rspSize);

/* ---- OAS LUN lists ----
 * Per-LUN OAS settings of an initiator/target pair. option 0: the driver;
 * option 1: the registry below the driver's service key. Statuses: 0 success;
 * 1 bad board, missing argument, failed request, registry failure or an
 * unknown driver status; 4 record version other than 1 (V2 set; 1 is written
 * back); 5 target not resolved or its registry key missing; 7 list too small
 * (count holds the entries needed); 10 out of memory (sets); 15 no initiator
 * key, VPI not usable, or the V2 list's initiator unknown to the driver;
 * 16 out of memory (lists); 17 set refused for the initiator; 18 V2/V3 set on
 * an unknown target; 32 option above 1, OAS (V2) not supported; 33 driver
 * ReturnCode 4; 34 driver ReturnCode 1 on TGX_SetOASLun; 35 no registry key
 * for the adapter's port. TGX_SetOASLunV2 returns other driver ReturnCodes as
 * they are. */
typedef struct OasLunEntry {
    uint64_t fcLun;
    uint64_t osLun;   /* the LUN number, high half 0 */
    uint8_t lunState; /* 1: the LUN is in the driver's list */
    uint8_t oasState;
    uint8_t priority;
    uint8_t reserved; /* the driver's fourth byte (V2 list), else 0 */
    uint8_t initiatorWwpn[8];
    uint8_t targetWwpn[8];
    uint8_t zero[4];
} OasLunEntry;
typedef struct OasLunList {
    uint32_t count;         /* in: capacity in entries; out: returned, or needed with 7 */
    uint32_t reserved;      /* not touched */
    OasLunEntry entries[1]; /* count entries: allocate 8 + 40 x count bytes */
} OasLunList;

/* Record of TGX_SetOASLunV2 (16 bytes). */
typedef struct OasLunRecordV2 {
    uint8_t version;  /* must be 1 */
    uint8_t oasState; /* 0 or 1 */
    uint8_t priority;
    uint8_t r3[5];
    uint64_t oasLun; /* the low 32 bits are used */
} OasLunRecordV2;

/* initiator null: every pair (option 0: the driver's OAS table). */
TGX_EXPORT uint32_t TGX_GetOASLunList(uint32_t board, const uint8_t* initiatorWwpn,
                                      const uint8_t* targetWwpn, uint32_t option, OasLunList* list);
/* lun: the low 16 bits; state: bit 0 OAS on (option 1 stores the byte). */
TGX_EXPORT uint32_t TGX_SetOASLun(uint32_t board, const uint8_t* initiatorWwpn,
                                  const uint8_t* targetWwpn, uint64_t lun, uint32_t option,
                                  uint8_t state);
TGX_EXPORT uint32_t TGX_SetOASLunV2(uint32_t board, const uint8_t* initiatorWwpn,
                                    const uint8_t* targetWwpn, uint32_t option,
                                    OasLunRecordV2* record);

/* ---- ending a registration ----
 * Every unregistration (driver events, RSCN watchers, CT and SD registrations)
 * follows one rule. Once it is under way no callback of the registration
 * starts. A callback of it still running on another thread is waited for, at
 * most 30 s of real time, and not at all when the call itself comes from
 * inside a callback of this library while that other callback runs (it may be
 * waiting for the caller). 0: no callback of the registration runs any more,
 * except one on the calling thread itself. 1: one may still be finishing; the
 * registration is stopped and what it holds is collected by a later call for
 * it or by the release (an SD registration is gone at
 * once: its later call gives 14). */

/* ---- driver events ----
 * TGX_RegisterForEvent starts a watcher for one event kind of a board and
 * returns its event identifier (null on any failure): mask 16 firmware dumps
 * and 32 temperature events (polled from the driver), 2 RSCNs of the port and
 * 64 RSCNs of its virtual ports (outSz 8 to 1024). A board has four slots;
 * registering a kind it already watches returns the same identifier. The
 * callback is the function of the mask's kind below, cast to
 * TGX_EventCallback; it runs on the watcher's thread (the first temperature
 * callback may run on the registering thread, before the call returns).
 * TGX_unRegisterForEvent (identifier, or null for every slot of the board):
 * 0 the watcher has ended; 1 bad board, an identifier that is not one of the
 * board's slots, a call from the callback of the slot it stops, or a watcher
 * not waited for to its end by the rule above (the slot stays taken; call
 * again). TGX_FreeDiagEnv ends every watcher the same way (called from an
 * event callback, it lets that watcher end when the callback returns). */
typedef void (*TGX_EventCallback)(void);
typedef void (*TGX_DumpEventCallback)(uint32_t board);
typedef void (*TGX_TempEventCallback)(uint32_t board, uint32_t type /* 1-3 */,
                                      uint32_t temperature);
typedef void (*TGX_PortRscnCallback)(uint32_t board, const uint8_t* pages, uint32_t length);
typedef void (*TGX_VPortRscnCallback)(uint32_t board, HBA_wwn wwpn, const uint8_t* pages,
                                      uint32_t length);
#define TGX_EVENT_PORT_RSCN 2u
#define TGX_EVENT_DUMP 16u
#define TGX_EVENT_TEMPERATURE 32u
#define TGX_EVENT_VPORT_RSCN 64u

TGX_EXPORT void* TGX_RegisterForEvent(uint32_t board, uint32_t mask, uint32_t type, uint32_t outSz,
                                      TGX_EventCallback callback, void* context);
TGX_EXPORT uint32_t TGX_unRegisterForEvent(uint32_t board, void* eventId);

/* ---- CT management service ----
 * QrlTgxRegisterForCTEvents: serve unsolicited CT requests of one GS type
 * (low 16 bits; 0xFFFF = every type, as eight registrations) on a board.
 * Returns the event identifier (the wildcard's is the board's context), or
 * null with *status: 7 bad board, no context or null callback; 6 the library
 * is releasing the board; 251 already registered (that type, the wildcard,
 * the wildcard while others exist) or no free descriptor (8 per board); 248
 * no resources or the driver refused without a status; otherwise the status
 * the driver gave. A failed call leaves nothing registered.
 * The callback runs on the registration's receive thread, one request at a
 * time; data stays valid until the request is answered or the registration
 * ends. Each registration keeps at most eight requests: while eight await an
 * answer, no more are received.
 * QrlTgxUnregisterForCTEvents: 0 (the receive threads have ended); 7 bad
 * board or no context; 4 nothing registered or an identifier this board did
 * not hand out; 1 called from a callback of the registration it would end, or
 * a receive thread not waited for to its end by the rule above (call again). With the wildcard
 * active any of its identifiers ends all eight. QrlTgxSendMgmtResponse (a CT response, GS type at
 * byte 4, at most 131072 bytes; tag of the request): 0; 7; 4 GS type not registered (or no GS
 * type); 250 tag unknown (nothing sent); 0xFFFFFFFF response too long (refused before the request
 * is looked up: it still awaits its answer) or the device request failed (the request is given
 * back). QrlTgxSendMgmtCommand (destination: 8 bytes; *rspSize in: room, out: bytes copied; timeout
 * in seconds, 0 = 30): 0; 7 bad board or argument; 252 out of memory; 254 timeout or not available;
 * 249 invalid request; 255 data overrun; 0xFFFFFFFF device failure or unknown code. SendCTPassThru
 * (the GS type is byte 4 of the command; the whole response area is copied): 0; 1 bad board or
 * argument, response size 0, failure. TGX_FreeDiagEnv ends every registration first; it must not be
 * called from a CT callback. */
typedef void (*QrlTgxCtCallback)(uint32_t board, uint32_t gstype, const uint8_t* data,
                                 uint32_t length, uint32_t tag, void* userContext);

TGX_EXPORT void* QrlTgxRegisterForCTEvents(uint32_t board, uint32_t gstype,
                                           QrlTgxCtCallback callback, void* userContext,
                                           uint32_t* status);
TGX_EXPORT uint32_t QrlTgxUnregisterForCTEvents(uint32_t board, void* eventId);
TGX_EXPORT uint32_t QrlTgxSendMgmtResponse(uint32_t board, const void* response, uint32_t length,
                                           uint32_t tag);
TGX_EXPORT uint32_t QrlTgxSendMgmtCommand(uint32_t board, const uint8_t* destination,
                                          const void* command, uint32_t cmdSize, void* response,
                                          uint32_t* rspSize, uint32_t timeout);
TGX_EXPORT uint32_t SendCTPassThru(uint32_t board, const void* command, uint32_t cmdSize,
                                   void* response, uint32_t rspSize);

/* ---- SD events ----
 * Callbacks for driver events of one port, by category (1 ELS, 2 fabric,
 * 4 SCSI, 8 board) and subcategory (a single bit: ELS 1-32, 32 = RSCN;
 * fabric 1-4; SCSI 1-64; board 1-4). Callbacks run on one library thread, one
 * at a time, with no library lock held; the SdEventData record is valid only
 * during the call. Board events reach every port of the board that
 * registered them, each with its own port WWN.
 * TGX_SD_unRegisterForEvent ends the registration by the rule above (1 also
 * when its callback may still be finishing; called from inside its own
 * callback, that callback finishes after it returns).
 * Statuses: 0 success; 1 the event service or the driver failed (the
 * registration is undone; unregistration: bad board); 3 bad board, or the
 * port WWN is neither the board's port nor one of its virtual ports; 4 the
 * handle belongs to another port; 6 category not supported; 7 subcategory not
 * supported for the category; 9 already registered for this port; 11 null
 * pointer;
 * 12 out of memory; 14 unregistration: invalid, stale or null handle, or
 * nothing registered; 18 library not initialised. */
typedef struct SdEventData {
    uint32_t zero0;
    uint32_t length;        /* datasize + 12; an RSCN: its total length + 40 */
    const uint32_t* pZero1; /* points at zero1 */
    uint32_t zero1;
    const uint8_t* payload; /* length - 12 bytes; an RSCN: version (0), port WWN,
                               page count, the pages */
} SdEventData;

typedef void (*TGX_SD_CALLBACK)(uint32_t board, HBA_wwn portWwn, uint32_t category,
                                uint32_t subCategory, void* context, SdEventData* data);

TGX_EXPORT uint32_t TGX_SD_RegisterForEvent(uint32_t board, HBA_wwn portWwn, uint32_t category,
                                            uint32_t subCategory, void* context, uint32_t* handle,
                                            TGX_SD_CALLBACK callback);
TGX_EXPORT uint32_t TGX_SD_unRegisterForEvent(uint32_t board, HBA_wwn portWwn, uint32_t handle);
/* Asks the driver to raise the event (it does when the event is registered):
 * 0, or 1 when the request failed or the board is bad. */
TGX_EXPORT uint32_t TGX_forceWMIEvent(uint32_t board, uint32_t category, uint32_t subCategory);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(BrdInfo) == 108, "BrdInfo layout");
static_assert(sizeof(DrvInfo) == 156, "DrvInfo layout");
static_assert(sizeof(TGX_LINK_INFO) == 168, "link information record");
static_assert(sizeof(TGX_PCI_IDS) == 24, "PCI identifier record");
static_assert(sizeof(LATENCY_INFO) == 76, "latency record");
static_assert(sizeof(HBA_wwn) == 8, "WWN");
static_assert(sizeof(VPortRecord) == 344, "virtual-port record");
static_assert(sizeof(VPortListEntry) == 20, "virtual-port list entry");
static_assert(__builtin_offsetof(VPortList, entries) == 4, "virtual-port list header");
static_assert(__builtin_offsetof(VPortRecord, options) == 276, "virtual-port options");
static_assert(__builtin_offsetof(VPortRecord, field8) == 296, "virtual-port version 2 fields");
static_assert(__builtin_offsetof(VPortRecord, checklist) == 304, "virtual-port checklist");
static_assert(__builtin_offsetof(VPortRecord, field32) == 308, "virtual-port exchange field");
static_assert(sizeof(TGX_VPResource) == 16, "virtual-port resources");
static_assert(sizeof(TGX_VPLinkInfo) == 44, "virtual-port link information");
static_assert(sizeof(VirtualPortEntry) == 160, "virtual-port registry entry");
static_assert(sizeof(AuthConfigRecord) == 40, "authentication configuration");
static_assert(__builtin_offsetof(AuthConfigRecord, timeOut) == 16, "settings start");
static_assert(__builtin_offsetof(AuthConfigRecord, rauthTimer) == 36, "re-authentication timer");
static_assert(sizeof(AuthPasswordEntry) == 132, "password entry");
static_assert(sizeof(AUTH_PASSWD) == 264, "two password entries");
static_assert(sizeof(AuthPasswordRecord) == 544, "V1 password record");
static_assert(sizeof(AuthPasswordRecordV2) == 280, "V2 password record");
static_assert(sizeof(AuthStatusRecord) == 32, "authentication status record");
static_assert(sizeof(AuthConfigListEntry) == 44, "configuration list entry");
static_assert(__builtin_offsetof(AuthConfigList, entries) == 4, "configuration list header");
static_assert(sizeof(FCoEParams) == 10, "FCoE parameters");
static_assert(sizeof(FCFConnectEntry) == 22, "FCF connection entry");
static_assert(__builtin_offsetof(FCFConnectList, entries) == 4, "FCF connection list header");
static_assert(sizeof(FCFEntry) == 552, "FCF entry");
static_assert(__builtin_offsetof(FCFList, entries) == 8, "FCF list header");
static_assert(sizeof(LunListEntry) == 12, "LUN list entry");
static_assert(__builtin_offsetof(LunListRecord, entries) == 4, "LUN list header");
static_assert(sizeof(LunMappingEntry) == 12, "registry LUN mapping entry");
static_assert(sizeof(TGX_ScsiIdRecord) == 20, "SCSI identifier record");
static_assert(sizeof(NodeListEntry) == 36, "node list entry");
static_assert(__builtin_offsetof(NodeListRecord, entries) == 8, "node list header");
static_assert(sizeof(TGX_FcpMappingEntry) == 304, "FCP mapping entry");
static_assert(__builtin_offsetof(TGX_FcpMappingEntry, fcId) == 272, "FCP mapping FC ID");
static_assert(__builtin_offsetof(TGX_FcpMappingEntry, fcpLunLo) == 296, "FCP mapping LUN");
static_assert(__builtin_offsetof(TGX_FcpTargetMapping, entries) == 8, "FCP mapping header");
static_assert(sizeof(TGX_NodeInfoEntry) == 312, "node information entry");
static_assert(__builtin_offsetof(TGX_NodeInfoEntry, word0) == 264, "node information words");
static_assert(__builtin_offsetof(TGX_NodeInfoEntry, word2) == 304, "node information word 2");
static_assert(__builtin_offsetof(TGX_NodeInfo, entries) == 8, "node information header");
static_assert(sizeof(TGX_ElsDest) == 16, "ELS destination");
static_assert(sizeof(OasLunEntry) == 40, "OAS LUN entry");
static_assert(__builtin_offsetof(OasLunEntry, initiatorWwpn) == 20, "OAS entry WWPNs");
static_assert(__builtin_offsetof(OasLunList, entries) == 8, "OAS LUN list header");
static_assert(sizeof(OasLunRecordV2) == 16, "OAS V2 record");
static_assert(__builtin_offsetof(OasLunRecordV2, oasLun) == 8, "OAS V2 record LUN");
#endif
#endif
