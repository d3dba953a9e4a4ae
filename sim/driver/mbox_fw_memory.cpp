// MBX_DEL_LD_ENTRY: unlinks the load list entry of a program. The list starts
// at the word at 0x79C and ends at an entry whose next word is 0x79C; entries
// are six words (next, -, flash address, -, program id word 0, word 1).
#include <cstdio>
#include <set>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

bool mbx_del_ld_entry(Adapter&, Function& f, MboxCall& c) {
    char text[64];
    snprintf(text, sizeof text, "pid=0x%08X,0x%08X", c.mb[2], c.mb[3]);
    if (fw_begin(f, c, "DEL_LD_ENTRY", text)) return false;
    if ((c.mb[1] & 3) != 1) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    Memory m = fw_memory(f);
    uint32_t link = MEM_LOAD_LIST_HEAD; // the word that points at the current entry
    uint32_t entry = fw_mem_read(m, link);
    std::set<uint32_t> seen;
    while (entry != MEM_LOAD_LIST_HEAD && seen.insert(entry).second) {
        uint32_t next = fw_mem_read(m, entry);
        uint32_t w4 = fw_mem_read(m, entry + 16);
        bool used = w4 != 0 && w4 != 0xFFFFFFFFu;
        if (used && w4 == c.mb[2] && fw_mem_read(m, entry + 20) == c.mb[3]) {
            fw_mem_write(f, link, next);
            return true;
        }
        link = entry;
        entry = next;
    }
    mbox_set_status(c, MBXS_ERROR);
    return false;
}

} // namespace hbasim
