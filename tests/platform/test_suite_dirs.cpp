// The suite's folders (plat_paths.h) and the backend choice: the build tree
// keeps the program directory and the simulated machine's state folder; an
// installed suite, recognised by its private library folder under any prefix,
// takes the system's folders, and the simulated machine's state folder while
// the simulated machine is the backend.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/plat_backend.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "tests/support/support.h"

namespace {

std::string dirFor(const std::string& libDir, bool simulated, PlatSuiteDir which) {
    char buf[512];
    size_t n = plat_suite_dir_for(libDir.c_str(), "/home/u/hbasuite/build/bin", simulated,
                                  "/home/u/sim1", which, buf, sizeof buf);
    EXPECT_EQ(n, strlen(buf));
    return buf;
}

TEST(SuiteDirs, LayoutTable) {
    const std::string priv = HBA_PRIVATE_LIBDIR; // lib/<triplet>/hbasuite or lib/hbasuite
    const std::string tree = "/home/u/hbasuite/build/bin";
    struct Case {
        std::string libDir;
        bool simulated;
        std::string config, state, log;
    };
    const Case cases[] = {
        // Build tree: the program directory; state in the simulated machine's folder.
        {tree, true, tree, "/home/u/sim1", tree},
        {tree, false, tree, "/home/u/sim1", tree},
        // A folder that only looks like the private folder is not an install.
        {"/usr/" + priv + "-old", false, tree, "/home/u/sim1", tree},
        // The prefixes /usr and / keep settings in /etc and state in /var.
        {"/usr/" + priv, false, "/etc/hbasuite", "/var/lib/hbasuite", "/var/log/hbasuite"},
        {"/" + priv, false, "/etc/hbasuite", "/var/lib/hbasuite", "/var/log/hbasuite"},
        {"/usr/" + priv, true, "/etc/hbasuite", "/home/u/sim1", "/var/log/hbasuite"},
        // Any other prefix keeps them below itself.
        {"/opt/hs/" + priv, false, "/opt/hs/etc/hbasuite", "/opt/hs/var/lib/hbasuite",
         "/opt/hs/var/log/hbasuite"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dirFor(c.libDir, c.simulated, PLAT_DIR_CONFIG), c.config) << c.libDir;
        EXPECT_EQ(dirFor(c.libDir, c.simulated, PLAT_DIR_STATE), c.state) << c.libDir;
        EXPECT_EQ(dirFor(c.libDir, c.simulated, PLAT_DIR_LOG), c.log) << c.libDir;
    }
    char tiny[8] = "x";
    EXPECT_EQ(plat_suite_dir_for(("/usr/" + priv).c_str(), tree.c_str(), false, "", PLAT_DIR_LOG,
                                 tiny, sizeof tiny),
              0u);
    EXPECT_STREQ(tiny, "");
}

// This test program runs from the build tree.
TEST(SuiteDirs, BuildTree) {
    hbatest::TempState st;
    EXPECT_FALSE(plat_suite_installed());
    char exe[4096], dir[4096];
    ASSERT_GT(plat_exe_path(exe, sizeof exe), 0u);
    std::string exeDir(exe, strrchr(exe, '/'));
    ASSERT_GT(plat_suite_dir(PLAT_DIR_CONFIG, dir, sizeof dir), 0u);
    EXPECT_EQ(dir, exeDir);
    ASSERT_GT(plat_suite_dir(PLAT_DIR_LOG, dir, sizeof dir), 0u);
    EXPECT_EQ(dir, exeDir);
    ASSERT_GT(plat_suite_dir(PLAT_DIR_STATE, dir, sizeof dir), 0u);
    EXPECT_EQ(dir, st.dir());
}

TEST(SuiteDirs, BackendChoice) {
    struct Case {
        const char* variable;
        bool simulated;
    };
    const Case cases[] = {
        {nullptr, true}, // the build tree's default
        {"", true},
        {"sim", true},
        {"sysfs", false},
        {"/opt/x/libhbasimdrv.so", true},
        {"/opt/x/libhbafcsys.so", false},
        {"libother.so", false},
    };
    const char* old = getenv("HBA_DRIVER_BACKEND");
    std::string saved = old ? old : "";
    for (const Case& c : cases) {
        if (c.variable)
            setenv("HBA_DRIVER_BACKEND", c.variable, 1);
        else
            unsetenv("HBA_DRIVER_BACKEND");
        EXPECT_EQ(plat_dev_backend_simulated(), c.simulated) << (c.variable ? c.variable : "unset");
    }
    if (old)
        setenv("HBA_DRIVER_BACKEND", saved.c_str(), 1);
    else
        unsetenv("HBA_DRIVER_BACKEND");
}

} // namespace
