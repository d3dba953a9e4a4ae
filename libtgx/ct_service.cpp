// CT management service: registration for unsolicited CT requests by GS type
// (QrlTgxRegisterForCTEvents, QrlTgxUnregisterForCTEvents), the answers
// (QrlTgxSendMgmtResponse), management commands (QrlTgxSendMgmtCommand) and
// the CT pass-through (SendCTPassThru); the service's start at discovery and
// its shutdown at release (QrlTgxClose).
//
// Each registration owns a register descriptor, a receive thread and eight
// receive requests that cycle free -> pending (posted to the driver) ->
// receiving (the thread waits for it) -> awaiting response (handed to the
// callback) -> free. The receive thread owns the request it waits for and
// every pending request: only it waits for them, cancels them and reaps them
// as it ends. Unregistration and release only mark the descriptor, ask the
// driver to cancel its receives and join the thread.
//
// Ending follows the rule of tgx_internal.h: no callback starts once the
// registration is marked, and an unregistration that does not wait for the
// receive thread to the end leaves its descriptor stopped (still listed,
// marked, its thread ending on its own) for a later unregistration or the
// release to join and give back.
//
// Lock order: the context lock, then a descriptor's lock; never the other way
// and never across a device request, a callback or a join. The context lock
// guards both descriptor lists, the wildcard flag, each descriptor's
// registered/removing marks and its count of responders; a descriptor's lock
// guards its four request lists and its flags. The closing flag is atomic
// (the receive threads read it without a lock).
#include <sched.h>

#include <cstdlib>

#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the CT service.
constexpr uint32_t kCtOk = 0;
constexpr uint32_t kCtNoDescriptor = 3;
constexpr uint32_t kCtNotRegistered = 4;
constexpr uint32_t kCtClosing = 6;
constexpr uint32_t kCtBadBoard = 7;
constexpr uint32_t kCtNoResources = 248;
constexpr uint32_t kCtInvalidReq = 249;
constexpr uint32_t kCtBadTag = 250;
constexpr uint32_t kCtAlready = 251;
constexpr uint32_t kCtNoMemory = 252;
constexpr uint32_t kCtTimeout = 254;
constexpr uint32_t kCtOverrun = 255;
constexpr uint32_t kCtIoFailed = 0xFFFFFFFFu;
constexpr uint32_t kPassOk = 0;
constexpr uint32_t kPassFailed = 1;

const uint32_t kDescriptors = 8;
const uint32_t kRequests = 8;
const uint32_t kFlagWaitFree = 1;     // the thread waits for a free request
const uint32_t kFlagUnregister = 2;   // the registration is ending
const uint32_t kWaitFreeMs = 3000;    // wait for a response to free a request
const uint32_t kReceiveStepMs = 1000; // a pending receive is checked this often
const uint32_t kUnregisterPauseMs = 100;
const uint32_t kDefaultTimeout = 30;
const uint32_t kMaxResponse = TGX_MGMT_RSP_AREA;

struct CtDesc;

// Lists are intrusive and doubly linked; a request or descriptor is on at
// most one list at a time.
struct CtRecv {
    CtRecv* prev;
    CtRecv* next;
    CtDesc* owner;
    uint8_t* block; // TGX_CT_RCV_SIZE bytes
    PlatPending op; // the driver's pending receive
};
struct RecvList {
    CtRecv* head;
    CtRecv* tail;
};

struct CtContext;

struct CtDesc {
    CtDesc* prev;
    CtDesc* next;
    uint16_t gstype;
    QrlTgxCtCallback callback;
    void* userContext;
    CtContext* ctx;
    RecvList freeQ, pendingQ, awaitingQ, receivingQ;
    CtRecv reqs[kRequests];
    PlatHandle mgmt;
    PlatThread thread;
    uint32_t threadId;    // the receive thread, for refusing calls from its callback
    PlatEvent waitEvent;  // automatic: a request became free
    PlatEvent unregEvent; // automatic: the thread leaves on request
    PlatEvent ended;      // manual: the thread has ended
    LockRecord lock;
    uint32_t flags;      // kFlag*, descriptor lock
    bool inCallback;     // the receive thread runs the callback, descriptor lock
    uint32_t responders; // SendMgmtResponse calls using it, context lock
    bool registered;     // on the registered list, context lock
    bool removing;       // an unregistration or the release owns it, context lock
    bool stopped;        // marked and cancelled, its thread not yet joined, context lock
};
struct DescList {
    CtDesc* head;
    CtDesc* tail;
};

struct CtContext {
    TGXADAPTER* adapter;
    uint32_t status; // of the last descriptor allocation
    DescList freeList, regList;
    CtDesc descs[kDescriptors];
    LockRecord lock;
    uint8_t closing; // atomic
    uint8_t wildcard;
};

// ---- lists ---------------------------------------------------------------------

template <typename L, typename T> void push_back(L& l, T* x) {
    x->next = nullptr;
    x->prev = l.tail;
    if (l.tail)
        l.tail->next = x;
    else
        l.head = x;
    l.tail = x;
}
template <typename L, typename T> void unlink(L& l, T* x) {
    if (x->prev)
        x->prev->next = x->next;
    else
        l.head = x->next;
    if (x->next)
        x->next->prev = x->prev;
    else
        l.tail = x->prev;
    x->prev = x->next = nullptr;
}
template <typename L> auto pop_front(L& l) -> decltype(l.head) {
    auto* x = l.head;
    if (x) unlink(l, x);
    return x;
}

bool closing(const CtContext* c) {
    return __atomic_load_n(&c->closing, __ATOMIC_ACQUIRE) != 0;
}

CtContext* context_of(uint32_t board) {
    if (board >= TGX_MAX_BOARDS || !g_tgx.tgxAdapters[board]) return nullptr;
    return static_cast<CtContext*>(g_tgx.tgxAdapters[board]->ctService);
}

// Sends a control block request on the management handle; false when the
// driver did not accept it.
bool control_block(PlatHandle h, uint32_t code, uint8_t* blk, bool out) {
    uint32_t returned = 0;
    PlatPending op = nullptr;
    uint32_t rc = plat_dev_submit(h, code, blk, TGX_CT_CTL_SIZE, out ? blk : nullptr,
                                  out ? TGX_CT_CTL_SIZE : 0, &returned, &op);
    if (rc == PLAT_ERR_IO_PENDING) rc = plat_dev_wait(op, PLAT_WAIT_INFINITE, &returned);
    return rc == PLAT_ERR_NONE;
}

// ---- descriptors ---------------------------------------------------------------

// Takes a free descriptor for gstype; context lock held.
CtDesc* QrlTgxAllocateRegisterDescr(CtContext* c, uint16_t gstype) {
    if (gstype != TGX_CT_GSTYPE_ALL) {
        for (CtDesc* d = c->regList.head; d; d = d->next) {
            if (d->gstype == gstype) {
                c->status = kCtAlready;
                return nullptr;
            }
        }
    }
    CtDesc* d = pop_front(c->freeList);
    if (!d) {
        c->status = kCtNoDescriptor;
        return nullptr;
    }
    memset(static_cast<void*>(d), 0, sizeof *d);
    d->ctx = c;
    d->gstype = gstype;
    d->registered = true;
    TraceLog("QrlTgxAllocateRegisterDescr: pRegisterDesc=%x adapter=%x adapterNo=%x\n",
             (uint32_t)(uintptr_t)d, (uint32_t)(uintptr_t)c, c->adapter->board);
    push_back(c->regList, d);
    c->status = kCtOk;
    return d;
}

// Gives a descriptor back to the free list; context lock held.
void release_descriptor(CtContext* c, CtDesc* d) {
    if (d->registered) unlink(c->regList, d);
    d->registered = false;
    d->removing = false;
    d->stopped = false;
    push_back(c->freeList, d);
}

// Frees what a descriptor's registration created (its thread has ended).
void free_descriptor_resources(CtDesc* d) {
    plat_event_destroy(d->waitEvent);
    plat_event_destroy(d->unregEvent);
    plat_event_destroy(d->ended);
    d->waitEvent = d->unregEvent = d->ended = nullptr;
    for (CtRecv& r : d->reqs) {
        free(r.block);
        r.block = nullptr;
    }
    LockRecordDelete(&d->lock);
}

// ---- receive thread -------------------------------------------------------------

bool ending(CtDesc* d) {
    LockRecordEnter(&d->lock);
    bool stop = (d->flags & kFlagUnregister) != 0;
    LockRecordLeave(&d->lock);
    return stop || closing(d->ctx);
}

// Posts every free request (QrlTgxRequestRecvNotification).
void post_receives(CtDesc* d) {
    CtRecv* batch[kRequests];
    uint32_t n = 0;
    LockRecordEnter(&d->lock);
    while (n < kRequests && d->freeQ.head)
        batch[n++] = pop_front(d->freeQ);
    LockRecordLeave(&d->lock);
    for (uint32_t i = 0; i < n; ++i) {
        CtRecv* r = batch[i];
        memset(r->block, 0, TGX_CT_RCV_OFF_DATA);
        tgx_wr32(r->block + TGX_CT_RCV_OFF_GSTYPE, d->gstype);
        uint32_t returned = 0;
        r->op = nullptr;
        uint32_t rc = plat_dev_submit(d->mgmt, TGX_IOCTL_MGMT_POST_RECEIVE, r->block,
                                      TGX_CT_RCV_SIZE, nullptr, 0, &returned, &r->op);
        LockRecordEnter(&d->lock);
        if (rc == PLAT_ERR_IO_PENDING || rc == PLAT_ERR_NONE) {
            push_back(d->pendingQ, r); // completed at once: op stays null
        } else {
            TraceLog("QrlTgxRequestRecvNotification: Failed to pend receive request status=%x  "
                     "filehandle=%d\n",
                     rc, (int)(uintptr_t)d->mgmt);
            push_back(d->freeQ, r);
        }
        LockRecordLeave(&d->lock);
    }
}

// Waits for the request's receive to complete; cancels it when the
// registration ends meanwhile. True when it completed without error.
bool wait_receive(CtDesc* d, CtRecv* r) {
    if (!r->op) return true;
    uint32_t returned = 0;
    bool cancelled = false;
    for (;;) {
        uint32_t rc = plat_dev_wait(r->op, kReceiveStepMs, &returned);
        if (rc != PLAT_ERR_IO_PENDING) {
            r->op = nullptr;
            return rc == PLAT_ERR_NONE;
        }
        if (!cancelled && ending(d)) {
            plat_dev_cancel(r->op);
            cancelled = true;
        }
    }
}

// Collects a completed receive (QrlTgxDoRecv) and hands it to the callback.
void deliver(CtDesc* d, CtRecv* r) {
    uint32_t returned = 0;
    bool ok = plat_dev_control(d->mgmt, TGX_IOCTL_MGMT_RECEIVE, r->block, TGX_CT_RCV_SIZE, r->block,
                               TGX_CT_RCV_SIZE, &returned);
    if (!ok || returned < TGX_CT_RCV_OFF_DATA) {
        TraceLog("QrlTgxDoRecv: Error, RcvCnt=%x status=%x\n", returned,
                 ok ? 0u : plat_last_error());
        TraceLog("QrlTgxRcvRequestThread: EventWait cameback. QrlTgxDoRecv recvd no data..Free "
                 "pRecvReq %x\n",
                 (uint32_t)(uintptr_t)r);
        LockRecordEnter(&d->lock);
        push_back(d->freeQ, r);
        LockRecordLeave(&d->lock);
        return;
    }
    uint32_t len = tgx_rd32(r->block + TGX_CT_RCV_OFF_LENGTH);
    if (len > returned - TGX_CT_RCV_OFF_DATA) len = returned - TGX_CT_RCV_OFF_DATA;
    const uint32_t tag = tgx_rd32(r->block + TGX_CT_RCV_OFF_TAG);
    const uint32_t gstype = tgx_rd32(r->block + TGX_CT_RCV_OFF_GSTYPE);
    LockRecordEnter(&d->lock);
    // A registration being ended starts no callback: the request goes back.
    const bool ending = (d->flags & kFlagUnregister) != 0;
    push_back(ending ? d->freeQ : d->awaitingQ, r);
    d->inCallback = !ending;
    LockRecordLeave(&d->lock);
    if (ending) return;
    TraceLog("QrlTgxRcvRequestThread: Call CallBack pRegisterDesc=%x adapterNo=%x\n",
             (uint32_t)(uintptr_t)d, d->ctx->adapter->board);
    {
        TgxCallbackScope inCallback;
        d->callback(d->ctx->adapter->board, gstype, r->block + TGX_CT_RCV_OFF_DATA, len, tag,
                    d->userContext);
    }
    LockRecordEnter(&d->lock);
    d->inCallback = false;
    LockRecordLeave(&d->lock);
}

// The thread's last step: every receive still in the driver is cancelled and
// reaped, so no request outlives the registration.
void reap_pending(CtDesc* d) {
    for (;;) {
        LockRecordEnter(&d->lock);
        CtRecv* r = pop_front(d->pendingQ);
        LockRecordLeave(&d->lock);
        if (!r) return;
        if (r->op) {
            plat_dev_cancel(r->op);
            uint32_t returned = 0;
            while (plat_dev_wait(r->op, kReceiveStepMs, &returned) == PLAT_ERR_IO_PENDING) {
            }
            r->op = nullptr;
        }
        LockRecordEnter(&d->lock);
        push_back(d->freeQ, r);
        LockRecordLeave(&d->lock);
    }
}

// Leaves on an unregistration: clears the mark and tells the unregistrar.
bool unregister_requested(CtDesc* d) {
    LockRecordEnter(&d->lock);
    TraceLog("QrlTgxRcvRequestThread: UnRegisterFlag=%x %x\n", d->flags, (uint32_t)(uintptr_t)d);
    const bool requested = (d->flags & kFlagUnregister) != 0;
    if (requested) d->flags &= ~kFlagUnregister;
    LockRecordLeave(&d->lock);
    if (!requested) return false;
    TraceLog("QrlTgxRcvRequestThread: SetEvent for UnRegisterEvent %x\n",
             (uint32_t)(uintptr_t)d->unregEvent);
    plat_event_set(d->unregEvent);
    TraceLog("**QrlTgxRcvRequestThread: UnRegister In Progress - Exit %x\n",
             (uint32_t)(uintptr_t)d);
    return true;
}

// The oldest pending request, moved to the being-received list; null after
// waiting (up to 3 s) for an answer to free one when none is pending.
CtRecv* next_pending(CtDesc* d) {
    LockRecordEnter(&d->lock);
    CtRecv* r = pop_front(d->pendingQ);
    if (r) {
        push_back(d->receivingQ, r);
        LockRecordLeave(&d->lock);
        return r;
    }
    d->flags |= kFlagWaitFree;
    TraceLog("QrlTgxRcvRequestThread: NO more FreeQueue, Waiting for "
             "Responses...pRegisterDescr=%x\n",
             (uint32_t)(uintptr_t)d);
    const bool unregistering = (d->flags & kFlagUnregister) != 0;
    LockRecordLeave(&d->lock);
    if (!unregistering) plat_event_wait_scaled(d->waitEvent, kWaitFreeMs);
    LockRecordEnter(&d->lock);
    d->flags &= ~kFlagWaitFree;
    LockRecordLeave(&d->lock);
    return nullptr;
}

uint32_t receive_loop(CtDesc* d) {
    while (!closing(d->ctx)) {
        if (unregister_requested(d)) return 0;
        post_receives(d);
        CtRecv* r = next_pending(d);
        if (!r) continue;
        const bool ok = wait_receive(d, r);
        LockRecordEnter(&d->lock);
        unlink(d->receivingQ, r);
        if (!ok) {
            push_back(d->freeQ, r);
            TraceLog("**QrlTgxRcvRequestThread: Wait Failed %x, Free pRecvReq=%p %p %x\n",
                     plat_last_error(), (void*)r, (void*)r->block, d->gstype);
        }
        LockRecordLeave(&d->lock);
        if (ok) deliver(d, r);
    }
    TraceLog("**QrlTgxRcvRequestThread: Closing in progress.. Exit %x\n", (uint32_t)(uintptr_t)d);
    return 0;
}

uint32_t QrlTgxRcvRequestThread(void* arg) {
    auto* d = static_cast<CtDesc*>(arg);
    LockRecordEnter(&d->lock);
    d->threadId = plat_thread_id();
    LockRecordLeave(&d->lock);
    TraceLog("QrlTgxRcvRequestThread: pRegisterDesc=%x pAdapter=%x\n", (uint32_t)(uintptr_t)d,
             (uint32_t)(uintptr_t)d->ctx);
    uint32_t rc = receive_loop(d);
    reap_pending(d);
    plat_event_set(d->ended);
    return rc;
}

// ---- registration -----------------------------------------------------------------

// Asks the driver to cancel the descriptor's receives (QrlTgxCancelReceive).
// The thread takes its requests back as their receives complete.
void QrlTgxCancelReceive(CtDesc* d) {
    TraceLog("QrlTgxCancelReceive\n");
    uint8_t blk[TGX_CT_CTL_SIZE] = {};
    tgx_wr32(blk + TGX_CT_CTL_OFF_GSTYPE, d->gstype);
    if (control_block(d->mgmt, TGX_IOCTL_MGMT_CANCEL_RECEIVE, blk, false))
        TraceLog("QrlTgxCancelReceive: Exit\n");
    else
        TraceLog("QrlTgxCancelReceive: IOCTL_TGX_CANCEL_RECEIVE Error=%x %x\n", plat_last_error(),
                 d->gstype);
}

// Joins the receive thread of a descriptor marked for unregistration once it
// has ended, waiting at most boundMs of real time; false when it has not.
bool join_receiver(CtDesc* d, uint32_t boundMs) {
    TraceLog("QrlTgxUnregisterCtEvent: Wait for RcvRequestThread to finish %x\n",
             (uint32_t)(uintptr_t)d);
    if (plat_event_wait(d->ended, boundMs) != PLAT_WAIT_OK) {
        TraceLog("QrlTgxUnregisterCtEvent: RcvRequestThread still running %x\n",
                 (uint32_t)(uintptr_t)d);
        return false;
    }
    plat_thread_join(d->thread);
    d->thread = nullptr;
    return true;
}

// How long ending d may wait for its receive thread (tgx_internal.h).
uint32_t end_bound(CtDesc* d) {
    LockRecordEnter(&d->lock);
    const bool inCallback = d->inCallback;
    LockRecordLeave(&d->lock);
    return tgx_unregister_bound(inCallback);
}

// Ends one registration whose descriptor this caller marked as removing,
// waiting for its thread by the rule (the release: at most the bound in any
// case). False when the thread has not ended: the descriptor is then left
// stopped, for a later call to end.
bool end_registration(CtContext* c, CtDesc* d, bool release) {
    LockRecordEnter(&c->lock);
    const bool stopped = d->stopped;
    LockRecordLeave(&c->lock);
    if (!stopped) {
        TraceLog("QrlTgxUnregisterCtEvent:Set UnRegisterFlag & call CancelReceive\n");
        LockRecordEnter(&d->lock);
        d->flags |= kFlagUnregister;
        LockRecordLeave(&d->lock);
        QrlTgxCancelReceive(d);
        plat_event_set(d->waitEvent);
        plat_sleep_ms(kUnregisterPauseMs);
    }
    if (!join_receiver(d, release ? kTgxUnregisterBoundMs : end_bound(d))) {
        LockRecordEnter(&c->lock);
        d->stopped = true;
        d->removing = false;
        LockRecordLeave(&c->lock);
        return false;
    }
    // A response in progress may still hold the descriptor (no new one finds
    // it: it is marked as removing).
    for (;;) {
        LockRecordEnter(&c->lock);
        const uint32_t busy = d->responders;
        LockRecordLeave(&c->lock);
        if (busy == 0) break;
        plat_sleep_ms(1);
        sched_yield();
    }
    free_descriptor_resources(d);
    LockRecordEnter(&c->lock);
    TraceLog("QrlTgxUnregisterCtEvent:FreeSynchObject %x\n", (uint32_t)(uintptr_t)d);
    release_descriptor(c, d);
    LockRecordLeave(&c->lock);
    return true;
}

// Ends a registration whatever its thread does (the library is going away).
void end_registration_whole(CtContext* c, CtDesc* d) {
    while (!end_registration(c, d, true)) {
        LockRecordEnter(&c->lock);
        d->removing = true;
        LockRecordLeave(&c->lock);
    }
}

// Creates the events, driver registration, requests and thread of a freshly
// allocated descriptor. A status, kCtOk when the receive thread runs.
uint32_t start_registration(CtContext* c, CtDesc* d, QrlTgxCtCallback cb, void* user) {
    d->unregEvent = plat_event_create(false, false);
    d->waitEvent = plat_event_create(false, false);
    d->ended = plat_event_create(true, false);
    if (!d->unregEvent || !d->waitEvent || !d->ended) {
        TraceLog("QrlTgxRegisterForCtEvent: Failed to Create unRegisterEvent Error=%x\n", 0u);
        return kCtNoResources;
    }
    TraceLog("QrlTgxRegisterForCtEvent: Create unRegisterHandle=%x\n",
             (uint32_t)(uintptr_t)d->unregEvent);
    uint8_t blk[TGX_CT_CTL_SIZE] = {};
    tgx_wr32(blk + TGX_CT_CTL_OFF_GSTYPE, d->gstype);
    if (!control_block(c->adapter->mgmtHandle, TGX_IOCTL_MGMT_REGISTER_CT, blk, true)) {
        uint32_t status = tgx_rd32(blk + TGX_CT_CTL_OFF_STATUS);
        TraceLog("QrlTgxRegisterForCtEvent: I/O Error=%x status=%x\n", plat_last_error(), status);
        return status ? status : kCtNoResources;
    }
    LockRecordInit(&d->lock);
    for (CtRecv& r : d->reqs) {
        r.owner = d;
        r.block = static_cast<uint8_t*>(calloc(1, TGX_CT_RCV_SIZE));
        if (!r.block) return kCtNoResources;
        push_back(d->freeQ, &r);
    }
    d->callback = cb;
    d->userContext = user;
    d->mgmt = c->adapter->mgmtHandle;
    d->thread = plat_thread_start(QrlTgxRcvRequestThread, d);
    if (!d->thread) {
        TraceLog("QrlTgxRegisterForCtEvent: Failed to CreateThread Error=%x\n", 0u);
        return kCtNoResources;
    }
    return kCtOk;
}

// Undoes the registrations of a wildcard plan made so far.
void roll_back(CtContext* c, CtDesc** made, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        LockRecordEnter(&c->lock);
        made[i]->removing = true;
        LockRecordLeave(&c->lock);
        end_registration_whole(c, made[i]);
    }
}

} // namespace

// ---- service start and shutdown ---------------------------------------------------

void tgx_ct_start(TGXADAPTER* adapter) {
    if (!adapter) return;
    adapter->driverKind = 2;
    auto* c = static_cast<CtContext*>(calloc(1, sizeof(CtContext)));
    if (c) {
        c->adapter = adapter;
        LockRecordInit(&c->lock);
        for (CtDesc& d : c->descs) {
            d.ctx = c;
            push_back(c->freeList, &d);
        }
    }
    adapter->ctService = c;
    uint32_t returned = 0;
    plat_dev_control(adapter->mgmtHandle, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &returned);
}

namespace {

// Every registration ends (its receives cancelled, its thread joined) before
// the context and the management handle go.
void QrlTgxClose() {
    TraceLog("QrlTgxClose\n");
    for (TGXADAPTER*& adapter : g_tgx.tgxAdapters) {
        if (!adapter) continue;
        auto* c = static_cast<CtContext*>(adapter->ctService);
        if (c) {
            __atomic_store_n(&c->closing, 1, __ATOMIC_RELEASE);
            for (;;) {
                LockRecordEnter(&c->lock);
                CtDesc* d = c->regList.head;
                while (d && d->removing)
                    d = d->next;
                if (d) d->removing = true;
                LockRecordLeave(&c->lock);
                if (!d) break;
                TraceLog("QrlTgxClose Free PendingReg %x\n", (uint32_t)(uintptr_t)d);
                end_registration_whole(c, d);
            }
            LockRecordDelete(&c->lock);
            free(c);
        }
        if (adapter->mgmtHandle && adapter->mgmtHandle != adapter->scsiHandle)
            plat_dev_close(adapter->mgmtHandle);
        free(adapter);
        adapter = nullptr;
    }
    TraceLog("QrlTgxClose: Exit\n");
}

} // namespace

void tgx_ct_shutdown_all() {
    QrlTgxClose();
}

// ---- exports ------------------------------------------------------------------------

namespace {

// Checks the wildcard rules under the context lock and, for a wildcard
// registration, sets the flag. kCtOk when the registration may go on.
uint32_t check_wildcard(CtContext* c, bool wildcard) {
    uint32_t st = kCtOk;
    LockRecordEnter(&c->lock);
    if (c->wildcard) {
        TraceLog("QrlTgxRegisterForCtEvent: Already Register as WildCard\n");
        st = kCtAlready;
    } else if (wildcard && c->regList.head) {
        TraceLog("QrlTgxRegisterForCtEvent: Gstype Already Exists\n");
        st = kCtAlready;
    } else if (wildcard) {
        c->wildcard = 1;
    }
    LockRecordLeave(&c->lock);
    return st;
}

// One registration of a plan: a descriptor marked as removing (nobody else may
// end it before the whole plan runs) with its receive thread started. A
// status; on failure nothing of this round is left.
uint32_t register_one(CtContext* c, uint16_t gs, QrlTgxCtCallback cb, void* user, CtDesc** out) {
    LockRecordEnter(&c->lock);
    CtDesc* d = QrlTgxAllocateRegisterDescr(c, gs);
    if (d) d->removing = true;
    LockRecordLeave(&c->lock);
    if (!d) return kCtAlready;
    uint32_t st = start_registration(c, d, cb, user);
    if (st != kCtOk) {
        free_descriptor_resources(d); // the thread is the last step: none runs
        LockRecordEnter(&c->lock);
        release_descriptor(c, d);
        LockRecordLeave(&c->lock);
        return st;
    }
    *out = d;
    return kCtOk;
}

void set_removing(CtContext* c, CtDesc** ds, uint32_t n, bool removing) {
    LockRecordEnter(&c->lock);
    for (uint32_t i = 0; i < n; ++i)
        ds[i]->removing = removing;
    LockRecordLeave(&c->lock);
}

void clear_wildcard(CtContext* c) {
    LockRecordEnter(&c->lock);
    c->wildcard = 0;
    LockRecordLeave(&c->lock);
}

} // namespace

extern "C" TGX_EXPORT void* QrlTgxRegisterForCTEvents(uint32_t board, uint32_t gstype,
                                                      QrlTgxCtCallback callback, void* userContext,
                                                      uint32_t* status) {
    uint32_t local = 0;
    if (!status) status = &local;
    TraceLog("QrlTgxRegisterForCTEvents: board=%x gstype=%x\n", board, gstype);
    CtContext* c = context_of(board);
    if (!c || !callback) {
        *status = kCtBadBoard;
        return nullptr;
    }
    if (closing(c)) {
        *status = kCtClosing;
        return nullptr;
    }
    const uint16_t gs = (uint16_t)gstype;
    const bool wildcard = gs == TGX_CT_GSTYPE_ALL;
    *status = check_wildcard(c, wildcard);
    if (*status != kCtOk) return nullptr;

    CtDesc* made[kDescriptors];
    const uint32_t plan = wildcard ? kDescriptors : 1;
    for (uint32_t n = 0; n < plan; ++n) {
        *status = register_one(c, gs, callback, userContext, &made[n]);
        if (*status != kCtOk) {
            roll_back(c, made, n);
            if (wildcard) clear_wildcard(c);
            return nullptr;
        }
    }
    set_removing(c, made, plan, false);
    return wildcard ? static_cast<void*>(c) : static_cast<void*>(made[0]);
}

namespace {

// The registrations an unregistration of eventId ends, marked as removing;
// context lock taken here. *st: kCtOk, kCtNotRegistered, or kStsFailed when
// the caller is one of their receive threads.
uint32_t select_targets(CtContext* c, void* eventId, CtDesc** targets, uint32_t* n, bool* wildcard,
                        uint32_t* st) {
    const uint32_t self = plat_thread_id();
    *n = 0;
    LockRecordEnter(&c->lock);
    *wildcard = c->wildcard != 0;
    bool known = *wildcard && eventId == c;
    for (CtDesc* d = c->regList.head; d; d = d->next) {
        if (d->removing) continue;
        known = known || eventId == d;
        if (*wildcard || eventId == d) targets[(*n)++] = d;
    }
    bool own = false;
    for (uint32_t i = 0; i < *n; ++i) {
        LockRecordEnter(&targets[i]->lock); // context lock, then descriptor lock
        own = own || targets[i]->threadId == self;
        LockRecordLeave(&targets[i]->lock);
    }
    *st = own ? kStsFailed : (known && *n) ? kCtOk : kCtNotRegistered;
    if (*st == kCtOk)
        for (uint32_t i = 0; i < *n; ++i)
            targets[i]->removing = true;
    LockRecordLeave(&c->lock);
    return *st;
}

} // namespace

extern "C" TGX_EXPORT uint32_t QrlTgxUnregisterForCTEvents(uint32_t board, void* eventId) {
    TraceLog("QrlTgxUnregister: AdapterNum=%d, EventId=0x%x\n", (int)board,
             (uint32_t)(uintptr_t)eventId);
    CtContext* c = context_of(board);
    if (!c) return kCtBadBoard;
    CtDesc* targets[kDescriptors];
    uint32_t n = 0, st = kCtOk;
    bool wildcard = false;
    if (select_targets(c, eventId, targets, &n, &wildcard, &st) != kCtOk) return st;
    bool whole = true;
    for (uint32_t i = 0; i < n; ++i)
        whole = end_registration(c, targets[i], false) && whole;
    // The wildcard stays until all eight have ended: its identifier collects
    // the rest.
    if (wildcard && whole) clear_wildcard(c);
    TraceLog("**QrlTgxUnregisterCtEvent: adapter=%x Exit\n", board);
    return whole ? kCtOk : kStsFailed;
}

namespace {

// The request of tag on d's awaiting list, taken off it; descriptor lock free.
CtRecv* take_awaiting(CtDesc* d, uint32_t tag) {
    LockRecordEnter(&d->lock);
    CtRecv* r = d->awaitingQ.head;
    while (r && tgx_rd32(r->block + TGX_CT_RCV_OFF_TAG) != tag)
        r = r->next;
    if (r) unlink(d->awaitingQ, r);
    LockRecordLeave(&d->lock);
    return r;
}

// The descriptor answering gstype (or, with the wildcard, holding tag), with
// its request taken off the awaiting list and a responder counted; context
// lock taken here. *st: kCtNotRegistered or kCtBadTag when none.
CtDesc* find_responder(CtContext* c, uint16_t gstype, uint32_t tag, CtRecv** req, uint32_t* st) {
    *req = nullptr;
    LockRecordEnter(&c->lock);
    CtDesc* found = nullptr;
    for (CtDesc* d = c->regList.head; d && !*req; d = d->next) {
        if (d->removing || (!c->wildcard && d->gstype != gstype)) continue;
        found = d;
        *req = take_awaiting(d, tag);
        if (!c->wildcard) break;
    }
    if (*req) {
        found = (*req)->owner;
        ++found->responders;
    }
    LockRecordLeave(&c->lock);
    if (!found) {
        TraceLog("QrlTgxSendMgmtResponse: GsType Not Registered\n");
        *st = kCtNotRegistered;
        return nullptr;
    }
    if (!*req) {
        TraceLog("QrlTgxSendMgmtResponse: Invalid Tag\n");
        *st = kCtBadTag;
        return nullptr;
    }
    return found;
}

} // namespace

extern "C" TGX_EXPORT uint32_t QrlTgxSendMgmtResponse(uint32_t board, const void* response,
                                                      uint32_t length, uint32_t tag) {
    TraceLog("QrlTgxSendMgmtResponse\n");
    CtContext* c = context_of(board);
    if (!c) return kCtBadBoard;
    const uint8_t* rsp = static_cast<const uint8_t*>(response);
    if (!rsp || length < 5) return kCtNotRegistered; // no GS type to match
    if (length > kMaxResponse) return kCtIoFailed;
    CtRecv* r = nullptr;
    uint32_t st = kCtOk;
    CtDesc* d = find_responder(c, rsp[4], tag, &r, &st);
    if (!d) return st;

    uint32_t result = kCtOk;
    uint8_t blk[TGX_CT_CTL_SIZE] = {};
    const uint32_t token = plat_buf_token_get(rsp, length);
    tgx_wr32(blk + TGX_CT_CTL_OFF_GSTYPE, d->gstype == TGX_CT_GSTYPE_ALL ? rsp[4] : d->gstype);
    tgx_wr32(blk + TGX_CT_CTL_OFF_TAG, tag);
    tgx_wr32(blk + TGX_CT_CTL_OFF_BUFFER, token);
    tgx_wr32(blk + TGX_CT_CTL_OFF_LENGTH, length);
    if (!token || !control_block(d->mgmt, TGX_IOCTL_MGMT_SEND_RSP, blk, false)) {
        uint32_t err = token ? plat_last_error() : PLAT_ERR_NO_MEMORY;
        TraceLog("QrlTgxSendMgmtResp: IO failed 0x%x(%d), AdapterNum=%d, tag=%x status=%x\n", err,
                 (int)err, (int)board, tag, tgx_rd32(blk + TGX_CT_CTL_OFF_STATUS));
        result = kCtIoFailed;
    }
    plat_buf_token_release(token);

    LockRecordEnter(&d->lock);
    push_back(d->freeQ, r);
    if (d->flags & kFlagWaitFree) {
        d->flags &= ~kFlagWaitFree;
        plat_event_set(d->waitEvent);
    }
    LockRecordLeave(&d->lock);
    LockRecordEnter(&c->lock);
    --d->responders;
    LockRecordLeave(&c->lock);
    return result;
}

namespace {

struct RcText {
    int32_t rc;
    const char* text;
    uint32_t status;
};
// Management command ReturnCodes that are not a response length. How to add a
// row: the driver's code, the logged text (one %x: the code) and the status.
const RcText kMgmtRcTable[] = {
    {TGX_CT_RC_TIMEOUT, "QrlTgxSendMgmtCmd: error= GETCTINFO_RETVAL_TIMEOUT (%xh) \n", kCtTimeout},
    {TGX_CT_RC_NOTAVAIL, "QrlTgxSendMgmtCmd: error= GETCTINFO_RETVAL_NOTAVAIL (%xh) \n",
     kCtTimeout},
    {TGX_CT_RC_INVALIDREQ, "QrlTgxSendMgmtCmd: error= GETCTINFO_RETVAL_INVALIDREQ (%xh) \n",
     kCtInvalidReq},
    {TGX_CT_RC_DATAOVERRUN, "QrlTgxSendMgmtCmd: error= GETCTINFO_RETVAL_DATAOVERRUN (%xh) \n",
     kCtOverrun},
};

uint32_t mgmt_error(int32_t rc) {
    for (const RcText& t : kMgmtRcTable) {
        if (t.rc == rc) {
            TraceLog(t.text, (uint32_t)rc);
            return t.status;
        }
    }
    TraceLog("QrlTgxSendMgmtCmd: error= Unknown status (%xh) \n", (uint32_t)rc);
    return kCtIoFailed;
}

// Sends the command buffer; false when the device call failed.
bool send_mgmt(const TGXADAPTER* a, TgxEnvelope& env) {
    if (a->driverKind == 0) return tgx_env_send(a->scsiHandle, env);
    uint32_t returned = 0;
    if (plat_dev_control(a->mgmtHandle, TGX_IOCTL_MGMT_SEND_CMD, env.bytes(), env.size, env.bytes(),
                         env.size, &returned))
        return true;
    if (plat_last_error() == PLAT_ERR_IO_PENDING) TraceLog("QrlTgxSendMgmtCmd: error=IO_PENDING\n");
    return false;
}

} // namespace

extern "C" TGX_EXPORT uint32_t QrlTgxSendMgmtCommand(uint32_t board, const uint8_t* destination,
                                                     const void* command, uint32_t cmdSize,
                                                     void* response, uint32_t* rspSize,
                                                     uint32_t timeout) {
    const uint32_t want = rspSize ? *rspSize : 0;
    const uint64_t bufSize = (uint64_t)cmdSize + TGX_MGMT_EXTRA;
    TraceLog("QrlTgxSendMgmtCommand: board=%x cmdSize=%x rspSize=%x bufSize=%x\n", board, cmdSize,
             want, (uint32_t)bufSize);
    TgxEnvelope env;
    if (bufSize <= 0xFFFFFFFFull)
        env = tgx_env_alloc((uint32_t)bufSize, TGX_IOCTL_HBA_CT_PASSTHRU, TGX_SIG_HBAAPI);
    if (!env) {
        TraceLog("**QrlTgxSendMgmtCommand: Insufficent resources\n");
        return kCtNoMemory;
    }
    CtContext* c = context_of(board);
    if (!c || !destination || (!command && cmdSize) || !rspSize || (!response && want))
        return kCtBadBoard;
    tgx_wr32(env.bytes() + TGX_ENV_OFF_TIMEOUT, timeout ? timeout : kDefaultTimeout);
    uint8_t* p = env.payload();
    tgx_wr32(p + TGX_MGMT_OFF_CMDSIZE, cmdSize);
    tgx_wr32(p + TGX_MGMT_OFF_RSPSIZE, want);
    memcpy(p + TGX_MGMT_OFF_DEST, destination, 8);
    tgx_copy(p + TGX_MGMT_OFF_CMD, command, cmdSize);
    TraceDump(p, TGX_MGMT_OFF_CMD + 4);
    TraceDump(p + TGX_MGMT_OFF_CMD, cmdSize);

    *rspSize = 0;
    if (!send_mgmt(c->adapter, env)) {
        TraceLog("QrlTgxSendMgmtCmd: IO_Failed, Err=%x\n", plat_last_error());
        return kCtIoFailed;
    }
    const int32_t rc = (int32_t)tgx_env_rc(env);
    TraceLog("QrlTgxSendMgmtCommand: rtnCode=%x rtnLength=%x rspSize=%x\n", (uint32_t)rc,
             rc > 0 ? (uint32_t)rc : 0u, want);
    uint32_t status = kCtOk;
    if (rc > 0) {
        uint32_t len = (uint32_t)rc;
        if (len > want) {
            TraceLog("QrlTgxSendMgmtCmd: ReturnLength=%x is bigger than rspSize\n", len);
            len = want;
        }
        if (len > TGX_MGMT_RSP_AREA) len = TGX_MGMT_RSP_AREA;
        tgx_copy(response, p + TGX_MGMT_OFF_CMD + cmdSize, len);
        TraceDump(response, len);
        *rspSize = len;
    } else {
        status = mgmt_error(rc);
    }
    TraceLog("QrlTgxSendMgmtCommand: Exit status=%x\n", status);
    return status;
}

extern "C" TGX_EXPORT uint32_t SendCTPassThru(uint32_t board, const void* command, uint32_t cmdSize,
                                              void* response, uint32_t rspSize) {
    if (!tgx_board_ok(board) || rspSize == 0 || !response || (!command && cmdSize))
        return kPassFailed;
    const uint64_t size = (uint64_t)cmdSize + rspSize + TGX_CTPT_EXTRA;
    TgxEnvelope env;
    if (size <= 0xFFFFFFFFull)
        env = tgx_env_alloc((uint32_t)size, TGX_IOCTL_HBA_CT_PASSTHRU, TGX_SIG_HBAAPI);
    if (!env) {
        TraceLog("SendCTPassThru: malloc FAILED\n");
        return kPassFailed;
    }
    const uint8_t* cmd = static_cast<const uint8_t*>(command);
    uint8_t* p = env.payload();
    tgx_wr32(p, TGX_CTPT_TAG | (cmdSize > 4 ? cmd[4] : 0u));
    tgx_wr32(p + TGX_MGMT_OFF_CMDSIZE, cmdSize);
    tgx_wr32(p + TGX_MGMT_OFF_RSPSIZE, rspSize);
    tgx_copy(p + TGX_CTPT_OFF_CMD, cmd, cmdSize);
    if (!tgx_env_send(tgx_entry(board)->handle, env)) {
        TraceLog("SendCTPassThru: IOCTL_GET_CT_INFO Failed I/O NTstatus = %d, GetLastError=%x\n", 0,
                 plat_last_error());
        return kPassFailed;
    }
    const int32_t rc = (int32_t)tgx_env_rc(env);
    if (rc <= 0) {
        if (rc >= TGX_CT_RC_DATAOVERRUN)
            TraceLog("SendCTPassThru: CT_ERROR=%d status=%x\n", rc, (uint32_t)rc);
        else
            TraceLog("SendCTPassThru: CT_UNDEFINED_ERROR=%d status=%x\n", rc, (uint32_t)rc);
        return kPassFailed;
    }
    const uint8_t* rsp = p + TGX_CTPT_OFF_CMD + cmdSize;
    memcpy(response, rsp, rspSize);
    TraceLog("SendCTPassThru: CT_SUCCESS=%d status=%x, rspcmd=%02x%02x\n", rc, (uint32_t)rc,
             rspSize > 8 ? rsp[8] : 0u, rspSize > 9 ? rsp[9] : 0u);
    return kPassOk;
}
