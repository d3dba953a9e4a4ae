// PCI device-ID families of our adapters, the further device-ID lists, and the
// model-name tables. All of it is data, kept in families.cpp so that the
// identification code, the simulated fleet and test fixtures share one source.
#pragma once
#include <cstddef>
#include <cstdint>

// Vendor ID of every device of our own.
constexpr uint16_t kOwnVendorId = 0x1F3C;

enum DeviceFamily : uint8_t {
    FAMILY_NONE = 0,
    FAMILY_CV2 = 1,
    FAMILY_CV3 = 2,
    FAMILY_TARNEL = 3,
    FAMILY_BREVIN = 4,
};

// What a PCI function of a family device carries.
enum DeviceRole : uint8_t {
    ROLE_NONE = 0,
    ROLE_NIC = 1,
    ROLE_ISCSI = 2,
    ROLE_FCOE = 3,
    ROLE_FC = 4,
};

struct DeviceFamilyRow {
    uint16_t deviceId;
    uint8_t family; // DeviceFamily
    uint8_t role;   // DeviceRole
};

// The device-ID family table: every ID of the CV2, CV3, Tarnel and Brevin families.
extern const DeviceFamilyRow kDeviceFamilyTable[];
extern const size_t kDeviceFamilyTableSize;

// Row of a device ID, or null when it belongs to no family.
const DeviceFamilyRow* findDeviceFamily(uint32_t deviceId);
// Family / role of a device ID (FAMILY_NONE / ROLE_NONE when unknown).
DeviceFamily deviceFamilyOf(uint32_t deviceId);
DeviceRole deviceRoleOf(uint32_t deviceId);
// True when deviceId is in the family (FAMILY_NONE matches nothing) and, when
// role is not ROLE_NONE, carries that role.
bool deviceIs(uint32_t deviceId, DeviceFamily family, DeviceRole role);

// Family groupings used by the predicates.
bool isCvGeneration(DeviceFamily f);        // CV2, CV3 or Tarnel
bool isCvFcoeDevice(uint32_t deviceId);     // FCoE ID of CV2, CV3 or Tarnel
bool isCvIscsiDevice(uint32_t deviceId);    // iSCSI ID of CV2, CV3 or Tarnel
bool isCvNicDevice(uint32_t deviceId);      // NIC ID of CV2, CV3 or Tarnel
bool isBrevinFcDevice(uint32_t deviceId);   // 0xE200, 0xE208, 0xE300
bool isBrevinFcoeDevice(uint32_t deviceId); // 0xE260, 0xE268
bool isBrevinCnaDevice(uint32_t deviceId);  // Brevin NIC or FCoE ID
bool isBrevinFamilyDevice(uint32_t deviceId);
// FCoE device IDs checked at discovery: the CV FCoE list plus the Brevin FCoE IDs.
bool isDiscoveryFcoeDevice(uint32_t deviceId);

// Further device-ID lists.
constexpr uint16_t kBrevin32gDeviceId = 0xE300;  // newest Brevin FC device
constexpr uint16_t kJumperlessDeviceId = 0xE131; // has no jumper region
constexpr uint16_t kLetterFDeviceId = 0xF180;    // program versions start with F
extern const uint16_t kBootParamDevices[];       // getbootparams, setdefbootparams, table 6
extern const size_t kBootParamDeviceCount;
bool isBootParamDevice(uint32_t deviceId);

// hwType values of the newer FC hardware.
extern const uint16_t kNewerHwTypes[];
extern const size_t kNewerHwTypeCount;

// ---- model-name tables -----------------------------------------------------
// Each model table is a decision list: the first row whose keys match supplies
// the four texts. A key of 0 matches any value; dualChannel -1 matches either.
enum ModelTableId : uint8_t {
    MODEL_TABLE_TARNEL = 1,
    MODEL_TABLE_CV3 = 2,
    MODEL_TABLE_CV2 = 3,
    MODEL_TABLE_BREVIN_32G = 4,
    MODEL_TABLE_BREVIN = 5,
    MODEL_TABLE_BOOT_PARAM = 6,
};

struct ModelRow {
    uint8_t table; // ModelTableId
    uint16_t deviceId;
    uint16_t vendorId;
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
    int8_t dualChannel; // table 6 only; -1 elsewhere
    const char* modelName;
    const char* familyDescription;
    const char* description;
    const char* baseModel;
};

extern const ModelRow kModelRows[];
extern const size_t kModelRowCount;

// Names used when a table finds no row.
struct FamilyDefaultNames {
    const char* cv2;
    const char* cv3;
    const char* tarnel;
    const char* brevin;          // Brevin boards that are not mezzanine cards
    const char* brevinMezzanine; // (subsystem vendor, subsystem) in kBrevinMezzanine
    const char* generic;         // any other device
    const char* brevin32gFixed;  // table 4 without a row
    const char* brevinFcFixed;   // table 5 (Brevin FC) without a row
    const char* bootParamFixed;  // table 6 without a row
};
extern const FamilyDefaultNames kFamilyDefaultNames;

struct SubsystemPair {
    uint16_t subsystemVendorId;
    uint16_t subsystemId;
};
extern const SubsystemPair kBrevinMezzanine[];
extern const size_t kBrevinMezzanineCount;
