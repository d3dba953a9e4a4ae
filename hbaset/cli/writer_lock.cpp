// Writer locks of the commands that change an adapter (writer_lock.h).
#include "hbaset/cli/writer_lock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/run_state.h"

namespace {

struct Target {
    std::string name;
    int number; // the first table entry of the adapter, 1-based, for the message
};

// The adapters the command may change: its one adapter, or all of them.
std::vector<Target> targets() {
    std::vector<Target> out;
    auto add = [&out](int i) {
        char name[ADAPTER_LOCK_NAME_SIZE];
        physicalAdapterName(i, name, sizeof name);
        for (const Target& t : out)
            if (t.name == name) return;
        out.push_back({name, i + 1});
    };
    if (g_args.haveAdapter && !g_args.allAdapters) {
        // An adapter number outside the table fails the command's own check.
        if (isAnyIndex(g_args.adapterIndex)) add(g_args.adapterIndex);
    } else {
        for (uint32_t i = 0; i < g_table.totalCount; ++i)
            add(static_cast<int>(i));
    }
    std::sort(out.begin(), out.end(),
              [](const Target& a, const Target& b) { return a.name < b.name; });
    return out;
}

int32_t lockFailed(const Target& t, PlatFileStatus why) {
    char dir[512];
    if (plat_adapter_lock_dir(dir, sizeof dir) == 0) copyBounded(dir, sizeof dir, "(no folder)");
    if (why == PLAT_FILE_NO_SPACE || why == PLAT_FILE_READ_ONLY) {
        sayf("Cannot create the lock of adapter %d in %s: %s", t.number, dir,
             plat_file_status_text(why));
        return CLU_STATE_STORAGE;
    }
    sayf("Cannot lock adapter %d in %s: %s", t.number, dir, plat_file_status_text(why));
    return CLU_FILE_OPEN;
}

} // namespace

void physicalAdapterName(int i, char* out, size_t size) {
    const AdapterRecord* r = adapterAt(i);
    uint32_t bus = 0;
    uint32_t device = 0;
    if (r != nullptr) {
        bool fc = isFcIndex(i);
        bus = fc ? r->pciBus : r->cnaBus;
        device = fc ? r->pciDevice : r->cnaDevice;
    }
    snprintf(out, size, "pci-%02x-%02x", bus & 0xFFu, device & 0x1Fu);
}

WriterLocks::~WriterLocks() {
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        plat_adapter_unlock(*it);
}

int32_t lockChangedAdapters(WriterLocks* locks) {
    for (const Target& t : targets()) {
        PlatAdapterLock lock = nullptr;
        PlatFileStatus why = PLAT_FILE_OK;
        int rc = plat_adapter_lock(t.name.c_str(), WRITER_LOCK_WAIT_MS, &lock, &why);
        if (rc == PLAT_LOCK_BUSY) {
            sayf("adapter %d is busy: another program is changing it", t.number);
            return CLU_ADAPTER_BUSY;
        }
        if (rc != PLAT_LOCK_OK) return lockFailed(t, why);
        locks->held.push_back(lock);
    }
    return CLU_OK;
}
