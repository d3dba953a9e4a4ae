// Lifecycle and information exports of the libtgx test double: the board
// table, TGX_InitDiagEnv, TGX_FreeDiagEnv, TGX_GetLibVer, TGX_GetDrvInfo,
// TGX_ReadPciCfg and TGX_ReadCtlReg, answered from the simulated machine.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "sim/core/sim_model.h"
#include "tests/tgx_double/double_internal.h"

namespace tgxdouble {

std::vector<Board> g_boards;
static bool g_scanned = false;

void rescan() {
    g_boards.clear();
    hbasim::ensure_state();
    for (int port = 0; port < 256; ++port) {
        hbasim::FuncRef ref;
        if (hbasim::find_scsi_port(port, &ref)) g_boards.push_back({ref, port});
    }
    g_scanned = true;
}

const Board* board(uint32_t n) {
    if (!g_scanned) rescan();
    return n < g_boards.size() ? &g_boards[n] : nullptr;
}

// Runs fn on the function behind board n; false when there is none.
template <typename F> static bool with_function(uint32_t n, F fn) {
    const Board* b = board(n);
    if (!b) return false;
    bool ok = false;
    hbasim::read_adapter(b->ref.adapter, [&](const hbasim::Adapter& a) {
        if (b->ref.func < 0 || (size_t)b->ref.func >= a.funcs.size()) return;
        fn(a, a.funcs[(size_t)b->ref.func]);
        ok = true;
    });
    return ok;
}

} // namespace tgxdouble

using namespace tgxdouble;

extern "C" {

uint32_t TGX_InitDiagEnv(BrdInfo* out, uint32_t capacity) {
    if (!g_scanned) rescan();
    for (uint32_t i = 0; i < g_boards.size() && i < capacity && out; ++i) {
        BrdInfo& bi = out[i];
        memset(&bi, 0, sizeof bi);
        with_function(i, [&](const hbasim::Adapter& a, const hbasim::Function& f) {
            uint8_t cfg[256];
            hbasim::func_pci_config(a, f, cfg);
            bi.pciIds = (uint32_t)cfg[0] | ((uint32_t)cfg[1] << 8) | ((uint32_t)cfg[2] << 16) |
                        ((uint32_t)cfg[3] << 24);
            bi.busid = (uint32_t)(a.attrs.get_u("pci_bus") & 0xFF) |
                       (uint32_t)((a.attrs.get_u("pci_segment") & 0xFFFF) << 8);
            bi.dev_id = (uint32_t)f.attrs.get_u("pci_device");
            bi.pciFunc = (uint8_t)f.attrs.get_u("pci_function");
            bi.scsiPort = (uint16_t)g_boards[i].scsiPort;
            bi.w12 = bi.w24 = 0xFFFFFFFFu;
            snprintf(bi.drvVersion, sizeof bi.drvVersion, "%s", f.attrs.get("drv_ver").c_str());
            snprintf(bi.fwVersion, sizeof bi.fwVersion, "%s", a.attrs.get("fw_active").c_str());
            hbasim::parse_hex_bytes(f.attrs.get("wwpn"), bi.wwpn, 8);
        });
    }
    return (uint32_t)g_boards.size();
}

uint32_t TGX_FreeDiagEnv(void) {
    g_boards.clear();
    g_scanned = false;
    return 0;
}

char* TGX_GetLibVer(char* buffer) {
    if (buffer) snprintf(buffer, 64, "%s", "12.0.1167.0 test double");
    return buffer;
}

uint32_t TGX_GetDrvInfo(uint32_t n, DrvInfo* info) {
    if (!info || !board(n)) return 1;
    uint8_t requested = info->version > 5 ? 5 : info->version;
    bool ok = with_function(n, [&](const hbasim::Adapter&, const hbasim::Function& f) {
        uint8_t spoken = (uint8_t)f.attrs.get_u("drv_version", 5);
        uint8_t agreed = spoken < requested ? spoken : requested;
        info->version = agreed;
        info->drvType = (uint8_t)f.attrs.get_u("drv_type");
        snprintf(info->names[0].drvVer, sizeof info->names[0].drvVer, "%s",
                 f.attrs.get("drv_ver").c_str());
        memcpy(info->names[0].dvrName, f.attrs.get("drv_service").c_str(),
               std::min<size_t>(8, f.attrs.get("drv_service").size()));
        info->d_id = (uint32_t)f.attrs.get_u("d_id");
        hbasim::parse_hex_bytes(f.attrs.get("wwpn"), info->wwpn, 8);
        if (agreed >= 4) {
            info->sliMode = (uint32_t)f.attrs.get_u("sli_mode");
            info->featureList = (uint32_t)f.attrs.get_u("feature_list");
        }
        if (agreed >= 5) info->interfaceWord = (uint32_t)(f.attrs.get_u("iftype") & 0xF) << 12;
    });
    return ok ? 0 : 1;
}

uint32_t TGX_ReadPciCfg(uint32_t n, uint8_t* buffer, uint32_t offset, uint32_t count) {
    if (!buffer) return 1;
    if (offset >= 256) return 0;
    uint32_t end = offset + count > 256 ? 256 : offset + count;
    bool ok = with_function(n, [&](const hbasim::Adapter& a, const hbasim::Function& f) {
        uint8_t cfg[256];
        hbasim::func_pci_config(a, f, cfg);
        memcpy(buffer, cfg + offset, end - offset);
    });
    return ok ? 0 : 1;
}

uint32_t TGX_ReadCtlReg(uint32_t n, uint32_t* value, uint32_t regOffset) {
    if (!value) return 1;
    bool ok = with_function(n, [&](const hbasim::Adapter&, const hbasim::Function& f) {
        *value = 0;
        if (regOffset == TGX_CTLREG_READY_REG && f.attrs.get("ctl_ready") != "0")
            *value = TGX_CTLREG_READY_BIT;
    });
    return ok ? 0 : 1;
}

} // extern "C"
