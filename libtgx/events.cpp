// Driver event registration: TGX_RegisterForEvent and TGX_unRegisterForEvent.
// Each registration takes one of the board's four event slots and a watcher
// thread: dump (mask 16) and temperature (mask 32) events are polled from the
// driver here; the RSCN kinds (2 and 64) are watched by the RSCN watchers.
//
// Locks: the adapter entry's lock guards every slot's type, state, stop flag
// and joining mark. It is the only lock of this file and it is never held
// across a driver request, a callback, a thread start or a join, so nothing
// nests inside it (the RSCN watchers hold it through their closing sequence,
// where they take no other lock of this file).
//
// Slot life: FREE -> STARTING (claimed by a registration) -> RUNNING (the
// identifier has been handed out) -> STOPPING (an unregistration asked the
// watcher to end) -> FREE once the thread has been joined and its events
// closed. A STOPPING slot cannot be claimed, so a slot is never reused while
// its old watcher may still run. A watcher starts a callback only while its
// slot is not asked to stop, so an unregistration that does not wait to the
// end (the rule in tgx_internal.h) leaves a slot STOPPING whose watcher ends
// when its callback returns; the next unregistration of the slot, or of all
// slots, or the release joins it.
#include <sched.h>

#include <cerrno>

#include "libtgx/tgx_internal.h"

namespace {

const uint32_t kDumpPollMs = 30000;
const uint32_t kTempPollMs = 5000;
const uint32_t kUnregisterPauseMs = 100;
const uint32_t kEventRequestSize = TGX_SIZE_EVENT_REQUEST;
const uint32_t kDumpOpPoll = 0;
const uint32_t kDumpOpRegister = 1;
const uint32_t kDumpOpUnregister = 2;
const uint32_t kDumpRcRefused = 1;
const uint32_t kDumpBits = 0xF0000000u; // bit 31 or any of bits 28-30
const uint32_t kTempNotSupported = 0xFFFFFFFFu;

bool temp_event(uint32_t type) {
    return type >= 1 && type <= 3;
}

// One event request (36 bytes): word 0 in, both words out. False when the
// device call failed.
bool event_request(PlatHandle h, uint32_t code, uint32_t word0, uint32_t* rc, uint32_t* w0,
                   uint32_t* w1, TgxEnvelope* keep = nullptr) {
    TgxEnvelope env = tgx_env_alloc(kEventRequestSize, code, TGX_SIG_ZT);
    if (!env) return false;
    tgx_wr32(env.payload(), word0);
    if (!tgx_env_send(h, env)) return false;
    *rc = tgx_env_rc(env);
    *w0 = tgx_rd32(env.payload());
    *w1 = tgx_rd32(env.payload() + 4);
    if (keep) *keep = std::move(env);
    return true;
}

// Waits on the wake event for one poll period, then tells whether the slot is
// asked to stop; when it is, the entry lock is left held for the exit.
bool should_stop(AdapterEntry* e, EventSlot* s, uint32_t periodMs) {
    plat_event_wait_scaled(s->wake, periodMs); // an automatic event: the wait resets it
    LockRecordEnter(&e->lock);
    if (s->stop) return true;
    LockRecordLeave(&e->lock);
    return false;
}

// The watcher's last steps, entry lock held: clear the stop flag, release the
// lock, then tell the joiner.
uint32_t watcher_exit(AdapterEntry* e, EventSlot* s, const char* exitText) {
    TraceLog("%s", exitText);
    s->stop = 0;
    PlatEvent ended = s->ended;
    LockRecordLeave(&e->lock);
    plat_event_set(ended);
    return 0;
}

uint32_t LibTgxDumpEventThread(void* arg) {
    auto* s = static_cast<EventSlot*>(arg);
    AdapterEntry* e = tgx_entry(s->board);
    auto callback = reinterpret_cast<TGX_DumpEventCallback>(s->callback);
    TraceLog("LibTgxDumpEventThread\n");
    for (;;) {
        uint32_t rc = 0, word = 0, w1 = 0;
        if (!event_request(e->handle, TGX_IOCTL_DRVDUMP_EVENT, kDumpOpPoll, &rc, &word, &w1)) {
            TraceLog("IOCTL_ZTX100_DRVDUMP_EVENT POLLED Failed Error=0x%08X\n", plat_last_error());
        } else if (rc == 0 && (word & kDumpBits)) {
            if (!tgx_slot_callback_begin(e, s)) break;
            TraceLog("LibTgxDumpEventThread - Call callback: data=%x\n", word);
            {
                TgxCallbackScope inCallback;
                callback(s->board);
            }
            tgx_slot_callback_end(e, s);
        }
        if (should_stop(e, s, kDumpPollMs)) break;
    }
    return watcher_exit(e, s, "LibTgxDumpEventThread - Exit\n");
}

uint32_t LibTgxTempEventThread(void* arg) {
    auto* s = static_cast<EventSlot*>(arg);
    AdapterEntry* e = tgx_entry(s->board);
    auto callback = reinterpret_cast<TGX_TempEventCallback>(s->callback);
    bool saidUnsupported = false;
    TraceLog("LibTgxTempEventThread\n");
    for (;;) {
        uint32_t rc = 0, type = 0, temp = 0;
        if (!event_request(e->handle, TGX_IOCTL_TEMPERATURE_EVENT, 0, &rc, &type, &temp)) {
            TraceLog("IOCTL_ZTX100_TEMPERATURE_EVENT Poll Temperature Event Failed 0x%08X\n",
                     plat_last_error());
        } else if (type == kTempNotSupported) {
            if (!saidUnsupported)
                TraceLog("LibTgxTempEventThread: Temperature Event not supported\n");
            saidUnsupported = true;
        } else if (temp_event(type)) {
            if (!tgx_slot_callback_begin(e, s)) break;
            TraceLog("LibTgxTempEventThread - Call callback Type=%x Temp=0x%x\n", type, temp);
            {
                TgxCallbackScope inCallback;
                callback(s->board, type, temp);
            }
            tgx_slot_callback_end(e, s);
        }
        if (should_stop(e, s, kTempPollMs)) break;
    }
    return watcher_exit(e, s, "LibTgxTempEventThread - Exit\n");
}

} // namespace

bool tgx_slot_callback_begin(AdapterEntry* e, EventSlot* s) {
    LockRecordEnter(&e->lock);
    if (s->stop) return false;
    s->inCallback = 1;
    LockRecordLeave(&e->lock);
    return true;
}

void tgx_slot_callback_end(AdapterEntry* e, EventSlot* s) {
    LockRecordEnter(&e->lock);
    s->inCallback = 0;
    LockRecordLeave(&e->lock);
}

namespace {

// The watcher's thread id, under the entry lock (unregistration compares it).
void thread_id_of_watcher(EventSlot* s) {
    AdapterEntry* e = tgx_entry(s->board);
    LockRecordEnter(&e->lock);
    s->threadId = plat_thread_id();
    LockRecordLeave(&e->lock);
}

uint32_t dump_thread_main(void* arg) {
    thread_id_of_watcher(static_cast<EventSlot*>(arg));
    return LibTgxDumpEventThread(arg);
}

uint32_t temp_thread_main(void* arg) {
    thread_id_of_watcher(static_cast<EventSlot*>(arg));
    return LibTgxTempEventThread(arg);
}

// Clears a slot's registration fields and frees it. Entry lock held.
void free_slot(EventSlot* s) {
    s->type = 0;
    s->callback = nullptr;
    s->context = nullptr;
    s->thread = nullptr;
    s->wake = nullptr;
    s->ended = nullptr;
    s->stop = 0;
    s->outSz = 0;
    s->threadId = 0;
    s->joining = 0;
    s->kind = 0;
    s->claimer = 0;
    s->inCallback = 0;
    s->state = TGX_SLOT_FREE;
}

void release_claim(AdapterEntry* e, EventSlot* s) {
    LockRecordEnter(&e->lock);
    free_slot(s);
    LockRecordLeave(&e->lock);
}

// Lets another thread finish a step we wait for (a start or a join in progress).
void pause_briefly() {
    plat_sleep_ms(1);
    sched_yield();
}

// Walks the four slots under the entry lock: the identifier of a running
// registration of the same mask, or a free slot claimed for it (*claimed);
// null when neither.
// A registration of the same mask still starting on another thread is waited
// for, so one kind never takes two slots; one starting on this thread (a
// first temperature callback registering again) gives null.
EventSlot* find_or_claim(AdapterEntry* e, uint32_t board, uint32_t mask, bool* claimed) {
    *claimed = false;
    const uint32_t self = plat_thread_id();
    LockRecordEnter(&e->lock);
    for (;;) {
        bool wait = false, mine = false;
        for (EventSlot& s : e->eventSlots) {
            if (s.state == TGX_SLOT_STARTING && s.kind == mask) {
                mine = mine || s.claimer == self;
                wait = true;
            }
        }
        if (mine) {
            LockRecordLeave(&e->lock);
            return nullptr;
        }
        if (!wait) break;
        LockRecordLeave(&e->lock);
        pause_briefly();
        LockRecordEnter(&e->lock);
    }
    EventSlot* same = nullptr;
    EventSlot* freeSlot = nullptr;
    for (EventSlot& s : e->eventSlots) {
        if (s.state == TGX_SLOT_RUNNING && !s.joining && s.type == mask && !same) {
            same = &s;
        } else if (s.state == TGX_SLOT_FREE) {
            if (!freeSlot) {
                freeSlot = &s;
                TraceLog("TgxRegisterForEvent: Free entry found %x\n",
                         (uint32_t)(&s - e->eventSlots));
            }
        } else if (s.type != 0) {
            TraceLog("TgxRegisterForEvent: Existed Registered eventType %x\n", s.type);
        }
    }
    if (same) {
        TraceLog("TgxRegisterForEvent: Already Registered, eventID=%x\n",
                 (uint32_t)(uintptr_t)same);
    } else if (freeSlot) {
        freeSlot->type = mask;
        freeSlot->kind = mask;
        freeSlot->claimer = self;
        freeSlot->state = TGX_SLOT_STARTING;
        freeSlot->board = board;
        freeSlot->stop = 0;
        *claimed = true;
    }
    LockRecordLeave(&e->lock);
    return same ? same : (*claimed ? freeSlot : nullptr);
}

// The driver side of a dump or temperature registration; false when it
// refuses (the slot is then freed by the caller).
bool driver_register(AdapterEntry* e, EventSlot* s, uint32_t mask) {
    uint32_t rc = 0, w0 = 0, w1 = 0;
    TgxEnvelope env;
    const bool dump = mask == TGX_EVENT_DUMP;
    bool sent =
        event_request(e->handle, dump ? TGX_IOCTL_DRVDUMP_EVENT : TGX_IOCTL_TEMPERATURE_EVENT,
                      dump ? kDumpOpRegister : 0, &rc, &w0, &w1, &env);
    if (!sent) {
        TraceLog("TgxRegisterForEvent: I/O Error=%x status=0x%x\n", plat_last_error(), rc);
        return false;
    }
    if (dump) {
        if (rc == kDumpRcRefused) {
            TraceLog("TgxRegisterForEvent Error - Invalid DumpEvent\n");
            return false;
        }
        return true;
    }
    TraceLog("io=%x io.data=%x\n", sent ? 1u : 0u, w0);
    for (uint32_t i = 0; i < kEventRequestSize / 4; ++i)
        TraceLog(" %x", tgx_rd32(env.bytes() + 4 * i));
    TraceLog("\n");
    if (w0 == kTempNotSupported) {
        TraceLog("TgxRegisterForEvent: Register for Temperature Event Not Supported\n");
        return false;
    }
    if (temp_event(w0)) {
        TraceLog("TGX_RegisterForEvent - Call callback Type=%x Temp=0x%x\n", w0, w1);
        TgxCallbackScope inCallback;
        reinterpret_cast<TGX_TempEventCallback>(s->callback)(s->board, w0, w1);
    }
    return true;
}

PlatThread start_watcher(EventSlot* s, uint32_t board, uint32_t mask, uint32_t outSz) {
    switch (mask) {
    case TGX_EVENT_DUMP:
        return plat_thread_start(dump_thread_main, s);
    case TGX_EVENT_TEMPERATURE:
        return plat_thread_start(temp_thread_main, s);
    case TGX_EVENT_PORT_RSCN:
        return WmiRegisterPortRscn(board, outSz, s);
    default:
        return WmiRegisterVPortRscn(board, outSz, s);
    }
}

bool polled(uint32_t type) {
    return type == TGX_EVENT_DUMP || type == TGX_EVENT_TEMPERATURE;
}

// Outcomes of stopping one slot.
enum StopResult : uint32_t {
    kStopped = 0,   // the slot is free
    kOwnThread = 1, // called from the slot's own watcher: nothing done
    kTimedOut = 2,  // the watcher did not end in time; the slot stays STOPPING
};

// Joins the watcher of a STOPPING slot whose joiner this caller is (waiting at
// most boundMs of real time for it to end), then frees the slot.
StopResult join_watcher(AdapterEntry* e, EventSlot* s, uint32_t boundMs) {
    if (plat_event_wait(s->ended, boundMs) != PLAT_WAIT_OK) {
        TraceLog("TGX_unRegisterForEvent: event thread did not end\n");
        LockRecordEnter(&e->lock);
        s->joining = 0;
        LockRecordLeave(&e->lock);
        return kTimedOut;
    }
    plat_sleep_ms(kUnregisterPauseMs);
    TraceLog("TGX_unRegisterForEvent - Close EventThreadHandle\n");
    plat_thread_join(s->thread);
    plat_event_destroy(s->wake);
    plat_event_destroy(s->ended);
    release_claim(e, s);
    return kStopped;
}

// Asks the watcher of a RUNNING slot to stop (this caller is its joiner).
void request_stop(AdapterEntry* e, EventSlot* s, uint32_t kind) {
    if (kind == TGX_EVENT_DUMP) {
        uint32_t rc = 0, w0 = 0, w1 = 0;
        event_request(e->handle, TGX_IOCTL_DRVDUMP_EVENT, kDumpOpUnregister, &rc, &w0, &w1);
    }
    LockRecordEnter(&e->lock);
    s->state = TGX_SLOT_STOPPING;
    if (polled(kind)) {
        s->type = 0;
        s->stop = 1;
        if (s->wake) {
            TraceLog("TGX_unRegisterForEvent - Set flag and wait\n");
            plat_event_set(s->wake);
        }
    }
    LockRecordLeave(&e->lock);
    if (kind == TGX_EVENT_PORT_RSCN) WmiUnRegisterPortRscn(s);
    if (kind == TGX_EVENT_VPORT_RSCN) WmiUnRegisterVPortRscn(s);
}

// Stops one slot. release: the library is going away, so the watcher is
// waited for in any case (the caller repeats a timed-out stop).
StopResult stop_slot(AdapterEntry* e, EventSlot* s, bool named, bool release = false) {
    const uint32_t self = plat_thread_id();
    LockRecordEnter(&e->lock);
    // Another unregistration is joining this watcher: wait for its outcome.
    while (s->joining && s->threadId != self) {
        LockRecordLeave(&e->lock);
        pause_briefly();
        LockRecordEnter(&e->lock);
    }
    if (s->state == TGX_SLOT_FREE || s->state == TGX_SLOT_STARTING) {
        // A starting slot belongs to a registration that has not returned its
        // identifier yet: it is not registered.
        if (named)
            TraceLog("TGX_unRegisterForEvent: Already UnRegistered EventId=%x\n",
                     (uint32_t)(uintptr_t)s);
        LockRecordLeave(&e->lock);
        return kStopped;
    }
    if (s->threadId == self) {
        TraceLog("TGX_unRegisterForEvent: called from the event's own callback\n");
        LockRecordLeave(&e->lock);
        return kOwnThread;
    }
    const bool running = s->state == TGX_SLOT_RUNNING;
    const uint32_t kind = s->kind;
    s->joining = 1;
    LockRecordLeave(&e->lock);
    if (running) request_stop(e, s, kind);
    LockRecordEnter(&e->lock);
    const bool inCallback = s->inCallback != 0;
    LockRecordLeave(&e->lock);
    return join_watcher(e, s, release ? kTgxUnregisterBoundMs : tgx_unregister_bound(inCallback));
}

EventSlot* slot_of(AdapterEntry* e, void* eventId) {
    for (EventSlot& s : e->eventSlots)
        if (&s == eventId) return &s;
    return nullptr;
}

} // namespace

extern "C" TGX_EXPORT void* TGX_RegisterForEvent(uint32_t board, uint32_t mask, uint32_t type,
                                                 uint32_t outSz, TGX_EventCallback callback,
                                                 void* context) {
    TraceLog("TGX_RegisterForEvent: mask=%x outSz=%x\n", mask, outSz);
    if (!tgx_board_ok(board)) return nullptr;
    AdapterEntry* e = tgx_entry(board);
    if (e->driverType == TGX_DRIVER_PORT) {
        TraceLog("TGX_RegisterForEvent: Op not supported by Port driver\n");
        return nullptr;
    }
    if (mask != TGX_EVENT_PORT_RSCN && mask != TGX_EVENT_DUMP && mask != TGX_EVENT_TEMPERATURE &&
        mask != TGX_EVENT_VPORT_RSCN) {
        TraceLog("TGX_Event: mask not Supported %x\n", mask);
        return nullptr;
    }
    if (!callback) return nullptr; // a watcher without a callback would call null
    TraceLog("TGX_RegisterForEvent board=%x mask=0x%x type=0x%x\n", board, mask, type);
    bool claimed = false;
    EventSlot* s = find_or_claim(e, board, mask, &claimed);
    if (!claimed) return s;

    s->callback = reinterpret_cast<void*>(callback);
    s->context = context;
    if (polled(mask) && !driver_register(e, s, mask)) {
        release_claim(e, s);
        return nullptr;
    }
    s->wake = plat_event_create(false, false);
    s->ended = plat_event_create(true, false);
    PlatThread t = s->wake && s->ended ? start_watcher(s, board, mask, outSz) : nullptr;
    if (!t) {
        TraceLog("TgxRegisterForEvent: Failed to Create Event Thread,  Error=0x%x\n",
                 (uint32_t)errno);
        plat_event_destroy(s->wake);
        plat_event_destroy(s->ended);
        release_claim(e, s);
        return nullptr;
    }
    LockRecordEnter(&e->lock);
    s->thread = t;
    s->state = TGX_SLOT_RUNNING;
    LockRecordLeave(&e->lock);
    TraceLog("TGX_RegisterForEvent success - EventId=%x\n", (uint32_t)(uintptr_t)s);
    return s;
}

extern "C" TGX_EXPORT uint32_t TGX_unRegisterForEvent(uint32_t board, void* eventId) {
    TraceLog("TGX_unRegisterForEvent EventId=%x\n", (uint32_t)(uintptr_t)eventId);
    if (!tgx_board_ok(board)) return kStsFailed;
    AdapterEntry* e = tgx_entry(board);
    if (eventId) {
        EventSlot* s = slot_of(e, eventId);
        if (!s) return kStsFailed; // not one of this board's slots
        return stop_slot(e, s, true) == kStopped ? kStsOk : kStsFailed;
    }
    uint32_t status = kStsOk;
    for (EventSlot& s : e->eventSlots)
        if (stop_slot(e, &s, false) != kStopped) status = kStsFailed;
    return status;
}

// Release of a board: every watcher ends before the board's handle closes. A
// watcher whose callback outlasts the bound is waited for again (its thread
// uses the board); one that releases the library from its own callback is
// told to stop and ends when that callback returns.
void tgx_events_release_board(uint32_t board) {
    AdapterEntry* e = tgx_entry(board);
    if (!e || !e->lock.cs) return;
    for (EventSlot& s : e->eventSlots) {
        StopResult r;
        while ((r = stop_slot(e, &s, false, true)) == kTimedOut) {
        }
        if (r == kOwnThread) {
            // Released from this watcher's own callback: it ends as soon as the
            // callback returns, before any further request (its thread is not
            // joined).
            LockRecordEnter(&e->lock);
            s.state = TGX_SLOT_STOPPING;
            s.type = 0;
            s.stop = 1;
            plat_event_set(s.wake);
            LockRecordLeave(&e->lock);
        }
    }
}
