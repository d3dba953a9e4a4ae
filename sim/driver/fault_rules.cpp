// Which injected faults can act, so that `hbasim fault add` refuses a fault
// that would match nothing or do nothing instead of journalling it as fired.
//
// drv: the match is "*" or a request of kDrvHandlers (by name or by code as
// "0x%08X"); every request takes "fail" and "rc=N", the mailbox transport
// forms also "status=N", the port attributes also "stale". mbx: the match is
// "*" or a mailbox command the adapter engine checks faults for (kMboxFaultNames);
// the actions are "status=N" and "fail" (status MBXS_ERROR). nexa: the call
// names belong to the NEXA library and are not checked here; "stale" means
// nothing to it. "kill" (the calling process dies at that call) acts on every
// source but wmi, whose steps run inside the caller.
#include <strings.h>

#include <cstdio>

#include "interfaces/tgx_ioctl.h"
#include "sim/driver/mbox_fw.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

bool starts_with(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

const DrvHandlerEntry* drv_row_named(const std::string& match) {
    for (size_t i = 0; i < kDrvHandlerCount; ++i) {
        const DrvHandlerEntry& e = kDrvHandlers[i];
        char code[16];
        snprintf(code, sizeof code, "0x%08X", e.code);
        if (strcasecmp(match.c_str(), e.name) == 0 || strcasecmp(match.c_str(), code) == 0)
            return &e;
    }
    return nullptr;
}

std::string drv_refusal(const std::string& match, const std::string& action) {
    const DrvHandlerEntry* row = match == "*" ? nullptr : drv_row_named(match);
    if (match != "*" && row == nullptr)
        return "no driver request '" + match + "' (see the request table in docs/simulator.md)";
    if (action == "fail" || starts_with(action, "rc=")) return "";
    if (starts_with(action, "status=")) {
        if (row != nullptr && drv_is_mailbox_form(row->code)) return "";
        return "'" + action + "' needs a mailbox request (ISSUEMB, ISSUEMB_XMTRCV, " +
               "ISSUEMB_EVENTLOG, ISSUEMB_EX or ISSUEMB_V2)";
    }
    if (action == "stale") {
        if (row != nullptr && row->code == TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES) return "";
        return "'stale' applies to HBA_GET_PORT_ATTRIBUTES only";
    }
    return "'" + action + "' is not a driver fault";
}

std::string mbx_refusal(const std::string& match, const std::string& action) {
    bool known = match == "*";
    for (size_t k = 0; k < kMboxFaultNameCount; ++k)
        known = known || strcasecmp(match.c_str(), kMboxFaultNames[k]) == 0;
    if (!known) {
        std::string names;
        for (size_t k = 0; k < kMboxFaultNameCount; ++k)
            names += std::string(names.empty() ? "" : ", ") + kMboxFaultNames[k];
        return "no mailbox command '" + match + "' takes faults (" + names + ")";
    }
    if (action == "fail" || starts_with(action, "status=")) return "";
    return "'" + action + "' is not a mailbox fault (status=N or fail)";
}

// wmi: the steps of the management-event service; "fail" only.
std::string wmi_refusal(const std::string& match, const std::string& action) {
    static const char* const kSteps[] = {"connect", "query", "next", "exec", "subscribe"};
    bool known = match == "*";
    for (const char* s : kSteps)
        known = known || match == s;
    if (!known)
        return "no management-event step '" + match + "' (connect, query, next, exec, subscribe)";
    if (action != "fail") return "'" + action + "' is not a management-event fault (fail)";
    return "";
}

} // namespace

std::string fault_refusal(const Fault& f) {
    if (f.source == "wmi") return wmi_refusal(f.match, f.action);
    if (f.action == "kill") {
        // Any call can be the one a process dies at: only the match is checked.
        if (f.source == "drv") return drv_refusal(f.match, "fail");
        if (f.source == "mbx") return mbx_refusal(f.match, "fail");
        return "";
    }
    if (f.source == "drv") return drv_refusal(f.match, f.action);
    if (f.source == "mbx") return mbx_refusal(f.match, f.action);
    if (f.source == "nexa" && f.action == "stale") return "'stale' is not a NEXA fault";
    return "";
}

} // namespace hbasim
