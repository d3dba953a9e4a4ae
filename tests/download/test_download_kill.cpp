// hbaset download killed with SIGKILL at random points of a PRG and a .GRP
// download: the adapter always reads back the old image or the new one, never
// a part, and the next download succeeds.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "hbaset/fcmaint/nvparms.h"
#include "tests/download/download_env.h"
#include "tests/support/hbaset_fixture.h"

namespace {

constexpr int kRuns = 25;

pid_t spawnDownload(const std::string& target, const std::string& path) {
    const std::string program = hbatest::bin_path("hbaset");
    const std::string file = "i=" + path;
    pid_t pid = fork();
    if (pid == 0) {
        // Quiet child: the output is not looked at.
        FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        execl(program.c_str(), program.c_str(), "download", target.c_str(), file.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The simulator keeps a machine's objects beside its adapter files.
std::string stagingPath(const std::string& name) {
    std::string adapter = hbasim::adapter_file(0);
    return adapter.substr(0, adapter.rfind('/')) + "/objects/" + name;
}

uint64_t fileSizeOr0(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Kills the child once the staging object has grown to `at` bytes (or when
// the child ends first). Returns true when the child was killed.
bool killWhenStaged(pid_t pid, const std::string& staging, uint64_t at) {
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        if (fileSizeOr0(staging) >= at) break;
        sched_yield();
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return true;
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

TEST(DownloadKill, PrgReadsBackOldOrNew) {
    dltest::Env env(dltest::fcFleet());
    std::mt19937 rng(20261210);
    const std::string staging = stagingPath("a0f0-down_load.stg");
    const uint32_t pid0 = 0x07730101;
    std::string old; // no entry of the program yet
    std::string oldFlash = adapterAttr(0, "fw_flash");
    int killed = 0;
    for (int run = 0; run < kRuns; ++run) {
        sim_image::PrgSpec spec;
        spec.size = 64 * 1024;
        spec.text = "5.0." + std::to_string(run);
        const std::string path = env.file("fw.prg", sim_image::build_prg(spec));
        const uint64_t at = std::uniform_int_distribution<uint64_t>(0, spec.size)(rng);
        killed += killWhenStaged(spawnDownload("n=1", path), staging, at) ? 1 : 0;
        const std::string now = entryVersion(pid0);
        EXPECT_TRUE(now == old || now == spec.text) << "run " << run << ": " << now;
        const std::string flash = adapterAttr(0, "fw_flash");
        EXPECT_TRUE(flash == oldFlash || flash == spec.text) << "run " << run << ": " << flash;
        old = now;
        oldFlash = flash;
    }
    EXPECT_GT(killed, kRuns / 2); // most kills landed before the end
    sim_image::PrgSpec last;
    last.size = 64 * 1024;
    last.text = "5.1.0";
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", sim_image::build_prg(last)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(entryVersion(pid0), "5.1.0");
    EXPECT_EQ(adapterAttr(0, "fw_active"), "5.1.0");
}

TEST(DownloadKill, GrpReadsBackOldOrNew) {
    dltest::Env env("adapter B1 brevin\nfunction fc\n");
    std::mt19937 rng(1210);
    const std::string staging = stagingPath("a0f0-prg.stg");
    std::string old = adapterAttr(0, "fw_flash");
    int killed = 0;
    for (int run = 0; run < kRuns; ++run) {
        sim_image::GrpSpec spec;
        spec.size = 1024 * 1024;
        spec.version = "12.9.0." + std::to_string(run);
        const std::string path = env.file("fw.grp", sim_image::build_grp(spec));
        const uint64_t at = std::uniform_int_distribution<uint64_t>(0, spec.size)(rng);
        killed += killWhenStaged(spawnDownload("n=1", path), staging, at) ? 1 : 0;
        const std::string now = adapterAttr(0, "fw_flash");
        EXPECT_TRUE(now == old || now == spec.version) << "run " << run << ": " << now;
        old = now;
    }
    EXPECT_GT(killed, kRuns / 2);
    sim_image::GrpSpec last;
    last.version = "12.9.1.0";
    hbatest::RunResult r = env.download("n=1", env.file("fw.grp", sim_image::build_grp(last)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(adapterAttr(0, "fw_active"), "12.9.1.0");
}

} // namespace
