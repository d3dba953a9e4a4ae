// Version texts and their comparison: converged versions (four dotted
// numbers), FC build strings, the minimum firmware of management-controller
// CV2 adapters, and the image-file readers that fill CluImage records.
#pragma once
#include <cstddef>
#include <cstdint>

#include "fwsweep/sweep_types.h"

constexpr int FWS_VERSION_OK = 0;
constexpr int FWS_VERSION_BAD = 4;
constexpr int FWS_FILE_NOT_UFI = 6;

// Reads up to four decimal numbers separated by "." from text; a first number
// of 3 is stored as 2. 0 with four numbers; 4 with fewer (the numbers read so
// far are kept), a missing argument or an empty text.
int encodeCNAVersion(uint32_t* major, uint32_t* minor, uint32_t* release, uint32_t* build,
                     const char* text);
// The correction of CV2/CV3 adapter version texts: the character after the
// first dot becomes "1" (nothing is changed when nothing follows the dot).
void correctCvVersionText(char* text);
// Decodes an FC version text ("SF2.82A4") into rec's FC word and the decoded
// text ("282A4"). Reading stops at the end of the text; missing parts are 0.
void decodeRawFCBuildString(CluImage* rec, const char* text);

// 1 when a is greater, -1 when smaller, 0 when equal (image type first).
int isGreaterCNAVersion(const CluImage& a, const CluImage& b);
constexpr int FWS_NEEDED_BAD_TYPE = 4;
// 1 when new is greater than current, or equal with equalCounts; else 0; 4 when
// neither record is a converged or group image.
int isUpdateNeededCNA(const CluImage& current, const CluImage& image, bool equalCounts);
// 1 when the version is at least 4.0.360.15.
int hasSupportedCV2FirmwareVersion(uint32_t major, uint32_t minor, uint32_t release,
                                   uint32_t build);
int isCompatibleCV2FirmwareImage(const CluImage& image);
int hasSupportedCV2Firmware(const SweepAdapter& adapter);

// File name test: mode 0 (firmware) or 2 (/iv): a name containing ".UFI" or
// ".ufi" gives EXT_UFI and 0; any other name, and every name in mode 1 (boot
// code), gives EXT_NONE and 1.
int isValidFileExtension(const char* name, int* extType, int mode);
// The version of an image file into rec: 0, or the reader's failure status.
int verifyFwFile(const char* path, CluImage* rec);
// An image record from dir (ending in "/") and a file name (matrix mode): 0,
// 1 for a refused directory or name, else the reader's status.
int initFileImage(CluImage* rec, const std::string& dir, const char* name, int mode);
// Every readable image of dir, greatest version first (equal versions keep
// the sorted name order). Returns 0, or 1 when no file was accepted.
int makeFileNameList(const std::string& dir, std::vector<CluImage>* out);
