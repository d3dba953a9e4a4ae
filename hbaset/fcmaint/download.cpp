// DownloadImage: the download of one file onto one adapter, dispatched by the
// file kind and the adapter kind.
#include "hbaset/fcmaint/download.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/progress_bar.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_download.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/image_file.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/nvparms.h"
#include "hbaset/fcmaint/port_state.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "hbaset/fcmaint/wakeup.h"

namespace {

constexpr int kSignatureRetries = 3;

void consoleStage(const char* name) {
    emitText("%s...\n", name);
    progressBarStage(name);
}
void consolePercent(int value) {
    if (value < 100)
        emitText("%d%% complete ", value);
    else
        emitText("%d%% complete\n", value);
    progressBarPercent(value);
}

// The PRG engine with its signature retries: each retry deletes the load list
// entries of the image's program type first.
uint32_t prgWithRetries(int adapter, const ImageView& image, uint32_t family,
                        const DownloadProgress& progress) {
    uint32_t st = DownloadPrgImage(adapter, image, family, progress);
    for (int retry = 0; retry < kSignatureRetries && st == MBXS_SIGNATURE; ++retry) {
        uint32_t words[3];
        if (readWordsAt(image, 0, words, 3) != 0) return DL_READ_ERROR;
        DeleteLoadEntriesOfType(adapter, words[1] >> 24);
        st = DownloadPrgImage(adapter, image, family, progress);
    }
    return st;
}

uint32_t aifWithRetries(int adapter, FileKind kind, const ImageView& image, bool bare,
                        uint32_t family, const DownloadProgress& progress) {
    uint32_t st = DownloadAifFile(adapter, kind, image, bare, family, progress);
    for (int retry = 0; retry < kSignatureRetries && st == MBXS_SIGNATURE; ++retry) {
        setMessageLine("SEC_DIGITAL_SIGNATURE_CHECK_FAILED!!!");
        emitLine();
        st = DownloadAifFile(adapter, kind, image, bare, family, progress);
    }
    if (st == MBXS_AUTHENTICATION) {
        setMessageLine("SEC_AUTHENTICATION_ERROR!!!");
        emitLine();
    }
    return st;
}

// Reads the file once; the download sends these bytes and nothing else.
uint32_t openImage(const char* path, ImageFile* image) {
    const int loaded = loadImageFile(path, image);
    if (loaded == IMAGE_READ_FAILED || loaded == IMAGE_TOO_BIG) {
        emitText("Invalid Image - Error Reading File\n");
        return DL_READ_ERROR;
    }
    if (loaded != IMAGE_LOADED) {
        emitText("Open File Error\n");
        return DL_OPEN_FAILED;
    }
    if (image->bytes.size() < 4) {
        emitText("Invalid Image - Error Reading File\n");
        return DL_READ_ERROR;
    }
    return 0;
}

// What the adapter needs before a download: readable wakeup parameters and, on
// adapters with an expansion ROM slot, a port in local loopback when its link
// is down.
uint32_t prepareAdapter(int adapter, uint32_t family) {
    WakeupParms parms;
    if (ReadWakeupParms(adapter, &parms) != 0) return DL_WAKEUP;
    if (familyHasExpansionRom(family)) {
        uint32_t type = 0;
        if (GetDriverType(adapter, &type) == 0 && type != 0) {
            bool loopback = false;
            setLocalLoopbackIfLinkDown(adapter, &loopback);
        }
    }
    return 0;
}

// The engine's result as the download command reports it.
uint32_t finishFc(int adapter, uint32_t family, uint32_t st) {
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

// The mailbox download of PRG and AIF files onto an FC adapter.
uint32_t downloadFc(int adapter, const char* path, FileKind kind,
                    const DownloadProgress& progress) {
    progress.stage("Opening File");
    ImageFile file;
    uint32_t st = openImage(path, &file);
    if (st != 0) return st;
    const ImageView image = file.view();
    const bool bare = isBareAifName(path);
    const uint32_t family = ImageFamilyCode(adapter);
    st = prepareAdapter(adapter, family);
    if (st != 0) return st;

    uint32_t first = 0;
    readWordsAt(image, 0, &first, 1);
    if (first != AIF_MAGIC)
        st = prgWithRetries(adapter, image, family, progress);
    else if (familyHasExpansionRom(family))
        st = aifWithRetries(adapter, kind, image, bare, family, progress);
    else
        st = DownloadAifFile(adapter, kind, image, bare, family, progress);
    return finishFc(adapter, family, st);
}

} // namespace

const DownloadProgress kConsoleProgress = {consoleStage, consolePercent};

namespace {

uint32_t downloadByKind(int adapter, const char* path, const DownloadProgress& progress) {
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

} // namespace

uint32_t DownloadImage(int adapter, const char* path, const DownloadProgress& progress) {
    uint32_t st = downloadByKind(adapter, path, progress);
    progressBarDone();
    return st;
}
