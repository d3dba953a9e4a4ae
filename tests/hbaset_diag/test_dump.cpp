// dump run as a process: the RAM dump of a converged adapter lands in the
// current directory under the host, model and time name; FC adapters are
// refused.
#include <dirent.h>

#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    return names;
}

TEST(Dump, ConvergedAdapterRamIntoTheCurrentDirectory) {
    TempState state;
    state.init("adapter F fc\nfunction fc\nadapter C cv3\n model = CV3C102\nfunction fcoe\n"
               "function nic\n");
    std::string dir = state.path("dumps");
    ASSERT_EQ(hbatest::run("/bin/mkdir", {dir}).exit_code, 0);
    RunResult r = hbatest::run(boot::hbasetPath(), {"dump", "n=3"}, {}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::vector<std::string> files = filesIn(dir);
    ASSERT_EQ(files.size(), 1u) << r.out;
    const std::string& name = files[0];
    // <host>_CV3C102_yymmdd-hhmmssmmm.efd
    size_t model = name.find("_CV3C102_");
    ASSERT_NE(model, std::string::npos) << name;
    EXPECT_GT(model, 0u);
    EXPECT_EQ(name.size() - (model + 9), std::string("261210-064125441.efd").size()) << name;
    EXPECT_NE(r.out.find("Successfully created " + dir + "/" + name + ".\n"), std::string::npos)
        << r.out;
    std::string body = hbatest::read_file(dir + "/" + name);
    EXPECT_EQ(body.rfind("DUMP\nadapter=C\nmodel=CV3C102\nmemory=RAM\n", 0), 0u);

    RunResult fc = hbatest::run(boot::hbasetPath(), {"dump", "n=1"}, {}, dir);
    EXPECT_EQ(fc.exit_code, 71);
    EXPECT_NE(fc.out.find("Command not supported on Adapter Number: 1\n"), std::string::npos);
    EXPECT_EQ(filesIn(dir).size(), 1u);
}

} // namespace
