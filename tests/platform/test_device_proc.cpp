// The device layer with an installed or loaded driver backend, and child processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/plat_backend.h"
#include "platform/platform.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

namespace {

// A fake driver: device "\\.\Fake0" answers code 1 by copying in to out and
// failing code 2 with a general failure.
int g_dev;
int g_closes = 0;

uint32_t fake_open(const char* path, void** dev) {
    if (strcmp(path, "\\\\.\\Fake0") != 0) return PLAT_ERR_NOT_FOUND;
    *dev = &g_dev;
    return 0;
}
uint32_t fake_control(void*, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                      uint32_t* returned) {
    if (code == 2) return PLAT_ERR_GEN_FAILURE;
    if (outSize < inSize) return PLAT_ERR_BAD_LENGTH;
    if (inSize) memmove(out, in, inSize);
    *returned = inSize;
    return 0;
}
void fake_close(void*) {
    g_closes++;
}

const HbaDriverBackend kFake = {HBA_DRIVER_BACKEND_VERSION, fake_open, fake_control, fake_close};

struct DeviceLayer : ::testing::Test {
    void SetUp() override { plat_dev_set_backend(&kFake); }
    void TearDown() override { plat_dev_set_backend(nullptr); }
};

TEST_F(DeviceLayer, InstalledBackendServesRequests) {
    plat_set_last_error(0);
    EXPECT_EQ(plat_dev_open("\\\\.\\Scsi0:"), nullptr);
    EXPECT_EQ(plat_last_error(), (uint32_t)PLAT_ERR_NOT_FOUND);

    PlatHandle h = plat_dev_open("\\\\.\\Fake0");
    ASSERT_NE(h, nullptr);
    struct {
        uint32_t code;
        uint32_t inSize, outSize;
        bool ok;
        uint32_t err, returned;
    } cases[] = {
        {1, 8, 16, true, 0, 8},
        {1, 16, 8, false, PLAT_ERR_BAD_LENGTH, 0},
        {2, 8, 8, false, PLAT_ERR_GEN_FAILURE, 0},
        {1, 0, 0, true, 0, 0},
    };
    for (const auto& c : cases) {
        char in[16] = "request", out[16] = {};
        uint32_t returned = 99;
        plat_set_last_error(0);
        EXPECT_EQ(plat_dev_control(h, c.code, in, c.inSize, out, c.outSize, &returned), c.ok);
        EXPECT_EQ(plat_last_error(), c.err);
        EXPECT_EQ(returned, c.returned);
        if (c.ok && c.inSize) {
            EXPECT_STREQ(out, "request");
        }
    }
    // The last error belongs to the thread that failed.
    plat_set_last_error(7);
    PlatThread t = plat_thread_start(
        [](void* p) -> uint32_t {
            plat_dev_control(static_cast<PlatHandle>(p), 2, nullptr, 0, nullptr, 0, nullptr);
            return plat_last_error();
        },
        h);
    EXPECT_EQ(plat_thread_join(t), (uint32_t)PLAT_ERR_GEN_FAILURE);
    EXPECT_EQ(plat_last_error(), 7u);

    int closes = g_closes;
    plat_dev_close(h);
    EXPECT_EQ(g_closes, closes + 1);
    EXPECT_FALSE(plat_dev_control(nullptr, 1, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(plat_last_error(), (uint32_t)PLAT_ERR_INVALID_HANDLE);
    plat_dev_close(nullptr);
}

TEST(DeviceBackend, LoadedFromFile) {
    struct {
        const char* env; // HBA_DRIVER_BACKEND
        uint32_t err;    // last error after opening a device that no fleet has
    } cases[] = {
        {"/nonexistent/libnothing.so", PLAT_ERR_NO_BACKEND},
        {"libc.so.6", PLAT_ERR_NO_BACKEND}, // loads, but is no backend
        {nullptr, PLAT_ERR_NOT_FOUND},      // the simulated driver beside the platform
    };
    hbatest::TempState st;
    for (const auto& c : cases) {
        if (!c.env && !plat_file_exists(hbatest::bin_path("libhbasimdrv.so").c_str())) continue;
        int got = plattest::in_child([&] {
            if (c.env)
                setenv("HBA_DRIVER_BACKEND", c.env, 1);
            else
                unsetenv("HBA_DRIVER_BACKEND");
            PlatHandle h = plat_dev_open("\\\\.\\Scsi250:");
            return h ? 255 : (int)(plat_last_error() & 0xFF);
        });
        EXPECT_EQ(got, (int)(c.err & 0xFF)) << (c.env ? c.env : "default");
    }
}

TEST(Process, RunReportsExitCodeAndOutput) {
    hbatest::TempState st;
    const std::string out = st.path("out.txt");
    struct {
        const char* script;
        bool capture;
        int exitCode;
        const char* output;
    } cases[] = {
        {"echo hello; exit 0", true, 0, "hello\n"},
        {"printf 'a b'; exit 3", true, 3, "a b"},
        {"exit 87", false, 87, nullptr},
        {"kill -9 $$", true, 128 + 9, ""},
    };
    for (const auto& c : cases) {
        const char* argv[] = {"sh", "-c", c.script, nullptr};
        int code = -1;
        ASSERT_EQ(plat_run("/bin/sh", argv, c.capture ? out.c_str() : nullptr, &code), 0);
        EXPECT_EQ(code, c.exitCode) << c.script;
        if (c.output) {
            EXPECT_EQ(hbatest::read_file(out), c.output) << c.script;
        }
    }
    const char* argv[] = {"nothing", nullptr};
    int code = 5;
    EXPECT_EQ(plat_run(st.path("no-such-program").c_str(), argv, nullptr, &code), -1);
    EXPECT_EQ(plat_run("/bin/sh", argv, st.path("no/dir/out").c_str(), &code), -1);

    EXPECT_EQ(plat_system("exit 4"), 4);
    EXPECT_EQ(plat_system(("echo via shell > " + out).c_str()), 0);
    EXPECT_EQ(hbatest::read_file(out), "via shell\n");
    EXPECT_NE(plat_system(nullptr), 0);
}

} // namespace
