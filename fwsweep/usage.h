// --help, -h and --version of fwsweep: a short usage text or the version on
// standard output, exit status 0. They are looked for only as the first
// argument and answered before anything else runs (no privilege check); the
// slash switches, /? included, keep their own texts and codes.
#pragma once

// True when argv[1] is --help, -h or --version; the text has been printed then.
bool printUsageSwitch(int argc, const char* const* argv);
