// The factory-default procedures of FC and SLI-4 functions (the NEXA one is in
// hbaset/cna/cna_ops.h). Each takes a table index and returns its result code.
#pragma once
#include <cstdint>

// Boot settings cleared, volatile and original WWNs restored, boot code and
// port enabled, adapter reset. Every step runs whatever the others returned.
// Returns 0, or 91 when any step failed.
int32_t setFactoryDefaultsFC(int adapter);
// The SLI-4 factory-default request (tried once). Returns 80 when the adapter
// accepted it (it stays offline until a reboot), else 91.
int32_t setFactoryDefaultsSLI4(int adapter);
