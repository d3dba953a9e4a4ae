// hbasim: the simulated machine's own tool. Each command family has its file.
#pragma once
#include <string>
#include <vector>

namespace hbasim_tool {

using Args = std::vector<std::string>;

// Exit codes.
enum : int { EXIT_OK = 0, EXIT_FAIL = 1, EXIT_USAGE = 2 };

int cmd_init(const Args& a);
int cmd_show(const Args& a);
int cmd_reboot(const Args& a);
int cmd_check(const Args& a);
int cmd_fleet(const Args& a);
int cmd_schema(const Args& a);
int cmd_fault(const Args& a);
int cmd_log(const Args& a);
int cmd_image(const Args& a);
int cmd_inject(const Args& a);

// Prints "hbasim: <msg>" to stderr and returns code.
int fail(int code, const std::string& msg);
// Parses a non-negative decimal number; false on anything else.
bool parse_count(const std::string& s, long long* out);

} // namespace hbasim_tool
