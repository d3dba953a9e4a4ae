// Fixture for the transport, query, reset and registry tests of the library:
// a private simulated machine, the library loaded against it, recorded sleeps,
// and a driver backend that forwards to the simulated driver while recording
// every envelope and letting a test answer chosen requests itself.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "platform/platform.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

namespace tgxio {

inline uint32_t rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

// One envelope as the library sent it and as it came back.
struct Sent {
    uint32_t code;
    std::vector<uint8_t> out; // as sent
    std::vector<uint8_t> in;  // as answered (empty when the call failed)
    const uint8_t* payload() const { return out.data() + TGX_ENV_HEADER_LENGTH; }
    const uint8_t* reply() const { return in.data() + TGX_ENV_HEADER_LENGTH; }
    uint32_t size() const { return (uint32_t)out.size(); }
};

// Answers an envelope in place instead of the simulated driver: return true
// when answered (set the ReturnCode in the header yourself).
using Scripted = std::function<bool(uint32_t code, uint8_t* env, uint32_t size)>;

struct Recorder {
    std::vector<Sent> sent;
    Scripted script;
    std::vector<uint32_t> sleeps;
};
inline Recorder& recorder() {
    static Recorder r;
    return r;
}

inline uint32_t recording_control(void* dev, uint32_t code, void* in, uint32_t inSize, void* out,
                                  uint32_t outSize, uint32_t* returned) {
    Recorder& rec = recorder();
    if (code != IOCTL_SCSI_MINIPORT || out == nullptr || outSize < TGX_ENV_HEADER_LENGTH)
        return hba_driver_backend()->control(dev, code, in, inSize, out, outSize, returned);
    uint8_t* env = static_cast<uint8_t*>(out);
    Sent s;
    s.code = rd32(env + TGX_ENV_OFF_CONTROLCODE);
    s.out.assign(env, env + outSize);
    uint32_t err = 0;
    if (!(rec.script && rec.script(s.code, env, outSize)))
        err = hba_driver_backend()->control(dev, code, in, inSize, out, outSize, returned);
    if (err == 0) s.in.assign(env, env + outSize);
    // Discovery requests are not what these tests look at.
    if (s.code != TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES && s.code != TGX_IOCTL_HBA_REFRESH_INFORMATION)
        rec.sent.push_back(std::move(s));
    return err;
}

inline const HbaDriverBackend* recording_backend() {
    static HbaDriverBackend b = {HBA_DRIVER_BACKEND_VERSION, hba_driver_backend()->open,
                                 recording_control, hba_driver_backend()->close};
    return &b;
}

inline void record_sleep(uint32_t ms, void*) {
    recorder().sleeps.push_back(ms);
}

// An FC board of a Mini driver (loopback and dump control need one).
constexpr const char kMiniFc[] = "adapter A fc\nfunction fc driver_name = qrlfc\n";

class TgxTest : public ::testing::Test {
  protected:
    hbatest::TempState st;
    std::unique_ptr<hbatest::Library> lib;

    void SetUp() override {
        recorder() = Recorder();
        plat_dev_set_backend(recording_backend());
        plat_set_sleep_hook(record_sleep, nullptr);
    }
    void TearDown() override {
        lib.reset();
        plat_set_sleep_hook(nullptr, nullptr);
        plat_dev_set_backend(nullptr);
        plat_reg_inject_failure("", "", 0, 0);
        recorder() = Recorder();
    }
    // Prepares the machine and loads the library (or another build of its
    // exports); the recorder starts empty.
    void load(const std::string& fleet = kMiniFc, const char* library = "libtgx.so") {
        st.init(fleet);
        lib = std::make_unique<hbatest::Library>(library);
        ASSERT_TRUE(lib->loaded());
        clear();
    }
    template <typename F> F fn(const char* name) const { return lib->fn<F>(name); }
    static void clear() {
        recorder().sent.clear();
        recorder().sleeps.clear();
    }
    static std::vector<Sent>& sent() { return recorder().sent; }
    static std::vector<uint32_t>& sleeps() { return recorder().sleeps; }
    static size_t count(uint32_t code) {
        size_t n = 0;
        for (const Sent& s : sent())
            n += s.code == code;
        return n;
    }
    static void script(Scripted s) { recorder().script = std::move(s); }
    static void fault(const std::string& match, const std::string& action, int remaining = -1,
                      int nth = 0, int port = -1) {
        hbasim::Fault f;
        f.source = "drv";
        f.port = port;
        f.match = match;
        f.action = action;
        f.remaining = remaining;
        f.nth = nth;
        ASSERT_EQ(hbasim::fault_add(f), hbasim::SIM_OK);
    }
    // Attribute of function fn of adapter 0 as the simulated machine holds it.
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
};

// A mailbox buffer with room for extended forms; word 0 carries the command.
struct Mailbox {
    std::vector<uint32_t> w;
    explicit Mailbox(uint32_t cmd, size_t words = 96) : w(words, 0) { w[0] = cmd << 8; }
    uint32_t* data() { return w.data(); }
    uint16_t status() const { return (uint16_t)(w[0] >> 16); }
};

} // namespace tgxio
