// The run state of one hbaset process: the command status, the NEXA channel,
// the arguments, and the per-run arrays the commands share. The adapter table
// lives in adapter_table.h and the message state in message.h.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int MAX_TOKENS = 20;       // token table slots (command name included)
constexpr size_t TOKEN_SIZE = 256;   // characters per slot, terminator included
constexpr size_t BOOT_IMAGE_WORDS = 96; // boot image list words per FC entry
constexpr size_t NEXA_VERSION_TEXT_SIZE = 256;

// Exit codes and statuses shared by the entry, the interpreter and the commands.
enum : int32_t {
    CLU_OK = 0,
    CLU_INVALID_ADAPTER = 1,
    CLU_FILE_OPEN = 4,
    CLU_REGION_RANGE = 5,
    CLU_INVALID_ADAPTER_NAME = 6,
    CLU_DOWNLOAD_FAILED = 7,
    CLU_NO_LOOPBACK_PLUG = 9,
    CLU_SELECTION_RANGE = 12,
    CLU_RESET_FAILED = 14,
    CLU_WAKEUP_READ = 19,
    CLU_WAKEUP_UPDATE = 20,
    CLU_TEST_PARAMETERS = 21,
    CLU_TEST_STOPPED = 22,
    CLU_UNKNOWN_COMMAND = 26,
    CLU_SYNTAX = 27,
    CLU_SCRIPT_ONLY = 28,
    CLU_REVISION_READ = 29,
    CLU_NO_ALL_OPTION = 35,
    CLU_INVALID_LUN = 36,
    CLU_NO_BOOT_IMAGE = 39,
    CLU_WRITEWWN_FAILED = 43,
    CLU_WRITEWWN_SCRIPT = 44,
    CLU_NO_ADAPTER = 45,
    CLU_INPUT_SYMBOLS = 50,
    CLU_ARGUMENT_LENGTH = 51,
    CLU_TOPOLOGY = 52,
    CLU_INPUT_VALUE = 55,
    CLU_NON_NUMERIC = 57,
    CLU_NO_MEMORY = 62,
    CLU_INITDIAGENV = 63,
    CLU_PCI_CONFIG = 64,
    CLU_IMAGE_TYPE = 68,
    CLU_GRP_REFUSED = 70, // a .GRP file the verifier refused before anything was sent
    CLU_NOT_SUPPORTED = 71,
    CLU_NEXA_NOT_AVAILABLE = 72,
    CLU_NOT_ADMIN = 78,
    CLU_REBOOT_REQUIRED = 80,
    CLU_DOWNLOAD_AGAIN = 87,
    CLU_SIGNATURE_MISSING = 89,
    CLU_SIGNATURE_INVALID = 90,
    CLU_STATE_STORAGE = 112, // the state's file system is full or read-only
    CLU_CNA_VPD = 141,
    CLU_ADAPTER_BUSY = 170, // another program kept the adapter's writer lock
};

// cluStatus values that count as success.
inline bool cluSucceeded(int32_t st) {
    return st == CLU_OK || st == CLU_REBOOT_REQUIRED || st == CLU_DOWNLOAD_AGAIN;
}

struct RunState {
    int32_t cluStatus;          // status of the current command; the exit code
    bool nexaEnabled;           // false when "/nonexa" was given
    bool nexaUp;                // a NEXA connection is open
    bool cnaDiscoveryDone;
    char nexaServiceVersion[NEXA_VERSION_TEXT_SIZE];
    char nexaHierarchyVersion[NEXA_VERSION_TEXT_SIZE];
    uint32_t* bootImageLists;   // fcCount x BOOT_IMAGE_WORDS
    uint8_t* bootFlags;         // fcCount x 4: image count, boot enabled, current image found
    uint32_t* testSelection;    // totalCount words
    char* commandLine;          // arguments after the program name joined with blanks
    char argumentSlots[MAX_TOKENS][TOKEN_SIZE];
    char moduleDir[260];        // directory of the running program, "/" terminated
};

extern RunState g_run;
