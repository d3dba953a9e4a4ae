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
    uint32_t w0;          /* 0 */
    uint32_t slimBase;    /* payload word 464 of the board-information reply */
    uint32_t w8;          /* 0 */
    uint32_t w12;         /* 0xFFFFFFFF */
    uint32_t w16;         /* 0 */
    uint32_t word20;      /* payload word 456 of the board-information reply */
    uint32_t w24;         /* 0xFFFFFFFF */
    uint32_t pciIds;      /* device ID bits 16-31, vendor ID bits 0-15 */
    uint32_t busid;       /* bus bits 0-7, segment bits 8-23 */
    uint32_t dev_id;      /* PCI device number */
    uint8_t pciFunc;      /* PCI function number */
    uint8_t b41;          /* 0 */
    uint16_t scsiPort;    /* SCSI port number n */
    uint32_t w44;         /* 0x2C1 */
    uint32_t w48;         /* 0x1A7 */
    char drvVersion[16];  /* first 16 bytes of the adapter attributes' DriverVersion */
    char fwVersion[32];   /* first 32 bytes of FirmwareVersion */
    uint8_t wwpn[8];      /* port WWN */
} BrdInfo;

/* Driver information record of TGX_GetDrvInfo (156 bytes, little-endian). */
typedef struct DrvVerName {
    char drvVer[16];
    char dvrName[8];
} DrvVerName;

typedef struct DrvInfo {
    uint8_t version;      /* requested in, agreed out */
    uint8_t drvType;
    uint8_t pad2[2];
    uint8_t p4[4];
    DrvVerName names[3];
    uint32_t d_id;
    uint8_t wwpn[8];
    uint32_t p92;
    uint32_t p96;
    uint8_t p100[32];     /* version 2 and up */
    uint32_t p132;        /* version 3 and up */
    uint32_t sliMode;     /* version 4 and up */
    uint32_t p140;        /* not written */
    uint32_t featureList; /* version 4 and up */
    uint32_t p148;        /* version 4 and up */
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

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(BrdInfo) == 108, "BrdInfo layout");
static_assert(sizeof(DrvInfo) == 156, "DrvInfo layout");
static_assert(sizeof(HBA_AdapterAttributes) == TGX_ADAPTER_ATTRIBUTES_SIZE, "adapter attributes");
static_assert(sizeof(HBA_PortAttributes) == TGX_PORT_ATTRIBUTES_SIZE, "port attributes");
#endif
#endif
