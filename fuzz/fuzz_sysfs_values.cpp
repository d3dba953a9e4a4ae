// The FC backend's readers of kernel sysfs texts (fc_host attributes, PCI
// identifiers and addresses) and its VPD check and builder. The first byte
// picks the parser; the rest is the attribute text (and raw VPD for the
// check and the completion), in a heap buffer of its
// exact size (terminated), so a read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "backends/sysfs/fcsys_values.h"
#include "backends/sysfs/fcsys_vpd.h"

namespace {

void parseText(uint8_t pick, const char* text) {
    uint32_t v = 0;
    uint8_t wwn[FCSYS_WWN_BYTES];
    uint8_t fc4[FCSYS_FC4_BYTES];
    FcsysPciAddress pci;
    switch (pick % 18) {
    case 0:
        fcsys_parse_wwn(text, wwn);
        break;
    case 1:
        if (fcsys_parse_hex(text, 0xFFFFFF, &v) && v > 0xFFFFFF) abort();
        break;
    case 2:
        fcsys_parse_decimal(text, &v);
        break;
    case 3:
        fcsys_parse_speed(text, &v);
        break;
    case 4:
        if (fcsys_parse_speed_list(text, &v) && (v & FCSYS_SPEED_NOT_NEGOTIATED)) abort();
        break;
    case 5:
        fcsys_parse_frame_size(text, &v);
        break;
    case 6:
        fcsys_parse_classes(text, &v);
        break;
    case 7:
        fcsys_parse_port_state(text, &v);
        break;
    case 8:
        fcsys_parse_port_type(text, &v);
        break;
    case 9:
        fcsys_parse_fc4_types(text, fc4);
        break;
    case 10:
        if (fcsys_parse_pci_address(text, &pci) && (pci.device > 0x1F || pci.function > 7)) abort();
        break;
    case 11:
        fcsys_parse_host_name(text, &v);
        break;
    case 12: {
        FcsysScsiAddress a;
        FcsysChildName c;
        fcsys_parse_scsi_address(text, &a);
        fcsys_parse_child_name(text, "rport-", &c);
        break;
    }
    case 13: {
        uint64_t counter = 0;
        int32_t i = 0;
        fcsys_parse_counter(text, &counter);
        fcsys_parse_int(text, &i);
        fcsys_parse_roles(text, &v);
        break;
    }
    case 14: {
        char out[9];
        if (fcsys_symbolic_version(text, FCSYS_VERSION_FIRMWARE, out, sizeof out) &&
            strlen(out) >= sizeof out)
            abort();
        break;
    }
    default: {
        char out[17];
        fcsys_copy_text(text, out, sizeof out);
        if (strlen(out) >= sizeof out) abort();
        break;
    }
    }
}

// The three texts of the VPD builder, split at the first two NULs of data.
void buildVpd(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const char* id = text.data();
    const char* serial = id + strlen(id) + (strlen(id) < size ? 1 : 0);
    const char* model = serial + strlen(serial) + (serial + strlen(serial) < text.data() + size);
    std::vector<uint8_t> out(data[0] * 4u + 16u);
    size_t n = fcsys_vpd_build(id, serial, model, out.data(), out.size());
    if (n > out.size() || (n && !fcsys_vpd_plausible(out.data(), n))) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    std::vector<uint8_t> raw(data + 1, data + size);
    if (fcsys_vpd_plausible(raw.data(), raw.size())) {
        std::vector<uint8_t> out(raw.size() + data[0]);
        size_t n = fcsys_vpd_complete(raw.data(), raw.size(), "SERIAL0001", "MODEL-X", out.data(),
                                      out.size());
        if (n > out.size() || (n && !fcsys_vpd_plausible(out.data(), n))) abort();
        FcsysVpdIdentity id;
        char model[64], serial[64];
        if (!fcsys_vpd_identity(raw.data(), raw.size(), &id)) abort();
        fcsys_resolve_identity("", "", &id, model, sizeof model, serial, sizeof serial);
        if (strlen(model) >= sizeof model || strlen(serial) >= sizeof serial) abort();
    }
    buildVpd(data, size);
    std::vector<char> text(raw.begin(), raw.end());
    text.push_back('\0');
    parseText(data[0], text.data());
    return 0;
}
