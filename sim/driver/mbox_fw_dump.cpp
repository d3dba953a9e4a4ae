// MBX_DUMP: adapter memory (type 1), config regions (type 2) and the VPD probe
// (type 4). Memory and the probe answer in the mailbox (a memory dump asking for
// more words than the mailbox holds is refused). A region read answers
// where the transport put its data: in the mailbox from word 5 (word 4 = bytes)
// on the plain form, in the data buffer on the data-buffer form (word 4 =
// bytes), in the extension for the library's dump request (word 3 = bytes
// wanted, word 6 = bytes reported). The fleet key dump_overreport makes the
// adapter claim that many more bytes (or words) than it returned.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

// Journal text: region reads name their length in words (mailbox forms) or
// bytes (the library's dump request).
std::string detail(const MboxCall& c, uint32_t type) {
    char text[96];
    bool library = c.form == MBOX_FORM_V2 || c.form == MBOX_FORM_V2EXT;
    if (type == DUMP_TYPE_MEMORY)
        snprintf(text, sizeof text, "type=1 addr=0x%X words=%u", c.mb[3], c.mb[4]);
    else if (type == DUMP_TYPE_REGION && library)
        snprintf(text, sizeof text, "type=2 region=%u off=%u bytes=%u", c.mb[2] & 0xFFFF,
                 c.mb[2] >> 16, c.mb[3] & 0xFFFFFF);
    else if (type == DUMP_TYPE_REGION)
        snprintf(text, sizeof text, "type=2 region=%u off=%u words=%u", c.mb[2] & 0xFFFF,
                 c.mb[2] >> 16, c.mb[4]);
    else
        snprintf(text, sizeof text, "type=%u w2=0x%X", type, c.mb[2]);
    return text;
}

void dump_memory(const Function& f, MboxCall& c, uint32_t extra) {
    uint32_t address = c.mb[3] & ~3u;
    uint32_t words = c.mb[4];
    // Memory answers in the mailbox words, so a count they cannot carry back is
    // refused. This also refuses the library's own dump request, whose word 3
    // is a byte count and word 4 the address of its data area: answering it
    // would read memory at a made-up address.
    if (address >= fw_mem_window(f) || words > fw_mailbox_data_room(c) / 4) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return;
    }
    uint32_t n = std::min(words, fw_mailbox_data_room(c) / 4);
    Memory m = fw_memory(f);
    for (uint32_t i = 0; i < n; ++i)
        c.mb[5 + i] = fw_mem_read(m, address + 4 * i);
    c.mb[4] = n + extra;
}

void dump_region(const Adapter& a, const Function& f, MboxCall& c, uint32_t extra) {
    uint32_t region = c.mb[2] & 0xFFFF;
    uint32_t offset = c.mb[2] >> 16;
    uint32_t st = fw_region_read_status(a, f, region);
    if (st != 0) {
        mbox_set_status(c, st);
        return;
    }
    Bytes data;
    fw_region_data(a, f, region, &data);
    uint32_t avail =
        std::min((uint32_t)data.size(), fw_region_header(f, region, (uint32_t)data.size()));
    uint32_t remaining = offset < avail ? avail - offset : 0;
    const uint8_t* src = data.data() + (offset < avail ? offset : 0);

    if (c.form == MBOX_FORM_EX) {
        uint32_t room = c.data ? c.dataLen : 0;
        uint32_t n = std::min({c.mb[4] * 4, remaining, room});
        if (n) memcpy(c.data, src, n);
        c.dataOut = n;
        c.mb[4] = n + extra;
    } else if (c.form == MBOX_FORM_V2 || c.form == MBOX_FORM_V2EXT) {
        uint32_t room = c.data ? c.dataLen : 0;
        uint32_t n = std::min({c.mb[3] & 0xFFFFFF, remaining, room});
        if (n) memcpy(c.data, src, n);
        c.dataOut = n;
        c.mb[6] = n + extra;
    } else {
        uint32_t n = std::min({c.mb[4] * 4, remaining, fw_mailbox_data_room(c)});
        if (n) memcpy(fw_bytes(c) + 20, src, n);
        c.mb[4] = n + extra;
    }
}

} // namespace

bool mbx_dump(Adapter& a, Function& f, MboxCall& c) {
    uint32_t type = c.mb[1] & 0xF;
    if (fw_begin(f, c, "DUMP", detail(c, type))) return false;
    uint32_t extra = (uint32_t)f.attrs.get_u("dump_overreport");
    switch (type) {
    case DUMP_TYPE_MEMORY:
        dump_memory(f, c, extra);
        break;
    case DUMP_TYPE_REGION:
        dump_region(a, f, c, extra);
        break;
    case DUMP_TYPE_VPD_PROBE:
        if ((c.mb[2] & 0xFFFF) != DUMP_VPD_PROBE_WORD2)
            mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        else if (f.attrs.get("has_vpd") == "0")
            mbox_set_status(c, MBXS_NO_VPD);
        break;
    default:
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        break;
    }
    return false;
}

} // namespace hbasim
