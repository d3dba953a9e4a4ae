// The writer lock of the commands that change an adapter.
//
// A command row marked ROW_CHANGES_ADAPTER runs its body while it holds the
// writer lock of every physical adapter it may change (plat_adapter_lock.h):
// the one adapter of n=N, or every adapter of the machine for n=all, a=MODEL
// and commands that choose their adapter later (by a prompt). A second writer
// waits up to WRITER_LOCK_WAIT_MS, then the command fails with
// "adapter N is busy: another program is changing it" (CLU_ADAPTER_BUSY).
// Commands that only read an adapter never take the lock and never wait.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/plat_adapter_lock.h"

// How long a writer waits for another program to finish with an adapter: a
// firmware download of a real adapter takes a few minutes at most.
constexpr uint32_t WRITER_LOCK_WAIT_MS = 120000;
constexpr size_t ADAPTER_LOCK_NAME_SIZE = 16; // "pci-bb-dd" and its terminator

// The name of the physical adapter of table entry i: its PCI bus and device,
// which every function of one adapter shares on both channels ("pci-30-00").
void physicalAdapterName(int i, char* out, size_t size);

// The locks one command holds; released when it goes out of scope.
struct WriterLocks {
    std::vector<PlatAdapterLock> held;
    WriterLocks() = default;
    WriterLocks(const WriterLocks&) = delete;
    WriterLocks& operator=(const WriterLocks&) = delete;
    ~WriterLocks();
};

// Takes the locks of the adapters the parsed command (g_args) may change, in
// name order, so two commands that lock several adapters never wait for each
// other in a circle. Returns 0, or the status after its one line: 170 when
// an adapter stayed busy, 112 when the lock cannot be made for a full or
// read-only file system, 4 for any other failure of the lock file.
int32_t lockChangedAdapters(WriterLocks* locks);
