// Library-internal state and helpers shared by every export family.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/platform.h"

#define TGX_MAX_BOARDS 256
#define TGX_PATH_MAX 260
#define TGX_LIB_VERSION "12.0.1167.0"
#define TGX_LIB_PLATFORM "   X86"

// A lock with counters: threads waiting to enter, times entered, times left.
struct LockRecord {
    PlatMutex cs;
    uint32_t waiting;
    uint32_t entered;
    uint32_t left;
};
void LockRecordInit(LockRecord* l);   // idempotent
void LockRecordDelete(LockRecord* l); // idempotent
void LockRecordEnter(LockRecord* l);
void LockRecordLeave(LockRecord* l);

// Event slot of one board (events.cpp): four per adapter entry, guarded by
// the entry's lock. The slot's address is the event identifier.
enum : uint32_t {
    TGX_SLOT_FREE = 0,     // claimable
    TGX_SLOT_STARTING = 1, // claimed by a registration that has not returned
    TGX_SLOT_RUNNING = 2,  // its watcher thread runs
    TGX_SLOT_STOPPING = 3, // asked to stop; claimable again once its thread is joined
};
struct EventSlot {
    uint32_t type;       // event mask: 2, 16, 32, 64; 0 = free or stopping
    void* callback;      // the caller's function (its type follows the mask)
    void* context;       // the caller's value, kept for the RSCN kinds
    PlatThread thread;   // the watcher thread
    PlatEvent wake;      // auto-reset: wakes the watcher early
    uint32_t stop;       // set to ask the watcher to end; it clears it as it ends
    uint32_t board;      // the board number
    uint32_t outSz;      // RSCN kinds: the caller's outSz (8 to 1024)
    uint32_t state;      // TGX_SLOT_*
    uint32_t kind;       // the mask the slot was claimed for (kept while stopping)
    uint32_t claimer;    // plat_thread_id() of the registration while STARTING
    uint32_t joining;    // an unregistration is waiting for the thread
    uint32_t threadId;   // plat_thread_id() of the watcher, set by it under the entry lock
    PlatEvent ended;     // every watcher sets it as it ends
    uint32_t inCallback; // the watcher is running the caller's callback
};

enum : uint32_t { TGX_DRIVER_PORT = 1, TGX_DRIVER_MINI = 2 };

struct AdapterEntry {
    char deviceName[256]; // management device path
    uint8_t generalInfo[128];
    uint32_t returnInfoWord;
    PlatHandle handle; // SCSI port device
    uint8_t pciConfig[256];
    BrdInfo brdInfo;
    DrvInfo drvInfo;
    LockRecord lock;
    EventSlot eventSlots[4];
    uint32_t driverType;
};

// Management-service context of one board.
struct TGXADAPTER {
    PlatHandle scsiHandle;
    PlatHandle mgmtHandle; // equals scsiHandle when the management device is missing
    uint32_t board;
    uint32_t scsiPort;
    uint8_t driverKind; // read by QrlTgxQueryDriverType
    void* ctService;    // CT management service state
};

struct SdRegNode;

struct GlobalState {
    uint16_t sdState[TGX_MAX_BOARDS];
    AdapterEntry* pAdapterArray;
    void* settingsFile;
    SdRegNode* sdRegLists[TGX_MAX_BOARDS];
    TGXADAPTER* tgxAdapters[TGX_MAX_BOARDS];
    char libDir[TGX_PATH_MAX];
    uint32_t adapterCount;
    char logPath[TGX_PATH_MAX];
    // Entries [0, lockedBoards) of pAdapterArray may hold a lock: release
    // touches no other entry (the table is large and mostly never used).
    uint32_t lockedBoards;
};

extern GlobalState g_tgx;
extern uint32_t g_dbgPrint;
extern uint32_t g_kdPrint;
extern bool g_resourcesReleased;

// True when board is below the adapter count and the table exists.
bool tgx_board_ok(uint32_t board);
AdapterEntry* tgx_entry(uint32_t board);

// Statuses every export family shares; each family names its other values
// beside its exports.
constexpr uint32_t kStsOk = 0;
constexpr uint32_t kStsFailed = 1;    // bad board or argument, or the request failed
constexpr uint32_t kStsNoMemory = 10; // queries and discovery: no room for the request

// A request envelope: size bytes, the 28-byte header included. It owns its
// buffer, which is freed when the envelope goes out of scope, so no exit path
// can leak or free it twice. False when the allocation failed.
struct TgxEnvFree {
    void operator()(uint8_t* p) const;
};
struct TgxEnvelope {
    std::unique_ptr<uint8_t, TgxEnvFree> buf;
    uint32_t size = 0;
    explicit operator bool() const { return buf != nullptr; }
    uint8_t* bytes() const { return buf.get(); }
    uint8_t* payload() const { return buf.get() + TGX_ENV_HEADER_LENGTH; }
};
// A zeroed envelope of totalSize bytes with the header filled for code and
// signature; false when totalSize is below the header or memory is short.
TgxEnvelope tgx_env_alloc(uint32_t totalSize, uint32_t code, const char* sig);
// Zeroes the whole envelope and writes its header again (a reused envelope).
void tgx_env_fill(TgxEnvelope& env, uint32_t code, const char* sig);
// Sends on h; true when the device call succeeded (the reply is in place).
bool tgx_env_send(PlatHandle h, TgxEnvelope& env);
uint32_t tgx_env_rc(const TgxEnvelope& env);

// memcpy for copies into and out of a caller's buffer, which may be null when
// its size is 0 (memcpy's pointers must be valid even for no bytes).
inline void tgx_copy(void* dst, const void* src, size_t n) {
    if (n) memcpy(dst, src, n);
}

// Little-endian field access.
inline uint32_t tgx_rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void tgx_wr32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
inline uint16_t tgx_rd16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

// TGX_IssueDumpMBox with one more answer: *regionEmpty (may be null) is set
// when the adapter said the region is not initialised or holds no entry. The
// export's status cannot tell that alone: 4 is also the driver refusing the
// mailbox length.
uint32_t tgx_dump_mbox(uint32_t board, uint32_t type, uint8_t typeArg, uint32_t region,
                       uint32_t offset, void* buffer, uint32_t* length, bool* regionEmpty);

// Trace log.
void TraceLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void TraceDump(const void* bytes, uint32_t count);
void DebugTrace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Ending a registration, one rule for every kind (driver events, RSCN
// watchers, CT and SD registrations). The unregistration first makes sure no
// further callback of the registration starts, then waits for one still
// running on another thread: at most kTgxUnregisterBoundMs of real time, and
// not at all when it is itself called from inside a callback of this library
// while the other callback runs (that callback may be waiting for this one).
// Without that wait to the end it returns 1, and what the registration holds
// (its slot or descriptor and its thread) is collected by a later call for it
// or by the release.
constexpr uint32_t kTgxUnregisterBoundMs = 30000;
// Every call of a caller's callback runs inside one of these on its thread.
struct TgxCallbackScope {
    TgxCallbackScope();
    ~TgxCallbackScope();
    TgxCallbackScope(const TgxCallbackScope&) = delete;
    TgxCallbackScope& operator=(const TgxCallbackScope&) = delete;
};
bool tgx_in_callback(); // this thread is inside a callback of the library
// How long an unregistration waits for a registration whose callback is (or is
// not) running now.
uint32_t tgx_unregister_bound(bool targetInCallback);

// Event slot watchers: a callback starts only while the slot is not asked to
// stop. False, with the entry lock held, when it is asked to stop; true with
// the slot marked as in its callback (the lock released).
bool tgx_slot_callback_begin(AdapterEntry* e, EventSlot* s);
void tgx_slot_callback_end(AdapterEntry* e, EventSlot* s);

// Hooks of later export families, called from load, discovery and release.
void tgx_events_release_board(uint32_t board); // driver event registrations
void tgx_wmi_release();                        // WMI connection
void tgx_ct_start(TGXADAPTER* ctx);            // CT management service start
void tgx_ct_shutdown_all();                    // CT management service shutdown
// The last step of unload, after the release: the tables the release itself
// used go (they outlive static destruction, see lifecycle.cpp).
void tgx_wmi_unload();
void tgx_sd_unload();
// SD registration list of one board: frees every record and clears the head
// (called by release with the list non-empty).
void tgx_sd_free_list(uint32_t board);

// Trace log start-up (reads the settings, sets the log path and the log mutex,
// writes the header) and its end at unload.
void tgx_log_startup();
void tgx_log_shutdown();
// Reads a settings file; keys absent from the file leave *dbg and *kd unchanged.
// False when the file does not open.
bool tgx_read_settings(const char* path, uint32_t* dbg, uint32_t* kd);

// Lifecycle and discovery.
bool InitHBAResources(AdapterEntry* pAdapterArray);
void ReleaseHBAResources();
void LibTgxClose();
void LibTGXFreeLibrary();
uint32_t LibtgxReturnBrdInfo(PlatHandle h, uint32_t board);

// Locks and counters of the SD event registrations, initialised by discovery
// and deleted by release.
extern LockRecord g_sdEventQueueLock;
extern LockRecord g_sdRscnLock;
extern LockRecord g_sdRegLocks[TGX_MAX_BOARDS];
extern uint32_t g_sdRegCnt;
extern uint32_t g_sdFabricRegCnt;
extern uint32_t g_sdScsiRegCnt;
extern uint32_t g_sdBoardRegCnt;

// Transport, query and registry internals used across export families.
uint32_t IssueMBoxWithRetryV2Extended(uint32_t board, uint32_t* mailbox, uint32_t inWLen,
                                      uint32_t retry, uint32_t delay);
// Maps a V2 ReturnCode to a status; *attemptsLeft is set to 0 when no further
// attempt may follow, and the delay is slept when a retry follows.
uint32_t Sli4MbxIoStatusError(uint32_t returnCode, uint32_t* attemptsLeft, uint32_t delay);
// VPD request: 0 (20 port identification bytes copied), the driver's ReturnCode,
// or 1 when the request could not be made.
uint32_t libtgxGetVPD(uint32_t board, uint8_t* portId);
// op: 1 read / 2 write control register, 3 read / 4 write SLIM.
uint32_t rwSlimCtlReg(uint32_t op, uint32_t board, void* buffer, uint32_t offset, uint32_t count);
// op 0 get, 1 set of the PersistLnkDn item.
uint32_t rwRegistryKey(uint32_t board, uint32_t op, uint16_t* flag);
inline uint16_t tgx_pci_device_id(const AdapterEntry* e) {
    return (uint16_t)(e->pciConfig[2] | (e->pciConfig[3] << 8));
}
// Virtual ports: the VPI of a WWPN on a board (0 for the physical port),
// 0xFFFFFE when the driver does not know it, 0xFFFFFD when the request failed;
// and the driver's record generation from its version text (1 new, 0 old).
uint32_t tgxFindVPIid(uint32_t board, const uint8_t* wwpn);
uint32_t getDriverVer(const char* driverVersion);

// ---- driver events (events.cpp) and the RSCN watchers they start ----------
// Mask 2 and 64 registrations: the watcher of the RSCN family starts with the
// slot's board, callback, context and wake event filled, stores outSz and its
// thread id in the slot, and returns its thread (null on failure). The
// unregistration sets the stop flag under the entry lock, waits for the thread
// and frees the slot (type 0); events.cpp then joins the thread and closes the
// wake event.
PlatThread WmiRegisterPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot);
PlatThread WmiRegisterVPortRscn(uint32_t board, uint32_t outSz, EventSlot* slot);
void WmiUnRegisterPortRscn(EventSlot* slot);
void WmiUnRegisterVPortRscn(EventSlot* slot);

// ---- SCSI identifiers of a target (LUN masking, OAS) ----
// Outcomes of tgx_target_scsi_ids; each family turns them into its own status.
enum : uint32_t {
    TGX_IDS_OK = 0,
    TGX_IDS_NO_MEMORY = 1, // no room for the request
    TGX_IDS_IO_FAILED = 2, // the device call failed
    TGX_IDS_NO_NODE = 3,   // a ReturnCode, or the driver knows no such node
};
// The library's own lookup (0x8000011B) of the SCSI path and target
// identifiers of the target wwpn as port vpi (0: the physical port) sees it.
uint32_t tgx_target_scsi_ids(uint32_t board, uint32_t vpi, const uint8_t* wwpn, uint32_t* path,
                             uint32_t* tid);

// ---- owned registry key (LUN masking, OAS) ----
// An open registry key, closed when it goes out of scope, so no exit path
// leaves it open.
struct TgxRegKey {
    PlatRegKey k = nullptr;
    TgxRegKey() = default;
    TgxRegKey(const TgxRegKey&) = delete;
    TgxRegKey& operator=(const TgxRegKey&) = delete;
    ~TgxRegKey() {
        if (k) plat_reg_close_key(k);
    }
};

// ---- WWN key names and 16-bit stores (LUN masking, OAS, authentication) ----
inline void tgx_wr16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
// The 8 bytes of a WWN as 16 lower-case hex digits, as registry key names
// spell it; cut (always terminated) to size bytes.
inline void tgx_wwn_hex(const uint8_t* w, char* out, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    if (size == 0) return;
    size_t i = 0;
    for (; i < 16 && i + 1 < size; ++i)
        out[i] = kDigits[(i % 2 ? w[i / 2] : w[i / 2] >> 4) & 0xF];
    out[i] = '\0';
}

// ---- tgxFindVPIid results that are no VPI (LUN masking, OAS, pass-through) ----
constexpr uint32_t TGX_VPI_FAILED = 0xFFFFFD;    // the lookup could not be made
constexpr uint32_t TGX_VPI_NOT_FOUND = 0xFFFFFE; // the driver knows no such port
constexpr uint32_t TGX_VPI_UNKNOWN = 0xFFFFFF;   // the driver's own "no VPI"
