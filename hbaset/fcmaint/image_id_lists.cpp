// The image id lists: for each adapter family code, the image ids accepted for
// each program type. Cells are written as text:
//   "B2 B8"                    ids in hexadecimal
//   "D:C1 C8;else:C3 C8"       alternatives, the first whose condition holds:
//                              D+I, D, I (dual-channel and ibmVpd flags of the
//                              entry), dev=XXXX (PCI device id), neither, else
//   a trailing " *"            the refusal prints "Incompatible Image - Incorrect Adapter"
//   "-"                        the type is not checked for that family
//   "refused *"                every id is refused
// How to add a row: append {codes, {type 2, type 3, type 6, type 7, types 11
// and 14}}; families without a row accept every image.
#include "hbaset/fcmaint/image_id_lists.h"

#include <iterator>

const ImageIdRow kImageIdRows[] = {
    {{0xF0A1}, {"B2 B8", "dev=FC01:B4;else:B1 B2 B3 B5 B6 B7 *", "B2 *", "B2 *", "B2 *"}},
    {{0xF0A5}, {"98", "dev=FC05:94;else:91 92 93 95 96 97 *", "91 *", "91 *", "91 *"}},
    {{0xFA00},
     {"81 83 88", "dev=FC00:84;else:81 82 83 85 86 87 *", "81 83 *", "81 83 8A 8B 8C *",
      "81 83 8A 8B 8C *"}},
    {{0xF700}, {"11 12 90 *", "11 12 13 14 15 16 *", "11 12 *", "11 12 1A *", "refused *"}},
    {{0xF085}, {"B0 *", "31 32 33 35 36 *", "31 *", "31 39 *", "refused *"}},
    {{0xF800},
     {"21 22 23 A0 *", "21 22 23 24 25 26 *", "21 22 23 *", "21 22 23 2A 2B *", "refused *"}},
    {{0xF802}, {"21 22 23 A0 *", "21 22 23 24 25 26 *", "21 22 23 *", "21 22 23", "refused *"}},
    {{0xF095}, {"D0 *", "51 52 53 55 56 *", "51 *", "51 *", "refused *"}},
    {{0xF900}, {"41 43 C0 *", "41 42 43 44 45 46 *", "41 43 *", "41 43 4A 4B *", "refused *"}},
    {{0xF098}, {"F0 *", "71 72 73 75 76 77 *", "71 *", "71 *", "71 *"}},
    {{0xF98D}, {"61 E0 *", "61 62 63 64 65 66 67 *", "61 *", "61 6A *", "61 6A *"}},
    {{0xF980}, {"63 E0 *", "61 62 63 64 65 66 67 *", "63 *", "63 6B 6C *", "63 6B *"}},
    {{0xFC10}, {"D:C1 C8;else:C3 C8", "C4", "D:C1;else:C3 *", "D:C1;else:C3 *", "D:C1;else:C3 *"}},
    {{0xF0D5}, {"D8", "D1 D2 D3 D5 D6 D7", "D1 *", "D1 *", "D1 *"}},
    {{0xF0D1}, {"A8", "A9 AA AB AC AD AF", "A2 *", "A2 *", "A2 *"}},
    {{0xFD11}, {"C3 C8", "C1 C2 C3 C5 C6 C7", "C3 *", "C3 *", "C3 *"}},
    {{0xFD12}, {"C1 C8", "C1 C2 C3 C5 C6 C7", "C1 *", "C1 *", "C1 *"}},
    {{0xFD00},
     {"I:C1 C3 C8;D:C1 C8;neither:C3 C8", "C1 C2 C3 C5 C6 C7", "D:C1;else:C3 *",
      "D+I:C1;D:C1 CA;I:C3 CB;neither:C3 CB CC CD *",
      "D+I:CE C1 CB CC;D:C1 CA;I:CD C3 CB CC;neither:C3 CB CC CD *"}},
    {{0xFC30}, {"38", "3C *", "32 *", "32 *", "32 *"}},
    {{0xF0F5, 0xF0F6, 0xF0F7}, {"38", "39 3A 3B 3D 3E 3F *", "32 *", "32 *", "32 *"}},
    {{0xFE04}, {"E1 E8", "E1 E2 E3 E5 E6 E7", "E1 *", "EB *", "EB *"}},
    {{0xFE05}, {"50", "59 5A 5B 5D 5E 5F", "-", "D:59;else:53 *", "D:59;else:53 *"}},
    {{0xFC20}, {"D:E1 E8;else:E3 E8", "E4", "D:E1;else:E3 *", "D:E1;else:E3 *", "D:E1;else:E3 *"}},
    {{0xF0E5}, {"F8", "F1 F2 F3 F5 F6 F7", "F1 *", "F1 *", "F1 *"}},
    {{0xF0E1}, {"18", "19 1A 1B 1D 1E 1F", "12 *", "12 *", "12 *"}},
    {{0xFE11}, {"E3 E8", "E1 E2 E3 E5 E6 E7", "E3 *", "E3 *", "E3 *"}},
    {{0xFE12}, {"E1 E8", "E1 E2 E3 E5 E6 E7", "E1 *", "E1 *", "E1 *"}},
    {{0xFE00},
     {"D:E1 E8;else:E3 E8", "E1 E2 E3 E5 E6 E7", "D:E1;else:E3 *",
      "D+I:E1 EA EB EC;D:E1 EA;I:E3 EA EB EC;neither:E3 EB EC *",
      "D+I:EE E1 EA EB EC;D:E1 EA;I:ED E3 EA EB EC;neither:E3 EB EC *"}},
    {{0xF100, 0xF104},
     {"D:78 79 74;else:78 7B", "79 7A 7B 7C 7D 7E 7F", "-", "73 79 7A 7B *",
      "D:73 79 7A 7B;I:73 7C;neither:73 79 7A 7B *"}},
    {{0xF10B}, {"D:78 79 74;else:78 7B", "79 7A 7B 7C 7D 7E 7F", "-", "79 *", "79 *"}},
    {{0x338F}, {"D:78 79 74;else:78 7B", "79 7A 7B 7C 7D 7E 7F", "-", "74 *", "74 *"}},
    {{0xF111, 0xF112}, {"78 7B", "79 7A 7B 7C 7D 7E 7F", "-", "73 79 7A 7B *", "-"}},
    {{0xF015}, {"28", "29 2A 2B 2C 2D 2E 2F", "-", "29 *", "29 *"}},
    {{0xF011}, {"48", "49 4A 4B 4C 4D 4E 4F", "-", "42 *", "42 *"}},
    {{0xF180}, {"72", "79 7A 7B 7D 7E 7F *", "-", "73 *", "72 *"}},
    {{0x1AE5}, {"01 02 09 80 *", "01 *", "01 09 *", "01 09 0A *", "refused *"}},
    {{0xFB00}, {"-", "A1 A2 A3 A5 A6 A7 *", "refused *", "A1 *", "A1 *"}},
};
const size_t kImageIdRowCount = std::size(kImageIdRows);

// Differences of the AIF kinds and of the boot programs inside a DWC image:
// families they do not check, and the only families whose refusals print the
// message.
const uint32_t kBwcUnchecked[] = {0x1AE5, 0xF700, 0xF800, 0xF802, 0xF900, 0xF085, 0xF095, 0};
const uint32_t kBwcNoisy[] = {0xF0D5, 0xF0D1, 0xFD11, 0xFD12, 0xFE04, 0xF0E5, 0xF0E1, 0xFE11,
                              0xFE12, 0xF0F5, 0xF0F6, 0xF0F7, 0xFC30, 0xF180, 0};
const uint32_t kDwcUnchecked[] = {0x1AE5, 0xF700, 0xF800, 0xF802, 0xF900,
                                  0xF085, 0xF095, 0xF112, 0};
const uint32_t kDwcNoisy[] = {0xF100, 0xF104, 0xF111, 0xF015, 0xF011, 0xF10B, 0x338F, 0};
const uint32_t kDwcBootUnchecked[] = {0x1AE5, 0xF700, 0xF800, 0xF802, 0xF900,
                                      0xF085, 0xF095, 0xFB00, 0xFE04, 0};
const uint32_t kDwcBootNoisy[] = {0xF0D5, 0xF0D1, 0xFD11, 0xFD12, 0xF0E5, 0xF0E1, 0xFE11,
                                  0xFE12, 0xF0F5, 0xF0F6, 0xF0F7, 0xFC30, 0xF180, 0};
// DWC images of program type 7 on 0xFE00 ignore the ibmVpd flag.
const char* const kDwcFe00Type7 = "D:E1 EA;else:E3 EB EC";
