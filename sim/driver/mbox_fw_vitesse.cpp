// The PHY firmware of the CIOV board (functions with subsys_id 0xF124),
// reached through MBX_DOWN_LOAD with 0x8C in word 1 bits 8-15; other
// functions refuse such requests (status 2).
//
// Load (word 1 bits 1, 3, 5; bit 0 on the last line): word 2 the line's file
// offset, word 3 its length, word 4 32, word 7 the line number parity; the
// text from mailbox byte 32, the bytes of each word reversed. A line whose
// offset or parity does not follow the previous one (a first line has offset
// 0 and parity 0), or whose text does not fit the mailbox as sent, is refused
// (status 2). Lines are records of the image file format (docs/vitesse.md):
// ":" count, address (4 hex digits), type, data, checksum, in hex; type 00
// data, 01 end. A line that does not parse or whose
// bytes do not sum to 0 counts as a checksum error. The answer to the last
// line gives the boot loader version in word 5 and the error count in the low
// byte of word 6; only an image without errors replaces the stored one.
//
// Read (word 1 bit 16): word 2 address, word 3 count (at most the mailbox
// from word 5), word 4 20; image bytes from word 5, four to a word, the first
// in bits 24-31. Address 0 holds the four application version bytes. Before
// any load the image is kDefaultVersion followed by zeros.
//
// Objects: "vitesse" (the image), "vitesse_load" (staging). Run-time key:
// "vitesse_load" (next offset, next line, errors).
// Journal: "DOWN_LOAD" with "vitesse load off=.. len=.. w1=.. w4=.. w7=..
// text0=.." (word 8, the first text word) or "vitesse read addr=.. len=..".
#include <cstdio>
#include <cstring>
#include <vector>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint32_t kCiovSubsystem = 0xF124;
constexpr uint32_t kReadFlag = 1u << 16;
constexpr uint32_t kLastFlag = 1u;
constexpr uint32_t kTextOffset = 32;
constexpr uint32_t kReadOffset = 20;
constexpr uint32_t kBootLoaderVersion = 0x0104;
constexpr uint8_t kDefaultVersion[4] = {0x02, 0x01, 0x00, 0x07};
const char* const kImage = "vitesse";
const char* const kStaging = "vitesse_load";

uint32_t mailbox_bytes(const MboxCall& c) {
    return (c.mbWords > 64 ? 64 : c.mbWords) * 4;
}

int hex_digit(uint8_t ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// Decodes one record into its bytes (count, address hi/lo, type, data,
// checksum). False when the line is not a well-formed record.
bool parse_record(const std::vector<uint8_t>& line, std::vector<uint8_t>* out) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r' || line[end - 1] == 0))
        --end;
    if (end < 11 || line[0] != ':' || (end - 1) % 2 != 0) return false;
    for (size_t i = 1; i < end; i += 2) {
        int hi = hex_digit(line[i]), lo = hex_digit(line[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return (*out)[0] + 5u == out->size();
}

struct LoadState {
    uint64_t next_offset = 0;
    uint64_t next_line = 0;
    uint64_t errors = 0;
};

LoadState load_state(const Function& f) {
    LoadState s;
    unsigned long long v[3] = {};
    if (sscanf(f.attrs.get("vitesse_load").c_str(), "%llu,%llu,%llu", &v[0], &v[1], &v[2]) == 3) {
        s.next_offset = v[0];
        s.next_line = v[1];
        s.errors = v[2];
    }
    return s;
}

void save_state(Function& f, const LoadState& s) {
    char v[96];
    snprintf(v, sizeof v, "%llu,%llu,%llu", (unsigned long long)s.next_offset,
             (unsigned long long)s.next_line, (unsigned long long)s.errors);
    f.attrs.set("vitesse_load", v);
}

bool vitesse_load(Function& f, const FuncRef& ref, MboxCall& c) {
    const uint32_t offset = c.mb[2];
    const uint32_t length = c.mb[3];
    const uint32_t sent = (length + 5) & ~1u;
    LoadState s = offset == 0 ? LoadState{} : load_state(f);
    if (offset == 0) staging_drop(ref, kStaging);
    if (offset != s.next_offset || c.mb[7] != (s.next_line & 1) || c.mb[4] != kTextOffset ||
        kTextOffset + sent > mailbox_bytes(c)) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    const uint8_t* bytes = fw_bytes(c) + kTextOffset;
    std::vector<uint8_t> line(length);
    for (uint32_t i = 0; i < length; ++i)
        line[i] = bytes[(i & ~3u) + (3 - (i & 3u))];
    std::vector<uint8_t> rec;
    uint8_t sum = 0;
    bool good = parse_record(line, &rec);
    for (uint8_t b : rec)
        sum = static_cast<uint8_t>(sum + b);
    if (!good || sum != 0) {
        ++s.errors;
    } else if (rec[3] == 0x00 && rec[0] > 0) {
        uint64_t address = (uint64_t(rec[1]) << 8) | rec[2];
        staging_write(ref, kStaging, address, rec.data() + 4, rec[0]);
    }
    s.next_offset = uint64_t(offset) + length;
    s.next_line += 1;
    if ((c.mb[1] & kLastFlag) == 0) {
        save_state(f, s);
        return true;
    }
    c.mb[5] = kBootLoaderVersion;
    c.mb[6] = static_cast<uint32_t>(s.errors > 0xFF ? 0xFF : s.errors);
    f.attrs.set("vitesse_load", "");
    if (s.errors == 0) {
        staging_commit(ref, kStaging, kImage);
    } else {
        staging_drop(ref, kStaging);
    }
    return true;
}

void vitesse_read(const FuncRef& ref, MboxCall& c) {
    const uint32_t address = c.mb[2];
    const uint32_t count = c.mb[3];
    if (c.mb[4] != kReadOffset || count > mailbox_bytes(c) - kReadOffset) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return;
    }
    Bytes image;
    if (object_get(ref, kImage, &image) != SIM_OK)
        image.assign(kDefaultVersion, kDefaultVersion + 4);
    for (uint32_t j = 0; j * 4 < count; ++j) {
        uint32_t w = 0;
        for (uint32_t k = 0; k < 4; ++k) {
            uint64_t at = uint64_t(address) + 4 * j + k;
            uint8_t b = at < image.size() ? image[at] : 0;
            w |= uint32_t(b) << (24 - 8 * k);
        }
        c.mb[5 + j] = w;
    }
}

} // namespace

bool mbx_vitesse(Adapter&, Function& f, MboxCall& c) {
    const bool read = (c.mb[1] & kReadFlag) != 0;
    char detail[96];
    if (read)
        snprintf(detail, sizeof detail, "vitesse read addr=%u len=%u", c.mb[2], c.mb[3]);
    else
        snprintf(detail, sizeof detail, "vitesse load off=%u len=%u w1=%08X w4=%u w7=%u text0=%08X",
                 c.mb[2], c.mb[3], c.mb[1], c.mb[4], c.mb[7], c.mb[8]);
    if (fw_begin(f, c, "DOWN_LOAD", detail)) return false;
    FuncRef ref;
    if (f.attrs.get_u("subsys_id") != kCiovSubsystem || !fw_ref(f, &ref)) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    if (read) {
        vitesse_read(ref, c);
        return false;
    }
    return vitesse_load(f, ref, c);
}

} // namespace hbasim
