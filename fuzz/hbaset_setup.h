// Shared by the hbaset fuzz targets: the interpreter with an empty adapter
// table and its console on /dev/null. Inputs that hold a path separator are
// skipped, so a command such as logfile can only name files in the working
// directory (fuzz/run's scratch directory of the target).
#pragma once
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

namespace fuzz {

inline bool hbaset_input_allowed(const uint8_t* data, size_t size) {
    return !memchr(data, '/', size) && !memchr(data, '\\', size);
}

// Resets the interpreter before each input.
inline void hbaset_reset() {
    static FILE* sink = [] {
        private_dir();
        FILE* f = fopen("/dev/null", "w");
        if (!f) abort();
        return f;
    }();
    messageReset();
    g_msg.console = sink;
    g_run.cluStatus = 0;
    g_interp.stopRequested = false;
    g_interp.testStopRequest = false;
    adapterTableRelease();
    adapterTableAllocate(0);
}

} // namespace fuzz
