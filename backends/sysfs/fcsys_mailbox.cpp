// Mailbox requests: the backend answers only the read-only queries that the
// inventory needs, from sysfs, and refuses every other command.
//
//   MBX_READ_NV    the names in use: port_name in words 5-6 and node_name in
//                  words 7-8 in wire order (SLI-4), flags word 9 zero.
//   MBX_READ_REV   word 2 bit 0 (revision words valid, hardware type 0); the
//                  firmware name in bytes 36-51 as text (SLI-4): the first word
//                  of the port's firmware version (read_port_facts).
//   MBX_READ_LNK_STAT  the counters of fc_host/statistics (LINK_COUNTER_NAMES),
//                  all ones for a counter the driver does not publish.
//   MBX_DUMP       type 2 (config region) only: region 32 (IEEE, SLI-4) is
//                  the factory WWPN (permanent_port_name, else port_name) in
//                  wire order; region 14 is the VPD (read_vpd). Other regions
//                  answer "region not applicable".
//
// Forms: the V2 request (0x80000143, data in the extension, word 6 = bytes
// reported) and the data-buffer request (0x8000013B, data beside the mailbox,
// word 4 = bytes returned). A refused V2 command gets ReturnCode 1 ("command
// not supported by the driver", no retry); the data-buffer form fails its
// device call. How to add a read-only command: write its answer below and add
// its row to kCommands.
#include <cstring>

#include "backends/sysfs/fcsys_internal.h"
#include "interfaces/mbox_codes.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"

namespace fcsys {

namespace {

const uint32_t kRegionVpd = 14;
const uint32_t kRegionIeeeSli4 = 32;
const uint32_t kRevNameOffset = 36;
const uint32_t kRevNameBytes = 16;
const uint32_t kDumpTypeMask = 0xF;
const uint32_t kDumpReportedWord = 6;
const uint32_t kExWordLimit = TGX_MBOX_EX_MAX_WORDS;
const size_t kRegionMax = 4096;  // largest region answered (the VPD)
const size_t kNvWwpnOffset = 20; // words 5-6
const size_t kNvWwnnOffset = 28; // words 7-8

// A mailbox and where its data goes: the data area and its room, and how the
// form reports the bytes returned.
enum Form { FORM_V2, FORM_EX };
struct Mailbox {
    uint8_t* mb; // 256 bytes, little-endian words
    Form form;
    uint8_t* data;
    uint32_t room;
    uint32_t returned; // data bytes written
};

uint32_t word(const Mailbox& m, int k) {
    return rd32(m.mb + 4 * k);
}
void set_word(Mailbox& m, int k, uint32_t v) {
    wr32(m.mb + 4 * k, v);
}
uint8_t command(const Mailbox& m) {
    return m.mb[1];
}
void set_status(Mailbox& m, uint32_t status) {
    wr16(m.mb + 2, status);
}

// The first blank- or comma-delimited word of text, as the 16-byte name.
void revision_name(const char* text, uint8_t out[kRevNameBytes]) {
    memset(out, 0, kRevNameBytes);
    size_t n = strcspn(text, " ,(");
    memcpy(out, text, n < kRevNameBytes ? n : kRevNameBytes);
}

void clear_words(Mailbox& m) {
    for (int k = 1; k < static_cast<int>(TGX_MBOX_WORDS); ++k)
        set_word(m, k, 0);
}

bool read_nv(const FcsysPort& port, Mailbox& m) {
    PortFacts f;
    read_port_facts(port, &f);
    clear_words(m);
    memcpy(m.mb + kNvWwpnOffset, f.wwpn, FCSYS_WWN_BYTES);
    memcpy(m.mb + kNvWwnnOffset, f.wwnn, FCSYS_WWN_BYTES);
    set_status(m, 0);
    return true;
}

bool read_link_counters(const FcsysPort& port, Mailbox& m) {
    char dir[FCSYS_PATH_MAX];
    bool haveDir = fcsys_join(dir, sizeof dir, port.hostDir, "statistics");
    clear_words(m);
    set_word(m, 1, LINK_COUNTER_COUNT);
    for (uint32_t k = 0; k < LINK_COUNTER_COUNT; ++k) {
        char text[64];
        uint64_t v = LINK_COUNTER_NOT_COUNTED;
        if (!haveDir || !fcsys_read_attr(dir, LINK_COUNTER_NAMES[k], text, sizeof text) ||
            !fcsys_parse_counter(text, &v))
            v = LINK_COUNTER_NOT_COUNTED;
        int w = static_cast<int>(LINK_COUNTER_FIRST_WORD + 2 * k);
        set_word(m, w, static_cast<uint32_t>(v));
        set_word(m, w + 1, static_cast<uint32_t>(v >> 32));
    }
    set_status(m, 0);
    return true;
}

bool read_rev(const FcsysPort& port, Mailbox& m) {
    PortFacts f;
    read_port_facts(port, &f);
    clear_words(m);
    set_word(m, 2, 1); // revision words valid; hardware type 0 (not known here)
    set_word(m, 3, 2);
    // No firmware version published anywhere: "N/A", never an empty name.
    revision_name(f.firmwareVersion[0] ? f.firmwareVersion : "N/A", m.mb + kRevNameOffset);
    set_status(m, 0);
    return true;
}

// Region bytes from offset on into the form's data area; length = bytes asked.
void put_region(Mailbox& m, const uint8_t* bytes, size_t size, uint32_t offset, uint32_t length) {
    uint32_t avail = offset < size ? static_cast<uint32_t>(size) - offset : 0;
    uint32_t n = length < avail ? length : avail;
    if (n > m.room) n = m.room;
    if (n) memcpy(m.data, bytes + offset, n);
    m.returned = n;
    set_status(m, 0);
}

// The bytes of a region this backend knows; false when it has none.
bool region_bytes(const FcsysPort& port, uint32_t region, uint8_t* out, size_t size, size_t* n,
                  uint32_t* status) {
    PortFacts f;
    read_port_facts(port, &f);
    *n = 0;
    if (region == kRegionIeeeSli4) {
        static const uint8_t kZero[FCSYS_WWN_BYTES] = {};
        bool factory = memcmp(f.permanentWwpn, kZero, sizeof kZero) != 0;
        memcpy(out, factory ? f.permanentWwpn : f.wwpn, FCSYS_WWN_BYTES);
        *n = FCSYS_WWN_BYTES;
        return true;
    }
    if (region == kRegionVpd) {
        *n = read_vpd(port, f, out, size);
        *status = TGX_MBXST_DUMP_NO_ENTRY;
        return *n > 0;
    }
    *status = TGX_MBXST_DUMP_NOT_APPLICABLE;
    return false;
}

bool dump(const FcsysPort& port, Mailbox& m) {
    if ((word(m, 1) & kDumpTypeMask) != DUMP_TYPE_REGION) return false;
    uint32_t region = word(m, 2) & 0xFFFF;
    uint32_t offset = word(m, 2) >> 16;
    // V2: bytes asked in word 3; data-buffer form: words asked in word 4.
    uint32_t words = word(m, 4) < kExWordLimit ? word(m, 4) : kExWordLimit;
    uint32_t length = m.form == FORM_V2 ? word(m, 3) & 0xFFFFFF : words * 4;
    uint8_t bytes[kRegionMax];
    size_t n = 0;
    uint32_t status = 0;
    m.returned = 0;
    if (region_bytes(port, region, bytes, sizeof bytes, &n, &status))
        put_region(m, bytes, n, offset, length);
    else
        set_status(m, status);
    // The bytes returned: word 6 of the V2 form, word 4 of the data-buffer form.
    set_word(m, m.form == FORM_V2 ? kDumpReportedWord : 4, m.returned);
    return true;
}

struct CommandRow {
    uint8_t command;
    bool (*answer)(const FcsysPort&, Mailbox&); // false: refused
};
const CommandRow kCommands[] = {
    {MBX_READ_NV, read_nv},
    {MBX_READ_REV, read_rev},
    {MBX_READ_LNK_STAT, read_link_counters},
    {MBX_DUMP, dump},
};

// True when the command is one of the read-only queries and was answered.
bool answer(const FcsysPort& port, Mailbox& m) {
    for (const CommandRow& row : kCommands)
        if (row.command == command(m)) return row.answer(port, m);
    return false;
}

} // namespace

uint32_t answer_mailbox_v2(const FcsysPort& port, Request& r) {
    uint32_t ext = rd32(r.payload + TGX_MBV2_OFF_EXTLEN);
    if (rd32(r.payload + TGX_MBV2_OFF_MBLEN) != TGX_MBOX_BYTES ||
        ext > r.payloadSize - TGX_MBV2_OFF_EXT)
        return PLAT_ERR_BAD_LENGTH;
    Mailbox m = {r.payload + TGX_MBV2_OFF_MAILBOX, FORM_V2, r.payload + TGX_MBV2_OFF_EXT, ext, 0};
    r.returnCode = answer(port, m) ? 0 : TGX_V2RC_NOT_SUPPORTED;
    return 0;
}

uint32_t answer_mailbox_ex(const FcsysPort& port, Request& r) {
    uint32_t outWords = rd32(r.payload + TGX_MBEX_OFF_OUTWORDS);
    if (outWords > kExWordLimit || TGX_MBEX_OFF_DATA + 4 * outWords > r.payloadSize)
        return PLAT_ERR_BAD_LENGTH;
    Mailbox m = {r.payload + TGX_MBEX_OFF_MAILBOX, FORM_EX, r.payload + TGX_MBEX_OFF_DATA,
                 4 * outWords, 0};
    if (!answer(port, m)) return PLAT_ERR_ACCESS;
    wr32(r.payload + TGX_MBEX_OFF_OUTWORDS, (m.returned + 3) / 4);
    r.returnCode = 0;
    return 0;
}

} // namespace fcsys
