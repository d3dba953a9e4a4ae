// The ring of raised management events ("wmi_events.ring" in the state
// directory). Layout, in the machine's own byte order (the file never leaves
// the machine):
//   @0   magic "HBAWMIEV"
//   @8   u64 number the next event gets (1 in a new ring)
//   @16  u64 slot size (a ring written with another record layout counts as
//        empty, and its slots never pass the number check)
//   @64  kWmiEventSlots slots; event n lives in slot (n - 1) % kWmiEventSlots
//        as u64 n, the HbaMgmtEvent record, u64 n again
// Writers append under an exclusive lock of the file: the slot first, then
// the header, so a reader that trusts the header only reads whole slots. A
// reader that lags by a whole ring finds the number at either end of a slot
// changed and skips it. Readers look at the header again only when the
// machine's change counter moved.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"
#include "sim/core/wmi_events.h"

namespace hbasim {

namespace {

const char kMagic[8] = {'H', 'B', 'A', 'W', 'M', 'I', 'E', 'V'};
const off_t kHeaderSize = 64;
const off_t kOffNext = 8;
const off_t kOffSlotSize = 16;
const off_t kSlotSize = (off_t)(sizeof(uint64_t) * 2 + sizeof(HbaMgmtEvent));

struct Ring {
    std::string dir;
    int fd = -1;
    uint64_t seenCount = 0; // change count when next was read
    uint64_t next = 0;      // cached header value (0 = not read)
};

std::mutex g_mu;
Ring g_ring;
void (*g_notify)(void*) = nullptr;
void* g_notifyCtx = nullptr;

// The ring file of the current state directory, opened (and created) once.
int ring_fd(const std::string& dir) {
    if (g_ring.fd >= 0 && g_ring.dir == dir) return g_ring.fd;
    if (g_ring.fd >= 0) close(g_ring.fd);
    g_ring = Ring();
    if (dir.empty()) return -1;
    std::string path = dir + "/wmi_events.ring";
    g_ring.fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (g_ring.fd >= 0) g_ring.dir = dir;
    return g_ring.fd;
}

// The header's next number; a file without a valid header counts as empty.
uint64_t read_next(int fd) {
    char head[24];
    if (pread(fd, head, sizeof head, 0) != (ssize_t)sizeof head) return 1;
    if (memcmp(head, kMagic, sizeof kMagic) != 0) return 1;
    uint64_t next, slot;
    memcpy(&next, head + kOffNext, sizeof next);
    memcpy(&slot, head + kOffSlotSize, sizeof slot);
    if (slot != (uint64_t)kSlotSize) return 1;
    return next ? next : 1;
}

off_t slot_offset(uint64_t n) {
    return kHeaderSize + (off_t)((n - 1) % kWmiEventSlots) * kSlotSize;
}

uint64_t cached_next(const std::string& dir, int fd) {
    uint64_t count = change_count(dir);
    if (g_ring.next == 0 || count == 0 || count != g_ring.seenCount) {
        g_ring.seenCount = count;
        g_ring.next = read_next(fd);
    }
    return g_ring.next;
}

} // namespace

int wmi_event_append(const HbaMgmtEvent& e) {
    void (*notify)(void*) = nullptr;
    void* ctx = nullptr;
    {
        std::lock_guard<std::mutex> g(g_mu);
        std::string dir = state_dir();
        int fd = ring_fd(dir);
        if (fd < 0) return set_error(SIM_ERR_IO, "cannot open the event ring in " + dir);
        if (flock(fd, LOCK_EX) != 0) return set_error(SIM_ERR_IO, "cannot lock the event ring");
        const uint64_t n = read_next(fd);
        char slot[kSlotSize];
        memcpy(slot, &n, sizeof n);
        memcpy(slot + sizeof n, &e, sizeof e);
        memcpy(slot + sizeof n + sizeof e, &n, sizeof n);
        char head[24];
        memcpy(head, kMagic, sizeof kMagic);
        const uint64_t after = n + 1, slotSize = (uint64_t)kSlotSize;
        memcpy(head + kOffNext, &after, sizeof after);
        memcpy(head + kOffSlotSize, &slotSize, sizeof slotSize);
        bool ok = pwrite(fd, slot, sizeof slot, slot_offset(n)) == (ssize_t)sizeof slot &&
                  pwrite(fd, head, sizeof head, 0) == (ssize_t)sizeof head;
        flock(fd, LOCK_UN);
        if (!ok) return set_error(SIM_ERR_IO, "cannot write the event ring");
        note_change(dir);
        g_ring.next = 0;
        notify = g_notify;
        ctx = g_notifyCtx;
    }
    if (notify) notify(ctx);
    return SIM_OK;
}

uint64_t wmi_event_next() {
    std::lock_guard<std::mutex> g(g_mu);
    std::string dir = state_dir();
    int fd = ring_fd(dir);
    return fd < 0 ? 1 : cached_next(dir, fd);
}

int wmi_event_read(uint64_t* from, HbaMgmtEvent* out, uint32_t capacity, uint32_t* count) {
    *count = 0;
    std::lock_guard<std::mutex> g(g_mu);
    std::string dir = state_dir();
    int fd = ring_fd(dir);
    if (fd < 0) return set_error(SIM_ERR_IO, "cannot open the event ring in " + dir);
    const uint64_t next = cached_next(dir, fd);
    uint64_t n = *from ? *from : 1;
    if (n > next) n = next; // a ring started again (a new state directory)
    if (next > kWmiEventSlots && n < next - kWmiEventSlots) n = next - kWmiEventSlots;
    for (; n < next && *count < capacity; ++n) {
        char slot[kSlotSize];
        if (pread(fd, slot, sizeof slot, slot_offset(n)) != (ssize_t)sizeof slot) continue;
        uint64_t head, tail;
        memcpy(&head, slot, sizeof head);
        memcpy(&tail, slot + sizeof head + sizeof(HbaMgmtEvent), sizeof tail);
        if (head != n || tail != n) continue; // overwritten meanwhile
        memcpy(&out[*count], slot + sizeof head, sizeof(HbaMgmtEvent));
        ++*count;
    }
    *from = n;
    return SIM_OK;
}

void wmi_event_set_notify(void (*fn)(void* ctx), void* ctx) {
    std::lock_guard<std::mutex> g(g_mu);
    g_notify = fn;
    g_notifyCtx = ctx;
}

} // namespace hbasim
