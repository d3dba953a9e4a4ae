// Actions of the simulated NEXA tree. Each returns the last-status code and
// fills the last-status text; changes go to the adapter model through
// update_node, so they are on disk when the action returns.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/plat_files.h"
#include "sim/nexa/nexa_sim.h"

namespace nexasim {

using hbasim::Adapter;
using hbasim::Function;

namespace {

const char kOkText[] = "Success";

// Strict decimal parameter: digits only, within [lo, hi].
bool param_num(const std::string& s, long lo, long hi, long* out) {
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// A file the adapter hands to the host (a dump, a log): written whole under
// a temporary name, never through a link, readable by all.
bool write_saved_file(const std::string& path, const std::string& body) {
    PlatSaveFile save;
    return plat_save_begin(&save, path.c_str(), PLAT_MODE_SAVED) == PLAT_FILE_OK &&
           plat_save_write(&save, body.data(), body.size()) == PLAT_FILE_OK &&
           plat_save_commit(&save) == PLAT_FILE_OK;
}

int invalid(std::string* text, const char* what) {
    *text = std::string("Invalid value: ") + what;
    return NX_ERR_VALUE;
}

// Status of a node-level failure (the node went away, the state is unreadable).
int node_failure(int rc, std::string* text) {
    *text = rc == NX_ERR_GONE ? "The adapter or function is no longer present"
                              : "The adapter state cannot be read or written";
    return rc;
}

std::vector<std::string> split(const std::string& s, const char* seps) {
    std::vector<std::string> out;
    std::string cur;
    for (char ch : s) {
        if (strchr(seps, ch)) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// ---- controller -----------------------------------------------------------------

int a_reset_defaults(const NodeAddr& n, const ActionParams&, std::string* text) {
    int rc = update_node(n, [](Adapter& a, const NodeCtx&, bool* changed) {
        *changed = reset_nexa_settings(a);
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

// SetPersonality: p0 = one of the available personalities; it becomes the
// configured personality and the current one after a server reboot.
int a_set_personality(const NodeAddr& n, const ActionParams& p, std::string* text) {
    int rc = update_node(n, [&](Adapter& a, const NodeCtx&, bool* changed) {
        std::string avail = a.attrs.get("available_personalities");
        if (avail.empty() || !attr_true(a.attrs.get("personality_change", "1")))
            return NX_PERSONALITY_FIXED;
        bool known = false;
        for (const std::string& s : split(avail, "/"))
            known = known || s == p.p[0];
        if (!known) return NX_ERR_VALUE;
        if (a.attrs.get("configured_personality") != p.p[0]) {
            a.attrs.set("configured_personality", p.p[0]);
            *changed = true;
        }
        return NX_OK;
    });
    if (rc == NX_PERSONALITY_FIXED) {
        *text = "Personality change is not supported on this controller";
        return rc;
    }
    if (rc == NX_ERR_VALUE) return invalid(text, "personality");
    if (rc != NX_OK) return node_failure(rc, text);
    *text = "Personality " + p.p[0] + " configured; reboot to activate it";
    return NX_OK;
}

// ---- diagnostics ----------------------------------------------------------------

const char* const kLoopTypes[] = {"MacLoopBack", "PhyLoopBack", "OnePortLoopBack"};

bool loop_type(const std::string& s) {
    for (const char* t : kLoopTypes)
        if (s == t) return true;
    return false;
}

// Records the completed cycles of a test (read back as TotalCompleteCycles).
int finish_test(const NodeAddr& n, long cycles, const std::string& loopNeeded, std::string* text) {
    int rc = update_node(n, [&](Adapter& a, const NodeCtx&, bool* changed) {
        if (!loopNeeded.empty() && a.attrs.get("cna_loopback") != loopNeeded) return NX_ERR_VALUE;
        a.attrs.set_u("cna_test_cycles", (uint64_t)cycles);
        *changed = true;
        return NX_OK;
    });
    if (rc == NX_ERR_VALUE) return invalid(text, "the port is not in that loopback mode");
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

// HostToDDRDMATest: p0 pattern, p1 byte count (4-4096), p2 cycles (1-4096).
int a_dma_test(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long bytes = 0, cycles = 0;
    if (p.p[0].empty()) return invalid(text, "pattern");
    if (!param_num(p.p[1], 4, 4096, &bytes)) return invalid(text, "byte count");
    if (!param_num(p.p[2], 1, 4096, &cycles)) return invalid(text, "cycle count");
    return finish_test(n, cycles, "", text);
}

int port_param(const NodeAddr& n, const std::string& s, long* port) {
    if (!param_num(s, 0, 63, port)) return NX_ERR_VALUE;
    return with_node(
        n, [&](const NodeCtx& c) { return *port < port_count(*c.a) ? NX_OK : NX_ERR_VALUE; });
}

// EnterLoopBackMode: p0 source port, p1 destination port (the same), p2 type.
int a_enter_loopback(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long src = 0, dst = 0;
    if (port_param(n, p.p[0], &src) != NX_OK || port_param(n, p.p[1], &dst) != NX_OK || src != dst)
        return invalid(text, "port");
    if (!loop_type(p.p[2])) return invalid(text, "loopback type");
    std::string mode = std::to_string(src) + ":" + p.p[2];
    int rc = update_node(n, [&](Adapter& a, const NodeCtx&, bool* changed) {
        a.attrs.set("cna_loopback", mode);
        *changed = true;
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

// NetworkLoopBackTest: p0 pattern, p1 byte count (1-8192), p2 cycles (1-4096),
// p3 and p4 the port, p5 the loopback type the port was put in.
int a_loopback_test(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long bytes = 0, cycles = 0, src = 0, dst = 0;
    if (p.p[0].empty()) return invalid(text, "pattern");
    if (!param_num(p.p[1], 1, 8192, &bytes)) return invalid(text, "byte count");
    if (!param_num(p.p[2], 1, 4096, &cycles)) return invalid(text, "cycle count");
    if (port_param(n, p.p[3], &src) != NX_OK || port_param(n, p.p[4], &dst) != NX_OK || src != dst)
        return invalid(text, "port");
    if (!loop_type(p.p[5])) return invalid(text, "loopback type");
    return finish_test(n, cycles, std::to_string(src) + ":" + p.p[5], text);
}

// ExitLoopBackMode: p0 the port (p1 may repeat it). Leaving a port that is not
// in loopback succeeds.
int a_exit_loopback(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long port = 0;
    if (port_param(n, p.p[0], &port) != NX_OK) return invalid(text, "port");
    std::string prefix = std::to_string(port) + ":";
    int rc = update_node(n, [&](Adapter& a, const NodeCtx&, bool* changed) {
        if (a.attrs.get("cna_loopback").rfind(prefix, 0) == 0) {
            a.attrs.erase("cna_loopback");
            *changed = true;
        }
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

// RetrieveARMLog: p0 the file to create, p1 the memory kind (RAM, FLASH or DDR;
// empty means RAM). The file holds a text header naming the adapter and a
// block of simulated log data.
// RetrieveDump: p0 the file to create, p1 the memory kind (RAM, FLASH or
// DDR). The file holds a text header naming the adapter and the memory kind,
// then a block of simulated memory.
int a_retrieve_dump(const NodeAddr& n, const ActionParams& p, std::string* text) {
    if (p.p[0].empty()) return invalid(text, "file name");
    if (p.p[1] != "RAM" && p.p[1] != "FLASH" && p.p[1] != "DDR")
        return invalid(text, "memory kind");
    std::string body;
    int rc = with_node(n, [&](const NodeCtx& c) {
        body = "DUMP\nadapter=" + c.a->name + "\nmodel=" + c.a->attrs.get("model") +
               "\nmemory=" + p.p[1] + "\n";
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    for (int i = 0; i < 4096; ++i)
        body += (char)(i % 251);
    if (!write_saved_file(p.p[0], body)) {
        *text = "Unable to create " + p.p[0];
        return NX_ERR_FAILED;
    }
    *text = kOkText;
    return NX_OK;
}

int a_retrieve_arm_log(const NodeAddr& n, const ActionParams& p, std::string* text) {
    const std::string kind = p.p[1].empty() ? "RAM" : p.p[1];
    if (p.p[0].empty()) return invalid(text, "file name");
    if (kind != "RAM" && kind != "FLASH" && kind != "DDR") return invalid(text, "memory kind");
    std::string body;
    int rc = with_node(n, [&](const NodeCtx& c) {
        if (!attr_true(c.a->attrs.get("ext_fat_data", "1"))) return NX_NO_EXT_FAT_DATA;
        body = "EFD\nadapter=" + c.a->name + "\nmodel=" + c.a->attrs.get("model") +
               "\nserial=" + c.a->attrs.get("serial") +
               "\nfirmware=" + c.a->attrs.get("fw_active") + "\nmemory=" + kind + "\n";
        return NX_OK;
    });
    if (rc == NX_NO_EXT_FAT_DATA) {
        *text = "No extended FAT data";
        return rc;
    }
    if (rc != NX_OK) return node_failure(rc, text);
    for (int i = 0; i < 1024; ++i)
        body += (char)(i & 0xFF);
    if (!write_saved_file(p.p[0], body)) {
        *text = "Unable to create " + p.p[0];
        return NX_ERR_FAILED;
    }
    *text = kOkText;
    return NX_OK;
}

// ---- functions ------------------------------------------------------------------

// Dump<kind>PCIConfigRegion: p0 decimal byte offset, p1 byte count (1-64);
// the bytes come back in the status text as "%02x" separated by blanks.
int a_dump_pci(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long off = 0, count = 0;
    if (!param_num(p.p[0], 0, 255, &off)) return invalid(text, "offset");
    if (!param_num(p.p[1], 1, 64, &count) || off + count > 256) return invalid(text, "length");
    std::string out;
    int rc = with_node(n, [&](const NodeCtx& c) {
        static const char kHex[] = "0123456789abcdef";
        uint8_t cfg[256];
        hbasim::func_pci_config(*c.a, *c.f, cfg);
        for (long i = 0; i < count; ++i) {
            if (i) out += ' ';
            out += kHex[cfg[off + i] >> 4];
            out += kHex[cfg[off + i] & 15];
        }
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    *text = out;
    return NX_OK;
}

// ConfigureVLAN: p0 VLAN ID (0-4095), p1 priority (0-7).
int a_configure_vlan(const NodeAddr& n, const ActionParams& p, std::string* text) {
    long id = 0, prio = 0;
    if (!param_num(p.p[0], 0, 4095, &id)) return invalid(text, "VLAN ID");
    if (!param_num(p.p[1], 0, 7, &prio)) return invalid(text, "VLAN priority");
    int rc = update_node(n, [&](Adapter& a, const NodeCtx& c, bool* changed) {
        Function& f = a.funcs[(size_t)c.fidx];
        f.attrs.set_u("vlan_id", (uint64_t)id);
        f.attrs.set_u("vlan_priority", (uint64_t)prio);
        *changed = true;
        return NX_OK;
    });
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

// SetNetworkBoot: p0 "Enabled" or "Disabled"; p1 a method from
// AvailableNetworkBootMethods (any case), or empty / a single 0xFF byte to keep
// the current method.
int a_set_network_boot(const NodeAddr& n, const ActionParams& p, std::string* text) {
    if (p.p[0] != "Enabled" && p.p[0] != "Disabled") return invalid(text, "network boot state");
    bool keep = p.p[1].empty() || p.p[1] == "\xFF";
    int rc = update_node(n, [&](Adapter& a, const NodeCtx& c, bool* changed) {
        Function& f = a.funcs[(size_t)c.fidx];
        std::string method = f.attrs.get("netboot_method");
        if (!keep) {
            std::string found;
            for (const std::string& m : split(f.attrs.get("netboot_methods"), ",/ "))
                if (strcasecmp(m.c_str(), p.p[1].c_str()) == 0) found = m;
            if (found.empty()) return NX_ERR_VALUE;
            method = found;
        }
        f.attrs.set("netboot", p.p[0] == "Enabled" ? "1" : "0");
        f.attrs.set("netboot_method", method);
        *changed = true;
        return NX_OK;
    });
    if (rc == NX_ERR_VALUE) return invalid(text, "network boot method");
    if (rc != NX_OK) return node_failure(rc, text);
    *text = kOkText;
    return NX_OK;
}

const ActionRow kActions[] = {
    {NT_CTRL, 0, "UpgradeFlashROM", upgrade_flash_rom},
    {NT_CTRL, 0, "ResetFactoryDefaults", a_reset_defaults},
    {NT_PERSONALITY, 0, "SetPersonality", a_set_personality},
    {NT_DIAG, 0, "HostToDDRDMATest", a_dma_test},
    {NT_DIAG, 0, "EnterLoopBackMode", a_enter_loopback},
    {NT_DIAG, 0, "NetworkLoopBackTest", a_loopback_test},
    {NT_DIAG, 0, "ExitLoopBackMode", a_exit_loopback},
    {NT_EXTFAT, 0, "RetrieveARMLog", a_retrieve_arm_log},
    {NT_CTRL, 0, "RetrieveDump", a_retrieve_dump},
    {NT_PCI, FK_NIC, "DumpNICPCIConfigRegion", a_dump_pci},
    {NT_PCI, FK_ISCSI, "DumpiSCSIPCIConfigRegion", a_dump_pci},
    {NT_NETBOOT, 0, "ConfigureVLAN", a_configure_vlan},
    {NT_NETBOOT, 0, "SetNetworkBoot", a_set_network_boot},
};
const size_t kActionCount = sizeof(kActions) / sizeof(kActions[0]);

} // namespace

const ActionRow* find_action(const NodeAddr& n, const char* name) {
    for (const ActionRow& r : kActions)
        if (r.node == n.type && (r.fkinds == 0 || (r.fkinds & n.fkind) != 0) &&
            strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

const ActionRow* action_row(int index) {
    return index >= 0 && (size_t)index < kActionCount ? &kActions[index] : nullptr;
}

int action_index(const ActionRow* row) {
    return (int)(row - kActions);
}

} // namespace nexasim
