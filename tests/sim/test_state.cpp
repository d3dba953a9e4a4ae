// The state directory: seeding, persistence across processes, atomicity,
// concurrent updates, corrupt files, reboot and large objects.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

using namespace hbasim;

namespace {

const char kOneFc[] =
    "adapter A fc\nfunction fc\nfunction fc\nadapter B cv3\nfunction fcoe\nfunction nic\n";

// Runs fn in a forked child; returns its exit code.
template <typename Fn> int in_child(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint64_t counter(int adapter) {
    uint64_t v = 0;
    EXPECT_EQ(read_adapter(adapter, [&](const Adapter& a) { v = a.attrs.get_u("test_counter"); }),
              SIM_OK);
    return v;
}

int bump(int adapter) {
    return update_adapter(adapter, [](Adapter& a) {
        a.attrs.set_u("test_counter", a.attrs.get_u("test_counter") + 1);
        return true;
    });
}

} // namespace

TEST(State, SeedsDefaultFleetOnFirstUse) {
    hbatest::TempState st;
    EXPECT_EQ(ensure_state(), SIM_OK);
    EXPECT_EQ(adapter_count(), 4);
    FuncRef ref;
    ASSERT_TRUE(find_scsi_port(4, &ref));
    EXPECT_EQ(ref.adapter, 2);
    EXPECT_EQ(ref.func, 0);
    EXPECT_FALSE(find_scsi_port(6, &ref));
}

TEST(State, ChangesPersistAcrossProcesses) {
    hbatest::TempState st;
    st.init(kOneFc);
    EXPECT_EQ(counter(1), 0u); // parent has a cached snapshot now
    EXPECT_EQ(in_child([] { return bump(1) == SIM_OK && bump(1) == SIM_OK ? 0 : 1; }), 0);
    EXPECT_EQ(counter(1), 2u);
    EXPECT_EQ(in_child([] { return (int)counter(1); }), 2);
}

TEST(State, UnchangedUpdateWritesNothing) {
    hbatest::TempState st;
    st.init(kOneFc);
    const std::string before = hbatest::read_file(adapter_file(0));
    EXPECT_EQ(update_adapter(0,
                             [](Adapter& a) {
                                 a.attrs.set("model",
                                             "scratch"); // changed, but reported as unchanged
                                 return false;
                             }),
              SIM_OK);
    EXPECT_EQ(hbatest::read_file(adapter_file(0)), before);
    std::string model;
    read_adapter(0, [&](const Adapter& a) { model = a.attrs.get("model"); });
    EXPECT_EQ(model, "TGF3202");
}

TEST(State, ConcurrentUpdatesLoseNothing) {
    hbatest::TempState st;
    st.init(kOneFc);
    const int kEach = 200;
    pid_t kids[2];
    for (pid_t& k : kids) {
        k = fork();
        if (k == 0) {
            for (int i = 0; i < kEach; ++i)
                if (bump(0) != SIM_OK) _exit(1);
            _exit(0);
        }
    }
    for (pid_t k : kids) {
        int status = 0;
        waitpid(k, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(counter(0), 2u * kEach);
}

TEST(State, KilledWriterLeavesReadableState) {
    hbatest::TempState st;
    st.init(kOneFc);
    uint64_t last = 0;
    for (int round = 0; round < 3; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            for (int i = 0; i < 1 + round * 10; ++i)
                bump(1);
            if (write(fds[1], "x", 1) != 1) _exit(1);
            for (;;)
                bump(1); // killed somewhere in here
        }
        close(fds[1]);
        char c;
        ASSERT_EQ(read(fds[0], &c, 1), 1); // the writer is under way
        close(fds[0]);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // A fresh process reads the state from disk.
        EXPECT_EQ(in_child([&] {
                      uint64_t v = 0;
                      int rc = read_adapter(
                          1, [&](const Adapter& a) { v = a.attrs.get_u("test_counter"); });
                      return rc == SIM_OK && v > last ? 0 : 1;
                  }),
                  0);
        uint64_t seen = counter(1);
        EXPECT_GT(seen, last);
        EXPECT_EQ(bump(1), SIM_OK); // the lock of the killed process is free
        last = seen + 1;
    }
}

TEST(State, CorruptFilesGiveAClearError) {
    struct Case {
        const char* what;
        int adapter; // its state file, or -1 for the index
        void (*damage)(std::string& s);
        const char* message;
    };
    const Case cases[] = {
        {"flipped byte", 1, [](std::string& s) { s[s.size() / 2] ^= 0x20; }, "checksum"},
        {"truncated", 1, [](std::string& s) { s.resize(s.size() - 10); }, "length"},
        {"empty", 1, [](std::string& s) { s.clear(); }, "magic"},
        {"garbage", 1, [](std::string& s) { s = "hello world, not a state file"; }, "magic"},
        {"index", -1, [](std::string& s) { s[s.size() - 2] ^= 1; }, "machine.hbs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hbatest::TempState st;
        st.init(kOneFc);
        const std::string file = c.adapter < 0 ? st.path("machine.hbs") : adapter_file(c.adapter);
        std::string s = hbatest::read_file(file);
        ASSERT_FALSE(s.empty());
        c.damage(s);
        hbatest::write_file(file, s);
        int rc = read_adapter(1, [](const Adapter&) {});
        EXPECT_EQ(rc, SIM_ERR_CORRUPT);
        EXPECT_NE(last_error().find(c.message), std::string::npos) << last_error();
        EXPECT_NE(last_error().find("hbasim init"), std::string::npos) << last_error();
        EXPECT_EQ(update_adapter(1, [](Adapter&) { return true; }), SIM_ERR_CORRUPT);
        Machine m;
        EXPECT_EQ(read_machine(&m), SIM_ERR_CORRUPT);
        // Re-initialising repairs it.
        st.init(kOneFc);
        EXPECT_EQ(read_adapter(1, [](const Adapter&) {}), SIM_OK);
    }
}

TEST(State, InitReplacesMachineAndClearsObjects) {
    hbatest::TempState st;
    st.init();
    ASSERT_EQ(adapter_count(), 4);
    FuncRef f{0, 0};
    ASSERT_EQ(object_put(f, "flash", Bytes{1, 2, 3}), SIM_OK);
    const std::string oldFile = adapter_file(1);
    st.init("adapter Z fc\nfunction fc scsi_port = 9\n");
    EXPECT_EQ(adapter_count(), 1);
    FuncRef ref;
    EXPECT_FALSE(find_scsi_port(0, &ref));
    EXPECT_TRUE(find_scsi_port(9, &ref));
    Bytes b;
    EXPECT_EQ(object_get(f, "flash", &b), SIM_ERR_NOT_FOUND);
    EXPECT_FALSE(hbatest::read_file(adapter_file(0)).empty());
    EXPECT_TRUE(hbatest::read_file(oldFile).empty()); // removed with the old machine
}

TEST(State, RebootAppliesRules) {
    hbatest::TempState st;
    st.init("adapter A cv3 fw_active = 1.0.0.1 fw_flash = 2.0.0.2\n"
            "function fcoe stale_attrs = yes\nfunction nic\n");
    ASSERT_EQ(update_adapter(0,
                             [](Adapter& a) {
                                 a.funcs[1].attrs.set("volatile_mac", "02-00-00-00-00-09");
                                 a.attrs.set("volatile_wwpn", "x");
                                 return true;
                             }),
              SIM_OK);
    ASSERT_EQ(reboot_machine(), SIM_OK);
    Adapter got;
    read_adapter(0, [&](const Adapter& a) { got = a; });
    EXPECT_EQ(got.attrs.get("fw_active"), "2.0.0.2");
    EXPECT_FALSE(got.attrs.has("volatile_wwpn"));
    EXPECT_FALSE(got.funcs[1].attrs.has("volatile_mac"));
    EXPECT_EQ(got.funcs[0].attrs.get("stale_attrs"), "0");
}

TEST(State, ObjectsAndStaging) {
    hbatest::TempState st;
    st.init(kOneFc);
    FuncRef f{1, 0};
    Bytes out;
    EXPECT_EQ(object_get(f, "image", &out), SIM_ERR_NOT_FOUND);
    const char part1[] = "HELLO";
    const char part2[] = "WORLD";
    ASSERT_EQ(staging_write(f, "dl", 5, part2, 5), SIM_OK); // out of order, leaves a hole
    ASSERT_EQ(staging_write(f, "dl", 0, part1, 5), SIM_OK);
    EXPECT_EQ(object_get(f, "image", &out), SIM_ERR_NOT_FOUND); // not visible before commit
    ASSERT_EQ(staging_commit(f, "dl", "image"), SIM_OK);
    ASSERT_EQ(object_get(f, "image", &out), SIM_OK);
    EXPECT_EQ(std::string(out.begin(), out.end()), "HELLOWORLD");
    uint64_t size = 0;
    EXPECT_EQ(object_size(f, "image", &size), SIM_OK);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(staging_commit(f, "dl", "image"), SIM_ERR_NOT_FOUND); // already moved
    ASSERT_EQ(staging_write(f, "dl2", 0, part1, 5), SIM_OK);
    EXPECT_EQ(staging_drop(f, "dl2"), SIM_OK);
    EXPECT_EQ(staging_commit(f, "dl2", "other"), SIM_ERR_NOT_FOUND);
    // Objects are per function and names are checked.
    EXPECT_EQ(object_get(FuncRef{1, 1}, "image", &out), SIM_ERR_NOT_FOUND);
    EXPECT_EQ(object_put(FuncRef{1, 7}, "image", out), SIM_ERR_NOT_FOUND);
    EXPECT_EQ(object_put(f, "../escape", out), SIM_ERR_NOT_FOUND);
    EXPECT_EQ(object_delete(f, "image"), SIM_OK);
    EXPECT_EQ(object_get(f, "image", &out), SIM_ERR_NOT_FOUND);
}

TEST(State, SwitchingStateDirectoryDropsTheSnapshot) {
    hbatest::TempState a;
    a.init(kOneFc);
    EXPECT_EQ(adapter_count(), 2);
    {
        hbatest::TempState b;
        b.init("adapter X fc\nfunction fc\n");
        EXPECT_EQ(adapter_count(), 1);
    }
    EXPECT_EQ(adapter_count(), 2);
}
