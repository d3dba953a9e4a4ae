// The state survives killed writers, concurrent readers and hostile files:
// machine changes are all-or-nothing, damaged and linked files are refused,
// and the tool's inputs are bounded.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "sim/core/sim_model.h"
#include "tests/support/support.h"

using namespace hbasim;
namespace fs = std::filesystem;

namespace {

// n FC adapters named <prefix>0.. with one function each and fw_flash ahead
// of fw_active (a reboot changes every one of them).
std::string fleet_of(const char* prefix, int n) {
    std::string t;
    for (int i = 0; i < n; ++i)
        t += "adapter " + std::string(prefix) + std::to_string(i) +
             " fc fw_active = 1.0.0.1 fw_flash = 2.0.0.2\nfunction fc\n";
    return t;
}

// The adapter names of the machine as one text ("S0 S1 S2"), or the error.
std::string machine_names() {
    Machine m;
    if (read_machine(&m) != SIM_OK) return "error: " + last_error();
    std::string s;
    for (const Adapter& a : m.adapters)
        s += (s.empty() ? "" : " ") + a.name;
    return s;
}

std::string names_of(const char* prefix, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += (i ? " " : "") + std::string(prefix) + std::to_string(i);
    return s;
}

// Runs fn in a fresh child process (no snapshot cache) and returns what it wrote.
std::string from_child(std::string (*fn)()) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string s = fn();
        if (write(fds[1], s.data(), s.size()) < 0) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, (size_t)n);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return out;
}

hbatest::RunResult hbasim_run(const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env = {}) {
    return hbatest::run(hbatest::bin_path("hbasim"), args, env);
}

// Entries of the state directory and the generation folders, for leftovers.
std::vector<std::string> tree(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out.push_back(fs::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

// What a writer killed part way through a machine change leaves behind, and
// the one reproduction of a mixed state (an old index put back over a new
// machine): each reads as exactly the old or the new machine, or fails with
// a clear error; never as a mix.
TEST(StateSafety, InterruptedInitReadsAsOldOrNewMachine) {
    const std::string oldNames = names_of("S", 3), newNames = names_of("B", 8);
    struct Case {
        const char* what;
        int newFiles;       // adapter files of the new machine in place (-1: all)
        bool newIndex;      // the index was switched to the new machine
        const char* expect; // "old", "new" or "error"
    };
    const Case cases[] = {
        {"killed after 1 new adapter file", 1, false, "old"},
        {"killed after every new adapter file", -1, false, "old"},
        {"killed after the index switch", -1, true, "new"},
        {"old index put back over the new machine", 0, false, "error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hbatest::TempState newer;
        newer.init(fleet_of("B", 8));
        const std::string newIndex = hbatest::read_file(newer.path("machine.hbs"));
        const std::string newGen = fs::path(adapter_file(0)).parent_path().filename();
        hbatest::TempState st;
        st.init(fleet_of("S", 3));
        if (c.newFiles == 0) {
            // The reproduction: save the old index, make a new machine, put the
            // old index back.
            const std::string oldIndex = hbatest::read_file(st.path("machine.hbs"));
            st.init(fleet_of("B", 8));
            hbatest::write_file(st.path("machine.hbs"), oldIndex);
        } else {
            fs::create_directories(st.path(newGen + "/objects"));
            for (int i = 0; i < (c.newFiles < 0 ? 8 : c.newFiles); ++i) {
                const std::string f = newGen + "/" + std::to_string(i) + ".0.hbs";
                fs::copy_file(newer.path(f), st.path(f));
            }
            if (c.newIndex) hbatest::write_file(st.path("machine.hbs"), newIndex);
        }
        const std::string seen = from_child(machine_names);
        if (std::string(c.expect) == "error") {
            EXPECT_NE(seen.find("missing"), std::string::npos) << seen;
            EXPECT_NE(seen.find("hbasim init"), std::string::npos) << seen;
            auto show = hbasim_run({"show"});
            EXPECT_EQ(show.exit_code, 1);
            auto list = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"});
            EXPECT_NE(list.exit_code, 0) << list.out;
        } else {
            EXPECT_EQ(seen, std::string(c.expect) == "old" ? oldNames : newNames);
        }
        // The next writer removes what the killed one left: one generation
        // folder remains, holding only the files its index names.
        ASSERT_EQ(hbasim_run({"reboot"}).exit_code, std::string(c.expect) == "error" ? 1 : 0);
        st.init(fleet_of("S", 2));
        int folders = 0, files = 0;
        for (const std::string& e : tree(st.dir())) {
            folders += e.rfind("machine.", 0) == 0 && e.find('/') == std::string::npos &&
                       fs::is_directory(st.path(e));
            files += e.size() > 4 && e.compare(e.size() - 4, 4, ".hbs") == 0 && e != "machine.hbs";
        }
        EXPECT_EQ(folders, 1);
        EXPECT_EQ(files, 2);
    }
}

// Writers killed at random points of init and reboot, with a reader running
// all the while: every read is one whole machine, and a reboot changed all
// adapters or none.
TEST(StateSafety, KilledInitAndRebootNeverLeaveAMix) {
    hbatest::TempState st;
    st.init(fleet_of("S", 3));
    const std::string small = names_of("S", 3), big = names_of("B", 12);
    std::mt19937 rng(12345);
    for (int round = 0; round < 12; ++round) {
        pid_t writer = fork();
        if (writer == 0) {
            for (int i = 0;; ++i) {
                if (i % 3 == 2)
                    reboot_machine();
                else
                    init_state(fleet_of(i % 2 ? "B" : "S", i % 2 ? 12 : 3), nullptr);
            }
        }
        // A reader in this process while the writer works.
        for (int i = 0; i < 20; ++i) {
            std::string seen = machine_names();
            EXPECT_TRUE(seen == small || seen == big) << seen;
        }
        usleep(std::uniform_int_distribution<int>(0, 20000)(rng));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        std::string seen = from_child(machine_names);
        ASSERT_TRUE(seen == small || seen == big) << "round " << round << ": " << seen;
        Machine m;
        ASSERT_EQ(read_machine(&m), SIM_OK);
        int rebooted = 0;
        for (const Adapter& a : m.adapters)
            rebooted += a.attrs.get("fw_active") == "2.0.0.2";
        EXPECT_TRUE(rebooted == 0 || rebooted == (int)m.adapters.size()) << rebooted;
    }
}

// A machine change clears the faults and objects of the old machine with it.
TEST(StateSafety, InitClearsFaultsAndObjectsOfTheOldMachine) {
    hbatest::TempState st;
    st.init(fleet_of("S", 2));
    ASSERT_EQ(fault_add(Fault{"drv", "X", -1, 0, "fail", -1}), SIM_OK);
    ASSERT_EQ(object_put(FuncRef{0, 0}, "flash", Bytes{1, 2}), SIM_OK);
    ASSERT_EQ(reboot_machine(), SIM_OK); // a reboot keeps both
    EXPECT_EQ(fault_list().size(), 1u);
    Bytes b;
    EXPECT_EQ(object_get(FuncRef{0, 0}, "flash", &b), SIM_OK);
    st.init(fleet_of("S", 2));
    EXPECT_TRUE(fault_list().empty());
    EXPECT_EQ(object_get(FuncRef{0, 0}, "flash", &b), SIM_ERR_NOT_FOUND);
}

// A damaged adapter file is named and skipped: the other adapters are served
// and hbasim reports every damaged file.
TEST(StateSafety, DamagedAdapterFilesAreReportedAndSkipped) {
    hbatest::TempState st;
    st.init(); // the default fleet: FC, Brevin FC, two converged adapters
    const std::string fc = adapter_file(1), cna = adapter_file(2);
    fs::resize_file(fc, 100);
    hbatest::write_file(cna, "garbage");
    auto show = hbasim_run({"show"});
    EXPECT_EQ(show.exit_code, 1);
    EXPECT_NE(show.err.find(fc + " is corrupt"), std::string::npos) << show.err;
    EXPECT_NE(show.err.find(cna + " is corrupt"), std::string::npos) << show.err;
    EXPECT_NE(show.out.find("CNA2"), std::string::npos) << show.out; // healthy ones shown
    auto check = hbasim_run({"check"});
    EXPECT_EQ(check.exit_code, 1);
    EXPECT_NE(check.out.find("2 damaged"), std::string::npos) << check.out;

    auto list = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"});
    EXPECT_NE(list.err.find(fc), std::string::npos) << list.err;
    EXPECT_NE(list.err.find(cna), std::string::npos) << list.err;
    // The healthy adapters: the first FC adapter and the Tarnel adapter.
    EXPECT_NE(list.out.find("TGF3202"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("TRN4102"), std::string::npos) << list.out;
    st.init();
    EXPECT_EQ(hbasim_run({"check"}).exit_code, 0);
}

// Links and special files in the state directory are never followed: the
// programs do not write outside it, and a hostile file fails cleanly.
TEST(StateSafety, LinksAndSpecialFilesAreRefused) {
    hbatest::TempState st;
    st.init(fleet_of("S", 2));
    const std::string outside = st.path("../hbasim-outside-" + std::to_string(getpid()));
    for (const char* name : {"journal.log", "machine.seq", "machine.lock"}) {
        SCOPED_TRACE(name);
        hbatest::write_file(outside, "untouched");
        fs::remove(st.path(name));
        fs::create_symlink(outside, st.path(name));
        auto r = hbatest::run(hbatest::bin_path("hbasim"), {"reboot"});
        journal("test", "a line");
        EXPECT_EQ(hbatest::read_file(outside), "untouched");
        fs::remove(st.path(name));
    }
    // An adapter file that is a link or a FIFO is damaged, not read through.
    const std::string file = adapter_file(1);
    fs::remove(file);
    fs::create_symlink(outside, file);
    auto r = hbasim_run({"show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    r = hbasim_run({"show"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    fs::remove(outside);
}

// A state directory on a full file system: every program reports the failed
// write and exits non-zero; none is killed (a mapped file the file system
// cannot back raises SIGBUS). Needs the right to mount a small tmpfs.
TEST(StateSafety, FullDiskIsReportedNotCrashed) {
    char tmpl[] = "/tmp/hbafull.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string mnt = tmpl;
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k") != 0) {
        rmdir(mnt.c_str());
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string state = mnt + "/state";
    ASSERT_EQ(mkdir(state.c_str(), 0755), 0);
    {
        FILE* f = fopen((mnt + "/filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string block(4096, 'x');
        while (fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
        }
        fclose(f);
    }
    const std::map<std::string, std::string> env = {{"HBASIM_DIR", state}};
    auto show = hbasim_run({"show"}, env);
    EXPECT_EQ(show.exit_code, 1) << show.err;
    EXPECT_NE(show.err.find("cannot"), std::string::npos) << show.err;
    auto list = hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}, env);
    EXPECT_GT(list.exit_code, 0) << list.out << list.err; // -1: killed by a signal
    umount2(mnt.c_str(), MNT_DETACH);
    rmdir(mnt.c_str());
}

// The tool's own inputs and failures: bounded fleet files, a log clear that
// removed nothing, a state path that is too long.
TEST(StateSafety, ToolInputsAndFailuresAreReported) {
    hbatest::TempState st;
    const std::string big = st.path("big.fleet"), longValue = st.path("long.fleet");
    hbatest::write_file(big, std::string(2u << 20, '#'));
    hbatest::write_file(longValue,
                        "adapter A fc\n  model = " + std::string(70000, 'x') + "\nfunction fc\n");
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        const char* err;
    };
    const Case cases[] = {
        {{"check", "/dev/zero"}, {}, "not a regular file"},
        {{"check", st.dir()}, {}, "not a regular file"},
        {{"init", "--fleet", big}, {}, "larger than 1024 KiB"},
        {{"check", longValue}, {}, "long.fleet:2: value longer than 65536"},
        {{"show"}, {{"HBASIM_DIR", "/tmp/" + std::string(5000, 'd')}}, "path is too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        auto r = hbasim_run(c.args, c.env);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    st.init();
    journal("test", "one line");
    EXPECT_EQ(hbasim_run({"log", "clear"}).exit_code, 0);
    auto again = hbasim_run({"log", "clear"});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_NE(again.err.find("nothing to clear"), std::string::npos) << again.err;
}
