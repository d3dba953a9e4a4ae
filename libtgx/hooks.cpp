// Attachment points of later export families in load, discovery and release.
// Each family fills in its own hook; until then they do the minimum the
// lifecycle needs.
#include <cstdlib>

#include "libtgx/tgx_internal.h"

// RSCN watchers (masks 2 and 64 of TGX_RegisterForEvent): none until their
// family lands, so such a registration fails and frees its slot.
PlatThread WmiRegisterPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    (void)board;
    (void)outSz;
    (void)slot;
    return nullptr;
}
PlatThread WmiRegisterVPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    (void)board;
    (void)outSz;
    (void)slot;
    return nullptr;
}
void WmiUnRegisterPortRscn(EventSlot* slot) {
    (void)slot;
}
void WmiUnRegisterVPortRscn(EventSlot* slot) {
    (void)slot;
}

void tgx_wmi_release() {}

void tgx_sd_free_list(uint32_t board) {
    (void)board;
}
