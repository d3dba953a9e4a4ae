// The per-adapter writer lock as programs see it: while another program holds
// an adapter's lock, every command that changes that adapter fails with the
// busy line and 170 and leaves the machine as it was; commands that only read
// run at once; a writer that waits goes on as soon as the holder is done.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/plat_adapter_lock.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

using hbatest::RunResult;

// Lock names of the default fleet's adapters: PCI bus and device.
const char kFc1[] = "pci-10-00";    // HBA 1-2
const char kBrevin[] = "pci-20-00"; // HBA 3-4
const char kCv3[] = "pci-30-00";    // HBA 5-6 (FCoE), 7-8 (NIC)
const char kTarnel[] = "pci-40-00"; // HBA 9-10 (iSCSI), 11-12 (NIC)

class WriterLock : public ::testing::Test {
  protected:
    void SetUp() override {
        state_.init();
        RunResult img = hbatest::run(hbatest::bin_path("hbasim"),
                                     {"image", "grp", "--version", "12.8.700.1", "-o", image()});
        ASSERT_EQ(img.exit_code, 0) << img.out << img.err;
    }
    void TearDown() override {
        for (PlatAdapterLock l : held_)
            plat_adapter_unlock(l);
    }
    RunResult hbaset(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {}) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, env, state_.dir());
    }
    // Holds an adapter's lock as another program would.
    PlatAdapterLock hold(const char* name) {
        PlatAdapterLock l = nullptr;
        EXPECT_EQ(plat_adapter_lock(name, 0, &l, nullptr), PLAT_LOCK_OK) << name;
        held_.push_back(l);
        return l;
    }
    void release(PlatAdapterLock l) {
        plat_adapter_unlock(l);
        held_.erase(std::find(held_.begin(), held_.end(), l));
    }
    // Every file of the current machine with its contents: equal snapshots
    // mean no adapter changed.
    std::map<std::string, std::string> machine() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(state_.dir())) {
            const std::string rel = fs::relative(e.path(), state_.dir()).string();
            if (e.is_regular_file() && rel.rfind("machine.", 0) == 0 &&
                rel.find('/') != std::string::npos)
                files[rel] = hbatest::read_file(e.path().string());
        }
        return files;
    }
    std::string image() const { return state_.path("fw.grp"); }

    hbatest::TempState state_;
    std::vector<PlatAdapterLock> held_;
};

TEST_F(WriterLock, WritersOfAHeldAdapterAreBusyAndChangeNothing) {
    hold(kFc1);
    hold(kBrevin);
    hold(kCv3);
    hold(kTarnel);
    const struct {
        std::vector<std::string> args;
        int number; // the adapter the busy line names
    } cases[] = {
        {{"download", "n=3", "i=" + image()}, 3},
        {{"setbootdevice", "n=1", "w0=20000000", "w1=11abcdef", "l=1", "t=0"}, 1},
        {{"setAltBoot", "n=2", "i=1", "w0=20000000", "w1=11abcdef", "l=2"}, 2},
        {{"scriptWWPN", "n=4", "w0=10000000", "w1=C9ABCDEF"}, 4},
        {{"jumper", "n=1", "s=0"}, 1},
        {{"writesvmac", "n=7", "m=020000000001"}, 7},
        {{"changepersonality", "n=8", "p=iSCSI"}, 8},
        {{"writevlanprops", "n=12", "i=5", "p=3"}, 12},
        // Commands on every adapter lock them all, in name order.
        {{"factorydefaults", "n=all"}, 1},
        {{"reset", "n=all"}, 1},
    };
    const auto before = machine();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = hbaset(c.args);
        EXPECT_EQ(r.exit_code, 170) << r.out;
        EXPECT_NE(r.out.find("adapter " + std::to_string(c.number) +
                             " is busy: another program is changing it\nReported Error of 170\n"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_EQ(machine(), before);
}

TEST_F(WriterLock, OnlyTheHeldAdapterIsBusy) {
    hold(kBrevin);
    RunResult other = hbaset({"setbootdevice", "n=1", "w0=20000000", "w1=11abcdef", "l=1", "t=0"});
    EXPECT_EQ(other.exit_code, 0) << other.out;
    RunResult sameAdapter = hbaset({"scriptWWPN", "n=3", "w0=10000000", "w1=C9ABCDEF"});
    EXPECT_EQ(sameAdapter.exit_code, 170) << sameAdapter.out; // HBA 3 and 4: one adapter
}

TEST_F(WriterLock, ReadersNeverWait) {
    for (const char* name : {kFc1, kBrevin, kCv3, kTarnel})
        hold(name);
    const std::vector<std::vector<std::string>> readers = {
        {"listhba"}, {"listattr"},   {"readbootdevice", "n=1"}, {"readaltboot", "n=2"},
        {"listwwn"}, {"vpd", "n=3"}, {"readmac", "n=7"},        {"personalityinfo", "n=8"},
    };
    for (const auto& args : readers) {
        RunResult r = hbaset(args);
        EXPECT_EQ(r.exit_code, 0) << args[0] << "\n" << r.out;
        EXPECT_EQ(r.out.find("busy"), std::string::npos) << args[0];
    }
}

// The second writer waits (real time here) and does its work once the first
// has finished: neither fails, and the change is there.
TEST_F(WriterLock, WaitingWriterGoesOnWhenTheHolderIsDone) {
    PlatAdapterLock first = hold(kFc1);
    pid_t writer = fork();
    if (writer == 0) {
        RunResult r = hbaset({"setbootdevice", "n=1", "w0=20000000", "w1=11abcdef", "l=1", "t=0"},
                             {{"PLAT_SLEEP_SCALE", "100"}});
        _exit(r.exit_code < 0 ? 255 : r.exit_code);
    }
    usleep(300 * 1000);
    release(first);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    RunResult shown = hbaset({"readbootdevice", "n=1"});
    EXPECT_NE(shown.out.find("Boot Device WWN: 20000000   11ABCDEF"), std::string::npos)
        << shown.out;
}

} // namespace
