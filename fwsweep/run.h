// fwsweep's run from its switches to its return code.
#pragma once

int fwsweepMain(int argc, const char* const* argv);
