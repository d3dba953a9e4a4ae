// fwsweep run as a process against the stub hbaset: a private bin folder with
// a copy of fwsweep beside the stub (fwsweep runs the hbaset of its own
// folder), listattr listings built from function records, matrix files, UFI
// images and scripted download answers.
#pragma once
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace fwtest {

// One function as listattr lists it.
struct Fn {
    int n = 1;
    std::string kind = "NIC"; // FC, FCoE, NIC, iSCSI
    unsigned device = 0x0710;
    std::string model = "CV3C100";
    std::string serial = "A1";
    std::string fw = "4.2.324.0";
    std::string boot = "4.2.324.0";
    std::string address; // WWN or MAC; made from n when empty
    unsigned bus = 0x30, function = 0;
    unsigned subVendor = 0x1F3C, subDevice = 0; // 0: the device ID
    unsigned rev = 0x10;
    int cvr = 0;
    int bootEnabled = 0;
};

// Fleet F: one CV3 adapter (serial A1): an FCoE function and two NIC functions.
std::vector<Fn> fleetF(const std::string& fw = "4.2.324.0");
// The listattr output of hbaset for the functions.
std::string listattrText(const std::vector<Fn>& fns);

class StubRun {
  public:
    // Downloads answer 80 with the reboot text unless scripted otherwise.
    StubRun();
    // Scripted hbaset answers.
    void listattr(const std::vector<Fn>& fns, int rc = 0);
    void listattrRaw(const std::string& text, int rc = 0);
    // n = 0: every adapter without its own answer. code < 0: killed by -code.
    void download(int n, int code, const std::string& text);
    void downloadOk(int n = 0); // 80 with the reboot text
    void matrix(const std::string& text);
    // An image in the firmware folder (generation from the first character of build).
    void image(const std::string& name, const std::string& build, int asic = 0);
    void removeStub();

    // What "hbaattr n=<N>" prints.
    void hbaattr(const std::string& text);

    // Runs fwsweep; its update history goes to history() unless env names
    // another file.
    hbatest::RunResult run(const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env = {});
    // A run with /json: the document on standard output, checked against the
    // schema (null when it is not valid).
    struct JsonRun {
        hbatest::RunResult r;
        nlohmann::json doc;
    };
    JsonRun runJson(std::vector<std::string> args,
                    const std::map<std::string, std::string>& env = {});
    std::string history() const { return state_.path("history.jsonl"); }
    // Arguments of every hbaset run, tab-separated, in order.
    std::vector<std::string> calls() const;
    size_t downloads() const;

    const std::string& bin() const { return bin_; }
    std::string path(const std::string& rel) const { return state_.path(rel); }

  private:
    hbatest::TempState state_;
    std::string bin_, stub_;
};

// The functions listed, the matrix line of fleet F and its new image
// cv3new.ufi (4.6.281.8).
void setUpFleetF(StubRun& s, const std::vector<Fn>& fns = fleetF());

// Text with every asctime time stamp line replaced by "<time>".
std::string normaliseTimes(const std::string& text);
size_t countOf(const std::string& text, const std::string& what);

} // namespace fwtest
