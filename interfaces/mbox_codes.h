// Adapter mailbox command codes, request constants and completion statuses that
// hbaset builds and reads. The header holds constants only, so the adapter
// firmware side (and tools) can share them.
#pragma once
#include <cstdint>

// ---- command codes (mailbox word 0 bits 8-15) ---------------------------------
constexpr uint8_t MBX_LOAD_SM = 0x01;
constexpr uint8_t MBX_READ_NV = 0x02;
constexpr uint8_t MBX_WRITE_NV = 0x03;
constexpr uint8_t MBX_READ_REV = 0x11;
constexpr uint8_t MBX_READ_LNK_STAT = 0x12;
constexpr uint8_t MBX_DUMP = 0x17;
constexpr uint8_t MBX_RESTART = 0x1A;
constexpr uint8_t MBX_UPDATE_CFG = 0x1B;
constexpr uint8_t MBX_DOWN_LOAD = 0x1C;
constexpr uint8_t MBX_DEL_LD_ENTRY = 0x1D;
constexpr uint8_t MBX_WRITE_VPARMS = 0x32;
constexpr uint8_t MBX_READ_EVENT_LOG_STATUS = 0x37;
// A piece of the NV event log, returned in the mailbox from word 2 on (not the
// library's event-log read into a host buffer, TGX_MBX_READ_EVENT_LOG_HOST).
constexpr uint8_t MBX_READ_NV_EVENT_LOG = 0x3A;
constexpr uint8_t MBX_LOAD_AREA = 0x81;
constexpr uint8_t MBX_BIU_DIAG = 0x84;
constexpr uint8_t MBX_WRITE_WWN = 0x98;
constexpr uint8_t MBX_SLI_CONFIG = 0x9B;
constexpr uint8_t MBX_LOAD_EXP_ROM = 0x9C;
constexpr uint8_t MBX_SECURITY = 0xF9;

// ---- MBX_DUMP (word 1 bits 0-3) -----------------------------------------------
constexpr uint32_t DUMP_TYPE_MEMORY = 1;
constexpr uint32_t DUMP_TYPE_REGION = 2;
constexpr uint32_t DUMP_TYPE_VPD_PROBE = 4;
constexpr uint32_t DUMP_VPD_PROBE_WORD2 = 0x1040;
constexpr uint32_t MBX_FLAG_BIT4 = 0x10; // word 1 bit 4 of dump and update requests
constexpr uint32_t MBX_FLAG_BIT5 = 0x20; // word 1 bit 5: data travels beside the mailbox

// ---- MBX_UPDATE_CFG (word 1 bits 0-3) ------------------------------------------
constexpr uint32_t UPDATE_CFG_HEADER = 1;
constexpr uint32_t UPDATE_CFG_DATA = 2;
constexpr uint32_t UPDATE_CFG_COMMIT = 3;
// Reply word 3 (and word 5) of a data write that needs the region re-initialised.
constexpr uint32_t UPDATE_CFG_REINIT_WORD = 0xFFFFFFF5u;
constexpr uint32_t UPDATE_CFG_REINIT_RSP = 0xFFF5; // its low half as respInfo

// ---- MBX_LOAD_SM -----------------------------------------------------------------
constexpr uint32_t LOAD_SM_REGION_KEY = 0x1234562Au; // word 1 of a region slot clear
constexpr uint32_t LOAD_SM_NV_KEY = 0x68AC002Au;     // the same for region 0

// ---- MBX_READ_NV word 1-3 selectors ----------------------------------------------
constexpr uint32_t READ_NV_NONVOLATILE = 0;         // the stored NV parameters
constexpr uint32_t READ_NV_EFFECTIVE = 0xFFFFFFFFu; // volatile names override

// ---- MBX_READ_REV word 1 ---------------------------------------------------------
constexpr uint32_t READ_REV_CLASSIC_WORD1 = 0x88000000u;

// ---- MBX_READ_LNK_STAT: the port's link counters (SLI-4 form, 64 words) -------------
// Word 1: the number of counters that follow; from word 2 each counter takes
// two words, low word first, in the order of LINK_COUNTER_NAMES (the names of
// the Linux FC transport's statistics files). All ones: not counted.
inline constexpr const char* LINK_COUNTER_NAMES[] = {
    "seconds_since_last_reset",
    "tx_frames",
    "rx_frames",
    "tx_words",
    "rx_words",
    "lip_count",
    "nos_count",
    "error_frames",
    "dumped_frames",
    "link_failure_count",
    "loss_of_sync_count",
    "loss_of_signal_count",
    "prim_seq_protocol_err_count",
    "invalid_tx_word_count",
    "invalid_crc_count",
};
constexpr uint32_t LINK_COUNTER_COUNT = sizeof LINK_COUNTER_NAMES / sizeof LINK_COUNTER_NAMES[0];
constexpr uint32_t LINK_COUNTER_FIRST_WORD = 2;
constexpr uint64_t LINK_COUNTER_NOT_COUNTED = ~0ull;
static_assert(LINK_COUNTER_FIRST_WORD + 2 * LINK_COUNTER_COUNT <= 64, "counters fit 64 words");

// ---- MBX_WRITE_WWN: the firmware's write-enable code (word 1) ----------------------
constexpr uint32_t WRITE_WWN_ENABLE_CODE = 0x5EC0FAC7u;

// ---- MBX_LOAD_EXP_ROM steps and progress (word 1 bits 16-23 / 8-15) ----------------
constexpr uint32_t EXPROM_STEP_START = 8;
constexpr uint32_t EXPROM_STEP_COPY = 9;
constexpr uint32_t EXPROM_STEP_FINISH = 10;
constexpr uint32_t EXPROM_LOADED = 11;

// ---- adapter memory ----------------------------------------------------------------
constexpr uint32_t MEM_LOAD_LIST_HEAD = 0x79C;    // address of the first load list entry
constexpr uint32_t MEM_FAMILY_WORDS = 0x788;      // two words of the image family decode
constexpr uint32_t MEM_AWC_VERSION = 0x1F0;       // version word of the active AWC image
constexpr uint32_t FLASH_LAYOUT_A = 0x20000;      // first entry word 2 & 0xFFFFF ...
constexpr uint32_t FLASH_LAYOUT_A_BASE = 0x70000; // ... and its region base
constexpr uint32_t FLASH_LAYOUT_B = 0x40004;
constexpr uint32_t FLASH_LAYOUT_B_BASE = 0x1E0000;
constexpr uint32_t FLASH_REGION_SLOT = 4096; // bytes per region slot
constexpr uint32_t LOAD_LIST_ENTRY_WORDS = 6;

// ---- completion statuses (word 0 bits 16-31) ---------------------------------------
constexpr uint32_t MBXS_OK = 0;
constexpr uint32_t MBXS_ERROR = 1;
constexpr uint32_t MBXS_REGION_BAD = 0xE0;
constexpr uint32_t MBXS_NO_VPD = 0xFA;        // VPD probe: no VPD
constexpr uint32_t MBXS_TEMP_OVERHEAT = 0xFA; // over temperature (other commands)
constexpr uint32_t MBXS_BUSY = 0xFD;
constexpr uint32_t MBXS_NO_ENTRY = 0xFFF7; // no entry in region / region invalid
constexpr uint32_t MBXS_NO_VALID_ENTRY = 0xFFF6;
constexpr uint32_t MBXS_NOT_APPLICABLE = 0xFFFC;
constexpr uint32_t MBXS_NOT_INITIALIZED = 0xFFFD;
constexpr uint32_t MBXS_BAD_HEADER = 0xFFFE;

// ---- MBX_SLI_CONFIG embedded request -----------------------------------------------
// Word 1 bit 0: payload embedded; word 2: payload bytes; sub-command header at
// mailbox byte 24 (offsets below are from there).
constexpr uint32_t SLI_CONFIG_EMBEDDED = 1;
constexpr uint32_t SLI_CONFIG_PAYLOAD_LENGTH = 232;
constexpr uint32_t SLI_SUB_OFFSET = 24;
constexpr uint8_t SLI_SUBSYSTEM_COMMON = 1;
constexpr uint8_t SLI_OP_GET_FW_VERSION = 0x23;
constexpr uint8_t SLI_OP_READ_OBJECT = 0xAB;
constexpr uint8_t SLI_OP_WRITE_OBJECT = 0xAC;
constexpr uint8_t SLI_OP_DELETE_OBJECT = 0xAE;

// Sub-command field offsets (from the sub-command start).
constexpr uint32_t SUB_OPCODE = 0;
constexpr uint32_t SUB_SUBSYSTEM = 1;
constexpr uint32_t SUB_TIMEOUT = 4;         // request
constexpr uint32_t SUB_STATUS = 4;          // response, u8
constexpr uint32_t SUB_ADDL_STATUS = 5;     // response, u8
constexpr uint32_t SUB_REQUEST_LENGTH = 8;  // request
constexpr uint32_t SUB_RESPONSE_LENGTH = 8; // response
constexpr uint32_t SUB_VERSION = 12;        // request, u8
constexpr uint32_t SUB_ACTUAL_LENGTH = 12;  // response
constexpr uint32_t SUB_LENGTH = 16;         // desired (request) / actual (response), bits 0-23
constexpr uint32_t SUB_OFFSET = 20;         // byte offset (request); change_status / end bit
constexpr uint32_t SUB_NAME = 24;           // object name field
constexpr uint32_t SUB_NAME_SIZE = 104;
constexpr uint32_t SUB_DESC_COUNT = 128;
constexpr uint32_t SUB_DESCRIPTORS = 132;
constexpr uint32_t SUB_DESC_SIZE = 12;
constexpr uint32_t SUB_FW_RUNNING = 16; // version response: running text
constexpr uint32_t SUB_FW_FLASH = 48;   // version response: flash text
constexpr uint32_t SUB_FW_TEXT_SIZE = 32;

constexpr uint32_t SUB_LENGTH_MASK = 0x00FFFFFFu;
constexpr uint32_t SUB_WRITE_LAST = 0x80000000u; // last piece of the object
constexpr uint32_t SUB_WRITE_NO_COMMIT = 0x40000000u;
constexpr uint32_t SUB_READ_EOF = 0x80000000u; // end of object reached

constexpr uint32_t OBJ_REQUEST_LENGTH = 116; // plus 12 per descriptor
constexpr uint32_t FW_VERSION_REQUEST_LENGTH = 64;
constexpr uint32_t OBJ_HOST_BUFFER = 1024; // one host buffer per request
constexpr uint32_t OBJ_NAME_MAX = 103;

// FFV request (subsystem 0x13, opCode 2): the request word at sub-command
// byte 16 holds opType in bit 0 (0 read, 1 write) and the text length in
// bits 8-15; the response puts the length in byte 17; the text (32 bytes,
// zero-filled) follows at byte 20.
constexpr uint8_t SLI_SUBSYSTEM_FFV = 0x13;
constexpr uint8_t SLI_OP_FFV = 2;
constexpr uint32_t FFV_REQUEST_LENGTH = 36;
constexpr uint32_t SUB_FFV_CONTROL = 16;
constexpr uint32_t SUB_FFV_LENGTH_RSP = 17; // response, u8
constexpr uint32_t SUB_FFV_TEXT = 20;
constexpr uint32_t SUB_FFV_TEXT_SIZE = 32;
constexpr uint32_t FFV_OP_WRITE = 1;
constexpr uint32_t FFV_LENGTH_SHIFT = 8;

// Sub-command status pairs with a meaning of their own.
constexpr uint8_t SLI_STATUS_FAILED = 1;
constexpr uint8_t SLI_ADDL_NO_OBJECT = 0xA0;
constexpr uint8_t SLI_STATUS_SIGNATURE = 0x17;
constexpr uint8_t SLI_ADDL_BAD_SIGNATURE = 0x56;
constexpr uint8_t SLI_ADDL_NO_SIGNATURE = 0x57;

// change_status after the last piece of a write.
constexpr uint32_t CHANGE_NONE = 0;
constexpr uint32_t CHANGE_REBOOT = 1;
constexpr uint32_t CHANGE_RESET = 2;
constexpr uint32_t CHANGE_RESET_ALT = 3;

// ---- object names and the .GRP firmware file ----------------------------------------
constexpr const char* OBJ_FIRMWARE = "/prg";
constexpr const char* OBJ_FC_VPD = "/vpd/fc_pf.vpd";
constexpr uint32_t OBJ_VPD_HEADER = 140; // bytes before the VPD proper
constexpr uint32_t OBJ_VPD_TRAILER = 4;  // bytes after it

// GRP header: 140 bytes; words 0-2 are big-endian.
constexpr uint32_t GRP_HEADER_SIZE = 140;
constexpr uint32_t GRP_MAGIC_BREVIN_FC = 0xFEAA0001u;
constexpr uint32_t GRP_ID_BREVIN_FC = 0xF7A2;
constexpr uint32_t GRP_MAGIC_BREVIN_32G = 0xFEAA0003u;
constexpr uint32_t GRP_ID_BREVIN_32G = 0xF70C;
// Fields beyond words 0-2, read only by the adapter: word 0 is the file size,
// bytes 12-43 the version text, bytes 44-47 (big-endian) the signature marker.
constexpr uint32_t GRP_VERSION_OFFSET = 12;
constexpr uint32_t GRP_VERSION_SIZE = 32;
constexpr uint32_t GRP_SIGNATURE_OFFSET = 44;
constexpr uint32_t GRP_SIGNATURE_VALID = 0x5349474Eu;   // "SIGN"
constexpr uint32_t GRP_SIGNATURE_INVALID = 0x42414453u; // "BADS"; anything else: missing

// Factory-defaults request (subsystem 1, opCode 0xA9, embedded, version 1):
// profileID at sub-command byte 16, operation in bits 0-3 of byte 17. The
// adapter accepts with sub-status 0x2C (additional 0) and a non-zero mailbox
// status, then stays offline until the next reboot.
constexpr uint8_t SLI_OP_FACTORY_DEFAULTS = 0xA9;
constexpr uint32_t FACTORY_REQUEST_LENGTH = 4;
constexpr uint8_t FACTORY_REQUEST_VERSION = 1;
constexpr uint32_t SUB_FACTORY_PROFILE = 16;
constexpr uint32_t SUB_FACTORY_OPERATION = 17;
constexpr uint8_t FACTORY_OPERATION_RESET = 1;
constexpr uint8_t SLI_STATUS_FACTORY_ACCEPTED = 0x2C;
