// Child runs of hbaset and the discovery of the adapters through listattr.
//
// The child's standard output goes to a temporary file that never has a
// name, so a kill of fwsweep or of the child leaves nothing behind.
#include "fwsweep/hbaset_child.h"

#include <unistd.h>

#include "common/tracelog/tracelog.h"
#include "fwsweep/listattr.h"
#include "fwsweep/output.h"
#include "platform/plat_fs.h"
#include "platform/plat_proc.h"
#include "platform/plat_safe_io.h"

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

    int fd = plat_make_unnamed_temp_file();
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

namespace {

void traceAdapterList(const SweepRun& run) {
    if (!dbgIsOpen()) return;
    dbgTrace("\n[Discovered HBA List]\n");
    dbgTrace("gHbaCount     = %zu\n", run.adapters.size());
    dbgTrace("knownHbaCount = %d\n\n", run.count.knownAdapters);
    for (const SweepAdapter& a : run.adapters) {
        bool mac = a.portType == PORT_NIC || a.portType == PORT_ISCSI;
        dbgTrace("%-20s : %d\n", "HBA", a.number);
        dbgTrace("%-20s : %s\n", "Serial Number", a.serial);
        dbgTrace("%-20s : %s\n", "Model", a.model);
        dbgTrace("%-20s : %s\n", "FW Version", a.fwVersion);
        dbgTrace("%-20s : %s\n", "Boot Version", a.bootVersion);
        dbgTrace("%-20s : %d\n", "Boot Enabled", a.bootEnabled);
        dbgTrace("%-20s : %s\n", mac ? "Permanent Mac" : "Port WWN", mac ? a.mac : a.wwn);
        dbgTrace("%-20s : %s\n", "Function Type", a.portTypeText);
        dbgTrace("%-20s : %X\n", "PCI Domain Number", a.domain);
        dbgTrace("%-20s : %X\n", "PCI Bus Number", a.bus);
        dbgTrace("%-20s : %X\n", "PCI Dev Number", a.device);
        dbgTrace("%-20s : %X\n", "PCI Fun Number", a.function);
        dbgTrace("%-20s : %04X\n", "Device ID", a.deviceId);
        dbgTrace("%-20s : %04X\n", "Vendor ID", a.vendorId);
        dbgTrace("%-20s : %04X\n", "Sub Device ID", a.subDeviceId);
        dbgTrace("%-20s : %04X\n", "Sub Vendor ID", a.subVendorId);
        dbgTrace("%-20s : %d\n", "VPD Model", a.vpdModel);
        dbgTrace("%-20s : %d\n", "Multi Channel", a.multiChannel);
        dbgTrace("%-20s : %d\n", "Configuration", a.configuration);
        dbgTrace("%-20s : %d\n", "CVR", a.cvr);
        dbgTrace("%-20s : %X\n", "RevID", a.revId);
        dbgTrace("%-20s : %s\n", "FWmatrix Type", a.matrixKey);
        dbgTrace("%-20s : %d\n", "Adapter Group", a.group);
        dbgTrace("%-20s : %s\n", "FW Type", a.fwType);
        dbgTrace("%-20s : %s\n\n", "BC Type", a.bcType);
    }
}

} // namespace

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
    traceAdapterList(*run);
}
