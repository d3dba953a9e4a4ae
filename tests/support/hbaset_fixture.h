// A private simulated machine for tests of hbaset's FC layer: the state
// directory with its fleet, the adapter library (or its test double) rescanned
// against it, and hbaset's adapter table filled for the library's boards as
// start-up does (PCI ids, SLI-4 flag, FCoE kind, hardware type, factory WWN).
// Console output of the message layer is captured.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace hbatest {

struct AttachExisting {};

class HbasetMachine {
  public:
    // Initialises the machine (the test fails when the fleet is rejected).
    explicit HbasetMachine(const std::string& fleet);
    // Uses the machine of the current state directory as it is (a second
    // process looking at what a test left behind).
    explicit HbasetMachine(AttachExisting);
    ~HbasetMachine();
    HbasetMachine(const HbasetMachine&) = delete;
    HbasetMachine& operator=(const HbasetMachine&) = delete;

    uint32_t boards() const { return boards_; }
    // Console text written since construction or the last call.
    std::string takeConsole();
    // The adapter's request journal ("mbx" lines, source prefix removed).
    std::vector<std::string> journal() const;
    void clearJournal() const;

  private:
    void attach();
    std::unique_ptr<TempState> state_;
    uint32_t boards_ = 0;
    FILE* console_ = nullptr;
};

// Request lines of a journal that start with prefix (e.g. "SLI_CONFIG op=0xAC").
size_t countLines(const std::vector<std::string>& lines, const std::string& prefix);

// Runs this test program again as a second process with only the tests named
// by filter and the environment variable HBA_SECOND_PROCESS = request; returns
// what it printed. A helper test reads the variable and skips without it.
RunResult runSecondProcess(const std::string& filter, const std::string& request);
// The request of a second process, or "" in an ordinary run.
std::string secondProcessRequest();

} // namespace hbatest
