// Adapter identification: the hardware type code, the model-name decision
// (VPD, family tables, family defaults, legacy hardware types), the
// dual-channel marking, the IBM VPD mark and the text form of firmware
// program versions.
//
// All operations take a table index i (0-based) of g_table.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t MODEL_QUERY_TEXT_SIZE = 256;    // capacity of each ModelQuery text
constexpr size_t PROGRAM_VERSION_TEXT_SIZE = 16; // longest version text is 11 characters

// What model identification fills. The inputs are the entry's identifiers
// (the FC ones, or the cna ones when the FC device ID is zero); the four
// capacities must each be at least MODEL_QUERY_TEXT_SIZE for a table lookup
// to write.
struct ModelQuery {
    uint32_t deviceId;
    uint32_t vendorId;
    uint32_t subsystemId;
    uint32_t subsystemVendorId;
    uint32_t modelNameSize;
    uint32_t familyDescriptionSize;
    uint32_t descriptionSize;
    uint32_t baseModelSize;
    uint32_t dualChannel; // flags bit 26 of the entry
    char modelName[MODEL_QUERY_TEXT_SIZE];
    char familyDescription[MODEL_QUERY_TEXT_SIZE];
    char description[MODEL_QUERY_TEXT_SIZE];
    char baseModel[MODEL_QUERY_TEXT_SIZE];
};

// Clears q and sets the four capacities to MODEL_QUERY_TEXT_SIZE.
void modelQueryInit(ModelQuery* q);
// Clears q and fills its inputs from entry i (capacities set too).
void modelQueryFromEntry(int i, ModelQuery* q);

// Looks the query up in one model table (ModelTableId of families.h). Returns
// true and writes the four texts of the first matching row; returns false
// without writing when a capacity is below MODEL_QUERY_TEXT_SIZE, an input
// identifier is zero, the device is not of the table's family, or no row
// matches.
bool modelTableLookup(uint8_t table, ModelQuery* q);

// Legacy FC model name by hardware type (entries of no device family).
// Returns the name, "Unknown" for an unknown hwType, or null when the group
// leaves the model name as it was (groups 18 and 1296 for unlisted devices).
// hasPartner: another FC entry shares the PCI bus and device number with a
// different function number.
const char* legacyModelName(uint16_t hwType, uint32_t deviceId, uint32_t subsystemVendorId,
                            uint32_t subsystemId, bool dualChannel, bool hasPartner);

// Hardware type of FC entry i from the revision words (0 when unreadable; a
// failed read prints the ReadRev / ReadRev4 error line).
uint16_t readHwType(int i);
// Writes the model name of entry i (at most size - 1 characters, at most 255).
void identify(int i, char* out, size_t size);
// Fills q for entry i and returns whether a model table row was found; the
// legacy and fixed names go to baseModel only.
bool fillModelQuery(int i, ModelQuery* q);
// Sets the entry's ibmVpd from the VG keyword of its VPD (region 14).
void checkIbmVpd(int i);
// Text of a program identifier word ("SB2.11A0"); out gets at most size - 1
// characters (PROGRAM_VERSION_TEXT_SIZE always suffices).
void formatProgramVersion(int i, uint32_t word, char* out, size_t size);
// The same without a table entry: letterF replaces the first letter by F.
void formatProgramVersionText(uint32_t word, bool letterF, char* out, size_t size);

// Start-up passes over the FC entries: identification (hwType, IBM mark, VPD
// serial/model/port, model name), then the refresh of the Brevin dual-channel
// flags and model names.
void identificationPass();
void refreshPass();
