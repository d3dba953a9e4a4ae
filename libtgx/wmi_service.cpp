// The management-event service as the library uses it: one connection per
// process, the node WWN of a port, the event-control method per port with
// reference-counted switches, the per-board instance names by which delivered
// events find their board, event decoding and the joining of RSCN fragments.
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>

#include "common/bounded_text.h"
#include "libtgx/wmi_events.h"

namespace {

constexpr uint32_t kInstanceChars = 128; // stored instance name, terminator included
constexpr uint32_t kPathChars = 128;     // object path, terminator included
constexpr uint32_t kRscnHeader = 16;     // version, port WWN, page count
constexpr uint32_t kRscnSpare = 12;      // bytes handed on behind the pages
constexpr uint32_t kFragmentMin = 8;     // a continuation carries 8 bytes in wwpn
constexpr uint32_t kEventBytes = 40;     // data bytes of one event

const char kHbaQuery[] = "SELECT * FROM MSFC_FCAdapterHBAAttributes";
const char kControlClass[] = "QrlWmiSDEventControl";

std::mutex g_connMu; // WMIInitialize and WmiRelease run one at a time
PlatMgmtConn g_conn = nullptr;

std::mutex g_instMu; // the instance-name table
char g_instNames[TGX_MAX_BOARDS][kInstanceChars];

std::mutex g_switchMu; // the switch counts
// Made on first use and freed by the unload's last step (tgx_wmi_unload), not
// by a static destructor: the release the library runs as the process exits
// still switches events off, when static objects may already be gone.
using SwitchCounts = std::map<std::tuple<uint64_t, uint32_t, uint32_t>, uint32_t>;
SwitchCounts* g_switchCounts = nullptr;
SwitchCounts& switch_counts() {
    if (!g_switchCounts) g_switchCounts = new SwitchCounts;
    return *g_switchCounts;
}

struct MethodRow {
    uint32_t category;
    const char* method;
};
const MethodRow kMethods[] = {
    {kSdCatEls, "SDELSEventControl"},
    {kSdCatFabric, "SDFabricEventControl"},
    {kSdCatScsi, "SDSCSIEventControl"},
    {kSdCatBoard, "SDBoardEventControl"},
};

const char* method_of(uint32_t category) {
    for (const MethodRow& m : kMethods)
        if (m.category == category) return m.method;
    return nullptr;
}

uint64_t wwn_key(const uint8_t* w) {
    uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = k << 8 | w[i];
    return k;
}

#define WWN_FMT "%02X%02X%02X%02X%02X%02X%02X%02X"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

// "QrlWmiSDEventControl.InstanceName=\"<name>\"", every backslash doubled;
// false when it does not fit kPathChars.
bool object_path(const char* name, char* out) {
    size_t n = (size_t)snprintf(out, kPathChars, "%s.InstanceName=\"", kControlClass);
    for (const char* p = name; *p; ++p) {
        size_t need = *p == '\\' ? 2 : 1;
        if (n + need + 2 > kPathChars) return false;
        if (*p == '\\') out[n++] = '\\';
        out[n++] = *p;
    }
    out[n++] = '"';
    out[n] = '\0';
    return true;
}

void store_instance_name(uint32_t board, const char* name) {
    if (board >= TGX_MAX_BOARDS) return;
    std::lock_guard<std::mutex> g(g_instMu);
    copyBounded(g_instNames[board], kInstanceChars, name);
}

// The board whose stored instance name equals name (compared up to
// kInstanceChars characters), or -1.
int board_of_instance(const char* name) {
    std::lock_guard<std::mutex> g(g_instMu);
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b)
        if (g_instNames[b][0] && strncmp(g_instNames[b], name, kInstanceChars - 1) == 0)
            return (int)b;
    return -1;
}

// Finds the HBA object with nodeWwn: 0 with its name, 1 failed, 3 none.
uint32_t find_instance(PlatMgmtConn c, const uint8_t* nodeWwn, const uint8_t* portWwn, char* name) {
    TraceLog("SD_WMIEventControl: Query Instance \n");
    PlatMgmtEnum e = nullptr;
    if (plat_mgmt_query(c, kHbaQuery, &e) != PLAT_MGMT_OK) {
        TraceLog("SD_WMIEventControl: Query Instance failed. cannot get description of error\n");
        return kWmiFailed;
    }
    uint32_t st = kWmiNoInstance;
    for (int instance = 0;; ++instance) {
        HbaMgmtHbaObject o;
        uint32_t rc = plat_mgmt_next(e, &o);
        if (rc == PLAT_MGMT_DONE) {
            TraceLog("SD_WMIEventControl: pEnumerator->Next done, Instance= %d \n", instance);
            break;
        }
        if (rc != PLAT_MGMT_OK) {
            TraceLog("SD_WMIEventControl: pEnumerator->Next failed. Instance= %d, Error code = "
                     "0x%8X\n",
                     instance, rc);
            st = kWmiFailed;
            break;
        }
        TraceLog("SD_WMIEventControl: Instance %d is NodeWWN: " WWN_FMT " \n", instance,
                 WWN_ARGS(o.nodeWwn));
        if (memcmp(o.nodeWwn, nodeWwn, 8) != 0) continue;
        TraceLog("SD_WMIEventControl: Found Instance %d is NodeWWN: " WWN_FMT ", PortWWN: " WWN_FMT
                 " \n",
                 instance, WWN_ARGS(o.nodeWwn), WWN_ARGS(portWwn));
        copyBounded(name, kInstanceChars, o.instanceName);
        st = kWmiOk;
        break;
    }
    plat_mgmt_enum_close(e);
    return st;
}

} // namespace

uint32_t WMIInitialize() {
    std::lock_guard<std::mutex> g(g_connMu);
    if (g_conn) {
        TraceLog("WMIInitialize: Already Initialized \n");
        return kWmiOk;
    }
    uint32_t rc = plat_mgmt_connect("ROOT\\WMI", &g_conn);
    if (rc != PLAT_MGMT_OK) {
        TraceLog("WMIInitialize: Could not connect. Error code = 0x%8X\n", rc);
        g_conn = nullptr;
        return kWmiFailed;
    }
    return kWmiOk;
}

void WmiRelease() {
    std::lock_guard<std::mutex> g(g_connMu);
    if (!g_conn) return;
    plat_mgmt_release(g_conn);
    TraceLog("WmiRelease: pLibtgxWmiSvc->Release completed\n");
    g_conn = nullptr;
    std::lock_guard<std::mutex> ig(g_instMu);
    memset(g_instNames, 0, sizeof g_instNames);
}

PlatMgmtConn wmi_connection() {
    std::lock_guard<std::mutex> g(g_connMu);
    return g_conn;
}

uint32_t WmiFindMatchingNodeId(uint32_t board, const uint8_t* portWwn, uint8_t* nodeWwn) {
    HBA_PortAttributes pa;
    uint32_t st = GetAdapterPortAttributes(board, 0, &pa);
    if (st != 0) {
        TraceLog("WmiFindMatchingNodeId: Failed to get port attrib sts= 0x%x \n", st);
        return kWmiNoInstance;
    }
    if (memcmp(portWwn, pa.PortWWN, 8) == 0) {
        memcpy(nodeWwn, pa.NodeWWN, 8);
        return kWmiOk;
    }
    VPortRecord vr = {};
    vr.version = 2;
    st = TGX_VPGetAttrib(board, portWwn, &vr);
    if (st != 0) {
        TraceLog("WmiFindMatchingNodeId: Failed to get vport attrib sts= 0x%x\n", st);
        return kWmiNoVport;
    }
    memcpy(nodeWwn, vr.wwnn, 8);
    return kWmiOk;
}

uint32_t SD_WMIEventControl(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                            uint32_t category, uint32_t subCat, bool enable) {
    PlatMgmtConn c = wmi_connection();
    const char* method = method_of(category);
    if (!c || !method) return kWmiFailed;
    char name[kInstanceChars];
    uint32_t st = find_instance(c, nodeWwn, portWwn, name);
    if (st != kWmiOk) return st;
    // The instance serves this board, whatever its place in the list.
    store_instance_name(board, name);
    char path[kPathChars];
    if (!object_path(name, path)) {
        TraceLog("SD_WMIEventControl: Get Class. Error code = 0x%8X\n", PLAT_MGMT_E_INVALID);
        return kWmiFailed;
    }
    TraceLog("%s \n", path);
    TraceLog(enable ? "SD_WMIEventControl: Enable event board= %d cat= 0x%x subCat= 0x%x\n"
                    : "SD_WMIEventControl: Disable event board= %d cat= 0x%x subCat= 0x%x\n",
             board, category, subCat);
    PlatMgmtSdControl in = {};
    in.action = enable ? 0 : 1;
    in.subCat = subCat;
    in.hasWwpn = category != kSdCatBoard;
    memcpy(in.wwpn, portWwn, 8);
    uint32_t status = 0;
    uint32_t rc = plat_mgmt_exec_method(c, path, method, &in, &status);
    TraceLog("Release ClsInst.. ClassInstance..\n");
    if (rc != PLAT_MGMT_OK) {
        TraceLog("SD_WMIEventControl: Could not execute method. Error code = 0x%8X\n", rc);
        TraceLog("ExecMethod status= 0x%8X variantType= 0x%x\n", status, 19u);
        return kWmiFailed;
    }
    return kWmiOk;
}

uint32_t wmi_event_enable(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                          uint32_t category, uint32_t subCat) {
    // Board events are switched per board, not per port.
    static const uint8_t kZero[8] = {};
    auto key = std::make_tuple(wwn_key(category == kSdCatBoard ? kZero : portWwn) ^
                                   (category == kSdCatBoard ? board : 0),
                               category, subCat);
    std::lock_guard<std::mutex> g(g_switchMu);
    auto it = switch_counts().find(key);
    if (it != switch_counts().end()) {
        ++it->second;
        return kWmiOk;
    }
    uint32_t st = SD_WMIEventControl(board, portWwn, nodeWwn, category, subCat, true);
    if (st == kWmiOk) switch_counts()[key] = 1;
    return st;
}

uint32_t wmi_event_disable(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                           uint32_t category, uint32_t subCat) {
    static const uint8_t kZero[8] = {};
    auto key = std::make_tuple(wwn_key(category == kSdCatBoard ? kZero : portWwn) ^
                                   (category == kSdCatBoard ? board : 0),
                               category, subCat);
    std::lock_guard<std::mutex> g(g_switchMu);
    auto it = switch_counts().find(key);
    if (it != switch_counts().end() && it->second > 1) {
        --it->second;
        return kWmiOk;
    }
    uint32_t st = SD_WMIEventControl(board, portWwn, nodeWwn, category, subCat, false);
    if (st == kWmiOk && it != switch_counts().end()) switch_counts().erase(it);
    return st;
}

void wmi_event_forget_all() {
    std::lock_guard<std::mutex> g(g_switchMu);
    switch_counts().clear();
}

uint32_t getDataFromWmiEvent(const HbaMgmtEvent* obj, uint32_t category, SdEventRecord* rec,
                             uint32_t* board) {
    memset(rec, 0, sizeof *rec);
    if (!(obj->present & HBA_MGMT_HAS_INSTANCE)) {
        TraceLog("getDataFromWmiEvent: get instanceName failed\n");
        return kWmiFailed;
    }
    int b = board_of_instance(obj->instanceName);
    if (b < 0) {
        TraceLog("Indicate: can't find matched Instance name\n");
        return kWmiFailed;
    }
    *board = (uint32_t)b;
    TraceLog("getDataFromWmiEvent: Event came from board %x evtType=%x\n", *board, category);
    if (category != kSdCatBoard) {
        if (obj->present & HBA_MGMT_HAS_WWPN)
            memcpy(rec->wwpn, obj->wwpn, 8);
        else
            TraceLog("getDataFromWmiEvent: Get wwn failed sts=0x%8X\n", PLAT_MGMT_E_NOT_FOUND);
    }
    if (!(obj->present & HBA_MGMT_HAS_SUBCAT)) {
        TraceLog("getDataFromWmiEvent: Can't get the subCategory from driver\n");
        return kWmiFailed;
    }
    rec->subCat = obj->subCat;
    TraceLog("getDataFromWmiEvent: subCat=%x\n", rec->subCat);
    if (obj->present & HBA_MGMT_HAS_TIMESTAMP) rec->timeStamp = obj->timeStamp;
    if (obj->present & HBA_MGMT_HAS_FLAGS) rec->flags = obj->flags;
    if (obj->present & HBA_MGMT_HAS_DATASIZE) rec->datasize = obj->datasize;
    TraceLog("getDataFromWmiEvent: datasize=0x%x status=%x\n", rec->datasize, 0u);
    if (!(obj->present & HBA_MGMT_HAS_DATA)) {
        TraceLog("get data failed sts=%x V_VT=%x\n", PLAT_MGMT_E_NOT_FOUND, 0u);
        return kWmiFailed;
    }
    // Only the elements the event has; the rest stay zero.
    uint32_t n = obj->dataCount < kSdDataWords ? obj->dataCount : kSdDataWords;
    for (uint32_t i = 0; i < n; ++i)
        rec->data[i] = obj->data[i];
    return kWmiOk;
}

// ---- RSCN assembly ----------------------------------------------------------

namespace {

// A buffer with room for the header, total + kRscnExtra bytes of pages and
// the spare bytes; zeroed.
uint8_t* rscn_alloc(uint32_t total, const uint8_t* wwpn) {
    uint8_t* b = static_cast<uint8_t*>(calloc(1, kRscnHeader + total + kRscnExtra + kRscnSpare));
    if (!b) return nullptr;
    memcpy(b + 4, wwpn, 8);
    return b;
}

void rscn_finish(uint8_t* buf, uint32_t total, RscnComplete* done) {
    tgx_wr32(buf, 0);
    tgx_wr32(buf + 12, total / 4);
    done->payload = buf;
    done->length = total + kRscnExtra;
    memcpy(done->wwpn, buf + 4, 8);
}

// Little-endian bytes of the event's data words.
void data_bytes(const SdEventRecord& rec, uint8_t* out) {
    for (uint32_t i = 0; i < kSdDataWords; ++i)
        tgx_wr32(out + 4 * i, rec.data[i]);
}

} // namespace

void rscn_reset(RscnAssembly* a) {
    free(a->buf);
    *a = RscnAssembly();
}

const RscnTexts kSdRscnTexts = {
    "ElsEvent Indicate: Single RSCN total dataSize=%x\n",
    "ElsEvent Indicate: RSCN total dataSize=%x\n",
    "ElsEvent Indicate: RSCN malloc failed\n",
    "ELSEvent::Indicate: Didn't recv the 1st RSCN board=%x\n",
    "ELSEvent::Indicate: Didn't recv the 1st RSCN board= %d\n",
    "ElsEvent::Indicate: totalRscnCnt= %d sizeof(SD_EVENT)= %d\n",
    "ELSEvent: ver=%x pageCnt=%d wwpn=%x %x %x %x\n",
};
const RscnTexts kWatcherRscnTexts = {
    "QrlWmiEventELS Indicate: Single RSCN total dataSize=%x\n",
    "QrlWmiEventELS Indicate: RSCN total dataSize=%x\n",
    "QrlWmiEventELS Indicate: RSCN malloc failed\n",
    "QrlWmiEventELS::Indicate: Didn't recv the 1st RSCN board=%x\n",
    "QrlWmiEventELS::Indicate: Didn't recv the 1st RSCN board= %d\n",
    "QrlWmiEventELS::Indicate: totalRscnCnt= %d sizeof(SD_EVENT)= %d\n",
    "QrlWmiEventELS::Indicate: ELSEvent: ver=%x pageCnt=%d wwpn=%x %x %x %x\n",
};

bool rscn_feed(RscnAssembly* a, const SdEventRecord& rec, uint32_t board, RscnComplete* done,
               const RscnTexts& t) {
    uint8_t data[kEventBytes];
    data_bytes(rec, data);
    const uint32_t mark = (rec.flags >> 8) & 3;
    if (mark == 0) {
        // A complete RSCN carries at most one event's data.
        uint32_t total = rec.datasize < kEventBytes ? rec.datasize : kEventBytes;
        TraceLog(t.single, total);
        uint8_t* b = rscn_alloc(total, rec.wwpn);
        if (!b) {
            TraceLog("%s", t.noMemory);
            return false;
        }
        memcpy(b + kRscnHeader, data, total);
        rscn_finish(b, total, done);
        return true;
    }
    if (mark == 1) {
        TraceLog(t.first, rec.datasize);
        rscn_reset(a);
        a->buf = rscn_alloc(rec.datasize, rec.wwpn);
        if (!a->buf) {
            TraceLog("%s", t.noMemory);
            a->lost = true;
            return false;
        }
        a->total = rec.datasize;
        a->room = rec.datasize + kRscnExtra;
        memcpy(a->buf + kRscnHeader, data, kEventBytes);
        a->pos = kEventBytes;
        return false;
    }
    // Middle (2) or last (3) fragment.
    if (a->lost) {
        if (mark == 3) a->lost = false;
        return false;
    }
    if (!a->buf) {
        if (mark == 2)
            TraceLog(t.noFirstMid, board);
        else
            TraceLog(t.noFirstLast, (int)board);
        return false;
    }
    const uint32_t n = rec.datasize;
    if (n < kFragmentMin || n > kFragmentMin + kEventBytes || a->pos + n > a->room) {
        // A fragment that cannot be placed: the whole RSCN is lost.
        TraceLog("RSCN fragment of board %u dropped pos=%u size=%u total=%u\n", board, a->pos, n,
                 a->total);
        rscn_reset(a);
        a->lost = mark != 3;
        return false;
    }
    uint8_t* at = a->buf + kRscnHeader + a->pos;
    memcpy(at, rec.wwpn, kFragmentMin);
    memcpy(at + kFragmentMin, data, n - kFragmentMin);
    a->pos += n;
    if (mark == 2) return false;
    TraceLog(t.last, (int)a->total, 12);
    const uint8_t* w = a->buf + 4;
    TraceLog(t.lastWwn, 0u, (int)(a->total / 4), w[0], w[1], w[2], w[3]);
    uint8_t* b = a->buf;
    uint32_t total = a->total;
    a->buf = nullptr;
    rscn_reset(a);
    rscn_finish(b, total, done);
    return true;
}

bool rscn_pages(const uint8_t* payload, uint32_t length, const uint8_t** pages, uint32_t* bytes,
                uint8_t* wwpn) {
    if (length < 28) return false;
    const uint32_t count = tgx_rd32(payload + 12);
    if (count > (length - 28) / 4) return false;
    *pages = payload + kRscnHeader;
    *bytes = count * 4;
    memcpy(wwpn, payload + 4, 8);
    return true;
}

void tgx_wmi_unload() {
    std::lock_guard<std::mutex> g(g_switchMu);
    delete g_switchCounts;
    g_switchCounts = nullptr;
}

// TGX_FreeDiagEnv and unload: every registration on the connection ends and
// its threads are joined before the connection goes.
void tgx_wmi_release() {
    sd_events_stop_all();
    // The RSCN watchers are event slots: their release joins them.
    for (uint32_t b = 0; b < g_tgx.adapterCount && b < TGX_MAX_BOARDS; ++b)
        tgx_events_release_board(b);
    // Released from a watcher's own callback: that watcher closes after the
    // callback returns and still needs the connection, which then stays.
    if (rscn_watch_on_watcher_thread()) return;
    wmi_event_forget_all();
    WmiRelease();
}
