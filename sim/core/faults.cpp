// Injected faults, kept in faults.txt in the state directory so that a test
// or `hbasim fault` can set them for child processes. One fault per line:
//   source <TAB> match <TAB> port <TAB> nth <TAB> action <TAB> remaining <TAB> seen
// 'seen' counts the calls that matched so far (for "the nth call only").
// fault_check reads the file only when it changed (stat stamp, looked at only
// when the shared change counter moved), and rewrites it under faults.lock
// only when a call matches a fault. The action "kill" is carried out here for
// every source: the calling process dies by SIGKILL at that call, with the
// count written, as a process killed between two requests would.
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/plat_fs.h"

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

namespace {
struct FaultRec {
    Fault f;
    int seen = 0;
};

std::mutex g_fmutex;
std::string g_fpath;
bool g_fexists = false;
ino_t g_fino = 0;
int64_t g_fmtime = 0;
off_t g_fsize = 0;
uint64_t g_fCheckedSeq = 0; // change count read before the last look at the file
std::vector<FaultRec> g_faults;

// The faults belong to the current machine: they live in its generation
// folder and go away with it when the machine is replaced.
std::string faults_path(const std::string&) {
    std::string m = machine_dir();
    return m.empty() ? "" : m + "/faults.txt";
}

std::vector<FaultRec> parse_faults(const std::string& text) {
    std::vector<FaultRec> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t e = text.find('\n', pos);
        if (e == std::string::npos) e = text.size();
        std::string line = text.substr(pos, e - pos);
        pos = e + 1;
        std::vector<std::string> fld;
        size_t p = 0;
        for (;;) {
            size_t t = line.find('\t', p);
            fld.push_back(line.substr(p, t == std::string::npos ? std::string::npos : t - p));
            if (t == std::string::npos) break;
            p = t + 1;
        }
        if (fld.size() != 7) continue; // not a fault record
        FaultRec r;
        r.f.source = fld[0];
        r.f.match = fld[1];
        r.f.port = atoi(fld[2].c_str());
        r.f.nth = atoi(fld[3].c_str());
        r.f.action = fld[4];
        r.f.remaining = atoi(fld[5].c_str());
        r.seen = atoi(fld[6].c_str());
        out.push_back(r);
    }
    return out;
}

std::string format_faults(const std::vector<FaultRec>& v) {
    std::string s;
    for (const FaultRec& r : v)
        s += r.f.source + "\t" + r.f.match + "\t" + std::to_string(r.f.port) + "\t" +
             std::to_string(r.f.nth) + "\t" + r.f.action + "\t" + std::to_string(r.f.remaining) +
             "\t" + std::to_string(r.seen) + "\n";
    return s;
}

bool clean_field(const std::string& s) {
    return s.find('\t') == std::string::npos && s.find('\n') == std::string::npos;
}

// Runs fn on the fault list under the file lock and writes it back when fn
// returns true. dir and path come from the caller: finding the path reads the
// machine index under the machine's lock, which must never be taken while
// g_fmutex is held (a machine change takes the machine's lock, then g_fmutex).
template <typename Fn>
int with_faults_locked(const std::string& dir, const std::string& path, Fn fn) {
    if (dir.empty() || !plat_make_dirs(dir.c_str()))
        return set_error(SIM_ERR_IO, "no state directory");
    if (path.empty()) return SIM_ERR_NO_STATE;
    int lk = open((dir + "/faults.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lk < 0) return set_error(SIM_ERR_IO, "cannot open " + dir + "/faults.lock");
    while (flock(lk, LOCK_EX) != 0)
        if (errno != EINTR) break;
    std::string text;
    struct stat st;
    int64_t mt = 0;
    if (stat(path.c_str(), &st) == 0)
        mt = (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    read_whole_file(path, &text);
    std::vector<FaultRec> v = parse_faults(text);
    int rc = SIM_OK;
    if (fn(v)) {
        if (!write_file_replacing(path, format_faults(v), mt))
            rc = set_error(SIM_ERR_IO, "cannot write " + path);
        note_change(dir);
    }
    flock(lk, LOCK_UN);
    close(lk);
    return rc;
}

bool match_hits(const std::string& pattern, const std::string& match) {
    if (pattern == "*") return true;
    size_t p = 0;
    for (;;) {
        size_t e = match.find('|', p);
        std::string alt = match.substr(p, e == std::string::npos ? std::string::npos : e - p);
        if (strcasecmp(alt.c_str(), pattern.c_str()) == 0) return true;
        if (e == std::string::npos) return false;
        p = e + 1;
    }
}

bool hits(const Fault& f, const char* source, const std::string& match, int port) {
    return f.source == source && (f.port < 0 || f.port == port) && match_hits(f.match, match);
}
} // namespace

int fault_add(const Fault& f) {
    if (f.source.empty() || f.match.empty() || f.action.empty() || !clean_field(f.source) ||
        !clean_field(f.match) || !clean_field(f.action) || f.source.find(' ') != std::string::npos)
        return set_error(SIM_ERR_IO, "bad fault: source, match and action must be non-empty words");
    std::string dir = state_dir();
    return with_faults_locked(dir, faults_path(dir), [&](std::vector<FaultRec>& v) {
        FaultRec r;
        r.f = f;
        v.push_back(r);
        return true;
    });
}

int fault_clear() {
    std::string dir = state_dir();
    std::string path = faults_path(dir); // before g_fmutex: it reads the index
    std::lock_guard<std::mutex> g(g_fmutex);
    unlink(path.c_str());
    note_change(dir);
    g_fexists = false;
    g_fCheckedSeq = 0;
    g_faults.clear();
    return SIM_OK;
}

std::vector<Fault> fault_list() {
    std::string text;
    read_whole_file(faults_path(state_dir()), &text);
    std::vector<Fault> out;
    for (const FaultRec& r : parse_faults(text))
        out.push_back(r.f);
    return out;
}

// Brings the cached fault list up to date with the file. Called with g_fmutex held.
static void refresh_faults(const std::string& dir, const std::string& path) {
    uint64_t seq = change_count(dir);
    if (seq && seq == g_fCheckedSeq && g_fpath == path) return;
    g_fCheckedSeq = 0;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        g_fexists = false;
        g_faults.clear();
        g_fpath = path;
        g_fCheckedSeq = seq;
        return;
    }
    int64_t mt = (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    if (!g_fexists || g_fpath != path || g_fino != st.st_ino || g_fmtime != mt ||
        g_fsize != st.st_size) {
        std::string text;
        if (!read_whole_file(path, &text)) {
            g_fexists = false;
            g_faults.clear();
            return;
        }
        g_faults = parse_faults(text);
        g_fpath = path;
        g_fexists = true;
        g_fino = st.st_ino;
        g_fmtime = mt;
        g_fsize = st.st_size;
    }
    g_fCheckedSeq = seq;
}

std::string fault_check(const char* source, const std::string& match, int port) {
    std::string dir = state_dir();
    std::string path = faults_path(dir);
    std::lock_guard<std::mutex> g(g_fmutex);
    refresh_faults(dir, path);
    if (!g_fexists) return "";
    bool any = false;
    for (const FaultRec& r : g_faults)
        if (hits(r.f, source, match, port)) any = true;
    if (!any) return "";
    // Count the call and decide under the lock, against the file as it is now.
    std::string action;
    with_faults_locked(dir, path, [&](std::vector<FaultRec>& v) {
        bool changed = false;
        for (FaultRec& r : v) {
            if (!hits(r.f, source, match, port)) continue;
            ++r.seen;
            changed = true;
            bool fires = (r.f.nth == 0 || r.seen == r.f.nth) && r.f.remaining != 0;
            if (fires && action.empty()) {
                action = r.f.action;
                if (r.f.remaining > 0) --r.f.remaining;
            }
        }
        return changed;
    });
    if (action == "kill") kill(getpid(), SIGKILL);
    return action;
}

void clear_runtime_files(const std::string& dir) {
    {
        std::string path = faults_path(dir);
        std::lock_guard<std::mutex> g(g_fmutex);
        unlink(path.c_str());
        note_change(dir);
        g_fexists = false;
        g_fCheckedSeq = 0;
        g_faults.clear();
    }
    journal_clear();
}

} // namespace hbasim
