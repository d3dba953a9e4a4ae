// fwsweep against the stub hbaset (see stub_fixture.h).
#include "tests/fwsweep_stub/stub_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/fwsweep/ufi_files.h"
#include "tests/fwsweep_stub/report_check.h"

namespace fwtest {

namespace fs = std::filesystem;

std::vector<Fn> fleetF(const std::string& fw) {
    Fn fcoe;
    fcoe.n = 1, fcoe.kind = "FCoE", fcoe.device = 0x0714, fcoe.fw = fcoe.boot = fw;
    fcoe.address = "10:00:00:90:FA:00:00:01";
    Fn nic2;
    nic2.n = 2, nic2.function = 2, nic2.fw = nic2.boot = fw, nic2.address = "00:90:FA:00:00:02";
    Fn nic3 = nic2;
    nic3.n = 3, nic3.function = 3, nic3.address = "00:90:FA:00:00:03";
    return {fcoe, nic2, nic3};
}

std::string listattrText(const std::vector<Fn>& fns) {
    std::string s = "Command: listattr /c\n";
    char b[256];
    auto line = [&](const char* label, const std::string& v) {
        snprintf(b, sizeof b, "%-20s : %s\n", label, v.c_str());
        s += b;
    };
    auto hex = [&](unsigned v, bool four) {
        snprintf(b, sizeof b, four ? "%04X" : "%X", v);
        return std::string(b);
    };
    for (const Fn& f : fns) {
        bool fc = f.kind == "FC" || f.kind == "FCoE";
        std::string address = f.address;
        if (address.empty()) {
            snprintf(b, sizeof b, fc ? "10:00:00:90:FA:00:00:%02X" : "00:90:FA:00:00:%02X", f.n);
            address = b;
        }
        line("HBA", std::to_string(f.n));
        line("Serial Number", f.serial);
        line("Model", f.model);
        line("FW Version", f.fw);
        line("Boot Version", f.boot);
        line("Boot Enabled", std::to_string(f.bootEnabled));
        line(fc ? "Port WWN" : "Permanent Mac", address);
        line("Function Type", f.kind);
        line("Device ID", hex(f.device, true));
        line("Vendor ID", "1F3C");
        line("Sub Device ID", hex(f.subDevice ? f.subDevice : f.device, true));
        line("Sub Vendor ID", hex(f.subVendor, true));
        line("PCI Bus Number", hex(f.bus, false));
        line("PCI Dev Number", "0");
        line("PCI Fun Number", hex(f.function, false));
        line("VPD Model", "0");
        line("Multi Channel", "0");
        line("Configuration", "0");
        line("CVR", std::to_string(f.cvr));
        line("RevID", hex(f.rev, false));
        s += "\n";
    }
    return s + "Command completed, NO Error\n";
}

StubRun::StubRun() {
    bin_ = state_.path("bin/");
    stub_ = state_.path("stub");
    fs::create_directories(bin_ + "firmware");
    fs::create_directories(stub_);
    // A copy, not a link: fwsweep finds its folder through the resolved path
    // of the running program. Its shared library comes along as a link.
    fs::copy_file(hbatest::bin_path("fwsweep"), bin_ + "fwsweep");
    fs::create_symlink(hbatest::bin_path("libhbaplatform.so"), bin_ + "libhbaplatform.so");
    fs::create_symlink(hbatest::bin_path("fwsweep_stub_hbaset"), bin_ + "hbaset");
    downloadOk();
}

void StubRun::listattr(const std::vector<Fn>& fns, int rc) {
    listattrRaw(listattrText(fns), rc);
}

void StubRun::listattrRaw(const std::string& text, int rc) {
    hbatest::write_file(stub_ + "/listattr.txt", text);
    hbatest::write_file(stub_ + "/listattr.rc", std::to_string(rc));
}

void StubRun::download(int n, int code, const std::string& text) {
    std::string name = n ? "download-n" + std::to_string(n) + ".txt" : "download.txt";
    hbatest::write_file(stub_ + "/" + name, std::to_string(code) + "\n" + text);
}

void StubRun::downloadOk(int n) {
    download(n, 80,
             "Command: download\nDownload successfully completed. Please reboot the system to "
             "activate new firmware.\nCommand completed, NO Error\n");
}

void StubRun::matrix(const std::string& text) {
    hbatest::write_file(bin_ + "fwmatrix.txt", text);
}

void StubRun::image(const std::string& name, const std::string& build, int asic) {
    writeUfi(bin_ + "firmware/" + name, build, asic);
}

void StubRun::removeStub() {
    fs::remove(bin_ + "hbaset");
}

void StubRun::hbaattr(const std::string& text) {
    hbatest::write_file(stub_ + "/hbaattr.txt", text);
}

hbatest::RunResult StubRun::run(const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> e = env;
    e["FWSTUB_DIR"] = stub_;
    e.emplace("FWSWEEP_HISTORY", history());
    return hbatest::run(bin_ + "fwsweep", args, e, state_.dir());
}

StubRun::JsonRun StubRun::runJson(std::vector<std::string> args,
                                  const std::map<std::string, std::string>& env) {
    args.push_back("/json");
    JsonRun j;
    j.r = run(args, env);
    j.doc = checkedReport(j.r.out);
    return j;
}

std::vector<std::string> StubRun::calls() const {
    std::vector<std::string> out;
    std::string log =
        fs::exists(stub_ + "/argv.log") ? hbatest::read_file(stub_ + "/argv.log") : "";
    size_t pos = 0, nl;
    while ((nl = log.find('\n', pos)) != std::string::npos) {
        out.push_back(log.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

size_t StubRun::downloads() const {
    size_t n = 0;
    for (const std::string& c : calls())
        n += c.rfind("download", 0) == 0;
    return n;
}

void setUpFleetF(StubRun& s, const std::vector<Fn>& fns) {
    s.listattr(fns);
    s.matrix("CV3C100-FCoE cv3new.ufi\n");
    s.image("cv3new.ufi", "3 4.6.281.8");
}

std::string normaliseTimes(const std::string& text) {
    static const std::regex stamp(
        "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    return std::regex_replace(text, stamp, "<time>");
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

} // namespace fwtest
