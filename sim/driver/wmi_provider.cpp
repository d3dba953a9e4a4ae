// The simulated driver's management-event service (see wmi_sim.h): the
// provider table the platform's event stand-in reads, the raising of events,
// RSCN fragments, and the trigger request 0x80000999.
//
// Faults: source "wmi", match a step of the service ("connect", "query",
// "next", "exec", "subscribe"), action "fail": that step fails.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "platform/plat_time.h"
#include "sim/core/wmi_events.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/wmi_sim.h"

namespace hbasim {

namespace {

const char kEnables[] = "wmi_enables";
const uint32_t kEnableSize = 16;     // category, subcategory, port WWN
const uint32_t kRscnEventBytes = 40; // data bytes of one event
const uint32_t kRscnWwpnBytes = 8;   // continuation fragments carry 8 data bytes in wwpn
const uint16_t kMarkFirst = 0x0100, kMarkMiddle = 0x0200, kMarkLast = 0x0300;
const uint32_t kRscnSubCat = 32;
const uint32_t kStatusUnknownPort = 2; // method status: the instance has no such port

struct ClassRow {
    uint32_t category;
    const char* name;
};
const ClassRow kClasses[] = {
    {1, "QrlWmiSDELSEvent"},
    {2, "QrlWmiSDFabricEvent"},
    {4, "QrlWmiSDSCSIEvent"},
    {8, "QrlWmiSDBoardEvent"},
};

void put_bounded(char* dst, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

// One driver instance: an FC/FCoE function of the machine.
struct Instance {
    FuncRef ref;
    std::string name;
    uint64_t order;
    uint8_t nodeWwn[8];
    std::vector<std::array<uint8_t, 16>> vports;
};

std::vector<Instance> instances(const Machine& m) {
    std::vector<Instance> out;
    for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
        const Adapter& a = m.adapters[ai];
        for (size_t fi = 0; fi < a.funcs.size(); ++fi) {
            const Function& f = a.funcs[fi];
            if (!func_driver_visible(f)) continue;
            Instance in;
            in.ref.adapter = (int)ai;
            in.ref.func = (int)fi;
            in.name = wmi_instance_name(a, f);
            // Functions that set wmi_order come first; the others in SCSI port order.
            in.order = f.attrs.has("wmi_order") ? f.attrs.get_u("wmi_order")
                                                : (1ull << 32) + (uint64_t)func_scsi_port(f);
            if (!parse_hex_bytes(f.attrs.get("wwnn"), in.nodeWwn, 8)) memset(in.nodeWwn, 0, 8);
            in.vports = npiv_vport_names(f);
            out.push_back(in);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Instance& x, const Instance& y) { return x.order < y.order; });
    return out;
}

bool enable_matches(const uint8_t* rec, uint32_t category, uint32_t subCat, const uint8_t* wwpn) {
    static const uint8_t kZero[8] = {};
    return drv_rd32(rec) == category && drv_rd32(rec + 4) == subCat &&
           memcmp(rec + 8, category == 8 ? kZero : wwpn, 8) == 0;
}

bool enabled(const Function& f, uint32_t category, uint32_t subCat, const uint8_t* wwpn) {
    auto it = f.blobs.find(kEnables);
    if (it == f.blobs.end()) return false;
    for (size_t off = 0; off + kEnableSize <= it->second.size(); off += kEnableSize)
        if (enable_matches(it->second.data() + off, category, subCat, wwpn)) return true;
    return false;
}

// Whether wwpn is the function's port or one of its virtual ports.
bool has_port(const Function& f, const uint8_t* wwpn) {
    uint8_t own[8];
    if (parse_hex_bytes(f.attrs.get("wwpn"), own, 8) && memcmp(own, wwpn, 8) == 0) return true;
    for (const auto& v : npiv_vport_names(f))
        if (memcmp(v.data(), wwpn, 8) == 0) return true;
    return false;
}

// ---- provider entries ------------------------------------------------------

uint32_t p_step_fault(const char* step) {
    return fault_check("wmi", step, -1).empty() ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

uint32_t p_list_hba(HbaMgmtHbaObject* out, uint32_t capacity, uint32_t* count) {
    *count = 0;
    ReadScope scope;
    Machine m;
    if (read_machine(&m) != SIM_OK) return PLAT_ERR_GEN_FAILURE;
    uint32_t n = 0;
    auto add = [&](const uint8_t* node, const std::string& name) {
        if (n < capacity) {
            memcpy(out[n].nodeWwn, node, 8);
            put_bounded(out[n].instanceName, sizeof out[n].instanceName, name);
        }
        ++n;
    };
    for (const Instance& in : instances(m)) {
        add(in.nodeWwn, in.name);
        for (const auto& v : in.vports)
            add(v.data() + 8, in.name);
    }
    *count = n;
    return 0;
}

uint32_t p_sd_control(const char* instanceName, uint32_t category, uint32_t action, uint32_t subCat,
                      const uint8_t* wwpn, uint32_t* status) {
    *status = 0;
    Machine m;
    if (read_machine(&m) != SIM_OK) return PLAT_ERR_GEN_FAILURE;
    FuncRef ref;
    for (const Instance& in : instances(m))
        if (in.name == instanceName) ref = in.ref;
    if (ref.adapter < 0) return PLAT_ERR_NOT_FOUND;
    static const uint8_t kZero[8] = {};
    const uint8_t* port = category == 8 || !wwpn ? kZero : wwpn;
    int rc = update_adapter(ref.adapter, [&](Adapter& a) {
        Function& f = a.funcs[(size_t)ref.func];
        if (category != 8 && !has_port(f, port)) {
            *status = kStatusUnknownPort;
            return false;
        }
        Bytes& list = f.blobs[kEnables];
        bool on = enabled(f, category, subCat, port);
        if (action == 0 && !on) {
            uint8_t rec[kEnableSize];
            drv_wr32(rec, category);
            drv_wr32(rec + 4, subCat);
            memcpy(rec + 8, port, 8);
            list.insert(list.end(), rec, rec + kEnableSize);
            return true;
        }
        if (action == 1 && on) {
            for (size_t off = 0; off + kEnableSize <= list.size(); off += kEnableSize) {
                if (!enable_matches(list.data() + off, category, subCat, port)) continue;
                list.erase(list.begin() + (long)off, list.begin() + (long)(off + kEnableSize));
                break;
            }
            return true;
        }
        return false;
    });
    char line[160];
    snprintf(line, sizeof line, "%s cat=0x%X subCat=0x%X %s status=%u", instanceName, category,
             subCat, action == 0 ? "enable" : "disable", *status);
    journal("wmi", line);
    return rc == SIM_OK ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

uint64_t p_event_next() {
    return wmi_event_next();
}

uint32_t p_read_events(uint64_t* from, HbaMgmtEvent* out, uint32_t capacity, uint32_t* count) {
    return wmi_event_read(from, out, capacity, count) == SIM_OK ? 0u
                                                                : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

void p_set_notify(void (*fn)(void*), void* ctx) {
    wmi_event_set_notify(fn, ctx);
}

} // namespace

extern const HbaMgmtEventProvider kWmiProvider = {
    p_step_fault, p_list_hba, p_sd_control, p_event_next, p_read_events, p_set_notify,
};

const char* wmi_event_class(uint32_t category) {
    for (const ClassRow& c : kClasses)
        if (c.category == category) return c.name;
    return nullptr;
}

std::string wmi_instance_name(const Adapter& a, const Function& f) {
    std::string set = f.attrs.get("wmi_instance");
    if (!set.empty()) return set;
    char name[96];
    snprintf(name, sizeof name, "PCI\\VEN_%04X&DEV_%04X\\4&%X&0&%02X%02X_0",
             (unsigned)a.attrs.get_u("vendor_id"), (unsigned)f.attrs.get_u("device_id"),
             (unsigned)a.attrs.get_u("pci_bus"), (unsigned)f.attrs.get_u("pci_device"),
             (unsigned)f.attrs.get_u("pci_function"));
    return name;
}

int wmi_raise(FuncRef ref, uint32_t category, const uint8_t* port, HbaMgmtEvent ev) {
    const char* cls = wmi_event_class(category);
    if (!cls) return 0;
    bool on = false;
    std::string instance;
    int rc = read_adapter(ref.adapter, [&](const Adapter& a) {
        if (ref.func < 0 || ref.func >= (int)a.funcs.size()) return;
        const Function& f = a.funcs[(size_t)ref.func];
        on = enabled(f, category, ev.subCat, port);
        instance = wmi_instance_name(a, f);
    });
    if (rc != SIM_OK) return -1;
    if (!on) return 0;
    put_bounded(ev.eventClass, sizeof ev.eventClass, cls);
    put_bounded(ev.instanceName, sizeof ev.instanceName, instance);
    return wmi_event_append(ev) == SIM_OK ? 1 : -1;
}

std::vector<HbaMgmtEvent> wmi_rscn_events(const uint8_t* port, const std::vector<uint32_t>& pages) {
    Bytes bytes(pages.size() * 4);
    for (size_t i = 0; i < pages.size(); ++i)
        drv_wr32(bytes.data() + 4 * i, pages[i]);
    auto base = [&]() {
        HbaMgmtEvent e = {};
        e.present = HBA_MGMT_HAS_INSTANCE | HBA_MGMT_HAS_WWPN | HBA_MGMT_HAS_SUBCAT |
                    HBA_MGMT_HAS_TIMESTAMP | HBA_MGMT_HAS_FLAGS | HBA_MGMT_HAS_DATASIZE |
                    HBA_MGMT_HAS_DATA;
        e.subCat = kRscnSubCat;
        e.timeStamp = plat_tick_ms();
        e.dataCount = kRscnEventBytes / 4;
        return e;
    };
    std::vector<HbaMgmtEvent> out;
    const size_t total = bytes.size();
    HbaMgmtEvent first = base();
    memcpy(first.wwpn, port, 8);
    first.datasize = (uint16_t)total;
    memcpy(first.data, bytes.data(), std::min<size_t>(total, kRscnEventBytes));
    if (total <= kRscnEventBytes) {
        out.push_back(first);
        return out;
    }
    first.flags = kMarkFirst;
    out.push_back(first);
    size_t pos = std::min<size_t>(total, kRscnEventBytes);
    while (pos < total) {
        size_t n = std::min<size_t>(total - pos, kRscnWwpnBytes + kRscnEventBytes);
        HbaMgmtEvent e = base();
        // A continuation carries at least its 8 WWN-field bytes (zero padded).
        e.datasize = (uint16_t)std::max<size_t>(n, kRscnWwpnBytes);
        memcpy(e.wwpn, bytes.data() + pos, std::min<size_t>(n, kRscnWwpnBytes));
        if (n > kRscnWwpnBytes)
            memcpy(e.data, bytes.data() + pos + kRscnWwpnBytes, n - kRscnWwpnBytes);
        pos += n;
        e.flags = pos >= total ? kMarkLast : kMarkMiddle;
        out.push_back(e);
    }
    return out;
}

// 0x80000999: payload word 0 the category, word 1 the subcategory. The event
// is raised for the function's own port when it is switched on; the request
// is answered either way (ReturnCode 0).
uint32_t req_force_wmi_event(DrvRequest& r) {
    const uint32_t category = drv_rd32(r.payload);
    HbaMgmtEvent ev = {};
    ev.present = HBA_MGMT_HAS_INSTANCE | HBA_MGMT_HAS_WWPN | HBA_MGMT_HAS_SUBCAT |
                 HBA_MGMT_HAS_TIMESTAMP | HBA_MGMT_HAS_FLAGS | HBA_MGMT_HAS_DATASIZE |
                 HBA_MGMT_HAS_DATA;
    ev.subCat = drv_rd32(r.payload + 4);
    ev.timeStamp = plat_tick_ms();
    ev.dataCount = kRscnEventBytes / 4;
    uint8_t port[8] = {};
    bool read = drv_read_function(r, [&](const Adapter&, const Function& f) {
        parse_hex_bytes(f.attrs.get("wwpn"), port, 8);
    });
    if (!read) return PLAT_ERR_GEN_FAILURE;
    if (category != 8) memcpy(ev.wwpn, port, 8);
    if (wmi_raise(r.ref, category, port, ev) < 0) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = 0;
    return 0;
}

} // namespace hbasim
