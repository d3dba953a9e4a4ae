// MBX_READ_REV: the revision words of the adapter. Words 2 and 3 carry the
// hardware type in bits 12-27; bytes 36-51, 56-71 and 76-91 hold firmware names
// (SLI-4 functions as plain text, classic ones with each word byte-reversed).
// The fleet key rev_words ("N:0xVALUE ...") overrides single words.
#include <cstdlib>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint32_t kNameOffsets[] = {36, 56, 76};
constexpr uint32_t kNameSize = 16;

void put_name(uint8_t* mb, uint32_t offset, const std::string& name, bool sli4) {
    uint8_t text[kNameSize] = {};
    memcpy(text, name.data(), name.size() < kNameSize ? name.size() : kNameSize);
    for (uint32_t i = 0; i < kNameSize; i += 4) {
        if (sli4)
            memcpy(mb + offset + i, text + i, 4);
        else
            fw_wr_be32(mb + offset + i, fw_rd32(text + i));
    }
}

void apply_overrides(MboxCall& c, const std::string& text) {
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        unsigned long index = strtoul(p, &end, 0);
        if (end == p || *end != ':') break;
        p = end + 1;
        unsigned long value = strtoul(p, &end, 0);
        if (end == p) break;
        if (index >= 1 && index < 64) c.mb[index] = (uint32_t)value;
        p = end;
        while (*p == ' ' || *p == ',')
            ++p;
    }
}

} // namespace

bool mbx_read_rev(Adapter& a, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "READ_REV", "")) return false;
    bool sli4 = fw_is_sli4(f);
    uint32_t hw = (uint32_t)f.attrs.get_u("hw_type") & 0xFFFF;
    uint32_t request = c.mb[1];
    for (uint32_t i = 1; i < 64; ++i)
        c.mb[i] = 0;
    // Word 1: bit 30 revision words valid; classic boards also report SLI-3
    // (bit 26) when asked with the classic request.
    c.mb[1] = sli4 ? 0 : (request == READ_REV_CLASSIC_WORD1 ? 0x44000000u : 0);
    c.mb[2] = (hw << 12) | 0x1;
    c.mb[3] = (hw << 12) | 0x2;
    c.mb[4] = sli4 ? 0 : 0x0712A101u; // SLI-2 overlay running
    c.mb[5] = sli4 ? 0 : 0x00000301u;
    c.mb[6] = 0x0908; // FC-PH 4.3 highest, 4.2 lowest
    c.mb[7] = sli4 ? 0 : 0x0112A101u;
    c.mb[8] = 0x0212A101u;
    c.mb[13] = 0x0712A101u;
    c.mb[18] = 0x0B12A101u;
    c.mb[23] = sli4 ? 0 : 0x0000000Fu;
    std::string name = f.attrs.has("fw_name") ? f.attrs.get("fw_name") : a.attrs.get("fw_active");
    for (uint32_t offset : kNameOffsets)
        put_name(fw_bytes(c), offset, name, sli4);
    apply_overrides(c, f.attrs.get("rev_words"));
    return false;
}

} // namespace hbasim
