// Helpers shared by the files of the simulator core (not part of its API).
#pragma once
#include <cstdint>
#include <string>

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
// a reader's (inode, mtime, size) stamp always sees the change.
bool write_file_replacing(const std::string& path, const std::string& data, int64_t after_ns);
bool read_whole_file(const std::string& path, std::string* out);

// getpid() without a system call per use (kept right across fork).
int current_pid();
// Generation of the innermost ReadScope of this thread, 0 outside any.
uint64_t read_scope_gen();

} // namespace hbasim
