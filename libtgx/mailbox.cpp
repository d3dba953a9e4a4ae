// Mailbox transport: the plain, data-buffer and V2 forms. The caller builds the
// mailbox; this file moves it to the driver, retries as the returned status
// asks, moves the data of the few commands that carry some, and maps the
// outcome to a status.
#include <cstdio>
#include <cstring>

#include "libtgx/tgx_internal.h"

namespace {

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

struct V2RcRow {
    uint32_t rc;
    const char* text;
    uint32_t status;
    bool retry;
};
const V2RcRow kV2RcTable[] = {
    {TGX_V2RC_NOT_SUPPORTED, "Sli4MbxIoStatusError: Cmd not supported by the driver\n", 1, false},
    {TGX_V2RC_INVALID_MBLEN, "Sli4MbxIoStatusError: Invalid mbLen\n", 2, false},
    {TGX_V2RC_NO_RESOURCE, "Sli4MbxIoStatusError: No resource\n", 3, false},
    {TGX_V2RC_BUSY, "Sli4MbxIoStatusError: Busy\n", 4, true},
    {TGX_V2RC_NO_RESOURCE_5, "Sli4MbxIoStatusError: No resource\n", 5, false},
    {TGX_V2RC_MULTI_DESC, "Sli4MbxIoStatusError: multiple desc not supported\n", 6, false},
};

} // namespace

uint32_t Sli4MbxIoStatusError(uint32_t returnCode, uint32_t* attemptsLeft, uint32_t delay) {
    for (const V2RcRow& row : kV2RcTable) {
        if (row.rc != returnCode) continue;
        TraceLog("%s", row.text);
        if (!row.retry)
            *attemptsLeft = 0;
        else if (*attemptsLeft > 0)
            plat_sleep_ms(delay);
        return row.status;
    }
    // "%.2x" prints exactly what a zero-padded two-digit field would.
    TraceLog("Sli4MbxIoStatusError: unknown error code %.2xh\n", returnCode & 0xFF);
    *attemptsLeft = 0;
    return 1;
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetry(uint32_t board, uint32_t* mailbox,
                                                      uint32_t inWords, uint32_t outWords,
                                                      uint32_t retry, uint32_t delay) {
    (void)outWords;
    uint8_t* mb = mb_bytes(mailbox);
    uint8_t cmd = mb ? mb_cmd(mb) : 0;
    TraceLog("TGX_IssueMboxWithRetry: board=%x retry=%x mbCmd=0x%x\n", board, retry, cmd);
    if (!tgx_board_ok(board) || mb == nullptr) return 1;

    uint32_t size = TGX_SIZE_ISSUEMB;
    uint32_t code = TGX_IOCTL_ISSUEMB;
    uint32_t n = 0;      // 0x84: bytes each way
    uint32_t wanted = 0; // 0x38: bytes wanted
    uint8_t* xmt = nullptr;
    uint8_t* rcv = nullptr;
    if (cmd == TGX_MBX_BIU_DIAG) {
        uint32_t t = mb_word(mb, 2) & 0xFFFFFF;
        uint32_t r = mb_word(mb, 5) & 0xFFFFFF;
        if (t > TGX_MBOX_MAX_BDE || r > TGX_MBOX_MAX_BDE) {
            TraceLog("TGX_IssueMboxWithRetry - Invalid BDE cnt 0x%x 0x%x\n", t, r);
            return 1;
        }
        n = t < r ? t : r;
        xmt = mb_addr(mb, 3);
        rcv = mb_addr(mb, 6);
        if (n != 0 && (xmt == nullptr || rcv == nullptr)) return 1;
        size = TGX_SIZE_ISSUEMB_XMTRCV_BASE + 2 * n;
        code = TGX_IOCTL_ISSUEMB_XMTRCV;
    } else if (cmd == TGX_MBX_READ_EVENT_LOG) {
        wanted = mb_word(mb, 3) & 0xFFFFFF;
        rcv = mb_addr(mb, 4);
        if (wanted != 0 && rcv == nullptr) return 1;
        size = wanted + TGX_SIZE_ISSUEMB_EVENTLOG_BASE;
        code = TGX_IOCTL_ISSUEMB_EVENTLOG;
        TraceLog("TGX_IssueMboxWithRetry: MBX_READ_EVENT_LOG - size=%x %x\n", wanted, size);
    }
    uint8_t* env = tgx_env_alloc(size, code, TGX_SIG_ZT);
    if (env == nullptr) {
        TraceLog("TGX_IssueMboxWithRetry - malloc failed\n");
        return 1;
    }
    uint8_t* p = tgx_payload(env);
    AdapterEntry* e = tgx_entry(board);
    uint32_t attempts = attempts_of(retry);
    for (uint32_t left = attempts; left > 0;) {
        --left;
        memcpy(p + TGX_MB_OFF_MAILBOX, mb, TGX_MBOX_BYTES);
        if (cmd == TGX_MBX_BIU_DIAG) {
            tgx_wr32(p + TGX_MB_OFF_DATALEN, n);
            if (n) memcpy(p + TGX_MB_OFF_DATA, xmt, n);
        } else if (cmd == TGX_MBX_READ_EVENT_LOG) {
            tgx_wr32(p + TGX_MB_OFF_DATALEN, wanted);
        } else {
            tgx_wr32(p + TGX_MB_OFF_INWORDS, inWords);
        }
        if (!tgx_env_send(e->handle, env, size)) {
            TraceLog("TGX_IssueMboxWithRetry: IOCTL_ZT4100_ISSUEMB : DeviceIoControl failed. "
                     "GetLastError = 0x%08X \n",
                     plat_last_error());
            tgx_env_free(env);
            return 1;
        }
        if (cmd == TGX_MBX_BIU_DIAG)
            TraceLog("TGX_IssueMboxWithRetry: io returnCode=%x xmtbde_addrhigh=0x%08x "
                     "xmtbde_addrlow=0x%08x rcvbde_addrhigh=0x%08x rcvbde_addrlow=0x%08x\n",
                     tgx_env_rc(env), mb_word(mb, 4), mb_word(mb, 3), mb_word(mb, 7),
                     mb_word(mb, 6));
        else
            TraceLog("TGX_IssueMboxWithRetry: io returnCode=%x \n", tgx_env_rc(env));

        uint16_t st = mb_status(p + TGX_MB_OFF_MAILBOX);
        if (st == TGX_MBXST_TEMP_OVERHEAT) {
            TraceLog("TGX_IssueMboxWithRetry: MBX_TEMP_OVERHEAT staus=%x mbCmd=0x%x\n", st, cmd);
            tgx_env_free(env);
            return 3;
        }
        if (st == 0) {
            if (cmd == TGX_MBX_BIU_DIAG) {
                if (n) memcpy(rcv, p + TGX_MB_OFF_DATA + n, n);
            } else if (cmd == TGX_MBX_READ_EVENT_LOG) {
                uint32_t got = tgx_rd32(p + TGX_MB_OFF_DATALEN);
                if (got > wanted) got = wanted;
                if (got) memcpy(rcv, p + TGX_MB_OFF_DATA, got);
                trace_event_log(got, p + TGX_MB_OFF_DATA);
            } else {
                memcpy(mb, p + TGX_MB_OFF_MAILBOX, TGX_MBOX_BYTES);
            }
            TraceLog("TGX_IssueMboxWithRetry: exit OK\n");
            tgx_env_free(env);
            return 0;
        }
        if (st == TGX_MBXST_BUSY && left > 0) plat_sleep_ms(delay);
        mb_set_status(mb, st);
        TraceLog("IOCTL_ZT4100_ISSUEMB Error=0x%x RetryCnt=0x%x mbCmd=0x%x\n", st, left, cmd);
    }
    TraceLog("TGX_IssueMboxWithRetry exit with error\n");
    tgx_env_free(env);
    return 2;
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetryEx(uint32_t board, uint32_t* mailbox,
                                                        void* data, uint8_t mbOffset,
                                                        uint32_t inLen, uint32_t outLen,
                                                        uint32_t retry, uint32_t delay) {
    uint8_t* mb = mb_bytes(mailbox);
    uint8_t cmd = mb ? mb_cmd(mb) : 0;
    TraceLog("TGX_IssueMboxWithRetryEx board=%x mbOffset=%d inLen=%d outLen=%d retry=%d "
             "mbCmd=0x%x\n",
             board, mbOffset, inLen, outLen, retry, cmd);
    if (!tgx_board_ok(board) || mb == nullptr) return 1;
    uint32_t inWords = inLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : inLen;
    uint32_t outWords = outLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : outLen;
    const uint32_t size = TGX_SIZE_ISSUEMB_EX;
    TraceLog("TGX_IssueMboxWithRetryEx: bufSize=%d\n", size);
    uint8_t* env = tgx_env_alloc(size, TGX_IOCTL_ISSUEMB_EX, TGX_SIG_ZT);
    if (env == nullptr) {
        TraceLog("TGX_IssueMboxWithRetryEx - malloc failed\n");
        return 1;
    }
    uint8_t* p = tgx_payload(env);
    uint8_t* buf = static_cast<uint8_t*>(data);
    AdapterEntry* e = tgx_entry(board);
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        memset(p, 0, size - TGX_ENV_HEADER_LENGTH);
        p[TGX_MBEX_OFF_MBOFFSET] = mbOffset;
        tgx_wr32(p + TGX_MBEX_OFF_INWORDS, inWords);
        tgx_wr32(p + TGX_MBEX_OFF_OUTWORDS, outWords);
        memcpy(p + TGX_MBEX_OFF_MAILBOX, mb, TGX_MBOX_BYTES);
        if (buf && inWords) memcpy(p + TGX_MBEX_OFF_DATA, buf, inWords * 4);
        if (!tgx_env_send(e->handle, env, size)) {
            TraceLog("TGX_IssueMboxWithRetryEx: IOCTL_ZT4100_ISSUEMB Failed Error=0x%x "
                     "RetryCount=0x%x mbCmd=0x%x\n",
                     plat_last_error(), left, cmd);
            continue;
        }
        const uint8_t* rmb = p + TGX_MBEX_OFF_MAILBOX;
        uint16_t st = mb_status(rmb);
        if (st == 0) {
            memcpy(mb, rmb, TGX_MBOX_BYTES);
            uint32_t got = tgx_rd32(p + TGX_MBEX_OFF_OUTWORDS);
            if (got > TGX_MBOX_EX_MAX_WORDS) got = TGX_MBOX_EX_MAX_WORDS;
            TraceLog("TGX_IssueMboxWithRetryEx: OK Request ioInLen=%d ioOutLen=%d\n",
                     tgx_rd32(p + TGX_MBEX_OFF_INWORDS), got);
            uint32_t words = outWords < got ? outWords : got;
            if (buf && words) memcpy(buf, p + TGX_MBEX_OFF_DATA, words * 4);
            // The dump's own first newline ends this line.
            TraceLog(" Data rcv: ");
            TraceDump(p + TGX_MBEX_OFF_DATA, words * 4 < 16 ? words * 4 : 16);
            TraceLog("TGX_IssueMboxWithRetryEx: exit OK\n");
            tgx_env_free(env);
            return 0;
        }
        // A refused configuration update is final: its answer word 3 tells why.
        if (mb_cmd(rmb) == TGX_MBX_UPDATE_CFG) {
            left = 0;
            tgx_wr32(mb + 12, mb_word(rmb, 3));
        }
        if (st == TGX_MBXST_BUSY && left > 0) plat_sleep_ms(delay);
        mb_set_status(mb, st);
        TraceLog("IOCTL_ZT4100_ISSUEMB MailBox Error=0x%x RetryCnt=0x%x mbCmd=0x%x\n", st, left,
                 cmd);
    }
    TraceLog("TGX_IssueMboxWithRetryEx exit with error\n");
    tgx_env_free(env);
    return 2;
}

extern "C" TGX_EXPORT uint32_t TGX_IssueMboxWithRetryV2(uint32_t board, uint32_t* mailbox,
                                                        uint32_t inWLen, uint32_t retry,
                                                        uint32_t delay) {
    uint8_t* mb = mb_bytes(mailbox);
    uint8_t cmd = mb ? mb_cmd(mb) : 0;
    TraceLog("TGX_IssueMboxWithRetryV2: board=%x inWLen=%x retry=%x mbCmd=0x%x\n", board, inWLen,
             retry, cmd);
    if (!tgx_board_ok(board) || mb == nullptr) return 1;
    if (inWLen < TGX_MBOX_WORDS) {
        TraceLog("TGX_IssueMboxWithRetryV2: inWLen must be 64 words or bigger\n");
        return 4;
    }
    if (inWLen > TGX_MBOX_WORDS || is_v2_ext_command(cmd)) {
        if (tgx_entry(board)->drvInfo.featureList & TGX_FEATURE_MBOX_V2_EXT)
            return IssueMBoxWithRetryV2Extended(board, mailbox, inWLen, retry, delay);
        return 1;
    }
    const uint32_t size = TGX_SIZE_ISSUEMB_V2_BASE;
    uint8_t* env = tgx_env_alloc(size, TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT);
    if (env == nullptr) {
        TraceLog("TGX_IssueMboxWithRetryV2 - malloc failed\n");
        return 1;
    }
    uint8_t* p = tgx_payload(env);
    uint8_t* rmb = p + TGX_MBV2_OFF_MAILBOX;
    AdapterEntry* e = tgx_entry(board);
    uint32_t status = 1;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
        tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, 0);
        memcpy(rmb, mb, TGX_MBOX_BYTES);
        if (!tgx_env_send(e->handle, env, size)) {
            TraceLog("TGX_IssueMboxWithRetryV2: DeviceIoControl failed. GetLastError = 0x%08X \n",
                     plat_last_error());
            tgx_env_free(env);
            return 1;
        }
        uint32_t rc = tgx_env_rc(env);
        uint16_t st = mb_status(rmb);
        TraceLog("TGX_IssueMboxWithRetryV2: io returnCode=%x mbxStatus=%x\n", rc, st);
        mb_set_status(mb, st);
        if (rc != 0) {
            status = Sli4MbxIoStatusError(rc, &left, delay);
            TraceLog("TGX_IssueMboxWithRetryV2: Ioctl error: Status=0x%x, ReturnCode=0x%x, "
                     "RetryCnt=0x%x mbCmd=0x%x\n",
                     status, rc, left, cmd);
            continue;
        }
        if (st == 0) {
            memcpy(mb, rmb, TGX_MBOX_BYTES);
            TraceLog("TGX_IssueMboxWithRetryV2: exit OK\n");
            tgx_env_free(env);
            return 0;
        }
        TraceLog("TGX_IssueMboxWithRetryV2: MB Status=0x%x RetryCnt=0x%x mbCmd=0x%x\n", st, left,
                 cmd);
        status = 2;
        if (v2_stop_status(st)) left = 0;
    }
    memcpy(mb, rmb, TGX_MBOX_BYTES);
    TraceLog("TGX_IssueMboxWithRetryV2 exit with error %x mbxStatus=%x\n", status, mb_status(mb));
    tgx_env_free(env);
    return status;
}

uint32_t IssueMBoxWithRetryV2Extended(uint32_t board, uint32_t* mailbox, uint32_t inWLen,
                                      uint32_t retry, uint32_t delay) {
    uint8_t* mb = mb_bytes(mailbox);
    uint8_t cmd = mb_cmd(mb);
    // Sizes are checked before any arithmetic can wrap.
    const uint64_t byteLen = (uint64_t)inWLen * 4;
    if (byteLen < TGX_MBOX_BYTES) return 4;
    uint64_t ext = byteLen - TGX_MBOX_BYTES;
    bool raised = false;
    uint8_t* xmt = nullptr;
    uint8_t* rcv = nullptr;
    if (cmd == TGX_MBX_BIU_DIAG) {
        uint32_t t = mb_word(mb, 2) & 0xFFFFFF;
        uint32_t r = mb_word(mb, 5) & 0xFFFFFF;
        if (t > TGX_MBOX_MAX_BDE || r > TGX_MBOX_MAX_BDE) {
            TraceLog("IssueMBoxWithRetryV2Extended - Invalid BDE size, xmit = 0x%x rcv = 0x%x\n", t,
                     r);
            return 5;
        }
        ext = t < r ? t : r;
        xmt = mb_addr(mb, 3);
        rcv = mb_addr(mb, 6);
        if (ext != 0 && (xmt == nullptr || rcv == nullptr)) return 1;
    } else {
        if (ext == 0 && is_v2_ext_command(cmd)) {
            ext = TGX_MBOX_MAX_EXT;
            raised = true;
        }
        if (ext > TGX_MBOX_MAX_EXT && cmd != TGX_MBX_SLI_CONFIG) {
            TraceLog("IssueMBoxWithRetryV2Extended - maximum extended size too large, is: %d sb "
                     "less than: %d\n",
                     (int)ext, (int)TGX_MBOX_MAX_EXT);
            return 5;
        }
    }
    if (ext > 0xFFFFFFFFull - TGX_SIZE_ISSUEMB_V2_BASE) return 5;
    const uint32_t e = (uint32_t)ext;
    const uint32_t size = TGX_SIZE_ISSUEMB_V2_BASE + e;
    // Bytes taken from the caller's buffer and given back to it.
    const uint32_t callerBytes =
        (cmd == TGX_MBX_BIU_DIAG || raised) ? TGX_MBOX_BYTES : (uint32_t)byteLen;
    uint8_t* env = tgx_env_alloc(size, TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT);
    if (env == nullptr) {
        TraceLog("IssueMBoxWithRetryV2Extended - malloc failed\n");
        return 1;
    }
    uint8_t* p = tgx_payload(env);
    uint8_t* rmb = p + TGX_MBV2_OFF_MAILBOX;
    AdapterEntry* ent = tgx_entry(board);
    auto copy_back = [&]() {
        if (cmd == TGX_MBX_BIU_DIAG && e) memcpy(rcv, p + TGX_MBV2_OFF_EXT, e);
        memcpy(mb, rmb, callerBytes);
    };
    uint32_t status = 1;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        memset(p, 0, size - TGX_ENV_HEADER_LENGTH);
        tgx_wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
        tgx_wr32(p + TGX_MBV2_OFF_EXTLEN, e);
        memcpy(rmb, mb, callerBytes);
        if (cmd == TGX_MBX_BIU_DIAG && e) memcpy(p + TGX_MBV2_OFF_EXT, xmt, e);
        if (!tgx_env_send(ent->handle, env, size)) {
            TraceLog("IssueMBoxWithRetryV2Extended: DeviceIoControl failed. GetLastError = "
                     "0x%08X \n",
                     plat_last_error());
            tgx_env_free(env);
            return 1;
        }
        uint32_t rc = tgx_env_rc(env);
        uint16_t st = mb_status(rmb);
        if (cmd == TGX_MBX_BIU_DIAG)
            TraceLog("IssueMBoxWithRetryV2Extended: io returnCode=%x mbxStatus=%x "
                     "xmtbuffer_size=%08x xmtbde_addrhigh=0x%08x xmtbde_addrlow=0x%08x "
                     "rcvbuffer_size=%08x rcvbde_addrhigh=0x%08x rcvbde_addrlow=0x%08x\n",
                     rc, st, mb_word(mb, 2) & 0xFFFFFF, mb_word(mb, 4), mb_word(mb, 3),
                     mb_word(mb, 5) & 0xFFFFFF, mb_word(mb, 7), mb_word(mb, 6));
        else
            TraceLog("IssueMBoxWithRetryV2Extended: io returnCode=%x mbxStatus=%x\n", rc, st);
        mb_set_status(mb, st);
        if (rc != 0) {
            status = Sli4MbxIoStatusError(rc, &left, delay);
            TraceLog("IssueMBoxWithRetryV2Extended: Ioctl error: Status=0x%x, ReturnCode=0x%x, "
                     "RetryCnt=0x%x mbCmd=0x%x\n",
                     status, rc, left, cmd);
            continue;
        }
        if (st == 0) {
            copy_back();
            TraceLog("IssueMBoxWithRetryV2Extended: exit OK\n");
            tgx_env_free(env);
            return 0;
        }
        TraceLog("IssueMBoxWithRetryV2Extended: MB error: Status=0x%x RetryCnt=0x%x mbCmd=0x%x\n",
                 st, left, cmd);
        status = 2;
        if (v2_stop_status(st)) left = 0;
    }
    copy_back();
    TraceLog("IssueMBoxWithRetryV2Extended exit with error %x mbxStatus=%x\n", status,
             mb_status(mb));
    tgx_env_free(env);
    return status;
}
