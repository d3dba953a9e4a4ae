// What a server reboot does to each adapter, one rule per row. reboot_machine
// applies every rule to every adapter under the adapter's lock.
//
// How to add a rule: write a function `static bool name(Adapter& a)` that
// changes the adapter as a reboot would and returns true when it changed
// anything, and append a row {"what it does", name} to kRebootRules under a
// comment naming your subsystem.
#include <cstdio>
#include <cstring>

#include "platform/plat_registry.h"
#include "sim/core/sim_model.h"

namespace hbasim {

// ---- link model (shared with the driver's reset and link commands) ----
static const char* const kLinkViewKeys[] = {"link", "port_state", "fabric_name"};
static const char kAbsent[] = "-";

static void save_key(Function& f, const char* key) {
    std::string saved = std::string("saved_") + key;
    if (!f.attrs.has(saved)) f.attrs.set(saved, f.attrs.has(key) ? f.attrs.get(key) : kAbsent);
}

void link_set_view(Function& f, bool up, bool loop) {
    for (const char* k : kLinkViewKeys)
        save_key(f, k);
    f.attrs.set("link", up ? "up" : "down");
    f.attrs.set("port_state", up ? "2" : "6");
    std::string fabric = f.attrs.get("saved_fabric_name");
    if (loop)
        f.attrs.set("fabric_name", "00:00:00:00:00:00:00:00");
    else if (fabric == kAbsent)
        f.attrs.erase("fabric_name");
    else
        f.attrs.set("fabric_name", fabric);
}

bool link_restore(Function& f) {
    bool changed = false;
    for (const char* k : kLinkViewKeys) {
        std::string saved = std::string("saved_") + k;
        if (!f.attrs.has(saved)) continue;
        std::string v = f.attrs.get(saved);
        if (v == kAbsent)
            f.attrs.erase(k);
        else
            f.attrs.set(k, v);
        f.attrs.erase(saved);
        changed = true;
    }
    return changed;
}

// Value of the PersistLnkDn item at the start of an item of the list, or -1.
static int persist_item(const char* s) {
    static const char kItem[] = "PersistLnkDn=";
    const char* p = s;
    while (*p) {
        if (strncmp(p, kItem, sizeof kItem - 1) == 0) return p[sizeof kItem - 1] == '1' ? 1 : 0;
        const char* semi = strchr(p, ';');
        if (!semi) break;
        p = semi + 1;
    }
    return -1;
}

bool link_persist_configured(const Function& f) {
    uint8_t w[8];
    if (!parse_hex_bytes(f.attrs.get("wwpn"), w, 8)) return false;
    char path[160];
    snprintf(path, sizeof path,
             "SYSTEM\\CurrentControlSet\\Services\\%.8s\\Parameters\\"
             "%02x%02x%02x%02x%02x%02x%02x%02x",
             f.attrs.get("drv_service").c_str(), w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
    PlatRegKey key = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, path, &key) != PLAT_REG_OK) return false;
    char text[2049];
    uint32_t type = 0, size = sizeof text - 1;
    int32_t rs = plat_reg_query_value(key, "Parameters", &type, text, &size);
    plat_reg_close_key(key);
    if (rs != PLAT_REG_OK) return false;
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    return persist_item(text) == 1;
}

bool link_restart(Function& f) {
    std::string before = f.attrs.get("loopback") + "|" + f.attrs.get("persist_down");
    for (const char* k : kLinkViewKeys) {
        before += '|';
        before += f.attrs.get(k);
    }
    bool changed = link_restore(f);
    if (f.attrs.has("loopback")) {
        f.attrs.erase("loopback");
        changed = true;
    }
    if (func_driver_visible(f)) {
        bool persist = link_persist_configured(f);
        f.attrs.set("persist_down", persist ? "1" : "0");
        if (persist) link_set_view(f, false, false);
    }
    std::string after = f.attrs.get("loopback") + "|" + f.attrs.get("persist_down");
    for (const char* k : kLinkViewKeys) {
        after += '|';
        after += f.attrs.get(k);
    }
    return changed || before != after;
}

// Loopback ends and persistent link down is read again from the registry.
static bool link_model_restarts(Adapter& a) {
    bool changed = false;
    for (Function& f : a.funcs)
        if (func_driver_visible(f)) changed |= link_restart(f);
    return changed;
}

// The firmware on flash becomes the running firmware.
static bool flash_becomes_active(Adapter& a) {
    if (!a.attrs.has("fw_flash") || a.attrs.get("fw_flash") == a.attrs.get("fw_active"))
        return false;
    a.attrs.set("fw_active", a.attrs.get("fw_flash"));
    return true;
}

// Settings that live only until a reboot: every attribute whose key starts
// with "volatile_" (volatile WWNs, volatile MAC addresses ...).
static bool drop_volatile(Adapter& a) {
    bool changed = false;
    auto drop = [&](Attrs& at) {
        for (auto it = at.kv.begin(); it != at.kv.end();) {
            if (it->first.rfind("volatile_", 0) == 0) {
                it = at.kv.erase(it);
                changed = true;
            } else {
                ++it;
            }
        }
    };
    drop(a.attrs);
    for (Function& f : a.funcs)
        drop(f.attrs);
    return changed;
}

// The driver reads fresh port data after a reboot.
static bool clear_stale(Adapter& a) {
    bool changed = false;
    for (Function& f : a.funcs)
        if (f.attrs.get("stale_attrs") == "1") {
            f.attrs.set("stale_attrs", "0");
            changed = true;
        }
    return changed;
}

// ---- authentication ----
// The driver's authentication pairs and its switch live in its memory: a
// restarted driver starts with none (the library replays its copies).
static bool auth_memory_clears(Adapter& a) {
    bool changed = false;
    for (Function& f : a.funcs) {
        changed |= f.blobs.erase("auth_pairs") != 0;
        if (f.attrs.has("auth_enabled")) {
            f.attrs.erase("auth_enabled");
            changed = true;
        }
    }
    return changed;
}

// ---- NEXA (converged adapters) ----
// The configured personality becomes current, a semi-volatile MAC becomes the
// function's current MAC, and the diagnostics' loopback mode and last test
// result end.
static bool nexa_restarts(Adapter& a) {
    bool changed = false;
    if (a.attrs.has("configured_personality")) {
        a.attrs.set("personality", a.attrs.get("configured_personality"));
        a.attrs.erase("configured_personality");
        changed = true;
    }
    for (const char* k : {"cna_loopback", "cna_test_cycles"})
        if (a.attrs.has(k)) {
            a.attrs.erase(k);
            changed = true;
        }
    for (Function& f : a.funcs)
        if (f.attrs.has("sv_mac") && f.attrs.get("sv_mac") != f.attrs.get("mac")) {
            f.attrs.set("mac", f.attrs.get("sv_mac"));
            changed = true;
        }
    return changed;
}

// ---- adapter firmware of the FC mailbox layer ----
// An expansion ROM load or an object write cut short by the reboot starts over.
static bool firmware_operations_restart(Adapter& a) {
    bool changed = false;
    for (Function& f : a.funcs)
        for (const char* k : {"exprom_phase", "exprom_polls", "prg_header"})
            if (f.attrs.has(k)) {
                f.attrs.erase(k);
                changed = true;
            }
    return changed;
}

// ---- factory defaults of SLI-4 adapters ----
// An accepted factory-defaults request takes effect: the boot regions are
// cleared, the NV names become the factory address (node name with 0x20 in
// its first byte), volatile names go; security keys are kept.
static bool factory_image_applies(Adapter& a) {
    if (a.attrs.get("factory_pending") != "1") return false;
    a.attrs.erase("factory_pending");
    for (Function& f : a.funcs) {
        for (const char* r : {"8", "9", "10"}) {
            f.blobs.erase(std::string("region") + r);
            f.attrs.erase(std::string("region_") + r);
        }
        f.blobs.erase("region0");
        f.attrs.erase("volatile_nv");
        if (!f.attrs.has("factory_wwn")) continue;
        std::string factory = f.attrs.get("factory_wwn");
        f.attrs.set("wwpn", factory);
        if (factory.size() >= 2) f.attrs.set("wwnn", "20" + factory.substr(2));
    }
    return true;
}

// ---- LUN masking: masks the driver applied are gone at a restart; the fleet's
// (kept in "saved_targets" and "saved_hba_unmask" by the first mask request)
// come back. Masks kept in the filter's registry stay where they are.
static bool driver_masks_drop(Adapter& a) {
    bool changed = false;
    for (Function& f : a.funcs)
        for (const char* key : {"targets", "hba_unmask"}) {
            const std::string saved = std::string("saved_") + key;
            if (!f.attrs.has(saved)) continue;
            f.attrs.set(key, f.attrs.get(saved));
            f.attrs.erase(saved);
            changed = true;
        }
    return changed;
}

const RebootRule kRebootRules[] = {
    // ---- simulator core ----
    {"flashed firmware becomes active", flash_becomes_active},
    {"volatile settings are dropped", drop_volatile},
    {"stale port data is refreshed", clear_stale},
    // ---- link model ----
    {"loopback ends, persistent link down is read from the registry", link_model_restarts},
    // ---- authentication ----
    {"the driver's authentication pairs and switch are dropped", auth_memory_clears},
    // ---- adapter firmware of the FC mailbox layer ----
    {"interrupted expansion ROM loads and object writes start over", firmware_operations_restart},
    // ---- NEXA ----
    {"configured personality and semi-volatile MAC become current, CNA loopback ends",
     nexa_restarts},
    // ---- factory defaults ----
    {"an accepted factory-defaults request applies the factory image", factory_image_applies},
    // ---- LUN masking ----
    {"masks the driver applied are dropped", driver_masks_drop},
};
const size_t kRebootRuleCount = sizeof(kRebootRules) / sizeof(kRebootRules[0]);

} // namespace hbasim
