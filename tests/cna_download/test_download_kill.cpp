// `hbaset download` of a .UFI file killed with SIGKILL at random points: the
// simulated adapter always reads back with the old or the new flash version,
// never anything else, and the next download succeeds.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <ctime>
#include <random>

#include "tests/cna_download/cna_fixture.h"

extern char** environ;

namespace {

using cnatest::makeUfi;
using Clock = std::chrono::steady_clock;

constexpr int kCv3Adapter = 2; // machine index of CNA1 (cv3); n=7 is its first NIC

// Starts `hbaset download n=7 i=path`; kills it after delayUs unless it ended
// first. Returns the exit code, or -1 when it was killed.
int downloadKilledAfter(const std::string& path, long delayUs) {
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
    if (delayUs >= 0) {
        usleep(static_cast<useconds_t>(delayUs));
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string flashVersion() {
    std::string v = "(unreadable)";
    hbasim::read_adapter(kCv3Adapter,
                         [&](const hbasim::Adapter& a) { v = a.attrs.get("fw_flash"); });
    return v;
}

TEST(DownloadKill, UfiFlashIsOldOrNew) {
    hbatest::TempState state;
    state.init();
    const std::string versions[2] = {"11.4.901.1", "11.4.902.2"};
    const std::string images[2] = {
        makeUfi(state, "a.ufi", {"--gen", "3", "--version", versions[0]}),
        makeUfi(state, "b.ufi", {"--gen", "3", "--version", versions[1]})};

    // A whole download, timed, sets the starting version.
    auto t0 = Clock::now();
    ASSERT_EQ(downloadKilledAfter(images[0], -1), 80);
    long wholeUs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count());
    ASSERT_EQ(flashVersion(), versions[0]);

    const unsigned seed = static_cast<unsigned>(time(nullptr));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<long> delay(0, wholeUs);
    int current = 0, killed = 0;
    for (int run = 0; run < 30; ++run) {
        int target = 1 - current;
        long d = delay(rng);
        int rc = downloadKilledAfter(images[target], d);
        killed += rc == -1;
        std::string seen = flashVersion();
        ASSERT_TRUE(seen == versions[current] || seen == versions[target])
            << "run " << run << " killed after " << d << " us: flash " << seen;
        ASSERT_EQ(downloadKilledAfter(images[target], -1), 80) << "run " << run;
        ASSERT_EQ(flashVersion(), versions[target]);
        current = target;
    }
    EXPECT_GT(killed, 0); // some runs were cut short
}

} // namespace
