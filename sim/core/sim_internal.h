// Helpers shared by the files of the simulator core (not part of its API).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/core/sim_model.h"

namespace hbasim {

// "0x.." hex or decimal, the whole text; false on anything else or overflow.
bool parse_number(const std::string& s, uint64_t* out);
int hex_digit(char c);
std::string format_hex_bytes(const uint8_t* b, size_t n, char sep);

// Sets the text of last_error() for this thread and returns code.
int set_error(int code, const std::string& message);

// Adapter state files: magic, body length and checksum, then the body.
std::string encode_adapter(const Adapter& a);
// Returns SIM_OK or SIM_ERR_CORRUPT with *why filled.
int decode_adapter(const std::string& file, Adapter* out, std::string* why);
uint32_t crc32_of(const void* data, size_t size);

// Path of a file in the state directory (dir is state_dir()).
std::string state_path(const std::string& dir, const std::string& rel);
// Writes a file through a temporary file in the same directory and a rename.
// The new file's modification time is set strictly after 'after_ns' so that
// a reader's (inode, mtime, size) stamp always sees the change. The temporary
// file is created exclusively ("<path>.tmp.<pid>.<n>") and removed on failure.
bool write_file_replacing(const std::string& path, const std::string& data, int64_t after_ns);
// Creates path exclusively (never through a link) and writes data; the file is
// removed again when it cannot be written whole (a full disk).
bool write_new_file(const std::string& path, const std::string& data);
// Reads a regular file; a link, a device or a FIFO is refused (errno EINVAL).
bool read_whole_file(const std::string& path, std::string* out);
// Removes a directory tree without following links in it.
void remove_tree(const std::string& path);
// True for "<name>.tmp.<pid>.<n>" when process pid no longer runs: a temporary
// file a killed writer left behind.
bool is_stale_temp(const char* name);
// Removes the stale temporary files directly in dir.
void remove_stale_temps(const std::string& dir);

// ---- the machine index (machine.hbs) ----------------------------------------
// The index is the one pointer to the current machine: it names the machine's
// generation folder ("machine.<gen>/") and the file of each adapter in it, so
// that replacing the index by a rename switches every reader from one whole
// machine to another. "HBASIMM2", body length (u32 LE), CRC-32 (u32 LE), then
// "machine <gen>", one "adapter <name> <kind> <file>" per adapter and one
// "port <n> <adapter> <function>" per SCSI port.
struct IndexEntry {
    std::string name;
    std::string kind;
    std::string file; // in the generation folder: "<i>.<revision>.hbs"
};
struct Index {
    std::string gen; // hex digits
    std::vector<IndexEntry> adapters;
    std::map<int, FuncRef> ports;
};
std::string encode_index(const Index& idx);
// False when the text is not a well-formed index (magic, length, checksum,
// records, names and file names that stay inside the generation folder).
bool decode_index(const std::string& file, Index* out);
// Longest adapter name or kind the index carries.
const size_t kIndexWordMax = 64;
// The current machine's generation folder (seeding the state when there is
// none); "" with last_error() set when the state cannot be read.
std::string machine_dir();

// ---- the shared change counter (change_counter.cpp) -------------------------
// Count of the changes made through the simulator to the state of dir: read it
// before checking a file against the disk, and while it has not moved the file
// needs no new check. 0 when the counter is not available (then check every
// time).
uint64_t change_count(const std::string& dir);
// Counts one change; call it once the change is on disk. Returns the new count
// (0 when the counter is not available).
uint64_t note_change(const std::string& dir);
// Bytes appended to the journal since it was started, shared by every process:
// adds n and gives the new total (false when the counter is not available),
// raises it to at least a size seen on disk, or starts it again at 0.
bool journal_bytes_add(const std::string& dir, uint64_t n, uint64_t* total);
void journal_bytes_raise(const std::string& dir, uint64_t at_least);
void journal_bytes_reset(const std::string& dir);

// getpid() without a system call per use (kept right across fork).
int current_pid();
// Generation of the innermost ReadScope of this thread, 0 outside any.
uint64_t read_scope_gen();

} // namespace hbasim
