// Mailbox transport: the plain, data-buffer and V2 forms. The caller builds the
// mailbox; each form says how its request is built and how a good reply goes
// back, and one loop (send_with_retry) moves it to the driver, retries as the
// returned status asks and maps the outcome to a status.
#include <cstdio>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the mailbox exports (see libtgx.h); V2 ReturnCodes come back as
// themselves (kV2RcTable).
constexpr uint32_t kStsMboxError = 2;    // the adapter answered with a non-zero status
constexpr uint32_t kStsMboxOverheat = 3; // plain form: over temperature
constexpr uint32_t kStsMboxShort = 4;    // V2: mailbox below 64 words
constexpr uint32_t kStsMboxTooLarge = 5; // V2 extended: extension or transfer too large

// Commands that travel with an extension area on the V2 form even at 64 words.
const uint8_t kV2ExtCommands[] = {0x11, 0x84, 0x1B, 0x17, 0x8D, 0x93, 0x9F};

bool is_v2_ext_command(uint8_t cmd) {
    for (uint8_t c : kV2ExtCommands)
        if (c == cmd) return true;
    return false;
}

uint8_t* mb_bytes(uint32_t* mailbox) {
    return reinterpret_cast<uint8_t*>(mailbox);
}
uint32_t mb_word(const uint8_t* mb, uint32_t i) {
    return tgx_rd32(mb + 4 * i);
}
uint8_t mb_cmd(const uint8_t* mb) {
    return mb[1];
}
uint16_t mb_status(const uint8_t* mb) {
    return tgx_rd16(mb + 2);
}
void mb_set_status(uint8_t* mb, uint16_t st) {
    mb[2] = (uint8_t)st;
    mb[3] = (uint8_t)(st >> 8);
}
// A host address carried in two mailbox words (low word first).
uint8_t* mb_addr(const uint8_t* mb, uint32_t lowWord) {
    uint64_t a = (uint64_t)mb_word(mb, lowWord) | ((uint64_t)mb_word(mb, lowWord + 1) << 32);
    return reinterpret_cast<uint8_t*>((uintptr_t)a);
}

uint32_t attempts_of(uint32_t retry) {
    return retry == 0 ? 1 : retry;
}

bool v2_stop_status(uint16_t st) {
    return st == TGX_MBXST_TEMP_OVERHEAT || st == TGX_MBXST_STOP_252 || st == TGX_MBXST_STOP_254;
}

// Logs the count and the first bytes received (at most 8, never beyond them).
void trace_event_log(uint32_t got, const uint8_t* data) {
    char bytes[8 * 3 + 1] = "";
    size_t used = 0;
    for (uint32_t i = 0; i < got && i < 8; ++i)
        used += (size_t)snprintf(bytes + used, sizeof bytes - used, i ? " %x" : "%x", data[i]);
    TraceLog("TGX_IssueMboxWithRetry: MBX_READ_EVENT_LOG rcvCnt=%x data=%s\n", got, bytes);
}

// V2 ReturnCodes; the status is the ReturnCode itself.
struct V2RcRow {
    uint32_t rc;
    const char* text;
    bool retry;
};
const V2RcRow kV2RcTable[] = {
    {TGX_V2RC_NOT_SUPPORTED, "Sli4MbxIoStatusError: Cmd not supported by the driver\n", false},
    {TGX_V2RC_INVALID_MBLEN, "Sli4MbxIoStatusError: Invalid mbLen\n", false},
    {TGX_V2RC_NO_RESOURCE, "Sli4MbxIoStatusError: No resource\n", false},
    {TGX_V2RC_BUSY, "Sli4MbxIoStatusError: Busy\n", true},
    {TGX_V2RC_NO_RESOURCE_5, "Sli4MbxIoStatusError: No resource\n", false},
    {TGX_V2RC_MULTI_DESC, "Sli4MbxIoStatusError: multiple desc not supported\n", false},
};

// One mailbox call on its way through the loop: the caller's mailbox, the
// envelope it travels in, and what its form worked out from the arguments.
struct MboxCall {
    uint32_t board;
    uint8_t* mb; // the caller's mailbox
    uint8_t cmd;
    uint32_t delay;
    uint32_t left = 0; // attempts allowed after the current one
    TgxEnvelope env;
    uint8_t* reply = nullptr; // the mailbox inside the envelope
    // Plain form.
    uint32_t inWords = 0;
    uint32_t n = 0;      // 0x84: bytes each way
    uint32_t wanted = 0; // event log: bytes wanted
    uint8_t* xmt = nullptr;
    uint8_t* rcv = nullptr;
    // Data-buffer form (inWords too).
    uint8_t* data = nullptr;
    uint8_t mbOffset = 0;
    uint32_t outWords = 0;
    // V2 extended form (xmt and rcv too).
    uint32_t ext = 0;         // extension bytes
    uint32_t callerBytes = 0; // bytes taken from the caller's mailbox and given back
};

MboxCall make_call(uint32_t board, uint32_t* mailbox, uint32_t delay) {
    MboxCall c;
    c.board = board;
    c.mb = mb_bytes(mailbox);
    c.cmd = c.mb ? mb_cmd(c.mb) : 0;
    c.delay = delay;
    return c;
}

// What the loop reports to a form's trace.
enum class MboxEvent {
    SendFailed,   // a = last error
    Answered,     // a = ReturnCode, b = mailbox status
    Overheat,     // a = mailbox status
    ReturnCode,   // a = status, b = ReturnCode
    MailboxError, // a = mailbox status
    Delivered,    // the reply reached the caller: success
    GaveUp,       // a = status
};

// How one mailbox form travels: the rules the loop applies to it, and the
// parts that build its request, hand a good reply back and trace.
// Rules left out of a form's row are off.
struct MboxForm {
    bool failedCallEnds = false;  // a failed device call ends with 1 (else it uses an attempt)
    bool readsReturnCode = false; // a non-zero ReturnCode goes through kV2RcTable
    bool busyWaits = false;       // a busy status waits the delay before the next attempt
    bool overheatEnds = false;    // over temperature ends with 3, the caller's mailbox untouched
    bool stopStatusesEnd = false; // statuses 250, 252 and 254 end the attempts
    bool replyOnError = false;    // after the last attempt the reply goes back as on success
    void (*fill)(MboxCall& c) = nullptr;
    void (*deliver)(MboxCall& c) = nullptr; // the reply to the caller
    void (*refused)(MboxCall& c) = nullptr; // a non-zero status; may be null
    void (*trace)(const MboxCall& c, MboxEvent ev, uint32_t a, uint32_t b) = nullptr;
};

// Maps a V2 ReturnCode to a status; sets *attemptsLeft to 0 when no further
// attempt may follow and sleeps the delay when one does.
uint32_t map_v2_rc(uint32_t returnCode, uint32_t* attemptsLeft, uint32_t delay) {
    for (const V2RcRow& row : kV2RcTable) {
        if (row.rc != returnCode) continue;
        TraceLog("%s", row.text);
        if (!row.retry)
            *attemptsLeft = 0;
        else if (*attemptsLeft > 0)
            plat_sleep_ms(delay);
        return row.rc;
    }
    // "%.2x" prints exactly what a zero-padded two-digit field would.
    TraceLog("Sli4MbxIoStatusError: unknown error code %.2xh\n", returnCode & 0xFF);
    *attemptsLeft = 0;
    return kStsFailed;
}

// The one retry loop of every mailbox form. The envelope and the reply
// pointer are set up by the caller.
uint32_t send_with_retry(const MboxForm& form, MboxCall& c, uint32_t retry) {
    PlatHandle h = tgx_entry(c.board)->handle;
    uint32_t status = kStsMboxError;
    for (c.left = attempts_of(retry); c.left > 0;) {
        --c.left;
        form.fill(c);
        if (!tgx_env_send(h, c.env)) {
            form.trace(c, MboxEvent::SendFailed, plat_last_error(), 0);
            if (form.failedCallEnds) return kStsFailed;
            continue;
        }
        const uint32_t rc = tgx_env_rc(c.env);
        const uint16_t st = mb_status(c.reply);
        form.trace(c, MboxEvent::Answered, rc, st);
        if (form.overheatEnds && st == TGX_MBXST_TEMP_OVERHEAT) {
            form.trace(c, MboxEvent::Overheat, st, 0);
            return kStsMboxOverheat;
        }
        if (form.readsReturnCode && rc != 0) {
            mb_set_status(c.mb, st);
            status = map_v2_rc(rc, &c.left, c.delay);
            form.trace(c, MboxEvent::ReturnCode, status, rc);
            continue;
        }
        if (st == 0) {
            form.deliver(c);
            form.trace(c, MboxEvent::Delivered, 0, 0);
            return kStsOk;
        }
        status = kStsMboxError;
        if (form.refused) form.refused(c);
        if (form.busyWaits && st == TGX_MBXST_BUSY && c.left > 0) plat_sleep_ms(c.delay);
        mb_set_status(c.mb, st);
        form.trace(c, MboxEvent::MailboxError, st, 0);
        if (form.stopStatusesEnd && v2_stop_status(st)) c.left = 0;
    }
    if (form.replyOnError) form.deliver(c);
    form.trace(c, MboxEvent::GaveUp, status, 0);
    return status;
}

// ---- plain form: mailbox, 0x84 transfer data or the event log ----

void plain_fill(MboxCall& c) {
    uint8_t* p = c.env.payload();
    memcpy(p + TGX_MB_OFF_MAILBOX, c.mb, TGX_MBOX_BYTES);
    if (c.cmd == TGX_MBX_BIU_DIAG) {
        tgx_wr32(p + TGX_MB_OFF_DATALEN, c.n);
        if (c.n) memcpy(p + TGX_MB_OFF_DATA, c.xmt, c.n);
    } else if (c.cmd == TGX_MBX_READ_EVENT_LOG_HOST) {
        tgx_wr32(p + TGX_MB_OFF_DATALEN, c.wanted);
    } else {
        tgx_wr32(p + TGX_MB_OFF_INWORDS, c.inWords);
    }
}

void plain_deliver(MboxCall& c) {
    const uint8_t* p = c.env.payload();
    if (c.cmd == TGX_MBX_BIU_DIAG) {
        if (c.n) memcpy(c.rcv, p + TGX_MB_OFF_DATA + c.n, c.n);
    } else if (c.cmd == TGX_MBX_READ_EVENT_LOG_HOST) {
        uint32_t got = tgx_rd32(p + TGX_MB_OFF_DATALEN);
        if (got > c.wanted) got = c.wanted;
        if (got) memcpy(c.rcv, p + TGX_MB_OFF_DATA, got);
        trace_event_log(got, p + TGX_MB_OFF_DATA);
    } else {
        memcpy(c.mb, p + TGX_MB_OFF_MAILBOX, TGX_MBOX_BYTES);
    }
}

void plain_trace(const MboxCall& c, MboxEvent ev, uint32_t a, uint32_t) {
    const uint8_t* mb = c.mb;
    switch (ev) {
    case MboxEvent::SendFailed:
        TraceLog("TGX_IssueMboxWithRetry: IOCTL_ZT4100_ISSUEMB : DeviceIoControl failed. "
                 "GetLastError = 0x%08X \n",
                 a);
        break;
    case MboxEvent::Answered:
        if (c.cmd == TGX_MBX_BIU_DIAG)
            TraceLog("TGX_IssueMboxWithRetry: io returnCode=%x xmtbde_addrhigh=0x%08x "
                     "xmtbde_addrlow=0x%08x rcvbde_addrhigh=0x%08x rcvbde_addrlow=0x%08x\n",
                     a, mb_word(mb, 4), mb_word(mb, 3), mb_word(mb, 7), mb_word(mb, 6));
        else
            TraceLog("TGX_IssueMboxWithRetry: io returnCode=%x \n", a);
        break;
    case MboxEvent::Overheat:
        TraceLog("TGX_IssueMboxWithRetry: MBX_TEMP_OVERHEAT staus=%x mbCmd=0x%x\n", a, c.cmd);
        break;
    case MboxEvent::MailboxError:
        TraceLog("IOCTL_ZT4100_ISSUEMB Error=0x%x RetryCnt=0x%x mbCmd=0x%x\n", a, c.left, c.cmd);
        break;
    case MboxEvent::Delivered:
        TraceLog("TGX_IssueMboxWithRetry: exit OK\n");
        break;
    case MboxEvent::GaveUp:
        TraceLog("TGX_IssueMboxWithRetry exit with error\n");
        break;
    case MboxEvent::ReturnCode:
        break;
    }
}

const MboxForm kPlainForm = {
    .failedCallEnds = true,
    .busyWaits = true,
    .overheatEnds = true,
    .fill = plain_fill,
    .deliver = plain_deliver,
    .trace = plain_trace,
};

// Works out the envelope of a plain-form call; false when the mailbox asks
// for a transfer the form cannot make.
bool plain_prepare(MboxCall& c, uint32_t* size, uint32_t* code) {
    *size = TGX_SIZE_ISSUEMB;
    *code = TGX_IOCTL_ISSUEMB;
    if (c.cmd == TGX_MBX_BIU_DIAG) {
        uint32_t t = mb_word(c.mb, 2) & 0xFFFFFF;
        uint32_t r = mb_word(c.mb, 5) & 0xFFFFFF;
        if (t > TGX_MBOX_MAX_BDE || r > TGX_MBOX_MAX_BDE) {
            TraceLog("TGX_IssueMboxWithRetry - Invalid BDE cnt 0x%x 0x%x\n", t, r);
            return false;
        }
        c.n = t < r ? t : r;
        c.xmt = mb_addr(c.mb, 3);
        c.rcv = mb_addr(c.mb, 6);
        if (c.n != 0 && (c.xmt == nullptr || c.rcv == nullptr)) return false;
        *size = TGX_SIZE_ISSUEMB_XMTRCV_BASE + 2 * c.n;
        *code = TGX_IOCTL_ISSUEMB_XMTRCV;
    } else if (c.cmd == TGX_MBX_READ_EVENT_LOG_HOST) {
        c.wanted = mb_word(c.mb, 3) & 0xFFFFFF;
        c.rcv = mb_addr(c.mb, 4);
        if (c.wanted != 0 && c.rcv == nullptr) return false;
        *size = c.wanted + TGX_SIZE_ISSUEMB_EVENTLOG_BASE;
        *code = TGX_IOCTL_ISSUEMB_EVENTLOG;
        TraceLog("TGX_IssueMboxWithRetry: MBX_READ_EVENT_LOG - size=%x %x\n", c.wanted, *size);
    }
    return true;
}

// ---- data-buffer form ----

void ex_fill(MboxCall& c) {
    uint8_t* p = c.env.payload();
    memset(p, 0, c.env.size - TGX_ENV_HEADER_LENGTH);
    p[TGX_MBEX_OFF_MBOFFSET] = c.mbOffset;
    tgx_wr32(p + TGX_MBEX_OFF_INWORDS, c.inWords);
    tgx_wr32(p + TGX_MBEX_OFF_OUTWORDS, c.outWords);
    memcpy(p + TGX_MBEX_OFF_MAILBOX, c.mb, TGX_MBOX_BYTES);
    if (c.data && c.inWords) memcpy(p + TGX_MBEX_OFF_DATA, c.data, c.inWords * 4);
}

void ex_deliver(MboxCall& c) {
    const uint8_t* p = c.env.payload();
    memcpy(c.mb, c.reply, TGX_MBOX_BYTES);
    uint32_t got = tgx_rd32(p + TGX_MBEX_OFF_OUTWORDS);
    if (got > TGX_MBOX_EX_MAX_WORDS) got = TGX_MBOX_EX_MAX_WORDS;
    TraceLog("TGX_IssueMboxWithRetryEx: OK Request ioInLen=%d ioOutLen=%d\n",
             tgx_rd32(p + TGX_MBEX_OFF_INWORDS), got);
    uint32_t words = c.outWords < got ? c.outWords : got;
    if (c.data && words) memcpy(c.data, p + TGX_MBEX_OFF_DATA, words * 4);
    // The dump's own first newline ends this line.
    TraceLog(" Data rcv: ");
    TraceDump(p + TGX_MBEX_OFF_DATA, words * 4 < 16 ? words * 4 : 16);
}

// A refused configuration update is final: its answer word 3 tells why.
void ex_refused(MboxCall& c) {
    if (mb_cmd(c.reply) != TGX_MBX_UPDATE_CFG) return;
    c.left = 0;
    tgx_wr32(c.mb + 12, mb_word(c.reply, 3));
}

void ex_trace(const MboxCall& c, MboxEvent ev, uint32_t a, uint32_t) {
    switch (ev) {
    case MboxEvent::SendFailed:
        TraceLog("TGX_IssueMboxWithRetryEx: IOCTL_ZT4100_ISSUEMB Failed Error=0x%x "
                 "RetryCount=0x%x mbCmd=0x%x\n",
                 a, c.left, c.cmd);
        break;
    case MboxEvent::MailboxError:
        TraceLog("IOCTL_ZT4100_ISSUEMB MailBox Error=0x%x RetryCnt=0x%x mbCmd=0x%x\n", a, c.left,
                 c.cmd);
        break;
    case MboxEvent::Delivered:
        TraceLog("TGX_IssueMboxWithRetryEx: exit OK\n");
        break;
    case MboxEvent::GaveUp:
        TraceLog("TGX_IssueMboxWithRetryEx exit with error\n");
        break;
    case MboxEvent::Answered:
    case MboxEvent::Overheat:
    case MboxEvent::ReturnCode:
        break;
    }
}

const MboxForm kExForm = {
    .busyWaits = true,
    .fill = ex_fill,
    .deliver = ex_deliver,
    .refused = ex_refused,
    .trace = ex_trace,
};

// ---- V2 form: the mailbox alone ----

void v2_fill(MboxCall& c) {
    uint8_t* p = c.env.payload();
    tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
    tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, 0);
    memcpy(c.reply, c.mb, TGX_MBOX_BYTES);
}

void v2_deliver(MboxCall& c) {
    memcpy(c.mb, c.reply, TGX_MBOX_BYTES);
}

void v2_trace(const MboxCall& c, MboxEvent ev, uint32_t a, uint32_t b) {
    switch (ev) {
    case MboxEvent::SendFailed:
        TraceLog("TGX_IssueMboxWithRetryV2: DeviceIoControl failed. GetLastError = 0x%08X \n", a);
        break;
    case MboxEvent::Answered:
        TraceLog("TGX_IssueMboxWithRetryV2: io returnCode=%x mbxStatus=%x\n", a, b);
        break;
    case MboxEvent::ReturnCode:
        TraceLog("TGX_IssueMboxWithRetryV2: Ioctl error: Status=0x%x, ReturnCode=0x%x, "
                 "RetryCnt=0x%x mbCmd=0x%x\n",
                 a, b, c.left, c.cmd);
        break;
    case MboxEvent::MailboxError:
        TraceLog("TGX_IssueMboxWithRetryV2: MB Status=0x%x RetryCnt=0x%x mbCmd=0x%x\n", a, c.left,
                 c.cmd);
        break;
    case MboxEvent::Delivered:
        TraceLog("TGX_IssueMboxWithRetryV2: exit OK\n");
        break;
    case MboxEvent::GaveUp:
        TraceLog("TGX_IssueMboxWithRetryV2 exit with error %x mbxStatus=%x\n", a, mb_status(c.mb));
        break;
    case MboxEvent::Overheat:
        break;
    }
}

// ---- V2 form with an extension area ----

void v2ext_fill(MboxCall& c) {
    uint8_t* p = c.env.payload();
    memset(p, 0, c.env.size - TGX_ENV_HEADER_LENGTH);
    tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
    tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, c.ext);
    memcpy(c.reply, c.mb, c.callerBytes);
    if (c.cmd == TGX_MBX_BIU_DIAG && c.ext) memcpy(p + TGX_MBV2_OFF_EXT, c.xmt, c.ext);
}

void v2ext_deliver(MboxCall& c) {
    if (c.cmd == TGX_MBX_BIU_DIAG && c.ext)
        memcpy(c.rcv, c.env.payload() + TGX_MBV2_OFF_EXT, c.ext);
    memcpy(c.mb, c.reply, c.callerBytes);
}

void v2ext_trace(const MboxCall& c, MboxEvent ev, uint32_t a, uint32_t b) {
    const uint8_t* mb = c.mb;
    switch (ev) {
    case MboxEvent::SendFailed:
        TraceLog("IssueMBoxWithRetryV2Extended: DeviceIoControl failed. GetLastError = "
                 "0x%08X \n",
                 a);
        break;
    case MboxEvent::Answered:
        if (c.cmd == TGX_MBX_BIU_DIAG)
            TraceLog("IssueMBoxWithRetryV2Extended: io returnCode=%x mbxStatus=%x "
                     "xmtbuffer_size=%08x xmtbde_addrhigh=0x%08x xmtbde_addrlow=0x%08x "
                     "rcvbuffer_size=%08x rcvbde_addrhigh=0x%08x rcvbde_addrlow=0x%08x\n",
                     a, b, mb_word(mb, 2) & 0xFFFFFF, mb_word(mb, 4), mb_word(mb, 3),
                     mb_word(mb, 5) & 0xFFFFFF, mb_word(mb, 7), mb_word(mb, 6));
        else
            TraceLog("IssueMBoxWithRetryV2Extended: io returnCode=%x mbxStatus=%x\n", a, b);
        break;
    case MboxEvent::ReturnCode:
        TraceLog("IssueMBoxWithRetryV2Extended: Ioctl error: Status=0x%x, ReturnCode=0x%x, "
                 "RetryCnt=0x%x mbCmd=0x%x\n",
                 a, b, c.left, c.cmd);
        break;
    case MboxEvent::MailboxError:
        TraceLog("IssueMBoxWithRetryV2Extended: MB error: Status=0x%x RetryCnt=0x%x mbCmd=0x%x\n",
                 a, c.left, c.cmd);
        break;
    case MboxEvent::Delivered:
        TraceLog("IssueMBoxWithRetryV2Extended: exit OK\n");
        break;
    case MboxEvent::GaveUp:
        TraceLog("IssueMBoxWithRetryV2Extended exit with error %x mbxStatus=%x\n", a,
                 mb_status(mb));
        break;
    case MboxEvent::Overheat:
        break;
    }
}

const MboxForm kV2Form = {
    .failedCallEnds = true,
    .readsReturnCode = true,
    .stopStatusesEnd = true,
    .replyOnError = true,
    .fill = v2_fill,
    .deliver = v2_deliver,
    .trace = v2_trace,
};
const MboxForm kV2ExtForm = {
    .failedCallEnds = true,
    .readsReturnCode = true,
    .stopStatusesEnd = true,
    .replyOnError = true,
    .fill = v2ext_fill,
    .deliver = v2ext_deliver,
    .trace = v2ext_trace,
};

// Allocates the call's envelope and points at the mailbox inside it; false
// (logged as name's malloc failure) when memory is short.
bool make_envelope(MboxCall& c, uint32_t size, uint32_t code, uint32_t mailboxOff,
                   const char* name) {
    c.env = tgx_env_alloc(size, code, TGX_SIG_ZT);
    if (!c.env) {
        TraceLog("%s - malloc failed\n", name);
        return false;
    }
    c.reply = c.env.payload() + mailboxOff;
    return true;
}

} // namespace

uint32_t Sli4MbxIoStatusError(uint32_t returnCode, uint32_t* attemptsLeft, uint32_t delay) {
    return map_v2_rc(returnCode, attemptsLeft, delay);
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetry(uint32_t board, uint32_t* mailbox,
                                                      uint32_t inWords, uint32_t outWords,
                                                      uint32_t retry, uint32_t delay) {
    (void)outWords;
    MboxCall c = make_call(board, mailbox, delay);
    TraceLog("TGX_IssueMboxWithRetry: board=%x retry=%x mbCmd=0x%x\n", board, retry, c.cmd);
    if (!tgx_board_ok(board) || c.mb == nullptr) return kStsFailed;
    c.inWords = inWords;
    uint32_t size, code;
    if (!plain_prepare(c, &size, &code)) return kStsFailed;
    if (!make_envelope(c, size, code, TGX_MB_OFF_MAILBOX, "TGX_IssueMboxWithRetry"))
        return kStsFailed;
    return send_with_retry(kPlainForm, c, retry);
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetryEx(uint32_t board, uint32_t* mailbox,
                                                        void* data, uint8_t mbOffset,
                                                        uint32_t inLen, uint32_t outLen,
                                                        uint32_t retry, uint32_t delay) {
    MboxCall c = make_call(board, mailbox, delay);
    TraceLog("TGX_IssueMboxWithRetryEx board=%x mbOffset=%d inLen=%d outLen=%d retry=%d "
             "mbCmd=0x%x\n",
             board, mbOffset, inLen, outLen, retry, c.cmd);
    if (!tgx_board_ok(board) || c.mb == nullptr) return kStsFailed;
    c.inWords = inLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : inLen;
    c.outWords = outLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : outLen;
    c.data = static_cast<uint8_t*>(data);
    c.mbOffset = mbOffset;
    TraceLog("TGX_IssueMboxWithRetryEx: bufSize=%d\n", TGX_SIZE_ISSUEMB_EX);
    if (!make_envelope(c, TGX_SIZE_ISSUEMB_EX, TGX_IOCTL_ISSUEMB_EX, TGX_MBEX_OFF_MAILBOX,
                       "TGX_IssueMboxWithRetryEx"))
        return kStsFailed;
    return send_with_retry(kExForm, c, retry);
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetryV2(uint32_t board, uint32_t* mailbox,
                                                        uint32_t inWLen, uint32_t retry,
                                                        uint32_t delay) {
    MboxCall c = make_call(board, mailbox, delay);
    TraceLog("TGX_IssueMboxWithRetryV2: board=%x inWLen=%x retry=%x mbCmd=0x%x\n", board, inWLen,
             retry, c.cmd);
    if (!tgx_board_ok(board) || c.mb == nullptr) return kStsFailed;
    if (inWLen < TGX_MBOX_WORDS) {
        TraceLog("TGX_IssueMboxWithRetryV2: inWLen must be 64 words or bigger\n");
        return kStsMboxShort;
    }
    if (inWLen > TGX_MBOX_WORDS || is_v2_ext_command(c.cmd)) {
        if (tgx_entry(board)->drvInfo.featureList & TGX_FEATURE_MBOX_V2_EXT)
            return IssueMBoxWithRetryV2Extended(board, mailbox, inWLen, retry, delay);
        return kStsFailed;
    }
    if (!make_envelope(c, TGX_SIZE_ISSUEMB_V2_BASE, TGX_IOCTL_ISSUEMB_V2, TGX_MBV2_OFF_MAILBOX,
                       "TGX_IssueMboxWithRetryV2"))
        return kStsFailed;
    return send_with_retry(kV2Form, c, retry);
}

uint32_t IssueMBoxWithRetryV2Extended(uint32_t board, uint32_t* mailbox, uint32_t inWLen,
                                      uint32_t retry, uint32_t delay) {
    MboxCall c = make_call(board, mailbox, delay);
    // Sizes are checked before any arithmetic can wrap.
    const uint64_t byteLen = (uint64_t)inWLen * 4;
    if (byteLen < TGX_MBOX_BYTES) return kStsMboxShort;
    uint64_t ext = byteLen - TGX_MBOX_BYTES;
    bool raised = false;
    if (c.cmd == TGX_MBX_BIU_DIAG) {
        uint32_t t = mb_word(c.mb, 2) & 0xFFFFFF;
        uint32_t r = mb_word(c.mb, 5) & 0xFFFFFF;
        if (t > TGX_MBOX_MAX_BDE || r > TGX_MBOX_MAX_BDE) {
            TraceLog("IssueMBoxWithRetryV2Extended - Invalid BDE size, xmit = 0x%x rcv = 0x%x\n", t,
                     r);
            return kStsMboxTooLarge;
        }
        ext = t < r ? t : r;
        c.xmt = mb_addr(c.mb, 3);
        c.rcv = mb_addr(c.mb, 6);
        if (ext != 0 && (c.xmt == nullptr || c.rcv == nullptr)) return kStsFailed;
    } else {
        if (ext == 0 && is_v2_ext_command(c.cmd)) {
            ext = TGX_MBOX_MAX_EXT;
            raised = true;
        }
        if (ext > TGX_MBOX_MAX_EXT && c.cmd != TGX_MBX_SLI_CONFIG) {
            TraceLog("IssueMBoxWithRetryV2Extended - maximum extended size too large, is: %d sb "
                     "less than: %d\n",
                     (int)ext, (int)TGX_MBOX_MAX_EXT);
            return kStsMboxTooLarge;
        }
    }
    if (ext > 0xFFFFFFFFull - TGX_SIZE_ISSUEMB_V2_BASE) return kStsMboxTooLarge;
    c.ext = (uint32_t)ext;
    c.callerBytes = (c.cmd == TGX_MBX_BIU_DIAG || raised) ? TGX_MBOX_BYTES : (uint32_t)byteLen;
    if (!make_envelope(c, TGX_SIZE_ISSUEMB_V2_BASE + c.ext, TGX_IOCTL_ISSUEMB_V2,
                       TGX_MBV2_OFF_MAILBOX, "IssueMBoxWithRetryV2Extended"))
        return kStsFailed;
    return send_with_retry(kV2ExtForm, c, retry);
}
