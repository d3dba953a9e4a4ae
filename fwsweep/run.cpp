// The run: privilege check, switches, paths, option rules, the image version
// switch, the matrix file or the firmware folder, discovery, the pass over the
// adapters, and the report with its return code.
#include "fwsweep/run.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "fwsweep/digests.h"
#include "fwsweep/hbaset_child.h"
#include "fwsweep/json_parts.h"
#include "fwsweep/history.h"
#include "fwsweep/matrix.h"
#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/switches.h"
#include "fwsweep/trust.h"
#include "fwsweep/update.h"
#include "fwsweep/usage.h"
#include "fwsweep/version.h"
#include "fwsweep/versions.h"
#include "platform/plat_fs.h"
#include "platform/plat_paths.h"
#include "platform/plat_registry.h"
#include "platform/plat_safe_io.h"

namespace {

constexpr const char* kPrivilegeKey = "SOFTWARE\\QuoralFwupdate";
constexpr int kRcNoAdapters = 5;
constexpr int kRcNoPrivileges = 8;
constexpr int kRcNoMatrix = 2;
constexpr int kRcImageVersion = 19;
constexpr size_t kMatrixMax = 16u << 20; // bytes of a matrix file read

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
    p.historyFile = historyPath(o);
    dbgTrace("[Directory Paths]\n");
    dbgTrace("%-20s : %s\n", "Firmware path", p.firmwareDir.c_str());
    dbgTrace("%-20s : %s\n", "Bootcode path", p.bootDir.c_str());
    dbgTrace("%-20s : %s\n", "Bin path", p.binDir.c_str());
    dbgTrace("%-20s : %s\n", "Fwmatrix.txt", p.matrixFile.c_str());
    dbgTrace("%-20s : %s\n", "History", p.historyFile.c_str());
    dbgTrace("%-20s : %s\n\n", "CLI util", p.cliPath.c_str());
    // Child output always goes to an unnamed file in the temp folder; a named
    // drive only shows in the trace.
    dbgTrace("[Temp file]\n%s (ramdrive %d, drive %c)\n", "unnamed file in $TEMP", o.ramDrive,
             o.ramDriveLetter);
}

// Ends the run early: the document of /xml or /json (the text form has
// printed its message already).
int earlyExit(SweepRun* run, int code, const char* name, const std::string& message) {
    setEarlyExit(run, code, name, message);
    printDocument(*run);
    return code;
}

// A file the run reads that is there but cannot be used: one clear line.
void sayUnusable(const char* path, int why) {
    if (why != PLAT_OPEN_OK && why != PLAT_OPEN_MISSING)
        outText("\n%s: Error - %s: %s\n", FWS_PROGRAM, path, plat_open_result_text(why));
}

int showImageVersion(SweepRun* run) {
    const RunOptions& o = run->opt;
    int ext = EXT_NONE;
    if (isValidFileExtension(o.imageVersionFile, &ext, 2) != 0) {
        outText("\n%s: Error - Unknown image file type - Return Code=%d\n", FWS_PROGRAM,
                kRcImageVersion);
        return earlyExit(run, kRcImageVersion, "image-version-error", "Unknown image file type");
    }
    CluImage img;
    int fd = -1;
    int why = plat_open_regular(o.imageVersionFile, &fd);
    if (fd >= 0) close(fd);
    sayUnusable(o.imageVersionFile, why);
    if (why != PLAT_OPEN_OK || verifyFwFile(o.imageVersionFile, &img) != 0) {
        outText("\n%s: Error - Unable to decode the image version - Return Code=%d\n", FWS_PROGRAM,
                kRcImageVersion);
        return earlyExit(run, kRcImageVersion, "image-version-error",
                         "Unable to decode the image version");
    }
    run->imageVersionText = img.decodedVersion;
    if (o.json) return earlyExit(run, 0, "image-version", img.decodedVersion);
    // The version alone is what scripts read, with /xml too.
    if (o.xml)
        docText("%s", img.decodedVersion);
    else
        outText("%s", img.decodedVersion);
    return 0;
}

bool readMatrixFile(SweepRun* run) {
    int why = plat_read_regular_file(run->paths.matrixFile.c_str(), kMatrixMax, &run->matrix);
    sayUnusable(run->paths.matrixFile.c_str(), why);
    return why == PLAT_OPEN_OK;
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

// Switches, paths and option rules. Returns -1 to go on, else the code the
// run ends with.
int readCommandLine(SweepRun* run, int argc, const char* const* argv) {
    RunOptions& o = run->opt;
    int rc = readSwitches(argc, argv, &o);
    // After the switches: /xv opens the trace file while they are read.
    dbgTrace("[fwsweep version]\n%s\n", fwsweepVersion());
    if (rc != 0 || o.help) {
        printHelp(o.ramDriveLetter ? o.ramDriveLetter : 'C');
        if (rc != 0)
            return earlyExit(run, rc, "switch-error",
                             switchErrorText().empty() ? "No switch given" : switchErrorText());
        return earlyExit(run, 0, "help", "Help shown.");
    }
    buildPaths(run);
    if ((rc = checkOptionRules(&o)) != 0)
        return earlyExit(run, rc, "invalid-options", switchErrorText());
    return -1;
}

// The matrix file or the firmware folder. Returns -1 to go on, else the code.
int readImageSources(SweepRun* run) {
    const RunOptions& o = run->opt;
    if (!o.autoMode) {
        if (!readMatrixFile(run)) {
            outText("\n%s: Error - fwmatrix update table not found - Return Code=%d\n\n",
                    FWS_PROGRAM, kRcNoMatrix);
            return earlyExit(run, kRcNoMatrix, "matrix-not-found",
                             "fwmatrix update table not found");
        }
        if (!isQueryOnly(o))
            verifyFWmatrixEntries(run->matrix.data(), run->matrix.size(), o.verbose);
    }
    if (o.autoMode && hasOperation(o)) {
        makeFileNameList(run->paths.firmwareDir, &run->images);
        traceImages(*run);
    }
    return -1;
}

// Discovery through hbaset. Returns -1 to go on, else the code.
int discover(SweepRun* run) {
    std::string why;
    if (!hbasetTrusted(*run, &why)) {
        std::string message = "refusing to run " + run->paths.cliPath + ": " + why;
        outText("\n%s: Error - %s - Return Code=%d\n\n", FWS_PROGRAM, message.c_str(),
                kRcNoAdapters);
        return earlyExit(run, kRcNoAdapters, "untrusted-program", message);
    }
    discoverAdapters(run);
    if (run->adapters.empty()) {
        outText("\n%s: Error - no supported Quoral HBAs found - Return Code=%d\n\n", FWS_PROGRAM,
                kRcNoAdapters);
        return earlyExit(run, kRcNoAdapters, "no-supported-adapters",
                         "No supported Quoral HBAs found.");
    }
    return -1;
}

int runSweep(SweepRun* run, int argc, const char* const* argv) {
    RunOptions& o = run->opt;
    // The form of the report is known before anything can fail, so that
    // every early exit is a document too.
    prescanDocument(argc, argv, &o);
    outSetDocumentMode(o.xml || o.json);
    if (!havePrivileges()) {
        outText("\n%s: Error - insufficient privileges - Return Code=%d\n\n", FWS_PROGRAM,
                kRcNoPrivileges);
        return earlyExit(run, kRcNoPrivileges, "insufficient-privileges",
                         "insufficient privileges");
    }
    int rc = readCommandLine(run, argc, argv);
    if (rc >= 0) return rc;
    if (o.imageVersion) return showImageVersion(run);
    if (o.history) {
        rc = showHistory(run);
        printDocument(*run);
        return rc;
    }
    if ((rc = readImageSources(run)) >= 0) return rc;
    if ((rc = discover(run)) >= 0) return rc;
    historyResolve(run);
    if (hasOperation(o)) prepareDigests(run);
    handleAdapters(run);
    printSummaries(*run);
    rc = finalStatus(run);
    if (!isQueryOnly(o)) printRebootAdvice(*run);
    printDocument(*run);
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
    run.runId = newRunId();
    run.startedAt = rfc3339Now();
    run.paths.binDir = programFolder();
    traceInitDirectory();
    traceStartRun("########started execution of fwsweep########");
    int rc = runSweep(&run, argc, argv);
    outCloseAll();
    return rc;
}
