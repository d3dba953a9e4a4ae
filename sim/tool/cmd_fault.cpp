// hbasim fault add | list | clear: injected faults for the processes that follow.
#include <cctype>
#include <cstdio>

#include "sim/core/sim_model.h"
#include "sim/driver/sim_driver.h"
#include "sim/tool/tool.h"

namespace hbasim_tool {

using namespace hbasim;

// Sources that consult the fault table: the driver's requests, the adapter
// engine's mailbox commands and the NEXA library's calls.
static const char* const kSources[] = {"drv", "mbx", "nexa", "wmi"};

static bool valid_number(const std::string& s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        if (s.size() > 10) return false;
        for (size_t i = 2; i < s.size(); ++i)
            if (!isxdigit((unsigned char)s[i])) return false;
        return true;
    }
    long long n;
    return parse_count(s, &n);
}

static bool valid_action(const std::string& s) {
    if (s == "fail" || s == "stale" || s == "kill") return true;
    for (const char* p : {"rc=", "status="}) {
        std::string pre = p;
        if (s.compare(0, pre.size(), pre) == 0 && valid_number(s.substr(pre.size()))) return true;
    }
    return false;
}

static int fault_add_cmd(const Args& a) {
    if (a.size() < 4) return fail(EXIT_USAGE, "fault add: expected SOURCE MATCH ACTION");
    Fault f;
    f.source = a[1];
    f.match = a[2];
    f.action = a[3];
    bool known = false;
    for (const char* src : kSources)
        known = known || f.source == src;
    if (!known)
        return fail(EXIT_USAGE, "fault add: unknown source '" + f.source + "' (drv, mbx, nexa or wmi)");
    if (!valid_action(f.action))
        return fail(EXIT_USAGE, "fault add: unknown action '" + f.action +
                                    "' (fail, rc=N, status=N, stale or kill)");
    for (size_t i = 4; i < a.size(); ++i) {
        long long n = 0;
        const std::string& opt = a[i];
        if (opt != "--port" && opt != "--nth" && opt != "--times")
            return fail(EXIT_USAGE, "fault add: unexpected argument '" + opt + "'");
        if (i + 1 >= a.size() || !parse_count(a[i + 1], &n))
            return fail(EXIT_USAGE, "fault add: " + opt + " needs a number");
        ++i;
        if (opt == "--port")
            f.port = (int)n;
        else if (opt == "--nth")
            f.nth = (int)n;
        else
            f.remaining = (int)n;
    }
    // A fault that would match nothing or do nothing is refused, not kept.
    std::string refusal = fault_refusal(f);
    if (!refusal.empty()) return fail(EXIT_USAGE, "fault add: " + refusal);
    if (fault_add(f) != SIM_OK) return fail(EXIT_FAIL, "fault add: " + last_error());
    return EXIT_OK;
}

int cmd_fault(const Args& a) {
    if (a.empty()) return fail(EXIT_USAGE, "fault: expected add, list or clear");
    if (a[0] == "add") return fault_add_cmd(a);
    if (a.size() > 1)
        return fail(EXIT_USAGE, "fault " + a[0] + ": unexpected argument '" + a[1] + "'");
    if (a[0] == "clear") {
        fault_clear();
        return EXIT_OK;
    }
    if (a[0] == "list") {
        for (const Fault& f : fault_list())
            printf("%s %s %s port=%d nth=%d times=%d\n", f.source.c_str(), f.match.c_str(),
                   f.action.c_str(), f.port, f.nth, f.remaining);
        return EXIT_OK;
    }
    return fail(EXIT_USAGE, "fault: unknown subcommand '" + a[0] + "' (add, list or clear)");
}

} // namespace hbasim_tool
