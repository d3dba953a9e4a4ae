// --help, -h and --version of the suite's programs: looked for only as the
// first argument and answered on standard output before anything else runs, so
// any user can read them.
#pragma once
#include <cstdio>
#include <cstring>

// True when argv[1] is --help or -h (usage printed) or --version
// ("<program> (hbasuite) <version>" printed); false for anything else.
inline bool answerUsageSwitch(const char* program, const char* usage, const char* version, int argc,
                              const char* const* argv) {
    if (argc < 2 || argv == nullptr || argv[1] == nullptr) return false;
    const char* arg = argv[1];
    if (strcmp(arg, "--version") == 0)
        printf("%s (hbasuite) %s\n", program, version);
    else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0)
        fputs(usage, stdout);
    else
        return false;
    fflush(stdout);
    return true;
}
