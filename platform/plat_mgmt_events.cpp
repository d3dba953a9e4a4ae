// Management-event stand-in: connection, object enumeration, the event-control
// methods and asynchronous delivery to sinks, over the driver backend's
// HbaMgmtEventProvider.
//
// Delivery: each connection runs kDeliveryThreads threads. A thread claims a
// subscription that has events waiting (busy, so no other thread serves it),
// reads a batch from the provider, calls the sink with the events of its
// class, and gives the subscription back. Between rounds a thread waits on the
// connection's condition for at most kPlatMgmtPollMs, scaled like every pause
// of the suite (at least 1 ms, so a zero scale still yields the CPU): the
// provider's notify ends the wait at once for events raised in this process;
// events raised by another process are found by the next poll.
//
// Locks: g_connsMu (the list of connections, for the notify) is taken before a
// connection's mu, never inside it. No lock is held while a sink or the
// provider runs.
#include "platform/plat_mgmt_events.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/plat_device.h"
#include "platform/plat_sync.h"
#include "platform/plat_time.h"

namespace {

const uint32_t kDeliveryThreads = 2;
const uint32_t kBatch = 16;
const uint32_t kMaxObjects = 1024;
const char kNamespace[] = "ROOT\\WMI";
const char kHbaClass[] = "MSFC_FCAdapterHBAAttributes";
const char kControlPath[] = "QrlWmiSDEventControl.InstanceName=\"";

// The four event-control methods and the category each one switches.
struct ControlMethod {
    const char* name;
    uint32_t category;
};
const ControlMethod kControlMethods[] = {
    {"SDELSEventControl", 1},
    {"SDFabricEventControl", 2},
    {"SDSCSIEventControl", 4},
    {"SDBoardEventControl", 8},
};

std::atomic<uint32_t> g_threadCount{0};

// ---- failure injection ---------------------------------------------------

struct Injection {
    std::string step;
    uint32_t nth = 0;   // 1-based call that fails first
    uint32_t count = 0; // failures left
    uint32_t error = 0;
    uint32_t seen = 0;
};
std::mutex g_injMu;
Injection g_inj;

// The error a step fails with on this call, or 0.
uint32_t step_failure(const HbaMgmtEventProvider* p, const char* step) {
    {
        std::lock_guard<std::mutex> g(g_injMu);
        if (g_inj.count > 0 && g_inj.step == step && ++g_inj.seen >= g_inj.nth) {
            --g_inj.count;
            return g_inj.error ? g_inj.error : PLAT_MGMT_E_FAILED;
        }
    }
    if (p && p->step_fault && p->step_fault(step) != 0) return PLAT_MGMT_E_FAILED;
    return PLAT_MGMT_OK;
}

// "SELECT * FROM <class>" (keywords in any case, single blanks); false when
// the text is not such a query or the class name does not fit.
bool query_class(const char* wql, char* cls, size_t size) {
    static const char kPrefix[] = "SELECT * FROM ";
    if (!wql || strncasecmp(wql, kPrefix, sizeof kPrefix - 1) != 0) return false;
    const char* name = wql + sizeof kPrefix - 1;
    size_t n = strlen(name);
    if (n == 0 || n >= size) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = name[i];
        bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    memcpy(cls, name, n + 1);
    return true;
}

// The instance name inside a control object path, backslashes undoubled.
bool path_instance(const char* path, char* name, size_t size) {
    if (!path || strncmp(path, kControlPath, sizeof kControlPath - 1) != 0) return false;
    const char* p = path + sizeof kControlPath - 1;
    size_t n = 0;
    for (; *p && *p != '"'; ++p) {
        if (*p == '\\') {
            if (p[1] != '\\') return false;
            ++p;
        }
        if (n + 1 >= size) return false;
        name[n++] = *p;
    }
    name[n] = '\0';
    return *p == '"' && p[1] == '\0' && n > 0;
}

} // namespace

struct PlatMgmtSubRec {
    PlatMgmtConnRec* conn;
    char cls[HBA_MGMT_CLASS_MAX];
    PlatMgmtSink sink;
    void* ctx;
    uint64_t next;        // number of the next event to look at
    bool busy = false;    // a delivery thread serves it now
    uint32_t busyTid = 0; // that thread
    bool cancelled = false;
    bool freeByThread = false; // cancelled from its own sink: the thread frees it
};

struct PlatMgmtConnRec {
    const HbaMgmtEventProvider* p;
    std::mutex mu;
    std::condition_variable work; // events raised, a subscription added, or stopping
    std::condition_variable idle; // a subscription stopped being busy
    uint64_t kicks = 0;
    bool stopping = false;
    std::vector<PlatMgmtSubRec*> subs;
    size_t rr = 0; // where the next claim starts looking
    PlatThread threads[kDeliveryThreads] = {};
    uint32_t tids[kDeliveryThreads] = {};
    uint32_t started = 0; // delivery threads past their first provider call
};

struct PlatMgmtEnumRec {
    std::vector<HbaMgmtHbaObject> objects;
    size_t pos = 0;
    const HbaMgmtEventProvider* p;
};

namespace {

std::mutex g_connsMu;
std::vector<PlatMgmtConnRec*> g_conns;

// Provider notify: an event was raised in this process.
void wake_all(void*) {
    std::lock_guard<std::mutex> g(g_connsMu);
    for (PlatMgmtConnRec* c : g_conns) {
        std::lock_guard<std::mutex> cg(c->mu);
        ++c->kicks;
        c->work.notify_all();
    }
}

// A subscription with events waiting that no thread serves; marked busy.
PlatMgmtSubRec* claim(PlatMgmtConnRec* c, uint64_t next, uint32_t tid) {
    size_t n = c->subs.size();
    for (size_t k = 0; k < n; ++k) {
        PlatMgmtSubRec* s = c->subs[(c->rr + k) % n];
        if (s->busy || s->cancelled || s->next >= next) continue;
        c->rr = (c->rr + k + 1) % n;
        s->busy = true;
        s->busyTid = tid;
        return s;
    }
    return nullptr;
}

// One batch of a claimed subscription to its sink.
void deliver(PlatMgmtSubRec* s, std::vector<HbaMgmtEvent>& buf, std::vector<HbaMgmtEvent>& mine) {
    uint64_t from = s->next;
    uint32_t got = 0;
    if (s->conn->p->read_events(&from, buf.data(), (uint32_t)buf.size(), &got) != 0) got = 0;
    s->next = from;
    mine.clear();
    for (uint32_t i = 0; i < got && i < buf.size(); ++i) {
        HbaMgmtEvent& e = buf[i];
        e.eventClass[HBA_MGMT_CLASS_MAX - 1] = '\0';
        e.instanceName[HBA_MGMT_NAME_MAX - 1] = '\0';
        if (e.dataCount > HBA_MGMT_DATA_MAX) e.dataCount = HBA_MGMT_DATA_MAX;
        if (strcasecmp(e.eventClass, s->cls) == 0) mine.push_back(e);
    }
    if (!mine.empty()) s->sink(s->ctx, mine.data(), (uint32_t)mine.size());
}

uint32_t delivery_main(void* arg) {
    auto* c = static_cast<PlatMgmtConnRec*>(arg);
    const uint32_t tid = plat_thread_id();
    std::vector<HbaMgmtEvent> buf(kBatch), mine;
    mine.reserve(kBatch);
    std::unique_lock<std::mutex> lk(c->mu);
    while (!c->stopping) {
        const uint64_t kicks = c->kicks;
        lk.unlock();
        const uint64_t next = c->p->event_next();
        lk.lock();
        if (c->stopping) break;
        PlatMgmtSubRec* s = claim(c, next, tid);
        if (!s) {
            c->work.wait_for(lk, std::chrono::milliseconds(plat_scaled_ms(kPlatMgmtPollMs)),
                             [&] { return c->stopping || c->kicks != kicks; });
            continue;
        }
        lk.unlock();
        deliver(s, buf, mine);
        lk.lock();
        s->busy = false;
        s->busyTid = 0;
        if (s->freeByThread) {
            c->subs.erase(std::remove(c->subs.begin(), c->subs.end(), s), c->subs.end());
            delete s;
        }
        c->idle.notify_all();
    }
    g_threadCount.fetch_sub(1);
    return 0;
}

bool is_delivery_thread(const PlatMgmtConnRec* c, uint32_t tid) {
    for (uint32_t t : c->tids)
        if (t != 0 && t == tid) return true;
    return false;
}

// Stops and joins the threads started so far; frees what is left.
void stop_and_free(PlatMgmtConnRec* c) {
    {
        std::lock_guard<std::mutex> g(c->mu);
        c->stopping = true;
        for (PlatMgmtSubRec* s : c->subs)
            s->cancelled = true;
        c->work.notify_all();
    }
    for (PlatThread& t : c->threads) {
        if (t) plat_thread_join(t);
        t = nullptr;
    }
    for (PlatMgmtSubRec* s : c->subs)
        delete s;
    c->subs.clear();
    delete c;
}

// Thread id hand-over: a delivery thread records its id before it serves.
// It makes its first provider call before that, while plat_mgmt_connect waits
// for it: a first call on a thread may set up the provider's per-thread state,
// whose clean-up registration takes the dynamic loader's lock. A release run
// by a library's unload holds that lock while it joins the threads, so a
// thread that made its first call only then would never end.
struct Starter {
    PlatMgmtConnRec* c;
    uint32_t index;
};
uint32_t start_main(void* arg) {
    Starter st = *static_cast<Starter*>(arg);
    delete static_cast<Starter*>(arg);
    st.c->p->event_next();
    {
        std::lock_guard<std::mutex> g(st.c->mu);
        st.c->tids[st.index] = plat_thread_id();
        ++st.c->started;
        st.c->idle.notify_all();
    }
    return delivery_main(st.c);
}

} // namespace

uint32_t plat_mgmt_connect(const char* ns, PlatMgmtConn* out) {
    if (!out) return PLAT_MGMT_E_INVALID;
    *out = nullptr;
    const HbaDriverBackend* b = plat_dev_backend();
    const HbaMgmtEventProvider* p = b ? b->mgmtEvents : nullptr;
    if (!p || !p->list_hba || !p->sd_control || !p->event_next || !p->read_events)
        return PLAT_MGMT_E_NOT_SUPPORTED;
    if (!ns || strcasecmp(ns, kNamespace) != 0) return PLAT_MGMT_E_INVALID;
    if (uint32_t err = step_failure(p, "connect")) return err;
    auto* c = new (std::nothrow) PlatMgmtConnRec;
    if (!c) return PLAT_MGMT_E_NO_MEMORY;
    c->p = p;
    for (uint32_t i = 0; i < kDeliveryThreads; ++i) {
        auto* st = new (std::nothrow) Starter{c, i};
        g_threadCount.fetch_add(1);
        c->threads[i] = st ? plat_thread_start(start_main, st) : nullptr;
        if (!c->threads[i]) {
            g_threadCount.fetch_sub(1);
            delete st;
            stop_and_free(c);
            return PLAT_MGMT_E_NO_MEMORY;
        }
    }
    {
        std::unique_lock<std::mutex> lk(c->mu);
        c->idle.wait(lk, [&] { return c->started == kDeliveryThreads; });
    }
    {
        std::lock_guard<std::mutex> g(g_connsMu);
        g_conns.push_back(c);
    }
    if (p->set_notify) p->set_notify(wake_all, nullptr);
    *out = c;
    return PLAT_MGMT_OK;
}

uint32_t plat_mgmt_release(PlatMgmtConn c) {
    if (!c) return PLAT_MGMT_E_INVALID;
    {
        std::lock_guard<std::mutex> g(c->mu);
        if (is_delivery_thread(c, plat_thread_id())) return PLAT_MGMT_E_IN_SINK;
    }
    {
        std::lock_guard<std::mutex> g(g_connsMu);
        g_conns.erase(std::remove(g_conns.begin(), g_conns.end(), c), g_conns.end());
    }
    stop_and_free(c);
    return PLAT_MGMT_OK;
}

uint32_t plat_mgmt_query(PlatMgmtConn c, const char* wql, PlatMgmtEnum* out) {
    if (!c || !out) return PLAT_MGMT_E_INVALID;
    *out = nullptr;
    char cls[HBA_MGMT_CLASS_MAX];
    if (!query_class(wql, cls, sizeof cls)) return PLAT_MGMT_E_INVALID;
    if (strcasecmp(cls, kHbaClass) != 0) return PLAT_MGMT_E_NOT_FOUND;
    if (uint32_t err = step_failure(c->p, "query")) return err;
    auto* e = new (std::nothrow) PlatMgmtEnumRec;
    if (!e) return PLAT_MGMT_E_NO_MEMORY;
    e->p = c->p;
    uint32_t count = 0;
    e->objects.resize(kMaxObjects);
    if (c->p->list_hba(e->objects.data(), kMaxObjects, &count) != 0) {
        delete e;
        return PLAT_MGMT_E_FAILED;
    }
    e->objects.resize(std::min(count, kMaxObjects));
    for (HbaMgmtHbaObject& o : e->objects)
        o.instanceName[HBA_MGMT_NAME_MAX - 1] = '\0';
    *out = e;
    return PLAT_MGMT_OK;
}

uint32_t plat_mgmt_next(PlatMgmtEnum e, HbaMgmtHbaObject* out) {
    if (!e || !out) return PLAT_MGMT_E_INVALID;
    if (uint32_t err = step_failure(e->p, "next")) return err;
    if (e->pos >= e->objects.size()) return PLAT_MGMT_DONE;
    *out = e->objects[e->pos++];
    return PLAT_MGMT_OK;
}

void plat_mgmt_enum_close(PlatMgmtEnum e) {
    delete e;
}

uint32_t plat_mgmt_exec_method(PlatMgmtConn c, const char* objectPath, const char* method,
                               const PlatMgmtSdControl* in, uint32_t* outStatus) {
    if (outStatus) *outStatus = 0;
    if (!c || !method || !in) return PLAT_MGMT_E_INVALID;
    char name[HBA_MGMT_NAME_MAX];
    if (!path_instance(objectPath, name, sizeof name)) return PLAT_MGMT_E_INVALID;
    const ControlMethod* m = nullptr;
    for (const ControlMethod& row : kControlMethods)
        if (strcmp(row.name, method) == 0) m = &row;
    if (!m) return PLAT_MGMT_E_NOT_FOUND;
    if (m->category != 8 && !in->hasWwpn) return PLAT_MGMT_E_INVALID;
    if (in->action > 1) return PLAT_MGMT_E_INVALID;
    if (uint32_t err = step_failure(c->p, "exec")) return err;
    uint32_t status = 0;
    uint32_t rc = c->p->sd_control(name, m->category, in->action, in->subCat,
                                   m->category == 8 ? nullptr : in->wwpn, &status);
    if (outStatus) *outStatus = status;
    if (rc == PLAT_ERR_NOT_FOUND) return PLAT_MGMT_E_NOT_FOUND;
    if (rc != 0 || status != 0) return PLAT_MGMT_E_FAILED;
    return PLAT_MGMT_OK;
}

uint32_t plat_mgmt_subscribe(PlatMgmtConn c, const char* wql, PlatMgmtSink sink, void* ctx,
                             PlatMgmtSub* out) {
    if (!c || !sink || !out) return PLAT_MGMT_E_INVALID;
    *out = nullptr;
    char cls[HBA_MGMT_CLASS_MAX];
    if (!query_class(wql, cls, sizeof cls)) return PLAT_MGMT_E_INVALID;
    if (uint32_t err = step_failure(c->p, "subscribe")) return err;
    auto* s = new (std::nothrow) PlatMgmtSubRec;
    if (!s) return PLAT_MGMT_E_NO_MEMORY;
    s->conn = c;
    memcpy(s->cls, cls, sizeof cls);
    s->sink = sink;
    s->ctx = ctx;
    s->next = c->p->event_next(); // what is raised from now on
    std::lock_guard<std::mutex> g(c->mu);
    c->subs.push_back(s);
    *out = s;
    return PLAT_MGMT_OK;
}

void plat_mgmt_cancel(PlatMgmtSub s) {
    if (!s) return;
    PlatMgmtConnRec* c = s->conn;
    std::unique_lock<std::mutex> lk(c->mu);
    s->cancelled = true;
    if (s->busy && s->busyTid == plat_thread_id()) {
        s->freeByThread = true; // its own sink: the delivery thread frees it after the call
        return;
    }
    c->idle.wait(lk, [&] { return !s->busy; });
    c->subs.erase(std::remove(c->subs.begin(), c->subs.end(), s), c->subs.end());
    delete s;
}

void plat_mgmt_inject_failure(const char* step, uint32_t nth, uint32_t count, uint32_t error) {
    std::lock_guard<std::mutex> g(g_injMu);
    g_inj = Injection();
    if (!step || !*step) return;
    g_inj.step = step;
    g_inj.nth = nth ? nth : 1;
    g_inj.count = count;
    g_inj.error = error;
}

uint32_t plat_mgmt_thread_count() {
    return g_threadCount.load();
}
