// The simulated driver's request table: one row per control code it answers.
//
// The backend (backend.cpp) checks every envelope against its row before the
// handler runs: HeaderLength 28, the row's signature, Length == size - 28 and a
// buffer of at least minSize bytes (header included). A handler therefore may
// read and write r.payload[0 .. r.payloadSize) and nothing else; it returns 0
// with r.returnCode set, or a PLAT_ERR_* code to fail the device call.
//
// Rows with a null signature are management codes: plain device controls sent
// on the management device (or on the SCSI device when the management device
// is missing), without an envelope; minSize is then the smallest output buffer.
//
// How to add a request family: write its handlers in a file of its own
// (sim/driver/req_<family>.cpp), declare them in the block below, and append
// its rows to kDrvHandlers under a comment naming the family. The journal and
// the fault table use 'name' and the code ("0x%08X") to match requests.
#include "libtgx/tgx_ioctl.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

// ---- discovery (req_discovery.cpp) -----------------------------------------
uint32_t req_getdrv_info(DrvRequest& r);
uint32_t req_return_info(DrvRequest& r);
uint32_t req_adapter_attributes(DrvRequest& r);
uint32_t req_port_attributes(DrvRequest& r);
uint32_t req_refresh_information(DrvRequest& r);
uint32_t req_mgmt_start(DrvRequest& r);

const DrvHandlerEntry kDrvHandlers[] = {
    // ---- discovery ----
    {TGX_IOCTL_GETDRV_INFO, TGX_SIG_ZT, TGX_SIZE_GETDRV_INFO, "GETDRV_INFO", req_getdrv_info},
    {TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT, TGX_SIZE_RETURN_INFO, "RETURN_INFO", req_return_info},
    {TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_ADAPTER_ATTRIBUTES,
     "HBA_GET_ADAPTER_ATTRIBUTES", req_adapter_attributes},
    {TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_PORT_ATTRIBUTES,
     "HBA_GET_PORT_ATTRIBUTES", req_port_attributes},
    {TGX_IOCTL_HBA_REFRESH_INFORMATION, TGX_SIG_HBAAPI, TGX_ENV_HEADER_LENGTH,
     "HBA_REFRESH_INFORMATION", req_refresh_information},
    {TGX_IOCTL_MGMT_START, nullptr, 0, "MGMT_START", req_mgmt_start},
};
const size_t kDrvHandlerCount = sizeof(kDrvHandlers) / sizeof(kDrvHandlers[0]);

} // namespace hbasim
