// Adapter vital product data: the read for every adapter kind, the VPD probe,
// normalisation, the vpd command handler, the process-wide VpdRecord and the
// keyword reader of the image checks.
//
// Raw VPD follows the PCI VPD resource format: a large-resource tag 0x82
// (identifier string) with a 16-bit little-endian length and the string, then
// a tag 0x90 (read-only keywords) with a 16-bit length and keyword entries
// (two key characters, one length byte, data) up to the keyword RV.
//
// The normalised form is a sequence of entries, each two key characters, one
// length byte and that many data bytes; the identifier string becomes an
// entry with the key bytes 0x82 0x82. Every length is checked against the
// bytes actually read: a length that runs past them ends the walk.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t VPD_BUFFER_SIZE = 1024;   // largest VPD handled
constexpr uint32_t VPD_REGION_LENGTH = 1000; // bytes of region 14 read
constexpr uint8_t VPD_TAG_ID_STRING = 0x82;
constexpr uint8_t VPD_TAG_READ_ONLY = 0x90;

// Codes of the VPD read and of normalisation.
constexpr uint32_t VPD_STATUS_OK = 0;
constexpr uint32_t VPD_STATUS_READ_FAILED = 1;
constexpr uint32_t VPD_STATUS_BUFFER_SMALL = 7; // caller's buffer smaller than the data
constexpr uint32_t VPD_STATUS_TOO_LONG = 21;    // more than VPD_BUFFER_SIZE bytes
constexpr uint32_t VPD_STATUS_NO_NEXA = 72;     // NEXA function without a NEXA connection
constexpr uint32_t VPD_STATUS_NO_VPD = 231;     // the probe says the adapter has no VPD
constexpr uint32_t VPD_STATUS_NOT_VPD = 250;    // the data is not VPD

// Results of the vpd command handler.
constexpr uint32_t VPD_CMD_OK = 0;
constexpr uint32_t VPD_CMD_READ_FAILED = 15;      // FC and SLI-4 adapters
constexpr uint32_t VPD_CMD_EMPTY = 16;            // read, but no entry
constexpr uint32_t VPD_CMD_CNA_READ_FAILED = 141; // other NEXA-managed functions

// Field sizes: each holds a value cut to one byte less.
constexpr size_t VPD_SN_SIZE = 33;
constexpr size_t VPD_V1_SIZE = 256;
constexpr size_t VPD_V2_SIZE = 80;
constexpr size_t VPD_V3_SIZE = 256;
constexpr size_t VPD_V4_SIZE = 20;

// The keywords the identification and the image checks use. Cleared at the
// start of every read, so a failed read never shows another adapter's values.
struct VpdRecord {
    char SN[VPD_SN_SIZE];
    int32_t found; // nonzero when VPD was found
    char V1[VPD_V1_SIZE];
    char V2[VPD_V2_SIZE];
    char V3[VPD_V3_SIZE]; // the image style text of the compatibility checks
    char V4[VPD_V4_SIZE];
};
extern VpdRecord g_vpdRecord;
void vpdRecordClear(VpdRecord* rec);

// ---- parsing (pure, no adapter access) ----------------------------------------
// How a walk over raw VPD ended.
enum VpdWalkEnd : int {
    VPD_WALK_COMPLETE = 0,  // reached RV, a zero key byte or the end of the keywords
    VPD_WALK_TRUNCATED = 1, // a tag, length or keyword ran past the data
    VPD_WALK_BAD_TAG = 2,   // a resource tag other than 0x82 / 0x90 where one was expected
};
// Converts raw VPD (raw[0 .. rawLength)) to the normalised form in out (room
// for outSize bytes; never more is written). *outLength receives the bytes of
// the entries written. Returns how the walk ended; a first byte other than
// 0x82 is VPD_WALK_BAD_TAG with nothing written.
VpdWalkEnd vpdParseRaw(const uint8_t* raw, uint32_t rawLength, uint8_t* out, uint32_t outSize,
                       uint32_t* outLength);
// Normalises buffer in place: 21 above VPD_BUFFER_SIZE bytes; data stored in
// byte-reversed 32-bit words (first byte not 0x82, fourth byte 0x82) is turned
// back first; 250 when it does not start with 0x82 or the second resource is
// not 0x90. *length is the raw length in and the normalised length out.
uint32_t vpdNormalize(uint8_t* buffer, uint32_t* length);

// One entry of a normalised buffer.
struct VpdEntry {
    uint8_t key[2];
    uint8_t length;
    const uint8_t* data;
};
// Reads the entry at *pos and advances it. False at the end: a zero key byte,
// fewer than three bytes left, or a length running past length.
bool vpdNextEntry(const uint8_t* buffer, uint32_t length, uint32_t* pos, VpdEntry* out);
// Copies an entry's data into a text field of size bytes (cut, terminated).
void vpdCopyValue(const VpdEntry& e, char* dest, size_t size);
// Stores SN, V1, V2, V3 and V4 of a normalised buffer in rec (cleared first);
// rec->found is set.
void vpdStoreKeywords(const uint8_t* buffer, uint32_t length, VpdRecord* rec);

// ---- adapter access ----------------------------------------------------------------
// The VPD probe of classic FC adapters whose image family needs it: 231 when
// the adapter says it has no VPD, 0 otherwise (other failures let the read go
// on). Adapters of other families are not asked (0).
uint32_t vpdProbe(int adapter);
// Reads and normalises the VPD of table entry adapter into buffer.
// *length: capacity in, normalised length out (0 on failure). Codes above.
uint32_t readAdapterVpd(int adapter, uint8_t* buffer, uint32_t* length);
// The vpd command handler: reads, prints (only with display) and stores the
// VPD in g_vpdRecord. Failures print their message whatever display says.
// Returns VPD_CMD_*.
uint32_t vpdCommandHandler(int adapter, bool display);
// The keyword reader of the image checks: reads config region 14 piecewise
// and copies SN, V1, V2, V3 and V4 into out (cleared first). Returns 0, or the
// failing first read's status (after printing the no-VPD message).
uint32_t readVpdKeywords(int adapter, VpdRecord* out);

// Raw VPD of a NEXA node (function or controller tag): the "VPDData0" ..
// "VPDData8" properties of its "VPD" child, hexadecimal text, appended.
// *length: capacity in (at least 1024, else 7), bytes out. Returns 0, 7 (the
// data does not fit), or the NEXA access layer's status.
uint32_t MAL_GetVPD(int tag, uint8_t* buffer, uint32_t* length);
