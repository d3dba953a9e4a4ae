// fwsweep's own name and version.
#pragma once

constexpr const char* FWS_BANNER_NAME = "fwsweepoffline";
constexpr int FWS_VERSION_PARTS[4] = {12, 0, 1345, 0};

// "12.0.1345.0".
const char* fwsweepVersion();
