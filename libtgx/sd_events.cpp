// SD event registration: callbacks per port for ELS, fabric, SCSI and board
// events of the driver, the event trigger, and the sinks and dispatcher that
// carry delivered events to the callbacks.
//
// A registration is an entry of the port's record (SdRegNode) on its board's
// list: one record per (board, port WWN), four category blocks, one entry per
// subcategory. Its handle is board << 24 | record serial << 8 | category
// index << 4 | subcategory index, checked against the live record.
//
// Delivery: each category has one subscription while it has registrations.
// Its sink (on a service thread) decodes, joins RSCN fragments and queues the
// event; the dispatcher thread takes the queue in order and calls the
// callbacks, holding the callback lock around each item's calls and checking
// each entry again just before its call, so a cleared entry is never called.
// Unregistration clears the entry and, when the dispatcher is calling it at
// that moment, waits by the rule of tgx_internal.h for the dispatcher to
// leave its callbacks (unless it runs on the dispatcher itself, inside a
// callback).
//
// Locks: see wmi_events.h. g_sdApi guards the counters, the category flags
// and subscriptions, the dispatcher handle and record creation; it is never
// held while waiting for a callback or a thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "libtgx/wmi_events.h"

namespace {

// Statuses of the SD exports.
constexpr uint32_t kSdOk = 0;
constexpr uint32_t kSdFailed = 1;
constexpr uint32_t kSdBadBoard = 3;
constexpr uint32_t kSdOtherPort = 4;
constexpr uint32_t kSdBadCategory = 6;
constexpr uint32_t kSdBadSubCategory = 7;
constexpr uint32_t kSdAlreadyRegistered = 9;
constexpr uint32_t kSdNullArgument = 11;
constexpr uint32_t kSdNoMemory = 12;
constexpr uint32_t kSdBadHandle = 14;
constexpr uint32_t kSdNotInitialised = 18;

constexpr uint32_t kSlotsPerCategory = 16;
constexpr uint32_t kDispatcherWaitMs = 60000;

// The four categories. How to add one: a row here (its bit, the subcategory
// limit, the entries used, the class and the counter) and a method row in
// wmi_service.cpp.
// The trace lines of a category's sink; each category has its own wording.
struct SdSinkTexts {
    const char* enter;     // %d: the object count
    const char* undecoded; // %d: the object's number (not every text shows it)
    const char* object;    // %d %x: board, subcategory
    const char* badSubCat; // %x: subcategory; null: dropped silently
    const char* queued;    // %x %x: the item (0) and its length
    const char* woken;     // after queueing; null: none
};
const SdSinkTexts kElsTexts = {
    "ELSEvent Indicate: cnt= %d \n",
    "ELSEvent Indicate: wwn not found - objCnt= %d\n",
    "ELSEvent Indicate: board=%d subCat= 0x%x\n",
    "ElsEvent Indicate: subCat not support 0x%x\n",
    "**ELSEvent: qBuf=%x size=%x\n",
    "ELSEvent: Wakeup Thread to process the data\n",
};
const SdSinkTexts kFabricTexts = {
    "FABRICEvent Indicate: event occured: cnt= %d\n",
    "FabricEvent Indicate: wwn not found objCnt= %d\n",
    "FabricEvent Indicate: board= %d subCat= 0x%x\n",
    "FabricEvent Indicate: subCat not supported 0x%x\n",
    "**FabricEvent: qBuf=  0x%8X payloadSize= 0x%x\n",
    nullptr,
};
const SdSinkTexts kScsiTexts = {
    "\n**SCSIEvent Indicate: cnt= %d\n",
    "ScsiEvent Indicate: wwn not found\n", // the object number is not shown
    "ScsiEvent Indicate: board= %d subCat= 0x%x\n",
    nullptr,
    "**ScsiEvent: qBuf=  0x%8X payloadSize= 0x%X\n",
    nullptr,
};
const SdSinkTexts kBoardTexts = {
    "\n**BOARDEvent Indicate: cnt= %d \n",
    "BoardEvent Indicate: getDataFromWmiEvent failed\n",
    "BoardEvent Indicate: board= %d subCat= 0x%x\n",
    nullptr,
    "**BoardEvent: qBuf=  0x%8X payloadSize= 0x%x\n",
    nullptr,
};

// How to add a category: a row here (its subcategory bound and count, its
// event class, a name for the registration trace, its registration counter
// and its sink's texts), and its bit in the handle layout of libtgx.h.
struct SdCategoryDef {
    uint32_t category;
    uint32_t below; // subcategories accepted: single bits below this
    uint32_t used;  // entries used (subcategory indexes 0 .. used-1)
    const char* query;
    const char* name; // for the registration trace
    uint32_t* counter;
    const SdSinkTexts* texts;
};
const SdCategoryDef kCategories[] = {
    {kSdCatEls, 64, 6, "SELECT * FROM QrlWmiSDELSEvent", "ELS", &g_sdRegCnt, &kElsTexts},
    {kSdCatFabric, 8, 3, "SELECT * FROM QrlWmiSDFabricEvent", "FABRIC", &g_sdFabricRegCnt,
     &kFabricTexts},
    {kSdCatScsi, 128, 7, "SELECT * FROM QrlWmiSDSCSIEvent", "SCSI", &g_sdScsiRegCnt, &kScsiTexts},
    {kSdCatBoard, 8, 3, "SELECT * FROM QrlWmiSDBoardEvent", "Board", &g_sdBoardRegCnt,
     &kBoardTexts},
};
constexpr uint32_t kCategoryCount = sizeof kCategories / sizeof kCategories[0];

int category_index(uint32_t category) {
    for (uint32_t i = 0; i < kCategoryCount; ++i)
        if (kCategories[i].category == category) return (int)i;
    return -1;
}

// Index of a single-bit subcategory 1..64, or -1.
int sub_index(uint32_t sub) {
    for (int i = 0; i < 7; ++i)
        if (sub == (1u << i)) return i;
    return -1;
}

} // namespace

struct RegEvtEntry {
    uint32_t category;
    uint32_t subcategory;
    SdRegNode* owner;
    uint32_t subIndex;
    void* context;
    TGX_SD_CALLBACK callback;
};

struct RegEvtCategory {
    uint32_t subTypeMask;
    RegEvtEntry entries[kSlotsPerCategory];
};

// RegEvtInfo: one per (board, port WWN) with SD registrations.
struct SdRegNode {
    SdRegNode* next;
    SdRegNode* prev;
    uint8_t portWwn[8];
    uint32_t visited;
    uint32_t typeMask;
    RegEvtCategory cats[kCategoryCount];
    uint32_t serial; // 16 bits, names the record in handles
};

// One queued event with its callback record and payload.
struct SdEventItem {
    SdEventItem* next;
    uint32_t board;
    uint8_t wwpn[8];
    uint32_t category;
    uint32_t subCat;
    uint32_t length;
    SdEventData data;
    uint8_t payload[1]; // length - 12 bytes
};

namespace {

struct Dispatcher {
    PlatThread thread;
    PlatEvent wake;
    std::atomic<uint32_t> tid{0};
    bool close = false; // under the queue lock
};

std::recursive_mutex g_sdApi;
std::recursive_mutex g_callbackLock;
thread_local bool t_sdDispatcher = false; // this thread is a dispatcher
// Dispatchers inside a dispatch (their callbacks), for the bounded waits of
// unregistrations; under g_dispatchMu.
std::mutex g_dispatchMu;
std::condition_variable g_dispatchCv;
uint32_t g_dispatching = 0;

// The entry whose callback the dispatcher is calling, per board; under the
// board's registration lock.
struct Calling {
    const SdRegNode* record;
    int ci, si;
};
Calling g_sdCalling[TGX_MAX_BOARDS];
bool g_evtFlag[kCategoryCount];
PlatMgmtSub g_subs[kCategoryCount];
uint32_t g_nextSerial = 1;

// Under the queue lock: the queue and the running dispatcher.
SdEventItem* g_head = nullptr;
SdEventItem* g_tail = nullptr;
Dispatcher* g_disp = nullptr;
// Under g_sdApi: dispatchers told to end that could not be joined then (from
// inside their own callback, or by the rule of tgx_internal.h); joined by the
// next registration or unregistration, or the release. Made on first use and
// freed by the unload's last step (tgx_sd_unload), not by a static
// destructor: the release runs as the process exits, when static objects may
// be gone.
std::vector<Dispatcher*>* g_zombies = nullptr;
std::vector<Dispatcher*>& zombies() {
    if (!g_zombies) g_zombies = new std::vector<Dispatcher*>;
    return *g_zombies;
}

// Under g_sdRscnLock: the SD sink's RSCN assembly per board.
RscnAssembly g_rscn[TGX_MAX_BOARDS];

#define WWN_FMT "%02X%02X%02X%02X%02X%02X%02X%02X"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

uint32_t total_registrations() {
    return g_sdRegCnt + g_sdFabricRegCnt + g_sdScsiRegCnt + g_sdBoardRegCnt;
}

uint32_t make_handle(uint32_t board, const SdRegNode* r, int ci, int si) {
    return board << 24 | (r->serial & 0xFFFF) << 8 | (uint32_t)ci << 4 | (uint32_t)si;
}

// ---- the queue and the dispatcher ---------------------------------------------

void free_items(SdEventItem* it) {
    while (it) {
        SdEventItem* next = it->next;
        free(it);
        it = next;
    }
}

void enqueue(SdEventItem* item) {
    LockRecordEnter(&g_sdEventQueueLock);
    if (!g_disp) {
        // Nothing dispatches (the last registration went meanwhile).
        LockRecordLeave(&g_sdEventQueueLock);
        free(item);
        return;
    }
    item->next = nullptr;
    if (g_tail)
        g_tail->next = item;
    else
        g_head = item;
    g_tail = item;
    plat_event_set(g_disp->wake);
    LockRecordLeave(&g_sdEventQueueLock);
}

// An item for a payload of payloadLen bytes, its callback record filled.
SdEventItem* new_item(uint32_t board, const uint8_t* wwpn, uint32_t category, uint32_t subCat,
                      uint32_t length, const uint8_t* payload, uint32_t payloadLen) {
    auto* it = static_cast<SdEventItem*>(calloc(1, sizeof(SdEventItem) + payloadLen));
    if (!it) return nullptr;
    it->board = board;
    memcpy(it->wwpn, wwpn, 8);
    it->category = category;
    it->subCat = subCat;
    it->length = length;
    it->data.length = length;
    it->data.pZero1 = &it->data.zero1;
    it->data.payload = it->payload;
    memcpy(it->payload, payload, payloadLen);
    return it;
}

// One callback of one port's entry, read under the board's registration lock.
struct Target {
    TGX_SD_CALLBACK cb;
    void* ctx;
    uint8_t wwpn[8];
    const SdRegNode* record;
};

SdRegNode* find_record(uint32_t board, const uint8_t* wwpn) {
    for (SdRegNode* r = g_tgx.sdRegLists[board]; r; r = r->next)
        if (memcmp(r->portWwn, wwpn, 8) == 0) return r;
    return nullptr;
}

// Marks t's entry as being called when it is still registered with the same
// callback (the record is looked for by address: it may have been freed).
bool calling(uint32_t board, const Target& t, int ci, int si) {
    LockRecordEnter(&g_sdRegLocks[board]);
    bool live = false;
    for (SdRegNode* r = g_tgx.sdRegLists[board]; r && !live; r = r->next)
        live = r == t.record && r->cats[ci].entries[si].callback == t.cb;
    if (live) g_sdCalling[board] = Calling{t.record, ci, si};
    LockRecordLeave(&g_sdRegLocks[board]);
    return live;
}

// Calls the callbacks of one item. Held: the callback lock.
void dispatch(SdEventItem* it) {
    const int si = sub_index(it->subCat);
    const int ci = category_index(it->category);
    TraceLog("   Thread: board=%x cat=%x subCat=%x\n", it->board, it->category, it->subCat);
    if (si < 0 || ci < 0 || it->board >= TGX_MAX_BOARDS) {
        TraceLog("   ***Thread: this should not happen subCat=%x\n", it->subCat);
        return;
    }
    std::vector<Target> targets;
    LockRecordEnter(&g_sdRegLocks[it->board]);
    for (SdRegNode* r = g_tgx.sdRegLists[it->board]; r; r = r->next) {
        // Board events go to every port of the board; the others to their port.
        if (it->category != kSdCatBoard && memcmp(r->portWwn, it->wwpn, 8) != 0) continue;
        const RegEvtCategory& c = r->cats[ci];
        const RegEvtEntry& e = c.entries[si];
        if (!(c.subTypeMask & it->subCat) || !e.callback) continue;
        Target t = {e.callback, e.context, {}, r};
        memcpy(t.wwpn, r->portWwn, 8);
        targets.push_back(t);
    }
    LockRecordLeave(&g_sdRegLocks[it->board]);
    for (size_t k = 0; k < targets.size(); ++k) {
        if (!calling(it->board, targets[k], ci, si)) continue; // unregistered meanwhile
        TraceLog("   Thread: Callback board=%x wwn=%x %x %x %x cat=%x subCat=%x\n", it->board,
                 targets[k].wwpn[0], targets[k].wwpn[1], targets[k].wwpn[2], targets[k].wwpn[3],
                 it->category, it->subCat);
        HBA_wwn w;
        memcpy(w.wwn, targets[k].wwpn, 8);
        {
            TgxCallbackScope inCallback;
            targets[k].cb(it->board, w, it->category, it->subCat, targets[k].ctx, &it->data);
        }
        LockRecordEnter(&g_sdRegLocks[it->board]);
        g_sdCalling[it->board] = Calling{};
        LockRecordLeave(&g_sdRegLocks[it->board]);
    }
}

uint32_t WmiSDEventThread(void* arg) {
    auto* d = static_cast<Dispatcher*>(arg);
    d->tid = plat_thread_id();
    t_sdDispatcher = true;
    TraceLog("\nWmiSDEventThread started pR=%x\n", 0u);
    for (;;) {
        LockRecordEnter(&g_sdEventQueueLock);
        SdEventItem* it = d->close ? nullptr : g_head;
        if (it) {
            g_head = it->next;
            if (!g_head) g_tail = nullptr;
        }
        const bool close = d->close;
        LockRecordLeave(&g_sdEventQueueLock);
        if (close) break;
        if (!it) {
            plat_event_wait_scaled(d->wake, kDispatcherWaitMs);
            continue;
        }
        TraceLog("\nWmiSDEventThread Rcv data in queue %x\n", 0u);
        {
            std::lock_guard<std::recursive_mutex> g(g_callbackLock);
            {
                std::lock_guard<std::mutex> m(g_dispatchMu);
                ++g_dispatching;
            }
            dispatch(it);
            {
                std::lock_guard<std::mutex> m(g_dispatchMu);
                --g_dispatching;
            }
            g_dispatchCv.notify_all();
        }
        free(it);
    }
    // Items queued for nobody go with the thread; so do unfinished RSCNs.
    LockRecordEnter(&g_sdEventQueueLock);
    if (g_disp == nullptr || g_disp == d) {
        free_items(g_head);
        g_head = g_tail = nullptr;
    }
    LockRecordLeave(&g_sdEventQueueLock);
    TraceLog("WmiSDEventThread: Exit\n");
    return 0;
}

void free_dispatcher(Dispatcher* d) {
    if (!d) return;
    plat_thread_join(d->thread);
    plat_event_destroy(d->wake);
    delete d;
}

// Starts the dispatcher when none runs. Held: g_sdApi. False when it cannot.
bool startProcessIndicateDataThread() {
    LockRecordEnter(&g_sdEventQueueLock);
    Dispatcher* running = g_disp;
    LockRecordLeave(&g_sdEventQueueLock);
    if (running) return true;
    for (size_t i = 0; i < zombies().size(); ++i) {
        if (zombies()[i]->tid != plat_thread_id()) continue;
        // Re-registered from inside the callback of a dispatcher told to end:
        // it simply goes on.
        Dispatcher* d = zombies()[i];
        zombies().erase(zombies().begin() + (long)i);
        LockRecordEnter(&g_sdEventQueueLock);
        d->close = false;
        g_disp = d;
        LockRecordLeave(&g_sdEventQueueLock);
        return true;
    }
    auto* d = new (std::nothrow) Dispatcher{};
    if (!d) return false;
    d->wake = plat_event_create(false, false);
    TraceLog("startProcessIndicateDataThread: eventHandle= 0x%8X\n", d->wake ? 1u : 0u);
    LockRecordEnter(&g_sdEventQueueLock);
    g_disp = d; // before the thread runs, so that sinks can queue at once
    LockRecordLeave(&g_sdEventQueueLock);
    d->thread = d->wake ? plat_thread_start(WmiSDEventThread, d) : nullptr;
    if (!d->thread) {
        TraceLog("startProcessIndicateDataThread: Failed to CreateThread Error= 0x%8X\n", 0u);
        LockRecordEnter(&g_sdEventQueueLock);
        g_disp = nullptr;
        LockRecordLeave(&g_sdEventQueueLock);
        plat_event_destroy(d->wake);
        delete d;
        return false;
    }
    return true;
}

// Tells the dispatcher to end and takes it out. Held: g_sdApi.
Dispatcher* stop_dispatcher() {
    LockRecordEnter(&g_sdEventQueueLock);
    Dispatcher* d = g_disp;
    g_disp = nullptr;
    if (d) {
        d->close = true;
        plat_event_set(d->wake);
    }
    LockRecordLeave(&g_sdEventQueueLock);
    return d;
}

// True once no dispatcher (other than this thread) runs callbacks, waiting by
// the rule of tgx_internal.h.
bool callbacks_idle() {
    const uint32_t own = t_sdDispatcher ? 1 : 0; // asked from inside its own dispatch
    std::unique_lock<std::mutex> l(g_dispatchMu);
    return g_dispatchCv.wait_for(l, std::chrono::milliseconds(tgx_unregister_bound(true)),
                                 [own] { return g_dispatching <= own; });
}

// Joins a dispatcher taken out, unless this is its own thread or it is still
// in a callback that the rule does not let this caller wait for; it is then
// kept for the next registration or the release to join. False in the latter
// case. Held: nothing.
bool finish_dispatcher(Dispatcher* d, bool release = false) {
    if (!d) return true;
    const bool own = d->tid == plat_thread_id();
    if (own || (!release && !callbacks_idle())) {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        zombies().push_back(d);
        return own;
    }
    free_dispatcher(d);
    return true;
}

// ---- sinks ----------------------------------------------------------------------

// Decodes, joins and queues the events of one category.
void sd_sink(void* ctx, const HbaMgmtEvent* events, uint32_t count) {
    const uint32_t ci = (uint32_t)(uintptr_t)ctx;
    const SdCategoryDef& def = kCategories[ci];
    const SdSinkTexts& t = *def.texts;
    TraceLog(t.enter, (int)count);
    for (uint32_t k = 0; k < count; ++k) {
        SdEventRecord rec;
        uint32_t board = 0;
        if (getDataFromWmiEvent(&events[k], def.category, &rec, &board) != kWmiOk) {
            TraceLog(t.undecoded, (int)(k + 1));
            continue;
        }
        TraceLog(t.object, (int)board, rec.subCat);
        const int si = sub_index(rec.subCat);
        if (si < 0 || rec.subCat >= def.below) {
            if (t.badSubCat) TraceLog(t.badSubCat, rec.subCat);
            continue;
        }
        SdEventItem* item = nullptr;
        if (def.category == kSdCatEls && rec.subCat == kRscnSubCat) {
            RscnComplete done;
            LockRecordEnter(&g_sdRscnLock);
            bool complete = rscn_feed(&g_rscn[board], rec, board, &done, kSdRscnTexts);
            LockRecordLeave(&g_sdRscnLock);
            if (!complete) continue;
            item = new_item(board, done.wwpn, def.category, rec.subCat, done.length, done.payload,
                            done.length - kSdItemHeader);
            free(done.payload);
        } else {
            uint8_t data[kSdDataWords * 4];
            for (uint32_t i = 0; i < kSdDataWords; ++i)
                tgx_wr32(data + 4 * i, rec.data[i]);
            const uint32_t size = rec.datasize < sizeof data ? rec.datasize : sizeof data;
            item = new_item(board, rec.wwpn, def.category, rec.subCat, size + kSdItemHeader, data,
                            size);
        }
        if (!item) continue; // no memory: the event is dropped
        TraceLog(t.queued, 0u, item->length);
        enqueue(item);
        if (t.woken) TraceLog("%s", t.woken);
    }
}

// ---- registration bookkeeping ---------------------------------------------------

// The record of (board, wwpn), made and appended when absent (drop_entry
// removes it again when a failed registration leaves it empty). Held: g_sdApi
// and the board's registration lock.
SdRegNode* record_for(uint32_t board, const uint8_t* wwpn) {
    if (SdRegNode* r = find_record(board, wwpn)) return r;
    auto* r = static_cast<SdRegNode*>(calloc(1, sizeof(SdRegNode)));
    if (!r) {
        TraceLog("**TGX_SD_RegisterForEvent: failed alloc RegEvtInfo \n");
        return nullptr;
    }
    memcpy(r->portWwn, wwpn, 8);
    r->serial = g_nextSerial;
    g_nextSerial = g_nextSerial >= 0xFFFF ? 1 : g_nextSerial + 1;
    SdRegNode** tail = &g_tgx.sdRegLists[board];
    SdRegNode* prev = nullptr;
    while (*tail) {
        prev = *tail;
        tail = &(*tail)->next;
    }
    r->prev = prev;
    *tail = r;
    return r;
}

// Removes one subcategory of a record; unlinks and frees the record when it
// holds nothing more. Held: g_sdApi and the board's registration lock.
void drop_entry(uint32_t board, SdRegNode* r, int ci, int si) {
    RegEvtCategory& c = r->cats[ci];
    c.subTypeMask &= ~(1u << si);
    c.entries[si] = RegEvtEntry();
    if (c.subTypeMask == 0) r->typeMask &= ~kCategories[ci].category;
    if (r->typeMask != 0) return;
    if (r->prev)
        r->prev->next = r->next;
    else
        g_tgx.sdRegLists[board] = r->next;
    if (r->next) r->next->prev = r->prev;
    free(r);
}

// Subscribes category ci when it is not yet. Held: g_sdApi.
bool subscribe(int ci) {
    if (g_evtFlag[ci]) return true;
    PlatMgmtConn c = wmi_connection();
    PlatMgmtSub s = nullptr;
    if (!c || plat_mgmt_subscribe(c, kCategories[ci].query, sd_sink, (void*)(uintptr_t)ci, &s) !=
                  PLAT_MGMT_OK) {
        TraceLog("ExecNotificationQueryAsync failed with = 0x%8X\n", PLAT_MGMT_E_FAILED);
        TraceLog("SD_RegisterForEvent: %s failed\n", kCategories[ci].name);
        return false;
    }
    g_subs[ci] = s;
    g_evtFlag[ci] = true;
    return true;
}

// Ends category ci's subscription. Held: g_sdApi.
void unsubscribe(int ci) {
    if (!g_evtFlag[ci]) return;
    plat_mgmt_cancel(g_subs[ci]);
    g_subs[ci] = nullptr;
    g_evtFlag[ci] = false;
}

// Joins a dispatcher left behind by an earlier last unregistration, unless it
// is this thread's. Held: nothing.
// Joins the dispatchers kept for later, all but this thread's own. A kept
// dispatcher was told to end and starts no callback; one still in its last
// callback is waited for by the rule of tgx_internal.h (the release waits in
// any case), else they stay for the next call.
void reap_zombies(bool release = false) {
    {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        if (zombies().empty()) return;
    }
    if (!release && !callbacks_idle()) return;
    std::vector<Dispatcher*> ended;
    {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        for (size_t i = 0; i < zombies().size();) {
            if (zombies()[i]->tid == plat_thread_id()) {
                ++i;
                continue;
            }
            ended.push_back(zombies()[i]);
            zombies().erase(zombies().begin() + (long)i);
        }
    }
    for (Dispatcher* d : ended)
        free_dispatcher(d);
}

uint32_t check_kind(uint32_t category, uint32_t sub) {
    if (sub_index(sub) < 0) {
        TraceLog("TGX_SD_RegisterForEvent: Subcategory Not Support (sts=7), returning sts= %d, "
                 "returning sts= %d\n",
                 kSdBadSubCategory, kSdBadSubCategory);
        return kSdBadSubCategory;
    }
    int ci = category_index(category);
    if (ci < 0) {
        TraceLog("TGX_SD_RegisterForEvent: Category Not Supported(sts=6), returning sts= %d\n",
                 kSdBadCategory);
        return kSdBadCategory;
    }
    return sub < kCategories[ci].below ? kSdOk : kSdBadSubCategory;
}

uint32_t register_locked(uint32_t board, const uint8_t* wwpn, const uint8_t* node, int ci, int si,
                         void* context, TGX_SD_CALLBACK callback, uint32_t* handle) {
    const SdCategoryDef& def = kCategories[ci];
    const uint32_t sub = 1u << si;
    if (total_registrations() == 0) {
        TraceLog("TGX_SD_RegisterForEvent: Initialize WMI\n");
        if (WMIInitialize() != kWmiOk) {
            TraceLog("TGX_SD_RegisterForEvent: wmiInitialize failed\n");
            return kSdFailed;
        }
    }
    if (!startProcessIndicateDataThread()) return kSdFailed;

    SdRegNode* r = nullptr;
    LockRecordEnter(&g_sdRegLocks[board]);
    r = record_for(board, wwpn);
    uint32_t st = kSdOk;
    if (!r) {
        st = kSdNoMemory;
    } else if ((r->typeMask & def.category) && (r->cats[ci].subTypeMask & sub)) {
        TraceLog("TGX_SD_RegisterForEvent: subEvent already registered\n");
        st = kSdAlreadyRegistered;
    } else {
        r->typeMask |= def.category;
        r->cats[ci].subTypeMask |= sub;
        RegEvtEntry& e = r->cats[ci].entries[si];
        e.category = def.category;
        e.subcategory = sub;
        e.owner = r;
        e.subIndex = (uint32_t)si;
        e.context = context;
        e.callback = callback;
    }
    const uint32_t h = r ? make_handle(board, r, ci, si) : 0;
    LockRecordLeave(&g_sdRegLocks[board]);
    if (st != kSdOk) return st;

    st = wmi_event_enable(board, wwpn, node, def.category, sub);
    if (st == kSdOk) {
        ++*def.counter;
        if (subscribe(ci)) {
            *handle = h;
            TraceLog("SD_RegisterForEvent: Success board= %d reg_handle= 0x%08X\n", board, h);
            return kSdOk;
        }
        --*def.counter;
        wmi_event_disable(board, wwpn, node, def.category, sub);
        st = kSdFailed;
    } else {
        TraceLog("TGX_SD_RegisterForEvent: Enable event failed, free bufs\n");
    }
    // Undo everything this call added, so that a retry starts afresh.
    LockRecordEnter(&g_sdRegLocks[board]);
    drop_entry(board, r, ci, si);
    LockRecordLeave(&g_sdRegLocks[board]);
    return st;
}

// The live record and entry a handle names on board, or null.
SdRegNode* handle_record(uint32_t board, uint32_t handle, int* ci, int* si) {
    if ((handle >> 24) != board) return nullptr;
    *ci = (int)((handle >> 4) & 0xF);
    *si = (int)(handle & 0xF);
    const uint32_t serial = (handle >> 8) & 0xFFFF;
    if (*ci >= (int)kCategoryCount || *si >= (int)kCategories[*ci].used) return nullptr;
    for (SdRegNode* r = g_tgx.sdRegLists[board]; r; r = r->next)
        if (r->serial == serial) return r;
    return nullptr;
}

} // namespace

extern "C" TGX_EXPORT uint32_t TGX_SD_RegisterForEvent(uint32_t board, HBA_wwn portWwn,
                                                       uint32_t category, uint32_t subCategory,
                                                       void* context, uint32_t* handle,
                                                       TGX_SD_CALLBACK callback) {
    const uint8_t* w = portWwn.wwn;
    TraceLog("TGX_SD_RegisterForEvent: board= %d port WWN = " WWN_FMT
             ", evtyp= 0x%x subTyp= 0x%x\n",
             board, WWN_ARGS(w), category, subCategory);
    if (!g_tgx.pAdapterArray) return kSdNotInitialised;
    if (!tgx_board_ok(board)) return kSdBadBoard;
    if (!callback || !handle || !context) return kSdNullArgument;
    *handle = 0;
    if (uint32_t st = check_kind(category, subCategory)) return st;
    uint8_t node[8];
    if (uint32_t st = WmiFindMatchingNodeId(board, w, node)) {
        TraceLog("TGX_SD_RegisterForEvent: Failed to find matching port/node sts= 0x%x \n", st);
        return kSdBadBoard;
    }
    reap_zombies();
    uint32_t st = kSdOk;
    Dispatcher* ending = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        st = register_locked(board, w, node, category_index(category), sub_index(subCategory),
                             context, callback, handle);
        // A failed first registration leaves no dispatcher behind.
        if (st != kSdOk && total_registrations() == 0) ending = stop_dispatcher();
    }
    finish_dispatcher(ending);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_SD_unRegisterForEvent(uint32_t board, HBA_wwn portWwn,
                                                         uint32_t handle) {
    const uint8_t* w = portWwn.wwn;
    TraceLog("TGX_SD_unRegisterForEvent: board= %d reg_handle= 0x%08X Port WWN: " WWN_FMT "\n",
             board, handle, WWN_ARGS(w));
    if (!g_tgx.pAdapterArray) return kSdNotInitialised;
    if (!tgx_board_ok(board)) return kSdFailed;
    reap_zombies();
    Dispatcher* ending = nullptr;
    bool running = false; // the dispatcher was calling the entry as it was cleared
    {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        if (total_registrations() == 0) {
            TraceLog("**UnRegisterForEvent: ERROR - Nothing registered\n");
            return kSdBadHandle;
        }
        if (handle == 0) return kSdBadHandle;
        uint8_t node[8];
        if (uint32_t st = WmiFindMatchingNodeId(board, w, node)) {
            TraceLog("TGX_SD_unRegisterForEvent: Failed to find matching port/node. sts= 0x%x \n",
                     st);
            return kSdBadBoard;
        }
        int ci = 0, si = 0;
        LockRecordEnter(&g_sdRegLocks[board]);
        SdRegNode* r = handle_record(board, handle, &ci, &si);
        const bool live =
            r && (r->typeMask & kCategories[ci].category) && (r->cats[ci].subTypeMask & (1u << si));
        if (!live) {
            LockRecordLeave(&g_sdRegLocks[board]);
            TraceLog("TGX_SD_unRegisterForEvent: Invalid handle\n");
            return kSdBadHandle;
        }
        if (memcmp(r->portWwn, w, 8) != 0) {
            TraceLog("TGX_SD_unRegisterForEvent: Invalid port wwn= %02X.%02X.%02X.%02X.%02X.%02X."
                     "%02X.%02X \n",
                     WWN_ARGS(r->portWwn));
            LockRecordLeave(&g_sdRegLocks[board]);
            return kSdOtherPort;
        }
        RegEvtEntry& e = r->cats[ci].entries[si];
        e.callback = nullptr;
        e.context = nullptr;
        const Calling& now = g_sdCalling[board];
        running = now.record == r && now.ci == ci && now.si == si;
        LockRecordLeave(&g_sdRegLocks[board]);
        const SdCategoryDef& def = kCategories[ci];
        TraceLog("TGX_SD_unRegisterForEvent: evtType= 0x%x evtSubType=0x%x\n", def.category,
                 1u << si);
        if (wmi_event_disable(board, w, node, def.category, 1u << si) != kWmiOk) {
            // The registration stays (without its callback) so that a retry can
            // switch the event off.
            TraceLog("TGX_SD_unRegisterForEvent: Disable event notification failed\n");
            return kSdFailed;
        }
        LockRecordEnter(&g_sdRegLocks[board]);
        drop_entry(board, r, ci, si);
        LockRecordLeave(&g_sdRegLocks[board]);
        if (*def.counter) --*def.counter;
        if (*def.counter == 0) unsubscribe(ci);
        if (total_registrations() == 0) {
            TraceLog("TGX_SD_unRegister: Close all handles\n");
            ending = stop_dispatcher();
        }
    }
    // A callback of the entry that started before it was cleared ends first,
    // by the rule of tgx_internal.h; its own callback may end its entry.
    uint32_t st = kSdOk;
    if (running && !t_sdDispatcher && !callbacks_idle()) st = kSdFailed;
    if (!finish_dispatcher(ending)) st = kSdFailed;
    TraceLog("***TGX_SD_unRegister: %s\n", st == kSdOk ? "Success" : "callback still running");
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_forceWMIEvent(uint32_t board, uint32_t category,
                                                 uint32_t subCategory) {
    TraceLog("TGX_forceWMI: boardm=%d, cat=%x subCat=%x\n", board, category, subCategory);
    if (!tgx_board_ok(board)) return kSdFailed;
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_FORCE_WMI_EVENT, TGX_IOCTL_FORCE_WMI_EVENT, TGX_SIG_ZT);
    if (!env) return kSdFailed;
    tgx_wr32(env.payload(), category);
    tgx_wr32(env.payload() + 4, subCategory);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("forceWMIEvent - IOCTL_ZTX100 Failed 0x%x\n", plat_last_error());
        return kSdFailed;
    }
    return kSdOk;
}

namespace {

// Switches off, best effort, the events of every registration of board: the
// driver would otherwise go on raising them for nobody. Held: g_sdApi.
void switch_off_all(uint32_t board) {
    if (!tgx_board_ok(board)) return;
    for (SdRegNode* r = g_tgx.sdRegLists[board]; r; r = r->next) {
        uint8_t node[8];
        if (WmiFindMatchingNodeId(board, r->portWwn, node) != kWmiOk) continue;
        for (uint32_t ci = 0; ci < kCategoryCount; ++ci)
            for (uint32_t si = 0; si < kCategories[ci].used; ++si)
                if (r->cats[ci].subTypeMask & (1u << si))
                    wmi_event_disable(board, r->portWwn, node, kCategories[ci].category, 1u << si);
    }
}

} // namespace

// Ends every SD registration: subscriptions, records, the dispatcher and
// pending RSCNs (the connection is going away).
void sd_events_stop_all() {
    Dispatcher* ending = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(g_sdApi);
        for (uint32_t ci = 0; ci < kCategoryCount; ++ci) {
            unsubscribe((int)ci);
            *kCategories[ci].counter = 0;
        }
        for (uint32_t b = 0; b < TGX_MAX_BOARDS; ++b) {
            if (!g_tgx.sdRegLists[b]) continue;
            switch_off_all(b);
            tgx_sd_free_list(b);
        }
        ending = stop_dispatcher();
    }
    { std::lock_guard<std::recursive_mutex> wait(g_callbackLock); }
    finish_dispatcher(ending, true);
    reap_zombies(true);
    LockRecordEnter(&g_sdRscnLock);
    for (RscnAssembly& a : g_rscn)
        rscn_reset(&a);
    LockRecordLeave(&g_sdRscnLock);
}

void tgx_sd_unload() {
    std::lock_guard<std::recursive_mutex> g(g_sdApi);
    delete g_zombies;
    g_zombies = nullptr;
}

void tgx_sd_free_list(uint32_t board) {
    if (board >= TGX_MAX_BOARDS) return;
    LockRecordEnter(&g_sdRegLocks[board]);
    SdRegNode* r = g_tgx.sdRegLists[board];
    g_tgx.sdRegLists[board] = nullptr;
    LockRecordLeave(&g_sdRegLocks[board]);
    while (r) {
        SdRegNode* next = r->next;
        free(r);
        r = next;
    }
}
