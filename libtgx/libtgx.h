/* libtgx: the management interface to the adapter driver. Flat C exports; every
 * buffer is owned by the caller. Board numbers index the library's adapter table. */
#ifndef LIBTGX_H
#define LIBTGX_H
#include <stdint.h>

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

/* Feature bits of DrvInfo.featureList. */
#define TGX_FEATURE_FCOE 0x200u
#define TGX_FEATURE_PERSIST_LINKDOWN 0x400u
#define TGX_FEATURE_MBOX_V2_EXT 0x1000u
#define TGX_FEATURE_OAS_V2 0x4000u

/* SNIA HBA API records, as the driver returns them. */
#define TGX_ADAPTER_ATTRIBUTES_SIZE 2192
#define TGX_PORT_ATTRIBUTES_SIZE 632

typedef struct HBA_AdapterAttributes {
    char Manufacturer[64];
    char SerialNumber[64];
    char Model[256];
    char ModelDescription[256];
    uint8_t NodeWWN[8];
    char NodeSymbolicName[256];
    char HardwareVersion[256];
    char DriverVersion[256];
    char OptionROMVersion[256];
    char FirmwareVersion[256];
    uint32_t VendorSpecificID;
    uint32_t NumberOfPorts;
    char DriverName[256];
} HBA_AdapterAttributes;

typedef struct HBA_PortAttributes {
    uint8_t NodeWWN[8];
    uint8_t PortWWN[8];
    uint32_t PortFcId;
    uint32_t PortType;
    uint32_t PortState; /* 2 = online */
    uint32_t PortSupportedClassofService;
    uint8_t PortSupportedFc4Types[32];
    uint8_t PortActiveFc4Types[32];
    char PortSymbolicName[256];
    char OSDeviceName[256];
    uint32_t PortSupportedSpeed;
    uint32_t PortSpeed;
    uint32_t PortMaxFrameSize;
    uint8_t FabricName[8];
    uint32_t NumberofDiscoveredPorts;
} HBA_PortAttributes;

#define TGX_PORTSTATE_ONLINE 2u

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

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(BrdInfo) == 108, "BrdInfo layout");
static_assert(sizeof(DrvInfo) == 156, "DrvInfo layout");
static_assert(sizeof(HBA_AdapterAttributes) == TGX_ADAPTER_ATTRIBUTES_SIZE, "adapter attributes");
static_assert(sizeof(HBA_PortAttributes) == TGX_PORT_ATTRIBUTES_SIZE, "port attributes");
static_assert(sizeof(TGX_LINK_INFO) == 168, "link information record");
static_assert(sizeof(TGX_PCI_IDS) == 24, "PCI identifier record");
static_assert(sizeof(LATENCY_INFO) == 76, "latency record");
#endif
#endif
