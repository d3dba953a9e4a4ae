// hbasim log [--tail N] | log clear: the request journal.
#include <cstdio>

#include "sim/core/sim_model.h"
#include "sim/tool/tool.h"

namespace hbasim_tool {

int cmd_log(const Args& a) {
    long long tail = 0;
    if (a.size() == 1 && a[0] == "clear") {
        if (hbasim::journal_clear() != hbasim::SIM_OK)
            return fail(EXIT_FAIL, "log clear: " + hbasim::last_error());
        printf("Journal cleared\n");
        return EXIT_OK;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--tail" && i + 1 < a.size() && parse_count(a[i + 1], &tail) && tail > 0)
            ++i;
        else if (a[i] == "--tail")
            return fail(EXIT_USAGE, "log: --tail needs a positive number");
        else
            return fail(EXIT_USAGE, "log: unexpected argument '" + a[i] + "'");
    }
    for (const std::string& l : hbasim::journal_lines((size_t)tail))
        printf("%s\n", l.c_str());
    return EXIT_OK;
}

} // namespace hbasim_tool
