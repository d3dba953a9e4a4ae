// Mailbox download of FC firmware image files and the dispatch of the
// download command by file kind (.GRP to the object download, .UFI to the
// converged download, PRG and AIF files through the adapter mailbox).
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/mbox_records.h"

// Progress reporting: a stage name ("%s...\n") and a percentage.
struct DownloadProgress {
    void (*stage)(const char* name);
    void (*percent)(int value);
};
// The console forms: "%s...\n" and "%d%% complete " ("...\n" at 100).
extern const DownloadProgress kConsoleProgress;

// Downloads a file onto an adapter (0-based). Returns the codes of fw_image.h,
// a failed request's mailbox status, or the .GRP / converged paths' codes.
uint32_t DownloadImage(int adapter, const char* path, const DownloadProgress& progress);

// The two mailbox engines, over the image as read into memory.
uint32_t DownloadPrgImage(int adapter, const ImageView& image, uint32_t family,
                          const DownloadProgress& progress);
uint32_t DownloadAifFile(int adapter, FileKind kind, const ImageView& image, bool bareAif,
                         uint32_t family, const DownloadProgress& progress);

// Percentage of a chunked transfer once sent bytes of total are done (0-99).
int chunkPercent(uint64_t sent, uint64_t total);
