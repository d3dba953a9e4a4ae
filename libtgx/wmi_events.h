// Pieces of the management-event service shared by the SD event registration
// (sd_events.cpp) and the RSCN watchers (rscn_watch.cpp): the one connection,
// the node WWN of a port, the reference-counted event switches, the decoding
// of delivered events and the joining of RSCN fragments (wmi_service.cpp).
//
// Lock order of the event code, outermost first; no lock is ever taken in the
// other direction:
//   1. g_sdApi (sd_events.cpp): SD registration bookkeeping
//   2. the SD callback lock (sd_events.cpp): held around each SD callback
//   3. leaf locks, never two at once: a board's registration lock, the SD
//      queue lock, the SD RSCN assembly lock, a watcher's queue lock, the
//      instance-name lock, the switch counts (wmi_service.cpp)
// The connection's own locks (platform) are below all of them: a sink never
// takes a lock of level 1 or 2.
#pragma once
#include <cstdint>

#include "libtgx/tgx_internal.h"
#include "platform/plat_mgmt_events.h"

// Statuses of the service pieces.
constexpr uint32_t kWmiOk = 0;
constexpr uint32_t kWmiFailed = 1;
constexpr uint32_t kWmiNoInstance = 3; // no HBA object with the node WWN / port unknown
constexpr uint32_t kWmiNoVport = 4;    // WmiFindMatchingNodeId: no such virtual port

constexpr uint32_t kSdCatEls = 1, kSdCatFabric = 2, kSdCatScsi = 4, kSdCatBoard = 8;
constexpr uint32_t kRscnSubCat = 32;
constexpr uint32_t kSdDataWords = 10;  // data words an event carries
constexpr uint32_t kSdItemHeader = 12; // SdEventItem length beyond the payload
constexpr uint32_t kRscnExtra = 40;    // an RSCN item's length beyond its total

// Opens the one connection of the process (0), or 1; a no-op when open.
uint32_t WMIInitialize();
// Closes the connection (callers first end every subscription on it).
void WmiRelease();
// The open connection, or null.
PlatMgmtConn wmi_connection();

// Node WWN of a port WWN of board: the port's own (0), a virtual port's WWNN
// (0), 3 port attributes unreadable, 4 no such virtual port.
uint32_t WmiFindMatchingNodeId(uint32_t board, const uint8_t* portWwn, uint8_t* nodeWwn);
// Runs the category's event-control method for one port (0 done, 1 failed,
// 3 no HBA object with nodeWwn). Stores the matched instance name as board's.
uint32_t SD_WMIEventControl(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                            uint32_t category, uint32_t subCat, bool enable);
// Reference-counted switches per (port WWN, category, subcategory): the driver
// is asked on the first enable and on the last disable only. A failed enable
// or disable leaves the count as it was.
uint32_t wmi_event_enable(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                          uint32_t category, uint32_t subCat);
uint32_t wmi_event_disable(uint32_t board, const uint8_t* portWwn, const uint8_t* nodeWwn,
                           uint32_t category, uint32_t subCat);
// Forgets every switch count (the connection is going away).
void wmi_event_forget_all();

// One decoded event.
struct SdEventRecord {
    uint32_t subCat;
    uint16_t flags;
    uint16_t datasize;
    uint64_t timeStamp;
    uint8_t wwpn[8]; // zero for board events
    uint32_t data[kSdDataWords];
};
// Decodes an event of category: 0 with *board set, or 1 (no board has its
// instance name, or a property is missing).
uint32_t getDataFromWmiEvent(const HbaMgmtEvent* obj, uint32_t category, SdEventRecord* rec,
                             uint32_t* board);

// Joining of RSCN fragments of one source (a board of the SD sink, or one
// watcher). The caller guards it with its own lock.
struct RscnAssembly {
    uint8_t* buf;  // pending buffer: version, port WWN, page count, pages
    uint32_t room; // bytes the pages may take (total + kRscnExtra)
    uint32_t pos;  // pages written so far
    uint32_t total;
    bool lost; // the first fragment was lost: drop up to the last one
};
// A complete RSCN: the payload handed on (version, WWN, page count, pages and
// 12 spare bytes: total + 28 bytes) and the item length (total + 40).
struct RscnComplete {
    uint8_t* payload; // malloc'd; the caller frees it
    uint32_t length;
    uint8_t wwpn[8];
};
// The trace lines of one assembling sink (the SD ELS sink's and the RSCN
// watchers' differ in their prefixes).
struct RscnTexts {
    const char* single;      // %x: the RSCN's size
    const char* first;       // %x: the RSCN's total size
    const char* noMemory;    //
    const char* noFirstMid;  // %x: the board
    const char* noFirstLast; // %d: the board
    const char* last;        // %d %d: the total and 12
    const char* lastWwn;     // %x %d %x %x %x %x: version, page count, WWN bytes 0-3
};
extern const RscnTexts kSdRscnTexts;
extern const RscnTexts kWatcherRscnTexts;
// Feeds one ELS subcategory-32 event of board; true with *done filled when an
// RSCN is complete. Fragments that would run past the buffer, or continuation
// fragments of fewer than 8 bytes, are dropped and the RSCN marked lost.
bool rscn_feed(RscnAssembly* a, const SdEventRecord& rec, uint32_t board, RscnComplete* done,
               const RscnTexts& t);
void rscn_reset(RscnAssembly* a);
// The pages of an RSCN payload: page count x 4 bytes must lie inside length -
// 28 bytes; false otherwise.
bool rscn_pages(const uint8_t* payload, uint32_t length, const uint8_t** pages, uint32_t* bytes,
                uint8_t* wwpn);
// Ends every SD registration, joining the dispatcher (the connection is going
// away).
void sd_events_stop_all();
// True on an RSCN watcher's thread (its callback releasing the library: the
// watcher still needs the connection to close).
bool rscn_watch_on_watcher_thread();
