// The converged-adapter management library's entry points, as hbaset sees them.
// The declarations live with the other outside contracts in interfaces/, which the
// simulated library includes too.
#pragma once
#include "interfaces/nexa.h"
