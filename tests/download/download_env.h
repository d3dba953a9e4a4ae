// A simulated machine for download tests run as processes: fleets, image
// files in the state directory, hbaset runs and the request journal.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include <string>
#include <vector>

#include "sim/core/sim_model.h"
#include "sim/image/fc_images.h"
#include "tests/support/support.h"

namespace dltest {

// One FC function on the mailbox download path (not a Brevin device):
// hardware type 4100, device 0xF100, family 0xF100.
inline std::string fcFleet(const std::string& keys = "", const std::string& model = "TGF1100") {
    return "adapter C1 fc\n    model = " + model +
           "\nfunction fc device_id = 0xF100 hw_type = 4100 " + keys + "\n";
}

class Env {
  public:
    explicit Env(const std::string& fleet) { state_.init(fleet); }
    std::string file(const std::string& name, const sim_image::Image& img) const {
        std::string path = state_.path(name);
        hbatest::write_file(path, std::string(img.begin(), img.end()));
        return path;
    }
    hbatest::RunResult hbaset(const std::vector<std::string>& args) const {
        return hbatest::run(hbatest::bin_path("hbaset"), args);
    }
    hbatest::RunResult download(const std::string& target, const std::string& path) const {
        hbasim::journal_clear();
        return hbaset({"download", target, "i=" + path});
    }
    // The download of a file named relative to the state directory, run there.
    hbatest::RunResult downloadHere(const std::string& target, const std::string& name) const {
        hbasim::journal_clear();
        return hbatest::run(hbatest::bin_path("hbaset"), {"download", target, "i=" + name}, {},
                            state_.dir());
    }
    // Journal lines of mailbox requests that start with prefix.
    size_t count(const std::string& prefix) const {
        size_t n = 0;
        for (const std::string& line : hbasim::journal_lines()) {
            // "mbx <pid> NAME ..."
            size_t a = line.find(' ');
            size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
            if (line.compare(0, 4, "mbx ") == 0 && b != std::string::npos &&
                line.compare(b + 1, prefix.size(), prefix) == 0)
                ++n;
        }
        return n;
    }
    const hbatest::TempState& state() const { return state_; }

  private:
    hbatest::TempState state_;
};

// Starts hbaset with standard output discarded and returns its process id
// (for tests that kill it or change its files while it runs).
inline pid_t spawnHbaset(const std::vector<std::string>& args) {
    const std::string program = hbatest::bin_path("hbaset");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// The line of out that starts with prefix ("" when none).
inline std::string lineWith(const std::string& out, const std::string& prefix) {
    size_t at = out.find(prefix);
    if (at == std::string::npos) return "";
    size_t end = out.find('\n', at);
    return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace dltest
