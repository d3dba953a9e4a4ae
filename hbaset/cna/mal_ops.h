// NEXA actions and property writes of the converged-adapter commands, and the
// small NEXA operations other commands call (network boot, FFV name, ARM log,
// factory defaults).
//
// Each operation looks up the node it needs under the tag it is given
// (a controller's "Corevane<n>" tag or a NIC function's tag), then the
// property or action on that node, and makes the one NEXA call through the
// wrappers of mal.h. Results are RM statuses: those of mal.h (0, 64 busy,
// 114 any other NEXA failure) and the ones below.
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/cna/mal.h"

// ---- RM statuses produced here ------------------------------------------------------
enum : int {
    MAL_RM_CNA_TEST_STOPPED = 22,    // a converged test found its stop flag cleared
    MAL_RM_ARM_LOG_FAILED = 33,      // RetrieveARMLog failed for another reason
    MAL_RM_INVALID_MAC = 106,        // a zero or all-FF semi-volatile MAC
    MAL_RM_BYTE_COUNT = 107,         // test byte count outside its range
    MAL_RM_NO_EXT_FAT_DATA = 108,    // RetrieveARMLog: NEXA code 205
    MAL_RM_NO_AVAILABLE_PERS = 311,  // NEXA code 176
    MAL_RM_NO_CONFIGURED_PERS = 312, // NEXA code 177
    MAL_RM_PERSONALITY_CHANGE = 320, // SetPersonality refused (NEXA code 6 or 151)
};

// NEXA codes of the last status the operations test.
enum : int {
    NEXA_CODE_INVALID_VALUE = 6,
    NEXA_CODE_PERSONALITY_FIXED = 151,
    NEXA_CODE_NO_AVAILABLE_PERS = 176,
    NEXA_CODE_NO_CONFIGURED_PERS = 177,
    NEXA_CODE_NO_EXT_FAT_DATA = 205,
};

// ---- personalities -----------------------------------------------------------------------
constexpr size_t MAL_PERSONALITY_MAX = 20;      // characters of one name
constexpr size_t MAL_PERSONALITY_LIST_MAX = 48; // available names kept
struct MalPersonalityInfo {
    char current[MAL_PERSONALITY_MAX + 1];
    char configured[MAL_PERSONALITY_MAX + 1];
    uint32_t availableCount;
    char available[MAL_PERSONALITY_LIST_MAX][MAL_PERSONALITY_MAX + 1];
};
// Reads "CurrentPersonality", "AvailablePersonalities" (split at each "/",
// empty pieces skipped, names beyond the 48th ignored) and
// "ConfiguredPersonality" of the controller's "Personality" node. Names are
// cut to 20 characters. A failure gives 311 or 312 for NEXA codes 176 and 177
// of the last status, 64 when busy, else 114.
int MAL_GetPersonalityInfo(int controller, MalPersonalityInfo* out);
// Action "SetPersonality" of "Personality", params[0] = name. 0; 320 for NEXA
// codes 6 and 151; 64; else 114.
int MAL_SetPersonality(int controller, const char* name);

// ---- NIC function settings ------------------------------------------------------------------
// Property "VolatileMACAddress" of the function's "NetworkBootConfiguration"
// as "%02x-%02x-%02x-%02x-%02x-%02x". A zero or all-FF address gives 106
// without a NEXA call.
int MAL_SetVolatileMac(int function, const uint8_t mac[6]);
// Action "ConfigureVLAN" of "NetworkBootConfiguration": params[0] the VLAN ID,
// params[1] the priority ("%u" each).
int MAL_ConfigureVLAN(int function, uint32_t vlanId, uint32_t priority);
// Action "SetNetworkBoot" of "NetworkBootConfiguration": params[0] "Enabled"
// or "Disabled", params[1] the method text or, when method is null or empty, a
// single byte 0xFF (keep the current method).
int MAL_SetNetworkBoot(int function, bool enable, const char* method);

// ---- controller operations -----------------------------------------------------------------
// Property "FFVName" of the controller, set with the text and its length.
int MAL_SetFFVName(int controller, const char* text);
// Action "RetrieveARMLog" of "ExtFATData", params[0] text1, params[1] text2.
// 0; on failure 108 for NEXA code 205, else 33.
int MAL_RetrieveARMLog(int controller, const char* text1, const char* text2);
// Action "ResetFactoryDefaults" of the controller with params[0] a single byte
// 0xFF, run with its last status. 0 when the action succeeded; otherwise the
// last-status code, or the action's own status when that code is -1 or 0 (a
// failed action never reads as success).
int MAL_ResetFactoryDefaults(int controller);

// ---- diagnostics ----------------------------------------------------------------------------
// Actions of the controller's "Diagnostics" node and its "TotalCompleteCycles".
int MAL_HostToDDRDMATest(int controller, const char* pattern, uint32_t bytes, uint32_t cycles);
int MAL_EnterLoopBackMode(int controller, uint32_t port, const char* typeName);
int MAL_NetworkLoopBackTest(int controller, const char* pattern, uint32_t bytes, uint32_t cycles,
                            uint32_t port, const char* typeName);
int MAL_ExitLoopBackMode(int controller, uint32_t port);
int MAL_GetTotalCompleteCycles(int controller, uint32_t* cycles);

// ---- profile view (duplicate MAC check) ----------------------------------------------------
enum : int32_t {
    MAL_PROTOCOL_OTHER = 0,
    MAL_PROTOCOL_NIC = 1,
    MAL_PROTOCOL_ISCSI = 2,
    MAL_PROTOCOL_FCOE = 3,
    MAL_PROTOCOL_NIC_ROCE = 4,
};
struct MalPmFunction {
    int32_t protocol; // MAL_PROTOCOL_*
    uint8_t mac[6];
    uint32_t functionNumber;
};
// Reads "Protocol" (at most 10 characters), "MACAddress" and "FunctionNumber"
// (hexadecimal) of a ProfileManagement function node.
int MAL_GetPMFunctionProfileSetting(int function, MalPmFunction* out);
// Protocol number of a "Protocol" text (compared over its first 10 characters).
int32_t malProtocolOf(const char* text);
