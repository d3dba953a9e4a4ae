// Writer locks of physical adapters: a second holder waits through the
// platform sleep for the bound and is told busy, a killed holder frees the
// lock, and a lock file that is planted or cannot be created is refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/plat_backend.h"
#include "platform/platform.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

using plattest::Signal;

namespace {

const char kName[] = "pci-30-00";

// The folder a backend names for its machine's locks: here the test's state.
size_t test_lock_dir(char* buf, size_t size) {
    char state[4096];
    size_t n = plat_state_dir(state, sizeof state);
    int m = snprintf(buf, size, "%s/locks", state);
    return n && m > 0 && (size_t)m < size ? (size_t)m : 0;
}

class AdapterLock : public ::testing::Test {
  protected:
    void SetUp() override {
        backend.version = HBA_DRIVER_BACKEND_VERSION;
        backend.lockDir = test_lock_dir;
        plat_dev_set_backend(&backend);
    }
    void TearDown() override {
        plat_dev_set_backend(nullptr);
        plat_set_sleep_hook(nullptr, nullptr);
        plat_set_state_error(0);
    }
    HbaDriverBackend backend{};
    std::string lockFile() const { return state.path("locks/adapter-pci-30-00.lock"); }
    hbatest::TempState state;
};

void add_sleep(uint32_t ms, void* ctx) {
    *static_cast<uint64_t*>(ctx) += ms;
}

TEST_F(AdapterLock, FolderIsTheBackendsElseTheSuiteState) {
    char dir[4096];
    ASSERT_GT(plat_adapter_lock_dir(dir, sizeof dir), 0u);
    EXPECT_EQ(std::string(dir), state.path("locks"));
    backend.lockDir = nullptr;
    char suite[4096];
    ASSERT_GT(plat_suite_dir(PLAT_DIR_STATE, suite, sizeof suite), 0u);
    ASSERT_GT(plat_adapter_lock_dir(dir, sizeof dir), 0u);
    EXPECT_EQ(std::string(dir), std::string(suite) + "/locks");
}

TEST_F(AdapterLock, SecondHolderWaitsTheWholeBoundThenIsBusy) {

    PlatAdapterLock first = nullptr;
    ASSERT_EQ(plat_adapter_lock(kName, 0, &first, nullptr), PLAT_LOCK_OK);
    uint64_t slept = 0;
    plat_set_sleep_hook(add_sleep, &slept);
    PlatAdapterLock second = nullptr;
    EXPECT_EQ(plat_adapter_lock(kName, 1234, &second, nullptr), PLAT_LOCK_BUSY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(slept, 1234u);

    // Another adapter is not held by it.
    PlatAdapterLock other = nullptr;
    EXPECT_EQ(plat_adapter_lock("pci-40-00", 0, &other, nullptr), PLAT_LOCK_OK);
    plat_adapter_unlock(other);

    plat_adapter_unlock(first);
    slept = 0;
    ASSERT_EQ(plat_adapter_lock(kName, 1234, &second, nullptr), PLAT_LOCK_OK);
    EXPECT_EQ(slept, 0u);
    plat_adapter_unlock(second);
}

TEST_F(AdapterLock, KilledHolderReleasesIt) {
    Signal ready;
    pid_t holder = plattest::start_child([&ready] {
        PlatAdapterLock l = nullptr;
        if (plat_adapter_lock(kName, 0, &l, nullptr) != PLAT_LOCK_OK) return 1;
        ready.notify();
        for (;;)
            pause();
    });
    ASSERT_TRUE(ready.wait());
    PlatAdapterLock l = nullptr;
    EXPECT_EQ(plat_adapter_lock(kName, 0, &l, nullptr), PLAT_LOCK_BUSY);
    kill(holder, SIGKILL);
    plattest::wait_child(holder);
    ASSERT_EQ(plat_adapter_lock(kName, 0, &l, nullptr), PLAT_LOCK_OK);
    plat_adapter_unlock(l);
}

TEST_F(AdapterLock, LockFilesThatAreRefused) {
    const struct {
        const char* name;
        int stateError; // injected storage fault, 0: none
        bool plantLink; // a link where the lock file goes
        bool plantFifo; // a FIFO there
        PlatFileStatus why;
    } cases[] = {
        {"full file system", ENOSPC, false, false, PLAT_FILE_NO_SPACE},
        {"read-only file system", EROFS, false, false, PLAT_FILE_READ_ONLY},
        {"planted link", 0, true, false, PLAT_FILE_LINK},
        {"planted FIFO", 0, false, true, PLAT_FILE_NOT_REGULAR},
    };
    const std::string victim = state.path("victim");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(state.path("locks"));
        std::filesystem::remove(lockFile());
        if (c.plantLink) std::filesystem::create_symlink(victim, lockFile());
        if (c.plantFifo) {
            ASSERT_EQ(mkfifo(lockFile().c_str(), 0600), 0);
        }
        plat_set_state_error(c.stateError);
        PlatAdapterLock l = nullptr;
        PlatFileStatus why = PLAT_FILE_OK;
        EXPECT_EQ(plat_adapter_lock(kName, 1000, &l, &why), PLAT_LOCK_FAILED);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(l, nullptr);
        plat_set_state_error(0);
    }
    EXPECT_FALSE(std::filesystem::exists(victim)); // nothing was created through the link
}

} // namespace
