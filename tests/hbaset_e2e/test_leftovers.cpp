// What a killed run leaves in the state folder, and the next run: registry
// trash folders and record temporaries, and temporary files of the machine's
// index and adapter files, are removed by the next hbaset run when their
// process is gone; those of a live process stay.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

// The id of a process that has ended, as a killed writer's files carry it.
std::string deadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return std::to_string(pid);
}

std::string generationFolder(const hbatest::TempState& st) {
    for (const auto& e : fs::directory_iterator(st.dir()))
        if (e.is_directory() && e.path().filename().string().rfind("machine.", 0) == 0)
            return e.path().string();
    return "";
}

TEST(Leftovers, NextRunRemovesThoseOfDeadProcesses) {
    hbatest::TempState st;
    st.init();
    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}).exit_code, 0);
    const std::string gen = generationFolder(st);
    ASSERT_FALSE(gen.empty());
    const std::string dead = deadPid();
    const std::string live = std::to_string(getpid());

    const std::vector<std::string> deadFiles = {
        st.path("machine.hbs.tmp." + dead + ".1"),
        gen + "/0.0.hbs.tmp." + dead + ".7",
        st.path("registry/hklm/software/#key.tmp." + dead + ".2"),
        st.path("registry/.trash." + dead + ".0/quoralfieldddcfg/#key"),
    };
    const std::vector<std::string> liveFiles = {
        gen + "/0.0.hbs.tmp." + live + ".7",
        st.path("registry/.trash." + live + ".0/#key"),
    };
    for (const auto& f : deadFiles) {
        fs::create_directories(fs::path(f).parent_path());
        hbatest::write_file(f, "left");
    }
    for (const auto& f : liveFiles) {
        fs::create_directories(fs::path(f).parent_path());
        hbatest::write_file(f, "busy");
    }

    ASSERT_EQ(hbatest::run(hbatest::bin_path("hbaset"), {"listhba"}).exit_code, 0);
    for (const auto& f : deadFiles)
        EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_FALSE(fs::exists(st.path("registry/.trash." + dead + ".0")));
    for (const auto& f : liveFiles)
        EXPECT_TRUE(fs::exists(f)) << f;
}

} // namespace
