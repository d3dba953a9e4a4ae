// The FC backend for a real Linux server: a driver backend that answers the
// library's discovery, inventory, target and LUN requests from the kernel's
// Fibre Channel transport class in sysfs, and makes the few changes the
// transport offers (virtual ports, LUN rescan) through its own files.
//
// Devices: "\\.\Scsi<k>:" is the k-th physical FC port in the order of the
// SCSI host numbers (fc_host entries that are not NPIV virtual ports, on PCI
// or any other bus), so hosts numbered above 255 are reached too. There are
// no management devices: the library then sends its management requests on
// the SCSI device, and only the service start is accepted (it changes
// nothing). Every other request, and every mailbox command that is not a
// read-only query (fcsys_mailbox.cpp), is refused: nothing else changes an
// adapter.
//
// Requests: kRows below. How to add a request: write its answer in the
// family's file, declare it in fcsys_internal.h and append its row (vpi set
// when the request carries a VPI in bits 20-27 of its code).
#include <cstring>

#include "backends/sysfs/fcsys_internal.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "platform/plat_device.h"

namespace fcsys {

namespace {

struct Device {
    uint32_t host;
};

struct Row {
    uint32_t code;
    const char* signature;
    uint32_t minSize; // whole envelope, header included
    uint32_t (*answer)(const FcsysPort&, Request&);
    bool vpi = false;
};
const uint32_t kVpiBits = 0x0FF00000u;
const Row kRows[] = {
    {TGX_IOCTL_GETDRV_INFO, TGX_SIG_ZT, TGX_SIZE_GETDRV_INFO, answer_driver_info},
    {TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT, TGX_SIZE_RETURN_INFO, answer_board_info},
    {TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_ADAPTER_ATTRIBUTES,
     answer_adapter_attributes},
    {TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_PORT_ATTRIBUTES,
     answer_port_attributes},
    {TGX_IOCTL_HBA_REFRESH_INFORMATION, TGX_SIG_HBAAPI, TGX_ENV_HEADER_LENGTH, answer_refresh},
    {TGX_IOCTL_NPIV_RESOURCE, TGX_SIG_ZT, TGX_SIZE_NPIV_RESOURCE, answer_npiv_resource},
    {TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_V2_BASE, answer_mailbox_v2},
    {TGX_IOCTL_ISSUEMB_EX, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_EX, answer_mailbox_ex},
    {TGX_IOCTL_VPI_LOOKUP, TGX_SIG_ZT, TGX_SIZE_VPI_LOOKUP, answer_vpi_lookup},
    {TGX_IOCTL_INQUIRE_NODELIST, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_NODELIST_OFF_ENTRIES,
     answer_node_list, true},
    {TGX_IOCTL_INQUIRE_SCSIID, TGX_SIG_ZT, TGX_SIZE_INQUIRE_SCSIID, answer_scsi_id, true},
    {TGX_IOCTL_INQUIRE_LUNLIST, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH + TGX_LUNLIST_OFF_ENTRIES,
     answer_lun_list},
    {TGX_IOCTL_FCP_TARGET_MAPPING, TGX_SIG_ZT, TGX_SIZE_TARGET_MAPPING_BASE, answer_target_mapping,
     true},
    {TGX_IOCTL_SCSI_RESCAN_BUS, TGX_SIG_ZT, TGX_ENV_HEADER_LENGTH, answer_rescan},
    {TGX_IOCTL_NPIV_APP_CREATE, TGX_SIG_ZT, TGX_SIZE_NPIV_CREATE, answer_vport_create},
    {TGX_IOCTL_NPIV_DELETE, TGX_SIG_ZT, TGX_SIZE_NPIV_DELETE, answer_vport_delete},
    {TGX_IOCTL_NPIV_GETLIST, TGX_SIG_ZT, TGX_SIZE_NPIV_GETLIST_BASE, answer_vport_list},
    {TGX_IOCTL_NPIV_PORTATTRIB, TGX_SIG_ZT, TGX_SIZE_NPIV_PORTATTRIB, answer_vport_attributes},
};
// A board has at most this many devices (the library scans "\\.\Scsi0:" to 255).
const size_t kMaxDevices = 256;

const char kScsiPrefix[] = "\\\\.\\Scsi";

// "\\.\Scsi<k>:" with k a decimal 0-255 without leading zeros.
bool parse_path(const char* path, uint32_t* host) {
    if (strncmp(path, kScsiPrefix, sizeof kScsiPrefix - 1) != 0) return false;
    const char* p = path + sizeof kScsiPrefix - 1;
    uint32_t n = 0;
    size_t digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 4; ++p, ++digits)
        n = n * 10 + static_cast<uint32_t>(*p - '0');
    if (digits == 0 || (digits > 1 && p[-static_cast<ptrdiff_t>(digits)] == '0') || n > 255)
        return false;
    return p[0] == ':' && p[1] == '\0' && (*host = n, true);
}

const Row* find_row(uint32_t code) {
    for (const Row& row : kRows)
        if (row.code == code || (row.vpi && row.code == (code & ~kVpiBits))) return &row;
    return nullptr;
}

// The SCSI host of device slot k.
bool host_of_slot(uint32_t slot, uint32_t* host) {
    uint32_t hosts[kMaxDevices];
    size_t n = fcsys_list_ports(hosts, kMaxDevices);
    if (slot >= n || slot >= kMaxDevices) return false;
    *host = hosts[slot];
    return true;
}

uint32_t fcsys_open(const char* path, void** dev) {
    uint32_t slot = 0, host = 0;
    if (!path || !dev || !parse_path(path, &slot) || !host_of_slot(slot, &host))
        return PLAT_ERR_NOT_FOUND;
    *dev = new Device{host};
    return PLAT_ERR_NONE;
}

void fcsys_close(void* dev) {
    delete static_cast<Device*>(dev);
}

// Plain device requests (no envelope): only the management service start.
uint32_t plain_request(uint32_t code) {
    return code == TGX_IOCTL_MGMT_START ? PLAT_ERR_NONE : PLAT_ERR_ACCESS;
}

uint32_t fcsys_control(void* devp, uint32_t code, void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t* returned) {
    if (returned) *returned = 0;
    const Device* dev = static_cast<const Device*>(devp);
    if (!dev) return PLAT_ERR_INVALID_HANDLE;
    FcsysPort port;
    if (!fcsys_find_port(dev->host, &port)) return PLAT_ERR_GEN_FAILURE; // the port went away
    if (code != IOCTL_SCSI_MINIPORT) return plain_request(code);

    // Envelope: one buffer, answered in place.
    if (!in || !out || inSize != outSize) return PLAT_ERR_BAD_LENGTH;
    if (in != out) memmove(out, in, inSize);
    uint8_t* buf = static_cast<uint8_t*>(out);
    uint32_t size = outSize;
    if (size < TGX_ENV_HEADER_LENGTH) return PLAT_ERR_BAD_LENGTH;
    if (rd32(buf + TGX_ENV_OFF_HEADERLENGTH) != TGX_ENV_HEADER_LENGTH)
        return PLAT_ERR_INVALID_PARAM;
    if (rd32(buf + TGX_ENV_OFF_LENGTH) != size - TGX_ENV_HEADER_LENGTH) return PLAT_ERR_BAD_LENGTH;
    const Row* row = find_row(rd32(buf + TGX_ENV_OFF_CONTROLCODE));
    if (!row) return PLAT_ERR_ACCESS; // a request this read-only backend does not serve
    char sig[8] = {};
    memcpy(sig, row->signature, strnlen(row->signature, sizeof sig));
    if (memcmp(buf + TGX_ENV_OFF_SIGNATURE, sig, sizeof sig) != 0) return PLAT_ERR_INVALID_PARAM;
    if (size < row->minSize) return PLAT_ERR_BAD_LENGTH;
    Request r = {rd32(buf + TGX_ENV_OFF_CONTROLCODE), buf + TGX_ENV_HEADER_LENGTH,
                 size - TGX_ENV_HEADER_LENGTH, 0};
    uint32_t err = row->answer(port, r);
    if (err != PLAT_ERR_NONE) return err;
    wr32(buf + TGX_ENV_OFF_RETURNCODE, r.returnCode);
    if (returned) *returned = size;
    return PLAT_ERR_NONE;
}

HbaDriverBackend make_backend() {
    HbaDriverBackend b = {};
    b.version = HBA_DRIVER_BACKEND_VERSION;
    b.open = fcsys_open;
    b.control = fcsys_control;
    b.close = fcsys_close;
    return b; // members added later stay null: not supported
}

const HbaDriverBackend kBackend = make_backend();

} // namespace

} // namespace fcsys

extern "C" __attribute__((visibility("default"))) const HbaDriverBackend* hba_driver_backend() {
    return &fcsys::kBackend;
}
