// Config region writes: MBX_UPDATE_CFG (type 1 writes a region header and so
// validates the region, type 2 writes its data, type 3 commits) and
// MBX_LOAD_SM, a small flash write; clearing the first word of a region's slot
// invalidates the region until a new header is written.
//
// A data write needs a valid header of the same length; otherwise it fails
// with status 1 and words 3 and 5 = 0xFFFFFFF5 (re-initialise the region).
// Data travels beside the mailbox when word 1 bit 5 is set, else from word 5.
#include <cstdio>
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {
constexpr uint32_t kWakeupRegion = 4; // its write is the switch to newly loaded images
}

namespace {

std::string detail(uint32_t type, uint32_t region, uint32_t length) {
    char text[64];
    if (type == UPDATE_CFG_COMMIT)
        snprintf(text, sizeof text, "type=3");
    else
        snprintf(text, sizeof text, "type=%u region=%u len=%u", type, region, length);
    return text;
}

void refuse_reinit(MboxCall& c) {
    mbox_set_status(c, MBXS_ERROR);
    c.mb[3] = UPDATE_CFG_REINIT_WORD;
    c.mb[5] = UPDATE_CFG_REINIT_WORD;
}

} // namespace

bool mbx_update_cfg(Adapter& a, Function& f, MboxCall& c) {
    uint32_t type = c.mb[1] & 0xF;
    uint32_t region = c.mb[2] & 0xFFFF;
    uint32_t length = c.mb[4];
    if (fw_begin(f, c, "UPDATE_CFG", detail(type, region, length))) return false;

    if (type == UPDATE_CFG_COMMIT) return false;
    if (type == UPDATE_CFG_HEADER) {
        if (length > 4096) {
            mbox_set_status(c, SIM_MBXST_BAD_PARAM);
            return false;
        }
        fw_set_region_state(f, region, REGION_VALID);
        fw_store_region(f, region, Bytes(length, 0));
        f.attrs.set_u("region" + std::to_string(region) + "_len", length);
        return true;
    }
    if (type != UPDATE_CFG_DATA) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }

    // The FCoE region of an FCoE function takes a whole image without a header.
    if (region == TGX_FCOE_REGION && f.kind == "fcoe" && (c.mb[1] & MBX_FLAG_BIT5) &&
        length <= TGX_FCOE_REGION_BYTES && c.data != nullptr && c.dataLen >= length) {
        fw_set_region_state(f, region, REGION_VALID);
        fw_store_region(f, region, Bytes(c.data, c.data + length));
        return true;
    }
    Bytes current;
    bool known = fw_region_data(a, f, region, &current);
    RegionState state = fw_region_state(f, region);
    uint32_t header = known ? fw_region_header(f, region, (uint32_t)current.size()) : 0;
    if (!known || state == REGION_INVALID || state == REGION_UNINIT || length != header) {
        refuse_reinit(c);
        return false;
    }
    const uint8_t* src;
    if (c.mb[1] & MBX_FLAG_BIT5) {
        if (c.data == nullptr || c.dataLen < length) {
            mbox_set_status(c, SIM_MBXST_BAD_PARAM);
            return false;
        }
        src = c.data;
    } else {
        if (fw_mailbox_data_room(c) < length) {
            mbox_set_status(c, SIM_MBXST_BAD_PARAM);
            return false;
        }
        src = fw_bytes(c) + 20;
    }
    fw_store_region(f, region, Bytes(src, src + length));
    if (region == kWakeupRegion) fw_switch_pending_images(f);
    return true;
}

bool mbx_load_sm(Adapter&, Function& f, MboxCall& c) {
    char text[64];
    snprintf(text, sizeof text, "key=0x%08X addr=0x%X data=0x%08X", c.mb[1], c.mb[2], c.mb[5]);
    if (fw_begin(f, c, "LOAD_SM", text)) return false;
    if ((c.mb[1] != LOAD_SM_REGION_KEY && c.mb[1] != LOAD_SM_NV_KEY) || c.mb[3] != 4) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    uint32_t base = fw_region_base(f);
    uint32_t address = c.mb[2];
    if (base == 0 || address < base || (address - base) % FLASH_REGION_SLOT != 0 || c.mb[5] != 0)
        return false; // a flash word outside the region headers: nothing modelled
    uint32_t region = (address - base) / FLASH_REGION_SLOT;
    fw_set_region_state(f, region, REGION_INVALID);
    f.blobs.erase("region" + std::to_string(region));
    f.attrs.erase("region" + std::to_string(region) + "_len");
    return true;
}

} // namespace hbasim
