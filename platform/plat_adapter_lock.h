// Writer locks of physical adapters.
//
// A program that changes an adapter (its flash, configuration regions, WWNs,
// personality) holds that adapter's lock for the whole change. Every process
// of the machine takes the same named lock, so two writers never interleave
// their read-modify-writes of one adapter, and neither reports success for
// the other's work. The lock is an exclusive file lock on
// "<folder>/adapter-<name>.lock": the kernel drops it when its holder dies,
// so a killed program never leaves an adapter locked. The folder is the one
// the driver backend names (the simulated driver: its machine's state folder),
// else plat_suite_dir(PLAT_DIR_STATE) + "/locks". Lock files are never
// removed: a file removed while another process is about to lock it would let
// two holders in. Readers take no lock.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/plat_files.h"

typedef struct PlatAdapterLockRec* PlatAdapterLock;

enum PlatLockResult : int {
    PLAT_LOCK_OK = 0,
    PLAT_LOCK_BUSY = 1,   // another holder kept it for the whole wait
    PLAT_LOCK_FAILED = 2, // the lock file cannot be opened or locked (*why)
};

// Takes the lock named name (letters, digits, '-' and '_'), waiting at most
// wait_ms: the wait is made of plat_sleep_ms pauses that add up to wait_ms
// (so a zero sleep scale ends it at once), and the clock ends it as well when
// those pauses overrun (after plat_scaled_ms(wait_ms) + wait_ms).
// *out receives the lock with PLAT_LOCK_OK; with PLAT_LOCK_FAILED *why (may be
// null) says why. Not recursive: a second take of a held name, in this
// process or another, waits like any other.
int plat_adapter_lock(const char* name, uint32_t wait_ms, PlatAdapterLock* out,
                      PlatFileStatus* why);
// Releases the lock (null: nothing).
void plat_adapter_unlock(PlatAdapterLock lock);
// The folder of the lock files; its length, or 0 when it cannot be named.
size_t plat_adapter_lock_dir(char* buf, size_t size);
