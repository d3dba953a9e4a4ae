// NPIV virtual ports: create, delete, list and describe them through the
// driver, keep the persistent list of each physical port's virtual ports in
// the registry (the driver creates them again from there at start), test a
// port's readiness, fetch per-port statistics and look up a port's VPI.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "libtgx/tgx_internal.h"

namespace {

// Statuses of the virtual-port exports beyond kStsOk and kStsFailed.
constexpr uint32_t kStsPortDriver = 2;   // the Port driver has no virtual ports
constexpr uint32_t kStsVpBadBoard = 3;   // delete, attributes, readiness test
constexpr uint32_t kStsIllegalWwpn = 4;  // attributes: the driver does not know it
constexpr uint32_t kStsEntryMissing = 5; // registry remove: no entry with this WWPN
constexpr uint32_t kStsBadOptions = 12;
constexpr uint32_t kStsVpNoMemory = 17;
constexpr uint32_t kStsRegistryKeys = 18;
constexpr uint32_t kStsRegistryWrite = 19;

// Driver ReturnCodes the library interprets.
constexpr uint32_t kRcNotSupported = TGX_NPIV_RC_NOT_SUPPORTED;
constexpr uint32_t kRcNotReady = TGX_NPIV_RC_NOT_READY;
constexpr uint32_t kRcLinkDown = TGX_NPIV_RC_LINK_DOWN;

// tgxFindVPIid results that are not a VPI.
constexpr uint32_t kVpiNotFound = 0xFFFFFE;
constexpr uint32_t kVpiFailed = 0xFFFFFD;

constexpr uint32_t kRegistryAdd = 1;
constexpr uint32_t kRegistryRemove = 2;
constexpr uint32_t kEntryNameChars = 63;
constexpr uint32_t kReadyTestCapacity = 255;
constexpr uint32_t kReadyTestStart = 0xC0;
constexpr uint8_t kCreatedVersion = 3;
constexpr uint8_t kOldLayoutVersion = 2;
// The largest list and statistics requests, so that envelope sizes never wrap.
constexpr uint32_t kMaxListCapacity =
    (0xFFFFFFFFu - TGX_SIZE_NPIV_GETLIST_BASE) / TGX_NPIV_LIST_ENTRY;
constexpr uint32_t kMaxStatWords = (0xFFFFFFFFu - TGX_SIZE_NPIV_GETSTATS_BASE) / 4;

const char kServicesPath[] = "SYSTEM\\CurrentControlSet\\Services\\";
const char kParametersKey[] = "Parameters";
const char kDeviceKey[] = "Device";

static_assert(offsetof(VPortRecord, checklist) == 304 && offsetof(VPortRecord, field32) == 308,
              "record positions of the version 2 fields");

// Precision-padded forms of the log texts print the same as these.
#define WWN_FMT "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x"
#define WWN_ARGS(w) (w)[0], (w)[1], (w)[2], (w)[3], (w)[4], (w)[5], (w)[6], (w)[7]

bool is_port_driver(uint32_t board) {
    return tgx_entry(board)->driverType == TGX_DRIVER_PORT;
}

// Payload positions of the fields that differ between the two generations of
// the driver's record.
struct Layout {
    uint32_t field8, checklist, field32;
};
Layout layout_of(uint32_t newLayout) {
    if (newLayout)
        return {TGX_NPIV_NEW_OFF_FIELD8, TGX_NPIV_NEW_OFF_CHECKLIST, TGX_NPIV_NEW_OFF_FIELD32};
    return {TGX_NPIV_OLD_OFF_FIELD8, TGX_NPIV_OLD_OFF_CHECKLIST, TGX_NPIV_OLD_OFF_FIELD32};
}

// One number of a version text: chars [from, to); each character shifts the
// value by a decimal place (except the first) and digits add themselves.
uint32_t tuple_value(const char* v, size_t from, size_t to) {
    uint32_t value = 0;
    for (size_t i = from; i < to; ++i) {
        if (i > from) value *= 10;
        if (v[i] >= '0' && v[i] <= '9') value += (uint32_t)(v[i] - '0');
    }
    return value;
}

// End of the number starting at from: the first dot, the end of the text, or
// limit, whichever comes first.
size_t tuple_end(const char* v, size_t len, size_t from, size_t limit) {
    size_t i = from;
    while (i < len && i < limit && v[i] != '.')
        ++i;
    return i;
}

// Copies the version text of a tuple into a terminated buffer for the log.
void tuple_text(const char* v, size_t from, size_t to, char* out, size_t size) {
    size_t n = to - from < size - 1 ? to - from : size - 1;
    memcpy(out, v + from, n);
    out[n] = '\0';
}

uint32_t driver_layout(const char* version) {
    TraceLog("getDriverVer\n");
    uint32_t flag = 0;
    const size_t len = strnlen(version, 256);
    char text[17];
    const size_t end1 = tuple_end(version, len, 0, 12);
    if (end1 == 0) {
        TraceLog("getDriverVer scanned 1st tuple and found no numbers between seperator\n");
    } else {
        tuple_text(version, 0, end1, text, sizeof text);
        TraceLog("getDriverVer scanned 1st tuple = %s\n", text);
        if (tuple_value(version, 0, end1) >= 10) {
            TraceLog("getDriverVer,  Using 4 tuple version,  assumed to be using new NPIV "
                     "structure\n");
            flag = 1;
        } else {
            const size_t start2 = 2;
            const size_t end2 = len > start2 ? tuple_end(version, len, start2, 10) : start2;
            // The third number follows the dot that ends the second.
            const bool dotAfter2 = end2 < len && version[end2] == '.';
            const size_t start3 = end2 + 1;
            const size_t end3 = dotAfter2 ? tuple_end(version, len, start3, 16) : start3;
            if (end2 <= start2) {
                TraceLog("getDriverVer scanned 2nd tuple and found no numbers between "
                         "seperator\n");
            } else if (end3 <= start3) {
                tuple_text(version, start2, end2, text, sizeof text);
                TraceLog("getDriverVer scanned 2nd tuple = %s\n", text);
                TraceLog("getDriverVer scanned 3rd tuple and found no numbers between "
                         "seperator\n");
            } else {
                tuple_text(version, start2, end2, text, sizeof text);
                TraceLog("getDriverVer scanned 2nd tuple = %s\n", text);
                tuple_text(version, start3, end3, text, sizeof text);
                TraceLog("getDriverVer scanned 3rd tuple = %s\n", text);
                const uint32_t second = tuple_value(version, start2, end2);
                const uint32_t third = tuple_value(version, start3, end3);
                flag = 1;
                if (second < 2) {
                    flag = 0;
                    TraceLog("getDriverVer 2nd tuple less than 2.  setting flag = %d\n", flag);
                } else if (second == 2) {
                    TraceLog("getDriverVer 2nd tuple is equal 2.\n");
                    if (third <= 20) {
                        flag = 0;
                        TraceLog("getDriverVer 3rd tuple EQ 20 or is less than 20.  setting flag "
                                 "= %d\n",
                                 flag);
                    }
                }
            }
        }
    }
    TraceLog("getDriverVer exit, flag = %d\n", flag);
    return flag;
}

// Registry keys of one board's virtual-port list, closed together.
struct DeviceKeys {
    PlatRegKey svc = nullptr;
    PlatRegKey params = nullptr;
    PlatRegKey device = nullptr;
    DeviceKeys() = default;
    DeviceKeys(const DeviceKeys&) = delete;
    DeviceKeys& operator=(const DeviceKeys&) = delete;
    ~DeviceKeys() {
        if (device) plat_reg_close_key(device);
        if (params) plat_reg_close_key(params);
        if (svc) plat_reg_close_key(svc);
    }
};

// Owns a malloc'd buffer of registry entries.
struct EntryBuffer {
    VirtualPortEntry* p = nullptr;
    EntryBuffer() = default;
    EntryBuffer(const EntryBuffer&) = delete;
    EntryBuffer& operator=(const EntryBuffer&) = delete;
    ~EntryBuffer() { free(p); }
};

uint32_t updateRegistry(uint32_t board, const VirtualPortEntry& entry, uint32_t option) {
    TraceLog("updateRegistry: option=%xH, wwpn= " WWN_FMT "\n", option, WWN_ARGS(entry.wwpn));
    const DrvVerName& names = tgx_entry(board)->drvInfo.names[0];
    char servicePath[128];
    snprintf(servicePath, sizeof servicePath, "%s%.*s", kServicesPath,
             (int)strnlen(names.dvrName, sizeof names.dvrName), names.dvrName);
    DeviceKeys keys;
    int32_t rs = plat_reg_create_key(PLAT_HKLM, servicePath, &keys.svc);
    if (rs != PLAT_REG_OK) {
        TraceLog("  updateRegistry: Create/Open %s key. status = %xh\n", servicePath, rs);
        return kStsRegistryKeys;
    }
    rs = plat_reg_create_subkey(keys.svc, kParametersKey, &keys.params);
    if (rs != PLAT_REG_OK) {
        TraceLog("  updateRegistry: Create/Open %s Parameter key. status = %xh\n", servicePath, rs);
        return kStsRegistryKeys;
    }
    rs = plat_reg_create_subkey(keys.params, kDeviceKey, &keys.device);
    if (rs != PLAT_REG_OK) {
        TraceLog("  updateRegistry: Create/Open %s Device key. status = %xh\n", servicePath, rs);
        return kStsRegistryKeys;
    }
    HBA_PortAttributes attrs;
    if (GetAdapterPortAttributes(board, 0, &attrs) != 0) return kStsFailed;
    const uint8_t* pw = attrs.PortWWN;
    TraceLog("updateRegistry: portWWPN " WWN_FMT "\n", WWN_ARGS(pw));
    char valueName[17];
    snprintf(valueName, sizeof valueName, "%08x%08x",
             (unsigned)((pw[0] << 24) | (pw[1] << 16) | (pw[2] << 8) | pw[3]),
             (unsigned)((pw[4] << 24) | (pw[5] << 16) | (pw[6] << 8) | pw[7]));

    uint32_t type = 0, size = 0;
    rs = plat_reg_query_value(keys.device, valueName, &type, nullptr, &size);
    const bool missing = rs == PLAT_REG_NOT_FOUND;
    if (!missing && rs != PLAT_REG_OK) return kStsVpNoMemory;
    // Whole entries only: a trailing fragment is not an entry.
    const uint32_t held = missing ? 0 : size / sizeof(VirtualPortEntry);
    EntryBuffer buf;
    buf.p = static_cast<VirtualPortEntry*>(calloc(held + 1, sizeof(VirtualPortEntry)));
    if (!buf.p) return kStsVpNoMemory;
    if (!missing) {
        uint32_t got = (held + 1) * (uint32_t)sizeof(VirtualPortEntry);
        rs = plat_reg_query_value(keys.device, valueName, &type, buf.p, &got);
        if (rs != PLAT_REG_OK) return kStsVpNoMemory;
    }
    TraceLog("  updateRegistry: Registry entry size=%x cnt=%x\n", size, held);

    if (option == kRegistryAdd) {
        for (uint32_t i = 0; i < held; ++i) {
            TraceLog("  updateRegistry: vPort %x= " WWN_FMT "\n", i, WWN_ARGS(buf.p[i].wwpn));
            if (memcmp(buf.p[i].wwpn, entry.wwpn, 8) == 0) {
                TraceLog("  updateRegistry: VPCreate -  Entry %x already exists\n", i);
                return kStsOk;
            }
            TraceLog("  updateRegistry: VPCreate -  Entry %x not matched\n", i);
        }
        buf.p[held] = entry;
        rs = plat_reg_set_value(keys.device, valueName, PLAT_REG_BINARY, buf.p,
                                (held + 1) * (uint32_t)sizeof(VirtualPortEntry));
        if (rs != PLAT_REG_OK) {
            TraceLog("  updateRegistry: Set VirtualPort value error\n");
            return kStsRegistryWrite;
        }
        return kStsOk;
    }

    if (missing) {
        TraceLog("  updateRegistry: Query value error - No entry exists\n");
        return kStsOk;
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < held; ++i) {
        if (memcmp(buf.p[i].wwpn, entry.wwpn, 8) != 0) {
            TraceLog("  updateRegistry: VPDelete -  Entry %x not matched\n", i);
            buf.p[kept++] = buf.p[i];
        } else {
            TraceLog("  updateRegistry: VPDelete -  Entry %x entry found, entrySize=%x\n", i,
                     (uint32_t)sizeof(VirtualPortEntry));
        }
    }
    if (kept == held) {
        TraceLog("  updateRegistry: Delete entry not found, illegal WWPN\n");
        return kStsEntryMissing;
    }
    TraceLog("  updateRegistry: Delete entry - cnt=%x\n", kept);
    // The value exists only while it holds an entry: removing the last one
    // (even when it was stored more than once) deletes it.
    if (kept == 0) {
        rs = plat_reg_delete_value(keys.device, valueName);
        if (rs == PLAT_REG_OK) TraceLog("  updateRegistry: Key deleted\n");
    } else {
        rs = plat_reg_set_value(keys.device, valueName, PLAT_REG_BINARY, buf.p,
                                kept * (uint32_t)sizeof(VirtualPortEntry));
        if (rs == PLAT_REG_OK) TraceLog("  updateRegistry: Updated the Registry cnt=%x\n", kept);
    }
    if (rs != PLAT_REG_OK) {
        TraceLog("  updateRegistry: Remove entry error cnt=%x\n", kept);
        return kStsRegistryWrite;
    }
    return kStsOk;
}

VirtualPortEntry entry_of(const uint8_t* wwpn, const uint8_t* wwnn, const char* name) {
    VirtualPortEntry e = {};
    memcpy(e.wwpn, wwpn, 8);
    if (wwnn) memcpy(e.wwnn, wwnn, 8);
    if (name) {
        size_t n = strnlen(name, kEntryNameChars);
        memcpy(e.symbolicName, name, n);
    }
    return e;
}

// Reads the adapter attributes and decides the driver's record generation.
bool read_layout(uint32_t board, uint32_t* newLayout, uint32_t* st) {
    HBA_AdapterAttributes attrs;
    *st = TGX_GetAdapterAttributes(board, &attrs);
    if (*st != 0) return false;
    attrs.DriverVersion[sizeof attrs.DriverVersion - 1] = '\0';
    *newLayout = driver_layout(attrs.DriverVersion);
    return true;
}

// Sends a virtual-port request; false when the device call failed.
bool send(uint32_t board, TgxEnvelope& env) {
    return tgx_env_send(tgx_entry(board)->handle, env);
}

} // namespace

// VPI of a virtual port (0 for the physical port), or kVpiNotFound / kVpiFailed.
uint32_t tgxFindVPIid(uint32_t board, const uint8_t* wwpn) {
    if (!tgx_board_ok(board) || wwpn == nullptr) return kVpiFailed;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_VPI_LOOKUP, TGX_IOCTL_VPI_LOOKUP, TGX_SIG_ZT);
    if (!env) return kVpiFailed;
    memcpy(env.payload(), wwpn, 8);
    if (!send(board, env)) {
        TraceLog("tgxFindVPIid: Failed Error=0x%x\n", plat_last_error());
        return kVpiFailed;
    }
    if (tgx_env_rc(env) == TGX_VPI_RC_NOT_FOUND) return kVpiNotFound;
    return tgx_rd32(env.payload() + TGX_VPI_OFF_VPI);
}

uint32_t getDriverVer(const char* driverVersion) {
    return driver_layout(driverVersion ? driverVersion : "");
}

extern "C" TGX_EXPORT uint32_t TGX_VPCreate(uint32_t board, const char* symbolicName,
                                            VPortRecord* rec) {
    if (rec == nullptr) return kStsFailed;
    TraceLog("TGX_VPCreate: board=%x VportWwpn=" WWN_FMT " wwnn=" WWN_FMT
             " requestVer=%x options=%x\n",
             board, WWN_ARGS(rec->wwpn), WWN_ARGS(rec->wwnn), rec->version, rec->options);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    const uint32_t options = rec->options;
    const bool registryOnly = (options & TGX_VP_OPT_REGISTRY_ONLY) == TGX_VP_OPT_REGISTRY_ONLY;
    if ((options & TGX_VP_OPT_02) && registryOnly) {
        TraceLog("TGX_VPCreate - options setting is wrong %x\n", options);
        return kStsBadOptions;
    }
    uint32_t newLayout = 0, st = 0;
    if (!read_layout(board, &newLayout, &st)) {
        TraceLog("TGX_VPCreate - GetAdapterAttributes failed=%x\n", st);
        return kStsFailed;
    }
    // At most 255 characters, always terminated.
    copyBounded(rec->symbolicName, sizeof rec->symbolicName, symbolicName);
    const VirtualPortEntry entry = entry_of(rec->wwpn, rec->wwnn, rec->symbolicName);
    TraceLog("TGX_VPCreate: byteCnt=%d\n", (int)sizeof entry);
    if (registryOnly) {
        st = updateRegistry(board, entry, kRegistryAdd);
        TraceLog("TGX_VPCreate - Write to Registry only status=%x\n", st);
        return st == kStsOk ? kStsOk : kStsFailed;
    }

    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_CREATE, TGX_IOCTL_NPIV_APP_CREATE, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    const uint8_t* r = reinterpret_cast<const uint8_t*>(rec);
    memcpy(p, r, TGX_NPIV_PAYLOAD);
    memcpy(p + TGX_NPIV_NEW_OFF_FIELD32, rec->field32, sizeof rec->field32);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_APP_CREATE Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    uint32_t status = tgx_env_rc(env);
    const Layout l = layout_of(newLayout);
    const uint32_t fcId = tgx_rd32(p + TGX_NPIV_OFF_FCID);
    const uint32_t checklist = tgx_rd32(p + l.checklist);
    const uint8_t state = p[TGX_NPIV_OFF_STATE];
    TraceLog("TGX_VPCreate: returnCode=%08XH FcId=%08XH Ver =%d checklist=%08XH "
             "state=%02XH, flags=%02XH\n",
             status, fcId, kCreatedVersion, checklist, state, p[TGX_NPIV_OFF_FLAGS]);
    const uint8_t callerVersion = rec->version;
    rec->checklist = 0;
    if (callerVersion >= 2) {
        rec->checklist = checklist;
        rec->state = state;
    }
    if (status == kRcNotReady && !(checklist & TGX_NPIV_CHK_REFUSED) &&
        state == TGX_NPIV_STATE_OFFLINE) {
        // Created; the port logs in once the link comes up.
        status = kStsOk;
        rec->fcId = 0;
    } else if (status == kStsOk && fcId != 0) {
        rec->fcId = fcId;
        rec->state = state;
        rec->b285 = p[TGX_NPIV_OFF_B285];
        memcpy(rec->wwnn, p + TGX_NPIV_OFF_WWNN, 8);
        memcpy(rec->wwpn, p + TGX_NPIV_OFF_WWPN, 8);
        rec->version = kCreatedVersion;
        if (callerVersion >= 2) {
            memcpy(rec->field8, p + l.field8, sizeof rec->field8);
            memcpy(rec->field32, p + l.field32, sizeof rec->field32);
        }
    } else if (status == kStsOk) {
        TraceLog("TGX_VPCreate: ReturnCode=0, but the portFcId=0\n");
        status = kStsFailed;
    }
    // A port created while the link is down is as created as one logged in:
    // both get their registry entry when asked for one.
    if (status == kStsOk && (options & TGX_VP_OPT_REGISTRY_ONLY) == TGX_VP_OPT_REGISTRY_AFTER) {
        st = updateRegistry(board, entry, kRegistryAdd);
        TraceLog("TGX_VPCreate: updateRegistry status=%08XH \n", st);
        if (st != kStsOk) status = kStsFailed;
    }
    TraceLog("TGX_VPCreate: Exit status=%08XH checklist=%08XH\n", status, rec->checklist);
    return status;
}

// The driver's delete request; kStsFailed when the call failed, else its ReturnCode.
static uint32_t send_delete(uint32_t board, const uint8_t* wwpn, const char* failLine) {
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_DELETE, TGX_IOCTL_NPIV_DELETE, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    memcpy(env.payload(), wwpn, 8);
    if (!send(board, env)) {
        TraceLog(failLine, plat_last_error());
        return kStsFailed;
    }
    return tgx_env_rc(env);
}

extern "C" TGX_EXPORT uint32_t TGX_VPDelete(uint32_t board, const uint8_t* wwpn) {
    if (wwpn == nullptr) return kStsFailed;
    TraceLog("TGX_VPDelete: board=%x wwpn=" WWN_FMT "\n", board, WWN_ARGS(wwpn));
    DebugTrace("TGX_VPDelete: wwpn=" WWN_FMT "\n", WWN_ARGS(wwpn));
    if (!tgx_board_ok(board)) return kStsVpBadBoard;
    if (is_port_driver(board)) return kStsPortDriver;
    uint32_t rc = send_delete(board, wwpn, "IOCTL_ZTX100_NPIV_DELETE Failed Error=0x%x\n");
    TraceLog("TGX_VPDelete exit returnCode=%x\n", rc);
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_VPDeleteV2(uint32_t board, const uint8_t* wwpn,
                                              uint32_t option) {
    if (wwpn == nullptr) return kStsFailed;
    TraceLog("TGX_VPDeleteV2: board=%x  option=%x VportWwpn:" WWN_FMT "\n", board, option,
             WWN_ARGS(wwpn));
    if (!tgx_board_ok(board)) return kStsVpBadBoard;
    if (is_port_driver(board) || option > 2) return kStsPortDriver;
    const VirtualPortEntry entry = entry_of(wwpn, nullptr, nullptr);
    if (option == 1) return updateRegistry(board, entry, kRegistryRemove);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_DELETE, TGX_IOCTL_NPIV_DELETE, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    memcpy(env.payload(), wwpn, 8);
    if (!send(board, env)) {
        TraceLog("TGX_VPDeleteV2: IOCTL_ZTX100_NPIV_DELETE Failed Error=%08XH\n",
                 plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    TraceLog("TGX_VPDeleteV2: io returnCode=%x " WWN_FMT "\n", rc, WWN_ARGS(wwpn));
    if (rc != 0) return rc;
    return updateRegistry(board, entry, kRegistryRemove);
}

extern "C" TGX_EXPORT uint32_t TGX_VPGetList(uint32_t board, VPortList* list) {
    if (list == nullptr) return kStsFailed;
    const uint32_t capacity = list->count;
    TraceLog("TGX_VPGetList: board=%x requestCnt=%x\n", board, capacity);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    if (capacity > kMaxListCapacity) return kStsVpNoMemory;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_GETLIST_BASE + TGX_NPIV_LIST_ENTRY * capacity,
                                    TGX_IOCTL_NPIV_GETLIST, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    tgx_wr32(p, capacity);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_GETLIST Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    TraceDump(p, 12);
    const uint32_t rc = tgx_env_rc(env);
    const uint32_t count = tgx_rd32(p);
    TraceLog("TGX_VPGetList: returnCode=%x rtnCnt=%x\n", rc, count);
    list->count = count;
    // Entries the caller has room for and the reply holds, whatever the count says.
    const uint32_t room =
        (env.size - TGX_ENV_HEADER_LENGTH - TGX_NPIV_LIST_OFF_ENTRIES) / TGX_NPIV_LIST_ENTRY;
    uint32_t n = count < capacity ? count : capacity;
    if (n > room) n = room;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = p + TGX_NPIV_LIST_OFF_ENTRIES + i * TGX_NPIV_LIST_ENTRY;
        VPortListEntry& out = list->entries[i];
        memcpy(out.wwpn, e, 8);
        memcpy(out.wwnn, e + 8, 8);
        out.fcId = tgx_rd32(e + 16);
        TraceLog(" FcId=%08XH \n", out.fcId);
        TraceLog(" wwpn=" WWN_FMT "\n", WWN_ARGS(out.wwpn));
    }
    return rc;
}

extern "C" TGX_EXPORT uint32_t TGX_VPGetResource(uint32_t board, TGX_VPResource* resource) {
    TraceLog("TGX_VPGetResource: board=%x \n", board);
    if (!tgx_board_ok(board) || resource == nullptr) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_RESOURCE, TGX_IOCTL_NPIV_RESOURCE, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_RESOURCE Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    memcpy(resource->bytes, env.payload(), sizeof resource->bytes);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_VPGetLinkInfo(uint32_t board, TGX_VPLinkInfo* info) {
    TraceLog("TGX_VPGetResource: board=%x\n", board);
    if (!tgx_board_ok(board) || info == nullptr) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    TraceLog("TGX_VPGetLinkInfo: board=%x\n", board);
    TgxEnvelope env = tgx_env_alloc(TGX_SIZE_NPIV_QUERY, TGX_IOCTL_NPIV_QUERY, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    memcpy(env.payload() + offsetof(TGX_VPLinkInfo, wwpn), info->wwpn, sizeof info->wwpn);
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_QUERY Failed Error=%08XH\n", plat_last_error());
        return kStsFailed;
    }
    memcpy(info, env.payload(), sizeof *info);
    return tgx_env_rc(env);
}

extern "C" TGX_EXPORT uint32_t TGX_VPGetAttrib(uint32_t board, const uint8_t* wwpn,
                                               VPortRecord* rec) {
    if (wwpn == nullptr || rec == nullptr) return kStsFailed;
    TraceLog("TGX_VPGetAttrib: board=%x ver=%x wwpn=" WWN_FMT "\n", board, rec->version,
             WWN_ARGS(wwpn));
    if (!tgx_board_ok(board)) return kStsVpBadBoard;
    if (is_port_driver(board)) return kStsPortDriver;
    uint32_t newLayout = 0, st = 0;
    if (!read_layout(board, &newLayout, &st)) {
        TraceLog("TGX_VPGetAttrib - GetAdapterAttributes failed=%08XH\n", st);
        return kStsFailed;
    }
    TraceLog("TGX_VPGetAttrib: flag=%08XH (0=old io structure)\n", newLayout);
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_NPIV_PORTATTRIB, TGX_IOCTL_NPIV_PORTATTRIB, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    uint8_t* p = env.payload();
    p[TGX_NPIV_OFF_VERSION] = newLayout ? rec->version : kOldLayoutVersion;
    memcpy(p + TGX_NPIV_OFF_WWPN, wwpn, 8);
    TraceLog("TGX_VPGetAttrib: %08X.08XH %08X.08XH  wwpn=" WWN_FMT "\n", tgx_rd32(p),
             tgx_rd32(p + 4), WWN_ARGS(wwpn));
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_PORTATTRIB Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    const uint32_t rc = tgx_env_rc(env);
    TraceLog("TGX_VPGetAttrib: returnCode=%x\n", rc);
    if (rc == kRcNotSupported) {
        TraceLog("TGX_VPGetAttrib: Not Supported\n");
        return kStsPortDriver;
    }
    if (rc == kRcNotReady) {
        TraceLog("TGX_VPGetAttrib: Illegal WWPN\n");
        return kStsIllegalWwpn;
    }
    if (rc == kRcLinkDown) {
        TraceLog("TGX_VPGetAttrib: Link Down\n");
        return kStsFailed;
    }
    if (rc != 0) {
        TraceLog("TGX_VPGetAttrib: default error\n");
        return kStsFailed;
    }
    memcpy(rec->wwnn, p + TGX_NPIV_OFF_WWNN, 8);
    memcpy(rec->wwpn, p + TGX_NPIV_OFF_WWPN, 8);
    memcpy(rec->symbolicName, p + TGX_NPIV_OFF_NAME, sizeof rec->symbolicName);
    rec->symbolicName[sizeof rec->symbolicName - 1] = '\0';
    const uint32_t fcId = tgx_rd32(p + TGX_NPIV_OFF_FCID);
    TraceLog("TGX_VPGetAttrib: ver=%x FcId=%08XH\n", rec->version, fcId);
    rec->checklist = 0;
    if (rec->version >= 2) {
        const Layout l = layout_of(newLayout);
        memcpy(rec->field8, p + l.field8, sizeof rec->field8);
        memcpy(rec->field32, p + l.field32, sizeof rec->field32);
        rec->checklist = tgx_rd32(p + l.checklist);
        if (newLayout)
            TraceLog("TGX_VPGetAttrib: current driver checklist=%x\n", rec->checklist);
        else
            TraceLog("TGX_VPGetAttrib: old driver checklist=%x\n", rec->checklist);
    }
    rec->version = p[TGX_NPIV_OFF_VERSION];
    rec->options = tgx_rd32(p + TGX_NPIV_OFF_OPTIONS);
    rec->fcId = fcId;
    rec->state = p[TGX_NPIV_OFF_STATE];
    rec->b285 = p[TGX_NPIV_OFF_B285];
    rec->flags = p[TGX_NPIV_OFF_FLAGS];
    TraceLog("TGX_VPGetAttrib: returnCode=%x FcId=%08XH ver=%x state=%x\n", rc, fcId, rec->version,
             rec->state);
    return kStsOk;
}

extern "C" TGX_EXPORT uint32_t TGX_NPIVReadyTest(uint32_t board, uint32_t* checklist) {
    TraceLog("TGX_NPIVReadyTest: board=%x\n", board);
    if (!tgx_board_ok(board)) {
        TraceLog("TGX_NPIVReadyTest: %x Bad board #\n", board);
        return kStsVpBadBoard;
    }
    if (is_port_driver(board)) {
        TraceLog("TGX_NPIVReadyTest: Driver Type not supported\n");
        return kStsPortDriver;
    }
    if (checklist == nullptr) return kStsFailed;
    // Room for the count and the capacity's entries.
    const size_t listBytes =
        offsetof(VPortList, entries) + kReadyTestCapacity * sizeof(VPortListEntry);
    VPortList* list = static_cast<VPortList*>(calloc(1, listBytes));
    if (!list) return kStsVpNoMemory;
    list->count = kReadyTestCapacity;
    uint32_t st = TGX_VPGetList(board, list);
    TraceLog("TGX_NPIVReadyTest: VPGetList status=%x\n", st);
    if (st != kStsOk) {
        TraceLog("TGX_NPIVReadyTest: VPGetList error=%x\n", st);
        free(list);
        return st;
    }
    const uint32_t ports = list->count;
    uint8_t first[8];
    memcpy(first, list->entries[0].wwpn, 8);
    free(list);
    TraceLog("TGX_NPIVReadyTest: VPGetList Entry =%d, VP=" WWN_FMT "\n", ports, WWN_ARGS(first));

    VPortRecord rec = {};
    rec.version = kCreatedVersion;
    if (ports == 0) {
        *checklist = kReadyTestStart;
        rec.options = TGX_VP_OPT_READY_TEST;
        st = TGX_VPCreate(board, "", &rec);
        TraceLog("TGX_NPIVReadyTest: VPCreate status=%08XH, checklist=%08XH, "
                 "flags=%02XH\n",
                 st, rec.checklist, rec.flags);
        if (rec.checklist == 0) return kStsFailed;
        *checklist |= rec.checklist;
        return kStsOk;
    }
    memcpy(rec.wwpn, first, 8);
    memcpy(rec.wwnn, first, 8);
    st = TGX_VPGetAttrib(board, first, &rec);
    *checklist = 0;
    if (st == kStsOk && rec.version >= 2) *checklist = rec.checklist;
    TraceLog("TGX_NPIVReadyTest: checklist=%x\n", *checklist);
    return st;
}

extern "C" TGX_EXPORT uint32_t TGX_VPSetupIOStats(uint32_t board, HBA_wwn wwpn, uint32_t unused,
                                                  TGX_VportStatOpt* option) {
    (void)wwpn;
    (void)unused;
    (void)option;
    TraceLog("TGX_VPSetupIOStats: board=%x\n", board);
    if (!tgx_board_ok(board)) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    TraceLog("TGX_VPSetupIOStats: board=%x\n", board);
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_NPIV_SETUPSTATS, TGX_IOCTL_NPIV_SETUPSTATS, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_SETUPSTATS Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    return tgx_env_rc(env);
}

extern "C" TGX_EXPORT uint32_t TGX_VPGetIOStats(uint32_t board, HBA_wwn wwpn, uint32_t words,
                                                TGX_VPStat* stats) {
    (void)wwpn;
    TraceLog("TGX_VPGetIOStats: board=%x\n", board);
    if (!tgx_board_ok(board) || (stats == nullptr && words != 0)) return kStsFailed;
    if (is_port_driver(board)) return kStsPortDriver;
    TraceLog("TGX_VPGetIOStats: board=%x\n", board);
    if (words > kMaxStatWords) return kStsVpNoMemory;
    TgxEnvelope env =
        tgx_env_alloc(TGX_SIZE_NPIV_GETSTATS_BASE + 4 * words, TGX_IOCTL_NPIV_GETSTATS, TGX_SIG_ZT);
    if (!env) return kStsVpNoMemory;
    if (!send(board, env)) {
        TraceLog("IOCTL_ZTX100_NPIV_GETSTATS Failed Error=0x%x\n", plat_last_error());
        return kStsFailed;
    }
    for (uint32_t i = 0; i < words; ++i)
        stats[i] = tgx_rd32(env.payload() + 4 * i);
    return tgx_env_rc(env);
}
