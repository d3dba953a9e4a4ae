// Cost of the simulated machine per request, as a product sees it:
//   read-only request through the backend (board information, port attributes)
//   state-changing requests (a one-attribute update_adapter; staging_write of
//   1 KiB into a 4 MiB staging object), independent of object sizes
//   `hbasim init` of the default fleet (a process).
// Run by hand: build/bin/bench_sim. The state lives in a private temporary
// directory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "sim/core/sim_model.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

namespace {

void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

std::vector<uint8_t> envelope(uint32_t size, uint32_t code, const char* sig) {
    std::vector<uint8_t> b(size, 0);
    wr32(b.data(), 28);
    memcpy(b.data() + 4, sig, strlen(sig));
    wr32(b.data() + 12, 20);
    wr32(b.data() + 16, code);
    wr32(b.data() + 24, size - 28);
    return b;
}

struct StateDir {
    std::string dir;
    StateDir() {
        char tmpl[] = "/tmp/hbabench.XXXXXX";
        dir = mkdtemp(tmpl);
        setenv("HBASIM_DIR", dir.c_str(), 1);
        hbasim::FleetError err;
        hbasim::init_state(hbasim::default_fleet_text(), &err);
    }
    ~StateDir() {
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
    }
};

StateDir& state() {
    static StateDir s;
    return s;
}

void request(benchmark::State& st, uint32_t size, uint32_t code, const char* sig) {
    state();
    const HbaDriverBackend* be = hba_driver_backend();
    void* dev = nullptr;
    if (be->open("\\\\.\\Scsi0:", &dev) != 0) {
        st.SkipWithError("no device");
        return;
    }
    std::vector<uint8_t> b = envelope(size, code, sig);
    uint32_t ret;
    for (auto _ : st) {
        if (be->control(dev, IOCTL_SCSI_MINIPORT, b.data(), size, b.data(), size, &ret) != 0)
            st.SkipWithError("request failed");
    }
    be->close(dev);
}

void BM_ReturnInfo(benchmark::State& st) {
    request(st, TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT);
}
void BM_PortAttributes(benchmark::State& st) {
    request(st, TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI);
}

void BM_UpdateOneAttribute(benchmark::State& st) {
    state();
    // A large object beside the adapter must not change the cost.
    hbasim::FuncRef f{0, 0};
    hbasim::object_put(f, "big", hbasim::Bytes((size_t)st.range(0), 0x5A));
    uint64_t n = 0;
    for (auto _ : st) {
        hbasim::update_adapter(0, [&](hbasim::Adapter& a) {
            a.funcs[0].attrs.set_u("bench_counter", ++n);
            return true;
        });
    }
}

void BM_StagingWrite1K(benchmark::State& st) {
    state();
    hbasim::FuncRef f{0, 0};
    const size_t total = 4u << 20;
    std::vector<uint8_t> chunk(1024, 0xA5);
    for (size_t off = 0; off < total; off += chunk.size())
        hbasim::staging_write(f, "bench", off, chunk.data(), chunk.size());
    size_t off = 0;
    for (auto _ : st) {
        hbasim::staging_write(f, "bench", off, chunk.data(), chunk.size());
        off = (off + chunk.size()) % total;
    }
    hbasim::staging_drop(f, "bench");
}

void BM_HbasimInit(benchmark::State& st) {
    state();
    std::string prog = std::string(HBA_BIN_DIR) + "/hbasim";
    for (auto _ : st) {
        pid_t pid = fork();
        if (pid == 0) {
            int nul = open("/dev/null", O_WRONLY);
            dup2(nul, 1);
            execl(prog.c_str(), "hbasim", "init", (char*)nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) st.SkipWithError("hbasim init failed");
    }
}

} // namespace

BENCHMARK(BM_ReturnInfo)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PortAttributes)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_UpdateOneAttribute)->Arg(0)->Arg(16 << 20)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_StagingWrite1K)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_HbasimInit)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
