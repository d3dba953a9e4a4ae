// hbaset's adapter table: one record per adapter function, the list of
// converged adapters, the table state, and the predicates that classify
// entries by position, function kind and device family.
//
// Adapter numbers n = 1, 2, ... address index i = n - 1. Entries 0 .. fcCount-1
// are the functions the adapter library reports, in its board order; entries
// fcCount .. totalCount-1 are the converged iSCSI and NIC functions, per
// converged adapter first its iSCSI, then its NIC functions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/cna/mal.h"

// functionKind bits.
constexpr uint32_t KIND_NEXA = 0x20; // managed through NEXA
constexpr uint32_t KIND_FCOE = 0x08;
constexpr uint32_t KIND_ISCSI = 0x04;
constexpr uint32_t KIND_NIC = 0x02;
constexpr uint32_t KIND_FCOE_FUNCTION = KIND_NEXA | KIND_FCOE;   // 0x28
constexpr uint32_t KIND_ISCSI_FUNCTION = KIND_NEXA | KIND_ISCSI; // 0x24
constexpr uint32_t KIND_NIC_FUNCTION = KIND_NEXA | KIND_NIC;     // 0x22

// AdapterRecord flags.
constexpr uint32_t ADAPTER_FLAG_DUAL_CHANNEL = 0x04000000; // FC entries
constexpr uint32_t ADAPTER_FLAG_VPD_V2 = 0x10000000;       // VPD carries "V2" (FC entries)
constexpr uint32_t ADAPTER_FLAG_VPD_MODEL = 0x20000000;    // modelName taken from VPD

// CorevaneAdapter flags.
constexpr uint32_t CNA_FLAG_NIC = 0x02;   // has NIC functions
constexpr uint32_t CNA_FLAG_ISCSI = 0x04; // has iSCSI functions
constexpr uint32_t CNA_FLAG_FCOE = 0x08;  // an FCoE function was matched (with 0x20)
constexpr uint32_t CNA_FLAG_NEXA = 0x20;

// Fixed text fields hold a word of at most N characters in N + 1 bytes.
constexpr size_t SERIAL_NUMBER_MAX = 32;
constexpr size_t VPD_PORT_NAME_MAX = 32;
constexpr size_t MODEL_NAME_MAX = 80;
constexpr size_t CNA_SERIAL_NUMBER_MAX = 64;

// Most converged adapters the list holds.
constexpr uint32_t CNA_ADAPTER_LIST_MAX = 1024;

// One table entry, zero-filled when the table is allocated. An FC entry has
// zero in every cna field, a converged entry zero in the FC PCI fields.
struct AdapterRecord {
    uint32_t pciBus;    // PCI bus number: bits 0-7 of the board record's busid
    uint32_t pciDevice; // low 5 bits of the device number
    uint8_t pciFunction;
    uint16_t deviceId;
    uint32_t flags; // ADAPTER_FLAG_*
    uint16_t hwType;
    uint16_t subsystemId;
    uint16_t vendorId;
    uint16_t subsystemVendorId;
    uint32_t wwpnHigh; // WWN byte 0 in bits 24-31
    uint32_t wwpnLow;  // WWN byte 7 in bits 0-7
    uint32_t pciLoopbackPasses;
    uint32_t intLoopbackPasses;
    uint32_t extLoopbackPasses;
    char serialNumber[SERIAL_NUMBER_MAX + 1];
    int32_t vpdPortNumber;
    char vpdPortName[VPD_PORT_NAME_MAX + 1];
    char modelName[MODEL_NAME_MAX + 1];
    uint16_t ibmVpd;
    uint32_t functionKind; // KIND_*
    uint32_t cnaAdapterIndex;
    uint32_t cnaPortNumber;
    uint32_t linkUp;
    char cnaSerialNumber[CNA_SERIAL_NUMBER_MAX + 1];
    uint32_t cnaDeviceId;
    uint32_t cnaVendorId;
    uint32_t cnaSubsystemId;
    uint32_t cnaSubsystemVendorId;
    uint32_t cnaBus;
    uint32_t cnaDevice;
    uint32_t cnaFunction;
    uint8_t currentMac[6];
    uint8_t altMac[6];
    uint32_t mailboxLimit; // 108, 256 or 2048
    uint32_t sli4;
    uint8_t permanentMac[6];
    uint8_t semiVolatileMac[6];
    // FCoE entries: set when the entry was tied to a converged adapter; an
    // unmatched FCoE entry has no converged adapter (cnaAdapterIndex is then
    // meaningless).
    uint32_t fcoeMatched;
    // FC entries: PCI segment (domain), bits 8-23 of the board record's busid.
    uint32_t pciSegment;
};

// One converged adapter as NEXA lists it, zero-filled when allocated. The
// three arrays are owned by the entry.
struct CorevaneAdapter {
    uint32_t flags; // CNA_FLAG_*
    uint32_t nicFunctionCount;
    uint32_t iscsiFunctionCount;
    uint32_t portCount;
    int32_t nodeTag; // tag of the "Corevane<n>" node
    MalControllerAttributes attributes;
    MalOemProperties oemSerials;
    MalNicFunction* nicFunctions;
    MalIscsiFunction* iscsiFunctions;
    MalPortAttributes* ports;
};

// The table state of one run.
struct AdapterTableState {
    AdapterRecord* adapterTable;
    uint32_t fcCount;
    uint32_t iscsiCount;
    uint32_t nicCount;
    uint32_t totalCount;
    uint32_t fcoeCount;
    CorevaneAdapter* cnaAdapterList;
    uint32_t cnaAdapterCount;
    bool useVpdModel; // false when the command line carries "/c"
    // An FC function's driver reports TGX_FEATURE_QUERY_ONLY (the backend of
    // a real server's FC transport): commands beyond the inventory are refused.
    bool queryOnlyDriver;
};

extern AdapterTableState g_table;

// Allocates a zero-filled table of count records (replacing any table).
// Returns false when memory runs out; count 0 gives an empty table and true.
bool adapterTableAllocate(uint32_t count);
// Allocates a zero-filled converged adapter list of count entries (at most
// CNA_ADAPTER_LIST_MAX). Returns false when memory runs out or count is too big.
bool cnaAdapterListAllocate(uint32_t count);
// Frees the table, every converged adapter's arrays and the list, and clears
// the state (useVpdModel back to true). Safe to call twice.
void adapterTableRelease();

// Index of adapter number n under the 8-bit rule: n = 257 addresses adapter 1.
int adapterIndexFromNumber(uint32_t n);
// The record at index i (full integer), or null outside the table.
AdapterRecord* adapterAt(int i);
// The converged adapter of entry i (converged or matched FCoE entries), or null.
CorevaneAdapter* cnaAdapterOf(int i);
// True when two FC entries sit in the same PCI slot: same segment, bus and
// device number (their function numbers may differ).
bool samePciSlot(const AdapterRecord& a, const AdapterRecord& b);
// The PCI configuration copy NEXA holds for converged entry i: that of the
// function record of the entry's kind at the entry's bus, device and function
// number, else that of the adapter's first record of the kind; null when the
// entry is not a converged iSCSI or NIC function or its adapter has no record.
const uint8_t* convergedPciConfig(int i);
// deviceId when not zero, else cnaDeviceId.
uint32_t entryDeviceId(const AdapterRecord* r);

// ---- predicates over the table ----------------------------------------------------
// Position predicates compare i as an 8-bit value.
bool isFcIndex(int i);  // i < fcCount
bool isAnyIndex(int i); // i < totalCount
// Full-integer position check of the NIC commands: 0 <= i < totalCount.
bool isCnaIndex(int i);
// The remaining predicates take the index as stored and are false outside
// 0 .. totalCount-1.
bool isNexaManaged(int i);
bool isFcoeFunction(int i);
bool isIscsiFunction(int i);
bool isNicFunction(int i);
bool isSli4(int i);

// ---- device family predicates --------------------------------------------------------
bool isJumperlessDevice(int i);
bool isBrevinFc(int i);
bool isBrevinFcoeOnFc(int i);
bool isBrevinCna(int i);
bool isBrevinFamily(int i);
bool isBrevin32g(int i);
bool isCvFcoe(int i);
bool isCvIscsi(int i);
bool isCvNic(int i);
bool isCvFunction(int i);
bool isNewerHwType(int i);
