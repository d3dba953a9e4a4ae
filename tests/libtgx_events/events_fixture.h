// Fixture of the event and CT service tests: a private simulated machine, the
// library loaded against it through a backend that records every request
// (thread-safe: library threads send requests too), the exports by name, and
// waits with a deadline for what library threads do.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/tgx_ioctl.h"
#include "libtgx/libtgx.h"
#include "platform/plat_backend.h"
#include "platform/platform.h"
#include "sim/core/sim_model.h"
#include "sim/driver/sim_driver.h"
#include "tests/support/support.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

namespace evtest {

// One request as sent: its control code (the envelope's for IOCTL_SCSI_MINIPORT)
// and the first bytes of its input buffer.
struct Sent {
    uint32_t code;
    std::vector<uint8_t> in;
};

struct Recorder {
    std::mutex mu;
    std::vector<Sent> sent;
    std::atomic<uint32_t> failCode{0}; // requests of this code fail (device error)
};
inline Recorder& recorder() {
    static Recorder r;
    return r;
}

inline uint32_t rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

inline void record(uint32_t code, const void* in, uint32_t inSize) {
    const uint8_t* b = static_cast<const uint8_t*>(in);
    Sent s;
    s.code = code;
    if (code == IOCTL_SCSI_MINIPORT && b && inSize >= TGX_ENV_HEADER_LENGTH)
        s.code = rd32(b + TGX_ENV_OFF_CONTROLCODE);
    const uint32_t keep = inSize < 256 ? inSize : 256;
    if (b) s.in.assign(b, b + keep);
    std::lock_guard<std::mutex> g(recorder().mu);
    recorder().sent.push_back(std::move(s));
}

inline uint32_t rec_control(void* dev, uint32_t code, void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t* returned) {
    record(code, in ? in : out, in ? inSize : outSize);
    if (code == recorder().failCode) return PLAT_ERR_GEN_FAILURE;
    return hba_driver_backend()->control(dev, code, in, inSize, out, outSize, returned);
}
inline uint32_t rec_submit(void* dev, uint32_t code, void* in, uint32_t inSize, void* out,
                           uint32_t outSize, uint32_t* returned, void** op) {
    record(code, in ? in : out, in ? inSize : outSize);
    return hba_driver_backend()->submit(dev, code, in, inSize, out, outSize, returned, op);
}

inline const HbaDriverBackend* recording_backend() {
    static HbaDriverBackend b = {HBA_DRIVER_BACKEND_VERSION,
                                 hba_driver_backend()->open,
                                 rec_control,
                                 hba_driver_backend()->close,
                                 rec_submit,
                                 hba_driver_backend()->wait,
                                 hba_driver_backend()->cancel};
    return &b;
}

// Waits (real time) until cond holds; false after the deadline.
inline bool eventually(const std::function<bool()>& cond, int ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A Mini-driver FC board (event registration refuses the Port driver).
constexpr const char kMiniFc[] = "adapter A fc\nfunction fc driver_name = qrlfc\n";
constexpr const char kTwoMiniFc[] =
    "adapter A fc\nfunction fc driver_name = qrlfc\nfunction fc driver_name = qrlfc\n";

using RegisterFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using UnregisterFn = uint32_t (*)(uint32_t, void*);
using FreeFn = uint32_t (*)();
using InitFn = uint32_t (*)(BrdInfo*, uint32_t);

class EventTest : public ::testing::Test {
  protected:
    hbatest::TempState st;
    std::unique_ptr<hbatest::Library> lib;
    uint32_t threads0 = 0, events0 = 0, pending0 = 0, open0 = 0;

    void SetUp() override {
        clear();
        plat_dev_set_backend(recording_backend());
        threads0 = plat_thread_count();
        events0 = plat_event_count();
        pending0 = plat_dev_pending_count();
        open0 = plat_dev_open_count();
    }
    void TearDown() override {
        recorder().failCode = 0;
        lib.reset();
        plat_dev_set_backend(nullptr);
        clear();
    }
    void load(const std::string& fleet = kMiniFc) {
        st.init(fleet);
        lib = std::make_unique<hbatest::Library>("libtgx.so");
        ASSERT_TRUE(lib->loaded());
        clear();
    }
    template <typename F> F fn(const char* name) const { return lib->fn<F>(name); }

    void* reg(uint32_t board, uint32_t mask, TGX_EventCallback cb, uint32_t outSz = 0) {
        return fn<RegisterFn>("TGX_RegisterForEvent")(board, mask, 0, outSz, cb, nullptr);
    }
    uint32_t unreg(uint32_t board, void* id) {
        return fn<UnregisterFn>("TGX_unRegisterForEvent")(board, id);
    }
    uint32_t freeEnv() { return fn<FreeFn>("TGX_FreeDiagEnv")(); }

    static void clear() {
        std::lock_guard<std::mutex> g(recorder().mu);
        recorder().sent.clear();
    }
    static size_t count(uint32_t code) {
        std::lock_guard<std::mutex> g(recorder().mu);
        size_t n = 0;
        for (const Sent& s : recorder().sent)
            n += s.code == code;
        return n;
    }
    static std::vector<Sent> sent(uint32_t code) {
        std::lock_guard<std::mutex> g(recorder().mu);
        std::vector<Sent> out;
        for (const Sent& s : recorder().sent)
            if (s.code == code) out.push_back(s);
        return out;
    }
    // Threads, events and pending requests of this process are back where the
    // test started.
    void expectBaseline() {
        EXPECT_TRUE(eventually([&] { return plat_thread_count() == threads0; }))
            << "threads " << plat_thread_count() << " baseline " << threads0;
        EXPECT_EQ(plat_event_count(), events0);
        EXPECT_EQ(plat_dev_pending_count(), pending0);
    }
    // Function state of adapter 0.
    static std::string attr(const std::string& key, int func = 0) {
        std::string v = "<none>";
        hbasim::read_adapter(0, [&](const hbasim::Adapter& a) {
            if (a.funcs[(size_t)func].attrs.has(key)) v = a.funcs[(size_t)func].attrs.get(key);
        });
        return v;
    }
    static void set_attr(const std::string& key, const std::string& value, int func = 0) {
        hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
            a.funcs[(size_t)func].attrs.set(key, value);
            return true;
        });
    }
    // hbasim inject, as a user would run it against the running machine.
    static void inject(const std::vector<std::string>& args) {
        std::vector<std::string> a = {"inject"};
        a.insert(a.end(), args.begin(), args.end());
        hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"), a);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
};

} // namespace evtest
