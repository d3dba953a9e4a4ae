// Issue paths of the FC mailbox layer and the embedded MBX_SLI_CONFIG header.
#include "hbaset/fcmaint/mailbox.h"

#include "hbaset/cli/adapter_table.h"
#include "libtgx/libtgx.h"

MboxLastFailure g_mboxLastFailure = {0, 0};

void mboxRecordFailure(const MboxBuf& mb) {
    g_mboxLastFailure.command = mboxCommand(mb);
    g_mboxLastFailure.status = mboxStatus(mb);
}

namespace {

constexpr uint32_t kClassicRetry = 2;
constexpr uint32_t kSli4Retry = 1;
constexpr uint32_t kNvRetry = 3;
constexpr uint32_t kDelayMs = 100;

// A failed call yields the adapter's status when it set one, else the
// library's own status: both are non-zero.
uint32_t issueResult(uint32_t tgxStatus, const MboxBuf& mb) {
    if (tgxStatus == 0) return 0;
    uint32_t status = mboxStatus(mb);
    return status != 0 ? status : tgxStatus;
}

} // namespace

uint32_t IssueMbox4(int adapter, MboxBuf* mb) {
    uint32_t st = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), mb->w, MBOX_SLI4_WORDS,
                                           kSli4Retry, kDelayMs);
    return issueResult(st, *mb);
}

uint32_t IssueMbox1(int adapter, MboxBuf* mb) {
    if (isSli4(adapter)) return IssueMbox4(adapter, mb);
    uint32_t st = TGX_IssueMboxWithRetry(static_cast<uint32_t>(adapter), mb->w, MBOX_CLASSIC_WORDS,
                                         MBOX_CLASSIC_WORDS, kClassicRetry, kDelayMs);
    return issueResult(st, *mb);
}

uint32_t IssueNvMbox(int adapter, MboxBuf* mb) {
    uint32_t board = static_cast<uint32_t>(adapter);
    if (isBrevinFc(adapter) || isBrevinCna(adapter))
        return TGX_IssueMboxWithRetryV2(board, mb->w, MBOX_SLI4_WORDS, kNvRetry, kDelayMs);
    return TGX_IssueMboxWithRetry(board, mb->w, MBOX_CLASSIC_WORDS, 128, kNvRetry, kDelayMs);
}

void sliConfigInit(uint8_t* buf, uint8_t opCode, uint32_t requestLength) {
    putLe32(buf, static_cast<uint32_t>(MBX_SLI_CONFIG) << 8);
    putLe32(buf + 4, SLI_CONFIG_EMBEDDED);
    putLe32(buf + 8, SLI_CONFIG_PAYLOAD_LENGTH);
    uint8_t* sub = sliSub(buf);
    sub[SUB_OPCODE] = opCode;
    sub[SUB_SUBSYSTEM] = SLI_SUBSYSTEM_COMMON;
    putLe32(sub + SUB_TIMEOUT, 0);
    putLe32(sub + SUB_REQUEST_LENGTH, requestLength);
    sub[SUB_VERSION] = 0;
}

SliResponse sliConfigResponse(const uint8_t* buf) {
    const uint8_t* sub = sliSub(buf);
    SliResponse r;
    r.status = sub[SUB_STATUS];
    r.additionalStatus = sub[SUB_ADDL_STATUS];
    r.responseLength = le32(sub + SUB_RESPONSE_LENGTH);
    r.actualLength = le32(sub + SUB_ACTUAL_LENGTH);
    return r;
}
