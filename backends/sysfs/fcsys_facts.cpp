// Reads one port's facts from sysfs: the fc_host attributes, the driver, the
// PCI function's identifiers, configuration space and VPD. Each attribute is
// read and parsed on its own, so one missing or malformed file leaves only
// its own field at the "not available" value.
//
// How to add an attribute: give PortFacts a field, then add one line below
// with the parser that matches the kernel's format for it; a fallback source
// goes into complete_texts.
#include <algorithm>
#include <cstring>

#include "backends/sysfs/fcsys_internal.h"
#include "backends/sysfs/fcsys_vpd.h"

namespace fcsys {

namespace {

const size_t kValueText = 512;
const size_t kPciHeaderBytes = 64;
const size_t kVpdReadMax = 4096;
const char kNotAvailable[] = "N/A";

// Reads an attribute and hands its text to parse; the field keeps its value
// when either step fails.
template <typename Parse> void parsed(const char* dir, const char* name, Parse parse) {
    char text[kValueText];
    if (fcsys_read_attr(dir, name, text, sizeof text)) parse(text);
}

void wwn(const char* dir, const char* name, uint8_t out[FCSYS_WWN_BYTES]) {
    parsed(dir, name, [&](const char* t) { fcsys_parse_wwn(t, out); });
}

void hex(const char* dir, const char* name, uint32_t max, uint32_t* out) {
    parsed(dir, name, [&](const char* t) { fcsys_parse_hex(t, max, out); });
}

// Optional text attributes: "unknown" is what the kernel prints for a value
// the driver did not give, so it counts as not available.
// A text longer than its field is cut to it (a text, unlike a number, stays
// what it was); one longer than the read buffer is not available.
void text(const char* dir, const char* name, char* out, size_t size) {
    char value[kValueText];
    out[0] = '\0';
    if (fcsys_read_attr(dir, name, value, sizeof value) && strcmp(value, "unknown") != 0)
        fcsys_copy_text(value, out, size);
}

void read_host_attributes(const char* d, PortFacts* f) {
    wwn(d, "port_name", f->wwpn);
    wwn(d, "node_name", f->wwnn);
    wwn(d, "permanent_port_name", f->permanentWwpn);
    wwn(d, "fabric_name", f->fabricName);
    hex(d, "port_id", 0xFFFFFF, &f->portId);
    parsed(d, "port_type", [&](const char* t) { fcsys_parse_port_type(t, &f->portType); });
    parsed(d, "port_state", [&](const char* t) { fcsys_parse_port_state(t, &f->portState); });
    parsed(d, "speed", [&](const char* t) { fcsys_parse_speed(t, &f->speed); });
    parsed(d, "supported_speeds",
           [&](const char* t) { fcsys_parse_speed_list(t, &f->supportedSpeeds); });
    parsed(d, "maxframe_size", [&](const char* t) { fcsys_parse_frame_size(t, &f->maxFrameSize); });
    parsed(d, "supported_classes", [&](const char* t) { fcsys_parse_classes(t, &f->classes); });
    parsed(d, "supported_fc4s", [&](const char* t) { fcsys_parse_fc4_types(t, f->supportedFc4); });
    parsed(d, "active_fc4s", [&](const char* t) { fcsys_parse_fc4_types(t, f->activeFc4); });
    parsed(d, "max_npiv_vports", [&](const char* t) { fcsys_parse_decimal(t, &f->maxNpivVports); });
    parsed(d, "npiv_vports_inuse",
           [&](const char* t) { fcsys_parse_decimal(t, &f->npivVportsInUse); });
    text(d, "symbolic_name", f->symbolicName, sizeof f->symbolicName);
    text(d, "manufacturer", f->manufacturer, sizeof f->manufacturer);
    text(d, "serial_number", f->serialNumber, sizeof f->serialNumber);
    text(d, "model", f->model, sizeof f->model);
    text(d, "model_description", f->modelDescription, sizeof f->modelDescription);
    text(d, "hardware_version", f->hardwareVersion, sizeof f->hardwareVersion);
    text(d, "driver_version", f->driverVersion, sizeof f->driverVersion);
    text(d, "firmware_version", f->firmwareVersion, sizeof f->firmwareVersion);
    text(d, "optionrom_version", f->optionRomVersion, sizeof f->optionRomVersion);
    // A port type the HBA API has no number for (a virtual port never gets here).
    if (f->portType == FCSYS_PORTTYPE_NPIV_VPORT) f->portType = FCSYS_PORTTYPE_UNKNOWN;
}

void read_pci_identifiers(const char* d, PortFacts* f) {
    hex(d, "vendor", 0xFFFF, &f->vendorId);
    hex(d, "device", 0xFFFF, &f->deviceId);
    hex(d, "subsystem_vendor", 0xFFFF, &f->subsystemVendorId);
    hex(d, "subsystem_device", 0xFFFF, &f->subsystemId);
    hex(d, "revision", 0xFF, &f->revision);
    hex(d, "class", 0xFFFFFF, &f->classCode);
}

// Fallbacks of the texts mainline drivers leave unpublished.
void complete_texts(const FcsysPort& port, PortFacts* f) {
    if (f->firmwareVersion[0] == '\0')
        fcsys_symbolic_version(f->symbolicName, FCSYS_VERSION_FIRMWARE, f->firmwareVersion,
                               sizeof f->firmwareVersion);
    if (!fcsys_driver_name(port, f->driverName, sizeof f->driverName)) f->driverName[0] = '\0';
    if (f->driverVersion[0] == '\0' && f->driverName[0] != '\0' &&
        !fcsys_module_version(f->driverName, f->driverVersion, sizeof f->driverVersion))
        f->driverVersion[0] = '\0';
    if (f->driverVersion[0] == '\0')
        fcsys_symbolic_version(f->symbolicName, FCSYS_VERSION_DRIVER, f->driverVersion,
                               sizeof f->driverVersion);

    uint8_t raw[kVpdReadMax];
    size_t got = 0;
    f->vpdReadable = fcsys_read_bytes(port.pciDir, "vpd", raw, sizeof raw, &got);
    if (f->vpdReadable) fcsys_vpd_identity(raw, got, &f->vpd);
    char hostModel[sizeof f->model];
    char hostSerial[sizeof f->serialNumber];
    memcpy(hostModel, f->model, sizeof hostModel);
    memcpy(hostSerial, f->serialNumber, sizeof hostSerial);
    fcsys_resolve_identity(hostModel, hostSerial, &f->vpd, f->model, sizeof f->model,
                           f->serialNumber, sizeof f->serialNumber);
    if (f->modelDescription[0] == '\0')
        memcpy(f->modelDescription, f->vpd.id,
               std::min(sizeof f->modelDescription, sizeof f->vpd.id));
}

} // namespace

void read_port_facts(const FcsysPort& port, PortFacts* f) {
    memset(f, 0, sizeof *f);
    f->portType = FCSYS_PORTTYPE_UNKNOWN;
    f->portState = FCSYS_PORTSTATE_UNKNOWN;
    read_host_attributes(port.hostDir, f);
    read_pci_identifiers(port.pciDir, f);
    each_remote_port(port.host, [&](const FcsysRemotePort&) {
        ++f->remotePorts;
        return true;
    });
    complete_texts(port, f);
}

bool port_is_up(const PortFacts& f) {
    return f.portState == FCSYS_PORTSTATE_ONLINE;
}

void read_pci_config(const FcsysPort& port, const PortFacts& f, uint8_t out[PCI_CONFIG_BYTES]) {
    memset(out, 0, PCI_CONFIG_BYTES);
    size_t got = 0;
    if (!fcsys_read_bytes(port.pciDir, "config", out, PCI_CONFIG_BYTES, &got)) got = 0;
    if (got >= kPciHeaderBytes) return;
    memset(out, 0, PCI_CONFIG_BYTES);
    wr16(out + 0, f.vendorId);
    wr16(out + 2, f.deviceId);
    out[8] = static_cast<uint8_t>(f.revision);
    out[9] = static_cast<uint8_t>(f.classCode);
    out[10] = static_cast<uint8_t>(f.classCode >> 8);
    out[11] = static_cast<uint8_t>(f.classCode >> 16);
    wr16(out + 44, f.subsystemVendorId);
    wr16(out + 46, f.subsystemId);
}

size_t read_vpd(const FcsysPort& port, const PortFacts& f, uint8_t* out, size_t size) {
    uint8_t raw[kVpdReadMax];
    size_t got = 0;
    // The model keyword is what the suite shows as the model: "N/A" when
    // nothing names it, so it reads as not available rather than empty.
    const char* model = f.model[0] ? f.model : kNotAvailable;
    if (fcsys_read_bytes(port.pciDir, "vpd", raw, sizeof raw, &got) &&
        fcsys_vpd_plausible(raw, got)) {
        size_t n = fcsys_vpd_complete(raw, got, f.serialNumber, model, out, size);
        if (n > 0) return n;
        n = got < size ? got : size; // no room to complete it: the VPD as it is
        memcpy(out, raw, n);
        return n;
    }
    // Nothing readable (no VPD, or root-only as it is for other users): what
    // is known, and "N/A" for a port that names nothing at all, so a reader
    // sees the fact as not available instead of a failed read.
    const char* id = f.modelDescription[0] ? f.modelDescription
                     : f.model[0]          ? f.model
                                           : kNotAvailable;
    return fcsys_vpd_build(id, f.serialNumber, model, out, size);
}

} // namespace fcsys
