// The library keeps what it read of the machine between calls; a change made
// by another process must show at the next call all the same.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "nexa_helpers.h"
#include "sim/core/sim_model.h"

using namespace nxt;

namespace {

int in_child(int (*fn)()) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int corevane_count() {
    int inst[8] = {0}, count = 8;
    EXPECT_EQ(NEXA_get_valid_instances(NEXA_ROOT_TAG, "Corevane", inst, &count), NEXA_OK);
    return count;
}

} // namespace

TEST_F(NexaTest, AnotherProcessChangesTheAdapter) {
    EXPECT_EQ(value("Corevane1", "ModelNumber"), "TRN4102");
    ASSERT_EQ(in_child([] {
                  // The machine's second converged adapter is its fourth adapter.
                  return hbasim::update_adapter(3, [](hbasim::Adapter& a) {
                      a.attrs.set("model", "TRN9999");
                      return true;
                  });
              }),
              0);
    EXPECT_EQ(value("Corevane1", "ModelNumber"), "TRN9999");
}

TEST_F(NexaTest, AnotherProcessRecreatesTheMachine) {
    int n = 0, p = 0;
    ASSERT_EQ(member("Corevane1/NICPhysicalHBA1", "MACAddress", NEXA_KIND_PROPERTY, &n, &p), 0);
    EXPECT_EQ(corevane_count(), 2);
    ASSERT_EQ(in_child([] {
                  hbasim::FleetError e;
                  return hbasim::init_state("adapter F fc\nfunction fc\n"
                                            "adapter C tarnel model = TRN7777\nfunction nic\n",
                                            &e);
              }),
              0);
    EXPECT_EQ(corevane_count(), 1);
    EXPECT_EQ(value("Corevane0", "ModelNumber"), "TRN7777");
    char buf[NEXA_VALUE_SIZE] = "stale";
    EXPECT_EQ(NEXA_get_property_val(n, p, buf, sizeof buf), 11); // the node went away
    EXPECT_STREQ(buf, "");
}
