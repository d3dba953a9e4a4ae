// The fleet parser: a fleet text becomes a machine with every default applied
// and every cross-check made, or an error naming the line.
#include <cstdio>
#include <cstring>
#include <set>

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"
#include "sim/core/target_list.h"

namespace hbasim {

// ---- schema lookup ----------------------------------------------------------

const AdapterKindDef* adapter_kind(const std::string& kind) {
    for (size_t i = 0; i < kAdapterKindCount; ++i)
        if (kind == kAdapterKinds[i].kind) return &kAdapterKinds[i];
    return nullptr;
}

static bool list_has(const char* list, const std::string& word) {
    const char* p = list;
    while (*p) {
        const char* e = strchr(p, ',');
        size_t n = e ? (size_t)(e - p) : strlen(p);
        if (word.size() == n && word.compare(0, n, p, n) == 0) return true;
        if (!e) break;
        p = e + 1;
    }
    return false;
}

static bool glob_eq(const std::string& pat, const std::string& word) {
    return pat == "*" || pat == word;
}

static bool kinds_match(const char* kinds, const std::string& akind, const std::string& fkind) {
    const char* p = kinds;
    while (*p) {
        const char* e = strchr(p, ',');
        std::string item(p, e ? (size_t)(e - p) : strlen(p));
        if (fkind.empty()) {
            if (glob_eq(item, akind)) return true;
        } else {
            size_t colon = item.find(':');
            if (colon == std::string::npos) {
                if (glob_eq(item, fkind)) return true;
            } else if (glob_eq(item.substr(0, colon), akind) &&
                       glob_eq(item.substr(colon + 1), fkind)) {
                return true;
            }
        }
        if (!e) break;
        p = e + 1;
    }
    return false;
}

const FleetKeyDef* fleet_key(const std::string& akind, const std::string& fkind,
                             const std::string& key) {
    const char* scope = fkind.empty() ? "adapter" : "function";
    for (size_t i = 0; i < kFleetSchemaCount; ++i) {
        const FleetKeyDef& d = kFleetSchema[i];
        if (key == d.key && strcmp(d.scope, scope) == 0 && kinds_match(d.kinds, akind, fkind))
            return &d;
    }
    return nullptr;
}

// ---- values -------------------------------------------------------------------

static const char* type_name(FleetType t) {
    switch (t) {
    case FT_NUM:
        return "a number (decimal or 0x hex)";
    case FT_BOOL:
        return "yes or no";
    case FT_WWN:
        return "a WWN (8 hex pairs separated by ':')";
    case FT_MAC:
        return "a MAC address (6 hex pairs separated by '-' or ':')";
    case FT_BYTES:
        return "hex digits";
    default:
        return "text";
    }
}

// Checks a value against the row's type and returns its canonical text.
static bool canonical_value(const FleetKeyDef& d, const std::string& v, std::string* out,
                            std::string* why) {
    switch (d.type) {
    case FT_STR:
        *out = v;
        return true;
    case FT_NUM: {
        uint64_t n;
        if (!parse_number(v, &n)) break;
        *out = v;
        return true;
    }
    case FT_BOOL: {
        static const char* yes[] = {"yes", "true", "on", "1"};
        static const char* no[] = {"no", "false", "off", "0"};
        for (const char* y : yes)
            if (strcasecmp(v.c_str(), y) == 0) return *out = "1", true;
        for (const char* n : no)
            if (strcasecmp(v.c_str(), n) == 0) return *out = "0", true;
        break;
    }
    case FT_WWN:
    case FT_MAC: {
        size_t n = d.type == FT_WWN ? 8 : 6;
        uint8_t b[8];
        if (!parse_hex_bytes(v, b, n)) break;
        if (d.type == FT_WWN && v.find('-') != std::string::npos) break;
        *out = format_hex_bytes(b, n, d.type == FT_WWN ? ':' : '-');
        return true;
    }
    case FT_BYTES: {
        if (v.size() % 2) break;
        std::string s;
        bool ok = true;
        for (char c : v) {
            if (hex_digit(c) < 0) ok = false;
            s += (char)toupper((unsigned char)c);
        }
        if (!ok) break;
        *out = s;
        return true;
    }
    case FT_CHOICE:
        if (d.choices) {
            std::string want = std::string("|") + d.choices + "|";
            if (!v.empty() && v.find('|') == std::string::npos &&
                want.find("|" + v + "|") != std::string::npos)
                return *out = v, true;
        }
        *why = std::string("bad value '") + v + "' for '" + d.key + "': expected one of " +
               (d.choices ? d.choices : "");
        for (char& c : *why)
            if (c == '|') c = ',';
        return false;
    }
    *why = std::string("bad value '") + v + "' for '" + d.key + "': expected " + type_name(d.type);
    return false;
}

// ---- derived defaults -------------------------------------------------------------

struct DeriveCtx {
    Machine* m;
    int ai;
    int fi; // -1 for adapter keys
    Adapter& a() const { return m->adapters[(size_t)ai]; }
    Function& f() const { return m->adapters[(size_t)ai].funcs[(size_t)fi]; }
};

static std::string hex_text(uint64_t v, int digits) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%0*llX", digits, (unsigned long long)v);
    return buf;
}

static std::string derive_serial(const DeriveCtx& c) {
    char buf[32];
    snprintf(buf, sizeof buf, "QS21%05d", c.ai + 1);
    return buf;
}
static std::string derive_pci_bus(const DeriveCtx& c) {
    return hex_text((uint64_t)(0x10 * (c.ai + 1)) & 0xFF, 2);
}
static std::string derive_fw_flash(const DeriveCtx& c) {
    return c.a().attrs.get("fw_active");
}
static std::string derive_ports(const DeriveCtx& c) {
    uint64_t n = 0;
    for (const Function& f : c.a().funcs)
        n = std::max(n, f.attrs.get_u("port") + 1);
    return std::to_string(n);
}
static std::string derive_pci_function(const DeriveCtx& c) {
    return std::to_string(c.fi);
}
static std::string derive_port(const DeriveCtx& c) {
    int n = 0;
    for (int i = 0; i < c.fi; ++i)
        if (c.a().funcs[(size_t)i].kind == c.f().kind) ++n;
    return std::to_string(n);
}
static std::string derive_subsys_id(const DeriveCtx& c) {
    return c.f().attrs.get("device_id");
}
static std::string derive_d_id(const DeriveCtx& c) {
    return hex_text(0x010000 + 0x100 * (c.f().attrs.get_u("scsi_port") + 1), 6);
}
static std::string derive_wwn(const DeriveCtx& c, uint8_t first, uint8_t second) {
    uint8_t b[8] = {first, second, 0x02, 0x1F, 0x3C, (uint8_t)(c.ai + 1), (uint8_t)c.fi, 0};
    return format_hex_bytes(b, 8, ':');
}
static std::string derive_wwpn(const DeriveCtx& c) {
    return derive_wwn(c, 0x10, 0x00);
}
static std::string derive_wwnn(const DeriveCtx& c) {
    return derive_wwn(c, 0x20, 0x00);
}
// A port with a loopback plug sees no switch: its fabric name is zero.
static std::string derive_fabric(const DeriveCtx& c) {
    if (c.f().attrs.get("loopback_plug") == "1") return "00:00:00:00:00:00:00:00";
    uint8_t b[8] = {0x20, 0x01, 0x02, 0x1F, 0x3C, 0xFA, 0x00, (uint8_t)c.f().attrs.get_u("port")};
    return format_hex_bytes(b, 8, ':');
}
// Two targets per port, with LUNs 0-3 and 0-1, at D_IDs outside the ports' own.
static std::string derive_targets(const DeriveCtx& c) {
    char buf[200];
    const unsigned a = (unsigned)(c.ai + 1) & 0xFF, f = (unsigned)c.fi & 0xFF;
    const unsigned area = (unsigned)((c.f().attrs.get_u("scsi_port") + 1) & 0xFF);
    snprintf(buf, sizeof buf,
             "50:02:1F:3C:%02X:%02X:00:01 did=0x02%02X01 luns=0-3; "
             "50:02:1F:3C:%02X:%02X:00:02 did=0x02%02X02 luns=0-1",
             a, f, area, a, f, area);
    return buf;
}
static std::string derive_drv_service(const DeriveCtx& c) {
    return c.f().attrs.get("driver_name").substr(0, 8);
}
static std::string derive_mac(const DeriveCtx& c) {
    uint8_t b[6] = {
        0x02, 0x1F, 0x3C, (uint8_t)(c.ai + 1), (uint8_t)c.fi, (uint8_t)c.f().attrs.get_u("port")};
    return format_hex_bytes(b, 6, '-');
}
static std::string derive_permanent_mac(const DeriveCtx& c) {
    return c.f().attrs.get("mac");
}

// Derive rules in the order they run (a rule may use keys derived above it).
// scsi_port is assigned separately, across the whole fleet.
struct DeriveRule {
    const char* scope;
    const char* key;
    std::string (*fn)(const DeriveCtx& c);
};
static const DeriveRule kDeriveRules[] = {
    {"adapter", "serial", derive_serial},
    {"adapter", "pci_bus", derive_pci_bus},
    {"adapter", "fw_flash", derive_fw_flash},
    {"function", "pci_function", derive_pci_function},
    {"function", "port", derive_port},
    {"function", "subsys_id", derive_subsys_id},
    {"function", "d_id", derive_d_id},
    {"function", "wwpn", derive_wwpn},
    {"function", "wwnn", derive_wwnn},
    {"function", "fabric_name", derive_fabric},
    {"function", "drv_service", derive_drv_service},
    {"function", "targets", derive_targets},
    {"function", "mac", derive_mac},
    {"function", "permanent_mac", derive_permanent_mac},
    {"adapter", "ports", derive_ports},
};

// ---- tokenizer ------------------------------------------------------------------

struct Token {
    std::string text;
    bool quoted = false;
    bool eq = false; // the '=' separator
};

// Splits a line into words, quoted strings and '=' signs; '#' outside quotes
// at the start of a word begins a comment.
static bool tokenize(const std::string& line, std::vector<Token>* out, std::string* why) {
    size_t i = 0, n = line.size();
    while (i < n) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '=') {
            Token t;
            t.eq = true;
            t.text = "=";
            out->push_back(t);
            ++i;
        } else if (c == '"') {
            Token t;
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < n) d = line[i++];
                t.text += d;
            }
            if (!closed) {
                *why = "unterminated quoted value";
                return false;
            }
            if (t.text.size() > kFleetValueMax) {
                *why = "value longer than " + std::to_string(kFleetValueMax) + " characters";
                return false;
            }
            out->push_back(t);
        } else {
            Token t;
            while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '=' && line[i] != '"')
                t.text += line[i++];
            if (t.text.size() > kFleetValueMax) {
                *why = "value longer than " + std::to_string(kFleetValueMax) + " characters";
                return false;
            }
            out->push_back(t);
        }
    }
    return true;
}

// ---- parser -----------------------------------------------------------------------

namespace {
struct Parser {
    Machine m;
    std::vector<int> adapterLine;
    std::vector<std::vector<int>> funcLine;
    std::vector<std::set<std::string>> adapterSet; // keys set by the fleet
    std::vector<std::vector<std::set<std::string>>> funcSet;
    FleetError* err;

    int fail(int line, const std::string& msg) {
        if (err) {
            err->line = line;
            err->message = msg;
        }
        return SIM_ERR_FLEET;
    }

    static bool valid_name(const std::string& s) {
        if (s.empty() || s.size() > 32) return false;
        for (char c : s)
            if (!isalnum((unsigned char)c) && c != '_') return false;
        return true;
    }

    int set_attr(int line, const std::string& key, const std::string& value) {
        if (m.adapters.empty()) return fail(line, "attribute '" + key + "' outside an adapter");
        Adapter& a = m.adapters.back();
        bool onFunc = !a.funcs.empty();
        const std::string fkind = onFunc ? a.funcs.back().kind : "";
        const FleetKeyDef* d = fleet_key(a.kind, fkind, key);
        if (!d) {
            if (onFunc)
                return fail(line, "unknown key '" + key + "' for a " + fkind + " function on a " +
                                      a.kind + " adapter");
            return fail(line, "unknown key '" + key + "' for a " + a.kind + " adapter");
        }
        std::string canon, why;
        if (!canonical_value(*d, value, &canon, &why)) return fail(line, why);
        std::set<std::string>& seen = onFunc ? funcSet.back().back() : adapterSet.back();
        if (!seen.insert(key).second) return fail(line, "key '" + key + "' set twice");
        Attrs& at = onFunc ? a.funcs.back().attrs : a.attrs;
        at.set(key, canon);
        return SIM_OK;
    }

    // Reads key = value triples from toks[from..].
    int attrs_from(int line, const std::vector<Token>& toks, size_t from) {
        size_t i = from;
        while (i < toks.size()) {
            if (toks[i].eq || toks[i].quoted) return fail(line, "expected 'key = value'");
            if (i + 1 >= toks.size() || !toks[i + 1].eq)
                return fail(line, "expected 'key = value' after '" + toks[i].text + "'");
            if (i + 2 >= toks.size() || toks[i + 2].eq)
                return fail(line, "missing value for '" + toks[i].text + "'");
            int rc = set_attr(line, toks[i].text, toks[i + 2].text);
            if (rc) return rc;
            i += 3;
        }
        return SIM_OK;
    }

    int line_(int line, const std::string& text) {
        std::vector<Token> toks;
        std::string why;
        if (!tokenize(text, &toks, &why)) return fail(line, why);
        if (toks.empty()) return SIM_OK;
        const Token& t0 = toks[0];
        if (!t0.quoted && t0.text == "adapter") {
            if (toks.size() < 3 || toks[1].eq || toks[2].eq)
                return fail(line, "expected 'adapter NAME KIND [key = value ...]'");
            const std::string& name = toks[1].text;
            const std::string& kind = toks[2].text;
            if (!valid_name(name))
                return fail(line,
                            "bad adapter name '" + name + "' (1 to 32 letters, digits or '_')");
            for (const Adapter& a : m.adapters)
                if (a.name == name) return fail(line, "duplicate adapter name '" + name + "'");
            if (!adapter_kind(kind)) {
                std::string kinds;
                for (size_t k = 0; k < kAdapterKindCount; ++k)
                    kinds += std::string(k ? ", " : "") + kAdapterKinds[k].kind;
                return fail(line, "unknown adapter kind '" + kind + "' (expected " + kinds + ")");
            }
            if (m.adapters.size() >= 64) return fail(line, "too many adapters (at most 64)");
            Adapter a;
            a.name = name;
            a.kind = kind;
            m.adapters.push_back(a);
            adapterLine.push_back(line);
            funcLine.emplace_back();
            adapterSet.emplace_back();
            funcSet.emplace_back();
            return attrs_from(line, toks, 3);
        }
        if (!t0.quoted && t0.text == "function") {
            if (toks.size() < 2 || toks[1].eq)
                return fail(line, "expected 'function KIND [key = value ...]'");
            if (m.adapters.empty()) return fail(line, "function outside an adapter");
            Adapter& a = m.adapters.back();
            const AdapterKindDef* ak = adapter_kind(a.kind);
            const std::string& kind = toks[1].text;
            if (!list_has(ak->functionKinds, kind))
                return fail(line, "function kind '" + kind + "' is not allowed on a " + a.kind +
                                      " adapter (allowed: " + ak->functionKinds + ")");
            if (a.funcs.size() >= 8)
                return fail(line, "too many functions (at most 8 per adapter)");
            Function f;
            f.kind = kind;
            a.funcs.push_back(f);
            funcLine.back().push_back(line);
            funcSet.back().emplace_back();
            return attrs_from(line, toks, 2);
        }
        return attrs_from(line, toks, 0);
    }

    void apply_defaults(Attrs& at, const std::string& akind, const std::string& fkind,
                        std::vector<std::string>* derived) {
        const char* scope = fkind.empty() ? "adapter" : "function";
        std::set<std::string> done;
        for (size_t i = 0; i < kFleetSchemaCount; ++i) {
            const FleetKeyDef& d = kFleetSchema[i];
            if (strcmp(d.scope, scope) != 0 || done.count(d.key)) continue;
            if (!kinds_match(d.kinds, akind, fkind)) continue;
            done.insert(d.key);
            if (at.has(d.key) || !d.def) continue;
            std::string canon, why;
            if (strcmp(d.def, "*") == 0)
                derived->push_back(d.key);
            else
                at.set(d.key, canonical_value(d, d.def, &canon, &why) ? canon : d.def);
        }
    }

    static bool wanted(const std::vector<std::string>& v, const char* key) {
        for (const auto& k : v)
            if (k == key) return true;
        return false;
    }

    int finish() {
        // Defaults, then derived values in rule order.
        std::vector<std::vector<std::string>> aDerived(m.adapters.size());
        std::vector<std::vector<std::vector<std::string>>> fDerived(m.adapters.size());
        for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
            Adapter& a = m.adapters[ai];
            if (a.funcs.empty())
                return fail(adapterLine[ai], "adapter '" + a.name + "' has no functions");
            apply_defaults(a.attrs, a.kind, "", &aDerived[ai]);
            fDerived[ai].resize(a.funcs.size());
            for (size_t fi = 0; fi < a.funcs.size(); ++fi)
                apply_defaults(a.funcs[fi].attrs, a.kind, a.funcs[fi].kind, &fDerived[ai][fi]);
        }
        // SCSI ports: explicit ones first, then one above the previous
        // driver-visible function, skipping numbers taken explicitly.
        std::map<uint64_t, int> taken; // port -> line
        for (size_t ai = 0; ai < m.adapters.size(); ++ai)
            for (size_t fi = 0; fi < m.adapters[ai].funcs.size(); ++fi) {
                Function& f = m.adapters[ai].funcs[fi];
                if (!func_driver_visible(f) || !f.attrs.has("scsi_port")) continue;
                uint64_t p = f.attrs.get_u("scsi_port");
                int line = funcLine[ai][fi];
                if (p > 255)
                    return fail(line, "scsi_port " + std::to_string(p) + " out of range 0-255");
                auto it = taken.find(p);
                if (it != taken.end())
                    return fail(line, "scsi_port " + std::to_string(p) + " already used at line " +
                                          std::to_string(it->second));
                taken[p] = line;
            }
        uint64_t next = 0;
        for (size_t ai = 0; ai < m.adapters.size(); ++ai)
            for (size_t fi = 0; fi < m.adapters[ai].funcs.size(); ++fi) {
                Function& f = m.adapters[ai].funcs[fi];
                if (!func_driver_visible(f)) continue;
                if (f.attrs.has("scsi_port")) {
                    next = f.attrs.get_u("scsi_port") + 1;
                    continue;
                }
                while (taken.count(next))
                    ++next;
                if (next > 255) return fail(funcLine[ai][fi], "no SCSI port number left (0-255)");
                f.attrs.set_u("scsi_port", next);
                taken[next] = funcLine[ai][fi];
                ++next;
            }
        for (const DeriveRule& r : kDeriveRules) {
            bool adapterScope = strcmp(r.scope, "adapter") == 0;
            for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
                Adapter& a = m.adapters[ai];
                if (adapterScope) {
                    if (wanted(aDerived[ai], r.key))
                        a.attrs.set(r.key, r.fn(DeriveCtx{&m, (int)ai, -1}));
                    continue;
                }
                for (size_t fi = 0; fi < a.funcs.size(); ++fi)
                    if (wanted(fDerived[ai][fi], r.key))
                        a.funcs[fi].attrs.set(r.key, r.fn(DeriveCtx{&m, (int)ai, (int)fi}));
            }
        }
        // Cross-checks within an adapter.
        for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
            const Adapter& a = m.adapters[ai];
            std::map<uint64_t, size_t> pciFn;
            std::map<std::string, size_t> kindPort;
            for (size_t fi = 0; fi < a.funcs.size(); ++fi) {
                const Function& f = a.funcs[fi];
                int line = funcLine[ai][fi];
                uint64_t pf = f.attrs.get_u("pci_function");
                uint64_t dev = f.attrs.get_u("pci_device");
                if (pf > 7)
                    return fail(line, "pci_function " + std::to_string(pf) + " out of range 0-7");
                if (dev > 31)
                    return fail(line, "pci_device " + std::to_string(dev) + " out of range 0-31");
                if (!pciFn.emplace(dev * 8 + pf, fi).second)
                    return fail(line, "PCI device " + std::to_string(dev) + " function " +
                                          std::to_string(pf) + " used twice on adapter '" + a.name +
                                          "'");
                std::string kp = f.kind + ":" + f.attrs.get("port");
                if (!kindPort.emplace(kp, fi).second)
                    return fail(line, "two " + f.kind + " functions on port " +
                                          f.attrs.get("port") + " of adapter '" + a.name + "'");
                if (f.attrs.get("drv_service").size() > 8)
                    return fail(line, "drv_service longer than 8 characters");
                std::vector<SimTarget> targets;
                std::string why;
                if (f.attrs.has("targets") &&
                    !parse_targets(f.attrs.get("targets"), &targets, &why))
                    return fail(line, "targets: " + why);
            }
            if (a.attrs.get_u("pci_bus") > 255)
                return fail(adapterLine[ai], "pci_bus out of range 0-255");
        }
        return SIM_OK;
    }
};
} // namespace

int parse_fleet(const std::string& text, Machine* out, FleetError* err) {
    Parser p;
    p.err = err;
    if (err) *err = FleetError{};
    size_t pos = 0;
    int line = 0;
    while (pos <= text.size()) {
        size_t e = text.find('\n', pos);
        if (e == std::string::npos) e = text.size();
        ++line;
        if (e > kFleetFileMax)
            return p.fail(line, "fleet text longer than " + std::to_string(kFleetFileMax / 1024) +
                                    " KiB");
        std::string l = text.substr(pos, e - pos);
        if (l.find('\0') != std::string::npos)
            return p.fail(line, "NUL character in the fleet text");
        int rc = p.line_(line, l);
        if (rc) return rc;
        pos = e + 1;
    }
    int rc = p.finish();
    if (rc) return rc;
    if (out) *out = std::move(p.m);
    return SIM_OK;
}

} // namespace hbasim
