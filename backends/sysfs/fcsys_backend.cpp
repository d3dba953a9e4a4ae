// The FC backend for a real Linux server: a read-only driver backend that
// answers the library's discovery and inventory requests from the kernel's
// Fibre Channel transport class in sysfs.
//
// Devices: "\\.\Scsi<n>:" for every physical FC port host<n> (fc_host entry
// with a PCI function behind it; NPIV virtual ports are not adapters). There
// are no management devices: the library then sends its management requests
// on the SCSI device, and only the service start is accepted (it changes
// nothing). Every other request, and every mailbox command that is not a
// read-only query (fcsys_mailbox.cpp), is refused: the backend never changes
// an adapter.
//
// Requests: kRows below. How to add a read-only request: write its answer in
// the family's file, declare it in fcsys_internal.h and append its row.
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
};
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
};

const char kScsiPrefix[] = "\\\\.\\Scsi";

// "\\.\Scsi<n>:" with n a decimal 0-255 without leading zeros.
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
        if (row.code == code) return &row;
    return nullptr;
}

uint32_t fcsys_open(const char* path, void** dev) {
    uint32_t host = 0;
    FcsysPort port;
    if (!path || !dev || !parse_path(path, &host) || !fcsys_find_port(host, &port))
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
    Request r = {row->code, buf + TGX_ENV_HEADER_LENGTH, size - TGX_ENV_HEADER_LENGTH, 0};
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
