// Inventory commands: what is installed, as listhba, listattr, listfw,
// hbaattr, pcidata and version print it, with the per-entry values the
// attribute listings share and the controller queries of Brevin FC functions.
//
// The listattr text is read back by the batch updater line by line: its
// labels, widths, order and line conditions are fixed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/cli/identify.h"

// Version and boot texts of one entry: at most 32 characters.
constexpr size_t INVENTORY_TEXT_SIZE = 33;
// Serial number text (a converged adapter's serial is the longest source).
constexpr size_t INVENTORY_SERIAL_SIZE = 65;
// Bytes of a firmware name in the revision answer, and where it starts.
constexpr size_t REV_FW_NAME_SIZE = 16;
constexpr size_t REV_FW_NAME_OFFSET = 36;

// Texts shown when a value cannot be read.
constexpr const char* INV_NO_VERSION = "0.0.0.0";
constexpr const char* INV_NO_FC_VERSION = "XX0.00A0";
constexpr const char* INV_NOT_AVAILABLE = "N/A";
constexpr const char* INV_NO_BOOT = "NONE";

// The values listattr, listfw and hbaattr print for one entry.
struct InventoryEntry {
    const char* kindText; // "FC", "FCoE", "iSCSI" or "NIC"
    ModelQuery query;
    bool fcEntry;    // an entry of the adapter library (FC or FCoE)
    bool nexaRecord; // texts taken from the converged adapter record
    uint32_t deviceId;
    uint32_t vendorId;
    uint32_t subsystemId;
    uint32_t subsystemVendorId;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
    uint8_t address[8]; // port WWN (8 bytes) or permanent MAC (first 6)
    char serial[INVENTORY_SERIAL_SIZE];
    uint32_t revId;
    char fw[INVENTORY_TEXT_SIZE];
    char boot[INVENTORY_TEXT_SIZE];
    char bios[INVENTORY_TEXT_SIZE];
    int32_t bootEnabled;
    int32_t multiChannel;
    int32_t configuration;
    int32_t vpdModel;
    int32_t cvr;
};

// How the NEXA attribute texts are taken: listattr and listfw replace an
// empty or malformed version by "0.0.0.0"; hbaattr keeps any non-empty text.
enum InventoryTextRule : int {
    TEXT_RULE_VALID_VERSION = 0,
    TEXT_RULE_NON_EMPTY = 1,
};

// Computes the values of entry i. Returns 0, or the status the listing keeps
// for this entry (29 revision read, 19 wakeup parameters); 141 means the
// entry's converged adapter record is missing and the entry is not listed.
int32_t inventoryEntry(int i, InventoryTextRule rule, InventoryEntry* out);
// The model text of the attribute listings (VPD model, table model or base
// model by useVpdModel).
const char* inventoryModel(int i, const InventoryEntry& e);
// True when entry i shows the texts of its converged adapter record: a
// NEXA-managed entry while NEXA is up, except an FCoE function tied to no
// converged adapter.
bool usesConvergedRecord(int i);
// The firmware name of a revision answer (bytes 36-51): as it lies, or with
// the bytes of each 32-bit word reversed; cut at its first zero byte.
void revisionFirmwareName(const uint8_t* answer, bool wordReversed, char* out, size_t size);
// No entry at all (fcCount and totalCount both 0), and its report (status
// 45): a message line, or with lineEnd the text with its line end.
bool inventoryNoAdapter();
void inventoryReportNoAdapter(bool lineEnd);

// ---- pure rules -------------------------------------------------------------------------
// True when the text, cut to 31 characters, splits at "." into at least four
// fields whose first four are non-empty runs of decimal digits.
bool validVersion(const char* text);
// 1 when (device, subsystem vendor, subsystem) is one of the OEM boards; 0
// otherwise, and always 0 for NEXA-managed entries and Brevin FC functions.
int32_t isOemConfiguration(int i);
int32_t isOemConfigurationIds(uint32_t deviceId, uint32_t subsystemVendorId, uint32_t subsystemId);
// RM status of an MBX_SLI_CONFIG outcome: library status, mailbox status
// (word 0 bits 16-31), response status and additional status.
uint32_t sliConfigStatus(uint32_t libStatus, uint32_t mboxStatus, uint8_t rspStatus,
                         uint8_t addlStatus);
// RM status of a controller query from its sub-command header as returned:
// sliConfigStatus of its response, except that a non-zero mailbox status with
// the response fields unwritten (all zero) is a failure (28).
uint32_t sliQueryStatus(uint32_t libStatus, uint32_t mboxStatus, const uint8_t* header);

// ---- controller queries of Brevin FC functions -------------------------------------------
constexpr uint8_t SLI_OP_GET_BOOT_CONFIG = 0x42;
constexpr uint8_t SLI_OP_GET_CNTL_ADDL_ATTRIBUTES = 0x79;
// The additional-attributes request: the 256-byte mailbox and a 620-byte
// request area behind it, the sub-command header at its start.
constexpr uint32_t CNTL_ATTR_AREA_BYTES = 620;
constexpr uint32_t CNTL_ATTR_BUFFER_BYTES = 256 + CNTL_ATTR_AREA_BYTES;
constexpr uint32_t CNTL_ATTR_HEADER_OFFSET = 256;
constexpr uint32_t CNTL_ATTR_DESCRIPTOR_WORD = 8;
constexpr uint32_t CNTL_ATTR_TEXT_SIZE = 32;
// Response offsets (from the sub-command header) of the four version texts.
constexpr uint32_t CNTL_ATTR_UNIVERSAL_BIOS = 404;
constexpr uint32_t CNTL_ATTR_X86_BIOS = 436;
constexpr uint32_t CNTL_ATTR_EFI_BIOS = 468;
constexpr uint32_t CNTL_ATTR_FCODE = 500;
static_assert(CNTL_ATTR_FCODE + CNTL_ATTR_TEXT_SIZE <= CNTL_ATTR_AREA_BYTES,
              "version texts fit the request area");
static_assert(CNTL_ATTR_BUFFER_BYTES % 4 == 0, "the request travels as whole words");

struct CntlAddlAttributes {
    char universalBiosVersion[CNTL_ATTR_TEXT_SIZE + 1];
    char x86BiosVersion[CNTL_ATTR_TEXT_SIZE + 1];
    char efiBiosVersion[CNTL_ATTR_TEXT_SIZE + 1];
    char fcodeVersion[CNTL_ATTR_TEXT_SIZE + 1];
};

// Boot code state (embedded request, opCode 0x42): RM status; on 0 *enabled
// is the first response byte (not 0: boot code enabled).
uint32_t queryBootCodeState(int adapter, uint8_t* enabled);
// COMMON_GET_CNTL_ADDL_ATTRIBUTES (request in a host buffer, opCode 0x79):
// RM status (2 without extended mailbox support, 35 without memory); on 0
// the four version texts, each cut after 32 bytes and at its first blank.
uint32_t SC_PerformCommonGetCntlAddlAttributes(int adapter, CntlAddlAttributes* out);
// Decodes the four texts of a response area (header at area[0]).
void decodeCntlAddlAttributes(const uint8_t* area, CntlAddlAttributes* out);
