// Image files read once into memory (image_file.h).
#include "hbaset/fcmaint/image_file.h"

#include "platform/plat_image_file.h"

int loadImageFile(const char* path, ImageFile* out) {
    switch (plat_read_regular_file(path, IMAGE_FILE_MAX, &out->bytes)) {
    case PLAT_READ_OK:
        return IMAGE_LOADED;
    case PLAT_READ_NOT_REGULAR:
        return IMAGE_NOT_REGULAR;
    case PLAT_READ_TOO_BIG:
        return IMAGE_TOO_BIG;
    case PLAT_READ_IO:
        return IMAGE_READ_FAILED;
    default:
        return IMAGE_OPEN_FAILED;
    }
}
