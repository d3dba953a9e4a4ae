// Boot devices and boot images: the x86 boot device in region 8, the
// alternate boot devices in region 9, the boot images of the flash load list
// and the selection of the boot image the adapter starts.
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/mbox_records.h"

// Boot images of an adapter: the load list's boot programs (type 3) and, when
// the wakeup parameters name an expansion ROM that is not among them, that
// image after them.
constexpr uint32_t BOOT_BIOS_LIST_MAX = 12; // the added expansion ROM entry included
struct BootBiosEntry {
    ProgramId program;
    char version[LOAD_LIST_VERSION_LEN + 1];
};
struct BootBiosList {
    BootBiosEntry entries[BOOT_BIOS_LIST_MAX];
    uint32_t count;    // load list images kept
    bool eromPresent;  // wakeup bytes 52-55 not zero
    bool eromIncluded; // the expansion ROM is one of the load list images
    bool eromAdded;    // entries[count] holds the expansion ROM
    bool wakeupRead;   // wakeup holds the adapter's parameters
    WakeupParms wakeup;
};
// Collects the list. Returns 0 or the load list read's status (the images
// read before it stay listed).
uint32_t collectBootBiosList(int adapter, BootBiosList* out);
inline uint32_t bootBiosTotal(const BootBiosList& l) {
    return l.count + (l.eromAdded ? 1 : 0);
}

// Makes boot image `index` (0-based, over the whole list) the one the
// adapter starts. Returns 0, 39 (no such image: nothing written), 19 (the
// wakeup parameters cannot be read), 20 (cannot be written) or 14 (reset).
int32_t enableAdapterBootCode(int adapter, uint32_t index, bool reset);
