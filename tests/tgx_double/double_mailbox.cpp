// Mailbox exports of the libtgx test double. Each form hands the mailbox to
// the simulated adapter engine as the library's request would reach it, and
// keeps the library's attempts, copy-back and status mapping:
// plain form (32 or 64 words, 250 -> 3, 253 retried after the delay, 2 at the
// end, a failed call ends with 1), data-buffer form (word limits of 512, a
// refused 0x1B ends the attempts and returns word 3, a failed call uses an
// attempt), V2 (regular and extended, 250/252/254 end the attempts, the reply
// copied back on failure too, ReturnCodes as the library maps them), the dump
// and the update-configuration requests. Commands 0x84 and 0x38 carry host
// buffers; the double refuses them.
//
// Each attempt goes through the driver step below: it takes the driver faults
// of the simulated machine ("fail", "rc=N", "status=N") on the request the
// library would send and journals the attempt as the simulated driver does,
// so tests/libtgx/test_mailbox.cpp runs its retry tables against both.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_time.h"
#include "sim/driver/sim_driver.h"
#include "tests/tgx_double/double_internal.h"

using hbasim::MboxCall;

namespace {

using hbasim::drv_rd32;
using hbasim::drv_wr32;
void set_status(uint8_t* mb, uint16_t st) {
    mb[2] = (uint8_t)st;
    mb[3] = (uint8_t)(st >> 8);
}

const uint8_t kExtCommands[] = {0x11, 0x84, 0x1B, 0x17, 0x8D, 0x93, 0x9F};
bool ext_command(uint8_t cmd) {
    for (uint8_t c : kExtCommands)
        if (c == cmd) return true;
    return false;
}

uint32_t attempts_of(uint32_t retry) {
    return retry == 0 ? 1 : retry;
}

void load(MboxCall& c, const uint8_t* mb, uint32_t words, hbasim::MboxForm form) {
    memset(&c, 0, sizeof c);
    for (uint32_t i = 0; i < TGX_MBOX_WORDS; ++i)
        c.mb[i] = drv_rd32(mb + 4 * i);
    c.mbWords = words;
    c.form = form;
}
void store(const MboxCall& c, uint8_t* mb) {
    for (uint32_t i = 0; i < TGX_MBOX_WORDS; ++i)
        drv_wr32(mb + 4 * i, c.mb[i]);
}

// Runs the call on the board's function; a state that cannot be read gives the
// driver-error status, as the simulated driver does.
void run(const tgxdouble::Board& b, MboxCall& c) {
    hbasim::engine_run(b.ref, c);
}

// One attempt as the driver would answer the library's request (code, name as
// in the simulated driver's request table): false when the device call failed;
// else *rc is the ReturnCode and the call has run unless a fault settled it.
bool drive(const tgxdouble::Board& b, uint32_t code, const char* name, MboxCall& c, uint32_t* rc) {
    char line[128];
    snprintf(line, sizeof line, "0x%08X", code);
    const std::string action =
        hbasim::fault_check("drv", std::string(line) + "|" + name, b.scsiPort);
    *rc = 0;
    bool sent = true;
    if (action == "fail") {
        sent = false;
    } else if (action.rfind("rc=", 0) == 0) {
        *rc = (uint32_t)strtoul(action.c_str() + 3, nullptr, 0);
        if (*rc) c.mb[0] = (c.mb[0] & 0xFFFFu) | ((uint32_t)hbasim::SIM_MBXST_DRIVER_ERROR << 16);
    } else if (action.rfind("status=", 0) == 0) {
        const uint32_t st = (uint32_t)strtoul(action.c_str() + 7, nullptr, 0) & 0xFFFF;
        c.mb[0] = (c.mb[0] & 0xFFFFu) | (st << 16);
    } else {
        run(b, c);
    }
    snprintf(line, sizeof line, "Scsi%d 0x%08X %s (test double) -> %s%u", b.scsiPort, code, name,
             sent ? "rc=" : "FAIL ", sent ? *rc : 1u);
    hbasim::journal("drv", line);
    return sent;
}

// The library's V2 ReturnCodes: the status, and whether another attempt may
// follow (busy, after the delay).
uint32_t v2_return_code(uint32_t rc, uint32_t* left, uint32_t delay) {
    if (rc == TGX_V2RC_BUSY) {
        if (*left > 0) plat_sleep_ms(delay);
        return rc;
    }
    *left = 0;
    const bool known = rc == TGX_V2RC_NOT_SUPPORTED || rc == TGX_V2RC_INVALID_MBLEN ||
                       rc == TGX_V2RC_NO_RESOURCE || rc == TGX_V2RC_NO_RESOURCE_5 ||
                       rc == TGX_V2RC_MULTI_DESC;
    return known ? rc : 1;
}

bool has_ext_feature(uint32_t board) {
    DrvInfo info;
    memset(&info, 0, sizeof info);
    info.version = 4;
    return TGX_GetDrvInfo(board, &info) == 0 && (info.featureList & TGX_FEATURE_MBOX_V2_EXT);
}

bool v2_stop(uint16_t st) {
    return st == 250 || st == 252 || st == 254;
}

uint32_t v2_extended(const tgxdouble::Board& b, uint8_t* mb, uint32_t inWLen, uint32_t retry,
                     uint32_t delay) {
    uint8_t cmd = mb[1];
    uint64_t byteLen = (uint64_t)inWLen * 4;
    uint64_t ext = byteLen - TGX_MBOX_BYTES;
    bool raised = false;
    if (cmd == 0x84) return 1; // host transmit/receive buffers: not served by the double
    if (ext == 0 && ext_command(cmd)) {
        ext = TGX_MBOX_MAX_EXT;
        raised = true;
    }
    if (ext > TGX_MBOX_MAX_EXT && cmd != TGX_MBX_SLI_CONFIG) return 5;
    uint32_t back = raised ? TGX_MBOX_BYTES : (uint32_t)byteLen;
    std::vector<uint8_t> area((size_t)ext, 0);
    MboxCall c;
    uint32_t status = 1;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        std::fill(area.begin(), area.end(), 0);
        if (!raised && ext) memcpy(area.data(), mb + TGX_MBOX_BYTES, (size_t)ext);
        load(c, mb, TGX_MBOX_WORDS, hbasim::MBOX_FORM_V2EXT);
        c.data = area.data();
        c.dataLen = (uint32_t)ext;
        uint32_t rc = 0;
        if (!drive(b, TGX_IOCTL_ISSUEMB_V2, "ISSUEMB_V2", c, &rc)) return 1;
        uint16_t st = (uint16_t)(c.mb[0] >> 16);
        if (rc != 0) {
            set_status(mb, st);
            status = v2_return_code(rc, &left, delay);
            continue;
        }
        if (st == 0) {
            store(c, mb);
            if (back > TGX_MBOX_BYTES)
                memcpy(mb + TGX_MBOX_BYTES, area.data(), back - TGX_MBOX_BYTES);
            return 0;
        }
        status = 2;
        if (v2_stop(st)) left = 0;
    }
    store(c, mb);
    if (back > TGX_MBOX_BYTES) memcpy(mb + TGX_MBOX_BYTES, area.data(), back - TGX_MBOX_BYTES);
    return status;
}

} // namespace

extern "C" {

uint32_t TGX_IssueMboxWithRetry(uint32_t board, uint32_t* mailbox, uint32_t inWords,
                                uint32_t outWords, uint32_t retry, uint32_t delay) {
    (void)outWords;
    const tgxdouble::Board* b = tgxdouble::board(board);
    uint8_t* mb = reinterpret_cast<uint8_t*>(mailbox);
    if (!b || !mb) return 1;
    if (mb[1] == TGX_MBX_BIU_DIAG || mb[1] == TGX_MBX_READ_EVENT_LOG_HOST) return 1;
    MboxCall c;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        load(c, mb, inWords == TGX_MBOX_WORDS ? 64 : 32, hbasim::MBOX_FORM_PLAIN);
        uint32_t rc = 0;
        if (!drive(*b, TGX_IOCTL_ISSUEMB, "ISSUEMB", c, &rc)) return 1;
        uint16_t st = (uint16_t)(c.mb[0] >> 16);
        if (st == TGX_MBXST_TEMP_OVERHEAT) return 3;
        if (st == 0) {
            store(c, mb);
            return 0;
        }
        if (st == TGX_MBXST_BUSY && left > 0) plat_sleep_ms(delay);
        set_status(mb, st);
    }
    return 2;
}

uint32_t TGX_IssueMboxWithRetryEx(uint32_t board, uint32_t* mailbox, void* data, uint8_t mbOffset,
                                  uint32_t inLen, uint32_t outLen, uint32_t retry, uint32_t delay) {
    (void)mbOffset;
    const tgxdouble::Board* b = tgxdouble::board(board);
    uint8_t* mb = reinterpret_cast<uint8_t*>(mailbox);
    if (!b || !mb) return 1;
    uint32_t in = inLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : inLen;
    uint32_t out = outLen > TGX_MBOX_EX_MAX_WORDS ? TGX_MBOX_EX_MAX_WORDS : outLen;
    uint8_t* buf = static_cast<uint8_t*>(data);
    std::vector<uint8_t> area(4 * (in > out ? in : out), 0);
    MboxCall c;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        std::fill(area.begin(), area.end(), 0);
        if (buf && in) memcpy(area.data(), buf, 4 * in);
        load(c, mb, TGX_MBOX_WORDS, hbasim::MBOX_FORM_EX);
        c.data = area.data();
        c.dataLen = (uint32_t)area.size();
        uint32_t rc = 0;
        if (!drive(*b, TGX_IOCTL_ISSUEMB_EX, "ISSUEMB_EX", c, &rc)) continue;
        uint16_t st = (uint16_t)(c.mb[0] >> 16);
        if (st == 0) {
            store(c, mb);
            uint32_t got = (c.dataOut + 3) / 4;
            uint32_t words = got < out ? got : out;
            if (buf && words) memcpy(buf, area.data(), 4 * words);
            return 0;
        }
        if (((c.mb[0] >> 8) & 0xFF) == TGX_MBX_UPDATE_CFG) {
            left = 0;
            drv_wr32(mb + 12, c.mb[3]);
        }
        if (st == TGX_MBXST_BUSY && left > 0) plat_sleep_ms(delay);
        set_status(mb, st);
    }
    return 2;
}

uint32_t TGX_IssueMboxWithRetryV2(uint32_t board, uint32_t* mailbox, uint32_t inWLen,
                                  uint32_t retry, uint32_t delay) {
    const tgxdouble::Board* b = tgxdouble::board(board);
    uint8_t* mb = reinterpret_cast<uint8_t*>(mailbox);
    if (!b || !mb) return 1;
    if (inWLen < TGX_MBOX_WORDS) return 4;
    if (inWLen > TGX_MBOX_WORDS || ext_command(mb[1])) {
        if (!has_ext_feature(board)) return 1;
        return v2_extended(*b, mb, inWLen, retry, delay);
    }
    MboxCall c;
    uint32_t status = 1;
    for (uint32_t left = attempts_of(retry); left > 0;) {
        --left;
        load(c, mb, TGX_MBOX_WORDS, hbasim::MBOX_FORM_V2);
        uint32_t rc = 0;
        if (!drive(*b, TGX_IOCTL_ISSUEMB_V2, "ISSUEMB_V2", c, &rc)) return 1;
        uint16_t st = (uint16_t)(c.mb[0] >> 16);
        set_status(mb, st);
        if (rc != 0) {
            status = v2_return_code(rc, &left, delay);
            continue;
        }
        if (st == 0) {
            store(c, mb);
            return 0;
        }
        status = 2;
        if (v2_stop(st)) left = 0;
    }
    store(c, mb);
    return status;
}

uint32_t TGX_IssueDumpMBox(uint32_t board, uint32_t type, uint8_t typeArg, uint32_t region,
                           uint32_t offset, void* buffer, uint32_t* length) {
    const tgxdouble::Board* b = tgxdouble::board(board);
    if (!b || !length) return 1;
    if (type < 1 || type > 4) return 2;
    if (*length == 0 || *length > TGX_MBOX_MAX_EXT) return 7;
    // The driver takes an extension only from boards with the extended feature.
    if (!has_ext_feature(board)) return 1;
    std::vector<uint8_t> area(*length, 0);
    MboxCall c;
    memset(&c, 0, sizeof c);
    c.mb[0] = (uint32_t)TGX_MBX_DUMP << 8;
    c.mb[1] = type | (type == 1 ? 0x10u : 0u) | (type == 3 ? (uint32_t)typeArg << 24 : 0u);
    c.mb[2] = (region & 0xFFFF) | (offset << 16);
    c.mb[3] = *length & 0xFFFFFF;
    c.mbWords = TGX_MBOX_WORDS;
    c.form = hbasim::MBOX_FORM_V2EXT;
    c.data = area.data();
    c.dataLen = *length;
    run(*b, c);
    switch (c.mb[0] >> 16) {
    case 0:
        break;
    case TGX_MBXST_DUMP_NO_ENTRY:
        return 5;
    case TGX_MBXST_DUMP_NO_VALID_ENTRY:
        return 6;
    case TGX_MBXST_DUMP_NOT_APPLICABLE:
        return 3;
    case TGX_MBXST_DUMP_NOT_INITIALIZED:
        return 4;
    case TGX_MBXST_DUMP_BAD_HEADER:
        return 2;
    default:
        return 1;
    }
    uint32_t reported = c.mb[6];
    uint32_t n = reported < *length ? reported : *length;
    if (buffer && n) memcpy(buffer, area.data(), n);
    *length = reported;
    return 0;
}

uint32_t TGX_IssueUpdateCfgMBox(uint32_t board, uint32_t reqType, uint32_t region, const void* data,
                                uint32_t length, uint32_t* respInfo) {
    const tgxdouble::Board* b = tgxdouble::board(board);
    if (!b) return 3;
    if (length > TGX_MBOX_MAX_EXT) return 7;
    if (!has_ext_feature(board)) return 1;
    std::vector<uint8_t> area(length, 0);
    if (data && length) memcpy(area.data(), data, length);
    MboxCall c;
    memset(&c, 0, sizeof c);
    c.mb[0] = 1u | ((uint32_t)TGX_MBX_UPDATE_CFG << 8);
    c.mb[1] = (reqType & 0xF) | 0x30;
    c.mb[2] = (region & 0xFFFF) | (length << 16);
    c.mb[4] = length;
    c.mbWords = TGX_MBOX_WORDS;
    c.form = hbasim::MBOX_FORM_V2EXT;
    c.data = area.data();
    c.dataLen = length;
    run(*b, c);
    if (respInfo) *respInfo = c.mb[3];
    return (c.mb[0] >> 16) != 0 ? 2 : 0;
}

} // extern "C"
