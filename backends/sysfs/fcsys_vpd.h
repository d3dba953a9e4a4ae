// PCI vital product data for the FC backend: a check that bytes read from a
// PCI function's vpd file are VPD at all, the keywords a reader of the port's
// identity needs, the model and serial decision, the VPD the backend answers
// (the card's own with SN and V2 set to that serial and model), and the small
// VPD it builds from the transport attributes when the function's own VPD
// cannot be read. Pure functions.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint8_t FCSYS_VPD_TAG_ID = 0x82;
constexpr uint8_t FCSYS_VPD_TAG_READ_ONLY = 0x90;
constexpr uint8_t FCSYS_VPD_TAG_END = 0x78;
constexpr size_t FCSYS_VPD_VALUE_MAX = 255; // one keyword's data

// True when data starts with an identifier-string resource whose length stays
// inside size and is followed by a read-only resource header (what a reader
// of the VPD needs to find SN and V2).
bool fcsys_vpd_plausible(const uint8_t* data, size_t size);

// Builds VPD into out (size bytes): the identifier string idText, then a
// read-only resource with SN = serial and V2 = model (each only when not
// empty, cut to FCSYS_VPD_VALUE_MAX), the RV checksum and the end tag.
// Returns the bytes written, or 0 when out is too small or nothing is known
// (all three texts empty).
size_t fcsys_vpd_build(const char* idText, const char* serial, const char* model, uint8_t* out,
                       size_t size);

// Copies the VPD vpd[0 .. n) into out (size bytes) with its SN and V2
// keywords set the way the suite reads them (SN the serial number, V2 the
// model): a missing SN is added from serial (when not empty); V2 becomes
// model, added when missing, its value replaced when the card's V2 is another
// (maker-defined) text, removed when model is empty. The identifier string
// and every other whole keyword before RV are kept in their order, a new RV
// follows, and the resources after it (the writable area) are dropped; a VPD
// that needs none of this is copied as it is. Returns the bytes written; 0
// when vpd is not plausible or the result does not fit.
size_t fcsys_vpd_complete(const uint8_t* vpd, size_t n, const char* serial, const char* model,
                          uint8_t* out, size_t size);

// The keywords of a VPD that name the card: the identifier string, PN, SN
// and V2 (empty when absent). False when the data is not plausible VPD.
struct FcsysVpdIdentity {
    char id[FCSYS_VPD_VALUE_MAX + 1];
    char partNumber[FCSYS_VPD_VALUE_MAX + 1];
    char serial[FCSYS_VPD_VALUE_MAX + 1];
    char v2[FCSYS_VPD_VALUE_MAX + 1];
};
bool fcsys_vpd_identity(const uint8_t* vpd, size_t n, FcsysVpdIdentity* out);

// The port's model and serial number. Model: the transport's model when
// published, else the VPD's V2 where it is the model (it equals the part
// number or is a word of the identifier string; V2 is maker-defined and on
// some cards a date or a code), else the part number, else the identifier
// string. Serial: the transport's serial_number, else the VPD's SN. vpd may
// be null (no VPD read). Empty when nothing names them.
void fcsys_resolve_identity(const char* hostModel, const char* hostSerial,
                            const FcsysVpdIdentity* vpd, char* model, size_t modelSize,
                            char* serial, size_t serialSize);
