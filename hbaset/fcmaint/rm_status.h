// RM status: the integer results of hbaset's management layers. Commands map
// them to their exit codes and messages. Values not listed here are mailbox
// completion statuses handed through unchanged.
#pragma once
#include <cstdint>

constexpr uint32_t RM_STATUS_OK = 0;
constexpr uint32_t RM_STATUS_ERROR = 1;
// SLI-4 object operations.
constexpr uint32_t RM_STATUS_EXT_NOT_SUPPORTED = 2; // the driver takes no extended mailboxes
constexpr uint32_t RM_STATUS_NO_OBJECT = 3;         // no such object on the adapter
constexpr uint32_t RM_STATUS_BAD_ARGUMENT = 4;
constexpr uint32_t RM_STATUS_BUFFER_TOO_SMALL = 7;
constexpr uint32_t RM_STATUS_NO_MEMORY = 8;
// Config regions.
constexpr uint32_t RM_STATUS_REGION_DUMP_BAD = 2; // region read answered 0xE0
constexpr uint32_t RM_STATUS_ALL_ZERO_IMAGE = 21; // an all-zero region 0 image refused
constexpr uint32_t RM_STATUS_ERROR_INCOMP_IMAGE = 194;
constexpr uint32_t RM_STATUS_ERROR_LONG_FWIMAGE = 196;
constexpr uint32_t RM_STATUS_ERROR_SHORT_FWIMAGE = 197;
constexpr uint32_t RM_STATUS_ERROR_READING_RESOURCE = 199;
constexpr uint32_t RM_STATUS_UNKNOWN_FLASH_LAYOUT = 200; // also: file cannot be opened or sized
constexpr uint32_t RM_STATUS_BAD_SIGNATURE = 203;
constexpr uint32_t RM_STATUS_MISSING_SIGNATURE = 209;
constexpr uint32_t RM_STATUS_REGION_UNKNOWN = 217; // the adapter does not know the region
constexpr uint32_t RM_STATUS_REGION_REINIT = 218;  // the region must be re-initialised
constexpr uint32_t RM_STATUS_RECONSTRUCT_FAILED = 219;
constexpr uint32_t RM_STATUS_ADDRESS_OUT_OF_WINDOW = 273;
// Composite codes of the wakeup, expansion ROM and object paths.
constexpr uint32_t RM_STATUS_WAKEUP_FAILED = 0xFFFF0000u;
constexpr uint32_t RM_STATUS_NO_WAKEUP_SLOT = 0xFFF10000u;
constexpr uint32_t RM_STATUS_EXPROM_PROGRESS = 0xFFEC0000u;
constexpr uint32_t RM_STATUS_NEEDS_REBOOT = 0xFFE80000u;
constexpr uint32_t RM_STATUS_NEEDS_RESET = 0xFFE90000u;
