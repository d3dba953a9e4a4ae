// hbaset download of a PRG and a .GRP image killed with SIGKILL at chosen
// driver requests: after each kill the adapter reads back the old image or
// the new one, never a part, and after a server reboot runs that one; a new
// download of the image then succeeds. The requests are drawn from gtest's
// random seed, so a failing run replays with the seed it prints
// (--gtest_shuffle --gtest_random_seed=N).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "hbaset/fcmaint/nvparms.h"
#include "tests/download/download_env.h"
#include "tests/support/hbaset_fixture.h"

namespace {

constexpr int kRuns = 25;
constexpr int kKilled = -1;

// Runs `hbaset download target i=path` quietly; the exit code, or kKilled
// when it died by SIGKILL.
int download(const std::string& target, const std::string& path) {
    const std::string program = hbatest::bin_path("hbaset");
    const std::string file = "i=" + path;
    pid_t pid = fork();
    if (pid == 0) {
        FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        execl(program.c_str(), program.c_str(), "download", target.c_str(), file.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return kKilled;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

// Driver requests journalled since the last journal_clear.
int driverRequests() {
    int n = 0;
    for (const std::string& line : hbasim::journal_lines())
        n += line.rfind("drv ", 0) == 0;
    return n;
}

std::string adapterAttr(int adapter, const char* key) {
    std::string value;
    hbasim::read_adapter(adapter, [&](const hbasim::Adapter& a) { value = a.attrs.get(key); });
    return value;
}

// Version of the load list entry of pid0 ("" when there is none; "<n>" when
// there are several).
std::string entryVersion(uint32_t pid0) {
    hbatest::HbasetMachine m{hbatest::AttachExisting{}};
    std::vector<LoadListEntry> e(LOAD_LIST_MAX_ENTRIES);
    uint32_t n = 0;
    EXPECT_EQ(WalkLoadList(0, e.data(), LOAD_LIST_MAX_ENTRIES, &n), 0u);
    std::string version;
    int found = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (e[i].words[4] == pid0) {
            ++found;
            version = e[i].version;
        }
    return found > 1 ? "<" + std::to_string(found) + ">" : version;
}

// The version each place a download commits to holds (load list entry,
// flashed firmware ...).
using Holdings = std::function<std::vector<std::string>()>;

// kRuns downloads of image i (version versions[i]), each killed at a request
// drawn from the seed, each followed by the checks and a whole download.
void killAndRecover(const std::function<std::string(int)>& image,
                    const std::function<std::string(int)>& version, const Holdings& holdings) {
    // A whole download tells how many requests a download makes.
    hbasim::journal_clear();
    ASSERT_EQ(download("n=1", image(0)), 0);
    const int requests = driverRequests();
    ASSERT_GT(requests, 1);
    std::vector<std::string> old = holdings();
    ASSERT_EQ(old, std::vector<std::string>(old.size(), version(0)));

    const uint32_t seed = static_cast<uint32_t>(testing::UnitTest::GetInstance()->random_seed());
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> at(1, requests);
    for (int run = 1; run <= kRuns; ++run) {
        const int request = at(rng);
        SCOPED_TRACE("run " + std::to_string(run) + " killed at request " +
                     std::to_string(request));
        const std::string path = image(run);
        ASSERT_EQ(hbasim::fault_add({"drv", "*", -1, request, "kill", 1}), hbasim::SIM_OK);
        const int rc = download("n=1", path);
        hbasim::fault_clear();
        ASSERT_EQ(rc, kKilled);
        // Each place holds the old or the new image, whole.
        std::vector<std::string> now = holdings();
        for (size_t k = 0; k < now.size(); ++k)
            EXPECT_TRUE(now[k] == old[k] || now[k] == version(run)) << k << ": " << now[k];
        // The adapter starts what its flash holds.
        const std::string flash = adapterAttr(0, "fw_flash");
        ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
        EXPECT_EQ(adapterAttr(0, "fw_active"), flash);
        // And takes the image whole at the next try.
        ASSERT_EQ(download("n=1", path), 0);
        old = holdings();
        EXPECT_EQ(old, std::vector<std::string>(old.size(), version(run)));
        EXPECT_EQ(adapterAttr(0, "fw_active"), version(run));
    }
}

TEST(DownloadKill, PrgReadsBackOldOrNew) {
    dltest::Env env(dltest::fcFleet());
    const uint32_t pid0 = 0x07730101;
    auto version = [](int run) { return "5.0." + std::to_string(run); };
    auto image = [&](int run) {
        sim_image::PrgSpec spec;
        spec.size = 64 * 1024;
        spec.text = version(run);
        return env.file("fw.prg", sim_image::build_prg(spec));
    };
    killAndRecover(image, version, [&] {
        return std::vector<std::string>{entryVersion(pid0), adapterAttr(0, "fw_flash")};
    });
}

TEST(DownloadKill, GrpReadsBackOldOrNew) {
    dltest::Env env("adapter B1 brevin\nfunction fc\n");
    auto version = [](int run) { return "12.9.0." + std::to_string(run); };
    auto image = [&](int run) {
        sim_image::GrpSpec spec;
        spec.size = 1024 * 1024;
        spec.version = version(run);
        return env.file("fw.grp", sim_image::build_grp(spec));
    };
    killAndRecover(image, version,
                   [&] { return std::vector<std::string>{adapterAttr(0, "fw_flash")}; });
}

} // namespace
