// Converged-adapter operations that several commands share: the controller
// of a table entry, the NIC function record behind an entry, the converged
// listboot, factory defaults through NEXA, the DMA and loopback tests with
// the loopback argument parsers, and the FFV read and write of converged
// functions.
//
// The operations take a table index that the interpreter has checked and
// leave messages on the console; those ending in a command status return it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "hbaset/cna/mal.h"

// Command statuses of the converged commands (the exit codes of hbaset).
constexpr int32_t CLU_CNA_NO_NIC = 75;              // listmac: no NIC function in the table
constexpr int32_t CLU_PERSONALITY_READ = 76;        // "Get Personality Info fails"
constexpr int32_t CLU_PERSONALITY_CHANGE = 77;      // personality refused or not changed
constexpr int32_t CLU_FFV_READ = 81;                // listffv
constexpr int32_t CLU_FFV_WRITE = 82;               // writeffv
constexpr int32_t CLU_MAC_FAILED = 84;              // a zero MAC, or the NIC record not found
constexpr int32_t CLU_MAC_EXISTS = 88;              // a MAC already used on the adapter
constexpr int32_t CLU_FACTORY_DEFAULTS_FAILED = 91; // ResetFactoryDefaults failed
constexpr int32_t CLU_NIC_SETTING_FAILED =
    141; // profile view or NEXA write of a NIC setting failed

// ---- entries and records --------------------------------------------------------------------
// Tag of the "Corevane<n>" node of entry i's converged adapter; false when the
// entry has none (not converged, or an FCoE entry tied to no adapter).
bool cnaControllerTag(int i, int* tag);
// Prints why entry i has no controller although NEXA is open: it is an FCoE
// function that start-up could not tie to a converged adapter (its port WWPN
// matched no NEXA port, and no NIC function of the adapter named its bus).
void sayNoConvergedAdapter(int i);
// The link of entry i's port as its converged adapter's port record shows it;
// false when the entry has no converged adapter or no such port.
bool cnaPortLinkUp(int i);
// The NIC function record of entry i: the record of its converged adapter
// whose permanent MAC equals the entry's permanent MAC, else whose current
// MAC equals the entry's current MAC; null when none does.
const MalNicFunction* cnaNicRecordOf(int i);

// ---- listboot --------------------------------------------------------------------------------
// The boot code versions of a converged entry, one "%-30s : %s\n" line per
// version from its controller record; without a NEXA connection, or for an
// FCoE entry tied to no converged adapter (which gets a line saying so), every
// value is "N/A". Returns 0, or 72 without a controller.
int32_t cnaListBoot(int i);

// ---- factory defaults ------------------------------------------------------------------------
// ResetFactoryDefaults of entry i's controller. Returns 80 (reboot to apply)
// on success, 91 on failure, 72 without NEXA.
int32_t setFactoryDefaultsSLI4viaNEXA(int i);

// ---- converged tests -------------------------------------------------------------------------
constexpr size_t CNA_PATTERN_MAX = 16;
constexpr uint32_t CNA_TEST_CYCLES_PER_ACTION = 4096; // most cycles one action runs
constexpr uint32_t CNA_TEST_ENDLESS_CYCLES = 8192;    // cycles left while repeating forever

enum CnaLoopType : uint32_t {
    CNA_LOOP_MAC = 1,
    CNA_LOOP_PHY = 2,
    CNA_LOOP_ONE_PORT = 3,
};

// Parameters of one converged test, filled by the dmatest arguments or a
// loopback parser.
struct CnaTestParams {
    char pattern[CNA_PATTERN_MAX + 1];
    uint32_t byteCount;
    uint32_t repeatCount; // 0: repeat until a failure or a stop
    uint32_t loopType;    // CnaLoopType
    int targetIndex;      // table index of the entry under test
    bool convergedTarget; // set by a parser that selected a converged entry
    // 1 while the test may go on; clearing it stops the test with 22. Nothing
    // here clears it and keys are not polled, so runs stay deterministic.
    int stopFlag;
    int stopOnError;
    uint32_t totalCycles; // TotalCompleteCycles summed over the test's actions
};

// Parameters with both flags set and nothing selected.
void cnaTestParamsInit(CnaTestParams* p);

// The DMA test of entry p->targetIndex's controller. Returns the RM status
// of the last step: 0, 107 (byte count outside 4-4096), 22 (stopped), 72 (no
// controller), or the failing NEXA operation's status.
int cnaDmaTest(CnaTestParams* p);
// The loopback test on the entry's port (source and destination). Returns 0,
// 107 (byte count outside 64-8192), 21 (unknown loop type), 22, 72, or the
// failing NEXA operation's status. Once "EnterLoopBackMode" was attempted,
// "ExitLoopBackMode" runs on every way out.
int cnaLoopbackTest(CnaTestParams* p);

// Results of the loopback argument parsers.
enum CnaParseResult : int {
    CNA_PARSE_FAILED = 0, // caller prints "Incorrect Test Parameters" and ends with 21
    CNA_PARSE_OK = 1,     // p->convergedTarget set, p filled
    CNA_PARSE_FC = 2,     // hand the whole command to the FC loopback parser
    CNA_PARSE_END = 3,    // the command ends with the status the parser left in cluStatus
};
// intloopback (external false) and extloopback (external true) over the token
// table. n=all, or an entry that is not NEXA-managed, gives CNA_PARSE_FC.
CnaParseResult cnaParseLoopbackArgs(bool external, CnaTestParams* p);
// phyloopback (type CNA_LOOP_PHY) and macloopback (CNA_LOOP_MAC). n=all gives
// CNA_PARSE_FC (the FC parser refuses it for these commands); an entry that is
// not NEXA-managed ends the command with 71; fewer than four keys end it with
// 21 and no target.
CnaParseResult cnaParsePhyMacArgs(uint32_t loopType, CnaTestParams* p);

// ---- FFV of converged functions ------------------------------------------------------------
constexpr size_t CNA_FFV_TEXT_MAX = 32;
// The adapter's "FFVName" attribute (first 32 characters) into out (33
// bytes). 72 without NEXA; 2 when the attribute is "Not Available"; else 0.
int cnaReadFfv(int i, char* out);
// MAL_SetFFVName with the text in a zeroed 36-byte buffer. 72 without NEXA;
// else the RM status of the write.
int cnaWriteFfv(int i, const char* text);
