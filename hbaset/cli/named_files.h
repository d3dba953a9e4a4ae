// Files hbaset opens by a name it was given: the inputs of its commands
// (images, scripts, WWN, VPD and Vitesse files) and the files it writes (the
// script log, saved WWNs and VPD). Inputs must be regular files and are
// opened without blocking, so a FIFO or a device never hangs a command;
// outputs are never written through a link. A refusal prints one line that
// names the file and why; the command then fails with its own file error.
#pragma once
#include <cstdio>

#include "platform/plat_files.h"

// Opens a command's input file for reading in binary mode. Null when it
// cannot be opened; a file that is no regular file is also named in the
// refusal line.
FILE* openCommandInput(const char* path);
// The refusal line of a file that is a link or not a regular file ("x is a
// symbolic link: refused"); nothing for other statuses. True when printed.
bool reportRefusedFile(const char* path, PlatFileStatus why);
// Prints the refusal line when something at path other than a regular file
// (a FIFO, a device, a directory) would be taken as the command's input.
void noteSpecialInput(const char* path);
