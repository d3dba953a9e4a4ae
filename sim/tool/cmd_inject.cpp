// hbasim inject KIND PORT [key=value ...]: puts an event into the running
// machine, where the driver reports it to whoever listens (a polling thread or
// a pending receive of any process using the state).
//
// How to add an inject kind: write its action below (it parses its key=value
// arguments and changes the function behind SCSI port PORT through
// update_adapter, so every process sees the event), then append one row to
// kInjectKinds with the kind's name, its argument synopsis and a line of help;
// the usage text is built from the rows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include "sim/core/sim_model.h"
#include "sim/driver/sim_driver.h"
#include "sim/tool/tool.h"

namespace hbasim_tool {

using namespace hbasim;

namespace {

using KeyValues = std::map<std::string, std::string>;

// "key=value" arguments after PORT; false (with *bad set) on anything else or
// on a key the kind does not take.
bool parse_kv(const Args& a, size_t from, const char* const* keys, KeyValues* out,
              std::string* bad) {
    for (size_t i = from; i < a.size(); ++i) {
        size_t eq = a[i].find('=');
        bool known = false;
        if (eq != std::string::npos && eq > 0)
            for (const char* const* k = keys; *k; ++k)
                known = known || (a[i].compare(0, eq, *k) == 0 && eq == strlen(*k));
        if (!known) {
            *bad = a[i];
            return false;
        }
        (*out)[a[i].substr(0, eq)] = a[i].substr(eq + 1);
    }
    return true;
}

// A 32-bit number, "0x.." hex or decimal; false on anything else.
bool parse_u32(const std::string& s, uint32_t* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    unsigned long long v = strtoull(s.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull || s[0] == '-') return false;
    *out = (uint32_t)v;
    return true;
}

// Applies fn to the function behind SCSI port text; an exit code.
int on_port(const std::string& portText, const std::function<void(Function&)>& fn) {
    long long port = 0;
    if (!parse_count(portText, &port) || port > 255)
        return fail(EXIT_USAGE, "inject: PORT must be a SCSI port number 0-255");
    if (ensure_state() != SIM_OK) return fail(EXIT_FAIL, "inject: " + last_error());
    FuncRef ref;
    if (!find_scsi_port((int)port, &ref))
        return fail(EXIT_FAIL, "inject: no adapter function on SCSI port " + portText);
    int rc = update_adapter(ref.adapter, [&](Adapter& a) {
        fn(a.funcs[(size_t)ref.func]);
        return true;
    });
    if (rc != SIM_OK) return fail(EXIT_FAIL, "inject: " + last_error());
    return EXIT_OK;
}

int usage_error(const char* kind, const std::string& what) {
    return fail(EXIT_USAGE, std::string("inject ") + kind + ": " + what);
}

// dump PORT [word=N]: the next dump poll answers N (default 0x80000000).
int inject_dump(const Args& a) {
    static const char* const kKeys[] = {"word", nullptr};
    KeyValues kv;
    std::string bad;
    if (!parse_kv(a, 2, kKeys, &kv, &bad)) return usage_error("dump", "unexpected '" + bad + "'");
    uint32_t word = kDumpEventDefaultWord;
    if (kv.count("word") && !parse_u32(kv["word"], &word))
        return usage_error("dump", "word must be a 32-bit number");
    return on_port(a[1], [&](Function& f) { f.attrs.set_u(kAttrDumpPending, word, true); });
}

// temp PORT type=1-3 [value=N]: the next temperature poll reports the event.
int inject_temp(const Args& a) {
    static const char* const kKeys[] = {"type", "value", nullptr};
    KeyValues kv;
    std::string bad;
    if (!parse_kv(a, 2, kKeys, &kv, &bad)) return usage_error("temp", "unexpected '" + bad + "'");
    uint32_t type = 0, value = 0;
    if (!kv.count("type") || !parse_u32(kv["type"], &type) || type < 1 || type > 3)
        return usage_error("temp", "type must be 1, 2 or 3");
    bool hasValue = kv.count("value") != 0;
    if (hasValue && !parse_u32(kv["value"], &value))
        return usage_error("temp", "value must be a 32-bit number");
    return on_port(a[1], [&](Function& f) {
        f.attrs.set_u(kAttrTempEvent, type);
        if (hasValue) f.attrs.set_u("temperature", value);
    });
}

// ct PORT gstype=N [data=HEX]: an unsolicited CT request for a registered
// receiver (data: the request bytes, default a 16-byte CT header of gstype).
int inject_ct(const Args& a) {
    static const char* const kKeys[] = {"gstype", "data", nullptr};
    KeyValues kv;
    std::string bad;
    if (!parse_kv(a, 2, kKeys, &kv, &bad)) return usage_error("ct", "unexpected '" + bad + "'");
    uint32_t gstype = 0;
    if (!kv.count("gstype") || !parse_u32(kv["gstype"], &gstype) || gstype > 0xFF)
        return usage_error("ct", "gstype must be a number 0-0xFF");
    Bytes data;
    if (kv.count("data")) {
        const std::string& hex = kv["data"];
        if (hex.empty() || hex.size() % 2 || hex.size() / 2 > kCtRequestMax)
            return usage_error("ct", "data must be 1 to 65536 bytes of hex digits");
        data.resize(hex.size() / 2);
        if (!parse_hex_bytes_plain(hex, data.data(), data.size()))
            return usage_error("ct", "data must be hex digits");
    } else {
        data = ct_default_request((uint8_t)gstype);
    }
    uint32_t tag = 0;
    int rc = on_port(a[1], [&](Function& f) { tag = ct_inbox_push(f, gstype, data); });
    if (rc != EXIT_OK) return rc;
    if (tag == 0) return fail(EXIT_FAIL, "inject ct: the port's queue of waiting requests is full");
    printf("tag %u\n", tag);
    return EXIT_OK;
}

struct InjectKind {
    const char* name;
    const char* synopsis;
    const char* help;
    int (*fn)(const Args& a); // a[0] = kind, a[1] = PORT
};

const InjectKind kInjectKinds[] = {
    {"dump", "PORT [word=N]", "a firmware dump (dump poll reply word, default 0x80000000)",
     inject_dump},
    {"temp", "PORT type=1-3 [value=N]", "a temperature event of type 1-3", inject_temp},
    {"ct", "PORT gstype=N [data=HEX]", "an unsolicited CT request (prints its tag)", inject_ct},
};

int inject_usage() {
    std::string text = "inject: expected KIND PORT [key=value ...]; kinds:";
    for (const InjectKind& k : kInjectKinds)
        text += std::string("\n  ") + k.name + " " + k.synopsis + ": " + k.help;
    return fail(EXIT_USAGE, text);
}

} // namespace

int cmd_inject(const Args& a) {
    if (a.size() < 2) return inject_usage();
    for (const InjectKind& k : kInjectKinds)
        if (a[0] == k.name) return k.fn(a);
    return inject_usage();
}

} // namespace hbasim_tool
