// The FC mailbox layer: the mailbox buffer, the issue paths over libtgx, the
// last failed command, and the MBX_SLI_CONFIG embedded request layout.
//
// A mailbox is a cleared 384-byte buffer of little-endian 32-bit words: word 0
// holds the command code in bits 8-15 and, after completion, the adapter's
// status in bits 16-31. Classic commands travel as 32 words, SLI-4 ones as 64.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

#include "interfaces/mbox_codes.h"

// The mailbox words are handed to the library as they lie in memory, and data
// returned in them is copied out as bytes: both assume a little-endian host.
static_assert(std::endian::native == std::endian::little, "mailbox words are little-endian");

constexpr size_t MBOX_BUFFER_BYTES = 384;
constexpr size_t MBOX_BUFFER_WORDS = MBOX_BUFFER_BYTES / 4;
constexpr uint32_t MBOX_CLASSIC_WORDS = 32;
constexpr uint32_t MBOX_SLI4_WORDS = 64;
constexpr uint32_t MBOX_DATA_WORD = 5;          // where returned data starts
constexpr uint32_t MBOX_DATA_OFFSET = 20;       // the same in bytes
constexpr uint32_t MBOX_CLASSIC_DATA_MAX = 108; // bytes of data in one classic mailbox
constexpr uint32_t MBOX_CLASSIC_DATA_WORDS = MBOX_CLASSIC_DATA_MAX / 4;
// Bytes of the mailbox the library copies back (64 words).
constexpr uint32_t MBOX_RETURNED_BYTES = MBOX_SLI4_WORDS * 4;

struct MboxBuf {
    uint32_t w[MBOX_BUFFER_WORDS];
};
static_assert(sizeof(MboxBuf) == MBOX_BUFFER_BYTES, "mailbox buffer size");

inline void mboxClear(MboxBuf* mb) {
    for (uint32_t& x : mb->w)
        x = 0;
}
// Clears the buffer and puts the command code in word 0.
inline void mboxInit(MboxBuf* mb, uint8_t command) {
    mboxClear(mb);
    mb->w[0] = static_cast<uint32_t>(command) << 8;
}
inline uint8_t mboxCommand(const MboxBuf& mb) {
    return static_cast<uint8_t>(mb.w[0] >> 8);
}
inline uint32_t mboxStatus(const MboxBuf& mb) {
    return mb.w[0] >> 16;
}
inline uint8_t* mboxBytes(MboxBuf* mb) {
    return reinterpret_cast<uint8_t*>(mb->w);
}
inline const uint8_t* mboxBytes(const MboxBuf& mb) {
    return reinterpret_cast<const uint8_t*>(mb.w);
}

// Little-endian fields of byte layouts.
inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void putLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint32_t byteSwap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// ---- last failed command ------------------------------------------------------
// Set by the operations that record their failures; later messages print them.
struct MboxLastFailure {
    uint32_t command;
    uint32_t status;
};
extern MboxLastFailure g_mboxLastFailure;
void mboxRecordFailure(const MboxBuf& mb);

// ---- issue paths -----------------------------------------------------------------
// Adapter numbers are 0-based indexes into the adapter table; FC entries are
// the library's boards in the same order.
//
// IssueMbox1: SLI-4 adapters go through IssueMbox4; others are sent as 32 words
// (retry 2, delay 100). IssueMbox4: 64 words through the V2 form (retry 1).
// Both return 0 on success; on failure the mailbox status when it is not 0,
// else the library status, so a failed call never reads as success.
uint32_t IssueMbox1(int adapter, MboxBuf* mb);
uint32_t IssueMbox4(int adapter, MboxBuf* mb);
// Brevin FC and Brevin CNA functions: V2 form, 64 words, retry 3; others the
// plain form, 32 words, retry 3. Returns the library status unchanged.
uint32_t IssueNvMbox(int adapter, MboxBuf* mb);

// ---- MBX_SLI_CONFIG embedded request -------------------------------------------
// Word 0 command 0x9B; word 1 bit 0 (embedded); word 2 the payload length;
// the sub-command header at byte 24: opCode, subSystem, timeout, requestLength,
// version; the response overlays it (status, additionalStatus, responseLength,
// actualLength) and response fields follow at header byte 16.
static_assert(SLI_CONFIG_PAYLOAD_LENGTH == MBOX_RETURNED_BYTES - SLI_SUB_OFFSET,
              "the embedded payload fills the mailbox after its header");
static_assert(SUB_NAME + SUB_NAME_SIZE == SUB_DESC_COUNT, "object name field");
static_assert(SLI_SUB_OFFSET + SUB_DESCRIPTORS + SUB_DESC_SIZE <= MBOX_RETURNED_BYTES,
              "one host buffer descriptor fits the mailbox");
static_assert(SLI_SUB_OFFSET + SUB_FW_FLASH + SUB_FW_TEXT_SIZE <= MBOX_RETURNED_BYTES,
              "version texts fit the mailbox");
static_assert(OBJ_REQUEST_LENGTH == SUB_DESC_COUNT + 4 - 16,
              "object request length counts the fields after the header");

// Fills the mailbox words 0-2 and the sub-command header of an embedded
// request in buf (at least 256 bytes, cleared by the caller).
void sliConfigInit(uint8_t* buf, uint8_t opCode, uint32_t requestLength);
inline uint8_t* sliSub(uint8_t* buf) {
    return buf + SLI_SUB_OFFSET;
}
inline const uint8_t* sliSub(const uint8_t* buf) {
    return buf + SLI_SUB_OFFSET;
}

struct SliResponse {
    uint8_t status;
    uint8_t additionalStatus;
    uint32_t responseLength;
    uint32_t actualLength;
};
SliResponse sliConfigResponse(const uint8_t* buf);
