// The run: privilege check, switches, paths, option rules, the image version
// switch, the matrix file or the firmware folder, discovery, the pass over the
// adapters, and the report with its return code.
#include "fwsweep/run.h"

#include <cstdio>
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "fwsweep/hbaset_child.h"
#include "fwsweep/matrix.h"
#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/switches.h"
#include "fwsweep/update.h"
#include "fwsweep/usage.h"
#include "fwsweep/version.h"
#include "fwsweep/versions.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_registry.h"

namespace {

constexpr const char* kPrivilegeKey = "SOFTWARE\\QuoralFwupdate";
constexpr int kRcNoAdapters = 5;
constexpr int kRcNoPrivileges = 8;
constexpr int kRcNoMatrix = 2;
constexpr int kRcImageVersion = 19;

// The folder of the running program, ending in "/"; "./" when it cannot be read.
std::string programFolder() {
    std::string path(4096, '\0');
    size_t n = plat_exe_path(path.data(), path.size());
    path.resize(n);
    size_t slash = path.rfind('/');
    if (n == 0 || slash == std::string::npos) return "./";
    return path.substr(0, slash + 1);
}

bool havePrivileges() {
    PlatRegKey key = nullptr;
    if (plat_reg_create_key(PLAT_HKLM, kPrivilegeKey, &key) != PLAT_REG_OK) return false;
    plat_reg_close_key(key);
    plat_reg_delete_key(PLAT_HKLM, kPrivilegeKey);
    return true;
}

std::string withSlash(const char* dir) {
    std::string s(dir);
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

// Where the matrix file and the firmware and boot folders are by default: the
// program folder, or the suite's configuration folder when it is installed.
std::string settingsFolder(const RunPaths& p) {
    char dir[4096];
    if (!plat_suite_installed() || plat_suite_dir(PLAT_DIR_CONFIG, dir, sizeof dir) == 0)
        return p.binDir;
    return withSlash(dir);
}

void buildPaths(SweepRun* run) {
    RunPaths& p = run->paths;
    const RunOptions& o = run->opt;
    std::string settings = settingsFolder(p);
    std::string base = o.haveImageDir ? withSlash(o.imageDir) : settings;
    p.firmwareDir = base + "firmware/";
    p.bootDir = base + "boot/";
    p.matrixFile = (o.haveMatrixDir ? withSlash(o.matrixDir) : settings) + FWS_MATRIX_FILE;
    p.cliPath = p.binDir + FWS_CLI_FILE;
    dbgTrace("[Directory Paths]\n");
    dbgTrace("%-20s : %s\n", "Firmware path", p.firmwareDir.c_str());
    dbgTrace("%-20s : %s\n", "Bootcode path", p.bootDir.c_str());
    dbgTrace("%-20s : %s\n", "Bin path", p.binDir.c_str());
    dbgTrace("%-20s : %s\n", "Fwmatrix.txt", p.matrixFile.c_str());
    dbgTrace("%-20s : %s\n\n", "CLI util", p.cliPath.c_str());
    // Child output always goes to a private file in the temp folder; a named
    // drive only shows in the trace.
    dbgTrace("[Temp file]\n%s (ramdrive %d, drive %c)\n", "$TEMP/fwsweep.XXXXXX", o.ramDrive,
             o.ramDriveLetter);
}

int showImageVersion(const RunOptions& o) {
    int ext = EXT_NONE;
    if (isValidFileExtension(o.imageVersionFile, &ext, 2) != 0) {
        outText("\n%s: Error - Unknown image file type - Return Code=%d\n", FWS_PROGRAM,
                kRcImageVersion);
        return kRcImageVersion;
    }
    CluImage img;
    if (verifyFwFile(o.imageVersionFile, &img) != 0) {
        outText("\n%s: Error - Unable to decode the image version - Return Code=%d\n", FWS_PROGRAM,
                kRcImageVersion);
        return kRcImageVersion;
    }
    outText("%s", img.decodedVersion);
    return 0;
}

bool readMatrixFile(SweepRun* run) {
    FILE* f = fopen(run->paths.matrixFile.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        run->matrix.append(buf, n);
    fclose(f);
    return true;
}

void traceImages(const SweepRun& run) {
    dbgTrace("\n[Auto Firmware Discovery]\n");
    dbgTrace("\n[Firmware List]\n");
    if (run.images.empty()) dbgTrace("\n[printCLUImageList] - The image list is null!\n");
    for (const CluImage& img : run.images)
        dbgTrace("%-20s : %s\n%-20s : %s\n%-20s : %d\n%-20s : %X\n", "filename", img.filename,
                 "decodedVersion", img.decodedVersion, "isCVR", img.isCVR, "asicRevisionId",
                 img.asicRevisionId);
}

int runSweep(SweepRun* run, int argc, const char* const* argv) {
    if (!havePrivileges()) {
        outText("\n%s: Error - insufficient privileges - Return Code=%d\n\n", FWS_PROGRAM,
                kRcNoPrivileges);
        return kRcNoPrivileges;
    }
    RunOptions& o = run->opt;
    int rc = readSwitches(argc, argv, &o);
    // After the switches: /xv opens the trace file while they are read.
    dbgTrace("[fwsweep version]\n%s\n", fwsweepVersion());
    if (rc != 0 || o.help) {
        printHelp(o.ramDriveLetter ? o.ramDriveLetter : 'C');
        return rc;
    }
    buildPaths(run);
    if ((rc = checkOptionRules(&o)) != 0) return rc;
    if (o.imageVersion) return showImageVersion(o);
    bool queryOnly = isQueryOnly(o);
    if (!o.autoMode) {
        if (!readMatrixFile(run)) {
            outText("\n%s: Error - fwmatrix update table not found - Return Code=%d\n\n",
                    FWS_PROGRAM, kRcNoMatrix);
            return kRcNoMatrix;
        }
        if (!queryOnly) verifyFWmatrixEntries(run->matrix.data(), run->matrix.size(), o.verbose);
    }
    if (o.autoMode && hasOperation(o)) {
        makeFileNameList(run->paths.firmwareDir, &run->images);
        traceImages(*run);
    }
    discoverAdapters(run);
    if (run->adapters.empty()) {
        outText("\n%s: Error - no supported Quoral HBAs found - Return Code=%d\n\n", FWS_PROGRAM,
                kRcNoAdapters);
        return kRcNoAdapters;
    }
    if (o.xml) xmlOpenRoot(queryOnly);
    handleAdapters(run);
    printSummaries(*run);
    rc = finalStatus(*run);
    if (!queryOnly) printRebootAdvice(*run);
    if (o.xml) xmlCloseRoot(queryOnly);
    return rc;
}

} // namespace

const char* fwsweepVersion() {
    static char text[32];
    snprintf(text, sizeof text, "%d.%d.%d.%d", FWS_VERSION_PARTS[0], FWS_VERSION_PARTS[1],
             FWS_VERSION_PARTS[2], FWS_VERSION_PARTS[3]);
    return text;
}

int fwsweepMain(int argc, const char* const* argv) {
    if (printUsageSwitch(argc, argv)) return 0;
    SweepRun run;
    run.paths.binDir = programFolder();
    traceInitDirectory();
    traceStartRun("########started execution of fwsweep########");
    int rc = runSweep(&run, argc, argv);
    outCloseAll();
    return rc;
}
