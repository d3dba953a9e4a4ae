// Inputs and outputs of hbaset's commands opened by name (named_files.h).
#include "hbaset/cli/named_files.h"

#include <sys/stat.h>

#include "hbaset/cli/message.h"

bool reportRefusedFile(const char* path, PlatFileStatus why) {
    if (why != PLAT_FILE_LINK && why != PLAT_FILE_NOT_REGULAR) return false;
    setMessageLine("%s is %s: refused", path ? path : "", plat_file_status_text(why));
    emitLine();
    return true;
}

FILE* openCommandInput(const char* path) {
    PlatFileStatus why = PLAT_FILE_OK;
    FILE* f = plat_fopen_input(path, &why);
    if (f == nullptr) reportRefusedFile(path, why);
    return f;
}

void noteSpecialInput(const char* path) {
    struct stat st;
    if (path != nullptr && stat(path, &st) == 0 && !S_ISREG(st.st_mode))
        reportRefusedFile(path, PLAT_FILE_NOT_REGULAR);
}
