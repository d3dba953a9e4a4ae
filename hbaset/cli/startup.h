// hbaset's entry and start-up: the administrator check, the argument checks,
// the discovery of every adapter function on both channels (the adapter
// library for FC and FCoE functions, NEXA for converged iSCSI and NIC
// functions), the completion of the adapter table, the run of one command or
// a script, and the release of everything at the end.
//
// The steps are separate functions so that tests can run them one by one
// against a simulated machine; hbasetMain runs them in order.
#pragma once
#include <cstddef>
#include <cstdint>

#include "libtgx/libtgx.h"

// Registry key the administrator check creates and deletes again.
constexpr const char* ADMIN_CHECK_KEY = "SOFTWARE\\QuoralFieldDDCfg";
// Arguments of this many characters or more are refused.
constexpr size_t ARGUMENT_LENGTH_LIMIT = 255;
// Board records asked for while the FC count is learnt.
constexpr uint32_t BOARD_LIST_CAPACITY = 256;
// Bytes of configuration region 16 (32 on SLI-4) that hold the port WWN.
constexpr uint32_t IEEE_REGION_BYTES = 8;
// Mailbox data areas the driver accepts.
constexpr uint32_t MAILBOX_LIMIT_BASE = 108;
constexpr uint32_t MAILBOX_LIMIT_EXTENDED = 256;
constexpr uint32_t MAILBOX_LIMIT_LARGE = 2048;

// The program: runs the whole entry sequence and returns the exit status.
int hbasetMain(int argc, char** argv);

// ---- pure pieces ------------------------------------------------------------------------
// Process exit status of a command status: the status itself when it is
// 0..255, else 255 (a wider status cut to 8 bits could read as success).
int exitStatusFor(int32_t cluStatus);
// True when one of argv[1 .. argc-1] equals sw exactly (case-sensitive).
bool switchGiven(int argc, char** argv, const char* sw);
// True for no argument, or a last argument "help" in any case.
bool isHelpRequest(int argc, char** argv);
// Largest mailbox data area for a driver type and the first driver version
// field (16 bytes, not necessarily terminated): 108, 256 or 2048.
uint32_t mailboxLimitFor(uint32_t drvType, const char* drvVer16);
// Port WWN words from the 8 bytes of region 16/32. SLI-4 adapters give the
// bytes in WWN order (byte 0 lands in bits 24-31 of high); the others give
// the two words as they lie in memory.
void wwnWordsFromRegion(const uint8_t bytes[8], bool sli4, uint32_t* high, uint32_t* low);
// True when text is eight ":"-separated hexadecimal fields equal to the eight
// bytes of the port WWN in high/low.
bool fcoeWwpnMatches(const char* text, uint32_t wwpnHigh, uint32_t wwpnLow);

// ---- steps ------------------------------------------------------------------------------
// Creates and deletes ADMIN_CHECK_KEY. Returns 0; 78 when the registry
// refuses the change for lack of rights; 112 when its file system cannot take
// it (full, read-only, failing). *registryStatus (may be null) receives the
// registry's status. Nothing is printed here.
int32_t adminCheck(int32_t* registryStatus = nullptr);
// The one line of a state that cannot be written (112), naming the problem
// and the state folder.
void reportStateStorage(int32_t registryStatus);

// The board list source; TGX_InitDiagEnv in the program.
typedef uint32_t (*BoardListFn)(BrdInfo* out, uint32_t capacity);
// Learns the FC function count and its board records: two calls with room for
// BOARD_LIST_CAPACITY records, then, unless the second count is 0 or 256, a
// third with room for exactly that count, which must give the same count.
// Returns 0 with *boards (count records, caller frees; null for 0) and
// *count, 63 after "TGX_InitDiagEnv call error", or 62 when memory runs out.
int32_t readBoardList(BoardListFn list, BrdInfo** boards, uint32_t* count);

// Start-up: argument count, command line, switches, converged discovery,
// the FC functions with their driver, PCI and WWN data. Returns 0 or the
// exit code of the step that failed (its message printed).
int32_t startUp(int argc, char** argv);
// Converged discovery through NEXA (only when NEXA is enabled; once per run).
void cnaDiscovery();
// Adds the converged iSCSI and NIC functions to the table after the FC
// entries (only with a NEXA connection).
void copyConvergedFunctions();
// Ties each FCoE entry to its converged adapter: by the ports' FCoE WWPN,
// else (when some port shows none) by PCI bus and OEM serial number. An entry
// that matches nothing keeps fcoeMatched 0.
void matchFcoeFunctions();
// Frees the table, the converged adapter list, the per-run arrays and the
// command line, and closes the NEXA connection when it is open.
void releaseRun();
