// NEXA access layer: the only code of hbaset that calls the NEXA library.
//
// Every NEXA call is made under one process-wide lock and traced (trace group
// 0x80000). NEXA statuses become RM statuses: 14 (the service cannot serve the
// request now) gives MAL_RM_BUSY and stops the whole operation; any other
// failure gives MAL_RM_NEXA_ERROR unless a caller asks for the raw status.
//
// Typed group reads take a list of {property name, destination} and leave a
// defined fallback in every destination that cannot be read. Inventory groups
// fill the records below from one node (and its child nodes).
#pragma once
#include <cstddef>
#include <cstdint>

// ---- RM statuses produced here ----------------------------------------------
enum : int {
    MAL_RM_OK = 0,
    MAL_RM_MAC_FORMAT = 1,   // a MAC value with fewer than six fields
    MAL_RM_NULL_ARG = 4,     // a required pointer argument is missing
    MAL_RM_BAD_KIND = 21,    // physical-HBA kind outside the known set
    MAL_RM_SMALL_ARRAY = 29, // instance array with room for fewer than 1024 entries
    MAL_RM_BUSY = 64,        // NEXA status 14
    MAL_RM_NEXA_ERROR = 114, // any other NEXA failure
};

// ---- sizes -------------------------------------------------------------------
constexpr int MAL_VALUE_SIZE = 256; // property value buffers
constexpr int MAL_TEXT_SIZE = 256;  // text fields: up to 255 characters
// Last-status text buffer: NEXA writes at most 255 characters and a NUL; the
// layer clears the buffer before each query and terminates it afterwards.
constexpr int MAL_STATUS_TEXT_SIZE = 256;
constexpr int MAL_PARAM_SIZE = 256;                               // one action parameter
constexpr int MAL_PARAM_COUNT = 6;                                // parameters per action
constexpr int MAL_PARAMS_SIZE = MAL_PARAM_SIZE * MAL_PARAM_COUNT; // 1536
constexpr int MAL_ACTION_OUTPUT_SIZE = 16388;                     // action output area (never read)
constexpr int MAL_MAX_INSTANCES = 1024;                           // instance arrays
constexpr int MAL_PCI_CONFIG_SIZE = 256;                          // PCI configuration copy
constexpr int MAL_IPV6_TEXT_SIZE = 65;                            // 64 characters and NUL
constexpr int MAL_NCSI_VERSION_SIZE = 32;                         // 31 characters and NUL
constexpr int MAL_DRIVER_TEXT_SIZE = 32;                          // driver name / version

// Physical-HBA kinds of MAL_EnumeratePhysicalHBAs.
enum : int {
    MAL_HBA_PORT = 0,    // "PortDiscoveryAndConfiguration"
    MAL_HBA_NIC = 1,     // "NICPhysicalHBA"
    MAL_HBA_ISCSI = 2,   // "iSCSIPhysicalHBA"
    MAL_HBA_LOGICAL = 3, // "LogicalHBA"
};

// Boolean property values.
enum : int32_t { MAL_BOOL_FALSE = 0, MAL_BOOL_TRUE = 1, MAL_BOOL_UNKNOWN = 2 };

// ---- typed property lists -----------------------------------------------------
struct MalBoolProp {
    const char* name;
    int32_t* dest; // 1, 0 or 2 (undetermined)
};
struct MalHexProp {
    const char* name;
    uint32_t* dest;
};
struct MalIntProp {
    const char* name;
    int32_t* dest;
};
struct MalIPv4Prop {
    const char* name;
    uint8_t* dest; // 4 bytes, in dotted order
};
struct MalIPv6 {
    char text[MAL_IPV6_TEXT_SIZE]; // as read, or "Not Available"
    uint8_t bytes[16];
};
struct MalIPv6Prop {
    const char* name;
    MalIPv6* dest;
};
struct MalMacProp {
    const char* name;
    uint8_t* dest; // 6 bytes
};
struct MalStringProp {
    const char* name;
    char* dest;
    size_t size; // destination size, terminator included
};

// ---- inventory records -------------------------------------------------------
struct MalPciProperties {
    uint32_t domainNumber;
    uint32_t busNumber;
    uint32_t deviceId;
    uint32_t deviceNumber;
    uint32_t functionNumber;
    uint32_t subsysDeviceId;
    uint32_t subsysVendorId;
    uint32_t vendorId;
};

struct MalDriverProperties {
    char driverName[MAL_DRIVER_TEXT_SIZE];
    char driverVersion[MAL_DRIVER_TEXT_SIZE];
};

struct MalVnicProperties {
    int32_t vNICEnabled; // boolean: 1, 0 or 2
    char vNICName[MAL_TEXT_SIZE];
    int32_t outerVLANID;
    int32_t minBandwidth;
    int32_t maxBandwidth;
};

struct MalCimProperties {
    char capabilities[MAL_TEXT_SIZE];
    char enabledCapabilities[MAL_TEXT_SIZE];
    char linkTechnology[MAL_TEXT_SIZE];
    char protocolIfType[MAL_TEXT_SIZE];
    char addressOrigin[MAL_TEXT_SIZE];
    char ipProtocolEndPointName[MAL_TEXT_SIZE];
    char ipProtocolIfType[MAL_TEXT_SIZE];
    uint8_t ipv4Address[4];
    uint8_t subnetMask[4];
    uint8_t gateway[4];
    MalIPv6 ipv6Address;
    MalIPv6 ipv6Gateway;
};

struct MalNetworkBootConfiguration {
    int32_t networkBootState; // boolean
    char availableNetworkBootMethods[MAL_TEXT_SIZE];
    char networkBootMethod[MAL_TEXT_SIZE];
    int32_t vlanId;         // -1 when not set
    int32_t vlanPriority;   // -1 when not set
    uint8_t volatileMac[6]; // FF-FF-FF-FF-FF-FF when unreadable
};

struct MalNicConfiguration {
    char logicalLinkStatus[MAL_TEXT_SIZE];
    char portMaxSpeed[MAL_TEXT_SIZE];
    char portSpeed[MAL_TEXT_SIZE];
    int32_t activePort;
    int32_t maxMTUSize;
    uint8_t macAddress[6];
    uint8_t permanentMacAddress[6]; // the current MAC when unreadable
};

// Controller (converged adapter) attributes and its OEM, FATData, NICCIM and
// NCSI child nodes.
struct MalControllerAttributes {
    char activeFirmwareVersion[MAL_TEXT_SIZE];
    char biosVersion[MAL_TEXT_SIZE];
    char bootCodeVersion[MAL_TEXT_SIZE];
    char capabilities[MAL_TEXT_SIZE];
    char controllerStatus[MAL_TEXT_SIZE];
    char description[MAL_TEXT_SIZE];
    char firmwareStatus[MAL_TEXT_SIZE];
    char firmwareVersionOnFlash[MAL_TEXT_SIZE];
    char manufacturer[MAL_TEXT_SIZE];
    char modelNumber[MAL_TEXT_SIZE];
    char serialNumber[MAL_TEXT_SIZE];
    char phyFirmwareVersion[MAL_TEXT_SIZE];
    char phyConfigurationId[MAL_TEXT_SIZE];
    char oneView[MAL_TEXT_SIZE];
    char isSecureJumperEnabled[MAL_TEXT_SIZE];
    int32_t corevaneOnDieTemperature; // low 8 bits kept; 0 when unreadable
    char iplFileName[MAL_TEXT_SIZE];
    char fcoeUniversalVersion[MAL_TEXT_SIZE];
    char fcoeX86BiosVersion[MAL_TEXT_SIZE];
    char fcoeEfiVersion[MAL_TEXT_SIZE];
    char fcoeFcodeVersion[MAL_TEXT_SIZE];
    char uefiBiosVersion[MAL_TEXT_SIZE];
    char uefiNicVersion[MAL_TEXT_SIZE];
    char uefiFcodeVersion[MAL_TEXT_SIZE];
    char uefiScsiVersion[MAL_TEXT_SIZE];
    char pxeBiosVersion[MAL_TEXT_SIZE];
    char pciExpressLinkSpeed[MAL_TEXT_SIZE];
    char pciExpressBusWidth[MAL_TEXT_SIZE];
    char ffvName[MAL_TEXT_SIZE];
    // "OEM"
    uint32_t personalityManagementWord; // read as hexadecimal
    char oemSerialNumber[MAL_TEXT_SIZE];
    char quoralSerialNumber[MAL_TEXT_SIZE];
    // "FATData"
    int32_t fatDataValid; // boolean
    // "NICCIM"
    int32_t maxSupportedController;
    char controllerType[MAL_TEXT_SIZE];
    char portControllerName[MAL_TEXT_SIZE];
    char protocolSupported[MAL_TEXT_SIZE];
    // "NCSI"
    char ncsiVersion[MAL_NCSI_VERSION_SIZE];
};

// The controller's "OEM" serial numbers as discovery keeps them.
struct MalOemProperties {
    char quoralSerialNumber[MAL_TEXT_SIZE];
    char oemSerialNumber[MAL_TEXT_SIZE];
    int32_t personalityManagementWord; // read as decimal
};

struct MalPortAttributes {
    int32_t tag; // NEXA tag of the port node
    char physicalLinkStatus[MAL_TEXT_SIZE];
    char portName[MAL_TEXT_SIZE];
    char fcoeWwpn[MAL_TEXT_SIZE];
    char interfaceType[MAL_TEXT_SIZE];
    char fcoeLinkSpeed[MAL_TEXT_SIZE];
    int32_t portState;   // boolean
    int32_t beaconState; // boolean
    int32_t portNumber;
    uint32_t phyType;
    // Filled by discovery, not by NEXA reads.
    uint32_t adapterIndex; // index of the converged adapter in the adapter list
    uint32_t linkUp;
};

struct MalNicFunction {
    int32_t tag; // NEXA tag of the function node
    char ifName[MAL_TEXT_SIZE];
    char logicalLinkStatus[MAL_TEXT_SIZE]; // "n/a" when empty
    char portSpeed[MAL_TEXT_SIZE];
    int32_t vepaState; // booleans
    int32_t sriovState;
    int32_t isVF;
    int32_t isRoCEEnabled;
    int32_t minBitsPerSecond;
    int32_t maxBitsPerSecond;
    int32_t mtuSize;
    int32_t portNumber;
    int32_t maxMTUSize;
    uint8_t macAddress[6];
    uint8_t permanentMacAddress[6];      // the current MAC when unreadable
    uint8_t factoryDefaultMacAddress[6]; // FF-FF-FF-FF-FF-FF when unreadable
    MalCimProperties cim;
    MalDriverProperties driver;
    MalPciProperties pci;
    MalVnicProperties vnic;
    MalNetworkBootConfiguration networkBoot;
    uint8_t pciConfig[MAL_PCI_CONFIG_SIZE];
};

struct MalIscsiFunction {
    int32_t tag;             // NEXA tag of the function node
    int32_t iscsiBiosEnable; // booleans
    int32_t mpioEnabled;
    int32_t defaultETO; // -1 when NEXA reports "N/A"
    int32_t ldto;       // -1 when NEXA reports "N/A"
    int32_t maxCDBLength;
    int32_t portNumber;
    MalDriverProperties driver;
    MalPciProperties pci;
    MalNicConfiguration nicConfig; // filled by discovery (MAL_GetNICConfiguration)
    MalVnicProperties vnic;
    uint8_t pciConfig[MAL_PCI_CONFIG_SIZE];
    uint32_t linkUp; // copied by discovery from the port with the same number
};

// ---- start and end -------------------------------------------------------------
// Creates the NEXA lock, calls NEXA_init and reads "NEXAServiceVersion" and
// "NEXAHierarchyVersion" into the caller's buffers (each terminated, cut to
// its size; either may be null). Returns 0, 64 (NEXA busy) or 114.
int MAL_NEXA_init(char* serviceVersion, size_t serviceSize, char* hierarchyVersion,
                  size_t hierarchySize);
// Calls NEXA_exit once when NEXA_init succeeded and the connection has not been
// closed yet; a second call, or a call without an open connection, does nothing.
void MAL_NEXA_exit();
// True between a successful NEXA_init and MAL_NEXA_exit.
bool MAL_NEXA_is_open();

// ---- the lock ------------------------------------------------------------------
void malLockInit();
void malLock();
void malUnlock();

// ---- wrappers (one NEXA call each, under the lock, traced) -----------------------
// kind: 1 node, 2 property, 3 action. 14 gives 64 (busy), other failures 114.
int get_node_tag(int parent, const char* name, int* tag, int kind);
// The value is always terminated. 14 gives 64, other failures 114.
int get_property_val(int parent, int prop, char* text, int size);
int set_property_val(int parent, int prop, const char* text, int len);
// count: capacity in, number of instances out (never above the capacity). Any
// failure gives 114 (14: 64).
int get_valid_inst(int parent, const char* cls, int* inst, int* count);
// params: MAL_PARAMS_SIZE bytes; output: MAL_ACTION_OUTPUT_SIZE bytes. 14 gives
// 64; other failures the raw NEXA status when passThrough is set, else 114.
int do_action(int parent, int action, char* params, char* output, bool passThrough);
// Runs the action and reads the last status under one hold of the lock.
// statusText: MAL_STATUS_TEXT_SIZE bytes, always terminated; *statusCode is -1
// when the status query failed. Returns 0, 64 when the action returned 14, or
// the action's raw NEXA status.
int do_action_with_status(int parent, int action, char* params, char* output, int* statusCode,
                          char* statusText);
// Raw NEXA status. text: MAL_STATUS_TEXT_SIZE bytes, cleared first, always
// terminated.
int get_last_status(int* code, char* text);

// ---- enumeration --------------------------------------------------------------
// count: capacity of tags in (at least MAL_MAX_INSTANCES, else 29 without any
// NEXA call), number of tags out. On a failure midway *count is the number of
// tags converted so far.
int MAL_EnumerateControllers(int* count, int* tags);
int MAL_EnumeratePhysicalHBAs(int controller, int kind, int* count, int* tags);
int EnumeratePMPorts(int controller, const char* portNodeName, int* count, int* tags);
int MAL_EnumerateFunctions(int port, int* count, int* tags);

// ---- typed group reads ------------------------------------------------------------
// Each returns 64 at once when NEXA is busy; otherwise the fallback rules of
// the kind apply and the result is 0 or the status of an unreadable property.
int MAL_GetBooleanProperties(int parent, int count, const MalBoolProp* props);
int MAL_GetHexProperties(int parent, int count, const MalHexProp* props);
int MAL_GetIntegerProperties(int parent, int count, const MalIntProp* props);
int MAL_GetIPv4Properties(int parent, int count, const MalIPv4Prop* props);
int MAL_GetIPv6Properties(int parent, int count, const MalIPv6Prop* props);
int MAL_GetMACProperties(int parent, int count, const MalMacProp* props);
int MAL_GetStringProperties(int parent, int count, const MalStringProp* props);
// The integer group that also hands back each value text (texts[k] empty when
// property k could not be read); texts may be null.
int malGetIntegerPropertiesWithText(int parent, int count, const MalIntProp* props,
                                    char (*texts)[MAL_VALUE_SIZE]);

// Value parsers used by the readers (exposed for their tests).
int32_t malParseBool(const char* value);                      // 1, 0 or 2
uint32_t malParseHex(const char* value);                      // 0 when no hex digits
int32_t malParseDecimal(const char* name, const char* value); // clamped to 32 bits
bool malParseIPv4(const char* value, uint8_t out[4]);         // false: out = 0.0.0.0
bool malParseIPv6(const char* value, uint8_t out[16]);        // false: out = all zero
bool malParseMac(const char* value, uint8_t out[6]);          // false: fewer than six fields
// Parses up to 64 blank-separated hex bytes into block; returns how many.
int malParsePciDumpPiece(const char* text, uint8_t block[64]);

// ---- inventory groups ---------------------------------------------------------------
int MAL_GetControllerAttributes(int controller, MalControllerAttributes* out);
int MAL_GetOEMProperties(int controller, MalOemProperties* out);
int MAL_GetPortAttributes(int port, MalPortAttributes* out);
int MAL_GetNICFunctionAttributes(int function, MalNicFunction* out);
// Zeroes the whole record first: read nicConfig afterwards.
int MAL_GetiSCSIFunctionAttributes(int function, MalIscsiFunction* out);
int MAL_GetPCIProperties(int function, MalPciProperties* out);
int MAL_GetNICConfiguration(int function, MalNicConfiguration* out);
// vNIC node under parent (a NIC function, or an iSCSI function's
// "Network"/"NICConfiguration" node).
int MAL_GetvNICProperties(int parent, MalVnicProperties* out);
int MAL_GetDriverProperties(int parent, MalDriverProperties* out);
int MAL_GetCIMProperties(int parent, MalCimProperties* out);
int MAL_GetNetworkBootConfiguration(int parent, MalNetworkBootConfiguration* out);
// Runs the dump action of the function's "PCI" node four times (64 bytes each)
// into dest (MAL_PCI_CONFIG_SIZE bytes).
int MAL_DumpPCIConfigRegion(int function, const char* action, uint8_t* dest);

// Tag of the object node name under parent (kind 1).
int malChildNode(int parent, const char* name, int* tag);
// Bounded copy that always terminates (size 0 writes nothing).
void malCopyText(char* dest, size_t size, const char* src);
