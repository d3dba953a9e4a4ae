// Text form of the "targets" fleet key: parse and canonical format.
#include "sim/core/target_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

const SimLun* SimTarget::find_lun(uint32_t lun) const {
    for (const SimLun& l : luns)
        if (l.lun == lun) return &l;
    return nullptr;
}

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t e = s.find(sep, start);
        out.push_back(s.substr(start, e == std::string::npos ? std::string::npos : e - start));
        if (e == std::string::npos) return out;
        start = e + 1;
    }
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Blank-separated words.
std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    for (const std::string& w : split(s, ' '))
        if (!trim(w).empty()) out.push_back(trim(w));
    return out;
}

bool parse_bool(const std::string& v, bool* out) {
    if (v == "yes" || v == "1" || v == "on" || v == "true") return *out = true, true;
    if (v == "no" || v == "0" || v == "off" || v == "false") return *out = false, true;
    return false;
}

bool parse_u32(const std::string& v, uint32_t max, uint32_t* out) {
    uint64_t n = 0;
    if (!parse_number(v, &n) || n > max) return false;
    *out = (uint32_t)n;
    return true;
}

// "N[-M][:masked][:offline]" items into luns (kept sorted, unique).
bool parse_luns(const std::string& text, std::vector<SimLun>* luns, std::string* why) {
    for (const std::string& item : split(text, ',')) {
        std::vector<std::string> parts = split(item, ':');
        SimLun proto;
        for (size_t i = 1; i < parts.size(); ++i) {
            if (parts[i] == "masked")
                proto.masked = true;
            else if (parts[i] == "offline")
                proto.offline = true;
            else
                return *why = "unknown LUN flag '" + parts[i] + "'", false;
        }
        uint32_t first = 0, last = 0;
        size_t dash = parts[0].find('-');
        bool ok = dash == std::string::npos
                      ? parse_u32(parts[0], kMaxSimLun, &first)
                      : parse_u32(parts[0].substr(0, dash), kMaxSimLun, &first) &&
                            parse_u32(parts[0].substr(dash + 1), kMaxSimLun, &last);
        if (dash == std::string::npos) last = first;
        if (!ok || last < first) return *why = "bad LUN item '" + item + "' (0-255)", false;
        for (uint32_t l = first; l <= last; ++l) {
            proto.lun = (uint16_t)l;
            for (const SimLun& have : *luns)
                if (have.lun == l) return *why = "LUN " + std::to_string(l) + " twice", false;
            luns->push_back(proto);
        }
    }
    std::sort(luns->begin(), luns->end(),
              [](const SimLun& a, const SimLun& b) { return a.lun < b.lun; });
    return true;
}

bool parse_field(const std::string& key, const std::string& v, SimTarget* t, std::string* why) {
    bool ok = true;
    uint32_t n = 0;
    if (key == "wwnn")
        ok = parse_hex_bytes(v, t->wwnn, 8);
    else if (key == "did")
        ok = parse_u32(v, 0xFFFFFF, &t->d_id) && t->d_id != 0;
    else if (key == "path")
        ok = parse_u32(v, 0xFF, &t->path);
    else if (key == "tid")
        ok = parse_u32(v, 0xFF, &t->tid);
    else if (key == "state")
        ok = (v == "ready" || v == "notready") && ((t->ready = v == "ready"), true);
    else if (key == "npiv")
        ok = parse_bool(v, &t->npiv);
    else if (key == "unmask")
        ok = parse_bool(v, &t->unmask);
    else if (key == "blocks") {
        uint64_t b = 0;
        ok = parse_number(v, &b) && b != 0;
        t->blocks = b;
    } else if (key == "bs")
        ok = parse_u32(v, 0x100000, &n) && n >= 1 && ((t->blockSize = n), true);
    else if (key == "luns")
        return parse_luns(v, &t->luns, why);
    else
        return *why = "unknown target field '" + key + "'", false;
    if (!ok) *why = "bad value '" + v + "' for target field '" + key + "'";
    return ok;
}

bool parse_one(const std::string& text, size_t position, SimTarget* t, std::string* why) {
    std::vector<std::string> w = words(text);
    if (w.empty() || !parse_hex_bytes(w[0], t->wwpn, 8))
        return *why = "target '" + text + "' does not start with a WWPN", false;
    memcpy(t->wwnn, t->wwpn, 8);
    t->wwnn[0] |= 0x08;
    t->d_id = 0x020000 + (uint32_t)position + 1;
    t->tid = (uint32_t)position & 0xFF;
    bool seen[16] = {};
    static const char* const kKeys[] = {"wwnn", "did",    "path",   "tid", "state",
                                        "npiv", "unmask", "blocks", "bs",  "luns"};
    for (size_t i = 1; i < w.size(); ++i) {
        size_t eq = w[i].find('=');
        if (eq == std::string::npos) return *why = "expected key=value, got '" + w[i] + "'", false;
        const std::string key = w[i].substr(0, eq);
        for (size_t k = 0; k < sizeof kKeys / sizeof kKeys[0]; ++k)
            if (key == kKeys[k]) {
                if (seen[k]) return *why = "target field '" + key + "' twice", false;
                seen[k] = true;
            }
        if (!parse_field(key, w[i].substr(eq + 1), t, why)) return false;
    }
    return true;
}

std::string wwn_text(const uint8_t* w) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X:%02X:%02X", w[0], w[1], w[2], w[3],
             w[4], w[5], w[6], w[7]);
    return buf;
}

std::string lun_flags(const SimLun& l) {
    return std::string(l.masked ? ":masked" : "") + (l.offline ? ":offline" : "");
}

// Runs of consecutive LUNs with the same flags, "0-3,4:masked,7".
std::string format_luns(const std::vector<SimLun>& luns) {
    std::string out;
    for (size_t i = 0; i < luns.size();) {
        size_t j = i;
        while (j + 1 < luns.size() && luns[j + 1].lun == luns[j].lun + 1 &&
               lun_flags(luns[j + 1]) == lun_flags(luns[i]))
            ++j;
        if (!out.empty()) out += ",";
        out += std::to_string(luns[i].lun);
        if (j > i) out += "-" + std::to_string(luns[j].lun);
        out += lun_flags(luns[i]);
        i = j + 1;
    }
    return out;
}

} // namespace

bool parse_targets(const std::string& text, std::vector<SimTarget>* out, std::string* why) {
    out->clear();
    if (trim(text).empty()) return true;
    for (const std::string& part : split(text, ';')) {
        if (trim(part).empty()) continue;
        if (out->size() >= kMaxSimTargets)
            return *why = "more than " + std::to_string(kMaxSimTargets) + " targets", false;
        SimTarget t;
        if (!parse_one(part, out->size(), &t, why)) return false;
        for (const SimTarget& o : *out) {
            if (memcmp(o.wwpn, t.wwpn, 8) == 0)
                return *why = "target " + wwn_text(t.wwpn) + " twice", false;
            if (o.d_id == t.d_id)
                return *why = "two targets at D_ID " + std::to_string(t.d_id), false;
            if (o.path == t.path && o.tid == t.tid)
                return *why = "two targets at path " + std::to_string(t.path) + " tid " +
                              std::to_string(t.tid),
                       false;
        }
        out->push_back(t);
    }
    return true;
}

std::string format_targets(const std::vector<SimTarget>& targets) {
    std::string out;
    char buf[96];
    for (const SimTarget& t : targets) {
        if (!out.empty()) out += "; ";
        snprintf(buf, sizeof buf, " did=0x%06X path=%u tid=%u", t.d_id, t.path, t.tid);
        out += wwn_text(t.wwpn) + " wwnn=" + wwn_text(t.wwnn) + buf;
        if (!t.ready) out += " state=notready";
        if (!t.npiv) out += " npiv=no";
        if (t.unmask) out += " unmask=yes";
        if (t.blocks != 0x200000) out += " blocks=" + std::to_string(t.blocks);
        if (t.blockSize != 512) out += " bs=" + std::to_string(t.blockSize);
        if (!t.luns.empty()) out += " luns=" + format_luns(t.luns);
    }
    return out;
}

} // namespace hbasim
