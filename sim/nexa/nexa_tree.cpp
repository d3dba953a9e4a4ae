// The node tree of the simulated NEXA library over the simulated machine.
// Converged adapters are the Corevane<n> nodes (n = position among the
// converged adapters); their NIC and iSCSI functions, physical ports and the
// fixed child nodes hang below them. Nodes are bound to a fresh snapshot of
// their adapter on every call, so a node whose adapter or function has gone
// answers NX_ERR_GONE instead of stale data.
#include <cstdio>
#include <cstring>

#include "sim/nexa/nexa_sim.h"

namespace nexasim {

using hbasim::Adapter;
using hbasim::Function;

namespace {

// Child nodes: fixed names and instance classes.
struct ChildRow {
    NodeType parent;
    int fkinds; // parent function kinds that have the child (0 = any)
    const char* name;
    NodeType child;
    bool isClass;
    int setFkind; // function kind the child node stands for (class rows)
    int variant;
};

const ChildRow kChildren[] = {
    {NT_ROOT, 0, "Corevane", NT_CTRL, true, FK_NONE, 0},
    {NT_CTRL, 0, "NICPhysicalHBA", NT_FUNC, true, FK_NIC, 0},
    {NT_CTRL, 0, "iSCSIPhysicalHBA", NT_FUNC, true, FK_ISCSI, 0},
    {NT_CTRL, 0, "PortDiscoveryAndConfiguration", NT_PORT, true, FK_NONE, 0},
    {NT_CTRL, 0, "LogicalHBA", NT_LOGICAL, true, FK_NONE, 0},
    {NT_CTRL, 0, "OEM", NT_OEM, false, FK_NONE, 0},
    {NT_CTRL, 0, "FATData", NT_FATDATA, false, FK_NONE, 0},
    {NT_CTRL, 0, "NICCIM", NT_NICCIM, false, FK_NONE, 0},
    {NT_CTRL, 0, "NCSI", NT_NCSI, false, FK_NONE, 0},
    {NT_CTRL, 0, "Personality", NT_PERSONALITY, false, FK_NONE, 0},
    {NT_CTRL, 0, "Diagnostics", NT_DIAG, false, FK_NONE, 0},
    {NT_CTRL, 0, "ExtFATData", NT_EXTFAT, false, FK_NONE, 0},
    {NT_CTRL, 0, "VPD", NT_VPD, false, FK_NONE, 0},
    {NT_CTRL, 0, "ProfileManagement", NT_PM, false, FK_NONE, 0},
    {NT_PM, 0, "ActiveProfile", NT_PM_ACTIVE, false, FK_NONE, 0},
    {NT_PM_ACTIVE, 0, "Port", NT_PM_PORT, true, FK_NONE, 0},
    {NT_PM_PORT, 0, "Function", NT_PM_FUNC, true, FK_NONE, 0},
    {NT_FUNC, 0, "PCI", NT_PCI, false, FK_NONE, 0},
    {NT_FUNC, 0, "Driver", NT_DRIVER, false, FK_NONE, 0},
    {NT_FUNC, 0, "VPD", NT_VPD, false, FK_NONE, 0},
    {NT_FUNC, 0, "Network", NT_NETWORK, false, FK_NONE, 0},
    {NT_FUNC, FK_NIC, "CIM", NT_CIM, false, FK_NONE, 0},
    {NT_FUNC, FK_NIC, "vNIC", NT_VNIC, false, FK_NONE, 0},
    {NT_FUNC, FK_NIC, "NetworkBootConfiguration", NT_NETBOOT, false, FK_NONE, 0},
    {NT_NETWORK, 0, "NICConfiguration", NT_NICCONF, false, FK_NONE, 0},
    {NT_NICCONF, 0, "vNIC", NT_VNIC, false, FK_NONE, 1},
};

const char* kind_name(int fkind) {
    return fkind == FK_NIC ? "nic" : "iscsi";
}

bool row_applies(const ChildRow& r, const NodeAddr& parent) {
    return r.parent == parent.type && (r.fkinds == 0 || (r.fkinds & parent.fkind) != 0);
}

// Parses the decimal instance number after the class name: digits only, no
// sign and no leading zero, within int range.
bool parse_instance(const char* s, int* out) {
    if (!*s) return false;
    if (s[0] == '0' && s[1] != '\0') return false;
    long long v = 0;
    for (const char* p = s; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 0x7FFFFFFF) return false;
    }
    *out = (int)v;
    return true;
}

int bind(const NodeAddr& n, const Adapter& a, int adapter, NodeCtx* c) {
    c->addr = &n;
    c->adapter = adapter;
    c->a = &a;
    if (n.fkind != FK_NONE) {
        int fi = function_of_kind(a, n.fkind, n.func);
        if (fi < 0) return NX_ERR_GONE;
        c->fidx = fi;
        c->f = &a.funcs[(size_t)fi];
        c->port = (int)c->f->attrs.get_u("port");
    }
    if (n.port >= 0) {
        if (n.port >= port_count(a)) return NX_ERR_GONE;
        c->port = n.port;
    }
    if (n.pmfunc >= 0) {
        std::vector<int> on = functions_on_port(a, n.port);
        if ((size_t)n.pmfunc >= on.size()) return NX_ERR_GONE;
        c->fidx = on[(size_t)n.pmfunc];
        c->f = &a.funcs[(size_t)c->fidx];
    }
    if (n.type == NT_LOGICAL) return NX_ERR_GONE;
    return NX_OK;
}

} // namespace

int function_of_kind(const Adapter& a, int fkind, int instance) {
    if (instance < 0) return -1;
    const char* kind = kind_name(fkind);
    int seen = 0;
    for (size_t i = 0; i < a.funcs.size(); ++i)
        if (a.funcs[i].kind == kind && seen++ == instance) return (int)i;
    return -1;
}

int count_of_kind(const Adapter& a, int fkind) {
    const char* kind = kind_name(fkind);
    int n = 0;
    for (const Function& f : a.funcs)
        if (f.kind == kind) ++n;
    return n;
}

int port_count(const Adapter& a) {
    uint64_t n = a.attrs.get_u("ports");
    return n > 64 ? 64 : (int)n;
}

std::vector<int> functions_on_port(const Adapter& a, int port) {
    std::vector<int> out;
    for (size_t i = 0; i < a.funcs.size(); ++i)
        if ((int)a.funcs[i].attrs.get_u("port", 0xFFFF) == port) out.push_back((int)i);
    return out;
}

namespace {

// The converged adapters of the machine index, rebuilt only when the index
// changes (every node of every call needs them). Callers hold the library lock.
const std::vector<int>* converged_list() {
    static uint64_t version = 0;
    static std::vector<int> list;
    uint64_t now = hbasim::machine_version();
    if (now == 0) return nullptr;
    if (now != version) {
        std::vector<std::string> kinds;
        if (hbasim::adapter_kinds(&kinds) != hbasim::SIM_OK) return nullptr;
        list.clear();
        for (size_t i = 0; i < kinds.size(); ++i) {
            const hbasim::AdapterKindDef* k = hbasim::adapter_kind(kinds[i]);
            if (!k || !k->converged) continue;
            // An adapter whose state file is damaged is left out (named once
            // on standard error), so the healthy ones are still listed.
            int rc = hbasim::read_adapter((int)i, [](const Adapter&) {});
            if (rc == hbasim::SIM_ERR_CORRUPT)
                hbasim::report_damaged_once("hbasim NEXA");
            else
                list.push_back((int)i);
        }
        version = now;
    }
    return &list;
}

} // namespace

int converged_adapters(std::vector<int>* out) {
    out->clear();
    const std::vector<int>* list = converged_list();
    if (!list) return NX_ERR_STATE;
    *out = *list;
    return NX_OK;
}

int node_adapter(const NodeAddr& n, int* adapter) {
    *adapter = -1;
    if (n.type == NT_ROOT) return NX_OK;
    const std::vector<int>* list = converged_list();
    if (!list) return NX_ERR_STATE;
    if (n.ctrl < 0 || (size_t)n.ctrl >= list->size()) return NX_ERR_GONE;
    *adapter = (*list)[(size_t)n.ctrl];
    return NX_OK;
}

int with_node(const NodeAddr& n, const std::function<int(const NodeCtx&)>& fn) {
    if (n.type == NT_ROOT) {
        NodeCtx c;
        c.addr = &n;
        return fn(c);
    }
    int adapter = -1;
    int rc = node_adapter(n, &adapter);
    if (rc != NX_OK) return rc;
    int out = NX_ERR_GONE;
    int src = hbasim::read_adapter(adapter, [&](const Adapter& a) {
        NodeCtx c;
        out = bind(n, a, adapter, &c);
        if (out == NX_OK) out = fn(c);
    });
    if (src != hbasim::SIM_OK) return src == hbasim::SIM_ERR_NOT_FOUND ? NX_ERR_GONE : NX_ERR_STATE;
    return out;
}

int update_node(const NodeAddr& n, const std::function<int(Adapter&, const NodeCtx&, bool*)>& fn) {
    int adapter = -1;
    int rc = node_adapter(n, &adapter);
    if (rc != NX_OK) return rc;
    if (adapter < 0) return NX_ERR_READ_ONLY;
    int out = NX_ERR_GONE;
    int src = hbasim::update_adapter(adapter, [&](Adapter& a) {
        NodeCtx c;
        out = bind(n, a, adapter, &c);
        if (out != NX_OK) return false;
        bool changed = false;
        out = fn(a, c, &changed);
        return out == NX_OK && changed;
    });
    if (src != hbasim::SIM_OK) return src == hbasim::SIM_ERR_NOT_FOUND ? NX_ERR_GONE : NX_ERR_STATE;
    return out;
}

int child_node(const NodeAddr& parent, const char* name, NodeAddr* child) {
    for (const ChildRow& r : kChildren) {
        if (!row_applies(r, parent)) continue;
        NodeAddr c = parent;
        c.type = r.child;
        c.variant = r.variant;
        if (!r.isClass) {
            if (strcmp(name, r.name) != 0) continue;
            *child = c;
            return NX_OK;
        }
        size_t len = strlen(r.name);
        int inst = 0;
        if (strncmp(name, r.name, len) != 0 || !parse_instance(name + len, &inst)) continue;
        switch (r.child) {
        case NT_CTRL:
            c.ctrl = inst;
            break;
        case NT_FUNC:
            c.fkind = r.setFkind;
            c.func = inst;
            break;
        case NT_PORT:
        case NT_PM_PORT:
            c.port = inst;
            break;
        case NT_PM_FUNC:
            c.pmfunc = inst;
            break;
        default:
            return NX_ERR_NOT_FOUND; // LogicalHBA: never present
        }
        // The instance must exist in the machine now.
        int rc = with_node(c, [](const NodeCtx&) { return NX_OK; });
        if (rc == NX_ERR_GONE) return NX_ERR_NOT_FOUND;
        if (rc != NX_OK) return rc;
        *child = c;
        return NX_OK;
    }
    return NX_ERR_NOT_FOUND;
}

int class_instances(const NodeAddr& parent, const char* cls, std::vector<int>* out) {
    out->clear();
    const ChildRow* row = nullptr;
    for (const ChildRow& r : kChildren)
        if (r.isClass && row_applies(r, parent) && strcmp(cls, r.name) == 0) row = &r;
    if (!row) return NX_ERR_NOT_FOUND;
    if (row->child == NT_CTRL) {
        std::vector<int> conv;
        int rc = converged_adapters(&conv);
        for (size_t i = 0; rc == NX_OK && i < conv.size(); ++i)
            out->push_back((int)i);
        return rc;
    }
    return with_node(parent, [&](const NodeCtx& c) {
        int n = 0;
        switch (row->child) {
        case NT_FUNC:
            n = count_of_kind(*c.a, row->setFkind);
            break;
        case NT_PORT:
        case NT_PM_PORT:
            n = port_count(*c.a);
            break;
        case NT_PM_FUNC:
            n = (int)functions_on_port(*c.a, c.port).size();
            break;
        default:
            n = 0;
            break;
        }
        for (int i = 0; i < n; ++i)
            out->push_back(i);
        return NX_OK;
    });
}

} // namespace nexasim
