// Fleets, hbaset runs and region reads shared by the boot and WWN tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

namespace boot {

inline const std::string& hbasetPath() {
    static const std::string path = hbatest::bin_path("hbaset");
    return path;
}

// Function keys of the two FC paths, on a device that takes boot parameters.
// Classic path: a driver type hbaset does not know (and a Mini driver, which
// takes the diagnostic-mode requests); SLI-4: the default driver.
const char kClassic[] = "device_id = 0xF100 hw_type = 4100 drv_type = 5 driver_name = qrlmini";
const char kSli4[] = "device_id = 0xF100 hw_type = 4100";

// The in-process machine takes the SLI-4 flag from the driver alone; entry i
// of a classic-path fleet gets hbaset's view: no SLI-4 flag, and the factory
// address from region 16 as host words.
inline void useClassicPath(int i) {
    AdapterRecord* r = adapterAt(i);
    r->sli4 = 0;
    uint8_t ieee[8] = {};
    uint32_t length = sizeof ieee;
    bool ok = DumpConfigRegion(i, REGION_IEEE, 0, &length, ieee) == 0 && length == sizeof ieee;
    r->wwpnHigh = ok ? ::le32(ieee) : 0;
    r->wwpnLow = ok ? ::le32(ieee + 4) : 0;
}

inline std::string fleet(const std::string& keys) {
    return "adapter A fc\nfunction fc " + keys + "\n";
}

inline std::string hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t x : bytes) {
        std::snprintf(b, sizeof b, "%02X", x);
        s += b;
    }
    return s;
}

inline void putLe(std::vector<uint8_t>& v, size_t at, uint32_t w) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(w >> (8 * i));
}

// Region 4 naming a boot BIOS (bytes 12-19) and an expansion ROM (52-59).
inline std::string wakeupKey(uint32_t bootBios, uint32_t expRom = 0) {
    std::vector<uint8_t> r4(60, 0);
    putLe(r4, 12, bootBios);
    putLe(r4, 52, expRom);
    return " region_4 = " + hex(r4);
}

inline hbatest::RunResult hbaset(const std::vector<std::string>& args) {
    return hbatest::run(hbasetPath(), args);
}

// hbaset with text on its standard input.
inline hbatest::RunResult hbasetWithInput(const std::string& input,
                                          const std::vector<std::string>& args) {
    std::string cmd = "printf '" + input + "' | '" + hbasetPath() + "'";
    for (const std::string& a : args)
        cmd += " '" + a + "'";
    return hbatest::run("/bin/sh", {"-c", cmd});
}

// What the command printed: the text after its "Command: ..." line, without
// the closing status line.
inline std::string body(const std::string& out) {
    size_t start = out.find("Command: ");
    if (start == std::string::npos) return out;
    start = out.find('\n', start);
    std::string s = start == std::string::npos ? "" : out.substr(start + 1);
    for (const char* tail : {"Command completed, NO Error\n", "Reported Error of "}) {
        size_t at = s.rfind(tail);
        if (at != std::string::npos) s.erase(at);
    }
    return s;
}

inline const hbasim::Function* function(const hbasim::Machine& m, size_t adapter, size_t f = 0) {
    if (adapter >= m.adapters.size() || f >= m.adapters[adapter].funcs.size()) return nullptr;
    return &m.adapters[adapter].funcs[f];
}

// A stored region ("region<n>" blob), empty when the region was never written.
inline std::vector<uint8_t> region(uint32_t n, size_t adapter = 0, size_t f = 0) {
    hbasim::Machine m;
    hbasim::read_machine(&m);
    const hbasim::Function* fn = function(m, adapter, f);
    if (fn == nullptr) return {};
    auto it = fn->blobs.find("region" + std::to_string(n));
    return it == fn->blobs.end() ? std::vector<uint8_t>{} : it->second;
}

inline std::string attr(const std::string& key, size_t adapter = 0, size_t f = 0) {
    hbasim::Machine m;
    hbasim::read_machine(&m);
    const hbasim::Function* fn = function(m, adapter, f);
    return fn && fn->attrs.has(key) ? fn->attrs.get(key) : "";
}

// Journal lines of adapter mailbox commands ("mbx" source) that start with prefix.
inline size_t mailboxCount(const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : hbasim::journal_lines()) {
        if (line.rfind("mbx ", 0) != 0) continue;
        size_t space = line.find(' ', 4);
        if (space != std::string::npos && line.compare(space + 1, prefix.size(), prefix) == 0) ++n;
    }
    return n;
}

inline uint32_t le32(const std::vector<uint8_t>& v, size_t at) {
    return static_cast<uint32_t>(v[at]) | static_cast<uint32_t>(v[at + 1]) << 8 |
           static_cast<uint32_t>(v[at + 2]) << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

} // namespace boot
