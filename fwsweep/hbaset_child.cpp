// Child runs of hbaset and the discovery of the adapters through listattr.
#include "fwsweep/hbaset_child.h"

#include <unistd.h>

#include "common/tracelog/tracelog.h"
#include "fwsweep/listattr.h"
#include "fwsweep/output.h"
#include "platform/plat_fs.h"
#include "platform/plat_proc.h"

namespace {

// Reads the whole file behind fd from its start.
bool readAll(int fd, std::string* out) {
    out->clear();
    if (lseek(fd, 0, SEEK_SET) < 0) return false;
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buf, static_cast<size_t>(n));
    }
}

std::string commandText(const std::string& program, const std::vector<std::string>& args) {
    std::string s = program;
    for (const std::string& a : args)
        s += " " + a;
    return s;
}

} // namespace

bool runHbaset(const SweepRun& run, const std::vector<std::string>& args, ChildResult* out) {
    *out = ChildResult();
    const RunOptions& o = run.opt;
    std::string shown = commandText(run.paths.cliPath, args);
    if (o.verbose) outText("\n%s:  executing command : %s\n", FWS_PROGRAM, shown.c_str());
    traceStep("%s:  executing command : %s\n", FWS_PROGRAM, shown.c_str());

    char tempPath[4096];
    int fd = plat_make_temp_file("fwsweep.", tempPath, sizeof tempPath);
    PlatChildStatus st = {false, false, -1, 0};
    if (fd >= 0) {
        std::vector<const char*> argv;
        argv.push_back(run.paths.cliPath.c_str());
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        argv.push_back(nullptr);
        plat_spawn_wait(run.paths.cliPath.c_str(), argv.data(), fd, &st);
        out->tempOk = readAll(fd, &out->output);
        close(fd);
        unlink(tempPath);
    }
    out->started = st.started;
    out->exited = st.exited;
    out->exitCode = st.exited ? st.exit_code : -1;
    dbgTrace("Raw returnStatus = %d\n", out->exitCode);
    dbgTrace("returnStatus = %d\n", out->exitCode);
    if (!st.exited && st.started) dbgTrace("child ended by signal %d\n", st.signal);
    int tempStatus = out->tempOk ? 0 : 1;
    if (o.verbose) {
        outRaw(out->output.c_str());
        outText("\n%s : Command complete - Command Return Code = %d - Temp File Status = %d\n\n",
                FWS_PROGRAM, out->exitCode, tempStatus);
    }
    traceStep("\n%s : Command complete - Command Return Code = %d - Temp File Status = %d\n\n",
              FWS_PROGRAM, out->exitCode, tempStatus);
    return out->tempOk && out->exited;
}

void discoverAdapters(SweepRun* run) {
    run->adapters.clear();
    std::vector<std::string> args = {"listattr"};
    if (!run->opt.vpd) args.push_back("/c");
    ChildResult r;
    if (!runHbaset(*run, args, &r) || r.exitCode != 0) return;
    dbgTrace("\n[getCharacterCountFromTempFile]\nCharacter count = %zu\n", r.output.size());
    if (r.output.empty()) {
        dbgTrace("Error determing the character count\n");
        return;
    }
    dbgTrace("Output length = %zu\n", r.output.size());
    ListAttrTotals totals;
    parseListAttr(r.output.data(), r.output.size(), run->opt.vpd, &run->adapters, &totals);
    postProcessAdapters(&run->adapters, run->opt.vpd);
    run->count.knownAdapters += totals.knownAdapters;
    run->count.bootCodePresent = run->count.bootCodePresent || totals.bootCodePresent;
}
