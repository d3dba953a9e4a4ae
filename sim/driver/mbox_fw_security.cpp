// MBX_SECURITY of secure adapters (fleet key "secure", or PCI device 0xF180):
// the download KEK the adapter holds ("kek_id", the root KEK by default).
// 0x0C answers the identifier (word 2 its length, words 3-18 the text, four
// characters a word, the first in the top byte); 0x0D moves the adapter to a
// table entry whose predecessor it holds, when the request carries that
// entry's key material and identifier; 0x05 zeroizes: back to the root KEK.
// Other adapters answer 3846 (not supported).
#include <cstdio>
#include <cstring>

#include "interfaces/kek_table.h"
#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

uint32_t text_word(const std::string& text, size_t at) {
    uint32_t w = 0;
    for (size_t b = 0; b < 4; ++b) {
        uint8_t ch = at + b < text.size() ? (uint8_t)text[at + b] : 0;
        w |= (uint32_t)ch << (24 - 8 * b);
    }
    return w;
}

std::string words_text(const uint32_t* words, uint32_t length) {
    std::string out;
    for (uint32_t i = 0; i < length && i < 64; ++i)
        out += (char)(words[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

int entry_of(const std::string& id) {
    for (int i = 0; i < KEK_TABLE_SIZE; ++i)
        if (id == kKekTable[i].id) return i;
    return -1;
}

} // namespace

bool mbx_security(Adapter&, Function& f, MboxCall& c) {
    const uint32_t sub = c.mb[1] >> 24;
    char text[48];
    snprintf(text, sizeof text, "sub=0x%02X", sub);
    if (fw_begin(f, c, "SECURITY", text)) return false;
    if (!(f.attrs.get("secure") == "1" || fw_device_id(f) == 0xF180)) {
        mbox_set_status(c, MBXS_SECURITY_UNSUPPORTED);
        return false;
    }
    const std::string current = f.attrs.get("kek_id", kKekTable[0].id);
    switch (sub) {
    case SECURITY_GET_KEK: {
        for (uint32_t i = 2; i < 64; ++i)
            c.mb[i] = 0;
        c.mb[2] = (uint32_t)current.size();
        for (uint32_t i = 0; i < 16; ++i)
            c.mb[3 + i] = text_word(current, 4 * i);
        return false;
    }
    case SECURITY_SET_KEK: {
        uint32_t length = c.mb[3] >> 16;
        std::string id = words_text(&c.mb[16], length);
        int e = entry_of(id);
        bool ok = e >= 0 && c.mb[2] == SECURITY_SET_KEK_WORD2 &&
                  (c.mb[3] & 0xFFFF) == SECURITY_SET_KEK_WORD3 &&
                  memcmp(&c.mb[6], kKekTable[e].key, sizeof kKekTable[e].key) == 0 &&
                  !(kKekTable[e].flags & KEK_FLAG_ROOT) &&
                  current == kKekTable[kKekTable[e].predecessor].id;
        if (!ok) {
            mbox_set_status(c, MBXS_ERROR);
            return false;
        }
        f.attrs.set("kek_id", id);
        return true;
    }
    case SECURITY_ZEROIZE:
        if (current == kKekTable[0].id) return false;
        f.attrs.set("kek_id", kKekTable[0].id);
        return true;
    default:
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
}

} // namespace hbasim
