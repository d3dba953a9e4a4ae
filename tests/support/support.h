// Shared test helpers: private state directories, programs run as processes,
// and the library loaded at run time.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

namespace hbatest {

// Path of a built program or library in build/bin.
std::string bin_path(const std::string& name);

// The file the suite writes into every state directory it makes or claims.
// A test program runs only on a state directory that holds it, so a run can
// never change a simulated machine someone set up by hand.
extern const char kStateMarker[]; // ".hbatest-state"

// Gives this test program its state directory, once, before any test runs
// (the suite's main calls it): with HBASIM_DIR unset or empty, a private new
// directory (removed by releaseProgramState); with HBASIM_DIR naming a missing
// or empty directory, that one, claimed with the marker; with it naming a
// directory that holds the marker, that one again. Anything else is refused:
// false, with the reason in *why.
bool claimProgramState(std::string* why);
// Removes the private directory claimProgramState made (a no-op otherwise).
void releaseProgramState();

// A private, empty state directory for one test: HBASIM_DIR points at it for the
// life of the object (and for every child process), and it is removed afterwards.
class TempState {
  public:
    TempState();
    ~TempState();
    TempState(const TempState&) = delete;
    TempState& operator=(const TempState&) = delete;
    const std::string& dir() const { return dir_; }
    // Replaces the machine with the one described by the fleet text (the test
    // fails when the text is rejected). Empty text means the default fleet.
    void init(const std::string& fleet_text = "");
    std::string path(const std::string& rel) const { return dir_ + "/" + rel; }

  private:
    std::string dir_;
    std::string old_;
    bool had_old_ = false;
};

struct RunResult {
    int exit_code = -1;     // -1 when the program did not start or was killed
    bool timed_out = false; // killed by run() at its time limit
    std::string out;        // standard output
    std::string err;        // standard error
};

// How long run() lets a program take by default before it kills it. Generous:
// the slowest child (a converged download under the sanitizers) takes a few
// seconds; only a hung program reaches it.
constexpr int kChildTimeoutMs = 60000;

// Runs a program with arguments; extra_env entries are added to (or replace)
// the environment; cwd empty = the current directory. The program runs in a
// process group of its own; one still running after timeout_ms is killed with
// everything it started, and the test fails (timed_out, exit_code -1).
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& extra_env = {}, const std::string& cwd = "",
              int timeout_ms = kChildTimeoutMs);

// Copies libtgx.so into dir with a settings file that switches its trace log
// on (dir/LIBTGX.LOG); returns the name to load it by (Library, TgxTest::load).
std::string traced_libtgx_copy(const std::string& dir);

// Defined symbols of a library's dynamic symbol table as nm lists them, without
// those the linker adds to every library (the test fails when nm does).
std::set<std::string> exported_symbols(const std::string& library);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);

// Opens a library from build/bin with dlopen (RTLD_NOW | RTLD_LOCAL) so that its
// load and unload run inside the test; sym() resolves an export or fails the test.
class Library {
  public:
    explicit Library(const std::string& name);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void* sym(const char* name) const;
    template <typename F> F fn(const char* name) const { return reinterpret_cast<F>(sym(name)); }
    bool loaded() const { return handle_ != nullptr; }
    void close();

  private:
    void* handle_ = nullptr;
    std::string name_;
};

} // namespace hbatest
