// Load and unload of the library, the global state, and the lifecycle exports.
// Load runs from a constructor: it finds the library's own directory, starts the
// trace log, allocates the adapter table and discovers the adapters, so the
// table is ready before any export is called. A load that cannot initialise
// leaves an empty table behind instead of failing the process.
#include <cstdlib>

#include "libtgx/tgx_internal.h"

GlobalState g_tgx;
bool g_resourcesReleased;

namespace {

const uint32_t kNoAdapters = 0;  // TGX_InitDiagEnv without an adapter table
const size_t kMinModulePath = 5; // shorter paths give an empty directory
const size_t kLogNameRoom = 12;  // "/LIBTGX.LOG" and its terminator
const char kLibVersionText[] = TGX_LIB_VERSION TGX_LIB_PLATFORM;
static_assert(sizeof kLibVersionText == 18, "version text fills 18 bytes");

// The directory that holds the library file; false when it is too long to hold
// the library's file names.
bool find_library_dir() {
    char path[4096];
    static const int kAnchor = 0;
    size_t len = plat_module_path(&kAnchor, path, sizeof path);
    g_tgx.libDir[0] = '\0';
    if (len == 0 && path[0] == '\0') return false; // path unknown or beyond any limit
    if (len < kMinModulePath) return true;
    const char* slash = strrchr(path, '/');
    size_t dirLen = slash ? (size_t)(slash - path) : 0;
    if (dirLen != 0 && dirLen + kLogNameRoom > TGX_PATH_MAX) return false;
    memcpy(g_tgx.libDir, path, dirLen);
    g_tgx.libDir[dirLen] = '\0';
    return true;
}

bool load_init() {
    if (!find_library_dir()) return false;
    tgx_log_startup();
    for (TGXADAPTER*& p : g_tgx.tgxAdapters)
        p = nullptr;
    g_tgx.adapterCount = 0;
    g_tgx.pAdapterArray = static_cast<AdapterEntry*>(calloc(TGX_MAX_BOARDS, sizeof(AdapterEntry)));
    if (!g_tgx.pAdapterArray) {
        TraceLog("failed to allocate TGX Adapter array\n");
        return false;
    }
    return true;
}

bool g_unloadReleased = false;

// What the caller left (registrations, their threads, the device handles) is
// released when the process begins to exit or the library is closed, from an
// exit handler registered at the end of load. Exit handlers run in the reverse
// order of their registration and before the destructors of loaded libraries,
// so the release requests reach the driver before the static objects of the
// platform and driver libraries loaded before this one, or by its discovery,
// are destroyed; a destructor would run after them. The tables the release
// itself uses are heap objects, freed as its last step for the same reason.
void tgx_unload_release() {
    if (g_unloadReleased) return;
    g_unloadReleased = true;
    TraceLog("DLL_PROCESS_DETACH: [ENTER]\n");
    LibTGXFreeLibrary();
    tgx_sd_unload();
    tgx_wmi_unload();
    TraceLog("DLL_PROCESS_DETACH: [EXIT]\n");
}

__attribute__((constructor)) void tgx_process_attach() {
    if (load_init()) TGX_InitDiagEnv(nullptr, TGX_MAX_BOARDS);
    TraceLog("DLL_PROCESS_ATTACH: [EXIT]\n");
    // atexit from a library is bound to it: it also runs when it is closed.
    if (atexit(tgx_unload_release) != 0) TraceLog("DLL_PROCESS_ATTACH: no exit handler\n");
}

__attribute__((destructor)) void tgx_process_detach() {
    tgx_unload_release(); // when the exit handler could not be registered
    tgx_log_shutdown();
}

} // namespace

void LibTGXFreeLibrary() {
    TraceLog("LibTGXFreeLibrary: [ENTER]\n");
    // Threads of event registrations must not outlive the library's code.
    tgx_wmi_release();
    if (!g_resourcesReleased) {
        TraceLog("LibTGXFreeLibrary: user did not close the resources, do it now\n");
        LibTgxClose();
    }
    if (g_tgx.pAdapterArray) {
        for (uint32_t b = 0; b < g_tgx.lockedBoards && b < TGX_MAX_BOARDS; ++b)
            LockRecordDelete(&g_tgx.pAdapterArray[b].lock);
    }
    free(g_tgx.pAdapterArray);
    g_tgx.pAdapterArray = nullptr;
    g_tgx.lockedBoards = 0;
}

uint32_t TGX_InitDiagEnv(BrdInfo* out, uint32_t capacity) {
    TraceLog("TGX_InitDiagEnv [ENTER]- AdapCnt=%x cnt=%x\n", g_tgx.adapterCount, capacity);
    if (!g_tgx.pAdapterArray) return kNoAdapters;
    InitHBAResources(g_tgx.pAdapterArray);

    uint32_t n = capacity < g_tgx.adapterCount ? capacity : g_tgx.adapterCount;
    for (uint32_t i = 0; i < n; ++i) {
        AdapterEntry* e = tgx_entry(i);
        HBA_PortAttributes pa;
        GetAdapterPortAttributes(i, 0, &pa); // a failure leaves a zero WWPN
        memcpy(e->brdInfo.wwpn, pa.PortWWN, sizeof e->brdInfo.wwpn);
        const uint8_t* w = e->brdInfo.wwpn;
        TraceLog("TGX_InitDiagEnv: bi wwpn=%02X%02X%02X%02X%02X%02X%02X%02X\n", w[0], w[1], w[2],
                 w[3], w[4], w[5], w[6], w[7]);
        if (out) out[i] = e->brdInfo;
    }
    TraceLog("TGX_InitDiagEnv [EXIT]- return AdapterCount = %d \n", (int)g_tgx.adapterCount);
    return g_tgx.adapterCount;
}

uint32_t TGX_FreeDiagEnv(void) {
    TraceLog("TGX_FreeDiagEnv [ENTER]\n");
    tgx_wmi_release();
    LibTgxClose();
    TraceLog("TGX_FreeDiagEnv [EXIT]\n");
    return kStsOk;
}

char* TGX_GetLibVer(char* buffer) {
    if (!buffer) return nullptr;
    memcpy(buffer, kLibVersionText, sizeof kLibVersionText);
    return buffer;
}
