/* Records and bits the adapter driver defines and returns as they are: the
 * feature bits of the driver information, the SNIA HBA API adapter and port
 * attribute records, and the port states. The library hands them to its
 * callers unchanged (libtgx.h includes this header); the simulated driver
 * builds them. Little-endian, no padding: the sizes are pinned below. */
#ifndef TGX_DRIVER_RECORDS_H
#define TGX_DRIVER_RECORDS_H
#include <stdint.h>

/* Feature bits of DrvInfo.featureList. */
#define TGX_FEATURE_AUTH_V2_STORE 0x10u /* authentication copy kept in the adapter object */
#define TGX_FEATURE_FCOE 0x200u
#define TGX_FEATURE_PERSIST_LINKDOWN 0x400u
#define TGX_FEATURE_MBOX_V2_EXT 0x1000u
#define TGX_FEATURE_OAS_V2 0x4000u
/* The driver answers queries only (inventory, targets, LUNs, virtual ports):
 * it takes no adapter mailbox command that changes, tests or dumps the
 * adapter, as a backend over an operating system's FC transport class. */
#define TGX_FEATURE_QUERY_ONLY 0x80000000u

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

#ifdef __cplusplus
static_assert(sizeof(HBA_AdapterAttributes) == TGX_ADAPTER_ATTRIBUTES_SIZE,
              "adapter attribute record size");
static_assert(sizeof(HBA_PortAttributes) == TGX_PORT_ATTRIBUTES_SIZE, "port attribute record size");
#endif

#endif
