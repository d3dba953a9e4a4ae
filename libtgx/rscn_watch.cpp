// RSCN watchers: a thread per TGX_RegisterForEvent registration of mask 2
// (RSCNs of the physical port) or 64 (RSCNs of its virtual ports), serving
// the registration's event slot. A watcher switches the driver's RSCN event
// (ELS subcategory 32) on for its ports, subscribes its own sink to the ELS
// events, and calls the caller's callback with the pages of each RSCN for its
// ports, on its own thread.
//
// The sink (on a service thread) keeps only RSCNs of the watcher's board,
// joins their fragments, queues them under the watcher's queue lock and sets
// the slot's wake event; the thread takes the queue. Stopping: the
// unregistration sets the slot's stop flag under the entry lock and the wake
// event; the thread sees it, and holding the entry lock cancels its
// subscription (which waits for a sink call in flight), switches its events
// off (reference-counted with SD registrations of the same port), drops what
// is queued, clears the stop flag and ends. events.cpp joins the thread, so
// no callback runs once its unregistration has returned.
//
// The watcher's own record belongs to its thread: made by the registrar,
// handed over when the thread starts, freed by the thread as it ends.
#include <atomic>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "libtgx/wmi_events.h"

namespace {

constexpr uint32_t kOutSzMin = 8, kOutSzMax = 1024;
constexpr uint32_t kVportMax = 256;
constexpr uint32_t kPollMs = 1000; // the thread looks at its stop flag at least this often
// An RSCN names at least one page (4 bytes); one without pages has nothing to
// hand on. A single page is the common case: one port of the fabric changed.
constexpr uint32_t kMinPageBytes = 4;
const char kElsQuery[] = "SELECT * FROM QrlWmiSDELSEvent";

// Exit codes of the watcher threads.
enum : uint32_t {
    kExitOk = 0,
    kExitNoPortAttributes = 1,
    kExitNoNotifyEvent = 2,
    kExitNoNode = 3,          // port watcher
    kExitEnableRefused = 4,   // port watcher
    kExitSubscribeFailed = 5, // port watcher; the virtual-port watcher uses 3
    kExitVportSubscribe = 3,
    kExitStarting = 0xFFFFFFFFu,
};

struct Port {
    uint8_t wwpn[8];
    uint8_t node[8];
    bool enabled;
};

struct Watcher {
    uint32_t id;
    uint32_t board;
    bool vport;
    void* callback;
    EventSlot* slot;
    AdapterEntry* entry;
    PlatEvent notify = nullptr; // the slot's wake event: queued items or stop
    PlatEvent ready = nullptr;  // manual: the thread is running or has ended
    std::atomic<uint32_t> exitCode{kExitStarting};
    uint8_t portWwn[8] = {};
    std::vector<Port> ports; // the physical port, or the virtual ports listed at start
    PlatMgmtSub sub = nullptr;
    // Under qmu: the queue and the sink's RSCN assembly.
    std::mutex qmu;
    std::deque<RscnComplete> queue;
    RscnAssembly rscn = {};
};

thread_local bool t_watcherThread = false; // this thread is an RSCN watcher
std::mutex g_idMu;                         // the id counter
uint32_t g_nextId = 1;

#define WWN_FMT "%2.2X.%2.2X.%2.2X.%2.2X.%2.2X.%2.2X.%2.2X.%2.2X"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

const char* prefix(const Watcher* w) {
    return w->vport ? "LibTgxVPortRscnEventThread" : "LibTgxRscnEventThread";
}

// The watcher's sink: RSCNs of its board, fragments joined, queued.
void watcher_sink(void* ctx, const HbaMgmtEvent* events, uint32_t count) {
    auto* w = static_cast<Watcher*>(ctx);
    TraceLog("QrlWmiEventELS Indicate: this->%x, board=%d, cnt= %d \n", w->id, w->board, count);
    for (uint32_t k = 0; k < count; ++k) {
        SdEventRecord rec;
        uint32_t board = 0;
        if (getDataFromWmiEvent(&events[k], kSdCatEls, &rec, &board) != kWmiOk ||
            board != w->board) {
            TraceLog("QrlWmiEventELS Indicate: RSCN not for this port wwn - objCnt= %d\n", k + 1);
            continue;
        }
        TraceLog("QrlWmiEventELS Indicate: board inst= %d, subCat= 0x%x\n", board, rec.subCat);
        if (rec.subCat != kRscnSubCat) {
            // Only RSCNs are the watcher's business.
            TraceLog("QrlWmiEventELS: subCat not support 0x%x\n", rec.subCat);
            continue;
        }
        RscnComplete done;
        std::lock_guard<std::mutex> g(w->qmu);
        if (!rscn_feed(&w->rscn, rec, w->board, &done, kWatcherRscnTexts)) continue;
        TraceLog("**QrlWmiEventELS: qBuf=%x size=%x\n", 0u, done.length);
        w->queue.push_back(done);
        TraceLog("Post Rscn Event: hNotify = %xh, QData - %x \n", w->id, 0u);
        plat_event_set(w->notify);
    }
}

// Calls the callback for one RSCN when it is for the watcher's kind of port;
// false when the watcher is asked to stop (no callback starts then).
bool deliver(Watcher* w, const RscnComplete& item) {
    TraceLog(w->vport ? "VPort Rscn Event: QData - %x \n" : "PhyPort Rscn Event: QData - %x \n",
             item.length);
    const uint8_t* pages = nullptr;
    uint32_t bytes = 0;
    uint8_t wwpn[8];
    if (!rscn_pages(item.payload, item.length, &pages, &bytes, wwpn) || bytes < kMinPageBytes) {
        TraceLog("%s - payload data too small. length = %d\n", prefix(w), item.length);
        return true;
    }
    const bool own = memcmp(wwpn, w->portWwn, 8) == 0;
    if (own == w->vport) return true; // not this watcher's kind of port
    if (!tgx_slot_callback_begin(w->entry, w->slot)) {
        LockRecordLeave(&w->entry->lock);
        return false;
    }
    {
        TgxCallbackScope inCallback;
        if (!w->vport) {
            reinterpret_cast<TGX_PortRscnCallback>(w->callback)(w->board, pages, bytes);
        } else {
            HBA_wwn v;
            memcpy(v.wwn, wwpn, 8);
            reinterpret_cast<TGX_VPortRscnCallback>(w->callback)(w->board, v, pages, bytes);
        }
    }
    tgx_slot_callback_end(w->entry, w->slot);
    return true;
}

// Delivers what is queued, until the watcher is asked to stop.
void drain(Watcher* w) {
    for (;;) {
        RscnComplete item;
        {
            std::lock_guard<std::mutex> g(w->qmu);
            if (w->queue.empty()) return;
            item = w->queue.front();
            w->queue.pop_front();
        }
        const bool goOn = deliver(w, item);
        free(item.payload);
        if (!goOn) return;
    }
}

// Switches the RSCN event of the watcher's ports on; false (port watcher
// only) when that failed, with the exit code set.
bool enable_ports(Watcher* w) {
    for (Port& p : w->ports) {
        uint32_t st = WmiFindMatchingNodeId(w->board, p.wwpn, p.node);
        if (st != kWmiOk) {
            TraceLog("%s: Failed to find matching port/node sts= 0x%x \n", prefix(w), st);
            TraceLog("port wwn=" WWN_FMT " \n", WWN_ARGS(p.wwpn));
            if (!w->vport) {
                w->exitCode = kExitNoNode;
                return false;
            }
            continue;
        }
        st = wmi_event_enable(w->board, p.wwpn, p.node, kSdCatEls, kRscnSubCat);
        if (st != kWmiOk) {
            TraceLog(w->vport ? "LibTgxVPortRscnEventThread: Enable event failed status = %x\n"
                              : "RegisterPortRscnEvent: Enable event failed status = %x\n",
                     st);
            TraceLog("port wwn=" WWN_FMT " \n", WWN_ARGS(p.wwpn));
            TraceLog("node wwn=" WWN_FMT " \n", WWN_ARGS(p.node));
            if (!w->vport) {
                w->exitCode = kExitEnableRefused;
                return false;
            }
            continue;
        }
        p.enabled = true;
    }
    return true;
}

void disable_ports(Watcher* w) {
    for (Port& p : w->ports) {
        if (!p.enabled) continue;
        if (wmi_event_disable(w->board, p.wwpn, p.node, kSdCatEls, kRscnSubCat) != kWmiOk)
            TraceLog("RscnEventControl: Disable event notification failed\n");
        else
            TraceLog("RscnEventControl: Success\n");
        p.enabled = false;
    }
}

// Everything up to the ready point; false with the exit code set.
bool start_watch(Watcher* w) {
    HBA_PortAttributes pa;
    if (GetAdapterPortAttributes(w->board, 0, &pa) != 0) {
        TraceLog("%s - failed to get Port Attributes %x\n", prefix(w), 1u);
        w->exitCode = kExitNoPortAttributes;
        return false;
    }
    memcpy(w->portWwn, pa.PortWWN, 8);
    if (!w->vport) {
        Port p = {};
        memcpy(p.wwpn, pa.PortWWN, 8);
        w->ports.push_back(p);
    }
    if (!w->notify) {
        TraceLog("%s - thread context EventNotifyHandle is NULL\n", prefix(w));
        w->exitCode = kExitNoNotifyEvent;
        return false;
    }
    if (!enable_ports(w)) return false;
    PlatMgmtConn c = wmi_connection();
    if (!c || plat_mgmt_subscribe(c, kElsQuery, watcher_sink, w, &w->sub) != PLAT_MGMT_OK) {
        TraceLog("%s - failed to register for WMI RSCN event \n", prefix(w));
        disable_ports(w);
        w->sub = nullptr;
        w->exitCode = w->vport ? kExitVportSubscribe : kExitSubscribeFailed;
        return false;
    }
    return true;
}

// Waits for queued RSCNs or the stop flag; returns holding the entry lock
// when the watcher is to stop.
bool wait_for_work(Watcher* w) {
    plat_event_wait_scaled(w->notify, kPollMs);
    LockRecordEnter(&w->entry->lock);
    if (w->slot->stop) return true;
    LockRecordLeave(&w->entry->lock);
    return false;
}

// The closing sequence, entry lock held: nothing of the watcher remains.
void close_watch(Watcher* w) {
    TraceLog(w->vport ? "LibTgxVPortRscnEventThread: Closing Thread \n"
                      : "LibTgxRscnEventThread - Closing Thread \n");
    plat_mgmt_cancel(w->sub); // no sink call runs after this
    w->sub = nullptr;
    disable_ports(w);
    std::lock_guard<std::mutex> g(w->qmu);
    for (RscnComplete& item : w->queue)
        free(item.payload);
    w->queue.clear();
    rscn_reset(&w->rscn);
}

uint32_t watcher_main(void* arg) {
    auto* w = static_cast<Watcher*>(arg);
    t_watcherThread = true;
    LockRecordEnter(&w->entry->lock);
    w->slot->threadId = plat_thread_id();
    LockRecordLeave(&w->entry->lock);
    TraceLog("%s - ThreadContext = %Xh\n", prefix(w), w->id);
    if (!start_watch(w)) {
        const uint32_t code = w->exitCode;
        TraceLog("%s: board = %d - EXIT code = %u\n", prefix(w), w->board, code);
        plat_event_set(w->ready); // the registrar joins this thread and frees the record
        return code;
    }
    w->exitCode = kExitOk;
    plat_event_set(w->ready); // the registrar may return now; the record is the thread's
    while (!wait_for_work(w))
        drain(w);
    close_watch(w);
    const uint32_t board = w->board;
    const char* who = prefix(w);
    w->slot->stop = 0;
    PlatEvent ended = w->slot->ended;
    LockRecordLeave(&w->entry->lock);
    TraceLog("%s: board = %d - EXIT code = 0\n", who, board);
    plat_event_destroy(w->ready);
    delete w;
    plat_event_set(ended); // the unregistration joins the thread now
    return kExitOk;
}

PlatThread register_watcher(uint32_t board, uint32_t outSz, EventSlot* slot, bool vport) {
    const char* who = vport ? "WmiRegisterVPortRscn" : "WmiRegisterPortRscn";
    TraceLog("%s - board %d, pR = %Xh\n", who, board, 0u);
    if (!tgx_board_ok(board) || !slot || !slot->callback || !slot->wake) return nullptr;
    if (outSz < kOutSzMin || outSz > kOutSzMax) {
        TraceLog("%s: invalid outsz value =%d\n", who, outSz);
        return nullptr;
    }
    if (WMIInitialize() != kWmiOk) {
        TraceLog("%s: wmiInitialize failed\n", who);
        return nullptr;
    }
    auto* w = new (std::nothrow) Watcher;
    if (!w) return nullptr;
    w->board = board;
    w->vport = vport;
    w->callback = slot->callback;
    w->slot = slot;
    w->entry = tgx_entry(board);
    w->notify = slot->wake;
    if (vport) {
        std::vector<uint8_t> buf(4 + sizeof(VPortListEntry) * kVportMax);
        auto* list = reinterpret_cast<VPortList*>(buf.data());
        list->count = kVportMax;
        uint32_t st = TGX_VPGetList(board, list);
        if (st != 0) {
            TraceLog("WmiRegisterVPortRscn: failed to get VP list, status =%xh\n", st);
            delete w;
            return nullptr;
        }
        const uint32_t n = list->count < kVportMax ? list->count : kVportMax;
        for (uint32_t i = 0; i < n; ++i) {
            Port p = {};
            memcpy(p.wwpn, list->entries[i].wwpn, 8);
            w->ports.push_back(p);
        }
    }
    {
        std::lock_guard<std::mutex> g(g_idMu);
        w->id = g_nextId++;
    }
    LockRecordEnter(&w->entry->lock);
    slot->outSz = outSz; // kept only: deliveries hand over the pages whole
    slot->stop = 0;
    LockRecordLeave(&w->entry->lock);
    w->ready = plat_event_create(true, false);
    PlatThread t = w->ready ? plat_thread_start(watcher_main, w) : nullptr;
    if (!t) {
        plat_event_destroy(w->ready);
        delete w;
        return nullptr;
    }
    TraceLog("%s - board %d, hThread = %x, ThreadID= %x\n", who, board, w->id, 0u);
    PlatEvent ready = w->ready;
    while (plat_event_wait_scaled(ready, kPollMs) != PLAT_WAIT_OK) {
    }
    // Once ready the record may already be gone with the thread; the exit code
    // of a failed start is read only after the join.
    uint32_t code = w->exitCode.load();
    if (code == kExitOk) return t;
    code = plat_thread_join(t);
    TraceLog("%s - event thread failed to initialize.  exit code = %x\n", who, code);
    plat_event_destroy(w->ready);
    delete w;
    return nullptr;
}

void unregister_watcher(EventSlot* slot, bool vport) {
    const char* who = vport ? "WmiUnRegisterVPortRscn" : "WmiUnRegisterPortRscn";
    AdapterEntry* e = slot ? tgx_entry(slot->board) : nullptr;
    if (!e) return;
    TraceLog("%s - board %d, hThread = %x\n", who, slot->board, 0u);
    LockRecordEnter(&e->lock);
    slot->stop = 1;
    slot->type = 0;
    plat_event_set(slot->wake);
    LockRecordLeave(&e->lock);
    // events.cpp joins the thread: its return is the end of every callback.
    TraceLog("%s - EXIT - board %d, hThread = %x\n", who, slot->board, 0u);
}

} // namespace

bool rscn_watch_on_watcher_thread() {
    return t_watcherThread;
}

PlatThread WmiRegisterPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    return register_watcher(board, outSz, slot, false);
}

PlatThread WmiRegisterVPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot) {
    return register_watcher(board, outSz, slot, true);
}

void WmiUnRegisterPortRscn(EventSlot* slot) {
    unregister_watcher(slot, false);
}

void WmiUnRegisterVPortRscn(EventSlot* slot) {
    unregister_watcher(slot, true);
}
