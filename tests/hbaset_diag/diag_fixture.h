// Fleets, runs and journal checks shared by the diagnostics and factory
// defaults tests (the hbaset runs and region reads come from the boot tests).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/sim_model.h"
#include "tests/hbaset_boot/boot_fixture.h"

namespace diag {

// A classic-path FC function under the Mini driver, which takes the loopback
// and diagnostic-mode requests.
const char kMini[] = "device_id = 0xF100 hw_type = 4100 drv_type = 5 driver_name = qrlmini";

inline void fault(const std::vector<std::string>& args) {
    std::vector<std::string> a = {"fault", "add"};
    a.insert(a.end(), args.begin(), args.end());
    hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"), a);
    ASSERT_EQ(r.exit_code, 0) << r.err;
}

inline void reboot() {
    hbatest::RunResult r = hbatest::run(hbatest::bin_path("hbasim"), {"reboot"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
}

// Journal lines (source prefix kept) that contain text.
inline std::vector<std::string> journalWith(const std::string& text) {
    std::vector<std::string> out;
    for (const std::string& line : hbasim::journal_lines())
        if (line.find(text) != std::string::npos) out.push_back(line);
    return out;
}

// Index in the journal of the first line containing text after line from, or -1.
inline long journalFind(const std::string& text, long from = -1) {
    std::vector<std::string> lines = hbasim::journal_lines();
    for (size_t i = static_cast<size_t>(from + 1); i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1;
}

inline size_t count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

} // namespace diag
