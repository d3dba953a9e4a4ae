// `hbaset download` of a .UFI file killed with SIGKILL at chosen NEXA calls:
// after each kill the simulated adapter reads back with the old or the new
// flash version and, after a server reboot, runs that one; a new download
// then succeeds. The calls are drawn from gtest's random seed, so a failing
// run replays with the seed it prints (--gtest_shuffle --gtest_random_seed=N).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "tests/cna_download/cna_fixture.h"

extern char** environ;

namespace {

using cnatest::makeUfi;

constexpr int kCv3Adapter = 2; // machine index of CNA1 (cv3); n=7 is its first NIC
constexpr int kKilled = -1;

// Runs `hbaset download n=7 i=path`; the exit code, or kKilled when it died
// by SIGKILL.
int download(const std::string& path) {
    std::string prog = hbatest::bin_path("hbaset"), cmd = "download", n = "n=7",
                image = "i=" + path;
    char* argv[] = {prog.data(), cmd.data(), n.data(), image.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, prog.c_str(), &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -2;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return kKilled;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

// The download killed at its call-th NEXA call.
int downloadKilledAt(const std::string& path, int call) {
    EXPECT_EQ(hbasim::fault_add({"nexa", "*", -1, call, "kill", 1}), hbasim::SIM_OK);
    int rc = download(path);
    hbasim::fault_clear();
    return rc;
}

std::string adapterAttr(const char* key) {
    std::string v = "(unreadable)";
    hbasim::read_adapter(kCv3Adapter, [&](const hbasim::Adapter& a) { v = a.attrs.get(key); });
    return v;
}

// NEXA calls journalled since the last journal_clear.
int nexaCalls() {
    int n = 0;
    for (const std::string& line : hbasim::journal_lines())
        n += line.rfind("nexa ", 0) == 0;
    return n;
}

TEST(DownloadKill, UfiFlashIsOldOrNew) {
    hbatest::TempState state;
    state.init();
    const std::string versions[2] = {"11.4.901.1", "11.4.902.2"};
    const std::string images[2] = {
        makeUfi(state, "a.ufi", {"--gen", "3", "--version", versions[0]}),
        makeUfi(state, "b.ufi", {"--gen", "3", "--version", versions[1]})};

    // A whole download sets the starting version and tells how many NEXA
    // calls a download makes.
    hbasim::journal_clear();
    ASSERT_EQ(download(images[0]), 80);
    ASSERT_EQ(adapterAttr("fw_flash"), versions[0]);
    const int calls = nexaCalls();
    ASSERT_GT(calls, 1);

    const uint32_t seed = static_cast<uint32_t>(testing::UnitTest::GetInstance()->random_seed());
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> at(1, calls);
    int current = 0;
    for (int run = 0; run < 30; ++run) {
        const int target = 1 - current;
        const int call = at(rng);
        SCOPED_TRACE("run " + std::to_string(run) + " killed at NEXA call " + std::to_string(call));
        ASSERT_EQ(downloadKilledAt(images[target], call), kKilled);
        const std::string seen = adapterAttr("fw_flash");
        ASSERT_TRUE(seen == versions[current] || seen == versions[target]) << "flash " << seen;
        // The adapter starts what its flash holds.
        ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
        EXPECT_EQ(adapterAttr("fw_active"), seen);
        ASSERT_EQ(download(images[target]), 80);
        ASSERT_EQ(adapterAttr("fw_flash"), versions[target]);
        current = target;
    }
}

} // namespace
