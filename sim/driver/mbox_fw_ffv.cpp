// MBX_SLI_CONFIG, subsystem 0x13 opCode 2 (embedded): the adapter's FFV text.
// A read returns the text (zero-filled to 32 bytes) and its length; an
// adapter without one (empty "ffv_name") refuses the read in the response
// status only, the mailbox itself completing. A write takes 1-32 characters
// and keeps them as the adapter's "ffv_name", so every function of the
// adapter (and NEXA's FFVName of a converged adapter) shows the new text, in
// every later process.
//
// Journal names: "FFV_READ" and "FFV_WRITE" (an injected "status=N" answers
// the request with that mailbox status).
#include <cstdio>
#include <cstring>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint8_t kStatusInvalidLength = 0x02;
constexpr uint32_t kLengthMask = 0xFF;

void answer(uint8_t* sub, uint8_t status, uint8_t additional) {
    sub[SUB_STATUS] = status;
    sub[SUB_ADDL_STATUS] = additional;
    fw_wr32(sub + SUB_RESPONSE_LENGTH, FFV_REQUEST_LENGTH);
    fw_wr32(sub + SUB_ACTUAL_LENGTH, FFV_REQUEST_LENGTH);
}

void readFfv(const Adapter& a, uint8_t* sub) {
    std::string text = a.attrs.get("ffv_name");
    if (text.empty()) {
        answer(sub, SLI_STATUS_FAILED, SLI_ADDL_NO_OBJECT);
        return;
    }
    size_t n = text.size() < SUB_FFV_TEXT_SIZE ? text.size() : SUB_FFV_TEXT_SIZE;
    memset(sub + SUB_FFV_CONTROL, 0, 4 + SUB_FFV_TEXT_SIZE);
    memcpy(sub + SUB_FFV_TEXT, text.data(), n);
    sub[SUB_FFV_LENGTH_RSP] = static_cast<uint8_t>(n);
    answer(sub, 0, 0);
}

bool writeFfv(Adapter& a, MboxCall& c, uint8_t* sub, uint32_t length) {
    const char* field = reinterpret_cast<const char*>(sub + SUB_FFV_TEXT);
    if (length == 0 || length > SUB_FFV_TEXT_SIZE || strnlen(field, length) != length) {
        answer(sub, SLI_STATUS_FAILED, kStatusInvalidLength);
        mbox_set_status(c, MBXS_ERROR);
        return false;
    }
    a.attrs.set("ffv_name", std::string(field, length));
    sub[SUB_FFV_LENGTH_RSP] = static_cast<uint8_t>(length);
    answer(sub, 0, 0);
    return true;
}

} // namespace

bool fw_sli_config_ffv(Adapter& a, Function& f, MboxCall& c, bool* changed) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    if (!(c.mb[1] & SLI_CONFIG_EMBEDDED) || sub[SUB_SUBSYSTEM] != SLI_SUBSYSTEM_FFV ||
        sub[SUB_OPCODE] != SLI_OP_FFV)
        return false;
    uint32_t control = fw_rd32(sub + SUB_FFV_CONTROL);
    bool write = (control & FFV_OP_WRITE) != 0;
    uint32_t length = (control >> FFV_LENGTH_SHIFT) & kLengthMask;
    char detail[32];
    snprintf(detail, sizeof detail, "len=%u", length);
    if (fw_begin(f, c, write ? "FFV_WRITE" : "FFV_READ", detail)) return true;
    if (write)
        *changed = writeFfv(a, c, sub, length);
    else
        readFfv(a, sub);
    return true;
}

} // namespace hbasim
