// MBX_SLI_CONFIG controller queries, subsystem 1: the boot code state
// (opCode 0x42, embedded in the mailbox) and COMMON_GET_CNTL_ADDL_ATTRIBUTES
// (opCode 0x79, not embedded: the sub-command travels in the host buffer
// behind the mailbox, described by one buffer descriptor).
//
// The boot code counts as enabled when the wakeup parameters (region 4) name
// a boot BIOS (bytes 12-15 not zero), which is what the boot commands change.
// The four version texts of the additional attributes (universal, x86, EFI
// and FCode BIOS) are the adapter's bios_version.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint8_t kOpBootConfig = 0x42;
constexpr uint8_t kOpCntlAddlAttributes = 0x79;
constexpr uint32_t kBootStateByte = 16;
constexpr uint32_t kWakeupRegion = 4;
constexpr uint32_t kBootBiosOffset = 12;
constexpr uint32_t kDescriptorWord = 8;
constexpr uint32_t kDescriptorLengthMask = 0x00FFFFFF;
constexpr uint32_t kDescriptorCountShift = 3;
constexpr uint32_t kDescriptorCountMask = 0x1F;
constexpr uint32_t kHeaderBytes = 16;
constexpr uint32_t kTextSize = 32;
constexpr uint32_t kTextOffsets[] = {404, 436, 468, 500};
constexpr uint32_t kAttributesLength = 532; // through the last text

void answer(uint8_t* sub, uint32_t responseLength) {
    sub[SUB_STATUS] = 0;
    sub[SUB_ADDL_STATUS] = 0;
    fw_wr32(sub + SUB_RESPONSE_LENGTH, responseLength);
    fw_wr32(sub + SUB_ACTUAL_LENGTH, responseLength);
}

bool bootCodeEnabled(const Adapter& a, const Function& f) {
    Bytes wakeup;
    if (!fw_region_data(a, f, kWakeupRegion, &wakeup) || wakeup.size() < kBootBiosOffset + 4)
        return false;
    return fw_rd32(wakeup.data() + kBootBiosOffset) != 0;
}

void bootConfig(const Adapter& a, Function& f, MboxCall& c) {
    if (fw_begin(f, c, "GET_BOOT_CONFIG", "")) return;
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    answer(sub, 4);
    sub[kBootStateByte] = bootCodeEnabled(a, f) ? 1 : 0;
}

void cntlAddlAttributes(const Adapter& a, Function& f, MboxCall& c) {
    uint32_t descriptors = (c.mb[1] >> kDescriptorCountShift) & kDescriptorCountMask;
    uint32_t length = c.mb[kDescriptorWord] & kDescriptorLengthMask;
    char detail[64];
    snprintf(detail, sizeof detail, "len=%u", length);
    if (fw_begin(f, c, "GET_CNTL_ADDL_ATTRIBUTES", detail)) return;
    uint8_t* sub = c.data;
    if (descriptors != 1 || length < kAttributesLength || length > c.dataLen ||
        sub[SUB_SUBSYSTEM] != SLI_SUBSYSTEM_COMMON) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return;
    }
    std::string version = a.attrs.get("bios_version");
    for (uint32_t offset : kTextOffsets) {
        memset(sub + offset, 0, kTextSize);
        memcpy(sub + offset, version.data(), std::min<size_t>(version.size(), kTextSize));
    }
    answer(sub, length - kHeaderBytes);
    c.dataOut = length;
}

} // namespace

// Answers the two controller queries; false when the request is neither (the
// caller then handles it).
bool fw_sli_config_cntl(Adapter& a, Function& f, MboxCall& c) {
    if (c.mb[1] & SLI_CONFIG_EMBEDDED) {
        const uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
        if (sub[SUB_OPCODE] != kOpBootConfig || sub[SUB_SUBSYSTEM] != SLI_SUBSYSTEM_COMMON)
            return false;
        bootConfig(a, f, c);
        return true;
    }
    if (c.data == nullptr || c.dataLen < kHeaderBytes ||
        c.data[SUB_OPCODE] != kOpCntlAddlAttributes)
        return false;
    cntlAddlAttributes(a, f, c);
    return true;
}

} // namespace hbasim
