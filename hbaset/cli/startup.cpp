// hbaset's entry sequence, start-up discovery on both channels, completion of
// the adapter table, and the release at the end of a run.
#include "common/bounded_text.h"
#include "hbaset/cli/startup.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/tracelog/tracelog.h"
#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cli/usage.h"
#include "hbaset/cna/mal.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/vpd.h"
#include "platform/plat_fs.h"
#include "platform/plat_registry.h"

RunState g_run = {};

namespace {

const char kStartText[] = "########started execution of Hbaset########";
const char kNoNexaSwitch[] = "/nonexa";
const char kCodeModelSwitch[] = "/c";
const char kHelpWord[] = "help";
const char kNotAvailable[] = "N/A";

// Driver types that carry the adapter's mailbox, and the one whose version
// decides the mailbox size.
const uint8_t kDriverTypes[] = {2, 3, 16, 21};
const uint8_t kVersionedDriverType = 3;
const uint32_t kSli4Mode = 4;
const uint8_t kDrvInfoVersion = 4;
const size_t kDrvVerField = sizeof(DrvVerName::drvVer);
const size_t kDrvVerSkip = 2; // the version text starts at its third character

// PCI configuration space offsets.
const uint32_t kPciConfigSize = 256;
const size_t kPciVendorId = 0;
const size_t kPciDeviceId = 2;
const size_t kPciHeaderType = 14;
const size_t kPciSubsystemVendorId = 44;
const size_t kPciSubsystemId = 46;

const size_t kWwnBytes = 8;

// The board record's busid: bus in bits 0-7, PCI segment in bits 8-23.
const uint32_t kBusidBusMask = 0xFF;
const uint32_t kBusidSegmentShift = 8;
const uint32_t kBusidSegmentMask = 0xFFFF;

void printLine(const char* text) {
    setMessageLine("%s", text);
    emitLine();
}

// The eight WWN bytes of an entry, byte 0 first.
void entryWwn(uint32_t high, uint32_t low, uint8_t out[8]) {
    for (size_t k = 0; k < 4; k++) {
        out[k] = static_cast<uint8_t>(high >> (24 - 8 * k));
        out[4 + k] = static_cast<uint8_t>(low >> (24 - 8 * k));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ---- command line --------------------------------------------------------------------------

// Joins argv[1 ..] with single blanks into a new buffer (null when memory runs out).
char* joinArguments(int argc, char** argv) {
    size_t total = 1;
    for (int k = 1; k < argc; k++)
        total += strlen(argv[k]) + 1;
    char* line = static_cast<char*>(malloc(total));
    if (line == nullptr) return nullptr;
    size_t used = 0;
    for (int k = 1; k < argc; k++) {
        if (k > 1) line[used++] = ' ';
        size_t n = strlen(argv[k]);
        memcpy(line + used, argv[k], n);
        used += n;
    }
    line[used] = '\0';
    return line;
}

// ---- FC functions --------------------------------------------------------------------------

bool knownDriverType(uint8_t type) {
    for (uint8_t t : kDriverTypes)
        if (t == type) return true;
    return false;
}

// Driver facts of FC entry i: mailbox size, SLI-4, the FCoE feature. Problems
// are only reported; the entry keeps zero in these fields then.
void readDriverInfo(uint32_t i) {
    AdapterRecord* r = adapterAt(static_cast<int>(i));
    DrvInfo info;
    memset(&info, 0, sizeof info);
    info.version = kDrvInfoVersion;
    uint32_t st = TGX_GetDrvInfo(i, &info);
    if (st != 0 && st != 2) {
        setMessageLine("No driver installed. Error %x", st);
        emitLine();
        return;
    }
    if (!knownDriverType(info.drvType)) {
        printLine("No SCSIport Nor StorPort Miniport Nor Linux driver installed");
        return;
    }
    r->mailboxLimit = mailboxLimitFor(info.drvType, info.names[0].drvVer);
    // sliMode and featureList exist only in records of version 4 and up.
    if (info.version >= kDrvInfoVersion) {
        if (info.sliMode == kSli4Mode) r->sli4 = 1;
        if ((info.featureList & TGX_FEATURE_FCOE) != 0) r->functionKind |= KIND_FCOE_FUNCTION;
        if ((info.featureList & TGX_FEATURE_QUERY_ONLY) != 0) g_table.queryOnlyDriver = true;
    }
    traceGroup(TRACE_GROUP_FC,
               "[startUp] board %u: drvType %u mailboxLimit %u sli4 %u featureList %x", i,
               static_cast<unsigned>(info.drvType), r->mailboxLimit, r->sli4,
               info.version >= kDrvInfoVersion ? info.featureList : 0);
}

// PCI data and port WWN of FC entry i. False when the configuration space
// cannot be read.
bool readPciAndWwn(uint32_t i, const BrdInfo& board) {
    AdapterRecord* r = adapterAt(static_cast<int>(i));
    uint8_t cfg[kPciConfigSize] = {};
    if (TGX_ReadPciCfg(i, cfg, 0, kPciConfigSize) != 0) {
        traceGroup(TRACE_GROUP_FC, "[startUp] board %u: PCI configuration space cannot be read", i);
        return false;
    }
    r->pciBus = board.busid & kBusidBusMask;
    r->pciSegment = (board.busid >> kBusidSegmentShift) & kBusidSegmentMask;
    r->pciDevice = board.dev_id & 0x1F;
    r->pciFunction = board.pciFunc;
    r->vendorId = le16(cfg + kPciVendorId);
    r->deviceId = le16(cfg + kPciDeviceId);
    r->subsystemVendorId = le16(cfg + kPciSubsystemVendorId);
    r->subsystemId = le16(cfg + kPciSubsystemId);
    if (cfg[kPciHeaderType] != 0) r->flags |= ADAPTER_FLAG_DUAL_CHANNEL;
    if (isDiscoveryFcoeDevice(r->deviceId)) r->functionKind |= KIND_FCOE_FUNCTION;
    if ((r->functionKind & KIND_FCOE_FUNCTION) == KIND_FCOE_FUNCTION) g_table.fcoeCount++;

    uint8_t wwn[IEEE_REGION_BYTES] = {};
    uint32_t length = IEEE_REGION_BYTES;
    uint32_t st = DumpConfigRegion(static_cast<int>(i), REGION_IEEE, 0, &length, wwn);
    if (st == 0 && length >= IEEE_REGION_BYTES) {
        wwnWordsFromRegion(wwn, r->sli4 != 0, &r->wwpnHigh, &r->wwpnLow);
    } else {
        r->wwpnHigh = 0;
        r->wwpnLow = 0;
    }
    return true;
}

// Per-run arrays of the boot listing and the loopback selection. A count of 0
// allocates nothing and is not a failure.
bool allocateRunArrays() {
    uint32_t fc = g_table.fcCount;
    uint32_t total = g_table.totalCount;
    if (fc > 0) {
        g_run.bootImageLists = static_cast<uint32_t*>(calloc(fc * BOOT_IMAGE_WORDS, 4));
        g_run.bootFlags = static_cast<uint8_t*>(calloc(fc, 4));
        if (g_run.bootImageLists == nullptr || g_run.bootFlags == nullptr) return false;
    }
    if (total > 0) {
        g_run.testSelection = static_cast<uint32_t*>(calloc(total, sizeof(uint32_t)));
        if (g_run.testSelection == nullptr) return false;
    }
    return true;
}

// ---- converged discovery --------------------------------------------------------------------

bool outOfMemory() {
    printLine("Unable to locate memory");
    g_run.cluStatus = CLU_NO_MEMORY;
    return false;
}

bool discoverIscsiFunctions(CorevaneAdapter* a, const int* tags, int count) {
    a->iscsiFunctions = static_cast<MalIscsiFunction*>(calloc(count, sizeof(MalIscsiFunction)));
    if (a->iscsiFunctions == nullptr) return outOfMemory();
    a->flags |= CNA_FLAG_NEXA | CNA_FLAG_ISCSI;
    for (int k = 0; k < count; k++) {
        MalIscsiFunction* f = &a->iscsiFunctions[k];
        MAL_GetiSCSIFunctionAttributes(tags[k], f);
        f->tag = tags[k];
        MAL_GetNICConfiguration(tags[k], &f->nicConfig);
        a->iscsiFunctionCount++;
        g_table.iscsiCount++;
    }
    return true;
}

bool discoverNicFunctions(CorevaneAdapter* a, const int* tags, int count) {
    a->nicFunctions = static_cast<MalNicFunction*>(calloc(count, sizeof(MalNicFunction)));
    if (a->nicFunctions == nullptr) return outOfMemory();
    a->flags |= CNA_FLAG_NEXA | CNA_FLAG_NIC;
    for (int k = 0; k < count; k++) {
        MalNicFunction* f = &a->nicFunctions[k];
        MAL_GetNICFunctionAttributes(tags[k], f);
        f->tag = tags[k];
        a->nicFunctionCount++;
        g_table.nicCount++;
    }
    return true;
}

bool discoverPorts(CorevaneAdapter* a, uint32_t adapterIndex, const int* tags, int count) {
    a->ports = static_cast<MalPortAttributes*>(calloc(count, sizeof(MalPortAttributes)));
    if (a->ports == nullptr) return outOfMemory();
    for (int k = 0; k < count; k++) {
        MalPortAttributes* p = &a->ports[k];
        if (MAL_GetPortAttributes(tags[k], p) != MAL_RM_OK)
            emitText("Can't get PortDiscovery Group\n");
        p->tag = tags[k];
        p->adapterIndex = adapterIndex;
        if (strstr(p->physicalLinkStatus, "Up") != nullptr)
            p->linkUp = 1;
        else if (strstr(p->physicalLinkStatus, "Down") != nullptr)
            p->linkUp = 0;
        for (uint32_t j = 0; j < a->iscsiFunctionCount; j++) {
            if (a->iscsiFunctions[j].portNumber == p->portNumber)
                a->iscsiFunctions[j].linkUp = p->linkUp;
        }
        a->portCount++;
    }
    return true;
}

// Reads one converged adapter and its functions and ports. False when memory
// runs out.
bool discoverAdapter(uint32_t index, int tag, int* childTags) {
    CorevaneAdapter* a = &g_table.cnaAdapterList[index];
    a->nodeTag = tag;
    int st = MAL_GetControllerAttributes(tag, &a->attributes);
    if (st == MAL_RM_OK) st = MAL_GetOEMProperties(tag, &a->oemSerials);
    if (st != MAL_RM_OK) {
        copyBounded(a->oemSerials.quoralSerialNumber, sizeof a->oemSerials.quoralSerialNumber,
                    kNotAvailable);
        copyBounded(a->oemSerials.oemSerialNumber, sizeof a->oemSerials.oemSerialNumber,
                    kNotAvailable);
    }
    int count = MAL_MAX_INSTANCES;
    if (MAL_EnumeratePhysicalHBAs(tag, MAL_HBA_ISCSI, &count, childTags) == MAL_RM_OK &&
        count > 0 && !discoverIscsiFunctions(a, childTags, count)) {
        return false;
    }
    count = MAL_MAX_INSTANCES;
    if (MAL_EnumeratePhysicalHBAs(tag, MAL_HBA_NIC, &count, childTags) == MAL_RM_OK && count > 0 &&
        !discoverNicFunctions(a, childTags, count)) {
        return false;
    }
    count = MAL_MAX_INSTANCES;
    if (MAL_EnumeratePhysicalHBAs(tag, MAL_HBA_PORT, &count, childTags) == MAL_RM_OK && count > 0 &&
        !discoverPorts(a, index, childTags, count)) {
        return false;
    }
    return true;
}

// ---- copy of converged functions -------------------------------------------------------------

void copyPci(AdapterRecord* r, const MalPciProperties& pci) {
    r->cnaDeviceId = pci.deviceId;
    r->cnaVendorId = pci.vendorId;
    r->cnaSubsystemId = pci.subsysDeviceId;
    r->cnaSubsystemVendorId = pci.subsysVendorId;
    r->cnaBus = pci.busNumber;
    r->cnaDevice = pci.deviceNumber;
    r->cnaFunction = pci.functionNumber;
}

void fillCommon(AdapterRecord* r, uint32_t kind, uint32_t adapterIndex, int32_t portNumber) {
    const CorevaneAdapter& a = g_table.cnaAdapterList[adapterIndex];
    r->functionKind = kind;
    r->cnaAdapterIndex = adapterIndex;
    r->cnaPortNumber = static_cast<uint32_t>(portNumber);
    const char* serial = a.attributes.serialNumber;
    copyBounded(r->cnaSerialNumber, sizeof r->cnaSerialNumber,
                serial[0] != '\0' ? serial : kNotAvailable);
}

// Model name of converged entry i from its VPD "V2" keyword, when it has one.
void modelFromVpd(int i) {
    AdapterRecord* r = adapterAt(i);
    uint8_t buffer[VPD_BUFFER_SIZE];
    uint32_t length = sizeof buffer;
    if (readAdapterVpd(i, buffer, &length) != VPD_STATUS_OK) return;
    uint32_t pos = 0;
    VpdEntry e;
    while (vpdNextEntry(buffer, length, &pos, &e)) {
        if (e.key[0] != 'V' || e.key[1] != '2' || e.length == 0) continue;
        vpdCopyValue(e, r->modelName, sizeof r->modelName);
        r->flags |= ADAPTER_FLAG_VPD_MODEL;
        return;
    }
}

// ---- FCoE matching --------------------------------------------------------------------------

// The first port of any converged adapter whose FCoE WWPN is the entry's.
// *sawEmpty is set when some port shows no FCoE WWPN.
const MalPortAttributes* findPortByWwpn(const AdapterRecord& r, bool* sawEmpty) {
    for (uint32_t k = 0; k < g_table.cnaAdapterCount; k++) {
        const CorevaneAdapter& a = g_table.cnaAdapterList[k];
        for (uint32_t p = 0; a.ports != nullptr && p < a.portCount; p++) {
            const MalPortAttributes& port = a.ports[p];
            if (port.fcoeWwpn[0] == '\0') {
                *sawEmpty = true;
                continue;
            }
            if (fcoeWwpnMatches(port.fcoeWwpn, r.wwpnHigh, r.wwpnLow)) return &port;
        }
    }
    return nullptr;
}

void adoptPort(AdapterRecord* r, const MalPortAttributes& port) {
    r->linkUp = port.linkUp;
    r->cnaPortNumber = static_cast<uint32_t>(port.portNumber);
}

// The port the entry's VPD "V4" value names: NEXA gives a port its number and
// a name ("Port 1"), the VPD only the number ("1"), so either may match.
bool isVpdPort(const MalPortAttributes& port, const AdapterRecord& r) {
    if (strcasecmp(port.portName, r.vpdPortName) == 0) return true;
    bool numbered = isdigit(static_cast<unsigned char>(r.vpdPortName[0])) != 0;
    return numbered && port.portNumber == r.vpdPortNumber;
}

// Fallback for entries no port WWPN matched: the adapter whose first NIC
// function sits on the entry's PCI bus and whose OEM serial number is the
// entry's. The entry takes link state and port number from the adapter's port
// that its VPD port value names; without one, its link counts as down.
void matchByBusAndSerial() {
    for (uint32_t k = 0; k < g_table.cnaAdapterCount; k++) {
        CorevaneAdapter& a = g_table.cnaAdapterList[k];
        if (a.nicFunctionCount == 0 || a.nicFunctions == nullptr) continue;
        for (uint32_t i = 0; i < g_table.fcCount; i++) {
            AdapterRecord* r = adapterAt(static_cast<int>(i));
            if (!isFcoeFunction(static_cast<int>(i)) || r->fcoeMatched) continue;
            if (a.nicFunctions[0].pci.busNumber != r->pciBus) continue;
            if (strcasecmp(a.oemSerials.oemSerialNumber, r->serialNumber) != 0) continue;
            a.flags |= CNA_FLAG_NEXA | CNA_FLAG_FCOE;
            r->cnaAdapterIndex = k;
            r->fcoeMatched = 1;
            r->linkUp = 0;
            for (uint32_t p = 0; a.ports != nullptr && p < a.portCount; p++) {
                if (isVpdPort(a.ports[p], *r)) {
                    adoptPort(r, a.ports[p]);
                    break;
                }
            }
        }
    }
}

// ---- the run ------------------------------------------------------------------------------

// Completes the table after start-up: converged functions, identification,
// refresh, FCoE matching.
void completeTable() {
    copyConvergedFunctions();
    identificationPass();
    refreshPass();
    matchFcoeFunctions();
}

void runFromCommandLine(int argc) {
    const char* tokens[MAX_TOKENS];
    int count = 0;
    for (int k = 1; k < argc && count < MAX_TOKENS; k++)
        tokens[count++] = g_run.argumentSlots[k];
    int tokenCount = setTokens(tokens, count);
    setMessageLine("Command: %s", g_run.commandLine);
    emitLine();
    runCommand(tokenCount);
    if (cluSucceeded(g_run.cluStatus))
        setMessageLine("Command completed, NO Error");
    else
        setMessageLine("Reported Error of %d", g_run.cluStatus);
    emitLine();
}

} // namespace

// ---- pure pieces --------------------------------------------------------------------------

int exitStatusFor(int32_t cluStatus) {
    return cluStatus >= 0 && cluStatus <= 255 ? cluStatus : 255;
}

bool switchGiven(int argc, char** argv, const char* sw) {
    for (int k = 1; k < argc; k++)
        if (argv[k] != nullptr && strcmp(argv[k], sw) == 0) return true;
    return false;
}

bool isHelpRequest(int argc, char** argv) {
    if (argc <= 1 || argv == nullptr) return true;
    const char* last = argv[argc - 1];
    return last != nullptr && strcasecmp(last, kHelpWord) == 0;
}

uint32_t mailboxLimitFor(uint32_t drvType, const char* drvVer16) {
    if (drvType != kVersionedDriverType || drvVer16 == nullptr) return MAILBOX_LIMIT_BASE;
    char text[kDrvVerField + 1] = {};
    const char* start = drvVer16 + kDrvVerSkip;
    size_t n = strnlen(start, kDrvVerField - kDrvVerSkip);
    memcpy(text, start, n);
    if (strcmp(text, "2.01A0") >= 0) return MAILBOX_LIMIT_LARGE;
    if (n == 6 ? strcmp(text, "2.00A8") > 0 : strcmp(text, "2.00A10") >= 0)
        return MAILBOX_LIMIT_EXTENDED;
    return MAILBOX_LIMIT_BASE;
}

void wwnWordsFromRegion(const uint8_t bytes[8], bool sli4, uint32_t* high, uint32_t* low) {
    *high = sli4 ? be32(bytes) : le32(bytes);
    *low = sli4 ? be32(bytes + 4) : le32(bytes + 4);
}

bool fcoeWwpnMatches(const char* text, uint32_t wwpnHigh, uint32_t wwpnLow) {
    if (text == nullptr) return false;
    uint8_t wwn[kWwnBytes];
    entryWwn(wwpnHigh, wwpnLow, wwn);
    const char* p = text;
    for (size_t k = 0; k < kWwnBytes; k++) {
        if (k > 0) {
            if (*p != ':') return false;
            p++;
        }
        uint32_t value = 0;
        size_t digits = 0;
        for (int d; (d = hexDigit(*p)) >= 0; p++, digits++) {
            if (value <= 0xFF) value = value * 16 + static_cast<uint32_t>(d);
        }
        if (digits == 0 || value != wwn[k]) return false;
    }
    return true;
}

// ---- steps ----------------------------------------------------------------------------------

int32_t adminCheck(int32_t* registryStatus) {
    PlatRegKey key = nullptr;
    int32_t rc = plat_reg_create_key(PLAT_HKLM, ADMIN_CHECK_KEY, &key);
    if (registryStatus != nullptr) *registryStatus = rc;
    if (rc == PLAT_REG_ACCESS_DENIED) return CLU_NOT_ADMIN;
    if (rc != PLAT_REG_OK) return CLU_STATE_STORAGE;
    plat_reg_close_key(key);
    plat_reg_delete_key(PLAT_HKLM, ADMIN_CHECK_KEY);
    return CLU_OK;
}

void reportStateStorage(int32_t registryStatus) {
    const char* why = registryStatus == PLAT_REG_DISK_FULL       ? "no space left on the device"
                      : registryStatus == PLAT_REG_WRITE_PROTECT ? "the file system is read-only"
                                                                 : "input/output error";
    char dir[512];
    if (plat_state_dir(dir, sizeof dir) == 0) copyBounded(dir, sizeof dir, "(no folder)");
    printf("Cannot write the machine state in %s: %s\n", dir, why);
    fflush(stdout);
}

int32_t readBoardList(BoardListFn list, BrdInfo** boards, uint32_t* count) {
    *boards = nullptr;
    *count = 0;
    uint32_t n = 0;
    for (int pass = 0; pass < 2; pass++) {
        BrdInfo* probe = static_cast<BrdInfo*>(calloc(BOARD_LIST_CAPACITY, sizeof(BrdInfo)));
        if (probe == nullptr) {
            printLine("Unable to locate memory");
            return CLU_NO_MEMORY;
        }
        n = list(probe, BOARD_LIST_CAPACITY);
        if (pass == 1 && (n == 0 || n == BOARD_LIST_CAPACITY)) {
            if (n == 0) {
                free(probe);
                probe = nullptr;
            }
            *boards = probe;
            *count = n;
            return CLU_OK;
        }
        free(probe);
    }
    BrdInfo* exact = static_cast<BrdInfo*>(calloc(n, sizeof(BrdInfo)));
    if (exact == nullptr) {
        printLine("Unable to locate memory");
        return CLU_NO_MEMORY;
    }
    if (list(exact, n) != n) {
        free(exact);
        printLine("TGX_InitDiagEnv call error");
        return CLU_INITDIAGENV;
    }
    *boards = exact;
    *count = n;
    return CLU_OK;
}

int32_t startUp(int argc, char** argv) {
    if (argc > MAX_TOKENS) {
        printLine("Invalid number of arguments");
        return CLU_SYNTAX;
    }
    free(g_run.commandLine);
    g_run.commandLine = joinArguments(argc, argv);
    if (g_run.commandLine == nullptr) {
        printLine("Unable to allocate memory");
        return CLU_NO_MEMORY;
    }
    g_run.nexaEnabled = !switchGiven(argc, argv, kNoNexaSwitch);
    if (g_run.nexaEnabled) cnaDiscovery();
    for (int k = 1; k < argc; k++)
        copyBounded(g_run.argumentSlots[k], TOKEN_SIZE, argv[k]);
    g_table.useVpdModel = !switchGiven(argc, argv, kCodeModelSwitch);

    BrdInfo* boards = nullptr;
    uint32_t fcCount = 0;
    int32_t st = readBoardList(TGX_InitDiagEnv, &boards, &fcCount);
    if (st != CLU_OK) return st;
    std::unique_ptr<BrdInfo, decltype(&free)> ownBoards(boards, &free); // freed on every return
    g_table.fcCount = fcCount;
    g_table.totalCount = fcCount + g_table.iscsiCount + g_table.nicCount;
    traceGroup(TRACE_GROUP_FC, "[startUp] fc %u iscsi %u nic %u", fcCount, g_table.iscsiCount,
               g_table.nicCount);
    if (g_table.totalCount == 0) {
        printLine("No Quoral CNA adapters installed");
        return CLU_NO_ADAPTER;
    }
    if (!adapterTableAllocate(g_table.totalCount)) {
        printLine("Unable to locate memory");
        return CLU_NO_MEMORY;
    }
    for (uint32_t i = 0; i < fcCount; i++)
        readDriverInfo(i);
    if (!allocateRunArrays()) {
        printLine("Unable to locate memory");
        return CLU_NO_MEMORY;
    }
    for (uint32_t i = 0; i < fcCount; i++) {
        if (!readPciAndWwn(i, boards[i])) {
            return CLU_PCI_CONFIG;
        }
    }
    return CLU_OK;
}

void cnaDiscovery() {
    if (g_run.cnaDiscoveryDone) return;
    int st = MAL_NEXA_init(g_run.nexaServiceVersion, sizeof g_run.nexaServiceVersion,
                           g_run.nexaHierarchyVersion, sizeof g_run.nexaHierarchyVersion);
    if (st != MAL_RM_OK) {
        // The connection may be open when only the version reads failed.
        MAL_NEXA_exit();
        g_run.nexaUp = false;
        traceGroup(TRACE_GROUP_NEXA, "[cnaDiscovery] NEXA not available, status %d", st);
        return;
    }
    g_run.nexaUp = true;
    int tags[MAL_MAX_INSTANCES];
    int count = MAL_MAX_INSTANCES;
    st = MAL_EnumerateControllers(&count, tags);
    if (st != MAL_RM_OK || count <= 0) {
        MAL_NEXA_exit();
        g_run.nexaUp = false;
        printLine("No Corevane");
        return;
    }
    if (!cnaAdapterListAllocate(static_cast<uint32_t>(count))) {
        MAL_NEXA_exit();
        g_run.nexaUp = false;
        outOfMemory();
        return;
    }
    int childTags[MAL_MAX_INSTANCES];
    for (int k = 0; k < count; k++) {
        if (!discoverAdapter(static_cast<uint32_t>(k), tags[k], childTags)) return;
    }
    g_run.cnaDiscoveryDone = true;
}

void copyConvergedFunctions() {
    if (!g_run.nexaUp || g_table.cnaAdapterList == nullptr) return;
    uint32_t i = g_table.fcCount;
    for (uint32_t k = 0; k < g_table.cnaAdapterCount; k++) {
        const CorevaneAdapter& a = g_table.cnaAdapterList[k];
        for (uint32_t j = 0; j < a.iscsiFunctionCount && i < g_table.totalCount; j++, i++) {
            const MalIscsiFunction& f = a.iscsiFunctions[j];
            AdapterRecord* r = adapterAt(static_cast<int>(i));
            fillCommon(r, KIND_ISCSI_FUNCTION, k, f.portNumber);
            copyPci(r, f.pci);
            r->linkUp = f.linkUp;
            memcpy(r->currentMac, f.nicConfig.macAddress, sizeof r->currentMac);
            memcpy(r->permanentMac, f.nicConfig.permanentMacAddress, sizeof r->permanentMac);
            memcpy(r->altMac, r->permanentMac, sizeof r->altMac);
        }
        for (uint32_t j = 0; j < a.nicFunctionCount && i < g_table.totalCount; j++, i++) {
            const MalNicFunction& f = a.nicFunctions[j];
            AdapterRecord* r = adapterAt(static_cast<int>(i));
            fillCommon(r, KIND_NIC_FUNCTION, k, f.portNumber);
            copyPci(r, f.pci);
            for (uint32_t p = 0; a.ports != nullptr && p < a.portCount; p++) {
                if (a.ports[p].portNumber == f.portNumber) r->linkUp = a.ports[p].linkUp;
            }
            memcpy(r->currentMac, f.macAddress, sizeof r->currentMac);
            memcpy(r->altMac, f.factoryDefaultMacAddress, sizeof r->altMac);
            memcpy(r->permanentMac, f.permanentMacAddress, sizeof r->permanentMac);
            memcpy(r->semiVolatileMac, f.networkBoot.volatileMac, sizeof r->semiVolatileMac);
        }
    }
    if (!g_table.useVpdModel) return;
    for (uint32_t n = g_table.fcCount; n < i; n++) {
        int idx = static_cast<int>(n);
        if (!deviceIs(adapterAt(idx)->cnaDeviceId, FAMILY_CV2, ROLE_NONE)) modelFromVpd(idx);
    }
}

void matchFcoeFunctions() {
    if (!g_run.nexaUp || g_table.cnaAdapterList == nullptr) return;
    bool fallbackNeeded = false;
    for (uint32_t i = 0; i < g_table.fcCount; i++) {
        if (!isFcoeFunction(static_cast<int>(i))) continue;
        AdapterRecord* r = adapterAt(static_cast<int>(i));
        r->cnaAdapterIndex = 0;
        r->fcoeMatched = 0;
        const MalPortAttributes* port = findPortByWwpn(*r, &fallbackNeeded);
        if (port == nullptr) continue;
        g_table.cnaAdapterList[port->adapterIndex].flags |= CNA_FLAG_NEXA | CNA_FLAG_FCOE;
        r->cnaAdapterIndex = port->adapterIndex;
        r->fcoeMatched = 1;
        adoptPort(r, *port);
    }
    if (fallbackNeeded) matchByBusAndSerial();
}

void releaseRun() {
    MAL_NEXA_exit();
    g_run.nexaUp = false;
    adapterTableRelease();
    free(g_run.bootImageLists);
    free(g_run.bootFlags);
    free(g_run.testSelection);
    free(g_run.commandLine);
    g_run.bootImageLists = nullptr;
    g_run.bootFlags = nullptr;
    g_run.testSelection = nullptr;
    g_run.commandLine = nullptr;
}

int hbasetMain(int argc, char** argv) {
    if (printUsageSwitch(argc, argv)) return CLU_OK;
    releaseRun();
    memset(&g_run, 0, sizeof g_run);
    g_run.nexaEnabled = true;
    if (argv == nullptr || argc < 1) argc = 1;

    int32_t registryStatus = PLAT_REG_OK;
    int32_t admin = adminCheck(&registryStatus);
    if (admin == CLU_STATE_STORAGE) {
        reportStateStorage(registryStatus);
        return CLU_STATE_STORAGE;
    }
    if (admin != CLU_OK) {
        fputs("Not an Administrative user! Exiting...\n", stdout);
        fflush(stdout);
        return CLU_NOT_ADMIN;
    }
    for (int k = 1; k < argc; k++) {
        if (strlen(argv[k]) >= ARGUMENT_LENGTH_LIMIT) {
            setMessageLine("Invalid argument length:\n%s\n", argv[k]);
            emitLine();
            return CLU_ARGUMENT_LENGTH;
        }
    }
    traceInitDirectory();
    copyBounded(g_run.moduleDir, sizeof g_run.moduleDir, g_trace.moduleDirectory);
    traceStartRun(kStartText);

    if (isHelpRequest(argc, argv)) {
        printCommandList();
        return CLU_OK;
    }
    int32_t st = startUp(argc, argv);
    if (st != CLU_OK) {
        releaseRun();
        return exitStatusFor(st);
    }
    completeTable();

    g_msg.scriptMode = false;
    g_msg.screenOutput = true;
    g_run.cluStatus = CLU_OK;
    if (argv[1][0] == '@') {
        runScriptFile(argv[1]);
        closeLogFile();
    } else {
        runFromCommandLine(argc);
    }
    int status = exitStatusFor(g_run.cluStatus);
    releaseRun();
    return status;
}
