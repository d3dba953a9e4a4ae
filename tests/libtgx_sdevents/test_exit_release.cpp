// A program that returns from main with a dump, CT or SD registration live and
// never calls TGX_FreeDiagEnv: the library releases what it left as the
// process exits, while the libraries it stands on are still whole (a
// sanitizer build stops the child at a use after free), and no thread or
// device of it is left by the end.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/driver/sim_driver.h"
#include "tests/libtgx_sdevents/sdevents_fixture.h"

namespace sdtest {
namespace {

using RegisterEventFn = void* (*)(uint32_t, uint32_t, uint32_t, uint32_t, TGX_EventCallback, void*);
using CtRegisterFn = void* (*)(uint32_t, uint32_t, QrlTgxCtCallback, void*, uint32_t*);

const char kKindVar[] = "TGX_EXIT_KIND";

void dump_cb(uint32_t) {}
void ct_cb(uint32_t, uint32_t, const uint8_t*, uint32_t, uint32_t, void*) {}
void sd_cb(uint32_t, HBA_wwn, uint32_t, uint32_t, void*, SdEventData*) {}

// Registered before the library is loaded, so it runs after the library's
// own exit handler.
void report_at_exit() {
    std::printf("AT EXIT threads=%u open=%u\n", plat_thread_count(), plat_dev_open_count());
    std::fflush(stdout);
}

// The child: loads the library (never closed), registers one kind and
// returns; gtest's main then returns with the registration live.
TEST(ExitRelease, Helper) {
    const char* kind = getenv(kKindVar);
    if (!kind) GTEST_SKIP() << "runs only as the child of LiveRegistrationsAtExit";
    ASSERT_EQ(atexit(report_at_exit), 0);
    void* lib = dlopen(hbatest::bin_path("libtgx.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    const std::string k = kind;
    bool ok = false;
    if (k == "dump") {
        auto reg = reinterpret_cast<RegisterEventFn>(dlsym(lib, "TGX_RegisterForEvent"));
        ok = reg(0, TGX_EVENT_DUMP, 0, 0, reinterpret_cast<TGX_EventCallback>(dump_cb), nullptr);
    } else if (k == "ct") {
        auto reg = reinterpret_cast<CtRegisterFn>(dlsym(lib, "QrlTgxRegisterForCTEvents"));
        uint32_t st = 0;
        ok = reg(0, 0xFA, ct_cb, nullptr, &st) != nullptr;
    } else if (k == "sd") {
        auto reg = reinterpret_cast<RegisterFn>(dlsym(lib, "TGX_SD_RegisterForEvent"));
        uint32_t h = 0;
        ok = reg(0, port(1), 2, 1, (void*)0x1234, &h, sd_cb) == 0;
    }
    ASSERT_TRUE(ok) << k;
    std::printf("REGISTERED %s threads=%u\n", kind, plat_thread_count());
    std::fflush(stdout);
}

TEST(ExitRelease, LiveRegistrationsAtExit) {
    hbatest::TempState st;
    st.init(kTwoPorts);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    for (const char* kind : {"dump", "ct", "sd"}) {
        SCOPED_TRACE(kind);
        hbatest::RunResult r =
            hbatest::run(self, {"--gtest_filter=ExitRelease.Helper"}, {{kKindVar, kind}});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string("REGISTERED ") + kind), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("AT EXIT threads=0 open=0\n"), std::string::npos) << r.out;
    }
}

} // namespace
} // namespace sdtest
