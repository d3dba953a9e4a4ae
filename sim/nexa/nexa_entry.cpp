// The eight entry points of the simulated NEXA library.
//
// Tags: 0 is the root; every node, property and action that is looked up gets
// a positive tag that stays the same for the life of the process (the same
// path or name under the same node always gives the same tag). A property or
// action tag is valid only with the node tag it was looked up under.
//
// Last status: every action and every failed call sets it; successful calls
// that are not actions leave it as it was. Every call returns its status: 0 on
// success, otherwise the code it left in the last status.
//
// Every call is journalled (source "nexa") and checked against the injected
// faults with the match "<call>:<name>" ("init", "exit", "get_last_status",
// "get_node_tag:<name>", "get_property_val:<property>",
// "set_property_val:<property>", "get_valid_instances:<class>",
// "do_action:<action>") and the machine adapter index of the node (-1 at the
// root). A fault action "rc=N" (or "status=N") makes the call answer N, "fail"
// answers 1; "stale" on an action answers 1 and leaves the last status as it
// was.
//
// Each call checks the machine's state files against the disk once (a
// ReadScope around the call), so a change made by another process between two
// calls is seen by the second, and one call costs one check however many
// nodes it touches.
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "interfaces/nexa.h"
#include "platform/plat_backend.h"
#include "sim/nexa/nexa_sim.h"

using namespace nexasim;

namespace {

const size_t kNameMax = 255;
const size_t kStatusTextMax = NEXA_STATUS_TEXT_SIZE - 1;

struct TagRec {
    int kind;
    int node; // property/action: the node tag it was looked up under
    int row;  // property/action: its table row
    NodeAddr addr;
};

std::mutex g_mu;
bool g_up = false;
int g_code = 0;
std::string g_text;
std::vector<TagRec> g_tags; // index = tag
// Identity of a tag: a node by its address; a property or action by its kind,
// the node tag it was looked up under and its table row.
using TagKey = std::array<int, 8>;
std::map<TagKey, int> g_tagByKey;

TagKey node_tag_key(const NodeAddr& n) {
    return {NEXA_KIND_NODE, (int)n.type, n.ctrl, n.fkind, n.func, n.port, n.pmfunc, n.variant};
}
TagKey member_tag_key(int kind, int node, int row) {
    return {kind, node, row, 0, 0, 0, 0, 0};
}

// The simulated converged adapters live beside the simulated driver only.
// When another driver backend is chosen (a real server's), the library shows
// no controllers, so real FC ports and simulated converged adapters never
// appear in one listing.
bool other_driver_backend() {
    return !plat_dev_backend_simulated();
}

void set_status(int code, const std::string& text) {
    g_code = code;
    g_text = text.substr(0, kStatusTextMax);
}

// Journals one call. Every call comes here, so the line is put together by
// hand: the formats use only %d (int) and %s (text); anything else after a '%'
// is copied as it stands. Lines longer than the buffer are cut.
__attribute__((format(printf, 1, 2))) void note(const char* fmt, ...) {
    if (!g_up || other_driver_backend()) return;
    char line[768];
    size_t n = 0;
    auto put = [&](const char* s, size_t len) {
        if (len > sizeof line - 1 - n) len = sizeof line - 1 - n;
        memcpy(line + n, s, len);
        n += len;
    };
    va_list ap;
    va_start(ap, fmt);
    for (const char* p = fmt; *p;) {
        const char* pct = strchr(p, '%');
        if (!pct) {
            put(p, strlen(p));
            break;
        }
        put(p, (size_t)(pct - p));
        p = pct + 1;
        if (*p == 'd') {
            char num[16];
            std::to_chars_result r = std::to_chars(num, num + sizeof num, va_arg(ap, int));
            put(num, (size_t)(r.ptr - num));
            ++p;
        } else if (*p == 's') {
            const char* s = va_arg(ap, const char*);
            if (!s) s = "(null)";
            put(s, strlen(s));
            ++p;
        } else {
            put("%", 1);
        }
    }
    va_end(ap);
    hbasim::journal("nexa", std::string(line, n));
}

// A parameter that names an open descriptor (a caller's sealed copy of a
// file, "/proc/self/fd/N") is journalled as what it refers to, so the journal
// names the file flashed.
std::string journal_path(const std::string& p) {
    if (p.compare(0, 14, "/proc/self/fd/") != 0) return p;
    char target[512];
    ssize_t n = readlink(p.c_str(), target, sizeof target - 1);
    if (n <= 0) return p;
    std::string t(target, (size_t)n);
    const std::string deleted = " (deleted)";
    if (t.size() > deleted.size() &&
        t.compare(t.size() - deleted.size(), deleted.size(), deleted) == 0)
        t.resize(t.size() - deleted.size());
    return t;
}

const char* default_text(int code) {
    switch (code) {
    case NX_ERR_FAILED:
        return "The request failed";
    case NX_ERR_NOT_INIT:
        return "NEXA is not initialised";
    case NX_ERR_ARG:
        return "Invalid argument";
    case NX_ERR_NOT_FOUND:
        return "No such node, property, action or class";
    case NX_ERR_BAD_TAG:
        return "Invalid tag";
    case NX_ERR_VALUE:
        return "Invalid value";
    case NX_ERR_UNSET:
        return "The property has no value";
    case NX_ERR_READ_ONLY:
        return "The property is read-only";
    case NX_ERR_CAPACITY:
        return "More instances than the array holds";
    case NX_ERR_STATE:
        return "The adapter state cannot be read or written";
    case NX_ERR_GONE:
        return "The adapter or function is no longer present";
    case NX_ERR_BUSY:
        return "NEXA cannot serve the request now";
    case NX_NO_AVAILABLE_PERSONALITIES:
        return "Available personalities cannot be read";
    case NX_NO_CONFIGURED_PERSONALITY:
        return "Configured personality cannot be read";
    default:
        return "The request failed";
    }
}

// Records a failure in the last status and returns its code.
int fail(int code, const std::string& detail = "") {
    std::string text = default_text(code);
    if (!detail.empty()) text += ": " + detail;
    set_status(code, text);
    return code;
}

// The status an injected fault forces on this call, 0 when none fires. With
// stale given, the action "stale" fails the call (1) and sets *stale: the
// caller then leaves the last status as it was.
int injected(const std::string& match, int adapter, bool* stale = nullptr) {
    if (other_driver_backend()) return 0; // faults belong to the simulated machine
    std::string act = hbasim::fault_check("nexa", match, adapter);
    if (act.empty()) return 0;
    if (act == "fail") return NX_ERR_FAILED;
    if (act == "stale" && stale) {
        *stale = true;
        return NX_ERR_FAILED;
    }
    const char* num = nullptr;
    if (act.rfind("rc=", 0) == 0) num = act.c_str() + 3;
    if (act.rfind("status=", 0) == 0) num = act.c_str() + 7;
    if (!num) return 0;
    char* end = nullptr;
    long v = strtol(num, &end, 0);
    return end != num && v > 0 && v < 0x7FFFFFFF ? (int)v : 0;
}

void ensure_root() {
    if (!g_tags.empty()) return;
    TagRec root{NEXA_KIND_NODE, -1, -1, NodeAddr{}};
    g_tags.push_back(root);
    g_tagByKey[node_tag_key(root.addr)] = 0;
}

int intern(const TagKey& key, const TagRec& rec) {
    auto it = g_tagByKey.find(key);
    if (it != g_tagByKey.end()) return it->second;
    int tag = (int)g_tags.size();
    g_tags.push_back(rec);
    g_tagByKey[key] = tag;
    return tag;
}

const TagRec* node_rec(int tag) {
    ensure_root();
    if (tag < 0 || (size_t)tag >= g_tags.size() || g_tags[(size_t)tag].kind != NEXA_KIND_NODE)
        return nullptr;
    return &g_tags[(size_t)tag];
}

// A property or action tag valid with this node tag.
const TagRec* member_rec(int node, int tag, int kind) {
    if (tag <= 0 || (size_t)tag >= g_tags.size()) return nullptr;
    const TagRec& r = g_tags[(size_t)tag];
    return r.kind == kind && r.node == node ? &r : nullptr;
}

// Copies a caller's name if it is terminated within kNameMax characters.
bool bounded_name(const char* s, std::string* out) {
    size_t n = strnlen(s, kNameMax + 1);
    if (n > kNameMax) return false;
    out->assign(s, n);
    return true;
}

} // namespace

// The library exports its eight entry points and nothing else (it is built
// with hidden visibility), as the library it stands in for does.
#define NEXA_ENTRY_POINT __attribute__((visibility("default")))

extern "C" {

NEXA_ENTRY_POINT int NEXA_init(void) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (other_driver_backend()) {
        // A real server: no simulated machine is made, none is read.
        g_up = true;
        ensure_root();
        return NX_OK;
    }
    if (hbasim::ensure_state() != hbasim::SIM_OK) return fail(NX_ERR_STATE, hbasim::last_error());
    int inj = injected("init", -1);
    if (inj) {
        g_up = true; // journal the refusal, then stay down
        note("init -> %d", inj);
        g_up = false;
        return fail(inj, "injected");
    }
    g_up = true;
    ensure_root();
    note("init -> 0");
    return NX_OK;
}

NEXA_ENTRY_POINT int NEXA_exit(void) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    int inj = injected("exit", -1);
    note("exit -> %d", inj);
    if (inj) return fail(inj, "injected");
    g_up = false;
    return NX_OK;
}

NEXA_ENTRY_POINT int NEXA_get_node_tag(int parent, const char* name, int* tag, int kind) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    std::string nm;
    if (!name || !tag || kind < NEXA_KIND_NODE || kind > NEXA_KIND_ACTION)
        return fail(NX_ERR_ARG, "get_node_tag");
    if (!bounded_name(name, &nm)) return fail(NX_ERR_NOT_FOUND, "name too long");
    const TagRec* pr = node_rec(parent);
    if (!pr) return fail(NX_ERR_BAD_TAG, std::to_string(parent));
    NodeAddr pa = pr->addr;
    int adapter = -1;
    int rc = node_adapter(pa, &adapter);
    int out = 0;
    if (rc == NX_OK) rc = injected("get_node_tag:" + nm, adapter);
    if (rc == NX_OK && kind == NEXA_KIND_NODE) {
        NodeAddr child;
        rc = child_node(pa, nm.c_str(), &child);
        if (rc == NX_OK) out = intern(node_tag_key(child), TagRec{NEXA_KIND_NODE, -1, -1, child});
    } else if (rc == NX_OK) {
        bool prop = kind == NEXA_KIND_PROPERTY;
        const PropRow* p = prop ? find_property(pa, nm.c_str()) : nullptr;
        const ActionRow* a = prop ? nullptr : find_action(pa, nm.c_str());
        if (!p && !a) rc = NX_ERR_NOT_FOUND;
        if (rc == NX_OK) rc = with_node(pa, [](const NodeCtx&) { return NX_OK; });
        if (rc == NX_OK) {
            int row = prop ? property_index(p) : action_index(a);
            out = intern(member_tag_key(kind, parent, row), TagRec{kind, parent, row, pa});
        }
    }
    note("get_node_tag parent=%d name=%s kind=%d -> %d tag=%d", parent, nm.c_str(), kind, rc,
         rc ? -1 : out);
    if (rc != NX_OK) return fail(rc, nm);
    *tag = out;
    return NX_OK;
}

NEXA_ENTRY_POINT int NEXA_get_property_val(int node, int prop, char* buf, int size) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    if (!buf || size <= 0) return fail(NX_ERR_ARG, "get_property_val");
    buf[0] = '\0';
    const TagRec* nr = node_rec(node);
    const TagRec* r = nr ? member_rec(node, prop, NEXA_KIND_PROPERTY) : nullptr;
    if (!r) return fail(NX_ERR_BAD_TAG, std::to_string(node) + "/" + std::to_string(prop));
    const PropRow* row = property_row(r->row);
    NodeAddr na = nr->addr;
    int adapter = -1;
    int rc = node_adapter(na, &adapter);
    if (rc == NX_OK) rc = injected(std::string("get_property_val:") + row->name, adapter);
    std::string v;
    if (rc == NX_OK) rc = with_node(na, [&](const NodeCtx& c) { return row->get(*row, c, &v); });
    note("get_property_val node=%d prop=%d %s -> %d", node, prop, row->name, rc);
    if (rc != NX_OK) return fail(rc, row->name);
    size_t n = v.size() < (size_t)size - 1 ? v.size() : (size_t)size - 1;
    memcpy(buf, v.data(), n);
    buf[n] = '\0';
    return NX_OK;
}

NEXA_ENTRY_POINT int NEXA_set_property_val(int node, int prop, const char* val, int len) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    if (len < 0 || (!val && len > 0)) return fail(NX_ERR_ARG, "set_property_val");
    const TagRec* nr = node_rec(node);
    const TagRec* r = nr ? member_rec(node, prop, NEXA_KIND_PROPERTY) : nullptr;
    if (!r) return fail(NX_ERR_BAD_TAG, std::to_string(node) + "/" + std::to_string(prop));
    const PropRow* row = property_row(r->row);
    NodeAddr na = nr->addr;
    // The value is val[0..len), cut at an embedded NUL.
    std::string v = len > 0 ? std::string(val, strnlen(val, (size_t)len)) : std::string();
    int adapter = -1;
    int rc = node_adapter(na, &adapter);
    if (rc == NX_OK) rc = injected(std::string("set_property_val:") + row->name, adapter);
    if (rc == NX_OK && !row->set) rc = NX_ERR_READ_ONLY;
    if (rc == NX_OK && v.size() > kNameMax) rc = NX_ERR_VALUE;
    if (rc == NX_OK)
        rc = update_node(na, [&](hbasim::Adapter& a, const NodeCtx& c, bool* changed) {
            return row->set(*row, a, c, v, changed);
        });
    note("set_property_val node=%d prop=%d %s len=%d -> %d", node, prop, row->name, len, rc);
    if (rc != NX_OK) return fail(rc, row->name);
    return NX_OK;
}

NEXA_ENTRY_POINT int NEXA_get_valid_instances(int parent, const char* cls, int* inst, int* count) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    if (!cls || !count || *count < 0 || (*count > 0 && !inst))
        return fail(NX_ERR_ARG, "get_valid_instances");
    int cap = *count;
    *count = 0;
    std::string nm;
    if (!bounded_name(cls, &nm)) return fail(NX_ERR_NOT_FOUND, "class name too long");
    const TagRec* pr = node_rec(parent);
    if (!pr) return fail(NX_ERR_BAD_TAG, std::to_string(parent));
    NodeAddr pa = pr->addr;
    int adapter = -1;
    int rc = node_adapter(pa, &adapter);
    if (rc == NX_OK) rc = injected("get_valid_instances:" + nm, adapter);
    std::vector<int> list;
    // With another driver backend there are no controllers: the list stays empty.
    if (rc == NX_OK && !other_driver_backend()) rc = class_instances(pa, nm.c_str(), &list);
    if (rc == NX_OK && list.size() > (size_t)cap) rc = NX_ERR_CAPACITY;
    note("get_valid_instances parent=%d class=%s cap=%d -> %d count=%d", parent, nm.c_str(), cap,
         rc, (int)list.size());
    if (rc != NX_OK) return fail(rc, nm);
    for (size_t i = 0; i < list.size(); ++i)
        inst[i] = list[i];
    *count = (int)list.size();
    return NX_OK;
}

// The output area is not written: every result travels in the last status.
NEXA_ENTRY_POINT int NEXA_do_action(int node, int action, char* params, char* out) {
    (void)out;
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!g_up) return fail(NX_ERR_NOT_INIT);
    const TagRec* nr = node_rec(node);
    const TagRec* r = nr ? member_rec(node, action, NEXA_KIND_ACTION) : nullptr;
    if (!r) return fail(NX_ERR_BAD_TAG, std::to_string(node) + "/" + std::to_string(action));
    const ActionRow* row = action_row(r->row);
    NodeAddr na = nr->addr;
    ActionParams ps;
    for (int k = 0; params && k < NEXA_ACTION_PARAMS; ++k) {
        const char* p = params + (size_t)k * NEXA_ACTION_PARAM_SIZE;
        ps.p[k].assign(p, strnlen(p, NEXA_ACTION_PARAM_SIZE));
    }
    int adapter = -1;
    int rc = node_adapter(na, &adapter);
    bool stale = false;
    if (rc == NX_OK) rc = injected(std::string("do_action:") + row->name, adapter, &stale);
    if (stale) {
        note("do_action node=%d action=%d %s -> %d (last status kept)", node, action, row->name,
             rc);
        return rc;
    }
    if (rc != NX_OK) {
        note("do_action node=%d action=%d %s -> %d", node, action, row->name, rc);
        return fail(rc, row->name);
    }
    std::string text;
    rc = row->run(na, ps, &text);
    set_status(rc, text);
    note("do_action node=%d action=%d %s p0=%s p1=%s -> %d", node, action, row->name,
         journal_path(ps.p[0]).c_str(), ps.p[1].c_str(), rc);
    return rc;
}

// Reading the last status never changes it.
NEXA_ENTRY_POINT int NEXA_get_last_status(int* code, char* text) {
    std::lock_guard<std::mutex> g(g_mu);
    hbasim::ReadScope scope;
    if (!code || !text) return NX_ERR_ARG;
    int inj = g_up ? injected("get_last_status", -1) : 0;
    note("get_last_status -> %d code=%d", inj, g_code);
    if (inj) return inj;
    *code = g_code;
    size_t n = g_text.size() < kStatusTextMax ? g_text.size() : kStatusTextMax;
    memcpy(text, g_text.data(), n);
    text[n] = '\0';
    return NX_OK;
}

} // extern "C"
