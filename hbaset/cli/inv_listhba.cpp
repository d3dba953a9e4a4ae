// listhba: one line per adapter function, the library's functions first
// (port WWN, running firmware, PCI location, model), then the converged
// iSCSI and NIC functions (MAC, firmware as NEXA reports it, location, model).
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"

namespace {

void listFcEntry(int i) {
    const AdapterRecord* r = adapterAt(i);
    bool fcoe = isFcoeFunction(i);
    emitText(fcoe ? "HBA %d: FCoE " : "HBA %d: ", i + 1);
    emitText("%08X ", r->wwpnHigh);
    emitText("%08X ", r->wwpnLow);
    // An FCoE function tied to no converged adapter has no adapter number.
    if (fcoe && r->fcoeMatched) emitText("CV:%d ", static_cast<int>(r->cnaAdapterIndex));

    bool sli4 = isSli4(i);
    MboxBuf mb;
    uint32_t st = sli4 ? ReadRev4(i, &mb) : ReadRev(i, &mb);
    char name[REV_FW_NAME_SIZE + 1] = "";
    if (st != 0) {
        emitText("%s", "!!!! ReadRev error !!!!   ");
        g_run.cluStatus = CLU_REVISION_READ;
    } else {
        emitText("Functional FW: ");
        revisionFirmwareName(mboxBytes(mb), !sli4, name, sizeof name);
    }
    emitText("%s devID:%X Bus:%X Dev:%X Func:%X ", name, static_cast<unsigned>(r->deviceId),
             r->pciBus, r->pciDevice, static_cast<unsigned>(r->pciFunction));
    char model[MODEL_QUERY_TEXT_SIZE];
    identify(i, model, sizeof model);
    emitText("%s\n", model);
}

const char* convergedKindText(const AdapterRecord& r) {
    if (r.functionKind & KIND_ISCSI) return "iSCSI ";
    if (r.functionKind & KIND_NIC) return "NIC ";
    if (r.functionKind & KIND_FCOE) return "FCoE ";
    return "";
}

void listConvergedEntry(int i) {
    const AdapterRecord* r = adapterAt(i);
    emitText("HBA %d: ", i + 1);
    emitText("%s", convergedKindText(*r));
    const uint8_t* m = r->permanentMac;
    emitText("MAC:%02X.%02X.%02X.%02X.%02X.%02X CV:%d ", m[0], m[1], m[2], m[3], m[4], m[5],
             static_cast<int>(r->cnaAdapterIndex));
    emitText("%s ", "Functional FW:");
    const CorevaneAdapter* a = cnaAdapterOf(i);
    bool known = g_run.nexaUp && a != nullptr && a->attributes.activeFirmwareVersion[0] != '\0';
    emitText("%s ", known ? a->attributes.activeFirmwareVersion : INV_NO_VERSION);
    emitText("devID:%X Port:%d Bus:%X Dev:%X Func:%X ", r->cnaDeviceId,
             static_cast<int>(r->cnaPortNumber), r->cnaBus, r->cnaDevice, r->cnaFunction);
    char model[MODEL_QUERY_TEXT_SIZE];
    identify(i, model, sizeof model);
    emitText("%s\n", model);
}

} // namespace

void cmdListHba() {
    if (inventoryNoAdapter()) {
        inventoryReportNoAdapter(false);
        return;
    }
    for (uint32_t k = 0; k < g_table.fcCount; ++k)
        listFcEntry(static_cast<int>(k));
    if (g_table.cnaAdapterList == nullptr || g_table.cnaAdapterCount == 0) return;
    for (uint32_t k = g_table.fcCount; k < g_table.totalCount; ++k)
        listConvergedEntry(static_cast<int>(k));
}
