// Fixture of the SD event and RSCN watcher tests: two FC ports of a Mini
// driver on the simulated machine, the library loaded against it, callbacks
// that record what they receive, and events raised as the driver raises them.
#pragma once
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "libtgx/libtgx.h"
#include "platform/plat_backend.h"
#include "platform/plat_mgmt_events.h"
#include "platform/platform.h"
#include "sim/core/sim_model.h"
#include "sim/driver/wmi_sim.h"
#include "tests/support/support.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

namespace sdtest {

// The shared bound of every wait for something that must happen, in ms.
constexpr int kBoundMs = 10000;

using RegisterFn = uint32_t (*)(uint32_t, HBA_wwn, uint32_t, uint32_t, void*, uint32_t*,
                                TGX_SD_CALLBACK);
using UnregisterFn = uint32_t (*)(uint32_t, HBA_wwn, uint32_t);
using ForceFn = uint32_t (*)(uint32_t, uint32_t, uint32_t);
using FreeFn = uint32_t (*)();
using CreateFn = uint32_t (*)(uint32_t, const char*, VPortRecord*);

// Board 0: 10:00:00:00:C9:00:00:01 (node 20:..:01); board 1: ...:02.
constexpr const char kTwoPorts[] = "adapter A fc\n"
                                   "function fc driver_name = qrlfc wwpn = 10:00:00:00:C9:00:00:01 "
                                   "wwnn = 20:00:00:00:C9:00:00:01 drv_ver = 7.2.21.0\n"
                                   "function fc driver_name = qrlfc wwpn = 10:00:00:00:C9:00:00:02 "
                                   "wwnn = 20:00:00:00:C9:00:00:02 drv_ver = 7.2.21.0\n";

inline HBA_wwn port(uint8_t n) {
    return HBA_wwn{{0x10, 0, 0, 0, 0xC9, 0, 0, n}};
}
inline HBA_wwn vport(uint8_t n) {
    return HBA_wwn{{0x28, 0, 0, 0, 0, 0, 0, n}};
}

// One callback as received.
struct Got {
    uint32_t board;
    HBA_wwn wwpn;
    uint32_t category;
    uint32_t sub;
    void* ctx;
    uint32_t length;
    std::vector<uint8_t> payload;
    bool recordOk; // the SdEventData record's fixed fields as documented
};

struct Inbox {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<Got> got;
    void add(Got g) {
        std::lock_guard<std::mutex> l(mu);
        got.push_back(std::move(g));
        cv.notify_all();
    }
    // Waits (real time, bounded) until n callbacks arrived.
    bool wait_for(size_t n, int ms = kBoundMs) {
        std::unique_lock<std::mutex> l(mu);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return got.size() >= n; });
    }
    size_t size() {
        std::lock_guard<std::mutex> l(mu);
        return got.size();
    }
    std::vector<Got> all() {
        std::lock_guard<std::mutex> l(mu);
        return got;
    }
};
inline Inbox& inbox() {
    static Inbox i;
    return i;
}

inline void record_cb(uint32_t board, HBA_wwn wwpn, uint32_t cat, uint32_t sub, void* ctx,
                      SdEventData* d) {
    Got g{board, wwpn, cat, sub, ctx, d->length, {}, false};
    g.recordOk = d->zero0 == 0 && d->zero1 == 0 && d->pZero1 == &d->zero1 &&
                 d->payload == reinterpret_cast<const uint8_t*>(d + 1);
    if (d->length >= 12) g.payload.assign(d->payload, d->payload + (d->length - 12));
    inbox().add(std::move(g));
}

// Platform threads and events alive in this process (the library's).
inline int thread_count() {
    return (int)plat_thread_count();
}

// Waits (bounded) until the thread count is at most n.
inline int settle_threads(int n) {
    for (int i = 0; i < kBoundMs / 2 && thread_count() > n; ++i)
        usleep(2000);
    return thread_count();
}

// Waits (bounded) until cond holds.
template <typename Cond> bool within_bound(Cond cond) {
    for (int i = 0; i < kBoundMs / 2 && !cond(); ++i)
        usleep(2000);
    return cond();
}

class SdTest : public ::testing::Test {
  protected:
    hbatest::TempState st;
    std::unique_ptr<hbatest::Library> lib;
    int baseline = 0;
    uint32_t eventBaseline = 0;
    RegisterFn reg = nullptr;
    UnregisterFn unreg = nullptr;
    ForceFn force = nullptr;

    void SetUp() override {
        inbox().got.clear();
        plat_dev_set_backend(hba_driver_backend());
        load(kTwoPorts);
    }
    void TearDown() override {
        lib.reset();
        plat_mgmt_inject_failure("", 0, 0, 0);
        plat_dev_set_backend(nullptr);
    }
    void load(const std::string& fleet) {
        lib.reset();
        st.init(fleet);
        lib = std::make_unique<hbatest::Library>("libtgx.so");
        ASSERT_TRUE(lib->loaded());
        reg = fn<RegisterFn>("TGX_SD_RegisterForEvent");
        unreg = fn<UnregisterFn>("TGX_SD_unRegisterForEvent");
        force = fn<ForceFn>("TGX_forceWMIEvent");
        baseline = thread_count();
        eventBaseline = plat_event_count();
    }
    template <typename F> F fn(const char* name) const { return lib->fn<F>(name); }

    uint32_t add(uint32_t board, HBA_wwn w, uint32_t cat, uint32_t sub, uint32_t* h,
                 void* ctx = (void*)0x1234) {
        return reg(board, w, cat, sub, ctx, h, record_cb);
    }
    // Raises an event on board's function as the driver does (it goes out only
    // when the event is switched on for portWwn).
    static int raise(uint32_t board, uint32_t cat, HBA_wwn portWwn, HbaMgmtEvent ev) {
        hbasim::FuncRef ref;
        ref.adapter = 0;
        ref.func = (int)board;
        return hbasim::wmi_raise(ref, cat, portWwn.wwn, ev);
    }
    static HbaMgmtEvent event(uint32_t sub, uint16_t flags, uint16_t datasize, HBA_wwn w,
                              std::vector<uint32_t> data = {}) {
        HbaMgmtEvent e = {};
        e.present = 0x7F;
        e.subCat = sub;
        e.flags = flags;
        e.datasize = datasize;
        memcpy(e.wwpn, w.wwn, 8);
        e.dataCount = 10;
        for (size_t i = 0; i < data.size() && i < 16; ++i)
            e.data[i] = data[i];
        return e;
    }
    // Creates virtual port n on board.
    void create_vport(uint8_t n, uint32_t board = 0) {
        VPortRecord rec = {};
        rec.version = 3;
        memcpy(rec.wwpn, vport(n).wwn, 8);
        HBA_wwn nn = vport(n);
        nn.wwn[0] = 0x29;
        memcpy(rec.wwnn, nn.wwn, 8);
        ASSERT_EQ(fn<CreateFn>("TGX_VPCreate")(board, "v", &rec), 0u);
    }
};

inline uint32_t rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

} // namespace sdtest
