// CT management requests of the simulated driver, on the management device:
// register (0x800001AC), post a receive (0x800001C0, overlapped), collect it
// (0x800001D0), send a response (0x800001BC), cancel the receives
// (0x800001CC) and the management command (0x800001B0); and the CT
// pass-through envelope (0x80000208) on the SCSI port device.
//
// Unsolicited CT requests come from "hbasim inject ct": they wait in the
// function's "ct_inbox" blob (records: u32 gstype, u32 tag, u32 length, data)
// until a pending receive of this or any process takes one. A posted receive
// is a pending request of this process (CtPending, kept in g_pending in post
// order). Waiters poll the inbox in small steps of the platform's scaled time
// and hand each request to the oldest pending receive of its port whose
// gstype is the request's or the wildcard, so every receive thread sees its
// own receives complete in the order it posted them. A completed receive
// keeps its request (g_delivered, keyed by the receive block the post named)
// until the collect that names the same block. Cancel completes the port's
// pending receives of one gstype with 0 bytes. Responses are recorded in the
// "ct_responses" blob (the last kResponsesKept: u32 tag, u32 gstype, u32
// length, data) and journalled.
//
// Locks: g_ctMu guards g_pending and g_delivered; it is taken before an
// adapter's state lock (the claim from the inbox) and never the other way.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "platform/plat_sync.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

const char kBlobInbox[] = "ct_inbox";
const char kBlobResponses[] = "ct_responses";
const char kAttrNextTag[] = "ct_next_tag";
const size_t kInboxMax = 32;      // requests waiting at most
const size_t kResponsesKept = 16; // responses recorded at most
const uint32_t kPollStepMs = 50;  // inbox poll period of a waiting receive
const uint32_t kDefaultRspLen = 16;

struct CtEntry {
    uint32_t gstype = 0;
    uint32_t tag = 0;
    Bytes data;
};

struct CtPending {
    int port;
    FuncRef ref;
    uint32_t gstype;
    const uint8_t* block; // the receive block the post named
    bool done;
    uint32_t err; // completion: 0 or PLAT_ERR_CANCELLED
    PlatEvent evt;
};

std::mutex g_ctMu;
std::deque<CtPending*> g_pending;
std::map<const uint8_t*, CtEntry> g_delivered;

uint32_t rd(const Bytes& b, size_t off) {
    return drv_rd32(b.data() + off);
}
void put(Bytes& b, uint32_t v) {
    uint8_t w[4];
    drv_wr32(w, v);
    b.insert(b.end(), w, w + 4);
}

// Records of gstype, tag (or a first word), length and data; a damaged tail
// is dropped.
std::vector<CtEntry> decode_records(const Bytes& b) {
    std::vector<CtEntry> out;
    size_t off = 0;
    while (off + 12 <= b.size()) {
        CtEntry e;
        e.gstype = rd(b, off);
        e.tag = rd(b, off + 4);
        uint32_t len = rd(b, off + 8);
        if (len > b.size() - off - 12) break;
        e.data.assign(b.begin() + (long)off + 12, b.begin() + (long)(off + 12 + len));
        out.push_back(std::move(e));
        off += 12 + len;
    }
    return out;
}

Bytes encode_records(const std::vector<CtEntry>& v) {
    Bytes b;
    for (const CtEntry& e : v) {
        put(b, e.gstype);
        put(b, e.tag);
        put(b, (uint32_t)e.data.size());
        b.insert(b.end(), e.data.begin(), e.data.end());
    }
    return b;
}

std::vector<CtEntry> blob_records(const Function& f, const char* name) {
    auto it = f.blobs.find(name);
    return it == f.blobs.end() ? std::vector<CtEntry>() : decode_records(it->second);
}

bool matches(uint32_t posted, uint32_t gstype) {
    return posted == TGX_CT_GSTYPE_ALL || posted == gstype;
}

// Completes a pending receive. g_ctMu held.
void complete(CtPending* p, uint32_t err) {
    p->done = true;
    p->err = err;
    plat_event_set(p->evt);
}

// Hands the port's waiting requests to its pending receives (oldest first).
// The plan is made from the inbox as it is under the adapter's lock, while
// g_ctMu keeps the pending receives still: a plan made from an earlier look
// could lose a request another waiter claimed meanwhile and hand the next one
// to a younger receive, which its thread does not wait for while the older
// one stays pending (a request then waits for the next one to arrive).
void pump(const FuncRef& ref, int port) {
    bool any = false;
    int rc = read_adapter(ref.adapter, [&](const Adapter& a) {
        if (ref.func >= 0 && (size_t)ref.func < a.funcs.size())
            any = !blob_records(a.funcs[(size_t)ref.func], kBlobInbox).empty();
    });
    if (rc != SIM_OK || !any) return;
    std::lock_guard<std::mutex> g(g_ctMu);
    std::vector<std::pair<CtPending*, CtEntry>> plan;
    rc = update_adapter(ref.adapter, [&](Adapter& a) {
        plan.clear();
        if (ref.func < 0 || (size_t)ref.func >= a.funcs.size()) return false;
        Function& f = a.funcs[(size_t)ref.func];
        std::vector<CtEntry> kept;
        for (CtEntry& e : blob_records(f, kBlobInbox)) {
            CtPending* to = nullptr;
            for (CtPending* p : g_pending) {
                const bool taken = std::any_of(
                    plan.begin(), plan.end(),
                    [&](const std::pair<CtPending*, CtEntry>& x) { return x.first == p; });
                if (p->port == port && !p->done && !taken && matches(p->gstype, e.gstype)) {
                    to = p;
                    break;
                }
            }
            if (to)
                plan.emplace_back(to, std::move(e));
            else
                kept.push_back(std::move(e));
        }
        if (plan.empty()) return false;
        f.blobs[kBlobInbox] = encode_records(kept);
        return true;
    });
    if (rc != SIM_OK) return;
    for (auto& [p, e] : plan) {
        g_delivered[p->block] = std::move(e);
        complete(p, 0);
    }
}

// A CT response of len bytes to cmd: its first bytes echoed, the accept code
// 0x8002 at bytes 8-9, then a counting pattern; at most room bytes written.
void build_response(const uint8_t* cmd, uint32_t cmdSize, uint8_t* out, uint32_t len,
                    uint32_t room) {
    uint32_t n = std::min(len, room);
    for (uint32_t i = 0; i < n; ++i)
        out[i] = i < 16 && i < cmdSize ? cmd[i] : (uint8_t)(i % 251);
    if (n > 9) {
        out[8] = 0x80;
        out[9] = 0x02;
    }
}

// The driver's answer to a management command or pass-through: the response
// length, or the forced "ct_cmd_rc". False when the state cannot be read.
bool answer_command(const DrvRequest& r, const uint8_t* cmd, uint32_t cmdSize, uint8_t* area,
                    uint32_t room, uint32_t* rc) {
    uint32_t len = kDefaultRspLen;
    bool forced = false;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            len = (uint32_t)f.attrs.get_u("ct_rsp_len", kDefaultRspLen);
            forced = f.attrs.has("ct_cmd_rc");
            *rc = (uint32_t)f.attrs.get_u("ct_cmd_rc", 0);
        }))
        return false;
    if (forced) return true;
    build_response(cmd, cmdSize, area, len, room);
    *rc = len;
    return true;
}

} // namespace

Bytes ct_default_request(uint8_t gstype) {
    Bytes b(16, 0);
    b[0] = 0x01; // revision
    b[4] = gstype;
    b[5] = 0x01; // subtype
    b[8] = 0x01; // command 0x0101
    b[9] = 0x01;
    return b;
}

uint32_t ct_inbox_push(Function& f, uint32_t gstype, const Bytes& data) {
    std::vector<CtEntry> inbox = blob_records(f, kBlobInbox);
    if (inbox.size() >= kInboxMax || data.size() > kCtRequestMax) return 0;
    uint32_t tag = (uint32_t)f.attrs.get_u(kAttrNextTag, 1);
    if (tag == 0) tag = 1;
    f.attrs.set_u(kAttrNextTag, tag + 1 == 0 ? 1 : tag + 1);
    CtEntry e;
    e.gstype = gstype;
    e.tag = tag;
    e.data = data;
    inbox.push_back(std::move(e));
    f.blobs[kBlobInbox] = encode_records(inbox);
    return tag;
}

std::vector<CtResponse> ct_responses(const Function& f) {
    std::vector<CtResponse> out;
    for (const CtEntry& e : blob_records(f, kBlobResponses))
        out.push_back(CtResponse{e.tag, e.gstype, e.data});
    return out;
}

size_t ct_inbox_size(const Function& f) {
    return blob_records(f, kBlobInbox).size();
}

std::string ct_pending_summary() {
    std::lock_guard<std::mutex> g(g_ctMu);
    std::string out;
    char line[96];
    for (const CtPending* p : g_pending) {
        snprintf(line, sizeof line, "port %d gstype 0x%X block %p %s\n", p->port, p->gstype,
                 static_cast<const void*>(p->block), p->done ? "done" : "pending");
        out += line;
    }
    return out;
}

bool parse_hex_bytes_plain(const std::string& hex, uint8_t* out, size_t n) {
    if (hex.size() != 2 * n) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < n; ++i) {
        int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = (uint8_t)(hi << 4 | lo);
    }
    return true;
}

// ---- overlapped receives -----------------------------------------------------

uint32_t ct_post_receive(const DrvRequest& r, void** op) {
    if (!r.in || r.inSize < TGX_CT_RCV_SIZE) return PLAT_ERR_BAD_LENGTH;
    auto* p = new CtPending{r.port, r.ref, drv_rd32(r.in + TGX_CT_RCV_OFF_GSTYPE), r.in,
                            false,  0,     plat_event_create(true, false)};
    if (!p->evt) {
        delete p;
        return PLAT_ERR_NO_MEMORY;
    }
    std::lock_guard<std::mutex> g(g_ctMu);
    g_delivered.erase(p->block); // a new post of the block supersedes what it held
    g_pending.push_back(p);
    *op = p;
    return PLAT_ERR_IO_PENDING;
}

uint32_t ct_wait(void* op, uint32_t timeout_ms, uint32_t* returned) {
    auto* p = static_cast<CtPending*>(op);
    uint64_t waited = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> g(g_ctMu);
            if (p->done) {
                auto it = std::find(g_pending.begin(), g_pending.end(), p);
                if (it != g_pending.end()) g_pending.erase(it);
                uint32_t err = p->err;
                plat_event_destroy(p->evt);
                delete p;
                if (returned) *returned = 0;
                return err;
            }
        }
        if (timeout_ms != PLAT_WAIT_INFINITE && waited >= timeout_ms) return PLAT_ERR_IO_PENDING;
        pump(p->ref, p->port);
        uint32_t step = kPollStepMs;
        if (timeout_ms != PLAT_WAIT_INFINITE)
            step = (uint32_t)std::min<uint64_t>(step, timeout_ms - waited);
        plat_event_wait_scaled(p->evt, step);
        waited += step;
    }
}

void ct_cancel(void* op) {
    auto* p = static_cast<CtPending*>(op);
    std::lock_guard<std::mutex> g(g_ctMu);
    if (!p->done) complete(p, PLAT_ERR_CANCELLED);
}

// ---- request handlers ----------------------------------------------------------

// 0x800001AC: control block in and out. "ct_refuse" = N refuses with status N.
uint32_t req_ct_register(DrvRequest& r) {
    if (!r.in || r.inSize < TGX_CT_CTL_SIZE) return PLAT_ERR_BAD_LENGTH;
    uint32_t refuse = 0;
    if (!drv_read_function(r, [&](const Adapter&, const Function& f) {
            refuse = (uint32_t)f.attrs.get_u("ct_refuse", 0);
        }))
        return PLAT_ERR_GEN_FAILURE;
    if (r.env != r.in) memmove(r.env, r.in, TGX_CT_CTL_SIZE);
    drv_wr32(r.env + TGX_CT_CTL_OFF_STATUS, refuse);
    if (refuse) return PLAT_ERR_GEN_FAILURE;
    r.returned = TGX_CT_CTL_SIZE;
    return 0;
}

// 0x800001C0 sent without an overlapped request: the driver cannot keep it.
uint32_t req_ct_post_sync(DrvRequest&) {
    return PLAT_ERR_INVALID_PARAM;
}

// 0x800001D0: the request a completed receive of this block holds (0 bytes
// returned when none).
uint32_t req_ct_collect(DrvRequest& r) {
    if (!r.in || r.inSize < TGX_CT_RCV_OFF_DATA) return PLAT_ERR_BAD_LENGTH;
    CtEntry e;
    bool have = false;
    {
        std::lock_guard<std::mutex> g(g_ctMu);
        auto it = g_delivered.find(r.in);
        if (it != g_delivered.end()) {
            e = std::move(it->second);
            g_delivered.erase(it);
            have = true;
        }
    }
    r.returned = 0;
    if (!have) return 0;
    uint32_t len = (uint32_t)std::min<size_t>(e.data.size(), r.size - TGX_CT_RCV_OFF_DATA);
    drv_wr32(r.env + TGX_CT_RCV_OFF_GSTYPE, e.gstype);
    drv_wr32(r.env + TGX_CT_RCV_OFF_TAG, e.tag);
    drv_wr32(r.env + TGX_CT_RCV_OFF_LENGTH, len);
    drv_wr32(r.env + TGX_CT_RCV_OFF_STATUS, 0);
    drv_wr32(r.env + 16, 0);
    memcpy(r.env + TGX_CT_RCV_OFF_DATA, e.data.data(), len);
    r.returned = TGX_CT_RCV_OFF_DATA + len;
    return 0;
}

// 0x800001BC: control block in; the response bytes are behind its buffer token.
uint32_t req_ct_response(DrvRequest& r) {
    if (!r.in || r.inSize < TGX_CT_CTL_SIZE) return PLAT_ERR_BAD_LENGTH;
    const uint32_t gstype = drv_rd32(r.in + TGX_CT_CTL_OFF_GSTYPE);
    const uint32_t tag = drv_rd32(r.in + TGX_CT_CTL_OFF_TAG);
    const uint32_t len = drv_rd32(r.in + TGX_CT_CTL_OFF_LENGTH);
    uint32_t room = 0;
    auto* data = static_cast<const uint8_t*>(
        plat_buf_token_lookup(drv_rd32(r.in + TGX_CT_CTL_OFF_BUFFER), &room));
    if (!data || len > room) return PLAT_ERR_INVALID_PARAM;
    CtEntry e;
    e.gstype = gstype;
    e.tag = tag;
    e.data.assign(data, data + len);
    if (!drv_update_function(r, [&](Adapter&, Function& f) {
            std::vector<CtEntry> v = blob_records(f, kBlobResponses);
            v.push_back(e);
            if (v.size() > kResponsesKept) v.erase(v.begin());
            f.blobs[kBlobResponses] = encode_records(v);
            return true;
        }))
        return PLAT_ERR_GEN_FAILURE;
    r.returned = 0;
    return 0;
}

// 0x800001CC: control block in; completes the port's pending receives of its
// gstype with 0 bytes.
uint32_t req_ct_cancel(DrvRequest& r) {
    if (!r.in || r.inSize < TGX_CT_CTL_SIZE) return PLAT_ERR_BAD_LENGTH;
    const uint32_t gstype = drv_rd32(r.in + TGX_CT_CTL_OFF_GSTYPE);
    std::lock_guard<std::mutex> g(g_ctMu);
    for (CtPending* p : g_pending)
        if (p->port == r.port && !p->done && p->gstype == gstype) complete(p, 0);
    r.returned = 0;
    return 0;
}

// 0x800001B0: the whole management command buffer (an envelope) in and out.
uint32_t req_ct_mgmt_command(DrvRequest& r) {
    if (r.in && r.in != r.env) memmove(r.env, r.in, std::min(r.inSize, r.size));
    const uint32_t base = TGX_ENV_HEADER_LENGTH;
    if (r.size < base + TGX_MGMT_OFF_CMD) return PLAT_ERR_BAD_LENGTH;
    uint8_t* p = r.env + base;
    const uint32_t cmdSize = drv_rd32(p + TGX_MGMT_OFF_CMDSIZE);
    if ((uint64_t)base + TGX_MGMT_OFF_CMD + cmdSize > r.size) return PLAT_ERR_BAD_LENGTH;
    uint32_t rc = 0;
    uint8_t* area = p + TGX_MGMT_OFF_CMD + cmdSize;
    uint32_t room = r.size - base - TGX_MGMT_OFF_CMD - cmdSize;
    if (!answer_command(r, p + TGX_MGMT_OFF_CMD, cmdSize, area, room, &rc))
        return PLAT_ERR_GEN_FAILURE;
    drv_wr32(r.env + TGX_ENV_OFF_RETURNCODE, rc);
    r.returnCode = rc;
    r.returned = r.size;
    return 0;
}

// 0x80000208 (HBAAPI envelope on the SCSI port): payload word 0 tells the
// layout: 0 a management command, 0x00FFFF00 | gstype a CT pass-through.
uint32_t req_ct_passthru(DrvRequest& r) {
    uint8_t* p = r.payload;
    const uint32_t word0 = drv_rd32(p);
    const uint32_t cmdSize = drv_rd32(p + TGX_MGMT_OFF_CMDSIZE);
    const uint32_t rspSize = drv_rd32(p + TGX_MGMT_OFF_RSPSIZE);
    const uint32_t cmdOff = word0 == 0 ? TGX_MGMT_OFF_CMD : TGX_CTPT_OFF_CMD;
    if ((uint64_t)cmdOff + cmdSize > r.payloadSize) {
        r.returnCode = (uint32_t)TGX_CT_RC_INVALIDREQ;
        return 0;
    }
    uint32_t room = r.payloadSize - cmdOff - cmdSize;
    if (word0 != 0) room = std::min(room, rspSize);
    uint32_t rc = 0;
    if (!answer_command(r, p + cmdOff, cmdSize, p + cmdOff + cmdSize, room, &rc))
        return PLAT_ERR_GEN_FAILURE;
    r.returnCode = rc;
    return 0;
}

} // namespace hbasim
