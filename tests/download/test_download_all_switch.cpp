// An .ALL download switches as a whole: the adapter starts the images it had
// or every image of the file, never a mix, whether the download is killed
// between its images, refused part way or completes. What starts is what the
// adapter shows: the AWC version word in adapter memory (0x1F0) and the boot
// slots of the wakeup parameters the BWC image fills.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/wakeup.h"
#include "tests/download/download_env.h"
#include "tests/support/hbaset_fixture.h"

namespace {

constexpr int kRuns = 16;

// What the adapter starts: the AWC version and the expansion ROM slot.
struct Started {
    uint32_t awc = 0;
    uint32_t bootRom = 0;
    bool operator==(const Started& o) const { return awc == o.awc && bootRom == o.bootRom; }
};

Started started() {
    hbatest::HbasetMachine m{hbatest::AttachExisting{}};
    Started s;
    uint32_t n = 1;
    EXPECT_EQ(DumpMemory(0, &s.awc, AWC_VERSION_ADDRESS, &n), 0u);
    WakeupParms p;
    EXPECT_EQ(ReadWakeupParms(0, &p), 0u);
    s.bootRom = p.expRom.w0;
    return s;
}

// An AWC (area 1, memory from 0) and then a BWC (area 2) of version v.
sim_image::Image allFile(uint32_t v) {
    sim_image::AifFileSpec f;
    f.all = true;
    sim_image::AifSpec awc;
    awc.kind = "awc";
    awc.idWord = 0x01780000 | v;
    awc.body = 16 * 1024;
    f.images.push_back(awc);
    sim_image::AifSpec bwc;
    bwc.kind = "bwc";
    bwc.area = 2;
    bwc.base = 0x80000;
    bwc.idWord = 0x03790000 | v;
    bwc.body = 16 * 1024;
    f.images.push_back(bwc);
    return sim_image::build_aif(f);
}

Started wanted(uint32_t v) {
    return Started{0x01780000 | v, 0x03790000 | v};
}

pid_t spawnDownload(const std::string& path) {
    return dltest::spawnHbaset({"download", "n=1", "i=" + path});
}

std::string adapterAttr(const char* key) {
    std::string value;
    hbasim::read_adapter(0, [&](const hbasim::Adapter& a) {
        if (!a.funcs.empty()) value = a.funcs[0].attrs.get(key);
    });
    return value;
}

// Kills the child once the adapter holds images of it aside (the first image
// is loaded, the switch not yet made), or after a random number of polls.
// Returns true when the child was killed before it ended.
bool killPartWay(pid_t pid, bool atFirstImage, int polls) {
    int status = 0;
    for (int i = 0;; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        if (atFirstImage ? !adapterAttr("la_pending_pid").empty() : i >= polls) break;
        sched_yield();
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return true;
}

TEST(AllSwitch, KilledDownloadsStartTheOldSetOrTheNewOne) {
    dltest::Env env(dltest::fcFleet());
    ASSERT_EQ(env.download("n=1", env.file("fw.ALL", allFile(1))).exit_code, 0);
    Started before = started();
    ASSERT_EQ(before, wanted(1));
    std::mt19937 rng(20261210);
    int killedBetween = 0;
    for (int run = 0; run < kRuns; ++run) {
        const uint32_t v = 0x100 + static_cast<uint32_t>(run);
        const std::string path = env.file("fw.ALL", allFile(v));
        const bool atFirst = run % 2 == 0;
        const int polls = std::uniform_int_distribution<int>(0, 4000)(rng);
        bool killed = killPartWay(spawnDownload(path), atFirst, polls);
        if (killed && atFirst) ++killedBetween;
        const Started now = started();
        EXPECT_TRUE(now == before || now == wanted(v))
            << "run " << run << ": awc " << std::hex << now.awc << " rom " << now.bootRom;
        before = now;
    }
    EXPECT_GT(killedBetween, kRuns / 4); // the kills between images did land there
    // The next download is not disturbed by what killed runs left aside.
    ASSERT_EQ(env.download("n=1", env.file("fw.ALL", allFile(0x200))).exit_code, 0);
    EXPECT_EQ(started(), wanted(0x200));
    EXPECT_EQ(adapterAttr("la_pending_pid"), "");
}

TEST(AllSwitch, ImageRefusedPartWayKeepsTheOldSet) {
    // The second image's last chunk is refused: the first image never starts.
    dltest::Env env(dltest::fcFleet("dl_last_status = 0,0,0,5"));
    ASSERT_EQ(env.download("n=1", env.file("fw.ALL", allFile(1))).exit_code, 0);
    hbatest::RunResult r = env.download("n=1", env.file("fw.ALL", allFile(2)));
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_EQ(started(), wanted(1));
}

TEST(AllSwitch, ResetDropsImagesLoadedWithoutTheSwitch) {
    dltest::Env env(dltest::fcFleet());
    ASSERT_EQ(env.download("n=1", env.file("fw.ALL", allFile(1))).exit_code, 0);
    ASSERT_TRUE(killPartWay(spawnDownload(env.file("fw.ALL", allFile(2))), true, 0));
    ASSERT_NE(adapterAttr("la_pending_pid"), "");
    EXPECT_EQ(env.hbaset({"reset", "n=1"}).exit_code, 0);
    EXPECT_EQ(adapterAttr("la_pending_pid"), "");
    EXPECT_EQ(started(), wanted(1));
}

} // namespace
