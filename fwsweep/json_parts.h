// Pieces shared by the JSON report and the update history: the adapter
// records grouped into physical adapters, their identity, and the tool's
// name, version, host and times. Built with nlohmann's JSON library (an
// ordered object keeps the documented field order).
#pragma once
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "fwsweep/sweep_types.h"

using Json = nlohmann::ordered_json;

constexpr int FWS_SCHEMA_VERSION = 1;

// The functions of one physical adapter, in list order: converged and Brevin
// functions by their group, every other function alone.
std::vector<std::vector<const SweepAdapter*>> physicalAdapters(const SweepRun& run);
// The functions of a's physical adapter.
std::vector<const SweepAdapter*> adapterGroupOf(const SweepRun& run, const SweepAdapter& a);
// "0000:30:00" (the adapter) or "0000:30:00.2" (the function).
std::string pciAddress(const SweepAdapter& a, bool withFunction);
// {"name", "version"} of fwsweep.
Json jsonTool();
// The identity of a physical adapter: serial, model, matrix key, PCI
// location and its functions (hbaset number, kind, WWPN or MAC).
Json jsonAdapterIdentity(const std::vector<const SweepAdapter*>& group);
// This machine's name.
std::string hostName();
// A new random run id (RFC 4122 version 4 form).
std::string newRunId();
