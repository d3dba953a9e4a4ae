// Device-ID families, further device-ID lists and model-name tables (data).
//
// Simulated fleets pick their PCI device IDs from kDeviceFamilyTable so that
// every simulated adapter lands in the family it stands for: an FC HBA of the
// Brevin family uses 0xE200/0xE208 (0xE300 is the newest one), a CV3 converged
// adapter 0x0710 (NIC) / 0x0714 (FCoE), a Tarnel one 0x0720 (NIC) / 0x0722
// (iSCSI) / 0x0724 (FCoE), and so on. An FC HBA that belongs to no family (a
// classic SLI-4 board) uses an ID outside this table, e.g. one of the
// boot-parameter list.
#include "hbaset/cli/families.h"

const DeviceFamilyRow kDeviceFamilyTable[] = {
    // CV2
    {0x0211, FAMILY_CV2, ROLE_NIC},
    {0x0700, FAMILY_CV2, ROLE_NIC},
    {0x0212, FAMILY_CV2, ROLE_ISCSI},
    {0x0702, FAMILY_CV2, ROLE_ISCSI},
    {0x0214, FAMILY_CV2, ROLE_FCOE},
    {0x0704, FAMILY_CV2, ROLE_FCOE},
    // CV3
    {0x0710, FAMILY_CV3, ROLE_NIC},
    {0x0718, FAMILY_CV3, ROLE_NIC},
    {0x0712, FAMILY_CV3, ROLE_ISCSI},
    {0x0713, FAMILY_CV3, ROLE_ISCSI},
    {0x071A, FAMILY_CV3, ROLE_ISCSI},
    {0x071B, FAMILY_CV3, ROLE_ISCSI},
    {0x0714, FAMILY_CV3, ROLE_FCOE},
    {0x071C, FAMILY_CV3, ROLE_FCOE},
    // Tarnel
    {0x0720, FAMILY_TARNEL, ROLE_NIC},
    {0x0728, FAMILY_TARNEL, ROLE_NIC},
    {0x0722, FAMILY_TARNEL, ROLE_ISCSI},
    {0x0723, FAMILY_TARNEL, ROLE_ISCSI},
    {0x072A, FAMILY_TARNEL, ROLE_ISCSI},
    {0x072B, FAMILY_TARNEL, ROLE_ISCSI},
    {0x0724, FAMILY_TARNEL, ROLE_FCOE},
    {0x072C, FAMILY_TARNEL, ROLE_FCOE},
    // Brevin
    {0xE220, FAMILY_BREVIN, ROLE_NIC},
    {0xE228, FAMILY_BREVIN, ROLE_NIC},
    {0xE260, FAMILY_BREVIN, ROLE_FCOE},
    {0xE268, FAMILY_BREVIN, ROLE_FCOE},
    {0xE200, FAMILY_BREVIN, ROLE_FC},
    {0xE208, FAMILY_BREVIN, ROLE_FC},
    {0xE300, FAMILY_BREVIN, ROLE_FC},
};
const size_t kDeviceFamilyTableSize = sizeof(kDeviceFamilyTable) / sizeof(kDeviceFamilyTable[0]);

const uint16_t kBootParamDevices[] = {0x338F, 0xF011, 0xF015, 0xF100, 0xF104, 0xF10A,
                                      0xF10B, 0xF111, 0xF112, 0xF180, 0xFC40};
const size_t kBootParamDeviceCount = sizeof(kBootParamDevices) / sizeof(kBootParamDevices[0]);

const uint16_t kNewerHwTypes[] = {18, 868, 1296, 1399, 4100};
const size_t kNewerHwTypeCount = sizeof(kNewerHwTypes) / sizeof(kNewerHwTypes[0]);

const DeviceFamilyRow* findDeviceFamily(uint32_t deviceId) {
    for (size_t i = 0; i < kDeviceFamilyTableSize; i++) {
        if (kDeviceFamilyTable[i].deviceId == deviceId) return &kDeviceFamilyTable[i];
    }
    return nullptr;
}

DeviceFamily deviceFamilyOf(uint32_t deviceId) {
    const DeviceFamilyRow* row = findDeviceFamily(deviceId);
    return row ? static_cast<DeviceFamily>(row->family) : FAMILY_NONE;
}

DeviceRole deviceRoleOf(uint32_t deviceId) {
    const DeviceFamilyRow* row = findDeviceFamily(deviceId);
    return row ? static_cast<DeviceRole>(row->role) : ROLE_NONE;
}

bool deviceIs(uint32_t deviceId, DeviceFamily family, DeviceRole role) {
    const DeviceFamilyRow* row = findDeviceFamily(deviceId);
    if (!row || family == FAMILY_NONE || row->family != family) return false;
    return role == ROLE_NONE || row->role == role;
}

bool isCvGeneration(DeviceFamily f) {
    return f == FAMILY_CV2 || f == FAMILY_CV3 || f == FAMILY_TARNEL;
}

static bool cvRole(uint32_t deviceId, DeviceRole role) {
    const DeviceFamilyRow* row = findDeviceFamily(deviceId);
    return row && isCvGeneration(static_cast<DeviceFamily>(row->family)) && row->role == role;
}

bool isCvFcoeDevice(uint32_t deviceId) {
    return cvRole(deviceId, ROLE_FCOE);
}
bool isCvIscsiDevice(uint32_t deviceId) {
    return cvRole(deviceId, ROLE_ISCSI);
}
bool isCvNicDevice(uint32_t deviceId) {
    return cvRole(deviceId, ROLE_NIC);
}

bool isBrevinFcDevice(uint32_t deviceId) {
    return deviceIs(deviceId, FAMILY_BREVIN, ROLE_FC);
}
bool isBrevinFcoeDevice(uint32_t deviceId) {
    return deviceIs(deviceId, FAMILY_BREVIN, ROLE_FCOE);
}
bool isBrevinCnaDevice(uint32_t deviceId) {
    return deviceIs(deviceId, FAMILY_BREVIN, ROLE_NIC) || isBrevinFcoeDevice(deviceId);
}
bool isBrevinFamilyDevice(uint32_t deviceId) {
    return deviceIs(deviceId, FAMILY_BREVIN, ROLE_NONE);
}

bool isDiscoveryFcoeDevice(uint32_t deviceId) {
    return isCvFcoeDevice(deviceId) || isBrevinFcoeDevice(deviceId);
}

bool isBootParamDevice(uint32_t deviceId) {
    for (size_t i = 0; i < kBootParamDeviceCount; i++) {
        if (kBootParamDevices[i] == deviceId) return true;
    }
    return false;
}

// ---- model-name tables -------------------------------------------------------
// Rows are ours to choose: a few per table; identification falls back to the
// family defaults below when no row matches. Model names carry no blanks or
// hyphens so that listings stay one word per model. Add rows at the end of a
// table's block; the first matching row wins.
const ModelRow kModelRows[] = {
    // table 1: Tarnel
    {MODEL_TABLE_TARNEL, 0x0720, kOwnVendorId, kOwnVendorId, 0x0E20, -1, "TN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TN4100"},
    {MODEL_TABLE_TARNEL, 0x0722, kOwnVendorId, kOwnVendorId, 0x0E22, -1, "TN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TN4100"},
    {MODEL_TABLE_TARNEL, 0x0724, kOwnVendorId, kOwnVendorId, 0x0E24, -1, "TN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TN4100"},
    // Tarnel boards whose subsystem ID is the function's device ID.
    {MODEL_TABLE_TARNEL, 0x0720, kOwnVendorId, kOwnVendorId, 0x0720, -1, "TRN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TRN4100"},
    {MODEL_TABLE_TARNEL, 0x0722, kOwnVendorId, kOwnVendorId, 0x0722, -1, "TRN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TRN4100"},
    {MODEL_TABLE_TARNEL, 0x0724, kOwnVendorId, kOwnVendorId, 0x0724, -1, "TRN4102",
     "Tarnel Converged Adapter", "Tarnel 2-port 10/25Gb Converged Network Adapter", "TRN4100"},
    // table 2: CV3
    {MODEL_TABLE_CV3, 0x0710, kOwnVendorId, kOwnVendorId, 0x0E10, -1, "CV3202",
     "CV3 Converged Adapter", "CV3 2-port 10Gb Converged Network Adapter", "CV3200"},
    {MODEL_TABLE_CV3, 0x0714, kOwnVendorId, kOwnVendorId, 0x0E14, -1, "CV3202",
     "CV3 Converged Adapter", "CV3 2-port 10Gb Converged Network Adapter", "CV3200"},
    {MODEL_TABLE_CV3, 0x0710, kOwnVendorId, kOwnVendorId, 0x0710, -1, "CV3C102",
     "CV3 Converged Adapter", "CV3 2-port 10Gb Converged Network Adapter", "CV3C100"},
    {MODEL_TABLE_CV3, 0x0712, kOwnVendorId, kOwnVendorId, 0x0712, -1, "CV3C102",
     "CV3 Converged Adapter", "CV3 2-port 10Gb Converged Network Adapter", "CV3C100"},
    {MODEL_TABLE_CV3, 0x0714, kOwnVendorId, kOwnVendorId, 0x0714, -1, "CV3C102",
     "CV3 Converged Adapter", "CV3 2-port 10Gb Converged Network Adapter", "CV3C100"},
    // table 3: CV2
    {MODEL_TABLE_CV2, 0x0700, kOwnVendorId, kOwnVendorId, 0x0E00, -1, "CV2102",
     "CV2 Converged Adapter", "CV2 2-port 10Gb Converged Network Adapter", "CV2100"},
    {MODEL_TABLE_CV2, 0x0700, kOwnVendorId, kOwnVendorId, 0x0700, -1, "CV2C100",
     "CV2 Converged Adapter", "CV2 2-port 10Gb Converged Network Adapter", "CV2C100"},
    {MODEL_TABLE_CV2, 0x0702, kOwnVendorId, kOwnVendorId, 0x0702, -1, "CV2C100",
     "CV2 Converged Adapter", "CV2 2-port 10Gb Converged Network Adapter", "CV2C100"},
    {MODEL_TABLE_CV2, 0x0704, kOwnVendorId, kOwnVendorId, 0x0704, -1, "CV2C100",
     "CV2 Converged Adapter", "CV2 2-port 10Gb Converged Network Adapter", "CV2C100"},
    // table 4: device 0xE300
    {MODEL_TABLE_BREVIN_32G, 0xE300, kOwnVendorId, kOwnVendorId, 0xE302, -1, "BV3202",
     "Brevin 32Gb FC HBA", "Brevin 2-port 32Gb Fibre Channel Host Bus Adapter", "BV3200"},
    {MODEL_TABLE_BREVIN_32G, 0xE300, kOwnVendorId, kOwnVendorId, 0xE300, -1, "TGF3202",
     "Brevin 32Gb FC HBA", "Dual port 32Gb Fibre Channel HBA", "TGF3200"},
    // table 5: Brevin CNA and Brevin FC
    {MODEL_TABLE_BREVIN, 0xE200, kOwnVendorId, kOwnVendorId, 0xE202, -1, "BV1602",
     "Brevin 16Gb FC HBA", "Brevin 2-port 16Gb Fibre Channel Host Bus Adapter", "BV1600"},
    {MODEL_TABLE_BREVIN, 0xE220, kOwnVendorId, kOwnVendorId, 0xE222, -1, "BV1002",
     "Brevin Converged Adapter", "Brevin 2-port 10Gb Converged Network Adapter", "BV1000"},
    {MODEL_TABLE_BREVIN, 0xE200, kOwnVendorId, kOwnVendorId, 0xE200, -1, "BRV1602",
     "Brevin 16Gb FC HBA", "Dual port 16Gb Fibre Channel HBA", "BRV1600"},
    {MODEL_TABLE_BREVIN, 0xE220, kOwnVendorId, kOwnVendorId, 0xE220, -1, "BRV1002",
     "Brevin Converged Adapter", "Brevin 2-port 10Gb Converged Network Adapter", "BRV1000"},
    {MODEL_TABLE_BREVIN, 0xE260, kOwnVendorId, kOwnVendorId, 0xE260, -1, "BRV1002",
     "Brevin Converged Adapter", "Brevin 2-port 10Gb Converged Network Adapter", "BRV1000"},
    // table 6: hwType 4100 with a device of the boot-parameter list
    {MODEL_TABLE_BOOT_PARAM, 0xF100, kOwnVendorId, kOwnVendorId, 0xF100, 1, "FX8002", "FX8 FC HBA",
     "FX8 2-port 8Gb Fibre Channel Host Bus Adapter", "FX8000"},
    {MODEL_TABLE_BOOT_PARAM, 0xF100, kOwnVendorId, kOwnVendorId, 0xF100, 0, "FX8001", "FX8 FC HBA",
     "FX8 1-port 8Gb Fibre Channel Host Bus Adapter", "FX8000"},
};
const size_t kModelRowCount = sizeof(kModelRows) / sizeof(kModelRows[0]);

const FamilyDefaultNames kFamilyDefaultNames = {
    "CV2Adapter",      // cv2
    "CV3Adapter",      // cv3
    "TarnelAdapter",   // tarnel
    "BrevinAdapter",   // brevin
    "BrevinMezzanine", // brevinMezzanine
    "QuoralAdapter",   // generic
    "Brevin32GbHBA",   // brevin32gFixed
    "BrevinFCHBA",     // brevinFcFixed
    "BootParamFCHBA",  // bootParamFixed
};

const SubsystemPair kBrevinMezzanine[] = {
    {kOwnVendorId, 0xE2A0},
    {kOwnVendorId, 0xE2A8},
};
const size_t kBrevinMezzanineCount = sizeof(kBrevinMezzanine) / sizeof(kBrevinMezzanine[0]);
