// In-process locks, events and threads.
#include "platform/plat_sync.h"

#include <errno.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/plat_time.h"

struct PlatMutexRec {
    pthread_mutex_t mu;
};

struct PlatEventRec {
    pthread_mutex_t mu;
    pthread_cond_t cv;
    bool manual;
    bool set;
};

struct PlatThreadRec {
    pthread_t tid;
    PlatThreadFn fn;
    void* arg;
    uint32_t result;
};

namespace {
std::atomic<uint32_t> g_events{0};
std::atomic<uint32_t> g_threads{0};
} // namespace

// ---- recursive mutex ------------------------------------------------------

PlatMutex plat_mutex_create() {
    auto* m = new (std::nothrow) PlatMutexRec;
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&m->mu, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        delete m;
        return nullptr;
    }
    return m;
}

void plat_mutex_lock(PlatMutex m) {
    if (m) pthread_mutex_lock(&m->mu);
}

bool plat_mutex_trylock(PlatMutex m) {
    return m && pthread_mutex_trylock(&m->mu) == 0;
}

void plat_mutex_unlock(PlatMutex m) {
    if (m) pthread_mutex_unlock(&m->mu);
}

void plat_mutex_destroy(PlatMutex m) {
    if (!m) return;
    pthread_mutex_destroy(&m->mu);
    delete m;
}

// ---- events ---------------------------------------------------------------

PlatEvent plat_event_create(bool manual_reset, bool initially_set) {
    auto* e = new (std::nothrow) PlatEventRec;
    if (!e) return nullptr;
    pthread_condattr_t ca;
    pthread_condattr_init(&ca);
    pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
    int rc = pthread_cond_init(&e->cv, &ca);
    pthread_condattr_destroy(&ca);
    if (rc != 0) {
        delete e;
        return nullptr;
    }
    pthread_mutex_init(&e->mu, nullptr);
    e->manual = manual_reset;
    e->set = initially_set;
    g_events.fetch_add(1, std::memory_order_relaxed);
    return e;
}

void plat_event_set(PlatEvent e) {
    if (!e) return;
    pthread_mutex_lock(&e->mu);
    e->set = true;
    // A manual-reset event releases every waiter, an automatic one a single waiter.
    if (e->manual)
        pthread_cond_broadcast(&e->cv);
    else
        pthread_cond_signal(&e->cv);
    pthread_mutex_unlock(&e->mu);
}

void plat_event_reset(PlatEvent e) {
    if (!e) return;
    pthread_mutex_lock(&e->mu);
    e->set = false;
    pthread_mutex_unlock(&e->mu);
}

int plat_event_wait(PlatEvent e, uint32_t timeout_ms) {
    if (!e) return PLAT_WAIT_FAILED;
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (long)(timeout_ms % 1000) * 1000000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    int result = PLAT_WAIT_OK;
    pthread_mutex_lock(&e->mu);
    while (!e->set) {
        if (timeout_ms == 0) {
            result = PLAT_WAIT_TIMEOUT;
            break;
        }
        int rc = timeout_ms == PLAT_WAIT_INFINITE
                     ? pthread_cond_wait(&e->cv, &e->mu)
                     : pthread_cond_timedwait(&e->cv, &e->mu, &deadline);
        if (rc == ETIMEDOUT && !e->set) {
            result = PLAT_WAIT_TIMEOUT;
            break;
        }
    }
    if (result == PLAT_WAIT_OK && !e->manual) e->set = false;
    pthread_mutex_unlock(&e->mu);
    return result;
}

void plat_event_destroy(PlatEvent e) {
    if (!e) return;
    pthread_cond_destroy(&e->cv);
    pthread_mutex_destroy(&e->mu);
    delete e;
    g_events.fetch_sub(1, std::memory_order_relaxed);
}

int plat_event_wait_scaled(PlatEvent e, uint32_t timeout_ms) {
    return plat_event_wait(e, timeout_ms == PLAT_WAIT_INFINITE ? timeout_ms
                                                               : plat_scaled_ms(timeout_ms));
}

uint32_t plat_event_count() {
    return g_events.load(std::memory_order_relaxed);
}

uint32_t plat_thread_count() {
    return g_threads.load(std::memory_order_relaxed);
}

// ---- threads --------------------------------------------------------------

namespace {

thread_local uint32_t t_tid = 0;
void tid_atfork_child() {
    t_tid = 0;
}
struct TidAtfork {
    TidAtfork() { pthread_atfork(nullptr, nullptr, tid_atfork_child); }
} g_tidAtfork;

void* thread_main(void* p) {
    auto* t = static_cast<PlatThreadRec*>(p);
    t->result = t->fn(t->arg);
    return nullptr;
}

} // namespace

PlatThread plat_thread_start(PlatThreadFn fn, void* arg) {
    if (!fn) return nullptr;
    auto* t = new (std::nothrow) PlatThreadRec;
    if (!t) return nullptr;
    t->fn = fn;
    t->arg = arg;
    t->result = 0;
    if (pthread_create(&t->tid, nullptr, thread_main, t) != 0) {
        delete t;
        return nullptr;
    }
    g_threads.fetch_add(1, std::memory_order_relaxed);
    return t;
}

uint32_t plat_thread_join(PlatThread t) {
    if (!t) return 0;
    pthread_join(t->tid, nullptr);
    uint32_t r = t->result;
    delete t;
    g_threads.fetch_sub(1, std::memory_order_relaxed);
    return r;
}

uint32_t plat_thread_id() {
    // Asked of the system once per thread. A forked child's only thread starts
    // with its parent's cached value, so the child handler clears it.
    if (t_tid == 0) t_tid = (uint32_t)gettid();
    return t_tid;
}
