// PCI vital product data for the FC backend: a check that bytes read from a
// PCI function's vpd file are VPD at all, the completion of a VPD that lacks
// the serial number or model keyword, and the small VPD the backend builds
// from the transport attributes when the function's own VPD cannot be read.
// Pure functions.
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

// Copies the VPD vpd[0 .. n) into out (size bytes) and, when its read-only
// keywords have no SN or no V2, adds the missing ones from serial and model
// (when not empty): the identifier string and every whole keyword before RV
// are kept, a new RV follows, and the resources after it (the writable area)
// are dropped. Returns the bytes written; 0 when vpd is not plausible or the
// result does not fit.
size_t fcsys_vpd_complete(const uint8_t* vpd, size_t n, const char* serial, const char* model,
                          uint8_t* out, size_t size);
