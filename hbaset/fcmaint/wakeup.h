// Wakeup parameters (config region 4) and the expansion ROM load.
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/mbox_records.h"

// Reads the 60 bytes of region 4. A region shorter than 60 bytes is a failure
// (1): the record would otherwise be written back with cleared slots.
uint32_t ReadWakeupParms(int adapter, WakeupParms* out);

// Writes the 60 bytes of region 4 (MBX_UPDATE_CFG type 2). On failure the
// last failed command is recorded and 0xFFFF0000 returned.
uint32_t UpdateWakeupParms(int adapter, const WakeupParms& parms);
// The form of the jumper and boot-enable commands: also sets word 0 bit 0 and
// word 1 bit 4.
uint32_t UpdateWakeupParmsBoot(int adapter, const WakeupParms& parms);
// Reads the parameters, puts the program into the slot of its type and writes
// them back. A boot program (type 3) on an adapter whose wakeup parameters
// have an expansion ROM slot also fills that slot and loads the expansion ROM
// first. Returns 0, 0xFFFF0000 (read or write failed), 0xFFF10000 (type without
// slot; nothing written) or the expansion ROM load's failure.
uint32_t UpdateWakeupParmsProgram(int adapter, const ProgramId& program, bool hasExpansionRom);

// Loads the expansion ROM image named by bytes 52-59 of parms, stepping the
// adapter through start, copy and finish; at the end the parameters are
// written unless skipUpdate. Returns 0, the failing request's status,
// 0xFFEC0000 (an unexpected progress value, or no progress after a bounded
// number of polls) or the parameter write's failure.
uint32_t LoadExpansionRom(int adapter, const WakeupParms& parms, bool skipUpdate);
