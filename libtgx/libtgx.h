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
 * 0; 1 bad board, an identifier that is not one of the board's slots, a call
 * from the callback of the slot it stops, or a watcher that did not end in
 * time (the slot stays taken; call again). When it returns 0 the watcher has
 * ended: no callback of that registration runs any more, except one on the
 * calling thread itself (a callback that unregisters another slot of its own
 * board). TGX_FreeDiagEnv ends every watcher the same way (called from an
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

TGX_EXPORT void* TGX_RegisterForEvent(uint32_t board, uint32_t mask, uint32_t type,
                                      uint32_t outSz, TGX_EventCallback callback, void* context);
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
 * QrlTgxUnregisterForCTEvents: 0 (the receive threads have ended: no callback
 * of the registration runs any more); 7 bad board or no context; 4 nothing
 * registered or an identifier this board did not hand out; 1 called from a
 * callback of the registration it would end. With the wildcard active any of
 * its identifiers ends all eight.
 * QrlTgxSendMgmtResponse (a CT response, GS type at byte 4, at most 131072
 * bytes; tag of the request): 0; 7; 4 GS type not registered (or no GS type);
 * 250 tag unknown (nothing sent); 0xFFFFFFFF response too long or the device
 * request failed (the request is given back either way).
 * QrlTgxSendMgmtCommand (destination: 8 bytes; *rspSize in: room, out: bytes
 * copied; timeout in seconds, 0 = 30): 0; 7 bad board or argument; 252 out of
 * memory; 254 timeout or not available; 249 invalid request; 255 data overrun;
 * 0xFFFFFFFF device failure or unknown code.
 * SendCTPassThru (the GS type is byte 4 of the command; the whole response
 * area is copied): 0; 1 bad board or argument, response size 0, failure.
 * TGX_FreeDiagEnv ends every registration first; it must not be called from a
 * CT callback. */
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
 * When TGX_SD_unRegisterForEvent returns, no callback of that registration
 * runs or will run, except when it is called from inside a callback: that
 * callback finishes after it returns.
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
                                            uint32_t subCategory, void* context,
                                            uint32_t* handle, TGX_SD_CALLBACK callback);
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
static_assert(sizeof(FCoEParams) == 10, "FCoE parameters");
static_assert(sizeof(FCFConnectEntry) == 22, "FCF connection entry");
static_assert(__builtin_offsetof(FCFConnectList, entries) == 4, "FCF connection list header");
static_assert(sizeof(FCFEntry) == 552, "FCF entry");
static_assert(__builtin_offsetof(FCFList, entries) == 8, "FCF list header");
#endif
#endif
