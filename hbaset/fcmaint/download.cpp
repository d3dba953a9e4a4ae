// DownloadImage: the download of one file onto one adapter, dispatched by the
// file kind and the adapter kind.
#include "hbaset/fcmaint/download.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_download.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/port_state.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "hbaset/fcmaint/wakeup.h"

namespace {

constexpr int kSignatureRetries = 3;

void consoleStage(const char* name) {
    emitText("%s...\n", name);
}
void consolePercent(int value) {
    if (value < 100)
        emitText("%d%% complete ", value);
    else
        emitText("%d%% complete\n", value);
}

struct FileCloser {
    FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

// The PRG engine with its signature retries: each retry deletes the load list
// entries of the image's program type first.
uint32_t prgWithRetries(int adapter, FILE* file, uint32_t family,
                        const DownloadProgress& progress) {
    uint32_t st = DownloadPrgImage(adapter, file, family, progress);
    for (int retry = 0; retry < kSignatureRetries && st == MBXS_SIGNATURE; ++retry) {
        uint32_t words[3];
        if (readWordsAt(file, 0, words, 3) != 0) return DL_READ_ERROR;
        DeleteLoadEntriesOfType(adapter, words[1] >> 24);
        std::rewind(file);
        st = DownloadPrgImage(adapter, file, family, progress);
    }
    return st;
}

uint32_t aifWithRetries(int adapter, FileKind kind, FILE* file, bool bare, uint32_t family,
                        const DownloadProgress& progress) {
    uint32_t st = DownloadAifFile(adapter, kind, file, bare, family, progress);
    for (int retry = 0; retry < kSignatureRetries && st == MBXS_SIGNATURE; ++retry) {
        setMessageLine("SEC_DIGITAL_SIGNATURE_CHECK_FAILED!!!");
        emitLine();
        std::rewind(file);
        st = DownloadAifFile(adapter, kind, file, bare, family, progress);
    }
    if (st == MBXS_AUTHENTICATION) {
        setMessageLine("SEC_AUTHENTICATION_ERROR!!!");
        emitLine();
    }
    return st;
}

// The mailbox download of PRG and AIF files onto an FC adapter.
uint32_t downloadFc(int adapter, const char* path, FileKind kind,
                    const DownloadProgress& progress) {
    progress.stage("Opening File");
    FileCloser file{plat_fopen_input(path, nullptr)};
    if (file.f == nullptr) {
        emitText("Open File Error\n");
        return DL_OPEN_FAILED;
    }
    const bool bare = isBareAifName(path);
    uint32_t first = 0;
    if (readWordsAt(file.f, 0, &first, 1) != 0) {
        emitText("Invalid Image - Error Reading File\n");
        return DL_READ_ERROR;
    }
    std::rewind(file.f);
    WakeupParms parms;
    if (ReadWakeupParms(adapter, &parms) != 0) return DL_WAKEUP;

    const uint32_t family = ImageFamilyCode(adapter);
    const bool expRom = familyHasExpansionRom(family);
    if (expRom) {
        uint32_t type = 0;
        if (GetDriverType(adapter, &type) == 0 && type != 0) {
            bool loopback = false;
            setLocalLoopbackIfLinkDown(adapter, &loopback);
        }
    }

    uint32_t st;
    if (first != AIF_MAGIC)
        st = prgWithRetries(adapter, file.f, family, progress);
    else if (expRom)
        st = aifWithRetries(adapter, kind, file.f, bare, family, progress);
    else
        st = DownloadAifFile(adapter, kind, file.f, bare, family, progress);

    if (st == MBXS_NO_FLASH) {
        emitText("No Flash Available Error\n");
        return DL_NO_FLASH;
    }
    if (st == MBXS_SIGNATURE || st == MBXS_AUTHENTICATION) return DL_SIGNATURE;
    if (st == KEK_FAILED) return DL_KEY_FAILED;
    if (st == 0 && isSecureFamily(family)) {
        emitText("Zeroize security data. It'll take a few minutes...\n");
        return ZeroizeSecurityData(adapter);
    }
    return st;
}

} // namespace

const DownloadProgress kConsoleProgress = {consoleStage, consolePercent};

uint32_t DownloadImage(int adapter, const char* path, const DownloadProgress& progress) {
    const char* ext = fileExtension(path);
    const FileKind kind = fileKindOf(ext);
    emitText("File Extension %s\n", ext);
    // Every open of the image below refuses what is not a regular file; the
    // refusal is named once, here.
    noteSpecialInput(path);
    char full[PATH_MAX];
    if (realpath(path, full) == nullptr) copyBounded(full, sizeof full, path);

    if (kind == FILE_KIND_UFI) {
        if (isNexaManaged(adapter) && !isBrevinCna(adapter))
            return DownloadCNAFirmware(adapter, full);
        return DL_WRONG_FILE_KIND;
    }
    if (isNexaManaged(adapter) && !isBrevinFamily(adapter)) return DL_WRONG_FILE_KIND;
    if (kind == FILE_KIND_GRP) {
        if (!isBrevinFamily(adapter)) return DL_WRONG_FILE_KIND;
        if (isBrevinCna(adapter) && g_run.nexaUp) return DownloadCNAFirmware(adapter, full);
        return FFS_DownloadGrpFile(adapter, full);
    }
    if (isBrevinFamily(adapter)) return DL_WRONG_FILE_KIND;
    return downloadFc(adapter, path, kind, progress);
}
