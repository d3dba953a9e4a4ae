// Cost of one call of the simulated NEXA library on the default fleet, as
// hbaset's start-up makes them (about a thousand per run): a node tag lookup
// of a known name, a property read, a VPD piece read and a PCI dump action.
// Each call is journalled (one write) and checked against the machine's
// state. Run by hand: build/bin/bench_nexa. The state lives in a private
// temporary directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/nexa.h"
#include "sim/core/sim_model.h"

namespace {

struct StateDir {
    std::string dir;
    StateDir() {
        char tmpl[] = "/tmp/hbabench.XXXXXX";
        dir = mkdtemp(tmpl);
        setenv("HBASIM_DIR", dir.c_str(), 1);
        hbasim::FleetError err;
        hbasim::init_state(hbasim::default_fleet_text(), &err);
        NEXA_init();
    }
    ~StateDir() {
        NEXA_exit();
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
    }
};

StateDir& state() {
    static StateDir s;
    return s;
}

// Tag of a node path ("Corevane1/NICPhysicalHBA0"), 0 for the root, -1 on failure.
int node(const char* path) {
    int tag = NEXA_ROOT_TAG;
    std::string p = path;
    size_t pos = 0;
    while (pos < p.size()) {
        size_t e = p.find('/', pos);
        if (e == std::string::npos) e = p.size();
        if (NEXA_get_node_tag(tag, p.substr(pos, e - pos).c_str(), &tag, NEXA_KIND_NODE) != 0)
            return -1;
        pos = e + 1;
    }
    return tag;
}

void BM_NodeTag(benchmark::State& st) {
    state();
    int ctrl = node("Corevane1");
    int tag = 0;
    for (auto _ : st)
        if (NEXA_get_node_tag(ctrl, "NICPhysicalHBA0", &tag, NEXA_KIND_NODE) != 0)
            st.SkipWithError("lookup failed");
}

void read_property(benchmark::State& st, const char* path, const char* name) {
    state();
    int n = node(path), p = 0;
    if (n < 0 || NEXA_get_node_tag(n, name, &p, NEXA_KIND_PROPERTY) != 0) {
        st.SkipWithError("no such property");
        return;
    }
    char buf[NEXA_VALUE_SIZE];
    for (auto _ : st)
        if (NEXA_get_property_val(n, p, buf, sizeof buf) != 0) st.SkipWithError("read failed");
}

void BM_ModelNumber(benchmark::State& st) {
    read_property(st, "Corevane1", "ModelNumber");
}
void BM_VpdPiece(benchmark::State& st) {
    read_property(st, "Corevane1/NICPhysicalHBA0/VPD", "VPDData0");
}

void BM_DumpPci(benchmark::State& st) {
    state();
    int n = node("Corevane1/NICPhysicalHBA0/PCI"), a = 0;
    if (n < 0 || NEXA_get_node_tag(n, "DumpNICPCIConfigRegion", &a, NEXA_KIND_ACTION) != 0) {
        st.SkipWithError("no such action");
        return;
    }
    std::vector<char> params(NEXA_ACTION_PARAMS * NEXA_ACTION_PARAM_SIZE, 0);
    snprintf(&params[0], NEXA_ACTION_PARAM_SIZE, "0");                       // offset
    snprintf(&params[NEXA_ACTION_PARAM_SIZE], NEXA_ACTION_PARAM_SIZE, "64"); // bytes
    char out[NEXA_ACTION_RESULT_SIZE];
    for (auto _ : st)
        if (NEXA_do_action(n, a, params.data(), out) != 0) st.SkipWithError("action failed");
}

} // namespace

BENCHMARK(BM_NodeTag)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelNumber)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_VpdPiece)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DumpPci)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
