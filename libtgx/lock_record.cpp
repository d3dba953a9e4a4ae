// LockRecord: a recursive lock with counters of waiting, entering and leaving
// threads. Init and delete may be repeated without harm.
#include "libtgx/tgx_internal.h"

void LockRecordInit(LockRecord* l) {
    if (!l) return;
    if (!l->cs) l->cs = plat_mutex_create();
    l->waiting = 0;
    l->entered = 0;
    l->left = 0;
}

void LockRecordDelete(LockRecord* l) {
    if (!l) return;
    if (l->cs) plat_mutex_destroy(l->cs);
    l->cs = nullptr;
    l->waiting = 0;
    l->entered = 0;
    l->left = 0;
}

void LockRecordEnter(LockRecord* l) {
    if (!l || !l->cs) return;
    __atomic_add_fetch(&l->waiting, 1, __ATOMIC_RELAXED);
    plat_mutex_lock(l->cs);
    __atomic_sub_fetch(&l->waiting, 1, __ATOMIC_RELAXED);
    ++l->entered;
}

void LockRecordLeave(LockRecord* l) {
    if (!l || !l->cs) return;
    ++l->left;
    plat_mutex_unlock(l->cs);
}
