// Build-time tool: writes OUTPUT, the scdoc source SOURCE with its line
// "@FLEET_KEYS@" replaced by one entry per fleet key of the simulated machine's
// schema (sim/core/fleet_schema.cpp), so hbasim(1) lists every key there is. A
// key with rows for several kinds is one entry: scope, type, meaning, choices
// and the default of each kind.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/core/sim_model.h"

namespace {

const char kMarker[] = "@FLEET_KEYS@";

// scdoc reads *, _ and \ as markup.
std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '*' || c == '_' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

const char* typeName(hbasim::FleetType t) {
    static const char* kTypes[] = {"text", "number", "yes/no", "WWN", "MAC", "hex bytes", "choice"};
    return t >= 0 && t <= hbasim::FT_CHOICE ? kTypes[t] : "?";
}

struct Entry {
    std::string key, head, meaning, choices, defaults;
};

std::string entries() {
    std::vector<Entry> list;
    for (size_t i = 0; i < hbasim::kFleetSchemaCount; ++i) {
        const hbasim::FleetKeyDef& d = hbasim::kFleetSchema[i];
        Entry* e = nullptr;
        for (Entry& x : list)
            if (x.key == d.key) e = &x;
        if (!e) {
            list.push_back({d.key, std::string(d.scope) + ", " + typeName(d.type), "", "", ""});
            e = &list.back();
        }
        if (e->meaning.empty() && d.help && *d.help) e->meaning = d.help;
        if (e->choices.empty() && d.choices) e->choices = d.choices;
        std::string def = !d.def ? "none" : (std::string(d.def) == "*" ? "derived" : d.def);
        if (def.empty()) def = "empty";
        if (!e->defaults.empty()) e->defaults += "; ";
        std::string kinds = std::string(d.kinds) == "*" ? "every kind" : d.kinds;
        e->defaults += def + " (" + kinds + ")";
    }
    std::string out;
    for (const Entry& e : list) {
        out += "*" + escaped(e.key) + "* (" + e.head + ")\n\t";
        if (!e.meaning.empty()) out += escaped(e.meaning) + ". ";
        if (!e.choices.empty()) out += "One of: " + escaped(e.choices) + ". ";
        out += "Default: " + escaped(e.defaults) + ".\n\n";
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fleet_keys SOURCE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        fprintf(stderr, "fleet_keys: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string s = text.str();
    size_t at = s.find(std::string(kMarker) + "\n");
    if (at == std::string::npos) {
        fprintf(stderr, "fleet_keys: %s has no %s line\n", argv[1], kMarker);
        return 1;
    }
    s.replace(at, sizeof kMarker, entries());
    std::ofstream out(argv[2]);
    out << s;
    return out ? 0 : 1;
}
