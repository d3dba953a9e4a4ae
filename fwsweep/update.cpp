// Per-adapter decisions and downloads. Functions of one physical converged or
// Brevin adapter share one download: the first one flashed sets the adapter's
// download state, its siblings take the outcome over without a child run.
#include "fwsweep/update.h"

#include <cctype>
#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "fwsweep/devices.h"
#include "fwsweep/digests.h"
#include "fwsweep/hbaset_child.h"
#include "fwsweep/history.h"
#include "fwsweep/matrix.h"
#include "fwsweep/output.h"
#include "fwsweep/report.h"
#include "fwsweep/versions.h"
#include "platform/plat_fs.h"
#include "platform/plat_time.h"

namespace {

// hbaset exit codes read by the download outcome.
constexpr int kCliResetFailed = 14;
constexpr int kCliRebootNeeded = 80;
constexpr int kCliSpecialRelease = 87;
constexpr int kCliNoSignature = 89;
constexpr int kCliBadSignature = 90;

bool isCnaOrBrevin(const SweepAdapter& a) {
    return isConvergedDevice(a.deviceId) || isBrevinDevice(a.deviceId);
}

bool isIlo(const SweepAdapter& a) {
    return isIloConverged(a.deviceId, a.subVendorId, a.subDeviceId);
}

std::string upper(const char* s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return out;
}

// The version an image shows in reports (FC adapters without the first two
// characters).
std::string shownVersion(const SweepAdapter& a, const CluImage& img) {
    std::string v = img.decodedVersion;
    if (isLegacyFcDevice(a.deviceId)) v = v.size() > 2 ? v.substr(2) : std::string();
    return v;
}

// Records a decision of the function (the XML and JSON reports are written
// from these records) and sets its status.
Decision& record(SweepAdapter* a, bool boot, const char* file, const char* version, int status,
                 int action, int result) {
    Decision& d = boot ? a->bootDecision : a->fwDecision;
    d = Decision();
    d.made = true;
    d.file = file;
    d.version = version;
    d.status = status;
    d.action = action;
    d.result = result;
    (boot ? a->bcStatus : a->fwStatus) = status;
    return d;
}

// A firmware decision that ran no download; a named image's path goes with
// it. In text mode with /q the query line is printed now.
void reportFirmware(const SweepRun& run, SweepAdapter* a, const char* file, const char* version,
                    int status, int action, int result, const std::string& imagePath = "") {
    record(a, false, file, version, status, action, result).imagePath = imagePath;
    if (!run.opt.xml && !run.opt.json && run.opt.query)
        printQueryLine(*a, upper(version).c_str(), nullptr);
}

// The adapter was skipped for this component.
void reportSkip(const SweepRun& run, SweepAdapter* a, int status) {
    reportFirmware(run, a, "NONE", "NONE", status, ACTION_SKIP, RESULT_SKIPPED);
}

void reportBootCode(const SweepRun& run, SweepAdapter* a, int status, int action, int result) {
    record(a, true, "NONE", "NONE", status, action, result);
    if (!run.opt.xml && !run.opt.json && run.opt.query) printQueryLine(*a, nullptr, "NONE");
}

void markUnsupported(SweepRun* run, SweepAdapter* a) {
    if (run->opt.verbose)
        outText("\n%s: Unsupported VCNA found! HBA = %s\n", FWS_PROGRAM, a->model);
    dbgTrace("supported     = false\n");
    a->supported = false;
    ++run->count.unsupported;
}

// Copies the adapter's download state and firmware status to its siblings.
void updateCNAdownloadStatus(SweepRun* run, const SweepAdapter& done) {
    dbgTrace("\n[updateCNAdownloadStatus]\n");
    dbgTrace("currentHba adapterNumber = %d\n", done.number);
    for (SweepAdapter& other : run->adapters) {
        if (&other == &done || other.group == FWS_NO_GROUP || other.group != done.group) continue;
        other.downloadState = done.downloadState;
        other.fwStatus = done.fwStatus;
        dbgTrace("updatedHba adapterNumber     = %d\n", other.number);
    }
}

// Failure statuses that tell why the adapter's shared download failed; a
// sibling keeps them instead of the plain "Download failed.".
bool sharedFailure(int status) {
    switch (status) {
    case FWS_DL_RESET_FAILED:
    case FWS_DL_OPEN_FAILED:
    case FWS_DL_NO_SIGNATURE:
    case FWS_DL_BAD_SIGNATURE:
    case FWS_DL_DIGEST_MISMATCH:
    case FWS_DL_NOT_IN_MANIFEST:
    case FWS_DL_NO_MANIFEST:
        return true;
    default:
        return false;
    }
}

// A sibling of an adapter already flashed takes its outcome over. Returns the
// line's ending ("Success", "Preview" or "Error").
const char* takeOverSibling(SweepRun* run, SweepAdapter* a) {
    bool preview = run->opt.preview;
    switch (a->downloadState) {
    case DL_STATE_OK:
        a->fwStatus = preview ? FWS_PREVIEW_OK : FWS_DL_OK;
        return preview ? "Preview" : "Success";
    case DL_STATE_OK_REBOOT:
        a->fwStatus = preview ? FWS_PREVIEW_OK : FWS_DL_OK_REBOOT;
        return preview ? "Preview" : "Success";
    case DL_STATE_SPECIAL:
        a->fwStatus = FWS_DL_SPECIAL;
        return "Success";
    default:
        if (preview)
            a->fwStatus = FWS_PREVIEW_FAILED;
        else if (!sharedFailure(a->fwStatus))
            a->fwStatus = FWS_DL_FAILED;
        // Counted as a failed download, but not as a converged one: the
        // physical adapter was counted once already.
        ++run->count.failedDownloads;
        return "Error";
    }
}

bool containsText(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

// Runs the download and reads the outcome into a's status and *d. Returns
// the line's ending.
const char* runDownload(SweepRun* run, SweepAdapter* a, const std::string& path, Decision* d) {
    bool cna = isCnaOrBrevin(*a);
    dbgTrace("\n[Executing utility FW download command]\n");
    // hbaset refuses arguments of 255 characters or more (51): the download
    // then fails like any other.
    if (path.size() + 2 >= 255)
        dbgTrace("image argument of %zu characters: longer than hbaset accepts\n", path.size() + 2);
    ChildResult r;
    uint64_t start = plat_tick_ms();
    runHbaset(*run, {"download", "n=" + std::to_string(a->number), "i=" + path}, &r);
    d->durationMs = plat_tick_ms() - start;
    d->ranChild = true;
    d->exitCode = r.exited ? r.exitCode : -1;
    dbgTrace("Raw     returnStatus = %d\n", r.exitCode);
    dbgTrace("Shifted returnStatus = %d\n", r.exitCode);
    // The whole output is read; "NO Error" only counts from a child that ended
    // by itself with one of hbaset's success codes.
    bool successCode = r.exited && (r.exitCode == 0 || r.exitCode == kCliRebootNeeded ||
                                    r.exitCode == kCliSpecialRelease);
    if (successCode && r.tempOk && containsText(r.output, "NO Error")) {
        if (!cna) {
            a->fwStatus = FWS_DL_OK;
        } else if (containsText(r.output, "reboot") && r.exitCode == kCliSpecialRelease) {
            a->downloadState = DL_STATE_SPECIAL;
            a->fwStatus = FWS_DL_SPECIAL;
            ++run->count.specialReleases;
        } else if (containsText(r.output, "reboot")) {
            a->downloadState = DL_STATE_OK_REBOOT;
            a->fwStatus = FWS_DL_OK_REBOOT;
        } else {
            a->downloadState = DL_STATE_OK;
            a->fwStatus = FWS_DL_OK;
        }
        return "Success";
    }
    if (!r.exited) dbgTrace("download child did not end normally\n");
    if (cna) {
        a->downloadState = DL_STATE_FAILED;
        ++run->count.cnaFailed;
    }
    ++run->count.failedDownloads;
    // A failed activating reset leaves the new image on flash: it is a failed
    // download that a reboot completes.
    a->fwStatus = !r.exited                        ? FWS_DL_FAILED
                  : r.exitCode == kCliNoSignature  ? FWS_DL_NO_SIGNATURE
                  : r.exitCode == kCliBadSignature ? FWS_DL_BAD_SIGNATURE
                  : r.exitCode == kCliResetFailed  ? FWS_DL_RESET_FAILED
                                                   : FWS_DL_FAILED;
    return "Error";
}

// The message of an image refused before the download.
void sayRefused(const SweepRun& run, const SweepAdapter& a, const std::string& path, int status) {
    const char* manifest =
        run.manifest.path.empty() ? FWS_MANIFEST_FILE : run.manifest.path.c_str();
    if (status == FWS_DL_DIGEST_MISMATCH)
        outText("\n%s: Error - %s does not match its digest in %s; not flashed on HBA = %s\n",
                FWS_PROGRAM, path.c_str(), manifest, a.model);
    else if (status == FWS_DL_NOT_IN_MANIFEST)
        outText("\n%s: Error - %s is not listed in %s; not flashed on HBA = %s\n", FWS_PROGRAM,
                path.c_str(), manifest, a.model);
    else if (status == FWS_DL_NO_MANIFEST)
        outText("\n%s: Error - no readable %s for %s; not flashed on HBA = %s\n", FWS_PROGRAM,
                manifest, path.c_str(), a.model);
    else
        outText("\n%s: Error - %s cannot be read; not flashed on HBA = %s\n", FWS_PROGRAM,
                path.c_str(), a.model);
}

// A download that cannot start: counted as required and failed.
const char* refuseDownload(SweepRun* run, SweepAdapter* a, int status) {
    ++run->count.failedDownloads;
    if (isCnaOrBrevin(*a)) {
        ++run->count.cnaDownloads;
        ++run->count.cnaFailed;
        a->downloadState = DL_STATE_FAILED;
    }
    a->fwStatus = status;
    return "Error";
}

int resultOfStatus(int status) {
    switch (status) {
    case FWS_DL_OK:
    case FWS_PREVIEW_OK:
        return RESULT_OK;
    case FWS_DL_OK_REBOOT:
    case FWS_DL_SPECIAL:
        return RESULT_PENDING_REBOOT;
    default:
        return RESULT_FAILED;
    }
}

// One firmware download of image file for adapter a.
void downloadFirmware(SweepRun* run, SweepAdapter* a, const CluImage& img) {
    bool cna = isCnaOrBrevin(*a);
    ++run->count.requiredDownloads;
    std::string version = shownVersion(*a, img);
    std::string line = downloadLineHead(*a, "Firmware", img.filename, version.c_str());
    std::string path = run->paths.firmwareDir + img.filename;
    Decision d;
    const char* ending;
    int refused = 0;
    if (!plat_file_exists(path.c_str())) {
        ending = refuseDownload(run, a, FWS_DL_OPEN_FAILED);
    } else if (cna && a->downloadState != DL_STATE_NONE) {
        ending = takeOverSibling(run, a);
        dbgTrace("Skipping adapter... HBA %d, serial %s, bus %X, domain %X, state %d\n", a->number,
                 a->serial, a->bus, a->domain, a->downloadState);
    } else if ((refused = digestVerdict(run, path)) != 0) {
        sayRefused(*run, *a, path, refused);
        ending = refuseDownload(run, a, refused);
    } else {
        if (cna) ++run->count.cnaDownloads;
        if (run->opt.preview) {
            dbgTrace("fw download   = preview\n");
            a->downloadState = DL_STATE_OK;
            a->fwStatus = FWS_PREVIEW_OK;
            ending = "Preview";
        } else {
            ending = runDownload(run, a, path, &d);
        }
    }
    if (cna) updateCNAdownloadStatus(run, *a);
    line += ending;
    line += "\n";
    if (run->count.specialReleases > 0) line += FWS_SPECIAL_LINE_TEXT;
    if (!run->opt.xml && !run->opt.json) outRaw(line.c_str());
    run->downloadLines += line;

    Decision& rec =
        record(a, false, img.filename, version.c_str(), a->fwStatus,
               run->opt.preview ? ACTION_PREVIEW : ACTION_FLASH, resultOfStatus(a->fwStatus));
    rec.update = true;
    rec.imagePath = path;
    rec.ranChild = d.ranChild;
    rec.exitCode = d.exitCode;
    rec.durationMs = d.durationMs;
    if (rec.ranChild) historyRecordAttempt(run, *a, rec);
    if (!run->opt.xml && !run->opt.json && run->opt.query)
        printQueryLine(*a, upper(version.c_str()).c_str(), nullptr);
}

const char* operationVerb(const RunOptions& o) {
    return o.downgrade ? "downgrade" : (o.rewrite ? "rewrite" : "update");
}

// Decides whether img goes onto a and downloads it when it does. Returns true
// when it was downloaded (or a download was attempted).
bool decideAndDownload(SweepRun* run, SweepAdapter* a, const CluImage& img, bool reportNotNeeded) {
    const RunOptions& o = run->opt;
    int needed = isUpdateNeededCNA(a->fwImage, img, o.rewrite || o.downgrade);
    std::string version = shownVersion(*a, img);
    if (needed == FWS_NEEDED_BAD_TYPE) {
        if (reportNotNeeded) reportSkip(*run, a, FWS_SKIP_NO_FW);
        return false;
    }
    if (o.downgrade) needed = !needed;
    if (o.forceFw || needed) {
        dbgTrace("\n[Update Needed]\ntrue\n");
        downloadFirmware(run, a, img);
        return true;
    }
    dbgTrace("false\n");
    if (reportNotNeeded) {
        reportFirmware(*run, a, img.filename, version.c_str(), FWS_DL_NOT_NEEDED, ACTION_KEEP,
                       RESULT_OK, run->paths.firmwareDir + img.filename);
        if (o.verbose)
            outText("\n%s: A %s %s was not required on HBA: %s\n", FWS_PROGRAM, "firmware",
                    operationVerb(o), a->model);
    }
    return false;
}

// A failed firmware entry: one required and failed download, reported with
// "NONE" as image.
void matrixEntryFailure(SweepRun* run, SweepAdapter* a, int status, const char* message,
                        int detail) {
    ++run->count.requiredDownloads;
    ++run->count.failedDownloads;
    if (isCnaOrBrevin(*a)) {
        ++run->count.cnaDownloads;
        ++run->count.cnaFailed;
    }
    reportFirmware(*run, a, "NONE", "NONE", status, ACTION_FLASH, RESULT_FAILED);
    if (run->opt.verbose) outText(message, FWS_PROGRAM, a->model, detail);
}

void matrixFirmware(SweepRun* run, SweepAdapter* a, const MatrixMatch& m) {
    dbgTrace("\n[Operation]\nforceFw || downgradeFw || rewriteFw || updateFw\n");
    if (strcmp(m.firmware, "NONE") == 0)
        return matrixEntryFailure(run, a, FWS_DL_NO_IMAGE_FILE,
                                  "\n%s: No firmware entry found for HBA = %s, status = %X\n", 0);
    if (strcmp(m.firmware, "INVALID_FILE") == 0)
        return matrixEntryFailure(run, a, FWS_DL_OPEN_FAILED,
                                  "\n%s: Invalid firmware entry found for HBA = %s, status = %X\n",
                                  0);
    if (!plat_file_exists((run->paths.firmwareDir + m.firmware).c_str())) {
        // The entry names an image: it counts as found, and its absence as a
        // failed download.
        ++run->count.compatibleImages;
        return matrixEntryFailure(
            run, a, FWS_DL_NO_IMAGE_FILE,
            "\n%s: Error - unable to open firmware file for HBA = %s, status = %X\n", 0);
    }
    CluImage img;
    int st = initFileImage(&img, run->paths.firmwareDir, m.firmware, 0);
    if (st != 0) {
        const char* msg =
            st == 199 ? "\n%s: Error - reading firmware image for HBA = %s, status = %X\n"
            : st == 200
                ? "\n%s: Error - unable to open firmware resource for HBA = %s, status = %d\n"
                : "\n%s: Error - invalid firmware file found for HBA = %s, status = %X\n";
        return matrixEntryFailure(run, a, FWS_DL_OPEN_FAILED, msg, st);
    }
    if (isIlo(*a) && !isCompatibleCV2FirmwareImage(img))
        return matrixEntryFailure(
            run, a, FWS_SKIP_UNSUPPORTED_FW,
            "\n%s: Error - Incompatible firmware image for HBA = %s, status = %X\n", 0);
    ++run->count.compatibleImages;
    decideAndDownload(run, a, img, true);
}

// Boot code images are never UFI files, so a boot code entry ends as missing
// (19) or unusable (20).
void matrixBootCode(SweepRun* run, SweepAdapter* a, const MatrixMatch& m) {
    dbgTrace("forceBc || downgradeFw || rewriteFw || updateFw\n");
    int status;
    const char* msg;
    if (strcmp(m.bootCode, "NONE") == 0) {
        status = FWS_DL_NO_IMAGE_FILE;
        msg = "\n%s: No boot code entry found for HBA = %s, status = %X\n";
    } else if (strcmp(m.bootCode, "INVALID_FILE") == 0) {
        status = FWS_DL_OPEN_FAILED;
        msg = "\n%s: Invalid boot code entry found for HBA = %s, status = %X\n";
    } else if (!plat_file_exists((run->paths.bootDir + m.bootCode).c_str())) {
        status = FWS_DL_NO_IMAGE_FILE;
        msg = "\n%s: Error - unable to open boot code file for HBA = %s, status = %X\n";
    } else {
        status = FWS_DL_OPEN_FAILED;
        msg = "\n%s: Error - invalid boot code file found for HBA = %s, status = %X\n";
    }
    ++run->count.requiredDownloads;
    ++run->count.failedDownloads;
    reportBootCode(*run, a, status, ACTION_FLASH, RESULT_FAILED);
    if (run->opt.verbose) outText(msg, FWS_PROGRAM, a->model, 0);
}

void matrixMode(SweepRun* run, SweepAdapter* a) {
    dbgTrace("\n[Using FWMATRIX.TXT]\n");
    const RunOptions& o = run->opt;
    MatrixMatch m;
    if (!getFwMatrixMatch(run->matrix.data(), run->matrix.size(), *a, &m)) {
        a->bcStatus = FWS_SKIP_NO_MATRIX;
        if (o.verbose)
            outText("\n%s: No fwmatrix.txt entry for HBA = %s\n", FWS_PROGRAM, a->matrixKey);
        reportSkip(*run, a, FWS_SKIP_NO_MATRIX);
        return;
    }
    if (!a->known) {
        a->known = true;
        ++run->count.knownAdapters;
    }
    if (o.forceFw || o.downgrade || o.rewrite || o.update) matrixFirmware(run, a, m);
    if (isLegacyFcDevice(a->deviceId) && (o.forceBios || o.downgrade || o.rewrite || o.update))
        matrixBootCode(run, a, m);
}

// Whether img is one that adapter a can take (auto mode).
bool imageFits(const SweepAdapter& a, const CluImage& img) {
    if (isIlo(a) && !isCompatibleCV2FirmwareImage(img)) return false;
    if (isLegacyFcDevice(a.deviceId))
        return a.fwType[0] != '\0' && strncmp(img.decodedVersion, a.fwType, 2) == 0;
    if (img.imageType != a.fwImage.imageType) return false;
    if (sweepFamilyOf(a.deviceId) == SWEEP_FAMILY_TARNEL) return img.asicRevisionId >= a.revId;
    if (a.cvr) {
        // Revisions of 17 and above are the second production step (P2).
        bool adapterP2 = a.revId >= 17, imageP2 = img.asicRevisionId >= 17;
        if (img.isCVR != 1) return false;
        return adapterP2 ? imageP2 : (a.revId == 16 && (img.asicRevisionId == 16 || imageP2));
    }
    return true;
}

size_t firstFit(const SweepRun& run, const SweepAdapter& a, size_t from) {
    for (size_t i = from; i < run.images.size(); ++i)
        if (imageFits(a, run.images[i])) return i;
    return run.images.size();
}

void autoFirmware(SweepRun* run, SweepAdapter* a) {
    const RunOptions& o = run->opt;
    size_t pick = firstFit(*run, *a, 0);
    bool none = pick == run->images.size();
    if (!o.downgrade) {
        dbgTrace("operation     = forceFw || updateFw || rewriteFw\n");
        if (none) {
            reportSkip(*run, a, FWS_SKIP_NO_FW);
            if (o.verbose)
                outText("\n%s: No matching firmware found for HBA: %s\n", FWS_PROGRAM, a->model);
            return;
        }
        ++run->count.compatibleImages;
        dbgTrace("New image     = %s\n", run->images[pick].filename);
        decideAndDownload(run, a, run->images[pick], true);
        return;
    }
    dbgTrace("operation     = firmware downgrade\n");
    if (none) {
        reportSkip(*run, a, FWS_SKIP_NO_FW);
        if (o.verbose) outText("\n%s: No firmware found for HBA: %s\n", FWS_PROGRAM, a->model);
        return;
    }
    // Walk down the fitting images of the adapter's type; the first one below
    // the running version is downloaded.
    size_t last = pick;
    for (size_t i = pick; i < run->images.size(); i = firstFit(*run, *a, i + 1)) {
        ++run->count.compatibleImages;
        last = i;
        if (decideAndDownload(run, a, run->images[i], false)) return;
    }
    const CluImage& img = run->images[last];
    std::string version = shownVersion(*a, img);
    reportFirmware(*run, a, img.filename, version.c_str(), FWS_DL_NOT_NEEDED, ACTION_KEEP,
                   RESULT_OK, run->paths.firmwareDir + img.filename);
    if (o.verbose)
        outText("\n%s: A %s downgrade was not required on HBA: %s\n", FWS_PROGRAM, "firmware",
                a->model);
}

void autoBootCode(SweepRun* run, SweepAdapter* a) {
    if (!isLegacyFcDevice(a->deviceId)) {
        dbgTrace("isCNA || isBrevinFC: boot code upgrades are not supported\n");
        return;
    }
    for (const char* kind : {"universal", "pair", "open", "efi", "x86"}) {
        dbgTrace("sub operation = %s boot code\n", kind);
        dbgTrace("boot code type \"%s\" not found\n", kind);
    }
    reportBootCode(*run, a, FWS_SKIP_NO_BOOT, ACTION_SKIP, RESULT_SKIPPED);
    if (run->opt.verbose)
        outText(run->opt.downgrade ? "\n%s: No boot code found for HBA: %s\n"
                                   : "\n%s: No compatible boot code found for HBA = %s\n",
                FWS_PROGRAM, a->model);
}

void autoMode(SweepRun* run, SweepAdapter* a) {
    const RunOptions& o = run->opt;
    if (o.forceFw || o.downgrade || o.rewrite || o.update) autoFirmware(run, a);
    if (o.forceBios || o.downgrade || o.rewrite || o.update) autoBootCode(run, a);
}

bool zeroAddress(const char* text) {
    return strcmp(text, "00:00:00:00:00:00") == 0 || strcmp(text, "00-00-00-00-00-00") == 0 ||
           strcmp(text, "00:00:00:00:00:00:00:00") == 0;
}

void queryAdapter(SweepRun* run, SweepAdapter* a) {
    dbgTrace("operation     = query only\n");
    ++run->count.queried;
    if (queryIncomplete(*a)) ++run->count.incompleteQueries;
    if (!run->opt.xml && !run->opt.json) printQueryLine(*a, nullptr, nullptr);
    if (isIlo(*a) && !hasSupportedCV2Firmware(*a)) markUnsupported(run, a);
}

void traceAdapter(const SweepAdapter& a) {
    dbgTrace("adapterNumber = %d\n", a.number);
    dbgTrace("model         = %s\n", a.model);
    dbgTrace("portType      = %s\n", a.portTypeText);
    if (isLegacyFcDevice(a.deviceId)) {
        dbgTrace("fwVersion     = %s%s\n", a.fwType, a.fwVersion);
        dbgTrace("bcVersion     = %s%s\n", a.bcType, a.bootVersion);
    } else {
        dbgTrace("fwVersion     = %s\n", a.fwVersion);
    }
    dbgTrace("imageType     = %d\n", a.fwImage.imageType);
}

void handleOne(SweepRun* run, SweepAdapter* a) {
    traceAdapter(*a);
    if (isQueryOnly(run->opt)) return queryAdapter(run, a);
    // An adapter whose running version is unknown is never flashed: there is
    // nothing to compare the image with.
    if (a->fwUnknown) {
        dbgTrace("firmware version N/A!!!\n");
        reportSkip(*run, a, FWS_SKIP_UNKNOWN_FW);
    } else if (isIlo(*a) && !hasSupportedCV2Firmware(*a)) {
        reportSkip(*run, a, FWS_SKIP_UNSUPPORTED_FW);
        markUnsupported(run, a);
    } else if (run->opt.autoMode) {
        autoMode(run, a);
    } else {
        matrixMode(run, a);
    }
}

} // namespace

bool queryIncomplete(const SweepAdapter& a) {
    const char* address = (a.portType == PORT_NIC || a.portType == PORT_ISCSI) ? a.mac : a.wwn;
    return zeroAddress(address) || strcmp(address, "N/A") == 0 || strcmp(address, "NONE") == 0 ||
           strcmp(a.model, "UNKNOWN_MODEL") == 0 || a.fwUnknown;
}

void handleAdapters(SweepRun* run) {
    dbgTrace("[Begin execution]\n");
    for (SweepAdapter& a : run->adapters)
        handleOne(run, &a);
}
