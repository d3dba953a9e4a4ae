// The controller action "UpgradeFlashROM" (p0 = path of the image file).
//
// The simulated controller reads what a real one checks before writing: the
// file size, for a UFI file its header (file length at 56, the build string at
// 72, the ASIC revision byte at 96; 32-bit little-endian fields), and the
// maker's signature over the whole file (sim/core/image_signature.h).
// Checks, in order (an injected busy, 173, is answered before the action runs
// by the entry point's fault injection):
//   39  the file cannot be opened or sized
//   40  Brevin controller: a file under 140 bytes; UFI: under 96 bytes,
//       a file length that is not the file size, or a build string whose
//       first character is not 1-4
//   162 generation not the controller's (CV2: 1/2, CV3: 3, Tarnel: 4); for a
//       controller revision of 16 or more a gen-3 image needs ASIC revision
//       16 or 17 (17 when the revision is 17 or more) and a gen-4 image one
//       at least the revision
//   337 no signature, 336 a signature that does not verify (a cut or altered
//       file), flash unchanged
//   the adapter's upgrade_forced_status (235, 318, 336, 337), flash unchanged
// Otherwise the version text becomes FirmwareVersionOnFlash (fw_flash) and the
// status is upgrade_status (55 by default, or 0). ActiveFirmwareVersion
// changes only at a server reboot (hbasim reboot).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/plat_image_file.h"
#include "sim/core/image_signature.h"
#include "sim/nexa/nexa_sim.h"

namespace nexasim {

using hbasim::Adapter;

namespace {

constexpr size_t kUfiHeaderBytes = 96;
constexpr size_t kUfiAsicOffset = 96;
constexpr size_t kUfiFileLengthOffset = 56;
constexpr size_t kUfiBuildOffset = 72;
constexpr size_t kUfiBuildBytes = 24;
constexpr uint64_t kGrpMinBytes = 140;
constexpr uint64_t kMaxImageBytes = 1ull << 30;
constexpr int kRevisionR = 16;
constexpr int kRevisionP2 = 17;

// What the controller reads of the file.
struct ImageFacts {
    uint64_t size = 0;
    std::vector<uint8_t> bytes;             // the whole file: the signature covers all of it
    uint8_t head[kUfiHeaderBytes + 1] = {}; // the 96-byte header and the ASIC byte
    size_t headBytes = 0;
};

bool read_facts(const std::string& path, ImageFacts* out) {
    if (path.empty()) return false;
    if (plat_read_regular_file(path.c_str(), kMaxImageBytes, &out->bytes) != PLAT_READ_OK)
        return false;
    out->size = out->bytes.size();
    out->headBytes = std::min(out->bytes.size(), sizeof out->head);
    memcpy(out->head, out->bytes.data(), out->headBytes);
    return true;
}

uint32_t rd_le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The maker's signature of the image: a .GRP file for a Brevin controller, a
// UFI file otherwise.
int check_signature(bool brevin, const ImageFacts& im) {
    hbasim::SigVerdict v = brevin ? hbasim::sig_check_grp(im.bytes.data(), im.bytes.size())
                                  : hbasim::sig_check_ufi(im.bytes.data(), im.bytes.size());
    if (v == hbasim::SIG_MISSING) return NX_NO_SIGNATURE;
    return v == hbasim::SIG_INVALID ? NX_BAD_SIGNATURE : NX_OK;
}

// Generation of a build-string character; 0 when it is none.
int generation_of(char c) {
    if (c == '1' || c == '2') return 2;
    if (c == '3' || c == '4') return c - '0';
    return 0;
}

int controller_generation(const Adapter& a) {
    if (a.kind == "cv2") return 2;
    if (a.kind == "cv3") return 3;
    if (a.kind == "tarnel") return 4;
    return 0;
}

// PCI revision of the controller: that of its first NIC function, else of its
// first function.
int controller_revision(const Adapter& a) {
    for (const hbasim::Function& f : a.funcs)
        if (f.kind == "nic") return (int)f.attrs.get_u("revision");
    return a.funcs.empty() ? 0 : (int)a.funcs[0].attrs.get_u("revision");
}

bool asic_fits(int generation, int revision, int asic) {
    if (revision < kRevisionR) return true;
    if (generation == 3)
        return revision >= kRevisionP2 ? asic == kRevisionP2
                                       : asic == kRevisionR || asic == kRevisionP2;
    if (generation == 4) return asic >= revision;
    return true;
}

// The version text of the build string: after "G " when the second character
// is a blank, else the whole string. The field's last byte is its terminator
// for every reader of the file (hbaset, fwsweep): at most kUfiBuildBytes - 1
// characters count, so the adapter runs the version they show.
std::string version_of(const uint8_t* build) {
    char text[kUfiBuildBytes] = {};
    memcpy(text, build, kUfiBuildBytes - 1);
    return text[1] == ' ' ? std::string(text + 2) : std::string(text);
}

// UFI format checks; NX_OK when the file is a well-formed UFI image.
int check_ufi_format(const ImageFacts& im) {
    if (im.headBytes < kUfiHeaderBytes) return NX_UFI_FORMAT;
    if (im.size != rd_le32(im.head + kUfiFileLengthOffset)) return NX_UFI_FORMAT;
    if (generation_of((char)im.head[kUfiBuildOffset]) == 0) return NX_UFI_FORMAT;
    return NX_OK;
}

int check_compatible(const Adapter& a, const ImageFacts& im) {
    int gen = generation_of((char)im.head[kUfiBuildOffset]);
    if (gen != controller_generation(a)) return NX_UFI_INCOMPATIBLE;
    int asic = im.headBytes > kUfiAsicOffset ? im.head[kUfiAsicOffset] : 0;
    return asic_fits(gen, controller_revision(a), asic) ? NX_OK : NX_UFI_INCOMPATIBLE;
}

const char* outcome_text(int code) {
    switch (code) {
    case NX_UFI_OPEN:
        return "Unable to open the UFI file";
    case NX_UFI_FORMAT:
        return "Invalid UFI file format";
    case NX_UFI_INCOMPATIBLE:
        return "The UFI file is not compatible with this controller";
    case NX_VIRTUAL_FUNCTION:
        return "Firmware update is not allowed on a virtual function";
    case NX_SPECIAL_RELEASE:
        return "Special release: reboot and download the same file again";
    case NX_BAD_SIGNATURE:
        return "Invalid firmware digital signature";
    case NX_NO_SIGNATURE:
        return "Firmware digital signature missing";
    default:
        return "The request failed";
    }
}

} // namespace

int upgrade_flash_rom(const NodeAddr& n, const ActionParams& p, std::string* text) {
    ImageFacts im;
    if (!read_facts(p.p[0], &im)) {
        *text = outcome_text(NX_UFI_OPEN);
        return NX_UFI_OPEN;
    }
    std::string version;
    int written = NX_OK; // status after a successful write
    int rc = update_node(n, [&](Adapter& a, const NodeCtx&, bool* changed) -> int {
        bool brevin = a.kind == "brevin";
        int st = NX_OK;
        if (brevin)
            st = im.size < kGrpMinBytes ? NX_UFI_FORMAT : NX_OK;
        else if ((st = check_ufi_format(im)) == NX_OK)
            st = check_compatible(a, im);
        if (st == NX_OK) st = check_signature(brevin, im);
        if (st != NX_OK) return st;
        int forced = (int)a.attrs.get_u("upgrade_forced_status");
        if (forced != 0) return forced;
        if (!brevin) {
            version = version_of(im.head + kUfiBuildOffset);
            a.attrs.set("fw_flash", version);
            *changed = true;
        }
        written = (int)a.attrs.get_u("upgrade_status", NX_FW_REBOOT);
        return NX_OK;
    });
    if (rc == NX_ERR_GONE || rc == NX_ERR_STATE) {
        *text = rc == NX_ERR_GONE ? "The adapter or function is no longer present"
                                  : "The adapter state cannot be read or written";
        return rc;
    }
    if (rc == NX_OK) rc = written;
    if (rc == NX_OK || rc == NX_FW_REBOOT)
        *text = version.empty() ? std::string("Firmware written to flash")
                                : "Firmware " + version + " written to flash" +
                                      (rc == NX_FW_REBOOT ? "; reboot to activate it" : "");
    else
        *text = outcome_text(rc);
    return rc;
}

} // namespace nexasim
