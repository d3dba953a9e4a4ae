// State of the loopback test series shared with tests: the key source and
// the process-wide settings.
#pragma once

// Where a running series looks for the stop key (s or S). Null: the terminal,
// polled only when standard input is one; a test installs its own source.
extern bool (*g_loopbackKeySource)();

// Back to the start of a process: repeat 1, error option 3, stop flag clear.
void loopbackResetState();
