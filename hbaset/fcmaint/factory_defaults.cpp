// factorydefaults: returns one table entry, or every entry, to its factory
// configuration. Tarnel functions go through NEXA (or, without a NEXA
// connection, the SLI-4 request), Brevin FC functions through the SLI-4
// request, FC adapters of the boot-parameter list through a fixed sequence of
// maintenance steps. The SLI-4 and NEXA procedures leave the adapter offline
// until a reboot (80); the FC procedure completes at once (0).
//
// Every console line goes through emitText so that it reaches the log file.
#include <cstring>
#include <memory>
#include <new>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/fcmaint/boot_device.h"
#include "hbaset/fcmaint/boot_params.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/port_state.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "hbaset/fcmaint/wwn.h"
#include "hbaset/fcmaint/factory_defaults.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint8_t kNotRun = 255; // status byte of an entry no run has covered yet
constexpr uint32_t kFactoryRetry = 1;
constexpr uint32_t kFactoryDelayMs = 100;
constexpr uint32_t kLibraryMailboxError = 2; // the adapter answered with a non-zero status
constexpr const char* kSeparator = "\n--------------------------------------------\n";

enum Procedure { PROC_NONE, PROC_NEXA, PROC_SLI4, PROC_FC };

bool isTarnelEntry(const AdapterRecord* r) {
    return deviceIs(r->deviceId, FAMILY_TARNEL, ROLE_NONE) ||
           deviceIs(r->cnaDeviceId, FAMILY_TARNEL, ROLE_NONE);
}

Procedure procedureOf(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (r == nullptr) return PROC_NONE;
    // The NEXA request needs the entry's converged adapter; an FCoE function
    // that start-up could not tie to one takes the SLI-4 request, which needs
    // no converged record.
    if (isTarnelEntry(r)) return g_run.nexaUp && cnaAdapterOf(i) != nullptr ? PROC_NEXA : PROC_SLI4;
    if (isBrevinFc(i)) return PROC_SLI4;
    if (r->deviceId != 0 && isBootParamDevice(r->deviceId)) return PROC_FC;
    return PROC_NONE;
}

const char* executingLine(Procedure p) {
    switch (p) {
    case PROC_NEXA:
        return "Executing setFactoryDefaultsSLI4viaNEXA\n";
    case PROC_SLI4:
        return "Executing setFactoryDefaultsSLI4\n";
    case PROC_FC:
        return "Executing setFactoryDefaultsFC\n";
    default:
        return "";
    }
}

int32_t runProcedure(Procedure p, int i) {
    switch (p) {
    case PROC_NEXA:
        return setFactoryDefaultsSLI4viaNEXA(i);
    case PROC_SLI4:
        return setFactoryDefaultsSLI4(i);
    case PROC_FC:
        return setFactoryDefaultsFC(i);
    default:
        return CLU_NOT_SUPPORTED;
    }
}

// ---- the SLI-4 request ----------------------------------------------------------------------

void buildFactoryRequest(MboxBuf* mb) {
    mboxClear(mb);
    uint8_t* buf = mboxBytes(mb);
    sliConfigInit(buf, SLI_OP_FACTORY_DEFAULTS, FACTORY_REQUEST_LENGTH);
    uint8_t* sub = sliSub(buf);
    sub[SUB_VERSION] = FACTORY_REQUEST_VERSION;
    sub[SUB_FACTORY_PROFILE] = 0;
    sub[SUB_FACTORY_OPERATION] = FACTORY_OPERATION_RESET;
}

void traceFactoryRequest(const uint8_t* sub) {
    trace("\n[setFactoryDefaultsSLI4] - Command - TGX_IssueMboxWithRetryV2\n");
    trace("[setFactoryDefaultsSLI4] - pSubCmd->opCode           = %X\n", sub[SUB_OPCODE]);
    trace("[setFactoryDefaultsSLI4] - pSubCmd->subSystem        = %X\n", sub[SUB_SUBSYSTEM]);
    trace("[setFactoryDefaultsSLI4] - pSubCmd->timeout          = %d\n",
          static_cast<int>(le32(sub + SUB_TIMEOUT)));
    trace("[setFactoryDefaultsSLI4] - pSubCmd->requestLength    = %d\n",
          static_cast<int>(le32(sub + SUB_REQUEST_LENGTH)));
    trace("[setFactoryDefaultsSLI4] - pSubCmd->version          = %d\n", sub[SUB_VERSION]);
    trace("[setFactoryDefaultsSLI4] - pSubCmd->profileID        = %d\n", sub[SUB_FACTORY_PROFILE]);
    trace("[setFactoryDefaultsSLI4] - pSubCmd->operation        = %d\n",
          sub[SUB_FACTORY_OPERATION] & 0x0F);
}

void traceFactoryResponse(uint32_t s, const SliResponse& r) {
    trace("\n[setFactoryDefaultsSLI4] - Response - TGX_IssueMboxWithRetryV2\n");
    trace("[setFactoryDefaultsSLI4] - tgxStatus                 = %X\n", s);
    trace("[setFactoryDefaultsSLI4] - pSubRsp->status           = %X\n", r.status);
    trace("[setFactoryDefaultsSLI4] - pSubRsp->additionalStatus = %X\n", r.additionalStatus);
    trace("[setFactoryDefaultsSLI4] - pSubRsp->responseLength   = %d\n",
          static_cast<int>(r.responseLength));
    trace("[setFactoryDefaultsSLI4] - pSubRsp->actualLength     = %d\n",
          static_cast<int>(r.actualLength));
}

// ---- the two forms --------------------------------------------------------------------------

void factoryDefaultsOne(int i) {
    Procedure p = procedureOf(i);
    if (p != PROC_NONE && isTarnelEntry(adapterAt(i))) emitText("%s", executingLine(p));
    int32_t r = runProcedure(p, i);
    int n = i + 1;
    if (r == CLU_REBOOT_REQUIRED) {
        emitText("HBA %d is now offline and will exhibit inconsistent behavior\n", n);
        emitText("Please REBOOT the system now to activate factory default configuration\n");
    } else if (r == CLU_NOT_SUPPORTED) {
        emitText("factorydefaults is not supported on HBA %d\n", n);
    } else if (r != CLU_OK) {
        emitText("factorydefaults error %d on HBA %d\n", r, n);
    } else {
        emitText("factorydefaults complete on HBA %d\n", n);
    }
    g_run.cluStatus = r;
}

// Marks the entries an SLI-4 or NEXA run on entry i also covered: the run
// resets the whole adapter, so every FC entry on the same PCI bus and device
// is done, and a run through NEXA also covers the FCoE entries tied to the
// same converged adapter. A second request would find the adapter offline.
void markCovered(uint8_t* statusBytes, int i, uint8_t r) {
    const AdapterRecord* self = adapterAt(i);
    statusBytes[i] = r;
    bool tied = isTarnelEntry(self) && cnaAdapterOf(i) != nullptr;
    for (uint32_t j = 0; j < g_table.totalCount; ++j) {
        const int k = static_cast<int>(j);
        const AdapterRecord* other = adapterAt(k);
        bool sameSlot = isFcIndex(i) && isFcIndex(k) && samePciSlot(*other, *self);
        bool sameAdapter = tied && isCvFcoe(k) && other->fcoeMatched != 0 &&
                           other->cnaAdapterIndex == self->cnaAdapterIndex;
        if (sameSlot || sameAdapter) statusBytes[j] = r;
    }
}

struct AllTally {
    uint32_t failed;
    uint32_t offline;
    bool supportedSeen;
};

void factoryDefaultsEntry(uint8_t* statusBytes, int i, AllTally* t) {
    emitText("%s", kSeparator);
    emitText("Processing HBA: %d\n", i + 1);
    if (statusBytes[i] != kNotRun) {
        emitText("factorydefaults has already executed on this adapter\n");
        emitText("factorydefaults status %d\n", statusBytes[i]);
        return;
    }
    Procedure p = procedureOf(i);
    if (p == PROC_NONE) {
        emitText("factorydefaults is not supported on this adapter\n");
        emitText("factorydefaults status %d\n", CLU_NOT_SUPPORTED);
        return;
    }
    emitText("%s", executingLine(p));
    int32_t r = runProcedure(p, i);
    t->supportedSeen = true;
    if (p == PROC_FC) {
        if (r != CLU_OK) ++t->failed;
    } else {
        markCovered(statusBytes, i, static_cast<uint8_t>(r));
        if (r == CLU_REBOOT_REQUIRED)
            ++t->offline;
        else
            ++t->failed;
    }
    emitText("factorydefaults status %d\n", r);
}

void factoryDefaultsAll() {
    uint32_t count = g_table.totalCount;
    std::unique_ptr<uint8_t[]> statusBytes(new (std::nothrow) uint8_t[count == 0 ? 1 : count]);
    if (!statusBytes) {
        emitText("Unable to allocate memory\n");
        g_run.cluStatus = CLU_NO_MEMORY;
        return;
    }
    memset(statusBytes.get(), kNotRun, count);
    AllTally t = {0, 0, false};
    for (uint32_t i = 0; i < count; ++i)
        factoryDefaultsEntry(statusBytes.get(), static_cast<int>(i), &t);
    emitText("%s", kSeparator);
    if (!t.supportedSeen) {
        emitText("No supported adapters found\n");
        g_run.cluStatus = CLU_NOT_SUPPORTED;
    } else if (t.failed > 0) {
        emitText("factorydefaults failed on %u supported adapter(s)\n", t.failed);
        g_run.cluStatus = CLU_FACTORY_DEFAULTS_FAILED;
    } else if (t.offline > 0) {
        emitText("%u adapter(s) are now offline and will exhibit inconsistent behavior\n",
                 t.offline);
        emitText("Please REBOOT the system now to activate factory default configuration\n");
        g_run.cluStatus = CLU_REBOOT_REQUIRED;
    } else {
        g_run.cluStatus = CLU_OK;
    }
}

} // namespace

int32_t setFactoryDefaultsFC(int adapter) {
    struct Step {
        const char* traceText;
        int32_t (*run)(int adapter);
    };
    static const Step kSteps[] = {
        {"Clearing x86 boot settings...",
         [](int a) { return static_cast<int32_t>(CLU_SetDefaultBootParams(a, "x86init")); }},
        {"Clearing efi boot settings...",
         [](int a) { return static_cast<int32_t>(CLU_SetDefaultBootParams(a, "efiinit")); }},
        {"Restoring the non-volatile WWPN and WWNN addresses...",
         [](int a) { return clearVolatileWWN(a, false); }},
        {"Setting the factory IEEE addresses...",
         [](int a) { return restoreOriginalWWN(a, false); }},
        {"Enabling boot code...", [](int a) { return enableAdapterBootCode(a, 0, true); }},
        {"Enabling the adapter port...",
         [](int a) { return static_cast<int32_t>(CLU_EnableAdapterPort(a)); }},
    };
    trace("\n[setFactoryDefaultsFC]\n");
    bool failed = false;
    // Every step runs whatever the earlier ones returned.
    for (const Step& s : kSteps) {
        trace("\n[setFactoryDefaultsFC] - %s\n", s.traceText);
        if (s.run(adapter) != 0) failed = true;
    }
    uint32_t st = TGX_ResetAdapter(static_cast<uint32_t>(adapter), 1);
    trace("\n[setFactoryDefaultsFC] - ResetAdapter tgxStatus %d\n", static_cast<int>(st));
    if (st != 0) failed = true;
    return failed ? CLU_FACTORY_DEFAULTS_FAILED : CLU_OK;
}

int32_t setFactoryDefaultsSLI4(int adapter) {
    trace("\n[setFactoryDefaultsSLI4]\n");
    if (!IsIssueMboxV2ExtSupported(adapter)) {
        trace("\n[setFactoryDefaultsSLI4] - Extended mode not supported!\n");
        return CLU_FACTORY_DEFAULTS_FAILED;
    }
    MboxBuf mb;
    buildFactoryRequest(&mb);
    traceFactoryRequest(sliSub(mboxBytes(mb)));
    uint32_t s = TGX_IssueMboxWithRetryV2(static_cast<uint32_t>(adapter), mb.w, MBOX_SLI4_WORDS,
                                          kFactoryRetry, kFactoryDelayMs);
    SliResponse r = sliConfigResponse(mboxBytes(mb));
    traceFactoryResponse(s, r);
    // The adapter accepts with a non-zero completion status, which the library
    // reports as 2 after copying the response back: 0 is a failure here.
    if (s != kLibraryMailboxError) {
        trace("\n[setFactoryDefaultsSLI4] - tgxStatus (%X)\n", s);
        return CLU_FACTORY_DEFAULTS_FAILED;
    }
    if (r.actualLength > r.responseLength) {
        trace("\n[setFactoryDefaultsSLI4] - actualLength (%d) > responseLength (%d)\n",
              static_cast<int>(r.actualLength), static_cast<int>(r.responseLength));
        return CLU_FACTORY_DEFAULTS_FAILED;
    }
    if (r.status == SLI_STATUS_FACTORY_ACCEPTED && r.additionalStatus == 0) {
        trace("\n[setFactoryDefaultsSLI4] - Success exit status (%d)\n", CLU_REBOOT_REQUIRED);
        return CLU_REBOOT_REQUIRED;
    }
    trace("\n[setFactoryDefaultsSLI4] - Unknown exit status (%d)\n", CLU_FACTORY_DEFAULTS_FAILED);
    return CLU_FACTORY_DEFAULTS_FAILED;
}

void cmdFactoryDefaults(int index, bool all) {
    if (all)
        factoryDefaultsAll();
    else
        factoryDefaultsOne(index);
}
