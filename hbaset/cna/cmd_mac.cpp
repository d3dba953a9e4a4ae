// The MAC commands of NIC functions: readmac (current, factory and
// semi-volatile MAC of the entry), writesvmac and restoredefsvmac (the
// semi-volatile MAC, active after the next reboot) and listmac (the MACs of
// every NIC entry).
//
// writesvmac refuses a MAC that is invalid, that any NIC function of the
// same converged adapter already uses, or, on adapters outside the CV2, CV3
// and Brevin families, that an iSCSI or FCoE function on the same port uses
// in the adapter's profile view.
#include <cstring>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"

namespace {

#define MAC_UPPER "%02X-%02X-%02X-%02X-%02X-%02X"
#define MAC_LOWER "%02x-%02x-%02x-%02x-%02x-%02x"
#define MAC_BYTES(m) (m)[0], (m)[1], (m)[2], (m)[3], (m)[4], (m)[5]

bool macIsAll(const uint8_t* mac, uint8_t value) {
    for (int k = 0; k < 6; k++) {
        if (mac[k] != value) return false;
    }
    return true;
}

bool sameMac(const uint8_t* a, const uint8_t* b) {
    return memcmp(a, b, 6) == 0;
}

int32_t fail(int32_t status) {
    g_run.cluStatus = status;
    return status;
}

bool nexaAvailable() {
    if (g_run.nexaUp) return true;
    say("NEXA not available\n");
    fail(CLU_NEXA_NOT_AVAILABLE);
    return false;
}

// ---- validity ------------------------------------------------------------------------

// The first reason the MAC cannot be a semi-volatile MAC, or null.
const char* invalidReason(const uint8_t* mac) {
    if (macIsAll(mac, 0xFF)) return "Broadcast MAC Address detected\n";
    if (macIsAll(mac, 0)) return "Zero MAC Address detected\n";
    if (mac[0] > 0x0F) return "Most significant 4 bits of byte 0 are reserved and must be zero\n";
    if ((mac[0] & 1) != 0) return "Multicast MAC Address detected\n";
    return nullptr;
}

// ---- duplicates ------------------------------------------------------------------------

// True when a NIC function of the entry's adapter records the MAC as any of
// its four addresses.
bool usedOnAdapter(int i, const uint8_t* mac) {
    const CorevaneAdapter* a = cnaAdapterOf(i);
    for (uint32_t k = 0; a != nullptr && k < a->nicFunctionCount; k++) {
        const MalNicFunction& f = a->nicFunctions[k];
        if (sameMac(f.macAddress, mac) || sameMac(f.permanentMacAddress, mac) ||
            sameMac(f.factoryDefaultMacAddress, mac) || sameMac(f.networkBoot.volatileMac, mac))
            return true;
    }
    return false;
}

bool profileCheckSkipped(int i) {
    DeviceFamily family = deviceFamilyOf(entryDeviceId(adapterAt(i)));
    return family == FAMILY_CV2 || family == FAMILY_CV3 || isBrevinFamily(i);
}

int32_t profileFailure(const char* format, int value) {
    emitText(format, value);
    return CLU_NIC_SETTING_FAILED;
}

// Looks for the MAC among the iSCSI and FCoE functions on the record's port
// in the profile view. Returns 0 when none uses it.
int32_t profileDuplicateCheck(int controller, const MalNicFunction& f, const uint8_t* mac) {
    emitText("Initiating duplicate MAC Address check using ProfileManagement\n");
    int tags[MAL_MAX_INSTANCES];
    int portCount = MAL_MAX_INSTANCES;
    int rm = EnumeratePMPorts(controller, "ActiveProfile", &portCount, tags);
    if (rm != MAL_RM_OK) return profileFailure("EnumeratePMPorts failed. rmStatus %d\n", rm);
    if (portCount <= 0)
        return profileFailure("An unknown error occurred. PortCount is %d\n", portCount);
    // The port number comes from NEXA: check it before it indexes anything.
    int port = f.portNumber;
    if (port < 0 || port >= portCount) return profileFailure("Invalid PortNumber %d\n", port);
    emitText("Searching for Functions on PortNumber %d\n", port);
    int functions[MAL_MAX_INSTANCES];
    int functionCount = MAL_MAX_INSTANCES;
    rm = MAL_EnumerateFunctions(tags[port], &functionCount, functions);
    if (rm != MAL_RM_OK)
        return profileFailure("EnumeratePMPortFunctions failed. rmStatus %d\n", rm);
    if (functionCount <= 0)
        return profileFailure("An unknown error occurred. FunctionCount is %d\n", functionCount);
    for (int k = 0; k < functionCount; k++) {
        MalPmFunction pm;
        rm = MAL_GetPMFunctionProfileSetting(functions[k], &pm);
        if (rm != MAL_RM_OK)
            return profileFailure("GetPMFunctionProfileSetting failed. rmStatus %d\n", rm);
        bool storage = pm.protocol == MAL_PROTOCOL_ISCSI || pm.protocol == MAL_PROTOCOL_FCOE;
        if (!storage || !sameMac(pm.mac, mac)) continue;
        emitText("Found duplicate MACAddress: " MAC_UPPER "\n", MAC_BYTES(mac));
        emitText("Location: PortNumber %d FunctionNumber %d Protocol %d\n", port,
                 static_cast<int>(pm.functionNumber), pm.protocol);
        return CLU_MAC_EXISTS;
    }
    emitText("Duplicate MAC Address check completed successfully\n");
    return CLU_OK;
}

// ---- the write ------------------------------------------------------------------------------

// The semi-volatile MAC write of writesvmac (checked) and restoredefsvmac.
int32_t writeSemiVolatileMac(int i, const uint8_t* mac, bool check) {
    const MalNicFunction* f = cnaNicRecordOf(i);
    if (f == nullptr) {
        say("MAC Address not found\n");
        return CLU_MAC_FAILED;
    }
    if (check) {
        if (const char* reason = invalidReason(mac)) {
            emitText("Invalid MAC Address " MAC_UPPER "\n", MAC_BYTES(mac));
            emitText("%s", reason);
            return CLU_INPUT_VALUE;
        }
    }
    int controller = 0;
    if (!cnaControllerTag(i, &controller)) return CLU_NEXA_NOT_AVAILABLE;
    // The function's own factory MAC may always be written back.
    if (!sameMac(mac, f->factoryDefaultMacAddress)) {
        if (usedOnAdapter(i, mac)) {
            say("MAC Address already exists on the adapter\n");
            return CLU_MAC_EXISTS;
        }
        if (profileCheckSkipped(i)) {
            emitText("Skipping MACAddress check using ProfileManagement\n");
        } else {
            int32_t st = profileDuplicateCheck(controller, *f, mac);
            if (st != CLU_OK) return st;
        }
    }
    emitText("Writing semi-volatile MAC Address " MAC_UPPER "\n", MAC_BYTES(mac));
    int rm = MAL_SetVolatileMac(f->tag, mac);
    if (rm != MAL_RM_OK) {
        emitText("Writing the semi-volatile MAC address failed. NEXA Status = %d\n", rm);
        return CLU_NIC_SETTING_FAILED;
    }
    emitText("Please REBOOT the system now to activate the semi-volatile MAC address\n");
    return CLU_OK;
}

// ---- listmac ------------------------------------------------------------------------------

bool anyNicEntry() {
    for (uint32_t k = 0; k < g_table.totalCount; k++) {
        if (isNicFunction(static_cast<int>(k))) return true;
    }
    return false;
}

// One "adapter %d: " line; returns false when a MAC shown is all zero.
bool listEntry(int i) {
    const AdapterRecord* r = adapterAt(i);
    if (!isNicFunction(i)) {
        setMessageLine("adapter %d: not a NIC HBA", i + 1);
        emitLine();
        return true;
    }
    setMessageLine("adapter %d: NIC Permanent MAC " MAC_LOWER "  MAC " MAC_LOWER, i + 1,
                   MAC_BYTES(r->permanentMac), MAC_BYTES(r->currentMac));
    emitLine();
    return !macIsAll(r->permanentMac, 0) && !macIsAll(r->currentMac, 0);
}

} // namespace

void cmdReadMac(int index) {
    if (!nexaAvailable()) return;
    const AdapterRecord* r = adapterAt(index);
    emitText("Current MAC Address       : " MAC_UPPER "\n", MAC_BYTES(r->currentMac));
    if (macIsAll(r->altMac, 0xFF))
        emitText("Factory MAC Address       : N/A\n");
    else
        emitText("Factory MAC Address       : " MAC_UPPER "\n", MAC_BYTES(r->altMac));
    if (macIsAll(r->semiVolatileMac, 0xFF))
        emitText("Semi-Volatile MAC Address : N/A\n");
    else
        emitText("Semi-Volatile MAC Address : " MAC_UPPER "\n", MAC_BYTES(r->semiVolatileMac));
    bool zero =
        macIsAll(r->currentMac, 0) || macIsAll(r->altMac, 0) || macIsAll(r->semiVolatileMac, 0);
    g_run.cluStatus = zero ? CLU_MAC_FAILED : CLU_OK;
}

void cmdWriteSvMac(int index, uint16_t macHigh, uint32_t macLow) {
    if (!nexaAvailable()) return;
    const uint8_t mac[6] = {
        static_cast<uint8_t>(macHigh >> 8), static_cast<uint8_t>(macHigh),
        static_cast<uint8_t>(macLow >> 24), static_cast<uint8_t>(macLow >> 16),
        static_cast<uint8_t>(macLow >> 8),  static_cast<uint8_t>(macLow),
    };
    fail(writeSemiVolatileMac(index, mac, true));
}

void cmdRestoreDefSvMac(int index) {
    if (!nexaAvailable()) return;
    fail(writeSemiVolatileMac(index, adapterAt(index)->altMac, false));
}

void cmdListMac(int index, bool all) {
    if (!nexaAvailable()) return;
    if (g_table.totalCount == 0) {
        say("No Quoral adapter detected in the system");
        fail(CLU_NO_ADAPTER);
        return;
    }
    if (!anyNicEntry()) {
        say("No NIC adapter detected in the system");
        fail(CLU_CNA_NO_NIC);
        return;
    }
    bool allGood = true;
    if (!all) {
        allGood = listEntry(index);
    } else {
        for (uint32_t k = 0; k < g_table.totalCount; k++)
            allGood = listEntry(static_cast<int>(k)) && allGood;
    }
    g_run.cluStatus = allGood ? CLU_OK : CLU_MAC_FAILED;
}
