// Firmware download onto converged adapters: the branch of the download command
// that hands a .UFI file (or a .GRP file of a Brevin converged adapter) to NEXA.
#pragma once
#include <cstdint>

// Verifies the image against the adapter (where the kind calls for it) and flashes
// it through the converged-adapter library; returns the command's CLU status.
uint32_t DownloadCNAFirmware(int adapter, const char* path);
