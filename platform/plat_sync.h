// Locks, events and threads.
#pragma once
#include <cstdint>

// Recursive in-process lock.
typedef struct PlatMutexRec* PlatMutex;
PlatMutex plat_mutex_create();
void plat_mutex_lock(PlatMutex m);
bool plat_mutex_trylock(PlatMutex m);
void plat_mutex_unlock(PlatMutex m);
void plat_mutex_destroy(PlatMutex m);

// Cross-process named lock (a lock file under the state directory). Released
// automatically when the owning process dies. Recursive within one process.
// Each open handle keeps the name alive; *existed (may be null) tells whether
// another handle to the same name was open, in this or any live process, when
// this one was opened (how a process learns it is the first user of a name).
typedef struct PlatNamedMutexRec* PlatNamedMutex;
PlatNamedMutex plat_named_mutex_open(const char* name, bool* existed); // null on failure
// Waits at most timeout_ms (PLAT_WAIT_INFINITE for no limit).
// Returns 0 when acquired, PLAT_WAIT_TIMEOUT on timeout, PLAT_WAIT_FAILED otherwise.
int plat_named_mutex_wait(PlatNamedMutex m, uint32_t timeout_ms);
void plat_named_mutex_release(PlatNamedMutex m);
void plat_named_mutex_close(PlatNamedMutex m);

enum : uint32_t { PLAT_WAIT_INFINITE = 0xFFFFFFFFu };
enum : int { PLAT_WAIT_OK = 0, PLAT_WAIT_TIMEOUT = 258, PLAT_WAIT_FAILED = -1 };

// Events (manual or automatic reset).
typedef struct PlatEventRec* PlatEvent;
PlatEvent plat_event_create(bool manual_reset, bool initially_set);
void plat_event_set(PlatEvent e);
void plat_event_reset(PlatEvent e);
int plat_event_wait(PlatEvent e, uint32_t timeout_ms); // PLAT_WAIT_OK / PLAT_WAIT_TIMEOUT
void plat_event_destroy(PlatEvent e);
// A wait whose timeout is a pause of the suite's own (a poll period): it is
// scaled like plat_sleep_ms (plat_scaled_ms), so a zero scale still blocks
// for a millisecond and a polling loop yields the CPU. A set event ends it at
// once whatever the scale.
int plat_event_wait_scaled(PlatEvent e, uint32_t timeout_ms);

// Threads.
typedef struct PlatThreadRec* PlatThread;
typedef uint32_t (*PlatThreadFn)(void* arg);
PlatThread plat_thread_start(PlatThreadFn fn, void* arg); // null on failure
// Waits for the thread to end; returns its result. Frees the thread record.
uint32_t plat_thread_join(PlatThread t);
uint32_t plat_thread_id();

// Events and threads alive in this process (created and not yet destroyed,
// started and not yet joined): tests check that they come back to a baseline.
uint32_t plat_event_count();
uint32_t plat_thread_count();
