// The suite installed as a package installs it (cmake --install into a private
// prefix): the files in their FHS folders, the real backend by default and the
// simulated machine only when chosen, settings, traces, logs and the registry
// store in the suite's folders instead of beside the programs or the library,
// and the development files building a program of the library.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;

// A fresh install under <state>/root/usr. The suite's folders are those of a
// prefix other than /usr: <prefix>/etc/hbasuite, <prefix>/var/{lib,log}/hbasuite;
// the log folder is made as the package's postinst makes it.
class InstalledSuite {
  public:
    InstalledSuite() {
        prefix_ = st_.path("root/usr");
        hbatest::RunResult r =
            hbatest::run(HBA_CMAKE, {"--install", HBA_BUILD_DIR, "--prefix", prefix_});
        EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
        fs::create_directories(etc());
        fs::create_directories(log());
        fs::create_directories(st_.path("sysfs"));
        fs::create_directories(st_.path("sim"));
    }
    std::string etc() const { return prefix_ + "/etc/hbasuite"; }
    std::string log() const { return prefix_ + "/var/log/hbasuite"; }
    std::string lib() const { return prefix_ + "/var/lib/hbasuite"; }
    std::string sim() const { return st_.path("sim"); }
    std::string prefix() const { return prefix_; }
    // Runs an installed program with the simulated machine's folder set and an
    // empty sysfs tree for the real backend; env adds to that.
    hbatest::RunResult run(const std::string& program, const std::vector<std::string>& args,
                           std::map<std::string, std::string> env = {}) const {
        env.emplace("HBASIM_DIR", sim());
        env.emplace("HBA_SYSFS_ROOT", st_.path("sysfs"));
        env.emplace("HBA_DRIVER_BACKEND", "");
        return hbatest::run(prefix_ + "/" + program, args, env);
    }
    // The one folder under the prefix that holds file name, or "".
    std::string folderOf(const std::string& name) const {
        for (const auto& e : fs::recursive_directory_iterator(prefix_))
            if (e.path().filename() == name) return e.path().parent_path().string();
        return "";
    }

  private:
    hbatest::TempState st_;
    std::string prefix_;
};

TEST(InstalledTree, FilesInTheirFolders) {
    InstalledSuite s;
    // The library folder (lib/<triplet> or lib) holds libtgx; the private
    // folder below it every library that only the suite loads.
    const std::string libdir = s.folderOf("libtgx.so.1");
    ASSERT_NE(libdir, "");
    const std::string priv = libdir.substr(s.prefix().size() + 1) + "/hbasuite/";
    const std::string lib = libdir.substr(s.prefix().size() + 1) + "/";
    const std::vector<std::string> files = {"sbin/hbaset",
                                            "sbin/fwsweep",
                                            "bin/tgxlist",
                                            "bin/hbasim",
                                            lib + "libtgx.so",
                                            lib + "pkgconfig/libtgx.pc",
                                            lib + "cmake/libtgx/libtgxConfig.cmake",
                                            priv + "libhbaplatform.so",
                                            priv + "libTsvNEXA.so",
                                            priv + "libhbasim_core.so",
                                            priv + "libhbasimdrv.so",
                                            priv + "libhbafcsys.so",
                                            "include/libtgx/libtgx.h",
                                            "include/libtgx/interfaces/tgx_driver_records.h",
                                            "share/man/man8/hbaset.8.gz",
                                            "share/man/man8/fwsweep.8.gz",
                                            "share/man/man1/tgxlist.1.gz",
                                            "share/man/man1/hbasim.1.gz",
                                            "share/man/man3/libtgx.3.gz",
                                            "share/bash-completion/completions/hbaset",
                                            "share/bash-completion/completions/fwsweep",
                                            "share/bash-completion/completions/hbasim",
                                            "share/doc/hbasuite/copyright",
                                            "share/doc/libtgx1/copyright",
                                            "share/doc/libtgx-dev/copyright",
                                            "share/doc/hbasuite-sim/copyright"};
    for (const std::string& file : files)
        EXPECT_TRUE(fs::exists(s.prefix() + "/" + file)) << file;
    // Nothing of the suite's libraries beside the programs.
    for (const auto& e : fs::directory_iterator(s.prefix() + "/bin"))
        EXPECT_EQ(e.path().extension(), "") << e.path();
    EXPECT_FALSE(fs::exists(s.prefix() + "/bin/tgxevents"));
}

TEST(InstalledTree, RealBackendByDefaultStateInTheSuiteFolder) {
    InstalledSuite s;
    // File tracing on, from the settings folder, so the library writes its log.
    hbatest::write_file(s.etc() + "/LIBTGX.ini", "DBG_PRINT=1\n");
    hbatest::RunResult r = s.run("sbin/hbaset", {"listhba"});
    EXPECT_EQ(r.exit_code, 45) << r.out << r.err;
    EXPECT_NE(r.out.find("No Quoral CNA adapters installed\n"), std::string::npos) << r.out;
    // The administrator check went to the suite's registry store, not to a
    // folder named after the simulator.
    EXPECT_TRUE(fs::is_directory(s.lib() + "/registry")) << s.lib();
    EXPECT_FALSE(fs::exists(s.sim() + "/registry"));
    // The library's log is in the log folder, never beside the library.
    EXPECT_TRUE(fs::exists(s.log() + "/LIBTGX.LOG"));
    EXPECT_EQ(s.folderOf("LIBTGX.LOG"), s.log());
}

TEST(InstalledTree, SimulatedMachineChosenByVariableOrSetting) {
    InstalledSuite s;
    hbatest::RunResult byVariable =
        s.run("sbin/hbaset", {"listhba"}, {{"HBA_DRIVER_BACKEND", "sim"}});
    EXPECT_EQ(byVariable.exit_code, 0) << byVariable.out << byVariable.err;
    EXPECT_NE(byVariable.out.find("HBA 1: "), std::string::npos) << byVariable.out;
    // The simulated host keeps its own registry.
    EXPECT_TRUE(fs::is_directory(s.sim() + "/registry"));
    EXPECT_FALSE(fs::exists(s.lib() + "/registry"));

    hbatest::write_file(s.etc() + "/hbasuite.conf", "# rehearsals\n  backend = sim  \n");
    hbatest::RunResult bySetting = s.run("sbin/hbaset", {"listhba"});
    EXPECT_EQ(bySetting.exit_code, 0) << bySetting.out;
    EXPECT_EQ(bySetting.out, byVariable.out);
    // The variable still wins over the setting.
    hbatest::RunResult real = s.run("sbin/hbaset", {"listhba"}, {{"HBA_DRIVER_BACKEND", "sysfs"}});
    EXPECT_EQ(real.exit_code, 45) << real.out;
}

TEST(InstalledTree, TracesAndSettingsInTheSuiteFolders) {
    InstalledSuite s;
    hbatest::write_file(s.log() + "/qrldbg.log", "");
    hbatest::write_file(s.etc() + "/LIBTGX.ini", "DBG_PRINT=1\n");
    hbatest::RunResult r = s.run("sbin/hbaset", {"listhba"}, {{"HBA_DRIVER_BACKEND", "sim"}});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(hbatest::read_file(s.log() + "/qrldbg.log").find("started execution of Hbaset"),
              std::string::npos);
    EXPECT_NE(hbatest::read_file(s.log() + "/LIBTGX.LOG").find("LibTgx Error and Trace Log File"),
              std::string::npos);
    EXPECT_EQ(s.folderOf("qrldbg.log"), s.log());
}

TEST(InstalledTree, FwsweepReadsItsMatrixFromTheConfigurationFolder) {
    InstalledSuite s;
    const std::map<std::string, std::string> sim = {{"HBA_DRIVER_BACKEND", "sim"}};
    hbatest::RunResult missing = s.run("sbin/fwsweep", {"/q"}, sim);
    EXPECT_EQ(missing.exit_code, 2) << missing.out;
    EXPECT_NE(missing.out.find("fwmatrix update table not found"), std::string::npos);
    hbatest::write_file(s.etc() + "/fwmatrix.txt", "CV3C102-FCoE cv3.ufi\n");
    hbatest::RunResult query = s.run("sbin/fwsweep", {"/q"}, sim);
    EXPECT_EQ(query.exit_code, 0) << query.out;
}

TEST(InstalledTree, DevelopmentFilesBuildAProgram) {
    // A sanitizer build's libtgx needs the sanitizer's runtime in the program
    // that links it; the plain builds run this test.
    if (std::string(HBA_SANITIZE) != "") GTEST_SKIP() << "built with -fsanitize=" HBA_SANITIZE;
    InstalledSuite s;
    hbatest::TempState work;
    hbatest::write_file(work.path("count.c"), "#include <stdio.h>\n#include <libtgx.h>\n"
                                              "int main(void) {\n"
                                              "    printf(\"%u\\n\", TGX_InitDiagEnv(0, 0));\n"
                                              "    return 0;\n}\n");
    const std::string libdir = fs::path(s.folderOf("libtgx.pc")).parent_path().string();
    const std::map<std::string, std::string> env = {{"PKG_CONFIG_PATH", libdir + "/pkgconfig"}};
    hbatest::RunResult flags = hbatest::run(
        "/usr/bin/env",
        {"pkg-config", "--define-variable=prefix=" + s.prefix(), "--cflags", "--libs", "libtgx"},
        env);
    ASSERT_EQ(flags.exit_code, 0) << flags.err;
    hbatest::RunResult cc =
        hbatest::run("/bin/sh", {"-c", "cc -o \"$0\" \"$1\" $2", work.path("count"),
                                 work.path("count.c"), flags.out});
    ASSERT_EQ(cc.exit_code, 0) << cc.err;
    // The program finds libtgx.so.1 in the library folder (as ldconfig would)
    // and the library its private folder through its own run path.
    hbatest::RunResult run = hbatest::run(
        work.path("count"), {}, {{"LD_LIBRARY_PATH", libdir}, {"HBA_DRIVER_BACKEND", "sim"}});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out, "0\n");

    fs::create_directories(work.path("proj"));
    hbatest::write_file(work.path("proj/CMakeLists.txt"),
                        "cmake_minimum_required(VERSION 3.20)\nproject(user C)\n"
                        "find_package(libtgx 12 REQUIRED)\n"
                        "add_executable(count ${CMAKE_CURRENT_SOURCE_DIR}/../count.c)\n"
                        "target_link_libraries(count PRIVATE libtgx::libtgx)\n");
    hbatest::RunResult conf =
        hbatest::run(HBA_CMAKE, {"-S", work.path("proj"), "-B", work.path("proj/build"), "-G",
                                 "Ninja", "-DCMAKE_PREFIX_PATH=" + s.prefix()});
    ASSERT_EQ(conf.exit_code, 0) << conf.out << conf.err;
    hbatest::RunResult build = hbatest::run(HBA_CMAKE, {"--build", work.path("proj/build")});
    EXPECT_EQ(build.exit_code, 0) << build.out << build.err;
}

} // namespace
