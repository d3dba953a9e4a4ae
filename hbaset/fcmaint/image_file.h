// An image file of the download command, read once into memory. Every kind
// (PRG, AIF, .GRP, .UFI) is read here, checked in memory and sent from the
// same bytes: nothing reads the file again between the check and the send.
#pragma once
#include <cstdint>
#include <vector>

#include "hbaset/fcmaint/fw_image.h"

// Largest image file taken (the largest firmware file of any adapter kind is
// a few tens of MiB).
constexpr uint64_t IMAGE_FILE_MAX = 256ull << 20;

struct ImageFile {
    std::vector<uint8_t> bytes;
    ImageView view() const { return ImageView{bytes.data(), bytes.size()}; }
};

enum ImageLoadStatus : int {
    IMAGE_LOADED = 0,
    IMAGE_OPEN_FAILED = 1, // missing or unreadable
    IMAGE_NOT_REGULAR = 2, // a FIFO, device or directory
    IMAGE_TOO_BIG = 3,     // over IMAGE_FILE_MAX
    IMAGE_READ_FAILED = 4, // a read error, or the file changed size while read
};

// Reads the file at path into out.
int loadImageFile(const char* path, ImageFile* out);
