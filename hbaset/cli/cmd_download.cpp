// download: flashes a firmware image file onto one adapter (n=) or onto every
// adapter of a model (a=), then prints the result line and sets the exit code
// that batch updaters read.
#include <cctype>
#include <cstring>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/download.h"
#include "libtgx/libtgx.h"
#include "platform/plat_time.h"

namespace {

constexpr uint32_t kUnsupportedDeviceId = 0xE131;
constexpr uint32_t kResetDelayMs = 40;
constexpr uint32_t kResetNormal = 1;
constexpr uint32_t kResetFirmware = 3; // restarts the firmware of a Brevin function

void notSupported(int number) {
    emitText("Command not supported on Adapter Number: %d\n", number);
    g_run.cluStatus = CLU_NOT_SUPPORTED;
}

// An FCoE function that start-up could not tie to its converged adapter.
bool isUnmatchedFcoe(int i) {
    const AdapterRecord* r = isFcIndex(i) ? &g_table.adapterTable[i] : nullptr;
    return r != nullptr && isFcoeFunction(i) && r->fcoeMatched == 0;
}

// The two signature outcomes read alike on every download path; true when st
// was one of them and has been reported.
bool reportSignatureFailure(int number, uint32_t st) {
    const char* first = nullptr;
    if (st == CLU_SIGNATURE_MISSING)
        first = "Download failed due to missing digital signature in firmware file.\n";
    else if (st == CLU_SIGNATURE_INVALID)
        first = "Download failed due to invalid firmware digital signature.\n";
    if (first == nullptr) return false;
    emitText("%s", first);
    emitText("Please contact customer support for additional help.\n");
    emitText("Download failed on adapter %d Stat %d\n", number, static_cast<int>(st));
    g_run.cluStatus = static_cast<int32_t>(st);
    return true;
}

void reportBrevin(int adapter, int number, uint32_t st) {
    if (reportSignatureFailure(number, st)) return;
    switch (st) {
    case 0:
        sayf("Download successfully completed");
        return;
    case CLU_REBOOT_REQUIRED:
        sayf("Download successfully completed. Please reboot the system to activate new "
             "firmware Stat %d",
             static_cast<int>(st));
        g_run.cluStatus = CLU_REBOOT_REQUIRED;
        return;
    case CLU_RESET_FAILED: {
        plat_sleep_ms(kResetDelayMs);
        uint32_t rs = TGX_ResetAdapter(static_cast<uint32_t>(adapter), kResetFirmware);
        if (rs == 0) {
            sayf("Download and reset successfully completed");
        } else {
            sayf("Reset failed on adapter %d Stat %d", number, static_cast<int>(rs));
            g_run.cluStatus = CLU_RESET_FAILED;
        }
        return;
    }
    default:
        sayf("Download failed on adapter %d Stat %d", number, static_cast<int>(st));
        // A .GRP file the verifier refused has already set its own exit code.
        if (g_run.cluStatus != CLU_GRP_REFUSED) g_run.cluStatus = CLU_DOWNLOAD_FAILED;
        return;
    }
}

void reportConverged(int number, uint32_t st) {
    if (reportSignatureFailure(number, st)) return;
    switch (st) {
    case 0:
    case CLU_REBOOT_REQUIRED:
        emitText("Download successfully completed. Please reboot the system to activate new "
                 "firmware.\n");
        g_run.cluStatus = CLU_REBOOT_REQUIRED;
        return;
    case CLU_DOWNLOAD_AGAIN:
        emitText("This special firmware release requires the firmware download process to be\n"
                 "performed twice. You must reboot the system and download the same firmware\n"
                 "file again to complete the download process.\n");
        g_run.cluStatus = CLU_DOWNLOAD_AGAIN;
        return;
    default:
        emitText("Download failed on adapter %d Stat %08lX\n", number,
                 static_cast<unsigned long>(st));
        g_run.cluStatus = CLU_DOWNLOAD_FAILED;
        return;
    }
}

void reportFc(int adapter, int number, uint32_t st) {
    if (st != 0) {
        sayf("Download failed on adapter %d Stat %08lX", number, static_cast<unsigned long>(st));
        g_run.cluStatus = CLU_DOWNLOAD_FAILED;
        return;
    }
    plat_sleep_ms(kResetDelayMs);
    uint32_t rs = TGX_ResetAdapter(static_cast<uint32_t>(adapter), kResetNormal);
    if (rs == 0) {
        sayf("Download and reset successfully completed");
    } else {
        sayf("Reset failed on adapter %d Stat %08lX", number, static_cast<unsigned long>(rs));
        g_run.cluStatus = CLU_RESET_FAILED;
    }
}

void upperCase(const char* in, char* out, size_t size) {
    size_t i = 0;
    for (; in[i] != 0 && i + 1 < size; ++i)
        out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(in[i])));
    out[i] = 0;
}

} // namespace

void cmdDownload(int index) {
    const int number = g_args.adapterNumber;
    if (entryDeviceId(&g_table.adapterTable[index]) == kUnsupportedDeviceId ||
        isUnmatchedFcoe(index)) {
        notSupported(number);
        return;
    }
    uint32_t st = DownloadImage(index, g_args.fileName, kConsoleProgress);
    if (isBrevinFamily(index))
        reportBrevin(index, number, st);
    else if (isNexaManaged(index))
        reportConverged(number, st);
    else
        reportFc(index, number, st);
}

void cmdDownloadByName() {
    char wanted[TOKEN_SIZE];
    upperCase(g_args.adapterName, wanted, sizeof wanted);
    bool any = false;
    for (uint32_t i = 0; i < g_table.totalCount; ++i) {
        char model[MODEL_NAME_MAX + 1];
        upperCase(g_table.adapterTable[i].modelName, model, sizeof model);
        if (std::strcmp(model, wanted) != 0) continue;
        any = true;
        const int index = static_cast<int>(i);
        const int number = index + 1;
        emitText("\n\n*** Download to adapter #%d:\n", number);
        if (isNexaManaged(index) || isBrevinFc(index)) {
            notSupported(number);
            return;
        }
        uint32_t st = DownloadImage(index, g_args.fileName, kConsoleProgress);
        if (st != 0) {
            sayf("Download failed on adapter %d Stat %08lX", number,
                 static_cast<unsigned long>(st));
            g_run.cluStatus = CLU_DOWNLOAD_FAILED;
            continue;
        }
        // The reset activates the new firmware: a failed one ends the command
        // with 14, as for n=, unless a download of the model already failed.
        plat_sleep_ms(kResetDelayMs);
        uint32_t rs = TGX_ResetAdapter(i, kResetNormal);
        if (rs != 0) {
            sayf("Reset failed on adapter %d Stat %08lX", number, static_cast<unsigned long>(rs));
            if (g_run.cluStatus == CLU_OK) g_run.cluStatus = CLU_RESET_FAILED;
        }
    }
    if (!any) {
        say("Invalid Adapter Name");
        g_run.cluStatus = CLU_INVALID_ADAPTER_NAME;
    }
}
