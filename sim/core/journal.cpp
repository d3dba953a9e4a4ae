// The request journal: one line per request or call, "<source> <pid> <text>",
// appended with a single write so that lines of concurrent processes never
// mix. When the journal passes kJournalLimit bytes it is renamed to
// journal.log.1 (replacing the previous one), so it stays bounded. Its size is
// counted in the shared change counter's journal word, and the open journal is
// looked at on disk (unlinked? rotated?) only when the change count moved, so
// a line costs one write.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "sim/core/sim_internal.h"
#include "sim/core/sim_model.h"

namespace hbasim {

static const off_t kJournalLimit = 1 << 20;

namespace {
struct JournalFd {
    std::string path;
    pid_t pid = 0;
    int fd = -1;
    uint64_t checkedSeq = 0; // change count read before the last look at the file
};
std::mutex g_jmutex;
JournalFd g_j;

// Renames the journal to journal.log.1 when it is still over the limit.
void rotate(const std::string& dir, const std::string& path) {
    int lk = open((dir + "/journal.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (lk < 0) return;
    if (flock(lk, LOCK_EX) == 0) {
        struct stat st;
        bool exists = stat(path.c_str(), &st) == 0;
        if (exists && st.st_size > kJournalLimit &&
            rename(path.c_str(), (path + ".1").c_str()) == 0) {
            journal_bytes_reset(dir);
            note_change(dir); // writers of other processes reopen
        } else {
            // Already rotated by another process, or the count drifted from
            // the file: count from what is there.
            journal_bytes_reset(dir);
            if (exists) journal_bytes_raise(dir, (uint64_t)st.st_size);
        }
        flock(lk, LOCK_UN);
    }
    close(lk);
}

void reopen(JournalFd& j, const std::string& dir) {
    if (j.fd >= 0) close(j.fd);
    j.fd = open(j.path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                0644);
    struct stat st;
    // Only a regular file is a journal (a FIFO or a device there is refused).
    if (j.fd >= 0 && (fstat(j.fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(j.fd);
        j.fd = -1;
    }
    // The shared byte count may be behind a journal written before it existed.
    if (j.fd >= 0) journal_bytes_raise(dir, (uint64_t)st.st_size);
}
} // namespace

std::string journal_path(const std::string& dir) {
    return dir + "/journal.log";
}

void journal(const char* source, const std::string& line) {
    std::string dir = state_dir();
    if (dir.empty()) return;
    std::string path = journal_path(dir);
    std::string rec =
        std::string(source ? source : "?") + " " + std::to_string(current_pid()) + " " + line;
    for (char& c : rec)
        if (c == '\n' || c == '\r') c = ' ';
    rec += '\n';
    std::lock_guard<std::mutex> g(g_jmutex);
    JournalFd& j = g_j;
    // fstat on the open journal tells everything: unlinked (cleared by another
    // process: st_nlink 0) or over the limit (time to rotate, or already
    // rotated by another process). Both count as changes, so it is needed only
    // when the change count moved.
    struct stat st;
    bool reopen_needed = j.fd < 0 || j.path != path || j.pid != current_pid();
    uint64_t seq = change_count(dir);
    if (!reopen_needed && (!seq || seq != j.checkedSeq)) {
        if (fstat(j.fd, &st) != 0 || st.st_nlink == 0) {
            reopen_needed = true;
        } else if (st.st_size > kJournalLimit) {
            rotate(dir, path);
            reopen_needed = true;
        }
    }
    if (reopen_needed) {
        j.path = path;
        j.pid = current_pid();
        reopen(j, dir);
    }
    j.checkedSeq = seq;
    if (j.fd < 0) return; // the journal is best effort; requests go on without it
    ssize_t n = write(j.fd, rec.data(), rec.size());
    uint64_t total = 0;
    if (n > 0 && journal_bytes_add(dir, (uint64_t)n, &total) && total > (uint64_t)kJournalLimit) {
        rotate(dir, path);
        j.checkedSeq = 0; // look at the file again next time
    }
}

std::vector<std::string> journal_lines(size_t max_lines) {
    std::string dir = state_dir();
    std::vector<std::string> lines;
    for (const std::string& p : {journal_path(dir) + ".1", journal_path(dir)}) {
        std::string text;
        if (!read_whole_file(p, &text)) continue;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t e = text.find('\n', pos);
            if (e == std::string::npos) break; // a line still being written
            lines.push_back(text.substr(pos, e - pos));
            pos = e + 1;
        }
    }
    if (max_lines && lines.size() > max_lines)
        lines.erase(lines.begin(), lines.end() - (std::ptrdiff_t)max_lines);
    return lines;
}

int journal_clear() {
    std::string dir = state_dir();
    if (dir.empty()) return set_error(SIM_ERR_NO_STATE, "no state directory");
    std::lock_guard<std::mutex> g(g_jmutex);
    if (g_j.fd >= 0) close(g_j.fd);
    g_j.fd = -1;
    int removed = 0, rc = SIM_OK;
    for (const std::string& p : {journal_path(dir) + ".1", journal_path(dir)}) {
        if (unlink(p.c_str()) == 0)
            ++removed;
        else if (errno != ENOENT)
            rc = set_error(SIM_ERR_IO, "cannot remove " + p + ": " + strerror(errno));
    }
    journal_bytes_reset(dir);
    note_change(dir); // writers of other processes reopen
    if (rc == SIM_OK && removed == 0)
        rc = set_error(SIM_ERR_NOT_FOUND, "no journal in " + dir + " (nothing to clear)");
    return rc;
}

} // namespace hbasim
