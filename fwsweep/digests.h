// Image digests: the SHA-256 of every image fwsweep may flash, and the check
// against a SHA256SUMS manifest (the sha256sum format, "<64 hex>  <name>")
// in the firmware folder or, when it has none, the matrix folder. Names in a
// manifest are relative to its own folder.
//
// Every candidate image is read and judged before the first download, so a
// corrupt or truncated copy is refused before any adapter is touched; the
// per-image verdict is then looked up at each download.
#pragma once
#include <string>

#include "fwsweep/sweep_types.h"

constexpr const char* FWS_MANIFEST_FILE = "SHA256SUMS";
constexpr size_t FWS_MANIFEST_MAX = 1u << 20; // bytes of a manifest read

// The SHA-256 of the regular file at path as 64 lower-case hex digits, or ""
// when it cannot be read (*why: a PLAT_OPEN_* result).
std::string fileSha256(const char* path, int* why = nullptr);

// Reads the manifest (if any) and judges every image the run may flash:
// the matrix files of the discovered adapters, or the auto-mode image list.
void prepareDigests(SweepRun* run);
// The digest of an image path ("" when unknown); computed on first use.
const std::string& imageDigest(SweepRun* run, const std::string& path);
// 0 when the image may be flashed, else the status that refuses it
// (FWS_DL_DIGEST_MISMATCH, FWS_DL_NOT_IN_MANIFEST, FWS_DL_NO_MANIFEST,
// FWS_DL_OPEN_FAILED).
int digestVerdict(SweepRun* run, const std::string& path);

// Parses manifest text into run->manifest (names resolved against dir, which
// ends in "/"). Lines that are not "<64 hex> <blank or *><name>" are ignored;
// a name listed twice with different digests is kept as a conflict.
void parseManifest(const std::string& text, const std::string& dir, DigestManifest* out);
// The path with "." and ".." steps and doubled slashes removed.
std::string normalPath(const std::string& path);
