// hbaset's command line: the input is the argument list (NUL separated), run
// as one command through the token table and the command table.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/hbaset_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096 || !fuzz::hbaset_input_allowed(data, size)) return 0;
    fuzz::hbaset_reset();
    std::vector<std::string> args;
    std::string cur;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += (char)data[i];
        }
    }
    args.push_back(cur);
    if (args.size() > 64) return 0;
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    int n = setTokens(argv.data(), (int)argv.size());
    runCommand(n);
    return 0;
}
