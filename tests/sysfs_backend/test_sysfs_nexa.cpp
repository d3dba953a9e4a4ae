// The simulated NEXA library beside another driver backend: no controllers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "interfaces/nexa.h"
#include "tests/support/support.h"

namespace {

using InitFn = int (*)();
using InstancesFn = int (*)(int, const char*, int*, int*);

TEST(SysfsNexa, ControllersOnlyBesideTheSimulatedDriver) {
    hbatest::TempState state; // the default fleet has converged adapters
    struct Case {
        const char* backend; // null: variable unset
        bool listed;
    } cases[] = {
        {nullptr, true},
        {"", true},
        {"/opt/hba/lib/libhbasimdrv.so", true},
        {"libhbasimdrv.so", true},
        {"/opt/hba/lib/libhbafcsys.so", false},
        {"libhbasimdrv.so.bak", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.backend ? c.backend : "(unset)");
        if (c.backend)
            setenv("HBA_DRIVER_BACKEND", c.backend, 1);
        else
            unsetenv("HBA_DRIVER_BACKEND");
        hbatest::Library nexa("libTsvNEXA.so");
        ASSERT_EQ(nexa.fn<InitFn>("NEXA_init")(), NEXA_OK);
        int tags[16];
        int count = 16;
        EXPECT_EQ(nexa.fn<InstancesFn>("NEXA_get_valid_instances")(NEXA_ROOT_TAG, "Corevane", tags,
                                                                   &count),
                  NEXA_OK);
        EXPECT_EQ(count > 0, c.listed) << count;
        nexa.fn<InitFn>("NEXA_exit")();
    }
    unsetenv("HBA_DRIVER_BACKEND");
}

} // namespace
