// listffv and writeffv: the FFV text of Brevin FC functions, FC entries with
// a Tarnel FCoE device ID and Tarnel converged functions, and the FC request
// that reads and writes it. writeffv writes only while the running firmware
// is the firmware on flash.
#include <cstring>

#include "common/bounded_text.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/ffv.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kRetry = 1;
constexpr uint32_t kDelayMs = 100;
constexpr int kFfvPieces = 3;
// Versions that cannot be compared (fewer than four numbers) do not stop a write.
constexpr uint32_t kVersionsDiffer = 0;

bool ffvDigit(char c) {
    if (c >= '0' && c <= '9') return true;
    return g_msg.scriptMode && (c == '\r' || c == '\n');
}

// ---- the FC request ---------------------------------------------------------------

struct FfvRequest {
    MboxBuf mb;
    uint8_t* sub;
};

void buildRequest(FfvRequest* r, bool write, const char* text) {
    mboxClear(&r->mb);
    uint8_t* bytes = mboxBytes(&r->mb);
    sliConfigInit(bytes, SLI_OP_FFV, FFV_REQUEST_LENGTH);
    r->sub = sliSub(bytes);
    r->sub[SUB_SUBSYSTEM] = SLI_SUBSYSTEM_FFV;
    uint32_t length = 0;
    if (write) {
        length = static_cast<uint32_t>(strnlen(text, SUB_FFV_TEXT_SIZE));
        memcpy(r->sub + SUB_FFV_TEXT, text, length);
    }
    putLe32(r->sub + SUB_FFV_CONTROL, (write ? FFV_OP_WRITE : 0) | (length << FFV_LENGTH_SHIFT));
}

void printRequest(const FfvRequest& r, bool write) {
    const uint8_t* sub = r.sub;
    uint32_t control = le32(sub + SUB_FFV_CONTROL);
    emitConsole(write ? "\nFFV Write Request - TGX_IssueMboxWithRetryV2\n"
                      : "\nFFV Read Request - TGX_IssueMboxWithRetryV2\n");
    emitConsole("pSubCmd->opCode           = %X\n", sub[SUB_OPCODE]);
    emitConsole("pSubCmd->subSystem        = %X\n", sub[SUB_SUBSYSTEM]);
    emitConsole("pSubCmd->timeout          = %d\n", static_cast<int>(le32(sub + SUB_TIMEOUT)));
    emitConsole("pSubCmd->requestLength    = %d\n",
                static_cast<int>(le32(sub + SUB_REQUEST_LENGTH)));
    emitConsole("pSubCmd->version          = %d\n", sub[SUB_VERSION]);
    emitConsole("pSubCmd->opType           = %d\n", static_cast<int>(control & FFV_OP_WRITE));
    emitConsole("pSubCmd->ffv_length       = %d\n",
                static_cast<int>((control >> FFV_LENGTH_SHIFT) & 0xFF));
    if (write) emitConsole("\n");
}

void printResponse(const FfvRequest& r, bool write, uint32_t lib, const SliResponse& rsp,
                   char* ffv) {
    memcpy(ffv, r.sub + SUB_FFV_TEXT, SUB_FFV_TEXT_SIZE);
    ffv[SUB_FFV_TEXT_SIZE] = '\0';
    emitConsole(write ? "\nFFV Write Response - TGX_IssueMboxWithRetryV2\n"
                      : "\nFFV Read Response - TGX_IssueMboxWithRetryV2\n");
    emitConsole("tgxStatus                 = %X\n", lib);
    emitConsole("pSubRsp->status           = %X\n", rsp.status);
    emitConsole("pSubRsp->additionalStatus = %X\n", rsp.additionalStatus);
    emitConsole("pSubRsp->responseLength   = %d\n", static_cast<int>(rsp.responseLength));
    emitConsole("pSubRsp->actualLength     = %d\n", static_cast<int>(rsp.actualLength));
    emitConsole("pSubRsp->ffv_length       = %d\n", r.sub[SUB_FFV_LENGTH_RSP]);
    emitConsole("pSubRsp->ffv              = %s\n", ffv);
}

void printRefusal(const SliResponse& rsp) {
    emitConsole("mbox response status           = %X\n", rsp.status);
    emitConsole("mbox response additionalStatus = %X\n", rsp.additionalStatus);
}

// Issues the request; returns the library status and fills rsp and ffv.
uint32_t issueFfv(int adapter, bool write, const char* text, SliResponse* rsp, char* ffv,
                  uint32_t* mboxSt) {
    FfvRequest r;
    buildRequest(&r, write, text);
    printRequest(r, write);
    uint32_t lib = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), r.mb.w, MBOX_SLI4_WORDS,
                                            kRetry, kDelayMs);
    *rsp = sliConfigResponse(mboxBytes(r.mb));
    *mboxSt = mboxStatus(r.mb);
    printResponse(r, write, lib, *rsp, ffv);
    return lib;
}

// Checks shared by the read and the write; false after the message.
bool responseUsable(uint32_t lib, const SliResponse& rsp) {
    if (lib != 0) {
        emitConsole("tgxStatus = %X\n", lib);
        return false;
    }
    if (rsp.actualLength > rsp.responseLength) {
        emitConsole("actualLength (%d) > responseLength (%d)\n", static_cast<int>(rsp.actualLength),
                    static_cast<int>(rsp.responseLength));
        return false;
    }
    return true;
}

// ---- commands -----------------------------------------------------------------------

int32_t unsupported() {
    setMessageLine("Unsupported Adapter Number: %d", static_cast<int>(g_args.adapterNumber));
    emitLine();
    return CLU_NOT_SUPPORTED;
}

uint32_t readFfv(int i, FfvPath path, char* text) {
    if (path == FFV_PATH_FC) return fcReadFfv(i, text);
    return static_cast<uint32_t>(cnaReadFfv(i, text));
}

int32_t listFfv(int i) {
    FfvPath path = ffvPathOf(i);
    if (path == FFV_PATH_NONE) return unsupported();
    char text[FFV_TEXT_MAX + 1] = "";
    if (readFfv(i, path, text) != 0) {
        emitConsole("Reading FFV failed\n");
        return CLU_FFV_READ;
    }
    text[FFV_TEXT_MAX] = '\0';
    if (text[0] != '\0' && !isValidFfv(text)) {
        emitConsole("Invalid data in FFV\n");
        return CLU_FFV_READ;
    }
    text[FFV_LENGTH] = '\0';
    if (text[0] != '\0' && !isValidFfv(text)) {
        emitConsole("Invalid FFV\n");
        return CLU_FFV_READ;
    }
    emitConsole("\nFFV = %s\n", text);
    emitConsole("LEN = %d\n", static_cast<int>(strlen(text)));
    return CLU_OK;
}

// The running firmware and the firmware on flash of entry i.
uint32_t firmwareVersions(int i, FfvPath path, char* active, char* flash) {
    if (path == FFV_PATH_FC) return SLI_CFG_GetFwVersionTexts(i, active, flash);
    const CorevaneAdapter* a = cnaAdapterOf(i);
    if (a == nullptr) return CLU_NEXA_NOT_AVAILABLE;
    copyBounded(active, FW_VERSION_TEXT + 1, a->attributes.activeFirmwareVersion);
    copyBounded(flash, FW_VERSION_TEXT + 1, a->attributes.firmwareVersionOnFlash);
    return active[0] != '\0' && flash[0] != '\0' ? RM_STATUS_OK : RM_STATUS_ERROR;
}

int32_t writeFfv(int i, const char* ffv) {
    if (!isValidFfv(ffv)) {
        say("Invalid Input Value");
        return CLU_INPUT_VALUE;
    }
    if (isNexaManaged(i) && !g_run.nexaUp) {
        emitConsole("NEXA is not available\n");
        return CLU_NEXA_NOT_AVAILABLE;
    }
    FfvPath path = ffvPathOf(i);
    if (path == FFV_PATH_NONE) return unsupported();
    char active[FW_VERSION_TEXT + 1] = "";
    char flash[FW_VERSION_TEXT + 1] = "";
    uint32_t rm = firmwareVersions(i, path, active, flash);
    if (rm != RM_STATUS_OK) {
        emitConsole("Unable to retrieve the ActiveFirmware and FwOnFlash - rmStatus = %d\n",
                    static_cast<int>(rm));
        return CLU_FFV_WRITE;
    }
    emitConsole("ActiveFirmware = %s\n", active);
    emitConsole("FwOnFlash      = %s\n", flash);
    if (SLI_CFG_CompareFwVersions(active, flash) == kVersionsDiffer) {
        emitConsole("ActiveFirmware != FwOnFlash\n");
        return CLU_FFV_WRITE;
    }
    uint32_t st = path == FFV_PATH_FC ? fcWriteFfv(i, ffv) : cnaWriteFfv(i, ffv);
    if (st != 0) return CLU_FFV_WRITE;
    emitConsole("\nFFV = %s\n", ffv);
    emitConsole("LEN = %d\n", static_cast<int>(strlen(ffv)));
    return CLU_OK;
}

} // namespace

bool isValidFfv(const char* text) {
    if (text == nullptr || strlen(text) != FFV_LENGTH) return false;
    int pieces = 0;
    for (const char* p = text; *p != '\0' && pieces < kFfvPieces;) {
        size_t n = strcspn(p, ".");
        if (n > 0) {
            for (size_t k = 0; k < n; k++) {
                if (!ffvDigit(p[k])) return false;
            }
            ++pieces;
        }
        p += n;
        if (*p == '.') ++p;
    }
    return pieces == kFfvPieces;
}

FfvPath ffvPathOf(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return FFV_PATH_NONE;
    bool fcEntry = isFcIndex(i) && static_cast<uint32_t>(i) < g_table.fcCount;
    if (fcEntry && (isBrevinFc(i) || deviceIs(r->deviceId, FAMILY_TARNEL, ROLE_FCOE)))
        return FFV_PATH_FC;
    if (!fcEntry && isNexaManaged(i) && deviceIs(r->cnaDeviceId, FAMILY_TARNEL, ROLE_NONE))
        return FFV_PATH_CONVERGED;
    return FFV_PATH_NONE;
}

uint32_t fcReadFfv(int adapter, char* out) {
    out[0] = '\0';
    if (!IsIssueMboxV2ExtSupported(adapter)) {
        emitConsole("Extended mode not supported!\n");
        return CLU_FFV_READ;
    }
    SliResponse rsp;
    char ffv[SUB_FFV_TEXT_SIZE + 1];
    uint32_t mboxSt = 0;
    uint32_t lib = issueFfv(adapter, false, nullptr, &rsp, ffv, &mboxSt);
    if (!responseUsable(lib, rsp)) return CLU_FFV_READ;
    // An adapter that refuses the read never hands back a text.
    if (sliConfigStatus(lib, mboxSt, rsp.status, rsp.additionalStatus) != 0) {
        printRefusal(rsp);
        return CLU_FFV_READ;
    }
    copyBounded(out, FFV_TEXT_MAX + 1, ffv);
    return CLU_OK;
}

uint32_t fcWriteFfv(int adapter, const char* text) {
    if (!IsIssueMboxV2ExtSupported(adapter)) {
        emitConsole("Extended mode not supported!\n");
        return CLU_FFV_WRITE;
    }
    SliResponse rsp;
    char ffv[SUB_FFV_TEXT_SIZE + 1];
    uint32_t mboxSt = 0;
    uint32_t lib = issueFfv(adapter, true, text, &rsp, ffv, &mboxSt);
    if (!responseUsable(lib, rsp)) return CLU_FFV_WRITE;
    // A mailbox that completed with an error status wrote nothing either.
    if (rsp.status != 0 || mboxSt != 0) {
        printRefusal(rsp);
        return CLU_FFV_WRITE;
    }
    return CLU_OK;
}

void cmdListFfv(int index) {
    g_run.cluStatus = listFfv(index);
}

void cmdWriteFfv(int index) {
    g_run.cluStatus = writeFfv(index, g_args.fileName);
}
