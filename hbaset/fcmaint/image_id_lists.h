// The image id list table (data in image_id_lists.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int ID_LIST_COLUMNS = 5; // types 2, 3, 6, 7, and 11/14
struct ImageIdRow {
    uint32_t families[3]; // family codes sharing the row (0 = unused)
    const char* cells[ID_LIST_COLUMNS];
};
extern const ImageIdRow kImageIdRows[];
extern const size_t kImageIdRowCount;

// Zero-terminated family lists of the AIF variants.
extern const uint32_t kBwcUnchecked[];
extern const uint32_t kBwcNoisy[];
extern const uint32_t kDwcUnchecked[];
extern const uint32_t kDwcNoisy[];
extern const uint32_t kDwcBootUnchecked[];
extern const uint32_t kDwcBootNoisy[];
extern const char* const kDwcFe00Type7;
