// The test double of libtgx: its board table, built from the simulated
// machine. Unlike the library it keeps boards of every SLI mode, so hbaset's
// classic paths can run against the simulated adapter engine.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/core/sim_model.h"

namespace tgxdouble {

struct Board {
    hbasim::FuncRef ref;
    int scsiPort;
};

// Boards in SCSI port order (fc and fcoe functions of the machine).
extern std::vector<Board> g_boards;
// The board behind a board number, or null (the table is built on first use).
const Board* board(uint32_t n);
void rescan();

} // namespace tgxdouble
