// Records shared by the parts of fwsweep: the image record that holds both an
// adapter's running version and an image file's version, the adapter record
// built from hbaset's listattr text, the run options and the run counters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

constexpr const char* FWS_PROGRAM = "fwsweep.exe";
constexpr const char* FWS_CLI_NAME = "hbaset.exe"; // in messages; the file is "hbaset"
constexpr const char* FWS_CLI_FILE = "hbaset";
constexpr const char* FWS_MATRIX_FILE = "fwmatrix.txt";

constexpr size_t FWS_VERSION_SIZE = 64;  // version texts, terminated
constexpr size_t FWS_FILE_NAME_MAX = 63; // image file names kept in a record
constexpr size_t FWS_MODEL_MAX = 57;     // model characters kept
constexpr size_t FWS_FIELD_SIZE = 64;    // other label values, terminated
constexpr size_t FWS_MATRIX_TOKEN_MAX = 31;
constexpr size_t FWS_DIR_MAX = 220; // /id= and /fmd= values
constexpr size_t FWS_IV_MAX = 253;  // /iv= value

// Image types and extension types of CluImage.
enum : int {
    IMAGE_NONE = 0,
    IMAGE_FC = 1,
    IMAGE_CV2 = 2,
    IMAGE_CV3 = 3,
    IMAGE_CV4 = 4,
    IMAGE_GRP = 32,
    IMAGE_GRP_G6 = 64,
};
enum : int { EXT_NONE = 0, EXT_ALL = 1, EXT_PRG = 5, EXT_UFI = 10, EXT_GRP = 14 };

// Port type codes (also personality codes).
enum : int { PORT_FC = 0, PORT_NIC = 2, PORT_ISCSI = 4, PORT_FCOE = 8 };

// One version: an adapter's running firmware or boot code, or an image file.
struct CluImage {
    uint32_t fcVersion =
        0; // FC word: version 12-15, revision 8-11, fix 6-7, dist type 4-5, count 0-3
    uint32_t major = 0, minor = 0, release = 0, build = 0; // converged version parts
    char legacyType[8] = "N/A";
    int imageType = IMAGE_NONE;
    int extType = EXT_NONE;
    char filename[FWS_FILE_NAME_MAX + 1] = "";
    char decodedVersion[FWS_VERSION_SIZE] = "0.0.0.0";
    char sortedVersion[FWS_VERSION_SIZE] = "N/A";
    int isCVR = 0;
    uint8_t asicRevisionId = 0;
};

// Per-adapter firmware and boot code statuses; the index of their message.
enum : int {
    FWS_DL_OK = 0,
    FWS_DL_OK_REBOOT = 1,
    FWS_DL_NOT_NEEDED = 2,
    FWS_DL_FAILED = 3,
    FWS_DL_RESET_FAILED = 4,
    FWS_SKIP_UNSUPPORTED_FW = 9,
    FWS_SKIP_UNKNOWN_FW = 10,
    FWS_SKIP_NO_FW = 13,
    FWS_SKIP_NO_BOOT = 14,
    FWS_SKIP_NO_MATRIX = 16,
    FWS_PREVIEW_OK = 17,
    FWS_PREVIEW_FAILED = 18,
    FWS_DL_NO_IMAGE_FILE = 19,
    FWS_DL_OPEN_FAILED = 20,
    FWS_DL_SPECIAL = 22,
    FWS_DL_NO_SIGNATURE = 23,
    FWS_DL_BAD_SIGNATURE = 24,
    FWS_DL_DIGEST_MISMATCH = 25,
    FWS_DL_NOT_IN_MANIFEST = 26,
    FWS_DL_NO_MANIFEST = 27,
};
const char* statusMessage(int status);

// Download state of a physical adapter, shared by its functions.
enum : int {
    DL_STATE_NONE = 0,
    DL_STATE_OK = 1,
    DL_STATE_FAILED = 2,
    DL_STATE_OK_REBOOT = 3,
    DL_STATE_SPECIAL = 4,
};

constexpr int FWS_NO_GROUP = 1024;

// What a decision did with a component, and how it ended, as the reports
// (XML, JSON, history) show it.
enum ComponentAction : int {
    ACTION_NONE = 0, // nothing decided (query runs, components the adapter never takes)
    ACTION_FLASH,    // a download was required
    ACTION_PREVIEW,  // a download would have been made (/p)
    ACTION_KEEP,     // the installed version stays: no download needed
    ACTION_SKIP,     // the adapter was skipped (no entry, no image, unsupported)
};
enum ComponentResult : int {
    RESULT_OK = 0,
    RESULT_FAILED,
    RESULT_SKIPPED,
    RESULT_PENDING_REBOOT, // flashed; the new firmware runs after a reboot
};

// One firmware or boot code decision of a function, recorded when it is made
// (the XML and JSON views are written from these records).
struct Decision {
    bool made = false;
    bool update = false;          // a download was decided (VersionChange update="true")
    std::string file = "NONE";    // image file name
    std::string version = "NONE"; // image version as reported
    std::string imagePath;        // full path when an image file was named
    int status = 0;
    int action = ACTION_NONE;
    int result = RESULT_OK;
    bool ranChild = false; // this function's download ran hbaset
    int exitCode = -1;     // hbaset's exit code when it ran and ended by itself
    uint64_t durationMs = 0;
};

// One adapter function as listed by hbaset listattr.
struct SweepAdapter {
    int number = 0;
    int portType = PORT_FC;
    int personality = PORT_FC;
    const char* portTypeText = "FC";
    char model[FWS_FIELD_SIZE] = "";
    char matrixKey[FWS_FIELD_SIZE] = "";
    char serial[FWS_FIELD_SIZE] = "";
    char fwVersion[FWS_VERSION_SIZE] = "";
    char bootVersion[FWS_VERSION_SIZE] = "";
    int bootEnabled = 0;
    char wwn[FWS_FIELD_SIZE] = "NONE";
    char mac[FWS_FIELD_SIZE] = "NONE";
    uint32_t domain = 0, bus = 0, device = 0, function = 0;
    uint32_t deviceId = 0, vendorId = 0, subDeviceId = 0, subVendorId = 0;
    int multiChannel = 0, configuration = 0, vpdModel = 0, cvr = 0;
    uint32_t revId = 0;
    int group = FWS_NO_GROUP;
    CluImage fwImage, bootImage;
    char fwType[8] = "", bcType[8] = "";
    bool known = false;
    bool fwUnknown = false; // listattr gave no firmware version ("N/A" or "NONE")
    bool hasBootCode = false;
    int fwStatus = 0, bcStatus = 0;
    bool supported = true;
    int downloadState = DL_STATE_NONE;
    Decision fwDecision, bootDecision;
};

// Run options from the switches.
struct RunOptions {
    bool autoMode = false, downgrade = false, rewrite = false, update = false;
    bool forceFw = false, forceBios = false;
    bool imageVersion = false, ramDrive = false, vpd = false, preview = false;
    bool query = false, verbose = false, silent = false, xml = false, help = false;
    bool json = false, history = false, verify = false;
    char ramDriveLetter = 0;
    char imageVersionFile[FWS_IV_MAX + 1] = "";
    char imageDir[FWS_DIR_MAX + 1] = "";
    char matrixDir[FWS_DIR_MAX + 1] = "";
    std::string historyFile; // /historyfile=
    bool haveImageDir = false, haveMatrixDir = false;
    bool logOpen = false;
};

bool hasOperation(const RunOptions& o);
bool isQueryOnly(const RunOptions& o);

// Run counters.
struct RunCounters {
    int requiredDownloads = 0, failedDownloads = 0, compatibleImages = 0;
    int cnaDownloads = 0, cnaFailed = 0, specialReleases = 0;
    int unsupported = 0, queried = 0, incompleteQueries = 0;
    int knownAdapters = 0;
    bool bootCodePresent = false;
};

// Paths of the run; all directories end with "/".
struct RunPaths {
    std::string binDir, firmwareDir, bootDir, matrixFile, cliPath;
    std::string historyFile;
};

// The SHA256SUMS manifest in force (digests.h).
struct DigestManifest {
    bool present = false;  // a manifest file is there
    bool readable = false; // and it could be read
    std::string path;
    std::map<std::string, std::string> digests; // normalised path -> hex ("" conflicting)
};

// How the run ended: the return code and the outcome behind it, for every
// report form.
struct RunOutcome {
    int code = 0;
    const char* name = "succeeded"; // stable outcome name (JSON returnCodeName)
    std::string message;            // one line, as the XML Message element says it
    std::string special;            // the special-release footnote (one line) or ""
    bool hasMessage = false;        // the XML document carries a Message element
    bool earlyExit = false;         // the run ended before the adapter pass
};

// The whole state of one run.
struct SweepRun {
    RunOptions opt;
    RunPaths paths;
    RunCounters count;
    std::vector<SweepAdapter> adapters;
    std::vector<CluImage> images; // auto mode: greatest version first
    std::string matrix;           // the matrix file's bytes (matrix mode)
    std::string downloadLines;    // every download line, for the summary
    DigestManifest manifest;
    std::map<std::string, std::string> digests; // image path -> sha256 ("" unreadable)
    RunOutcome outcome;
    std::string runId, startedAt; // report and history identity of the run
    int historySeq = 0;           // attempts recorded by this run
    int pendingReboots = 0;       // earlier attempts of this host still waiting for a reboot
    std::string imageVersionText; // /iv: the decoded version
    std::string historyJson;      // /history: the listing's JSON object
};
