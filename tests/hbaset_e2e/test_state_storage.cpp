// A state file system that is full or read-only, as hbaset reports it: one
// line naming the storage problem and the state folder, and 112; "Not an
// Administrative user!" (78) only when the change is refused for lack of
// rights. The faults come from the platform's storage switch, and from a real
// small file system where the test can mount one without privileges (a user
// and mount namespace).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using hbatest::RunResult;

class StateStorage : public ::testing::Test {
  protected:
    void SetUp() override { state_.init(); }
    RunResult hbaset(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env) {
        return hbatest::run(hbatest::bin_path("hbaset"), args, env, state_.dir());
    }
    std::string storageLine(const std::string& why) const {
        return "Cannot write the machine state in " + state_.dir() + ": " + why + "\n";
    }
    hbatest::TempState state_;
};

TEST_F(StateStorage, FullOrReadOnlyIsNamedAndNotTakenForMissingRights) {
    const struct {
        const char* name;
        std::map<std::string, std::string> env;
        std::string out;
        int exit;
    } cases[] = {
        {"full",
         {{"HBASIM_STATE_ERROR", "nospace"}},
         storageLine("no space left on the device"),
         112},
        {"read-only",
         {{"HBASIM_STATE_ERROR", "readonly"}},
         storageLine("the file system is read-only"),
         112},
        {"no rights", {{"HBASIM_REG_DENY", "1"}}, "Not an Administrative user! Exiting...\n", 78},
    };
    for (const auto& c : cases) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"listhba"},
              std::vector<std::string>{"download", "n=3", "i=fw.grp"}}) {
            SCOPED_TRACE(std::string(c.name) + " " + args[0]);
            RunResult r = hbaset(args, c.env);
            EXPECT_EQ(r.exit_code, c.exit);
            EXPECT_EQ(r.out, c.out);
        }
    }
}

// The same on a real tmpfs that is filled up, then remounted read-only.
TEST_F(StateStorage, RealSmallFileSystem) {
    const std::string hbaset = hbatest::bin_path("hbaset");
    const std::string script = "mount -t tmpfs -o size=512k tmpfs \"$HBASIM_DIR\" || exit 99\n"
                               "\"$1\" listhba > /dev/null\n"
                               "dd if=/dev/zero of=\"$HBASIM_DIR/fill\" bs=4k 2> /dev/null\n"
                               "\"$1\" listhba; echo \"exit $?\"\n"
                               "mount -o remount,ro \"$HBASIM_DIR\" || exit 99\n"
                               "\"$1\" listhba; echo \"exit $?\"\n";
    RunResult r = hbatest::run("/usr/bin/unshare", {"-Urm", "sh", "-c", script, "sh", hbaset});
    if (r.exit_code != 0)
        GTEST_SKIP() << "no private mount namespace here: " << r.exit_code << " " << r.err;
    EXPECT_EQ(r.out, storageLine("no space left on the device") + "exit 112\n" +
                         storageLine("the file system is read-only") + "exit 112\n");
}

} // namespace
