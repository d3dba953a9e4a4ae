// --help, -h and --version of hbaset: a short usage text or the version on
// standard output, exit status 0. They are looked for only as the first
// argument and answered before anything else runs (no administrator check, no
// adapter discovery); "hbaset help" and "help <command>" stay the command list
// and the command texts.
#pragma once

// True when argv[1] is --help, -h or --version; the text has been printed then.
bool printUsageSwitch(int argc, char** argv);
