// The NEXA lock: one process-wide lock held around every NEXA call, so that no
// other call can come between an action and the query of its status.
#include "hbaset/cna/mal.h"
#include "platform/plat_sync.h"

namespace {

PlatMutex nexaLock() {
    // Created once, on first use, thread-safely; lives for the whole process.
    static PlatMutex lock = plat_mutex_create();
    return lock;
}

} // namespace

void malLockInit() {
    (void)nexaLock();
}

void malLock() {
    plat_mutex_lock(nexaLock());
}

void malUnlock() {
    plat_mutex_unlock(nexaLock());
}
